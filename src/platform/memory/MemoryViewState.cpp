#include "platform/memory/MemoryViewState.h"

namespace kiv::pf::mem {

HResult TMemoryViewState::OpenBag(const IdSpan* pFolder, const QString& pName, std::uint32_t pFlags,
                                  IPropertyBagPtr& pBag)
{
    pBag.reset();
    {
        std::lock_guard lock(fLock);
        if (const auto failure = fFailures.find(pFlags); failure != fFailures.end())
            return failure->second;
    }
    QString folderKey;
    if ((pFlags & viewstate::PERFOLDER) != 0) {
        if (!pFolder)
            return E_INVALIDARG;
        folderKey = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(pFolder->Data()),
                                                   static_cast<qsizetype>(pFolder->Size()))
                                            .toHex());
    }
    folderKey = ViewStateFolderKey(pFlags, folderKey);
    if (folderKey.isEmpty())
        return E_INVALIDARG;
    pBag = fStore->Bag(folderKey, pName);
    return S_OK;
}

void TMemoryViewState::SetOpenFailure(std::uint32_t pFlags, HResult pResult)
{
    std::lock_guard lock(fLock);
    if (Succeeded(pResult))
        fFailures.erase(pFlags);
    else
        fFailures[pFlags] = pResult;
}

} // namespace kiv::pf::mem

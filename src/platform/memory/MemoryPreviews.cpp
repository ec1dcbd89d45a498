#include "MemoryPreviews.h"

#include <algorithm>

namespace kiv::pf::mem {

HResult TMemoryPreviewHandler::Record(const char* pName, HResult pResult)
{
    std::lock_guard lock(fLock);
    fCalls << QString::fromLatin1(pName);
    return pResult;
}

HResult TMemoryPreviewHandler::InitializeWithStream(const IStreamPtr& /*pStream*/,
                                                    std::uint32_t /*pMode*/)
{
    return Record("InitializeWithStream", fScript.InitializeWithStream);
}

HResult TMemoryPreviewHandler::InitializeWithItem(const IShellItemPtr& /*pItem*/,
                                                  std::uint32_t /*pMode*/)
{
    return Record("InitializeWithItem", fScript.InitializeWithItem);
}

HResult TMemoryPreviewHandler::InitializeWithFile(const QString& /*pPath*/, std::uint32_t /*pMode*/)
{
    return Record("InitializeWithFile", fScript.InitializeWithFile);
}

HResult TMemoryPreviewHandler::SetWindow(WindowRef /*pParent*/, const QRect& /*pRect*/)
{
    return Record("SetWindow", fScript.SetWindow);
}

HResult TMemoryPreviewHandler::SetRect(const QRect& /*pRect*/)
{
    return Record("SetRect", S_OK);
}

HResult TMemoryPreviewHandler::DoPreview()
{
    return Record("DoPreview", fScript.DoPreview);
}

HResult TMemoryPreviewHandler::Unload()
{
    return Record("Unload", S_OK);
}

HResult TMemoryPreviewHandler::SetBackgroundColor(const QColor& /*pColor*/)
{
    return Record("SetBackgroundColor", S_OK);
}

HResult TMemoryPreviewHandler::SetTextColor(const QColor& /*pColor*/)
{
    return Record("SetTextColor", S_OK);
}

QStringList TMemoryPreviewHandler::Calls() const
{
    std::lock_guard lock(fLock);
    return fCalls;
}

void TMemoryPreviews::Register(const PreviewHandlerClass& pClass, const TPreviewScript& pScript)
{
    std::lock_guard lock(fLock);
    fClasses.emplace_back(pClass, pScript);
}

void TMemoryPreviews::RegisterProgId(const QString& pProgId, const Guid& pClsid)
{
    std::lock_guard lock(fLock);
    fProgIds[pProgId.toLower()] = pClsid;
}

void TMemoryPreviews::FailCreations(int pCount, HResult pResult)
{
    std::lock_guard lock(fLock);
    fFailures = pCount;
    fFailure = pResult;
}

std::vector<std::shared_ptr<TMemoryPreviewHandler>> TMemoryPreviews::Made() const
{
    std::lock_guard lock(fLock);
    return fMade;
}

int TMemoryPreviews::CreateCalls() const
{
    std::lock_guard lock(fLock);
    return fCreateCalls;
}

HResult TMemoryPreviews::Create(const Guid& pClsid, IPreviewHandlerPtr& pHandler)
{
    pHandler.reset();
    std::lock_guard lock(fLock);
    ++fCreateCalls;
    if (fFailures > 0) {
        --fFailures;
        return fFailure;
    }
    const auto found = std::find_if(fClasses.begin(), fClasses.end(), [&](const auto& pEntry) {
        return pEntry.first.Clsid == pClsid;
    });
    if (found == fClasses.end())
        return REGDB_E_CLASSNOTREG;
    auto handler = std::make_shared<TMemoryPreviewHandler>(found->second);
    fMade.push_back(handler);
    pHandler = std::move(handler);
    return S_OK;
}

bool TMemoryPreviews::IsRegistered(const Guid& pClsid) const
{
    std::lock_guard lock(fLock);
    return std::any_of(fClasses.begin(), fClasses.end(),
                       [&](const auto& pEntry) { return pEntry.first.Clsid == pClsid; });
}

HResult TMemoryPreviews::ClsidFromProgId(const QString& pProgId, Guid& pClsid) const
{
    std::lock_guard lock(fLock);
    const auto found = fProgIds.find(pProgId.toLower());
    pClsid = found == fProgIds.end() ? Guid{} : found->second;
    return found == fProgIds.end() ? CO_E_CLASSSTRING : S_OK;
}

HResult TMemoryPreviews::CreatePdfControl(WindowRef /*pParent*/, IPdfControlPtr& pControl)
{
    pControl.reset();
    return REGDB_E_CLASSNOTREG;
}

std::vector<PreviewHandlerClass> TMemoryPreviews::Classes() const
{
    std::lock_guard lock(fLock);
    std::vector<PreviewHandlerClass> classes;
    for (const auto& entry : fClasses)
        classes.push_back(entry.first);
    return classes;
}

} // namespace kiv::pf::mem

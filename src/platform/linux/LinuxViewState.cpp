#include "LinuxViewState.h"

#include "XdgDirs.h"
#include "core/platform/FileNames.h"
#include "core/platform/IShellFolder.h"
#include "core/platform/ShellConstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kiv::pf::lnx {

TLinuxViewState::TLinuxViewState(INamespace& pNamespace)
    : fNamespace(pNamespace)
{
}

std::shared_ptr<TViewStateStore> TLinuxViewState::Store(QString& pFile)
{
    const QString file =
        DecodeFileName(TXdgDirs::Load().StateHome) + QStringLiteral("/tovaline/viewstate.json");
    std::lock_guard lock(fLock);
    if (!fStore || file != fFile) {
        fFile = file;
        fStore = std::make_shared<TViewStateStore>();
        QFile input(file);
        if (input.open(QIODevice::ReadOnly))
            fStore->Load(input.readAll());
    }
    pFile = fFile;
    return fStore;
}

namespace {

// Bags may outlive the platform that opened them: saving needs nothing but the store and the
// file name.
void SaveStore(const std::shared_ptr<TViewStateStore>& pStore, const QString& pFile)
{
    static std::mutex saveLock;
    std::lock_guard lock(saveLock);
    QDir().mkpath(QFileInfo(pFile).absolutePath());
    QSaveFile output(pFile);
    // A failed write leaves the previous file as it was; the state stays in memory.
    if (output.open(QIODevice::WriteOnly)) {
        output.write(pStore->Save());
        output.commit();
    }
}

} // namespace

HResult TLinuxViewState::OpenBag(const IdSpan* pFolder, const QString& pName, std::uint32_t pFlags,
                                 IPropertyBagPtr& pBag)
{
    pBag.reset();
    QString folderKey;
    if ((pFlags & viewstate::PERFOLDER) != 0) {
        if (!pFolder)
            return E_INVALIDARG;
        if (pFolder->IsEmpty()) {
            folderKey = QStringLiteral("<desktop>");
        } else if (const IShellFolderPtr desktop = fNamespace.Desktop(); !desktop) {
            return E_UNEXPECTED;
        } else if (const HResult hr =
                       desktop->GetDisplayNameOf(*pFolder, shgdn::FORPARSING, folderKey);
                   Failed(hr)) {
            return hr;
        }
    }
    folderKey = ViewStateFolderKey(pFlags, folderKey);
    if (folderKey.isEmpty())
        return E_INVALIDARG;
    QString file;
    const std::shared_ptr<TViewStateStore> store = Store(file);
    std::weak_ptr<TViewStateStore> weakStore = store;
    pBag = store->Bag(folderKey, pName, [weakStore, file] {
        if (const auto alive = weakStore.lock())
            SaveStore(alive, file);
    });
    return S_OK;
}

} // namespace kiv::pf::lnx

#include "LinuxViewState.h"

#include "XdgDirs.h"
#include "core/platform/FileNames.h"
#include "core/platform/IShellFolder.h"
#include "core/platform/ShellConstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <chrono>
#include <condition_variable>
#include <thread>

namespace kiv::pf::lnx {

TLinuxViewState::TLinuxViewState(INamespace& pNamespace)
    : fNamespace(pNamespace)
{
}

std::shared_ptr<TLinuxViewState::TSaver> TLinuxViewState::Saver()
{
    std::lock_guard lock(fLock);
    if (!fSaver)
        fSaver = std::make_shared<TSaver>();
    return fSaver;
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

void SaveStore(TViewStateStore& pStore, const QString& pFile)
{
    QDir().mkpath(QFileInfo(pFile).absolutePath());
    QSaveFile output(pFile);
    // A failed write leaves the previous file as it was; the state stays in memory.
    if (output.open(QIODevice::WriteOnly)) {
        output.write(pStore.Save());
        output.commit();
    }
}

} // namespace

// Writes the store on a thread of its own, so that sorting a view never waits for the disk.
// Changes that come in a burst are written once, a short while after the first; whatever is
// still to be written when the saver goes is written then.
class TLinuxViewState::TSaver
{
public:
    TSaver()
        : fThread([this] { Run(); })
    {
    }
    ~TSaver()
    {
        {
            std::lock_guard lock(fLock);
            fStopping = true;
        }
        fChanged.notify_all();
        fThread.join();
        if (fPending)
            SaveStore(*fPending, fFile);
    }
    TSaver(const TSaver&) = delete;
    TSaver& operator=(const TSaver&) = delete;

    void Request(std::shared_ptr<TViewStateStore> pStore, const QString& pFile)
    {
        {
            std::lock_guard lock(fLock);
            // Another file (the state folder moved): the earlier one is written first.
            if (fPending && fFile != pFile)
                SaveStore(*fPending, fFile);
            fPending = std::move(pStore);
            fFile = pFile;
        }
        fChanged.notify_all();
    }

private:
    static constexpr std::chrono::milliseconds kQuiet{300};

    void Run()
    {
        std::unique_lock lock(fLock);
        for (;;) {
            fChanged.wait(lock, [this] { return fStopping || fPending; });
            if (fStopping)
                return;
            // Let a burst of changes end; the destructor writes what is left when stopping.
            if (fChanged.wait_for(lock, kQuiet, [this] { return fStopping; }))
                return;
            const std::shared_ptr<TViewStateStore> store = std::move(fPending);
            const QString file = fFile;
            lock.unlock();
            SaveStore(*store, file);
            lock.lock();
        }
    }

    std::mutex fLock;
    std::condition_variable fChanged;
    std::shared_ptr<TViewStateStore> fPending; // guarded by fLock
    QString fFile;                             // guarded by fLock
    bool fStopping = false;                    // guarded by fLock
    std::thread fThread;
};

TLinuxViewState::~TLinuxViewState() = default;

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
    // Bags may outlive the platform that opened them: saving needs only the saver, the store
    // and the file name.
    std::weak_ptr<TViewStateStore> weakStore = store;
    pBag = store->Bag(folderKey, pName, [saver = Saver(), weakStore, file] {
        if (auto alive = weakStore.lock())
            saver->Request(std::move(alive), file);
    });
    return S_OK;
}

} // namespace kiv::pf::lnx

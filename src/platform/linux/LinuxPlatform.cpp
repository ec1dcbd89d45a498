#include "LinuxPlatform.h"

#include "LinuxArchive.h"
#include "LinuxChangeNotify.h"
#include "LinuxClipboard.h"
#include "LinuxExec.h"
#include "LinuxFileOperation.h"
#include "LinuxFileSystem.h"
#include "LinuxIcons.h"
#include "LinuxImageFactory.h"
#include "LinuxInfo.h"
#include "LinuxKnownFolders.h"
#include "LinuxNamespace.h"
#include "LinuxNetwork.h"
#include "LinuxRegistry.h"
#include "LinuxViewState.h"
#include "core/platform/IChangeNotify.h"
#include "core/platform/IDragDrop.h"
#include "core/platform/IPreviewHandler.h"
#include "core/platform/IDialogs.h"

#include <atomic>
#include <mutex>

namespace kiv::pf::lnx {
namespace {

class TLinuxPlatform final : public IPlatform
{
public:
    HResult Startup() override
    {
        fNetwork.StartReconnecting();
        return S_OK;
    }
    IInfo& Info() override { return fInfo; }
    INamespace& Namespace() override { return fNamespace; }
    IKnownFolders& KnownFolders() override { return fKnownFolders; }
    IFileSystem& FileSystem() override { return fFileSystem; }
    IDebug& Debug() override { return fDebug; }
    IExec* Exec() override { return &fExec; }
    IFileOps* FileOps() override { return fFileOps.get(); }
    IArchives* Archives() override { return fArchives.get(); }
    IDragDrop* DragDrop() override { return fDragDrop.get(); }
    void SetDragDrop(std::unique_ptr<IDragDrop> pService) { fDragDrop = std::move(pService); }
    INetwork* Network() override { return &fNetwork; }
    // Installed by the user interface at start-up and removed before it goes.
    IDialogs* Dialogs() override
    {
        const std::lock_guard lock(fDialogsLock);
        return fDialogs.get();
    }
    void SetDialogs(std::shared_ptr<IDialogs> pDialogs) override
    {
        const std::lock_guard lock(fDialogsLock);
        fDialogs = std::move(pDialogs);
    }
    IIcons& Icons() override { return fIcons; }
    IClipboard& Clipboard() override { return fClipboard; }
    IRegistry& Registry() override { return fRegistry; }
    IViewState& ViewState() override { return fViewState; }
    IImageFactory* ImageFactory() override { return &fImageFactory; }
    IPreviewHandlerFactory* Previews() override { return fPreviews.get(); }
    void SetPreviews(std::unique_ptr<IPreviewHandlerFactory> pFactory)
    {
        fRegistry.SetPreviewHandlerClasses(pFactory ? pFactory->Classes()
                                                    : std::vector<PreviewHandlerClass>{});
        fPreviews = std::move(pFactory);
    }
    // Made on first use: it runs a reader thread of its own.
    IChangeNotify* ChangeNotify() override
    {
        std::call_once(fChangeNotifyOnce, [this] {
            fChangeNotify = std::make_unique<TLinuxChangeNotify>(fNamespace, fDebug);
            fChangeNotifyMade.store(fChangeNotify.get());
        });
        return fChangeNotify.get();
    }
    // The service when someone has asked for it, without making it.
    IChangeNotify* ExistingChangeNotify() const { return fChangeNotifyMade.load(); }

private:
    std::unique_ptr<IDragDrop> fDragDrop;
    TLinuxInfo fInfo;
    TLinuxNamespace fNamespace;
    TLinuxKnownFolders fKnownFolders;
    TLinuxFileSystem fFileSystem;
    std::unique_ptr<IFileOps> fFileOps = CreateLinuxFileOps();
    std::unique_ptr<IArchives> fArchives = CreateLinuxArchives();
    TLinuxDebug fDebug;
    TLinuxExec fExec;
    TLinuxIcons fIcons;
    TLinuxClipboard fClipboard;
    TLinuxRegistry fRegistry{&fDebug};
    TLinuxViewState fViewState{fNamespace};
    TLinuxImageFactory fImageFactory{fNamespace, fIcons};
    std::unique_ptr<IPreviewHandlerFactory> fPreviews; // set at start-up only
    std::once_flag fChangeNotifyOnce;
    std::unique_ptr<TLinuxChangeNotify> fChangeNotify; // set once under fChangeNotifyOnce
    std::atomic<IChangeNotify*> fChangeNotifyMade{nullptr};
    std::mutex fDialogsLock;
    std::shared_ptr<IDialogs> fDialogs; // guarded by fDialogsLock
    TLinuxNetwork fNetwork;
};

} // namespace

bool InstallPreviewHandlers(IPlatform& pPlatform, std::unique_ptr<IPreviewHandlerFactory> pFactory)
{
    auto* platform = dynamic_cast<TLinuxPlatform*>(&pPlatform);
    if (!platform)
        return false;
    platform->SetPreviews(std::move(pFactory));
    return true;
}

void AnnounceChange(std::uint32_t pEvent, const std::string& pPath, bool pFolder,
                    const std::string& pNewPath)
{
    if (!HasPlatform())
        return;
    const auto* platform = dynamic_cast<const TLinuxPlatform*>(&Platform());
    IChangeNotify* service = platform ? platform->ExistingChangeNotify() : nullptr;
    if (!service)
        return;
    IdListBytes list1;
    if (ParseAbsolutePath(pPath, list1, true, pFolder) != S_OK)
        return;
    IdListBytes list2;
    if (!pNewPath.empty() && ParseAbsolutePath(pNewPath, list2, true, pFolder) != S_OK)
        return;
    const IdSpan span1(list1);
    const IdSpan span2(list2.empty() ? list1 : list2);
    service->Notify(pEvent, shcnf::IDLIST | shcnf::FLUSH, &span1, list2.empty() ? nullptr : &span2);
}

bool SetDragDrop(IPlatform& pPlatform, std::unique_ptr<IDragDrop> pService)
{
    auto* platform = dynamic_cast<TLinuxPlatform*>(&pPlatform);
    if (!platform)
        return false;
    platform->SetDragDrop(std::move(pService));
    return true;
}

std::unique_ptr<IPlatform> CreateLinuxPlatform()
{
    return std::make_unique<TLinuxPlatform>();
}

} // namespace kiv::pf::lnx

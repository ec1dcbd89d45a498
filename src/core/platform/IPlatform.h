#pragma once

#include "core/platform/HResult.h"

#include <cstdint>
#include <memory>

namespace kiv::pf {

class IArchives;
class IBrowserFactory;
class IChangeNotify;
class IClipboard;
class IDebug;
class IDragDrop;
class IDialogs;
class IExec;
class IFileOps;
class IFileSystem;
class IIcons;
class IImageFactory;
class IInfo;
class IKnownFolders;
class IPreviewHandlerFactory;
class INetwork;
class IRegistry;
class IViewState;
class INamespace;

// The root of the platform layer: hands out one object per service. One platform is installed at
// start-up; tests install their own (usually the in-memory one) and restore the previous one.
// The services are thread-safe; installing is not, and happens before other threads use it.
class IPlatform
{
public:
    virtual ~IPlatform() = default;
    // Prepares the services (mount table, caches); may fail with the reason.
    virtual HResult Startup() = 0;
    virtual IInfo& Info() = 0;
    virtual INamespace& Namespace() = 0;
    virtual IKnownFolders& KnownFolders() = 0;
    virtual IFileSystem& FileSystem() = 0;
    virtual IDebug& Debug() = 0;
    // Starting other programs; null on platforms that cannot.
    virtual IExec* Exec() { return nullptr; }
    virtual IIcons& Icons() = 0;
    // The system clipboard (user-interface thread only).
    virtual IClipboard& Clipboard() = 0;
    // Settings kept in the registry, or what the host derives in its place.
    virtual IRegistry& Registry() = 0;
    // Per-folder view state (sort order, columns, view mode).
    virtual IViewState& ViewState() = 0;
    // Thumbnails of items; null on platforms that make none.
    virtual IImageFactory* ImageFactory() { return nullptr; }
    // Change notification; null on platforms without it (registrations then fail with 0).
    virtual IChangeNotify* ChangeNotify() { return nullptr; }
    // The file operation engine (copy, move, delete, rename, new items); null where there is none.
    virtual IFileOps* FileOps() { return nullptr; }
    // ZIP archives; null where the platform has none.
    virtual IArchives* Archives() { return nullptr; }
    // Drag and drop (user-interface thread only); null where there is none.
    virtual IDragDrop* DragDrop() { return nullptr; }
    // Preview handlers by class id; null where none are installed.
    virtual IPreviewHandlerFactory* Previews() { return nullptr; }
    // Explorer browsers (folder windows to embed); null where there are none.
    virtual IBrowserFactory* Browsers() { return nullptr; }
    // Dialogs (message boxes, prompts, network connections, folder pickers): null until the user
    // interface installs its own with SetDialogs, and where nothing may be asked.
    virtual IDialogs* Dialogs() { return nullptr; }
    virtual void SetDialogs(std::shared_ptr<IDialogs> /*pDialogs*/) {}
    // Network shares (reachability, connecting); null where there are none.
    virtual INetwork* Network() { return nullptr; }
};

// The installed platform; throws std::logic_error when none is installed.
IPlatform& Platform();
bool HasPlatform();
// Counts installations (starting at 0): what a caller keeps for one platform is stale once this
// changes, even when a later platform happens to reuse the old one's address.
std::uint64_t PlatformGeneration();
// Installs pPlatform and returns the one it replaces (null when there was none).
std::unique_ptr<IPlatform> InstallPlatform(std::unique_ptr<IPlatform> pPlatform);

// Installs a platform for the lifetime of the object and restores the previous one afterwards.
class TScopedPlatform
{
public:
    explicit TScopedPlatform(std::unique_ptr<IPlatform> pPlatform);
    ~TScopedPlatform();
    TScopedPlatform(const TScopedPlatform&) = delete;
    TScopedPlatform& operator=(const TScopedPlatform&) = delete;

private:
    std::unique_ptr<IPlatform> fPrevious;
};

} // namespace kiv::pf

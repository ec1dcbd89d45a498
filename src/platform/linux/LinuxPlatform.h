#pragma once

#include "core/platform/IPlatform.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kiv::pf {
class IDragDrop;
}

namespace kiv::pf::lnx {

// The platform the program runs on here.
std::unique_ptr<IPlatform> CreateLinuxPlatform();

// Gives a Linux platform its drag-and-drop service, which needs Qt Widgets and so comes from the
// application (CreateWidgetDragDrop in LinuxDragDrop.h); null takes it away again, before the
// application object goes. False when pPlatform is no Linux platform.
bool SetDragDrop(IPlatform& pPlatform, std::unique_ptr<IDragDrop> pService);
// Installs the preview handlers (made by the user-interface library) into a platform made by
// CreateLinuxPlatform: IPlatform::Previews() answers them and the registry publishes their
// classes. Call at start-up, before other threads use the platform. False (and pFactory dropped)
// for another kind of platform.
bool InstallPreviewHandlers(IPlatform& pPlatform, std::unique_ptr<IPreviewHandlerFactory> pFactory);

// Announces a change this process made itself (shell level: renames, new folders, copies,
// deletions) to the watchers of the installed Linux platform, so it shows at once even where
// the file system reports nothing (network mounts). Does nothing while nobody watches.
void AnnounceChange(std::uint32_t pEvent, const std::string& pPath, bool pFolder,
                    const std::string& pNewPath = {});

} // namespace kiv::pf::lnx

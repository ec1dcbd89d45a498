#include "LinuxPlatform.h"

#include "LinuxClipboard.h"
#include "LinuxExec.h"
#include "LinuxFileSystem.h"
#include "LinuxIcons.h"
#include "LinuxImageFactory.h"
#include "LinuxInfo.h"
#include "LinuxKnownFolders.h"
#include "LinuxNamespace.h"
#include "LinuxRegistry.h"
#include "LinuxViewState.h"

namespace kiv::pf::lnx {
namespace {

class TLinuxPlatform final : public IPlatform
{
public:
    HResult Startup() override { return S_OK; }
    IInfo& Info() override { return fInfo; }
    INamespace& Namespace() override { return fNamespace; }
    IKnownFolders& KnownFolders() override { return fKnownFolders; }
    IFileSystem& FileSystem() override { return fFileSystem; }
    IDebug& Debug() override { return fDebug; }
    IExec* Exec() override { return &fExec; }
    IIcons& Icons() override { return fIcons; }
    IClipboard& Clipboard() override { return fClipboard; }
    IRegistry& Registry() override { return fRegistry; }
    IViewState& ViewState() override { return fViewState; }
    IImageFactory* ImageFactory() override { return &fImageFactory; }

private:
    TLinuxInfo fInfo;
    TLinuxNamespace fNamespace;
    TLinuxKnownFolders fKnownFolders;
    TLinuxFileSystem fFileSystem;
    TLinuxDebug fDebug;
    TLinuxExec fExec;
    TLinuxIcons fIcons;
    TLinuxClipboard fClipboard;
    TLinuxRegistry fRegistry;
    TLinuxViewState fViewState{fNamespace};
    TLinuxImageFactory fImageFactory{fNamespace, fIcons};
};

} // namespace

std::unique_ptr<IPlatform> CreateLinuxPlatform()
{
    return std::make_unique<TLinuxPlatform>();
}

} // namespace kiv::pf::lnx

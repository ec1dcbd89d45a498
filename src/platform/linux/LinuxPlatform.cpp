#include "LinuxPlatform.h"

#include "LinuxChangeNotify.h"
#include "LinuxExec.h"
#include "LinuxFileSystem.h"
#include "LinuxIcons.h"
#include "LinuxInfo.h"
#include "LinuxKnownFolders.h"
#include "LinuxNamespace.h"

#include <mutex>

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
    // Made on first use: it runs a reader thread of its own.
    IChangeNotify* ChangeNotify() override
    {
        std::call_once(fChangeNotifyOnce, [this] {
            fChangeNotify = std::make_unique<TLinuxChangeNotify>(fNamespace, fDebug);
        });
        return fChangeNotify.get();
    }

private:
    TLinuxInfo fInfo;
    TLinuxNamespace fNamespace;
    TLinuxKnownFolders fKnownFolders;
    TLinuxFileSystem fFileSystem;
    TLinuxDebug fDebug;
    TLinuxExec fExec;
    TLinuxIcons fIcons;
    std::once_flag fChangeNotifyOnce;
    std::unique_ptr<TLinuxChangeNotify> fChangeNotify; // set once under fChangeNotifyOnce
};

} // namespace

std::unique_ptr<IPlatform> CreateLinuxPlatform()
{
    return std::make_unique<TLinuxPlatform>();
}

} // namespace kiv::pf::lnx

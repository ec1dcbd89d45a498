#pragma once

#include "core/platform/INetwork.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kiv::pf::lnx {

struct TLinuxNetworkOptions
{
    // Queries the file system of a path: 0 or an errno value (statvfs by default; tests put in
    // one that blocks like a dead mount).
    std::function<int(const std::string& pPath)> Probe;
    // The programs that mount and unmount (looked up in the search path when without "/").
    QString Gio = QStringLiteral("gio");
    QString Fusermount = QStringLiteral("fusermount3");
    // Where the recent and reconnected remote paths are kept; "": network.ini in the program's
    // folder of the user's configuration.
    QString SettingsFile;
    // 60 s: a server that has not answered the mount by then has a problem the user should hear
    // about; the user can cancel sooner.
    std::chrono::milliseconds MountTimeout{60000};
    // 15 s: unmounting a share that went away waits for the kernel's own network time-outs.
    std::chrono::milliseconds UnmountTimeout{15000};
};

// Network shares over GVfs (the gio program mounts; credentials are answered on its standard
// input when it asks, never put on its command line), kernel and FUSE mounts from the mount
// table. Thread-safe; see INetwork for which calls may block.
class TLinuxNetwork final : public INetwork
{
public:
    explicit TLinuxNetwork(TLinuxNetworkOptions pOptions = {});
    ~TLinuxNetwork() override;

    std::uint32_t AddTemporaryConnection(const QString& pPath,
                                         std::chrono::milliseconds pTimeout) override;
    std::uint32_t Mount(const QString& pRemote, const TNetworkCredentials& pCredentials,
                        std::stop_token pStop, QString& pMountPath, QString& pMessage) override;
    std::uint32_t Unmount(const TNetworkMount& pMount, QString& pMessage) override;
    std::vector<TNetworkMount> NetworkMounts() override;
    QStringList RecentRemotes() override;
    void RememberRemote(const QString& pRemote, bool pReconnect) override;
    QStringList ReconnectRemotes() override;

    // Mounts the remote paths to reconnect on a thread of its own (without credentials: those
    // that need them fail quietly). The destructor stops it.
    void StartReconnecting();

    TLinuxNetwork(const TLinuxNetwork&) = delete;
    TLinuxNetwork& operator=(const TLinuxNetwork&) = delete;

private:
    QString SettingsFile() const;
    void ForgetReconnect(const QString& pRemote);

    const TLinuxNetworkOptions fOptions;
    // The mount points whose probe has not come back (a stuck statvfs): asked again, they answer
    // "unreachable" at once instead of stacking up stuck threads. Shared with the probe threads,
    // which may outlive this object.
    std::shared_ptr<struct TStuckProbes> fStuck;
    std::jthread fReconnect;
};

// The remote location of a GVfs mount folder name ("smb-share:server=host,share=docs" →
// "smb://host/docs", "sftp:host=h,user=u" → "sftp://u@h"); "" when it cannot be read.
QString GvfsNameToUri(const QString& pName);

} // namespace kiv::pf::lnx

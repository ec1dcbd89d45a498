#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <vector>

// Network shares: whether one answers, connecting and disconnecting them, and the remembered
// remote paths of the connection dialog. Thread-safe. The calls that reach the network
// (AddTemporaryConnection, Mount, Unmount, NetworkMounts) may take seconds: never call them on
// the user-interface thread, except AddTemporaryConnection, which never waits longer than its
// time-out.

namespace kiv::pf {

// A mounted network share.
struct TNetworkMount
{
    // Where it is mounted.
    QString Path;
    // The remote location as a URI ("smb://server/share", "sftp://user@host/"); may be empty.
    QString Remote;
    // The file system type ("cifs", "nfs4", "fuse.sshfs", "gvfs").
    QString Type;
};

struct TNetworkCredentials
{
    QString User;
    QString Domain;
    QString Password;
};

class INetwork
{
public:
    virtual ~INetwork() = default;

    // 2 s: a share that has not answered by then is as good as gone for a browsing user; the
    // caller's own waits are shorter still.
    static constexpr std::chrono::milliseconds kReachTimeout{2000};

    // Whether the network path pPath answers: 0 when its file system can be queried within
    // pTimeout, else a system error code (53 when it did not answer in time or is no mounted
    // path). The query runs on a thread of its own, so a dead mount never holds the caller
    // longer than pTimeout.
    virtual std::uint32_t
    AddTemporaryConnection(const QString& pPath,
                           std::chrono::milliseconds pTimeout = kReachTimeout) = 0;

    // Mounts pRemote (a URI, see RemotePathToUri). Credentials are only handed to the mounting
    // program when it asks for them. 0 with the local path in pMountPath, else a system error
    // code (1223 when pStop was requested) and a text for the user in pMessage.
    virtual std::uint32_t Mount(const QString& pRemote, const TNetworkCredentials& pCredentials,
                                std::stop_token pStop, QString& pMountPath, QString& pMessage) = 0;

    // Disconnects a share listed by NetworkMounts and forgets to reconnect it. 0, else a system
    // error code and a text for the user in pMessage.
    virtual std::uint32_t Unmount(const TNetworkMount& pMount, QString& pMessage) = 0;

    // The mounted network shares.
    virtual std::vector<TNetworkMount> NetworkMounts() = 0;

    // The remote paths connected lately, newest first.
    virtual QStringList RecentRemotes() = 0;
    // Puts pRemote first among the recent remote paths; pReconnect: mount it again when the
    // program starts (without credentials).
    virtual void RememberRemote(const QString& pRemote, bool pReconnect) = 0;
    // The remote paths to mount again at start.
    virtual QStringList ReconnectRemotes() = 0;
};

// The URI of a remote path as the user types it: "\\server\share\dir" and "//server/share" become
// "smb://server/share/dir"; URIs of the schemes smb, sftp, ssh, ftp, ftps, dav, davs, nfs and afp
// are kept (scheme in lower case, path encoded). "" for anything else.
QString RemotePathToUri(const QString& pPath);

} // namespace kiv::pf

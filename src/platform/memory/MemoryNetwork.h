#pragma once

#include "core/platform/INetwork.h"

#include <functional>
#include <map>
#include <mutex>

namespace kiv::pf::mem {

// Network shares in memory: reachability and mount results set by the test, mounts and
// unmounts recorded (with the credentials they were given), remembered remote paths kept in
// memory. Thread-safe.
class TMemoryNetwork final : public INetwork
{
public:
    struct TMountCall
    {
        QString Remote;
        TNetworkCredentials Credentials;
    };

    std::uint32_t AddTemporaryConnection(const QString& pPath,
                                         std::chrono::milliseconds pTimeout) override;
    std::uint32_t Mount(const QString& pRemote, const TNetworkCredentials& pCredentials,
                        std::stop_token pStop, QString& pMountPath, QString& pMessage) override;
    std::uint32_t Unmount(const TNetworkMount& pMount, QString& pMessage) override;
    std::vector<TNetworkMount> NetworkMounts() override;
    QStringList RecentRemotes() override;
    void RememberRemote(const QString& pRemote, bool pReconnect) override;
    QStringList ReconnectRemotes() override;

    // The answer of AddTemporaryConnection for a path (others: 0).
    void SetReachable(const QString& pPath, std::uint32_t pResult);
    // Called at the start of AddTemporaryConnection outside the lock, so a test can make it
    // slow; empty: none. Set while no other thread uses the network.
    std::function<void(const QString& pPath)> OnProbe;
    // What mounts answer from now on: 0 (the default) adds a share at "/mnt/" and the last part
    // of the remote.
    void SetMountResult(std::uint32_t pResult, const QString& pMessage = {});
    void SetMounts(std::vector<TNetworkMount> pMounts);
    std::vector<TMountCall> MountCalls() const;
    QStringList Unmounted() const;

private:
    mutable std::mutex fLock;
    // All guarded by fLock.
    std::map<QString, std::uint32_t> fReachable;
    std::uint32_t fMountResult = 0;
    QString fMountMessage;
    std::vector<TNetworkMount> fMounts;
    std::vector<TMountCall> fMountCalls;
    QStringList fUnmounted;
    QStringList fRecent;
    QStringList fReconnect;
};

} // namespace kiv::pf::mem

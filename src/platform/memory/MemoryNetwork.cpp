#include "MemoryNetwork.h"

#include <algorithm>

namespace kiv::pf::mem {

std::uint32_t TMemoryNetwork::AddTemporaryConnection(const QString& pPath,
                                                     std::chrono::milliseconds)
{
    if (OnProbe)
        OnProbe(pPath);
    const std::lock_guard lock(fLock);
    const auto found = fReachable.find(pPath);
    return found == fReachable.end() ? 0 : found->second;
}

std::uint32_t TMemoryNetwork::Mount(const QString& pRemote, const TNetworkCredentials& pCredentials,
                                    std::stop_token pStop, QString& pMountPath, QString& pMessage)
{
    const std::lock_guard lock(fLock);
    fMountCalls.push_back({pRemote, pCredentials});
    pMountPath.clear();
    pMessage = fMountMessage;
    if (pStop.stop_requested())
        return 1223;
    if (fMountResult != 0)
        return fMountResult;
    const QString uri = RemotePathToUri(pRemote);
    pMountPath = QStringLiteral("/mnt/") + uri.section(u'/', -1);
    fMounts.push_back({pMountPath, uri, QStringLiteral("gvfs")});
    return 0;
}

std::uint32_t TMemoryNetwork::Unmount(const TNetworkMount& pMount, QString& pMessage)
{
    const std::lock_guard lock(fLock);
    pMessage.clear();
    fUnmounted.append(pMount.Path);
    fMounts.erase(std::remove_if(fMounts.begin(), fMounts.end(),
                                 [&](const TNetworkMount& m) { return m.Path == pMount.Path; }),
                  fMounts.end());
    fReconnect.removeAll(pMount.Remote);
    return 0;
}

std::vector<TNetworkMount> TMemoryNetwork::NetworkMounts()
{
    const std::lock_guard lock(fLock);
    return fMounts;
}

QStringList TMemoryNetwork::RecentRemotes()
{
    const std::lock_guard lock(fLock);
    return fRecent;
}

void TMemoryNetwork::RememberRemote(const QString& pRemote, bool pReconnect)
{
    const std::lock_guard lock(fLock);
    fRecent.removeAll(pRemote);
    fRecent.prepend(pRemote);
    fReconnect.removeAll(pRemote);
    if (pReconnect)
        fReconnect.append(pRemote);
}

QStringList TMemoryNetwork::ReconnectRemotes()
{
    const std::lock_guard lock(fLock);
    return fReconnect;
}

void TMemoryNetwork::SetReachable(const QString& pPath, std::uint32_t pResult)
{
    const std::lock_guard lock(fLock);
    fReachable[pPath] = pResult;
}

void TMemoryNetwork::SetMountResult(std::uint32_t pResult, const QString& pMessage)
{
    const std::lock_guard lock(fLock);
    fMountResult = pResult;
    fMountMessage = pMessage;
}

void TMemoryNetwork::SetMounts(std::vector<TNetworkMount> pMounts)
{
    const std::lock_guard lock(fLock);
    fMounts = std::move(pMounts);
}

std::vector<TMemoryNetwork::TMountCall> TMemoryNetwork::MountCalls() const
{
    const std::lock_guard lock(fLock);
    return fMountCalls;
}

QStringList TMemoryNetwork::Unmounted() const
{
    const std::lock_guard lock(fLock);
    return fUnmounted;
}

} // namespace kiv::pf::mem

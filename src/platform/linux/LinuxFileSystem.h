#pragma once

#include "core/platform/IFileSystem.h"

namespace kiv::pf::lnx {

// File-system primitives over the POSIX calls; errno values become results at each call.
class TLinuxFileSystem final : public IFileSystem
{
public:
    PathStyle Style() override { return PathStyle::Posix; }
    bool IsCaseSensitive(const QString& pPath) override;
    std::uint32_t GetFileAttributes(const QString& pPath) override;
    HResult GetFindData(const QString& pPath, FindData& pData) override;
    HResult GetAccess(const QString& pPath, FileAccess& pAccess) override;
    HResult FindFirst(const QString& pFolder, std::unique_ptr<IFindHandle>& pHandle) override;
    // In LinuxTreeWalk.cpp.
    HResult ListNames(const QString& pFolder, std::vector<NameEntry>& pEntries) override;
    HResult SumTree(const QString& pFolder, const TreeWalkOptions& pOptions,
                    const std::function<bool()>& pStopped, TreeTotals& pTotals) override;
    HResult CreateDirectory(const QString& pPath) override;
    HResult ForceDirectories(const QString& pPath) override;
    HResult CopyFile(const QString& pSource, const QString& pTarget, bool pFailIfExists) override;
    HResult RemoveDirectory(const QString& pPath) override;
    HResult DeleteFile(const QString& pPath) override;
    HResult WriteFile(const QString& pPath, const QByteArray& pData) override;
    HResult OpenRead(const QString& pPath, IStreamPtr& pStream) override;
    HResult ReadLink(const QString& pPath, QString& pTarget) override;
    HResult CreateSymbolicLink(const QString& pTarget, const QString& pLink) override;
    QString GetTempPath() override;
    QString GetCurrentDirectory() override;
    QString ExpandEnvironmentStrings(const QString& pText) override;
    std::vector<MountInfo> ListMounts() override;
    MountInfo MountOf(const QString& pPath) override;
    DriveType GetDriveType(const QString& pPath) override;
    bool IsVolumeRoot(const QString& pPath) override;
    HResult GetDiskFreeSpace(const QString& pPath, std::uint64_t& pFreeToCaller,
                             std::uint64_t& pTotal, std::uint64_t& pTotalFree) override;
};

} // namespace kiv::pf::lnx

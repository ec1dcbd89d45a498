#pragma once

#include "core/platform/FindData.h"
#include "core/platform/HResult.h"
#include "core/platform/IStream.h"
#include "core/platform/ShellConstants.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kiv::pf {

enum class PathStyle
{
    // Drive letters, "\" and "/" as delimiters, case-insensitive names.
    Windows,
    // One root "/", "/" as the only delimiter ("\" is an ordinary character), case-sensitive.
    Posix,
};

// One mounted file system.
struct MountInfo
{
    // Where it is mounted (escapes for undecodable bytes).
    QString MountPath;
    // What is mounted ("/dev/sda1", "//host/share", "host:/export").
    QString Source;
    QString FileSystemType;
    DriveType Type = DriveType::Fixed;
    bool ReadOnly = false;
    // Listed under This PC (the system root, removable media, user mounts, network shares).
    bool Visible = false;
};

// A running listing of a folder with find data per entry; "." and ".." are never returned.
class IFindHandle
{
public:
    virtual ~IFindHandle() = default;
    // S_OK with the next entry, S_FALSE at the end, a failure otherwise.
    virtual HResult Next(FindData& pData) = 0;
};

// What a walk of a folder tree adds up (the folder itself is not counted).
struct TreeTotals
{
    std::uint64_t Size = 0;
    std::uint64_t Files = 0;
    std::uint64_t Folders = 0;
};

// How SumTree treats symbolic links (and other mount points reached through them).
struct TreeWalkOptions
{
    // Off: links are skipped, so every file is reached through exactly one path. On: links are
    // followed, except one whose target lies inside the walked root (it is counted there
    // already) and a folder that was walked before (a loop through folders outside the root).
    bool FollowLinks = false;
};

// One entry of a folder as its listing alone tells it.
struct NameEntry
{
    QString Name;
    // A folder, or a link to one.
    bool Folder = false;
};

// Who owns a path and who may do what with it: the POSIX permission bits (0777 and the set-id
// and sticky bits) and the names of the owner and group (their numbers when they have no name).
struct FileAccess
{
    std::uint32_t Mode = 0;
    QString Owner;
    QString Group;
};

// File-system primitives used by the core directly (paths, not lists). Thread-safe; every call
// touches the disk, so none belongs on the UI thread for a path that may be on a network mount.
// Failures are HResultFromWin32 of the system error (2 file not found, 3 path not found,
// 5 access denied, 183 already exists, ...).
class IFileSystem
{
public:
    virtual ~IFileSystem() = default;

    virtual PathStyle Style() = 0;
    // Whether names in the folder of pPath differ by letter case.
    virtual bool IsCaseSensitive(const QString& pPath) = 0;

    // fileattr:: bits of a path (symbolic links followed for DIRECTORY); fileattr::INVALID when it
    // cannot be read.
    virtual std::uint32_t GetFileAttributes(const QString& pPath) = 0;
    // The find data of one path (the link itself for a symbolic link).
    virtual HResult GetFindData(const QString& pPath, FindData& pData) = 0;
    // The owner, group and permissions of one path (the link itself for a symbolic link).
    // E_NOTIMPL where the file system has no such notion.
    virtual HResult GetAccess(const QString& /*pPath*/, FileAccess& /*pAccess*/)
    {
        return E_NOTIMPL;
    }
    // Starts listing the entries of a folder.
    virtual HResult FindFirst(const QString& pFolder, std::unique_ptr<IFindHandle>& pHandle) = 0;
    // The names of a folder's entries ("." and ".." left out) and which are folders, from the
    // listing itself where the file system tells entry types: about one call per folder rather
    // than one per entry, for callers that need no sizes or dates.
    virtual HResult ListNames(const QString& pFolder, std::vector<NameEntry>& pEntries) = 0;
    // Adds up every entry below pFolder: files with their sizes, folders by count. Meant for
    // workers: a big tree takes long, one on a dead network mount may not return for minutes.
    // pStopped is asked between entries; when it answers true the walk ends with
    // HResultFromWin32(1223) and pTotals holds what was counted so far. Subfolders that cannot
    // be read are passed over; a pFolder that cannot be listed fails.
    virtual HResult SumTree(const QString& pFolder, const TreeWalkOptions& pOptions,
                            const std::function<bool()>& pStopped, TreeTotals& pTotals) = 0;

    virtual HResult CreateDirectory(const QString& pPath) = 0;
    // Creates the folder and any missing folders above it; an existing folder is success.
    virtual HResult ForceDirectories(const QString& pPath) = 0;
    // Copies a file's content, permissions and times (a copy keeps its source's last-write
    // time, so a later "copy what is newer" skips it). With pFailIfExists an existing target
    // fails with 80; otherwise it is replaced at once (never seen half-written).
    virtual HResult CopyFile(const QString& pSource, const QString& pTarget,
                             bool pFailIfExists) = 0;
    virtual HResult RemoveDirectory(const QString& pPath) = 0;
    virtual HResult DeleteFile(const QString& pPath) = 0;
    // Opens a file for reading.
    virtual HResult OpenRead(const QString& pPath, IStreamPtr& pStream) = 0;
    // Replaces a file's content in one step: the bytes go to a new file beside it, are flushed
    // to the disk and take its place by rename, so a reader or a crash sees the old content or
    // the new, never a part. A missing file is created (its folder must exist); an existing one
    // keeps its permissions.
    virtual HResult WriteFile(const QString& pPath, const QByteArray& pBytes) = 0;
    // The target of a symbolic link.
    virtual HResult ReadLink(const QString& pPath, QString& pTarget) = 0;
    // Makes pLink a symbolic link to pTarget (taken as given, relative or absolute); an existing
    // pLink fails with 183.
    virtual HResult CreateSymbolicLink(const QString& pTarget, const QString& pLink) = 0;

    // The folder for temporary files, with a trailing delimiter.
    virtual QString GetTempPath() = 0;
    virtual QString GetCurrentDirectory() = 0;
    // Replaces %NAME% with the variable's value; unknown names stay as they are.
    virtual QString ExpandEnvironmentStrings(const QString& pText) = 0;

    // The mounted file systems, from the system's table (no disk access to the mounts themselves,
    // so a dead network mount cannot block the call).
    virtual std::vector<MountInfo> ListMounts() = 0;
    // The mount containing a path, by its text (the deepest mount path that is a prefix of it).
    virtual MountInfo MountOf(const QString& pPath) = 0;
    // The kind of the mount containing pPath; DriveType::NoRootDir for an empty or relative path.
    virtual DriveType GetDriveType(const QString& pPath) = 0;
    // True for the system root and the mount points listed under This PC (a root keeps its
    // whole path as its name).
    virtual bool IsVolumeRoot(const QString& pPath) = 0;
    // Free and total bytes of the file system holding pPath.
    virtual HResult GetDiskFreeSpace(const QString& pPath, std::uint64_t& pFreeToCaller,
                                     std::uint64_t& pTotal, std::uint64_t& pTotalFree) = 0;
};

} // namespace kiv::pf

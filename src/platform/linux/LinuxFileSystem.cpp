#include "LinuxFileSystem.h"

#include "Errno.h"
#include "FileCopy.h"
#include "Handles.h"
#include "LinuxPlatform.h"
#include "LinuxStream.h"
#include "MountTable.h"
#include "core/platform/FileNames.h"
#include "core/platform/IChangeNotify.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace kiv::pf::lnx {
namespace {

// Find data of one entry; 0 or an errno value.
int FindDataAt(int pDirFd, const char* pName, FindData& pData)
{
    struct statx st
    {
    };
    if (::statx(pDirFd, pName, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_BTIME,
                &st) != 0)
        return errno;
    std::uint32_t attributes = 0;
    bool folder = S_ISDIR(st.stx_mode);
    if (S_ISLNK(st.stx_mode)) {
        attributes |= fileattr::REPARSE_POINT;
        struct statx target
        {
        };
        if (::statx(pDirFd, pName, AT_NO_AUTOMOUNT, STATX_TYPE, &target) == 0)
            folder = S_ISDIR(target.stx_mode);
    }
    const std::string_view name(pName);
    const std::string_view base =
        name.substr(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1);
    if (!base.empty() && base[0] == '.')
        attributes |= fileattr::HIDDEN;
    if (folder)
        attributes |= fileattr::DIRECTORY;
    else if ((st.stx_mode & 0222) == 0)
        attributes |= fileattr::READONLY;
    if (attributes == 0)
        attributes = fileattr::NORMAL;
    pData = FindData{};
    pData.Attributes = attributes;
    pData.Size = folder ? 0 : st.stx_size;
    pData.LastWriteTime = FileTime::FromUnix(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
    pData.LastAccessTime = FileTime::FromUnix(st.stx_atime.tv_sec, st.stx_atime.tv_nsec);
    if (st.stx_mask & STATX_BTIME)
        pData.CreationTime = FileTime::FromUnix(st.stx_btime.tv_sec, st.stx_btime.tv_nsec);
    pData.Name = DecodeFileName(base);
    return 0;
}

class TFindHandle final : public IFindHandle
{
public:
    explicit TFindHandle(TDir pDir)
        : fDir(std::move(pDir))
    {
    }

    HResult Next(FindData& pData) override
    {
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(fDir.Get());
            if (!entry)
                return errno == 0 ? S_FALSE : HResultFromErrno(errno, TMissing::Path);
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            if (FindDataAt(::dirfd(fDir.Get()), entry->d_name, pData) == 0)
                return S_OK;
        }
    }

private:
    TDir fDir;
};

std::string Bytes(const QString& pPath)
{
    return EncodeFileName(pPath);
}

HResult Check(int pResult, TMissing pMissing = TMissing::File)
{
    return pResult == 0 ? S_OK : HResultFromErrno(errno, pMissing);
}

} // namespace

bool TLinuxFileSystem::IsCaseSensitive(const QString& pPath)
{
    const MountInfo mount = MountOf(pPath);
    const QString& type = mount.FileSystemType;
    return !(type == QLatin1String("vfat") || type == QLatin1String("exfat") ||
             type == QLatin1String("cifs") || type == QLatin1String("smb3") ||
             type == QLatin1String("ntfs") || type == QLatin1String("ntfs3"));
}

std::uint32_t TLinuxFileSystem::GetFileAttributes(const QString& pPath)
{
    FindData data;
    if (FindDataAt(AT_FDCWD, Bytes(pPath).c_str(), data) != 0)
        return fileattr::INVALID;
    return data.Attributes;
}

HResult TLinuxFileSystem::GetFindData(const QString& pPath, FindData& pData)
{
    const int error = FindDataAt(AT_FDCWD, Bytes(pPath).c_str(), pData);
    return error == 0 ? S_OK : HResultFromErrno(error);
}

namespace {

// The name of a user or group id, else the number; the reentrant calls, since workers ask too.
QString UserName(uid_t pUid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(pUid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(pUid);
}

QString GroupName(gid_t pGid)
{
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(pGid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(pGid);
}

} // namespace

HResult TLinuxFileSystem::GetAccess(const QString& pPath, FileAccess& pAccess)
{
    struct statx st
    {
    };
    if (::statx(AT_FDCWD, Bytes(pPath).c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_MODE | STATX_UID | STATX_GID, &st) != 0)
        return HResultFromErrno(errno);
    pAccess.Mode = st.stx_mode & 07777u;
    pAccess.Owner = UserName(st.stx_uid);
    pAccess.Group = GroupName(st.stx_gid);
    return S_OK;
}

HResult TLinuxFileSystem::FindFirst(const QString& pFolder, std::unique_ptr<IFindHandle>& pHandle)
{
    DIR* dir = ::opendir(Bytes(pFolder).c_str());
    if (!dir)
        return HResultFromErrno(errno, TMissing::Path);
    pHandle = std::make_unique<TFindHandle>(TDir(dir));
    return S_OK;
}

namespace {

// Our own changes reach the watchers at once (inotify may not see them: network mounts).
HResult Announced(HResult pResult, std::uint32_t pEvent, const std::string& pPath, bool pFolder)
{
    if (Succeeded(pResult))
        AnnounceChange(pEvent, pPath, pFolder);
    return pResult;
}

} // namespace

HResult TLinuxFileSystem::CreateDirectory(const QString& pPath)
{
    const std::string path = Bytes(pPath);
    return Announced(Check(::mkdir(path.c_str(), 0777), TMissing::Path), shcne::MKDIR, path, true);
}

HResult TLinuxFileSystem::ForceDirectories(const QString& pPath)
{
    const std::string path = Bytes(pPath);
    if (path.empty() || path[0] != '/')
        return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
    std::size_t pos = 1;
    while (pos <= path.size()) {
        const std::size_t end = std::min(path.find('/', pos), path.size());
        const std::string prefix = path.substr(0, end);
        pos = end + 1;
        if (prefix.back() == '/')
            continue;
        if (::mkdir(prefix.c_str(), 0777) == 0 || errno != EEXIST)
            continue;
        struct stat st
        {
        };
        // Something that is no folder is in the way.
        if (::stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
    }
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0)
        return HResultFromErrno(errno, TMissing::Path);
    return S_ISDIR(st.st_mode) ? S_OK : HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
}

namespace {

// Copies the rest of pFrom into pTo; 0 or an errno value.
int CopyContent(int pFrom, int pTo)
{
    for (;;) {
        // The kernel copies without a trip through user memory where the file systems allow.
        const ssize_t n = ::copy_file_range(pFrom, nullptr, pTo, nullptr, 1 << 30, 0);
        if (n > 0)
            continue;
        if (n == 0)
            return 0;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return errno;
        break;
    }
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t n = ::read(pFrom, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t written =
                ::write(pTo, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += written;
        }
    }
}

} // namespace

HResult TLinuxFileSystem::CopyFile(const QString& pSource, const QString& pTarget,
                                   bool pFailIfExists)
{
    const std::string source = Bytes(pSource);
    const std::string target = Bytes(pTarget);
    TFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from.IsValid())
        return HResultFromErrno(errno);
    struct stat st
    {
    };
    if (::fstat(from.Get(), &st) != 0)
        return HResultFromErrno(errno);
    if (!S_ISREG(st.st_mode))
        return HResultFromWin32(win32::ERROR_ACCESS_DENIED);

    // Without pFailIfExists the copy goes to a hidden name beside the target and replaces the
    // target in one rename, so nobody sees a half-written file under the target's name.
    std::string written = target;
    TFd to;
    if (pFailIfExists) {
        to.Reset(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!to.IsValid())
            return errno == EEXIST ? HResultFromWin32(win32::ERROR_FILE_EXISTS)
                                   : HResultFromErrno(errno, TMissing::Path);
    } else {
        const std::size_t slash = target.rfind('/');
        written = target.substr(0, slash + 1) + "." +
                  target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
        to.Reset(::mkostemp(written.data(), O_CLOEXEC));
        if (!to.IsValid())
            return HResultFromErrno(errno, TMissing::Path);
    }
    int error = CopyContent(from.Get(), to.Get());
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (error == 0 &&
        (::fchmod(to.Get(), st.st_mode & 07777) != 0 || ::futimens(to.Get(), times) != 0))
        error = errno;
    if (error == 0 && ::close(to.Release()) != 0)
        error = errno;
    if (error == 0 && written != target && ::rename(written.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(written.c_str());
        return HResultFromErrno(error);
    }
    return Announced(S_OK, shcne::CREATE, target, false);
}

HResult TLinuxFileSystem::RemoveDirectory(const QString& pPath)
{
    const std::string path = Bytes(pPath);
    return Announced(Check(::rmdir(path.c_str())), shcne::RMDIR, path, true);
}

HResult TLinuxFileSystem::DeleteFile(const QString& pPath)
{
    const std::string path = Bytes(pPath);
    return Announced(Check(::unlink(path.c_str())), shcne::DELETE, path, false);
}

namespace {
// The process's file-creation mask; 022 when the system does not say.
mode_t CreationMask()
{
    const int mask = ReadCreationMask();
    return mask < 0 ? 022 : static_cast<mode_t>(mask);
}
} // namespace

HResult TLinuxFileSystem::WriteFile(const QString& pPath, const QByteArray& pData)
{
    // Written under a hidden name beside the target and put in its place with one rename, so
    // nobody sees half a file under the target's name.
    const std::string target = Bytes(pPath);
    const std::size_t slash = target.rfind('/');
    std::string written = target.substr(0, slash + 1) + "." +
                          target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    TFd to(::mkostemp(written.data(), O_CLOEXEC));
    if (!to.IsValid())
        return HResultFromErrno(errno, TMissing::Path);
    struct stat existing
    {
    };
    const bool existed = ::stat(target.c_str(), &existing) == 0;
    const mode_t mode = existed ? (existing.st_mode & 07777) : (0666 & ~CreationMask());
    int error = 0;
    for (qsizetype done = 0; done < pData.size() && error == 0;) {
        const ssize_t put = ::write(to.Get(), pData.constData() + done,
                                    static_cast<std::size_t>(pData.size() - done));
        if (put > 0)
            done += put;
        else if (errno != EINTR)
            error = errno;
    }
    if (error == 0 && ::fchmod(to.Get(), mode) != 0)
        error = errno;
    // On the disk before the rename: a crash must leave the old file or the whole new one.
    if (error == 0 && ::fdatasync(to.Get()) != 0)
        error = errno;
    if (error == 0 && ::close(to.Release()) != 0)
        error = errno;
    if (error == 0 && ::rename(written.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(written.c_str());
        return HResultFromErrno(error);
    }
    return Announced(S_OK, existed ? shcne::UPDATEITEM : shcne::CREATE, target, false);
}

HResult TLinuxFileSystem::OpenRead(const QString& pPath, IStreamPtr& pStream)
{
    return OpenFileStream(Bytes(pPath), pStream);
}

HResult TLinuxFileSystem::ReadLink(const QString& pPath, QString& pTarget)
{
    std::array<char, 4097> buffer{};
    const ssize_t n = ::readlink(Bytes(pPath).c_str(), buffer.data(), buffer.size() - 1);
    if (n < 0)
        return HResultFromErrno(errno);
    pTarget = DecodeFileName(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    return S_OK;
}

HResult TLinuxFileSystem::CreateSymbolicLink(const QString& pTarget, const QString& pLink)
{
    const std::string link = Bytes(pLink);
    if (::symlink(Bytes(pTarget).c_str(), link.c_str()) != 0)
        return HResultFromErrno(errno);
    return Announced(S_OK, shcne::CREATE, link, false);
}

QString TLinuxFileSystem::GetTempPath()
{
    const char* dir = std::getenv("TMPDIR");
    QString path = dir && dir[0] == '/' ? DecodeFileName(dir) : QStringLiteral("/tmp");
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

QString TLinuxFileSystem::GetCurrentDirectory()
{
    std::array<char, 4097> buffer{};
    if (!::getcwd(buffer.data(), buffer.size()))
        return QString();
    return DecodeFileName(buffer.data());
}

QString TLinuxFileSystem::ExpandEnvironmentStrings(const QString& pText)
{
    QString result;
    qsizetype pos = 0;
    while (pos < pText.size()) {
        const qsizetype open = pText.indexOf(u'%', pos);
        const qsizetype close = open < 0 ? -1 : pText.indexOf(u'%', open + 1);
        if (open < 0 || close < 0) {
            result += QStringView(pText).mid(pos);
            break;
        }
        result += QStringView(pText).mid(pos, open - pos);
        const QString name = pText.mid(open + 1, close - open - 1);
        const char* value = name.isEmpty() ? nullptr : std::getenv(name.toUtf8().constData());
        if (value) {
            result += DecodeFileName(value);
            pos = close + 1;
        } else {
            // Unknown names stay as written; the closing '%' may open the next name.
            result += QStringView(pText).mid(open, close - open);
            pos = close;
        }
    }
    return result;
}

std::vector<MountInfo> TLinuxFileSystem::ListMounts()
{
    std::vector<MountInfo> result;
    for (const TMount& mount : ReadMountTable())
        result.push_back(ToMountInfo(mount));
    return result;
}

MountInfo TLinuxFileSystem::MountOf(const QString& pPath)
{
    const auto mounts = ReadMountTable();
    const TMount* mount = MountContaining(mounts, Bytes(pPath), false);
    if (!mount) {
        MountInfo none;
        none.Type = DriveType::NoRootDir;
        return none;
    }
    return ToMountInfo(*mount);
}

bool TLinuxFileSystem::IsVolumeRoot(const QString& pPath)
{
    std::string path = Bytes(pPath);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path == "/")
        return true;
    for (const TMount& mount : ReadMountTable()) {
        if (mount.Visible && mount.Path == path)
            return true;
    }
    return false;
}

DriveType TLinuxFileSystem::GetDriveType(const QString& pPath)
{
    if (pPath.isEmpty() || !pPath.startsWith(u'/'))
        return DriveType::NoRootDir;
    return MountOf(pPath).Type;
}

HResult TLinuxFileSystem::GetDiskFreeSpace(const QString& pPath, std::uint64_t& pFreeToCaller,
                                           std::uint64_t& pTotal, std::uint64_t& pTotalFree)
{
    struct statvfs st
    {
    };
    if (::statvfs(Bytes(pPath).c_str(), &st) != 0)
        return HResultFromErrno(errno, TMissing::Path);
    pFreeToCaller = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    pTotal = static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
    pTotalFree = static_cast<std::uint64_t>(st.f_bfree) * st.f_frsize;
    return S_OK;
}

} // namespace kiv::pf::lnx

#include "LinuxTrash.h"

#include "Errno.h"
#include "Handles.h"
#include "LinuxItems.h"
#include "LinuxPlaces_p.h"
#include "MountTable.h"
#include "PercentEncoding.h"
#include "SmallFile.h"
#include "XdgDirs.h"
#include "core/platform/FileTime.h"
#include "core/platform/ShellConstants.h"

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

bool IsDirectory(const std::string& pPath, bool pFollow = true)
{
    struct stat st
    {
    };
    const int result = pFollow ? ::stat(pPath.c_str(), &st) : ::lstat(pPath.c_str(), &st);
    return result == 0 && S_ISDIR(st.st_mode);
}

// The folder a trash folder's relative paths start from.
std::string TopDirOf(const std::string& pTrashDir)
{
    // $topdir/.Trash-$uid or $topdir/.Trash/$uid
    std::string top = pTrashDir.substr(0, pTrashDir.rfind('/'));
    if (top.size() >= 7 && top.compare(top.size() - 7, 7, "/.Trash") == 0)
        top = top.substr(0, top.size() - 7);
    return top.empty() ? std::string("/") : top;
}

} // namespace

std::vector<std::string> TrashDirs()
{
    std::vector<std::string> dirs;
    const TXdgDirs xdg = TXdgDirs::Load();
    const std::string home = xdg.DataHome + "/Trash";
    if (IsDirectory(home + "/files"))
        dirs.push_back(home);
    const std::string uid = std::to_string(::geteuid());
    for (const TMount& mount : ReadMountTable()) {
        if (!mount.Visible || mount.Drive == DriveType::Remote)
            continue;
        const std::string top = mount.Path == "/" ? std::string() : mount.Path;
        // The shared folder must be a real, sticky folder: anything else may be a trap.
        const std::string shared = top + "/.Trash";
        struct stat st
        {
        };
        if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
            IsDirectory(shared + "/" + uid + "/files", false))
            dirs.push_back(shared + "/" + uid);
        const std::string own = top + "/.Trash-" + uid;
        if (IsDirectory(own + "/files", false) && own != home)
            dirs.push_back(own);
    }
    return dirs;
}

bool ParseTrashInfo(std::string_view pText, const std::string& pTopDir, std::string& pOriginal,
                    std::uint64_t& pDeletionTime)
{
    bool found = false;
    pDeletionTime = 0;
    std::size_t pos = 0;
    while (pos < pText.size()) {
        const std::size_t end = std::min(pText.find('\n', pos), pText.size());
        std::string_view line = pText.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.rfind("Path=", 0) == 0) {
            pOriginal = PercentDecode(line.substr(5));
            if (!pOriginal.empty() && pOriginal[0] != '/')
                pOriginal = (pTopDir == "/" ? std::string() : pTopDir) + "/" + pOriginal;
            found = !pOriginal.empty();
        } else if (line.rfind("DeletionDate=", 0) == 0) {
            const QString text =
                QString::fromLatin1(line.data() + 13, static_cast<qsizetype>(line.size() - 13));
            // The date is written in local time, without a zone.
            const QDateTime when = QDateTime::fromString(text, Qt::ISODate);
            if (when.isValid())
                pDeletionTime = FileTime::FromUnix(when.toSecsSinceEpoch(), 0).Ticks;
        }
    }
    return found;
}

HResult MakeTrashEntry(const std::string& pTrashDir, const std::string& pName, IdListBytes& pItem)
{
    if (!IsValidEntryName(pName))
        return HResultFromWin32(win32::ERROR_INVALID_NAME);
    TFd files(::open((pTrashDir + "/files").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!files.IsValid())
        return HResultFromErrno(errno, TMissing::Path);
    struct statx st
    {
    };
    if (::statx(files.Get(), pName.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME, &st) != 0)
        return HResultFromErrno(errno);
    TSnapshot snapshot;
    snapshot.Mode = st.stx_mode;
    const bool folder = S_ISDIR(st.stx_mode);
    snapshot.Attributes = folder ? fileattr::DIRECTORY : 0;
    if (S_ISLNK(st.stx_mode)) {
        snapshot.Flags |= itemflag::Symlink;
        snapshot.Attributes |= fileattr::REPARSE_POINT;
    }
    if (pName[0] == '.') {
        snapshot.Flags |= itemflag::Hidden;
        snapshot.Attributes |= fileattr::HIDDEN;
    }
    if (snapshot.Attributes == 0)
        snapshot.Attributes = fileattr::NORMAL;
    snapshot.Size = folder ? 0 : st.stx_size;
    snapshot.LastWrite = FileTime::FromUnix(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec).Ticks;

    std::string original;
    std::uint64_t deleted = 0;
    TFd info(::open((pTrashDir + "/info").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (info.IsValid())
        ParseTrashInfo(ReadSmallFileAt(info.Get(), pName + ".trashinfo", kSmallFileLimit, true),
                       TopDirOf(pTrashDir), original, deleted);
    pItem = idl::FromItem(MakeTrashItem(snapshot, pName, pTrashDir, original, deleted));
    return S_OK;
}

std::vector<IdListBytes> ReadTrashEntries(const std::string& pTrashDir)
{
    std::vector<IdListBytes> items;
    TDir dir(::opendir((pTrashDir + "/files").c_str()));
    if (!dir.IsValid())
        return items;
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        IdListBytes item;
        if (Succeeded(MakeTrashEntry(pTrashDir, name, item)))
            items.push_back(std::move(item));
    }
    return items;
}

} // namespace kiv::pf::lnx

// ---------------------------------------------------------------------------------------------
// Moving to and from the trash.

namespace kiv::pf::lnx {
namespace {

HResult MakeFolder(const std::string& pPath, mode_t pMode)
{
    if (::mkdir(pPath.c_str(), pMode) == 0 || errno == EEXIST)
        return S_OK;
    return HResultFromErrno(errno, TMissing::Path);
}

// A folder that is ours and no link: a trash folder anyone else could have planted is unsafe.
bool IsOwnFolder(const std::string& pPath)
{
    struct stat st
    {
    };
    return ::lstat(pPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

// Makes pTrashDir with "files" and "info" (mode 0700) when missing.
HResult PrepareTrashDir(const std::string& pTrashDir)
{
    for (const std::string& path : {pTrashDir, pTrashDir + "/files", pTrashDir + "/info"}) {
        if (HResult result = MakeFolder(path, 0700); Failed(result))
            return result;
        if (!IsOwnFolder(path))
            return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
    }
    return S_OK;
}

std::string Parent(const std::string& pPath)
{
    const std::size_t slash = pPath.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : pPath.substr(0, slash);
}

// The trash folder for a path on the device pDevice, made when needed; pTopDir receives the
// folder its info paths are relative to (empty: they are absolute).
HResult TrashDirFor(const std::string& pPath, dev_t pDevice, std::string& pTrashDir,
                    std::string& pTopDir)
{
    const TXdgDirs xdg = TXdgDirs::Load();
    struct stat st
    {
    };
    // The user's trash serves the file system of the data folder (of the home folder while
    // the data folder does not exist yet: it is made then).
    const bool onHome = ::stat(xdg.DataHome.c_str(), &st) == 0
                            ? st.st_dev == pDevice
                            : ::stat(xdg.Home.c_str(), &st) == 0 && st.st_dev == pDevice &&
                                  IsPathPrefix(xdg.Home, xdg.DataHome);
    if (onHome) {
        std::string folder;
        for (const std::string& part : Components(xdg.DataHome)) {
            folder += "/" + part;
            if (HResult result = MakeFolder(folder, 0700); Failed(result))
                return result;
        }
        pTrashDir = xdg.DataHome + "/Trash";
        pTopDir.clear();
        return PrepareTrashDir(pTrashDir);
    }
    const auto mounts = ReadMountTable();
    const TMount* mount = MountContaining(mounts, pPath, false);
    if (!mount || mount->Drive == DriveType::Remote)
        return HResultFromWin32(win32::ERROR_NOT_SUPPORTED);
    pTopDir = mount->Path;
    const std::string top = mount->Path == "/" ? std::string() : mount->Path;
    const std::string uid = std::to_string(::geteuid());
    const std::string shared = top + "/.Trash";
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        pTrashDir = shared + "/" + uid;
        if (Succeeded(PrepareTrashDir(pTrashDir)))
            return S_OK;
    }
    pTrashDir = top + "/.Trash-" + uid;
    return PrepareTrashDir(pTrashDir);
}

// "name", "name.2", "name.3"... with the extension kept last ("report.2.txt").
std::string Candidate(const std::string& pName, int pNumber)
{
    if (pNumber == 1)
        return pName;
    const std::size_t dot = pName.rfind('.');
    const std::string number = "." + std::to_string(pNumber);
    if (dot == std::string::npos || dot == 0)
        return pName + number;
    return pName.substr(0, dot) + number + pName.substr(dot);
}

QString DeletionDateNow()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

bool WriteAll(int pFd, const std::string& pText)
{
    std::size_t done = 0;
    while (done < pText.size()) {
        const ssize_t n = ::write(pFd, pText.data() + done, pText.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// pPath is the entry's full path, for the report of where removal failed.
HResult RemoveTreeAt(int pDirFd, const std::string& pName, const std::string& pPath, dev_t pDevice,
                     std::string* pFailedAt)
{
    const auto failed = [&](HResult pResult) {
        if (pFailedAt)
            *pFailedAt = pPath;
        return pResult;
    };
    struct stat st
    {
    };
    if (::fstatat(pDirFd, pName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(HResultFromErrno(errno));
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(pDirFd, pName.c_str(), 0) == 0 ? S_OK : failed(HResultFromErrno(errno));
    // Another file system mounted here is not ours to empty.
    if (st.st_dev != pDevice)
        return failed(HResultFromWin32(win32::ERROR_ACCESS_DENIED));
    {
        const int fd =
            ::openat(pDirFd, pName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return failed(HResultFromErrno(errno));
        TDir dir(::fdopendir(fd));
        if (!dir.IsValid()) {
            const int error = errno;
            ::close(fd);
            return failed(HResultFromErrno(error));
        }
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir.Get())) {
            const std::string_view name(entry->d_name);
            if (name != "." && name != "..")
                names.emplace_back(name);
        }
        for (const std::string& name : names)
            if (HResult result =
                    RemoveTreeAt(::dirfd(dir.Get()), name, pPath + "/" + name, pDevice, pFailedAt);
                Failed(result))
                return result;
    }
    return ::unlinkat(pDirFd, pName.c_str(), AT_REMOVEDIR) == 0 ? S_OK
                                                                : failed(HResultFromErrno(errno));
}

} // namespace

HResult RemoveTree(const std::string& pPath, std::string* pFailedAt)
{
    if (pFailedAt)
        *pFailedAt = pPath;
    if (pPath.empty() || pPath == "/")
        return E_INVALIDARG;
    const std::string name(BaseName(pPath));
    if (!IsValidEntryName(name))
        return HResultFromWin32(win32::ERROR_INVALID_NAME);
    TFd parent(::open(Parent(pPath).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parent.IsValid())
        return HResultFromErrno(errno, TMissing::Path);
    struct stat st
    {
    };
    if (::fstatat(parent.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return HResultFromErrno(errno);
    return RemoveTreeAt(parent.Get(), name, pPath, st.st_dev, pFailedAt);
}

HResult MoveToTrash(const std::string& pPath, std::string* pTrashDir, std::string* pName,
                    bool* pNoTrash)
{
    if (pNoTrash)
        *pNoTrash = false;
    const std::string name(BaseName(pPath));
    if (pPath.empty() || pPath[0] != '/' || !IsValidEntryName(name))
        return E_INVALIDARG;
    struct stat st
    {
    };
    if (::lstat(pPath.c_str(), &st) != 0)
        return HResultFromErrno(errno);
    std::string trashDir;
    std::string topDir;
    if (HResult result = TrashDirFor(pPath, st.st_dev, trashDir, topDir); Failed(result)) {
        if (pNoTrash)
            *pNoTrash = true;
        return result;
    }
    // Nothing goes into the trash that holds it, nor the trash itself.
    if (IsPathPrefix(pPath, trashDir) || IsPathPrefix(trashDir, pPath))
        return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
    std::string original = pPath;
    if (!topDir.empty() && topDir != "/")
        original = pPath.substr(topDir.size() + 1);
    else if (topDir == "/")
        original = pPath.substr(1);
    const std::string info = "[Trash Info]\nPath=" + PercentEncodePath(original) +
                             "\nDeletionDate=" + DeletionDateNow().toStdString() + "\n";
    TFd infoDir(::open((trashDir + "/info").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    TFd filesDir(::open((trashDir + "/files").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!infoDir.IsValid() || !filesDir.IsValid()) {
        if (pNoTrash)
            *pNoTrash = true;
        return HResultFromErrno(errno, TMissing::Path);
    }
    // The info file is made first and exclusively: it reserves the name in the trash.
    for (int number = 1; number < 10000; ++number) {
        const std::string candidate = Candidate(name, number);
        const std::string infoName = candidate + ".trashinfo";
        TFd fd(::openat(infoDir.Get(), infoName.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.IsValid()) {
            if (errno == EEXIST)
                continue;
            // The trash takes no entry (read-only, full, not ours to write).
            if (pNoTrash)
                *pNoTrash = true;
            return HResultFromErrno(errno);
        }
        if (!WriteAll(fd.Get(), info) || ::fsync(fd.Get()) != 0) {
            const int error = errno;
            ::unlinkat(infoDir.Get(), infoName.c_str(), 0);
            if (pNoTrash)
                *pNoTrash = true;
            return HResultFromErrno(error ? error : EIO);
        }
        fd = TFd();
        if (::renameat2(AT_FDCWD, pPath.c_str(), filesDir.Get(), candidate.c_str(),
                        RENAME_NOREPLACE) != 0) {
            const int error = errno;
            ::unlinkat(infoDir.Get(), infoName.c_str(), 0);
            // A stale entry of that name without info: try the next name.
            if (error == EEXIST)
                continue;
            // A trash folder on another file system (bind mounts) cannot take it by a rename.
            if (error == EXDEV && pNoTrash)
                *pNoTrash = true;
            return HResultFromErrno(error);
        }
        if (pTrashDir)
            *pTrashDir = trashDir;
        if (pName)
            *pName = candidate;
        return S_OK;
    }
    return HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
}

HResult RestoreFromTrash(const std::string& pTrashDir, const std::string& pName,
                         std::string* pRestoredTo)
{
    if (!IsValidEntryName(pName))
        return HResultFromWin32(win32::ERROR_INVALID_NAME);
    TFd infoDir(::open((pTrashDir + "/info").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    TFd filesDir(::open((pTrashDir + "/files").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!infoDir.IsValid() || !filesDir.IsValid())
        return HResultFromErrno(errno, TMissing::Path);
    std::string original;
    std::uint64_t deleted = 0;
    const std::string infoName = pName + ".trashinfo";
    if (!ParseTrashInfo(ReadSmallFileAt(infoDir.Get(), infoName, kSmallFileLimit, true),
                        TopDirOf(pTrashDir), original, deleted) ||
        original.empty() || original[0] != '/' || !IsValidEntryName(BaseName(original)))
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    struct stat st
    {
    };
    if (::lstat(original.c_str(), &st) == 0)
        return HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
    // The folders it was in, made again where they are gone.
    std::string folder;
    for (const std::string& part : Components(Parent(original))) {
        folder += "/" + part;
        if (HResult result = MakeFolder(folder, 0777); Failed(result))
            return result;
    }
    if (::renameat2(filesDir.Get(), pName.c_str(), AT_FDCWD, original.c_str(), RENAME_NOREPLACE) !=
        0)
        return HResultFromErrno(errno);
    ::unlinkat(infoDir.Get(), infoName.c_str(), 0);
    if (pRestoredTo)
        *pRestoredTo = original;
    return S_OK;
}

HResult DeleteFromTrash(const std::string& pTrashDir, const std::string& pName)
{
    if (!IsValidEntryName(pName))
        return HResultFromWin32(win32::ERROR_INVALID_NAME);
    const std::string entry = pTrashDir + "/files/" + pName;
    struct stat st
    {
    };
    if (::lstat(entry.c_str(), &st) == 0) {
        if (HResult result = RemoveTree(entry); Failed(result))
            return result;
    } else if (errno != ENOENT) {
        return HResultFromErrno(errno);
    }
    const std::string info = pTrashDir + "/info/" + pName + ".trashinfo";
    if (::unlink(info.c_str()) != 0 && errno != ENOENT)
        return HResultFromErrno(errno);
    return S_OK;
}

HResult EmptyTrash()
{
    HResult first = S_OK;
    for (const std::string& trashDir : TrashDirs()) {
        std::vector<std::string> names;
        for (const std::string folder : {"/files", "/info"}) {
            TDir dir(::opendir((trashDir + folder).c_str()));
            while (dir.IsValid()) {
                const dirent* entry = ::readdir(dir.Get());
                if (!entry)
                    break;
                std::string name(entry->d_name);
                if (name == "." || name == "..")
                    continue;
                // Info files left without an entry go as well.
                if (folder == "/info") {
                    if (name.size() <= 10 || name.compare(name.size() - 10, 10, ".trashinfo") != 0)
                        continue;
                    name.resize(name.size() - 10);
                }
                if (std::find(names.begin(), names.end(), name) == names.end())
                    names.push_back(std::move(name));
            }
        }
        for (const std::string& name : names) {
            const HResult result = DeleteFromTrash(trashDir, name);
            if (Failed(result) && Succeeded(first))
                first = result;
        }
        ::unlink((trashDir + "/directorysizes").c_str());
    }
    return first;
}

} // namespace kiv::pf::lnx

#include "LinuxTrash.h"

#include "Errno.h"
#include "Handles.h"
#include "LinuxItems.h"
#include "MountTable.h"
#include "PercentEncoding.h"
#include "XdgDirs.h"
#include "core/platform/FileTime.h"
#include "core/platform/ShellConstants.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cerrno>
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

std::string ReadSmallFileAt(int pDirFd, const std::string& pName)
{
    std::string text;
    TFd fd(::openat(pDirFd, pName.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    std::array<char, 4096> buffer{};
    // A .trashinfo holds two short lines; 64 KiB bounds a hostile one.
    while (fd.IsValid() && text.size() < 65536) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n <= 0)
            break;
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return text;
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
        ParseTrashInfo(ReadSmallFileAt(info.Get(), pName + ".trashinfo"), TopDirOf(pTrashDir),
                       original, deleted);
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

namespace kiv::pf::lnx {
namespace {

int MakeFolder(const std::string& pPath)
{
    return ::mkdir(pPath.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// A trash folder with its "files" and "info" on device pDevice; 0 or an errno value.
int PrepareTrash(const std::string& pTrash, dev_t pDevice)
{
    for (const std::string& folder : {pTrash, pTrash + "/files", pTrash + "/info"}) {
        if (const int error = MakeFolder(folder))
            return error;
    }
    struct stat st
    {
    };
    if (::lstat((pTrash + "/files").c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return st.st_dev == pDevice ? 0 : EXDEV;
}

// The path as a .trashinfo writes it: bytes other than unreserved ones and "/" as %XX.
std::string PercentEncodePath(const std::string& pPath)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : pPath) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
            byte == '~' || byte == '/') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

} // namespace

int MoveToTrash(const std::string& pPath, std::string* pTrashed)
{
    struct stat item
    {
    };
    if (pPath.empty() || pPath[0] != '/')
        return EINVAL;
    if (::lstat(pPath.c_str(), &item) != 0)
        return errno;

    std::string trash = TXdgDirs::Load().DataHome + "/Trash";
    std::string shownPath = pPath;
    if (PrepareTrash(trash, item.st_dev) != 0) {
        const std::vector<TMount> mounts = ReadMountTable();
        const TMount* mount = MountContaining(mounts, pPath, false);
        if (!mount)
            return EXDEV;
        const std::string top = mount->Path == "/" ? std::string() : mount->Path;
        trash = top + "/.Trash-" + std::to_string(::geteuid());
        if (const int error = PrepareTrash(trash, item.st_dev))
            return error == EXDEV ? EXDEV : error;
        // Paths in a volume's trash are relative to its top folder, so they stay right when the
        // volume is mounted elsewhere.
        if (!top.empty())
            shownPath = pPath.substr(top.size() + 1);
    }

    const std::size_t slash = pPath.find_last_of('/');
    const std::string base = pPath.substr(slash + 1);
    const std::string date =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toStdString();
    const std::string info =
        "[Trash Info]\nPath=" + PercentEncodePath(shownPath) + "\nDeletionDate=" + date + "\n";
    for (int number = 1; number < 10000; ++number) {
        const std::string name = number == 1 ? base : base + "." + std::to_string(number);
        const std::string infoPath = trash + "/info/" + name + ".trashinfo";
        const std::string filesPath = trash + "/files/" + name;
        TFd fd(::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.IsValid()) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        struct stat taken
        {
        };
        // An entry without its info file (left by another program) keeps its name too.
        const bool free = ::lstat(filesPath.c_str(), &taken) != 0 && errno == ENOENT;
        int error = free ? 0 : EEXIST;
        if (error == 0 &&
            ::write(fd.Get(), info.data(), info.size()) != static_cast<ssize_t>(info.size()))
            error = errno == 0 ? EIO : errno;
        if (error == 0 && ::close(fd.Release()) != 0)
            error = errno;
        if (error == 0 && ::rename(pPath.c_str(), filesPath.c_str()) != 0)
            error = errno;
        if (error == 0) {
            if (pTrashed)
                *pTrashed = filesPath;
            return 0;
        }
        fd.Reset();
        ::unlink(infoPath.c_str());
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

} // namespace kiv::pf::lnx

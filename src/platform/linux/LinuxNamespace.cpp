#include "LinuxNamespace.h"

#include "Errno.h"
#include "Handles.h"
#include "LinuxItems.h"
#include "LinuxLinks.h"
#include "LinuxSettings.h"
#include "LinuxTrash.h"
#include "MountTable.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/ShellConstants.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_set>

namespace kiv::pf::lnx {
namespace {

// ---------------------------------------------------------------------------------------------
// Places: what an absolute list stands for.

enum class TPlace
{
    Desktop,
    ThisPC,
    Trash,
    Network,
    // A host under Network; TLocation::Path holds its name.
    NetHost,
    ControlPanel,
    QuickAccess,
    Recent,
    // A link to a path (a recent entry): a leaf with no file-system path of its own.
    Link,
    FileSystem,
};

struct TLocation
{
    TPlace Place = TPlace::Desktop;
    // The folder's (or file's) path for TPlace::FileSystem.
    std::string Path;
    bool IsFolder = true;
    // Inside a network mount: callers enumerate in the background.
    bool Slow = false;
    bool ReadOnly = false;
};

// The user folders shown under This PC, in this order.
struct TDelegate
{
    Guid ClassId;
    std::string TXdgDirs::*Dir;
    const char16_t* Name;
};

const std::array<TDelegate, 6>& Delegates()
{
    static const std::array<TDelegate, 6> delegates{{
        {clsid::DesktopFolder, &TXdgDirs::Desktop, u"Desktop"},
        {clsid::DocumentsFolder, &TXdgDirs::Documents, u"Documents"},
        {clsid::DownloadsFolder, &TXdgDirs::Download, u"Downloads"},
        {clsid::MusicFolder, &TXdgDirs::Music, u"Music"},
        {clsid::PicturesFolder, &TXdgDirs::Pictures, u"Pictures"},
        {clsid::VideosFolder, &TXdgDirs::Videos, u"Videos"},
    }};
    return delegates;
}

const TDelegate* FindDelegate(const Guid& pClassId)
{
    for (const TDelegate& d : Delegates()) {
        if (d.ClassId == pClassId)
            return &d;
    }
    return nullptr;
}

// Sort orders of the desktop's class items (byte 3 of the item).
constexpr std::uint8_t kOrderHome = 0x40;
constexpr std::uint8_t kOrderThisPC = 0x50;
constexpr std::uint8_t kOrderTrash = 0x60;
constexpr std::uint8_t kOrderNetwork = 0x58;
constexpr std::uint8_t kOrderControlPanel = 0x5C;
constexpr std::uint8_t kOrderQuickAccess = 0x30;
constexpr std::uint8_t kOrderRecent = 0x70;
// Recent files shown in Quick access, newest first.
constexpr std::size_t kQuickAccessRecentFiles = 20;
// Recent entries listed at most: desktops keep a few hundred.
constexpr std::size_t kRecentEntries = 500;
constexpr std::uint8_t kOrderDelegate = 0x48;

std::string Join(const std::string& pFolder, std::string_view pName)
{
    std::string result = pFolder;
    if (result.empty() || result.back() != '/')
        result += '/';
    result += pName;
    return result;
}

std::string_view BaseName(std::string_view pPath)
{
    const std::size_t slash = pPath.rfind('/');
    return slash == std::string_view::npos ? pPath : pPath.substr(slash + 1);
}

// The desktop lists the desktop folder's entries unless it falls back to the home folder.
bool DesktopHasFolder(const TXdgDirs& pDirs)
{
    return pDirs.Desktop != pDirs.Home;
}

// A network share that is mounted: where, from which host, under which name.
struct TShare
{
    std::uint8_t Protocol = 0;
    std::string Host;
    std::string Name;
    std::string MountPath;
    bool ReadOnly = false;
};

std::vector<TShare> MountedShares();

// Follows pRelative from the place pLocation stands for (the desktop for an absolute list).
HResult ResolveFrom(IdSpan pRelative, TLocation& pLocation)
{
    const IdSpan pAbsolute = pRelative;
    std::optional<TXdgDirs> dirs;
    auto xdg = [&]() -> const TXdgDirs& {
        if (!dirs)
            dirs = TXdgDirs::Load();
        return *dirs;
    };
    const std::size_t depth = pAbsolute.Depth();
    for (std::size_t i = 0; i < depth; ++i) {
        TItem item;
        if (!pLocation.IsFolder || !DecodeItem(pAbsolute.Item(i), item))
            return E_INVALIDARG;
        switch (pLocation.Place) {
        case TPlace::Desktop:
            if (item.Kind == kind::Class && item.ClassId == clsid::Home) {
                pLocation.Place = TPlace::FileSystem;
                pLocation.Path = xdg().Home;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::ThisPC) {
                pLocation.Place = TPlace::ThisPC;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::Trash) {
                pLocation.Place = TPlace::Trash;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::Network) {
                pLocation.Place = TPlace::Network;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::ControlPanel) {
                pLocation.Place = TPlace::ControlPanel;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::QuickAccess) {
                pLocation.Place = TPlace::QuickAccess;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::Recent) {
                pLocation.Place = TPlace::Recent;
            } else if (item.IsFileSystem()) {
                pLocation.Place = TPlace::FileSystem;
                pLocation.Path = Join(xdg().Desktop, item.Text);
                pLocation.IsFolder = item.Kind == kind::FsFolder;
            } else {
                return E_INVALIDARG;
            }
            break;
        case TPlace::ThisPC:
            if (item.Kind == kind::Class) {
                const TDelegate* delegate = FindDelegate(item.ClassId);
                if (!delegate)
                    return E_INVALIDARG;
                pLocation.Place = TPlace::FileSystem;
                pLocation.Path = xdg().*(delegate->Dir);
            } else if (item.Kind == kind::Mount) {
                pLocation.Place = TPlace::FileSystem;
                pLocation.Path = std::string(item.Text);
                pLocation.Slow = (item.MountFlags & mountflag::Remote) != 0;
                pLocation.ReadOnly = (item.MountFlags & mountflag::ReadOnly) != 0;
            } else {
                return E_INVALIDARG;
            }
            break;
        case TPlace::Trash: {
            if (item.Kind != kind::TrashEntry)
                return E_INVALIDARG;
            // Only the trash folders that exist: the bytes may come from anywhere.
            const auto trashDirs = TrashDirs();
            if (std::find(trashDirs.begin(), trashDirs.end(), item.TrashDir) == trashDirs.end())
                return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
            pLocation.Place = TPlace::FileSystem;
            pLocation.Path = Join(std::string(item.TrashDir) + "/files", item.Text);
            pLocation.IsFolder = (item.Snapshot.Attributes & fileattr::DIRECTORY) != 0;
            break;
        }
        case TPlace::Network:
            if (item.Kind != kind::NetHost)
                return E_INVALIDARG;
            pLocation.Place = TPlace::NetHost;
            pLocation.Path = std::string(item.Text);
            break;
        case TPlace::NetHost: {
            if (item.Kind != kind::NetShare)
                return E_INVALIDARG;
            // Only a share that is mounted now, from that host: the bytes may come from anywhere.
            const auto shares = MountedShares();
            const auto found =
                std::find_if(shares.begin(), shares.end(), [&](const TShare& pShare) {
                    return pShare.MountPath == item.MountPath && pShare.Host == pLocation.Path;
                });
            if (found == shares.end())
                return HResultFromWin32(win32::ERROR_BAD_NETPATH);
            pLocation.Place = TPlace::FileSystem;
            pLocation.Path = found->MountPath;
            pLocation.Slow = true;
            pLocation.ReadOnly = found->ReadOnly;
            break;
        }
        case TPlace::ControlPanel:
            if (item.Kind != kind::SettingsEntry)
                return E_INVALIDARG;
            // A launcher: a leaf with no file-system path.
            pLocation.Place = TPlace::Link;
            pLocation.Path = "settings:" + std::string(item.Text);
            pLocation.IsFolder = false;
            break;
        case TPlace::QuickAccess:
            if (item.Kind != kind::QuickAccessEntry)
                return E_INVALIDARG;
            pLocation.Place = TPlace::FileSystem;
            pLocation.Path = std::string(item.Text);
            pLocation.IsFolder = item.TargetIsFolder;
            break;
        case TPlace::Recent:
            if (item.Kind != kind::RecentEntry)
                return E_INVALIDARG;
            pLocation.Place = TPlace::Link;
            pLocation.Path = std::string(item.Text);
            pLocation.IsFolder = false;
            break;
        case TPlace::Link:
            return E_INVALIDARG;
        case TPlace::FileSystem:
            if (!item.IsFileSystem())
                return E_INVALIDARG;
            pLocation.Path = Join(pLocation.Path, item.Text);
            pLocation.IsFolder = item.Kind == kind::FsFolder;
            break;
        }
    }
    return S_OK;
}

HResult Resolve(IdSpan pAbsolute, TLocation& pLocation)
{
    pLocation = TLocation{};
    return ResolveFrom(pAbsolute, pLocation);
}

// ---------------------------------------------------------------------------------------------
// Snapshots of entries.

std::unordered_set<std::string> ReadHiddenList(int pDirFd)
{
    std::unordered_set<std::string> names;
    TFd fd(::openat(pDirFd, ".hidden", O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.IsValid())
        return names;
    std::string text;
    std::array<char, 4096> buffer{};
    // A listing of names; 1 MiB is far beyond any real one and bounds a hostile file.
    while (text.size() < (1u << 20)) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n <= 0)
            break;
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        if (end > pos)
            names.emplace(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return names;
}

constexpr unsigned kStatxMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME;

// Fills pSnapshot for the entry pName of the folder pDirFd; returns 0 or an errno value.
int SnapshotEntry(int pDirFd, const char* pName, bool pHidden, bool pReadOnlyMount,
                  TSnapshot& pSnapshot, bool& pIsFolder)
{
    struct statx st
    {
    };
    if (::statx(pDirFd, pName, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatxMask, &st) != 0)
        return errno;
    pSnapshot = TSnapshot{};
    pSnapshot.Mode = st.stx_mode;
    pIsFolder = S_ISDIR(st.stx_mode);
    if (S_ISLNK(st.stx_mode)) {
        pSnapshot.Flags |= itemflag::Symlink;
        pSnapshot.Attributes |= fileattr::REPARSE_POINT;
        // A link counts as what it points to; a dangling link stays a file.
        struct statx target
        {
        };
        if (::statx(pDirFd, pName, AT_NO_AUTOMOUNT, STATX_TYPE, &target) == 0)
            pIsFolder = S_ISDIR(target.stx_mode);
    }
#ifdef STATX_ATTR_MOUNT_ROOT
    if ((st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
        (st.stx_attributes & STATX_ATTR_MOUNT_ROOT)) {
        pSnapshot.Flags |= itemflag::MountPoint;
        pSnapshot.Attributes |= fileattr::REPARSE_POINT;
    }
#endif
    if (pHidden) {
        pSnapshot.Flags |= itemflag::Hidden;
        pSnapshot.Attributes |= fileattr::HIDDEN;
    }
    if (pIsFolder) {
        pSnapshot.Attributes |= fileattr::DIRECTORY;
    } else {
        pSnapshot.Size = st.stx_size;
        // No write permission for anyone, or a read-only mount. (Who owns the file is not kept
        // in the item, so the test is on the permission bits alone.)
        if ((st.stx_mode & 0222) == 0 || pReadOnlyMount)
            pSnapshot.Attributes |= fileattr::READONLY;
    }
    if (pSnapshot.Attributes == 0)
        pSnapshot.Attributes = fileattr::NORMAL;
    pSnapshot.LastWrite = FileTime::FromUnix(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec).Ticks;
    return 0;
}

bool IsHiddenName(std::string_view pName, const std::unordered_set<std::string>& pHiddenList)
{
    return (!pName.empty() && pName[0] == '.') ||
           (!pHiddenList.empty() && pHiddenList.count(std::string(pName)) != 0);
}

// ---------------------------------------------------------------------------------------------
// Enumerators.

bool Wanted(std::uint32_t pFlags, bool pIsFolder, bool pHidden)
{
    if (pHidden && !(pFlags & (shcontf::INCLUDEHIDDEN | shcontf::INCLUDESUPERHIDDEN)))
        return false;
    return pIsFolder ? (pFlags & shcontf::FOLDERS) != 0 : (pFlags & shcontf::NONFOLDERS) != 0;
}

// Streams a folder's entries: one readdir and one statx per entry, the snapshot in the item.
class TFsEnum final : public IEnumIDList
{
public:
    TFsEnum(TDir pDir, std::uint32_t pFlags, bool pReadOnly, std::stop_token pCancel)
        : fDir(std::move(pDir))
        , fFlags(pFlags)
        , fReadOnly(pReadOnly)
        , fCancel(std::move(pCancel))
        , fHidden(ReadHiddenList(::dirfd(fDir.Get())))
    {
    }

    HResult Next(IdListBytes& pItem) override
    {
        const int dirFd = ::dirfd(fDir.Get());
        for (;;) {
            if (fCancel.stop_requested())
                return HResultFromWin32(win32::ERROR_CANCELLED);
            errno = 0;
            const dirent* entry = ::readdir(fDir.Get());
            if (!entry)
                return errno == 0 ? S_FALSE : HResultFromErrno(errno, TMissing::Path);
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const bool hidden = IsHiddenName(name, fHidden);
            if (hidden && !(fFlags & (shcontf::INCLUDEHIDDEN | shcontf::INCLUDESUPERHIDDEN)))
                continue;
            // When only one kind is wanted the entry type spares a statx for the other kind.
            const bool wantFolders = fFlags & shcontf::FOLDERS;
            const bool wantFiles = fFlags & shcontf::NONFOLDERS;
            if (wantFolders != wantFiles && entry->d_type != DT_UNKNOWN &&
                entry->d_type != DT_LNK && (entry->d_type == DT_DIR) != wantFolders)
                continue;
            TSnapshot snapshot;
            bool isFolder = false;
            // An entry removed since readdir saw it is simply skipped.
            if (SnapshotEntry(dirFd, entry->d_name, hidden, fReadOnly, snapshot, isFolder) != 0)
                continue;
            if (!Wanted(fFlags, isFolder, hidden))
                continue;
            MakeFsList(pItem, isFolder, snapshot, name);
            return S_OK;
        }
    }

    HResult Reset() override
    {
        ::rewinddir(fDir.Get());
        return S_OK;
    }

private:
    TDir fDir;
    std::uint32_t fFlags;
    bool fReadOnly;
    std::stop_token fCancel;
    std::unordered_set<std::string> fHidden;
};

// A fixed list of items, then optionally the entries of a folder.
class TListEnum final : public IEnumIDList
{
public:
    TListEnum(std::vector<IdListBytes> pItems, IEnumIDListPtr pThen)
        : fItems(std::move(pItems))
        , fThen(std::move(pThen))
    {
    }

    HResult Next(IdListBytes& pItem) override
    {
        if (fNext < fItems.size()) {
            pItem = fItems[fNext++];
            return S_OK;
        }
        return fThen ? fThen->Next(pItem) : S_FALSE;
    }

    HResult Reset() override
    {
        fNext = 0;
        return fThen ? fThen->Reset() : S_OK;
    }

private:
    std::vector<IdListBytes> fItems;
    std::size_t fNext = 0;
    IEnumIDListPtr fThen;
};

HResult OpenFolderEnum(const TLocation& pLocation, std::uint32_t pFlags, std::stop_token pCancel,
                       IEnumIDListPtr& pEnum)
{
    const int fd = ::open(pLocation.Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return HResultFromErrno(errno, TMissing::Path);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return HResultFromErrno(error, TMissing::Path);
    }
    pEnum = std::make_shared<TFsEnum>(TDir(dir), pFlags, pLocation.ReadOnly, std::move(pCancel));
    return S_OK;
}

std::uint8_t MountFlags(const TMount& pMount)
{
    std::uint8_t flags = 0;
    if (pMount.Drive == DriveType::Removable)
        flags |= mountflag::Removable;
    if (pMount.Drive == DriveType::Remote)
        flags |= mountflag::Remote;
    if (pMount.Drive == DriveType::CdRom)
        flags |= mountflag::Optical;
    if (pMount.ReadOnly)
        flags |= mountflag::ReadOnly;
    return flags;
}

// The name a mount is shown with: "share on host" for network shares, the volume label of a
// local device, else nothing (the folder name is shown).
std::string MountLabel(const TMount& pMount)
{
    if (pMount.Drive == DriveType::Remote) {
        std::string_view source = pMount.Source;
        std::string host;
        std::string share;
        if (source.substr(0, 2) == "//") {
            source.remove_prefix(2);
            const std::size_t slash = source.find('/');
            host = std::string(source.substr(0, slash));
            if (slash != std::string_view::npos)
                share = std::string(source.substr(slash + 1));
        } else if (const std::size_t colon = source.find(':'); colon != std::string_view::npos) {
            host = std::string(source.substr(0, colon));
            share = std::string(BaseName(source.substr(colon + 1)));
            if (const std::size_t at = host.rfind('@'); at != std::string::npos)
                host = host.substr(at + 1);
        }
        if (!host.empty())
            return (share.empty() ? std::string("/") : share) + " on " + host;
        return {};
    }
    if (pMount.Source.rfind("/dev/", 0) != 0)
        return {};
    // /dev/disk/by-label/<label> links point at the devices; labels escape bytes as \xHH.
    char device[4096];
    if (!::realpath(pMount.Source.c_str(), device))
        return {};
    TDir labels(::opendir("/dev/disk/by-label"));
    while (labels.IsValid()) {
        const dirent* entry = ::readdir(labels.Get());
        if (!entry)
            break;
        char target[4096];
        const std::string link = std::string("/dev/disk/by-label/") + entry->d_name;
        if (entry->d_name[0] == '.' || !::realpath(link.c_str(), target) ||
            std::string_view(target) != device)
            continue;
        std::string label;
        const std::string_view name(entry->d_name);
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (name.substr(i, 2) == "\\x" && i + 3 < name.size() && std::isxdigit(name[i + 2]) &&
                std::isxdigit(name[i + 3])) {
                label +=
                    static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16));
                i += 3;
            } else {
                label += name[i];
            }
        }
        return label;
    }
    return {};
}

QString Utf8(std::string_view pText)
{
    return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size()));
}

std::uint8_t ProtocolOf(std::string_view pType)
{
    if (pType == "cifs" || pType == "smb3" || pType == "smbfs")
        return 1;
    if (pType == "nfs" || pType == "nfs4")
        return 2;
    if (pType == "fuse.sshfs" || pType == "sshfs")
        return 3;
    if (pType == "davfs" || pType == "fuse.davfs")
        return 4;
    return 0;
}

std::string MountLabel(const TMount& pMount);

// The mounted network shares with a host in their source ("//host/share", "host:/path").
std::vector<TShare> MountedShares()
{
    std::vector<TShare> shares;
    for (const TMount& mount : ReadMountTable()) {
        if (mount.Drive != DriveType::Remote)
            continue;
        const std::string label = MountLabel(mount);
        const std::size_t on = label.rfind(" on ");
        if (on == std::string::npos)
            continue;
        TShare share;
        share.Protocol = ProtocolOf(mount.Type);
        share.Name = label.substr(0, on);
        share.Host = label.substr(on + 4);
        share.MountPath = mount.Path;
        share.ReadOnly = mount.ReadOnly;
        shares.push_back(std::move(share));
    }
    return shares;
}

std::vector<TMount> VisibleMounts()
{
    std::vector<TMount> mounts = ReadMountTable();
    std::erase_if(mounts, [](const TMount& pMount) { return !pMount.Visible; });
    // Without a readable table the system root is still there.
    if (std::none_of(mounts.begin(), mounts.end(),
                     [](const TMount& pMount) { return pMount.Path == "/"; })) {
        TMount root;
        root.Path = "/";
        root.Visible = true;
        mounts.push_back(root);
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const TMount& pA, const TMount& pB) { return pA.Path < pB.Path; });
    return mounts;
}

bool IsExistingFolder(const std::string& pPath)
{
    struct stat st
    {
    };
    return ::stat(pPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------------------------------------
// Names.

QString ClassDisplayName(const Guid& pClassId)
{
    if (pClassId == clsid::Home)
        return QStringLiteral("Home");
    if (pClassId == clsid::ThisPC)
        return QStringLiteral("This PC");
    if (pClassId == clsid::Trash)
        return QStringLiteral("Trash");
    if (pClassId == clsid::QuickAccess)
        return QStringLiteral("Quick access");
    if (pClassId == clsid::Network)
        return QStringLiteral("Network");
    if (pClassId == clsid::ControlPanel)
        return QStringLiteral("Control Panel");
    if (pClassId == clsid::Recent)
        return QStringLiteral("Recent");
    if (const TDelegate* delegate = FindDelegate(pClassId))
        return QString::fromUtf16(delegate->Name);
    return pClassId.ToString();
}

QString MountDisplayName(const TItem& pItem)
{
    if (pItem.Text == "/")
        return QStringLiteral("File System");
    if (!pItem.Label.empty())
        return QString::fromUtf8(pItem.Label.data(), static_cast<qsizetype>(pItem.Label.size()));
    return FileNameForDisplay(DecodeFileName(BaseName(pItem.Text)));
}

// Natural order: digit runs compare as numbers, letters without regard to case.
int CompareLogical(const QString& pA, const QString& pB)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < pA.size() && j < pB.size()) {
        if (pA[i].isDigit() && pB[j].isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < pA.size() && pA[ei].isDigit())
                ++ei;
            while (ej < pB.size() && pB[ej].isDigit())
                ++ej;
            QStringView da = QStringView(pA).mid(i, ei - i);
            QStringView db = QStringView(pB).mid(j, ej - j);
            while (da.size() > 1 && da[0] == u'0')
                da = da.mid(1);
            while (db.size() > 1 && db[0] == u'0')
                db = db.mid(1);
            if (da.size() != db.size())
                return da.size() < db.size() ? -1 : 1;
            if (const int c = da.compare(db); c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const char16_t a = pA[i].toCaseFolded().unicode();
        const char16_t b = pB[j].toCaseFolded().unicode();
        if (a != b)
            return a < b ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < pA.size())
        return 1;
    if (j < pB.size())
        return -1;
    return 0;
}

HResult OrderResult(int pOrder)
{
    const auto code = static_cast<std::uint16_t>(static_cast<std::int16_t>(pOrder));
    return static_cast<HResult>(code);
}

// ---------------------------------------------------------------------------------------------
// Parsing.

// Splits a path into its components, dropping empty and "." ones and resolving ".." by text
// (never above the root).
std::vector<std::string> Components(std::string_view pPath)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= pPath.size()) {
        const std::size_t end = std::min(pPath.find('/', pos), pPath.size());
        const std::string_view part = pPath.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.emplace_back(part);
    }
    return parts;
}

// Appends one item per component below pBase to pList, checking each on the disk (unless
// pSimple). A missing last component fails with 2, a missing or non-folder earlier one with 3.
HResult AppendComponents(std::string pBase, const std::vector<std::string>& pParts, bool pReadOnly,
                         bool pSimple, bool pLastIsFolder, IdListBytes& pList)
{
    for (std::size_t i = 0; i < pParts.size(); ++i) {
        const bool last = i + 1 == pParts.size();
        const std::string& name = pParts[i];
        if (!IsValidEntryName(name) || name.size() > 255)
            return HResultFromWin32(name.size() > 255 ? win32::ERROR_FILENAME_EXCED_RANGE
                                                      : win32::ERROR_INVALID_NAME);
        TSnapshot snapshot;
        bool isFolder = true;
        if (pSimple) {
            snapshot.Flags = itemflag::Simple;
            isFolder = last ? pLastIsFolder : true;
            snapshot.Attributes = isFolder ? fileattr::DIRECTORY : fileattr::NORMAL;
            if (name[0] == '.') {
                snapshot.Flags |= itemflag::Hidden;
                snapshot.Attributes |= fileattr::HIDDEN;
            }
        } else {
            TFd dir(::open(pBase.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!dir.IsValid())
                return HResultFromErrno(errno, TMissing::Path);
            const bool hidden = IsHiddenName(name, last ? ReadHiddenList(dir.Get())
                                                        : std::unordered_set<std::string>{});
            const int error =
                SnapshotEntry(dir.Get(), name.c_str(), hidden, pReadOnly, snapshot, isFolder);
            if (error != 0)
                return HResultFromErrno(error, last ? TMissing::File : TMissing::Path);
            if (!last && !isFolder)
                return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        }
        pList = idl::Append(IdSpan(pList), MakeFsItem(isFolder, snapshot, name));
        pBase = Join(pBase, name);
    }
    return S_OK;
}

HResult ParseRelative(const TLocation& pFolder, const std::string& pRelative, bool pSimple,
                      bool pLastIsFolder, IdListBytes& pList)
{
    pList = idl::Empty();
    const auto parts = Components(pRelative);
    if (parts.empty())
        return E_INVALIDARG;
    return AppendComponents(pFolder.Path, parts, pFolder.ReadOnly, pSimple, pLastIsFolder, pList);
}

int HexDigit(char pChar)
{
    if (pChar >= '0' && pChar <= '9')
        return pChar - '0';
    if (pChar >= 'a' && pChar <= 'f')
        return pChar - 'a' + 10;
    if (pChar >= 'A' && pChar <= 'F')
        return pChar - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view pText)
{
    std::string result;
    for (std::size_t i = 0; i < pText.size(); ++i) {
        if (pText[i] == '%' && i + 2 < pText.size() && HexDigit(pText[i + 1]) >= 0 &&
            HexDigit(pText[i + 2]) >= 0) {
            result += static_cast<char>(HexDigit(pText[i + 1]) * 16 + HexDigit(pText[i + 2]));
            i += 2;
        } else {
            result += pText[i];
        }
    }
    return result;
}

bool IsWindowsDrivePath(const QString& pName)
{
    return pName.size() >= 2 && pName[1] == u':' && pName[0].isLetter() &&
           (pName.size() == 2 || pName[2] == u'\\' || pName[2] == u'/');
}

// ---------------------------------------------------------------------------------------------
// Folders.

class TLinuxFolder final
    : public IShellFolder
    , public IShellFolder2
    , public std::enable_shared_from_this<TLinuxFolder>
{
public:
    TLinuxFolder(TLocation pLocation, IdListBytes pAbsolute)
        : fLocation(std::move(pLocation))
        , fAbsolute(std::move(pAbsolute))
    {
    }

    HResult ParseDisplayName(WindowRef, const BindContext* pBind, const QString& pName,
                             IdListBytes& pOut, std::uint32_t* pAttributes) override;
    HResult EnumObjects(WindowRef, std::uint32_t pFlags, IEnumIDListPtr& pEnum,
                        std::stop_token pCancel) override;
    HResult BindToFolder(IdSpan pRelative, IShellFolderPtr& pFolder) override;
    HResult CompareIDs(std::uint32_t pParam, IdSpan pA, IdSpan pB) override;
    HResult GetAttributesOf(std::span<const IdSpan> pItems, std::uint32_t& pInOut) override;
    HResult GetDisplayNameOf(IdSpan pItem, std::uint32_t pFlags, QString& pName) override;
    HResult SetNameOf(WindowRef, IdSpan pItem, const QString& pName, std::uint32_t pFlags,
                      IdListBytes* pNewItem) override;
    HResult GetCurFolder(IdListBytes& pList) override
    {
        pList = fAbsolute;
        return S_OK;
    }
    HResult GetFindData(IdSpan pItem, FindData& pData) override;
    IShellFolder2* AsFolder2() override { return this; }

    HResult GetDetailsOf(const IdSpan* pItem, std::uint32_t pColumn,
                         ShellDetails& pDetails) override;
    HResult GetDetailsEx(IdSpan pItem, const PropertyKey& pKey, PropVariant& pValue) override;
    HResult MapColumnToSCID(std::uint32_t pColumn, PropertyKey& pKey) override;
    HResult GetDefaultColumnState(std::uint32_t pColumn, std::uint32_t& pState) override;

private:
    // The folder holding the last item of a multi-level relative list, and that item.
    HResult SplitRelative(IdSpan pItem, std::shared_ptr<TLinuxFolder>& pFolder, IdListBytes& pLast);
    std::uint32_t AttributesOf(const TItem& pItem, std::uint32_t pWanted, bool pParentWritable);
    HResult ParseOnDesktop(const BindContext* pBind, const QString& pName, IdListBytes& pOut);
    HResult ParseOnThisPc(const QString& pName, IdListBytes& pOut);
    HResult ParseOnTrash(const QString& pName, IdListBytes& pOut);
    HResult ParseOnLinks(const QString& pName, IdListBytes& pOut);
    HResult ParseByChildNames(const QString& pName, IdListBytes& pOut);
    HResult ParseNetworkPath(const QString& pName, const BindContext* pBind, IdListBytes& pOut);

    // Whether entries may be renamed or deleted here: asked once per folder object (a list asks
    // for every item; a folder object lives for one look at the folder).
    bool IsWritable() const
    {
        std::call_once(fWritableOnce, [this] {
            fWritable = ::faccessat(AT_FDCWD, fLocation.Path.c_str(), W_OK, AT_EACCESS) == 0;
        });
        return fWritable;
    }

    TLocation fLocation;
    IdListBytes fAbsolute;
    mutable std::once_flag fWritableOnce;
    mutable bool fWritable = false; // set once under fWritableOnce
};

std::shared_ptr<TLinuxFolder> MakeFolder(IdSpan pAbsolute, HResult& pResult)
{
    TLocation location;
    pResult = Resolve(pAbsolute, location);
    if (Failed(pResult))
        return nullptr;
    if (!location.IsFolder) {
        pResult = E_INVALIDARG;
        return nullptr;
    }
    return std::make_shared<TLinuxFolder>(std::move(location), pAbsolute.ToBytes());
}

HResult BindParent(IdSpan pAbsolute, IShellFolderPtr& pParent, IdListBytes& pLast)
{
    if (pAbsolute.IsEmpty())
        return E_INVALIDARG;
    HResult result = S_OK;
    pParent = MakeFolder(IdSpan(idl::RemoveLast(pAbsolute)), result);
    pLast = idl::LastAsList(pAbsolute);
    return result;
}

HResult TLinuxFolder::SplitRelative(IdSpan pItem, std::shared_ptr<TLinuxFolder>& pFolder,
                                    IdListBytes& pLast)
{
    const std::size_t depth = pItem.Depth();
    if (depth == 0)
        return E_INVALIDARG;
    if (depth == 1) {
        pFolder = std::static_pointer_cast<TLinuxFolder>(shared_from_this());
        pLast = pItem.ToBytes();
        return S_OK;
    }
    HResult result = S_OK;
    const IdListBytes parent = idl::Combine(IdSpan(fAbsolute), IdSpan(idl::RemoveLast(pItem)));
    pFolder = MakeFolder(IdSpan(parent), result);
    pLast = idl::LastAsList(pItem);
    return result;
}

HResult TLinuxFolder::ParseDisplayName(WindowRef, const BindContext* pBind, const QString& pName,
                                       IdListBytes& pOut, std::uint32_t* pAttributes)
{
    HResult result = E_INVALIDARG;
    if (pName.isEmpty())
        return E_INVALIDARG;
    if (fLocation.Place == TPlace::Desktop) {
        result = ParseOnDesktop(pBind, pName, pOut);
    } else if (fLocation.Place == TPlace::ThisPC) {
        result = ParseOnThisPc(pName, pOut);
    } else if (fLocation.Place == TPlace::Trash) {
        result = ParseOnTrash(pName, pOut);
    } else if (fLocation.Place == TPlace::Network || fLocation.Place == TPlace::NetHost ||
               fLocation.Place == TPlace::ControlPanel) {
        result = ParseByChildNames(pName, pOut);
    } else if (fLocation.Place == TPlace::QuickAccess || fLocation.Place == TPlace::Recent) {
        result = ParseOnLinks(pName, pOut);
    } else {
        const bool simple = pBind && pBind->FileSystemBindData.has_value();
        const bool folder =
            simple && (pBind->FileSystemBindData->Attributes & fileattr::DIRECTORY) != 0;
        result = ParseRelative(fLocation, EncodeFileName(pName), simple, folder, pOut);
    }
    if (Succeeded(result) && pAttributes) {
        IShellFolderPtr parent;
        const IdListBytes absolute = idl::Combine(IdSpan(fAbsolute), IdSpan(pOut));
        IdListBytes last;
        if (Succeeded(BindParent(IdSpan(absolute), parent, last))) {
            const IdSpan items[] = {IdSpan(last)};
            parent->GetAttributesOf(items, *pAttributes);
        }
    }
    return result;
}

HResult TLinuxFolder::ParseOnDesktop(const BindContext* pBind, const QString& pName,
                                     IdListBytes& pOut)
{
    const bool simple = pBind && pBind->FileSystemBindData.has_value();
    const bool folder =
        simple && (pBind->FileSystemBindData->Attributes & fileattr::DIRECTORY) != 0;
    // "//host/share" names a mounted share when there is one; otherwise it is the path it also
    // is here ("//x" is "/x").
    if (pName.startsWith(QLatin1String("//")) && !pName.startsWith(QLatin1String("///")) &&
        Succeeded(ParseNetworkPath(pName, pBind, pOut)))
        return S_OK;
    if (pName.startsWith(u'/'))
        return ParseAbsolutePath(EncodeFileName(pName), pOut, simple, folder);
    if (pName.startsWith(QLatin1String("file://"))) {
        const std::string path = PercentDecode(EncodeFileName(QStringView(pName).mid(7)));
        if (path.empty() || path[0] != '/')
            return E_INVALIDARG;
        return ParseAbsolutePath(path, pOut, simple, folder);
    }
    if (IsWindowsDrivePath(pName))
        return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
    if (pName.startsWith(QLatin1String("\\\\")) || pName.startsWith(QLatin1String("//")) ||
        pName.startsWith(QLatin1String("smb://")) || pName.startsWith(QLatin1String("nfs://")) ||
        pName.startsWith(QLatin1String("sftp://")) || pName.startsWith(QLatin1String("dav://")))
        return ParseNetworkPath(pName, pBind, pOut);

    QString rest = pName;
    if (rest.startsWith(QLatin1String("shell:")))
        rest = rest.mid(6);
    if (rest.startsWith(QLatin1String("::"))) {
        // "::{GUID}[\::{GUID}...][\relative]"
        pOut = idl::Empty();
        TPlace place = TPlace::Desktop;
        while (rest.startsWith(QLatin1String("::"))) {
            const auto id = Guid::FromString(QStringView(rest).mid(2, 38));
            if (!id)
                return E_INVALIDARG;
            if (place == TPlace::Desktop && *id == clsid::Trash) {
                pOut = idl::Append(IdSpan(pOut), MakeClassItem(*id, kOrderTrash));
                place = TPlace::Trash;
            } else if (place == TPlace::Desktop && *id == clsid::Network) {
                pOut = idl::Append(IdSpan(pOut), MakeClassItem(*id, kOrderNetwork));
                place = TPlace::Network;
            } else if (place == TPlace::Desktop && *id == clsid::ControlPanel) {
                pOut = idl::Append(IdSpan(pOut), MakeClassItem(*id, kOrderControlPanel));
                place = TPlace::ControlPanel;
            } else if (place == TPlace::Desktop && *id == clsid::QuickAccess) {
                pOut = idl::Append(IdSpan(pOut), MakeClassItem(*id, kOrderQuickAccess));
                place = TPlace::QuickAccess;
            } else if (place == TPlace::Desktop && *id == clsid::Recent) {
                pOut = idl::Append(IdSpan(pOut), MakeClassItem(*id, kOrderRecent));
                place = TPlace::Recent;
            } else if (place == TPlace::Desktop && (*id == clsid::Home || *id == clsid::ThisPC)) {
                pOut =
                    idl::Append(IdSpan(pOut),
                                MakeClassItem(*id, *id == clsid::Home ? kOrderHome : kOrderThisPC));
                place = *id == clsid::ThisPC ? TPlace::ThisPC : TPlace::FileSystem;
            } else if (place == TPlace::ThisPC && FindDelegate(*id)) {
                pOut = idl::Append(IdSpan(pOut), MakeClassItem(*id, kOrderDelegate));
                place = TPlace::FileSystem;
            } else {
                return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
            }
            rest = rest.mid(40);
            if (rest.startsWith(u'\\'))
                rest = rest.mid(1);
            else if (!rest.isEmpty())
                return E_INVALIDARG;
        }
        if (rest.isEmpty())
            return S_OK;
        HResult result = S_OK;
        const auto base = MakeFolder(IdSpan(pOut), result);
        if (!base)
            return result;
        IdListBytes relative;
        result = base->ParseDisplayName(nullptr, pBind, rest, relative, nullptr);
        if (Succeeded(result))
            pOut = idl::Combine(IdSpan(pOut), IdSpan(relative));
        return result;
    }

    // A name relative to the desktop: an entry of the desktop folder.
    const TXdgDirs dirs = TXdgDirs::Load();
    if (!DesktopHasFolder(dirs))
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    TLocation desktopFolder;
    desktopFolder.Place = TPlace::FileSystem;
    desktopFolder.Path = dirs.Desktop;
    return ParseRelative(desktopFolder, EncodeFileName(pName), simple, folder, pOut);
}

HResult TLinuxFolder::ParseOnThisPc(const QString& pName, IdListBytes& pOut)
{
    if (pName.startsWith(QLatin1String("::"))) {
        const auto id = Guid::FromString(QStringView(pName).mid(2, 38));
        if (!id || !FindDelegate(*id) || pName.size() != 40)
            return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
        pOut = idl::FromItem(MakeClassItem(*id, kOrderDelegate));
        return S_OK;
    }
    const std::string bytes = EncodeFileName(pName);
    for (const TMount& mount : VisibleMounts()) {
        if (mount.Path == bytes) {
            pOut = idl::FromItem(MakeMountItem(mount.Path, MountFlags(mount), MountLabel(mount)));
            return S_OK;
        }
    }
    // In-folder names: exact case first, then without regard to case.
    IEnumIDListPtr list;
    if (Failed(EnumObjects(nullptr, shcontf::FOLDERS | shcontf::NONFOLDERS, list, {})) || !list)
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    std::optional<IdListBytes> caseless;
    IdListBytes item;
    while (list->Next(item) == S_OK) {
        QString name;
        if (Failed(GetDisplayNameOf(IdSpan(item), shgdn::INFOLDER, name)))
            continue;
        if (name == pName) {
            pOut = item;
            return S_OK;
        }
        if (!caseless && name.compare(pName, Qt::CaseInsensitive) == 0)
            caseless = item;
    }
    if (caseless) {
        pOut = *caseless;
        return S_OK;
    }
    return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
}

HResult TLinuxFolder::ParseOnTrash(const QString& pName, IdListBytes& pOut)
{
    // "<trash folder>/<entry>" as the absolute parsing name has it, or "<entry>" of any trash.
    const std::string name = EncodeFileName(pName);
    for (const std::string& dir : TrashDirs()) {
        if (name.size() > dir.size() + 1 && name.compare(0, dir.size(), dir) == 0 &&
            name[dir.size()] == '/')
            return MakeTrashEntry(dir, name.substr(dir.size() + 1), pOut);
        if (IsValidEntryName(name) && Succeeded(MakeTrashEntry(dir, name, pOut)))
            return S_OK;
    }
    return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
}

HResult TLinuxFolder::ParseNetworkPath(const QString& pName, const BindContext* pBind,
                                       IdListBytes& pOut)
{
    // "\\host\share\rest", "//host/share/rest", "smb://host/share/rest": host, share, rest.
    QString text = pName;
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    text = scheme >= 0 ? text.mid(scheme + 3) : text.mid(2);
    if (pName.startsWith(u'\\'))
        text.replace(u'\\', u'/');
    const QStringList parts = text.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return HResultFromWin32(win32::ERROR_BAD_NETPATH);
    const std::string host = parts[0].toUtf8().toStdString();
    const auto shares = MountedShares();
    if (parts.size() == 1) {
        for (const TShare& share : shares) {
            if (share.Host == host) {
                pOut = idl::FromItem(MakeClassItem(clsid::Network, kOrderNetwork));
                pOut = idl::Append(IdSpan(pOut), MakeHostItem(share.Protocol, share.Host));
                return S_OK;
            }
        }
        return HResultFromWin32(win32::ERROR_BAD_NETPATH);
    }
    const std::string shareName = parts[1].toUtf8().toStdString();
    for (const TShare& share : shares) {
        if (share.Host != host || share.Name != shareName)
            continue;
        // A mounted share is its mount: the canonical form of the mount path and the rest.
        std::string path = share.MountPath;
        for (qsizetype i = 2; i < parts.size(); ++i)
            path += "/" + EncodeFileName(parts[i]);
        const bool simple = pBind && pBind->FileSystemBindData.has_value();
        const bool folder =
            simple && (pBind->FileSystemBindData->Attributes & fileattr::DIRECTORY) != 0;
        return ParseAbsolutePath(path, pOut, simple, folder);
    }
    // No SMB client of our own: a share that is not mounted cannot be reached.
    return HResultFromWin32(win32::ERROR_BAD_NETPATH);
}

HResult TLinuxFolder::ParseByChildNames(const QString& pName, IdListBytes& pOut)
{
    // A child's relative parsing name, then its shown name: exact case first, then any case.
    IEnumIDListPtr list;
    if (Failed(EnumObjects(nullptr, shcontf::FOLDERS | shcontf::NONFOLDERS, list, {})) || !list)
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    IdListBytes item;
    std::optional<IdListBytes> caseless;
    while (list->Next(item) == S_OK) {
        for (const std::uint32_t form : {shgdn::INFOLDER | shgdn::FORPARSING, shgdn::INFOLDER}) {
            QString name;
            if (Failed(GetDisplayNameOf(IdSpan(item), form, name)))
                continue;
            if (name == pName) {
                pOut = item;
                return S_OK;
            }
            if (!caseless && name.compare(pName, Qt::CaseInsensitive) == 0)
                caseless = item;
        }
    }
    if (!caseless)
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    pOut = *caseless;
    return S_OK;
}

HResult TLinuxFolder::ParseOnLinks(const QString& pName, IdListBytes& pOut)
{
    // An entry's relative parsing name is its target path; its shown name is accepted too.
    IEnumIDListPtr list;
    if (Failed(EnumObjects(nullptr, shcontf::FOLDERS | shcontf::NONFOLDERS, list, {})) || !list)
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    IdListBytes item;
    std::optional<IdListBytes> byName;
    while (list->Next(item) == S_OK) {
        QString name;
        if (Succeeded(GetDisplayNameOf(IdSpan(item), shgdn::INFOLDER | shgdn::FORPARSING, name)) &&
            name == pName) {
            pOut = item;
            return S_OK;
        }
        if (!byName && Succeeded(GetDisplayNameOf(IdSpan(item), shgdn::INFOLDER, name)) &&
            name == pName)
            byName = item;
    }
    if (!byName)
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    pOut = *byName;
    return S_OK;
}

// Whether a target of a link exists and is a folder; targets on network mounts are not looked
// at (they could block) and count as existing, with pAssumeFolder as their kind.
bool ProbeTarget(const std::vector<TMount>& pMounts, const std::string& pTarget, bool pAssumeFolder,
                 bool& pIsFolder)
{
    const TMount* mount = MountContaining(pMounts, pTarget, false);
    if (mount && mount->Drive == DriveType::Remote) {
        pIsFolder = pAssumeFolder;
        return true;
    }
    struct stat st
    {
    };
    if (::stat(pTarget.c_str(), &st) != 0)
        return false;
    pIsFolder = S_ISDIR(st.st_mode);
    return true;
}

HResult TLinuxFolder::EnumObjects(WindowRef, std::uint32_t pFlags, IEnumIDListPtr& pEnum,
                                  std::stop_token pCancel)
{
    pEnum.reset();
    switch (fLocation.Place) {
    case TPlace::FileSystem:
        return OpenFolderEnum(fLocation, pFlags, std::move(pCancel), pEnum);
    case TPlace::Desktop: {
        std::vector<IdListBytes> items;
        if (pFlags & shcontf::FOLDERS) {
            items.push_back(idl::FromItem(MakeClassItem(clsid::Home, kOrderHome)));
            items.push_back(idl::FromItem(MakeClassItem(clsid::ThisPC, kOrderThisPC)));
            items.push_back(idl::FromItem(MakeClassItem(clsid::Network, kOrderNetwork)));
            items.push_back(idl::FromItem(MakeClassItem(clsid::ControlPanel, kOrderControlPanel)));
            items.push_back(idl::FromItem(MakeClassItem(clsid::Trash, kOrderTrash)));
        }
        IEnumIDListPtr entries;
        const TXdgDirs dirs = TXdgDirs::Load();
        if (DesktopHasFolder(dirs)) {
            TLocation desktop;
            desktop.Place = TPlace::FileSystem;
            desktop.Path = dirs.Desktop;
            // A missing desktop folder leaves the class items alone.
            OpenFolderEnum(desktop, pFlags, std::move(pCancel), entries);
        }
        pEnum = std::make_shared<TListEnum>(std::move(items), std::move(entries));
        return S_OK;
    }
    case TPlace::QuickAccess: {
        std::vector<IdListBytes> items;
        const auto mounts = ReadMountTable();
        bool isFolder = false;
        for (const TLink& link : ReadBookmarks()) {
            if (ProbeTarget(mounts, link.Target, true, isFolder) && Wanted(pFlags, isFolder, false))
                items.push_back(
                    idl::FromItem(MakeQuickAccessItem(1, isFolder, link.Target, link.Label)));
        }
        std::size_t files = 0;
        for (const TLink& link : ReadRecentlyUsed()) {
            if (files == kQuickAccessRecentFiles)
                break;
            if (!ProbeTarget(mounts, link.Target, false, isFolder) || isFolder)
                continue;
            ++files;
            if (Wanted(pFlags, false, false))
                items.push_back(idl::FromItem(MakeQuickAccessItem(3, false, link.Target, {})));
        }
        pEnum = std::make_shared<TListEnum>(std::move(items), nullptr);
        return S_OK;
    }
    case TPlace::Network:
    case TPlace::NetHost: {
        std::vector<IdListBytes> items;
        std::set<std::string> hosts;
        if (pFlags & shcontf::FOLDERS) {
            for (const TShare& share : MountedShares()) {
                if (fLocation.Place == TPlace::Network && hosts.insert(share.Host).second)
                    items.push_back(idl::FromItem(MakeHostItem(share.Protocol, share.Host)));
                else if (fLocation.Place == TPlace::NetHost && share.Host == fLocation.Path)
                    items.push_back(
                        idl::FromItem(MakeShareItem(share.Protocol, share.Name, share.MountPath)));
            }
        }
        pEnum = std::make_shared<TListEnum>(std::move(items), nullptr);
        return S_OK;
    }
    case TPlace::ControlPanel: {
        std::vector<IdListBytes> items;
        if (pFlags & shcontf::NONFOLDERS) {
            for (const TSettingsEntry& entry : ReadSettingsEntries())
                items.push_back(idl::FromItem(MakeSettingsItem(entry.Id, entry.Name)));
        }
        pEnum = std::make_shared<TListEnum>(std::move(items), nullptr);
        return S_OK;
    }
    case TPlace::Recent: {
        std::vector<IdListBytes> items;
        if (pFlags & shcontf::NONFOLDERS) {
            for (const TLink& link : ReadRecentlyUsed()) {
                if (items.size() == kRecentEntries)
                    break;
                items.push_back(idl::FromItem(MakeRecentItem(link.Target, link.Time)));
            }
        }
        pEnum = std::make_shared<TListEnum>(std::move(items), nullptr);
        return S_OK;
    }
    case TPlace::Link:
        return E_INVALIDARG;
    case TPlace::Trash: {
        std::vector<IdListBytes> items;
        for (const std::string& dir : TrashDirs()) {
            for (IdListBytes& item : ReadTrashEntries(dir)) {
                TItem entry;
                if (!DecodeItem(IdSpan(item).First(), entry))
                    continue;
                if (Wanted(pFlags, entry.Snapshot.Attributes & fileattr::DIRECTORY,
                           entry.Snapshot.Flags & itemflag::Hidden))
                    items.push_back(std::move(item));
            }
        }
        pEnum = std::make_shared<TListEnum>(std::move(items), nullptr);
        return S_OK;
    }
    case TPlace::ThisPC: {
        std::vector<IdListBytes> items;
        if (pFlags & shcontf::FOLDERS) {
            const TXdgDirs dirs = TXdgDirs::Load();
            for (const TDelegate& delegate : Delegates()) {
                const std::string& dir = dirs.*(delegate.Dir);
                if (dir != dirs.Home && IsExistingFolder(dir))
                    items.push_back(idl::FromItem(MakeClassItem(delegate.ClassId, kOrderDelegate)));
            }
            for (const TMount& mount : VisibleMounts())
                items.push_back(
                    idl::FromItem(MakeMountItem(mount.Path, MountFlags(mount), MountLabel(mount))));
        }
        pEnum = std::make_shared<TListEnum>(std::move(items), nullptr);
        return S_OK;
    }
    }
    return E_UNEXPECTED;
}

HResult TLinuxFolder::BindToFolder(IdSpan pRelative, IShellFolderPtr& pFolder)
{
    HResult result = S_OK;
    pFolder = MakeFolder(IdSpan(idl::Combine(IdSpan(fAbsolute), pRelative)), result);
    return result;
}

HResult TLinuxFolder::CompareIDs(std::uint32_t pParam, IdSpan pA, IdSpan pB)
{
    // From this folder's own place: sorting a folder compares its items many times over.
    TLocation a = fLocation;
    TLocation b = fLocation;
    if (Failed(ResolveFrom(pA, a)) || Failed(ResolveFrom(pB, b)))
        return E_INVALIDARG;
    // Identity: the same place, and for file-system items the same path (snapshots never count).
    int identity = 0;
    if (a.Place != b.Place)
        identity = a.Place < b.Place ? -1 : 1;
    else
        identity = a.Path.compare(b.Path) < 0 ? -1 : (a.Path == b.Path ? 0 : 1);
    if (identity == 0 || (pParam & shcids::CANONICALONLY))
        return OrderResult(identity);

    const std::uint32_t column = pParam & shcids::COLUMNMASK;
    if (column == 0 && a.IsFolder != b.IsFolder)
        return OrderResult(a.IsFolder ? -1 : 1);
    int order = 0;
    if (column == 1 || column == 3) {
        FindData da;
        FindData db;
        if (pA.Depth() == 1 && pB.Depth() == 1 && Succeeded(GetFindData(pA, da)) &&
            Succeeded(GetFindData(pB, db))) {
            if (column == 1)
                order = da.LastWriteTime < db.LastWriteTime ? -1
                                                            : (db.LastWriteTime < da.LastWriteTime);
            else
                order = da.Size < db.Size ? -1 : (db.Size < da.Size);
        }
    }
    if (order == 0) {
        QString nameA;
        QString nameB;
        GetDisplayNameOf(pA, shgdn::INFOLDER, nameA);
        GetDisplayNameOf(pB, shgdn::INFOLDER, nameB);
        order = CompareLogical(nameA, nameB);
    }
    // Different items never compare equal.
    return OrderResult(order != 0 ? order : identity);
}

std::uint32_t TLinuxFolder::AttributesOf(const TItem& pItem, std::uint32_t pWanted,
                                         bool pParentWritable)
{
    using namespace sfgao;
    std::uint32_t attributes = 0;
    if (pItem.Kind == kind::Class) {
        if (pItem.ClassId == clsid::ThisPC)
            return FOLDER | FILESYSANCESTOR | STORAGEANCESTOR | HASSUBFOLDER;
        if (pItem.ClassId == clsid::Trash)
            return FOLDER | HASSUBFOLDER | DROPTARGET;
        if (pItem.ClassId == clsid::Network || pItem.ClassId == clsid::ControlPanel)
            return FOLDER | HASSUBFOLDER;
        if (pItem.ClassId == clsid::QuickAccess || pItem.ClassId == clsid::Recent)
            return FOLDER | FILESYSANCESTOR | HASSUBFOLDER | NONENUMERATED;
        return FOLDER | FILESYSTEM | FILESYSANCESTOR | STORAGE | STORAGEANCESTOR | HASSUBFOLDER |
               DROPTARGET | CANCOPY | CANLINK | HASPROPSHEET;
    }
    if (pItem.Kind == kind::Mount) {
        attributes = FOLDER | FILESYSTEM | FILESYSANCESTOR | STORAGE | STORAGEANCESTOR |
                     HASSUBFOLDER | DROPTARGET | CANLINK | HASPROPSHEET;
        if (pItem.MountFlags & (mountflag::Removable | mountflag::Optical))
            attributes |= REMOVABLE;
        if (pItem.MountFlags & mountflag::ReadOnly)
            attributes |= READONLY;
        if (pItem.MountFlags & mountflag::Remote)
            attributes |= ISSLOW;
        return attributes;
    }
    if (pItem.Kind == kind::QuickAccessEntry) {
        // The target's attributes, less renaming and deleting (those act on the pin).
        if (pItem.TargetIsFolder)
            return FOLDER | FILESYSTEM | FILESYSANCESTOR | STORAGE | STORAGEANCESTOR |
                   HASSUBFOLDER | DROPTARGET | CANCOPY | CANLINK | HASPROPSHEET;
        return FILESYSTEM | STREAM | CANCOPY | CANLINK | HASPROPSHEET;
    }
    if (pItem.Kind == kind::RecentEntry)
        return LINK | STREAM | CANDELETE;
    if (pItem.Kind == kind::NetHost)
        return FOLDER | HASSUBFOLDER;
    if (pItem.Kind == kind::NetShare)
        return FOLDER | HASSUBFOLDER | FILESYSTEM | FILESYSANCESTOR | STORAGE | STORAGEANCESTOR |
               DROPTARGET | ISSLOW;
    if (pItem.Kind == kind::SettingsEntry)
        return 0;
    const TSnapshot& snapshot = pItem.Snapshot;
    if (pItem.Kind == kind::TrashEntry) {
        // Deleted entries can be deleted for good or restored, not renamed or moved.
        attributes = FILESYSTEM | CANDELETE | HASPROPSHEET;
        attributes |= (snapshot.Attributes & fileattr::DIRECTORY) ? FOLDER | HASSUBFOLDER : STREAM;
        if (snapshot.Flags & itemflag::Hidden)
            attributes |= HIDDEN;
        return attributes;
    }
    attributes = FILESYSTEM | CANCOPY | CANMOVE | CANLINK | HASPROPSHEET;
    if (pParentWritable)
        attributes |= CANRENAME | CANDELETE;
    if (pItem.Kind == kind::FsFolder) {
        attributes |= FOLDER | FILESYSANCESTOR | STORAGE | STORAGEANCESTOR | DROPTARGET;
    } else {
        attributes |= STREAM;
    }
    if (snapshot.Flags & itemflag::Hidden)
        attributes |= HIDDEN;
    if (snapshot.Flags & itemflag::Symlink)
        attributes |= LINK;
    if ((snapshot.Attributes & fileattr::READONLY) || fLocation.ReadOnly)
        attributes |= READONLY;
    if (fLocation.Slow)
        attributes |= ISSLOW;
    if (pItem.Kind == kind::FsFolder && (pWanted & HASSUBFOLDER)) {
        // On a network mount the answer would cost a round trip per folder: assume yes.
        if (fLocation.Slow) {
            attributes |= HASSUBFOLDER;
        } else {
            const std::string path = Join(fLocation.Path, pItem.Text);
            TDir dir(::opendir(path.c_str()));
            // 4096 entries without a sub-folder: stop looking and assume there are none.
            for (int n = 0; dir.IsValid() && n < 4096; ++n) {
                const dirent* entry = ::readdir(dir.Get());
                if (!entry)
                    break;
                const std::string_view name(entry->d_name);
                if (name == "." || name == "..")
                    continue;
                bool isFolder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
                    struct statx st
                    {
                    };
                    isFolder = ::statx(::dirfd(dir.Get()), entry->d_name, AT_NO_AUTOMOUNT,
                                       STATX_TYPE, &st) == 0 &&
                               S_ISDIR(st.stx_mode);
                }
                if (isFolder) {
                    attributes |= HASSUBFOLDER;
                    break;
                }
            }
        }
    }
    return attributes;
}

HResult TLinuxFolder::GetAttributesOf(std::span<const IdSpan> pItems, std::uint32_t& pInOut)
{
    const std::uint32_t wanted = pInOut;
    std::uint32_t common = 0xFFFFFFFFu;
    std::optional<bool> parentWritable;
    for (const IdSpan item : pItems) {
        // Items of a deeper level are answered by their own folder.
        if (item.Depth() != 1) {
            std::shared_ptr<TLinuxFolder> folder;
            IdListBytes last;
            if (HResult result = SplitRelative(item, folder, last); Failed(result))
                return result;
            std::uint32_t one = wanted;
            const IdSpan lastSpan[] = {IdSpan(last)};
            if (HResult result = folder->GetAttributesOf(lastSpan, one); Failed(result))
                return result;
            common &= one;
            continue;
        }
        TItem decoded;
        if (!DecodeItem(item.First(), decoded))
            return E_INVALIDARG;
        if (decoded.IsFileSystem() && !parentWritable &&
            (wanted & (sfgao::CANRENAME | sfgao::CANDELETE)))
            parentWritable = IsWritable();
        common &= AttributesOf(decoded, wanted, parentWritable.value_or(false));
    }
    pInOut = wanted & common;
    return S_OK;
}

HResult TLinuxFolder::GetDisplayNameOf(IdSpan pItem, std::uint32_t pFlags, QString& pName)
{
    std::shared_ptr<TLinuxFolder> folder;
    IdListBytes last;
    if (HResult result = SplitRelative(pItem, folder, last); Failed(result))
        return result;
    if (folder.get() != this)
        return folder->GetDisplayNameOf(IdSpan(last), pFlags, pName);
    TItem item;
    if (!DecodeItem(IdSpan(last).First(), item))
        return E_INVALIDARG;
    const bool parsing = pFlags & shgdn::FORPARSING;
    const bool inFolder = pFlags & shgdn::INFOLDER;
    const bool editing = (pFlags & shgdn::FORADDRESSBAR) && !inFolder;
    switch (item.Kind) {
    case kind::Class: {
        const QString own = QStringLiteral("::") + item.ClassId.ToString();
        const TDelegate* delegate = FindDelegate(item.ClassId);
        const bool hasPath = delegate || item.ClassId == clsid::Home;
        if (!parsing) {
            pName = ClassDisplayName(item.ClassId);
        } else if (inFolder) {
            pName = own;
        } else if (editing && hasPath) {
            const TXdgDirs dirs = TXdgDirs::Load();
            pName = DecodeFileName(delegate ? dirs.*(delegate->Dir) : dirs.Home);
        } else if (editing) {
            pName = ClassDisplayName(item.ClassId);
        } else if (fLocation.Place == TPlace::ThisPC) {
            pName = QStringLiteral("::") + clsid::ThisPC.ToString() + u'\\' + own;
        } else {
            pName = own;
        }
        return S_OK;
    }
    case kind::Mount:
        pName = parsing ? DecodeFileName(item.Text) : MountDisplayName(item);
        return S_OK;
    case kind::NetHost:
        pName = parsing ? QStringLiteral("\\\\") + Utf8(item.Text) : Utf8(item.Text);
        return S_OK;
    case kind::NetShare:
        if (!parsing)
            pName = Utf8(item.Text);
        else if (editing)
            pName = DecodeFileName(item.MountPath);
        else
            pName =
                QStringLiteral("\\\\") + DecodeFileName(fLocation.Path) + u'\\' + Utf8(item.Text);
        return S_OK;
    case kind::SettingsEntry:
        if (!parsing || editing)
            pName = Utf8(item.Label);
        else if (inFolder)
            pName = Utf8(item.Text);
        else
            pName = QStringLiteral("::") + clsid::ControlPanel.ToString() + u'\\' + Utf8(item.Text);
        return S_OK;
    case kind::QuickAccessEntry:
    case kind::RecentEntry: {
        const Guid& owner = item.Kind == kind::RecentEntry ? clsid::Recent : clsid::QuickAccess;
        if (!parsing)
            pName = item.Label.empty()
                        ? FileNameForDisplay(DecodeFileName(BaseName(item.Text)))
                        : QString::fromUtf8(item.Label.data(),
                                            static_cast<qsizetype>(item.Label.size()));
        else if (inFolder || editing)
            pName = DecodeFileName(item.Text);
        else
            pName = QStringLiteral("::") + owner.ToString() + u'\\' + DecodeFileName(item.Text);
        return S_OK;
    }
    case kind::TrashEntry: {
        const std::string_view original = item.OriginalPath.empty() ? item.Text : item.OriginalPath;
        if (!parsing)
            pName = FileNameForDisplay(DecodeFileName(BaseName(original)));
        else if (inFolder)
            pName = DecodeFileName(item.Text);
        else if (editing)
            pName = DecodeFileName(original);
        else
            pName = QStringLiteral("::") + clsid::Trash.ToString() + u'\\' +
                    DecodeFileName(std::string(item.TrashDir) + "/" + std::string(item.Text));
        return S_OK;
    }
    default: {
        const QString name = DecodeFileName(item.Text);
        if (!parsing)
            pName = FileNameForDisplay(name);
        else if (inFolder)
            pName = name;
        else
            pName = DecodeFileName(Join(fLocation.Path, item.Text));
        return S_OK;
    }
    }
}

HResult TLinuxFolder::SetNameOf(WindowRef, IdSpan pItem, const QString& pName, std::uint32_t,
                                IdListBytes* pNewItem)
{
    std::shared_ptr<TLinuxFolder> folder;
    IdListBytes last;
    if (HResult result = SplitRelative(pItem, folder, last); Failed(result))
        return result;
    if (folder.get() != this)
        return folder->SetNameOf(nullptr, IdSpan(last), pName, 0, pNewItem);
    TItem item;
    if (!DecodeItem(IdSpan(last).First(), item))
        return E_INVALIDARG;
    if (!item.IsFileSystem())
        return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
    const std::string newName = EncodeFileName(pName);
    if (!IsValidEntryName(newName))
        return HResultFromWin32(win32::ERROR_INVALID_NAME);
    const std::string from = Join(fLocation.Path, item.Text);
    const std::string to = Join(fLocation.Path, newName);
    if (from != to &&
        ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        return HResultFromErrno(errno);
    if (pNewItem)
        return ParseRelative(fLocation, newName, false, false, *pNewItem);
    return S_OK;
}

HResult TLinuxFolder::GetFindData(IdSpan pItem, FindData& pData)
{
    if (pItem.Depth() != 1)
        return E_INVALIDARG;
    TItem item;
    if (!DecodeItem(pItem.First(), item) || (!item.IsFileSystem() && item.Kind != kind::TrashEntry))
        return E_INVALIDARG;
    pData = FindData{};
    pData.Attributes = item.Snapshot.Attributes;
    pData.LastWriteTime = FileTime{item.Snapshot.LastWrite};
    pData.Size = item.Snapshot.Size;
    pData.Name = DecodeFileName(item.Text);
    return S_OK;
}

// Columns, per kind of folder. State: type 1 string / 2 integer / 3 date, 0x10 shown by
// default, 0x20 slow (asks the disk: computed off the user-interface thread).
struct TColumn
{
    const char* Title;
    int Format;
    int CharWidth;
    std::uint32_t State;
    PropertyKey Key;
};

namespace colkey {
const PropertyKey ItemTypeText{pkey::ItemNameDisplay.FormatId, 4};
const Guid kVolume =
    MakeGuid(0x9B174B35, 0x40FF, 0x11D2, 0xA2, 0x7E, 0x00, 0xC0, 0x4F, 0xC3, 0x08, 0x71);
const PropertyKey FreeSpace{kVolume, 2};
const PropertyKey Capacity{kVolume, 3};
const PropertyKey FileSystem{kVolume, 4};
const Guid kRecycle =
    MakeGuid(0x9B174B33, 0x40FF, 0x11D2, 0xA2, 0x7E, 0x00, 0xC0, 0x4F, 0xC3, 0x08, 0x71);
const PropertyKey DeletedFrom{kRecycle, 2};
const PropertyKey DateDeleted{kRecycle, 3};
} // namespace colkey

const std::vector<TColumn>& ColumnsOf(TPlace pPlace)
{
    static const std::vector<TColumn> files = {
        {"Name", 0, 30, 0x11, pkey::ItemNameDisplay},
        {"Date modified", 0, 18, 0x13, pkey::DateModified},
        {"Type", 0, 18, 0x11, colkey::ItemTypeText},
        {"Size", 1, 10, 0x12, pkey::Size},
    };
    static const std::vector<TColumn> drives = {
        {"Name", 0, 30, 0x11, pkey::ItemNameDisplay},
        {"Type", 0, 18, 0x11, colkey::ItemTypeText},
        {"Total size", 1, 12, 0x32, colkey::Capacity},
        {"Free space", 1, 12, 0x32, colkey::FreeSpace},
        {"File system", 0, 10, 0x01, colkey::FileSystem},
    };
    static const std::vector<TColumn> trash = {
        {"Name", 0, 30, 0x11, pkey::ItemNameDisplay},
        {"Original location", 0, 30, 0x11, colkey::DeletedFrom},
        {"Date deleted", 0, 18, 0x13, colkey::DateDeleted},
        {"Size", 1, 10, 0x12, pkey::Size},
        {"Type", 0, 18, 0x11, colkey::ItemTypeText},
        {"Date modified", 0, 18, 0x03, pkey::DateModified},
    };
    static const std::vector<TColumn> names = {
        {"Name", 0, 30, 0x11, pkey::ItemNameDisplay},
        {"Type", 0, 18, 0x11, colkey::ItemTypeText},
    };
    switch (pPlace) {
    case TPlace::ThisPC:
        return drives;
    case TPlace::Trash:
        return trash;
    case TPlace::Desktop:
    case TPlace::FileSystem:
    case TPlace::QuickAccess:
    case TPlace::Recent:
    case TPlace::Link:
        return files;
    case TPlace::Network:
    case TPlace::NetHost:
    case TPlace::ControlPanel:
        return names;
    }
    return files;
}

QString TypeText(const TItem& pItem)
{
    switch (pItem.Kind) {
    case kind::Class:
        return QStringLiteral("System Folder");
    case kind::Mount:
        if (pItem.MountFlags & mountflag::Remote)
            return QStringLiteral("Network Drive");
        if (pItem.MountFlags & mountflag::Optical)
            return QStringLiteral("CD Drive");
        if (pItem.MountFlags & mountflag::Removable)
            return QStringLiteral("Removable Disk");
        return QStringLiteral("Local Disk");
    case kind::NetHost:
        return QStringLiteral("Computer");
    case kind::NetShare:
        return QStringLiteral("Network Share");
    case kind::SettingsEntry:
        return QStringLiteral("Settings");
    case kind::RecentEntry:
        return QStringLiteral("Shortcut");
    case kind::QuickAccessEntry:
        return pItem.TargetIsFolder ? QStringLiteral("Folder") : QStringLiteral("File");
    default:
        return (pItem.Snapshot.Attributes & fileattr::DIRECTORY) ? QStringLiteral("Folder")
                                                                 : QStringLiteral("File");
    }
}

// "12.3 GB": three significant digits, truncated, as file managers show drive sizes.
QString ByteSizeText(std::uint64_t pBytes)
{
    if (pBytes < 1024)
        return QString::number(pBytes) + QStringLiteral(" bytes");
    const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(pBytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    const int decimals = value < 10 ? 2 : (value < 100 ? 1 : 0);
    const double scale = decimals == 2 ? 100.0 : (decimals == 1 ? 10.0 : 1.0);
    const double truncated = std::floor(value * scale) / scale;
    return QLocale().toString(truncated, 'f', decimals) + u' ' + QLatin1String(units[unit]);
}

QString DateText(FileTime pTime)
{
    if (pTime.Ticks == 0)
        return QString();
    const qint64 ms = static_cast<qint64>(pTime.Ticks / 10000) - Q_INT64_C(11644473600000);
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms).toLocalTime(),
                              QLocale::ShortFormat);
}

HResult TLinuxFolder::GetDetailsOf(const IdSpan* pItem, std::uint32_t pColumn,
                                   ShellDetails& pDetails)
{
    const auto& columns = ColumnsOf(fLocation.Place);
    if (pColumn >= columns.size())
        return E_INVALIDARG;
    const TColumn& column = columns[pColumn];
    pDetails.Format = column.Format;
    pDetails.CharWidth = column.CharWidth;
    pDetails.Text.clear();
    if (!pItem) {
        pDetails.Text = QString::fromLatin1(column.Title);
        return S_OK;
    }
    PropVariant value;
    if (HResult result = GetDetailsEx(*pItem, column.Key, value); Failed(result))
        return result;
    if (const auto* text = std::get_if<QString>(&value)) {
        pDetails.Text = *text;
    } else if (const auto* time = std::get_if<FileTime>(&value)) {
        pDetails.Text = DateText(*time);
    } else if (const auto* size = std::get_if<std::uint64_t>(&value)) {
        // File sizes in kilobytes rounded up, as file lists show them; drives in their unit.
        pDetails.Text = column.Key == pkey::Size
                            ? QLocale().toString(static_cast<qulonglong>((*size + 1023) / 1024)) +
                                  QStringLiteral(" KB")
                            : ByteSizeText(*size);
    }
    return S_OK;
}

HResult TLinuxFolder::GetDetailsEx(IdSpan pItem, const PropertyKey& pKey, PropVariant& pValue)
{
    pValue = std::monostate{};
    if (pKey == pkey::ItemNameDisplay) {
        QString name;
        const HResult result = GetDisplayNameOf(pItem, shgdn::INFOLDER, name);
        pValue = name;
        return result;
    }
    if (pItem.Depth() != 1) {
        std::shared_ptr<TLinuxFolder> folder;
        IdListBytes last;
        if (HResult result = SplitRelative(pItem, folder, last); Failed(result))
            return result;
        return folder->GetDetailsEx(IdSpan(last), pKey, pValue);
    }
    TItem item;
    if (!DecodeItem(pItem.First(), item))
        return E_INVALIDARG;
    if (pKey == colkey::ItemTypeText) {
        pValue = TypeText(item);
        return S_OK;
    }
    if (item.Kind == kind::Mount || item.Kind == kind::NetShare) {
        const std::string path(item.Kind == kind::Mount ? item.Text : item.MountPath);
        if (pKey == colkey::Capacity || pKey == colkey::FreeSpace) {
            // Asks the file system: a slow column, computed off the user-interface thread.
            struct statvfs st
            {
            };
            if (::statvfs(path.c_str(), &st) != 0)
                return S_OK;
            pValue =
                static_cast<std::uint64_t>(pKey == colkey::Capacity ? st.f_blocks : st.f_bavail) *
                st.f_frsize;
        } else if (pKey == colkey::FileSystem) {
            for (const TMount& mount : ReadMountTable()) {
                if (mount.Path == path)
                    pValue = QString::fromUtf8(mount.Type.data(),
                                               static_cast<qsizetype>(mount.Type.size()));
            }
        }
        return S_OK;
    }
    if (item.Kind == kind::TrashEntry) {
        if (pKey == colkey::DeletedFrom && !item.OriginalPath.empty()) {
            const std::string_view original = item.OriginalPath;
            const std::size_t slash = original.rfind('/');
            pValue = DecodeFileName(slash == 0 ? std::string_view("/") : original.substr(0, slash));
            return S_OK;
        }
        if (pKey == colkey::DateDeleted) {
            if (item.DeletionTime != 0)
                pValue = FileTime{item.DeletionTime};
            return S_OK;
        }
    }
    FindData data;
    if (Failed(GetFindData(pItem, data)))
        return S_OK;
    if (pKey == pkey::Size && !(data.Attributes & fileattr::DIRECTORY))
        pValue = data.Size;
    else if (pKey == pkey::DateModified)
        pValue = data.LastWriteTime;
    else if (pKey == pkey::FileAttributes)
        pValue = data.Attributes;
    return S_OK;
}

HResult TLinuxFolder::MapColumnToSCID(std::uint32_t pColumn, PropertyKey& pKey)
{
    const auto& columns = ColumnsOf(fLocation.Place);
    if (pColumn >= columns.size())
        return E_INVALIDARG;
    pKey = columns[pColumn].Key;
    return S_OK;
}

HResult TLinuxFolder::GetDefaultColumnState(std::uint32_t pColumn, std::uint32_t& pState)
{
    const auto& columns = ColumnsOf(fLocation.Place);
    if (pColumn >= columns.size())
        return E_INVALIDARG;
    pState = columns[pColumn].State;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Shell items.

bool PathName(IdSpan pAbsolute, QString& pPath)
{
    std::string path;
    const bool found = PathOfIdList(pAbsolute, path);
    pPath = found ? DecodeFileName(path) : QString();
    return found;
}

// An item of the namespace; holds only its list, so it may outlive the platform object.
class TLinuxShellItem final : public IShellItem
{
public:
    explicit TLinuxShellItem(IdListBytes pAbsolute)
        : fAbsolute(std::move(pAbsolute))
    {
    }

    HResult GetIdList(IdListBytes& pList) override
    {
        std::lock_guard lock(fLock);
        pList = fAbsolute;
        return S_OK;
    }

    HResult GetDisplayName(std::uint32_t pForm, QString& pName) override
    {
        const IdListBytes absolute = Absolute();
        pName.clear();
        if (pForm == sigdn::FILESYSPATH)
            return PathName(IdSpan(absolute), pName) ? S_OK : E_INVALIDARG;
        if (IdSpan(absolute).IsEmpty()) {
            if (pForm & shgdn::FORPARSING && !(pForm & shgdn::FORADDRESSBAR))
                PathName(IdSpan(absolute), pName);
            else
                pName = QStringLiteral("Desktop");
            return S_OK;
        }
        IShellFolderPtr parent;
        IdListBytes last;
        if (HResult result = BindParent(IdSpan(absolute), parent, last); Failed(result))
            return result;
        return parent->GetDisplayNameOf(IdSpan(last), pForm & 0xFFFFu, pName);
    }

    HResult GetAttributes(std::uint32_t pMask, std::uint32_t& pAttributes) override
    {
        const IdListBytes absolute = Absolute();
        if (IdSpan(absolute).IsEmpty()) {
            using namespace sfgao;
            pAttributes =
                pMask & (FOLDER | FILESYSANCESTOR | STORAGEANCESTOR | HASSUBFOLDER | DROPTARGET);
        } else {
            IShellFolderPtr parent;
            IdListBytes last;
            if (HResult result = BindParent(IdSpan(absolute), parent, last); Failed(result))
                return result;
            pAttributes = pMask;
            const IdSpan items[] = {IdSpan(last)};
            if (HResult result = parent->GetAttributesOf(items, pAttributes); Failed(result))
                return result;
        }
        return pAttributes == pMask ? S_OK : S_FALSE;
    }

    HResult Compare(IShellItem& pOther, std::uint32_t pHint, int& pOrder) override
    {
        IdListBytes other;
        if (HResult result = pOther.GetIdList(other); Failed(result))
            return result;
        const HResult result = TLinuxFolder(TLocation{}, idl::Empty())
                                   .CompareIDs(pHint, IdSpan(Absolute()), IdSpan(other));
        if (Failed(result))
            return result;
        pOrder = static_cast<std::int16_t>(HResultCode(result));
        return pOrder == 0 ? S_OK : S_FALSE;
    }

    HResult Update() override
    {
        const IdListBytes absolute = Absolute();
        TLocation location;
        if (HResult result = Resolve(IdSpan(absolute), location); Failed(result))
            return result;
        const IdSpan span(absolute);
        TItem last;
        if (span.IsEmpty() || !DecodeItem(span.Last(), last))
            return S_OK;
        if (last.Kind == kind::TrashEntry) {
            IdListBytes fresh;
            if (HResult result =
                    MakeTrashEntry(std::string(last.TrashDir), std::string(last.Text), fresh);
                Failed(result))
                return result;
            std::lock_guard lock(fLock);
            fAbsolute = idl::Combine(IdSpan(idl::RemoveLast(span)), IdSpan(fresh));
            return S_OK;
        }
        if (!last.IsFileSystem())
            return S_OK;
        TLocation parent;
        parent.Place = TPlace::FileSystem;
        parent.Path = location.Path.substr(0, location.Path.size() - last.Text.size());
        parent.ReadOnly = location.ReadOnly;
        IdListBytes fresh;
        if (HResult result = ParseRelative(parent, std::string(last.Text), false, false, fresh);
            Failed(result))
            return result;
        std::lock_guard lock(fLock);
        fAbsolute = idl::Combine(IdSpan(idl::RemoveLast(span)), IdSpan(fresh));
        return S_OK;
    }

    HResult GetProperty(const PropertyKey& pKey, PropVariant& pValue) override
    {
        pValue = std::monostate{};
        const IdListBytes absolute = Absolute();
        if (IdSpan(absolute).IsEmpty())
            return S_OK;
        IShellFolderPtr parent;
        IdListBytes last;
        if (HResult result = BindParent(IdSpan(absolute), parent, last); Failed(result))
            return result;
        IShellFolder2* columns = parent->AsFolder2();
        return columns ? columns->GetDetailsEx(IdSpan(last), pKey, pValue) : E_NOINTERFACE;
    }

private:
    IdListBytes Absolute()
    {
        std::lock_guard lock(fLock);
        return fAbsolute;
    }

    std::mutex fLock;
    IdListBytes fAbsolute; // guarded by fLock (Update replaces the snapshot)
};

} // namespace

// -------------------------------------------------------------------------------------------------

IdListBytes ThisPcList()
{
    return idl::FromItem(MakeClassItem(clsid::ThisPC, kOrderThisPC));
}

HResult ParseAbsolutePath(const std::string& pPath, IdListBytes& pList, bool pSimple,
                          bool pLastIsFolder)
{
    if (pPath.empty() || pPath[0] != '/')
        return E_INVALIDARG;
    const auto parts = Components(pPath);
    std::string normal;
    for (const std::string& part : parts)
        normal += '/' + part;
    if (normal.empty())
        normal = "/";
    const auto mounts = VisibleMounts();
    const TMount* mount = MountContaining(mounts, normal, true);
    if (!mount)
        return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
    pList = idl::Append(IdSpan(ThisPcList()),
                        MakeMountItem(mount->Path, MountFlags(*mount), MountLabel(*mount)));
    const std::size_t skip = Components(mount->Path).size();
    const std::vector<std::string> below(parts.begin() + static_cast<std::ptrdiff_t>(skip),
                                         parts.end());
    return AppendComponents(mount->Path, below, mount->ReadOnly, pSimple, pLastIsFolder, pList);
}

bool PathOfIdList(IdSpan pAbsolute, std::string& pPath)
{
    pPath.clear();
    if (pAbsolute.IsEmpty()) {
        pPath = TXdgDirs::Load().Desktop;
        return true;
    }
    TLocation location;
    if (Failed(Resolve(pAbsolute, location)) || location.Place != TPlace::FileSystem)
        return false;
    pPath = location.Path;
    return true;
}

IShellFolderPtr TLinuxNamespace::Desktop()
{
    std::call_once(fDesktopOnce, [this] {
        fDesktop = std::make_shared<TLinuxFolder>(TLocation{}, idl::Empty());
    });
    return fDesktop;
}

HResult TLinuxNamespace::CreateShellItem(IdSpan pAbsolute, IShellItemPtr& pItem)
{
    TLocation location;
    if (HResult result = Resolve(pAbsolute, location); Failed(result))
        return result;
    pItem = std::make_shared<TLinuxShellItem>(pAbsolute.ToBytes());
    return S_OK;
}

bool TLinuxNamespace::GetPathFromIdList(IdSpan pAbsolute, QString& pPath)
{
    return PathName(pAbsolute, pPath);
}

HResult TLinuxNamespace::SimpleIdListFromPath(const QString& pPath, IdListBytes& pList)
{
    return ParseAbsolutePath(EncodeFileName(pPath), pList, true, false);
}

HResult TLinuxNamespace::BindToParent(IdSpan pAbsolute, IShellFolderPtr& pParent,
                                      IdListBytes& pLast)
{
    return BindParent(pAbsolute, pParent, pLast);
}

HResult TLinuxNamespace::BindToFolder(IdSpan pAbsolute, IShellFolderPtr& pFolder)
{
    HResult result = S_OK;
    pFolder = MakeFolder(pAbsolute, result);
    return result;
}

bool TLinuxNamespace::FindChild(IdSpan pParent, IdSpan pChild, IdListBytes* pRest)
{
    IdSpan rest;
    if (idl::StartsWith(pParent, pChild, &rest)) {
        if (pRest)
            *pRest = rest.ToBytes();
        return true;
    }
    TLocation parent;
    TLocation child;
    if (Failed(Resolve(pParent, parent)) || Failed(Resolve(pChild, child)))
        return false;
    if (parent.Place != TPlace::FileSystem || child.Place != TPlace::FileSystem)
        return parent.Place == child.Place && parent.Place != TPlace::FileSystem &&
               pChild.Depth() == pParent.Depth();
    if (!IsPathPrefix(parent.Path, child.Path))
        return false;
    if (pRest) {
        // The part of the child below the first of its prefixes that is the parent's path.
        pRest->clear();
        const std::size_t depth = pChild.Depth();
        for (std::size_t d = 0; d <= depth; ++d) {
            std::string path;
            if (PathOfIdList(IdSpan(idl::Prefix(pChild, d)), path) && d > 0 &&
                path == parent.Path) {
                *pRest = pChild.Skip(d).ToBytes();
                break;
            }
        }
    }
    return true;
}

} // namespace kiv::pf::lnx

#include "Errno.h"
#include "Handles.h"
#include "LinuxLinks.h"
#include "LinuxPlaces_p.h"
#include "LinuxSettings.h"
#include "LinuxTrash.h"
#include "LinuxZipFolder.h"
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
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_set>

namespace kiv::pf::lnx {

// ---------------------------------------------------------------------------------------------
// Places: what an absolute list stands for.

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

const std::array<TLibrary, 4>& Libraries()
{
    static const std::array<TLibrary, 4> libraries{{
        {folderid::DocumentsLibrary, &TXdgDirs::Documents, u"Documents"},
        {folderid::MusicLibrary, &TXdgDirs::Music, u"Music"},
        {folderid::PicturesLibrary, &TXdgDirs::Pictures, u"Pictures"},
        {folderid::VideosLibrary, &TXdgDirs::Videos, u"Videos"},
    }};
    return libraries;
}

const TLibrary* FindLibrary(const Guid& pId)
{
    for (const TLibrary& library : Libraries()) {
        if (library.Id == pId)
            return &library;
    }
    return nullptr;
}

const TDelegate* FindDelegate(const Guid& pClassId)
{
    for (const TDelegate& d : Delegates()) {
        if (d.ClassId == pClassId)
            return &d;
    }
    return nullptr;
}

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
    // Set when the list enters the file system other than through a mount item (Home, a user
    // folder, a library, a pinned folder): the mount table then tells whether it is slow.
    bool aliased = false;
    const std::size_t depth = pAbsolute.Depth();
    for (std::size_t i = 0; i < depth; ++i) {
        TItem item;
        // A ZIP file is a file and also the folder of its entries.
        const bool archiveFile = pLocation.Place == TPlace::FileSystem && !pLocation.IsFolder &&
                                 IsZipName(pLocation.Path);
        if ((!pLocation.IsFolder && !archiveFile) || !DecodeItem(pAbsolute.Item(i), item))
            return E_INVALIDARG;
        if (archiveFile != (item.Kind == kind::ZipEntry) && pLocation.Place != TPlace::Archive)
            return E_INVALIDARG;
        pLocation.IsLibrary = false;
        switch (pLocation.Place) {
        case TPlace::Desktop:
            if (item.Kind == kind::Class && item.ClassId == clsid::Home) {
                pLocation.Place = TPlace::FileSystem;
                pLocation.Path = xdg().Home;
                aliased = true;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::ThisPC) {
                pLocation.Place = TPlace::ThisPC;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::Trash) {
                pLocation.Place = TPlace::Trash;
            } else if (item.Kind == kind::Class && item.ClassId == clsid::Libraries) {
                pLocation.Place = TPlace::Libraries;
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
                aliased = true;
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
                aliased = true;
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
        case TPlace::Libraries: {
            const TLibrary* library =
                item.Kind == kind::Library ? FindLibrary(item.ClassId) : nullptr;
            if (!library)
                return E_INVALIDARG;
            pLocation.Place = TPlace::FileSystem;
            pLocation.Path = xdg().*(library->Dir);
            aliased = true;
            pLocation.IsLibrary = true;
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
            aliased = true;
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
            if (archiveFile) {
                pLocation.Place = TPlace::Archive;
                pLocation.ArchivePath = pLocation.Path;
                pLocation.Entry = std::string(item.Text);
                pLocation.Path = Join(pLocation.Path, item.Text);
                pLocation.IsFolder = (item.Snapshot.Attributes & fileattr::DIRECTORY) != 0;
                break;
            }
            if (!item.IsFileSystem())
                return E_INVALIDARG;
            pLocation.Path = Join(pLocation.Path, item.Text);
            pLocation.IsFolder = item.Kind == kind::FsFolder;
            break;
        case TPlace::Archive:
            if (item.Kind != kind::ZipEntry)
                return E_INVALIDARG;
            if (!pLocation.Entry.empty())
                pLocation.Entry += '/';
            pLocation.Entry += item.Text;
            pLocation.Path = Join(pLocation.Path, item.Text);
            pLocation.IsFolder = (item.Snapshot.Attributes & fileattr::DIRECTORY) != 0;
            break;
        }
    }
    if (aliased && (pLocation.Place == TPlace::FileSystem || pLocation.Place == TPlace::Archive)) {
        const auto mounts = ReadMountTable();
        if (const TMount* mount = MountContaining(mounts, pLocation.Path, false)) {
            pLocation.Slow = pLocation.Slow || mount->Drive == DriveType::Remote;
            pLocation.ReadOnly = pLocation.ReadOnly || mount->ReadOnly;
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

std::string ComputeMountLabel(const TMount& pMount);

// The name a mount is shown with: "share on host" for network shares, the volume label of a
// local device, else nothing (the folder name is shown). Kept until the mount table changes:
// finding a label walks /dev/disk/by-label, and every parse of a path asks for one.
std::string MountLabel(const TMount& pMount)
{
    static std::mutex lock;
    static std::uint64_t generation = 0;              // guarded by lock
    static std::map<std::string, std::string> labels; // guarded by lock
    const std::uint64_t now = MountTableGeneration();
    const std::string key = pMount.Source + '\n' + pMount.Path;
    {
        std::lock_guard guard(lock);
        if (generation != now) {
            labels.clear();
            generation = now;
        }
        if (const auto it = labels.find(key); it != labels.end())
            return it->second;
    }
    // Computed outside the lock: no file-system calls under a lock.
    std::string label = ComputeMountLabel(pMount);
    std::lock_guard guard(lock);
    labels.emplace(key, label);
    return label;
}

std::string ComputeMountLabel(const TMount& pMount)
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
    // Made again only when the table, or the home folder that decides what is visible,
    // changes: the change notification asks for every path it reports.
    struct TCache
    {
        std::mutex Lock;
        bool Valid = false;           // guarded by Lock
        std::uint64_t Generation = 0; // guarded by Lock
        std::string Home;             // guarded by Lock
        std::vector<TMount> Mounts;   // guarded by Lock
    };
    static TCache cache;
    const std::uint64_t generation = MountTableGeneration();
    const char* homeVariable = std::getenv("HOME");
    const std::string home = homeVariable ? homeVariable : "";
    {
        const std::scoped_lock lock(cache.Lock);
        if (cache.Valid && cache.Generation == generation && cache.Home == home)
            return cache.Mounts;
    }
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
    const std::scoped_lock lock(cache.Lock);
    cache.Valid = true;
    cache.Generation = generation;
    cache.Home = home;
    cache.Mounts = mounts;
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
    if (pClassId == clsid::Libraries)
        return QStringLiteral("Libraries");
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
            if (!last && !isFolder && !IsZipName(name))
                return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        }
        pList = idl::Append(IdSpan(pList), MakeFsItem(isFolder, snapshot, name));
        pBase = Join(pBase, name);
        if (!last && !isFolder) {
            // The rest names entries of the archive.
            const std::vector<std::string> inside(
                pParts.begin() + static_cast<std::ptrdiff_t>(i) + 1, pParts.end());
            return AppendZipComponents(pBase, {}, inside, pList);
        }
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
    if (pFolder.Place == TPlace::Archive)
        return AppendZipComponents(pFolder.ArchivePath, pFolder.Entry, parts, pList);
    return AppendComponents(pFolder.Path, parts, pFolder.ReadOnly, pSimple, pLastIsFolder, pList);
}

bool IsWindowsDrivePath(const QString& pName)
{
    return pName.size() >= 2 && pName[1] == u':' && pName[0].isLetter() &&
           (pName.size() == 2 || pName[2] == u'\\' || pName[2] == u'/');
}

} // namespace kiv::pf::lnx

#include "Errno.h"
#include "Handles.h"
#include "LinuxFolder_p.h"
#include "LinuxIcons.h"
#include "LinuxItems.h"
#include "LinuxLinks.h"
#include "LinuxNamespace.h"
#include "LinuxPlatform.h"
#include "LinuxSettings.h"
#include "LinuxStream.h"
#include "LinuxTrash.h"
#include "LinuxZipFolder.h"
#include "MountTable.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"
#include "core/platform/IChangeNotify.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/PropertySystem.h"
#include "core/platform/ShellConstants.h"

#include <QDateTime>
#include <QImageReader>
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
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_set>

namespace kiv::pf::lnx {
namespace {

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

} // namespace

// ---------------------------------------------------------------------------------------------
// Folders.

std::shared_ptr<TLinuxFolder> MakeFolder(IdSpan pAbsolute, HResult& pResult)
{
    TLocation location;
    pResult = Resolve(pAbsolute, location);
    if (Failed(pResult))
        return nullptr;
    if (!location.IsFolder && location.Place == TPlace::FileSystem && IsZipName(location.Path)) {
        // The archive's top: the folder of its entries.
        location.Place = TPlace::Archive;
        location.ArchivePath = location.Path;
        location.Entry.clear();
        location.IsFolder = true;
    }
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
    } else if (fLocation.Place == TPlace::Libraries || fLocation.Place == TPlace::Network ||
               fLocation.Place == TPlace::NetHost || fLocation.Place == TPlace::ControlPanel) {
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
            } else if (place == TPlace::Desktop && *id == clsid::Libraries) {
                pOut = idl::Append(IdSpan(pOut), MakeClassItem(*id, kOrderLibraries));
                place = TPlace::Libraries;
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

// The children of each virtual folder, as one-item lists.
using TItems = std::vector<IdListBytes>;

TItems DesktopClassItems(std::uint32_t pFlags)
{
    TItems items;
    if (!(pFlags & shcontf::FOLDERS))
        return items;
    // Quick access and Recent are reached by parsing only (not enumerated).
    const std::pair<Guid, std::uint8_t> listed[] = {{clsid::Home, kOrderHome},
                                                    {clsid::ThisPC, kOrderThisPC},
                                                    {clsid::Libraries, kOrderLibraries},
                                                    {clsid::Network, kOrderNetwork},
                                                    {clsid::ControlPanel, kOrderControlPanel},
                                                    {clsid::Trash, kOrderTrash}};
    for (const auto& [id, order] : listed)
        items.push_back(idl::FromItem(MakeClassItem(id, order)));
    return items;
}

TItems ThisPcItems(std::uint32_t pFlags)
{
    TItems items;
    if (!(pFlags & shcontf::FOLDERS))
        return items;
    const TXdgDirs dirs = TXdgDirs::Load();
    for (const TDelegate& delegate : Delegates()) {
        const std::string& dir = dirs.*(delegate.Dir);
        if (dir != dirs.Home && IsExistingFolder(dir))
            items.push_back(idl::FromItem(MakeClassItem(delegate.ClassId, kOrderDelegate)));
    }
    // From the mount table alone: a mount is never touched to be listed.
    for (const TMount& mount : VisibleMounts())
        items.push_back(
            idl::FromItem(MakeMountItem(mount.Path, MountFlags(mount), MountLabel(mount))));
    return items;
}

TItems LibraryItems(std::uint32_t pFlags)
{
    TItems items;
    if (!(pFlags & shcontf::FOLDERS))
        return items;
    const TXdgDirs dirs = TXdgDirs::Load();
    for (const TLibrary& library : Libraries()) {
        const std::string& dir = dirs.*(library.Dir);
        if (dir != dirs.Home && IsExistingFolder(dir))
            items.push_back(idl::FromItem(MakeLibraryItem(library.Id)));
    }
    return items;
}

// The hosts of the mounted shares, or the shares of one host (pHost not null).
TItems NetworkItems(std::uint32_t pFlags, const std::string* pHost)
{
    TItems items;
    if (!(pFlags & shcontf::FOLDERS))
        return items;
    std::set<std::string> hosts;
    for (const TShare& share : MountedShares()) {
        if (!pHost && hosts.insert(share.Host).second)
            items.push_back(idl::FromItem(MakeHostItem(share.Protocol, share.Host)));
        else if (pHost && share.Host == *pHost)
            items.push_back(
                idl::FromItem(MakeShareItem(share.Protocol, share.Name, share.MountPath)));
    }
    return items;
}

TItems SettingsItems(std::uint32_t pFlags)
{
    TItems items;
    if (!(pFlags & shcontf::NONFOLDERS))
        return items;
    for (const TSettingsEntry& entry : ReadSettingsEntries())
        items.push_back(idl::FromItem(MakeSettingsItem(entry.Id, entry.Name)));
    return items;
}

TItems TrashItems(std::uint32_t pFlags)
{
    TItems items;
    for (const std::string& dir : TrashDirs()) {
        for (IdListBytes& item : ReadTrashEntries(dir)) {
            TItem entry;
            if (DecodeItem(IdSpan(item).First(), entry) &&
                Wanted(pFlags, entry.Snapshot.Attributes & fileattr::DIRECTORY,
                       entry.Snapshot.Flags & itemflag::Hidden))
                items.push_back(std::move(item));
        }
    }
    return items;
}

// Pinned folders, then the newest recent files that still exist.
TItems QuickAccessItems(std::uint32_t pFlags)
{
    TItems items;
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
    return items;
}

TItems RecentItems(std::uint32_t pFlags)
{
    TItems items;
    if (!(pFlags & shcontf::NONFOLDERS))
        return items;
    for (const TLink& link : ReadRecentlyUsed()) {
        if (items.size() == kRecentEntries)
            break;
        items.push_back(idl::FromItem(MakeRecentItem(link.Target, link.Time)));
    }
    return items;
}

HResult TLinuxFolder::EnumObjects(WindowRef, std::uint32_t pFlags, IEnumIDListPtr& pEnum,
                                  std::stop_token pCancel)
{
    pEnum.reset();
    TItems items;
    IEnumIDListPtr entries;
    switch (fLocation.Place) {
    case TPlace::FileSystem:
        return OpenFolderEnum(fLocation, pFlags, std::move(pCancel), pEnum);
    case TPlace::Archive:
        // The archive's directory is read here, so a damaged archive fails the enumeration.
        if (HResult result = ListZipFolder(fLocation.ArchivePath, fLocation.Entry, pFlags,
                                           std::move(pCancel), items);
            Failed(result))
            return result;
        break;
    case TPlace::Link:
        return E_INVALIDARG;
    case TPlace::Desktop: {
        items = DesktopClassItems(pFlags);
        const TXdgDirs dirs = TXdgDirs::Load();
        if (DesktopHasFolder(dirs)) {
            TLocation desktop;
            desktop.Place = TPlace::FileSystem;
            desktop.Path = dirs.Desktop;
            // A missing desktop folder leaves the class items alone.
            OpenFolderEnum(desktop, pFlags, std::move(pCancel), entries);
        }
        break;
    }
    case TPlace::ThisPC:
        items = ThisPcItems(pFlags);
        break;
    case TPlace::Libraries:
        items = LibraryItems(pFlags);
        break;
    case TPlace::Network:
        items = NetworkItems(pFlags, nullptr);
        break;
    case TPlace::NetHost:
        items = NetworkItems(pFlags, &fLocation.Path);
        break;
    case TPlace::ControlPanel:
        items = SettingsItems(pFlags);
        break;
    case TPlace::Trash:
        items = TrashItems(pFlags);
        break;
    case TPlace::QuickAccess:
        items = QuickAccessItems(pFlags);
        break;
    case TPlace::Recent:
        items = RecentItems(pFlags);
        break;
    }
    pEnum = std::make_shared<TListEnum>(std::move(items), std::move(entries));
    return S_OK;
}

HResult TLinuxFolder::BindToFolder(IdSpan pRelative, IShellFolderPtr& pFolder)
{
    HResult result = S_OK;
    pFolder = MakeFolder(IdSpan(idl::Combine(IdSpan(fAbsolute), pRelative)), result);
    return result;
}

HResult TLinuxFolder::BindToStream(IdSpan pRelative, IStreamPtr& pStream)
{
    TLocation target = fLocation;
    if (HResult result = ResolveFrom(pRelative, target); Failed(result))
        return result;
    if (target.Place == TPlace::Archive && !target.IsFolder)
        return OpenZipEntryStream(target.ArchivePath, target.Entry, pStream);
    // Files of the file system, in the trash or pinned: their content. Nothing else has one.
    if (target.Place != TPlace::FileSystem || target.IsFolder || pRelative.IsEmpty())
        return E_NOINTERFACE;
    return OpenFileStream(target.Path, pStream);
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
    else if (a.IsLibrary != b.IsLibrary)
        identity = a.IsLibrary ? 1 : -1;
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
        if (pItem.ClassId == clsid::Libraries)
            return FOLDER | FILESYSANCESTOR | STORAGEANCESTOR | HASSUBFOLDER | DROPTARGET;
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
    if (pItem.Kind == kind::Library)
        return FOLDER | FILESYSANCESTOR | STORAGE | STORAGEANCESTOR | HASSUBFOLDER | DROPTARGET;
    if (pItem.Kind == kind::NetHost)
        return FOLDER | HASSUBFOLDER;
    if (pItem.Kind == kind::NetShare)
        return FOLDER | HASSUBFOLDER | FILESYSTEM | FILESYSANCESTOR | STORAGE | STORAGEANCESTOR |
               DROPTARGET | ISSLOW;
    if (pItem.Kind == kind::SettingsEntry)
        return 0;
    const TSnapshot& snapshot = pItem.Snapshot;
    if (pItem.Kind == kind::ZipEntry) {
        // Entries are copied out, never renamed, deleted or written in place.
        attributes = CANCOPY;
        attributes |= (snapshot.Attributes & fileattr::DIRECTORY) ? FOLDER | HASSUBFOLDER : STREAM;
        if (pItem.Text[0] == '.')
            attributes |= HIDDEN;
        if (fLocation.Slow)
            attributes |= ISSLOW;
        return attributes;
    }
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
        // An archive is a file and also a folder to browse (assumed to hold something: looking
        // would mean reading its directory for every list that shows it).
        if (IsZipName(pItem.Text))
            attributes |= FOLDER | HASSUBFOLDER;
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

// The four forms of a name: what users see, the name that parses in the item's folder, the one
// that parses on the desktop, and the one an address bar edits.
enum class TNameForm
{
    Display,
    Relative,
    Absolute,
    Editing,
};

TNameForm FormOf(std::uint32_t pFlags)
{
    if (!(pFlags & shgdn::FORPARSING))
        return TNameForm::Display;
    if (pFlags & shgdn::INFOLDER)
        return TNameForm::Relative;
    return (pFlags & shgdn::FORADDRESSBAR) ? TNameForm::Editing : TNameForm::Absolute;
}

QString Escaped(std::string_view pBytes)
{
    return DecodeFileName(pBytes);
}

QString Shown(std::string_view pBytes)
{
    return FileNameForDisplay(DecodeFileName(pBytes));
}

// "::{GUID}\rest": the parsing name of an entry of a virtual folder.
QString InClass(const Guid& pClassId, const QString& pRest)
{
    return QStringLiteral("::") + pClassId.ToString() + u'\\' + pRest;
}

QString ClassItemName(const TItem& pItem, const TLocation& pFolder, TNameForm pForm)
{
    const QString own = QStringLiteral("::") + pItem.ClassId.ToString();
    const TDelegate* delegate = FindDelegate(pItem.ClassId);
    switch (pForm) {
    case TNameForm::Display:
        return ClassDisplayName(pItem.ClassId);
    case TNameForm::Relative:
        return own;
    case TNameForm::Editing:
        // Folders with a path edit as that path, the others as their name.
        if (delegate || pItem.ClassId == clsid::Home) {
            const TXdgDirs dirs = TXdgDirs::Load();
            return Escaped(delegate ? dirs.*(delegate->Dir) : dirs.Home);
        }
        return ClassDisplayName(pItem.ClassId);
    case TNameForm::Absolute:
        return pFolder.Place == TPlace::ThisPC ? InClass(clsid::ThisPC, own) : own;
    }
    return own;
}

QString LibraryName(const TLibrary& pLibrary, TNameForm pForm)
{
    const QString name = QString::fromUtf16(pLibrary.Name);
    switch (pForm) {
    case TNameForm::Display:
        return name;
    case TNameForm::Relative:
        return name + QStringLiteral(".library-ms");
    case TNameForm::Editing:
        return QStringLiteral("Libraries\\") + name;
    case TNameForm::Absolute:
        return InClass(clsid::Libraries, name + QStringLiteral(".library-ms"));
    }
    return name;
}

QString TrashEntryName(const TItem& pItem, TNameForm pForm)
{
    const std::string_view original = pItem.OriginalPath.empty() ? pItem.Text : pItem.OriginalPath;
    switch (pForm) {
    case TNameForm::Display:
        return Shown(BaseName(original));
    case TNameForm::Relative:
        return Escaped(pItem.Text);
    case TNameForm::Editing:
        return Escaped(original);
    case TNameForm::Absolute:
        return InClass(clsid::Trash,
                       Escaped(std::string(pItem.TrashDir) + "/" + std::string(pItem.Text)));
    }
    return Escaped(pItem.Text);
}

// Entries of Quick access and Recent: named by their target.
QString LinkEntryName(const TItem& pItem, TNameForm pForm)
{
    switch (pForm) {
    case TNameForm::Display:
        return pItem.Label.empty() ? Shown(BaseName(pItem.Text)) : Utf8(pItem.Label);
    case TNameForm::Relative:
    case TNameForm::Editing:
        return Escaped(pItem.Text);
    case TNameForm::Absolute:
        return InClass(pItem.Kind == kind::RecentEntry ? clsid::Recent : clsid::QuickAccess,
                       Escaped(pItem.Text));
    }
    return Escaped(pItem.Text);
}

QString NetworkItemName(const TItem& pItem, const TLocation& pFolder, TNameForm pForm)
{
    if (pForm == TNameForm::Display)
        return Utf8(pItem.Text);
    if (pItem.Kind == kind::NetHost)
        return QStringLiteral("\\\\") + Utf8(pItem.Text);
    if (pForm == TNameForm::Editing)
        return Escaped(pItem.MountPath);
    return QStringLiteral("\\\\") + Utf8(pFolder.Path) + u'\\' + Utf8(pItem.Text);
}

QString SettingsEntryName(const TItem& pItem, TNameForm pForm)
{
    switch (pForm) {
    case TNameForm::Display:
    case TNameForm::Editing:
        return Utf8(pItem.Label);
    case TNameForm::Relative:
        return Utf8(pItem.Text);
    case TNameForm::Absolute:
        return InClass(clsid::ControlPanel, Utf8(pItem.Text));
    }
    return Utf8(pItem.Label);
}

QString FileItemName(const TItem& pItem, const TLocation& pFolder, TNameForm pForm)
{
    switch (pForm) {
    case TNameForm::Display:
        return Shown(pItem.Text);
    case TNameForm::Relative:
        return Escaped(pItem.Text);
    case TNameForm::Editing:
    case TNameForm::Absolute:
        return Escaped(Join(pFolder.Path, pItem.Text));
    }
    return Escaped(pItem.Text);
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
    const TNameForm form = FormOf(pFlags);
    switch (item.Kind) {
    case kind::Class:
        pName = ClassItemName(item, fLocation, form);
        return S_OK;
    case kind::Mount:
        pName = form == TNameForm::Display ? MountDisplayName(item) : Escaped(item.Text);
        return S_OK;
    case kind::Library:
        if (const TLibrary* library = FindLibrary(item.ClassId)) {
            pName = LibraryName(*library, form);
            return S_OK;
        }
        return E_INVALIDARG;
    case kind::NetHost:
    case kind::NetShare:
        pName = NetworkItemName(item, fLocation, form);
        return S_OK;
    case kind::SettingsEntry:
        pName = SettingsEntryName(item, form);
        return S_OK;
    case kind::QuickAccessEntry:
    case kind::RecentEntry:
        pName = LinkEntryName(item, form);
        return S_OK;
    case kind::TrashEntry:
        pName = TrashEntryName(item, form);
        return S_OK;
    default:
        pName = FileItemName(item, fLocation, form);
        return S_OK;
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
    if (from != to) {
        const bool isFolder = item.Kind == kind::FsFolder;
        AnnounceChange(isFolder ? shcne::RENAMEFOLDER : shcne::RENAMEITEM, from, isFolder, to);
    }
    if (pNewItem)
        return ParseRelative(fLocation, newName, false, false, *pNewItem);
    return S_OK;
}

HResult TLinuxFolder::GetFindData(IdSpan pItem, FindData& pData)
{
    if (pItem.Depth() != 1)
        return E_INVALIDARG;
    TItem item;
    if (!DecodeItem(pItem.First(), item) ||
        (!item.IsFileSystem() && item.Kind != kind::TrashEntry && item.Kind != kind::ZipEntry))
        return E_INVALIDARG;
    // Field by field: a list calls this for every item, and the name's memory can be reused.
    pData.Attributes = item.Snapshot.Attributes;
    pData.CreationTime = FileTime{};
    pData.LastAccessTime = FileTime{};
    pData.LastWriteTime = FileTime{item.Snapshot.LastWrite};
    pData.Size = item.Snapshot.Size;
    pData.Name = DecodeFileName(item.Text);
    return S_OK;
}

// Columns, per kind of folder (shcolstate:: bits; SLOW columns ask the disk or read content and
// are computed off the user-interface thread). Titles, widths and alignment come from the
// property system so that a column looks the same in every folder that offers it.
namespace {

struct TColumn
{
    PropertyKey Key;
    std::uint32_t State;
    // Empty: the property's own title.
    const char* Title = nullptr;
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
const PropertyKey Owner{kRecycle, 4};
const PropertyKey FileExtension{
    MakeGuid(0xE4F10A3C, 0x49E6, 0x405D, 0x82, 0x88, 0xA2, 0x3B, 0xD4, 0xEE, 0xAA, 0x6C), 100};
const PropertyKey ParentFolder{
    MakeGuid(0xE3E0584C, 0xB788, 0x4A5A, 0xBB, 0x20, 0x7F, 0x5A, 0x44, 0xC9, 0xAC, 0xDD), 6};
const PropertyKey ImageDimensions{
    MakeGuid(0x6444048F, 0x4C8B, 0x11D1, 0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03), 13};
} // namespace colkey

using namespace shcolstate;

const std::vector<TColumn>& ColumnsOf(TPlace pPlace)
{
    static const std::vector<TColumn> files = {
        {pkey::ItemNameDisplay, TYPE_STR | ONBYDEFAULT},
        {pkey::DateModified, TYPE_DATE | ONBYDEFAULT},
        {colkey::ItemTypeText, TYPE_STR | ONBYDEFAULT},
        {pkey::Size, TYPE_INT | ONBYDEFAULT},
        {pkey::DateCreated, TYPE_DATE},
        {pkey::DateAccessed, TYPE_DATE | SECONDARYUI},
        {pkey::FileAttributes, TYPE_STR | SECONDARYUI},
        {colkey::Owner, TYPE_STR | SLOW},
        {colkey::FileExtension, TYPE_STR | SECONDARYUI},
        {colkey::ParentFolder, TYPE_STR},
        {colkey::ImageDimensions, TYPE_STR | SLOW},
    };
    static const std::vector<TColumn> drives = {
        {pkey::ItemNameDisplay, TYPE_STR | ONBYDEFAULT},
        {colkey::ItemTypeText, TYPE_STR | ONBYDEFAULT},
        {colkey::Capacity, TYPE_INT | ONBYDEFAULT | SLOW},
        {colkey::FreeSpace, TYPE_INT | ONBYDEFAULT | SLOW},
        {colkey::FileSystem, TYPE_STR},
    };
    static const std::vector<TColumn> trash = {
        {pkey::ItemNameDisplay, TYPE_STR | ONBYDEFAULT},
        {colkey::DeletedFrom, TYPE_STR | ONBYDEFAULT},
        {colkey::DateDeleted, TYPE_DATE | ONBYDEFAULT},
        {pkey::Size, TYPE_INT | ONBYDEFAULT},
        {colkey::ItemTypeText, TYPE_STR | ONBYDEFAULT},
        {pkey::DateModified, TYPE_DATE},
    };
    static const std::vector<TColumn> quickAccess = {
        {pkey::ItemNameDisplay, TYPE_STR | ONBYDEFAULT},
        {colkey::ParentFolder, TYPE_STR | ONBYDEFAULT, "Folder"},
        {pkey::DateModified, TYPE_DATE | ONBYDEFAULT},
    };
    static const std::vector<TColumn> recent = {
        {pkey::ItemNameDisplay, TYPE_STR | ONBYDEFAULT},
        {colkey::ParentFolder, TYPE_STR | ONBYDEFAULT, "Folder"},
        {pkey::DateAccessed, TYPE_DATE | ONBYDEFAULT},
    };
    static const std::vector<TColumn> names = {
        {pkey::ItemNameDisplay, TYPE_STR | ONBYDEFAULT},
        {colkey::ItemTypeText, TYPE_STR | ONBYDEFAULT},
    };
    switch (pPlace) {
    case TPlace::ThisPC:
        return drives;
    case TPlace::Trash:
        return trash;
    case TPlace::QuickAccess:
        return quickAccess;
    case TPlace::Recent:
        return recent;
    case TPlace::Desktop:
    case TPlace::FileSystem:
    case TPlace::Archive:
    case TPlace::Libraries:
    case TPlace::Link:
        return files;
    case TPlace::Network:
    case TPlace::NetHost:
    case TPlace::ControlPanel:
        return names;
    }
    return files;
}

// Type names as the icon service gives them (the MIME type's description), so that the Type
// column and the type a dialog shows agree. One instance for the process: it caches by extension.
TLinuxIcons& TypeNames()
{
    static TLinuxIcons icons;
    return icons;
}

QString TypeText(IdSpan pItem, const TItem& pDecoded)
{
    switch (pDecoded.Kind) {
    case kind::Class:
        return QStringLiteral("System Folder");
    case kind::Mount:
        if (pDecoded.MountFlags & mountflag::Remote)
            return QStringLiteral("Network Drive");
        if (pDecoded.MountFlags & mountflag::Optical)
            return QStringLiteral("CD Drive");
        if (pDecoded.MountFlags & mountflag::Removable)
            return QStringLiteral("Removable Disk");
        return QStringLiteral("Local Disk");
    case kind::NetHost:
        return QStringLiteral("Computer");
    case kind::NetShare:
        return QStringLiteral("Network Share");
    case kind::SettingsEntry:
        return QStringLiteral("Settings");
    default:
        break;
    }
    QString name;
    if (TypeNames().TypeNameOfIdList(pItem, name) && !name.isEmpty())
        return name;
    return (pDecoded.Snapshot.Attributes & fileattr::DIRECTORY) ? QStringLiteral("Folder")
                                                                : QStringLiteral("File");
}

// The path an entry stands for: the entry itself for file-system items, the target for recent
// and quick-access entries, the file inside the trash for trash entries; empty for the rest.
std::string EntryPath(const TLocation& pFolder, const TItem& pItem)
{
    switch (pItem.Kind) {
    case kind::FsFolder:
    case kind::FsFile:
        return pFolder.Path.empty() ? std::string() : Join(pFolder.Path, pItem.Text);
    case kind::RecentEntry:
    case kind::QuickAccessEntry:
        return std::string(pItem.Text);
    case kind::TrashEntry:
        return Join(Join(std::string(pItem.TrashDir), "files"), pItem.Text);
    default:
        return {};
    }
}

std::string_view ParentOf(std::string_view pPath)
{
    const std::size_t slash = pPath.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return slash == 0 ? std::string_view("/") : pPath.substr(0, slash);
}

// Values that need the entry itself (times the snapshot does not carry, the owner): one statx.
PropVariant StatValue(const std::string& pPath, const PropertyKey& pKey)
{
    struct statx st
    {
    };
    const unsigned mask = STATX_BTIME | STATX_ATIME | STATX_MTIME | STATX_UID;
    if (pPath.empty() || ::statx(AT_FDCWD, pPath.c_str(), AT_SYMLINK_NOFOLLOW, mask, &st) != 0)
        return {};
    const auto time = [](const struct statx_timestamp& pT) {
        return FileTime::FromUnix(pT.tv_sec, pT.tv_nsec);
    };
    if (pKey == pkey::DateCreated)
        return (st.stx_mask & STATX_BTIME) ? PropVariant{time(st.stx_btime)} : PropVariant{};
    if (pKey == pkey::DateAccessed)
        return PropVariant{time(st.stx_atime)};
    if (pKey == pkey::DateModified)
        return PropVariant{time(st.stx_mtime)};
    if (pKey == colkey::Owner) {
        // getpwuid_r: the reentrant form, workers ask for owners side by side.
        struct passwd pw
        {
        };
        struct passwd* found = nullptr;
        std::array<char, 4096> buffer{};
        if (::getpwuid_r(st.stx_uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found)
            return PropVariant{QString::fromLocal8Bit(found->pw_name)};
        return PropVariant{QString::number(st.stx_uid)};
    }
    return {};
}

} // namespace

HResult TLinuxFolder::GetDetailsOf(const IdSpan* pItem, std::uint32_t pColumn,
                                   ShellDetails& pDetails)
{
    const auto& columns = ColumnsOf(fLocation.Place);
    if (pColumn >= columns.size())
        return E_INVALIDARG;
    const TColumn& column = columns[pColumn];
    const PropertyDescription* description = PropertySystem::Find(column.Key);
    pDetails.Format = 0;
    if (description && (description->ViewFlags & pdvf::RIGHTALIGN))
        pDetails.Format = 1;
    pDetails.CharWidth = description ? description->DefaultColumnWidth : 20;
    pDetails.Text.clear();
    if (!pItem) {
        pDetails.Text = column.Title ? QString::fromLatin1(column.Title)
                                     : (description ? description->DisplayName : QString());
        return S_OK;
    }
    PropVariant value;
    if (HResult result = GetDetailsEx(*pItem, column.Key, value); Failed(result))
        return result;
    // File sizes in whole kilobytes, rounded up, as file lists show them; drives in their unit.
    pDetails.Text = PropertySystem::FormatForDisplay(
        column.Key, value, column.Key == pkey::Size ? pdff::ALWAYSKB : pdff::DEFAULT);
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
        pValue = TypeText(pItem, item);
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
            pValue = DecodeFileName(ParentOf(item.OriginalPath));
            return S_OK;
        }
        if (pKey == colkey::DateDeleted) {
            if (item.DeletionTime != 0)
                pValue = FileTime{item.DeletionTime};
            return S_OK;
        }
    }
    const std::string path = EntryPath(fLocation, item);
    if (pKey == colkey::ParentFolder) {
        const std::string_view parent =
            item.Kind == kind::TrashEntry ? ParentOf(item.OriginalPath) : ParentOf(path);
        if (!parent.empty())
            pValue = DecodeFileName(parent);
        return S_OK;
    }
    if (pKey == pkey::DateAccessed && item.Kind == kind::RecentEntry) {
        // The time the desktop recorded the visit, not the file's access time.
        if (item.Time != 0)
            pValue = FileTime{item.Time};
        return S_OK;
    }
    if (pKey == pkey::DateCreated || pKey == pkey::DateAccessed || pKey == colkey::Owner ||
        (pKey == pkey::DateModified && item.Kind == kind::QuickAccessEntry)) {
        pValue = StatValue(path, pKey);
        return S_OK;
    }
    const bool isFolder = (item.Snapshot.Attributes & fileattr::DIRECTORY) != 0 ||
                          item.Kind == kind::FsFolder ||
                          (item.Kind == kind::QuickAccessEntry && item.TargetIsFolder);
    if (pKey == colkey::FileExtension) {
        const std::string_view name = BaseName(path.empty() ? std::string_view(item.Text) : path);
        const std::size_t dot = name.rfind('.');
        if (!isFolder && dot != std::string_view::npos && dot > 0)
            pValue = DecodeFileName(name.substr(dot));
        return S_OK;
    }
    if (pKey == colkey::ImageDimensions) {
        if (isFolder || path.empty())
            return S_OK;
        // Reads the file's header: a slow column.
        const QSize size = QImageReader(DecodeFileName(path)).size();
        if (size.isValid())
            pValue = QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
        return S_OK;
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

bool TLinuxFolder::IsWritable() const
{
    std::call_once(fWritableOnce, [this] {
        fWritable = ::faccessat(AT_FDCWD, fLocation.Path.c_str(), W_OK, AT_EACCESS) == 0;
    });
    return fWritable;
}

} // namespace kiv::pf::lnx

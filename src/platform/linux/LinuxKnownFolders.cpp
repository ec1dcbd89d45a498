#include "LinuxKnownFolders.h"

#include "LinuxItems.h"
#include "LinuxNamespace.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"
#include "core/platform/KnownFolderIds.h"

#include <cstdlib>
#include <sys/stat.h>

namespace kiv::pf::lnx {
namespace {

enum class TTarget
{
    Desktop,
    ThisPC,
    Trash,
    Network,
    ControlPanel,
    QuickAccess,
    Recent,
    Home,
    // A user folder shown under This PC; Delegate names its class item.
    UserFolder,
    // A plain folder.
    Path,
};

struct TKnownFolder
{
    int Csidl;
    Guid FolderId;
    TTarget Target;
    Guid Delegate;
    // The folder's path for UserFolder and Path targets.
    std::string (*PathOf)(const TXdgDirs&);
};

std::string FirstConfigDir(const TXdgDirs&)
{
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first = dirs ? std::string(dirs) : std::string();
    first = first.substr(0, first.find(':'));
    return first.empty() || first[0] != '/' ? std::string("/etc/xdg") : first;
}

const std::vector<TKnownFolder>& Table()
{
    using T = TTarget;
    static const std::vector<TKnownFolder> table = {
        {csidl::DESKTOP, folderid::Desktop, T::Desktop, {}, nullptr},
        {csidl::DRIVES, folderid::ComputerFolder, T::ThisPC, {}, nullptr},
        {csidl::BITBUCKET, folderid::RecycleBinFolder, T::Trash, {}, nullptr},
        {csidl::NETWORK, folderid::NetworkFolder, T::Network, {}, nullptr},
        {csidl::CONTROLS, folderid::ControlPanelFolder, T::ControlPanel, {}, nullptr},
        {csidl::RECENT, folderid::Recent, T::Recent, {}, nullptr},
        {-1, clsid::QuickAccess, T::QuickAccess, {}, nullptr},
        {csidl::PROFILE, folderid::Profile, T::Home, {}, nullptr},
        {csidl::DESKTOPDIRECTORY,
         {},
         T::UserFolder,
         clsid::DesktopFolder,
         [](const TXdgDirs& d) { return d.Desktop; }},
        {csidl::PERSONAL, folderid::Documents, T::UserFolder, clsid::DocumentsFolder,
         [](const TXdgDirs& d) { return d.Documents; }},
        {-1, folderid::Downloads, T::UserFolder, clsid::DownloadsFolder,
         [](const TXdgDirs& d) { return d.Download; }},
        {csidl::MYMUSIC, folderid::Music, T::UserFolder, clsid::MusicFolder,
         [](const TXdgDirs& d) { return d.Music; }},
        {csidl::MYPICTURES, folderid::Pictures, T::UserFolder, clsid::PicturesFolder,
         [](const TXdgDirs& d) { return d.Pictures; }},
        {csidl::MYVIDEO, folderid::Videos, T::UserFolder, clsid::VideosFolder,
         [](const TXdgDirs& d) { return d.Videos; }},
        {csidl::TEMPLATES,
         folderid::Templates,
         T::Path,
         {},
         [](const TXdgDirs& d) { return d.Templates; }},
        {-1, folderid::Public, T::Path, {}, [](const TXdgDirs& d) { return d.PublicShare; }},
        {csidl::APPDATA,
         folderid::RoamingAppData,
         T::Path,
         {},
         [](const TXdgDirs& d) { return d.ConfigHome; }},
        {csidl::LOCAL_APPDATA,
         folderid::LocalAppData,
         T::Path,
         {},
         [](const TXdgDirs& d) { return d.DataHome; }},
        {csidl::INTERNET_CACHE,
         folderid::InternetCache,
         T::Path,
         {},
         [](const TXdgDirs& d) { return d.CacheHome; }},
        {csidl::PROGRAMS,
         {},
         T::Path,
         {},
         [](const TXdgDirs& d) { return d.DataHome + "/applications"; }},
        {csidl::STARTUP,
         {},
         T::Path,
         {},
         [](const TXdgDirs& d) { return d.ConfigHome + "/autostart"; }},
        {csidl::FONTS, {}, T::Path, {}, [](const TXdgDirs& d) { return d.DataHome + "/fonts"; }},
        {csidl::COMMON_STARTUP,
         {},
         T::Path,
         {},
         [](const TXdgDirs&) { return std::string("/etc/xdg/autostart"); }},
        {csidl::COMMON_PROGRAMS,
         {},
         T::Path,
         {},
         [](const TXdgDirs&) { return std::string("/usr/share/applications"); }},
        {csidl::COMMON_APPDATA, {}, T::Path, {}, FirstConfigDir},
        {csidl::PROGRAM_FILES,
         folderid::ProgramFiles,
         T::Path,
         {},
         [](const TXdgDirs&) { return std::string("/usr"); }},
        {csidl::WINDOWS,
         folderid::Windows,
         T::Path,
         {},
         [](const TXdgDirs&) { return std::string("/usr"); }},
        {csidl::SYSTEM,
         folderid::System,
         T::Path,
         {},
         [](const TXdgDirs&) { return std::string("/usr/bin"); }},
        {csidl::PROGRAM_FILES_COMMON,
         {},
         T::Path,
         {},
         [](const TXdgDirs&) { return std::string("/usr/share"); }},
    };
    return table;
}

const TKnownFolder* Find(const KnownFolderKey& pKey)
{
    if (pKey.Csidl >= 0) {
        for (const TKnownFolder& entry : Table()) {
            if (entry.Csidl == pKey.Csidl)
                return &entry;
        }
    }
    if (!pKey.FolderId.IsNull()) {
        for (const TKnownFolder& entry : Table()) {
            if (entry.FolderId == pKey.FolderId)
                return &entry;
        }
    }
    return nullptr;
}

bool IsFolder(const std::string& pPath)
{
    struct stat st
    {
    };
    return !pPath.empty() && ::stat(pPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

HResult TLinuxKnownFolders::GetIdList(const KnownFolderKey& pKey, IdListBytes& pList)
{
    const TKnownFolder* entry = Find(pKey);
    if (!entry)
        return E_FAIL;
    switch (entry->Target) {
    case TTarget::Desktop:
        pList = idl::Empty();
        return S_OK;
    case TTarget::ThisPC:
        pList = ThisPcList();
        return S_OK;
    case TTarget::Trash:
        pList = idl::FromItem(MakeClassItem(clsid::Trash, 0x60));
        return S_OK;
    case TTarget::Network:
        pList = idl::FromItem(MakeClassItem(clsid::Network, 0x58));
        return S_OK;
    case TTarget::ControlPanel:
        pList = idl::FromItem(MakeClassItem(clsid::ControlPanel, 0x5C));
        return S_OK;
    case TTarget::QuickAccess:
        pList = idl::FromItem(MakeClassItem(clsid::QuickAccess, 0x30));
        return S_OK;
    case TTarget::Recent:
        pList = idl::FromItem(MakeClassItem(clsid::Recent, 0x70));
        return S_OK;
    case TTarget::Home:
        pList = idl::FromItem(MakeClassItem(clsid::Home, 0x40));
        return S_OK;
    case TTarget::UserFolder:
    case TTarget::Path: {
        const TXdgDirs dirs = TXdgDirs::Load();
        const std::string path = entry->PathOf(dirs);
        if (!IsFolder(path))
            return E_FAIL;
        if (entry->Target == TTarget::UserFolder && path != dirs.Home) {
            pList = idl::Append(IdSpan(ThisPcList()), MakeClassItem(entry->Delegate, 0x48));
            return S_OK;
        }
        return Failed(ParseAbsolutePath(path, pList)) ? E_FAIL : S_OK;
    }
    }
    return E_FAIL;
}

HResult TLinuxKnownFolders::FindFromIdList(IdSpan pList, Guid& pFolderId)
{
    if (pList.IsEmpty()) {
        pFolderId = folderid::Desktop;
        return S_OK;
    }
    // Class items answer with their own identifier (the user folders' aliases).
    TItem last;
    if (DecodeItem(pList.Last(), last) && last.Kind == kind::Class) {
        pFolderId = last.ClassId == clsid::ThisPC ? folderid::ComputerFolder : last.ClassId;
        return S_OK;
    }
    std::string path;
    if (!PathOfIdList(pList, path))
        return E_FAIL;
    return FindFromPath(DecodeFileName(path), pFolderId);
}

HResult TLinuxKnownFolders::FindFromPath(const QString& pPath, Guid& pFolderId)
{
    const std::string path = EncodeFileName(pPath);
    const TXdgDirs dirs = TXdgDirs::Load();
    if (path == dirs.Home) {
        pFolderId = folderid::Profile;
        return S_OK;
    }
    if (path == dirs.Desktop) {
        pFolderId = folderid::Desktop;
        return S_OK;
    }
    for (const TKnownFolder& entry : Table()) {
        if (entry.PathOf && !entry.FolderId.IsNull() && entry.PathOf(dirs) == path) {
            pFolderId = entry.FolderId;
            return S_OK;
        }
    }
    return E_FAIL;
}

} // namespace kiv::pf::lnx

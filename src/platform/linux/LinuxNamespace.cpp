#include "LinuxNamespace.h"

#include "Errno.h"
#include "Handles.h"
#include "LinuxFolder_p.h"
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
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_set>

namespace kiv::pf::lnx {
namespace {

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
    if (Failed(Resolve(pAbsolute, location)) || location.Place != TPlace::FileSystem ||
        location.IsLibrary)
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

bool TLinuxNamespace::GetLibraryDefaultSaveFolder(IdSpan pAbsolute, QString& pPath)
{
    pPath.clear();
    TLocation location;
    if (Failed(Resolve(pAbsolute, location)) || !location.IsLibrary)
        return false;
    pPath = DecodeFileName(location.Path);
    return true;
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
    // Entries of archives have paths too: the archive's path and theirs inside it.
    const auto hasPath = [](const TLocation& pLocation) {
        return pLocation.Place == TPlace::FileSystem || pLocation.Place == TPlace::Archive;
    };
    if (!hasPath(parent) || !hasPath(child))
        return parent.Place == child.Place && !hasPath(parent) && pChild.Depth() == pParent.Depth();
    if (!IsPathPrefix(parent.Path, child.Path))
        return false;
    if (pRest) {
        // The part of the child below the first of its prefixes that is the parent's path.
        pRest->clear();
        const std::size_t depth = pChild.Depth();
        for (std::size_t d = 1; d <= depth; ++d) {
            TLocation prefix;
            if (Succeeded(Resolve(IdSpan(idl::Prefix(pChild, d)), prefix)) && hasPath(prefix) &&
                !prefix.IsLibrary && prefix.Path == parent.Path) {
                *pRest = pChild.Skip(d).ToBytes();
                break;
            }
        }
    }
    return true;
}

} // namespace kiv::pf::lnx

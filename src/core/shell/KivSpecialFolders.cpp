// The special folders: their table (legacy number and known-folder id per value), the
// process-wide cache of their lists, the known-folder aliases and the names they answer to.

#include "core/platform/IInfo.h"
#include "core/platform/IKnownFolders.h"
#include "core/platform/IPlatform.h"
#include "core/platform/KnownFolderIds.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"

#include <QHash>

#include <array>
#include <map>
#include <mutex>

namespace kiv {

using pf::Failed;
using pf::Succeeded;

namespace {

using F = TKivShellFolder;

constexpr int kFirstSpecial = 1;    // SF_BITBUCKET
constexpr int kLastIdentified = 56; // SF_QUICKLAUNCH: values tried when identifying
constexpr int kLastNamed = 55;      // SF_ONEDRIVE: values that give names

constexpr QLatin1String kQuickAccessParsingName("shell:::{679f85cb-0220-4080-b29b-5540cc05aab6}");

pf::Guid G(const char16_t* pText)
{
    return pf::Guid::FromString(QStringView(pText)).value_or(pf::Guid{});
}

struct TSpecialFolderEntry
{
    int Csidl; // -1 = none
    pf::Guid FolderId;
};

// Per value in enumeration order: the legacy number tried first, then the known-folder id. The
// ids are the published ones the platform layer knows; folders this host has no counterpart for
// carry none and resolve (or not) through their number.
const std::array<TSpecialFolderEntry, kKivShellFolderCount>& Table()
{
    namespace id = pf::folderid;
    static const std::array<TSpecialFolderEntry, kKivShellFolderCount> table = {{
        {17, id::ComputerFolder},    // SF_FILESYSTEMFOLDER
        {10, id::RecycleBinFolder},  // SF_BITBUCKET
        {3, id::ControlPanelFolder}, // SF_CONTROLS
        {0, id::Desktop},            // SF_DESKTOP
        {16, id::Desktop},           // SF_DESKTOPDIRECTORY
        {17, id::ComputerFolder},    // SF_DRIVES
        {20, {}},                    // SF_FONTS
        {19, {}},                    // SF_NETHOOD
        {18, id::NetworkFolder},     // SF_NETWORK
        {5, id::Documents},          // SF_PERSONAL
        {4, {}},                     // SF_PRINTERS
        {2, {}},                     // SF_PROGRAMS
        {8, id::Recent},             // SF_RECENT
        {9, {}},                     // SF_SENDTO
        {11, {}},                    // SF_STARTMENU
        {7, {}},                     // SF_STARTUP
        {21, id::Templates},         // SF_TEMPLATES
        {6, {}},                     // SF_FAVORITES
        {22, {}},                    // SF_COMMON_STARTMENU
        {24, {}},                    // SF_COMMON_STARTUP
        {25, {}},                    // SF_COMMON_DESKTOPDIRECTORY
        {26, id::RoamingAppData},    // SF_APPDATA
        {27, {}},                    // SF_PRINTHOOD
        {31, {}},                    // SF_COMMON_FAVORITES
        {32, id::InternetCache},     // SF_INTERNET_CACHE
        {33, {}},                    // SF_COOKIES
        {34, {}},                    // SF_HISTORY
        {23, {}},                    // SF_COMMON_PROGRAMS
        {29, {}},                    // SF_ALTSTARTUP
        {35, {}},                    // SF_COMMON_APPDATA
        {46, {}},                    // SF_COMMON_DOCUMENTS
        {1, {}},                     // SF_INTERNET
        {28, id::LocalAppData},      // SF_LOCAL_APPDATA
        {39, id::Pictures},          // SF_MYPICTURES
        {38, id::ProgramFiles},      // SF_PROGRAM_FILES
        {37, id::System},            // SF_SYSTEM
        {43, {}},                    // SF_PROGRAM_FILES_COMMON
        {36, id::Windows},           // SF_WINDOWS
        {42, {}},                    // SF_PROGRAM_FILESX86
        {44, {}},                    // SF_PROGRAM_FILES_COMMONX86
        {41, {}},                    // SF_SYSTEMX86
        {13, id::Music},             // SF_MY_MUSIC
        {14, id::Videos},            // SF_MY_VIDEOS
        {-1, {}},                    // SF_LIBRARIES
        {-1, {}},                    // SF_LIBRARY_DOCUMENTS
        {-1, {}},                    // SF_LIBRARY_PICTURES
        {-1, {}},                    // SF_LIBRARY_MUSIC
        {-1, {}},                    // SF_LIBRARY_VIDEOS
        {-1, id::Public},            // SF_LIBRARY_PUBLIC
        {-1, id::Profile},           // SF_PROFILE
        {-1, {}},                    // SF_HOME_GROUP
        {-1, {}},                    // SF_LINKS
        {-1, {}},                    // SF_QUICKACCESS (parsed from its class id)
        {-1, id::Downloads},         // SF_DOWNLOADS
        {-1, {}},                    // SF_ONEDRIVE
        {-1, {}},                    // SF_QUICKLAUNCH
        {17, id::ComputerFolder},    // SF_UNKNOWN
        {-1, {}},                    // SF_INVALID
    }};
    return table;
}

// Known-folder ids (and the class ids of the folders under This PC) that name a special folder
// other than the one whose table id they are.
const std::map<pf::Guid, F>& KnownFolderAliases()
{
    static const std::map<pf::Guid, F> aliases = {
        {G(u"{0DDD015D-B06C-45D5-8C4C-F59713854639}"), F::SF_MYPICTURES},
        {G(u"{F42EE2D3-909F-4907-8871-4C22FC0BF756}"), F::SF_PERSONAL},
        {G(u"{A0C69A99-21C8-4671-8703-7934162FCF1D}"), F::SF_MY_MUSIC},
        {G(u"{35286A68-3C57-41A1-BBB1-0EAE73D76C95}"), F::SF_MY_VIDEOS},
        {G(u"{7D83EE9B-2244-4E70-B1F5-5393042AF1E4}"), F::SF_DOWNLOADS},
        {G(u"{679f85cb-0220-4080-b29b-5540cc05aab6}"), F::SF_QUICKACCESS},
        {G(u"{26EE0668-A00A-44D7-9371-BEB064C98683}"), F::SF_CONTROLS},
        {G(u"{323CA680-C24D-4099-B94D-446DD2D7249E}"), F::SF_FAVORITES},
        {G(u"{A302545D-DEFF-464B-ABE8-61C8648D939B}"), F::SF_LIBRARIES},
        {G(u"{5E6C858F-0E22-4760-9AFE-EA3317B67173}"), F::SF_PROFILE},
        {G(u"{754AC886-DF64-4CBA-86B5-F7FBF4FBCEF5}"), F::SF_DESKTOPDIRECTORY},
        {G(u"{6D809377-6AF0-444b-8957-A3773F02200E}"), F::SF_PROGRAM_FILES},
        {G(u"{6365D5A7-0F0D-45E5-87F6-0DA56B6A4F7D}"), F::SF_PROGRAM_FILES_COMMON},
    };
    return aliases;
}

// The process-wide lists of the special folders and the names they answer to. The lists belong
// to the platform that made them: installing another platform (tests do) starts them afresh.
class TSpecialFolderCache
{
public:
    static TSpecialFolderCache& Instance()
    {
        // Never destroyed: lists handed out may outlive static destruction order.
        // NOLINTNEXTLINE(cppcoreguidelines-owning-memory): deliberately never freed.
        static TSpecialFolderCache* const cache = new TSpecialFolderCache();
        return *cache;
    }

    IItemIdListPtr Get(F pFolder)
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        return fSlots[static_cast<std::size_t>(pFolder)];
    }

    // Stores pList unless another thread was first; returns what the slot holds.
    IItemIdListPtr Put(F pFolder, const IItemIdListPtr& pList)
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        IItemIdListPtr& slot = fSlots[static_cast<std::size_t>(pFolder)];
        if (!slot)
            slot = pList;
        return slot;
    }

    std::shared_ptr<const QHash<QString, F>> Names()
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        return fNames;
    }

    void PutNames(std::shared_ptr<const QHash<QString, F>> pNames)
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        if (!fNames)
            fNames = std::move(pNames);
    }

    TIdListBuffer QuickAccess(bool& pKnown)
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        pKnown = fQuickAccessKnown;
        return fQuickAccess;
    }

    void SetQuickAccess(TIdListBuffer pList)
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        if (!fQuickAccessKnown) {
            fQuickAccess = std::move(pList);
            fQuickAccessKnown = true;
        }
    }

    IItemIdListPtr LastParsed()
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        return fLastParsed;
    }

    void SetLastParsed(const IItemIdListPtr& pList)
    {
        std::lock_guard lock(fLock);
        CheckOwner();
        fLastParsed = pList;
    }

    void Reset()
    {
        std::lock_guard lock(fLock);
        Fill();
    }

private:
    TSpecialFolderCache() { Fill(); }

    void CheckOwner()
    {
        const pf::IPlatform* current = pf::HasPlatform() ? &pf::Platform() : nullptr;
        if (current != fOwner)
            Fill();
    }

    void Fill()
    {
        fOwner = pf::HasPlatform() ? &pf::Platform() : nullptr;
        fSlots.fill(nullptr);
        fSlots[static_cast<std::size_t>(F::SF_FILESYSTEMFOLDER)] = InvalidItemIdList();
        fSlots[static_cast<std::size_t>(F::SF_DESKTOP)] = TSpecialFolders::Desktop();
        fNames.reset();
        fLastParsed.reset();
        fQuickAccess.reset();
        fQuickAccessKnown = false;
    }

    std::mutex fLock;
    const pf::IPlatform* fOwner = nullptr;                   // guarded by fLock
    std::array<IItemIdListPtr, kKivShellFolderCount> fSlots; // guarded by fLock
    std::shared_ptr<const QHash<QString, F>> fNames;         // guarded by fLock
    // Used by Parse on the main thread only; kept here so that it follows the platform.
    IItemIdListPtr fLastParsed; // guarded by fLock
    // Quick Access's own list: its content changes, so no list object of it is cached, but its
    // place never does. Comparisons and ancestry tests use this.
    TIdListBuffer fQuickAccess;     // guarded by fLock
    bool fQuickAccessKnown = false; // guarded by fLock
};

F FromIndex(int pIndex)
{
    return static_cast<F>(pIndex);
}

} // namespace

IItemIdListPtr TSpecialFolders::Desktop()
{
    static const TIdListBuffer* const empty =
        new TIdListBuffer(std::make_shared<const pf::IdListBytes>(pf::idl::Empty()));
    auto list = std::const_pointer_cast<IItemIdList>(
        TKivItemIdList::Create(*empty, TItemIdListOwnership::iloForeignOwned));
    static_cast<TKivItemIdList&>(*list).SetSpecialFolderValue(F::SF_DESKTOP);
    return list;
}

IItemIdListPtr TSpecialFolders::Create(F pFolder, bool pFromCache)
{
    pf::IPlatform& platform = pf::Platform();
    if (pFolder == F::SF_QUICKACCESS && !platform.Info().Profile().Win10OrLater)
        pFolder = F::SF_LINKS;
    TSpecialFolderCache& cache = TSpecialFolderCache::Instance();
    if (pFromCache) {
        if (IItemIdListPtr cached = cache.Get(pFolder))
            return cached;
    }
    IItemIdListPtr list;
    if (pFolder == F::SF_QUICKACCESS) {
        list = TKivItemIdList::Create(QString(kQuickAccessParsingName));
    } else if (pFolder == F::SF_INVALID) {
        // Unresolved, with nothing to resolve from: it becomes invalid on first use.
        list = std::make_shared<TKivItemIdList>(TKivItemIdList::TPrivate{});
        return list;
    } else {
        const TSpecialFolderEntry& entry = Table()[static_cast<std::size_t>(pFolder)];
        pf::IdListBytes bytes;
        pf::HResult result = pf::E_FAIL;
        if (entry.Csidl >= 0)
            result = platform.KnownFolders().GetIdList(pf::KnownFolderKey{entry.Csidl, {}}, bytes);
        if (Failed(result) && !entry.FolderId.IsNull())
            result =
                platform.KnownFolders().GetIdList(pf::KnownFolderKey{-1, entry.FolderId}, bytes);
        list = Succeeded(result) ? TKivItemIdList::Create(std::move(bytes)) : InvalidItemIdList();
    }
    if (list->IsInvalid())
        return list;
    static_cast<const TKivItemIdList&>(*list).SetSpecialFolderValue(pFolder);
    if (pFromCache && pFolder != F::SF_DRIVES && pFolder != F::SF_QUICKACCESS)
        return cache.Put(pFolder, list);
    return list;
}

IItemIdListPtr TSpecialFolders::CreateByName(const QString& pName)
{
    TSpecialFolderCache& cache = TSpecialFolderCache::Instance();
    std::shared_ptr<const QHash<QString, F>> names = cache.Names();
    if (!names) {
        // Built outside the lock: naming the folders asks the platform.
        auto built = std::make_shared<QHash<QString, F>>();
        const auto claim = [&](const QString& pText, F pFolder) {
            if (!pText.isEmpty() && !built->contains(pText.toUpper()))
                built->insert(pText.toUpper(), pFolder);
        };
        for (int i = kFirstSpecial; i <= kLastNamed; ++i) {
            const F folder = FromIndex(i);
            IItemIdListPtr list;
            try {
                list = Create(folder, true);
            } catch (const EWayfoldError&) {
                continue;
            }
            if (!list || list->IsInvalid())
                continue;
            claim(list->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder), folder);
            for (const auto format : {TItemIdListDisplayNameFormat::dnfAbsoluteParsing,
                                      TItemIdListDisplayNameFormat::dnfRelativeParsing}) {
                const QString parsing = list->DisplayName(format);
                if (parsing.startsWith(QLatin1String("::{")))
                    claim(parsing, folder);
            }
        }
        cache.PutNames(built);
        names = cache.Names();
    }
    const auto found = names->constFind(pName.toUpper());
    if (found == names->constEnd())
        return nullptr;
    return Create(found.value(), true);
}

TKivShellFolder TSpecialFolders::Identify(const TKivItemIdList& pList)
{
    const TIdListBuffer buffer = pList.WindowsPointer();
    if (!buffer)
        return F::SF_INVALID;
    const IItemIdListPtr self = pList.shared_from_this();
    pf::IKnownFolders& known = pf::Platform().KnownFolders();
    if (!known.Available()) {
        for (int i = kFirstSpecial; i <= kLastIdentified; ++i) {
            try {
                const IItemIdListPtr special = Create(FromIndex(i), true);
                if (special && !special->IsInvalid() &&
                    special->Equals(self, TItemIdListComparison::ilcDisplay))
                    return FromIndex(i);
            } catch (const std::exception&) {
                // A folder that cannot be made is skipped.
            }
        }
    } else {
        pf::Guid id;
        bool found = Succeeded(known.FindFromIdList(pf::IdSpan(*buffer), id));
        const QString path = pList.Path();
        if (!found && !path.isEmpty())
            found = Succeeded(known.FindFromPath(path, id));
        if (found) {
            F result = F::SF_INVALID;
            if (const auto alias = KnownFolderAliases().find(id);
                alias != KnownFolderAliases().end()) {
                result = alias->second;
            } else {
                for (int i = kFirstSpecial; i <= kLastIdentified; ++i) {
                    if (Table()[static_cast<std::size_t>(i)].FolderId == id) {
                        result = FromIndex(i);
                        break;
                    }
                }
            }
            if (result != F::SF_INVALID) {
                if (result == F::SF_DESKTOP && pf::IdSpan(*buffer).Depth() > 0)
                    result = F::SF_DESKTOPDIRECTORY;
                return result;
            }
        }
        if (path.isEmpty()) {
            const IItemIdListPtr quick = Create(F::SF_QUICKACCESS, true);
            if (quick && !quick->IsInvalid() &&
                quick->Equals(self, TItemIdListComparison::ilcDisplay))
                return F::SF_QUICKACCESS;
        }
    }
    return pList.Path().isEmpty() ? F::SF_UNKNOWN : F::SF_FILESYSTEMFOLDER;
}

IItemIdListPtr TSpecialFolders::LastParsedFolder()
{
    return TSpecialFolderCache::Instance().LastParsed();
}

void TSpecialFolders::SetLastParsedFolder(const IItemIdListPtr& pList)
{
    TSpecialFolderCache::Instance().SetLastParsed(pList);
}

TIdListBuffer TSpecialFolders::QuickAccessList()
{
    TSpecialFolderCache& cache = TSpecialFolderCache::Instance();
    bool known = false;
    TIdListBuffer list = cache.QuickAccess(known);
    if (known)
        return list;
    const IItemIdListPtr made = Create(F::SF_QUICKACCESS, false);
    cache.SetQuickAccess(made ? made->WindowsPointer() : nullptr);
    return cache.QuickAccess(known);
}

void TSpecialFolders::Reset()
{
    TSpecialFolderCache::Instance().Reset();
}

} // namespace kiv

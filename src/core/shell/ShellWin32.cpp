#include "core/shell/ShellWin32.h"

#include "core/platform/Guid.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/shell/DebugLog.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <mutex>

namespace kiv {

namespace {

std::optional<pf::IdListBytes> MyComputerList()
{
    const IItemIdListPtr drives =
        TKivItemIdList::CreateForSpecialFolder(TKivShellFolder::SF_DRIVES);
    const TIdListBuffer list = drives ? drives->WindowsPointer() : nullptr;
    if (!list)
        return std::nullopt;
    return *list;
}

std::optional<pf::IdListBytes> Parse(const pf::IShellFolderPtr& pFolder, pf::WindowRef pWindow,
                                     const pf::BindContext* pBind, const QString& pPath)
{
    pf::IdListBytes list;
    if (pf::Succeeded(pFolder->ParseDisplayName(pWindow, pBind, pPath, list, nullptr)))
        return list;
    return std::nullopt;
}

QString ModuleName(pf::StringModule pModule)
{
    switch (pModule) {
    case pf::StringModule::Shell32:
        return QStringLiteral("Shell32");
    case pf::StringModule::ExplorerFrame:
        return QStringLiteral("ExplorerFrame.dll");
    }
    return {};
}

// The desktop folder kept for the platform that gave it. Folders of a platform may not outlive
// it, so the slot remembers which installation answered and holds the folder weakly: a platform
// replaced in a test never hands its successor a folder of its own.
struct TDesktopSlot
{
    std::mutex Lock;
    std::uint64_t Generation = ~std::uint64_t(0); // guarded by Lock
    std::weak_ptr<pf::IShellFolder> Folder;       // guarded by Lock
};

TDesktopSlot& DesktopSlot()
{
    static TDesktopSlot slot;
    return slot;
}

} // namespace

std::optional<pf::IdListBytes> TShellWin32::PathToItemIdList(const pf::IShellFolderPtr& pFolder,
                                                             const QString& pPath,
                                                             pf::WindowRef pWindow,
                                                             TPathStyle pStyle)
{
    if (pPath.isEmpty())
        return MyComputerList();
    QString path = pPath;
    if (pStyle == TPathStyle::psWindows && path.size() == 2 && path[1] == u':' &&
        path[0].isLetter())
        path += u'\\';

    const pf::IShellFolderPtr desktop = GetDesktopFolder();
    // With a folder or a window the window may answer logon prompts; without, the desktop
    // parses alone (both of the platform's plain path conversions end there).
    if (auto list = Parse(pFolder ? pFolder : desktop, pWindow, nullptr, path))
        return list;
    // "shell:" names a place of the namespace by its parsing name; the desktop here knows the
    // names without the prefix.
    static const QLatin1String kShell("shell:");
    if (!pFolder && path.startsWith(kShell, Qt::CaseInsensitive)) {
        if (auto list = Parse(desktop, pWindow, nullptr, path.mid(kShell.size())))
            return list;
    }
    if (auto list = VolumeGuidPathToItemIdList(path))
        return list;
    if (!path.contains(TPathUtils::Delimiter(pStyle)))
        return std::nullopt;
    const std::optional<pf::BindContext> bind = FileSystemBindContext(path);
    if (!bind)
        return std::nullopt;
    return Parse(desktop, nullptr, &*bind, path);
}

pf::IdListBytes TShellWin32::VolumeItem(const pf::Guid& pVolume)
{
    constexpr std::size_t kSize = 41;
    pf::IdListBytes item(kSize, 0);
    item[0] = static_cast<std::uint8_t>(kSize & 0xFF);
    item[1] = static_cast<std::uint8_t>(kSize >> 8);
    item[2] = 0x21;
    pVolume.ToBytes(item.data() + 25);
    return item;
}

std::optional<pf::IdListBytes> TShellWin32::VolumeGuidPathToItemIdList(const QString& pPath)
{
    static const QLatin1String kPrefix("\\\\?\\volume{");
    if (!pPath.startsWith(kPrefix, Qt::CaseInsensitive))
        return std::nullopt;
    constexpr qsizetype kGuidLength = 38; // "{8-4-4-4-12}"
    const qsizetype open = kPrefix.size() - 1;
    const std::optional<pf::Guid> volume =
        pf::Guid::FromString(QStringView(pPath).mid(open, kGuidLength));
    if (!volume)
        return std::nullopt;
    const std::optional<pf::IdListBytes> drives = MyComputerList();
    if (!drives)
        return std::nullopt;
    const pf::IdListBytes item = VolumeItem(*volume);
    pf::IdListBytes list = pf::idl::Append(pf::IdSpan(*drives), pf::IdItem(item));
    // The rest begins at the second character after "}" (past the delimiter).
    const QString rest = pPath.mid(open + kGuidLength + 1);
    if (rest.isEmpty())
        return list;
    pf::IShellFolderPtr volumeFolder;
    if (pf::Failed(pf::Platform().Namespace().BindToFolder(pf::IdSpan(list), volumeFolder)) ||
        !volumeFolder)
        return std::nullopt;
    const IItemIdListPtr inside = TKivItemIdList::Create(rest, volumeFolder);
    const TIdListBuffer relative =
        (inside && !inside->IsInvalid()) ? inside->WindowsPointer() : nullptr;
    if (!relative)
        return std::nullopt;
    return pf::idl::Combine(pf::IdSpan(list), pf::IdSpan(*relative));
}

pf::IShellFolderPtr TShellWin32::GetDesktopFolder()
{
    pf::IPlatform& platform = pf::Platform();
    const std::uint64_t generation = pf::PlatformGeneration();
    TDesktopSlot& slot = DesktopSlot();
    {
        const std::scoped_lock lock(slot.Lock);
        if (slot.Generation == generation) {
            if (pf::IShellFolderPtr stored = slot.Folder.lock())
                return stored;
        }
    }
    // Asked outside the lock: the platform may take its time, and a second thread asking at the
    // same moment only loses its answer below.
    pf::IShellFolderPtr desktop = platform.Namespace().Desktop();
    if (!desktop)
        throw EWayfoldError(pf::E_FAIL, QStringLiteral("Wayfold Components: Cannot open Shell!"));
    const std::scoped_lock lock(slot.Lock);
    if (slot.Generation == generation) {
        if (pf::IShellFolderPtr stored = slot.Folder.lock())
            return stored;
    }
    slot.Generation = generation;
    slot.Folder = desktop;
    return desktop;
}

std::optional<pf::BindContext> TShellWin32::FileSystemBindContext(const QString& pPath)
{
    pf::FindData data;
    if (pf::Failed(pf::Platform().FileSystem().GetFindData(pPath, data)))
        return std::nullopt;
    pf::BindContext bind;
    bind.FileSystemBindData = data;
    return bind;
}

namespace {

std::mutex gAuthenticatorLock;
TShellWin32::TAuthenticator gAuthenticator;

bool AskAuthenticator(const QString& pPath, bool pInteractive)
{
    TShellWin32::TAuthenticator authenticator;
    {
        std::lock_guard lock(gAuthenticatorLock);
        authenticator = gAuthenticator;
    }
    return authenticator && authenticator(pPath, pInteractive);
}

// Failures of the free-space question that credentials may cure.
bool MayNeedCredentials(pf::HResult pResult)
{
    constexpr pf::HResult kLockedVolume = pf::MakeHResult(0x80310000u);
    if (pResult == kLockedVolume)
        return true;
    if ((static_cast<std::uint32_t>(pResult) & 0xFFFF0000u) != 0x80070000u)
        return false;
    switch (pf::HResultCode(pResult)) {
    case pf::win32::ERROR_LOGON_FAILURE:
    case pf::win32::ERROR_CANT_ACCESS_FILE:
    case pf::win32::ERROR_PATH_NOT_FOUND:
    case pf::win32::ERROR_BAD_NETPATH:
    case pf::win32::ERROR_ACCESS_DENIED:
        return true;
    default:
        return false;
    }
}

pf::HResult AskFreeSpace(const QString& pPath)
{
    std::uint64_t freeToCaller = 0;
    std::uint64_t total = 0;
    std::uint64_t totalFree = 0;
    return pf::Platform().FileSystem().GetDiskFreeSpace(pPath, freeToCaller, total, totalFree);
}

} // namespace

void TShellWin32::SetAuthenticator(TAuthenticator pAuthenticator)
{
    std::lock_guard lock(gAuthenticatorLock);
    gAuthenticator = std::move(pAuthenticator);
}

bool TShellWin32::IsDriveAvailable(const QString& pPath, bool pInteractive, TPathStyle pStyle)
{
    if (pStyle == TPathStyle::psWindows && pPath.startsWith(QLatin1String("\\\\")))
        return true;
    const pf::HResult result = AskFreeSpace(pPath);
    pf::IPlatform& platform = pf::Platform();
    const bool adminOnNetworkLetter =
        pf::Succeeded(result) && TPathUtils::StartsWithDriveLetter(pPath, pStyle) &&
        platform.FileSystem().GetDriveType(pPath) == pf::DriveType::Remote &&
        platform.Info().IsUserAdmin();
    if (pf::Succeeded(result) && !adminOnNetworkLetter)
        return true;
    if (!MayNeedCredentials(result) && !adminOnNetworkLetter)
        return false;
    // A prompt belongs to the user-interface thread only.
    const QCoreApplication* app = QCoreApplication::instance();
    const bool interactive = pInteractive && app && QThread::currentThread() == app->thread();
    if (interactive) {
        if (!AskAuthenticator(pPath, true))
            return pf::Succeeded(result);
        return pf::Succeeded(AskFreeSpace(pPath));
    }
    return pf::Succeeded(result) || result == pf::HResultFromWin32(pf::win32::ERROR_LOGON_FAILURE);
}

QString TShellWin32::LoadResourceString(pf::StringModule pModule, int pId, const QString& pFallback)
{
    QString text;
    if (pf::Platform().Info().LoadString(pModule, pId, text))
        return text;
    TDebugLog::LogMessage(
        QStringLiteral("[Warning] Resource string with ID %1 does not exist in %2")
            .arg(pId)
            .arg(ModuleName(pModule)));
    return pFallback;
}

TShellStartup TShellWin32::LoadStartup()
{
    using M = pf::StringModule;
    TShellStartup startup;
    startup.Profile = pf::Platform().Info().Profile();
    TShellTexts& t = startup.Texts;
    t.InFolder = LoadResourceString(M::Shell32, 8977, QStringLiteral("In Folder"));
    // The new-folder name moved between table versions: the newer number first, quietly.
    QString newFolder;
    if (pf::Platform().Info().LoadString(M::Shell32, 30320, newFolder))
        t.NewFolder = newFolder;
    else
        t.NewFolder = LoadResourceString(M::Shell32, 30396, QStringLiteral("New Folder"));
    t.CannotCreateFolder = LoadResourceString(M::Shell32, 6437, QString());
    t.DesktopItemName1 = LoadResourceString(M::Shell32, 4161, QString());
    t.DesktopItemName2 = LoadResourceString(M::Shell32, 32012, QString());
    if (startup.Profile.Win10OrLater) {
        const QStringList pieces =
            LoadResourceString(M::ExplorerFrame, 12624, QString()).split(u'|');
        t.Refresh =
            pieces.size() > 3 && !pieces[3].isEmpty() ? pieces[3] : QStringLiteral("Refresh");
    } else {
        t.Refresh = LoadResourceString(M::Shell32, 5268, QStringLiteral("Refresh"));
    }
    t.NoPreviewAvailable = LoadResourceString(M::Shell32, 38246, QString());
    t.NoSearchResults = LoadResourceString(M::Shell32, 13333, QString());
    t.ErrorTitle = LoadResourceString(M::Shell32, 51248, QString());
    t.SearchInProgress = LoadResourceString(M::ExplorerFrame, 41480, QString());
    t.ViewMenu = LoadResourceString(M::Shell32, 33585, QStringLiteral("View"));
    t.Thumbnails = LoadResourceString(M::Shell32, 33577, QStringLiteral("Thumbnails")).remove(u'|');
    t.Content = LoadResourceString(M::Shell32, 31138, QStringLiteral("Content"));
    t.ListView = LoadResourceString(M::Shell32, 33579, QStringLiteral("List"));
    t.DetailsView = LoadResourceString(M::Shell32, 33580, QStringLiteral("Details"));
    t.SortBy = LoadResourceString(M::Shell32, 50690, QStringLiteral("Sort by:"));
    t.Paste = LoadResourceString(M::Shell32, 33562, QStringLiteral("Paste"));
    t.Properties = LoadResourceString(M::Shell32, 33555, QStringLiteral("Properties"));
    t.NewMenu = LoadResourceString(M::Shell32, 30315, QStringLiteral("New"));
    t.NewFolderItem = LoadResourceString(M::Shell32, 30317, QStringLiteral("New folder"));
    t.Shortcut = LoadResourceString(M::Shell32, 30318, QStringLiteral("Shortcut"));
    return startup;
}

const TShellStartup& TShellWin32::Startup()
{
    static const TShellStartup startup = LoadStartup();
    return startup;
}

} // namespace kiv

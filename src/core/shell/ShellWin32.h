#pragma once

// The platform side of the family that core can keep portable: converting paths into binary
// lists (the parsing fallbacks, volume-GUID paths, paths that must not touch the disk), the
// process-wide desktop folder, the file-system bind data, and the start-up values the family
// takes from the platform once (version flags and localized texts with their fallbacks).
//
// Every operation is thread-safe. Parsing may touch the disk: callers keep it off the
// user-interface thread for places on network mounts.

#include "core/platform/FindData.h"
#include "core/platform/IInfo.h"
#include "core/platform/IShellFolder.h"
#include "core/platform/IdList.h"
#include "core/shell/PathUtils.h"

#include <QString>

#include <functional>
#include <optional>

namespace kiv {

// The localized texts the family takes from the platform's string tables, each with the
// family's own text where the table has none.
struct TShellTexts
{
    QString InFolder;           // Shell32 8977
    QString NewFolder;          // Shell32 30320, else 30396
    QString CannotCreateFolder; // Shell32 6437
    QString DesktopItemName1;   // Shell32 4161
    QString DesktopItemName2;   // Shell32 32012
    QString Refresh;            // ExplorerFrame 12624 (4th "|" piece) on Windows 10, else 5268
    QString NoPreviewAvailable; // Shell32 38246
    QString NoSearchResults;    // Shell32 13333
    QString ErrorTitle;         // Shell32 51248
    QString SearchInProgress;   // ExplorerFrame 41480
    // The folder background menu.
    QString ViewMenu;      // Shell32 33585
    QString Thumbnails;    // Shell32 33577, every "|" removed
    QString Content;       // Shell32 31138
    QString ListView;      // Shell32 33579
    QString DetailsView;   // Shell32 33580
    QString SortBy;        // Shell32 50690
    QString Paste;         // Shell32 33562
    QString Properties;    // Shell32 33555
    QString NewMenu;       // Shell32 30315
    QString NewFolderItem; // Shell32 30317
    QString Shortcut;      // Shell32 30318
};

// The version flags and texts the family decides by, taken once.
struct TShellStartup
{
    pf::OsProfile Profile;
    TShellTexts Texts;
};

class TShellWin32
{
public:
    // The absolute list of pPath, or nullopt:
    // 1. the empty path is This PC (My Computer);
    // 2. in the Windows style "X:" becomes "X:\" (a drive, not the drive's current folder);
    // 3. (the host shows no critical-error dialogs, so nothing is switched off around parsing);
    // 4./5. the folder (the desktop when none) parses the path, with the window for logon
    //    prompts; without a folder the "shell:" prefix is dropped when the desktop does not
    //    know it;
    // 6. otherwise a volume-GUID path is converted;
    // 7. otherwise a path with a delimiter whose entry exists is parsed with its find data, so
    //    folders on the way that cannot be listed do not stop it.
    static std::optional<pf::IdListBytes> PathToItemIdList(const pf::IShellFolderPtr& pFolder,
                                                           const QString& pPath,
                                                           pf::WindowRef pWindow = nullptr,
                                                           TPathStyle pStyle = kHostPathStyle);

    // "\\?\Volume{GUID}\rest": the volume item below This PC, with rest parsed inside it;
    // nullopt for other paths, an unreadable GUID, or a rest that names nothing.
    static std::optional<pf::IdListBytes> VolumeGuidPathToItemIdList(const QString& pPath);
    // The 41-byte item of a volume (count, kind 0x21, 22 zero bytes, the GUID's 16 bytes).
    static pf::IdListBytes VolumeItem(const pf::Guid& pVolume);

    // The desktop folder of the installed platform, asked once per platform and kept (the first
    // answer wins when threads race). Raises EWayfoldError "Wayfold Components: Cannot open
    // Shell!" when the platform has none.
    static pf::IShellFolderPtr GetDesktopFolder();

    // The find data of an existing entry, for parsing it without touching the disk again;
    // nullopt when the entry cannot be read.
    static std::optional<pf::BindContext> FileSystemBindContext(const QString& pPath);

    // Whether the drive (the mount) holding pPath can be used. A server path in the Windows
    // style ("\\server\share") is; otherwise the free-space question decides. When it fails
    // for a reason credentials may cure (wrong logon, no access, a locked volume, a path or
    // network name not found), or the user is an administrator on a network drive letter, an
    // interactive caller (pInteractive on the user-interface thread) asks the authenticator and
    // on success asks again; otherwise only a logon failure counts as available: the place is
    // there and only wants credentials.
    static bool IsDriveAvailable(const QString& pPath, bool pInteractive,
                                 TPathStyle pStyle = kHostPathStyle);
    // The prompt for a location's credentials (the user interface installs it; none: the
    // prompt fails).
    using TAuthenticator = std::function<bool(const QString& pPath, bool pInteractive)>;
    static void SetAuthenticator(TAuthenticator pAuthenticator);

    // A numbered text of the platform, or pFallback with the debug line "[Warning] Resource
    // string with ID %d does not exist in %s" when the table has none.
    static QString LoadResourceString(pf::StringModule pModule, int pId, const QString& pFallback);
    // Reads the start-up values from the installed platform (every call asks again).
    static TShellStartup LoadStartup();
    // The values of the first call, for the rest of the process.
    static const TShellStartup& Startup();
};

} // namespace kiv

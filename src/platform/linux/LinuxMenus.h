#pragma once

#include "core/platform/IContextMenu.h"
#include "core/platform/IDataObject.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace kiv::pf::lnx {

// The context menus of the Linux namespace: the item menu (Open with the default application,
// Open with ▸, Open in Terminal, Cut, Copy, Paste, Create Link, Delete to the trash, Rename,
// Copy as Path, Compress to ZIP, Extract all (ZIP files), Properties; Restore and Delete
// Permanently for trash entries; Empty Trash for the trash) and the background menu of a folder
// (Paste, Paste Link, New ▸ with a folder and the user's templates, Open in Terminal, Refresh,
// Properties). Applications start with the argument vector their desktop entry's Exec line gives,
// never through a shell.
//
// Invoked with cmic::ASYNCOK, the slow verbs (delete, restore, empty, paste) run on a worker of
// the menus and InvokeCommand answers at once; their failures go to TMenuHooks::ReportError and
// the debug output. Without it they run on the caller's thread, except "zip" and "extractall":
// an archive can take minutes, so invoked on the user-interface thread they always go to the
// worker.

// What the menus leave to the user interface and to the file operation engine. Set at start-up
// on the user-interface thread; the functions are called on the thread that invokes a verb,
// ReportError on any thread.
struct TMenuHooks
{
    // "openas": lets the user choose an application for pPaths (of pMimeType).
    std::function<HResult(const QStringList& pPaths, const QString& pMimeType)> ChooseApplication;
    // "properties": the properties dialog of the items (absolute lists).
    std::function<HResult(const std::vector<IdListBytes>& pItems)> ShowProperties;
    // "paste": copies or moves pSources into pTargetFolder. Unset: the file operation engine
    // without questions (never overwriting: a copy onto a taken name gets a new name, a move onto
    // a taken name fails for that item).
    std::function<HResult(const QStringList& pSources, const QString& pTargetFolder, bool pMove)>
        Transfer;
    // "delete" and "empty" without cmic::FLAG_NO_UI: whether the user agrees to delete pPaths
    // (empty: everything in the trash); pForGood when they cannot be restored. Unset: no
    // question. Refused: the verb answers ERROR_CANCELLED and nothing is deleted.
    std::function<bool(const QStringList& pPaths, bool pForGood)> ConfirmDelete;
    // A verb that ran in the background failed.
    std::function<void(const QString& pVerb, HResult pResult)> ReportError;
};

void SetMenuHooks(TMenuHooks pHooks);
// The hooks set now.
TMenuHooks MenuHooks();

// Waits until the verbs running in the background are done (tests, shutdown). On the
// user-interface thread its events go on meanwhile, so a verb waiting for an answer there (a
// question of the file operation engine) can finish.
void WaitForMenuWork();

// Reads the applications index on the menus' worker (start-up), so that the first "Open with"
// does not read the applications folders on the user-interface thread. A menu built before it is
// done waits for it at most a quarter of a second; past that, that one menu offers no
// applications under "Open with" (only "Choose Another Application…") and "Open" hands files to
// the system's opener.
void StartWarmingMenus();

// Starts the installed application pAppId (a desktop-file id) for pPaths, as "Open with" does.
HResult OpenWithApplication(const std::string& pAppId, const QStringList& pPaths);

// The menu of items given by absolute lists; fails when a list names nothing.
HResult CreateItemMenu(std::vector<IdListBytes> pItems, IContextMenuPtr& pMenu);
// The background menu of the folder given by its absolute list.
HResult CreateFolderBackgroundMenu(IdListBytes pFolder, IContextMenuPtr& pMenu);
// The items in transfer form: dropped files (those with a path), item lists, the effect.
IDataObjectPtr CreateDataObject(const std::vector<IdListBytes>& pItems,
                                std::uint32_t pEffect = DROPEFFECT_COPY);

} // namespace kiv::pf::lnx

#pragma once

// TWayfold: the non-visual component through which every control reads a shell folder. It holds a
// current folder and a current object inside it, enumerates the folder's children one at a time
// (skipping what FileSystemOnly and the filter leave out), answers the current object's names,
// attributes, size and date, and renames, browses into and selects objects. The list and the tree
// keep one per folder they show; the parser of item identifier lists uses short-lived ones to
// search a folder by name.
//
// Ownership and threads: a component belongs to the thread that uses it (usually the
// user-interface thread) and is not shared. A background enumeration (Next with a change
// notifier) runs on a work item that owns its own copy of the component; the component only
// keeps the work item to cancel it, which a new Next and the destructor do.
//
// Per-object answers (attributes, find data, size, date) come from the snapshot the folder took
// when it listed the object: enumerating and reading them adds no system call per object.

#include "core/platform/FindData.h"
#include "core/platform/HResult.h"
#include "core/platform/IContextMenu.h"
#include "core/platform/IShellFolder.h"
#include "core/platform/IdList.h"
#include "core/shell/FolderColumns.h"
#include "core/shell/ItemIdListCollection.h"
#include "core/shell/KivSet.h"
#include "core/shell/KivShellTypes.h"
#include "core/shell/ShellControlHelper.h"
#include "core/threading/ThreadingTypes.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace kiv {

class TKivShellChangeNotifier;
class IThumbnailImage;

// The answer of Next with a change notifier.
enum class TEnumResult
{
    sbnNoMoreItems,
    sbnOK,
    // The folder is listed in the background: its objects arrive through the notifier.
    sbnAsync,
};

// The cached answer of HasSubFolders.
enum class THasSubFolders
{
    hsfUnknown,
    hsfYes,
    hsfNo,
};

// The views' option set; the component reads it in ShowObjectAccordingShowOptions.
enum class TKivShellShowOption
{
    soShowNethood,
    soShowRecycleBin,
    soShowErrorMessages,
    soShowHidden,
    soShowFiles,
    soShowContextMenuOnTop,
    soColorCompressed,
    soColorEncrypted,
    soFileSystemOnly,
    soNoFillOnStartup,
    soShowShellNames,
};
using TKivShellShowOptions = TSet<TKivShellShowOption>;

class TWayfold
{
public:
    using TRenameEvent = std::function<void(TWayfold& pSender)>;
    // A command of the component's context menu is about to run; clear pExecute to stop it.
    using TContextMenuSelectEvent =
        std::function<void(TWayfold& pSender, const QString& pCommand, bool& pExecute)>;
    // A shell verb is about to run on pItemCount objects; clear pExecute to stop it.
    using TBeforeShellCommandEvent =
        std::function<void(void* pSender, const QString& pVerb, bool& pExecute, int pItemCount)>;

    // Receives what BeforeInvokeCommand is given; set Cancel to stop the command.
    using TBeforeCommandEvent = std::function<void(void* pSender, TBeforeCommandEventArgs& pArgs)>;

    // "Filter" reads this when no pattern is set.
    static constexpr const char* kMatchAll = "*";
    // The flags of every enumeration: folders, other objects, hidden and super-hidden ones.
    static constexpr std::uint32_t kEnumFlags = 0x100E0;
    // Added for a navigation pane (the tree).
    static constexpr std::uint32_t kNavigationEnumFlag = 0x1000;

    // Create(Owner): no folder, no object, error messages shown.
    TWayfold();
    ~TWayfold();
    TWayfold(const TWayfold&) = delete;
    TWayfold& operator=(const TWayfold&) = delete;

    // Create(CopyFrom): a fresh component with pSource's options, filter, folder and events (not
    // its object nor its enumeration).
    static std::unique_ptr<TWayfold> CreateCopy(const TWayfold& pSource);
    // Create(ObjectPath): the object the text names (Parse of the item identifier lists).
    static std::unique_ptr<TWayfold> CreateForPath(const QString& pObjectPath);
    // Create(AbsoluteList).
    static std::unique_ptr<TWayfold> CreateForList(const IItemIdListPtr& pAbsoluteList);

    QString Version() const;

    // ---- the owner (the platform component base) ----
    // The window platform prompts belong to (log-on dialogs); null: none.
    pf::WindowRef OwnerWindow() const { return fOwnerWindow; }
    void SetOwnerWindow(pf::WindowRef pWindow) { fOwnerWindow = pWindow; }
    // Who events name as their sender in BeforeInvokeCommand (the owning control); null: this.
    void* Owner() const { return fOwner; }
    void SetOwner(void* pOwner) { fOwner = pOwner; }
    // While the owner loads its settings, SpecialFolder := SF_FILESYSTEMFOLDER is ignored.
    bool Loading() const { return fLoading; }
    void SetLoading(bool pLoading) { fLoading = pLoading; }

    // ---- the folder ----
    IItemIdListPtr FolderIdList() const { return fFolderIdList; }
    // Null clears the folder; an invalid list (or a path below a search location, unless
    // AcceptSearchFolderPaths) raises EWayfoldError code 3.
    void SetFolderIdList(const IItemIdListPtr& pList);
    // The folder bound as a platform folder, bound on first use; raises EWayfoldError when the
    // folder cannot be bound (not even through its link target).
    pf::IShellFolderPtr ShellFolder();
    void SetShellFolder(const pf::IShellFolderPtr& pFolder);
    // The folder's path with a trailing delimiter; empty without folder.
    QString Folder() const;
    // A path; the empty path is This PC.
    void SetFolder(const QString& pValue);
    TKivShellFolder SpecialFolder() const;
    void SetSpecialFolder(TKivShellFolder pValue);

    // ---- the current object ----
    // The object relative to the folder (one item); InvalidItemIdList when none.
    IItemIdListPtr ItemIdList() const;
    void SetItemIdList(const IItemIdListPtr& pList);
    // Folder + object (the folder alone without object); cached until the object changes.
    IItemIdListPtr AbsoluteItemIdList() const;
    void SetAbsoluteItemIdList(IItemIdListPtr pList);
    QString ObjectName() const;
    void SetObjectName(const QString& pName);
    QString FullPath() const;
    void SetFullPath(const QString& pPath) { SetObjectName(pPath); }
    TKivShellFolder SpecialObject() const;
    void SetSpecialObject(TKivShellFolder pValue);
    QString GetShellObjectName(bool pInFolder) const;
    // The folder's name of the object in a shgdn:: form (from the object's own bytes); empty
    // without object or when the folder has none.
    QString GetObjectDisplayName(std::uint32_t pShgdn) const;

    // ---- enumeration ----
    // The next object that passes FileSystemOnly and the filter becomes current; false at the
    // end (the enumeration is dropped, the next call starts again).
    bool Next();
    // Cancels this component's running background enumeration, then lists synchronously or,
    // when the folder is slow (ShouldEnumerateAsync), in the background through pNotifier's
    // OnChangePIDL (sbnAsync).
    TEnumResult Next(TKivShellChangeNotifier* pNotifier);
    // Drops the running enumeration (the next Next starts again).
    void ResetEnumeration();
    // Cancels the background enumeration this component started, if one runs.
    void CancelBackgroundEnumeration() noexcept;
    // The running background enumeration; null when none.
    IWorkItemPtr ShellFolderEnumeratorWorkItem() const { return fShellFolderEnumeratorWorkItem; }

    // ---- answers about the current object ----
    // The sfgao:: bits of pMask the object has; 0 without a valid object. BROWSABLE is computed.
    std::uint32_t GetAttributes(std::uint32_t pMask) const;
    bool IsFolder() const;
    bool IsHidden() const;
    bool IsLink() const;
    bool IsDrive() const;
    bool IsFileSystemFolder() const;
    bool IsBrowsable() const;
    bool HasSubFolders();
    bool CheckIfValid(bool pFolderOnly) const;
    bool CanRename() const;
    // The object's snapshot (name, attributes, size, write time) as its folder took it; false
    // for objects that are not files or folders of a file system.
    bool GetFindData(pf::FindData& pData) const;
    // The size in bytes, -1 when unknown.
    std::int64_t GetFileSize() const;
    // The last write time (local), invalid when unknown.
    QDateTime GetLastChangeDate() const;
    int IconNumber() const;
    int SelectedIconNumber() const;
    int GetOverlayIndex() const;
    // The folder's tool tip for the object; a folder without tips gets "Type", "Size" and
    // "Date modified" lines as its columns give them.
    QString GetInfoTip(bool pUseSlowInfoTip) const;
    bool ShowObjectAccordingShowOptions(TKivShellShowOptions pOptions) const;

    // ---- actions ----
    void SelectParent();
    bool BrowseObject();
    // Renames the object; pName receives the new in-folder name.
    pf::HResult RenameObject(QString& pName);
    // Watches MultiObjects, else the object, else the folder.
    void CopyTo(TKivShellChangeNotifier& pNotifier) const;
    // OnBeforeShellCommand (verb and number of items), then OnBeforeCommand; whether the command
    // may run (Cancel left clear).
    bool BeforeInvokeCommand(TBeforeCommandEventArgs& pArgs);
    // Runs pCommand on the selected objects (MultiObjects), else on the current object, once
    // OnContextMenuSelect and BeforeInvokeCommand let its verb run; false when they refused.
    // Failures of the command raise.
    bool InvokeCommand(const TShellCommand& pCommand);
    // Runs pCommand (an empty verb: the default command) as the context menu of the selection,
    // else of the current object, would, without showing a menu, once OnContextMenuSelect and
    // BeforeInvokeCommand allow it. "default" with selected objects opens each; "copypath" puts
    // the paths on the clipboard; "explore" opens the folders holding the objects (once when
    // they share a folder); "cmd" opens a terminal in the object's folder (false where there is
    // no folder path); "rename" goes to OnRename; any other verb runs through the platform's
    // menu. False for "delete" of an object that cannot be deleted, a refused command, or a
    // menu command that failed (its result in LastCommandResult). MultiObjects is cleared at
    // the end. Any thread (the clipboard verbs: the user-interface thread).
    bool InvokeContextMenuCommand(const TShellCommand& pCommand);
    // Runs the default command of each object of the folder named in pPaths, in turn, through
    // a temporary copy of this component (same folder and events); true.
    bool InvokeDefaultContextMenuCommand(const QStringList& pPaths);
    // The result of the last menu command InvokeContextMenuCommand ran.
    pf::HResult LastCommandResult() const { return fLastCommandResult; }
    // The platform's object for the selected objects, else for the current object: a
    // pf::IContextMenu (uoContextMenu, made by the folder) or a pf::IDataObject. Raises
    // EInvalidOperation without a valid object and EWayfoldError when the folder refuses.
    std::shared_ptr<void> GetUIObject(TUIObjectKind pKind) const;

    // ---- the context menu of the object or selection ----
    // The platform's entries in a menu merged with the application's take ids 1 to 255; the
    // application's own entries keep theirs, so an id outside tells them apart.
    static constexpr std::uint32_t kShellMenuIdFirst = 1;
    static constexpr std::uint32_t kShellMenuIdLast = 255;
    static bool IsShellMenuId(std::uint32_t pId)
    {
        return pId >= kShellMenuIdFirst && pId <= kShellMenuIdLast;
    }
    // Up to this many selected objects get the menu of them all; beyond it the menu is made
    // for the first kQuickMenuObjects only (a menu of thousands of items takes seconds) and the
    // chosen entry is looked up by caption in the menu of all of them when it runs.
    static constexpr int kMaxFullMenuObjects = 160;
    static constexpr int kQuickMenuObjects = 16;
    // Where the platform's entries go among pAppItemCount application entries: first with
    // ShowContextMenuOnTop, else right after the anchor entry (pAnchorIndex, -1: none), else
    // after the last one.
    int ShellMenuInsertPosition(int pAnchorIndex, int pAppItemCount) const;
    // What the platform menu is asked for: explorer entries, Rename when someone handles
    // OnRename, the extended verbs while Shift is down.
    std::uint32_t ContextMenuQueryFlags(bool pShiftDown) const;
    // The context menu of the selection (else the object) with its entries put into pModel at
    // pIndex; null when no menu could be obtained or prepared (platform failures are kept in).
    // The menu stays the active one until EndContextMenu.
    pf::IContextMenuPtr PrepareContextMenu(pf::MenuModel& pModel, int pIndex, bool pShiftDown);
    // Runs the entry pId of pMenu (prepared by PrepareContextMenu) once OnContextMenuSelect and
    // the before-command check (pBeforeCommand, else BeforeInvokeCommand) allow its verb; a
    // read-only component refuses "delete", "cut" and "paste". "rename" goes to OnRename;
    // "properties" of the object, and "open" and "copy" of several selected objects, run as
    // commands of the object or the selection; the rest through the menu. pOwner is the window
    // the command's prompts belong to. Answers the verb that ran, "" when none did. Failures of
    // the command raise.
    QString RunContextMenuEntry(pf::IContextMenu& pMenu, std::uint32_t pId, pf::WindowRef pOwner,
                                const TBeforeCommandFunc& pBeforeCommand = {});
    // The folder's background menu with its entries put into pModel at pIndex (ids 1 to 255);
    // null when the folder has none or it could not be prepared. Active until EndContextMenu.
    pf::IContextMenuPtr PrepareBackgroundMenu(pf::MenuModel& pModel, int pIndex,
                                              pf::WindowRef pOwner);
    // Runs the entry pId of a background menu; answers its verb (entries without one: "refresh"
    // for 6, "thumbnails" for 19, else the id as text), "" when the command failed or was
    // refused (a read-only component refuses "delete", "cut" and "paste" here too).
    QString RunBackgroundMenuEntry(pf::IContextMenu& pMenu, std::uint32_t pId,
                                   pf::WindowRef pOwner);
    // The menu prepared last, while it is shown; null otherwise.
    const pf::IContextMenuPtr& ActiveContextMenu() const { return fActiveContextMenu; }
    // The menu closed: the active menu is dropped, and the selection (MultiObjects) with it
    // unless pDropSelection is false (the background menu leaves the selection alone).
    void EndContextMenu(bool pDropSelection = true);
    // The platform dialog that connects a network drive; this host has none (false).
    bool ShowNetConnectionDialog() const;

    // ---- columns of the folder (texts and values of the current object) ----
    // The column answers of the current folder, made with the folder already bound; an object
    // whose answers are empty without folder.
    const TFolderColumns& Columns() const;
    // Column 0 of an object is its in-folder name; with pHeader the column's title.
    QString GetColumnText(int pColumnIndex, bool pHeader) const;
    QString GetColumnText(const TShellColumnId& pId, bool pHeader,
                          QVariant* pValue = nullptr) const;
    QVariant GetColumnValue(const TShellColumnId& pId) const;
    TShellColumnId GetShColumnIdFromColumnNumber(int pColumnNumber) const;
    int GetIndexOfShColumnId(const TShellColumnId& pId) const;
    TAlignment GetColumnInfo(int pColumn, int& pWidth) const;
    // Raises EInvalidOperation without a valid folder.
    TColumnInfo GetColumnInfo(int pIndex) const;
    std::uint32_t GetDefaultColumnState(int pColumn) const;
    int GetSortColumn() const { return 0; }

    // ---- thumbnails of the object ----
    bool GetThumbnailImage(IThumbnailImage& pImage) const;
    QImage GetThumbnailBitmap(int pWidth, int pHeight, bool pIconInstead,
                              const QColor& pBackgroundColor) const;
    // Who draws a picture when the platform has no thumbnail (process-wide).
    static void SetThumbnailProvider(
        std::function<void(const QString& pPath, int pWidth, int pHeight, QImage& pBitmap)>
            pProvider);

    // ---- filter ----
    QString Filter() const;
    void SetFilter(const QString& pValue);
    const QStringList& FilterPatterns() const { return fFilter; }
    bool FilterMatch() const;

    // ---- options ----
    bool FileSystemOnly() const { return fFileSystemOnly; }
    void SetFileSystemOnly(bool pValue) { fFileSystemOnly = pValue; }
    bool ShowErrorMessages() const { return fShowErrorMessages; }
    void SetShowErrorMessages(bool pValue) { fShowErrorMessages = pValue; }
    bool ShowContextMenuOnTop() const { return fShowContextMenuOnTop; }
    void SetShowContextMenuOnTop(bool pValue) { fShowContextMenuOnTop = pValue; }
    bool ForNavigation() const { return fForNavigation; }
    void SetForNavigation(bool pValue) { fForNavigation = pValue; }
    bool ReadOnly() const { return fReadOnly; }
    void SetReadOnly(bool pValue) { fReadOnly = pValue; }
    bool AsyncContextMenuOperations() const { return fAsyncContextMenuOperations; }
    void SetAsyncContextMenuOperations(bool pValue) { fAsyncContextMenuOperations = pValue; }
    bool AcceptSearchFolderPaths() const { return fAcceptSearchFolderPaths; }
    void SetAcceptSearchFolderPaths(bool pValue) { fAcceptSearchFolderPaths = pValue; }
    pf::WindowRef ContextMenuCallbackWnd() const { return fContextMenuCallbackWnd; }
    void SetContextMenuCallbackWnd(pf::WindowRef pWindow) { fContextMenuCallbackWnd = pWindow; }
    // Several objects of the folder, made on first use (bound to the shell folder).
    IItemIdListCollection& MultiObjects();
    bool HasMultiObjects() const { return fMultiObjects && fMultiObjects->Count() > 0; }

    // ---- class operations ----
    static int GetDesktopIconIndex();
    static QString GetDesktopName();
    // Environment variables, "%DATE%" (yyyy-mm-dd), "%TIME%" (hh-nn-ss), "%MYDOCUMENTS%" and a
    // leading "~/" (the home folder).
    static QString ExpandPathVariables(const QString& pPath);
    // The path of a special folder (x86 folders fall back to their plain counterparts).
    static QString GetSpecialFolderPath(TKivShellFolder pFolder);

    TRenameEvent OnRename;
    TContextMenuSelectEvent OnContextMenuSelect;
    TBeforeCommandEvent OnBeforeCommand;
    TBeforeShellCommandEvent OnBeforeShellCommand;

    // For the background enumeration's own copy: polled by the platform between entries.
    void SetEnumerationStopToken(std::stop_token pToken) { fEnumerationStop = std::move(pToken); }

private:
    // The window for prompts of this enumeration start (the rules of ShowErrorMessages).
    pf::WindowRef PromptWindow() const;
    bool StartEnumeration();
    // Whether FileSystemOnly leaves the current object out.
    bool SkippedByFileSystemOnly();
    void SetCurrentItem(pf::IdListBytes pItem);
    void ClearObject();
    bool HasObject() const { return fHasItem; }
    // The current object as a view (valid while fItem is unchanged).
    pf::IdSpan ItemSpan() const { return pf::IdSpan(fItem); }
    std::uint32_t FolderAttributesOf(std::uint32_t pMask, bool& pFailed) const;
    QString PhysicalFileName() const;
    bool IsFolderSpecial(TKivShellFolder pFolder) const;
    TKivShellFolder FolderKind() const;
    void DropFolder();
    // The before-command check: OnContextMenuSelect with pVerb, then pBeforeCommand (else
    // BeforeInvokeCommand) with pCommand on the selection, else on the current object.
    bool AllowsCommand(const QString& pVerb, const TShellCommand& pCommand, TCommandSource pSource,
                       const TBeforeCommandFunc& pBeforeCommand = {});
    // The current object (absolute), what commands without selection run on; raises
    // EInvalidOperation when there is none.
    IItemIdListPtr CommandTarget() const;
    // Invokes an entry (by offset) or a verb of pMenu as a context menu command of the
    // selection, else of the object; a platform exception gives E_FAIL.
    pf::HResult InvokeMenuCommand(pf::IContextMenu& pMenu, std::optional<std::uint32_t> pIdOffset,
                                  const QString& pVerb, pf::WindowRef pOwner);
    // The entry pId of a menu made for the first kQuickMenuObjects objects, run on all of them.
    pf::HResult InvokeOnAllObjects(std::uint32_t pId, pf::WindowRef pOwner);
    void SetActiveMenu(const pf::IContextMenuPtr& pMenu, const pf::MenuModel& pModel,
                       bool pFirstObjectsOnly);
    bool ExploreSelection();
    bool OpenTerminal();

    pf::WindowRef fOwnerWindow = nullptr;
    void* fOwner = nullptr;
    bool fLoading = false;

    IItemIdListPtr fFolderIdList;
    pf::IShellFolderPtr fShellFolder;
    // The current object as bytes: the list object is made only when someone asks for it.
    pf::IdListBytes fItem;
    bool fHasItem = false;
    mutable IItemIdListPtr fItemIdList;
    mutable IItemIdListPtr fAbsoluteIdList;
    pf::IEnumIDListPtr fObjects;
    bool fFileSystemOnly = false;
    std::shared_ptr<TItemIdListCollection> fMultiObjects;
    QStringList fFilter;
    bool fReadOnly = false;
    THasSubFolders fHasSubFolders = THasSubFolders::hsfUnknown;
    bool fShowErrorMessages = true;
    bool fShowContextMenuOnTop = false;
    bool fForNavigation = false;
    pf::WindowRef fContextMenuCallbackWnd = nullptr;
    bool fAsyncContextMenuOperations = true;
    IWorkItemPtr fShellFolderEnumeratorWorkItem;
    bool fAcceptSearchFolderPaths = false;
    std::stop_token fEnumerationStop;
    // The menu being shown, its entries, and whether it was made for the first objects only.
    pf::IContextMenuPtr fActiveContextMenu;
    pf::MenuModel fActiveMenuModel;
    bool fActiveMenuFromFirstObjects = false;
    pf::HResult fLastCommandResult = pf::S_OK;
    // The folder's special kind, asked once per folder (the skip rules and the filter ask it for
    // every object).
    mutable std::optional<TKivShellFolder> fFolderKind;
    // The column answers of the folder, made on first use; dropped with the folder.
    mutable std::shared_ptr<const TFolderColumns> fColumns;
    // The folder fColumns was made with (a folder bound later, or another folder list, makes
    // them again).
    mutable pf::IShellFolderPtr fColumnsFolder;
};

} // namespace kiv

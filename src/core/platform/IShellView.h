#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IdList.h"
#include "core/platform/PropVariant.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The folder view of an explorer browser as its host drives it: the shell view (refresh, select,
// the items as a data object), the folder view over it (view mode, items by index, folder flags,
// grouping, sorting, columns) and the column manager; and the callbacks the view makes into the
// host (ICommDlgBrowser). The values of the flag words are the published ones, so that a flag set
// stored by one build means the same in another.
//
// Implementations are widgets: every call is made on the user-interface thread.

namespace kiv::pf {

class IDataObject;
class IColumnManager;

// FOLDERVIEWMODE: how the items are laid out.
namespace fvm {
inline constexpr int AUTO = -1;
inline constexpr int ICON = 1;
inline constexpr int SMALLICON = 2;
inline constexpr int LIST = 3;
inline constexpr int DETAILS = 4;
inline constexpr int THUMBNAIL = 5;
inline constexpr int TILE = 6;
inline constexpr int THUMBSTRIP = 7;
inline constexpr int CONTENT = 8;
} // namespace fvm

// FOLDERFLAGS: the view's behaviour. The ones a view here honours are marked; the others are
// kept and read back.
namespace fwf {
inline constexpr std::uint32_t NONE = 0x0;
inline constexpr std::uint32_t AUTOARRANGE = 0x1; // honoured
inline constexpr std::uint32_t ABBREVIATEDNAMES = 0x2;
inline constexpr std::uint32_t SNAPTOGRID = 0x4;
inline constexpr std::uint32_t OWNERDATA = 0x8;
inline constexpr std::uint32_t BESTFITWINDOW = 0x10;
inline constexpr std::uint32_t DESKTOP = 0x20;
inline constexpr std::uint32_t SINGLESEL = 0x40; // honoured
inline constexpr std::uint32_t NOSUBFOLDERS = 0x80;
inline constexpr std::uint32_t TRANSPARENT = 0x100;
inline constexpr std::uint32_t NOCLIENTEDGE = 0x200;
inline constexpr std::uint32_t NOSCROLL = 0x400;
inline constexpr std::uint32_t ALIGNLEFT = 0x800;
inline constexpr std::uint32_t NOICONS = 0x1000;
inline constexpr std::uint32_t SHOWSELALWAYS = 0x2000;
inline constexpr std::uint32_t NOVISIBLE = 0x4000;
inline constexpr std::uint32_t SINGLECLICKACTIVATE = 0x8000; // honoured
inline constexpr std::uint32_t NOWEBVIEW = 0x10000;
inline constexpr std::uint32_t HIDEFILENAMES = 0x20000; // honoured
inline constexpr std::uint32_t CHECKSELECT = 0x40000;   // honoured
inline constexpr std::uint32_t NOENUMREFRESH = 0x80000;
inline constexpr std::uint32_t NOGROUPING = 0x100000;    // honoured
inline constexpr std::uint32_t FULLROWSELECT = 0x200000; // honoured
inline constexpr std::uint32_t NOFILTERS = 0x400000;
inline constexpr std::uint32_t NOCOLUMNHEADER = 0x800000;      // honoured
inline constexpr std::uint32_t NOHEADERINALLVIEWS = 0x1000000; // honoured
inline constexpr std::uint32_t EXTENDEDTILES = 0x2000000;
inline constexpr std::uint32_t TRICHECKSELECT = 0x4000000;
inline constexpr std::uint32_t AUTOCHECKSELECT = 0x8000000; // honoured
inline constexpr std::uint32_t NOBROWSERVIEWSTATE = 0x10000000;
inline constexpr std::uint32_t SUBSETGROUPS = 0x20000000;
inline constexpr std::uint32_t USESEARCHFOLDER = 0x40000000;
inline constexpr std::uint32_t ALLOWRTLREADING = 0x80000000;
} // namespace fwf

// The mode and flags a view starts with.
struct FolderSettings
{
    int ViewMode = fvm::DETAILS;
    std::uint32_t Flags = fwf::NONE;
};

// SVSI: what SelectItem does with an item. Callers combine them: 0x419 (keyboard select, ensure
// visible, focus), 0x41D (the same and deselect the others), 0x80000008 (ensure visible without
// changing the selection).
namespace svsi {
inline constexpr std::uint32_t DESELECT = 0x0;
inline constexpr std::uint32_t SELECT = 0x1;
inline constexpr std::uint32_t EDIT = 0x3;
inline constexpr std::uint32_t DESELECTOTHERS = 0x4;
inline constexpr std::uint32_t ENSUREVISIBLE = 0x8;
inline constexpr std::uint32_t FOCUSED = 0x10;
inline constexpr std::uint32_t TRANSLATEPT = 0x20;
inline constexpr std::uint32_t SELECTIONMARK = 0x40;
inline constexpr std::uint32_t POSITIONITEM = 0x80;
inline constexpr std::uint32_t CHECK = 0x100;
inline constexpr std::uint32_t CHECK2 = 0x200;
inline constexpr std::uint32_t KEYBOARDSELECT = 0x401;
inline constexpr std::uint32_t NOTAKEFOCUS = 0x40000000;
inline constexpr std::uint32_t NOSTATECHANGE = 0x80000000;
} // namespace svsi

// SVGIO: which items a call means; one of the first four, optionally in view order.
namespace svgio {
inline constexpr std::uint32_t BACKGROUND = 0x0;
inline constexpr std::uint32_t SELECTION = 0x1;
inline constexpr std::uint32_t ALLVIEW = 0x2;
inline constexpr std::uint32_t CHECKED = 0x3;
inline constexpr std::uint32_t TYPE_MASK = 0xF;
inline constexpr std::uint32_t FLAG_VIEWORDER = 0x80000000;
} // namespace svgio

// Column manager: which columns (CM_ENUM_FLAGS), which fields of a ColumnInfo (CM_MASK), column
// states (CM_STATE) and the special widths.
namespace cm {
inline constexpr std::uint32_t ENUM_ALL = 0x1;
inline constexpr std::uint32_t ENUM_VISIBLE = 0x2;

inline constexpr std::uint32_t MASK_WIDTH = 0x1;
inline constexpr std::uint32_t MASK_DEFAULTWIDTH = 0x2;
inline constexpr std::uint32_t MASK_IDEALWIDTH = 0x4;
inline constexpr std::uint32_t MASK_NAME = 0x8;
inline constexpr std::uint32_t MASK_STATE = 0x10;

inline constexpr std::uint32_t STATE_NONE = 0x0;
inline constexpr std::uint32_t STATE_VISIBLE = 0x1;
inline constexpr std::uint32_t STATE_FIXEDWIDTH = 0x2;
inline constexpr std::uint32_t STATE_NOSORTBYFOLDERNESS = 0x4;
inline constexpr std::uint32_t STATE_ALWAYSVISIBLE = 0x8;

inline constexpr int WIDTH_USEDEFAULT = -1;
inline constexpr int WIDTH_AUTOSIZE = -2;
// Characters of a column name (the record's fixed buffer, terminator included).
inline constexpr int NAME_CAPACITY = 80;
} // namespace cm

// One column as the column manager describes it. Only the fields named in Mask are meant.
struct ColumnInfo
{
    std::uint32_t Mask = 0;
    std::uint32_t State = cm::STATE_NONE;
    // Pixels, or cm::WIDTH_USEDEFAULT / cm::WIDTH_AUTOSIZE when setting.
    int Width = cm::WIDTH_USEDEFAULT;
    int DefaultWidth = 0;
    int IdealWidth = 0;
    // At most cm::NAME_CAPACITY - 1 characters; longer names are cut when stored.
    QString Name;
};

// The order of one sort key: 1 ascending, -1 descending.
struct SortColumn
{
    PropertyKey Key;
    int Direction = 1;
};

// CDBOSC: the state changes a view reports through ICommDlgBrowser::OnStateChange.
namespace cdbosc {
inline constexpr std::uint32_t SETFOCUS = 0;
inline constexpr std::uint32_t KILLFOCUS = 1;
inline constexpr std::uint32_t SELCHANGE = 2;
inline constexpr std::uint32_t RENAME = 3;
inline constexpr std::uint32_t STATECHANGE = 4;
} // namespace cdbosc

// CDB2N: notifications of ICommDlgBrowser::Notify.
namespace cdb2n {
inline constexpr std::uint32_t CONTEXTMENU_DONE = 1;
inline constexpr std::uint32_t CONTEXTMENU_START = 2;
} // namespace cdb2n

// CDB2GVF: the host's answer to GetViewFlags. Hosts answer SHOWALLFILES | NOSELECTVERB (9), or
// NOINCLUDEITEM (16) during searches, when the view must not ask IncludeObject.
namespace cdb2gvf {
inline constexpr std::uint32_t SHOWALLFILES = 0x1;
inline constexpr std::uint32_t ISFILESAVE = 0x2;
inline constexpr std::uint32_t ALLOWPREVIEWPANE = 0x4;
inline constexpr std::uint32_t NOSELECTVERB = 0x8;
inline constexpr std::uint32_t NOINCLUDEITEM = 0x10;
inline constexpr std::uint32_t ISFOLDERPICKER = 0x20;
inline constexpr std::uint32_t ADDSHIELD = 0x40;
} // namespace cdb2gvf

// The view of one folder inside an explorer browser.
class IShellView
{
public:
    virtual ~IShellView() = default;
    // Enumerates the folder again.
    virtual HResult Refresh() = 0;
    // pRelative: an item of the folder (relative list), or null for every item; pFlags: svsi::.
    virtual HResult SelectItem(const IdSpan* pRelative, std::uint32_t pFlags) = 0;
    // The selected items (svgio::SELECTION) or all (svgio::ALLVIEW), optionally in view order,
    // as a data object; E_FAIL when there are none.
    virtual HResult GetItemObject(std::uint32_t pWhich, std::shared_ptr<IDataObject>& pData) = 0;
};

// The shell view's items by index, its modes, flags, grouping and sorting. Indexes count the
// items in view order.
class IFolderView2 : public IShellView
{
public:
    virtual HResult GetCurrentViewMode(int& pMode) = 0;
    virtual HResult SetCurrentViewMode(int pMode) = 0;
    virtual HResult GetViewModeAndIconSize(int& pMode, int& pIconSize) = 0;
    // pIconSize in pixels; -1 keeps the mode's own size.
    virtual HResult SetViewModeAndIconSize(int pMode, int pIconSize) = 0;
    virtual HResult ItemCount(std::uint32_t pWhich, int& pCount) = 0;
    // The relative list of the item at pIndex; E_INVALIDARG outside the items.
    virtual HResult Item(int pIndex, IdListBytes& pRelative) = 0;
    virtual HResult Items(std::uint32_t pWhich, std::vector<IdListBytes>& pRelative) = 0;
    // pFlags: svsi:: (0x411, 0x41D, 0).
    virtual HResult SelectItemIndex(int pIndex, std::uint32_t pFlags) = 0;
    // The first selected item at or after pStart; S_FALSE and -1 when there is none.
    virtual HResult GetSelectedItem(int pStart, int& pIndex) = 0;
    // svsi:: bits of the item (SELECT when selected, FOCUSED when focused).
    virtual HResult GetSelectionState(IdSpan pRelative, std::uint32_t& pFlags) = 0;
    // Starts editing the focused item's name.
    virtual HResult DoRename() = 0;
    virtual HResult GetCurrentFolderFlags(std::uint32_t& pFlags) = 0;
    // Sets the bits of pMask to those of pFlags.
    virtual HResult SetCurrentFolderFlags(std::uint32_t pMask, std::uint32_t pFlags) = 0;
    // A null key means "not grouped".
    virtual HResult GetGroupBy(PropertyKey& pKey, bool& pAscending) = 0;
    virtual HResult SetGroupBy(const PropertyKey& pKey, bool pAscending) = 0;
    virtual HResult GetGroupSubsetCount(std::uint32_t& pVisibleRows) = 0;
    virtual HResult SetGroupSubsetCount(std::uint32_t pVisibleRows) = 0;
    virtual HResult GetSortColumns(std::vector<SortColumn>& pColumns) = 0;
    virtual HResult SetSortColumns(std::span<const SortColumn> pColumns) = 0;
    virtual HResult GetColumnManager(std::shared_ptr<IColumnManager>& pManager) = 0;
};

// The view's columns: which are shown, in which order, how wide.
class IColumnManager
{
public:
    virtual ~IColumnManager() = default;
    // pWhich: cm::ENUM_ALL or cm::ENUM_VISIBLE.
    virtual HResult GetColumnCount(std::uint32_t pWhich, std::uint32_t& pCount) = 0;
    virtual HResult GetColumns(std::uint32_t pWhich, std::vector<PropertyKey>& pKeys) = 0;
    // Shows exactly these columns in this order.
    virtual HResult SetColumns(std::span<const PropertyKey> pKeys) = 0;
    // Fills the fields named in pInfo.Mask.
    virtual HResult GetColumnInfo(const PropertyKey& pKey, ColumnInfo& pInfo) = 0;
    virtual HResult SetColumnInfo(const PropertyKey& pKey, const ColumnInfo& pInfo) = 0;
};

// What the view asks of its host (a common dialog, or any control embedding the browser).
// Implemented by the host; the view calls it on the user-interface thread.
class ICommDlgBrowser
{
public:
    virtual ~ICommDlgBrowser() = default;
    // An item was activated: S_OK when the host handled it, S_FALSE to let the view open it.
    virtual HResult OnDefaultCommand(IShellView& pView) = 0;
    // pChange: cdbosc:: (SELCHANGE when the selection changed).
    virtual HResult OnStateChange(IShellView& pView, std::uint32_t pChange) = 0;
    // Before an item is added: S_OK shows it, S_FALSE hides it. Not asked when GetViewFlags
    // answers cdb2gvf::NOINCLUDEITEM.
    virtual HResult IncludeObject(IShellView& pView, IdSpan pRelative) = 0;
    // pCode: cdb2n:: (CONTEXTMENU_DONE after the view's context menu closed).
    virtual HResult Notify(IShellView& pView, std::uint32_t pCode) = 0;
    // S_FALSE: the view keeps its own text for the default menu item.
    virtual HResult GetDefaultMenuText(IShellView& pView, QString& pText)
    {
        (void)pView;
        (void)pText;
        return S_FALSE;
    }
    // cdb2gvf:: bits.
    virtual HResult GetViewFlags(std::uint32_t& pFlags) = 0;
};

using IShellViewPtr = std::shared_ptr<IShellView>;
using IFolderView2Ptr = std::shared_ptr<IFolderView2>;
using IColumnManagerPtr = std::shared_ptr<IColumnManager>;

} // namespace kiv::pf

#pragma once

#include "core/platform/FindData.h"
#include "core/platform/HResult.h"
#include "core/platform/IStream.h"
#include "core/platform/IdList.h"
#include "core/platform/PropVariant.h"
#include "core/platform/WindowRef.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

namespace kiv::pf {

// Extra input to ParseDisplayName.
struct BindContext
{
    // The caller vouches for this find data: the path is parsed into items without touching the
    // disk (a path that need not exist), the last item's snapshot taken from here.
    std::optional<FindData> FileSystemBindData;
};

// One column's header or one item's text in it.
struct ShellDetails
{
    // 0 left, 1 right, 2 centre.
    int Format = 0;
    // Width in average characters.
    int CharWidth = 0;
    QString Text;
};

class IShellFolder;
class IShellFolder2;
class IContextMenu;
class IDataObject;
using IShellFolderPtr = std::shared_ptr<IShellFolder>;

// A running enumeration of a folder's children. Not thread-safe: one thread drives it (the one
// that asked for it, or a worker it was handed to).
class IEnumIDList
{
public:
    virtual ~IEnumIDList() = default;
    // The next child as a one-item relative list: S_OK; S_FALSE at the end; a failure (such as
    // HResultFromWin32(5) for a folder that cannot be read) otherwise.
    virtual HResult Next(IdListBytes& pItem) = 0;
    virtual HResult Reset() = 0;
};
using IEnumIDListPtr = std::shared_ptr<IEnumIDList>;

// A folder of the namespace: lists its children, names them, tells their attributes, compares
// them and binds to sub-folders. Items given to a folder are relative to it (usually one item).
// Folders are immutable after creation and may be used from any thread; calls that touch the disk
// (parse, enumerate, bind, attributes asked with HASSUBFOLDER) belong on worker threads when the
// folder may be slow (sfgao::ISSLOW).
class IShellFolder
{
public:
    virtual ~IShellFolder() = default;

    // Parses a name relative to this folder (an absolute name on the desktop) into a list. On
    // success pOut holds the list; pAttributes (when given) is an attribute mask in, values out.
    // A missing last component fails with HResultFromWin32(2), a missing parent with (3).
    virtual HResult ParseDisplayName(WindowRef pOwner, const BindContext* pBind,
                                     const QString& pName, IdListBytes& pOut,
                                     std::uint32_t* pAttributes) = 0;
    // Starts an enumeration with shcontf:: flags. A folder that has nothing to list may answer
    // S_FALSE with no enumerator. pCancel is polled between entries.
    virtual HResult EnumObjects(WindowRef pOwner, std::uint32_t pFlags, IEnumIDListPtr& pEnum,
                                std::stop_token pCancel = {}) = 0;
    // Binds to a sub-folder given by a relative list of any depth.
    virtual HResult BindToFolder(IdSpan pRelative, IShellFolderPtr& pFolder) = 0;
    // Opens a child's content for reading; E_NOINTERFACE for children without content.
    virtual HResult BindToStream(IdSpan pRelative, IStreamPtr& pStream) = 0;
    // Compares two relative lists. The low 16 bits of pParam choose the column (0 = name);
    // shcids::CANONICALONLY asks for identity only. The result's code part is the signed 16-bit
    // order (0 = equal); a failure is negative.
    virtual HResult CompareIDs(std::uint32_t pParam, IdSpan pA, IdSpan pB) = 0;
    // Attributes common to all given children, for the bits in pInOut (in: wanted; out: set).
    virtual HResult GetAttributesOf(std::span<const IdSpan> pItems, std::uint32_t& pInOut) = 0;
    // A name of a child in the shgdn:: form.
    virtual HResult GetDisplayNameOf(IdSpan pItem, std::uint32_t pFlags, QString& pName) = 0;
    // Renames a child; pNewItem (when given) receives the child's new relative list.
    virtual HResult SetNameOf(WindowRef pOwner, IdSpan pItem, const QString& pName,
                              std::uint32_t pFlags, IdListBytes* pNewItem) = 0;
    // The folder's own absolute list.
    virtual HResult GetCurFolder(IdListBytes& pList) = 0;
    // Find data of a file-system child, from its snapshot; E_INVALIDARG for other children.
    virtual HResult GetFindData(IdSpan pItem, FindData& pData) = 0;
    // Icon overlays are the core's own choice unless a folder offers them.
    virtual HResult GetOverlayIndex(IdSpan, int&) { return E_NOINTERFACE; }
    // The column interface; nullptr when the folder has none.
    virtual IShellFolder2* AsFolder2() { return nullptr; }

    // Objects for a set of children (relative lists, usually one item each), which a folder may
    // offer or not (E_NOINTERFACE). The context menu of the items (verbs in IContextMenu.h);
    // pOwner is the window prompts belong to.
    virtual HResult GetContextMenu(WindowRef, std::span<const IdSpan>,
                                   std::shared_ptr<IContextMenu>&)
    {
        return E_NOINTERFACE;
    }
    // The items in transfer form (dropped files, item lists, copied as the preferred effect).
    virtual HResult GetDataObject(WindowRef, std::span<const IdSpan>, std::shared_ptr<IDataObject>&)
    {
        return E_NOINTERFACE;
    }
    // The text of a child's tool tip.
    virtual HResult GetInfoTip(IdSpan, std::uint32_t, QString&) { return E_NOINTERFACE; }
    // The menu of the folder's own background (what a click beside the items shows).
    virtual HResult CreateBackgroundMenu(WindowRef, std::shared_ptr<IContextMenu>&)
    {
        return E_NOINTERFACE;
    }
};

// Columns of a folder.
class IShellFolder2
{
public:
    virtual ~IShellFolder2() = default;
    // The header (pItem null) or one child's text of a column; fails past the last column.
    virtual HResult GetDetailsOf(const IdSpan* pItem, std::uint32_t pColumn,
                                 ShellDetails& pDetails) = 0;
    // A child's typed value of a property (times in UTC).
    virtual HResult GetDetailsEx(IdSpan pItem, const PropertyKey& pKey, PropVariant& pValue) = 0;
    virtual HResult MapColumnToSCID(std::uint32_t pColumn, PropertyKey& pKey) = 0;
    // shcolstate bits: type 1 string / 2 integer / 3 date, 0x10 shown by default.
    virtual HResult GetDefaultColumnState(std::uint32_t pColumn, std::uint32_t& pState) = 0;
};

} // namespace kiv::pf

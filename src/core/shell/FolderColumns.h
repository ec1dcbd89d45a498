#pragma once

// The column answers of one folder: the texts and values of its objects' columns, its column
// descriptions and defaults, and which answers belong on a worker. The folder component asks this
// for its current folder (and hands in its current object); the view settings ask it for a
// folder kind's default columns.
//
// The folder component keeps one object per folder it is pointed at, made with the folder it
// already bound (TFolderColumns(list, folder)), and forwards its column calls with its current
// object: GetColumnText(index or id, header, object), GetColumnValue, GetColumnInfo,
// GetShColumnIdFromColumnNumber, GetIndexOfShColumnId, GetDefaultColumnState. In a slow folder
// (IsSlow) it shows names at once and hands the other texts to work items.
//
// Made for one folder, immutable afterwards: the folder's column interface is obtained once, in
// the constructor. Folders may be used from any thread, so an object may be shared with the
// workers that fill the column texts of slow folders (IsSlow(), NeedsWorker()).

#include "core/platform/IShellFolder.h"
#include "core/shell/KivShellTypes.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <vector>

namespace kiv {

enum class TAlignment
{
    taLeftJustify,
    taRightJustify,
    taCenter,
};

// One column as the column provider describes it.
struct TColumnInfo
{
    // The column's index in the folder's own list; -1 when the folder does not know the column,
    // 256 for the free-percentage column.
    int fShellIndex = -1;
    TShellColumnId fShellColumn;
    // Pixels at 96 dpi.
    unsigned fWidth = 0;
    TAlignment fAlignment = TAlignment::taLeftJustify;
    bool fVisibleByDefault = false;
    QString fTitle;
    // The shcolstate:: bits.
    std::uint32_t fFlags = 0;
    // 1 for the percentage column (drawn as a bar), else 0.
    std::uint8_t fDisplayType = 0;

    friend bool operator==(const TColumnInfo&, const TColumnInfo&) = default;
};

class TFolderColumns
{
public:
    // Columns of pFolder (an absolute folder list); a null or invalid list, or a folder without
    // a column interface, gives an object whose answers are empty, -1, 0 or the invalid id (the
    // reason is written to the debug log once).
    explicit TFolderColumns(const IItemIdListPtr& pFolder);
    // With the folder already bound (the folder component keeps its folder): nothing is bound
    // again.
    TFolderColumns(const IItemIdListPtr& pFolder, pf::IShellFolderPtr pShellFolder);

    bool IsValid() const { return fFolder2 != nullptr; }
    const IItemIdListPtr& Folder() const { return fFolderList; }
    // The folder may block (network places, search results): every column text of its objects
    // comes later, from a worker.
    bool IsSlow() const { return fSlow; }
    // Whether the text of a column belongs on a worker: in slow folders every column but the
    // name, elsewhere the columns the folder marks slow.
    bool NeedsWorker(int pColumnIndex) const;
    // The number of columns the folder offers.
    int ColumnCount() const;

    // A column's text for pObject (a child of the folder, absolute), or the header's with
    // pHeader. Column 0 of an object is its in-folder name; a negative index gives "".
    QString GetColumnText(int pColumnIndex, bool pHeader, const IItemIdListPtr& pObject) const;
    // The text of a property for pObject or the header's; pValue (when given) receives the value.
    QString GetColumnText(const TShellColumnId& pId, bool pHeader, const IItemIdListPtr& pObject,
                          QVariant* pValue = nullptr) const;
    // The typed value; dates in the application's local time. Invalid when there is none.
    QVariant GetColumnValue(const TShellColumnId& pId, const IItemIdListPtr& pObject) const;

    TShellColumnId GetShColumnIdFromColumnNumber(int pColumnNumber) const;
    int GetIndexOfShColumnId(const TShellColumnId& pId) const;
    // The alignment, and in pWidth the pixel width at this screen's scale: 0 when the column is
    // not shown by default or the folder does not know it.
    TAlignment GetColumnInfo(int pColumn, int& pWidth) const;
    // Raises EInvalidOperation without a valid folder.
    TColumnInfo GetColumnInfo(int pIndex) const;
    // A column described by the property system alone (no folder needed).
    static TColumnInfo GetColumnInfo(const TShellColumnId& pId);
    // The folder's shcolstate:: bits of a column; 0 when it does not know it.
    std::uint32_t GetDefaultColumnState(int pColumn) const;
    int GetSortColumn() const { return 0; }
    // Every column of the folder in its order, with the ones shown by default marked: what a
    // folder of this kind starts with when the user has chosen nothing.
    std::vector<TColumnInfo> DefaultColumns() const;
    // The same for a kind of folder: a special folder's, or for SF_FILESYSTEMFOLDER those of an
    // ordinary file-system folder (the user's home folder stands for all of them). Empty for
    // kinds this host does not have.
    static std::vector<TColumnInfo> DefaultColumnsOf(TKivShellFolder pKind);

private:
    // pObject relative to the folder (its last item); empty when it is not usable.
    pf::IdListBytes Relative(const IItemIdListPtr& pObject) const;
    bool IsHeaderOrValid(bool pHeader, const IItemIdListPtr& pObject) const;
    QString HeaderText(int pColumnIndex) const;

    IItemIdListPtr fFolderList;
    pf::IShellFolderPtr fFolder;
    pf::IShellFolder2* fFolder2 = nullptr;
    bool fSlow = false;
    bool fQuickAccess = false;
};

} // namespace kiv

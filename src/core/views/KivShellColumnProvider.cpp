#include "KivShellColumnProvider.h"

#include "core/platform/Guid.h"
#include "core/platform/PropVariant.h"
#include "core/platform/PropertySystem.h"

#include <array>

namespace kiv {

using namespace pf;

namespace {

struct TDefaultColumn
{
    TShellColumnId Id;
    const char* Title;
    TAlignment Alignment;
    // In characters, as folders give their widths.
    int CharWidth;
    std::uint32_t State;
};

// The columns of a file system folder in the folder's own order, as the host's folders report
// them.
const std::array<TDefaultColumn, 4>& DefaultColumns()
{
    static const std::array<TDefaultColumn, 4> columns = {{
        {TShellColumns::Name(), "Name", TAlignment::taLeftJustify, 30,
         shcolstate::ONBYDEFAULT | shcolstate::TYPE_STR},
        {TShellColumns::WriteTime(), "Date modified", TAlignment::taLeftJustify, 18,
         shcolstate::ONBYDEFAULT | shcolstate::TYPE_DATE},
        {TShellColumns::StorageType(), "Type", TAlignment::taLeftJustify, 18,
         shcolstate::ONBYDEFAULT | shcolstate::TYPE_STR},
        {TShellColumns::Size(), "Size", TAlignment::taRightJustify, 10,
         shcolstate::ONBYDEFAULT | shcolstate::TYPE_INT},
    }};
    return columns;
}

} // namespace

IKivShellColumnProviderPtr TKivDefaultColumnProvider::Create()
{
    return std::make_shared<TKivDefaultColumnProvider>();
}

TColumnInfo TKivDefaultColumnProvider::GetColumnInfo(const IItemIdListPtr&,
                                                     const TShellColumnId& pShellColumnId) const
{
    TColumnInfo info;
    info.fShellColumn = pShellColumnId;
    const auto& all = DefaultColumns();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const TDefaultColumn& column = all[i];
        if (column.Id != pShellColumnId)
            continue;
        info.fShellIndex = static_cast<int>(i);
        info.fTitle = QString::fromLatin1(column.Title);
        info.fAlignment = column.Alignment;
        // 8 pixels a character; the first column gets room for the icon and some more.
        info.fWidth = static_cast<std::uint32_t>(column.CharWidth * 8 + (i == 0 ? 100 : 0));
        info.fFlags = column.State;
        info.fVisibleByDefault = (column.State & shcolstate::ONBYDEFAULT) != 0 &&
                                 (column.State & shcolstate::HIDDEN) == 0;
        return info;
    }
    // Unknown here: named by its key, as a property without a description is.
    info.fTitle = pShellColumnId.Column.FormatId.toString(QUuid::WithBraces).toUpper() + u',' +
                  QString::number(pShellColumnId.Column.PropertyId);
    return info;
}

std::vector<TShellColumnId> TKivDefaultColumnProvider::GetColumns(const IItemIdListPtr&, bool) const
{
    std::vector<TShellColumnId> ids;
    for (const TDefaultColumn& column : DefaultColumns())
        ids.push_back(column.Id);
    return ids;
}

IKivShellColumnProviderPtr TKivFolderColumnProvider::Create()
{
    return std::make_shared<TKivFolderColumnProvider>();
}

TColumnInfo TKivFolderColumnProvider::GetColumnInfo(const IItemIdListPtr& pFolder,
                                                    const TShellColumnId& pShellColumnId) const
{
    const TFolderColumns folder(pFolder);
    if (folder.IsValid() && folder.ColumnCount() > 0) {
        const int index = folder.GetIndexOfShColumnId(pShellColumnId);
        if (index >= 0)
            return folder.GetColumnInfo(index);
        // A column the folder does not know: described by the property system alone.
        return TFolderColumns::GetColumnInfo(pShellColumnId);
    }
    return fDefaults.GetColumnInfo(pFolder, pShellColumnId);
}

std::vector<TShellColumnId> TKivFolderColumnProvider::GetColumns(const IItemIdListPtr& pFolder,
                                                                 bool pAll) const
{
    const TFolderColumns folder(pFolder);
    std::vector<TShellColumnId> ids;
    if (folder.IsValid()) {
        for (const TColumnInfo& column : folder.DefaultColumns())
            if (pAll || column.fVisibleByDefault)
                ids.push_back(column.fShellColumn);
    }
    return ids.empty() ? fDefaults.GetColumns(pFolder, pAll) : ids;
}

} // namespace kiv

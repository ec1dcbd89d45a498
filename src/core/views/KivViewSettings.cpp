#include "KivViewSettings.h"

#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/views/KivViewStatePropertyBag.h"

#include <algorithm>

namespace kiv {

// ---- TKivBaseViewSettings -------------------------------------------------------------------

TKivBaseViewSettings::TKivBaseViewSettings(IKivShellColumnProviderPtr pColumnProvider)
    : fColumnProvider(pColumnProvider ? std::move(pColumnProvider)
                                      : TKivFolderColumnProvider::Create())
{
}

TShellColumnId TKivBaseViewSettings::GetSortColumnId() const
{
    return TShellColumnId{GetSortColumns().propkey};
}

void TKivBaseViewSettings::SetSortColumnId(const TShellColumnId& pValue)
{
    SORTCOLUMN column = GetSortColumns();
    column.propkey = pValue.Column;
    SetSortColumns(column);
}

int TKivBaseViewSettings::GetSortDirection() const
{
    return GetSortColumns().direction == -1 ? -1 : 1;
}

void TKivBaseViewSettings::SetSortDirection(int pValue)
{
    if (pValue != 1 && pValue != -1)
        throw EInvalidArgument(QStringLiteral("Unsupported sort order"));
    SORTCOLUMN column = GetSortColumns();
    column.direction = pValue;
    SetSortColumns(column);
}

bool TKivBaseViewSettings::Open(const IItemIdListPtr& pFolderIdList, const QString& pName)
{
    if (!pFolderIdList)
        return false;
    OpenFolder(pFolderIdList, pName);
    fFolderIdList = pFolderIdList;
    // A view must always sort by something it can show.
    if (CanKeepSortColumn() && !IsValidPropertyKey(GetSortColumns().propkey))
        SetSortColumns(SORTCOLUMN{TShellColumns::Name().Column, 1});
    return true;
}

void TKivBaseViewSettings::OpenFolder(const IItemIdListPtr&, const QString&) {}

std::vector<TColumnInfo> TKivBaseViewSettings::ProviderColumns() const
{
    std::vector<TColumnInfo> infos;
    if (!fFolderIdList)
        return infos;
    for (const TShellColumnId& id : fColumnProvider->GetColumns(fFolderIdList, false))
        infos.push_back(fColumnProvider->GetColumnInfo(fFolderIdList, id));
    return infos;
}

std::vector<TColumnInfo> TKivBaseViewSettings::ReadColumnInfo()
{
    std::vector<TColumnInfo> infos = ProviderColumns();
    MoveNameFirst(infos);
    return infos;
}

void TKivBaseViewSettings::MoveNameFirst(std::vector<TColumnInfo>& pColumns)
{
    const auto name = std::find_if(pColumns.begin(), pColumns.end(),
                                   [](const TColumnInfo& pInfo) { return pInfo.fShellIndex == 0; });
    if (name == pColumns.end() || name == pColumns.begin())
        return;
    std::rotate(pColumns.begin(), name, std::next(name));
}

bool TKivBaseViewSettings::IsArchiveFolder(const IItemIdListPtr& pFolder)
{
    return pFolder && pFolder->Path().endsWith(QLatin1String(".zip"), Qt::CaseInsensitive);
}

// ---- TPerSpecialFolderViewSettings ----------------------------------------------------------

TPerSpecialFolderViewSettings::TPerSpecialFolderViewSettings(
    IKivShellColumnProviderPtr pColumnProvider)
    : TKivBaseViewSettings(std::move(pColumnProvider))
    , fZipSortOrder{TShellColumns::Name().Column, 1}
{
}

void TPerSpecialFolderViewSettings::OpenFolder(const IItemIdListPtr& pFolder, const QString&)
{
    fSpecialFolder = pFolder->SpecialFolder();
    fArchive = IsArchiveFolder(pFolder);
    fRememberColumns = MayRememberColumns(pFolder);
}

std::size_t TPerSpecialFolderViewSettings::Slot() const
{
    const auto slot = static_cast<std::size_t>(fSpecialFolder);
    // Not identified (SF_INVALID) counts as not special.
    return slot < fSortColumns.size() ? slot
                                      : static_cast<std::size_t>(TKivShellFolder::SF_UNKNOWN);
}

bool TPerSpecialFolderViewSettings::MayRememberColumns(const IItemIdListPtr& pFolder) const
{
    if (fSpecialFolder == TKivShellFolder::SF_UNKNOWN ||
        fSpecialFolder == TKivShellFolder::SF_INVALID || fArchive)
        return false;
    if (TKivItemIdList::IsParentOf(TKivShellFolder::SF_LIBRARIES, pFolder, true))
        return false;
    return !(TKivItemIdList::IsNetworkPidl(pFolder) && pFolder->Depth() == 2);
}

SORTCOLUMN TPerSpecialFolderViewSettings::GetSortColumns() const
{
    return fArchive ? fZipSortOrder : fSortColumns[Slot()];
}

void TPerSpecialFolderViewSettings::SetSortColumns(const SORTCOLUMN& pValue)
{
    (fArchive ? fZipSortOrder : fSortColumns[Slot()]) = pValue;
}

std::vector<TColumnInfo> TPerSpecialFolderViewSettings::ReadColumnInfo()
{
    if (fRememberColumns && !fColumns[Slot()].empty())
        return fColumns[Slot()];
    std::vector<TColumnInfo> infos = TKivBaseViewSettings::ReadColumnInfo();
    if (fRememberColumns)
        fColumns[Slot()] = infos;
    return infos;
}

void TPerSpecialFolderViewSettings::WriteColumnInfo(const std::vector<TColumnInfo>& pColumns)
{
    if (fRememberColumns)
        fColumns[Slot()] = pColumns;
}

// ---- the kinds ------------------------------------------------------------------------------

IKivViewSettingsPtr CreateViewSettings(TKivPersistViewSettings pKind,
                                       IKivShellColumnProviderPtr pColumnProvider)
{
    switch (pKind) {
    case TKivPersistViewSettings::None:
        return std::make_shared<TNoPersistViewSettings>(std::move(pColumnProvider));
    case TKivPersistViewSettings::Temporary:
        return std::make_shared<TPerSpecialFolderViewSettings>(std::move(pColumnProvider));
    case TKivPersistViewSettings::Persistent:
        return std::make_shared<TKivViewSettingsPropertyBag>(false, std::move(pColumnProvider));
    case TKivPersistViewSettings::PersistentSpecialFolder:
        return std::make_shared<TKivViewSettingsPropertyBag>(true, std::move(pColumnProvider));
    }
    return std::make_shared<TNoPersistViewSettings>(std::move(pColumnProvider));
}

} // namespace kiv

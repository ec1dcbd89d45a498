#include "core/shell/FolderColumns.h"

#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/LocalTime.h"
#include "core/platform/PropertySystem.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/DebugLog.h"
#include "core/shell/ItemIdListHelper.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/ScreenScale.h"
#include "core/shell/ShellColumns.h"
#include "core/shell/ShellControlHelper.h"

namespace kiv {

namespace {

// Folders answer MapColumnToSCID for at most this many columns.
constexpr int kMaxColumns = 320;
// Column widths are given in average characters of 8 pixels; the name column gets 100 more.
constexpr int kPixelsPerChar = 8;
constexpr int kNameColumnExtra = 100;

TAlignment AlignmentOf(int pFormat)
{
    switch (pFormat) {
    case 1:
        return TAlignment::taRightJustify;
    case 2:
        return TAlignment::taCenter;
    default:
        return TAlignment::taLeftJustify;
    }
}

bool ShownByDefault(std::uint32_t pState)
{
    return (pState & pf::shcolstate::ONBYDEFAULT) && !(pState & pf::shcolstate::HIDDEN);
}

bool IsTimeColumn(const TShellColumnId& pId)
{
    using C = TShellColumns;
    return C::IsEqualShellColumnId(pId, C::WriteTime()) ||
           C::IsEqualShellColumnId(pId, C::CreateTime()) ||
           C::IsEqualShellColumnId(pId, C::AccessTime());
}

} // namespace

TFolderColumns::TFolderColumns(const IItemIdListPtr& pFolder, pf::IShellFolderPtr pShellFolder)
    : fFolderList(pFolder)
    , fFolder(std::move(pShellFolder))
{
    if (TItemIdListHelper::IsNullOrInvalid(pFolder) || !fFolder)
        return;
    fSlow = pFolder->IsSlow() || pFolder->HasAttributes(pf::sfgao::ISSLOW);
    fQuickAccess = pFolder->IsSpecialFolder(TKivShellFolder::SF_QUICKACCESS);
    fFolder2 = fFolder->AsFolder2();
    if (!fFolder2)
        TDebugLog::LogMessage(
            QStringLiteral("Could not get IShellFolder2 interface for current folder: ") +
            pFolder->DisplayPath());
}

TFolderColumns::TFolderColumns(const IItemIdListPtr& pFolder)
    : fFolderList(pFolder)
{
    if (TItemIdListHelper::IsNullOrInvalid(pFolder))
        return;
    // Network places and folders that say so themselves (search results, remote mounts).
    fSlow = pFolder->IsSlow() || pFolder->HasAttributes(pf::sfgao::ISSLOW);
    fQuickAccess = pFolder->IsSpecialFolder(TKivShellFolder::SF_QUICKACCESS);
    const TIdListBuffer bytes = pFolder->WindowsPointer();
    if (!bytes ||
        pf::Failed(pf::Platform().Namespace().BindToFolder(pf::IdSpan(*bytes), fFolder)) ||
        !fFolder) {
        fFolder.reset();
        TDebugLog::LogMessage(
            QStringLiteral("Could not get IShellFolder interface for current folder: ") +
            pFolder->DisplayPath());
        return;
    }
    fFolder2 = fFolder->AsFolder2();
    if (!fFolder2)
        TDebugLog::LogMessage(
            QStringLiteral("Could not get IShellFolder2 interface for current folder: ") +
            pFolder->DisplayPath());
}

pf::IdListBytes TFolderColumns::Relative(const IItemIdListPtr& pObject) const
{
    if (TItemIdListHelper::IsNullOrInvalid(pObject))
        return {};
    const TIdListBuffer bytes = pObject->WindowsPointer();
    if (!bytes || pf::IdSpan(*bytes).IsEmpty())
        return {};
    return pf::idl::LastAsList(pf::IdSpan(*bytes));
}

bool TFolderColumns::IsHeaderOrValid(bool pHeader, const IItemIdListPtr& pObject) const
{
    return pHeader || !TItemIdListHelper::IsNullOrInvalid(pObject);
}

QString TFolderColumns::HeaderText(int pColumnIndex) const
{
    // The folder's own title only: falling back to the column's id would ask for the same
    // column's header again.
    pf::ShellDetails details;
    if (!fFolder2 || pColumnIndex < 0 ||
        pf::Failed(
            fFolder2->GetDetailsOf(nullptr, static_cast<std::uint32_t>(pColumnIndex), details)))
        return {};
    return details.Text;
}

bool TFolderColumns::NeedsWorker(int pColumnIndex) const
{
    if (fSlow)
        return pColumnIndex != 0;
    return (GetDefaultColumnState(pColumnIndex) & pf::shcolstate::SLOW) != 0;
}

int TFolderColumns::ColumnCount() const
{
    if (!fFolder2)
        return 0;
    int count = 0;
    pf::PropertyKey key;
    while (count < kMaxColumns &&
           pf::Succeeded(fFolder2->MapColumnToSCID(static_cast<std::uint32_t>(count), key)))
        ++count;
    return count;
}

QString TFolderColumns::GetColumnText(int pColumnIndex, bool pHeader,
                                      const IItemIdListPtr& pObject) const
{
    if (pColumnIndex < 0 || !fFolder2 || !IsHeaderOrValid(pHeader, pObject))
        return {};
    if (pColumnIndex == 0 && !pHeader)
        return pObject->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder);
    pf::ShellDetails details;
    pf::HResult result = pf::E_FAIL;
    if (pHeader) {
        result = fFolder2->GetDetailsOf(nullptr, static_cast<std::uint32_t>(pColumnIndex), details);
    } else {
        const pf::IdListBytes relative = Relative(pObject);
        if (relative.empty())
            return {};
        const pf::IdSpan span(relative);
        result = fFolder2->GetDetailsOf(&span, static_cast<std::uint32_t>(pColumnIndex), details);
    }
    if (pf::Succeeded(result))
        return details.Text;
    const TShellColumnId id = GetShColumnIdFromColumnNumber(pColumnIndex);
    if (TShellColumns::IsEqualShellColumnId(id, TShellColumns::ElementType()) ||
        TShellColumns::IsEqualShellColumnId(id, TShellColumns::Invalid()))
        return {};
    return GetColumnText(id, pHeader, pObject);
}

QString TFolderColumns::GetColumnText(const TShellColumnId& pId, bool pHeader,
                                      const IItemIdListPtr& pObject, QVariant* pValue) const
{
    if (pValue)
        *pValue = QVariant();
    if (pHeader) {
        if (TShellColumns::IsEqualShellColumnId(pId, TShellColumns::KivDriveListFreePercentage()))
            return QStringLiteral("% ") +
                   HeaderText(GetIndexOfShColumnId(TShellColumns::FreeSize()));
        return HeaderText(GetIndexOfShColumnId(pId));
    }
    if (TItemIdListHelper::IsNullOrInvalid(pObject))
        return {};
    if (fQuickAccess) {
        // The entries of Quick access are links: their texts are the targets' own.
        const QString text = pObject->GetShellInformation({pId}, 0, true);
        if (pValue)
            *pValue = text;
        return text;
    }
    const QVariant value = GetColumnValue(pId, pObject);
    if (pValue)
        *pValue = value;
    return TShellControlHelper::VariantToString(value, pId);
}

QVariant TFolderColumns::GetColumnValue(const TShellColumnId& pId,
                                        const IItemIdListPtr& pObject) const
{
    if (TItemIdListHelper::IsNullOrInvalid(pObject))
        return {};
    if (TShellColumns::IsEqualShellColumnId(pId, TShellColumns::ItemDate()))
        return pObject->GetPropertyValue(pId).FPropertyVariant;
    if (!fFolder2)
        return {};
    const pf::IdListBytes relative = Relative(pObject);
    if (relative.empty())
        return {};
    pf::PropVariant value;
    if (pf::Failed(
            fFolder2->GetDetailsEx(pf::IdSpan(relative), TShellColumns::ToPropertyKey(pId), value)))
        return {};
    QVariant result = pf::PropVariantToVariant(value);
    if (IsTimeColumn(pId) && result.typeId() == QMetaType::QDateTime)
        result = pf::UtcToLocal(result.toDateTime());
    return result;
}

TShellColumnId TFolderColumns::GetShColumnIdFromColumnNumber(int pColumnNumber) const
{
    if (pColumnNumber == TShellColumns::kFreePercentageColumn)
        return TShellColumns::KivDriveListFreePercentage();
    pf::PropertyKey key;
    if (!fFolder2 || pColumnNumber < 0 ||
        pf::Failed(fFolder2->MapColumnToSCID(static_cast<std::uint32_t>(pColumnNumber), key)))
        return TShellColumns::Invalid();
    return TShellColumns::FromPropertyKey(key);
}

int TFolderColumns::GetIndexOfShColumnId(const TShellColumnId& pId) const
{
    if (TShellColumns::IsEqualShellColumnId(pId, TShellColumns::Invalid()))
        return -1;
    if (TShellColumns::IsEqualShellColumnId(pId, TShellColumns::KivDriveListFreePercentage()))
        return TShellColumns::kFreePercentageColumn;
    if (!fFolder2)
        return -1;
    const pf::PropertyKey wanted = TShellColumns::ToPropertyKey(pId);
    for (int n = 0; n < kMaxColumns; ++n) {
        pf::PropertyKey key;
        if (pf::Failed(fFolder2->MapColumnToSCID(static_cast<std::uint32_t>(n), key)))
            break; // folders number their columns without gaps
        if (key == wanted)
            return n;
    }
    return -1;
}

TAlignment TFolderColumns::GetColumnInfo(int pColumn, int& pWidth) const
{
    pWidth = 120;
    pf::ShellDetails details;
    if (!fFolder2 || pColumn < 0 ||
        pf::Failed(fFolder2->GetDetailsOf(nullptr, static_cast<std::uint32_t>(pColumn), details))) {
        pWidth = 0;
        return TAlignment::taLeftJustify;
    }
    pWidth = TScreenScale::ScaledPixels(details.CharWidth * kPixelsPerChar) +
             (pColumn == 0 ? kNameColumnExtra : 0);
    std::uint32_t state = 0;
    if (pf::Succeeded(
            fFolder2->GetDefaultColumnState(static_cast<std::uint32_t>(pColumn), state)) &&
        !ShownByDefault(state))
        pWidth = 0;
    return AlignmentOf(details.Format);
}

TColumnInfo TFolderColumns::GetColumnInfo(int pIndex) const
{
    if (!fFolder2)
        throw EInvalidOperation(
            QStringLiteral("GetColumnInfo() can only be called if a valid folder was set."));
    TColumnInfo info;
    pf::ShellDetails details;
    if (pIndex < 0 ||
        pf::Failed(fFolder2->GetDetailsOf(nullptr, static_cast<std::uint32_t>(pIndex), details)))
        return info;
    info.fShellIndex = pIndex;
    info.fShellColumn = GetShColumnIdFromColumnNumber(pIndex);
    info.fAlignment = AlignmentOf(details.Format);
    info.fWidth = static_cast<unsigned>(std::max(0, details.CharWidth) * kPixelsPerChar +
                                        (pIndex == 0 ? kNameColumnExtra : 0));
    info.fTitle = details.Text;
    std::uint32_t state = 0;
    if (pf::Succeeded(fFolder2->GetDefaultColumnState(static_cast<std::uint32_t>(pIndex), state))) {
        info.fFlags = state;
        info.fVisibleByDefault = ShownByDefault(state);
    }
    return info;
}

TColumnInfo TFolderColumns::GetColumnInfo(const TShellColumnId& pId)
{
    TColumnInfo info;
    info.fShellColumn = pId;
    if (TShellColumns::IsEqualShellColumnId(pId, TShellColumns::KivDriveListFreePercentage())) {
        const pf::PropertyDescription* free =
            pf::PropertySystem::Find(TShellColumns::ToPropertyKey(TShellColumns::FreeSize()));
        info.fShellIndex = TShellColumns::kFreePercentageColumn;
        info.fTitle = QStringLiteral("% ") + (free ? free->DisplayName : QString());
        info.fWidth = 12 * kPixelsPerChar;
        info.fDisplayType = 1;
        return info;
    }
    const pf::PropertyDescription* description =
        pf::PropertySystem::Find(TShellColumns::ToPropertyKey(pId));
    if (!description)
        return info;
    info.fTitle = description->DisplayName;
    info.fWidth = static_cast<unsigned>(description->DefaultColumnWidth * kPixelsPerChar);
    info.fAlignment = (description->ViewFlags & pf::pdvf::RIGHTALIGN) ? TAlignment::taRightJustify
                      : (description->ViewFlags & pf::pdvf::CENTERALIGN)
                          ? TAlignment::taCenter
                          : TAlignment::taLeftJustify;
    info.fVisibleByDefault = (description->ViewFlags & pf::pdvf::SHOWBYDEFAULT) != 0;
    return info;
}

std::uint32_t TFolderColumns::GetDefaultColumnState(int pColumn) const
{
    std::uint32_t state = 0;
    if (!fFolder2 || pColumn < 0 ||
        pf::Failed(fFolder2->GetDefaultColumnState(static_cast<std::uint32_t>(pColumn), state)))
        return 0;
    return state;
}

std::vector<TColumnInfo> TFolderColumns::DefaultColumns() const
{
    std::vector<TColumnInfo> columns;
    if (!fFolder2)
        return columns;
    for (int n = 0; n < kMaxColumns; ++n) {
        TColumnInfo info = GetColumnInfo(n);
        if (info.fShellIndex < 0)
            break;
        columns.push_back(std::move(info));
    }
    return columns;
}

std::vector<TColumnInfo> TFolderColumns::DefaultColumnsOf(TKivShellFolder pKind)
{
    if (pKind == TKivShellFolder::SF_INVALID || pKind == TKivShellFolder::SF_UNKNOWN)
        return {};
    const TKivShellFolder folder =
        pKind == TKivShellFolder::SF_FILESYSTEMFOLDER ? TKivShellFolder::SF_PROFILE : pKind;
    try {
        return TFolderColumns(TKivItemIdList::CreateForSpecialFolder(folder)).DefaultColumns();
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace kiv

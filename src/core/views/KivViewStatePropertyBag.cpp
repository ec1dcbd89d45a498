#include "KivViewStatePropertyBag.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"

#include <QtEndian>

#include <array>

namespace kiv {

namespace {

const QString kFFlags = QStringLiteral("FFlags");
const QString kGroupByFormatId = QStringLiteral("GroupByKey:FMTID");
const QString kGroupByPropertyId = QStringLiteral("GroupByKey:PID");
const QString kGroupByDirection = QStringLiteral("GroupByDirection");
const QString kGroupView = QStringLiteral("GroupView");
const QString kIconSize = QStringLiteral("IconSize");
const QString kSort = QStringLiteral("Sort");
const QString kMode = QStringLiteral("Mode");
const QString kVid = QStringLiteral("Vid");
const QString kLogicalViewMode = QStringLiteral("LogicalViewMode");
const QString kColInfo = QStringLiteral("ColInfo");
const QString kFolderType = QStringLiteral("FolderType");
const QString kSniffedFolderType = QStringLiteral("SniffedFolderType");
const QString kDefaultBagName = QStringLiteral("Shell");

// ---- little-endian records ----

constexpr int kKeySize = 20;
constexpr int kSortRecordSize = 24;
constexpr int kColInfoHeaderSize = 24;
constexpr int kColInfoRecordSize = 24;
constexpr std::uint32_t kColInfoMagic = 0xFDDFDFFDu;
constexpr std::uint16_t kColInfoVersion = 16;

void AppendU32(QByteArray& pBytes, std::uint32_t pValue)
{
    char buffer[4];
    qToLittleEndian(pValue, buffer);
    pBytes.append(buffer, 4);
}

std::uint32_t U32At(const QByteArray& pBytes, qsizetype pOffset)
{
    return qFromLittleEndian<std::uint32_t>(pBytes.constData() + pOffset);
}

// The format id in the published field layout (data1, data2, data3 little-endian, then the
// eight bytes as they are), then the property id.
void AppendKey(QByteArray& pBytes, const TPropertyKey& pKey)
{
    const QUuid& id = pKey.FormatId;
    AppendU32(pBytes, id.data1);
    char buffer[2];
    qToLittleEndian(static_cast<std::uint16_t>(id.data2), buffer);
    pBytes.append(buffer, 2);
    qToLittleEndian(static_cast<std::uint16_t>(id.data3), buffer);
    pBytes.append(buffer, 2);
    pBytes.append(reinterpret_cast<const char*>(id.data4), 8);
    AppendU32(pBytes, pKey.PropertyId);
}

TPropertyKey KeyAt(const QByteArray& pBytes, qsizetype pOffset)
{
    const auto* data = reinterpret_cast<const uchar*>(pBytes.constData() + pOffset);
    TPropertyKey key;
    key.FormatId =
        QUuid(qFromLittleEndian<std::uint32_t>(data), qFromLittleEndian<std::uint16_t>(data + 4),
              qFromLittleEndian<std::uint16_t>(data + 6), data[8], data[9], data[10], data[11],
              data[12], data[13], data[14], data[15]);
    key.PropertyId = qFromLittleEndian<std::uint32_t>(data + 16);
    return key;
}

// ---- view modes ----

struct TModeValues
{
    TKivViewStyle Style;
    std::int32_t Mode;            // the folder view mode
    std::int32_t LogicalViewMode; // the view's logical mode
    const char16_t* Vid;          // the system's view identifier of the mode
};

constexpr std::array<TModeValues, 7> kModes = {{
    {TKivViewStyle::vmIcon, 1, 3, u"{0057D0E0-3573-11CF-AE69-08002B2E1262}"},
    {TKivViewStyle::vmSmallIcon, 2, 3, u"{089000C0-3573-11CF-AE69-08002B2E1262}"},
    {TKivViewStyle::vmList, 3, 4, u"{0E1FA5E0-3573-11CF-AE69-08002B2E1262}"},
    {TKivViewStyle::vmDetails, 4, 1, u"{137E7700-3573-11CF-AE69-08002B2E1262}"},
    {TKivViewStyle::vmThumbnail, 5, -1, u"{8BEBB290-52D0-11D0-B7F4-00C04FD706EC}"},
    {TKivViewStyle::vmTile, 6, 2, u"{65F125E5-7BE1-4810-BA9D-D271C8432CE3}"},
    {TKivViewStyle::vmContent, 8, 5, u"{30C2C434-0889-4C8D-985D-A9F71830B0A9}"},
}};

// "Mode" as read, by its value: the modes of views we do not have show as the nearest one we
// do (7 as icons, 9 as small icons), and 0 (none chosen) as icons.
constexpr std::array<TKivViewStyle, 10> kModeStyles = {
    TKivViewStyle::vmIcon,      TKivViewStyle::vmIcon,    TKivViewStyle::vmSmallIcon,
    TKivViewStyle::vmList,      TKivViewStyle::vmDetails, TKivViewStyle::vmThumbnail,
    TKivViewStyle::vmTile,      TKivViewStyle::vmIcon,    TKivViewStyle::vmContent,
    TKivViewStyle::vmSmallIcon,
};
constexpr std::int32_t kDefaultMode = 4;

} // namespace

// ---- streams --------------------------------------------------------------------------------

namespace viewstream {

QByteArray EncodeSort(const SORTCOLUMN& pColumn)
{
    QByteArray bytes;
    bytes.reserve(4 + kSortRecordSize);
    AppendU32(bytes, 1);
    AppendKey(bytes, pColumn.propkey);
    AppendU32(bytes, static_cast<std::uint32_t>(pColumn.direction));
    return bytes;
}

std::optional<SORTCOLUMN> DecodeSort(const QByteArray& pBytes)
{
    if (pBytes.size() < 4)
        return std::nullopt;
    const std::uint32_t count = U32At(pBytes, 0);
    if (count == 0 || pBytes.size() < 4 + kSortRecordSize)
        return std::nullopt;
    return SORTCOLUMN{KeyAt(pBytes, 4), static_cast<std::int32_t>(U32At(pBytes, 4 + kKeySize))};
}

QByteArray EncodeColInfo(const std::vector<TColumnWidth>& pColumns)
{
    QByteArray bytes;
    bytes.reserve(kColInfoHeaderSize +
                  kColInfoRecordSize * static_cast<qsizetype>(pColumns.size()));
    AppendU32(bytes, kColInfoMagic);
    char version[2];
    qToLittleEndian(kColInfoVersion, version);
    bytes.append(version, 2);
    bytes.append(10, '\0');
    AppendU32(bytes, static_cast<std::uint32_t>(pColumns.size()));
    AppendU32(bytes, kColInfoRecordSize);
    for (const TColumnWidth& column : pColumns) {
        AppendKey(bytes, column.Key);
        AppendU32(bytes, column.Width);
    }
    return bytes;
}

std::optional<std::vector<TColumnWidth>> DecodeColInfo(const QByteArray& pBytes)
{
    if (pBytes.size() < kColInfoHeaderSize || U32At(pBytes, 0) != kColInfoMagic)
        return std::nullopt;
    const std::uint32_t count = U32At(pBytes, 16);
    const std::uint32_t recordSize = U32At(pBytes, 20);
    // A longer record is read as far as it is known; a shorter one cannot hold a column.
    if (recordSize < kColInfoRecordSize)
        return std::nullopt;
    const auto available =
        static_cast<std::uint64_t>(pBytes.size() - kColInfoHeaderSize) / recordSize;
    if (count > available)
        return std::nullopt;
    std::vector<TColumnWidth> columns;
    columns.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const qsizetype at = kColInfoHeaderSize + static_cast<qsizetype>(i) * recordSize;
        columns.push_back(TColumnWidth{KeyAt(pBytes, at), U32At(pBytes, at + kKeySize)});
    }
    return columns;
}

} // namespace viewstream

// ---- TKivCustomViewStatePropertyBag ---------------------------------------------------------

TKivCustomViewStatePropertyBag::TKivCustomViewStatePropertyBag(
    IKivShellColumnProviderPtr pColumnProvider)
    : TKivBaseViewSettings(std::move(pColumnProvider))
{
}

QString TKivCustomViewStatePropertyBag::ViewTemplateName(TKivPropertyBagViewTemplate pTemplate)
{
    switch (pTemplate) {
    case TKivPropertyBagViewTemplate::Generic:
        break;
    case TKivPropertyBagViewTemplate::Documents:
        return QStringLiteral("Documents");
    case TKivPropertyBagViewTemplate::Pictures:
        return QStringLiteral("Pictures");
    case TKivPropertyBagViewTemplate::Music:
        return QStringLiteral("Music");
    case TKivPropertyBagViewTemplate::Videos:
        return QStringLiteral("Videos");
    }
    return QStringLiteral("Generic");
}

QString TKivCustomViewStatePropertyBag::FolderTypeId(TKivPropertyBagViewTemplate pTemplate)
{
    switch (pTemplate) {
    case TKivPropertyBagViewTemplate::Generic:
        break;
    case TKivPropertyBagViewTemplate::Documents:
        return QStringLiteral("{7D49D726-3C21-4F05-99AA-FDC2C9474656}");
    case TKivPropertyBagViewTemplate::Pictures:
        return QStringLiteral("{B3690E58-E961-423B-B687-386EBFD83239}");
    case TKivPropertyBagViewTemplate::Music:
        return QStringLiteral("{94D6DDCC-4A68-4175-A374-BD584A510B78}");
    case TKivPropertyBagViewTemplate::Videos:
        return QStringLiteral("{5FA96407-7E77-483C-AC93-691D05850DE8}");
    }
    return QStringLiteral("{5C4F28B5-F869-4E84-8E60-F11DB97C5CC7}");
}

void TKivCustomViewStatePropertyBag::OpenFolder(const IItemIdListPtr& pFolder, const QString& pName)
{
    const IItemIdListPtr folder = BagFolder(pFolder);
    const TIdListBuffer list = folder ? folder->WindowsPointer() : nullptr;
    if (!list)
        throw EWayfoldError(pf::E_INVALIDARG, pFolder);
    const pf::IdSpan span(*list);
    const QString name = pName.isEmpty() ? kDefaultBagName : pName;
    pf::IViewState& viewState = pf::Platform().ViewState();

    pf::IPropertyBagPtr own;
    const pf::HResult opened = viewState.OpenBag(&span, name, pf::viewstate::FOLDER, own);
    if (pf::Failed(opened) || !own)
        throw EWayfoldError(pf::Failed(opened) ? opened : pf::E_FAIL, pFolder);

    // What the folder holds decides which of the typed bags its settings live in.
    pf::BagValue type;
    if (pf::Failed(own->Read(kFolderType, type)) || !std::holds_alternative<QString>(type))
        own->Read(kSniffedFolderType, type);
    TKivPropertyBagViewTemplate viewTemplate = TKivPropertyBagViewTemplate::Generic;
    if (const auto* text = std::get_if<QString>(&type)) {
        for (const auto candidate :
             {TKivPropertyBagViewTemplate::Documents, TKivPropertyBagViewTemplate::Pictures,
              TKivPropertyBagViewTemplate::Music, TKivPropertyBagViewTemplate::Videos}) {
            if (*text == ViewTemplateName(candidate))
                viewTemplate = candidate;
        }
    }
    own->Write(kSniffedFolderType, ViewTemplateName(viewTemplate));

    pf::IPropertyBagPtr typed;
    if (pf::Failed(viewState.OpenBag(&span, name + u'\\' + FolderTypeId(viewTemplate),
                                     pf::viewstate::FOLDER, typed)) ||
        !typed) {
        typed.reset();
        if (pf::Failed(
                viewState.OpenBag(nullptr, kDefaultBagName, pf::viewstate::USERDEFAULTS, typed)) ||
            !typed) {
            typed.reset();
            if (pf::Failed(viewState.OpenBag(nullptr, kDefaultBagName,
                                             pf::viewstate::GLOBALDEFAULTS, typed)))
                typed.reset();
        }
    }
    fViewTemplate = viewTemplate;
    fName = name;
    fPropertyBag = std::move(typed);
}

bool TKivCustomViewStatePropertyBag::OpenDefaults(TKivPropertyBagLocation pLocation,
                                                  const QString& pName)
{
    pf::IPropertyBagPtr bag;
    const std::uint32_t flags = pLocation == TKivPropertyBagLocation::UserDefaults
                                    ? pf::viewstate::USERDEFAULTS
                                    : pf::viewstate::GLOBALDEFAULTS;
    const QString name = pName.isEmpty() ? kDefaultBagName : pName;
    if (pf::Failed(pf::Platform().ViewState().OpenBag(nullptr, name, flags, bag)) || !bag)
        return false;
    fName = name;
    fPropertyBag = std::move(bag);
    return true;
}

pf::BagValue TKivCustomViewStatePropertyBag::Read(const QString& pName) const
{
    pf::BagValue value;
    if (!fPropertyBag || pf::Failed(fPropertyBag->Read(pName, value)))
        return {};
    return value;
}

void TKivCustomViewStatePropertyBag::Write(const QString& pName, const pf::BagValue& pValue)
{
    if (!fPropertyBag)
        throw EInvalidOperation(
            QStringLiteral("Cannot write settings: No property bag was opened yet"));
    EWayfoldError::Check(fPropertyBag->Write(pName, pValue));
}

int TKivCustomViewStatePropertyBag::ReadInt(const QString& pName, int pDefault) const
{
    const pf::BagValue value = Read(pName);
    if (const auto* number = std::get_if<std::int32_t>(&value))
        return *number;
    return pDefault;
}

bool TKivCustomViewStatePropertyBag::ReadBool(const QString& pName) const
{
    const pf::BagValue value = Read(pName);
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag;
    if (const auto* number = std::get_if<std::int32_t>(&value))
        return *number != 0;
    return false;
}

int TKivCustomViewStatePropertyBag::GetFolderFlags() const
{
    return ReadInt(kFFlags, 0);
}

TShellColumnId TKivCustomViewStatePropertyBag::GetGroupBy() const
{
    TShellColumnId id;
    const pf::BagValue format = Read(kGroupByFormatId);
    if (const auto* text = std::get_if<QString>(&format))
        id.Column.FormatId = QUuid::fromString(QStringView(*text));
    id.Column.PropertyId = static_cast<std::uint32_t>(
        ReadInt(kGroupByPropertyId, static_cast<int>(id.Column.PropertyId)));
    return id;
}

bool TKivCustomViewStatePropertyBag::GetGroupByDirection() const
{
    return ReadBool(kGroupByDirection);
}

bool TKivCustomViewStatePropertyBag::GetGroupView() const
{
    return ReadBool(kGroupView);
}

int TKivCustomViewStatePropertyBag::GetViewIconSize() const
{
    return ReadInt(kIconSize, 0);
}

SORTCOLUMN TKivCustomViewStatePropertyBag::GetSortColumns() const
{
    const pf::BagValue value = Read(kSort);
    if (const auto* bytes = std::get_if<QByteArray>(&value)) {
        if (const std::optional<SORTCOLUMN> column = viewstream::DecodeSort(*bytes))
            return *column;
    }
    return {};
}

TKivViewStyle TKivCustomViewStatePropertyBag::GetViewMode() const
{
    int mode = ReadInt(kMode, kDefaultMode);
    if (mode < 0 || mode >= static_cast<int>(kModeStyles.size()))
        mode = kDefaultMode;
    return kModeStyles[static_cast<std::size_t>(mode)];
}

void TKivCustomViewStatePropertyBag::SetFolderFlags(int pValue)
{
    Write(kFFlags, std::int32_t(pValue));
}

void TKivCustomViewStatePropertyBag::SetGroupBy(const TShellColumnId& pValue)
{
    Write(kGroupByFormatId, pValue.Column.FormatId.toString(QUuid::WithBraces).toUpper());
    Write(kGroupByPropertyId, static_cast<std::int32_t>(pValue.Column.PropertyId));
}

void TKivCustomViewStatePropertyBag::SetGroupByDirection(bool pValue)
{
    Write(kGroupByDirection, pValue);
}

void TKivCustomViewStatePropertyBag::SetGroupView(bool pValue)
{
    Write(kGroupView, pValue);
}

void TKivCustomViewStatePropertyBag::SetViewIconSize(int pValue)
{
    Write(kIconSize, std::int32_t(pValue));
}

void TKivCustomViewStatePropertyBag::SetSortColumns(const SORTCOLUMN& pValue)
{
    Write(kSort, viewstream::EncodeSort(pValue));
}

void TKivCustomViewStatePropertyBag::SetViewMode(TKivViewStyle pValue)
{
    for (const TModeValues& mode : kModes) {
        if (mode.Style != pValue)
            continue;
        Write(kMode, mode.Mode);
        Write(kVid, QString::fromUtf16(mode.Vid));
        Write(kLogicalViewMode, mode.LogicalViewMode);
        return;
    }
}

std::vector<TColumnInfo> TKivCustomViewStatePropertyBag::ReadColumnInfo()
{
    const pf::BagValue value = Read(kColInfo);
    const auto* bytes = std::get_if<QByteArray>(&value);
    const std::optional<std::vector<viewstream::TColumnWidth>> stored =
        bytes ? viewstream::DecodeColInfo(*bytes) : std::nullopt;
    if (!stored)
        return TKivBaseViewSettings::ReadColumnInfo();
    if (stored->empty())
        return ProviderColumns();
    std::vector<TColumnInfo> infos;
    infos.reserve(stored->size());
    for (const viewstream::TColumnWidth& column : *stored) {
        TColumnInfo info =
            fColumnProvider->GetColumnInfo(fFolderIdList, TShellColumnId{column.Key});
        info.fWidth = column.Width;
        infos.push_back(std::move(info));
    }
    MoveNameFirst(infos);
    return infos;
}

void TKivCustomViewStatePropertyBag::WriteColumnInfo(const std::vector<TColumnInfo>& pColumns)
{
    if (pColumns.empty())
        return;
    std::vector<viewstream::TColumnWidth> widths;
    widths.reserve(pColumns.size());
    for (const TColumnInfo& info : pColumns)
        widths.push_back(viewstream::TColumnWidth{info.fShellColumn.Column, info.fWidth});
    Write(kColInfo, viewstream::EncodeColInfo(widths));
}

// ---- TKivViewSettingsPropertyBag ------------------------------------------------------------

TKivViewSettingsPropertyBag::TKivViewSettingsPropertyBag(bool pPerSpecialFolder,
                                                         IKivShellColumnProviderPtr pColumnProvider)
    : TKivCustomViewStatePropertyBag(std::move(pColumnProvider))
    , fPerSpecialFolder(pPerSpecialFolder)
{
}

IItemIdListPtr TKivViewSettingsPropertyBag::BagFolder(const IItemIdListPtr& pFolder) const
{
    if (!fPerSpecialFolder || pFolder->SpecialFolder() != TKivShellFolder::SF_FILESYSTEMFOLDER ||
        IsArchiveFolder(pFolder) ||
        TKivItemIdList::IsParentOf(TKivShellFolder::SF_LIBRARIES, pFolder, true))
        return pFolder;
    // Every ordinary folder shares the bag of the temporary folder.
    QString temp = pf::Platform().FileSystem().GetTempPath();
    while (temp.size() > 1 && temp.endsWith(u'/'))
        temp.chop(1);
    return TKivItemIdList::Create(temp);
}

} // namespace kiv

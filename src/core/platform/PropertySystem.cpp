#include "core/platform/PropertySystem.h"

#include "core/platform/LocalTime.h"
#include "core/platform/ShellConstants.h"

#include <QHash>

#include <cmath>
#include <map>
#include <utility>

namespace kiv::pf {

namespace {

using K = PropertyKind;
constexpr std::uint32_t kRight = pdvf::RIGHTALIGN;
constexpr std::uint32_t kShown = pdvf::SHOWBYDEFAULT;

// The published property sets.
constexpr Guid kStorage =
    MakeGuid(0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC);
constexpr Guid kQuery =
    MakeGuid(0x28636AA6, 0x953D, 0x11D2, 0xB5, 0xD6, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0);
constexpr Guid kProvider =
    MakeGuid(0xE77E90DF, 0x6271, 0x4F5B, 0x83, 0x4F, 0x2D, 0xD1, 0xF2, 0x45, 0xDD, 0xA4);
constexpr Guid kMessage =
    MakeGuid(0xE3E0584C, 0xB788, 0x4A5A, 0xBB, 0x20, 0x7F, 0x5A, 0x44, 0xC9, 0xAC, 0xDD);
constexpr Guid kSummary =
    MakeGuid(0xF29F85E0, 0x4FF9, 0x1068, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9);
constexpr Guid kItemDate =
    MakeGuid(0xF7DB74B4, 0x4287, 0x4103, 0xAF, 0xBA, 0xF1, 0xB1, 0x3D, 0xCD, 0x75, 0xCF);
constexpr Guid kVersion =
    MakeGuid(0x0CEF7D53, 0xFA64, 0x11D1, 0xA2, 0x03, 0x00, 0x00, 0xF8, 0x1F, 0xED, 0xEE);
constexpr Guid kExtension =
    MakeGuid(0xE4F10A3C, 0x49E6, 0x405D, 0x82, 0x88, 0xA2, 0x3B, 0xD4, 0xEE, 0xAA, 0x6C);
constexpr Guid kRecycle =
    MakeGuid(0x9B174B33, 0x40FF, 0x11D2, 0xA2, 0x7E, 0x00, 0xC0, 0x4F, 0xC3, 0x08, 0x71);
constexpr Guid kAuthors =
    MakeGuid(0xD0A04F0A, 0x462A, 0x48A4, 0xBB, 0x2F, 0x37, 0x06, 0xE8, 0x8D, 0xBD, 0x7D);
constexpr Guid kConversation =
    MakeGuid(0xDC8F80BD, 0xAF1E, 0x4289, 0x85, 0xB6, 0x3D, 0xFC, 0x1B, 0x49, 0x39, 0x92);
constexpr Guid kLink =
    MakeGuid(0xB9B4B3FC, 0x2B51, 0x4A42, 0xB5, 0xD8, 0x32, 0x41, 0x46, 0xAF, 0xCF, 0x25);
constexpr Guid kMedia =
    MakeGuid(0x64440492, 0x4C8B, 0x11D1, 0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03);
constexpr Guid kVolume =
    MakeGuid(0x9B174B35, 0x40FF, 0x11D2, 0xA2, 0x7E, 0x00, 0xC0, 0x4F, 0xC3, 0x08, 0x71);
constexpr Guid kAttachments =
    MakeGuid(0x9C1FCF74, 0x2D97, 0x41BA, 0xB4, 0xAE, 0xCB, 0x2E, 0x36, 0x61, 0xA6, 0xE4);
constexpr Guid kImage =
    MakeGuid(0x6444048F, 0x4C8B, 0x11D1, 0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03);
constexpr Guid kPhoto =
    MakeGuid(0x14B81DA1, 0x0135, 0x4D31, 0x96, 0xD9, 0x6C, 0xBF, 0xC9, 0x67, 0x1A, 0x99);
constexpr Guid kOrientationText =
    MakeGuid(0xA9EA193C, 0xC511, 0x498A, 0xA0, 0x6B, 0x58, 0xE2, 0x77, 0x6D, 0xCC, 0x28);
constexpr Guid kExifVersion =
    MakeGuid(0xD35F743A, 0xEB2E, 0x47F2, 0xA2, 0x86, 0x84, 0x41, 0x32, 0xCB, 0x14, 0x27);
constexpr Guid kAudio =
    MakeGuid(0x64440490, 0x4C8B, 0x11D1, 0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03);
constexpr Guid kMusic =
    MakeGuid(0x56A3372E, 0xCE9C, 0x11D2, 0x9F, 0x0E, 0x00, 0x60, 0x97, 0xC6, 0x86, 0xF6);
constexpr Guid kSearch =
    MakeGuid(0x560C36C0, 0x503A, 0x11CF, 0xBA, 0xA1, 0x00, 0x00, 0x4C, 0x75, 0x2A, 0x9A);

struct TRow
{
    Guid FormatId;
    std::uint32_t PropertyId;
    const char* Name;
    // Null: made from the last part of the name ("CameraModel" → "Camera model").
    const char* Title;
    int Width;
    std::uint32_t Flags;
    PropertyKind Kind;
};

// clang-format off
const TRow kRows[] = {
    {kStorage, 10, "System.ItemNameDisplay", "Name", 30, kShown, K::Text},
    {kStorage, 14, "System.DateModified", "Date modified", 18, kShown, K::DateTime},
    {kStorage, 4, "System.ItemTypeText", "Type", 18, kShown, K::Text},
    {kStorage, 12, "System.Size", "Size", 10, kShown | kRight, K::ByteSize},
    {kStorage, 15, "System.DateCreated", "Date created", 18, 0, K::DateTime},
    {kStorage, 16, "System.DateAccessed", "Date accessed", 18, 0, K::DateTime},
    {kStorage, 13, "System.FileAttributes", "Attributes", 10, 0, K::Attributes},
    {kQuery, 30, "System.ItemPathDisplay", "Path", 30, 0, K::Text},
    {kQuery, 11, "System.ItemType", "Item type", 12, 0, K::Text},
    {kQuery, 4, "System.NetworkLocation", "Network location", 20, 0, K::Text},
    {kProvider, 3, "System.StorageProviderState", "Availability status", 12, 0, K::Number},
    {kProvider, 2, "System.StorageProviderUIStatus", "Status", 12, 0, K::Text},
    {kMessage, 6, "System.ItemFolderPathDisplay", "Folder path", 30, 0, K::Text},
    {kMessage, 15, "System.Message.Store", "Store", 20, 0, K::Text},
    {kMessage, 20, "System.Message.DateReceived", "Date received", 18, 0, K::DateTime},
    {kMessage, 19, "System.Message.DateSent", "Date sent", 18, 0, K::DateTime},
    {kMessage, 21, "System.Message.AttachmentNames", "Attachments", 20, 0, K::Text},
    {kMessage, 2, "System.Message.BccAddress", "BCC addresses", 20, 0, K::Text},
    {kMessage, 3, "System.Message.BccName", "BCC", 20, 0, K::Text},
    {kMessage, 4, "System.Message.CcAddress", "CC addresses", 20, 0, K::Text},
    {kMessage, 5, "System.Message.CcName", "CC", 20, 0, K::Text},
    {kMessage, 16, "System.Message.ToAddress", "To addresses", 20, 0, K::Text},
    {kMessage, 17, "System.Message.ToName", "To", 20, 0, K::Text},
    {kMessage, 13, "System.Message.FromAddress", "From addresses", 20, 0, K::Text},
    {kMessage, 14, "System.Message.FromName", "From", 20, 0, K::Text},
    {kSummary, 2, "System.Title", "Title", 20, 0, K::Text},
    {kSummary, 3, "System.Subject", "Subject", 20, 0, K::Text},
    {kSummary, 4, "System.Author", "Authors", 20, 0, K::Text},
    {kSummary, 5, "System.Keywords", "Tags", 20, 0, K::Text},
    {kSummary, 6, "System.Comment", "Comments", 20, 0, K::Text},
    {kSummary, 8, "System.Document.LastAuthor", "Last saved by", 20, 0, K::Text},
    {kSummary, 11, "System.Document.DatePrinted", "Date last printed", 18, 0, K::DateTime},
    {kSummary, 12, "System.Document.DateCreated", "Content created", 18, 0, K::DateTime},
    {kSummary, 13, "System.Document.DateSaved", "Date last saved", 18, 0, K::DateTime},
    {kItemDate, 100, "System.ItemDate", "Date", 18, 0, K::DateTime},
    {kVersion, 3, "System.FileDescription", "File description", 20, 0, K::Text},
    {kVersion, 4, "System.FileVersion", "File version", 12, 0, K::Text},
    {kVersion, 5, "System.InternalName", "Internal name", 20, 0, K::Text},
    {kVersion, 7, "System.Software.ProductName", "Product name", 20, 0, K::Text},
    {kVersion, 8, "System.Software.ProductVersion", "Product version", 12, 0, K::Text},
    {kExtension, 100, "System.FileExtension", "Extension", 8, 0, K::Text},
    {kRecycle, 4, "System.FileOwner", "Owner", 12, 0, K::Text},
    {kRecycle, 2, "System.Recycle.DeletedFrom", "Original location", 30, 0, K::Text},
    {kRecycle, 3, "System.Recycle.DateDeleted", "Date deleted", 18, 0, K::DateTime},
    {kAuthors, 100, "System.ItemAuthors", "Creator", 20, 0, K::Text},
    {kConversation, 100, "System.Message.ConversationID", "Conversation ID", 20, 0, K::Text},
    {kLink, 2, "System.Link.TargetParsingPath", "Target", 30, 0, K::Text},
    {kMedia, 48, "System.ThumbnailLargeUri", "Thumbnail", 20, 0, K::Text},
    {kMedia, 11, "System.Copyright", "Copyright", 20, 0, K::Text},
    {kMedia, 9, "System.Rating", "Rating", 10, 0, K::Number},
    {kMedia, 30, "System.Media.Publisher", "Publisher", 20, 0, K::Text},
    {kMedia, 19, "System.Music.Composer", "Composers", 20, 0, K::Text},
    {kVolume, 3, "System.Capacity", "Total size", 12, kRight, K::ByteSize},
    {kVolume, 2, "System.FreeSpace", "Free space", 12, kRight, K::ByteSize},
    {kVolume, 4, "System.Volume.FileSystem", "File system", 10, 0, K::Text},
    {kAttachments, 8, "System.Message.HasAttachments", "Has attachments", 8, 0, K::Boolean},
    {kImage, 7, "System.Image.BitDepth", "Bit depth", 8, kRight, K::Number},
    {kImage, 13, "System.Image.Dimensions", "Dimensions", 12, 0, K::Text},
    {kImage, 5, "System.Image.HorizontalResolution", "Horizontal resolution", 10, kRight, K::Number},
    {kImage, 3, "System.Image.HorizontalSize", "Width", 8, kRight, K::Number},
    {kImage, 6, "System.Image.VerticalResolution", "Vertical resolution", 10, kRight, K::Number},
    {kImage, 4, "System.Image.VerticalSize", "Height", 8, kRight, K::Number},
    {kPhoto, 259, "System.Image.Compression", "Compression", 10, 0, K::Number},
    {kPhoto, 36867, "System.Photo.DateTaken", "Date taken", 18, 0, K::DateTime},
    {kPhoto, 272, "System.Photo.CameraModel", nullptr, 16, 0, K::Text},
    {kPhoto, 271, "System.Photo.CameraManufacturer", "Camera maker", 16, 0, K::Text},
    {kPhoto, 37378, "System.Photo.Aperture", nullptr, 8, kRight, K::Number},
    {kPhoto, 18248, "System.Photo.Event", nullptr, 16, 0, K::Text},
    {kPhoto, 33434, "System.Photo.ExposureTime", nullptr, 8, kRight, K::Number},
    {kPhoto, 34850, "System.Photo.ExposureProgram", nullptr, 10, 0, K::Number},
    {kPhoto, 33437, "System.Photo.FNumber", "F-stop", 8, kRight, K::Number},
    {kPhoto, 37385, "System.Photo.Flash", "Flash mode", 10, 0, K::Number},
    {kPhoto, 37386, "System.Photo.FocalLength", nullptr, 8, kRight, K::Number},
    {kPhoto, 34855, "System.Photo.ISOSpeed", "ISO speed", 8, kRight, K::Number},
    {kPhoto, 274, "System.Photo.Orientation", nullptr, 8, 0, K::Number},
    {kPhoto, 37377, "System.Photo.ShutterSpeed", nullptr, 8, kRight, K::Number},
    {kOrientationText, 100, "System.Photo.OrientationText", "Orientation", 10, 0, K::Text},
    {kExifVersion, 100, "System.Photo.ExifVersion", "EXIF version", 8, 0, K::Text},
    {kAudio, 4, "System.Audio.EncodingBitrate", "Bit rate", 10, kRight, K::Number},
    {kAudio, 5, "System.Audio.SampleRate", nullptr, 10, kRight, K::Number},
    {kAudio, 3, "System.Media.Duration", "Length", 10, kRight, K::Duration},
    {kMusic, 5, "System.Media.Year", "Year", 6, kRight, K::Number},
    {kMusic, 13, "System.Music.AlbumArtist", nullptr, 20, 0, K::Text},
    {kMusic, 4, "System.Music.AlbumTitle", "Album", 20, 0, K::Text},
    {kMusic, 2, "System.Music.Artist", "Contributing artists", 20, 0, K::Text},
    {kMusic, 35, "System.Music.BeatsPerMinute", "Beats-per-minute", 8, kRight, K::Text},
    {kMusic, 11, "System.Music.Genre", nullptr, 12, 0, K::Text},
    {kMusic, 12, "System.Music.Lyrics", nullptr, 20, 0, K::Text},
    {kMusic, 39, "System.Music.Mood", nullptr, 12, 0, K::Text},
    {kMusic, 7, "System.Music.TrackNumber", "#", 6, kRight, K::Number},
    {kSearch, 2, "System.Search.AutoSummary", "Summary", 30, 0, K::Text},
};
// clang-format on

// "CameraModel" → "Camera model".
QString TitleFromName(const QString& pName)
{
    const QString last = pName.section(u'.', -1);
    QString title;
    for (qsizetype i = 0; i < last.size(); ++i) {
        const QChar c = last[i];
        if (i > 0 && c.isUpper()) {
            title += u' ';
            title += c.toLower();
        } else {
            title += c;
        }
    }
    return title;
}

struct TTable
{
    std::vector<PropertyDescription> Rows;
    QHash<QString, std::size_t> ByName;
    // Views look a description up for every cell they draw.
    std::map<std::pair<Guid, std::uint32_t>, std::size_t> ByKey;
};

const TTable& Table()
{
    static const TTable table = [] {
        TTable t;
        t.Rows.reserve(std::size(kRows));
        for (const TRow& row : kRows) {
            PropertyDescription d;
            d.Key = PropertyKey{row.FormatId, row.PropertyId};
            d.CanonicalName = QString::fromLatin1(row.Name);
            d.DisplayName =
                row.Title ? QString::fromLatin1(row.Title) : TitleFromName(d.CanonicalName);
            d.DefaultColumnWidth = row.Width;
            d.ViewFlags = row.Flags;
            d.Kind = row.Kind;
            t.ByName.insert(d.CanonicalName, t.Rows.size());
            t.ByKey.emplace(std::make_pair(row.FormatId, row.PropertyId), t.Rows.size());
            t.Rows.push_back(std::move(d));
        }
        return t;
    }();
    return table;
}

// The locale's word for bytes: the texts users of these languages know from their systems.
QString BytesWord(const QLocale& pLocale)
{
    switch (pLocale.language()) {
    case QLocale::Japanese:
        return QStringLiteral("バイト");
    case QLocale::German:
        return QStringLiteral("Bytes");
    case QLocale::French:
        return QStringLiteral("octets");
    default:
        return QStringLiteral("bytes");
    }
}

std::optional<std::uint64_t> AsUnsigned(const PropVariant& pValue)
{
    if (const auto* u64 = std::get_if<std::uint64_t>(&pValue))
        return *u64;
    if (const auto* u32 = std::get_if<std::uint32_t>(&pValue))
        return *u32;
    if (const auto* i64 = std::get_if<std::int64_t>(&pValue); i64 && *i64 >= 0)
        return static_cast<std::uint64_t>(*i64);
    if (const auto* i32 = std::get_if<std::int32_t>(&pValue); i32 && *i32 >= 0)
        return static_cast<std::uint64_t>(*i32);
    return std::nullopt;
}

// By type alone: what a property nobody described gets.
QString FormatGeneric(const PropVariant& pValue, const QLocale& pLocale)
{
    return std::visit(
        [&](const auto& pV) -> QString {
            using T = std::decay_t<decltype(pV)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return {};
            else if constexpr (std::is_same_v<T, QString>)
                return pV;
            else if constexpr (std::is_same_v<T, bool>)
                return pV ? QStringLiteral("Yes") : QStringLiteral("No");
            else if constexpr (std::is_same_v<T, FileTime>)
                return FormatDateTime(pV, pLocale);
            else if constexpr (std::is_same_v<T, double>)
                return pLocale.toString(pV, 'g', 6);
            else if constexpr (std::is_same_v<T, std::uint64_t>)
                return pLocale.toString(static_cast<qulonglong>(pV));
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return pLocale.toString(static_cast<qlonglong>(pV));
            else
                return pLocale.toString(static_cast<qlonglong>(pV));
        },
        pValue);
}

} // namespace

const std::vector<PropertyDescription>& PropertySystem::All()
{
    return Table().Rows;
}

const PropertyDescription* PropertySystem::Find(const PropertyKey& pKey)
{
    const TTable& table = Table();
    const auto found = table.ByKey.find(std::make_pair(pKey.FormatId, pKey.PropertyId));
    return found == table.ByKey.end() ? nullptr : &table.Rows[found->second];
}

std::optional<PropertyKey> PropertySystem::KeyFromName(const QString& pCanonicalName)
{
    const TTable& table = Table();
    const auto found = table.ByName.constFind(pCanonicalName);
    if (found == table.ByName.cend())
        return std::nullopt;
    return table.Rows[*found].Key;
}

QString PropertySystem::NameFromKey(const PropertyKey& pKey)
{
    const PropertyDescription* d = Find(pKey);
    return d ? d->CanonicalName : QString();
}

QString PropertySystem::FormatForDisplay(const PropertyKey& pKey, const PropVariant& pValue,
                                         std::uint32_t pFlags, const QLocale& pLocale)
{
    const PropertyDescription* d = Find(pKey);
    if (!d)
        return FormatGeneric(pValue, pLocale);
    return FormatValue(d->Kind, pValue, pFlags, pLocale);
}

QString PropertySystem::FormatValue(PropertyKind pKind, const PropVariant& pValue,
                                    std::uint32_t pFlags, const QLocale& pLocale)
{
    if (std::holds_alternative<std::monostate>(pValue))
        return {};
    switch (pKind) {
    case PropertyKind::ByteSize:
        if (const auto bytes = AsUnsigned(pValue))
            return (pFlags & pdff::ALWAYSKB) ? FormatKilobytes(*bytes, pLocale)
                                             : FormatByteSize(*bytes, pLocale);
        break;
    case PropertyKind::Attributes:
        if (const auto bits = AsUnsigned(pValue))
            return FileAttributesText(static_cast<std::uint32_t>(*bits));
        break;
    case PropertyKind::Duration:
        if (const auto ticks = AsUnsigned(pValue)) {
            const std::uint64_t seconds = *ticks / 10000000u;
            return QStringLiteral("%1:%2:%3")
                .arg(seconds / 3600)
                .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                .arg(seconds % 60, 2, 10, QLatin1Char('0'));
        }
        break;
    case PropertyKind::Text:
    case PropertyKind::Number:
    case PropertyKind::DateTime:
    case PropertyKind::Boolean:
        break;
    }
    return FormatGeneric(pValue, pLocale);
}

QString FormatByteSize(std::uint64_t pBytes, const QLocale& pLocale)
{
    if (pBytes < 1024)
        return QString::number(pBytes) + u' ' + BytesWord(pLocale);
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    // The unit: the smallest whose number stays below 1000 (so 1000..1023 KB shows as 0.97 MB).
    std::size_t unit = 0;
    long double divisor = 1024.0L;
    while (unit + 1 < std::size(kUnits) && static_cast<long double>(pBytes) >= 1000.0L * divisor) {
        divisor *= 1024.0L;
        ++unit;
    }
    const long double value = static_cast<long double>(pBytes) / divisor;
    const int decimals = value < 10 ? 2 : (value < 100 ? 1 : 0);
    const long double scale = decimals == 2 ? 100.0L : (decimals == 1 ? 10.0L : 1.0L);
    // Truncated, never rounded up: 1023.99 bytes of a kilobyte is not yet "1.00 KB" more.
    const double truncated = static_cast<double>(std::floor(value * scale) / scale);
    return pLocale.toString(truncated, 'f', decimals) + u' ' + QLatin1String(kUnits[unit]);
}

QString FormatKilobytes(std::uint64_t pBytes, const QLocale& pLocale)
{
    const std::uint64_t kb = pBytes / 1024u + (pBytes % 1024u != 0 ? 1u : 0u);
    return pLocale.toString(static_cast<qulonglong>(kb)) + QStringLiteral(" KB");
}

namespace {

QString FormatLocalDateTime(const QDate& pDate, const QTime& pTime, const QLocale& pLocale);

} // namespace

QString FormatDateTime(FileTime pTime, const QLocale& pLocale)
{
    QDate date;
    QTime time;
    if (!LocalDateAndTime(pTime, date, time))
        return {};
    return FormatLocalDateTime(date, time, pLocale);
}

QString FormatDateTime(const QDateTime& pTime, const QLocale& pLocale)
{
    if (!pTime.isValid())
        return {};
    const QDateTime local = pTime.timeSpec() == Qt::UTC ? UtcToLocal(pTime) : pTime;
    return FormatLocalDateTime(local.date(), local.time(), pLocale);
}

namespace {

QString FormatLocalDateTime(const QDate& pDate, const QTime& pTime, const QLocale& pLocale)
{
    // The locale's formatting reads its pattern on every call, and a details view writes a date
    // for every item: the texts of days and of minutes are kept per thread and per locale (files
    // of one folder share few of either).
    struct TCache
    {
        QLocale Locale;
        QHash<qint64, QString> Days;
        QHash<int, QString> Minutes;
    };
    thread_local TCache cache;
    // Bounds: a few years of days, and every minute of a day.
    constexpr qsizetype kMaxDays = 4096;
    if (cache.Locale != pLocale || cache.Days.size() > kMaxDays) {
        cache.Locale = pLocale;
        cache.Days.clear();
        cache.Minutes.clear();
    }
    const QDate& date = pDate;
    const QTime& time = pTime;
    auto day = cache.Days.constFind(date.toJulianDay());
    if (day == cache.Days.constEnd())
        day = cache.Days.insert(date.toJulianDay(), pLocale.toString(date, QLocale::ShortFormat));
    const int minuteOfDay = time.hour() * 60 + time.minute();
    auto minute = cache.Minutes.constFind(minuteOfDay);
    if (minute == cache.Minutes.constEnd())
        minute = cache.Minutes.insert(
            minuteOfDay, pLocale.toString(QTime(time.hour(), time.minute()), QLocale::ShortFormat));
    return *day + u' ' + *minute;
}

} // namespace

QString FileAttributesText(std::uint32_t pAttributes)
{
    static const std::pair<std::uint32_t, char16_t> kLetters[] = {
        {fileattr::READONLY, u'R'},      {fileattr::HIDDEN, u'H'},  {fileattr::SYSTEM, u'S'},
        {fileattr::DIRECTORY, u'D'},     {fileattr::ARCHIVE, u'A'}, {fileattr::COMPRESSED, u'C'},
        {fileattr::REPARSE_POINT, u'L'}, {fileattr::OFFLINE, u'O'}, {0x2000u, u'I'},
    };
    QString text;
    for (const auto& [bit, letter] : kLetters) {
        if (pAttributes & bit)
            text += QChar(letter);
    }
    return text;
}

QVariant PropVariantToVariant(const PropVariant& pValue)
{
    return std::visit(
        [](const auto& pV) -> QVariant {
            using T = std::decay_t<decltype(pV)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return {};
            else if constexpr (std::is_same_v<T, FileTime>)
                return QVariant(FileTimeToUtc(pV));
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return QVariant(static_cast<qlonglong>(pV));
            else if constexpr (std::is_same_v<T, std::uint64_t>)
                return QVariant(static_cast<qulonglong>(pV));
            else
                return QVariant::fromValue(pV);
        },
        pValue);
}

bool VariantToPropVariant(const QVariant& pValue, PropVariant& pOut)
{
    pOut = std::monostate{};
    if (!pValue.isValid() || pValue.isNull())
        return true;
    switch (pValue.typeId()) {
    case QMetaType::Bool:
        pOut = pValue.toBool();
        return true;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
        pOut = static_cast<std::int32_t>(pValue.toInt());
        return true;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
        pOut = static_cast<std::uint32_t>(pValue.toUInt());
        return true;
    case QMetaType::LongLong:
    case QMetaType::Long:
        pOut = static_cast<std::int64_t>(pValue.toLongLong());
        return true;
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        pOut = static_cast<std::uint64_t>(pValue.toULongLong());
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        pOut = pValue.toDouble();
        return true;
    case QMetaType::QDateTime:
        pOut = FileTimeFromDateTime(pValue.toDateTime());
        return true;
    case QMetaType::QString:
        pOut = pValue.toString();
        return true;
    default:
        return false;
    }
}

} // namespace kiv::pf

#pragma once

// The property system: every property key the family names, with its canonical name
// ("System.Size"), the title a column shows, its default width, how it is aligned and shown, and
// how its values are written for the user. One static table serves every platform (the keys are
// the published ones, so values move between hosts unchanged). Read-only after start; any thread.

#include "core/platform/PropVariant.h"

#include <QLocale>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>
#include <vector>

namespace kiv::pf {

// How a property is shown in a view (PROPDESC_VIEW_FLAGS bits).
namespace pdvf {
inline constexpr std::uint32_t CENTERALIGN = 0x1;
inline constexpr std::uint32_t RIGHTALIGN = 0x2;
inline constexpr std::uint32_t SHOWBYDEFAULT = 0x40;
inline constexpr std::uint32_t HIDDEN = 0x800;
} // namespace pdvf

// Options of FormatForDisplay (PROPDESC_FORMAT_FLAGS bits).
namespace pdff {
inline constexpr std::uint32_t DEFAULT = 0x0;
// Sizes in whole kilobytes ("1,234 KB"), as a file list's Size column shows them.
inline constexpr std::uint32_t ALWAYSKB = 0x4;
inline constexpr std::uint32_t NOAUTOREADINGORDER = 0x200;
} // namespace pdff

// The column state bits a folder reports (SHCOLSTATE).
namespace shcolstate {
inline constexpr std::uint32_t TYPE_STR = 0x1;
inline constexpr std::uint32_t TYPE_INT = 0x2;
inline constexpr std::uint32_t TYPE_DATE = 0x3;
inline constexpr std::uint32_t TYPEMASK = 0xF;
inline constexpr std::uint32_t ONBYDEFAULT = 0x10;
// Asks the disk or decodes content: computed off the user-interface thread.
inline constexpr std::uint32_t SLOW = 0x20;
inline constexpr std::uint32_t SECONDARYUI = 0x80;
inline constexpr std::uint32_t HIDDEN = 0x100;
} // namespace shcolstate

// What a property's values are, for formatting.
enum class PropertyKind
{
    Text,
    Number,
    // Bytes: "1.50 MB" (or whole kilobytes with pdff::ALWAYSKB).
    ByteSize,
    DateTime,
    // File attribute bits as letters ("RHSDACLOI").
    Attributes,
    // 100-nanosecond units as "h:mm:ss".
    Duration,
    Boolean,
};

struct PropertyDescription
{
    PropertyKey Key;
    QString CanonicalName;
    // The column title ("Date modified").
    QString DisplayName;
    // In average characters.
    int DefaultColumnWidth = 20;
    std::uint32_t ViewFlags = 0;
    PropertyKind Kind = PropertyKind::Text;
};

class PropertySystem
{
public:
    PropertySystem() = delete;

    // Every description, in a fixed order.
    static const std::vector<PropertyDescription>& All();
    // The description of a key; null for keys the system does not know.
    static const PropertyDescription* Find(const PropertyKey& pKey);
    // Canonical names compared exactly (ordinal), as the published names are.
    static std::optional<PropertyKey> KeyFromName(const QString& pCanonicalName);
    // Empty for unknown keys.
    static QString NameFromKey(const PropertyKey& pKey);

    // The text a user sees for a value of the property (pdff:: flags); std::monostate gives "".
    // Unknown keys are formatted by the value's type.
    static QString FormatForDisplay(const PropertyKey& pKey, const PropVariant& pValue,
                                    std::uint32_t pFlags = pdff::DEFAULT,
                                    const QLocale& pLocale = QLocale());
    static QString FormatValue(PropertyKind pKind, const PropVariant& pValue,
                               std::uint32_t pFlags = pdff::DEFAULT,
                               const QLocale& pLocale = QLocale());
};

// Bytes as file managers show them: below 1024 "N bytes"; above, three significant digits,
// truncated, in the largest unit that keeps the number below 1000 ("1.00 KB", "999 KB",
// "0.97 MB", "1.00 MB"), with the locale's decimal point and its word for bytes.
QString FormatByteSize(std::uint64_t pBytes, const QLocale& pLocale = QLocale());
// Whole kilobytes, rounded up, with group separators: "1 KB" for 1 byte, "0 KB" for none.
QString FormatKilobytes(std::uint64_t pBytes, const QLocale& pLocale = QLocale());
// The locale's short date and the time without seconds, in the user's zone; "" for 0 ticks.
QString FormatDateTime(FileTime pTime, const QLocale& pLocale = QLocale());
QString FormatDateTime(const QDateTime& pTime, const QLocale& pLocale = QLocale());
// The letters of the set attribute bits in the order R H S D A C L O I.
QString FileAttributesText(std::uint32_t pAttributes);

// Between the platform's typed values and Qt's: dates become UTC QDateTime, and back.
QVariant PropVariantToVariant(const PropVariant& pValue);
// False when the variant has no property type (a list, a map...); pOut is then empty.
bool VariantToPropVariant(const QVariant& pValue, PropVariant& pOut);

} // namespace kiv::pf

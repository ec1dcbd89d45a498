#pragma once

#include "core/platform/FileTime.h"
#include "core/platform/Guid.h"

#include <QString>

#include <cstdint>
#include <variant>

namespace kiv::pf {

// Names a property of an item: a format identifier and a property number within it.
struct PropertyKey
{
    Guid FormatId;
    std::uint32_t PropertyId = 0;

    friend bool operator==(const PropertyKey&, const PropertyKey&) = default;
};

// A typed property value; std::monostate = no value for this item (the row is left out).
using PropVariant = std::variant<std::monostate, bool, std::int32_t, std::uint32_t, std::int64_t,
                                 std::uint64_t, double, FileTime, QString>;

// The keys the file-system folders answer.
namespace pkey {
// System.ItemNameDisplay
inline constexpr PropertyKey ItemNameDisplay{
    MakeGuid(0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC), 10};
// System.Size
inline constexpr PropertyKey Size{
    MakeGuid(0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC), 12};
// System.FileAttributes
inline constexpr PropertyKey FileAttributes{
    MakeGuid(0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC), 13};
// System.DateModified
inline constexpr PropertyKey DateModified{
    MakeGuid(0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC), 14};
// System.DateCreated
inline constexpr PropertyKey DateCreated{
    MakeGuid(0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC), 15};
// System.DateAccessed
inline constexpr PropertyKey DateAccessed{
    MakeGuid(0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC), 16};
} // namespace pkey

} // namespace kiv::pf

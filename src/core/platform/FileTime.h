#pragma once

#include <cstdint>

namespace kiv::pf {

// A point in time as 100-nanosecond intervals since 1601-01-01 UTC: the unit of find data and of
// the date properties. Compared as integers, so equal times stay equal (no rounding through
// floating point).
struct FileTime
{
    std::uint64_t Ticks = 0;

    // From seconds and nanoseconds since 1970-01-01 UTC; times before 1601 give 0 ("unknown").
    static constexpr FileTime FromUnix(std::int64_t pSeconds, std::uint32_t pNanoseconds)
    {
        constexpr std::int64_t kEpochDifference = 11644473600; // seconds from 1601 to 1970
        const std::int64_t seconds = pSeconds + kEpochDifference;
        if (seconds < 0)
            return FileTime{};
        return FileTime{static_cast<std::uint64_t>(seconds) * 10000000u + pNanoseconds / 100u};
    }

    friend constexpr bool operator==(FileTime, FileTime) = default;
    friend constexpr auto operator<=>(FileTime, FileTime) = default;
};

} // namespace kiv::pf

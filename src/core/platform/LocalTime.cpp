#include "core/platform/LocalTime.h"

namespace kiv::pf {

namespace {
// Milliseconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifferenceMs = 11644473600000;
} // namespace

QDateTime FileTimeToUtc(FileTime pTime)
{
    if (pTime.Ticks == 0)
        return {};
    const auto ms = static_cast<std::int64_t>(pTime.Ticks / 10000) - kEpochDifferenceMs;
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
}

QDateTime FileTimeToLocal(FileTime pTime, const QTimeZone& pZone)
{
    return UtcToLocal(FileTimeToUtc(pTime), pZone);
}

QDateTime UtcToLocal(const QDateTime& pTime, const QTimeZone& pZone)
{
    if (!pTime.isValid())
        return {};
    return pTime.toTimeZone(pZone);
}

FileTime FileTimeFromDateTime(const QDateTime& pTime)
{
    if (!pTime.isValid())
        return {};
    const std::int64_t ms = pTime.toMSecsSinceEpoch() + kEpochDifferenceMs;
    if (ms <= 0)
        return {};
    return FileTime{static_cast<std::uint64_t>(ms) * 10000u};
}

} // namespace kiv::pf

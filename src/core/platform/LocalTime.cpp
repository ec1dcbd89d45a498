#include "core/platform/LocalTime.h"

#include <QHash>

#include <chrono>

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

QDateTime FileTimeToLocal(FileTime pTime)
{
    if (pTime.Ticks == 0)
        return {};
    // The system's local time directly: a details view converts every date it shows, and the
    // general time-zone conversion costs several times as much.
    const auto ms = static_cast<std::int64_t>(pTime.Ticks / 10000) - kEpochDifferenceMs;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
}

QDateTime FileTimeToLocal(FileTime pTime, const QTimeZone& pZone)
{
    return UtcToLocal(FileTimeToUtc(pTime), pZone);
}

QDateTime UtcToLocal(const QDateTime& pTime)
{
    if (!pTime.isValid())
        return {};
    return pTime.toLocalTime();
}

QDateTime UtcToLocal(const QDateTime& pTime, const QTimeZone& pZone)
{
    if (!pTime.isValid())
        return {};
    return pTime.toTimeZone(pZone);
}

bool LocalDateAndTime(FileTime pTime, QDate& pDate, QTime& pTimeOfDay)
{
    if (pTime.Ticks == 0)
        return false;
    constexpr std::int64_t kBlockMs = 15 * 60 * 1000;
    constexpr qsizetype kMaxBlocks = 4096;
    constexpr auto kKeepFor = std::chrono::minutes(1);
    struct TOffsets
    {
        QHash<std::int64_t, int> ByBlock;
        std::chrono::steady_clock::time_point Since;
    };
    thread_local TOffsets offsets;
    const auto now = std::chrono::steady_clock::now();
    if (now - offsets.Since > kKeepFor || offsets.ByBlock.size() > kMaxBlocks) {
        offsets.ByBlock.clear();
        offsets.Since = now;
    }
    const auto ms = static_cast<std::int64_t>(pTime.Ticks / 10000) - kEpochDifferenceMs;
    // Floor division: times before 1970 have negative milliseconds.
    const std::int64_t block = ms >= 0 ? ms / kBlockMs : -((-ms + kBlockMs - 1) / kBlockMs);
    auto found = offsets.ByBlock.constFind(block);
    if (found == offsets.ByBlock.constEnd())
        found = offsets.ByBlock.insert(
            block, QDateTime::fromMSecsSinceEpoch(block * kBlockMs, Qt::LocalTime).offsetFromUtc());
    const QDateTime shifted =
        QDateTime::fromMSecsSinceEpoch(ms + std::int64_t{*found} * 1000, QTimeZone::utc());
    pDate = shifted.date();
    pTimeOfDay = shifted.time();
    return true;
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

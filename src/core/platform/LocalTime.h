#pragma once

// The one place where file times (UTC, as find data and the date properties carry them) become the
// dates the application shows and compares, and back. Everything that turns a FileTime into a
// QDateTime goes through here, so that a column, a tooltip and a sort never disagree about which
// day a file was changed on. Pure functions; any thread.

#include "core/platform/FileTime.h"

#include <QDateTime>
#include <QTimeZone>

namespace kiv::pf {

// The instant as a UTC QDateTime; 0 ticks ("unknown") gives an invalid QDateTime.
QDateTime FileTimeToUtc(FileTime pTime);
// The instant in the user's zone: the application's local date.
QDateTime FileTimeToLocal(FileTime pTime);
// The instant in another zone.
QDateTime FileTimeToLocal(FileTime pTime, const QTimeZone& pZone);
// A UTC (or any other zone's) QDateTime as the same instant in the user's zone, or in pZone.
QDateTime UtcToLocal(const QDateTime& pTime);
QDateTime UtcToLocal(const QDateTime& pTime, const QTimeZone& pZone);
// The date and time of day the user's clock showed at the instant, without making a QDateTime:
// what a details view needs for each of many items. The zone's offset is looked up once per
// quarter hour of UTC (transitions fall on quarter hours) and kept per thread for a minute, so
// a change of the system's zone shows within a minute. False for 0 ticks.
bool LocalDateAndTime(FileTime pTime, QDate& pDate, QTime& pTimeOfDay);
// Back to file time; an invalid QDateTime or one before 1601 gives 0 ticks.
FileTime FileTimeFromDateTime(const QDateTime& pTime);

} // namespace kiv::pf

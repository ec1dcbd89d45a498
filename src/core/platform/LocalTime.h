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
// The instant in the given zone (the user's zone by default): the application's local date.
QDateTime FileTimeToLocal(FileTime pTime, const QTimeZone& pZone = QTimeZone::systemTimeZone());
// A UTC (or any other zone's) QDateTime as the same instant in pZone.
QDateTime UtcToLocal(const QDateTime& pTime, const QTimeZone& pZone = QTimeZone::systemTimeZone());
// Back to file time; an invalid QDateTime or one before 1601 gives 0 ticks.
FileTime FileTimeFromDateTime(const QDateTime& pTime);

} // namespace kiv::pf

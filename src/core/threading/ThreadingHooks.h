#pragma once

// Process-wide hooks of the background machinery: where diagnostic lines and unhandled
// exceptions of background work go, and the clock and sleep the pools and work items use.
// The program installs its handlers at start-up; tests replace the clock and sleep with a
// virtual clock so that time rules (50 ms delay steps, idle exits) run without waiting.
// Every function is thread-safe. Installing is meant for start-up or a test's set-up, while no
// background work runs.

#include <QLoggingCategory>
#include <QString>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <typeinfo>

namespace kiv::threading {

// Receives one finished diagnostic line ("Thread 1234: text").
using TDebugSink = std::function<void(const QString& pLine)>;
// The application's exception handler: shows or logs an exception that background work (or a
// delivery on the user-interface thread) did not handle. Runs on the thread where it happened.
using TExceptionHandler = std::function<void(std::exception_ptr pError)>;
using TSleepFunction = std::function<void(std::chrono::milliseconds pDuration)>;
// Milliseconds of a monotonic clock.
using TTickFunction = std::function<std::uint64_t()>;

// The Qt logging categories of diagnostic lines: "tovaline.debug" for every line,
// "tovaline.debug.verbose" for the verbose ones. Both are off until the user's logging rules
// enable their debug output (QT_LOGGING_RULES="tovaline.debug.debug=true").
const QLoggingCategory& DebugCategory();
const QLoggingCategory& VerboseDebugCategory();

// Installs the sink and returns the previous one. Empty: the default, which writes through
// DebugCategory() when it is enabled, else to stderr when TOVALINE_DEBUG is set, never to
// stdout.
TDebugSink SetDebugSink(TDebugSink pSink);
// Writes "Thread %d: %s" with the calling thread's id.
void DebugLine(const QString& pMessage);

// Installs the handler (empty: the default, which writes "Thread %d: %s: %s" with the
// exception's text to the debug sink) and returns the previous one.
TExceptionHandler SetExceptionHandler(TExceptionHandler pHandler);
// Hands pError to the application's exception handler; never throws.
void HandleException(std::exception_ptr pError) noexcept;

TSleepFunction SetSleepFunction(TSleepFunction pSleep);
void Sleep(std::chrono::milliseconds pDuration);

TTickFunction SetTickFunction(TTickFunction pTick);
std::uint64_t TickCount();

// The unqualified name of a type ("TWorkerThread"), for diagnostics.
QString TypeName(const std::type_info& pType);

} // namespace kiv::threading

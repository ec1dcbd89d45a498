#pragma once

// The family's diagnostic lines ("Thread 1234: text"), for developers only. Every line goes
// through the background machinery's debug sink (core/threading/ThreadingHooks.h), so tests and
// the program capture them in one place. Without an installed sink the lines go to the Qt logging
// category "tovaline.debug" (standard error, off unless enabled, e.g.
// QT_LOGGING_RULES="tovaline.debug.debug=true"); they never go to standard output.
//
// Developer-only lines (LogDebugMessage) are written only while "tovaline.debug" has debug
// output enabled, verbose ones (LogDebugVerboseMessage) only while "tovaline.debug.verbose" has.
// All operations are thread-safe.

#include <QString>

#include <cstdint>
#include <exception>

namespace kiv {

class TDebugLog
{
public:
    // "Thread %d: %s".
    static void LogMessage(const QString& pMessage);
    // "Thread %d: %s: %s" with the exception's text.
    static void LogException(const QString& pMessage, const std::exception& pError);
    static void LogException(const QString& pMessage, std::exception_ptr pError);
    // "Thread %d: %s: %d (\"%s\")" with the code and its system text.
    static void LogHResult(const QString& pMessage, std::int32_t pResult);
    // Only while developer lines are enabled.
    static void LogDebugMessage(const QString& pMessage);
    // Only while verbose lines are enabled.
    static void LogDebugVerboseMessage(const QString& pMessage);

    static bool DebugEnabled();
    static bool VerboseEnabled();
};

} // namespace kiv

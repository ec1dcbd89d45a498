#pragma once

#include "core/platform/HResult.h"

#include <QString>
#include <QStringList>

namespace kiv::pf {

// Starts other programs (a terminal in a folder, the default application of a file). Programs
// get their arguments as a list, never through a shell, so names with blanks, quotes or "$" in
// them reach the program unchanged. Thread-safe.
class IExec
{
public:
    virtual ~IExec() = default;
    // Starts pProgram (looked up in the search path when it has no "/") in pWorkingDir and does
    // not wait for it. HResultFromWin32(2) when the program cannot be found or started.
    virtual HResult StartDetached(const QString& pProgram, const QStringList& pArguments,
                                  const QString& pWorkingDir) = 0;
};

} // namespace kiv::pf

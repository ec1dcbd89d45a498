#include "LinuxExec.h"

#include <QProcess>

namespace kiv::pf::lnx {

HResult TLinuxExec::StartDetached(const QString& pProgram, const QStringList& pArguments,
                                  const QString& pWorkingDir)
{
    // QProcess starts the program with execve and an argument vector (no shell), in a child of
    // a child so that no zombie is left behind when the program ends.
    QProcess process;
    process.setProgram(pProgram);
    process.setArguments(pArguments);
    process.setWorkingDirectory(pWorkingDir);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached() ? S_OK : HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
}

} // namespace kiv::pf::lnx

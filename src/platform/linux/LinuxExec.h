#pragma once

#include "core/platform/IExec.h"

namespace kiv::pf::lnx {

// Starts programs detached from this process (it never waits for them, and they outlive it).
class TLinuxExec final : public IExec
{
public:
    HResult StartDetached(const QString& pProgram, const QStringList& pArguments,
                          const QString& pWorkingDir) override;
};

} // namespace kiv::pf::lnx

#pragma once

#include "core/platform/IDebug.h"
#include "core/platform/IInfo.h"

namespace kiv::pf::lnx {

// Information about the host and the process.
class TLinuxInfo final : public IInfo
{
public:
    OsProfile Profile() override { return OsProfile{}; }
    bool LoadString(StringModule pModule, int pId, QString& pText) override;
    QString SystemErrorText(std::uint32_t pCodeOrResult) override;
    QString ExecutablePath() override;
    bool IsUserAdmin() override { return false; }
    bool IsDebuggerPresent() override;
    LocaleInfo Locale() override;
};

// Writes diagnostic lines to the standard error stream when TOVALINE_DEBUG is set.
class TLinuxDebug final : public IDebug
{
public:
    void Write(const QString& pLine) override;
};

} // namespace kiv::pf::lnx

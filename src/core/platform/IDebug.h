#pragma once

#include <QString>

namespace kiv::pf {

// Diagnostic lines for developers (never shown to users). Thread-safe.
class IDebug
{
public:
    virtual ~IDebug() = default;
    virtual void Write(const QString& pLine) = 0;
};

} // namespace kiv::pf

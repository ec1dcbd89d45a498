#pragma once

// The path utilities' view of the file system and the process, answered by the installed
// platform. Installed once at start-up (InstallPlatformPathEnvironment) after the platform; each
// answer asks the platform that is installed at the time of the call. Thread-safe.

#include "core/shell/PathUtils.h"

namespace kiv {

class TPlatformPathEnvironment final : public IPathEnvironment
{
public:
    QString CurrentDir() const override;
    QString HomeDir() const override;
    QString VolumeRootOf(const QString& pPath) const override;
    // Paths have no short forms here: the path is its own long form.
    std::optional<QString> LongPathName(const QString& pPath) const override;
    std::optional<std::uint32_t> FileAttributes(const QString& pPath) const override;
    std::optional<std::uint32_t> FindFirstAttributes(const QString& pPath) const override;
    QString MyComputerName() const override;
};

// Makes TPathUtils ask the platform.
void InstallPlatformPathEnvironment();

} // namespace kiv

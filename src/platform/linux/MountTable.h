#pragma once

#include "core/platform/IFileSystem.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::pf::lnx {

// One line of the system's mount table, with the mount path as raw bytes.
struct TMount
{
    std::string Path;
    std::string Source;
    std::string Type;
    DriveType Drive = DriveType::Fixed;
    bool ReadOnly = false;
    bool Visible = false;
};

// Parses the text of /proc/self/mountinfo. pHome is the user's home folder (mounts below it are
// visible). A mount point mounted over keeps only its last entry. Malformed lines are skipped.
std::vector<TMount> ParseMountInfo(std::string_view pText, std::string_view pHome);
// Reads and parses the running process's table (no access to the mounts themselves).
std::vector<TMount> ReadMountTable();
// The deepest mount whose path is pPath or a folder above it (component-wise); nullptr when the
// table has none (a relative path).
const TMount* MountContaining(const std::vector<TMount>& pMounts, std::string_view pPath,
                              bool pVisibleOnly);
// True when pPrefix is pPath or one of its folders, compared by whole components.
bool IsPathPrefix(std::string_view pPrefix, std::string_view pPath);

MountInfo ToMountInfo(const TMount& pMount);

// Makes ReadMountTable parse pText instead of the system's table (nullopt: the system's again),
// so tests can show network mounts without mounting anything.
void OverrideMountTableForTesting(std::optional<std::string> pText);

} // namespace kiv::pf::lnx

#pragma once

#include "core/platform/FileTime.h"

#include <QString>

#include <cstdint>

namespace kiv::pf {

// What a folder knows of one file-system child without asking the disk again: the snapshot taken
// when the item was listed or parsed. Attributes are the fileattr:: bits.
struct FindData
{
    std::uint32_t Attributes = 0;
    FileTime CreationTime;
    FileTime LastAccessTime;
    FileTime LastWriteTime;
    std::uint64_t Size = 0;
    // The name in its folder; undecodable bytes as escapes (see FileNames.h).
    QString Name;
};

} // namespace kiv::pf

#pragma once

// What the archive service (LinuxArchive.cpp) shares with the archive folders (LinuxZipFolder.cpp):
// opening an archive for reading, its entries as both see them, and extracting a part of it.
// Private to src/platform/linux.

#include "core/platform/HResult.h"

#include <ctime>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>
#include <zip.h>

namespace kiv::pf::lnx {

struct TZipDiscard
{
    void operator()(zip_t* pArchive) const noexcept { zip_discard(pArchive); }
};
using TZipArchivePtr = std::unique_ptr<zip_t, TZipDiscard>;

// Opens an archive read-only. A file that is no archive, or one whose directory is damaged,
// fails with HResultFromWin32(ERROR_FILE_CORRUPT); system errors with their mapped codes.
HResult OpenZipForReading(const std::string& pPath, TZipArchivePtr& pArchive);

// One entry of an archive, from its central directory (no entry data is read).
struct TZipEntry
{
    zip_uint64_t Index = 0;
    // The name's parts: backslashes count as separators, empty and "." parts are dropped.
    std::vector<std::string> Parts;
    bool Folder = false;
    bool Link = false;
    mode_t Mode = 0;
    // The exact time when the archive kept one (our writer does), else the entry's DOS time.
    std::time_t Time = 0;
    std::uint64_t Size = 0;
    std::uint64_t CompressedSize = 0;
};

// The entries of an archive in its order. An entry whose name would leave the folder it is
// extracted to (absolute, "..", a drive letter) makes the call fail with
// HResultFromWin32(ERROR_INVALID_NAME) when pRefuseUnsafe, and is left out otherwise.
HResult ReadZipEntries(zip_t* pArchive, bool pRefuseUnsafe, std::vector<TZipEntry>& pEntries);

// Extracts the entry pEntry ("dir/sub" or "dir/file.txt": parts joined by "/") and, for a
// folder, everything below it, into a new hidden folder made inside pFolder (pStaging); pItem is
// the extracted entry in it, under the entry's own name. Entries with unsafe names are never
// written. Fails with 2 when the archive has no such entry.
HResult ExtractZipEntryToStaging(const std::string& pArchive, const std::string& pEntry,
                                 const std::string& pFolder, std::string& pStaging,
                                 std::string& pItem);

} // namespace kiv::pf::lnx

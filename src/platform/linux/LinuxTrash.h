#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IdList.h"

#include <string>
#include <string_view>
#include <vector>

namespace kiv::pf::lnx {

// The freedesktop trash: the user's trash folder ($XDG_DATA_HOME/Trash) and the per-volume ones
// ($topdir/.Trash/$uid, $topdir/.Trash-$uid) of the visible local mounts; network mounts are not
// looked at (they could block). Each holds "files" (the deleted entries) and "info" (one
// NAME.trashinfo per entry with its original path and deletion date).

// The trash folders that exist now.
std::vector<std::string> TrashDirs();

// Original path and deletion time (FileTime ticks) from the text of a .trashinfo file; a relative
// path is taken from pTopDir. False when the text has no "Path=" line.
bool ParseTrashInfo(std::string_view pText, const std::string& pTopDir, std::string& pOriginal,
                    std::uint64_t& pDeletionTime);

// One item list per entry of a trash folder (with its snapshot and trash info).
std::vector<IdListBytes> ReadTrashEntries(const std::string& pTrashDir);
// The item of one entry ("files/pName" in pTrashDir): 2 when it does not exist.
HResult MakeTrashEntry(const std::string& pTrashDir, const std::string& pName, IdListBytes& pItem);

// Moves pPath (absolute) into the trash of its file system: the user's trash when it lies on the
// same device, else $topdir/.Trash-$uid of its mount (made when missing). The entry's .trashinfo
// is written first, under a name no other entry has, and removed again when the move fails, so
// the trash never lists an entry that is not there. 0 or an errno value (EXDEV when no trash
// on the item's device can be used); pTrashed receives the entry's path in the trash.
int MoveToTrash(const std::string& pPath, std::string* pTrashed = nullptr);

} // namespace kiv::pf::lnx

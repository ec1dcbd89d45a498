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

// Moving to and from the trash. Entries are only ever renamed, never copied: what cannot be
// renamed into a trash folder of its own file system stays where it is and the call fails, so
// no step can leave a half-copied file or lose one. Meant for workers (a big tree takes long to
// remove).

// Moves pPath (a file, link or folder) into the trash of its file system: the user's trash when
// it is on the same file system as the data folder, else $topdir/.Trash/$uid (when $topdir/.Trash
// is a real sticky folder) or $topdir/.Trash-$uid. Network mounts have no trash here
// (ERROR_NOT_SUPPORTED). pTrashDir and pName (when given) tell where it went. pNoTrash (when
// given) tells a failure because the volume has no usable trash (none can be made there, or the
// mount has none) from one of the item itself.
HResult MoveToTrash(const std::string& pPath, std::string* pTrashDir = nullptr,
                    std::string* pName = nullptr, bool* pNoTrash = nullptr);
// Puts an entry back where it was deleted from (missing folders on the way are made). Fails with
// 183 when something is there now, and with 17 when that place is on another file system.
HResult RestoreFromTrash(const std::string& pTrashDir, const std::string& pName,
                         std::string* pRestoredTo = nullptr);
// Removes an entry for good: its content first, its info file last.
HResult DeleteFromTrash(const std::string& pTrashDir, const std::string& pName);
// Removes every entry of every trash folder; the first failure is answered after trying all.
HResult EmptyTrash();
// Removes a file, link or whole folder tree without following links, and without going into
// another file system mounted inside it (that fails with 5 and leaves it alone). pFailedAt
// receives the path whose removal failed.
HResult RemoveTree(const std::string& pPath, std::string* pFailedAt = nullptr);

} // namespace kiv::pf::lnx

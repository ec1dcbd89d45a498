#pragma once

#include "core/platform/Guid.h"
#include "core/platform/IdList.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The items the Linux namespace makes (byte 2 of each item is its kind):
//   0x1F class item   [3] sort order, [4..19] class GUID                   (cb = 20)
//   0x2F mount        [3] mount flags, [4..] mount path bytes + NUL, label (UTF-8) + NUL
//   0x31 folder,      [3] item flags, [4..7] fileattr bits, [8..15] size, [16..23] last write
//   0x32 file           (FileTime ticks), [24..27] st_mode, [28..] name bytes + NUL
//   0x50 trash entry  as a file-system item up to [27], then [28..35] deletion time (FileTime),
//                     [36..] name in the trash's "files" folder + NUL, trash folder + NUL,
//                     original path + NUL
//   0x51 recent entry [3] 0, [4..11] last use (FileTime), [12..] target path + NUL
//   0x52 quick-access [3] group (1 pinned, 3 recent file), [4] bit 0 = folder,
//        entry        [5..] target path + NUL, label (UTF-8, may be empty) + NUL
//   0x40 network host [3] protocol (1 smb, 2 nfs, 3 sftp, 4 dav), [4..] host (UTF-8) + NUL
//   0x41 share        [3] protocol, [4..] share name (UTF-8) + NUL, mount path + NUL
//   0x54 settings     [3] 0, [4..] desktop-file id + NUL, name (UTF-8) + NUL
//   0x53 library      [3] 0, [4..19] library GUID                          (cb = 20)
//   0x57 zip entry    [3] flags (bit 0 folder), [4..11] size, [12..19] last write (FileTime
//                     ticks), [20..] name of this level (UTF-8 as the archive gives it) + NUL
// Integers are little-endian. Other kinds are reserved for search folders and results (0x55,
// 0x56).

namespace kiv::pf::lnx {

namespace kind {
inline constexpr std::uint8_t Class = 0x1F;
inline constexpr std::uint8_t Mount = 0x2F;
inline constexpr std::uint8_t FsFolder = 0x31;
inline constexpr std::uint8_t FsFile = 0x32;
inline constexpr std::uint8_t NetHost = 0x40;
inline constexpr std::uint8_t NetShare = 0x41;
inline constexpr std::uint8_t TrashEntry = 0x50;
inline constexpr std::uint8_t RecentEntry = 0x51;
inline constexpr std::uint8_t QuickAccessEntry = 0x52;
inline constexpr std::uint8_t Library = 0x53;
inline constexpr std::uint8_t SettingsEntry = 0x54;
inline constexpr std::uint8_t ZipEntry = 0x57;
} // namespace kind

// Flags of file-system items.
namespace itemflag {
// Made from a path without looking at the disk: the snapshot is not verified.
inline constexpr std::uint8_t Simple = 0x1;
inline constexpr std::uint8_t Hidden = 0x2;
inline constexpr std::uint8_t Symlink = 0x4;
inline constexpr std::uint8_t MountPoint = 0x8;
} // namespace itemflag

// Flags of mount items.
namespace mountflag {
inline constexpr std::uint8_t Removable = 0x1;
inline constexpr std::uint8_t Remote = 0x2;
inline constexpr std::uint8_t ReadOnly = 0x4;
inline constexpr std::uint8_t Optical = 0x8;
} // namespace mountflag

// What a file-system item carries about its entry when it was listed or parsed.
struct TSnapshot
{
    std::uint8_t Flags = 0;
    std::uint32_t Attributes = 0;
    std::uint64_t Size = 0;
    std::uint64_t LastWrite = 0;
    std::uint32_t Mode = 0;
};

// An item read back from bytes; views point into the item.
struct TItem
{
    std::uint8_t Kind = 0;
    Guid ClassId;
    std::uint8_t SortOrder = 0;
    std::uint8_t MountFlags = 0;
    // The mount path of a mount item or the name of a file-system item, trash entry or zip entry
    // (zip entries get a snapshot too: folder or file, size, last write).
    std::string_view Text;
    TSnapshot Snapshot;
    // Trash entries: the trash folder (holding "files" and "info"), where the entry came from
    // (empty when unknown) and when it was deleted.
    std::string_view TrashDir;
    std::string_view OriginalPath;
    std::uint64_t DeletionTime = 0;
    // Mount items and quick-access entries: the name shown (may be empty).
    std::string_view Label;
    // Quick-access entries: the group, and whether the target is a folder. Recent entries: the
    // time of last use (in DeletionTime's place: Time).
    std::uint8_t Group = 0;
    bool TargetIsFolder = false;
    std::uint64_t Time = 0;
    // Network hosts and shares: the protocol; shares: the mount path.
    std::uint8_t Protocol = 0;
    std::string_view MountPath;

    bool IsFileSystem() const { return Kind == kind::FsFolder || Kind == kind::FsFile; }
};

std::vector<std::uint8_t> MakeClassItem(const Guid& pClassId, std::uint8_t pSortOrder);
std::vector<std::uint8_t> MakeLibraryItem(const Guid& pLibraryId);
std::vector<std::uint8_t> MakeMountItem(std::string_view pPath, std::uint8_t pFlags,
                                        std::string_view pLabel = {});
std::vector<std::uint8_t> MakeHostItem(std::uint8_t pProtocol, std::string_view pHost);
std::vector<std::uint8_t> MakeShareItem(std::uint8_t pProtocol, std::string_view pShare,
                                        std::string_view pMountPath);
std::vector<std::uint8_t> MakeSettingsItem(std::string_view pId, std::string_view pName);
std::vector<std::uint8_t> MakeRecentItem(std::string_view pTarget, std::uint64_t pTime);
std::vector<std::uint8_t> MakeQuickAccessItem(std::uint8_t pGroup, bool pFolder,
                                              std::string_view pTarget, std::string_view pLabel);
std::vector<std::uint8_t> MakeFsItem(bool pFolder, const TSnapshot& pSnapshot,
                                     std::string_view pName);
// An entry of a ZIP archive (one level of its path); the snapshot is made up from the entry.
std::vector<std::uint8_t> MakeZipItem(bool pFolder, std::uint64_t pSize, std::uint64_t pLastWrite,
                                      std::string_view pName);
std::vector<std::uint8_t> MakeTrashItem(const TSnapshot& pSnapshot, std::string_view pName,
                                        std::string_view pTrashDir, std::string_view pOriginal,
                                        std::uint64_t pDeletionTime);
// Writes [file-system item][terminator] into pList, reusing its memory (the enumeration's path).
void MakeFsList(IdListBytes& pList, bool pFolder, const TSnapshot& pSnapshot,
                std::string_view pName);

// Reads an item, checking its layout against its size; false for anything this namespace did
// not make (or bytes that were tampered with: names with "/", "." or "..", missing NULs).
bool DecodeItem(IdItem pItem, TItem& pOut);
// A name that may stand for one entry of a folder.
bool IsValidEntryName(std::string_view pName);

} // namespace kiv::pf::lnx

#pragma once

// The places of the Linux namespace and what is shared between its folders and items: how a
// list resolves to a place, snapshots of entries, the mounts and shares, names, parsing helpers.
// Private to src/platform/linux.

#include "LinuxItems.h"
#include "MountTable.h"
#include "PercentEncoding.h"
#include "XdgDirs.h"
#include "core/platform/HResult.h"
#include "core/platform/IdList.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kiv::pf::lnx {

// What an absolute list stands for.
enum class TPlace
{
    Desktop,
    ThisPC,
    Trash,
    Libraries,
    Network,
    // A host under Network; TLocation::Path holds its name.
    NetHost,
    ControlPanel,
    QuickAccess,
    Recent,
    // A link to a path (a recent entry): a leaf with no file-system path of its own.
    Link,
    FileSystem,
    // A folder inside a ZIP archive (its top, or a folder entry), or an entry of one: Path is
    // the archive's path followed by the entry's ("/a/b.zip/dir/x.txt"), which is the entry's
    // identity; ArchivePath and Entry hold the two halves.
    Archive,
};

struct TLocation
{
    TPlace Place = TPlace::Desktop;
    // The folder's (or file's) path for TPlace::FileSystem.
    std::string Path;
    bool IsFolder = true;
    // A library: it shows a folder's entries but is not that folder (no path of its own).
    bool IsLibrary = false;
    // Inside a network mount: callers enumerate in the background.
    bool Slow = false;
    bool ReadOnly = false;
    // TPlace::Archive: the archive file and the entry inside it ("" for the archive's top).
    std::string ArchivePath;
    std::string Entry;
};

// The user folders shown under This PC, in this order.
struct TDelegate
{
    Guid ClassId;
    std::string TXdgDirs::*Dir;
    const char16_t* Name;
};

// The libraries: each shows one user folder.
struct TLibrary
{
    Guid Id;
    std::string TXdgDirs::*Dir;
    const char16_t* Name;
};

// A network share that is mounted: where, from which host, under which name.
struct TShare
{
    std::uint8_t Protocol = 0;
    std::string Host;
    std::string Name;
    std::string MountPath;
    bool ReadOnly = false;
    // TPlace::Archive: the archive file and the entry inside it ("" for the archive's top).
    std::string ArchivePath;
    std::string Entry;
};

// Sort orders of the desktop's class items (byte 3 of the item).
inline constexpr std::uint8_t kOrderHome = 0x40;
inline constexpr std::uint8_t kOrderThisPC = 0x50;
inline constexpr std::uint8_t kOrderTrash = 0x60;
inline constexpr std::uint8_t kOrderLibraries = 0x54;
inline constexpr std::uint8_t kOrderNetwork = 0x58;
inline constexpr std::uint8_t kOrderControlPanel = 0x5C;
inline constexpr std::uint8_t kOrderQuickAccess = 0x30;
inline constexpr std::uint8_t kOrderRecent = 0x70;
// Recent files shown in Quick access, newest first.
inline constexpr std::size_t kQuickAccessRecentFiles = 20;
// Recent entries listed at most: desktops keep a few hundred.
inline constexpr std::size_t kRecentEntries = 500;
inline constexpr std::uint8_t kOrderDelegate = 0x48;

const std::array<TDelegate, 6>& Delegates();
const std::array<TLibrary, 4>& Libraries();
const TLibrary* FindLibrary(const Guid& pId);
const TDelegate* FindDelegate(const Guid& pClassId);

// pFolder + "/" + pName (no doubled "/" after the root).
std::string Join(const std::string& pFolder, std::string_view pName);
std::string_view BaseName(std::string_view pPath);
// The desktop lists the desktop folder's entries unless it falls back to the home folder.
bool DesktopHasFolder(const TXdgDirs& pDirs);

// Follows pRelative from the place pLocation stands for; Resolve starts at the desktop. Bytes
// that this namespace did not make, or that name places that do not exist, fail.
HResult ResolveFrom(IdSpan pRelative, TLocation& pLocation);
HResult Resolve(IdSpan pAbsolute, TLocation& pLocation);

// Names listed in a folder's ".hidden" file.
std::unordered_set<std::string> ReadHiddenList(int pDirFd);
// Fills pSnapshot for the entry pName of the folder pDirFd; returns 0 or an errno value.
int SnapshotEntry(int pDirFd, const char* pName, bool pHidden, bool pReadOnlyMount,
                  TSnapshot& pSnapshot, bool& pIsFolder);
bool IsHiddenName(std::string_view pName, const std::unordered_set<std::string>& pHiddenList);

std::uint8_t MountFlags(const TMount& pMount);
// The name a mount is shown with ("share on host", a volume label), or empty.
std::string MountLabel(const TMount& pMount);
QString Utf8(std::string_view pText);
// The mounted network shares with a host in their source.
std::vector<TShare> MountedShares();
// "/" and the mounts listed under This PC, by path.
std::vector<TMount> VisibleMounts();
bool IsExistingFolder(const std::string& pPath);

QString ClassDisplayName(const Guid& pClassId);
QString MountDisplayName(const TItem& pItem);
// Natural order: digit runs compare as numbers, letters without regard to case.
int CompareLogical(const QString& pA, const QString& pB);
// A comparison result carrying a signed 16-bit order.
HResult OrderResult(int pOrder);

// The components of a path; "." dropped, ".." resolved by text (never above the root).
std::vector<std::string> Components(std::string_view pPath);
// Appends one file-system item per component below pBase to pList (checked on the disk unless
// pSimple): a missing last component fails with 2, a missing or non-folder earlier one with 3.
HResult AppendComponents(std::string pBase, const std::vector<std::string>& pParts, bool pReadOnly,
                         bool pSimple, bool pLastIsFolder, IdListBytes& pList);
HResult ParseRelative(const TLocation& pFolder, const std::string& pRelative, bool pSimple,
                      bool pLastIsFolder, IdListBytes& pList);
bool IsWindowsDrivePath(const QString& pName);

} // namespace kiv::pf::lnx

#pragma once

#include <cstdint>

// Flag words of the namespace operations. The values are the ones the family tests, the same on
// every host, so that a flag word read from settings or passed through a view means one thing.

namespace kiv::pf {

// Attributes of items (GetAttributesOf, IShellItem::GetAttributes).
namespace sfgao {
inline constexpr std::uint32_t CANCOPY = 0x1;
inline constexpr std::uint32_t CANMOVE = 0x2;
inline constexpr std::uint32_t CANLINK = 0x4;
inline constexpr std::uint32_t STORAGE = 0x8;
inline constexpr std::uint32_t CANRENAME = 0x10;
inline constexpr std::uint32_t CANDELETE = 0x20;
inline constexpr std::uint32_t HASPROPSHEET = 0x40;
inline constexpr std::uint32_t DROPTARGET = 0x100;
inline constexpr std::uint32_t ENCRYPTED = 0x2000;
// The item lives on a slow medium (a network mount): callers enumerate it in the background.
inline constexpr std::uint32_t ISSLOW = 0x4000;
inline constexpr std::uint32_t GHOSTED = 0x8000;
inline constexpr std::uint32_t LINK = 0x10000;
inline constexpr std::uint32_t SHARE = 0x20000;
inline constexpr std::uint32_t READONLY = 0x40000;
inline constexpr std::uint32_t HIDDEN = 0x80000;
// Reachable by parsing but never listed by its parent.
inline constexpr std::uint32_t NONENUMERATED = 0x100000;
inline constexpr std::uint32_t STREAM = 0x400000;
inline constexpr std::uint32_t STORAGEANCESTOR = 0x800000;
inline constexpr std::uint32_t REMOVABLE = 0x2000000;
inline constexpr std::uint32_t COMPRESSED = 0x4000000;
inline constexpr std::uint32_t BROWSABLE = 0x8000000;
inline constexpr std::uint32_t FILESYSANCESTOR = 0x10000000;
inline constexpr std::uint32_t FOLDER = 0x20000000;
inline constexpr std::uint32_t FILESYSTEM = 0x40000000;
// Asked only on request: finding out costs a scan of the folder.
inline constexpr std::uint32_t HASSUBFOLDER = 0x80000000;
} // namespace sfgao

// What an enumeration returns (EnumObjects).
namespace shcontf {
inline constexpr std::uint32_t FOLDERS = 0x20;
inline constexpr std::uint32_t NONFOLDERS = 0x40;
// Hidden items (dot files, names listed in the folder's ".hidden").
inline constexpr std::uint32_t INCLUDEHIDDEN = 0x80;
// The tree's enumeration: same children, never the non-enumerated ones.
inline constexpr std::uint32_t NAVIGATION_ENUM = 0x1000;
inline constexpr std::uint32_t INCLUDESUPERHIDDEN = 0x10000;
} // namespace shcontf

// Forms of a folder's display name for a child (GetDisplayNameOf, SetNameOf).
namespace shgdn {
inline constexpr std::uint32_t NORMAL = 0x0;
// Relative to the folder rather than to the desktop.
inline constexpr std::uint32_t INFOLDER = 0x1;
inline constexpr std::uint32_t FOREDITING = 0x1000;
inline constexpr std::uint32_t FORADDRESSBAR = 0x4000;
// A name that parses back to the same item (undecodable file-name bytes kept as escapes).
inline constexpr std::uint32_t FORPARSING = 0x8000;
} // namespace shgdn

// Forms of an item's display name (IShellItem::GetDisplayName).
namespace sigdn {
inline constexpr std::uint32_t NORMALDISPLAY = 0x0;
inline constexpr std::uint32_t PARENTRELATIVEPARSING = 0x80018001u;
inline constexpr std::uint32_t DESKTOPABSOLUTEPARSING = 0x80028000u;
inline constexpr std::uint32_t PARENTRELATIVEEDITING = 0x80031001u;
inline constexpr std::uint32_t DESKTOPABSOLUTEEDITING = 0x8004C000u;
// Fails for items without a file-system path.
inline constexpr std::uint32_t FILESYSPATH = 0x80058000u;
inline constexpr std::uint32_t URL = 0x80068000u;
inline constexpr std::uint32_t PARENTRELATIVEFORADDRESSBAR = 0x8007C001u;
inline constexpr std::uint32_t PARENTRELATIVE = 0x80080001u;
} // namespace sigdn

// Comparison hints (CompareIDs lParam high bits, IShellItem::Compare hints).
namespace shcids {
inline constexpr std::uint32_t COLUMNMASK = 0x0000FFFFu;
inline constexpr std::uint32_t ALLFIELDS = 0x80000000u;
// Identity only: 0 exactly when both lists name the same item.
inline constexpr std::uint32_t CANONICALONLY = 0x10000000u;
} // namespace shcids

// Attributes of files as find data and the "Attributes" column report them.
namespace fileattr {
inline constexpr std::uint32_t READONLY = 0x1;
inline constexpr std::uint32_t HIDDEN = 0x2;
inline constexpr std::uint32_t SYSTEM = 0x4;
inline constexpr std::uint32_t DIRECTORY = 0x10;
inline constexpr std::uint32_t ARCHIVE = 0x20;
inline constexpr std::uint32_t NORMAL = 0x80;
// A symbolic link or a mount point.
inline constexpr std::uint32_t REPARSE_POINT = 0x400;
inline constexpr std::uint32_t COMPRESSED = 0x800;
inline constexpr std::uint32_t OFFLINE = 0x1000;
inline constexpr std::uint32_t ENCRYPTED = 0x4000;
inline constexpr std::uint32_t INVALID = 0xFFFFFFFFu;
} // namespace fileattr

// Kinds of drives, for the mount containing a path.
enum class DriveType : std::uint32_t
{
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    // A network file system: callers treat it as slow and never touch it on the UI thread.
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

} // namespace kiv::pf

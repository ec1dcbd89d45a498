#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Item identifier lists: the binary path of an item from the desktop. A list is a run of items,
// each a 16-bit little-endian byte count (counting its own two bytes) followed by that many bytes
// minus two; a count of 0 ends the list. The empty list (only the terminator) is the desktop.
// Byte 2 of every item this layer makes is its kind; the rest belongs to the folder that made it.
//
// These are pure byte operations, usable on any thread. Bytes from outside (clipboard, drag data,
// settings) are checked with IdSpan::FromUntrusted before anything reads them.

namespace kiv::pf {

// An owned list, always terminated.
using IdListBytes = std::vector<std::uint8_t>;

// One item without the terminator: its count, kind and data.
using IdItem = std::span<const std::uint8_t>;

// A view of a well-formed list (terminator included). Cheap to copy; the bytes must outlive it.
class IdSpan
{
public:
    // The empty list: the desktop.
    IdSpan() noexcept;
    // Views an owned list; throws std::invalid_argument when the bytes are not a well-formed list
    // (a missing terminator, a count running past the end, an item shorter than 3 bytes).
    IdSpan(const IdListBytes& pBytes); // NOLINT(google-explicit-constructor): lists pass as views
    // Checks bytes of unknown origin, reading nothing outside [pData, pData + pSize). The list is
    // what precedes the first terminator; bytes after it are ignored. nullopt when malformed.
    static std::optional<IdSpan> FromUntrusted(const std::uint8_t* pData, std::size_t pSize);

    const std::uint8_t* Data() const noexcept { return fData; }
    // Bytes including the two-byte terminator.
    std::size_t Size() const noexcept { return fSize; }
    bool IsEmpty() const noexcept { return fSize == 2; }
    std::size_t Depth() const noexcept;
    // The item at pIndex (0-based); the caller keeps pIndex below Depth().
    IdItem Item(std::size_t pIndex) const;
    IdItem First() const { return Item(0); }
    IdItem Last() const;
    // The list after the first pCount items (a view into the same bytes).
    IdSpan Skip(std::size_t pCount) const;
    IdListBytes ToBytes() const { return IdListBytes(fData, fData + fSize); }

    friend bool operator==(IdSpan pA, IdSpan pB) noexcept;

private:
    IdSpan(const std::uint8_t* pData, std::size_t pSize) noexcept
        : fData(pData)
        , fSize(pSize)
    {
    }

    const std::uint8_t* fData;
    std::size_t fSize;
};

namespace idl {

// Smallest and largest item this layer accepts: count, kind, and at most 65535 bytes in all.
inline constexpr std::size_t kMinItemSize = 3;
inline constexpr std::size_t kMaxItemSize = 0xFFFF;

// Length of the well-formed list at pData including its terminator, or nullopt.
std::optional<std::size_t> ValidLength(const std::uint8_t* pData, std::size_t pSize) noexcept;

inline std::uint16_t ItemSize(IdItem pItem)
{
    return static_cast<std::uint16_t>(pItem[0] | (pItem[1] << 8));
}
inline std::uint8_t ItemKind(IdItem pItem)
{
    return pItem.size() > 2 ? pItem[2] : 0;
}

IdListBytes Empty();
// A one-item list from an item.
IdListBytes FromItem(IdItem pItem);
// pParent followed by pChild (either may be empty).
IdListBytes Combine(IdSpan pParent, IdSpan pChild);
// pList with one more item at its end.
IdListBytes Append(IdSpan pList, IdItem pItem);
// The first pDepth items (all when pDepth >= Depth()).
IdListBytes Prefix(IdSpan pList, std::size_t pDepth);
// The list without its last item (the desktop stays the desktop).
IdListBytes RemoveLast(IdSpan pList);
// The last item as a one-item list (empty for the desktop).
IdListBytes LastAsList(IdSpan pList);
// True when every item of pParent equals, byte for byte, the item at the same place in pChild;
// pRest then receives the remainder of pChild (empty when both are equal).
bool StartsWith(IdSpan pParent, IdSpan pChild, IdSpan* pRest = nullptr);

// Builds an item of the given kind around pPayload (bytes 3..); throws std::length_error past
// kMaxItemSize.
std::vector<std::uint8_t> MakeItem(std::uint8_t pKind, std::span<const std::uint8_t> pPayload);

} // namespace idl
} // namespace kiv::pf

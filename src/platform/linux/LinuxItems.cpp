#include "LinuxItems.h"

#include "core/platform/ShellConstants.h"

#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace kiv::pf::lnx {
namespace {

constexpr std::size_t kFsHeader = 28;

void Put32(std::vector<std::uint8_t>& pOut, std::uint32_t pValue)
{
    for (int i = 0; i < 4; ++i)
        pOut.push_back(static_cast<std::uint8_t>(pValue >> (8 * i)));
}

void Put64(std::vector<std::uint8_t>& pOut, std::uint64_t pValue)
{
    for (int i = 0; i < 8; ++i)
        pOut.push_back(static_cast<std::uint8_t>(pValue >> (8 * i)));
}

std::uint32_t Get32(const std::uint8_t* pAt)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | pAt[i];
    return value;
}

std::uint64_t Get64(const std::uint8_t* pAt)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | pAt[i];
    return value;
}

// The NUL-terminated text that fills the item from pOffset to its end, or false.
bool TrailingText(IdItem pItem, std::size_t pOffset, std::string_view& pText)
{
    if (pItem.size() <= pOffset || pItem.back() != 0)
        return false;
    const auto* start = reinterpret_cast<const char*>(pItem.data() + pOffset);
    const std::size_t length = pItem.size() - pOffset - 1;
    if (std::memchr(start, 0, length) != nullptr)
        return false;
    pText = std::string_view(start, length);
    return true;
}

// Splits the bytes from pOffset to the item's end into exactly pCount NUL-ended texts.
bool SplitTexts(IdItem pItem, std::size_t pOffset, std::size_t pCount, std::string_view* pTexts)
{
    if (pItem.size() <= pOffset || pItem.back() != 0)
        return false;
    const auto* at = reinterpret_cast<const char*>(pItem.data() + pOffset);
    const auto* end = reinterpret_cast<const char*>(pItem.data() + pItem.size());
    for (std::size_t i = 0; i < pCount; ++i) {
        const void* nul = std::memchr(at, 0, static_cast<std::size_t>(end - at));
        if (!nul)
            return false;
        pTexts[i] = std::string_view(at, static_cast<const char*>(nul) - at);
        at = static_cast<const char*>(nul) + 1;
    }
    return at == end;
}

void PutText(std::vector<std::uint8_t>& pItem, std::string_view pText)
{
    pItem.insert(pItem.end(), pText.begin(), pText.end());
    pItem.push_back(0);
}

void FinishItem(std::vector<std::uint8_t>& pItem)
{
    if (pItem.size() > idl::kMaxItemSize)
        throw std::length_error("item identifier too long");
    pItem[0] = static_cast<std::uint8_t>(pItem.size() & 0xFF);
    pItem[1] = static_cast<std::uint8_t>(pItem.size() >> 8);
}

} // namespace

bool IsValidEntryName(std::string_view pName)
{
    return !pName.empty() && pName != "." && pName != ".." &&
           pName.find('/') == std::string_view::npos && pName.find('\0') == std::string_view::npos;
}

std::vector<std::uint8_t> MakeClassItem(const Guid& pClassId, std::uint8_t pSortOrder)
{
    std::vector<std::uint8_t> item(20);
    item[2] = kind::Class;
    item[3] = pSortOrder;
    pClassId.ToBytes(item.data() + 4);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeLibraryItem(const Guid& pLibraryId)
{
    std::vector<std::uint8_t> item(20);
    item[2] = kind::Library;
    pLibraryId.ToBytes(item.data() + 4);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeMountItem(std::string_view pPath, std::uint8_t pFlags,
                                        std::string_view pLabel)
{
    std::vector<std::uint8_t> item{0, 0, kind::Mount, pFlags};
    PutText(item, pPath);
    PutText(item, pLabel);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeHostItem(std::uint8_t pProtocol, std::string_view pHost)
{
    std::vector<std::uint8_t> item{0, 0, kind::NetHost, pProtocol};
    PutText(item, pHost);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeShareItem(std::uint8_t pProtocol, std::string_view pShare,
                                        std::string_view pMountPath)
{
    std::vector<std::uint8_t> item{0, 0, kind::NetShare, pProtocol};
    PutText(item, pShare);
    PutText(item, pMountPath);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeSettingsItem(std::string_view pId, std::string_view pName)
{
    std::vector<std::uint8_t> item{0, 0, kind::SettingsEntry, 0};
    PutText(item, pId);
    PutText(item, pName);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeRecentItem(std::string_view pTarget, std::uint64_t pTime)
{
    std::vector<std::uint8_t> item{0, 0, kind::RecentEntry, 0};
    Put64(item, pTime);
    PutText(item, pTarget);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeQuickAccessItem(std::uint8_t pGroup, bool pFolder,
                                              std::string_view pTarget, std::string_view pLabel)
{
    std::vector<std::uint8_t> item{0, 0, kind::QuickAccessEntry, pGroup,
                                   static_cast<std::uint8_t>(pFolder ? 1 : 0)};
    PutText(item, pTarget);
    PutText(item, pLabel);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeFsItem(bool pFolder, const TSnapshot& pSnapshot,
                                     std::string_view pName)
{
    std::vector<std::uint8_t> item;
    MakeFsList(item, pFolder, pSnapshot, pName);
    item.pop_back();
    item.pop_back();
    return item;
}

void MakeFsList(IdListBytes& pList, bool pFolder, const TSnapshot& pSnapshot,
                std::string_view pName)
{
    // Written in place into memory sized once: the enumeration makes one of these per entry.
    const std::size_t itemSize = kFsHeader + pName.size() + 1;
    if (itemSize > idl::kMaxItemSize)
        throw std::length_error("item identifier too long");
    pList.resize(itemSize + 2);
    std::uint8_t* at = pList.data();
    at[0] = static_cast<std::uint8_t>(itemSize & 0xFF);
    at[1] = static_cast<std::uint8_t>(itemSize >> 8);
    at[2] = pFolder ? kind::FsFolder : kind::FsFile;
    at[3] = pSnapshot.Flags;
    for (int i = 0; i < 4; ++i) {
        at[4 + i] = static_cast<std::uint8_t>(pSnapshot.Attributes >> (8 * i));
        at[24 + i] = static_cast<std::uint8_t>(pSnapshot.Mode >> (8 * i));
    }
    for (int i = 0; i < 8; ++i) {
        at[8 + i] = static_cast<std::uint8_t>(pSnapshot.Size >> (8 * i));
        at[16 + i] = static_cast<std::uint8_t>(pSnapshot.LastWrite >> (8 * i));
    }
    if (!pName.empty())
        std::memcpy(at + kFsHeader, pName.data(), pName.size());
    at[itemSize - 1] = 0;
    at[itemSize] = 0;
    at[itemSize + 1] = 0;
}

std::vector<std::uint8_t> MakeZipItem(bool pFolder, std::uint64_t pSize, std::uint64_t pLastWrite,
                                      std::string_view pName)
{
    std::vector<std::uint8_t> item{0, 0, kind::ZipEntry,
                                   static_cast<std::uint8_t>(pFolder ? 1 : 0)};
    Put64(item, pSize);
    Put64(item, pLastWrite);
    PutText(item, pName);
    FinishItem(item);
    return item;
}

std::vector<std::uint8_t> MakeTrashItem(const TSnapshot& pSnapshot, std::string_view pName,
                                        std::string_view pTrashDir, std::string_view pOriginal,
                                        std::uint64_t pDeletionTime)
{
    std::vector<std::uint8_t> item{0, 0, kind::TrashEntry, pSnapshot.Flags};
    Put32(item, pSnapshot.Attributes);
    Put64(item, pSnapshot.Size);
    Put64(item, pSnapshot.LastWrite);
    Put32(item, pSnapshot.Mode);
    Put64(item, pDeletionTime);
    for (const std::string_view text : {pName, pTrashDir, pOriginal}) {
        item.insert(item.end(), text.begin(), text.end());
        item.push_back(0);
    }
    FinishItem(item);
    return item;
}

bool DecodeItem(IdItem pItem, TItem& pOut)
{
    if (pItem.size() < 3)
        return false;
    pOut = TItem{};
    pOut.Kind = pItem[2];
    switch (pOut.Kind) {
    case kind::Class:
        if (pItem.size() != 20)
            return false;
        pOut.SortOrder = pItem[3];
        pOut.ClassId = Guid::FromBytes(pItem.data() + 4);
        return true;
    case kind::Library:
        if (pItem.size() != 20)
            return false;
        pOut.ClassId = Guid::FromBytes(pItem.data() + 4);
        return true;
    case kind::Mount: {
        std::string_view texts[2];
        if (!SplitTexts(pItem, 4, 2, texts) || texts[0].empty() || texts[0][0] != '/')
            return false;
        pOut.Text = texts[0];
        pOut.Label = texts[1];
        pOut.MountFlags = pItem[3];
        return true;
    }
    case kind::NetHost:
        if (!TrailingText(pItem, 4, pOut.Text) || pOut.Text.empty() ||
            pOut.Text.find_first_of("/\\") != std::string_view::npos)
            return false;
        pOut.Protocol = pItem[3];
        return true;
    case kind::NetShare: {
        std::string_view texts[2];
        if (!SplitTexts(pItem, 4, 2, texts) || texts[0].find('\\') != std::string_view::npos ||
            texts[1].empty() || texts[1][0] != '/')
            return false;
        pOut.Text = texts[0];
        pOut.MountPath = texts[1];
        pOut.Protocol = pItem[3];
        return true;
    }
    case kind::SettingsEntry: {
        std::string_view texts[2];
        if (!SplitTexts(pItem, 4, 2, texts) || texts[0].empty() ||
            texts[0].find('/') != std::string_view::npos)
            return false;
        pOut.Text = texts[0];
        pOut.Label = texts[1];
        return true;
    }
    case kind::RecentEntry:
        if (pItem.size() < 13 || !TrailingText(pItem, 12, pOut.Text) || pOut.Text.empty() ||
            pOut.Text[0] != '/')
            return false;
        pOut.Time = Get64(pItem.data() + 4);
        return true;
    case kind::QuickAccessEntry: {
        std::string_view texts[2];
        if (!SplitTexts(pItem, 5, 2, texts) || texts[0].empty() || texts[0][0] != '/')
            return false;
        pOut.Text = texts[0];
        pOut.Label = texts[1];
        pOut.Group = pItem[3];
        pOut.TargetIsFolder = (pItem[4] & 1) != 0;
        return true;
    }
    case kind::FsFolder:
    case kind::FsFile:
        if (!TrailingText(pItem, kFsHeader, pOut.Text) || !IsValidEntryName(pOut.Text))
            return false;
        pOut.Snapshot.Flags = pItem[3];
        pOut.Snapshot.Attributes = Get32(pItem.data() + 4);
        pOut.Snapshot.Size = Get64(pItem.data() + 8);
        pOut.Snapshot.LastWrite = Get64(pItem.data() + 16);
        pOut.Snapshot.Mode = Get32(pItem.data() + 24);
        return true;
    case kind::ZipEntry: {
        constexpr std::size_t kZipHeader = 20;
        // A backslash never stands in a name: archives made elsewhere use it as the separator.
        if (!TrailingText(pItem, kZipHeader, pOut.Text) || !IsValidEntryName(pOut.Text) ||
            pOut.Text.find('\\') != std::string_view::npos)
            return false;
        const bool folder = (pItem[3] & 1) != 0;
        pOut.Snapshot.Size = Get64(pItem.data() + 4);
        pOut.Snapshot.LastWrite = Get64(pItem.data() + 12);
        pOut.Snapshot.Attributes = folder ? fileattr::DIRECTORY : fileattr::NORMAL;
        pOut.Snapshot.Mode = folder ? (S_IFDIR | 0755) : (S_IFREG | 0644);
        return true;
    }
    case kind::TrashEntry: {
        constexpr std::size_t kTrashHeader = 36;
        // Three texts, each ended by a NUL: name, trash folder, original path.
        if (pItem.size() <= kTrashHeader || pItem.back() != 0)
            return false;
        const auto* start = reinterpret_cast<const char*>(pItem.data() + kTrashHeader);
        const std::size_t total = pItem.size() - kTrashHeader - 1;
        const void* first = std::memchr(start, 0, total);
        if (!first)
            return false;
        const std::size_t nameLength = static_cast<const char*>(first) - start;
        const void* second = std::memchr(start + nameLength + 1, 0, total - nameLength - 1);
        if (!second)
            return false;
        const std::size_t dirLength = static_cast<const char*>(second) - start - nameLength - 1;
        pOut.Text = std::string_view(start, nameLength);
        pOut.TrashDir = std::string_view(start + nameLength + 1, dirLength);
        pOut.OriginalPath = std::string_view(start + nameLength + dirLength + 2,
                                             total - nameLength - dirLength - 2);
        if (pOut.OriginalPath.find('\0') != std::string_view::npos)
            return false;
        if (!IsValidEntryName(pOut.Text) || pOut.TrashDir.empty() || pOut.TrashDir[0] != '/')
            return false;
        pOut.Snapshot.Flags = pItem[3];
        pOut.Snapshot.Attributes = Get32(pItem.data() + 4);
        pOut.Snapshot.Size = Get64(pItem.data() + 8);
        pOut.Snapshot.LastWrite = Get64(pItem.data() + 16);
        pOut.Snapshot.Mode = Get32(pItem.data() + 24);
        pOut.DeletionTime = Get64(pItem.data() + 28);
        return true;
    }
    default:
        return false;
    }
}

} // namespace kiv::pf::lnx

#include "IdList.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kiv::pf {
namespace {

const std::uint8_t kTerminator[2] = {0, 0};

std::uint16_t ReadCount(const std::uint8_t* pAt)
{
    return static_cast<std::uint16_t>(pAt[0] | (pAt[1] << 8));
}

} // namespace

IdSpan::IdSpan() noexcept
    : fData(kTerminator)
    , fSize(2)
{
}

IdSpan::IdSpan(const IdListBytes& pBytes)
    : IdSpan()
{
    const auto length = idl::ValidLength(pBytes.data(), pBytes.size());
    if (!length)
        throw std::invalid_argument("malformed item identifier list");
    fData = pBytes.data();
    fSize = *length;
}

std::optional<IdSpan> IdSpan::FromUntrusted(const std::uint8_t* pData, std::size_t pSize)
{
    if (!pData)
        return std::nullopt;
    const auto length = idl::ValidLength(pData, pSize);
    if (!length)
        return std::nullopt;
    return IdSpan(pData, *length);
}

std::size_t IdSpan::Depth() const noexcept
{
    std::size_t depth = 0;
    for (std::size_t pos = 0; ReadCount(fData + pos) != 0; pos += ReadCount(fData + pos))
        ++depth;
    return depth;
}

IdItem IdSpan::Item(std::size_t pIndex) const
{
    std::size_t pos = 0;
    for (std::size_t i = 0; i < pIndex; ++i) {
        const std::uint16_t count = ReadCount(fData + pos);
        if (count == 0)
            throw std::out_of_range("item index past the end of the list");
        pos += count;
    }
    const std::uint16_t count = ReadCount(fData + pos);
    if (count == 0)
        throw std::out_of_range("item index past the end of the list");
    return IdItem(fData + pos, count);
}

IdItem IdSpan::Last() const
{
    const std::size_t depth = Depth();
    if (depth == 0)
        throw std::out_of_range("the desktop has no last item");
    return Item(depth - 1);
}

IdSpan IdSpan::Skip(std::size_t pCount) const
{
    std::size_t pos = 0;
    for (std::size_t i = 0; i < pCount && ReadCount(fData + pos) != 0; ++i)
        pos += ReadCount(fData + pos);
    return IdSpan(fData + pos, fSize - pos);
}

bool operator==(IdSpan pA, IdSpan pB) noexcept
{
    return pA.fSize == pB.fSize && std::memcmp(pA.fData, pB.fData, pA.fSize) == 0;
}

namespace idl {

std::optional<std::size_t> ValidLength(const std::uint8_t* pData, std::size_t pSize) noexcept
{
    std::size_t pos = 0;
    for (;;) {
        // Reading the count needs two bytes inside the buffer.
        if (pSize < 2 || pos > pSize - 2)
            return std::nullopt;
        const std::uint16_t count = ReadCount(pData + pos);
        if (count == 0)
            return pos + 2;
        if (count < kMinItemSize || count > pSize - pos)
            return std::nullopt;
        pos += count;
    }
}

IdListBytes Empty()
{
    return IdListBytes{0, 0};
}

IdListBytes FromItem(IdItem pItem)
{
    IdListBytes result(pItem.begin(), pItem.end());
    result.push_back(0);
    result.push_back(0);
    return result;
}

IdListBytes Combine(IdSpan pParent, IdSpan pChild)
{
    IdListBytes result;
    result.reserve(pParent.Size() + pChild.Size() - 2);
    result.insert(result.end(), pParent.Data(), pParent.Data() + pParent.Size() - 2);
    result.insert(result.end(), pChild.Data(), pChild.Data() + pChild.Size());
    return result;
}

IdListBytes Append(IdSpan pList, IdItem pItem)
{
    IdListBytes result;
    result.reserve(pList.Size() + pItem.size());
    result.insert(result.end(), pList.Data(), pList.Data() + pList.Size() - 2);
    result.insert(result.end(), pItem.begin(), pItem.end());
    result.push_back(0);
    result.push_back(0);
    return result;
}

IdListBytes Prefix(IdSpan pList, std::size_t pDepth)
{
    const IdSpan rest = pList.Skip(pDepth);
    const std::size_t head = pList.Size() - rest.Size();
    IdListBytes result(pList.Data(), pList.Data() + head);
    result.push_back(0);
    result.push_back(0);
    return result;
}

IdListBytes RemoveLast(IdSpan pList)
{
    const std::size_t depth = pList.Depth();
    return Prefix(pList, depth == 0 ? 0 : depth - 1);
}

IdListBytes LastAsList(IdSpan pList)
{
    if (pList.IsEmpty())
        return Empty();
    return FromItem(pList.Last());
}

bool StartsWith(IdSpan pParent, IdSpan pChild, IdSpan* pRest)
{
    const std::size_t head = pParent.Size() - 2;
    if (pChild.Size() < pParent.Size() || std::memcmp(pParent.Data(), pChild.Data(), head) != 0)
        return false;
    // The parent's items must end on an item boundary of the child.
    const IdSpan rest = pChild.Skip(pParent.Depth());
    if (pChild.Size() - rest.Size() != head)
        return false;
    if (pRest)
        *pRest = rest;
    return true;
}

std::vector<std::uint8_t> MakeItem(std::uint8_t pKind, std::span<const std::uint8_t> pPayload)
{
    const std::size_t size = 3 + pPayload.size();
    if (size > kMaxItemSize)
        throw std::length_error("item identifier too long");
    std::vector<std::uint8_t> item;
    item.reserve(size);
    item.push_back(static_cast<std::uint8_t>(size & 0xFF));
    item.push_back(static_cast<std::uint8_t>(size >> 8));
    item.push_back(pKind);
    item.insert(item.end(), pPayload.begin(), pPayload.end());
    return item;
}

} // namespace idl
} // namespace kiv::pf

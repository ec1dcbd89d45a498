#include "core/platform/ShellIdListArray.h"

#include <cstring>

namespace kiv::pf {

namespace {

void AppendUInt32(QByteArray& pData, std::uint32_t pValue)
{
    for (int i = 0; i < 4; ++i)
        pData.append(static_cast<char>((pValue >> (8 * i)) & 0xFF));
}

std::uint32_t ReadUInt32(const QByteArray& pData, qsizetype pOffset)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(pData.constData()) + pOffset;
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

void AppendList(QByteArray& pData, IdSpan pList)
{
    pData.append(reinterpret_cast<const char*>(pList.Data()), static_cast<qsizetype>(pList.Size()));
}

} // namespace

QByteArray BuildShellIdListArray(IdSpan pParent, const std::vector<IdListBytes>& pRelativeItems)
{
    const auto count = static_cast<std::uint32_t>(pRelativeItems.size());
    QByteArray data;
    AppendUInt32(data, count);
    std::uint32_t offset = 4 * (count + 2);
    AppendUInt32(data, offset);
    offset += static_cast<std::uint32_t>(pParent.Size());
    for (const IdListBytes& item : pRelativeItems) {
        AppendUInt32(data, offset);
        offset += static_cast<std::uint32_t>(item.size());
    }
    AppendList(data, pParent);
    for (const IdListBytes& item : pRelativeItems)
        AppendList(data, IdSpan(item));
    return data;
}

std::optional<std::vector<IdListBytes>> ParseShellIdListArray(const QByteArray& pData)
{
    const auto size = static_cast<std::size_t>(pData.size());
    if (size < 8)
        return std::nullopt;
    const std::uint32_t count = ReadUInt32(pData, 0);
    // The offsets alone must fit: this also keeps a huge count from allocating anything.
    if (count > (size - 8) / 4)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pData.constData());
    auto listAt = [&](std::uint32_t pIndex) -> std::optional<IdSpan> {
        const std::uint32_t offset = ReadUInt32(pData, 4 + 4 * qsizetype(pIndex));
        if (offset >= size)
            return std::nullopt;
        return IdSpan::FromUntrusted(bytes + offset, size - offset);
    };
    const std::optional<IdSpan> parent = listAt(0);
    if (!parent)
        return std::nullopt;
    std::vector<IdListBytes> items;
    items.reserve(count);
    for (std::uint32_t i = 1; i <= count; ++i) {
        const std::optional<IdSpan> item = listAt(i);
        if (!item)
            return std::nullopt;
        items.push_back(idl::Combine(*parent, *item));
    }
    return items;
}

} // namespace kiv::pf

#include "Guid.h"

namespace kiv::pf {
namespace {

int HexValue(QChar pChar)
{
    const char16_t c = pChar.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads pDigits hex digits at pPos; false when any is not a hex digit.
bool ReadHex(QStringView pText, qsizetype pPos, int pDigits, std::uint64_t& pOut)
{
    pOut = 0;
    for (int i = 0; i < pDigits; ++i) {
        const int v = HexValue(pText[pPos + i]);
        if (v < 0)
            return false;
        pOut = (pOut << 4) | static_cast<std::uint64_t>(v);
    }
    return true;
}

} // namespace

std::optional<Guid> Guid::FromString(QStringView pText)
{
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters.
    if (pText.size() != 38 || pText[0] != u'{' || pText[37] != u'}' || pText[9] != u'-' ||
        pText[14] != u'-' || pText[19] != u'-' || pText[24] != u'-')
        return std::nullopt;
    Guid result;
    std::uint64_t v = 0;
    if (!ReadHex(pText, 1, 8, v))
        return std::nullopt;
    result.Data1 = static_cast<std::uint32_t>(v);
    if (!ReadHex(pText, 10, 4, v))
        return std::nullopt;
    result.Data2 = static_cast<std::uint16_t>(v);
    if (!ReadHex(pText, 15, 4, v))
        return std::nullopt;
    result.Data3 = static_cast<std::uint16_t>(v);
    for (int i = 0; i < 8; ++i) {
        const qsizetype pos = i < 2 ? 20 + 2 * i : 25 + 2 * (i - 2);
        if (!ReadHex(pText, pos, 2, v))
            return std::nullopt;
        result.Data4[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    }
    return result;
}

Guid Guid::FromBytes(const std::uint8_t* pBytes)
{
    Guid result;
    result.Data1 = static_cast<std::uint32_t>(pBytes[0]) |
                   (static_cast<std::uint32_t>(pBytes[1]) << 8) |
                   (static_cast<std::uint32_t>(pBytes[2]) << 16) |
                   (static_cast<std::uint32_t>(pBytes[3]) << 24);
    result.Data2 = static_cast<std::uint16_t>(pBytes[4] | (pBytes[5] << 8));
    result.Data3 = static_cast<std::uint16_t>(pBytes[6] | (pBytes[7] << 8));
    for (std::size_t i = 0; i < 8; ++i)
        result.Data4[i] = pBytes[8 + i];
    return result;
}

void Guid::ToBytes(std::uint8_t* pOut) const
{
    for (int i = 0; i < 4; ++i)
        pOut[i] = static_cast<std::uint8_t>(Data1 >> (8 * i));
    pOut[4] = static_cast<std::uint8_t>(Data2);
    pOut[5] = static_cast<std::uint8_t>(Data2 >> 8);
    pOut[6] = static_cast<std::uint8_t>(Data3);
    pOut[7] = static_cast<std::uint8_t>(Data3 >> 8);
    for (std::size_t i = 0; i < 8; ++i)
        pOut[8 + i] = Data4[i];
}

QString Guid::ToString() const
{
    auto hex = [](std::uint64_t pValue, int pDigits) {
        return QString::number(pValue, 16).rightJustified(pDigits, u'0').toUpper();
    };
    QString text = u'{' + hex(Data1, 8) + u'-' + hex(Data2, 4) + u'-' + hex(Data3, 4) + u'-';
    for (std::size_t i = 0; i < 8; ++i) {
        if (i == 2)
            text += u'-';
        text += hex(Data4[i], 2);
    }
    return text + u'}';
}

} // namespace kiv::pf

#include "FileNames.h"

namespace kiv::pf {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscape(char16_t pUnit)
{
    return pUnit >= 0xDC80 && pUnit <= 0xDCFF;
}

// A high surrogate at pIndex followed by a low one: a real character, not escaped bytes.
bool StartsSurrogatePair(QStringView pText, qsizetype pIndex)
{
    const char16_t unit = pText[pIndex].unicode();
    if (unit < 0xD800 || unit > 0xDBFF || pIndex + 1 >= pText.size())
        return false;
    const char16_t low = pText[pIndex + 1].unicode();
    return low >= 0xDC00 && low <= 0xDFFF;
}

// Length of the valid UTF-8 sequence at pBytes[pPos] and its code point, or 0 when the byte there
// does not start one (overlong forms, surrogates and values past U+10FFFF are invalid).
int ValidSequence(std::string_view pBytes, std::size_t pPos, char32_t& pCode)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(pBytes[i]); };
    const unsigned char lead = byte(pPos);
    int length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        pCode = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (pPos + static_cast<std::size_t>(length) > pBytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(pPos + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    pCode = code;
    return length;
}

void AppendUtf8(std::string& pOut, char32_t pCode)
{
    if (pCode < 0x80) {
        pOut += static_cast<char>(pCode);
    } else if (pCode < 0x800) {
        pOut += static_cast<char>(0xC0 | (pCode >> 6));
        pOut += static_cast<char>(0x80 | (pCode & 0x3F));
    } else if (pCode < 0x10000) {
        pOut += static_cast<char>(0xE0 | (pCode >> 12));
        pOut += static_cast<char>(0x80 | ((pCode >> 6) & 0x3F));
        pOut += static_cast<char>(0x80 | (pCode & 0x3F));
    } else {
        pOut += static_cast<char>(0xF0 | (pCode >> 18));
        pOut += static_cast<char>(0x80 | ((pCode >> 12) & 0x3F));
        pOut += static_cast<char>(0x80 | ((pCode >> 6) & 0x3F));
        pOut += static_cast<char>(0x80 | (pCode & 0x3F));
    }
}

} // namespace

QString DecodeFileName(std::string_view pBytes)
{
    // ASCII names are by far the most common: no per-byte work for them.
    bool ascii = true;
    for (const char c : pBytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(pBytes.data(), static_cast<qsizetype>(pBytes.size()));

    QString result;
    result.reserve(static_cast<qsizetype>(pBytes.size()));
    std::size_t pos = 0;
    while (pos < pBytes.size()) {
        char32_t code = 0;
        const int length = ValidSequence(pBytes, pos, code);
        if (length == 0) {
            result +=
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(pBytes[pos])));
            ++pos;
            continue;
        }
        if (code >= 0x10000) {
            const char32_t v = code - 0x10000;
            result += QChar(static_cast<char16_t>(0xD800 + (v >> 10)));
            result += QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            result += QChar(static_cast<char16_t>(code));
        }
        pos += static_cast<std::size_t>(length);
    }
    return result;
}

std::string EncodeFileName(QStringView pText)
{
    const qsizetype n = pText.size();
    // Most names are plain ASCII: byte for unit, without the per-unit cases below.
    std::string result(static_cast<std::size_t>(n), '\0');
    const char16_t* const units = pText.utf16();
    qsizetype i = 0;
    for (; i < n && units[i] < 0x80; ++i)
        result[static_cast<std::size_t>(i)] = static_cast<char>(units[i]);
    if (i == n)
        return result;
    result.resize(static_cast<std::size_t>(i));
    result.reserve(static_cast<std::size_t>(n) + 8);
    for (; i < n; ++i) {
        const char16_t unit = pText[i].unicode();
        if (StartsSurrogatePair(pText, i)) {
            const char16_t low = pText[i + 1].unicode();
            AppendUtf8(result, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                   (static_cast<char32_t>(low) - 0xDC00));
            ++i;
            continue;
        }
        if (IsEscape(unit)) {
            result += static_cast<char>(unit - kEscapeBase);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(result, 0xFFFD);
        } else {
            AppendUtf8(result, unit);
        }
    }
    return result;
}

QString FileNameForDisplay(QString pText)
{
    for (qsizetype i = 0; i < pText.size(); ++i) {
        const char16_t unit = pText[i].unicode();
        // A high surrogate followed by a low one is a real character: skip the pair.
        if (StartsSurrogatePair(pText, i)) {
            ++i;
            continue;
        }
        if (IsEscape(unit))
            pText[i] = QChar(0xFFFD);
    }
    return pText;
}

bool HasEscapedBytes(QStringView pText)
{
    for (qsizetype i = 0; i < pText.size(); ++i) {
        const char16_t unit = pText[i].unicode();
        if (StartsSurrogatePair(pText, i)) {
            ++i;
            continue;
        }
        if (IsEscape(unit))
            return true;
    }
    return false;
}

} // namespace kiv::pf

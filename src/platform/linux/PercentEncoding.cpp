#include "PercentEncoding.h"

#include <cctype>

namespace kiv::pf::lnx {
namespace {

int HexDigit(char pChar)
{
    if (pChar >= '0' && pChar <= '9')
        return pChar - '0';
    if (pChar >= 'a' && pChar <= 'f')
        return pChar - 'a' + 10;
    if (pChar >= 'A' && pChar <= 'F')
        return pChar - 'A' + 10;
    return -1;
}

} // namespace

std::string PercentDecode(std::string_view pText)
{
    std::string result;
    result.reserve(pText.size());
    for (std::size_t i = 0; i < pText.size(); ++i) {
        if (pText[i] == '%' && i + 2 < pText.size() && HexDigit(pText[i + 1]) >= 0 &&
            HexDigit(pText[i + 2]) >= 0) {
            result += static_cast<char>(HexDigit(pText[i + 1]) * 16 + HexDigit(pText[i + 2]));
            i += 2;
        } else {
            result += pText[i];
        }
    }
    return result;
}

std::string PercentEncodePath(std::string_view pPath)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(pPath.size());
    for (const char c : pPath) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

} // namespace kiv::pf::lnx

#include "PercentEncoding.h"

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

} // namespace kiv::pf::lnx

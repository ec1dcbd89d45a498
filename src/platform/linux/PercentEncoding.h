#pragma once

#include <string>
#include <string_view>

namespace kiv::pf::lnx {

// Decodes "%XX" escapes of URIs and of the desktop files that store paths as URIs (trash info,
// bookmarks, recently used files). A "%" without two hex digits after it stays as it is.
std::string PercentDecode(std::string_view pText);

} // namespace kiv::pf::lnx

#pragma once

#include <string>
#include <string_view>

namespace kiv::pf::lnx {

// Decodes "%XX" escapes of URIs and of the desktop files that store paths as URIs (trash info,
// bookmarks, recently used files). A "%" without two hex digits after it stays as it is.
std::string PercentDecode(std::string_view pText);
// "%XX" for every byte of a path but the unreserved characters and "/": how trash info files and
// file URIs write paths.
std::string PercentEncodePath(std::string_view pPath);

} // namespace kiv::pf::lnx

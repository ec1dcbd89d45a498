#pragma once

#include <cstddef>
#include <string>

namespace kiv::pf::lnx {

// Reads a small file whole (settings, desktop entries, trash info, /proc files). Reading stops
// after about pLimit bytes, which bounds an odd or hostile file; a file that cannot be opened
// reads as empty.
inline constexpr std::size_t kSmallFileLimit = 64u << 10;
std::string ReadSmallFile(const std::string& pPath, std::size_t pLimit = kSmallFileLimit);
// The same for pName in the open folder pDirFd; with pNoFollow a link there is not followed.
std::string ReadSmallFileAt(int pDirFd, const std::string& pName,
                            std::size_t pLimit = kSmallFileLimit, bool pNoFollow = false);

} // namespace kiv::pf::lnx

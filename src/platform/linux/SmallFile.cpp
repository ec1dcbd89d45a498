#include "SmallFile.h"

#include "Handles.h"

#include <array>
#include <fcntl.h>
#include <unistd.h>

namespace kiv::pf::lnx {

namespace {

std::string ReadAll(const TFd& pFd, std::size_t pLimit)
{
    std::string text;
    std::array<char, 8192> buffer{};
    while (pFd.IsValid() && text.size() < pLimit) {
        const ssize_t n = ::read(pFd.Get(), buffer.data(), buffer.size());
        if (n <= 0)
            break;
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return text;
}

} // namespace

std::string ReadSmallFile(const std::string& pPath, std::size_t pLimit)
{
    return ReadAll(TFd(::open(pPath.c_str(), O_RDONLY | O_CLOEXEC)), pLimit);
}

std::string ReadSmallFileAt(int pDirFd, const std::string& pName, std::size_t pLimit,
                            bool pNoFollow)
{
    return ReadAll(
        TFd(::openat(pDirFd, pName.c_str(), O_RDONLY | O_CLOEXEC | (pNoFollow ? O_NOFOLLOW : 0))),
        pLimit);
}

} // namespace kiv::pf::lnx

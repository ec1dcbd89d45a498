#include "IPlatform.h"

#include <atomic>
#include <stdexcept>

namespace kiv::pf {
namespace {

std::unique_ptr<IPlatform>& Installed()
{
    static std::unique_ptr<IPlatform> platform;
    return platform;
}

std::atomic<std::uint64_t>& Generation()
{
    static std::atomic<std::uint64_t> generation{0};
    return generation;
}

} // namespace

IPlatform& Platform()
{
    if (!Installed())
        throw std::logic_error("no platform installed");
    return *Installed();
}

std::uint64_t PlatformGeneration()
{
    return Generation().load();
}

bool HasPlatform()
{
    return Installed() != nullptr;
}

std::unique_ptr<IPlatform> InstallPlatform(std::unique_ptr<IPlatform> pPlatform)
{
    std::swap(Installed(), pPlatform);
    ++Generation();
    return pPlatform;
}

TScopedPlatform::TScopedPlatform(std::unique_ptr<IPlatform> pPlatform)
    : fPrevious(InstallPlatform(std::move(pPlatform)))
{
}

TScopedPlatform::~TScopedPlatform()
{
    InstallPlatform(std::move(fPrevious));
}

} // namespace kiv::pf

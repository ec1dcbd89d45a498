#include "IPlatform.h"

#include <stdexcept>

namespace kiv::pf {
namespace {

std::unique_ptr<IPlatform>& Installed()
{
    static std::unique_ptr<IPlatform> platform;
    return platform;
}

} // namespace

IPlatform& Platform()
{
    if (!Installed())
        throw std::logic_error("no platform installed");
    return *Installed();
}

bool HasPlatform()
{
    return Installed() != nullptr;
}

std::unique_ptr<IPlatform> InstallPlatform(std::unique_ptr<IPlatform> pPlatform)
{
    std::swap(Installed(), pPlatform);
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

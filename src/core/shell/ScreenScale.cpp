#include "ScreenScale.h"

#include <atomic>
#include <cstdint>
#include <limits>

namespace kiv {
namespace {

std::atomic<int>& ScreenValue()
{
    static std::atomic<int> value{TScreenScale::kReferencePpi};
    return value;
}

std::atomic<int>& ActiveFormValue()
{
    static std::atomic<int> value{0};
    return value;
}

} // namespace

int TScreenScale::ScreenPpi() noexcept
{
    return ScreenValue().load(std::memory_order_relaxed);
}

void TScreenScale::SetScreenPpi(int pPpi) noexcept
{
    ScreenValue().store(pPpi > 0 ? pPpi : kReferencePpi, std::memory_order_relaxed);
}

int TScreenScale::ActiveFormPpi() noexcept
{
    return ActiveFormValue().load(std::memory_order_relaxed);
}

void TScreenScale::SetActiveFormPpi(int pPpi) noexcept
{
    ActiveFormValue().store(pPpi > 0 ? pPpi : 0, std::memory_order_relaxed);
}

int TScreenScale::ScaledPixels(int pPixels) noexcept
{
    const int active = ActiveFormPpi();
    const int ppi = active > 0 ? active : ScreenPpi();
    const int scaled = MulDiv(pPixels, ppi, kReferencePpi);
    return scaled < pPixels ? pPixels : scaled;
}

int TScreenScale::MulDiv(int pNumber, int pNumerator, int pDenominator) noexcept
{
    if (pDenominator == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(pNumber) * pNumerator;
    const std::int64_t half = (pDenominator < 0 ? -static_cast<std::int64_t>(pDenominator)
                                                : static_cast<std::int64_t>(pDenominator)) /
                              2;
    // Round half away from zero: move the product away from zero by half the divisor first.
    const bool negative = (product < 0) != (pDenominator < 0);
    const std::int64_t magnitude = (product < 0 ? -product : product) + half;
    const std::int64_t divisor = pDenominator < 0 ? -static_cast<std::int64_t>(pDenominator)
                                                  : static_cast<std::int64_t>(pDenominator);
    const std::int64_t result = (negative ? -1 : 1) * (magnitude / divisor);
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}

} // namespace kiv

#include "core/threading/CpuUsage.h"

#include <algorithm>
#include <cmath>

namespace kiv {

TCpuUsageMeter::TCpuUsageMeter(TSample pSample, TTick pTick)
    : fSample(std::move(pSample))
    , fTick(std::move(pTick))
{
}

int TCpuUsageMeter::Percent(const pf::TSystemTimes& pOld, const pf::TSystemTimes& pNew)
{
    // Counters that went backwards (a reset) count as no time passed.
    const auto delta = [](std::uint64_t pFrom, std::uint64_t pTo) {
        return pTo >= pFrom ? pTo - pFrom : 0;
    };
    const std::uint64_t idle = delta(pOld.Idle, pNew.Idle);
    const std::uint64_t total = delta(pOld.Kernel, pNew.Kernel) + delta(pOld.User, pNew.User);
    if (total == 0)
        return 100;
    const double percent = 100.0 * (1.0 - static_cast<double>(idle) / static_cast<double>(total));
    return std::clamp(static_cast<int>(std::lround(percent)), 0, 100);
}

int TCpuUsageMeter::Value()
{
    const std::uint64_t now = fTick();
    {
        const std::scoped_lock lock(fLock);
        if (fLastTick && now - *fLastTick < kRefreshMs)
            return fValue;
        fLastTick = now;
    }
    const std::optional<pf::TSystemTimes> sample = fSample();
    const std::scoped_lock lock(fLock);
    if (!sample)
        return fValue;
    fValue = Percent(fLast, *sample);
    fLast = *sample;
    return fValue;
}

} // namespace kiv

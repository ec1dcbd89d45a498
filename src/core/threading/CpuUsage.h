#pragma once

// The machine's processor load from two samples of the system times:
//   100 × (1 − idle delta ÷ (kernel delta + user delta)), rounded, within 0..100,
// where kernel time includes idle time; 100 when no time has passed between the samples.
// Samples are taken at most every 200 ms; in between, and when the system gives no times, the
// last figure is returned. Thread-safe; the sample is read outside the lock.

#include "core/platform/Threads.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace kiv {

class TCpuUsageMeter
{
public:
    using TSample = std::function<std::optional<pf::TSystemTimes>()>;
    using TTick = std::function<std::uint64_t()>;

    // How long a figure is kept: short enough to follow load changes at the pace workers are
    // added (400 ms), long enough that asking often costs no system call.
    static constexpr std::uint64_t kRefreshMs = 200;

    TCpuUsageMeter(TSample pSample, TTick pTick);

    int Value();

    static int Percent(const pf::TSystemTimes& pOld, const pf::TSystemTimes& pNew);

private:
    TSample fSample;
    TTick fTick;
    std::mutex fLock;
    pf::TSystemTimes fLast;                 // guarded by fLock; zero: since start-up
    std::optional<std::uint64_t> fLastTick; // guarded by fLock
    int fValue = 0;                         // guarded by fLock
};

} // namespace kiv

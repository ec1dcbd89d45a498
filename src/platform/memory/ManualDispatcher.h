#pragma once

// A user-interface dispatcher for tests, with a virtual clock. The thread that makes it is the
// user-interface thread; calls queued to it run only when the test says so (RunPending,
// RunUntil), so a test decides exactly when deliveries happen. Time stands still until the test
// advances it: AdvanceTime fires due timers in order, and wakes workers sleeping on the virtual
// clock (SleepFor, installed as the background machinery's sleep with UseVirtualTime).

#include "core/threading/UiCallQueue.h"

#include <QString>

#include <cstdint>
#include <map>
#include <set>

namespace kiv::pf::fake {

class ManualDispatcher final : public TUiCallQueue
{
public:
    ManualDispatcher();
    ~ManualDispatcher() override;

    // Runs the calls queued so far; returns how many ran.
    std::size_t RunPending() { return DrainPending(); }
    // Runs queued calls as they come until pDone() or pTimeout (real time) has passed.
    bool RunUntil(const std::function<bool()>& pDone,
                  std::chrono::milliseconds pTimeout = std::chrono::seconds(10))
    {
        return WaitFor(pDone, pTimeout);
    }

    void ProcessEvents() override { DrainPending(); }
    std::unique_ptr<IUiTimer> CreateTimer(int pIntervalMs, bool pRepeat,
                                          std::function<void()> pOnTick) override;

    // ---- virtual clock ----
    std::uint64_t Now() const;
    // Moves the clock on: due timers fire (on this thread) and sleepers whose time has come
    // wake, in the order of their due times.
    void AdvanceTime(std::chrono::milliseconds pStep);
    // Any thread: sleeps until the virtual clock has moved pDuration on.
    void SleepFor(std::chrono::milliseconds pDuration);
    // Threads sleeping on the virtual clock whose time has not come.
    int SleeperCount() const;
    // Waits (real time) until pCount threads sleep on the virtual clock with their time still
    // to come (so a sleeper that is due but not yet awake does not count).
    bool WaitForSleepers(int pCount, std::chrono::milliseconds pTimeout = std::chrono::seconds(10));
    // Makes the background machinery sleep and read ticks on this clock until the dispatcher
    // goes (or UseVirtualTime(false)).
    void UseVirtualTime(bool pOn = true);

private:
    friend class TManualTimer;
    struct TTimerEntry
    {
        std::function<void()> fOnTick;
        int fInterval = 0;
        bool fRepeat = false;
        std::uint64_t fDue = 0;
        bool fActive = false;
    };

    mutable std::mutex fClockLock;
    std::condition_variable fClockChanged;
    std::uint64_t fNow = 0;                 // guarded by fClockLock
    std::multiset<std::uint64_t> fSleepers; // due times; guarded by fClockLock
    std::map<int, TTimerEntry> fTimers;     // only the user-interface thread
    int fNextTimer = 0;
    bool fVirtualTime = false;
};

} // namespace kiv::pf::fake

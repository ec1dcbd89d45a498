#include "platform/memory/ManualDispatcher.h"

#include "core/threading/ThreadingHooks.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace kiv::pf::fake {

class TManualTimer final : public IUiTimer
{
public:
    TManualTimer(ManualDispatcher& pOwner, int pId)
        : fOwner(pOwner)
        , fId(pId)
    {
    }
    ~TManualTimer() override { fOwner.fTimers.erase(fId); }

    void Start() override
    {
        auto& timer = fOwner.fTimers.at(fId);
        timer.fActive = true;
        timer.fDue = fOwner.Now() + static_cast<std::uint64_t>(timer.fInterval);
    }
    void Stop() override { fOwner.fTimers.at(fId).fActive = false; }
    bool IsActive() const override { return fOwner.fTimers.at(fId).fActive; }
    void SetInterval(int pMilliseconds) override
    {
        auto& timer = fOwner.fTimers.at(fId);
        timer.fInterval = pMilliseconds;
        if (timer.fActive)
            Start();
    }

private:
    ManualDispatcher& fOwner;
    const int fId;
};

ManualDispatcher::ManualDispatcher()
    : TUiCallQueue(std::this_thread::get_id())
{
}

ManualDispatcher::~ManualDispatcher()
{
    UseVirtualTime(false);
    Shutdown();
}

std::unique_ptr<IUiTimer> ManualDispatcher::CreateTimer(int pIntervalMs, bool pRepeat,
                                                        std::function<void()> pOnTick)
{
    const int id = fNextTimer++;
    fTimers[id] = TTimerEntry{std::move(pOnTick), pIntervalMs, pRepeat, 0, false};
    return std::make_unique<TManualTimer>(*this, id);
}

std::uint64_t ManualDispatcher::Now() const
{
    const std::scoped_lock lock(fClockLock);
    return fNow;
}

void ManualDispatcher::AdvanceTime(std::chrono::milliseconds pStep)
{
    const std::uint64_t target = Now() + static_cast<std::uint64_t>(pStep.count());
    for (;;) {
        // The next due timer within the step, earliest first (then by creation).
        int next = -1;
        std::uint64_t due = std::numeric_limits<std::uint64_t>::max();
        for (const auto& [id, timer] : fTimers)
            if (timer.fActive && timer.fDue <= target && timer.fDue < due) {
                next = id;
                due = timer.fDue;
            }
        {
            const std::scoped_lock lock(fClockLock);
            fNow = next >= 0 ? std::max(fNow, due) : target;
        }
        fClockChanged.notify_all();
        if (next < 0)
            return;
        TTimerEntry& timer = fTimers.at(next);
        if (timer.fRepeat)
            timer.fDue = due + static_cast<std::uint64_t>(std::max(1, timer.fInterval));
        else
            timer.fActive = false;
        const std::function<void()> tick = timer.fOnTick;
        try {
            tick();
        } catch (...) {
            threading::HandleException(std::current_exception());
        }
    }
}

void ManualDispatcher::SleepFor(std::chrono::milliseconds pDuration)
{
    std::unique_lock lock(fClockLock);
    const std::uint64_t due = fNow + static_cast<std::uint64_t>(pDuration.count());
    const auto entry = fSleepers.insert(due);
    fClockChanged.notify_all();
    fClockChanged.wait(lock, [&] { return fNow >= due; });
    fSleepers.erase(entry);
    fClockChanged.notify_all();
}

int ManualDispatcher::SleeperCount() const
{
    const std::scoped_lock lock(fClockLock);
    return static_cast<int>(std::distance(fSleepers.upper_bound(fNow), fSleepers.end()));
}

bool ManualDispatcher::WaitForSleepers(int pCount, std::chrono::milliseconds pTimeout)
{
    std::unique_lock lock(fClockLock);
    return fClockChanged.wait_for(lock, pTimeout, [&] {
        return std::distance(fSleepers.upper_bound(fNow), fSleepers.end()) >= pCount;
    });
}

void ManualDispatcher::UseVirtualTime(bool pOn)
{
    if (pOn == fVirtualTime)
        return;
    fVirtualTime = pOn;
    if (pOn) {
        threading::SetSleepFunction(
            [this](std::chrono::milliseconds pDuration) { SleepFor(pDuration); });
        threading::SetTickFunction([this] { return Now(); });
    } else {
        threading::SetSleepFunction(nullptr);
        threading::SetTickFunction(nullptr);
    }
}

} // namespace kiv::pf::fake

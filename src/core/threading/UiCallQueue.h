#pragma once

// The queue of calls waiting for the user-interface thread, shared by the Qt dispatcher and the
// manual test dispatcher: they differ only in how the user-interface thread learns that calls
// wait (a posted Qt event, or the test running them) and in their timers.
//
// Thread-safe. Calls run one at a time on the user-interface thread, in the order queued; a call
// that queues another does not run it in the same drain, so a busy worker cannot starve input.

#include "core/platform/UiDispatcher.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace kiv {

class TUiCallQueue : public pf::IUiDispatcher
{
public:
    ~TUiCallQueue() override;

    bool IsUiThread() const override;
    void Post(std::function<void()> pCall, const void* pOwner = nullptr) override;
    bool Send(std::function<void()> pCall, const ICancellationIndicator* pCancel = nullptr,
              const void* pOwner = nullptr) override;
    std::size_t DrainPending() override;
    bool WaitFor(const std::function<bool()>& pDone, std::chrono::milliseconds pTimeout) override;
    void Wake() override;
    void Purge(const void* pOwner) override;
    void Shutdown() override;

    std::size_t PendingCount() const;
    // Waits, without running anything, until at least pCount calls are queued.
    bool WaitForQueued(std::size_t pCount, std::chrono::milliseconds pTimeout);

    // The owner that Post and Send give calls made on this thread without an owner of their
    // own (a pool thread tags its calls with itself, so abandoning it purges them), and the flag
    // that tells the thread was abandoned: from then on its calls are dropped (Send returns
    // false), as the ones it queued before were purged.
    static void SetCurrentThreadOwner(const void* pOwner,
                                      const std::atomic<bool>* pAbandoned = nullptr) noexcept;
    static const void* CurrentThreadOwner() noexcept;

protected:
    explicit TUiCallQueue(std::thread::id pUiThread);

    // Called, outside the lock, when a call was queued and no earlier request is outstanding.
    virtual void RequestWake() {}
    // The event loop took the wake request: the next queued call asks again.
    void WakeHandled();

private:
    struct TCall
    {
        std::function<void()> fCall;
        const void* fOwner = nullptr;
        const ICancellationIndicator* fCancel = nullptr;
        std::shared_ptr<std::promise<bool>> fSent; // set for Send: whether the call ran
    };

    void Enqueue(TCall pCall);
    static void Run(TCall& pCall);

    const std::thread::id fUiThread;
    mutable std::mutex fLock;
    std::condition_variable fChanged;
    std::deque<TCall> fCalls;     // guarded by fLock
    bool fShutdown = false;       // guarded by fLock
    bool fWakeRequested = false;  // guarded by fLock
    std::uint64_t fWakeCount = 0; // guarded by fLock
    std::atomic<int> fWaiters{0};
};

} // namespace kiv

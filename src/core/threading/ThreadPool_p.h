#pragma once

// How a thread reaches its pool without ever touching a destroyed one. Threads hold the anchor
// (shared), the pool points it at itself for its lifetime. A thread calls into the pool only
// through Use, which counts the call; the pool's destructor revokes the anchor and waits until
// no call is inside. An abandoned thread is refused as well, so it cannot touch the pool even
// while the pool still exists.

#include "core/threading/ThreadPool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kiv {

class TPoolAnchor
{
public:
    explicit TPoolAnchor(TCustomThreadPool& pPool)
        : fPool(&pPool)
    {
    }

    // Runs pCall with the pool unless the pool is gone or pThread was abandoned; returns whether
    // it ran.
    template <typename F> bool Use(const TKivThread& pThread, F&& pCall)
    {
        fUsers.fetch_add(1);
        struct TRelease
        {
            TPoolAnchor& fAnchor;
            ~TRelease() { fAnchor.Release(); }
        } release{*this};
        TCustomThreadPool* pool = fPool.load();
        if (!pool || pThread.Abandoned())
            return false;
        pCall(*pool);
        return true;
    }

    // No new calls reach the pool; waits until the calls inside have left.
    void Revoke();

    // Waits until no call is inside the pool, at most pTimeout; serves the user-interface queue
    // meanwhile when called there. Returns whether none is inside.
    bool WaitIdle(std::chrono::milliseconds pTimeout);

private:
    void Release() noexcept;

    std::atomic<TCustomThreadPool*> fPool;
    std::atomic<int> fUsers{0};
    std::atomic<int> fIdleWaiters{0};
    std::mutex fIdleLock;
    std::condition_variable fIdle;
};

} // namespace kiv

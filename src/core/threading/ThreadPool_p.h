#pragma once

// How a thread reaches its pool without ever touching a destroyed one. Threads hold the anchor
// (shared), the pool points it at itself for its lifetime. A thread calls into the pool only
// through Use, which counts the call; the pool's destructor revokes the anchor and waits until
// no call is inside. An abandoned thread is refused as well, so it cannot touch the pool even
// while the pool still exists.
//
// Workers pass through the anchor for every item they finish, so the count of calls inside is
// kept in a few counters, each on its own cache line, chosen by the calling thread: workers
// then do not pass one line back and forth between their processors.

#include "core/threading/ThreadPool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
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
        std::atomic<int>& users = UsersOf(pThread);
        users.fetch_add(1);
        struct TRelease
        {
            TPoolAnchor& fAnchor;
            std::atomic<int>& fUsers;
            ~TRelease() { fAnchor.Release(fUsers); }
        } release{*this, users};
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
    static constexpr int kUserCounterBits = 3;
    static constexpr std::size_t kUserCounters = std::size_t{1} << kUserCounterBits;
    struct alignas(64) TUserCounter
    {
        std::atomic<int> fCount{0};
    };

    std::atomic<int>& UsersOf(const TKivThread& pThread) noexcept
    {
        // Fibonacci hashing of the thread's address spreads neighbouring objects apart.
        const auto address = reinterpret_cast<std::uintptr_t>(&pThread);
        return fUsers[(static_cast<std::uint64_t>(address) * 0x9E3779B97F4A7C15ULL) >>
                      (64 - kUserCounterBits)]
            .fCount;
    }
    bool Idle() const noexcept;
    void Release(std::atomic<int>& pUsers) noexcept;

    std::atomic<TCustomThreadPool*> fPool;
    TUserCounter fUsers[kUserCounters];
    std::atomic<int> fIdleWaiters{0};
    std::mutex fIdleLock;
    std::condition_variable fIdle;
};

} // namespace kiv

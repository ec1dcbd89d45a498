#include "core/threading/UiCallQueue.h"

#include "core/threading/ThreadingHooks.h"
#include "core/threading/ThreadingTypes.h"

namespace kiv {

namespace {
thread_local const void* tCurrentOwner = nullptr;
thread_local const std::atomic<bool>* tAbandoned = nullptr;

bool CurrentThreadAbandoned()
{
    return tAbandoned && tAbandoned->load();
}
} // namespace

TUiCallQueue::TUiCallQueue(std::thread::id pUiThread)
    : fUiThread(pUiThread)
{
}

TUiCallQueue::~TUiCallQueue()
{
    Shutdown();
}

bool TUiCallQueue::IsUiThread() const
{
    return std::this_thread::get_id() == fUiThread;
}

void TUiCallQueue::SetCurrentThreadOwner(const void* pOwner,
                                         const std::atomic<bool>* pAbandoned) noexcept
{
    tCurrentOwner = pOwner;
    tAbandoned = pAbandoned;
}

const void* TUiCallQueue::CurrentThreadOwner() noexcept
{
    return tCurrentOwner;
}

void TUiCallQueue::Enqueue(TCall pCall)
{
    bool wake = false;
    {
        std::unique_lock lock(fLock);
        if (fShutdown) {
            lock.unlock();
            if (pCall.fSent)
                pCall.fSent->set_value(false);
            return;
        }
        fCalls.push_back(std::move(pCall));
        if (!fWakeRequested) {
            fWakeRequested = true;
            wake = true;
        }
        if (fWaiters.load() > 0)
            fChanged.notify_all();
    }
    if (wake)
        RequestWake();
}

void TUiCallQueue::Post(std::function<void()> pCall, const void* pOwner)
{
    if (CurrentThreadAbandoned())
        return;
    Enqueue(TCall{std::move(pCall), pOwner ? pOwner : tCurrentOwner, nullptr, nullptr});
}

bool TUiCallQueue::Send(std::function<void()> pCall, const ICancellationIndicator* pCancel,
                        const void* pOwner)
{
    if (IsUiThread()) {
        if (pCancel && pCancel->IsCancellationRequested())
            return false;
        TCall call{std::move(pCall), nullptr, nullptr, nullptr};
        Run(call);
        return true;
    }
    if (CurrentThreadAbandoned())
        return false;
    auto sent = std::make_shared<std::promise<bool>>();
    std::future<bool> ran = sent->get_future();
    Enqueue(TCall{std::move(pCall), pOwner ? pOwner : tCurrentOwner, pCancel, std::move(sent)});
    return ran.get();
}

void TUiCallQueue::Run(TCall& pCall)
{
    if (pCall.fCancel && pCall.fCancel->IsCancellationRequested()) {
        if (pCall.fSent)
            pCall.fSent->set_value(false);
        return;
    }
    try {
        pCall.fCall();
    } catch (...) {
        // Exceptions never cross the event loop nor go back to the sender's thread.
        threading::HandleException(std::current_exception());
    }
    // Release what the call holds before the sender goes on.
    pCall.fCall = nullptr;
    if (pCall.fSent)
        pCall.fSent->set_value(true);
}

std::size_t TUiCallQueue::DrainPending()
{
    if (!IsUiThread())
        return 0;
    std::size_t budget;
    {
        const std::scoped_lock lock(fLock);
        budget = fCalls.size();
    }
    std::size_t ran = 0;
    while (ran < budget) {
        TCall call;
        {
            const std::scoped_lock lock(fLock);
            if (fCalls.empty())
                break;
            call = std::move(fCalls.front());
            fCalls.pop_front();
        }
        Run(call);
        ++ran;
    }
    return ran;
}

bool TUiCallQueue::WaitFor(const std::function<bool()>& pDone, std::chrono::milliseconds pTimeout)
{
    const auto deadline = std::chrono::steady_clock::now() + pTimeout;
    const bool serve = IsUiThread();
    fWaiters.fetch_add(1);
    struct TLeave
    {
        std::atomic<int>& fCount;
        ~TLeave() { fCount.fetch_sub(1); }
    } leave{fWaiters};
    for (;;) {
        std::uint64_t seen;
        {
            const std::scoped_lock lock(fLock);
            seen = fWakeCount;
        }
        if (serve)
            DrainPending();
        if (pDone())
            return true;
        std::unique_lock lock(fLock);
        const bool woken = fChanged.wait_until(
            lock, deadline, [&] { return fWakeCount != seen || (serve && !fCalls.empty()); });
        if (!woken) {
            lock.unlock();
            return pDone();
        }
    }
}

void TUiCallQueue::Wake()
{
    if (fWaiters.load() == 0)
        return;
    const std::scoped_lock lock(fLock);
    ++fWakeCount;
    fChanged.notify_all();
}

void TUiCallQueue::Purge(const void* pOwner)
{
    if (!pOwner)
        return;
    std::deque<TCall> dropped;
    {
        const std::scoped_lock lock(fLock);
        for (auto it = fCalls.begin(); it != fCalls.end();) {
            if (it->fOwner == pOwner) {
                dropped.push_back(std::move(*it));
                it = fCalls.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (TCall& call : dropped)
        if (call.fSent)
            call.fSent->set_value(false);
}

void TUiCallQueue::Shutdown()
{
    std::deque<TCall> dropped;
    {
        const std::scoped_lock lock(fLock);
        fShutdown = true;
        dropped.swap(fCalls);
        fChanged.notify_all();
    }
    for (TCall& call : dropped)
        if (call.fSent)
            call.fSent->set_value(false);
}

std::size_t TUiCallQueue::PendingCount() const
{
    const std::scoped_lock lock(fLock);
    return fCalls.size();
}

bool TUiCallQueue::WaitForQueued(std::size_t pCount, std::chrono::milliseconds pTimeout)
{
    fWaiters.fetch_add(1);
    std::unique_lock lock(fLock);
    const bool queued = fChanged.wait_for(lock, pTimeout, [&] { return fCalls.size() >= pCount; });
    lock.unlock();
    fWaiters.fetch_sub(1);
    return queued;
}

void TUiCallQueue::WakeHandled()
{
    const std::scoped_lock lock(fLock);
    fWakeRequested = false;
}

} // namespace kiv

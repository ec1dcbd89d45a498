#include "core/threading/ThreadPool.h"

#include "core/platform/UiDispatcher.h"
#include "core/threading/ThreadPool_p.h"
#include "core/threading/ThreadingHooks.h"
#include "core/threading/UiCallQueue.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace kiv {

namespace {

thread_local TKivThread* tCurrentThread = nullptr;

// How long a paused thread sleeps between looks at its state.
constexpr std::chrono::milliseconds kPauseCheck{100};
// Workers start at most this often once the pool has its minimum: a burst of work should not
// start a crowd of threads that then sit idle.
constexpr std::uint64_t kThreadCheckIntervalMs = 400;
// The longest a worker waits for new work before it looks at its state again.
constexpr std::chrono::milliseconds kNewWorkWait{500};
// How long a worker that ran out of work looks for more before it sleeps: about what a sleep
// and a wake-up cost the two threads, and short next to any real work item.
constexpr std::chrono::microseconds kSpinTime{20};

// Tells the processor that this is a busy wait (less power, and the other hardware thread of
// the core runs faster meanwhile).
inline void CpuRelax() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Marks the thread's work (apartment set-up) on systems that need it; nothing here.
void InitializeCom(bool /*pFreeThreaded*/) {}
void UninitializeCom() {}

} // namespace

// ---- TPoolAnchor ----------------------------------------------------------------------------

void TPoolAnchor::Revoke()
{
    fPool.store(nullptr);
    while (!WaitIdle(std::chrono::hours(1))) {
    }
}

bool TPoolAnchor::Idle() const noexcept
{
    return std::all_of(std::begin(fUsers), std::end(fUsers),
                       [](const TUserCounter& pUsers) { return pUsers.fCount.load() == 0; });
}

bool TPoolAnchor::WaitIdle(std::chrono::milliseconds pTimeout)
{
    const auto idle = [this] { return Idle(); };
    fIdleWaiters.fetch_add(1);
    bool done = false;
    if (pf::Ui().IsUiThread()) {
        // Calls inside may be waiting in Send for this very thread: serve them, looking every
        // 10 ms. The leaving call cannot wake us through the dispatcher, which the program may
        // tear down as soon as the pool is gone.
        const auto deadline = std::chrono::steady_clock::now() + pTimeout;
        while (!(done = idle()) && std::chrono::steady_clock::now() < deadline)
            pf::Ui().WaitFor(idle, std::chrono::milliseconds(10));
    } else {
        std::unique_lock lock(fIdleLock);
        done = fIdle.wait_for(lock, pTimeout, idle);
    }
    fIdleWaiters.fetch_sub(1);
    return done;
}

void TPoolAnchor::Release(std::atomic<int>& pUsers) noexcept
{
    // Only the anchor itself is touched here: it is shared with the thread, the pool may be gone.
    if (pUsers.fetch_sub(1) == 1 && (fPool.load() == nullptr || fIdleWaiters.load() > 0) &&
        Idle()) {
        try {
            {
                const std::scoped_lock lock(fIdleLock);
            }
            fIdle.notify_all();
        } catch (...) {
            // The waiter also looks again at its next 10 ms step or time-out.
        }
    }
}

// ---- TKivThread -----------------------------------------------------------------------------

TKivThread::TKivThread(ICancellationIndicatorPtr pCancellationIndicator)
    : fCancellationIndicator(std::move(pCancellationIndicator))
{
}

TKivThread::~TKivThread() = default;

TKivThread* TKivThread::Current() noexcept
{
    return tCurrentThread;
}

QString TKivThread::ClassName() const
{
    return threading::TypeName(typeid(*this));
}

void TKivThread::Start()
{
    if (fStarted.exchange(true))
        return;
    // A thread paused before it starts stays paused.
    TTaskStatus waiting = TTaskStatus::WaitingToRun;
    fStatus.compare_exchange_strong(waiting, TTaskStatus::Running);
    try {
        std::thread([self = shared_from_this()] { self->Run(); }).detach();
    } catch (...) {
        fStarted.store(false);
        throw;
    }
}

void TKivThread::Run()
{
    tCurrentThread = this;
    // Calls this thread queues to the user-interface thread are dropped if it is abandoned.
    TUiCallQueue::SetCurrentThreadOwner(this, &fAbandoned);
    // The id is published before the priority is read: a pool changing its priority meanwhile
    // either sees the id and sets the priority itself, or its new priority is read here.
    fThreadId.store(pf::Threads().CurrentThreadId());
    if (const pf::TThreadPriority priority = fInitialPriority.load();
        priority != pf::TThreadPriority::Normal)
        pf::Threads().SetThreadPriority(fThreadId.load(), priority);
    try {
        Execute();
    } catch (...) {
        threading::HandleException(std::current_exception());
    }
    if (fBackgroundMode)
        SetBackgroundMode(false);
    SetStatus(TTaskStatus::Completed);
    fEnded.store(true);
    NotifyStateChanged();
    pf::WakeUi();
    // Telling the pool is the last thing that reaches beyond this object: once the pool has
    // removed the thread it may be destroyed, and with it whatever the test or program set up.
    if (fThreadPool)
        fThreadPool->Use(*this, [this](TCustomThreadPool& pPool) { pPool.ThreadEnded(*this); });
    // A pool that frees itself goes here, outside its code, when nobody else holds it.
    fPoolToLetGo.reset();
    TUiCallQueue::SetCurrentThreadOwner(nullptr);
    tCurrentThread = nullptr;
}

void TKivThread::SetStatus(TTaskStatus pStatus) noexcept
{
    TTaskStatus current = fStatus.load();
    while (current != TTaskStatus::Canceled && !fStatus.compare_exchange_weak(current, pStatus)) {
    }
}

void TKivThread::NotifyStateChanged()
{
    {
        const std::scoped_lock lock(fStateLock);
    }
    fStateChanged.notify_all();
}

void TKivThread::SetPaused(bool pPaused)
{
    TTaskStatus current = fStatus.load();
    for (;;) {
        TTaskStatus next = current;
        if (pPaused && (current == TTaskStatus::WaitingToRun || current == TTaskStatus::Running))
            next = TTaskStatus::Paused;
        else if (!pPaused && current == TTaskStatus::Paused)
            next = TTaskStatus::Running;
        if (next == current || fStatus.compare_exchange_weak(current, next))
            break;
    }
    NotifyStateChanged();
}

void TKivThread::SetBackgroundMode(bool pOn)
{
    if (pOn == fBackgroundMode)
        return;
    pf::Threads().SetBackgroundMode(pOn);
    fBackgroundMode = pOn;
}

void TKivThread::Terminate() noexcept
{
    fStop.request_stop();
    try {
        NotifyStateChanged();
    } catch (...) {
        // Waiters also wake through the stop token.
    }
}

bool TKivThread::IsStopped()
{
    while (Paused() && !Terminated()) {
        std::unique_lock lock(fStateLock);
        fStateChanged.wait_for(lock, fStop.get_token(), kPauseCheck, [] { return false; });
    }
    return Terminated() ||
           (fCancellationIndicator && fCancellationIndicator->IsCancellationRequested());
}

bool TKivThread::WaitFor(std::chrono::milliseconds pTimeout)
{
    if (pf::Ui().IsUiThread())
        return pf::Ui().WaitFor([this] { return Ended(); }, pTimeout);
    std::unique_lock lock(fStateLock);
    return fStateChanged.wait_for(lock, pTimeout, [this] { return Ended(); });
}

// ---- TCOMThread -----------------------------------------------------------------------------

TCOMThread::TCOMThread(std::function<void()> pExecute, std::shared_ptr<void> pComObjectToKeepAlive,
                       bool pFreeThreaded)
    : fComObjectToKeepAlive(std::move(pComObjectToKeepAlive))
    , fFreeThreaded(pFreeThreaded)
    , fExecute(std::move(pExecute))
{
}

std::shared_ptr<TCOMThread> TCOMThread::Create(std::function<void()> pExecute,
                                               std::shared_ptr<void> pComObjectToKeepAlive,
                                               bool pFreeThreaded)
{
    return std::make_shared<TCOMThread>(std::move(pExecute), std::move(pComObjectToKeepAlive),
                                        pFreeThreaded);
}

std::shared_ptr<TCOMThread> TCOMThread::Run(std::function<void()> pExecute,
                                            std::shared_ptr<void> pComObjectToKeepAlive,
                                            bool pFreeThreaded)
{
    auto thread = Create(std::move(pExecute), std::move(pComObjectToKeepAlive), pFreeThreaded);
    thread->Start();
    return thread;
}

void TCOMThread::Execute()
{
    InitializeCom(fFreeThreaded);
    try {
        if (fExecute)
            fExecute();
    } catch (...) {
        threading::HandleException(std::current_exception());
    }
    fExecute = nullptr;
    UninitializeCom();
}

// ---- TCustomThreadPool ----------------------------------------------------------------------

TCustomThreadPool::TCustomThreadPool()
    : fMaxRunningThreads(DefaultMaxRunningThreads())
    , fAnchor(std::make_shared<TPoolAnchor>(*this))
{
}

TCustomThreadPool::~TCustomThreadPool()
{
    Shutdown();
}

void TCustomThreadPool::Shutdown()
{
    if (fShutDown)
        return;
    fShutDown = true;
    fDestroying.store(true);
    TerminateAllThreads(true);
    fAnchor->Revoke();
}

int TCustomThreadPool::DefaultMaxRunningThreads()
{
    return pf::Threads().ProcessorCount() * 3 + 2;
}

void TCustomThreadPool::AttachLocked(const TKivThreadPtr& pThread)
{
    if (fFreeOnLastThreadTermination && !fSelf)
        fSelf = weak_from_this().lock();
    pThread->fThreadPool = fAnchor;
    pThread->fInitialPriority.store(fPriority);
    if (fPaused)
        pThread->SetPaused(true);
    fThreads.push_back(pThread);
}

void TCustomThreadPool::Add(const TKivThreadPtr& pThread)
{
    const std::scoped_lock lock(fLock);
    AttachLocked(pThread);
}

bool TCustomThreadPool::FreeOnLastThreadTermination() const
{
    const std::scoped_lock lock(fLock);
    return fFreeOnLastThreadTermination;
}

void TCustomThreadPool::SetFreeOnLastThreadTermination(bool pValue)
{
    std::shared_ptr<TCustomThreadPool> self = weak_from_this().lock();
    if (!self)
        throw EInvalidOperation(ClassName() +
                                QStringLiteral(" can free itself only when held by a shared_ptr."));
    const std::scoped_lock lock(fLock);
    fFreeOnLastThreadTermination = pValue;
    // Our caller holds the pool as well, so letting go here never destroys it.
    if (!pValue)
        fSelf.reset();
    else if (!fThreads.empty())
        fSelf = std::move(self);
}

bool TCustomThreadPool::ThreadsActive() const
{
    const std::scoped_lock lock(fLock);
    return !fThreads.empty();
}

bool TCustomThreadPool::ThreadExists(const TKivThread& pThread) const
{
    const std::scoped_lock lock(fLock);
    return std::any_of(fThreads.begin(), fThreads.end(),
                       [&](const TKivThreadPtr& pEach) { return pEach.get() == &pThread; });
}

int TCustomThreadPool::ThreadCount() const
{
    const std::scoped_lock lock(fLock);
    return static_cast<int>(fThreads.size());
}

int TCustomThreadPool::MaxRunningThreads() const
{
    const std::scoped_lock lock(fLock);
    return fMaxRunningThreads;
}

void TCustomThreadPool::SetMaxRunningThreads(int pValue)
{
    const std::scoped_lock lock(fLock);
    fMaxRunningThreads = std::max(1, pValue);
}

bool TCustomThreadPool::Paused() const
{
    const std::scoped_lock lock(fLock);
    return fPaused;
}

void TCustomThreadPool::SetPaused(bool pPaused)
{
    const std::scoped_lock lock(fLock);
    fPaused = pPaused;
    for (const TKivThreadPtr& thread : fThreads)
        PauseThreadLocked(*thread, pPaused);
}

void TCustomThreadPool::PauseThreadLocked(TKivThread& pThread, bool pPaused)
{
    pThread.SetPaused(pPaused);
}

pf::TThreadPriority TCustomThreadPool::Priority() const
{
    const std::scoped_lock lock(fLock);
    return fPriority;
}

void TCustomThreadPool::SetPriority(pf::TThreadPriority pPriority)
{
    std::vector<std::uint64_t> running;
    {
        const std::scoped_lock lock(fLock);
        fPriority = pPriority;
        for (const TKivThreadPtr& thread : fThreads) {
            thread->fInitialPriority.store(pPriority);
            if (thread->ThreadId() != 0)
                running.push_back(thread->ThreadId());
        }
    }
    for (std::uint64_t id : running)
        pf::Threads().SetThreadPriority(id, pPriority);
}

std::chrono::milliseconds TCustomThreadPool::MaxTimeUntilHardTerminate() const
{
    const std::scoped_lock lock(fLock);
    return fMaxTimeUntilHardTerminate;
}

void TCustomThreadPool::SetMaxTimeUntilHardTerminate(std::chrono::milliseconds pTime)
{
    const std::scoped_lock lock(fLock);
    fMaxTimeUntilHardTerminate = pTime;
}

void TCustomThreadPool::NotifyThreadsChanged()
{
    {
        const std::scoped_lock lock(fWaitLock);
    }
    fThreadsChanged.notify_all();
    pf::WakeUi();
}

bool TCustomThreadPool::WaitUntil(const std::function<bool()>& pDone,
                                  std::chrono::milliseconds pTimeout)
{
    if (pf::Ui().IsUiThread())
        return pf::Ui().WaitFor(pDone, pTimeout);
    std::unique_lock lock(fWaitLock);
    return fThreadsChanged.wait_for(lock, pTimeout, pDone);
}

void TCustomThreadPool::TerminateAllThreads(bool pForce)
{
    // A pool that frees itself may do so when its last thread is abandoned: not before this
    // returns.
    const std::shared_ptr<TCustomThreadPool> keep = weak_from_this().lock();
    std::vector<TKivThreadPtr> threads;
    {
        const std::scoped_lock lock(fLock);
        threads = fThreads;
        if (!threads.empty())
            fTerminated.store(true);
    }
    for (auto it = threads.rbegin(); it != threads.rend(); ++it) {
        (*it)->Terminate();
        if (!(*it)->Started())
            (*it)->Start();
    }
    if (pForce) {
        if (pf::Ui().IsUiThread())
            pf::Ui().DrainPending();
        for (const TKivThreadPtr& thread : threads)
            WaitForThread(thread);
        // Threads that left the list may still be on their way out of the pool's code; when
        // this returns none is, so the caller may tear down what the pool used. (A pool thread
        // terminating its own pool cannot wait for itself.)
        const TKivThread* current = TKivThread::Current();
        if (!current || current->PoolAnchor() != fAnchor)
            fAnchor->WaitIdle(MaxTimeUntilHardTerminate());
    }
    if (pf::Ui().IsUiThread())
        pf::Ui().DrainPending();
}

void TCustomThreadPool::WaitForThread(const TKivThreadPtr& pThread)
{
    pThread->Terminate();
    if (!pThread->Started())
        pThread->Start();
    if (!WaitUntil([&] { return !ThreadExists(*pThread); }, MaxTimeUntilHardTerminate()))
        Abandon(pThread);
}

QString TCustomThreadPool::AbandonLocked(TKivThread& pThread)
{
    return QStringLiteral("Terminating Thread ") + pThread.ClassName() +
           QStringLiteral(" the hard way. Thread ID: ") + QString::number(pThread.ThreadId());
}

void TCustomThreadPool::Abandon(const TKivThreadPtr& pThread)
{
    std::shared_ptr<TCustomThreadPool> self; // declared first: let go last
    QString line;
    bool empty = false;
    {
        const std::scoped_lock lock(fLock);
        const auto it = std::find(fThreads.begin(), fThreads.end(), pThread);
        if (it == fThreads.end())
            return;
        // From here on the thread cannot reach the pool; it keeps its own object alive.
        pThread->fAbandoned.store(true);
        pThread->fStatus.store(TTaskStatus::Canceled);
        line = AbandonLocked(*pThread);
        fThreads.erase(it);
        ThreadRemovedLocked();
        empty = fThreads.empty();
        if (empty) {
            fTerminated.store(false);
            // Let go below; TerminateAllThreads, the only caller, holds the pool meanwhile.
            self = std::move(fSelf);
        }
    }
    threading::DebugLine(line);
    pf::Ui().Purge(pThread.get());
    NotifyThreadsChanged();
    if (empty && OnAllThreadsTerminated && !fDestroying.load()) {
        try {
            OnAllThreadsTerminated(*this);
        } catch (...) {
            threading::HandleException(std::current_exception());
        }
    }
}

void TCustomThreadPool::ThreadEnded(TKivThread& pThread)
{
    if (OnThreadTerminated)
        pf::Ui().Send([&] { OnThreadTerminated(*this, pThread); }, nullptr, &pThread);
    RemoveEnded(pThread);
}

void TCustomThreadPool::RemoveEnded(TKivThread& pThread)
{
    bool empty = false;
    TKivThreadPtr keep; // released outside the lock
    {
        const std::scoped_lock lock(fLock);
        const auto it =
            std::find_if(fThreads.begin(), fThreads.end(),
                         [&](const TKivThreadPtr& pEach) { return pEach.get() == &pThread; });
        if (it == fThreads.end())
            return;
        keep = std::move(*it);
        fThreads.erase(it);
        ThreadRemovedLocked();
        empty = fThreads.empty();
        if (empty) {
            fTerminated.store(false);
            // Let go by the ending thread once it has left the pool's code (RemoveEnded runs
            // on that thread).
            pThread.fPoolToLetGo = std::move(fSelf);
        }
    }
    NotifyThreadsChanged();
    if (empty && OnAllThreadsTerminated) {
        try {
            OnAllThreadsTerminated(*this);
        } catch (...) {
            threading::HandleException(std::current_exception());
        }
    }
}

// ---- TThreadPool ----------------------------------------------------------------------------

TThreadPool::~TThreadPool()
{
    Shutdown();
}

int TThreadPool::RunningCountLocked() const
{
    return static_cast<int>(
        std::count_if(fThreads.begin(), fThreads.end(), [](const TKivThreadPtr& pEach) {
            return pEach->Started() && pEach->Status() != TTaskStatus::Completed;
        }));
}

void TThreadPool::Add(const TKivThreadPtr& pThread)
{
    const std::scoped_lock lock(fLock);
    if (fTerminated.load())
        pThread->Terminate();
    AttachLocked(pThread);
    if (static_cast<int>(fThreads.size()) <= fMaxRunningThreads)
        pThread->Start();
}

void TThreadPool::ThreadRemovedLocked()
{
    if (RunningCountLocked() >= fMaxRunningThreads)
        return;
    const auto suspended =
        std::find_if(fThreads.begin(), fThreads.end(),
                     [](const TKivThreadPtr& pEach) { return !pEach->Started(); });
    if (suspended != fThreads.end())
        (*suspended)->Start();
}

void TThreadPool::SetMaxRunningThreads(int pValue)
{
    const std::scoped_lock lock(fLock);
    fMaxRunningThreads = std::max(1, pValue);
    int running = 0;
    for (const TKivThreadPtr& thread : fThreads) {
        if (!thread->Started() || thread->Status() == TTaskStatus::Completed)
            continue;
        if (++running > fMaxRunningThreads)
            thread->Terminate();
    }
    for (const TKivThreadPtr& thread : fThreads) {
        if (running >= fMaxRunningThreads)
            break;
        if (!thread->Started()) {
            thread->Start();
            ++running;
        }
    }
}

// ---- TWorkItemsQueue ------------------------------------------------------------------------

bool TWorkItemsQueue::ShouldWakeLocked() const noexcept
{
    // A worker looking for work without sleeping takes it; so does one woken already.
    return fSleepers > fWakesSent && fSpinners.load() == 0;
}

void TWorkItemsQueue::Add(IWorkItemPtr pItem, TPriority pPriority)
{
    bool wake = false;
    {
        const std::scoped_lock lock(fLock);
        if (pPriority == TPriority::Normal)
            fList.push_front(std::move(pItem));
        else
            fList.push_back(std::move(pItem));
        fCount.store(static_cast<int>(fList.size()), std::memory_order_release);
        fActive.store(fActive.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        wake = ShouldWakeLocked();
        if (wake)
            ++fWakesSent;
    }
    if (wake)
        fWorkQueued.notify_one();
}

IWorkItem* TWorkItemsQueue::TakeIntoLocked(IWorkItemPtr& pSlot)
{
    if (fList.empty())
        return nullptr;
    pSlot = std::move(fList.back());
    fList.pop_back();
    fCount.store(static_cast<int>(fList.size()), std::memory_order_release);
    return pSlot.get();
}

IWorkItem* TWorkItemsQueue::TakeInto(IWorkItemPtr& pSlot)
{
    bool wake = false;
    IWorkItem* item = nullptr;
    {
        const std::scoped_lock lock(fLock);
        item = TakeIntoLocked(pSlot);
        // One wake-up wakes one worker: pass it on while work remains.
        wake = item && !fList.empty() && ShouldWakeLocked();
        if (wake)
            ++fWakesSent;
    }
    if (wake)
        fWorkQueued.notify_one();
    return item;
}

IWorkItem* TWorkItemsQueue::FinishInto(IWorkItemPtr& pSlot, IWorkItemPtr& pDone, bool pTakeNext,
                                       bool& pLastDone)
{
    bool wake = false;
    IWorkItem* next = nullptr;
    {
        const std::scoped_lock lock(fLock);
        pDone = std::move(pSlot);
        // A forced termination may have stopped counting the item already.
        const int active = fActive.load(std::memory_order_relaxed);
        if (active > 0)
            fActive.store(active - 1, std::memory_order_release);
        pLastDone = active == 1;
        if (pTakeNext)
            next = TakeIntoLocked(pSlot);
        wake = next && !fList.empty() && ShouldWakeLocked();
        if (wake)
            ++fWakesSent;
    }
    if (wake)
        fWorkQueued.notify_one();
    return next;
}

int TWorkItemsQueue::Clear(int* pRemaining)
{
    std::deque<IWorkItemPtr> dropped;
    {
        const std::scoped_lock lock(fLock);
        dropped.swap(fList);
        fCount.store(0, std::memory_order_release);
        const int remaining =
            std::max(0, fActive.load(std::memory_order_relaxed) - static_cast<int>(dropped.size()));
        fActive.store(remaining, std::memory_order_release);
        if (pRemaining)
            *pRemaining = remaining;
    }
    // Dropped work reaches a final state, so that nobody waits for it forever.
    for (const IWorkItemPtr& item : dropped)
        item->SetStatus(TTaskStatus::Canceled);
    return static_cast<int>(dropped.size());
}

int TWorkItemsQueue::ResetCount()
{
    const std::scoped_lock lock(fLock);
    const int before = fActive.load(std::memory_order_relaxed);
    fActive.store(0, std::memory_order_release);
    return before;
}

bool TWorkItemsQueue::ContainsIfLocked(const std::function<bool(const IWorkItem&)>& pMatch) const
{
    return std::any_of(fList.begin(), fList.end(),
                       [&](const IWorkItemPtr& pItem) { return pMatch(*pItem); });
}

void TWorkItemsQueue::WaitForWork(std::chrono::milliseconds pTimeout, const std::stop_token& pStop,
                                  const std::atomic<int>& pHold)
{
    const auto workSeen = [&] { return pHold.load() == 0 && Count() > 0; };
    {
        // While this worker spins, adding work wakes nobody: it takes the work itself. Having
        // stopped counting itself, it looks under the lock below once more, so work added in
        // between is not missed.
        fSpinners.fetch_add(1);
        const auto spinEnd = std::chrono::steady_clock::now() + kSpinTime;
        bool seen = false;
        for (int look = 1; !(seen = workSeen()) && !pStop.stop_requested(); ++look) {
            CpuRelax();
            if (look % 64 == 0 && std::chrono::steady_clock::now() >= spinEnd)
                break;
        }
        fSpinners.fetch_sub(1);
        if (seen || pStop.stop_requested())
            return;
    }
    std::unique_lock lock(fLock);
    const std::uint64_t wakeAll = fWakeAllCount;
    ++fSleepers;
    // A plain condition variable: stopping a worker pool's threads always wakes all waiters
    // (WakeAll), and an idle exit ends the wait by itself.
    fWorkQueued.wait_for(lock, pTimeout, [&] {
        return (pHold.load() == 0 && !fList.empty()) || fWakeAllCount != wakeAll ||
               pStop.stop_requested();
    });
    --fSleepers;
    // This worker looks now; wake-ups sent and not yet taken stay counted for the others.
    fWakesSent = std::max(0, std::min(fWakesSent - 1, fSleepers));
}

void TWorkItemsQueue::WakeAll()
{
    {
        const std::scoped_lock lock(fLock);
        ++fWakeAllCount;
    }
    fWorkQueued.notify_all();
}

// ---- TWorkerThread --------------------------------------------------------------------------

void TWorkerThread::Execute()
{
    const std::shared_ptr<TPoolAnchor> anchor = PoolAnchor();
    if (!anchor)
        return;
    const auto pool = [](TCustomThreadPool& pPool) -> TWorkerThreadPool& {
        return static_cast<TWorkerThreadPool&>(pPool);
    };
    if (!IsStopped()) {
        anchor->Use(*this, [&](TCustomThreadPool& pPool) {
            SetStatus(pool(pPool).TCustomThreadPool::Paused() ? TTaskStatus::Paused
                                                              : TTaskStatus::Running);
            pool(pPool).NewThreadStarted(*this);
        });
    }
    // The running item is held by fWorkItem, which only this thread lets go (in ItemDone) while
    // it belongs to the pool, and keeps when it is abandoned.
    IWorkItem* item = nullptr;
    for (;;) {
        if (!item) {
            if (IsStopped())
                break;
            if (!anchor->Use(*this,
                             [&](TCustomThreadPool& pPool) { item = pool(pPool).TakeItem(*this); }))
                break;
            continue;
        }
        // An item once taken is run: if the pool terminated meanwhile it was cancelled with
        // the others, and RunItem passes over it.
        RunItem(*item);
        // Letting go of the item and taking the next happen in one step.
        if (!anchor->Use(*this,
                         [&](TCustomThreadPool& pPool) { item = pool(pPool).ItemDone(*this); }))
            break;
    }
    UninitializeCom();
}

void TWorkerThread::RunItem(IWorkItem& pItem)
{
    if (pItem.GetStatus() == TTaskStatus::Canceled)
        return;
    pItem.SetStatus(TTaskStatus::Running);
    try {
        pItem.DoWork();
    } catch (...) {
        pItem.SetStatus(TTaskStatus::Canceled);
        threading::HandleException(std::current_exception());
    }
    if (pItem.GetStatus() != TTaskStatus::Canceled)
        pItem.SetStatus(TTaskStatus::Completed);
    try {
        pItem.Finished();
    } catch (...) {
        threading::HandleException(std::current_exception());
    }
}

// ---- TWorkerThreadPool ----------------------------------------------------------------------

TWorkerThreadPool::TWorkerThreadPool(bool pInitializeCOM)
    : fInitializeCOM(pInitializeCOM)
{
    fMaxRunningSnapshot.store(TCustomThreadPool::MaxRunningThreads());
}

TWorkerThreadPool::~TWorkerThreadPool()
{
    Shutdown();
}

void TWorkerThreadPool::AddWorkItem(const IWorkItemPtr& pItem)
{
    AddWorkItem(pItem, fUseLIFO.load() ? TPriority::Highest : TPriority::Normal);
}

void TWorkerThreadPool::AddWorkItem(const IWorkItemPtr& pItem, TPriority pPriority)
{
    AddWorkItem(IWorkItemPtr(pItem), pPriority);
}

void TWorkerThreadPool::AddWorkItem(IWorkItemPtr&& pItem, TPriority pPriority)
{
    if (fDestroying.load())
        throw EInvalidOperation(
            QStringLiteral("New workitems cannot be added to a threadpool that is destroying."));
    if (!pItem)
        return;
    if (fIsTerminatingAllWorkitems.load()) {
        // Dropped like the queued ones; it reaches a final state so that nobody waits forever.
        pItem->SetStatus(TTaskStatus::Canceled);
        return;
    }
    pItem->SetStatus(TTaskStatus::WaitingToRun);
    fWorkerItemsQueue.Add(std::move(pItem), pPriority);
    ThreadCheck();
}

void TWorkerThreadPool::AddWorkItems(const std::vector<IWorkItemPtr>& pItems, TPriority pPriority)
{
    {
        const std::scoped_lock lock(fLock);
        if (fDestroying.load())
            throw EInvalidOperation(QStringLiteral(
                "New workitems cannot be added to a threadpool that is destroying."));
        for (const IWorkItemPtr& item : pItems) {
            if (!item)
                continue;
            if (fIsTerminatingAllWorkitems.load()) {
                item->SetStatus(TTaskStatus::Canceled);
                continue;
            }
            item->SetStatus(TTaskStatus::WaitingToRun);
            fWorkerItemsQueue.Add(item, pPriority);
        }
    }
    ThreadCheck();
}

bool TWorkerThreadPool::ContainsWorkItemIf(
    const std::function<bool(const IWorkItem&)>& pMatch) const
{
    const std::scoped_lock lock(fLock);
    return fWorkerItemsQueue.Locked([&] {
        if (fWorkerItemsQueue.ContainsIfLocked(pMatch))
            return true;
        return std::any_of(fThreads.begin(), fThreads.end(), [&](const TKivThreadPtr& pThread) {
            const auto* worker = dynamic_cast<const TWorkerThread*>(pThread.get());
            return worker && worker->fWorkItem && pMatch(*worker->fWorkItem);
        });
    });
}

bool TWorkerThreadPool::ContainsWorkItem(std::intptr_t pTag) const
{
    return ContainsWorkItemIf([pTag](const IWorkItem& pItem) { return pItem.GetTag() == pTag; });
}

bool TWorkerThreadPool::WorkItemsActive() const
{
    if (fWorkerItemsQueue.ActiveCount() <= 0)
        return false;
    if (!ThreadsActive())
        throw EInvalidOperation(
            ClassName() +
            QStringLiteral(" should have worker threads in case it has worker items."));
    return true;
}

int TWorkerThreadPool::ActiveThreadCount() const
{
    const std::scoped_lock lock(fLock);
    return fWorkerItemsQueue.Locked([&] {
        return static_cast<int>(
            std::count_if(fThreads.begin(), fThreads.end(), [](const TKivThreadPtr& pThread) {
                const auto* worker = dynamic_cast<const TWorkerThread*>(pThread.get());
                return worker && worker->fWorkItem;
            }));
    });
}

int TWorkerThreadPool::MinWorkerThreads() const
{
    const std::scoped_lock lock(fLock);
    return fMinWorkerThreads;
}

void TWorkerThreadPool::SetMinWorkerThreads(int pValue)
{
    {
        const std::scoped_lock lock(fLock);
        fMinWorkerThreads = std::max(1, pValue);
        fMinWorkerThreadsSnapshot.store(fMinWorkerThreads);
        if (fMaxRunningThreads < fMinWorkerThreads)
            fMaxRunningThreads = fMinWorkerThreads;
        fMaxRunningSnapshot.store(fMaxRunningThreads);
    }
    ThreadCheck();
}

void TWorkerThreadPool::SetMaxRunningThreads(int pValue)
{
    const std::scoped_lock lock(fLock);
    // The minimum stays below the limit, or the throttle would never apply.
    if (pValue < fMinWorkerThreads) {
        fMinWorkerThreads = std::max(1, pValue - 1);
        fMinWorkerThreadsSnapshot.store(fMinWorkerThreads);
    }
    fMaxRunningThreads = std::max(1, pValue);
    fMaxRunningSnapshot.store(fMaxRunningThreads);
}

int TWorkerThreadPool::MaxCpuUsage() const
{
    return fMaxCpuUsage.load();
}

void TWorkerThreadPool::SetMaxCpuUsage(int pValue)
{
    fMaxCpuUsage.store(std::clamp(pValue, 0, 100));
}

std::chrono::milliseconds TWorkerThreadPool::MaxIdleTime() const
{
    return std::chrono::milliseconds(fMaxIdleTime.load());
}

void TWorkerThreadPool::SetMaxIdleTime(std::chrono::milliseconds pTime)
{
    fMaxIdleTime.store(pTime.count());
    SignalAllWorkers();
}

void TWorkerThreadPool::SetOnAllWorkItemsDone(TAllWorkItemsFinished pHandler)
{
    fOnAllWorkItemsDone = std::move(pHandler);
}

void TWorkerThreadPool::SetThreadName(const QString& pName)
{
    const std::scoped_lock lock(fLock);
    fThreadName = pName;
}

void TWorkerThreadPool::ThreadCheck()
{
    const int threads = fThreadCountSnapshot.load();
    if (threads >= fMaxRunningSnapshot.load())
        return; // no room for another worker whatever the rest says
    const std::uint64_t now = threading::TickCount();
    const int minimum = fMinWorkerThreadsSnapshot.load();
    if (now - fLastCheckAddNewWorkerThread.load() < kThreadCheckIntervalMs && threads > minimum)
        return;
    // The load figure may read a system file: ask before taking the lock.
    const int cpuUsage = threads >= minimum ? pf::Threads().CpuUsage() : 0;
    const std::scoped_lock lock(fLock);
    const int count = static_cast<int>(fThreads.size());
    if (count < fMaxRunningThreads && fWorkerItemsQueue.Count() > 0 && !fTerminated.load() &&
        !fDestroying.load()) {
        if (!(count >= fMinWorkerThreads && cpuUsage >= fMaxCpuUsage.load())) {
            auto worker = std::make_shared<TWorkerThread>();
            AttachLocked(worker);
            fThreadCountSnapshot.store(static_cast<int>(fThreads.size()));
            try {
                worker->Start();
            } catch (const std::system_error&) {
                fThreads.pop_back();
                fThreadCountSnapshot.store(static_cast<int>(fThreads.size()));
                // With other workers running the work still gets done.
                if (fThreads.empty())
                    throw;
            }
        }
    }
    fLastCheckAddNewWorkerThread.store(now);
}

void TWorkerThreadPool::NewThreadStarted(TWorkerThread& pThread)
{
    QString name;
    {
        const std::scoped_lock lock(fLock);
        name = fThreadName;
    }
    pf::Threads().SetCurrentThreadName(name.isEmpty() ? pThread.ClassName() : name);
    if (fInitializeCOM)
        InitializeCom(false);
    if (OnNewThread) {
        try {
            OnNewThread(*this, pThread);
        } catch (...) {
            threading::HandleException(std::current_exception());
        }
    }
}

IWorkItem* TWorkerThreadPool::TakeItem(TWorkerThread& pThread)
{
    if (pThread.Terminated())
        return nullptr;
    if (fAllWorkItemsDoneEventCount.load() > 0) {
        // The all-done handler runs: take nothing until it has finished (it wakes all then).
        fWorkerItemsQueue.WaitForWork(kNewWorkWait, pThread.StopToken(),
                                      fAllWorkItemsDoneEventCount);
        return nullptr;
    }
    std::uint64_t waitStart = 0; // read when the queue is first found empty
    for (;;) {
        if (IWorkItem* item = fWorkerItemsQueue.TakeInto(pThread.fWorkItem)) {
            ThreadCheck();
            return item;
        }
        if (waitStart == 0)
            waitStart = threading::TickCount();
        const std::uint64_t waited = threading::TickCount() - waitStart;
        const auto maxIdle = static_cast<std::uint64_t>(fMaxIdleTime.load());
        if (waited > maxIdle) {
            pThread.Terminate();
            return nullptr;
        }
        const auto untilIdle = std::chrono::milliseconds(maxIdle - waited + 1);
        fWorkerItemsQueue.WaitForWork(std::min(kNewWorkWait, untilIdle), pThread.StopToken(),
                                      fAllWorkItemsDoneEventCount);
        // A pause or an all-done notification is looked at before taking again.
        if (pThread.Terminated() || pThread.Paused() || fAllWorkItemsDoneEventCount.load() > 0)
            return nullptr;
    }
}

IWorkItem* TWorkerThreadPool::ItemDone(TWorkerThread& pThread)
{
    IWorkItemPtr done; // let go outside the queue's lock
    bool lastDone = false;
    // The next item, when the thread goes on at once (not stopping, not paused); an all-done
    // notification cannot be due while another item is queued.
    const bool takeNext =
        !pThread.Terminated() && !pThread.Paused() && fAllWorkItemsDoneEventCount.load() == 0;
    IWorkItem* next = fWorkerItemsQueue.FinishInto(pThread.fWorkItem, done, takeNext, lastDone);
    done.reset(); // before the all-done handler runs
    if (lastDone)
        AllWorkItemsDone();
    if (next)
        ThreadCheck();
    return next;
}

void TWorkerThreadPool::AllWorkItemsDone()
{
    if (!fOnAllWorkItemsDone)
        return;
    if (fAllWorkItemsDoneEventCount.fetch_add(1) == 0) {
        try {
            fOnAllWorkItemsDone(fTerminated.load());
        } catch (...) {
            threading::HandleException(std::current_exception());
        }
    }
    fAllWorkItemsDoneEventCount.fetch_sub(1);
    SignalAllWorkers();
}

void TWorkerThreadPool::CancelAllWorkItems()
{
    if (fWorkerItemsQueue.ActiveCount() <= 0)
        return;
    fIsTerminatingAllWorkitems.store(true);
    int remaining = 0;
    fWorkerItemsQueue.Clear(&remaining);
    if (remaining == 0) {
        AllWorkItemsDone();
    } else {
        std::vector<IWorkItemPtr> running;
        {
            const std::scoped_lock lock(fLock);
            fWorkerItemsQueue.Locked([&] {
                for (const TKivThreadPtr& thread : fThreads)
                    if (const auto* worker = dynamic_cast<const TWorkerThread*>(thread.get()))
                        if (worker->fWorkItem)
                            running.push_back(worker->fWorkItem);
            });
        }
        for (const IWorkItemPtr& item : running)
            item->Terminate();
    }
    fIsTerminatingAllWorkitems.store(false);
}

void TWorkerThreadPool::TerminateAllThreads(bool pForce)
{
    const std::shared_ptr<TCustomThreadPool> keep = weak_from_this().lock(); // as in the base
    TCustomThreadPool::TerminateAllThreads(false);
    CancelAllWorkItems();
    SignalAllWorkers();
    TCustomThreadPool::TerminateAllThreads(pForce);
    if (pForce) {
        fWorkerItemsQueue.Clear();
        if (fWorkerItemsQueue.ResetCount() != 0)
            AllWorkItemsDone();
    }
    if (pf::Ui().IsUiThread())
        pf::Ui().DrainPending();
}

void TWorkerThreadPool::ThreadEnded(TKivThread& pThread)
{
    if (fWorkerItemsQueue.Count() > 0)
        ThreadCheck();
    TCustomThreadPool::ThreadEnded(pThread);
    // Work queued while the pool terminated found no worker (the check refuses while the pool
    // is terminated) and would wait for ever; once the last thread has gone it gets a new one.
    if (fWorkerItemsQueue.Count() > 0)
        ThreadCheck();
}

void TWorkerThreadPool::ThreadRemovedLocked()
{
    fThreadCountSnapshot.store(static_cast<int>(fThreads.size()));
}

void TWorkerThreadPool::PauseThreadLocked(TKivThread& pThread, bool pPaused)
{
    TCustomThreadPool::PauseThreadLocked(pThread, pPaused);
    auto* worker = dynamic_cast<TWorkerThread*>(&pThread);
    if (!worker)
        return;
    IWorkItemPtr item = fWorkerItemsQueue.Locked([&] { return worker->fWorkItem; });
    if (item)
        item->SetStatus(pPaused ? TTaskStatus::Paused : TTaskStatus::Running);
}

QString TWorkerThreadPool::AbandonLocked(TKivThread& pThread)
{
    auto* worker = dynamic_cast<TWorkerThread*>(&pThread);
    // The thread keeps its item, which it may still be running, until it ends; the pool no
    // longer sees it.
    IWorkItemPtr item =
        worker ? fWorkerItemsQueue.Locked([&] { return worker->fWorkItem; }) : nullptr;
    if (!item)
        return TCustomThreadPool::AbandonLocked(pThread);
    return QStringLiteral("Terminating worker Thread with work item") + item->ClassName() +
           QStringLiteral(" the hard way.");
}

std::shared_ptr<TWorkerThreadPool> TWorkerThreadPool::CreateGlobalPool()
{
    auto pool = std::make_shared<TWorkerThreadPool>(true);
    const int processors = std::max(4, pf::Threads().ProcessorCount());
    pool->SetThreadName(QStringLiteral("TWorkerThread in GlobalThreadPool"));
    pool->SetMinWorkerThreads(processors * 2);
    pool->SetMaxRunningThreads(processors * 4);
    return pool;
}

std::shared_ptr<TWorkerThreadPool> TWorkerThreadPool::Instance()
{
    static const std::shared_ptr<TWorkerThreadPool> instance = CreateGlobalPool();
    return instance;
}

// ---- TWorkerThreadPoolRefCounted ------------------------------------------------------------

TWorkerThreadPoolRefCounted::TWorkerThreadPoolRefCounted()
    : TWorkerThreadPool(true)
{
}

std::shared_ptr<TWorkerThreadPoolRefCounted>
TWorkerThreadPoolRefCounted::Create(const TWorkerPoolConfig& pConfig)
{
    auto pool = std::make_shared<TWorkerThreadPoolRefCounted>();
    pool->SetMaxRunningThreads(pConfig.MaxRunningThreads);
    pool->SetMinWorkerThreads(pConfig.MinRunningThreads);
    pool->SetMaxCpuUsage(pConfig.MaxCpuUsage);
    pool->SetPriority(pConfig.ThreadPriority);
    pool->SetOnAllWorkItemsDone(pConfig.OnAllWorkItemsFinished);
    return pool;
}

} // namespace kiv

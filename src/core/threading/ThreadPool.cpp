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
// The longest a worker waits for the new-work event before it looks at the queue again.
constexpr std::chrono::milliseconds kNewWorkWait{500};
// How often a worker that ran out of work looks at the queue again before it sleeps.
constexpr int kNewWorkLooks = 16;

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

bool TPoolAnchor::WaitIdle(std::chrono::milliseconds pTimeout)
{
    const auto idle = [this] { return fUsers.load() == 0; };
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

void TPoolAnchor::Release() noexcept
{
    // Only the anchor itself is touched here: it is shared with the thread, the pool may be gone.
    if (fUsers.fetch_sub(1) == 1 && (fPool.load() == nullptr || fIdleWaiters.load() > 0)) {
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
    fThreadId.store(pf::Threads().CurrentThreadId());
    if (fInitialPriority != pf::TThreadPriority::Normal)
        pf::Threads().SetThreadPriority(fThreadId.load(), fInitialPriority);
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
    pf::Ui().Wake();
    // Telling the pool is the last thing that reaches beyond this object: once the pool has
    // removed the thread it may be destroyed, and with it whatever the test or program set up.
    if (fThreadPool)
        fThreadPool->Use(*this, [this](TCustomThreadPool& pPool) { pPool.ThreadEnded(*this); });
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
    pThread->fThreadPool = fAnchor;
    pThread->fInitialPriority = fPriority;
    if (fPaused)
        pThread->SetPaused(true);
    fThreads.push_back(pThread);
}

void TCustomThreadPool::Add(const TKivThreadPtr& pThread)
{
    const std::scoped_lock lock(fLock);
    AttachLocked(pThread);
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
            thread->fInitialPriority = pPriority;
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
    pf::Ui().Wake();
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
        if (empty)
            fTerminated.store(false);
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
        if (empty)
            fTerminated.store(false);
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

void TWorkItemsQueue::Add(IWorkItemPtr pItem, TPriority pPriority)
{
    const std::scoped_lock lock(fLock);
    if (pPriority == TPriority::Normal)
        fList.push_front(std::move(pItem));
    else
        fList.push_back(std::move(pItem));
    fCount.store(static_cast<int>(fList.size()));
}

IWorkItemPtr TWorkItemsQueue::Take()
{
    const std::scoped_lock lock(fLock);
    if (fList.empty())
        return nullptr;
    IWorkItemPtr item = std::move(fList.back());
    fList.pop_back();
    fCount.store(static_cast<int>(fList.size()));
    return item;
}

int TWorkItemsQueue::Clear()
{
    std::deque<IWorkItemPtr> dropped;
    {
        const std::scoped_lock lock(fLock);
        dropped.swap(fList);
        fCount.store(0);
    }
    // Dropped work reaches a final state, so that nobody waits for it forever.
    for (const IWorkItemPtr& item : dropped)
        item->SetStatus(TTaskStatus::Canceled);
    return static_cast<int>(dropped.size());
}

bool TWorkItemsQueue::ContainsIf(const std::function<bool(const IWorkItem&)>& pMatch) const
{
    const std::scoped_lock lock(fLock);
    return std::any_of(fList.begin(), fList.end(),
                       [&](const IWorkItemPtr& pItem) { return pMatch(*pItem); });
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
    IWorkItemPtr item;
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
        RunItem(item);
        item.reset();
        // Letting go of the item and taking the next happen in one step.
        if (!anchor->Use(*this,
                         [&](TCustomThreadPool& pPool) { item = pool(pPool).ItemDone(*this); }))
            break;
    }
    UninitializeCom();
}

void TWorkerThread::RunItem(const IWorkItemPtr& pItem)
{
    if (pItem->GetStatus() == TTaskStatus::Canceled)
        return;
    pItem->SetStatus(TTaskStatus::Running);
    try {
        pItem->DoWork();
    } catch (...) {
        pItem->SetStatus(TTaskStatus::Canceled);
        threading::HandleException(std::current_exception());
    }
    if (pItem->GetStatus() != TTaskStatus::Canceled)
        pItem->SetStatus(TTaskStatus::Completed);
    try {
        pItem->Finished();
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
    fWorkItemsCount.fetch_add(1);
    pItem->SetStatus(TTaskStatus::WaitingToRun);
    fWorkerItemsQueue.Add(pItem, pPriority);
    SignalNewWork();
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
            fWorkItemsCount.fetch_add(1);
            item->SetStatus(TTaskStatus::WaitingToRun);
            fWorkerItemsQueue.Add(item, pPriority);
        }
    }
    SignalNewWork();
    ThreadCheck();
}

bool TWorkerThreadPool::ContainsWorkItemIf(
    const std::function<bool(const IWorkItem&)>& pMatch) const
{
    const std::scoped_lock lock(fLock);
    if (fWorkerItemsQueue.ContainsIf(pMatch))
        return true;
    return std::any_of(fThreads.begin(), fThreads.end(), [&](const TKivThreadPtr& pThread) {
        const auto* worker = dynamic_cast<const TWorkerThread*>(pThread.get());
        return worker && worker->fWorkItem && pMatch(*worker->fWorkItem);
    });
}

bool TWorkerThreadPool::ContainsWorkItem(std::intptr_t pTag) const
{
    return ContainsWorkItemIf([pTag](const IWorkItem& pItem) { return pItem.GetTag() == pTag; });
}

bool TWorkerThreadPool::WorkItemsActive() const
{
    if (fWorkItemsCount.load() <= 0)
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
    return static_cast<int>(
        std::count_if(fThreads.begin(), fThreads.end(), [](const TKivThreadPtr& pThread) {
            const auto* worker = dynamic_cast<const TWorkerThread*>(pThread.get());
            return worker && worker->fWorkItem;
        }));
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
    SignalNewWork(true);
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

void TWorkerThreadPool::SignalNewWork(bool pAll)
{
    // A worker counts itself as waiting before it looks at the queue a last time, so either it
    // sees the new item or we see it waiting. A signal not yet taken by a worker is not sent
    // again: each sleeping worker costs one wake-up, not one per item.
    if (!pAll && (fWaitingWorkers.load() == 0 || fNewWorkSignalled.exchange(true)))
        return;
    fNewWorkSignalled.store(true);
    {
        const std::scoped_lock lock(fNewWorkLock);
    }
    if (pAll)
        fNewWorkItemEvent.notify_all();
    else
        fNewWorkItemEvent.notify_one();
}

bool TWorkerThreadPool::WaitForNewWork(std::chrono::milliseconds pTimeout,
                                       const std::stop_token& pStop)
{
    fWaitingWorkers.fetch_add(1);
    struct TLeave
    {
        std::atomic<int>& fCount;
        ~TLeave() { fCount.fetch_sub(1); }
    } leave{fWaitingWorkers};
    // Work often comes in bursts: look again a few times, giving the processor to the thread
    // that queues, before paying for a sleep and a wake-up.
    for (int look = 0; look < kNewWorkLooks; ++look) {
        if (fWorkerItemsQueue.Count() > 0 && fAllWorkItemsDoneEventCount.load() == 0)
            return true;
        if (pStop.stop_requested())
            return false;
        std::this_thread::yield();
    }
    // A plain condition variable: stopping a worker pool's threads always signals all waiters
    // (TerminateAllThreads), and an idle exit ends the wait by itself.
    std::unique_lock lock(fNewWorkLock);
    if (!fNewWorkItemEvent.wait_for(
            lock, pTimeout, [&] { return fNewWorkSignalled.load() || pStop.stop_requested(); }))
        return false;
    if (pStop.stop_requested())
        return false;
    fNewWorkSignalled.store(false); // auto-reset: this worker took the signal
    return true;
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

IWorkItemPtr TWorkerThreadPool::TakeItem(TWorkerThread& pThread)
{
    if (pThread.Terminated())
        return nullptr;
    if (fAllWorkItemsDoneEventCount.load() > 0) {
        // The all-done handler runs: take nothing until it has finished (it signals then).
        WaitForNewWork(kNewWorkWait, pThread.StopToken());
        return nullptr;
    }
    std::uint64_t waitStart = 0; // read when the queue is first found empty
    for (;;) {
        IWorkItemPtr item;
        {
            const std::scoped_lock lock(fLock);
            item = fWorkerItemsQueue.Take();
            if (item)
                pThread.fWorkItem = item;
        }
        if (item) {
            // One signal wakes one worker; pass it on while work remains.
            if (fWaitingWorkers.load() > 0 && fWorkerItemsQueue.Count() > 0)
                SignalNewWork();
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
        WaitForNewWork(std::min(kNewWorkWait, untilIdle), pThread.StopToken());
        if (pThread.Terminated())
            return nullptr;
    }
}

IWorkItemPtr TWorkerThreadPool::ItemDone(TWorkerThread& pThread)
{
    IWorkItemPtr done;
    IWorkItemPtr next;
    {
        const std::scoped_lock lock(fLock);
        done = std::move(pThread.fWorkItem);
        // The next item, when the thread goes on at once (not stopping, not paused); an
        // all-done notification cannot be due while another item is queued.
        if (!pThread.Terminated() && !pThread.Paused() && fAllWorkItemsDoneEventCount.load() == 0) {
            next = fWorkerItemsQueue.Take();
            pThread.fWorkItem = next;
        }
    }
    int count = fWorkItemsCount.load();
    // A forced termination may have reset the count already.
    while (count > 0 && !fWorkItemsCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count == 1)
        AllWorkItemsDone();
    if (next) {
        if (fWaitingWorkers.load() > 0 && fWorkerItemsQueue.Count() > 0)
            SignalNewWork();
        ThreadCheck();
    }
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
    SignalNewWork(true);
}

void TWorkerThreadPool::CancelAllWorkItems()
{
    if (fWorkItemsCount.load() <= 0)
        return;
    fIsTerminatingAllWorkitems.store(true);
    const int dropped = fWorkerItemsQueue.Clear();
    int count = fWorkItemsCount.load();
    while (!fWorkItemsCount.compare_exchange_weak(count, std::max(0, count - dropped))) {
    }
    if (std::max(0, count - dropped) == 0) {
        AllWorkItemsDone();
    } else {
        std::vector<IWorkItemPtr> running;
        {
            const std::scoped_lock lock(fLock);
            for (const TKivThreadPtr& thread : fThreads)
                if (const auto* worker = dynamic_cast<const TWorkerThread*>(thread.get()))
                    if (worker->fWorkItem)
                        running.push_back(worker->fWorkItem);
        }
        for (const IWorkItemPtr& item : running)
            item->Terminate();
    }
    fIsTerminatingAllWorkitems.store(false);
}

void TWorkerThreadPool::TerminateAllThreads(bool pForce)
{
    TCustomThreadPool::TerminateAllThreads(false);
    CancelAllWorkItems();
    SignalNewWork(true);
    TCustomThreadPool::TerminateAllThreads(pForce);
    if (pForce) {
        fWorkerItemsQueue.Clear();
        if (fWorkItemsCount.exchange(0) != 0)
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
}

void TWorkerThreadPool::ThreadRemovedLocked()
{
    fThreadCountSnapshot.store(static_cast<int>(fThreads.size()));
}

void TWorkerThreadPool::PauseThreadLocked(TKivThread& pThread, bool pPaused)
{
    TCustomThreadPool::PauseThreadLocked(pThread, pPaused);
    if (auto* worker = dynamic_cast<TWorkerThread*>(&pThread); worker && worker->fWorkItem)
        worker->fWorkItem->SetStatus(pPaused ? TTaskStatus::Paused : TTaskStatus::Running);
}

QString TWorkerThreadPool::AbandonLocked(TKivThread& pThread)
{
    auto* worker = dynamic_cast<TWorkerThread*>(&pThread);
    if (!worker || !worker->fWorkItem)
        return TCustomThreadPool::AbandonLocked(pThread);
    const QString line = QStringLiteral("Terminating worker Thread with work item") +
                         worker->fWorkItem->ClassName() + QStringLiteral(" the hard way.");
    // The pool's reference goes; the thread keeps its own while it still runs the item.
    worker->fWorkItem.reset();
    return line;
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

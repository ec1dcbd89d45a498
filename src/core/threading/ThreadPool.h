#pragma once

// The threads all background work of the family runs on:
//   TKivThread           a thread with a task status, pause and cancellation;
//   TCOMThread           a thread that runs one procedure;
//   TCustomThreadPool    a list of threads, ended together, with a bounded wait per thread;
//   TThreadPool          runs at most MaxRunningThreads of its threads at once;
//   TWorkerThreadPool    executes queued work items on workers it starts and retires itself;
//   TWorkerThreadPoolRefCounted  the same, shared by its holders.
//
// Threads cannot be killed safely on any system: a thread that does not end within the
// hard-termination time is abandoned instead. It is removed from its pool and reported, its
// queued user-interface calls are dropped, and it keeps alive everything it still uses (its own
// object, its work item); it can no longer reach its pool, which may be destroyed meanwhile.
//
// Shutdown behaviour of work: queued items are dropped (set Canceled) when a pool terminates;
// running items are told to terminate and are waited for up to the hard-termination time.

#include "core/platform/Threads.h"
#include "core/threading/ThreadingTypes.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

namespace kiv {

class TCustomThreadPool;
class TPoolAnchor;

// A thread with a task status. Made suspended (status WaitingToRun); Start runs it. The running
// thread holds its own object, so the object lives until the thread ends even when nobody else
// holds it ("freed by itself"). Methods are thread-safe unless noted.
class TKivThread : public std::enable_shared_from_this<TKivThread>
{
public:
    virtual ~TKivThread();
    TKivThread(const TKivThread&) = delete;
    TKivThread& operator=(const TKivThread&) = delete;

    // Runs the thread (status Running); nothing when it runs already.
    void Start();
    bool Started() const noexcept { return fStarted.load(); }
    // Whether the thread's work has ended (it may still be leaving its pool).
    bool Ended() const noexcept { return fEnded.load(); }
    // Waits until the body has ended or pTimeout has passed; serves the user-interface queue
    // when called on the user-interface thread. Returns whether it has ended.
    bool WaitFor(std::chrono::milliseconds pTimeout = std::chrono::hours(24 * 365));

    TTaskStatus Status() const noexcept { return fStatus.load(); }
    bool Paused() const noexcept { return Status() == TTaskStatus::Paused; }
    // WaitingToRun or Running → Paused; Paused → Running.
    void SetPaused(bool pPaused);

    // Only from the thread itself: idle processor and disk priority while on.
    void SetBackgroundMode(bool pOn);
    bool BackgroundMode() const noexcept { return fBackgroundMode; }

    // Asks the thread to end; its loops see it at their next stop check.
    void Terminate() noexcept;
    bool Terminated() const noexcept { return fStop.stop_requested(); }
    std::stop_token StopToken() const noexcept { return fStop.get_token(); }

    // The stop check of every loop: waits while paused (in 100 ms steps, ended early by a
    // termination request), then true when terminated or when the cancellation indicator asks.
    bool IsStopped();

    // The thread's system id once it runs, else 0.
    std::uint64_t ThreadId() const noexcept { return fThreadId.load(); }
    // Whether the pool gave up waiting for this thread.
    bool Abandoned() const noexcept { return fAbandoned.load(); }

    virtual QString ClassName() const;

    // The TKivThread running the calling code, or null.
    static TKivThread* Current() noexcept;

    // The anchor to the owning pool, or null.
    const std::shared_ptr<TPoolAnchor>& PoolAnchor() const noexcept { return fThreadPool; }

protected:
    explicit TKivThread(ICancellationIndicatorPtr pCancellationIndicator = nullptr);

    // The thread's work. Exceptions go to the application's exception handler.
    virtual void Execute() = 0;

    // Sets the status unless it is Canceled already.
    void SetStatus(TTaskStatus pStatus) noexcept;

private:
    friend class TCustomThreadPool;
    friend class TThreadPool;

    void Run();
    void NotifyStateChanged();

    std::atomic<TTaskStatus> fStatus{TTaskStatus::WaitingToRun};
    bool fBackgroundMode = false; // touched only by the thread itself
    const ICancellationIndicatorPtr fCancellationIndicator;
    std::shared_ptr<TPoolAnchor> fThreadPool; // set once, before Start
    // Set before Start; the pool's priority may change it while the thread starts.
    std::atomic<pf::TThreadPriority> fInitialPriority{pf::TThreadPriority::Normal};
    std::stop_source fStop;
    std::atomic<bool> fStarted{false};
    std::atomic<bool> fEnded{false};
    std::atomic<bool> fAbandoned{false};
    std::atomic<std::uint64_t> fThreadId{0};
    // The reference by which a pool held itself, when this thread ended last; let go once the
    // thread has left the pool's code. Touched only by the thread itself.
    std::shared_ptr<TCustomThreadPool> fPoolToLetGo;
    std::mutex fStateLock;
    std::condition_variable_any fStateChanged; // pause and end waits
};

using TKivThreadPtr = std::shared_ptr<TKivThread>;

// A thread that runs one procedure. The apartment set-up of other systems has no meaning here;
// the hooks stay so that such a build can fill them.
class TCOMThread final : public TKivThread
{
public:
    // Made suspended; pComObjectToKeepAlive is held for the thread's life.
    static std::shared_ptr<TCOMThread> Create(std::function<void()> pExecute,
                                              std::shared_ptr<void> pComObjectToKeepAlive = {},
                                              bool pFreeThreaded = true);
    // Makes one and starts it.
    static std::shared_ptr<TCOMThread> Run(std::function<void()> pExecute,
                                           std::shared_ptr<void> pComObjectToKeepAlive = {},
                                           bool pFreeThreaded = true);

    TCOMThread(std::function<void()> pExecute, std::shared_ptr<void> pComObjectToKeepAlive,
               bool pFreeThreaded);
    QString ClassName() const override { return QStringLiteral("TCOMThread"); }

protected:
    void Execute() override;

private:
    const std::shared_ptr<void> fComObjectToKeepAlive;
    const bool fFreeThreaded;
    std::function<void()> fExecute;
};

// A list of threads ended together. Not copyable; owned by its creator. The thread list and the
// settings are guarded by fLock; events are set before threads run and are called outside it.
class TCustomThreadPool
    : public IPausable
    , public std::enable_shared_from_this<TCustomThreadPool>
{
public:
    // Run on the user-interface thread, while the ending thread waits.
    std::function<void(TCustomThreadPool& pSender, TKivThread& pThread)> OnThreadTerminated;
    // Run on the thread that ended last.
    std::function<void(TCustomThreadPool& pSender)> OnAllThreadsTerminated;

    ~TCustomThreadPool() override;
    TCustomThreadPool(const TCustomThreadPool&) = delete;
    TCustomThreadPool& operator=(const TCustomThreadPool&) = delete;

    virtual void Add(const TKivThreadPtr& pThread);
    bool ThreadsActive() const;
    bool ThreadExists(const TKivThread& pThread) const;
    int ThreadCount() const;

    int MaxRunningThreads() const;
    virtual void SetMaxRunningThreads(int pValue);
    bool Paused() const override;
    void SetPaused(bool pPaused) override;
    pf::TThreadPriority Priority() const;
    void SetPriority(pf::TThreadPriority pPriority);
    std::chrono::milliseconds MaxTimeUntilHardTerminate() const;
    void SetMaxTimeUntilHardTerminate(std::chrono::milliseconds pTime);
    bool Terminated() const noexcept { return fTerminated.load(); }
    // Whether the pool lets itself go when its last thread has ended. While it has threads it
    // then holds itself, so its holders may let it go and its threads still finish; it is
    // destroyed (on the thread that ended last) unless somebody holds it. Only for a pool
    // owned by a shared_ptr: EInvalidOperation otherwise.
    bool FreeOnLastThreadTermination() const;
    void SetFreeOnLastThreadTermination(bool pValue);

    // Marks every thread terminated. With pForce, waits for each in turn and abandons those that
    // do not end within the hard-termination time; when it returns, no thread runs the pool's
    // code any more. Serves the user-interface queue meanwhile when called on the
    // user-interface thread.
    virtual void TerminateAllThreads(bool pForce);

    // Number of processors × 3 + 2: enough to keep the processors busy while some threads wait
    // for disks or the network.
    static int DefaultMaxRunningThreads();

    virtual QString ClassName() const { return QStringLiteral("TCustomThreadPool"); }

protected:
    friend class TKivThread;
    TCustomThreadPool();

    // Puts pThread in the list and ties it to the pool; the caller holds fLock.
    void AttachLocked(const TKivThreadPtr& pThread);
    // Called on a thread whose body ended, while it can still reach the pool.
    virtual void ThreadEnded(TKivThread& pThread);
    // Waits for pThread to leave the list, abandoning it after the hard-termination time.
    void WaitForThread(const TKivThreadPtr& pThread);
    // Hooks under fLock: a thread left the list (ended or abandoned); one pauses or resumes.
    virtual void ThreadRemovedLocked() {}
    virtual void PauseThreadLocked(TKivThread& pThread, bool pPaused);
    // Drops what the pool holds for pThread when it is abandoned, and returns the line to
    // write about it; the caller holds fLock.
    virtual QString AbandonLocked(TKivThread& pThread);
    // Ends the pool's life: terminates with force and cuts every thread off from the pool.
    // Each destructor of a pool that starts threads calls it first.
    void Shutdown();
    // Waits until pDone, serving the user-interface queue when on the user-interface thread.
    bool WaitUntil(const std::function<bool()>& pDone, std::chrono::milliseconds pTimeout);
    void NotifyThreadsChanged();

    mutable std::mutex fLock;
    std::vector<TKivThreadPtr> fThreads;                         // guarded by fLock
    int fMaxRunningThreads;                                      // guarded by fLock
    bool fPaused = false;                                        // guarded by fLock
    pf::TThreadPriority fPriority = pf::TThreadPriority::Normal; // guarded by fLock
    std::chrono::milliseconds fMaxTimeUntilHardTerminate{3000};  // guarded by fLock
    std::atomic<bool> fTerminated{false};
    std::atomic<bool> fDestroying{false};
    const std::shared_ptr<TPoolAnchor> fAnchor;

private:
    void RemoveEnded(TKivThread& pThread);
    void Abandon(const TKivThreadPtr& pThread);
    std::mutex fWaitLock; // taken before fLock, never inside it
    std::condition_variable fThreadsChanged;
    bool fShutDown = false;                    // only the destroying thread
    bool fFreeOnLastThreadTermination = false; // guarded by fLock
    std::shared_ptr<TCustomThreadPool> fSelf;  // guarded by fLock; see above
};

// Runs at most MaxRunningThreads threads at once; the rest wait suspended and start as running
// ones end.
class TThreadPool : public TCustomThreadPool
{
public:
    TThreadPool() = default;
    ~TThreadPool() override;

    void Add(const TKivThreadPtr& pThread) override;
    void SetMaxRunningThreads(int pValue) override;
    QString ClassName() const override { return QStringLiteral("TThreadPool"); }

protected:
    void ThreadRemovedLocked() override;

private:
    int RunningCountLocked() const;
};

// The queue of waiting work items, and where idle workers wait for them. Workers take the last
// item: Normal items go to the front (first in, first out), Highest items to the back (before
// everything waiting; several of them last in, first out).
//
// Its lock also guards each worker's running item (TWorkerThread::fWorkItem) and the count of
// queued plus running items, so that handing an item from the queue to a worker, and a worker
// letting its item go and taking the next, is one short step under one lock: a look at queued
// and running items never misses one in between, and a busy worker takes one lock per item.
// Thread-safe; its lock may be taken under the pool lock, never the reverse.
class TWorkItemsQueue
{
public:
    // Counts and queues pItem, and wakes a sleeping worker for it unless a worker is awake and
    // looking for work already, or has been woken and not yet looked.
    void Add(IWorkItemPtr pItem, TPriority pPriority);
    // Moves the item taken next into pSlot (a worker's running item) and returns it, or null
    // when the queue is empty. The item lives as long as pSlot holds it.
    IWorkItem* TakeInto(IWorkItemPtr& pSlot);
    // A worker is done with the item in pSlot: it moves to pDone (let go by the caller, outside
    // the lock) and is no longer counted; with pTakeNext the next item moves into pSlot. Returns
    // the new running item, or null, and in pLastDone whether no item is left.
    IWorkItem* FinishInto(IWorkItemPtr& pSlot, IWorkItemPtr& pDone, bool pTakeNext,
                          bool& pLastDone);
    // Empties the queue, marks the dropped items Canceled, stops counting them and returns how
    // many there were; pRemaining gets the count of items left (the running ones).
    int Clear(int* pRemaining = nullptr);
    // Stops counting running items too; returns the count before.
    int ResetCount();

    // Waits until an item is queued (while pHold is 0), WakeAll is called, pStop asks, or
    // pTimeout has passed. A worker that just ran out of work first looks for a few
    // microseconds without sleeping: work often comes in bursts, and a sleep costs the one who
    // queues a system call to wake it.
    void WaitForWork(std::chrono::milliseconds pTimeout, const std::stop_token& pStop,
                     const std::atomic<int>& pHold);
    // Ends every wait, for waiters to look at their state again (stop, idle time, hold).
    void WakeAll();

    // Without the lock: snapshots that may be out of date by the time they are used. What a
    // worker did before it finished an item happens before a count without that item is read.
    int Count() const noexcept { return fCount.load(std::memory_order_acquire); }
    int ActiveCount() const noexcept { return fActive.load(std::memory_order_acquire); }

    // Runs pRead under the lock (for the running items, which it guards as well).
    template <typename F> decltype(auto) Locked(F&& pRead) const
    {
        const std::scoped_lock lock(fLock);
        return pRead();
    }
    // Whether a queued item matches; the caller holds the lock (through Locked).
    bool ContainsIfLocked(const std::function<bool(const IWorkItem&)>& pMatch) const;

private:
    IWorkItem* TakeIntoLocked(IWorkItemPtr& pSlot);
    // A worker should be woken for queued work; the caller holds fLock.
    bool ShouldWakeLocked() const noexcept;

    mutable std::mutex fLock;
    std::condition_variable fWorkQueued;
    std::deque<IWorkItemPtr> fList; // guarded by fLock
    // Changed only under fLock; atomic so that the snapshots above may read them without it.
    std::atomic<int> fCount{0};      // fList's size
    std::atomic<int> fActive{0};     // queued plus running items
    int fSleepers = 0;               // workers waiting on fWorkQueued; guarded by fLock
    int fWakesSent = 0;              // of them, woken and not yet looking; guarded by fLock
    std::uint64_t fWakeAllCount = 0; // guarded by fLock
    std::atomic<int> fSpinners{0};   // workers looking for work without sleeping
};

class TWorkerThreadPool;

// A worker of a TWorkerThreadPool: takes items until it is stopped or idle for too long.
class TWorkerThread final : public TKivThread
{
public:
    TWorkerThread() = default;
    QString ClassName() const override { return QStringLiteral("TWorkerThread"); }

protected:
    void Execute() override;

private:
    friend class TWorkerThreadPool;
    static void RunItem(IWorkItem& pItem);
    // The item being executed; guarded by the queue's lock. An abandoned thread keeps it until
    // it ends, so the item it still runs stays alive.
    IWorkItemPtr fWorkItem;
};

// Defaults of a worker pool made from a configuration.
struct TWorkerPoolConfig
{
    int MaxCpuUsage = 80;
    int MaxRunningThreads = TCustomThreadPool::DefaultMaxRunningThreads();
    int MinRunningThreads = 1;
    pf::TThreadPriority ThreadPriority = pf::TThreadPriority::Normal;
    TAllWorkItemsFinished OnAllWorkItemsFinished;
};

// Executes queued work items. Starts a worker when work waits and fewer than MaxRunningThreads
// run — at once up to MinWorkerThreads, then at most every 400 ms and only while the machine's
// load is below MaxCpuUsage —; a worker idle for MaxIdleTime ends. Owned by its creator; the
// destructor ends all work (see the top of this file) and never hangs beyond the
// hard-termination time per thread.
class TWorkerThreadPool
    : public TCustomThreadPool
    , public IWorkerThreadPool
{
public:
    // Called on each new worker, on that worker, before it takes work.
    std::function<void(TWorkerThreadPool& pSender, TWorkerThread& pThread)> OnNewThread;

    explicit TWorkerThreadPool(bool pInitializeCOM = false);
    ~TWorkerThreadPool() override;

    // AddWorkItem(item, Highest when UseLIFO else Normal).
    void AddWorkItem(const IWorkItemPtr& pItem);
    void AddWorkItem(const IWorkItemPtr& pItem, TPriority pPriority) override;
    // The same for an item nobody else needs to hold on to (saves a reference count change).
    void AddWorkItem(IWorkItemPtr&& pItem, TPriority pPriority);
    void AddWorkItems(const std::vector<IWorkItemPtr>& pItems, TPriority pPriority) override;
    bool ContainsWorkItemIf(const std::function<bool(const IWorkItem&)>& pMatch) const override;
    bool ContainsWorkItem(std::intptr_t pTag) const;
    // The place of an interface query: whether a queued or running item is an I.
    template <typename I> bool ContainsWorkItemOf() const
    {
        return ContainsWorkItemIf(
            [](const IWorkItem& pItem) { return dynamic_cast<const I*>(&pItem) != nullptr; });
    }
    void Dispose() override { TerminateAllThreads(false); }

    int QueueLength() const { return fWorkerItemsQueue.Count(); }
    // Whether items are queued or running; raises when some are counted but no worker exists.
    bool WorkItemsActive() const;
    // Workers that hold an item.
    int ActiveThreadCount() const;
    int WorkItemsCount() const noexcept { return fWorkerItemsQueue.ActiveCount(); }

    int MinWorkerThreads() const;
    void SetMinWorkerThreads(int pValue);
    int MaxCpuUsage() const;
    void SetMaxCpuUsage(int pValue);
    void SetMaxRunningThreads(int pValue) override;
    bool UseLIFO() const noexcept { return fUseLIFO.load(); }
    void SetUseLIFO(bool pValue) noexcept { fUseLIFO.store(pValue); }
    std::chrono::milliseconds MaxIdleTime() const;
    void SetMaxIdleTime(std::chrono::milliseconds pTime);
    void SetOnAllWorkItemsDone(TAllWorkItemsFinished pHandler);
    // The name workers give their thread (for debuggers); the class name when empty.
    void SetThreadName(const QString& pName);

    bool Paused() const override { return TCustomThreadPool::Paused(); }
    void SetPaused(bool pPaused) override { TCustomThreadPool::SetPaused(pPaused); }

    void TerminateAllThreads(bool pForce) override;
    void TerminateThreads(bool pForce) { TerminateAllThreads(pForce); }

    QString ClassName() const override { return QStringLiteral("TWorkerThreadPool"); }

    // The process-wide pool, made on first use.
    static std::shared_ptr<TWorkerThreadPool> Instance();
    // What Instance makes: MinWorkerThreads max(4, processors) × 2, MaxRunningThreads
    // max(4, processors) × 4.
    static std::shared_ptr<TWorkerThreadPool> CreateGlobalPool();

protected:
    void ThreadEnded(TKivThread& pThread) override;
    void ThreadRemovedLocked() override;
    void PauseThreadLocked(TKivThread& pThread, bool pPaused) override;
    QString AbandonLocked(TKivThread& pThread) override;

private:
    friend class TWorkerThread;

    // Starts another worker when the rules above allow it.
    void ThreadCheck();
    // Takes an item into pThread's running item and returns it, or null when the thread should
    // look at its state (stop, pause) first.
    IWorkItem* TakeItem(TWorkerThread& pThread);
    // The worker is done with its item: lets it go, counts it, and takes the next one when the
    // worker can go on at once.
    IWorkItem* ItemDone(TWorkerThread& pThread);
    void NewThreadStarted(TWorkerThread& pThread);
    void AllWorkItemsDone();
    void CancelAllWorkItems();
    // Every waiting worker looks at its state again.
    void SignalAllWorkers() { fWorkerItemsQueue.WakeAll(); }

    TAllWorkItemsFinished fOnAllWorkItemsDone; // set before work is queued
    int fMinWorkerThreads = 1;                 // guarded by fLock
    std::atomic<int> fMinWorkerThreadsSnapshot{1};
    std::atomic<bool> fUseLIFO{false};
    std::atomic<bool> fIsTerminatingAllWorkitems{false};
    std::atomic<int> fAllWorkItemsDoneEventCount{0};
    TWorkItemsQueue fWorkerItemsQueue;
    std::atomic<std::int64_t> fMaxIdleTime{60000};
    std::atomic<std::uint64_t> fLastCheckAddNewWorkerThread{0};
    std::atomic<int> fThreadCountSnapshot{0};
    std::atomic<int> fMaxRunningSnapshot{0};
    const bool fInitializeCOM;
    std::atomic<int> fMaxCpuUsage{80};
    QString fThreadName; // guarded by fLock
};

// A worker pool shared by its holders and destroyed with the last of them.
class TWorkerThreadPoolRefCounted final : public TWorkerThreadPool
{
public:
    static std::shared_ptr<TWorkerThreadPoolRefCounted> Create(const TWorkerPoolConfig& pConfig);
    TWorkerThreadPoolRefCounted();
    // Stops the threads while the object is still whole: a worker on its way out may call its
    // virtual functions.
    ~TWorkerThreadPoolRefCounted() override { Shutdown(); }
    QString ClassName() const override { return QStringLiteral("TWorkerThreadPoolRefCounted"); }
};

} // namespace kiv

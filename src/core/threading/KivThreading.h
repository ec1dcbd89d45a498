#pragma once

// Work items, cancellation tokens, futures and the procedures run in the background, on the
// worker pools of ThreadPool.h. A work item runs DoWork on a worker and is then delivered:
// queued to the user-interface thread (the default) or on the worker itself. A delivery checks
// the item's status again when it runs, so cancelling an item drops a delivery already queued.
//
// Exceptions never cross threads: one thrown by DoWork cancels the item and goes to the
// application's exception handler (ThreadingHooks.h).

#include "core/threading/ThreadPool.h"
#include "core/threading/ThreadingTypes.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <stop_token>

namespace kiv {

// A cancellation flag that is set once and never reset. Cancel may come from any thread.
class TCustomCancellationToken : public ICancellationToken
{
public:
    bool IsCancellationRequested() const override { return fSource.stop_requested(); }
    void Cancel() noexcept override { fSource.request_stop(); }
    // For waits that should end as soon as the token is cancelled.
    std::stop_token StopToken() const noexcept { return fSource.get_token(); }

private:
    std::stop_source fSource;
};

class TCancellationToken final : public TCustomCancellationToken
{
public:
    static std::shared_ptr<TCancellationToken> Create()
    {
        return std::make_shared<TCancellationToken>();
    }
};

// The token a control keeps for the work it starts, made when first needed. Cancel cancels the
// token and lets it go, so work already holding it sees the cancellation while the next use
// starts with a fresh token. Thread-safe: installing and swapping happen under a small lock
// (the library's atomic shared pointer hides its own lock from the thread sanitizer).
class CancellationToken
{
public:
    CancellationToken() = default;
    CancellationToken(const CancellationToken&) = delete;
    CancellationToken& operator=(const CancellationToken&) = delete;

    // The current token, made when none is stored.
    ICancellationTokenPtr Token();
    operator ICancellationIndicatorPtr() { return Token(); }
    void Cancel() noexcept;

private:
    std::mutex fLock;
    std::shared_ptr<ICancellationToken> fCancellationToken; // guarded by fLock
};

// The base of all work items. Made by static Create() factories (the delivery keeps the item
// alive through shared_from_this). The status is shared between threads; OnWorkDone and the
// flags are set before the item is queued.
class TBasicWorkItem
    : public IWorkItem
    , public ICancellationIndicator
    , public std::enable_shared_from_this<TBasicWorkItem>
{
public:
    ~TBasicWorkItem() override;

    TWorkDoneEvent GetOnWorkDone() const override { return fOnWorkDone; }
    void SetOnWorkDone(TWorkDoneEvent pEvent) override { fOnWorkDone = std::move(pEvent); }
    std::intptr_t GetTag() const override { return fTag; }
    void SetTag(std::intptr_t pTag) { fTag = pTag; }
    void Finished() override;
    void SetStatus(TTaskStatus pStatus) override;
    QString ClassName() const override;
    // Canceled first when the token asks for it.
    TTaskStatus GetStatus() override;
    void WaitFor() override;
    // Status Canceled. Descendants also let go of whoever waits for their result.
    void Terminate() noexcept override;

    // Canceled, or the token asks for cancellation: the item can be the token of work it starts.
    bool IsCancellationRequested() const override;

    // Inside DoWork: waits while the item is paused (100 ms steps), then true when Canceled.
    bool WaitWhilePaused();

    bool FireOnWorkDoneSynchronized() const noexcept { return fFireOnWorkDoneSynchronized; }
    void SetFireOnWorkDoneSynchronized(bool pValue) noexcept
    {
        fFireOnWorkDoneSynchronized = pValue;
    }
    const ICancellationIndicatorPtr& CancellationIndicator() const noexcept
    {
        return fCancellationToken;
    }

protected:
    explicit TBasicWorkItem(ICancellationIndicatorPtr pCancellationToken = nullptr,
                            TWorkDoneEvent pOnWorkDone = nullptr);

    // Run on delivery, before OnWorkDone.
    virtual void DoWorkDone() {}
    // Waits until pDone or pTimeout; serves the user-interface queue there. Wakes early when
    // the item reaches a final state or its token is cancelled.
    bool WaitForState(const std::function<bool()>& pDone, std::chrono::milliseconds pTimeout);
    // Wakes WaitForState callers.
    void NotifyWaiters();

private:
    TWorkDoneEvent fOnWorkDone;
    std::intptr_t fTag = 0;
    std::atomic<TTaskStatus> fStatus{TTaskStatus::Created};
    bool fFireOnWorkDoneSynchronized = true;
    const ICancellationIndicatorPtr fCancellationToken;
    // Threads in WaitForState; they sleep on one of a few process-wide condition variables
    // chosen by the item's address, so that an item carries no lock of its own.
    std::atomic<int> fWaiters{0};
};

template <typename T> class IFuture
{
public:
    virtual ~IFuture() = default;
    // Blocks until Completed or Canceled, then the result (the default value when cancelled).
    virtual T Value() = 0;
    // Looks every 40 ms for pTimeoutMs div 40 rounds; Completed or Canceled with the result,
    // else Running with the current result whatever the real status (a time-out below 40 ms
    // answers Running at once).
    virtual TTaskStatus WaitFor(T& pValue, std::int64_t pTimeoutMs) = 0;
    virtual TTaskStatus GetStatus() = 0;
};

template <typename T> using IFuturePtr = std::shared_ptr<IFuture<T>>;

// How often a future waited for with a time-out looks at its status.
inline constexpr std::chrono::milliseconds kFutureRound{40};

// A work item with a result. The result is guarded: a waiter that timed out may read it while
// the worker writes it.
template <typename T>
class TFuture
    : public TBasicWorkItem
    , public IFuture<T>
{
public:
    T Value() override
    {
        TBasicWorkItem::WaitFor();
        return Result();
    }

    TTaskStatus WaitFor(T& pValue, std::int64_t pTimeoutMs) override
    {
        for (std::int64_t round = 0; round < pTimeoutMs / kFutureRound.count(); ++round) {
            const TTaskStatus status = GetStatus();
            if (status == TTaskStatus::Completed || status == TTaskStatus::Canceled) {
                pValue = Result();
                return status;
            }
            SleepRound();
        }
        pValue = Result();
        return TTaskStatus::Running;
    }
    using TBasicWorkItem::WaitFor;

    TTaskStatus GetStatus() override { return TBasicWorkItem::GetStatus(); }

protected:
    using TBasicWorkItem::TBasicWorkItem;

    void SetResult(T pValue)
    {
        const std::scoped_lock lock(fResultLock);
        fResult = std::move(pValue);
    }
    T Result() const
    {
        const std::scoped_lock lock(fResultLock);
        return fResult;
    }

private:
    void SleepRound();

    mutable std::mutex fResultLock;
    T fResult{}; // guarded by fResultLock
};

// A future that computes its result with a function.
template <typename T> class TAnonymousFuture final : public TFuture<T>
{
public:
    using TFunction = std::function<T()>;

    // Made, not queued.
    static IFuturePtr<T> Construct(TFunction pFunction,
                                   ICancellationIndicatorPtr pCancellationIndicator = nullptr)
    {
        return std::make_shared<TAnonymousFuture<T>>(std::move(pFunction),
                                                     std::move(pCancellationIndicator));
    }

    // Queued with Normal priority on pThreadPool, or on the global pool when none is given.
    static IFuturePtr<T> CreateAndQueue(TFunction pFunction,
                                        ICancellationIndicatorPtr pCancellationIndicator = nullptr,
                                        IWorkerThreadPool* pThreadPool = nullptr);

    TAnonymousFuture(TFunction pFunction, ICancellationIndicatorPtr pCancellationIndicator)
        : TFuture<T>(std::move(pCancellationIndicator))
        , fFunction(std::move(pFunction))
    {
    }

    void DoWork() override { this->SetResult(fFunction()); }

private:
    TFunction fFunction;
};

// A procedure run in the background, with an optional step on the user-interface thread when
// it has run.
class TAsyncProcedure final : public TBasicWorkItem
{
public:
    using TProcedure = std::function<void()>;

    static std::shared_ptr<TAsyncProcedure>
    Create(TProcedure pProcedure, ICancellationIndicatorPtr pCancellationToken = nullptr,
           TProcedure pOnWorkDone = nullptr);
    // Queued on the global pool with Normal priority.
    static IWorkItemPtr CreateAndQueue(TProcedure pProcedure,
                                       ICancellationIndicatorPtr pCancellationToken = nullptr,
                                       TProcedure pOnWorkDone = nullptr);
    // Only made.
    static IWorkItemPtr CreateNoAdd(TProcedure pProcedure,
                                    ICancellationIndicatorPtr pCancellationToken,
                                    TWorkDoneEvent pOnWorkDone, std::intptr_t pTag = 0);

    TAsyncProcedure(TProcedure pProcedure, ICancellationIndicatorPtr pCancellationToken,
                    TProcedure pWorkDone, TWorkDoneEvent pOnWorkDone);

    void DoWork() override;

protected:
    void DoWorkDone() override;

private:
    TProcedure fProcedure;
    TProcedure fWorkDone;
};

// A method run after a delay: on the worker (asynchronous) or queued to the user-interface
// thread. The worker sleeps in 50 ms steps, looking for cancellation after each, so a
// cancelled procedure never runs.
class TDelayedProcedure final : public TBasicWorkItem
{
public:
    using TMethod = std::function<void()>;

    // Delay 0, run on the worker.
    static IWorkItemPtr CreateAndQueue(TMethod pMethod,
                                       ICancellationIndicatorPtr pCancellationToken = nullptr);
    static IWorkItemPtr CreateAndQueue(TMethod pMethod, int pDelayMs, bool pExecuteAsynchronous,
                                       ICancellationIndicatorPtr pCancellationToken = nullptr,
                                       IWorkerThreadPool* pThreadPool = nullptr);

    TDelayedProcedure(TMethod pMethod, int pDelayMs, bool pExecuteAsynchronous,
                      ICancellationIndicatorPtr pCancellationToken);

    void DoWork() override;

private:
    const int fDelay;
    TMethod fMethod;
    const bool fExecuteAsynchronous;
};

// Access to the worker pools.
class TWorkerPool
{
public:
    // The global pool.
    static IWorkerThreadPoolPtr GlobalInstance();
    // A pool of its own, destroyed with its last holder.
    static IWorkerThreadPoolPtr CreateInstance(const TWorkerPoolConfig& pConfig);
    // The default configuration with pOnAllWorkItemsFinished.
    static IWorkerThreadPoolPtr CreateInstance(TAllWorkItemsFinished pOnAllWorkItemsFinished);
};

// ---- template definitions -------------------------------------------------------------------

template <typename T> void TFuture<T>::SleepRound()
{
    // The rounds are the observable rhythm of the wait: a status reached within a round is
    // seen at its end. On the user-interface thread the round serves queued calls.
    this->WaitForState([] { return false; }, kFutureRound);
}

template <typename T>
IFuturePtr<T> TAnonymousFuture<T>::CreateAndQueue(TFunction pFunction,
                                                  ICancellationIndicatorPtr pCancellationIndicator,
                                                  IWorkerThreadPool* pThreadPool)
{
    auto future = std::make_shared<TAnonymousFuture<T>>(std::move(pFunction),
                                                        std::move(pCancellationIndicator));
    if (pThreadPool)
        pThreadPool->AddWorkItem(future, TPriority::Normal);
    else
        TWorkerPool::GlobalInstance()->AddWorkItem(future, TPriority::Normal);
    return future;
}

} // namespace kiv

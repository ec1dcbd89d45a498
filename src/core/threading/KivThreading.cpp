#include "core/threading/KivThreading.h"

#include "core/platform/UiDispatcher.h"
#include "core/threading/ThreadingHooks.h"

#include <condition_variable>
#include <cstdint>
#include <optional>

namespace kiv {

namespace {

// How long a paused work item sleeps between looks at its status.
constexpr std::chrono::milliseconds kPausedItemCheck{100};
// The step of a delayed procedure's wait, and so the latency of its cancellation.
constexpr int kDelayStepMs = 50;

struct TWaitStripe
{
    std::mutex fLock;
    std::condition_variable fChanged;
};

// Waiting for an item is rare next to running items: a handful of shared condition variables
// serve every item (a wake-up may reach a waiter of another item, which then looks again).
TWaitStripe& StripeFor(const void* pItem)
{
    constexpr std::size_t kStripes = 16;
    static TWaitStripe stripes[kStripes];
    return stripes[(reinterpret_cast<std::uintptr_t>(pItem) >> 6) % kStripes];
}

bool IsFinal(TTaskStatus pStatus)
{
    return pStatus == TTaskStatus::Completed || pStatus == TTaskStatus::Canceled;
}

} // namespace

// ---- CancellationToken ----------------------------------------------------------------------

ICancellationTokenPtr CancellationToken::Token()
{
    const std::scoped_lock lock(fLock);
    if (!fCancellationToken)
        fCancellationToken = TCancellationToken::Create();
    return fCancellationToken;
}

void CancellationToken::Cancel() noexcept
{
    std::shared_ptr<ICancellationToken> cancelled;
    {
        const std::scoped_lock lock(fLock);
        cancelled.swap(fCancellationToken);
    }
    // Work holding the token sees the cancellation; the next use starts with a fresh one.
    if (cancelled)
        cancelled->Cancel();
}

// ---- TBasicWorkItem -------------------------------------------------------------------------

TBasicWorkItem::TBasicWorkItem(ICancellationIndicatorPtr pCancellationToken,
                               TWorkDoneEvent pOnWorkDone)
    : fOnWorkDone(std::move(pOnWorkDone))
    , fCancellationToken(std::move(pCancellationToken))
{
}

TBasicWorkItem::~TBasicWorkItem() = default;

QString TBasicWorkItem::ClassName() const
{
    return threading::TypeName(typeid(*this));
}

void TBasicWorkItem::NotifyWaiters()
{
    if (fWaiters.load() > 0) {
        TWaitStripe& stripe = StripeFor(this);
        {
            const std::scoped_lock lock(stripe.fLock);
        }
        stripe.fChanged.notify_all();
    }
    pf::WakeUi();
}

void TBasicWorkItem::Terminate() noexcept
{
    fStatus.store(TTaskStatus::Canceled);
    try {
        NotifyWaiters();
    } catch (...) {
        // Waiters still see the status at their next look.
    }
}

void TBasicWorkItem::SetStatus(TTaskStatus pStatus)
{
    if (pStatus == TTaskStatus::Canceled) {
        if (fStatus.load() != TTaskStatus::Canceled)
            Terminate();
        fStatus.store(TTaskStatus::Canceled);
        return;
    }
    // Canceled is final: a worker finishing late must not turn a cancelled item into a
    // completed one and so deliver it.
    TTaskStatus current = fStatus.load();
    while (current != TTaskStatus::Canceled && !fStatus.compare_exchange_weak(current, pStatus)) {
    }
    if (current != TTaskStatus::Canceled && pStatus == TTaskStatus::Completed)
        NotifyWaiters();
}

TTaskStatus TBasicWorkItem::GetStatus()
{
    if (fCancellationToken && fCancellationToken->IsCancellationRequested())
        SetStatus(TTaskStatus::Canceled);
    return fStatus.load();
}

bool TBasicWorkItem::IsCancellationRequested() const
{
    return fStatus.load() == TTaskStatus::Canceled ||
           (fCancellationToken && fCancellationToken->IsCancellationRequested());
}

bool TBasicWorkItem::WaitForState(const std::function<bool()>& pDone,
                                  std::chrono::milliseconds pTimeout)
{
    fWaiters.fetch_add(1);
    {
        // Our own tokens wake the wait the moment they are cancelled; other indicators are
        // seen when the item next changes state.
        std::optional<std::stop_callback<std::function<void()>>> onCancel;
        if (const auto* token =
                dynamic_cast<const TCustomCancellationToken*>(fCancellationToken.get()))
            onCancel.emplace(token->StopToken(),
                             std::function<void()>([this] { NotifyWaiters(); }));
        bool done = false;
        if (pf::Ui().IsUiThread()) {
            done = pf::Ui().WaitFor(pDone, pTimeout);
        } else {
            TWaitStripe& stripe = StripeFor(this);
            std::unique_lock lock(stripe.fLock);
            done = stripe.fChanged.wait_for(lock, pTimeout, pDone);
        }
        fWaiters.fetch_sub(1);
        return done;
    }
}

void TBasicWorkItem::WaitFor()
{
    const auto finalOrCancelled = [this] {
        return IsFinal(fStatus.load()) ||
               (fCancellationToken && fCancellationToken->IsCancellationRequested());
    };
    while (!WaitForState(finalOrCancelled, std::chrono::hours(1))) {
    }
    GetStatus();
}

bool TBasicWorkItem::WaitWhilePaused()
{
    while (GetStatus() == TTaskStatus::Paused)
        threading::Sleep(kPausedItemCheck);
    return GetStatus() == TTaskStatus::Canceled;
}

void TBasicWorkItem::Finished()
{
    if (GetStatus() == TTaskStatus::Canceled)
        return;
    if (fFireOnWorkDoneSynchronized && !pf::Ui().IsUiThread()) {
        // The worker does not wait; the step checks the status again when it runs, so an item
        // cancelled meanwhile is not delivered.
        pf::Ui().Post([self = shared_from_this()] { self->Finished(); });
        return;
    }
    DoWorkDone();
    if (fOnWorkDone)
        fOnWorkDone(shared_from_this());
}

// ---- TAsyncProcedure ------------------------------------------------------------------------

TAsyncProcedure::TAsyncProcedure(TProcedure pProcedure,
                                 ICancellationIndicatorPtr pCancellationToken, TProcedure pWorkDone,
                                 TWorkDoneEvent pOnWorkDone)
    : TBasicWorkItem(std::move(pCancellationToken), std::move(pOnWorkDone))
    , fProcedure(std::move(pProcedure))
    , fWorkDone(std::move(pWorkDone))
{
}

std::shared_ptr<TAsyncProcedure>
TAsyncProcedure::Create(TProcedure pProcedure, ICancellationIndicatorPtr pCancellationToken,
                        TProcedure pOnWorkDone)
{
    return std::make_shared<TAsyncProcedure>(std::move(pProcedure), std::move(pCancellationToken),
                                             std::move(pOnWorkDone), nullptr);
}

IWorkItemPtr TAsyncProcedure::CreateAndQueue(TProcedure pProcedure,
                                             ICancellationIndicatorPtr pCancellationToken,
                                             TProcedure pOnWorkDone)
{
    IWorkItemPtr item =
        Create(std::move(pProcedure), std::move(pCancellationToken), std::move(pOnWorkDone));
    TWorkerPool::GlobalInstance()->AddWorkItem(item, TPriority::Normal);
    return item;
}

IWorkItemPtr TAsyncProcedure::CreateNoAdd(TProcedure pProcedure,
                                          ICancellationIndicatorPtr pCancellationToken,
                                          TWorkDoneEvent pOnWorkDone, std::intptr_t pTag)
{
    auto item = std::make_shared<TAsyncProcedure>(
        std::move(pProcedure), std::move(pCancellationToken), nullptr, std::move(pOnWorkDone));
    item->SetTag(pTag);
    return item;
}

void TAsyncProcedure::DoWork()
{
    if (WaitWhilePaused())
        return;
    if (fProcedure)
        fProcedure();
}

void TAsyncProcedure::DoWorkDone()
{
    if (fWorkDone)
        fWorkDone();
}

// ---- TDelayedProcedure ----------------------------------------------------------------------

TDelayedProcedure::TDelayedProcedure(TMethod pMethod, int pDelayMs, bool pExecuteAsynchronous,
                                     ICancellationIndicatorPtr pCancellationToken)
    : TBasicWorkItem(std::move(pCancellationToken))
    , fDelay(pDelayMs)
    , fMethod(std::move(pMethod))
    , fExecuteAsynchronous(pExecuteAsynchronous)
{
    SetFireOnWorkDoneSynchronized(false);
}

IWorkItemPtr TDelayedProcedure::CreateAndQueue(TMethod pMethod,
                                               ICancellationIndicatorPtr pCancellationToken)
{
    return CreateAndQueue(std::move(pMethod), 0, true, std::move(pCancellationToken));
}

IWorkItemPtr TDelayedProcedure::CreateAndQueue(TMethod pMethod, int pDelayMs,
                                               bool pExecuteAsynchronous,
                                               ICancellationIndicatorPtr pCancellationToken,
                                               IWorkerThreadPool* pThreadPool)
{
    IWorkItemPtr item = std::make_shared<TDelayedProcedure>(
        std::move(pMethod), pDelayMs, pExecuteAsynchronous, std::move(pCancellationToken));
    if (pThreadPool)
        pThreadPool->AddWorkItem(item, TPriority::Normal);
    else
        TWorkerPool::GlobalInstance()->AddWorkItem(item, TPriority::Normal);
    return item;
}

void TDelayedProcedure::DoWork()
{
    if (fDelay > 0) {
        for (int step = 0; step < fDelay / kDelayStepMs + 1; ++step) {
            threading::Sleep(std::chrono::milliseconds(kDelayStepMs));
            if (WaitWhilePaused())
                return;
        }
        threading::Sleep(std::chrono::milliseconds(fDelay % kDelayStepMs));
    }
    if (fExecuteAsynchronous) {
        if (GetStatus() != TTaskStatus::Canceled && fMethod)
            fMethod();
        return;
    }
    pf::Ui().Post([self = std::static_pointer_cast<TDelayedProcedure>(shared_from_this())] {
        if (!self->WaitWhilePaused() && self->fMethod)
            self->fMethod();
    });
}

// ---- TWorkerPool ----------------------------------------------------------------------------

IWorkerThreadPoolPtr TWorkerPool::GlobalInstance()
{
    return TWorkerThreadPool::Instance();
}

IWorkerThreadPoolPtr TWorkerPool::CreateInstance(const TWorkerPoolConfig& pConfig)
{
    return TWorkerThreadPoolRefCounted::Create(pConfig);
}

IWorkerThreadPoolPtr TWorkerPool::CreateInstance(TAllWorkItemsFinished pOnAllWorkItemsFinished)
{
    TWorkerPoolConfig config;
    config.OnAllWorkItemsFinished = std::move(pOnAllWorkItemsFinished);
    return CreateInstance(config);
}

} // namespace kiv

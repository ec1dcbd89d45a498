#include "core/threading/KivThreading.h"

#include "core/platform/UiDispatcher.h"
#include "core/threading/ThreadingTestSupport.h"
#include "platform/memory/FakeThreads.h"
#include "platform/memory/ManualDispatcher.h"

#include <gtest/gtest.h>
#include <latch>
#include <thread>

using namespace std::chrono_literals;

namespace kiv {
namespace {

using test::TDiagnosticsCapture;
using test::TGate;
using test::TLambdaItem;

class KivThreadingTest : public ::testing::Test
{
protected:
    pf::fake::FakeThreads fThreads{2};
    pf::TScopedThreads fScopedThreads{fThreads};
    TDiagnosticsCapture fDiagnostics;
    TWorkerThreadPool fPool;
};

// ---- cancellation tokens --------------------------------------------------------------------

TEST_F(KivThreadingTest, CancelledTokenRecordGivesAFreshTokenWhileTheOldStaysCancelled)
{
    CancellationToken record;
    const ICancellationTokenPtr first = record.Token();
    EXPECT_EQ(record.Token(), first);
    EXPECT_FALSE(first->IsCancellationRequested());

    record.Cancel();
    EXPECT_TRUE(first->IsCancellationRequested());

    const ICancellationIndicatorPtr fresh = record;
    EXPECT_NE(fresh, first);
    EXPECT_FALSE(fresh->IsCancellationRequested());
    EXPECT_TRUE(first->IsCancellationRequested());
}

TEST_F(KivThreadingTest, TokenMadeConcurrentlyIsOneToken)
{
    CancellationToken record;
    constexpr int kThreads = 8;
    std::vector<ICancellationTokenPtr> seen(kThreads);
    {
        std::vector<std::jthread> threads;
        std::latch start(kThreads);
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                seen[static_cast<std::size_t>(i)] = record.Token();
            });
    }
    for (const ICancellationTokenPtr& token : seen)
        EXPECT_EQ(token, seen.front());
}

TEST_F(KivThreadingTest, WorkItemIsCancelledByItsToken)
{
    auto token = TCancellationToken::Create();
    auto item = TLambdaItem::Create(nullptr, token);
    EXPECT_FALSE(item->IsCancellationRequested());
    EXPECT_EQ(item->GetStatus(), TTaskStatus::Created);
    token->Cancel();
    EXPECT_TRUE(item->IsCancellationRequested());
    EXPECT_EQ(item->GetStatus(), TTaskStatus::Canceled);
    // Canceled is final.
    item->SetStatus(TTaskStatus::Completed);
    EXPECT_EQ(item->GetStatus(), TTaskStatus::Canceled);
}

// ---- futures --------------------------------------------------------------------------------

TEST_F(KivThreadingTest, FutureTimingOutAnswersRunningWithTheDefaultValue)
{
    TGate release;
    auto future = TAnonymousFuture<int>::CreateAndQueue(
        [&] {
            release.Wait();
            return 42;
        },
        nullptr, &fPool);

    int value = -1;
    EXPECT_EQ(future->WaitFor(value, 120), TTaskStatus::Running);
    EXPECT_EQ(value, 0);
    // Below one 40 ms round the answer comes at once.
    value = -1;
    EXPECT_EQ(future->WaitFor(value, 39), TTaskStatus::Running);
    EXPECT_EQ(value, 0);

    release.Open();
    EXPECT_EQ(future->Value(), 42);
    EXPECT_EQ(future->WaitFor(value, 40), TTaskStatus::Completed);
    EXPECT_EQ(value, 42);
}

TEST_F(KivThreadingTest, FutureWaitedForOnTheMainThreadServesItsSynchronisedCalls)
{
    // The future's function runs a step on the main thread while the main thread waits for
    // the future: the wait must serve that step.
    ASSERT_TRUE(pf::Ui().IsUiThread());
    auto future = TAnonymousFuture<bool>::CreateAndQueue(
        [] {
            bool onUi = false;
            const bool ran = pf::Ui().Send([&] { onUi = pf::Ui().IsUiThread(); });
            return ran && onUi;
        },
        nullptr, &fPool);
    EXPECT_TRUE(future->Value());
}

TEST_F(KivThreadingTest, ConstructedFutureIsNotQueued)
{
    auto future = TAnonymousFuture<int>::Construct([] { return 1; });
    int value = 5;
    EXPECT_EQ(future->WaitFor(value, 80), TTaskStatus::Running);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(future->GetStatus(), TTaskStatus::Created);
}

// A pool of its own may go right after Dispose: its workers are still on their way out and must
// not meet a half-destroyed pool (ThreadSanitizer sees it when they do).
TEST(WorkerPoolLifeTest, APoolOfItsOwnCanGoRightAfterDispose)
{
    std::atomic<int> runs{0};
    for (int round = 0; round < 20; ++round) {
        IWorkerThreadPoolPtr pool = TWorkerPool::CreateInstance(TAllWorkItemsFinished());
        for (int i = 0; i < 4; ++i)
            pool->AddWorkItem(TAsyncProcedure::CreateNoAdd([&] { ++runs; }, nullptr, nullptr),
                              TPriority::Normal);
        pool->Dispose();
        pool.reset();
    }
    EXPECT_LE(runs.load(), 80);
}

// ---- deliveries on the manual dispatcher ----------------------------------------------------

class DeliveryTest : public KivThreadingTest
{
protected:
    // No worker may still reach the manual dispatcher once it goes.
    void TearDown() override { fPool.TerminateAllThreads(true); }

    pf::fake::ManualDispatcher fUi;
    pf::TScopedUi fScopedUi{fUi};
};

enum class TCancelBy
{
    Nothing,
    Terminate,
    Token
};

class DeliveryDropTest
    : public DeliveryTest
    , public ::testing::WithParamInterface<TCancelBy>
{
};

TEST_P(DeliveryDropTest, QueuedDeliveryRunsOnlyForItemsNotCancelledMeanwhile)
{
    auto token = TCancellationToken::Create();
    int procedureRuns = 0;
    int deliveries = 0;
    auto item = TAsyncProcedure::Create([&] { ++procedureRuns; }, token,
                                        [&] {
                                            EXPECT_TRUE(fUi.IsUiThread());
                                            ++deliveries;
                                        });
    fPool.AddWorkItem(item, TPriority::Normal);
    ASSERT_TRUE(fUi.WaitForQueued(1, 10s)); // the worker has queued the delivery
    EXPECT_EQ(item->GetStatus(), TTaskStatus::Completed);

    if (GetParam() == TCancelBy::Terminate)
        item->Terminate();
    else if (GetParam() == TCancelBy::Token)
        token->Cancel();
    EXPECT_EQ(fUi.RunPending(), 1u);

    EXPECT_EQ(procedureRuns, 1);
    EXPECT_EQ(deliveries, GetParam() == TCancelBy::Nothing ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(CancelledBy, DeliveryDropTest,
                         ::testing::Values(TCancelBy::Nothing, TCancelBy::Terminate,
                                           TCancelBy::Token));

TEST_F(DeliveryTest, OnWorkDoneReceivesTheItemOnTheMainThread)
{
    IWorkItemPtr received;
    auto item = TAsyncProcedure::CreateNoAdd(nullptr, nullptr, [&](const IWorkItemPtr& pItem) {
        EXPECT_TRUE(fUi.IsUiThread());
        received = pItem;
    });
    fPool.AddWorkItem(item, TPriority::Normal);
    ASSERT_TRUE(fUi.RunUntil([&] { return received != nullptr; }));
    EXPECT_EQ(received, item);
}

struct TDelayCase
{
    const char* fName;
    bool fAsynchronous;
    int fCancelAtMs; // -1: never
    bool fRuns;
};

class DelayedProcedureTest
    : public DeliveryTest
    , public ::testing::WithParamInterface<TDelayCase>
{
};

TEST_P(DelayedProcedureTest, HundredMillisecondDelay)
{
    const TDelayCase& c = GetParam();
    fUi.UseVirtualTime();
    CancellationToken token;
    std::atomic<int> runs{0};
    std::atomic<bool> onUi{false};
    const IWorkItemPtr item = TDelayedProcedure::CreateAndQueue(
        [&] {
            onUi.store(fUi.IsUiThread());
            runs.fetch_add(1);
        },
        100, c.fAsynchronous, token, &fPool);

    // The worker sleeps 50 ms three times (100 div 50 + 1), checking after each sleep.
    int now = 0;
    for (int step = 0; step < 3; ++step) {
        ASSERT_TRUE(fUi.WaitForSleepers(1));
        const int next = now + 50;
        if (c.fCancelAtMs > now && c.fCancelAtMs <= next) {
            fUi.AdvanceTime(std::chrono::milliseconds(c.fCancelAtMs - now));
            token.Cancel();
            fUi.AdvanceTime(std::chrono::milliseconds(next - c.fCancelAtMs));
        } else {
            fUi.AdvanceTime(50ms);
        }
        now = next;
        if (c.fCancelAtMs >= 0 && c.fCancelAtMs <= now)
            break;
    }
    item->WaitFor(); // serves the main-thread step, when one is queued
    fUi.RunPending();
    EXPECT_EQ(runs.load(), c.fRuns ? 1 : 0);
    if (c.fRuns) {
        EXPECT_EQ(onUi.load(), !c.fAsynchronous);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DelayedProcedureTest,
                         ::testing::Values(TDelayCase{"CancelledAt60NeverRuns", true, 60, false},
                                           TDelayCase{"CancelledAt60OnMainThreadNeverRuns", false,
                                                      60, false},
                                           TDelayCase{"RunsOnTheWorker", true, -1, true},
                                           TDelayCase{"RunsOnTheMainThread", false, -1, true}),
                         [](const auto& pInfo) { return std::string(pInfo.param.fName); });

TEST_F(DeliveryTest, DelayedStepQueuedToTheMainThreadIsDroppedWhenCancelledBeforeItRuns)
{
    CancellationToken token;
    int runs = 0;
    const IWorkItemPtr item =
        TDelayedProcedure::CreateAndQueue([&] { ++runs; }, 0, false, token, &fPool);
    ASSERT_TRUE(fUi.WaitForQueued(1, 10s));
    token.Cancel();
    fUi.RunPending();
    EXPECT_EQ(runs, 0);
}

TEST_F(DeliveryTest, PausedItemWaitsUntilResumed)
{
    fUi.UseVirtualTime();
    TGate inside;
    std::atomic<bool> cancelledSeen{true};
    auto item = TLambdaItem::Create([&](TLambdaItem& pSelf) {
        pSelf.SetStatus(TTaskStatus::Paused);
        inside.Open();
        cancelledSeen.store(pSelf.WaitWhilePaused());
    });
    fPool.AddWorkItem(item);
    inside.Wait();
    ASSERT_TRUE(fUi.WaitForSleepers(1)); // asleep for its 100 ms look
    item->SetStatus(TTaskStatus::Running);
    fUi.AdvanceTime(100ms);
    item->WaitFor();
    EXPECT_FALSE(cancelledSeen.load());
    EXPECT_EQ(item->GetStatus(), TTaskStatus::Completed);
}

} // namespace
} // namespace kiv

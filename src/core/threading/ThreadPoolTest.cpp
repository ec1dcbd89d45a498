#include "core/threading/ThreadPool.h"

#include "core/platform/UiDispatcher.h"
#include "core/threading/KivThreading.h"
#include "core/threading/ThreadingTestSupport.h"
#include "platform/memory/FakeThreads.h"
#include "platform/memory/ManualDispatcher.h"

#include <gtest/gtest.h>
#include <latch>
#include <optional>

using namespace std::chrono_literals;

namespace kiv {
namespace {

using test::TDiagnosticsCapture;
using test::TGate;
using test::TLambdaItem;

class ThreadPoolTest : public ::testing::Test
{
protected:
    pf::fake::FakeThreads fThreads{2};
    pf::TScopedThreads fScopedThreads{fThreads};
    TDiagnosticsCapture fDiagnostics;
};

// ---- queue order ----------------------------------------------------------------------------

struct TQueueCase
{
    const char* fName;
    bool fUseLIFO;
    // Letters added in order; lower case: Normal, upper case: Highest.
    const char* fAdds;
    const char* fExpected;
};

class QueueOrderTest
    : public ThreadPoolTest
    , public ::testing::WithParamInterface<TQueueCase>
{
};

TEST_P(QueueOrderTest, OneWorkerTakesItemsInQueueOrder)
{
    const TQueueCase& c = GetParam();
    TWorkerThreadPool pool;
    pool.SetMaxRunningThreads(1);
    pool.SetUseLIFO(c.fUseLIFO);

    // The only worker holds a gate item, so that everything else queues up behind it.
    TGate gate;
    TGate gateRunning;
    pool.AddWorkItem(TLambdaItem::Create([&](TLambdaItem&) {
        gateRunning.Open();
        gate.Wait();
    }));
    gateRunning.Wait();

    std::mutex lock;
    QString order;
    std::vector<IWorkItemPtr> items;
    for (const char* add = c.fAdds; *add; ++add) {
        const QChar name = QChar::fromLatin1(*add).toLower();
        auto item = TLambdaItem::Create([&, name](TLambdaItem&) {
            const std::scoped_lock guard(lock);
            order.append(name);
        });
        items.push_back(item);
        pool.AddWorkItem(item, QChar::fromLatin1(*add).isUpper() ? TPriority::Highest
                                                                 : TPriority::Normal);
    }
    gate.Open();
    for (const IWorkItemPtr& item : items)
        item->WaitFor();

    const std::scoped_lock guard(lock);
    EXPECT_EQ(order, QString::fromLatin1(c.fExpected));
}

INSTANTIATE_TEST_SUITE_P(Policies, QueueOrderTest,
                         ::testing::Values(TQueueCase{"NormalFifoHighestFirst", false, "abcD",
                                                      "dabc"},
                                           TQueueCase{"SeveralHighestLifo", false, "aBCd", "cbad"},
                                           TQueueCase{"NormalOnly", false, "abc", "abc"}),
                         [](const auto& pInfo) { return std::string(pInfo.param.fName); });

TEST_F(ThreadPoolTest, UseLIFOMakesTheOneArgumentAddRunLastInFirstOut)
{
    TWorkerThreadPool pool;
    pool.SetMaxRunningThreads(1);
    pool.SetUseLIFO(true);
    TGate gate;
    TGate gateRunning;
    pool.AddWorkItem(TLambdaItem::Create([&](TLambdaItem&) {
        gateRunning.Open();
        gate.Wait();
    }));
    gateRunning.Wait();
    std::mutex lock;
    QString order;
    std::vector<IWorkItemPtr> items;
    for (const char name : {'a', 'b', 'c'}) {
        items.push_back(TLambdaItem::Create([&, name](TLambdaItem&) {
            const std::scoped_lock guard(lock);
            order.append(QChar::fromLatin1(name));
        }));
        pool.AddWorkItem(items.back());
    }
    gate.Open();
    for (const IWorkItemPtr& item : items)
        item->WaitFor();
    EXPECT_EQ(order, QStringLiteral("cba"));
}

// ---- shutdown and hard termination ----------------------------------------------------------

TEST_F(ThreadPoolTest, AddingToAPoolThatIsBeingDestroyedRaises)
{
    TGate destroying;
    TGate running;
    QString message;
    auto pool = std::make_unique<TWorkerThreadPool>();
    TWorkerThreadPool* const destroyed = pool.get();
    auto item = TLambdaItem::Create([&](TLambdaItem&) {
        running.Open();
        destroying.Wait();
        try {
            destroyed->AddWorkItem(TLambdaItem::Create(nullptr));
        } catch (const EInvalidOperation& e) {
            message = QString::fromUtf8(e.what());
        }
    });
    // The destructor tells running items to terminate before it waits for their threads.
    item->OnTerminate = [&] { destroying.Open(); };
    pool->AddWorkItem(item);
    running.Wait();
    pool.reset();
    EXPECT_EQ(message,
              QStringLiteral("New workitems cannot be added to a threadpool that is destroying."));
    EXPECT_TRUE(fDiagnostics.Lines().filter(QStringLiteral("the hard way")).isEmpty());
}

TEST_F(ThreadPoolTest, WorkerIgnoringTerminationIsAbandonedReportedAndOutlivesThePool)
{
    auto pool = std::make_unique<TWorkerThreadPool>();
    pool->SetMaxTimeUntilHardTerminate(100ms);
    TGate started;
    TGate release;
    auto lateCallRan = std::make_shared<std::atomic<bool>>(false);
    {
        auto stubborn = TLambdaItem::Create([&, lateCallRan](TLambdaItem&) {
            started.Open();
            release.Wait(); // ignores every request to stop
            // Once abandoned, what the thread queues for the main thread is dropped.
            pf::Ui().Post([lateCallRan] { lateCallRan->store(true); });
        });
        pool->AddWorkItem(stubborn);
        started.Wait();
    }
    bool allTerminated = false;
    pool->OnAllThreadsTerminated = [&](TCustomThreadPool&) { allTerminated = true; };

    pool->TerminateAllThreads(true);

    EXPECT_EQ(pool->ThreadCount(), 0);
    EXPECT_TRUE(allTerminated);
    const QStringList lines = fDiagnostics.Lines().filter(QStringLiteral("the hard way"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.front().endsWith(
        QStringLiteral("Terminating worker Thread with work itemTLambdaItem the hard way.")))
        << lines.front().toStdString();

    // The pool goes while the abandoned thread still runs; when it ends it must touch nothing
    // of the pool (the address sanitizer would see it), and it lets its item go.
    pool.reset();
    const int liveBefore = TLambdaItem::sLive.load();
    EXPECT_GE(liveBefore, 1);
    release.Open();
    for (int live = TLambdaItem::sLive.load(); live >= liveBefore; live = TLambdaItem::sLive.load())
        TLambdaItem::sLive.wait(live);
    pf::Ui().DrainPending();
    EXPECT_FALSE(lateCallRan->load());
}

TEST_F(ThreadPoolTest, PlainThreadIgnoringTerminationIsReportedWithItsId)
{
    class TStubbornThread final : public TKivThread
    {
    public:
        explicit TStubbornThread(std::shared_ptr<TGate> pRelease)
            : fRelease(std::move(pRelease))
        {
        }
        QString ClassName() const override { return QStringLiteral("TStubbornThread"); }

    protected:
        void Execute() override { fRelease->Wait(); }

    private:
        std::shared_ptr<TGate> fRelease;
    };
    auto release = std::make_shared<TGate>();
    std::uint64_t id = 0;
    {
        TThreadPool pool;
        pool.SetMaxTimeUntilHardTerminate(50ms);
        auto thread = std::make_shared<TStubbornThread>(release);
        pool.Add(thread);
        EXPECT_TRUE(thread->Started());
        while (thread->ThreadId() == 0)
            std::this_thread::yield();
        id = thread->ThreadId();
    }
    const QStringList lines = fDiagnostics.Lines().filter(QStringLiteral("the hard way"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.front().endsWith(
        QStringLiteral("Terminating Thread TStubbornThread the hard way. Thread ID: %1").arg(id)))
        << lines.front().toStdString();
    release->Open();
}

class ShutdownTest
    : public ThreadPoolTest
    , public ::testing::WithParamInterface<bool>
{
};

TEST_P(ShutdownTest, MainThreadShutdownServesWorkersWaitingInSynchronisedCalls)
{
    // The Qt dispatcher of the application's main thread (the test thread), or the manual one.
    std::optional<pf::fake::ManualDispatcher> manual;
    std::optional<pf::TScopedUi> scopedUi;
    if (GetParam()) {
        manual.emplace();
        scopedUi.emplace(*manual);
    }
    constexpr int kWorkers = 4;
    std::atomic<int> terminatedEvents{0};
    std::atomic<int> calls{0};
    std::latch allWaiting(kWorkers);
    {
        TWorkerThreadPool pool;
        pool.SetMinWorkerThreads(kWorkers);
        pool.SetMaxRunningThreads(kWorkers);
        pool.OnThreadTerminated = [&](TCustomThreadPool&, TKivThread&) {
            EXPECT_TRUE(pf::Ui().IsUiThread());
            terminatedEvents.fetch_add(1);
        };
        for (int i = 0; i < kWorkers; ++i) {
            pool.AddWorkItem(TLambdaItem::Create([&](TLambdaItem& pSelf) {
                bool first = true;
                while (!pSelf.IsCancellationRequested()) {
                    if (first)
                        allWaiting.count_down();
                    first = false;
                    pf::Ui().Send([&] { calls.fetch_add(1); });
                }
            }));
        }
        allWaiting.wait();
        // Every worker is now in (or about to enter) a Send that only this thread can serve.
    }
    EXPECT_EQ(terminatedEvents.load(), kWorkers);
    EXPECT_TRUE(fDiagnostics.Lines().filter(QStringLiteral("the hard way")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Dispatchers, ShutdownTest, ::testing::Values(false, true),
                         [](const auto& pInfo) { return pInfo.param ? "Manual" : "Qt"; });

// ---- idle exit, counts, notifications -------------------------------------------------------

TEST_F(ThreadPoolTest, IdleWorkerEndsAfterMaxIdleTime)
{
    TWorkerThreadPool pool;
    pool.SetMaxIdleTime(30ms);
    TGate allEnded;
    pool.OnAllThreadsTerminated = [&](TCustomThreadPool&) { allEnded.Open(); };
    auto item = TLambdaItem::Create(nullptr);
    pool.AddWorkItem(item);
    item->WaitFor();
    allEnded.Wait();
    EXPECT_EQ(pool.ThreadCount(), 0);
    EXPECT_FALSE(pool.Terminated());

    // The pool still works afterwards: a new worker starts for new work.
    auto again = TLambdaItem::Create(nullptr);
    pool.AddWorkItem(again);
    again->WaitFor();
    EXPECT_EQ(again->GetStatus(), TTaskStatus::Completed);
}

struct TCountCase
{
    int fProcessors;
    int fMaxRunning;
    int fMinWorkers;
    int fDefaultMax;
};

class GlobalPoolCountTest
    : public ThreadPoolTest
    , public ::testing::WithParamInterface<TCountCase>
{
};

TEST_P(GlobalPoolCountTest, ThreadCountsFollowTheProcessorCount)
{
    fThreads.SetProcessorCount(GetParam().fProcessors);
    const auto pool = TWorkerThreadPool::CreateGlobalPool();
    EXPECT_EQ(pool->MaxRunningThreads(), GetParam().fMaxRunning);
    EXPECT_EQ(pool->MinWorkerThreads(), GetParam().fMinWorkers);
    EXPECT_EQ(TCustomThreadPool::DefaultMaxRunningThreads(), GetParam().fDefaultMax);
    EXPECT_EQ(TWorkerPoolConfig().MaxRunningThreads, GetParam().fDefaultMax);

    // Its workers carry the pool's name for debuggers.
    auto item = TLambdaItem::Create(nullptr);
    pool->AddWorkItem(item);
    item->WaitFor();
    pool->TerminateAllThreads(true);
    EXPECT_TRUE(
        fThreads.ThreadNames().contains(QStringLiteral("TWorkerThread in GlobalThreadPool")));
}

INSTANTIATE_TEST_SUITE_P(Processors, GlobalPoolCountTest,
                         ::testing::Values(TCountCase{2, 16, 8, 8}, TCountCase{1, 16, 8, 5},
                                           TCountCase{6, 24, 12, 20}));

TEST_F(ThreadPoolTest, ConfiguredPoolKeepsItsSettingsAndReportsAllWorkDone)
{
    std::atomic<int> notifications{0};
    TGate allDone;
    TWorkerPoolConfig config;
    config.MaxRunningThreads = 3;
    config.MinRunningThreads = 2;
    config.MaxCpuUsage = 150;
    config.OnAllWorkItemsFinished = [&](bool pTerminated) {
        EXPECT_FALSE(pTerminated);
        notifications.fetch_add(1);
        allDone.Open();
    };
    const auto pool = TWorkerThreadPoolRefCounted::Create(config);
    EXPECT_EQ(pool->MaxRunningThreads(), 3);
    EXPECT_EQ(pool->MinWorkerThreads(), 2);
    EXPECT_EQ(pool->MaxCpuUsage(), 100);
    std::vector<IWorkItemPtr> items;
    for (int i = 0; i < 20; ++i)
        items.push_back(TLambdaItem::Create(nullptr));
    pool->AddWorkItems(items, TPriority::Normal);
    allDone.Wait();
    for (const IWorkItemPtr& item : items)
        EXPECT_EQ(item->GetStatus(), TTaskStatus::Completed);
    EXPECT_GE(notifications.load(), 1);
    EXPECT_LE(pool->ThreadCount(), 3);
}

TEST_F(ThreadPoolTest, HighLoadHoldsBackWorkersBeyondTheMinimum)
{
    fThreads.SetCpuUsage(95);
    TWorkerThreadPool pool;
    pool.SetMaxRunningThreads(4);
    TGate release;
    std::vector<IWorkItemPtr> items;
    for (int i = 0; i < 4; ++i) {
        items.push_back(TLambdaItem::Create([&](TLambdaItem&) { release.Wait(); }));
        pool.AddWorkItem(items.back());
    }
    EXPECT_EQ(pool.ThreadCount(), 1); // the minimum starts whatever the load
    release.Open();
    for (const IWorkItemPtr& item : items)
        item->WaitFor();
}

TEST_F(ThreadPoolTest, ExceptionInWorkCancelsTheItemAndTheWorkerGoesOn)
{
    TWorkerThreadPool pool;
    pool.SetMaxRunningThreads(1);
    bool delivered = false;
    auto failing = TLambdaItem::Create([](TLambdaItem&) { throw std::runtime_error("disk gone"); },
                                       nullptr, [&](const IWorkItemPtr&) { delivered = true; });
    auto next = TLambdaItem::Create(nullptr);
    pool.AddWorkItem(failing);
    pool.AddWorkItem(next);
    next->WaitFor();
    failing->WaitFor();
    pf::Ui().DrainPending();
    EXPECT_EQ(failing->GetStatus(), TTaskStatus::Canceled);
    EXPECT_EQ(next->GetStatus(), TTaskStatus::Completed);
    EXPECT_FALSE(delivered);
    EXPECT_EQ(fDiagnostics.Exceptions(), QStringList{QStringLiteral("disk gone")});
}

TEST_F(ThreadPoolTest, ContainsWorkItemSeesQueuedAndRunningItems)
{
    TWorkerThreadPool pool;
    pool.SetMaxRunningThreads(1);
    TGate release;
    TGate running;
    auto first = TLambdaItem::Create([&](TLambdaItem&) {
        running.Open();
        release.Wait();
    });
    first->SetTag(1);
    auto second = TAsyncProcedure::CreateNoAdd(nullptr, nullptr, nullptr, 2);
    pool.AddWorkItem(first);
    running.Wait();
    pool.AddWorkItem(second);
    EXPECT_TRUE(pool.ContainsWorkItem(1));
    EXPECT_TRUE(pool.ContainsWorkItem(2));
    EXPECT_FALSE(pool.ContainsWorkItem(3));
    EXPECT_TRUE(pool.ContainsWorkItemOf<TAsyncProcedure>());
    EXPECT_EQ(pool.ActiveThreadCount(), 1);
    EXPECT_EQ(pool.QueueLength(), 1);
    EXPECT_TRUE(pool.WorkItemsActive());
    release.Open();
    second->WaitFor();
    pf::Ui().DrainPending();
    EXPECT_FALSE(pool.ContainsWorkItem(1));
}

TEST_F(ThreadPoolTest, DisposeCancelsQueuedItemsSoThatWaitsEnd)
{
    TGate release;
    TGate running;
    TWorkerThreadPool pool; // after what its work uses: it waits for the work when it goes
    pool.SetMaxRunningThreads(1);
    auto blocker = TLambdaItem::Create([&](TLambdaItem& pSelf) {
        running.Open();
        release.Wait();
        EXPECT_TRUE(pSelf.IsCancellationRequested());
    });
    blocker->OnTerminate = [&] { release.Open(); };
    pool.AddWorkItem(blocker);
    running.Wait();
    auto queued = TAnonymousFuture<int>::CreateAndQueue([] { return 7; }, nullptr, &pool);
    pool.Dispose();
    EXPECT_EQ(queued->Value(), 0);
    EXPECT_EQ(queued->GetStatus(), TTaskStatus::Canceled);
}

TEST_F(ThreadPoolTest, WorkQueuedWhileThePoolTerminatesRunsOnceItsThreadsHaveEnded)
{
    TGate release;
    TGate running;
    TGate lateRan;
    TWorkerThreadPool pool;
    pool.AddWorkItem(TLambdaItem::Create([&](TLambdaItem&) {
        running.Open();
        release.Wait(); // keeps the worker, and so the pool's terminated state, alive
    }));
    running.Wait();
    pool.Dispose();
    // Not dropped: the pool is no longer cancelling its work, only waiting for its thread.
    pool.AddWorkItem(TLambdaItem::Create([&](TLambdaItem&) { lateRan.Open(); }));
    release.Open();
    EXPECT_TRUE(lateRan.WaitFor(10s));
    EXPECT_FALSE(pool.Terminated());
}

TEST_F(ThreadPoolTest, PoolFreeingItselfLivesUntilItsLastThreadHasEnded)
{
    TGate release;
    TGate running;
    TGate poolGone;
    auto item = TLambdaItem::Create([&](TLambdaItem&) {
        running.Open();
        release.Wait();
    });
    {
        std::shared_ptr<TWorkerThreadPool> pool(new TWorkerThreadPool(),
                                                [&](TWorkerThreadPool* pPool) {
                                                    delete pPool;
                                                    poolGone.Open();
                                                });
        pool->SetMaxIdleTime(20ms);
        pool->SetFreeOnLastThreadTermination(true);
        pool->AddWorkItem(item);
        running.Wait();
    }
    // Its holder let it go while its worker runs: it lives on and the work finishes.
    EXPECT_FALSE(poolGone.IsOpen());
    release.Open();
    item->WaitFor();
    EXPECT_EQ(item->GetStatus(), TTaskStatus::Completed);
    // The idle worker ends, and the pool goes with it.
    EXPECT_TRUE(poolGone.WaitFor(10s));

    TWorkerThreadPool notShared;
    EXPECT_THROW(notShared.SetFreeOnLastThreadTermination(true), EInvalidOperation);
}

TEST_F(ThreadPoolTest, PausedPoolHoldsItsWorkUntilResumed)
{
    TWorkerThreadPool pool;
    pool.SetMaxRunningThreads(1);
    TGate running;
    TGate release;
    auto first = TLambdaItem::Create([&](TLambdaItem&) {
        running.Open();
        release.Wait();
    });
    pool.AddWorkItem(first);
    running.Wait();
    pool.SetPaused(true);
    EXPECT_EQ(first->GetStatus(), TTaskStatus::Paused);
    auto second = TLambdaItem::Create(nullptr);
    pool.AddWorkItem(second);
    release.Open();
    first->WaitFor();
    // The worker finished its item but takes nothing while paused.
    EXPECT_EQ(second->GetStatus(), TTaskStatus::WaitingToRun);
    pool.SetPaused(false);
    second->WaitFor();
    EXPECT_EQ(second->GetStatus(), TTaskStatus::Completed);
}

TEST_F(ThreadPoolTest, PriorityReachesRunningAndLaterWorkers)
{
    TGate release;
    TGate firstRunning;
    std::atomic<std::uint64_t> ids[2] = {0, 0};
    TWorkerThreadPool pool; // after what its work uses: it waits for the work when it goes
    pool.SetMinWorkerThreads(2);
    pool.SetMaxRunningThreads(2);
    const auto holdWorker = [&](int pIndex) {
        return TLambdaItem::Create([&, pIndex](TLambdaItem&) {
            ids[pIndex].store(pf::Threads().CurrentThreadId());
            ids[pIndex].notify_all();
            firstRunning.Open();
            release.Wait();
        });
    };
    pool.AddWorkItem(holdWorker(0));
    firstRunning.Wait();

    pool.SetPriority(pf::TThreadPriority::Lowest);
    EXPECT_EQ(fThreads.PriorityOf(ids[0].load()), pf::TThreadPriority::Lowest);
    // A worker started afterwards has it before it runs anything.
    pool.AddWorkItem(holdWorker(1));
    ids[1].wait(0);
    EXPECT_NE(ids[1].load(), ids[0].load());
    EXPECT_EQ(fThreads.PriorityOf(ids[1].load()), pf::TThreadPriority::Lowest);
    release.Open();
}

// ---- TThreadPool and TCOMThread -------------------------------------------------------------

TEST_F(ThreadPoolTest, ThreadPoolRunsAtMostItsLimitAndStartsWaitingThreadsAsOthersEnd)
{
    class TGatedThread final : public TKivThread
    {
    public:
        explicit TGatedThread(std::shared_ptr<TGate> pGate)
            : fGate(std::move(pGate))
        {
        }

    protected:
        void Execute() override { fGate->Wait(); }

    private:
        std::shared_ptr<TGate> fGate;
    };
    TThreadPool pool;
    pool.SetMaxRunningThreads(2);
    std::vector<std::shared_ptr<TGate>> gates;
    std::vector<TKivThreadPtr> threads;
    for (int i = 0; i < 3; ++i) {
        gates.push_back(std::make_shared<TGate>());
        threads.push_back(std::make_shared<TGatedThread>(gates.back()));
        pool.Add(threads.back());
    }
    EXPECT_TRUE(threads[0]->Started());
    EXPECT_TRUE(threads[1]->Started());
    EXPECT_FALSE(threads[2]->Started());
    EXPECT_EQ(threads[2]->Status(), TTaskStatus::WaitingToRun);
    gates[0]->Open();
    threads[0]->WaitFor();
    while (!threads[2]->Started())
        std::this_thread::yield();
    gates[1]->Open();
    gates[2]->Open();
    threads[2]->WaitFor();
    EXPECT_EQ(threads[2]->Status(), TTaskStatus::Completed);
}

TEST_F(ThreadPoolTest, ComThreadRunsItsProcedureAndKeepsItsObjectAlive)
{
    auto keepAlive = std::make_shared<int>(5);
    int seen = 0;
    const int* raw = keepAlive.get();
    auto thread = TCOMThread::Run([&seen, raw] { seen = *raw; }, std::move(keepAlive));
    ASSERT_TRUE(thread->WaitFor(10s));
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(thread->Status(), TTaskStatus::Completed);
}

TEST_F(ThreadPoolTest, BackgroundModeIsLeftWhenTheThreadEnds)
{
    int during = -1;
    auto thread = TCOMThread::Run([&] {
        TKivThread::Current()->SetBackgroundMode(true);
        during = fThreads.BackgroundThreads();
    });
    ASSERT_TRUE(thread->WaitFor(10s));
    EXPECT_EQ(during, 1);
    EXPECT_EQ(fThreads.BackgroundThreads(), 0);
    EXPECT_FALSE(thread->BackgroundMode());
}

} // namespace
} // namespace kiv

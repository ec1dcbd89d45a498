#include "core/platform/UiDispatcher.h"

#include "core/threading/KivThreading.h"
#include "core/threading/QtUiDispatcher.h"
#include "core/threading/ThreadingTestSupport.h"
#include "platform/memory/ManualDispatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace kiv {
namespace {

// How the user-interface thread gets to the queued calls: Qt's event loop for the Qt
// dispatcher, the test's own RunUntil for the manual one.
template <typename D> bool Serve(D& pDispatcher, const std::function<bool()>& pDone);

template <> bool Serve(QtUiDispatcher&, const std::function<bool()>& pDone)
{
    const QDeadlineTimer deadline(10000);
    while (!pDone() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return pDone();
}

template <> bool Serve(pf::fake::ManualDispatcher& pDispatcher, const std::function<bool()>& pDone)
{
    return pDispatcher.RunUntil(pDone);
}

template <typename D> class UiDispatcherTest : public ::testing::Test
{
protected:
    D fUi;
};

using Dispatchers = ::testing::Types<QtUiDispatcher, pf::fake::ManualDispatcher>;
TYPED_TEST_SUITE(UiDispatcherTest, Dispatchers);

TYPED_TEST(UiDispatcherTest, PostedCallsRunOnTheUiThreadInOrder)
{
    auto& ui = this->fUi;
    std::vector<int> order; // only the user-interface thread touches it
    std::jthread worker([&] {
        for (int i = 1; i <= 3; ++i)
            ui.Post([&, i] {
                EXPECT_TRUE(ui.IsUiThread());
                order.push_back(i);
            });
    });
    worker.join();
    ASSERT_TRUE(Serve(ui, [&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TYPED_TEST(UiDispatcherTest, SendRunsOnTheUiThreadWhileTheWorkerWaits)
{
    auto& ui = this->fUi;
    bool ran = false;
    std::atomic<bool> sent{false};
    std::atomic<bool> result{false};
    std::jthread worker([&] {
        result.store(ui.Send([&] { ran = ui.IsUiThread(); }));
        sent.store(true);
        ui.Wake();
    });
    ASSERT_TRUE(Serve(ui, [&] { return sent.load(); }));
    EXPECT_TRUE(result.load());
    EXPECT_TRUE(ran);

    // On the user-interface thread itself the call runs at once.
    bool inline_ = false;
    EXPECT_TRUE(ui.Send([&] { inline_ = true; }));
    EXPECT_TRUE(inline_);
}

TYPED_TEST(UiDispatcherTest, CancelledSendIsSkipped)
{
    auto& ui = this->fUi;
    auto token = TCancellationToken::Create();
    token->Cancel();
    bool ran = false;
    std::atomic<int> result{-1};
    std::jthread worker([&] {
        result.store(ui.Send([&] { ran = true; }, token.get()) ? 1 : 0);
        ui.Wake();
    });
    ASSERT_TRUE(Serve(ui, [&] { return result.load() >= 0; }));
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(ui.Send([&] { ran = true; }, token.get()));
    EXPECT_FALSE(ran);
}

TYPED_TEST(UiDispatcherTest, PurgeDropsTheCallsOfOneOwner)
{
    auto& ui = this->fUi;
    int a = 0;
    int b = 0;
    const int ownerA = 0;
    const int ownerB = 0;
    ui.Post([&] { ++a; }, &ownerA);
    ui.Post([&] { ++b; }, &ownerB);
    std::atomic<int> result{-1};
    std::jthread worker([&] { result.store(ui.Send([&] { ++a; }, nullptr, &ownerA) ? 1 : 0); });
    ASSERT_TRUE(ui.WaitForQueued(3, 10s));
    ui.Purge(&ownerA);
    worker.join();
    EXPECT_EQ(result.load(), 0);
    ASSERT_TRUE(Serve(ui, [&] { return b == 1; }));
    EXPECT_EQ(a, 0);
}

TYPED_TEST(UiDispatcherTest, AfterShutdownNothingRuns)
{
    auto& ui = this->fUi;
    int runs = 0;
    ui.Post([&] { ++runs; });
    ui.Shutdown();
    ui.Post([&] { ++runs; });
    std::atomic<int> result{-1};
    std::jthread worker([&] { result.store(ui.Send([&] { ++runs; }) ? 1 : 0); });
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(ui.DrainPending(), 0u);
    EXPECT_EQ(runs, 0);
}

TYPED_TEST(UiDispatcherTest, CallQueuedByACallRunsInTheNextDrain)
{
    auto& ui = this->fUi;
    int second = 0;
    ui.Post([&] { ui.Post([&] { ++second; }); });
    EXPECT_EQ(ui.DrainPending(), 1u);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(ui.DrainPending(), 1u);
    EXPECT_EQ(second, 1);
}

TYPED_TEST(UiDispatcherTest, WaitForWakesWhenToldAndServesSendsMeanwhile)
{
    auto& ui = this->fUi;
    std::atomic<bool> done{false};
    std::jthread worker([&] {
        ui.Send([] {});
        done.store(true);
        ui.Wake();
    });
    EXPECT_TRUE(ui.WaitFor([&] { return done.load(); }, 10s));
}

TEST(ManualDispatcherTest, TimersFireInTheOrderTheyAreDue)
{
    pf::fake::ManualDispatcher ui;
    QString fired;
    auto every30 = ui.CreateTimer(30, true, [&] { fired += QLatin1Char('r'); });
    auto once50 = ui.CreateTimer(50, false, [&] { fired += QLatin1Char('s'); });
    every30->Start();
    once50->Start();
    ui.AdvanceTime(100ms);
    EXPECT_EQ(fired, QStringLiteral("rsrr")); // 30, 50, 60, 90
    EXPECT_FALSE(once50->IsActive());
    EXPECT_TRUE(every30->IsActive());
    every30->Stop();
    ui.AdvanceTime(100ms);
    EXPECT_EQ(fired, QStringLiteral("rsrr"));
    EXPECT_EQ(ui.Now(), 200u);
}

TEST(QtUiDispatcherTest, DefaultDispatcherMadeByAWorkerServesTheApplicationThread)
{
    // Run alone (as ctest does) the worker makes the process-wide dispatcher.
    std::atomic<bool> ran{false};
    std::jthread([&] {
        EXPECT_FALSE(pf::Ui().IsUiThread());
        pf::Ui().Post([&] { ran.store(pf::Ui().IsUiThread()); });
    }).join();
    EXPECT_TRUE(pf::Ui().IsUiThread());
    // Delivered by Qt's event loop of this thread.
    const QDeadlineTimer deadline(10000);
    while (!ran.load() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(ran.load());
}

TEST(QtUiDispatcherTest, DefaultDispatcherServesTheApplicationThread)
{
    EXPECT_TRUE(pf::Ui().IsUiThread());
    bool ran = false;
    std::jthread worker([&] { EXPECT_FALSE(pf::Ui().IsUiThread()); });
    worker.join();
    pf::Ui().Post([&] { ran = true; });
    ASSERT_TRUE(pf::Ui().WaitFor([&] { return ran; }, 10s));
}

} // namespace
} // namespace kiv

// The worker pool against QThreadPool and std::async doing the same work:
//  - throughput: 100k empty work items from queueing the first to the last one done;
//  - latency from queueing an item to its work starting on an idle pool;
//  - latency from queueing an item to its delivery on the main thread, through a running Qt
//    event loop (our dispatcher against a queued invocation from a QThreadPool task).
// Every pool has as many threads as the machine has processors, started before measuring.
#include "KivBench.h"
#include "core/platform/UiDispatcher.h"
#include "core/threading/KivThreading.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <future>
#include <latch>
#include <vector>

using namespace kiv;
using namespace kiv::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kItems = 100000;
// std::async starts a thread per call: fewer calls keep that run short; the figure is per item.
constexpr int kAsyncItems = 20000;
constexpr int kLatencySamples = 2000;
constexpr int kThroughputRounds = 25;

class TEmptyItem final : public TBasicWorkItem
{
public:
    explicit TEmptyItem(std::atomic<int>* pLeft)
        : fLeft(pLeft)
    {
        SetFireOnWorkDoneSynchronized(false);
    }
    void DoWork() override
    {
        if (fLeft->fetch_sub(1) == 1)
            fLeft->notify_all();
    }

private:
    std::atomic<int>* fLeft;
};

void WaitUntilZero(std::atomic<int>& pLeft)
{
    for (int left = pLeft.load(); left != 0; left = pLeft.load())
        pLeft.wait(left);
}

double Median(std::vector<double> pValues)
{
    std::sort(pValues.begin(), pValues.end());
    return pValues[pValues.size() / 2];
}

double BestOf(int pRounds, const std::function<double()>& pRun)
{
    double best = 1e30;
    for (int i = 0; i < pRounds; ++i)
        best = std::min(best, pRun());
    return best;
}

double Seconds(Clock::time_point pStart)
{
    return std::chrono::duration<double>(Clock::now() - pStart).count();
}

// ---- throughput ----

double OurThroughput(TWorkerThreadPool& pPool)
{
    std::atomic<int> left{kItems};
    const auto start = Clock::now();
    for (int i = 0; i < kItems; ++i)
        pPool.AddWorkItem(std::make_shared<TEmptyItem>(&left), TPriority::Normal);
    WaitUntilZero(left);
    return Seconds(start) / kItems;
}

double QtThroughput(QThreadPool& pPool)
{
    std::atomic<int> left{kItems};
    const auto start = Clock::now();
    for (int i = 0; i < kItems; ++i)
        pPool.start([&left] {
            if (left.fetch_sub(1) == 1)
                left.notify_all();
        });
    WaitUntilZero(left);
    return Seconds(start) / kItems;
}

double AsyncThroughput()
{
    std::vector<std::future<void>> futures;
    futures.reserve(kAsyncItems);
    const auto start = Clock::now();
    for (int i = 0; i < kAsyncItems; ++i)
        futures.push_back(std::async(std::launch::async, [] {}));
    for (auto& future : futures)
        future.wait();
    return Seconds(start) / kAsyncItems;
}

// ---- queue to work ----

class TStampItem final : public TBasicWorkItem
{
public:
    TStampItem() { SetFireOnWorkDoneSynchronized(false); }
    void DoWork() override { fStarted.set_value(Clock::now()); }
    std::promise<Clock::time_point> fStarted;
};

double OurStartLatency(TWorkerThreadPool& pPool)
{
    std::vector<double> samples;
    for (int i = 0; i < kLatencySamples; ++i) {
        auto item = std::make_shared<TStampItem>();
        auto started = item->fStarted.get_future();
        const auto queued = Clock::now();
        pPool.AddWorkItem(item, TPriority::Normal);
        samples.push_back(std::chrono::duration<double>(started.get() - queued).count());
        item->WaitFor(); // idle again before the next sample
    }
    return Median(samples);
}

double QtStartLatency(QThreadPool& pPool)
{
    std::vector<double> samples;
    for (int i = 0; i < kLatencySamples; ++i) {
        std::promise<Clock::time_point> startedAt;
        auto started = startedAt.get_future();
        std::promise<void> doneAt;
        auto done = doneAt.get_future();
        const auto queued = Clock::now();
        pPool.start([&] {
            startedAt.set_value(Clock::now());
            doneAt.set_value();
        });
        samples.push_back(std::chrono::duration<double>(started.get() - queued).count());
        done.wait();
    }
    return Median(samples);
}

double AsyncStartLatency()
{
    std::vector<double> samples;
    for (int i = 0; i < kLatencySamples; ++i) {
        const auto queued = Clock::now();
        auto started = std::async(std::launch::async, [] { return Clock::now(); });
        samples.push_back(std::chrono::duration<double>(started.get() - queued).count());
    }
    return Median(samples);
}

// ---- queue to main-thread delivery ----

// Runs pQueueOne kLatencySamples times inside the event loop, one after the other; pQueueOne
// queues work whose delivery on the main thread calls the given completion.
double DeliveryLatency(const std::function<void(std::function<void()>)>& pQueueOne)
{
    std::vector<double> samples;
    QEventLoop loop;
    Clock::time_point queued;
    std::function<void()> next;
    next = [&] {
        if (static_cast<int>(samples.size()) == kLatencySamples) {
            loop.quit();
            return;
        }
        queued = Clock::now();
        pQueueOne([&] {
            samples.push_back(std::chrono::duration<double>(Clock::now() - queued).count());
            QTimer::singleShot(0, next);
        });
    };
    QTimer::singleShot(0, next);
    loop.exec();
    return Median(samples);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int threads = std::max(2, QThread::idealThreadCount());

    TWorkerThreadPool ours;
    ours.SetMaxRunningThreads(threads);
    ours.SetMinWorkerThreads(threads);
    QThreadPool qt;
    qt.setMaxThreadCount(threads);
    qt.setExpiryTimeout(-1);

    // Warm up: both pools start their threads.
    OurThroughput(ours);
    QtThroughput(qt);

    // Rounds alternate between the two pools, so that a change in the machine's other load
    // falls on both alike; the best round of each counts. A round lasts some 10 ms, so one
    // preemption can spoil it: many rounds let each pool have some undisturbed ones.
    double ourItem = 1e30;
    double qtItem = 1e30;
    for (int round = 0; round < kThroughputRounds; ++round) {
        ourItem = std::min(ourItem, OurThroughput(ours));
        qtItem = std::min(qtItem, QtThroughput(qt));
    }
    const double asyncItem = BestOf(1, AsyncThroughput);
    Bench("threadpool_throughput_ours", 1.0 / ourItem, "items/s");
    Bench("threadpool_throughput_qthreadpool", 1.0 / qtItem, "items/s");
    Bench("threadpool_throughput_std_async", 1.0 / asyncItem, "items/s");
    Ratio("threadpool_throughput_vs_qthreadpool", ourItem, qtItem);
    Ratio("threadpool_throughput_vs_std_async", ourItem, asyncItem);

    // Latencies: the best median of three runs, so that a burst of other load on the machine
    // does not decide the figure.
    const double ourStart = BestOf(3, [&] { return OurStartLatency(ours); });
    const double qtStart = BestOf(3, [&] { return QtStartLatency(qt); });
    const double asyncStart = BestOf(3, AsyncStartLatency);
    Bench("threadpool_queue_to_work_median_ours", ourStart * 1e6, "us");
    Bench("threadpool_queue_to_work_median_qthreadpool", qtStart * 1e6, "us");
    Bench("threadpool_queue_to_work_median_std_async", asyncStart * 1e6, "us");
    Ratio("threadpool_queue_to_work_vs_qthreadpool", ourStart, qtStart);
    Ratio("threadpool_queue_to_work_vs_std_async", ourStart, asyncStart);

    const double ourDelivery = BestOf(3, [&] {
        return DeliveryLatency([&](std::function<void()> pDelivered) {
            ours.AddWorkItem(TAsyncProcedure::Create([] {}, nullptr, std::move(pDelivered)),
                             TPriority::Normal);
        });
    });
    const double qtDelivery = BestOf(3, [&] {
        return DeliveryLatency([&](std::function<void()> pDelivered) {
            qt.start([delivered = std::move(pDelivered)] {
                QMetaObject::invokeMethod(QCoreApplication::instance(), delivered,
                                          Qt::QueuedConnection);
            });
        });
    });
    Bench("threadpool_queue_to_main_thread_median_ours", ourDelivery * 1e3, "ms");
    Bench("threadpool_queue_to_main_thread_median_qthreadpool", qtDelivery * 1e3, "ms");
    Ratio("threadpool_queue_to_main_thread_vs_qthreadpool", ourDelivery, qtDelivery);
    return 0;
}

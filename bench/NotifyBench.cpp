// Change notification: how soon a new file reaches OnChangePIDL on the user-interface thread,
// and how many creations per second get through in a burst, each against raw inotify read by
// one thread in the same run (the floor: the kernel's own delivery).

#include "KivBench.h"
#include "core/notify/KivShellChangeNotifier.h"
#include "core/platform/IPlatform.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/KivItemIdList.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
using kiv::TKivShellChangeNotifier;
using kiv::TNotificationEvent;

constexpr int kLatencyRounds = 300;
constexpr int kBurst = 100000;

double Millis(TClock::duration pDuration)
{
    return std::chrono::duration<double, std::milli>(pDuration).count();
}

double Percentile(std::vector<double> pValues, double pFraction)
{
    std::sort(pValues.begin(), pValues.end());
    const auto index =
        static_cast<std::size_t>(pFraction * static_cast<double>(pValues.size() - 1));
    return pValues[index];
}

void MakeFile(const std::string& pPath)
{
    // mknod: one creation event and nothing else, so both sides count the same events.
    if (::mknod(pPath.c_str(), S_IFREG | 0644, 0) != 0)
        std::abort();
}

// ---- raw inotify -------------------------------------------------------------------------------

std::vector<double> RawLatencies(const std::string& pFolder)
{
    const int fd = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(fd, pFolder.c_str(), IN_CREATE);
    std::vector<double> result;
    alignas(inotify_event) char buffer[4096];
    for (int i = 0; i < kLatencyRounds; ++i) {
        const auto start = TClock::now();
        MakeFile(pFolder + "/raw" + std::to_string(i));
        pollfd event{fd, POLLIN, 0};
        ::poll(&event, 1, 5000);
        [[maybe_unused]] const ssize_t got = ::read(fd, buffer, sizeof buffer);
        result.push_back(Millis(TClock::now() - start));
    }
    ::close(fd);
    return result;
}

// Seconds for kBurst creations to be read by one thread.
double RawBurst(const std::string& pFolder)
{
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ::inotify_add_watch(fd, pFolder.c_str(), IN_CREATE);
    std::atomic<int> seen{0};
    const auto start = TClock::now();
    std::thread reader([&] {
        alignas(inotify_event) char buffer[65536];
        while (seen.load() < kBurst) {
            pollfd event{fd, POLLIN, 0};
            if (::poll(&event, 1, 2000) <= 0)
                break;
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            for (ssize_t offset = 0; offset < got;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + offset);
                seen += (e->mask & IN_CREATE) != 0 ? 1 : 0;
                offset += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    });
    for (int i = 0; i < kBurst; ++i)
        MakeFile(pFolder + "/b" + std::to_string(i));
    reader.join();
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    ::close(fd);
    return seconds;
}

// ---- through the notifier ----------------------------------------------------------------------

struct TNotifierRun
{
    std::vector<double> Latencies;
    double BurstSeconds = 0;
    int BurstDelivered = 0;
    double LongestStall = 0; // ms
};

TNotifierRun NotifierRun(const std::string& pLatencyFolder, const std::string& pBurstFolder)
{
    TNotifierRun run;
    TKivShellChangeNotifier notifier(true);
    int creations = 0;
    notifier.OnChangePIDL = [&](TKivShellChangeNotifier&, TNotificationEvent pEvent,
                                const kiv::IItemIdListPtr&, const kiv::IItemIdListPtr&) {
        if (pEvent == TNotificationEvent::neFileCreate)
            ++creations;
    };
    notifier.AddPath(QString::fromStdString(pLatencyFolder));
    // Wait until the watch is in place: files made until one is reported.
    for (int i = 0; creations == 0 && i < 100; ++i) {
        MakeFile(pLatencyFolder + "/warm" + std::to_string(i));
        kiv::pf::Ui().WaitFor([&] { return creations > 0; }, 50ms);
    }
    kiv::pf::Ui().WaitFor([] { return false; }, 100ms);
    for (int i = 0; i < kLatencyRounds; ++i) {
        const int before = creations;
        const auto start = TClock::now();
        MakeFile(pLatencyFolder + "/n" + std::to_string(i));
        kiv::pf::Ui().WaitFor([&] { return creations > before; }, 5s);
        run.Latencies.push_back(Millis(TClock::now() - start));
    }

    notifier.Clear();
    notifier.AddPath(QString::fromStdString(pBurstFolder));
    creations = 0;
    for (int i = 0; creations == 0 && i < 100; ++i) {
        MakeFile(pBurstFolder + "/warm" + std::to_string(i));
        kiv::pf::Ui().WaitFor([&] { return creations > 0; }, 50ms);
    }
    kiv::pf::Ui().WaitFor([] { return false; }, 100ms);
    creations = 0;

    // A 1 ms timer on the user-interface thread: the longest gap between its ticks is the
    // longest time the thread could not serve its events.
    auto lastTick = TClock::now();
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = TClock::now();
        run.LongestStall = std::max(run.LongestStall, Millis(now - lastTick));
        lastTick = now;
    });
    const auto start = TClock::now();
    std::thread writer([&] {
        for (int i = 0; i < kBurst; ++i)
            MakeFile(pBurstFolder + "/b" + std::to_string(i));
    });
    ticker.start();
    lastTick = TClock::now();
    auto lastSeen = TClock::now();
    int lastCount = 0;
    while (creations < kBurst) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (creations != lastCount) {
            lastCount = creations;
            lastSeen = TClock::now();
        } else if (TClock::now() - lastSeen > 3s) {
            break; // some were lost (the kernel's queue overflowed)
        }
    }
    run.BurstSeconds = std::chrono::duration<double>(lastSeen - start).count();
    ticker.stop();
    writer.join();
    run.BurstDelivered = creations;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    QTemporaryDir work;
    ::setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
    const kiv::pf::TScopedPlatform platform(kiv::pf::lnx::CreateLinuxPlatform());
    const std::string root = QFile::encodeName(work.path()).toStdString();
    for (const char* folder : {"/raw", "/rawburst", "/ours", "/oursburst"})
        ::mkdir((root + folder).c_str(), 0755);

    const std::vector<double> raw = RawLatencies(root + "/raw");
    const double rawBurst = RawBurst(root + "/rawburst");
    const TNotifierRun ours = NotifierRun(root + "/ours", root + "/oursburst");

    using kiv::bench::Bench;
    using kiv::bench::Ratio;
    const double rawMedian = Percentile(raw, 0.5);
    const double rawP99 = Percentile(raw, 0.99);
    const double ourMedian = Percentile(ours.Latencies, 0.5);
    const double ourP99 = Percentile(ours.Latencies, 0.99);
    Bench("notify_latency_median", ourMedian, "ms");
    Bench("notify_latency_p99", ourP99, "ms");
    Bench("notify_raw_inotify_latency_median", rawMedian, "ms");
    Bench("notify_raw_inotify_latency_p99", rawP99, "ms");
    Ratio("notify_latency_median", ourMedian, rawMedian);
    Ratio("notify_latency_p99", ourP99, rawP99);
    const double ourRate = ours.BurstDelivered / std::max(ours.BurstSeconds, 1e-9);
    const double rawRate = kBurst / std::max(rawBurst, 1e-9);
    Bench("notify_burst_events_per_s", ourRate, "events/s");
    Bench("notify_burst_delivered", ours.BurstDelivered, "events");
    Bench("notify_raw_inotify_burst_events_per_s", rawRate, "events/s");
    Bench("notify_burst_ui_longest_stall", ours.LongestStall, "ms");
    // Cost per event against the raw reader's.
    Ratio("notify_burst_time_per_event", 1.0 / ourRate, 1.0 / rawRate);
    return 0;
}

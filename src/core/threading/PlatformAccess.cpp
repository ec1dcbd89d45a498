// The process-wide dispatcher and thread services, with their defaults.

#include "core/platform/Threads.h"
#include "core/platform/UiDispatcher.h"
#include "core/threading/QtUiDispatcher.h"

#include <QThread>

#include <atomic>
#include <thread>

namespace kiv::pf {

namespace {

std::atomic<IUiDispatcher*> gUi{nullptr};
std::atomic<IThreads*> gThreads{nullptr};

IUiDispatcher& DefaultUi()
{
    // Never destroyed: workers that were abandoned, or that end while the process exits, may
    // still queue calls to it.
    static QtUiDispatcher* const dispatcher = new QtUiDispatcher();
    return *dispatcher;
}

// What answers when the program has installed no thread services: enough for the pools to
// size themselves, with no load figure and no names or priorities.
class TPortableThreads final : public IThreads
{
public:
    int ProcessorCount() override
    {
        bool ok = false;
        const int fromEnvironment = qEnvironmentVariableIntValue("NUMBER_OF_PROCESSORS", &ok);
        if (ok && fromEnvironment > 0)
            return fromEnvironment;
        return std::max(1, QThread::idealThreadCount());
    }
    int CpuUsage() override { return 0; }
    std::optional<TSystemTimes> SystemTimes() override { return std::nullopt; }
    std::uint64_t CurrentThreadId() override
    {
        static std::atomic<std::uint64_t> next{1};
        thread_local const std::uint64_t id = next.fetch_add(1);
        return id;
    }
    void SetCurrentThreadName(const QString&) override {}
    void SetThreadPriority(std::uint64_t, TThreadPriority) override {}
    bool SetBackgroundMode(bool) override { return false; }
};

IThreads& DefaultThreads()
{
    static TPortableThreads* const threads = new TPortableThreads();
    return *threads;
}

} // namespace

IUiDispatcher& Ui()
{
    if (IUiDispatcher* installed = gUi.load(std::memory_order_acquire))
        return *installed;
    return DefaultUi();
}

namespace {
// Workers inside WakeUi: the dispatcher they woke may be the one being replaced.
std::atomic<int> gWakers{0};
} // namespace

void WakeUi()
{
    gWakers.fetch_add(1);
    Ui().Wake();
    gWakers.fetch_sub(1);
}

IUiDispatcher* InstallUi(IUiDispatcher* pDispatcher)
{
    IUiDispatcher* previous = gUi.exchange(pDispatcher);
    // The replaced dispatcher may be destroyed as soon as this returns: wait until no worker is
    // still waking it (a waker counted after this look already sees the new one).
    while (gWakers.load() != 0)
        std::this_thread::yield();
    return previous;
}

IThreads& Threads()
{
    if (IThreads* installed = gThreads.load(std::memory_order_acquire))
        return *installed;
    return DefaultThreads();
}

IThreads* InstallThreads(IThreads* pThreads)
{
    return gThreads.exchange(pThreads);
}

} // namespace kiv::pf

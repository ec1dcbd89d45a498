#include "core/threading/ThreadingHooks.h"

#include "core/platform/Threads.h"

#include <QByteArray>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <deque>
#include <mutex>
#include <thread>

namespace kiv::threading {

namespace {

// One installed hook. Readers take it with a single atomic load on hot paths (every queued work
// item reads the clock); replaced hooks stay alive for the rest of the process, because a worker
// may still be inside one, and there are only a handful of installations per run.
template <typename F> class THook
{
public:
    F Exchange(F pNew)
    {
        const std::scoped_lock lock(fLock);
        const F* previous = fCurrent.load();
        const F* next = nullptr;
        if (pNew)
            next = &fKept.emplace_back(std::move(pNew));
        fCurrent.store(next);
        return previous ? *previous : F();
    }

    const F* Get() const { return fCurrent.load(std::memory_order_acquire); }

private:
    std::mutex fLock;
    std::deque<F> fKept; // guarded by fLock
    std::atomic<const F*> fCurrent{nullptr};
};

THook<TDebugSink>& DebugHook()
{
    static THook<TDebugSink> hook;
    return hook;
}

THook<TExceptionHandler>& ExceptionHook()
{
    static THook<TExceptionHandler> hook;
    return hook;
}

THook<TSleepFunction>& SleepHook()
{
    static THook<TSleepFunction> hook;
    return hook;
}

THook<TTickFunction>& TickHook()
{
    static THook<TTickFunction> hook;
    return hook;
}

QString ExceptionText(std::exception_ptr pError)
{
    try {
        std::rethrow_exception(pError);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown exception");
    }
}

} // namespace

// Off below warnings unless enabled: the lines are for developers and only noise for everybody
// else.
Q_LOGGING_CATEGORY(lcDebugLines, "tovaline.debug", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVerboseDebugLines, "tovaline.debug.verbose", QtWarningMsg)

const QLoggingCategory& DebugCategory()
{
    return lcDebugLines();
}

const QLoggingCategory& VerboseDebugCategory()
{
    return lcVerboseDebugLines();
}

TDebugSink SetDebugSink(TDebugSink pSink)
{
    return DebugHook().Exchange(std::move(pSink));
}

void DebugLine(const QString& pMessage)
{
    const QString line =
        QStringLiteral("Thread %1: %2").arg(pf::Threads().CurrentThreadId()).arg(pMessage);
    if (const TDebugSink* sink = DebugHook().Get()) {
        (*sink)(line);
        return;
    }
    if (lcDebugLines().isDebugEnabled()) {
        qCDebug(lcDebugLines).noquote() << line;
        return;
    }
    static const bool enabled = qEnvironmentVariableIsSet("TOVALINE_DEBUG");
    if (enabled)
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

TExceptionHandler SetExceptionHandler(TExceptionHandler pHandler)
{
    return ExceptionHook().Exchange(std::move(pHandler));
}

void HandleException(std::exception_ptr pError) noexcept
{
    if (!pError)
        return;
    try {
        if (const TExceptionHandler* handler = ExceptionHook().Get()) {
            (*handler)(pError);
            return;
        }
        DebugLine(QStringLiteral("Unhandled exception in background work: %1")
                      .arg(ExceptionText(pError)));
    } catch (...) {
        // A failing handler must not take the worker or the event loop down with it.
    }
}

TSleepFunction SetSleepFunction(TSleepFunction pSleep)
{
    return SleepHook().Exchange(std::move(pSleep));
}

void Sleep(std::chrono::milliseconds pDuration)
{
    if (const TSleepFunction* sleep = SleepHook().Get()) {
        (*sleep)(pDuration);
        return;
    }
    std::this_thread::sleep_for(pDuration);
}

TTickFunction SetTickFunction(TTickFunction pTick)
{
    return TickHook().Exchange(std::move(pTick));
}

std::uint64_t TickCount()
{
    if (const TTickFunction* tick = TickHook().Get())
        return (*tick)();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

QString TypeName(const std::type_info& pType)
{
    int status = 0;
    char* name = abi::__cxa_demangle(pType.name(), nullptr, nullptr, &status);
    const QString full = QString::fromUtf8(status == 0 && name ? name : pType.name());
    std::free(name); // NOLINT(cppcoreguidelines-owning-memory): the demangler's malloc'd buffer
    const qsizetype colons = full.lastIndexOf(QLatin1String("::"));
    return colons >= 0 ? full.mid(colons + 2) : full;
}

} // namespace kiv::threading

#pragma once

// Small fixtures for the threading tests: captured diagnostics, a gate that work waits at, and a
// work item made of a lambda.

#include "core/threading/KivThreading.h"
#include "core/threading/ThreadingHooks.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kiv::test {

// Collects the debug lines and the exceptions handed to the application's handler while alive.
class TDiagnosticsCapture
{
public:
    TDiagnosticsCapture()
    {
        fOldSink = threading::SetDebugSink([this](const QString& pLine) {
            const std::scoped_lock lock(fLock);
            fLines.append(pLine);
        });
        fOldHandler = threading::SetExceptionHandler([this](std::exception_ptr pError) {
            const std::scoped_lock lock(fLock);
            try {
                std::rethrow_exception(pError);
            } catch (const std::exception& e) {
                fExceptions.append(QString::fromUtf8(e.what()));
            } catch (...) {
                fExceptions.append(QStringLiteral("?"));
            }
        });
    }
    ~TDiagnosticsCapture()
    {
        threading::SetDebugSink(fOldSink);
        threading::SetExceptionHandler(fOldHandler);
    }
    QStringList Lines() const
    {
        const std::scoped_lock lock(fLock);
        return fLines;
    }
    QStringList Exceptions() const
    {
        const std::scoped_lock lock(fLock);
        return fExceptions;
    }

private:
    mutable std::mutex fLock;
    QStringList fLines;      // guarded by fLock
    QStringList fExceptions; // guarded by fLock
    threading::TDebugSink fOldSink;
    threading::TExceptionHandler fOldHandler;
};

// A one-shot gate: Wait blocks until Open. (A condition variable rather than a future: the
// library's timed future wait can miss the wake-up under the thread sanitizer.)
class TGate
{
public:
    void Open()
    {
        const std::scoped_lock lock(fLock);
        fOpen = true;
        fOpened.notify_all();
    }
    void Wait() const
    {
        std::unique_lock lock(fLock);
        fOpened.wait(lock, [this] { return fOpen; });
    }
    // Whether it opened within pTimeout: a test fails instead of hanging.
    bool WaitFor(std::chrono::milliseconds pTimeout) const
    {
        std::unique_lock lock(fLock);
        return fOpened.wait_for(lock, pTimeout, [this] { return fOpen; });
    }
    bool IsOpen() const
    {
        const std::scoped_lock lock(fLock);
        return fOpen;
    }

private:
    mutable std::mutex fLock;
    mutable std::condition_variable fOpened;
    bool fOpen = false; // guarded by fLock
};

// A work item running a lambda; counts live instances.
class TLambdaItem : public TBasicWorkItem
{
public:
    static inline std::atomic<int> sLive{0};

    static std::shared_ptr<TLambdaItem> Create(std::function<void(TLambdaItem&)> pWork,
                                               ICancellationIndicatorPtr pToken = nullptr,
                                               TWorkDoneEvent pOnWorkDone = nullptr)
    {
        return std::make_shared<TLambdaItem>(std::move(pWork), std::move(pToken),
                                             std::move(pOnWorkDone));
    }

    TLambdaItem(std::function<void(TLambdaItem&)> pWork, ICancellationIndicatorPtr pToken,
                TWorkDoneEvent pOnWorkDone)
        : TBasicWorkItem(std::move(pToken), std::move(pOnWorkDone))
        , fWork(std::move(pWork))
    {
        sLive.fetch_add(1);
    }
    ~TLambdaItem() override
    {
        sLive.fetch_sub(1);
        sLive.notify_all();
    }

    void DoWork() override
    {
        if (fWork)
            fWork(*this);
    }

    // Called (on the terminating thread) when the item is cancelled.
    std::function<void()> OnTerminate;
    void Terminate() noexcept override
    {
        TBasicWorkItem::Terminate();
        if (OnTerminate)
            OnTerminate();
    }

private:
    std::function<void(TLambdaItem&)> fWork;
};

} // namespace kiv::test

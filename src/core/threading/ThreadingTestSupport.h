#pragma once

// Small fixtures for the threading tests: captured diagnostics, a gate that work waits at, and a
// work item made of a lambda.

#include "core/threading/KivThreading.h"
#include "core/threading/ThreadingHooks.h"

#include <QStringList>

#include <future>
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

// A one-shot gate: Wait blocks until Open.
class TGate
{
public:
    void Open()
    {
        std::call_once(fOnce, [this] { fPromise.set_value(); });
    }
    void Wait() const { fFuture.wait(); }
    // Whether it opened within pTimeout: a test fails instead of hanging.
    bool WaitFor(std::chrono::milliseconds pTimeout) const
    {
        return fFuture.wait_for(pTimeout) == std::future_status::ready;
    }
    bool IsOpen() const
    {
        return fFuture.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }

private:
    std::once_flag fOnce;
    std::promise<void> fPromise;
    std::shared_future<void> fFuture = fPromise.get_future().share();
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

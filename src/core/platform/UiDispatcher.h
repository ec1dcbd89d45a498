#pragma once

// The way back to the user-interface thread. All component state lives on that thread; workers
// hand their results to it in one of two ways:
//   Post  queue a call and go on (deliveries of work items, delayed procedures);
//   Send  run a call there and wait for it (each object of a background enumeration, the
//         progress reports of a transfer, thread-end events).
// A user-interface thread that waits for workers (pool shutdown, waiting for a future) keeps
// running the calls queued to it (DrainPending, WaitFor), so a worker blocked in Send can never
// deadlock against it. Rules for callers, which keep the two modes free of deadlocks:
//   1. Work that the user-interface thread waits for must never Send.
//   2. No lock is held across Post or Send, nor inside the calls they run.
//   3. Every delivery checks its cancellation again when it runs.
//   4. The pending calls of an abandoned thread are purged, and nothing it may still touch is
//      freed while it runs.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace kiv {
class ICancellationIndicator;
}

namespace kiv::pf {

// A repeating or single-shot timer on the user-interface thread; restart semantics as QTimer.
class IUiTimer
{
public:
    virtual ~IUiTimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
    virtual void SetInterval(int pMilliseconds) = 0;
};

// Thread-safe except where a method says "user-interface thread only".
class IUiDispatcher
{
public:
    virtual ~IUiDispatcher() = default;

    virtual bool IsUiThread() const = 0;

    // Queues pCall for the user-interface thread and returns at once. pOwner tags the call for
    // Purge. Called on the user-interface thread it runs after the current event (a deferral).
    virtual void Post(std::function<void()> pCall, const void* pOwner = nullptr) = 0;

    // Runs pCall on the user-interface thread and waits for it; inline when called there.
    // Returns false, without running pCall, when pCancel reports cancellation before the call
    // starts, when the owner's calls are purged, or when the dispatcher has shut down: the
    // caller then treats the call as skipped.
    virtual bool Send(std::function<void()> pCall, const ICancellationIndicator* pCancel = nullptr,
                      const void* pOwner = nullptr) = 0;

    // User-interface thread only: runs the calls queued so far and returns how many ran.
    virtual std::size_t DrainPending() = 0;

    // User-interface thread only: runs queued calls and sleeps until pDone() is true or
    // pTimeout has passed; returns pDone(). Wakes for every queued call and for Wake(), so a
    // waiting user-interface thread serves workers that Send to it.
    virtual bool WaitFor(const std::function<bool()>& pDone,
                         std::chrono::milliseconds pTimeout) = 0;

    // Any thread: makes a WaitFor in progress test its condition again.
    virtual void Wake() = 0;

    // User-interface thread only: lets pending user-interface events (repaint, input) and
    // queued calls be processed.
    virtual void ProcessEvents() = 0;

    // Drops the calls of pOwner that have not started; its waiting Sends return false.
    virtual void Purge(const void* pOwner) = 0;

    // User-interface thread only.
    virtual std::unique_ptr<IUiTimer> CreateTimer(int pIntervalMs, bool pRepeat,
                                                  std::function<void()> pOnTick) = 0;

    // Refuses new calls and completes waiting Sends with "not run".
    virtual void Shutdown() = 0;
};

// The process-wide dispatcher. Until one is installed, the first use makes one on Qt's event
// loop for the application's main thread (it is never destroyed: abandoned workers may still
// reach it while the process ends).
IUiDispatcher& Ui();

// Any thread: Ui().Wake(), safe against the dispatcher being replaced at the same time (what
// workers call when they finish something the user-interface thread may wait for).
void WakeUi();

// Installs pDispatcher (not owned; null goes back to the default) and returns the one it
// replaces, once no thread is still waking it. Tests install a manual dispatcher and put the
// previous one back.
IUiDispatcher* InstallUi(IUiDispatcher* pDispatcher);

// Installs a dispatcher for the lifetime of a scope.
class TScopedUi
{
public:
    explicit TScopedUi(IUiDispatcher& pDispatcher)
        : fPrevious(InstallUi(&pDispatcher))
    {
    }
    ~TScopedUi() { InstallUi(fPrevious); }
    TScopedUi(const TScopedUi&) = delete;
    TScopedUi& operator=(const TScopedUi&) = delete;

private:
    IUiDispatcher* fPrevious;
};

} // namespace kiv::pf

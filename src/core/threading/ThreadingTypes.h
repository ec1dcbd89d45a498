#pragma once

// The vocabulary shared by the thread pools and the work items: task states, queue priorities,
// cancellation, the work item and pool interfaces. Kept apart from both so that either can be
// included alone, and so that the platform layer can take a cancellation indicator without
// pulling in the pools.

#include "core/shell/KivExceptions.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kiv {

// Life of a thread or a work item: Created → WaitingToRun (queued) → Running ⇄ Paused →
// Completed, or Canceled from any state. Canceled is final: nothing moves an item out of it.
enum class TTaskStatus
{
    Created,
    WaitingToRun,
    Running,
    Paused,
    Completed,
    Canceled
};

// Queue position of a work item. Normal: first in, first out. Highest: before everything that
// waits, and several Highest items last in, first out.
enum class TPriority
{
    Highest,
    Normal
};

// Asks whether the work that holds it should stop. Thread-safe: polled from workers while the
// user-interface thread cancels.
class ICancellationIndicator
{
public:
    virtual ~ICancellationIndicator() = default;
    virtual bool IsCancellationRequested() const = 0;
};

class ICancellationToken : public ICancellationIndicator
{
public:
    virtual void Cancel() noexcept = 0;
};

class ITerminatable
{
public:
    virtual ~ITerminatable() = default;
    virtual void Terminate() noexcept = 0;
};

class IPausable
{
public:
    virtual ~IPausable() = default;
    virtual bool Paused() const = 0;
    virtual void SetPaused(bool pPaused) = 0;
};

using ICancellationIndicatorPtr = std::shared_ptr<const ICancellationIndicator>;
using ICancellationTokenPtr = std::shared_ptr<ICancellationToken>;

class IWorkItem;
using IWorkItemPtr = std::shared_ptr<IWorkItem>;

// Called on delivery (the user-interface thread unless the item says otherwise) with the
// finished item.
using TWorkDoneEvent = std::function<void(const IWorkItemPtr& pItem)>;

// One unit of background work, executed by a worker pool and delivered back afterwards. The pool
// holds the item while it is queued and running; a delivery queued to the user-interface thread
// holds it until it has run.
class IWorkItem : public ITerminatable
{
public:
    virtual TWorkDoneEvent GetOnWorkDone() const = 0;
    virtual void SetOnWorkDone(TWorkDoneEvent pEvent) = 0;
    // An opaque reference to the object that asked for the work (often a list item).
    virtual std::intptr_t GetTag() const = 0;
    // The work itself, on a worker thread.
    virtual void DoWork() = 0;
    // Called by the worker after DoWork: hands the result to whoever waits for it.
    virtual void Finished() = 0;
    virtual void SetStatus(TTaskStatus pStatus) = 0;
    // The item's type name, for diagnostics.
    virtual QString ClassName() const = 0;
    virtual TTaskStatus GetStatus() = 0;
    // Blocks until the item is Completed or Canceled.
    virtual void WaitFor() = 0;
};

// Receives the pool's terminated flag when the last work item of a pool has been done.
using TAllWorkItemsFinished = std::function<void(bool pTerminated)>;

// What work item owners see of a worker pool.
class IWorkerThreadPool : public IPausable
{
public:
    virtual void AddWorkItem(const IWorkItemPtr& pItem, TPriority pPriority) = 0;
    virtual void AddWorkItems(const std::vector<IWorkItemPtr>& pItems, TPriority pPriority) = 0;
    // Whether a queued or running item matches (the place of an interface query: see
    // ContainsWorkItemOf in ThreadPool.h).
    virtual bool ContainsWorkItemIf(const std::function<bool(const IWorkItem&)>& pMatch) const = 0;
    // Terminates all threads without force.
    virtual void Dispose() = 0;
};

using IWorkerThreadPoolPtr = std::shared_ptr<IWorkerThreadPool>;

} // namespace kiv

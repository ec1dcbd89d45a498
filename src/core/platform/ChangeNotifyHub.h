#pragma once

// The part of change notification that every backend shares: the table of registrations, the
// matching rule of events to registrations, and the delivery to the user-interface thread.
//
// Backends (the inotify reader on Linux, the in-memory one for tests) hand events in from any
// thread; the hub queues them and delivers them on the user-interface thread in batches of at
// most kDrainSlice, so a burst of events never holds that thread for long, and in order. A sink
// that waits inside its handler (serving queued calls while it waits) does not make deliveries
// nest: the running batch goes on with the events that came meanwhile.
//
// Thread-safe. The hub may be destroyed while deliveries are queued: they then do nothing.

#include "core/platform/IChangeNotify.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kiv::pf {

class INamespace;

// What a backend knows of one registration.
struct TChangeRegistration
{
    std::uint32_t Id = 0;
    std::uint32_t Sources = 0;
    std::uint32_t EventMask = 0;
    std::uint32_t Message = 0;
    std::vector<ChangeNotifyEntry> Entries;
    // The file-system path of each entry; empty for virtual items.
    std::vector<QString> Paths;
};

class TChangeNotifyHub
{
public:
    // The longest time one delivery batch keeps the user-interface thread: long enough to
    // deliver thousands of cheap events, short enough that a burst never shows as a stall.
    static constexpr std::chrono::milliseconds kDrainSlice{10};

    explicit TChangeNotifyHub(INamespace& pNamespace);
    ~TChangeNotifyHub();
    TChangeNotifyHub(const TChangeNotifyHub&) = delete;
    TChangeNotifyHub& operator=(const TChangeNotifyHub&) = delete;

    // Records a registration and returns its id (never 0).
    std::uint32_t Add(std::weak_ptr<IChangeSink> pSink, std::uint32_t pSources,
                      std::uint32_t pEventMask, std::uint32_t pMessage,
                      const std::vector<ChangeNotifyEntry>& pEntries);
    // Forgets a registration; its queued events are dropped when their turn comes.
    bool Remove(std::uint32_t pId);
    std::optional<TChangeRegistration> Find(std::uint32_t pId) const;
    std::vector<TChangeRegistration> Registrations() const;

    // Queues one event for one registration. Repeated item and folder updates of the same item
    // that are still queued are merged into one.
    void Deliver(std::uint32_t pId, std::uint32_t pEvent, IdListBytes pList1,
                 IdListBytes pList2 = {});
    // Queues the event for every registration it concerns; with pShellLevelOnly only for those
    // that asked for shell-level events.
    void Broadcast(std::uint32_t pEvent, const IdListBytes& pList1, const IdListBytes& pList2,
                   bool pShellLevelOnly);

    // Whether an event on pList (with its file-system path pPath, empty for virtual items)
    // concerns pRegistration: pList is a watched item, a direct child of one, or below a
    // recursive one.
    bool Concerns(const TChangeRegistration& pRegistration, IdSpan pList,
                  const QString& pPath) const;

    // Events queued and not yet delivered.
    std::size_t Pending() const;

private:
    struct TState;
    INamespace& fNamespace;
    std::shared_ptr<TState> fState;
};

// True when pAncestor is pPath or one of its folders, compared by whole "/" components.
bool IsPathAtOrBelow(const QString& pAncestor, const QString& pPath);

} // namespace kiv::pf

#include "core/platform/ChangeNotifyHub.h"

#include "core/platform/INamespace.h"
#include "core/platform/UiDispatcher.h"
#include "core/threading/ThreadingHooks.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

namespace kiv::pf {

namespace {

struct TQueuedEvent
{
    std::uint32_t Id = 0;
    std::uint32_t Event = 0;
    IdListBytes List1;
    IdListBytes List2;
    bool Merged = false; // a key of fMergeable stands for it
};

struct TSinkEntry
{
    TChangeRegistration Registration;
    std::weak_ptr<IChangeSink> Sink;
};

using TMergeKey = std::tuple<std::uint32_t, std::uint32_t, IdListBytes>;

// Updates say "look again"; one queued look is as good as many. Creations, deletions and renames
// are never merged: their order and number matter.
bool IsMergeable(std::uint32_t pEvent)
{
    return pEvent == shcne::UPDATEITEM || pEvent == shcne::ATTRIBUTES || pEvent == shcne::UPDATEDIR;
}

} // namespace

struct TChangeNotifyHub::TState
{
    mutable std::mutex Lock;
    std::map<std::uint32_t, TSinkEntry> Registrations; // guarded by Lock
    std::uint32_t NextId = 1;                          // guarded by Lock
    std::deque<TQueuedEvent> Queue;                    // guarded by Lock
    std::set<TMergeKey> Mergeable;                     // guarded by Lock
    bool DrainPosted = false;                          // guarded by Lock
    bool Draining = false;                             // user-interface thread only

    // Queues under the lock; the caller posts a drain when this returns true.
    bool Enqueue(TQueuedEvent pEvent)
    {
        if (IsMergeable(pEvent.Event)) {
            if (!Mergeable.emplace(pEvent.Id, pEvent.Event, pEvent.List1).second)
                return false;
            pEvent.Merged = true;
        }
        Queue.push_back(std::move(pEvent));
        if (DrainPosted)
            return false;
        DrainPosted = true;
        return true;
    }

    static void PostDrain(const std::shared_ptr<TState>& pState)
    {
        std::weak_ptr<TState> weak = pState;
        Ui().Post(
            [weak] {
                if (const std::shared_ptr<TState> state = weak.lock())
                    state->Drain(state);
            },
            pState.get());
    }

    void Drain(const std::shared_ptr<TState>& pSelf)
    {
        {
            const std::scoped_lock lock(Lock);
            DrainPosted = false;
        }
        // A sink that waits serves queued calls, this one among them: the batch that runs
        // already delivers what came meanwhile.
        if (Draining)
            return;
        Draining = true;
        const auto until = std::chrono::steady_clock::now() + kDrainSlice;
        bool more = false;
        for (;;) {
            TQueuedEvent event;
            std::weak_ptr<IChangeSink> sink;
            std::uint32_t message = 0;
            {
                const std::scoped_lock lock(Lock);
                if (Queue.empty())
                    break;
                if (std::chrono::steady_clock::now() >= until) {
                    more = !DrainPosted;
                    DrainPosted = true;
                    break;
                }
                event = std::move(Queue.front());
                Queue.pop_front();
                if (event.Merged)
                    Mergeable.erase(TMergeKey(event.Id, event.Event, event.List1));
                const auto found = Registrations.find(event.Id);
                if (found == Registrations.end() ||
                    (found->second.Registration.EventMask & event.Event) == 0)
                    continue;
                sink = found->second.Sink;
                message = found->second.Registration.Message;
            }
            if (const std::shared_ptr<IChangeSink> target = sink.lock()) {
                try {
                    target->OnShellNotification(message, event.Event, event.List1, event.List2);
                } catch (...) {
                    threading::HandleException(std::current_exception());
                }
            }
        }
        Draining = false;
        if (more)
            PostDrain(pSelf);
    }
};

bool IsPathAtOrBelow(const QString& pAncestor, const QString& pPath)
{
    if (pAncestor.isEmpty() || pPath.isEmpty() || !pPath.startsWith(pAncestor))
        return false;
    if (pPath.size() == pAncestor.size() || pAncestor.endsWith(u'/'))
        return true;
    return pPath.at(pAncestor.size()) == u'/';
}

TChangeNotifyHub::TChangeNotifyHub(INamespace& pNamespace)
    : fNamespace(pNamespace)
    , fState(std::make_shared<TState>())
{
}

TChangeNotifyHub::~TChangeNotifyHub()
{
    // Queued drains hold the state weakly; dropping them spares the dispatcher the calls.
    Ui().Purge(fState.get());
}

std::uint32_t TChangeNotifyHub::Add(std::weak_ptr<IChangeSink> pSink, std::uint32_t pSources,
                                    std::uint32_t pEventMask, std::uint32_t pMessage,
                                    const std::vector<ChangeNotifyEntry>& pEntries)
{
    TSinkEntry entry;
    entry.Sink = std::move(pSink);
    entry.Registration.Sources = pSources;
    entry.Registration.EventMask = pEventMask;
    entry.Registration.Message = pMessage;
    entry.Registration.Entries = pEntries;
    for (const ChangeNotifyEntry& item : pEntries) {
        QString path;
        if (!fNamespace.GetPathFromIdList(IdSpan(item.List), path))
            path.clear();
        entry.Registration.Paths.push_back(path);
    }
    const std::scoped_lock lock(fState->Lock);
    std::uint32_t id = fState->NextId++;
    if (id == 0)
        id = fState->NextId++;
    entry.Registration.Id = id;
    fState->Registrations.emplace(id, std::move(entry));
    return id;
}

bool TChangeNotifyHub::Remove(std::uint32_t pId)
{
    const std::scoped_lock lock(fState->Lock);
    return fState->Registrations.erase(pId) > 0;
}

std::optional<TChangeRegistration> TChangeNotifyHub::Find(std::uint32_t pId) const
{
    const std::scoped_lock lock(fState->Lock);
    const auto found = fState->Registrations.find(pId);
    if (found == fState->Registrations.end())
        return std::nullopt;
    return found->second.Registration;
}

std::vector<TChangeRegistration> TChangeNotifyHub::Registrations() const
{
    std::vector<TChangeRegistration> result;
    const std::scoped_lock lock(fState->Lock);
    for (const auto& [id, entry] : fState->Registrations)
        result.push_back(entry.Registration);
    return result;
}

void TChangeNotifyHub::Deliver(std::uint32_t pId, std::uint32_t pEvent, IdListBytes pList1,
                               IdListBytes pList2)
{
    bool post = false;
    {
        const std::scoped_lock lock(fState->Lock);
        post = fState->Enqueue({pId, pEvent, std::move(pList1), std::move(pList2)});
    }
    if (post)
        TState::PostDrain(fState);
}

void TChangeNotifyHub::Broadcast(std::uint32_t pEvent, const IdListBytes& pList1,
                                 const IdListBytes& pList2, bool pShellLevelOnly)
{
    QString path1;
    QString path2;
    if (!pList1.empty() && !fNamespace.GetPathFromIdList(IdSpan(pList1), path1))
        path1.clear();
    if (!pList2.empty() && !fNamespace.GetPathFromIdList(IdSpan(pList2), path2))
        path2.clear();
    // Matching may ask the namespace (identity of virtual items): done on a copy, outside the
    // lock.
    for (const TChangeRegistration& registration : Registrations()) {
        if (pShellLevelOnly && (registration.Sources & shcnrf::ShellLevel) == 0)
            continue;
        if ((registration.EventMask & pEvent) == 0)
            continue;
        const bool concerned = (!pList1.empty() && Concerns(registration, pList1, path1)) ||
                               (!pList2.empty() && Concerns(registration, pList2, path2));
        if (concerned)
            Deliver(registration.Id, pEvent, pList1, pList2);
    }
}

bool TChangeNotifyHub::Concerns(const TChangeRegistration& pRegistration, IdSpan pList,
                                const QString& pPath) const
{
    for (std::size_t i = 0; i < pRegistration.Entries.size(); ++i) {
        const ChangeNotifyEntry& entry = pRegistration.Entries[i];
        const QString& watched = pRegistration.Paths[i];
        if (!watched.isEmpty() && !pPath.isEmpty()) {
            if (!IsPathAtOrBelow(watched, pPath))
                continue;
            if (entry.Recursive || pPath.size() == watched.size())
                return true;
            // A direct child: nothing but one name after the watched folder.
            const qsizetype start = watched.endsWith(u'/') ? watched.size() : watched.size() + 1;
            if (pPath.indexOf(u'/', start) < 0)
                return true;
            continue;
        }
        IdListBytes rest;
        if (!fNamespace.FindChild(IdSpan(entry.List), pList, &rest))
            continue;
        if (entry.Recursive)
            return true;
        if (!rest.empty()) {
            if (IdSpan(rest).Depth() <= 1)
                return true;
            continue;
        }
        // An alias whose remainder the bytes do not show: the watched item itself counts.
        if (fNamespace.FindChild(pList, IdSpan(entry.List), nullptr))
            return true;
    }
    return false;
}

std::size_t TChangeNotifyHub::Pending() const
{
    const std::scoped_lock lock(fState->Lock);
    return fState->Queue.size();
}

} // namespace kiv::pf

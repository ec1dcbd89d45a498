#pragma once

#include "core/platform/ChangeNotifyHub.h"
#include "core/platform/IChangeNotify.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace kiv::pf {
class IDebug;
class INamespace;
} // namespace kiv::pf

namespace kiv::pf::lnx {

// Limits of the file-system level. The caps keep one recursive registration from building a
// watch tree over a whole disk: inotify watches cost kernel memory and the system allows each
// user a limited number (fs.inotify.max_user_watches), shared with every other program.
struct TChangeNotifyOptions
{
    // Levels of sub-folders watched below a recursive registration's folder (2: its children
    // and grandchildren), enough for a tree that shows a folder's branches.
    int MaxDepth = 2;
    int MaxWatchesPerRegistration = 2000;
    int MaxWatches = 8000;
    // Tests: once this many watches exist, adding another fails as if the system's limit were
    // reached (ENOSPC). Negative: only the system's limit.
    int WatchBudget = -1;
    // How often a folder that could not be watched is listed again and compared.
    std::chrono::milliseconds RescanInterval{2000};
    // How often the mount table is looked at (one poll of an open file; it is read again only
    // when the system marks it changed).
    std::chrono::milliseconds MountPollInterval{1000};
    // How long a move out of a folder waits for its move in before it counts as a deletion. The
    // kernel queues both halves together, so they normally arrive in the same read.
    std::chrono::milliseconds MovePairWindow{20};
};

// Change notification over inotify. One inotify instance, read by one thread of its own; the
// watches are set up on that thread, so registering never blocks the caller on a slow folder.
// Events go through the shared hub to the user-interface thread. Folders on network mounts get
// no inotify watch (it would report only this machine's changes and may hang on a dead server):
// their registrations receive the shell-level events. Running out of watches is reported once
// in the debug output; each folder that could not be watched is then rescanned periodically
// instead. Mount changes become drive and media events for the mount items under This PC.
// Thread-safe.
class TLinuxChangeNotify final : public IChangeNotify
{
public:
    TLinuxChangeNotify(INamespace& pNamespace, IDebug& pDebug,
                       const TChangeNotifyOptions& pOptions = {});
    ~TLinuxChangeNotify() override;
    TLinuxChangeNotify(const TLinuxChangeNotify&) = delete;
    TLinuxChangeNotify& operator=(const TLinuxChangeNotify&) = delete;

    std::uint32_t Register(std::weak_ptr<IChangeSink> pSink, std::uint32_t pSources,
                           std::uint32_t pEventMask, std::uint32_t pMessage,
                           const std::vector<ChangeNotifyEntry>& pEntries) override;
    bool Deregister(std::uint32_t pId) override;
    void Notify(std::uint32_t pEvent, std::uint32_t pFlags, const IdSpan* pList1,
                const IdSpan* pList2) override;

    // ---- for tests and benchmarks ----
    // Waits until the reader thread has set up (or dropped) the watches of every registration
    // change made so far; false after pTimeout.
    bool WaitUntilIdle(std::chrono::milliseconds pTimeout = std::chrono::seconds(10));
    // Watches in use (inotify watch descriptors).
    int WatchCount() const;
    // Folders of pId that are rescanned because they could not be watched.
    int RescanCount(std::uint32_t pId) const;
    // While paused, the reader leaves the kernel's queue alone (so that it can overflow).
    void PauseReading(bool pPaused);
    TChangeNotifyHub& Hub() { return fHub; }

private:
    class TReader;
    TChangeNotifyHub fHub;
    std::unique_ptr<TReader> fReader;
};

} // namespace kiv::pf::lnx

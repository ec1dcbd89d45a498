#include "LinuxChangeNotify.h"

#include "Handles.h"
#include "LinuxItems.h"
#include "LinuxNamespace.h"
#include "LinuxPlaces_p.h"
#include "LinuxTrash.h"
#include "MountTable.h"
#include "core/platform/IDebug.h"
#include "core/platform/KnownFolderIds.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <stop_token>
#include <string>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace kiv::pf::lnx {

namespace {

using TClock = std::chrono::steady_clock;

// What a watched folder reports. IN_ONLYDIR: a path that turned into a file meanwhile is not
// watched; IN_EXCL_UNLINK: entries deleted while open report nothing more.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                     IN_ONLYDIR | IN_EXCL_UNLINK;

// A registration's use of one watch: the folder lies pDepth levels below the watched item.
struct TUse
{
    std::uint32_t Registration = 0;
    int Depth = 0;
};

struct TWatch
{
    std::string Path;
    std::vector<TUse> Uses;
};

// What a folder that cannot be watched looked like at its last listing.
struct TEntryState
{
    bool Folder = false;
    std::int64_t Modified = 0; // nanoseconds
    std::int64_t Changed = 0;  // status change, nanoseconds
    std::int64_t Size = 0;
    bool operator==(const TEntryState&) const = default;
};
using TListing = std::map<std::string, TEntryState>;

struct TRescan
{
    std::string Path;
    int Depth = 0;
    TListing Last;
};

struct TRootEntry
{
    std::string Path; // empty: not watched at file-system level
    IdListBytes List;
    bool Recursive = false;
};

struct TRegistrationState
{
    std::vector<TRootEntry> Roots;
    int Watches = 0; // watches this registration added (shared ones counted by each)
    std::vector<TRescan> Rescans;
};

struct TScanJob
{
    std::uint32_t Registration = 0;
    std::string Path;
    int Depth = 0;
    // A folder that appeared while watched: what it holds was made before its watch existed
    // and is reported as created.
    bool Report = false;
};

struct TPendingMove
{
    std::uint32_t Cookie = 0;
    std::string Path;
    bool Folder = false;
    std::vector<std::uint32_t> Registrations;
    TClock::time_point Due;
};

struct TCommand
{
    enum class TKind
    {
        Add,
        Remove,
        Sync
    };
    TKind Kind = TKind::Sync;
    TChangeRegistration Registration;
    std::uint32_t Id = 0;
    std::uint64_t Sequence = 0;
};

std::int64_t Nanoseconds(const struct timespec& pTime)
{
    return static_cast<std::int64_t>(pTime.tv_sec) * 1000000000 + pTime.tv_nsec;
}

std::string JoinPath(const std::string& pFolder, std::string_view pName)
{
    std::string path = pFolder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += pName;
    return path;
}

bool IsAtOrBelow(std::string_view pAncestor, std::string_view pPath)
{
    return IsPathPrefix(pAncestor, pPath);
}

// The folder a path names, links resolved: a shortcut and its target share one watch, and
// events carry the folder's own path.
std::string RealPath(const std::string& pPath)
{
    char* resolved = ::realpath(pPath.c_str(), nullptr);
    if (!resolved)
        return pPath;
    std::string result(resolved);
    std::free(resolved); // NOLINT(cppcoreguidelines-owning-memory, cppcoreguidelines-no-malloc)
    return result;
}

TListing ListFolder(const std::string& pPath)
{
    TListing listing;
    TDir dir(::opendir(pPath.c_str()));
    if (!dir.Get())
        return listing;
    const int dirFd = ::dirfd(dir.Get());
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat status
        {
        };
        if (::fstatat(dirFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        listing.emplace(std::string(name),
                        TEntryState{S_ISDIR(status.st_mode), Nanoseconds(status.st_mtim),
                                    Nanoseconds(status.st_ctim),
                                    static_cast<std::int64_t>(status.st_size)});
    }
    return listing;
}

struct TFolderEntry
{
    std::string Path;
    bool Folder = false;
};

std::vector<TFolderEntry> Entries(const std::string& pPath)
{
    std::vector<TFolderEntry> result;
    TDir dir(::opendir(pPath.c_str()));
    if (!dir.Get())
        return result;
    const int dirFd = ::dirfd(dir.Get());
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat status
            {
            };
            folder = ::fstatat(dirFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISDIR(status.st_mode);
        }
        result.push_back({JoinPath(pPath, name), folder});
    }
    return result;
}

} // namespace

// ---- the reader thread -------------------------------------------------------------------------

class TLinuxChangeNotify::TReader
{
public:
    TReader(TChangeNotifyHub& pHub, IDebug& pDebug, const TChangeNotifyOptions& pOptions)
        : fHub(pHub)
        , fDebug(pDebug)
        , fOptions(pOptions)
        , fInotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        , fWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        fMounts = VisibleMounts();
        fMountGeneration = MountTableGeneration();
        fThread = std::jthread([this](std::stop_token pStop) { Run(pStop); });
    }

    ~TReader()
    {
        fThread.request_stop();
        WakeUp();
        fThread.join();
    }

    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;

    void Post(TCommand pCommand)
    {
        {
            const std::scoped_lock lock(fCommandLock);
            pCommand.Sequence = ++fPosted;
            fCommands.push_back(std::move(pCommand));
        }
        WakeUp();
    }

    bool WaitUntilIdle(std::chrono::milliseconds pTimeout)
    {
        Post(TCommand{});
        std::unique_lock lock(fCommandLock);
        const std::uint64_t wanted = fPosted;
        return fIdle.wait_for(lock, pTimeout, [&] { return fAcknowledged >= wanted; });
    }

    int WatchCount() const { return fWatchCount.load(); }

    int RescanCount(std::uint32_t pId) const
    {
        const std::scoped_lock lock(fCommandLock);
        const auto found = fRescanCounts.find(pId);
        return found == fRescanCounts.end() ? 0 : found->second;
    }

    void Pause(bool pPaused)
    {
        fPaused.store(pPaused);
        WakeUp();
    }

private:
    void WakeUp()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fWake.Get(), &one, sizeof one);
    }

    void Run(const std::stop_token& pStop)
    {
        auto nextMountPoll = TClock::now() + fOptions.MountPollInterval;
        auto nextRescan = TClock::now() + fOptions.RescanInterval;
        while (!pStop.stop_requested()) {
            const auto now = TClock::now();
            auto due = std::min(nextMountPoll, nextRescan);
            for (const TPendingMove& move : fMoves)
                due = std::min(due, move.Due);
            int timeout = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count());
            if (!fScans.empty())
                timeout = 0;
            timeout = std::clamp(timeout, 0, 60000);

            std::array<pollfd, 2> fds{{{fWake.Get(), POLLIN, 0}, {fInotify.Get(), POLLIN, 0}}};
            const nfds_t count = fPaused.load() || !fInotify.IsValid() ? 1 : 2;
            ::poll(fds.data(), count, timeout);
            if (fds[0].revents & POLLIN) {
                std::uint64_t value = 0;
                [[maybe_unused]] const ssize_t got = ::read(fWake.Get(), &value, sizeof value);
            }
            if (count == 2 && (fds[1].revents & POLLIN))
                ReadEvents();
            const std::uint64_t handled = RunCommands();
            RunScans();
            FlushMoves(false);
            if (TClock::now() >= nextRescan) {
                Rescan();
                nextRescan = TClock::now() + fOptions.RescanInterval;
            }
            if (TClock::now() >= nextMountPoll) {
                PollMounts();
                nextMountPoll = TClock::now() + fOptions.MountPollInterval;
            }
            if (fScans.empty())
                Acknowledge(handled);
        }
    }

    void Acknowledge(std::uint64_t pHandled)
    {
        {
            const std::scoped_lock lock(fCommandLock);
            fAcknowledged = std::max(fAcknowledged, pHandled);
            fRescanCounts.clear();
            for (const auto& [id, state] : fRegistrations)
                if (!state.Rescans.empty())
                    fRescanCounts[id] = static_cast<int>(state.Rescans.size());
        }
        fIdle.notify_all();
    }

    // ---- registrations ----

    std::uint64_t RunCommands()
    {
        std::deque<TCommand> commands;
        std::uint64_t last = 0;
        {
            const std::scoped_lock lock(fCommandLock);
            commands.swap(fCommands);
            last = fPosted;
        }
        for (TCommand& command : commands) {
            if (command.Kind == TCommand::TKind::Add)
                AddRegistration(command.Registration);
            else if (command.Kind == TCommand::TKind::Remove)
                RemoveRegistration(command.Id);
        }
        return last;
    }

    void AddRegistration(const TChangeRegistration& pRegistration)
    {
        TRegistrationState& state = fRegistrations[pRegistration.Id];
        const bool interrupt = (pRegistration.Sources & shcnrf::InterruptLevel) != 0;
        const bool recursiveSource = (pRegistration.Sources & shcnrf::RecursiveInterrupt) != 0;
        const std::vector<TMount> mounts = ReadMountTable();
        for (std::size_t i = 0; i < pRegistration.Entries.size(); ++i) {
            TRootEntry root;
            root.List = pRegistration.Entries[i].List;
            root.Recursive = pRegistration.Entries[i].Recursive && recursiveSource;
            // Virtual items (This PC, Network) get the shell-level and mount events only,
            // never an inotify tree over what lies below them.
            std::string path;
            if (interrupt && PathOfIdList(IdSpan(root.List), path) && !path.empty()) {
                const TMount* mount = MountContaining(mounts, path, false);
                if (!mount || mount->Drive != DriveType::Remote)
                    root.Path = RealPath(path);
            }
            state.Roots.push_back(root);
            if (root.Path.empty())
                continue;
            AddWatch(pRegistration.Id, root.Path, 0);
            if (root.Recursive && fOptions.MaxDepth > 0)
                fScans.push_back({pRegistration.Id, root.Path, 0});
        }
        if (!fTrashWatched && fHub.Concerns(pRegistration, IdSpan(TrashList()), QString()))
            WatchTrash();
    }

    void RemoveRegistration(std::uint32_t pId)
    {
        fRegistrations.erase(pId);
        for (auto it = fWatches.begin(); it != fWatches.end();) {
            std::erase_if(it->second.Uses,
                          [pId](const TUse& pUse) { return pUse.Registration == pId; });
            if (it->second.Uses.empty()) {
                ::inotify_rm_watch(fInotify.Get(), it->first);
                it = fWatches.erase(it);
            } else {
                ++it;
            }
        }
        std::erase_if(fScans, [pId](const TScanJob& pJob) { return pJob.Registration == pId; });
        fWatchCount.store(static_cast<int>(fWatches.size()));
    }

    void AddWatch(std::uint32_t pId, const std::string& pPath, int pDepth)
    {
        auto registration = fRegistrations.find(pId);
        if (registration == fRegistrations.end())
            return;
        TRegistrationState& state = registration->second;
        if (pDepth > 0 && (state.Watches >= fOptions.MaxWatchesPerRegistration ||
                           static_cast<int>(fWatches.size()) >= fOptions.MaxWatches))
            return;
        int wd = -1;
        int error = 0;
        if (fOptions.WatchBudget >= 0 &&
            static_cast<int>(fWatches.size()) >= fOptions.WatchBudget) {
            error = ENOSPC;
        } else {
            wd = ::inotify_add_watch(fInotify.Get(), pPath.c_str(), kWatchMask);
            error = wd < 0 ? errno : 0;
        }
        if (wd < 0) {
            if (error == ENOSPC)
                FallBackToRescan(state, pPath, pDepth);
            return;
        }
        TWatch& watch = fWatches[wd];
        if (watch.Path.empty())
            watch.Path = pPath;
        for (const TUse& use : watch.Uses)
            if (use.Registration == pId)
                return;
        watch.Uses.push_back({pId, pDepth});
        ++state.Watches;
        fWatchCount.store(static_cast<int>(fWatches.size()));
    }

    void FallBackToRescan(TRegistrationState& pState, const std::string& pPath, int pDepth)
    {
        if (!fReportedLimit) {
            fReportedLimit = true;
            fDebug.Write(
                QStringLiteral(
                    "Change notification: no more inotify watches (fs.inotify.max_user_watches "
                    "reached); folders that cannot be watched are listed again every %1 ms "
                    "instead.")
                    .arg(fOptions.RescanInterval.count()));
        }
        for (const TRescan& rescan : pState.Rescans)
            if (rescan.Path == pPath)
                return;
        pState.Rescans.push_back({pPath, pDepth, ListFolder(pPath)});
    }

    // Watches the sub-folders of recursive registrations a few folders at a time, so events
    // keep flowing while a big tree is being set up.
    void RunScans()
    {
        for (int done = 0; done < 32 && !fScans.empty(); ++done) {
            const TScanJob job = std::move(fScans.front());
            fScans.pop_front();
            if (!fRegistrations.contains(job.Registration))
                continue;
            const std::vector<std::uint32_t> target{job.Registration};
            for (const TFolderEntry& entry : Entries(job.Path)) {
                if (job.Report)
                    Send(target, entry.Folder ? shcne::MKDIR : shcne::CREATE, entry.Path,
                         entry.Folder);
                if (!entry.Folder || job.Depth + 1 > fOptions.MaxDepth)
                    continue;
                AddWatch(job.Registration, entry.Path, job.Depth + 1);
                if (job.Depth + 1 < fOptions.MaxDepth || job.Report)
                    fScans.push_back({job.Registration, entry.Path, job.Depth + 1, job.Report});
            }
        }
    }

    // ---- events ----

    void ReadEvents()
    {
        alignas(inotify_event) std::array<char, 65536> buffer{};
        for (;;) {
            const ssize_t got = ::read(fInotify.Get(), buffer.data(), buffer.size());
            if (got <= 0)
                return;
            for (ssize_t offset = 0; offset < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                Handle(*event);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            // Both halves of a move arrive in one read; what is left unpaired now is final
            // once its short window has passed.
            if (fTrashChanged) {
                fTrashChanged = false;
                fHub.Broadcast(shcne::UPDATEDIR, TrashList(), {}, false);
            }
        }
    }

    static IdListBytes TrashList()
    {
        return idl::FromItem(MakeClassItem(clsid::Trash, kOrderTrash));
    }

    // The trash folders' "files" and "info", watched once a registration is concerned with
    // Trash: any change there is a change of the Trash folder's listing.
    void WatchTrash()
    {
        fTrashWatched = true;
        for (const std::string& trash : TrashDirs()) {
            for (const char* part : {"/files", "/info"}) {
                const int wd = ::inotify_add_watch(fInotify.Get(), (trash + part).c_str(),
                                                   IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                                       IN_MOVED_TO | IN_CLOSE_WRITE | IN_ONLYDIR);
                if (wd >= 0)
                    fTrashWatches.insert(wd);
            }
        }
    }

    std::vector<std::uint32_t> Users(int pWd) const
    {
        std::vector<std::uint32_t> result;
        const auto found = fWatches.find(pWd);
        if (found == fWatches.end())
            return result;
        for (const TUse& use : found->second.Uses)
            if (std::find(result.begin(), result.end(), use.Registration) == result.end())
                result.push_back(use.Registration);
        return result;
    }

    void Send(const std::vector<std::uint32_t>& pTargets, std::uint32_t pEvent,
              const std::string& pPath, bool pFolder, const std::string& pPath2 = {})
    {
        IdListBytes list1;
        if (ParseAbsolutePath(pPath, list1, true, pFolder) != S_OK)
            return;
        IdListBytes list2;
        if (!pPath2.empty() && ParseAbsolutePath(pPath2, list2, true, pFolder) != S_OK)
            list2.clear();
        for (const std::uint32_t target : pTargets)
            fHub.Deliver(target, pEvent, list1, list2);
    }

    void Handle(const inotify_event& pEvent)
    {
        if (pEvent.mask & IN_Q_OVERFLOW) {
            Overflowed();
            return;
        }
        if (fTrashWatches.contains(pEvent.wd)) {
            if (pEvent.mask & IN_IGNORED)
                fTrashWatches.erase(pEvent.wd);
            else
                fTrashChanged = true;
            return;
        }
        const auto found = fWatches.find(pEvent.wd);
        if (found == fWatches.end())
            return;
        if (pEvent.mask & IN_IGNORED) {
            for (const TUse& use : found->second.Uses) {
                auto registration = fRegistrations.find(use.Registration);
                if (registration != fRegistrations.end())
                    --registration->second.Watches;
            }
            fWatches.erase(found);
            fWatchCount.store(static_cast<int>(fWatches.size()));
            return;
        }
        const std::string folder = found->second.Path;
        const bool isFolder = (pEvent.mask & IN_ISDIR) != 0;
        if (pEvent.len == 0 || pEvent.name[0] == 0) {
            HandleSelf(pEvent, found->second);
            return;
        }
        const std::string path = JoinPath(folder, pEvent.name);
        const std::vector<std::uint32_t> users = Users(pEvent.wd);
        if (pEvent.mask & IN_CREATE) {
            Send(users, isFolder ? shcne::MKDIR : shcne::CREATE, path, isFolder);
            if (isFolder)
                WatchNewFolder(pEvent.wd, path);
        } else if (pEvent.mask & IN_DELETE) {
            Send(users, isFolder ? shcne::RMDIR : shcne::DELETE, path, isFolder);
        } else if (pEvent.mask & IN_MOVED_FROM) {
            fMoves.push_back(
                {pEvent.cookie, path, isFolder, users, TClock::now() + fOptions.MovePairWindow});
        } else if (pEvent.mask & IN_MOVED_TO) {
            MovedIn(pEvent, path, isFolder, users);
        } else if (pEvent.mask & IN_CLOSE_WRITE) {
            Send(users, shcne::UPDATEITEM, path, false);
        } else if (pEvent.mask & IN_ATTRIB) {
            Send(users, shcne::ATTRIBUTES, path, isFolder);
        }
    }

    // Events of the watched folder itself.
    void HandleSelf(const inotify_event& pEvent, TWatch& pWatch)
    {
        std::vector<std::uint32_t> roots;
        for (const TUse& use : pWatch.Uses)
            if (use.Depth == 0)
                roots.push_back(use.Registration);
        if (pEvent.mask & IN_ATTRIB) {
            Send(roots, shcne::ATTRIBUTES, pWatch.Path, true);
            return;
        }
        if ((pEvent.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) == 0)
            return;
        // Where a moved folder went is not told: for its watchers it is gone from the place
        // they watch. The watch would report the moved folder under the old path, so it ends.
        Send(roots, shcne::RMDIR, pWatch.Path, true);
        if (pEvent.mask & IN_MOVE_SELF)
            ::inotify_rm_watch(fInotify.Get(), pEvent.wd);
    }

    void MovedIn(const inotify_event& pEvent, const std::string& pPath, bool pFolder,
                 std::vector<std::uint32_t> pUsers)
    {
        const auto from = std::find_if(fMoves.begin(), fMoves.end(), [&](const TPendingMove& m) {
            return m.Cookie == pEvent.cookie && pEvent.cookie != 0;
        });
        if (from == fMoves.end()) {
            Send(pUsers, pFolder ? shcne::MKDIR : shcne::CREATE, pPath, pFolder);
            if (pFolder)
                WatchNewFolder(pEvent.wd, pPath);
            return;
        }
        const TPendingMove move = *from;
        fMoves.erase(from);
        for (const std::uint32_t id : move.Registrations)
            if (std::find(pUsers.begin(), pUsers.end(), id) == pUsers.end())
                pUsers.push_back(id);
        Send(pUsers, pFolder ? shcne::RENAMEFOLDER : shcne::RENAMEITEM, move.Path, pFolder, pPath);
        if (pFolder)
            RenameWatches(move.Path, pPath);
    }

    // The watches below a renamed folder keep working; only their paths change.
    void RenameWatches(const std::string& pOld, const std::string& pNew)
    {
        for (auto& [wd, watch] : fWatches)
            if (IsAtOrBelow(pOld, watch.Path))
                watch.Path = pNew + watch.Path.substr(pOld.size());
    }

    // A folder that left every watched place: its watches would report under a stale path.
    void DropWatchesBelow(const std::string& pPath)
    {
        for (auto& [wd, watch] : fWatches)
            if (IsAtOrBelow(pPath, watch.Path))
                ::inotify_rm_watch(fInotify.Get(), wd); // IN_IGNORED forgets it
    }

    void FlushMoves(bool pAll)
    {
        const auto now = TClock::now();
        for (auto it = fMoves.begin(); it != fMoves.end();) {
            if (!pAll && it->Due > now) {
                ++it;
                continue;
            }
            Send(it->Registrations, it->Folder ? shcne::RMDIR : shcne::DELETE, it->Path,
                 it->Folder);
            if (it->Folder)
                DropWatchesBelow(it->Path);
            it = fMoves.erase(it);
        }
    }

    void WatchNewFolder(int pParentWd, const std::string& pPath)
    {
        const auto parent = fWatches.find(pParentWd);
        if (parent == fWatches.end())
            return;
        const std::vector<TUse> uses = parent->second.Uses;
        for (const TUse& use : uses) {
            const auto registration = fRegistrations.find(use.Registration);
            if (registration == fRegistrations.end() || !IsRecursiveUse(registration->second))
                continue;
            if (use.Depth + 1 > fOptions.MaxDepth)
                continue;
            AddWatch(use.Registration, pPath, use.Depth + 1);
            fScans.push_back({use.Registration, pPath, use.Depth + 1, true});
        }
    }

    static bool IsRecursiveUse(const TRegistrationState& pState)
    {
        return std::any_of(pState.Roots.begin(), pState.Roots.end(),
                           [](const TRootEntry& pRoot) { return pRoot.Recursive; });
    }

    // The kernel dropped events: every watched folder is to be looked at again.
    void Overflowed()
    {
        FlushMoves(true);
        for (const auto& [id, state] : fRegistrations)
            for (const TRootEntry& root : state.Roots)
                if (!root.Path.empty())
                    fHub.Deliver(id, shcne::UPDATEDIR, root.List);
    }

    // ---- folders that could not be watched ----

    void Rescan()
    {
        for (auto& [id, state] : fRegistrations) {
            for (TRescan& rescan : state.Rescans) {
                TListing now = ListFolder(rescan.Path);
                Compare(id, rescan, now);
                rescan.Last = std::move(now);
            }
        }
    }

    void Compare(std::uint32_t pId, const TRescan& pRescan, const TListing& pNow)
    {
        const std::vector<std::uint32_t> target{pId};
        for (const auto& [name, before] : pRescan.Last) {
            if (pNow.contains(name))
                continue;
            Send(target, before.Folder ? shcne::RMDIR : shcne::DELETE, JoinPath(pRescan.Path, name),
                 before.Folder);
        }
        for (const auto& [name, after] : pNow) {
            const std::string path = JoinPath(pRescan.Path, name);
            const auto before = pRescan.Last.find(name);
            if (before == pRescan.Last.end()) {
                Send(target, after.Folder ? shcne::MKDIR : shcne::CREATE, path, after.Folder);
                continue;
            }
            if (before->second == after)
                continue;
            if (before->second.Folder != after.Folder) {
                Send(target, before->second.Folder ? shcne::RMDIR : shcne::DELETE, path,
                     before->second.Folder);
                Send(target, after.Folder ? shcne::MKDIR : shcne::CREATE, path, after.Folder);
            } else if (before->second.Modified != after.Modified ||
                       before->second.Size != after.Size) {
                Send(target, after.Folder ? shcne::UPDATEDIR : shcne::UPDATEITEM, path,
                     after.Folder);
            } else {
                Send(target, shcne::ATTRIBUTES, path, after.Folder);
            }
        }
    }

    // ---- mounts ----

    void PollMounts()
    {
        const std::uint64_t generation = MountTableGeneration();
        if (generation == fMountGeneration)
            return;
        fMountGeneration = generation;
        std::vector<TMount> now = VisibleMounts();
        const auto contains = [](const std::vector<TMount>& pList, const TMount& pMount) {
            return std::any_of(pList.begin(), pList.end(),
                               [&](const TMount& m) { return m.Path == pMount.Path; });
        };
        for (const TMount& mount : fMounts)
            if (!contains(now, mount))
                Announce(mount, false);
        for (const TMount& mount : now)
            if (!contains(fMounts, mount))
                Announce(mount, true);
        fMounts = std::move(now);
    }

    void Announce(const TMount& pMount, bool pAdded)
    {
        const bool media = pMount.Drive == DriveType::Removable || pMount.Drive == DriveType::CdRom;
        std::uint32_t event = 0;
        if (pAdded)
            event = media ? shcne::MEDIAINSERTED : shcne::DRIVEADD;
        else
            event = media ? shcne::MEDIAREMOVED : shcne::DRIVEREMOVED;
        const IdListBytes list =
            idl::Append(IdSpan(ThisPcList()),
                        MakeMountItem(pMount.Path, MountFlags(pMount), MountLabel(pMount)));
        fHub.Broadcast(event, list, {}, false);
    }

    TChangeNotifyHub& fHub;
    IDebug& fDebug;
    const TChangeNotifyOptions fOptions;
    TFd fInotify;
    TFd fWake;
    std::atomic<bool> fPaused{false};
    std::atomic<int> fWatchCount{0};

    mutable std::mutex fCommandLock;
    std::condition_variable fIdle;
    std::deque<TCommand> fCommands;             // guarded by fCommandLock
    std::uint64_t fPosted = 0;                  // guarded by fCommandLock
    std::uint64_t fAcknowledged = 0;            // guarded by fCommandLock
    std::map<std::uint32_t, int> fRescanCounts; // guarded by fCommandLock

    // The reader thread's own state.
    std::unordered_map<int, TWatch> fWatches;
    std::map<std::uint32_t, TRegistrationState> fRegistrations;
    std::deque<TScanJob> fScans;
    std::vector<TPendingMove> fMoves;
    std::vector<TMount> fMounts;
    std::uint64_t fMountGeneration = 0;
    bool fReportedLimit = false;
    std::set<int> fTrashWatches;
    bool fTrashWatched = false;
    bool fTrashChanged = false;

    std::jthread fThread; // last: starts after everything it uses exists
};

// ---- the service -------------------------------------------------------------------------------

TLinuxChangeNotify::TLinuxChangeNotify(INamespace& pNamespace, IDebug& pDebug,
                                       const TChangeNotifyOptions& pOptions)
    : fHub(pNamespace)
    , fReader(std::make_unique<TReader>(fHub, pDebug, pOptions))
{
}

TLinuxChangeNotify::~TLinuxChangeNotify() = default;

std::uint32_t TLinuxChangeNotify::Register(std::weak_ptr<IChangeSink> pSink, std::uint32_t pSources,
                                           std::uint32_t pEventMask, std::uint32_t pMessage,
                                           const std::vector<ChangeNotifyEntry>& pEntries)
{
    if (pEntries.empty())
        return 0;
    const std::uint32_t id = fHub.Add(std::move(pSink), pSources, pEventMask, pMessage, pEntries);
    TCommand command;
    command.Kind = TCommand::TKind::Add;
    command.Registration = *fHub.Find(id);
    fReader->Post(std::move(command));
    return id;
}

bool TLinuxChangeNotify::Deregister(std::uint32_t pId)
{
    if (!fHub.Remove(pId))
        return false;
    TCommand command;
    command.Kind = TCommand::TKind::Remove;
    command.Id = pId;
    fReader->Post(std::move(command));
    return true;
}

void TLinuxChangeNotify::Notify(std::uint32_t pEvent, std::uint32_t /*pFlags*/,
                                const IdSpan* pList1, const IdSpan* pList2)
{
    // Delivery is always queued to the user-interface thread; the flush flags ask for no more.
    fHub.Broadcast(pEvent, pList1 ? pList1->ToBytes() : IdListBytes(),
                   pList2 ? pList2->ToBytes() : IdListBytes(), true);
}

bool TLinuxChangeNotify::WaitUntilIdle(std::chrono::milliseconds pTimeout)
{
    return fReader->WaitUntilIdle(pTimeout);
}

int TLinuxChangeNotify::WatchCount() const
{
    return fReader->WatchCount();
}

int TLinuxChangeNotify::RescanCount(std::uint32_t pId) const
{
    return fReader->RescanCount(pId);
}

void TLinuxChangeNotify::PauseReading(bool pPaused)
{
    fReader->Pause(pPaused);
}

} // namespace kiv::pf::lnx

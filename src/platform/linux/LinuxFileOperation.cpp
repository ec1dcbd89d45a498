#include "LinuxFileOperation.h"

#include "Errno.h"
#include "Handles.h"
#include "LinuxArchive.h"
#include "LinuxArchive_p.h"
#include "LinuxPlatform.h"
#include "LinuxTrash.h"
#include "LinuxZipFolder.h"
#include "MountTable.h"
#include "core/platform/FileNames.h"
#include "core/platform/IArchive.h"
#include "core/platform/IChangeNotify.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/SystemErrorTexts.h"
#include "core/platform/UiDispatcher.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

using namespace std::chrono_literals;

enum class TOpKind
{
    Copy,
    Move,
    Delete,
    Rename,
    New,
    // Item: the item whose properties change.
    Properties,
    // Item: the archive; Items: what goes into it; Attributes: the compression level.
    Zip,
    // Item: the archive; Folder: where its content goes.
    Unzip,
};

// One queued operation, paths as the system's bytes.
struct TQueued
{
    TOpKind Kind = TOpKind::Copy;
    std::string Item;
    std::string Folder;
    std::string Name;
    std::string Template;
    std::uint32_t Attributes = 0;
    std::vector<std::string> Items;
    std::shared_ptr<const std::vector<TPropertyChange>> Changes;
};

// What a tree looked like when the run looked at it: the entries a copy creates, with what it
// needs of their status.
struct TEntry
{
    std::string Name;
    struct stat Status
    {
    };
    // For a folder whose entries could not be listed: the errno value.
    int ListError = 0;
    std::vector<TEntry> Children;
};

// Lists the folder open as pDir into pEntry's children, each with its status taken within the
// folder (no walk of the whole path per entry). Children come in the order of their inode
// numbers, in which a local disk reads and creates them fastest.
int SnapshotFolder(TDir pDir, TEntry& pEntry, const std::stop_token& pStop)
{
    const int folderFd = ::dirfd(pDir.Get());
    for (;;) {
        if (pStop.stop_requested())
            return ECANCELED;
        errno = 0;
        const dirent* found = ::readdir(pDir.Get());
        if (!found) {
            pEntry.ListError = errno;
            break;
        }
        const std::string_view name(found->d_name);
        if (name == "." || name == "..")
            continue;
        TEntry child;
        child.Name = found->d_name;
        // A child gone meanwhile is left out; one that cannot be read is copied (and fails
        // with its own error then).
        if (::fstatat(folderFd, found->d_name, &child.Status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                pEntry.Children.push_back(std::move(child));
            continue;
        }
        if (S_ISDIR(child.Status.st_mode)) {
            const int fd = ::openat(folderFd, found->d_name,
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            TDir childDir(fd >= 0 ? ::fdopendir(fd) : nullptr);
            if (!childDir.IsValid()) {
                child.ListError = errno;
                if (fd >= 0)
                    ::close(fd);
            } else if (SnapshotFolder(std::move(childDir), child, pStop) == ECANCELED) {
                return ECANCELED;
            }
        }
        pEntry.Children.push_back(std::move(child));
    }
    std::sort(pEntry.Children.begin(), pEntry.Children.end(),
              [](const TEntry& pA, const TEntry& pB) {
                  return pA.Status.st_ino < pB.Status.st_ino;
              });
    return 0;
}

int Snapshot(const std::string& pPath, TEntry& pEntry, const std::stop_token& pStop)
{
    if (::lstat(pPath.c_str(), &pEntry.Status) != 0)
        return errno;
    if (!S_ISDIR(pEntry.Status.st_mode))
        return 0;
    TDir dir(::opendir(pPath.c_str()));
    if (!dir.IsValid()) {
        pEntry.ListError = errno;
        return 0;
    }
    return SnapshotFolder(std::move(dir), pEntry, pStop);
}

struct TTotals
{
    std::uint64_t Items = 0;
    std::uint64_t Bytes = 0;
};

// A source that is an entry of a ZIP archive ("/a/b.zip/dir/x.txt"): copied out by extracting
// it next to its destination and moving it in.
struct TArchiveSource
{
    std::string Archive;
    std::string Entry;
    TTotals Totals;
};

std::optional<TArchiveSource> ArchiveSourceOf(const std::string& pPath)
{
    TArchiveSource source;
    if (!SplitArchivePath(pPath, source.Archive, source.Entry))
        return std::nullopt;
    std::unique_ptr<TZipIndex> index;
    if (Succeeded(TZipIndex::Open(source.Archive, index)))
        index->Measure(source.Entry, source.Totals.Items, source.Totals.Bytes);
    return source;
}

void AddTotals(const TEntry& pEntry, TTotals& pTotals)
{
    ++pTotals.Items;
    if (S_ISREG(pEntry.Status.st_mode))
        pTotals.Bytes += static_cast<std::uint64_t>(pEntry.Status.st_size);
    for (const TEntry& child : pEntry.Children)
        AddTotals(child, pTotals);
}

std::string FolderOf(const std::string& pPath)
{
    const std::size_t slash = pPath.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : pPath.substr(0, slash);
}

std::string NameOf(const std::string& pPath)
{
    const std::size_t slash = pPath.rfind('/');
    return slash == std::string::npos ? pPath : pPath.substr(slash + 1);
}

std::string Join(const std::string& pFolder, const std::string& pName)
{
    return pFolder == "/" ? "/" + pName : pFolder + "/" + pName;
}

bool ValidName(const std::string& pName)
{
    return !pName.empty() && pName != "." && pName != ".." &&
           pName.find('/') == std::string::npos && pName.find('\0') == std::string::npos;
}

QString Text(const std::string& pBytes)
{
    return DecodeFileName(pBytes);
}

bool Newer(const struct stat& pA, const struct stat& pB)
{
    if (pA.st_mtim.tv_sec != pB.st_mtim.tv_sec)
        return pA.st_mtim.tv_sec > pB.st_mtim.tv_sec;
    return pA.st_mtim.tv_nsec > pB.st_mtim.tv_nsec;
}

// A failure of one step: an errno value or a system error code, and the path it concerns.
struct TFailure
{
    int Error = 0;
    std::uint32_t Win32 = 0;
    std::string Path;
    TMissing Missing = TMissing::File;
    // A result made elsewhere (the trash); wins over the two codes above.
    HResult Made = S_OK;

    bool Ok() const { return Error == 0 && Win32 == 0 && Succeeded(Made); }
    HResult Result() const
    {
        if (Failed(Made))
            return Made;
        return Win32 != 0 ? HResultFromWin32(Win32) : HResultFromErrno(Error, Missing);
    }
};

TFailure Errno(int pError, const std::string& pPath, TMissing pMissing = TMissing::File)
{
    return TFailure{pError, 0, pPath, pMissing};
}

TFailure Win32(std::uint32_t pCode, const std::string& pPath)
{
    return TFailure{0, pCode, pPath, TMissing::File};
}

TFailure Made(HResult pResult, const std::string& pPath)
{
    return TFailure{0, 0, pPath, TMissing::File, pResult};
}

// "name (2).ext": the first free number in pFolder. A leading dot does not start an extension.
std::string FreeName(const std::string& pFolder, const std::string& pName)
{
    const std::size_t dot = pName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? pName.substr(0, dot) : pName;
    const std::string extension = hasExtension ? pName.substr(dot) : std::string();
    for (int number = 2;; ++number) {
        const std::string candidate = stem + " (" + std::to_string(number) + ")" + extension;
        struct stat st
        {
        };
        if (::lstat(Join(pFolder, candidate).c_str(), &st) != 0 && errno == ENOENT)
            return candidate;
    }
}

enum class TDecision
{
    Replace,
    Skip,
    KeepBoth,
    Cancel,
    // Nobody to ask and no flag decides: the item fails with "file exists".
    Fail,
};

// The two folders a folder's entries are copied between, open for the time of it (-1 where
// one could not be opened: the entries then go by their whole paths).
struct TFolderPair
{
    TFd Source;
    TFd Target;
    // The target has no default ACL: files made there get the permissions asked for less the
    // creation mask.
    bool PlainModes = false;

    TCopyFolders Fds() const { return {Source.Get(), Target.Get()}; }
};

// One PerformOperations: runs on the engine's thread and is read by the caller after it ended.
class TRun
{
public:
    TRun(std::uint32_t pFlags, IFileOperationUiPtr pUi,
         std::vector<IFileOperationProgressSinkPtr> pSinks, std::stop_token pStop,
         std::shared_ptr<const TFileOpFaults> pFaults, std::shared_ptr<TPauseGate> pPause)
        : fFlags(pFlags)
        , fUi(std::move(pUi))
        , fSinks(std::move(pSinks))
        , fStop(std::move(pStop))
        , fFaults(std::move(pFaults))
        , fPause(std::move(pPause))
    {
    }

    HResult Execute(const std::vector<TQueued>& pQueue);
    bool Aborted() const { return fAborted; }
    std::vector<TFileOpError> TakeErrors() { return std::move(fErrors); }

private:
    // Also where a paused run waits: every item asks before it starts.
    bool Stopped()
    {
        if (!fPause->WaitWhilePaused(fStop) || fStop.stop_requested())
            fCancelled = true;
        return fCancelled || Failed(fSinkFailure);
    }
    HResult StopResult() const
    {
        return Failed(fSinkFailure) ? fSinkFailure : HResultFromWin32(win32::ERROR_CANCELLED);
    }

    // Calls every sink; false (and the run stops) when one fails.
    template <typename F> bool Notify(F pCall)
    {
        for (const IFileOperationProgressSinkPtr& sink : fSinks) {
            const HResult result = pCall(*sink);
            if (Failed(result)) {
                if (Succeeded(fSinkFailure))
                    fSinkFailure = result;
                return false;
            }
        }
        return true;
    }

    TErrorAction OnError(HResult pResult, const std::string& pPath);
    template <typename F> HResult Try(F pStep);
    TDecision Decide(const std::string& pSource, const struct stat& pSourceStatus,
                     const std::string& pTarget, const struct stat& pTargetStatus);

    HResult DoCopy(const TQueued& pOp, const std::optional<TEntry>& pSnapshot);
    HResult DoCopyFromArchive(const TQueued& pOp, const TArchiveSource& pSource);
    HResult TransferEntry(const TEntry& pEntry, const std::string& pSource,
                          const std::string& pFolder, const std::string& pName, bool pMove,
                          bool pFreshFolder = false, const TFolderPair* pFolders = nullptr);
    HResult TransferBody(const TEntry& pEntry, const std::string& pSource,
                         const std::string& pFolder, std::string& pName, bool pMove,
                         bool pFreshFolder, const TFolderPair* pFolders);
    HResult TransferFolder(const TEntry& pEntry, const std::string& pSource,
                           const std::string& pTarget, bool pMerge, bool pMove);
    HResult TransferFile(const TEntry& pEntry, const std::string& pSource,
                         const std::string& pTarget, TPlacement pPlacement, bool pMove,
                         const TFolderPair* pFolders);
    HResult TransferLink(const TEntry& pEntry, const std::string& pSource,
                         const std::string& pTarget, TPlacement pPlacement, bool pMove);
    HResult MoveEntry(const std::string& pSource, const std::string& pFolder,
                      const std::string& pName);
    HResult MoveBody(const std::string& pSource, const std::string& pFolder, std::string& pName);
    HResult DoDelete(const TQueued& pOp);
    HResult DoRename(const TQueued& pOp);
    HResult DoNew(const TQueued& pOp);
    HResult DoProperties(const TQueued& pOp);
    TFailure WriteProperties(const std::string& pPath,
                             const std::vector<TPropertyChange>& pChanges);
    HResult DoZip(const TQueued& pOp);
    HResult DoUnzip(const TQueued& pOp);
    TArchiveProgress ArchiveProgress();

    bool NeedsFlush(const std::string& pFolder);
    void AddBytes(std::uint64_t pBytes);
    void ItemDone();
    void Report(bool pForce);

    const std::uint32_t fFlags;
    const IFileOperationUiPtr fUi;
    const std::vector<IFileOperationProgressSinkPtr> fSinks;
    const std::stop_token fStop;
    const std::shared_ptr<const TFileOpFaults> fFaults;
    const std::shared_ptr<TPauseGate> fPause;

    bool fCancelled = false;
    bool fAborted = false;
    HResult fSinkFailure = S_OK;
    HResult fFirstFailure = S_OK;
    std::vector<TFileOpError> fErrors;
    std::optional<TConflictAction> fRemembered;
    // While an extracted archive entry moves in: its path in the staging folder and the path
    // through the archive that questions show instead.
    std::pair<std::string, std::string> fShownSource;
    std::map<std::string, bool> fFlushFolders;
    // Read at the first copy that can use it (ReadCreationMask).
    std::optional<int> fCreationMask;

    // Progress in work units (bytes plus one per item).
    std::uint64_t fUnitsTotal = 0;
    std::uint64_t fUnitsDone = 0;
    // Where the units of the operation in progress end.
    std::uint64_t fUnitsOpEnd = 0;
    TTotals fTotals;
    TTotals fDone;
    std::string fCurrent;
    std::chrono::steady_clock::time_point fLastSinkReport{};
    std::chrono::steady_clock::time_point fLastUiReport{};
};

TErrorAction TRun::OnError(HResult pResult, const std::string& pPath)
{
    TErrorAction action = TErrorAction::eaSkip;
    TFileOpError error{pResult, Text(pPath), SystemErrorText(static_cast<std::uint32_t>(pResult))};
    if (fUi && !(fFlags & fof::FOF_NOERRORUI))
        action = fUi->AskError(error);
    if (action == TErrorAction::eaRetry)
        return action;
    if (action == TErrorAction::eaCancel)
        fCancelled = true;
    if (Succeeded(fFirstFailure))
        fFirstFailure = pResult;
    fErrors.push_back(std::move(error));
    return action;
}

// Runs pStep until it succeeds or its failure is answered with skip or cancel.
template <typename F> HResult TRun::Try(F pStep)
{
    for (;;) {
        const TFailure failure = pStep();
        if (failure.Ok())
            return S_OK;
        if (failure.Error == ECANCELED && Stopped())
            return StopResult();
        const HResult result = failure.Result();
        if (OnError(result, failure.Path) == TErrorAction::eaRetry)
            continue;
        return Stopped() ? StopResult() : result;
    }
}

TDecision TRun::Decide(const std::string& pSource, const struct stat& pSourceStatus,
                       const std::string& pTarget, const struct stat& pTargetStatus)
{
    if (fFlags & fof::FOF_RENAMEONCOLLISION)
        return TDecision::KeepBoth;
    if (fFlags & fof::FOFX_KEEPNEWERFILE)
        return Newer(pSourceStatus, pTargetStatus) ? TDecision::Replace : TDecision::Skip;
    if (fFlags & fof::FOF_NOCONFIRMATION)
        return TDecision::Replace;
    TConflictAction action = TConflictAction::caSkip;
    if (fRemembered) {
        action = *fRemembered;
    } else if (fUi) {
        TFileConflict conflict;
        conflict.Source = Text(pSource);
        if (!fShownSource.first.empty() && IsPathPrefix(fShownSource.first, pSource))
            conflict.Source = Text(fShownSource.second + pSource.substr(fShownSource.first.size()));
        conflict.Target = Text(pTarget);
        conflict.SourceSize = static_cast<std::uint64_t>(pSourceStatus.st_size);
        conflict.TargetSize = static_cast<std::uint64_t>(pTargetStatus.st_size);
        conflict.SourceWriteTime =
            FileTime::FromUnix(pSourceStatus.st_mtim.tv_sec,
                               static_cast<std::uint32_t>(pSourceStatus.st_mtim.tv_nsec));
        conflict.TargetWriteTime =
            FileTime::FromUnix(pTargetStatus.st_mtim.tv_sec,
                               static_cast<std::uint32_t>(pTargetStatus.st_mtim.tv_nsec));
        conflict.SourceIsFolder = S_ISDIR(pSourceStatus.st_mode);
        conflict.TargetIsFolder = S_ISDIR(pTargetStatus.st_mode);
        const TConflictAnswer answer = fUi->AskConflict(conflict);
        action = answer.Action;
        if (answer.ApplyToAll && action != TConflictAction::caCancel)
            fRemembered = action;
    } else {
        return TDecision::Fail;
    }
    switch (action) {
    case TConflictAction::caReplace:
        return TDecision::Replace;
    case TConflictAction::caKeepBoth:
        return TDecision::KeepBoth;
    case TConflictAction::caCancel:
        fCancelled = true;
        return TDecision::Cancel;
    case TConflictAction::caSkip:
        break;
    }
    return TDecision::Skip;
}

bool TRun::NeedsFlush(const std::string& pFolder)
{
    const auto found = fFlushFolders.find(pFolder);
    if (found != fFlushFolders.end())
        return found->second;
    const std::vector<TMount> mounts = ReadMountTable();
    const TMount* mount = MountContaining(mounts, pFolder, false);
    const bool flush =
        mount && (mount->Drive == DriveType::Removable || mount->Drive == DriveType::Remote);
    fFlushFolders.emplace(pFolder, flush);
    return flush;
}

void TRun::AddBytes(std::uint64_t pBytes)
{
    fDone.Bytes += pBytes;
    fUnitsDone = std::min(fUnitsDone + pBytes, fUnitsOpEnd - 1);
    Report(false);
}

void TRun::ItemDone()
{
    ++fDone.Items;
    fUnitsDone = std::min(fUnitsDone + 1, fUnitsOpEnd - 1);
    Report(false);
}

void TRun::Report(bool pForce)
{
    const auto now = std::chrono::steady_clock::now();
    // 20 ms for the sinks, 100 ms for the user: often enough for a smooth bar, rarely enough
    // not to cost anything next to the copying.
    if (pForce || (fFaults && fFaults->ReportEveryStep) || now - fLastSinkReport >= 20ms) {
        fLastSinkReport = now;
        int shift = 0;
        while ((fUnitsTotal >> shift) > UINT32_MAX)
            ++shift;
        const auto total = static_cast<std::uint32_t>(fUnitsTotal >> shift);
        // Below the total until the work is complete, whatever the scaling rounds to.
        const std::uint32_t done =
            fUnitsDone >= fUnitsTotal
                ? total
                : std::min(static_cast<std::uint32_t>(fUnitsDone >> shift), total - 1);
        Notify(
            [&](IFileOperationProgressSink& pSink) { return pSink.UpdateProgress(total, done); });
    }
    if (fUi && !(fFlags & fof::FOF_SILENT) && (pForce || now - fLastUiReport >= 100ms)) {
        fLastUiReport = now;
        TFileOpProgress progress{fDone.Items, fTotals.Items, fDone.Bytes, fTotals.Bytes,
                                 Text(fCurrent)};
        fUi->ShowProgress(progress);
    }
}

HResult TRun::Execute(const std::vector<TQueued>& pQueue)
{
    if (!Notify([](IFileOperationProgressSink& pSink) { return pSink.StartOperations(); })) {
        fAborted = true;
        const HResult result = fSinkFailure;
        Notify([&](IFileOperationProgressSink& pSink) { return pSink.FinishOperations(result); });
        return result;
    }

    // The whole work first, so progress can be told as a share of it (and copies reuse what
    // the look found instead of listing every folder twice).
    std::vector<std::optional<TEntry>> snapshots(pQueue.size());
    std::vector<std::optional<TArchiveSource>> archived(pQueue.size());
    std::vector<std::uint64_t> units(pQueue.size(), 1);
    int deletions = 0;
    for (std::size_t i = 0; i < pQueue.size() && !Stopped(); ++i) {
        const TQueued& op = pQueue[i];
        if (op.Kind == TOpKind::Delete)
            ++deletions;
        if (op.Kind == TOpKind::Zip) {
            // What goes into the archive, as the look finds it now.
            TTotals totals;
            for (const std::string& item : op.Items) {
                TEntry entry;
                if (Snapshot(item, entry, fStop) == 0)
                    AddTotals(entry, totals);
            }
            fTotals.Items += totals.Items;
            fTotals.Bytes += totals.Bytes;
            units[i] = totals.Items + totals.Bytes + 1;
            continue;
        }
        if (op.Kind != TOpKind::Copy && op.Kind != TOpKind::Move) {
            // An archive to extract tells its size when it is opened (DoUnzip).
            if (op.Kind != TOpKind::Unzip)
                ++fTotals.Items;
            continue;
        }
        struct stat source
        {
        };
        struct stat folder
        {
        };
        // A move within one file system is a rename: one unit, nothing to look at.
        if (op.Kind == TOpKind::Move && ::lstat(op.Item.c_str(), &source) == 0 &&
            ::stat(op.Folder.c_str(), &folder) == 0 && source.st_dev == folder.st_dev) {
            ++fTotals.Items;
            continue;
        }
        TEntry entry;
        if (Snapshot(op.Item, entry, fStop) != 0) {
            if (op.Kind == TOpKind::Copy)
                archived[i] = ArchiveSourceOf(op.Item);
            if (archived[i]) {
                fTotals.Items += archived[i]->Totals.Items;
                fTotals.Bytes += archived[i]->Totals.Bytes;
                units[i] = std::max<std::uint64_t>(1, archived[i]->Totals.Items +
                                                          archived[i]->Totals.Bytes);
            } else {
                ++fTotals.Items;
            }
            continue;
        }
        TTotals totals;
        AddTotals(entry, totals);
        fTotals.Items += totals.Items;
        fTotals.Bytes += totals.Bytes;
        units[i] = totals.Items + totals.Bytes;
        if (op.Kind == TOpKind::Copy)
            snapshots[i] = std::move(entry);
    }
    for (const std::uint64_t unit : units)
        fUnitsTotal += unit;

    if (deletions > 0 && fUi && !(fFlags & fof::FOF_NOCONFIRMATION) && !Stopped() &&
        !fUi->ConfirmDelete(deletions, (fFlags & fof::FOF_ALLOWUNDO) != 0))
        fCancelled = true;

    for (std::size_t i = 0; i < pQueue.size() && !Stopped(); ++i) {
        const TQueued& op = pQueue[i];
        fUnitsOpEnd = fUnitsDone + units[i];
        fCurrent = op.Item;
        switch (op.Kind) {
        case TOpKind::Copy:
            if (archived[i])
                DoCopyFromArchive(op, *archived[i]);
            else
                DoCopy(op, snapshots[i]);
            break;
        case TOpKind::Move:
            MoveEntry(op.Item, op.Folder, op.Name.empty() ? NameOf(op.Item) : op.Name);
            break;
        case TOpKind::Delete:
            DoDelete(op);
            break;
        case TOpKind::Rename:
            DoRename(op);
            break;
        case TOpKind::New:
            DoNew(op);
            break;
        case TOpKind::Properties:
            DoProperties(op);
            break;
        case TOpKind::Zip:
            DoZip(op);
            break;
        case TOpKind::Unzip:
            DoUnzip(op);
            break;
        }
        if (Stopped())
            break;
        fUnitsDone = fUnitsOpEnd;
        Report(i + 1 == pQueue.size());
    }

    // What went to removable media or network shares is on them before the run reports back.
    for (const auto& [folder, flush] : fFlushFolders) {
        if (!flush)
            continue;
        const TFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.IsValid() && ::syncfs(fd.Get()) != 0 && !Stopped()) {
            const int error = errno;
            Try([&] { return Errno(error, folder); });
        }
    }

    fAborted = Stopped();
    const HResult result = fAborted ? StopResult() : fFirstFailure;
    Notify([&](IFileOperationProgressSink& pSink) { return pSink.FinishOperations(result); });
    return result;
}

HResult TRun::DoCopy(const TQueued& pOp, const std::optional<TEntry>& pSnapshot)
{
    const std::string name = pOp.Name.empty() ? NameOf(pOp.Item) : pOp.Name;
    if (!pSnapshot) {
        // The source could not be looked at: report why, in the sink's order.
        const QString item = Text(pOp.Item);
        const QString folder = Text(pOp.Folder);
        const QString newName = Text(name);
        if (!Notify([&](IFileOperationProgressSink& pSink) {
                return pSink.PreCopyItem(tsf::TSF_NORMAL, item, folder, newName);
            }))
            return fSinkFailure;
        const HResult result = Try([&] {
            struct stat st
            {
            };
            return ::lstat(pOp.Item.c_str(), &st) == 0 ? TFailure{} : Errno(errno, pOp.Item);
        });
        Notify([&](IFileOperationProgressSink& pSink) {
            return pSink.PostCopyItem(tsf::TSF_NORMAL, item, folder, newName, result, {});
        });
        return result;
    }
    // The copy of a folder into itself would never end.
    const std::string target = Join(pOp.Folder, name);
    if (S_ISDIR(pSnapshot->Status.st_mode) && target != pOp.Item && IsPathPrefix(pOp.Item, target))
        return Try([&] { return Win32(win32::ERROR_INVALID_PARAMETER, pOp.Folder); });
    return TransferEntry(*pSnapshot, pOp.Item, pOp.Folder, name, false);
}

HResult TRun::DoCopyFromArchive(const TQueued& pOp, const TArchiveSource& pSource)
{
    const std::string name = pOp.Name.empty() ? NameOf(pOp.Item) : pOp.Name;
    const QString item = Text(pOp.Item);
    const QString folder = Text(pOp.Folder);
    if (!Notify([&](IFileOperationProgressSink& pSink) {
            return pSink.PreCopyItem(tsf::TSF_NORMAL, item, folder, Text(name));
        }))
        return fSinkFailure;
    // Extracted whole into a hidden folder inside the destination first (nothing under a real
    // name until it is complete), then renamed in under the run's rules for what is there.
    std::string staging;
    std::string staged;
    HResult result = Try([&] {
        const HResult extracted =
            ExtractZipEntryToStaging(pSource.Archive, pSource.Entry, pOp.Folder, staging, staged);
        return Succeeded(extracted) ? TFailure{} : Made(extracted, pOp.Item);
    });
    std::string finalName = name;
    if (Succeeded(result)) {
        NeedsFlush(pOp.Folder);
        AddBytes(pSource.Totals.Bytes);
        fShownSource = {staged, pOp.Item};
        result = MoveBody(staged, pOp.Folder, finalName);
        fShownSource = {};
    }
    if (!staging.empty())
        RemoveTree(staging);
    const QString newItem =
        Succeeded(result) && result != kItemSkipped ? Text(Join(pOp.Folder, finalName)) : QString();
    Notify([&](IFileOperationProgressSink& pSink) {
        return pSink.PostCopyItem(tsf::TSF_NORMAL, item, folder, Text(finalName), result, newItem);
    });
    return result;
}

HResult TRun::TransferEntry(const TEntry& pEntry, const std::string& pSource,
                            const std::string& pFolder, const std::string& pName, bool pMove,
                            bool pFreshFolder, const TFolderPair* pFolders)
{
    if (Stopped())
        return StopResult();
    const QString item = Text(pSource);
    const QString folder = Text(pFolder);
    const QString name = Text(pName);
    if (!Notify([&](IFileOperationProgressSink& pSink) {
            return pMove ? pSink.PreMoveItem(tsf::TSF_NORMAL, item, folder, name)
                         : pSink.PreCopyItem(tsf::TSF_NORMAL, item, folder, name);
        }))
        return fSinkFailure;
    std::string finalName = pName;
    const HResult result =
        TransferBody(pEntry, pSource, pFolder, finalName, pMove, pFreshFolder, pFolders);
    const QString newName = Text(finalName);
    const QString newItem =
        Succeeded(result) && result != kItemSkipped ? Text(Join(pFolder, finalName)) : QString();
    Notify([&](IFileOperationProgressSink& pSink) {
        return pMove ? pSink.PostMoveItem(tsf::TSF_NORMAL, item, folder, newName, result, newItem)
                     : pSink.PostCopyItem(tsf::TSF_NORMAL, item, folder, newName, result, newItem);
    });
    return result;
}

HResult TRun::TransferBody(const TEntry& pEntry, const std::string& pSource,
                           const std::string& pFolder, std::string& pName, bool pMove,
                           bool pFreshFolder, const TFolderPair* pFolders)
{
    const bool folder = S_ISDIR(pEntry.Status.st_mode);
    TPlacement placement = TPlacement::plNew;
    bool merge = false;
    struct stat existing
    {
    };
    // In a folder this run has just made nothing can be in the way (and if something appeared
    // meanwhile, linking the copy in fails rather than replaces it).
    const bool present = !pFreshFolder && ::lstat(Join(pFolder, pName).c_str(), &existing) == 0;
    const int lookError = present || pFreshFolder ? 0 : errno;
    if (present) {
        if (folder && S_ISDIR(existing.st_mode) && !(fFlags & fof::FOF_RENAMEONCOLLISION)) {
            // Folders are merged: what is inside meets what is there entry by entry (unless
            // collisions are to keep both: then the copy is a folder of its own).
            merge = true;
        } else if (existing.st_dev == pEntry.Status.st_dev &&
                   existing.st_ino == pEntry.Status.st_ino) {
            // A copy onto itself can only keep both.
            pName = FreeName(pFolder, pName);
        } else {
            switch (Decide(pSource, pEntry.Status, Join(pFolder, pName), existing)) {
            case TDecision::Replace:
                // A folder never replaces a file nor a file a folder: that would throw away a
                // whole tree for one file.
                if (folder || S_ISDIR(existing.st_mode))
                    return Try(
                        [&] { return Win32(win32::ERROR_ALREADY_EXISTS, Join(pFolder, pName)); });
                placement = TPlacement::plReplace;
                break;
            case TDecision::Skip:
                ItemDone();
                return kItemSkipped;
            case TDecision::KeepBoth:
                pName = FreeName(pFolder, pName);
                break;
            case TDecision::Cancel:
                return StopResult();
            case TDecision::Fail:
                return Try([&] { return Win32(win32::ERROR_FILE_EXISTS, Join(pFolder, pName)); });
            }
        }
    } else if (lookError != 0 && lookError != ENOENT) {
        return Try([&] { return Errno(lookError, Join(pFolder, pName), TMissing::Path); });
    }
    const std::string target = Join(pFolder, pName);
    fCurrent = pSource;
    if (folder)
        return TransferFolder(pEntry, pSource, target, merge, pMove);
    if (S_ISLNK(pEntry.Status.st_mode))
        return TransferLink(pEntry, pSource, target, placement, pMove);
    if (S_ISREG(pEntry.Status.st_mode))
        return TransferFile(pEntry, pSource, target, placement, pMove, pFolders);
    // Devices, pipes and sockets are no data to copy.
    return Try([&] { return Win32(win32::ERROR_NOT_SUPPORTED, pSource); });
}

HResult TRun::TransferFolder(const TEntry& pEntry, const std::string& pSource,
                             const std::string& pTarget, bool pMerge, bool pMove)
{
    if (pEntry.ListError != 0) {
        const int error = pEntry.ListError;
        return Try([&] { return Errno(error, pSource, TMissing::Path); });
    }
    if (!pMerge) {
        // Writable for us until its entries are in; its own permissions come last.
        const HResult made = Try([&] {
            return ::mkdir(pTarget.c_str(), 0700) == 0 ? TFailure{}
                                                       : Errno(errno, pTarget, TMissing::Path);
        });
        if (Failed(made))
            return made;
    }
    ItemDone();
    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    TFolderPair folders;
    folders.Source.Reset(::open(pSource.c_str(), kFolderFlags));
    folders.Target.Reset(::open(pTarget.c_str(), kFolderFlags));
    folders.PlainModes =
        folders.Target.IsValid() &&
        ::fgetxattr(folders.Target.Get(), "system.posix_acl_default", nullptr, 0) < 0 &&
        (errno == ENODATA || errno == EOPNOTSUPP);
    bool complete = true;
    for (const TEntry& child : pEntry.Children) {
        if (Stopped())
            return StopResult();
        const HResult result = TransferEntry(child, Join(pSource, child.Name), pTarget, child.Name,
                                             pMove, !pMerge, &folders);
        complete = complete && result == S_OK;
    }
    if (Stopped())
        return StopResult();
    if (!pMerge) {
        const struct timespec times[2] = {pEntry.Status.st_atim, pEntry.Status.st_mtim};
        ::chmod(pTarget.c_str(), pEntry.Status.st_mode & 07777);
        ::utimensat(AT_FDCWD, pTarget.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    // A moved folder goes once everything in it has arrived; what was skipped or failed keeps
    // it (and itself) where it was.
    if (pMove && complete && ::rmdir(pSource.c_str()) != 0) {
        const int error = errno;
        if (error != ENOTEMPTY && error != EEXIST)
            return Try([&] { return Errno(error, pSource); });
    }
    return S_OK;
}

HResult TRun::TransferFile(const TEntry& pEntry, const std::string& pSource,
                           const std::string& pTarget, TPlacement pPlacement, bool pMove,
                           const TFolderPair* pFolders)
{
    TCopyControl control;
    control.Stop = fStop;
    control.Faults = fFaults.get();
    control.OnBytes = [this](std::uint64_t pBytes) { AddBytes(pBytes); };
    control.Flush = NeedsFlush(FolderOf(pTarget));
    control.Pause = fPause.get();
    if (pFolders && pFolders->PlainModes) {
        if (!fCreationMask)
            fCreationMask = ReadCreationMask();
        control.CreationMask = *fCreationMask;
    }
    const TCopyFolders folders = pFolders ? pFolders->Fds() : TCopyFolders{};
    TCopyResult copied;
    const std::uint64_t bytesBefore = fDone.Bytes;
    HResult result = Try([&] {
        // A retry starts the file again; the progress shows it.
        fDone.Bytes = bytesBefore;
        copied = CopyRegularFile(pSource, pTarget, pPlacement, control, folders);
        if (copied.Error == EEXIST && pPlacement == TPlacement::plNew)
            return Win32(win32::ERROR_FILE_EXISTS, pTarget);
        if (copied.Error == EBUSY && copied.AtSource)
            return Win32(win32::ERROR_SHARING_VIOLATION, pSource);
        return copied.Error == 0 ? TFailure{}
                                 : Errno(copied.Error, copied.AtSource ? pSource : pTarget,
                                         copied.AtSource ? TMissing::File : TMissing::Path);
    });
    if (Failed(result))
        return result;
    ItemDone();
    if (!pMove)
        return S_OK;
    // The source goes only when its copy is verifiably whole: the target holds as many bytes
    // and the same last-write time as the source had, and the source is still the file that
    // was copied.
    result = Try([&] {
        struct stat target
        {
        };
        struct stat source
        {
        };
        const struct stat& was = copied.Source;
        if (::lstat(pTarget.c_str(), &target) != 0)
            return Errno(errno, pTarget);
        if (::lstat(pSource.c_str(), &source) != 0)
            return Errno(errno, pSource);
        if (!S_ISREG(target.st_mode) || target.st_size != was.st_size ||
            target.st_mtim.tv_sec != was.st_mtim.tv_sec ||
            target.st_mtim.tv_nsec != was.st_mtim.tv_nsec || source.st_ino != was.st_ino ||
            source.st_dev != was.st_dev || source.st_size != was.st_size ||
            source.st_mtim.tv_sec != was.st_mtim.tv_sec ||
            source.st_mtim.tv_nsec != was.st_mtim.tv_nsec)
            return Win32(win32::ERROR_SHARING_VIOLATION, pSource);
        return ::unlink(pSource.c_str()) == 0 ? TFailure{} : Errno(errno, pSource);
    });
    (void)pEntry;
    return result;
}

HResult TRun::TransferLink(const TEntry& pEntry, const std::string& pSource,
                           const std::string& pTarget, TPlacement pPlacement, bool pMove)
{
    std::string linkTarget;
    HResult result = Try([&] {
        std::vector<char> buffer(static_cast<std::size_t>(pEntry.Status.st_size) + 2);
        for (;;) {
            const ssize_t n = ::readlink(pSource.c_str(), buffer.data(), buffer.size());
            if (n < 0)
                return Errno(errno, pSource);
            if (static_cast<std::size_t>(n) < buffer.size()) {
                linkTarget.assign(buffer.data(), static_cast<std::size_t>(n));
                return TFailure{};
            }
            buffer.resize(buffer.size() * 2);
        }
    });
    if (Failed(result))
        return result;
    result = Try([&] {
        if (pPlacement == TPlacement::plNew) {
            if (::symlink(linkTarget.c_str(), pTarget.c_str()) == 0)
                return TFailure{};
            return errno == EEXIST ? Win32(win32::ERROR_FILE_EXISTS, pTarget)
                                   : Errno(errno, pTarget, TMissing::Path);
        }
        const std::string temporary = TemporaryNameBeside(pTarget);
        if (::symlink(linkTarget.c_str(), temporary.c_str()) != 0)
            return Errno(errno, pTarget, TMissing::Path);
        if (::rename(temporary.c_str(), pTarget.c_str()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            return Errno(error, pTarget);
        }
        return TFailure{};
    });
    if (Failed(result))
        return result;
    const struct timespec times[2] = {pEntry.Status.st_atim, pEntry.Status.st_mtim};
    ::utimensat(AT_FDCWD, pTarget.c_str(), times, AT_SYMLINK_NOFOLLOW);
    ItemDone();
    if (!pMove)
        return S_OK;
    return Try([&] { return ::unlink(pSource.c_str()) == 0 ? TFailure{} : Errno(errno, pSource); });
}

HResult TRun::MoveEntry(const std::string& pSource, const std::string& pFolder,
                        const std::string& pName)
{
    if (Stopped())
        return StopResult();
    const QString item = Text(pSource);
    const QString folder = Text(pFolder);
    const QString name = Text(pName);
    if (!Notify([&](IFileOperationProgressSink& pSink) {
            return pSink.PreMoveItem(tsf::TSF_NORMAL, item, folder, name);
        }))
        return fSinkFailure;
    std::string finalName = pName;
    const HResult result = MoveBody(pSource, pFolder, finalName);
    const QString newName = Text(finalName);
    const QString newItem =
        Succeeded(result) && result != kItemSkipped ? Text(Join(pFolder, finalName)) : QString();
    Notify([&](IFileOperationProgressSink& pSink) {
        return pSink.PostMoveItem(tsf::TSF_NORMAL, item, folder, newName, result, newItem);
    });
    return result;
}

namespace {

// Writes a file's data to the disk (best effort: a failure leaves the rename's own ordering).
void FlushFileData(const std::string& pPath)
{
    const int fd = ::open(pPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::close(fd);
}

} // namespace

HResult TRun::MoveBody(const std::string& pSource, const std::string& pFolder, std::string& pName)
{
    struct stat source
    {
    };
    HResult result = Try([&] {
        return ::lstat(pSource.c_str(), &source) == 0 ? TFailure{} : Errno(errno, pSource);
    });
    if (Failed(result))
        return result;
    if (Join(pFolder, pName) == pSource)
        return S_OK;
    if (S_ISDIR(source.st_mode) && IsPathPrefix(pSource, Join(pFolder, pName)))
        return Try([&] { return Win32(win32::ERROR_INVALID_PARAMETER, pFolder); });
    bool replace = false;
    for (;;) {
        const std::string target = Join(pFolder, pName);
        int error = 0;
        if (replace) {
            // The old file goes only for content that is on the disk: a file just extracted or
            // written may still be in memory, and a crash after the rename would leave neither.
            if (S_ISREG(source.st_mode))
                FlushFileData(pSource);
            error = ::rename(pSource.c_str(), target.c_str()) == 0 ? 0 : errno;
        } else if (::renameat2(AT_FDCWD, pSource.c_str(), AT_FDCWD, target.c_str(),
                               RENAME_NOREPLACE) != 0)
            error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // The file system cannot refuse to replace in one step: look first.
            struct stat st
            {
            };
            if (::lstat(target.c_str(), &st) == 0)
                error = EEXIST;
            else
                error = ::rename(pSource.c_str(), target.c_str()) == 0 ? 0 : errno;
        }
        if (error == 0) {
            ItemDone();
            AnnounceChange(S_ISDIR(source.st_mode) ? shcne::RENAMEFOLDER : shcne::RENAMEITEM,
                           pSource, S_ISDIR(source.st_mode), target);
            return S_OK;
        }
        if (error == EXDEV) {
            // Another file system: copy, verify, and only then remove what was copied.
            TEntry entry;
            const int snapError = Snapshot(pSource, entry, fStop);
            if (snapError == ECANCELED)
                return StopResult();
            if (snapError != 0)
                return Try([&] { return Errno(snapError, pSource); });
            entry.Name = pName;
            return TransferBody(entry, pSource, pFolder, pName, true, false, nullptr);
        }
        if (error != EEXIST && error != ENOTEMPTY) {
            result = Try([&] { return Errno(error, target, TMissing::Path); });
            if (Failed(result))
                return result;
            continue;
        }
        struct stat existing
        {
        };
        if (::lstat(target.c_str(), &existing) != 0)
            continue;
        if (S_ISDIR(source.st_mode) && S_ISDIR(existing.st_mode) &&
            !(fFlags & fof::FOF_RENAMEONCOLLISION)) {
            // Merge: each entry moves on its own; the folder goes when it is empty.
            std::vector<std::string> names;
            {
                TDir dir(::opendir(pSource.c_str()));
                if (!dir.IsValid()) {
                    const int failure = errno;
                    return Try([&] { return Errno(failure, pSource, TMissing::Path); });
                }
                while (const dirent* found = ::readdir(dir.Get())) {
                    const std::string_view child(found->d_name);
                    if (child != "." && child != "..")
                        names.emplace_back(child);
                }
            }
            for (const std::string& child : names) {
                if (Stopped())
                    return StopResult();
                MoveEntry(Join(pSource, child), target, child);
            }
            if (Stopped())
                return StopResult();
            ::rmdir(pSource.c_str());
            ItemDone();
            return S_OK;
        }
        if (existing.st_dev == source.st_dev && existing.st_ino == source.st_ino) {
            // Two names of one file: a rename between them would do nothing.
            pName = FreeName(pFolder, pName);
            continue;
        }
        switch (Decide(pSource, source, target, existing)) {
        case TDecision::Replace:
            if (S_ISDIR(source.st_mode) || S_ISDIR(existing.st_mode))
                return Try([&] { return Win32(win32::ERROR_ALREADY_EXISTS, target); });
            replace = true;
            break;
        case TDecision::Skip:
            ItemDone();
            return kItemSkipped;
        case TDecision::KeepBoth:
            pName = FreeName(pFolder, pName);
            break;
        case TDecision::Cancel:
            return StopResult();
        case TDecision::Fail:
            return Try([&] { return Win32(win32::ERROR_FILE_EXISTS, target); });
        }
    }
}

HResult TRun::DoDelete(const TQueued& pOp)
{
    const bool toTrash = (fFlags & fof::FOF_ALLOWUNDO) != 0;
    const std::uint32_t flags = toTrash ? tsf::TSF_DELETE_RECYCLE_IF_POSSIBLE : tsf::TSF_NORMAL;
    const QString item = Text(pOp.Item);
    if (!Notify(
            [&](IFileOperationProgressSink& pSink) { return pSink.PreDeleteItem(flags, item); }))
        return fSinkFailure;
    struct stat st
    {
    };
    const bool folder = ::lstat(pOp.Item.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    std::string trashed;
    bool permanent = !toTrash;
    bool declined = false;
    HResult result = Try([&] {
        if (!permanent) {
            std::string trashDir;
            std::string name;
            bool noTrash = false;
            const HResult moved = MoveToTrash(pOp.Item, &trashDir, &name, &noTrash);
            if (Succeeded(moved)) {
                trashed = trashDir + "/files/" + name;
                return TFailure{};
            }
            // The volume has no trash: the user may delete for good instead; with nobody to
            // ask the item stays and fails, it is never deleted for good unasked.
            if (!noTrash || !fUi)
                return Made(moved, pOp.Item);
            if (!fUi->ConfirmPermanentDelete(Text(pOp.Item))) {
                declined = true;
                return TFailure{};
            }
            permanent = true;
        }
        std::string failedAt;
        const HResult removed = RemoveTree(pOp.Item, &failedAt);
        return Succeeded(removed) ? TFailure{} : Made(removed, failedAt);
    });
    if (declined) {
        result = kItemSkipped;
        ItemDone();
    } else if (Succeeded(result)) {
        ItemDone();
        AnnounceChange(folder ? shcne::RMDIR : shcne::DELETE, pOp.Item, folder);
    }
    const QString newItem = Text(trashed);
    Notify([&](IFileOperationProgressSink& pSink) {
        return pSink.PostDeleteItem(flags, item, result, newItem);
    });
    return result;
}

HResult TRun::DoRename(const TQueued& pOp)
{
    const QString item = Text(pOp.Item);
    std::string name = pOp.Name;
    const QString wanted = Text(name);
    if (!Notify([&](IFileOperationProgressSink& pSink) {
            return pSink.PreRenameItem(tsf::TSF_NORMAL, item, wanted);
        }))
        return fSinkFailure;
    const std::string folder = FolderOf(pOp.Item);
    HResult result = S_OK;
    if (!ValidName(name)) {
        result = Try([&] { return Win32(win32::ERROR_INVALID_NAME, Join(folder, name)); });
    } else {
        result = Try([&] {
            struct stat source
            {
            };
            if (::lstat(pOp.Item.c_str(), &source) != 0)
                return Errno(errno, pOp.Item);
            for (;;) {
                const std::string target = Join(folder, name);
                if (target == pOp.Item)
                    return TFailure{};
                struct stat existing
                {
                };
                // Only the letter case changes on a file system that ignores it: the "existing"
                // item is the item itself.
                const bool self = ::lstat(target.c_str(), &existing) == 0 &&
                                  existing.st_dev == source.st_dev &&
                                  existing.st_ino == source.st_ino;
                int error = 0;
                if (self)
                    error = ::rename(pOp.Item.c_str(), target.c_str()) == 0 ? 0 : errno;
                else if (::renameat2(AT_FDCWD, pOp.Item.c_str(), AT_FDCWD, target.c_str(),
                                     RENAME_NOREPLACE) != 0)
                    error = errno;
                if (error == EINVAL || error == ENOSYS)
                    error = ::lstat(target.c_str(), &existing) == 0
                                ? EEXIST
                                : (::rename(pOp.Item.c_str(), target.c_str()) == 0 ? 0 : errno);
                if (error == 0) {
                    AnnounceChange(S_ISDIR(source.st_mode) ? shcne::RENAMEFOLDER
                                                           : shcne::RENAMEITEM,
                                   pOp.Item, S_ISDIR(source.st_mode), target);
                    return TFailure{};
                }
                if (error != EEXIST && error != ENOTEMPTY)
                    return Errno(error, target);
                if (!(fFlags & fof::FOF_RENAMEONCOLLISION))
                    return Win32(win32::ERROR_ALREADY_EXISTS, target);
                name = FreeName(folder, name);
            }
        });
    }
    if (Succeeded(result))
        ItemDone();
    const QString newName = Text(name);
    const QString newItem = Succeeded(result) ? Text(Join(folder, name)) : QString();
    Notify([&](IFileOperationProgressSink& pSink) {
        return pSink.PostRenameItem(tsf::TSF_NORMAL, item, newName, result, newItem);
    });
    return result;
}

HResult TRun::DoNew(const TQueued& pOp)
{
    const QString folder = Text(pOp.Folder);
    std::string name = pOp.Name;
    const QString wanted = Text(name);
    if (!Notify([&](IFileOperationProgressSink& pSink) {
            return pSink.PreNewItem(tsf::TSF_NORMAL, folder, wanted);
        }))
        return fSinkFailure;
    const bool makeFolder = (pOp.Attributes & newitem::FILE_ATTRIBUTE_DIRECTORY) != 0;
    HResult result = S_OK;
    if (!ValidName(name)) {
        result = Try([&] { return Win32(win32::ERROR_INVALID_NAME, Join(pOp.Folder, name)); });
    } else {
        result = Try([&] {
            for (;;) {
                const std::string target = Join(pOp.Folder, name);
                int error = 0;
                if (makeFolder) {
                    error = ::mkdir(target.c_str(), 0777) == 0 ? 0 : errno;
                } else if (!pOp.Template.empty()) {
                    TCopyControl control;
                    control.Stop = fStop;
                    control.Faults = fFaults.get();
                    const TCopyResult copied =
                        CopyRegularFile(pOp.Template, target, TPlacement::plNew, control);
                    if (copied.Error != 0 && copied.Error != EEXIST)
                        return Errno(copied.Error, copied.AtSource ? pOp.Template : target);
                    error = copied.Error;
                } else {
                    const TFd fd(
                        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
                    error = fd.IsValid() ? 0 : errno;
                }
                if (error == 0) {
                    AnnounceChange(makeFolder ? shcne::MKDIR : shcne::CREATE, target, makeFolder);
                    return TFailure{};
                }
                if (error != EEXIST)
                    return Errno(error, target, TMissing::Path);
                if (!(fFlags & fof::FOF_RENAMEONCOLLISION))
                    return Win32(makeFolder ? win32::ERROR_ALREADY_EXISTS
                                            : win32::ERROR_FILE_EXISTS,
                                 target);
                name = FreeName(pOp.Folder, name);
            }
        });
    }
    if (Succeeded(result))
        ItemDone();
    const QString newName = Text(name);
    const QString templateName = Text(pOp.Template);
    const QString newItem = Succeeded(result) ? Text(Join(pOp.Folder, name)) : QString();
    Notify([&](IFileOperationProgressSink& pSink) {
        return pSink.PostNewItem(tsf::TSF_NORMAL, folder, newName, templateName, pOp.Attributes,
                                 result, newItem);
    });
    return result;
}

// A date property's value as the system's time; false for no time.
bool TimeOfValue(const PropVariant& pValue, struct timespec& pTime)
{
    const FileTime* time = std::get_if<FileTime>(&pValue);
    // Seconds from 1601 to 1970, in ticks of 100 ns.
    constexpr std::int64_t kEpochTicks = 11644473600ll * 10000000ll;
    if (!time || time->Ticks == 0 || time->Ticks > std::uint64_t(INT64_MAX))
        return false;
    const std::int64_t ticks = static_cast<std::int64_t>(time->Ticks) - kEpochTicks;
    std::int64_t seconds = ticks / 10000000;
    std::int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    pTime.tv_sec = static_cast<time_t>(seconds);
    pTime.tv_nsec = static_cast<long>(rest * 100);
    return true;
}

std::optional<std::uint32_t> NumberOfValue(const PropVariant& pValue)
{
    if (const auto* value = std::get_if<std::uint32_t>(&pValue))
        return *value;
    if (const auto* value = std::get_if<std::int32_t>(&pValue); value && *value >= 0)
        return static_cast<std::uint32_t>(*value);
    return std::nullopt;
}

TFailure TRun::WriteProperties(const std::string& pPath,
                               const std::vector<TPropertyChange>& pChanges)
{
    if (fFaults && fFaults->BeforeProperties) {
        if (const int error = fFaults->BeforeProperties(pPath); error != 0)
            return Errno(error, pPath);
    }
    struct stat st
    {
    };
    if (::lstat(pPath.c_str(), &st) != 0)
        return Errno(errno, pPath);
    struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    std::optional<mode_t> mode;
    for (const TPropertyChange& change : pChanges) {
        if (change.Key == pkey::DateModified || change.Key == pkey::DateAccessed) {
            if (!TimeOfValue(change.Value, times[change.Key == pkey::DateModified ? 1 : 0]))
                return Win32(win32::ERROR_INVALID_PARAMETER, pPath);
            continue;
        }
        if (change.Key != pkey::FileAttributes)
            return Win32(win32::ERROR_NOT_SUPPORTED, pPath);
        const std::optional<std::uint32_t> attributes = NumberOfValue(change.Value);
        if (!attributes)
            return Win32(win32::ERROR_INVALID_PARAMETER, pPath);
        // Hidden is the leading dot of the name here: no attribute can change it.
        const bool hidden = NameOf(pPath).starts_with('.');
        if (((*attributes & fileattr::HIDDEN) != 0) != hidden)
            return Win32(win32::ERROR_NOT_SUPPORTED, pPath);
        // Read-only is the write permission: taken from everyone, given back to the owner.
        const mode_t current = st.st_mode & 07777;
        const mode_t wanted = (*attributes & fileattr::READONLY)
                                  ? current & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)
                                  : current | S_IWUSR;
        if (wanted != current) {
            // A link has no permissions of its own to change.
            if (S_ISLNK(st.st_mode))
                return Win32(win32::ERROR_NOT_SUPPORTED, pPath);
            mode = wanted;
        }
    }
    if ((times[0].tv_nsec != UTIME_OMIT || times[1].tv_nsec != UTIME_OMIT) &&
        ::utimensat(AT_FDCWD, pPath.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return Errno(errno, pPath);
    if (mode && ::chmod(pPath.c_str(), *mode) != 0)
        return Errno(errno, pPath);
    return TFailure{};
}

HResult TRun::DoProperties(const TQueued& pOp)
{
    static const std::vector<TPropertyChange> kNone;
    const std::vector<TPropertyChange>& changes = pOp.Changes ? *pOp.Changes : kNone;
    const HResult result = Try([&] { return WriteProperties(pOp.Item, changes); });
    if (Succeeded(result)) {
        ItemDone();
        struct stat st
        {
        };
        const bool folder = ::lstat(pOp.Item.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        AnnounceChange(shcne::ATTRIBUTES, pOp.Item, folder);
    }
    return result;
}

// The archive service's reports turned into this run's progress.
TArchiveProgress TRun::ArchiveProgress()
{
    TArchiveProgress progress;
    progress.Stop = fStop;
    progress.OnBytes = [this](std::uint64_t pBytes) { AddBytes(pBytes); };
    progress.OnItem = [this] { ItemDone(); };
    return progress;
}

HResult TRun::DoZip(const TQueued& pOp)
{
    // An archive on removable media or a share is on it before the run reports back.
    (void)NeedsFlush(FolderOf(pOp.Item));
    const std::unique_ptr<IArchives> archives = CreateLinuxArchives();
    TArchiveProgress progress = ArchiveProgress();
    // A paused run waits between chunks as a copy does.
    progress.OnBytes = [this](std::uint64_t pBytes) {
        AddBytes(pBytes);
        (void)fPause->WaitWhilePaused(fStop);
    };
    QStringList items;
    for (const std::string& item : pOp.Items)
        items << Text(item);
    const TTotals before = fDone;
    const std::uint64_t unitsBefore = fUnitsDone;
    return Try([&] {
        // A retry writes the archive again from the start.
        fDone = before;
        fUnitsDone = unitsBefore;
        const HResult result =
            archives->Add(Text(pOp.Item), items, static_cast<int>(pOp.Attributes), &progress);
        if (result == HResultFromWin32(win32::ERROR_CANCELLED) && fStop.stop_requested())
            return Errno(ECANCELED, pOp.Item);
        return Succeeded(result) ? TFailure{} : Made(result, pOp.Item);
    });
}

HResult TRun::DoUnzip(const TQueued& pOp)
{
    (void)NeedsFlush(pOp.Folder);
    const std::unique_ptr<IArchives> archives = CreateLinuxArchives();
    TArchiveProgress progress = ArchiveProgress();
    const std::uint64_t unitsStart = fUnitsDone;
    progress.OnStart = [&](std::uint64_t pItems, std::uint64_t pBytes) {
        // The archive's own size replaces the one unit the look gave it (a retry counts once).
        const std::uint64_t units = pItems + pBytes + 1;
        fUnitsTotal = fUnitsTotal - (fUnitsOpEnd - unitsStart) + units;
        fUnitsOpEnd = unitsStart + units;
        fTotals.Items += pItems;
        fTotals.Bytes += pBytes;
        Report(true);
    };
    progress.OnBytes = [this](std::uint64_t pBytes) {
        AddBytes(pBytes);
        (void)fPause->WaitWhilePaused(fStop);
    };
    QString staging;
    QStringList items;
    const TTotals before = fDone;
    const TTotals totalsBefore = fTotals;
    HResult result = Try([&] {
        fDone = before;
        fTotals = totalsBefore;
        fUnitsDone = unitsStart;
        const HResult extracted =
            archives->ExtractToStaging(Text(pOp.Item), Text(pOp.Folder), staging, items, &progress);
        if (extracted == HResultFromWin32(win32::ERROR_CANCELLED) && fStop.stop_requested())
            return Errno(ECANCELED, pOp.Item);
        return Succeeded(extracted) ? TFailure{} : Made(extracted, pOp.Item);
    });
    if (Failed(result))
        return result;
    // Each extracted item moves in under the rules for what is there already: on the same file
    // system a rename, so an item arrives whole or not at all. What a cancel leaves in the
    // hidden folder goes with it.
    const std::uint64_t itemsDone = fDone.Items;
    for (const QString& item : items) {
        if (Stopped())
            break;
        const std::string path = EncodeFileName(item);
        const HResult moved = MoveEntry(path, pOp.Folder, NameOf(path));
        if (Failed(moved) && Succeeded(result))
            result = moved;
    }
    // The moves are not items of the archive.
    fDone.Items = itemsDone;
    archives->RemoveStaging(staging);
    return Stopped() ? StopResult() : result;
}

// Paths as the system takes them: absolute, without a trailing "/" (except the root).
std::string SystemPath(const QString& pPath)
{
    std::string path = EncodeFileName(pPath);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

class TLinuxFileOperation final : public IFileOperation
{
public:
    TLinuxFileOperation(std::shared_ptr<const TFileOpFaults> pFaults, IFileOperationUiPtr pUi)
        : fFaults(std::move(pFaults))
        , fUi(std::move(pUi))
    {
    }

    HResult Advise(IFileOperationProgressSinkPtr pSink, std::uint32_t& pCookie) override
    {
        if (!pSink)
            return E_INVALIDARG;
        pCookie = fNextCookie++;
        fSinks.emplace_back(pCookie, std::move(pSink));
        return S_OK;
    }
    HResult Unadvise(std::uint32_t pCookie) override
    {
        for (auto it = fSinks.begin(); it != fSinks.end(); ++it) {
            if (it->first == pCookie) {
                fSinks.erase(it);
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }
    HResult SetOperationFlags(std::uint32_t pFlags) override
    {
        fFlags = pFlags;
        return S_OK;
    }
    HResult SetOwnerWindow(WindowRef pOwner) override
    {
        fOwner = pOwner;
        return S_OK;
    }
    HResult SetUi(IFileOperationUiPtr pUi) override
    {
        fUi = std::move(pUi);
        return S_OK;
    }

    HResult CopyItem(const QString& pItem, const QString& pDestinationFolder,
                     const QString& pNewName) override
    {
        return Queue(TOpKind::Copy, pItem, pDestinationFolder, pNewName);
    }
    HResult CopyItems(const QStringList& pItems, const QString& pDestinationFolder) override
    {
        return QueueAll(TOpKind::Copy, pItems, pDestinationFolder, {});
    }
    HResult MoveItem(const QString& pItem, const QString& pDestinationFolder,
                     const QString& pNewName) override
    {
        return Queue(TOpKind::Move, pItem, pDestinationFolder, pNewName);
    }
    HResult MoveItems(const QStringList& pItems, const QString& pDestinationFolder) override
    {
        return QueueAll(TOpKind::Move, pItems, pDestinationFolder, {});
    }
    HResult DeleteItem(const QString& pItem) override
    {
        return Queue(TOpKind::Delete, pItem, {}, {});
    }
    HResult DeleteItems(const QStringList& pItems) override
    {
        return QueueAll(TOpKind::Delete, pItems, {}, {});
    }
    HResult RenameItem(const QString& pItem, const QString& pNewName) override
    {
        return Queue(TOpKind::Rename, pItem, {}, pNewName);
    }
    HResult RenameItems(const QStringList& pItems, const QString& pNewName) override
    {
        return QueueAll(TOpKind::Rename, pItems, {}, pNewName);
    }
    HResult NewItem(const QString& pDestinationFolder, std::uint32_t pAttributes,
                    const QString& pName, const QString& pTemplate) override
    {
        const std::string folder = SystemPath(pDestinationFolder);
        if (folder.empty() || folder[0] != '/')
            return E_INVALIDARG;
        TQueued op;
        op.Kind = TOpKind::New;
        op.Folder = folder;
        op.Name = EncodeFileName(pName);
        op.Attributes = pAttributes;
        op.Template = pTemplate.isEmpty() ? std::string() : SystemPath(pTemplate);
        fQueue.push_back(std::move(op));
        return S_OK;
    }
    HResult SetProperties(const std::vector<TPropertyChange>& pChanges) override
    {
        fChanges = std::make_shared<const std::vector<TPropertyChange>>(pChanges);
        return S_OK;
    }
    HResult ApplyPropertiesToItems(const QStringList& pItems) override
    {
        for (const QString& item : pItems) {
            const HResult result = Queue(TOpKind::Properties, item, {}, {});
            if (Failed(result))
                return result;
            fQueue.back().Changes = fChanges;
        }
        return S_OK;
    }
    HResult ZipItems(const QStringList& pItems, const QString& pArchive, int pLevel) override
    {
        TQueued op;
        op.Kind = TOpKind::Zip;
        op.Item = SystemPath(pArchive);
        if (op.Item.size() < 2 || op.Item[0] != '/' || pItems.isEmpty())
            return E_INVALIDARG;
        for (const QString& item : pItems) {
            std::string path = SystemPath(item);
            if (path.size() < 2 || path[0] != '/')
                return E_INVALIDARG;
            op.Items.push_back(std::move(path));
        }
        op.Attributes = static_cast<std::uint32_t>(std::clamp(pLevel, 0, 9));
        fQueue.push_back(std::move(op));
        return S_OK;
    }
    HResult ExtractItems(const QString& pArchive, const QString& pDestinationFolder) override
    {
        return Queue(TOpKind::Unzip, pArchive, pDestinationFolder, {});
    }

    HResult PerformOperations() override;

    HResult GetAnyOperationsAborted(bool& pAborted) override
    {
        pAborted = fAborted;
        return S_OK;
    }
    void Cancel() noexcept override
    {
        const std::scoped_lock lock(fStopLock);
        fStopSource.request_stop();
    }
    std::vector<TFileOpError> Errors() const override { return fErrors; }
    void SetPaused(bool pPaused) override { fPause->Set(pPaused); }

private:
    HResult Queue(TOpKind pKind, const QString& pItem, const QString& pFolder, const QString& pName)
    {
        TQueued op;
        op.Kind = pKind;
        op.Item = SystemPath(pItem);
        if (op.Item.size() < 2 || op.Item[0] != '/')
            return E_INVALIDARG;
        if (pKind == TOpKind::Copy || pKind == TOpKind::Move || pKind == TOpKind::Unzip) {
            op.Folder = SystemPath(pFolder);
            if (op.Folder.empty() || op.Folder[0] != '/')
                return E_INVALIDARG;
        }
        op.Name = EncodeFileName(pName);
        fQueue.push_back(std::move(op));
        return S_OK;
    }
    HResult QueueAll(TOpKind pKind, const QStringList& pItems, const QString& pFolder,
                     const QString& pName)
    {
        for (const QString& item : pItems) {
            const HResult result = Queue(pKind, item, pFolder, pName);
            if (Failed(result))
                return result;
        }
        return S_OK;
    }

    const std::shared_ptr<const TFileOpFaults> fFaults;
    const std::shared_ptr<TPauseGate> fPause = std::make_shared<TPauseGate>();
    IFileOperationUiPtr fUi;
    std::vector<std::pair<std::uint32_t, IFileOperationProgressSinkPtr>> fSinks;
    std::uint32_t fNextCookie = 1;
    std::uint32_t fFlags = 0;
    WindowRef fOwner = nullptr;
    std::vector<TQueued> fQueue;
    std::shared_ptr<const std::vector<TPropertyChange>> fChanges;
    bool fAborted = false;
    std::vector<TFileOpError> fErrors;
    std::mutex fStopLock;
    std::stop_source fStopSource; // guarded by fStopLock
};

// How a run's window describes it: the kind and places of its first operation.
TFileOpRunInfo RunInfoOf(const std::vector<TQueued>& pQueue, WindowRef pOwner, std::uint32_t pFlags)
{
    TFileOpRunInfo info;
    info.Owner = pOwner;
    info.Flags = pFlags;
    if (pQueue.empty())
        return info;
    const TQueued& first = pQueue.front();
    switch (first.Kind) {
    case TOpKind::Copy:
        info.Kind = TFileOpKind::fkCopy;
        break;
    case TOpKind::Move:
        info.Kind = TFileOpKind::fkMove;
        break;
    case TOpKind::Delete:
        info.Kind = TFileOpKind::fkDelete;
        break;
    case TOpKind::Rename:
        info.Kind = TFileOpKind::fkRename;
        break;
    case TOpKind::New:
        info.Kind = TFileOpKind::fkNew;
        break;
    case TOpKind::Properties:
        info.Kind = TFileOpKind::fkProperties;
        break;
    case TOpKind::Zip:
        info.Kind = TFileOpKind::fkZip;
        break;
    case TOpKind::Unzip:
        info.Kind = TFileOpKind::fkUnzip;
        break;
    }
    if (first.Kind == TOpKind::Zip) {
        info.Source = first.Items.empty() ? QString() : Text(FolderOf(first.Items.front()));
        info.Destination = Text(first.Item);
    } else if (first.Kind == TOpKind::New) {
        info.Destination = Text(first.Folder);
    } else {
        info.Source = Text(first.Kind == TOpKind::Unzip ? first.Item : FolderOf(first.Item));
        info.Destination = Text(first.Folder);
    }
    return info;
}

HResult TLinuxFileOperation::PerformOperations()
{
    std::stop_token stop;
    {
        const std::scoped_lock lock(fStopLock);
        // A cancel before the run cancels it; a later run starts afresh.
        if (!fStopSource.stop_requested() || fQueue.empty())
            fStopSource = std::stop_source();
        stop = fStopSource.get_token();
    }
    std::vector<IFileOperationProgressSinkPtr> sinks;
    for (const auto& [cookie, sink] : fSinks)
        sinks.push_back(sink);
    const std::vector<TQueued> queue = std::move(fQueue);
    fQueue.clear();
    // Without an owner window nobody is asked: the flags and the defaults decide. A user
    // interface may serve each run with one of its own (a progress window per run).
    IFileOperationUiPtr ui = fOwner ? fUi : nullptr;
    if (ui) {
        if (IFileOperationUiPtr own = ui->ForRun(RunInfoOf(queue, fOwner, fFlags)))
            ui = std::move(own);
    }
    TRun run(fFlags, ui, std::move(sinks), stop, fFaults, fPause);

    if (ui)
        ui->RunStarted(*this);
    HResult result = S_OK;
    std::atomic<bool> done{false};
    // The work never runs on the calling thread: that may be the user-interface thread, which
    // keeps serving its queue (questions to the user, progress) while it waits here.
    std::thread worker([&] {
        result = run.Execute(queue);
        done.store(true);
        WakeUi();
    });
    if (Ui().IsUiThread()) {
        // Like a modal dialog: queued calls run at once, repaints and input a few times a
        // second (50 ms keeps a progress bar smooth).
        while (!Ui().WaitFor([&] { return done.load(); }, 50ms))
            Ui().ProcessEvents();
    }
    worker.join();
    if (ui)
        ui->RunEnded(*this);
    fAborted = run.Aborted();
    fErrors = run.TakeErrors();
    {
        const std::scoped_lock lock(fStopLock);
        fStopSource = std::stop_source();
    }
    return result;
}

class TLinuxFileOps final : public IFileOps
{
public:
    IFileOperationPtr CreateFileOperation() override
    {
        return CreateLinuxFileOperation({}, DefaultUi());
    }
    void SetDefaultUi(IFileOperationUiPtr pUi) override
    {
        const std::scoped_lock lock(fLock);
        fUi = std::move(pUi);
    }
    IFileOperationUiPtr DefaultUi() const override
    {
        const std::scoped_lock lock(fLock);
        return fUi;
    }

private:
    mutable std::mutex fLock;
    IFileOperationUiPtr fUi; // guarded by fLock
};

} // namespace

std::unique_ptr<IFileOps> CreateLinuxFileOps()
{
    return std::make_unique<TLinuxFileOps>();
}

IFileOperationPtr CreateLinuxFileOperation(std::shared_ptr<const TFileOpFaults> pFaults,
                                           IFileOperationUiPtr pDefaultUi)
{
    return std::make_shared<TLinuxFileOperation>(std::move(pFaults), std::move(pDefaultUi));
}

} // namespace kiv::pf::lnx

#pragma once

// TKivSelectionList: the model behind the check boxes of the shell controls — the files and
// folders the user has checked, shared by every control of one shell link.
//
// A checked folder is one entry that stands for everything below it, however large. The list
// answers for any path whether it is checked (itself or through a checked ancestor), grayed (not
// checked, but something below it is) or unchecked; it merges a folder's entries into one entry
// for the folder once everything in it is checked, and splits a checked folder into entries for
// the rest when one item below it is unchecked. It keeps running totals of the size and the
// files and folders checked; a folder's totals are walked on the worker pool.
//
// To know when a folder is complete the list must know its children: the first check in a
// folder has them listed on the worker pool, and the folder merges once that listing is back
// (at once when it is back before the folder's last check, else when it arrives). Listing a
// large or remote folder is then no work for the user-interface thread.
//
// Ownership: the shell link creates and owns one (TKivShellLink::SelectionList); controls keep
// a pointer to it while they are linked.
//
// Threads: the questions (IsPathSelected, Paths, Count, the totals) may come from any thread:
// check-box work items ask them on the worker pool. Changes come from one thread at a time —
// the user-interface thread — under the write lock; that lock is re-entrant for the writer,
// so a change may ask its own questions. Events fire on the changing thread after the lock is
// released. Size deliveries arrive on the user-interface thread.
//
// Paths are identified as the host does: here names are case-sensitive, "/x/A" is not "/x/a".
// Entries are written in their entry form: a file as its path, a folder as its path followed
// by "/*".

#include "core/selection/PathNodeTable.h"
#include "core/selection/ReadWriteSync.h"
#include "core/shell/KivShellTypes.h"
#include "core/threading/ThreadingTypes.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kiv {

class TKivPathList;
class TKivShellLink;
class TKivFileWalk;

enum class TKivSelectionState
{
    ssUnused,
    // Cannot be checked: an empty or invalid path, one that does not exist, a virtual item.
    ssDisabled,
    // The path or one of its ancestor folders is an entry.
    ssChecked,
    ssUnChecked,
    // Not checked itself, but an entry lies below it.
    ssGrayed,
};

class TKivSelectionList
{
public:
    using TNotifyEvent = std::function<void(TKivSelectionList& pSender)>;
    using TInvalidPathEvent = std::function<void(TKivSelectionList& pSender, const QString& pPath)>;

    // After every change of the entries.
    TNotifyEvent OnChange;
    // A path to be checked names nothing that can be checked.
    TInvalidPathEvent OnInvalidPath;
    // The totals changed (a file was checked, or a folder's walk came back).
    TNotifyEvent OnCompletedCalculateFiles;

    // pParent: the link whose controls refresh their check boxes after a change (may be null).
    explicit TKivSelectionList(TKivShellLink* pParent = nullptr);
    // Cancels the walks still running.
    ~TKivSelectionList();
    TKivSelectionList(const TKivSelectionList&) = delete;
    TKivSelectionList& operator=(const TKivSelectionList&) = delete;

    // ---- changes (the user-interface thread) ----
    // Checks a file or folder. False when nothing changed (checked already, or invalid).
    bool AddPathToSelection(const QString& pFQPath);
    // Unchecks a file or folder; a path that no longer exists can still be unchecked.
    void RemovePathFromSelection(const QString& pFQPath);
    bool AddPIDLToSelection(const IItemIdListPtr& pList);
    void RemovePIDLFromSelection(const IItemIdListPtr& pList);
    // A file or folder was renamed: its entry and those below it follow it.
    void PathWasRenamed(const QString& pOldPath, const QString& pNewPath);
    // While an update is open (nesting), the link is not asked to refresh per change; closing
    // the last one refreshes the check boxes once when something changed.
    void BeginUpdate();
    void EndUpdate();
    void Clear();
    // Clears the list and checks every path (entry form or plain).
    void SetPaths(const QStringList& pPaths);
    // The entries of pSource, with the totals it knows.
    void Assign(const TKivSelectionList& pSource);
    std::unique_ptr<TKivSelectionList> CreateCopy() const;

    // Replaces the section with one key per entry (names escaped so that every path comes back
    // as it was: "%", "=", control characters, undecodable bytes, blanks at the ends). Returns
    // whether the file was written.
    bool SaveToIniFile(const QString& pFileName, const QString& pSection) const;
    // Clears the list and checks the paths of the section's keys. False when the file cannot be
    // read (a missing file gives an empty list and true).
    bool LoadFromIniFile(const QString& pFileName, const QString& pSection);

    // ---- questions (any thread) ----
    // Asks the file system whether the path exists and is a folder; ssDisabled when not.
    TKivSelectionState IsPathSelected(const QString& pPath) const;
    TKivSelectionState IsPathSelected(const QString& pPath, bool& pIsSubItemOf) const;
    // From the list's own path and folder flag, without asking the disk. The network folder is
    // grayed when a network path is checked, the computer folder when a local one is, both
    // disabled otherwise; other virtual items are disabled.
    TKivSelectionState IsPIDLSelected(const IItemIdListPtr& pList, bool& pIsSubItemOf) const;
    // The entry through which pPath is checked (itself or an ancestor folder, entry form);
    // empty when it is not checked.
    QString CompletePathSelected(const QString& pFQPath) const;
    IItemIdListPtr CompletePIDLSelected(const IItemIdListPtr& pList) const;

    QStringList Paths() const;
    // The entries, one per line.
    QString ToString() const;
    int Count() const;
    bool IsEmpty() const { return Count() == 0; }
    // The mount points of the checked paths.
    QStringList GetDifferentDrives() const;
    bool IsLocalPathSelected() const;
    bool IsUNCPathSelected() const;

    // Totals of what is checked; a folder adds its share when its walk comes back.
    std::uint64_t Size() const { return fSize.load(); }
    std::uint64_t FileCount() const { return fFileCount.load(); }
    std::uint64_t FolderCount() const { return fFolderCount.load(); }
    // Walks, and counts of a folder's children, not yet back.
    int PendingCalculations() const { return fPending.load(); }

    // ---- every file of the selection (the user-interface thread; touches the disk) ----
    // One file per call: the file entries first, then the files below each folder entry, depth
    // first. An empty text ends the walk and starts it again.
    QString FindNext();
    void ResetFindNext();
    // The whole walk at once; a walk of FindNext in progress keeps its position.
    std::unique_ptr<TKivPathList> GetListOfAllFiles() const;

    // ---- settings ----
    bool HandleShellLinks() const { return fHandleShellLinks; }
    void SetHandleShellLinks(bool pValue) { fHandleShellLinks = pValue; }
    bool CalculateSelectedFiles() const { return fCalculateSelectedFiles; }
    void SetCalculateSelectedFiles(bool pValue) { fCalculateSelectedFiles = pValue; }
    bool FollowReparsePoint() const { return fFollowReparsePoint; }
    void SetFollowReparsePoint(bool pValue) { fFollowReparsePoint = pValue; }
    bool RemoveInvalidPaths() const { return fRemoveInvalidPaths; }
    void SetRemoveInvalidPaths(bool pValue) { fRemoveInvalidPaths = pValue; }
    TKivShellLink* Parent() const { return fParent; }
    void SetParent(TKivShellLink* pParent) { fParent = pParent; }
    // The pool the walks run on; the global worker pool when none is set.
    void SetWorkerPool(IWorkerThreadPoolPtr pPool) { fPool = std::move(pPool); }

    // ---- helpers ----
    static TKivSelectionState BoolToSelectionState(bool pChecked)
    {
        return pChecked ? TKivSelectionState::ssChecked : TKivSelectionState::ssUnChecked;
    }
    // The folder above pPath ("/" for "/x"; empty for "/" and relative names).
    static QString GetParentPathFromPath(const QString& pPath);
    static bool IsFile(const QString& pPath);
    static bool IsFolder(const QString& pPath);
    static bool IsFolderToIgnore(const QString& pName) { return pName == u"." || pName == u".."; }
    static QString GetUnicodeAPICallPath(const QString& pPath);
    static bool ForceDirectories(const QString& pPath);
    // The key text of an entry in an INI section, and back.
    static QString EscapeIniKey(const QString& pEntry);
    static QString UnescapeIniKey(const QString& pKey);

private:
    struct TTotals
    {
        std::uint64_t Size = 0;
        std::uint64_t Files = 0;
        std::uint64_t Folders = 0;
    };
    struct TNode;
    struct TEntry
    {
        QString Path; // without the "/*" of a folder
        bool Folder = false;
        bool Known = false; // Totals hold the entry's share
        TTotals Totals;
        std::uint64_t Id = 0;         // ties a walk to its entry across renames
        ICancellationTokenPtr Cancel; // the entry's walk while it runs
        TNode* Node = nullptr;        // the entry's node while it is in the list
    };
    // A path made ready to be an entry.
    struct TNormal
    {
        QString Path;
        bool Folder = false;
        std::uint64_t Size = 0;
    };
    // What a change leaves to do once the lock is released.
    struct TWalk
    {
        std::uint64_t Id = 0;
        QString Path;
        ICancellationTokenPtr Cancel;
    };
    struct TListing
    {
        std::int64_t WriteTime = 0;
        std::int64_t ListedAt = 0; // when the listing was made (file time ticks)
        std::vector<std::pair<QString, bool>> Children; // name, is folder
    };
    using TListingPtr = std::shared_ptr<const TListing>;
    // A folder's children counted on a worker, for the check that comes first in the folder:
    // listing a folder (a network one, a large one) is no work for the user-interface thread.
    // Listing is written before Ready is set, and read once it is.
    struct TChildCount
    {
        std::atomic<bool> Ready{false};
        TListingPtr Listing; // null: the folder could not be listed
    };
    using TChildCountPtr = std::shared_ptr<TChildCount>;
    class TChildCountItem;
    struct TAftermath
    {
        bool Changed = false;
        // The path the controls refresh (empty: all of them).
        QString Main;
        bool TotalsChanged = false;
        std::vector<TWalk> Walks;
        // Folders to count, and counts come back whose listings are to be kept.
        struct TCount
        {
            QString Path;
            TChildCountPtr Count;
        };
        std::vector<TCount> Counts;
        std::vector<std::pair<QString, TListingPtr>> Listings;
    };
    using TEntries = std::map<QString, TEntry>;
    // A key with its hash, worked out once: a checked file's key is looked up, inserted and
    // later erased, and its folder's key looked up at every check below it.
    struct THashedKey
    {
        QStringView Text;
        std::size_t Hash = 0;
    };
    // The standard library's byte hash rather than Qt's seeded one (the keys are the user's own
    // paths), kept with each node so that no look-up or growth of the table works it out again.
    static std::size_t HashOf(QStringView pKey) noexcept
    {
        return std::hash<std::u16string_view>{}(
            std::u16string_view(pKey.utf16(), static_cast<std::size_t>(pKey.size())));
    }
    static THashedKey Hashed(QStringView pKey) noexcept { return THashedKey{pKey, HashOf(pKey)}; }
    // What the questions need of one path, found by one hash look-up: whether it is an entry,
    // and for a folder with entries below it, how many and how many of its children have a
    // share. A node lives while it is an entry or has entries below; its ancestors then have
    // entries below too, so they live as well and a node reaches them through Parent without
    // looking them up.
    struct TNode
    {
        enum class TKind : std::uint8_t
        {
            None,
            File,
            Folder,
        };
        TKind Entry = TKind::None;
        int Below = 0;   // entries below the folder
        int Covered = 0; // children of the folder that are entries or have entries below
        // Children of the folder when completion last listed it (-1: not listed): while fewer
        // have a share, the folder cannot be complete and checking below it skips the look.
        int Listed = -1;
        TNode* Parent = nullptr;
        // The folder's children being counted, from the first check in it (see TChildCount).
        TChildCountPtr Count;
        QString Key; // set by fNodes
        std::size_t Hash = 0;
    };
    // Completion's listings are few; their plain text hash is enough.
    struct TTextHash
    {
        using is_transparent = void;
        std::size_t operator()(QStringView pKey) const noexcept { return HashOf(pKey); }
    };
    struct TKeptListing
    {
        TListingPtr Listing;
        std::uint64_t LastUse = 0; // the listings kept are those of use last
    };

    std::optional<TNormal> Normalize(const QString& pPath, bool pEntryForm) const;
    static QString EntryText(const TEntry& pEntry);
    static QString StripEntryForm(const QString& pPath);

    // pParent: the node of pKey's folder when pKey has none of its own (else null).
    TKivSelectionState StateLocked(THashedKey pKey, bool& pIsSubItemOf,
                                   QString* pCheckedBy = nullptr,
                                   const TNode** pParent = nullptr) const;
    bool AddNormal(const TNormal& pNormal, bool pFromCompletion);
    // pParent: the node of the entry's folder when known (the entry has no node yet); pKey:
    // the entry's key when the caller has it. Returns the entry's node.
    TNode* InsertLocked(TEntry pEntry, TAftermath& pAfter, TNode* pParent = nullptr,
                        const THashedKey* pKey = nullptr);
    // pAdjustCounts false: the caller changes the counts above the entry itself.
    TEntry EraseLocked(TEntries::iterator pAt, bool pCancel, TAftermath& pAfter,
                       bool pAdjustCounts = true);
    std::vector<TEntry> EraseBelowLocked(const QString& pKey, TAftermath& pAfter);
    void AdjustCountsLocked(TNode* pParent, int pDelta);
    const TNode* FindNodeLocked(THashedKey pKey) const;
    TNode* FindNodeLocked(THashedKey pKey);
    const TNode* FindNodeLocked(QStringView pKey) const { return FindNodeLocked(Hashed(pKey)); }
    TNode* FindNodeLocked(QStringView pKey) { return FindNodeLocked(Hashed(pKey)); }
    // The node of pKey, made (with its ancestors) when there is none.
    // pKeyText: pKey as a string to share, when the caller has one.
    TNode* ObtainNodeLocked(THashedKey pKey, const QString* pKeyText = nullptr);
    // Drops the node when it is neither an entry nor has entries below.
    void ReleaseNodeLocked(TNode* pNode);
    void AddTotalsLocked(const TTotals& pTotals, int pSign);
    TEntry MakeEntry(const TNormal& pNormal, TAftermath& pAfter);
    QStringList SnapshotPaths(bool pEntryForm) const;
    // SetPaths where the paths at the indexes of pPlain are plain paths, not entries.
    void SetEntries(const QStringList& pPaths, const QSet<qsizetype>& pPlain);
    void Finish(TAftermath& pAfter);
    void StartWalks(TAftermath& pAfter);
    void WalkDone(std::uint64_t pId, const TTotals& pTotals, bool pFound);
    void StartCounts(TAftermath& pAfter);
    void CountDone(const QString& pFolder, const TChildCountPtr& pCount);
    // The folder's count is back: its listing tells completion how many children it has.
    void AdoptCountLocked(TNode& pFolder, TAftermath& pAfter);
    void KeepListings(TAftermath& pAfter);
    void KeepListingLocked(const QString& pKey, TListingPtr pListing);

    // Completion: whether every child of pFolder is checked (empty folders never are).
    void Complete(const QString& pChecked);
    // Completion from pFolder upwards.
    void CompleteFrom(const QString& pFolder);
    bool FullyChecked(const QString& pFolder, int pDepth);
    // The children of a folder; pFresh: from the disk now, else possibly the listing kept from
    // before when the folder's write time has not changed.
    // pSettled: the listing answers for the folder as it is now (made now, or kept from a time
    // when the folder had not changed for a while and the folder is unchanged since).
    TListingPtr ListFolder(const QString& pFolder, bool pFresh, bool* pSettled = nullptr);
    // The folder's children from the disk now (any thread); null when it cannot be listed.
    static TListingPtr MakeListing(const QString& pFolder);
    static TListingPtr MakeListing(const QString& pFolder, std::int64_t pWriteTime);

    void SplitLocked(const QString& pPath, const QString& pAncestorKey,
                     const std::vector<TNormal>& pRest, TAftermath& pAfter);
    std::vector<TNormal> ListRest(const QString& pPath, const QString& pAncestor) const;

    TKivShellLink* fParent;
    mutable TReadWriteSync fLockObj;
    TEntries fEntries; // guarded by fLockObj
    // The entry inserted last, or end(): checks come folder by folder in name order, so the
    // next entry mostly goes right after it; guarded by fLockObj.
    TEntries::iterator fLastInserted = fEntries.end();
    TPathNodeTable<TNode> fNodes;               // guarded by fLockObj
    QHash<std::uint64_t, QString> fKeysById;    // entries whose walk runs; guarded by fLockObj
    std::uint64_t fNextId = 0;                  // guarded by fLockObj
    std::atomic<std::uint64_t> fSize{0};        // written under fLockObj
    std::atomic<std::uint64_t> fFileCount{0};   // written under fLockObj
    std::atomic<std::uint64_t> fFolderCount{0}; // written under fLockObj
    std::atomic<int> fPending{0};               // written under fLockObj

    std::mutex fListingLock;
    // Completion's folder listings; guarded by fListingLock.
    std::unordered_map<QString, TKeptListing, TTextHash, std::equal_to<>> fListings;
    std::uint64_t fListingUses = 0; // guarded by fListingLock

    int fIsUpdating = 0;
    bool fChangedWhileUpdating = false;
    bool fHandleShellLinks = true;
    bool fCalculateSelectedFiles = true;
    bool fFollowReparsePoint = false;
    bool fRemoveInvalidPaths = true;
    bool fDestroying = false;
    IWorkerThreadPoolPtr fPool;
    // Cancelled when the list goes, so that no count is delivered to it after.
    const ICancellationTokenPtr fCountsCancel;
    std::unique_ptr<TKivFileWalk> fFindWalk; // FindNext's position
};

} // namespace kiv

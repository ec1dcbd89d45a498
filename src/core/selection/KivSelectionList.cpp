#include "KivSelectionList.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/selection/FolderSizeWorkItem.h"
#include "core/selection/KivPathList.h"
#include "core/shell/IniDocument.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivShellLink.h"
#include "core/shell/PathUtils.h"
#include "core/threading/KivThreading.h"

#include <QSet>

#include <chrono>

namespace kiv {

namespace {

constexpr QChar kDelimiter = u'/';
// Folders whose listings completion keeps; it only ever needs the few around the last check
// and the folders above them.
constexpr std::size_t kKeptListings = 64;
// How long a folder must have been unchanged when it was listed for the listing to stand for
// it while its write time stays the same. A name added after the listing moves the write time
// to the time of the change, but only to the granularity of the file system's time stamps
// (2 seconds on FAT, a clock tick elsewhere): a listing made within that time of the last change
// could miss a name added in the same tick.
constexpr std::int64_t kSettledTicks = 2 * 10'000'000;
// How deep completion looks through unchecked subfolders, and FindNext descends through links.
constexpr int kMaxDepth = 256;

QString Key(const QString& pPath)
{
    return TKivPathList::PathKey(pPath);
}

// The folder above pPath as a view into it, as GetParentPathFromPath gives it.
QStringView ParentOf(QStringView pPath)
{
    const qsizetype slash = pPath.lastIndexOf(kDelimiter);
    if (slash < 0 || pPath == u"/")
        return {};
    return slash == 0 ? pPath.first(1) : pPath.first(slash);
}

// Now, in the file time unit of write times.
std::int64_t NowTicks()
{
    constexpr std::int64_t kEpochDifference = 11644473600; // seconds from 1601 to 1970
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>>(
            std::chrono::system_clock::now().time_since_epoch());
    return sinceEpoch.count() + kEpochDifference * 10'000'000;
}

QString Join(const QString& pFolder, const QString& pName)
{
    return pFolder == u"/" ? u'/' + pName : pFolder + kDelimiter + pName;
}

// The text that starts every key below a folder's key.
QString BelowPrefix(const QString& pKey)
{
    return pKey == u"/" ? pKey : pKey + kDelimiter;
}

bool ReadAll(const QString& pFileName, QByteArray& pBytes, pf::HResult& pResult)
{
    pf::IStreamPtr stream;
    pResult = pf::Platform().FileSystem().OpenRead(pFileName, stream);
    if (pf::Failed(pResult))
        return false;
    char buffer[65536];
    for (;;) {
        std::size_t read = 0;
        pResult = stream->Read(buffer, sizeof buffer, read);
        if (pf::Failed(pResult))
            return false;
        if (read == 0)
            return true;
        pBytes.append(buffer, static_cast<qsizetype>(read));
    }
}

bool IsMissing(pf::HResult pResult)
{
    return pResult == pf::HResultFromWin32(pf::win32::ERROR_FILE_NOT_FOUND) ||
           pResult == pf::HResultFromWin32(pf::win32::ERROR_PATH_NOT_FOUND);
}

} // namespace

// Every file of a set of entries, one at a time: the file entries, then the files below each
// folder entry, depth first, with one open listing per level (the stack).
class TKivFileWalk
{
public:
    TKivFileWalk(QStringList pFiles, QStringList pFolders, bool pFollowLinks)
        : fFiles(std::move(pFiles))
        , fFolders(std::move(pFolders))
        , fFollowLinks(pFollowLinks)
    {
    }

    QString Next()
    {
        if (fi < fFiles.size())
            return fFiles[fi++];
        for (;;) {
            if (fStack.empty()) {
                if (fNextFolder >= fFolders.size())
                    return {};
                Push(fFolders[fNextFolder++]);
                continue;
            }
            pf::FindData data;
            if (fStack.back().Handle->Next(data) != pf::S_OK) {
                fStack.pop_back();
                continue;
            }
            if (TKivSelectionList::IsFolderToIgnore(data.Name))
                continue;
            // Links are passed over unless followed: otherwise a file would come twice, or a
            // link to a folder above would never end.
            const QString path = Join(fStack.back().Path, data.Name);
            if ((data.Attributes & pf::fileattr::REPARSE_POINT) && !AdmitLink(path))
                continue;
            if (data.Attributes & pf::fileattr::DIRECTORY) {
                if (fStack.size() < kMaxDepth)
                    Push(path);
                continue;
            }
            return path;
        }
    }

private:
    struct TLevel
    {
        QString Path;
        std::unique_ptr<pf::IFindHandle> Handle;
    };
    using TKivStack = std::vector<TLevel>;

    // A followed link is walked unless its target lies inside the folder entry being walked
    // (its files come through their own path), contains it, or was walked before: so a walk
    // through links ends and gives each file once.
    bool AdmitLink(const QString& pLink)
    {
        if (!fFollowLinks)
            return false;
        QString target;
        if (pf::Failed(pf::Platform().FileSystem().ReadLink(pLink, target)) || target.isEmpty())
            return false;
        if (!TPathUtils::IsRooted(target))
            target = TPathUtils::Combine(TKivSelectionList::GetParentPathFromPath(pLink), target);
        target = TPathUtils::RemoveRelativeParts(target);
        const QString& root = fStack.front().Path;
        if (Key(target) == Key(root) || TKivPathList::IsSubPathOf(root, target) ||
            TKivPathList::IsSubPathOf(target, root))
            return false;
        const QString key = Key(target);
        if (fVisitedTargets.contains(key))
            return false;
        fVisitedTargets.insert(key);
        return true;
    }

    void Push(const QString& pFolder)
    {
        std::unique_ptr<pf::IFindHandle> handle;
        if (pf::Succeeded(pf::Platform().FileSystem().FindFirst(pFolder, handle)) && handle)
            fStack.push_back(TLevel{pFolder, std::move(handle)});
    }

    const QStringList fFiles;
    const QStringList fFolders;
    const bool fFollowLinks;
    qsizetype fi = 0;
    qsizetype fNextFolder = 0;
    TKivStack fStack;
    QSet<QString> fVisitedTargets;
};

// ---- construction ---------------------------------------------------------------------------

// Lists one folder for the first check in it; delivered on the user-interface thread unless the
// list went meanwhile.
class TKivSelectionList::TChildCountItem final : public TBasicWorkItem
{
public:
    TChildCountItem(QString pFolder, TChildCountPtr pCount, ICancellationIndicatorPtr pCancel)
        : TBasicWorkItem(std::move(pCancel))
        , fFolder(std::move(pFolder))
        , fCount(std::move(pCount))
    {
    }

    void DoWork() override
    {
        fCount->Listing = MakeListing(fFolder);
        fCount->Ready.store(true, std::memory_order_release);
    }

private:
    const QString fFolder;
    const TChildCountPtr fCount;
};

TKivSelectionList::TKivSelectionList(TKivShellLink* pParent)
    : fParent(pParent)
    , fCountsCancel(TCancellationToken::Create())
{
}

TKivSelectionList::~TKivSelectionList()
{
    fDestroying = true;
    fCountsCancel->Cancel();
    // A walk's delivery looks at its token before it runs, so none reaches a list that is gone.
    const TWriteLock lock(fLockObj);
    for (auto& [key, entry] : fEntries) {
        if (entry.Cancel)
            entry.Cancel->Cancel();
    }
}

// ---- paths ----------------------------------------------------------------------------------

QString TKivSelectionList::GetParentPathFromPath(const QString& pPath)
{
    const qsizetype slash = pPath.lastIndexOf(kDelimiter);
    if (slash < 0 || pPath == u"/")
        return {};
    if (slash == 0)
        return QStringLiteral("/");
    return pPath.left(slash);
}

QString TKivSelectionList::StripEntryForm(const QString& pPath)
{
    QString path = pPath;
    if (path.endsWith(u"/*"))
        path.chop(1);
    while (path.size() > 1 && path.endsWith(kDelimiter))
        path.chop(1);
    return path;
}

QString TKivSelectionList::EntryText(const TEntry& pEntry)
{
    if (!pEntry.Folder)
        return pEntry.Path;
    return pEntry.Path == u"/" ? QStringLiteral("/*") : pEntry.Path + QStringLiteral("/*");
}

bool TKivSelectionList::IsFile(const QString& pPath)
{
    const std::uint32_t attributes = pf::Platform().FileSystem().GetFileAttributes(pPath);
    return attributes != pf::fileattr::INVALID && (attributes & pf::fileattr::DIRECTORY) == 0;
}

bool TKivSelectionList::IsFolder(const QString& pPath)
{
    const std::uint32_t attributes = pf::Platform().FileSystem().GetFileAttributes(pPath);
    return attributes != pf::fileattr::INVALID && (attributes & pf::fileattr::DIRECTORY) != 0;
}

QString TKivSelectionList::GetUnicodeAPICallPath(const QString& pPath)
{
    return TPathUtils::GetUnicodeAPICallPath(pPath);
}

bool TKivSelectionList::ForceDirectories(const QString& pPath)
{
    return pf::Succeeded(pf::Platform().FileSystem().ForceDirectories(pPath));
}

std::optional<TKivSelectionList::TNormal> TKivSelectionList::Normalize(const QString& pPath,
                                                                       bool pEntryForm) const
{
    if (pPath.isEmpty() || pPath == u"." || pPath == u".." || !pPath.startsWith(kDelimiter))
        return std::nullopt;
    const auto probe = [](const QString& pCandidate, bool pMustBeFolder) -> std::optional<TNormal> {
        QString path = pCandidate;
        while (path.size() > 1 && path.endsWith(kDelimiter))
            path.chop(1);
        pf::FindData data;
        if (pf::Failed(pf::Platform().FileSystem().GetFindData(path, data)))
            return std::nullopt;
        const bool folder = (data.Attributes & pf::fileattr::DIRECTORY) != 0;
        if (pMustBeFolder && !folder)
            return std::nullopt;
        return TNormal{path, folder, folder ? 0 : data.Size};
    };
    const bool folderForm = pPath.endsWith(u"/*");
    // "x/*" is the folder x in an entry; from a control it is first the file named "*" when
    // there is one (names may be "*" here).
    if (folderForm && pEntryForm) {
        if (auto folder = probe(StripEntryForm(pPath), true))
            return folder;
    }
    if (auto item = probe(pPath, false))
        return item;
    if (folderForm && !pEntryForm)
        return probe(StripEntryForm(pPath), true);
    return std::nullopt;
}

// ---- state ----------------------------------------------------------------------------------

TKivSelectionState TKivSelectionList::StateLocked(THashedKey pKey, bool& pIsSubItemOf,
                                                  QString* pCheckedBy, const TNode** pParent) const
{
    pIsSubItemOf = false;
    if (pParent)
        *pParent = nullptr;
    if (fEntries.empty())
        return TKivSelectionState::ssUnChecked;
    // This runs for every check box shown and every path checked: a hash look-up or two, then
    // the nodes above through their Parent.
    const TNode* node = FindNodeLocked(pKey);
    if (node && node->Entry != TNode::TKind::None) {
        if (pCheckedBy)
            *pCheckedBy = EntryText(fEntries.at(node->Key));
        return TKivSelectionState::ssChecked;
    }
    const TNode* above = node ? node->Parent : nullptr;
    if (!node) {
        const QStringView folder = ParentOf(pKey.Text);
        if (!folder.isEmpty()) {
            above = FindNodeLocked(folder);
            if (pParent)
                *pParent = above;
        }
        for (QStringView up = ParentOf(folder); !up.isEmpty() && !above; up = ParentOf(up))
            above = FindNodeLocked(up);
    }
    for (; above; above = above->Parent) {
        if (above->Entry == TNode::TKind::Folder) {
            pIsSubItemOf = true;
            if (pCheckedBy)
                *pCheckedBy = EntryText(fEntries.at(above->Key));
            return TKivSelectionState::ssChecked;
        }
    }
    return node && node->Below > 0 ? TKivSelectionState::ssGrayed : TKivSelectionState::ssUnChecked;
}

TKivSelectionState TKivSelectionList::IsPathSelected(const QString& pPath) const
{
    bool isSubItemOf = false;
    return IsPathSelected(pPath, isSubItemOf);
}

TKivSelectionState TKivSelectionList::IsPathSelected(const QString& pPath, bool& pIsSubItemOf) const
{
    pIsSubItemOf = false;
    // The disk first, outside the lock: the writer never waits for a slow reader.
    const std::optional<TNormal> normal = Normalize(pPath, false);
    if (!normal)
        return TKivSelectionState::ssDisabled;
    const TReadLock lock(fLockObj);
    const QString key = Key(normal->Path);
    return StateLocked(Hashed(key), pIsSubItemOf);
}

TKivSelectionState TKivSelectionList::IsPIDLSelected(const IItemIdListPtr& pList,
                                                     bool& pIsSubItemOf) const
{
    pIsSubItemOf = false;
    if (!pList || pList->IsInvalid())
        return TKivSelectionState::ssDisabled;
    if (pList->IsSpecialFolder(TKivShellFolder::SF_NETWORK))
        return IsUNCPathSelected() ? TKivSelectionState::ssGrayed : TKivSelectionState::ssDisabled;
    if (pList->IsSpecialFolder(TKivShellFolder::SF_DRIVES))
        return IsLocalPathSelected() ? TKivSelectionState::ssGrayed
                                     : TKivSelectionState::ssDisabled;
    const QString path = pList->Path();
    if (path.isEmpty())
        return TKivSelectionState::ssDisabled;
    const TReadLock lock(fLockObj);
    const QString key = Key(StripEntryForm(path));
    return StateLocked(Hashed(key), pIsSubItemOf);
}

QString TKivSelectionList::CompletePathSelected(const QString& pFQPath) const
{
    const QString path = StripEntryForm(pFQPath);
    if (path.isEmpty())
        return {};
    bool isSubItemOf = false;
    QString checkedBy;
    const QString key = Key(path);
    const TReadLock lock(fLockObj);
    StateLocked(Hashed(key), isSubItemOf, &checkedBy);
    return checkedBy;
}

IItemIdListPtr TKivSelectionList::CompletePIDLSelected(const IItemIdListPtr& pList) const
{
    if (!pList || pList->IsInvalid() || pList->Path().isEmpty())
        return nullptr;
    const QString entry = CompletePathSelected(pList->Path());
    return entry.isEmpty() ? nullptr : TKivItemIdList::CreateSimpleIdList(StripEntryForm(entry));
}

// ---- bookkeeping under the write lock -------------------------------------------------------

const TKivSelectionList::TNode* TKivSelectionList::FindNodeLocked(THashedKey pKey) const
{
    return fNodes.Find(pKey.Text, pKey.Hash);
}

TKivSelectionList::TNode* TKivSelectionList::FindNodeLocked(THashedKey pKey)
{
    return fNodes.Find(pKey.Text, pKey.Hash);
}

TKivSelectionList::TNode* TKivSelectionList::ObtainNodeLocked(THashedKey pKey,
                                                              const QString* pKeyText)
{
    if (TNode* node = FindNodeLocked(pKey))
        return node;
    const QStringView up = ParentOf(pKey.Text);
    TNode* const parent = up.isEmpty() ? nullptr : ObtainNodeLocked(Hashed(up));
    // Nodes keep their place in the table (and so Parent stays good) while others come and go.
    TNode* const node =
        fNodes.TryEmplace(pKeyText ? *pKeyText : pKey.Text.toString(), pKey.Hash).first;
    node->Parent = parent;
    return node;
}

void TKivSelectionList::ReleaseNodeLocked(TNode* pNode)
{
    if (pNode->Entry == TNode::TKind::None && pNode->Below == 0)
        fNodes.Erase(pNode);
}

void TKivSelectionList::AdjustCountsLocked(TNode* pParent, int pDelta)
{
    // The entries themselves gain or lose their share in their folder (each is a child of its
    // own: nothing below an entry is one); a folder gains or loses one in its own folder when
    // its count of entries below leaves or reaches zero.
    int shareDelta = pDelta;
    for (TNode* node = pParent; node;) {
        TNode* const above = node->Parent;
        const int before = node->Below;
        node->Below += pDelta;
        node->Covered += shareDelta;
        shareDelta = before == 0 && node->Below > 0 ? 1 : before > 0 && node->Below == 0 ? -1 : 0;
        ReleaseNodeLocked(node);
        node = above;
    }
}

void TKivSelectionList::AddTotalsLocked(const TTotals& pTotals, int pSign)
{
    if (pSign > 0) {
        fSize += pTotals.Size;
        fFileCount += pTotals.Files;
        fFolderCount += pTotals.Folders;
    } else {
        fSize -= pTotals.Size;
        fFileCount -= pTotals.Files;
        fFolderCount -= pTotals.Folders;
    }
}

TKivSelectionList::TNode* TKivSelectionList::InsertLocked(TEntry pEntry, TAftermath& pAfter,
                                                          TNode* pParent, const THashedKey* pKey)
{
    const QString key = Key(pEntry.Path);
    const THashedKey hashed = pKey ? *pKey : Hashed(key);
    Q_ASSERT(hashed.Text == key);
    if (pEntry.Known) {
        AddTotalsLocked(pEntry.Totals, 1);
        pAfter.TotalsChanged = true;
    }
    // Only a running walk looks its entry up by id.
    if (pEntry.Cancel)
        fKeysById.insert(pEntry.Id, key);
    TNode* node = nullptr;
    if (pParent) {
        const auto [made, inserted] = fNodes.TryEmplace(key, hashed.Hash);
        node = made;
        if (inserted)
            node->Parent = pParent;
    } else {
        node = ObtainNodeLocked(hashed, &key);
    }
    node->Entry = pEntry.Folder ? TNode::TKind::Folder : TNode::TKind::File;
    AdjustCountsLocked(node->Parent, 1);
    pEntry.Node = node;
    // Right after the last entry when it sorts there: then the map need not be searched.
    const auto hint = fLastInserted == fEntries.end() ? fEntries.end() : std::next(fLastInserted);
    fLastInserted = fEntries.insert_or_assign(hint, key, std::move(pEntry));
    pAfter.Changed = true;
    return node;
}

TKivSelectionList::TEntry TKivSelectionList::EraseLocked(TEntries::iterator pAt, bool pCancel,
                                                         TAftermath& pAfter, bool pAdjustCounts)
{
    TEntry entry = std::move(pAt->second);
    if (pAt == fLastInserted)
        fLastInserted = fEntries.end();
    fEntries.erase(pAt);
    if (entry.Cancel)
        fKeysById.remove(entry.Id);
    if (TNode* const node = std::exchange(entry.Node, nullptr)) {
        TNode* const parent = node->Parent;
        node->Entry = TNode::TKind::None;
        ReleaseNodeLocked(node);
        if (pAdjustCounts)
            AdjustCountsLocked(parent, -1);
    }
    if (entry.Known) {
        AddTotalsLocked(entry.Totals, -1);
        pAfter.TotalsChanged = true;
    } else if (entry.Cancel && pCancel) {
        entry.Cancel->Cancel();
        entry.Cancel.reset();
        fPending.fetch_sub(1);
    }
    if (fEntries.empty()) {
        // Nothing is left to count, whatever was counted while counting was off.
        fSize = 0;
        fFileCount = 0;
        fFolderCount = 0;
    }
    pAfter.Changed = true;
    return entry;
}

std::vector<TKivSelectionList::TEntry> TKivSelectionList::EraseBelowLocked(const QString& pKey,
                                                                           TAftermath& pAfter)
{
    std::vector<TEntry> removed;
    const QString prefix = BelowPrefix(pKey);
    // Entries of one folder come together in name order: the counts of their folder and of
    // those above it change once per run of siblings rather than once per entry.
    TNode* folder = nullptr;
    int run = 0;
    auto at = fEntries.lower_bound(prefix);
    while (at != fEntries.end() && at->first.startsWith(prefix)) {
        const auto next = std::next(at);
        TNode* const parent = at->second.Node ? at->second.Node->Parent : nullptr;
        if (parent != folder && run > 0) {
            AdjustCountsLocked(folder, -run);
            run = 0;
        }
        folder = parent;
        ++run;
        removed.push_back(EraseLocked(at, true, pAfter, false));
        at = next;
    }
    if (run > 0)
        AdjustCountsLocked(folder, -run);
    return removed;
}

TKivSelectionList::TEntry TKivSelectionList::MakeEntry(const TNormal& pNormal, TAftermath& pAfter)
{
    TEntry entry;
    entry.Path = pNormal.Path;
    entry.Folder = pNormal.Folder;
    entry.Id = ++fNextId;
    if (!fCalculateSelectedFiles)
        return entry;
    if (!pNormal.Folder) {
        entry.Known = true;
        entry.Totals = TTotals{pNormal.Size, 1, 0};
        return entry;
    }
    entry.Cancel = TCancellationToken::Create();
    fPending.fetch_add(1);
    pAfter.Walks.push_back(TWalk{entry.Id, entry.Path, entry.Cancel});
    return entry;
}

// ---- changes --------------------------------------------------------------------------------

bool TKivSelectionList::AddPathToSelection(const QString& pFQPath)
{
    std::optional<TNormal> normal = Normalize(pFQPath, false);
    if (!normal) {
        if (OnInvalidPath)
            OnInvalidPath(*this, pFQPath);
        const QString kept = StripEntryForm(pFQPath);
        if (fRemoveInvalidPaths || kept.isEmpty())
            return false;
        // Kept as it was given (a share that is offline now); it adds nothing to the totals.
        normal = TNormal{kept, pFQPath.endsWith(u"/*"), 0};
    }
    return AddNormal(*normal, false);
}

bool TKivSelectionList::AddNormal(const TNormal& pNormal, bool pFromCompletion)
{
    TAftermath after;
    bool mayComplete = true;
    const QString key = Key(pNormal.Path);
    const THashedKey hashed = Hashed(key);
    {
        const TWriteLock lock(fLockObj);
        bool isSubItemOf = false;
        const TNode* parent = nullptr;
        const TKivSelectionState state = StateLocked(hashed, isSubItemOf, nullptr, &parent);
        if (state == TKivSelectionState::ssChecked)
            return false;
        std::vector<TEntry> removed;
        if (state == TKivSelectionState::ssGrayed)
            removed = EraseBelowLocked(key, after);

        // Completion found every child of the folder checked, so the entries it replaces are
        // the folder's whole content: their totals, the folder itself and the unchecked
        // folders between make the folder's totals, and nothing is walked again.
        const bool allKnown =
            std::all_of(removed.begin(), removed.end(), [](const TEntry& e) { return e.Known; });
        TEntry entry;
        if (pFromCompletion && pNormal.Folder && fCalculateSelectedFiles && allKnown) {
            entry.Path = pNormal.Path;
            entry.Folder = true;
            entry.Id = ++fNextId;
            entry.Known = true;
            QSet<QString> between;
            for (const TEntry& below : removed) {
                const QString belowKey = Key(below.Path);
                for (QStringView folder = ParentOf(belowKey); !folder.isEmpty() && folder != key;
                     folder = ParentOf(folder))
                    between.insert(folder.toString());
            }
            entry.Totals.Folders = 1 + static_cast<std::uint64_t>(between.size());
            for (const TEntry& below : removed) {
                entry.Totals.Size += below.Totals.Size;
                entry.Totals.Files += below.Totals.Files;
                entry.Totals.Folders += below.Totals.Folders;
            }
        } else {
            entry = MakeEntry(pNormal, after);
        }
        // The folder's node stays while nothing was erased on the way: then it is the new
        // entry's parent, and the entry's node needs no more look-ups (ours to change: the
        // lock is this thread's write lock).
        const TNode* node =
            InsertLocked(std::move(entry), after,
                         removed.empty() ? const_cast<TNode*>(parent) : nullptr, &hashed);
        after.Main = pNormal.Path;
        TNode* const folder = node->Parent;
        // The first check in a folder has its children counted on a worker; completion waits
        // for the count (it comes back here, or to the next check in the folder).
        bool counting = false;
        if (folder && folder->Listed < 0 && !pFromCompletion) {
            if (!folder->Count) {
                folder->Count = std::make_shared<TChildCount>();
                fPending.fetch_add(1);
                after.Counts.push_back({GetParentPathFromPath(pNormal.Path), folder->Count});
                counting = true;
            } else if (folder->Count->Ready.load(std::memory_order_acquire)) {
                AdoptCountLocked(*folder, after);
            } else {
                counting = true;
            }
        }
        // The folder had more children when last listed than have a share now: completion
        // would find it incomplete at its first look.
        mayComplete = !counting && (!folder || folder->Listed <= folder->Covered);
    }
    KeepListings(after);
    StartCounts(after);
    StartWalks(after);
    Finish(after);
    if (!pFromCompletion && mayComplete)
        Complete(pNormal.Path);
    return true;
}

bool TKivSelectionList::AddPIDLToSelection(const IItemIdListPtr& pList)
{
    if (!pList || pList->IsInvalid() || pList->Path().isEmpty())
        return false;
    return AddPathToSelection(pList->Path());
}

void TKivSelectionList::RemovePIDLFromSelection(const IItemIdListPtr& pList)
{
    if (pList && !pList->IsInvalid() && !pList->Path().isEmpty())
        RemovePathFromSelection(pList->Path());
}

void TKivSelectionList::RemovePathFromSelection(const QString& pFQPath)
{
    // A file named "*" is itself; otherwise "x/*" is the folder x. A path that is gone may
    // still be unchecked, so nothing else is asked of the disk here.
    QString path = pFQPath;
    if (!path.endsWith(u"/*") ||
        pf::Platform().FileSystem().GetFileAttributes(path) == pf::fileattr::INVALID)
        path = StripEntryForm(path);
    if (path.isEmpty())
        return;
    const QString key = Key(path);
    bool isSubItemOf = false;
    QString checkedBy;
    TKivSelectionState state;
    {
        const TReadLock lock(fLockObj);
        state = StateLocked(Hashed(key), isSubItemOf, &checkedBy);
    }
    if (state != TKivSelectionState::ssChecked && state != TKivSelectionState::ssGrayed)
        return;

    TAftermath after;
    if (state == TKivSelectionState::ssGrayed) {
        const TWriteLock lock(fLockObj);
        EraseBelowLocked(key, after);
    } else if (!isSubItemOf) {
        const TWriteLock lock(fLockObj);
        if (const auto found = fEntries.find(key); found != fEntries.end())
            EraseLocked(found, true, after);
    } else {
        // The checked ancestor is split: everything else below it becomes an entry. The
        // folders are listed first, without the lock.
        const QString ancestor = StripEntryForm(checkedBy);
        const std::vector<TNormal> rest = ListRest(path, ancestor);
        const TWriteLock lock(fLockObj);
        SplitLocked(path, Key(ancestor), rest, after);
    }
    after.Main = path;
    StartWalks(after);
    Finish(after);
}

std::vector<TKivSelectionList::TNormal> TKivSelectionList::ListRest(const QString& pPath,
                                                                    const QString& pAncestor) const
{
    std::vector<TNormal> rest;
    const QString ancestorKey = Key(pAncestor);
    QString skip = pPath;
    for (QString folder = GetParentPathFromPath(pPath); !folder.isEmpty();
         folder = GetParentPathFromPath(folder)) {
        std::unique_ptr<pf::IFindHandle> handle;
        if (pf::Succeeded(pf::Platform().FileSystem().FindFirst(folder, handle)) && handle) {
            const QString skipKey = Key(skip);
            pf::FindData data;
            while (handle->Next(data) == pf::S_OK) {
                if (IsFolderToIgnore(data.Name))
                    continue;
                const QString child = Join(folder, data.Name);
                if (Key(child) == skipKey)
                    continue;
                const bool isFolder = (data.Attributes & pf::fileattr::DIRECTORY) != 0;
                rest.push_back(TNormal{child, isFolder, isFolder ? 0 : data.Size});
            }
        }
        if (Key(folder) == ancestorKey)
            break;
        skip = folder;
    }
    return rest;
}

void TKivSelectionList::SplitLocked(const QString& pPath, const QString& pAncestorKey,
                                    const std::vector<TNormal>& pRest, TAftermath& pAfter)
{
    const auto ancestor = fEntries.find(pAncestorKey);
    // Changed meanwhile by another writer: the split no longer applies.
    if (ancestor == fEntries.end() || !ancestor->second.Folder)
        return;
    EraseLocked(ancestor, true, pAfter);
    for (const TNormal& normal : pRest) {
        if (fEntries.count(Key(normal.Path)) == 0)
            InsertLocked(MakeEntry(normal, pAfter), pAfter);
    }
    pAfter.Main = pPath;
}

void TKivSelectionList::PathWasRenamed(const QString& pOldPath, const QString& pNewPath)
{
    const QString oldPath = StripEntryForm(pOldPath);
    const QString newPath = StripEntryForm(pNewPath);
    if (oldPath.isEmpty() || newPath.isEmpty() || Key(oldPath) == Key(newPath))
        return;
    TAftermath after;
    {
        const TWriteLock lock(fLockObj);
        const QString oldKey = Key(oldPath);
        std::vector<TEntry> moved;
        if (const auto found = fEntries.find(oldKey); found != fEntries.end())
            moved.push_back(EraseLocked(found, false, after));
        const QString prefix = BelowPrefix(oldKey);
        auto at = fEntries.lower_bound(prefix);
        while (at != fEntries.end() && at->first.startsWith(prefix)) {
            const auto next = std::next(at);
            moved.push_back(EraseLocked(at, false, after));
            at = next;
        }
        if (moved.empty())
            return;
        // The entries keep their totals and their walks (which find them again by id).
        for (TEntry& entry : moved) {
            entry.Path = newPath + entry.Path.mid(oldPath.size());
            if (fEntries.count(Key(entry.Path)) != 0) {
                if (entry.Known) {
                    after.TotalsChanged = true;
                } else if (entry.Cancel) {
                    entry.Cancel->Cancel();
                    fPending.fetch_sub(1);
                }
                continue;
            }
            InsertLocked(std::move(entry), after);
        }
        after.Main = newPath;
    }
    Finish(after);
}

void TKivSelectionList::BeginUpdate()
{
    ++fIsUpdating;
}

void TKivSelectionList::EndUpdate()
{
    if (fIsUpdating == 0 || --fIsUpdating > 0)
        return;
    if (std::exchange(fChangedWhileUpdating, false) && fParent)
        fParent->Refresh(nullptr, TRefreshLevel::rfCheckboxes, nullptr);
}

void TKivSelectionList::Clear()
{
    TAftermath after;
    {
        const TWriteLock lock(fLockObj);
        while (!fEntries.empty())
            EraseLocked(fEntries.begin(), true, after);
        // Nothing is left to count.
        fSize = 0;
        fFileCount = 0;
        fFolderCount = 0;
    }
    Finish(after);
}

void TKivSelectionList::SetPaths(const QStringList& pPaths)
{
    SetEntries(pPaths, {});
}

void TKivSelectionList::SetEntries(const QStringList& pPaths, const QSet<qsizetype>& pPlain)
{
    BeginUpdate();
    Clear();
    for (qsizetype i = 0; i < pPaths.size(); ++i) {
        const QString& path = pPaths[i];
        if (const std::optional<TNormal> normal = Normalize(path, !pPlain.contains(i))) {
            AddNormal(*normal, false);
            continue;
        }
        if (OnInvalidPath)
            OnInvalidPath(*this, path);
        const QString kept = StripEntryForm(path);
        if (!fRemoveInvalidPaths && !kept.isEmpty())
            AddNormal(TNormal{kept, path.endsWith(u"/*"), 0}, false);
    }
    EndUpdate();
}

void TKivSelectionList::Assign(const TKivSelectionList& pSource)
{
    if (&pSource == this)
        return;
    std::vector<TEntry> copies;
    {
        const TReadLock lock(pSource.fLockObj);
        for (const auto& [key, entry] : pSource.fEntries)
            copies.push_back(TEntry{entry.Path, entry.Folder, entry.Known, entry.Totals, 0, {}});
    }
    TAftermath after;
    {
        const TWriteLock lock(fLockObj);
        while (!fEntries.empty())
            EraseLocked(fEntries.begin(), true, after);
        for (TEntry& copy : copies) {
            if (copy.Known && fCalculateSelectedFiles) {
                copy.Id = ++fNextId;
                InsertLocked(std::move(copy), after);
            } else {
                InsertLocked(MakeEntry(TNormal{copy.Path, copy.Folder, copy.Totals.Size}, after),
                             after);
            }
        }
    }
    StartWalks(after);
    Finish(after);
}

std::unique_ptr<TKivSelectionList> TKivSelectionList::CreateCopy() const
{
    auto copy = std::make_unique<TKivSelectionList>(nullptr);
    copy->fHandleShellLinks = fHandleShellLinks;
    copy->fCalculateSelectedFiles = fCalculateSelectedFiles;
    copy->fFollowReparsePoint = fFollowReparsePoint;
    copy->fRemoveInvalidPaths = fRemoveInvalidPaths;
    copy->fPool = fPool;
    copy->Assign(*this);
    return copy;
}

// ---- after a change -------------------------------------------------------------------------

void TKivSelectionList::StartWalks(TAftermath& pAfter)
{
    if (pAfter.Walks.empty())
        return;
    const IWorkerThreadPoolPtr pool = fPool ? fPool : TWorkerPool::GlobalInstance();
    std::vector<IWorkItemPtr> items;
    items.reserve(pAfter.Walks.size());
    for (TWalk& walk : pAfter.Walks) {
        auto item = TKivFolderSizeWorkItem::Create(walk.Path, fFollowReparsePoint, walk.Cancel);
        // Delivered on the user-interface thread, and only while the entry's token stands: the
        // list cancels it when the entry goes, and every token when the list goes.
        item->SetOnWorkDone([this, id = walk.Id](const IWorkItemPtr& pItem) {
            const auto& done = static_cast<const TKivFolderSizeWorkItem&>(*pItem);
            WalkDone(id, TTotals{done.Size(), done.FileCount(), done.FolderCount()}, done.Found());
        });
        items.push_back(std::move(item));
    }
    pAfter.Walks.clear();
    pool->AddWorkItems(items, TPriority::Normal);
}

void TKivSelectionList::WalkDone(std::uint64_t pId, const TTotals& pTotals, bool)
{
    {
        const TWriteLock lock(fLockObj);
        const auto key = fKeysById.constFind(pId);
        if (key == fKeysById.cend())
            return;
        const auto found = fEntries.find(key.value());
        if (found == fEntries.end() || found->second.Known)
            return;
        TEntry& entry = found->second;
        entry.Known = true;
        entry.Totals = pTotals;
        entry.Cancel.reset();
        fKeysById.erase(key);
        fPending.fetch_sub(1);
        AddTotalsLocked(pTotals, 1);
    }
    if (!fDestroying && OnCompletedCalculateFiles)
        OnCompletedCalculateFiles(*this);
}

void TKivSelectionList::StartCounts(TAftermath& pAfter)
{
    if (pAfter.Counts.empty())
        return;
    const IWorkerThreadPoolPtr pool = fPool ? fPool : TWorkerPool::GlobalInstance();
    std::vector<IWorkItemPtr> items;
    items.reserve(pAfter.Counts.size());
    for (auto& [path, count] : pAfter.Counts) {
        auto item = std::make_shared<TChildCountItem>(path, count, fCountsCancel);
        item->SetOnWorkDone([this, path, count](const IWorkItemPtr&) { CountDone(path, count); });
        items.push_back(std::move(item));
    }
    pAfter.Counts.clear();
    pool->AddWorkItems(items, TPriority::Normal);
}

void TKivSelectionList::CountDone(const QString& pFolder, const TChildCountPtr& pCount)
{
    TAftermath after;
    bool complete = false;
    {
        const TWriteLock lock(fLockObj);
        fPending.fetch_sub(1);
        const QString key = Key(pFolder);
        TNode* const folder = FindNodeLocked(key);
        // Adopted already by a check in the folder, or the folder's entries went meanwhile.
        if (!folder || folder->Count != pCount || folder->Listed >= 0)
            return;
        AdoptCountLocked(*folder, after);
        complete = folder->Listed >= 0 && folder->Covered >= folder->Listed;
    }
    KeepListings(after);
    if (complete)
        CompleteFrom(pFolder);
}

void TKivSelectionList::Finish(TAftermath& pAfter)
{
    if (pAfter.Changed) {
        fFindWalk.reset();
        if (OnChange)
            OnChange(*this);
        if (fParent) {
            if (fIsUpdating > 0)
                fChangedWhileUpdating = true;
            else
                fParent->Refresh(nullptr, TRefreshLevel::rfCheckboxes,
                                 pAfter.Main.isEmpty()
                                     ? nullptr
                                     : TKivItemIdList::CreateSimpleIdList(pAfter.Main));
        }
    }
    if (pAfter.TotalsChanged && !fDestroying && OnCompletedCalculateFiles)
        OnCompletedCalculateFiles(*this);
}

// ---- completion -----------------------------------------------------------------------------

void TKivSelectionList::Complete(const QString& pChecked)
{
    CompleteFrom(GetParentPathFromPath(pChecked));
}

void TKivSelectionList::CompleteFrom(const QString& pFolder)
{
    QString highest;
    for (QString folder = pFolder; !folder.isEmpty(); folder = GetParentPathFromPath(folder)) {
        if (!FullyChecked(folder, 0))
            break;
        highest = folder;
    }
    if (!highest.isEmpty())
        AddNormal(TNormal{highest, true, 0}, true);
}

bool TKivSelectionList::FullyChecked(const QString& pFolder, int pDepth)
{
    if (pDepth > kMaxDepth)
        return false;
    const QString key = Key(pFolder);
    const THashedKey hashed = Hashed(key);
    // A cheap look first: fewer children with a share than the folder had children when it was
    // last listed means it is not complete. Should files have gone since, the folder completes
    // at a later check instead. An exact answer comes from a listing that stands for the folder
    // as it is now: one made now, or one kept whose folder has not changed since (see
    // kSettledTicks).
    const auto covered = [this, hashed] {
        const TNode* node = FindNodeLocked(hashed);
        return node ? node->Covered : 0;
    };
    {
        const std::scoped_lock lock(fListingLock);
        const auto kept = fListings.find(key);
        if (kept != fListings.end()) {
            kept->second.LastUse = ++fListingUses;
            const TReadLock readLock(fLockObj);
            if (covered() < static_cast<int>(kept->second.Listing->Children.size()))
                return false;
        }
    }
    // The count is noted in the folder's node for the checks to come. Completion runs on the
    // writing thread, so the node is ours to change.
    const auto listed = [this, hashed](const TListingPtr& pListing) {
        const TWriteLock lock(fLockObj);
        if (TNode* node = FindNodeLocked(hashed))
            node->Listed = pListing ? static_cast<int>(pListing->Children.size()) : -1;
        return pListing && !pListing->Children.empty();
    };
    bool settled = false;
    TListingPtr listing = ListFolder(pFolder, false, &settled);
    if (!listed(listing))
        return false;
    {
        const TReadLock lock(fLockObj);
        if (covered() < static_cast<int>(listing->Children.size()))
            return false;
    }
    if (!settled) {
        listing = ListFolder(pFolder, true);
        if (!listed(listing))
            return false;
    }
    QStringList partly;
    QStringList checkedFolders;
    bool checkedFile = false;
    {
        // One path for every child in turn: only the children kept in a list become strings.
        QString child = BelowPrefix(pFolder);
        const qsizetype base = child.size();
        const TReadLock lock(fLockObj);
        for (const auto& [name, isFolder] : listing->Children) {
            child.truncate(base);
            child += name;
            const QString childKey = Key(child);
            const TNode* node = FindNodeLocked(childKey);
            if (node && node->Entry != TNode::TKind::None) {
                if (isFolder)
                    checkedFolders.append(child);
                else
                    checkedFile = true;
                continue;
            }
            if (isFolder && node && node->Below > 0) {
                partly.append(child);
                continue;
            }
            return false;
        }
    }
    for (const QString& folder : partly) {
        if (!FullyChecked(folder, pDepth + 1))
            return false;
    }
    // Checked empty folders alone do not make their folder checked: what completes a folder is
    // something in it (a file, or a folder with content).
    if (checkedFile || !partly.isEmpty())
        return true;
    return std::any_of(checkedFolders.begin(), checkedFolders.end(), [](const QString& pPath) {
        std::unique_ptr<pf::IFindHandle> handle;
        pf::FindData data;
        return pf::Succeeded(pf::Platform().FileSystem().FindFirst(pPath, handle)) && handle &&
               handle->Next(data) == pf::S_OK;
    });
}

TKivSelectionList::TListingPtr TKivSelectionList::ListFolder(const QString& pFolder, bool pFresh,
                                                             bool* pSettled)
{
    pf::IFileSystem& fileSystem = pf::Platform().FileSystem();
    pf::FindData data;
    if (pf::Failed(fileSystem.GetFindData(pFolder, data)) ||
        (data.Attributes & pf::fileattr::DIRECTORY) == 0)
        return nullptr;
    const auto writeTime = static_cast<std::int64_t>(data.LastWriteTime.Ticks);
    const QString key = Key(pFolder);
    if (!pFresh) {
        const std::scoped_lock lock(fListingLock);
        const auto kept = fListings.find(key);
        if (kept != fListings.end() && kept->second.Listing->WriteTime == writeTime) {
            kept->second.LastUse = ++fListingUses;
            if (pSettled)
                *pSettled =
                    writeTime > 0 && kept->second.Listing->ListedAt - writeTime >= kSettledTicks;
            return kept->second.Listing;
        }
    }
    TListingPtr listing = MakeListing(pFolder, writeTime);
    if (!listing)
        return nullptr;
    if (pSettled)
        *pSettled = true;
    const std::scoped_lock lock(fListingLock);
    KeepListingLocked(key, listing);
    return listing;
}

TKivSelectionList::TListingPtr TKivSelectionList::MakeListing(const QString& pFolder)
{
    pf::FindData data;
    if (pf::Failed(pf::Platform().FileSystem().GetFindData(pFolder, data)) ||
        (data.Attributes & pf::fileattr::DIRECTORY) == 0)
        return nullptr;
    return MakeListing(pFolder, static_cast<std::int64_t>(data.LastWriteTime.Ticks));
}

TKivSelectionList::TListingPtr TKivSelectionList::MakeListing(const QString& pFolder,
                                                              std::int64_t pWriteTime)
{
    // Taken before the folder is read: a change after this moment may be missed by the listing.
    const std::int64_t listedAt = NowTicks();
    // Names and kinds only: completion looks at every folder it passes, so a listing must cost
    // about one call, not one per entry.
    std::vector<pf::NameEntry> names;
    if (pf::Failed(pf::Platform().FileSystem().ListNames(pFolder, names)))
        return nullptr;
    auto listing = std::make_shared<TListing>();
    listing->WriteTime = pWriteTime;
    listing->ListedAt = listedAt;
    listing->Children.reserve(names.size());
    for (pf::NameEntry& name : names)
        listing->Children.emplace_back(std::move(name.Name), name.Folder);
    return listing;
}

void TKivSelectionList::KeepListingLocked(const QString& pKey, TListingPtr pListing)
{
    // The listing used longest ago makes room: the folders above the last checks (asked at
    // every completion) stay.
    if (fListings.size() >= kKeptListings && fListings.count(pKey) == 0) {
        auto oldest = fListings.begin();
        for (auto at = fListings.begin(); at != fListings.end(); ++at) {
            if (at->second.LastUse < oldest->second.LastUse)
                oldest = at;
        }
        fListings.erase(oldest);
    }
    fListings.insert_or_assign(pKey, TKeptListing{std::move(pListing), ++fListingUses});
}

void TKivSelectionList::KeepListings(TAftermath& pAfter)
{
    if (pAfter.Listings.empty())
        return;
    const std::scoped_lock lock(fListingLock);
    for (auto& [key, listing] : pAfter.Listings)
        KeepListingLocked(key, std::move(listing));
    pAfter.Listings.clear();
}

void TKivSelectionList::AdoptCountLocked(TNode& pFolder, TAftermath& pAfter)
{
    const TListingPtr& listing = pFolder.Count->Listing;
    // A folder that could not be listed is left to completion to look at again.
    pFolder.Listed = listing ? static_cast<int>(listing->Children.size()) : -1;
    if (listing)
        pAfter.Listings.emplace_back(pFolder.Key, listing);
}

// ---- lists of paths -------------------------------------------------------------------------

QStringList TKivSelectionList::SnapshotPaths(bool pEntryForm) const
{
    QStringList paths;
    const TReadLock lock(fLockObj);
    paths.reserve(static_cast<qsizetype>(fEntries.size()));
    for (const auto& [key, entry] : fEntries)
        paths.append(pEntryForm ? EntryText(entry) : entry.Path);
    return paths;
}

QStringList TKivSelectionList::Paths() const
{
    return SnapshotPaths(true);
}

QString TKivSelectionList::ToString() const
{
    return Paths().join(u'\n');
}

int TKivSelectionList::Count() const
{
    const TReadLock lock(fLockObj);
    return static_cast<int>(fEntries.size());
}

QStringList TKivSelectionList::GetDifferentDrives() const
{
    QStringList drives;
    pf::IFileSystem& fileSystem = pf::Platform().FileSystem();
    for (const QString& path : SnapshotPaths(false)) {
        const QString mount = fileSystem.MountOf(path).MountPath;
        if (!drives.contains(mount))
            drives.append(mount);
    }
    return drives;
}

bool TKivSelectionList::IsLocalPathSelected() const
{
    const QStringList paths = SnapshotPaths(false);
    return std::any_of(paths.begin(), paths.end(),
                       [](const QString& p) { return !TKivPathList::IsNetworkPath(p); });
}

bool TKivSelectionList::IsUNCPathSelected() const
{
    const QStringList paths = SnapshotPaths(false);
    return std::any_of(paths.begin(), paths.end(),
                       [](const QString& p) { return TKivPathList::IsNetworkPath(p); });
}

QString TKivSelectionList::FindNext()
{
    if (!fFindWalk) {
        QStringList files;
        QStringList folders;
        {
            const TReadLock lock(fLockObj);
            for (const auto& [key, entry] : fEntries)
                (entry.Folder ? folders : files).append(entry.Path);
        }
        fFindWalk = std::make_unique<TKivFileWalk>(files, folders, fFollowReparsePoint);
    }
    QString next = fFindWalk->Next();
    if (next.isEmpty())
        fFindWalk.reset();
    return next;
}

void TKivSelectionList::ResetFindNext()
{
    fFindWalk.reset();
}

std::unique_ptr<TKivPathList> TKivSelectionList::GetListOfAllFiles() const
{
    QStringList files;
    QStringList folders;
    {
        const TReadLock lock(fLockObj);
        for (const auto& [key, entry] : fEntries)
            (entry.Folder ? folders : files).append(entry.Path);
    }
    auto list = std::make_unique<TKivPathList>();
    TKivFileWalk walk(files, folders, fFollowReparsePoint);
    for (QString path = walk.Next(); !path.isEmpty(); path = walk.Next())
        list->AddObject(path);
    return list;
}

// ---- INI persistence ------------------------------------------------------------------------

QString TKivSelectionList::EscapeIniKey(const QString& pEntry)
{
    QString key;
    key.reserve(pEntry.size());
    const auto hex = [&key](unsigned pByte) {
        key += u'%';
        key += QString::number(pByte, 16).toUpper().rightJustified(2, u'0');
    };
    for (qsizetype i = 0; i < pEntry.size(); ++i) {
        const char16_t c = pEntry[i].unicode();
        const bool atEnd = i == 0 || i == pEntry.size() - 1;
        // Undecodable bytes of a file name travel as their byte.
        if (c >= 0xDC80 && c <= 0xDCFF)
            hex(c - 0xDC00);
        // What the file's syntax would read otherwise: a comment or section at the start,
        // the value's separator, line breaks, blanks trimmed at either end.
        else if (c == u'%' || c == u'=' || c < 0x20 || c == 0x7F ||
                 (i == 0 && (c == u';' || c == u'#' || c == u'[')) ||
                 (atEnd && (c == u' ' || c == u'\t')))
            hex(c);
        else
            key += QChar(c);
    }
    return key;
}

QString TKivSelectionList::UnescapeIniKey(const QString& pKey)
{
    QString entry;
    entry.reserve(pKey.size());
    for (qsizetype i = 0; i < pKey.size(); ++i) {
        if (pKey[i] == u'%' && i + 2 < pKey.size()) {
            bool ok = false;
            const unsigned value = pKey.mid(i + 1, 2).toUInt(&ok, 16);
            if (ok) {
                entry += value >= 0x80 ? QChar(char16_t(0xDC00 + value)) : QChar(char16_t(value));
                i += 2;
                continue;
            }
        }
        entry += pKey[i];
    }
    return entry;
}

bool TKivSelectionList::SaveToIniFile(const QString& pFileName, const QString& pSection) const
{
    QByteArray bytes;
    pf::HResult result = pf::S_OK;
    // A file that exists but cannot be read is not replaced: its other sections would be lost.
    if (!ReadAll(pFileName, bytes, result)) {
        if (!IsMissing(result))
            return false;
        bytes.clear();
    }
    TIniDocument document = TIniDocument::FromBytes(bytes);
    // A list of names, not matched against each other: the file's key names match without
    // regard to case, and "/x/A" and "/x/a" are two entries here.
    QStringList keys;
    {
        const TReadLock lock(fLockObj);
        for (const auto& [key, entry] : fEntries) {
            QString text = EscapeIniKey(EntryText(entry));
            // A file named "*" must not read back as its folder.
            if (!entry.Folder && text.endsWith(u"/*"))
                text.replace(text.size() - 1, 1, QStringLiteral("%2A"));
            keys.append(text);
        }
    }
    document.WriteKeyList(pSection, keys);
    return pf::Succeeded(pf::Platform().FileSystem().WriteFile(pFileName, document.ToBytes()));
}

bool TKivSelectionList::LoadFromIniFile(const QString& pFileName, const QString& pSection)
{
    QByteArray bytes;
    pf::HResult result = pf::S_OK;
    if (!ReadAll(pFileName, bytes, result)) {
        if (!IsMissing(result))
            return false;
        bytes.clear();
    }
    const TIniDocument document = TIniDocument::FromBytes(bytes);
    QStringList paths;
    QSet<qsizetype> plain;
    for (const QString& key : document.ReadSectionKeys(pSection)) {
        if (key.endsWith(u"/%2A"))
            plain.insert(paths.size());
        paths.append(UnescapeIniKey(key));
    }
    SetEntries(paths, plain);
    return true;
}

} // namespace kiv

#include "core/notify/KivShellChangeNotifier.h"

#include "core/platform/IChangeNotify.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/DebugLog.h"
#include "core/shell/ItemIdListCollection.h"
#include "core/shell/ItemIdListHelper.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivVersion.h"
#include "core/threading/KivThreading.h"
#include "core/threading/ThreadingHooks.h"

#include <array>
#include <condition_variable>
#include <optional>

namespace kiv {

namespace {

using E = TNotificationEvent;

// The platform event of each kind, in the order of the enumeration (neUnknown registers for
// everything; the last two register nothing).
constexpr std::array<std::uint32_t, 22> kEventCodes = {pf::shcne::ASSOCCHANGED,
                                                       pf::shcne::ATTRIBUTES,
                                                       pf::shcne::UPDATEITEM,
                                                       pf::shcne::CREATE,
                                                       pf::shcne::DELETE,
                                                       pf::shcne::RENAMEITEM,
                                                       pf::shcne::DRIVEADD,
                                                       pf::shcne::DRIVEREMOVED,
                                                       pf::shcne::DRIVEADDGUI,
                                                       pf::shcne::FREESPACE,
                                                       pf::shcne::MEDIAINSERTED,
                                                       pf::shcne::MEDIAREMOVED,
                                                       pf::shcne::MKDIR,
                                                       pf::shcne::RMDIR,
                                                       pf::shcne::RENAMEFOLDER,
                                                       pf::shcne::UPDATEDIR,
                                                       pf::shcne::NETSHARE | pf::shcne::NETUNSHARE,
                                                       pf::shcne::SERVERDISCONNECT,
                                                       pf::shcne::UPDATEIMAGE,
                                                       pf::shcne::ALLEVENTS,
                                                       0,
                                                       0};

// The duplicate check looks at these only: the platform reports them twice for one change.
bool TakesPartInDuplicateCheck(TNotificationEvent pEvent)
{
    return pEvent == E::neFileDelete || pEvent == E::neDriveAdd || pEvent == E::neDriveRemove ||
           pEvent == E::neMediaInsert;
}

// The 32-bit value after the 2-byte count of a raw list (the drive mask of a free-space event,
// the icon number of an image-list change); nullopt when the list is too short.
std::optional<std::uint32_t> DwordAfterCount(const pf::IdListBytes& pList)
{
    if (pList.size() < 6)
        return std::nullopt;
    return static_cast<std::uint32_t>(pList[2]) | (static_cast<std::uint32_t>(pList[3]) << 8) |
           (static_cast<std::uint32_t>(pList[4]) << 16) |
           (static_cast<std::uint32_t>(pList[5]) << 24);
}

bool IsValid(const IItemIdListPtr& pList)
{
    return pList && !pList->IsInvalid();
}

} // namespace

std::uint32_t NotificationEventCode(TNotificationEvent pEvent)
{
    const auto index = static_cast<std::size_t>(pEvent);
    return index < kEventCodes.size() ? kEventCodes[index] : 0;
}

std::uint32_t NotificationEventMask(TNotificationEvents pEvents)
{
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kEventCodes.size(); ++i)
        if (pEvents.Contains(static_cast<TNotificationEvent>(i)))
            mask |= kEventCodes[i];
    return mask;
}

TNotificationEvent NotificationEventFromCode(std::uint32_t pCode)
{
    if (pCode == pf::shcne::NETSHARE || pCode == pf::shcne::NETUNSHARE)
        return E::neNetShare;
    for (std::size_t i = 0; i < static_cast<std::size_t>(E::neUnknown); ++i)
        if (kEventCodes[i] == pCode)
            return static_cast<TNotificationEvent>(i);
    return E::neUnknown;
}

// ---- the hidden window ------------------------------------------------------------------------

// Receives the platform's deliveries on the user-interface thread. The platform holds it weakly;
// the notifier detaches it (on that thread) before it goes.
class TKivShellChangeNotifier::TSink final : public pf::IChangeSink
{
public:
    explicit TSink(TKivShellChangeNotifier* pOwner)
        : fOwner(pOwner)
    {
    }
    void OnShellNotification(std::uint32_t pMessage, std::uint32_t pEvent,
                             const pf::IdListBytes& pList1, const pf::IdListBytes& pList2) override
    {
        if (fOwner)
            fOwner->MessageHandler(pMessage, pEvent, pList1, pList2);
    }
    void Detach() { fOwner = nullptr; }

private:
    TKivShellChangeNotifier* fOwner; // user-interface thread only
};

// Lets asynchronous deliveries finish before the notifier goes: they run on pool threads and use
// the notifier, which the destructor waits for (serving the user-interface queue meanwhile).
struct TKivShellChangeNotifier::TLifeline
{
    std::mutex Lock;
    std::condition_variable Finished;
    int Running = 0;   // guarded by Lock
    bool Dead = false; // guarded by Lock

    bool Enter()
    {
        const std::scoped_lock lock(Lock);
        if (Dead)
            return false;
        ++Running;
        return true;
    }
    void Leave()
    {
        {
            const std::scoped_lock lock(Lock);
            --Running;
        }
        Finished.notify_all();
        pf::WakeUi();
    }
    void Close()
    {
        {
            const std::scoped_lock lock(Lock);
            Dead = true;
        }
        const auto idle = [this] {
            const std::scoped_lock lock(Lock);
            return Running == 0;
        };
        if (pf::Ui().IsUiThread()) {
            while (!pf::Ui().WaitFor(idle, std::chrono::seconds(1))) {
            }
            return;
        }
        std::unique_lock lock(Lock);
        Finished.wait(lock, [this] { return Running == 0; });
    }
};

// ---- Directories ------------------------------------------------------------------------------

TKivShellChangeNotifierList::TKivShellChangeNotifierList(TKivShellChangeNotifier* pOwner)
    : fOwner(pOwner)
{
}

int TKivShellChangeNotifierList::IndexOf(const QString& pPath) const
{
    return static_cast<int>(fItems.indexOf(pPath));
}

int TKivShellChangeNotifierList::Add(const QString& pPath)
{
    if (fUpdateCount > 0 || !fOwner) {
        fItems.append(pPath);
        return Count() - 1;
    }
    const IItemIdListPtr list = TKivItemIdList::Create(pPath);
    fOwner->AddItemIdList(list, pPath.isEmpty() || fOwner->Recursive(), fOwner->EventFilter());
    // Adding empties the cache; the next read lists every watched item again.
    return IndexOf(pPath);
}

void TKivShellChangeNotifierList::Delete(int pIndex)
{
    if (pIndex < 0 || pIndex >= Count())
        return;
    const QString path = fItems.at(pIndex);
    fItems.removeAt(pIndex);
    if (fUpdateCount == 0 && fOwner)
        fOwner->RemovePath(path);
}

void TKivShellChangeNotifierList::Assign(const QStringList& pPaths)
{
    if (!fOwner) {
        fItems = pPaths;
        return;
    }
    fOwner->Clear();
    for (const QString& path : pPaths)
        Add(path);
}

// ---- the notifier -----------------------------------------------------------------------------

TKivShellChangeNotifier::TKivShellChangeNotifier()
    : TKivShellChangeNotifier(true)
{
}

TKivShellChangeNotifier::TKivShellChangeNotifier(bool pCheckForDuplicates)
    : fSink(std::make_shared<TSink>(this))
    , fCheckForDuplicates(pCheckForDuplicates)
    , fTickSource([] { return threading::TickCount(); })
    , fDirectories(this)
    , fCancellationToken(TCancellationToken::Create())
    , fLifeline(std::make_shared<TLifeline>())
{
}

TKivShellChangeNotifier::~TKivShellChangeNotifier()
{
    fDuplicationLockDetached.store(true);
    fCancellationToken->Cancel();
    fSink->Detach();
    pf::Ui().Purge(this);
    fLifeline->Close();
    // Watches end with the notifier: the platform would otherwise keep them for a sink that is
    // gone.
    const std::scoped_lock lock(fListLock);
    for (TEntry& entry : fNotificationHandles)
        Deregister(std::exchange(entry.Details.NotificationHandle, 0));
}

QString TKivShellChangeNotifier::Version() const
{
    return ComponentVersion(u"TKivShellChangeNotifier");
}

void TKivShellChangeNotifier::Loaded()
{
    fLoading = false;
    if (Count() == 0 && fRecursive) {
        fDefaultItemIdList = TKivItemIdList::CreateForSpecialFolder(TKivShellFolder::SF_DRIVES);
        AddItemIdList(fDefaultItemIdList, TNotificationEvents());
    }
    Start();
}

void TKivShellChangeNotifier::SetEnabled(bool pValue)
{
    if (pValue == fEnabled.load() && Count() > 0)
        return;
    fEnabled.store(pValue);
    if (pValue)
        Start();
    else
        Stop();
}

void TKivShellChangeNotifier::SetRecursive(bool pValue)
{
    fRecursive = pValue;
    if (fStarted) {
        Stop();
        Start();
    }
}

void TKivShellChangeNotifier::SetEventFilter(TNotificationEvents pValue)
{
    Stop();
    fEventFilter.store(pValue.Bits());
    Start();
}

TKivShellChangeNotifierList& TKivShellChangeNotifier::Directories()
{
    if (fDirectories.Count() > 0)
        return fDirectories;
    QStringList paths;
    {
        const std::scoped_lock lock(fListLock);
        for (const TEntry& entry : fNotificationHandles)
            paths.append(entry.List->DisplayPath());
    }
    fDirectories.BeginUpdate();
    for (const QString& path : paths)
        fDirectories.Add(path);
    fDirectories.EndUpdate();
    return fDirectories;
}

void TKivShellChangeNotifier::SetDirectories(const TKivShellChangeNotifierList& pValue)
{
    const QStringList paths = pValue.Strings();
    fDirectories.Assign(paths);
}

ICancellationIndicatorPtr TKivShellChangeNotifier::CancellationToken() const
{
    return fCancellationToken;
}

int TKivShellChangeNotifier::Count() const
{
    const std::scoped_lock lock(fListLock);
    return static_cast<int>(fNotificationHandles.size());
}

std::vector<std::pair<IItemIdListPtr, TNotificationDetails>> TKivShellChangeNotifier::Items() const
{
    std::vector<std::pair<IItemIdListPtr, TNotificationDetails>> result;
    const std::scoped_lock lock(fListLock);
    for (const TEntry& entry : fNotificationHandles)
        result.emplace_back(entry.List, entry.Details);
    return result;
}

void TKivShellChangeNotifier::AddPath(const QString& pPath)
{
    AddItemIdList(TKivItemIdList::Create(pPath), TNotificationEvents());
}

void TKivShellChangeNotifier::RemovePath(const QString& pPath)
{
    RemoveItemIdList(TKivItemIdList::Create(pPath));
}

void TKivShellChangeNotifier::AddItemIdList(const IItemIdListPtr& pItemIdList,
                                            TNotificationEvents pEventFilter)
{
    AddItemIdList(pItemIdList, fRecursive, pEventFilter);
}

void TKivShellChangeNotifier::AddItemIdList(const IItemIdListPtr& pItemIdList, bool pRecursive,
                                            TNotificationEvents pEventFilter)
{
    if (!pItemIdList)
        throw EInvalidArgument(QStringLiteral(
            "TKivShellChangeNotifier.AddItemIdList(): Parameter pItemIdList must not be nil."));
    if (pItemIdList->IsInvalid())
        return;
    if (pEventFilter.IsEmpty())
        pEventFilter = EventFilter();
    if (pf::Ui().IsUiThread()) {
        AddOnUiThread(pItemIdList, pRecursive, pEventFilter);
        return;
    }
    // The watch set lives on the user-interface thread; the queued call is purged when the
    // notifier goes and checks the token for the time between.
    const std::shared_ptr<TCancellationToken> token = fCancellationToken;
    pf::Ui().Post(
        [this, token, pItemIdList, pRecursive, pEventFilter] {
            if (token->IsCancellationRequested())
                return;
            try {
                AddOnUiThread(pItemIdList, pRecursive, pEventFilter);
            } catch (...) {
                threading::HandleException(std::current_exception());
            }
        },
        this);
}

void TKivShellChangeNotifier::AddOnUiThread(const IItemIdListPtr& pItemIdList, bool pRecursive,
                                            TNotificationEvents pEventFilter)
{
    if (fCheckForDuplicates) {
        const std::scoped_lock lock(fListLock);
        if (fCancellationToken->IsCancellationRequested())
            return;
        const int index = IndexOfLocked(pItemIdList);
        if (index >= 0 && fNotificationHandles[index].Details.NotificationHandle != 0)
            return;
    }
    Record(pItemIdList, pRecursive, pEventFilter);
    // Watching a shortcut watches what it points to as well. Only links are asked: finding the
    // target of anything else would cost a look at the disk for nothing.
    if (pItemIdList->HasAttributes(pf::sfgao::LINK)) {
        const IItemIdListPtr target = pItemIdList->LinkTarget();
        if (IsValid(target) && !target->Equals(pItemIdList, TItemIdListComparison::ilcExact))
            Record(target, pRecursive, pEventFilter);
    }
    bool dropDefault = false;
    {
        const std::scoped_lock lock(fListLock);
        dropDefault = fNotificationHandles.size() == 2 && fDefaultItemIdList;
    }
    if (dropDefault) {
        const IItemIdListPtr defaultItem = std::exchange(fDefaultItemIdList, nullptr);
        RemoveItemIdList(defaultItem);
    }
    fDirectories.fItems.clear();
}

void TKivShellChangeNotifier::Record(const IItemIdListPtr& pItemIdList, bool pRecursive,
                                     TNotificationEvents pEventFilter)
{
    TNotificationDetails details;
    details.Recursive = pRecursive;
    details.EventFilter = pEventFilter;
    if (Enabled())
        details.NotificationHandle = Register(pItemIdList, pRecursive, pEventFilter);
    std::uint32_t replaced = 0;
    {
        const std::scoped_lock lock(fListLock);
        const int index = IndexOfLocked(pItemIdList);
        if (index >= 0) {
            replaced = fNotificationHandles[index].Details.NotificationHandle;
            fNotificationHandles[index].Details = details;
        } else {
            fNotificationHandles.push_back({pItemIdList, details});
        }
    }
    // A replaced entry's registration would otherwise stay with the platform for good.
    if (replaced != 0 && replaced != details.NotificationHandle)
        Deregister(replaced);
}

std::uint32_t TKivShellChangeNotifier::Register(const IItemIdListPtr& pItemIdList, bool pRecursive,
                                                TNotificationEvents pEventFilter) const
{
    if (!IsValid(pItemIdList) || !pf::HasPlatform())
        return 0;
    pf::IChangeNotify* service = pf::Platform().ChangeNotify();
    const TIdListBuffer list = pItemIdList->WindowsPointer();
    if (!service || !list)
        return 0;
    std::uint32_t sources =
        pf::shcnrf::InterruptLevel | pf::shcnrf::ShellLevel | pf::shcnrf::NewDelivery;
    if (pRecursive)
        sources |= pf::shcnrf::RecursiveInterrupt;
    return service->Register(fSink, sources, NotificationEventMask(pEventFilter), kNotifyMessage,
                             {{*list, pRecursive}});
}

void TKivShellChangeNotifier::Deregister(std::uint32_t pHandle)
{
    if (pHandle == 0 || !pf::HasPlatform())
        return;
    if (pf::IChangeNotify* service = pf::Platform().ChangeNotify())
        service->Deregister(pHandle);
}

int TKivShellChangeNotifier::IndexOfLocked(const IItemIdListPtr& pItemIdList) const
{
    for (std::size_t i = 0; i < fNotificationHandles.size(); ++i)
        if (fNotificationHandles[i].List == pItemIdList ||
            fNotificationHandles[i].List->Equals(pItemIdList, TItemIdListComparison::ilcExact))
            return static_cast<int>(i);
    return -1;
}

void TKivShellChangeNotifier::RemoveItemIdList(const IItemIdListPtr& pItemIdList)
{
    if (!pItemIdList)
        return;
    {
        const std::scoped_lock lock(fListLock);
        const int index = IndexOfLocked(pItemIdList);
        if (index < 0)
            return;
        Deregister(fNotificationHandles[index].Details.NotificationHandle);
        fNotificationHandles.erase(fNotificationHandles.begin() + index);
    }
    if (pf::Ui().IsUiThread())
        fDirectories.fItems.clear();
}

void TKivShellChangeNotifier::Add(const IItemIdListCollection& pItemIdLists)
{
    for (const IItemIdListPtr& list : pItemIdLists.Items())
        AddItemIdList(list, TNotificationEvents());
}

void TKivShellChangeNotifier::Clear()
{
    fDirectories.fItems.clear();
    const std::scoped_lock lock(fListLock);
    for (const TEntry& entry : fNotificationHandles)
        Deregister(entry.Details.NotificationHandle);
    fNotificationHandles.clear();
}

void TKivShellChangeNotifier::Start()
{
    if (!Enabled() || fLoading)
        return;
    const std::scoped_lock lock(fListLock);
    for (TEntry& entry : fNotificationHandles)
        if (entry.Details.NotificationHandle == 0)
            entry.Details.NotificationHandle =
                Register(entry.List, entry.Details.Recursive, entry.Details.EventFilter);
    fStarted = true;
}

void TKivShellChangeNotifier::Stop()
{
    if (!fStarted)
        return;
    const std::scoped_lock lock(fListLock);
    fStarted = false;
    for (TEntry& entry : fNotificationHandles)
        Deregister(std::exchange(entry.Details.NotificationHandle, 0));
}

// ---- receiving --------------------------------------------------------------------------------

void TKivShellChangeNotifier::MessageHandler(std::uint32_t pMessage, std::uint32_t pEvent,
                                             const pf::IdListBytes& pList1,
                                             const pf::IdListBytes& pList2)
{
    if (pMessage != kNotifyMessage || !Enabled())
        return;
    try {
        const TNotificationEvent event = NotificationEventFromCode(pEvent);
        if (!EventFilter().Contains(event))
            return;
        IItemIdListPtr item1;
        IItemIdListPtr item2;
        if (event == E::neDriveSpaceChange) {
            item1 = DriveSpaceItem(pList1);
            if (!item1)
                return;
            item2 = InvalidItemIdList();
        } else {
            item1 = TKivItemIdList::Create(pList1);
            item2 = pList2.empty() ? InvalidItemIdList() : TKivItemIdList::Create(pList2);
        }
        Dispatch(event, std::move(item1), std::move(item2));
    } catch (...) {
        threading::HandleException(std::current_exception());
    }
}

// The root of the lowest drive in the mask, when it is watched.
IItemIdListPtr TKivShellChangeNotifier::DriveSpaceItem(const pf::IdListBytes& pList1) const
{
    const std::optional<std::uint32_t> mask = DwordAfterCount(pList1);
    if (!mask || (*mask & 0x3FFFFFF) == 0)
        return nullptr;
    int drive = 0;
    while ((*mask & (1u << drive)) == 0)
        ++drive;
    const IItemIdListPtr root =
        TKivItemIdList::Create(QString(QChar(u'A' + drive)) + QStringLiteral(":\\"));
    // Parsed here, before the lock: the comparisons below then only compare.
    if (!IsValid(root))
        return nullptr;
    const std::scoped_lock lock(fListLock);
    for (const TEntry& entry : fNotificationHandles)
        if (entry.List->Equals(root, TItemIdListComparison::ilcDisplay))
            return entry.List;
    return nullptr;
}

void TKivShellChangeNotifier::Dispatch(TNotificationEvent pEvent, IItemIdListPtr pItem1,
                                       IItemIdListPtr pItem2)
{
    if (!fNotifyAsynchronously) {
        ProcessNotification(pEvent, std::move(pItem1), std::move(pItem2));
        return;
    }
    const std::shared_ptr<TLifeline> lifeline = fLifeline;
    const std::shared_ptr<TCancellationToken> token = fCancellationToken;
    TAsyncProcedure::CreateAndQueue(
        [this, lifeline, token, pEvent, pItem1, pItem2] {
            if (token->IsCancellationRequested() || !lifeline->Enter())
                return;
            try {
                ProcessNotification(pEvent, pItem1, pItem2);
            } catch (...) {
                threading::HandleException(std::current_exception());
            }
            lifeline->Leave();
        },
        token);
}

bool TKivShellChangeNotifier::Reload(const IItemIdListPtr& pItem) const
{
    if (!pf::Ui().IsUiThread()) {
        pItem->Reload();
        return true;
    }
    // The reload runs on the helper pool while this thread serves its queue; it ends the wait
    // the moment the answer is there (a fixed polling round would cost every notification its
    // length).
    const ICancellationIndicatorPtr token = fCancellationToken;
    const IFuturePtr<bool> future = TAnonymousFuture<bool>::CreateAndQueue(
        [pItem] { return pItem->Reload(); }, token, TItemIdListHelperThreadPool::Instance().get());
    const auto finished = [&future] {
        const TTaskStatus status = future->GetStatus();
        return status == TTaskStatus::Completed || status == TTaskStatus::Canceled;
    };
    pf::Ui().WaitFor(finished, std::chrono::milliseconds(kReloadTimeLimitMs));
    if (future->GetStatus() == TTaskStatus::Completed)
        return true;
    TItemIdListHelper::WriteDebugInfo(pItem, QStringLiteral("ItemIdList.Reload timed out."));
    return false;
}

void TKivShellChangeNotifier::ProcessNotification(TNotificationEvent pEvent, IItemIdListPtr pItem1,
                                                  IItemIdListPtr pItem2)
{
    if (!Reload(pItem1))
        return;
    if (IsValid(pItem2) && pItem2->IsResolved() && !Reload(pItem2))
        return;
    if (pEvent == E::neFileChange && pItem1->IsFolder()) {
        pEvent = E::neFolderUpdate;
        if (!EventFilter().Contains(E::neFolderUpdate))
            return;
    }
    if (!PassesDuplicateCheck(pEvent, pItem1))
        return;
    if (OnChange) {
        QString path1;
        if (pEvent == E::neImageListChange) {
            const TIdListBuffer raw = pItem2 ? pItem2->WindowsPointer() : nullptr;
            const std::optional<std::uint32_t> number = raw ? DwordAfterCount(*raw) : std::nullopt;
            if (number)
                path1 = QString::number(static_cast<std::int32_t>(*number));
        } else if (pEvent != E::neAssociationChange) {
            path1 = pItem1->Path();
            TDebugLog::LogDebugMessage(QStringLiteral("TKivShellChangeNotifier: %1  (%2)")
                                           .arg(path1)
                                           .arg(static_cast<int>(pEvent)));
        }
        if (!path1.isEmpty() || pEvent == E::neDriveSpaceChange)
            DoChange(pEvent, path1, pItem2 ? pItem2->Path() : QString());
    }
    DoChangePIDL(pEvent, pItem1, pItem2);
}

bool TKivShellChangeNotifier::PassesDuplicateCheck(TNotificationEvent pEvent,
                                                   const IItemIdListPtr& pItem1)
{
    if (fDuplicationLockDetached.load())
        return true;
    const std::scoped_lock lock(fDuplicationLock);
    if (!TakesPartInDuplicateCheck(pEvent)) {
        fLastDriveRemoveItemIdList = nullptr;
        return true;
    }
    const std::uint64_t now = fTickSource();
    const std::uint64_t span = now - fPrevTicks;
    if (span < kDuplicateSpanMs) {
        if (fLastDriveRemoveItemIdList &&
            pItem1->Equals(fLastDriveRemoveItemIdList, TItemIdListComparison::ilcDisplay)) {
            TDebugLog::LogDebugMessage(QStringLiteral("Duplicate change event filtered for: ") +
                                       pItem1->Path());
            return false;
        }
        TDebugLog::LogDebugMessage(QStringLiteral("Duplicate change event NOT filtered for: ") +
                                   pItem1->Path());
    } else {
        TDebugLog::LogDebugMessage(
            QStringLiteral("Duplicate change event NOT filtered , Tick Count time span: ") +
            QString::number(span));
        fLastDriveRemoveItemIdList = nullptr;
    }
    fPrevTicks = now;
    fLastDriveRemoveItemIdList = pItem1;
    return true;
}

void TKivShellChangeNotifier::DoChange(TNotificationEvent pEvent, const QString& pPath1,
                                       const QString& pPath2)
{
    if (OnChange)
        OnChange(*this, pEvent, pPath1, pPath2);
}

void TKivShellChangeNotifier::DoChangePIDL(TNotificationEvent pEvent, const IItemIdListPtr& pItem1,
                                           const IItemIdListPtr& pItem2)
{
    if (OnChangePIDL && IsValid(pItem1))
        OnChangePIDL(*this, pEvent, pItem1, pItem2);
}

} // namespace kiv

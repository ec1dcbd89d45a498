#pragma once

// TKivShellChangeNotifier watches a set of shell items (folders, drives, the computer) and
// reports each change as one event with its kind and the one or two items concerned, as paths
// (OnChange) and as item identifier lists (OnChangePIDL). The list, the tree, the breadcrumb bar
// and the preview each own one and keep its watch set equal to what they show.
//
// Ownership and threads: the notifier belongs to its control and lives on the user-interface
// thread. Notifications arrive there (the platform's dispatcher delivers them to the notifier's
// sink, which stands in for a window); with NotifyAsynchronously they are processed, and the
// events fired, on a pool thread instead. Additions from other threads are queued to the
// user-interface thread and dropped once the notifier is destroyed; removals run on the calling
// thread. fListLock guards the watched items, fDuplicationLock the duplicate check; the two are
// never held together.

#include "core/platform/IdList.h"
#include "core/shell/KivSet.h"
#include "core/shell/KivShellTypes.h"
#include "core/threading/ThreadingTypes.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace kiv {

class IItemIdListCollection;
class TCancellationToken;
class TKivShellChangeNotifier;

// Kinds of change, with the platform event each one registers for (NotificationEventCode).
enum class TNotificationEvent
{
    neAssociationChange, // file type associations (no item)
    neAttributesChange,
    neFileChange, // an item's content; for a folder delivered as neFolderUpdate
    neFileCreate,
    neFileDelete, // duplicates within 3 s suppressed
    neFileRename, // item 1 the old, item 2 the new
    neDriveAdd,   // duplicates within 3 s suppressed
    neDriveRemove,
    neShellDriveAdd,
    neDriveSpaceChange, // item 1 the drive's root
    neMediaInsert,
    neMediaRemove,
    neFolderCreate,
    neFolderDelete,
    neFolderRename,
    neFolderUpdate, // look at the folder again
    neNetShare,
    neServerDisconnect,
    neImageListChange, // the icon number in item 2
    neUnknown,         // a platform event the notifier does not know
    neAsyncResult,     // never produced here: for other components' own use
    nePopulated,       // never produced here
};
using TNotificationEvents = TSet<TNotificationEvent>;

// neAssociationChange .. neImageListChange: everything but neUnknown.
inline constexpr TNotificationEvents kDefaultNotificationEvents =
    TNotificationEvents::FromBits(0x7FFFF);

// The platform event codes registered for pEvent (neNetShare: share and unshare; the last two
// members: none).
std::uint32_t NotificationEventCode(TNotificationEvent pEvent);
std::uint32_t NotificationEventMask(TNotificationEvents pEvents);
// A received code back to its event: exact matches only, anything else neUnknown.
TNotificationEvent NotificationEventFromCode(std::uint32_t pCode);

// One watched item.
struct TNotificationDetails
{
    std::uint32_t NotificationHandle = 0; // the platform's registration; 0 while not registered
    bool Recursive = false;               // sub-items are watched too
    TNotificationEvents EventFilter;      // the events requested for this item
};

// The published Directories: the display paths of the watched items, cached until the watch set
// changes. Adding a path (outside BeginUpdate/EndUpdate) watches it, deleting one stops
// watching it. User-interface thread only.
class TKivShellChangeNotifierList
{
public:
    explicit TKivShellChangeNotifierList(TKivShellChangeNotifier* pOwner);

    int Count() const { return static_cast<int>(fItems.size()); }
    const QString& operator[](int pIndex) const { return fItems.at(pIndex); }
    const QStringList& Strings() const { return fItems; }
    int IndexOf(const QString& pPath) const;

    // Watches pPath with the owner's Recursive (always recursive for the empty path, This PC)
    // and EventFilter.
    int Add(const QString& pPath);
    void Delete(int pIndex);
    // Clears the owner's watches and watches each path of pPaths.
    void Assign(const QStringList& pPaths);
    void Assign(const TKivShellChangeNotifierList& pSource) { Assign(pSource.Strings()); }
    void BeginUpdate() { ++fUpdateCount; }
    void EndUpdate() { --fUpdateCount; }

private:
    friend class TKivShellChangeNotifier;
    TKivShellChangeNotifier* fOwner;
    QStringList fItems;
    int fUpdateCount = 0;
};

class TKivShellChangeNotifier
{
public:
    // The registration's message number (the window message of the platform's delivery).
    static constexpr std::uint32_t kNotifyMessage = 2011;
    // How long the user-interface thread waits for an item's data to be refreshed: a slow item
    // (a network place) loses its notification rather than freeze the interface.
    static constexpr int kReloadTimeLimitMs = 1000;
    // Deletions and drive events of the same item within this span are one change reported
    // twice (the platform reports some of them from two sources).
    static constexpr std::uint64_t kDuplicateSpanMs = 3000;

    using TKivShellNotifierEvent =
        std::function<void(TKivShellChangeNotifier& pSender, TNotificationEvent pEvent,
                           const QString& pPath1, const QString& pPath2)>;
    using TKivShellNotifierEventPIDL =
        std::function<void(TKivShellChangeNotifier& pSender, TNotificationEvent pEvent,
                           const IItemIdListPtr& pItem1, const IItemIdListPtr& pItem2)>;
    using TTickSource = std::function<std::uint64_t()>;

    // A notifier of a control (duplicates refused); call Loaded() once its properties are set.
    TKivShellChangeNotifier();
    explicit TKivShellChangeNotifier(bool pCheckForDuplicates);
    virtual ~TKivShellChangeNotifier();
    TKivShellChangeNotifier(const TKivShellChangeNotifier&) = delete;
    TKivShellChangeNotifier& operator=(const TKivShellChangeNotifier&) = delete;

    QString Version() const;

    // After the properties are set: watches This PC when nothing else is (and Recursive is
    // set), then starts.
    void Loaded();

    bool Enabled() const { return fEnabled.load(); }
    void SetEnabled(bool pValue);
    bool Recursive() const { return fRecursive; }
    void SetRecursive(bool pValue);
    TNotificationEvents EventFilter() const
    {
        return TNotificationEvents::FromBits(fEventFilter.load());
    }
    void SetEventFilter(TNotificationEvents pValue);
    bool NotifyAsynchronously() const { return fNotifyAsynchronously; }
    void SetNotifyAsynchronously(bool pValue) { fNotifyAsynchronously = pValue; }
    TKivShellChangeNotifierList& Directories();
    void SetDirectories(const TKivShellChangeNotifierList& pValue);

    // What stands for the hidden window: the receiver of the platform's deliveries.
    const void* Handle() const { return fSink.get(); }
    // Watched items.
    int Count() const;
    bool Started() const { return fStarted; }

    void AddPath(const QString& pPath);
    void RemovePath(const QString& pPath);
    // Watches pItemIdList with the default recursion; an empty filter means the default one.
    // Raises EInvalidArgument for null; an invalid list is ignored. Any thread.
    void AddItemIdList(const IItemIdListPtr& pItemIdList,
                       TNotificationEvents pEventFilter = TNotificationEvents());
    void AddItemIdList(const IItemIdListPtr& pItemIdList, bool pRecursive,
                       TNotificationEvents pEventFilter);
    void Add(const IItemIdListCollection& pItemIdLists);
    void RemoveItemIdList(const IItemIdListPtr& pItemIdList);
    void Clear();

    // The hidden window's procedure: one delivery of the platform.
    void MessageHandler(std::uint32_t pMessage, std::uint32_t pEvent, const pf::IdListBytes& pList1,
                        const pf::IdListBytes& pList2);

    // The watched items and their details, in the order they were added.
    std::vector<std::pair<IItemIdListPtr, TNotificationDetails>> Items() const;
    IItemIdListPtr DefaultItemIdList() const { return fDefaultItemIdList; }
    // The clock of the duplicate check (milliseconds); the background machinery's by default.
    void SetTickSource(TTickSource pSource) { fTickSource = std::move(pSource); }
    // Cancelled when the notifier goes: work that reports to it (a background listing) stops.
    ICancellationIndicatorPtr CancellationToken() const;

    TKivShellNotifierEvent OnChange;
    TKivShellNotifierEventPIDL OnChangePIDL;

protected:
    // Refreshes the items, filters, suppresses duplicates and fires the events.
    virtual void ProcessNotification(TNotificationEvent pEvent, IItemIdListPtr pItem1,
                                     IItemIdListPtr pItem2);
    virtual void DoChange(TNotificationEvent pEvent, const QString& pPath1, const QString& pPath2);
    virtual void DoChangePIDL(TNotificationEvent pEvent, const IItemIdListPtr& pItem1,
                              const IItemIdListPtr& pItem2);

private:
    class TSink;
    struct TLifeline;
    struct TEntry
    {
        IItemIdListPtr List;
        TNotificationDetails Details;
    };

    void AddOnUiThread(const IItemIdListPtr& pItemIdList, bool pRecursive,
                       TNotificationEvents pEventFilter);
    void Record(const IItemIdListPtr& pItemIdList, bool pRecursive,
                TNotificationEvents pEventFilter);
    std::uint32_t Register(const IItemIdListPtr& pItemIdList, bool pRecursive,
                           TNotificationEvents pEventFilter) const;
    static void Deregister(std::uint32_t pHandle);
    void Start();
    void Stop();
    // Index of pItemIdList among the keys; -1 when absent. Caller holds fListLock.
    int IndexOfLocked(const IItemIdListPtr& pItemIdList) const;
    bool Reload(const IItemIdListPtr& pItem) const;
    // False when the notification is a duplicate to drop.
    bool PassesDuplicateCheck(TNotificationEvent pEvent, const IItemIdListPtr& pItem1);
    void Dispatch(TNotificationEvent pEvent, IItemIdListPtr pItem1, IItemIdListPtr pItem2);
    IItemIdListPtr DriveSpaceItem(const pf::IdListBytes& pList1) const;

    std::shared_ptr<TSink> fSink; // the hidden window
    mutable std::mutex fListLock;
    std::vector<TEntry> fNotificationHandles; // guarded by fListLock
    bool fRecursive = true;
    std::atomic<std::uint64_t> fEventFilter{kDefaultNotificationEvents.Bits()};
    std::atomic<bool> fEnabled{true};
    bool fNotifyAsynchronously = false;
    const bool fCheckForDuplicates = true;
    bool fStarted = false; // written under fListLock, read on the user-interface thread
    bool fLoading = false;
    IItemIdListPtr fDefaultItemIdList;

    std::mutex fDuplicationLock;
    std::atomic<bool> fDuplicationLockDetached{false};
    IItemIdListPtr fLastDriveRemoveItemIdList; // guarded by fDuplicationLock
    std::uint64_t fPrevTicks = 0;              // guarded by fDuplicationLock
    TTickSource fTickSource;

    TKivShellChangeNotifierList fDirectories;
    std::shared_ptr<TCancellationToken> fCancellationToken;
    std::shared_ptr<TLifeline> fLifeline;
};

} // namespace kiv

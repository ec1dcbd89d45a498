#include "core/notify/KivShellChangeNotifier.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/IChangeNotify.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/ItemIdListCollection.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/threading/ThreadingHooks.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/ManualDispatcher.h"
#include "platform/memory/MemoryChangeNotify.h"
#include "platform/memory/MemoryPlatform.h"

#include <QFile>
#include <QLoggingCategory>

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace kiv {
namespace {

using namespace std::chrono_literals;
using E = TNotificationEvent;
using pf::mem::TMemoryNode;

struct TFired
{
    E Event;
    QString Path1;
    QString Path2;
    bool ByPidl = false;
};

// Captures the family's debug lines while it lives (developer lines switched on).
class TDebugCapture
{
public:
    TDebugCapture()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("tovaline.debug.debug=true"));
        fPrevious = threading::SetDebugSink([this](const QString& pLine) {
            const std::scoped_lock lock(fLock);
            fLines.push_back(pLine);
        });
    }
    ~TDebugCapture()
    {
        threading::SetDebugSink(fPrevious);
        QLoggingCategory::setFilterRules(QString());
    }
    int Count(const QString& pText) const
    {
        const std::scoped_lock lock(fLock);
        return static_cast<int>(std::count_if(fLines.begin(), fLines.end(),
                                              [&](const QString& l) { return l.contains(pText); }));
    }

private:
    mutable std::mutex fLock;
    std::vector<QString> fLines; // guarded by fLock
    threading::TDebugSink fPrevious;
};

// Workers of the pools wake the dispatcher after a result is seen, possibly after the test has
// ended: the tests' dispatcher therefore lives as long as the process, like the program's.
pf::fake::ManualDispatcher& SharedDispatcher()
{
    static auto* dispatcher = new pf::fake::ManualDispatcher(); // never destroyed
    return *dispatcher;
}

// The notifier over the in-memory platform: the test fires the platform's events and decides
// when deliveries run (manual dispatcher); the duplicate check reads the test's clock.
class ChangeNotifierTest : public ::testing::Test
{
protected:
    ChangeNotifierTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
        , fUi(fDispatcher)
    {
        fDispatcher.RunPending(); // what earlier tests left
        TSpecialFolders::Reset();
        fThisPc = &fMemory->Root().AddFolder(QStringLiteral("This PC"));
        fThisPc->Virtual = true;
        pf::KnownFolderKey drives;
        drives.Csidl = 17; // My Computer
        fMemory->SetKnownFolder(drives, fThisPc);
        fDocs = &fMemory->Root().AddFolder(QStringLiteral("docs"));
        fDocs->AddFile(QStringLiteral("a.txt"));
        fDocs->AddFile(QStringLiteral("b.txt"));
        fDocs->AddFolder(QStringLiteral("sub"));
        fDriveC = &fMemory->Root().AddFolder(QStringLiteral("C:\\"));
        fDriveD = &fMemory->Root().AddFolder(QStringLiteral("D:\\"));
        fNotifier = MakeNotifier(true);
    }
    ~ChangeNotifierTest() override
    {
        fNotifier.reset();
        TSpecialFolders::Reset();
    }

    std::unique_ptr<TKivShellChangeNotifier> MakeNotifier(bool pCheckForDuplicates)
    {
        auto notifier = std::make_unique<TKivShellChangeNotifier>(pCheckForDuplicates);
        notifier->SetTickSource([this] { return fNow.load(); });
        notifier->OnChange = [this](TKivShellChangeNotifier&, E pEvent, const QString& p1,
                                    const QString& p2) {
            fChanges.push_back({pEvent, p1, p2});
        };
        notifier->OnChangePIDL = [this](TKivShellChangeNotifier&, E pEvent,
                                        const IItemIdListPtr& p1, const IItemIdListPtr& p2) {
            fPidlChanges.push_back({pEvent, p1->Path(), p2 ? p2->Path() : QString(), true});
        };
        return notifier;
    }

    pf::mem::TMemoryChangeNotify& Platform() { return fMemory->MemoryChangeNotify(); }
    IItemIdListPtr List(const TMemoryNode& pNode) const
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }
    TMemoryNode& Doc(const char* pName) const { return *fDocs->Child(QString::fromUtf8(pName)); }
    // Runs deliveries until every queued event was handed over (they come in time slices).
    void Deliver()
    {
        ASSERT_TRUE(fDispatcher.RunUntil([this] { return Platform().Hub().Pending() == 0; }));
    }
    void Fire(std::uint32_t pCode, const TMemoryNode& pNode)
    {
        Platform().Fire(pCode, fMemory->ListOf(pNode));
        Deliver();
    }
    int PidlCount(E pEvent) const
    {
        return static_cast<int>(std::count_if(fPidlChanges.begin(), fPidlChanges.end(),
                                              [&](const TFired& f) { return f.Event == pEvent; }));
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    pf::fake::ManualDispatcher& fDispatcher = SharedDispatcher();
    pf::TScopedUi fUi;
    TMemoryNode* fThisPc = nullptr;
    TMemoryNode* fDocs = nullptr;
    TMemoryNode* fDriveC = nullptr;
    TMemoryNode* fDriveD = nullptr;
    std::atomic<std::uint64_t> fNow{100000};
    std::vector<TFired> fChanges;
    std::vector<TFired> fPidlChanges;
    std::unique_ptr<TKivShellChangeNotifier> fNotifier;
};

TEST(NotificationEventTest, CodesTranslateBothWays)
{
    EXPECT_EQ(NotificationEventMask(kDefaultNotificationEvents), 0x0807FFFFu);
    EXPECT_EQ(NotificationEventCode(E::neNetShare), 0x600u);
    EXPECT_EQ(NotificationEventCode(E::nePopulated), 0u);
    for (int i = 0; i < static_cast<int>(E::neUnknown); ++i) {
        const auto event = static_cast<E>(i);
        if (event != E::neNetShare) {
            EXPECT_EQ(NotificationEventFromCode(NotificationEventCode(event)), event) << i;
        }
    }
    EXPECT_EQ(NotificationEventFromCode(pf::shcne::NETSHARE), E::neNetShare);
    EXPECT_EQ(NotificationEventFromCode(pf::shcne::NETUNSHARE), E::neNetShare);
    EXPECT_EQ(NotificationEventFromCode(pf::shcne::CREATE | pf::shcne::DELETE), E::neUnknown);
    EXPECT_EQ(NotificationEventFromCode(0x80000000u), E::neUnknown);
}

// Loaded with nothing to watch it watches This PC; the first real item replaces it, a shortcut's
// target comes with the shortcut (see the Linux test below).
TEST_F(ChangeNotifierTest, DefaultItemGivesWayToTheFirstItem)
{
    EXPECT_THROW(fNotifier->AddItemIdList(nullptr), EInvalidArgument);
    fNotifier->Loaded();
    ASSERT_EQ(fNotifier->Count(), 1);
    EXPECT_TRUE(fNotifier->DefaultItemIdList()->IsSpecialFolder(TKivShellFolder::SF_DRIVES));
    EXPECT_TRUE(fNotifier->Started());
    auto registrations = Platform().Registrations();
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].Sources, 0x9003u);
    EXPECT_EQ(registrations[0].Message, 2011u);
    EXPECT_EQ(registrations[0].EventMask, NotificationEventMask(kDefaultNotificationEvents));
    EXPECT_TRUE(registrations[0].Entries.at(0).Recursive);

    fNotifier->AddItemIdList(List(*fDocs), false, {E::neFileCreate});
    ASSERT_EQ(fNotifier->Count(), 1);
    EXPECT_FALSE(fNotifier->DefaultItemIdList());
    const auto items = fNotifier->Items();
    EXPECT_TRUE(items[0].first->Equals(List(*fDocs), TItemIdListComparison::ilcExact));
    EXPECT_FALSE(items[0].second.Recursive);
    registrations = Platform().Registrations();
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].Sources, 0x8003u);
    EXPECT_EQ(registrations[0].EventMask, pf::shcne::CREATE);
    EXPECT_EQ(fNotifier->Directories().Strings(), QStringList{QStringLiteral("/docs")});

    // An invalid list is no error and watches nothing.
    fNotifier->AddItemIdList(InvalidItemIdList());
    EXPECT_EQ(fNotifier->Count(), 1);
}

TEST_F(ChangeNotifierTest, ACollectionHandsOverItsElementsNotRecursively)
{
    auto collection = TItemIdListCollection::Create();
    collection->Add(List(*fDocs));
    collection->Add(List(Doc("sub")));
    collection->CopyTo(*fNotifier);
    ASSERT_EQ(fNotifier->Count(), 2);
    for (const auto& item : fNotifier->Items())
        EXPECT_FALSE(item.second.Recursive);
    EXPECT_EQ(fNotifier->Directories().Strings(),
              (QStringList{QStringLiteral("/docs"), QStringLiteral("/docs/sub")}));
}

TEST_F(ChangeNotifierTest, TheSameFolderIsRegisteredOnce)
{
    fNotifier->AddItemIdList(List(*fDocs));
    fNotifier->AddItemIdList(List(*fDocs));
    EXPECT_EQ(fNotifier->Count(), 1);
    EXPECT_EQ(Platform().Registrations().size(), 1u);

    // Without the check the second addition replaces the first, which the platform forgets.
    auto unchecked = MakeNotifier(false);
    unchecked->AddItemIdList(List(*fDocs));
    unchecked->AddItemIdList(List(*fDocs));
    EXPECT_EQ(unchecked->Count(), 1);
    EXPECT_EQ(Platform().Registrations().size(), 2u);

    fNotifier->Directories().Delete(0);
    EXPECT_EQ(fNotifier->Count(), 0);
    fNotifier->Directories().Add(QStringLiteral("/docs/sub"));
    EXPECT_EQ(fNotifier->Count(), 1);
    EXPECT_EQ(fNotifier->Directories().Strings(), QStringList{QStringLiteral("/docs/sub")});
}

// Deletions (and drive events) of one item reported twice within 3 s are one change; only a
// report of the same item with nothing else in between counts as the duplicate.
struct TDuplicateCase
{
    const char* Name;
    struct TStep
    {
        std::uint32_t Code;
        const char* File;
        std::uint64_t At;
    };
    std::vector<TStep> Steps;
    int Deletions;
    const char* Line; // one of the three debug lines, seen after the last step
};

class ChangeNotifierDuplicateTest
    : public ChangeNotifierTest
    , public ::testing::WithParamInterface<TDuplicateCase>
{
};

TEST_P(ChangeNotifierDuplicateTest, SuppressesRepeatsWithinThreeSeconds)
{
    TDebugCapture debug;
    fNotifier->AddItemIdList(List(*fDocs));
    for (const auto& step : GetParam().Steps) {
        fNow = 100000 + step.At;
        Fire(step.Code, Doc(step.File));
    }
    EXPECT_EQ(PidlCount(E::neFileDelete), GetParam().Deletions);
    EXPECT_EQ(debug.Count(QString::fromUtf8(GetParam().Line)), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, ChangeNotifierDuplicateTest,
    ::testing::Values(
        TDuplicateCase{"SameFileWithin3s",
                       {{pf::shcne::DELETE, "a.txt", 0}, {pf::shcne::DELETE, "a.txt", 2999}},
                       1,
                       "Duplicate change event filtered for: /docs/a.txt"},
        TDuplicateCase{"SameFileAfter3s",
                       {{pf::shcne::DELETE, "a.txt", 0}, {pf::shcne::DELETE, "a.txt", 3000}},
                       2,
                       "Duplicate change event NOT filtered , Tick Count time span: 3000"},
        TDuplicateCase{"OtherFileWithin3s",
                       {{pf::shcne::DELETE, "a.txt", 0}, {pf::shcne::DELETE, "b.txt", 10}},
                       2,
                       "Duplicate change event NOT filtered for: /docs/b.txt"},
        TDuplicateCase{"SomethingElseInBetween",
                       {{pf::shcne::DELETE, "a.txt", 0},
                        {pf::shcne::CREATE, "b.txt", 5},
                        {pf::shcne::DELETE, "a.txt", 10}},
                       2,
                       "Duplicate change event NOT filtered for: /docs/a.txt"}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(ChangeNotifierTest, AFolderItemChangeIsAFolderUpdate)
{
    fNotifier->AddItemIdList(List(*fDocs));
    Fire(pf::shcne::UPDATEITEM, Doc("sub"));
    Fire(pf::shcne::UPDATEITEM, Doc("a.txt"));
    ASSERT_EQ(fPidlChanges.size(), 2u);
    EXPECT_EQ(fPidlChanges[0].Event, E::neFolderUpdate);
    EXPECT_EQ(fPidlChanges[1].Event, E::neFileChange);

    // Without neFolderUpdate in the filter the folder's change is not delivered at all.
    fNotifier->SetEventFilter(kDefaultNotificationEvents - E::neFolderUpdate);
    fPidlChanges.clear();
    Fire(pf::shcne::UPDATEITEM, Doc("sub"));
    Fire(pf::shcne::UPDATEITEM, Doc("a.txt"));
    ASSERT_EQ(fPidlChanges.size(), 1u);
    EXPECT_EQ(fPidlChanges[0].Event, E::neFileChange);
}

// A free-space event names drives by a bit mask: the lowest one counts, and only when its root
// is watched.
TEST_F(ChangeNotifierTest, FreeSpaceGoesToTheLowestDriveWhenWatched)
{
    const pf::IdListBytes cAndD = {6, 0, 0b1100, 0, 0, 0, 0, 0};
    fNotifier->AddItemIdList(List(*fDriveD));
    Platform().FireToAll(pf::shcne::FREESPACE, cAndD);
    Deliver();
    EXPECT_TRUE(fPidlChanges.empty());

    fNotifier->AddItemIdList(List(*fDriveC));
    Platform().FireToAll(pf::shcne::FREESPACE, cAndD);
    Deliver();
    // Both registrations hear it; each delivery names C:.
    ASSERT_EQ(PidlCount(E::neDriveSpaceChange), 2);
    EXPECT_EQ(fPidlChanges[0].Path1, QStringLiteral("/C:\\"));
    ASSERT_FALSE(fChanges.empty());
    EXPECT_EQ(fChanges[0].Path1, QStringLiteral("/C:\\"));
    EXPECT_EQ(fChanges[0].Path2, QString());
}

// Events without a path reach OnChangePIDL only; an image-list change carries its number.
TEST_F(ChangeNotifierTest, PathlessEventsSkipOnChange)
{
    fNotifier->AddItemIdList(List(*fDocs));
    const pf::IdListBytes desktop = {0, 0};
    Platform().FireToAll(pf::shcne::ASSOCCHANGED, desktop);
    const pf::IdListBytes image = {10, 0, 42, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Platform().FireToAll(pf::shcne::UPDATEIMAGE, desktop, image);
    Deliver();
    EXPECT_EQ(PidlCount(E::neAssociationChange), 1);
    EXPECT_EQ(PidlCount(E::neImageListChange), 1);
    ASSERT_EQ(fChanges.size(), 1u);
    EXPECT_EQ(fChanges[0].Event, E::neImageListChange);
    EXPECT_EQ(fChanges[0].Path1, QStringLiteral("42"));
}

TEST_F(ChangeNotifierTest, EnablingStartsAndDisablingStops)
{
    fNotifier->Loaded();
    fNotifier->Clear();
    fNotifier->SetEnabled(false);
    EXPECT_FALSE(fNotifier->Started());
    fNotifier->SetEnabled(true);
    EXPECT_TRUE(fNotifier->Started());
    fNotifier->SetEnabled(false);
    fNotifier->SetEnabled(true);
    EXPECT_TRUE(fNotifier->Started());

    fNotifier->AddItemIdList(List(*fDocs));
    fNotifier->SetEnabled(false);
    EXPECT_EQ(fNotifier->Items()[0].second.NotificationHandle, 0u);
    EXPECT_TRUE(Platform().Registrations().empty());
    const int deregistrations = Platform().Deregistrations();
    fNotifier->SetEnabled(false);
    EXPECT_EQ(Platform().Deregistrations(), deregistrations);
    // Disabled: what the platform still delivers is ignored.
    fNotifier->MessageHandler(2011, pf::shcne::CREATE, fMemory->ListOf(Doc("a.txt")), {});
    EXPECT_TRUE(fPidlChanges.empty());

    fNotifier->SetEnabled(true);
    EXPECT_NE(fNotifier->Items()[0].second.NotificationHandle, 0u);
    Fire(pf::shcne::CREATE, Doc("a.txt"));
    EXPECT_EQ(PidlCount(E::neFileCreate), 1);

    // A refused registration stays at 0 and is tried again at the next start.
    Platform().SetRefuseRegistrations(true);
    fNotifier->SetRecursive(false);
    EXPECT_EQ(fNotifier->Items()[0].second.NotificationHandle, 0u);
    Platform().SetRefuseRegistrations(false);
    fNotifier->SetRecursive(true);
    EXPECT_NE(fNotifier->Items()[0].second.NotificationHandle, 0u);
}

// Additions from another thread wait for the user-interface thread, and are dropped when the
// notifier is gone before they run.
TEST_F(ChangeNotifierTest, AdditionsFromWorkersAreQueued)
{
    const IItemIdListPtr docs = List(*fDocs);
    std::thread([&] { fNotifier->AddItemIdList(docs); }).join();
    EXPECT_EQ(fNotifier->Count(), 0);
    fDispatcher.RunPending();
    EXPECT_EQ(fNotifier->Count(), 1);

    auto doomed = MakeNotifier(true);
    std::thread([&] { doomed->AddItemIdList(docs); }).join();
    doomed.reset();
    EXPECT_EQ(fDispatcher.RunPending(), 0u);
    EXPECT_EQ(Platform().Registrations().size(), 1u);
}

TEST_F(ChangeNotifierTest, AsynchronousDeliveryRunsOnAPoolThread)
{
    std::atomic<int> delivered{0};
    std::atomic<bool> onUiThread{true};
    fNotifier->OnChangePIDL = [&](TKivShellChangeNotifier&, E, const IItemIdListPtr&,
                                  const IItemIdListPtr&) {
        onUiThread = pf::Ui().IsUiThread();
        ++delivered;
    };
    fNotifier->OnChange = nullptr;
    fNotifier->SetNotifyAsynchronously(true);
    fNotifier->AddItemIdList(List(*fDocs));
    Fire(pf::shcne::CREATE, Doc("a.txt"));
    ASSERT_TRUE(fDispatcher.RunUntil([&] { return delivered.load() == 1; }));
    EXPECT_FALSE(onUiThread.load());
    // Destroyed with deliveries under way: they finish or never start.
    Fire(pf::shcne::CREATE, Doc("b.txt"));
    fNotifier.reset();
}

TEST_F(ChangeNotifierTest, AHandlerThatThrowsLeavesTheNotifierRunning)
{
    int handled = 0;
    const threading::TExceptionHandler previous =
        threading::SetExceptionHandler([&](std::exception_ptr) { ++handled; });
    fNotifier->OnChangePIDL = [](TKivShellChangeNotifier&, E, const IItemIdListPtr&,
                                 const IItemIdListPtr&) { throw std::runtime_error("handler"); };
    fNotifier->AddItemIdList(List(*fDocs));
    Fire(pf::shcne::CREATE, Doc("a.txt"));
    Fire(pf::shcne::CREATE, Doc("b.txt"));
    threading::SetExceptionHandler(previous);
    EXPECT_EQ(handled, 2);
}

// ---- end to end: real folders, inotify, Qt's event loop ----

class ChangeNotifierLinuxTest : public ::testing::Test
{
protected:
    ChangeNotifierLinuxTest()
    {
        fEnvironment.Set("HOME", QFile::encodeName(fHome.Path()));
        fEnvironment.Set("XDG_CONFIG_HOME", QFile::encodeName(fHome.Join(".config")));
        fEnvironment.Set("XDG_DATA_HOME", QFile::encodeName(fHome.Join(".local/share")));
        TSpecialFolders::Reset();
        fPlatform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
    }
    ~ChangeNotifierLinuxTest() override
    {
        fPlatform.reset();
        TSpecialFolders::Reset();
    }

    test::TestDir fHome;
    test::TScopedEnvironment fEnvironment;
    test::TestDir fDir;
    std::unique_ptr<pf::TScopedPlatform> fPlatform;
};

TEST_F(ChangeNotifierLinuxTest, FileChangesArriveOnTheUserInterfaceThread)
{
    fDir.CreateFolder("target");
    ASSERT_EQ(::symlink(QFile::encodeName(fDir.Join("target")).constData(),
                        QFile::encodeName(fDir.Join("link")).constData()),
              0);
    TKivShellChangeNotifier notifier;
    notifier.Loaded();
    std::vector<TFired> fired;
    notifier.OnChangePIDL = [&](TKivShellChangeNotifier&, E pEvent, const IItemIdListPtr& p1,
                                const IItemIdListPtr& p2) {
        EXPECT_TRUE(pf::Ui().IsUiThread());
        fired.push_back({pEvent, p1->Path(), p2->Path(), true});
    };
    // The shortcut and its target: the default item stays (three items).
    notifier.AddPath(fDir.Join("link"));
    ASSERT_EQ(notifier.Count(), 3);

    // Other watched items (the default one) may report changes of their own meanwhile.
    const auto firstOf = [&](E pEvent) {
        return std::find_if(fired.begin(), fired.end(), [&](const TFired& f) {
            return f.Event == pEvent && f.Path1.startsWith(fDir.Join("target/"));
        });
    };
    const auto waitFor = [&](E pEvent) {
        return pf::Ui().WaitFor([&] { return firstOf(pEvent) != fired.end(); }, 5s);
    };
    // Registration is set up in the background; a creation after that is reported. A creation
    // racing the set-up may come as a folder update instead, so keep creating until one is seen.
    for (int attempt = 0; attempt < 50 && firstOf(E::neFileCreate) == fired.end(); ++attempt) {
        fDir.CreateFile(QStringLiteral("target/new%1.txt").arg(attempt));
        pf::Ui().WaitFor([&] { return firstOf(E::neFileCreate) != fired.end(); }, 100ms);
    }
    ASSERT_NE(firstOf(E::neFileCreate), fired.end());
    EXPECT_TRUE(firstOf(E::neFileCreate)->Path1.startsWith(fDir.Join("target/new")));
    ASSERT_EQ(::rename(QFile::encodeName(fDir.Join("target/new0.txt")).constData(),
                       QFile::encodeName(fDir.Join("target/renamed.txt")).constData()),
              0);
    ASSERT_TRUE(waitFor(E::neFileRename));
    const auto rename = firstOf(E::neFileRename);
    EXPECT_EQ(rename->Path1, fDir.Join("target/new0.txt"));
    EXPECT_EQ(rename->Path2, fDir.Join("target/renamed.txt"));
}

// Changes the program makes itself reach shell-level registrations without inotify's help.
TEST_F(ChangeNotifierLinuxTest, OwnChangesAreAnnounced)
{
    struct TSink final : pf::IChangeSink
    {
        void OnShellNotification(std::uint32_t, std::uint32_t pEvent, const pf::IdListBytes& p1,
                                 const pf::IdListBytes& p2) override
        {
            Events.push_back({pEvent, TKivItemIdList::Create(p1)->Path(),
                              p2.empty() ? QString() : TKivItemIdList::Create(p2)->Path()});
        }
        std::vector<std::tuple<std::uint32_t, QString, QString>> Events;
    };
    fDir.CreateFolder("w");
    fDir.CreateFile("w/old.txt");
    auto sink = std::make_shared<TSink>();
    const IItemIdListPtr folder = TKivItemIdList::Create(fDir.Join("w"));
    ASSERT_NE(pf::Platform().ChangeNotify()->Register(sink, pf::shcnrf::ShellLevel,
                                                      pf::shcne::ALLEVENTS, 2011,
                                                      {{*folder->WindowsPointer(), false}}),
              0u);
    ASSERT_TRUE(pf::Succeeded(pf::Platform().FileSystem().CreateDirectory(fDir.Join("w/made"))));
    TKivItemIdList::Create(fDir.Join("w/old.txt"))
        ->Rename(QStringLiteral("new.txt"), nullptr, false);
    ASSERT_TRUE(pf::Ui().WaitFor([&] { return sink->Events.size() == 2; }, 5s));
    EXPECT_EQ(sink->Events[0], std::make_tuple(pf::shcne::MKDIR, fDir.Join("w/made"), QString()));
    EXPECT_EQ(sink->Events[1], std::make_tuple(pf::shcne::RENAMEITEM, fDir.Join("w/old.txt"),
                                               fDir.Join("w/new.txt")));
}

} // namespace
} // namespace kiv

#include "core/folder/ShellFolderEnumeratorWorkItem.h"

#include "core/folder/Wayfold.h"
#include "core/platform/IPlatform.h"
#include "core/platform/KnownFolderIds.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/threading/ThreadPool.h"
#include "platform/memory/ManualDispatcher.h"
#include "platform/memory/MemoryPlatform.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace kiv {
namespace {

using pf::mem::TMemoryNode;
using E = TNotificationEvent;
using namespace std::chrono_literals;

// One event as the notifier's handler received it.
struct TEvent
{
    E Event;
    QString Path;
};

// The in-memory namespace with two folders on a network mount (so they are listed in the
// background), a manual user-interface thread (this one) and a notifier that records what it is
// handed.
class EnumeratorWorkItemTest : public ::testing::Test
{
protected:
    static constexpr int kFiles = 60;

    EnumeratorWorkItemTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
        , fUi(fDispatcher)
    {
        TSpecialFolders::Reset();
        fShare = &fMemory->Root().AddFolder(QStringLiteral("share"));
        fFirst = &fShare->AddFolder(QStringLiteral("first"));
        fSecond = &fShare->AddFolder(QStringLiteral("second"));
        for (int i = 0; i < kFiles; ++i) {
            fFirst->AddFile(QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0')));
            fSecond->AddFile(QStringLiteral("s%1").arg(i, 3, 10, QLatin1Char('0')));
        }
        pf::MountInfo root;
        root.MountPath = QStringLiteral("/");
        pf::MountInfo remote;
        remote.MountPath = QStringLiteral("/share");
        remote.Type = pf::DriveType::Remote;
        fMemory->SetMounts({root, remote});
        fNotifier = std::make_unique<TKivShellChangeNotifier>();
        fNotifier->OnChangePIDL = [this](TKivShellChangeNotifier&, E pEvent,
                                         const IItemIdListPtr& pItem1,
                                         const IItemIdListPtr& pItem2) {
            EXPECT_TRUE(fDispatcher.IsUiThread());
            EXPECT_TRUE(pItem2->IsInvalid());
            fEvents.push_back({pEvent, pItem1->Path()});
        };
    }
    ~EnumeratorWorkItemTest() override
    {
        WaitUntilPoolIdle();
        fDispatcher.RunPending();
        TSpecialFolders::Reset();
    }

    // Serves the user-interface thread until the pool has no item left (an item that ends
    // wakes nobody, so the count is looked at every few milliseconds).
    void WaitUntilPoolIdle()
    {
        const auto idle = [] { return TWorkerThreadPool::Instance()->WorkItemsCount() == 0; };
        for (int round = 0; round < 2000 && !idle(); ++round)
            fDispatcher.RunUntil(idle, 5ms);
    }

    IItemIdListPtr ListOf(const TMemoryNode& pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }

    bool Populated() const { return !fEvents.empty() && fEvents.back().Event == E::nePopulated; }

    // The paths of the objects of pFolder a synchronous listing gives, in its order.
    QStringList Expected(const TMemoryNode& pFolder)
    {
        TWayfold folder;
        folder.SetFolderIdList(ListOf(pFolder));
        QStringList paths;
        while (folder.Next())
            paths << folder.FullPath();
        return paths;
    }

    QStringList Delivered(E pEvent = E::neAsyncResult) const
    {
        QStringList paths;
        for (const TEvent& event : fEvents)
            if (event.Event == pEvent)
                paths << event.Path;
        return paths;
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    pf::fake::ManualDispatcher fDispatcher;
    pf::TScopedUi fUi;
    std::unique_ptr<TKivShellChangeNotifier> fNotifier;
    std::vector<TEvent> fEvents;
    TMemoryNode* fShare = nullptr;
    TMemoryNode* fFirst = nullptr;
    TMemoryNode* fSecond = nullptr;
};

TEST_F(EnumeratorWorkItemTest, DeliversEveryObjectOnceInOrderThenPopulated)
{
    TWayfold folder;
    folder.SetFolderIdList(ListOf(*fFirst));
    ASSERT_EQ(folder.Next(fNotifier.get()), TEnumResult::sbnAsync);
    ASSERT_TRUE(fDispatcher.RunUntil([this] { return Populated(); }));
    EXPECT_EQ(Delivered(), Expected(*fFirst));
    EXPECT_EQ(Delivered(E::nePopulated), QStringList{QStringLiteral("/share/first")});
    EXPECT_EQ(fEvents.size(), static_cast<std::size_t>(kFiles + 1));
}

TEST_F(EnumeratorWorkItemTest, LocalFoldersAreListedAtOnce)
{
    TMemoryNode& local = fMemory->Root().AddFolder(QStringLiteral("local"));
    local.AddFile(QStringLiteral("one"));
    TWayfold folder;
    folder.SetFolderIdList(ListOf(local));
    EXPECT_EQ(folder.Next(fNotifier.get()), TEnumResult::sbnOK);
    EXPECT_EQ(folder.ObjectName(), QStringLiteral("one"));
    EXPECT_EQ(folder.Next(fNotifier.get()), TEnumResult::sbnNoMoreItems);
    EXPECT_FALSE(folder.ShellFolderEnumeratorWorkItem());
    EXPECT_EQ(fDispatcher.RunPending(), 0u);
}

TEST_F(EnumeratorWorkItemTest, ANewNextCancelsTheRunningListing)
{
    fFirst->DelayPerItem = 2ms;
    TWayfold folder;
    folder.SetFolderIdList(ListOf(*fFirst));
    ASSERT_EQ(folder.Next(fNotifier.get()), TEnumResult::sbnAsync);
    const std::weak_ptr<IWorkItem> first = folder.ShellFolderEnumeratorWorkItem();
    ASSERT_TRUE(fDispatcher.RunUntil([this] { return fEvents.size() >= 5; }));

    folder.SetFolderIdList(ListOf(*fSecond));
    ASSERT_EQ(folder.Next(fNotifier.get()), TEnumResult::sbnAsync);
    const std::size_t fromFirst = fEvents.size();
    ASSERT_TRUE(fDispatcher.RunUntil([this] { return Populated(); }));
    WaitUntilPoolIdle();
    fDispatcher.RunPending();

    // Nothing of the first folder came after the second listing started.
    for (std::size_t i = fromFirst; i < fEvents.size(); ++i)
        EXPECT_TRUE(fEvents[i].Path.startsWith(QStringLiteral("/share/second"))) << i;
    EXPECT_EQ(Delivered(E::nePopulated), QStringList{QStringLiteral("/share/second")});
    EXPECT_LT(fromFirst, static_cast<std::size_t>(kFiles));
    EXPECT_TRUE(first.expired());
}

// Who goes away in the middle of a listing: the component that started it, or the notifier.
class EnumeratorGoneTest
    : public EnumeratorWorkItemTest
    , public ::testing::WithParamInterface<bool>
{
};

TEST_P(EnumeratorGoneTest, NothingIsDeliveredAfterwards)
{
    const bool componentGoes = GetParam();
    fFirst->DelayPerItem = 2ms;
    auto folder = std::make_unique<TWayfold>();
    folder->SetFolderIdList(ListOf(*fFirst));
    ASSERT_EQ(folder->Next(fNotifier.get()), TEnumResult::sbnAsync);
    const std::weak_ptr<IWorkItem> item = folder->ShellFolderEnumeratorWorkItem();
    ASSERT_TRUE(fDispatcher.RunUntil([this] { return fEvents.size() >= 3; }));
    if (componentGoes)
        folder.reset();
    else
        fNotifier.reset();
    const std::size_t before = fEvents.size();
    WaitUntilPoolIdle();
    fDispatcher.RunPending();
    EXPECT_EQ(fEvents.size(), before);
    EXPECT_EQ(Delivered(E::nePopulated).size(), 0);
    folder.reset();
    EXPECT_TRUE(item.expired());
}

INSTANTIATE_TEST_SUITE_P(Gone, EnumeratorGoneTest, ::testing::Bool());

TEST_F(EnumeratorWorkItemTest, AFolderThatVanishesEndsTheListingCleanly)
{
    fFirst->DelayPerItem = 2ms;
    TWayfold folder;
    folder.SetFolderIdList(ListOf(*fFirst));
    ASSERT_EQ(folder.Next(fNotifier.get()), TEnumResult::sbnAsync);
    ASSERT_TRUE(fDispatcher.RunUntil([this] { return fEvents.size() >= 3; }));
    fMemory->Remove(*fFirst);
    ASSERT_TRUE(fDispatcher.RunUntil([this] { return Populated(); }));
    EXPECT_LT(Delivered().size(), kFiles);
    EXPECT_EQ(Delivered(E::nePopulated).size(), 1);
}

TEST_F(EnumeratorWorkItemTest, NetworkFoldersAreListedAgainUntilTheyStopGrowing)
{
    TMemoryNode& network = fMemory->Root().AddFolder(QStringLiteral("Network"));
    network.Virtual = true;
    fMemory->SetKnownFolder({pf::csidl::NETWORK, pf::folderid::NetworkFolder}, &network);
    network.AddFolder(QStringLiteral("host")).Virtual = true;
    network.AddFile(QStringLiteral("printer")).Virtual = true;
    TWayfold component;
    component.SetFolderIdList(ListOf(network));
    const auto item = TShellFolderEnumeratorWorkItem::CreateNoAdd(*fNotifier, component);
    item->SetPassPause(0ms);
    TWorkerThreadPool::Instance()->AddWorkItem(item, TPriority::Normal);
    ASSERT_TRUE(fDispatcher.RunUntil([this] { return Populated(); }));
    // The same two objects each pass: the fourth pass finds no more and ends it.
    EXPECT_EQ(Delivered(E::neFolderCreate).size(), 4);
    EXPECT_EQ(Delivered(E::neFileCreate).size(), 4);
    EXPECT_TRUE(Delivered().isEmpty());
}

} // namespace
} // namespace kiv

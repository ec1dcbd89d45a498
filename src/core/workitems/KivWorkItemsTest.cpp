#include "KivWorkItems.h"

#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/UiDispatcher.h"
#include "core/selection/KivSelectionList.h"
#include "core/shell/ItemIdListHelper.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivSystemImageList.h"
#include "core/threading/ThreadPool.h"
#include "platform/memory/ManualDispatcher.h"
#include "platform/memory/MemoryImageFactory.h"
#include "platform/memory/MemoryPlatform.h"

#include <gtest/gtest.h>
#include <thread>

namespace kiv {
namespace {

using namespace std::chrono_literals;

// Records what each viewer receives and whether it came on the user-interface thread. Optional
// hooks run inside a call (a control dropping its row there).
class TRecordingViewer
    : public IThumbnailViewer
    , public IIconViewer
    , public IItemIDListViewer
    , public ICheckBoxViewer
{
public:
    struct TIcon
    {
        int Index;
        TIconKind Kind;
        std::intptr_t Tag;
    };

    void SetThumbnailBitmap(QImage pBitmap, int pIndex, std::intptr_t pTag) override
    {
        Record();
        Bitmap = std::move(pBitmap);
        Index = pIndex;
        Tag = pTag;
    }
    void SetIconIndex(int pIconIndex, TIconKind pKind, std::intptr_t pTag) override
    {
        Record();
        Icons.push_back({pIconIndex, pKind, pTag});
    }
    void SetItemIdList(const std::shared_ptr<TKivItemIdListWorkItem>& pItem) override
    {
        Record();
        Lists.push_back(pItem);
        if (OnList)
            OnList();
    }
    void SetCheckBoxState(const std::shared_ptr<TCheckBoxWorkItem>& pItem) override
    {
        Record();
        CheckBoxes.push_back(pItem);
    }

    int Calls = 0;
    bool AllOnUiThread = true;
    QImage Bitmap;
    int Index = -1;
    std::intptr_t Tag = 0;
    std::vector<TIcon> Icons;
    std::vector<std::shared_ptr<TKivItemIdListWorkItem>> Lists;
    std::vector<std::shared_ptr<TCheckBoxWorkItem>> CheckBoxes;
    std::function<void()> OnList;

private:
    void Record()
    {
        ++Calls;
        AllOnUiThread = AllOnUiThread && pf::Ui().IsUiThread();
    }
};

// The in-memory namespace:  docs/ (a.txt, gone.txt)  link.txt (a link)  shared/ (a share)
// other.txt. Deliveries run when a test runs the manual dispatcher.
class WorkItemsTest : public ::testing::Test
{
protected:
    WorkItemsTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        pf::mem::TMemoryNode& root = fMemory->Root();
        fDocs = &root.AddFolder(QStringLiteral("docs"));
        fFile = &fDocs->AddFile(QStringLiteral("a.txt"), 10);
        fGone = &fDocs->AddFile(QStringLiteral("gone.txt"), 20);
        root.AddFile(QStringLiteral("link.txt")).ExtraAttributes = pf::sfgao::LINK;
        root.AddFolder(QStringLiteral("shared")).ExtraAttributes = pf::sfgao::SHARE;
        root.AddFile(QStringLiteral("other.txt"));
    }
    ~WorkItemsTest() override
    {
        fSelection.reset();
        if (auto* pool = dynamic_cast<TWorkerThreadPool*>(fPool.get()))
            pool->TerminateAllThreads(true);
        fPool.reset();
    }

    IItemIdListPtr ListOf(const QString& pPath) const
    {
        pf::mem::TMemoryNode* node = &fMemory->Root();
        for (const QString& name : pPath.split(u'/', Qt::SkipEmptyParts))
            node = node->Child(name);
        return TKivItemIdList::Create(fMemory->ListOf(*node));
    }

    // What a worker of a pool does with an item, on a thread of its own; the delivery it queues
    // waits for the test to run the dispatcher.
    static void RunOnWorker(const IWorkItemPtr& pItem)
    {
        std::thread worker([&pItem] {
            pItem->SetStatus(TTaskStatus::Running);
            pItem->DoWork();
            if (pItem->GetStatus() != TTaskStatus::Canceled)
                pItem->SetStatus(TTaskStatus::Completed);
            pItem->Finished();
        });
        worker.join();
    }

    pf::fake::ManualDispatcher fUi;
    pf::TScopedUi fScopedUi{fUi};
    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    pf::mem::TMemoryNode* fDocs = nullptr;
    pf::mem::TMemoryNode* fFile = nullptr;
    pf::mem::TMemoryNode* fGone = nullptr;
    IWorkerThreadPoolPtr fPool = TWorkerPool::CreateInstance(TWorkerPoolConfig{});
    std::unique_ptr<TKivSelectionList> fSelection;
    std::shared_ptr<TRecordingViewer> fViewer = std::make_shared<TRecordingViewer>();
    ICancellationTokenPtr fToken = TCancellationToken::Create();
};

// ---- thumbnails -------------------------------------------------------------------------------

// What happens between the work and its delivery.
enum class TStop
{
    None,
    Terminate,
    CancelToken,
    ViewerGone,
};

class ThumbnailDeliveryTest
    : public WorkItemsTest
    , public ::testing::WithParamInterface<TStop>
{
};

TEST_P(ThumbnailDeliveryTest, DeliversOnceOrFreesTheBitmap)
{
    auto item = TThumbnailWorkItem::Create(ListOf(QStringLiteral("docs/a.txt")), 64, 48, 7, 42,
                                           fViewer, fToken);
    RunOnWorker(item);
    ASSERT_FALSE(item->Bitmap().isNull()) << "the worker made a thumbnail";
    ASSERT_EQ(fViewer->Calls, 0) << "nothing is delivered on the worker";

    std::weak_ptr<TRecordingViewer> viewer = fViewer;
    switch (GetParam()) {
    case TStop::None:
        break;
    case TStop::Terminate:
        item->Terminate();
        // Freed at once, not when the queued delivery lets the item go.
        EXPECT_TRUE(item->Bitmap().isNull());
        break;
    case TStop::CancelToken:
        fToken->Cancel();
        break;
    case TStop::ViewerGone:
        fViewer.reset();
        break;
    }
    fUi.RunPending();

    EXPECT_TRUE(item->Bitmap().isNull()) << "handed over or freed";
    if (GetParam() == TStop::None) {
        ASSERT_EQ(fViewer->Calls, 1);
        EXPECT_TRUE(fViewer->AllOnUiThread);
        EXPECT_EQ(fViewer->Bitmap.size(), QSize(64, 48));
        EXPECT_EQ(fViewer->Bitmap.pixel(0, 0), pf::mem::TMemoryImageFactory::kThumbnailColour);
        EXPECT_EQ(fViewer->Index, 7);
        EXPECT_EQ(fViewer->Tag, 42);
    } else if (fViewer) {
        EXPECT_EQ(fViewer->Calls, 0);
    } else {
        EXPECT_TRUE(viewer.expired());
    }
}

std::string StopName(const ::testing::TestParamInfo<TStop>& pInfo)
{
    static const char* const kNames[] = {"Delivered", "Terminated", "TokenCancelled", "ViewerGone"};
    return kNames[static_cast<int>(pInfo.param)];
}

INSTANTIATE_TEST_SUITE_P(Stops, ThumbnailDeliveryTest,
                         ::testing::Values(TStop::None, TStop::Terminate, TStop::CancelToken,
                                           TStop::ViewerGone),
                         StopName);

TEST_F(WorkItemsTest, ThumbnailTerminatedDuringItsWorkKeepsNoBitmap)
{
    auto item = TThumbnailWorkItem::Create(ListOf(QStringLiteral("docs/a.txt")), 32, 32, 0, 0,
                                           fViewer, fToken);
    // Terminated while the platform makes the picture: the picture made is never kept.
    fMemory->MemoryImageFactory().OnGetImage = [&item](const auto&) { item->Terminate(); };
    RunOnWorker(item);
    fUi.RunPending();
    EXPECT_TRUE(item->Bitmap().isNull());
    EXPECT_EQ(fViewer->Calls, 0);
}

// ---- icons ------------------------------------------------------------------------------------

struct TOverlayCase
{
    const char* Name;
    const char* Path;
    int Overlay;
    // Made undeterminable after the list was made.
    bool RemoveItem = false;
    bool ParentBindFails = false;
};

void PrintTo(const TOverlayCase& pCase, std::ostream* pOut)
{
    *pOut << pCase.Name;
}

class IconOverlayTest
    : public WorkItemsTest
    , public ::testing::WithParamInterface<TOverlayCase>
{
};

TEST_P(IconOverlayTest, ReportsEveryKindInOrderWithTheOverlay)
{
    const TOverlayCase& c = GetParam();
    const IItemIdListPtr list = ListOf(QString::fromUtf8(c.Path));
    ASSERT_TRUE(list->WindowsPointer());
    const int normal =
        TKivSystemImageList::GetIndexFromItemIdList(list, TKivImageListSize::si_Small, false);
    const int selected =
        TKivSystemImageList::GetIndexFromItemIdList(list, TKivImageListSize::si_Small, true);
    if (c.RemoveItem)
        fMemory->Remove(*fGone);
    if (c.ParentBindFails)
        fDocs->BindFailure = pf::E_ACCESSDENIED;

    auto item = TIconWorkItem::Create(
        list, {TIconType::itNormal, TIconType::itOverlay, TIconType::itSelected}, 5, fViewer,
        fToken);
    fPool->AddWorkItem(item, TPriority::Normal);
    ASSERT_TRUE(fUi.RunUntil([this] { return fViewer->Icons.size() == 3; }));

    EXPECT_TRUE(fViewer->AllOnUiThread);
    EXPECT_EQ(fViewer->Icons[0].Kind, TIconKind::ikNormal);
    EXPECT_EQ(fViewer->Icons[1].Kind, TIconKind::ikSelected);
    EXPECT_EQ(fViewer->Icons[2].Kind, TIconKind::ikOverlay);
    if (!c.RemoveItem) {
        EXPECT_EQ(fViewer->Icons[0].Index, normal);
        EXPECT_EQ(fViewer->Icons[1].Index, selected);
    }
    EXPECT_EQ(fViewer->Icons[2].Index, c.Overlay);
    EXPECT_EQ(item->OverlayIconIndex(), c.Overlay);
    for (const auto& icon : fViewer->Icons)
        EXPECT_EQ(icon.Tag, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Items, IconOverlayTest,
    ::testing::Values(TOverlayCase{"PlainFile", "docs/a.txt", -1},
                      TOverlayCase{"Link", "link.txt", 1}, TOverlayCase{"Share", "shared", 0},
                      TOverlayCase{"ItemGone", "docs/gone.txt", -1, true},
                      TOverlayCase{"ParentUnreadable", "docs/a.txt", -1, false, true}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(WorkItemsTest, IconItemFromAPathHandsOverTheListFirst)
{
    auto item = TIconWorkItem::Create(QStringLiteral("/docs/a.txt"), {TIconType::itNormal}, 9,
                                      fViewer, fToken, fViewer);
    fPool->AddWorkItem(item, TPriority::Normal);
    ASSERT_TRUE(fUi.RunUntil([this] { return fViewer->Calls == 2; }));
    ASSERT_EQ(fViewer->Lists.size(), 1U);
    EXPECT_TRUE(fViewer->Lists[0]->ItemIdList()->Equals(ListOf(QStringLiteral("docs/a.txt")),
                                                        TItemIdListComparison::ilcExact));
    EXPECT_EQ(fViewer->Lists[0]->Path(), QStringLiteral("/docs/a.txt"));
    EXPECT_GE(fViewer->Icons.at(0).Index, 0);
}

TEST_F(WorkItemsTest, IconItemTerminatedByItsListViewerDeliversNoIcons)
{
    auto item = TIconWorkItem::Create(QStringLiteral("/docs/a.txt"),
                                      {TIconType::itNormal, TIconType::itOverlay}, 0, fViewer,
                                      fToken, fViewer);
    fViewer->OnList = [&item] { item->Terminate(); };
    RunOnWorker(item);
    fUi.RunPending();
    EXPECT_EQ(fViewer->Lists.size(), 1U);
    EXPECT_TRUE(fViewer->Icons.empty());
}

// ---- lists ------------------------------------------------------------------------------------

TEST_F(WorkItemsTest, ListItemResolvesPathsAndSimpleLists)
{
    const IItemIdListPtr simple = TKivItemIdList::CreateSimpleIdList(QStringLiteral("/docs/a.txt"));
    ASSERT_TRUE(TItemIdListHelper::IsSimple(simple));
    const IItemIdListPtr gone = ListOf(QStringLiteral("docs/gone.txt"));
    ASSERT_FALSE(gone->Path().isEmpty());
    fMemory->Remove(*fGone);
    using F = TItemIdListWorkItemFlag;
    const std::shared_ptr<TKivItemIdListWorkItem> items[] = {
        TKivItemIdListWorkItem::Create(QStringLiteral("/docs/a.txt"), nullptr, 1, fViewer, fToken),
        TKivItemIdListWorkItem::Create({}, simple, 2, fViewer, fToken),
        TKivItemIdListWorkItem::Create(QStringLiteral("/nowhere.txt"), nullptr, 3, fViewer, fToken,
                                       {F::CheckIfExists}),
        TKivItemIdListWorkItem::Create(QStringLiteral("/docs/gone.txt"), gone, 4, fViewer, fToken,
                                       {F::CheckIfExists}),
    };
    for (const auto& item : items)
        fPool->AddWorkItem(item, TPriority::Normal);
    ASSERT_TRUE(fUi.RunUntil([this] { return fViewer->Lists.size() == 4; }));
    EXPECT_TRUE(fViewer->AllOnUiThread);

    const IItemIdListPtr file = ListOf(QStringLiteral("docs/a.txt"));
    EXPECT_TRUE(items[0]->ItemIdList()->Equals(file, TItemIdListComparison::ilcExact));
    EXPECT_FALSE(TItemIdListHelper::IsSimple(items[1]->ItemIdList()));
    EXPECT_TRUE(items[1]->ItemIdList()->Equals(file, TItemIdListComparison::ilcExact));
    EXPECT_TRUE(TItemIdListHelper::IsNullOrInvalid(items[2]->ItemIdList()));
    EXPECT_TRUE(TItemIdListHelper::IsNullOrInvalid(items[3]->ItemIdList()))
        << "a file that went is checked, not taken from the list's memory";
}

// ---- check boxes ------------------------------------------------------------------------------

TEST_F(WorkItemsTest, CheckBoxItemsReadTheSelectionList)
{
    fSelection = std::make_unique<TKivSelectionList>();
    fSelection->SetWorkerPool(fPool);
    ASSERT_TRUE(fSelection->AddPathToSelection(QStringLiteral("/docs")));
    using S = TKivSelectionState;
    const std::pair<IItemIdListPtr, S> cases[] = {
        {ListOf(QStringLiteral("docs/a.txt")), S::ssChecked},
        {ListOf(QStringLiteral("other.txt")), S::ssUnChecked},
        {InvalidItemIdList(), S::ssDisabled},
    };
    std::vector<std::shared_ptr<TCheckBoxWorkItem>> items;
    for (const auto& [list, state] : cases) {
        items.push_back(TCheckBoxWorkItem::Create(
            list, *fSelection, static_cast<std::intptr_t>(items.size()), fViewer, fToken));
        fPool->AddWorkItem(items.back(), TPriority::Normal);
    }
    ASSERT_TRUE(fUi.RunUntil([this] { return fViewer->CheckBoxes.size() == 3; }));
    EXPECT_TRUE(fViewer->AllOnUiThread);
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->SelectionState(), cases[i].second) << i;
        EXPECT_EQ(items[i]->IsSubItemOf(), i == 0) << i;
    }
}

TEST_F(WorkItemsTest, CancelledDeliveriesOfEveryKindAreDropped)
{
    fSelection = std::make_unique<TKivSelectionList>();
    const IItemIdListPtr file = ListOf(QStringLiteral("docs/a.txt"));
    const std::vector<IWorkItemPtr> items = {
        TThumbnailWorkItem::Create(file, 16, 16, 0, 0, fViewer, fToken),
        TIconWorkItem::Create(file, {TIconType::itNormal}, 0, fViewer, fToken, fViewer),
        TKivItemIdListWorkItem::Create({}, file, 0, fViewer, fToken),
        TCheckBoxWorkItem::Create(file, *fSelection, 0, fViewer, fToken),
    };
    for (const IWorkItemPtr& item : items)
        RunOnWorker(item);
    fToken->Cancel();
    EXPECT_GE(fUi.RunPending(), items.size()) << "each had queued its delivery";
    EXPECT_EQ(fViewer->Calls, 0);
}

} // namespace
} // namespace kiv

#include "core/shell/KivShellLink.h"

#include "core/platform/IPlatform.h"
#include "core/selection/KivSelectionList.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/threading/KivThreading.h"
#include "core/threading/ThreadPool.h"
#include "platform/memory/MemoryPlatform.h"

#include <QStringList>

#include <gtest/gtest.h>
#include <map>

namespace kiv {
namespace {

// A control that records what the link tells it, as "Name:call:folder" lines in one journal
// shared by all controls, so the order across controls shows too.
class TRecordingControl
    : public IKivShellControl
    , public IKivSupportsFilter
{
public:
    TRecordingControl(QString pName, QStringList& pJournal)
        : fName(std::move(pName))
        , fJournal(pJournal)
    {
    }

    void SetShellLink(TKivShellLink* pLink) override
    {
        fLink = pLink;
        fJournal.append(fName + (pLink ? QStringLiteral(":link") : QStringLiteral(":unlink")));
    }
    TKivShellLink* GetShellLink() const override { return fLink; }
    void ChangeFolder(const IItemIdListPtr& pFolder) override
    {
        fJournal.append(fName + QStringLiteral(":folder:") + pFolder->Name());
        if (OnChangeFolder)
            OnChangeFolder(pFolder);
    }
    void SelectFile(const IItemIdListPtr& pFolder, const IItemIdListPtr& pFile) override
    {
        fJournal.append(fName + QStringLiteral(":file:") + pFolder->Concat(pFile)->Name());
    }
    void SelectAll() override { fJournal.append(fName + QStringLiteral(":all")); }
    void Refresh(TRefreshLevel pLevel, const IItemIdListPtr& pList) override
    {
        fJournal.append(fName + QStringLiteral(":refresh:") + QString::number(int(pLevel)) +
                        QChar(u':') +
                        (pList ? pList->Path().section(QChar(u'/'), -1) : QStringLiteral("-")));
    }
    bool GoUp() override
    {
        fJournal.append(fName + QStringLiteral(":up"));
        return CanGoUp;
    }
    void SetFilter(const QString& pFilter) override
    {
        fJournal.append(fName + QStringLiteral(":filter:") + pFilter);
    }

    bool CanGoUp = false;
    std::function<void(const IItemIdListPtr&)> OnChangeFolder;

private:
    QString fName;
    QStringList& fJournal;
    TKivShellLink* fLink = nullptr;
};

// Folders a..d in memory; a tree, a list and a bar linked to one link.
class ShellLinkTest : public ::testing::Test
{
protected:
    ShellLinkTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        for (const char* name : {"a", "b", "c", "d"})
            fNodes[name] = &fMemory->Root().AddFolder(QString::fromLatin1(name));
        fNodes["a"]->AddFile(QStringLiteral("f"), 3);
        fNodes["a"]->AddFile(QStringLiteral("g"), 4);
        fLink = std::make_unique<TKivShellLink>();
        fLink->SelectionList().SetWorkerPool(fPool);
        for (TRecordingControl* control : {&fTree, &fList, &fBar}) {
            fLink->RegisterShellControl(control);
            control->SetShellLink(fLink.get());
        }
        fLink->OnChange = [this](TKivShellLink&, const IItemIdListPtr& pFolder) {
            fJournal.append(QStringLiteral("OnChange:") +
                            (pFolder ? pFolder->Name() : QStringLiteral("-")));
        };
        fJournal.clear();
    }
    // The selection list's folder listings run on the test's pool; joining its workers before
    // the memory platform goes keeps a listing from reading a freed tree.
    ~ShellLinkTest() override
    {
        fLink.reset();
        if (auto* pool = dynamic_cast<TWorkerThreadPool*>(fPool.get()))
            pool->TerminateAllThreads(true);
        fPool.reset();
        TSpecialFolders::Reset();
    }

    IItemIdListPtr Folder(const char* pName)
    {
        return TKivItemIdList::Create(fMemory->ListOf(*fNodes.at(pName)));
    }
    QStringList TakeJournal() { return std::exchange(fJournal, {}); }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    IWorkerThreadPoolPtr fPool = TWorkerPool::CreateInstance(TWorkerPoolConfig{});
    std::map<std::string, pf::mem::TMemoryNode*> fNodes;
    QStringList fJournal;
    TRecordingControl fTree{QStringLiteral("tree"), fJournal};
    TRecordingControl fList{QStringLiteral("list"), fJournal};
    TRecordingControl fBar{QStringLiteral("bar"), fJournal};
    std::unique_ptr<TKivShellLink> fLink;
};

TEST_F(ShellLinkTest, ThreeControlsFollowOneNavigation)
{
    // The list answers the change with a navigation of its own: the link is off meanwhile.
    fList.OnChangeFolder = [this](const IItemIdListPtr&) {
        fLink->PathChanged(&fList, Folder("d"));
    };
    fLink->PathChanged(&fTree, Folder("a"));
    EXPECT_EQ(TakeJournal(),
              (QStringList{QStringLiteral("list:folder:a"), QStringLiteral("bar:folder:a"),
                           QStringLiteral("OnChange:a")}));
    EXPECT_EQ(fLink->CurrentFolderItemIdList()->Name(), QStringLiteral("a"));
    EXPECT_EQ(fLink->GetCount(), 1);

    // The current folder again: nobody is told, but the event still fires.
    fList.OnChangeFolder = nullptr;
    fLink->PathChanged(&fBar, Folder("a"));
    EXPECT_EQ(TakeJournal(), QStringList{QStringLiteral("OnChange:a")});

    // The application navigates: every control follows.
    fLink->PathChanged(nullptr, Folder("b"));
    EXPECT_EQ(TakeJournal(),
              (QStringList{QStringLiteral("tree:folder:b"), QStringLiteral("list:folder:b"),
                           QStringLiteral("bar:folder:b"), QStringLiteral("OnChange:b")}));
}

TEST_F(ShellLinkTest, VetoStopsNavigationAndIsAskedOncePerFolderInARow)
{
    int asked = 0;
    fLink->OnNavigating = [&](IKivShellControl*, const IItemIdListPtr& pFolder, bool& pCancel) {
        ++asked;
        pCancel = pFolder->Name() == QStringLiteral("b");
    };
    fLink->PathChanged(&fTree, Folder("a"));
    TakeJournal();
    fLink->PathChanged(&fTree, Folder("b"));
    fLink->PathChanged(&fList, Folder("b"));
    EXPECT_TRUE(TakeJournal().isEmpty());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(fLink->CurrentFolderItemIdList()->Name(), QStringLiteral("a"));
    EXPECT_EQ(fLink->GetCount(), 1);

    fLink->PathChanged(&fTree, Folder("c"));
    fLink->PathChanged(&fTree, Folder("b"));
    EXPECT_EQ(asked, 4);
    EXPECT_EQ(fLink->CurrentFolderItemIdList()->Name(), QStringLiteral("c"));
}

TEST_F(ShellLinkTest, HistoryMovesTakeEveryControlAlong)
{
    for (const char* name : {"a", "b", "c"})
        fLink->PathChanged(&fTree, Folder(name));
    TakeJournal();
    EXPECT_FALSE(fLink->IsMovePossible(1));

    fLink->MoveBack(1);
    EXPECT_EQ(TakeJournal(),
              (QStringList{QStringLiteral("tree:folder:b"), QStringLiteral("list:folder:b"),
                           QStringLiteral("bar:folder:b"), QStringLiteral("OnChange:b")}));
    EXPECT_EQ(fLink->GetCount(), 3); // a move is not a new visit
    EXPECT_EQ(fLink->GetPosition(), 1);

    fLink->MoveForward(1);
    EXPECT_EQ(fLink->CurrentFolderItemIdList()->Name(), QStringLiteral("c"));
    fLink->MoveBack(2);
    EXPECT_EQ(fLink->CurrentFolderItemIdList()->Name(), QStringLiteral("a"));
    TakeJournal();
    fLink->MoveBack(1); // at the first entry
    EXPECT_TRUE(TakeJournal().isEmpty());

    // A move the application vetoes leaves the history with the controls.
    fLink->OnNavigating = [](IKivShellControl*, const IItemIdListPtr&, bool& pCancel) {
        pCancel = true;
    };
    fLink->MoveForward(1);
    EXPECT_EQ(fLink->GetPosition(), 0);
    EXPECT_EQ(fLink->CurrentFolderItemIdList()->Name(), QStringLiteral("a"));

    fLink->Clear();
    EXPECT_EQ(fLink->GetCount(), 1);
    EXPECT_EQ(fLink->GetCurrentItemIDList()->Name(), QStringLiteral("a"));
}

TEST_F(ShellLinkTest, OtherRequestsReachEveryControlButTheSender)
{
    fLink->PathChanged(&fTree, Folder("a"));
    TakeJournal();
    fLink->FileChanged(
        &fList, Folder("a"),
        TKivItemIdList::Create(fMemory->ListOf(*fNodes["a"]->Child(QStringLiteral("f"))))
            ->GetLastPart());
    fLink->SelectAll(&fTree);
    fLink->FilterChanged(&fBar, QStringLiteral("*.txt"));
    fLink->Refresh(TRefreshLevel::rfSmart);
    EXPECT_EQ(TakeJournal(),
              (QStringList{QStringLiteral("tree:file:f"), QStringLiteral("bar:file:f"),
                           QStringLiteral("list:all"), QStringLiteral("bar:all"),
                           QStringLiteral("tree:filter:*.txt"), QStringLiteral("list:filter:*.txt"),
                           QStringLiteral("tree:refresh:1:-"), QStringLiteral("list:refresh:1:-"),
                           QStringLiteral("bar:refresh:1:-")}));

    // The first control that can go up ends the request; when none can, the sender goes.
    fBar.CanGoUp = true;
    fLink->GoUp(&fTree);
    EXPECT_EQ(TakeJournal(), (QStringList{QStringLiteral("list:up"), QStringLiteral("bar:up")}));
    fBar.CanGoUp = false;
    fLink->GoUp(&fTree);
    EXPECT_EQ(TakeJournal(), (QStringList{QStringLiteral("list:up"), QStringLiteral("bar:up"),
                                          QStringLiteral("tree:up")}));
}

TEST_F(ShellLinkTest, SelectionChangesRefreshCheckBoxesOncePerUpdate)
{
    TKivSelectionList& selection = fLink->SelectionList();
    selection.SetCalculateSelectedFiles(false);
    selection.AddPathToSelection(QStringLiteral("/a/f"));
    EXPECT_EQ(TakeJournal(),
              (QStringList{QStringLiteral("tree:refresh:2:f"), QStringLiteral("list:refresh:2:f"),
                           QStringLiteral("bar:refresh:2:f")}));
    selection.BeginUpdate();
    selection.AddPathToSelection(QStringLiteral("/b"));
    selection.AddPathToSelection(QStringLiteral("/c"));
    EXPECT_TRUE(fJournal.isEmpty());
    selection.EndUpdate();
    EXPECT_EQ(TakeJournal(),
              (QStringList{QStringLiteral("tree:refresh:2:-"), QStringLiteral("list:refresh:2:-"),
                           QStringLiteral("bar:refresh:2:-")}));
}

TEST_F(ShellLinkTest, DestroyingTheLinkReleasesControlsLastFirst)
{
    fLink.reset();
    EXPECT_EQ(TakeJournal(),
              (QStringList{QStringLiteral("bar:unlink"), QStringLiteral("list:unlink"),
                           QStringLiteral("tree:unlink")}));
    EXPECT_EQ(fTree.GetShellLink(), nullptr);
}

TEST(GlobalCustomIconHandlerTest, AnswersFromTheHandlerAndResetsWithoutOne)
{
    TGlobalCustomIconHandler::SetOnGetCustomIconForPath(
        [](const IKivShellControl*, const QString& pPath, TCustomizeIconEventArgs& pArgs) {
            if (pPath.endsWith(QStringLiteral(".kiv"))) {
                pArgs.SetImageIndex(7);
                pArgs.fCaption = QStringLiteral("mine");
            }
        });
    EXPECT_TRUE(TGlobalCustomIconHandler::HasCustomization(nullptr, QStringLiteral("/x.kiv")));
    EXPECT_EQ(TGlobalCustomIconHandler::GetCustomization().fImageIndex, 7);
    EXPECT_FALSE(TGlobalCustomIconHandler::HasCustomization(nullptr, QStringLiteral("/x.txt")));
    EXPECT_FALSE(TGlobalCustomIconHandler::GetCustomization().fCustomized);
    TGlobalCustomIconHandler::SetOnGetCustomIconForPath(nullptr);
    EXPECT_FALSE(TGlobalCustomIconHandler::HasCustomization(nullptr, QStringLiteral("/x.kiv")));
    EXPECT_EQ(TGlobalCustomIconHandler::GetCustomization().fImageIndex, -1);
}

} // namespace
} // namespace kiv

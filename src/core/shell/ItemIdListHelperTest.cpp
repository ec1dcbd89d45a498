#include "core/shell/ItemIdListHelper.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/threading/ThreadPool.h"
#include "core/threading/ThreadingTestSupport.h"
#include "platform/memory/MemoryPlatform.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace kiv {
namespace {

using F = TKivShellFolder;
using pf::mem::TMemoryNode;

// The in-memory namespace with a local folder, an archive, a folder whose folder offers no
// columns, and a network mount at /share whose answers a test can hold back.
class ItemIdListHelperTest : public ::testing::Test
{
protected:
    ItemIdListHelperTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        fDocs = &fMemory->Root().AddFolder(QStringLiteral("docs"));
        fDocs->ExtraAttributes = pf::sfgao::HASSUBFOLDER;
        fDocs->AddFolder(QStringLiteral("sub"));
        fZip = &fDocs->AddFile(QStringLiteral("Photos.ZIP"));
        fPlain = &fMemory->Root().AddFolder(QStringLiteral("plain"));
        fPlain->NoColumns = true;
        fShare = &fMemory->Root().AddFolder(QStringLiteral("share"));
        fVirtual = &fMemory->Root().AddFolder(QStringLiteral("virtual"));
        fVirtual->Virtual = true;
        pf::MountInfo root;
        root.MountPath = QStringLiteral("/");
        pf::MountInfo remote;
        remote.MountPath = QStringLiteral("/share");
        remote.Type = pf::DriveType::Remote;
        fMemory->SetMounts({root, remote});
    }
    ~ItemIdListHelperTest() override
    {
        // Questions that timed out go on in the helper pool: let them end before the platform
        // they ask goes away.
        fRelease.Open();
        WaitUntilHelperPoolIdle();
        TSpecialFolders::Reset();
    }

    static void WaitUntilHelperPoolIdle()
    {
        const auto pool = TItemIdListHelperThreadPool::Instance();
        while (pool->WorkItemsCount() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    IItemIdListPtr ListOf(const TMemoryNode& pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    test::TGate fRelease;
    TMemoryNode* fDocs = nullptr;
    TMemoryNode* fZip = nullptr;
    TMemoryNode* fPlain = nullptr;
    TMemoryNode* fShare = nullptr;
    TMemoryNode* fVirtual = nullptr;
};

TEST_F(ItemIdListHelperTest, ArchiveAnswersHasSubFoldersAtOnce)
{
    // A wait of 0 ms gives a future no chance: only an answer without one is Finished.
    for (const bool fileSystemOnly : {false, true}) {
        bool finished = false;
        EXPECT_EQ(TItemIdListHelper::TryHasSubFolders(ListOf(*fZip), 0, fileSystemOnly, finished),
                  !fileSystemOnly);
        EXPECT_TRUE(finished);
    }
    bool finished = false;
    EXPECT_TRUE(TItemIdListHelper::TryHasSubFolders(ListOf(*fDocs), 5000, true, finished));
    EXPECT_TRUE(finished);
    EXPECT_FALSE(TItemIdListHelper::TryHasSubFolders(ListOf(*fPlain), 5000, false, finished));
    EXPECT_TRUE(finished);
}

TEST_F(ItemIdListHelperTest, SpecialFolderThatHangsAnswersUnknownAfterTheTimeOut)
{
    fMemory->OnKnownFolderQuery = [this] { fRelease.Wait(); };
    const IItemIdListPtr docs = ListOf(*fDocs);
    bool finished = true;
    EXPECT_EQ(TItemIdListHelper::TryGetSpecialFolder(docs, 80, finished), F::SF_UNKNOWN);
    EXPECT_FALSE(finished);

    fRelease.Open();
    WaitUntilHelperPoolIdle();
    EXPECT_EQ(TItemIdListHelper::TryGetSpecialFolder(docs, 5000, finished), F::SF_FILESYSTEMFOLDER);
    EXPECT_TRUE(finished);
}

TEST_F(ItemIdListHelperTest, CancelledQuestionIsNotFinished)
{
    auto token = TCancellationToken::Create();
    token->Cancel();
    bool finished = true;
    EXPECT_EQ(TItemIdListHelper::TryGetSpecialFolder(ListOf(*fDocs), 200, finished, token),
              F::SF_UNKNOWN);
    EXPECT_FALSE(finished);
}

TEST_F(ItemIdListHelperTest, NetworkPathsComeFromTheMountTable)
{
    EXPECT_FALSE(TItemIdListHelper::IsNetworkPath(ListOf(*fDocs)));
    EXPECT_TRUE(TItemIdListHelper::IsNetworkPath(ListOf(*fShare)));
    // A virtual folder has no mount at all and is no network place.
    EXPECT_FALSE(TItemIdListHelper::IsNetworkPath(ListOf(*fVirtual)));
    EXPECT_FALSE(TItemIdListHelper::IsNetworkPath(nullptr));
    EXPECT_FALSE(TItemIdListHelper::IsUNCPath(ListOf(*fShare)));
    EXPECT_FALSE(TItemIdListHelper::IsSynchronizedCloudPath(ListOf(*fDocs)));
    EXPECT_TRUE(TItemIdListHelper::GetSynchronizedCloudPaths().empty());
}

TEST_F(ItemIdListHelperTest, LocalPathIsReachableWithoutTouchingADisk)
{
    // The mount would hang: a local path must not ask it.
    fMemory->OnDiskQuery = [this] { fRelease.Wait(); };
    EXPECT_TRUE(TItemIdListHelper::IsNetworkPathReachable(ListOf(*fDocs), 5000));
    EXPECT_TRUE(TItemIdListHelper::IsNetworkPathReachable(ListOf(*fVirtual), 5000));
    EXPECT_EQ(fMemory->DiskQueries(), 0);
}

TEST_F(ItemIdListHelperTest, NetworkMountIsReachableWhenItAnswersInTime)
{
    EXPECT_TRUE(TItemIdListHelper::IsNetworkPathReachable(ListOf(*fShare), 5000));
    EXPECT_EQ(fMemory->DiskQueries(), 1);

    fMemory->OnDiskQuery = [this] { fRelease.Wait(); };
    EXPECT_FALSE(TItemIdListHelper::IsNetworkPathReachable(ListOf(*fShare), 80));
}

TEST_F(ItemIdListHelperTest, HangingHelperQuestionsDoNotHoldUpTheGlobalPool)
{
    fMemory->OnDiskQuery = [this] { fRelease.Wait(); };
    // More hanging questions than the helper pool would need to be blocked for a while.
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(TItemIdListHelper::IsNetworkPathReachable(ListOf(*fShare), 40));
    auto future = TAnonymousFuture<int>::CreateAndQueue([] { return 7; });
    int value = 0;
    EXPECT_EQ(future->WaitFor(value, 10000), TTaskStatus::Completed);
    EXPECT_EQ(value, 7);
}

TEST_F(ItemIdListHelperTest, SmallTestsOfLists)
{
    EXPECT_TRUE(TItemIdListHelper::IsNullOrInvalid(nullptr));
    EXPECT_TRUE(TItemIdListHelper::IsNullOrInvalid(InvalidItemIdList()));
    EXPECT_FALSE(TItemIdListHelper::IsNullOrInvalid(ListOf(*fDocs)));

    EXPECT_TRUE(TItemIdListHelper::IsSimple(
        TKivItemIdList::CreateSimpleIdList(QStringLiteral("/docs/new.txt"))));
    EXPECT_FALSE(TItemIdListHelper::IsSimple(ListOf(*fDocs)));
    EXPECT_FALSE(TItemIdListHelper::IsSimple(nullptr));

    EXPECT_TRUE(TItemIdListHelper::SupportsIShellFolder2(ListOf(*fDocs)));
    EXPECT_FALSE(TItemIdListHelper::SupportsIShellFolder2(ListOf(*fPlain)));

    EXPECT_FALSE(TItemIdListHelper::IsFileAndFolder(ListOf(*fDocs)));
    fPlain->ExtraAttributes = pf::sfgao::STREAM;
    EXPECT_TRUE(TItemIdListHelper::IsFileAndFolder(ListOf(*fPlain)));
}

TEST_F(ItemIdListHelperTest, DebugInfoNamesTheListOrNil)
{
    test::TDiagnosticsCapture capture;
    TItemIdListHelper::WriteDebugInfo(nullptr, QStringLiteral("Lost"));
    TItemIdListHelper::WriteDebugInfo(ListOf(*fDocs), QStringLiteral("Found"));
    const QStringList lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Thread "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": Lost: -nil-"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral(": Found: "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("Valid"))) << lines[1].toStdString();
}

TEST_F(ItemIdListHelperTest, LateReloadSaysSoInTheDebugOutput)
{
    test::TDiagnosticsCapture capture;
    bool finished = false;
    EXPECT_TRUE(TItemIdListHelper::TryReload(ListOf(*fDocs), 5000, finished));
    EXPECT_TRUE(finished);
    EXPECT_TRUE(capture.Lines().isEmpty());
    // No time at all: the answer is late whatever the pool does.
    EXPECT_FALSE(TItemIdListHelper::TryReload(ListOf(*fDocs), 0, finished));
    EXPECT_FALSE(finished);
    ASSERT_EQ(capture.Lines().size(), 1);
    EXPECT_TRUE(capture.Lines()[0].contains(QStringLiteral(": ItemIdList.Reload timed out.: ")));
}

} // namespace
} // namespace kiv

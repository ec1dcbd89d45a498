#include "core/selection/KivSelectionList.h"

#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/IPlatform.h"
#include "core/selection/KivPathList.h"
#include "core/selection/ReadWriteSync.h"
#include "core/threading/KivThreading.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/ManualDispatcher.h"
#include "platform/memory/MemoryPlatform.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <atomic>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kiv {
namespace {

using namespace std::chrono_literals;
using S = TKivSelectionState;

// Walks run on a pool of the test's own and are delivered when the test runs the manual
// dispatcher; the list goes first, then the pool (joining its workers), then the dispatcher.
class SelectionFixture : public ::testing::Test
{
protected:
    explicit SelectionFixture(std::unique_ptr<pf::IPlatform> pPlatform)
        : fPlatform(std::move(pPlatform))
    {
    }
    ~SelectionFixture() override
    {
        fList.reset();
        StopPool();
    }
    // Once it returns no worker runs the pool's code, so the pool can go.
    void StopPool()
    {
        if (auto* pool = dynamic_cast<TWorkerThreadPool*>(fPool.get()))
            pool->TerminateAllThreads(true);
        fPool.reset();
    }

    bool WaitForTotals()
    {
        return fUi.RunUntil([this] { return fList->PendingCalculations() == 0; }, 20s);
    }

    pf::fake::ManualDispatcher fUi;
    pf::TScopedUi fScopedUi{fUi};
    pf::TScopedPlatform fPlatform;
    IWorkerThreadPoolPtr fPool = TWorkerPool::CreateInstance(TWorkerPoolConfig{});
    std::unique_ptr<TKivSelectionList> fList = MakeList();

    std::unique_ptr<TKivSelectionList> MakeList()
    {
        auto list = std::make_unique<TKivSelectionList>();
        list->SetWorkerPool(fPool);
        return list;
    }
};

// Real temporary folders:
//   a/x (1 byte)  a/y (2)  a/sub/z (4)  b/w (8)  c (16)  e/inner/ (empty)  k/A (32)  k/a (64)
//   "a b" (128)
class SelectionTest : public SelectionFixture
{
protected:
    SelectionTest()
        : SelectionFixture(pf::lnx::CreateLinuxPlatform())
    {
        const std::pair<const char*, int> files[] = {{"a/x", 1},  {"a/y", 2},  {"a/sub/z", 4},
                                                     {"b/w", 8},  {"c", 16},   {"k/A", 32},
                                                     {"k/a", 64}, {"a b", 128}};
        for (const auto& [name, size] : files)
            fDir.CreateFile(QString::fromUtf8(name), QByteArray(size, 'x'));
        fDir.CreateFolder(QStringLiteral("e/inner"));
    }

    QString P(const QString& pRelative) const
    {
        return pRelative.isEmpty() ? fDir.Path() : fDir.Join(pRelative);
    }
    // The entries relative to the test folder, sorted.
    QStringList Entries() const
    {
        QStringList entries;
        for (const QString& path : fList->Paths())
            entries.append(path.mid(fDir.Path().size() + 1));
        entries.sort();
        return entries;
    }

    test::TestDir fDir;
};

// One scenario on the tree above: "+p" checks, "-p" unchecks (paths relative, "" = the test
// folder); then the entries, the states of some paths ("checked" through itself, "sub" through
// an ancestor) and the totals.
struct TSelectionCase
{
    const char* Name;
    std::vector<const char*> Steps;
    QStringList Entries;
    std::vector<std::pair<const char*, const char*>> States;
    std::uint64_t Size;
    std::uint64_t Files;
    std::uint64_t Folders;
};

void PrintTo(const TSelectionCase& pCase, std::ostream* pOut)
{
    *pOut << pCase.Name;
}

class SelectionCaseTest
    : public SelectionTest
    , public ::testing::WithParamInterface<TSelectionCase>
{
};

const char* StateName(S pState, bool pSub)
{
    switch (pState) {
    case S::ssChecked:
        return pSub ? "sub" : "checked";
    case S::ssGrayed:
        return "grayed";
    case S::ssUnChecked:
        return "unchecked";
    case S::ssDisabled:
        return "disabled";
    case S::ssUnused:
        break;
    }
    return "unused";
}

TEST_P(SelectionCaseTest, StepsLeaveEntriesStatesAndTotals)
{
    const TSelectionCase& c = GetParam();
    // Deliveries arrive between steps, as they do between a user's clicks.
    for (const char* step : c.Steps) {
        const QString path = P(QString::fromUtf8(step + 1));
        if (step[0] == '+')
            fList->AddPathToSelection(path);
        else
            fList->RemovePathFromSelection(path);
        ASSERT_TRUE(WaitForTotals());
    }
    EXPECT_EQ(Entries(), c.Entries);
    for (const auto& [path, expected] : c.States) {
        bool sub = false;
        const S state = fList->IsPathSelected(P(QString::fromUtf8(path)), sub);
        EXPECT_STREQ(StateName(state, sub), expected) << path;
    }
    ASSERT_TRUE(WaitForTotals());
    EXPECT_EQ(fList->Size(), c.Size);
    EXPECT_EQ(fList->FileCount(), c.Files);
    EXPECT_EQ(fList->FolderCount(), c.Folders);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SelectionCaseTest,
    ::testing::Values(
        TSelectionCase{"FolderThenFileInside",
                       {"+a", "+a/x"},
                       {"a/*"},
                       {{"a", "checked"}, {"a/x", "sub"}, {"a/sub/z", "sub"}, {"", "grayed"}},
                       7,
                       3,
                       2},
        TSelectionCase{"EveryFileOneByOneMergesUpwards",
                       {"+a/x", "+a/y", "+a/sub/z"},
                       {"a/*"},
                       {{"a", "checked"}, {"a/sub", "sub"}, {"b", "unchecked"}},
                       7,
                       3,
                       2},
        TSelectionCase{"FilesThenTheirFolderCountOnce",
                       {"+a/x", "+a/sub/z", "+a"},
                       {"a/*"},
                       {{"a/x", "sub"}},
                       7,
                       3,
                       2},
        TSelectionCase{"UncheckingAChildSplitsTheFolder",
                       {"+a", "-a/x"},
                       {"a/sub/*", "a/y"},
                       {{"a", "grayed"}, {"a/x", "unchecked"}, {"a/sub/z", "sub"}},
                       6,
                       2,
                       1},
        TSelectionCase{"UncheckingADeepChildSplitsEveryLevel",
                       {"+a", "-a/sub/z"},
                       {"a/x", "a/y"},
                       {{"a", "grayed"}, {"a/sub", "unchecked"}},
                       3,
                       2,
                       0},
        TSelectionCase{"UncheckingAGrayedFolderRemovesWhatIsBelow",
                       {"+a/x", "+a/sub/z", "-a"},
                       {},
                       {{"a", "unchecked"}, {"a/x", "unchecked"}},
                       0,
                       0,
                       0},
        TSelectionCase{"EmptyFolderNeverCompletesItsParent",
                       {"+e/inner"},
                       {"e/inner/*"},
                       {{"e", "grayed"}, {"e/inner", "checked"}},
                       0,
                       0,
                       1},
        TSelectionCase{"NamesDifferingInCaseAreDifferentPaths",
                       {"+k/A"},
                       {"k/A"},
                       {{"k/A", "checked"}, {"k/a", "unchecked"}, {"k", "grayed"}},
                       32,
                       1,
                       0},
        TSelectionCase{"MissingPathIsNotAdded",
                       {"+nothing", "+a/nothing"},
                       {},
                       {{"nothing", "disabled"}, {"a", "unchecked"}},
                       0,
                       0,
                       0}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(SelectionTest, InvalidPathIsReportedAndKeptOnlyWhenAsked)
{
    QStringList invalid;
    fList->OnInvalidPath = [&](TKivSelectionList&, const QString& pPath) { invalid.append(pPath); };
    EXPECT_FALSE(fList->AddPathToSelection(P(QStringLiteral("gone"))));
    EXPECT_EQ(invalid, QStringList{P(QStringLiteral("gone"))});
    EXPECT_TRUE(fList->IsEmpty());

    fList->SetRemoveInvalidPaths(false);
    EXPECT_TRUE(fList->AddPathToSelection(P(QStringLiteral("gone"))));
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("gone")});
}

// Completion keeps a folder's listing and trusts it while the folder's write time stands still,
// once the folder had been quiet a while when it was listed; a name added since moves the time.
TEST_F(SelectionTest, NameAddedAfterTheFolderWasListedKeepsItIncomplete)
{
    fDir.CreateFile(QStringLiteral("b/v"), "v");
    const QByteArray folder = QFile::encodeName(P(QStringLiteral("b")));
    timespec anHourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.constData(), anHourAgo, 0), 0);

    fList->AddPathToSelection(P(QStringLiteral("b/w")));
    ASSERT_TRUE(WaitForTotals());
    fDir.CreateFile(QStringLiteral("b/u"), "u");
    fList->AddPathToSelection(P(QStringLiteral("b/v")));
    ASSERT_TRUE(WaitForTotals());
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("b/v"), QStringLiteral("b/w")}));
    fList->AddPathToSelection(P(QStringLiteral("b/u")));
    ASSERT_TRUE(WaitForTotals());
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("b/*")});
}

// A folder's children are counted on a worker after the first check in it; checks that come
// before the count is back complete the folder when it arrives.
TEST_F(SelectionTest, ChecksAheadOfTheFolderCountCompleteWhenItArrives)
{
    for (const char* name : {"a/x", "a/y", "a/sub/z"})
        ASSERT_TRUE(fList->AddPathToSelection(P(QString::fromUtf8(name))));
    ASSERT_TRUE(WaitForTotals());
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("a/*")});
    EXPECT_EQ(fList->Size(), 7u);
}

TEST_F(SelectionTest, CountsStillOutWhenTheListGoesAreNotDelivered)
{
    for (const char* name : {"a/x", "b/w", "k/A"})
        fList->AddPathToSelection(P(QString::fromUtf8(name)));
    fList.reset();
    // Let the workers finish, then serve what they queued: nothing reaches the list.
    StopPool();
    fUi.RunPending();
}

TEST_F(SelectionTest, RenameMovesTheEntriesBelowAndKeepsTotals)
{
    fList->AddPathToSelection(P(QStringLiteral("a/x")));
    fList->AddPathToSelection(P(QStringLiteral("a/sub/z")));
    fList->AddPathToSelection(P(QStringLiteral("a b")));
    ASSERT_TRUE(WaitForTotals());
    const std::uint64_t size = fList->Size();

    ASSERT_TRUE(QDir().rename(P(QStringLiteral("a")), P(QStringLiteral("r"))));
    fList->PathWasRenamed(P(QStringLiteral("a")), P(QStringLiteral("r")));

    // "a b" shares the first letter and the text up to the blank, not the folder.
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("a b"), QStringLiteral("r/sub/*"),
                                      QStringLiteral("r/x")}));
    bool sub = false;
    EXPECT_EQ(fList->IsPathSelected(P(QStringLiteral("r/sub/z")), sub), S::ssChecked);
    EXPECT_TRUE(sub);
    EXPECT_EQ(fList->Size(), size);
    // The renamed folder completes like any other.
    fList->AddPathToSelection(P(QStringLiteral("r/y")));
    ASSERT_TRUE(WaitForTotals());
    EXPECT_TRUE(Entries().contains(QStringLiteral("r/*")));
}

TEST_F(SelectionTest, RenameOfAFolderWhoseWalkIsRunningKeepsItsTotals)
{
    fList->AddPathToSelection(P(QStringLiteral("a")));
    // Renamed before the walk is delivered: the delivery finds the entry under its new name.
    fList->PathWasRenamed(P(QStringLiteral("a")), P(QStringLiteral("r")));
    ASSERT_TRUE(WaitForTotals());
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("r/*")});
    EXPECT_EQ(fList->Size(), 7u);
}

// A tree with nested folders, links back into it and a link out to a folder that links back:
//   t/f1 (10)  t/d1/f2 (20)  t/d1/d2/f3 (30)  t/d1/d2/loop -> ../..  t/f1link -> f1
//   t/out -> ../o   o/f4 (40)  o/back -> ../t
class TotalsTest
    : public SelectionTest
    , public ::testing::WithParamInterface<bool>
{
};

TEST_P(TotalsTest, TreeWithLinkLoopsCountsEachFileOnce)
{
    fDir.CreateFile(QStringLiteral("t/f1"), QByteArray(10, 'x'));
    fDir.CreateFile(QStringLiteral("t/d1/f2"), QByteArray(20, 'x'));
    fDir.CreateFile(QStringLiteral("t/d1/d2/f3"), QByteArray(30, 'x'));
    fDir.CreateFile(QStringLiteral("o/f4"), QByteArray(40, 'x'));
    ASSERT_TRUE(QFile::link(QStringLiteral("../.."), P(QStringLiteral("t/d1/d2/loop"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("f1"), P(QStringLiteral("t/f1link"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("../o"), P(QStringLiteral("t/out"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("../t"), P(QStringLiteral("o/back"))));

    const bool follow = GetParam();
    fList->SetFollowReparsePoint(follow);
    fList->AddPathToSelection(P(QStringLiteral("t")));
    ASSERT_TRUE(WaitForTotals());
    // Followed, only the folder outside adds its file and itself.
    EXPECT_EQ(fList->Size(), follow ? 100u : 60u);
    EXPECT_EQ(fList->FileCount(), follow ? 4u : 3u);
    EXPECT_EQ(fList->FolderCount(), follow ? 4u : 3u);

    // The list of all files walks the same tree.
    QStringList files = fList->GetListOfAllFiles()->Paths();
    files.sort();
    QStringList expected{P(QStringLiteral("t/d1/d2/f3")), P(QStringLiteral("t/d1/f2")),
                         P(QStringLiteral("t/f1"))};
    if (!follow)
        EXPECT_EQ(files, expected);
    else
        EXPECT_TRUE(files.contains(expected[0]) && files.contains(expected[2]));
}

INSTANTIATE_TEST_SUITE_P(Links, TotalsTest, ::testing::Values(false, true),
                         [](const auto& pInfo) { return pInfo.param ? "Followed" : "Skipped"; });

TEST_F(SelectionTest, FindNextGivesFileEntriesThenFilesBelowFolders)
{
    fList->AddPathToSelection(P(QStringLiteral("c")));
    fList->AddPathToSelection(P(QStringLiteral("a")));
    QStringList walked;
    for (QString next = fList->FindNext(); !next.isEmpty(); next = fList->FindNext())
        walked.append(next);
    ASSERT_EQ(walked.size(), 4);
    EXPECT_EQ(walked.first(), P(QStringLiteral("c")));
    QStringList below = walked.mid(1);
    below.sort();
    EXPECT_EQ(below, (QStringList{P(QStringLiteral("a/sub/z")), P(QStringLiteral("a/x")),
                                  P(QStringLiteral("a/y"))}));
    // The walk ended and starts again; a change resets it too.
    EXPECT_EQ(fList->FindNext(), P(QStringLiteral("c")));
    fList->RemovePathFromSelection(P(QStringLiteral("c")));
    EXPECT_NE(fList->FindNext(), P(QStringLiteral("c")));
}

// Names the file's syntax would otherwise change or lose, names differing only in case, and a
// name that is not UTF-8.
TEST_F(SelectionTest, IniRoundTripKeepsOddNamesAndOtherSections)
{
    const QStringList names{
        QStringLiteral("a=b"),       QStringLiteral("%41"),    QStringLiteral(";semi"),
        QStringLiteral("[sec]"),     QStringLiteral(" lead"),  QStringLiteral("trail "),
        QStringLiteral("new\nline"), QStringLiteral("日本語"), QStringLiteral("Case"),
        QStringLiteral("case"),      QStringLiteral("*")};
    for (const QString& name : names)
        fDir.CreateFile(QStringLiteral("odd/") + name, "1");
    fDir.CreateFile(QStringLiteral("odd/keep"));
    fDir.CreateFolder(QStringLiteral("odd/dir=x/in"));
    const std::string raw = pf::EncodeFileName(P(QStringLiteral("odd"))) + "/\xff\xfe";
    const int fd = ::open(raw.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    for (const QString& name : names)
        ASSERT_TRUE(fList->AddPathToSelection(P(QStringLiteral("odd/") + name)))
            << name.toStdString();
    ASSERT_TRUE(fList->AddPathToSelection(P(QStringLiteral("odd/dir=x"))));
    ASSERT_TRUE(fList->AddPathToSelection(pf::DecodeFileName(raw)));
    const QStringList saved = Entries();
    ASSERT_EQ(saved.size(), names.size() + 2);

    const QString ini = fDir.CreateFile(QStringLiteral("sel.ini"), "[other]\r\nkey=1\r\n");
    ASSERT_TRUE(fList->SaveToIniFile(ini, QStringLiteral("Selection")));

    fList = MakeList();
    ASSERT_TRUE(fList->LoadFromIniFile(ini, QStringLiteral("Selection")));
    EXPECT_EQ(Entries(), saved);
    EXPECT_EQ(fList->IsPathSelected(P(QStringLiteral("odd/keep"))), S::ssUnChecked);
    EXPECT_EQ(fList->IsPathSelected(P(QStringLiteral("odd/*"))), S::ssChecked);
    EXPECT_TRUE(fDir.ReadFile(QStringLiteral("sel.ini")).startsWith("[other]\r\nkey=1\r\n"));

    // A file that is not there loads as an empty list.
    EXPECT_TRUE(fList->LoadFromIniFile(P(QStringLiteral("none.ini")), QStringLiteral("Selection")));
    EXPECT_TRUE(fList->IsEmpty());
    ::unlink(raw.c_str()); // a name the temporary folder's clean-up cannot spell
}

// Readers on several threads while the writer checks, merges, splits and clears.
TEST_F(SelectionTest, ReadersRunWhileTheWriterChanges)
{
    for (int folder = 0; folder < 4; ++folder) {
        for (int file = 0; file < 10; ++file)
            fDir.CreateFile(QStringLiteral("m/%1/%2").arg(folder).arg(file), "12");
    }
    std::atomic<bool> stop{false};
    std::atomic<int> answers{0};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 3; ++reader) {
        readers.emplace_back([&, reader] {
            while (!stop.load()) {
                const S state = fList->IsPathSelected(P(QStringLiteral("m/%1/5").arg(reader)));
                EXPECT_TRUE(state == S::ssChecked || state == S::ssUnChecked);
                fList->Paths();
                fList->Count();
                answers.fetch_add(1);
            }
        });
    }
    for (int round = 0; round < 3; ++round) {
        for (int folder = 0; folder < 4; ++folder) {
            for (int file = 0; file < 10; ++file)
                fList->AddPathToSelection(P(QStringLiteral("m/%1/%2").arg(folder).arg(file)));
        }
        fList->RemovePathFromSelection(P(QStringLiteral("m/2/3")));
        fUi.RunPending();
        fList->Clear();
    }
    // Folder counts started by the checks are delivered here too.
    fUi.RunUntil([&] { return answers.load() > 100 && fList->PendingCalculations() == 0; }, 10s);
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_GT(answers.load(), 0);
    EXPECT_EQ(fList->PendingCalculations(), 0);
    EXPECT_EQ(fList->Size(), 0u);
}

TEST(ReadWriteSyncTest, WriterReentersAndReadersWaitForIt)
{
    TReadWriteSync sync;
    sync.BeginWrite();
    sync.BeginRead(); // a question asked while changing
    sync.BeginWrite();
    sync.EndWrite();
    sync.EndRead();
    auto reader = std::async(std::launch::async, [&] {
        const TReadLock lock(sync);
        return true;
    });
    EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    sync.EndWrite();
    EXPECT_TRUE(reader.get());
}

// A folder on a dead network mount: its walk hangs, the others' totals still arrive, and
// unchecking it drops its walk.
class DeadMountTest : public SelectionFixture
{
protected:
    DeadMountTest()
        : DeadMountTest(new pf::mem::TMemoryPlatform())
    {
    }
    explicit DeadMountTest(pf::mem::TMemoryPlatform* pMemory)
        : SelectionFixture(std::unique_ptr<pf::IPlatform>(pMemory))
        , fMemory(pMemory)
    {
        pf::mem::TMemoryNode& net = fMemory->Root().AddFolder(QStringLiteral("net"));
        net.AddFolder(QStringLiteral("dead")).AddFile(QStringLiteral("f"), 1000);
        net.AddFolder(QStringLiteral("other"));
        pf::mem::TMemoryNode& local = fMemory->Root().AddFolder(QStringLiteral("local"));
        pf::mem::TMemoryNode& x = local.AddFolder(QStringLiteral("x"));
        x.AddFile(QStringLiteral("f1"), 5);
        x.AddFolder(QStringLiteral("y")).AddFile(QStringLiteral("f2"), 7);
        local.AddFile(QStringLiteral("z"), 1);
        fMemory->OnTreeWalk = [this](const QString& pFolder) {
            if (pFolder.startsWith(u"/net"))
                fGate.wait();
        };
    }
    ~DeadMountTest() override
    {
        fRelease.set_value();
        fList.reset();
        StopPool();
    }

    pf::mem::TMemoryPlatform* fMemory;
    std::promise<void> fRelease;
    std::shared_future<void> fGate = fRelease.get_future().share();
};

TEST_F(DeadMountTest, OtherTotalsArriveAndUncheckingDropsTheHungWalk)
{
    int completions = 0;
    fList->OnCompletedCalculateFiles = [&](TKivSelectionList&) { ++completions; };
    fList->AddPathToSelection(QStringLiteral("/net/dead"));
    fList->AddPathToSelection(QStringLiteral("/local/x"));
    ASSERT_TRUE(fUi.RunUntil([&] { return fList->PendingCalculations() == 1; }, 20s));
    EXPECT_EQ(fList->Size(), 12u);
    EXPECT_EQ(fList->FileCount(), 2u);
    EXPECT_EQ(fList->FolderCount(), 2u);
    EXPECT_GE(completions, 1);

    fList->RemovePathFromSelection(QStringLiteral("/net/dead"));
    EXPECT_EQ(fList->PendingCalculations(), 0);
    fRelease.set_value();
    fRelease = std::promise<void>();
    if (auto* pool = dynamic_cast<TWorkerThreadPool*>(fPool.get()))
        pool->TerminateAllThreads(true);
    fUi.RunPending();
    EXPECT_EQ(fList->Size(), 12u);
    EXPECT_EQ(fList->Paths(), QStringList{QStringLiteral("/local/x/*")});
}

TEST(PathListTest, HeldOncePerCaseSensitivePathWithEvents)
{
    pf::TScopedPlatform platform(std::make_unique<pf::mem::TMemoryPlatform>());
    TKivPathList list;
    QStringList added;
    QStringList removed;
    list.OnAdd = [&](TKivPathList&, const QString& pPath) { added.append(pPath); };
    list.OnRemove = [&](TKivPathList&, const QString& pPath) { removed.append(pPath); };
    EXPECT_EQ(list.AddObject(QStringLiteral("/x/A/")), 0);
    EXPECT_EQ(list.AddObject(QStringLiteral("/x/A")), 0);
    EXPECT_EQ(list.AddObject(QStringLiteral("/x/a")), 1);
    EXPECT_EQ(list.AddObject(QString()), -1);
    EXPECT_EQ(added, (QStringList{QStringLiteral("/x/A"), QStringLiteral("/x/a")}));
    EXPECT_TRUE(list.Remove(QStringLiteral("/x/A")));
    EXPECT_EQ(list.IndexOfPath(QStringLiteral("/x/a")), 0);
    EXPECT_EQ(removed, QStringList{QStringLiteral("/x/A")});

    EXPECT_TRUE(TKivPathList::IsSubPathOf(QStringLiteral("/x"), QStringLiteral("/x/y")));
    EXPECT_FALSE(TKivPathList::IsSubPathOf(QStringLiteral("/x"), QStringLiteral("/xy")));
    EXPECT_FALSE(TKivPathList::IsSubPathOf(QStringLiteral("/x"), QStringLiteral("/x/")));
    EXPECT_FALSE(TKivPathList::IsSubPathOf(QStringLiteral("/x"), QStringLiteral("/X/y")));
    EXPECT_TRUE(TKivPathList::IsUNCPath(QStringLiteral("//host/share")));
    EXPECT_FALSE(TKivPathList::IsUNCPath(QStringLiteral("///x")));
    EXPECT_TRUE(TKivPathList::IsUncServer(QStringLiteral("\\\\host")));
    EXPECT_FALSE(TKivPathList::IsUncServer(QStringLiteral("\\\\host\\share")));
    EXPECT_TRUE(TKivPathList::IsUSBDevicePath(QStringLiteral("\\\\?\\USB#VID_1234")));
}

} // namespace
} // namespace kiv

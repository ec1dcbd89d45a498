#include "core/shell/KivShellHistory.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryPlatform.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <tuple>
#include <vector>

namespace kiv {
namespace {

// One history scenario: a script of steps, then what the history must hold.
struct THistoryCase
{
    const char* Name;
    // Space-separated steps: a letter adds that folder, "-" adds null, "?" an invalid list,
    // "~x" makes folder x vanish, "<n" / ">n" move back / forward n steps, "@n" sets the
    // position, "clear" clears.
    const char* Script;
    const char* Entries; // the folders held, oldest first, space-separated
    int Position;        // GetPosition()
    const char* Current; // the current folder's letter, "" for none
    int Back;            // the largest |delta| that IsMovePossible allows backwards
    int Forward;         // and forwards
};

void PrintTo(const THistoryCase& pCase, std::ostream* pOut)
{
    *pOut << pCase.Name;
}

// Folders a..f in the in-memory namespace; "s" lies on a network mount.
class HistoryMemoryTest : public ::testing::TestWithParam<THistoryCase>
{
protected:
    HistoryMemoryTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        for (const char* name : {"a", "b", "c", "d", "e", "f", "s"}) {
            pf::mem::TMemoryNode& node = fMemory->Root().AddFolder(QString::fromLatin1(name));
            fNodes[QString::fromLatin1(name)] = &node;
        }
        pf::MountInfo root;
        root.MountPath = QStringLiteral("/");
        pf::MountInfo remote;
        remote.MountPath = QStringLiteral("/s");
        remote.Type = pf::DriveType::Remote;
        fMemory->SetMounts({root, remote});
    }
    ~HistoryMemoryTest() override { TSpecialFolders::Reset(); }

    IItemIdListPtr Folder(const QString& pName)
    {
        return TKivItemIdList::Create(fMemory->ListOf(*fNodes.at(pName)));
    }

    void Run(const QString& pScript)
    {
        for (const QString& step : pScript.split(u' ', Qt::SkipEmptyParts)) {
            const QString rest = step.mid(1);
            if (step == QStringLiteral("clear"))
                fHistory->Clear();
            else if (step == QStringLiteral("-"))
                fHistory->Add(nullptr);
            else if (step == QStringLiteral("?"))
                fHistory->Add(InvalidItemIdList());
            else if (step.startsWith(u'~'))
                fNodes.at(rest)->Vanished = true;
            else if (step.startsWith(u'<'))
                fHistory->MoveBack(static_cast<std::uint8_t>(rest.toInt()));
            else if (step.startsWith(u'>'))
                fHistory->MoveForward(static_cast<std::uint8_t>(rest.toInt()));
            else if (step.startsWith(u'@'))
                fHistory->SetPosition(rest.toInt());
            else
                fHistory->Add(Folder(step));
        }
    }

    // The letter of a memory folder's list ("/b" -> "b").
    static QString Letter(const IItemIdListPtr& pList)
    {
        return pList ? pList->Path().mid(1) : QString();
    }

    QString Held() const
    {
        QStringList letters;
        for (const IItemIdListPtr& entry : fHistory->Entries())
            letters << Letter(entry);
        return letters.join(u' ');
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    std::map<QString, pf::mem::TMemoryNode*> fNodes;
    std::shared_ptr<TPidlHistory> fHistory = TPidlHistory::Create();
};

TEST_P(HistoryMemoryTest, Script)
{
    const THistoryCase& expected = GetParam();
    Run(QString::fromLatin1(expected.Script));

    EXPECT_EQ(Held(), QString::fromLatin1(expected.Entries));
    EXPECT_EQ(fHistory->GetCount(), fHistory->Entries().size());
    EXPECT_EQ(fHistory->GetPosition(), expected.Position);
    EXPECT_EQ(Letter(fHistory->GetCurrentItemIDList()), QString::fromLatin1(expected.Current));
    const bool hasCurrent = *expected.Current != '\0';
    for (int delta = -expected.Back - 2; delta <= expected.Forward + 2; ++delta) {
        const bool possible =
            hasCurrent && (delta > 0 ? delta <= expected.Forward : -delta <= expected.Back);
        EXPECT_EQ(fHistory->IsMovePossible(delta), possible) << "delta " << delta;
    }
}

const THistoryCase kHistoryCases[] = {
    {"Empty", "", "", -1, "", 0, 0},
    {"NullAndInvalidAreIgnored", "a - ?", "a", 0, "a", 0, 0},
    {"ThreeVisits", "a b c", "a b c", 2, "c", 2, 0},
    {"AddAfterMovingBackPrunesForward", "a b c <1 d", "a b d", 2, "d", 2, 0},
    {"AddAtTheFirstEntryPrunesAllForward", "a b c <2 d", "a d", 1, "d", 1, 0},
    {"SameFolderAgainKeepsTheCount", "a b c c", "a b c", 2, "c", 2, 0},
    {"SameFolderAgainInTheMiddleDropsForward", "a b c <1 b", "a b", 1, "b", 1, 0},
    {"OlderDuplicatesStay", "a b a", "a b a", 2, "a", 2, 0},
    {"BackStopsAtTheFirst", "a b c <5", "a b c", 0, "a", 0, 2},
    {"ForwardStopsAtTheLast", "a b c <2 >9", "a b c", 2, "c", 2, 0},
    {"BackAndForward", "a b c d <3 >1", "a b c d", 1, "b", 1, 2},
    {"ZeroStepsStay", "a b c <1 <0 >0", "a b c", 1, "b", 1, 1},
    {"MovesOnEmptyDoNothing", "<1 >1", "", -1, "", 0, 0},
    {"VanishedCurrentIsDropped", "a b ~b c", "a c", 1, "c", 1, 0},
    {"VanishedCurrentInTheMiddle", "a b c <1 ~b d", "a d", 1, "d", 1, 0},
    {"VanishedOnlyEntry", "a ~a b", "b", 0, "b", 0, 0},
    {"VanishedFirstWithForward", "a b c <2 ~a d", "d", 0, "d", 0, 0},
    {"OnlyTheCurrentIsChecked", "a b ~a c", "a b c", 2, "c", 2, 0},
    {"VanishedNetworkPlaceIsKept", "a s ~s b", "a s b", 2, "b", 2, 0},
    {"Clear", "a b c clear", "", -1, "", 0, 0},
    {"AddAfterClear", "a b clear c", "c", 0, "c", 0, 0},
    {"SetPositionThenAdd", "a b c @0 d", "a d", 1, "d", 1, 0},
    {"PositionPastTheEndHasNoCurrent", "a b @7", "a b", 7, "", 0, 0},
    {"PositionPastTheEndThenMovesAndAdd", "a b @7 <1 >1 c", "a b c", 2, "c", 2, 0},
    {"NegativePositionThenAdd", "a b @-1 c", "c", 0, "c", 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, HistoryMemoryTest, ::testing::ValuesIn(kHistoryCases),
                         [](const auto& pInfo) { return std::string(pInfo.param.Name); });

// The navigation controls pass 8-bit counts: the longest move is 255 entries.
TEST_F(HistoryMemoryTest, LongestMovesReach255Entries)
{
    const IItemIdListPtr lists[] = {Folder(QStringLiteral("a")), Folder(QStringLiteral("b"))};
    for (int i = 0; i < 300; ++i)
        fHistory->Add(lists[i % 2]);
    ASSERT_EQ(fHistory->GetCount(), 300);
    EXPECT_TRUE(fHistory->IsMovePossible(-299));
    fHistory->MoveBack(255);
    EXPECT_EQ(fHistory->GetPosition(), 299 - 255);
    fHistory->MoveBack(255);
    EXPECT_EQ(fHistory->GetPosition(), 0);
    fHistory->MoveForward(255);
    EXPECT_EQ(fHistory->GetPosition(), 255);
}

TEST_F(HistoryMemoryTest, ConcurrentUseKeepsEntriesConsistent)
{
    Run(QStringLiteral("a b c"));
    std::vector<IItemIdListPtr> lists;
    for (const char* name : {"c", "d", "e", "f"})
        lists.push_back(Folder(QString::fromLatin1(name)));
    std::vector<std::jthread> threads;
    for (const IItemIdListPtr& mine : lists) {
        threads.emplace_back([this, mine] {
            for (int i = 0; i < 200; ++i) {
                fHistory->Add(mine);
                fHistory->MoveBack(1);
                if (const IItemIdListPtr current = fHistory->GetCurrentItemIDList()) {
                    EXPECT_FALSE(current->IsInvalid());
                }
                (void)fHistory->IsMovePossible(-1);
                fHistory->MoveForward(1);
            }
        });
    }
    threads.clear();
    const int count = fHistory->GetCount();
    EXPECT_GE(count, 1);
    EXPECT_LT(fHistory->GetPosition(), count);
    EXPECT_NE(fHistory->GetCurrentItemIDList(), nullptr);
}

// Points HOME and XDG_CONFIG_HOME into the test's folder (the user folders under This PC are
// read from there) and puts the old values back.
class TScopedHome
{
public:
    explicit TScopedHome(const QString& pHome)
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            fEnvironment.Set(name, QFile::encodeName(pHome));
    }

private:
    test::TScopedEnvironment fEnvironment;
};

// The Linux platform on real folders.
class HistoryLinuxTest : public ::testing::Test
{
protected:
    HistoryLinuxTest()
        : fHome(fDir.CreateFolder(QStringLiteral("home")))
        , fPlatform(pf::lnx::CreateLinuxPlatform())
    {
        TSpecialFolders::Reset();
    }
    ~HistoryLinuxTest() override { TSpecialFolders::Reset(); }

    test::TestDir fDir;
    TScopedHome fHome;
    pf::TScopedPlatform fPlatform;
    std::shared_ptr<TPidlHistory> fHistory = TPidlHistory::Create();
};

TEST_F(HistoryLinuxTest, PathsInOrderAndDeletedFoldersDropped)
{
    const QString one = fDir.CreateFolder(QStringLiteral("one"));
    const QString two = fDir.CreateFolder(QStringLiteral("two words"));
    const QString three = fDir.CreateFolder(QStringLiteral("three/deeper"));
    for (const QString& path : {one, two, three})
        fHistory->Add(TKivItemIdList::Parse(path));
    ASSERT_EQ(fHistory->GetCount(), 3);
    EXPECT_EQ(fHistory->GetPaths(0), one);
    EXPECT_EQ(fHistory->GetPaths(1), two);
    EXPECT_EQ(fHistory->GetPaths(2), three);
    for (const int bad : {-1, 3}) {
        try {
            (void)fHistory->GetPaths(bad);
            ADD_FAILURE() << "no exception for " << bad;
        } catch (const EInvalidArgument& error) {
            EXPECT_EQ(error.Message(),
                      QStringLiteral("TPidlHistory.GetPaths: The index %1 is outside the history "
                                     "(3 entries).")
                          .arg(bad));
        }
    }

    // The same folder reached by another spelling replaces the current entry.
    fHistory->Add(TKivItemIdList::Parse(three + QStringLiteral("/")));
    EXPECT_EQ(fHistory->GetCount(), 3);

    // The user deletes the folder shown, then goes somewhere else: the dead entry goes.
    ASSERT_TRUE(QDir(fDir.Join(QStringLiteral("three"))).removeRecursively());
    fHistory->Add(TKivItemIdList::Parse(one));
    EXPECT_EQ(fHistory->GetCount(), 3);
    EXPECT_EQ(fHistory->GetPaths(1), two);
    EXPECT_EQ(fHistory->GetPaths(2), one);
}

} // namespace
} // namespace kiv

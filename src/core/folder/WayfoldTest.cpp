#include "core/folder/Wayfold.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/folder/EnumerateAsync.h"
#include "core/platform/IContextMenu.h"
#include "core/platform/IPlatform.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/ShellColumns.h"
#include "core/threading/ThreadPool.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryPlatform.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace kiv {
namespace {

using F = TKivShellFolder;
using O = TKivShellShowOption;
using pf::mem::TMemoryNode;
using namespace std::chrono_literals;

QStringList ListAll(TWayfold& pFolder)
{
    QStringList names;
    while (pFolder.Next())
        names << pFolder.GetShellObjectName(true);
    return names;
}

// The in-memory namespace: /docs with files of several kinds, a hidden file, an archive and a
// sub-folder; a virtual file at the top; a Network folder with a host whose shares a test can
// make slow; a network mount at /share.
class WayfoldMemoryTest : public ::testing::Test
{
protected:
    WayfoldMemoryTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        fDocs = &fMemory->Root().AddFolder(QStringLiteral("docs"));
        for (const char* name : {"a.txt", "b.doc", "Makefile", "Photos.ZIP"})
            fDocs->AddFile(QString::fromLatin1(name), 10);
        fDocs->AddFile(QStringLiteral(".secret")).ExtraAttributes = pf::sfgao::HIDDEN;
        fDocs->AddFolder(QStringLiteral("sub"));
        fMemory->Root().AddFile(QStringLiteral("virtual.item")).Virtual = true;
        fNetwork = &fMemory->Root().AddFolder(QStringLiteral("Network"));
        fNetwork->Virtual = true;
        fMemory->SetKnownFolder({pf::csidl::NETWORK, pf::folderid::NetworkFolder}, fNetwork);
        fHost = &fNetwork->AddFolder(QStringLiteral("host"));
        fHost->Virtual = true;
        fShare = &fMemory->Root().AddFolder(QStringLiteral("share"));
        fShare->AddFile(QStringLiteral("remote.txt"));
        pf::MountInfo root;
        root.MountPath = QStringLiteral("/");
        pf::MountInfo remote;
        remote.MountPath = QStringLiteral("/share");
        remote.Type = pf::DriveType::Remote;
        fMemory->SetMounts({root, remote});
    }
    ~WayfoldMemoryTest() override
    {
        // Probes that were given up on end before the platform they ask goes.
        while (TWorkerThreadPool::Instance()->WorkItemsCount() > 0)
            std::this_thread::sleep_for(5ms);
        TSpecialFolders::Reset();
    }

    IItemIdListPtr ListOf(const TMemoryNode& pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }

    void InDocs(TWayfold& pFolder) { pFolder.SetFolderIdList(ListOf(*fDocs)); }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    TMemoryNode* fDocs = nullptr;
    TMemoryNode* fNetwork = nullptr;
    TMemoryNode* fHost = nullptr;
    TMemoryNode* fShare = nullptr;
};

struct TFilterCase
{
    const char* Value;
    const char* ReadBack;
    QStringList Listed; // of docs, in order
};

class WayfoldFilterTest
    : public WayfoldMemoryTest
    , public ::testing::WithParamInterface<TFilterCase>
{
};

TEST_P(WayfoldFilterTest, ReadsBackAndListsWhatMatchesAndEveryFolder)
{
    TWayfold folder;
    InDocs(folder);
    folder.SetFilter(QString::fromLatin1(GetParam().Value));
    EXPECT_EQ(folder.Filter(), QString::fromLatin1(GetParam().ReadBack));
    EXPECT_EQ(ListAll(folder), GetParam().Listed);
}

const QStringList kAllDocs = {QStringLiteral("a.txt"),    QStringLiteral("b.doc"),
                              QStringLiteral("Makefile"), QStringLiteral("Photos.ZIP"),
                              QStringLiteral(".secret"),  QStringLiteral("sub")};

INSTANTIATE_TEST_SUITE_P(
    Filters, WayfoldFilterTest,
    ::testing::Values(
        TFilterCase{"", "*", kAllDocs}, TFilterCase{"*", "*", kAllDocs},
        TFilterCase{"*.*", "*.*", kAllDocs},
        TFilterCase{"*.txt;*.DOC",
                    "*.txt;*.DOC",
                    {QStringLiteral("a.txt"), QStringLiteral("b.doc"), QStringLiteral("sub")}},
        TFilterCase{"*.txt;", "*.txt", {QStringLiteral("a.txt"), QStringLiteral("sub")}},
        TFilterCase{"*.", "*.", {QStringLiteral("Makefile"), QStringLiteral("sub")}},
        TFilterCase{
            "*.png;;?.txt", "*.png;;?.txt", {QStringLiteral("a.txt"), QStringLiteral("sub")}}));

TEST_F(WayfoldMemoryTest, AbsoluteListRejectsNilAndTheDesktopIsASpecialFolder)
{
    TWayfold folder;
    try {
        folder.SetAbsoluteItemIdList(nullptr);
        FAIL() << "nil accepted";
    } catch (const EInvalidArgument& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("\"nil\" is not a valid value that can be "
                                                  "assigned to TWayfold.AbsoluteItemIdList"));
    }
    EXPECT_THROW(folder.SetAbsoluteItemIdList(InvalidItemIdList()), EWayfoldError);
    folder.SetAbsoluteItemIdList(TKivItemIdList::Create(pf::idl::Empty()));
    EXPECT_EQ(folder.SpecialFolder(), F::SF_DESKTOP);
    EXPECT_TRUE(folder.ItemIdList()->IsInvalid());
    EXPECT_TRUE(folder.CheckIfValid(false));

    // A file: its folder becomes current, the file the object.
    const IItemIdListPtr file = ListOf(*fDocs->Child(QStringLiteral("b.doc")));
    folder.SetAbsoluteItemIdList(file);
    EXPECT_EQ(folder.Folder(), QStringLiteral("/docs/"));
    EXPECT_EQ(folder.ObjectName(), QStringLiteral("b.doc"));
    EXPECT_EQ(folder.FullPath(), QStringLiteral("/docs/b.doc"));
    EXPECT_EQ(folder.AbsoluteItemIdList(), file);
    EXPECT_EQ(folder.GetFileSize(), 10);
    folder.SelectParent();
    EXPECT_EQ(folder.FullPath(), QStringLiteral("/docs"));
    EXPECT_EQ(folder.ObjectName(), QStringLiteral("docs"));
}

TEST_F(WayfoldMemoryTest, ObjectNamesFindObjectsOrSayWhy)
{
    TWayfold folder;
    InDocs(folder);
    folder.SetObjectName(QStringLiteral("a.txt"));
    EXPECT_EQ(folder.FullPath(), QStringLiteral("/docs/a.txt"));
    try {
        folder.SetObjectName(QString());
        FAIL() << "empty name accepted";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Cannot find Object with empty name"));
    }
    EXPECT_TRUE(folder.ItemIdList()->IsInvalid());
    EXPECT_TRUE(folder.ObjectName().isEmpty());
    EXPECT_THROW(folder.GetShellObjectName(true), EInvalidOperation);
    try {
        folder.SetObjectName(QStringLiteral("missing"));
        FAIL() << "missing name accepted";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Error: Cannot find Object \"missing\" in Folder \"/docs/\""));
    }
    // A path goes to the absolute list.
    folder.SetObjectName(QStringLiteral("/docs/sub"));
    EXPECT_EQ(folder.FullPath(), QStringLiteral("/docs/sub"));
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_TRUE(folder.BrowseObject());
    EXPECT_EQ(folder.Folder(), QStringLiteral("/docs/sub/"));
}

TEST_F(WayfoldMemoryTest, ArchivesHaveSubFoldersOnlyOutsideTheFileSystemView)
{
    TWayfold folder;
    InDocs(folder);
    folder.SetObjectName(QStringLiteral("Photos.ZIP"));
    EXPECT_TRUE(folder.HasSubFolders());
    folder.SetFileSystemOnly(true);
    folder.SetObjectName(QStringLiteral("Photos.ZIP")); // a new object: the answer is asked again
    EXPECT_FALSE(folder.HasSubFolders());

    TWayfold none;
    EXPECT_THROW(none.HasSubFolders(), EInvalidOperation);
}

TEST_F(WayfoldMemoryTest, FileSystemOnlySkipsVirtualObjects)
{
    TWayfold folder;
    folder.SetFolderIdList(TKivItemIdList::Create(pf::idl::Empty()));
    EXPECT_TRUE(ListAll(folder).contains(QStringLiteral("virtual.item")));
    folder.SetFileSystemOnly(true);
    const QStringList listed = ListAll(folder);
    EXPECT_FALSE(listed.contains(QStringLiteral("virtual.item")));
    EXPECT_TRUE(listed.contains(QStringLiteral("docs")));
    // The Network folder itself is kept although it is no file-system object.
    EXPECT_TRUE(listed.contains(QStringLiteral("Network")));
}

TEST_F(WayfoldMemoryTest, APlatformFaultGetsOneMoreTry)
{
    fDocs->FaultOnNext = 2;
    TWayfold folder;
    InDocs(folder);
    EXPECT_EQ(ListAll(folder), kAllDocs);

    // When the second try finds nothing either, the listing ends with no object.
    TMemoryNode& broken = fMemory->Root().AddFolder(QStringLiteral("broken"));
    broken.FaultOnNext = 1;
    folder.SetFolderIdList(ListOf(broken));
    folder.SetItemIdList(TKivItemIdList::Create(pf::idl::FromItem(
        pf::IdSpan(fMemory->ListOf(*fDocs->Child(QStringLiteral("a.txt")))).Last())));
    ASSERT_FALSE(folder.ItemIdList()->IsInvalid());
    EXPECT_FALSE(folder.Next());
    EXPECT_TRUE(folder.ItemIdList()->IsInvalid());
}

struct TFailureCase
{
    bool AtStart;
    pf::HResult Failure;
    int RaisedCode; // 0: the listing just ends
};

class WayfoldFailureTest
    : public WayfoldMemoryTest
    , public ::testing::WithParamInterface<TFailureCase>
{
};

TEST_P(WayfoldFailureTest, SystemErrorsRaiseOthersEndTheListing)
{
    const TFailureCase& c = GetParam();
    if (c.AtStart) {
        fDocs->EnumFailure = c.Failure;
    } else {
        fDocs->FaultOnNext = 2;
        fDocs->NextFailure = c.Failure;
    }
    TWayfold folder;
    InDocs(folder);
    if (!c.AtStart) {
        ASSERT_TRUE(folder.Next());
    }
    if (c.RaisedCode == 0) {
        EXPECT_FALSE(folder.Next());
        return;
    }
    try {
        folder.Next();
        FAIL() << "no error";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.ErrorCode(), c.RaisedCode);
        EXPECT_TRUE(error.Message().contains(QStringLiteral("/docs")));
    }
    // The listing starts again on the next call.
    fDocs->EnumFailure = pf::S_OK;
    fDocs->FaultOnNext = 0;
    EXPECT_TRUE(folder.Next());
}

INSTANTIATE_TEST_SUITE_P(Failures, WayfoldFailureTest,
                         ::testing::Values(TFailureCase{true, pf::HResultFromWin32(5), 5},
                                           TFailureCase{true, pf::E_FAIL, 0},
                                           TFailureCase{false, pf::HResultFromWin32(21), 21},
                                           TFailureCase{false, pf::HResultFromWin32(2), 0}));

TEST_F(WayfoldMemoryTest, HiddenObjectsAreShownOnlyWithTheOption)
{
    TWayfold folder;
    InDocs(folder);
    folder.SetObjectName(QStringLiteral(".secret"));
    EXPECT_TRUE(folder.IsHidden());
    EXPECT_FALSE(folder.ShowObjectAccordingShowOptions({O::soShowFiles}));
    EXPECT_TRUE(folder.ShowObjectAccordingShowOptions({O::soShowFiles, O::soShowHidden}));
    folder.SetObjectName(QStringLiteral("a.txt"));
    EXPECT_TRUE(folder.ShowObjectAccordingShowOptions({O::soShowFiles}));
    // A view of folders only (the tree) leaves files out.
    EXPECT_FALSE(folder.ShowObjectAccordingShowOptions({O::soFileSystemOnly}));
    folder.SetObjectName(QStringLiteral("sub"));
    EXPECT_TRUE(folder.ShowObjectAccordingShowOptions({O::soFileSystemOnly}));
}

TEST_F(WayfoldMemoryTest, CopiesKeepOptionsFolderAndEventsButNotTheObject)
{
    TWayfold folder;
    InDocs(folder);
    folder.SetFilter(QStringLiteral("*.txt"));
    folder.SetFileSystemOnly(true);
    folder.SetShowErrorMessages(false);
    int renamed = 0;
    folder.OnRename = [&](TWayfold&) { ++renamed; };
    folder.SetObjectName(QStringLiteral("a.txt"));
    const auto copy = TWayfold::CreateCopy(folder);
    EXPECT_EQ(copy->Filter(), QStringLiteral("*.txt"));
    EXPECT_TRUE(copy->FileSystemOnly());
    EXPECT_FALSE(copy->ShowErrorMessages());
    EXPECT_EQ(copy->Folder(), QStringLiteral("/docs/"));
    EXPECT_TRUE(copy->ItemIdList()->IsInvalid());
    copy->OnRename(*copy);
    EXPECT_EQ(renamed, 1);
}

TEST_F(WayfoldMemoryTest, BeforeInvokeCommandAsksBothEvents)
{
    TWayfold folder;
    QString seen;
    folder.OnBeforeShellCommand = [&](void* pSender, const QString& pVerb, bool& pExecute,
                                      int pCount) {
        EXPECT_EQ(pSender, &folder);
        seen = pVerb + QString::number(pCount);
        pExecute = pVerb != QLatin1String("delete");
    };
    int commands = 0;
    folder.OnBeforeCommand = [&](void*, TBeforeCommandEventArgs&) { ++commands; };
    TBeforeCommandEventArgs open;
    open.Command = TShellCommand(QStringLiteral("open"));
    open.Items = TItemIdListCollection::Create();
    open.Items->AddStrings({QStringLiteral("/docs/a.txt"), QStringLiteral("/docs/b.doc")});
    EXPECT_TRUE(folder.BeforeInvokeCommand(open));
    EXPECT_EQ(seen, QStringLiteral("open2"));
    TBeforeCommandEventArgs remove;
    remove.Command = TShellCommand(QStringLiteral("delete"));
    EXPECT_FALSE(folder.BeforeInvokeCommand(remove));
    EXPECT_EQ(commands, 2);
}

// The verbs of a context menu and the verb of its default entry.
std::pair<QStringList, QString> VerbsOf(pf::IContextMenu& pMenu)
{
    pf::MenuModel model;
    EXPECT_TRUE(pf::Succeeded(pMenu.QueryContextMenu(model, 0, 1, 0x7FFF, pf::cmf::EXPLORE)));
    QStringList verbs;
    for (const pf::MenuItem& item : model.Items)
        verbs << item.Verb;
    const pf::MenuItem* byDefault = model.FindDefault();
    return {verbs, byDefault ? byDefault->Verb : QString()};
}

TEST_F(WayfoldMemoryTest, ContextMenuOfTheObjectElseOfTheSelection)
{
    pf::MenuItem frob;
    frob.Caption = QStringLiteral("&Frob");
    frob.Verb = QStringLiteral("frob");
    pf::MenuItem open;
    open.Caption = QStringLiteral("&Open");
    open.Verb = QStringLiteral("open");
    open.IsDefault = true;
    fMemory->SetMenuEntries({open, frob});
    TWayfold folder;
    InDocs(folder);
    EXPECT_THROW(folder.GetUIObject(TUIObjectKind::uoContextMenu), EInvalidOperation);

    folder.SetObjectName(QStringLiteral("a.txt"));
    auto menu = std::static_pointer_cast<pf::IContextMenu>(
        folder.GetUIObject(TUIObjectKind::uoContextMenu));
    ASSERT_TRUE(menu);
    EXPECT_EQ(VerbsOf(*menu), std::pair(QStringList{QStringLiteral("open"), QStringLiteral("frob")},
                                        QStringLiteral("open")));
    pf::InvokeInfo frobIt;
    frobIt.Verb = QStringLiteral("frob");
    EXPECT_EQ(menu->InvokeCommand(frobIt), pf::S_OK);

    // Selected objects: one menu for all of them.
    folder.MultiObjects().Add(ListOf(*fDocs->Child(QStringLiteral("b.doc"))));
    ASSERT_EQ(folder.MultiObjects().Count(), 1);
    menu = std::static_pointer_cast<pf::IContextMenu>(
        folder.GetUIObject(TUIObjectKind::uoContextMenu));
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->InvokeCommand(frobIt), pf::S_OK);

    const auto calls = fMemory->MenuCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Verb, QStringLiteral("frob"));
    EXPECT_EQ(calls[0].Paths, QStringList{QStringLiteral("/docs/a.txt")});
    EXPECT_EQ(calls[0].Kind, QStringLiteral("item"));
    EXPECT_EQ(calls[1].Paths, QStringList{QStringLiteral("/docs/b.doc")});

    // A folder that refuses its menu raises with its answer.
    folder.MultiObjects().Clear();
    fMemory->SetMenuFailure(pf::HResultFromWin32(5));
    EXPECT_THROW(folder.GetUIObject(TUIObjectKind::uoContextMenu), EWayfoldError);
}

TEST_F(WayfoldMemoryTest, InvokeCommandRunsOnlyWhatTheEventsAllow)
{
    TWayfold folder;
    InDocs(folder);
    folder.SetObjectName(QStringLiteral("a.txt"));
    QStringList asked;
    folder.OnContextMenuSelect = [&](TWayfold&, const QString& pVerb, bool& pExecute) {
        asked << QStringLiteral("select ") + pVerb;
        pExecute = pVerb != QLatin1String("delete");
    };
    folder.OnBeforeShellCommand = [&](void*, const QString& pVerb, bool& pExecute, int pCount) {
        asked << QStringLiteral("before %1 %2").arg(pVerb).arg(pCount);
        pExecute = pVerb != QLatin1String("cut");
    };
    EXPECT_FALSE(folder.InvokeCommand(TShellCommand(QStringLiteral("delete"))));
    EXPECT_FALSE(folder.InvokeCommand(TShellCommand(QStringLiteral("cut"))));
    EXPECT_TRUE(folder.InvokeCommand(TShellCommand(QStringLiteral("frob"))));
    EXPECT_EQ(asked, (QStringList{QStringLiteral("select delete"), QStringLiteral("select cut"),
                                  QStringLiteral("before cut 1"), QStringLiteral("select frob"),
                                  QStringLiteral("before frob 1")}));

    // Selected objects receive the command together.
    for (const char* name : {"a.txt", "b.doc"})
        folder.MultiObjects().Add(ListOf(*fDocs->Child(QString::fromLatin1(name))));
    EXPECT_TRUE(folder.InvokeCommand(TShellCommand(QStringLiteral("frob"))));
    EXPECT_EQ(asked.last(), QStringLiteral("before frob 2"));

    const auto calls = fMemory->MenuCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Paths, QStringList{QStringLiteral("/docs/a.txt")});
    EXPECT_EQ(calls[1].Paths,
              (QStringList{QStringLiteral("/docs/a.txt"), QStringLiteral("/docs/b.doc")}));
}

TEST_F(WayfoldMemoryTest, InfoTipOfAFolderWithoutTipsComesFromItsDefaultColumns)
{
    TWayfold folder;
    InDocs(folder);
    EXPECT_EQ(folder.GetInfoTip(false), QString());
    folder.SetObjectName(QStringLiteral("a.txt"));
    // Size and date are shown by default (the date of a memory file is empty, so it has no
    // line); the attributes are not.
    EXPECT_EQ(folder.GetInfoTip(false), QStringLiteral("Size: 1 KB"));
}

TEST_F(WayfoldMemoryTest, PathVariablesExpand)
{
    fMemory->SetEnvironment(QStringLiteral("PROJECT"), QStringLiteral("/work"));
    EXPECT_EQ(TWayfold::ExpandPathVariables(QStringLiteral("%PROJECT%/x")),
              QStringLiteral("/work/x"));
    EXPECT_EQ(TWayfold::ExpandPathVariables(QStringLiteral("%UNKNOWN%")),
              QStringLiteral("%UNKNOWN%"));
    const QString dated = TWayfold::ExpandPathVariables(QStringLiteral("a-%date%-%TIME%"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^a-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d$"))
                    .match(dated)
                    .hasMatch())
        << dated.toStdString();
    fMemory->SetKnownFolder({pf::csidl::PERSONAL, pf::folderid::Documents}, fDocs);
    EXPECT_EQ(TWayfold::ExpandPathVariables(QStringLiteral("%MYDOCUMENTS%/a")),
              QStringLiteral("/docs/a"));
    // Program folders of 32-bit programs fall back to the plain ones.
    fMemory->SetKnownFolder({pf::csidl::PROGRAM_FILES, {}}, fShare);
    EXPECT_EQ(TWayfold::GetSpecialFolderPath(F::SF_PROGRAM_FILESX86), QStringLiteral("/share"));
}

// ---- the decision to list in the background ----------------------------------------------

struct TDecisionCase
{
    const char* What;
    int Shares;                      // objects of the slow host
    std::chrono::milliseconds Delay; // per object
    bool Async;
    std::chrono::milliseconds AtMost; // the decision's own time
};

class WayfoldDecisionTest
    : public WayfoldMemoryTest
    , public ::testing::WithParamInterface<TDecisionCase>
{
};

TEST_P(WayfoldDecisionTest, SlowFoldersAreProbedWithinTheWait)
{
    const TDecisionCase& c = GetParam();
    for (int i = 0; i < c.Shares; ++i)
        fHost->AddFolder(QStringLiteral("share%1").arg(i)).Virtual = true;
    fHost->DelayPerItem = c.Delay;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ShouldEnumerateAsync(ListOf(*fHost), nullptr), c.Async) << c.What;
    EXPECT_LT(std::chrono::steady_clock::now() - start, c.AtMost) << c.What;
}

INSTANTIATE_TEST_SUITE_P(Probe, WayfoldDecisionTest,
                         ::testing::Values(TDecisionCase{"empty", 0, 0ms, false, 900ms},
                                           TDecisionCase{"fast", 3, 0ms, false, 900ms},
                                           TDecisionCase{"slow objects", 3, 25ms, true, 900ms},
                                           TDecisionCase{"no answer in time", 5, 700ms, true,
                                                         2000ms}));

TEST_F(WayfoldMemoryTest, LocalFoldersAreListedAtOnceAndNetworkMountsInTheBackground)
{
    EXPECT_FALSE(ShouldEnumerateAsync(ListOf(*fDocs), nullptr));
    EXPECT_FALSE(ShouldEnumerateAsync(InvalidItemIdList(), nullptr));
    EXPECT_FALSE(ShouldEnumerateAsync(nullptr, nullptr));
    // A mount that would hang: the mount table answers, the mount is never asked.
    fShare->DelayPerItem = 60s;
    fShare->EnumFailure = pf::E_UNEXPECTED;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ShouldEnumerateAsync(ListOf(*fShare), nullptr));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

// ---- the Linux namespace -------------------------------------------------------------------

// The Linux platform over a private home (its settings decide how names show) and a private
// work folder.
class WayfoldLinuxTest : public ::testing::Test
{
protected:
    WayfoldLinuxTest()
        : fPlatform(nullptr)
    {
        const QString home = fDir.CreateFolder(QStringLiteral("home"));
        for (const auto& [name, value] :
             {std::pair{"HOME", home}, std::pair{"XDG_CONFIG_HOME", home + "/.config"},
              std::pair{"XDG_DATA_HOME", home + "/.local/share"},
              std::pair{"XDG_CACHE_HOME", home + "/.cache"}})
            fEnvironment.Set(name, QFile::encodeName(value));
        fPlatform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
        TSpecialFolders::Reset();
    }
    ~WayfoldLinuxTest() override
    {
        fPlatform.reset();
        TSpecialFolders::Reset();
    }

    test::TestDir fDir;
    test::TScopedEnvironment fEnvironment;
    std::unique_ptr<pf::TScopedPlatform> fPlatform;
};

TEST_F(WayfoldLinuxTest, ListsRealFilesWithTheirSnapshot)
{
    fDir.CreateFile(QStringLiteral("w/data.bin"), QByteArray(1234, 'x'));
    fDir.CreateFile(QStringLiteral("w/.dotfile"));
    fDir.CreateFolder(QStringLiteral("w/Sub"));
    fDir.CreateFolder(QStringLiteral("w/sub"));
    TWayfold folder;
    folder.SetFolder(fDir.Join(QStringLiteral("w")));
    EXPECT_EQ(folder.Folder(), fDir.Join(QStringLiteral("w/")));
    QStringList names;
    while (folder.Next()) {
        names << folder.ObjectName();
        if (folder.ObjectName() == QLatin1String("data.bin")) {
            EXPECT_EQ(folder.GetFileSize(), 1234);
            EXPECT_LT(std::abs(folder.GetLastChangeDate().secsTo(QDateTime::currentDateTime())),
                      600);
            EXPECT_FALSE(folder.IsFolder());
            EXPECT_TRUE(folder.ShowObjectAccordingShowOptions({O::soShowFiles}));
            const QString tip = folder.GetInfoTip(false);
            EXPECT_TRUE(tip.contains(QStringLiteral("Size: ")) &&
                        tip.contains(QStringLiteral("Date modified: ")))
                << tip.toStdString();
        }
        if (folder.ObjectName() == QLatin1String(".dotfile")) {
            EXPECT_FALSE(folder.ShowObjectAccordingShowOptions({O::soShowFiles}));
            EXPECT_TRUE(folder.ShowObjectAccordingShowOptions({O::soShowFiles, O::soShowHidden}));
        }
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral(".dotfile"), QStringLiteral("Sub"),
                                  QStringLiteral("data.bin"), QStringLiteral("sub")}));

    // Folders differing in letter case are different folders here.
    folder.SetFolder(fDir.Join(QStringLiteral("w/Sub")));
    folder.SetFolder(fDir.Join(QStringLiteral("w/sub")));
    EXPECT_EQ(folder.Folder(), fDir.Join(QStringLiteral("w/sub/")));
}

TEST_F(WayfoldLinuxTest, RenamesTheObject)
{
    fDir.CreateFile(QStringLiteral("old.txt"));
    TWayfold folder;
    folder.SetFolder(fDir.Path());
    folder.SetObjectName(QStringLiteral("old.txt"));
    int renamed = 0;
    folder.OnRename = [&](TWayfold&) { ++renamed; };
    QString name = QStringLiteral("new.txt");
    EXPECT_TRUE(pf::Succeeded(folder.RenameObject(name)));
    EXPECT_EQ(name, QStringLiteral("new.txt"));
    EXPECT_EQ(folder.FullPath(), fDir.Join(QStringLiteral("new.txt")));
    EXPECT_TRUE(QFile::exists(fDir.Join(QStringLiteral("new.txt"))));
    EXPECT_EQ(renamed, 1);
    // A name that is taken fails and leaves the object as it was.
    fDir.CreateFile(QStringLiteral("taken.txt"));
    name = QStringLiteral("taken.txt");
    EXPECT_TRUE(pf::Failed(folder.RenameObject(name)));
    EXPECT_EQ(folder.FullPath(), fDir.Join(QStringLiteral("new.txt")));
}

// The component answers its object's columns as the folder's column answers do.
class WayfoldColumnsTest
    : public WayfoldLinuxTest
    , public ::testing::WithParamInterface<const char*>
{
};

TEST_P(WayfoldColumnsTest, TextsAndValuesAreTheFolderColumns)
{
    fDir.CreateFile(QStringLiteral("w/data.bin"), QByteArray(1234, 'x'));
    fDir.CreateFolder(QStringLiteral("w/Sub"));
    TWayfold folder;
    folder.SetFolder(fDir.Join(QStringLiteral("w")));
    // Without object only the headers answer.
    EXPECT_EQ(folder.GetColumnText(1, false), QString());
    EXPECT_FALSE(folder.GetColumnValue(TShellColumns::Size()).isValid());
    folder.SetObjectName(QString::fromLatin1(GetParam()));
    const TFolderColumns columns(folder.FolderIdList());
    ASSERT_TRUE(columns.IsValid());
    ASSERT_GT(columns.ColumnCount(), 3);
    const IItemIdListPtr object = folder.AbsoluteItemIdList();
    for (int column = -1; column < columns.ColumnCount(); ++column) {
        for (const bool header : {false, true})
            EXPECT_EQ(folder.GetColumnText(column, header),
                      columns.GetColumnText(column, header, object))
                << column << header;
        EXPECT_EQ(folder.GetShColumnIdFromColumnNumber(column),
                  columns.GetShColumnIdFromColumnNumber(column));
        EXPECT_EQ(folder.GetDefaultColumnState(column), columns.GetDefaultColumnState(column));
    }
    EXPECT_EQ(folder.GetColumnText(0, false), QString::fromLatin1(GetParam()));
    for (const TShellColumnId& id :
         {TShellColumns::Size(), TShellColumns::WriteTime(), TShellColumns::ElementType()}) {
        EXPECT_EQ(folder.GetColumnText(id, false), columns.GetColumnText(id, false, object));
        EXPECT_EQ(folder.GetColumnValue(id), columns.GetColumnValue(id, object));
        EXPECT_EQ(folder.GetIndexOfShColumnId(id), columns.GetIndexOfShColumnId(id));
    }
    EXPECT_EQ(folder.GetColumnInfo(1).fTitle, columns.GetColumnInfo(1).fTitle);

    // Another folder: its own columns, not the first folder's.
    fDir.CreateFile(QStringLiteral("w/Sub/inner.txt"), QByteArray(7, 'y'));
    folder.SetFolder(fDir.Join(QStringLiteral("w/Sub")));
    folder.SetObjectName(QStringLiteral("inner.txt"));
    EXPECT_EQ(folder.GetColumnText(0, false), QStringLiteral("inner.txt"));
    EXPECT_EQ(folder.GetColumnValue(TShellColumns::Size()).toLongLong(), 7);
}

INSTANTIATE_TEST_SUITE_P(FileAndFolder, WayfoldColumnsTest, ::testing::Values("data.bin", "Sub"));

} // namespace
} // namespace kiv

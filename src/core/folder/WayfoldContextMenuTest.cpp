// The folder component's context menus and commands by verb over the in-memory platform, whose
// scripted menus record every verb they run, and a few over real folders.

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/folder/Wayfold.h"
#include "core/platform/IContextMenu.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/ItemIdListCollection.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryPlatform.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace kiv {
namespace {

using pf::mem::TMemoryNode;

pf::MenuItem Entry(const char* pCaption, const char* pVerb)
{
    pf::MenuItem item;
    item.Caption = QString::fromLatin1(pCaption);
    item.Verb = QString::fromLatin1(pVerb);
    return item;
}

// /docs with a.txt, b.doc, locked.txt (cannot be deleted) and sub/ with x.txt and y.txt; a
// virtual folder at the top. Item menus: Open (default), Frob, Copy, Delete, Properties.
class WayfoldMenuTest : public ::testing::Test
{
protected:
    WayfoldMenuTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        fDocs = &fMemory->Root().AddFolder(QStringLiteral("docs"));
        fDocs->AddFile(QStringLiteral("a.txt"), 10);
        fDocs->AddFile(QStringLiteral("b.doc"), 10);
        fDocs->AddFile(QStringLiteral("locked.txt")).MissingAttributes = pf::sfgao::CANDELETE;
        fSub = &fDocs->AddFolder(QStringLiteral("sub"));
        fSub->AddFile(QStringLiteral("x.txt"));
        fSub->AddFile(QStringLiteral("y.txt"));
        fMemory->Root().AddFolder(QStringLiteral("places")).Virtual = true;
        pf::MenuItem open = Entry("&Open", "open");
        open.IsDefault = true;
        fMemory->SetMenuEntries({open, Entry("&Frob", "frob"), Entry("&Copy", "copy"),
                                 Entry("&Delete", "delete"), Entry("P&roperties", "properties")});
        fFolder.SetFolderIdList(ListOf(*fDocs));
        fFolder.SetAsyncContextMenuOperations(false);
    }
    ~WayfoldMenuTest() override { TSpecialFolders::Reset(); }

    IItemIdListPtr ListOf(const TMemoryNode& pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }
    void Select(const TMemoryNode& pFolder, const QStringList& pNames)
    {
        for (const QString& name : pNames)
            fFolder.MultiObjects().Add(ListOf(*pFolder.Child(name)));
    }
    // The id of the entry with pVerb in pModel (0: none).
    static std::uint32_t IdOf(const pf::MenuModel& pModel, const char* pVerb)
    {
        for (const pf::MenuItem& item : pModel.Items)
            if (item.Verb == QLatin1String(pVerb))
                return item.Id;
        return 0;
    }
    // Prepares the menu and runs the entry with pVerb.
    QString Choose(const char* pVerb, const TBeforeCommandFunc& pBeforeCommand = {})
    {
        pf::MenuModel model;
        const pf::IContextMenuPtr menu = fFolder.PrepareContextMenu(model, 0, false);
        EXPECT_TRUE(menu);
        if (!menu)
            return QStringLiteral("no menu");
        const QString verb =
            fFolder.RunContextMenuEntry(*menu, IdOf(model, pVerb), nullptr, pBeforeCommand);
        fFolder.EndContextMenu();
        return verb;
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    TMemoryNode* fDocs = nullptr;
    TMemoryNode* fSub = nullptr;
    TWayfold fFolder;
};

TEST_F(WayfoldMenuTest, BeforeCommandGetsAbsoluteItemsAndMayCancel)
{
    // The selection of a list holds the objects as the folder names them.
    fFolder.SetObjectName(QStringLiteral("a.txt"));
    const auto relative = TItemIdListCollection::Create(fFolder.ShellFolder());
    relative->Add(fFolder.ItemIdList());
    ASSERT_TRUE(relative->IsRelative(relative->GetItem(0)));
    TBeforeCommandEventArgs seen;
    bool cancel = false;
    const TBeforeCommandFunc ask = [&](TBeforeCommandEventArgs& pArgs) {
        seen = pArgs;
        pArgs.Cancel = cancel;
    };
    EXPECT_TRUE(TShellControlHelper::DoBeforeShellCommand(ask, QStringLiteral("frob"),
                                                          TCommandSource::Keyboard, relative));
    EXPECT_EQ(seen.Command.VerbOrEmpty(), QStringLiteral("frob"));
    EXPECT_EQ(seen.CommandSource, TCommandSource::Keyboard);
    ASSERT_EQ(seen.Items->Count(), 1);
    EXPECT_EQ(seen.Items->GetItem(0)->DisplayPath(), QStringLiteral("/docs/a.txt"));
    EXPECT_TRUE(seen.Items->GetItem(0)->IsAbsolute());
    cancel = true;
    EXPECT_FALSE(TShellControlHelper::DoBeforeShellCommand(ask, TShellCommand(TShellAction::saCopy),
                                                           TCommandSource::Call, ListOf(*fDocs)));
    EXPECT_EQ(seen.Items->Count(), 1);
    EXPECT_EQ(seen.Command.Command(), TShellAction::saCopy);
    EXPECT_TRUE(TShellControlHelper::DoBeforeShellCommand({}, QStringLiteral("frob"),
                                                          TCommandSource::Call, relative));
}

TEST_F(WayfoldMenuTest, MenuEntriesAskTheEventsOrTheCallersFunction)
{
    fFolder.SetObjectName(QStringLiteral("a.txt"));
    QStringList asked;
    fFolder.OnContextMenuSelect = [&](TWayfold&, const QString& pVerb, bool& pExecute) {
        asked << QStringLiteral("select ") + pVerb;
        pExecute = pVerb != QLatin1String("delete");
    };
    fFolder.OnBeforeShellCommand = [&](void*, const QString& pVerb, bool&, int pCount) {
        asked << QStringLiteral("before %1 %2").arg(pVerb).arg(pCount);
    };
    fFolder.OnBeforeCommand = [&](void*, TBeforeCommandEventArgs& pArgs) {
        EXPECT_EQ(pArgs.CommandSource, TCommandSource::ContextMenu);
    };
    // A cleared Execute ends the check: the application is not asked.
    EXPECT_EQ(Choose("delete"), QString());
    EXPECT_EQ(asked, QStringList{QStringLiteral("select delete")});
    asked.clear();
    EXPECT_EQ(Choose("frob"), QStringLiteral("frob"));
    EXPECT_EQ(asked, (QStringList{QStringLiteral("select frob"), QStringLiteral("before frob 1")}));

    // The caller's function decides in place of the component's events.
    asked.clear();
    TBeforeCommandEventArgs seen;
    EXPECT_EQ(Choose("frob",
                     [&](TBeforeCommandEventArgs& pArgs) {
                         seen = pArgs;
                         pArgs.Cancel = true;
                     }),
              QString());
    EXPECT_EQ(asked, QStringList{QStringLiteral("select frob")});
    EXPECT_EQ(seen.CommandSource, TCommandSource::ContextMenu);
    ASSERT_TRUE(seen.Items);
    EXPECT_EQ(seen.Items->GetItem(0)->DisplayPath(), QStringLiteral("/docs/a.txt"));
    ASSERT_EQ(fMemory->MenuCalls().size(), 1u);
}

// Many selected objects: the menu is made for the first 16 beyond 160, and the chosen entry runs
// on all of them.
class WayfoldManyObjectsTest
    : public WayfoldMenuTest
    , public ::testing::WithParamInterface<int>
{
};

TEST_P(WayfoldManyObjectsTest, TheChosenEntryRunsOnAllSelectedObjects)
{
    const int count = GetParam();
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names << QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0'));
        fDocs->AddFile(names.last());
    }
    Select(*fDocs, names);
    pf::MenuModel model;
    const pf::IContextMenuPtr menu = fFolder.PrepareContextMenu(model, 0, false);
    ASSERT_TRUE(menu);
    pf::InvokeInfo frob;
    frob.Verb = QStringLiteral("frob");
    ASSERT_EQ(menu->InvokeCommand(frob), pf::S_OK);
    ASSERT_EQ(fMemory->MenuCalls().size(), 1u);
    EXPECT_EQ(fMemory->MenuCalls()[0].Paths.size(), count > 160 ? 16 : count);

    EXPECT_EQ(fFolder.RunContextMenuEntry(*menu, IdOf(model, "frob"), nullptr),
              QStringLiteral("frob"));
    const auto calls = fMemory->MenuCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].Verb, QStringLiteral("frob"));
    EXPECT_EQ(calls[1].Paths.size(), count);
    EXPECT_EQ(calls[1].Paths.last(), QStringLiteral("/docs/") + names.last());
    fFolder.EndContextMenu();
    EXPECT_FALSE(fFolder.HasMultiObjects());
    EXPECT_FALSE(fFolder.ActiveContextMenu());
}

INSTANTIATE_TEST_SUITE_P(Selection, WayfoldManyObjectsTest, ::testing::Values(160, 161, 200));

// Verbs that run as commands of the object or the selection rather than through the menu: those
// reach the items' own menus with ASYNCOK (the component here asks for synchronous commands).
struct TDispatchCase
{
    const char* Verb;
    QStringList Selected; // none: a.txt is the object
    bool ThroughMenu;
    int Calls; // menu calls recorded
};

class WayfoldDispatchTest
    : public WayfoldMenuTest
    , public ::testing::WithParamInterface<TDispatchCase>
{
};

TEST_P(WayfoldDispatchTest, VerbsRunWhereTheyBelong)
{
    const TDispatchCase& c = GetParam();
    fFolder.SetObjectName(QStringLiteral("a.txt"));
    Select(*fDocs, c.Selected);
    EXPECT_EQ(Choose(c.Verb), QString::fromLatin1(c.Verb));
    const auto calls = fMemory->MenuCalls();
    ASSERT_EQ(static_cast<int>(calls.size()), c.Calls);
    for (const auto& call : calls) {
        EXPECT_EQ(call.Verb, QString::fromLatin1(c.Verb));
        EXPECT_EQ((call.Mask & pf::cmic::ASYNCOK) == 0, c.ThroughMenu) << c.Verb;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Verbs, WayfoldDispatchTest,
    ::testing::Values(TDispatchCase{"properties", {}, false, 1},
                      TDispatchCase{"properties", {"a.txt", "b.doc"}, true, 1},
                      TDispatchCase{"open", {"a.txt"}, true, 1},
                      TDispatchCase{"open", {"a.txt", "b.doc"}, false, 1},
                      // Copying several objects fills the clipboard without the menu.
                      TDispatchCase{"copy", {"a.txt", "b.doc"}, false, 0},
                      TDispatchCase{"copy", {"a.txt"}, true, 1},
                      TDispatchCase{"frob", {"a.txt", "b.doc"}, true, 1}));

TEST_F(WayfoldMenuTest, InvokeContextMenuCommandRunsVerbsWithoutAMenu)
{
    fFolder.SetObjectName(QStringLiteral("a.txt"));
    QStringList sources;
    fFolder.OnBeforeCommand = [&](void*, TBeforeCommandEventArgs& pArgs) {
        sources << pArgs.Command.VerbOrEmpty();
        EXPECT_EQ(pArgs.CommandSource, TCommandSource::Call);
        pArgs.Cancel = pArgs.Command.VerbOrEmpty() == QLatin1String("refused");
    };
    // An empty verb runs the default entry.
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(QString())));
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("frob"))));
    EXPECT_FALSE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("refused"))));
    fMemory->SetInvokeResult(pf::HResultFromWin32(5));
    EXPECT_FALSE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("frob"))));
    EXPECT_EQ(fFolder.LastCommandResult(), pf::HResultFromWin32(5));
    fMemory->SetInvokeResult(pf::S_OK);
    EXPECT_EQ(sources, (QStringList{QStringLiteral("default"), QStringLiteral("frob"),
                                    QStringLiteral("refused"), QStringLiteral("frob")}));
    auto calls = fMemory->MenuCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Verb, QStringLiteral("open"));
    EXPECT_EQ(calls[0].Directory, QStringLiteral("/docs"));
    EXPECT_EQ(calls[1].Verb, QStringLiteral("frob"));

    // An object that cannot be deleted is not even asked about.
    fFolder.SetObjectName(QStringLiteral("locked.txt"));
    EXPECT_FALSE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("DELETE"))));
    EXPECT_EQ(sources.size(), 4);

    // "rename" is the caller's; the selection serves one command.
    int renamed = 0;
    fFolder.OnRename = [&](TWayfold&) { ++renamed; };
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("rename"))));
    EXPECT_EQ(renamed, 1);
    Select(*fDocs, {QStringLiteral("a.txt"), QStringLiteral("b.doc")});
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("copypath"))));
    EXPECT_FALSE(fFolder.HasMultiObjects());
    QString text;
    ASSERT_EQ(fMemory->MemoryClipboard().GetText(text), pf::S_OK);
    EXPECT_EQ(text, QStringLiteral("/docs/a.txt\r\n/docs/b.doc"));
}

TEST_F(WayfoldMenuTest, DefaultCommandOpensEachSelectedOrNamedObject)
{
    Select(*fDocs, {QStringLiteral("a.txt"), QStringLiteral("b.doc")});
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(TShellAction::saDefault)));
    QStringList asked;
    fFolder.OnContextMenuSelect = [&](TWayfold&, const QString& pVerb, bool&) { asked << pVerb; };
    EXPECT_TRUE(fFolder.InvokeDefaultContextMenuCommand(
        {QStringLiteral("b.doc"), QStringLiteral("a.txt")}));
    EXPECT_EQ(asked.size(), 2);
    QStringList opened;
    for (const auto& call : fMemory->MenuCalls())
        opened << call.Verb + u' ' + call.Paths.join(u',');
    EXPECT_EQ(opened, (QStringList{
                          QStringLiteral("open /docs/a.txt"), QStringLiteral("open /docs/b.doc"),
                          QStringLiteral("open /docs/b.doc"), QStringLiteral("open /docs/a.txt")}));
}

// "explore" opens the folders holding the objects: once for objects deeper than the top that
// share a folder, else each object's folder.
struct TExploreCase
{
    const char* What;
    bool InSub;
    QStringList Selected;
    QStringList Opened;
};

class WayfoldExploreTest
    : public WayfoldMenuTest
    , public ::testing::WithParamInterface<TExploreCase>
{
};

TEST_P(WayfoldExploreTest, ExploreOpensTheFoldersOnce)
{
    const TExploreCase& c = GetParam();
    Select(c.InSub ? *fSub : *fDocs, c.Selected);
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("explore"))));
    QStringList opened;
    for (const auto& call : fMemory->MenuCalls())
        opened << call.Paths;
    EXPECT_EQ(opened, c.Opened) << c.What;
}

INSTANTIATE_TEST_SUITE_P(
    Explore, WayfoldExploreTest,
    ::testing::Values(TExploreCase{"one", false, {"a.txt"}, {"/docs"}},
                      TExploreCase{"one folder deep down", true, {"x.txt", "y.txt"}, {"/docs/sub"}},
                      TExploreCase{"near the top", false, {"a.txt", "b.doc"}, {"/docs", "/docs"}}));

TEST_F(WayfoldMenuTest, CmdOpensATerminalWhereThereIsAFolder)
{
    fFolder.SetObjectName(QStringLiteral("a.txt"));
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("cmd"))));
    const auto launches = fMemory->Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].WorkingDir, QStringLiteral("/docs"));

    TWayfold top;
    top.SetFolderIdList(ListOf(fMemory->Root()));
    top.SetObjectName(QStringLiteral("places"));
    EXPECT_FALSE(top.InvokeContextMenuCommand(TShellCommand(QStringLiteral("cmd"))));
    EXPECT_EQ(fMemory->Launches().size(), 1u);
}

TEST_F(WayfoldMenuTest, BackgroundMenuRunsItsEntries)
{
    pf::MenuModel model;
    pf::IContextMenuPtr menu = fFolder.PrepareBackgroundMenu(model, 0, nullptr);
    ASSERT_TRUE(menu);
    EXPECT_EQ(fFolder.ActiveContextMenu(), menu);
    EXPECT_EQ(fFolder.RunBackgroundMenuEntry(*menu, IdOf(model, "refresh"), nullptr),
              QStringLiteral("refresh"));
    // A read-only component's folder takes nothing in; a failed command answers no verb.
    fFolder.SetReadOnly(true);
    EXPECT_EQ(fFolder.RunBackgroundMenuEntry(*menu, IdOf(model, "paste"), nullptr), QString());
    fMemory->SetInvokeResult(pf::HResultFromWin32(5));
    EXPECT_EQ(fFolder.RunBackgroundMenuEntry(*menu, IdOf(model, "NewFolder"), nullptr), QString());
    const auto calls = fMemory->MenuCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Kind, QStringLiteral("background"));
    EXPECT_EQ(calls[0].Paths, QStringList{QStringLiteral("/docs")});
    EXPECT_EQ(calls[0].Mask, 0u);
    fFolder.EndContextMenu();
    EXPECT_FALSE(fFolder.ActiveContextMenu());

    fMemory->SetMenuFailure(pf::HResultFromWin32(5));
    EXPECT_FALSE(fFolder.PrepareBackgroundMenu(model, 0, nullptr));
}

// ---- real folders ---------------------------------------------------------------------------

class WayfoldLinuxMenuTest : public ::testing::Test
{
protected:
    WayfoldLinuxMenuTest()
    {
        const QString home = fDir.CreateFolder(QStringLiteral("home"));
        for (const auto& [name, value] :
             {std::pair{"HOME", home}, std::pair{"XDG_CONFIG_HOME", home + "/.config"},
              std::pair{"XDG_DATA_HOME", home + "/.local/share"},
              std::pair{"XDG_CACHE_HOME", home + "/.cache"}})
            fEnvironment.Set(name, QFile::encodeName(value));
        fPlatform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
        TSpecialFolders::Reset();
        fWork = fDir.CreateFolder(QStringLiteral("work"));
        fFolder.SetFolder(fWork);
        // Commands finish before the call returns.
        fFolder.SetAsyncContextMenuOperations(false);
    }
    ~WayfoldLinuxMenuTest() override
    {
        fPlatform.reset();
        TSpecialFolders::Reset();
    }

    test::TestDir fDir;
    test::TScopedEnvironment fEnvironment;
    std::unique_ptr<pf::TScopedPlatform> fPlatform;
    QString fWork;
    TWayfold fFolder;
};

TEST_F(WayfoldLinuxMenuTest, DeleteByVerbMovesTheFileToTheTrash)
{
    fDir.CreateFile(QStringLiteral("work/old notes.txt"));
    fFolder.SetObjectName(QStringLiteral("old notes.txt"));
    EXPECT_TRUE(fFolder.InvokeContextMenuCommand(TShellCommand(QStringLiteral("delete"))));
    EXPECT_FALSE(QFile::exists(fWork + QStringLiteral("/old notes.txt")));
    EXPECT_TRUE(
        QFile::exists(fDir.Join(QStringLiteral("home/.local/share/Trash/files/old notes.txt"))));
}

TEST_F(WayfoldLinuxMenuTest, BackgroundNewFolderMakesAFolderHere)
{
    pf::MenuModel model;
    const pf::IContextMenuPtr menu = fFolder.PrepareBackgroundMenu(model, 0, nullptr);
    ASSERT_TRUE(menu);
    std::uint32_t id = 0;
    std::function<void(const std::vector<pf::MenuItem>&)> find =
        [&](const std::vector<pf::MenuItem>& pItems) {
            for (const pf::MenuItem& item : pItems) {
                if (item.Verb == QLatin1String("NewFolder"))
                    id = item.Id;
                find(item.Children);
            }
        };
    find(model.Items);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(fFolder.RunBackgroundMenuEntry(*menu, id, nullptr), QStringLiteral("NewFolder"));
    EXPECT_TRUE(QDir(fWork + QStringLiteral("/New Folder")).exists());
}

} // namespace
} // namespace kiv

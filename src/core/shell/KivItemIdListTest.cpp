#include "core/shell/KivItemIdList.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/IContextMenu.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/platform/PropVariant.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/PlatformPathEnvironment.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kiv {
namespace {

using F = TKivShellFolder;
using C = TItemIdListComparison;

// Points HOME and the XDG folders at a private folder for the life of the object.
class TScopedHome
{
public:
    explicit TScopedHome(const QString& pHome)
    {
        Set("HOME", pHome);
        Set("XDG_CONFIG_HOME", pHome + QStringLiteral("/.config"));
        Set("XDG_DATA_HOME", pHome + QStringLiteral("/.local/share"));
        Set("XDG_CACHE_HOME", pHome + QStringLiteral("/.cache"));
    }

private:
    void Set(const char* pName, const QString& pValue)
    {
        fEnvironment.Set(pName, QByteArray::fromStdString(pf::EncodeFileName(pValue)));
    }
    test::TScopedEnvironment fEnvironment;
};

// The Linux platform over a private home and a private work folder.
class ItemIdListLinuxTest : public ::testing::Test
{
protected:
    ItemIdListLinuxTest()
        : fHome(fDir.CreateFolder(QStringLiteral("home")))
        , fPlatform(pf::lnx::CreateLinuxPlatform())
    {
        TSpecialFolders::Reset();
    }
    ~ItemIdListLinuxTest() override { TSpecialFolders::Reset(); }

    QString Work(const QString& pRelative) const { return fDir.Join(pRelative); }

    test::TestDir fDir;
    TScopedHome fHome;
    pf::TScopedPlatform fPlatform;
};

TEST_F(ItemIdListLinuxTest, StartListsAndParents)
{
    const QString deep = fDir.CreateFolder(QStringLiteral("a/b/c"));
    const IItemIdListPtr list = TKivItemIdList::Parse(deep);
    ASSERT_FALSE(list->IsInvalid());
    const int depth = list->Depth();
    ASSERT_GT(depth, 3);

    const IItemIdListPtr desktop = list->GetStartItemIdList(0);
    EXPECT_EQ(desktop->Depth(), 0);
    EXPECT_TRUE(desktop->IsSpecialFolder(F::SF_DESKTOP));
    for (const int n : {depth, depth + 5})
        EXPECT_TRUE(list->GetStartItemIdList(n)->Equals(list, C::ilcExact)) << n;
    EXPECT_TRUE(list->GetStartItemIdList(depth - 1)->Equals(list->GetParent(), C::ilcExact));
    EXPECT_EQ(list->GetParent()->Path(), fDir.Join(QStringLiteral("a/b")));

    try {
        list->GetStartItemIdList(-1);
        FAIL() << "no exception";
    } catch (const EInvalidArgument& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("TKivItemIdList.GetStartItemIdList: The paramter "
                                                  "pFragments must be greater or equal 0."));
    }
    try {
        desktop->GetParent();
        FAIL() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_TRUE(error.Message().startsWith(
            QStringLiteral("Could not get the parent ItemIdList for: ")));
    }
    EXPECT_THROW(InvalidItemIdList()->GetParent(), EWayfoldError);
}

TEST_F(ItemIdListLinuxTest, ParseOfTextThatNamesNothingOrSomethingSpecial)
{
    EXPECT_EQ(TKivItemIdList::Parse(QString()), InvalidItemIdList());
    EXPECT_TRUE(InvalidItemIdList()->IsInvalid());

    const IItemIdListPtr network = TKivItemIdList::Parse(QStringLiteral("\\\\*"));
    EXPECT_FALSE(network->IsInvalid());
    EXPECT_EQ(network->SpecialFolder(), F::SF_NETWORK);

    for (const QString& missing : {Work(QStringLiteral("missing/x")), QStringLiteral("Q:\\x"),
                                   QStringLiteral("no such name anywhere ")}) {
        const IItemIdListPtr list = TKivItemIdList::Parse(missing);
        EXPECT_TRUE(list->IsInvalid()) << missing.toStdString();
        EXPECT_EQ(list->Path(), missing) << missing.toStdString();
        EXPECT_EQ(list->DisplayPath(), missing) << missing.toStdString();
    }

    // Quotes and a trailing delimiter do not change the place.
    const QString folder = fDir.CreateFolder(QStringLiteral("Some Folder"));
    const IItemIdListPtr plain = TKivItemIdList::Parse(folder);
    for (const QString& text : {u'"' + folder + u'"', folder + u'/'})
        EXPECT_TRUE(TKivItemIdList::Parse(text)->Equals(plain, C::ilcExact)) << text.toStdString();
    EXPECT_EQ(plain->Name(), QStringLiteral("Some Folder"));
}

TEST_F(ItemIdListLinuxTest, NamesDifferingInCaseAreDifferentItems)
{
    const QString upper = fDir.CreateFile(QStringLiteral("Case.txt"));
    const QString lower = fDir.CreateFile(QStringLiteral("case.txt"));
    const IItemIdListPtr a = TKivItemIdList::Parse(upper);
    const IItemIdListPtr b = TKivItemIdList::Parse(lower);
    // The same files again, but from their bytes: no stored text, so the platform compares.
    const IItemIdListPtr a2 = TKivItemIdList::Create(*a->WindowsPointer());
    const IItemIdListPtr b2 = TKivItemIdList::Create(*b->WindowsPointer());
    for (const C mode : {C::ilcDisplay, C::ilcExact}) {
        EXPECT_FALSE(a->Equals(b, mode));
        EXPECT_FALSE(a2->Equals(b2, mode));
        EXPECT_NE(a2->CompareTo(b2, mode), 0);
        EXPECT_TRUE(a->Equals(a2, mode));
        EXPECT_EQ(a2->CompareTo(a, mode), 0);
    }
    const QString folder = fDir.CreateFolder(QStringLiteral("dir"));
    EXPECT_TRUE(TKivItemIdList::Create(folder + u'/')
                    ->Equals(TKivItemIdList::Parse(folder), C::ilcDisplay));
}

struct TSamePathCase
{
    const char16_t* A;
    const char16_t* B;
    bool CaseSensitive;
    bool Same;
};

class SamePathTest : public ::testing::TestWithParam<TSamePathCase>
{
};

TEST_P(SamePathTest, ComparesAsTheStyleSays)
{
    const TSamePathCase& c = GetParam();
    EXPECT_EQ(
        TKivItemIdList::SamePath(QString::fromUtf16(c.A), QString::fromUtf16(c.B), c.CaseSensitive),
        c.Same);
}

INSTANTIATE_TEST_SUITE_P(Styles, SamePathTest,
                         ::testing::Values(TSamePathCase{u"C:\\Temp", u"c:\\temp\\", false, true},
                                           TSamePathCase{u"C:\\Temp", u"C:\\Temp2", false, false},
                                           TSamePathCase{u"C:\\Ä", u"C:\\ä", false,
                                                         false}, // only ASCII folds
                                           TSamePathCase{u"/tmp/Temp", u"/tmp/temp", true, false},
                                           TSamePathCase{u"/tmp/temp/", u"/tmp/temp", true, true},
                                           TSamePathCase{u"/", u"/", true, true},
                                           TSamePathCase{u"/tmp//", u"/tmp", true, false}));

TEST_F(ItemIdListLinuxTest, SpecialFolderCache)
{
    const QString documents = fDir.CreateFolder(QStringLiteral("home/Documents"));
    const IItemIdListPtr drives1 = TKivItemIdList::CreateForSpecialFolder(F::SF_DRIVES, true);
    const IItemIdListPtr drives2 = TKivItemIdList::CreateForSpecialFolder(F::SF_DRIVES, true);
    ASSERT_FALSE(drives1->IsInvalid());
    EXPECT_NE(drives1, drives2);
    EXPECT_TRUE(drives1->Equals(drives2, C::ilcExact));

    const IItemIdListPtr personal = TKivItemIdList::CreateForSpecialFolder(F::SF_PERSONAL, true);
    ASSERT_FALSE(personal->IsInvalid());
    EXPECT_EQ(TKivItemIdList::CreateForSpecialFolder(F::SF_PERSONAL, true), personal);
    EXPECT_NE(TKivItemIdList::CreateForSpecialFolder(F::SF_PERSONAL, false), personal);
    EXPECT_EQ(personal->Path(), documents);

    // Identification of lists made some other way.
    EXPECT_EQ(TKivItemIdList::Parse(documents)->SpecialFolder(), F::SF_PERSONAL);
    EXPECT_EQ(TKivItemIdList::Create(QString())->SpecialFolder(), F::SF_DRIVES);
    EXPECT_EQ(TKivItemIdList::Parse(fDir.CreateFolder(QStringLiteral("plain")))->SpecialFolder(),
              F::SF_FILESYSTEMFOLDER);
    EXPECT_EQ(TKivItemIdList::CreateForSpecialFolder(F::SF_INVALID, true)->IsInvalid(), true);
}

TEST_F(ItemIdListLinuxTest, RenameNeedsTheRightAndRenames)
{
    const IItemIdListPtr drives = TKivItemIdList::CreateForSpecialFolder(F::SF_DRIVES, true);
    try {
        drives->Rename(QStringLiteral("x"), nullptr, false);
        FAIL() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Element cannot be renamed")));
    }

    const IItemIdListPtr file = TKivItemIdList::Parse(fDir.CreateFile(QStringLiteral("old.txt")));
    const IItemIdListPtr renamed = file->Rename(QStringLiteral("new.txt"), nullptr, true);
    EXPECT_EQ(renamed->Path(), Work(QStringLiteral("new.txt")));
    EXPECT_EQ(file->Path(), Work(QStringLiteral("new.txt")));
    EXPECT_TRUE(QFile::exists(Work(QStringLiteral("new.txt"))));
    EXPECT_FALSE(QFile::exists(Work(QStringLiteral("old.txt"))));
}

TEST_F(ItemIdListLinuxTest, NewFoldersAreNumberedOnCollisions)
{
    const IItemIdListPtr parent = TKivItemIdList::Parse(fDir.Path());
    QStringList made;
    for (const QString& name :
         {QString(), QString(), QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("x")})
        made << parent->CreateNewFolder(name)->Name();
    // The first name is the platform's localized new-folder text.
    ASSERT_FALSE(made[0].isEmpty());
    EXPECT_EQ(made, QStringList({made[0], made[0] + " (1)", "x", "x (1)", "x (2)"}));
    for (const QString& name : made)
        EXPECT_TRUE(QDir(Work(name)).exists()) << name.toStdString();

    // A virtual parent cannot hold folders: reported, not silently ignored.
    EXPECT_THROW(TKivItemIdList::CreateForSpecialFolder(F::SF_DRIVES)->CreateNewFolder({}),
                 EWayfoldError);
}

TEST_F(ItemIdListLinuxTest, AttributesAndFolders)
{
    const QString folder = fDir.CreateFolder(QStringLiteral("f"));
    const QString file = fDir.CreateFile(QStringLiteral("f/file.txt"));
    const IItemIdListPtr folderList = TKivItemIdList::Parse(folder);
    const IItemIdListPtr fileList = TKivItemIdList::Parse(file);
    EXPECT_TRUE(folderList->HasAttributes(pf::sfgao::BROWSABLE));
    EXPECT_FALSE(fileList->HasAttributes(pf::sfgao::BROWSABLE));
    EXPECT_TRUE(fileList->HasAttributes(pf::sfgao::FILESYSTEM));
    EXPECT_TRUE(folderList->IsFolder());
    EXPECT_FALSE(fileList->IsFolder());
    EXPECT_TRUE(folderList->IsParentOf(fileList, false, C::ilcExact));
    EXPECT_FALSE(fileList->IsParentOf(folderList, true, C::ilcDisplay));
    EXPECT_FALSE(folderList->IsSlow());
    EXPECT_TRUE(TKivItemIdList::CreateSearchFolder(QStringLiteral("x"), folderList)->IsSlow());
    EXPECT_TRUE(TKivItemIdList::CreateSearchFolder(QStringLiteral("x"), folderList)->IsInvalid());

    // A symbolic link resolves to its target.
    ASSERT_TRUE(QFile::link(QStringLiteral("f/file.txt"), Work(QStringLiteral("link"))));
    const IItemIdListPtr target = TKivItemIdList::Parse(Work(QStringLiteral("link")))->LinkTarget();
    EXPECT_EQ(target->Path(), file);
}

TEST_F(ItemIdListLinuxTest, ParseFindsChildrenUnderSpecialFolderNames)
{
    const QString documents = fDir.CreateFolder(QStringLiteral("home/Documents/Reports"));
    const IItemIdListPtr personal = TKivItemIdList::CreateForSpecialFolder(F::SF_PERSONAL, true);
    ASSERT_FALSE(personal->IsInvalid());
    const QString name = personal->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder);
    ASSERT_FALSE(name.isEmpty());
    const IItemIdListPtr found = TKivItemIdList::Parse(name + QStringLiteral("/Reports"));
    EXPECT_EQ(found->Path(), documents);
    EXPECT_TRUE(TKivItemIdList::Parse(name.toLower())->Equals(personal, C::ilcExact));
}

TEST_F(ItemIdListLinuxTest, PropertiesAndTheirTexts)
{
    const IItemIdListPtr file =
        TKivItemIdList::Parse(fDir.CreateFile(QStringLiteral("five.txt"), "12345"));
    const auto key = [](const pf::PropertyKey& pKey) {
        const pf::Guid& g = pKey.FormatId;
        return TShellColumnId{
            TPropertyKey{QUuid(g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                               g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]),
                         pKey.PropertyId}};
    };
    const TShellColumnId size = key(pf::pkey::Size);
    const TShellColumnId name = key(pf::pkey::ItemNameDisplay);
    EXPECT_EQ(file->GetPropertyValue(size).FPropertyVariant.toLongLong(), 5);
    EXPECT_EQ(file->GetShellInformation({size, name}, 1, false),
              QStringLiteral("1 KB\r\nfive.txt"));
    EXPECT_EQ(file->GetShellInformation({size, name}, 0, false), QStringLiteral("1 KB"));
    EXPECT_EQ(file->GetShellInformation({name, size}, 5, true), QStringLiteral("five.txt"));
    EXPECT_THROW(file->SetPropertyValue(size, {}), EWayfoldError);
}

TEST_F(ItemIdListLinuxTest, PermanentDeleteRemovesContentButNeverFollowsLinks)
{
    const QString outside = fDir.CreateFile(QStringLiteral("outside/keep.txt"), "keep");
    fDir.CreateFile(QStringLiteral("doomed/sub/file.txt"), "x");
    ASSERT_TRUE(QFile::link(fDir.Join(QStringLiteral("outside")),
                            fDir.Join(QStringLiteral("doomed/link"))));
    TKivItemIdList::Parse(fDir.Join(QStringLiteral("doomed")))
        ->InvokeCommand(TShellCommand(TShellAction::saDeleteNoUndo));
    EXPECT_FALSE(QFileInfo::exists(fDir.Join(QStringLiteral("doomed"))));
    EXPECT_TRUE(QFileInfo::exists(outside));
}

TEST_F(ItemIdListLinuxTest, SharedListsAnswerFromManyThreads)
{
    const QString file = fDir.CreateFile(QStringLiteral("shared.txt"));
    const IItemIdListPtr text = TKivItemIdList::Parse(file);
    const IItemIdListPtr bytes = TKivItemIdList::Create(*text->WindowsPointer());
    const IItemIdListPtr lazy = TKivItemIdList::Create(file);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                if (lazy->Path() != file || bytes->Path() != file ||
                    !lazy->Equals(bytes, C::ilcExact) ||
                    bytes->SpecialFolder() != F::SF_FILESYSTEMFOLDER || !lazy->ShellItem() ||
                    !TKivItemIdList::CreateForSpecialFolder(F::SF_DESKTOP)
                         ->Equals(lazy->GetStartItemIdList(0), C::ilcExact))
                    ++wrong;
                text->Reload();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST_F(ItemIdListLinuxTest, PathUtilitiesAskThePlatform)
{
    const QString folder = fDir.CreateFolder(QStringLiteral("env"));
    ASSERT_TRUE(QFile::link(folder, fDir.Join(QStringLiteral("env-link"))));
    const TPlatformPathEnvironment environment;
    EXPECT_FALSE(environment.CurrentDir().isEmpty());
    EXPECT_EQ(environment.HomeDir(), fDir.Join(QStringLiteral("home")));
    EXPECT_EQ(environment.VolumeRootOf(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(environment.LongPathName(folder), folder);
    EXPECT_TRUE(*environment.FileAttributes(fDir.Join(QStringLiteral("env-link"))) &
                FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(*environment.FindFirstAttributes(fDir.Join(QStringLiteral("env-link"))) &
                FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_FALSE(environment.FileAttributes(fDir.Join(QStringLiteral("none"))).has_value());
    const QString thisPc = environment.MyComputerName();
    EXPECT_EQ(thisPc, TKivItemIdList::CreateForSpecialFolder(F::SF_DRIVES)
                          ->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder));

    const auto previous =
        TPathUtils::InstallEnvironment(std::make_shared<TPlatformPathEnvironment>());
    EXPECT_EQ(TPathUtils::GetSpecialFolderRoot(thisPc + QStringLiteral("/x")), thisPc);
    TPathUtils::InstallEnvironment(previous);
}

// Bytes from outside are checked before anything reads them.
TEST(ItemIdListUntrustedTest, MalformedBytesGiveInvalidLists)
{
    pf::TScopedPlatform platform(std::make_unique<pf::mem::TMemoryPlatform>());
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},                                // nothing
        {0},                               // half a terminator
        {5, 0, 0x31, 1},                   // the count runs past the end
        {2, 0, 0, 0},                      // an item too short to have a kind
        {1, 0, 0, 0},                      // a count shorter than itself
        {4, 0, 0x31, 1},                   // no terminator
        {4, 0, 0x31, 1, 0xFF, 0xFF, 0, 0}, // a second count past the end
    };
    for (const auto& bytes : bad) {
        const IItemIdListPtr list = TKivItemIdList::CreateFromUntrusted(bytes.data(), bytes.size());
        EXPECT_TRUE(list->IsInvalid()) << bytes.size();
        EXPECT_EQ(list->Depth(), 0);
    }
    const std::vector<std::uint8_t> good = {4, 0, 0x70, 1, 3, 0, 0x70, 0, 0, 0xAA};
    const IItemIdListPtr list = TKivItemIdList::CreateFromUntrusted(good.data(), good.size());
    EXPECT_FALSE(list->IsInvalid());
    EXPECT_EQ(list->Depth(), 2);
}

// Virtual folders, failures and program starts need the in-memory platform.
class ItemIdListMemoryTest : public ::testing::Test
{
protected:
    ItemIdListMemoryTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        fDocs = &fMemory->Root().AddFolder(QStringLiteral("docs"));
        fDocs->AddFile(QStringLiteral("a.txt"));
        fVirtual = &fMemory->Root().AddFolder(QStringLiteral("virtual"));
        fVirtual->Virtual = true;
    }
    ~ItemIdListMemoryTest() override { TSpecialFolders::Reset(); }

    IItemIdListPtr ListOf(const pf::mem::TMemoryNode& pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    pf::mem::TMemoryNode* fDocs = nullptr;
    pf::mem::TMemoryNode* fVirtual = nullptr;
};

TEST_F(ItemIdListMemoryTest, VirtualItemsHaveNoPath)
{
    const IItemIdListPtr list = ListOf(*fVirtual);
    EXPECT_FALSE(list->IsInvalid());
    EXPECT_TRUE(list->Path().isEmpty());
    EXPECT_EQ(list->SpecialFolder(), F::SF_UNKNOWN);
    EXPECT_EQ(ListOf(*fDocs)->SpecialFolder(), F::SF_FILESYSTEMFOLDER);
    EXPECT_TRUE(dynamic_cast<const IHasDebugInfo&>(*list)
                    .GetInfo(TItemIdListInfoLevel::Verbose)
                    .contains(QStringLiteral("Valid, Depth: 1")));
}

TEST_F(ItemIdListMemoryTest, PlacesOnNetworkMountsAreSlow)
{
    pf::mem::TMemoryNode& share = fMemory->Root().AddFolder(QStringLiteral("share"));
    pf::mem::TMemoryNode& deep = share.AddFolder(QStringLiteral("deep"));
    pf::MountInfo root;
    root.MountPath = QStringLiteral("/");
    pf::MountInfo remote;
    remote.MountPath = QStringLiteral("/share");
    remote.Type = pf::DriveType::Remote;
    fMemory->SetMounts({root, remote});
    EXPECT_TRUE(ListOf(share)->IsSlow());
    EXPECT_TRUE(ListOf(deep)->IsSlow());
    EXPECT_FALSE(ListOf(*fDocs)->IsSlow());
    EXPECT_FALSE(InvalidItemIdList()->IsSlow());
}

TEST_F(ItemIdListMemoryTest, PathOfAResolvedListIsCached)
{
    pf::mem::TMemoryNode& file = fDocs->AddFile(QStringLiteral("gone.txt"));
    const IItemIdListPtr list = ListOf(file);
    EXPECT_EQ(list->Path(), QStringLiteral("/docs/gone.txt"));
    fMemory->Remove(file);
    EXPECT_EQ(list->Path(), QStringLiteral("/docs/gone.txt"));
}

TEST_F(ItemIdListMemoryTest, SearchByEnumerationPrefersTheExactName)
{
    fDocs->AddFile(QStringLiteral("Mixed"));
    fDocs->AddFile(QStringLiteral("mixed"));
    for (const QString& name : {QStringLiteral("Mixed"), QStringLiteral("mixed")}) {
        const IItemIdListPtr found =
            TKivItemIdList::Parse(QStringLiteral("DOCS/") + name, nullptr, true);
        EXPECT_EQ(found->Path(), QStringLiteral("/docs/") + name);
    }
    const IItemIdListPtr loose = TKivItemIdList::Parse(QStringLiteral("DOCS/MIXED"), nullptr, true);
    EXPECT_FALSE(loose->IsInvalid());
    EXPECT_TRUE(TKivItemIdList::Parse(QStringLiteral("DOCS/MIXED"), nullptr, false)->IsInvalid());
}

TEST_F(ItemIdListMemoryTest, RemovedItemsStopResolvingAndReloadSaysSo)
{
    const IItemIdListPtr list = ListOf(*fDocs->Child(QStringLiteral("a.txt")));
    EXPECT_TRUE(list->Reload());
    fDocs->Child(QStringLiteral("a.txt"))->Vanished = true;
    EXPECT_FALSE(list->Reload());
}

TEST_F(ItemIdListMemoryTest, CommandPromptStartsTheUsersTerminalWithoutAShell)
{
    const IItemIdListPtr folder = ListOf(*fDocs);
    const IItemIdListPtr file = ListOf(*fDocs->Child(QStringLiteral("a.txt")));

    fMemory->SetEnvironment(QStringLiteral("TERMINAL"), QStringLiteral("myterm --single"));
    file->InvokeCommand(TShellCommand(TShellAction::saOpenCommandPrompt));
    fMemory->SetMissingPrograms({QStringLiteral("myterm")});
    folder->InvokeCommand(TShellCommand(TShellAction::saOpenCommandPrompt));
    const auto launches = fMemory->Launches();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[0].Program, QStringLiteral("myterm"));
    EXPECT_EQ(launches[0].Arguments, QStringList{QStringLiteral("--single")});
    EXPECT_EQ(launches[0].WorkingDir, folder->Path());
    EXPECT_EQ(launches[1].Program, QStringLiteral("x-terminal-emulator"));
    EXPECT_EQ(launches[1].WorkingDir, folder->Path());

    EXPECT_THROW(ListOf(*fVirtual)->InvokeCommand(TShellCommand(TShellAction::saOpenCommandPrompt)),
                 EWayfoldError);
}

TEST_F(ItemIdListMemoryTest, OpenAndExploreStartTheDefaultApplication)
{
    const IItemIdListPtr file = ListOf(*fDocs->Child(QStringLiteral("a.txt")));
    file->InvokeCommand(TShellCommand(TShellAction::saOpen));
    file->InvokeCommand(TShellCommand(TShellAction::saExplore));
    const auto launches = fMemory->Launches();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[0].Program, QStringLiteral("xdg-open"));
    EXPECT_EQ(launches[0].Arguments, QStringList{QStringLiteral("/docs/a.txt")});
    EXPECT_EQ(launches[0].WorkingDir, QStringLiteral("/docs"));
    EXPECT_EQ(launches[1].Arguments, QStringList{QStringLiteral("/docs")});

    // Other verbs run in the item's context menu; deleting for good asks with Shift down.
    file->InvokeCommand(TShellCommand(TShellAction::saProperties));
    TShellCommand remove(TShellAction::saDelete);
    remove.OperationOptions = TOperationOptions{TOperationOption::soSilent};
    file->InvokeCommand(remove);
    const auto calls = fMemory->MenuCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[2].Verb, QStringLiteral("PROPERTIES"));
    EXPECT_EQ(calls[2].Paths, QStringList{QStringLiteral("/docs/a.txt")});
    EXPECT_EQ(calls[3].Verb, QStringLiteral("DELETE"));
    EXPECT_EQ(calls[3].Mask,
              pf::cmic::UNICODE | pf::cmic::ASYNCOK | pf::cmic::SHIFT_DOWN | pf::cmic::FLAG_NO_UI);
    // A menu without a default entry opens with "OPEN".
    pf::MenuItem plain;
    plain.Caption = QStringLiteral("Plain");
    plain.Verb = QStringLiteral("plain");
    fMemory->SetMenuEntries({plain});
    file->InvokeCommand(TShellCommand(TShellAction::saDefault));
    EXPECT_EQ(fMemory->MenuCalls().back().Verb, QStringLiteral("OPEN"));
    fMemory->SetInvokeResult(pf::HResultFromWin32(5));
    EXPECT_THROW(file->InvokeCommand(TShellCommand(TShellAction::saProperties)), EWayfoldError);
    fMemory->SetMenuFailure(pf::E_NOINTERFACE);
    EXPECT_THROW(file->InvokeCommand(TShellCommand(TShellAction::saProperties)), EWayfoldError);
}

TEST_F(ItemIdListMemoryTest, CommandsWithoutCounterpartOrItem)
{
    const IItemIdListPtr folder = ListOf(*fDocs);
    EXPECT_THROW(folder->InvokeCommand(TShellCommand(TShellAction::saBdeUnlock)),
                 ENotSupportedException);
    EXPECT_THROW(folder->InvokeCommand(TShellCommand(QStringLiteral("windows.modernshare"))),
                 ENotSupportedException);
    EXPECT_THROW(folder->InvokeCommand(TShellCommand(TShellAction::saRename)),
                 ENotSupportedException);
    // No verb at all: reported as a failed command, not as misuse of the command record.
    EXPECT_THROW(folder->InvokeCommand(TShellCommand(TShellAction::saUnknown)), EWayfoldError);
    try {
        TKivItemIdList::Parse(QStringLiteral("/nothing/here"))
            ->InvokeCommand(TShellCommand(TShellAction::saOpen));
        FAIL() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.ErrorCode(), 2);
    }
}

} // namespace
} // namespace kiv

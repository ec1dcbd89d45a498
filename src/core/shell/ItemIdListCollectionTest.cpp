#include "core/shell/ItemIdListCollection.h"

#include "core/platform/DataObject.h"
#include "core/platform/IClipboard.h"
#include "core/platform/IContextMenu.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/ClipboardFiles.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "platform/memory/MemoryPlatform.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

using pf::mem::TMemoryNode;

// docs/x/{1,2}, docs/y/3 and other/4 in memory.
class ItemIdListCollectionTest : public ::testing::Test
{
protected:
    ItemIdListCollectionTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        fDocs = &fMemory->Root().AddFolder(QStringLiteral("docs"));
        fX = &fDocs->AddFolder(QStringLiteral("x"));
        fY = &fDocs->AddFolder(QStringLiteral("y"));
        fX1 = &fX->AddFile(QStringLiteral("1.txt"));
        fX2 = &fX->AddFile(QStringLiteral("2.txt"));
        fY3 = &fY->AddFile(QStringLiteral("3.txt"));
        fOther = &fMemory->Root().AddFolder(QStringLiteral("other"));
        fO4 = &fOther->AddFile(QStringLiteral("4.txt"));
    }
    ~ItemIdListCollectionTest() override { TSpecialFolders::Reset(); }

    IItemIdListPtr ListOf(const TMemoryNode& pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }
    std::shared_ptr<TItemIdListCollection> Of(std::initializer_list<const TMemoryNode*> pNodes)
    {
        auto collection = TItemIdListCollection::Create();
        for (const TMemoryNode* node : pNodes)
            collection->Add(ListOf(*node));
        return collection;
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    TMemoryNode *fDocs, *fX, *fY, *fX1, *fX2, *fY3, *fOther, *fO4;
};

TEST_F(ItemIdListCollectionTest, AddedPathsLoseAWildcardSuffix)
{
    auto collection = TItemIdListCollection::Create();
    collection->AddStrings({QStringLiteral("/docs/x/*"), QStringLiteral("/docs/y\\*"),
                            QStringLiteral("/docs/x/1.txt")});
    ASSERT_EQ(collection->Count(), 3);
    EXPECT_EQ(collection->GetItem(0)->Path(), QStringLiteral("/docs/x"));
    EXPECT_EQ(collection->GetItem(1)->Path(), QStringLiteral("/docs/y"));
    EXPECT_TRUE(collection->GetItem(0)->Equals(ListOf(*fX), TItemIdListComparison::ilcDisplay));
    EXPECT_EQ(collection->ToString(),
              collection->GetItem(0)->DisplayPath() + QStringLiteral("\r\n") +
                  collection->GetItem(1)->DisplayPath() + QStringLiteral("\r\n") +
                  collection->GetItem(2)->DisplayPath());

    // Adding a collection to itself doubles it once; Assign replaces.
    collection->Add(*collection);
    EXPECT_EQ(collection->Count(), 6);
    collection->Assign(QStringList{QStringLiteral("/other")});
    EXPECT_EQ(collection->Count(), 1);
    EXPECT_THROW(collection->GetItem(1), EInvalidArgument);
}

TEST_F(ItemIdListCollectionTest, SameParentRules)
{
    EXPECT_TRUE(Of({})->HaveSameParent());
    EXPECT_TRUE(Of({fY3})->HaveSameParent());
    EXPECT_TRUE(Of({fX1, fX2})->HaveSameParent());
    EXPECT_FALSE(Of({fX1, fY3})->HaveSameParent());
    EXPECT_FALSE(Of({fX1, fO4})->HaveSameParent());
    // The desktop has no parent to share.
    auto withDesktop = Of({fX1});
    withDesktop->Add(TKivItemIdList::Create(pf::idl::Empty()));
    EXPECT_FALSE(withDesktop->HaveSameParent());

    // Relative to a base folder: one level only.
    pf::IShellFolderPtr xFolder;
    ASSERT_TRUE(pf::Succeeded(
        pf::Platform().Namespace().BindToFolder(pf::IdSpan(fMemory->ListOf(*fX)), xFolder)));
    auto relative = TItemIdListCollection::Create(xFolder);
    relative->Add(TKivItemIdList::Create(pf::idl::LastAsList(pf::IdSpan(fMemory->ListOf(*fX1)))));
    relative->Add(TKivItemIdList::Create(pf::idl::LastAsList(pf::IdSpan(fMemory->ListOf(*fX2)))));
    EXPECT_TRUE(relative->HaveSameParent());
    relative->Add(ListOf(*fY3));
    EXPECT_FALSE(relative->HaveSameParent());
}

TEST_F(ItemIdListCollectionTest, LongestCommonAncestor)
{
    struct TCase
    {
        const char* Name;
        std::vector<const TMemoryNode*> Nodes;
        const TMemoryNode* Expected; // nullptr: the desktop
    };
    const std::vector<TCase> cases = {
        {"single item: its folder", {fY3}, fY},
        {"siblings", {fX1, fX2}, fX},
        {"items in sibling folders", {fX1, fY3}, fDocs},
        {"a folder and an item inside it", {fX, fX2}, fDocs},
        {"items on different top-level places", {fX1, fO4}, nullptr},
        {"a deep item after a shallow one", {fO4, fX1, fY3}, nullptr},
    };
    for (const TCase& c : cases) {
        auto collection = TItemIdListCollection::Create();
        for (const TMemoryNode* node : c.Nodes)
            collection->Add(ListOf(*node));
        bool allOnFileSystem = false;
        const IItemIdListPtr ancestor = collection->GetLongestCommonAncestor(&allOnFileSystem);
        ASSERT_TRUE(ancestor) << c.Name;
        if (c.Expected)
            EXPECT_TRUE(ancestor->Equals(ListOf(*c.Expected), TItemIdListComparison::ilcDisplay))
                << c.Name << ": " << ancestor->Path().toStdString();
        else
            EXPECT_EQ(ancestor->Depth(), 0) << c.Name;
        EXPECT_TRUE(allOnFileSystem) << c.Name;
    }
    EXPECT_FALSE(Of({})->GetLongestCommonAncestor());
    // An element that names nothing takes no part.
    auto withInvalid = Of({fX1});
    withInvalid->Add(InvalidItemIdList());
    withInvalid->Add(ListOf(*fX2));
    EXPECT_TRUE(withInvalid->GetLongestCommonAncestor()->Equals(ListOf(*fX),
                                                                TItemIdListComparison::ilcDisplay));
}

TEST_F(ItemIdListCollectionTest, MessagesOfEmptyAndUnsupportedRequests)
{
    auto empty = Of({});
    try {
        empty->GetUIObject(TUIObjectKind::uoContextMenu);
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "There are no valid Shell ItemIdList in the TItemIdListCollection");
    }
    try {
        empty->ShellItems();
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidArgument& e) {
        EXPECT_STREQ(e.what(), "Missing source files: No file was added!");
    }
    // An empty collection runs nothing, whatever the command.
    EXPECT_NO_THROW(empty->InvokeCommand(TShellAction::saCopyPath));

    auto three = Of({fX1, fX2, fY3});
    EXPECT_EQ(three->ShareTitle(), QStringLiteral("1.txt & 2 elements"));
    EXPECT_EQ(three->ShellItems().size(), 3u);
    EXPECT_THROW(three->InvokeCommand(QStringLiteral("Windows.ModernShare")),
                 ENotSupportedException);
}

// Verbs without code of their own run in the menu of the folder the elements share; elements
// directly below the desktop get the default folder menu with the class keys of their type.
TEST_F(ItemIdListCollectionTest, CommandsRunInTheMenuOfTheSharedFolderOrTheDefaultMenu)
{
    using TCall = pf::mem::TMemoryPlatform::TMenuCall;
    Of({fX1, fX2})->InvokeCommand(TShellAction::saDelete);
    Of({fX1, fX2})->InvokeCommand(TShellCommand(QStringLiteral("customverb")));
    pf::mem::TMemoryRegistry& registry = fMemory->MemoryRegistry();
    registry.AddKey(pf::RegistryRoot::ClassesRoot, QStringLiteral("*"));
    registry.SetValue(pf::RegistryRoot::ClassesRoot, QStringLiteral(".txt"), {},
                      QStringLiteral("txtfile"));
    registry.AddKey(pf::RegistryRoot::ClassesRoot, QStringLiteral("txtfile"));
    Of({fX1, fY3})->InvokeCommand(TShellAction::saProperties);
    // Relative elements: their base folder answers.
    pf::IShellFolderPtr x;
    ASSERT_EQ(pf::Platform().Namespace().BindToFolder(pf::IdSpan(fMemory->ListOf(*fX)), x),
              pf::S_OK);
    auto relative = TItemIdListCollection::Create(x);
    relative->Add(QStringLiteral("2.txt"));
    relative->InvokeCommand(TShellAction::saCopy);
    relative->InvokeCommand(TShellCommand(TShellAction::saCopy, QStringLiteral("/other")));

    const std::vector<TCall> calls = fMemory->MenuCalls();
    const QStringList x12{QStringLiteral("/docs/x/1.txt"), QStringLiteral("/docs/x/2.txt")};
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].Verb, QStringLiteral("DELETE"));
    EXPECT_EQ(calls[0].Paths, x12);
    EXPECT_EQ(calls[0].Kind, QStringLiteral("item"));
    EXPECT_EQ(calls[0].Mask, pf::cmic::UNICODE | pf::cmic::ASYNCOK);
    EXPECT_EQ(calls[1].Verb, QStringLiteral("customverb"));
    EXPECT_EQ(calls[2].Verb, QStringLiteral("PROPERTIES"));
    EXPECT_EQ(calls[2].Kind, QStringLiteral("default"));
    EXPECT_EQ(calls[2].Paths,
              (QStringList{QStringLiteral("/docs/x/1.txt"), QStringLiteral("/docs/y/3.txt")}));
    EXPECT_EQ(calls[2].ClassKeys, (QStringList{QStringLiteral("*"), QStringLiteral("txtfile")}));
    // A copy without destination goes to the clipboard; with one, to the menu.
    EXPECT_EQ(calls[3].Verb, QStringLiteral("COPY"));
    EXPECT_EQ(calls[3].Paths, QStringList{QStringLiteral("/docs/x/2.txt")});

    // The data object of the folder carries the elements' files.
    const auto data = std::static_pointer_cast<pf::IDataObject>(
        Of({fX1, fX2})->GetUIObject(TUIObjectKind::uoDataObject));
    ASSERT_TRUE(data);
    QByteArray bytes;
    ASSERT_EQ(data->GetData(pf::ClipFormat::HDrop, bytes), pf::S_OK);
    EXPECT_EQ(TClipboardFiles::ParseDropFiles(bytes), x12);
}

TEST_F(ItemIdListCollectionTest, OwnMenuDeletesAndRunsActionsByVerb)
{
    const pf::IContextMenuPtr menu = Of({fX1, fX2})->OwnContextMenu();
    pf::MenuModel model;
    EXPECT_EQ(menu->QueryContextMenu(model, 0, 7, 7, pf::cmf::NORMAL), pf::MenuResult(1));
    ASSERT_EQ(model.Items.size(), 1u);
    EXPECT_EQ(model.Items[0].Id, 7u);
    EXPECT_EQ(model.Items[0].Caption, QStringLiteral("&Delete"));
    QString verb;
    EXPECT_EQ(menu->GetCommandString(0, pf::CommandString::VerbW, verb), pf::S_OK);
    EXPECT_EQ(verb, QStringLiteral("DELETE"));
    EXPECT_EQ(menu->GetCommandString(1, pf::CommandString::VerbW, verb), pf::E_FAIL);

    pf::InvokeInfo byId;
    byId.IdOffset = 0;
    EXPECT_EQ(menu->InvokeCommand(byId), pf::S_OK);
    pf::InvokeInfo byVerb;
    byVerb.Verb = QStringLiteral("properties");
    EXPECT_EQ(menu->InvokeCommand(byVerb), pf::S_OK);
    byVerb.Verb = QStringLiteral("nothing");
    EXPECT_EQ(menu->InvokeCommand(byVerb), pf::E_FAIL);
    const auto calls = fMemory->MenuCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Verb, QStringLiteral("DELETE"));
    EXPECT_EQ(calls[1].Verb, QStringLiteral("PROPERTIES"));
    fMemory->SetInvokeResult(pf::HResultFromWin32(5));
    EXPECT_EQ(menu->InvokeCommand(byId), pf::HResultFromWin32(5));
}

TEST_F(ItemIdListCollectionTest, ClassKeysAndMenusThePlatformRefuses)
{
    TMemoryNode& md = fX->AddFile(QStringLiteral("read.me.MD"));
    EXPECT_EQ(Of({fX1, &md})->ClassKeys(), QStringList{});
    fMemory->MemoryRegistry().AddKey(pf::RegistryRoot::ClassesRoot, QStringLiteral("*"));
    fMemory->MemoryRegistry().AddKey(pf::RegistryRoot::ClassesRoot, QStringLiteral(".md"));
    fMemory->MemoryRegistry().AddKey(pf::RegistryRoot::ClassesRoot, QStringLiteral(".txt"));
    EXPECT_EQ(Of({fX1, &md})->ClassKeys(), QStringList{QStringLiteral("*")});
    pf::OsProfile old;
    old.Win8OrLater = false;
    old.Win10OrLater = false;
    fMemory->SetProfile(old);
    EXPECT_EQ(Of({fX1, &md})->ClassKeys(),
              (QStringList{QStringLiteral("*"), QStringLiteral(".md"), QStringLiteral(".txt")}));

    // Before Windows 10 a folder answers for virtual elements only when all are its children.
    TMemoryNode& deep = fX->AddFolder(QStringLiteral("v")).AddFile(QStringLiteral("w"));
    deep.Virtual = true;
    EXPECT_FALSE(Of({&deep, fX1})->ContextMenu());
    EXPECT_THROW(Of({&deep, fX1})->InvokeCommand(TShellAction::saProperties), EWayfoldError);
    fMemory->SetProfile(pf::OsProfile());
    EXPECT_TRUE(Of({&deep, fX1})->ContextMenu());

    fMemory->SetMenuFailure(pf::HResultFromWin32(5));
    try {
        Of({fX1, fX2})->ContextMenu();
        ADD_FAILURE() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.ErrorCode(), 5);
    }
    // The default folder menu fails quietly: no menu.
    EXPECT_FALSE(Of({fX1, fY3})->ContextMenu());
}

TEST_F(ItemIdListCollectionTest, ExploreOpensTheSharedFolderOnceElseEachElement)
{
    Of({fX1, fX2})->InvokeCommand(TShellAction::saExplore);
    EXPECT_EQ(fMemory->Launches().size(), 1u);
    Of({fX1, fY3})->InvokeCommand(TShellAction::saExplore);
    EXPECT_EQ(fMemory->Launches().size(), 3u);
}

TEST_F(ItemIdListCollectionTest, ShellItemArraySkipsListsWithoutAnItem)
{
    auto collection = Of({fX1, fX, fY3});
    collection->Add(InvalidItemIdList());
    const auto array = collection->ShellItemArray();
    ASSERT_EQ(array->Count(), 3);
    pf::IShellItemPtr item;
    EXPECT_EQ(array->GetItemAt(3, item), pf::E_INVALIDARG);
    ASSERT_EQ(array->GetItemAt(1, item), pf::S_OK);
    QString name;
    ASSERT_EQ(item->GetDisplayName(pf::sigdn::NORMALDISPLAY, name), pf::S_OK);
    EXPECT_EQ(name, QStringLiteral("x"));

    std::uint32_t attributes = 0;
    EXPECT_EQ(array->GetAttributes(pf::sfgao::FOLDER, true, attributes), pf::S_FALSE);
    EXPECT_EQ(attributes, 0u);
    EXPECT_EQ(array->GetAttributes(pf::sfgao::FOLDER, false, attributes), pf::S_OK);
    EXPECT_EQ(attributes, pf::sfgao::FOLDER);

    std::vector<pf::IShellItemPtr> items;
    EXPECT_EQ(array->Next(2, items), pf::S_OK);
    EXPECT_EQ(items.size(), 2u);
    const auto clone = array->Clone();
    EXPECT_EQ(array->Next(5, items), pf::S_FALSE);
    EXPECT_EQ(items.size(), 1u);
    EXPECT_EQ(clone->Skip(2), pf::S_FALSE);
    clone->Reset();
    EXPECT_EQ(clone->Skip(3), pf::S_OK);
    EXPECT_EQ(clone->Next(1, items), pf::S_FALSE);
    EXPECT_TRUE(items.empty());

    EXPECT_THROW(Of({})->ShellItemArray(), EInvalidArgument);
    TShellItemArray none({InvalidItemIdList()});
    EXPECT_EQ(none.GetAttributes(pf::sfgao::FOLDER, true, attributes), pf::E_FAIL);
}

TEST_F(ItemIdListCollectionTest, ClipboardReceivesPathsTextAndTheItems)
{
    pf::mem::TMemoryClipboard& clipboard = fMemory->MemoryClipboard();
    auto three = Of({fX1, fX2, fY3});
    three->InvokeCommand(TShellAction::saCopyPath);
    QString text;
    ASSERT_EQ(clipboard.GetText(text), pf::S_OK);
    EXPECT_EQ(text, QStringLiteral("/docs/x/1.txt\r\n/docs/x/2.txt\r\n/docs/y/3.txt"));

    // Cut items read back as the same items, marked as moved.
    three->InvokeCommand(TShellAction::saCut);
    pf::IDataObjectPtr data;
    ASSERT_EQ(clipboard.GetDataObject(data), pf::S_OK);
    QByteArray effect;
    ASSERT_EQ(data->GetData(pf::ClipFormat::PreferredDropEffect, effect), pf::S_OK);
    EXPECT_EQ(pf::DropEffectFromBytes(effect), pf::DROPEFFECT_MOVE);
    auto pasted = TItemIdListCollection::Create(*data);
    ASSERT_EQ(pasted->Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(pasted->GetItem(i)->Equals(three->GetItem(i), TItemIdListComparison::ilcExact));

    // Without the item lists (another program's copy) the dropped files give the items.
    pf::TDataObject filesOnly;
    QByteArray files;
    ASSERT_EQ(data->GetData(pf::ClipFormat::HDrop, files), pf::S_OK);
    filesOnly.SetData(pf::ClipFormat::HDrop, files);
    EXPECT_EQ(TItemIdListCollection::Create(filesOnly)->ToString(), three->ToString());

    // A clipboard held by another program: the command fails loudly and the content stays.
    clipboard.SetFailure(pf::CLIPBRD_E_CANT_OPEN);
    EXPECT_THROW(Of({fO4})->InvokeCommand(TShellAction::saCopy), EWayfoldError);
    EXPECT_THROW(ListOf(*fO4)->InvokeCommand(TShellCommand(TShellAction::saCopyPath)),
                 EWayfoldError);
    clipboard.SetFailure(pf::S_OK);
    ListOf(*fO4)->InvokeCommand(TShellCommand(TShellAction::saCopyPath));
    ASSERT_EQ(clipboard.GetText(text), pf::S_OK);
    EXPECT_EQ(text, QStringLiteral("/other/4.txt"));
}

} // namespace
} // namespace kiv

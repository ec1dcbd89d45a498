#include "MemoryPlatform.h"

#include "core/platform/IDebug.h"
#include "core/platform/INamespace.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/ShellConstants.h"

#include <gtest/gtest.h>

namespace kiv::pf::mem {
namespace {

class MemoryPlatformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fDocs = &fPlatform.Root().AddFolder(QStringLiteral("docs"));
        fDocs->AddFile(QStringLiteral("a.txt"), 10);
        fDocs->AddFile(QStringLiteral("b.txt"), 20);
        fDocs->AddFolder(QStringLiteral("sub")).AddFile(QStringLiteral("deep"));
        fDocs->AddFile(QStringLiteral(".secret")).ExtraAttributes = sfgao::HIDDEN;
        fDocs->AddFolder(QStringLiteral("unlisted")).NonEnumerated = true;
    }

    INamespace& Ns() { return fPlatform.Namespace(); }

    IShellFolderPtr Bind(const TMemoryNode& pNode)
    {
        IShellFolderPtr folder;
        EXPECT_EQ(Ns().BindToFolder(IdSpan(fPlatform.ListOf(pNode)), folder), S_OK);
        return folder;
    }

    // Names listed by a folder, in order; the last result of Next in pEnd.
    std::vector<QString> List(IShellFolder& pFolder, std::uint32_t pFlags, HResult* pEnd = nullptr,
                              std::stop_token pCancel = {})
    {
        std::vector<QString> names;
        IEnumIDListPtr items;
        HResult result = pFolder.EnumObjects(nullptr, pFlags, items, pCancel);
        IdListBytes item;
        while (Succeeded(result) && (result = items->Next(item)) == S_OK) {
            QString name;
            pFolder.GetDisplayNameOf(IdSpan(item), shgdn::INFOLDER, name);
            names.push_back(name);
        }
        if (pEnd)
            *pEnd = result;
        return names;
    }

    TMemoryPlatform fPlatform;
    TMemoryNode* fDocs = nullptr;
};

TEST_F(MemoryPlatformTest, ParsingNamesRoundTrip)
{
    for (const TMemoryNode* node : {fDocs, fDocs->Child(QStringLiteral("sub"))->Child("deep"),
                                    fDocs->Child(QStringLiteral("unlisted"))}) {
        const IdListBytes list = fPlatform.ListOf(*node);
        IShellItemPtr item;
        ASSERT_EQ(Ns().CreateShellItem(IdSpan(list), item), S_OK);
        QString parsing;
        ASSERT_EQ(item->GetDisplayName(sigdn::DESKTOPABSOLUTEPARSING, parsing), S_OK);
        IdListBytes again;
        ASSERT_EQ(Ns().Desktop()->ParseDisplayName(nullptr, nullptr, parsing, again, nullptr),
                  S_OK);
        EXPECT_EQ(again, list);
        EXPECT_EQ(fPlatform.NodeOf(IdSpan(again)), node);
        EXPECT_EQ(Ns().Desktop()->CompareIDs(shcids::CANONICALONLY, IdSpan(list), IdSpan(again)),
                  S_OK);
    }
    IdListBytes list;
    EXPECT_EQ(Ns().Desktop()->ParseDisplayName(nullptr, nullptr, "/docs/none", list, nullptr),
              HResultFromWin32(2));
    EXPECT_EQ(Ns().Desktop()->ParseDisplayName(nullptr, nullptr, "/none/x", list, nullptr),
              HResultFromWin32(3));
}

TEST_F(MemoryPlatformTest, EnumerationHonoursFlagsAndHiddenItems)
{
    const auto docs = Bind(*fDocs);
    using V = std::vector<QString>;
    EXPECT_EQ(List(*docs, shcontf::FOLDERS | shcontf::NONFOLDERS), (V{"a.txt", "b.txt", "sub"}));
    EXPECT_EQ(List(*docs, shcontf::NONFOLDERS | shcontf::INCLUDEHIDDEN),
              (V{"a.txt", "b.txt", ".secret"}));
    EXPECT_EQ(List(*docs, shcontf::FOLDERS), (V{"sub"}));
}

TEST_F(MemoryPlatformTest, InjectedFailuresAndFaults)
{
    const auto docs = Bind(*fDocs);
    HResult end = S_OK;
    fDocs->EnumFailure = HResultFromWin32(5);
    EXPECT_TRUE(List(*docs, 0x100E0, &end).empty());
    EXPECT_EQ(end, HResultFromWin32(5));

    fDocs->EnumFailure = S_OK;
    fDocs->FaultOnNext = 2;
    EXPECT_EQ(List(*docs, 0x100E0, &end).size(), 1u);
    EXPECT_EQ(end, E_UNEXPECTED);
    // The count goes on over later enumerations: the fault happens once.
    EXPECT_EQ(List(*docs, 0x100E0, &end).size(), 4u);
    EXPECT_EQ(end, S_FALSE);

    // A delayed folder can be cancelled between items.
    fDocs->DelayPerItem = std::chrono::milliseconds(1);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(List(*docs, 0x100E0, &end, stop.get_token()).empty());
    EXPECT_EQ(end, HResultFromWin32(1223));

    fDocs->BindFailure = E_ACCESSDENIED;
    IShellFolderPtr folder;
    EXPECT_EQ(Ns().BindToFolder(IdSpan(fPlatform.ListOf(*fDocs)), folder), E_ACCESSDENIED);

    fDocs->NoColumns = true;
    EXPECT_EQ(docs->AsFolder2(), nullptr);
}

TEST_F(MemoryPlatformTest, ItemsVanishAndNamesCollide)
{
    TMemoryNode& a = *fDocs->Child(QStringLiteral("a.txt"));
    IShellItemPtr item;
    ASSERT_EQ(Ns().CreateShellItem(IdSpan(fPlatform.ListOf(a)), item), S_OK);
    EXPECT_EQ(item->Update(), S_OK);
    a.Vanished = true;
    EXPECT_EQ(item->Update(), HResultFromWin32(2));

    const auto docs = Bind(*fDocs);
    const IdListBytes b = idl::LastAsList(IdSpan(fPlatform.ListOf(*fDocs->Child("b.txt"))));
    EXPECT_EQ(docs->SetNameOf(nullptr, IdSpan(b), QStringLiteral("a.txt"), 0x8001, nullptr),
              HResultFromWin32(183));
    IdListBytes renamed;
    ASSERT_EQ(docs->SetNameOf(nullptr, IdSpan(b), QStringLiteral("c.txt"), 0x8001, &renamed), S_OK);
    EXPECT_EQ(docs->CompareIDs(shcids::CANONICALONLY, IdSpan(renamed), IdSpan(b)), S_OK);

    // A removed folder: its lists stop resolving, a folder bound before reports a missing path.
    const IdListBytes subList = fPlatform.ListOf(*fDocs->Child("sub"));
    const auto sub = Bind(*fDocs->Child("sub"));
    fPlatform.Remove(*fDocs->Child("sub"));
    EXPECT_EQ(fPlatform.NodeOf(IdSpan(subList)), nullptr);
    EXPECT_EQ(Ns().CreateShellItem(IdSpan(subList), item), E_INVALIDARG);
    IEnumIDListPtr items;
    EXPECT_EQ(sub->EnumObjects(nullptr, 0x100E0, items), HResultFromWin32(3));
}

TEST_F(MemoryPlatformTest, ProfileStringsKnownFoldersAndDebugLines)
{
    EXPECT_EQ(fPlatform.Info().Profile(), OsProfile{});
    fPlatform.SetProfile(OsProfile{true, false, false, 9600});
    EXPECT_FALSE(fPlatform.Info().Profile().Win10OrLater);

    QString text;
    EXPECT_FALSE(fPlatform.Info().LoadString(StringModule::Shell32, 8977, text));
    fPlatform.SetString(StringModule::Shell32, 8977, QStringLiteral("In Folder"));
    EXPECT_TRUE(fPlatform.Info().LoadString(StringModule::Shell32, 8977, text));
    EXPECT_EQ(text, QStringLiteral("In Folder"));
    EXPECT_FALSE(fPlatform.Info().LoadString(StringModule::ExplorerFrame, 8977, text));

    fPlatform.SetKnownFolder({csidl::PERSONAL, folderid::Documents}, fDocs);
    IdListBytes list;
    ASSERT_EQ(fPlatform.KnownFolders().GetIdList({-1, folderid::Documents}, list), S_OK);
    EXPECT_EQ(fPlatform.NodeOf(IdSpan(list)), fDocs);
    Guid id;
    ASSERT_EQ(fPlatform.KnownFolders().FindFromPath(QStringLiteral("/docs"), id), S_OK);
    EXPECT_EQ(id, folderid::Documents);
    EXPECT_EQ(fPlatform.KnownFolders().GetIdList({csidl::MYMUSIC, {}}, list), E_FAIL);

    fPlatform.Debug().Write(QStringLiteral("Thread 1: hello"));
    EXPECT_EQ(fPlatform.DebugLines(), std::vector<QString>{"Thread 1: hello"});
}

TEST_F(MemoryPlatformTest, FileSystemWorksOnTheTree)
{
    IFileSystem& fs = fPlatform.FileSystem();
    fDocs->Child(QStringLiteral("a.txt"))->LastWrite = FileTime{42};
    EXPECT_EQ(fs.CopyFile("/docs/a.txt", "/docs/copy.txt", true), S_OK);
    FindData data;
    ASSERT_EQ(fs.GetFindData("/docs/copy.txt", data), S_OK);
    EXPECT_EQ(data.Size, 10u);
    EXPECT_EQ(data.LastWriteTime, FileTime{42});
    EXPECT_EQ(fs.CopyFile("/docs/b.txt", "/docs/copy.txt", true), HResultFromWin32(80));
    EXPECT_EQ(fs.CopyFile("/docs/b.txt", "/docs/copy.txt", false), S_OK);
    ASSERT_EQ(fs.GetFindData("/docs/copy.txt", data), S_OK);
    EXPECT_EQ(data.Size, 20u);
    EXPECT_EQ(fs.ForceDirectories("/docs/new/deeper"), S_OK);
    EXPECT_EQ(fs.GetFileAttributes("/docs/new/deeper"), fileattr::DIRECTORY);
    EXPECT_EQ(fs.ForceDirectories("/docs/a.txt/x"), HResultFromWin32(183));
    EXPECT_EQ(fs.RemoveDirectory("/docs/new"), HResultFromWin32(145));
    EXPECT_EQ(fs.DeleteFile("/docs/none"), HResultFromWin32(2));
    EXPECT_EQ(fs.GetDriveType("relative"), DriveType::NoRootDir);

    fPlatform.SetEnvironment(QStringLiteral("USERPROFILE"), QStringLiteral("/home/u"));
    EXPECT_EQ(fs.ExpandEnvironmentStrings("%userprofile%\\x %NONE%"),
              QStringLiteral("/home/u\\x %NONE%"));
}

TEST(PlatformInstallTest, ScopedPlatformInstallsAndRestores)
{
    const bool hadOne = HasPlatform();
    {
        auto memory = std::make_unique<TMemoryPlatform>();
        TMemoryPlatform* raw = memory.get();
        TScopedPlatform scope(std::move(memory));
        EXPECT_EQ(&Platform(), raw);
        {
            TScopedPlatform inner(std::make_unique<TMemoryPlatform>());
            EXPECT_NE(&Platform(), raw);
        }
        EXPECT_EQ(&Platform(), raw);
    }
    EXPECT_EQ(HasPlatform(), hadOne);
    if (!hadOne) {
        EXPECT_THROW(Platform(), std::logic_error);
    }
}

} // namespace
} // namespace kiv::pf::mem

#include "core/shell/ShellWin32.h"

#include "core/platform/Guid.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/threading/ThreadingTestSupport.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryPlatform.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace kiv {
namespace {

using pf::mem::TMemoryNode;

class ShellWin32Test : public ::testing::Test
{
protected:
    ShellWin32Test()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        fThisPc = &fMemory->Root().AddFolder(QStringLiteral("This PC"));
        fThisPc->Virtual = true;
        pf::KnownFolderKey drives;
        drives.Csidl = 17; // My Computer
        fMemory->SetKnownFolder(drives, fThisPc);
        fDriveD = &fMemory->Root().AddFolder(QStringLiteral("D:\\"));
        fDocs = &fMemory->Root().AddFolder(QStringLiteral("docs"));
        fDocs->AddFile(QStringLiteral("a.txt"));
    }
    ~ShellWin32Test() override { TSpecialFolders::Reset(); }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    TMemoryNode* fThisPc = nullptr;
    TMemoryNode* fDriveD = nullptr;
    TMemoryNode* fDocs = nullptr;
};

TEST_F(ShellWin32Test, PathsBecomeListsByTheirRules)
{
    EXPECT_EQ(TShellWin32::PathToItemIdList(nullptr, QString()), fMemory->ListOf(*fThisPc));
    // A bare drive letter names the drive's root in the Windows style only.
    EXPECT_EQ(TShellWin32::PathToItemIdList(nullptr, QStringLiteral("D:"), nullptr,
                                            TPathStyle::psWindows),
              fMemory->ListOf(*fDriveD));
    EXPECT_FALSE(
        TShellWin32::PathToItemIdList(nullptr, QStringLiteral("D:"), nullptr, TPathStyle::psPosix));
    EXPECT_EQ(TShellWin32::PathToItemIdList(nullptr, QStringLiteral("/docs/a.txt")),
              fMemory->ListOf(*fDocs->Child(QStringLiteral("a.txt"))));
    EXPECT_EQ(TShellWin32::PathToItemIdList(nullptr, QStringLiteral("shell:/docs")),
              fMemory->ListOf(*fDocs));
    EXPECT_FALSE(TShellWin32::PathToItemIdList(nullptr, QStringLiteral("/docs/missing")));
}

TEST_F(ShellWin32Test, VolumeGuidPathsAppendTheVolumeItemToThisPc)
{
    const QString guid = QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}");
    const auto list =
        TShellWin32::VolumeGuidPathToItemIdList(QStringLiteral("\\\\?\\Volume") + guid + u'\\');
    ASSERT_TRUE(list);
    const pf::IdSpan span(*list);
    ASSERT_EQ(span.Depth(), 2u);
    const pf::IdItem item = span.Item(1);
    ASSERT_EQ(item.size(), 41u);
    EXPECT_EQ(item[0], 41);
    EXPECT_EQ(item[1], 0);
    EXPECT_EQ(item[2], 0x21);
    for (std::size_t i = 3; i < 25; ++i)
        EXPECT_EQ(item[i], 0) << i;
    EXPECT_EQ(pf::Guid::FromBytes(item.data() + 25), *pf::Guid::FromString(guid));

    EXPECT_FALSE(TShellWin32::VolumeGuidPathToItemIdList(QStringLiteral("\\\\?\\Volume{nope}\\")));
    EXPECT_FALSE(TShellWin32::VolumeGuidPathToItemIdList(QStringLiteral("C:\\")));
    // This host cannot look inside a volume item: a rest names nothing.
    EXPECT_FALSE(TShellWin32::VolumeGuidPathToItemIdList(QStringLiteral("\\\\?\\volume") + guid +
                                                         QStringLiteral("\\dir")));
}

TEST_F(ShellWin32Test, StartupTextsFallBackWithAWarning)
{
    using M = pf::StringModule;
    fMemory->SetString(M::Shell32, 8977, QStringLiteral("Im Ordner"));
    fMemory->SetString(M::ExplorerFrame, 12624, QStringLiteral("a|b|c|Neu laden|e"));
    fMemory->SetString(M::Shell32, 33577, QStringLiteral("Mini|aturen"));
    test::TDiagnosticsCapture capture;
    TShellStartup startup = TShellWin32::LoadStartup();
    EXPECT_EQ(startup.Texts.InFolder, QStringLiteral("Im Ordner"));
    EXPECT_EQ(startup.Texts.Refresh, QStringLiteral("Neu laden"));
    EXPECT_EQ(startup.Texts.NewFolder, QStringLiteral("New Folder"));
    EXPECT_EQ(startup.Texts.Thumbnails, QStringLiteral("Miniaturen"));
    EXPECT_EQ(startup.Texts.SortBy, QStringLiteral("Sort by:"));
    const QStringList lines = capture.Lines();
    EXPECT_TRUE(lines.filter(QStringLiteral("ID 30320")).isEmpty());
    ASSERT_EQ(lines.filter(QStringLiteral("ID 30396")).size(), 1);
    EXPECT_TRUE(lines.filter(QStringLiteral("ID 30396"))[0].endsWith(
        QStringLiteral(": [Warning] Resource string with ID 30396 does not exist in Shell32")));
    EXPECT_EQ(lines.filter(QStringLiteral("does not exist in ExplorerFrame.dll")).size(), 1);

    pf::OsProfile old;
    old.Win10OrLater = false;
    fMemory->SetProfile(old);
    fMemory->SetString(M::Shell32, 30320, QStringLiteral("Neuer Ordner"));
    fMemory->SetString(M::Shell32, 5268, QStringLiteral("Aktualisieren"));
    startup = TShellWin32::LoadStartup();
    EXPECT_FALSE(startup.Profile.Win10OrLater);
    EXPECT_EQ(startup.Texts.NewFolder, QStringLiteral("Neuer Ordner"));
    EXPECT_EQ(startup.Texts.Refresh, QStringLiteral("Aktualisieren"));
}

TEST_F(ShellWin32Test, DriveAvailabilityAsksForCredentialsOnlyWhenTheyMayHelp)
{
    using pf::HResultFromWin32;
    pf::HResult failure = pf::S_OK;
    fMemory->DiskQueryResult = [&](const QString&) { return failure; };
    int prompts = 0;
    bool grant = false;
    TShellWin32::SetAuthenticator([&](const QString&, bool) {
        ++prompts;
        if (grant)
            failure = pf::S_OK;
        return grant;
    });
    const QString path = QStringLiteral("/docs");
    EXPECT_TRUE(TShellWin32::IsDriveAvailable(path, true));
    EXPECT_TRUE(TShellWin32::IsDriveAvailable(QStringLiteral("\\\\server\\share"), false,
                                              TPathStyle::psWindows));

    struct TCase
    {
        pf::HResult Failure;
        bool Interactive;
        bool Grant;
        bool Available;
        int Prompts;
    };
    const pf::HResult logon = HResultFromWin32(pf::win32::ERROR_LOGON_FAILURE);
    const pf::HResult denied = HResultFromWin32(pf::win32::ERROR_ACCESS_DENIED);
    const pf::HResult notReady = HResultFromWin32(pf::win32::ERROR_NOT_READY);
    for (const TCase& c : {
             // Without a prompt only a logon failure means "there, but locked".
             TCase{logon, false, false, true, 0},
             TCase{denied, false, false, false, 0},
             // A prompt that succeeds makes the second question answer.
             TCase{denied, true, true, true, 1},
             TCase{denied, true, false, false, 1},
             TCase{pf::MakeHResult(0x80310000u), true, true, true, 1},
             // Credentials cannot cure a drive that is not ready: no prompt.
             TCase{notReady, true, true, false, 0},
         }) {
        failure = c.Failure;
        grant = c.Grant;
        prompts = 0;
        EXPECT_EQ(TShellWin32::IsDriveAvailable(path, c.Interactive), c.Available)
            << std::hex << c.Failure;
        EXPECT_EQ(prompts, c.Prompts) << std::hex << c.Failure;
    }

    // Workers never prompt.
    failure = denied;
    grant = true;
    prompts = 0;
    bool fromWorker = true;
    std::thread([&] { fromWorker = TShellWin32::IsDriveAvailable(path, true); }).join();
    EXPECT_FALSE(fromWorker);
    EXPECT_EQ(prompts, 0);
    TShellWin32::SetAuthenticator({});
}

TEST(ShellWin32DesktopTest, DesktopFolderIsKeptAndSharedBetweenThreads)
{
    pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());
    const pf::IShellFolderPtr first = TShellWin32::GetDesktopFolder();
    ASSERT_TRUE(first);
    std::vector<pf::IShellFolderPtr> seen(4);
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < seen.size(); ++i)
            threads.emplace_back([&seen, i] { seen[i] = TShellWin32::GetDesktopFolder(); });
    }
    for (const pf::IShellFolderPtr& folder : seen)
        EXPECT_EQ(folder, first);
    {
        // Another platform gets its own desktop, never the one kept for the first.
        pf::TScopedPlatform memory(std::make_unique<pf::mem::TMemoryPlatform>());
        EXPECT_NE(TShellWin32::GetDesktopFolder(), first);
    }
    EXPECT_EQ(TShellWin32::GetDesktopFolder(), first);
}

} // namespace
} // namespace kiv

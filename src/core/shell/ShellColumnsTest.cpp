#include "core/shell/ShellColumns.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/LocalTime.h"
#include "core/platform/PropertySystem.h"
#include "core/shell/FolderColumns.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/ScreenScale.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryPlatform.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <gtest/gtest.h>

namespace kiv {
namespace {

using C = TShellColumns;

TEST(ShellColumnsTest, IdsCompareByFormatAndProperty)
{
    EXPECT_FALSE(C::IsEqualShellColumnId(C::Name(), C::Size()));
    EXPECT_TRUE(C::IsEqualShellColumnId(C::FullCapacity(), C::Volume_TotalSpace()));
    EXPECT_TRUE(C::IsCustomColumnId(C::CreateCustomId(7)));
    EXPECT_FALSE(C::IsCustomColumnId(C::Name()));
    EXPECT_TRUE(C::IsEqualShellColumnId(C::Invalid(), TShellColumnId{}));
    // Looked up by name, and the names the views rely on are known.
    EXPECT_FALSE(C::IsEqualShellColumnId(C::Image_Compression(), C::Invalid()));
    EXPECT_TRUE(C::IsEqualShellColumnId(C::FromCanonicalName(QStringLiteral("System.DateModified")),
                                        C::WriteTime()));
    EXPECT_TRUE(C::IsEqualShellColumnId(C::FromCanonicalName(QStringLiteral("System.ItemTypeText")),
                                        C::StorageType()));
    EXPECT_TRUE(
        C::IsEqualShellColumnId(C::FromCanonicalName(QStringLiteral("No.Such")), C::Invalid()));
    EXPECT_EQ(C::FromPropertyKey(C::ToPropertyKey(C::Photo_DateTaken())), C::Photo_DateTaken());
}

class FolderColumnsMemoryTest : public ::testing::Test
{
protected:
    FolderColumnsMemoryTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    ~FolderColumnsMemoryTest() override
    {
        TSpecialFolders::Reset();
        QLocale::setDefault(QLocale::system());
        TScreenScale::SetScreenPpi(96);
    }
    IItemIdListPtr ListOf(const pf::mem::TMemoryNode& pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(pNode));
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
};

TEST_F(FolderColumnsMemoryTest, TextsValuesAndDescriptions)
{
    pf::mem::TMemoryNode& folder = fMemory->Root().AddFolder(QStringLiteral("docs"));
    pf::mem::TMemoryNode& file = folder.AddFile(QStringLiteral("a.txt"), 1500);
    file.LastWrite = pf::FileTime::FromUnix(1709294400, 0);
    const TFolderColumns columns(ListOf(folder));
    ASSERT_TRUE(columns.IsValid());
    const IItemIdListPtr object = ListOf(file);

    EXPECT_EQ(columns.GetColumnText(0, false, object), QStringLiteral("a.txt"));
    EXPECT_EQ(columns.GetColumnText(1, false, object), QStringLiteral("2 KB"));
    EXPECT_EQ(columns.GetColumnText(1, true, nullptr), QStringLiteral("Size"));
    EXPECT_EQ(columns.GetColumnText(-1, true, nullptr), QString());
    EXPECT_EQ(columns.GetColumnText(1, false, nullptr), QString());
    QVariant value;
    EXPECT_EQ(columns.GetColumnText(C::Size(), false, object, &value), QStringLiteral("1.46 KB"));
    EXPECT_EQ(value.toULongLong(), 1500u);
    // Times arrive in UTC and are answered in the application's local time.
    const QVariant written = columns.GetColumnValue(C::WriteTime(), object);
    EXPECT_EQ(written.toDateTime().timeSpec(), Qt::LocalTime);
    EXPECT_EQ(written.toDateTime().toMSecsSinceEpoch(), Q_INT64_C(1709294400000));
    EXPECT_FALSE(columns.GetColumnValue(C::Photo_DateTaken(), object).isValid());

    EXPECT_EQ(columns.GetIndexOfShColumnId(C::Invalid()), -1);
    EXPECT_EQ(columns.GetIndexOfShColumnId(C::KivDriveListFreePercentage()), 256);
    EXPECT_EQ(columns.GetIndexOfShColumnId(C::WriteTime()), 2);
    EXPECT_EQ(columns.GetIndexOfShColumnId(C::Owner()), -1);
    EXPECT_TRUE(C::IsEqualShellColumnId(columns.GetShColumnIdFromColumnNumber(256),
                                        C::KivDriveListFreePercentage()));
    EXPECT_TRUE(columns.GetColumnText(C::KivDriveListFreePercentage(), true, nullptr)
                    .startsWith(QStringLiteral("% ")));

    // Widths: characters x 8, scaled, + 100 for the name; 0 for a column not on by default.
    TScreenScale::SetScreenPpi(144);
    int width = -1;
    EXPECT_EQ(columns.GetColumnInfo(1, width), TAlignment::taRightJustify);
    EXPECT_EQ(width, 120);
    columns.GetColumnInfo(0, width);
    EXPECT_EQ(width, 30 * 8 * 3 / 2 + 100);
    columns.GetColumnInfo(3, width);
    EXPECT_EQ(width, 0);
    columns.GetColumnInfo(99, width);
    EXPECT_EQ(width, 0);

    const std::vector<TColumnInfo> defaults = columns.DefaultColumns();
    ASSERT_EQ(defaults.size(), 4u);
    EXPECT_EQ(defaults[0].fWidth, 30u * 8 + 100);
    EXPECT_TRUE(defaults[2].fVisibleByDefault);
    EXPECT_FALSE(defaults[3].fVisibleByDefault);
    EXPECT_EQ(defaults[3].fTitle, QStringLiteral("Attributes"));
    EXPECT_FALSE(columns.NeedsWorker(1));
}

TEST_F(FolderColumnsMemoryTest, FoldersWithoutColumnsAndSlowFolders)
{
    pf::mem::TMemoryNode& plain = fMemory->Root().AddFolder(QStringLiteral("plain"));
    plain.NoColumns = true;
    const TFolderColumns none(ListOf(plain));
    EXPECT_FALSE(none.IsValid());
    EXPECT_EQ(none.GetColumnText(1, true, nullptr), QString());
    EXPECT_EQ(none.GetIndexOfShColumnId(C::Size()), -1);
    EXPECT_EQ(none.GetDefaultColumnState(0), 0u);
    EXPECT_THROW(none.GetColumnInfo(0), EInvalidOperation);
    EXPECT_THROW(TFolderColumns(nullptr).GetColumnInfo(0), EInvalidOperation);

    pf::mem::TMemoryNode& share = fMemory->Root().AddFolder(QStringLiteral("share"));
    share.ExtraAttributes |= pf::sfgao::ISSLOW;
    const TFolderColumns slow(ListOf(share));
    EXPECT_TRUE(slow.IsSlow());
    EXPECT_FALSE(slow.NeedsWorker(0));
    EXPECT_TRUE(slow.NeedsWorker(1));

    const TColumnInfo free = TFolderColumns::GetColumnInfo(C::KivDriveListFreePercentage());
    EXPECT_EQ(free.fShellIndex, 256);
    EXPECT_EQ(free.fDisplayType, 1);
    EXPECT_EQ(TFolderColumns::GetColumnInfo(C::Size()).fAlignment, TAlignment::taRightJustify);
}

// A folder whose details all fail while its columns map to keys: the answers fall back to the
// typed values, and a header never asks for itself again.
class TFailingDetailsFolder final
    : public pf::IShellFolder
    , public pf::IShellFolder2
{
public:
    pf::HResult ParseDisplayName(pf::WindowRef, const pf::BindContext*, const QString&,
                                 pf::IdListBytes&, std::uint32_t*) override
    {
        return pf::E_NOTIMPL;
    }
    pf::HResult EnumObjects(pf::WindowRef, std::uint32_t, pf::IEnumIDListPtr&,
                            std::stop_token) override
    {
        return pf::E_NOTIMPL;
    }
    pf::HResult BindToFolder(pf::IdSpan, pf::IShellFolderPtr&) override { return pf::E_NOTIMPL; }
    pf::HResult BindToStream(pf::IdSpan, pf::IStreamPtr&) override { return pf::E_NOTIMPL; }
    pf::HResult CompareIDs(std::uint32_t, pf::IdSpan, pf::IdSpan) override { return pf::E_NOTIMPL; }
    pf::HResult GetAttributesOf(std::span<const pf::IdSpan>, std::uint32_t&) override
    {
        return pf::E_NOTIMPL;
    }
    pf::HResult GetDisplayNameOf(pf::IdSpan, std::uint32_t, QString&) override
    {
        return pf::E_NOTIMPL;
    }
    pf::HResult SetNameOf(pf::WindowRef, pf::IdSpan, const QString&, std::uint32_t,
                          pf::IdListBytes*) override
    {
        return pf::E_NOTIMPL;
    }
    pf::HResult GetCurFolder(pf::IdListBytes&) override { return pf::E_NOTIMPL; }
    pf::HResult GetFindData(pf::IdSpan, pf::FindData&) override { return pf::E_NOTIMPL; }
    pf::IShellFolder2* AsFolder2() override { return this; }

    pf::HResult GetDetailsOf(const pf::IdSpan*, std::uint32_t, pf::ShellDetails&) override
    {
        return pf::E_FAIL;
    }
    pf::HResult GetDetailsEx(pf::IdSpan, const pf::PropertyKey& pKey,
                             pf::PropVariant& pValue) override
    {
        pValue = pKey == C::ToPropertyKey(C::Size()) ? pf::PropVariant{std::uint64_t{2048}}
                                                     : pf::PropVariant{};
        return pf::S_OK;
    }
    pf::HResult MapColumnToSCID(std::uint32_t pColumn, pf::PropertyKey& pKey) override
    {
        const TShellColumnId ids[] = {C::Name(), C::Size(), C::ElementType()};
        if (pColumn >= std::size(ids))
            return pf::E_INVALIDARG;
        pKey = C::ToPropertyKey(ids[pColumn]);
        return pf::S_OK;
    }
    pf::HResult GetDefaultColumnState(std::uint32_t, std::uint32_t&) override { return pf::E_FAIL; }
};

TEST_F(FolderColumnsMemoryTest, FailingDetailsFallBackToValues)
{
    pf::mem::TMemoryNode& folder = fMemory->Root().AddFolder(QStringLiteral("odd"));
    const IItemIdListPtr object = ListOf(folder.AddFile(QStringLiteral("x.bin"), 5));
    const TFolderColumns columns(ListOf(folder), std::make_shared<TFailingDetailsFolder>());
    ASSERT_TRUE(columns.IsValid());
    EXPECT_EQ(columns.GetColumnText(1, true, nullptr), QString());
    EXPECT_EQ(columns.GetColumnText(C::Size(), true, nullptr), QString());
    EXPECT_EQ(columns.GetColumnText(1, false, object), QStringLiteral("2.00 KB"));
    EXPECT_EQ(columns.GetColumnText(2, false, object), QString());
    int width = -1;
    columns.GetColumnInfo(1, width);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(columns.GetDefaultColumnState(1), 0u);
    EXPECT_EQ(columns.GetColumnInfo(1).fShellIndex, -1);
}

// The Linux folders on real files: a private home with a trash of its own.
class FolderColumnsLinuxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.IsValid());
        const QString home = fDir.CreateFolder(QStringLiteral("home"));
        fEnv.Set("HOME", home.toUtf8());
        fEnv.Set("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
        fEnv.Set("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
        fEnv.Set("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
        fPlatform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
        TSpecialFolders::Reset();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    void TearDown() override
    {
        TSpecialFolders::Reset();
        QLocale::setDefault(QLocale::system());
    }

    test::TestDir fDir;
    test::TScopedEnvironment fEnv;
    std::unique_ptr<pf::TScopedPlatform> fPlatform;
};

TEST_F(FolderColumnsLinuxTest, FilesAndFolders)
{
    const QString file = fDir.CreateFile(QStringLiteral("work/report.txt"), QByteArray(1500, 'x'));
    const QString sub = fDir.CreateFolder(QStringLiteral("work/sub.d"));
    const QString folder = fDir.Join(QStringLiteral("work"));
    const TFolderColumns columns(TKivItemIdList::Create(folder));
    ASSERT_TRUE(columns.IsValid());
    const IItemIdListPtr fileItem = TKivItemIdList::Create(file);
    const IItemIdListPtr subItem = TKivItemIdList::Create(sub);

    struct TCase
    {
        TShellColumnId Id;
        QString File;
        QString Folder;
    };
    const TCase cases[] = {
        {C::Size(), QStringLiteral("1.46 KB"), QString()},
        {C::FileExtension(), QStringLiteral(".txt"), QString()},
        {C::ParentFolder(), folder, folder},
        {C::StorageType(), QStringLiteral("Plain text document"), QStringLiteral("Folder")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(pf::PropertySystem::NameFromKey(C::ToPropertyKey(c.Id)).toStdString());
        EXPECT_EQ(columns.GetColumnText(c.Id, false, fileItem), c.File);
        EXPECT_EQ(columns.GetColumnText(c.Id, false, subItem), c.Folder);
    }
    // The list's own columns: sizes in whole kilobytes, and the header titles.
    EXPECT_EQ(columns.GetColumnText(3, false, fileItem), QStringLiteral("2 KB"));
    EXPECT_EQ(columns.GetColumnText(3, false, subItem), QString());
    EXPECT_EQ(columns.GetColumnText(1, true, nullptr), QStringLiteral("Date modified"));
    EXPECT_TRUE(columns.GetColumnText(C::Attributes(), false, subItem).contains(u'D'));
    const QDateTime modified = columns.GetColumnValue(C::WriteTime(), fileItem).toDateTime();
    EXPECT_EQ(modified.toSecsSinceEpoch(), QFileInfo(file).lastModified().toSecsSinceEpoch());
    EXPECT_TRUE(columns.GetColumnValue(C::AccessTime(), fileItem).toDateTime().isValid());
    EXPECT_FALSE(columns.GetColumnText(C::Owner(), false, fileItem).isEmpty());
    EXPECT_TRUE(columns.NeedsWorker(columns.GetIndexOfShColumnId(C::Owner())));
    EXPECT_FALSE(columns.NeedsWorker(columns.GetIndexOfShColumnId(C::Size())));
}

TEST_F(FolderColumnsLinuxTest, MountsAndTrashEntries)
{
    const TFolderColumns drives(TKivItemIdList::CreateForSpecialFolder(TKivShellFolder::SF_DRIVES));
    ASSERT_TRUE(drives.IsValid());
    const IItemIdListPtr root = TKivItemIdList::Create(QStringLiteral("/"));
    EXPECT_EQ(drives.GetColumnText(C::StorageType(), false, root), QStringLiteral("Local Disk"));
    EXPECT_FALSE(drives.GetColumnText(C::FileSystem(), false, root).isEmpty());
    const QString total = drives.GetColumnText(C::FullCapacity(), false, root);
    EXPECT_TRUE(total.endsWith(QStringLiteral("B"))) << total.toStdString();
    EXPECT_GT(drives.GetColumnValue(C::FreeSize(), root).toULongLong(), 0u);
    EXPECT_EQ(drives.GetColumnText(C::KivDriveListFreePercentage(), true, nullptr),
              QStringLiteral("% Free space"));
    EXPECT_TRUE(drives.NeedsWorker(drives.GetIndexOfShColumnId(C::FreeSize())));

    fDir.CreateFile(QStringLiteral("home/.local/share/Trash/files/old.txt"), "abc");
    fDir.CreateFile(QStringLiteral("home/.local/share/Trash/info/old.txt.trashinfo"),
                    "[Trash Info]\nPath=/original/dir/old.txt\nDeletionDate=2024-05-01T10:20:30\n");
    const IItemIdListPtr trash =
        TKivItemIdList::CreateForSpecialFolder(TKivShellFolder::SF_BITBUCKET, false);
    const TFolderColumns columns(trash);
    ASSERT_TRUE(columns.IsValid());
    // The entry as the trash folder lists it.
    pf::IShellFolderPtr trashFolder;
    ASSERT_EQ(
        pf::Platform().Namespace().BindToFolder(pf::IdSpan(*trash->WindowsPointer()), trashFolder),
        pf::S_OK);
    pf::IEnumIDListPtr items;
    ASSERT_EQ(trashFolder->EnumObjects(nullptr, 0x100E0, items), pf::S_OK);
    pf::IdListBytes item;
    ASSERT_EQ(items->Next(item), pf::S_OK);
    const IItemIdListPtr listed = TKivItemIdList::Create(trashFolder, pf::IdSpan(item));
    EXPECT_EQ(columns.GetColumnText(1, true, nullptr), QStringLiteral("Original location"));
    EXPECT_EQ(columns.GetColumnText(1, false, listed), QStringLiteral("/original/dir"));
    EXPECT_EQ(columns.GetColumnValue(C::ParentFolder(), listed).toString(),
              QStringLiteral("/original/dir"));
    EXPECT_EQ(columns.GetColumnText(3, false, listed), QStringLiteral("1 KB"));
    EXPECT_FALSE(columns.GetColumnText(2, false, listed).isEmpty());
}

TEST_F(FolderColumnsLinuxTest, DefaultColumnsPerKindOfFolder)
{
    struct TCase
    {
        TKivShellFolder Kind;
        std::size_t Count;
        std::size_t Visible;
        const char* Second;
    };
    const TCase cases[] = {
        {TKivShellFolder::SF_FILESYSTEMFOLDER, 11, 4, "Date modified"},
        {TKivShellFolder::SF_DRIVES, 5, 4, "Type"},
        {TKivShellFolder::SF_BITBUCKET, 6, 5, "Original location"},
        {TKivShellFolder::SF_QUICKACCESS, 3, 3, "Folder"},
        {TKivShellFolder::SF_NETWORK, 2, 2, "Type"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(KivShellFolderName(c.Kind).toStdString());
        const std::vector<TColumnInfo> columns = TFolderColumns::DefaultColumnsOf(c.Kind);
        ASSERT_EQ(columns.size(), c.Count);
        EXPECT_EQ(std::count_if(columns.begin(), columns.end(),
                                [](const TColumnInfo& pC) { return pC.fVisibleByDefault; }),
                  static_cast<std::ptrdiff_t>(c.Visible));
        EXPECT_EQ(columns[0].fTitle, QStringLiteral("Name"));
        EXPECT_EQ(columns[1].fTitle, QString::fromLatin1(c.Second));
        EXPECT_EQ(columns[1].fShellIndex, 1);
    }
    EXPECT_TRUE(TFolderColumns::DefaultColumnsOf(TKivShellFolder::SF_INVALID).empty());
}

} // namespace
} // namespace kiv

#include "core/views/KivViewSettings.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/IPlatform.h"
#include "core/platform/KnownFolderIds.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/views/KivViewStatePropertyBag.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryPlatform.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kiv {
namespace {

using F = TKivShellFolder;

const TPropertyKey kSizeKey = TShellColumns::Size().Column;
const TPropertyKey kNameKey = TShellColumns::Name().Column;

QByteArray Hex(const char* pHex)
{
    return QByteArray::fromHex(pHex);
}

// ---- the binary values ----------------------------------------------------------------------

TEST(ViewStreamTest, SortAndColInfoHaveTheirExactLayoutAndReadBack)
{
    // System.Size descending: count 1, the format id in field order, pid 12, direction -1.
    const QByteArray sort = viewstream::EncodeSort(SORTCOLUMN{kSizeKey, -1});
    EXPECT_EQ(sort, Hex("01000000"
                        "30f125b7ef471a10a5f102608c9eebac"
                        "0c000000"
                        "ffffffff"));
    EXPECT_EQ(viewstream::DecodeSort(sort), (SORTCOLUMN{kSizeKey, -1}));

    const std::vector<viewstream::TColumnWidth> widths = {{kNameKey, 340}, {kSizeKey, 80}};
    const QByteArray colInfo = viewstream::EncodeColInfo(widths);
    EXPECT_EQ(colInfo, Hex("fddfdffd"
                           "1000"
                           "00000000000000000000"
                           "02000000"
                           "18000000"
                           "30f125b7ef471a10a5f102608c9eebac0a00000054010000"
                           "30f125b7ef471a10a5f102608c9eebac0c00000050000000"));
    EXPECT_EQ(viewstream::DecodeColInfo(colInfo), widths);
    // Decoding and encoding again gives the very bytes.
    EXPECT_EQ(viewstream::EncodeColInfo(*viewstream::DecodeColInfo(colInfo)), colInfo);
    EXPECT_EQ(viewstream::DecodeColInfo(viewstream::EncodeColInfo({})),
              std::vector<viewstream::TColumnWidth>{});
}

struct TDamagedCase
{
    const char* Name;
    QByteArray Bytes;
};

class DamagedColInfoTest : public ::testing::TestWithParam<TDamagedCase>
{
};

TEST_P(DamagedColInfoTest, IsNotRead)
{
    EXPECT_EQ(viewstream::DecodeColInfo(GetParam().Bytes), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedColInfoTest,
    ::testing::Values(
        TDamagedCase{"Empty", {}}, TDamagedCase{"ShortHeader", Hex("fddfdffd1000")},
        TDamagedCase{"OtherMagic", Hex("00000000100000000000000000000000000000001800000000")},
        // Says two columns, holds one.
        TDamagedCase{"CountPastTheEnd",
                     Hex("fddfdffd100000000000000000000000020000001800000030f125b7ef471a10a5f1"
                         "02608c9eebac0a00000054010000")},
        TDamagedCase{"HugeCount", Hex("fddfdffd1000000000000000000000000ffffffff18000000")},
        TDamagedCase{"RecordTooSmall",
                     Hex("fddfdffd10000000000000000000000000000000040000000000")}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST(ViewStreamTest, DamagedSortIsNotRead)
{
    EXPECT_EQ(viewstream::DecodeSort({}), std::nullopt);
    EXPECT_EQ(viewstream::DecodeSort(Hex("00000000")), std::nullopt);
    EXPECT_EQ(viewstream::DecodeSort(viewstream::EncodeSort({}).left(20)), std::nullopt);
}

// ---- the kinds over the in-memory platform --------------------------------------------------

// A provider whose folder lists Size before Name, so the order rules show.
class TSizeFirstProvider final : public IKivShellColumnProvider
{
public:
    TColumnInfo GetColumnInfo(const IItemIdListPtr& pFolder,
                              const TShellColumnId& pId) const override
    {
        return fDefaults.GetColumnInfo(pFolder, pId);
    }
    std::vector<TShellColumnId> GetColumns(const IItemIdListPtr&, bool) const override
    {
        return {TShellColumns::Size(), TShellColumns::Name()};
    }

private:
    TKivDefaultColumnProvider fDefaults;
};

std::vector<TShellColumnId> IdsOf(const std::vector<TColumnInfo>& pInfos)
{
    std::vector<TShellColumnId> ids;
    for (const TColumnInfo& info : pInfos)
        ids.push_back(info.fShellColumn);
    return ids;
}

class ViewSettingsMemoryTest : public ::testing::Test
{
protected:
    ViewSettingsMemoryTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        pf::mem::TMemoryNode& home = fMemory->Root().AddFolder(QStringLiteral("home"));
        fA = &home.AddFolder(QStringLiteral("a"));
        fB = &home.AddFolder(QStringLiteral("b"));
        fZip = &home.AddFolder(QStringLiteral("photos.ZIP"));
        fDocs = &home.AddFolder(QStringLiteral("Documents"));
        fMemory->Root().AddFolder(QStringLiteral("tmp"));
        fMemory->SetKnownFolder(pf::KnownFolderKey{5, pf::folderid::Documents}, fDocs);
    }
    ~ViewSettingsMemoryTest() override { TSpecialFolders::Reset(); }

    IItemIdListPtr ListOf(const pf::mem::TMemoryNode* pNode)
    {
        return TKivItemIdList::Create(fMemory->ListOf(*pNode));
    }
    pf::IPropertyBagPtr Bag(const pf::mem::TMemoryNode* pNode, const QString& pName)
    {
        const pf::IdListBytes list = fMemory->ListOf(*pNode);
        const pf::IdSpan span(list);
        pf::IPropertyBagPtr bag;
        fMemory->ViewState().OpenBag(&span, pName, pf::viewstate::FOLDER, bag);
        return bag;
    }
    static QString GenericBag()
    {
        return QStringLiteral("Shell\\{5C4F28B5-F869-4E84-8E60-F11DB97C5CC7}");
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    pf::mem::TMemoryNode* fA = nullptr;
    pf::mem::TMemoryNode* fB = nullptr;
    pf::mem::TMemoryNode* fZip = nullptr;
    pf::mem::TMemoryNode* fDocs = nullptr;
};

TEST_F(ViewSettingsMemoryTest, EveryKindChecksTheSortColumnAndDirection)
{
    for (const auto kind :
         {TKivPersistViewSettings::None, TKivPersistViewSettings::Temporary,
          TKivPersistViewSettings::Persistent, TKivPersistViewSettings::PersistentSpecialFolder}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const IKivViewSettingsPtr settings = CreateViewSettings(kind);
        ASSERT_TRUE(settings->Open(ListOf(fA), {}));
        EXPECT_EQ(settings->GetSortColumnId(), TShellColumns::Name());
        EXPECT_EQ(settings->GetSortDirection(), 1);
        settings->SetSortDirection(-1);
        settings->SetSortColumnId(TShellColumns::Size());
        EXPECT_EQ(settings->GetSortColumns(), (SORTCOLUMN{kSizeKey, -1}));
        try {
            settings->SetSortDirection(0);
            ADD_FAILURE() << "a direction of 0 was taken";
        } catch (const EInvalidArgument& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Unsupported sort order"));
        }
        // No folder: false, and the one open stays.
        EXPECT_FALSE(settings->Open(nullptr, {}));
        EXPECT_EQ(std::dynamic_pointer_cast<TKivBaseViewSettings>(settings)->FolderIdList()->Path(),
                  QStringLiteral("/home/a"));
        // Nothing remembered: the columns the folder itself shows by default.
        EXPECT_EQ(IdsOf(settings->ReadColumnInfo()),
                  (std::vector<TShellColumnId>{TShellColumns::Name(), TShellColumns::Size(),
                                               TShellColumns::WriteTime()}));
    }
}

TEST_F(ViewSettingsMemoryTest, TemporarySharesOrdinaryFoldersButNotArchivesOrSpecialFolders)
{
    TPerSpecialFolderViewSettings settings;
    settings.Open(ListOf(fA), {});
    EXPECT_EQ(settings.SpecialFolder(), F::SF_FILESYSTEMFOLDER);
    settings.SetSortColumns(SORTCOLUMN{kSizeKey, -1});
    std::vector<TColumnInfo> narrow = settings.ReadColumnInfo();
    narrow.resize(2);
    narrow[1].fWidth = 33;
    settings.WriteColumnInfo(narrow);

    settings.Open(ListOf(fB), {});
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kSizeKey, -1}));
    EXPECT_EQ(settings.ReadColumnInfo(), narrow);

    // An archive keeps its own order (Name ascending at first) and never remembers columns.
    settings.Open(ListOf(fZip), {});
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kNameKey, 1}));
    settings.WriteColumnInfo(narrow);
    EXPECT_EQ(settings.ReadColumnInfo().size(), 3u);

    settings.Open(ListOf(fDocs), {});
    EXPECT_EQ(settings.SpecialFolder(), F::SF_PERSONAL);
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kNameKey, 1}));
    EXPECT_EQ(settings.ReadColumnInfo().size(), 3u);
}

TEST_F(ViewSettingsMemoryTest, BagKeepsEveryValueUnderItsKey)
{
    TKivViewSettingsPropertyBag settings(false);
    ASSERT_TRUE(settings.Open(ListOf(fA), {}));
    EXPECT_EQ(settings.ViewTemplate(), TKivPropertyBagViewTemplate::Generic);
    EXPECT_EQ(settings.GetViewMode(), TKivViewStyle::vmDetails);
    settings.SetFolderFlags(0x41);
    const TShellColumnId group = TShellColumns::StorageType();
    settings.SetGroupBy(group);
    settings.SetGroupByDirection(true);
    settings.SetGroupView(true);
    settings.SetViewIconSize(48);
    settings.SetViewMode(TKivViewStyle::vmTile);
    settings.SetSortColumns(SORTCOLUMN{kSizeKey, -1});

    const pf::IPropertyBagPtr raw = Bag(fA, GenericBag());
    const auto value = [&raw](const char* pName) {
        pf::BagValue v;
        raw->Read(QString::fromLatin1(pName), v);
        return v;
    };
    EXPECT_EQ(value("FFlags"), pf::BagValue(std::int32_t(0x41)));
    EXPECT_EQ(value("GroupByKey:FMTID"),
              pf::BagValue(QStringLiteral("{B725F130-47EF-101A-A5F1-02608C9EEBAC}")));
    EXPECT_EQ(value("GroupByKey:PID"), pf::BagValue(std::int32_t(4)));
    EXPECT_EQ(value("GroupByDirection"), pf::BagValue(true));
    EXPECT_EQ(value("IconSize"), pf::BagValue(std::int32_t(48)));
    EXPECT_EQ(value("Mode"), pf::BagValue(std::int32_t(6)));
    EXPECT_EQ(value("LogicalViewMode"), pf::BagValue(std::int32_t(2)));
    EXPECT_EQ(value("Vid"), pf::BagValue(QStringLiteral("{65F125E5-7BE1-4810-BA9D-D271C8432CE3}")));
    EXPECT_EQ(value("Sort"), pf::BagValue(viewstream::EncodeSort(SORTCOLUMN{kSizeKey, -1})));

    TKivViewSettingsPropertyBag again(false);
    again.Open(ListOf(fA), {});
    EXPECT_EQ(again.GetFolderFlags(), 0x41);
    EXPECT_EQ(again.GetGroupBy(), group);
    EXPECT_TRUE(again.GetGroupByDirection());
    EXPECT_TRUE(again.GetGroupView());
    EXPECT_EQ(again.GetViewIconSize(), 48);
    EXPECT_EQ(again.GetViewMode(), TKivViewStyle::vmTile);
    EXPECT_EQ(again.GetSortColumns(), (SORTCOLUMN{kSizeKey, -1}));

    // The other folder has a bag of its own.
    again.Open(ListOf(fB), {});
    EXPECT_EQ(again.GetSortColumns(), (SORTCOLUMN{kNameKey, 1}));
    EXPECT_EQ(again.GetFolderFlags(), 0);
}

class ViewModeReadTest
    : public ViewSettingsMemoryTest
    , public ::testing::WithParamInterface<std::pair<int, TKivViewStyle>>
{
};

TEST_P(ViewModeReadTest, MapsTheStoredMode)
{
    Bag(fA, GenericBag())->Write(QStringLiteral("Mode"), std::int32_t(GetParam().first));
    TKivViewSettingsPropertyBag settings(false);
    settings.Open(ListOf(fA), {});
    EXPECT_EQ(settings.GetViewMode(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ViewModeReadTest,
    ::testing::Values(std::pair{0, TKivViewStyle::vmIcon}, std::pair{1, TKivViewStyle::vmIcon},
                      std::pair{2, TKivViewStyle::vmSmallIcon}, std::pair{3, TKivViewStyle::vmList},
                      std::pair{4, TKivViewStyle::vmDetails},
                      std::pair{5, TKivViewStyle::vmThumbnail}, std::pair{6, TKivViewStyle::vmTile},
                      std::pair{7, TKivViewStyle::vmIcon}, std::pair{8, TKivViewStyle::vmContent},
                      std::pair{9, TKivViewStyle::vmSmallIcon},
                      // Unknown modes read as the default.
                      std::pair{42, TKivViewStyle::vmDetails},
                      std::pair{-1, TKivViewStyle::vmDetails}));

TEST_F(ViewSettingsMemoryTest, StoredValuesThatCannotBeUsedGiveTheDefaults)
{
    // A sort key that names nothing comes back as Name ascending; a damaged column layout as
    // the provider's columns with Name first; zero columns as the provider's columns as they
    // come.
    const pf::IPropertyBagPtr raw = Bag(fA, GenericBag());
    raw->Write(QStringLiteral("Sort"), viewstream::EncodeSort(SORTCOLUMN{{}, -1}));
    raw->Write(QStringLiteral("ColInfo"), Hex("fddfdffd10"));
    raw->Write(QStringLiteral("FFlags"), QStringLiteral("not a number"));
    TKivViewSettingsPropertyBag settings(false, std::make_shared<TSizeFirstProvider>());
    settings.Open(ListOf(fA), {});
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kNameKey, 1}));
    EXPECT_EQ(settings.GetFolderFlags(), 0);
    EXPECT_EQ(IdsOf(settings.ReadColumnInfo()),
              (std::vector<TShellColumnId>{TShellColumns::Name(), TShellColumns::Size()}));
    raw->Write(QStringLiteral("ColInfo"), viewstream::EncodeColInfo({}));
    EXPECT_EQ(IdsOf(settings.ReadColumnInfo()),
              (std::vector<TShellColumnId>{TShellColumns::Size(), TShellColumns::Name()}));

    // Stored columns get their widths, Name moved first; an empty array writes nothing.
    raw->Write(
        QStringLiteral("ColInfo"),
        viewstream::EncodeColInfo({{TShellColumns::StorageType().Column, 77}, {kNameKey, 200}}));
    const std::vector<TColumnInfo> stored = settings.ReadColumnInfo();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].fShellColumn, TShellColumns::Name());
    EXPECT_EQ(stored[0].fWidth, 200u);
    EXPECT_EQ(stored[1].fShellColumn, TShellColumns::StorageType());
    EXPECT_EQ(stored[1].fWidth, 77u);
    settings.WriteColumnInfo({});
    EXPECT_EQ(settings.ReadColumnInfo(), stored);
}

TEST_F(ViewSettingsMemoryTest, FolderTypeChoosesTheTypedBag)
{
    Bag(fA, QStringLiteral("Media"))
        ->Write(QStringLiteral("FolderType"), QStringLiteral("Pictures"));
    TKivViewSettingsPropertyBag settings(false);
    settings.Open(ListOf(fA), QStringLiteral("Media"));
    EXPECT_EQ(settings.ViewTemplate(), TKivPropertyBagViewTemplate::Pictures);
    settings.SetViewIconSize(96);
    pf::BagValue value;
    Bag(fA, QStringLiteral("Media"))->Read(QStringLiteral("SniffedFolderType"), value);
    EXPECT_EQ(value, pf::BagValue(QStringLiteral("Pictures")));
    Bag(fA, QStringLiteral("Media\\{B3690E58-E961-423B-B687-386EBFD83239}"))
        ->Read(QStringLiteral("IconSize"), value);
    EXPECT_EQ(value, pf::BagValue(std::int32_t(96)));
}

TEST_F(ViewSettingsMemoryTest, SharedBagForOrdinaryFoldersOnly)
{
    TKivViewSettingsPropertyBag settings(true);
    settings.Open(ListOf(fA), {});
    settings.SetSortColumns(SORTCOLUMN{kSizeKey, -1});
    settings.Open(ListOf(fB), {});
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kSizeKey, -1}));
    settings.Open(ListOf(fZip), {});
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kNameKey, 1}));
    settings.Open(ListOf(fDocs), {});
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kNameKey, 1}));
}

TEST_F(ViewSettingsMemoryTest, BagsThatCannotBeOpened)
{
    // Nothing written before a bag is open.
    TKivViewSettingsPropertyBag settings(false);
    try {
        settings.SetViewIconSize(16);
        ADD_FAILURE() << "written without a bag";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Cannot write settings: No property bag was opened yet"));
    }
    // The folder's own bag failing is an error of the platform.
    fMemory->MemoryViewState().SetOpenFailure(pf::viewstate::FOLDER, pf::E_ACCESSDENIED);
    EXPECT_THROW(settings.Open(ListOf(fA), {}), EWayfoldError);
    fMemory->MemoryViewState().SetOpenFailure(pf::viewstate::FOLDER, pf::S_OK);

    // The defaults can be opened and changed directly.
    ASSERT_TRUE(settings.OpenDefaults(TKivPropertyBagLocation::UserDefaults));
    settings.SetViewMode(TKivViewStyle::vmList);
    EXPECT_EQ(settings.GetViewMode(), TKivViewStyle::vmList);
    fMemory->MemoryViewState().SetOpenFailure(pf::viewstate::GLOBALDEFAULTS, pf::E_FAIL);
    EXPECT_FALSE(settings.OpenDefaults(TKivPropertyBagLocation::SystemDefaults));
    EXPECT_EQ(settings.GetViewMode(), TKivViewStyle::vmList);
}

// ---- over the Linux platform's store file ---------------------------------------------------

class ViewSettingsLinuxTest : public ::testing::Test
{
protected:
    ViewSettingsLinuxTest()
    {
        fEnv.Set("HOME", fHome.Path().toUtf8());
        fEnv.Set("XDG_STATE_HOME", fHome.Join(QStringLiteral("state")).toUtf8());
        fFolder = fHome.CreateFolder(QStringLiteral("work"));
        TSpecialFolders::Reset();
    }
    ~ViewSettingsLinuxTest() override { TSpecialFolders::Reset(); }

    QString StoreFile() const
    {
        return fHome.Join(QStringLiteral("state/tovaline/viewstate.json"));
    }

    test::TestDir fHome;
    test::TScopedEnvironment fEnv;
    QString fFolder;
};

TEST_F(ViewSettingsLinuxTest, ValuesSurviveTheProgramByteForByte)
{
    std::vector<TColumnInfo> written;
    QByteArray sortBytes;
    {
        pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());
        TKivViewSettingsPropertyBag settings(false);
        ASSERT_TRUE(settings.Open(TKivItemIdList::Create(fFolder), {}));
        settings.SetSortColumns(SORTCOLUMN{kSizeKey, -1});
        settings.SetViewMode(TKivViewStyle::vmList);
        written = settings.ReadColumnInfo();
        written[1].fWidth = 123;
        written.pop_back();
        settings.WriteColumnInfo(written);
        sortBytes = viewstream::EncodeSort(SORTCOLUMN{kSizeKey, -1});
    }
    ASSERT_TRUE(QFile::exists(StoreFile()));

    pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());
    TKivViewSettingsPropertyBag settings(false);
    ASSERT_TRUE(settings.Open(TKivItemIdList::Create(fFolder), {}));
    EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kSizeKey, -1}));
    EXPECT_EQ(settings.GetViewMode(), TKivViewStyle::vmList);
    EXPECT_EQ(settings.ReadColumnInfo(), written);

    // The raw values are the bytes written.
    const IItemIdListPtr folder = TKivItemIdList::Create(fFolder);
    const pf::IdSpan span(*folder->WindowsPointer());
    pf::IPropertyBagPtr raw;
    ASSERT_EQ(pf::Platform().ViewState().OpenBag(
                  &span, QStringLiteral("Shell\\{5C4F28B5-F869-4E84-8E60-F11DB97C5CC7}"),
                  pf::viewstate::FOLDER, raw),
              pf::S_OK);
    pf::BagValue value;
    raw->Read(QStringLiteral("Sort"), value);
    EXPECT_EQ(value, pf::BagValue(sortBytes));
    raw->Read(QStringLiteral("ColInfo"), value);
    std::vector<viewstream::TColumnWidth> widths;
    for (const TColumnInfo& info : written)
        widths.push_back({info.fShellColumn.Column, info.fWidth});
    EXPECT_EQ(value, pf::BagValue(viewstream::EncodeColInfo(widths)));
}

TEST_F(ViewSettingsLinuxTest, DamagedStoreIsIgnoredAndRebuilt)
{
    fHome.CreateFile(QStringLiteral("state/tovaline/viewstate.json"),
                     QByteArray("{\"bags\": [\x01\xff"));
    {
        pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());
        TKivViewSettingsPropertyBag settings(false);
        ASSERT_TRUE(settings.Open(TKivItemIdList::Create(fFolder), {}));
        EXPECT_EQ(settings.GetSortColumns(), (SORTCOLUMN{kNameKey, 1}));
        settings.SetViewIconSize(32);
    }
    pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());
    TKivViewSettingsPropertyBag settings(false);
    ASSERT_TRUE(settings.Open(TKivItemIdList::Create(fFolder), {}));
    EXPECT_EQ(settings.GetViewIconSize(), 32);
}

} // namespace
} // namespace kiv

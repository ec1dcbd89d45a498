#include "core/shell/ShellControlHelper.h"

#include "core/platform/DataObject.h"
#include "core/platform/IClipboard.h"
#include "core/platform/IPlatform.h"
#include "core/shell/ClipboardFiles.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/ScreenScale.h"
#include "core/shell/ShellColumns.h"
#include "platform/memory/MemoryIcons.h"
#include "platform/memory/MemoryPlatform.h"

#include <QDateTime>
#include <QLocale>

#include <functional>
#include <gtest/gtest.h>

namespace kiv {
namespace {

using pf::RegistryRoot;
using F = TKivFileNameFormat;

class ShellControlHelperTest : public ::testing::Test
{
protected:
    ShellControlHelperTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        // Known types, as the MIME database makes them known on Linux.
        Registry().Load(
            QStringLiteral("[HKCR\\.txt]\n@=text/plain\n[HKCR\\.gz]\n@=application/gzip\n"));
    }
    ~ShellControlHelperTest() override
    {
        TSpecialFolders::Reset();
        QLocale::setDefault(QLocale::system());
        TShellControlHelper::SetExplorerSettings(nullptr);
        TScreenScale::SetScreenPpi(96);
        TScreenScale::SetActiveFormPpi(0);
    }

    pf::mem::TMemoryRegistry& Registry() { return fMemory->MemoryRegistry(); }
    void ShowExtensions(bool pShow)
    {
        pf::ShellStateFlags flags;
        flags.ShowExtensions = pShow;
        Registry().SetShellState(flags);
    }
    IItemIdListPtr File(const QString& pName)
    {
        return TKivItemIdList::Create(fMemory->ListOf(fMemory->Root().AddFile(pName, 10)));
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
};

// --- Settings ---

struct TSettingCase
{
    const char* Name;
    std::function<bool()> Read;
    bool Default;
    // Settings text that turns the setting the other way.
    const char* Changed;
};

class ExplorerSettingsTest
    : public ShellControlHelperTest
    , public ::testing::WithParamInterface<TSettingCase>
{
};

TEST_P(ExplorerSettingsTest, DefaultsWithoutValuesAndTheUsersChoice)
{
    const TSettingCase& c = GetParam();
    EXPECT_EQ(c.Read(), c.Default);
    Registry().Load(QString::fromLatin1(c.Changed));
    if (QString::fromLatin1(c.Changed).contains(QLatin1String("[ShellState]"))) {
        // The memory registry keeps the flags apart from the keys.
        pf::ShellStateFlags flags;
        flags.ShowInfoTip = !QString::fromLatin1(c.Name).contains(QLatin1String("InfoTip"));
        flags.DoubleClickInWebView = !QString::fromLatin1(c.Name).contains(QLatin1String("Single"));
        Registry().SetShellState(flags);
    }
    EXPECT_EQ(c.Read(), !c.Default);
}

const char kAdvanced[] =
    "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced]\n";

INSTANTIATE_TEST_SUITE_P(
    Settings, ExplorerSettingsTest,
    ::testing::Values(
        TSettingCase{"AllFolders", &TShellControlHelper::ShellShowAllFolders, false,
                     "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced]\n"
                     "NavPaneShowAllFolders=dword:1\n"},
        TSettingCase{"ExpandToCurrent", &TShellControlHelper::ShellExpandToCurrentFolder, false,
                     "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced]\n"
                     "NavPaneExpandToCurrentFolder=dword:1\n"},
        TSettingCase{"Libraries", &TShellControlHelper::ShellShowLibraries, false,
                     "[HKCU\\Software\\Classes\\CLSID\\{031E4825-7B94-4dc3-B131-E946B44C8DD5}]\n"
                     "System.IsPinnedToNameSpaceTree=dword:1\n"},
        TSettingCase{"Favorites", &TShellControlHelper::ShellShowFavorites, true,
                     "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer]\n"
                     "HubMode=dword:1\n"},
        TSettingCase{"OneDrive", &TShellControlHelper::ShellShowOneDrive, false,
                     "[HKCU\\Software\\Classes\\CLSID\\{018D5C66-4533-4307-9B53-224DE2ED1FE6}]\n"
                     "System.IsPinnedToNameSpaceTree=dword:1\n"},
        TSettingCase{"InfoTip", &TShellControlHelper::ShellShowInfoTip, true, "[ShellState]\n"},
        TSettingCase{"SingleClick", &TShellControlHelper::ShellSingleClickActivate, false,
                     "[ShellState]\n"}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(ShellControlHelperTest, NamespaceNeedsThePinAndNoPolicy)
{
    const QString guid = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
    EXPECT_FALSE(TShellControlHelper::ShellShowNamespace(guid));
    Registry().Load(
        QStringLiteral(
            "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\NonEnum]\n") +
        guid + QStringLiteral("=dword:1\n"));
    // The policy alone, without the pin: still hidden.
    EXPECT_FALSE(TShellControlHelper::ShellShowNamespace(guid));
    Registry().Load(QStringLiteral("[HKCU\\SOFTWARE\\Classes\\CLSID\\") + guid +
                    QStringLiteral("]\nSystem.IsPinnedToNameSpaceTree=dword:1\n"));
    EXPECT_FALSE(TShellControlHelper::ShellShowNamespace(guid));
    Registry().Load(
        QStringLiteral(
            "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\NonEnum]\n") +
        guid + QStringLiteral("=dword:0\n"));
    EXPECT_TRUE(TShellControlHelper::ShellShowNamespace(guid));
}

TEST_F(ShellControlHelperTest, RegistryValuesByTypeAndAReplacedSettingsObject)
{
    Registry().Load(
        QStringLiteral("[HKCU\\Software\\Test]\nText=abc\nNumber=dword:7\nList=multi:a;b\n"));
    EXPECT_EQ(TShellControlHelper::GetRegistryValue(QStringLiteral("Software\\Test\\Text"),
                                                    RegistryRoot::CurrentUser),
              QVariant(QStringLiteral("abc")));
    EXPECT_EQ(TShellControlHelper::GetRegistryValue(QStringLiteral("Software\\Test\\Number"),
                                                    RegistryRoot::CurrentUser)
                  .toLongLong(),
              7);
    EXPECT_FALSE(TShellControlHelper::GetRegistryValue(QStringLiteral("Software\\Test\\List"),
                                                       RegistryRoot::CurrentUser)
                     .isValid());
    EXPECT_FALSE(TShellControlHelper::GetRegistryValue(QStringLiteral("Software\\Test\\Missing"),
                                                       RegistryRoot::CurrentUser)
                     .isValid());

    struct TAlways final : TExplorerSettings
    {
        bool ShellShowAllFolders() const override { return true; }
    };
    TShellControlHelper::SetExplorerSettings(std::make_shared<const TAlways>());
    EXPECT_TRUE(TShellControlHelper::ShellShowAllFolders());
    TShellControlHelper::SetExplorerSettings(nullptr);
    EXPECT_FALSE(TShellControlHelper::ShellShowAllFolders());
}

// --- Names ---

struct TNameCase
{
    const char* Name;
    F Format;
    bool ShowExtensions;
    const char* Shown;
};

class DisplayNameTest
    : public ShellControlHelperTest
    , public ::testing::WithParamInterface<TNameCase>
{
};

TEST_P(DisplayNameTest, FollowsTheFormatAndTheUsersSetting)
{
    const TNameCase& c = GetParam();
    ShowExtensions(c.ShowExtensions);
    const QString name = QString::fromUtf8(c.Name);
    IItemIdListPtr item =
        name.endsWith(u'/')
            ? TKivItemIdList::Create(fMemory->ListOf(fMemory->Root().AddFolder(name.chopped(1))))
            : File(name);
    EXPECT_EQ(TShellControlHelper::GetDisplayName(item, c.Format, true),
              QString::fromUtf8(c.Shown));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DisplayNameTest,
    ::testing::Values(TNameCase{"report.txt", F::Auto, true, "report.txt"},
                      TNameCase{"report.txt", F::Auto, false, "report"},
                      TNameCase{"report.txt", F::IncludeExtensions, false, "report.txt"},
                      TNameCase{"report.txt", F::ExcludeExtensions, true, "report"},
                      TNameCase{".bashrc", F::Auto, false, ".bashrc"},
                      TNameCase{".bashrc", F::ExcludeExtensions, true, ".bashrc"},
                      // A type nobody knows: the user could not tell the file apart without it.
                      TNameCase{"notes.xyz", F::Auto, false, "notes.xyz"},
                      TNameCase{"archive.tar.gz", F::ExcludeExtensions, true, "archive.tar"},
                      TNameCase{"archive.tar.gz", F::Auto, false, "archive.tar"},
                      TNameCase{"name.", F::ExcludeExtensions, true, "name."},
                      TNameCase{"my.project/", F::ExcludeExtensions, true, "my.project"},
                      TNameCase{"my.project/", F::Auto, false, "my.project"}));

TEST_F(ShellControlHelperTest, DisplayNameOfNoItem)
{
    EXPECT_THROW(TShellControlHelper::GetDisplayName(nullptr, F::Auto, true), EInvalidArgument);
    EXPECT_THROW(TShellControlHelper::GetDisplayName(InvalidItemIdList(), F::Auto, true),
                 EInvalidArgument);
    EXPECT_EQ(TShellControlHelper::GetDisplayName(File(QStringLiteral("a.txt")),
                                                  F::ExcludeExtensions, false),
              QStringLiteral("a.txt"));
}

struct TRenameCase
{
    F Format;
    bool ShowExtensions;
    const char* Old;
    const char* New;
    const char* Result;
};

class RenameTest
    : public ShellControlHelperTest
    , public ::testing::WithParamInterface<TRenameCase>
{
};

TEST_P(RenameTest, AHiddenExtensionIsKept)
{
    const TRenameCase& c = GetParam();
    ShowExtensions(c.ShowExtensions);
    EXPECT_EQ(TShellControlHelper::PrepareForRename(QString::fromUtf8(c.Old),
                                                    QString::fromUtf8(c.New), c.Format),
              QString::fromUtf8(c.Result));
}

INSTANTIATE_TEST_SUITE_P(
    Names, RenameTest,
    ::testing::Values(
        TRenameCase{F::ExcludeExtensions, true, "report.txt", "summary", "summary.txt"},
        TRenameCase{F::ExcludeExtensions, true, "report.txt", "summary.doc", "summary.doc"},
        TRenameCase{F::ExcludeExtensions, true, "app.lnk", "tool.exe", "tool.exe.lnk"},
        TRenameCase{F::IncludeExtensions, false, "a.txt", "b", "b"},
        TRenameCase{F::IncludeExtensions, true, "app.LNK", "tool", "tool.LNK"},
        TRenameCase{F::Auto, false, "report.txt", "summary", "summary.txt"},
        // Shown although the user hides extensions (unknown type): not put back.
        TRenameCase{F::Auto, false, "notes.xyz", "ideas", "ideas"},
        TRenameCase{F::Auto, true, "report.txt", "summary", "summary"},
        TRenameCase{F::ExcludeExtensions, true, ".bashrc", "profile", "profile"}));

// --- Scale, completion, values ---

TEST_F(ShellControlHelperTest, ScaledPixelsFollowTheScreen)
{
    struct
    {
        int Ppi;
        int Pixels;
        int Scaled;
    } const cases[] = {{96, 16, 16}, {144, 16, 24}, {192, 16, 32}, {144, 20, 30}, {72, 16, 16}};
    for (const auto& c : cases) {
        TScreenScale::SetScreenPpi(c.Ppi);
        EXPECT_EQ(TShellControlHelper::ScaledPixels(c.Pixels), c.Scaled) << c.Ppi;
    }
}

TEST_F(ShellControlHelperTest, AutoCompleteFlags)
{
    using O = TKivShellAutoCompleteOption;
    EXPECT_EQ(TShellControlHelper::AutoCompleteFlags({}), 0xA0000047u);
    EXPECT_EQ(TShellControlHelper::AutoCompleteFlags({O::acoFolderOnly}), 0x28u);
    EXPECT_EQ(TShellControlHelper::AutoCompleteFlags({O::acoFileSystem, O::acoURL}), 0xFu);
}

TEST_F(ShellControlHelperTest, ValuesAndAttributesAsText)
{
    EXPECT_EQ(TShellControlHelper::AttributesToString(0x21), QStringLiteral("RA"));
    EXPECT_EQ(TShellControlHelper::AttributesToString(-1), QString());
    EXPECT_EQ(TShellControlHelper::AttributesToString(0x10), QStringLiteral("D"));

    EXPECT_FALSE(TShellControlHelper::VarNotNull(QVariant()));
    EXPECT_FALSE(TShellControlHelper::VarNotNull(QVariant(0)));
    EXPECT_FALSE(TShellControlHelper::VarNotNull(QVariant(QString())));
    EXPECT_TRUE(TShellControlHelper::VarNotNull(QVariant(QStringLiteral("0"))));
    EXPECT_TRUE(TShellControlHelper::VarNotNull(QVariant(2)));

    EXPECT_EQ(
        TShellControlHelper::VariantToString(QVariant(qulonglong(1536)), TShellColumns::Size()),
        QStringLiteral("1.50 KB"));
    EXPECT_EQ(TShellControlHelper::VariantToString(QVariant(), TShellColumns::Size()), QString());
    EXPECT_EQ(TShellControlHelper::VariantToString(QVariant(QStringList{QStringLiteral("x")}),
                                                   TShellColumns::Title()),
              QString());
    const QDateTime local(QDate(2024, 3, 1), QTime(21, 5, 59));
    EXPECT_EQ(TShellControlHelper::VariantToString(local, TShellColumns::WriteTime()),
              QStringLiteral("3/1/24 9:05 PM"));
}

TEST_F(ShellControlHelperTest, FileNamesFromTheClipboardAndNewIconAssociations)
{
    EXPECT_TRUE(TShellControlHelper::GetFilenamesFromClipboard().isEmpty());
    const QStringList paths{QStringLiteral("/a/b.txt"), QStringLiteral("/c d/e")};
    pf::IDataObjectPtr data = std::make_shared<pf::TDataObject>();
    ASSERT_EQ(data->SetData(pf::ClipFormat::HDrop, TClipboardFiles::BuildDropFiles(paths)),
              pf::S_OK);
    ASSERT_EQ(pf::Platform().Clipboard().SetDataObject(data), pf::S_OK);
    EXPECT_EQ(TShellControlHelper::GetFilenamesFromClipboard(), paths);

    const int index = TShellControlHelper::AssociateIconWithExtension(QStringLiteral("abc"),
                                                                      QStringLiteral("/i.png"), 3);
    EXPECT_GE(index, 0);
    EXPECT_EQ(fMemory->MemoryIcons().IconFileOf(QStringLiteral(".abc")),
              QStringLiteral("/i.png,3"));
    fMemory->MemoryIcons().SetFailing(true);
    EXPECT_EQ(TShellControlHelper::AssociateIconWithExtension(QStringLiteral(".abc"),
                                                              QStringLiteral("/i.png"), -1),
              -1);
}

} // namespace
} // namespace kiv

#include "core/shell/ShellLinkHelper.h"

#include "TestDir.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

using C = TItemIdListComparison;

TEST(ShellLinkHelperNamingTest, LinkNames)
{
    struct TCase
    {
        QString Destination, LinkName, SourceName;
        TPathStyle Style;
        QString Expected;
    };
    const TCase cases[] = {
        {"/d", "", "a.txt", TPathStyle::psPosix, "/d/a.txt"},
        {"/d/", "Link", "a.txt", TPathStyle::psPosix, "/d/Link"},
        {"C:\\d", "", "report.pdf", TPathStyle::psWindows, "C:\\d\\report.lnk"},
        {"C:\\d\\", "My.Link.txt", "x", TPathStyle::psWindows, "C:\\d\\My.Link.lnk"},
        {"C:\\d", "", "notes", TPathStyle::psWindows, "C:\\d\\notes.lnk"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TShellLinkHelper::LinkFileName(c.Destination, c.LinkName, c.SourceName, c.Style),
                  c.Expected);
}

TEST(ShellLinkHelperNamingTest, DesktopLinkTargets)
{
    EXPECT_EQ(TShellLinkHelper::DesktopLinkTarget(
                  "[Desktop Entry]\nName=Docs\nType=Link\nURL=file:///home/u/My%20Docs\n"),
              QStringLiteral("/home/u/My Docs"));
    EXPECT_TRUE(
        TShellLinkHelper::DesktopLinkTarget("[Desktop Entry]\nType=Application\nURL=file:///a\n")
            .isEmpty());
    EXPECT_TRUE(TShellLinkHelper::DesktopLinkTarget("[Desktop Entry]\nType=Link\nURL=https://x/\n")
                    .isEmpty());
    // Keys of other groups do not count.
    EXPECT_TRUE(
        TShellLinkHelper::DesktopLinkTarget("[Desktop Entry]\nType=Link\n[Other]\nURL=file:///a\n")
            .isEmpty());
    EXPECT_TRUE(TShellLinkHelper::DesktopLinkTarget("").isEmpty());
}

class ShellLinkHelperTest : public ::testing::Test
{
protected:
    ShellLinkHelperTest()
        : fPlatform(pf::lnx::CreateLinuxPlatform())
    {
        TSpecialFolders::Reset();
        fSource = fDir.CreateFile(QStringLiteral("src/a.txt"), "text");
        fDestination = fDir.CreateFolder(QStringLiteral("dst"));
    }
    ~ShellLinkHelperTest() override { TSpecialFolders::Reset(); }

    test::TestDir fDir;
    pf::TScopedPlatform fPlatform;
    QString fSource;
    QString fDestination;
};

TEST_F(ShellLinkHelperTest, AddedLinksResolveToTheirSource)
{
    const IItemIdListPtr source = TKivItemIdList::Create(fSource);
    const IItemIdListPtr link = TShellLinkHelper::AddLinkTo(source, fDestination);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->Path(), fDestination + QStringLiteral("/a.txt"));
    const IItemIdListPtr target = TShellLinkHelper::Resolve(link);
    ASSERT_TRUE(target);
    EXPECT_TRUE(target->Equals(source, C::ilcExact));

    EXPECT_EQ(TShellLinkHelper::AddLinkTo(source, fDestination, QStringLiteral("named"))->Path(),
              fDestination + QStringLiteral("/named"));
    try {
        TShellLinkHelper::AddLinkTo(source, fDestination);
        ADD_FAILURE() << "a second link of the same name was made";
    } catch (const EWayfoldError& e) {
        EXPECT_EQ(e.ErrorCode(), pf::HResultFromWin32(183));
    }
    EXPECT_FALSE(TShellLinkHelper::AddLinkTo(nullptr, fDestination));
    EXPECT_FALSE(TShellLinkHelper::AddLinkTo(source, QString()));
    EXPECT_FALSE(TShellLinkHelper::AddLinkTo(InvalidItemIdList(), fDestination));
}

TEST_F(ShellLinkHelperTest, RelativeLinksAndDesktopLinksResolve)
{
    const QString relative = fDir.Join(QStringLiteral("src/rel"));
    ASSERT_TRUE(pf::Succeeded(
        pf::Platform().FileSystem().CreateSymbolicLink(QStringLiteral("a.txt"), relative)));
    const IItemIdListPtr source = TKivItemIdList::Create(fSource);
    ASSERT_TRUE(TShellLinkHelper::Resolve(relative));
    EXPECT_TRUE(TShellLinkHelper::Resolve(relative)->Equals(source, C::ilcExact));

    const QString desktop =
        fDir.CreateFile(QStringLiteral("dst/a.desktop"),
                        "[Desktop Entry]\nType=Link\nURL=file://" + fSource.toUtf8() + "\n");
    ASSERT_TRUE(TShellLinkHelper::Resolve(desktop));
    EXPECT_TRUE(TShellLinkHelper::Resolve(desktop)->Equals(source, C::ilcExact));

    // Not links, or links to nothing.
    EXPECT_FALSE(TShellLinkHelper::Resolve(fSource));
    const QString dangling = fDir.Join(QStringLiteral("dst/dangling"));
    ASSERT_TRUE(pf::Succeeded(pf::Platform().FileSystem().CreateSymbolicLink(
        fDir.Join(QStringLiteral("missing")), dangling)));
    EXPECT_FALSE(TShellLinkHelper::Resolve(dangling));
}

TEST_F(ShellLinkHelperTest, LinkObjectsOfLinkItemsOnly)
{
    const IItemIdListPtr link =
        TShellLinkHelper::AddLinkTo(TKivItemIdList::Create(fSource), fDestination);
    const TShellLinkPtr object = TShellLinkHelper::GetIShellLink(link);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->LinkPath(), link->Path());
    EXPECT_EQ(object->TargetPath(), fSource);
    EXPECT_FALSE(TShellLinkHelper::GetIShellLink(TKivItemIdList::Create(fSource)));
    EXPECT_FALSE(TShellLinkHelper::GetIShellLink(fSource));

    // A link outlives its target, and saves as a new link to the same place.
    const QString dangling = fDir.Join(QStringLiteral("dst/dangling"));
    ASSERT_TRUE(pf::Succeeded(pf::Platform().FileSystem().CreateSymbolicLink(
        fDir.Join(QStringLiteral("gone")), dangling)));
    const TShellLinkPtr gone = TShellLinkHelper::GetIShellLink(dangling);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->Target()->IsInvalid());
    const QString copy = fDir.Join(QStringLiteral("dst/copy"));
    gone->Save(copy);
    EXPECT_EQ(TShellLinkHelper::GetIShellLink(copy)->TargetPath(), gone->TargetPath());
    EXPECT_THROW(gone->Save(copy), EWayfoldError);

    // In the Windows style only ".lnk" names are asked.
    EXPECT_FALSE(TShellLinkHelper::GetIShellLink(dangling, TPathStyle::psWindows));
}

} // namespace
} // namespace kiv

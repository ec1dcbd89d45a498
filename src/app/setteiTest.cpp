#include "settei.h"

#include "TestDir.h"

#include <QFile>
#include <QStringEncoder>

#include <gtest/gtest.h>
#include <unistd.h>

namespace settei {
namespace {

using kiv::test::TestDir;

TEST(SettingsFolder, BesideTheProgramWhenWritableElseInTheConfigFolder)
{
    TestDir dir;
    const QString exe = dir.CreateFolder("bin");
    const QString config = dir.Join("config/tovaline");

    const TSettingsFolder writable(exe, config, true);
    EXPECT_EQ(writable.ReadPath("data.ini"), exe + "/data.ini");
    EXPECT_EQ(writable.WritePath("data.ini"), exe + "/data.ini");

    const TSettingsFolder installed(exe, config, false);
    EXPECT_TRUE(installed.UsesConfigFolder());
    EXPECT_EQ(installed.WritePath("data.ini"), config + "/data.ini");
    EXPECT_EQ(installed.ReadPath("data.ini"), config + "/data.ini");
    // A copy shipped beside the program is read until the user has one of their own.
    dir.CreateFile("bin/data.ini", "[mainform]\ntop=70\n");
    EXPECT_EQ(installed.ReadPath("data.ini"), exe + "/data.ini");
    ASSERT_TRUE(WritePlacement(installed.WritePath("data.ini"), {1, 2, 3, 4}));
    EXPECT_EQ(installed.ReadPath("data.ini"), config + "/data.ini");
    EXPECT_EQ(ReadPlacement(installed.ReadPath("data.ini")), (TWindowPlacement{1, 2, 3, 4}));
}

TEST(SettingsFolder, DetectsAReadOnlyProgramFolder)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder";
    TestDir dir;
    const QString exe = dir.CreateFolder("bin");
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_TRUE(TSettingsFolder(exe, dir.Join("config")).UsesConfigFolder());
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(TSettingsFolder(exe, dir.Join("config")).UsesConfigFolder());
}

TEST(Placement, DefaultsForMissingOrGarbledFiles)
{
    TestDir dir;
    const TWindowPlacement defaults{50, 50, 900, 600};
    EXPECT_EQ(ReadPlacement(dir.Join("missing.ini")), defaults);
    EXPECT_EQ(ReadPlacement(dir.CreateFile("garbage.ini", QByteArray(4096, '\xC3'))), defaults);
    EXPECT_EQ(ReadPlacement(dir.CreateFile("folder.ini/x")), defaults);
    EXPECT_EQ(ReadPlacement(dir.CreateFile("partial.ini", "[mainform]\nwidth=1024\nheight=x\n")),
              (TWindowPlacement{50, 50, 1024, 600}));
}

TEST(Placement, WritingKeepsTheRestOfTheFileAndReportsFailure)
{
    TestDir dir;
    const QString path = dir.CreateFile("data.ini", "[user]\r\nnote=keep me\r\n");
    ASSERT_TRUE(WritePlacement(path, {10, 20, 800, 500}));
    EXPECT_EQ(dir.ReadFile("data.ini"), QByteArray("[user]\r\nnote=keep me\r\n"
                                                   "[mainform]\r\ntop=10\r\nleft=20\r\n"
                                                   "width=800\r\nheight=500\r\n"));
    ASSERT_TRUE(WritePlacement(path, {11, 21, 801, 501}));
    EXPECT_EQ(ReadPlacement(path), (TWindowPlacement{11, 21, 801, 501}));

    // The parent is a file: nothing can be written, and nothing is thrown.
    const QString blocked = dir.CreateFile("afile") + "/data.ini";
    EXPECT_FALSE(WritePlacement(blocked, {}));
}

struct TClampCase
{
    const char* Name;
    TWindowPlacement Stored;
    QList<QRect> Monitors;
    int Left, Top;
};

class KeepOnScreenTest : public ::testing::TestWithParam<TClampCase>
{
};

TEST_P(KeepOnScreenTest, ClampsLeftAndTop)
{
    const auto& c = GetParam();
    const auto result = KeepOnScreen(c.Stored, c.Monitors);
    EXPECT_EQ(result.Left, c.Left);
    EXPECT_EQ(result.Top, c.Top);
    EXPECT_EQ(result.Width, c.Stored.Width);
    EXPECT_EQ(result.Height, c.Stored.Height);
}

const QList<QRect> kOneMonitor{QRect(0, 0, 1920, 1080)};
const QList<QRect> kTwoMonitors{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};

INSTANTIATE_TEST_SUITE_P(
    Cases, KeepOnScreenTest,
    ::testing::Values(
        TClampCase{"leftBeyondTotalWidth", {50, 3000, 900, 600}, kOneMonitor, 50, 50},
        TClampCase{"leftPlus100EqualsWidthKept", {50, 1820, 900, 600}, kOneMonitor, 1820, 50},
        TClampCase{"leftPlus100OneOver", {50, 1821, 900, 600}, kOneMonitor, 50, 50},
        TClampCase{"secondMonitorCounts", {50, 3000, 900, 600}, kTwoMonitors, 3000, 50},
        TClampCase{"topUsesSmallestHeight", {950, 100, 900, 600}, kTwoMonitors, 100, 50},
        TClampCase{"topPlus100EqualsHeightKept", {924, 100, 900, 600}, kTwoMonitors, 100, 924},
        TClampCase{"negativeEdgesKept", {-20, -300, 900, 600}, kTwoMonitors, -300, -20},
        TClampCase{"hugeValuesDoNotWrap", {2147483600, 2147483600, 1, 1}, kOneMonitor, 50, 50}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

struct TMemoCase
{
    const char* Name;
    QByteArray File;
    QStringList Paths;
};

class ReadTabSetTest : public ::testing::TestWithParam<TMemoCase>
{
};

TEST_P(ReadTabSetTest, OnePathPerLine)
{
    TestDir dir;
    EXPECT_EQ(ReadTabSet(dir.CreateFile("memo.ini", GetParam().File)), GetParam().Paths);
}

QByteArray Utf16(QStringConverter::Encoding pEncoding, const QString& pText)
{
    QStringEncoder encoder(pEncoding, QStringConverter::Flag::WriteBom);
    return encoder(pText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadTabSetTest,
    ::testing::Values(
        TMemoCase{"crlf", "/home/a\r\n/srv/data\r\n", {"/home/a", "/srv/data"}},
        TMemoCase{"lfAndCrAlone", "/a\n/b\r/c", {"/a", "/b", "/c"}},
        TMemoCase{"emptyLineInside", "/a\r\n\r\n/b\r\n", {"/a", "", "/b"}},
        TMemoCase{"empty", "", {}}, TMemoCase{"utf8Bom", "\xEF\xBB\xBF/写真\r\n", {"/写真"}},
        TMemoCase{"utf16Le", Utf16(QStringConverter::Utf16LE, "/写真\r\n/b\r\n"), {"/写真", "/b"}},
        TMemoCase{"utf16Be", Utf16(QStringConverter::Utf16BE, "/写真\r\n"), {"/写真"}},
        TMemoCase{"invalidUtf8", "/bad\xFF\xFE\r\n/ok\r\n", {"/bad\uFFFD\uFFFD", "/ok"}}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST(TabSet, MissingFileAndRoundTrip)
{
    TestDir dir;
    EXPECT_TRUE(ReadTabSet(dir.Join("memo.ini")).isEmpty());
    const QStringList paths{"/home/user/写真", "/", "/srv/share/", "/tmp/a b"};
    ASSERT_TRUE(WriteTabSet(dir.Join("memo.ini"), paths));
    EXPECT_EQ(dir.ReadFile("memo.ini"),
              QByteArray("/home/user/写真\r\n/\r\n/srv/share/\r\n/tmp/a b\r\n"));
    EXPECT_EQ(ReadTabSet(dir.Join("memo.ini")), paths);
}

TEST(TabSet, CaptionIsTheTextAfterTheLastSlash)
{
    EXPECT_EQ(TabCaption("/home/user/Documents"), "Documents");
    EXPECT_EQ(TabCaption("/home/user/"), "");
    EXPECT_EQ(TabCaption("/"), "");
    EXPECT_EQ(TabCaption("relative"), "relative");
    EXPECT_EQ(TabCaption("/a/long name with spaces and ...more"),
              "long name with spaces and ...more");
}

} // namespace
} // namespace settei

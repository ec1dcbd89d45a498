#include "PathUtils.h"

#include "core/shell/KivExceptions.h"

#include <QHash>

#include <gtest/gtest.h>
#include <ostream>

static void PrintTo(const QString& pText, std::ostream* pStream)
{
    *pStream << '"' << pText.toStdString() << '"';
}

namespace kiv {
namespace {

constexpr TPathStyle W = TPathStyle::psWindows;
constexpr TPathStyle P = TPathStyle::psPosix;

// A file system and process the tests describe: a current folder and home, attributes by path,
// long names of short ones. Records the paths it was asked about.
class TFakeEnvironment final : public IPathEnvironment
{
public:
    QString Current;
    QString Home;
    QString MyComputer = QStringLiteral("This PC");
    QHash<QString, QString> LongNames;
    QHash<QString, std::uint32_t> Attributes;
    mutable QStringList Asked;

    QString CurrentDir() const override { return Current; }
    QString HomeDir() const override { return Home; }
    QString VolumeRootOf(const QString& pPath) const override
    {
        return pPath.startsWith(u"/mnt/usb") ? QStringLiteral("/mnt/usb") : QStringLiteral("/");
    }
    std::optional<QString> LongPathName(const QString& pPath) const override
    {
        if (!LongNames.contains(pPath))
            return std::nullopt;
        return LongNames.value(pPath);
    }
    std::optional<std::uint32_t> FileAttributes(const QString& pPath) const override
    {
        Asked.append(pPath);
        if (!Attributes.contains(pPath))
            return std::nullopt;
        return Attributes.value(pPath);
    }
    std::optional<std::uint32_t> FindFirstAttributes(const QString& pPath) const override
    {
        return FileAttributes(pPath);
    }
    QString MyComputerName() const override { return MyComputer; }
};

// Installs a fake environment for one test and puts the previous one back.
class PathUtilsTest : public ::testing::Test
{
protected:
    void SetUp() override { fPrevious = TPathUtils::InstallEnvironment(fEnvironment); }
    void TearDown() override { TPathUtils::InstallEnvironment(fPrevious); }

    TFakeEnvironment& Env() { return *fEnvironment; }

private:
    std::shared_ptr<TFakeEnvironment> fEnvironment = std::make_shared<TFakeEnvironment>();
    std::shared_ptr<const IPathEnvironment> fPrevious;
};

enum class TOp
{
    Combine,
    ExcludeTrailing,
    RemoveRelativeWithDelimiter,
    RemoveRelative,
    MakeCanonic,
    LongForm,       // GetUnicodeAPICallPath(p, false, false)
    LongFormForced, // GetUnicodeAPICallPath(p, false, true)
    RevertLongForm,
};

struct TTextCase
{
    TOp Op;
    TPathStyle Style;
    const char16_t* Input;
    const char16_t* Second; // the relative part of Combine, the delimiter of the two-part form
    const char16_t* Expected;
};

void PrintTo(const TTextCase& pCase, std::ostream* pStream)
{
    *pStream << static_cast<int>(pCase.Op) << (pCase.Style == W ? " windows " : " posix ")
             << QString::fromUtf16(pCase.Input).toStdString() << " | "
             << QString::fromUtf16(pCase.Second).toStdString();
}

QString Apply(const TTextCase& pCase)
{
    const QString input = QString::fromUtf16(pCase.Input);
    const QString second = QString::fromUtf16(pCase.Second);
    switch (pCase.Op) {
    case TOp::Combine:
        return TPathUtils::Combine(input, second, pCase.Style);
    case TOp::ExcludeTrailing:
        return TPathUtils::ExcludeTrailingPathDelimiter(input, pCase.Style);
    case TOp::RemoveRelativeWithDelimiter:
        return TPathUtils::RemoveRelativeParts(input, second.at(0), pCase.Style);
    case TOp::RemoveRelative:
        return TPathUtils::RemoveRelativeParts(input, pCase.Style);
    case TOp::MakeCanonic:
        return TPathUtils::MakeCanonic(input, pCase.Style);
    case TOp::LongForm:
        return TPathUtils::GetUnicodeAPICallPath(input, false, false, pCase.Style);
    case TOp::LongFormForced:
        return TPathUtils::GetUnicodeAPICallPath(input, false, true, pCase.Style);
    case TOp::RevertLongForm:
        return TPathUtils::RevertUnicodeAPICallPath(input, pCase.Style);
    }
    return {};
}

class PathText
    : public PathUtilsTest
    , public ::testing::WithParamInterface<TTextCase>
{
};

TEST_P(PathText, GivesExpectedText)
{
    Env().Current =
        GetParam().Style == W ? QStringLiteral("C:\\work\\dir") : QStringLiteral("/home/u/work");
    Env().Home = QStringLiteral("/home/u");
    Env().LongNames.insert(QStringLiteral("C:\\PROGRA~1\\x"),
                           QStringLiteral("C:\\Program Files\\x"));
    EXPECT_EQ(Apply(GetParam()), QString::fromUtf16(GetParam().Expected));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Windows, PathText, ::testing::Values(
    // Joining: short rooted bases go through the platform's join, which also resolves dots.
    TTextCase{TOp::Combine, W, u"C:\\A", u"", u"C:\\A"},
    TTextCase{TOp::Combine, W, u"", u"x", u"x"},
    TTextCase{TOp::Combine, W, u"C:\\A", u"\\b", u"C:\\A\\b"},
    TTextCase{TOp::Combine, W, u"C:\\A\\", u"b", u"C:\\A\\b"},
    TTextCase{TOp::Combine, W, u"C:\\A", u"b\\..\\c\\.\\d", u"C:\\A\\c\\d"},
    TTextCase{TOp::Combine, W, u"C:\\A", u"D:\\x", u"D:\\x"},
    TTextCase{TOp::Combine, W, u"C:\\A", u"\\\\srv\\s", u"\\\\srv\\s"},
    TTextCase{TOp::Combine, W, u"\\\\?\\C:\\A", u"b", u"\\\\?\\C:\\A\\b"},
    TTextCase{TOp::Combine, W, u"rel", u"b", u"rel\\b"},
    TTextCase{TOp::Combine, W, u"rel\\", u".\\b", u"rel\\b"},
    TTextCase{TOp::Combine, W, u"rel", u"\\b", u"rel\\b"},
    TTextCase{TOp::Combine, W, u"rel", u"C:\\b", u"C:\\b"},
    TTextCase{TOp::ExcludeTrailing, W, u"C:\\a\\", u"", u"C:\\a"},
    TTextCase{TOp::ExcludeTrailing, W, u"C:\\a/", u"", u"C:\\a"},
    TTextCase{TOp::ExcludeTrailing, W, u"C:\\a\\\\", u"", u"C:\\a\\"},
    TTextCase{TOp::ExcludeTrailing, W, u"", u"", u""},
    // Removing relative parts element by element.
    TTextCase{TOp::RemoveRelativeWithDelimiter, W, u"C:\\..\\x", u"\\", u"C:\\x"},
    TTextCase{TOp::RemoveRelativeWithDelimiter, W, u"a\\.\\b\\..\\c", u"\\", u"\\a\\c"},
    TTextCase{TOp::RemoveRelativeWithDelimiter, W, u"C:\\a\\..\\..\\x", u"\\", u"C:\\x"},
    TTextCase{TOp::RemoveRelativeWithDelimiter, W, u"..\\a", u"\\", u"\\a"},
    TTextCase{TOp::RemoveRelativeWithDelimiter, W, u"\\\\srv\\share\\..\\x", u"\\", u"\\\\srv\\x"},
    TTextCase{TOp::RemoveRelativeWithDelimiter, W, u"a/./b", u"/", u"/a/b"},
    // ... and below MAX_PATH as the platform canonicalises.
    TTextCase{TOp::RemoveRelative, W, u"C:\\a\\.\\b\\..\\c", u"", u"C:\\a\\c"},
    TTextCase{TOp::RemoveRelative, W, u"C:\\..", u"", u"C:\\"},
    TTextCase{TOp::RemoveRelative, W, u"A:\\n1\\.\\n2\\.\\n3\\..\\n4\\..", u"", u"A:\\n1\\n2"},
    TTextCase{TOp::RemoveRelative, W, u"C:\\a\\", u"", u"C:\\a\\"},
    TTextCase{TOp::RemoveRelative, W, u"", u"", u"\\"},
    // Canonical form.
    TTextCase{TOp::MakeCanonic, W, u"http://h/a/../b", u"", u"http://h/a/../b"},
    TTextCase{TOp::MakeCanonic, W, u"C:x", u"", u"C:\\x"},
    TTextCase{TOp::MakeCanonic, W, u"c:\\a\\..\\b", u"", u"c:\\b"},
    TTextCase{TOp::MakeCanonic, W, u"x\\y", u"", u"C:\\work\\dir\\x\\y"},
    TTextCase{TOp::MakeCanonic, W, u"..\\x", u"", u"C:\\work\\x"},
    TTextCase{TOp::MakeCanonic, W, u"\\x", u"", u"C:\\x"},
    TTextCase{TOp::MakeCanonic, W, u"C:\\a\\\\\\b", u"", u"C:\\a\\b"},
    TTextCase{TOp::MakeCanonic, W, u"\\\\srv\\\\share\\x", u"", u"\\\\srv\\share\\x"},
    TTextCase{TOp::MakeCanonic, W, u"\\\\fe80::1\\share\\x", u"", u"\\\\fe80--1.ipv6-literal.net\\share\\x"},
    TTextCase{TOp::MakeCanonic, W, u"C:\\a\\*", u"", u"C:\\a\\"},
    TTextCase{TOp::MakeCanonic, W, u"\\\\*", u"", u"\\\\*"},
    TTextCase{TOp::MakeCanonic, W, u"C:\\PROGRA~1\\x", u"", u"C:\\Program Files\\x"},
    TTextCase{TOp::MakeCanonic, W, u"This PC\\Documents", u"", u"This PC\\Documents"},
    TTextCase{TOp::MakeCanonic, W, u"This PC backup\\x", u"", u"C:\\work\\dir\\This PC backup\\x"},
    // Long-path form.
    TTextCase{TOp::LongForm, W, u"C:\\a\\..\\b", u"", u"C:\\a\\..\\b"},
    TTextCase{TOp::LongFormForced, W, u"C:\\a\\..\\b", u"", u"\\\\?\\C:\\b"},
    TTextCase{TOp::LongFormForced, W, u"\\\\?\\C:\\x", u"", u"\\\\?\\C:\\x"},
    TTextCase{TOp::LongFormForced, W, u"\\\\srv\\s\\x", u"", u"\\\\?\\UNC\\srv\\s\\x"},
    TTextCase{TOp::RevertLongForm, W, u"\\\\?\\C:\\x", u"", u"C:\\x"},
    TTextCase{TOp::RevertLongForm, W, u"\\\\?\\unc\\srv\\s", u"", u"\\\\srv\\s"},
    TTextCase{TOp::RevertLongForm, W, u"C:\\x", u"", u"C:\\x"}));

INSTANTIATE_TEST_SUITE_P(Posix, PathText, ::testing::Values(
    TTextCase{TOp::Combine, P, u"/a", u"b", u"/a/b"},
    TTextCase{TOp::Combine, P, u"/a/", u"b", u"/a/b"},
    TTextCase{TOp::Combine, P, u"/a", u"/b", u"/b"},
    TTextCase{TOp::Combine, P, u"/a", u"./b", u"/a/b"},
    TTextCase{TOp::Combine, P, u"/a/b", u"../c", u"/a/c"},
    TTextCase{TOp::Combine, P, u"/", u"..", u"/"},
    TTextCase{TOp::Combine, P, u"/a", u"", u"/a"},
    TTextCase{TOp::Combine, P, u"", u"b", u"b"},
    TTextCase{TOp::Combine, P, u"rel", u"b", u"rel/b"},
    TTextCase{TOp::Combine, P, u"/a", u"b\\c", u"/a/b\\c"},
    TTextCase{TOp::Combine, P, u"/a", u"http://h/x", u"http://h/x"},
    TTextCase{TOp::ExcludeTrailing, P, u"/", u"", u"/"},
    TTextCase{TOp::ExcludeTrailing, P, u"/a/", u"", u"/a"},
    TTextCase{TOp::ExcludeTrailing, P, u"/a\\", u"", u"/a\\"},
    TTextCase{TOp::RemoveRelative, P, u"/..", u"", u"/"},
    TTextCase{TOp::RemoveRelative, P, u"/a/../..", u"", u"/"},
    TTextCase{TOp::RemoveRelative, P, u"/a/./b/../c", u"", u"/a/c"},
    TTextCase{TOp::RemoveRelative, P, u"a/./b/../c", u"", u"a/c"},
    TTextCase{TOp::RemoveRelative, P, u"/a/", u"", u"/a/"},
    TTextCase{TOp::RemoveRelative, P, u"/a/..b/.c", u"", u"/a/..b/.c"},
    TTextCase{TOp::MakeCanonic, P, u"~", u"", u"/home/u"},
    TTextCase{TOp::MakeCanonic, P, u"~/x/../y", u"", u"/home/u/y"},
    TTextCase{TOp::MakeCanonic, P, u"a~b", u"", u"/home/u/work/a~b"},
    TTextCase{TOp::MakeCanonic, P, u"x/../y", u"", u"/home/u/work/y"},
    TTextCase{TOp::MakeCanonic, P, u"//a///b", u"", u"/a/b"},
    TTextCase{TOp::MakeCanonic, P, u"/a/*", u"", u"/a/"},
    TTextCase{TOp::MakeCanonic, P, u"/", u"", u"/"},
    TTextCase{TOp::MakeCanonic, P, u"/..", u"", u"/"},
    TTextCase{TOp::MakeCanonic, P, u"/Tmp/A", u"", u"/Tmp/A"},
    TTextCase{TOp::MakeCanonic, P, u"C:x", u"", u"/home/u/work/C:x"},
    TTextCase{TOp::MakeCanonic, P, u"http://h/x", u"", u"http://h/x"},
    TTextCase{TOp::MakeCanonic, P, u"This PC/Documents", u"", u"This PC/Documents"},
    TTextCase{TOp::LongFormForced, P, u"/x/../y", u"", u"/x/../y"},
    TTextCase{TOp::RevertLongForm, P, u"\\\\?\\C:\\x", u"", u"\\\\?\\C:\\x"}));
// clang-format on

TEST_F(PathUtilsTest, CombiningTwoEmptyTextsRaises)
{
    for (TPathStyle style : {W, P}) {
        try {
            TPathUtils::Combine({}, {}, style);
            ADD_FAILURE() << "no exception";
        } catch (const EInvalidArgument& error) {
            EXPECT_EQ(error.Message(),
                      QStringLiteral("Both parameters (BasePath and RelativePath) are empty."));
        }
    }
}

TEST_F(PathUtilsTest, LongJoinsAppendWithoutResolving)
{
    // From MAX_PATH on, joining is plain text: the platform's join would fail there.
    const QString base = QStringLiteral("C:\\") + QString(260, u'a');
    EXPECT_EQ(TPathUtils::Combine(base, QStringLiteral("..\\b"), W),
              base + QStringLiteral("\\..\\b"));
    EXPECT_EQ(TPathUtils::Combine(base, QStringLiteral(".\\b"), W), base + QStringLiteral("\\b"));
}

TEST_F(PathUtilsTest, LongUncPathRoundTripsThroughTheLongForm)
{
    const QString unc = QStringLiteral("\\\\server\\share\\") + QString(285, u'x');
    ASSERT_EQ(unc.size(), 300);
    const QString longForm = TPathUtils::GetUnicodeAPICallPath(unc, false, false, W);
    EXPECT_TRUE(longForm.startsWith(QStringLiteral("\\\\?\\UNC\\server\\share\\")));
    EXPECT_TRUE(TPathUtils::IsUnicodeAPICallPath(longForm, W));
    EXPECT_EQ(TPathUtils::RevertUnicodeAPICallPath(longForm, W), unc);

    // A long drive path is canonicalised element by element before it gets the prefix.
    const QString drive = QStringLiteral("C:\\a\\..\\") + QString(290, u'y');
    EXPECT_EQ(TPathUtils::GetUnicodeAPICallPath(drive, false, false, W),
              QStringLiteral("\\\\?\\C:\\") + QString(290, u'y'));
}

struct TTestCase
{
    const char* Operation;
    TPathStyle Style;
    const char16_t* Input;
    bool Expected;
};

void PrintTo(const TTestCase& pCase, std::ostream* pStream)
{
    *pStream << pCase.Operation << (pCase.Style == W ? " windows " : " posix ")
             << QString::fromUtf16(pCase.Input).toStdString();
}

bool Evaluate(const TTestCase& pCase)
{
    const QString input = QString::fromUtf16(pCase.Input);
    const std::string operation = pCase.Operation;
    if (operation == "IsRooted")
        return TPathUtils::IsRooted(input, pCase.Style);
    if (operation == "IsURL")
        return TPathUtils::IsURL(input);
    if (operation == "IsValidIPv4")
        return TPathUtils::IsValidIPv4(input);
    if (operation == "IsValidIPv6")
        return TPathUtils::IsValidIPv6(input);
    if (operation == "IsValidIP")
        return TPathUtils::IsValidIP(input);
    if (operation == "StartsWithDriveLetter")
        return TPathUtils::StartsWithDriveLetter(input, pCase.Style);
    if (operation == "IsUnicodeAPICallPath")
        return TPathUtils::IsUnicodeAPICallPath(input, pCase.Style);
    ADD_FAILURE() << "unknown operation " << operation;
    return false;
}

class PathTest
    : public PathUtilsTest
    , public ::testing::WithParamInterface<TTestCase>
{
};

TEST_P(PathTest, Answers)
{
    EXPECT_EQ(Evaluate(GetParam()), GetParam().Expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Windows, PathTest, ::testing::Values(
    TTestCase{"IsRooted", W, u"C:\\x", true},
    TTestCase{"IsRooted", W, u"C:", true},
    TTestCase{"IsRooted", W, u"c:x", true},
    TTestCase{"IsRooted", W, u"\\\\srv", true},
    TTestCase{"IsRooted", W, u"\\x", false},
    TTestCase{"IsRooted", W, u"x\\y", false},
    TTestCase{"IsRooted", W, u"", false},
    TTestCase{"IsRooted", W, u"1:\\x", false},
    TTestCase{"IsRooted", W, u"http://h/x", true},
    TTestCase{"IsRooted", W, u"Volume{12345678-1234-1234-1234-123456789abc}", true},
    TTestCase{"IsRooted", W, u"Volume{12345678-1234-1234-1234-123456789abc}\\x", true},
    TTestCase{"IsRooted", W, u"volume{12345678-1234-1234-1234-123456789abc}", false},
    TTestCase{"IsRooted", W, u"Volume{12345678-1234-1234-1234-123456789ab}", false},
    TTestCase{"IsURL", W, u"C:\\x", false},
    TTestCase{"IsURL", W, u"abcd://x", true},
    TTestCase{"IsURL", W, u"HTTP://x", true},
    TTestCase{"IsURL", W, u"mailto:someone", true},
    TTestCase{"IsURL", W, u"shell:::{679f85cb-0220-4080-b29b-5540cc05aab6}", true},
    TTestCase{"IsURL", W, u"1a:b", true},
    TTestCase{"IsURL", W, u"file:\\\\srv\\x", true},
    TTestCase{"IsURL", W, u"ftp:", false},
    TTestCase{"IsURL", W, u"a:/xyz", false},
    TTestCase{"IsURL", W, u"x\\y:z", false},
    TTestCase{"IsURL", W, u"ab:{x", false},
    TTestCase{"IsURL", W, u"ab:%20", false},
    TTestCase{"IsURL", W, u"a_b:c", false},
    TTestCase{"IsURL", W, u"\u00e9t\u00e9:x", false},
    TTestCase{"IsValidIPv4", W, u"192.168.0.1", true},
    TTestCase{"IsValidIPv4", W, u"255.255.255.255", true},
    TTestCase{"IsValidIPv4", W, u"01.002.3.4", true},
    TTestCase{"IsValidIPv4", W, u"256.1.1.1", false},
    TTestCase{"IsValidIPv4", W, u"0001.1.1.1", false},
    TTestCase{"IsValidIPv4", W, u"1.2.3", false},
    TTestCase{"IsValidIPv4", W, u"1.2.3.4.5", false},
    TTestCase{"IsValidIPv4", W, u"1..2.3", false},
    TTestCase{"IsValidIPv4", W, u"1.2.3.4\n", false},
    TTestCase{"IsValidIPv4", W, u" 1.2.3.4", false},
    TTestCase{"IsValidIPv4", W, u"\u0661.2.3.4", false},
    TTestCase{"IsValidIPv6", W, u"fe80::1", true},
    TTestCase{"IsValidIPv6", W, u"::", true},
    TTestCase{"IsValidIPv6", W, u"::1", true},
    TTestCase{"IsValidIPv6", W, u"1:2:3:4:5:6:7:8", true},
    TTestCase{"IsValidIPv6", W, u"1:2:3:4:5:6:7::", true},
    TTestCase{"IsValidIPv6", W, u"FE80:0:0:0:202:B3FF:FE1E:8329", true},
    TTestCase{"IsValidIPv6", W, u"::ffff:192.168.1.1", true},
    TTestCase{"IsValidIPv6", W, u"1:2:3:4:5:6:1.2.3.4", true},
    TTestCase{"IsValidIPv6", W, u"fe80::1%eth0", true},
    TTestCase{"IsValidIPv6", W, u"  fe80::1\t", true},
    TTestCase{"IsValidIPv6", W, u"1:2:3:4:5:6:7:8:9", false},
    TTestCase{"IsValidIPv6", W, u"1::2::3", false},
    TTestCase{"IsValidIPv6", W, u"12345::", false},
    TTestCase{"IsValidIPv6", W, u"g::1", false},
    TTestCase{"IsValidIPv6", W, u"::1.2.3", false},
    TTestCase{"IsValidIPv6", W, u"1:2:3:4:5:6:7:1.2.3.4", false},
    TTestCase{"IsValidIPv6", W, u"fe80::1%", false},
    TTestCase{"IsValidIPv6", W, u":1", false},
    TTestCase{"IsValidIP", W, u"10.0.0.1", true},
    TTestCase{"IsValidIP", W, u"::1", true},
    TTestCase{"IsValidIP", W, u"host", false},
    TTestCase{"StartsWithDriveLetter", W, u"C:", true},
    TTestCase{"StartsWithDriveLetter", W, u"z:\\", true},
    TTestCase{"StartsWithDriveLetter", W, u"1:", false},
    TTestCase{"StartsWithDriveLetter", W, u"C", false},
    TTestCase{"StartsWithDriveLetter", W, u"\u00e9:", false},
    TTestCase{"IsUnicodeAPICallPath", W, u"\\\\?\\C:", true},
    TTestCase{"IsUnicodeAPICallPath", W, u"\\\\?\\", true},
    TTestCase{"IsUnicodeAPICallPath", W, u"\\\\?", false},
    TTestCase{"IsUnicodeAPICallPath", W, u"\\\\.\\C:", false}));

INSTANTIATE_TEST_SUITE_P(Posix, PathTest, ::testing::Values(
    TTestCase{"IsRooted", P, u"/x", true},
    TTestCase{"IsRooted", P, u"/", true},
    TTestCase{"IsRooted", P, u"x/y", false},
    TTestCase{"IsRooted", P, u"C:\\x", false},
    TTestCase{"IsRooted", P, u"C:", false},
    TTestCase{"IsRooted", P, u"~/x", false},
    TTestCase{"IsRooted", P, u"\\\\srv\\share", true},
    TTestCase{"IsRooted", P, u"sftp://h/x", true},
    TTestCase{"StartsWithDriveLetter", P, u"C:", false},
    TTestCase{"IsUnicodeAPICallPath", P, u"\\\\?\\C:\\x", false}));
// clang-format on

TEST_F(PathUtilsTest, DelimitersByStyleCountingFromOne)
{
    const QString path = QStringLiteral("a\\b/c");
    EXPECT_FALSE(TPathUtils::IsPathDelimiter(path, 0, W));
    EXPECT_FALSE(TPathUtils::IsPathDelimiter(path, 1, W));
    EXPECT_TRUE(TPathUtils::IsPathDelimiter(path, 2, W));
    EXPECT_TRUE(TPathUtils::IsPathDelimiter(path, 4, W));
    EXPECT_FALSE(TPathUtils::IsPathDelimiter(path, 6, W));
    EXPECT_FALSE(TPathUtils::IsPathDelimiter(path, 2, P));
    EXPECT_TRUE(TPathUtils::IsPathDelimiter(path, 4, P));
    EXPECT_FALSE(TPathUtils::IsPathDelimiter(QString(), 1, P));
}

TEST_F(PathUtilsTest, CurrentDriveIsTheDriveShareOrMountOfTheCurrentFolder)
{
    Env().Current = QStringLiteral("C:\\work\\dir");
    EXPECT_EQ(TPathUtils::GetCurrentDrive(W), QStringLiteral("C:"));
    Env().Current = QStringLiteral("\\\\srv\\share\\dir");
    EXPECT_EQ(TPathUtils::GetCurrentDrive(W), QStringLiteral("\\\\srv\\share"));
    Env().Current = QStringLiteral("/mnt/usb/photos");
    EXPECT_EQ(TPathUtils::GetCurrentDrive(P), QStringLiteral("/mnt/usb"));
    EXPECT_EQ(TPathUtils::GetCurrentDir(), QStringLiteral("/mnt/usb/photos"));
}

TEST_F(PathUtilsTest, SpecialFolderRootIsMyComputerAsAWholeName)
{
    EXPECT_EQ(TPathUtils::GetSpecialFolderRoot(QStringLiteral("this pc\\Music"), W),
              QStringLiteral("This PC"));
    EXPECT_EQ(TPathUtils::GetSpecialFolderRoot(QStringLiteral("This PC"), P),
              QStringLiteral("This PC"));
    EXPECT_EQ(TPathUtils::GetSpecialFolderRoot(QStringLiteral("This PC/Music"), P),
              QStringLiteral("This PC"));
    EXPECT_TRUE(TPathUtils::GetSpecialFolderRoot(QStringLiteral("This PCs\\x"), W).isEmpty());
    EXPECT_TRUE(TPathUtils::GetSpecialFolderRoot(QStringLiteral("This PC\\x"), P).isEmpty());
    Env().MyComputer.clear();
    EXPECT_TRUE(TPathUtils::GetSpecialFolderRoot(QString(), W).isEmpty());
}

TEST_F(PathUtilsTest, FileAttributesComeFromTheEnvironment)
{
    Env().Attributes.insert(QStringLiteral("/data"), FILE_ATTRIBUTE_DIRECTORY);
    Env().Attributes.insert(QStringLiteral("/link"), FILE_ATTRIBUTE_REPARSE_POINT);
    Env().Attributes.insert(QStringLiteral("/bad"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(TPathUtils::HasFileAttribute(QStringLiteral("/data"), FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(
        TPathUtils::HasFileAttribute(QStringLiteral("/data"), FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_FALSE(
        TPathUtils::HasFileAttribute(QStringLiteral("/missing"), FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(TPathUtils::HasFileAttribute(QString(), FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(TPathUtils::IsReparsePoint(QStringLiteral("/bad"), P));

    // The entry is looked up without its trailing delimiter; a root keeps its "/".
    EXPECT_TRUE(TPathUtils::IsReparsePoint(QStringLiteral("/link/"), P));
    EXPECT_FALSE(TPathUtils::IsReparsePoint(QStringLiteral("/data"), P));
    EXPECT_FALSE(TPathUtils::IsReparsePoint(QStringLiteral("/"), P));
    EXPECT_EQ(Env().Asked.last(), QStringLiteral("/"));
}

TEST_F(PathUtilsTest, ReparsePointOfALongWindowsPathIsAskedInLongForm)
{
    const QString path = QStringLiteral("C:\\") + QString(260, u'z');
    const QString longForm = QStringLiteral("\\\\?\\") + path;
    Env().Attributes.insert(longForm, FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(TPathUtils::IsReparsePoint(path + u'\\', W));
    EXPECT_EQ(Env().Asked.last(), longForm);
    EXPECT_FALSE(TPathUtils::IsReparsePoint(QStringLiteral("C:\\short\\"), W));
    EXPECT_EQ(Env().Asked.last(), QStringLiteral("C:\\short"));
}

TEST(PathUtilsWithoutEnvironment, AnswersWithoutFileSystem)
{
    // Nothing installed: no current folder, no attributes, and no crash on relative paths.
    const auto previous = TPathUtils::InstallEnvironment(nullptr);
    EXPECT_EQ(TPathUtils::MakeCanonic(QStringLiteral("a/../b"), P), QStringLiteral("b"));
    EXPECT_EQ(TPathUtils::MakeCanonic(QString(), P), QString());
    EXPECT_EQ(TPathUtils::MakeCanonic(QString(), W), QStringLiteral("\\"));
    EXPECT_FALSE(TPathUtils::HasFileAttribute(QStringLiteral("/"), FILE_ATTRIBUTE_DIRECTORY));
    TPathUtils::InstallEnvironment(previous);
}

} // namespace
} // namespace kiv

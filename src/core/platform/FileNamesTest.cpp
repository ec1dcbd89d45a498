#include "FileNames.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

struct TNameCase
{
    const char* Name;
    std::string Bytes;
    bool Escaped;
};

class FileNamesTest : public ::testing::TestWithParam<TNameCase>
{
};

TEST_P(FileNamesTest, BytesSurviveTheRoundTrip)
{
    const auto& param = GetParam();
    const QString text = DecodeFileName(param.Bytes);
    EXPECT_EQ(EncodeFileName(text), param.Bytes);
    EXPECT_EQ(HasEscapedBytes(text), param.Escaped);
    const QString shown = FileNameForDisplay(text);
    EXPECT_FALSE(HasEscapedBytes(shown));
    EXPECT_EQ(shown.contains(QChar(0xFFFD)), param.Escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileNamesTest,
    ::testing::Values(TNameCase{"Ascii", "report.txt", false},
                      TNameCase{"Utf8", "r\xC3\xA9sum\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", false},
                      TNameCase{"Astral", "\xF0\x9F\x98\x80.png", false},
                      TNameCase{"Latin1", "caf\xE9", true},
                      TNameCase{"LoneContinuation", "\x80x", true},
                      TNameCase{"Truncated", "ab\xE6\x97", true},
                      TNameCase{"Overlong", "\xC0\xAF", true},
                      // The UTF-8 form of a surrogate is no valid UTF-8: kept as three bytes.
                      TNameCase{"EncodedSurrogate", "\xED\xB2\x80", true},
                      TNameCase{"AstralThenBadByte", "\xF0\x9F\x98\x80\xFF", true},
                      TNameCase{"ControlCharacters", "a\nb\\c -d", false}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST(FileNamesTest, LatinOneByteBecomesOneEscape)
{
    const QString text = DecodeFileName("caf\xE9");
    ASSERT_EQ(text.size(), 4);
    EXPECT_EQ(text[3].unicode(), 0xDCE9);
    EXPECT_EQ(FileNameForDisplay(text), QStringLiteral(u"caf\uFFFD"));
}

TEST(FileNamesTest, LoneSurrogatesThatAreNoEscapeBecomeReplacementCharacters)
{
    const QString text = QString(QChar(0xD800)) + u'a' + QChar(0xDC10);
    EXPECT_EQ(EncodeFileName(text), "\xEF\xBF\xBD"
                                    "a"
                                    "\xEF\xBF\xBD");
}

} // namespace
} // namespace kiv::pf

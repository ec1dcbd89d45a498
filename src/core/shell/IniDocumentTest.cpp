#include "IniDocument.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace kiv {
namespace {

// A byte string with embedded NULs, taken whole from its literal.
template <std::size_t N> QByteArray Bytes(const char (&pText)[N])
{
    return QByteArray(pText, qsizetype(N - 1));
}

struct TIntCase
{
    const char* Name;
    QByteArray File;
    int Expected;
};

class IniReadInteger : public ::testing::TestWithParam<TIntCase>
{
};

TEST_P(IniReadInteger, GivesTheValueOrTheDefault)
{
    const auto doc = TIniDocument::FromBytes(GetParam().File);
    EXPECT_EQ(doc.ReadInteger(u"mainform", u"top", 50), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReadInteger,
    ::testing::Values(TIntCase{"plain", "[mainform]\r\ntop=120\r\n", 120},
                      TIntCase{"negative", "[mainform]\ntop=-1080\n", -1080},
                      TIntCase{"blanksAround", "[mainform]\n  top =  7  \n", 7},
                      TIntCase{"caseOfNames", "[MainForm]\nTOP=9\n", 9},
                      TIntCase{"notAnInteger", "[mainform]\ntop=12px\n", 50},
                      TIntCase{"float", "[mainform]\ntop=1.5\n", 50},
                      TIntCase{"overflow", "[mainform]\ntop=99999999999\n", 50},
                      TIntCase{"empty", "[mainform]\ntop=\n", 50},
                      TIntCase{"missingKey", "[mainform]\nleft=3\n", 50},
                      TIntCase{"missingSection", "top=3\n", 50},
                      TIntCase{"otherSection", "[other]\ntop=3\n[mainform]\n", 50},
                      TIntCase{"firstDuplicateWins", "[mainform]\ntop=1\ntop=2\n", 1},
                      TIntCase{"utf8Bom", "\xEF\xBB\xBF[mainform]\r\ntop=33\r\n", 33},
                      TIntCase{"utf16LeBom",
                               Bytes("\xFF\xFE[\0m\0a\0i\0n\0f\0o\0r\0m\0]\0\n\0t\0o\0p\0=\0004\0"),
                               4},
                      TIntCase{"noFinalLineBreak", "[mainform]\ntop=44", 44},
                      TIntCase{"nulBytes", Bytes("[main\0form]\ntop=1\n[mainform]\ntop=8\n"), 8},
                      TIntCase{"binaryGarbage", Bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR"), 50}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST(IniDocument, SurvivesRandomAndHugeInput)
{
    QByteArray noise(256 * 1024, '\0');
    auto* random = QRandomGenerator::global();
    for (char& c : noise)
        c = char(random->bounded(256));
    const QByteArray hugeLine = "[mainform]\ntop=" + QByteArray(8 * 1024 * 1024, '9') + "\n";
    for (const QByteArray& bytes : {noise, hugeLine, QByteArray("[\n=\n[]\n]=[\n==\n")}) {
        auto doc = TIniDocument::FromBytes(bytes);
        EXPECT_EQ(doc.ReadInteger(u"mainform", u"top", 50), 50);
        doc.WriteInteger(u"mainform", u"top", 5);
        EXPECT_EQ(TIniDocument::FromBytes(doc.ToBytes()).ReadInteger(u"mainform", u"top", 0), 5);
    }
}

TEST(IniDocument, WritingKeepsEverythingElseByteForByte)
{
    const QByteArray original = "; settings\r\n"
                                "[other]\r\n"
                                "name=\xFF\xFEnot utf-8\r\n"
                                "\r\n"
                                "[mainform]\r\n"
                                "Top=1\r\n"
                                "left=2\r\n"
                                "\r\n"
                                "[tail]\r\n"
                                "x=y\r\n";
    auto doc = TIniDocument::FromBytes(original);
    doc.WriteInteger(u"mainform", u"top", 10);
    doc.WriteInteger(u"mainform", u"width", 900);
    EXPECT_EQ(doc.ToBytes(), QByteArray("; settings\r\n"
                                        "[other]\r\n"
                                        "name=\xFF\xFEnot utf-8\r\n"
                                        "\r\n"
                                        "[mainform]\r\n"
                                        "Top=10\r\n"
                                        "left=2\r\n"
                                        "width=900\r\n"
                                        "\r\n"
                                        "[tail]\r\n"
                                        "x=y\r\n"));
}

TEST(IniDocument, WritingCreatesSectionAndKeepsEncodingAndLineBreaks)
{
    auto empty = TIniDocument::FromBytes({});
    empty.WriteInteger(u"mainform", u"top", 50);
    EXPECT_EQ(empty.ToBytes(), QByteArray("[mainform]\r\ntop=50\r\n"));

    auto unix = TIniDocument::FromBytes("[a]\nk=v");
    unix.WriteString(u"b", u"key", QStringLiteral("line\nbreak"));
    EXPECT_EQ(unix.ToBytes(), QByteArray("[a]\nk=v\n[b]\nkey=line break\n"));

    auto bom = TIniDocument::FromBytes("\xEF\xBB\xBF[a]\r\n");
    bom.WriteString(u"a", u"k", QStringLiteral("日本"));
    EXPECT_EQ(bom.ToBytes(), QByteArray("\xEF\xBB\xBF[a]\r\nk=日本\r\n"));

    auto utf16 = TIniDocument::FromBytes(Bytes("\xFF\xFE[\0a\0]\0"));
    utf16.WriteString(u"a", u"k", QStringLiteral("v"));
    EXPECT_EQ(utf16.ToBytes(), Bytes("\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"));
}

TEST(IniDocument, KeysDeleteAndErase)
{
    auto doc = TIniDocument::FromBytes("[s]\na=1\n;c=3\nb=2\n[t]\nz=0\n");
    EXPECT_EQ(doc.ReadSectionKeys(u"s"), QStringList({"a", "b"}));
    doc.DeleteKey(u"s", u"A");
    EXPECT_EQ(doc.ReadSectionKeys(u"s"), QStringList({"b"}));
    doc.EraseSection(u"s");
    EXPECT_FALSE(doc.SectionExists(u"s"));
    EXPECT_EQ(doc.ToBytes(), QByteArray("[t]\nz=0\n"));
}

} // namespace
} // namespace kiv

#include "core/shell/ClipboardFiles.h"

#include "core/platform/FileNames.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

struct TUriListCase
{
    const char* Name;
    QByteArray Data;
    QStringList Expected;
};

class UriListTest : public ::testing::TestWithParam<TUriListCase>
{
};

TEST_P(UriListTest, Parses)
{
    EXPECT_EQ(TClipboardFiles::ParseUriList(GetParam().Data), GetParam().Expected)
        << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    ClipboardFiles, UriListTest,
    ::testing::Values(
        TUriListCase{"two files, CR LF",
                     "file:///home/u/a.txt\r\nfile:///home/u/b%20c.txt\r\n",
                     {QStringLiteral("/home/u/a.txt"), QStringLiteral("/home/u/b c.txt")}},
        TUriListCase{"LF, comments, localhost, no final break",
                     "# from a file manager\nfile://localhost/tmp/x\nFILE:/tmp/y",
                     {QStringLiteral("/tmp/x"), QStringLiteral("/tmp/y")}},
        TUriListCase{"UTF-8 escapes", "file:///d/%E6%97%A5.txt", {QStringLiteral("/d/日.txt")}},
        TUriListCase{"other schemes are skipped",
                     "https://example.org/a\nfile:///a",
                     {QStringLiteral("/a")}},
        TUriListCase{"cut escape", "file:///a\nfile:///b%2", {}},
        TUriListCase{"bad escape", "file:///b%zz", {}},
        TUriListCase{"escaped NUL", "file:///b%00c", {}},
        TUriListCase{"another host", "file://server/share/a", {}},
        TUriListCase{"no path after the host", "file://", {}},
        TUriListCase{"not a URI", "/plain/path", {}}, TUriListCase{"empty", "", {}}),
    [](const auto& pInfo) { return std::to_string(pInfo.index); });

TEST(ClipboardFilesTest, UriListsRoundTripNamesThatAreNotUtf8)
{
    const QString odd = pf::DecodeFileName(std::string_view("/tmp/a\xff b", 9));
    const QStringList paths = {odd, QStringLiteral("/tmp/100% sure#1?.txt")};
    const QByteArray list = TClipboardFiles::BuildUriList(paths);
    EXPECT_TRUE(list.startsWith("file:///tmp/a%FF%20b\r\n"));
    EXPECT_EQ(TClipboardFiles::ParseUriList(list), paths);

    const TCopiedFiles cut{paths, true};
    const TCopiedFiles back =
        TClipboardFiles::ParseGnomeCopiedFiles(TClipboardFiles::BuildGnomeCopiedFiles(cut));
    EXPECT_TRUE(back.Cut);
    EXPECT_EQ(back.Paths, paths);
    EXPECT_FALSE(TClipboardFiles::ParseGnomeCopiedFiles("copy\nfile:///a").Cut);
    EXPECT_TRUE(TClipboardFiles::ParseGnomeCopiedFiles("move\nfile:///a").Paths.isEmpty());
    EXPECT_TRUE(TClipboardFiles::ParseGnomeCopiedFiles("cut\nfile:///a%").Paths.isEmpty());
}

TEST(ClipboardFilesTest, DropFilesBlocks)
{
    const QStringList paths = {QStringLiteral("C:\\a.txt"), QStringLiteral("D:\\日本\\b")};
    const QByteArray block = TClipboardFiles::BuildDropFiles(paths);
    EXPECT_EQ(block[0], 20);
    EXPECT_EQ(block[16], 1);
    EXPECT_TRUE(block.endsWith(QByteArray(4, '\0')));
    EXPECT_EQ(TClipboardFiles::ParseDropFiles(block), paths);

    QByteArray ansi(20, '\0');
    ansi[0] = 20;
    ansi += QByteArray("C:\\x\0C:\\y\0\0", 11);
    EXPECT_EQ(TClipboardFiles::ParseDropFiles(ansi),
              QStringList({QStringLiteral("C:\\x"), QStringLiteral("C:\\y")}));

    // Cut short, an offset outside the block, a header alone.
    EXPECT_TRUE(TClipboardFiles::ParseDropFiles(block.first(block.size() - 2)).isEmpty());
    EXPECT_TRUE(TClipboardFiles::ParseDropFiles(ansi.first(ansi.size() - 1)).isEmpty());
    QByteArray farOffset = block;
    farOffset[0] = 0x7F;
    farOffset[1] = 0x7F;
    EXPECT_TRUE(TClipboardFiles::ParseDropFiles(farOffset).isEmpty());
    EXPECT_TRUE(TClipboardFiles::ParseDropFiles(QByteArray(12, '\0')).isEmpty());
}

QByteArray GroupDescriptor(const QStringList& pNames, bool pWide, std::uint32_t pCount)
{
    const qsizetype record = pWide ? 592 : 332;
    QByteArray data(4 + record * pNames.size(), '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>((pCount >> (8 * i)) & 0xFF);
    for (qsizetype n = 0; n < pNames.size(); ++n) {
        const qsizetype at = 4 + n * record + 72;
        const QString& name = pNames[n];
        for (qsizetype c = 0; c < name.size(); ++c) {
            if (pWide) {
                data[at + 2 * c] = static_cast<char>(name[c].unicode() & 0xFF);
                data[at + 2 * c + 1] = static_cast<char>(name[c].unicode() >> 8);
            } else {
                data[at + c] = name[c].toLatin1();
            }
        }
    }
    return data;
}

TEST(ClipboardFilesTest, FileGroupDescriptors)
{
    const QStringList names = {QStringLiteral("report.pdf"), QStringLiteral("sub\\notes.txt")};
    for (const bool wide : {true, false}) {
        EXPECT_EQ(TClipboardFiles::ParseFileGroupDescriptor(GroupDescriptor(names, wide, 2), wide),
                  names)
            << wide;
        // More records counted than the buffer holds, none counted, a cut record.
        EXPECT_TRUE(TClipboardFiles::ParseFileGroupDescriptor(GroupDescriptor(names, wide, 3), wide)
                        .isEmpty());
        EXPECT_TRUE(TClipboardFiles::ParseFileGroupDescriptor(GroupDescriptor(names, wide, 0), wide)
                        .isEmpty());
        EXPECT_TRUE(TClipboardFiles::ParseFileGroupDescriptor(
                        GroupDescriptor(names, wide, 2).chopped(1), wide)
                        .isEmpty());
        EXPECT_TRUE(TClipboardFiles::ParseFileGroupDescriptor(QByteArray(3, '\1'), wide).isEmpty());
        // A count near 2^32 must not overflow the size check.
        EXPECT_TRUE(TClipboardFiles::ParseFileGroupDescriptor(
                        GroupDescriptor(names, wide, 0xFFFFFFFF), wide)
                        .isEmpty());
    }
    // Names that would leave the drop folder.
    for (const char* bad : {"..\\evil", "a\\..\\..\\b", "C:\\x", "\\root", ""})
        EXPECT_TRUE(TClipboardFiles::ParseFileGroupDescriptor(
                        GroupDescriptor({QString::fromLatin1(bad)}, true, 1), true)
                        .isEmpty())
            << bad;
}

} // namespace
} // namespace kiv

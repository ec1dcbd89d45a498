#include "MemoryIcons.h"

#include "MemoryPlatform.h"

#include <gtest/gtest.h>

namespace kiv::pf::mem {
namespace {

TEST(MemoryIcons, IndexesFollowAFixedOrder)
{
    TMemoryPlatform platform;
    IIcons& icons = platform.Icons();
    TMemoryNode& folder = platform.Root().AddFolder(QStringLiteral("Docs"));
    TMemoryNode& file = folder.AddFile(QStringLiteral("Notes.TXT"));

    EXPECT_EQ(icons.StockIconIndex(TStockIcon::siFolder), 6);
    EXPECT_EQ(icons.OverlayIndex(TIconOverlay::ovShare), 19);
    // Extensions get the next indexes in the order they are first asked for, case folded.
    EXPECT_EQ(icons.IconIndexOfExtension(QStringLiteral("txt")), 20);
    EXPECT_EQ(icons.IconIndexOfExtension(QStringLiteral(".png")), 21);
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("C:\\test10.TXT"), false, true), 20);
    EXPECT_EQ(icons.IconIndexOfIdList(IdSpan(platform.ListOf(file)), false), 20);
    EXPECT_EQ(icons.IconIndexOfIdList(IdSpan(platform.ListOf(folder)), true),
              icons.StockIconIndex(TStockIcon::siFolderOpen));
    EXPECT_EQ(icons.IconIndexOfIdList(IdSpan(idl::Empty()), false),
              icons.StockIconIndex(TStockIcon::siDesktop));
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("Docs/Notes.TXT"), false, false), 20);
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("Docs/Missing.txt"), false, false), -1);
    EXPECT_EQ(icons.Count(), 22);

    platform.MemoryIcons().SetExtensionIndex(QStringLiteral("doc"), 30);
    EXPECT_EQ(icons.IconIndexOfExtension(QStringLiteral("DOC")), 30);
    EXPECT_EQ(icons.Count(), 31);
}

TEST(MemoryIcons, TypeNamesPicturesAndFailures)
{
    TMemoryPlatform platform;
    IIcons& icons = platform.Icons();
    platform.MemoryIcons().SetTypeName(QStringLiteral(".txt"), QStringLiteral("Text Document"));
    QString name;
    EXPECT_TRUE(icons.TypeNameOf(QStringLiteral("C:\\test.TXT"), name));
    EXPECT_EQ(name, QStringLiteral("Text Document"));
    EXPECT_TRUE(icons.TypeNameOf(QStringLiteral("C:\\test.xyz"), name));
    EXPECT_EQ(name, QStringLiteral("XYZ File"));
    EXPECT_TRUE(icons.TypeNameOf(QStringLiteral("C:\\test"), name));
    EXPECT_EQ(name, QStringLiteral("File"));
    EXPECT_EQ(platform.MemoryIcons().TypeNameCalls(), 3);

    const int txt = icons.IconIndexOfExtension(QStringLiteral("txt"));
    for (const int pixels : {16, 48, 37}) {
        const QImage image = icons.Render(txt, pixels);
        ASSERT_EQ(image.size(), QSize(pixels, pixels));
        EXPECT_EQ(image.pixel(0, 0), TMemoryIcons::ColourOf(txt).rgba());
    }
    EXPECT_TRUE(icons.Render(icons.Count(), 16).isNull());

    platform.MemoryIcons().SetFailing(true);
    EXPECT_EQ(icons.IconIndexOfExtension(QStringLiteral("txt")), -1);
    EXPECT_EQ(icons.StockIconIndex(TStockIcon::siFolder), -1);
    EXPECT_FALSE(icons.TypeNameOf(QStringLiteral("C:\\test.txt"), name));
    EXPECT_TRUE(name.isEmpty());
    EXPECT_TRUE(icons.Render(txt, 16).isNull());
}

} // namespace
} // namespace kiv::pf::mem

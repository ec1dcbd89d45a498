#include "LinuxIcons.h"

#include "IconTheme.h"
#include "LinuxItems.h"
#include "LinuxNamespace.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/KnownFolderIds.h"

#include <QColor>
#include <QImage>

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace kiv::pf::lnx {
namespace {

// A theme of plain-coloured PNGs, so a test can tell which file a picture came from:
//   child (inherits base): 16x16/places/folder red, 48x48/places/folder green,
//                          48x48/places/folder-open blue, 32x32/mimetypes/image-png yellow
//   base:                  16x16/mimetypes/image-png magenta (hidden by the child),
//                          256x256/mimetypes/text-x-generic cyan,
//                          16x16/mimetypes/text-x-script grey
class IconThemeFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.IsValid());
        fDir.CreateFile(QStringLiteral("icons/child/index.theme"),
                        "[Icon Theme]\nName=Child\nInherits=base\n"
                        "Directories=16x16/places,48x48/places,32x32/mimetypes,\n\n"
                        "[16x16/places]\nSize=16\nType=Fixed\n\n"
                        "[48x48/places]\nSize=48\nType=Fixed\n\n"
                        "[32x32/mimetypes]\nSize=32\nType=Threshold\n");
        fDir.CreateFile(QStringLiteral("icons/base/index.theme"),
                        "[Icon Theme]\nName=Base\n"
                        "Directories=16x16/mimetypes,256x256/mimetypes\n\n"
                        "[16x16/mimetypes]\nSize=16\nType=Fixed\n\n"
                        "[256x256/mimetypes]\nSize=256\nType=Fixed\n");
        Png("child/16x16/places/folder.png", 16, Qt::red);
        Png("child/48x48/places/folder.png", 48, Qt::green);
        Png("child/48x48/places/folder-open.png", 48, Qt::blue);
        Png("child/32x32/mimetypes/image-png.png", 32, Qt::yellow);
        Png("base/16x16/mimetypes/image-png.png", 16, Qt::magenta);
        Png("base/256x256/mimetypes/text-x-generic.png", 256, Qt::cyan);
        Png("base/16x16/mimetypes/text-x-script.png", 16, Qt::gray);
        fTheme = TIconTheme::Load(QStringLiteral("child"), {fDir.Join(QStringLiteral("icons"))});
    }

    void Png(const QString& pRelative, int pSize, Qt::GlobalColor pColour)
    {
        QImage image(pSize, pSize, QImage::Format_ARGB32);
        image.fill(pColour);
        const QString path = fDir.CreateFile(QStringLiteral("icons/") + pRelative);
        ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
    }

    QString Icon(const QString& pRelative) const
    {
        return fDir.Join(QStringLiteral("icons/") + pRelative);
    }

    static QColor Centre(const QImage& pImage)
    {
        return pImage.pixelColor(pImage.width() / 2, pImage.height() / 2);
    }

    test::TestDir fDir;
    std::shared_ptr<const TIconTheme> fTheme;
};

TEST_F(IconThemeFixture, FindsTheBestSizedFileAlongTheInheritanceChain)
{
    EXPECT_EQ(fTheme->Chain(), QStringList({QStringLiteral("child"), QStringLiteral("base")}));
    struct TCase
    {
        const char* Name;
        int Pixels;
        const char* Expected; // relative to icons/, empty: not found
    };
    const TCase cases[] = {
        {"folder", 16, "child/16x16/places/folder.png"},
        {"folder", 48, "child/48x48/places/folder.png"},
        // No exact size: the smallest larger source, else the largest.
        {"folder", 32, "child/48x48/places/folder.png"},
        {"folder", 100, "child/48x48/places/folder.png"},
        // The first theme that has the name decides, even at a size only the parent has.
        {"image-png", 16, "child/32x32/mimetypes/image-png.png"},
        {"text-x-generic", 16, "base/256x256/mimetypes/text-x-generic.png"},
        {"no-such-icon", 16, ""},
    };
    for (const TCase& c : cases) {
        const QString expected = *c.Expected ? Icon(QString::fromUtf8(c.Expected)) : QString();
        EXPECT_EQ(fTheme->Find(QString::fromUtf8(c.Name), c.Pixels), expected)
            << c.Name << " at " << c.Pixels;
    }
    EXPECT_TRUE(fTheme->Has(QStringLiteral("text-x-generic")));
    EXPECT_FALSE(fTheme->Has(QStringLiteral("no-such-icon")));
}

TEST_F(IconThemeFixture, AnAssociatedIconIsKeptInOurStoreAndShown)
{
    test::TScopedEnvironment env;
    env.Set("XDG_CONFIG_HOME", fDir.Join(QStringLiteral("config")).toUtf8());
    fDir.CreateFile(QStringLiteral("config/tovaline/icons.ini"), "[Other]\nkeep=1\n");
    Png("own/orange.png", 64, Qt::darkYellow);
    TIconRegistry registry(fTheme);
    TLinuxIcons icons(registry);
    const int before = icons.IconIndexOfExtension(QStringLiteral("zzq"));

    ASSERT_EQ(
        icons.SetExtensionIcon(QStringLiteral("ZZQ"), Icon(QStringLiteral("own/orange.png")), -1),
        S_OK);
    icons.Reinitialize();
    const int after = icons.IconIndexOfExtension(QStringLiteral(".zzq"));
    EXPECT_NE(after, before);
    EXPECT_EQ(Centre(icons.Render(after, 32)), QColor(Qt::darkYellow));
    // A second association replaces the first; other sections of the store stay.
    ASSERT_EQ(icons.SetExtensionIcon(QStringLiteral(".zzq"), QStringLiteral("/no/such.ico"), 2),
              S_OK);
    const QByteArray store = fDir.ReadFile(QStringLiteral("config/tovaline/icons.ini"));
    EXPECT_EQ(store, QByteArray("[Other]\nkeep=1\n[IconOverrides]\n.zzq=/no/such.ico,2\n"));
    // An icon file that cannot be read is drawn as a plain file, never as nothing.
    icons.Reinitialize();
    EXPECT_FALSE(icons.Render(icons.IconIndexOfExtension(QStringLiteral("zzq")), 16).isNull());
    EXPECT_EQ(icons.SetExtensionIcon(QStringLiteral("."), QStringLiteral("/x.png"), -1),
              E_INVALIDARG);
}

TEST_F(IconThemeFixture, IndexesAreStableAcrossSizesAndWaysOfAsking)
{
    TIconRegistry registry(fTheme);
    TLinuxIcons icons(registry);
    const int png = icons.IconIndexOfExtension(QStringLiteral("png"));
    ASSERT_GE(png, 0);
    EXPECT_EQ(icons.IconIndexOfExtension(QStringLiteral(".png")), png);
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("C:\\test10.PNG"), false, true), png);
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("/nowhere/photo.png"), true, true), png);
    EXPECT_EQ(registry.NameOf(png), QStringLiteral("image-png"));

    const int folder = icons.StockIconIndex(TStockIcon::siFolder);
    const int open = icons.StockIconIndex(TStockIcon::siFolderOpen);
    EXPECT_NE(folder, open);
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("/nowhere/dir/"), false, true), folder);
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("/nowhere/dir/"), true, true), open);

    // Another service over the same registry hands out the same indexes.
    TLinuxIcons other(registry);
    EXPECT_EQ(other.IconIndexOfExtension(QStringLiteral("PNG")), png);
    EXPECT_EQ(other.StockIconIndex(TStockIcon::siFolderOpen), open);

    // An index is one picture at every size: the file chosen per size, scaled to fit.
    for (const int pixels : {16, 32, 48, 256, 37}) {
        const QImage image = icons.Render(folder, pixels);
        ASSERT_EQ(image.size(), QSize(pixels, pixels)) << pixels;
        EXPECT_EQ(Centre(image), pixels == 16 ? QColor(Qt::red) : QColor(Qt::green)) << pixels;
        EXPECT_EQ(Centre(icons.Render(png, pixels)), QColor(Qt::yellow)) << pixels;
    }
}

TEST_F(IconThemeFixture, UnknownTypesAndMissingIconsStillGetAPicture)
{
    TIconRegistry registry(fTheme);
    TLinuxIcons icons(registry);
    const int unknown = icons.StockIconIndex(TStockIcon::siUnknownFile);
    EXPECT_EQ(icons.IconIndexOfExtension(QStringLiteral("zzqx")), unknown);
    EXPECT_EQ(icons.IconIndexOfPath(QStringLiteral("/a/b.zzqx"), false, true), unknown);
    // Neither application-octet-stream nor application-x-generic is in the theme: the unknown
    // file takes the generic document, as does plain text (text-plain is missing too).
    EXPECT_EQ(registry.NameOf(unknown), QStringLiteral("text-x-generic"));
    EXPECT_EQ(icons.IconIndexOfExtension(QStringLiteral("txt")), unknown);

    // Icons the theme lacks entirely are drawn, distinct from each other.
    const int computer = icons.StockIconIndex(TStockIcon::siComputer);
    const int trash = icons.StockIconIndex(TStockIcon::siTrashEmpty);
    EXPECT_NE(computer, trash);
    for (const int index : {computer, trash, icons.OverlayIndex(TIconOverlay::ovLink)}) {
        const QImage image = icons.Render(index, 48);
        ASSERT_EQ(image.size(), QSize(48, 48));
        EXPECT_NE(image, DrawBuiltinIcon(TBuiltinIcon::biFile, 48)) << index;
        QImage blank(48, 48, image.format());
        blank.fill(Qt::transparent);
        EXPECT_NE(image, blank) << index;
    }

    EXPECT_TRUE(icons.Render(icons.Count(), 16).isNull());
    EXPECT_TRUE(icons.Render(-1, 16).isNull());
    EXPECT_TRUE(icons.Render(computer, 8).isNull());
}

TEST_F(IconThemeFixture, WarmLookupsDoNotAskTheMimeDatabaseAgain)
{
    TIconRegistry registry(fTheme);
    TLinuxIcons icons(registry);
    const QStringList names = {QStringLiteral("a.png"), QStringLiteral("b.txt"),
                               QStringLiteral("c.tar.gz"), QStringLiteral("Makefile"),
                               QStringLiteral("d.zzqx")};
    for (const QString& name : names)
        icons.IconIndexOfPath(name, false, true);
    const std::uint64_t cold = icons.MimeQueries();
    EXPECT_EQ(cold, static_cast<std::uint64_t>(names.size()));
    for (const QString& name : names) {
        icons.IconIndexOfPath(QStringLiteral("/elsewhere/other ") + name, false, true);
        QString type;
        icons.TypeNameOf(name, type);
    }
    EXPECT_EQ(icons.MimeQueries(), cold + 1) << "only \"other Makefile\" is a new name";

    icons.Reinitialize();
    icons.IconIndexOfPath(names[0], false, true);
    EXPECT_EQ(icons.MimeQueries(), cold + 2);
}

TEST_F(IconThemeFixture, TypeNamesComeFromTheMimeComments)
{
    TIconRegistry registry(fTheme);
    TLinuxIcons icons(registry);
    struct TCase
    {
        const char* FakePath;
        const char* Expected;
    };
    const TCase cases[] = {
        {"/x/test.png", "PNG image"},
        {"C:\\TEST.PNG", "PNG image"},
        {"/x/test.txt", "Plain text document"},
        {"/x/test.tar.gz", "Tar archive (gzip-compressed)"},
        {"/x/test.gz", "Gzip archive"},
        {"/x/test.zzqx", "ZZQX File"},
        {"/x/test", "File"},
        {"/x/dir/", "Folder"},
    };
    for (const TCase& c : cases) {
        QString name;
        EXPECT_TRUE(icons.TypeNameOf(QString::fromUtf8(c.FakePath), name)) << c.FakePath;
        EXPECT_EQ(name, QString::fromUtf8(c.Expected)) << c.FakePath;
    }
    // An extension that is not UTF-8 is shown, not passed on as escapes.
    QString name;
    EXPECT_TRUE(icons.TypeNameOf(DecodeFileName("/x/test.a\xff"), name));
    EXPECT_EQ(name, QStringLiteral("A\uFFFD File"));
    EXPECT_FALSE(icons.TypeNameOf(QString(), name));
    EXPECT_TRUE(name.isEmpty());
}

TEST_F(IconThemeFixture, LookupsFromManyThreadsAgree)
{
    TIconRegistry registry(fTheme);
    TLinuxIcons icons(registry);
    constexpr int kThreads = 4;
    constexpr int kTypes = 50;
    std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kTypes, -2));
    std::vector<std::jthread> threads;
    const QStringList extensions = {QStringLiteral("png"),    QStringLiteral("txt"),
                                    QStringLiteral("tar.gz"), QStringLiteral("cpp"),
                                    QStringLiteral("pdf"),    QStringLiteral("mp3"),
                                    QStringLiteral("zzqx"),   QStringLiteral("html"),
                                    QStringLiteral("odt"),    QStringLiteral("jpg")};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                for (int i = 0; i < kTypes; ++i) {
                    const QString ext = extensions[i % extensions.size()] +
                                        (i < extensions.size() ? QString() : QString::number(i));
                    const int index = icons.IconIndexOfPath(
                        QStringLiteral("/t/f%1.%2").arg(round).arg(ext), round % 2, true);
                    if (seen[t][i] != -2 && seen[t][i] != index)
                        seen[t][i] = -3; // changed between rounds
                    else
                        seen[t][i] = index;
                    QString type;
                    icons.TypeNameOf(ext, type);
                    icons.Render(index, 16 + (i % 3) * 16);
                }
                icons.StockIconIndex(static_cast<TStockIcon>(round % 18));
            }
        });
    }
    threads.clear();
    for (int t = 1; t < kThreads; ++t)
        EXPECT_EQ(seen[t], seen[0]) << t;
    for (int i = 0; i < kTypes; ++i)
        EXPECT_GE(seen[0][i], 0) << i;
}

// ---------------------------------------------------------------------------------------------

// Items of the namespace, with HOME and the XDG folders in a temporary folder.
class LinuxIconsItems : public IconThemeFixture
{
protected:
    void SetUp() override
    {
        IconThemeFixture::SetUp();
        fHome = fDir.CreateFolder(QStringLiteral("home"));
        SetEnv("HOME", fHome);
        SetEnv("XDG_CONFIG_HOME", fHome + QStringLiteral("/.config"));
        SetEnv("XDG_DATA_HOME", fHome + QStringLiteral("/.local/share"));
        fDir.CreateFile(QStringLiteral("home/.config/user-dirs.dirs"),
                        "XDG_DOCUMENTS_DIR=\"$HOME/My Docs\"\nXDG_MUSIC_DIR=\"$HOME/Music\"\n");
        fDir.CreateFolder(QStringLiteral("home/My Docs"));
        fDir.CreateFolder(QStringLiteral("home/.local/share/Trash/files"));
        fRegistry = std::make_unique<TIconRegistry>(fTheme);
        fIcons = std::make_unique<TLinuxIcons>(*fRegistry);
    }

    void SetEnv(const char* pName, const QString& pValue)
    {
        fEnvironment.Set(pName, QByteArray::fromStdString(EncodeFileName(pValue)));
    }

    // The canonical list of a path, made without touching the disk.
    static IdListBytes SimpleList(const QString& pPath, bool pFolder)
    {
        IdListBytes list;
        EXPECT_EQ(ParseAbsolutePath(EncodeFileName(pPath), list, true, pFolder), S_OK);
        return list;
    }

    int Stock(TStockIcon pIcon) { return fIcons->StockIconIndex(pIcon); }

    QString fHome;
    kiv::test::TScopedEnvironment fEnvironment;
    std::unique_ptr<TIconRegistry> fRegistry;
    std::unique_ptr<TLinuxIcons> fIcons;
};

TEST_F(LinuxIconsItems, ItemsGetTheIconsOfTheirKind)
{
    const IdListBytes thisPc = ThisPcList();
    const auto mount = [&](std::uint8_t pFlags) {
        return idl::Append(IdSpan(thisPc), MakeMountItem("/mnt/x", pFlags));
    };
    const auto userFolder = [&](const Guid& pId) {
        return idl::Append(IdSpan(thisPc), MakeClassItem(pId, 1));
    };
    struct TCase
    {
        const char* What;
        IdListBytes List;
        bool Open;
        int Expected;
    };
    const TCase cases[] = {
        {"desktop", idl::Empty(), false, Stock(TStockIcon::siDesktop)},
        {"This PC", thisPc, false, Stock(TStockIcon::siComputer)},
        {"fixed drive", mount(0), false, Stock(TStockIcon::siDriveFixed)},
        {"removable", mount(mountflag::Removable), false, Stock(TStockIcon::siDriveRemovable)},
        {"remote", mount(mountflag::Remote), false, Stock(TStockIcon::siDriveRemote)},
        {"optical", mount(mountflag::Optical | mountflag::Removable), false,
         Stock(TStockIcon::siDriveOptical)},
        {"Documents item", userFolder(clsid::DocumentsFolder), false,
         Stock(TStockIcon::siDocuments)},
        {"Documents by path", SimpleList(fHome + QStringLiteral("/My Docs"), true), false,
         Stock(TStockIcon::siDocuments)},
        {"Music by path, open", SimpleList(fHome + QStringLiteral("/Music"), true), true,
         Stock(TStockIcon::siMusic)},
        {"plain folder", SimpleList(fHome + QStringLiteral("/Other"), true), false,
         Stock(TStockIcon::siFolder)},
        {"plain folder, open", SimpleList(fHome + QStringLiteral("/Other"), true), true,
         Stock(TStockIcon::siFolderOpen)},
        {"file", SimpleList(fHome + QStringLiteral("/a.png"), false), false,
         fIcons->IconIndexOfExtension(QStringLiteral("png"))},
        {"file, open asked", SimpleList(fHome + QStringLiteral("/a.png"), false), true,
         fIcons->IconIndexOfExtension(QStringLiteral("png"))},
        {"network", idl::FromItem(MakeClassItem(clsid::Network, 1)), false,
         Stock(TStockIcon::siNetwork)},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(fIcons->IconIndexOfIdList(IdSpan(c.List), c.Open), c.Expected) << c.What;

    const std::uint8_t foreign[] = {5, 0, 0x7E, 1, 2, 0, 0};
    EXPECT_EQ(fIcons->IconIndexOfIdList(*IdSpan::FromUntrusted(foreign, sizeof foreign), false),
              -1);
}

TEST_F(LinuxIconsItems, RealPathsAreLookedAt)
{
    const QString program = fDir.CreateFile(QStringLiteral("home/tool"), "\x7f"
                                                                         "ELF");
    ASSERT_EQ(::chmod(EncodeFileName(program).c_str(), 0755), 0);
    const QString script = fDir.CreateFile(QStringLiteral("home/run"), "#!/bin/sh\necho\n");
    const QString data = fDir.CreateFile(QStringLiteral("home/blob"), QByteArray(64, '\1'));

    const int unknown = Stock(TStockIcon::siUnknownFile);
    EXPECT_EQ(fIcons->IconIndexOfPath(fHome + QStringLiteral("/My Docs"), false, false),
              Stock(TStockIcon::siDocuments));
    EXPECT_EQ(fIcons->IconIndexOfPath(fHome + QStringLiteral("/missing.png"), false, false), -1);
    EXPECT_EQ(fIcons->IconIndexOfPath(data, false, false), unknown);
    // Named like nothing, recognised as a program by its mode and as a script by its content.
    EXPECT_NE(fIcons->IconIndexOfPath(program, false, false), unknown);
    EXPECT_EQ(fRegistry->NameOf(fIcons->IconIndexOfPath(program, false, false)),
              QStringLiteral("builtin:application-x-executable"));
    EXPECT_NE(fIcons->IconIndexOfPath(script, false, false), unknown);

    // The executable bit travels in the item's snapshot: no disk access for the list.
    IdListBytes list;
    ASSERT_EQ(ParseAbsolutePath(EncodeFileName(program), list), S_OK);
    EXPECT_EQ(fIcons->IconIndexOfIdList(IdSpan(list), false),
              fIcons->IconIndexOfPath(program, false, false));
}

TEST_F(LinuxIconsItems, TrashShowsWhetherItHoldsSomething)
{
    const IdListBytes trash = idl::FromItem(MakeClassItem(clsid::Trash, 1));
    EXPECT_EQ(fIcons->IconIndexOfIdList(IdSpan(trash), false), Stock(TStockIcon::siTrashEmpty));
    fDir.CreateFile(QStringLiteral("home/.local/share/Trash/files/old.txt"));
    fIcons->Reinitialize();
    EXPECT_EQ(fIcons->IconIndexOfIdList(IdSpan(trash), false), Stock(TStockIcon::siTrashFull));
    EXPECT_NE(Stock(TStockIcon::siTrashFull), Stock(TStockIcon::siTrashEmpty));
}

TEST_F(LinuxIconsItems, TypeNamesOfItems)
{
    struct TCase
    {
        const char* What;
        IdListBytes List;
        const char* Expected;
    };
    const TCase cases[] = {
        {"folder", SimpleList(fHome + QStringLiteral("/Other"), true), "Folder"},
        {"file", SimpleList(fHome + QStringLiteral("/a.png"), false), "PNG image"},
        {"unknown", SimpleList(fHome + QStringLiteral("/a.zzqx"), false), "ZZQX File"},
        {"drive", idl::Append(IdSpan(ThisPcList()), MakeMountItem("/mnt/x", 0)), "Local Disk"},
        {"This PC", ThisPcList(), "System Folder"},
    };
    for (const TCase& c : cases) {
        QString name;
        EXPECT_TRUE(fIcons->TypeNameOfIdList(IdSpan(c.List), name)) << c.What;
        EXPECT_EQ(name, QString::fromUtf8(c.Expected)) << c.What;
    }
}

// The installed theme (a dependency of the project): every stock icon comes from it.
TEST(LinuxIconsSystem, TheInstalledThemeServesTheStockIcons)
{
    TLinuxIcons icons;
    TIconRegistry& registry = TIconRegistry::System();
    for (int i = 0; i <= static_cast<int>(TStockIcon::siUnknownFile); ++i) {
        const int index = icons.StockIconIndex(static_cast<TStockIcon>(i));
        ASSERT_GE(index, 0) << i;
        EXPECT_FALSE(registry.NameOf(index).startsWith(QLatin1String("builtin:")))
            << i << " " << registry.NameOf(index).toStdString();
        for (const int pixels : {16, 32, 48, 256, 23}) {
            const QImage image = icons.Render(index, pixels);
            EXPECT_EQ(image.size(), QSize(pixels, pixels)) << i << " at " << pixels;
        }
    }
    EXPECT_NE(icons.StockIconIndex(TStockIcon::siFolder),
              icons.StockIconIndex(TStockIcon::siFolderOpen));
    EXPECT_NE(icons.StockIconIndex(TStockIcon::siFolder),
              icons.StockIconIndex(TStockIcon::siDocuments));
    // One table per process: another service sees the same indexes.
    TLinuxIcons other;
    EXPECT_EQ(other.IconIndexOfExtension(QStringLiteral("png")),
              icons.IconIndexOfExtension(QStringLiteral(".png")));
    EXPECT_NE(icons.IconIndexOfExtension(QStringLiteral("png")),
              icons.StockIconIndex(TStockIcon::siUnknownFile));
}

} // namespace
} // namespace kiv::pf::lnx

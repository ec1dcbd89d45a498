#include "core/shell/KivSystemImageList.h"

#include "TestDir.h"
#include "core/platform/IIcons.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/ScreenScale.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryIcons.h"
#include "platform/memory/MemoryPlatform.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace kiv {
namespace {

using S = TKivImageListSize;
constexpr S kAllSizes[] = {S::si_Large,    S::si_Small, S::si_ExtraLarge,
                           S::si_SysSmall, S::si_Jumbo, S::si_FreeScaled};

// Screen values back to the reference after each test.
class ScreenGuard
{
public:
    explicit ScreenGuard(int pPpi = 96) { TScreenScale::SetScreenPpi(pPpi); }
    ~ScreenGuard()
    {
        TScreenScale::SetScreenPpi(96);
        TScreenScale::SetActiveFormPpi(0);
    }
    ScreenGuard(const ScreenGuard&) = delete;
    ScreenGuard& operator=(const ScreenGuard&) = delete;
};

// The in-memory platform: exact indexes and type names, call counts, failures.
class ImageListMemoryTest : public ::testing::Test
{
protected:
    ImageListMemoryTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
    {
        TSpecialFolders::Reset();
    }
    ~ImageListMemoryTest() override { TSpecialFolders::Reset(); }

    pf::mem::TMemoryIcons& Icons() { return fMemory->MemoryIcons(); }

    ScreenGuard fScreen;
    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
};

TEST_F(ImageListMemoryTest, AnExtensionHasOneIndexAtEverySizeAndFoldersOpenDiffer)
{
    pf::mem::TMemoryNode& folder = fMemory->Root().AddFolder(QStringLiteral("docs"));
    pf::mem::TMemoryNode& file = folder.AddFile(QStringLiteral("notes.txt"));
    const IItemIdListPtr folderList = TKivItemIdList::Create(fMemory->ListOf(folder));
    const IItemIdListPtr fileList = TKivItemIdList::Create(fMemory->ListOf(file));

    const int txt =
        TKivSystemImageList::GetIndexFromExtension(QStringLiteral("txt"), S::si_Small, false);
    ASSERT_GE(txt, 0);
    std::set<int> closedFolders;
    std::set<int> openFolders;
    for (const S size : kAllSizes) {
        SCOPED_TRACE(static_cast<int>(size));
        EXPECT_EQ(TKivSystemImageList::GetIndexFromExtension(QStringLiteral(".txt"), size, false),
                  txt);
        EXPECT_EQ(TKivSystemImageList::GetIndexFromExtension(QStringLiteral("txt"), size, true),
                  txt);
        EXPECT_EQ(TKivSystemImageList::GetIndexFromItemIdList(fileList, size, false), txt);
        EXPECT_EQ(
            TKivSystemImageList::GetIndexFromPathByExt(QStringLiteral("/a/b.txt"), size, false),
            txt);
        closedFolders.insert(TKivSystemImageList::GetIndexFromItemIdList(folderList, size, false));
        openFolders.insert(TKivSystemImageList::GetIndexFromItemIdList(folderList, size, true));
        closedFolders.insert(
            TKivSystemImageList::GetIndexFromPathByExt(QStringLiteral("/a/"), size, false));
        openFolders.insert(
            TKivSystemImageList::GetIndexFromPathByExt(QStringLiteral("/a/"), size, true));
    }
    ASSERT_EQ(closedFolders.size(), 1u);
    ASSERT_EQ(openFolders.size(), 1u);
    EXPECT_NE(*closedFolders.begin(), *openFolders.begin());
    EXPECT_GE(*closedFolders.begin(), 0);
    EXPECT_GE(*openFolders.begin(), 0);
    // Asked the other way round, the folder numbers keep their states apart.
    EXPECT_EQ(TKivSystemImageList::GetFolderIconNumber(true), *openFolders.begin());
    EXPECT_EQ(TKivSystemImageList::GetFolderIconNumber(false), *closedFolders.begin());
    EXPECT_NE(TKivSystemImageList::GetIndexFromExtension(QStringLiteral("png"), S::si_Small, false),
              txt);
}

// Look-ups of the extension cache: which ones share an entry (one platform call between them).
struct TKeyCase
{
    const char* Name;
    const char* FirstExtension;
    S FirstSize;
    bool FirstOpened;
    const char* SecondExtension;
    S SecondSize;
    bool SecondOpened;
    bool SharesEntry;
};

void PrintTo(const TKeyCase& pCase, std::ostream* pOut)
{
    *pOut << pCase.Name;
}

class ImageListKeyTest
    : public ImageListMemoryTest
    , public ::testing::WithParamInterface<TKeyCase>
{
};

TEST_P(ImageListKeyTest, SharesACacheEntryOnlyForTheSameKey)
{
    const TKeyCase& c = GetParam();
    const int before = Icons().IndexCalls();
    const int first = TKivSystemImageList::GetIndexFromExtension(
        QString::fromLatin1(c.FirstExtension), c.FirstSize, c.FirstOpened);
    const int second = TKivSystemImageList::GetIndexFromExtension(
        QString::fromLatin1(c.SecondExtension), c.SecondSize, c.SecondOpened);
    EXPECT_EQ(Icons().IndexCalls() - before, c.SharesEntry ? 1 : 2);
    EXPECT_GE(first, 0);
    if (c.SharesEntry) {
        EXPECT_EQ(first, second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ImageListKeyTest,
    ::testing::Values(
        TKeyCase{"DotOrNot", "txt", S::si_Small, false, ".txt", S::si_Small, false, true},
        TKeyCase{"Again", ".png", S::si_Jumbo, true, ".png", S::si_Jumbo, true, true},
        TKeyCase{"OtherSize", "txt", S::si_Small, false, "txt", S::si_Large, false, false},
        TKeyCase{"SmallAndSysSmall", "txt", S::si_Small, false, "txt", S::si_SysSmall, false,
                 false},
        TKeyCase{"OtherState", "txt", S::si_Small, false, "txt", S::si_Small, true, false},
        TKeyCase{"LetterCaseKept", "txt", S::si_Small, false, "TXT", S::si_Small, false, false},
        TKeyCase{"EmptyIsNoExtension", "", S::si_Small, false, "", S::si_Small, false, true}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(ImageListMemoryTest, AFailedLookupIsCachedLikeAnyOther)
{
    Icons().SetFailing(true);
    EXPECT_EQ(TKivSystemImageList::GetIndexFromExtension(QStringLiteral("txt"), S::si_Small, false),
              -1);
    Icons().SetFailing(false);
    EXPECT_EQ(
        TKivSystemImageList::GetIndexFromExtension(QStringLiteral(".txt"), S::si_Small, false), -1);
    // A platform installed afterwards starts from an empty cache.
    pf::TScopedPlatform fresh(std::make_unique<pf::mem::TMemoryPlatform>());
    EXPECT_GE(TKivSystemImageList::GetIndexFromExtension(QStringLiteral("txt"), S::si_Small, false),
              0);
}

TEST_F(ImageListMemoryTest, NumberedNamesDoNotGrowTheCacheWithoutBound)
{
    for (int i = 0; i < 20000; ++i)
        TKivSystemImageList::GetIndexFromPathByExt(QStringLiteral("backup.%1").arg(i), S::si_Small,
                                                   false);
    const int before = Icons().IndexCalls();
    // Early names stay cached; names past the bound are answered but asked again each time.
    const int early =
        TKivSystemImageList::GetIndexFromPathByExt(QStringLiteral("backup.1"), S::si_Small, false);
    EXPECT_EQ(Icons().IndexCalls(), before);
    const int late = TKivSystemImageList::GetIndexFromPathByExt(QStringLiteral("backup.19999"),
                                                                S::si_Small, false);
    EXPECT_EQ(Icons().IndexCalls(), before + 1);
    EXPECT_GE(early, 0);
    EXPECT_GE(late, 0);
}

TEST_F(ImageListMemoryTest, TypeNamesShareOneEntryPerExtensionAndFailuresAreNotKept)
{
    Icons().SetTypeName(QStringLiteral("txt"), QStringLiteral(" \tText Document\r\n"));
    EXPECT_EQ(TKivSystemImageList::GetFileType(QStringLiteral("txt")),
              QStringLiteral("Text Document"));
    EXPECT_EQ(TKivSystemImageList::GetFileType(QStringLiteral(".txt")),
              QStringLiteral("Text Document"));
    EXPECT_EQ(TKivSystemImageList::GetFileType(QStringLiteral(".TXT")),
              QStringLiteral("Text Document"));
    EXPECT_EQ(Icons().TypeNameCalls(), 1);
    EXPECT_EQ(TKivSystemImageList::GetFileType(QString()), QStringLiteral("File"));

    Icons().SetTypeName(QStringLiteral("long"), QString(100, u'x'));
    EXPECT_EQ(TKivSystemImageList::GetFileType(QStringLiteral("long")), QString(80, u'x'));

    Icons().SetFailing(true);
    EXPECT_EQ(TKivSystemImageList::GetFileType(QStringLiteral("abc")), QString());
    Icons().SetFailing(false);
    EXPECT_EQ(TKivSystemImageList::GetFileType(QStringLiteral("abc")), QStringLiteral("ABC File"));
}

struct TPixelsCase
{
    int Ppi;
    int Pixels;
    S Expected;
};

class ImageListPixelsTest : public ::testing::TestWithParam<TPixelsCase>
{
};

TEST_P(ImageListPixelsTest, PicksTheSmallestListThatServesTheSize)
{
    const ScreenGuard screen(GetParam().Ppi);
    EXPECT_EQ(TKivSystemImageList::PixelsToSize(GetParam().Pixels), GetParam().Expected)
        << GetParam().Ppi << " dpi, " << GetParam().Pixels << " px";
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ImageListPixelsTest,
    ::testing::Values(TPixelsCase{96, 0, S::si_SysSmall}, TPixelsCase{96, 16, S::si_SysSmall},
                      TPixelsCase{96, 17, S::si_Large}, TPixelsCase{96, 32, S::si_Large},
                      TPixelsCase{96, 33, S::si_ExtraLarge}, TPixelsCase{96, 48, S::si_ExtraLarge},
                      TPixelsCase{96, 100, S::si_ExtraLarge},
                      TPixelsCase{96, 255, S::si_ExtraLarge}, TPixelsCase{96, 256, S::si_Jumbo},
                      TPixelsCase{96, 400, S::si_Jumbo}, TPixelsCase{144, 24, S::si_SysSmall},
                      TPixelsCase{144, 25, S::si_Large}, TPixelsCase{144, 49, S::si_ExtraLarge},
                      TPixelsCase{144, 383, S::si_ExtraLarge}, TPixelsCase{144, 384, S::si_Jumbo}));

TEST(ImageListScaledTest, AFreeScaledListIsRefusedWithItsMessage)
{
    try {
        const std::unique_ptr<TKivSystemImageList> list(
            TKivSystemImageList::CreateScaled(S::si_FreeScaled, 96));
        FAIL() << "no exception";
    } catch (const EInvalidArgument& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Use different constructor to create a freescaled imageList."));
    }
}

struct TScaledCase
{
    const char* Name;
    S Size;
    int DestPpi;
    int ScreenPpi;
    int Pixels;
    S ListSize;
};

void PrintTo(const TScaledCase& pCase, std::ostream* pOut)
{
    *pOut << pCase.Name;
}

class ImageListCreateScaledTest
    : public ImageListMemoryTest
    , public ::testing::WithParamInterface<TScaledCase>
{
};

TEST_P(ImageListCreateScaledTest, SizesTheListForTheResolution)
{
    const TScaledCase& c = GetParam();
    TScreenScale::SetScreenPpi(c.ScreenPpi);
    QObject owner;
    TKivSystemImageList* list = TKivSystemImageList::CreateScaled(c.Size, c.DestPpi, &owner);
    EXPECT_EQ(list->parent(), &owner);
    EXPECT_EQ(list->GetSize(), QSize(c.Pixels, c.Pixels));
    EXPECT_EQ(list->Width(), c.Pixels);
    EXPECT_EQ(list->Size(), c.ListSize);
    EXPECT_TRUE(list->Scaled());
    EXPECT_TRUE(list->ShareImages());
    EXPECT_FALSE(list->BkColor().isValid());
    EXPECT_EQ(list->GetImage(0).size(), QSize(c.Pixels, c.Pixels));
}

INSTANTIATE_TEST_SUITE_P(
    Resolutions, ImageListCreateScaledTest,
    ::testing::Values(
        TScaledCase{"SmallOnTheScreen", S::si_Small, 96, 96, 16, S::si_Small},
        TScaledCase{"SmallOnAFinerMonitor", S::si_Small, 144, 96, 24, S::si_Large},
        TScaledCase{"SmallOnACoarserMonitor", S::si_Small, 96, 144, 16, S::si_SysSmall},
        TScaledCase{"LargeAlwaysResized", S::si_Large, 96, 96, 32, S::si_FreeScaled},
        TScaledCase{"ExtraLargeAt200Percent", S::si_ExtraLarge, 192, 96, 96, S::si_FreeScaled},
        TScaledCase{"JumboOnTheScreen", S::si_Jumbo, 96, 96, 256, S::si_Jumbo}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(ImageListMemoryTest, ScaleAndChangeScalePickTheListAndSignal)
{
    TKivSystemImageList list(S::si_Small, nullptr);
    int changes = 0;
    list.OnChange = [&](TKivImageList&) { ++changes; };
    EXPECT_EQ(list.GetSize(), QSize(16, 16));

    list.Scale(48);
    EXPECT_EQ(list.Size(), S::si_ExtraLarge);
    EXPECT_EQ(list.GetSize(), QSize(48, 48));
    list.Scale(100); // served by the extra-large list, enlarged
    EXPECT_EQ(list.Size(), S::si_ExtraLarge);
    EXPECT_EQ(list.Width(), 100);
    list.Scale(100); // nothing to do
    EXPECT_EQ(changes, 2);

    // From 96 to 144 dpi: 48 at 96 becomes 72, the kind of list kept.
    list.ChangeScale(144, 96);
    EXPECT_EQ(list.Size(), S::si_ExtraLarge);
    EXPECT_EQ(list.Width(), 72);
    list.ChangeScale(96, 96);
    EXPECT_EQ(changes, 3);

    // A free-scaled list stays free-scaled whatever size it is scaled to.
    TKivSystemImageList free(20, nullptr, S::si_FreeScaled);
    EXPECT_EQ(free.Width(), 20);
    free.Scale(32);
    EXPECT_EQ(free.Size(), S::si_FreeScaled);
    EXPECT_EQ(free.Width(), 32);
    free.ChangeScale(192, 96);
    EXPECT_EQ(free.Width(), 64);
    // Resizing one list never resizes another's.
    EXPECT_EQ(list.Width(), 72);
    EXPECT_EQ(TKivSystemImageList::GetInstance(S::si_ExtraLarge)->Width(), 48);
}

TEST_F(ImageListMemoryTest, SharedInstancesPerSizeAndPixelSize)
{
    TKivSystemImageList* small = TKivSystemImageList::GetInstance(16);
    EXPECT_EQ(small->Width(), 16);
    EXPECT_EQ(TKivSystemImageList::GetInstance(17), small);
    EXPECT_EQ(TKivSystemImageList::GetInstance(19), small);
    EXPECT_EQ(TKivSystemImageList::GetInstance(8), small);
    EXPECT_EQ(TKivSystemImageList::GetInstance(S::si_FreeScaled), small);
    TKivSystemImageList* twenty = TKivSystemImageList::GetInstance(20);
    EXPECT_NE(twenty, small);
    EXPECT_EQ(twenty->Width(), 20);
    EXPECT_EQ(TKivSystemImageList::GetInstance(400)->Width(), 256);
    EXPECT_EQ(TKivSystemImageList::GetInstance(400), TKivSystemImageList::GetInstance(256));
    EXPECT_EQ(TKivSystemImageList::GetInstance(S::si_Large)->Width(), 32);
    EXPECT_EQ(TKivSystemImageList::GetInstance(S::si_Large)->Size(), S::si_Large);

    // Two workers asking first for the jumbo list get the same one and can draw from it.
    std::vector<TKivSystemImageList*> seen(2);
    std::vector<QImage> drawn(2);
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 0; i < seen.size(); ++i)
            workers.emplace_back([&, i] {
                seen[i] = TKivSystemImageList::GetInstance(S::si_Jumbo);
                drawn[i] = TKivSystemImageList::GetAsBitmap(*seen[i], 0, -1, -1, QColor(), QColor(),
                                                            false);
            });
    }
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(drawn[0].size(), QSize(256, 256));
}

struct TPathFormCase
{
    const char* Path;
    TPathStyle Style;
    bool Folder; // else the icon of .txt
};

class ImageListPathFormTest
    : public ImageListMemoryTest
    , public ::testing::WithParamInterface<TPathFormCase>
{
};

TEST_P(ImageListPathFormTest, FoldersByFormFilesByExtension)
{
    const TPathFormCase& c = GetParam();
    const int expected =
        c.Folder
            ? TKivSystemImageList::GetFolderIconNumber(false)
            : TKivSystemImageList::GetIndexFromExtension(QStringLiteral("txt"), S::si_Small, false);
    EXPECT_EQ(TKivSystemImageList::GetIndexFromPathByExt(QString::fromUtf8(c.Path), S::si_Small,
                                                         false, c.Style),
              expected)
        << c.Path;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ImageListPathFormTest,
    ::testing::Values(TPathFormCase{R"(\\server\share)", TPathStyle::psWindows, true},
                      TPathFormCase{R"(\\server\share\a.txt)", TPathStyle::psWindows, false},
                      TPathFormCase{R"(C:\dir.txt\)", TPathStyle::psWindows, true},
                      TPathFormCase{R"(C:\dir\a.txt)", TPathStyle::psWindows, false},
                      TPathFormCase{"//server/share", TPathStyle::psPosix, true},
                      TPathFormCase{"//server/share/a.txt", TPathStyle::psPosix, false},
                      TPathFormCase{"/dir.txt/", TPathStyle::psPosix, true},
                      // A short absolute path is a file here, not a share.
                      TPathFormCase{"/usr/a.txt", TPathStyle::psPosix, false},
                      TPathFormCase{"a.txt", TPathStyle::psPosix, false}));

TEST_F(ImageListMemoryTest, GetAsBitmapCentresOrStretchesTheIconAndDrawsTheFrame)
{
    TKivSystemImageList list(16, nullptr, S::si_Small);
    const QRgb icon = pf::mem::TMemoryIcons::ColourOf(3).rgba();
    const QRgb background = qRgb(255, 255, 255);
    const QRgb red = qRgb(255, 0, 0);

    const QImage centred =
        TKivSystemImageList::GetAsBitmap(list, 3, 48, 48, QColor(), QColor(background), false);
    ASSERT_EQ(centred.size(), QSize(48, 48));
    EXPECT_EQ(centred.pixel(16, 16), icon);
    EXPECT_EQ(centred.pixel(31, 31), icon);
    EXPECT_EQ(centred.pixel(15, 15), background);
    EXPECT_EQ(centred.pixel(32, 32), background);

    const QImage framed =
        TKivSystemImageList::GetAsBitmap(list, 3, 48, 48, QColor(red), QColor(), true);
    EXPECT_EQ(framed.pixel(0, 0), icon);
    EXPECT_EQ(framed.pixel(1, 1), red);
    EXPECT_EQ(framed.pixel(46, 46), red);
    EXPECT_EQ(framed.pixel(47, 47), icon);
    EXPECT_EQ(framed.pixel(24, 24), icon);

    // Into a list of pictures of its own, at that list's size.
    TKivImageList own;
    own.SetSize(20, 20);
    EXPECT_EQ(TKivSystemImageList::CopySystemImageTo(own, 3), 0);
    EXPECT_EQ(own.GetImage(0).pixel(10, 10), icon);
}

TEST_F(ImageListMemoryTest, SpecialFolderIconsAndVersion)
{
    TKivSystemImageList list(S::si_Small, nullptr);
    EXPECT_EQ(list.GetSpecialFolderIcon(TKivShellFolder::SF_DESKTOP),
              static_cast<int>(pf::TStockIcon::siDesktop));
    EXPECT_TRUE(list.Version().startsWith(QStringLiteral("TKivSystemImageList ")));
    EXPECT_EQ(TKivSystemImageList::GetIndexFromItemIdList(nullptr, S::si_Small, false), -1);
}

// The Linux platform over real files, as a user's folders are.
class ImageListLinuxTest : public ::testing::Test
{
protected:
    ImageListLinuxTest()
        : fPlatform(pf::lnx::CreateLinuxPlatform())
    {
        TSpecialFolders::Reset();
    }
    ~ImageListLinuxTest() override { TSpecialFolders::Reset(); }

    test::TestDir fDir;
    pf::TScopedPlatform fPlatform;
};

TEST_F(ImageListLinuxTest, RealFilesGetTheIconsOfTheirExtensions)
{
    ASSERT_TRUE(fDir.IsValid());
    const QString png = fDir.CreateFile(QStringLiteral("photo.png"));
    const QString text = fDir.CreateFile(QStringLiteral("notes.txt"), "hello");
    const QString folder = fDir.CreateFolder(QStringLiteral("sub"));

    const int pngIndex =
        TKivSystemImageList::GetIndexFromExtension(QStringLiteral("png"), S::si_Small, false);
    const int txtIndex =
        TKivSystemImageList::GetIndexFromExtension(QStringLiteral(".txt"), S::si_Large, true);
    ASSERT_GE(pngIndex, 0);
    ASSERT_GE(txtIndex, 0);
    EXPECT_NE(pngIndex, txtIndex);
    EXPECT_EQ(TKivSystemImageList::GetIndexFromPath(png, S::si_Small, false), pngIndex);
    EXPECT_EQ(TKivSystemImageList::GetIndexFromItemIdList(TKivItemIdList::Create(png), S::si_Jumbo,
                                                          false),
              pngIndex);
    EXPECT_EQ(TKivSystemImageList::GetIndexFromPath(text, S::si_Small, false), txtIndex);
    // A file that is not there yet: its extension decides.
    EXPECT_EQ(TKivSystemImageList::GetIndexFromPath(fDir.Join(QStringLiteral("later.png")),
                                                    S::si_Small, false),
              pngIndex);
    EXPECT_EQ(TKivSystemImageList::GetIndexFromPath(folder, S::si_Small, false),
              TKivSystemImageList::GetFolderIconNumber(false));
    EXPECT_NE(TKivSystemImageList::GetIndexFromItemIdList(TKivItemIdList::Create(folder),
                                                          S::si_Small, true),
              TKivSystemImageList::GetIndexFromItemIdList(TKivItemIdList::Create(folder),
                                                          S::si_Small, false));
    EXPECT_GE(TKivSystemImageList::GetUnknownFileIconNumber(), 0);

    // Every size draws the same index.
    for (const S size : {S::si_Small, S::si_Large, S::si_ExtraLarge, S::si_Jumbo}) {
        const int pixels = TKivSystemImageList::StandardPixels(size);
        const QImage picture = TKivSystemImageList::GetInstance(size)->GetImage(pngIndex);
        EXPECT_EQ(picture.size(), QSize(pixels, pixels));
    }
}

TEST_F(ImageListLinuxTest, TypeNamesComeFromTheMimeDatabase)
{
    const struct
    {
        const char* Extension;
        const char* Name;
    } cases[] = {
        {"png", "PNG image"},    {".PNG", "PNG image"}, {"txt", "Plain text document"},
        {"pdf", "PDF document"}, {"zzqx", "ZZQX File"}, {"", "File"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TKivSystemImageList::GetFileType(QString::fromLatin1(c.Extension)),
                  QString::fromLatin1(c.Name))
            << c.Extension;
}

TEST_F(ImageListLinuxTest, WorkersAskingTogetherAgreeOnIndexes)
{
    const QStringList extensions = {QStringLiteral("png"), QStringLiteral("txt"),
                                    QStringLiteral("pdf"), QStringLiteral("mp3"),
                                    QStringLiteral("zip"), QStringLiteral("qqq")};
    constexpr int kWorkers = 4;
    std::vector<std::vector<int>> results(kWorkers);
    {
        std::vector<std::jthread> workers;
        for (int w = 0; w < kWorkers; ++w)
            workers.emplace_back([&, w] {
                for (int round = 0; round < 50; ++round)
                    for (const QString& extension : extensions) {
                        const int index = TKivSystemImageList::GetIndexFromExtension(
                            extension, S::si_Small, false);
                        if (round == 0)
                            results[static_cast<std::size_t>(w)].push_back(index);
                        TKivSystemImageList::GetFileType(extension);
                    }
            });
    }
    for (int w = 1; w < kWorkers; ++w)
        EXPECT_EQ(results[static_cast<std::size_t>(w)], results[0]);
    for (const int index : results[0])
        EXPECT_GE(index, 0);
}

} // namespace
} // namespace kiv

#include "KivShellThumbnail.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/IImageFactory.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/threading/KivThreading.h"
#include "core/threading/ThreadPool.h"
#include "core/threading/ThreadingTestSupport.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/MemoryIcons.h"
#include "platform/memory/MemoryImageFactory.h"
#include "platform/memory/MemoryPlatform.h"

#include <QFile>
#include <QImageReader>

#include <atomic>
#include <gtest/gtest.h>
#include <optional>

namespace kiv {
namespace {

using pf::mem::TMemoryImageFactory;
namespace siigbf = pf::siigbf;
constexpr std::uint32_t kThumb = siigbf::THUMBNAILONLY;
constexpr std::uint32_t kCache = siigbf::THUMBNAILONLY | siigbf::INCACHEONLY;
constexpr std::uint32_t kIcon = siigbf::ICONONLY;

// The background machinery's clock made virtual: every sleep advances it at once, so the
// 500 ms waits between "pending" answers cost nothing and their sum can be checked.
class TVirtualClock
{
public:
    TVirtualClock()
    {
        fOldSleep = threading::SetSleepFunction(
            [this](std::chrono::milliseconds pDuration) { fNow += pDuration.count(); });
        fOldTick = threading::SetTickFunction([this] { return fNow.load(); });
    }
    ~TVirtualClock()
    {
        threading::SetSleepFunction(fOldSleep);
        threading::SetTickFunction(fOldTick);
    }
    TVirtualClock(const TVirtualClock&) = delete;
    TVirtualClock& operator=(const TVirtualClock&) = delete;
    std::uint64_t Elapsed() const { return fNow.load() - kStart; }

private:
    static constexpr std::uint64_t kStart = 1000000;
    std::atomic<std::uint64_t> fNow{kStart};
    threading::TSleepFunction fOldSleep;
    threading::TTickFunction fOldTick;
};

// One file in the in-memory namespace, its factory scripted by each test.
class ThumbnailMemoryTest : public ::testing::Test
{
protected:
    ThumbnailMemoryTest()
        : fMemory(new pf::mem::TMemoryPlatform())
        , fPlatform(std::unique_ptr<pf::IPlatform>(fMemory))
        , fFactory(fMemory->MemoryImageFactory())
    {
        fItem = TKivItemIdList::Create(
            fMemory->ListOf(fMemory->Root().AddFile(QStringLiteral("photo.jpg"))));
    }
    ~ThumbnailMemoryTest() override { TKivThumbnailExtractor::SetThumbnailProvider({}); }

    static QImage Filled(QSize pSize, QRgb pColour)
    {
        QImage image(pSize, QImage::Format_ARGB32);
        image.fill(pColour);
        return image;
    }

    pf::mem::TMemoryPlatform* fMemory;
    pf::TScopedPlatform fPlatform;
    TMemoryImageFactory& fFactory;
    IItemIdListPtr fItem;
    TVirtualClock fClock;
    test::TDiagnosticsCapture fDiagnostics;
};

struct TRuleCase
{
    const char* Name;
    QSize Request;
    bool IconInstead = false;
    bool CachedOnly = false;
    // The script of the factory.
    int Pending = 0;
    pf::HResult Failure = pf::S_OK;
    pf::HResult IconFailure = pf::S_OK;
    QSize Cached{};    // invalid: nothing cached
    QSize Generated{}; // invalid: exactly the size asked
    bool Provider = false;
    // What must happen.
    std::vector<TMemoryImageFactory::TCall> Calls{};
    QSize Size{}; // invalid: no thumbnail
    QRgb Colour = 0;
    std::uint64_t Waited = 0;
    bool Logged = false;
};

void PrintTo(const TRuleCase& pCase, std::ostream* pOut)
{
    *pOut << pCase.Name;
}

class ThumbnailRulesTest
    : public ThumbnailMemoryTest
    , public ::testing::WithParamInterface<TRuleCase>
{
};

TEST_P(ThumbnailRulesTest, AsksThePlatformInOrder)
{
    const TRuleCase& c = GetParam();
    fFactory.SetPending(c.Pending);
    fFactory.SetThumbnailFailure(c.Failure);
    fFactory.SetIconFailure(c.IconFailure);
    if (c.Cached.isValid())
        fFactory.SetCached(Filled(c.Cached, TMemoryImageFactory::kCachedColour));
    if (c.Generated.isValid())
        fFactory.SetThumbnail(Filled(c.Generated, TMemoryImageFactory::kThumbnailColour));
    std::optional<std::tuple<QString, int, int>> asked;
    if (c.Provider)
        TKivThumbnailExtractor::SetThumbnailProvider(
            [&](const QString& pPath, int pWidth, int pHeight, QImage& pBitmap) {
                asked.emplace(pPath, pWidth, pHeight);
                pBitmap = Filled(QSize(50, 40), qRgb(200, 200, 0));
            });

    TThumbnailOptions options;
    options.Size = c.Request;
    options.IconInstead = c.IconInstead;
    options.CachedOnly = c.CachedOnly;
    options.BackgroundColor = QColor(10, 20, 30);
    const QImage image = TKivThumbnailExtractor::GetThumbnailBitmap(fItem, options);

    const auto calls = fFactory.Calls();
    ASSERT_EQ(calls.size(), c.Calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].Size, c.Calls[i].Size) << "call " << i;
        EXPECT_EQ(calls[i].Flags, c.Calls[i].Flags) << "call " << i;
    }
    EXPECT_EQ(image.isNull(), !c.Size.isValid());
    if (!image.isNull()) {
        EXPECT_EQ(image.size(), c.Size);
        EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), c.Colour);
    }
    EXPECT_EQ(fClock.Elapsed(), c.Waited);
    EXPECT_EQ(asked.has_value(), c.Provider);
    if (asked) {
        EXPECT_EQ(*asked, std::make_tuple(fItem->Path(), c.Request.width(), c.Request.height()));
    }
    EXPECT_EQ(fDiagnostics.Lines().size(), c.Logged ? 1 : 0)
        << fDiagnostics.Lines().join(u'\n').toStdString();
}

const QRgb kThumbnail = TMemoryImageFactory::kThumbnailColour;
const QRgb kCached = TMemoryImageFactory::kCachedColour;
const QRgb kIconColour = TMemoryImageFactory::kIconColour;
const pf::HResult kFailed = pf::WTS_E_FAILEDEXTRACTION;

INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbnailRulesTest,
    ::testing::Values(
        TRuleCase{.Name = "ZeroSizeAsks200",
                  .Request = QSize(0, 0),
                  .Calls = {{QSize(200, 200), kThumb}, {QSize(200, 200), kCache}},
                  .Size = QSize(200, 200),
                  .Colour = kThumbnail},
        TRuleCase{.Name = "CachedOnlyMiss",
                  .Request = QSize(128, 96),
                  .CachedOnly = true,
                  .Calls = {{QSize(128, 96), kCache}}},
        TRuleCase{.Name = "CachedOnlyMissGivesTheIcon",
                  .Request = QSize(128, 96),
                  .IconInstead = true,
                  .CachedOnly = true,
                  .Calls = {{QSize(128, 96), kCache}, {QSize(96, 96), kIcon}},
                  .Size = QSize(96, 96),
                  .Colour = kIconColour},
        TRuleCase{.Name = "CachedMuchSmallerIsDiscarded",
                  .Request = QSize(128, 96),
                  .CachedOnly = true,
                  .Cached = QSize(126, 95),
                  .Calls = {{QSize(128, 96), kCache}}},
        TRuleCase{.Name = "CachedSmallerOneWayIsKept",
                  .Request = QSize(128, 96),
                  .CachedOnly = true,
                  .Cached = QSize(128, 50),
                  .Calls = {{QSize(128, 96), kCache}},
                  .Size = QSize(128, 50),
                  .Colour = kCached},
        TRuleCase{.Name = "PendingThenMade",
                  .Request = QSize(128, 96),
                  .Pending = 3,
                  .Calls = {{QSize(128, 96), kThumb},
                            {QSize(128, 96), kThumb},
                            {QSize(128, 96), kThumb},
                            {QSize(128, 96), kThumb},
                            {QSize(128, 96), kCache}},
                  .Size = QSize(128, 96),
                  .Colour = kThumbnail,
                  .Waited = 1500},
        TRuleCase{.Name = "PendingTooLongFails",
                  .Request = QSize(128, 96),
                  .Pending = 100,
                  .Calls = std::vector<TMemoryImageFactory::TCall>(6, {QSize(128, 96), kThumb}),
                  .Waited = 2500,
                  .Logged = true},
        TRuleCase{.Name = "TheCacheReplacesWhatWasMade",
                  .Request = QSize(128, 96),
                  .Cached = QSize(128, 90),
                  .Calls = {{QSize(128, 96), kThumb}, {QSize(128, 96), kCache}},
                  .Size = QSize(128, 90),
                  .Colour = kCached},
        TRuleCase{
            .Name = "LargerIsAskedAgainAtItsShape",
            .Request = QSize(128, 96),
            .Generated = QSize(256, 256),
            .Calls = {{QSize(128, 96), kThumb}, {QSize(128, 96), kCache}, {QSize(96, 96), kThumb}},
            .Size = QSize(256, 256),
            .Colour = kThumbnail},
        TRuleCase{.Name = "FailureAsksTheProvider",
                  .Request = QSize(128, 96),
                  .IconInstead = true,
                  .Failure = kFailed,
                  .Provider = true,
                  .Calls = {{QSize(128, 96), kThumb}},
                  .Size = QSize(50, 40),
                  .Colour = qRgb(200, 200, 0),
                  .Logged = true},
        TRuleCase{.Name = "FailureWithoutIconGivesNothing",
                  .Request = QSize(128, 96),
                  .Failure = kFailed,
                  .Calls = {{QSize(128, 96), kThumb}},
                  .Logged = true},
        TRuleCase{.Name = "FailureGivesThePlatformIcon",
                  .Request = QSize(128, 96),
                  .IconInstead = true,
                  .Failure = kFailed,
                  .Calls = {{QSize(128, 96), kThumb}, {QSize(96, 96), kIcon}},
                  .Size = QSize(96, 96),
                  .Colour = kIconColour,
                  .Logged = true}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(ThumbnailMemoryTest, FailureLineNamesFileCodeAndFlags)
{
    fFactory.SetThumbnailFailure(kFailed);
    EXPECT_TRUE(TKivThumbnailExtractor::GetThumbnailBitmap(fItem, 64, 64, false, Qt::white, false)
                    .isNull());
    ASSERT_EQ(fDiagnostics.Lines().size(), 1);
    EXPECT_TRUE(fDiagnostics.Lines()[0].endsWith(
        QStringLiteral("ThumbnailFactory.GetImage for file %1 failed. hr: -2147175936 (%2). "
                       "Flags: 8. IconInstead: False")
            .arg(fItem->Path(), fMemory->Info().SystemErrorText(0x8004B200u))))
        << fDiagnostics.Lines()[0].toStdString();
}

TEST_F(ThumbnailMemoryTest, WithoutAnyThumbnailTheIconIsDrawnCentredInAFrame)
{
    fFactory.SetThumbnailFailure(kFailed);
    fFactory.SetIconFailure(pf::E_FAIL);
    // Smaller than the largest icons: the icon shrinks to fit inside the frame.
    const QImage image =
        TKivThumbnailExtractor::GetThumbnailBitmap(fItem, 120, 80, true, QColor(10, 20, 30), false);
    ASSERT_EQ(image.size(), QSize(120, 80));
    const int index =
        fMemory->Icons().IconIndexOfIdList(pf::IdSpan(*fItem->WindowsPointer()), false);
    const QRgb icon = pf::mem::TMemoryIcons::ColourOf(index).rgb();
    EXPECT_EQ(image.pixel(0, 0), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(image.pixel(119, 79), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(image.pixel(10, 40), qRgb(10, 20, 30));
    EXPECT_EQ(image.pixel(60, 40), icon);
    EXPECT_EQ(image.pixel(21, 1), icon);
    EXPECT_EQ(image.pixel(98, 78), icon);
}

TEST_F(ThumbnailMemoryTest, CancellingWhilePendingReturnsAtOnce)
{
    fFactory.SetPending(100);
    const auto token = TCancellationToken::Create();
    int calls = 0;
    fFactory.OnGetImage = [&](const TMemoryImageFactory::TCall&) {
        if (++calls == 2)
            token->Cancel();
    };
    TThumbnailOptions options;
    options.IconInstead = true;
    EXPECT_TRUE(TKivThumbnailExtractor::GetThumbnailBitmap(fItem, options, token).isNull());
    EXPECT_EQ(fFactory.Calls().size(), 2u);
    EXPECT_EQ(fClock.Elapsed(), 500u);
    EXPECT_TRUE(fDiagnostics.Lines().isEmpty());
}

TEST_F(ThumbnailMemoryTest, RunningOutOfMemoryRaises)
{
    fFactory.SetThumbnailFailure(pf::E_OUTOFMEMORY);
    try {
        TKivThumbnailExtractor::GetThumbnailBitmap(fItem, 64, 64, true, Qt::white, false);
        FAIL() << "no exception";
    } catch (const EWayfoldError& e) {
        EXPECT_EQ(e.ErrorCode(), EWayfoldError::CodeOfResult(pf::E_OUTOFMEMORY));
    }
}

TEST_F(ThumbnailMemoryTest, AsImageUsesTheTargetsSizeAndLeavesItAloneWithoutThumbnail)
{
    class TTarget final : public IThumbnailImage
    {
    public:
        int Width() const override { return 64; }
        int Height() const override { return 48; }
        void SetPicture(const QImage& pPicture) override { Picture = pPicture; }
        QImage Picture;
    } target;
    ASSERT_TRUE(TKivThumbnailExtractor::GetThumbnailAsImage(fItem, target));
    EXPECT_EQ(target.Picture.size(), QSize(64, 48));

    target.Picture = QImage();
    fFactory.SetThumbnailFailure(kFailed);
    EXPECT_FALSE(TKivThumbnailExtractor::GetThumbnailAsImage(fItem, target));
    EXPECT_TRUE(target.Picture.isNull());
}

TEST(ThumbnailThreadPoolTest, OneSharedPoolOfTwoThreads)
{
    const IWorkerThreadPoolPtr pool = TThumbnailThreadPool::Instance();
    EXPECT_EQ(pool, TThumbnailThreadPool::Instance());
    const auto workers = std::dynamic_pointer_cast<TWorkerThreadPool>(pool);
    ASSERT_TRUE(workers);
    EXPECT_EQ(workers->MaxRunningThreads(), 2);
}

// ---- JPEG files, through the Linux platform in a temporary home -------------------------------

TEST(ThumbnailJpegTest, WritesAJpegOfTheThumbnail)
{
    test::TestDir dir;
    test::TScopedEnvironment environment;
    environment.Set("HOME", dir.CreateFolder(QStringLiteral("home")).toUtf8());
    environment.Set("XDG_CACHE_HOME", dir.Join(QStringLiteral("cache")).toUtf8());
    pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());

    // Left half transparent, right half red: JPEG has no transparency, so the left turns white.
    // (Kept under 65536 pixels: Qt converts larger pictures on its own uninstrumented threads,
    // which the thread sanitizer cannot follow.)
    QImage source(320, 180, QImage::Format_ARGB32);
    source.fill(Qt::transparent);
    for (int y = 0; y < 180; ++y)
        for (int x = 160; x < 320; ++x)
            source.setPixel(x, y, qRgb(220, 0, 0));
    const QString sourcePath = dir.Join(QStringLiteral("picture.png"));
    ASSERT_TRUE(source.save(sourcePath, "PNG"));

    struct TCase
    {
        int Quality;
        qint64 Bytes = 0;
    } cases[] = {{95}, {10}, {500}};
    for (TCase& c : cases) {
        const QString target = dir.Join(QStringLiteral("out-%1.jpg").arg(c.Quality));
        ASSERT_TRUE(
            TKivThumbnailExtractor::SaveThumbnailToJPEG(sourcePath, target, 160, 160, c.Quality));
        QImageReader reader(target);
        EXPECT_EQ(reader.format(), "jpeg");
        const QImage read = reader.read();
        ASSERT_EQ(read.size(), QSize(160, 90));
        EXPECT_GT(qGray(read.pixel(20, 45)), 240);
        EXPECT_GT(qRed(read.pixel(140, 45)), 180);
        EXPECT_LT(qGreen(read.pixel(140, 45)), 60);
        c.Bytes = QFile(target).size();
    }
    EXPECT_LT(cases[1].Bytes, cases[0].Bytes);
    EXPECT_GE(cases[2].Bytes, cases[0].Bytes); // 500 is taken as 100

    // No thumbnail: nothing written. A target that cannot be written: an error, not success.
    const QString nothing = dir.Join(QStringLiteral("nothing.jpg"));
    EXPECT_FALSE(TKivThumbnailExtractor::SaveThumbnailToJPEG(
        dir.Join(QStringLiteral("missing.png")), nothing, 160, 160, 80));
    EXPECT_FALSE(QFile::exists(nothing));
    EXPECT_THROW(TKivThumbnailExtractor::SaveThumbnailToJPEG(
                     sourcePath, dir.Join(QStringLiteral("no/such/folder/x.jpg")), 160, 160, 80),
                 EWayfoldError);
}

} // namespace
} // namespace kiv

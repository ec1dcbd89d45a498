#include "LinuxImageFactory.h"

#include "LinuxIcons.h"
#include "LinuxNamespace.h"
#include "MountTable.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

namespace kiv::pf::lnx {
namespace {

constexpr QRgb kPhotoColour = 0xFF2060A0;

// A private home: HOME and the cache point into a temporary folder, so the user's real
// thumbnails stay out of the tests, and the thumbnailers are those a test installs there. (The
// system's data folders stay: the MIME database lives there.)
class ImageFactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.IsValid());
        fEnvironment.Set("HOME", fDir.CreateFolder(QStringLiteral("home")).toUtf8());
        fEnvironment.Set("XDG_CACHE_HOME", fDir.Join(QStringLiteral("cache")).toUtf8());
    }

    std::unique_ptr<TLinuxImageFactory> Factory(TImageFactoryOptions pOptions = {})
    {
        pOptions.ThumbnailerFolders = {fDir.Join(QStringLiteral("thumbnailers"))};
        return std::make_unique<TLinuxImageFactory>(fNamespace, fIcons, std::move(pOptions));
    }

    // A photograph-like JPEG of one colour.
    QString Photo(const QString& pName, QSize pSize)
    {
        QImage image(pSize, QImage::Format_RGB32);
        image.fill(kPhotoColour);
        const QString path = fDir.Join(pName);
        EXPECT_TRUE(image.save(path, "JPEG", 90));
        return path;
    }

    static std::int64_t MTimeOf(const QString& pPath)
    {
        struct stat st
        {
        };
        EXPECT_EQ(::stat(EncodeFileName(pPath).c_str(), &st), 0);
        return st.st_mtim.tv_sec;
    }

    QString CacheFile(const QString& pFolder, const QString& pPath) const
    {
        const std::string name = ThumbnailFileName(ThumbnailUri(EncodeFileName(pPath)));
        return fDir.Join(QStringLiteral("cache/thumbnails/") + pFolder + u'/' +
                         QString::fromStdString(name));
    }

    test::TestDir fDir;
    test::TScopedEnvironment fEnvironment;
    TLinuxNamespace fNamespace;
    TLinuxIcons fIcons;
};

// ---- the cache as other programs left it ------------------------------------------------------

struct TCacheCase
{
    const char* Name;
    const char* Folder; // where the thumbnail lies
    int StoredSide;     // its larger side (4:3)
    int MTimeDelta;     // stored Thumb::MTime minus the file's
    int SizeDelta;      // stored Thumb::Size minus the file's
    int Request;        // square request
    QSize Expected;     // invalid: a miss
};

class ImageFactoryCacheTest
    : public ImageFactoryTest
    , public ::testing::WithParamInterface<TCacheCase>
{
};

TEST_P(ImageFactoryCacheTest, UsesOnlyThumbnailsOfTheFileAsItIs)
{
    const TCacheCase& c = GetParam();
    const QString path = fDir.CreateFile(QStringLiteral("doc.pdf"), "%PDF-1.4 not really");
    const std::int64_t mtime = MTimeOf(path);
    QImage stored(c.StoredSide, c.StoredSide * 3 / 4, QImage::Format_RGB32);
    stored.fill(Qt::green);
    stored.setText(QStringLiteral("Thumb::URI"),
                   QString::fromStdString(ThumbnailUri(EncodeFileName(path))));
    stored.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime + c.MTimeDelta));
    stored.setText(QStringLiteral("Thumb::Size"), QString::number(19 + c.SizeDelta));
    const QString file = CacheFile(QString::fromLatin1(c.Folder), path);
    fDir.CreateFolder(file.section(u'/', 0, -2).mid(fDir.Path().size() + 1));
    ASSERT_TRUE(stored.save(file, "PNG"));

    QImage image;
    const HResult result = Factory()->GetImageOfPath(
        path, QSize(c.Request, c.Request), siigbf::THUMBNAILONLY | siigbf::INCACHEONLY, image);
    if (!c.Expected.isValid()) {
        EXPECT_EQ(result, WTS_E_FAILEDEXTRACTION);
        EXPECT_TRUE(image.isNull());
        return;
    }
    ASSERT_EQ(result, S_OK);
    EXPECT_EQ(image.size(), c.Expected);
    EXPECT_EQ(image.pixel(0, 0), QColor(Qt::green).rgb());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageFactoryCacheTest,
    ::testing::Values(TCacheCase{"Fresh", "normal", 128, 0, 0, 128, QSize(128, 96)},
                      TCacheCase{"StaleMTime", "normal", 128, -5, 0, 128, QSize()},
                      TCacheCase{"OtherSize", "normal", 128, 0, 1, 128, QSize()},
                      TCacheCase{"LargerFlavourScaledDown", "large", 256, 0, 0, 100,
                                 QSize(100, 75)},
                      TCacheCase{"SmallerFlavourNotEnough", "normal", 128, 0, 0, 256, QSize()}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

// ---- generation in process --------------------------------------------------------------------

TEST_F(ImageFactoryTest, GeneratesAPhotoOnceAndKeepsItInTheCache)
{
    const QString path = Photo(QStringLiteral("photo one.jpg"), QSize(1600, 1200));
    auto factory = Factory();
    QImage image;
    ASSERT_EQ(factory->GetImageOfPath(path, QSize(200, 200), siigbf::THUMBNAILONLY, image), S_OK);
    EXPECT_EQ(image.size(), QSize(200, 150));
    EXPECT_LE(qAbs(qRed(image.pixel(100, 75)) - qRed(kPhotoColour)), 8);

    // Written to the 256 folder with the keys that tie it to the file, private to the user, and
    // no temporary file left beside it.
    const QString file = CacheFile(QStringLiteral("large"), path);
    const QImage stored(file);
    ASSERT_FALSE(stored.isNull());
    EXPECT_EQ(stored.size(), QSize(256, 192));
    EXPECT_EQ(stored.text(QStringLiteral("Thumb::URI")).toStdString(),
              ThumbnailUri(EncodeFileName(path)));
    EXPECT_TRUE(stored.text(QStringLiteral("Thumb::URI")).contains(QLatin1String("photo%20one")));
    EXPECT_EQ(stored.text(QStringLiteral("Thumb::MTime")), QString::number(MTimeOf(path)));
    EXPECT_EQ(stored.text(QStringLiteral("Thumb::Size")), QString::number(QFile(path).size()));
    EXPECT_EQ(stored.text(QStringLiteral("Software")), QStringLiteral("Tovaline"));
    EXPECT_EQ(stored.text(QStringLiteral("Thumb::Image::Width")), QStringLiteral("1600"));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(EncodeFileName(file).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(file.section(u'/', 0, -2)).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // Now the cache alone answers; after the file changes it does not any more.
    ASSERT_EQ(factory->GetImageOfPath(path, QSize(200, 200),
                                      siigbf::THUMBNAILONLY | siigbf::INCACHEONLY, image),
              S_OK);
    const struct utimbuf later
    {
        MTimeOf(path) + 10, MTimeOf(path) + 10
    };
    ASSERT_EQ(::utime(EncodeFileName(path).c_str(), &later), 0);
    EXPECT_EQ(factory->GetImageOfPath(path, QSize(200, 200),
                                      siigbf::THUMBNAILONLY | siigbf::INCACHEONLY, image),
              WTS_E_FAILEDEXTRACTION);
}

TEST_F(ImageFactoryTest, ADamagedPictureIsRecordedAsFailedAndNotReadAgain)
{
    const QString path = fDir.CreateFile(
        QStringLiteral("broken.jpg"), QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(5000, '\x5A'));
    auto factory = Factory();
    int generations = 0;
    factory->OnGenerating = [&](const QString&) { ++generations; };
    QImage image;
    EXPECT_EQ(factory->GetImageOfPath(path, QSize(128, 128), siigbf::THUMBNAILONLY, image),
              WTS_E_FAILEDEXTRACTION);
    EXPECT_TRUE(image.isNull());
    const QImage record(CacheFile(QStringLiteral("fail/tovaline"), path));
    ASSERT_FALSE(record.isNull());
    EXPECT_EQ(record.text(QStringLiteral("Thumb::MTime")), QString::number(MTimeOf(path)));
    EXPECT_FALSE(QFile::exists(CacheFile(QStringLiteral("normal"), path)));

    EXPECT_EQ(factory->GetImageOfPath(path, QSize(128, 128), siigbf::THUMBNAILONLY, image),
              WTS_E_FAILEDEXTRACTION);
    EXPECT_EQ(generations, 1);
}

TEST_F(ImageFactoryTest, AnItemBeingGeneratedIsPendingForOtherThreads)
{
    const QString path = Photo(QStringLiteral("p.jpg"), QSize(640, 480));
    auto factory = Factory();
    std::promise<void> entered;
    std::promise<void> release;
    factory->OnGenerating = [&](const QString&) {
        entered.set_value();
        release.get_future().wait();
    };
    auto first = std::async(std::launch::async, [&] {
        QImage image;
        return factory->GetImageOfPath(path, QSize(128, 128), siigbf::THUMBNAILONLY, image);
    });
    entered.get_future().wait();
    QImage image;
    EXPECT_EQ(factory->GetImageOfPath(path, QSize(128, 128), siigbf::THUMBNAILONLY, image),
              WTS_E_EXTRACTIONPENDING);
    release.set_value();
    EXPECT_EQ(first.get(), S_OK);
    factory->OnGenerating = nullptr;
    EXPECT_EQ(factory->GetImageOfPath(path, QSize(128, 128), siigbf::THUMBNAILONLY, image), S_OK);
}

TEST_F(ImageFactoryTest, SpecialFilesAndFoldersAreNeverRead)
{
    const QString fifo = fDir.Join(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(EncodeFileName(fifo).c_str(), 0600), 0);
    QImage image;
    auto factory = Factory();
    EXPECT_EQ(factory->GetImageOfPath(fifo, QSize(128, 128), siigbf::THUMBNAILONLY, image),
              WTS_E_FAILEDEXTRACTION);
    EXPECT_EQ(factory->GetImageOfPath(fDir.Path(), QSize(128, 128), siigbf::THUMBNAILONLY, image),
              WTS_E_FAILEDEXTRACTION);
    EXPECT_EQ(factory->GetImageOfPath(fDir.Join(QStringLiteral("gone.png")), QSize(128, 128),
                                      siigbf::THUMBNAILONLY, image),
              HResultFromWin32(win32::ERROR_FILE_NOT_FOUND));
}

// ---- network mounts ---------------------------------------------------------------------------

class TMountTableOverride
{
public:
    explicit TMountTableOverride(std::string pText) { OverrideMountTableForTesting(pText); }
    ~TMountTableOverride() { OverrideMountTableForTesting(std::nullopt); }
    TMountTableOverride(const TMountTableOverride&) = delete;
    TMountTableOverride& operator=(const TMountTableOverride&) = delete;
};

TEST_F(ImageFactoryTest, LargeFilesOnNetworkMountsAreLeftAlone)
{
    fDir.CreateFolder(QStringLiteral("share"));
    const QString small = Photo(QStringLiteral("share/small.jpg"), QSize(64, 48));
    const QString large = Photo(QStringLiteral("share/large.jpg"), QSize(1200, 900));
    ASSERT_LT(QFile(small).size(), 4000);
    ASSERT_GT(QFile(large).size(), 4000);
    const TMountTableOverride mounts("22 1 0:21 / / rw - ext4 /dev/sda2 rw\n41 22 0:50 / " +
                                     EncodeFileName(fDir.Join(QStringLiteral("share"))) +
                                     " rw - cifs //server/share rw\n");
    TImageFactoryOptions options;
    options.MaxRemoteFileSize = 4000;
    auto factory = Factory(options);
    QImage image;
    EXPECT_EQ(factory->GetImageOfPath(large, QSize(128, 128), siigbf::THUMBNAILONLY, image),
              WTS_E_EXTRACTIONBLOCKED);
    EXPECT_EQ(factory->GetImageOfPath(small, QSize(128, 128), siigbf::THUMBNAILONLY, image), S_OK);
}

// ---- thumbnailer programs ---------------------------------------------------------------------

struct TThumbnailerCase
{
    const char* Name;
    const char* TryExec;
    const char* Exec; // $FIXTURE: a PNG in a folder with a blank in its name
    HResult Expected;
    bool FailRecorded;
};

class ImageFactoryThumbnailerTest
    : public ImageFactoryTest
    , public ::testing::WithParamInterface<TThumbnailerCase>
{
};

TEST_P(ImageFactoryThumbnailerTest, RunsTheProgramForTheTypeWithinItsTime)
{
    const TThumbnailerCase& c = GetParam();
    QImage fixture(300, 100, QImage::Format_RGB32);
    fixture.fill(Qt::magenta);
    fDir.CreateFolder(QStringLiteral("fix ture"));
    ASSERT_TRUE(fixture.save(fDir.Join(QStringLiteral("fix ture/t.png")), "PNG"));
    QString exec = QString::fromUtf8(c.Exec);
    exec.replace(QLatin1String("$FIXTURE"),
                 u'"' + fDir.Join(QStringLiteral("fix ture/t.png")) + u'"');
    fDir.CreateFile(QStringLiteral("thumbnailers/test.thumbnailer"),
                    "[Thumbnailer Entry]\nTryExec=" + QByteArray(c.TryExec) + "\nExec=" +
                        exec.toUtf8() + "\nMimeType=text/x-tovaline-test;text/plain;\n");
    const QString path = fDir.CreateFile(QStringLiteral("note.txt"), "hello");

    TImageFactoryOptions options;
    options.ThumbnailerTimeout = std::chrono::milliseconds(300);
    QImage image;
    EXPECT_EQ(Factory(options)->GetImageOfPath(path, QSize(128, 128), siigbf::THUMBNAILONLY, image),
              c.Expected);
    EXPECT_EQ(QFile::exists(CacheFile(QStringLiteral("fail/tovaline"), path)), c.FailRecorded);
    if (Succeeded(c.Expected)) {
        EXPECT_EQ(image.size(), QSize(128, 42));
        EXPECT_EQ(image.pixel(10, 10), QColor(Qt::magenta).rgb());
        EXPECT_TRUE(QFile::exists(CacheFile(QStringLiteral("normal"), path)));
    }
    // Nothing of the program's output is left in the cache's folders.
    EXPECT_TRUE(QDir(fDir.Join(QStringLiteral("cache/thumbnails/normal")))
                    .entryList({QStringLiteral(".tovaline-*")}, QDir::Files | QDir::Hidden)
                    .isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageFactoryThumbnailerTest,
    ::testing::Values(
        TThumbnailerCase{"Copies", "cp", "cp $FIXTURE %o", S_OK, false},
        TThumbnailerCase{"ProgramFails", "", "false %i %o", WTS_E_FAILEDEXTRACTION, true},
        TThumbnailerCase{"WritesNoPicture", "", "cp %i %o", WTS_E_FAILEDEXTRACTION, true},
        TThumbnailerCase{"TooSlow", "", "sleep 30", WTS_E_EXTRACTIONTIMEDOUT, false},
        TThumbnailerCase{"NotInstalled", "tovaline-no-such-program", "cp $FIXTURE %o",
                         WTS_E_FAILEDEXTRACTION, false}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

// ---- the conventions' small rules -------------------------------------------------------------

TEST(ThumbnailConventionsTest, UriAndExecLines)
{
    EXPECT_EQ(ThumbnailUri("/home/u/a b%/ü/x#y?.png"),
              "file:///home/u/a%20b%25/%C3%BC/x%23y%3F.png");
    EXPECT_EQ(ThumbnailUri(std::string("/\xff") + "!$&'()*+,-.:=@_~"),
              "file:///%FF!$&'()*+,-.:=@_~");
    // The MD5 of "file:///home/jens/photos/me.png", as the cache's documentation gives it.
    EXPECT_EQ(ThumbnailFileName("file:///home/jens/photos/me.png"),
              "c6ee772d9e49320e97ec29a7eb5b1697.png");

    struct TCase
    {
        QString Exec;
        QStringList Expected;
    };
    const TCase cases[] = {
        {QStringLiteral("thumb -s %s %u %o"),
         {QStringLiteral("thumb"), QStringLiteral("-s"), QStringLiteral("256"),
          QStringLiteral("file:///a%20b"), QStringLiteral("/out.png")}},
        {QStringLiteral("\"/opt/my thumb\" \"a \\\"q\\\" \\$x\" %i 100%% %z"),
         {QStringLiteral("/opt/my thumb"), QStringLiteral("a \"q\" $x"), QStringLiteral("/a b"),
          QStringLiteral("100%"), QString()}},
        {QStringLiteral("thumb \"unclosed %i"), {}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ExpandThumbnailerExec(c.Exec, QStringLiteral("/a b"),
                                        QStringLiteral("file:///a%20b"), QStringLiteral("/out.png"),
                                        256),
                  c.Expected)
            << c.Exec.toStdString();
}

} // namespace
} // namespace kiv::pf::lnx

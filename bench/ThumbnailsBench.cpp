// Thumbnails of a camera folder: JPEGs of 12 megapixels (4000 x 3000) at 256 x 256, as a
// thumbnail view asks for them. Cold: nothing cached, each one is decoded and written to the
// cache; warm: each one comes from the cache. The baseline is what a program without the cache
// and without scaled decoding does per file: decode the whole picture and scale it down.
//
// The files are hard links of one JPEG: every path is its own cache entry and its own decode,
// while the folder costs 5 MB of disk instead of 1 GB. All of it is in the page cache for both
// sides, so the figures compare decoding work, not the disk.
//
// Times are processor time of the measuring thread (all the work runs on it): the machine is
// shared, and wall time there measures the neighbours more than the code.
//
// Usage: bench_thumbnails [count] (default 200).

#include "KivBench.h"
#include "core/platform/IImageFactory.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivItemIdList.h"
#include "core/thumbnail/KivShellThumbnail.h"
#include "platform/linux/LinuxIcons.h"
#include "platform/linux/LinuxImageFactory.h"
#include "platform/linux/LinuxNamespace.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

using namespace kiv;

// The calling thread's processor time.
struct ThreadClock
{
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ThreadClock>;
    static time_point now()
    {
        timespec ts{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};
using Clock = ThreadClock;

constexpr QSize kPhoto(4000, 3000);
constexpr QSize kThumbnail(256, 256);

// A picture with detail at every scale (gradients, stripes and texture), so that the encoder
// keeps as much as it does for a photograph and decoding costs what it costs for one.
QImage MakePhoto()
{
    QImage image(kPhoto, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const unsigned noise = (unsigned(x) * 2654435761u) ^ (unsigned(y) * 40503u);
            line[x] = qRgb((x / 16 + (noise >> 28)) & 0xFF, (y / 12 + ((x ^ y) & 31)) & 0xFF,
                           ((x + y) / 28 + ((noise >> 20) & 15)) & 0xFF);
        }
    }
    return image;
}

double MillisecondsPerItem(Clock::duration pTotal, int pCount)
{
    return std::chrono::duration<double, std::milli>(pTotal).count() / pCount;
}

template <typename F> double BestOf(int pRounds, int pCount, F&& pRound)
{
    double best = 1e300;
    for (int round = 0; round < pRounds; ++round) {
        const auto start = Clock::now();
        pRound();
        best = std::min(best, MillisecondsPerItem(Clock::now() - start, pCount));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // A private home: the user's thumbnails are neither used nor touched.
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_CACHE_HOME", (dir.path() + QStringLiteral("/cache")).toUtf8());

    const QString source = dir.filePath(QStringLiteral("source.jpg"));
    if (!MakePhoto().save(source, "JPEG", 90))
        return 1;
    QDir().mkpath(dir.filePath(QStringLiteral("photos")));
    std::vector<QString> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(
            dir.filePath(QStringLiteral("photos/IMG_%1.jpg").arg(i, 4, 10, QChar(u'0'))));
        if (::link(QFile::encodeName(source).constData(),
                   QFile::encodeName(files.back()).constData()) != 0)
            return 1;
    }
    std::printf("# %d JPEGs of %dx%d (%lld bytes each) at %dx%d\n", count, kPhoto.width(),
                kPhoto.height(), static_cast<long long>(QFileInfo(source).size()),
                kThumbnail.width(), kThumbnail.height());

    // Baseline: decode all of it, then scale.
    int made = 0;
    const double naive = BestOf(1, count, [&] {
        for (const QString& file : files) {
            const QImage full = QImageReader(file).read();
            made +=
                !full.scaled(kThumbnail, Qt::KeepAspectRatio, Qt::SmoothTransformation).isNull();
        }
    });

    pf::lnx::TLinuxNamespace space;
    pf::lnx::TLinuxIcons icons;
    pf::lnx::TLinuxImageFactory factory(space, icons);
    int failures = 0;
    auto askAll = [&] {
        for (const QString& file : files) {
            QImage image;
            failures += pf::Failed(
                factory.GetImageOfPath(file, kThumbnail, pf::siigbf::THUMBNAILONLY, image));
        }
    };
    const double cold = BestOf(1, count, askAll);
    const double warm = BestOf(3, count, askAll);

    // The same warm requests through the extractor, as a thumbnail work item makes them: one
    // request and the cache asked once more per item.
    pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());
    std::vector<IItemIdListPtr> lists;
    for (const QString& file : files) {
        lists.push_back(TKivItemIdList::Create(file));
        lists.back()->WindowsPointer(); // parsed beforehand: the views hold parsed lists
    }
    const double extractor = BestOf(3, count, [&] {
        for (const IItemIdListPtr& list : lists)
            failures += TKivThumbnailExtractor::GetThumbnailBitmap(
                            list, kThumbnail.width(), kThumbnail.height(), false, Qt::white, false)
                            .isNull();
    });
    if (failures != 0 || made != count) {
        std::fprintf(stderr, "bench_thumbnails: %d failures\n", failures);
        return 1;
    }

    bench::Bench("thumbnails_naive_full_decode", naive, "ms/item");
    bench::Bench("thumbnails_cold", cold, "ms/item");
    bench::Bench("thumbnails_warm", warm, "ms/item");
    bench::Bench("thumbnails_warm_extractor", extractor, "ms/item");
    bench::Ratio("thumbnails_cold_vs_naive", cold, naive);
    bench::Ratio("thumbnails_warm_vs_naive", warm, naive);
    bench::Ratio("thumbnails_warm_extractor_vs_naive", extractor, naive);
    return 0;
}

// Icon indexes through the system image list, asked from a worker thread as the list views do:
// 100,000 file items of 50 types, cold (a freshly installed platform and empty caches, so every
// type is learnt once) and warm (every type known), by item and by name. The baseline is what a
// program without the shared icon table does per item: ask the MIME database for the type of the
// name and take its icon name; the platform's own (cached) answer per name shows what the image
// list's extension cache adds. The warm passes must not read from the disk: the read system
// calls of the process are counted around them.

#include "KivBench.h"
#include "core/platform/IIcons.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivSystemImageList.h"
#include "platform/linux/LinuxItems.h"
#include "platform/linux/LinuxNamespace.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <QMimeDatabase>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using namespace kiv;
using S = TKivImageListSize;

// 100,000 items: a large download or camera folder; 50 types: a mixed working folder.
constexpr int kItems = 100000;
constexpr int kTypes = 50;
constexpr int kRounds = 5;

const char* const kExtensions[kTypes] = {
    "png", "jpg",    "gif",  "svg", "webp", "tif",    "bmp", "txt",  "md",   "html",
    "css", "js",     "json", "xml", "yaml", "c",      "cpp", "h",    "py",   "sh",
    "rs",  "go",     "java", "pdf", "odt",  "ods",    "odp", "docx", "xlsx", "pptx",
    "zip", "tar.gz", "7z",   "deb", "iso",  "mp3",    "ogg", "flac", "wav",  "mp4",
    "mkv", "webm",   "avi",  "ttf", "otf",  "sqlite", "csv", "log",  "ini",  "zzqx"};

std::vector<IItemIdListPtr> MakeItems()
{
    const pf::IdListBytes drive =
        pf::idl::Append(pf::IdSpan(pf::lnx::ThisPcList()), pf::lnx::MakeMountItem("/", 0));
    std::vector<IItemIdListPtr> items;
    items.reserve(kItems);
    pf::lnx::TSnapshot snapshot;
    snapshot.Mode = 0100644;
    char name[64];
    for (int i = 0; i < kItems; ++i) {
        std::snprintf(name, sizeof name, "file-%06d.%s", i, kExtensions[i % kTypes]);
        items.push_back(TKivItemIdList::Create(
            pf::idl::Append(pf::IdSpan(drive), pf::lnx::MakeFsItem(false, snapshot, name))));
    }
    return items;
}

std::vector<QString> MakeNames()
{
    std::vector<QString> names;
    names.reserve(kItems);
    for (int i = 0; i < kItems; ++i)
        names.push_back(QStringLiteral("file-%1.%2")
                            .arg(i, 6, 10, QLatin1Char('0'))
                            .arg(QLatin1String(kExtensions[i % kTypes])));
    return names;
}

// Best per-item time of kRounds passes of pPass; pFresh runs before each (untimed).
template <typename P, typename F> double PerItem(P&& pPass, F&& pFresh)
{
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        pFresh();
        const auto start = std::chrono::steady_clock::now();
        pPass();
        best = std::min(best, kiv::bench::SecondsSince(start) / kItems);
    }
    return best;
}

void Run()
{
    const std::vector<IItemIdListPtr> items = MakeItems();
    const std::vector<QString> names = MakeNames();
    long long sink = 0;

    const auto byItem = [&] {
        for (const IItemIdListPtr& item : items)
            sink += TKivSystemImageList::GetIndexFromItemIdList(item, S::si_Small, false);
    };
    const auto byName = [&] {
        for (const QString& name : names)
            sink += TKivSystemImageList::GetIndexFromPathByExt(name, S::si_Small, false);
    };
    // Cold: a new platform (its MIME answers forgotten) and empty caches before each pass. The
    // process-wide icon table keeps its theme, as it does for the life of a real process.
    std::unique_ptr<pf::TScopedPlatform> platform;
    const auto fresh = [&] {
        platform.reset();
        platform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
        TKivSystemImageList::ClearCaches();
    };
    fresh();
    auto start = std::chrono::steady_clock::now();
    byItem();
    kiv::bench::Bench("imagelist_first_pass_total", kiv::bench::SecondsSince(start) * 1e3, "ms");

    const double coldItem = PerItem(byItem, fresh);
    const double coldName = PerItem(byName, fresh);

    byItem();
    byName();
    // What reading the counter costs in reads, taken off the warm figure.
    const long long firstLook = kiv::bench::ReadSystemCalls();
    const long long overhead = kiv::bench::ReadSystemCalls() - firstLook;
    const long long readsBefore = kiv::bench::ReadSystemCalls();
    const auto nothing = [] {};
    const double warmItem = PerItem(byItem, nothing);
    const double warmName = PerItem(byName, nothing);
    const long long warmReads = kiv::bench::ReadSystemCalls() - readsBefore - overhead;

    // The platform's own answer for each name (warm too), without the image list's cache.
    pf::IIcons& icons = pf::Platform().Icons();
    const double platformName = PerItem(
        [&] {
            for (const QString& name : names)
                sink += icons.IconIndexOfPath(name, false, true);
        },
        nothing);

    // The baseline: the type of each name from the MIME database and its icon name, per item.
    const QMimeDatabase db;
    const double baseline = PerItem(
        [&] {
            for (const QString& name : names) {
                const QMimeType type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
                sink += type.iconName().size();
            }
        },
        nothing);

    kiv::bench::Bench("imagelist_cold_by_item_per_item", coldItem * 1e9, "ns");
    kiv::bench::Bench("imagelist_cold_by_name_per_item", coldName * 1e9, "ns");
    kiv::bench::Bench("imagelist_warm_by_item_per_item", warmItem * 1e9, "ns");
    kiv::bench::Bench("imagelist_warm_by_name_per_item", warmName * 1e9, "ns");
    kiv::bench::Bench("imagelist_platform_by_name_per_item", platformName * 1e9, "ns");
    kiv::bench::Bench("imagelist_baseline_mime_per_item", baseline * 1e9, "ns");
    kiv::bench::Bench("imagelist_warm_read_syscalls", static_cast<double>(warmReads), "calls");
    kiv::bench::Ratio("imagelist_cold_by_item_vs_mime", coldItem, baseline);
    kiv::bench::Ratio("imagelist_cold_by_name_vs_mime", coldName, baseline);
    kiv::bench::Ratio("imagelist_warm_by_item_vs_mime", warmItem, baseline);
    kiv::bench::Ratio("imagelist_warm_by_name_vs_mime", warmName, baseline);
    kiv::bench::Ratio("imagelist_warm_by_name_vs_platform_by_name", warmName, platformName);
    platform.reset();
    if (sink == 42)
        std::puts("");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::thread worker(Run);
    worker.join();
    return 0;
}

// Icon indexes through the system image list, asked from a worker thread as the list views do:
// 100,000 file items of 50 types, cold (a freshly installed platform and empty caches, so every
// type is learnt once) and warm (every type known), by item and by name. The baseline is what a
// program without the shared icon table does per item: ask the MIME database for the type of the
// name and take its icon name; the platform's own (cached) answer per name shows what the image
// list's extension cache adds. The warm passes must not read from the disk: the read system
// calls of the process are counted around them.

#include "IconWorkload.h"
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

constexpr int kItems = kiv::bench::kIconItems;
constexpr int kRounds = 5;

std::vector<IItemIdListPtr> MakeItems()
{
    std::vector<IItemIdListPtr> items;
    items.reserve(kItems);
    for (pf::IdListBytes& list : kiv::bench::MakeIconItemLists())
        items.push_back(TKivItemIdList::Create(std::move(list)));
    return items;
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
    const std::vector<QString> names = kiv::bench::MakeIconItemNames();
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

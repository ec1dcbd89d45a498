// Listing a large folder with the folder component: Next with each object's name, attributes,
// size and date, against a raw readdir + statx loop (the floor of what the system allows) and
// QDirIterator reading the same fields, all in the same run; then how soon a background listing
// hands its first 100 objects to the user-interface thread, and what each listed object costs in
// memory when a view keeps it.
//
// Folder sizes: 100,000 entries by default. Others are given on the command line or in
// KIV_BENCH_WAYFOLD_ENTRIES ("100000 1000000"); a million files take a while to create.

#include "EnumWorkload.h"
#include "KivBench.h"
#include "core/folder/ShellFolderEnumeratorWorkItem.h"
#include "core/folder/Wayfold.h"
#include "core/notify/KivShellChangeNotifier.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/KivItemIdList.h"
#include "core/threading/ThreadPool.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/ManualDispatcher.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What a file list asks of each object while it fills itself.
constexpr std::uint32_t kMask = kiv::pf::sfgao::FOLDER | kiv::pf::sfgao::FILESYSTEM |
                                kiv::pf::sfgao::HIDDEN | kiv::pf::sfgao::LINK |
                                kiv::pf::sfgao::READONLY | kiv::pf::sfgao::STREAM |
                                kiv::pf::sfgao::CANRENAME | kiv::pf::sfgao::CANDELETE;

std::uint64_t WayfoldLoop(const kiv::IItemIdListPtr& pFolder)
{
    std::uint64_t total = 0;
    kiv::TWayfold folder;
    folder.SetFolderIdList(pFolder);
    kiv::pf::FindData data;
    while (folder.Next()) {
        folder.GetFindData(data);
        const std::uint32_t attributes = folder.GetAttributes(kMask);
        total += data.Size + (data.LastWriteTime.Ticks & 1) + (attributes & 1) +
                 static_cast<std::uint64_t>(data.Name.size());
    }
    return total;
}

double Seconds(auto&& pWork)
{
    const auto start = std::chrono::steady_clock::now();
    pWork();
    return kiv::bench::SecondsSince(start);
}

// Milliseconds from queueing a background listing until its 100th object reached the
// user-interface thread.
double FirstHundred(const kiv::IItemIdListPtr& pFolder, kiv::pf::fake::ManualDispatcher& pUi)
{
    kiv::TKivShellChangeNotifier notifier;
    int delivered = 0;
    notifier.OnChangePIDL = [&](kiv::TKivShellChangeNotifier&, kiv::TNotificationEvent,
                                const kiv::IItemIdListPtr&,
                                const kiv::IItemIdListPtr&) { ++delivered; };
    kiv::TWayfold component;
    component.SetFolderIdList(pFolder);
    const auto start = std::chrono::steady_clock::now();
    const auto item = kiv::TShellFolderEnumeratorWorkItem::CreateNoAdd(notifier, component);
    kiv::TWorkerThreadPool::Instance()->AddWorkItem(item, kiv::TPriority::Normal);
    pUi.RunUntil([&] { return delivered >= 100; }, 60s);
    const double ms = kiv::bench::SecondsSince(start) * 1e3;
    item->Terminate();
    // An item that ends wakes nobody: look at the count every few milliseconds.
    const auto idle = [] { return kiv::TWorkerThreadPool::Instance()->WorkItemsCount() == 0; };
    while (!idle())
        pUi.RunUntil(idle, 5ms);
    return ms;
}

long long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    statm >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Bytes per object of keeping every listed object's absolute list, as a view keeps its items.
double MemoryPerObject(const kiv::IItemIdListPtr& pFolder, int pEntries)
{
    std::vector<kiv::IItemIdListPtr> kept;
    kept.reserve(static_cast<std::size_t>(pEntries));
    const long long before = ResidentBytes();
    kiv::TWayfold folder;
    folder.SetFolderIdList(pFolder);
    while (folder.Next())
        kept.push_back(folder.AbsoluteItemIdList());
    const long long after = ResidentBytes();
    return kept.empty() ? 0.0
                        : static_cast<double>(after - before) / static_cast<double>(kept.size());
}

std::vector<int> EntryCounts(int argc, char** argv)
{
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) {
        if (const char* text = std::getenv("KIV_BENCH_WAYFOLD_ENTRIES")) {
            for (const QString& piece :
                 QString::fromLocal8Bit(text).split(u' ', Qt::SkipEmptyParts))
                counts.push_back(piece.toInt());
        }
    }
    std::erase_if(counts, [](int pCount) { return pCount < 100; });
    if (counts.empty())
        counts.push_back(100000);
    return counts;
}

std::string Label(int pEntries)
{
    if (pEntries % 1000000 == 0)
        return std::to_string(pEntries / 1000000) + "M";
    if (pEntries % 1000 == 0)
        return std::to_string(pEntries / 1000) + "k";
    return std::to_string(pEntries);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    kiv::pf::TScopedPlatform platform(kiv::pf::lnx::CreateLinuxPlatform());
    kiv::pf::fake::ManualDispatcher ui;
    kiv::pf::TScopedUi scopedUi(ui);

    for (const int entries : EntryCounts(argc, argv)) {
        QTemporaryDir dir;
        if (!dir.isValid())
            return 1;
        const std::string folder = dir.path().toStdString();
        kiv::bench::FillEnumFolder(folder, entries);
        const kiv::IItemIdListPtr list = kiv::TKivItemIdList::Parse(dir.path());
        if (list->IsInvalid())
            return 1;

        // The contenders take turns round by round, each keeping its best round: other work on
        // the machine then weighs on all of them alike.
        volatile std::uint64_t sink =
            kiv::bench::RawEnumLoop(folder); // warms the caches for every contender
        double raw = std::numeric_limits<double>::max();
        double ours = raw;
        double qt = raw;
        const int rounds = entries >= 1000000 ? 3 : 7;
        for (int round = 0; round < rounds; ++round) {
            raw = std::min(raw, Seconds([&] { sink = sink + kiv::bench::RawEnumLoop(folder); }));
            ours = std::min(ours, Seconds([&] { sink = sink + WayfoldLoop(list); }));
            qt = std::min(qt, Seconds([&] { sink = sink + kiv::bench::QtEnumLoop(dir.path()); }));
        }
        double first = std::numeric_limits<double>::max();
        for (int round = 0; round < 3; ++round)
            first = std::min(first, FirstHundred(list, ui));

        const std::string n = Label(entries);
        kiv::bench::Bench(("wayfold_raw_readdir_statx_" + n).c_str(), raw * 1e6 / entries,
                          "us/entry");
        kiv::bench::Bench(("wayfold_next_" + n).c_str(), ours * 1e6 / entries, "us/entry");
        kiv::bench::Bench(("wayfold_qdiriterator_" + n).c_str(), qt * 1e6 / entries, "us/entry");
        kiv::bench::Bench(("wayfold_async_first100_" + n).c_str(), first, "ms");
        kiv::bench::Bench(("wayfold_memory_per_object_" + n).c_str(),
                          MemoryPerObject(list, entries), "bytes");
        kiv::bench::Ratio(("wayfold_next_vs_raw_" + n).c_str(), ours, raw);
        kiv::bench::Ratio(("wayfold_next_vs_qdiriterator_" + n).c_str(), ours, qt);
    }
    return 0;
}

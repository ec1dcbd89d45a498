// Icon indexes of a large listing, asked from a worker thread as the list views do: 100,000 file
// items of 50 types, through the icon service (cold: a fresh service that must learn each type
// once; warm: every type known), against what a program without the shared icon table does per
// item: ask the MIME database for the name's type and the icon theme for its icon.

#include "IconWorkload.h"
#include "KivBench.h"
#include "platform/linux/LinuxIcons.h"
#include "platform/linux/LinuxItems.h"
#include "platform/linux/LinuxNamespace.h"

#include <QGuiApplication>
#include <QIcon>
#include <QMimeDatabase>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using namespace kiv::pf;

constexpr int kItems = kiv::bench::kIconItems;

void Run()
{
    const std::vector<IdListBytes> items = kiv::bench::MakeIconItemLists();
    const std::vector<QString> names = kiv::bench::MakeIconItemNames();
    long long sink = 0;

    // The very first pass of the process also loads the theme and the MIME database.
    auto start = std::chrono::steady_clock::now();
    {
        lnx::TLinuxIcons icons;
        for (const IdListBytes& item : items)
            sink += icons.IconIndexOfIdList(IdSpan(item), false);
    }
    kiv::bench::Bench("icons_first_pass_total", kiv::bench::SecondsSince(start) * 1e3, "ms");

    // Cold: a fresh service each round learns the 50 types again.
    double cold = 1e9;
    for (int round = 0; round < 5; ++round) {
        lnx::TLinuxIcons icons;
        start = std::chrono::steady_clock::now();
        for (const IdListBytes& item : items)
            sink += icons.IconIndexOfIdList(IdSpan(item), false);
        cold = std::min(cold, kiv::bench::SecondsSince(start) / kItems);
    }

    lnx::TLinuxIcons icons;
    for (const IdListBytes& item : items)
        sink += icons.IconIndexOfIdList(IdSpan(item), false);
    const std::uint64_t queries = icons.MimeQueries();
    // What reading the counter costs in reads (the end-of-file read of one look, the first read
    // of the next), taken off the warm figure.
    const long long firstLook = kiv::bench::ReadSystemCalls();
    const long long overhead = kiv::bench::ReadSystemCalls() - firstLook;
    const long long readsBefore = kiv::bench::ReadSystemCalls();
    double warm = 1e9;
    for (int round = 0; round < 5; ++round) {
        start = std::chrono::steady_clock::now();
        for (const IdListBytes& item : items)
            sink += icons.IconIndexOfIdList(IdSpan(item), false);
        warm = std::min(warm, kiv::bench::SecondsSince(start) / kItems);
    }
    const long long warmReads = kiv::bench::ReadSystemCalls() - readsBefore - overhead;
    const auto warmQueries = static_cast<long long>(icons.MimeQueries() - queries);

    // Names only (the extension look-ups of the core's image list).
    double byName = 1e9;
    for (int round = 0; round < 5; ++round) {
        start = std::chrono::steady_clock::now();
        for (const QString& name : names)
            sink += icons.IconIndexOfPath(name, false, true);
        byName = std::min(byName, kiv::bench::SecondsSince(start) / kItems);
    }

    // The baseline: the MIME type of each name and its icon from the theme, per item.
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    const QMimeDatabase db;
    double baseline = 1e9;
    for (int round = 0; round < 3; ++round) {
        start = std::chrono::steady_clock::now();
        for (const QString& name : names) {
            const QMimeType type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
            QIcon icon = QIcon::fromTheme(type.iconName());
            if (icon.isNull())
                icon = QIcon::fromTheme(type.genericIconName());
            sink += icon.isNull() ? 0 : 1;
        }
        baseline = std::min(baseline, kiv::bench::SecondsSince(start) / kItems);
    }

    kiv::bench::Bench("icons_cold_per_item", cold * 1e9, "ns");
    kiv::bench::Bench("icons_warm_per_item", warm * 1e9, "ns");
    kiv::bench::Bench("icons_by_name_per_item", byName * 1e9, "ns");
    kiv::bench::Bench("icons_baseline_mime_and_theme_per_item", baseline * 1e9, "ns");
    kiv::bench::Bench("icons_warm_mime_queries", static_cast<double>(warmQueries), "queries");
    kiv::bench::Bench("icons_warm_read_syscalls", static_cast<double>(warmReads), "calls");
    kiv::bench::Ratio("icons_cold_vs_mime_and_theme", cold, baseline);
    kiv::bench::Ratio("icons_warm_vs_mime_and_theme", warm, baseline);
    kiv::bench::Ratio("icons_by_name_vs_mime_and_theme", byName, baseline);
    if (sink == 42)
        std::puts("");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The baseline's theme look-ups need the application object of Qt Gui.
    QGuiApplication app(argc, argv);
    std::thread worker(Run);
    worker.join();
    return 0;
}

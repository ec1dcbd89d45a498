// Item identifier lists against plain file-system and string work on the same data:
//   - Parse of 100k distinct existing paths (with and without resolving the list) against a
//     stat of each path (QFileInfo::exists);
//   - Equals (display and exact) and CompareTo of 1M pairs of resolved lists against comparing
//     their paths as strings;
//   - Path of 1M resolved lists, which must be a cached read, against copying a string.
#include "KivBench.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivItemIdList.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <vector>

namespace {

using kiv::IItemIdListPtr;
using kiv::TItemIdListComparison;
using kiv::TKivItemIdList;

// 100 folders of 1000 files: 100k distinct paths.
constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;
constexpr int kPaths = kFolders * kFilesPerFolder;
// Lists compared in pairs; 1M calls cycle over them.
constexpr int kLists = 1000;
constexpr int kCalls = 1000000;

std::vector<QString> MakeFiles(const QString& pRoot)
{
    std::vector<QString> paths;
    paths.reserve(kPaths);
    for (int f = 0; f < kFolders; ++f) {
        const QString folder = pRoot + QStringLiteral("/folder%1").arg(f);
        QDir().mkpath(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            const QString path = folder + QStringLiteral("/file %1.txt").arg(i);
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            paths.push_back(path);
        }
    }
    return paths;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const std::vector<QString> paths = MakeFiles(dir.path());
    kiv::pf::TScopedPlatform platform(kiv::pf::lnx::CreateLinuxPlatform());
    volatile int sink = 0;

    // Parse: one round over the distinct paths for each contender (the disk cache is warm for
    // all of them after the files were made).
    std::size_t next = 0;
    const auto nextPath = [&]() -> const QString& { return paths[next++ % paths.size()]; };
    const double stat =
        kiv::bench::SecondsPerCall([&] { sink = sink + QFileInfo::exists(nextPath()); }, kPaths, 1);
    const double parse = kiv::bench::SecondsPerCall(
        [&] { sink = sink + (TKivItemIdList::Parse(nextPath()) != nullptr); }, kPaths, 1);
    const double resolve = kiv::bench::SecondsPerCall(
        [&] { sink = sink + TKivItemIdList::Parse(nextPath())->IsInvalid(); }, kPaths, 1);
    kiv::bench::Bench("itemidlist_parse", parse * 1e6, "us/call");
    kiv::bench::Bench("itemidlist_parse_resolved", resolve * 1e6, "us/call");
    kiv::bench::Bench("itemidlist_qfileinfo_exists", stat * 1e6, "us/call");
    kiv::bench::Ratio("itemidlist_parse_vs_qfileinfo_exists", parse, stat);
    kiv::bench::Ratio("itemidlist_parse_resolved_vs_qfileinfo_exists", resolve, stat);

    // Resolved lists in two sets of objects naming the same files: a from text, b from bytes.
    std::vector<IItemIdListPtr> a;
    std::vector<IItemIdListPtr> b;
    std::vector<QString> texts;
    for (int i = 0; i < kLists; ++i) {
        a.push_back(TKivItemIdList::Parse(paths[static_cast<std::size_t>(i) * 97 % paths.size()]));
        b.push_back(TKivItemIdList::Create(*a.back()->WindowsPointer()));
        texts.push_back(b.back()->Path()); // computes and caches b's path
    }
    int call = 0;
    const auto pairOf = [&](auto&& pCompare) {
        const int i = call++ % kLists;
        // Every other pair names two different files.
        return pCompare(static_cast<std::size_t>(i),
                        static_cast<std::size_t>((call & 1) ? i : (i + 1) % kLists));
    };
    const double stringEquals = kiv::bench::SecondsPerCall(
        [&] { sink = sink + pairOf([&](auto x, auto y) { return texts[x] == texts[y]; }); },
        kCalls);
    const double stringCompare = kiv::bench::SecondsPerCall(
        [&] { sink = sink + pairOf([&](auto x, auto y) { return texts[x].compare(texts[y]); }); },
        kCalls);
    const double equalsDisplay = kiv::bench::SecondsPerCall(
        [&] {
            sink = sink + pairOf([&](auto x, auto y) {
                       return a[x]->Equals(b[y], TItemIdListComparison::ilcDisplay);
                   });
        },
        kCalls);
    const double equalsExact = kiv::bench::SecondsPerCall(
        [&] {
            sink = sink + pairOf([&](auto x, auto y) {
                       return a[x]->Equals(b[y], TItemIdListComparison::ilcExact);
                   });
        },
        kCalls, 1);
    const double compareDisplay = kiv::bench::SecondsPerCall(
        [&] {
            sink = sink + pairOf([&](auto x, auto y) {
                       return a[x]->CompareTo(b[y], TItemIdListComparison::ilcDisplay);
                   });
        },
        kCalls, 1);
    kiv::bench::Bench("itemidlist_equals_display", equalsDisplay * 1e9, "ns/call");
    kiv::bench::Bench("itemidlist_equals_exact", equalsExact * 1e9, "ns/call");
    kiv::bench::Bench("itemidlist_compareto_display", compareDisplay * 1e9, "ns/call");
    kiv::bench::Bench("itemidlist_string_equals", stringEquals * 1e9, "ns/call");
    kiv::bench::Bench("itemidlist_string_compare", stringCompare * 1e9, "ns/call");
    kiv::bench::Ratio("itemidlist_equals_display_vs_string", equalsDisplay, stringEquals);
    kiv::bench::Ratio("itemidlist_equals_exact_vs_string", equalsExact, stringEquals);
    kiv::bench::Ratio("itemidlist_compareto_display_vs_string", compareDisplay, stringCompare);

    // Path of resolved lists: both sets, cached after the first call.
    const double path = kiv::bench::SecondsPerCall(
        [&] {
            const int i = call++ % kLists;
            sink = sink +
                   static_cast<int>((call & 1 ? a : b)[static_cast<std::size_t>(i)]->Path().size());
        },
        kCalls);
    const double copy = kiv::bench::SecondsPerCall(
        [&] {
            const int i = call++ % kLists;
            const QString text = texts[static_cast<std::size_t>(i)];
            sink = sink + static_cast<int>(text.size());
        },
        kCalls);
    kiv::bench::Bench("itemidlist_path", path * 1e9, "ns/call");
    kiv::bench::Bench("itemidlist_string_copy", copy * 1e9, "ns/call");
    kiv::bench::Ratio("itemidlist_path_vs_string_copy", path, copy);
    return 0;
}

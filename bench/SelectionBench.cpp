// Checking files and totalling them: 100,000 files in 1,000 folders are checked one by one (each
// folder merges into one entry as its last file is checked, and the whole tree into one at the
// end), and, apart, the 1,000 folders are checked and walked on the worker pool. Both against a
// du-like walk of the same tree (nftw without following links, one lstat per entry), the least
// any tool that reports sizes asks of the system.

#include "KivBench.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/platform/UiDispatcher.h"
#include "core/selection/KivSelectionList.h"
#include "core/threading/KivThreading.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/memory/ManualDispatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;

struct TDuTotals
{
    std::uint64_t Size = 0;
    std::uint64_t Files = 0;
    std::uint64_t Folders = 0;
};

TDuTotals gDu;

int CountEntry(const char*, const struct stat* pStat, int pType, FTW*)
{
    if (pType == FTW_D)
        ++gDu.Folders;
    else if (pType == FTW_F) {
        ++gDu.Files;
        gDu.Size += static_cast<std::uint64_t>(pStat->st_size);
    }
    return 0;
}

TDuTotals DuWalk(const std::string& pRoot)
{
    gDu = TDuTotals{};
    ::nftw(pRoot.c_str(), CountEntry, 64, FTW_PHYS);
    return gDu;
}

std::vector<QString> Fill(const std::string& pRoot)
{
    std::vector<QString> files;
    files.reserve(kFolders * kFilesPerFolder);
    char name[64];
    for (int folder = 0; folder < kFolders; ++folder) {
        std::snprintf(name, sizeof name, "/d%04d", folder);
        const std::string dir = pRoot + name;
        ::mkdir(dir.c_str(), 0755);
        for (int file = 0; file < kFilesPerFolder; ++file) {
            std::snprintf(name, sizeof name, "/f%03d.dat", file);
            const std::string path = dir + name;
            const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0)
                continue;
            if (::write(fd, "data", 1 + file % 4) < 0)
                std::perror("write");
            ::close(fd);
            files.push_back(QString::fromStdString(path));
        }
    }
    return files;
}

template <typename F> double Seconds(F&& pWork)
{
    const auto start = std::chrono::steady_clock::now();
    pWork();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The processor time of the calling thread taken by pWork.
template <typename F> double CpuSeconds(F&& pWork)
{
    const double start = kiv::bench::ThreadCpuSeconds();
    pWork();
    return kiv::bench::ThreadCpuSeconds() - start;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    kiv::pf::fake::ManualDispatcher ui;
    kiv::pf::TScopedUi scopedUi(ui);
    kiv::pf::TScopedPlatform platform(kiv::pf::lnx::CreateLinuxPlatform());
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kiv-bench-XXXXXX"));
    const std::string root = dir.path().toStdString();
    const std::vector<QString> files = Fill(root);
    const kiv::IWorkerThreadPoolPtr pool =
        kiv::TWorkerPool::CreateInstance(kiv::TWorkerPoolConfig{});

    // Best of three rounds each, the baseline warm like ours.
    double du = 1e9;
    double duCpu = 1e9;
    double check = 1e9;
    double checkCpu = 1e9;
    double folders = 1e9;
    TDuTotals expected;
    bool same = true;
    double stat = 1e9;
    for (int round = 0; round < 3; ++round) {
        du = std::min(du, Seconds([&] {
                          duCpu = std::min(duCpu, CpuSeconds([&] { expected = DuWalk(root); }));
                      }));
        stat = std::min(stat, Seconds([&] {
                            kiv::pf::FindData data;
                            for (const QString& file : files)
                                kiv::pf::Platform().FileSystem().GetFindData(file, data);
                        }));

        kiv::TKivSelectionList list;
        list.SetWorkerPool(pool);
        check = std::min(check, Seconds([&] {
                             // Checking files runs on this thread alone: no walk is started.
                             checkCpu = std::min(checkCpu, CpuSeconds([&] {
                                                     list.BeginUpdate();
                                                     for (const QString& file : files)
                                                         list.AddPathToSelection(file);
                                                     list.EndUpdate();
                                                 }));
                             ui.RunUntil([&] { return list.PendingCalculations() == 0; },
                                         std::chrono::minutes(5));
                         }));
        // The tree's own folder counts as du counts it.
        same = same && list.Count() == 1 && list.Size() == expected.Size &&
               list.FileCount() == expected.Files && list.FolderCount() == expected.Folders;

        kiv::TKivSelectionList byFolder;
        byFolder.SetWorkerPool(pool);
        folders = std::min(folders, Seconds([&] {
                               byFolder.BeginUpdate();
                               for (int folder = 0; folder < kFolders; ++folder)
                                   byFolder.AddPathToSelection(
                                       dir.path() +
                                       QStringLiteral("/d%1").arg(folder, 4, 10, QChar(u'0')));
                               byFolder.EndUpdate();
                               ui.RunUntil([&] { return byFolder.PendingCalculations() == 0; },
                                           std::chrono::minutes(5));
                           }));
        same = same && byFolder.Size() == expected.Size && byFolder.FileCount() == expected.Files;
    }
    if (!same)
        std::printf("# totals differ from the du-like walk\n");

    kiv::bench::Bench("selection_du_walk", du * 1000, "ms");
    // Checking a file asks the disk about it once; this is that part alone.
    kiv::bench::Bench("selection_stat_100k_files", stat * 1000, "ms");
    kiv::bench::Bench("selection_check_100k_files", check * 1000, "ms");
    kiv::bench::Bench("selection_check_1k_folders", folders * 1000, "ms");
    kiv::bench::Ratio("selection_check_100k_files", check, du);
    // The same in processor time, which a busy machine does not inflate.
    kiv::bench::Bench("selection_du_walk_cpu", duCpu * 1000, "ms");
    kiv::bench::Bench("selection_check_100k_files_cpu", checkCpu * 1000, "ms");
    kiv::bench::Ratio("selection_check_100k_files_cpu", checkCpu, duCpu);
    kiv::bench::Ratio("selection_check_1k_folders", folders, du);
    return same ? 0 : 1;
}

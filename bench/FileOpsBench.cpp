// Copying into an empty folder: our engine against "cp -r" and "rsync -a" on the same data in
// the same run, taking turns. Two sets: many small files (2000 of 4 KB: the cost per file) and a
// few large ones (20 of 50 MB: the cost per byte; 20 MB files when the temporary folder's disk
// cannot hold the set and a copy of it, said by a BENCH line). Each copy starts after a sync, so
// no copy pays for the write-back of the one before; the best of five rounds counts (three for
// the large set, which keeps the run short).
#include "KivBench.h"
#include "core/platform/FileNames.h"
#include "platform/linux/LinuxFileOperation.h"

#include <QCoreApplication>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace kiv;

void WriteFile(const std::string& pPath, std::size_t pSize)
{
    std::vector<char> data(pSize);
    for (std::size_t i = 0; i < pSize; ++i)
        data[i] = static_cast<char>((i * 131 + pPath.size()) & 0xFF);
    const int fd = ::open(pPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        std::abort();
    ::close(fd);
}

bool Installed(const char* pProgram)
{
    return kiv::bench::RunProgram(
               {"sh", "-c", std::string("command -v ") + pProgram + " >/dev/null"}) == 0;
}

using TCopier = std::function<void(const std::string&, const std::string&)>;

struct TBest
{
    std::vector<double> Wall;
    // Processor time (ours, or the tool's as a child process): what a busy machine does not
    // inflate.
    std::vector<double> Cpu;
};

// Best time of each copier over pRounds rounds, the copiers taking turns within a round so that
// whatever else the machine does weighs on all of them alike. Each copy goes into a fresh empty
// folder after a sync. With pKeepCopies the copies stay until the end: ext4 without a journal
// passes over inodes freed in the last minute (more while their table is not written back)
// when it makes new files, reading each one's deletion time, so a copy made right after the
// one before was deleted pays for that deletion, by an amount that swings from round to round
// and swamps a per-file cost. Runs of this benchmark are best a minute or more apart.
TBest BestCopies(const std::string& pWork, const std::string& pSource,
                 const std::vector<TCopier>& pCopiers, int pRounds, bool pKeepCopies)
{
    TBest best{std::vector<double>(pCopiers.size(), 1e30),
               std::vector<double>(pCopiers.size(), 1e30)};
    const std::string copies = pWork + "/copies";
    ::mkdir(copies.c_str(), 0755);
    int made = 0;
    for (int round = 0; round < pRounds; ++round) {
        for (std::size_t i = 0; i < pCopiers.size(); ++i) {
            const std::string target = copies + "/" + std::to_string(pKeepCopies ? made++ : 0);
            kiv::bench::RunProgram({"rm", "-rf", target});
            ::mkdir(target.c_str(), 0755);
            ::sync();
            const double cpuStart = bench::ProcessAndChildrenCpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            pCopiers[i](pSource, target);
            best.Wall[i] = std::min(best.Wall[i], bench::SecondsSince(start));
            best.Cpu[i] = std::min(best.Cpu[i], bench::ProcessAndChildrenCpuSeconds() - cpuStart);
        }
    }
    kiv::bench::RunProgram({"rm", "-rf", copies});
    return best;
}

void OurCopy(const std::string& pSource, const std::string& pTarget)
{
    const pf::IFileOperationPtr op = pf::lnx::CreateLinuxFileOperation();
    op->SetOperationFlags(pf::fof::FOF_SILENT | pf::fof::FOF_NOCONFIRMATION);
    op->CopyItem(pf::DecodeFileName(pSource), pf::DecodeFileName(pTarget));
    if (op->PerformOperations() != pf::S_OK)
        std::abort();
}

void Compare(const std::string& pName, const std::string& pWork, const std::string& pSource,
             bool pRsync, int pRounds, bool pKeepCopies)
{
    std::vector<TCopier> copiers{OurCopy, [](const std::string& pFrom, const std::string& pTo) {
                                     kiv::bench::RunProgram({"cp", "-r", pFrom, pTo + "/"});
                                 }};
    if (pRsync)
        copiers.emplace_back([](const std::string& pFrom, const std::string& pTo) {
            kiv::bench::RunProgram({"rsync", "-a", pFrom, pTo + "/"});
        });
    const TBest best = BestCopies(pWork, pSource, copiers, pRounds, pKeepCopies);
    const std::string name = std::string("fileops_") + pName;
    bench::Bench((name + "_ours").c_str(), best.Wall[0] * 1000, "ms");
    bench::Bench((name + "_cp").c_str(), best.Wall[1] * 1000, "ms");
    bench::Ratio((name + "_vs_cp").c_str(), best.Wall[0], best.Wall[1]);
    bench::Bench((name + "_ours_cpu").c_str(), best.Cpu[0] * 1000, "ms");
    bench::Bench((name + "_cp_cpu").c_str(), best.Cpu[1] * 1000, "ms");
    bench::Ratio((name + "_vs_cp_cpu").c_str(), best.Cpu[0], best.Cpu[1]);
    if (!pRsync)
        return;
    bench::Bench((name + "_rsync").c_str(), best.Wall[2] * 1000, "ms");
    bench::Ratio((name + "_vs_rsync").c_str(), best.Wall[0], best.Wall[2]);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/var/tmp") + "/bench-fileops-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return 1;
    const std::string work = pattern;
    const bool rsync = Installed("rsync");
    if (!rsync)
        std::printf("# rsync is not installed: its figures are left out\n");

    const std::string small = work + "/small";
    ::mkdir(small.c_str(), 0755);
    for (int i = 0; i < 2000; ++i)
        WriteFile(small + "/file" + std::to_string(i) + ".dat", 4096);
    // Copies of 8 MB each: kept.
    Compare("small_2000x4k", work, small, rsync, 5, true);
    kiv::bench::RunProgram({"rm", "-rf", small});

    // The set, one copy of it and 1 GB to spare for everything else on the disk.
    constexpr std::uint64_t kWanted = 2 * 20 * (std::uint64_t{50} << 20) + (std::uint64_t{1} << 30);
    struct statvfs disk
    {
    };
    const bool room = ::statvfs(work.c_str(), &disk) == 0 &&
                      std::uint64_t{disk.f_bavail} * disk.f_frsize >= kWanted;
    const std::size_t megabytes = room ? 50 : 20;
    if (!room)
        std::printf("# not enough free space for 20 files of 50 MB: 20 MB files instead\n");
    bench::Bench("fileops_big_file_size", static_cast<double>(megabytes), "MB");
    const std::string big = work + "/big";
    ::mkdir(big.c_str(), 0755);
    for (int i = 0; i < 20; ++i)
        WriteFile(big + "/file" + std::to_string(i) + ".dat", megabytes << 20);
    // A handful of files: deleting a copy costs the next one nothing worth measuring.
    Compare("big_20x" + std::to_string(megabytes) + "m", work, big, rsync, 3, false);

    kiv::bench::RunProgram({"rm", "-rf", work});
    return 0;
}

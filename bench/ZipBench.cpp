// Compressing a folder of 2000 files of 4 KB into a new ZIP archive: ours against "zip -r" at the
// same deflate level (6, the level both use by default) in the same run, taking turns; the best
// of five rounds counts. Small files show the cost per entry, which is what compressing a
// selection mostly pays.
#include "KivBench.h"
#include "core/platform/FileNames.h"
#include "platform/linux/LinuxArchive.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace kiv;

void WriteFile(const std::string& pPath, std::size_t pSize)
{
    // Text-like content: compresses, but not to nothing.
    std::string data;
    data.reserve(pSize);
    unsigned state = static_cast<unsigned>(pPath.size()) * 2654435761u;
    while (data.size() < pSize) {
        state = state * 1103515245u + 12345u;
        data += "word" + std::to_string((state >> 16) % 500) + ' ';
    }
    data.resize(pSize);
    const int fd = ::open(pPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        std::abort();
    ::close(fd);
}

} // namespace

int main()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/var/tmp") + "/bench-zip-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return 1;
    const std::string work = pattern;
    if (kiv::bench::RunProgram({"sh", "-c", "command -v zip >/dev/null"}) != 0) {
        std::printf("# zip is not installed: nothing to compare with\n");
        return 0;
    }
    const std::string small = work + "/small";
    ::mkdir(small.c_str(), 0755);
    for (int i = 0; i < 2000; ++i)
        WriteFile(small + "/file" + std::to_string(i) + ".txt", 4096);

    const std::unique_ptr<pf::IArchives> archives = pf::lnx::CreateLinuxArchives();
    const std::string ours = work + "/ours.zip";
    const std::string theirs = work + "/theirs.zip";
    double bestOurs = 1e30;
    double bestZip = 1e30;
    // Processor time too (ours, and the tool's as a child process): a busy machine does not
    // inflate it.
    double cpuOurs = 1e30;
    double cpuZip = 1e30;
    for (int round = 0; round < 5; ++round) {
        ::unlink(ours.c_str());
        ::sync();
        double cpuStart = bench::ProcessAndChildrenCpuSeconds();
        auto start = std::chrono::steady_clock::now();
        if (archives->CreateEmpty(pf::DecodeFileName(ours)) != pf::S_OK ||
            archives->Add(pf::DecodeFileName(ours), {pf::DecodeFileName(small)},
                          pf::IArchives::kDefaultLevel) != pf::S_OK)
            std::abort();
        bestOurs = std::min(bestOurs, bench::SecondsSince(start));
        cpuOurs = std::min(cpuOurs, bench::ProcessAndChildrenCpuSeconds() - cpuStart);

        ::unlink(theirs.c_str());
        ::sync();
        cpuStart = bench::ProcessAndChildrenCpuSeconds();
        start = std::chrono::steady_clock::now();
        if (kiv::bench::RunProgram(
                {"sh", "-c", "cd '" + work + "' && zip -r -q -6 theirs.zip small"}) != 0)
            std::abort();
        bestZip = std::min(bestZip, bench::SecondsSince(start));
        cpuZip = std::min(cpuZip, bench::ProcessAndChildrenCpuSeconds() - cpuStart);
    }
    struct stat oursStat
    {
    };
    struct stat theirsStat
    {
    };
    ::stat(ours.c_str(), &oursStat);
    ::stat(theirs.c_str(), &theirsStat);
    bench::Bench("zip_small_2000x4k_ours", bestOurs * 1000, "ms");
    bench::Bench("zip_small_2000x4k_zip", bestZip * 1000, "ms");
    bench::Ratio("zip_small_2000x4k_vs_zip", bestOurs, bestZip);
    bench::Bench("zip_small_2000x4k_ours_cpu", cpuOurs * 1000, "ms");
    bench::Bench("zip_small_2000x4k_zip_cpu", cpuZip * 1000, "ms");
    bench::Ratio("zip_small_2000x4k_vs_zip_cpu", cpuOurs, cpuZip);
    bench::Ratio("zip_small_2000x4k_size_vs_zip", static_cast<double>(oursStat.st_size),
                 static_cast<double>(theirsStat.st_size));
    kiv::bench::RunProgram({"rm", "-rf", work});
    return 0;
}

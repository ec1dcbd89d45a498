#pragma once

// A small harness for the benchmarks: times a piece of work as the best of several rounds (the
// least disturbed by the rest of the machine) and prints the figures in the project's form:
//   BENCH <name> <value> <unit>
//   RATIO <name> <our cost / baseline cost>      (below 1: we do better)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <limits>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kiv::bench {

// Seconds per call of pWork, best of pRounds rounds of pCalls calls each.
template <typename F> double SecondsPerCall(F&& pWork, int pCalls, int pRounds = 5)
{
    double best = std::numeric_limits<double>::max();
    for (int round = 0; round < pRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < pCalls; ++i)
            pWork();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count() / pCalls);
    }
    return best;
}

// Seconds since pStart.
inline double SecondsSince(std::chrono::steady_clock::time_point pStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - pStart).count();
}

// Processor time this thread has used, in seconds. On a busy machine the wall time of a piece
// of work includes the time others held the processor; the thread's own time does not, so a
// ratio of these stays meaningful when the machine is shared (work on other threads is not in
// it).
inline double ThreadCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Processor time used so far by this process and by the child processes it has waited for, in
// seconds: for comparing our work with a tool run as a program, on a machine that others share.
inline double ProcessAndChildrenCpuSeconds()
{
    const auto seconds = [](const timeval& pTime) {
        return static_cast<double>(pTime.tv_sec) + static_cast<double>(pTime.tv_usec) / 1e6;
    };
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    return seconds(self.ru_utime) + seconds(self.ru_stime) + seconds(children.ru_utime) +
           seconds(children.ru_stime);
}

// Read system calls of this process so far ("syscr" of /proc/self/io; -1 when unreadable): a
// pass that must not touch the disk adds none.
inline long long ReadSystemCalls()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "syscr:")
            return value;
    }
    return -1;
}

// Runs a program (looked up in PATH) with pArgs (the program first) and waits for it: its exit
// status, or -1 when it could not start or did not exit normally. For the tools a benchmark
// compares against.
inline int RunProgram(std::vector<std::string> pArgs)
{
    std::vector<char*> argv;
    for (std::string& arg : pArgs)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void Bench(const char* pName, double pValue, const char* pUnit)
{
    std::printf("BENCH %s %.3f %s\n", pName, pValue, pUnit);
    std::fflush(stdout);
}

inline void Ratio(const char* pName, double pOurs, double pBaseline)
{
    std::printf("RATIO %s %.3f\n", pName, pBaseline > 0 ? pOurs / pBaseline : 0.0);
    std::fflush(stdout);
}

} // namespace kiv::bench

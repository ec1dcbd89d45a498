#pragma once

// A small harness for the benchmarks: times a piece of work as the best of several rounds (the
// least disturbed by the rest of the machine) and prints the figures in the project's form:
//   BENCH <name> <value> <unit>
//   RATIO <name> <our cost / baseline cost>      (below 1: we do better)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>

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

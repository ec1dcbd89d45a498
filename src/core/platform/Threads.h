#pragma once

// What the thread pools need of the operating system: the processor count, the machine's
// processor load, thread identity, names and priorities, and the background processing mode.
// Thread-safe; the per-thread operations act on the calling thread unless given a thread id.

#include <QString>

#include <cstdint>
#include <optional>

namespace kiv::pf {

// Scheduling priority of a thread, from idle to time-critical; Normal is the process default.
enum class TThreadPriority
{
    Idle,
    Lowest,
    BelowNormal,
    Normal,
    AboveNormal,
    Highest,
    TimeCritical
};

// Cumulative processor times of the whole machine, in any unit common to the three.
struct TSystemTimes
{
    std::uint64_t Idle = 0;
    std::uint64_t Kernel = 0; // includes idle time, as the load formula expects
    std::uint64_t User = 0;
};

class IThreads
{
public:
    virtual ~IThreads() = default;

    // The environment variable "NUMBER_OF_PROCESSORS" when it holds a positive number, else the
    // processors the system reports online; at least 1.
    virtual int ProcessorCount() = 0;

    // The machine's processor load in percent (0..100), recomputed at most every 200 ms.
    virtual int CpuUsage() = 0;

    // The system times the load is computed from; empty when the system does not report them.
    virtual std::optional<TSystemTimes> SystemTimes() = 0;

    // The calling thread's id as the system's tools show it.
    virtual std::uint64_t CurrentThreadId() = 0;

    // Names the calling thread for debuggers; long names are cut to what the system keeps.
    virtual void SetCurrentThreadName(const QString& pName) = 0;

    // Applies pPriority to the thread with the id pThreadId (from CurrentThreadId). Raising a
    // priority may be refused by the system; that is not an error.
    virtual void SetThreadPriority(std::uint64_t pThreadId, TThreadPriority pPriority) = 0;

    // Moves the calling thread into background processing (idle processor scheduling and idle
    // disk priority) or back to what it had before. Returns false when the system refused.
    virtual bool SetBackgroundMode(bool pOn) = 0;
};

// The process-wide thread services. Until one is installed a portable fallback answers
// (environment and std::thread for the processor count, load 0, no names, no priorities).
IThreads& Threads();

// Installs pThreads (not owned; null goes back to the fallback) and returns the one it replaces.
IThreads* InstallThreads(IThreads* pThreads);

class TScopedThreads
{
public:
    explicit TScopedThreads(IThreads& pThreads)
        : fPrevious(InstallThreads(&pThreads))
    {
    }
    ~TScopedThreads() { InstallThreads(fPrevious); }
    TScopedThreads(const TScopedThreads&) = delete;
    TScopedThreads& operator=(const TScopedThreads&) = delete;

private:
    IThreads* fPrevious;
};

} // namespace kiv::pf

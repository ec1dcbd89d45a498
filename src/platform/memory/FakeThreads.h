#pragma once

// Thread services for tests: a chosen processor count, scripted system times (or a fixed load),
// thread ids that count up from 1, and a record of names, priorities and background mode.
// Thread-safe.

#include "core/platform/Threads.h"

#include <QStringList>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace kiv::pf::fake {

class FakeThreads final : public IThreads
{
public:
    explicit FakeThreads(int pProcessorCount = 2);

    void SetProcessorCount(int pCount) { fProcessors.store(pCount); }
    // The load CpuUsage answers.
    void SetCpuUsage(int pPercent) { fCpuUsage.store(pPercent); }
    void SetSystemTimes(std::optional<TSystemTimes> pTimes);

    int ProcessorCount() override { return fProcessors.load(); }
    int CpuUsage() override { return fCpuUsage.load(); }
    std::optional<TSystemTimes> SystemTimes() override;
    std::uint64_t CurrentThreadId() override;
    void SetCurrentThreadName(const QString& pName) override;
    void SetThreadPriority(std::uint64_t pThreadId, TThreadPriority pPriority) override;
    bool SetBackgroundMode(bool pOn) override;

    QStringList ThreadNames() const;
    // The priority last set for a thread id; Normal when none was.
    TThreadPriority PriorityOf(std::uint64_t pThreadId) const;
    // Threads now in background mode.
    int BackgroundThreads() const { return fBackground.load(); }

private:
    std::atomic<int> fProcessors;
    std::atomic<int> fCpuUsage{0};
    std::atomic<std::uint64_t> fNextId{1};
    std::atomic<int> fBackground{0};
    mutable std::mutex fLock;
    std::optional<TSystemTimes> fTimes;                   // guarded by fLock
    QStringList fNames;                                   // guarded by fLock
    std::map<std::uint64_t, TThreadPriority> fPriorities; // guarded by fLock
};

} // namespace kiv::pf::fake

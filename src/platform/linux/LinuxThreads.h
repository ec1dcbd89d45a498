#pragma once

// Thread services on Linux: processor count from the environment or sysconf, processor load
// from /proc/stat, thread ids from gettid, names with pthread_setname_np, priorities as nice
// values, background mode as the idle scheduling class plus idle disk priority.

#include "core/platform/Threads.h"
#include "core/threading/CpuUsage.h"

namespace kiv::pf {

class LinuxThreads final : public IThreads
{
public:
    LinuxThreads();

    int ProcessorCount() override;
    int CpuUsage() override;
    std::optional<TSystemTimes> SystemTimes() override;
    std::uint64_t CurrentThreadId() override;
    void SetCurrentThreadName(const QString& pName) override;
    void SetThreadPriority(std::uint64_t pThreadId, TThreadPriority pPriority) override;
    bool SetBackgroundMode(bool pOn) override;

    // The first line of /proc/stat ("cpu  user nice system idle iowait irq softirq steal ...")
    // as system times: idle = idle + iowait, kernel = system + irq + softirq + steal + idle,
    // user = user + nice. Empty when the line does not have that form.
    static std::optional<TSystemTimes> ParseProcStat(const QByteArray& pFirstLine);
    // The nice value for a priority.
    static int NiceValue(TThreadPriority pPriority);

private:
    const int fProcessorCount; // read once: the pools size themselves from it
    TCpuUsageMeter fCpuUsage;
};

} // namespace kiv::pf

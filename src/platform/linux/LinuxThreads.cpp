#include "platform/linux/LinuxThreads.h"

#include <QByteArray>
#include <QList>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kiv::pf {

namespace {

// ioprio_set has no glibc wrapper; the values are the kernel's (linux/ioprio.h).
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassIdle = 3;

int IoprioGet(pid_t pThread)
{
    return static_cast<int>(syscall(SYS_ioprio_get, kIoprioWhoProcess, pThread));
}

int IoprioSet(pid_t pThread, int pValue)
{
    return static_cast<int>(syscall(SYS_ioprio_set, kIoprioWhoProcess, pThread, pValue));
}

pid_t CurrentTid()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// What a thread had before it entered background mode, restored when it leaves.
struct TSavedPriority
{
    bool fActive = false;
    int fPolicy = SCHED_OTHER;
    sched_param fParam{};
    int fIoprio = 0;
};
thread_local TSavedPriority tSaved;

std::uint64_t SteadyMs()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

int ReadProcessorCount()
{
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("NUMBER_OF_PROCESSORS", &ok);
    if (ok && fromEnvironment > 0)
        return fromEnvironment;
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

} // namespace

LinuxThreads::LinuxThreads()
    : fProcessorCount(ReadProcessorCount())
    , fCpuUsage([this] { return SystemTimes(); }, SteadyMs)
{
}

int LinuxThreads::ProcessorCount()
{
    return fProcessorCount;
}

int LinuxThreads::CpuUsage()
{
    return fCpuUsage.Value();
}

std::optional<TSystemTimes> LinuxThreads::ParseProcStat(const QByteArray& pFirstLine)
{
    const QList<QByteArray> fields = pFirstLine.simplified().split(' ');
    if (fields.size() < 5 || fields.front() != "cpu")
        return std::nullopt;
    std::uint64_t value[8] = {};
    for (int i = 0; i < 8 && i + 1 < fields.size(); ++i) {
        bool ok = false;
        value[i] = fields[i + 1].toULongLong(&ok);
        if (!ok)
            return std::nullopt;
    }
    const auto& [user, nice, system, idle, iowait, irq, softirq, steal] = value;
    TSystemTimes times;
    times.Idle = idle + iowait;
    times.Kernel = system + irq + softirq + steal + times.Idle;
    times.User = user + nice;
    return times;
}

std::optional<TSystemTimes> LinuxThreads::SystemTimes()
{
    const int fd = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    QByteArray text(buffer, static_cast<qsizetype>(got));
    const qsizetype end = text.indexOf('\n');
    return ParseProcStat(end >= 0 ? text.left(end) : text);
}

std::uint64_t LinuxThreads::CurrentThreadId()
{
    thread_local const auto id = static_cast<std::uint64_t>(CurrentTid());
    return id;
}

void LinuxThreads::SetCurrentThreadName(const QString& pName)
{
    // The kernel keeps 15 bytes of a thread's name.
    QByteArray name = pName.toUtf8().left(15);
    while (!name.isEmpty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
        name.chop(1); // never end in the middle of a character
    pthread_setname_np(pthread_self(), name.constData());
}

int LinuxThreads::NiceValue(TThreadPriority pPriority)
{
    switch (pPriority) {
    case TThreadPriority::Idle:
        return 19;
    case TThreadPriority::Lowest:
        return 10;
    case TThreadPriority::BelowNormal:
        return 5;
    case TThreadPriority::Normal:
        return 0;
    case TThreadPriority::AboveNormal:
        return -5;
    case TThreadPriority::Highest:
        return -10;
    case TThreadPriority::TimeCritical:
        return -20;
    }
    return 0;
}

void LinuxThreads::SetThreadPriority(std::uint64_t pThreadId, TThreadPriority pPriority)
{
    if (pThreadId == 0)
        return;
    // On Linux the nice value is per thread. Raising it needs privileges we normally lack;
    // the thread then keeps its priority, which is what a refused request should mean.
    setpriority(PRIO_PROCESS, static_cast<id_t>(pThreadId), NiceValue(pPriority));
}

bool LinuxThreads::SetBackgroundMode(bool pOn)
{
    const pid_t tid = CurrentTid();
    if (pOn) {
        if (tSaved.fActive)
            return true;
        TSavedPriority saved;
        saved.fPolicy = sched_getscheduler(tid);
        sched_getparam(tid, &saved.fParam);
        saved.fIoprio = IoprioGet(tid);
        sched_param idle{};
        const bool cpu = sched_setscheduler(tid, SCHED_IDLE, &idle) == 0;
        const bool io = IoprioSet(tid, kIoprioClassIdle << kIoprioClassShift) == 0;
        saved.fActive = cpu || io;
        tSaved = saved;
        return cpu && io;
    }
    if (!tSaved.fActive)
        return true;
    bool ok = true;
    if (tSaved.fPolicy >= 0)
        ok = sched_setscheduler(tid, tSaved.fPolicy, &tSaved.fParam) == 0;
    if (tSaved.fIoprio >= 0)
        ok = IoprioSet(tid, tSaved.fIoprio) == 0 && ok;
    tSaved = TSavedPriority{};
    return ok;
}

} // namespace kiv::pf

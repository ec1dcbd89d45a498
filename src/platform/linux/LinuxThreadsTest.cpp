#include "platform/linux/LinuxThreads.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace kiv::pf {
namespace {

TEST(LinuxThreadsTest, ProcessorCountPrefersTheEnvironment)
{
    const QByteArray saved = qgetenv("NUMBER_OF_PROCESSORS");
    const bool had = qEnvironmentVariableIsSet("NUMBER_OF_PROCESSORS");
    qputenv("NUMBER_OF_PROCESSORS", "7");
    EXPECT_EQ(LinuxThreads().ProcessorCount(), 7);
    qputenv("NUMBER_OF_PROCESSORS", "none");
    EXPECT_EQ(LinuxThreads().ProcessorCount(), static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
    qunsetenv("NUMBER_OF_PROCESSORS");
    EXPECT_EQ(LinuxThreads().ProcessorCount(), static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
    if (had)
        qputenv("NUMBER_OF_PROCESSORS", saved);
}

TEST(LinuxThreadsTest, ParsesTheFirstLineOfProcStat)
{
    const auto times = LinuxThreads::ParseProcStat("cpu  10 2 30 400 5 6 7 8 0 0");
    ASSERT_TRUE(times);
    EXPECT_EQ(times->Idle, 405u);
    EXPECT_EQ(times->Kernel, 30u + 6 + 7 + 8 + 405);
    EXPECT_EQ(times->User, 12u);
    // Old kernels give only four figures.
    const auto old = LinuxThreads::ParseProcStat("cpu 1 2 3 4");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->Idle, 4u);
    EXPECT_FALSE(LinuxThreads::ParseProcStat("cpu0 1 2 3 4 5"));
    EXPECT_FALSE(LinuxThreads::ParseProcStat("cpu 1 x 3 4"));
    EXPECT_FALSE(LinuxThreads::ParseProcStat(""));
}

TEST(LinuxThreadsTest, ReadsTheMachineLoadAndThreadIds)
{
    LinuxThreads threads;
    ASSERT_TRUE(threads.SystemTimes());
    const int load = threads.CpuUsage();
    EXPECT_GE(load, 0);
    EXPECT_LE(load, 100);
    EXPECT_EQ(threads.CurrentThreadId(), static_cast<std::uint64_t>(syscall(SYS_gettid)));
    std::uint64_t other = 0;
    std::thread([&] { other = threads.CurrentThreadId(); }).join();
    EXPECT_NE(other, threads.CurrentThreadId());
}

TEST(LinuxThreadsTest, BackgroundModeIsIdleSchedulingAndIsUndoneAtTheEnd)
{
    LinuxThreads threads;
    std::thread([&] {
        const int before = sched_getscheduler(0);
        ASSERT_TRUE(threads.SetBackgroundMode(true));
        EXPECT_EQ(sched_getscheduler(0), SCHED_IDLE);
        constexpr int kIoprioClassIdle = 3;
        EXPECT_EQ(syscall(SYS_ioprio_get, 1, 0) >> 13, kIoprioClassIdle);
        EXPECT_TRUE(threads.SetBackgroundMode(false));
        EXPECT_EQ(sched_getscheduler(0), before);
    }).join();
}

TEST(LinuxThreadsTest, ThreadNamesAreCutToWhatTheKernelKeeps)
{
    LinuxThreads threads;
    std::thread([&] {
        threads.SetCurrentThreadName(QStringLiteral("TWorkerThread in GlobalThreadPool"));
        char name[32] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        EXPECT_STREQ(name, "TWorkerThread i");
    }).join();
}

} // namespace
} // namespace kiv::pf

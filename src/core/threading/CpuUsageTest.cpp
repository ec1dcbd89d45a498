#include "core/threading/CpuUsage.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

struct TLoadCase
{
    pf::TSystemTimes fOld;
    pf::TSystemTimes fNew;
    int fPercent;
};

class CpuUsagePercentTest : public ::testing::TestWithParam<TLoadCase>
{
};

TEST_P(CpuUsagePercentTest, FollowsTheIdleShareOfKernelPlusUserTime)
{
    EXPECT_EQ(TCpuUsageMeter::Percent(GetParam().fOld, GetParam().fNew), GetParam().fPercent);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CpuUsagePercentTest,
    ::testing::Values(TLoadCase{{0, 0, 0}, {50, 100, 100}, 75},     // idle 50 of 200
                      TLoadCase{{10, 10, 10}, {10, 60, 60}, 100},   // no idle time
                      TLoadCase{{0, 0, 0}, {100, 100, 0}, 0},       // all idle
                      TLoadCase{{5, 5, 5}, {5, 5, 5}, 100},         // no time passed
                      TLoadCase{{0, 0, 0}, {1, 2, 1}, 67},          // rounded
                      TLoadCase{{100, 100, 100}, {0, 0, 0}, 100})); // counters went back

TEST(CpuUsageMeterTest, SamplesAtMostEvery200Milliseconds)
{
    std::uint64_t now = 1000;
    int samples = 0;
    pf::TSystemTimes next{0, 0, 0};
    std::optional<pf::TSystemTimes> answer;
    TCpuUsageMeter meter(
        [&] {
            ++samples;
            return answer;
        },
        [&] { return now; });

    answer = pf::TSystemTimes{50, 100, 100};
    EXPECT_EQ(meter.Value(), 75); // since start-up
    now += 199;
    answer = pf::TSystemTimes{50, 200, 200}; // busy since
    EXPECT_EQ(meter.Value(), 75);
    EXPECT_EQ(samples, 1);
    now += 1;
    EXPECT_EQ(meter.Value(), 100);
    EXPECT_EQ(samples, 2);
    // No figures from the system: the last one stays.
    now += 200;
    answer.reset();
    EXPECT_EQ(meter.Value(), 100);
    (void)next;
}

} // namespace
} // namespace kiv

#include "core/shell/ScreenScale.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

TEST(ScreenScaleTest, MulDivRoundsHalfAwayFromZeroAndRefusesWhatItCannotAnswer)
{
    const struct
    {
        int Number;
        int Numerator;
        int Denominator;
        int Expected;
    } cases[] = {
        {16, 144, 96, 24}, {16, 120, 96, 20}, {3, 1, 2, 2}, {-3, 1, 2, -2},      {3, -1, 2, -2},
        {5, 1, 3, 2},      {16, 96, 0, -1},   {0, 5, 7, 0}, {1 << 30, 8, 2, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TScreenScale::MulDiv(c.Number, c.Numerator, c.Denominator), c.Expected)
            << c.Number << " * " << c.Numerator << " / " << c.Denominator;
}

TEST(ScreenScaleTest, ScaledPixelsFollowTheActiveWindowAndNeverShrink)
{
    TScreenScale::SetScreenPpi(144);
    EXPECT_EQ(TScreenScale::ScaledPixels(16), 24);
    TScreenScale::SetActiveFormPpi(192);
    EXPECT_EQ(TScreenScale::ScaledPixels(16), 32);
    TScreenScale::SetActiveFormPpi(72);
    EXPECT_EQ(TScreenScale::ScaledPixels(16), 16);
    TScreenScale::SetActiveFormPpi(0);
    TScreenScale::SetScreenPpi(0);
    EXPECT_EQ(TScreenScale::ScreenPpi(), 96);
    EXPECT_EQ(TScreenScale::ScaledPixels(16), 16);
}

} // namespace
} // namespace kiv

#include "KivSet.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

enum class TColour
{
    clRed,
    clGreen,
    clBlue,
    clLast = 63,
};
using TColours = TSet<TColour>;

TEST(KivSet, ContainsWhatWasIncludedAndNothingElse)
{
    TColours set{TColour::clRed, TColour::clLast};
    EXPECT_TRUE(set.Contains(TColour::clRed));
    EXPECT_TRUE(set.Contains(TColour::clLast));
    EXPECT_FALSE(set.Contains(TColour::clGreen));
    EXPECT_EQ(set.Count(), 2);

    set.Exclude(TColour::clRed).Include(TColour::clBlue);
    EXPECT_EQ(set, (TColours{TColour::clBlue, TColour::clLast}));
    EXPECT_TRUE(TColours().IsEmpty());
    EXPECT_EQ(TColours::FromBits(set.Bits()), set);
}

TEST(KivSet, OperatorsAreTheSetOperations)
{
    const TColours rg{TColour::clRed, TColour::clGreen};
    const TColours gb{TColour::clGreen, TColour::clBlue};
    EXPECT_EQ(rg | gb, (TColours{TColour::clRed, TColour::clGreen, TColour::clBlue}));
    EXPECT_EQ(rg & gb, TColours{TColour::clGreen});
    EXPECT_EQ(rg - gb, TColours{TColour::clRed});
    EXPECT_EQ(rg ^ gb, (TColours{TColour::clRed, TColour::clBlue}));
    EXPECT_EQ(rg - TColour::clRed, TColours{TColour::clGreen});
    EXPECT_TRUE((rg | gb).ContainsAll(rg));
    EXPECT_FALSE(rg.ContainsAll(gb));
    EXPECT_TRUE(rg.ContainsAny(gb));
    EXPECT_FALSE(TColours{TColour::clRed}.ContainsAny(TColours{TColour::clBlue}));

    TColours set;
    set |= TColour::clBlue;
    set |= rg;
    set -= TColour::clGreen;
    EXPECT_EQ(set, (TColours{TColour::clRed, TColour::clBlue}));
}

TEST(KivSet, ValuesOutsideItsRangeAreNeverMembers)
{
    TColours set;
    set.Include(static_cast<TColour>(64)).Include(static_cast<TColour>(-1));
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_FALSE(set.Contains(static_cast<TColour>(64)));
}

static_assert(TColours{TColour::clGreen}.Contains(TColour::clGreen),
              "usable in constant expressions");

} // namespace
} // namespace kiv

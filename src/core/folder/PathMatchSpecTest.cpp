#include "core/folder/PathMatchSpec.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

struct TMatchCase
{
    const char16_t* Name;
    const char16_t* Spec;
    bool Matches;
};

class PathMatchSpecTest : public ::testing::TestWithParam<TMatchCase>
{
};

TEST_P(PathMatchSpecTest, Matches)
{
    const TMatchCase& c = GetParam();
    EXPECT_EQ(PathMatchSpec(QStringView(c.Name), QStringView(c.Spec)), c.Matches)
        << QString::fromUtf16(c.Name).toStdString() << " / "
        << QString::fromUtf16(c.Spec).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PathMatchSpecTest,
    ::testing::Values(
        // Stars take any run, also none; "?" exactly one character.
        TMatchCase{u"report.txt", u"*", true}, TMatchCase{u"", u"*", true},
        TMatchCase{u"report.txt", u"*.txt", true}, TMatchCase{u"report.txt", u"*.doc", false},
        TMatchCase{u"abc", u"a?c", true}, TMatchCase{u"ac", u"a?c", false},
        TMatchCase{u"xabyabcd", u"*ab*cd", true}, TMatchCase{u"xabyabce", u"*ab*cd", false},
        // Letters without regard to case, beyond ASCII too.
        TMatchCase{u"REPORT.TXT", u"*.txt", true}, TMatchCase{u"Ärger.md", u"ä*", true},
        // "*.*" is every name, with or without an extension.
        TMatchCase{u"Makefile", u"*.*", true}, TMatchCase{u"a.b.c", u"*.*", true},
        TMatchCase{u"Makefile", u"*.*.*", true}, TMatchCase{u"Makefile", u"M*.*", true},
        TMatchCase{u"Rakefile", u"M*.*", false},
        // "*." is names without an extension (or ending in ".").
        TMatchCase{u"Makefile", u"*.", true}, TMatchCase{u"name.", u"*.", true},
        TMatchCase{u"a.txt", u"*.", false},
        // Several patterns: any of them; blanks after ";" are ignored, empty pieces match nothing.
        TMatchCase{u"a.doc", u"*.txt; *.doc", true}, TMatchCase{u"a.png", u"*.txt;;*.doc", false},
        TMatchCase{u"a.txt", u"", false}));

} // namespace
} // namespace kiv

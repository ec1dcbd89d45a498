#include "Pcre.h"

#include "core/shell/KivExceptions.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace kiv {
namespace {

TEST(Pcre, MatchesCodeUnitsOfAnyText)
{
    const TPcre pattern(uR"(\A[a-z]+:.\z)", TPcre::TFlag::pfCaseless);
    EXPECT_TRUE(pattern.Matches(u"ABC:x"));
    EXPECT_FALSE(pattern.Matches(u"abc:"));
    EXPECT_FALSE(pattern.Matches(QStringView()));
    // A lone surrogate is one code unit like any other; no UTF check rejects the subject.
    const char16_t lone[] = {u'a', u'b', u':', 0xD800, 0};
    EXPECT_TRUE(pattern.Matches(QStringView(lone)));
    const TPcre empty(u"");
    EXPECT_TRUE(empty.Matches(QStringView()));
}

TEST(Pcre, PatternThatDoesNotCompileRaises)
{
    try {
        TPcre pattern(u"(unclosed");
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidArgument& error) {
        EXPECT_TRUE(error.Message().startsWith(u"Regular expression does not compile at 9:"))
            << error.Message().toStdString();
    }
}

TEST(Pcre, OnePatternServesManyThreadsAtOnce)
{
    const TPcre pattern(uR"(\A(?:[0-9]{1,3}\.){3}[0-9]{1,3}\z)");
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const bool valid = (i + t) % 2 == 0;
                const QString text = valid ? QStringLiteral("10.0.%1.1").arg(i % 256)
                                           : QStringLiteral("10.0.x%1.1").arg(i);
                if (pattern.Matches(text) != valid)
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST(Pcre, MovedPatternKeepsWorking)
{
    TPcre first(u"b");
    TPcre second(std::move(first));
    EXPECT_TRUE(second.Matches(u"abc"));
    TPcre third(u"z");
    third = std::move(second);
    EXPECT_TRUE(third.Matches(u"abc"));
}

} // namespace
} // namespace kiv

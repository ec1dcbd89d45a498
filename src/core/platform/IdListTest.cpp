#include "IdList.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace kiv::pf {
namespace {

IdListBytes List(std::initializer_list<std::vector<std::uint8_t>> pItems)
{
    IdListBytes list = idl::Empty();
    for (const auto& item : pItems)
        list = idl::Append(IdSpan(list), item);
    return list;
}

std::vector<std::uint8_t> Item(std::uint8_t pKind, std::vector<std::uint8_t> pPayload = {})
{
    return idl::MakeItem(pKind, pPayload);
}

TEST(IdListTest, BuildsWalksAndCutsLists)
{
    const IdListBytes list = List({Item(0x1F, {1, 2}), Item(0x2F), Item(0x31, {9, 9, 9})});
    const IdSpan span(list);
    EXPECT_EQ(span.Depth(), 3u);
    EXPECT_EQ(span.Size(), list.size());
    EXPECT_EQ(idl::ItemKind(span.Item(1)), 0x2F);
    EXPECT_EQ(idl::ItemSize(span.Last()), 6);
    EXPECT_EQ(IdSpan(idl::RemoveLast(span)).Depth(), 2u);
    EXPECT_EQ(IdSpan(idl::LastAsList(span)), IdSpan(List({Item(0x31, {9, 9, 9})})));
    EXPECT_EQ(IdSpan(idl::Prefix(span, 1)), IdSpan(List({Item(0x1F, {1, 2})})));
    EXPECT_EQ(span.Skip(2), IdSpan(List({Item(0x31, {9, 9, 9})})));
    EXPECT_TRUE(span.Skip(5).IsEmpty());
    EXPECT_EQ(IdSpan(idl::Combine(IdSpan(idl::Prefix(span, 2)), span.Skip(2))), span);
    EXPECT_THROW(span.Item(3), std::out_of_range);

    // The desktop stays the desktop.
    const IdSpan desktop;
    EXPECT_TRUE(desktop.IsEmpty());
    EXPECT_EQ(desktop.Depth(), 0u);
    EXPECT_TRUE(IdSpan(idl::RemoveLast(desktop)).IsEmpty());
    EXPECT_TRUE(IdSpan(idl::LastAsList(desktop)).IsEmpty());
    EXPECT_EQ(IdSpan(idl::Combine(desktop, span)), span);
}

TEST(IdListTest, StartsWithMatchesWholeItems)
{
    const IdListBytes parent = List({Item(0x1F, {1}), Item(0x31, {7})});
    const IdListBytes child = List({Item(0x1F, {1}), Item(0x31, {7}), Item(0x32, {8})});
    IdSpan rest;
    ASSERT_TRUE(idl::StartsWith(IdSpan(parent), IdSpan(child), &rest));
    EXPECT_EQ(rest.Depth(), 1u);
    EXPECT_TRUE(idl::StartsWith(IdSpan(child), IdSpan(child), &rest));
    EXPECT_TRUE(rest.IsEmpty());
    EXPECT_TRUE(idl::StartsWith(IdSpan(), IdSpan(child)));
    EXPECT_FALSE(idl::StartsWith(IdSpan(child), IdSpan(parent)));
    // Same leading bytes but a longer item is not the same item.
    const IdListBytes longer = List({Item(0x1F, {1}), Item(0x31, {7, 0})});
    EXPECT_FALSE(idl::StartsWith(IdSpan(parent), IdSpan(longer)));
}

struct TMalformed
{
    const char* Name;
    std::vector<std::uint8_t> Bytes;
};

class IdListUntrustedTest : public ::testing::TestWithParam<TMalformed>
{
};

// Each case sits in a buffer of exactly its size, so AddressSanitizer reports any read past it.
TEST_P(IdListUntrustedTest, RejectsWithoutReadingPastTheEnd)
{
    const auto& bytes = GetParam().Bytes;
    auto buffer = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer.get());
    EXPECT_FALSE(IdSpan::FromUntrusted(buffer.get(), bytes.size()).has_value());
    EXPECT_THROW(IdSpan{IdListBytes(bytes)}, std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Cases, IdListUntrustedTest,
                         ::testing::Values(TMalformed{"Empty", {}}, TMalformed{"OneByte", {0}},
                                           TMalformed{"NoTerminator", {3, 0, 0x31}},
                                           TMalformed{"CountPastEnd", {9, 0, 0x31, 0, 0}},
                                           TMalformed{"CountOfOne", {1, 0, 0, 0}},
                                           TMalformed{"CountOfTwo", {2, 0, 0, 0}},
                                           TMalformed{"HalfTerminator", {3, 0, 0x31, 0}},
                                           TMalformed{"MaximalCount", {0xFF, 0xFF, 0x31, 0, 0}}),
                         [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST(IdListTest, UntrustedBytesStopAtTheFirstTerminator)
{
    const std::uint8_t bytes[] = {4, 0, 0x31, 7, 0, 0, 0xEE, 0xEE};
    const auto span = IdSpan::FromUntrusted(bytes, sizeof bytes);
    ASSERT_TRUE(span.has_value());
    EXPECT_EQ(span->Size(), 6u);
    EXPECT_EQ(span->Depth(), 1u);
    EXPECT_FALSE(IdSpan::FromUntrusted(nullptr, 4).has_value());
}

TEST(IdListTest, ItemsHaveALimit)
{
    EXPECT_NO_THROW(idl::MakeItem(0x32, std::vector<std::uint8_t>(idl::kMaxItemSize - 3)));
    EXPECT_THROW(idl::MakeItem(0x32, std::vector<std::uint8_t>(idl::kMaxItemSize - 2)),
                 std::length_error);
}

} // namespace
} // namespace kiv::pf

#include "Guid.h"

#include "KnownFolderIds.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

TEST(GuidTest, TextAndBytesRoundTrip)
{
    const auto parsed = Guid::FromString(u"{20d04fe0-3aea-1069-a2d8-08002b30309d}");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, clsid::ThisPC);
    EXPECT_EQ(parsed->ToString(), QStringLiteral("{20D04FE0-3AEA-1069-A2D8-08002B30309D}"));

    std::uint8_t bytes[16];
    clsid::ThisPC.ToBytes(bytes);
    // Data1 little-endian first, Data4 as it stands.
    EXPECT_EQ(bytes[0], 0xE0);
    EXPECT_EQ(bytes[3], 0x20);
    EXPECT_EQ(bytes[8], 0xA2);
    EXPECT_EQ(Guid::FromBytes(bytes), clsid::ThisPC);
}

TEST(GuidTest, RejectsMalformedText)
{
    for (const char16_t* text :
         {u"", u"20D04FE0-3AEA-1069-A2D8-08002B30309D", u"{20D04FE0-3AEA-1069-A2D8-08002B30309G}",
          u"{20D04FE0+3AEA-1069-A2D8-08002B30309D}", u"{20D04FE0-3AEA-1069-A2D8-08002B30309D"})
        EXPECT_FALSE(Guid::FromString(text).has_value()) << QString::fromUtf16(text).toStdString();
}

} // namespace
} // namespace kiv::pf

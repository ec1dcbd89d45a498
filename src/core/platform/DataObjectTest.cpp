#include "core/platform/DataObject.h"

#include "core/platform/ShellIdListArray.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

IdListBytes ListOfNames(std::initializer_list<std::uint8_t> pKinds)
{
    IdListBytes list = idl::Empty();
    for (std::uint8_t kind : pKinds) {
        const std::uint8_t payload[] = {kind, kind};
        list = idl::Append(list, idl::MakeItem(kind, payload));
    }
    return list;
}

TEST(ShellIdListArrayTest, RoundTripGivesAbsoluteLists)
{
    const IdListBytes parent = ListOfNames({1, 2});
    const std::vector<IdListBytes> items = {ListOfNames({3}), ListOfNames({4, 5}), idl::Empty()};
    const auto parsed = ParseShellIdListArray(BuildShellIdListArray(parent, items));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 3u);
    EXPECT_EQ((*parsed)[0], idl::Combine(parent, items[0]));
    EXPECT_EQ((*parsed)[1], idl::Combine(parent, items[1]));
    EXPECT_EQ((*parsed)[2], parent);
}

TEST(ShellIdListArrayTest, MalformedBlocksGiveNothing)
{
    const QByteArray good = BuildShellIdListArray(ListOfNames({1}), {ListOfNames({2})});
    auto withUInt32 = [&](int pOffset, std::uint32_t pValue) {
        QByteArray bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[pOffset + i] = static_cast<char>(pValue >> (8 * i));
        return bytes;
    };
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"empty", QByteArray()},
        {"count only", good.left(4)},
        {"huge count", withUInt32(0, 0xFFFFFFFFu)},
        {"count past the offsets", withUInt32(0, 3)},
        {"parent offset past the end", withUInt32(4, 10000)},
        {"item offset past the end", withUInt32(8, std::uint32_t(good.size()))},
        {"item list cut short", good.left(good.size() - 1)},
    };
    for (const auto& [name, bytes] : cases)
        EXPECT_FALSE(ParseShellIdListArray(bytes)) << name;
}

TEST(DataObjectTest, FormatsKeepTheirOrderAndLatestValue)
{
    TDataObject data;
    EXPECT_EQ(data.QueryGetData(ClipFormat::HDrop), DV_E_FORMATETC);
    data.SetData(ClipFormat::UnicodeText, TextToBytes(QStringLiteral("a\u00e9\U0001F600")));
    data.SetData(ClipFormat::PreferredDropEffect, DropEffectToBytes(DROPEFFECT_COPY));
    data.SetData(ClipFormat::UnicodeText, TextToBytes(QStringLiteral("b")));
    EXPECT_EQ(data.EnumFormats(),
              (std::vector{ClipFormat::UnicodeText, ClipFormat::PreferredDropEffect}));

    auto copy = CopyDataObject(data);
    data.SetData(ClipFormat::PreferredDropEffect, DropEffectToBytes(DROPEFFECT_MOVE));
    QByteArray bytes;
    ASSERT_EQ(copy->GetData(ClipFormat::PreferredDropEffect, bytes), S_OK);
    EXPECT_EQ(DropEffectFromBytes(bytes), DROPEFFECT_COPY);
    ASSERT_EQ(copy->GetData(ClipFormat::UnicodeText, bytes), S_OK);
    EXPECT_EQ(TextFromBytes(bytes), QStringLiteral("b"));

    // Text from other programs may carry its terminator; an odd trailing byte is dropped.
    EXPECT_EQ(TextFromBytes(TextToBytes(QStringLiteral("x")) + QByteArray(3, '\0')),
              QStringLiteral("x"));
    EXPECT_EQ(DropEffectFromBytes("\x02"), DROPEFFECT_NONE);
}

} // namespace
} // namespace kiv::pf

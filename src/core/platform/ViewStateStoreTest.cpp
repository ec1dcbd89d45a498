#include "core/platform/ViewStateStore.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

BagValue ReadValue(IPropertyBag& pBag, const QString& pName)
{
    BagValue value;
    return Succeeded(pBag.Read(pName, value)) ? value : BagValue();
}

TEST(ViewStateStoreTest, BagsKeepTypedValuesAndReportRealChanges)
{
    auto store = std::make_shared<TViewStateStore>();
    int changes = 0;
    const IPropertyBagPtr shell =
        store->Bag(QStringLiteral("/a"), QStringLiteral("Shell"), [&] { ++changes; });
    const IPropertyBagPtr other = store->Bag(QStringLiteral("/a"), QStringLiteral("Shell\\{x}"));

    BagValue value;
    EXPECT_EQ(shell->Read(QStringLiteral("Sort"), value), E_INVALIDARG);
    shell->Write(QStringLiteral("Sort"), QByteArray("\0\1\2", 3));
    shell->Write(QStringLiteral("Mode"), std::int32_t(4));
    shell->Write(QStringLiteral("Mode"), std::int32_t(4));
    shell->Write(QStringLiteral("Grouped"), true);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(ReadValue(*shell, QStringLiteral("Sort")), BagValue(QByteArray("\0\1\2", 3)));
    EXPECT_EQ(ReadValue(*shell, QStringLiteral("Mode")), BagValue(std::int32_t(4)));
    EXPECT_EQ(other->Read(QStringLiteral("Mode"), value), E_INVALIDARG);

    // No value removes one; removing nothing is no change.
    shell->Write(QStringLiteral("Grouped"), BagValue());
    shell->Write(QStringLiteral("Grouped"), BagValue());
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(shell->Read(QStringLiteral("Grouped"), value), E_INVALIDARG);
}

TEST(ViewStateStoreTest, TextRoundTripAndTheBoundOnFolderBags)
{
    auto store = std::make_shared<TViewStateStore>(2);
    const QString odd = QStringLiteral("/x/\"quoted\"\n\u00e9\\\U0001F600");
    store->Write(TViewStateStore::kUserDefaults, QStringLiteral("Shell"), QStringLiteral("Mode"),
                 std::int32_t(1));
    store->Write(QStringLiteral("/old"), QStringLiteral("Shell"), QStringLiteral("Mode"),
                 std::int32_t(2));
    store->Write(odd, QStringLiteral("Shell"), QStringLiteral("Name \u00e9"),
                 QStringLiteral("text"));
    store->Write(QStringLiteral("/new"), QStringLiteral("Shell"), QStringLiteral("Sort"),
                 QByteArray("\xff\x00", 2));

    auto loaded = std::make_shared<TViewStateStore>(2);
    loaded->Load(store->Save());
    BagValue value;
    // The oldest folder bag went; the defaults never count against the bound.
    EXPECT_EQ(loaded->Read(QStringLiteral("/old"), QStringLiteral("Shell"), QStringLiteral("Mode"),
                           value),
              E_INVALIDARG);
    ASSERT_EQ(loaded->Read(TViewStateStore::kUserDefaults, QStringLiteral("Shell"),
                           QStringLiteral("Mode"), value),
              S_OK);
    EXPECT_EQ(value, BagValue(std::int32_t(1)));
    ASSERT_EQ(loaded->Read(odd, QStringLiteral("Shell"), QStringLiteral("Name \u00e9"), value),
              S_OK);
    EXPECT_EQ(value, BagValue(QStringLiteral("text")));
    ASSERT_EQ(loaded->Read(QStringLiteral("/new"), QStringLiteral("Shell"), QStringLiteral("Sort"),
                           value),
              S_OK);
    EXPECT_EQ(value, BagValue(QByteArray("\xff\x00", 2)));

    // A damaged file gives an empty store, not a crash.
    loaded->Load("{\"bags\": [{\"name\": 3}, 7, {\"folder\": \"/y\", \"values\": 1}]");
    EXPECT_EQ(loaded->Read(QStringLiteral("/new"), QStringLiteral("Shell"), QStringLiteral("Sort"),
                           value),
              E_INVALIDARG);
}

TEST(ViewStateStoreTest, FlagsNameTheBag)
{
    EXPECT_EQ(ViewStateFolderKey(viewstate::FOLDER, QStringLiteral("/a")), QStringLiteral("/a"));
    EXPECT_EQ(ViewStateFolderKey(viewstate::USERDEFAULTS, QStringLiteral("/a")),
              TViewStateStore::kUserDefaults);
    EXPECT_EQ(ViewStateFolderKey(viewstate::GLOBALDEFAULTS, {}), TViewStateStore::kSystemDefaults);
    EXPECT_EQ(ViewStateFolderKey(viewstate::PERUSER, QStringLiteral("/a")), QString());
}

} // namespace
} // namespace kiv::pf

#include "core/platform/ModelContextMenu.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

MenuItem Entry(const char* pCaption, const char* pVerb, bool pDefault = false)
{
    MenuItem item;
    item.Caption = QString::fromUtf8(pCaption);
    item.Verb = QString::fromUtf8(pVerb);
    item.HelpText = QString(item.Caption).remove(u'&') + QStringLiteral(" help");
    item.IsDefault = pDefault;
    return item;
}

// Open (default), a cascade of two applications, Copy, Delete; records what ran.
class TScriptedMenu final : public TModelContextMenu
{
public:
    std::vector<std::pair<QString, std::uint32_t>> Ran;

protected:
    std::vector<MenuItem> BuildItems(std::uint32_t) override
    {
        MenuItem openWith = Entry("Open wit&h", "");
        openWith.Children = {Entry("Editor", "openwith:editor"),
                             Entry("Viewer", "openwith:viewer")};
        return {Entry("&Open", "open", true), openWith, MenuItem::MakeSeparator(),
                Entry("&Copy", "copy"), Entry("&Delete", "delete")};
    }
    HResult RunVerb(const QString& pVerb, const InvokeInfo& pInfo) override
    {
        Ran.emplace_back(pVerb, pInfo.Mask);
        return S_OK;
    }
};

TEST(ModelContextMenuTest, EntriesAreNumberedFromTheFirstIdAndRunByIdOrVerb)
{
    TScriptedMenu menu;
    MenuModel model;
    model.Items = {Entry("App 1", ""), Entry("App 2", "")};
    const HResult result = menu.QueryContextMenu(model, 1, 1, 255, cmf::EXPLORE);
    EXPECT_EQ(result, MenuResult(5));
    ASSERT_EQ(model.Items.size(), 7u);
    EXPECT_EQ(model.Items[1].Id, 1u);
    EXPECT_EQ(model.Items[2].Children[1].Id, 3u);
    EXPECT_EQ(model.Items[5].Id, 5u);
    EXPECT_EQ(model.FindById(3)->Verb, QStringLiteral("openwith:viewer"));
    EXPECT_EQ(model.FindDefault()->Verb, QStringLiteral("open"));
    EXPECT_FALSE(model.FindById(6));

    QString text;
    ASSERT_EQ(menu.GetCommandString(4, CommandString::VerbW, text), S_OK);
    EXPECT_EQ(text, QStringLiteral("delete"));
    ASSERT_EQ(menu.GetCommandString(4, CommandString::HelpTextW, text), S_OK);
    EXPECT_EQ(text, QStringLiteral("Delete help"));
    EXPECT_EQ(menu.GetCommandString(5, CommandString::VerbW, text), E_INVALIDARG);

    InvokeInfo byId;
    byId.IdOffset = 2;
    byId.Mask = cmic::SHIFT_DOWN;
    EXPECT_EQ(menu.InvokeCommand(byId), S_OK);
    InvokeInfo byVerb;
    byVerb.Verb = QStringLiteral("copy");
    EXPECT_EQ(menu.InvokeCommand(byVerb), S_OK);
    byId.IdOffset = 9;
    EXPECT_EQ(menu.InvokeCommand(byId), E_INVALIDARG);
    ASSERT_EQ(menu.Ran.size(), 2u);
    EXPECT_EQ(menu.Ran[0], std::make_pair(QStringLiteral("openwith:viewer"), cmic::SHIFT_DOWN));
    EXPECT_EQ(menu.Ran[1].first, QStringLiteral("copy"));
}

TEST(ModelContextMenuTest, AShortRangeAndDefaultOnlyQueriesKeepWhatFits)
{
    TScriptedMenu menu;
    MenuModel model;
    EXPECT_EQ(menu.QueryContextMenu(model, 0, 10, 12, cmf::NORMAL), MenuResult(3));
    EXPECT_FALSE(model.FindById(13));
    EXPECT_EQ(model.FindById(12)->Verb, QStringLiteral("openwith:viewer"));

    MenuModel defaults;
    EXPECT_EQ(menu.QueryContextMenu(defaults, 0, 1, 0x7FFF, cmf::DEFAULTONLY), MenuResult(1));
    ASSERT_EQ(defaults.Items.size(), 1u);
    EXPECT_EQ(defaults.Items[0].Verb, QStringLiteral("open"));
    EXPECT_EQ(menu.QueryContextMenu(defaults, 0, 5, 4, cmf::NORMAL), E_INVALIDARG);
}

} // namespace
} // namespace kiv::pf

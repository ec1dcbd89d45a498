#include "core/platform/ModelContextMenu.h"

#include <algorithm>
#include <functional>

namespace kiv::pf {

namespace {

const MenuItem* FindIn(const std::vector<MenuItem>& pItems, std::uint32_t pId)
{
    for (const MenuItem& item : pItems) {
        if (!item.Separator && item.Id == pId && pId != 0)
            return &item;
        if (const MenuItem* found = FindIn(item.Children, pId))
            return found;
    }
    return nullptr;
}

const MenuItem* DefaultIn(const std::vector<MenuItem>& pItems)
{
    for (const MenuItem& item : pItems) {
        if (item.IsDefault && !item.Separator)
            return &item;
        if (const MenuItem* found = DefaultIn(item.Children))
            return found;
    }
    return nullptr;
}

} // namespace

const MenuItem* MenuModel::FindById(std::uint32_t pId) const
{
    return FindIn(Items, pId);
}

const MenuItem* MenuModel::FindDefault() const
{
    return DefaultIn(Items);
}

HResult TModelContextMenu::QueryContextMenu(MenuModel& pMenu, std::uint32_t pIndex,
                                            std::uint32_t pIdFirst, std::uint32_t pIdLast,
                                            std::uint32_t pFlags)
{
    if (pIdLast < pIdFirst)
        return E_INVALIDARG;
    std::vector<MenuItem> items = BuildItems(pFlags);
    if (pFlags & cmf::DEFAULTONLY) {
        std::erase_if(items, [](const MenuItem& pItem) { return !pItem.IsDefault; });
    }
    std::vector<TNumbered> entries;
    bool full = false;
    // Numbers entries depth first; those past pIdLast are left out (their sub-menus too).
    std::function<void(std::vector<MenuItem>&)> number = [&](std::vector<MenuItem>& pItems) {
        for (auto it = pItems.begin(); it != pItems.end();) {
            MenuItem& item = *it;
            const bool command = !item.Separator && !item.Verb.isEmpty();
            if (command) {
                if (full || pIdFirst + entries.size() > pIdLast) {
                    full = true;
                    it = pItems.erase(it);
                    continue;
                }
                item.Id = pIdFirst + static_cast<std::uint32_t>(entries.size());
                entries.push_back({item.Verb, item.HelpText});
            }
            number(item.Children);
            ++it;
        }
    };
    number(items);
    const auto at = static_cast<std::size_t>(std::min<std::size_t>(pIndex, pMenu.Items.size()));
    pMenu.Items.insert(pMenu.Items.begin() + static_cast<std::ptrdiff_t>(at),
                       std::make_move_iterator(items.begin()),
                       std::make_move_iterator(items.end()));
    const auto count = static_cast<std::uint32_t>(entries.size());
    {
        std::lock_guard lock(fLock);
        fEntries = std::move(entries);
    }
    return MenuResult(count);
}

HResult TModelContextMenu::InvokeCommand(const InvokeInfo& pInfo)
{
    QString verb = pInfo.Verb;
    if (pInfo.IdOffset) {
        std::lock_guard lock(fLock);
        if (*pInfo.IdOffset >= fEntries.size())
            return E_INVALIDARG;
        verb = fEntries[*pInfo.IdOffset].Verb;
    }
    if (verb.isEmpty())
        return E_INVALIDARG;
    return RunVerb(verb, pInfo);
}

HResult TModelContextMenu::GetCommandString(std::uint32_t pIdOffset, CommandString pKind,
                                            QString& pText)
{
    std::lock_guard lock(fLock);
    if (pIdOffset >= fEntries.size())
        return E_INVALIDARG;
    const TNumbered& entry = fEntries[pIdOffset];
    pText = pKind == CommandString::VerbW ? entry.Verb : entry.HelpText;
    return pText.isEmpty() && pKind == CommandString::VerbW ? E_FAIL : S_OK;
}

} // namespace kiv::pf

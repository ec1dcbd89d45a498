#include "core/shell/ContextMenuCommand.h"

#include "core/shell/KivExceptions.h"

namespace kiv {

namespace {

// Ids of the menus made only to run one command: enough for any menu.
constexpr std::uint32_t kLastId = 0x7FFF;

} // namespace

void InvokeMenuCommand(pf::IContextMenu& pMenu, const TShellCommand& pCommand,
                       const QString& pDirectory, const QString& pWhat)
{
    pf::InvokeInfo info;
    info.Mask = pf::cmic::UNICODE | pf::cmic::ASYNCOK;
    info.Directory = pDirectory;
    if (pCommand.Command() == TShellAction::saDefault) {
        pf::MenuModel model;
        const pf::HResult query =
            pMenu.QueryContextMenu(model, 0, 1, kLastId, pf::cmf::DEFAULTONLY);
        const pf::MenuItem* item = pf::Succeeded(query) ? model.FindDefault() : nullptr;
        if (item && item->Id >= 1)
            info.IdOffset = item->Id - 1;
        else
            info.Verb = ShellActionVerb(TShellAction::saOpen);
        EWayfoldError::Check(pMenu.InvokeCommand(info), pWhat);
        return;
    }
    if (pCommand.Command() == TShellAction::saDelete &&
        !pCommand.OperationOptions.Contains(TOperationOption::soAllowUndo))
        info.Mask |= pf::cmic::SHIFT_DOWN;
    if (pCommand.OperationOptions.Contains(TOperationOption::soSilent))
        info.Mask |= pf::cmic::FLAG_NO_UI;
    info.Verb = pCommand.VerbOrEmpty();
    if (info.Verb.isEmpty())
        throw EWayfoldError(pf::E_INVALIDARG, pWhat);
    // The entries are made once so that the menu knows its verbs; the verb runs by its text.
    pf::MenuModel model;
    pMenu.QueryContextMenu(model, 0, 1, kLastId, pf::cmf::OPTIMIZEFORINVOKE);
    EWayfoldError::Check(pMenu.InvokeCommand(info), pWhat);
}

} // namespace kiv

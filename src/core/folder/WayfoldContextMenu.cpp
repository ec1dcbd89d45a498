// The folder component's context menu: preparing the platform's part of a merged menu and running
// the entry the user chose. Showing the menu is the user interface's part.

#include "core/folder/Wayfold.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"

#include <algorithm>

namespace kiv {

namespace {

using N = TItemIdListDisplayNameFormat;

// The platform's menus copy verbs into buffers of this many characters.
constexpr int kMaxVerbLength = 260;
// Longer paths cannot be a working directory for what the command starts.
constexpr int kMaxDirectoryPath = 260;

// Commands that change the folder: a read-only component never runs them from its menu.
bool ChangesFolder(const QString& pVerb)
{
    for (const char* verb : {"delete", "cut", "paste"})
        if (pVerb.compare(QLatin1String(verb), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

int TWayfold::ShellMenuInsertPosition(int pAnchorIndex, int pAppItemCount) const
{
    if (fShowContextMenuOnTop)
        return 0;
    if (pAnchorIndex >= 0 && pAnchorIndex < pAppItemCount)
        return pAnchorIndex + 1;
    return pAppItemCount;
}

std::uint32_t TWayfold::ContextMenuQueryFlags(bool pShiftDown) const
{
    std::uint32_t flags = pf::cmf::EXPLORE;
    if (OnRename)
        flags |= pf::cmf::CANRENAME;
    if (pShiftDown)
        flags |= pf::cmf::EXTENDEDVERBS;
    return flags;
}

pf::IContextMenuPtr TWayfold::PrepareContextMenu(pf::MenuModel& pModel, int pIndex, bool pShiftDown)
{
    pf::IContextMenuPtr menu;
    try {
        menu =
            std::static_pointer_cast<pf::IContextMenu>(GetUIObject(TUIObjectKind::uoContextMenu));
        if (!menu)
            return nullptr;
        const pf::HResult result = menu->QueryContextMenu(
            pModel, static_cast<std::uint32_t>(std::max(pIndex, 0)), kShellMenuIdFirst,
            kShellMenuIdLast, ContextMenuQueryFlags(pShiftDown));
        if (pf::Failed(result))
            return nullptr;
    } catch (const std::exception&) {
        // No object, a folder that refuses its menu, a menu that fails to fill: the caller
        // shows its own entries alone.
        return nullptr;
    }
    return menu;
}

QString TWayfold::RunContextMenuEntry(pf::IContextMenu& pMenu, std::uint32_t pId,
                                      pf::WindowRef pOwner)
{
    if (!IsShellMenuId(pId))
        return {};
    QString verb;
    if (pf::Failed(pMenu.GetCommandString(pId - kShellMenuIdFirst, pf::CommandString::VerbW, verb)))
        verb.clear();
    verb.truncate(kMaxVerbLength);
    if (!AllowsCommand(verb) || (fReadOnly && ChangesFolder(verb)))
        return {};
    if (OnRename && verb.compare(QLatin1String("rename"), Qt::CaseInsensitive) == 0) {
        OnRename(*this);
        return verb;
    }
    pf::InvokeInfo info;
    info.IdOffset = pId - kShellMenuIdFirst;
    info.Mask = pf::cmic::UNICODE;
    if (fAsyncContextMenuOperations)
        info.Mask |= pf::cmic::ASYNCOK;
    info.Owner = pOwner;
    if (!HasMultiObjects() && fHasItem && !IsFolder()) {
        const IItemIdListPtr absolute = AbsoluteItemIdList();
        const QString path = absolute ? absolute->DisplayName(N::dnfPreferPhysical) : QString();
        const qsizetype slash = path.lastIndexOf(u'/');
        if (path.size() < kMaxDirectoryPath && slash >= 0)
            info.Directory = slash == 0 ? QStringLiteral("/") : path.left(slash);
    }
    EWayfoldError::Check(pMenu.InvokeCommand(info), QStringLiteral("InvokeCommand"));
    return verb;
}

} // namespace kiv

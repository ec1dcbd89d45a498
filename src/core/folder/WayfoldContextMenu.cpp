// The folder component's context menus: preparing the platform's part of a merged menu, running
// the entry the user chose, the folder's background menu, and commands by verb without a menu.
// Showing the menus is the user interface's part.

#include "core/folder/Wayfold.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/ItemsDataObject.h"
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
// Ids of the menus made only to look up or run one command: enough for any menu.
constexpr std::uint32_t kLookupIdLast = 10000;
constexpr std::uint32_t kInvokeIdLast = 0x7FFF;
// Background menu entries that have no verb but are known by their place.
constexpr std::uint32_t kRefreshId = 6;
constexpr std::uint32_t kThumbnailsId = 19;

bool Is(const QString& pVerb, const char* pWhat)
{
    return pVerb.compare(QLatin1String(pWhat), Qt::CaseInsensitive) == 0;
}

// Commands that change the folder: a read-only component never runs them from its menus.
bool ChangesFolder(const QString& pVerb)
{
    return Is(pVerb, "delete") || Is(pVerb, "cut") || Is(pVerb, "paste");
}

// The first command entry captioned pCaption, sub-menus searched in place.
const pf::MenuItem* FindByCaption(const std::vector<pf::MenuItem>& pItems, const QString& pCaption)
{
    for (const pf::MenuItem& item : pItems) {
        if (!item.Separator && item.Id != 0 && item.Caption == pCaption)
            return &item;
        if (const pf::MenuItem* found = FindByCaption(item.Children, pCaption))
            return found;
    }
    return nullptr;
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

void TWayfold::SetActiveMenu(const pf::IContextMenuPtr& pMenu, const pf::MenuModel& pModel,
                             bool pFirstObjectsOnly)
{
    fActiveContextMenu = pMenu;
    fActiveMenuModel = pModel;
    fActiveMenuFromFirstObjects = pFirstObjectsOnly;
}

void TWayfold::EndContextMenu(bool pDropSelection)
{
    fActiveContextMenu.reset();
    fActiveMenuModel = {};
    fActiveMenuFromFirstObjects = false;
    if (pDropSelection && fMultiObjects)
        fMultiObjects->Clear();
}

pf::IContextMenuPtr TWayfold::PrepareContextMenu(pf::MenuModel& pModel, int pIndex, bool pShiftDown)
{
    SetActiveMenu(nullptr, {}, false);
    pf::IContextMenuPtr menu;
    const bool firstOnly = HasMultiObjects() && fMultiObjects->Count() > kMaxFullMenuObjects;
    try {
        if (firstOnly) {
            const auto first = TItemIdListCollection::Create(fMultiObjects->BaseFolder());
            for (int i = 0; i < kQuickMenuObjects; ++i)
                first->Add(fMultiObjects->GetItem(i));
            menu = first->ContextMenu(fShowErrorMessages ? fOwnerWindow : nullptr);
        } else {
            menu = std::static_pointer_cast<pf::IContextMenu>(
                GetUIObject(TUIObjectKind::uoContextMenu));
        }
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
    SetActiveMenu(menu, pModel, firstOnly);
    return menu;
}

pf::HResult TWayfold::InvokeMenuCommand(pf::IContextMenu& pMenu,
                                        std::optional<std::uint32_t> pIdOffset,
                                        const QString& pVerb, pf::WindowRef pOwner)
{
    pf::InvokeInfo info;
    info.IdOffset = pIdOffset;
    if (!pIdOffset)
        info.Verb = pVerb;
    info.Mask = pf::cmic::UNICODE;
    if (fAsyncContextMenuOperations)
        info.Mask |= pf::cmic::ASYNCOK;
    info.Owner = pOwner;
    // What a file's command starts runs in the file's folder.
    if (!HasMultiObjects() && fHasItem && !IsFolder()) {
        const IItemIdListPtr absolute = AbsoluteItemIdList();
        const QString path = absolute ? absolute->DisplayName(N::dnfPreferPhysical) : QString();
        const qsizetype slash = path.lastIndexOf(u'/');
        if (path.size() < kMaxDirectoryPath && slash >= 0)
            info.Directory = slash == 0 ? QStringLiteral("/") : path.left(slash);
    }
    try {
        return pMenu.InvokeCommand(info);
    } catch (const std::exception&) {
        return pf::E_FAIL;
    }
}

pf::HResult TWayfold::InvokeOnAllObjects(std::uint32_t pId, pf::WindowRef pOwner)
{
    const pf::MenuItem* chosen = fActiveMenuModel.FindById(pId);
    if (!chosen)
        return pf::E_INVALIDARG;
    pf::IContextMenuPtr all;
    pf::MenuModel model;
    try {
        all = std::static_pointer_cast<pf::IContextMenu>(GetUIObject(TUIObjectKind::uoContextMenu));
        if (!all)
            return pf::E_NOINTERFACE;
        const pf::HResult query = all->QueryContextMenu(
            model, 0, 1, kLookupIdLast, pf::cmf::EXPLORE | pf::cmf::SYNCCASCADEMENU);
        if (pf::Failed(query))
            return query;
    } catch (const std::exception&) {
        return pf::E_FAIL;
    }
    // An entry the menu of all objects does not have is not run on the first ones alone.
    const pf::MenuItem* same = FindByCaption(model.Items, chosen->Caption);
    if (!same)
        return pf::HResultFromWin32(pf::win32::ERROR_NOT_SUPPORTED);
    return InvokeMenuCommand(*all, same->Id - 1, {}, pOwner);
}

QString TWayfold::RunContextMenuEntry(pf::IContextMenu& pMenu, std::uint32_t pId,
                                      pf::WindowRef pOwner,
                                      const TBeforeCommandFunc& pBeforeCommand)
{
    if (!IsShellMenuId(pId))
        return {};
    QString verb;
    if (pf::Failed(pMenu.GetCommandString(pId - kShellMenuIdFirst, pf::CommandString::VerbW, verb)))
        verb.clear();
    verb.truncate(kMaxVerbLength);
    if (!AllowsCommand(verb, TShellCommand(verb), TCommandSource::ContextMenu, pBeforeCommand) ||
        (fReadOnly && ChangesFolder(verb)))
        return {};
    if (OnRename && Is(verb, "rename")) {
        OnRename(*this);
        return verb;
    }
    const bool several = HasMultiObjects() && fMultiObjects->Count() > 1;
    if ((Is(verb, "properties") && !HasMultiObjects()) || Is(verb, "unlock-bde")) {
        CommandTarget()->InvokeCommand(TShellCommand(verb));
        return verb;
    }
    // Opening or copying many objects is one command for all of them (one clipboard content,
    // each object opened), whatever the menu would do with its own selection.
    if (several && (Is(verb, "open") || Is(verb, "copy"))) {
        fMultiObjects->InvokeCommand(verb);
        return verb;
    }
    if (Is(verb, "Windows.ModernShare")) {
        if (HasMultiObjects())
            fMultiObjects->InvokeCommand(verb);
        else
            CommandTarget()->InvokeCommand(TShellCommand(verb));
        return verb;
    }
    const pf::HResult result = &pMenu == fActiveContextMenu.get() && fActiveMenuFromFirstObjects
                                   ? InvokeOnAllObjects(pId, pOwner)
                                   : InvokeMenuCommand(pMenu, pId - kShellMenuIdFirst, {}, pOwner);
    EWayfoldError::Check(result, QStringLiteral("InvokeCommand"));
    return verb;
}

pf::IContextMenuPtr TWayfold::PrepareBackgroundMenu(pf::MenuModel& pModel, int pIndex,
                                                    pf::WindowRef pOwner)
{
    SetActiveMenu(nullptr, {}, false);
    pf::IContextMenuPtr menu;
    try {
        const pf::IShellFolderPtr folder = ShellFolder();
        if (!folder || pf::Failed(folder->CreateBackgroundMenu(pOwner, menu)) || !menu)
            return nullptr;
        if (pf::Failed(
                menu->QueryContextMenu(pModel, static_cast<std::uint32_t>(std::max(pIndex, 0)),
                                       kShellMenuIdFirst, kShellMenuIdLast, pf::cmf::EXPLORE)))
            return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    SetActiveMenu(menu, pModel, false);
    return menu;
}

QString TWayfold::RunBackgroundMenuEntry(pf::IContextMenu& pMenu, std::uint32_t pId,
                                         pf::WindowRef pOwner)
{
    if (!IsShellMenuId(pId))
        return {};
    QString verb;
    if (pf::Failed(
            pMenu.GetCommandString(pId - kShellMenuIdFirst, pf::CommandString::VerbW, verb)) ||
        verb.isEmpty()) {
        verb = pId == kRefreshId      ? QStringLiteral("refresh")
               : pId == kThumbnailsId ? QStringLiteral("thumbnails")
                                      : QString::number(pId);
    }
    verb.truncate(kMaxVerbLength);
    // A read-only component's folder takes nothing in from its background either.
    if (fReadOnly && ChangesFolder(verb))
        return {};
    pf::InvokeInfo info;
    info.IdOffset = pId - kShellMenuIdFirst;
    info.Owner = pOwner;
    pf::HResult result = pf::E_FAIL;
    try {
        result = pMenu.InvokeCommand(info);
    } catch (const std::exception&) {
        result = pf::E_FAIL;
    }
    return pf::Failed(result) ? QString() : verb;
}

// ---- commands by verb ---------------------------------------------------------------------

bool TWayfold::ExploreSelection()
{
    const TShellCommand explore(TShellAction::saExplore);
    if (!HasMultiObjects()) {
        CommandTarget()->InvokeCommand(explore);
        return true;
    }
    const std::shared_ptr<TItemIdListCollection> all = fMultiObjects->WithAbsoluteItems();
    const IItemIdListPtr first = all->GetItem(0);
    // Objects of one folder open it once.
    if (all->Count() == 1 || (first->Depth() > 2 && all->HaveSameParent())) {
        first->InvokeCommand(explore);
        return true;
    }
    for (const IItemIdListPtr& element : *all)
        element->InvokeCommand(explore);
    return true;
}

bool TWayfold::OpenTerminal()
{
    const IItemIdListPtr target =
        HasMultiObjects() ? fMultiObjects->WithAbsoluteItems()->GetItem(0) : CommandTarget();
    const IItemIdListPtr place = target->IsFolder() ? target : target->GetParent();
    if (!place || place->Path().isEmpty())
        return false;
    place->InvokeCommand(TShellCommand(TShellAction::saOpenCommandPrompt));
    return true;
}

bool TWayfold::InvokeContextMenuCommand(const TShellCommand& pCommand)
{
    // The selection serves one command.
    struct TClearSelection
    {
        TWayfold& Folder;
        ~TClearSelection()
        {
            if (Folder.fMultiObjects)
                Folder.fMultiObjects->Clear();
        }
    } clear{*this};

    QString verb = pCommand.VerbOrEmpty();
    if (verb.isEmpty())
        verb = QStringLiteral("default");
    if (Is(verb, "delete") && !HasMultiObjects() &&
        (GetAttributes(pf::sfgao::CANDELETE) & pf::sfgao::CANDELETE) == 0)
        return false;
    const TShellCommand command = pCommand.VerbOrEmpty().isEmpty() ? TShellCommand(verb) : pCommand;
    if (!AllowsCommand(verb, command, TCommandSource::Call))
        return false;

    if (Is(verb, "default") && HasMultiObjects()) {
        fMultiObjects->InvokeCommand(TShellCommand(TShellAction::saDefault));
        return true;
    }
    if (Is(verb, "copypath")) {
        PutTextOnClipboard(HasMultiObjects() ? fMultiObjects->ToString()
                                             : CommandTarget()->DisplayPath());
        return true;
    }
    if (Is(verb, "explore"))
        return ExploreSelection();
    if (Is(verb, "cmd"))
        return OpenTerminal();
    if (Is(verb, "rename") && OnRename) {
        OnRename(*this);
        fLastCommandResult = pf::S_OK;
        return true;
    }

    const auto menu =
        std::static_pointer_cast<pf::IContextMenu>(GetUIObject(TUIObjectKind::uoContextMenu));
    pf::HResult result = pf::E_NOINTERFACE;
    if (menu) {
        pf::MenuModel model;
        const bool byDefault = Is(verb, "default");
        try {
            result = menu->QueryContextMenu(model, 0, 1, kInvokeIdLast,
                                            byDefault ? pf::cmf::DEFAULTONLY
                                                      : pf::cmf::EXPLORE | pf::cmf::EXTENDEDVERBS |
                                                            pf::cmf::OPTIMIZEFORINVOKE);
        } catch (const std::exception&) {
            result = pf::E_FAIL;
        }
        if (pf::Succeeded(result) && byDefault) {
            const pf::MenuItem* item = model.FindDefault();
            result = item ? InvokeMenuCommand(*menu, item->Id - 1, {}, fOwnerWindow)
                          : pf::HResultFromWin32(pf::win32::ERROR_NOT_SUPPORTED);
        } else if (pf::Succeeded(result)) {
            result = InvokeMenuCommand(*menu, std::nullopt, verb, fOwnerWindow);
        }
    }
    fLastCommandResult = result;
    return pf::Succeeded(result);
}

bool TWayfold::InvokeDefaultContextMenuCommand(const QStringList& pPaths)
{
    const std::unique_ptr<TWayfold> each = CreateCopy(*this);
    for (const QString& path : pPaths) {
        each->SetObjectName(path);
        each->InvokeContextMenuCommand(TShellCommand(TShellAction::saDefault));
    }
    return true;
}

} // namespace kiv

#include "ui/controls/ShellContextMenu.h"

#include "core/folder/Wayfold.h"
#include "core/shell/KivExceptions.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QtDebug>

namespace kiv {

namespace {

// Platform menus give help texts in buffers of this many characters.
constexpr int kMaxHelpLength = 2600;

QAction* ActionFor(QMenu& pMenu, const pf::MenuItem& pItem, const TMenuChosenFunc& pOnChosen,
                   const TMenuHoverFunc& pOnHover)
{
    if (pItem.Separator) {
        auto* separator = new QAction(&pMenu);
        separator->setSeparator(true);
        return separator;
    }
    QAction* action = nullptr;
    if (!pItem.Children.empty()) {
        auto* sub = new QMenu(pItem.Caption, &pMenu);
        action = sub->menuAction();
        // Large sub-menus (Open with, Send to) cost only when opened.
        QObject::connect(sub, &QMenu::aboutToShow, sub,
                         [sub, children = pItem.Children, pOnChosen, pOnHover] {
                             if (sub->actions().isEmpty())
                                 FillMenuFromModel(*sub, children, nullptr, pOnChosen, pOnHover);
                         });
    } else {
        action = new QAction(pItem.Caption, &pMenu);
        if (pItem.Checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        const std::uint32_t id = pItem.Id;
        QObject::connect(action, &QAction::triggered, &pMenu, [pOnChosen, id] {
            if (pOnChosen)
                pOnChosen(id);
        });
    }
    action->setEnabled(pItem.Enabled);
    action->setStatusTip(pItem.HelpText);
    if (!pItem.IconName.isEmpty())
        action->setIcon(QIcon::fromTheme(pItem.IconName));
    if (pItem.IsDefault) {
        QFont font = action->font();
        font.setBold(true);
        action->setFont(font);
    }
    QObject::connect(action, &QAction::hovered, &pMenu, [action, pOnHover, id = pItem.Id] {
        if (pOnHover)
            pOnHover(id, action->statusTip());
    });
    return action;
}

} // namespace

void FillMenuFromModel(QMenu& pMenu, const std::vector<pf::MenuItem>& pItems, QAction* pBefore,
                       const TMenuChosenFunc& pOnChosen, const TMenuHoverFunc& pOnHover)
{
    for (const pf::MenuItem& item : pItems)
        pMenu.insertAction(pBefore, ActionFor(pMenu, item, pOnChosen, pOnHover));
}

TShellContextMenu::TShellContextMenu(TWayfold& pFolder, QWidget* pOwner)
    : fFolder(pFolder)
    , fOwner(pOwner)
{
}

TShellContextMenu::~TShellContextMenu()
{
    delete fMenu.data();
}

void TShellContextMenu::ConnectSubMenuHints(const QList<QAction*>& pActions)
{
    for (QAction* action : pActions) {
        QMenu* sub = action->menu();
        if (!sub)
            continue;
        connect(sub, &QMenu::hovered, fMenu,
                [this](QAction* pHovered) { emit Hint(pHovered->statusTip()); });
        ConnectSubMenuHints(sub->actions());
    }
}

QMenu*
TShellContextMenu::BuildMerged(QMenu* pAppMenu, QAction* pAnchor,
                               const std::function<pf::IContextMenuPtr(pf::MenuModel&)>& pPrepare)
{
    delete fMenu.data();
    fShellMenu.reset();
    fMenu = new QMenu(fOwner);
    int anchorIndex = -1;
    int appCount = 0;
    if (pAppMenu) {
        // The application updates its items as it would before showing its own menu.
        emit pAppMenu->aboutToShow();
        const QList<QAction*> actions = pAppMenu->actions();
        anchorIndex = pAnchor ? static_cast<int>(actions.indexOf(pAnchor)) : -1;
        appCount = static_cast<int>(actions.size());
        fMenu->addActions(actions);
        // Application entries hint with their status tips, in their sub-menus too.
        for (QAction* action : actions)
            connect(action, &QAction::hovered, fMenu,
                    [this, action] { emit Hint(action->statusTip()); });
        ConnectSubMenuHints(actions);
    }
    pf::MenuModel model;
    fShellMenu = pPrepare(model);
    if (fShellMenu) {
        const int position = fFolder.ShellMenuInsertPosition(anchorIndex, appCount);
        QAction* before = position < appCount ? fMenu->actions().at(position) : nullptr;
        FillMenuFromModel(
            *fMenu, model.Items, before, [this](std::uint32_t pId) { Run(pId); },
            [this](std::uint32_t pId, const QString& pHelp) { emit Hint(HelpOf(pId, pHelp)); });
    }
    if (fMenu->actions().isEmpty())
        return nullptr;
    return fMenu;
}

QMenu* TShellContextMenu::Build(QMenu* pAppMenu, QAction* pAnchor, bool pShiftDown,
                                TBeforeCommandFunc pBeforeCommand)
{
    fBackground = false;
    fBeforeCommand = std::move(pBeforeCommand);
    return BuildMerged(pAppMenu, pAnchor, [this, pShiftDown](pf::MenuModel& pModel) {
        return fFolder.PrepareContextMenu(pModel, 0, pShiftDown);
    });
}

QMenu* TShellContextMenu::BuildBackground(QMenu* pAppMenu)
{
    fBackground = true;
    fBeforeCommand = nullptr;
    return BuildMerged(pAppMenu, nullptr, [this](pf::MenuModel& pModel) {
        return fFolder.PrepareBackgroundMenu(pModel, 0, fOwner.data());
    });
}

QString TShellContextMenu::HelpOf(std::uint32_t pId, const QString& pGiven) const
{
    if (!pGiven.isEmpty() || !fShellMenu || !TWayfold::IsShellMenuId(pId))
        return pGiven;
    QString text;
    if (pf::Failed(fShellMenu->GetCommandString(pId - TWayfold::kShellMenuIdFirst,
                                                pf::CommandString::HelpTextW, text)))
        return {};
    text.truncate(kMaxHelpLength);
    return text;
}

void TShellContextMenu::Run(std::uint32_t pId)
{
    fLastVerb.clear();
    if (!fShellMenu)
        return;
    // Exceptions stop here: this runs inside the menu's event loop.
    try {
        fLastVerb = fBackground ? fFolder.RunBackgroundMenuEntry(*fShellMenu, pId, fOwner.data())
                                : fFolder.RunContextMenuEntry(*fShellMenu, pId, fOwner.data(),
                                                              fBeforeCommand);
    } catch (const std::exception& error) {
        qWarning() << "context menu command failed:" << error.what();
        fLastVerb = QString::fromLatin1(kErrorVerb);
    }
}

QString TShellContextMenu::ShowAndEnd(const QPoint& pScreenPoint, QMenu* pMenu)
{
    if (pMenu)
        pMenu->exec(pScreenPoint);
    fShellMenu.reset();
    fFolder.EndContextMenu(!fBackground);
    emit Closed();
    return fLastVerb;
}

QString TShellContextMenu::Exec(const QPoint& pScreenPoint, QMenu* pAppMenu, QAction* pAnchor,
                                const TBeforeCommandFunc& pBeforeCommand)
{
    fLastVerb.clear();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool shift = QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
    QMenu* menu = Build(pAppMenu, pAnchor, shift, pBeforeCommand);
    QGuiApplication::restoreOverrideCursor();
    const bool failed = !HasShellEntries();
    const QString verb = ShowAndEnd(pScreenPoint, menu);
    return failed ? QString::fromLatin1(kErrorVerb) : verb;
}

QString TShellContextMenu::Exec(const QPoint& pScreenPoint, QAction* pAnchor,
                                const TBeforeCommandFunc& pBeforeCommand)
{
    QMenu* appMenu = nullptr;
    // The anchor also belongs to the merged menu of an earlier showing, which is not its own.
    if (pAnchor)
        for (QObject* object : pAnchor->associatedObjects())
            if (object != fMenu && (appMenu = qobject_cast<QMenu*>(object)))
                break;
    return Exec(pScreenPoint, appMenu, pAnchor, pBeforeCommand);
}

QString TShellContextMenu::ExecBackground(const QPoint& pScreenPoint, QMenu* pAppMenu)
{
    fLastVerb.clear();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QMenu* menu = BuildBackground(pAppMenu);
    QGuiApplication::restoreOverrideCursor();
    return ShowAndEnd(pScreenPoint, menu);
}

bool InvokeContextMenuCommand(TWayfold& pFolder, const TShellCommand& pCommand)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestore
    {
        ~TRestore() { QGuiApplication::restoreOverrideCursor(); }
    } restore;
    return pFolder.InvokeContextMenuCommand(pCommand);
}

} // namespace kiv

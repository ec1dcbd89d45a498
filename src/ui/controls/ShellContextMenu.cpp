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

QMenu* TShellContextMenu::Build(QMenu* pAppMenu, QAction* pAnchor, bool pShiftDown)
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
        anchorIndex = static_cast<int>(actions.indexOf(pAnchor));
        appCount = static_cast<int>(actions.size());
        fMenu->addActions(actions);
        // Application entries hint with their status tips.
        for (QAction* action : actions)
            connect(action, &QAction::hovered, fMenu,
                    [this, action] { emit Hint(action->statusTip()); });
    }
    pf::MenuModel model;
    fShellMenu = fFolder.PrepareContextMenu(model, 0, pShiftDown);
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
        fLastVerb = fFolder.RunContextMenuEntry(*fShellMenu, pId, fOwner.data());
    } catch (const std::exception& error) {
        qWarning() << "context menu command failed:" << error.what();
        fLastVerb = QString::fromLatin1(kErrorVerb);
    }
}

QString TShellContextMenu::Exec(const QPoint& pScreenPoint, QMenu* pAppMenu, QAction* pAnchor)
{
    fLastVerb.clear();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool shift = QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
    QMenu* menu = Build(pAppMenu, pAnchor, shift);
    QGuiApplication::restoreOverrideCursor();
    const bool failed = !HasShellEntries();
    if (menu)
        menu->exec(pScreenPoint);
    fShellMenu.reset();
    fFolder.MultiObjects().Clear();
    emit Closed();
    return failed ? QString::fromLatin1(kErrorVerb) : fLastVerb;
}

} // namespace kiv

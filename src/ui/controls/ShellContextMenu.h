#pragma once

// The folder component's context menu as a Qt menu: the platform's entries of the object or
// selection merged with the application's own, the chosen entry run through the component.

#include "core/platform/IContextMenu.h"
#include "core/shell/ShellControlHelper.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QMenu;
class QPoint;
class QWidget;

namespace kiv {

class TWayfold;

// Puts pItems into pMenu before pBefore (null: at the end). Captions keep "&" as the access key,
// the default entry is bold, icons come from the icon theme, separators and disabled entries stay
// as they are; a sub-menu gets its entries the first time it is about to show. pOnChosen receives
// the id of a triggered entry, pOnHover the id and help text of a hovered one.
using TMenuChosenFunc = std::function<void(std::uint32_t pId)>;
using TMenuHoverFunc = std::function<void(std::uint32_t pId, const QString& pHelp)>;
void FillMenuFromModel(QMenu& pMenu, const std::vector<pf::MenuItem>& pItems, QAction* pBefore,
                       const TMenuChosenFunc& pOnChosen, const TMenuHoverFunc& pOnHover);

// One showing of a merged context menu for pFolder (which must outlive it): the menu of the
// object or selection, or the folder's background menu. The application's actions are added to
// the merged menu as they are, so its menu stays untouched and its items run their own handlers;
// the platform's entries run through TWayfold::RunContextMenuEntry (RunBackgroundMenuEntry).
// UI thread only.
class TShellContextMenu : public QObject
{
    Q_OBJECT

public:
    // What Exec answers when no platform menu could be obtained or prepared.
    static constexpr const char* kErrorVerb = "__ERROR__";

    TShellContextMenu(TWayfold& pFolder, QWidget* pOwner);
    ~TShellContextMenu() override;

    // Builds the merged menu: pAppMenu's actions (may be null) with the platform's entries first
    // when the component shows them on top, else after pAnchor, else after the last action.
    // pBeforeCommand (when set) decides in place of the component's BeforeInvokeCommand whether
    // a chosen entry runs. Null when there is nothing to show. The menu belongs to this object.
    QMenu* Build(QMenu* pAppMenu, QAction* pAnchor, bool pShiftDown,
                 TBeforeCommandFunc pBeforeCommand = {});
    // The same with the folder's background menu: its entries first when the component shows
    // them on top, else after pAppMenu's actions.
    QMenu* BuildBackground(QMenu* pAppMenu);
    // Whether the last Build obtained the platform's entries.
    bool HasShellEntries() const { return fShellMenu != nullptr; }
    // Shows the merged menu at pScreenPoint until it closes and answers the verb that ran, ""
    // when none did, kErrorVerb when the platform's menu could not be had (the application's
    // menu is then shown alone) or its command failed. The component's selection is cleared
    // afterwards.
    QString Exec(const QPoint& pScreenPoint, QMenu* pAppMenu, QAction* pAnchor,
                 const TBeforeCommandFunc& pBeforeCommand = {});
    // The same with the menu pAnchor belongs to as the application's menu.
    QString Exec(const QPoint& pScreenPoint, QAction* pAnchor,
                 const TBeforeCommandFunc& pBeforeCommand = {});
    // Shows the folder's background menu merged with pAppMenu (may be null) and answers the
    // verb that ran, "" when none did or its command failed.
    QString ExecBackground(const QPoint& pScreenPoint, QMenu* pAppMenu);
    // Builds the background menu alone, without showing it (null when the folder has none).
    QMenu* QueryBackgroundMenu() { return BuildBackground(nullptr); }
    // The verb the last chosen platform entry ran ("" when refused, kErrorVerb when it failed).
    QString LastVerb() const { return fLastVerb; }

signals:
    // The hint of the hovered entry: the help text of a platform entry, the status tip of an
    // application one.
    void Hint(const QString& pText);
    // The menu closed (after its command ran).
    void Closed();

private:
    // pAppMenu's actions with the entries pPrepare puts into the model; null when empty.
    QMenu* BuildMerged(QMenu* pAppMenu, QAction* pAnchor,
                       const std::function<pf::IContextMenuPtr(pf::MenuModel&)>& pPrepare);
    QString ShowAndEnd(const QPoint& pScreenPoint, QMenu* pMenu);
    void ConnectSubMenuHints(const QList<QAction*>& pActions);
    void Run(std::uint32_t pId);
    QString HelpOf(std::uint32_t pId, const QString& pGiven) const;

    TWayfold& fFolder;
    QPointer<QWidget> fOwner;
    QPointer<QMenu> fMenu;
    pf::IContextMenuPtr fShellMenu;
    bool fBackground = false;
    TBeforeCommandFunc fBeforeCommand;
    QString fLastVerb;
};

// TWayfold::InvokeContextMenuCommand with the wait cursor up while it runs. UI thread only (a
// worker calls the component directly and leaves the cursor alone).
bool InvokeContextMenuCommand(TWayfold& pFolder, const TShellCommand& pCommand);

} // namespace kiv

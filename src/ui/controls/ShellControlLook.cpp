#include "ui/controls/ShellControlLook.h"

#include "core/shell/ScreenScale.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QTreeView>

#include <algorithm>
#include <cmath>

namespace kiv {

namespace {

// Rows stay at least this high at 96 dpi: a 16-pixel icon and its margins.
constexpr int kMinimumRowHeight = 20;
// Room around the text of a row.
constexpr int kRowPadding = 4;
// Marks what the explorer look changed, so that revoking takes back only that.
const char* const kHeightSheet = "kivNodeHeightSheet";

} // namespace

void TShellControlLook::ApplyExplorerFont(QFont& pFont)
{
    pFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

void TShellControlLook::ApplyExplorerFont(QWidget* pControl)
{
    if (pControl)
        pControl->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

void TShellControlLook::ApplyExplorerStyle(QAbstractItemView* pListView, bool pRevoke)
{
    if (!pListView)
        return;
    if (pRevoke) {
        pListView->setSelectionBehavior(QAbstractItemView::SelectItems);
        return;
    }
    pListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Qt paints through a back buffer already: there is nothing to switch on for flicker.
}

void TShellControlLook::ApplyExplorerStyle(QTreeView* pTreeView, bool pRevoke)
{
    if (!pTreeView)
        return;
    if (pRevoke) {
        SetTreeNodeHeight(pTreeView, 0, false);
        return;
    }
    pTreeView->setRootIsDecorated(true);
    pTreeView->setSelectionBehavior(QAbstractItemView::SelectRows);
    pTreeView->setAllColumnsShowFocus(true);
    const int textHeight =
        QFontMetrics(pTreeView->font()).boundingRect(QStringLiteral("Mg")).height();
    SetTreeNodeHeight(
        pTreeView,
        std::max(TScreenScale::ScaledPixels(kMinimumRowHeight), textHeight) + kRowPadding, false);
}

void TShellControlLook::SetTreeNodeHeight(QTreeView* pTreeView, int pNodeHeight, bool pScale)
{
    if (!pTreeView)
        return;
    const QString old = pTreeView->property(kHeightSheet).toString();
    QString sheet = pTreeView->styleSheet();
    if (!old.isEmpty())
        sheet.remove(old);
    QString own;
    if (pNodeHeight > 0) {
        const int height = pScale ? TScreenScale::ScaledPixels(pNodeHeight) : pNodeHeight;
        own = QStringLiteral("QTreeView::item{height:%1px;}").arg(height);
        pTreeView->setUniformRowHeights(true);
    }
    pTreeView->setProperty(kHeightSheet, own);
    pTreeView->setStyleSheet(sheet + own);
}

bool TShellControlLook::IsDark(const QColor& pBackground)
{
    const double r = pBackground.red();
    const double g = pBackground.green();
    const double b = pBackground.blue();
    return std::lround(std::sqrt(0.299 * r * r + 0.587 * g * g + 0.114 * b * b)) < 128;
}

QSize TShellControlLook::GetTextExtent(const QString& pText, const QWidget* pControl)
{
    if (!pControl)
        return {0, 0};
    const QFontMetrics metrics(pControl->font());
    return {metrics.horizontalAdvance(pText), metrics.height()};
}

int TShellControlLook::GetTextWidth(const QString& pText, const QWidget* pControl)
{
    return GetTextExtent(pText, pControl).width();
}

QWidget* TShellControlLook::GetOwningWindow()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto visible = std::find_if(windows.begin(), windows.end(), [](QWidget* pWindow) {
        return pWindow->isVisible() && pWindow->isWindow();
    });
    return visible == windows.end() ? nullptr : *visible;
}

} // namespace kiv

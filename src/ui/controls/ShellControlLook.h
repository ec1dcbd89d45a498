#pragma once

// The explorer look that the shell controls share: the desktop's font, whole-row selection,
// row heights that leave room for icons, and text measures in a control's font. Widgets only;
// user-interface thread only.

#include <QSize>
#include <QString>

class QAbstractItemView;
class QColor;
class QFont;
class QTreeView;
class QWidget;

namespace kiv {

class TShellControlLook
{
public:
    TShellControlLook() = delete;

    // The desktop's general font (what the desktop names its icons with).
    static void ApplyExplorerFont(QFont& pFont);
    static void ApplyExplorerFont(QWidget* pControl);
    // Whole rows selected and drawn without flicker; pRevoke goes back to the plain look.
    static void ApplyExplorerStyle(QAbstractItemView* pListView, bool pRevoke);
    // Also: no lines between nodes, expand buttons at the root, and rows of
    // max(ScaledPixels(20), height of "Mg") + 4 pixels. pRevoke only takes the look back.
    static void ApplyExplorerStyle(QTreeView* pTreeView, bool pRevoke);
    // Every row of the tree pNodeHeight pixels high (scaled for the screen first with pScale).
    static void SetTreeNodeHeight(QTreeView* pTreeView, int pNodeHeight, bool pScale);
    // Whether a background is dark: sqrt(0.299 R² + 0.587 G² + 0.114 B²), rounded, below 128.
    static bool IsDark(const QColor& pBackground);
    // The size of a text in the control's font ((0, 0) without a control).
    static QSize GetTextExtent(const QString& pText, const QWidget* pControl);
    static int GetTextWidth(const QString& pText, const QWidget* pControl);
    // The window that dialogs of the controls belong to: the active window, else the first
    // visible top-level window; null when there is none.
    static QWidget* GetOwningWindow();
};

} // namespace kiv

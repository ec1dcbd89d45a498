#include "Appearance.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPalette>

namespace {

struct TDarkLook
{
    QColor Window, Base, AlternateBase, Text, Button, Highlight, HighlightedText, Disabled;
};

// Two dark looks: a neutral grey one and a deeper blue-grey one.
const TDarkLook kWindows10DarkLook{QColor(0x2b, 0x2b, 0x2b), QColor(0x1e, 0x1e, 0x1e),
                                   QColor(0x26, 0x26, 0x26), QColor(0xf0, 0xf0, 0xf0),
                                   QColor(0x33, 0x33, 0x33), QColor(0x00, 0x78, 0xd7),
                                   QColor(0xff, 0xff, 0xff), QColor(0x80, 0x80, 0x80)};
const TDarkLook kCarbonLook{QColor(0x24, 0x28, 0x2e), QColor(0x1a, 0x1d, 0x21),
                            QColor(0x20, 0x24, 0x29), QColor(0xe6, 0xe8, 0xea),
                            QColor(0x2e, 0x33, 0x3a), QColor(0x3d, 0x7e, 0xb8),
                            QColor(0xff, 0xff, 0xff), QColor(0x7a, 0x80, 0x88)};

QPalette PaletteOf(const TDarkLook& pLook)
{
    QPalette palette;
    palette.setColor(QPalette::Window, pLook.Window);
    palette.setColor(QPalette::WindowText, pLook.Text);
    palette.setColor(QPalette::Base, pLook.Base);
    palette.setColor(QPalette::AlternateBase, pLook.AlternateBase);
    palette.setColor(QPalette::Text, pLook.Text);
    palette.setColor(QPalette::Button, pLook.Button);
    palette.setColor(QPalette::ButtonText, pLook.Text);
    palette.setColor(QPalette::ToolTipBase, pLook.Button);
    palette.setColor(QPalette::ToolTipText, pLook.Text);
    palette.setColor(QPalette::Highlight, pLook.Highlight);
    palette.setColor(QPalette::HighlightedText, pLook.HighlightedText);
    palette.setColor(QPalette::PlaceholderText, pLook.Disabled);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, pLook.Disabled);
    return palette;
}

// Menus and tool tips are separate windows, which palettes do not reach; the style sheet does.
QString StyleSheetOf(const TDarkLook& pLook)
{
    return QStringLiteral(
               "QWidget { background-color: %1; color: %2; }"
               "QMenuBar::item:selected, QMenu::item:selected { background-color: %3; color: %4; }"
               "QMenu { border: 1px solid %5; }"
               "QMenu::item:disabled { color: %6; }"
               "QToolTip { background-color: %7; color: %2; border: 1px solid %5; }"
               "QTabBar::tab:selected { background-color: %7; }")
        .arg(pLook.Window.name(), pLook.Text.name(), pLook.Highlight.name(),
             pLook.HighlightedText.name(), pLook.Disabled.name(), pLook.Disabled.name(),
             pLook.Button.name());
}

} // namespace

TStyleManager::TStyleManager(QMainWindow& pWindow)
    : fWindow(pWindow)
{
}

bool TStyleManager::TrySetStyle(const QString& pName, bool pShowError)
{
    if (!fAvailable.contains(pName)) {
        if (pShowError) {
            auto* box = new QMessageBox(QMessageBox::Critical, QApplication::applicationName(),
                                        QStringLiteral("Style '%1' not found.").arg(pName),
                                        QMessageBox::Ok, &fWindow);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
        return false;
    }

    QPalette palette;
    QString sheet;
    if (pName == kWindows10Dark) {
        palette = PaletteOf(kWindows10DarkLook);
        sheet = StyleSheetOf(kWindows10DarkLook);
    } else if (pName == kCarbon) {
        palette = PaletteOf(kCarbonLook);
        sheet = StyleSheetOf(kCarbonLook);
    } else {
        palette = QApplication::palette();
    }
    fWindow.setPalette(palette);
    const auto children = fWindow.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (!child->isWindow())
            child->setStyleSheet(sheet);
    }
    fActive = pName;
    return true;
}

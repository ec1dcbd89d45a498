#pragma once

#include <QString>
#include <QStringList>

class QMainWindow;

// The application's looks, chosen by name: "Windows" is the platform's own look; "Windows10 Dark"
// and "Carbon" are two dark looks of our own (a palette plus a style sheet). A look is applied to
// the main window and the widgets it holds (menus and tool tips included); dialogs keep the
// platform look, since the style sheet is never set on the window itself, from which it would
// cascade to every dialog the window parents.
//
// User-interface thread only.
class TStyleManager
{
public:
    static inline const QString kWindows = QStringLiteral("Windows");
    static inline const QString kWindows10Dark = QStringLiteral("Windows10 Dark");
    static inline const QString kCarbon = QStringLiteral("Carbon");

    explicit TStyleManager(QMainWindow& pWindow);

    // The names that can be applied; all three unless a test took one away.
    QStringList StyleNames() const { return fAvailable; }
    void SetAvailable(QStringList pNames) { fAvailable = std::move(pNames); }
    QString ActiveStyle() const { return fActive; }

    // Applies the named look. An unknown name leaves the current look, shows an error box when
    // pShowError is set, and returns false.
    bool TrySetStyle(const QString& pName, bool pShowError);

private:
    QMainWindow& fWindow;
    QStringList fAvailable{kWindows, kWindows10Dark, kCarbon};
    QString fActive = kWindows;
};

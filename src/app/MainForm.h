#pragma once

#include "settei.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class QAction;
class QActionGroup;
class QStatusBar;
class TTabStrip;
class TStyleManager;

// The state of the right-hand pane, in this order.
enum class TPreviewOrDetails
{
    None,
    Preview,
    Details,
    CustomPreview
};

// The main window of the explorer (the unit known as "main"): composes the shell components
// into the window, restores its placement and tab set at creation and stores the placement on
// every close request. Owns every component it shows. User-interface thread only.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // The about box's first line and the application's title.
    static inline const QString kProductVersionLine = QStringLiteral("Tovaline V1.3");
    static inline const QString kApplicationTitle =
        QStringLiteral("Explorer Sample Project for Wayfold");
    static inline const QString kMessageTitle = QStringLiteral("Tovaline 情報");

    explicit TMainForm(settei::TSettingsFolder pSettings, QWidget* pParent = nullptr);
    ~TMainForm() override;

    // The tab set: entry i is the folder of tab i (held in an invisible memo in the original
    // form; a plain list here).
    const QStringList& Memo1() const { return fMemo1; }
    TPreviewOrDetails PreviewVisibility() const { return fPreviewVisibility; }
    int HistoryIndex() const { return fHistoryIndex; }
    TStyleManager& StyleManager() { return *fStyleManager; }
    TTabStrip* TabControl1() const { return fTabControl1; }

    // The text of the about box, lines separated by CR LF.
    static QString AboutText();

    // Event handlers.
    void FormCreate();
    void FormCloseQuery(bool& pCanClose);
    void Exit1Click();
    void LightMode1Click();
    void DarkMode1Click();
    void About1Click();

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void CreateMenus();
    void CreateBottomPane();
    void ApplyPlacement(const settei::TWindowPlacement& pPlacement);
    settei::TWindowPlacement CurrentPlacement() const;

    settei::TSettingsFolder fSettings;
    std::unique_ptr<TStyleManager> fStyleManager;
    QStringList fMemo1;
    int fHistoryIndex = 0;
    TPreviewOrDetails fPreviewVisibility = TPreviewOrDetails::None;
    QString fCustomIconPath;

    // Owned by Qt's parent tree.
    QStatusBar* fStatusBar1 = nullptr;
    QWidget* fPaneBotom = nullptr;
    TTabStrip* fTabControl1 = nullptr;
    QAction* fLightMode1 = nullptr;
    QAction* fDarkMode1 = nullptr;
};

#include "MainForm.h"

#include "Appearance.h"
#include "TabStrip.h"
#include "core/shell/KivVersion.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

QList<QRect> MonitorRects()
{
    QList<QRect> rects;
    for (const QScreen* screen : QGuiApplication::screens())
        rects.append(screen->geometry());
    return rects;
}

} // namespace

TMainForm::TMainForm(settei::TSettingsFolder pSettings, QWidget* pParent)
    : QMainWindow(pParent)
    , fSettings(std::move(pSettings))
    , fStyleManager(std::make_unique<TStyleManager>(*this))
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tovaline"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientPanel"));
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    auto* explorerPanel = new QWidget(client);
    explorerPanel->setObjectName(QStringLiteral("ExplorerPanel"));
    clientLayout->addWidget(explorerPanel, 1);
    setCentralWidget(client);

    CreateBottomPane();
    fStatusBar1 = new QStatusBar(this);
    fStatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    fStatusBar1->setFixedHeight(25);
    setStatusBar(fStatusBar1);
    CreateMenus();

    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateMenus()
{
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("ファイル"));
    fileMenu->setObjectName(QStringLiteral("File1"));
    QAction* exit = fileMenu->addAction(QStringLiteral("終了(&X)"), this, &TMainForm::Exit1Click);
    exit->setObjectName(QStringLiteral("Exit1"));

    QMenu* looks = menuBar()->addMenu(QStringLiteral("外観"));
    looks->setObjectName(QStringLiteral("Appearance1"));
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    fLightMode1 =
        looks->addAction(QStringLiteral("ライトモード"), this, &TMainForm::LightMode1Click);
    fLightMode1->setObjectName(QStringLiteral("LightMode1"));
    fDarkMode1 = looks->addAction(QStringLiteral("ダークモード"), this, &TMainForm::DarkMode1Click);
    fDarkMode1->setObjectName(QStringLiteral("DarkMode1"));
    for (QAction* mode : {fLightMode1, fDarkMode1}) {
        mode->setCheckable(true);
        group->addAction(mode);
    }
    fLightMode1->setChecked(true);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* about = help->addAction(QStringLiteral("About...(&A)"), this, &TMainForm::About1Click);
    about->setObjectName(QStringLiteral("About1"));
}

void TMainForm::CreateBottomPane()
{
    fPaneBotom = new QWidget(centralWidget());
    fPaneBotom->setObjectName(QStringLiteral("paneBotom"));
    auto* layout = new QHBoxLayout(fPaneBotom);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* tabs = new TTabStrip(fPaneBotom);
    tabs->setObjectName(QStringLiteral("TabControl1"));
    tabs->setShape(QTabBar::RoundedSouth);
    tabs->setExpanding(false);
    tabs->setElideMode(Qt::ElideNone);
    layout->addWidget(tabs, 1);
    fTabControl1 = tabs;

    centralWidget()->layout()->addWidget(fPaneBotom);
}

void TMainForm::FormCreate()
{
    fHistoryIndex = 0;

    const auto stored = settei::ReadPlacement(fSettings.ReadPath(settei::kDataIni));
    ApplyPlacement(settei::KeepOnScreen(stored, MonitorRects()));

    fMemo1 = settei::ReadTabSet(fSettings.ReadPath(settei::kMemoIni));
    for (const QString& path : fMemo1)
        fTabControl1->addTab(settei::TabCaption(path));
    // No tab is selected at start; the bar would otherwise select the first one it gets.
    fTabControl1->SetTabIndex(-1);

    fPreviewVisibility = TPreviewOrDetails::None;

    fTabControl1->SetTabHeight(30);
    fTabControl1->setFixedHeight(29);
    fPaneBotom->setFixedHeight(30);
}

void TMainForm::ApplyPlacement(const settei::TWindowPlacement& pPlacement)
{
    move(pPlacement.Left, pPlacement.Top);
    resize(pPlacement.Width, pPlacement.Height);
}

settei::TWindowPlacement TMainForm::CurrentPlacement() const
{
    // The frame's position and the client size: the same pair ApplyPlacement sets, so a
    // placement survives any number of runs unchanged.
    return {pos().y(), pos().x(), width(), height()};
}

void TMainForm::FormCloseQuery(bool& pCanClose)
{
    settei::WritePlacement(fSettings.WritePath(settei::kDataIni), CurrentPlacement());
    pCanClose = true;
}

void TMainForm::closeEvent(QCloseEvent* pEvent)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose)
        pEvent->accept();
    else
        pEvent->ignore();
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::LightMode1Click()
{
    fStyleManager->TrySetStyle(TStyleManager::kWindows, true);
    fLightMode1->setChecked(true);
}

void TMainForm::DarkMode1Click()
{
    if (!fStyleManager->TrySetStyle(TStyleManager::kWindows10Dark, false))
        fStyleManager->TrySetStyle(TStyleManager::kCarbon, true);
    fDarkMode1->setChecked(true);
}

QString TMainForm::AboutText()
{
    return kProductVersionLine + QStringLiteral("\r\n\r\n") + kApplicationTitle +
           QStringLiteral("\r\n") + kiv::ComponentVersion(u"TKivShellTree");
}

void TMainForm::About1Click()
{
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, kMessageTitle, AboutText(), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("AboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

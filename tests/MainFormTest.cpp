// The main window's start-up and close: placement and tab set from the settings files, the
// appearance switch and the about box, on Qt's offscreen platform.
#include "app/MainForm.h"

#include "TestDir.h"
#include "app/Appearance.h"
#include "app/TabStrip.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

using kiv::test::TestDir;

class MainFormTest : public QObject
{
    Q_OBJECT

private:
    static settei::TSettingsFolder Beside(const TestDir& pDir)
    {
        return settei::TSettingsFolder(pDir.Path(), pDir.Join("config"), true);
    }

private slots:
    void firstStartWithoutSettingsFiles()
    {
        TestDir dir;
        TMainForm form(Beside(dir));
        QCOMPARE(form.pos(), QPoint(50, 50));
        QCOMPARE(form.size(), QSize(900, 600));
        QCOMPARE(form.TabControl1()->count(), 0);
        QCOMPARE(form.TabControl1()->TabIndex(), -1);
        QCOMPARE(form.PreviewVisibility(), TPreviewOrDetails::None);
        QCOMPARE(form.HistoryIndex(), 0);
        QCOMPARE(form.StyleManager().ActiveStyle(), TStyleManager::kWindows);
        QVERIFY(form.findChild<QAction*>("LightMode1")->isChecked());
        QVERIFY(!form.findChild<QAction*>("DarkMode1")->isChecked());
    }

    void storedPlacementIsKeptOnScreen()
    {
        TestDir dir;
        // The offscreen platform has one 800 × 600 screen.
        dir.CreateFile("data.ini",
                       "[mainform]\r\ntop=20\r\nleft=3000\r\nwidth=640\r\nheight=480\r\n");
        TMainForm form(Beside(dir));
        QCOMPARE(form.pos(), QPoint(50, 20));
        QCOMPARE(form.size(), QSize(640, 480));
    }

    void tabSetFromMemoIni()
    {
        TestDir dir;
        dir.CreateFile("memo.ini", "/home/user/写真\r\n/srv/share/\r\n/tmp/\r\n");
        TMainForm form(Beside(dir));
        QCOMPARE(form.Memo1(), QStringList({"/home/user/写真", "/srv/share/", "/tmp/"}));
        QCOMPARE(form.TabControl1()->count(), 3);
        QCOMPARE(form.TabControl1()->tabText(0), QString("写真"));
        QCOMPARE(form.TabControl1()->tabText(1), QString());
        QCOMPARE(form.TabControl1()->tabText(2), QString());
        QCOMPARE(form.TabControl1()->TabIndex(), -1);
    }

    void bottomPaneHeights()
    {
        TestDir dir;
        TMainForm form(Beside(dir));
        QCOMPARE(form.findChild<QWidget*>("paneBotom")->height(), 30);
        QCOMPARE(form.TabControl1()->height(), 29);
        QCOMPARE(form.TabControl1()->TabHeight(), 30);
        QVERIFY(form.findChild<QWidget*>("StatusBar1"));
    }

    void everyCloseRequestWritesThePlacement()
    {
        TestDir dir;
        TMainForm form(Beside(dir));
        form.show();
        QVERIFY(form.close());
        QCOMPARE(settei::ReadPlacement(dir.Join("data.ini")).Width, 900);

        form.show();
        form.move(70, 80);
        form.resize(700, 400);
        QVERIFY(form.close());
        const auto stored = settei::ReadPlacement(dir.Join("data.ini"));
        QCOMPARE(stored, (settei::TWindowPlacement{80, 70, 700, 400}));

        // The next start restores exactly what was stored.
        TMainForm again(Beside(dir));
        QCOMPARE(again.pos(), QPoint(70, 80));
        QCOMPARE(again.size(), QSize(700, 400));
    }

    void unwritableProgramFolderUsesTheConfigFolder()
    {
        TestDir dir;
        TMainForm form(settei::TSettingsFolder(dir.Path(), dir.Join("config/tovaline"), false));
        form.resize(640, 480);
        QVERIFY(form.close());
        QVERIFY(!QFile::exists(dir.Join("data.ini")));
        QCOMPARE(settei::ReadPlacement(dir.Join("config/tovaline/data.ini")).Width, 640);
    }

    void darkModeFallsBackToCarbon()
    {
        TestDir dir;
        TMainForm form(Beside(dir));
        auto* light = form.findChild<QAction*>("LightMode1");
        auto* dark = form.findChild<QAction*>("DarkMode1");

        dark->trigger();
        QCOMPARE(form.StyleManager().ActiveStyle(), TStyleManager::kWindows10Dark);
        QVERIFY(dark->isChecked() && !light->isChecked());
        QVERIFY(form.palette().color(QPalette::Window) !=
                QApplication::palette().color(QPalette::Window));

        light->trigger();
        QCOMPARE(form.StyleManager().ActiveStyle(), TStyleManager::kWindows);
        QCOMPARE(form.palette().color(QPalette::Window),
                 QApplication::palette().color(QPalette::Window));

        form.StyleManager().SetAvailable({TStyleManager::kWindows, TStyleManager::kCarbon});
        dark->trigger();
        QCOMPARE(form.StyleManager().ActiveStyle(), TStyleManager::kCarbon);
        QVERIFY(form.findChildren<QMessageBox*>().isEmpty());

        // Neither dark look: the window keeps its look and the failure is shown.
        light->trigger();
        form.StyleManager().SetAvailable({TStyleManager::kWindows});
        dark->trigger();
        QCOMPARE(form.StyleManager().ActiveStyle(), TStyleManager::kWindows);
        QCOMPARE(form.findChildren<QMessageBox*>().size(), 1);
    }

    void aboutBoxKeepsThePlatformLook()
    {
        TestDir dir;
        TMainForm form(Beside(dir));
        form.show();
        form.DarkMode1Click();
        form.findChild<QAction*>("About1")->trigger();
        auto* box = form.findChild<QMessageBox*>("AboutBox");
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QString("Tovaline 情報"));
        QCOMPARE(box->text(), QStringLiteral("Tovaline V1.3\r\n\r\nExplorer Sample Project for "
                                             "Wayfold\r\nTKivShellTree 1.0.0"));
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QCOMPARE(box->palette().color(QPalette::Window),
                 QApplication::palette().color(QPalette::Window));
        QVERIFY(box->styleSheet().isEmpty());
        box->accept();
    }

    void exitClosesTheWindow()
    {
        TestDir dir;
        TMainForm form(Beside(dir));
        form.show();
        form.findChild<QAction*>("Exit1")->trigger();
        QVERIFY(!form.isVisible());
        QVERIFY(QFile::exists(dir.Join("data.ini")));
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"

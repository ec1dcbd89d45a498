// What the application gives the platform's context menus: the hooks come with the start-up
// object and go with it, and "Choose Another Application" lists the applications of a private
// data folder (the type's first) and starts the chosen one with the file as one argument.
#include "app/PlatformHooks.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/IContextMenu.h"
#include "core/platform/IPlatform.h"
#include "platform/linux/LinuxMenus.h"
#include "platform/linux/LinuxNamespace.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/dialogs/ApplicationChooser.h"
#include "ui/dialogs/FileOperationDialogs.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <memory>

using kiv::test::TestDir;
namespace pf = kiv::pf;

class PlatformHooksTest : public QObject
{
    Q_OBJECT

private:
    TestDir fHome;
    kiv::test::TScopedEnvironment fEnv;
    std::unique_ptr<pf::TScopedPlatform> fPlatform;
    QString fRecorder;

    void AddApp(const char* pId, const QByteArray& pBody)
    {
        fHome.CreateFile(QStringLiteral("system/share/applications/") + QString::fromUtf8(pId),
                         "[Desktop Entry]\nType=Application\n" + pBody);
    }

    // The arguments the recorder was last started with (waits for it to write them).
    QStringList RecordedArguments()
    {
        QFile out(fRecorder + QStringLiteral(".out"));
        for (int i = 0; i < 500 && !out.exists(); ++i)
            QTest::qWait(20);
        if (!out.open(QIODevice::ReadOnly))
            return {};
        QStringList words;
        for (const QByteArray& word : out.readAll().split('\0'))
            if (!word.isEmpty())
                words.push_back(QString::fromUtf8(word));
        out.remove();
        return words;
    }

    static kiv::TApplicationChooser* OpenChooser()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* chooser = qobject_cast<kiv::TApplicationChooser*>(widget);
                chooser && chooser->isVisible())
                return chooser;
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        UseTestDesktopHome(fEnv, fHome);
        fRecorder = fHome.CreateFile(QStringLiteral("bin/record"),
                                     "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.tmp\" && "
                                     "mv \"$0.tmp\" \"$0.out\"\n");
        QFile::setPermissions(fRecorder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
        const QByteArray exec = "Exec=\"" + fRecorder.toUtf8() + "\" ";
        AddApp("alpha.desktop", "Name=Alpha\n" + exec + "alpha %f\nMimeType=text/plain;\n");
        AddApp("beta.desktop", "Name=Beta\n" + exec + "beta %f\nMimeType=text/plain;\n");
        AddApp("zed.desktop", "Name=Zed Viewer\n" + exec + "zed %f\nMimeType=image/png;\n");
        AddApp("quiet.desktop",
               "Name=Quiet\nNoDisplay=true\n" + exec + "quiet %f\nMimeType=image/png;\n");
        fHome.CreateFile(QStringLiteral(".config/mimeapps.list"),
                         "[Default Applications]\ntext/plain=beta.desktop;\n");
        fPlatform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
    }

    void cleanupTestCase() { fPlatform.reset(); }

    void hooksComeAndGoWithTheStartUpObject()
    {
        {
            const TPlatformHooks hooks;
            const pf::lnx::TMenuHooks installed = pf::lnx::MenuHooks();
            QVERIFY(installed.ChooseApplication);
            QVERIFY(installed.ShowProperties);
            QVERIFY(installed.ConfirmDelete);
            QVERIFY(installed.ReportError);
        }
        const pf::lnx::TMenuHooks after = pf::lnx::MenuHooks();
        QVERIFY(!after.ChooseApplication && !after.ShowProperties && !after.ConfirmDelete &&
                !after.ReportError);
    }

    // Deleting for good asks the file operation engine's question (here refused); moving to the
    // trash, which Restore undoes, asks nothing.
    void deletingForGoodAsksTheEnginesQuestion()
    {
        pf::IFileOps* fileOps = pf::Platform().FileOps();
        QVERIFY(fileOps);
        fileOps->SetDefaultUi(kiv::TFileOperationDialogs::Create());
        const TPlatformHooks hooks;
        const pf::lnx::TMenuHooks installed = pf::lnx::MenuHooks();
        QVERIFY(installed.ConfirmDelete({QStringLiteral("/x/a.txt")}, false));
        QString asked;
        QTimer::singleShot(0, [&asked] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (!box || !box->isVisible())
                    continue;
                asked = box->text();
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == QLatin1String("No"))
                        button->click();
            }
        });
        QVERIFY(!installed.ConfirmDelete({}, true));
        QCOMPARE(asked, QStringLiteral("Permanently delete everything in the trash?"));
        fileOps->SetDefaultUi(nullptr);
    }

    void chooserListsTheTypesApplicationsFirstAndStartsTheChosenOne()
    {
        const TPlatformHooks hooks;
        // The index is read on the menus' worker at start-up; the chooser lists what it holds.
        pf::lnx::WaitForMenuWork();
        const QString file = fHome.CreateFile(QStringLiteral("docs/-n $HOME 'q'.txt"), "x");
        pf::IdListBytes list;
        QCOMPARE(pf::lnx::ParseAbsolutePath(pf::EncodeFileName(file), list), pf::S_OK);
        pf::IContextMenuPtr menu;
        QCOMPARE(pf::lnx::CreateItemMenu({list}, menu), pf::S_OK);
        pf::MenuModel model;
        QVERIFY(pf::Succeeded(menu->QueryContextMenu(model, 0, 1, 0x7FFF, pf::cmf::EXPLORE)));
        pf::InvokeInfo info;
        info.Verb = QStringLiteral("openas");
        QCOMPARE(menu->InvokeCommand(info), pf::S_OK);

        kiv::TApplicationChooser* chooser = OpenChooser();
        QVERIFY(chooser);
        // The default first, then the type's other application, then the rest by name; an
        // application that asks not to be listed is not.
        QCOMPARE(chooser->ShownIds(),
                 QStringList({"beta.desktop", "alpha.desktop", "zed.desktop"}));
        chooser->FilterBox()->setText(QStringLiteral("VIEW"));
        QCOMPARE(chooser->ShownIds(), QStringList({"zed.desktop"}));
        chooser->FilterBox()->clear();
        QVERIFY(chooser->Select(QStringLiteral("alpha.desktop")));
        chooser->accept();
        QCOMPARE(RecordedArguments(), QStringList({"alpha", file}));
        QTRY_VERIFY(!OpenChooser());
    }
};

QTEST_MAIN(PlatformHooksTest)
#include "PlatformHooksTest.moc"

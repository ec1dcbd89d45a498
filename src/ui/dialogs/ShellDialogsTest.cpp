#include "ui/dialogs/ShellDialogs.h"

#include "core/platform/UiDispatcher.h"
#include "platform/memory/MemoryNetwork.h"
#include "ui/dialogs/NetworkDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace kiv {

namespace {

template <class TWidget> TWidget* OpenDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<TWidget*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

TConnectDialog* OpenConnectDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = dynamic_cast<TConnectDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

bool ShowsText(QWidget& pWindow, const QString& pText)
{
    for (const QLabel* label : pWindow.findChildren<QLabel*>())
        if (label->text().contains(pText))
            return true;
    return false;
}

// Runs pCall on a worker thread, as the family's workers ask, while this (the user-interface)
// thread runs its event loop and plays the user with pUser once the dialog is open.
template <class TResult>
TResult AskFromWorker(const std::function<TResult()>& pCall, const std::function<void()>& pUser)
{
    std::atomic<bool> done{false};
    TResult result{};
    std::thread worker([&] {
        result = pCall();
        done = true;
    });
    pUser();
    (void)QTest::qWaitFor([&] { return done.load(); }, 10000);
    worker.join();
    return result;
}

} // namespace

class ShellDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    // The dispatcher belongs to the thread that first asks for it: this one, not a worker.
    void initTestCase() { pf::Ui(); }

    void EscapeAnswersCancel_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes cancel")
            << int(pf::TMsgButtons::YesCancel) << int(pf::TMsgButton::Cancel);
        QTest::newRow("ok cancel") << int(pf::TMsgButtons::OkCancel) << int(pf::TMsgButton::Cancel);
        QTest::newRow("yes no cancel")
            << int(pf::TMsgButtons::YesNoCancel) << int(pf::TMsgButton::Cancel);
        QTest::newRow("lone ok") << int(pf::TMsgButtons::Ok) << int(pf::TMsgButton::Ok);
    }
    void EscapeAnswersCancel()
    {
        QFETCH(int, buttons);
        QFETCH(int, answer);
        const auto dialogs = TShellDialogs::Create();
        QString shown;
        const pf::TMsgButton result = AskFromWorker<pf::TMsgButton>(
            [&] {
                return dialogs->MessageBox(nullptr, QStringLiteral("Tovaline"),
                                           QStringLiteral("/data/x\r\nwill be removed\n\rok?"),
                                           pf::TMsgIcon::Question, pf::TMsgButtons(buttons));
            },
            [&] {
                QMessageBox* box = nullptr;
                QVERIFY(QTest::qWaitFor([&] { return (box = OpenDialog<QMessageBox>()); }, 5000));
                shown = box->text();
                QTest::keyClick(box, Qt::Key_Escape);
            });
        QCOMPARE(int(result), answer);
        QCOMPARE(shown, QStringLiteral("/data/x\nwill be removed\nok?"));
    }

    void InputQueryKeepsTheValueOnCancel_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("ok") << true;
        QTest::newRow("cancel") << false;
    }
    void InputQueryKeepsTheValueOnCancel()
    {
        QFETCH(bool, accept);
        const auto dialogs = TShellDialogs::Create();
        QString value = QStringLiteral("preset");
        QString presetShown;
        const bool result = AskFromWorker<bool>(
            [&] {
                return dialogs->InputQuery(nullptr, QStringLiteral("Title"),
                                           QStringLiteral("Name:"), value);
            },
            [&] {
                QInputDialog* input = nullptr;
                QVERIFY(
                    QTest::qWaitFor([&] { return (input = OpenDialog<QInputDialog>()); }, 5000));
                presetShown = input->textValue();
                input->setTextValue(QStringLiteral("typed"));
                if (accept)
                    input->accept();
                else
                    QTest::keyClick(input, Qt::Key_Escape);
            });
        QCOMPARE(presetShown, QStringLiteral("preset"));
        QCOMPARE(result, accept);
        QCOMPARE(value, accept ? QStringLiteral("typed") : QStringLiteral("preset"));
    }

    // A failed connection stays in the dialog with its reason; the next try connects, remembers
    // the path and tells where it was mounted.
    void ConnectShowsFailureThenConnects()
    {
        pf::mem::TMemoryNetwork network;
        network.SetMountResult(1326, QStringLiteral("The password was refused."));
        const auto dialogs = TShellDialogs::Create(&network);
        pf::TConnectDialogArgs args;
        args.RemoteName = QStringLiteral(R"(\\server\share)");
        args.Flags = pf::conndlg::CONNDLG_PERSIST | pf::conndlg::CONNDLG_USE_MRU;
        const std::uint32_t result = AskFromWorker<std::uint32_t>(
            [&] { return dialogs->ConnectDialog(args); },
            [&] {
                TConnectDialog* dialog = nullptr;
                QVERIFY(QTest::qWaitFor([&] { return (dialog = OpenConnectDialog()); }, 5000));
                dialog->Connect();
                QTRY_VERIFY(ShowsText(*dialog, QStringLiteral("The password was refused.")));
                QVERIFY(dialog->isVisible());
                network.SetMountResult(0);
                dialog->Connect();
            });
        QCOMPARE(result, 0u);
        QCOMPARE(args.DevNum, 0u);
        QCOMPARE(args.MountPath, QStringLiteral("/mnt/share"));
        QCOMPARE(network.MountCalls().size(), std::size_t(2));
        QCOMPARE(network.MountCalls().back().Remote, QStringLiteral("smb://server/share"));
        QCOMPARE(network.RecentRemotes(), QStringList{QStringLiteral("smb://server/share")});
        QCOMPARE(network.ReconnectRemotes(), QStringList{QStringLiteral("smb://server/share")});
    }

    // The caller's OK event can keep the folder picker open; the next OK closes it.
    void FileDialogOkVeto()
    {
        QTemporaryDir folder;
        const auto dialogs = TShellDialogs::Create();
        pf::TFileDialogArgs args;
        args.DefaultFolder = folder.path();
        args.Title = QStringLiteral("Please choose destination");
        int oks = 0;
        pf::TFileDialogEvents events;
        events.OnFileOk = [&oks](const QStringList&, bool& pCanClose) { pCanClose = ++oks > 1; };
        bool stayedOpen = false;
        const pf::HResult result = AskFromWorker<pf::HResult>(
            [&] { return dialogs->FileOpenDialog(args, events); },
            [&] {
                QFileDialog* picker = nullptr;
                QVERIFY(
                    QTest::qWaitFor([&] { return (picker = OpenDialog<QFileDialog>()); }, 5000));
                QCOMPARE(picker->windowTitle(), args.Title);
                static_cast<QDialog*>(picker)->accept();
                stayedOpen = picker->isVisible();
                static_cast<QDialog*>(picker)->accept();
            });
        QVERIFY(stayedOpen);
        QCOMPARE(oks, 2);
        QCOMPARE(result, pf::S_OK);
        QCOMPARE(args.Chosen.size(), 1);
    }

    void ConnectCancelled()
    {
        pf::mem::TMemoryNetwork network;
        const auto dialogs = TShellDialogs::Create(&network);
        pf::TConnectDialogArgs args;
        const std::uint32_t result = AskFromWorker<std::uint32_t>(
            [&] { return dialogs->ConnectDialog(args); },
            [&] {
                TConnectDialog* dialog = nullptr;
                QVERIFY(QTest::qWaitFor([&] { return (dialog = OpenConnectDialog()); }, 5000));
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
        QCOMPARE(result, pf::kDialogCancelled);
        QVERIFY(network.MountCalls().empty());
    }
};

} // namespace kiv

QTEST_MAIN(kiv::ShellDialogsTest)
#include "ShellDialogsTest.moc"

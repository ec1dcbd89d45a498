// The properties dialog over real folders: totals of a tree with links (one looping back up),
// several items at once, and a walk that ends when the dialog closes.
#include "ui/dialogs/PropertiesDialog.h"

#include "TestDir.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "platform/linux/LinuxPlatform.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <memory>

namespace kiv {

class PropertiesDialogTest : public QObject
{
    Q_OBJECT

private:
    static pf::IdListBytes ListOf(const QString& pPath)
    {
        pf::IdListBytes list;
        if (pf::Failed(pf::Platform().Namespace().SimpleIdListFromPath(pPath, list)))
            qFatal("no item list for %s", qPrintable(pPath));
        return list;
    }

    // root/a.txt (5 bytes), root/sub/b.bin (7 bytes), root/sub/up -> .. (a loop back to root)
    // and root/link -> a.txt.
    static void MakeTree(test::TestDir& pDir)
    {
        pDir.CreateFile(QStringLiteral("root/a.txt"), "12345");
        pDir.CreateFile(QStringLiteral("root/sub/b.bin"), "1234567");
        QVERIFY(QFile::link(QStringLiteral(".."), pDir.Join(QStringLiteral("root/sub/up"))));
        QVERIFY(QFile::link(QStringLiteral("a.txt"), pDir.Join(QStringLiteral("root/link"))));
    }

    std::unique_ptr<pf::TScopedPlatform> fPlatform;

private slots:
    void initTestCase()
    {
        fPlatform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
    }
    void cleanupTestCase()
    {
        QTRY_COMPARE(TPropertiesDialog::RunningWalks(), 0);
        fPlatform.reset();
    }

    // The links are neither followed nor counted as content: the loop ends and every file is
    // counted once.
    void totalsOfTreeWithLinkLoop()
    {
        test::TestDir dir;
        MakeTree(dir);
        TPropertiesDialog dialog({ListOf(dir.Join(QStringLiteral("root")))});
        QSignalSpy done(&dialog, &TPropertiesDialog::TotalsDone);
        QVERIFY(done.wait(10000));
        QCOMPARE(dialog.Totals().Files, 2u);
        QCOMPARE(dialog.Totals().Folders, 1u);
        QCOMPARE(dialog.Totals().Size, 12u);
        QCOMPARE(dialog.FieldText(QStringLiteral("name")), QStringLiteral("root"));
        QCOMPARE(dialog.FieldText(QStringLiteral("type")), QStringLiteral("Folder"));
        QCOMPARE(dialog.FieldText(QStringLiteral("location")), dir.Path());
        QCOMPARE(dialog.FieldText(QStringLiteral("contains")),
                 QStringLiteral("2 files, 1 folders"));
        QVERIFY(dialog.FieldText(QStringLiteral("size")).contains(QStringLiteral("(12 bytes)")));
        QVERIFY(!dialog.Calculating());
    }

    // Several items: the selected file and folder count themselves, the folder its content too.
    void totalsOfSeveralItemsAndOneFile()
    {
        test::TestDir dir;
        MakeTree(dir);
        {
            TPropertiesDialog dialog({ListOf(dir.Join(QStringLiteral("root/a.txt"))),
                                      ListOf(dir.Join(QStringLiteral("root/sub")))});
            QSignalSpy done(&dialog, &TPropertiesDialog::TotalsDone);
            QVERIFY(done.wait(10000));
            QCOMPARE(dialog.Totals().Files, 2u);
            QCOMPARE(dialog.Totals().Folders, 1u);
            QCOMPARE(dialog.Totals().Size, 12u);
            QCOMPARE(dialog.FieldText(QStringLiteral("name")), QStringLiteral("2 items"));
            QCOMPARE(dialog.FieldText(QStringLiteral("type")), QStringLiteral("Multiple types"));
        }
        QFile::setPermissions(dir.Join(QStringLiteral("root/a.txt")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ReadGroup | QFileDevice::ReadOther);
        TPropertiesDialog dialog({ListOf(dir.Join(QStringLiteral("root/a.txt")))});
        QSignalSpy done(&dialog, &TPropertiesDialog::TotalsDone);
        QVERIFY(done.wait(10000));
        QCOMPARE(dialog.Totals().Size, 5u);
        QCOMPARE(dialog.FieldText(QStringLiteral("permissions")), QStringLiteral("rw-r--r--"));
        QVERIFY(dialog.FieldText(QStringLiteral("owner")).startsWith(QStringLiteral("Owner (")));
        QVERIFY(!dialog.FieldText(QStringLiteral("modified")).isEmpty());
        QVERIFY(dialog.FieldText(QStringLiteral("modified")) != QStringLiteral("Unknown"));
    }

    // A walk that never ends by itself (a dead mount): closing the dialog stops it, and nothing
    // reaches the dialog afterwards.
    void closingStopsTheWalk()
    {
        test::TestDir dir;
        MakeTree(dir);
        auto sawStop = std::make_shared<std::atomic<bool>>(false);
        auto started = std::make_shared<std::atomic<bool>>(false);
        const TPropertiesDialog::TTreeSum endless =
            [sawStop, started](const QString&, const std::function<bool()>& pStopped,
                               pf::TreeTotals& pTotals) {
                started->store(true);
                while (!pStopped()) {
                    ++pTotals.Files;
                    QThread::msleep(1);
                }
                sawStop->store(true);
                return pf::HResultFromWin32(1223);
            };
        auto* dialog =
            new TPropertiesDialog({ListOf(dir.Join(QStringLiteral("root")))}, nullptr, endless);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        QTRY_VERIFY(started->load());
        QVERIFY(dialog->Calculating());
        // Updates of the totals arrive while it walks.
        QTRY_VERIFY(dialog->Totals().Files > 0);
        dialog->close();
        QTRY_VERIFY(sawStop->load());
        QTRY_COMPARE(TPropertiesDialog::RunningWalks(), 0);
    }
};

} // namespace kiv

QTEST_MAIN(kiv::PropertiesDialogTest)
#include "PropertiesDialogTest.moc"

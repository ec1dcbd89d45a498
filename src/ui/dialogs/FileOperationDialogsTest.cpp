#include "ui/dialogs/FileOperationDialogs.h"

#include "core/platform/PropertySystem.h"
#include "core/platform/UiDispatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <thread>

namespace kiv {

namespace {

using pf::E_FAIL;
using pf::E_NOTIMPL;
using pf::HResult;
using pf::S_OK;

// An operation that only records what the progress window asks of it.
class TRecordingOperation final : public pf::IFileOperation
{
public:
    std::atomic<bool> Cancelled{false};
    std::atomic<bool> Paused{false};

    HResult Advise(pf::IFileOperationProgressSinkPtr, std::uint32_t&) override { return E_NOTIMPL; }
    HResult Unadvise(std::uint32_t) override { return E_NOTIMPL; }
    HResult SetOperationFlags(std::uint32_t) override { return S_OK; }
    HResult SetOwnerWindow(pf::WindowRef) override { return S_OK; }
    HResult SetUi(pf::IFileOperationUiPtr) override { return S_OK; }
    HResult CopyItem(const QString&, const QString&, const QString&) override { return S_OK; }
    HResult CopyItems(const QStringList&, const QString&) override { return S_OK; }
    HResult MoveItem(const QString&, const QString&, const QString&) override { return S_OK; }
    HResult MoveItems(const QStringList&, const QString&) override { return S_OK; }
    HResult DeleteItem(const QString&) override { return S_OK; }
    HResult DeleteItems(const QStringList&) override { return S_OK; }
    HResult RenameItem(const QString&, const QString&) override { return S_OK; }
    HResult RenameItems(const QStringList&, const QString&) override { return S_OK; }
    HResult NewItem(const QString&, std::uint32_t, const QString&, const QString&) override
    {
        return S_OK;
    }
    HResult PerformOperations() override { return S_OK; }
    HResult GetAnyOperationsAborted(bool& pAborted) override
    {
        pAborted = Cancelled;
        return S_OK;
    }
    void Cancel() noexcept override { Cancelled = true; }
    void SetPaused(bool pPaused) override { Paused = pPaused; }
    std::vector<pf::TFileOpError> Errors() const override { return {}; }
};

QMessageBox* OpenQuestion()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

QPushButton* ButtonOf(QWidget& pWindow, const QString& pText)
{
    for (QPushButton* button : pWindow.findChildren<QPushButton*>())
        if (button->text() == pText)
            return button;
    return nullptr;
}

// Asks pQuestion on a worker thread, as the engine does, while this (the user-interface) thread
// runs its event loop; answers the box that opens with pButton. Returns the box's texts.
template <class TAnswer>
QString AnswerFromWorker(const std::function<TAnswer()>& pQuestion, const QString& pButton,
                         bool pCheck, TAnswer& pAnswer)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        pAnswer = pQuestion();
        done = true;
    });
    QMessageBox* box = nullptr;
    QString texts;
    if (QTest::qWaitFor([&] { return (box = OpenQuestion()) != nullptr; }, 5000)) {
        texts = box->text() + QLatin1Char('\n') + box->informativeText();
        if (pCheck && box->checkBox())
            box->checkBox()->setChecked(true);
        if (QPushButton* button = ButtonOf(*box, pButton))
            button->click();
    }
    (void)QTest::qWaitFor([&] { return done.load(); }, 5000);
    worker.join();
    // The box closed itself with the answer.
    (void)QTest::qWaitFor([] { return OpenQuestion() == nullptr; }, 5000);
    return texts;
}

// The progress windows of runs (visible ones only, or all that exist).
QList<QWidget*> ProgressWindows(bool pVisibleOnly)
{
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (widget->objectName() == QLatin1String("FileOperationProgress") &&
            (!pVisibleOnly || widget->isVisible()))
            windows << widget;
    }
    return windows;
}

QString LabelsOf(const QWidget& pWindow)
{
    QString all;
    for (const QLabel* label : pWindow.findChildren<QLabel*>())
        all += label->text() + QLatin1Char('\n');
    return all;
}

} // namespace

class FileOperationDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    // The dispatcher belongs to the thread that first asks for it: this one, not a worker.
    void initTestCase() { pf::Ui(); }

    void Conflict_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("applyToAll");
        QTest::newRow("replace") << "Replace" << false << int(pf::TConflictAction::caReplace)
                                 << false;
        QTest::newRow("skip for all") << "Skip" << true << int(pf::TConflictAction::caSkip) << true;
        QTest::newRow("keep both for all")
            << "Keep both" << true << int(pf::TConflictAction::caKeepBoth) << true;
        // Cancel ends the run whatever the box says: nothing to apply to later conflicts.
        QTest::newRow("cancel") << "Cancel" << true << int(pf::TConflictAction::caCancel) << false;
    }
    void Conflict()
    {
        QFETCH(QString, button);
        QFETCH(bool, all);
        QFETCH(int, action);
        QFETCH(bool, applyToAll);
        const auto dialogs = TFileOperationDialogs::Create();
        pf::TFileConflict conflict;
        conflict.Source = QStringLiteral("/from/report.txt");
        conflict.Target = QStringLiteral("/to/report.txt");
        conflict.SourceSize = 2048;
        conflict.TargetSize = 5 * 1024 * 1024;
        conflict.SourceWriteTime = pf::FileTime::FromUnix(1700000000, 0);
        conflict.TargetWriteTime = pf::FileTime::FromUnix(1600000000, 0);
        pf::TConflictAnswer answer{pf::TConflictAction::caReplace, false};
        const QString texts = AnswerFromWorker<pf::TConflictAnswer>(
            [&] { return dialogs->AskConflict(conflict); }, button, all, answer);
        QCOMPARE(int(answer.Action), action);
        QCOMPARE(answer.ApplyToAll, applyToAll);
        QVERIFY(texts.contains(QStringLiteral("report.txt")));
        for (const QString& side : {pf::FormatByteSize(2048), pf::FormatByteSize(5 * 1024 * 1024),
                                    pf::FormatDateTime(conflict.SourceWriteTime),
                                    pf::FormatDateTime(conflict.TargetWriteTime)})
            QVERIFY2(texts.contains(side), qPrintable(side));
    }

    void Error_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("action");
        QTest::newRow("retry") << "Retry" << int(pf::TErrorAction::eaRetry);
        QTest::newRow("skip") << "Skip" << int(pf::TErrorAction::eaSkip);
        QTest::newRow("cancel") << "Cancel" << int(pf::TErrorAction::eaCancel);
    }
    void Error()
    {
        QFETCH(QString, button);
        QFETCH(int, action);
        const auto dialogs = TFileOperationDialogs::Create();
        const pf::TFileOpError error{E_FAIL, QStringLiteral("/to/locked.bin"),
                                     QStringLiteral("Permission denied")};
        pf::TErrorAction answer = pf::TErrorAction::eaRetry;
        const QString texts = AnswerFromWorker<pf::TErrorAction>(
            [&] { return dialogs->AskError(error); }, button, false, answer);
        QCOMPARE(int(answer), action);
        QVERIFY(texts.contains(error.Message()));
    }

    void ConfirmDelete_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("toTrash");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("trash, yes") << 3 << true << "Yes"
                                    << "Move these 3 items to the trash?";
        QTest::newRow("for good, no") << 1 << false << "No"
                                      << "Permanently delete this item?";
        QTest::newRow("for good, yes") << 2 << false << "Yes"
                                       << "Permanently delete these 2 items?";
    }
    void ConfirmDelete()
    {
        QFETCH(int, count);
        QFETCH(bool, toTrash);
        QFETCH(QString, button);
        QFETCH(QString, text);
        const auto dialogs = TFileOperationDialogs::Create();
        bool answer = button != QLatin1String("Yes");
        const QString texts = AnswerFromWorker<bool>(
            [&] { return dialogs->ConfirmDelete(count, toTrash); }, button, false, answer);
        QCOMPARE(answer, button == QLatin1String("Yes"));
        QVERIFY2(texts.contains(text), qPrintable(texts));
    }

    void ProgressStaysHiddenForAShortRun()
    {
        const auto dialogs = TFileOperationDialogs::Create(300);
        TRecordingOperation operation;
        dialogs->RunStarted(operation);
        std::thread worker([&] { dialogs->ShowProgress({1, 2, 100, 200, QStringLiteral("/a")}); });
        worker.join();
        QTest::qWait(50);
        dialogs->RunEnded(operation);
        // Well past the delay: the ended run never showed its window.
        QTest::qWait(600);
        QVERIFY(dialogs->ProgressWindow());
        QVERIFY(!dialogs->ProgressWindow()->isVisible());
    }

    void ProgressPausesResumesAndCancels()
    {
        const auto dialogs = TFileOperationDialogs::Create(0);
        TRecordingOperation operation;
        dialogs->RunStarted(operation);
        std::thread worker([&] {
            dialogs->ShowProgress({3, 10, 1024 * 1024, 4 * 1024 * 1024, QStringLiteral("/a/b")});
        });
        worker.join();
        QTRY_VERIFY(dialogs->ProgressWindow() && dialogs->ProgressWindow()->isVisible());
        QWidget& window = *dialogs->ProgressWindow();
        const QString labels = [&] {
            QString all;
            for (const QLabel* label : window.findChildren<QLabel*>())
                all += label->text() + QLatin1Char('\n');
            return all;
        }();
        QVERIFY2(labels.contains(QStringLiteral("Items: 3 of 10")), qPrintable(labels));
        QVERIFY2(labels.contains(QStringLiteral("Size: %1 of %2")
                                     .arg(pf::FormatByteSize(1024 * 1024),
                                          pf::FormatByteSize(4 * 1024 * 1024))),
                 qPrintable(labels));

        ButtonOf(window, QStringLiteral("Pause"))->click();
        QVERIFY(operation.Paused);
        ButtonOf(window, QStringLiteral("Resume"))->click();
        QVERIFY(!operation.Paused);
        ButtonOf(window, QStringLiteral("Cancel"))->click();
        QVERIFY(operation.Cancelled);

        dialogs->RunEnded(operation);
        QTRY_VERIFY(!window.isVisible());
    }

    void EachRunHasItsOwnProgressWindowUnderItsOwner()
    {
        const auto dialogs = TFileOperationDialogs::Create(0);
        QWidget owner;
        owner.show();
        const auto copy = dialogs->ForRun(
            {pf::TFileOpKind::fkCopy, QStringLiteral("/a"), QStringLiteral("/b"), &owner, 0});
        const auto removal =
            dialogs->ForRun({pf::TFileOpKind::fkDelete, QStringLiteral("/c"), {}, &owner, 0});
        QVERIFY(copy && removal && copy != removal);
        TRecordingOperation copying;
        TRecordingOperation deleting;
        copy->RunStarted(copying);
        removal->RunStarted(deleting);
        std::thread worker([&] {
            copy->ShowProgress({1, 2, 10, 20, QStringLiteral("/a/x")});
            removal->ShowProgress({1, 3, 0, 0, QStringLiteral("/c/y")});
        });
        worker.join();

        QTRY_COMPARE(ProgressWindows(true).size(), 2);
        QWidget* copyWindow = nullptr;
        QWidget* deleteWindow = nullptr;
        for (QWidget* window : ProgressWindows(true))
            (window->windowTitle() == QLatin1String("Copying") ? copyWindow : deleteWindow) =
                window;
        QVERIFY(copyWindow && deleteWindow);
        QCOMPARE(deleteWindow->windowTitle(), QStringLiteral("Deleting"));
        QCOMPARE(copyWindow->parentWidget(), &owner);
        QVERIFY(LabelsOf(*copyWindow).contains(QStringLiteral("From /a to /b")));
        QVERIFY(LabelsOf(*deleteWindow).contains(QStringLiteral("From /c")));

        // Each window's buttons reach its own run only.
        ButtonOf(*deleteWindow, QStringLiteral("Cancel"))->click();
        QVERIFY(deleting.Cancelled);
        QVERIFY(!copying.Cancelled);

        copy->RunEnded(copying);
        removal->RunEnded(deleting);
        // A run's window goes with the run.
        QTRY_COMPARE(ProgressWindows(false).size(), 0);
    }

    void PermanentDeleteOfWhatTheTrashCannotTake()
    {
        const auto dialogs = TFileOperationDialogs::Create();
        bool answer = false;
        const QString texts = AnswerFromWorker<bool>(
            [&] { return dialogs->ConfirmPermanentDelete(QStringLiteral("/mnt/ro/report.txt")); },
            QStringLiteral("Yes"), false, answer);
        QVERIFY(answer);
        QVERIFY2(texts.contains(QStringLiteral("\"report.txt\" cannot be moved to the Trash")),
                 qPrintable(texts));
    }

    void TimeLeft_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown") << -1.0 << "";
        QTest::newRow("one second") << 1.2 << "About 1 second";
        QTest::newRow("seconds") << 42.0 << "About 42 seconds";
        QTest::newRow("minutes") << 150.0 << "About 3 minutes";
        QTest::newRow("hours") << 7300.0 << "About 2 hours";
    }
    void TimeLeft()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(TFileOperationDialogs::TimeLeftText(seconds), text);
    }
};

} // namespace kiv

QTEST_MAIN(kiv::FileOperationDialogsTest)
#include "FileOperationDialogsTest.moc"

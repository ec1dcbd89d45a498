#include "FileOperationDialogs.h"

#include "core/platform/PropertySystem.h"
#include "core/platform/UiDispatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <functional>
#include <future>

namespace kiv {

// The window a run shows while it lasts. Hidden until the run has gone on for the delay, so
// quick runs never flash it; hidden again when the run ends. UI thread only.
class TProgressWindow final : public QDialog
{
public:
    TProgressWindow(TFileOperationDialogs& pOwner, int pDelayMs)
        : fOwner(pOwner)
        , fDelayMs(pDelayMs)
    {
        setWindowTitle(QStringLiteral("Progress"));
        auto* layout = new QVBoxLayout(this);
        for (QLabel* label : {fCurrent, fItems, fBytes, fSpeed, fTimeLeft})
            layout->addWidget(label);
        fCurrent->setTextFormat(Qt::PlainText);
        fCurrent->setMinimumWidth(360);
        fBar->setRange(0, kBarSteps);
        layout->insertWidget(1, fBar);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(fPause);
        buttons->addWidget(fCancel);
        layout->addLayout(buttons);
        fShowTimer.setSingleShot(true);
        connect(&fShowTimer, &QTimer::timeout, this, [this] {
            if (fRunning && fHaveProgress)
                show();
        });
        connect(fPause, &QPushButton::clicked, this, [this] { SetPaused(!fPaused); });
        connect(fCancel, &QPushButton::clicked, this, [this] { Cancel(); });
        // Closing the window or pressing Escape cancels, as the button does.
        connect(this, &QDialog::rejected, this, [this] { Cancel(); });
    }

    void Begin()
    {
        fRunning = true;
        fHaveProgress = false;
        fPaused = false;
        fPausedMs = 0;
        fClock.start();
        fPause->setText(QStringLiteral("Pause"));
        fPause->setEnabled(true);
        fCancel->setEnabled(true);
        fShowTimer.start(fDelayMs);
    }

    void Update(const pf::TFileOpProgress& pProgress)
    {
        if (!fRunning)
            Begin();
        fHaveProgress = true;
        const QLocale locale;
        fCurrent->setText(QFileInfo(pProgress.Current).fileName());
        fItems->setText(QStringLiteral("Items: %1 of %2")
                            .arg(locale.toString(qulonglong(pProgress.ItemsDone)),
                                 locale.toString(qulonglong(pProgress.ItemsTotal))));
        fBytes->setText(QStringLiteral("Size: %1 of %2")
                            .arg(pf::FormatByteSize(pProgress.BytesDone),
                                 pf::FormatByteSize(pProgress.BytesTotal)));
        const bool byBytes = pProgress.BytesTotal > 0;
        const double done = byBytes ? double(pProgress.BytesDone) : double(pProgress.ItemsDone);
        const double total = byBytes ? double(pProgress.BytesTotal) : double(pProgress.ItemsTotal);
        fBar->setValue(total > 0 ? int(done / total * kBarSteps) : 0);
        // Speed over the whole run, less the time it was held: steadier than the last interval.
        const double seconds = double(fClock.elapsed() - fPausedMs) / 1000.0;
        const double perSecond = seconds > 0.2 ? done / seconds : 0;
        fSpeed->setText(byBytes && perSecond > 0
                            ? QStringLiteral("Speed: %1/s")
                                  .arg(pf::FormatByteSize(
                                      static_cast<std::uint64_t>(pProgress.BytesDone / seconds)))
                            : QString());
        const QString left =
            TFileOperationDialogs::TimeLeftText(perSecond > 0 ? (total - done) / perSecond : -1);
        fTimeLeft->setText(fPaused ? QStringLiteral("Paused")
                                   : QStringLiteral("Time left: %1").arg(left));
        if (!isVisible() && fClock.elapsed() >= fDelayMs)
            show();
    }

    void End()
    {
        fRunning = false;
        fShowTimer.stop();
        hide();
    }

private:
    // Steps of the bar: fine enough for a smooth bar, far inside int.
    static constexpr int kBarSteps = 1000;

    void SetPaused(bool pPaused)
    {
        if (!fRunning || pPaused == fPaused)
            return;
        fPaused = pPaused;
        if (pPaused)
            fPausedSince.start();
        else
            fPausedMs += fPausedSince.elapsed();
        fPause->setText(pPaused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        fTimeLeft->setText(pPaused ? QStringLiteral("Paused") : QString());
        fOwner.PauseRun(pPaused);
    }

    void Cancel()
    {
        if (!fRunning)
            return;
        fPause->setEnabled(false);
        fCancel->setEnabled(false);
        fTimeLeft->setText(QStringLiteral("Cancelling..."));
        fOwner.CancelRun();
    }

    TFileOperationDialogs& fOwner;
    const int fDelayMs;
    QLabel* fCurrent = new QLabel(this);
    QProgressBar* fBar = new QProgressBar(this);
    QLabel* fItems = new QLabel(this);
    QLabel* fBytes = new QLabel(this);
    QLabel* fSpeed = new QLabel(this);
    QLabel* fTimeLeft = new QLabel(this);
    QPushButton* fPause = new QPushButton(QStringLiteral("Pause"), this);
    QPushButton* fCancel = new QPushButton(QStringLiteral("Cancel"), this);
    QTimer fShowTimer;
    QElapsedTimer fClock;
    QElapsedTimer fPausedSince;
    qint64 fPausedMs = 0;
    bool fRunning = false;
    bool fHaveProgress = false;
    bool fPaused = false;
};

namespace {

struct TReply
{
    // The text of the button pressed; "" when the question could not be shown or its window
    // went away unanswered (the callers then cancel).
    QString Button;
    bool Checked = false;
};

// Opens the box pMake builds on the user-interface thread and waits for the button. Any thread;
// on the user-interface thread itself the wait keeps the event loop running.
TReply Ask(const std::function<QMessageBox*()>& pMake)
{
    struct TPending
    {
        std::promise<TReply> Promise;
        bool Answered = false; // user-interface thread only
    };
    auto pending = std::make_shared<TPending>();
    std::future<TReply> future = pending->Promise.get_future();
    const bool sent = pf::Ui().Send([&pMake, pending] {
        auto answer = [pending](TReply pReply) {
            if (pending->Answered)
                return;
            pending->Answered = true;
            pending->Promise.set_value(std::move(pReply));
        };
        QMessageBox* box = pMake();
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, box, [box, answer] {
            const QAbstractButton* clicked = box->clickedButton();
            answer({clicked ? clicked->text() : QString(),
                    box->checkBox() && box->checkBox()->isChecked()});
        });
        QObject::connect(box, &QObject::destroyed, [answer] { answer({}); });
        box->open();
    });
    if (!sent)
        return {};
    if (pf::Ui().IsUiThread()) {
        while (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return future.get();
}

QMessageBox* MakeBox(QMessageBox::Icon pIcon, const QString& pTitle, const QString& pText)
{
    auto* box =
        new QMessageBox(pIcon, pTitle, pText, QMessageBox::NoButton, QApplication::activeWindow());
    box->setTextFormat(Qt::PlainText);
    return box;
}

QString SideText(const QString& pWhich, std::uint64_t pSize, pf::FileTime pTime, bool pFolder)
{
    const QString size = pFolder ? QStringLiteral("Folder") : pf::FormatByteSize(pSize);
    return QStringLiteral("%1: %2, modified %3").arg(pWhich, size, pf::FormatDateTime(pTime));
}

} // namespace

std::shared_ptr<TFileOperationDialogs> TFileOperationDialogs::Create(int pProgressDelayMs)
{
    return std::shared_ptr<TFileOperationDialogs>(new TFileOperationDialogs(pProgressDelayMs));
}

TFileOperationDialogs::TFileOperationDialogs(int pProgressDelayMs)
    : fProgressDelayMs(pProgressDelayMs)
{
}

TFileOperationDialogs::~TFileOperationDialogs()
{
    // Widgets cannot be deleted once the application object is gone; the process is ending.
    if (!fProgress || !QCoreApplication::instance())
        return;
    // The last owner is normally the application, on its own thread; a worker that happened to
    // drop it last leaves the window to the event loop.
    if (pf::Ui().IsUiThread())
        delete fProgress;
    else
        fProgress->deleteLater();
}

pf::TConflictAnswer TFileOperationDialogs::AskConflict(const pf::TFileConflict& pConflict)
{
    const TReply reply = Ask([&pConflict] {
        QMessageBox* box =
            MakeBox(QMessageBox::Question, QStringLiteral("Replace or skip"),
                    QStringLiteral("The destination already has an item named \"%1\".")
                        .arg(QFileInfo(pConflict.Target).fileName()));
        box->setInformativeText(SideText(QStringLiteral("New"), pConflict.SourceSize,
                                         pConflict.SourceWriteTime, pConflict.SourceIsFolder) +
                                QLatin1Char('\n') +
                                SideText(QStringLiteral("Existing"), pConflict.TargetSize,
                                         pConflict.TargetWriteTime, pConflict.TargetIsFolder));
        box->addButton(QStringLiteral("Replace"), QMessageBox::AcceptRole);
        box->setDefaultButton(box->addButton(QStringLiteral("Skip"), QMessageBox::RejectRole));
        box->addButton(QStringLiteral("Keep both"), QMessageBox::AcceptRole);
        box->setEscapeButton(box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
        box->setCheckBox(new QCheckBox(QStringLiteral("Do this for all conflicts")));
        return box;
    });
    pf::TConflictAnswer answer;
    answer.ApplyToAll = reply.Checked;
    if (reply.Button == QLatin1String("Replace"))
        answer.Action = pf::TConflictAction::caReplace;
    else if (reply.Button == QLatin1String("Skip"))
        answer.Action = pf::TConflictAction::caSkip;
    else if (reply.Button == QLatin1String("Keep both"))
        answer.Action = pf::TConflictAction::caKeepBoth;
    else
        answer = {pf::TConflictAction::caCancel, false};
    return answer;
}

pf::TErrorAction TFileOperationDialogs::AskError(const pf::TFileOpError& pError)
{
    const TReply reply = Ask([&pError] {
        QMessageBox* box = MakeBox(QMessageBox::Warning, QStringLiteral("Error"), pError.Message());
        box->setDefaultButton(box->addButton(QStringLiteral("Retry"), QMessageBox::AcceptRole));
        box->addButton(QStringLiteral("Skip"), QMessageBox::AcceptRole);
        box->setEscapeButton(box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
        return box;
    });
    if (reply.Button == QLatin1String("Retry"))
        return pf::TErrorAction::eaRetry;
    if (reply.Button == QLatin1String("Skip"))
        return pf::TErrorAction::eaSkip;
    return pf::TErrorAction::eaCancel;
}

bool TFileOperationDialogs::ConfirmDelete(int pCount, bool pToTrash)
{
    QString text;
    if (pToTrash)
        text = pCount == 1 ? QStringLiteral("Move this item to the trash?")
                           : QStringLiteral("Move these %1 items to the trash?").arg(pCount);
    else if (pCount <= 0)
        text = QStringLiteral("Permanently delete everything in the trash?");
    else
        text = pCount == 1 ? QStringLiteral("Permanently delete this item?")
                           : QStringLiteral("Permanently delete these %1 items?").arg(pCount);
    const TReply reply = Ask([&text, pToTrash] {
        QMessageBox* box = MakeBox(pToTrash ? QMessageBox::Question : QMessageBox::Warning,
                                   QStringLiteral("Delete"), text);
        if (!pToTrash)
            box->setInformativeText(QStringLiteral("This cannot be undone."));
        box->addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
        QAbstractButton* no = box->addButton(QStringLiteral("No"), QMessageBox::NoRole);
        box->setEscapeButton(no);
        // Deleting for good is not the default: Enter alone must not destroy data.
        if (!pToTrash)
            box->setDefaultButton(qobject_cast<QPushButton*>(no));
        return box;
    });
    return reply.Button == QLatin1String("Yes");
}

void TFileOperationDialogs::ShowProgress(const pf::TFileOpProgress& pProgress)
{
    pf::Ui().Post([weak = weak_from_this(), pProgress] {
        if (const auto self = weak.lock()) {
            if (!self->fProgress)
                self->fProgress = new TProgressWindow(*self, self->fProgressDelayMs);
            self->fProgress->Update(pProgress);
        }
    });
}

void TFileOperationDialogs::RunStarted(pf::IFileOperation& pOperation)
{
    {
        const std::scoped_lock lock(fRunLock);
        fOperation = &pOperation;
    }
    pf::Ui().Post([weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            if (!self->fProgress)
                self->fProgress = new TProgressWindow(*self, self->fProgressDelayMs);
            self->fProgress->Begin();
        }
    });
}

void TFileOperationDialogs::RunEnded(pf::IFileOperation& pOperation)
{
    {
        const std::scoped_lock lock(fRunLock);
        if (fOperation == &pOperation)
            fOperation = nullptr;
    }
    pf::Ui().Post([weak = weak_from_this()] {
        if (const auto self = weak.lock(); self && self->fProgress)
            self->fProgress->End();
    });
}

QWidget* TFileOperationDialogs::ProgressWindow() const
{
    return fProgress;
}

void TFileOperationDialogs::CancelRun()
{
    const std::scoped_lock lock(fRunLock);
    if (fOperation)
        fOperation->Cancel();
}

void TFileOperationDialogs::PauseRun(bool pPaused)
{
    const std::scoped_lock lock(fRunLock);
    if (fOperation)
        fOperation->SetPaused(pPaused);
}

QString TFileOperationDialogs::TimeLeftText(double pSeconds)
{
    if (pSeconds < 0)
        return {};
    const auto seconds = static_cast<qint64>(pSeconds + 0.5);
    if (seconds < 60)
        return seconds == 1 ? QStringLiteral("About 1 second")
                            : QStringLiteral("About %1 seconds").arg(seconds);
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return minutes == 1 ? QStringLiteral("About 1 minute")
                            : QStringLiteral("About %1 minutes").arg(minutes);
    const qint64 hours = (minutes + 30) / 60;
    return hours == 1 ? QStringLiteral("About 1 hour")
                      : QStringLiteral("About %1 hours").arg(hours);
}

} // namespace kiv

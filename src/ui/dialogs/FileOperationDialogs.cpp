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
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>

namespace kiv {

// What the buttons of a progress window do to the run it shows.
struct TRunControls
{
    std::function<void()> Cancel;
    std::function<void(bool)> Pause;
};

// The window a run shows while it lasts. Hidden until the run has gone on for the delay, so
// quick runs never flash it; hidden again when the run ends. UI thread only.
class TProgressWindow final : public QDialog
{
public:
    TProgressWindow(QWidget* pParent, TRunControls pControls, int pDelayMs)
        : QDialog(pParent)
        , fControls(std::move(pControls))
        , fDelayMs(pDelayMs)
    {
        setObjectName(QStringLiteral("FileOperationProgress"));
        setWindowTitle(QStringLiteral("Progress"));
        auto* layout = new QVBoxLayout(this);
        for (QLabel* label : {fPlaces, fCurrent, fItems, fBytes, fSpeed, fTimeLeft})
            layout->addWidget(label);
        fPlaces->setTextFormat(Qt::PlainText);
        fPlaces->hide();
        fCurrent->setTextFormat(Qt::PlainText);
        fCurrent->setMinimumWidth(360);
        fBar->setRange(0, kBarSteps);
        layout->insertWidget(2, fBar);
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

    // The run's kind as the title and its places (none: the line stays hidden).
    void Describe(const QString& pTitle, const QString& pPlaces)
    {
        setWindowTitle(pTitle);
        fPlaces->setText(pPlaces);
        fPlaces->setVisible(!pPlaces.isEmpty());
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
        if (fControls.Pause)
            fControls.Pause(pPaused);
    }

    void Cancel()
    {
        if (!fRunning)
            return;
        fPause->setEnabled(false);
        fCancel->setEnabled(false);
        fTimeLeft->setText(QStringLiteral("Cancelling..."));
        if (fControls.Cancel)
            fControls.Cancel();
    }

    const TRunControls fControls;
    const int fDelayMs;
    QLabel* fPlaces = new QLabel(this);
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

// The widget a window reference names, or null when it names none that is alive (a reference
// is compared, never followed, until it is known to be a widget). User-interface thread.
QWidget* LiveWidget(pf::WindowRef pWindow)
{
    if (!pWindow)
        return nullptr;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (static_cast<const void*>(widget) == pWindow)
            return widget;
    }
    return nullptr;
}

// The parent of a run's dialogs: its owner window, else the active window.
QWidget* DialogParent(pf::WindowRef pOwner)
{
    if (QWidget* owner = LiveWidget(pOwner))
        return owner->window();
    return QApplication::activeWindow();
}

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

QMessageBox* MakeBox(pf::WindowRef pOwner, QMessageBox::Icon pIcon, const QString& pTitle,
                     const QString& pText)
{
    auto* box = new QMessageBox(pIcon, pTitle, pText, QMessageBox::NoButton, DialogParent(pOwner));
    box->setTextFormat(Qt::PlainText);
    return box;
}

QString SideText(const QString& pWhich, std::uint64_t pSize, pf::FileTime pTime, bool pFolder)
{
    const QString size = pFolder ? QStringLiteral("Folder") : pf::FormatByteSize(pSize);
    return QStringLiteral("%1: %2, modified %3").arg(pWhich, size, pf::FormatDateTime(pTime));
}

pf::TConflictAnswer AskConflictOf(pf::WindowRef pOwner, const pf::TFileConflict& pConflict)
{
    const TReply reply = Ask([pOwner, &pConflict] {
        QMessageBox* box =
            MakeBox(pOwner, QMessageBox::Question, QStringLiteral("Replace or skip"),
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

pf::TErrorAction AskErrorOf(pf::WindowRef pOwner, const pf::TFileOpError& pError)
{
    const TReply reply = Ask([pOwner, &pError] {
        QMessageBox* box =
            MakeBox(pOwner, QMessageBox::Warning, QStringLiteral("Error"), pError.Message());
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

// The delete confirmation; pInformative under the question. "No" is the default unless the
// items go to the trash: Enter alone must not destroy data.
bool ConfirmDeleteOf(pf::WindowRef pOwner, const QString& pText, const QString& pInformative,
                     bool pToTrash)
{
    const TReply reply = Ask([pOwner, &pText, &pInformative, pToTrash] {
        QMessageBox* box = MakeBox(pOwner, pToTrash ? QMessageBox::Question : QMessageBox::Warning,
                                   QStringLiteral("Delete"), pText);
        box->setInformativeText(pInformative);
        box->addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
        QAbstractButton* no = box->addButton(QStringLiteral("No"), QMessageBox::NoRole);
        box->setEscapeButton(no);
        if (!pToTrash)
            box->setDefaultButton(qobject_cast<QPushButton*>(no));
        return box;
    });
    return reply.Button == QLatin1String("Yes");
}

QString DeleteQuestion(int pCount, bool pToTrash)
{
    if (pToTrash)
        return pCount == 1 ? QStringLiteral("Move this item to the trash?")
                           : QStringLiteral("Move these %1 items to the trash?").arg(pCount);
    // Emptying the trash asks without counting it on the user-interface thread.
    if (pCount <= 0)
        return QStringLiteral("Permanently delete everything in the trash?");
    return pCount == 1 ? QStringLiteral("Permanently delete this item?")
                       : QStringLiteral("Permanently delete these %1 items?").arg(pCount);
}

const QString& CannotBeUndone()
{
    static const QString text = QStringLiteral("This cannot be undone.");
    return text;
}

} // namespace

// The dialogs of one run: its questions belong to its owner window, and its progress window
// (made on the user-interface thread when the run starts) shows what the run does. Called by
// the engine like TFileOperationDialogs; shared with the tasks it posts, which hold it weakly.
class TFileOperationRunDialogs final
    : public pf::IFileOperationUi
    , public std::enable_shared_from_this<TFileOperationRunDialogs>
{
public:
    // pDisposable: the window goes when the run ends (a run's own); else it stays for the next.
    TFileOperationRunDialogs(pf::TFileOpRunInfo pRun, int pDelayMs, bool pDisposable)
        : fRun(std::move(pRun))
        , fDelayMs(pDelayMs)
        , fDisposable(pDisposable)
    {
    }

    ~TFileOperationRunDialogs() override
    {
        // Widgets cannot be deleted once the application object is gone; the process is ending.
        if (!fProgress || !QCoreApplication::instance())
            return;
        // A worker that happened to drop the last reference leaves the window to the loop.
        if (pf::Ui().IsUiThread())
            delete fProgress;
        else
            fProgress->deleteLater();
    }

    TFileOperationRunDialogs(const TFileOperationRunDialogs&) = delete;
    TFileOperationRunDialogs& operator=(const TFileOperationRunDialogs&) = delete;

    pf::TConflictAnswer AskConflict(const pf::TFileConflict& pConflict) override
    {
        return AskConflictOf(fRun.Owner, pConflict);
    }
    pf::TErrorAction AskError(const pf::TFileOpError& pError) override
    {
        return AskErrorOf(fRun.Owner, pError);
    }
    bool ConfirmDelete(int pCount, bool pToTrash) override
    {
        return ConfirmDeleteOf(fRun.Owner, DeleteQuestion(pCount, pToTrash),
                               pToTrash ? QString() : CannotBeUndone(), pToTrash);
    }
    bool ConfirmPermanentDelete(const QString& pItem) override
    {
        const QString text = QStringLiteral("\"%1\" cannot be moved to the Trash. Do you want to "
                                            "permanently delete it?")
                                 .arg(QFileInfo(pItem).fileName());
        return ConfirmDeleteOf(fRun.Owner, text, CannotBeUndone(), false);
    }

    void ShowProgress(const pf::TFileOpProgress& pProgress) override
    {
        pf::Ui().Post([weak = weak_from_this(), pProgress] {
            if (const auto self = weak.lock())
                self->Window().Update(pProgress);
        });
    }
    void RunStarted(pf::IFileOperation& pOperation) override
    {
        {
            const std::scoped_lock lock(fRunLock);
            fOperation = &pOperation;
        }
        pf::Ui().Post([weak = weak_from_this()] {
            if (const auto self = weak.lock())
                self->Window().Begin();
        });
    }
    void RunEnded(pf::IFileOperation& pOperation) override
    {
        {
            const std::scoped_lock lock(fRunLock);
            if (fOperation == &pOperation)
                fOperation = nullptr;
        }
        pf::Ui().Post([weak = weak_from_this()] {
            const auto self = weak.lock();
            if (!self || !self->fProgress)
                return;
            self->fProgress->End();
            if (self->fDisposable)
                self->fProgress->deleteLater();
        });
    }

    // User-interface thread.
    QWidget* ProgressWindow() const { return fProgress; }

private:
    // The progress window, made on first use. User-interface thread.
    TProgressWindow& Window()
    {
        if (fProgress)
            return *fProgress;
        TRunControls controls;
        controls.Cancel = [weak = weak_from_this()] {
            if (const auto self = weak.lock())
                self->Control([](pf::IFileOperation& pOperation) { pOperation.Cancel(); });
        };
        controls.Pause = [weak = weak_from_this()](bool pPaused) {
            if (const auto self = weak.lock())
                self->Control(
                    [pPaused](pf::IFileOperation& pOperation) { pOperation.SetPaused(pPaused); });
        };
        QWidget* owner = LiveWidget(fRun.Owner);
        fProgress =
            new TProgressWindow(owner ? owner->window() : nullptr, std::move(controls), fDelayMs);
        if (fDisposable)
            fProgress->Describe(TFileOperationDialogs::KindText(fRun.Kind), PlacesText());
        return *fProgress;
    }

    QString PlacesText() const
    {
        if (fRun.Flags & pf::fof::FOFX_DONTDISPLAYLOCATIONS)
            return {};
        if (!fRun.Source.isEmpty() && !fRun.Destination.isEmpty())
            return QStringLiteral("From %1 to %2").arg(fRun.Source, fRun.Destination);
        if (!fRun.Source.isEmpty())
            return QStringLiteral("From %1").arg(fRun.Source);
        if (!fRun.Destination.isEmpty())
            return QStringLiteral("To %1").arg(fRun.Destination);
        return {};
    }

    // The buttons reach the running operation through this (user-interface thread).
    template <typename F> void Control(F pCall)
    {
        const std::scoped_lock lock(fRunLock);
        if (fOperation)
            pCall(*fOperation);
    }

    const pf::TFileOpRunInfo fRun;
    const int fDelayMs;
    const bool fDisposable;
    // Made, used and deleted on the user-interface thread; its owner window may take it along.
    QPointer<TProgressWindow> fProgress;

    std::mutex fRunLock;
    // The run in progress; alive between RunStarted and RunEnded.
    pf::IFileOperation* fOperation = nullptr; // guarded by fRunLock
};

std::shared_ptr<TFileOperationDialogs> TFileOperationDialogs::Create(int pProgressDelayMs)
{
    return std::shared_ptr<TFileOperationDialogs>(new TFileOperationDialogs(pProgressDelayMs));
}

TFileOperationDialogs::TFileOperationDialogs(int pProgressDelayMs)
    : fProgressDelayMs(pProgressDelayMs)
    , fShared(
          std::make_shared<TFileOperationRunDialogs>(pf::TFileOpRunInfo{}, pProgressDelayMs, false))
{
}

TFileOperationDialogs::~TFileOperationDialogs() = default;

pf::TConflictAnswer TFileOperationDialogs::AskConflict(const pf::TFileConflict& pConflict)
{
    return fShared->AskConflict(pConflict);
}

pf::TErrorAction TFileOperationDialogs::AskError(const pf::TFileOpError& pError)
{
    return fShared->AskError(pError);
}

bool TFileOperationDialogs::ConfirmDelete(int pCount, bool pToTrash)
{
    return fShared->ConfirmDelete(pCount, pToTrash);
}

bool TFileOperationDialogs::ConfirmPermanentDelete(const QString& pItem)
{
    return fShared->ConfirmPermanentDelete(pItem);
}

void TFileOperationDialogs::ShowProgress(const pf::TFileOpProgress& pProgress)
{
    fShared->ShowProgress(pProgress);
}

void TFileOperationDialogs::RunStarted(pf::IFileOperation& pOperation)
{
    fShared->RunStarted(pOperation);
}

void TFileOperationDialogs::RunEnded(pf::IFileOperation& pOperation)
{
    fShared->RunEnded(pOperation);
}

std::shared_ptr<pf::IFileOperationUi> TFileOperationDialogs::ForRun(const pf::TFileOpRunInfo& pRun)
{
    return std::make_shared<TFileOperationRunDialogs>(pRun, fProgressDelayMs, true);
}

QWidget* TFileOperationDialogs::ProgressWindow() const
{
    return fShared->ProgressWindow();
}

QString TFileOperationDialogs::KindText(pf::TFileOpKind pKind)
{
    switch (pKind) {
    case pf::TFileOpKind::fkCopy:
        return QStringLiteral("Copying");
    case pf::TFileOpKind::fkMove:
        return QStringLiteral("Moving");
    case pf::TFileOpKind::fkDelete:
        return QStringLiteral("Deleting");
    case pf::TFileOpKind::fkRename:
        return QStringLiteral("Renaming");
    case pf::TFileOpKind::fkNew:
        return QStringLiteral("Creating");
    case pf::TFileOpKind::fkProperties:
        return QStringLiteral("Applying properties");
    case pf::TFileOpKind::fkZip:
        return QStringLiteral("Compressing");
    case pf::TFileOpKind::fkUnzip:
        return QStringLiteral("Extracting");
    }
    return QStringLiteral("Progress");
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

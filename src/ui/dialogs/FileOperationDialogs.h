#pragma once

#include "core/platform/IFileOperation.h"

#include <QString>

#include <memory>

class QWidget;

namespace kiv {

class TFileOperationRunDialogs;

// The file operation engine's questions and progress as dialogs: conflicts (replace, skip, keep
// both), errors (retry, skip), delete confirmation (and the permanent deletion of what the trash
// cannot take) and a progress window with pause and cancel.
//
// Installed once at start-up with IFileOps::SetDefaultUi. Each run of the engine gets a user
// interface of its own (ForRun): its own progress window titled with what the run does
// ("Copying", "Deleting"...) and showing from where to where, and its owner window as the parent
// of its progress window and questions. In the Qt user interface a WindowRef is a QWidget*;
// one that is not a live widget is taken as no owner.
//
// The engine calls these on its worker thread: each question opens a dialog on the
// user-interface thread (through the platform dispatcher) and the worker waits for the button;
// the thread that runs the operation keeps serving the user-interface queue meanwhile. Progress
// is posted without waiting. The widgets live on the user-interface thread.
class TFileOperationDialogs final
    : public pf::IFileOperationUi
    , public std::enable_shared_from_this<TFileOperationDialogs>
{
public:
    // 700 ms: most copies and deletions end sooner, and a window that flashes up and vanishes
    // is worse than none; a longer run still shows its progress before the user wonders.
    static constexpr int kProgressDelayMs = 700;

    // Any thread. pProgressDelayMs: how long a run goes on before its progress window shows.
    static std::shared_ptr<TFileOperationDialogs> Create(int pProgressDelayMs = kProgressDelayMs);
    ~TFileOperationDialogs() override;

    // Called directly (not through a run of its own), the questions belong to the active window
    // and the progress goes to one window shared by such runs.
    pf::TConflictAnswer AskConflict(const pf::TFileConflict& pConflict) override;
    pf::TErrorAction AskError(const pf::TFileOpError& pError) override;
    // pCount 0 with pToTrash false: everything in the trash (Empty Trash, which does not count
    // the entries first).
    bool ConfirmDelete(int pCount, bool pToTrash) override;
    bool ConfirmPermanentDelete(const QString& pItem) override;
    void ShowProgress(const pf::TFileOpProgress& pProgress) override;
    void RunStarted(pf::IFileOperation& pOperation) override;
    void RunEnded(pf::IFileOperation& pOperation) override;
    // A user interface for one run; its progress window goes when the run ends.
    std::shared_ptr<pf::IFileOperationUi> ForRun(const pf::TFileOpRunInfo& pRun) override;

    // User-interface thread only: the shared progress window, null before its first run.
    QWidget* ProgressWindow() const;

    // "About 5 seconds", "About 3 minutes"; "" while nothing can be estimated (negative).
    static QString TimeLeftText(double pSeconds);
    // "Copying", "Moving", "Deleting"...: a progress window's title.
    static QString KindText(pf::TFileOpKind pKind);

    TFileOperationDialogs(const TFileOperationDialogs&) = delete;
    TFileOperationDialogs& operator=(const TFileOperationDialogs&) = delete;

private:
    explicit TFileOperationDialogs(int pProgressDelayMs);

    const int fProgressDelayMs;
    // Serves the runs that call this object directly.
    const std::shared_ptr<TFileOperationRunDialogs> fShared;
};

} // namespace kiv

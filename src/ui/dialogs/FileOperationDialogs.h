#pragma once

#include "core/platform/IFileOperation.h"

#include <QString>

#include <memory>
#include <mutex>

class QWidget;

namespace kiv {

class TProgressWindow;

// The file operation engine's questions and progress as dialogs: conflicts (replace, skip, keep
// both), errors (retry, skip), delete confirmation and a progress window with pause and cancel.
//
// Installed once at start-up with IFileOps::SetDefaultUi and shared by the engine's runs. The
// engine calls it on its worker thread: each question opens a dialog on the user-interface thread
// (through the platform dispatcher) and the worker waits for the button; the thread that runs the
// operation keeps serving the user-interface queue meanwhile. Progress is posted without waiting.
// The widgets live on the user-interface thread and belong to this object; one run at a time
// owns the progress window.
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

    pf::TConflictAnswer AskConflict(const pf::TFileConflict& pConflict) override;
    pf::TErrorAction AskError(const pf::TFileOpError& pError) override;
    // pCount 0 with pToTrash false: everything in the trash (Empty Trash, which does not count
    // the entries first).
    bool ConfirmDelete(int pCount, bool pToTrash) override;
    void ShowProgress(const pf::TFileOpProgress& pProgress) override;
    void RunStarted(pf::IFileOperation& pOperation) override;
    void RunEnded(pf::IFileOperation& pOperation) override;

    // User-interface thread only: the progress window, null before the first run.
    QWidget* ProgressWindow() const;

    // "About 5 seconds", "About 3 minutes"; "" while nothing can be estimated (negative).
    static QString TimeLeftText(double pSeconds);

    TFileOperationDialogs(const TFileOperationDialogs&) = delete;
    TFileOperationDialogs& operator=(const TFileOperationDialogs&) = delete;

private:
    explicit TFileOperationDialogs(int pProgressDelayMs);
    friend class TProgressWindow;

    // The buttons of the progress window reach the running operation through these (UI thread).
    void CancelRun();
    void PauseRun(bool pPaused);

    const int fProgressDelayMs;
    // Widgets: made, used and deleted on the user-interface thread.
    TProgressWindow* fProgress = nullptr;

    std::mutex fRunLock;
    // The run in progress; alive between RunStarted and RunEnded.
    pf::IFileOperation* fOperation = nullptr; // guarded by fRunLock
};

} // namespace kiv

#pragma once

#include "core/platform/FileTime.h"
#include "core/platform/HResult.h"
#include "core/platform/PropVariant.h"
#include "core/platform/WindowRef.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// The file operation engine: copy, move, delete (to the trash or for good), rename and create
// items, with a progress sink that is told about every item and questions (conflicts, errors,
// delete confirmation) asked through an interface the application answers with its dialogs and
// tests answer in code. Operations are queued first and run together by PerformOperations.
//
// Items are absolute file-system paths (undecodable bytes escaped as in FileNames.h). A copy may
// also start from an entry of a ZIP archive, named by the archive's path and the entry's
// ("/a/b.zip/dir/x.txt", its parsing name): it is extracted and arrives like a copied item. A
// whole ZIP archive can also be written from items or extracted into a folder. Trash entries are
// not handled by this engine.

namespace kiv::pf {

// Operation flags; the values are the ones callers combine elsewhere, kept so that a flag set
// means one thing everywhere.
namespace fof {
// No progress reports to the user interface.
inline constexpr std::uint32_t FOF_SILENT = 0x0004;
// A conflict keeps both: the new item gets "name (2).ext" (the first free number).
inline constexpr std::uint32_t FOF_RENAMEONCOLLISION = 0x0008;
// Every question is answered "yes to all": conflicts replace, deletions are not confirmed.
inline constexpr std::uint32_t FOF_NOCONFIRMATION = 0x0010;
// Deletions go to the trash.
inline constexpr std::uint32_t FOF_ALLOWUNDO = 0x0040;
// Only meaningful for wildcard sources, which this engine does not take.
inline constexpr std::uint32_t FOF_FILESONLY = 0x0080;
// Folders are created without asking (this engine never asks).
inline constexpr std::uint32_t FOF_NOCONFIRMMKDIR = 0x0200;
// Errors are not shown: the item is reported as failed and the run goes on.
inline constexpr std::uint32_t FOF_NOERRORUI = 0x0400;
// A conflict keeps whichever file was written last; equal times keep the existing one.
inline constexpr std::uint32_t FOFX_KEEPNEWERFILE = 0x00400000;
// Progress shows no source and destination locations.
inline constexpr std::uint32_t FOFX_DONTDISPLAYLOCATIONS = 0x80000000;
} // namespace fof

// What the sink's item callbacks get as pFlags.
namespace tsf {
inline constexpr std::uint32_t TSF_NORMAL = 0x0;
inline constexpr std::uint32_t TSF_RENAME_EXIST = 0x1;
inline constexpr std::uint32_t TSF_OVERWRITE_EXIST = 0x2;
inline constexpr std::uint32_t TSF_DELETE_RECYCLE_IF_POSSIBLE = 0x80;
} // namespace tsf

// The result a Post…Item callback gets for an item that was passed over (a conflict answered
// "skip", a newer file kept, an error skipped is reported with its failure instead).
inline constexpr HResult kItemSkipped = S_FALSE;

// Attribute values NewItem takes.
namespace newitem {
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
} // namespace newitem

// Told about every step of a run, on the engine's worker thread, in this order: StartOperations;
// for each item Pre…Item, the work, Post…Item (copies and moves of folders report each entry
// inside too); UpdateProgress whenever work was done; FinishOperations. A failed result returned
// by any callback stops the run at that point: PerformOperations then returns it.
class IFileOperationProgressSink
{
public:
    virtual ~IFileOperationProgressSink() = default;
    virtual HResult StartOperations() { return S_OK; }
    virtual HResult FinishOperations(HResult /*pResult*/) { return S_OK; }
    virtual HResult PreRenameItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/,
                                  const QString& /*pNewName*/)
    {
        return S_OK;
    }
    virtual HResult PostRenameItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/,
                                   const QString& /*pNewName*/, HResult /*pResult*/,
                                   const QString& /*pNewItem*/)
    {
        return S_OK;
    }
    virtual HResult PreMoveItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/,
                                const QString& /*pDestinationFolder*/, const QString& /*pNewName*/)
    {
        return S_OK;
    }
    virtual HResult PostMoveItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/,
                                 const QString& /*pDestinationFolder*/, const QString& /*pNewName*/,
                                 HResult /*pResult*/, const QString& /*pNewItem*/)
    {
        return S_OK;
    }
    virtual HResult PreCopyItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/,
                                const QString& /*pDestinationFolder*/, const QString& /*pNewName*/)
    {
        return S_OK;
    }
    virtual HResult PostCopyItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/,
                                 const QString& /*pDestinationFolder*/, const QString& /*pNewName*/,
                                 HResult /*pResult*/, const QString& /*pNewItem*/)
    {
        return S_OK;
    }
    virtual HResult PreDeleteItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/)
    {
        return S_OK;
    }
    virtual HResult PostDeleteItem(std::uint32_t /*pFlags*/, const QString& /*pItem*/,
                                   HResult /*pResult*/, const QString& /*pNewItem*/)
    {
        return S_OK;
    }
    virtual HResult PreNewItem(std::uint32_t /*pFlags*/, const QString& /*pDestinationFolder*/,
                               const QString& /*pNewName*/)
    {
        return S_OK;
    }
    virtual HResult PostNewItem(std::uint32_t /*pFlags*/, const QString& /*pDestinationFolder*/,
                                const QString& /*pNewName*/, const QString& /*pTemplateName*/,
                                std::uint32_t /*pFileAttributes*/, HResult /*pResult*/,
                                const QString& /*pNewItem*/)
    {
        return S_OK;
    }
    // Work units done of the total (file bytes plus one per item, scaled to fit 32 bits). A run
    // that ends with every item handled reports pWorkSoFar == pWorkTotal last; a cancelled or
    // stopped run ends below the total.
    virtual HResult UpdateProgress(std::uint32_t /*pWorkTotal*/, std::uint32_t /*pWorkSoFar*/)
    {
        return S_OK;
    }
    virtual HResult ResetTimer() { return S_OK; }
    virtual HResult PauseTimer() { return S_OK; }
    virtual HResult ResumeTimer() { return S_OK; }
};

using IFileOperationProgressSinkPtr = std::shared_ptr<IFileOperationProgressSink>;

// An existing item in the way of a copy, move or rename.
struct TFileConflict
{
    QString Source;
    QString Target;
    std::uint64_t SourceSize = 0;
    std::uint64_t TargetSize = 0;
    FileTime SourceWriteTime;
    FileTime TargetWriteTime;
    bool SourceIsFolder = false;
    bool TargetIsFolder = false;
};

enum class TConflictAction
{
    // The source takes the target's place (written aside and renamed over it when complete).
    caReplace,
    // The target stays, the source is left as it is.
    caSkip,
    // Both stay: the source arrives as "name (2).ext".
    caKeepBoth,
    // The run ends here.
    caCancel,
};

struct TConflictAnswer
{
    TConflictAction Action = TConflictAction::caSkip;
    // The same answer for every later conflict of the run.
    bool ApplyToAll = false;
};

// One failure: the result, the item it concerns and the system's text for the code.
struct TFileOpError
{
    HResult Result = S_OK;
    QString Path;
    QString Text;
    // "Text" and the path, the way an error message shows them.
    QString Message() const { return Text + QLatin1String("\n") + Path; }
};

enum class TErrorAction
{
    eaRetry,
    eaSkip,
    eaCancel,
};

// One change an apply-properties run makes to each of its items. What can be written here:
// pkey::DateModified and pkey::DateAccessed (a FileTime), and the read-only bit of
// pkey::FileAttributes (a number; the write permissions). Other keys fail for each item with
// ERROR_NOT_SUPPORTED.
struct TPropertyChange
{
    PropertyKey Key;
    PropVariant Value;
};

// What a run mostly does, for the title of its progress window ("Copying", "Moving"...): the
// kind of its first queued operation.
enum class TFileOpKind
{
    fkCopy,
    fkMove,
    fkDelete,
    fkRename,
    fkNew,
    fkProperties,
    fkZip,
    fkUnzip,
};

// A run as its user interface describes it.
struct TFileOpRunInfo
{
    TFileOpKind Kind = TFileOpKind::fkCopy;
    // The folder the (first) items come from and the folder or archive they go to; empty where
    // the kind has no such place (a deletion has no destination).
    QString Source;
    QString Destination;
    // The window the run's dialogs belong to (SetOwnerWindow).
    WindowRef Owner = nullptr;
    std::uint32_t Flags = 0;
};

struct TFileOpProgress
{
    std::uint64_t ItemsDone = 0;
    std::uint64_t ItemsTotal = 0;
    std::uint64_t BytesDone = 0;
    std::uint64_t BytesTotal = 0;
    // The item being worked on.
    QString Current;
};

class IFileOperation;

// The questions a run asks and the progress it shows. Called on the engine's worker thread: a
// user-interface implementation hands each call to the user-interface thread and waits for the
// answer (the thread that called PerformOperations keeps serving that thread's queue meanwhile).
class IFileOperationUi
{
public:
    virtual ~IFileOperationUi() = default;
    virtual TConflictAnswer AskConflict(const TFileConflict& pConflict) = 0;
    virtual TErrorAction AskError(const TFileOpError& pError) = 0;
    // Before the deletions of a run: true goes on, false cancels the run.
    virtual bool ConfirmDelete(int pCount, bool pToTrash) = 0;
    // A deletion meant for the trash finds no usable trash on the item's volume (read-only
    // media, network mounts, a trash folder that cannot be made): true deletes the item for
    // good, false leaves it. Nobody to ask leaves it too.
    virtual bool ConfirmPermanentDelete(const QString& /*pItem*/) { return false; }
    // A few times a second while the run lasts (never with FOF_SILENT).
    virtual void ShowProgress(const TFileOpProgress& /*pProgress*/) {}
    // Around each run that has this user interface, on the thread that called
    // PerformOperations: before the work starts and after it has ended. pOperation stays alive
    // in between, so its Cancel and SetPaused can back the buttons of a progress window.
    virtual void RunStarted(IFileOperation& /*pOperation*/) {}
    virtual void RunEnded(IFileOperation& /*pOperation*/) {}
    // Asked once per run before RunStarted, on the thread that called PerformOperations: a user
    // interface of the run's own (its own progress window, its owner window as the parent of
    // its dialogs) that then gets every call of the run; null lets this one serve the run.
    virtual std::shared_ptr<IFileOperationUi> ForRun(const TFileOpRunInfo& /*pRun*/)
    {
        return nullptr;
    }
};

using IFileOperationUiPtr = std::shared_ptr<IFileOperationUi>;

// One batch of operations. Not shared between threads, except Cancel (any thread, any time).
class IFileOperation
{
public:
    virtual ~IFileOperation() = default;

    virtual HResult Advise(IFileOperationProgressSinkPtr pSink, std::uint32_t& pCookie) = 0;
    virtual HResult Unadvise(std::uint32_t pCookie) = 0;
    virtual HResult SetOperationFlags(std::uint32_t pFlags) = 0;
    // Null: nobody to ask, so conflicts that no flag decides fail with 80 and errors skip.
    virtual HResult SetOwnerWindow(WindowRef pOwner) = 0;
    // Who answers the questions while an owner window is set.
    virtual HResult SetUi(IFileOperationUiPtr pUi) = 0;

    // pNewName empty: the source's own name.
    virtual HResult CopyItem(const QString& pItem, const QString& pDestinationFolder,
                             const QString& pNewName = {}) = 0;
    virtual HResult CopyItems(const QStringList& pItems, const QString& pDestinationFolder) = 0;
    virtual HResult MoveItem(const QString& pItem, const QString& pDestinationFolder,
                             const QString& pNewName = {}) = 0;
    virtual HResult MoveItems(const QStringList& pItems, const QString& pDestinationFolder) = 0;
    virtual HResult DeleteItem(const QString& pItem) = 0;
    virtual HResult DeleteItems(const QStringList& pItems) = 0;
    virtual HResult RenameItem(const QString& pItem, const QString& pNewName) = 0;
    virtual HResult RenameItems(const QStringList& pItems, const QString& pNewName) = 0;
    // pAttributes: newitem::FILE_ATTRIBUTE_DIRECTORY for a folder, else a file (a copy of
    // pTemplate when one is given, else empty).
    virtual HResult NewItem(const QString& pDestinationFolder, std::uint32_t pAttributes,
                            const QString& pName, const QString& pTemplate = {}) = 0;
    // The changes ApplyPropertiesToItems makes (replaces the ones set before).
    virtual HResult SetProperties(const std::vector<TPropertyChange>& /*pChanges*/)
    {
        return E_NOTIMPL;
    }
    virtual HResult ApplyPropertiesToItems(const QStringList& /*pItems*/) { return E_NOTIMPL; }
    // Adds the items (folders with what is inside) to the existing ZIP archive pArchive at the
    // deflate level pLevel (IArchives levels). The archive is rewritten aside: a failed or
    // cancelled run leaves it as it was, with no temporary file.
    virtual HResult ZipItems(const QStringList& /*pItems*/, const QString& /*pArchive*/,
                             int /*pLevel*/)
    {
        return E_NOTIMPL;
    }
    // Extracts everything in the ZIP archive into pDestinationFolder, with this engine's rules
    // for what is there already; a failed or cancelled extraction leaves no partial file.
    virtual HResult ExtractItems(const QString& /*pArchive*/, const QString& /*pDestinationFolder*/)
    {
        return E_NOTIMPL;
    }

    // Runs what was queued on a worker thread and returns when it has ended. S_OK when every
    // item succeeded (or was skipped by a decision); HResultFromWin32(1223) when cancelled; the
    // failure a sink returned; else the first item failure (the other items were still done).
    // A user-interface thread calling this keeps serving its queue while it waits.
    virtual HResult PerformOperations() = 0;
    // True when the last run was cancelled or stopped before the end.
    virtual HResult GetAnyOperationsAborted(bool& pAborted) = 0;
    // Asks a running PerformOperations to stop at the next chunk of data.
    virtual void Cancel() noexcept = 0;
    // Holds the run at the next chunk of data or item until resumed (any thread; a cancel ends
    // the pause).
    virtual void SetPaused(bool pPaused) = 0;
    // The failures of the last run, in order.
    virtual std::vector<TFileOpError> Errors() const = 0;
};

using IFileOperationPtr = std::shared_ptr<IFileOperation>;

// The engine service of a platform.
class IFileOps
{
public:
    virtual ~IFileOps() = default;
    virtual IFileOperationPtr CreateFileOperation() = 0;
    // The questions of operations that have an owner window go to pUi (the application's
    // dialogs); thread-safe.
    virtual void SetDefaultUi(IFileOperationUiPtr pUi) = 0;
    virtual IFileOperationUiPtr DefaultUi() const = 0;
};

} // namespace kiv::pf

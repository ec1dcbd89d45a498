#pragma once

#include "core/platform/IFileOperation.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivShellTypes.h"
#include "core/threading/KivThreading.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace kiv {

class IItemIdListCollection;

enum class TKivOperationType
{
    otCopy,
    otDelete,
    otMove,
    otRename,
    otNewFile,
    otNewFolder,
    otSetProperties,
    otZip,
    otUnzip,
};

// The properties an otSetProperties run writes, one value per column.
using TKivShellProperties = std::vector<std::pair<TShellColumnId, TShellPropertyValue>>;

// The engine flags of a set of options (OR of each option's flag; soAsync has none).
std::uint32_t OperationFlags(TOperationOptions pOptions);

// A private copy of one request, handed to whoever performs it (the calling thread, or a worker
// of the global pool): the component may change or go meanwhile.
struct TKivFileOperationTask
{
    TKivOperationType Operation = TKivOperationType::otCopy;
    std::shared_ptr<IItemIdListCollection> Source;
    IItemIdListPtr Destination;
    QString DestinationName;
    TKivShellProperties Properties;
    TOperationOptions Options;
    bool AsyncOperation = false;
};

// What one run tells its caller; shared between the run's sink and the component for a
// synchronous run, dropped with the run for an asynchronous one.
struct TKivFileOperationOutcome
{
    bool OperationAborted = false;
    int SourceCount = 0;
};

// The engine's progress sink for one run: tells a cancelled run from a finished one (a run that
// ended before its work reached the total was cancelled) and stops the engine at a failed
// deletion when there is one source only. Called on the engine's worker; read after the run.
class TKivFileOperationProgressSink final : public pf::IFileOperationProgressSink
{
public:
    explicit TKivFileOperationProgressSink(std::shared_ptr<TKivFileOperationOutcome> pOutcome)
        : fOutcome(std::move(pOutcome))
    {
    }

    pf::HResult StartOperations() override;
    pf::HResult FinishOperations(pf::HResult pResult) override;
    pf::HResult UpdateProgress(std::uint32_t pWorkTotal, std::uint32_t pWorkSoFar) override;
    pf::HResult PostDeleteItem(std::uint32_t pFlags, const QString& pItem, pf::HResult pResult,
                               const QString& pNewItem) override;

private:
    const std::shared_ptr<TKivFileOperationOutcome> fOutcome;
    bool fWorkInProgress = false;
};

// One shell file operation (copy, delete, move, rename, new file, new folder, properties, ZIP
// in and out) on a set of items, performed by the platform's engine with its own dialogs. Fill the
// properties and call Execute, or use the class operations. Lives on the user-interface thread (or
// on the thread that made it); with soAsync the request (a ZIP file too) runs as a work item on
// the global pool and Execute returns at once. A synchronous run from the user-interface thread
// does its work on the engine's worker while that thread keeps serving its events.
class TKivFileOperation
{
public:
    explicit TKivFileOperation(void* pOwner = nullptr);
    ~TKivFileOperation();
    TKivFileOperation(const TKivFileOperation&) = delete;
    TKivFileOperation& operator=(const TKivFileOperation&) = delete;

    IItemIdListCollection& SourceFiles() { return *fSourceFiles; }
    TKivOperationType Operation() const { return fOperation; }
    void SetOperation(TKivOperationType pValue) { fOperation = pValue; }
    TOperationOptions Options() const { return fOptions; }
    void SetOptions(TOperationOptions pValue) { fOptions = pValue; }
    // The destination folder; for rename the new name; for new items their path or name.
    const QString& Destination() const { return fDestination; }
    void SetDestination(const QString& pValue) { fDestination = pValue; }
    // Takes precedence over Destination; cleared by every Execute.
    const IItemIdListPtr& DestinationIdList() const { return fDestinationIdList; }
    void SetDestinationIdList(IItemIdListPtr pValue) { fDestinationIdList = std::move(pValue); }
    // For otSetProperties; cleared by every Execute.
    TKivShellProperties& Properties() { return fProperties; }
    bool RaiseExceptions() const { return fRaiseExceptions; }
    void SetRaiseExceptions(bool pValue) { fRaiseExceptions = pValue; }
    // The result of the last failure (kept until the next failure, also over successful runs).
    pf::HResult LastErrorCode() const { return fLastErrorCode; }
    bool OperationAborted() const { return fOperationAborted; }
    bool Enabled() const { return fEnabled; }
    void SetEnabled(bool pValue) { fEnabled = pValue; }
    const QString& Title() const { return fTitle; }
    void SetTitle(const QString& pValue) { fTitle = pValue; }
    QString Version() const;

    // The window the engine's dialogs belong to when Execute() is called without one; null: the
    // application's default (SetDefaultParentWindow).
    pf::WindowRef OwnerWindow() const { return fOwnerWindow; }
    void SetOwnerWindow(pf::WindowRef pValue) { fOwnerWindow = pValue; }

    // True when LastErrorCode tells success.
    bool Execute(pf::WindowRef pParentWnd);
    // OwnerWindow when set, else the parent window the application names
    // (SetDefaultParentWindow), else none.
    bool Execute();

    // The window Execute() uses; the application installs who answers (its active form).
    static void SetDefaultParentWindow(std::function<pf::WindowRef()> pProvider);

    // Class operations: a temporary instance with exceptions on.
    static bool Copy(const QString& pFileName, const QString& pFolder, TOperationOptions pOptions);
    static bool Copy(const QStringList& pFileNames, const QString& pFolder,
                     TOperationOptions pOptions);
    static bool Copy(const IItemIdListPtr& pFileName, const IItemIdListPtr& pFolder,
                     TOperationOptions pOptions);
    static bool Copy(const IItemIdListCollection& pFileNames, const IItemIdListPtr& pFolder,
                     TOperationOptions pOptions);
    static bool Move(const QString& pFileName, const QString& pFolder, TOperationOptions pOptions);
    static bool Move(const QStringList& pFileNames, const QString& pFolder,
                     TOperationOptions pOptions);
    static bool Move(const IItemIdListPtr& pFileName, const IItemIdListPtr& pFolder,
                     TOperationOptions pOptions);
    static bool Move(const IItemIdListCollection& pFileNames, const IItemIdListPtr& pFolder,
                     TOperationOptions pOptions);
    static bool Delete(const QString& pFileName, TOperationOptions pOptions);
    static bool Delete(const QStringList& pFileNames, TOperationOptions pOptions);
    static bool Delete(const IItemIdListCollection& pFileNames, TOperationOptions pOptions);
    static bool Rename(const QString& pFileName, const QString& pNewName,
                       TOperationOptions pOptions);
    // Adds soRenameCollision: the engine numbers the names ("a (2).txt").
    static bool Rename(const QStringList& pFileNames, const QString& pNewName,
                       TOperationOptions pOptions);
    // pFileName is the new file's full path.
    static bool NewFile(const QString& pFileName, TOperationOptions pOptions);
    static bool NewFile(const QString& pFolder, const QString& pNewName,
                        TOperationOptions pOptions);
    static bool NewFolder(const QString& pFolderName, TOperationOptions pOptions);
    static bool NewFolder(const QString& pFolder, const QString& pNewName,
                          TOperationOptions pOptions);
    static bool SetProperty(const QString& pFileName, const TShellColumnId& pProperty,
                            const TShellPropertyValue& pValue, TOperationOptions pOptions);
    static bool SetProperties(const QStringList& pFileNames, const TKivShellProperties& pProperties,
                              TOperationOptions pOptions);
    // Adds the items to the ZIP file, which is made empty first when it does not exist yet.
    static bool Zip(const QString& pFileName, const QString& pZipFile);
    static bool Zip(const QStringList& pFileNames, const QString& pZipFile);
    // With options: soAsync returns at once and writes the archive on the pool; the others
    // decide the engine's dialogs (soSilent: no progress window).
    static bool Zip(const QStringList& pFileNames, const QString& pZipFile,
                    TOperationOptions pOptions);
    // Extracts everything in the ZIP file into the folder, with the engine's rules for items
    // that exist there already.
    static bool Unzip(const QString& pZipFile, const QString& pFolder, TOperationOptions pOptions);

    // Performs one task on the calling thread (the work item's and Execute's common part).
    // Raises EWayfoldError for failures; pOutcome receives whether the run was cancelled.
    static void PerformTask(const TKivFileOperationTask& pTask, pf::WindowRef pParentWnd,
                            const std::shared_ptr<TKivFileOperationOutcome>& pOutcome);

private:
    static bool RunTemporary(TKivOperationType pOperation,
                             const std::function<void(TKivFileOperation&)>& pFill,
                             TOperationOptions pOptions);

    std::shared_ptr<IItemIdListCollection> fSourceFiles;
    TKivOperationType fOperation = TKivOperationType::otCopy;
    TOperationOptions fOptions;
    QString fDestination;
    IItemIdListPtr fDestinationIdList;
    TKivShellProperties fProperties;
    bool fRaiseExceptions = false;
    pf::HResult fLastErrorCode = 0;
    bool fOperationAborted = false;
    bool fEnabled = true;
    QString fTitle;
    pf::WindowRef fOwnerWindow = nullptr;
};

// Performs a copied request on a worker of the global pool; failures are dropped (nobody waits
// for the outcome). Not delivered on the user-interface thread.
class TKivFileOperationWorkItem final : public TBasicWorkItem
{
public:
    static std::shared_ptr<TKivFileOperationWorkItem> Create(TKivFileOperationTask pTask,
                                                             pf::WindowRef pParentWnd);
    TKivFileOperationWorkItem(TKivFileOperationTask pTask, pf::WindowRef pParentWnd);

    void DoWork() override;
    QString ClassName() const override { return QStringLiteral("TKivFileOperationWorkItem"); }

private:
    const pf::WindowRef fParentWnd;
    const TKivFileOperationTask fTask;
};

} // namespace kiv

#include "KivFileOperation.h"

#include "core/platform/FindData.h"
#include "core/platform/IArchive.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/platform/PropertySystem.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/SystemErrorTexts.h"
#include "core/shell/ItemIdListCollection.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivVersion.h"
#include "core/shell/PathUtils.h"
#include "core/shell/ShellColumns.h"
#include "core/threading/ThreadPool.h"

#include <mutex>
#include <stdexcept>

namespace kiv {
namespace {

using namespace pf;

// The engine flag of each option, in the options' order; soAsync has none (it decides where the
// run happens, not how).
constexpr std::uint32_t kOptionFlags[] = {
    fof::FOF_ALLOWUNDO,             // soAllowUndo
    fof::FOF_FILESONLY,             // soFilesOnly
    fof::FOF_NOCONFIRMATION,        // soNoConfirmation
    fof::FOF_NOCONFIRMMKDIR,        // soNoConfirmMkDir
    fof::FOF_NOERRORUI,             // soNoErrorUI
    fof::FOF_RENAMEONCOLLISION,     // soRenameCollision
    fof::FOF_SILENT,                // soSilent
    fof::FOFX_DONTDISPLAYLOCATIONS, // soSimpleProgress
    0,                              // soAsync
    fof::FOFX_KEEPNEWERFILE,        // soKeepNewer
};

const QString& InvalidDestinationText()
{
    static const QString text =
        QStringLiteral("Destination is invalid: Parameter 'Destination' contains an invalid path");
    return text;
}

// The folder part and the name part of a path, split at its last delimiter.
std::pair<QString, QString> SplitPath(const QString& pPath)
{
    for (qsizetype i = pPath.size() - 1; i >= 0; --i) {
        // IsPathDelimiter counts from 1.
        if (TPathUtils::IsPathDelimiter(pPath, i + 1)) {
            QString folder = pPath.left(i);
            // The root keeps its delimiter: "/" rather than nothing.
            if (folder.isEmpty() || folder.endsWith(QLatin1Char(':')))
                folder = pPath.left(i + 1);
            return {folder, pPath.mid(i + 1)};
        }
    }
    return {QString(), pPath};
}

std::function<WindowRef()>& DefaultParentProvider()
{
    static std::function<WindowRef()> provider;
    return provider;
}

std::mutex& DefaultParentLock()
{
    static std::mutex lock;
    return lock;
}

QStringList SourcePaths(const IItemIdListCollection& pSource)
{
    QStringList paths;
    for (const IItemIdListPtr& item : pSource.Items()) {
        const QString path = item ? item->Path() : QString();
        // Items without a place in the file system are beyond the engine.
        if (path.isEmpty())
            throw EWayfoldError(HResultFromWin32(win32::ERROR_FILE_NOT_FOUND),
                                item ? item->DisplayPath() : QString());
        paths << path;
    }
    return paths;
}

bool Valid(const IItemIdListPtr& pList)
{
    return pList && !pList->IsInvalid() && !pList->Path().isEmpty();
}

IArchives& Archives()
{
    IArchives* archives = Platform().Archives();
    if (!archives)
        throw EWayfoldError(E_NOTIMPL);
    return *archives;
}

// The ZIP file a task writes to: the destination's path, or the text it was made from when it
// names nothing yet.
QString ZipPath(const TKivFileOperationTask& pTask)
{
    const QString path = pTask.Destination ? pTask.Destination->Path() : QString();
    return path.isEmpty() ? pTask.DestinationName : path;
}

// The size of an archive without entries: its end record alone.
constexpr std::uint64_t kEmptyZipSize = 22;

// A missing ZIP file is made empty, so that the items can be added to it as to any archive;
// pCreated receives its path when this call made it.
IItemIdListPtr EnsureZipFile(const TKivFileOperationTask& pTask, QString& pCreated)
{
    if (Valid(pTask.Destination))
        return pTask.Destination;
    const QString path = ZipPath(pTask);
    if (path.isEmpty())
        return pTask.Destination;
    if (const HResult result = Archives().CreateEmpty(path); Failed(result))
        throw EWayfoldError(static_cast<HResult>(win32::ERROR_CANTWRITE), SystemErrorText(result));
    pCreated = path;
    return TKivItemIdList::Create(path);
}

// A run that made a ZIP file and then failed or was cancelled takes it away again, as long as
// it is still the empty archive it made: the user is left with what was there before.
void RemoveUnfilledZip(const QString& pPath)
{
    FindData data;
    IFileSystem& files = Platform().FileSystem();
    if (Succeeded(files.GetFindData(pPath, data)) && data.Size == kEmptyZipSize)
        files.DeleteFile(pPath);
}

// The engine's form of the properties to write; a value the property system has no type for
// is an invalid argument.
std::vector<TPropertyChange> PropertyChanges(const TKivShellProperties& pProperties)
{
    std::vector<TPropertyChange> changes;
    for (const auto& [column, value] : pProperties) {
        TPropertyChange change;
        change.Key = TShellColumns::ToPropertyKey(column);
        if (!VariantToPropVariant(value.FPropertyVariant, change.Value))
            throw std::invalid_argument("Properties: a value of no property type");
        changes.push_back(std::move(change));
    }
    return changes;
}

} // namespace

std::uint32_t OperationFlags(TOperationOptions pOptions)
{
    std::uint32_t flags = 0;
    for (std::size_t i = 0; i < std::size(kOptionFlags); ++i) {
        if (pOptions.Contains(static_cast<TOperationOption>(i)))
            flags |= kOptionFlags[i];
    }
    return flags;
}

HResult TKivFileOperationProgressSink::StartOperations()
{
    fWorkInProgress = true;
    return S_OK;
}

HResult TKivFileOperationProgressSink::FinishOperations(HResult)
{
    fOutcome->OperationAborted = fWorkInProgress;
    return S_OK;
}

HResult TKivFileOperationProgressSink::UpdateProgress(std::uint32_t pWorkTotal,
                                                      std::uint32_t pWorkSoFar)
{
    if (pWorkTotal != 0 && pWorkSoFar != 0)
        fWorkInProgress = pWorkSoFar < pWorkTotal;
    return S_OK;
}

HResult TKivFileOperationProgressSink::PostDeleteItem(std::uint32_t, const QString&,
                                                      HResult pResult, const QString&)
{
    // One source: its failure is the operation's. Several: the others still go.
    return Failed(pResult) && fOutcome->SourceCount == 1 ? pResult : S_OK;
}

TKivFileOperation::TKivFileOperation(void*)
    : fSourceFiles(TItemIdListCollection::Create())
    , fOptions{TOperationOption::soAllowUndo, TOperationOption::soNoConfirmMkDir}
{
}

TKivFileOperation::~TKivFileOperation() = default;

QString TKivFileOperation::Version() const
{
    return ComponentVersion(u"TKivFileOperation");
}

void TKivFileOperation::SetDefaultParentWindow(std::function<WindowRef()> pProvider)
{
    const std::scoped_lock lock(DefaultParentLock());
    DefaultParentProvider() = std::move(pProvider);
}

bool TKivFileOperation::Execute()
{
    if (fOwnerWindow)
        return Execute(fOwnerWindow);
    std::function<WindowRef()> provider;
    {
        const std::scoped_lock lock(DefaultParentLock());
        provider = DefaultParentProvider();
    }
    return Execute(provider ? provider() : nullptr);
}

bool TKivFileOperation::Execute(WindowRef pParentWnd)
{
    TKivFileOperationTask task;
    task.Operation = fOperation;
    // Filled by the run's sink; null until a synchronous run starts.
    std::shared_ptr<TKivFileOperationOutcome> outcome;
    auto source = TItemIdListCollection::Create();
    source->Add(*fSourceFiles);
    task.Source = std::move(source);
    try {
        if (fOperation == TKivOperationType::otNewFile ||
            fOperation == TKivOperationType::otNewFolder) {
            auto [folder, name] = SplitPath(fDestination);
            if (!fDestinationIdList)
                fDestinationIdList = TKivItemIdList::Create(folder);
            fDestination = name;
        } else if (fOperation != TKivOperationType::otRename && !fDestinationIdList) {
            fDestinationIdList = TKivItemIdList::Create(fDestination);
        }
        task.Destination = fDestinationIdList;
        task.DestinationName = fDestination;
        task.Properties = fProperties;
        task.Options = fOptions;
        // A ZIP file is written in the background too: adding a large folder takes long, and
        // the window must not wait for it.
        task.AsyncOperation = fOptions.Contains(TOperationOption::soAsync);

        if (task.AsyncOperation) {
            TWorkerThreadPool::Instance()->AddWorkItem(
                TKivFileOperationWorkItem::Create(std::move(task), pParentWnd));
        } else {
            outcome = std::make_shared<TKivFileOperationOutcome>();
            PerformTask(task, pParentWnd, outcome);
            fOperationAborted = outcome->OperationAborted;
            if (fOperationAborted) {
                fLastErrorCode = HResultFromWin32(win32::ERROR_CANCELLED);
                if (fRaiseExceptions)
                    throw EWayfoldError(static_cast<HResult>(win32::ERROR_CANCELLED));
            }
        }
    } catch (const std::invalid_argument&) {
        fLastErrorCode = E_INVALIDARG;
        fProperties.clear();
        fDestinationIdList.reset();
        if (fRaiseExceptions)
            throw;
        return false;
    } catch (const EWayfoldError& error) {
        const HResult code = error.ErrorCode();
        // A plain system error number becomes the result it stands for.
        fLastErrorCode =
            code > 0 && code <= 0xFFFF ? HResultFromWin32(static_cast<std::uint32_t>(code)) : code;
        if (outcome)
            fOperationAborted = outcome->OperationAborted;
        fOperationAborted =
            fOperationAborted || fLastErrorCode == HResultFromWin32(win32::ERROR_CANCELLED);
        fProperties.clear();
        fDestinationIdList.reset();
        if (fRaiseExceptions)
            throw;
        return false;
    }
    fProperties.clear();
    fDestinationIdList.reset();
    return Succeeded(fLastErrorCode);
}

void TKivFileOperation::PerformTask(const TKivFileOperationTask& pTask, WindowRef pParentWnd,
                                    const std::shared_ptr<TKivFileOperationOutcome>& pOutcome)
{
    const TKivOperationType operation = pTask.Operation;
    const bool needsDestination = operation != TKivOperationType::otDelete &&
                                  operation != TKivOperationType::otRename &&
                                  operation != TKivOperationType::otSetProperties;
    IItemIdListPtr destinationList = pTask.Destination;
    QString createdZip;
    if (operation == TKivOperationType::otZip)
        destinationList = EnsureZipFile(pTask, createdZip);
    if (needsDestination && !Valid(destinationList))
        throw EWayfoldError(static_cast<HResult>(win32::ERROR_PATH_NOT_FOUND),
                            InvalidDestinationText());

    const IItemIdListCollection& source = *pTask.Source;
    if (operation == TKivOperationType::otDelete) {
        for (const IItemIdListPtr& item : source.Items()) {
            // A virtual folder with content (a library, the trash) is emptied by its own
            // delete command, which knows what deleting means there.
            if (item && item->Path().isEmpty() && item->HasAttributes(sfgao::FOLDER) &&
                !item->HasAttributes(sfgao::STREAM)) {
                source.InvokeCommand(QStringLiteral("delete"));
                return;
            }
        }
    }
    IFileOps* service = Platform().FileOps();
    if (!service)
        throw EWayfoldError(E_NOTIMPL);
    const IFileOperationPtr engine = service->CreateFileOperation();
    if (!engine)
        throw EWayfoldError(E_FAIL);
    EWayfoldError::Check(engine->SetOwnerWindow(pParentWnd));
    EWayfoldError::Check(engine->SetOperationFlags(OperationFlags(pTask.Options)));

    const QString destination = needsDestination ? destinationList->Path() : QString();
    const QString name = SplitPath(pTask.DestinationName).second;
    switch (operation) {
    case TKivOperationType::otCopy:
        EWayfoldError::Check(engine->CopyItems(SourcePaths(source), destination));
        break;
    case TKivOperationType::otDelete:
        EWayfoldError::Check(engine->DeleteItems(SourcePaths(source)));
        break;
    case TKivOperationType::otMove:
        EWayfoldError::Check(engine->MoveItems(SourcePaths(source), destination));
        break;
    case TKivOperationType::otRename:
        EWayfoldError::Check(engine->RenameItems(SourcePaths(source), name));
        break;
    case TKivOperationType::otNewFile:
        EWayfoldError::Check(
            engine->NewItem(destination, newitem::FILE_ATTRIBUTE_NORMAL, name, QString()));
        break;
    case TKivOperationType::otNewFolder:
        EWayfoldError::Check(
            engine->NewItem(destination, newitem::FILE_ATTRIBUTE_DIRECTORY, name, QString()));
        break;
    case TKivOperationType::otSetProperties:
        EWayfoldError::Check(engine->SetProperties(PropertyChanges(pTask.Properties)));
        EWayfoldError::Check(engine->ApplyPropertiesToItems(SourcePaths(source)));
        break;
    case TKivOperationType::otZip:
        // Written on the engine's worker with its progress and cancel: the archive is rewritten
        // aside and replaces the old one only when complete.
        EWayfoldError::Check(
            engine->ZipItems(SourcePaths(source), destination, IArchives::kDefaultLevel));
        break;
    case TKivOperationType::otUnzip:
        // Each archive is extracted beside the destination's items, then moved in by the
        // engine with its rules for what exists there.
        for (const QString& zipFile : SourcePaths(source))
            EWayfoldError::Check(engine->ExtractItems(zipFile, destination), zipFile);
        break;
    }

    pOutcome->SourceCount = source.Count();
    auto sink = std::make_shared<TKivFileOperationProgressSink>(pOutcome);
    std::uint32_t cookie = 0;
    EWayfoldError::Check(engine->Advise(sink, cookie));
    const HResult result = engine->PerformOperations();
    engine->Unadvise(cookie);
    if (!createdZip.isEmpty() && (Failed(result) || pOutcome->OperationAborted))
        RemoveUnfilledZip(createdZip);
    // A cancelled run is told by the outcome; the caller raises 1223 for it.
    if (Failed(result) &&
        !(pOutcome->OperationAborted && result == HResultFromWin32(win32::ERROR_CANCELLED))) {
        const std::vector<TFileOpError> errors = engine->Errors();
        throw EWayfoldError(EWayfoldError::CodeOfResult(result),
                            errors.empty() ? QString() : errors.front().Path);
    }
}

bool TKivFileOperation::RunTemporary(TKivOperationType pOperation,
                                     const std::function<void(TKivFileOperation&)>& pFill,
                                     TOperationOptions pOptions)
{
    TKivFileOperation operation;
    operation.SetOperation(pOperation);
    operation.SetOptions(pOptions);
    operation.SetRaiseExceptions(true);
    pFill(operation);
    return operation.Execute();
}

bool TKivFileOperation::Copy(const QString& pFileName, const QString& pFolder,
                             TOperationOptions pOptions)
{
    return Copy(QStringList{pFileName}, pFolder, pOptions);
}

bool TKivFileOperation::Copy(const QStringList& pFileNames, const QString& pFolder,
                             TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otCopy,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().AddStrings(pFileNames);
            pOp.SetDestination(pFolder);
        },
        pOptions);
}

bool TKivFileOperation::Copy(const IItemIdListPtr& pFileName, const IItemIdListPtr& pFolder,
                             TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otCopy,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().Add(pFileName);
            pOp.SetDestinationIdList(pFolder);
        },
        pOptions);
}

bool TKivFileOperation::Copy(const IItemIdListCollection& pFileNames, const IItemIdListPtr& pFolder,
                             TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otCopy,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().Add(pFileNames);
            pOp.SetDestinationIdList(pFolder);
        },
        pOptions);
}

bool TKivFileOperation::Move(const QString& pFileName, const QString& pFolder,
                             TOperationOptions pOptions)
{
    return Move(QStringList{pFileName}, pFolder, pOptions);
}

bool TKivFileOperation::Move(const QStringList& pFileNames, const QString& pFolder,
                             TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otMove,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().AddStrings(pFileNames);
            pOp.SetDestination(pFolder);
        },
        pOptions);
}

bool TKivFileOperation::Move(const IItemIdListPtr& pFileName, const IItemIdListPtr& pFolder,
                             TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otMove,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().Add(pFileName);
            pOp.SetDestinationIdList(pFolder);
        },
        pOptions);
}

bool TKivFileOperation::Move(const IItemIdListCollection& pFileNames, const IItemIdListPtr& pFolder,
                             TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otMove,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().Add(pFileNames);
            pOp.SetDestinationIdList(pFolder);
        },
        pOptions);
}

bool TKivFileOperation::Delete(const QString& pFileName, TOperationOptions pOptions)
{
    return Delete(QStringList{pFileName}, pOptions);
}

bool TKivFileOperation::Delete(const QStringList& pFileNames, TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otDelete,
        [&](TKivFileOperation& pOp) { pOp.SourceFiles().AddStrings(pFileNames); }, pOptions);
}

bool TKivFileOperation::Delete(const IItemIdListCollection& pFileNames, TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otDelete,
        [&](TKivFileOperation& pOp) { pOp.SourceFiles().Add(pFileNames); }, pOptions);
}

bool TKivFileOperation::Rename(const QString& pFileName, const QString& pNewName,
                               TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otRename,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().Add(pFileName);
            pOp.SetDestination(pNewName);
        },
        pOptions);
}

bool TKivFileOperation::Rename(const QStringList& pFileNames, const QString& pNewName,
                               TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otRename,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().AddStrings(pFileNames);
            pOp.SetDestination(pNewName);
        },
        pOptions | TOperationOption::soRenameCollision);
}

bool TKivFileOperation::NewFile(const QString& pFileName, TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otNewFile,
        [&](TKivFileOperation& pOp) { pOp.SetDestination(pFileName); }, pOptions);
}

bool TKivFileOperation::NewFile(const QString& pFolder, const QString& pNewName,
                                TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otNewFile,
        [&](TKivFileOperation& pOp) {
            pOp.SetDestinationIdList(TKivItemIdList::Create(pFolder));
            pOp.SetDestination(pNewName);
        },
        pOptions);
}

bool TKivFileOperation::NewFolder(const QString& pFolderName, TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otNewFolder,
        [&](TKivFileOperation& pOp) { pOp.SetDestination(pFolderName); }, pOptions);
}

bool TKivFileOperation::NewFolder(const QString& pFolder, const QString& pNewName,
                                  TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otNewFolder,
        [&](TKivFileOperation& pOp) {
            pOp.SetDestinationIdList(TKivItemIdList::Create(pFolder));
            pOp.SetDestination(pNewName);
        },
        pOptions);
}

bool TKivFileOperation::SetProperty(const QString& pFileName, const TShellColumnId& pProperty,
                                    const TShellPropertyValue& pValue, TOperationOptions pOptions)
{
    return SetProperties(QStringList{pFileName}, {{pProperty, pValue}}, pOptions);
}

bool TKivFileOperation::SetProperties(const QStringList& pFileNames,
                                      const TKivShellProperties& pProperties,
                                      TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otSetProperties,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().AddStrings(pFileNames);
            pOp.Properties() = pProperties;
        },
        pOptions);
}

bool TKivFileOperation::Zip(const QString& pFileName, const QString& pZipFile)
{
    return Zip(QStringList{pFileName}, pZipFile);
}

bool TKivFileOperation::Zip(const QStringList& pFileNames, const QString& pZipFile)
{
    return Zip(pFileNames, pZipFile, {});
}

bool TKivFileOperation::Zip(const QStringList& pFileNames, const QString& pZipFile,
                            TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otZip,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().AddStrings(pFileNames);
            pOp.SetDestination(pZipFile);
        },
        pOptions);
}

bool TKivFileOperation::Unzip(const QString& pZipFile, const QString& pFolder,
                              TOperationOptions pOptions)
{
    return RunTemporary(
        TKivOperationType::otUnzip,
        [&](TKivFileOperation& pOp) {
            pOp.SourceFiles().Add(pZipFile);
            pOp.SetDestination(pFolder);
        },
        pOptions);
}

std::shared_ptr<TKivFileOperationWorkItem>
TKivFileOperationWorkItem::Create(TKivFileOperationTask pTask, WindowRef pParentWnd)
{
    return std::make_shared<TKivFileOperationWorkItem>(std::move(pTask), pParentWnd);
}

TKivFileOperationWorkItem::TKivFileOperationWorkItem(TKivFileOperationTask pTask,
                                                     WindowRef pParentWnd)
    : fParentWnd(pParentWnd)
    , fTask(std::move(pTask))
{
    SetFireOnWorkDoneSynchronized(false);
}

void TKivFileOperationWorkItem::DoWork()
{
    try {
        TKivFileOperation::PerformTask(fTask, fParentWnd,
                                       std::make_shared<TKivFileOperationOutcome>());
    } catch (const EWayfoldError&) {
        // Nobody waits for an asynchronous run: its failures were shown by the engine (or not,
        // as its flags said) and go no further.
    }
}

} // namespace kiv

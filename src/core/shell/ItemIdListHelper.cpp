#include "core/shell/ItemIdListHelper.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/DebugLog.h"
#include "core/shell/KivItemIdList.h"
#include "core/threading/KivThreading.h"
#include "core/threading/ThreadPool.h"

#include <functional>

namespace kiv {

namespace {

// Runs pQuestion as a future on pPool (the global pool when null) and waits pStopAfter ms.
// pFinished tells whether the answer came in time; a late or cancelled question answers
// pFallback. The future holds copies of everything it uses, so the late answer is harmless.
template <typename T>
T AskInTime(std::function<T()> pQuestion, IWorkerThreadPool* pPool, int pStopAfter,
            const ICancellationIndicatorPtr& pCancellation, T pFallback, bool& pFinished)
{
    const IFuturePtr<T> future =
        TAnonymousFuture<T>::CreateAndQueue(std::move(pQuestion), pCancellation, pPool);
    T value{};
    pFinished = future->WaitFor(value, pStopAfter) == TTaskStatus::Completed;
    return pFinished ? value : pFallback;
}

bool HasZipName(const IItemIdListPtr& pList)
{
    return pList->Name().endsWith(QLatin1String(".zip"), Qt::CaseInsensitive);
}

} // namespace

std::shared_ptr<TWorkerThreadPool> TItemIdListHelperThreadPool::Instance()
{
    static const std::shared_ptr<TWorkerThreadPool> instance = [] {
        std::shared_ptr<TWorkerThreadPool> pool =
            TWorkerThreadPoolRefCounted::Create(TWorkerPoolConfig{});
        pool->SetThreadName(QStringLiteral("TItemIdListHelper"));
        return pool;
    }();
    return instance;
}

bool TItemIdListHelper::IsNullOrInvalid(const IItemIdListPtr& pList)
{
    return !pList || pList->IsInvalid();
}

bool TItemIdListHelper::IsSimple(const IItemIdListPtr& pList)
{
    const auto* list = dynamic_cast<const TKivItemIdList*>(pList.get());
    return list && list->IsSimple();
}

bool TItemIdListHelper::IsFileAndFolder(const IItemIdListPtr& pList)
{
    return pList && pList->IsFolder() && pList->HasAttributes(pf::sfgao::STREAM);
}

bool TItemIdListHelper::SupportsIShellFolder2(const IItemIdListPtr& pList)
{
    if (IsNullOrInvalid(pList))
        return false;
    const TIdListBuffer bytes = pList->WindowsPointer();
    if (!bytes)
        return false;
    pf::IShellFolderPtr folder;
    if (!pf::Succeeded(pf::Platform().Namespace().BindToFolder(pf::IdSpan(*bytes), folder)) ||
        !folder)
        return false;
    return folder->AsFolder2() != nullptr;
}

bool TItemIdListHelper::HasSubFolders(const IItemIdListPtr& pList, bool pFileSystemOnly)
{
    if (!pList)
        return false;
    if (HasZipName(pList))
        return !pFileSystemOnly;
    if (!pFileSystemOnly)
        return pList->HasAttributes(pf::sfgao::HASSUBFOLDER);
    const pf::IShellItemPtr item = pList->ShellItem();
    if (!item)
        return false;
    std::uint32_t attributes = 0;
    const std::uint32_t mask =
        pf::sfgao::HASSUBFOLDER | pf::sfgao::FILESYSTEM | pf::sfgao::FILESYSANCESTOR;
    if (pf::Failed(item->GetAttributes(mask, attributes)))
        return false;
    return (attributes & pf::sfgao::HASSUBFOLDER) &&
           (attributes & (pf::sfgao::FILESYSTEM | pf::sfgao::FILESYSANCESTOR));
}

bool TItemIdListHelper::TryIsInvalid(const IItemIdListPtr& pList, int pStopAfter,
                                     const ICancellationIndicatorPtr& pCancellation)
{
    if (!pList)
        return true;
    bool finished = false;
    return AskInTime<bool>([pList] { return !pList->Reload() || pList->IsInvalid(); }, nullptr,
                           pStopAfter, pCancellation, true, finished);
}

bool TItemIdListHelper::TryReload(const IItemIdListPtr& pList, int pStopAfter, bool& pFinished,
                                  const ICancellationIndicatorPtr& pCancellation)
{
    pFinished = false;
    if (!pList)
        return false;
    const bool reloaded = AskInTime<bool>([pList] { return pList->Reload(); },
                                          TItemIdListHelperThreadPool::Instance().get(), pStopAfter,
                                          pCancellation, false, pFinished);
    if (!pFinished)
        WriteDebugInfo(pList, QStringLiteral("ItemIdList.Reload timed out."));
    return reloaded;
}

bool TItemIdListHelper::TryHasSubFolders(const IItemIdListPtr& pList, int pStopAfter,
                                         bool pFileSystemOnly, bool& pFinished,
                                         const ICancellationIndicatorPtr& pCancellation)
{
    pFinished = false;
    if (!pList)
        return false;
    if (HasZipName(pList)) {
        pFinished = true;
        return !pFileSystemOnly;
    }
    return AskInTime<bool>(
        [pList, pFileSystemOnly] { return HasSubFolders(pList, pFileSystemOnly); },
        TItemIdListHelperThreadPool::Instance().get(), pStopAfter, pCancellation, false, pFinished);
}

TKivShellFolder
TItemIdListHelper::TryGetSpecialFolder(const IItemIdListPtr& pList, int pStopAfter, bool& pFinished,
                                       const ICancellationIndicatorPtr& pCancellation)
{
    pFinished = false;
    if (!pList)
        return TKivShellFolder::SF_UNKNOWN;
    return AskInTime<TKivShellFolder>([pList] { return pList->SpecialFolder(); },
                                      TItemIdListHelperThreadPool::Instance().get(), pStopAfter,
                                      pCancellation, TKivShellFolder::SF_UNKNOWN, pFinished);
}

bool TItemIdListHelper::IsUNCPath(const IItemIdListPtr& pList)
{
    return pList && pList->Path().startsWith(QLatin1String("\\\\"));
}

bool TItemIdListHelper::IsNetworkPath(const IItemIdListPtr& pList)
{
    if (!pList)
        return false;
    const QString path = pList->Path();
    if (path.isEmpty())
        return false;
    const pf::DriveType type = pf::Platform().FileSystem().GetDriveType(path);
    return type == pf::DriveType::Remote || type == pf::DriveType::NoRootDir;
}

bool TItemIdListHelper::IsNetworkPathReachable(const IItemIdListPtr& pList, int pTimeout,
                                               const ICancellationIndicatorPtr& pCancellation)
{
    if (!pList)
        return true;
    if (IsUNCPath(pList))
        return !TryIsInvalid(pList, pTimeout, pCancellation);
    if (!IsNetworkPath(pList))
        return true;
    // The free-space question touches the mount: a dead server makes it hang, so it runs in the
    // helper pool and the caller gives up after its time-out.
    const QString path = pList->Path();
    bool finished = false;
    return AskInTime<bool>(
        [path] {
            std::uint64_t freeToCaller = 0;
            std::uint64_t total = 0;
            std::uint64_t totalFree = 0;
            return pf::Succeeded(
                pf::Platform().FileSystem().GetDiskFreeSpace(path, freeToCaller, total, totalFree));
        },
        TItemIdListHelperThreadPool::Instance().get(), pTimeout, pCancellation, false, finished);
}

bool TItemIdListHelper::IsSynchronizedCloudPath(const IItemIdListPtr& /*pList*/)
{
    return false;
}

std::vector<IItemIdListPtr> TItemIdListHelper::GetSynchronizedCloudPaths()
{
    return {};
}

void TItemIdListHelper::WriteDebugInfo(const IItemIdListPtr& pList, const QString& pMessage)
{
    QString info = QStringLiteral("-nil-");
    if (pList) {
        if (const auto* described = dynamic_cast<const IHasDebugInfo*>(pList.get()))
            info = described->GetInfo(TItemIdListInfoLevel::Verbose);
        else
            info = pList->DisplayPath();
    }
    TDebugLog::LogMessage(pMessage + QStringLiteral(": ") + info);
}

} // namespace kiv

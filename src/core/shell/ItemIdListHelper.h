#pragma once

// Questions about item identifier lists that may block on slow or unreachable places (network
// mounts), and the small tests the views ask of lists. The Try… operations run the question as
// a future on the helper pool and give up after the caller's time: the calling thread waits at
// most StopAfter milliseconds (in 40 ms rounds, see IFuture::WaitFor), the question goes on in the
// pool and its late answer is dropped.
//
// The helper pool is a process-wide worker pool of its own, made on first use and released at
// process end. It is separate from the global pool so that questions hanging on a dead mount
// never hold up icons, enumerations and the other background work.
//
// Every operation is thread-safe; the Try… operations may be called from the user-interface
// thread (their wait serves the calls queued to it).

#include "core/shell/KivShellTypes.h"
#include "core/threading/ThreadingTypes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace kiv {

class TWorkerThreadPool;

class TItemIdListHelperThreadPool
{
public:
    // The helper pool, made on first use with the default worker pool configuration.
    static std::shared_ptr<TWorkerThreadPool> Instance();
};

class TItemIdListHelper
{
public:
    // Null or invalid.
    static bool IsNullOrInvalid(const IItemIdListPtr& pList);
    // A list made by TKivItemIdList::CreateSimpleIdList.
    static bool IsSimple(const IItemIdListPtr& pList);
    // A folder that is also a stream (an archive browsable as a folder).
    static bool IsFileAndFolder(const IItemIdListPtr& pList);
    // Whether the list's folder offers the column interface.
    static bool SupportsIShellFolder2(const IItemIdListPtr& pList);
    // A ".zip" name answers !pFileSystemOnly without asking (archives are browsable but their
    // sub-folders are not file-system folders). With pFileSystemOnly: HASSUBFOLDER together with
    // FILESYSTEM or FILESYSANCESTOR; else HASSUBFOLDER.
    static bool HasSubFolders(const IItemIdListPtr& pList, bool pFileSystemOnly);

    // Reload, then IsInvalid, on the global pool; true (invalid) when the answer is late.
    static bool TryIsInvalid(const IItemIdListPtr& pList, int pStopAfter,
                             const ICancellationIndicatorPtr& pCancellation = nullptr);
    // Reload on the helper pool; false with a debug line when late.
    static bool TryReload(const IItemIdListPtr& pList, int pStopAfter, bool& pFinished,
                          const ICancellationIndicatorPtr& pCancellation = nullptr);
    // HasSubFolders on the helper pool; false when late. A ".zip" name answers at once.
    static bool TryHasSubFolders(const IItemIdListPtr& pList, int pStopAfter, bool pFileSystemOnly,
                                 bool& pFinished,
                                 const ICancellationIndicatorPtr& pCancellation = nullptr);
    // SpecialFolder on the helper pool; SF_UNKNOWN when late.
    static TKivShellFolder
    TryGetSpecialFolder(const IItemIdListPtr& pList, int pStopAfter, bool& pFinished,
                        const ICancellationIndicatorPtr& pCancellation = nullptr);

    // The path starts with "\\" (a Windows-style network path).
    static bool IsUNCPath(const IItemIdListPtr& pList);
    // The path lies on a network mount, or on no mount the table knows. Reads only the mount
    // table, never the mount itself. A place without a path (a virtual folder) is not one.
    static bool IsNetworkPath(const IItemIdListPtr& pList);
    // True for every place that is not on a network mount, without touching the disk. A network
    // place is reachable when its file system answers a free-space query within pTimeout
    // milliseconds; a hanging mount answers false after pTimeout.
    static bool IsNetworkPathReachable(const IItemIdListPtr& pList, int pTimeout,
                                       const ICancellationIndicatorPtr& pCancellation = nullptr);
    // No synchronised cloud namespaces exist on this host.
    static bool IsSynchronizedCloudPath(const IItemIdListPtr& pList);
    static std::vector<IItemIdListPtr> GetSynchronizedCloudPaths();

    // Writes pMessage + ": " + the list's verbose description ("-nil-" for null).
    static void WriteDebugInfo(const IItemIdListPtr& pList, const QString& pMessage);
};

} // namespace kiv

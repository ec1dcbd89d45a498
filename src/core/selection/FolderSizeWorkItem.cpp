#include "FolderSizeWorkItem.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"

namespace kiv {

std::shared_ptr<TKivFolderSizeWorkItem>
TKivFolderSizeWorkItem::Create(const QString& pRootPath, bool pFollowReparsePoints,
                               ICancellationIndicatorPtr pCancellationToken, bool pRecursive)
{
    return std::make_shared<TKivFolderSizeWorkItem>(pRootPath, pFollowReparsePoints,
                                                    std::move(pCancellationToken), pRecursive);
}

TKivFolderSizeWorkItem::TKivFolderSizeWorkItem(const QString& pRootPath, bool pFollowReparsePoints,
                                               ICancellationIndicatorPtr pCancellationToken,
                                               bool pRecursive)
    : TBasicWorkItem(std::move(pCancellationToken))
    , fRootPath(pRootPath)
    , fRecursive(pRecursive)
    , fFollowReparsePoints(pFollowReparsePoints)
{
}

void TKivFolderSizeWorkItem::DoWork()
{
    pf::IFileSystem& fileSystem = pf::Platform().FileSystem();
    pf::FindData data;
    if (pf::Failed(fileSystem.GetFindData(fRootPath, data)))
        return;
    fFound = true;
    if ((data.Attributes & pf::fileattr::DIRECTORY) == 0) {
        fFileCount = 1;
        fSize = data.Size;
        return;
    }
    fFolderCount = 1;
    if (!fRecursive)
        return;
    pf::TreeWalkOptions options;
    options.FollowLinks = fFollowReparsePoints;
    pf::TreeTotals totals;
    // A failure below the root leaves what could be counted; cancellation drops the item anyway.
    fileSystem.SumTree(
        fRootPath, options, [this] { return WaitWhilePaused(); }, totals);
    fSize = totals.Size;
    fFileCount += totals.Files;
    fFolderCount += totals.Folders;
}

} // namespace kiv

#pragma once

#include "core/threading/KivThreading.h"

#include <QString>

#include <cstdint>

namespace kiv {

// Adds up the size, files and folders of one checked entry on a worker: a folder counts itself
// and, recursively, everything below it; a file counts itself and its size. The walk asks the
// item between entries whether it was cancelled (or paused). Delivered on the user-interface
// thread through OnWorkDone, where the results are read; a cancelled item is never delivered.
//
// Each item walks one entry, so a folder on a dead network mount holds up only its own item:
// the totals of the other entries arrive as their walks end.
class TKivFolderSizeWorkItem final : public TBasicWorkItem
{
public:
    static std::shared_ptr<TKivFolderSizeWorkItem>
    Create(const QString& pRootPath, bool pFollowReparsePoints,
           ICancellationIndicatorPtr pCancellationToken, bool pRecursive = true);

    TKivFolderSizeWorkItem(const QString& pRootPath, bool pFollowReparsePoints,
                           ICancellationIndicatorPtr pCancellationToken, bool pRecursive);

    void DoWork() override;

    const QString& RootPath() const { return fRootPath; }
    // Read after delivery (DoWork has ended by then).
    std::uint64_t Size() const { return fSize; }
    std::uint64_t FileCount() const { return fFileCount; }
    std::uint64_t FolderCount() const { return fFolderCount; }
    // False when the root could not be read at all (it vanished, or access was refused).
    bool Found() const { return fFound; }

private:
    const QString fRootPath;
    const bool fRecursive;
    const bool fFollowReparsePoints;
    std::uint64_t fSize = 0;
    std::uint64_t fFileCount = 0;
    std::uint64_t fFolderCount = 0;
    bool fFound = false;
};

} // namespace kiv

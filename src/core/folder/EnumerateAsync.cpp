#include "core/folder/EnumerateAsync.h"

#include "core/folder/Wayfold.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/shell/ItemIdListHelper.h"
#include "core/shell/KivItemIdList.h"
#include "core/threading/KivThreading.h"
#include "core/threading/ThreadingHooks.h"

#include <stop_token>

namespace kiv {
namespace {

bool IsSearchLocation(QString pPath)
{
    pPath.remove(u'"');
    while (pPath.endsWith(u' '))
        pPath.chop(1);
    return pPath.startsWith(QLatin1String("search-ms:"), Qt::CaseInsensitive);
}

// Lists up to 101 objects of a folder with a component of its own and times them.
class TEnumerationProbe final : public TFuture<bool>
{
public:
    TEnumerationProbe(IItemIdListPtr pFolder, ICancellationIndicatorPtr pCancel)
        : TFuture<bool>(std::move(pCancel))
        , fFolder(std::move(pFolder))
    {
    }

    void DoWork() override
    {
        TWayfold probe;
        probe.SetShowErrorMessages(false);
        probe.SetEnumerationStopToken(fStop.get_token());
        try {
            probe.SetFolderIdList(fFolder);
            const std::uint64_t start = threading::TickCount();
            int count = 0;
            while (count < kEnumerationProbeObjects && !IsCancellationRequested() && probe.Next())
                ++count;
            const std::uint64_t elapsed = threading::TickCount() - start;
            SetResult(count > 0 &&
                      elapsed > static_cast<std::uint64_t>(count) *
                                    static_cast<std::uint64_t>(kSlowObjectTime.count()));
        } catch (const std::exception&) {
            // A folder that cannot be listed is not measured: the caller sees the item cancelled
            // and lists in the background, where the failure ends the listing.
            Terminate();
        }
    }

    void Terminate() noexcept override
    {
        fStop.request_stop();
        TFuture<bool>::Terminate();
    }

private:
    IItemIdListPtr fFolder;
    std::stop_source fStop;
};

} // namespace

bool ShouldEnumerateAsync(const IItemIdListPtr& pFolder, const ICancellationIndicatorPtr& pCancel,
                          std::chrono::milliseconds pWait)
{
    if (!pFolder || pFolder->IsInvalid())
        return false;
    if (IsSearchLocation(pFolder->DisplayPath()))
        return true;
    if (!pFolder->IsSlow())
        return false;
    // Network paths answer at once: a dead server would hold the probe, and the caller with it.
    if (TItemIdListHelper::IsUNCPath(pFolder) ||
        pFolder->DisplayPath().startsWith(QLatin1String("\\\\")))
        return true;
    if (const QString path = pFolder->Path();
        !path.isEmpty() && pf::Platform().FileSystem().GetDriveType(path) == pf::DriveType::Remote)
        return true;

    auto probe = std::make_shared<TEnumerationProbe>(pFolder, pCancel);
    TWorkerPool::GlobalInstance()->AddWorkItem(probe, TPriority::Normal);
    bool slow = false;
    const TTaskStatus status = probe->WaitFor(slow, pWait.count());
    if (status == TTaskStatus::Completed)
        return slow;
    if (status == TTaskStatus::Running) {
        TItemIdListHelper::WriteDebugInfo(pFolder,
                                          QStringLiteral("ShouldEnumerateAsync timed out."));
        probe->Terminate();
    }
    return true;
}

} // namespace kiv

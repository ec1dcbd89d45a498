#include "KivWorkItems.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/selection/KivSelectionList.h"
#include "core/shell/ItemIdListHelper.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivSystemImageList.h"
#include "core/shell/PathUtils.h"
#include "core/shell/ShellColumns.h"
#include "core/threading/ThreadingHooks.h"
#include "core/thumbnail/KivShellThumbnail.h"

namespace kiv {

namespace {

// The columns a resolved list reads once on the worker: what the views ask of an item first
// (type, size, free space of a drive, name), so that those questions are answered from the
// item's cache when they come on the user-interface thread.
const std::vector<TShellColumnId>& WarmColumns()
{
    static const std::vector<TShellColumnId> columns = {
        TShellColumns::StorageType(),
        TShellColumns::Size(),
        TShellColumns::Volume_FreeSpace(),
        TShellColumns::Name(),
    };
    return columns;
}

// A path of the file system as text (a drive letter, a server path, or rooted on this host), as
// opposed to the names of virtual places, which have no existence to check.
bool IsFileSystemPathText(const QString& pPath)
{
    if (pPath.isEmpty() || TPathUtils::IsURL(pPath))
        return false;
    if (TPathUtils::StartsWithDriveLetter(pPath) || pPath.startsWith(u"\\\\"))
        return true;
    return kHostPathStyle == TPathStyle::psPosix && pPath.startsWith(u'/');
}

void LogFailure(const char* pWhat, const std::exception& pError)
{
    threading::DebugLine(
        QStringLiteral("%1: %2").arg(QLatin1String(pWhat), QString::fromUtf8(pError.what())));
}

} // namespace

// ---- TThumbnailWorkItem -----------------------------------------------------------------------

std::shared_ptr<TThumbnailWorkItem>
TThumbnailWorkItem::Create(const IItemIdListPtr& pAbsoluteItemIdList, int pWidth, int pHeight,
                           int pIndex, std::intptr_t pTag,
                           const std::weak_ptr<IThumbnailViewer>& pViewer,
                           ICancellationIndicatorPtr pCancellationToken, bool pIconInstead,
                           const QColor& pBackgroundColor, bool pCachedOnly)
{
    auto item = std::make_shared<TThumbnailWorkItem>(pAbsoluteItemIdList, pWidth, pHeight, pIndex,
                                                     pViewer, std::move(pCancellationToken),
                                                     pIconInstead, pBackgroundColor, pCachedOnly);
    item->SetTag(pTag);
    return item;
}

TThumbnailWorkItem::TThumbnailWorkItem(const IItemIdListPtr& pAbsoluteItemIdList, int pWidth,
                                       int pHeight, int pIndex,
                                       const std::weak_ptr<IThumbnailViewer>& pViewer,
                                       ICancellationIndicatorPtr pCancellationToken,
                                       bool pIconInstead, const QColor& pBackgroundColor,
                                       bool pCachedOnly)
    : TBasicWorkItem(std::move(pCancellationToken))
    , fWidth(pWidth)
    , fHeight(pHeight)
    , fBackgroundColor(pBackgroundColor)
    , fAbsoluteItemIdList(pAbsoluteItemIdList)
    , fIndex(pIndex)
    , fIconInstead(pIconInstead)
    , fCachedOnly(pCachedOnly)
    , fThumbnailViewer(pViewer)
{
}

void TThumbnailWorkItem::DoWork()
{
    if (WaitWhilePaused())
        return;
    TThumbnailOptions options;
    options.Size = QSize(fWidth, fHeight);
    options.IconInstead = fIconInstead;
    options.CachedOnly = fCachedOnly;
    options.BackgroundColor = fBackgroundColor;
    QImage bitmap;
    try {
        // The item is its own token: terminating it stops the extraction's waits too.
        bitmap = TKivThumbnailExtractor::GetThumbnailBitmap(fAbsoluteItemIdList, options,
                                                            shared_from_this());
    } catch (const std::exception& e) {
        // Out of memory for this one picture: the item shows without a thumbnail.
        LogFailure("TThumbnailWorkItem", e);
        return;
    }
    const std::scoped_lock lock(fLock);
    // Terminate sets the status before it takes the lock: either it sees this bitmap and frees
    // it, or the bitmap is never stored.
    if (!IsCancellationRequested())
        fBitmap = std::move(bitmap);
}

void TThumbnailWorkItem::Terminate() noexcept
{
    TBasicWorkItem::Terminate();
    QImage freed;
    std::weak_ptr<IThumbnailViewer> viewer;
    {
        const std::scoped_lock lock(fLock);
        freed.swap(fBitmap);
        viewer.swap(fThumbnailViewer);
    }
}

QImage TThumbnailWorkItem::Bitmap() const
{
    const std::scoped_lock lock(fLock);
    return fBitmap;
}

void TThumbnailWorkItem::DoWorkDone()
{
    QImage bitmap;
    std::shared_ptr<IThumbnailViewer> viewer;
    {
        const std::scoped_lock lock(fLock);
        bitmap.swap(fBitmap);
        viewer = fThumbnailViewer.lock();
    }
    // Without a viewer, or cancelled meanwhile, the bitmap goes with the local.
    if (!viewer || IsCancellationRequested())
        return;
    viewer->SetThumbnailBitmap(std::move(bitmap), fIndex, GetTag());
}

// ---- TIconWorkItem ----------------------------------------------------------------------------

std::shared_ptr<TIconWorkItem>
TIconWorkItem::Create(const IItemIdListPtr& pAbsoluteItemIdList, TIconTypes pIconType,
                      std::intptr_t pTag, const std::weak_ptr<IIconViewer>& pIconViewer,
                      ICancellationIndicatorPtr pCancellationToken,
                      const std::weak_ptr<IItemIDListViewer>& pItemIdListViewer)
{
    auto item =
        std::make_shared<TIconWorkItem>(pAbsoluteItemIdList, QString(), pIconType, pIconViewer,
                                        std::move(pCancellationToken), pItemIdListViewer);
    item->SetTag(pTag);
    return item;
}

std::shared_ptr<TIconWorkItem>
TIconWorkItem::Create(const QString& pPath, TIconTypes pIconType, std::intptr_t pTag,
                      const std::weak_ptr<IIconViewer>& pIconViewer,
                      ICancellationIndicatorPtr pCancellationToken,
                      const std::weak_ptr<IItemIDListViewer>& pItemIdListViewer)
{
    auto item = std::make_shared<TIconWorkItem>(nullptr, pPath, pIconType, pIconViewer,
                                                std::move(pCancellationToken), pItemIdListViewer);
    item->SetTag(pTag);
    return item;
}

TIconWorkItem::TIconWorkItem(IItemIdListPtr pAbsoluteItemIdList, QString pPath,
                             TIconTypes pIconType, const std::weak_ptr<IIconViewer>& pIconViewer,
                             ICancellationIndicatorPtr pCancellationToken,
                             const std::weak_ptr<IItemIDListViewer>& pItemIdListViewer)
    : TBasicWorkItem(std::move(pCancellationToken))
    , fIconType(pIconType)
    , fAbsoluteItemIdList(std::move(pAbsoluteItemIdList))
    , fPath(std::move(pPath))
    , fIconViewer(pIconViewer)
    , fItemIdListViewer(pItemIdListViewer)
{
}

int TIconWorkItem::OverlayIndexOf(const IItemIdListPtr& pAbsoluteItemIdList)
{
    try {
        if (TItemIdListHelper::IsNullOrInvalid(pAbsoluteItemIdList))
            return -1;
        const TIdListBuffer bytes = pAbsoluteItemIdList->WindowsPointer();
        if (!bytes)
            return -1;
        pf::IShellFolderPtr parent;
        pf::IdListBytes last;
        if (pf::Failed(pf::Platform().Namespace().BindToParent(pf::IdSpan(*bytes), parent, last)) ||
            !parent)
            return -1;
        int overlay = 0;
        const pf::HResult result = parent->GetOverlayIndex(pf::IdSpan(last), overlay);
        if (result != pf::E_NOINTERFACE)
            // A folder that draws its own overlays counts them from 1.
            return pf::Succeeded(result) ? overlay - 1 : -1;
        // Otherwise the two overlays every item may have: a link before a share.
        const pf::IdSpan items[] = {pf::IdSpan(last)};
        std::uint32_t attributes = pf::sfgao::LINK | pf::sfgao::SHARE;
        if (pf::Failed(parent->GetAttributesOf(items, attributes)))
            return -1;
        if (attributes & pf::sfgao::LINK)
            return 1;
        if (attributes & pf::sfgao::SHARE)
            return 0;
        return -1;
    } catch (...) {
        return -1;
    }
}

void TIconWorkItem::DoWork()
{
    if (WaitWhilePaused())
        return;
    IItemIdListPtr list = fAbsoluteItemIdList;
    try {
        if (!list)
            list = TKivItemIdList::Parse(fPath);
    } catch (const std::exception& e) {
        LogFailure("TIconWorkItem", e);
    }
    // Each index stays -1 when its question fails; the look-ups never raise.
    if (fIconType.Contains(TIconType::itSelected))
        fSelectedIconIndex =
            TKivSystemImageList::GetIndexFromItemIdList(list, TKivImageListSize::si_Small, true);
    if (fIconType.Contains(TIconType::itNormal))
        fNormalIconIndex =
            TKivSystemImageList::GetIndexFromItemIdList(list, TKivImageListSize::si_Small, false);
    if (fIconType.Contains(TIconType::itOverlay))
        fOverlayIconIndex = OverlayIndexOf(list);
    fAbsoluteItemIdList = std::move(list);
}

void TIconWorkItem::Terminate() noexcept
{
    TBasicWorkItem::Terminate();
    std::weak_ptr<IIconViewer> iconViewer;
    std::weak_ptr<IItemIDListViewer> listViewer;
    const std::scoped_lock lock(fLock);
    iconViewer.swap(fIconViewer);
    listViewer.swap(fItemIdListViewer);
}

void TIconWorkItem::DoWorkDone()
{
    // Each viewer is looked up just before its call: one call may terminate the item (the
    // control dropped the row), and then nothing more is delivered.
    const auto iconViewer = [this] {
        const std::scoped_lock lock(fLock);
        return IsCancellationRequested() ? nullptr : fIconViewer.lock();
    };
    std::shared_ptr<IItemIDListViewer> listViewer;
    {
        const std::scoped_lock lock(fLock);
        listViewer = fItemIdListViewer.lock();
    }
    if (IsCancellationRequested())
        return;
    if (listViewer && fAbsoluteItemIdList && fAbsoluteItemIdList->IsResolved()) {
        const QString path = fPath.isEmpty() ? fAbsoluteItemIdList->Path() : fPath;
        listViewer->SetItemIdList(TKivItemIdListWorkItem::Create(
            path, fAbsoluteItemIdList, GetTag(), {}, CancellationIndicator()));
    }
    const std::pair<TIconType, TIconKind> order[] = {
        {TIconType::itNormal, TIconKind::ikNormal},
        {TIconType::itSelected, TIconKind::ikSelected},
        {TIconType::itOverlay, TIconKind::ikOverlay},
    };
    for (const auto& [type, kind] : order) {
        if (!fIconType.Contains(type))
            continue;
        const std::shared_ptr<IIconViewer> viewer = iconViewer();
        if (!viewer)
            return;
        const int index = type == TIconType::itNormal     ? fNormalIconIndex
                          : type == TIconType::itSelected ? fSelectedIconIndex
                                                          : fOverlayIconIndex;
        viewer->SetIconIndex(index, kind, GetTag());
    }
}

// ---- TKivItemIdListWorkItem -------------------------------------------------------------------

std::shared_ptr<TKivItemIdListWorkItem>
TKivItemIdListWorkItem::Create(const QString& pPath, const IItemIdListPtr& pItemIdList,
                               std::intptr_t pTag, const std::weak_ptr<IItemIDListViewer>& pViewer,
                               ICancellationIndicatorPtr pCancellationToken,
                               TItemIdListWorkItemFlags pFlags)
{
    auto item = std::make_shared<TKivItemIdListWorkItem>(pPath, pItemIdList, pViewer,
                                                         std::move(pCancellationToken), pFlags);
    item->SetTag(pTag);
    return item;
}

TKivItemIdListWorkItem::TKivItemIdListWorkItem(QString pPath, IItemIdListPtr pItemIdList,
                                               const std::weak_ptr<IItemIDListViewer>& pViewer,
                                               ICancellationIndicatorPtr pCancellationToken,
                                               TItemIdListWorkItemFlags pFlags)
    : TBasicWorkItem(std::move(pCancellationToken))
    , fPath(std::move(pPath))
    , fItemIdList(std::move(pItemIdList))
    , fFlags(pFlags)
    , fItemIdListViewer(pViewer)
{
}

void TKivItemIdListWorkItem::DoWork()
{
    if (WaitWhilePaused())
        return;
    IItemIdListPtr list = fItemIdList;
    try {
        if (!list)
            list = TKivItemIdList::Parse(fPath);
        else if (TItemIdListHelper::IsSimple(list))
            // Made without touching the disk: the real item may be something else entirely.
            list = TKivItemIdList::Parse(list->DisplayPath());
        if (!TItemIdListHelper::IsNullOrInvalid(list)) {
            (void)list->GetShellInformation(WarmColumns(),
                                            static_cast<int>(WarmColumns().size()) - 1, false);
            const QString path = list->Path();
            if (fFlags.Contains(TItemIdListWorkItemFlag::CheckIfExists) && !path.isEmpty() &&
                IsFileSystemPathText(fPath) &&
                pf::Platform().FileSystem().GetFileAttributes(path) == pf::fileattr::INVALID)
                list = InvalidItemIdList();
        }
    } catch (const std::exception& e) {
        // A path that cannot be parsed names nothing the viewer can show.
        LogFailure("TKivItemIdListWorkItem", e);
        list = InvalidItemIdList();
    }
    fItemIdList = std::move(list);
}

void TKivItemIdListWorkItem::Terminate() noexcept
{
    TBasicWorkItem::Terminate();
    std::weak_ptr<IItemIDListViewer> viewer;
    const std::scoped_lock lock(fLock);
    viewer.swap(fItemIdListViewer);
}

void TKivItemIdListWorkItem::DoWorkDone()
{
    std::shared_ptr<IItemIDListViewer> viewer;
    {
        const std::scoped_lock lock(fLock);
        viewer = fItemIdListViewer.lock();
    }
    if (!viewer || IsCancellationRequested())
        return;
    viewer->SetItemIdList(std::static_pointer_cast<TKivItemIdListWorkItem>(shared_from_this()));
}

// ---- TCheckBoxWorkItem ------------------------------------------------------------------------

std::shared_ptr<TCheckBoxWorkItem>
TCheckBoxWorkItem::Create(const IItemIdListPtr& pPIDL, const TKivSelectionList& pSelectionList,
                          std::intptr_t pTag, const std::weak_ptr<ICheckBoxViewer>& pViewer,
                          ICancellationIndicatorPtr pCancellationToken)
{
    auto item = std::make_shared<TCheckBoxWorkItem>(pPIDL, pSelectionList, pViewer,
                                                    std::move(pCancellationToken));
    item->SetTag(pTag);
    return item;
}

TCheckBoxWorkItem::TCheckBoxWorkItem(IItemIdListPtr pPIDL, const TKivSelectionList& pSelectionList,
                                     const std::weak_ptr<ICheckBoxViewer>& pViewer,
                                     ICancellationIndicatorPtr pCancellationToken)
    : TBasicWorkItem(std::move(pCancellationToken))
    , fPIDL(std::move(pPIDL))
    , fSelectionState(TKivSelectionState::ssUnused)
    , fSelectionList(pSelectionList)
    , fCheckBoxViewer(pViewer)
{
}

void TCheckBoxWorkItem::DoWork()
{
    if (WaitWhilePaused())
        return;
    try {
        bool isSubItemOf = false;
        fSelectionState = fSelectionList.IsPIDLSelected(fPIDL, isSubItemOf);
        fIsSubItemOf = isSubItemOf;
    } catch (const std::exception& e) {
        LogFailure("TCheckBoxWorkItem", e);
        fSelectionState = TKivSelectionState::ssDisabled;
        fIsSubItemOf = false;
    }
}

void TCheckBoxWorkItem::Terminate() noexcept
{
    TBasicWorkItem::Terminate();
    std::weak_ptr<ICheckBoxViewer> viewer;
    const std::scoped_lock lock(fLock);
    viewer.swap(fCheckBoxViewer);
}

void TCheckBoxWorkItem::DoWorkDone()
{
    std::shared_ptr<ICheckBoxViewer> viewer;
    {
        const std::scoped_lock lock(fLock);
        viewer = fCheckBoxViewer.lock();
    }
    if (!viewer || IsCancellationRequested())
        return;
    viewer->SetCheckBoxState(std::static_pointer_cast<TCheckBoxWorkItem>(shared_from_this()));
}

} // namespace kiv

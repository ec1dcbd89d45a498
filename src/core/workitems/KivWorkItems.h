#pragma once

// The work items the shell views queue for what arrives after an item is shown: thumbnails,
// icons and overlays, item identifier lists resolved from paths, and check-box states. Each does
// its work on a worker and hands the result to a viewer — an object of the requesting control —
// on the user-interface thread, without the worker waiting.
//
// Each item carries the cancellation token of the list item or tree node it is for: cancelling
// that token (the item went away, the folder changed) drops the result, including a delivery
// already queued. Terminate also lets go of the viewers at once, so a control that is going away
// terminates its items and is never called again.
//
// Viewers are held weakly: a control hands out a viewer it owns through a shared_ptr, and a
// viewer that is gone simply receives nothing (its result is dropped and any bitmap freed).
//
// Threads: made and queued on the user-interface thread; DoWork on a worker; delivery, Terminate
// and the viewers on the user-interface thread (Terminate may also come from a worker when the
// token is found cancelled there, so the viewers and the bitmap sit under a small lock).

#include "core/shell/KivSet.h"
#include "core/shell/KivShellTypes.h"
#include "core/threading/KivThreading.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

namespace kiv {

class TKivSelectionList;
class TKivItemIdListWorkItem;
class TCheckBoxWorkItem;
enum class TKivSelectionState;

// Receives a thumbnail and takes it over.
class IThumbnailViewer
{
public:
    virtual ~IThumbnailViewer() = default;
    virtual void SetThumbnailBitmap(QImage pBitmap, int pIndex, std::intptr_t pTag) = 0;
};

// Which icon a viewer receives; the numbers are those the list view's image slots use.
enum class TIconKind
{
    ikNormal = 0,
    ikOverlay = 1,
    ikSelected = 2,
};

class IIconViewer
{
public:
    virtual ~IIconViewer() = default;
    // pIconIndex: a system image list index (normal, selected) or an overlay number (-1: none).
    virtual void SetIconIndex(int pIconIndex, TIconKind pKind, std::intptr_t pTag) = 0;
};

// Receives a finished list work item (its ItemIdList and Path).
class IItemIDListViewer
{
public:
    virtual ~IItemIDListViewer() = default;
    virtual void SetItemIdList(const std::shared_ptr<TKivItemIdListWorkItem>& pItem) = 0;
};

// Receives a finished check-box work item (its SelectionState and IsSubItemOf).
class ICheckBoxViewer
{
public:
    virtual ~ICheckBoxViewer() = default;
    virtual void SetCheckBoxState(const std::shared_ptr<TCheckBoxWorkItem>& pItem) = 0;
};

// ---- thumbnails ---------------------------------------------------------------------------------

// The thumbnail of one item at a size, queued on the thumbnail pool. The extraction is cancelled
// with the item. The bitmap goes to the viewer; when it cannot (no viewer, cancelled, terminated)
// it is freed on the spot rather than when the last holder lets the item go.
class TThumbnailWorkItem final : public TBasicWorkItem
{
public:
    static std::shared_ptr<TThumbnailWorkItem>
    Create(const IItemIdListPtr& pAbsoluteItemIdList, int pWidth, int pHeight, int pIndex,
           std::intptr_t pTag, const std::weak_ptr<IThumbnailViewer>& pViewer,
           ICancellationIndicatorPtr pCancellationToken, bool pIconInstead = true,
           const QColor& pBackgroundColor = QColor(Qt::white), bool pCachedOnly = false);

    TThumbnailWorkItem(const IItemIdListPtr& pAbsoluteItemIdList, int pWidth, int pHeight,
                       int pIndex, const std::weak_ptr<IThumbnailViewer>& pViewer,
                       ICancellationIndicatorPtr pCancellationToken, bool pIconInstead,
                       const QColor& pBackgroundColor, bool pCachedOnly);

    void DoWork() override;
    void Terminate() noexcept override;

    const IItemIdListPtr& AbsoluteItemIdList() const { return fAbsoluteItemIdList; }
    int Index() const { return fIndex; }
    // The bitmap not handed over yet (null once delivered or freed).
    QImage Bitmap() const;

protected:
    void DoWorkDone() override;

private:
    const int fWidth;
    const int fHeight;
    const QColor fBackgroundColor;
    const IItemIdListPtr fAbsoluteItemIdList;
    const int fIndex;
    const bool fIconInstead;
    const bool fCachedOnly;
    mutable std::mutex fLock;
    QImage fBitmap;                                   // guarded by fLock
    std::weak_ptr<IThumbnailViewer> fThumbnailViewer; // guarded by fLock
};

// ---- icons --------------------------------------------------------------------------------------

enum class TIconType
{
    // The small icon in its normal state.
    itNormal,
    // The overlay number: 0 shared, 1 link, -1 none (or not to be found out).
    itOverlay,
    // The small icon in its open state (a selected tree node).
    itSelected,
};
using TIconTypes = TSet<TIconType>;

// The icons of one item, from its list or from a path parsed on the worker. With a list viewer,
// the resolved list is handed over first (as an unqueued list work item) so that a control that
// knew only the path learns the list.
class TIconWorkItem final : public TBasicWorkItem
{
public:
    static std::shared_ptr<TIconWorkItem>
    Create(const IItemIdListPtr& pAbsoluteItemIdList, TIconTypes pIconType, std::intptr_t pTag,
           const std::weak_ptr<IIconViewer>& pIconViewer,
           ICancellationIndicatorPtr pCancellationToken,
           const std::weak_ptr<IItemIDListViewer>& pItemIdListViewer = {});
    static std::shared_ptr<TIconWorkItem>
    Create(const QString& pPath, TIconTypes pIconType, std::intptr_t pTag,
           const std::weak_ptr<IIconViewer>& pIconViewer,
           ICancellationIndicatorPtr pCancellationToken,
           const std::weak_ptr<IItemIDListViewer>& pItemIdListViewer = {});

    TIconWorkItem(IItemIdListPtr pAbsoluteItemIdList, QString pPath, TIconTypes pIconType,
                  const std::weak_ptr<IIconViewer>& pIconViewer,
                  ICancellationIndicatorPtr pCancellationToken,
                  const std::weak_ptr<IItemIDListViewer>& pItemIdListViewer);

    void DoWork() override;
    void Terminate() noexcept override;

    // Read after delivery (DoWork has ended by then); -1 when not asked or not found.
    int NormalIconIndex() const { return fNormalIconIndex; }
    int SelectedIconIndex() const { return fSelectedIconIndex; }
    int OverlayIconIndex() const { return fOverlayIconIndex; }
    TIconTypes IconType() const { return fIconType; }
    const IItemIdListPtr& AbsoluteItemIdList() const { return fAbsoluteItemIdList; }
    const QString& Path() const { return fPath; }

    // The overlay number of an item as its parent folder tells it, -1 on any failure.
    static int OverlayIndexOf(const IItemIdListPtr& pAbsoluteItemIdList);

protected:
    void DoWorkDone() override;

private:
    int fNormalIconIndex = -1;
    int fSelectedIconIndex = -1;
    int fOverlayIconIndex = -1;
    const TIconTypes fIconType;
    IItemIdListPtr fAbsoluteItemIdList; // written by DoWork when made from a path
    const QString fPath;
    mutable std::mutex fLock;
    std::weak_ptr<IIconViewer> fIconViewer;             // guarded by fLock
    std::weak_ptr<IItemIDListViewer> fItemIdListViewer; // guarded by fLock
};

// ---- item identifier lists ----------------------------------------------------------------------

enum class TItemIdListWorkItemFlag
{
    // A file-system path that no longer exists gives the invalid list.
    CheckIfExists,
};
using TItemIdListWorkItemFlags = TSet<TItemIdListWorkItemFlag>;

// A list resolved on the worker: parsed from a path, or a simple list (made without touching the
// disk) parsed again from its path, with the properties the views show read once so that later
// questions on the user-interface thread are answered from memory.
class TKivItemIdListWorkItem final : public TBasicWorkItem
{
public:
    static std::shared_ptr<TKivItemIdListWorkItem>
    Create(const QString& pPath, const IItemIdListPtr& pItemIdList, std::intptr_t pTag,
           const std::weak_ptr<IItemIDListViewer>& pViewer,
           ICancellationIndicatorPtr pCancellationToken, TItemIdListWorkItemFlags pFlags = {});

    TKivItemIdListWorkItem(QString pPath, IItemIdListPtr pItemIdList,
                           const std::weak_ptr<IItemIDListViewer>& pViewer,
                           ICancellationIndicatorPtr pCancellationToken,
                           TItemIdListWorkItemFlags pFlags);

    void DoWork() override;
    void Terminate() noexcept override;

    // Read after delivery.
    const IItemIdListPtr& ItemIdList() const { return fItemIdList; }
    const QString& Path() const { return fPath; }
    TItemIdListWorkItemFlags Flags() const { return fFlags; }

protected:
    void DoWorkDone() override;

private:
    const QString fPath;
    IItemIdListPtr fItemIdList; // written by DoWork
    const TItemIdListWorkItemFlags fFlags;
    mutable std::mutex fLock;
    std::weak_ptr<IItemIDListViewer> fItemIdListViewer; // guarded by fLock
};

// ---- check boxes --------------------------------------------------------------------------------

// The check state of one item in the selection list. The selection list belongs to the shell
// link and must outlive the work (the link cancels and waits for its controls' work before it
// goes); the list answers under its read lock.
class TCheckBoxWorkItem final : public TBasicWorkItem
{
public:
    static std::shared_ptr<TCheckBoxWorkItem> Create(const IItemIdListPtr& pPIDL,
                                                     const TKivSelectionList& pSelectionList,
                                                     std::intptr_t pTag,
                                                     const std::weak_ptr<ICheckBoxViewer>& pViewer,
                                                     ICancellationIndicatorPtr pCancellationToken);

    TCheckBoxWorkItem(IItemIdListPtr pPIDL, const TKivSelectionList& pSelectionList,
                      const std::weak_ptr<ICheckBoxViewer>& pViewer,
                      ICancellationIndicatorPtr pCancellationToken);

    void DoWork() override;
    void Terminate() noexcept override;

    // Read after delivery: ssUnused until the work ran, ssDisabled when asking failed.
    TKivSelectionState SelectionState() const { return fSelectionState; }
    // Checked through a checked ancestor folder rather than as an entry of its own.
    bool IsSubItemOf() const { return fIsSubItemOf; }
    const IItemIdListPtr& PIDL() const { return fPIDL; }

protected:
    void DoWorkDone() override;

private:
    const IItemIdListPtr fPIDL;
    bool fIsSubItemOf = false;
    TKivSelectionState fSelectionState;
    const TKivSelectionList& fSelectionList;
    mutable std::mutex fLock;
    std::weak_ptr<ICheckBoxViewer> fCheckBoxViewer; // guarded by fLock
};

} // namespace kiv

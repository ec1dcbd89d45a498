#pragma once

// TKivShellLink keeps the shell controls of one window on the same folder: the tree, the list,
// the address bar, the combo boxes, the preview and details panes register with it, and what
// one of them navigates to, selects, filters, refreshes or goes up from is passed to all the
// others. It owns the window's navigation history and its selection list (the check boxes),
// and asks the application (OnNavigating) whether a navigation may happen.
//
// Ownership: the window owns the link; controls register themselves when their link is set and
// unregister when it is cleared or they are destroyed. The link holds them by raw pointer and
// tells each one to let go (SetShellLink(nullptr)) when it is destroyed first.
//
// Threads: the user-interface thread only.

#include "core/shell/KivShellControlsTypes.h"
#include "core/shell/KivShellHistory.h"
#include "core/shell/KivShellTypes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kiv {

class TKivSelectionList;
class TKivShellLink;

// Implemented by every control that can be linked.
class IKivShellControl
{
public:
    virtual ~IKivShellControl() = default;
    virtual void SetShellLink(TKivShellLink* pLink) = 0;
    virtual TKivShellLink* GetShellLink() const = 0;
    // Show pFolderList (another control navigated there).
    virtual void ChangeFolder(const IItemIdListPtr& pFolderList) = 0;
    // Select the file pFileList (relative) of the folder pFolderList.
    virtual void SelectFile(const IItemIdListPtr& pFolderList, const IItemIdListPtr& pFileList) = 0;
    virtual void SelectAll() = 0;
    // pList: what changed (null: everything shown).
    virtual void Refresh(TRefreshLevel pRefreshLevel, const IItemIdListPtr& pList) = 0;
    // Go to the parent folder; false when the control cannot.
    virtual bool GoUp() = 0;
};

// Controls that take a file filter.
class IKivSupportsFilter
{
public:
    virtual ~IKivSupportsFilter() = default;
    virtual void SetFilter(const QString& pFilter) = 0;
};

// The base of the family's non-visual components.
class TKivBaseComponent
{
public:
    virtual ~TKivBaseComponent() = default;
    virtual bool Enabled() const { return fEnabled; }
    virtual void SetEnabled(bool pValue) { fEnabled = pValue; }
    // The class name, a blank and the family's version.
    QString Version() const;
    virtual QString ClassName() const = 0;

protected:
    bool fEnabled = true;
};

class TKivShellLink final
    : public TKivBaseComponent
    , public IKivShellHistory
{
public:
    using TItemIdListEvent =
        std::function<void(TKivShellLink& pSender, const IItemIdListPtr& pItemIdList)>;
    // pSender: the control that navigates (null when the application does).
    using TNavigationPendingEvent = std::function<void(
        IKivShellControl* pSender, const IItemIdListPtr& pFolder, bool& pCancel)>;

    // The folder changed (also fired when a navigation found the folder current already).
    TItemIdListEvent OnChange;
    // The selected file changed.
    TItemIdListEvent OnSelectionChanged;
    // Asked before a navigation; setting pCancel stops it.
    TNavigationPendingEvent OnNavigating;

    TKivShellLink();
    ~TKivShellLink() override;
    TKivShellLink(const TKivShellLink&) = delete;
    TKivShellLink& operator=(const TKivShellLink&) = delete;

    QString ClassName() const override { return QStringLiteral("TKivShellLink"); }

    void RegisterShellControl(IKivShellControl* pControl);
    void UnregisterShellControl(IKivShellControl* pControl);
    const std::vector<IKivShellControl*>& ShellControls() const { return fKivShellControlList; }

    // What a control (pSender) or the application (null) reports; passed to every other control.
    void PathChanged(IKivShellControl* pSender, const IItemIdListPtr& pList);
    void FileChanged(IKivShellControl* pSender, const IItemIdListPtr& pFolderList,
                     const IItemIdListPtr& pFileList);
    void FilterChanged(IKivShellControl* pSender, const QString& pFilter);
    void SelectAll(IKivShellControl* pSender);
    void SelectAll() { SelectAll(nullptr); }
    void Refresh(IKivShellControl* pSender, TRefreshLevel pRefreshLevel,
                 const IItemIdListPtr& pList);
    void Refresh(TRefreshLevel pRefreshLevel) { Refresh(nullptr, pRefreshLevel, nullptr); }
    void GoUp(IKivShellControl* pSender);
    void GoUp() { GoUp(nullptr); }
    // Asks OnNavigating (once per folder in a row) whether pList may be shown.
    bool CanNavigate(IKivShellControl* pSender, const IItemIdListPtr& pList);

    // ---- history ----
    IItemIdListPtr GetCurrentItemIDList() const override;
    int GetCount() const override;
    int GetPosition() const override;
    // A negative position is ignored.
    void SetPosition(int pPosition) override;
    // Skipped while a back or forward move is in progress.
    void Add(const IItemIdListPtr& pList) override;
    // Empties the history but keeps its current entry.
    void Clear() override;
    bool IsMovePossible(int pDelta) const override;
    void MoveBack(std::uint8_t pSteps) override;
    void MoveForward(std::uint8_t pSteps) override;
    const IKivShellHistoryPtr& History() const { return fHistory; }

    IItemIdListPtr CurrentFolderItemIdList() const { return fCurrentFolderItemIdList; }
    IItemIdListPtr CurrentFileItemIdList() const { return fCurrentFileItemIdList; }

    TKivSelectionList& SelectionList() const { return *fSelectionList; }
    // Replaces (and frees) the selection list; null puts a new empty one in its place.
    void SetSelectionList(std::unique_ptr<TKivSelectionList> pList);
    bool ShowParentFolderItem() const { return fShowParentFolderItem; }
    void SetShowParentFolderItem(bool pValue) { fShowParentFolderItem = pValue; }

private:
    class TDisabled;
    // The registered controls but pSender, each still registered when its turn comes.
    template <typename F> void ForOthers(IKivShellControl* pSender, F&& pCall);
    void Move(int pDirection, std::uint8_t pSteps);

    std::vector<IKivShellControl*> fKivShellControlList;
    std::unique_ptr<TKivSelectionList> fSelectionList;
    bool fShowParentFolderItem = true;
    IItemIdListPtr fCurrentFileItemIdList;
    IItemIdListPtr fCurrentFolderItemIdList;
    IItemIdListPtr fLastCheckedFolder;
    bool fLastAccessCheckResult = false;
    IKivShellHistoryPtr fHistory;
    bool fIsMoving = false;
};

} // namespace kiv

#include "KivShellLink.h"

#include "core/selection/KivSelectionList.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivVersion.h"

#include <algorithm>
#include <mutex>

namespace kiv {

QString TKivBaseComponent::Version() const
{
    return ComponentVersion(ClassName());
}

// Switches the link off while it passes a change on, so that controls reacting with changes of
// their own are not answered with a second round; restored also when a control raises.
class TKivShellLink::TDisabled
{
public:
    explicit TDisabled(TKivShellLink& pLink)
        : fLink(pLink)
        , fWas(pLink.fEnabled)
    {
        fLink.fEnabled = false;
    }
    ~TDisabled() { fLink.fEnabled = fWas; }
    TDisabled(const TDisabled&) = delete;
    TDisabled& operator=(const TDisabled&) = delete;

private:
    TKivShellLink& fLink;
    bool fWas;
};

TKivShellLink::TKivShellLink()
    : fSelectionList(std::make_unique<TKivSelectionList>(this))
    , fHistory(TPidlHistory::Create())
{
}

TKivShellLink::~TKivShellLink()
{
    // Last to first; a control may unregister itself in SetShellLink.
    while (!fKivShellControlList.empty()) {
        IKivShellControl* control = fKivShellControlList.back();
        fKivShellControlList.pop_back();
        control->SetShellLink(nullptr);
    }
    fSelectionList.reset();
}

void TKivShellLink::RegisterShellControl(IKivShellControl* pControl)
{
    if (pControl && std::find(fKivShellControlList.begin(), fKivShellControlList.end(), pControl) ==
                        fKivShellControlList.end())
        fKivShellControlList.push_back(pControl);
}

void TKivShellLink::UnregisterShellControl(IKivShellControl* pControl)
{
    std::erase(fKivShellControlList, pControl);
}

template <typename F> void TKivShellLink::ForOthers(IKivShellControl* pSender, F&& pCall)
{
    // A copy: a control may register or unregister controls while it is called.
    const std::vector<IKivShellControl*> controls = fKivShellControlList;
    for (IKivShellControl* control : controls) {
        if (control == pSender ||
            std::find(fKivShellControlList.begin(), fKivShellControlList.end(), control) ==
                fKivShellControlList.end())
            continue;
        pCall(*control);
    }
}

void TKivShellLink::PathChanged(IKivShellControl* pSender, const IItemIdListPtr& pList)
{
    // A navigation to nothing has nowhere to take the other controls.
    if (!Enabled() || !pList || !CanNavigate(pSender, pList))
        return;
    {
        const TDisabled disabled(*this);
        if (!fCurrentFolderItemIdList ||
            !fCurrentFolderItemIdList->Equals(pList, TItemIdListComparison::ilcExact)) {
            fCurrentFolderItemIdList = pList;
            fCurrentFileItemIdList.reset();
            if (!fIsMoving)
                fHistory->Add(pList);
            ForOthers(pSender, [&](IKivShellControl& pControl) { pControl.ChangeFolder(pList); });
        }
    }
    if (OnChange)
        OnChange(*this, fCurrentFolderItemIdList);
}

void TKivShellLink::FileChanged(IKivShellControl* pSender, const IItemIdListPtr& pFolderList,
                                const IItemIdListPtr& pFileList)
{
    if (!Enabled())
        return;
    const IItemIdListPtr full =
        pFolderList && pFileList ? pFolderList->Concat(pFileList) : IItemIdListPtr();
    const TDisabled disabled(*this);
    const bool changed =
        fCurrentFileItemIdList
            ? !fCurrentFileItemIdList->Equals(full, TItemIdListComparison::ilcDisplay)
            : full != nullptr;
    if (!changed)
        return;
    fCurrentFileItemIdList = full;
    ForOthers(pSender,
              [&](IKivShellControl& pControl) { pControl.SelectFile(pFolderList, pFileList); });
    if (OnSelectionChanged)
        OnSelectionChanged(*this, fCurrentFileItemIdList);
}

void TKivShellLink::FilterChanged(IKivShellControl* pSender, const QString& pFilter)
{
    const TDisabled disabled(*this);
    ForOthers(pSender, [&](IKivShellControl& pControl) {
        if (auto* filtered = dynamic_cast<IKivSupportsFilter*>(&pControl))
            filtered->SetFilter(pFilter);
    });
}

void TKivShellLink::SelectAll(IKivShellControl* pSender)
{
    if (Enabled())
        ForOthers(pSender, [](IKivShellControl& pControl) { pControl.SelectAll(); });
}

void TKivShellLink::Refresh(IKivShellControl* pSender, TRefreshLevel pRefreshLevel,
                            const IItemIdListPtr& pList)
{
    if (Enabled())
        ForOthers(pSender,
                  [&](IKivShellControl& pControl) { pControl.Refresh(pRefreshLevel, pList); });
}

void TKivShellLink::GoUp(IKivShellControl* pSender)
{
    if (!Enabled())
        return;
    const std::vector<IKivShellControl*> controls = fKivShellControlList;
    for (IKivShellControl* control : controls) {
        if (control != pSender && control->GoUp())
            return;
    }
    if (pSender)
        pSender->GoUp();
}

bool TKivShellLink::CanNavigate(IKivShellControl* pSender, const IItemIdListPtr& pList)
{
    if (!OnNavigating)
        return true;
    if (fLastCheckedFolder && pList &&
        fLastCheckedFolder->Equals(pList, TItemIdListComparison::ilcDisplay))
        return fLastAccessCheckResult;
    bool cancel = false;
    OnNavigating(pSender, pList, cancel);
    fLastCheckedFolder = pList;
    fLastAccessCheckResult = !cancel;
    return fLastAccessCheckResult;
}

// ---- history ----------------------------------------------------------------------------------

IItemIdListPtr TKivShellLink::GetCurrentItemIDList() const
{
    return fHistory->GetCurrentItemIDList();
}

int TKivShellLink::GetCount() const
{
    return fHistory->GetCount();
}

int TKivShellLink::GetPosition() const
{
    return fHistory->GetPosition();
}

void TKivShellLink::SetPosition(int pPosition)
{
    if (pPosition >= 0)
        fHistory->SetPosition(pPosition);
}

void TKivShellLink::Add(const IItemIdListPtr& pList)
{
    if (!fIsMoving)
        fHistory->Add(pList);
}

void TKivShellLink::Clear()
{
    const IItemIdListPtr current = fHistory->GetCurrentItemIDList();
    fHistory->Clear();
    if (current)
        fHistory->Add(current);
}

bool TKivShellLink::IsMovePossible(int pDelta) const
{
    if (pDelta < 0 && fHistory->GetPosition() <= 0)
        return false;
    return fHistory->IsMovePossible(pDelta);
}

void TKivShellLink::MoveBack(std::uint8_t pSteps)
{
    Move(-1, pSteps);
}

void TKivShellLink::MoveForward(std::uint8_t pSteps)
{
    Move(1, pSteps);
}

void TKivShellLink::Move(int pDirection, std::uint8_t pSteps)
{
    if (!IsMovePossible(pDirection))
        return;
    const int before = fHistory->GetPosition();
    struct TMoving
    {
        bool& fFlag;
        ~TMoving() { fFlag = false; }
    } moving{fIsMoving};
    fIsMoving = true;
    if (pDirection < 0)
        fHistory->MoveBack(pSteps);
    else
        fHistory->MoveForward(pSteps);
    const IItemIdListPtr target = fHistory->GetCurrentItemIDList();
    PathChanged(nullptr, target);
    // A move the application vetoed leaves the history where the controls still are.
    if (target && (!fCurrentFolderItemIdList ||
                   !fCurrentFolderItemIdList->Equals(target, TItemIdListComparison::ilcExact)))
        fHistory->SetPosition(before);
}

void TKivShellLink::SetSelectionList(std::unique_ptr<TKivSelectionList> pList)
{
    fSelectionList = pList ? std::move(pList) : std::make_unique<TKivSelectionList>(this);
    fSelectionList->SetParent(this);
}

// ---- custom icons -----------------------------------------------------------------------------

namespace {

struct TCustomIconState
{
    std::mutex fLock;
    TGetCustomIconForPathEvent fHandler; // guarded by fLock
    TCustomizeIconEventArgs fLastAnswer; // guarded by fLock
};

TCustomIconState& CustomIcons()
{
    static TCustomIconState state;
    return state;
}

} // namespace

void TGlobalCustomIconHandler::SetOnGetCustomIconForPath(TGetCustomIconForPathEvent pEventHandler)
{
    TCustomIconState& state = CustomIcons();
    const std::scoped_lock lock(state.fLock);
    state.fHandler = std::move(pEventHandler);
}

bool TGlobalCustomIconHandler::HasCustomization(const IKivShellControl* pSender,
                                                const QString& pPath)
{
    TCustomIconState& state = CustomIcons();
    TGetCustomIconForPathEvent handler;
    {
        const std::scoped_lock lock(state.fLock);
        state.fLastAnswer = TCustomizeIconEventArgs{};
        handler = state.fHandler;
    }
    if (!handler)
        return false;
    TCustomizeIconEventArgs answer;
    handler(pSender, pPath, answer);
    const std::scoped_lock lock(state.fLock);
    state.fLastAnswer = answer;
    return answer.fCustomized;
}

TCustomizeIconEventArgs TGlobalCustomIconHandler::GetCustomization()
{
    TCustomIconState& state = CustomIcons();
    const std::scoped_lock lock(state.fLock);
    return state.fLastAnswer;
}

} // namespace kiv

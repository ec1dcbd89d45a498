#include "MemoryDragDrop.h"

#include "core/platform/NullDropTargetHelper.h"

#include <utility>

namespace kiv::pf::mem {

namespace {

class TNullDragSourceHelper final : public IDragSourceHelper
{
public:
    HResult SetFlags(std::uint32_t) override { return S_OK; }
    HResult InitializeFromWindow(WindowRef, QPoint, const IDataObjectPtr&) override { return S_OK; }
    HResult InitializeFromBitmap(const QImage&, QPoint, const IDataObjectPtr&) override
    {
        return S_OK;
    }
};

} // namespace

HResult TMemoryDragDrop::Register(WindowRef pWindow, const IDropTargetPtr& pTarget)
{
    if (!pWindow)
        return DRAGDROP_E_INVALIDHWND;
    if (!pTarget)
        return E_INVALIDARG;
    return fTargets.try_emplace(pWindow, pTarget).second ? S_OK : DRAGDROP_E_ALREADYREGISTERED;
}

HResult TMemoryDragDrop::Revoke(WindowRef pWindow)
{
    return fTargets.erase(pWindow) ? S_OK : DRAGDROP_E_NOTREGISTERED;
}

HResult TMemoryDragDrop::CreateDropTargetHelper(IDropTargetHelperPtr& pHelper)
{
    pHelper.reset();
    if (Failed(fTargetHelperFailure))
        return fTargetHelperFailure;
    pHelper = std::make_shared<TNullDropTargetHelper>();
    return S_OK;
}

HResult TMemoryDragDrop::CreateDragSourceHelper(IDragSourceHelperPtr& pHelper)
{
    pHelper = std::make_shared<TNullDragSourceHelper>();
    return S_OK;
}

IDropTargetPtr TMemoryDragDrop::Target(WindowRef pWindow) const
{
    const auto found = fTargets.find(pWindow);
    return found == fTargets.end() ? nullptr : found->second;
}

void TMemoryDragDrop::ScriptDrag(std::vector<TStep> pSteps, WindowRef pDropWindow, QPoint pPoint)
{
    fSteps = std::move(pSteps);
    fDropWindow = pDropWindow;
    fPoint = pPoint;
}

HResult TMemoryDragDrop::DoDragDrop(WindowRef, const IDataObjectPtr& pData,
                                    const IDropSourcePtr& pSource, std::uint32_t pOkEffects,
                                    std::uint32_t& pEffect)
{
    pEffect = DROPEFFECT_NONE;
    if (!pData || !pSource || (pOkEffects & DROPEFFECT_ALL) == 0)
        return E_INVALIDARG;
    ++fDrags;
    // A target that refuses the enter gets nothing more of this drag.
    IDropTargetPtr target = Target(fDropWindow);
    bool entered = false;
    std::uint32_t effect = DROPEFFECT_NONE;
    for (const TStep& step : fSteps) {
        const HResult answer = pSource->QueryContinueDrag(step.Escape, step.KeyState);
        if (answer == DRAGDROP_S_DROP) {
            // As with a real loop: a target that last answered no effect sees a leave.
            if (entered && effect != DROPEFFECT_NONE) {
                effect = pOkEffects;
                if (Failed(target->Drop(pData, step.KeyState & ~mk::BUTTONS, fPoint, effect)))
                    effect = DROPEFFECT_NONE;
                pEffect = effect & pOkEffects;
            } else if (entered) {
                target->DragLeave();
            }
            return DRAGDROP_S_DROP;
        }
        if (answer != S_OK)
            break;
        if (target) {
            effect = pOkEffects;
            HResult result = S_OK;
            if (entered) {
                result = target->DragOver(step.KeyState, fPoint, effect);
            } else {
                result = target->DragEnter(pData, step.KeyState, fPoint, effect);
                entered = Succeeded(result);
                if (!entered)
                    target.reset();
            }
            effect = Succeeded(result) ? effect & pOkEffects : DROPEFFECT_NONE;
        }
        pSource->GiveFeedback(effect);
    }
    if (entered)
        target->DragLeave();
    return DRAGDROP_S_CANCEL;
}

} // namespace kiv::pf::mem

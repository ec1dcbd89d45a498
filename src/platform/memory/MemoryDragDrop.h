#pragma once

#include "core/platform/IDragDrop.h"

#include <map>
#include <vector>

namespace kiv::pf::mem {

// Drag and drop without windows: WindowRef is any non-null value the test picks. Registrations
// are kept in a table the test reads (Target) to make the drops itself; the drag loop plays a
// scripted sequence of key states to the drop source and, when the script names a window,
// drives that window's target as the pointer would. Helpers succeed, or fail on request.
// One thread, like the real service.
class TMemoryDragDrop final : public IDragDrop
{
public:
    // One step of the drag loop: what the keyboard and the mouse buttons are doing.
    struct TStep
    {
        std::uint32_t KeyState = mk::LBUTTON;
        bool Escape = false;
    };

    HResult Register(WindowRef pWindow, const IDropTargetPtr& pTarget) override;
    HResult Revoke(WindowRef pWindow) override;
    HResult CreateDropTargetHelper(IDropTargetHelperPtr& pHelper) override;
    HResult CreateDragSourceHelper(IDragSourceHelperPtr& pHelper) override;
    // Asks the source about each step of the script in turn (an exhausted script cancels). While
    // the source goes on, the drop window's target gets an enter and then overs, and the source
    // the effect they answer; a drop ends with the target's Drop, a cancel with its DragLeave.
    HResult DoDragDrop(WindowRef pWindow, const IDataObjectPtr& pData,
                       const IDropSourcePtr& pSource, std::uint32_t pOkEffects,
                       std::uint32_t& pEffect) override;
    TDragMetrics GetDragMetrics() override { return {}; }

    // The target registered for pWindow, or null.
    IDropTargetPtr Target(WindowRef pWindow) const;
    // Creating a drop-target helper fails with this result while it is a failure.
    void SetTargetHelperFailure(HResult pFailure) { fTargetHelperFailure = pFailure; }
    // The next drag loops play pSteps over pDropWindow (null: over no window) at pPoint.
    void ScriptDrag(std::vector<TStep> pSteps, WindowRef pDropWindow = nullptr, QPoint pPoint = {});
    // How many drag loops ran.
    int Drags() const { return fDrags; }

private:
    std::map<WindowRef, IDropTargetPtr> fTargets;
    HResult fTargetHelperFailure = S_OK;
    std::vector<TStep> fSteps;
    WindowRef fDropWindow = nullptr;
    QPoint fPoint;
    int fDrags = 0;
};

} // namespace kiv::pf::mem

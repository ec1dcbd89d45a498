#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IDataObject.h"
#include "core/platform/WindowRef.h"

#include <QImage>
#include <QPoint>

#include <cstdint>
#include <memory>

// Drag and drop between windows, of this program and of others. A window that accepts drops
// registers a drop target; a control that starts drags runs the drag loop with a drop source
// that decides when the drag ends. What travels is a data object (IDataObject.h), the same as
// on the clipboard.
//
// Everything here belongs to the user-interface thread: registration, the drag loop and every
// call a target or a source receives.

namespace kiv::pf {

inline constexpr HResult DRAGDROP_S_DROP = MakeHResult(0x00040100u);
inline constexpr HResult DRAGDROP_S_CANCEL = MakeHResult(0x00040101u);
inline constexpr HResult DRAGDROP_S_USEDEFAULTCURSORS = MakeHResult(0x00040102u);
inline constexpr HResult DRAGDROP_E_NOTREGISTERED = MakeHResult(0x80040100u);
// DRAGDROP_E_ALREADYREGISTERED is in HResult.h.
inline constexpr HResult DRAGDROP_E_INVALIDHWND = MakeHResult(0x80040102u);

// The key state of a drag: mouse buttons held and modifier keys, as bits.
namespace mk {
inline constexpr std::uint32_t LBUTTON = 0x1;
inline constexpr std::uint32_t RBUTTON = 0x2;
inline constexpr std::uint32_t SHIFT = 0x4;
inline constexpr std::uint32_t CONTROL = 0x8;
inline constexpr std::uint32_t MBUTTON = 0x10;
inline constexpr std::uint32_t ALT = 0x20;
inline constexpr std::uint32_t BUTTONS = LBUTTON | RBUTTON | MBUTTON;
} // namespace mk

// Every drop effect at once (what a source offers when it allows copy, move and link).
inline constexpr std::uint32_t DROPEFFECT_ALL = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

// A window's side of a drop. Points are screen coordinates (the toolkit's, device-independent
// pixels). pEffect comes in as the effects the source allows and goes out as the one the target
// would perform (DROPEFFECT_NONE: no drop here). A failed enter refuses the whole drag: the
// target then gets no further call for it. A drag ends with either DragLeave or Drop, never
// both; Drop follows only an enter or over that answered an effect.
class IDropTarget
{
public:
    virtual ~IDropTarget() = default;
    virtual HResult DragEnter(const IDataObjectPtr& pData, std::uint32_t pKeyState, QPoint pPoint,
                              std::uint32_t& pEffect) = 0;
    virtual HResult DragOver(std::uint32_t pKeyState, QPoint pPoint, std::uint32_t& pEffect) = 0;
    virtual HResult DragLeave() = 0;
    // pKeyState no longer holds the button that was released to drop.
    virtual HResult Drop(const IDataObjectPtr& pData, std::uint32_t pKeyState, QPoint pPoint,
                         std::uint32_t& pEffect) = 0;
};

// The side of a drag that decides when it ends and how it looks.
class IDropSource
{
public:
    virtual ~IDropSource() = default;
    // S_OK to go on, DRAGDROP_S_DROP to drop where the pointer is, DRAGDROP_S_CANCEL to stop.
    virtual HResult QueryContinueDrag(bool pEscapePressed, std::uint32_t pKeyState) = 0;
    // The effect over the current target changed; DRAGDROP_S_USEDEFAULTCURSORS lets the platform
    // show its cursors.
    virtual HResult GiveFeedback(std::uint32_t pEffect) = 0;
};

// Draws the drag picture over a drop target's window while a drag crosses it. Targets pass
// their calls on to it.
class IDropTargetHelper
{
public:
    virtual ~IDropTargetHelper() = default;
    virtual HResult DragEnter(WindowRef pWindow, const IDataObjectPtr& pData, QPoint pPoint,
                              std::uint32_t pEffect) = 0;
    virtual HResult DragOver(QPoint pPoint, std::uint32_t pEffect) = 0;
    virtual HResult DragLeave() = 0;
    virtual HResult Drop(const IDataObjectPtr& pData, QPoint pPoint, std::uint32_t pEffect) = 0;
    virtual HResult Show(bool pShow) = 0;
};

// Gives a data object the picture that follows the pointer when it is dragged.
class IDragSourceHelper
{
public:
    virtual ~IDragSourceHelper() = default;
    // DSH_* bits (DSH_ALLOWDROPDESCRIPTIONTEXT = 1); hosts without drop descriptions ignore them.
    virtual HResult SetFlags(std::uint32_t pFlags) = 0;
    // The picture made from what pData carries (the icons of its items), as pWindow would show
    // them; pPoint is where the drag started, in screen coordinates.
    virtual HResult InitializeFromWindow(WindowRef pWindow, QPoint pPoint,
                                         const IDataObjectPtr& pData) = 0;
    // A picture the caller drew; pHotSpot is the pointer's place in it.
    virtual HResult InitializeFromBitmap(const QImage& pImage, QPoint pHotSpot,
                                         const IDataObjectPtr& pData) = 0;
};

inline constexpr std::uint32_t DSH_ALLOWDROPDESCRIPTIONTEXT = 0x1;

using IDropTargetPtr = std::shared_ptr<IDropTarget>;
using IDropSourcePtr = std::shared_ptr<IDropSource>;
using IDropTargetHelperPtr = std::shared_ptr<IDropTargetHelper>;
using IDragSourceHelperPtr = std::shared_ptr<IDragSourceHelper>;

// How far the pointer must move from the press, on each axis, before a drag starts.
struct TDragMetrics
{
    int Dx = 4;
    int Dy = 4;
};

// The drag-and-drop service (IPlatform::DragDrop()).
class IDragDrop
{
public:
    virtual ~IDragDrop() = default;
    // Makes pWindow a drop target. The registration holds pTarget until Revoke or until the
    // window is destroyed. DRAGDROP_E_ALREADYREGISTERED when pWindow has a target already (the
    // old one stays), DRAGDROP_E_INVALIDHWND for no window, E_INVALIDARG for no target.
    virtual HResult Register(WindowRef pWindow, const IDropTargetPtr& pTarget) = 0;
    // DRAGDROP_E_NOTREGISTERED when pWindow has no target.
    virtual HResult Revoke(WindowRef pWindow) = 0;
    virtual HResult CreateDropTargetHelper(IDropTargetHelperPtr& pHelper) = 0;
    virtual HResult CreateDragSourceHelper(IDragSourceHelperPtr& pHelper) = 0;
    // Runs the drag loop until the drag ends: DRAGDROP_S_DROP with the effect the target
    // performed (which may be DROPEFFECT_NONE), or DRAGDROP_S_CANCEL with DROPEFFECT_NONE.
    // pOkEffects are the effects the source allows. pWindow is the window the drag starts from.
    virtual HResult DoDragDrop(WindowRef pWindow, const IDataObjectPtr& pData,
                               const IDropSourcePtr& pSource, std::uint32_t pOkEffects,
                               std::uint32_t& pEffect) = 0;
    virtual TDragMetrics GetDragMetrics() = 0;
};

} // namespace kiv::pf

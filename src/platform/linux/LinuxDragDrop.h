#pragma once

#include "core/platform/IDragDrop.h"

#include <memory>

class QWidget;

// Drag and drop through Qt Widgets. A WindowRef here is the QWidget* of the window (the widget
// that receives the drops, usually a view's viewport), passed as `const void*`; WindowRefOf
// makes one. This part of the Linux layer links Qt Widgets, which the rest does not: the
// application creates the service and hands it to the platform (lnx::SetDragDrop).
//
// Drop targets: registering a widget turns its drops on and filters its drag events into
// IDropTarget calls (modifier keys and buttons become mk:: bits, Qt's drop actions the drop
// effects, whose bits happen to be the same). Drops from other programs arrive as MIME data and
// are read like the clipboard (LinuxClipboard.h); URIs of remote places mounted by the desktop's
// virtual file system become their local FUSE paths (GvfsUris.h), others are skipped. A drag this
// program started hands its own data object to the target, not a copy.
//
// The drag loop is Qt's (QDrag::exec), which applies the usual rules itself: releasing the
// button drops, Escape cancels. Qt does not ask the drop source on each step, so
// IDropSource::QueryContinueDrag is not called; GiveFeedback is called when the effect over the
// target changes. Qt cannot tell a drop that nobody took from a cancelled drag: both answer
// DRAGDROP_S_CANCEL.
//
// Right-button drags: Qt has no notion of them, but its loop runs with any button held and drops
// when it is released. While a drag of this program that the right button started is over one of
// its own targets, the targets see mk::RBUTTON in the key state, so they can offer their menu on
// the drop. Drags of other programs are always left-button drags here.
//
// User-interface thread only; the service revokes every registration left when it goes.

namespace kiv::pf::lnx {

inline WindowRef WindowRefOf(const QWidget* pWidget)
{
    return pWidget;
}

std::unique_ptr<IDragDrop> CreateWidgetDragDrop();

} // namespace kiv::pf::lnx

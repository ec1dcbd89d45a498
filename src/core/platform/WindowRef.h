#pragma once

// The owner window of a prompt, opaque to the core: the user interface hands in its window (a
// QWidget* on this host) and gets it back unchanged; the in-memory platform uses any number.
// Null means "no window": prompts are suppressed or shown without an owner.
//
// Note: IShellFolder.h, IFileOperation.h (and IDragDrop.h, where present) declare the same alias;
// repeating an identical alias is allowed, and all of them should include this header instead.

namespace kiv::pf {

using WindowRef = const void*;

} // namespace kiv::pf

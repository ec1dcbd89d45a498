#pragma once

namespace kiv::pf {

// The window on whose behalf a call runs, or into which a component draws (the owner of a
// prompt); null means "no window": prompts are suppressed or shown without an owner. Opaque to
// the core: the Qt implementations read it as a QWidget*, the in-memory platform as any number.
using WindowRef = const void*;

} // namespace kiv::pf

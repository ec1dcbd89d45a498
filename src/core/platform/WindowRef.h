#pragma once

namespace kiv::pf {

// The window on whose behalf a call runs, or into which a component draws; null = no window (no
// prompts are shown). Opaque to the core: the Qt implementations read it as a QWidget*, the
// in-memory platform as a number. Several headers repeat this alias; they all name the same type.
using WindowRef = const void*;

} // namespace kiv::pf

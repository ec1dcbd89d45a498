#pragma once

// The dots per inch that control sizes are scaled by. Core cannot ask the screen itself (that is
// the windowing toolkit's business): the user-interface layer tells it the screen's value at
// start-up and whenever it changes, and the value of the monitor of the active window while
// there is one. Until told, both are 96, the reference every default pixel size is given at.
//
// Process-wide; any thread may read and set the values (they are atomics).

namespace kiv {

class TScreenScale
{
public:
    TScreenScale() = delete;

    // The reference resolution of every default size in pixels.
    static constexpr int kReferencePpi = 96;

    // The screen's dots per inch (the primary screen's logical value).
    static int ScreenPpi() noexcept;
    // Values below 1 restore the reference.
    static void SetScreenPpi(int pPpi) noexcept;
    // The dots per inch of the monitor showing the active window; 0 when no window is active.
    static int ActiveFormPpi() noexcept;
    static void SetActiveFormPpi(int pPpi) noexcept;

    // pPixels at the active window's resolution (the screen's when no window is active), but
    // never less than pPixels: pPixels * ppi / 96, rounded.
    static int ScaledPixels(int pPixels) noexcept;

    // pNumber * pNumerator / pDenominator rounded half away from zero, computed in 64 bits; -1
    // when pDenominator is 0 or the result does not fit an int.
    static int MulDiv(int pNumber, int pNumerator, int pDenominator) noexcept;
};

} // namespace kiv

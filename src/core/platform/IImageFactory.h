#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IdList.h"

#include <QImage>
#include <QSize>

#include <cstdint>

namespace kiv {
class ICancellationIndicator;
}

namespace kiv::pf {

// What GetImage may answer besides a picture.
namespace siigbf {
// The picture scaled down to fit the requested size, keeping its aspect ratio (never enlarged).
inline constexpr std::uint32_t RESIZETOFIT = 0x0;
// Only the item's icon, at the requested size.
inline constexpr std::uint32_t ICONONLY = 0x4;
// Only a thumbnail of the content: fails for items that have none instead of answering an icon.
inline constexpr std::uint32_t THUMBNAILONLY = 0x8;
// Only what the thumbnail cache already holds: nothing is generated, so the call is cheap and
// never reads more of the item than its time stamp.
inline constexpr std::uint32_t INCACHEONLY = 0x10;
} // namespace siigbf

// Failures of the thumbnail machinery (the codes of the WTS_E family, the same on every host).
// WTS_E_EXTRACTIONPENDING (HResult.h): another thread is generating this item's thumbnail; ask
// again a little later.
// Nothing could be made of the item: no generator for its type, a damaged file, a folder, or
// (with INCACHEONLY) nothing in the cache.
inline constexpr HResult WTS_E_FAILEDEXTRACTION = MakeHResult(0x8004B200u);
// The generator did not finish within its time.
inline constexpr HResult WTS_E_EXTRACTIONTIMEDOUT = MakeHResult(0x8004B201u);
// The item is not thumbnailed by policy (a large file on a network mount).
inline constexpr HResult WTS_E_EXTRACTIONBLOCKED = MakeHResult(0x8004B206u);

// The thumbnails of items: from the platform's thumbnail cache, or generated from the item's
// content and then kept in that cache. Thread-safe; generating reads the item (perhaps from a
// network mount) and may run a helper program, so calls without INCACHEONLY belong on worker
// threads. Nothing here raises.
class IImageFactory
{
public:
    virtual ~IImageFactory() = default;

    // The picture of the item named by pAbsolute at pSize (width and height, each at least 1),
    // with siigbf:: flags. S_OK with pImage set, or a failure with pImage null:
    // WTS_E_EXTRACTIONPENDING while another thread generates the same item, WTS_E_FAILEDEXTRACTION,
    // WTS_E_EXTRACTIONTIMEDOUT, WTS_E_EXTRACTIONBLOCKED, E_OUTOFMEMORY, or a system error of the
    // item (2 file not found). A thumbnail is at most pSize; it is smaller when the content's
    // aspect ratio differs or the content itself is smaller. pCancel, when given, is polled while
    // a generator runs; a cancelled call fails with HResultFromWin32(ERROR_CANCELLED).
    virtual HResult GetImage(IdSpan pAbsolute, QSize pSize, std::uint32_t pFlags, QImage& pImage,
                             const ICancellationIndicator* pCancel = nullptr) = 0;
};

} // namespace kiv::pf

#pragma once

#include "core/platform/IImageFactory.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace kiv::pf::mem {

class TMemoryPlatform;

// The image factory of the in-memory platform: answers from a script the test sets (the same for
// every item of the namespace) and records every call, so tests of the thumbnail rules decide
// exactly what the platform says and when. Items that do not resolve fail with "file not found".
// Pictures are one colour per source, so a test can tell where a result came from. Thread-safe;
// set the script while no other thread calls.
class TMemoryImageFactory final : public IImageFactory
{
public:
    // One-colour pictures of each source.
    static constexpr QRgb kThumbnailColour = 0xFFC00000;
    static constexpr QRgb kCachedColour = 0xFF00C000;
    static constexpr QRgb kIconColour = 0xFF0000C0;

    struct TCall
    {
        QSize Size;
        std::uint32_t Flags = 0;
    };

    explicit TMemoryImageFactory(TMemoryPlatform& pOwner);

    HResult GetImage(IdSpan pAbsolute, QSize pSize, std::uint32_t pFlags, QImage& pImage,
                     const ICancellationIndicator* pCancel = nullptr) override;

    // Generating (THUMBNAILONLY without INCACHEONLY) answers WTS_E_EXTRACTIONPENDING for the next
    // pCount calls, then pFailure when it is a failure, else the thumbnail.
    void SetPending(int pCount);
    void SetThumbnailFailure(HResult pFailure);
    // The generated picture as it is, whatever the size asked; null (the default): a picture of
    // exactly the size asked.
    void SetThumbnail(QImage pImage);
    // What the cache answers (INCACHEONLY); null (the default): nothing is cached.
    void SetCached(QImage pImage);
    // ICONONLY answers a picture of the size asked unless pFailure is a failure.
    void SetIconFailure(HResult pFailure);

    std::vector<TCall> Calls() const;
    // Called at the start of every GetImage, outside the factory's lock (a test cancels there).
    std::function<void(const TCall& pCall)> OnGetImage;

private:
    static QImage Filled(QSize pSize, QRgb pColour);

    TMemoryPlatform& fOwner;
    mutable std::mutex fLock;
    int fPending = 0;            // guarded by fLock
    HResult fThumbnailFailure{}; // guarded by fLock
    HResult fIconFailure{};      // guarded by fLock
    QImage fThumbnail;           // guarded by fLock
    QImage fCached;              // guarded by fLock
    std::vector<TCall> fCalls;   // guarded by fLock
};

} // namespace kiv::pf::mem

#include "MemoryImageFactory.h"

#include "MemoryPlatform.h"

namespace kiv::pf::mem {

TMemoryImageFactory::TMemoryImageFactory(TMemoryPlatform& pOwner)
    : fOwner(pOwner)
{
}

HResult TMemoryImageFactory::GetImage(IdSpan pAbsolute, QSize pSize, std::uint32_t pFlags,
                                      QImage& pImage, const ICancellationIndicator* /*pCancel*/)
{
    pImage = QImage();
    const TCall call{pSize, pFlags};
    if (OnGetImage)
        OnGetImage(call);
    if (!fOwner.NodeOf(pAbsolute))
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    if (pSize.width() < 1 || pSize.height() < 1)
        return E_INVALIDARG;

    std::lock_guard lock(fLock);
    fCalls.push_back(call);
    if ((pFlags & siigbf::ICONONLY) != 0) {
        if (Failed(fIconFailure))
            return fIconFailure;
        pImage = Filled(pSize, kIconColour);
        return S_OK;
    }
    if ((pFlags & siigbf::INCACHEONLY) != 0) {
        if (fCached.isNull())
            return WTS_E_FAILEDEXTRACTION;
        pImage = fCached;
        return S_OK;
    }
    if (fPending > 0) {
        --fPending;
        return WTS_E_EXTRACTIONPENDING;
    }
    if (Failed(fThumbnailFailure))
        return fThumbnailFailure;
    pImage = fThumbnail.isNull() ? Filled(pSize, kThumbnailColour) : fThumbnail;
    return S_OK;
}

void TMemoryImageFactory::SetPending(int pCount)
{
    std::lock_guard lock(fLock);
    fPending = pCount;
}

void TMemoryImageFactory::SetThumbnailFailure(HResult pFailure)
{
    std::lock_guard lock(fLock);
    fThumbnailFailure = pFailure;
}

void TMemoryImageFactory::SetThumbnail(QImage pImage)
{
    std::lock_guard lock(fLock);
    fThumbnail = std::move(pImage);
}

void TMemoryImageFactory::SetCached(QImage pImage)
{
    std::lock_guard lock(fLock);
    fCached = std::move(pImage);
}

void TMemoryImageFactory::SetIconFailure(HResult pFailure)
{
    std::lock_guard lock(fLock);
    fIconFailure = pFailure;
}

std::vector<TMemoryImageFactory::TCall> TMemoryImageFactory::Calls() const
{
    std::lock_guard lock(fLock);
    return fCalls;
}

QImage TMemoryImageFactory::Filled(QSize pSize, QRgb pColour)
{
    QImage image(pSize, QImage::Format_ARGB32);
    image.fill(pColour);
    return image;
}

} // namespace kiv::pf::mem

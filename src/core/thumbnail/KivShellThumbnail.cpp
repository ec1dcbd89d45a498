#include "KivShellThumbnail.h"

#include "JpegEncoder.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IIcons.h"
#include "core/platform/IImageFactory.h"
#include "core/platform/IInfo.h"
#include "core/platform/IPlatform.h"
#include "core/shell/DebugLog.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/threading/ThreadPool.h"
#include "core/threading/ThreadingHooks.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace kiv {
namespace {

constexpr int kDefaultSide = 200;
// The frame drawn around an icon that stands in for a thumbnail.
constexpr QRgb kIconFrameColour = 0xFFC0C0C0;
// Steps of the wait between "pending" answers, so that a cancellation ends it at once.
constexpr std::chrono::milliseconds kCancelPollStep{10};

struct TProvider
{
    std::mutex Lock;
    TOnThumbnailUnavailable Function; // guarded by Lock
};

TProvider& Provider()
{
    static TProvider provider;
    return provider;
}

TOnThumbnailUnavailable CurrentProvider()
{
    TProvider& provider = Provider();
    const std::lock_guard lock(provider.Lock);
    return provider.Function;
}

bool Cancelled(const ICancellationIndicator* pToken)
{
    return pToken && pToken->IsCancellationRequested();
}

// Waits pDelay on the background machinery's clock; true as soon as pToken asks to stop.
bool WaitUnlessCancelled(std::chrono::milliseconds pDelay, const ICancellationIndicator* pToken)
{
    const std::uint64_t end = threading::TickCount() + static_cast<std::uint64_t>(pDelay.count());
    for (;;) {
        if (Cancelled(pToken))
            return true;
        const std::uint64_t now = threading::TickCount();
        if (now >= end)
            return false;
        threading::Sleep(std::min(kCancelPollStep,
                                  std::chrono::milliseconds(static_cast<std::int64_t>(end - now))));
    }
}

// More than 1 % smaller than pWanted in both directions.
bool TooSmall(QSize pImage, QSize pWanted)
{
    return pImage.width() < pWanted.width() * 0.99 && pImage.height() < pWanted.height() * 0.99;
}

// More than 1 % larger than pWanted in either direction.
bool TooLarge(QSize pImage, QSize pWanted)
{
    return pImage.width() > pWanted.width() * 1.01 || pImage.height() > pWanted.height() * 1.01;
}

QString BoolText(bool pValue)
{
    return pValue ? QStringLiteral("True") : QStringLiteral("False");
}

// The outcome of asking the image factory.
enum class TFactoryOutcome
{
    foImage,     // pImage holds a picture (from the factory, or the provider)
    foNone,      // nothing; the icon may still be drawn
    foCancelled, // the caller asked to stop: nothing, at once
};

class TFactoryRequest
{
public:
    TFactoryRequest(pf::IImageFactory& pFactory, pf::IdSpan pItem, const IItemIdListPtr& pList,
                    const TThumbnailOptions& pOptions, QSize pSize,
                    const ICancellationIndicator* pToken)
        : fFactory(pFactory)
        , fItem(pItem)
        , fList(pList)
        , fOptions(pOptions)
        , fSize(pSize)
        , fToken(pToken)
    {
    }

    TFactoryOutcome Run(QImage& pImage)
    {
        pf::HResult result = fOptions.CachedOnly ? FromCache(pImage) : Generated(pImage);
        if (result == CancelledResult())
            return TFactoryOutcome::foCancelled;
        bool fromFactory = pf::Succeeded(result);
        if (!fromFactory) {
            if (result == pf::E_OUTOFMEMORY)
                EWayfoldError::Check(result);
            pImage = FallBack();
            if (pImage.isNull())
                return TFactoryOutcome::foNone;
            fromFactory = fFlags != 0;
        }
        if (fromFactory && TooLarge(pImage.size(), fSize))
            AskAgainSmaller(pImage);
        return TFactoryOutcome::foImage;
    }

private:
    static pf::HResult CancelledResult()
    {
        return pf::HResultFromWin32(pf::win32::ERROR_CANCELLED);
    }

    pf::HResult Ask(QSize pSize, std::uint32_t pFlags, QImage& pImage)
    {
        return fFactory.GetImage(fItem, pSize, pFlags, pImage, fToken);
    }

    pf::HResult FromCache(QImage& pImage)
    {
        fFlags = pf::siigbf::THUMBNAILONLY | pf::siigbf::INCACHEONLY;
        pf::HResult result = Ask(fSize, fFlags, pImage);
        // A cached picture much smaller than asked would show as a stamp in a large cell: better
        // none (the caller generates a proper one later).
        if (pf::Succeeded(result) && TooSmall(pImage.size(), fSize)) {
            pImage = QImage();
            result = pf::WTS_E_FAILEDEXTRACTION;
        }
        return result;
    }

    pf::HResult Generated(QImage& pImage)
    {
        fFlags = pf::siigbf::THUMBNAILONLY;
        pf::HResult result = Ask(fSize, fFlags, pImage);
        for (int retry = 0; result == pf::WTS_E_EXTRACTIONPENDING &&
                            retry < TKivThumbnailExtractor::kPendingRetries;
             ++retry) {
            if (WaitUnlessCancelled(TKivThumbnailExtractor::kPendingRetryDelay, fToken))
                return CancelledResult();
            result = Ask(fSize, fFlags, pImage);
        }
        if (Cancelled(fToken))
            return CancelledResult();
        if (pf::Succeeded(result)) {
            // The cache may hold a better picture than the one just made (made at the size of
            // its folder rather than at ours).
            QImage cached;
            const std::uint32_t cacheFlags = pf::siigbf::THUMBNAILONLY | pf::siigbf::INCACHEONLY;
            if (pf::Succeeded(Ask(fSize, cacheFlags, cached)) && !cached.isNull()) {
                pImage = cached;
                fFlags = cacheFlags;
            }
            return result;
        }
        if (result != pf::E_OUTOFMEMORY && result != CancelledResult())
            TDebugLog::LogMessage(
                QStringLiteral("ThumbnailFactory.GetImage for file %1 failed. hr: %2 (%3). "
                               "Flags: %4. IconInstead: %5")
                    .arg(fList->Path())
                    .arg(result)
                    .arg(pf::Platform().Info().SystemErrorText(static_cast<std::uint32_t>(result)))
                    .arg(pf::siigbf::THUMBNAILONLY)
                    .arg(BoolText(fOptions.IconInstead)));
        return result;
    }

    // After a failure: the application's provider, then the platform's icon.
    QImage FallBack()
    {
        QImage image;
        fFlags = 0;
        if (const TOnThumbnailUnavailable provider = CurrentProvider())
            provider(fList->Path(), fSize.width(), fSize.height(), image);
        if (!image.isNull() || !fOptions.IconInstead)
            return image;
        const int side = std::min(fSize.width(), fSize.height());
        if (pf::Succeeded(Ask(QSize(side, side), pf::siigbf::ICONONLY, image)))
            fFlags = pf::siigbf::ICONONLY;
        return image;
    }

    // A picture larger than asked is asked for again at the largest size of its shape that
    // fits (256 x 256 for 128 x 96 gives 96 x 96).
    void AskAgainSmaller(QImage& pImage)
    {
        const double scale = std::min(double(fSize.width()) / pImage.width(),
                                      double(fSize.height()) / pImage.height());
        const QSize smaller(std::max(1, int(std::lround(pImage.width() * scale))),
                            std::max(1, int(std::lround(pImage.height() * scale))));
        QImage again;
        if (pf::Succeeded(Ask(smaller, fFlags, again)) && !again.isNull())
            pImage = again;
    }

    pf::IImageFactory& fFactory;
    const pf::IdSpan fItem;
    const IItemIdListPtr& fList;
    const TThumbnailOptions& fOptions;
    const QSize fSize;
    const ICancellationIndicator* const fToken;
    std::uint32_t fFlags = 0; // of the call whose picture is kept; 0: the provider's
};

// The item's icon, centred on a plain bitmap of pSize with a thin grey frame. Drawn at the size
// of the largest standard icons, or smaller when the bitmap is smaller: an icon cut at the frame
// would show only its middle.
QImage DrawIcon(pf::IdSpan pItem, QSize pSize, const QColor& pBackground)
{
    pf::IIcons& icons = pf::Platform().Icons();
    const int index = icons.IconIndexOfIdList(pItem, false);
    if (index < 0)
        return {};
    const int jumbo = pf::shil::PixelsAt96Dpi(pf::shil::JUMBO);
    const int side = std::min({jumbo, pSize.width() - 2, pSize.height() - 2});
    QImage icon;
    if (side >= 1)
        icon = icons.Render(index, std::max(side, 16));
    if (!icon.isNull() && icon.width() > side)
        icon = icon.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);

    QImage bitmap(pSize, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(pBackground);
    QPainter painter(&bitmap);
    painter.setPen(QColor::fromRgb(kIconFrameColour));
    painter.drawRect(0, 0, pSize.width() - 1, pSize.height() - 1);
    if (!icon.isNull())
        painter.drawImage((pSize.width() - icon.width()) / 2, (pSize.height() - icon.height()) / 2,
                          icon);
    return bitmap;
}

} // namespace

QImage
TKivThumbnailExtractor::GetThumbnailBitmap(const IItemIdListPtr& pItemIdList,
                                           const TThumbnailOptions& pThumbnailOptions,
                                           const ICancellationIndicatorPtr& pCancellationToken)
{
    if (!pItemIdList || pItemIdList->IsInvalid())
        return {};
    QSize size = pThumbnailOptions.Size;
    if (size.width() < 1 || size.height() < 1)
        size = QSize(kDefaultSide, kDefaultSide);
    // Hold the bytes for the whole call: a rename may put a new buffer into the list meanwhile.
    const TIdListBuffer bytes = pItemIdList->WindowsPointer();
    if (!bytes)
        return {};
    const pf::IdSpan item(*bytes);

    // Legacy image extraction of older platforms is never offered here; the factory is the
    // only platform path.
    QImage image;
    if (pf::IImageFactory* factory = pf::Platform().ImageFactory()) {
        TFactoryRequest request(*factory, item, pItemIdList, pThumbnailOptions, size,
                                pCancellationToken.get());
        if (request.Run(image) == TFactoryOutcome::foCancelled)
            return {};
    }
    if (image.isNull() && pThumbnailOptions.IconInstead)
        image = DrawIcon(item, size, pThumbnailOptions.BackgroundColor);
    return image;
}

QImage TKivThumbnailExtractor::GetThumbnailBitmap(const IItemIdListPtr& pItemIdList, int pWidth,
                                                  int pHeight, bool pIconInstead,
                                                  const QColor& pBackgroundColor, bool pCachedOnly)
{
    TThumbnailOptions options;
    options.Size = QSize(pWidth, pHeight);
    options.IconInstead = pIconInstead;
    options.BackgroundColor = pBackgroundColor;
    options.CachedOnly = pCachedOnly;
    return GetThumbnailBitmap(pItemIdList, options);
}

bool TKivThumbnailExtractor::GetThumbnailAsImage(const IItemIdListPtr& pItemIdList,
                                                 IThumbnailImage& pImage)
{
    const QImage thumbnail = GetThumbnailBitmap(pItemIdList, pImage.Width(), pImage.Height(), false,
                                                QColor(Qt::white), false);
    if (thumbnail.isNull())
        return false;
    pImage.SetPicture(thumbnail);
    return true;
}

bool TKivThumbnailExtractor::SaveThumbnailToJPEG(const QString& pSourceFilename,
                                                 const QString& pThumbnailFilename, int pWidth,
                                                 int pHeight, int pQuality)
{
    const QImage thumbnail = GetThumbnailBitmap(TKivItemIdList::Create(pSourceFilename), pWidth,
                                                pHeight, false, QColor(Qt::white), false);
    if (thumbnail.isNull())
        return false;
    const QByteArray jpeg = EncodeJpeg(thumbnail, pQuality, QColor(Qt::white));
    if (jpeg.isEmpty())
        throw EWayfoldError(pf::E_FAIL, QStringLiteral("The thumbnail could not be encoded."));
    EWayfoldError::Check(pf::Platform().FileSystem().WriteFile(pThumbnailFilename, jpeg),
                         pThumbnailFilename);
    return true;
}

void TKivThumbnailExtractor::SetThumbnailProvider(TOnThumbnailUnavailable pProvider)
{
    TProvider& provider = Provider();
    const std::lock_guard lock(provider.Lock);
    provider.Function = std::move(pProvider);
}

IWorkerThreadPoolPtr TThumbnailThreadPool::Instance()
{
    static const std::shared_ptr<TWorkerThreadPoolRefCounted> pool = [] {
        TWorkerPoolConfig config;
        config.MaxRunningThreads = kMaxRunningThreads;
        return TWorkerThreadPoolRefCounted::Create(config);
    }();
    return pool;
}

} // namespace kiv

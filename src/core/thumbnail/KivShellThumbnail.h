#pragma once

// Thumbnails of shell items: the picture of an item's content at a requested size, from the
// platform's image factory (generated, or from its thumbnail cache only), from a provider the
// application installs, or the item's icon drawn on a plain background. Extraction reads files
// and may wait for a generator, so it runs on worker threads — the thumbnail pool below — and
// never on the user-interface thread.

#include "core/shell/KivShellTypes.h"
#include "core/threading/ThreadingTypes.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <chrono>
#include <functional>

namespace kiv {

struct TThumbnailOptions
{
    // Width and height in pixels; either below 1 asks for 200 x 200.
    QSize Size;
    // Without a thumbnail, answer the item's icon instead of nothing.
    bool IconInstead = false;
    // Only what the platform's thumbnail cache already holds: nothing is generated.
    bool CachedOnly = false;
    // Behind a drawn icon.
    QColor BackgroundColor = QColor(Qt::white);
};

// Asked for a picture when the platform has none: receives the item's path and the size asked,
// and sets pBitmap (or leaves it null). Called on the extracting worker thread.
using TOnThumbnailUnavailable =
    std::function<void(const QString& pPath, int pWidth, int pHeight, QImage& pBitmap)>;

// What shows a thumbnail as its picture (an image control): its size decides the thumbnail's.
class IThumbnailImage
{
public:
    virtual ~IThumbnailImage() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetPicture(const QImage& pPicture) = 0;
};

// Class operations only. Every operation may run on any thread; the provider is process-wide and
// may be changed while extractions run (each extraction uses the provider it finds at its
// start). Results are new images the caller owns; a null image is "no thumbnail".
class TKivThumbnailExtractor
{
public:
    TKivThumbnailExtractor() = delete;

    // The thumbnail of pItemIdList. While the platform answers "extraction pending" (another
    // thread generates this item), asks again up to 5 times, 500 ms apart, and gives up at once
    // with a null image when pCancellationToken asks to stop. Raises EWayfoldError when the
    // platform runs out of memory; other failures give a null image (and a debug line).
    static QImage GetThumbnailBitmap(const IItemIdListPtr& pItemIdList,
                                     const TThumbnailOptions& pThumbnailOptions,
                                     const ICancellationIndicatorPtr& pCancellationToken = {});
    static QImage GetThumbnailBitmap(const IItemIdListPtr& pItemIdList, int pWidth, int pHeight,
                                     bool pIconInstead, const QColor& pBackgroundColor,
                                     bool pCachedOnly);
    // A thumbnail at pImage's size (generated when missing, no icon) set as its picture; false
    // (and the picture untouched) when there is none.
    static bool GetThumbnailAsImage(const IItemIdListPtr& pItemIdList, IThumbnailImage& pImage);
    // The thumbnail of a file written as a JPEG of quality pQuality (1..100; values outside are
    // brought inside) to pThumbnailFilename, replacing it at once. Transparent parts become
    // white. False (and nothing written) when the file has no thumbnail; EWayfoldError when the
    // target cannot be written.
    static bool SaveThumbnailToJPEG(const QString& pSourceFilename,
                                    const QString& pThumbnailFilename, int pWidth, int pHeight,
                                    int pQuality);
    // Installs the provider; an empty function removes it.
    static void SetThumbnailProvider(TOnThumbnailUnavailable pProvider);

    // How often and how far apart "extraction pending" is asked again.
    static constexpr int kPendingRetries = 5;
    static constexpr std::chrono::milliseconds kPendingRetryDelay{500};
};

// The pool that thumbnail work items run on: a shared worker pool of at most 2 running threads,
// so that decoding large pictures never takes every processor from the rest of the program.
// Made on first use; lives until the program ends, when its queued items are dropped and its
// running ones are asked to stop.
class TThumbnailThreadPool
{
public:
    TThumbnailThreadPool() = delete;
    static IWorkerThreadPoolPtr Instance();
    static constexpr int kMaxRunningThreads = 2;
};

} // namespace kiv

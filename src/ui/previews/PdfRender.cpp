#include "PdfRender.h"

#ifdef KIV_HAVE_POPPLER
#include <poppler-qt6.h>
#endif

#include <algorithm>
#include <memory>

namespace kiv::ui {

bool PdfRenderingAvailable()
{
#ifdef KIV_HAVE_POPPLER
    return true;
#else
    return false;
#endif
}

bool RenderPdfPages(const QByteArray& pDocument, int pPageWidth, int pMaxPages,
                    std::vector<QImage>& pPages)
{
    pPages.clear();
#ifdef KIV_HAVE_POPPLER
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(pDocument);
    if (!document || document->isLocked())
        return false;
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    const int count = std::min(document->numPages(), pMaxPages);
    for (int index = 0; index < count; ++index) {
        const std::unique_ptr<Poppler::Page> page = document->page(index);
        if (!page)
            return false;
        const QSizeF points = page->pageSizeF();
        if (points.width() <= 0)
            return false;
        // Points are 1/72 inch: this resolution makes the page pPageWidth pixels wide.
        const double dpi = 72.0 * pPageWidth / points.width();
        QImage image = page->renderToImage(dpi, dpi);
        if (image.isNull())
            return false;
        pPages.push_back(std::move(image));
    }
    return !pPages.empty();
#else
    (void)pDocument;
    (void)pPageWidth;
    (void)pMaxPages;
    return false;
#endif
}

} // namespace kiv::ui

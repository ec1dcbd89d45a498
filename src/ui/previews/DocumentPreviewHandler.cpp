#include "DocumentPreviewHandler.h"

#include "PageView.h"
#include "PdfRender.h"
#include "PreviewContent.h"

#include <QMimeDatabase>
#include <QPainter>
#include <QStringDecoder>
#include <QSvgRenderer>
#include <QTextBrowser>

namespace kiv::ui {

namespace {

// A text browser that loads nothing a page refers to.
class TOfflineBrowser final : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int /*pType*/, const QUrl& /*pName*/) override { return {}; }
};

TDocumentPreviewHandler::TKind KindOf(const QByteArray& pBytes, const QString& pFileName)
{
    // "%PDF-" may follow some bytes of junk; readers accept it within the first kilobyte.
    if (pBytes.left(1024).contains("%PDF-"))
        return TDocumentPreviewHandler::TKind::Pdf;
    const QMimeDatabase db;
    const QMimeType type = pFileName.isEmpty() ? db.mimeTypeForData(pBytes)
                                               : db.mimeTypeForFileNameAndData(pFileName, pBytes);
    if (type.inherits(QStringLiteral("image/svg+xml")) ||
        type.inherits(QStringLiteral("image/svg+xml-compressed")))
        return TDocumentPreviewHandler::TKind::Svg;
    if (type.inherits(QStringLiteral("text/html")) ||
        type.inherits(QStringLiteral("application/xhtml+xml")))
        return TDocumentPreviewHandler::TKind::Html;
    return TDocumentPreviewHandler::TKind::None;
}

bool RenderSvg(const QByteArray& pBytes, QImage& pImage)
{
    QSvgRenderer renderer(pBytes);
    if (!renderer.isValid())
        return false;
    QSize size = renderer.defaultSize();
    // A drawing that gives no size is drawn square, as browsers do for a missing view box.
    if (size.isEmpty())
        size = QSize(TDocumentPreviewHandler::kSvgPixels, TDocumentPreviewHandler::kSvgPixels);
    size = size.scaled(TDocumentPreviewHandler::kSvgPixels, TDocumentPreviewHandler::kSvgPixels,
                       Qt::KeepAspectRatio)
               .expandedTo(QSize(1, 1));
    pImage = QImage(size, QImage::Format_ARGB32_Premultiplied);
    pImage.fill(Qt::transparent);
    QPainter painter(&pImage);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return true;
}

} // namespace

TDocumentPreviewHandler::TDocumentPreviewHandler()
    : TWidgetPreviewHandler(kMaxBytes)
{
}

pf::HResult TDocumentPreviewHandler::Load(QByteArray pBytes, bool pTruncated,
                                          const QString& pFileName)
{
    const TKind kind = KindOf(pBytes, pFileName);
    switch (kind) {
    case TKind::None:
        return pf::E_FAIL;
    case TKind::Pdf:
        // A cut PDF has lost its cross-reference table, which sits at the end.
        if (pTruncated || !RenderPdfPages(pBytes, kPdfPageWidth, kMaxPdfPages, fPages))
            return pf::E_FAIL;
        break;
    case TKind::Svg: {
        QImage image;
        if (pTruncated || !RenderSvg(pBytes, image))
            return pf::E_FAIL;
        fPages.push_back(std::move(image));
        break;
    }
    case TKind::Html: {
        const QByteArray head = pBytes.left(kMaxHtmlBytes);
        QStringDecoder decoder = QStringDecoder::decoderForHtml(head);
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringConverter::Utf8);
        fHtml = decoder.decode(head);
        break;
    }
    }
    fKind = kind;
    return pf::S_OK;
}

QWidget* TDocumentPreviewHandler::MakeWidget(QWidget& pParent)
{
    switch (fKind) {
    case TKind::None:
        return nullptr;
    case TKind::Html: {
        auto* browser = new TOfflineBrowser(&pParent);
        browser->setOpenLinks(false);
        browser->setOpenExternalLinks(false);
        browser->setFrameShape(QFrame::NoFrame);
        return browser;
    }
    case TKind::Svg:
    case TKind::Pdf:
        break;
    }
    auto* view = new TPageView(&pParent);
    view->SetLayout(fKind == TKind::Pdf ? TPageView::TLayout::FitWidth
                                        : TPageView::TLayout::SinglePage);
    return view;
}

// The widget is a browser for a web page and a page view otherwise (MakeWidget): the kind stays
// as long as the widget does, since only Unload clears both.
void TDocumentPreviewHandler::ShowContent(QWidget& pWidget)
{
    if (fKind == TKind::Html)
        static_cast<QTextBrowser&>(pWidget).setHtml(fHtml);
    else
        static_cast<TPageView&>(pWidget).SetPages(fPages);
}

void TDocumentPreviewHandler::ApplyColours(QWidget& pWidget)
{
    if (fKind == TKind::Html)
        ApplyPaletteColours(pWidget);
    else if (Background().isValid())
        static_cast<TPageView&>(pWidget).SetBackground(Background());
}

void TDocumentPreviewHandler::Clear()
{
    fPages.clear();
    fHtml.clear();
    fKind = TKind::None;
}

} // namespace kiv::ui

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

TDocumentPreviewHandler::~TDocumentPreviewHandler()
{
    if (QWidget* view = View())
        view->deleteLater();
}

QWidget* TDocumentPreviewHandler::View() const
{
    if (fPageView)
        return fPageView.data();
    return fBrowser.data();
}

pf::HResult TDocumentPreviewHandler::InitializeWithStream(const pf::IStreamPtr& pStream,
                                                          std::uint32_t /*pMode*/)
{
    if (!pStream)
        return pf::E_INVALIDARG;
    QByteArray bytes;
    bool truncated = false;
    const pf::HResult read = ReadStreamHead(*pStream, kMaxBytes, bytes, truncated);
    return Take(read, bytes, truncated, QString());
}

pf::HResult TDocumentPreviewHandler::InitializeWithFile(const QString& pPath,
                                                        std::uint32_t /*pMode*/)
{
    QByteArray bytes;
    bool truncated = false;
    const pf::HResult read = ReadFileHead(pPath, kMaxBytes, bytes, truncated);
    return Take(read, bytes, truncated, pPath);
}

pf::HResult TDocumentPreviewHandler::Take(pf::HResult pRead, const QByteArray& pBytes,
                                          bool pTruncated, const QString& pFileName)
{
    if (fKind != TKind::None)
        return pf::E_UNEXPECTED; // one file per handler
    if (pf::Failed(pRead))
        return pRead;
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

pf::HResult TDocumentPreviewHandler::SetWindow(pf::WindowRef pParent, const QRect& pRect)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    auto* parent = const_cast<QWidget*>(static_cast<const QWidget*>(pParent));
    if (!parent)
        return pf::E_INVALIDARG;
    if (fKind == TKind::None)
        return pf::E_UNEXPECTED;
    if (!View()) {
        if (fKind == TKind::Html) {
            auto* browser = new TOfflineBrowser(parent);
            browser->setOpenLinks(false);
            browser->setOpenExternalLinks(false);
            browser->setFrameShape(QFrame::NoFrame);
            fBrowser = browser;
        } else {
            fPageView = new TPageView(parent);
            fPageView->SetLayout(fKind == TKind::Pdf ? TPageView::TLayout::FitWidth
                                                     : TPageView::TLayout::SinglePage);
        }
        View()->hide();
        ApplyColours();
    } else if (View()->parentWidget() != parent) {
        View()->setParent(parent);
    }
    View()->setGeometry(pRect);
    return pf::S_OK;
}

pf::HResult TDocumentPreviewHandler::SetRect(const QRect& pRect)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!View())
        return pf::E_UNEXPECTED;
    View()->setGeometry(pRect);
    return pf::S_OK;
}

pf::HResult TDocumentPreviewHandler::DoPreview()
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!View())
        return pf::E_UNEXPECTED;
    if (fBrowser)
        fBrowser->setHtml(fHtml);
    else
        fPageView->SetPages(fPages);
    View()->show();
    return pf::S_OK;
}

pf::HResult TDocumentPreviewHandler::Unload()
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    delete View();
    fPages.clear();
    fHtml.clear();
    fKind = TKind::None;
    return pf::S_OK;
}

pf::HResult TDocumentPreviewHandler::SetBackgroundColor(const QColor& pColor)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    fBackground = pColor;
    ApplyColours();
    return pf::S_OK;
}

pf::HResult TDocumentPreviewHandler::SetTextColor(const QColor& pColor)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    fForeground = pColor;
    ApplyColours();
    return pf::S_OK;
}

void TDocumentPreviewHandler::ApplyColours()
{
    if (fPageView && fBackground.isValid())
        fPageView->SetBackground(fBackground);
    if (!fBrowser)
        return;
    QPalette palette = fBrowser->palette();
    if (fBackground.isValid())
        palette.setColor(QPalette::Base, fBackground);
    if (fForeground.isValid())
        palette.setColor(QPalette::Text, fForeground);
    fBrowser->setPalette(palette);
}

} // namespace kiv::ui

#include "ImagePreviewHandler.h"

#include "PreviewContent.h"

#include <QBuffer>
#include <QImageReader>

namespace kiv::ui {

QStringList TImagePreviewHandler::MimeTypes()
{
    QStringList types;
    for (const QByteArray& type : QImageReader::supportedMimeTypes()) {
        const QString name = QString::fromLatin1(type);
        if (!name.startsWith(QLatin1String("image/svg")))
            types << name;
    }
    return types;
}

TImagePreviewHandler::~TImagePreviewHandler()
{
    if (fView)
        fView->deleteLater();
}

pf::HResult TImagePreviewHandler::InitializeWithStream(const pf::IStreamPtr& pStream,
                                                       std::uint32_t /*pMode*/)
{
    if (!pStream)
        return pf::E_INVALIDARG;
    QByteArray bytes;
    bool truncated = false;
    const pf::HResult read = ReadStreamHead(*pStream, kMaxBytes, bytes, truncated);
    return Take(read, std::move(bytes), truncated);
}

pf::HResult TImagePreviewHandler::InitializeWithFile(const QString& pPath, std::uint32_t /*pMode*/)
{
    QByteArray bytes;
    bool truncated = false;
    const pf::HResult read = ReadFileHead(pPath, kMaxBytes, bytes, truncated);
    return Take(read, std::move(bytes), truncated);
}

pf::HResult TImagePreviewHandler::Take(pf::HResult pRead, QByteArray pBytes, bool pTruncated)
{
    if (!fImage.isNull())
        return pf::E_UNEXPECTED; // one file per handler
    if (pf::Failed(pRead))
        return pRead;
    if (pTruncated)
        return pf::E_FAIL;
    QBuffer buffer(&pBytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    // Decoding at the reduced size directly is what keeps a 50-megapixel picture cheap.
    if (size.isValid() && (size.width() > kMaxPixels || size.height() > kMaxPixels))
        reader.setScaledSize(
            size.scaled(kMaxPixels, kMaxPixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    fImage = reader.read();
    return fImage.isNull() ? pf::E_FAIL : pf::S_OK;
}

pf::HResult TImagePreviewHandler::SetWindow(pf::WindowRef pParent, const QRect& pRect)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    auto* parent = const_cast<QWidget*>(static_cast<const QWidget*>(pParent));
    if (!parent)
        return pf::E_INVALIDARG;
    if (fImage.isNull())
        return pf::E_UNEXPECTED;
    if (!fView) {
        fView = new TPageView(parent);
        fView->SetLayout(TPageView::TLayout::SinglePage);
        if (fBackground.isValid())
            fView->SetBackground(fBackground);
        fView->hide();
    } else if (fView->parentWidget() != parent) {
        fView->setParent(parent);
    }
    fView->setGeometry(pRect);
    return pf::S_OK;
}

pf::HResult TImagePreviewHandler::SetRect(const QRect& pRect)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!fView)
        return pf::E_UNEXPECTED;
    fView->setGeometry(pRect);
    return pf::S_OK;
}

pf::HResult TImagePreviewHandler::DoPreview()
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!fView)
        return pf::E_UNEXPECTED;
    fView->SetPages({fImage});
    fView->show();
    return pf::S_OK;
}

pf::HResult TImagePreviewHandler::Unload()
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    delete fView.data();
    fImage = QImage();
    return pf::S_OK;
}

pf::HResult TImagePreviewHandler::SetBackgroundColor(const QColor& pColor)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    fBackground = pColor;
    if (fView)
        fView->SetBackground(pColor);
    return pf::S_OK;
}

pf::HResult TImagePreviewHandler::SetTextColor(const QColor& /*pColor*/)
{
    return pf::S_OK; // a picture has no text
}

} // namespace kiv::ui

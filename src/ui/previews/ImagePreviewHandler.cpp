#include "ImagePreviewHandler.h"

#include "PageView.h"

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

TImagePreviewHandler::TImagePreviewHandler()
    : TWidgetPreviewHandler(kMaxBytes)
{
}

pf::HResult TImagePreviewHandler::Load(QByteArray pBytes, bool pTruncated,
                                       const QString& /*pFileName*/)
{
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

QWidget* TImagePreviewHandler::MakeWidget(QWidget& pParent)
{
    if (fImage.isNull())
        return nullptr;
    auto* view = new TPageView(&pParent);
    view->SetLayout(TPageView::TLayout::SinglePage);
    return view;
}

void TImagePreviewHandler::ShowContent(QWidget& pWidget)
{
    static_cast<TPageView&>(pWidget).SetPages({fImage});
}

void TImagePreviewHandler::ApplyColours(QWidget& pWidget)
{
    if (Background().isValid())
        static_cast<TPageView&>(pWidget).SetBackground(Background());
}

} // namespace kiv::ui

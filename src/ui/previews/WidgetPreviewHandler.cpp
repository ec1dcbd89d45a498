#include "WidgetPreviewHandler.h"

#include "PreviewContent.h"

#include <QPalette>

namespace kiv::ui {

TWidgetPreviewHandler::TWidgetPreviewHandler(std::uint64_t pMaxBytes)
    : fMaxBytes(pMaxBytes)
{
}

TWidgetPreviewHandler::~TWidgetPreviewHandler()
{
    // Unload removes the widget; a host that dropped the handler without it (a failure on the
    // way) leaves it to the widget's thread.
    if (fWidget)
        fWidget->deleteLater();
}

pf::HResult TWidgetPreviewHandler::InitializeWithStream(const pf::IStreamPtr& pStream,
                                                        std::uint32_t /*pMode*/)
{
    if (!pStream)
        return pf::E_INVALIDARG;
    QByteArray bytes;
    bool truncated = false;
    const pf::HResult read = ReadStreamHead(*pStream, fMaxBytes, bytes, truncated);
    return Take(read, std::move(bytes), truncated, QString());
}

pf::HResult TWidgetPreviewHandler::InitializeWithFile(const QString& pPath, std::uint32_t /*pMode*/)
{
    QByteArray bytes;
    bool truncated = false;
    const pf::HResult read = ReadFileHead(pPath, fMaxBytes, bytes, truncated);
    return Take(read, std::move(bytes), truncated, pPath);
}

pf::HResult TWidgetPreviewHandler::Take(pf::HResult pRead, QByteArray pBytes, bool pTruncated,
                                        const QString& pFileName)
{
    if (Loaded())
        return pf::E_UNEXPECTED; // one file per handler
    if (pf::Failed(pRead))
        return pRead;
    return Load(std::move(pBytes), pTruncated, pFileName);
}

pf::HResult TWidgetPreviewHandler::SetWindow(pf::WindowRef pParent, const QRect& pRect)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    auto* parent = const_cast<QWidget*>(static_cast<const QWidget*>(pParent));
    if (!parent)
        return pf::E_INVALIDARG;
    if (!fWidget) {
        QWidget* widget = MakeWidget(*parent);
        if (!widget)
            return pf::E_UNEXPECTED;
        fWidget = widget;
        widget->hide();
        ApplyColours(*widget);
    } else if (fWidget->parentWidget() != parent) {
        fWidget->setParent(parent);
    }
    fWidget->setGeometry(pRect);
    return pf::S_OK;
}

pf::HResult TWidgetPreviewHandler::SetRect(const QRect& pRect)
{
    return SetWidgetRect(fWidget.data(), pRect);
}

pf::HResult TWidgetPreviewHandler::DoPreview()
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!fWidget || !Loaded())
        return pf::E_UNEXPECTED;
    ShowContent(*fWidget);
    fWidget->show();
    return pf::S_OK;
}

pf::HResult TWidgetPreviewHandler::Unload()
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    delete fWidget.data();
    Clear();
    return pf::S_OK;
}

pf::HResult TWidgetPreviewHandler::SetBackgroundColor(const QColor& pColor)
{
    return SetColour(fBackground, pColor);
}

pf::HResult TWidgetPreviewHandler::SetTextColor(const QColor& pColor)
{
    return SetColour(fForeground, pColor);
}

pf::HResult TWidgetPreviewHandler::SetColour(QColor& pField, const QColor& pColor)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    pField = pColor;
    if (fWidget)
        ApplyColours(*fWidget);
    return pf::S_OK;
}

void TWidgetPreviewHandler::ApplyPaletteColours(QWidget& pWidget) const
{
    QPalette palette = pWidget.palette();
    if (fBackground.isValid())
        palette.setColor(QPalette::Base, fBackground);
    if (fForeground.isValid())
        palette.setColor(QPalette::Text, fForeground);
    pWidget.setPalette(palette);
}

pf::HResult SetWidgetRect(QWidget* pWidget, const QRect& pRect)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!pWidget)
        return pf::E_UNEXPECTED;
    pWidget->setGeometry(pRect);
    return pf::S_OK;
}

} // namespace kiv::ui

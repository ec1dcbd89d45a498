#include "BuiltInPreviewHandlers.h"

#include "DocumentPreviewHandler.h"
#include "ImagePreviewHandler.h"
#include "PdfControl.h"
#include "PdfRender.h"
#include "PreviewContent.h"
#include "TextPreviewHandler.h"

#include <QWidget>

namespace kiv::ui {

pf::HResult TBuiltInPreviewHandlers::Create(const pf::Guid& pClsid,
                                            pf::IPreviewHandlerPtr& pHandler)
{
    pHandler.reset();
    if (pClsid == pf::previewids::CLSID_TextPreviewer)
        pHandler = std::make_shared<TTextPreviewHandler>();
    else if (pClsid == pf::previewids::CLSID_DocumentPreviewer)
        pHandler = std::make_shared<TDocumentPreviewHandler>();
    else if (pClsid == pf::previewids::CLSID_ImagePreviewer)
        pHandler = std::make_shared<TImagePreviewHandler>();
    return pHandler ? pf::S_OK : pf::REGDB_E_CLASSNOTREG;
}

bool TBuiltInPreviewHandlers::IsRegistered(const pf::Guid& pClsid) const
{
    return pClsid == pf::previewids::CLSID_TextPreviewer ||
           pClsid == pf::previewids::CLSID_DocumentPreviewer ||
           pClsid == pf::previewids::CLSID_ImagePreviewer ||
           (pClsid == kPdfControlClsid && PdfRenderingAvailable());
}

pf::HResult TBuiltInPreviewHandlers::ClsidFromProgId(const QString& pProgId, pf::Guid& pClsid) const
{
    pClsid = {};
    if (PdfRenderingAvailable() &&
        pProgId.compare(QLatin1String("AcroPDF.PDF"), Qt::CaseInsensitive) == 0) {
        pClsid = kPdfControlClsid;
        return pf::S_OK;
    }
    return pf::CO_E_CLASSSTRING;
}

pf::HResult TBuiltInPreviewHandlers::CreatePdfControl(pf::WindowRef pParent,
                                                      pf::IPdfControlPtr& pControl)
{
    pControl.reset();
    if (!PdfRenderingAvailable())
        return pf::REGDB_E_CLASSNOTREG;
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    auto* parent = const_cast<QWidget*>(static_cast<const QWidget*>(pParent));
    if (!parent)
        return pf::E_INVALIDARG;
    pControl = std::make_shared<TPdfControl>(parent);
    return pf::S_OK;
}

std::vector<pf::PreviewHandlerClass> TBuiltInPreviewHandlers::Classes() const
{
    QStringList documents{QStringLiteral("image/svg+xml"),
                          QStringLiteral("image/svg+xml-compressed"), QStringLiteral("text/html"),
                          QStringLiteral("application/xhtml+xml")};
    if (PdfRenderingAvailable())
        documents << QStringLiteral("application/pdf");
    // The document view first: web pages are text too, but are shown laid out; drawings are
    // pictures too, but are drawn at the view's size.
    return {
        {pf::previewids::CLSID_DocumentPreviewer,
         QStringLiteral("Document Previewer"),
         documents,
         {}},
        {pf::previewids::CLSID_ImagePreviewer,
         QStringLiteral("Picture Previewer"),
         TImagePreviewHandler::MimeTypes(),
         {}},
        {pf::previewids::CLSID_TextPreviewer,
         QStringLiteral("Text Previewer"),
         {},
         {QStringLiteral("text")}},
    };
}

} // namespace kiv::ui

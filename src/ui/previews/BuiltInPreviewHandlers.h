#pragma once

#include "core/platform/IPreviewHandler.h"

namespace kiv::ui {

// The preview handlers this program brings: plain text, documents (SVG, web pages, PDF when
// built with Poppler), pictures, and the PDF control behind the program id "AcroPDF.PDF" (with
// Poppler). Install it into the platform at start-up (pf::lnx::InstallPreviewHandlers), which
// publishes its classes in the registry. Thread-safe: it keeps no state.
class TBuiltInPreviewHandlers final : public pf::IPreviewHandlerFactory
{
public:
    // The class id "AcroPDF.PDF" resolves to (the one that program id has elsewhere).
    static constexpr pf::Guid kPdfControlClsid =
        pf::MakeGuid(0xCA8A9780, 0x280D, 0x11CF, 0xA2, 0x4D, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);

    pf::HResult Create(const pf::Guid& pClsid, pf::IPreviewHandlerPtr& pHandler) override;
    bool IsRegistered(const pf::Guid& pClsid) const override;
    pf::HResult ClsidFromProgId(const QString& pProgId, pf::Guid& pClsid) const override;
    pf::HResult CreatePdfControl(pf::WindowRef pParent, pf::IPdfControlPtr& pControl) override;
    std::vector<pf::PreviewHandlerClass> Classes() const override;
};

} // namespace kiv::ui

#pragma once

#include <QByteArray>
#include <QImage>

#include <vector>

namespace kiv::ui {

// Whether PDF documents can be rendered (the program was built with Poppler).
bool PdfRenderingAvailable();

// Renders the first pMaxPages pages of a PDF document pPageWidth pixels wide. Any thread; slow
// (a page takes tens of milliseconds): never on the user-interface thread. False for a damaged
// or locked document, or without PDF support.
bool RenderPdfPages(const QByteArray& pDocument, int pPageWidth, int pMaxPages,
                    std::vector<QImage>& pPages);

} // namespace kiv::ui

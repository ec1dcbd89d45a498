#pragma once

#include "WidgetPreviewHandler.h"

#include <QImage>
#include <QString>

#include <vector>

namespace kiv::ui {

// The document previewer: SVG drawings, web pages and (when built with Poppler) PDF documents.
// Initialize reads the file and does the slow part on the calling thread (the host's handler
// thread): a drawing or the PDF's first pages are rendered into images there, a web page decoded
// to text. The window calls make the widgets and need the user-interface thread.
//
// Web pages are shown as rich text without scripts and without loading anything they refer to
// (pictures, style sheets, frames): a preview must not reach the network, nor tell a sender that
// the mail or page was looked at.
class TDocumentPreviewHandler final : public TWidgetPreviewHandler
{
public:
    enum class TKind
    {
        None,
        Svg,
        Html,
        Pdf,
    };

    // Files above this size are not previewed: they are read into memory whole.
    static constexpr std::uint64_t kMaxBytes = 64u << 20;
    // Web pages are cut here (the text is laid out on the user-interface thread).
    static constexpr qsizetype kMaxHtmlBytes = 5 << 20;
    // PDF pages rendered: a preview shows the start of a document.
    static constexpr int kMaxPdfPages = 10;
    // Pixel width PDF pages are rendered at; the view scales them to its width.
    static constexpr int kPdfPageWidth = 1000;
    // Longest side a drawing is rendered at.
    static constexpr int kSvgPixels = 1600;

    TDocumentPreviewHandler();

    TKind Kind() const { return fKind; }
    // The rendered pages (SVG: one) after Initialize.
    const std::vector<QImage>& Pages() const { return fPages; }
    // The widget showing the document (null before SetWindow and after Unload).
    QWidget* View() const { return Widget(); }

private:
    bool Loaded() const override { return fKind != TKind::None; }
    pf::HResult Load(QByteArray pBytes, bool pTruncated, const QString& pFileName) override;
    QWidget* MakeWidget(QWidget& pParent) override;
    void ShowContent(QWidget& pWidget) override;
    void ApplyColours(QWidget& pWidget) override;
    void Clear() override;

    TKind fKind = TKind::None;
    std::vector<QImage> fPages;
    QString fHtml;
};

} // namespace kiv::ui

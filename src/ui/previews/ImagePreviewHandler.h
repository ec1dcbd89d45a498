#pragma once

#include "WidgetPreviewHandler.h"

#include <QImage>
#include <QStringList>

namespace kiv::ui {

// The picture previewer: raster images the image readers decode, fitted whole into the window.
// Initialize decodes on the calling thread (the host's handler thread), at most kMaxPixels on the
// longer side, so a camera picture never sits in memory at full size; the window calls make the
// view and need the user-interface thread.
class TImagePreviewHandler final : public TWidgetPreviewHandler
{
public:
    // Longer side of the decoded picture: more than a preview pane shows on large screens.
    static constexpr int kMaxPixels = 2048;
    // Files above this size are not read.
    static constexpr std::uint64_t kMaxBytes = 256u << 20;

    // The MIME types the image readers decode (vector drawings left to the document view).
    static QStringList MimeTypes();

    TImagePreviewHandler();

    // A picture has no text: accepted from any thread and ignored.
    pf::HResult SetTextColor(const QColor& /*pColor*/) override { return pf::S_OK; }

    const QImage& Image() const { return fImage; }

private:
    bool Loaded() const override { return !fImage.isNull(); }
    pf::HResult Load(QByteArray pBytes, bool pTruncated, const QString& pFileName) override;
    QWidget* MakeWidget(QWidget& pParent) override;
    void ShowContent(QWidget& pWidget) override;
    void ApplyColours(QWidget& pWidget) override;
    void Clear() override { fImage = QImage(); }

    QImage fImage;
};

} // namespace kiv::ui

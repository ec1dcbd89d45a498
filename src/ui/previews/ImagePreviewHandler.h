#pragma once

#include "PageView.h"
#include "core/platform/IPreviewHandler.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QStringList>

namespace kiv::ui {

// The picture previewer: raster images the image readers decode, fitted whole into the window.
// Initialize decodes on the calling thread (the host's handler thread), at most kMaxPixels on the
// longer side, so a camera picture never sits in memory at full size; the window calls make the
// view and need the user-interface thread.
class TImagePreviewHandler final
    : public pf::IPreviewHandler
    , public pf::IPreviewHandlerVisuals
{
public:
    // Longer side of the decoded picture: more than a preview pane shows on large screens.
    static constexpr int kMaxPixels = 2048;
    // Files above this size are not read.
    static constexpr std::uint64_t kMaxBytes = 256u << 20;

    // The MIME types the image readers decode (vector drawings left to the document view).
    static QStringList MimeTypes();

    ~TImagePreviewHandler() override;

    pf::HResult InitializeWithStream(const pf::IStreamPtr& pStream, std::uint32_t pMode) override;
    pf::HResult InitializeWithFile(const QString& pPath, std::uint32_t pMode) override;
    pf::HResult SetWindow(pf::WindowRef pParent, const QRect& pRect) override;
    pf::HResult SetRect(const QRect& pRect) override;
    pf::HResult DoPreview() override;
    pf::HResult Unload() override;
    pf::IPreviewHandlerVisuals* Visuals() override { return this; }
    bool RequiresUiThread() const override { return true; }

    pf::HResult SetBackgroundColor(const QColor& pColor) override;
    pf::HResult SetTextColor(const QColor& pColor) override;

    const QImage& Image() const { return fImage; }

private:
    pf::HResult Take(pf::HResult pRead, QByteArray pBytes, bool pTruncated);

    QImage fImage;
    QColor fBackground;
    QPointer<TPageView> fView; // user-interface thread only
};

} // namespace kiv::ui

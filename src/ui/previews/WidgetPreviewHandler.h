#pragma once

#include "core/platform/IPreviewHandler.h"

#include <QByteArray>
#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

namespace kiv::ui {

// What the built-in preview handlers share: a handler that reads its content on the host's handler
// thread and shows it in one widget it makes inside the host's window. This class does the
// bookkeeping of the window calls (parent, rectangle, colours, the widget's life, the refusal of
// calls from any thread but the user-interface one); each handler says how its content is loaded,
// which widget shows it and how the colours reach that widget.
//
// Initialize runs on the calling thread; every window and colour call needs the user-interface
// thread and answers RPC_E_WRONG_THREAD elsewhere. The widget belongs to the parent's tree: Unload
// deletes it, and a handler dropped without Unload leaves it to be deleted on its own thread.
class TWidgetPreviewHandler
    : public pf::IPreviewHandler
    , public pf::IPreviewHandlerVisuals
{
public:
    ~TWidgetPreviewHandler() override;

    pf::HResult InitializeWithStream(const pf::IStreamPtr& pStream, std::uint32_t pMode) final;
    pf::HResult InitializeWithFile(const QString& pPath, std::uint32_t pMode) final;
    pf::HResult SetWindow(pf::WindowRef pParent, const QRect& pRect) final;
    pf::HResult SetRect(const QRect& pRect) final;
    pf::HResult DoPreview() final;
    pf::HResult Unload() final;
    pf::IPreviewHandlerVisuals* Visuals() final { return this; }
    bool RequiresUiThread() const final { return true; }

    pf::HResult SetBackgroundColor(const QColor& pColor) override;
    pf::HResult SetTextColor(const QColor& pColor) override;

protected:
    // pMaxBytes: what is read of a file or stream at most; the handler is told whether there
    // was more.
    explicit TWidgetPreviewHandler(std::uint64_t pMaxBytes);

    // The widget between SetWindow and Unload (null otherwise).
    QWidget* Widget() const { return fWidget.data(); }
    const QColor& Background() const { return fBackground; }
    const QColor& Foreground() const { return fForeground; }
    // Sets the colours that are given on the widget's palette (Base and Text): what text widgets
    // draw with.
    void ApplyPaletteColours(QWidget& pWidget) const;

    // Whether a file was loaded (Initialize succeeded and Unload has not come since). A handler
    // takes one file only.
    virtual bool Loaded() const = 0;
    // Takes the bytes read (the head of the content when pTruncated); pFileName is the file's
    // path, empty for a stream. Runs on the calling thread of Initialize.
    virtual pf::HResult Load(QByteArray pBytes, bool pTruncated, const QString& pFileName) = 0;
    // Makes the widget under pParent, or returns null when there is nothing it could show yet
    // (SetWindow then answers E_UNEXPECTED).
    virtual QWidget* MakeWidget(QWidget& pParent) = 0;
    // Puts the loaded content into the widget (DoPreview, before the widget is shown).
    virtual void ShowContent(QWidget& pWidget) = 0;
    // Gives the widget the colours set so far (either may be invalid: not set).
    virtual void ApplyColours(QWidget& pWidget) = 0;
    // Forgets the loaded content (Unload, after the widget is gone).
    virtual void Clear() = 0;

private:
    pf::HResult Take(pf::HResult pRead, QByteArray pBytes, bool pTruncated,
                     const QString& pFileName);
    pf::HResult SetColour(QColor& pField, const QColor& pColor);

    const std::uint64_t fMaxBytes;
    QColor fBackground;
    QColor fForeground;
    QPointer<QWidget> fWidget; // user-interface thread only
};

// Sets the widget's geometry from the user-interface thread: RPC_E_WRONG_THREAD from any other,
// E_UNEXPECTED when there is no widget (not made yet, or gone).
pf::HResult SetWidgetRect(QWidget* pWidget, const QRect& pRect);

} // namespace kiv::ui

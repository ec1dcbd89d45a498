#pragma once

#include "core/platform/IPreviewHandler.h"

#include <QByteArray>
#include <QColor>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>

namespace kiv::ui {

// The encodings a text preview tells apart.
enum class TTextEncoding
{
    Utf8,
    Utf8Bom,
    Utf16LE,
    Utf16BE,
    Utf32LE,
    Utf32BE,
    Latin1,
};

// Decodes the first bytes of a text file: the encoding of a byte order mark, else UTF-8 when the
// bytes are valid UTF-8, else Latin-1 (every byte is a character, so this never fails).
// pTruncated: the bytes are the head of a longer file, so a UTF-8 sequence cut at the end does
// not count against UTF-8. False when a byte order mark's encoding does not decode.
bool DecodePreviewText(const QByteArray& pBytes, bool pTruncated, QString& pText,
                       TTextEncoding& pEncoding);

// The plain-text previewer: the first 5 MiB of the file, read-only, in the window's font.
// Initialize reads and decodes on the calling thread (the host's handler thread); the window
// calls make and fill a QPlainTextEdit and need the user-interface thread.
class TTextPreviewHandler final
    : public pf::IPreviewHandler
    , public pf::IPreviewHandlerVisuals
{
public:
    // What is read of a file: 5 MiB, the first part of a log or dump is what a glance needs.
    static constexpr std::uint64_t kMaxBytes = 5242880;

    ~TTextPreviewHandler() override;

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

    // The decoded text and its encoding (after a successful Initialize).
    const QString& Text() const { return fText; }
    TTextEncoding Encoding() const { return fEncoding; }
    QPlainTextEdit* Editor() const { return fEditor; }

private:
    pf::HResult Take(pf::HResult pRead, const QByteArray& pBytes, bool pTruncated);
    void ApplyColours();

    bool fLoaded = false;
    QString fText;
    TTextEncoding fEncoding = TTextEncoding::Utf8;
    QColor fBackground;
    QColor fForeground;
    QPointer<QPlainTextEdit> fEditor; // user-interface thread only
};

} // namespace kiv::ui

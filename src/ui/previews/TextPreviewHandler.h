#pragma once

#include "WidgetPreviewHandler.h"

#include <QByteArray>
#include <QPlainTextEdit>
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
class TTextPreviewHandler final : public TWidgetPreviewHandler
{
public:
    // What is read of a file: 5 MiB, the first part of a log or dump is what a glance needs.
    static constexpr std::uint64_t kMaxBytes = 5242880;

    TTextPreviewHandler();

    // The decoded text and its encoding (after a successful Initialize).
    const QString& Text() const { return fText; }
    TTextEncoding Encoding() const { return fEncoding; }
    QPlainTextEdit* Editor() const;

private:
    bool Loaded() const override { return fLoaded; }
    pf::HResult Load(QByteArray pBytes, bool pTruncated, const QString& pFileName) override;
    QWidget* MakeWidget(QWidget& pParent) override;
    void ShowContent(QWidget& pWidget) override;
    void ApplyColours(QWidget& pWidget) override { ApplyPaletteColours(pWidget); }
    void Clear() override;

    bool fLoaded = false;
    QString fText;
    TTextEncoding fEncoding = TTextEncoding::Utf8;
};

} // namespace kiv::ui

#include "TextPreviewHandler.h"

#include <QPlainTextEdit>
#include <QStringDecoder>

namespace kiv::ui {

namespace {

// The bytes of an incomplete UTF-8 sequence at the end of pBytes (0 when the end is complete):
// a file's head cut at the limit may end inside a character.
qsizetype IncompleteUtf8Tail(const QByteArray& pBytes)
{
    const qsizetype size = pBytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(pBytes[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for the lead
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace

bool DecodePreviewText(const QByteArray& pBytes, bool pTruncated, QString& pText,
                       TTextEncoding& pEncoding)
{
    struct TMark
    {
        QByteArrayView Bytes;
        QStringConverter::Encoding Converter;
        TTextEncoding Encoding;
    };
    // UTF-32 LE first: its mark begins with the UTF-16 LE one.
    static const TMark kMarks[] = {
        {QByteArrayView("\xFF\xFE\x00\x00", 4), QStringConverter::Utf32LE, TTextEncoding::Utf32LE},
        {QByteArrayView("\x00\x00\xFE\xFF", 4), QStringConverter::Utf32BE, TTextEncoding::Utf32BE},
        {QByteArrayView("\xEF\xBB\xBF", 3), QStringConverter::Utf8, TTextEncoding::Utf8Bom},
        {QByteArrayView("\xFF\xFE", 2), QStringConverter::Utf16LE, TTextEncoding::Utf16LE},
        {QByteArrayView("\xFE\xFF", 2), QStringConverter::Utf16BE, TTextEncoding::Utf16BE},
    };
    for (const TMark& mark : kMarks) {
        if (!pBytes.startsWith(mark.Bytes))
            continue;
        QByteArrayView rest = QByteArrayView(pBytes).sliced(mark.Bytes.size());
        // A cut head may end inside a unit: drop what does not make a whole one.
        if (pTruncated && mark.Encoding != TTextEncoding::Utf8Bom) {
            const qsizetype unit = mark.Bytes.size() == 4 ? 4 : 2;
            rest = rest.first(rest.size() - rest.size() % unit);
        } else if (pTruncated) {
            rest = rest.first(rest.size() - IncompleteUtf8Tail(rest.toByteArray()));
        }
        QStringDecoder decoder(mark.Converter, QStringConverter::Flag::Stateless);
        pText = decoder.decode(rest);
        pEncoding = mark.Encoding;
        return !decoder.hasError();
    }
    QByteArrayView body(pBytes);
    if (pTruncated)
        body = body.first(body.size() - IncompleteUtf8Tail(pBytes));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) {
        pText = std::move(text);
        pEncoding = TTextEncoding::Utf8;
        return true;
    }
    pText = QString::fromLatin1(pBytes);
    pEncoding = TTextEncoding::Latin1;
    return true;
}

TTextPreviewHandler::TTextPreviewHandler()
    : TWidgetPreviewHandler(kMaxBytes)
{
}

QPlainTextEdit* TTextPreviewHandler::Editor() const
{
    return static_cast<QPlainTextEdit*>(Widget());
}

pf::HResult TTextPreviewHandler::Load(QByteArray pBytes, bool pTruncated,
                                      const QString& /*pFileName*/)
{
    if (!DecodePreviewText(pBytes, pTruncated, fText, fEncoding))
        return pf::E_FAIL;
    fLoaded = true;
    return pf::S_OK;
}

QWidget* TTextPreviewHandler::MakeWidget(QWidget& pParent)
{
    // The editor may come before the text: it is filled by DoPreview.
    auto* editor = new QPlainTextEdit(&pParent);
    editor->setReadOnly(true);
    editor->setFrameShape(QFrame::NoFrame);
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return editor;
}

void TTextPreviewHandler::ShowContent(QWidget& pWidget)
{
    static_cast<QPlainTextEdit&>(pWidget).setPlainText(fText);
}

void TTextPreviewHandler::Clear()
{
    fText.clear();
    fLoaded = false;
}

} // namespace kiv::ui

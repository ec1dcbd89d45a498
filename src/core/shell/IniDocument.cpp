#include "IniDocument.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kiv {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// Views into a line's bytes: lookups scan every line, so they neither copy nor decode.

// "[name]" with anything after the closing bracket ignored, as INI readers have always done.
std::optional<QByteArrayView> SectionNameOf(QByteArrayView pRaw)
{
    const QByteArrayView line = pRaw.trimmed();
    if (!line.startsWith('['))
        return std::nullopt;
    const qsizetype close = line.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return line.sliced(1, close - 1).trimmed();
}

struct TKeyLine
{
    QByteArrayView Key;
    QByteArrayView Value;
};

std::optional<TKeyLine> KeyLineOf(QByteArrayView pRaw)
{
    const QByteArrayView line = pRaw.trimmed();
    if (line.isEmpty() || line.startsWith(';') || line.startsWith('#') || line.startsWith('['))
        return std::nullopt;
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0)
        return std::nullopt;
    TKeyLine result{line.first(eq).trimmed(), line.sliced(eq + 1).trimmed()};
    if (result.Key.isEmpty())
        return std::nullopt;
    return result;
}

// ASCII letters only: folding other bytes of UTF-8 text would make different names equal.
bool NameMatches(QByteArrayView pStored, QByteArrayView pWanted)
{
    if (pStored.size() != pWanted.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (qsizetype i = 0; i < pStored.size(); ++i) {
        if (lower(pStored[i]) != lower(pWanted[i]))
            return false;
    }
    return true;
}

// Names and values are single lines; a line break inside would split them on reading.
QByteArray OneLine(QStringView pText)
{
    QString text = pText.toString();
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    return text.toUtf8();
}

} // namespace

TIniDocument TIniDocument::FromBytes(const QByteArray& pBytes)
{
    TIniDocument doc;
    QByteArray text = pBytes;
    if (text.startsWith(kUtf8Bom)) {
        doc.fEncoding = TEncoding::Utf8Bom;
        text.remove(0, 3);
    } else if (text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF")) {
        const bool little = text.startsWith("\xFF\xFE");
        doc.fEncoding = little ? TEncoding::Utf16LE : TEncoding::Utf16BE;
        QStringDecoder decoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        text = QString(decoder(text.mid(2))).toUtf8();
    }

    if (text.isEmpty())
        return doc;
    doc.fLineBreak = text.contains("\r\n") || !text.contains('\n') ? "\r\n" : "\n";
    doc.fEndsWithLineBreak = text.endsWith('\n');
    if (doc.fEndsWithLineBreak)
        text.chop(1);

    doc.fText = text;
    doc.fLines.reserve(text.count('\n') + 1);
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const qsizetype length = end - start - (end > start && text[end - 1] == '\r' ? 1 : 0);
        doc.fLines.append(TLine{start, length, {}, false});
        start = end + 1;
    }
    return doc;
}

QByteArrayView TIniDocument::Raw(const TLine& pLine) const
{
    return pLine.IsOwned ? QByteArrayView(pLine.Owned)
                         : QByteArrayView(fText).sliced(pLine.Offset, pLine.Length);
}

QByteArray TIniDocument::ToBytes() const
{
    QByteArray text;
    for (qsizetype i = 0; i < fLines.size(); ++i) {
        text += Raw(fLines[i]);
        if (i + 1 < fLines.size() || fEndsWithLineBreak)
            text += fLineBreak;
    }
    switch (fEncoding) {
    case TEncoding::Utf8:
        return text;
    case TEncoding::Utf8Bom:
        return kUtf8Bom + text;
    case TEncoding::Utf16LE:
    case TEncoding::Utf16BE: {
        const bool little = fEncoding == TEncoding::Utf16LE;
        QStringEncoder encoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                               QStringConverter::Flag::WriteBom);
        return encoder(QString::fromUtf8(text));
    }
    }
    return text;
}

int TIniDocument::FindSection(QStringView pSection) const
{
    const QByteArray wanted = pSection.toUtf8();
    for (qsizetype i = 0; i < fLines.size(); ++i) {
        const auto name = SectionNameOf(Raw(fLines[i]));
        if (name && NameMatches(*name, wanted))
            return int(i);
    }
    return -1;
}

int TIniDocument::SectionEnd(int pHeader) const
{
    qsizetype i = pHeader + 1;
    while (i < fLines.size() && !SectionNameOf(Raw(fLines[i])))
        ++i;
    return int(i);
}

int TIniDocument::FindKey(int pHeader, QStringView pKey) const
{
    const QByteArray wanted = pKey.toUtf8();
    const int end = SectionEnd(pHeader);
    for (int i = pHeader + 1; i < end; ++i) {
        const auto keyLine = KeyLineOf(Raw(fLines[i]));
        if (keyLine && NameMatches(keyLine->Key, wanted))
            return i;
    }
    return -1;
}

bool TIniDocument::SectionExists(QStringView pSection) const
{
    return FindSection(pSection) >= 0;
}

std::optional<QString> TIniDocument::ReadString(QStringView pSection, QStringView pKey) const
{
    const int header = FindSection(pSection);
    if (header < 0)
        return std::nullopt;
    const int line = FindKey(header, pKey);
    if (line < 0)
        return std::nullopt;
    return QString::fromUtf8(KeyLineOf(Raw(fLines[line]))->Value);
}

QString TIniDocument::ReadString(QStringView pSection, QStringView pKey,
                                 const QString& pDefault) const
{
    return ReadString(pSection, pKey).value_or(pDefault);
}

int TIniDocument::ReadInteger(QStringView pSection, QStringView pKey, int pDefault) const
{
    const auto text = ReadString(pSection, pKey);
    if (!text)
        return pDefault;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok, 10);
    return ok ? value : pDefault;
}

QStringList TIniDocument::ReadSectionKeys(QStringView pSection) const
{
    QStringList keys;
    const int header = FindSection(pSection);
    if (header < 0)
        return keys;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        if (const auto keyLine = KeyLineOf(Raw(fLines[i])))
            keys.append(QString::fromUtf8(keyLine->Key));
    }
    return keys;
}

void TIniDocument::WriteString(QStringView pSection, QStringView pKey, const QString& pValue)
{
    const QByteArray key = OneLine(pKey);
    const QByteArray line = key + '=' + OneLine(pValue);
    int header = FindSection(pSection);
    if (header < 0) {
        fLines.append(OwnedLine('[' + OneLine(pSection) + ']'));
        fLines.append(OwnedLine(line));
        fEndsWithLineBreak = true;
        return;
    }
    const int existing = FindKey(header, QString::fromUtf8(key));
    if (existing >= 0) {
        // Keep the stored spelling of the key; only the value changes.
        fLines[existing] =
            OwnedLine(KeyLineOf(Raw(fLines[existing]))->Key.toByteArray() + '=' + OneLine(pValue));
        return;
    }
    InsertKeyLine(header, line);
}

void TIniDocument::WriteKeyList(QStringView pSection, const QStringList& pKeys)
{
    EraseSection(pSection);
    if (pKeys.isEmpty())
        return;
    fLines.reserve(fLines.size() + pKeys.size() + 1);
    fLines.append(OwnedLine('[' + OneLine(pSection) + ']'));
    for (const QString& key : pKeys)
        fLines.append(OwnedLine(OneLine(key) + '='));
    fEndsWithLineBreak = true;
}

void TIniDocument::InsertKeyLine(int pHeader, const QByteArray& pLine)
{
    const int header = pHeader;
    // After the section's last non-blank line, so blank separator lines stay between sections.
    int insertAt = SectionEnd(header);
    while (insertAt > header + 1 && Raw(fLines[insertAt - 1]).trimmed().isEmpty())
        --insertAt;
    fLines.insert(insertAt, OwnedLine(pLine));
    if (insertAt == fLines.size() - 1)
        fEndsWithLineBreak = true;
}

void TIniDocument::WriteInteger(QStringView pSection, QStringView pKey, int pValue)
{
    WriteString(pSection, pKey, QString::number(pValue));
}

void TIniDocument::DeleteKey(QStringView pSection, QStringView pKey)
{
    const int header = FindSection(pSection);
    if (header < 0)
        return;
    const int line = FindKey(header, pKey);
    if (line >= 0)
        fLines.removeAt(line);
}

void TIniDocument::EraseSection(QStringView pSection)
{
    const int header = FindSection(pSection);
    if (header < 0)
        return;
    fLines.remove(header, SectionEnd(header) - header);
}

} // namespace kiv

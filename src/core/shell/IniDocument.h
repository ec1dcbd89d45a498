#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kiv {

// An INI file held in memory: "[section]" headers and "key=value" lines, as the settings files
// and the selection list's persistence store them. Parsing accepts any bytes (binary garbage,
// huge lines, invalid UTF-8, missing sections) and never fails; lookups then find nothing and
// callers fall back to their defaults. Writing a value changes only its own line (or adds one),
// so every other section, key, comment and undecodable byte of the file stays as it was.
//
// Section and key names match without regard to ASCII case, as INI files always have; the
// first of duplicated sections or keys is the one read and written.
//
// A plain value type: not shared between threads, no file access (callers read and write bytes).
class TIniDocument
{
public:
    TIniDocument() = default;
    static TIniDocument FromBytes(const QByteArray& pBytes);
    QByteArray ToBytes() const;

    bool SectionExists(QStringView pSection) const;
    std::optional<QString> ReadString(QStringView pSection, QStringView pKey) const;
    QString ReadString(QStringView pSection, QStringView pKey, const QString& pDefault) const;
    // A decimal integer (optional sign, surrounding blanks allowed) that fits 32 bits;
    // anything else gives pDefault.
    int ReadInteger(QStringView pSection, QStringView pKey, int pDefault) const;
    QStringList ReadSectionKeys(QStringView pSection) const;

    // Sets the key's value, adding the section (at the end) and the key (after the section's
    // last key) when missing. Line breaks in names or value cannot be stored and are replaced
    // by blanks.
    void WriteString(QStringView pSection, QStringView pKey, const QString& pValue);
    void WriteInteger(QStringView pSection, QStringView pKey, int pValue);
    // Replaces the section (moved to the end) by one key per name, each with an empty value,
    // in the order given and without matching names against each other: for sections that are
    // lists of names, where names that differ only in case are different entries.
    void WriteKeyList(QStringView pSection, const QStringList& pKeys);
    void DeleteKey(QStringView pSection, QStringView pKey);
    void EraseSection(QStringView pSection);

private:
    // Lines keep their raw bytes (without the line break) so untouched lines are written back
    // exactly; only names and values we read are decoded. A line read from the file is a range
    // of fText; one we wrote owns its bytes.
    struct TLine
    {
        qsizetype Offset = 0;
        qsizetype Length = 0;
        QByteArray Owned;
        bool IsOwned = false;
    };
    QByteArrayView Raw(const TLine& pLine) const;
    static TLine OwnedLine(QByteArray pBytes) { return TLine{0, 0, std::move(pBytes), true}; }
    enum class TEncoding
    {
        Utf8,
        Utf8Bom,
        Utf16LE,
        Utf16BE
    };

    int FindSection(QStringView pSection) const;
    int SectionEnd(int pHeader) const;
    int FindKey(int pHeader, QStringView pKey) const;
    void InsertKeyLine(int pHeader, const QByteArray& pLine);

    QByteArray fText;
    QList<TLine> fLines;
    TEncoding fEncoding = TEncoding::Utf8;
    QByteArray fLineBreak = "\r\n";
    bool fEndsWithLineBreak = true;
};

} // namespace kiv

#include "core/shell/ClipboardFiles.h"

#include "core/platform/FileNames.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kiv {

namespace {

constexpr qsizetype kDropFilesHeader = 20;
constexpr qsizetype kNameOffset = 72;
constexpr qsizetype kNameChars = 260;
constexpr qsizetype kWideRecord = 592;
constexpr qsizetype kAnsiRecord = 332;

std::uint32_t ReadU32(const QByteArray& pData, qsizetype pOffset)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(pData.constData()) + pOffset;
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

void WriteU32(QByteArray& pData, qsizetype pOffset, std::uint32_t pValue)
{
    for (int i = 0; i < 4; ++i)
        pData[pOffset + i] = static_cast<char>((pValue >> (8 * i)) & 0xFF);
}

int HexValue(char pChar)
{
    if (pChar >= '0' && pChar <= '9')
        return pChar - '0';
    if (pChar >= 'a' && pChar <= 'f')
        return pChar - 'a' + 10;
    if (pChar >= 'A' && pChar <= 'F')
        return pChar - 'A' + 10;
    return -1;
}

// The bytes of a percent-encoded text; nullopt for a cut or invalid escape.
std::optional<QByteArray> PercentDecode(QByteArray pText)
{
    QByteArray bytes;
    bytes.reserve(pText.size());
    for (qsizetype i = 0; i < pText.size(); ++i) {
        if (pText[i] != '%') {
            bytes.append(pText[i]);
            continue;
        }
        if (i + 2 >= pText.size())
            return std::nullopt;
        const int high = HexValue(pText[i + 1]);
        const int low = HexValue(pText[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

// A virtual file's name is created below the drop folder: relative paths of "\"-separated
// components are fine, anything that climbs out or names a drive is not.
bool IsSafeRelativeName(const QString& pName)
{
    if (pName.isEmpty())
        return false;
    const QStringList parts = pName.split(QRegularExpression(QStringLiteral("[\\\\/]")));
    for (const QString& part : parts) {
        if (part.isEmpty() || part == u"." || part == u".." || part.contains(u':'))
            return false;
    }
    return true;
}

enum class TUriKind
{
    LocalFile,
    Other,
    Malformed,
};

// The local path of one URI line.
TUriKind PathOfUri(QByteArray pLine, QString& pPath)
{
    static const QByteArray kFile("file:");
    // Schemes ignore letter case.
    if (pLine.first(std::min(pLine.size(), kFile.size())).toLower() != kFile)
        return pLine.contains(':') ? TUriKind::Other : TUriKind::Malformed;
    QByteArray rest = pLine.mid(kFile.size());
    if (rest.startsWith("//")) {
        rest = rest.mid(2);
        const qsizetype slash = rest.indexOf('/');
        if (slash < 0)
            return TUriKind::Malformed;
        const QByteArray host = rest.first(slash);
        if (!host.isEmpty() && host.toLower() != "localhost")
            return TUriKind::Malformed;
        rest = rest.mid(slash);
    }
    if (!rest.startsWith('/'))
        return TUriKind::Malformed;
    const std::optional<QByteArray> bytes = PercentDecode(rest);
    // A NUL cannot be part of a path.
    if (!bytes || bytes->contains('\0'))
        return TUriKind::Malformed;
    pPath = pf::DecodeFileName(std::string_view(bytes->constData(), bytes->size()));
    return TUriKind::LocalFile;
}

QByteArray UriOfPath(const QString& pPath)
{
    const std::string bytes = pf::EncodeFileName(pPath);
    // Everything but unreserved characters and "/" is escaped, so the text is plain ASCII.
    return "file://" +
           QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toPercentEncoding("/");
}

QList<QByteArray> Lines(const QByteArray& pData)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const QByteArray& data = pData;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArray line = data.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        start = end + 1;
    }
    return lines;
}

// The URIs after pFirst lines; nullopt when one is malformed.
std::optional<QStringList> PathsOfLines(const QList<QByteArray>& pLines, qsizetype pFirst,
                                        const TUriToPath& pOther)
{
    QStringList paths;
    for (qsizetype i = pFirst; i < pLines.size(); ++i) {
        const QByteArray line = pLines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QString path;
        switch (PathOfUri(line, path)) {
        case TUriKind::LocalFile:
            paths.append(path);
            break;
        case TUriKind::Other:
            if (pOther) {
                if (std::optional<QString> mapped = pOther(line))
                    paths.append(std::move(*mapped));
            }
            break;
        case TUriKind::Malformed:
            return std::nullopt;
        }
    }
    return paths;
}

} // namespace

QStringList TClipboardFiles::ParseUriList(const QByteArray& pData, const TUriToPath& pOther)
{
    return PathsOfLines(Lines(pData), 0, pOther).value_or(QStringList());
}

QByteArray TClipboardFiles::BuildUriList(const QStringList& pPaths)
{
    QByteArray data;
    for (const QString& path : pPaths)
        data += UriOfPath(path) + "\r\n";
    return data;
}

TCopiedFiles TClipboardFiles::ParseGnomeCopiedFiles(const QByteArray& pData,
                                                    const TUriToPath& pOther)
{
    const QList<QByteArray> lines = Lines(pData);
    if (lines.isEmpty())
        return {};
    const QByteArray operation = lines.front().trimmed();
    TCopiedFiles files;
    if (operation == "cut")
        files.Cut = true;
    else if (operation != "copy")
        return {};
    std::optional<QStringList> paths = PathsOfLines(lines, 1, pOther);
    if (!paths)
        return {};
    files.Paths = std::move(*paths);
    return files;
}

QByteArray TClipboardFiles::BuildGnomeCopiedFiles(const TCopiedFiles& pFiles)
{
    QByteArray data = pFiles.Cut ? "cut" : "copy";
    for (const QString& path : pFiles.Paths)
        data += '\n' + UriOfPath(path);
    return data;
}

QStringList TClipboardFiles::ParseDropFiles(const QByteArray& pData)
{
    if (pData.size() < kDropFilesHeader)
        return {};
    const std::uint32_t offset = ReadU32(pData, 0);
    const bool wide = ReadU32(pData, 16) != 0;
    if (offset < kDropFilesHeader || offset > static_cast<std::uint32_t>(pData.size()))
        return {};
    QStringList names;
    if (wide) {
        const qsizetype units = (pData.size() - static_cast<qsizetype>(offset)) / 2;
        const auto* bytes = reinterpret_cast<const unsigned char*>(pData.constData()) + offset;
        QString current;
        for (qsizetype i = 0; i < units; ++i) {
            const char16_t unit = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
            if (unit != 0) {
                current.append(QChar(unit));
                continue;
            }
            if (current.isEmpty())
                return names; // the empty name ends the list
            names.append(current);
            current.clear();
        }
        return {}; // no terminating empty name: cut short
    }
    QByteArray current;
    for (qsizetype i = offset; i < pData.size(); ++i) {
        if (pData[i] != '\0') {
            current.append(pData[i]);
            continue;
        }
        if (current.isEmpty())
            return names;
        names.append(QString::fromLatin1(current));
        current.clear();
    }
    return {};
}

QByteArray TClipboardFiles::BuildDropFiles(const QStringList& pPaths)
{
    QByteArray data(kDropFilesHeader, '\0');
    WriteU32(data, 0, static_cast<std::uint32_t>(kDropFilesHeader));
    WriteU32(data, 16, 1);
    auto appendUnit = [&data](char16_t pUnit) {
        data.append(static_cast<char>(pUnit & 0xFF));
        data.append(static_cast<char>(pUnit >> 8));
    };
    for (const QString& path : pPaths) {
        for (const QChar c : path)
            appendUnit(c.unicode());
        appendUnit(0);
    }
    appendUnit(0);
    return data;
}

QStringList TClipboardFiles::ParseFileGroupDescriptor(const QByteArray& pData, bool pWide)
{
    if (pData.size() < 4)
        return {};
    const qsizetype record = pWide ? kWideRecord : kAnsiRecord;
    const std::uint64_t count = ReadU32(pData, 0);
    if (count == 0 || count > static_cast<std::uint64_t>((pData.size() - 4) / record))
        return {};
    QStringList names;
    for (qsizetype i = 0; i < static_cast<qsizetype>(count); ++i) {
        const qsizetype name = 4 + i * record + kNameOffset;
        QString text;
        if (pWide) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(pData.constData()) + name;
            for (qsizetype c = 0; c < kNameChars; ++c) {
                const char16_t unit = static_cast<char16_t>(bytes[2 * c] | bytes[2 * c + 1] << 8);
                if (unit == 0)
                    break;
                text.append(QChar(unit));
            }
        } else {
            const QByteArray field = QByteArray(pData).mid(name, kNameChars);
            const qsizetype end = field.indexOf('\0');
            text = QString::fromLatin1(end < 0 ? field : field.first(end));
        }
        if (!IsSafeRelativeName(text))
            return {};
        names.append(text);
    }
    return names;
}

} // namespace kiv

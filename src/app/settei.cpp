#include "settei.h"

#include "core/shell/IniDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace settei {
namespace {

// Settings files are a few hundred bytes; anything far bigger is not ours to load into memory.
constexpr qint64 kMaxSettingsFileSize = 16 * 1024 * 1024;

enum class TReadResult
{
    Ok,
    Missing,
    Failed
};

TReadResult ReadSmallFile(const QString& pPath, QByteArray& pBytes)
{
    QFile file(pPath);
    if (!file.open(QIODevice::ReadOnly))
        return file.exists() ? TReadResult::Failed : TReadResult::Missing;
    if (file.size() > kMaxSettingsFileSize)
        return TReadResult::Failed;
    pBytes = file.read(kMaxSettingsFileSize + 1);
    return pBytes.size() > kMaxSettingsFileSize ? TReadResult::Failed : TReadResult::Ok;
}

// Replaces the file in one step, so a crash or full disk never leaves half a settings file.
bool ReplaceFile(const QString& pPath, const QByteArray& pBytes)
{
    QDir().mkpath(QFileInfo(pPath).absolutePath());
    QSaveFile file(pPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(pBytes);
    return file.commit();
}

bool IsWritableFolder(const QString& pFolder)
{
    const QFileInfo info(pFolder);
    return info.isDir() && info.isWritable();
}

} // namespace

TSettingsFolder::TSettingsFolder(QString pExecutableFolder, QString pConfigFolder,
                                 bool pExecutableFolderWritable)
    : fExecutableFolder(std::move(pExecutableFolder))
    , fConfigFolder(std::move(pConfigFolder))
    , fUseConfig(!pExecutableFolderWritable)
{
}

TSettingsFolder::TSettingsFolder(QString pExecutableFolder, QString pConfigFolder)
    : TSettingsFolder(pExecutableFolder, std::move(pConfigFolder),
                      IsWritableFolder(pExecutableFolder))
{
}

TSettingsFolder TSettingsFolder::ForThisProgram()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return TSettingsFolder(QCoreApplication::applicationDirPath(),
                           configHome + QStringLiteral("/tovaline"));
}

QString TSettingsFolder::ReadPath(const QString& pFileName) const
{
    const QString besideProgram = fExecutableFolder + u'/' + pFileName;
    if (!fUseConfig)
        return besideProgram;
    const QString own = fConfigFolder + u'/' + pFileName;
    return !QFile::exists(own) && QFile::exists(besideProgram) ? besideProgram : own;
}

QString TSettingsFolder::WritePath(const QString& pFileName) const
{
    return (fUseConfig ? fConfigFolder : fExecutableFolder) + u'/' + pFileName;
}

TWindowPlacement ReadPlacement(const QString& pIniPath)
{
    TWindowPlacement placement;
    QByteArray bytes;
    if (ReadSmallFile(pIniPath, bytes) != TReadResult::Ok)
        return placement;
    const auto ini = kiv::TIniDocument::FromBytes(bytes);
    placement.Top = ini.ReadInteger(kMainFormSection, u"top", placement.Top);
    placement.Left = ini.ReadInteger(kMainFormSection, u"left", placement.Left);
    placement.Width = ini.ReadInteger(kMainFormSection, u"width", placement.Width);
    placement.Height = ini.ReadInteger(kMainFormSection, u"height", placement.Height);
    return placement;
}

bool WritePlacement(const QString& pIniPath, const TWindowPlacement& pPlacement)
{
    QByteArray bytes;
    // A file we cannot read is left alone rather than replaced by one holding only our keys.
    if (ReadSmallFile(pIniPath, bytes) == TReadResult::Failed)
        return false;
    auto ini = kiv::TIniDocument::FromBytes(bytes);
    ini.WriteInteger(kMainFormSection, u"top", pPlacement.Top);
    ini.WriteInteger(kMainFormSection, u"left", pPlacement.Left);
    ini.WriteInteger(kMainFormSection, u"width", pPlacement.Width);
    ini.WriteInteger(kMainFormSection, u"height", pPlacement.Height);
    return ReplaceFile(pIniPath, ini.ToBytes());
}

TWindowPlacement KeepOnScreen(TWindowPlacement pPlacement, const QList<QRect>& pMonitors)
{
    qint64 totalWidth = 0;
    int smallestHeight = pMonitors.isEmpty() ? 0 : pMonitors.first().height();
    for (const QRect& monitor : pMonitors) {
        totalWidth += monitor.width();
        smallestHeight = std::min(smallestHeight, monitor.height());
    }
    // 64-bit sums: a stored edge near INT_MAX must not wrap round and pass the test.
    if (qint64(pPlacement.Left) + 100 > totalWidth)
        pPlacement.Left = 50;
    if (qint64(pPlacement.Top) + 100 > smallestHeight)
        pPlacement.Top = 50;
    return pPlacement;
}

QStringList ReadTabSet(const QString& pMemoPath)
{
    QByteArray bytes;
    if (ReadSmallFile(pMemoPath, bytes) != TReadResult::Ok || bytes.isEmpty())
        return {};
    const auto encoding = QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decoder(encoding);
    const QString text = decoder(bytes);

    // Line breaks are CR LF as written, but LF or CR alone are accepted as well.
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

bool WriteTabSet(const QString& pMemoPath, const QStringList& pPaths)
{
    QByteArray bytes;
    for (const QString& path : pPaths)
        bytes += path.toUtf8() + "\r\n";
    return ReplaceFile(pMemoPath, bytes);
}

QString TabCaption(const QString& pPath)
{
    return pPath.mid(pPath.lastIndexOf(u'/') + 1);
}

} // namespace settei

#include "core/platform/INetwork.h"

#include <QUrl>

namespace kiv::pf {

namespace {

bool IsKnownScheme(const QString& pScheme)
{
    static const QStringList kSchemes = {
        QStringLiteral("smb"),  QStringLiteral("sftp"), QStringLiteral("ssh"),
        QStringLiteral("ftp"),  QStringLiteral("ftps"), QStringLiteral("dav"),
        QStringLiteral("davs"), QStringLiteral("nfs"),  QStringLiteral("afp")};
    return kSchemes.contains(pScheme);
}

// "\\server\share\dir" or "//server/share/dir" (already with "/") → smb URI.
QString UncToUri(QString pPath)
{
    pPath.replace(u'\\', u'/');
    const QStringList parts = pPath.mid(2).split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    QUrl url;
    url.setScheme(QStringLiteral("smb"));
    url.setHost(parts.first());
    if (url.host().isEmpty())
        return {};
    if (parts.size() > 1)
        url.setPath(u'/' + parts.mid(1).join(u'/'));
    return url.isValid() ? url.toString(QUrl::FullyEncoded) : QString();
}

} // namespace

QString RemotePathToUri(const QString& pPath)
{
    const QString path = pPath.trimmed();
    if (path.startsWith(QLatin1String("\\\\")) || path.startsWith(QLatin1String("//")))
        return UncToUri(path);
    const qsizetype colon = path.indexOf(QLatin1String("://"));
    if (colon <= 0)
        return {};
    QUrl url(path, QUrl::TolerantMode);
    if (!url.isValid() || !IsKnownScheme(url.scheme().toLower()) || url.host().isEmpty())
        return {};
    url.setScheme(url.scheme().toLower());
    // A trailing "/" names the same share; without it the URIs compare equal in the recent list.
    QString uriPath = url.path();
    while (uriPath.size() > 1 && uriPath.endsWith(u'/'))
        uriPath.chop(1);
    url.setPath(uriPath == QLatin1String("/") ? QString() : uriPath);
    return url.toString(QUrl::FullyEncoded);
}

} // namespace kiv::pf

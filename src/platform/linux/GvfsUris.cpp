#include "GvfsUris.h"

#include "Handles.h"
#include "core/platform/FileNames.h"

#include <QUrl>

#include <cstdlib>
#include <dirent.h>
#include <map>
#include <memory>
#include <string_view>

namespace kiv::pf::lnx {

namespace {

// A mount folder's name: "type:key=value,key=value", values percent-escaped.
struct TMountSpec
{
    QString Type;
    std::map<QString, QString> Keys;
};

std::optional<TMountSpec> ParseMountName(const QString& pName)
{
    const qsizetype colon = pName.indexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    TMountSpec spec;
    spec.Type = pName.first(colon);
    const QStringList pairs = pName.mid(colon + 1).split(u',', Qt::SkipEmptyParts);
    for (const QString& pair : pairs) {
        const qsizetype equals = pair.indexOf(u'=');
        if (equals <= 0)
            return std::nullopt;
        spec.Keys[pair.first(equals)] = QUrl::fromPercentEncoding(pair.mid(equals + 1).toUtf8());
    }
    return spec;
}

// What a URI asks of a mount: its type and keys, and the path inside it (percent-encoded).
struct TWanted
{
    QString Type;
    // Keys compared ignoring letter case (host names, share names).
    std::map<QString, QString> Folded;
    // Keys compared exactly; a key the URI does not give matches any value.
    std::map<QString, QString> Exact;
    QByteArray Path;
};

std::optional<TWanted> WantedOfUri(const QByteArray& pUri)
{
    const QUrl url = QUrl::fromEncoded(pUri);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    TWanted wanted;
    const QString scheme = url.scheme().toLower();
    wanted.Path = url.path(QUrl::FullyEncoded).toUtf8();
    if (wanted.Path.isEmpty())
        wanted.Path = "/";
    if (scheme == u"smb") {
        // smb://server/share/path: the share is part of the mount, the rest is inside it.
        const qsizetype end = wanted.Path.indexOf('/', 1);
        const QByteArray share = wanted.Path.mid(1, end < 0 ? -1 : end - 1);
        if (share.isEmpty())
            return std::nullopt;
        wanted.Type = QStringLiteral("smb-share");
        wanted.Folded[QStringLiteral("server")] = url.host();
        wanted.Folded[QStringLiteral("share")] = QUrl::fromPercentEncoding(share);
        wanted.Path = end < 0 ? QByteArray("/") : wanted.Path.mid(end);
    } else if (scheme == u"dav" || scheme == u"davs") {
        // One mount type for both; the encrypted one is told by its "ssl" key.
        wanted.Type = QStringLiteral("dav");
        wanted.Folded[QStringLiteral("host")] = url.host();
        wanted.Exact[QStringLiteral("ssl")] =
            scheme == u"davs" ? QStringLiteral("true") : QStringLiteral("false");
    } else {
        wanted.Type = scheme;
        wanted.Folded[QStringLiteral("host")] = url.host();
    }
    if (!url.userName().isEmpty())
        wanted.Exact[QStringLiteral("user")] = url.userName();
    if (url.port() >= 0)
        wanted.Exact[QStringLiteral("port")] = QString::number(url.port());
    return wanted;
}

bool Serves(const TMountSpec& pMount, const TWanted& pWanted)
{
    if (pMount.Type != pWanted.Type)
        return false;
    for (const auto& [key, value] : pWanted.Folded) {
        const auto found = pMount.Keys.find(key);
        if (found == pMount.Keys.end() || found->second.compare(value, Qt::CaseInsensitive) != 0)
            return false;
    }
    for (const auto& [key, value] : pWanted.Exact) {
        const auto found = pMount.Keys.find(key);
        if (found == pMount.Keys.end() || found->second != value)
            return false;
    }
    return true;
}

QStringList ListMounts(const QString& pRoot)
{
    QStringList names;
    const std::string root = EncodeFileName(pRoot);
    const TDir dir(::opendir(root.c_str()));
    if (!dir.IsValid())
        return names;
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..")
            names.append(DecodeFileName(name));
    }
    names.sort();
    return names;
}

} // namespace

std::optional<QString> GvfsPathOfUri(const QByteArray& pUri, const QString& pGvfsRoot,
                                     const QStringList& pMounts)
{
    const std::optional<TWanted> wanted = WantedOfUri(pUri);
    if (!wanted)
        return std::nullopt;
    const QByteArray inside = QByteArray::fromPercentEncoding(wanted->Path);
    // A NUL cannot be part of a path, and ".." must not climb out of the mount.
    if (inside.contains('\0'))
        return std::nullopt;
    for (const QByteArray& part : inside.split('/')) {
        if (part == "..")
            return std::nullopt;
    }
    for (const QString& mount : pMounts) {
        const std::optional<TMountSpec> spec = ParseMountName(mount);
        if (!spec || !Serves(*spec, *wanted))
            continue;
        std::string bytes = EncodeFileName(pGvfsRoot + u'/' + mount);
        bytes.append(inside.constData(), static_cast<std::size_t>(inside.size()));
        if (bytes.size() > 1 && bytes.back() == '/')
            bytes.pop_back();
        return DecodeFileName(bytes);
    }
    return std::nullopt;
}

TUriToPath GvfsUriMapper()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return {};
    const QString root = DecodeFileName(runtime) + QStringLiteral("/gvfs");
    // Listed on first use and shared by the copies of the mapper.
    auto mounts = std::make_shared<std::optional<QStringList>>();
    return [root, mounts](const QByteArray& pUri) -> std::optional<QString> {
        if (!*mounts)
            *mounts = ListMounts(root);
        return GvfsPathOfUri(pUri, root, **mounts);
    };
}

} // namespace kiv::pf::lnx

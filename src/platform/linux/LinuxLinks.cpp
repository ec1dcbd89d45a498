#include "LinuxLinks.h"

#include "Handles.h"
#include "PercentEncoding.h"
#include "XdgDirs.h"

#include <QDateTime>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

std::string ReadFile(const std::string& pPath, std::size_t pLimit)
{
    std::string text;
    TFd fd(::open(pPath.c_str(), O_RDONLY | O_CLOEXEC));
    std::array<char, 16384> buffer{};
    while (fd.IsValid() && text.size() < pLimit) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n <= 0)
            break;
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return text;
}

std::uint64_t TicksOf(const QString& pIsoTime)
{
    const QDateTime when = QDateTime::fromString(pIsoTime, Qt::ISODateWithMs);
    if (!when.isValid())
        return 0;
    // 100 ns units since 1601.
    return static_cast<std::uint64_t>(when.toMSecsSinceEpoch() + Q_INT64_C(11644473600000)) *
           10000u;
}

} // namespace

std::string PathFromFileUri(std::string_view pUri)
{
    constexpr std::string_view kScheme = "file://";
    if (pUri.substr(0, kScheme.size()) != kScheme)
        return {};
    std::string_view rest = pUri.substr(kScheme.size());
    // "file://localhost/x" names the local "/x"; other hosts are not local.
    if (rest.substr(0, 9) == "localhost")
        rest = rest.substr(9);
    if (rest.empty() || rest[0] != '/')
        return {};
    std::string path = PercentDecode(rest);
    // A NUL byte cannot be part of a path.
    if (path.find('\0') != std::string::npos)
        return {};
    return path;
}

std::vector<TLink> ParseBookmarks(std::string_view pText)
{
    std::vector<TLink> links;
    std::size_t pos = 0;
    while (pos < pText.size()) {
        const std::size_t end = std::min(pText.find('\n', pos), pText.size());
        std::string_view line = pText.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t blank = line.find(' ');
        TLink link;
        link.Target = PathFromFileUri(line.substr(0, blank));
        if (link.Target.empty())
            continue;
        if (blank != std::string_view::npos)
            link.Label = std::string(line.substr(blank + 1));
        links.push_back(std::move(link));
    }
    return links;
}

std::vector<TLink> ParseRecentlyUsed(std::string_view pText)
{
    std::vector<TLink> links;
    QXmlStreamReader xml(
        QByteArray::fromRawData(pText.data(), static_cast<qsizetype>(pText.size())));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"bookmark")
            continue;
        const auto attributes = xml.attributes();
        TLink link;
        link.Target =
            PathFromFileUri(attributes.value(QLatin1String("href")).toUtf8().toStdString());
        if (link.Target.empty())
            continue;
        for (const char* name : {"added", "modified", "visited"})
            link.Time =
                std::max(link.Time, TicksOf(attributes.value(QLatin1String(name)).toString()));
        links.push_back(std::move(link));
    }
    std::stable_sort(links.begin(), links.end(),
                     [](const TLink& pA, const TLink& pB) { return pA.Time > pB.Time; });
    return links;
}

std::vector<TLink> ReadBookmarks()
{
    // A bookmarks file is a few lines; 1 MiB bounds an odd one.
    return ParseBookmarks(ReadFile(TXdgDirs::Load().ConfigHome + "/gtk-3.0/bookmarks", 1 << 20));
}

std::vector<TLink> ReadRecentlyUsed()
{
    // Desktops cap this file themselves; 16 MiB bounds a runaway one.
    return ParseRecentlyUsed(ReadFile(TXdgDirs::Load().DataHome + "/recently-used.xbel", 16 << 20));
}

} // namespace kiv::pf::lnx

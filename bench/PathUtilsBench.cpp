// The cost of the path operations the views call for every item and every typed path: joining a
// folder and a name, making a typed path canonical, and the URL test, on a table of realistic
// paths of this host. Baselines in the same run: Qt's QDir::cleanPath for joining and
// canonicalising (it does the same lexical "."/".." and "//" work) and QUrl for the URL test.
#include "KivBench.h"
#include "core/shell/PathUtils.h"

#include <QDir>
#include <QStringList>
#include <QUrl>

using namespace kiv;
using namespace kiv::bench;

namespace {

constexpr int kCalls = 200000;

class TBenchEnvironment final : public IPathEnvironment
{
public:
    QString CurrentDir() const override { return QStringLiteral("/home/alice/work"); }
    QString HomeDir() const override { return QStringLiteral("/home/alice"); }
    QString VolumeRootOf(const QString&) const override { return QStringLiteral("/"); }
    std::optional<QString> LongPathName(const QString&) const override { return std::nullopt; }
    std::optional<std::uint32_t> FileAttributes(const QString&) const override
    {
        return std::nullopt;
    }
    std::optional<std::uint32_t> FindFirstAttributes(const QString&) const override
    {
        return std::nullopt;
    }
    QString MyComputerName() const override { return QStringLiteral("This PC"); }
};

bool QtIsUrl(const QString& pText)
{
    const QUrl url(pText);
    return url.isValid() && url.scheme().size() >= 2;
}

} // namespace

int main()
{
    TPathUtils::InstallEnvironment(std::make_shared<TBenchEnvironment>());
    const QStringList folders = {
        QStringLiteral("/home/alice/Documents"),
        QStringLiteral("/home/alice/Pictures/2024/Holidays/"),
        QStringLiteral("/usr/share/icons/hicolor/48x48/apps"),
        QStringLiteral("/mnt/nas/projects/tovaline/src/core/shell"),
        QStringLiteral("/var/log"),
        QStringLiteral("/home/alice/.local/share/Trash/files"),
        QStringLiteral("/media/alice/USB STICK/backup/2023-11-04"),
        QStringLiteral("/home/alice/Music/Artist - Album (1999)/CD 1"),
    };

    const QStringList names = {
        QStringLiteral("report.pdf"),          QStringLiteral("IMG_20240712_183012.jpg"),
        QStringLiteral("../README.md"),        QStringLiteral("./notes.txt"),
        QStringLiteral("sub/folder/file.txt"), QStringLiteral("01 - Track.flac"),
        QStringLiteral("a/../b/./c.h"),
    };

    // Typed or stored paths as they reach canonicalisation: mostly clean, some with dots and runs.
    const QStringList typed = {
        QStringLiteral("/home/alice/Documents/report.pdf"),
        QStringLiteral("/home/alice/Documents/../Downloads/setup.tar.gz"),
        QStringLiteral("/usr/share//doc/./bash/README"),
        QStringLiteral("/mnt/nas/projects/tovaline/src/core/shell/PathUtils.cpp"),
        QStringLiteral("/home/alice/Pictures/2024/Holidays/IMG_0001.JPG"),
        QStringLiteral("/var/log/../../etc/hosts"),
        QStringLiteral("/media/alice/USB STICK/backup/2023-11-04/"),
        QStringLiteral("/home/alice/Music/Artist - Album (1999)/CD 1/01 - Track.flac"),
    };

    // What the URL test sees: mostly paths, some URLs and scheme-like texts.
    const QStringList urlCandidates = {
        QStringLiteral("/home/alice/Documents/report.pdf"),
        QStringLiteral("https://example.org/downloads/file.zip"),
        QStringLiteral("/usr/share/doc/bash/README"),
        QStringLiteral("sftp://alice@nas.local/projects"),
        QStringLiteral("notes.txt"),
        QStringLiteral("smb://server/share/folder"),
        QStringLiteral("file:///home/alice/x.txt"),
        QStringLiteral("/media/alice/USB STICK/backup"),
    };

    qsizetype sink = 0;
    int next = 0;

    const double joinOurs = SecondsPerCall(
        [&] {
            const int i = next++;
            sink +=
                TPathUtils::Combine(folders[i % folders.size()], names[i % names.size()]).size();
        },
        kCalls);
    const double joinQt = SecondsPerCall(
        [&] {
            const int i = next++;
            sink += QDir::cleanPath(folders[i % folders.size()] + u'/' + names[i % names.size()])
                        .size();
        },
        kCalls);

    const double canonicOurs = SecondsPerCall(
        [&] { sink += TPathUtils::MakeCanonic(typed[next++ % typed.size()]).size(); }, kCalls);
    const double canonicQt = SecondsPerCall(
        [&] { sink += QDir::cleanPath(typed[next++ % typed.size()]).size(); }, kCalls);

    const double urlOurs = SecondsPerCall(
        [&] { sink += TPathUtils::IsURL(urlCandidates[next++ % urlCandidates.size()]); }, kCalls);
    const double urlQt = SecondsPerCall(
        [&] { sink += QtIsUrl(urlCandidates[next++ % urlCandidates.size()]); }, kCalls);

    // The Windows style on the same kind of table (no Qt counterpart: reported for reference).
    const QStringList windowsTyped = {
        QStringLiteral("C:\\Users\\alice\\Documents\\..\\Downloads\\setup.exe"),
        QStringLiteral("\\\\nas\\projects\\\\tovaline\\src\\core"),
        QStringLiteral("C:\\Program Files\\Tovaline\\tovaline.exe"),
        QStringLiteral("D:\\Photos\\2024\\.\\IMG_0001.JPG"),
    };
    const double canonicWindows = SecondsPerCall(
        [&] {
            sink += TPathUtils::MakeCanonic(windowsTyped[next++ % windowsTyped.size()],
                                            TPathStyle::psWindows)
                        .size();
        },
        kCalls);

    Bench("pathutils_join", joinOurs * 1e9, "ns");
    Bench("pathutils_join_qdir_cleanpath", joinQt * 1e9, "ns");
    Ratio("pathutils_join_vs_qdir_cleanpath", joinOurs, joinQt);
    Bench("pathutils_canonic", canonicOurs * 1e9, "ns");
    Bench("pathutils_canonic_qdir_cleanpath", canonicQt * 1e9, "ns");
    Ratio("pathutils_canonic_vs_qdir_cleanpath", canonicOurs, canonicQt);
    Bench("pathutils_isurl", urlOurs * 1e9, "ns");
    Bench("pathutils_isurl_qurl", urlQt * 1e9, "ns");
    Ratio("pathutils_isurl_vs_qurl", urlOurs, urlQt);
    Bench("pathutils_canonic_windows_style", canonicWindows * 1e9, "ns");
    return sink == 42 ? 2 : 0;
}

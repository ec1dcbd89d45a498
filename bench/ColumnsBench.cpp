// The texts of a details view: Date modified, Type and Size of every item of a large folder as
// the folder's columns give them (from the items' snapshots, type names cached per extension),
// against what a plain Qt file list does for the same texts (the entries' find data through
// QDirIterator, the MIME type's comment by name, the locale's formats), in the same run.

#include "KivBench.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IShellFolder.h"
#include "core/platform/ShellConstants.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// 20,000 entries of 50 types: a large folder, where per-item costs decide how fast a details
// view fills.
constexpr int kEntries = 20000;
constexpr int kTypes = 50;
const char* const kExtensions[kTypes] = {
    "txt",  "pdf",  "png", "jpg", "gif", "mp3", "ogg", "wav", "mp4",  "mkv", "avi",  "zip", "tar",
    "gz",   "xz",   "bz2", "7z",  "doc", "odt", "ods", "odp", "xls",  "ppt", "html", "css", "js",
    "json", "xml",  "svg", "c",   "cpp", "h",   "py",  "sh",  "rs",   "go",  "java", "md",  "csv",
    "ini",  "conf", "log", "iso", "deb", "rpm", "ttf", "otf", "epub", "bmp", "tiff"};

void Fill(const std::string& pFolder)
{
    char name[96];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "/file-%06d.%s", i, kExtensions[i % kTypes]);
        const int fd = ::open((pFolder + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0)
            continue;
        if (i % 7 == 0 && ::write(fd, "some content", 12) != 12)
            std::perror("write");
        ::close(fd);
    }
}

std::size_t ColumnTexts(kiv::pf::IShellFolder2& pColumns,
                        const std::vector<kiv::pf::IdListBytes>& pItems)
{
    std::size_t total = 0;
    kiv::pf::ShellDetails details;
    for (const kiv::pf::IdListBytes& item : pItems) {
        const kiv::pf::IdSpan span(item);
        for (std::uint32_t column = 1; column <= 3; ++column) {
            pColumns.GetDetailsOf(&span, column, details);
            total += static_cast<std::size_t>(details.Text.size());
        }
    }
    return total;
}

std::size_t QtTexts(const QString& pFolder)
{
    std::size_t total = 0;
    const QLocale locale;
    const QMimeDatabase mime;
    QDirIterator it(pFolder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QDateTime modified = info.lastModified();
        const QString date = locale.toString(modified.date(), QLocale::ShortFormat) + u' ' +
                             locale.toString(modified.time(), QLocale::ShortFormat);
        const QString type =
            mime.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension).comment();
        const QString size = locale.toString((info.size() + 1023) / 1024) + QStringLiteral(" KB");
        total += static_cast<std::size_t>(date.size() + type.size() + size.size());
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    Fill(dir.path().toStdString());

    kiv::pf::TScopedPlatform platform(kiv::pf::lnx::CreateLinuxPlatform());
    kiv::pf::INamespace& ns = kiv::pf::Platform().Namespace();
    kiv::pf::IdListBytes list;
    kiv::pf::IShellFolderPtr folder;
    if (kiv::pf::Failed(
            ns.Desktop()->ParseDisplayName(nullptr, nullptr, dir.path(), list, nullptr)) ||
        kiv::pf::Failed(ns.BindToFolder(kiv::pf::IdSpan(list), folder)) || !folder->AsFolder2())
        return 1;
    // The items as a list holds them after its enumeration (not timed: the enumeration has a
    // benchmark of its own).
    std::vector<kiv::pf::IdListBytes> items;
    kiv::pf::IEnumIDListPtr entries;
    if (folder->EnumObjects(nullptr, kiv::pf::shcontf::NONFOLDERS, entries) != kiv::pf::S_OK)
        return 1;
    kiv::pf::IdListBytes item;
    while (entries->Next(item) == kiv::pf::S_OK)
        items.push_back(item);

    volatile std::size_t sink = ColumnTexts(*folder->AsFolder2(), items) + QtTexts(dir.path());
    double ours = std::numeric_limits<double>::max();
    double qt = ours;
    auto time = [](auto&& pWork) {
        const auto start = std::chrono::steady_clock::now();
        pWork();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // Turn by turn, each keeping its best round, so other work on the machine weighs alike.
    for (int round = 0; round < 5; ++round) {
        ours =
            std::min(ours, time([&] { sink = sink + ColumnTexts(*folder->AsFolder2(), items); }));
        qt = std::min(qt, time([&] { sink = sink + QtTexts(dir.path()); }));
    }
    kiv::bench::Bench("columns_folder_texts", ours * 1e6 / kEntries, "us/item");
    kiv::bench::Bench("columns_qt_file_list_texts", qt * 1e6 / kEntries, "us/item");
    kiv::bench::Ratio("columns_folder_vs_qt_file_list", ours, qt);
    return 0;
}

// Enumerating a large folder: the namespace's enumeration (one item per entry with its snapshot,
// and the attributes a list asks for) against a raw readdir + statx loop, the floor of what the
// system allows, and against QDirIterator reading size and date, all in the same run.

#include "KivBench.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 100,000 entries: a folder size users meet in download and camera folders, and large enough
// that per-entry costs dominate the fixed ones.
constexpr int kEntries = 100000;

void Fill(const std::string& pFolder)
{
    char name[64];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "/file-%06d.dat", i);
        const int fd = ::open((pFolder + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            // A few files with content, so sizes differ.
            if (i % 100 == 0 && ::write(fd, "data", 4) != 4)
                std::perror("write");
            ::close(fd);
        }
    }
}

// The floor: every entry read and stat'ed with the fields a list shows.
std::uint64_t RawLoop(const std::string& pFolder)
{
    std::uint64_t total = 0;
    DIR* dir = ::opendir(pFolder.c_str());
    if (!dir)
        return 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' &&
            (entry->d_name[1] == 0 || (entry->d_name[1] == '.' && entry->d_name[2] == 0)))
            continue;
        struct statx st
        {
        };
        if (::statx(::dirfd(dir), entry->d_name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                    STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME, &st) == 0)
            total += st.stx_size + static_cast<std::uint64_t>(st.stx_mtime.tv_sec & 1);
    }
    ::closedir(dir);
    return total;
}

std::uint64_t NamespaceLoop(kiv::pf::INamespace& pNamespace, kiv::pf::IdSpan pFolder)
{
    using namespace kiv::pf;
    std::uint64_t total = 0;
    IShellFolderPtr folder;
    if (Failed(pNamespace.BindToFolder(pFolder, folder)))
        return 0;
    IEnumIDListPtr items;
    if (Failed(folder->EnumObjects(nullptr, 0x100E0, items)) || !items)
        return 0;
    IdListBytes item;
    FindData data;
    // What a file list asks of each item while it fills itself.
    constexpr std::uint32_t kMask = sfgao::FOLDER | sfgao::FILESYSTEM | sfgao::HIDDEN |
                                    sfgao::LINK | sfgao::READONLY | sfgao::STREAM |
                                    sfgao::CANRENAME | sfgao::CANDELETE | sfgao::ISSLOW;
    while (items->Next(item) == S_OK) {
        std::uint32_t attributes = kMask;
        const IdSpan one[] = {IdSpan(item)};
        folder->GetAttributesOf(one, attributes);
        folder->GetFindData(IdSpan(item), data);
        total += data.Size + (data.LastWriteTime.Ticks & 1) + (attributes & 1);
    }
    return total;
}

std::uint64_t QtLoop(const QString& pFolder)
{
    std::uint64_t total = 0;
    QDirIterator it(pFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        total += static_cast<std::uint64_t>(info.size()) +
                 static_cast<std::uint64_t>(info.lastModified().toSecsSinceEpoch() & 1);
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
    const std::string folder = dir.path().toStdString();
    Fill(folder);

    auto platform = kiv::pf::lnx::CreateLinuxPlatform();
    kiv::pf::IdListBytes list;
    if (kiv::pf::Failed(platform->Namespace().Desktop()->ParseDisplayName(
            nullptr, nullptr, dir.path(), list, nullptr)))
        return 1;

    volatile std::uint64_t sink = RawLoop(folder); // warms the caches for every contender
    const double raw = kiv::bench::SecondsPerCall([&] { sink = sink + RawLoop(folder); }, 1);
    const double ours = kiv::bench::SecondsPerCall(
        [&] { sink = sink + NamespaceLoop(platform->Namespace(), kiv::pf::IdSpan(list)); }, 1);
    const double qt = kiv::bench::SecondsPerCall([&] { sink = sink + QtLoop(dir.path()); }, 1);

    kiv::bench::Bench("enum_raw_readdir_statx", raw * 1e6 / kEntries, "us/entry");
    kiv::bench::Bench("enum_namespace", ours * 1e6 / kEntries, "us/entry");
    kiv::bench::Bench("enum_qdiriterator", qt * 1e6 / kEntries, "us/entry");
    kiv::bench::Ratio("enum_namespace_vs_raw", ours, raw);
    kiv::bench::Ratio("enum_namespace_vs_qdiriterator", ours, qt);
    return 0;
}

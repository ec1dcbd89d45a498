#pragma once

// The large folder the enumeration benchmarks list, the floor they are measured against (a raw
// readdir + statx loop reading what a list shows: name, type, mode, size, date), and the tool a
// Qt program would pick instead (QDirIterator with size and date).

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kiv::bench {

// pEntries empty files "file-NNNNNNN.dat" in pFolder; one in a hundred has content, so sizes
// differ.
inline void FillEnumFolder(const std::string& pFolder, int pEntries)
{
    char name[64];
    for (int i = 0; i < pEntries; ++i) {
        std::snprintf(name, sizeof name, "/file-%07d.dat", i);
        const int fd = ::open((pFolder + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (i % 100 == 0 && ::write(fd, "data", 4) != 4)
                std::perror("write");
            ::close(fd);
        }
    }
}

// Every entry read and stat'ed; the sum keeps the compiler from dropping the work.
inline std::uint64_t RawEnumLoop(const std::string& pFolder)
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
            total += st.stx_size + static_cast<std::uint64_t>(st.stx_mtime.tv_sec & 1) +
                     std::char_traits<char>::length(entry->d_name);
    }
    ::closedir(dir);
    return total;
}

inline std::uint64_t QtEnumLoop(const QString& pFolder)
{
    std::uint64_t total = 0;
    QDirIterator it(pFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        total += static_cast<std::uint64_t>(info.size()) +
                 static_cast<std::uint64_t>(info.lastModified().toSecsSinceEpoch() & 1) +
                 static_cast<std::uint64_t>(info.fileName().size());
    }
    return total;
}

} // namespace kiv::bench

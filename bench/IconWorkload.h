#pragma once

// The listing the icon benchmarks ask about: 100,000 file items (a large download or camera
// folder) of 50 types (a mixed working folder), as binary lists below the root mount and as
// names.

#include "core/platform/IdList.h"
#include "platform/linux/LinuxItems.h"
#include "platform/linux/LinuxNamespace.h"

#include <QString>

#include <cstdio>
#include <vector>

namespace kiv::bench {

inline constexpr int kIconItems = 100000;
inline constexpr int kIconTypes = 50;

inline const char* const kIconExtensions[kIconTypes] = {
    "png", "jpg",    "gif",  "svg", "webp", "tif",    "bmp", "txt",  "md",   "html",
    "css", "js",     "json", "xml", "yaml", "c",      "cpp", "h",    "py",   "sh",
    "rs",  "go",     "java", "pdf", "odt",  "ods",    "odp", "docx", "xlsx", "pptx",
    "zip", "tar.gz", "7z",   "deb", "iso",  "mp3",    "ogg", "flac", "wav",  "mp4",
    "mkv", "webm",   "avi",  "ttf", "otf",  "sqlite", "csv", "log",  "ini",  "zzqx"};

inline std::vector<pf::IdListBytes> MakeIconItemLists()
{
    const pf::IdListBytes drive =
        pf::idl::Append(pf::IdSpan(pf::lnx::ThisPcList()), pf::lnx::MakeMountItem("/", 0));
    std::vector<pf::IdListBytes> items;
    items.reserve(kIconItems);
    pf::lnx::TSnapshot snapshot;
    snapshot.Mode = 0100644;
    char name[64];
    for (int i = 0; i < kIconItems; ++i) {
        std::snprintf(name, sizeof name, "file-%06d.%s", i, kIconExtensions[i % kIconTypes]);
        items.push_back(
            pf::idl::Append(pf::IdSpan(drive), pf::lnx::MakeFsItem(false, snapshot, name)));
    }
    return items;
}

inline std::vector<QString> MakeIconItemNames()
{
    std::vector<QString> names;
    names.reserve(kIconItems);
    for (int i = 0; i < kIconItems; ++i)
        names.push_back(QStringLiteral("file-%1.%2")
                            .arg(i, 6, 10, QLatin1Char('0'))
                            .arg(QLatin1String(kIconExtensions[i % kIconTypes])));
    return names;
}

} // namespace kiv::bench

#include "LinuxSettings.h"

#include "DesktopEntry.h"
#include "Handles.h"
#include "SmallFile.h"
#include "XdgDirs.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

void ReadFolder(const std::string& pFolder, const std::string& pPrefix, int pDepth,
                std::set<std::string>& pSeen, std::vector<TSettingsEntry>& pEntries)
{
    TDir dir(::opendir(pFolder.c_str()));
    while (dir.IsValid()) {
        const dirent* entry = ::readdir(dir.Get());
        if (!entry)
            break;
        const std::string name(entry->d_name);
        if (name.empty() || name[0] == '.')
            continue;
        if (entry->d_type == DT_DIR) {
            // Vendor sub-folders ("kde4/") add their name to the id; two levels are plenty.
            if (pDepth < 2)
                ReadFolder(pFolder + "/" + name, pPrefix + name + "-", pDepth + 1, pSeen, pEntries);
            continue;
        }
        if (name.size() < 9 || name.compare(name.size() - 8, 8, ".desktop") != 0)
            continue;
        const std::string id = pPrefix + name;
        // The first folder that has an id decides about it, even when it hides it.
        if (!pSeen.insert(id).second)
            continue;
        TSettingsEntry settings;
        settings.Id = id;
        if (ParseSettingsEntry(ReadSmallFileAt(::dirfd(dir.Get()), entry->d_name, 256u << 10),
                               settings.Name))
            pEntries.push_back(std::move(settings));
    }
}

} // namespace

bool ParseSettingsEntry(std::string_view pText, std::string& pName)
{
    TDesktopEntry entry;
    pName.clear();
    if (!ParseDesktopEntry(pText, entry))
        return false;
    pName = entry.Name.toStdString();
    return entry.IsApplication && entry.Categories.contains(QStringLiteral("Settings")) &&
           !entry.Hidden && !entry.NoDisplay && !pName.empty();
}

std::vector<TSettingsEntry> ReadSettingsEntries()
{
    const std::vector<std::string> folders = DataDirs();
    std::set<std::string> seen;
    std::vector<TSettingsEntry> entries;
    for (const std::string& folder : folders)
        ReadFolder(folder + "/applications", "", 0, seen, entries);
    std::sort(entries.begin(), entries.end(),
              [](const TSettingsEntry& pA, const TSettingsEntry& pB) { return pA.Name < pB.Name; });
    return entries;
}

} // namespace kiv::pf::lnx

#include "LinuxSettings.h"

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
    bool inEntry = false;
    bool application = false;
    bool settings = false;
    bool hidden = false;
    pName.clear();
    std::size_t pos = 0;
    while (pos < pText.size()) {
        const std::size_t end = std::min(pText.find('\n', pos), pText.size());
        std::string_view line = pText.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string_view key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.remove_suffix(1);
        std::string_view value = line.substr(equals + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        if (key == "Type")
            application = value == "Application";
        else if (key == "Name")
            pName = std::string(value);
        else if (key == "NoDisplay" || key == "Hidden")
            hidden = hidden || value == "true";
        else if (key == "Categories") {
            std::size_t start = 0;
            while (start <= value.size()) {
                const std::size_t semicolon = std::min(value.find(';', start), value.size());
                if (value.substr(start, semicolon - start) == "Settings")
                    settings = true;
                start = semicolon + 1;
            }
        }
    }
    return application && settings && !hidden && !pName.empty();
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

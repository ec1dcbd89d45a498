#pragma once

// The line grammar of freedesktop key files (desktop entries, mimeapps.list): "[Group]"
// headers, "Key=Value" lines, "#" comments; blanks around "=" are not part of key or value.

#include <algorithm>
#include <string_view>

namespace kiv::pf::lnx {

// Calls pOnEntry(group, key, value) for every key line, group being the header's text without
// its brackets (empty before the first header). Lines without "=" are skipped.
template <typename F> void ForEachKeyFileEntry(std::string_view pText, F pOnEntry)
{
    std::string_view group;
    std::size_t pos = 0;
    while (pos < pText.size()) {
        const std::size_t end = std::min(pText.find('\n', pos), pText.size());
        std::string_view line = pText.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            group = line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string_view key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.remove_suffix(1);
        std::string_view value = line.substr(equals + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        pOnEntry(group, key, value);
    }
}

} // namespace kiv::pf::lnx

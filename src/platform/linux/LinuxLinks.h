#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::pf::lnx {

// A place the user pinned or used: the bookmarks of the GTK file chooser and the recently used
// files of the desktop (freedesktop recently-used.xbel). Only local targets (file:// URIs).
struct TLink
{
    // Raw path bytes.
    std::string Target;
    // The name the user gave (bookmarks only; UTF-8).
    std::string Label;
    // Last use, FileTime ticks (recent files only).
    std::uint64_t Time = 0;
};

// "file:///a%20b" → "/a b"; empty for other URIs.
std::string PathFromFileUri(std::string_view pUri);

// Parses the text of a GTK bookmarks file: "URI [label]" per line.
std::vector<TLink> ParseBookmarks(std::string_view pText);
// Parses the text of recently-used.xbel; newest first.
std::vector<TLink> ParseRecentlyUsed(std::string_view pText);

// The files of the current user ($XDG_CONFIG_HOME/gtk-3.0/bookmarks,
// $XDG_DATA_HOME/recently-used.xbel).
std::vector<TLink> ReadBookmarks();
std::vector<TLink> ReadRecentlyUsed();

} // namespace kiv::pf::lnx

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kiv::pf::lnx {

// A settings launcher: a desktop entry of an application whose categories include "Settings".
struct TSettingsEntry
{
    // The desktop-file id ("org.example.Settings.desktop"; sub-folders joined with "-").
    std::string Id;
    // Name= (UTF-8).
    std::string Name;
};

// Reads one desktop entry's text; false unless it is a shown application in the "Settings"
// category.
bool ParseSettingsEntry(std::string_view pText, std::string& pName);
// The settings launchers of $XDG_DATA_HOME and $XDG_DATA_DIRS, the first of each id, by name.
std::vector<TSettingsEntry> ReadSettingsEntries();

} // namespace kiv::pf::lnx

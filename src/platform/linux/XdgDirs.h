#pragma once

#include <string>
#include <vector>

namespace kiv::pf::lnx {

// The user's folders after the freedesktop conventions, as raw path bytes, read afresh on every
// call (HOME and the user-dirs file may change while the program runs; tests point them at a
// temporary folder).
struct TXdgDirs
{
    std::string Home;
    std::string ConfigHome;
    std::string DataHome;
    std::string CacheHome;
    std::string StateHome;
    std::string Desktop;
    std::string Documents;
    std::string Download;
    std::string Music;
    std::string Pictures;
    std::string Videos;
    std::string Templates;
    std::string PublicShare;

    static TXdgDirs Load();
};

// The user's data folder, then the system's ($XDG_DATA_DIRS, "/usr/local/share:/usr/share"
// when unset), absolute entries only: where desktop entries, thumbnailers and themes are looked
// up, the user's first.
std::vector<std::string> DataDirs();

// Parses the text of user-dirs.dirs into pDirs (lines XDG_NAME_DIR="$HOME/Folder" or an absolute
// path); other lines are ignored.
void ParseUserDirs(const std::string& pText, TXdgDirs& pDirs);

} // namespace kiv::pf::lnx

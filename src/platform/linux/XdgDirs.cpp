#include "XdgDirs.h"

#include "Handles.h"
#include "SmallFile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

std::string Env(const char* pName)
{
    const char* value = std::getenv(pName);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder()
{
    std::string home = Env("HOME");
    if (!home.empty())
        return home;
    // getpwuid_r with a stack buffer: thread-safe, unlike getpwuid.
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> buffer{};
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return "/";
}

// An absolute folder from the environment, or pHome + pFallback.
std::string BaseDir(const char* pVariable, const std::string& pHome, const char* pFallback)
{
    std::string value = Env(pVariable);
    if (!value.empty() && value[0] == '/')
        return value;
    return pHome + pFallback;
}

std::string* Slot(TXdgDirs& pDirs, const std::string& pKey)
{
    if (pKey == "XDG_DESKTOP_DIR")
        return &pDirs.Desktop;
    if (pKey == "XDG_DOCUMENTS_DIR")
        return &pDirs.Documents;
    if (pKey == "XDG_DOWNLOAD_DIR")
        return &pDirs.Download;
    if (pKey == "XDG_MUSIC_DIR")
        return &pDirs.Music;
    if (pKey == "XDG_PICTURES_DIR")
        return &pDirs.Pictures;
    if (pKey == "XDG_VIDEOS_DIR")
        return &pDirs.Videos;
    if (pKey == "XDG_TEMPLATES_DIR")
        return &pDirs.Templates;
    if (pKey == "XDG_PUBLICSHARE_DIR")
        return &pDirs.PublicShare;
    return nullptr;
}

std::string TrimTrailingSlashes(std::string pPath)
{
    while (pPath.size() > 1 && pPath.back() == '/')
        pPath.pop_back();
    return pPath;
}

} // namespace

void ParseUserDirs(const std::string& pText, TXdgDirs& pDirs)
{
    std::size_t pos = 0;
    while (pos < pText.size()) {
        const std::size_t end = std::min(pText.find('\n', pos), pText.size());
        std::string line = pText.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const std::size_t equals = line.find('=', start);
        if (equals == std::string::npos)
            continue;
        std::string* slot = Slot(pDirs, line.substr(start, equals - start));
        std::string value = line.substr(equals + 1);
        if (!slot || value.size() < 2 || value.front() != '"')
            continue;
        const std::size_t close = value.find('"', 1);
        if (close == std::string::npos)
            continue;
        value = value.substr(1, close - 1);
        // Backslash escapes (\" and \\) as the file format allows.
        std::string unescaped;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                ++i;
            unescaped += value[i];
        }
        if (unescaped.rfind("$HOME", 0) == 0 && (unescaped.size() == 5 || unescaped[5] == '/'))
            *slot = TrimTrailingSlashes(pDirs.Home + unescaped.substr(5));
        else if (!unescaped.empty() && unescaped[0] == '/')
            *slot = TrimTrailingSlashes(unescaped);
    }
}

std::vector<std::string> DataDirs()
{
    std::vector<std::string> folders;
    if (std::string dataHome = TXdgDirs::Load().DataHome; !dataHome.empty())
        folders.push_back(std::move(dataHome));
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t colon = std::min(dirs.find(':', start), dirs.size());
        if (colon > start && dirs[start] == '/')
            folders.push_back(dirs.substr(start, colon - start));
        start = colon + 1;
    }
    return folders;
}

TXdgDirs TXdgDirs::Load()
{
    TXdgDirs dirs;
    dirs.Home = TrimTrailingSlashes(HomeFolder());
    const std::string home = dirs.Home == "/" ? std::string() : dirs.Home;
    dirs.ConfigHome = BaseDir("XDG_CONFIG_HOME", home, "/.config");
    dirs.DataHome = BaseDir("XDG_DATA_HOME", home, "/.local/share");
    dirs.CacheHome = BaseDir("XDG_CACHE_HOME", home, "/.cache");
    dirs.StateHome = BaseDir("XDG_STATE_HOME", home, "/.local/state");
    dirs.Desktop = home + "/Desktop";
    dirs.Documents = home + "/Documents";
    dirs.Download = home + "/Downloads";
    dirs.Music = home + "/Music";
    dirs.Pictures = home + "/Pictures";
    dirs.Videos = home + "/Videos";
    dirs.Templates = home + "/Templates";
    dirs.PublicShare = home + "/Public";
    ParseUserDirs(ReadSmallFile(dirs.ConfigHome + "/user-dirs.dirs"), dirs);
    return dirs;
}

} // namespace kiv::pf::lnx

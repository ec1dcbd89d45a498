#include "MimeApps.h"

#include "Handles.h"
#include "KeyFile.h"
#include "MimeDatabase.h"
#include "SmallFile.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"

#include <QMimeDatabase>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

// One mimeapps.list: type → desktop ids, per group.
struct TAssociations
{
    std::map<QString, QStringList> Defaults;
    std::map<QString, QStringList> Added;
    std::map<QString, QStringList> Removed;
};

struct TIndex
{
    // Installed applications by id, and the ids in the order their folders were read.
    std::map<std::string, TDesktopEntry> Apps;
    std::vector<std::string> Order;
    // Highest precedence first.
    std::vector<TAssociations> Lists;
};

std::vector<std::string> SplitPaths(const char* pValue, const char* pDefault)
{
    const std::string value = pValue && *pValue ? pValue : pDefault;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t colon = std::min(value.find(':', start), value.size());
        std::string part = value.substr(start, colon - start);
        if (!part.empty() && part[0] == '/')
            parts.push_back(std::move(part));
        start = colon + 1;
    }
    return parts;
}

// The mimeapps.list files, highest precedence first.
std::vector<std::string> ListFiles()
{
    std::vector<std::string> desktops;
    if (const char* current = std::getenv("XDG_CURRENT_DESKTOP")) {
        std::string value(current);
        std::size_t start = 0;
        while (start <= value.size()) {
            const std::size_t colon = std::min(value.find(':', start), value.size());
            std::string part = value.substr(start, colon - start);
            std::transform(part.begin(), part.end(), part.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (!part.empty() && part.find('/') == std::string::npos)
                desktops.push_back(part);
            start = colon + 1;
        }
    }
    std::vector<std::string> folders;
    folders.push_back(TXdgDirs::Load().ConfigHome);
    for (std::string& folder : SplitPaths(std::getenv("XDG_CONFIG_DIRS"), "/etc/xdg"))
        folders.push_back(std::move(folder));
    for (const std::string& folder : DataDirs())
        folders.push_back(folder + "/applications");
    std::vector<std::string> files;
    for (const std::string& folder : folders) {
        for (const std::string& desktop : desktops)
            files.push_back(folder + "/" + desktop + "-mimeapps.list");
        files.push_back(folder + "/mimeapps.list");
    }
    return files;
}

TAssociations ParseList(std::string_view pText)
{
    TAssociations list;
    ForEachKeyFileEntry(pText, [&list](std::string_view pGroup, std::string_view pKey,
                                       std::string_view pValue) {
        std::map<QString, QStringList>* group = pGroup == "Default Applications"   ? &list.Defaults
                                                : pGroup == "Added Associations"   ? &list.Added
                                                : pGroup == "Removed Associations" ? &list.Removed
                                                                                   : nullptr;
        if (!group)
            return;
        const QString type =
            QString::fromUtf8(pKey.data(), static_cast<qsizetype>(pKey.size())).trimmed();
        const QString ids = QString::fromUtf8(pValue.data(), static_cast<qsizetype>(pValue.size()));
        for (const QString& id : ids.split(u';', Qt::SkipEmptyParts))
            if (!id.trimmed().isEmpty())
                (*group)[type].push_back(id.trimmed());
    });
    return list;
}

bool IsExecutable(const QString& pProgram)
{
    const std::string program = EncodeFileName(pProgram);
    if (program.empty())
        return false;
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0;
    for (const std::string& folder : SplitPaths(std::getenv("PATH"), "/usr/bin:/bin"))
        if (::access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
    return false;
}

void ReadApplications(const std::string& pFolder, const std::string& pPrefix, int pDepth,
                      std::set<std::string>& pSeen, TIndex& pIndex)
{
    // Sorted: the order of applications with the same type must not depend on the disk.
    std::vector<std::pair<std::string, bool>> names;
    {
        TDir dir(::opendir(pFolder.c_str()));
        while (dir.IsValid()) {
            const dirent* entry = ::readdir(dir.Get());
            if (!entry)
                break;
            const std::string name(entry->d_name);
            if (!name.empty() && name[0] != '.')
                names.emplace_back(name, entry->d_type == DT_DIR);
        }
    }
    std::sort(names.begin(), names.end());
    for (const auto& [name, isFolder] : names) {
        const std::string path = pFolder + "/" + name;
        if (isFolder) {
            // Vendor sub-folders ("kde4/") add their name to the id; two levels are plenty.
            if (pDepth < 2)
                ReadApplications(path, pPrefix + name + "-", pDepth + 1, pSeen, pIndex);
            continue;
        }
        if (name.size() < 9 || name.compare(name.size() - 8, 8, ".desktop") != 0)
            continue;
        const std::string id = pPrefix + name;
        // The first folder that has an id decides about it, even when it hides it.
        if (!pSeen.insert(id).second)
            continue;
        TDesktopEntry app;
        if (!ParseDesktopEntry(ReadSmallFile(path, 1u << 20), app) || !app.IsApplication ||
            app.Hidden || app.Exec.isEmpty())
            continue;
        if (!app.TryExec.isEmpty() && !IsExecutable(app.TryExec))
            continue;
        app.Id = id;
        app.FilePath = DecodeFileName(path);
        pIndex.Order.push_back(id);
        pIndex.Apps.emplace(id, std::move(app));
    }
}

// What the index was built from: every folder and list with its modification time.
using TStamp = std::vector<std::pair<std::string, std::int64_t>>;

TStamp StampOf(const std::vector<std::string>& pPaths)
{
    TStamp stamp;
    stamp.reserve(pPaths.size());
    for (const std::string& path : pPaths) {
        struct stat st
        {
        };
        const std::int64_t time =
            ::stat(path.c_str(), &st) == 0
                ? static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec
                : -1;
        stamp.emplace_back(path, time);
    }
    return stamp;
}

// The index and what it was built from. One thread builds at a time; the others do not read the
// folders a second time meanwhile (see CurrentIndex).
struct TIndexState
{
    std::mutex Lock;
    std::condition_variable Built;
    TStamp Stamp;                        // guarded by Lock
    std::shared_ptr<const TIndex> Index; // guarded by Lock
    bool Building = false;               // guarded by Lock
};

TIndexState& IndexState()
{
    static TIndexState state;
    return state;
}

// 250 ms: long enough for the start-up warming of a usual system to finish (a few hundred
// desktop files), short enough that a menu opened meanwhile still appears without a felt delay.
constexpr auto kWaitForBuilder = std::chrono::milliseconds(250);

// The index as the folders and lists are now. When another thread is building it already (the
// warming at start-up), the caller does not read the folders too: it takes the previous index
// when there is one (a change made a moment ago shows in the next menu), else waits for the
// builder up to kWaitForBuilder and then goes on with an empty index, which is not kept (that
// menu lists no applications; the next one has them).
std::shared_ptr<const TIndex> CurrentIndex()
{
    TIndexState& state = IndexState();
    std::vector<std::string> folders;
    for (const std::string& folder : DataDirs())
        folders.push_back(folder + "/applications");
    const std::vector<std::string> lists = ListFiles();
    std::vector<std::string> watched = folders;
    watched.insert(watched.end(), lists.begin(), lists.end());
    TStamp now = StampOf(watched);
    {
        std::unique_lock guard(state.Lock);
        if (state.Index && now == state.Stamp)
            return state.Index;
        if (state.Building) {
            if (state.Index)
                return state.Index;
            state.Built.wait_for(guard, kWaitForBuilder, [&] { return !state.Building; });
            if (state.Index)
                return state.Index;
            return std::make_shared<const TIndex>();
        }
        state.Building = true;
    }
    // Read outside the lock.
    auto built = std::make_shared<TIndex>();
    std::set<std::string> seen;
    for (const std::string& folder : folders)
        ReadApplications(folder, "", 0, seen, *built);
    for (const std::string& file : lists)
        built->Lists.push_back(ParseList(ReadSmallFile(file, 1u << 20)));
    std::shared_ptr<const TIndex> index = built;
    {
        std::lock_guard guard(state.Lock);
        state.Stamp = std::move(now);
        state.Index = index;
        state.Building = false;
    }
    state.Built.notify_all();
    return index;
}

QStringList TypeAndAncestors(const QString& pMimeType)
{
    QStringList types{pMimeType};
    std::lock_guard lock(MimeDatabaseLock());
    const QMimeType type = QMimeDatabase().mimeTypeForName(pMimeType);
    if (type.isValid()) {
        if (type.name() != pMimeType)
            types.push_back(type.name());
        types += type.allAncestors();
    }
    types.removeDuplicates();
    return types;
}

// The associated applications of exactly pType, in order, less the removed ones.
std::vector<std::string> Associated(const TIndex& pIndex, const QString& pType)
{
    std::set<QString> removed;
    for (const TAssociations& list : pIndex.Lists)
        if (auto it = list.Removed.find(pType); it != list.Removed.end())
            removed.insert(it->second.begin(), it->second.end());
    std::vector<std::string> ids;
    auto add = [&](const std::string& pId) {
        if (removed.count(QString::fromStdString(pId)) || !pIndex.Apps.count(pId) ||
            std::find(ids.begin(), ids.end(), pId) != ids.end())
            return;
        ids.push_back(pId);
    };
    for (const TAssociations& list : pIndex.Lists)
        if (auto it = list.Added.find(pType); it != list.Added.end())
            for (const QString& id : it->second)
                add(id.toStdString());
    for (const std::string& id : pIndex.Order)
        if (pIndex.Apps.at(id).MimeTypes.contains(pType))
            add(id);
    return ids;
}

std::optional<std::string> DefaultOf(const TIndex& pIndex, const QString& pType)
{
    for (const TAssociations& list : pIndex.Lists) {
        auto it = list.Defaults.find(pType);
        if (it == list.Defaults.end())
            continue;
        for (const QString& id : it->second)
            if (pIndex.Apps.count(id.toStdString()))
                return id.toStdString();
    }
    const std::vector<std::string> ids = Associated(pIndex, pType);
    if (ids.empty())
        return std::nullopt;
    return ids.front();
}

} // namespace

std::optional<TDesktopEntry> DefaultApplicationFor(const QString& pMimeType)
{
    const auto index = CurrentIndex();
    for (const QString& type : TypeAndAncestors(pMimeType))
        if (const auto id = DefaultOf(*index, type))
            return index->Apps.at(*id);
    return std::nullopt;
}

std::vector<TDesktopEntry> ApplicationsFor(const QString& pMimeType)
{
    const auto index = CurrentIndex();
    std::vector<std::string> ids;
    const QStringList types = TypeAndAncestors(pMimeType);
    for (const QString& type : types) {
        if (const auto id = DefaultOf(*index, type)) {
            ids.push_back(*id);
            break;
        }
    }
    for (const QString& type : types)
        for (std::string& id : Associated(*index, type))
            if (std::find(ids.begin(), ids.end(), id) == ids.end())
                ids.push_back(std::move(id));
    std::vector<TDesktopEntry> apps;
    apps.reserve(ids.size());
    for (const std::string& id : ids)
        apps.push_back(index->Apps.at(id));
    return apps;
}

std::optional<TDesktopEntry> ApplicationById(const std::string& pId)
{
    const auto index = CurrentIndex();
    auto it = index->Apps.find(pId);
    if (it == index->Apps.end())
        return std::nullopt;
    return it->second;
}

std::vector<TDesktopEntry> AllApplications()
{
    const auto index = CurrentIndex();
    std::vector<TDesktopEntry> apps;
    for (const std::string& id : index->Order) {
        const TDesktopEntry& app = index->Apps.at(id);
        if (!app.NoDisplay)
            apps.push_back(app);
    }
    std::stable_sort(apps.begin(), apps.end(),
                     [](const TDesktopEntry& pA, const TDesktopEntry& pB) {
                         return QString::localeAwareCompare(pA.Name, pB.Name) < 0;
                     });
    return apps;
}

void WarmApplicationsIndex()
{
    CurrentIndex();
    // The MIME database's first look-up reads its files too.
    MimeTypeOfPath(QStringLiteral("warm.txt"), false);
}

QString MimeTypeOfPath(const QString& pPath, bool pFolder)
{
    if (pFolder)
        return QStringLiteral("inode/directory");
    const QString name = pPath.mid(pPath.lastIndexOf(u'/') + 1);
    std::lock_guard lock(MimeDatabaseLock());
    const QList<QMimeType> types = QMimeDatabase().mimeTypesForFileName(name);
    return types.isEmpty() ? QStringLiteral("application/octet-stream") : types.front().name();
}

} // namespace kiv::pf::lnx

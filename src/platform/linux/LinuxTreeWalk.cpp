// The walk behind IFileSystem::SumTree: one descriptor per level, opened relative to its parent
// (openat), the entry type taken from the directory listing where the file system gives it, and
// one statx per file for its size. That is the least a walk that reports sizes can ask of the
// kernel; it is what the totals of checked folders cost.

#include "Errno.h"
#include "Handles.h"
#include "LinuxFileSystem.h"
#include "core/platform/FileNames.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace kiv::pf::lnx {
namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

class TTreeWalker
{
public:
    TTreeWalker(const TreeWalkOptions& pOptions, const std::function<bool()>& pStopped,
                TreeTotals& pTotals)
        : fOptions(pOptions)
        , fStopped(pStopped)
        , fTotals(pTotals)
    {
    }

    HResult Run(std::string pRoot)
    {
        while (pRoot.size() > 1 && pRoot.back() == '/')
            pRoot.pop_back();
        TFd root(::open(pRoot.c_str(), kOpenFolder));
        if (!root.IsValid())
            return HResultFromErrno(errno, TMissing::Path);
        if (fOptions.FollowLinks) {
            fRootReal = RealPath(pRoot);
            if (fRootReal.empty() || !FirstVisit(root.Get()))
                return HResultFromErrno(errno, TMissing::Path);
        }
        fPath = pRoot == "/" ? std::string() : pRoot;
        return Walk(std::move(root)) ? HResultFromWin32(win32::ERROR_CANCELLED) : S_OK;
    }

private:
    // Walks one folder; true when the walk was stopped.
    bool Walk(TFd pFolder)
    {
        DIR* stream = ::fdopendir(pFolder.Get());
        if (!stream)
            return false;
        pFolder.Release();
        const TDir dir(stream);
        const int dirFd = ::dirfd(stream);
        while (const dirent* entry = ::readdir(stream)) {
            if (fStopped && fStopped())
                return true;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            unsigned char type = entry->d_type;
            struct statx st
            {
            };
            if (type != DT_DIR) {
                // Files need their size; entries of unknown type their type.
                if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                            STATX_TYPE | STATX_SIZE, &st) != 0)
                    continue;
                type = S_ISDIR(st.stx_mode) ? DT_DIR : S_ISLNK(st.stx_mode) ? DT_LNK : DT_REG;
            }
            if (type == DT_LNK) {
                if (fOptions.FollowLinks && FollowLink(name))
                    return true;
                continue;
            }
            if (type != DT_DIR) {
                ++fTotals.Files;
                fTotals.Size += st.stx_size;
                continue;
            }
            ++fTotals.Folders;
            TFd child(::openat(dirFd, name, kOpenFolder | O_NOFOLLOW));
            if (!child.IsValid() || (fOptions.FollowLinks && !FirstVisit(child.Get())))
                continue;
            if (Descend(std::move(child), name))
                return true;
        }
        return false;
    }

    bool Descend(TFd pFolder, const std::string& pPathOrName, bool pAbsolute = false)
    {
        const std::size_t mark = fPath.size();
        std::string saved;
        if (pAbsolute)
            saved = std::exchange(fPath, pPathOrName == "/" ? std::string() : pPathOrName);
        else
            fPath.append(1, '/').append(pPathOrName);
        const bool stopped = Walk(std::move(pFolder));
        if (pAbsolute)
            fPath = std::move(saved);
        else
            fPath.resize(mark);
        return stopped;
    }

    // A link met while following links: its target is counted unless it lies inside the root
    // (counted there) or is a folder walked before.
    bool FollowLink(const char* pName)
    {
        const std::string target = RealPath(fPath + '/' + pName);
        if (target.empty() || IsInsideRoot(target))
            return false;
        struct statx st
        {
        };
        if (::statx(AT_FDCWD, target.c_str(), AT_NO_AUTOMOUNT, STATX_TYPE | STATX_SIZE, &st) != 0)
            return false;
        if (!S_ISDIR(st.stx_mode)) {
            ++fTotals.Files;
            fTotals.Size += st.stx_size;
            return false;
        }
        TFd folder(::open(target.c_str(), kOpenFolder));
        if (!folder.IsValid() || !FirstVisit(folder.Get()))
            return false;
        ++fTotals.Folders;
        return Descend(std::move(folder), target, true);
    }

    bool IsInsideRoot(const std::string& pPath) const
    {
        if (fRootReal == "/")
            return true;
        return pPath.compare(0, fRootReal.size(), fRootReal) == 0 &&
               (pPath.size() == fRootReal.size() || pPath[fRootReal.size()] == '/');
    }

    // Records a folder as walked; false when it was walked before.
    bool FirstVisit(int pFd)
    {
        struct stat st
        {
        };
        if (::fstat(pFd, &st) != 0)
            return false;
        return fVisited.emplace(st.st_dev, st.st_ino).second;
    }

    static std::string RealPath(const std::string& pPath)
    {
        char buffer[PATH_MAX];
        return ::realpath(pPath.c_str(), buffer) ? std::string(buffer) : std::string();
    }

    const TreeWalkOptions& fOptions;
    const std::function<bool()>& fStopped;
    TreeTotals& fTotals;
    std::string fPath; // the folder being walked ("" for the system root)
    std::string fRootReal;
    std::set<std::pair<dev_t, ino_t>> fVisited; // only when following links
};

} // namespace

HResult TLinuxFileSystem::ListNames(const QString& pFolder, std::vector<NameEntry>& pEntries)
{
    pEntries.clear();
    TFd folder(::open(EncodeFileName(pFolder).c_str(), kOpenFolder));
    if (!folder.IsValid())
        return HResultFromErrno(errno, TMissing::Path);
    DIR* stream = ::fdopendir(folder.Get());
    if (!stream)
        return HResultFromErrno(errno, TMissing::Path);
    folder.Release();
    const TDir dir(stream);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream);
        if (!entry)
            return errno == 0 ? S_OK : HResultFromErrno(errno, TMissing::Path);
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        // Links and file systems that do not tell the type: ask for the (target's) type.
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct statx st
            {
            };
            isFolder = ::statx(::dirfd(stream), name, AT_NO_AUTOMOUNT, STATX_TYPE, &st) == 0 &&
                       S_ISDIR(st.stx_mode);
        }
        pEntries.push_back(NameEntry{DecodeFileName(name), isFolder});
    }
}

HResult TLinuxFileSystem::SumTree(const QString& pFolder, const TreeWalkOptions& pOptions,
                                  const std::function<bool()>& pStopped, TreeTotals& pTotals)
{
    TTreeWalker walker(pOptions, pStopped, pTotals);
    return walker.Run(EncodeFileName(pFolder));
}

} // namespace kiv::pf::lnx

#include "MountTable.h"

#include "Handles.h"
#include "core/platform/FileNames.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

// mountinfo writes space, tab, newline and backslash in paths as \ooo.
std::string Unescape(std::string_view pField)
{
    std::string result;
    result.reserve(pField.size());
    for (std::size_t i = 0; i < pField.size(); ++i) {
        if (pField[i] == '\\' && i + 3 < pField.size() && pField[i + 1] >= '0' &&
            pField[i + 1] <= '3' && pField[i + 2] >= '0' && pField[i + 2] <= '7' &&
            pField[i + 3] >= '0' && pField[i + 3] <= '7') {
            result += static_cast<char>((pField[i + 1] - '0') * 64 + (pField[i + 2] - '0') * 8 +
                                        (pField[i + 3] - '0'));
            i += 3;
        } else {
            result += pField[i];
        }
    }
    return result;
}

std::vector<std::string_view> SplitFields(std::string_view pLine)
{
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < pLine.size()) {
        while (pos < pLine.size() && pLine[pos] == ' ')
            ++pos;
        const std::size_t end = std::min(pLine.find(' ', pos), pLine.size());
        if (end > pos)
            fields.push_back(pLine.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

bool IsOneOf(std::string_view pValue, std::initializer_list<std::string_view> pList)
{
    return std::find(pList.begin(), pList.end(), pValue) != pList.end();
}

bool IsRemoteType(std::string_view pType)
{
    return IsOneOf(pType, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "davfs",
                           "fuse.davfs", "afs", "9p", "fuse.gvfsd-fuse", "ceph", "glusterfs",
                           "fuse.glusterfs", "fuse.rclone"});
}

// File systems of the kernel and of the system's plumbing: never shown as drives.
bool IsPseudoType(std::string_view pType)
{
    return IsOneOf(pType, {"proc",       "sysfs",    "devtmpfs",    "devpts",  "tmpfs",
                           "cgroup",     "cgroup2",  "securityfs",  "debugfs", "tracefs",
                           "pstore",     "bpf",      "configfs",    "fusectl", "mqueue",
                           "hugetlbfs",  "autofs",   "binfmt_misc", "nsfs",    "efivarfs",
                           "rpc_pipefs", "squashfs", "overlay",     "ramfs",   "nfsd"});
}

bool StartsWithFolder(std::string_view pPath, std::string_view pFolder)
{
    return IsPathPrefix(pFolder, pPath) && pPath.size() > pFolder.size();
}

void Classify(TMount& pMount, std::string_view pHome)
{
    const std::string_view path = pMount.Path;
    const std::string_view type = pMount.Type;
    if (IsRemoteType(type))
        pMount.Drive = DriveType::Remote;
    else if (IsOneOf(type, {"iso9660", "udf"}))
        pMount.Drive = DriveType::CdRom;
    else if (IsOneOf(type, {"tmpfs", "ramfs"}))
        pMount.Drive = DriveType::RamDisk;
    else if (StartsWithFolder(path, "/media") || StartsWithFolder(path, "/run/media"))
        pMount.Drive = DriveType::Removable;
    else
        pMount.Drive = DriveType::Fixed;

    if (path == "/") {
        pMount.Visible = true;
        return;
    }
    if (pMount.Drive == DriveType::Remote) {
        pMount.Visible = true;
        return;
    }
    if (IsPseudoType(type))
        return;
    pMount.Visible = StartsWithFolder(path, "/media") || StartsWithFolder(path, "/run/media") ||
                     StartsWithFolder(path, "/mnt") ||
                     (!pHome.empty() && pHome != "/" && StartsWithFolder(path, pHome));
}

} // namespace

bool IsPathPrefix(std::string_view pPrefix, std::string_view pPath)
{
    if (pPrefix == "/")
        return !pPath.empty() && pPath[0] == '/';
    if (pPath.size() < pPrefix.size() || pPath.substr(0, pPrefix.size()) != pPrefix)
        return false;
    return pPath.size() == pPrefix.size() || pPath[pPrefix.size()] == '/';
}

std::vector<TMount> ParseMountInfo(std::string_view pText, std::string_view pHome)
{
    std::vector<TMount> mounts;
    std::size_t pos = 0;
    while (pos < pText.size()) {
        const std::size_t end = std::min(pText.find('\n', pos), pText.size());
        const auto fields = SplitFields(pText.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || dash == fields.end() || fields.end() - dash < 3 ||
            dash - fields.begin() < 6)
            continue;
        TMount mount;
        mount.Path = Unescape(fields[4]);
        if (mount.Path.empty() || mount.Path[0] != '/')
            continue;
        const std::string_view options = fields[5];
        mount.ReadOnly = options == "ro" || options.substr(0, 3) == "ro,";
        mount.Type = Unescape(dash[1]);
        mount.Source = Unescape(dash[2]);
        Classify(mount, pHome);
        // A later mount on the same point hides the earlier one.
        std::erase_if(mounts, [&](const TMount& pOld) { return pOld.Path == mount.Path; });
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

namespace {

std::optional<std::string>& Override()
{
    static std::optional<std::string> text; // guarded by OverrideLock()
    return text;
}

std::mutex& OverrideLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

void OverrideMountTableForTesting(std::optional<std::string> pText)
{
    std::lock_guard lock(OverrideLock());
    Override() = std::move(pText);
}

namespace {

std::string SystemMountText()
{
    {
        std::lock_guard lock(OverrideLock());
        if (Override())
            return *Override();
    }
    std::string text;
    TFd fd(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    if (fd.IsValid()) {
        std::array<char, 16384> buffer{};
        for (;;) {
            const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
            if (n <= 0)
                break;
            text.append(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    return text;
}

} // namespace

std::vector<TMount> ReadMountTable()
{
    const char* home = std::getenv("HOME");
    return ParseMountInfo(SystemMountText(), home ? home : "");
}

const TMount* MountContaining(const std::vector<TMount>& pMounts, std::string_view pPath,
                              bool pVisibleOnly)
{
    const TMount* best = nullptr;
    for (const TMount& mount : pMounts) {
        if (pVisibleOnly && !mount.Visible)
            continue;
        if (IsPathPrefix(mount.Path, pPath) && (!best || mount.Path.size() > best->Path.size()))
            best = &mount;
    }
    return best;
}

MountInfo ToMountInfo(const TMount& pMount)
{
    MountInfo info;
    info.MountPath = DecodeFileName(pMount.Path);
    info.Source = DecodeFileName(pMount.Source);
    info.FileSystemType =
        QString::fromUtf8(pMount.Type.data(), static_cast<qsizetype>(pMount.Type.size()));
    info.Type = pMount.Drive;
    info.ReadOnly = pMount.ReadOnly;
    info.Visible = pMount.Visible;
    return info;
}

} // namespace kiv::pf::lnx

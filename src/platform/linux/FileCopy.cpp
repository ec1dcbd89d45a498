#include "FileCopy.h"

#include "Handles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/random.h>
#include <unistd.h>
#include <vector>

namespace kiv::pf::lnx {
namespace {

// 8 MiB: large enough that the kernel copies at full speed, small enough that a cancel is seen
// within a fraction of a second even on a slow stick.
constexpr std::size_t kChunk = std::size_t{8} << 20;
// The buffer of the read/write fallback.
constexpr std::size_t kBuffer = std::size_t{256} << 10;
// New files up to this size are created under their own name (see CopyRegularFile).
constexpr off_t kNamedCreationLimit = off_t{128} << 10;

std::string FolderOf(const std::string& pPath)
{
    const std::size_t slash = pPath.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : pPath.substr(0, slash);
}

int WriteAll(int pFd, const char* pData, std::size_t pSize)
{
    while (pSize > 0) {
        const ssize_t n = ::write(pFd, pData, pSize);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        pData += n;
        pSize -= static_cast<std::size_t>(n);
    }
    return 0;
}

bool SameVersion(const struct stat& pA, const struct stat& pB)
{
    return pA.st_size == pB.st_size && pA.st_mtim.tv_sec == pB.st_mtim.tv_sec &&
           pA.st_mtim.tv_nsec == pB.st_mtim.tv_nsec;
}

// Copies the content of pFrom into pTo chunk by chunk.
void CopyContent(int pFrom, int pTo, const std::string& pSource, const std::string& pTarget,
                 const TCopyControl& pControl, TCopyResult& pResult)
{
    const TFileOpFaults* faults = pControl.Faults;
    const std::size_t chunk = faults && faults->ChunkSize ? faults->ChunkSize : kChunk;
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        if ((pControl.Pause && !pControl.Pause->WaitWhilePaused(pControl.Stop)) ||
            pControl.Stop.stop_requested()) {
            pResult.Error = ECANCELED;
            return;
        }
        if (faults && faults->BeforeChunk) {
            const TInjectedFault fault = faults->BeforeChunk(pSource, pTarget, pResult.Copied);
            if (fault.Error != 0) {
                pResult.Error = fault.Error;
                pResult.AtSource = fault.AtSource;
                return;
            }
        }
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(pFrom, nullptr, pTo, nullptr, chunk, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                // Not offered between these two files: plain reads and writes from here on.
                kernelCopy = false;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                // copy_file_range does not say which side failed; the usual target failures
                // are the ones a full or read-only disk gives.
                pResult.Error = errno;
                pResult.AtSource =
                    !(errno == ENOSPC || errno == EDQUOT || errno == EROFS || errno == EFBIG);
                return;
            }
        } else {
            if (buffer.empty())
                buffer.resize(std::min(kBuffer, chunk));
            n = ::read(pFrom, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                pResult.Error = errno;
                pResult.AtSource = true;
                return;
            }
            if (n > 0) {
                if (const int error = WriteAll(pTo, buffer.data(), static_cast<std::size_t>(n))) {
                    pResult.Error = error;
                    return;
                }
            }
        }
        if (n == 0)
            return;
        pResult.Copied += static_cast<std::uint64_t>(n);
        if (pControl.OnBytes)
            pControl.OnBytes(static_cast<std::uint64_t>(n));
        // As many bytes as the file had when it was opened: done, without one more call to
        // hear that nothing follows (a file that grew meanwhile has a new size and time, which
        // the check after the copy sees).
        if (pResult.Copied == static_cast<std::uint64_t>(pResult.Source.st_size))
            return;
    }
}

// An unnamed file in the folder pFolderFd (or pFolder where that is -1) with the permissions
// pMode, or -1 with errno where the file system has none (O_TMPFILE).
int OpenUnnamed(int pFolderFd, const std::string& pFolder, mode_t pMode)
{
    if (pFolderFd >= 0)
        return ::openat(pFolderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, pMode);
    return ::open(pFolder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, pMode);
}

// Whether linkat may name an open file by its descriptor (AT_EMPTY_PATH): since Linux 6.10
// for a file one opened oneself, before that only with CAP_DAC_READ_SEARCH. Cleared at the
// first refusal; the way through /proc is taken from then on.
std::atomic<bool>& LinkByDescriptor()
{
    static std::atomic<bool> allowed{true};
    return allowed;
}

// Gives the unnamed file pFd the name pName (within the folder pFolderFd, or a whole path
// where that is AT_FDCWD); fails with EEXIST when the name is taken.
int LinkUnnamed(int pFd, int pFolderFd, const char* pName)
{
    if (LinkByDescriptor().load(std::memory_order_relaxed)) {
        if (::linkat(pFd, "", pFolderFd, pName, AT_EMPTY_PATH) == 0)
            return 0;
        // A refusal of the descriptor says ENOENT (EPERM on some systems); anything else is
        // about the name or the folder.
        if (errno != ENOENT && errno != EPERM)
            return errno;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(pFd);
    if (::linkat(AT_FDCWD, self.c_str(), pFolderFd, pName, AT_SYMLINK_FOLLOW) != 0)
        return errno;
    LinkByDescriptor().store(false, std::memory_order_relaxed);
    return 0;
}

int LinkUnnamed(int pFd, const std::string& pPath)
{
    return LinkUnnamed(pFd, AT_FDCWD, pPath.c_str());
}

// The last part of pPath (a suffix of its buffer, so no copy).
const char* NamePart(const std::string& pPath)
{
    const std::size_t slash = pPath.rfind('/');
    return pPath.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

// Moves pFrom to pTo only when pTo does not exist (the check and the move are one step where
// the file system can do that).
int RenameNoReplace(const std::string& pFrom, const std::string& pTo)
{
    if (::renameat2(AT_FDCWD, pFrom.c_str(), AT_FDCWD, pTo.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat st
    {
    };
    if (::lstat(pTo.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(pFrom.c_str(), pTo.c_str()) == 0 ? 0 : errno;
}

} // namespace

int ReadCreationMask()
{
    const TFd fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    char buffer[4096];
    const ssize_t got = fd.IsValid() ? ::read(fd.Get(), buffer, sizeof buffer - 1) : -1;
    if (got <= 0)
        return -1;
    buffer[got] = '\0';
    const char* line = std::strstr(buffer, "\nUmask:");
    return line ? static_cast<int>(std::strtoul(line + 8, nullptr, 8) & 0777) : -1;
}

std::string TemporaryNameBeside(const std::string& pTarget)
{
    const std::size_t slash = pTarget.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : pTarget.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? pTarget : pTarget.substr(slash + 1);
    // Room for the dot and the suffix within the usual 255-byte limit of a name.
    if (name.size() > 200)
        name.resize(200);
    std::array<unsigned char, 6> random{};
    if (::getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) {
        thread_local std::mt19937 generator{std::random_device{}()};
        for (unsigned char& byte : random)
            byte = static_cast<unsigned char>(generator());
    }
    static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (const unsigned char byte : random)
        suffix += kDigits[byte % 36];
    return folder + "." + name + "." + suffix + ".part";
}

TCopyResult CopyRegularFile(const std::string& pSource, const std::string& pTarget,
                            TPlacement pPlacement, const TCopyControl& pControl,
                            TCopyFolders pFolders)
{
    TCopyResult result;
    TFd from(pFolders.Source >= 0
                 ? ::openat(pFolders.Source, NamePart(pSource), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)
                 : ::open(pSource.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!from.IsValid() || ::fstat(from.Get(), &result.Source) != 0) {
        result.Error = errno;
        result.AtSource = true;
        return result;
    }
    if (!S_ISREG(result.Source.st_mode)) {
        result.Error = EINVAL;
        result.AtSource = true;
        return result;
    }

    // Permissions without set-user/group-id: a copy belongs to whoever made it. Created with
    // them at once where the creation mask leaves them whole; otherwise private until set.
    const mode_t mode = result.Source.st_mode & 01777;
    const bool modeAtCreation = pControl.CreationMask >= 0 && (mode & 07000) == 0 &&
                                (mode & static_cast<mode_t>(pControl.CreationMask)) == 0;
    const mode_t createMode = modeAtCreation ? mode : 0600;

    // A small new file on a local disk is created under its name at once, as other tools do:
    // building it unnamed and linking it in costs a small file a fifth more time on ext4. A
    // failure or a cancel removes the part; only a kill within the few microseconds of its copy
    // can leave one. Replacements, larger files and flushed targets are built without a name,
    // where a kill leaves nothing behind.
    const bool named = pPlacement == TPlacement::plNew && !pControl.Flush &&
                       result.Source.st_size <= kNamedCreationLimit;
    const std::string folder = pFolders.Target >= 0 ? std::string() : FolderOf(pTarget);
    std::string temporary;
    // The copy's own name while it is not complete: removed when the copy fails or stops.
    std::string created;
    TFd to;
    if (named) {
        constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
        to.Reset(pFolders.Target >= 0
                     ? ::openat(pFolders.Target, NamePart(pTarget), kCreate, createMode)
                     : ::open(pTarget.c_str(), kCreate, createMode));
        if (!to.IsValid()) {
            result.Error = errno;
            return result;
        }
        created = pTarget;
    } else {
        to.Reset(OpenUnnamed(pFolders.Target, folder, createMode));
    }
    if (!to.IsValid()) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            result.Error = errno;
            return result;
        }
        for (int attempt = 0; attempt < 100 && !to.IsValid(); ++attempt) {
            temporary = TemporaryNameBeside(pTarget);
            to.Reset(
                ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode));
            if (!to.IsValid() && errno != EEXIST)
                break;
        }
        if (!to.IsValid()) {
            result.Error = errno;
            return result;
        }
    }
    // Whatever goes wrong from here, a named temporary file or an incomplete copy goes.
    struct TRemove
    {
        std::string* Path;
        ~TRemove()
        {
            if (!Path->empty())
                ::unlink(Path->c_str());
        }
    } removeTemporary{&temporary}, removeCreated{&created};

    CopyContent(from.Get(), to.Get(), pSource, pTarget, pControl, result);
    if (result.Error != 0)
        return result;
    struct stat after
    {
    };
    if (::fstat(from.Get(), &after) != 0 || !SameVersion(result.Source, after) ||
        result.Copied != static_cast<std::uint64_t>(after.st_size)) {
        result.Error = EBUSY;
        result.AtSource = true;
        return result;
    }
    const struct timespec times[2] = {result.Source.st_atim, result.Source.st_mtim};
    if ((!modeAtCreation && ::fchmod(to.Get(), mode) != 0) || ::futimens(to.Get(), times) != 0) {
        result.Error = errno;
        return result;
    }
    // A file that replaces another is on the disk before it takes the name: after a crash the
    // name holds the old file or the new one, never an empty or partial one.
    if ((pPlacement == TPlacement::plReplace || pControl.Flush) && ::fdatasync(to.Get()) != 0) {
        result.Error = errno;
        return result;
    }
    if (pControl.Stop.stop_requested()) {
        result.Error = ECANCELED;
        return result;
    }

    if (named) {
        created.clear();
    } else if (temporary.empty() && pPlacement == TPlacement::plNew) {
        result.Error = pFolders.Target >= 0
                           ? LinkUnnamed(to.Get(), pFolders.Target, NamePart(pTarget))
                           : LinkUnnamed(to.Get(), pTarget);
    } else {
        if (temporary.empty()) {
            // Replacing with an unnamed file: give it a hidden name, then rename it over.
            int error = EEXIST;
            for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
                temporary = TemporaryNameBeside(pTarget);
                error = LinkUnnamed(to.Get(), temporary);
            }
            if (error != 0) {
                temporary.clear();
                result.Error = error;
                return result;
            }
        }
        if (::close(to.Release()) != 0) {
            result.Error = errno;
            return result;
        }
        const int error = pPlacement == TPlacement::plNew
                              ? RenameNoReplace(temporary, pTarget)
                              : (::rename(temporary.c_str(), pTarget.c_str()) == 0 ? 0 : errno);
        if (error != 0) {
            result.Error = error;
            return result;
        }
        temporary.clear();
    }
    if (result.Error == 0 && to.IsValid() && ::close(to.Release()) != 0) {
        // Linked but not written back (a network file system says so only now): no name may
        // point at a copy that is not whole.
        result.Error = errno;
        ::unlink(pTarget.c_str());
    }
    return result;
}

} // namespace kiv::pf::lnx

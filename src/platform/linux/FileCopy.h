#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <sys/stat.h>

namespace kiv::pf::lnx {

// A failure a test makes happen where the system would report it.
struct TInjectedFault
{
    // An errno value; 0 lets the copy go on.
    int Error = 0;
    // The failure concerns the source (a read error, a stick pulled out) rather than the target.
    bool AtSource = false;
};

// Seams for tests of the file operation engine; empty members change nothing.
struct TFileOpFaults
{
    // Asked before every chunk of a file's content with the bytes copied so far: ENOSPC after N
    // bytes plays a full disk, EIO at the source a medium that went away.
    std::function<TInjectedFault(const std::string& pSource, const std::string& pTarget,
                                 std::uint64_t pDone)>
        BeforeChunk;
    // Bytes per chunk; 0 for the engine's own (large) chunks. Small chunks let a test stop a
    // small file half-way.
    std::size_t ChunkSize = 0;
    // Asked before the properties of an item are written: an errno value plays a refusal of the
    // system (EPERM: not the owner), 0 lets the write go on.
    std::function<int(const std::string& pPath)> BeforeProperties;
    // Progress goes to the sinks at every step instead of at most every 20 ms, so a test can
    // act at a known point of a run.
    bool ReportEveryStep = false;
};

// How a file reaches its place.
enum class TPlacement
{
    // No file of the name exists: the copy takes the name once complete (a small one on a local
    // disk, at once, and is removed again if it fails); when a file of the name has appeared
    // meanwhile the copy fails with EEXIST and nothing is replaced.
    plNew,
    // An existing file is replaced: the complete copy is flushed to the disk, then renamed over
    // it, so the name always holds the old file or the whole new one.
    plReplace,
};

// Holds a run between chunks and entries while the user has paused it. Any thread may pause
// and resume; a stop request ends the wait.
class TPauseGate
{
public:
    void Set(bool pPaused)
    {
        {
            const std::scoped_lock lock(fLock);
            fPaused = pPaused;
        }
        fChanged.notify_all();
    }
    // Returns at once unless paused; false when pStop asked to stop meanwhile.
    bool WaitWhilePaused(const std::stop_token& pStop)
    {
        std::unique_lock lock(fLock);
        return fChanged.wait(lock, pStop, [this] { return !fPaused; });
    }

private:
    std::mutex fLock;
    std::condition_variable_any fChanged;
    bool fPaused = false; // guarded by fLock
};

struct TCopyControl
{
    std::stop_token Stop;
    const TFileOpFaults* Faults = nullptr;
    // Called with the bytes of each chunk as it is copied.
    std::function<void(std::uint64_t)> OnBytes;
    // Flush every copy to the disk before it takes its name (removable and network targets).
    bool Flush = false;
    TPauseGate* Pause = nullptr;
    // The process's file-creation mask (ReadCreationMask), given only where the target folder
    // has no default ACL, so that the system creates files with exactly the mode asked for
    // less this mask. A copy whose permissions the mask leaves whole is then created with
    // them and needs no chmod afterwards. -1: unknown, every copy gets its permissions set.
    int CreationMask = -1;
};

// Folders the two ends of a copy are open in (descriptors the caller owns), or -1. A file is
// then opened and linked in by its name within them: a large folder's files do not each walk
// the whole path from the root again.
struct TCopyFolders
{
    int Source = -1;
    int Target = -1;
};

struct TCopyResult
{
    // 0, an errno value, or ECANCELED when the stop token asked for it.
    int Error = 0;
    // Which side Error concerns.
    bool AtSource = false;
    // The source's status when the copy started (size and last-write time it was checked
    // against when it ended).
    struct stat Source
    {
    };
    std::uint64_t Copied = 0;
};

// Copies the regular file pSource to pTarget: content (copy_file_range, so the kernel copies or
// shares the blocks where the file system can; plain reads and writes where it cannot),
// permissions and times. The copy is built without a name (or under a hidden temporary one
// where the file system cannot do that) and gets pTarget only when complete; whatever fails or
// is cancelled leaves no file behind. A source that changed size or time during the copy fails
// with EBUSY: the copy would not be what the user saw.
// With pFolders, pSource and pTarget still name the whole paths (for messages, the test seams
// and the rarer ways of placing a file), and their last parts are the names in the folders.
TCopyResult CopyRegularFile(const std::string& pSource, const std::string& pTarget,
                            TPlacement pPlacement, const TCopyControl& pControl,
                            TCopyFolders pFolders = {});

// The process's file-creation mask, read from /proc without changing it (umask() would change
// it for every thread for a moment); -1 when the system does not say.
int ReadCreationMask();

// A name for a temporary file beside pTarget (hidden, random, short enough for the system).
std::string TemporaryNameBeside(const std::string& pTarget);

} // namespace kiv::pf::lnx

#pragma once

#include <atomic>
#include <shared_mutex>
#include <thread>

namespace kiv {

// A multiple-reader single-writer lock that the writing thread may enter again: a write or a
// read begun while the same thread writes only deepens its hold. The selection list needs this
// because the code that changes it asks its own questions on the way (is this path checked
// already? is its folder complete now?) and its event handlers may ask more.
//
// A thread that reads must not start writing before it has ended its read (no upgrade): two
// readers waiting to write would wait for each other.
class TReadWriteSync
{
public:
    TReadWriteSync() = default;
    TReadWriteSync(const TReadWriteSync&) = delete;
    TReadWriteSync& operator=(const TReadWriteSync&) = delete;

    void BeginRead();
    void EndRead() noexcept;
    void BeginWrite();
    void EndWrite() noexcept;
    // Whether the calling thread holds the write lock.
    bool IsWriter() const noexcept;

private:
    std::shared_mutex fMutex;
    std::atomic<std::thread::id> fWriter{};
    int fWriteDepth = 0; // only the writer touches it
};

class TReadLock
{
public:
    explicit TReadLock(TReadWriteSync& pSync)
        : fSync(pSync)
    {
        fSync.BeginRead();
    }
    ~TReadLock() { fSync.EndRead(); }
    TReadLock(const TReadLock&) = delete;
    TReadLock& operator=(const TReadLock&) = delete;

private:
    TReadWriteSync& fSync;
};

class TWriteLock
{
public:
    explicit TWriteLock(TReadWriteSync& pSync)
        : fSync(pSync)
    {
        fSync.BeginWrite();
    }
    ~TWriteLock() { fSync.EndWrite(); }
    TWriteLock(const TWriteLock&) = delete;
    TWriteLock& operator=(const TWriteLock&) = delete;

private:
    TReadWriteSync& fSync;
};

} // namespace kiv

#include "ReadWriteSync.h"

namespace kiv {

bool TReadWriteSync::IsWriter() const noexcept
{
    return fWriter.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void TReadWriteSync::BeginWrite()
{
    // Only this thread ever stores its own id, so a relaxed look tells whether it holds the lock.
    if (IsWriter()) {
        ++fWriteDepth;
        return;
    }
    fMutex.lock();
    fWriter.store(std::this_thread::get_id(), std::memory_order_relaxed);
    fWriteDepth = 1;
}

void TReadWriteSync::EndWrite() noexcept
{
    if (--fWriteDepth > 0)
        return;
    fWriter.store(std::thread::id(), std::memory_order_relaxed);
    fMutex.unlock();
}

void TReadWriteSync::BeginRead()
{
    // A read inside the thread's own write is part of that write.
    if (IsWriter()) {
        ++fWriteDepth;
        return;
    }
    fMutex.lock_shared();
}

void TReadWriteSync::EndRead() noexcept
{
    if (IsWriter()) {
        --fWriteDepth;
        return;
    }
    fMutex.unlock_shared();
}

} // namespace kiv

#include "platform/memory/FakeThreads.h"

namespace kiv::pf::fake {

FakeThreads::FakeThreads(int pProcessorCount)
    : fProcessors(pProcessorCount)
{
}

void FakeThreads::SetSystemTimes(std::optional<TSystemTimes> pTimes)
{
    const std::scoped_lock lock(fLock);
    fTimes = pTimes;
}

std::optional<TSystemTimes> FakeThreads::SystemTimes()
{
    const std::scoped_lock lock(fLock);
    return fTimes;
}

std::uint64_t FakeThreads::CurrentThreadId()
{
    // Ids are per fake and per thread; a thread seen by another fake gets that fake's next id.
    thread_local const FakeThreads* owner = nullptr;
    thread_local std::uint64_t id = 0;
    if (owner != this) {
        owner = this;
        id = fNextId.fetch_add(1);
    }
    return id;
}

void FakeThreads::SetCurrentThreadName(const QString& pName)
{
    const std::scoped_lock lock(fLock);
    fNames.append(pName);
}

void FakeThreads::SetThreadPriority(std::uint64_t pThreadId, TThreadPriority pPriority)
{
    const std::scoped_lock lock(fLock);
    fPriorities[pThreadId] = pPriority;
}

TThreadPriority FakeThreads::PriorityOf(std::uint64_t pThreadId) const
{
    const std::scoped_lock lock(fLock);
    const auto it = fPriorities.find(pThreadId);
    return it == fPriorities.end() ? TThreadPriority::Normal : it->second;
}

bool FakeThreads::SetBackgroundMode(bool pOn)
{
    fBackground.fetch_add(pOn ? 1 : -1);
    return true;
}

QStringList FakeThreads::ThreadNames() const
{
    const std::scoped_lock lock(fLock);
    return fNames;
}

} // namespace kiv::pf::fake

#include "core/shell/KivShellHistory.h"

#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"

#include <algorithm>

namespace kiv {

namespace {

// Whether the current entry gives way to the folder being added: it is the same place (the new
// list replaces it), or its folder is gone. Both may touch the disk, so the caller holds no lock.
bool CurrentGivesWay(const IItemIdList& pNew, const IItemIdListPtr& pCurrent)
{
    if (pNew.CompareTo(pCurrent, TItemIdListComparison::ilcDisplay) == 0)
        return true;
    // A place on a network mount is kept as it is: reloading it could hang the navigating
    // (user-interface) thread on a dead mount, and a stale entry only costs a failed move later.
    if (pCurrent->IsSlow())
        return false;
    return !pCurrent->Reload();
}

} // namespace

std::shared_ptr<TPidlHistory> TPidlHistory::Create()
{
    return std::make_shared<TPidlHistory>(TPrivate{});
}

bool TPidlHistory::HasCurrentLocked() const
{
    return fPosition >= 0 && fPosition < static_cast<int>(fEntries.size());
}

IItemIdListPtr TPidlHistory::GetCurrentItemIDList() const
{
    std::lock_guard lock(fLock);
    if (!HasCurrentLocked())
        return nullptr;
    return fEntries[static_cast<std::size_t>(fPosition)];
}

int TPidlHistory::GetCount() const
{
    std::lock_guard lock(fLock);
    return static_cast<int>(fEntries.size());
}

int TPidlHistory::GetPosition() const
{
    std::lock_guard lock(fLock);
    return fEntries.empty() ? -1 : fPosition;
}

void TPidlHistory::SetPosition(int pPosition)
{
    std::lock_guard lock(fLock);
    fPosition = pPosition;
}

void TPidlHistory::Add(const IItemIdListPtr& pList)
{
    if (!pList || pList->IsInvalid())
        return;
    // Decide about the current entry without the lock, then apply the decision only if the
    // current entry is still the one decided about; another thread may have moved meanwhile.
    for (;;) {
        IItemIdListPtr current;
        int position = -1;
        {
            std::lock_guard lock(fLock);
            if (HasCurrentLocked())
                current = fEntries[static_cast<std::size_t>(fPosition)];
            position = fPosition;
        }
        const bool dropCurrent = current && CurrentGivesWay(*pList, current);

        std::lock_guard lock(fLock);
        const bool unchanged =
            fPosition == position &&
            (current
                 ? HasCurrentLocked() && fEntries[static_cast<std::size_t>(fPosition)] == current
                 : !HasCurrentLocked());
        if (!unchanged)
            continue;
        AppendLocked(pList, dropCurrent);
        return;
    }
}

void TPidlHistory::AppendLocked(const IItemIdListPtr& pList, bool pDropCurrent)
{
    if (pDropCurrent) {
        fEntries.erase(fEntries.begin() + fPosition);
        // The entry before the dropped one becomes current, so that the pruning below also
        // removes the entry that moved into the dropped one's place: revisiting the current
        // folder in the middle of the history must not leave a "forward" entry behind it.
        --fPosition;
    }
    // Everything after the current entry was reachable only by moving forward; a new visit
    // starts a new branch. A position before the first entry prunes them all, one past the
    // last prunes nothing.
    const int keep = std::clamp(fPosition + 1, 0, static_cast<int>(fEntries.size()));
    fEntries.erase(fEntries.begin() + keep, fEntries.end());
    fEntries.push_back(pList);
    fPosition = static_cast<int>(fEntries.size()) - 1;
}

void TPidlHistory::Clear()
{
    std::lock_guard lock(fLock);
    fEntries.clear();
    fPosition = -1;
}

bool TPidlHistory::IsMovePossible(int pDelta) const
{
    std::lock_guard lock(fLock);
    if (!HasCurrentLocked())
        return false;
    // In 64 bits: -INT_MIN does not fit an int.
    const std::int64_t delta = pDelta;
    if (delta > 0)
        return static_cast<std::int64_t>(fEntries.size()) - 1 - fPosition >= delta;
    return fPosition >= -delta;
}

void TPidlHistory::MoveBack(std::uint8_t pSteps)
{
    std::lock_guard lock(fLock);
    if (!HasCurrentLocked())
        return;
    fPosition = std::max(0, fPosition - static_cast<int>(pSteps));
}

void TPidlHistory::MoveForward(std::uint8_t pSteps)
{
    std::lock_guard lock(fLock);
    if (!HasCurrentLocked())
        return;
    fPosition =
        std::min(static_cast<int>(fEntries.size()) - 1, fPosition + static_cast<int>(pSteps));
}

QString TPidlHistory::GetPaths(int pIndex) const
{
    IItemIdListPtr entry;
    {
        std::lock_guard lock(fLock);
        if (pIndex < 0 || pIndex >= static_cast<int>(fEntries.size())) {
            throw EInvalidArgument(
                QStringLiteral("TPidlHistory.GetPaths: The index %1 is outside the history (%2 "
                               "entries).")
                    .arg(pIndex)
                    .arg(fEntries.size()));
        }
        entry = fEntries[static_cast<std::size_t>(pIndex)];
    }
    // Naming may resolve the list: outside the lock.
    return entry->DisplayName(TItemIdListDisplayNameFormat::dnfPreferPhysical);
}

std::vector<IItemIdListPtr> TPidlHistory::Entries() const
{
    std::lock_guard lock(fLock);
    return fEntries;
}

} // namespace kiv

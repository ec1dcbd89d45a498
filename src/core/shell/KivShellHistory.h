#pragma once

// The back/forward list of visited folders. The component link keeps one for the controls of a
// window and shares it with them through IKivShellHistory; the list and tree keep their own.
//
// Ownership: held as a shared pointer (IKivShellHistoryPtr) by whoever navigates with it; the
// entries are shared item identifier lists, so a list handed out stays valid after the history
// drops it.
//
// Threads: every operation may be called from any thread. Entries and position sit under one
// short lock; what may touch the disk (comparing, reloading and naming an entry) is done outside
// it on a copy of the entry.

#include "core/shell/KivShellTypes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kiv {

class IKivShellHistory
{
public:
    virtual ~IKivShellHistory() = default;

    // The entry at the position; null when there is none there (a negative position, an empty
    // history, or a position set past the last entry).
    virtual IItemIdListPtr GetCurrentItemIDList() const = 0;
    virtual int GetCount() const = 0;
    // -1 when the history is empty.
    virtual int GetPosition() const = 0;
    // Stores pPosition as it is: callers walk the entries with it and put the old value back.
    virtual void SetPosition(int pPosition) = 0;
    // Records a visit: pList becomes the last entry and the current one. A null or invalid list
    // is ignored. Visiting the current folder again replaces its entry; a current entry whose
    // folder no longer exists is dropped; the entries after the current one (what "forward"
    // would have reached) are dropped.
    virtual void Add(const IItemIdListPtr& pList) = 0;
    virtual void Clear() = 0;
    // pDelta > 0: at least pDelta entries follow the current one; pDelta <= 0: at least |pDelta|
    // entries precede it. False without a current entry.
    virtual bool IsMovePossible(int pDelta) const = 0;
    // Move pSteps entries back / forward, stopping at the first / last entry. The count is 8-bit
    // as the navigation controls pass it.
    virtual void MoveBack(std::uint8_t pSteps) = 0;
    virtual void MoveForward(std::uint8_t pSteps) = 0;
};

using IKivShellHistoryPtr = std::shared_ptr<IKivShellHistory>;

// The history of item identifier lists. There is no limit on the number of entries.
class TPidlHistory final : public IKivShellHistory
{
    struct TPrivate
    {
    };

public:
    // Public for make_shared only: use Create.
    explicit TPidlHistory(TPrivate) {}
    static std::shared_ptr<TPidlHistory> Create();

    IItemIdListPtr GetCurrentItemIDList() const override;
    int GetCount() const override;
    int GetPosition() const override;
    void SetPosition(int pPosition) override;
    void Add(const IItemIdListPtr& pList) override;
    void Clear() override;
    bool IsMovePossible(int pDelta) const override;
    void MoveBack(std::uint8_t pSteps) override;
    void MoveForward(std::uint8_t pSteps) override;

    // The entry at pIndex as a path where it has one (dnfPreferPhysical); raises
    // EInvalidArgument for an index outside the entries.
    QString GetPaths(int pIndex) const;
    // The entries, oldest first.
    std::vector<IItemIdListPtr> Entries() const;

private:
    bool HasCurrentLocked() const;
    void AppendLocked(const IItemIdListPtr& pList, bool pDropCurrent);

    mutable std::mutex fLock;
    std::vector<IItemIdListPtr> fEntries; // guarded by fLock
    int fPosition = -1;                   // guarded by fLock
};

} // namespace kiv

#pragma once

// TPathNodeTable: nodes found by their path, for a model that looks paths up several times for
// every file the user checks.
//
// An open-addressing table of pointers with each key's hash beside it: a look-up is a mask and a
// short run of slots, and a miss rarely touches a node. Nodes live in blocks and never move, so
// pointers between them stay good while others come and go; an erased node's place is reused.
//
// TNode must have `QString Key` and `std::size_t Hash`, set by the table, and be
// default-constructible; an erased node is reset to a default one.

#include <QString>
#include <QStringView>

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace kiv {

template <typename TNode> class TPathNodeTable
{
public:
    TPathNodeTable() = default;
    TPathNodeTable(const TPathNodeTable&) = delete;
    TPathNodeTable& operator=(const TPathNodeTable&) = delete;

    std::size_t Size() const { return fCount; }

    TNode* Find(QStringView pKey, std::size_t pHash) const
    {
        if (fCount == 0)
            return nullptr;
        for (std::size_t at = pHash & Mask();; at = (at + 1) & Mask()) {
            const TSlot& slot = fSlots[at];
            if (!slot.Node)
                return nullptr;
            if (slot.Hash == pHash && slot.Node->Key == pKey)
                return slot.Node;
        }
    }

    // The node of pKey, and whether it was made now.
    std::pair<TNode*, bool> TryEmplace(const QString& pKey, std::size_t pHash)
    {
        if (TNode* const found = Find(pKey, pHash))
            return {found, false};
        if ((fCount + 1) * 2 > fSlots.size())
            Grow();
        TNode* const node = Allocate();
        node->Key = pKey;
        node->Hash = pHash;
        std::size_t at = pHash & Mask();
        while (fSlots[at].Node)
            at = (at + 1) & Mask();
        fSlots[at] = TSlot{pHash, node};
        ++fCount;
        return {node, true};
    }

    void Erase(TNode* pNode)
    {
        std::size_t hole = pNode->Hash & Mask();
        while (fSlots[hole].Node != pNode)
            hole = (hole + 1) & Mask();
        // Later slots of the run move back into the hole when their home lies at or before it,
        // so that no run has a gap a look-up would stop at.
        for (std::size_t next = (hole + 1) & Mask(); fSlots[next].Node;
             next = (next + 1) & Mask()) {
            const std::size_t home = fSlots[next].Hash & Mask();
            const bool movable =
                hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
            if (movable) {
                fSlots[hole] = fSlots[next];
                hole = next;
            }
        }
        fSlots[hole] = TSlot{};
        --fCount;
        *pNode = TNode{};
        fFree.push_back(pNode);
    }

private:
    struct TSlot
    {
        std::size_t Hash = 0;
        TNode* Node = nullptr;
    };
    static constexpr std::size_t kBlockSize = 256;

    std::size_t Mask() const { return fSlots.size() - 1; }

    void Grow()
    {
        std::vector<TSlot> old =
            std::exchange(fSlots, std::vector<TSlot>(fSlots.empty() ? 64 : fSlots.size() * 2));
        for (const TSlot& slot : old) {
            if (!slot.Node)
                continue;
            std::size_t at = slot.Hash & Mask();
            while (fSlots[at].Node)
                at = (at + 1) & Mask();
            fSlots[at] = slot;
        }
    }

    TNode* Allocate()
    {
        if (fFree.empty()) {
            fBlocks.push_back(std::make_unique<TNode[]>(kBlockSize));
            TNode* const block = fBlocks.back().get();
            for (std::size_t i = kBlockSize; i > 0; --i)
                fFree.push_back(block + i - 1);
        }
        TNode* const node = fFree.back();
        fFree.pop_back();
        return node;
    }

    std::vector<TSlot> fSlots; // a power of two long, at most half full
    std::size_t fCount = 0;
    std::vector<std::unique_ptr<TNode[]>> fBlocks;
    std::vector<TNode*> fFree;
};

} // namespace kiv

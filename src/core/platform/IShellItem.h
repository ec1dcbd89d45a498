#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IdList.h"
#include "core/platform/PropVariant.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace kiv::pf {

class IShellItem;
using IShellItemPtr = std::shared_ptr<IShellItem>;

// One item of the namespace: its absolute list bound to its parent folder. Immutable except for
// Update, which refreshes the snapshot; safe to share between threads.
class IShellItem
{
public:
    virtual ~IShellItem() = default;
    // The item's absolute list.
    virtual HResult GetIdList(IdListBytes& pList) = 0;
    // A name in the sigdn:: form; sigdn::FILESYSPATH fails for items without a file-system path.
    virtual HResult GetDisplayName(std::uint32_t pForm, QString& pName) = 0;
    // The bits of pMask that the item has; S_OK when all are set, S_FALSE when some are missing.
    virtual HResult GetAttributes(std::uint32_t pMask, std::uint32_t& pAttributes) = 0;
    // Orders against another item with a shcids:: hint; S_OK when equal, S_FALSE otherwise.
    virtual HResult Compare(IShellItem& pOther, std::uint32_t pHint, int& pOrder) = 0;
    // Re-reads the item from the disk; fails at once (HResultFromWin32(2)) when it is gone.
    virtual HResult Update() = 0;
    // A typed property value; std::monostate when the item has none.
    virtual HResult GetProperty(const PropertyKey& pKey, PropVariant& pValue) = 0;
};

// Several items handed over together (the sources of a transfer, a selection), with their
// enumeration. The calls of this interface are safe from any thread.
class IShellItemArray
{
public:
    virtual ~IShellItemArray() = default;
    virtual int Count() = 0;
    // E_INVALIDARG outside 0 .. Count() - 1.
    virtual HResult GetItemAt(int pIndex, IShellItemPtr& pItem) = 0;
    // The bits of pMask that all items have (pAllItems) or that any item has; S_OK when every
    // bit of pMask is in the answer, S_FALSE otherwise, E_FAIL without items.
    virtual HResult GetAttributes(std::uint32_t pMask, bool pAllItems,
                                  std::uint32_t& pAttributes) = 0;
};

using IShellItemArrayPtr = std::shared_ptr<IShellItemArray>;

} // namespace kiv::pf

#pragma once

// Items in transfer form: the data object that carries a set of items to the clipboard or a drop
// target, and the items read back from one (also when another program made it).

#include "core/platform/IDataObject.h"
#include "core/shell/KivItemIdList.h"

#include <vector>

namespace kiv {

// A data object with the dropped-files format (the items that have a file-system path), the
// item-list format (every item, so virtual items travel too) and the preferred effect
// (pf::DROPEFFECT_COPY or pf::DROPEFFECT_MOVE for cut items). pItems are absolute lists.
pf::IDataObjectPtr CreateItemsDataObject(const std::vector<IItemIdListPtr>& pItems,
                                         std::uint32_t pEffect = pf::DROPEFFECT_COPY);

// The items a data object carries: its item lists when it has readable ones, else its dropped
// files. Malformed data gives no items.
std::vector<IItemIdListPtr> ItemsFromDataObject(pf::IDataObject& pData);

// The clipboard receives the items as copied or cut; raises EWayfoldError when it refuses.
void PutItemsOnClipboard(const std::vector<IItemIdListPtr>& pItems, bool pCut);
// The clipboard receives one text; raises EWayfoldError when it refuses.
void PutTextOnClipboard(const QString& pText);

} // namespace kiv

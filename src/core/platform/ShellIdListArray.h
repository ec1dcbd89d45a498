#pragma once

#include "core/platform/IdList.h"

#include <QByteArray>

#include <optional>
#include <vector>

// The item-list transfer format: a 32-bit count n, n + 1 offsets from the start of the block,
// then the parent's list and each item's list relative to that parent (all little-endian). It
// carries items that have no file-system path, which the dropped-files format cannot.

namespace kiv::pf {

QByteArray BuildShellIdListArray(IdSpan pParent, const std::vector<IdListBytes>& pRelativeItems);

// The items as absolute lists (parent followed by each relative list). Bytes come from other
// programs: nullopt when the count, an offset or a list does not fit the block.
std::optional<std::vector<IdListBytes>> ParseShellIdListArray(const QByteArray& pData);

} // namespace kiv::pf

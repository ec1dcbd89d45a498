#pragma once

#include "core/platform/IStream.h"

#include <string>

namespace kiv::pf::lnx {

// Opens a file (raw path bytes) as a stream over its descriptor; the descriptor closes with the
// last reference. Fails with the mapped system error (2, 3, 5, ...).
HResult OpenFileStream(const std::string& pPath, IStreamPtr& pStream);

} // namespace kiv::pf::lnx

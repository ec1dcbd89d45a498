#pragma once

#include "core/platform/IArchive.h"

#include <memory>

namespace kiv::pf::lnx {

// ZIP archives with libzip, written aside and renamed into place when complete.
std::unique_ptr<IArchives> CreateLinuxArchives();

} // namespace kiv::pf::lnx

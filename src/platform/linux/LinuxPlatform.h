#pragma once

#include "core/platform/IPlatform.h"

#include <memory>

namespace kiv::pf::lnx {

// The platform the program runs on here.
std::unique_ptr<IPlatform> CreateLinuxPlatform();

} // namespace kiv::pf::lnx

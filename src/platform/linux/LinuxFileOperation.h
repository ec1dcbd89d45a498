#pragma once

#include "FileCopy.h"
#include "core/platform/IFileOperation.h"

#include <memory>

namespace kiv::pf::lnx {

// The file operation engine over the local file systems and mounted shares. Each
// PerformOperations runs on a thread of its own; see IFileOperation.h for the contract.
std::unique_ptr<IFileOps> CreateLinuxFileOps();

// One operation; pFaults (shared with the test that made it) plays failures of the system.
IFileOperationPtr CreateLinuxFileOperation(std::shared_ptr<const TFileOpFaults> pFaults = {},
                                           IFileOperationUiPtr pDefaultUi = {});

} // namespace kiv::pf::lnx

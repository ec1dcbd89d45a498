#pragma once

#include "core/platform/HResult.h"

#include <cstdint>

namespace kiv::pf::lnx {

// What a missing entry means to the caller: the named entry itself (2) or a folder on the way to
// it (3). The system says ENOENT for both; the call site knows which it asked for.
enum class TMissing
{
    File,
    Path,
};

// The system error code for an errno value.
std::uint32_t Win32FromErrno(int pErrno, TMissing pMissing = TMissing::File);
// The same as a failed result.
inline HResult HResultFromErrno(int pErrno, TMissing pMissing = TMissing::File)
{
    return HResultFromWin32(Win32FromErrno(pErrno, pMissing));
}

} // namespace kiv::pf::lnx

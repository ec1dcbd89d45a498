#pragma once

#include "core/platform/IFileOperation.h"

#include <QString>

#include <cstdint>

namespace kiv::pf {

// The older one-call form of a file operation: source and destination lists as texts of paths
// each ended by a NUL, the list ended by one more ("a\0b\0\0"), kept as the callers build them so
// their layout can be checked. Mapped onto the engine of IFileOperation.h.
namespace fo {
inline constexpr std::uint32_t FO_MOVE = 0x1;
inline constexpr std::uint32_t FO_COPY = 0x2;
inline constexpr std::uint32_t FO_DELETE = 0x3;
inline constexpr std::uint32_t FO_RENAME = 0x4;
// pTo names one full target path per source instead of one destination folder.
inline constexpr std::uint32_t FOF_MULTIDESTFILES = 0x1;
} // namespace fo

struct ShFileOpStruct
{
    WindowRef Owner = nullptr;
    std::uint32_t Func = 0;
    QString From;
    QString To;
    // fof:: flags (and FOF_MULTIDESTFILES).
    std::uint32_t Flags = 0;
    // Out: the user cancelled (or a question was answered so that the run stopped).
    bool AnyOperationsAborted = false;
};

// The paths of a double-NUL list (stops at the first empty entry).
QStringList SplitDoubleNulList(const QString& pList);

// Runs the operation with a new engine of pOps: 0 when everything succeeded, else the system
// error code of the first failure (1223 when cancelled; 87 for a malformed request).
int ShFileOperation(IFileOps& pOps, ShFileOpStruct& pOperation);

} // namespace kiv::pf

#pragma once

#include <QString>

#include <cstdint>

namespace kiv::pf {

// The English text of a system error code or of a failed result, as users read it in error
// messages ("The system cannot find the path specified."). Accepts both a plain code (3) and a
// result (0x80070003); unknown values give "Unknown error 0x%08X".
QString SystemErrorText(std::uint32_t pCodeOrResult);

} // namespace kiv::pf

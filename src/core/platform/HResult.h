#pragma once

#include <cstdint>

// Results of platform operations: 32-bit codes with the values the family tests, the same on every
// host so that a failure carries one meaning everywhere. A negative value is a failure; the low
// 16 bits of a failure built from a system error are that error's code.

namespace kiv::pf {

using HResult = std::int32_t;

constexpr HResult MakeHResult(std::uint32_t pValue)
{
    return static_cast<HResult>(pValue);
}

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HResult E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HResult E_FAIL = MakeHResult(0x80004005u);
inline constexpr HResult E_PENDING = MakeHResult(0x8000000Au);
inline constexpr HResult E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HResult E_ACCESSDENIED = MakeHResult(0x80070005u);
inline constexpr HResult E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HResult E_INVALIDARG = MakeHResult(0x80070057u);
inline constexpr HResult STG_E_ACCESSDENIED = MakeHResult(0x80030005u);
inline constexpr HResult STG_E_FILEALREADYEXISTS = MakeHResult(0x80030050u);
inline constexpr HResult WTS_E_EXTRACTIONPENDING = MakeHResult(0x8004B205u);
inline constexpr HResult DRAGDROP_E_ALREADYREGISTERED = MakeHResult(0x80040101u);
// The requested resource is in use (system error 170 as a result).
inline constexpr HResult E_BUSY = MakeHResult(0x800700AAu);

// System error codes the layer reports (the low 16 bits of HResultFromWin32).
namespace win32 {
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t ERROR_NOT_SAME_DEVICE = 17;
inline constexpr std::uint32_t ERROR_WRITE_PROTECT = 19;
inline constexpr std::uint32_t ERROR_NOT_READY = 21;
inline constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr std::uint32_t ERROR_BAD_NETPATH = 53;
inline constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr std::uint32_t ERROR_CANNOT_MAKE = 82;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_DISK_FULL = 112;
inline constexpr std::uint32_t ERROR_INVALID_NAME = 123;
inline constexpr std::uint32_t ERROR_DIR_NOT_EMPTY = 145;
inline constexpr std::uint32_t ERROR_BUSY = 170;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr std::uint32_t ERROR_CANTWRITE = 1013;
inline constexpr std::uint32_t ERROR_IO_DEVICE = 1117;
inline constexpr std::uint32_t ERROR_CANCELLED = 1223;
inline constexpr std::uint32_t ERROR_LOGON_FAILURE = 1326;
// A damaged archive, or a file that is no archive at all.
inline constexpr std::uint32_t ERROR_FILE_CORRUPT = 1392;
inline constexpr std::uint32_t ERROR_CANT_ACCESS_FILE = 1920;
} // namespace win32

constexpr bool Succeeded(HResult pResult)
{
    return pResult >= 0;
}

constexpr bool Failed(HResult pResult)
{
    return pResult < 0;
}

// A system error code as a failed result: 0x80070000 | code (0 stays S_OK).
constexpr HResult HResultFromWin32(std::uint32_t pCode)
{
    return pCode == 0 ? S_OK : MakeHResult(0x80070000u | (pCode & 0xFFFFu));
}

// The code part of a result (its low 16 bits).
constexpr std::uint32_t HResultCode(HResult pResult)
{
    return static_cast<std::uint32_t>(pResult) & 0xFFFFu;
}

} // namespace kiv::pf

#include "SystemErrorTexts.h"

#include "HResult.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

TEST(SystemErrorTexts, CodesResultsAndUnknownValues)
{
    EXPECT_EQ(SystemErrorText(3), "The system cannot find the path specified.");
    EXPECT_EQ(SystemErrorText(std::uint32_t(HResultFromWin32(5))), "Access is denied.");
    EXPECT_EQ(SystemErrorText(std::uint32_t(E_NOINTERFACE)), "No such interface supported");
    EXPECT_EQ(SystemErrorText(std::uint32_t(E_INVALIDARG)), "The parameter is incorrect.");
    EXPECT_EQ(SystemErrorText(0x8004DEADu), "Unknown error 0x8004DEAD");
    EXPECT_EQ(SystemErrorText(9999), "Unknown error 0x0000270F");
}

TEST(HResult, Win32Conversion)
{
    static_assert(HResultFromWin32(0) == S_OK);
    static_assert(HResultFromWin32(2) == MakeHResult(0x80070002u));
    static_assert(Failed(HResultFromWin32(1223)) && HResultCode(HResultFromWin32(1223)) == 1223);
    static_assert(Succeeded(S_FALSE) && !Failed(S_OK));
}

} // namespace
} // namespace kiv::pf

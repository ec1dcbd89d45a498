#include "KivVersion.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

TEST(KivVersion, ComponentVersionIsClassNameBlankFamilyVersion)
{
    EXPECT_EQ(ComponentVersion(u"TKivShellTree"),
              QStringLiteral("TKivShellTree ") + FamilyVersion());
    EXPECT_FALSE(FamilyVersion().isEmpty());
}

} // namespace
} // namespace kiv

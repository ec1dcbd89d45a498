#include "LinuxInfo.h"

#include "Errno.h"

#include <QStringList>

#include <cerrno>
#include <gtest/gtest.h>

namespace kiv::pf::lnx {
namespace {

TEST(ErrnoTest, SystemErrorsBecomeTheCodesCallersTest)
{
    struct TCase
    {
        int Errno;
        TMissing Missing;
        std::uint32_t Code;
    };
    const TCase cases[] = {
        {ENOENT, TMissing::File, 2},
        {ENOENT, TMissing::Path, 3},
        {ENOTDIR, TMissing::File, 3},
        {EACCES, TMissing::File, 5},
        {EPERM, TMissing::File, 5},
        {EBUSY, TMissing::File, 32},
        {EEXIST, TMissing::File, 183},
        {ENOTEMPTY, TMissing::File, 145},
        {ENOSPC, TMissing::File, 112},
        {EDQUOT, TMissing::File, 112},
        {EROFS, TMissing::File, 19},
        {EXDEV, TMissing::File, 17},
        {ENAMETOOLONG, TMissing::File, 206},
        {EINVAL, TMissing::File, 123},
        {ETIMEDOUT, TMissing::File, 53},
        {ENOTCONN, TMissing::File, 53},
        {EIO, TMissing::File, 21},
        {ENOMEDIUM, TMissing::File, 21},
        {ECANCELED, TMissing::File, 1223},
        {EPROTO, TMissing::File, 1117},
        {0, TMissing::File, 0},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Win32FromErrno(c.Errno, c.Missing), c.Code) << c.Errno;
        EXPECT_EQ(HResultFromErrno(c.Errno, c.Missing), HResultFromWin32(c.Code)) << c.Errno;
    }
    // Every code the layer produces has its own text.
    TLinuxInfo info;
    for (const TCase& c : cases) {
        if (c.Code != 0) {
            EXPECT_FALSE(info.SystemErrorText(c.Code).startsWith(QLatin1String("Unknown")))
                << c.Code;
        }
    }
}

TEST(LinuxInfoTest, AnswersForThisProcess)
{
    TLinuxInfo info;
    EXPECT_EQ(info.Profile(), (OsProfile{true, true, false, 0}));
    EXPECT_TRUE(info.ExecutablePath().endsWith(QLatin1String("kiv_platform_linux_test")));
    EXPECT_FALSE(info.IsUserAdmin());
    QString text;
    ASSERT_TRUE(info.LoadString(StringModule::Shell32, 8977, text));
    EXPECT_EQ(text, QStringLiteral("In Folder"));
    // Names of items that exist only elsewhere: no item here can be called that.
    ASSERT_TRUE(info.LoadString(StringModule::Shell32, 4161, text));
    EXPECT_TRUE(text.contains(u'/'));
    ASSERT_TRUE(info.LoadString(StringModule::ExplorerFrame, 12624, text));
    EXPECT_EQ(text.split(u'|').value(3), QStringLiteral("Refresh"));
    EXPECT_FALSE(info.LoadString(StringModule::Shell32, 1, text));
    EXPECT_FALSE(info.LoadString(StringModule::ExplorerFrame, 8977, text));
    EXPECT_FALSE(info.Locale().DecimalSeparator.isEmpty());
}

} // namespace
} // namespace kiv::pf::lnx

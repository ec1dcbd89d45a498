#include "GvfsUris.h"

#include "core/platform/FileNames.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace kiv::pf::lnx {
namespace {

const QString kRoot = QStringLiteral("/run/user/1000/gvfs");
const QStringList kMounts = {
    QStringLiteral("sftp:host=example.com,user=bob"),
    QStringLiteral("sftp:host=example.com,port=2222,user=eve"),
    QStringLiteral("smb-share:server=nas,share=media"),
    QStringLiteral("mtp:host=Phone_ABC123"),
    QStringLiteral("dav:host=cloud.example.org,ssl=true,user=bob%40mail"),
};

struct TGvfsCase
{
    const char* Name;
    QByteArray Uri;
    // Relative to kRoot; nullopt: no mount serves the URI.
    std::optional<QString> Path;
};

class GvfsUriTest : public ::testing::TestWithParam<TGvfsCase>
{
};

TEST_P(GvfsUriTest, MapsToTheMountFolder)
{
    const std::optional<QString> path = GvfsPathOfUri(GetParam().Uri, kRoot, kMounts);
    const std::optional<QString>& expected = GetParam().Path;
    ASSERT_EQ(path.has_value(), expected.has_value()) << path.value_or(QString()).toStdString();
    if (expected) {
        EXPECT_EQ(*path, kRoot + u'/' + *expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Uris, GvfsUriTest,
    ::testing::Values(
        TGvfsCase{"SftpWithUser", "sftp://bob@example.com/home/bob/a%20b.txt",
                  QStringLiteral("sftp:host=example.com,user=bob/home/bob/a b.txt")},
        // Without a user the first mount of the host serves; host names ignore case.
        TGvfsCase{"SftpAnyUser", "sftp://EXAMPLE.com/etc/",
                  QStringLiteral("sftp:host=example.com,user=bob/etc")},
        TGvfsCase{"SftpPort", "sftp://eve@example.com:2222/x",
                  QStringLiteral("sftp:host=example.com,port=2222,user=eve/x")},
        TGvfsCase{"SftpUnknownUser", "sftp://mallory@example.com/x", std::nullopt},
        TGvfsCase{"SmbShare", "smb://NAS/Media/films/f.mkv",
                  QStringLiteral("smb-share:server=nas,share=media/films/f.mkv")},
        TGvfsCase{"SmbShareItself", "smb://nas/media",
                  QStringLiteral("smb-share:server=nas,share=media")},
        TGvfsCase{"SmbServerOnly", "smb://nas/", std::nullopt},
        TGvfsCase{"Mtp", "mtp://Phone_ABC123/Internal%20storage/DCIM",
                  QStringLiteral("mtp:host=Phone_ABC123/Internal storage/DCIM")},
        TGvfsCase{"DavsWithEscapedUser", "davs://bob%40mail@cloud.example.org/d",
                  QStringLiteral("dav:host=cloud.example.org,ssl=true,user=bob%40mail/d")},
        // Plain dav is another mount than the encrypted one.
        TGvfsCase{"DavNotDavs", "dav://bob%40mail@cloud.example.org/d", std::nullopt},
        TGvfsCase{"NotMounted", "ftp://ftp.example.com/pub", std::nullopt},
        TGvfsCase{"ClimbsOut", "sftp://bob@example.com/a/%2E%2E/%2E%2E/x", std::nullopt},
        TGvfsCase{"Nul", "sftp://bob@example.com/a%00b", std::nullopt},
        TGvfsCase{"NoHost", "sftp:///x", std::nullopt}),
    [](const ::testing::TestParamInfo<TGvfsCase>& pInfo) { return std::string(pInfo.param.Name); });

// Bytes that are not UTF-8 come through as the escapes file names carry them in.
TEST(GvfsUriTest, KeepsTheExactBytesOfNames)
{
    const std::optional<QString> path =
        GvfsPathOfUri("sftp://bob@example.com/d/%FF%FE.bin", kRoot, kMounts);
    ASSERT_TRUE(path);
    EXPECT_EQ(EncodeFileName(*path),
              "/run/user/1000/gvfs/sftp:host=example.com,user=bob/d/\xff\xfe.bin");
}

} // namespace
} // namespace kiv::pf::lnx

#include "MountTable.h"

#include <gtest/gtest.h>

namespace kiv::pf::lnx {
namespace {

// A table as a desktop machine shows it, with the cases that matter: pseudo file systems,
// removable media with an escaped blank, network shares, a mount point mounted over.
constexpr std::string_view kTable =
    "22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "23 22 0:22 / /proc rw,nosuid - proc proc rw\n"
    "24 22 0:5 / /dev rw,nosuid shared:2 - devtmpfs udev rw\n"
    "25 22 0:23 / /run rw,nosuid - tmpfs tmpfs rw\n"
    "40 22 8:17 / /media/u/My\\040Disk rw,nosuid shared:40 - vfat /dev/sdb1 rw\n"
    "41 22 0:50 / /mnt/share rw - cifs //server/share rw\n"
    "42 22 0:51 / /home/u/remote ro,nosuid - fuse.sshfs u@host:/data rw\n"
    "43 22 0:52 / /home/u/scratch rw - tmpfs tmpfs rw\n"
    "44 22 8:33 / /boot rw - ext4 /dev/sda1 rw\n"
    "45 22 11:0 / /media/u/CD ro - iso9660 /dev/sr0 ro\n"
    "46 22 8:18 / /mnt/data rw - ext4 /dev/sdc1 rw\n"
    "47 22 8:19 / /mnt/data rw - xfs /dev/sdc2 rw\n"
    "malformed line without fields\n"
    "48 22 8:20 / relative rw - ext4 /dev/sdd rw\n";

const TMount* Find(const std::vector<TMount>& pMounts, std::string_view pPath)
{
    for (const TMount& mount : pMounts) {
        if (mount.Path == pPath)
            return &mount;
    }
    return nullptr;
}

TEST(MountTableTest, ClassifiesAndFiltersMounts)
{
    const auto mounts = ParseMountInfo(kTable, "/home/u");
    struct TExpect
    {
        std::string_view Path;
        DriveType Drive;
        bool Visible;
        bool ReadOnly;
    };
    const TExpect expected[] = {
        {"/", DriveType::Fixed, true, false},
        {"/proc", DriveType::Fixed, false, false},
        {"/run", DriveType::RamDisk, false, false},
        {"/media/u/My Disk", DriveType::Removable, true, false},
        {"/mnt/share", DriveType::Remote, true, false},
        {"/home/u/remote", DriveType::Remote, true, true},
        {"/home/u/scratch", DriveType::RamDisk, false, false},
        {"/boot", DriveType::Fixed, false, false},
        {"/media/u/CD", DriveType::CdRom, true, true},
    };
    for (const TExpect& e : expected) {
        const TMount* mount = Find(mounts, e.Path);
        ASSERT_NE(mount, nullptr) << e.Path;
        EXPECT_EQ(mount->Drive, e.Drive) << e.Path;
        EXPECT_EQ(mount->Visible, e.Visible) << e.Path;
        EXPECT_EQ(mount->ReadOnly, e.ReadOnly) << e.Path;
    }
    // The later mount on /mnt/data hides the earlier one; relative and malformed lines are gone.
    EXPECT_EQ(std::count_if(mounts.begin(), mounts.end(),
                            [](const TMount& pMount) { return pMount.Path == "/mnt/data"; }),
              1);
    EXPECT_EQ(Find(mounts, "/mnt/data")->Type, "xfs");
    EXPECT_EQ(Find(mounts, "relative"), nullptr);
    EXPECT_EQ(Find(mounts, "/mnt/share")->Source, "//server/share");
}

TEST(MountTableTest, FindsTheDeepestMountByWholeComponents)
{
    const auto mounts = ParseMountInfo(kTable, "/home/u");
    EXPECT_EQ(MountContaining(mounts, "/mnt/share/a/b", true)->Path, "/mnt/share");
    EXPECT_EQ(MountContaining(mounts, "/mnt/shared", true)->Path, "/");
    EXPECT_EQ(MountContaining(mounts, "/proc/1", true)->Path, "/");
    EXPECT_EQ(MountContaining(mounts, "/proc/1", false)->Path, "/proc");
    EXPECT_EQ(MountContaining(mounts, "relative/path", false), nullptr);

    EXPECT_TRUE(IsPathPrefix("/", "/x"));
    EXPECT_TRUE(IsPathPrefix("/a/b", "/a/b"));
    EXPECT_TRUE(IsPathPrefix("/a/b", "/a/b/c"));
    EXPECT_FALSE(IsPathPrefix("/a/b", "/a/bc"));
    EXPECT_FALSE(IsPathPrefix("/a/B", "/a/b"));
}

} // namespace
} // namespace kiv::pf::lnx

#include "LinuxLinks.h"

#include "LinuxTrash.h"

#include <gtest/gtest.h>

namespace kiv::pf::lnx {
namespace {

TEST(LinuxLinksTest, FileUrisBecomeExactPathBytes)
{
    EXPECT_EQ(PathFromFileUri("file:///home/u/a%20b"), "/home/u/a b");
    EXPECT_EQ(PathFromFileUri("file:///caf%E9"), "/caf\xE9");
    EXPECT_EQ(PathFromFileUri("file://localhost/x"), "/x");
    EXPECT_EQ(PathFromFileUri("file://otherhost/x"), "");
    EXPECT_EQ(PathFromFileUri("sftp://host/x"), "");
    EXPECT_EQ(PathFromFileUri("file:///bad%00nul"), "");
    EXPECT_EQ(PathFromFileUri("file:///trailing%2"), "/trailing%2");
}

TEST(LinuxLinksTest, BookmarksKeepLocalEntriesAndLabels)
{
    const auto links = ParseBookmarks("file:///home/u/Projects Work stuff\r\n"
                                      "sftp://host/share Remote\n"
                                      "\n"
                                      "file:///home/u/My%20Music\n");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].Target, "/home/u/Projects");
    EXPECT_EQ(links[0].Label, "Work stuff");
    EXPECT_EQ(links[1].Target, "/home/u/My Music");
    EXPECT_EQ(links[1].Label, "");
}

TEST(LinuxLinksTest, RecentlyUsedNewestFirst)
{
    const auto links = ParseRecentlyUsed(R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0">
  <bookmark href="file:///old.txt" added="2020-01-01T00:00:00Z" modified="2020-01-01T00:00:00Z" visited="2020-01-01T00:00:00Z"/>
  <bookmark href="https://example.invalid/page" added="2024-01-01T00:00:00Z"/>
  <bookmark href="file:///new%20one.txt" added="2021-01-01T00:00:00Z" modified="2023-06-01T12:00:00.5Z"/>
</xbel>)");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].Target, "/new one.txt");
    EXPECT_EQ(links[1].Target, "/old.txt");
    EXPECT_GT(links[0].Time, links[1].Time);
    EXPECT_TRUE(ParseRecentlyUsed("<xbel><bookmark href=").empty());
}

TEST(LinuxLinksTest, TrashInfoPathsAreDecodedAndRelativeToTheVolume)
{
    std::string original;
    std::uint64_t deleted = 0;
    ASSERT_TRUE(ParseTrashInfo("[Trash Info]\nPath=dir/a%20b\nDeletionDate=2024-05-01T10:20:30\n",
                               "/media/u/USB", original, deleted));
    EXPECT_EQ(original, "/media/u/USB/dir/a b");
    EXPECT_NE(deleted, 0u);
    ASSERT_TRUE(ParseTrashInfo("[Trash Info]\r\nPath=/abs\r\n", "/", original, deleted));
    EXPECT_EQ(original, "/abs");
    EXPECT_EQ(deleted, 0u);
    EXPECT_FALSE(
        ParseTrashInfo("[Trash Info]\nDeletionDate=2024-05-01T10:20:30\n", "/", original, deleted));
}

} // namespace
} // namespace kiv::pf::lnx

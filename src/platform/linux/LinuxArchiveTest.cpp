#include "LinuxArchive.h"

#include "Errno.h"
#include "TestDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <zip.h>

namespace kiv::pf::lnx {
namespace {

using test::TestDir;

// An archive opened with libzip for reading back what was written.
class TReadArchive
{
public:
    explicit TReadArchive(const QString& pPath)
    {
        int error = 0;
        fArchive =
            zip_open(QFile::encodeName(pPath).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    }
    ~TReadArchive()
    {
        if (fArchive)
            zip_discard(fArchive);
    }
    TReadArchive(const TReadArchive&) = delete;
    TReadArchive& operator=(const TReadArchive&) = delete;

    bool IsOpen() const { return fArchive != nullptr; }
    QStringList Names() const
    {
        QStringList names;
        for (zip_int64_t i = 0; i < zip_get_num_entries(fArchive, 0); ++i)
            names << QString::fromUtf8(zip_get_name(fArchive, static_cast<zip_uint64_t>(i), 0));
        names.sort();
        return names;
    }
    QByteArray Read(const char* pName) const
    {
        zip_file_t* file = zip_fopen(fArchive, pName, 0);
        if (!file)
            return "<missing>";
        QByteArray data;
        char buffer[4096];
        zip_int64_t got = 0;
        while ((got = zip_fread(file, buffer, sizeof buffer)) > 0)
            data.append(buffer, static_cast<qsizetype>(got));
        zip_fclose(file);
        return data;
    }

private:
    zip_t* fArchive = nullptr;
};

void SetTime(const QString& pPath, time_t pTime)
{
    const timespec times[2] = {{pTime, 0}, {pTime, 0}};
    ASSERT_EQ(
        ::utimensat(AT_FDCWD, QFile::encodeName(pPath).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

time_t TimeOf(const QString& pPath)
{
    struct stat st
    {
    };
    ::lstat(QFile::encodeName(pPath).constData(), &st);
    return st.st_mtime;
}

class LinuxArchiveTest : public ::testing::Test
{
protected:
    // A folder with a nested file, an empty folder, an executable and a link.
    QString MakeTree()
    {
        fDir.CreateFile("src/d/a.txt", "alpha");
        fDir.CreateFile("src/d/sub/b.bin", QByteArray(100000, 'b'));
        fDir.CreateFolder("src/d/empty");
        const QString tool = fDir.CreateFile("src/d/tool.sh", "#!/bin/sh\n");
        ::chmod(QFile::encodeName(tool).constData(), 0755);
        EXPECT_EQ(::symlink("a.txt", QFile::encodeName(fDir.Join("src/d/link")).constData()), 0);
        return fDir.Join("src/d");
    }

    TestDir fDir;
    std::unique_ptr<IArchives> fArchives = CreateLinuxArchives();
};

TEST_F(LinuxArchiveTest, TheEmptyArchiveIsTheEndRecordAloneAndNeverReplacesAFile)
{
    const QString zip = fDir.Join("x.zip");
    ASSERT_EQ(fArchives->CreateEmpty(zip), S_OK);
    EXPECT_EQ(QFileInfo(zip).size(), 22);
    TReadArchive read(zip);
    ASSERT_TRUE(read.IsOpen());
    EXPECT_TRUE(read.Names().isEmpty());

    const QString existing = fDir.CreateFile("y.zip", "keep me");
    EXPECT_EQ(fArchives->CreateEmpty(existing), HResultFromErrno(EEXIST));
    EXPECT_EQ(fDir.ReadFile("y.zip"), "keep me");
    EXPECT_TRUE(Failed(fArchives->CreateEmpty(fDir.Join("missing/x.zip"))));
    // No temporary file is left behind either way.
    EXPECT_EQ(QDir(fDir.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"x.zip", "y.zip"}));
}

TEST_F(LinuxArchiveTest, AddsFoldersRecursivelyAndAddsToAnExistingArchive)
{
    const QString tree = MakeTree();
    const QString zip = fDir.Join("x.zip");
    ASSERT_EQ(fArchives->CreateEmpty(zip), S_OK);
    ASSERT_EQ(fArchives->Add(zip, {tree}, IArchives::kDefaultLevel), S_OK);
    const QString more = fDir.CreateFile("more.txt", "more");
    // Small files are compressed by us, large ones by libzip: both read back whole (libzip
    // checks each entry's CRC as it reads to the end), and so does an empty one.
    QByteArray large(3 << 19, '\0');
    std::uint32_t state = 1;
    for (char& byte : large) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    const QString big = fDir.CreateFile("big.bin", large);
    const QString empty = fDir.CreateFile("empty.txt", "");
    ASSERT_EQ(fArchives->Add(zip, {more, big, empty}, IArchives::kBestLevel), S_OK);

    TReadArchive read(zip);
    ASSERT_TRUE(read.IsOpen());
    EXPECT_EQ(read.Names(), (QStringList{"big.bin", "d/", "d/a.txt", "d/empty/", "d/link", "d/sub/",
                                         "d/sub/b.bin", "d/tool.sh", "empty.txt", "more.txt"}));
    EXPECT_EQ(read.Read("d/a.txt"), "alpha");
    EXPECT_EQ(read.Read("d/sub/b.bin"), QByteArray(100000, 'b'));
    // The link is kept as a link: its entry holds the target, not the file's content.
    EXPECT_EQ(read.Read("d/link"), "a.txt");
    EXPECT_EQ(read.Read("more.txt"), "more");
    EXPECT_EQ(read.Read("big.bin"), large);
    EXPECT_EQ(read.Read("empty.txt"), QByteArray());
}

TEST_F(LinuxArchiveTest, AnArchiveInsideTheZippedFolderDoesNotGoIntoItself)
{
    fDir.CreateFile("d/a.txt", "alpha");
    const QString zip = fDir.Join("d/x.zip");
    ASSERT_EQ(fArchives->CreateEmpty(zip), S_OK);
    ASSERT_EQ(fArchives->Add(zip, {fDir.Join("d")}, IArchives::kDefaultLevel), S_OK);
    EXPECT_EQ(TReadArchive(zip).Names(), (QStringList{"d/", "d/a.txt"}));
}

TEST_F(LinuxArchiveTest, ExtractionKeepsContentsTimesModesAndLinks)
{
    const QString tree = MakeTree();
    // Odd seconds: the entries' own dates only have two-second steps.
    SetTime(fDir.Join("src/d/a.txt"), 1600000001);
    SetTime(fDir.Join("src/d/sub/b.bin"), 1500000003);
    SetTime(fDir.Join("src/d/sub"), 1400000005);
    const QString zip = fDir.Join("x.zip");
    ASSERT_EQ(fArchives->CreateEmpty(zip), S_OK);
    ASSERT_EQ(fArchives->Add(zip, {tree}, IArchives::kDefaultLevel), S_OK);

    const QString target = fDir.CreateFolder("out");
    QString staging;
    QStringList items;
    ASSERT_EQ(fArchives->ExtractToStaging(zip, target, staging, items), S_OK);
    EXPECT_TRUE(staging.startsWith(target + "/."));
    ASSERT_EQ(items, QStringList{staging + "/d"});
    const QString out = QDir(fDir.Path()).relativeFilePath(staging);
    EXPECT_EQ(fDir.ReadFile(out + "/d/a.txt"), "alpha");
    EXPECT_EQ(fDir.ReadFile(out + "/d/sub/b.bin"), QByteArray(100000, 'b'));
    EXPECT_EQ(TimeOf(staging + "/d/a.txt"), 1600000001);
    EXPECT_EQ(TimeOf(staging + "/d/sub/b.bin"), 1500000003);
    EXPECT_EQ(TimeOf(staging + "/d/sub"), 1400000005);
    EXPECT_TRUE(QFileInfo(staging + "/d/tool.sh").isExecutable());
    EXPECT_TRUE(QFileInfo(staging + "/d/empty").isDir());
    EXPECT_EQ(QFileInfo(staging + "/d/link").symLinkTarget(), staging + "/d/a.txt");

    fArchives->RemoveStaging(staging);
    EXPECT_FALSE(QFileInfo::exists(staging));
    EXPECT_TRUE(QFileInfo::exists(fDir.Join("src/d/a.txt")));
}

// Archives made by someone else, with names that would leave the folder they are extracted to.
class LinuxArchiveHostileTest
    : public LinuxArchiveTest
    , public ::testing::WithParamInterface<const char*>
{
};

TEST_F(LinuxArchiveTest, ExtractingWhatIsNoArchiveSaysItIsDamagedAndWritesNothing)
{
    const QString text = fDir.CreateFile("notes.zip", "just some text, no archive");
    const QString zip = fDir.Join("cut.zip");
    ASSERT_EQ(fArchives->CreateEmpty(zip), S_OK);
    ASSERT_EQ(fArchives->Add(zip, {fDir.CreateFile("in/a.txt", "aaaa")}, IArchives::kDefaultLevel),
              S_OK);
    QFile cut(zip);
    ASSERT_TRUE(cut.resize(cut.size() / 2));
    const QString target = fDir.CreateFolder("out");
    for (const QString& archive : {text, zip}) {
        QString staging;
        QStringList items;
        EXPECT_EQ(fArchives->ExtractToStaging(archive, target, staging, items),
                  HResultFromWin32(win32::ERROR_FILE_CORRUPT))
            << archive.toStdString();
        EXPECT_TRUE(staging.isEmpty());
    }
    EXPECT_TRUE(
        QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

TEST_P(LinuxArchiveHostileTest, IsRefusedAndWritesNothing)
{
    const QString zip = fDir.Join("evil.zip");
    {
        int error = 0;
        zip_t* archive = zip_open(QFile::encodeName(zip).constData(), ZIP_CREATE, &error);
        ASSERT_NE(archive, nullptr);
        for (const char* name : {"first.txt", GetParam()}) {
            static const char kData[] = "pwned";
            zip_source_t* source = zip_source_buffer(archive, kData, 5, 0);
            ASSERT_GE(zip_file_add(archive, name, source, ZIP_FL_ENC_RAW), 0) << name;
        }
        ASSERT_EQ(zip_close(archive), 0);
    }
    const QString target = fDir.CreateFolder("a/b/out");
    QString staging;
    QStringList items;
    EXPECT_TRUE(Failed(fArchives->ExtractToStaging(zip, target, staging, items)));
    EXPECT_TRUE(staging.isEmpty());
    EXPECT_TRUE(
        QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    for (const char* outside : {"a/b/x", "a/x", "x", "a/b/out/x"})
        EXPECT_FALSE(QFileInfo::exists(fDir.Join(outside))) << outside;
}

INSTANTIATE_TEST_SUITE_P(Names, LinuxArchiveHostileTest,
                         ::testing::Values("../x", "../../x", "sub/../../x", "..\\x", "/tmp/x",
                                           "C:/x"));

} // namespace
} // namespace kiv::pf::lnx

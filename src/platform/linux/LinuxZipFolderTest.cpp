#include "LinuxZipFolder.h"

#include "LinuxFileOperation.h"
#include "LinuxPlatform.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/FileTime.h"
#include "core/platform/IArchive.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IShellItem.h"
#include "core/platform/PropVariant.h"
#include "core/platform/ShellConstants.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

namespace kiv::pf::lnx {
namespace {

// One entry of an archive a test builds: a name ending in "/" is a folder entry. Names are
// stored as raw bytes (no UTF-8 flag), as old tools wrote them.
struct TZipSpec
{
    std::string Name;
    std::string Content;
};

class LinuxZipFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.IsValid());
        const QString home = fDir.CreateFolder(QStringLiteral("home"));
        fEnvironment.Set("HOME", QFile::encodeName(home));
        fEnvironment.Set("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        fEnvironment.Set("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local")));
        fPlatform = CreateLinuxPlatform();
    }

    INamespace& Ns() { return fPlatform->Namespace(); }

    QString MakeZip(const QString& pName, const std::vector<TZipSpec>& pEntries)
    {
        const QString path = fDir.Join(pName);
        int error = 0;
        zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE, &error);
        EXPECT_NE(archive, nullptr);
        for (const TZipSpec& entry : pEntries) {
            if (!entry.Name.empty() && entry.Name.back() == '/') {
                EXPECT_GE(zip_dir_add(archive, entry.Name.c_str(), ZIP_FL_ENC_RAW), 0);
                continue;
            }
            zip_source_t* source =
                zip_source_buffer(archive, entry.Content.data(), entry.Content.size(), 0);
            EXPECT_GE(zip_file_add(archive, entry.Name.c_str(), source, ZIP_FL_ENC_RAW), 0)
                << entry.Name;
        }
        EXPECT_EQ(zip_close(archive), 0);
        return path;
    }

    IdListBytes Parse(const QString& pPath, HResult pExpected = S_OK)
    {
        IdListBytes list;
        EXPECT_EQ(Ns().Desktop()->ParseDisplayName(nullptr, nullptr, pPath, list, nullptr),
                  pExpected)
            << pPath.toStdString();
        return list;
    }

    QString Name(IdSpan pList, std::uint32_t pForm)
    {
        IShellItemPtr item;
        EXPECT_EQ(Ns().CreateShellItem(pList, item), S_OK);
        QString name;
        if (!item || Failed(item->GetDisplayName(pForm, name)))
            return QStringLiteral("<failed>");
        return name;
    }

    std::uint32_t Attributes(IdSpan pList)
    {
        IShellItemPtr item;
        EXPECT_EQ(Ns().CreateShellItem(pList, item), S_OK);
        std::uint32_t attributes = 0;
        if (item)
            item->GetAttributes(0xFFFFFFFFu, attributes);
        return attributes;
    }

    // The in-folder parsing names of a folder's children, sorted; the result of the enumeration
    // in pResult.
    std::vector<std::string> List(const QString& pFolder, HResult* pResult = nullptr,
                                  std::uint32_t pFlags = shcontf::FOLDERS | shcontf::NONFOLDERS)
    {
        std::vector<std::string> names;
        IShellFolderPtr folder;
        EXPECT_EQ(Ns().BindToFolder(IdSpan(Parse(pFolder)), folder), S_OK);
        if (!folder)
            return names;
        IEnumIDListPtr items;
        const HResult result = folder->EnumObjects(nullptr, pFlags, items);
        if (pResult)
            *pResult = result;
        else
            EXPECT_EQ(result, S_OK);
        IdListBytes item;
        while (items && items->Next(item) == S_OK) {
            QString name;
            folder->GetDisplayNameOf(IdSpan(item), shgdn::INFOLDER | shgdn::FORPARSING, name);
            names.push_back(EncodeFileName(name));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string ReadAll(IStream& pStream)
    {
        std::string data;
        char buffer[1000];
        std::size_t got = 0;
        while (pStream.Read(buffer, sizeof buffer, got) == S_OK && got > 0)
            data.append(buffer, got);
        return data;
    }

    test::TestDir fDir;
    std::unique_ptr<IPlatform> fPlatform;
    test::TScopedEnvironment fEnvironment;
};

// A Windows-made archive: folders only implied by the paths of files, backslash separators,
// names that would leave the archive, a name that is no UTF-8, a hidden entry.
std::vector<TZipSpec> MixedEntries()
{
    return {{"top.txt", "top"},       {"a/", ""},
            {"a/b/c.txt", "deep"},    {"x/y.txt", "y"},
            {"win\\sub\\w.txt", "w"}, {"/abs.txt", "bad"},
            {"../evil.txt", "bad"},   {"a/../../evil2.txt", "bad"},
            {"C:\\evil3.txt", "bad"}, {"caf\xe9.txt", "latin"},
            {".hidden", "h"}};
}

TEST_F(LinuxZipFolderTest, ListsEachLevelWithImpliedFoldersAndNeverUnsafeNames)
{
    const QString zip = MakeZip(QStringLiteral("mixed.zip"), MixedEntries());
    const std::uint32_t attributes = Attributes(IdSpan(Parse(zip)));
    EXPECT_EQ(attributes & (sfgao::FOLDER | sfgao::STREAM | sfgao::FILESYSTEM),
              sfgao::FOLDER | sfgao::STREAM | sfgao::FILESYSTEM);

    const std::vector<std::string> top = List(zip);
    ASSERT_EQ(top.size(), 5u);
    EXPECT_EQ(top[0], "a");
    // The CP437 byte of the old name, shown as what the archive's encoding says it is.
    EXPECT_EQ(top[1], "caf\u0398.txt");
    EXPECT_EQ(top[2], "top.txt");
    EXPECT_EQ(top[3], "win");
    EXPECT_EQ(top[4], "x");
    EXPECT_EQ(List(zip, nullptr, 0x100E0).size(), 6u) << "the hidden entry with INCLUDEHIDDEN";
    EXPECT_EQ(List(zip + QStringLiteral("/a")), std::vector<std::string>{"b"});
    EXPECT_EQ(List(zip + QStringLiteral("/a/b")), std::vector<std::string>{"c.txt"});
    EXPECT_EQ(List(zip + QStringLiteral("/win/sub")), std::vector<std::string>{"w.txt"});
    EXPECT_EQ(List(zip, nullptr, shcontf::FOLDERS), (std::vector<std::string>{"a", "win", "x"}));

    const IdListBytes file = Parse(zip + QStringLiteral("/a/b/c.txt"));
    const std::uint32_t fileAttributes = Attributes(IdSpan(file));
    EXPECT_TRUE(fileAttributes & sfgao::STREAM);
    EXPECT_TRUE(fileAttributes & sfgao::CANCOPY);
    EXPECT_FALSE(fileAttributes & (sfgao::FOLDER | sfgao::FILESYSTEM | sfgao::CANRENAME |
                                   sfgao::CANDELETE | sfgao::ISSLOW));
    const std::uint32_t implied = Attributes(IdSpan(Parse(zip + QStringLiteral("/a/b"))));
    EXPECT_TRUE(implied & sfgao::FOLDER);
    EXPECT_FALSE(implied & sfgao::STREAM);
}

TEST_F(LinuxZipFolderTest, ParsingNamesRoundTripAndIdentityHolds)
{
    const QString zip = MakeZip(QStringLiteral("names.zip"), MixedEntries());
    for (const QString& inner :
         {QString(), QStringLiteral("/a"), QStringLiteral("/a/b"), QStringLiteral("/a/b/c.txt"),
          QStringLiteral("/win/sub/w.txt"), QStringLiteral("/caf\u0398.txt")}) {
        SCOPED_TRACE(inner.toStdString());
        const IdListBytes list = Parse(zip + inner);
        const QString parsing = Name(IdSpan(list), sigdn::DESKTOPABSOLUTEPARSING);
        EXPECT_EQ(parsing, zip + inner);
        const IdListBytes again = Parse(parsing);
        EXPECT_EQ(Ns().Desktop()->CompareIDs(shcids::CANONICALONLY, IdSpan(list), IdSpan(again)),
                  S_OK);
        if (inner.isEmpty())
            continue;
        EXPECT_EQ(Name(IdSpan(list), sigdn::NORMALDISPLAY), inner.mid(inner.lastIndexOf(u'/') + 1));
        // No file-system path: the entry lives inside a file.
        EXPECT_EQ(Name(IdSpan(list), sigdn::FILESYSPATH), QStringLiteral("<failed>"));
        EXPECT_TRUE(Ns().FindChild(IdSpan(Parse(zip)), IdSpan(list), nullptr));
    }
    EXPECT_NE(Ns().Desktop()->CompareIDs(shcids::CANONICALONLY,
                                         IdSpan(Parse(zip + QStringLiteral("/a/b/c.txt"))),
                                         IdSpan(Parse(zip + QStringLiteral("/top.txt")))),
              S_OK);
    // Inside the archive's folder, relative names parse too.
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(Parse(zip)), folder), S_OK);
    IdListBytes relative;
    EXPECT_EQ(
        folder->ParseDisplayName(nullptr, nullptr, QStringLiteral("a/b/c.txt"), relative, nullptr),
        S_OK);
    EXPECT_EQ(IdSpan(relative).Depth(), 3u);

    Parse(zip + QStringLiteral("/missing.txt"), HResultFromWin32(win32::ERROR_FILE_NOT_FOUND));
    Parse(zip + QStringLiteral("/missing/c.txt"), HResultFromWin32(win32::ERROR_PATH_NOT_FOUND));
    Parse(zip + QStringLiteral("/top.txt/c.txt"), HResultFromWin32(win32::ERROR_PATH_NOT_FOUND));
    // Names that would leave the archive are no entries of it.
    Parse(zip + QStringLiteral("/evil.txt"), HResultFromWin32(win32::ERROR_FILE_NOT_FOUND));
}

TEST_F(LinuxZipFolderTest, ColumnsShowSizeAndTheExactTimeOurArchivesKeep)
{
    const QString file = fDir.CreateFile(QStringLiteral("in/odd.txt"), QByteArray(3000, 'x'));
    // An odd second: the format's own date only has two-second steps.
    const timespec times[2] = {{1700000001, 0}, {1700000001, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
    const QString zip = fDir.Join(QStringLiteral("ours.zip"));
    ASSERT_EQ(fPlatform->Archives()->CreateEmpty(zip), S_OK);
    ASSERT_EQ(fPlatform->Archives()->Add(zip, {file}, IArchives::kDefaultLevel), S_OK);

    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(Parse(zip)), folder), S_OK);
    IdListBytes item;
    ASSERT_EQ(folder->ParseDisplayName(nullptr, nullptr, QStringLiteral("odd.txt"), item, nullptr),
              S_OK);
    ASSERT_NE(folder->AsFolder2(), nullptr);
    PropVariant size;
    PropVariant modified;
    EXPECT_EQ(folder->AsFolder2()->GetDetailsEx(IdSpan(item), pkey::Size, size), S_OK);
    EXPECT_EQ(folder->AsFolder2()->GetDetailsEx(IdSpan(item), pkey::DateModified, modified), S_OK);
    EXPECT_EQ(std::get<std::uint64_t>(size), 3000u);
    EXPECT_EQ(std::get<FileTime>(modified).Ticks, FileTime::FromUnix(1700000001, 0).Ticks);
    ShellDetails details;
    const IdSpan span(item);
    EXPECT_EQ(folder->AsFolder2()->GetDetailsOf(&span, 3, details), S_OK);
    EXPECT_EQ(details.Text, QStringLiteral("3 KB"));
}

TEST_F(LinuxZipFolderTest, DamagedArchivesFailWithACode)
{
    fDir.CreateFile(QStringLiteral("text.zip"), "this is no archive at all, just text");
    HResult result = S_OK;
    EXPECT_TRUE(List(fDir.Join(QStringLiteral("text.zip")), &result).empty());
    EXPECT_EQ(result, HResultFromWin32(win32::ERROR_FILE_CORRUPT));

    // A good archive cut short: its directory at the end is gone.
    const QString zip = MakeZip(QStringLiteral("cut.zip"), {{"a.txt", std::string(5000, 'a')}});
    QFile cut(zip);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(cut.size() - 30));
    cut.close();
    result = S_OK;
    EXPECT_TRUE(List(zip, &result).empty());
    EXPECT_EQ(result, HResultFromWin32(win32::ERROR_FILE_CORRUPT));
    Parse(zip + QStringLiteral("/a.txt"), HResultFromWin32(win32::ERROR_FILE_CORRUPT));
}

TEST_F(LinuxZipFolderTest, EntryStreamReadsSeeksAndKnowsItsSize)
{
    std::string content;
    for (int i = 0; i < 20000; ++i)
        content += std::to_string(i) + ",";
    const QString zip = MakeZip(QStringLiteral("data.zip"), {{"d/data.csv", content}});
    IShellFolderPtr parent;
    IdListBytes last;
    ASSERT_EQ(Ns().BindToParent(IdSpan(Parse(zip + QStringLiteral("/d/data.csv"))), parent, last),
              S_OK);
    IStreamPtr stream;
    ASSERT_EQ(parent->BindToStream(IdSpan(last), stream), S_OK);
    std::uint64_t size = 0;
    bool known = false;
    ASSERT_EQ(stream->Size(size, known), S_OK);
    EXPECT_TRUE(known);
    EXPECT_EQ(size, content.size());

    char head[4];
    std::size_t got = 0;
    ASSERT_EQ(stream->Read(head, sizeof head, got), S_OK);
    EXPECT_EQ(std::string(head, got), content.substr(0, 4));
    std::uint64_t position = 99;
    ASSERT_EQ(stream->Seek(0, SeekOrigin::Begin, &position), S_OK);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(ReadAll(*stream), content);
    ASSERT_EQ(stream->Seek(50000, SeekOrigin::Begin, &position), S_OK);
    char middle[10];
    ASSERT_EQ(stream->Read(middle, sizeof middle, got), S_OK);
    EXPECT_EQ(std::string(middle, got), content.substr(50000, 10));
    ASSERT_EQ(stream->Seek(-6, SeekOrigin::End, &position), S_OK);
    EXPECT_EQ(ReadAll(*stream), content.substr(content.size() - 6));

    IStreamPtr none;
    IdListBytes folderLast;
    ASSERT_EQ(Ns().BindToParent(IdSpan(Parse(zip + QStringLiteral("/d"))), parent, folderLast),
              S_OK);
    EXPECT_EQ(parent->BindToStream(IdSpan(folderLast), none), E_NOINTERFACE);
}

// Records what the engine tells about each item.
class TCopySink final : public IFileOperationProgressSink
{
public:
    HResult PreCopyItem(std::uint32_t, const QString& pItem, const QString&,
                        const QString&) override
    {
        Items << pItem;
        return S_OK;
    }
    QStringList Items;
};

TEST_F(LinuxZipFolderTest, EngineCopiesEntriesAndFoldersOut)
{
    const QString zip = MakeZip(QStringLiteral("out.zip"), {{"a/b/c.txt", "deep"},
                                                            {"a/d.txt", "dee"},
                                                            {"top.txt", "new top"},
                                                            {"../evil.txt", "bad"}});
    const QString target = fDir.CreateFolder(QStringLiteral("target"));
    fDir.CreateFile(QStringLiteral("target/top.txt"), "old top");

    IFileOperationPtr operation = CreateLinuxFileOperation();
    auto sink = std::make_shared<TCopySink>();
    std::uint32_t cookie = 0;
    ASSERT_EQ(operation->Advise(sink, cookie), S_OK);
    ASSERT_EQ(operation->CopyItem(zip + QStringLiteral("/a/b/c.txt"), target), S_OK);
    ASSERT_EQ(operation->CopyItem(zip + QStringLiteral("/a"), target, QStringLiteral("copy")),
              S_OK);
    // Nobody to ask: the file in the way stays, and the run says so.
    ASSERT_EQ(operation->CopyItem(zip + QStringLiteral("/top.txt"), target), S_OK);
    EXPECT_EQ(operation->PerformOperations(), HResultFromWin32(win32::ERROR_FILE_EXISTS));
    EXPECT_EQ(sink->Items.value(0), zip + QStringLiteral("/a/b/c.txt"));

    EXPECT_EQ(fDir.ReadFile(QStringLiteral("target/c.txt")), "deep");
    EXPECT_EQ(fDir.ReadFile(QStringLiteral("target/copy/b/c.txt")), "deep");
    EXPECT_EQ(fDir.ReadFile(QStringLiteral("target/copy/d.txt")), "dee");
    EXPECT_EQ(fDir.ReadFile(QStringLiteral("target/top.txt")), "old top");
    EXPECT_FALSE(QFile::exists(fDir.Join(QStringLiteral("evil.txt"))));
    // Nothing of the extraction is left behind.
    EXPECT_EQ(
        QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList{QStringLiteral("c.txt"), QStringLiteral("copy"), QStringLiteral("top.txt")}));

    ASSERT_EQ(operation->SetOperationFlags(fof::FOF_NOCONFIRMATION), S_OK);
    ASSERT_EQ(operation->CopyItem(zip + QStringLiteral("/top.txt"), target), S_OK);
    EXPECT_EQ(operation->PerformOperations(), S_OK);
    EXPECT_EQ(fDir.ReadFile(QStringLiteral("target/top.txt")), "new top");
}

} // namespace
} // namespace kiv::pf::lnx

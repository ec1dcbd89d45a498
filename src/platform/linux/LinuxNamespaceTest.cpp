#include "LinuxNamespace.h"

#include "LinuxIcons.h"
#include "LinuxItems.h"
#include "LinuxPlatform.h"
#include "MountTable.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IKnownFolders.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/ShellConstants.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <map>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

// Takes away the powers that let root ignore permission bits, for the current thread, so the
// permission tests run the same as root (as CI does) and as a user.
class TWithoutDacOverride
{
public:
    TWithoutDacOverride()
    {
        if (::syscall(SYS_capget, &fHeader, fSaved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {fSaved[0], fSaved[1]};
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        fActive = ::syscall(SYS_capset, &fHeader, reduced) == 0;
    }
    ~TWithoutDacOverride()
    {
        if (fActive)
            ::syscall(SYS_capset, &fHeader, fSaved);
    }
    TWithoutDacOverride(const TWithoutDacOverride&) = delete;
    TWithoutDacOverride& operator=(const TWithoutDacOverride&) = delete;
    // False when the permission bits still do not apply (root without capset rights).
    bool Works() const { return fActive || ::geteuid() != 0; }

private:
    __user_cap_header_struct fHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct fSaved[2]{};
    bool fActive = false;
};

class LinuxNamespaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.IsValid());
        fHome = fDir.CreateFolder(QStringLiteral("home"));
        SetEnv("HOME", fHome);
        SetEnv("XDG_CONFIG_HOME", fHome + QStringLiteral("/.config"));
        SetEnv("XDG_DATA_HOME", fHome + QStringLiteral("/.local/share"));
        SetEnv("XDG_CACHE_HOME", fHome + QStringLiteral("/.cache"));
        fPlatform = CreateLinuxPlatform();
    }

    void SetEnv(const char* pName, const QString& pValue)
    {
        fEnvironment.Set(pName, QByteArray::fromStdString(EncodeFileName(pValue)));
    }

    INamespace& Ns() { return fPlatform->Namespace(); }

    // The absolute path (raw bytes) of a name in the test folder.
    std::string Raw(std::string_view pRelative) const
    {
        return EncodeFileName(fDir.Path()) + "/" + std::string(pRelative);
    }

    static void MakeFile(const std::string& pPath, std::string_view pContents = {})
    {
        const int fd = ::open(pPath.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << pPath;
        ASSERT_EQ(::write(fd, pContents.data(), pContents.size()),
                  static_cast<ssize_t>(pContents.size()));
        ::close(fd);
    }

    static void MakeFolder(const std::string& pPath)
    {
        ASSERT_EQ(::mkdir(pPath.c_str(), 0755), 0) << pPath;
    }

    HResult Parse(const QString& pName, IdListBytes& pList, const BindContext* pBind = nullptr)
    {
        return Ns().Desktop()->ParseDisplayName(nullptr, pBind, pName, pList, nullptr);
    }

    IdListBytes ParseOk(const QString& pName)
    {
        IdListBytes list;
        EXPECT_EQ(Parse(pName, list), S_OK) << pName.toStdString();
        return list;
    }

    QString Name(IdSpan pList, std::uint32_t pForm)
    {
        IShellItemPtr item;
        EXPECT_EQ(Ns().CreateShellItem(pList, item), S_OK);
        QString name;
        if (item && Failed(item->GetDisplayName(pForm, name)))
            return QStringLiteral("<failed>");
        return name;
    }

    bool SameItem(IdSpan pA, IdSpan pB)
    {
        return Ns().Desktop()->CompareIDs(shcids::CANONICALONLY, pA, pB) == S_OK;
    }

    std::uint32_t Attributes(IdSpan pAbsolute, std::uint32_t pMask)
    {
        IShellFolderPtr parent;
        IdListBytes last;
        EXPECT_EQ(Ns().BindToParent(pAbsolute, parent, last), S_OK);
        std::uint32_t attributes = pMask;
        const IdSpan items[] = {IdSpan(last)};
        EXPECT_EQ(parent->GetAttributesOf(items, attributes), S_OK);
        return attributes;
    }

    // Names of a folder's children with the given flags, sorted.
    std::vector<QString> List(const QString& pFolder, std::uint32_t pFlags)
    {
        IShellFolderPtr folder;
        EXPECT_EQ(Ns().BindToFolder(IdSpan(ParseOk(pFolder)), folder), S_OK);
        std::vector<QString> names;
        if (!folder)
            return names;
        IEnumIDListPtr items;
        EXPECT_EQ(folder->EnumObjects(nullptr, pFlags, items), S_OK);
        IdListBytes item;
        while (items && items->Next(item) == S_OK) {
            QString name;
            folder->GetDisplayNameOf(IdSpan(item), shgdn::INFOLDER | shgdn::FORPARSING, name);
            names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TestDir fDir;
    QString fHome;
    std::unique_ptr<IPlatform> fPlatform;
    kiv::test::TScopedEnvironment fEnvironment;
};

// ---------------------------------------------------------------------------------------------

struct TNameCase
{
    const char* Label;
    std::string Name;
    bool Folder;
};

class LinuxRoundTripTest
    : public LinuxNamespaceTest
    , public ::testing::WithParamInterface<TNameCase>
{
};

TEST_P(LinuxRoundTripTest, PathListParsingNameListNameTheSameItem)
{
    const auto& param = GetParam();
    const std::string raw = Raw(param.Name);
    if (param.Folder)
        MakeFolder(raw);
    else
        MakeFile(raw, "content");
    const QString path = DecodeFileName(raw);

    const IdListBytes list = ParseOk(path);
    ASSERT_GT(IdSpan(list).Depth(), 2u);
    // Canonical form: [This PC][mount][components...]
    TItem first;
    ASSERT_TRUE(DecodeItem(IdSpan(list).First(), first));
    EXPECT_EQ(first.ClassId, clsid::ThisPC);
    EXPECT_EQ(idl::ItemKind(IdSpan(list).Item(1)), kind::Mount);
    EXPECT_EQ(idl::ItemKind(IdSpan(list).Last()), param.Folder ? kind::FsFolder : kind::FsFile);

    const QString parsing = Name(IdSpan(list), sigdn::DESKTOPABSOLUTEPARSING);
    EXPECT_EQ(parsing, path);
    EXPECT_EQ(EncodeFileName(parsing), raw);
    // The same item; the bytes may differ where a folder on the way changed meanwhile (its
    // snapshot is part of the list), so identity is what counts.
    const IdListBytes again = ParseOk(parsing);
    EXPECT_EQ(IdSpan(again).Depth(), IdSpan(list).Depth());
    EXPECT_EQ(IdSpan(again).Last().size(), IdSpan(list).Last().size());
    EXPECT_TRUE(SameItem(IdSpan(list), IdSpan(again)));
    EXPECT_EQ(Name(IdSpan(list), sigdn::FILESYSPATH), path);
    EXPECT_EQ(Name(IdSpan(list), sigdn::PARENTRELATIVEPARSING), DecodeFileName(param.Name));

    // Users see U+FFFD where the bytes are not text; the parsing name keeps them.
    const QString shown = Name(IdSpan(list), sigdn::NORMALDISPLAY);
    EXPECT_EQ(shown, FileNameForDisplay(DecodeFileName(param.Name)));
    EXPECT_FALSE(HasEscapedBytes(shown));

    // The relative name parses in the parent folder to the same item.
    IShellFolderPtr parent;
    IdListBytes last;
    ASSERT_EQ(Ns().BindToParent(IdSpan(list), parent, last), S_OK);
    IdListBytes relative;
    ASSERT_EQ(
        parent->ParseDisplayName(nullptr, nullptr, DecodeFileName(param.Name), relative, nullptr),
        S_OK);
    EXPECT_EQ(parent->CompareIDs(shcids::CANONICALONLY, IdSpan(relative), IdSpan(last)), S_OK);

    // Names that are no UTF-8 are beyond QTemporaryDir's clean-up: remove the entry here.
    if (param.Folder)
        ::rmdir(raw.c_str());
    else
        ::unlink(raw.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Names, LinuxRoundTripTest,
    ::testing::Values(TNameCase{"Plain", "plain.txt", false}, TNameCase{"Folder", "a folder", true},
                      TNameCase{"Latin1Bytes", "caf\xE9.txt", false},
                      TNameCase{"InvalidFolder", "bad\xFF\xFE", true},
                      TNameCase{"Backslash", "back\\slash", false},
                      TNameCase{"Newline", "new\nline", false},
                      TNameCase{"LeadingDash", "-rf", false},
                      TNameCase{"Unicode", "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80", false},
                      TNameCase{"TrailingBlank", "blank ", false},
                      TNameCase{"Percent", "100%25", false}),
    [](const auto& pInfo) { return std::string(pInfo.param.Label); });

TEST_F(LinuxNamespaceTest, SystemRootIsOneItemAndKeepsItsSlash)
{
    const IdListBytes root = ParseOk(QStringLiteral("/"));
    EXPECT_EQ(IdSpan(root).Depth(), 2u);
    EXPECT_EQ(Name(IdSpan(root), sigdn::DESKTOPABSOLUTEPARSING), QStringLiteral("/"));
    EXPECT_EQ(Name(IdSpan(root), sigdn::FILESYSPATH), QStringLiteral("/"));
    EXPECT_EQ(Name(IdSpan(root), sigdn::NORMALDISPLAY), QStringLiteral("File System"));
    EXPECT_EQ(Ns().SystemRoot(), QStringLiteral("/"));
    // Redundant slashes, "." and ".." name the same place.
    MakeFolder(Raw("x"));
    const IdListBytes x = ParseOk(DecodeFileName(Raw("x")));
    EXPECT_TRUE(SameItem(IdSpan(ParseOk(DecodeFileName(Raw("x/../x/./")))), IdSpan(x)));
    EXPECT_EQ(IdSpan(ParseOk(DecodeFileName(Raw("x/../x/./")))).Depth(), IdSpan(x).Depth());
    EXPECT_TRUE(
        SameItem(IdSpan(ParseOk(QStringLiteral("file://") + DecodeFileName(Raw("x")))), IdSpan(x)));
}

TEST_F(LinuxNamespaceTest, AliasesHaveTheCanonicalIdentity)
{
    MakeFolder(Raw("home/sub"));
    MakeFile(Raw("home/sub/file.txt"));
    const IdListBytes canonical = ParseOk(DecodeFileName(Raw("home/sub/file.txt")));

    // Through Home: [Home][sub][file.txt].
    const IdListBytes viaHome =
        ParseOk(QStringLiteral("::") + clsid::Home.ToString() + QStringLiteral("\\sub/file.txt"));
    ASSERT_EQ(IdSpan(viaHome).Depth(), 3u);
    EXPECT_NE(viaHome, canonical);
    EXPECT_TRUE(SameItem(IdSpan(viaHome), IdSpan(canonical)));
    EXPECT_EQ(Name(IdSpan(viaHome), sigdn::FILESYSPATH), DecodeFileName(Raw("home/sub/file.txt")));

    // A list made without the disk has another snapshot: same item still.
    IdListBytes simple;
    ASSERT_EQ(Ns().SimpleIdListFromPath(DecodeFileName(Raw("home/sub/file.txt")), simple), S_OK);
    EXPECT_NE(simple, canonical);
    EXPECT_TRUE(SameItem(IdSpan(simple), IdSpan(canonical)));

    // Ancestry by identity across the forms, with the rest below the parent.
    const IdListBytes home = ParseOk(QStringLiteral("::") + clsid::Home.ToString());
    IdListBytes rest;
    EXPECT_TRUE(Ns().FindChild(IdSpan(home), IdSpan(canonical), &rest));
    EXPECT_EQ(IdSpan(rest).Depth(), 2u);
    EXPECT_TRUE(Ns().FindChild(IdSpan(ParseOk(DecodeFileName(Raw("home")))), IdSpan(viaHome)));
    EXPECT_FALSE(
        Ns().FindChild(IdSpan(ParseOk(DecodeFileName(Raw("home/sub/file.txt")))), IdSpan(home)));

    // Different items never compare equal, even with equal names in a sort.
    MakeFile(Raw("home/sub/File.txt"));
    const IdListBytes other = ParseOk(DecodeFileName(Raw("home/sub/File.txt")));
    EXPECT_FALSE(SameItem(IdSpan(other), IdSpan(canonical)));
    EXPECT_NE(Ns().Desktop()->CompareIDs(0, IdSpan(other), IdSpan(canonical)), S_OK);
}

TEST_F(LinuxNamespaceTest, DisplayNamesPerForm)
{
    MakeFile(Raw("report.txt"));
    const QString path = DecodeFileName(Raw("report.txt"));
    const IdListBytes file = ParseOk(path);
    const IdListBytes thisPc = ThisPcList();
    const QString thisPcParsing = QStringLiteral("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
    struct TForm
    {
        std::uint32_t Form;
        QString File;
        QString ThisPc;
        QString Desktop;
    };
    const QString desktopDir = fHome + QStringLiteral("/Desktop");
    const TForm forms[] = {
        {sigdn::NORMALDISPLAY, "report.txt", "This PC", "Desktop"},
        {sigdn::PARENTRELATIVE, "report.txt", "This PC", "Desktop"},
        {sigdn::PARENTRELATIVEPARSING, "report.txt", thisPcParsing, desktopDir},
        {sigdn::PARENTRELATIVEFORADDRESSBAR, "report.txt", thisPcParsing, "Desktop"},
        {sigdn::DESKTOPABSOLUTEPARSING, path, thisPcParsing, desktopDir},
        {sigdn::DESKTOPABSOLUTEEDITING, path, "This PC", "Desktop"},
        {sigdn::FILESYSPATH, path, "<failed>", desktopDir},
    };
    for (const TForm& form : forms) {
        SCOPED_TRACE(form.Form);
        EXPECT_EQ(Name(IdSpan(file), form.Form), form.File);
        EXPECT_EQ(Name(IdSpan(thisPc), form.Form), form.ThisPc);
        EXPECT_EQ(Name(IdSpan(), form.Form), form.Desktop);
    }
    // The class item's parsing name parses back to it.
    EXPECT_EQ(ParseOk(thisPcParsing), thisPc);
    EXPECT_EQ(ParseOk(QStringLiteral("shell:") + thisPcParsing), thisPc);
}

TEST_F(LinuxNamespaceTest, EnumerationFlagsAndHiddenEntries)
{
    MakeFolder(Raw("list"));
    MakeFile(Raw("list/a.txt"));
    MakeFile(Raw("list/.dotfile"));
    MakeFile(Raw("list/secret.txt"));
    MakeFile(Raw("list/.hidden"), "secret.txt\nnot-there\n");
    MakeFolder(Raw("list/sub"));
    MakeFolder(Raw("list/.dotdir"));
    ASSERT_EQ(::symlink("sub", Raw("list/link-to-sub").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", Raw("list/dangling").c_str()), 0);
    const QString folder = DecodeFileName(Raw("list"));
    using V = std::vector<QString>;
    EXPECT_EQ(List(folder, shcontf::FOLDERS), (V{"link-to-sub", "sub"}));
    EXPECT_EQ(List(folder, shcontf::NONFOLDERS), (V{"a.txt", "dangling"}));
    EXPECT_EQ(List(folder, shcontf::FOLDERS | shcontf::NONFOLDERS | shcontf::INCLUDEHIDDEN),
              (V{".dotdir", ".dotfile", ".hidden", "a.txt", "dangling", "link-to-sub", "secret.txt",
                 "sub"}));
    EXPECT_EQ(List(folder, shcontf::FOLDERS | shcontf::NONFOLDERS | shcontf::INCLUDESUPERHIDDEN |
                               shcontf::NAVIGATION_ENUM)
                  .size(),
              8u);

    // Items listed carry their attributes: hidden ones are flagged as such.
    IShellFolderPtr shellFolder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ParseOk(folder)), shellFolder), S_OK);
    IEnumIDListPtr items;
    ASSERT_EQ(shellFolder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    IdListBytes item;
    int hidden = 0;
    while (items->Next(item) == S_OK) {
        std::uint32_t attributes = sfgao::HIDDEN;
        const IdSpan one[] = {IdSpan(item)};
        ASSERT_EQ(shellFolder->GetAttributesOf(one, attributes), S_OK);
        FindData data;
        ASSERT_EQ(shellFolder->GetFindData(IdSpan(item), data), S_OK);
        EXPECT_EQ(attributes != 0, (data.Attributes & fileattr::HIDDEN) != 0);
        hidden += attributes != 0;
    }
    EXPECT_EQ(hidden, 4);
    EXPECT_EQ(items->Reset(), S_OK);
    EXPECT_EQ(items->Next(item), S_OK);
}

TEST_F(LinuxNamespaceTest, AttributesOfFilesAndFolders)
{
    using namespace sfgao;
    MakeFolder(Raw("top"));
    MakeFolder(Raw("top/with"));
    MakeFolder(Raw("top/with/inner"));
    MakeFolder(Raw("top/without"));
    MakeFile(Raw("top/without/file"));
    MakeFile(Raw("top/data.bin"), "12345");
    MakeFile(Raw("top/locked.txt"));
    ASSERT_EQ(::chmod(Raw("top/locked.txt").c_str(), 0444), 0);
    ASSERT_EQ(::symlink("data.bin", Raw("top/link").c_str()), 0);

    const std::uint32_t all = 0xFFFFFFFFu;
    const std::uint32_t with = Attributes(IdSpan(ParseOk(DecodeFileName(Raw("top/with")))), all);
    EXPECT_EQ(with & (FOLDER | FILESYSTEM | STORAGE | HASSUBFOLDER | CANRENAME | STREAM),
              FOLDER | FILESYSTEM | STORAGE | HASSUBFOLDER | CANRENAME);
    EXPECT_EQ(Attributes(IdSpan(ParseOk(DecodeFileName(Raw("top/without")))), all) & HASSUBFOLDER,
              0u);
    const std::uint32_t file =
        Attributes(IdSpan(ParseOk(DecodeFileName(Raw("top/data.bin")))), all);
    EXPECT_EQ(file & (FOLDER | FILESYSTEM | STREAM | READONLY | LINK), FILESYSTEM | STREAM);
    EXPECT_NE(Attributes(IdSpan(ParseOk(DecodeFileName(Raw("top/locked.txt")))), all) & READONLY,
              0u);
    EXPECT_NE(Attributes(IdSpan(ParseOk(DecodeFileName(Raw("top/link")))), all) & LINK, 0u);
    // Only the asked bits come back.
    EXPECT_EQ(Attributes(IdSpan(ParseOk(DecodeFileName(Raw("top/with")))), FOLDER | STREAM),
              FOLDER);

    // Columns read the snapshot: size in kilobytes, rounded up.
    IShellFolderPtr top;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ParseOk(DecodeFileName(Raw("top")))), top), S_OK);
    IdListBytes dataItem;
    ASSERT_EQ(
        top->ParseDisplayName(nullptr, nullptr, QStringLiteral("data.bin"), dataItem, nullptr),
        S_OK);
    ShellDetails details;
    const IdSpan dataSpan(dataItem);
    ASSERT_EQ(top->AsFolder2()->GetDetailsOf(&dataSpan, 3, details), S_OK);
    EXPECT_EQ(details.Text, QStringLiteral("1 KB"));
    EXPECT_EQ(details.Format, 1);
    // The type as the icon service names it, so the Type column and the type names agree.
    ASSERT_EQ(top->AsFolder2()->GetDetailsOf(&dataSpan, 2, details), S_OK);
    QString typeName;
    ASSERT_TRUE(TLinuxIcons().TypeNameOf(QStringLiteral("data.bin"), typeName));
    EXPECT_EQ(details.Text, typeName);

    // Content: read, seek back to the start (as content sniffing does), read again.
    IStreamPtr stream;
    ASSERT_EQ(top->BindToStream(dataSpan, stream), S_OK);
    char buffer[16] = {};
    std::size_t read = 0;
    ASSERT_EQ(stream->Read(buffer, 4, read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "1234");
    std::uint64_t position = 99;
    ASSERT_EQ(stream->Seek(0, SeekOrigin::Begin, &position), S_OK);
    EXPECT_EQ(position, 0u);
    ASSERT_EQ(stream->Read(buffer, sizeof buffer, read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "12345");
    ASSERT_EQ(stream->Read(buffer, sizeof buffer, read), S_OK);
    EXPECT_EQ(read, 0u);
    std::uint64_t length = 0;
    bool known = false;
    ASSERT_EQ(stream->Size(length, known), S_OK);
    EXPECT_TRUE(known);
    EXPECT_EQ(length, 5u);
    IdListBytes withItem;
    ASSERT_EQ(top->ParseDisplayName(nullptr, nullptr, QStringLiteral("with"), withItem, nullptr),
              S_OK);
    EXPECT_EQ(top->BindToStream(IdSpan(withItem), stream), E_NOINTERFACE);
    EXPECT_EQ(fPlatform->FileSystem().OpenRead(DecodeFileName(Raw("top/none")), stream),
              HResultFromWin32(2));

    // The snapshot answers size and write time without the disk; Update re-reads it.
    const IdListBytes dataList = ParseOk(DecodeFileName(Raw("top/data.bin")));
    IShellItemPtr item;
    ASSERT_EQ(Ns().CreateShellItem(IdSpan(dataList), item), S_OK);
    PropVariant size;
    ASSERT_EQ(item->GetProperty(pkey::Size, size), S_OK);
    EXPECT_EQ(std::get<std::uint64_t>(size), 5u);
    MakeFile(Raw("top/data.bin"), "1234567890");
    ASSERT_EQ(item->GetProperty(pkey::Size, size), S_OK);
    EXPECT_EQ(std::get<std::uint64_t>(size), 5u);
    ASSERT_EQ(item->Update(), S_OK);
    ASSERT_EQ(item->GetProperty(pkey::Size, size), S_OK);
    EXPECT_EQ(std::get<std::uint64_t>(size), 10u);
    ASSERT_EQ(::unlink(Raw("top/data.bin").c_str()), 0);
    EXPECT_EQ(item->Update(), HResultFromWin32(2));
}

TEST_F(LinuxNamespaceTest, ErrorCodesOfMissingAndForbiddenPaths)
{
    MakeFolder(Raw("present"));
    MakeFile(Raw("present/file"));
    IdListBytes list;
    EXPECT_EQ(Parse(DecodeFileName(Raw("present/missing")), list), HResultFromWin32(2));
    EXPECT_EQ(Parse(DecodeFileName(Raw("absent/missing")), list), HResultFromWin32(3));
    EXPECT_EQ(Parse(DecodeFileName(Raw("present/file/below")), list), HResultFromWin32(3));
    EXPECT_EQ(Parse(QStringLiteral("C:\\Windows"), list), HResultFromWin32(3));
    EXPECT_EQ(Parse(QString(), list), E_INVALIDARG);

    // A folder removed after it was parsed: enumerating it reports a missing path.
    MakeFolder(Raw("gone"));
    IShellFolderPtr gone;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ParseOk(DecodeFileName(Raw("gone")))), gone), S_OK);
    ASSERT_EQ(::rmdir(Raw("gone").c_str()), 0);
    IEnumIDListPtr items;
    EXPECT_EQ(gone->EnumObjects(nullptr, 0x100E0, items), HResultFromWin32(3));

    MakeFolder(Raw("closed"));
    MakeFile(Raw("closed/inside"));
    IShellFolderPtr closed;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ParseOk(DecodeFileName(Raw("closed")))), closed), S_OK);
    ASSERT_EQ(::chmod(Raw("closed").c_str(), 0), 0);
    {
        TWithoutDacOverride guard;
        if (!guard.Works()) {
            ::chmod(Raw("closed").c_str(), 0755);
            GTEST_SKIP() << "permission bits do not apply to this process";
        }
        EXPECT_EQ(closed->EnumObjects(nullptr, 0x100E0, items), HResultFromWin32(5));
        EXPECT_EQ(Parse(DecodeFileName(Raw("closed/inside")), list), HResultFromWin32(5));
    }
    ::chmod(Raw("closed").c_str(), 0755);
}

TEST_F(LinuxNamespaceTest, NameOrderPutsFoldersFirstAndNumbersByValue)
{
    MakeFolder(Raw("sort"));
    for (const char* name : {"file10", "File2", "file1", "b.txt"})
        MakeFile(Raw(std::string("sort/") + name));
    MakeFolder(Raw("sort/zeta"));
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ParseOk(DecodeFileName(Raw("sort")))), folder), S_OK);
    std::vector<IdListBytes> items;
    IEnumIDListPtr list;
    ASSERT_EQ(folder->EnumObjects(nullptr, 0x100E0, list), S_OK);
    IdListBytes item;
    while (list->Next(item) == S_OK)
        items.push_back(item);
    std::sort(items.begin(), items.end(), [&](const IdListBytes& pA, const IdListBytes& pB) {
        return static_cast<std::int16_t>(
                   HResultCode(folder->CompareIDs(0, IdSpan(pA), IdSpan(pB)))) < 0;
    });
    std::vector<QString> names;
    for (const IdListBytes& sorted : items) {
        QString name;
        folder->GetDisplayNameOf(IdSpan(sorted), shgdn::INFOLDER, name);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<QString>{"zeta", "b.txt", "file1", "File2", "file10"}));
    // By size (column 3) and identity: equal only for the same entry.
    EXPECT_EQ(folder->CompareIDs(shcids::CANONICALONLY, IdSpan(items[1]), IdSpan(items[1])), S_OK);
    EXPECT_NE(folder->CompareIDs(3, IdSpan(items[1]), IdSpan(items[2])), S_OK);

    // Items and folders stay usable after the platform that made them is gone.
    IShellItemPtr shellItem;
    ASSERT_EQ(Ns().CreateShellItem(IdSpan(ParseOk(DecodeFileName(Raw("sort/b.txt")))), shellItem),
              S_OK);
    fPlatform.reset();
    QString name;
    EXPECT_EQ(shellItem->GetDisplayName(sigdn::NORMALDISPLAY, name), S_OK);
    EXPECT_EQ(name, QStringLiteral("b.txt"));
    EXPECT_EQ(folder->GetDisplayNameOf(IdSpan(items[0]), shgdn::NORMAL, name), S_OK);
}

TEST_F(LinuxNamespaceTest, FoldersAndItemsAreSharedBetweenThreads)
{
    MakeFolder(Raw("shared"));
    for (int i = 0; i < 50; ++i)
        MakeFile(Raw("shared/f" + std::to_string(i)));
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ParseOk(DecodeFileName(Raw("shared")))), folder), S_OK);
    IShellItemPtr item;
    ASSERT_EQ(Ns().CreateShellItem(IdSpan(ParseOk(DecodeFileName(Raw("shared/f1")))), item), S_OK);
    std::atomic<int> listed{0};
    auto work = [&] {
        for (int round = 0; round < 5; ++round) {
            IEnumIDListPtr items;
            if (Failed(folder->EnumObjects(nullptr, 0x100E0, items)))
                return;
            IdListBytes entry;
            while (items->Next(entry) == S_OK) {
                std::uint32_t attributes = sfgao::CANRENAME | sfgao::FOLDER;
                const IdSpan one[] = {IdSpan(entry)};
                folder->GetAttributesOf(one, attributes);
                ++listed;
            }
            item->Update();
            QString name;
            item->GetDisplayName(sigdn::DESKTOPABSOLUTEPARSING, name);
            Ns().Desktop();
        }
    };
    std::thread other(work);
    work();
    other.join();
    EXPECT_EQ(listed.load(), 2 * 5 * 50);
}

TEST_F(LinuxNamespaceTest, RenameKeepsBytesAndRefusesToOverwrite)
{
    MakeFolder(Raw("r"));
    MakeFile(Raw("r/old"));
    MakeFile(Raw("r/taken"));
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ParseOk(DecodeFileName(Raw("r")))), folder), S_OK);
    IdListBytes old;
    ASSERT_EQ(folder->ParseDisplayName(nullptr, nullptr, QStringLiteral("old"), old, nullptr),
              S_OK);
    EXPECT_EQ(folder->SetNameOf(nullptr, IdSpan(old), QStringLiteral("taken"), 0x8001, nullptr),
              HResultFromWin32(183));
    EXPECT_EQ(folder->SetNameOf(nullptr, IdSpan(old), QStringLiteral("a/b"), 0x8001, nullptr),
              HResultFromWin32(123));
    IdListBytes renamed;
    ASSERT_EQ(folder->SetNameOf(nullptr, IdSpan(old), DecodeFileName("n\xE9w"), 0x8001, &renamed),
              S_OK);
    struct stat st
    {
    };
    EXPECT_EQ(::stat(Raw("r/n\xE9w").c_str(), &st), 0);
    ::unlink(Raw("r/n\xE9w").c_str());
    QString name;
    ASSERT_EQ(folder->GetDisplayNameOf(IdSpan(renamed), shgdn::INFOLDER, name), S_OK);
    EXPECT_EQ(name, QStringLiteral(u"n\uFFFDw"));
}

TEST_F(LinuxNamespaceTest, SpecialFoldersFollowTheUserDirsFile)
{
    MakeFolder(Raw("home/.config"));
    MakeFolder(Raw("home/My Docs"));
    MakeFolder(Raw("home/Pictures"));
    MakeFolder(Raw("home/Desktop"));
    MakeFile(Raw("home/Desktop/note.txt"));
    MakeFile(Raw("home/.config/user-dirs.dirs"), "# written by a test\n"
                                                 "XDG_DOCUMENTS_DIR=\"$HOME/My Docs\"\n"
                                                 "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    IKnownFolders& known = fPlatform->KnownFolders();

    IdListBytes docs;
    ASSERT_EQ(known.GetIdList({csidl::PERSONAL, {}}, docs), S_OK);
    ASSERT_EQ(IdSpan(docs).Depth(), 2u);
    QString path;
    ASSERT_TRUE(Ns().GetPathFromIdList(IdSpan(docs), path));
    EXPECT_EQ(path, fHome + QStringLiteral("/My Docs"));
    EXPECT_EQ(Name(IdSpan(docs), sigdn::NORMALDISPLAY), QStringLiteral("Documents"));
    EXPECT_TRUE(SameItem(IdSpan(docs), IdSpan(ParseOk(path))));
    Guid id;
    ASSERT_EQ(known.FindFromPath(path, id), S_OK);
    EXPECT_EQ(id, folderid::Documents);
    ASSERT_EQ(known.FindFromIdList(IdSpan(docs), id), S_OK);
    EXPECT_EQ(id, clsid::DocumentsFolder);
    // The parsing name of the user folder parses back to it.
    EXPECT_EQ(ParseOk(Name(IdSpan(docs), sigdn::DESKTOPABSOLUTEPARSING)), docs);

    // A user folder that does not exist is no special folder, and This PC does not list it.
    EXPECT_EQ(known.GetIdList({csidl::MYMUSIC, {}}, docs), E_FAIL);
    EXPECT_EQ(known.GetIdList({-1, folderid::Pictures}, docs), S_OK);
    EXPECT_EQ(known.GetIdList({-1, Guid{}}, docs), E_FAIL);
    IdListBytes desktop;
    ASSERT_EQ(known.GetIdList({csidl::DESKTOP, {}}, desktop), S_OK);
    EXPECT_TRUE(IdSpan(desktop).IsEmpty());

    std::vector<QString> underThisPc;
    IShellFolderPtr thisPc;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(ThisPcList()), thisPc), S_OK);
    IEnumIDListPtr items;
    ASSERT_EQ(thisPc->EnumObjects(nullptr, 0x100E0, items), S_OK);
    IdListBytes item;
    while (items->Next(item) == S_OK) {
        QString name;
        thisPc->GetDisplayNameOf(IdSpan(item), shgdn::NORMAL, name);
        underThisPc.push_back(name);
    }
    EXPECT_NE(std::find(underThisPc.begin(), underThisPc.end(), "Documents"), underThisPc.end());
    EXPECT_NE(std::find(underThisPc.begin(), underThisPc.end(), "File System"), underThisPc.end());
    // The drive columns: sizes of the file system and its type.
    IShellFolder2* columns = thisPc->AsFolder2();
    ASSERT_NE(columns, nullptr);
    ShellDetails details;
    ASSERT_EQ(columns->GetDetailsOf(nullptr, 2, details), S_OK);
    EXPECT_EQ(details.Text, QStringLiteral("Total size"));
    std::uint32_t state = 0;
    ASSERT_EQ(columns->GetDefaultColumnState(2, state), S_OK);
    EXPECT_EQ(state & 0x20u, 0x20u);
    const IdListBytes root = idl::LastAsList(IdSpan(ParseOk(QStringLiteral("/"))));
    const IdSpan rootSpan(root);
    PropertyKey capacity;
    ASSERT_EQ(columns->MapColumnToSCID(2, capacity), S_OK);
    PropVariant value;
    ASSERT_EQ(columns->GetDetailsEx(rootSpan, capacity, value), S_OK);
    ASSERT_TRUE(std::holds_alternative<std::uint64_t>(value));
    EXPECT_GT(std::get<std::uint64_t>(value), 0u);
    ASSERT_EQ(columns->GetDetailsOf(&rootSpan, 1, details), S_OK);
    EXPECT_EQ(details.Text, QStringLiteral("Local Disk"));
    EXPECT_EQ(std::find(underThisPc.begin(), underThisPc.end(), "Music"), underThisPc.end());

    // The desktop lists Home, This PC and the desktop folder's entries.
    std::vector<QString> onDesktop;
    ASSERT_EQ(Ns().Desktop()->EnumObjects(nullptr, 0x100E0, items), S_OK);
    while (items->Next(item) == S_OK) {
        QString name;
        Ns().Desktop()->GetDisplayNameOf(IdSpan(item), shgdn::NORMAL, name);
        onDesktop.push_back(name);
    }
    EXPECT_EQ(onDesktop, (std::vector<QString>{"Home", "This PC", "Libraries", "Network",
                                               "Control Panel", "Trash", "note.txt"}));

    // A library shows its user folder's entries without being that folder.
    MakeFile(Raw("home/My Docs/letter.txt"));
    IdListBytes library;
    ASSERT_EQ(known.GetIdList({-1, folderid::DocumentsLibrary}, library), S_OK);
    EXPECT_EQ(Name(IdSpan(library), sigdn::NORMALDISPLAY), QStringLiteral("Documents"));
    EXPECT_EQ(Name(IdSpan(library), sigdn::FILESYSPATH), QStringLiteral("<failed>"));
    EXPECT_EQ(ParseOk(Name(IdSpan(library), sigdn::DESKTOPABSOLUTEPARSING)), library);
    ASSERT_TRUE(Ns().GetLibraryDefaultSaveFolder(IdSpan(library), path));
    EXPECT_EQ(path, fHome + QStringLiteral("/My Docs"));
    EXPECT_FALSE(Ns().GetLibraryDefaultSaveFolder(IdSpan(docs), path));
    EXPECT_FALSE(SameItem(IdSpan(library), IdSpan(ParseOk(fHome + QStringLiteral("/My Docs")))));
    ASSERT_EQ(known.FindFromIdList(IdSpan(library), id), S_OK);
    EXPECT_EQ(id, folderid::DocumentsLibrary);
    EXPECT_EQ(known.GetIdList({-1, folderid::MusicLibrary}, docs), E_FAIL);
    IShellFolderPtr libraryFolder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(library), libraryFolder), S_OK);
    ASSERT_EQ(libraryFolder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    ASSERT_EQ(items->Next(item), S_OK);
    EXPECT_TRUE(SameItem(IdSpan(idl::Combine(IdSpan(library), IdSpan(item))),
                         IdSpan(ParseOk(fHome + QStringLiteral("/My Docs/letter.txt")))));
    EXPECT_TRUE(SameItem(IdSpan(ParseOk(QStringLiteral("note.txt"))),
                         IdSpan(ParseOk(fHome + QStringLiteral("/Desktop/note.txt")))));
}

TEST_F(LinuxNamespaceTest, TrashListsTheEntriesOfTheTrashFolder)
{
    const std::string trash = Raw("home/.local/share/Trash");
    for (const char* folder : {"home/.local", "home/.local/share", "home/.local/share/Trash",
                               "home/.local/share/Trash/files", "home/.local/share/Trash/info"})
        MakeFolder(Raw(folder));
    MakeFile(trash + "/files/a.txt", "abc");
    MakeFile(trash + "/info/a.txt.trashinfo",
             "[Trash Info]\nPath=/original/dir/a.txt\nDeletionDate=2024-05-01T10:20:30\n");
    MakeFolder(trash + "/files/b c.2");
    MakeFile(trash + "/info/b c.2.trashinfo", "[Trash Info]\nPath=/x/b%20c\n");
    MakeFile(trash + "/files/orphan");

    IdListBytes trashList;
    ASSERT_EQ(fPlatform->KnownFolders().GetIdList({csidl::BITBUCKET, {}}, trashList), S_OK);
    EXPECT_EQ(Name(IdSpan(trashList), sigdn::NORMALDISPLAY), QStringLiteral("Trash"));
    EXPECT_EQ(ParseOk(Name(IdSpan(trashList), sigdn::DESKTOPABSOLUTEPARSING)), trashList);
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(trashList), folder), S_OK);
    IEnumIDListPtr items;
    ASSERT_EQ(folder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    std::map<QString, IdListBytes> entries;
    IdListBytes item;
    while (items->Next(item) == S_OK) {
        QString name;
        ASSERT_EQ(folder->GetDisplayNameOf(IdSpan(item), shgdn::NORMAL, name), S_OK);
        entries[name] = item;
    }
    ASSERT_EQ(entries.size(), 3u);
    ASSERT_TRUE(entries.count("a.txt") && entries.count("b c") && entries.count("orphan"));

    const IdListBytes a = idl::Combine(IdSpan(trashList), IdSpan(entries["a.txt"]));
    EXPECT_EQ(Name(IdSpan(a), sigdn::DESKTOPABSOLUTEEDITING),
              QStringLiteral("/original/dir/a.txt"));
    EXPECT_EQ(Name(IdSpan(a), sigdn::FILESYSPATH), DecodeFileName(trash + "/files/a.txt"));
    EXPECT_EQ(Name(IdSpan(a), sigdn::PARENTRELATIVEPARSING), QStringLiteral("a.txt"));
    // The parsing name comes back to the same entry, which is also the file inside the trash.
    const IdListBytes again = ParseOk(Name(IdSpan(a), sigdn::DESKTOPABSOLUTEPARSING));
    EXPECT_EQ(again, a);
    EXPECT_TRUE(SameItem(IdSpan(a), IdSpan(ParseOk(DecodeFileName(trash + "/files/a.txt")))));

    const IdListBytes bc = idl::Combine(IdSpan(trashList), IdSpan(entries["b c"]));
    EXPECT_EQ(
        Attributes(IdSpan(bc), sfgao::FOLDER | sfgao::STREAM | sfgao::CANRENAME | sfgao::CANDELETE),
        sfgao::FOLDER | sfgao::CANDELETE);
    EXPECT_EQ(Attributes(IdSpan(a), sfgao::FOLDER | sfgao::STREAM), sfgao::STREAM);
    PropVariant size;
    IShellItemPtr shellItem;
    ASSERT_EQ(Ns().CreateShellItem(IdSpan(a), shellItem), S_OK);
    ASSERT_EQ(shellItem->GetProperty(pkey::Size, size), S_OK);
    EXPECT_EQ(std::get<std::uint64_t>(size), 3u);

    // Columns of the trash: where entries came from and when they were deleted.
    IShellFolder2* columns = folder->AsFolder2();
    ASSERT_NE(columns, nullptr);
    ShellDetails details;
    ASSERT_EQ(columns->GetDetailsOf(nullptr, 1, details), S_OK);
    EXPECT_EQ(details.Text, QStringLiteral("Original location"));
    const IdListBytes aItem = entries["a.txt"];
    const IdSpan aSpan(aItem);
    ASSERT_EQ(columns->GetDetailsOf(&aSpan, 1, details), S_OK);
    EXPECT_EQ(details.Text, QStringLiteral("/original/dir"));
    ASSERT_EQ(columns->GetDetailsOf(&aSpan, 2, details), S_OK);
    EXPECT_FALSE(details.Text.isEmpty());
    PropertyKey key;
    EXPECT_EQ(columns->MapColumnToSCID(6, key), E_INVALIDARG);

    // Emptied behind our back: the entry is gone.
    ASSERT_EQ(::unlink((trash + "/files/a.txt").c_str()), 0);
    EXPECT_EQ(shellItem->Update(), HResultFromWin32(2));
}

TEST_F(LinuxNamespaceTest, QuickAccessAndRecentFromTheUsersFiles)
{
    for (const char* folder : {"home/.config", "home/.config/gtk-3.0", "home/.local",
                               "home/.local/share", "home/Projects"})
        MakeFolder(Raw(folder));
    MakeFile(Raw("home/report.txt"));
    MakeFile(Raw("home/.config/gtk-3.0/bookmarks"),
             "file://" + Raw("home/Projects") + " Work\nsftp://host/x Remote\nfile:///gone/away\n");
    MakeFile(Raw("home/.local/share/recently-used.xbel"),
             "<xbel><bookmark href=\"file://" + Raw("home/report.txt") +
                 "\" visited=\"2024-01-01T00:00:00Z\"/>"
                 "<bookmark href=\"file:///gone.txt\" visited=\"2025-01-01T00:00:00Z\"/></xbel>");

    const IdListBytes quick =
        ParseOk(QStringLiteral("shell:::{679f85cb-0220-4080-b29b-5540cc05aab6}"));
    EXPECT_EQ(Name(IdSpan(quick), sigdn::NORMALDISPLAY), QStringLiteral("Quick access"));
    EXPECT_NE(Attributes(IdSpan(quick), sfgao::NONENUMERATED), 0u);
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(quick), folder), S_OK);
    IEnumIDListPtr items;
    ASSERT_EQ(folder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    std::vector<IdListBytes> entries;
    IdListBytes item;
    while (items->Next(item) == S_OK)
        entries.push_back(idl::Combine(IdSpan(quick), IdSpan(item)));
    // The pinned folder (with its label), then the recent file that still exists.
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(Name(IdSpan(entries[0]), sigdn::NORMALDISPLAY), QStringLiteral("Work"));
    EXPECT_EQ(Name(IdSpan(entries[0]), sigdn::FILESYSPATH), DecodeFileName(Raw("home/Projects")));
    EXPECT_EQ(Name(IdSpan(entries[1]), sigdn::NORMALDISPLAY), QStringLiteral("report.txt"));
    for (const IdListBytes& entry : entries)
        EXPECT_EQ(ParseOk(Name(IdSpan(entry), sigdn::DESKTOPABSOLUTEPARSING)), entry);
    // A pinned folder is the folder: same item, browsable, not renamed through the pin.
    EXPECT_TRUE(
        SameItem(IdSpan(entries[0]), IdSpan(ParseOk(DecodeFileName(Raw("home/Projects"))))));
    EXPECT_EQ(Attributes(IdSpan(entries[0]), sfgao::FOLDER | sfgao::CANRENAME), sfgao::FOLDER);

    IdListBytes recent;
    ASSERT_EQ(fPlatform->KnownFolders().GetIdList({csidl::RECENT, {}}, recent), S_OK);
    ASSERT_EQ(Ns().BindToFolder(IdSpan(recent), folder), S_OK);
    ASSERT_EQ(folder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    entries.clear();
    while (items->Next(item) == S_OK)
        entries.push_back(idl::Combine(IdSpan(recent), IdSpan(item)));
    // Newest first; entries are links, with no path of their own.
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(Name(IdSpan(entries[0]), sigdn::NORMALDISPLAY), QStringLiteral("gone.txt"));
    EXPECT_EQ(Name(IdSpan(entries[1]), sigdn::DESKTOPABSOLUTEEDITING),
              DecodeFileName(Raw("home/report.txt")));
    EXPECT_EQ(Name(IdSpan(entries[1]), sigdn::FILESYSPATH), QStringLiteral("<failed>"));
    EXPECT_EQ(Attributes(IdSpan(entries[1]), sfgao::LINK | sfgao::FOLDER), sfgao::LINK);
    EXPECT_EQ(ParseOk(Name(IdSpan(entries[1]), sigdn::DESKTOPABSOLUTEPARSING)), entries[1]);
    EXPECT_FALSE(
        SameItem(IdSpan(entries[1]), IdSpan(ParseOk(DecodeFileName(Raw("home/report.txt"))))));
}

// Shows the namespace a mount table of the test's making for its lifetime.
class TMountTableOverride
{
public:
    explicit TMountTableOverride(std::string pText)
    {
        OverrideMountTableForTesting(std::move(pText));
    }
    ~TMountTableOverride() { OverrideMountTableForTesting(std::nullopt); }
    TMountTableOverride(const TMountTableOverride&) = delete;
    TMountTableOverride& operator=(const TMountTableOverride&) = delete;
};

TEST_F(LinuxNamespaceTest, NetworkListsMountedSharesAsSlowFolders)
{
    MakeFolder(Raw("share"));
    MakeFile(Raw("share/doc.txt"));
    const TMountTableOverride table("22 1 0:21 / / rw - ext4 /dev/sda2 rw\n"
                                    "41 22 0:50 / " +
                                    Raw("share") + " rw - cifs //server/public rw\n");
    const IdListBytes doc = ParseOk(DecodeFileName(Raw("share/doc.txt")));
    ASSERT_EQ(IdSpan(doc).Depth(), 3u);
    EXPECT_NE(Attributes(IdSpan(doc), sfgao::ISSLOW), 0u);
    EXPECT_NE(Attributes(IdSpan(idl::Prefix(IdSpan(doc), 2)), sfgao::ISSLOW), 0u);
    EXPECT_EQ(Name(IdSpan(idl::Prefix(IdSpan(doc), 2)), sigdn::NORMALDISPLAY),
              QStringLiteral("public on server"));
    for (const char* typed :
         {"\\\\server\\public\\doc.txt", "//server/public/doc.txt", "smb://server/public/doc.txt"})
        EXPECT_TRUE(SameItem(IdSpan(ParseOk(QString::fromLatin1(typed))), IdSpan(doc))) << typed;
    IdListBytes list;
    EXPECT_EQ(Parse(QStringLiteral("\\\\server\\private"), list), HResultFromWin32(53));
    EXPECT_EQ(Parse(QStringLiteral("\\\\nohost"), list), HResultFromWin32(53));

    IdListBytes network;
    ASSERT_EQ(fPlatform->KnownFolders().GetIdList({csidl::NETWORK, {}}, network), S_OK);
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(network), folder), S_OK);
    IEnumIDListPtr items;
    ASSERT_EQ(folder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    IdListBytes item;
    ASSERT_EQ(items->Next(item), S_OK);
    EXPECT_EQ(items->Next(item), S_FALSE);
    ASSERT_EQ(items->Reset(), S_OK);
    ASSERT_EQ(items->Next(item), S_OK);
    const IdListBytes host = idl::Combine(IdSpan(network), IdSpan(item));
    EXPECT_EQ(Name(IdSpan(host), sigdn::NORMALDISPLAY), QStringLiteral("server"));
    EXPECT_EQ(Name(IdSpan(host), sigdn::DESKTOPABSOLUTEPARSING), QStringLiteral("\\\\server"));
    EXPECT_EQ(ParseOk(QStringLiteral("\\\\server")), host);

    ASSERT_EQ(Ns().BindToFolder(IdSpan(host), folder), S_OK);
    ASSERT_EQ(folder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    ASSERT_EQ(items->Next(item), S_OK);
    const IdListBytes share = idl::Combine(IdSpan(host), IdSpan(item));
    EXPECT_EQ(Name(IdSpan(share), sigdn::DESKTOPABSOLUTEPARSING),
              QStringLiteral("\\\\server\\public"));
    EXPECT_EQ(Name(IdSpan(share), sigdn::FILESYSPATH), DecodeFileName(Raw("share")));
    EXPECT_NE(Attributes(IdSpan(share), sfgao::ISSLOW | sfgao::FOLDER), 0u);
    // A home folder on a network share: what is reached through Home is slow as well.
    SetEnv("HOME", DecodeFileName(Raw("share")));
    const IdListBytes viaHome =
        ParseOk(QStringLiteral("::") + clsid::Home.ToString() + QStringLiteral("\\doc.txt"));
    EXPECT_TRUE(SameItem(IdSpan(viaHome), IdSpan(doc)));
    EXPECT_NE(Attributes(IdSpan(viaHome), sfgao::ISSLOW), 0u);
    EXPECT_EQ(fPlatform->FileSystem().GetDriveType(DecodeFileName(Raw("share/doc.txt"))),
              DriveType::Remote);

    // The share is its mount: same item, and its files are the mount's files.
    EXPECT_TRUE(SameItem(IdSpan(share), IdSpan(idl::Prefix(IdSpan(doc), 2))));
    EXPECT_TRUE(Ns().FindChild(IdSpan(share), IdSpan(doc)));
}

// Mounts a small tmpfs for the lifetime of the object (needs the right to mount: tests skip
// without it).
class TScratchMount
{
public:
    explicit TScratchMount(const std::string& pPath)
        : fPath(pPath)
        , fMounted(::mount("kiv-test", pPath.c_str(), "tmpfs", 0, "size=1m") == 0)
    {
    }
    ~TScratchMount() { Unmount(); }
    TScratchMount(const TScratchMount&) = delete;
    TScratchMount& operator=(const TScratchMount&) = delete;
    bool Mounted() const { return fMounted; }
    void Unmount()
    {
        if (fMounted)
            ::umount2(fPath.c_str(), MNT_DETACH);
        fMounted = false;
    }

private:
    std::string fPath;
    bool fMounted;
};

TEST_F(LinuxNamespaceTest, MountsAreSeenAsTheyComeAndGo)
{
    MakeFolder(Raw("point"));
    auto has = [&] {
        const auto mounts = ReadMountTable();
        return std::any_of(mounts.begin(), mounts.end(),
                           [&](const TMount& pMount) { return pMount.Path == Raw("point"); });
    };
    EXPECT_FALSE(has());
    const std::uint64_t before = MountTableGeneration();
    TScratchMount mount(Raw("point"));
    if (!mount.Mounted())
        GTEST_SKIP() << "this process may not mount";
    EXPECT_TRUE(has());
    EXPECT_NE(MountTableGeneration(), before);
    MakeFile(Raw("point/inside.txt"));

    // A tmpfs is no drive: paths below it keep the visible mount above, the mount point is
    // flagged as such, and its files parse as usual.
    const IdListBytes inside = ParseOk(DecodeFileName(Raw("point/inside.txt")));
    EXPECT_EQ(Name(IdSpan(inside), sigdn::FILESYSPATH), DecodeFileName(Raw("point/inside.txt")));
    FindData data;
    IShellFolderPtr parent;
    IdListBytes last;
    ASSERT_EQ(Ns().BindToParent(IdSpan(idl::RemoveLast(IdSpan(inside))), parent, last), S_OK);
    ASSERT_EQ(parent->GetFindData(IdSpan(last), data), S_OK);
    EXPECT_NE(data.Attributes & fileattr::REPARSE_POINT, 0u);
    EXPECT_EQ(fPlatform->FileSystem().MountOf(DecodeFileName(Raw("point/inside.txt"))).MountPath,
              DecodeFileName(Raw("point")));
    EXPECT_EQ(fPlatform->FileSystem().GetDriveType(DecodeFileName(Raw("point"))),
              DriveType::RamDisk);

    mount.Unmount();
    EXPECT_FALSE(has());
}

TEST_F(LinuxNamespaceTest, ControlPanelListsTheSettingsLaunchers)
{
    MakeFolder(Raw("empty-data-dir"));
    SetEnv("XDG_DATA_DIRS", DecodeFileName(Raw("empty-data-dir")));
    for (const char* folder :
         {"home/.local", "home/.local/share", "home/.local/share/applications"})
        MakeFolder(Raw(folder));
    const std::string apps = Raw("home/.local/share/applications/");
    MakeFile(apps + "display.desktop",
             "[Desktop Entry]\nType=Application\nName=Display\nCategories=GTK;Settings;\n"
             "[Desktop Action x]\nName=Other\n");
    MakeFile(apps + "editor.desktop",
             "[Desktop Entry]\nType=Application\nName=Editor\nCategories=Utility;\n");
    MakeFile(apps + "hidden.desktop", "[Desktop Entry]\nType=Application\nName=Hidden\n"
                                      "Categories=Settings;\nNoDisplay=true\n");

    IdListBytes panel;
    ASSERT_EQ(fPlatform->KnownFolders().GetIdList({csidl::CONTROLS, {}}, panel), S_OK);
    EXPECT_EQ(Name(IdSpan(panel), sigdn::NORMALDISPLAY), QStringLiteral("Control Panel"));
    IShellFolderPtr folder;
    ASSERT_EQ(Ns().BindToFolder(IdSpan(panel), folder), S_OK);
    IEnumIDListPtr items;
    ASSERT_EQ(folder->EnumObjects(nullptr, 0x100E0, items), S_OK);
    IdListBytes item;
    ASSERT_EQ(items->Next(item), S_OK);
    EXPECT_EQ(items->Next(item), S_FALSE);
    ASSERT_EQ(items->Reset(), S_OK);
    ASSERT_EQ(items->Next(item), S_OK);
    const IdListBytes display = idl::Combine(IdSpan(panel), IdSpan(item));
    EXPECT_EQ(Name(IdSpan(display), sigdn::NORMALDISPLAY), QStringLiteral("Display"));
    EXPECT_EQ(Name(IdSpan(display), sigdn::PARENTRELATIVEPARSING),
              QStringLiteral("display.desktop"));
    EXPECT_EQ(Name(IdSpan(display), sigdn::FILESYSPATH), QStringLiteral("<failed>"));
    EXPECT_EQ(ParseOk(Name(IdSpan(display), sigdn::DESKTOPABSOLUTEPARSING)), display);
}

TEST_F(LinuxNamespaceTest, TamperedItemBytesAreRefused)
{
    // An item that names ".." would climb out of its folder.
    TSnapshot snapshot;
    const IdListBytes list = ParseOk(fDir.Path());
    const auto valid = MakeFsItem(true, snapshot, "x");
    std::vector<std::uint8_t> tampered = valid;
    // The name "x" starts at byte 28: make it "..".
    tampered[28] = '.';
    tampered.insert(tampered.begin() + 29, '.');
    tampered[0] = static_cast<std::uint8_t>(tampered.size());
    const IdListBytes escape = idl::Append(IdSpan(list), tampered);
    IShellItemPtr item;
    EXPECT_EQ(Ns().CreateShellItem(IdSpan(escape), item), E_INVALIDARG);
    // A trash entry naming a folder that is no trash folder.
    TSnapshot entry;
    const IdListBytes fakeTrash =
        idl::Append(IdSpan(ParseOk(QStringLiteral("::") + clsid::Trash.ToString())),
                    MakeTrashItem(entry, "passwd", "/etc", "/x", 0));
    EXPECT_NE(Ns().CreateShellItem(IdSpan(fakeTrash), item), S_OK);
    IShellFolderPtr folder;
    EXPECT_EQ(Ns().BindToFolder(IdSpan(escape), folder), E_INVALIDARG);
    QString path;
    EXPECT_FALSE(Ns().GetPathFromIdList(IdSpan(escape), path));
}

TEST_F(LinuxNamespaceTest, FileSystemPrimitives)
{
    IFileSystem& fs = fPlatform->FileSystem();
    MakeFolder(Raw("fs"));
    MakeFile(Raw("fs/a"), "abc");
    EXPECT_EQ(fs.GetFileAttributes(DecodeFileName(Raw("fs"))), fileattr::DIRECTORY);
    EXPECT_EQ(fs.GetFileAttributes(DecodeFileName(Raw("fs/missing"))), fileattr::INVALID);
    FindData data;
    ASSERT_EQ(fs.GetFindData(DecodeFileName(Raw("fs/a")), data), S_OK);
    EXPECT_EQ(data.Size, 3u);
    EXPECT_EQ(data.Name, QStringLiteral("a"));
    EXPECT_EQ(fs.CreateDirectory(DecodeFileName(Raw("fs/a"))), HResultFromWin32(183));
    EXPECT_EQ(fs.CreateDirectory(DecodeFileName(Raw("fs/no/sub"))), HResultFromWin32(3));
    EXPECT_EQ(fs.DeleteFile(DecodeFileName(Raw("fs/missing"))), HResultFromWin32(2));
    EXPECT_EQ(fs.GetDriveType(QStringLiteral("relative")), DriveType::NoRootDir);
    EXPECT_NE(fs.GetDriveType(DecodeFileName(Raw("fs"))), DriveType::NoRootDir);
    EXPECT_TRUE(fs.GetTempPath().endsWith(u'/'));

    SetEnv("KIV_TEST_VARIABLE", QStringLiteral("value"));
    EXPECT_EQ(
        fs.ExpandEnvironmentStrings(QStringLiteral("a%KIV_TEST_VARIABLE%b%NO_SUCH_KIV_VAR%c")),
        QStringLiteral("avalueb%NO_SUCH_KIV_VAR%c"));
    EXPECT_EQ(fs.ExpandEnvironmentStrings(QStringLiteral("100% %KIV_TEST_VARIABLE%")),
              QStringLiteral("100% value"));

    // Copies keep content, permissions and times; only an explicit overwrite replaces.
    ASSERT_EQ(::chmod(Raw("fs/a").c_str(), 0640), 0);
    const struct timespec old[2] = {{1000000000, 0}, {1200000000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Raw("fs/a").c_str(), old, 0), 0);
    EXPECT_EQ(fs.CopyFile(DecodeFileName(Raw("fs/a")), DecodeFileName(Raw("fs/b")), true), S_OK);
    struct stat copy
    {
    };
    ASSERT_EQ(::stat(Raw("fs/b").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, 3);
    EXPECT_EQ(copy.st_mode & 0777, 0640u);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(copy.st_mtim.tv_nsec, 500);
    MakeFile(Raw("fs/c"), "longer content");
    EXPECT_EQ(fs.CopyFile(DecodeFileName(Raw("fs/a")), DecodeFileName(Raw("fs/c")), true),
              HResultFromWin32(80));
    EXPECT_EQ(fs.CopyFile(DecodeFileName(Raw("fs/a")), DecodeFileName(Raw("fs/c")), false), S_OK);
    ASSERT_EQ(::stat(Raw("fs/c").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, 3);
    EXPECT_EQ(fs.CopyFile(DecodeFileName(Raw("fs/missing")), DecodeFileName(Raw("fs/d")), false),
              HResultFromWin32(2));
    EXPECT_EQ(fs.CopyFile(DecodeFileName(Raw("fs/a")), DecodeFileName(Raw("no/d")), false),
              HResultFromWin32(3));
    EXPECT_EQ(fs.CopyFile(DecodeFileName(Raw("fs")), DecodeFileName(Raw("fs/d")), false),
              HResultFromWin32(5));

    EXPECT_EQ(fs.ForceDirectories(DecodeFileName(Raw("fs/x/y/z"))), S_OK);
    EXPECT_EQ(fs.ForceDirectories(DecodeFileName(Raw("fs/x/y/z"))), S_OK);
    EXPECT_EQ(fs.GetFileAttributes(DecodeFileName(Raw("fs/x/y/z"))), fileattr::DIRECTORY);
    EXPECT_EQ(fs.ForceDirectories(DecodeFileName(Raw("fs/a/sub"))), HResultFromWin32(183));

    // Names that are no UTF-8 are copied and deleted under their exact bytes.
    MakeFile(Raw("fs/caf\xE9"), "xyz");
    const QString odd = DecodeFileName(Raw("fs/caf\xE9"));
    EXPECT_EQ(fs.CopyFile(odd, odd + QStringLiteral(" 2"), true), S_OK);
    EXPECT_EQ(fs.GetFileAttributes(odd + QStringLiteral(" 2")), fileattr::NORMAL);
    EXPECT_EQ(fs.DeleteFile(odd), S_OK);
    EXPECT_EQ(fs.DeleteFile(odd + QStringLiteral(" 2")), S_OK);
    struct stat gone
    {
    };
    EXPECT_NE(::stat(Raw("fs/caf\xE9 2").c_str(), &gone), 0);

    EXPECT_TRUE(fs.IsVolumeRoot(QStringLiteral("/")));
    EXPECT_FALSE(fs.IsVolumeRoot(DecodeFileName(Raw("fs"))));

    std::unique_ptr<IFindHandle> find;
    ASSERT_EQ(fs.FindFirst(DecodeFileName(Raw("fs")), find), S_OK);
    std::vector<QString> names;
    while (find->Next(data) == S_OK)
        names.push_back(data.Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QString>{"a", "b", "c", "x"}));
    EXPECT_EQ(fs.FindFirst(DecodeFileName(Raw("nothing")), find), HResultFromWin32(3));
}

} // namespace
} // namespace kiv::pf::lnx

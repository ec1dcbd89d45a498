#include "LinuxMenus.h"

#include "LinuxItems.h"
#include "LinuxNamespace.h"
#include "LinuxPlaces_p.h"
#include "LinuxPlatform.h"
#include "LinuxTrash.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/IClipboard.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/KnownFolderIds.h"
#include "core/shell/ClipboardFiles.h"
#include "core/shell/KivItemIdList.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <QUrl>

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <zip.h>

namespace kiv::pf::lnx {
namespace {

// A home, data and configuration folders of its own, the Linux platform installed, and a
// recording application: a script that writes the arguments it was started with, NUL-separated,
// to "<script>.out".
class LinuxMenusTest : public ::testing::Test
{
protected:
    LinuxMenusTest()
    {
        UseTestDesktopHome(fEnv, fHome);
        fHome.CreateFile(QStringLiteral(".config/user-dirs.dirs"),
                         "XDG_TEMPLATES_DIR=\"$HOME/Templates\"\n");
        fHome.CreateFile(QStringLiteral("Templates/Letter.odt"), "template");
        fRecorder = fHome.CreateFile(QStringLiteral("bin/record"),
                                     "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.tmp\" && "
                                     "mv \"$0.tmp\" \"$0.out\"\n");
        QFile::setPermissions(fRecorder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
        AddApp("recorder.desktop", "Recorder", "\"" + fRecorder.toUtf8() + "\" --flag %f",
               "text/plain;");
        fHome.CreateFile(QStringLiteral(".config/mimeapps.list"),
                         "[Default Applications]\ntext/plain=recorder.desktop;\n");
        fPlatform.emplace(CreateLinuxPlatform());
        QGuiApplication::clipboard()->clear();
    }
    ~LinuxMenusTest() override
    {
        WaitForMenuWork();
        SetMenuHooks({});
    }

    void AddApp(const char* pId, const char* pName, const QByteArray& pExec, const char* pTypes,
                const char* pFolder = "system/share/applications")
    {
        fHome.CreateFile(QString::fromUtf8(pFolder) + u'/' + QString::fromUtf8(pId),
                         "[Desktop Entry]\nType=Application\nName=" + QByteArray(pName) +
                             "\nExec=" + pExec + "\nMimeType=" + pTypes + "\n");
    }

    static IdListBytes ListOf(const QString& pPath)
    {
        IdListBytes list;
        EXPECT_EQ(ParseAbsolutePath(EncodeFileName(pPath), list), S_OK) << pPath.toStdString();
        return list;
    }

    static IdListBytes TrashList()
    {
        return idl::FromItem(MakeClassItem(clsid::Trash, kOrderTrash));
    }

    static IContextMenuPtr ItemMenu(const std::vector<IdListBytes>& pItems)
    {
        IContextMenuPtr menu;
        EXPECT_EQ(CreateItemMenu(pItems, menu), S_OK);
        return menu;
    }

    static IContextMenuPtr BackgroundMenu(const IdListBytes& pFolder)
    {
        IShellFolderPtr folder;
        IContextMenuPtr menu;
        EXPECT_EQ(Platform().Namespace().BindToFolder(IdSpan(pFolder), folder), S_OK);
        EXPECT_EQ(folder->CreateBackgroundMenu(nullptr, menu), S_OK);
        return menu;
    }

    // The verbs of a menu, sub-menus included, as a query with pFlags gives them.
    static QStringList Verbs(IContextMenu& pMenu, MenuModel* pModel = nullptr,
                             std::uint32_t pFlags = cmf::EXPLORE | cmf::CANRENAME)
    {
        MenuModel model;
        EXPECT_TRUE(Succeeded(pMenu.QueryContextMenu(model, 0, 1, 0x7FFF, pFlags)));
        QStringList verbs;
        std::function<void(const std::vector<MenuItem>&)> walk = [&](const auto& pItems) {
            for (const MenuItem& item : pItems) {
                if (!item.Verb.isEmpty())
                    verbs.push_back(item.Verb);
                walk(item.Children);
            }
        };
        walk(model.Items);
        if (pModel)
            *pModel = model;
        return verbs;
    }

    static HResult Invoke(IContextMenu& pMenu, const char* pVerb, std::uint32_t pMask = 0)
    {
        InvokeInfo info;
        info.Verb = QString::fromUtf8(pVerb);
        info.Mask = pMask;
        const HResult result = pMenu.InvokeCommand(info);
        WaitForMenuWork();
        return result;
    }

    // The arguments the recorder was last started with (waits for it to write them).
    QStringList RecordedArguments()
    {
        QFile out(fRecorder + QStringLiteral(".out"));
        for (int i = 0; i < 500 && !out.exists(); ++i)
            QThread::msleep(20);
        if (!out.open(QIODevice::ReadOnly))
            return {};
        QByteArray bytes = out.readAll();
        out.remove();
        QStringList words;
        for (const QByteArray& word : bytes.split('\0'))
            words.push_back(QString::fromUtf8(word));
        if (!words.isEmpty() && words.back().isEmpty())
            words.pop_back();
        return words;
    }

    test::TestDir fHome;
    test::TScopedEnvironment fEnv;
    std::optional<TScopedPlatform> fPlatform;
    QString fRecorder;
};

TEST_F(LinuxMenusTest, EachKindOfItemOffersItsVerbs)
{
    const QString file = fHome.CreateFile(QStringLiteral("work/a.txt"), "a");
    const QString folder = fHome.CreateFolder(QStringLiteral("work/sub"));
    std::string trashDir;
    std::string trashName;
    ASSERT_EQ(MoveToTrash(EncodeFileName(fHome.CreateFile(QStringLiteral("work/old.txt"))),
                          &trashDir, &trashName),
              S_OK);
    IdListBytes entry;
    ASSERT_EQ(MakeTrashEntry(trashDir, trashName, entry), S_OK);
    const IdListBytes trashEntry = idl::Combine(IdSpan(TrashList()), IdSpan(entry));

    struct TCase
    {
        const char* Name;
        IContextMenuPtr Menu;
        QStringList Present;
        QStringList Absent;
        const char* Default;
    };
    const QStringList fileVerbs = {"open",     "openwith:recorder.desktop",
                                   "openas",   "cut",
                                   "copy",     "link",
                                   "delete",   "rename",
                                   "copypath", "properties"};
    const TCase cases[] = {
        {"file",
         ItemMenu({ListOf(file)}),
         fileVerbs,
         {"cmd", "paste", "undelete", "empty"},
         "open"},
        {"folder",
         ItemMenu({ListOf(folder)}),
         {"open", "cmd", "paste", "cut", "delete"},
         {"undelete"},
         "open"},
        {"two files",
         ItemMenu({ListOf(file), ListOf(file)}),
         {"open", "cut", "copy", "delete", "copypath"},
         {"rename", "cmd", "paste"},
         "open"},
        {"trash entry",
         ItemMenu({trashEntry}),
         {"undelete", "delete", "properties"},
         {"open", "cut", "rename"},
         ""},
        {"trash", ItemMenu({TrashList()}), {"empty"}, {"delete", "undelete"}, ""},
        {"folder background",
         BackgroundMenu(ListOf(fHome.Join(QStringLiteral("work")))),
         {"paste", "pastelink", "NewFolder", "newfile:Letter.odt", "cmd", "refresh", "properties"},
         {"delete", "undelete"},
         ""},
        {"trash background", BackgroundMenu(TrashList()), {"empty", "refresh"}, {"paste"}, ""},
    };
    for (const TCase& c : cases) {
        ASSERT_TRUE(c.Menu) << c.Name;
        MenuModel model;
        const QStringList verbs = Verbs(*c.Menu, &model);
        for (const QString& verb : c.Present)
            EXPECT_TRUE(verbs.contains(verb)) << c.Name << ": " << verb.toStdString();
        for (const QString& verb : c.Absent)
            EXPECT_FALSE(verbs.contains(verb)) << c.Name << ": " << verb.toStdString();
        const MenuItem* def = model.FindDefault();
        EXPECT_EQ(def ? def->Verb : QString(), QString::fromUtf8(c.Default)) << c.Name;
    }
    // Items with no shared folder: the default folder menu of the files they carry.
    IContextMenuPtr defaultMenu;
    const IdListBytes fileList = ListOf(file);
    const IdListBytes folderList = ListOf(folder);
    const IdSpan both[] = {IdSpan(fileList), IdSpan(folderList)};
    ASSERT_EQ(Platform().Namespace().CreateDefaultFolderMenu(
                  nullptr, Platform().Namespace().Desktop(), both, {}, defaultMenu),
              S_OK);
    EXPECT_TRUE(Verbs(*defaultMenu).contains("copypath"));
    // The tool tip of a file tells its type.
    IShellFolderPtr parent;
    IdListBytes last;
    ASSERT_EQ(Platform().Namespace().BindToParent(IdSpan(fileList), parent, last), S_OK);
    QString tip;
    EXPECT_EQ(parent->GetInfoTip(IdSpan(last), 0, tip), S_OK);
    EXPECT_FALSE(tip.isEmpty());
    // Renaming is offered only to a caller that can edit the name.
    EXPECT_FALSE(Verbs(*ItemMenu({ListOf(file)}), nullptr, cmf::EXPLORE).contains("rename"));
    // Verbs and help texts by id.
    const IContextMenuPtr menu = ItemMenu({ListOf(file)});
    MenuModel model;
    Verbs(*menu, &model);
    const MenuItem* def = model.FindDefault();
    ASSERT_TRUE(def);
    QString text;
    EXPECT_EQ(menu->GetCommandString(def->Id - 1, CommandString::VerbW, text), S_OK);
    EXPECT_EQ(text, QStringLiteral("open"));
    EXPECT_EQ(menu->GetCommandString(def->Id - 1, CommandString::HelpTextW, text), S_OK);
    EXPECT_FALSE(text.isEmpty());
}

TEST_F(LinuxMenusTest, OpenWithListsTheAssociatedApplicationsDefaultFirst)
{
    AddApp("a-editor.desktop", "Editor", "editor %F", "text/plain;");
    AddApp("b-viewer.desktop", "Viewer", "viewer %u", "text/plain;image/png;");
    AddApp("c-added.desktop", "Added", "added %f", "");
    AddApp("d-removed.desktop", "Removed", "removed %f", "text/plain;");
    AddApp("e-gone.desktop", "Gone", "gone %f", "text/plain;");
    AddApp("f-png.desktop", "Png", "png %f", "image/png;");
    // The user's own entry of the same id hides the system's.
    fHome.CreateFile(QStringLiteral(".local/share/applications/e-gone.desktop"),
                     "[Desktop Entry]\nType=Application\nName=Gone\nExec=gone\nHidden=true\n");
    fHome.CreateFile(QStringLiteral("system/xdg/test-mimeapps.list"),
                     "[Added Associations]\ntext/plain=c-added.desktop;\n"
                     "[Removed Associations]\ntext/plain=d-removed.desktop;\n");
    const QString file = fHome.CreateFile(QStringLiteral("notes.txt"));
    MenuModel model;
    Verbs(*ItemMenu({ListOf(file)}), &model);
    const auto openWith =
        std::find_if(model.Items.begin(), model.Items.end(),
                     [](const MenuItem& pItem) { return pItem.Caption == "Open wit&h"; });
    ASSERT_NE(openWith, model.Items.end());
    QStringList captions;
    for (const MenuItem& item : openWith->Children)
        captions.push_back(item.Separator ? QStringLiteral("-") : item.Caption);
    EXPECT_EQ(captions, (QStringList{"Recorder", "Added", "Editor", "Viewer", "-",
                                     QStringLiteral("&Choose Another Application…")}));
}

class LinuxMenusOpenTest
    : public LinuxMenusTest
    , public ::testing::WithParamInterface<const char*>
{
};

// A file name reaches the application as one argument, whatever it holds.
TEST_P(LinuxMenusOpenTest, OpenStartsTheDefaultApplicationWithTheFileAsOneArgument)
{
    const QString file = fHome.CreateFile(QStringLiteral("work/") + QString::fromUtf8(GetParam()));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(file)}), "open"), S_OK);
    EXPECT_EQ(RecordedArguments(), (QStringList{QStringLiteral("--flag"), file}));
    // The same through the item's own command, which runs the menu's default entry.
    TKivItemIdList::Create(file)->InvokeCommand(TShellCommand(TShellAction::saDefault));
    EXPECT_EQ(RecordedArguments(), (QStringList{QStringLiteral("--flag"), file}));
}

INSTANTIATE_TEST_SUITE_P(Names, LinuxMenusOpenTest,
                         ::testing::Values("with space.txt", "quote\"s and 'single'.txt",
                                           "$HOME and `id`.txt", "-leading dash.txt",
                                           "semi;colon & amp|pipe.txt"));

TEST_F(LinuxMenusTest, CutCopyAndPasteGoThroughTheDesktopClipboardFormats)
{
    const QString a = fHome.CreateFile(QStringLiteral("src/a.txt"), "a");
    const QString b = fHome.CreateFile(QStringLiteral("src/b.txt"), "b");
    fHome.CreateFile(QStringLiteral("src/tree/inner.txt"), "inner");
    const QString target = fHome.CreateFolder(QStringLiteral("dst"));

    EXPECT_EQ(
        Invoke(*ItemMenu({ListOf(a), ListOf(fHome.Join(QStringLiteral("src/tree")))}), "copy"),
        S_OK);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied);
    EXPECT_TRUE(copied->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("copy\n"));
    EXPECT_EQ(TClipboardFiles::ParseUriList(copied->data(QStringLiteral("text/uri-list"))),
              (QStringList{a, fHome.Join(QStringLiteral("src/tree"))}));
    const IContextMenuPtr background = BackgroundMenu(ListOf(target));
    EXPECT_EQ(Invoke(*background, "paste", cmic::ASYNCOK), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("dst/a.txt")), QByteArray("a"));
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("dst/tree/inner.txt")), QByteArray("inner"));
    EXPECT_TRUE(QFileInfo::exists(a));
    // A pipe has no content: it is reported, not waited for, and the rest is still copied.
    const QString pipe = fHome.Join(QStringLiteral("src/pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString d = fHome.CreateFile(QStringLiteral("src/d.txt"), "d");
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(pipe), ListOf(d)}), "copy"), S_OK);
    EXPECT_EQ(Invoke(*background, "paste"), HResultFromWin32(win32::ERROR_NOT_SUPPORTED));
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("dst/d.txt")), QByteArray("d"));
    EXPECT_EQ(
        Invoke(*ItemMenu({ListOf(a), ListOf(fHome.Join(QStringLiteral("src/tree")))}), "copy"),
        S_OK);
    // Pasting again into the same folder makes new names, never overwrites.
    EXPECT_EQ(Invoke(*background, "paste"), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("dst/a (2).txt")), QByteArray("a"));
    EXPECT_TRUE(QFileInfo(fHome.Join(QStringLiteral("dst/tree (2)"))).isDir());

    EXPECT_EQ(Invoke(*ItemMenu({ListOf(b)}), "cut"), S_OK);
    const QMimeData* cut = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("cut\n"));
    EXPECT_EQ(cut->data(QStringLiteral("application/x-kde-cutselection")), QByteArray("1"));
    // Pasted onto the folder's own item: moved, and the clipboard lets the files go.
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(target)}), "paste"), S_OK);
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("dst/b.txt")), QByteArray("b"));
    EXPECT_FALSE(Platform().Clipboard().HasFormat(ClipFormat::HDrop));

    // Another program's cut files arrive the same way.
    auto* mime = new QMimeData;
    const QString c = fHome.CreateFile(QStringLiteral("src/c.txt"), "c");
    mime->setData(QStringLiteral("x-special/gnome-copied-files"),
                  TClipboardFiles::BuildGnomeCopiedFiles({QStringList{c}, true}));
    QGuiApplication::clipboard()->setMimeData(mime);
    EXPECT_EQ(Invoke(*background, "paste"), S_OK);
    EXPECT_FALSE(QFileInfo::exists(c));
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("dst/c.txt")), QByteArray("c"));
}

TEST_F(LinuxMenusTest, DeleteMovesToTheTrashAndRestorePutsItBack)
{
    const QString file = fHome.CreateFile(QStringLiteral("work/doc 1%.txt"), "first");
    fHome.CreateFile(QStringLiteral("work/dir/inner.txt"), "inner");
    const QString dir = fHome.Join(QStringLiteral("work/dir"));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(file), ListOf(dir)}), "delete", cmic::ASYNCOK), S_OK);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(QFileInfo::exists(dir));
    const QString trash = fHome.Join(QStringLiteral(".local/share/Trash"));
    EXPECT_EQ(fHome.ReadFile(QStringLiteral(".local/share/Trash/files/doc 1%.txt")), "first");
    const QByteArray info =
        fHome.ReadFile(QStringLiteral(".local/share/Trash/info/doc 1%.txt.trashinfo"));
    EXPECT_TRUE(info.contains("Path=" + QFile::encodeName(fHome.Path()) + "/work/doc%201%25.txt\n"))
        << info.toStdString();

    // A second file of the same name takes another name in the trash.
    fHome.CreateFile(QStringLiteral("work/doc 1%.txt"), "second");
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(file)}), "delete"), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral(".local/share/Trash/files/doc 1%.2.txt")), "second");

    auto entryOf = [&](const char* pName) {
        IdListBytes entry;
        EXPECT_EQ(MakeTrashEntry(EncodeFileName(trash), pName, entry), S_OK);
        return idl::Combine(IdSpan(TrashList()), IdSpan(entry));
    };
    EXPECT_EQ(Invoke(*ItemMenu({entryOf("doc 1%.txt"), entryOf("dir")}), "undelete"), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/doc 1%.txt")), "first");
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/dir/inner.txt")), "inner");
    EXPECT_FALSE(QFileInfo::exists(trash + QStringLiteral("/info/dir.trashinfo")));
    // The second one cannot go back while the first is there: it stays in the trash.
    EXPECT_EQ(Invoke(*ItemMenu({entryOf("doc 1%.2.txt")}), "undelete"),
              HResultFromWin32(win32::ERROR_ALREADY_EXISTS));
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/doc 1%.txt")), "first");
    EXPECT_EQ(fHome.ReadFile(QStringLiteral(".local/share/Trash/files/doc 1%.2.txt")), "second");
    // Restoring makes the folders on the way again.
    QDir(fHome.Join(QStringLiteral("work"))).removeRecursively();
    EXPECT_EQ(Invoke(*ItemMenu({entryOf("doc 1%.2.txt")}), "undelete"), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/doc 1%.txt")), "second");

    // The user is asked first (unless the caller wants no questions) and may refuse.
    std::vector<std::pair<QStringList, bool>> asked;
    TMenuHooks hooks;
    hooks.ConfirmDelete = [&](const QStringList& pPaths, bool pForGood) {
        asked.emplace_back(pPaths, pForGood);
        return false;
    };
    SetMenuHooks(hooks);
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(file)}), "delete", cmic::SHIFT_DOWN),
              HResultFromWin32(win32::ERROR_CANCELLED));
    EXPECT_EQ(Invoke(*BackgroundMenu(TrashList()), "empty"),
              HResultFromWin32(win32::ERROR_CANCELLED));
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/doc 1%.txt")), "second");
    EXPECT_EQ(asked, (std::vector<std::pair<QStringList, bool>>{{{file}, true}, {{}, true}}));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(file)}), "delete", cmic::FLAG_NO_UI), S_OK);
    EXPECT_EQ(asked.size(), 2u);
    SetMenuHooks({});

    // With Shift a folder tree goes for good; a link in it is removed, not followed.
    const QString kept = fHome.CreateFile(QStringLiteral("kept/k.txt"), "k");
    fHome.CreateFile(QStringLiteral("gone/g.txt"), "g");
    QFile::link(fHome.Join(QStringLiteral("kept")), fHome.Join(QStringLiteral("gone/link")));
    EXPECT_EQ(
        Invoke(*ItemMenu({ListOf(fHome.Join(QStringLiteral("gone")))}), "delete", cmic::SHIFT_DOWN),
        S_OK);
    EXPECT_FALSE(QFileInfo::exists(fHome.Join(QStringLiteral("gone"))));
    EXPECT_TRUE(QFileInfo::exists(kept));

    // Emptying the trash removes every entry and its info: only where the test's trash is the
    // only one (emptying reaches every trash of the machine's local volumes).
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(fHome.CreateFile(QStringLiteral("work/x.txt")))}), "delete"),
              S_OK);
    if (TrashDirs() != std::vector<std::string>{EncodeFileName(trash)})
        GTEST_SKIP() << "this machine has trash folders of its own";
    EXPECT_EQ(Invoke(*BackgroundMenu(TrashList()), "empty", cmic::ASYNCOK), S_OK);
    EXPECT_TRUE(
        QDir(trash + QStringLiteral("/files"))
            .isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_TRUE(
        QDir(trash + QStringLiteral("/info"))
            .isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
}

// The names in an archive, sorted, and one entry's bytes, read back with libzip.
QStringList ZipNames(const QString& pZip, QByteArray* pFirstContent = nullptr,
                     const char* pEntry = nullptr)
{
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(pZip).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive)
        return {QStringLiteral("<cannot open>")};
    QStringList names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        names << QString::fromUtf8(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
    if (pFirstContent && pEntry) {
        if (zip_file_t* file = zip_fopen(archive, pEntry, 0)) {
            char buffer[256];
            const zip_int64_t got = zip_fread(file, buffer, sizeof buffer);
            *pFirstContent =
                QByteArray(buffer, static_cast<qsizetype>(std::max<zip_int64_t>(got, 0)));
            zip_fclose(file);
        }
    }
    zip_discard(archive);
    names.sort();
    return names;
}

// "Compress to ZIP" writes "name.zip" beside the first item (numbered when taken), "Extract all"
// a folder named after the archive (numbered too), and what comes out is what went in.
TEST_F(LinuxMenusTest, CompressToZipAndExtractAllRoundTrip)
{
    const QString file = fHome.CreateFile(QStringLiteral("work/report.txt"), "report");
    fHome.CreateFile(QStringLiteral("work/photos/a.jpg"), "jpeg");
    const QString folder = fHome.Join(QStringLiteral("work/photos"));
    const QStringList verbs = Verbs(*ItemMenu({ListOf(file)}));
    EXPECT_TRUE(verbs.contains("zip"));
    EXPECT_FALSE(verbs.contains("extractall"));

    EXPECT_EQ(Invoke(*ItemMenu({ListOf(file), ListOf(folder)}), "zip"), S_OK);
    const QString zip = fHome.Join(QStringLiteral("work/report.zip"));
    QByteArray content;
    EXPECT_EQ(ZipNames(zip, &content, "report.txt"),
              QStringList({"photos/", "photos/a.jpg", "report.txt"}));
    EXPECT_EQ(content, QByteArray("report"));
    // Taken: the next gets a number; a folder keeps its whole name.
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(file)}), "zip"), S_OK);
    EXPECT_EQ(ZipNames(fHome.Join(QStringLiteral("work/report (2).zip"))),
              QStringList({"report.txt"}));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(folder)}), "zip", cmic::ASYNCOK), S_OK);
    EXPECT_EQ(ZipNames(fHome.Join(QStringLiteral("work/photos.zip"))),
              QStringList({"photos/", "photos/a.jpg"}));

    EXPECT_TRUE(Verbs(*ItemMenu({ListOf(zip)})).contains("extractall"));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(zip)}), "extractall"), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/report/report.txt")), "report");
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/report/photos/a.jpg")), "jpeg");
    EXPECT_EQ(QDir(fHome.Join(QStringLiteral("work/report")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"photos", "report.txt"}));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(zip)}), "extractall", cmic::ASYNCOK), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/report (2)/report.txt")), "report");

    // An archive that cannot be read leaves no folder behind, and the failure is reported.
    const QString broken = fHome.CreateFile(QStringLiteral("work/broken.zip"), "not a zip");
    std::vector<HResult> reported;
    TMenuHooks hooks;
    hooks.ReportError = [&](const QString&, HResult pResult) { reported.push_back(pResult); };
    SetMenuHooks(hooks);
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(broken)}), "extractall", cmic::ASYNCOK), S_OK);
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_TRUE(reported.empty() || Failed(reported.front()));
    SetMenuHooks({});
    EXPECT_FALSE(QFileInfo::exists(fHome.Join(QStringLiteral("work/broken"))));
}

TEST_F(LinuxMenusTest, PinningEditsTheBookmarksAndKeepsOtherLines)
{
    const QString folder = fHome.CreateFolder(QStringLiteral("my place"));
    fHome.CreateFile(QStringLiteral(".config/gtk-3.0/bookmarks"),
                     "file:///elsewhere Label\nsftp://host/x\n");
    EXPECT_TRUE(Verbs(*ItemMenu({ListOf(folder)})).contains("pintohome"));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(folder)}), "pintohome"), S_OK);
    const QByteArray pinned =
        "file://" + QUrl::toPercentEncoding(fHome.Path(), "/") + "/my%20place";
    EXPECT_EQ(fHome.ReadFile(QStringLiteral(".config/gtk-3.0/bookmarks")),
              "file:///elsewhere Label\nsftp://host/x\n" + pinned + "\n");
    const QStringList verbs = Verbs(*ItemMenu({ListOf(folder)}));
    EXPECT_TRUE(verbs.contains("unpinfromhome"));
    EXPECT_FALSE(verbs.contains("pintohome"));
    EXPECT_EQ(Invoke(*ItemMenu({ListOf(folder)}), "unpinfromhome"), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral(".config/gtk-3.0/bookmarks")),
              "file:///elsewhere Label\nsftp://host/x\n");
}

TEST_F(LinuxMenusTest, BackgroundMakesFoldersAndFilesFromTemplates)
{
    const QString work = fHome.CreateFolder(QStringLiteral("work"));
    const IContextMenuPtr menu = BackgroundMenu(ListOf(work));
    EXPECT_EQ(Invoke(*menu, "NewFolder"), S_OK);
    EXPECT_EQ(Invoke(*menu, "NewFolder"), S_OK);
    EXPECT_TRUE(QFileInfo(work + QStringLiteral("/New Folder (2)")).isDir());
    EXPECT_EQ(Invoke(*menu, "newfile:Letter.odt"), S_OK);
    EXPECT_EQ(fHome.ReadFile(QStringLiteral("work/Letter.odt")), "template");
    // Only the templates that are there: a verb cannot name another file.
    EXPECT_EQ(Invoke(*menu, "newfile:../.config/user-dirs.dirs"),
              HResultFromWin32(win32::ERROR_FILE_NOT_FOUND));
}

} // namespace
} // namespace kiv::pf::lnx

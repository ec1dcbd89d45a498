#include "LinuxRegistry.h"

#include "LinuxNamespace.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kiv::pf::lnx {
namespace {

const QString kShellNewClasses = QStringLiteral(
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Discardable\\PostSetup\\ShellNew");

class LinuxRegistryTest : public ::testing::Test
{
protected:
    LinuxRegistryTest()
    {
        fEnv.Set("HOME", fHome.Path().toUtf8());
        fEnv.Set("XDG_CONFIG_HOME", fHome.Join(QStringLiteral(".config")).toUtf8());
    }
    void WriteSettings(const QByteArray& pText)
    {
        fHome.CreateFile(QStringLiteral(".config/tovaline/registry.ini"), pText);
    }

    test::TestDir fHome;
    test::TScopedEnvironment fEnv;
    TLinuxRegistry fRegistry;
};

TEST_F(LinuxRegistryTest, UserSettingsWinAndAreReadAgainWhenChanged)
{
    const QString advanced =
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced");
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::CurrentUser, advanced,
                                 QStringLiteral("NavPaneShowAllFolders")),
              RegValue());
    EXPECT_TRUE(fRegistry.ShellState().ShowExtensions);

    WriteSettings("[HKCU\\" + advanced.toUtf8() +
                  "]\nNavPaneShowAllFolders=dword:1\n"
                  "[HKCR\\.png]\n@=my/type\n"
                  "[ShellState]\nShowExtensions=0\nShowInfoTip=false\n");
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::CurrentUser, advanced,
                                 QStringLiteral("NavPaneShowAllFolders")),
              RegValue(std::int64_t(1)));
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::ClassesRoot, QStringLiteral(".png"), QString()),
              RegValue(QStringLiteral("my/type")));
    // Values the settings do not name still come from the MIME database.
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::ClassesRoot, QStringLiteral(".png"),
                                 QStringLiteral("PerceivedType")),
              RegValue(QStringLiteral("image")));
    const ShellStateFlags flags = fRegistry.ShellState();
    EXPECT_FALSE(flags.ShowExtensions);
    EXPECT_FALSE(flags.ShowInfoTip);
    EXPECT_TRUE(flags.DoubleClickInWebView);

    WriteSettings("[ShellState]\n");
    EXPECT_TRUE(fRegistry.ShellState().ShowExtensions);
}

TEST_F(LinuxRegistryTest, FileTypesComeFromTheMimeDatabase)
{
    struct TCase
    {
        const char* Extension;
        const char* Type;
        const char* Perceived;
    };
    for (const TCase& c :
         {TCase{".PNG", "image/png", "image"}, TCase{".json", "application/json", "text"},
          TCase{".mp3", "audio/mpeg", "audio"}, TCase{".pdf", "application/pdf", ""}}) {
        const QString key = QString::fromLatin1(c.Extension);
        EXPECT_TRUE(fRegistry.KeyExists(RegistryRoot::ClassesRoot, key)) << c.Extension;
        EXPECT_EQ(fRegistry.GetValue(RegistryRoot::ClassesRoot, key, QString()),
                  RegValue(QString::fromLatin1(c.Type)))
            << c.Extension;
        const RegValue perceived =
            fRegistry.GetValue(RegistryRoot::ClassesRoot, key, QStringLiteral("PerceivedType"));
        EXPECT_EQ(perceived, *c.Perceived ? RegValue(QString::fromLatin1(c.Perceived)) : RegValue())
            << c.Extension;
    }
    EXPECT_FALSE(fRegistry.KeyExists(RegistryRoot::ClassesRoot, QStringLiteral(".zzqqxx")));
    EXPECT_TRUE(fRegistry.KeyExists(RegistryRoot::ClassesRoot, QStringLiteral("*")));
    EXPECT_TRUE(
        fRegistry.KeyExists(RegistryRoot::ClassesRoot, QStringLiteral("AllFilesystemObjects")));
    EXPECT_FALSE(fRegistry.KeyExists(RegistryRoot::ClassesRoot,
                                     QStringLiteral("Drive\\shell\\unlock-bde\\command")));
}

TEST_F(LinuxRegistryTest, TemplatesBecomeNewFileEntries)
{
    // Without templates a new text file is still offered, as an empty file.
    EXPECT_EQ(
        fRegistry.GetValue(RegistryRoot::CurrentUser, kShellNewClasses, QStringLiteral("Classes")),
        RegValue(QStringList{QStringLiteral(".txt")}));
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::ClassesRoot, QStringLiteral(".txt\\ShellNew"),
                                 QStringLiteral("NullFile")),
              RegValue(QString()));

    const QString letter = fHome.CreateFile(QStringLiteral("Templates/Letter.odt"), "odt");
    fHome.CreateFile(QStringLiteral("Templates/Memo.odt"), "second odt");
    fHome.CreateFile(QStringLiteral("Templates/README"), "no extension");
    const QString script = fHome.CreateFile(QStringLiteral("Templates/Script.SH"), "#!/bin/sh\n");
    EXPECT_EQ(
        fRegistry.GetValue(RegistryRoot::CurrentUser, kShellNewClasses, QStringLiteral("Classes")),
        RegValue(
            QStringList{QStringLiteral(".odt"), QStringLiteral(".sh"), QStringLiteral(".txt")}));
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::ClassesRoot, QStringLiteral(".odt\\ShellNew"),
                                 QStringLiteral("FileName")),
              RegValue(letter));
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::ClassesRoot, QStringLiteral(".sh\\shellnew"),
                                 QStringLiteral("FileName")),
              RegValue(script));
    EXPECT_EQ(fRegistry.SubKeys(RegistryRoot::ClassesRoot, QStringLiteral(".odt")),
              QStringList{QStringLiteral("ShellNew")});
    EXPECT_TRUE(
        fRegistry.KeyExists(RegistryRoot::CurrentUser, QStringLiteral("Software\\Microsoft")));
}

// Previews and thumbnails per file type: the handler classes as the preview library publishes
// them (a named type wins over a perceived type), a user thumbnailer program for PDF files.
TEST_F(LinuxRegistryTest, PreviewAndThumbnailHandlersPerFileType)
{
    fHome.CreateFile(QStringLiteral(".local/share/thumbnailers/pdf.thumbnailer"),
                     "[Thumbnailer Entry]\nTryExec=/bin/true\nExec=/bin/true %i %o %s\n"
                     "MimeType=application/pdf;\n");
    const QString text = previewids::CLSID_TextPreviewer.ToString();
    const QString document = previewids::CLSID_DocumentPreviewer.ToString();
    const QString image = previewids::CLSID_ImagePreviewer.ToString();
    fRegistry.SetPreviewHandlerClasses(
        {{previewids::CLSID_DocumentPreviewer,
          QStringLiteral("Documents"),
          {QStringLiteral("image/svg+xml"), QStringLiteral("text/html"),
           QStringLiteral("application/pdf")},
          {}},
         {previewids::CLSID_ImagePreviewer,
          QStringLiteral("Pictures"),
          {QStringLiteral("image/png")},
          {}},
         {previewids::CLSID_TextPreviewer, QStringLiteral("Text"), {}, {QStringLiteral("text")}}});

    const QString preview = QStringLiteral("\\shellex\\{8895B1C6-B41F-4C1C-A562-0D564250836F}");
    const QString thumbnail = QStringLiteral("\\shellex\\{e357fccd-a995-4576-b01f-234630154e96}");
    struct TCase
    {
        const char* Extension;
        const char* Type;
        QString Previewer;
        bool Thumbnail;
    };
    const TCase cases[] = {
        {".txt", "text/plain", text, false},         {".json", "application/json", text, false},
        {".svg", "image/svg+xml", document, true},   {".HTML", "text/html", document, false},
        {".pdf", "application/pdf", document, true}, {".png", "image/png", image, true},
        {".zzqqxx", "", QString(), false},
    };
    const RegistryRoot classes = RegistryRoot::ClassesRoot;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Extension);
        const QString extension = QString::fromLatin1(c.Extension);
        const RegValue expected = c.Previewer.isEmpty() ? RegValue() : RegValue(c.Previewer);
        EXPECT_EQ(fRegistry.GetValue(classes, extension + preview, QString()), expected);
        EXPECT_EQ(fRegistry.GetValue(
                      classes, QStringLiteral("SystemFileAssociations\\") + extension + preview,
                      QString()),
                  expected);
        EXPECT_EQ(fRegistry.KeyExists(classes, extension + thumbnail), c.Thumbnail);
        if (!*c.Type)
            continue;
        // The type's default value serves as the program id, with the same handlers.
        const QString type = QString::fromLatin1(c.Type);
        EXPECT_EQ(fRegistry.GetValue(classes, extension, QString()), RegValue(type));
        EXPECT_EQ(fRegistry.GetValue(classes, type + preview, QString()), expected);
        EXPECT_EQ(fRegistry.KeyExists(classes, type + thumbnail), c.Thumbnail);
        if (c.Thumbnail) {
            EXPECT_TRUE(fRegistry.KeyExists(
                classes, QStringLiteral("CLSID\\") +
                             std::get<QString>(fRegistry.GetValue(classes, type + thumbnail, {}))));
        }
    }
    EXPECT_TRUE(
        fRegistry.SubKeys(classes, QStringLiteral(".txt")).contains(QStringLiteral("shellex")));
    EXPECT_EQ(fRegistry.GetValue(classes, QStringLiteral("SystemFileAssociations\\text") + preview,
                                 QString()),
              RegValue(text));

    for (const QString& clsid : {text, document, image})
        EXPECT_TRUE(fRegistry.KeyExists(classes, QStringLiteral("CLSID\\") + clsid.toLower()));
    EXPECT_FALSE(fRegistry.KeyExists(classes, QStringLiteral("CLSID\\") +
                                                  previewids::CLSID_SvgPreviewerOld.ToString()));
    const QString handlers =
        QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers");
    EXPECT_EQ(fRegistry.ValueNames(RegistryRoot::LocalMachine, handlers),
              (QStringList{document, image, text}));
    EXPECT_EQ(fRegistry.GetValue(RegistryRoot::LocalMachine, handlers, text),
              RegValue(QStringLiteral("Text")));

    // Without handler classes no type names a previewer.
    fRegistry.SetPreviewHandlerClasses({});
    EXPECT_EQ(fRegistry.GetValue(classes, QStringLiteral(".txt") + preview, QString()), RegValue());
    EXPECT_FALSE(fRegistry.KeyExists(classes, QStringLiteral("CLSID\\") + text));
}

// Collects the debug lines of one registry.
struct TDebugLines final : IDebug
{
    void Write(const QString& pLine) override { Lines << pLine; }
    QStringList Lines;
};

TEST_F(LinuxRegistryTest, MissingOrMalformedSettingsGiveTheDefaults)
{
    const QString advanced =
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced");
    struct TCase
    {
        const char* Name;
        QByteArray Text;
        int DebugLines;
    };
    const TCase cases[] = {
        {"missing", QByteArray(), 0},
        {"garbage", QByteArray("\x01\x02 not a settings file\n[[[\n=\n"), 1},
        {"not UTF-8", QByteArray("[ShellState]\nShowExtensions=0\n\xff\xfe\n"), 1},
        {"broken lines",
         "[ShellState\nShowExtensions=0\n[HKCU\\" + advanced.toUtf8() +
             "]\nNavPaneShowAllFolders=dword:zz\nNavPaneExpandToCurrentFolder\n",
         1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile::remove(fHome.Join(QStringLiteral(".config/tovaline/registry.ini")));
        if (!c.Text.isNull())
            WriteSettings(c.Text);
        TDebugLines debug;
        TLinuxRegistry registry(&debug);
        const ShellStateFlags flags = registry.ShellState();
        EXPECT_TRUE(flags.ShowExtensions);
        EXPECT_TRUE(flags.ShowInfoTip);
        EXPECT_TRUE(flags.DoubleClickInWebView);
        for (const char* name : {"NavPaneShowAllFolders", "NavPaneExpandToCurrentFolder"})
            EXPECT_EQ(
                registry.GetValue(RegistryRoot::CurrentUser, advanced, QString::fromLatin1(name)),
                RegValue());
        // Asked again: the same file is not reported twice.
        registry.KeyExists(RegistryRoot::CurrentUser, advanced);
        EXPECT_EQ(debug.Lines.size(), c.DebugLines) << debug.Lines.join(u'|').toStdString();
    }
}

TEST_F(LinuxRegistryTest, RecentFilesPerExtensionNewestFirst)
{
    fHome.CreateFile(QStringLiteral(".local/share/recently-used.xbel"), R"(<?xml version="1.0"?>
<xbel version="1.0">
  <bookmark href="file:///docs/old.txt" modified="2020-01-01T00:00:00Z"/>
  <bookmark href="file:///docs/photo.PNG" modified="2022-01-01T00:00:00Z"/>
  <bookmark href="file:///docs/new.txt" modified="2023-01-01T00:00:00Z"/>
  <bookmark href="https://example.invalid/page" modified="2024-01-01T00:00:00Z"/>
</xbel>)");
    const QString mru = QStringLiteral(
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSavePidlMRU");
    const QStringList subKeys = fRegistry.SubKeys(RegistryRoot::CurrentUser, mru);
    EXPECT_TRUE(subKeys.contains(QStringLiteral("*")));
    EXPECT_TRUE(subKeys.contains(QStringLiteral("txt")));
    EXPECT_TRUE(subKeys.contains(QStringLiteral("png")));
    EXPECT_EQ(fRegistry.ValueNames(RegistryRoot::CurrentUser, mru + QStringLiteral("\\*")).size(),
              3);
    const RegValue newest = fRegistry.GetValue(RegistryRoot::CurrentUser,
                                               mru + QStringLiteral("\\txt"), QStringLiteral("0"));
    IdListBytes expected;
    ASSERT_EQ(ParseAbsolutePath("/docs/new.txt", expected, true, false), S_OK);
    EXPECT_EQ(newest, RegValue(QByteArray(reinterpret_cast<const char*>(expected.data()),
                                          static_cast<qsizetype>(expected.size()))));
}

} // namespace
} // namespace kiv::pf::lnx

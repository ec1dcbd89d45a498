#include "DesktopEntry.h"

#include <gtest/gtest.h>

namespace kiv::pf::lnx {
namespace {

TEST(DesktopEntryTest, ReadsTheEntryGroupOnly)
{
    TDesktopEntry entry;
    ASSERT_TRUE(ParseDesktopEntry("# comment\n[Desktop Entry]\nType=Application\nName=Edit\\sor\n"
                                  "Exec=edit %U\nMimeType=text/plain;text/x-c\\;odd;\n"
                                  "Terminal=true\nIcon=edit\n"
                                  "[Desktop Action New]\nName=Other\nExec=other\n",
                                  entry));
    EXPECT_TRUE(entry.IsApplication);
    EXPECT_EQ(entry.Name, QStringLiteral("Edit or"));
    EXPECT_EQ(entry.Exec, QStringLiteral("edit %U"));
    EXPECT_EQ(entry.MimeTypes,
              (QStringList{QStringLiteral("text/plain"), QStringLiteral("text/x-c;odd")}));
    EXPECT_TRUE(entry.Terminal);
    EXPECT_FALSE(ParseDesktopEntry("[Other]\nName=x\n", entry));
}

struct TExecCase
{
    const char* Name;
    const char* Exec;
    QStringList Files;
    std::vector<QStringList> Expected;
};

class ExpandExecTest : public ::testing::TestWithParam<TExecCase>
{
};

// Field codes become whole argument words; nothing a file name holds is ever read as syntax.
TEST_P(ExpandExecTest, FieldCodesBecomeSeparateArguments)
{
    const TExecCase& c = GetParam();
    TDesktopEntry entry;
    entry.Name = QStringLiteral("My App");
    entry.Icon = QStringLiteral("my-icon");
    entry.FilePath = QStringLiteral("/apps/my.desktop");
    entry.Exec = QString::fromUtf8(c.Exec);
    EXPECT_EQ(ExpandExec(entry, c.Files), c.Expected) << c.Name;
}

const QString kA = QStringLiteral("/d/a b.txt");
const QString kB = QStringLiteral("/d/-x \"$HOME\" `id`;.txt");

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandExecTest,
    ::testing::Values(
        TExecCase{"one file", "app %f", {kA}, {{"app", kA}}},
        TExecCase{"one start per file",
                  "app --open %u",
                  {kA, kB},
                  {{"app", "--open", kA}, {"app", "--open", kB}}},
        TExecCase{"all files", "app %F --end", {kA, kB}, {{"app", kA, kB, "--end"}}},
        TExecCase{"no files for %U", "app %U", {}, {{"app"}}},
        TExecCase{"no file code", "app --new-window", {kA}, {{"app", "--new-window"}}},
        TExecCase{"code inside a word", "app --file=%f", {kB}, {{"app", "--file=" + kB}}},
        TExecCase{"quoted program and escapes",
                  "\"/opt/my app/run\" \"say \\\"hi\\\" \\$x\" %%d %f",
                  {kA},
                  {{"/opt/my app/run", "say \"hi\" $x", "%d", kA}}},
        TExecCase{"icon, name, desktop file, deprecated codes",
                  "app %i %c %k %d %m %f",
                  {kA},
                  {{"app", "--icon", "my-icon", "My App", "/apps/my.desktop", kA}}},
        TExecCase{"unterminated quote", "app \"%f", {kA}, {}}),
    [](const ::testing::TestParamInfo<TExecCase>& pInfo) {
        std::string name = pInfo.param.Name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

} // namespace
} // namespace kiv::pf::lnx

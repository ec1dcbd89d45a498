#include "core/platform/RegistryTree.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

const QString kAdvanced =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced");

TEST(RegistryTreeTest, SettingsTextGivesTypedValuesUnderCaseBlindKeys)
{
    TRegistryTree tree;
    QStringList other;
    int firstBad = 0;
    const int bad = tree.LoadText(
        QStringLiteral("; comment\n"
                       "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion"
                       "\\Explorer\\Advanced]\n"
                       "NavPaneShowAllFolders=dword:1\n"
                       "Hex=hex:0a,FF\n"
                       "Bad=hex:1,zz\n"
                       "List=multi:a;b\n"
                       "@=default text\n"
                       "no equals sign\n"
                       "[HKCR\\MIME\\Database\\Content Type\\image/png]\n"
                       "Extension=.png\n"
                       "[ShellState]\n"
                       "ShowExtensions=0\n"),
        [&](const QString& pSection, const QString& pName, const QString& pValue) {
            other << pSection + u':' + pName + u'=' + pValue;
        },
        &firstBad);
    // "Bad=hex:1,zz" and "no equals sign" are skipped and counted.
    EXPECT_EQ(bad, 2);
    EXPECT_EQ(firstBad, 5);

    const auto user = RegistryRoot::CurrentUser;
    EXPECT_EQ(tree.GetValue(user, kAdvanced.toUpper(), QStringLiteral("navpaneshowallfolders")),
              RegValue(std::int64_t(1)));
    EXPECT_EQ(tree.GetValue(user, kAdvanced, QStringLiteral("Hex")),
              RegValue(QByteArray("\n\xff")));
    EXPECT_EQ(tree.GetValue(user, kAdvanced, QStringLiteral("Bad")), RegValue());
    EXPECT_EQ(tree.GetValue(user, kAdvanced, QStringLiteral("List")),
              RegValue(QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(tree.GetValue(user, kAdvanced + u'\\', QString()),
              RegValue(QStringLiteral("default text")));
    EXPECT_EQ(tree.ValueNames(user, kAdvanced),
              (QStringList{QStringLiteral("NavPaneShowAllFolders"), QStringLiteral("Hex"),
                           QStringLiteral("Bad"), QStringLiteral("List")}));
    // Another root is another tree; a missing value is no value.
    EXPECT_FALSE(tree.KeyExists(RegistryRoot::LocalMachine, kAdvanced));
    EXPECT_EQ(tree.GetValue(user, kAdvanced, QStringLiteral("Missing")), RegValue());

    // Every key above a set key exists and lists its children by their own spelling; "/" is
    // part of a name, not a separator.
    EXPECT_TRUE(tree.KeyExists(user, QStringLiteral("software\\microsoft")));
    EXPECT_EQ(tree.SubKeys(user, QStringLiteral("Software")),
              QStringList{QStringLiteral("Microsoft")});
    EXPECT_EQ(
        tree.SubKeys(RegistryRoot::ClassesRoot, QStringLiteral("MIME\\Database\\Content Type")),
        QStringList{QStringLiteral("image/png")});
    EXPECT_FALSE(tree.KeyExists(RegistryRoot::ClassesRoot,
                                QStringLiteral("MIME\\Database\\Content Type\\image")));

    EXPECT_EQ(other, QStringList{QStringLiteral("ShellState:ShowExtensions=0")});
}

TEST(RegistryTreeTest, KeyNamesAndValueTexts)
{
    EXPECT_EQ(TRegistryTree::ParseKeyName(QStringLiteral("hklm\\A\\B")),
              std::make_pair(RegistryRoot::LocalMachine, QStringLiteral("A\\B")));
    EXPECT_EQ(TRegistryTree::ParseKeyName(QStringLiteral("HKEY_CLASSES_ROOT")),
              std::make_pair(RegistryRoot::ClassesRoot, QString()));
    EXPECT_FALSE(TRegistryTree::ParseKeyName(QStringLiteral("HKEY_USERS\\x")));
    EXPECT_EQ(TRegistryTree::ParseValue(QStringLiteral("dword:0x10")), RegValue(std::int64_t(16)));
    // Exported files write eight hexadecimal digits.
    EXPECT_EQ(TRegistryTree::ParseValue(QStringLiteral("dword:00000010")),
              RegValue(std::int64_t(16)));
    EXPECT_EQ(TRegistryTree::ParseValue(QStringLiteral("dword:x")), RegValue());
    EXPECT_EQ(TRegistryTree::ParseValue(QStringLiteral("plain: text")),
              RegValue(QStringLiteral("plain: text")));
    EXPECT_EQ(NormalizeRegistryKey(QStringLiteral("\\A\\\\b\\")), QStringLiteral("a\\b"));
}

} // namespace
} // namespace kiv::pf

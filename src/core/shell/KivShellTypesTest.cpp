#include "KivShellTypes.h"

#include "core/shell/KivExceptions.h"

#include <gtest/gtest.h>
#include <ostream>

static void PrintTo(const QString& pText, std::ostream* pStream)
{
    *pStream << '"' << pText.toStdString() << '"';
}

namespace kiv {
namespace {

using TDnf = TItemIdListDisplayNameFormat;

TEST(KivShellTypes, SpecialFoldersKeepTheirOrderAndNames)
{
    EXPECT_EQ(static_cast<int>(TKivShellFolder::SF_DESKTOP), 3);
    EXPECT_EQ(static_cast<int>(TKivShellFolder::SF_DRIVES), 5);
    EXPECT_EQ(static_cast<int>(TKivShellFolder::SF_QUICKLAUNCH), 55);
    EXPECT_EQ(static_cast<int>(TKivShellFolder::SF_INVALID), 57);
    EXPECT_EQ(KivShellFolderName(TKivShellFolder::SF_FILESYSTEMFOLDER),
              QStringLiteral("SF_FILESYSTEMFOLDER"));
    EXPECT_EQ(KivShellFolderName(TKivShellFolder::SF_LIBRARY_PUBLIC),
              QStringLiteral("SF_LIBRARY_PUBLIC"));
    EXPECT_EQ(KivShellFolderName(TKivShellFolder::SF_INVALID), QStringLiteral("SF_INVALID"));
    EXPECT_EQ(KivShellFolderName(static_cast<TKivShellFolder>(58)), QStringLiteral("58"));
}

TEST(KivShellTypes, NameFormatsMapToThePlatformForms)
{
    EXPECT_EQ(DisplayNameSigdn(TDnf::dnfNormal), 0u);
    EXPECT_EQ(DisplayNameSigdn(TDnf::dnfInFolder), 0x80080001u);
    EXPECT_EQ(DisplayNameSigdn(TDnf::dnfPath), 0x8004C000u);
    EXPECT_EQ(DisplayNameSigdn(TDnf::dnfPhysicalPath), 0x80058000u);
    EXPECT_EQ(DisplayNameSigdn(TDnf::dnfRelativeForAddressBar), 0x8007C001u);
    EXPECT_EQ(DisplayNameSigdn(TDnf::dnfRelativeParsing), 0x80018001u);
    EXPECT_EQ(DisplayNameSigdn(TDnf::dnfAbsoluteParsing), 0x80028000u);
    EXPECT_FALSE(DisplayNameSigdn(TDnf::dnfForExplorer));
    EXPECT_FALSE(DisplayNameSigdn(TDnf::dnfPreferPhysical));
    EXPECT_EQ(DisplayNameShgdn(TDnf::dnfRelativeParsing), SHGDN_INFOLDER | SHGDN_FORPARSING);
    EXPECT_EQ(DisplayNameShgdn(TDnf::dnfInFolder), SHGDN_INFOLDER);
    EXPECT_FALSE(DisplayNameShgdn(TDnf::dnfForExplorer));
    EXPECT_EQ(ShellCompareHint(TItemIdListComparison::ilcDisplay), 0u);
    EXPECT_EQ(ShellCompareHint(TItemIdListComparison::ilcExact), 0x10000000u);
}

TEST(KivShellTypes, VerbsAndActionsMapBothWays)
{
    EXPECT_EQ(ShellActionVerb(TShellAction::saDefault), QStringLiteral("DEFAULT"));
    EXPECT_EQ(ShellActionVerb(TShellAction::saCopyPath), QStringLiteral("copypath"));
    EXPECT_EQ(ShellActionVerb(TShellAction::saDeleteNoUndo), QStringLiteral("DELETE"));
    EXPECT_EQ(ShellActionVerb(TShellAction::saOpenCommandPrompt), QStringLiteral("cmd"));
    EXPECT_EQ(ShellActionVerb(TShellAction::saGoUp), QStringLiteral("GOUP"));
    // Every action but saUnknown names a verb that leads back to it (DELETE to saDelete).
    for (int i = 0; i < static_cast<int>(TShellAction::saUnknown); ++i) {
        const auto action = static_cast<TShellAction>(i);
        const TShellAction back = ShellActionFromVerb(ShellActionVerb(action));
        EXPECT_EQ(back, action == TShellAction::saDeleteNoUndo ? TShellAction::saDelete : action);
    }
    EXPECT_EQ(ShellActionFromVerb(QStringLiteral("open")), TShellAction::saOpen);
    EXPECT_EQ(ShellActionFromVerb(QStringLiteral("Windows.ModernShare")), TShellAction::saUnknown);
    try {
        ShellActionVerb(TShellAction::saUnknown);
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidOperation& error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("It is not possible to deliver a string verb for saUnknown."));
    }
}

TEST(KivShellTypes, MenuCaptionsWithOrWithoutHotKeys)
{
    EXPECT_EQ(ShellActionCaption(TShellAction::saDefault), QStringLiteral("&Open / Execute"));
    EXPECT_EQ(ShellActionCaption(TShellAction::saCut), QStringLiteral("Cu&t"));
    EXPECT_EQ(ShellActionCaption(TShellAction::saDeleteNoUndo), QStringLiteral("&Delete"));
    EXPECT_EQ(ShellActionCaption(TShellAction::saCreateNewFolder), QStringLiteral("New Folder"));
    EXPECT_EQ(ShellActionCaption(TShellAction::saOpenWith, true), QStringLiteral("Open with..."));
    EXPECT_EQ(ShellActionCaption(TShellAction::saPinToHome, true),
              QStringLiteral("Pin to Quick Access"));
    try {
        ShellActionCaption(TShellAction::saUnknown);
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidOperation& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("No string for TShellAction 17"));
    }
}

// Restores the process-wide default options a test changes.
class ShellCommandTest : public ::testing::Test
{
protected:
    void TearDown() override { SetDefaultOperationOptions(fSaved); }

private:
    TOperationOptions fSaved = DefaultOperationOptions();
};

TEST_F(ShellCommandTest, CommandForAnActionTakesVerbAndDefaultOptions)
{
    EXPECT_EQ(DefaultOperationOptions(), (TOperationOptions{TOperationOption::soAllowUndo,
                                                            TOperationOption::soNoConfirmMkDir}));
    SetDefaultOperationOptions({TOperationOption::soAllowUndo, TOperationOption::soSilent});

    const TShellCommand copy(TShellAction::saCopy, QStringLiteral("/dest"));
    EXPECT_EQ(copy.Command(), TShellAction::saCopy);
    EXPECT_EQ(copy.Verb(), QStringLiteral("COPY"));
    EXPECT_EQ(copy.Destination, QStringLiteral("/dest"));
    EXPECT_EQ(copy.OperationOptions,
              (TOperationOptions{TOperationOption::soAllowUndo, TOperationOption::soSilent}));

    const TShellCommand wipe(TShellAction::saDeleteNoUndo);
    EXPECT_EQ(wipe.Verb(), QStringLiteral("DELETE"));
    EXPECT_EQ(wipe.OperationOptions, TOperationOptions{TOperationOption::soSilent});
}

TEST_F(ShellCommandTest, CommandForAVerbLooksUpItsAction)
{
    const TShellCommand paste(QStringLiteral("paste"));
    EXPECT_EQ(paste.Command(), TShellAction::saPaste);
    EXPECT_EQ(paste.Verb(), QStringLiteral("paste"));

    const TShellCommand share(QStringLiteral("Windows.ModernShare"));
    EXPECT_EQ(share.Command(), TShellAction::saUnknown);
    EXPECT_EQ(share.Verb(), QStringLiteral("Windows.ModernShare"));

    // A command whose verb was cleared reads its action's verb again.
    TShellCommand open(QStringLiteral("OPEN"));
    open.SetVerb({});
    EXPECT_EQ(open.Verb(), QStringLiteral("OPEN"));
    TShellCommand unknown(TShellAction::saUnknown);
    EXPECT_THROW(unknown.Verb(), EInvalidOperation);

    const TShellCommand empty;
    EXPECT_EQ(empty.Command(), TShellAction::saDefault);
    EXPECT_EQ(empty.Verb(), QStringLiteral("DEFAULT"));
    EXPECT_TRUE(empty.OperationOptions.IsEmpty());
}

TEST(KivShellTypes, ColumnIdsCompareByKey)
{
    const QUuid format = QUuid::fromString(u"{B725F130-47EF-101A-A5F1-02608C9EEBAC}");
    const TShellColumnId size{{format, 12}};
    EXPECT_EQ(size, (TShellColumnId{{format, 12}}));
    EXPECT_FALSE(size == (TShellColumnId{{format, 14}}));
    EXPECT_FALSE(TShellPropertyValue{}.FPropertyVariant.isValid());
}

} // namespace
} // namespace kiv

#include "core/shell/ShellAutoComplete.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/IPlatform.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/KivItemIdList_p.h"
#include "platform/linux/LinuxPlatform.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

namespace kiv {
namespace {

using namespace std::chrono_literals;

class ShellAutoCompleteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.IsValid());
        fEnv.Set("HOME", fDir.Path().toUtf8());
        fPlatform = std::make_unique<pf::TScopedPlatform>(pf::lnx::CreateLinuxPlatform());
        TSpecialFolders::Reset();
        fDir.CreateFile(QStringLiteral("b/Report.txt"));
        fDir.CreateFile(QStringLiteral("b/alpha.txt"));
        fDir.CreateFile(QStringLiteral("b/.hidden"));
        fDir.CreateFolder(QStringLiteral("b/Docs"));
    }
    void TearDown() override { TSpecialFolders::Reset(); }

    test::TestDir fDir;
    test::TScopedEnvironment fEnv;
    std::unique_ptr<pf::TScopedPlatform> fPlatform;
};

TEST_F(ShellAutoCompleteTest, ListsTheTypedFolderOnAWorker)
{
    const QString b = fDir.Join(QStringLiteral("b/"));
    TShellAutoCompleteModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    int filled = 0;
    model.OnFilled = [&](TShellAutoCompleteModel&) { ++filled; };

    model.SetText(b + QStringLiteral("Re"));
    ASSERT_TRUE(pf::Ui().WaitFor([&] { return filled == 1; }, 10s));
    EXPECT_EQ(model.stringList(),
              (QStringList{b + QStringLiteral("alpha.txt"), b + QStringLiteral("Docs"),
                           b + QStringLiteral("Report.txt")}));
    // More letters in the same folder: no new listing.
    model.SetText(b + QStringLiteral("Rep"));
    EXPECT_EQ(model.rowCount(), 3);

    TShellAutoCompleteModel folders(
        TKivShellAutoCompleteOptions{TKivShellAutoCompleteOption::acoFolderOnly});
    bool done = false;
    folders.OnFilled = [&](TShellAutoCompleteModel&) { done = true; };
    folders.SetText(b);
    ASSERT_TRUE(pf::Ui().WaitFor([&] { return done; }, 10s));
    EXPECT_EQ(folders.stringList(), QStringList{b + QStringLiteral("Docs")});

    // Text without a folder, or a folder that is not there: nothing to offer.
    model.SetText(QStringLiteral("Doc"));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(
        TShellAutoCompleteModel::ListFolder(fDir.Join(QStringLiteral("none/")), false).isEmpty());
}

} // namespace
} // namespace kiv

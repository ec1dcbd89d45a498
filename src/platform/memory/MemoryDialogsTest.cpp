#include "platform/memory/MemoryDialogs.h"

#include "platform/memory/MemoryPlatform.h"

#include <gtest/gtest.h>

namespace kiv::pf::mem {
namespace {

TEST(MemoryDialogsTest, ScriptedAnswersInOrderThenCancel)
{
    TMemoryPlatform platform;
    IDialogs& dialogs = *platform.Dialogs();
    TMemoryDialogs& fake = platform.MemoryDialogs();
    fake.PushMessageAnswer(TMsgButton::Yes);
    fake.PushInputAnswer(QStringLiteral("typed"));
    fake.PushConnectAnswer(0, QStringLiteral("/mnt/share"));
    fake.PushConnectAnswer(1326);

    EXPECT_EQ(dialogs.MessageBox(nullptr, QStringLiteral("T"), QStringLiteral("a\r\nb"),
                                 TMsgIcon::Question, TMsgButtons::YesCancel),
              TMsgButton::Yes);
    EXPECT_EQ(dialogs.MessageBox(nullptr, QStringLiteral("T"), QStringLiteral("again"),
                                 TMsgIcon::Question, TMsgButtons::YesCancel),
              TMsgButton::Cancel);
    EXPECT_EQ(dialogs.MessageBox(nullptr, {}, {}, TMsgIcon::None, TMsgButtons::Ok), TMsgButton::Ok);

    QString value = QStringLiteral("preset");
    EXPECT_TRUE(dialogs.InputQuery(nullptr, QStringLiteral("T"), QStringLiteral("P"), value));
    EXPECT_EQ(value, QStringLiteral("typed"));
    EXPECT_FALSE(dialogs.InputQuery(nullptr, QStringLiteral("T"), QStringLiteral("P"), value));
    EXPECT_EQ(value, QStringLiteral("typed"));

    TConnectDialogArgs args;
    args.RemoteName = QStringLiteral(R"(\\server\share)");
    args.DevNum = 7;
    EXPECT_EQ(dialogs.ConnectDialog(args), 0u);
    EXPECT_EQ(args.DevNum, 0u);
    EXPECT_EQ(args.MountPath, QStringLiteral("/mnt/share"));
    EXPECT_EQ(dialogs.ConnectDialog(args), 1326u);
    EXPECT_EQ(dialogs.ConnectDialog(args), kDialogCancelled);

    bool closed = false;
    EXPECT_EQ(dialogs.DisconnectDialog(nullptr, [&] { closed = true; }), kDialogCancelled);
    EXPECT_TRUE(closed);

    const auto shown = fake.Shown();
    ASSERT_EQ(shown.size(), 9u);
    EXPECT_EQ(shown[0].Text, QStringLiteral("a\nb"));
    EXPECT_EQ(shown[0].Icon, TMsgIcon::Question);
    EXPECT_EQ(shown[3].Kind, QStringLiteral("input"));
    EXPECT_EQ(shown[3].Value, QStringLiteral("preset"));
    EXPECT_EQ(shown[5].Value, QStringLiteral(R"(\\server\share)"));
}

TEST(MemoryDialogsTest, FileDialogVetoWaitsForTheNextChoice)
{
    TMemoryDialogs dialogs;
    dialogs.PushFileAnswer({QStringLiteral("/a")});
    dialogs.PushFileAnswer({QStringLiteral("/b"), QStringLiteral("/c")});
    QStringList seen;
    TFileDialogEvents events;
    events.OnSelectionChange = [&](const QString& pCurrent) { seen.append(pCurrent); };
    events.OnFileOk = [](const QStringList& pChosen, bool& pCanClose) {
        pCanClose = pChosen.first() != QStringLiteral("/a");
    };
    TFileDialogArgs args;
    EXPECT_EQ(dialogs.FileOpenDialog(args, events), S_OK);
    EXPECT_EQ(args.Chosen, (QStringList{QStringLiteral("/b"), QStringLiteral("/c")}));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("/a"), QStringLiteral("/b")}));
    EXPECT_EQ(dialogs.FileOpenDialog(args, events), HResultFromWin32(1223));
}

TEST(MemoryNetworkTest, MountsAreRecordedAndListed)
{
    TMemoryNetwork network;
    network.SetReachable(QStringLiteral("/mnt/dead"), 53);
    EXPECT_EQ(network.AddTemporaryConnection(QStringLiteral("/mnt/dead"), {}), 53u);
    EXPECT_EQ(network.AddTemporaryConnection(QStringLiteral("/mnt/live"), {}), 0u);

    QString path;
    QString message;
    EXPECT_EQ(network.Mount(QStringLiteral(R"(\\server\docs)"),
                            {QStringLiteral("u"), {}, QStringLiteral("pw")}, {}, path, message),
              0u);
    EXPECT_EQ(path, QStringLiteral("/mnt/docs"));
    ASSERT_EQ(network.NetworkMounts().size(), 1u);
    EXPECT_EQ(network.NetworkMounts()[0].Remote, QStringLiteral("smb://server/docs"));
    EXPECT_EQ(network.MountCalls().at(0).Credentials.Password, QStringLiteral("pw"));

    network.SetMountResult(1326, QStringLiteral("denied"));
    EXPECT_EQ(network.Mount(QStringLiteral("smb://x/y"), {}, {}, path, message), 1326u);
    EXPECT_EQ(message, QStringLiteral("denied"));

    EXPECT_EQ(network.Unmount(network.NetworkMounts()[0], message), 0u);
    EXPECT_TRUE(network.NetworkMounts().empty());
    EXPECT_EQ(network.Unmounted(), QStringList{QStringLiteral("/mnt/docs")});
}

} // namespace
} // namespace kiv::pf::mem

#include "platform/linux/LinuxNetwork.h"

#include "TestDir.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace kiv::pf::lnx {
namespace {

using namespace std::chrono_literals;
using test::TestDir;

// Stands in for gio and fusermount3: records its arguments and what it read on its input, asks
// for credentials as gio does (asking again after a wrong password), prints the local path.
constexpr const char* kFakeGio = R"(#!/bin/sh
dir=$(dirname "$0")
printf '%s\n' "$@" >> "$dir/args"
if [ "$1" = info ]; then
    echo "uri: $2"
    echo "local path: /run/user/1/gvfs/smb-share:server=server,share=share"
    exit 0
fi
if [ "$1" = -u ] || { [ "$1" = mount ] && [ "$2" = -u ]; }; then exit 0; fi
if [ -f "$dir/hang" ]; then sleep 30; fi
echo "Authentication Required"
printf 'User [me]: '; read -r user
printf 'Domain [WORKGROUP]: '; read -r domain
printf 'Password: '; read -r password
printf '%s\n%s\n%s\n' "$user" "$domain" "$password" > "$dir/stdin"
[ "$password" = secret ] && exit 0
printf 'Password: '
if read -r again; then echo "$again" >> "$dir/stdin"; fi
echo "gio: $2: Failed to mount Windows share: Permission denied" >&2
exit 2
)";

class LinuxNetworkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fOldPath = qEnvironmentVariable("PATH");
        // Only the fake tools and the shell utilities the script uses.
        qputenv("PATH", (fBin.Path() + QStringLiteral(":/usr/bin:/bin")).toUtf8());
        for (const char* name : {"gio", "fusermount3"}) {
            QFile script(fBin.CreateFile(QString::fromLatin1(name), kFakeGio));
            script.setPermissions(script.permissions() | QFile::ExeOwner);
        }
        fOptions.SettingsFile = fConfig.Join(QStringLiteral("network.ini"));
    }
    void TearDown() override { qputenv("PATH", fOldPath.toUtf8()); }

    QStringList Recorded(const char* pFile) const
    {
        return QString::fromUtf8(fBin.ReadFile(QString::fromLatin1(pFile)))
            .split(u'\n', Qt::SkipEmptyParts);
    }

    TestDir fBin;
    TestDir fConfig;
    QString fOldPath;
    TLinuxNetworkOptions fOptions;
};

TEST_F(LinuxNetworkTest, MountAnswersPromptsOnInputNeverOnTheCommandLine)
{
    TLinuxNetwork network(fOptions);
    QString path;
    QString message;
    std::uint32_t result = 1;
    // On a plain thread without an event loop, as the connection dialog's worker runs it.
    std::thread([&] {
        result = network.Mount(
            QStringLiteral(R"(\\server\share)"),
            {QStringLiteral("alice"), QStringLiteral("WORK"), QStringLiteral("secret")}, {}, path,
            message);
    }).join();
    EXPECT_EQ(result, 0u) << message.toStdString();
    EXPECT_EQ(path, QStringLiteral("/run/user/1/gvfs/smb-share:server=server,share=share"));
    EXPECT_EQ(Recorded("stdin"), (QStringList{QStringLiteral("alice"), QStringLiteral("WORK"),
                                              QStringLiteral("secret")}));
    // The second run asked for the local path; neither saw the password.
    EXPECT_EQ(Recorded("args"),
              (QStringList{QStringLiteral("mount"), QStringLiteral("smb://server/share"),
                           QStringLiteral("info"), QStringLiteral("smb://server/share")}));
}

TEST_F(LinuxNetworkTest, RefusedPasswordIsALogonFailureNotAnEndlessPrompt)
{
    TLinuxNetwork network(fOptions);
    QString path;
    QString message;
    EXPECT_EQ(network.Mount(QStringLiteral("smb://server/share"),
                            {QStringLiteral("alice"), {}, QStringLiteral("wrong")}, {}, path,
                            message),
              1326u);
    EXPECT_EQ(Recorded("args"),
              (QStringList{QStringLiteral("mount"), QStringLiteral("smb://server/share")}));
    // Asked twice, answered once: the input was closed instead.
    EXPECT_EQ(fBin.ReadFile(QStringLiteral("stdin")), QByteArray("alice\n\nwrong\n"));
    EXPECT_TRUE(path.isEmpty());
    EXPECT_TRUE(message.contains(QLatin1String("Permission denied"))) << message.toStdString();
}

TEST_F(LinuxNetworkTest, MissingGioIsAClearErrorAtOnce)
{
    fOptions.Gio = fBin.Join(QStringLiteral("no-such-gio"));
    TLinuxNetwork network(fOptions);
    QString path;
    QString message;
    EXPECT_EQ(network.Mount(QStringLiteral("smb://server/share"), {}, {}, path, message), 2u);
    EXPECT_TRUE(message.contains(QLatin1String("was not found"))) << message.toStdString();
    QString unmountMessage;
    EXPECT_EQ(
        network.Unmount({QStringLiteral("/mnt/x"), {}, QStringLiteral("gvfs")}, unmountMessage),
        2u);
}

TEST_F(LinuxNetworkTest, HangingMountTimesOutOrIsCancelled)
{
    fBin.CreateFile(QStringLiteral("hang"));
    fOptions.MountTimeout = 300ms;
    TLinuxNetwork network(fOptions);
    QString path;
    QString message;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(network.Mount(QStringLiteral("smb://server/share"), {}, {}, path, message), 1460u);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(
        network.Mount(QStringLiteral("smb://server/share"), {}, stop.get_token(), path, message),
        1223u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(LinuxNetworkTest, UnmountUsesTheToolOfTheMountAndForgetsReconnecting)
{
    TLinuxNetwork network(fOptions);
    network.RememberRemote(QStringLiteral("sftp://host"), true);
    network.RememberRemote(QStringLiteral("smb://server/share"), true);
    QString message;
    EXPECT_EQ(network.Unmount({QStringLiteral("/home/u/mnt"), QStringLiteral("sftp://host"),
                               QStringLiteral("fuse.sshfs")},
                              message),
              0u);
    EXPECT_EQ(Recorded("args"), (QStringList{QStringLiteral("-u"), QStringLiteral("/home/u/mnt")}));
    EXPECT_EQ(network.ReconnectRemotes(), QStringList{QStringLiteral("smb://server/share")});
    EXPECT_EQ(network.Unmount({QStringLiteral("/run/user/1/gvfs/x"), {}, QStringLiteral("gvfs")},
                              message),
              0u);
    EXPECT_EQ(Recorded("args"), (QStringList{QStringLiteral("-u"), QStringLiteral("/home/u/mnt"),
                                             QStringLiteral("mount"), QStringLiteral("-u"),
                                             QStringLiteral("/run/user/1/gvfs/x")}));
}

TEST_F(LinuxNetworkTest, RecentRemotesNewestFirstWithoutRepeats)
{
    TLinuxNetwork network(fOptions);
    for (int i = 0; i < 12; ++i)
        network.RememberRemote(QStringLiteral("smb://s/%1").arg(i), false);
    network.RememberRemote(QStringLiteral("smb://s/5"), false);
    const QStringList recent = network.RecentRemotes();
    ASSERT_EQ(recent.size(), 10);
    EXPECT_EQ(recent.first(), QStringLiteral("smb://s/5"));
    EXPECT_EQ(recent.count(QStringLiteral("smb://s/5")), 1);
    EXPECT_EQ(recent.last(), QStringLiteral("smb://s/2"));
    EXPECT_TRUE(network.ReconnectRemotes().isEmpty());
}

// A probe that blocks like statvfs on a dead mount until the test lets it go.
struct TBlockingProbe
{
    std::mutex Lock;
    std::condition_variable Released;
    bool Open = false; // guarded by Lock
    std::atomic<int> Calls{0};
    int Answer = 0;

    int operator()(const std::string&)
    {
        ++Calls;
        std::unique_lock lock(Lock);
        Released.wait(lock, [this] { return Open; });
        return Answer;
    }
    void Release()
    {
        const std::lock_guard lock(Lock);
        Open = true;
        Released.notify_all();
    }
};

TEST_F(LinuxNetworkTest, DeadMountAnswersUnreachableWithinTheTimeout)
{
    auto probe = std::make_shared<TBlockingProbe>();
    fOptions.Probe = [probe](const std::string& pPath) { return (*probe)(pPath); };
    TLinuxNetwork network(fOptions);
    const QString share = fConfig.Path();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(network.AddTemporaryConnection(share, 100ms), 53u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    // Still stuck: asked again, it answers at once without another stuck thread.
    EXPECT_EQ(network.AddTemporaryConnection(share, 5s), 53u);
    EXPECT_EQ(probe->Calls, 1);

    probe->Release();
    // Once the stuck query came back the mount is asked again.
    const auto until = std::chrono::steady_clock::now() + 5s;
    std::uint32_t result = 53;
    while (result != 0 && std::chrono::steady_clock::now() < until)
        result = network.AddTemporaryConnection(share, 1s);
    EXPECT_EQ(result, 0u);
}

TEST_F(LinuxNetworkTest, ReachabilityReportsTheSystemError)
{
    fOptions.Probe = [](const std::string&) { return EACCES; };
    TLinuxNetwork network(fOptions);
    EXPECT_EQ(network.AddTemporaryConnection(fConfig.Path(), 1s), 5u);
    EXPECT_EQ(network.AddTemporaryConnection(QStringLiteral("smb://server/share"), 1s), 53u);
    // The real query on a real folder.
    EXPECT_EQ(TLinuxNetwork().AddTemporaryConnection(fConfig.Path(), 5s), 0u);
}

TEST(GvfsNameTest, FolderNamesBecomeUris)
{
    const struct
    {
        const char* Name;
        const char* Uri;
    } cases[] = {
        {"smb-share:server=host,share=docs", "smb://host/docs"},
        {"smb-share:domain=WORK,server=host,share=my%20docs,user=bob", "smb://bob@host/my%20docs"},
        {"sftp:host=example.org,user=u", "sftp://u@example.org"},
        {"sftp:host=example.org,port=2222", "sftp://example.org:2222"},
        {"dav:host=h,prefix=%2Fremote", "dav://h/remote"},
        {"nonsense", ""},
        {"smb-share:share=x", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GvfsNameToUri(QString::fromUtf8(c.Name)), QString::fromUtf8(c.Uri)) << c.Name;
}

} // namespace
} // namespace kiv::pf::lnx

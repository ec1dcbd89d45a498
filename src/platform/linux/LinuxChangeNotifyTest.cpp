#include "LinuxChangeNotify.h"

#include "LinuxInfo.h"
#include "LinuxItems.h"
#include "LinuxNamespace.h"
#include "LinuxPlaces_p.h"
#include "MountTable.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/IDebug.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/UiDispatcher.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

using namespace std::chrono_literals;

struct TEvent
{
    std::uint32_t Code = 0;
    QString Path1;
    QString Path2;
};

QString PathOf(const IdListBytes& pList)
{
    std::string path;
    if (pList.empty() || !PathOfIdList(IdSpan(pList), path))
        return {};
    return DecodeFileName(path);
}

// Records what it receives (on the user-interface thread).
class TRecorder final : public IChangeSink
{
public:
    void OnShellNotification(std::uint32_t pMessage, std::uint32_t pEvent, const IdListBytes& p1,
                             const IdListBytes& p2) override
    {
        EXPECT_EQ(pMessage, 2011u);
        Events.push_back({pEvent, PathOf(p1), PathOf(p2)});
    }
    // Runs deliveries until an event with pCode came (or 5 s passed).
    bool WaitFor(std::uint32_t pCode, std::chrono::milliseconds pTimeout = 5s)
    {
        return Ui().WaitFor([&] { return Find(pCode) != nullptr; }, pTimeout);
    }
    const TEvent* Find(std::uint32_t pCode) const
    {
        for (const TEvent& event : Events)
            if (event.Code == pCode)
                return &event;
        return nullptr;
    }
    std::vector<TEvent> Events;
};

class TDebugLines final : public IDebug
{
public:
    void Write(const QString& pLine) override
    {
        const std::scoped_lock lock(fLock);
        fLines.push_back(pLine);
    }
    std::size_t Count() const
    {
        const std::scoped_lock lock(fLock);
        return fLines.size();
    }

private:
    mutable std::mutex fLock;
    std::vector<QString> fLines; // guarded by fLock
};

IdListBytes ListOf(const QString& pPath)
{
    IdListBytes list;
    EXPECT_EQ(ParseAbsolutePath(EncodeFileName(pPath), list, true), S_OK) << pPath.toStdString();
    return list;
}

constexpr std::uint32_t kSources =
    shcnrf::InterruptLevel | shcnrf::ShellLevel | shcnrf::NewDelivery;

class LinuxChangeNotifyTest : public ::testing::Test
{
protected:
    void Make(const TChangeNotifyOptions& pOptions = {})
    {
        fNotify = std::make_unique<TLinuxChangeNotify>(fNamespace, fDebug, pOptions);
    }
    std::uint32_t Watch(const QString& pPath, bool pRecursive = false,
                        const std::shared_ptr<TRecorder>& pSink = nullptr)
    {
        const std::uint32_t id = fNotify->Register(
            pSink ? pSink : fSink, kSources | (pRecursive ? shcnrf::RecursiveInterrupt : 0),
            shcne::ALLEVENTS, 2011, {{ListOf(pPath), pRecursive}});
        EXPECT_NE(id, 0u);
        EXPECT_TRUE(fNotify->WaitUntilIdle());
        return id;
    }

    test::TestDir fDir;
    TLinuxNamespace fNamespace;
    TDebugLines fDebug;
    std::shared_ptr<TRecorder> fSink = std::make_shared<TRecorder>();
    std::unique_ptr<TLinuxChangeNotify> fNotify;
};

// ---- what happens in a watched folder, and what it is reported as ----

struct TFileCase
{
    const char* Name;
    std::function<void(test::TestDir&)> Prepare;
    std::function<void(test::TestDir&)> Act;
    std::uint32_t Code;
    const char* Item1;
    const char* Item2;
};

void Rename(test::TestDir& pDir, const QString& pFrom, const QString& pTo)
{
    ASSERT_EQ(::rename(QFile::encodeName(pDir.Join(pFrom)).constData(),
                       QFile::encodeName(pDir.Join(pTo)).constData()),
              0);
}

const TFileCase kFileCases[] = {
    {"CreateFile", nullptr, [](test::TestDir& d) { d.CreateFile("w/new.txt"); }, shcne::CREATE,
     "w/new.txt", ""},
    {"CreateFolder", nullptr, [](test::TestDir& d) { d.CreateFolder("w/sub"); }, shcne::MKDIR,
     "w/sub", ""},
    {"DeleteFile", [](test::TestDir& d) { d.CreateFile("w/old.txt"); },
     [](test::TestDir& d) { QFile::remove(d.Join("w/old.txt")); }, shcne::DELETE, "w/old.txt", ""},
    {"DeleteFolder", [](test::TestDir& d) { d.CreateFolder("w/gone"); },
     [](test::TestDir& d) { QDir().rmdir(d.Join("w/gone")); }, shcne::RMDIR, "w/gone", ""},
    {"RenameFile", [](test::TestDir& d) { d.CreateFile("w/a.txt"); },
     [](test::TestDir& d) { Rename(d, "w/a.txt", "w/b.txt"); }, shcne::RENAMEITEM, "w/a.txt",
     "w/b.txt"},
    {"RenameFolder", [](test::TestDir& d) { d.CreateFolder("w/f1"); },
     [](test::TestDir& d) { Rename(d, "w/f1", "w/f2"); }, shcne::RENAMEFOLDER, "w/f1", "w/f2"},
    {"MoveOut", [](test::TestDir& d) { d.CreateFile("w/out.txt"); },
     [](test::TestDir& d) { Rename(d, "w/out.txt", "elsewhere.txt"); }, shcne::DELETE, "w/out.txt",
     ""},
    {"MoveIn", [](test::TestDir& d) { d.CreateFile("outside.txt"); },
     [](test::TestDir& d) { Rename(d, "outside.txt", "w/in.txt"); }, shcne::CREATE, "w/in.txt", ""},
    {"Write", [](test::TestDir& d) { d.CreateFile("w/data.txt", "one"); },
     [](test::TestDir& d) {
         QFile file(d.Join("w/data.txt"));
         ASSERT_TRUE(file.open(QIODevice::Append));
         file.write("two");
     },
     shcne::UPDATEITEM, "w/data.txt", ""},
    {"Attributes", [](test::TestDir& d) { d.CreateFile("w/mode.txt"); },
     [](test::TestDir& d) {
         ASSERT_EQ(::chmod(QFile::encodeName(d.Join("w/mode.txt")).constData(), 0600), 0);
     },
     shcne::ATTRIBUTES, "w/mode.txt", ""},
};

class LinuxChangeNotifyFileTest
    : public LinuxChangeNotifyTest
    , public ::testing::WithParamInterface<TFileCase>
{
};

TEST_P(LinuxChangeNotifyFileTest, ReportsTheChangeWithItsItems)
{
    const TFileCase& c = GetParam();
    fDir.CreateFolder("w");
    if (c.Prepare)
        c.Prepare(fDir);
    Make();
    Watch(fDir.Join("w"));
    c.Act(fDir);
    ASSERT_TRUE(fSink->WaitFor(c.Code)) << c.Name;
    const TEvent* event = fSink->Find(c.Code);
    EXPECT_EQ(event->Path1, fDir.Join(c.Item1));
    EXPECT_EQ(event->Path2, *c.Item2 ? fDir.Join(c.Item2) : QString());
    // A rename is one event, never also a deletion and a creation.
    if (c.Code == shcne::RENAMEITEM || c.Code == shcne::RENAMEFOLDER) {
        Ui().WaitFor([] { return false; }, 100ms);
        EXPECT_FALSE(fSink->Find(shcne::DELETE) || fSink->Find(shcne::RMDIR));
        EXPECT_FALSE(fSink->Find(shcne::CREATE) || fSink->Find(shcne::MKDIR));
    }
}

INSTANTIATE_TEST_SUITE_P(Inotify, LinuxChangeNotifyFileTest, ::testing::ValuesIn(kFileCases),
                         [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(LinuxChangeNotifyTest, DeregisteredRegistrationsHearNothingMore)
{
    fDir.CreateFolder("w");
    Make();
    const std::uint32_t id = Watch(fDir.Join("w"));
    EXPECT_EQ(fNotify->WatchCount(), 1);
    EXPECT_TRUE(fNotify->Deregister(id));
    EXPECT_FALSE(fNotify->Deregister(id));
    fDir.CreateFile("w/late.txt");
    ASSERT_TRUE(fNotify->WaitUntilIdle());
    Ui().WaitFor([] { return false; }, 100ms);
    EXPECT_TRUE(fSink->Events.empty());
    EXPECT_EQ(fNotify->WatchCount(), 0);
}

// Recursive registrations watch sub-folders a few levels deep, also those made later, and a
// registration on a virtual folder such as This PC builds no watch tree at all.
TEST_F(LinuxChangeNotifyTest, RecursiveWatchesStopAtTheirCaps)
{
    fDir.CreateFolder("r/a/b/c");
    fDir.CreateFolder("r/x");
    TChangeNotifyOptions options;
    options.MaxDepth = 2;
    Make(options);
    Watch(fDir.Join("r"), true);
    EXPECT_EQ(fNotify->WatchCount(), 4); // r, r/a, r/x, r/a/b: not r/a/b/c
    fDir.CreateFile("r/a/b/deep.txt");
    ASSERT_TRUE(fSink->WaitFor(shcne::CREATE));
    EXPECT_EQ(fSink->Find(shcne::CREATE)->Path1, fDir.Join("r/a/b/deep.txt"));

    // A folder made later is watched as it appears.
    fDir.CreateFolder("r/y");
    ASSERT_TRUE(fSink->WaitFor(shcne::MKDIR));
    ASSERT_TRUE(fNotify->WaitUntilIdle());
    fSink->Events.clear();
    fDir.CreateFile("r/y/later.txt");
    ASSERT_TRUE(fSink->WaitFor(shcne::CREATE));
    EXPECT_EQ(fSink->Find(shcne::CREATE)->Path1, fDir.Join("r/y/later.txt"));

    // What a new folder held before its watch was set up is reported too.
    fNotify->PauseReading(true);
    fDir.CreateFile("r/z/inner/early.txt");
    fNotify->PauseReading(false);
    ASSERT_TRUE(Ui().WaitFor(
        [&] {
            return std::any_of(fSink->Events.begin(), fSink->Events.end(), [&](const TEvent& e) {
                return e.Code == shcne::CREATE && e.Path1 == fDir.Join("r/z/inner/early.txt");
            });
        },
        5s));
    ASSERT_TRUE(fNotify->WaitUntilIdle());
    EXPECT_EQ(fNotify->WatchCount(), 7); // r/z and r/z/inner joined

    const std::uint32_t thisPc = fNotify->Register(fSink, kSources | shcnrf::RecursiveInterrupt,
                                                   shcne::ALLEVENTS, 2011, {{ThisPcList(), true}});
    ASSERT_TRUE(fNotify->WaitUntilIdle());
    EXPECT_NE(thisPc, 0u);
    EXPECT_EQ(fNotify->WatchCount(), 7);

    TChangeNotifyOptions capped;
    capped.MaxWatchesPerRegistration = 2;
    Make(capped);
    Watch(fDir.Join("r"), true);
    EXPECT_EQ(fNotify->WatchCount(), 2);
    EXPECT_EQ(fDebug.Count(), 0u); // a cap is no shortage of watches
}

// Out of watches: reported once, and the folders that could not be watched are listed again
// periodically so that a new file still shows.
TEST_F(LinuxChangeNotifyTest, ExhaustedWatchesFallBackToRescanning)
{
    fDir.CreateFolder("one");
    fDir.CreateFolder("two");
    fDir.CreateFolder("three");
    TChangeNotifyOptions options;
    options.WatchBudget = 1;
    options.RescanInterval = 50ms;
    Make(options);
    Watch(fDir.Join("one"));
    const std::uint32_t two = Watch(fDir.Join("two"));
    const std::uint32_t three = Watch(fDir.Join("three"));
    EXPECT_EQ(fNotify->WatchCount(), 1);
    EXPECT_EQ(fNotify->RescanCount(two), 1);
    EXPECT_EQ(fNotify->RescanCount(three), 1);
    EXPECT_EQ(fDebug.Count(), 1u);

    fDir.CreateFile("two/new.txt");
    ASSERT_TRUE(fSink->WaitFor(shcne::CREATE));
    EXPECT_EQ(fSink->Find(shcne::CREATE)->Path1, fDir.Join("two/new.txt"));
    QFile::remove(fDir.Join("two/new.txt"));
    ASSERT_TRUE(fSink->WaitFor(shcne::DELETE));
}

// The kernel's queue overflows while nobody reads it: every watched folder is to be looked at
// again.
TEST_F(LinuxChangeNotifyTest, OverflowUpdatesEveryWatchedFolder)
{
    std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
    int limit = 0;
    limitFile >> limit;
    if (limit <= 0 || limit > 100000)
        GTEST_SKIP() << "queue limit " << limit;
    fDir.CreateFolder("busy");
    fDir.CreateFolder("calm");
    Make();
    Watch(fDir.Join("busy"));
    Watch(fDir.Join("calm"));
    fNotify->PauseReading(true);
    const QByteArray busy = QFile::encodeName(fDir.Join("busy"));
    for (int i = 0; i <= limit; ++i) {
        const QByteArray name = busy + "/f" + QByteArray::number(i);
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    fNotify->PauseReading(false);
    ASSERT_TRUE(Ui().WaitFor(
        [&] {
            int updates = 0;
            for (const TEvent& event : fSink->Events)
                updates += event.Code == shcne::UPDATEDIR;
            return updates == 2;
        },
        60s));
    std::set<QString> folders;
    for (const TEvent& event : fSink->Events)
        if (event.Code == shcne::UPDATEDIR)
            folders.insert(event.Path1);
    EXPECT_EQ(folders, (std::set<QString>{fDir.Join("busy"), fDir.Join("calm")}));
}

// Our own changes reach the registrations they concern at once, through the shell level.
TEST_F(LinuxChangeNotifyTest, ShellLevelEventsReachTheRegistrationsTheyConcern)
{
    fDir.CreateFolder("flat/sub");
    fDir.CreateFolder("deep/sub");
    fDir.CreateFolder("other");
    Make();
    auto flat = std::make_shared<TRecorder>();
    auto deep = std::make_shared<TRecorder>();
    auto other = std::make_shared<TRecorder>();
    Watch(fDir.Join("flat"), false, flat);
    Watch(fDir.Join("deep"), true, deep);
    Watch(fDir.Join("other"), false, other);

    for (const char* folder : {"flat", "deep"}) {
        const IdListBytes child = ListOf(fDir.Join(QString(folder) + "/sub"));
        const IdListBytes grandChild = ListOf(fDir.Join(QString(folder) + "/sub") + "/x.txt");
        IdSpan span(child);
        IdSpan deeper(grandChild);
        fNotify->Notify(shcne::UPDATEDIR, shcnf::IDLIST | shcnf::FLUSH, &span, nullptr);
        fNotify->Notify(shcne::CREATE, shcnf::IDLIST, &deeper, nullptr);
    }
    ASSERT_TRUE(Ui().WaitFor([&] { return deep->Events.size() == 2; }, 5s));
    Ui().WaitFor([] { return false; }, 50ms);
    ASSERT_EQ(flat->Events.size(), 1u); // the grand-child is below its reach
    EXPECT_EQ(flat->Events[0].Path1, fDir.Join("flat/sub"));
    EXPECT_TRUE(other->Events.empty());

    // A sink that is gone receives nothing, and nobody else does either.
    deep.reset();
    const IdListBytes child = ListOf(fDir.Join("deep/sub"));
    IdSpan span(child);
    fNotify->Notify(shcne::UPDATEDIR, shcnf::IDLIST, &span, nullptr);
    Ui().WaitFor([] { return false; }, 50ms);
    EXPECT_EQ(flat->Events.size(), 1u);
}

// Entries put into the trash or taken out of it change the Trash folder.
TEST_F(LinuxChangeNotifyTest, TrashChangesUpdateTheTrashFolder)
{
    test::TScopedEnvironment environment;
    environment.Set("XDG_DATA_HOME", QFile::encodeName(fDir.Join("data")));
    fDir.CreateFolder("data/Trash/files");
    fDir.CreateFolder("data/Trash/info");
    Make();
    const IdListBytes trash = idl::FromItem(MakeClassItem(clsid::Trash, kOrderTrash));
    ASSERT_NE(fNotify->Register(fSink, kSources, shcne::ALLEVENTS, 2011, {{trash, false}}), 0u);
    ASSERT_TRUE(fNotify->WaitUntilIdle());
    fDir.CreateFile("data/Trash/files/gone.txt");
    ASSERT_TRUE(fSink->WaitFor(shcne::UPDATEDIR));
    std::vector<std::uint32_t> codes;
    for (const TEvent& event : fSink->Events)
        codes.push_back(event.Code);
    EXPECT_EQ(codes, std::vector<std::uint32_t>{shcne::UPDATEDIR});
    fNotify.reset(); // its thread reads the environment
}

// Mounts that come and go are drives (or media) added and removed under This PC.
TEST_F(LinuxChangeNotifyTest, MountChangesBecomeDriveAndMediaEvents)
{
    std::ifstream system("/proc/self/mountinfo");
    std::stringstream text;
    text << system.rdbuf();
    struct TOverride
    {
        ~TOverride() { OverrideMountTableForTesting(std::nullopt); }
    } restore;
    TChangeNotifyOptions options;
    options.MountPollInterval = 10ms;
    Make(options);
    const std::uint32_t id =
        fNotify->Register(fSink, kSources, shcne::ALLEVENTS, 2011, {{ThisPcList(), false}});
    ASSERT_NE(id, 0u);
    OverrideMountTableForTesting(text.str() + "901 1 8:17 / /media/u/STICK rw - vfat /dev/sdz1 rw\n"
                                              "902 1 8:33 / /mnt/data rw - ext4 /dev/sdy1 rw\n");
    ASSERT_TRUE(fSink->WaitFor(shcne::MEDIAINSERTED));
    ASSERT_TRUE(fSink->WaitFor(shcne::DRIVEADD));
    EXPECT_EQ(fSink->Find(shcne::MEDIAINSERTED)->Path1, "/media/u/STICK");
    EXPECT_EQ(fSink->Find(shcne::DRIVEADD)->Path1, "/mnt/data");
    OverrideMountTableForTesting(text.str());
    ASSERT_TRUE(fSink->WaitFor(shcne::MEDIAREMOVED));
    ASSERT_TRUE(fSink->WaitFor(shcne::DRIVEREMOVED));
}

} // namespace
} // namespace kiv::pf::lnx

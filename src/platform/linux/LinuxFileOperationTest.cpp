#include "LinuxFileOperation.h"

#include "Errno.h"
#include "LinuxArchive.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/platform/ShFileOperation.h"
#include "core/platform/ShellConstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kiv::pf::lnx {
namespace {

using test::TestDir;

std::string Bytes(const QString& pPath)
{
    return EncodeFileName(pPath);
}

void SetTimes(const QString& pPath, std::int64_t pSeconds, long pNanoseconds)
{
    const struct timespec times[2] = {{pSeconds, pNanoseconds}, {pSeconds, pNanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Bytes(pPath).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

struct stat Status(const QString& pPath)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(Bytes(pPath).c_str(), &st), 0) << pPath.toStdString();
    return st;
}

bool Exists(const QString& pPath)
{
    struct stat st
    {
    };
    return ::lstat(Bytes(pPath).c_str(), &st) == 0;
}

// Names in a folder, hidden temporary files included.
QStringList Entries(const QString& pFolder)
{
    return QDir(pFolder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Writes what the engine tells its sinks, and on which thread.
class TRecordingSink final : public IFileOperationProgressSink
{
public:
    HResult StartOperations() override { return Add("Start"); }
    HResult FinishOperations(HResult pResult) override
    {
        Finished = pResult;
        return Add("Finish");
    }
    HResult PreCopyItem(std::uint32_t, const QString& pItem, const QString&,
                        const QString&) override
    {
        return Add("PreCopy " + QFileInfo(pItem).fileName());
    }
    HResult PostCopyItem(std::uint32_t, const QString& pItem, const QString&, const QString&,
                         HResult pResult, const QString&) override
    {
        Results.push_back(pResult);
        return Add("PostCopy " + QFileInfo(pItem).fileName());
    }
    HResult PreMoveItem(std::uint32_t, const QString& pItem, const QString&,
                        const QString&) override
    {
        return Add("PreMove " + QFileInfo(pItem).fileName());
    }
    HResult PostMoveItem(std::uint32_t, const QString& pItem, const QString&, const QString&,
                         HResult pResult, const QString&) override
    {
        Results.push_back(pResult);
        return Add("PostMove " + QFileInfo(pItem).fileName());
    }
    HResult PostDeleteItem(std::uint32_t, const QString&, HResult pResult,
                           const QString& pNewItem) override
    {
        Results.push_back(pResult);
        NewItems.push_back(pNewItem);
        return Failed(pResult) && StopOnFailedDelete ? pResult : S_OK;
    }
    HResult PostRenameItem(std::uint32_t, const QString&, const QString&, HResult pResult,
                           const QString& pNewItem) override
    {
        Results.push_back(pResult);
        NewItems.push_back(pNewItem);
        return S_OK;
    }
    HResult PostNewItem(std::uint32_t, const QString&, const QString&, const QString&,
                        std::uint32_t, HResult pResult, const QString& pNewItem) override
    {
        Results.push_back(pResult);
        NewItems.push_back(pNewItem);
        return S_OK;
    }
    HResult UpdateProgress(std::uint32_t pTotal, std::uint32_t pDone) override
    {
        EXPECT_LE(pDone, pTotal);
        Total = pTotal;
        Done = pDone;
        return S_OK;
    }

    QStringList Calls;
    std::vector<HResult> Results;
    QStringList NewItems;
    HResult Finished = E_UNEXPECTED;
    std::uint32_t Total = 0;
    std::uint32_t Done = 0;
    std::thread::id Thread;
    bool StopOnFailedDelete = false;

private:
    HResult Add(const QString& pCall)
    {
        Thread = std::this_thread::get_id();
        Calls << pCall;
        return S_OK;
    }
};

// Answers the engine's questions from a script and counts them.
class TScriptedUi final : public IFileOperationUi
{
public:
    TConflictAnswer AskConflict(const TFileConflict& pConflict) override
    {
        Conflicts.push_back(pConflict);
        return Conflict;
    }
    TErrorAction AskError(const TFileOpError& pError) override
    {
        ErrorsAsked.push_back(pError);
        if (OnError)
            return OnError(pError);
        return TErrorAction::eaSkip;
    }
    bool ConfirmDelete(int pCount, bool) override
    {
        DeleteCount = pCount;
        DeleteAskedDuringRun = Running != nullptr;
        return ConfirmDeletes;
    }
    bool ConfirmPermanentDelete(const QString& pItem) override
    {
        PermanentAsked << pItem;
        return DeletePermanently;
    }
    void ShowProgress(const TFileOpProgress& pProgress) override { Progress.push_back(pProgress); }
    std::shared_ptr<IFileOperationUi> ForRun(const TFileOpRunInfo& pRun) override
    {
        Runs.push_back(pRun);
        return nullptr;
    }
    void RunStarted(IFileOperation& pOperation) override { Running = &pOperation; }
    void RunEnded(IFileOperation& pOperation) override
    {
        EXPECT_EQ(Running, &pOperation);
        Running = nullptr;
        ++RunsEnded;
    }

    TConflictAnswer Conflict;
    std::function<TErrorAction(const TFileOpError&)> OnError;
    bool ConfirmDeletes = true;
    int DeleteCount = 0;
    // Set between RunStarted and RunEnded.
    IFileOperation* Running = nullptr;
    bool DeleteAskedDuringRun = false;
    int RunsEnded = 0;
    std::vector<TFileConflict> Conflicts;
    std::vector<TFileOpError> ErrorsAsked;
    bool DeletePermanently = false;
    QStringList PermanentAsked;
    // Read once the run has ended (the worker that wrote them has been joined).
    std::vector<TFileOpProgress> Progress;
    std::vector<TFileOpRunInfo> Runs;
};

// Cancels its run at the first report of work done and not finished.
class TCancelAtFirstProgress final : public IFileOperationProgressSink
{
public:
    explicit TCancelAtFirstProgress(const IFileOperationPtr& pOperation)
        : fOperation(pOperation)
    {
    }
    HResult UpdateProgress(std::uint32_t pTotal, std::uint32_t pDone) override
    {
        if (pDone > 0 && pDone < pTotal) {
            if (const IFileOperationPtr operation = fOperation.lock())
                operation->Cancel();
        }
        return S_OK;
    }

private:
    const std::weak_ptr<IFileOperation> fOperation;
};

// Bytes deflate cannot shrink much, so an archive of them is written in many chunks.
QByteArray NoiseBytes(int pSize, unsigned pSeed)
{
    std::mt19937 random(pSeed);
    QByteArray bytes(pSize, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

class LinuxFileOperationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.IsValid());
        fEnvironment.Set("XDG_DATA_HOME", fDir.CreateFolder("data").toUtf8());
        fSource = fDir.CreateFolder("src");
        fTarget = fDir.CreateFolder("dst");
    }

    IFileOperationPtr Make(std::uint32_t pFlags, std::shared_ptr<TScriptedUi> pUi = {})
    {
        IFileOperationPtr op = CreateLinuxFileOperation(fFaults, pUi);
        op->SetOperationFlags(pFlags);
        if (pUi)
            op->SetOwnerWindow(this);
        std::uint32_t cookie = 0;
        op->Advise(fSink, cookie);
        return op;
    }

    TestDir fDir;
    test::TScopedEnvironment fEnvironment;
    QString fSource;
    QString fTarget;
    std::shared_ptr<TRecordingSink> fSink = std::make_shared<TRecordingSink>();
    std::shared_ptr<TFileOpFaults> fFaults = std::make_shared<TFileOpFaults>();
};

TEST_F(LinuxFileOperationTest, CopyKeepsContentPermissionsTimesAndLinksOnAWorker)
{
    const QString file = fDir.CreateFile("src/tree/a.txt", "alpha");
    fDir.CreateFile("src/tree/sub/b.bin", QByteArray(100000, 'b'));
    fDir.CreateFolder("src/tree/empty");
    ASSERT_EQ(::chmod(Bytes(file).c_str(), 0640), 0);
    // Permissions the creation mask would cut down, which a copy must still keep whole.
    const QString shared = fDir.CreateFile("src/tree/shared.txt", "shared");
    ASSERT_EQ(::chmod(Bytes(shared).c_str(), 0666), 0);
    ASSERT_EQ(::symlink("sub/b.bin", Bytes(fDir.Join("src/tree/link")).c_str()), 0);
    SetTimes(file, 1000000000, 123456789);
    SetTimes(fDir.Join("src/tree/sub"), 1100000000, 0);

    const IFileOperationPtr op = Make(0);
    ASSERT_EQ(op->CopyItem(fDir.Join("src/tree"), fTarget), S_OK);
    EXPECT_EQ(op->PerformOperations(), S_OK);

    EXPECT_EQ(fDir.ReadFile("dst/tree/a.txt"), "alpha");
    EXPECT_EQ(fDir.ReadFile("dst/tree/sub/b.bin"), QByteArray(100000, 'b'));
    EXPECT_TRUE(QDir(fDir.Join("dst/tree/empty")).exists());
    const struct stat copied = Status(fDir.Join("dst/tree/a.txt"));
    EXPECT_EQ(copied.st_mode & 07777, 0640u);
    EXPECT_EQ(Status(fDir.Join("dst/tree/shared.txt")).st_mode & 07777, 0666u);
    EXPECT_EQ(copied.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(Status(fDir.Join("dst/tree/sub")).st_mtim.tv_sec, 1100000000);
    EXPECT_TRUE(S_ISLNK(Status(fDir.Join("dst/tree/link")).st_mode));
    EXPECT_EQ(QFile::symLinkTarget(fDir.Join("dst/tree/link")), fDir.Join("dst/tree/sub/b.bin"));

    bool aborted = true;
    op->GetAnyOperationsAborted(aborted);
    EXPECT_FALSE(aborted);
    EXPECT_NE(fSink->Thread, std::this_thread::get_id());
    ASSERT_FALSE(fSink->Calls.isEmpty());
    EXPECT_EQ(fSink->Calls.front(), "Start");
    EXPECT_EQ(fSink->Calls.back(), "Finish");
    EXPECT_LT(fSink->Calls.indexOf("PreCopy tree"), fSink->Calls.indexOf("PreCopy a.txt"));
    EXPECT_LT(fSink->Calls.indexOf("PreCopy a.txt"), fSink->Calls.indexOf("PostCopy a.txt"));
    EXPECT_LT(fSink->Calls.indexOf("PostCopy a.txt"), fSink->Calls.indexOf("PostCopy tree"));
    EXPECT_GT(fSink->Total, 0u);
    EXPECT_EQ(fSink->Done, fSink->Total);
    EXPECT_EQ(fSink->Finished, S_OK);
}

// What happens to an existing target: flags first, then the user's answer, else a failure.
struct TConflictCase
{
    const char* Name;
    std::uint32_t Flags;
    bool WithUi;
    TConflictAction Answer;
    // Source written after the target (for the keep-newer rule).
    bool SourceNewer;
    const char* Expected;
    bool KeptBoth;
    HResult Result;
};

class LinuxFileOperationConflictTest
    : public LinuxFileOperationTest
    , public ::testing::WithParamInterface<TConflictCase>
{
};

TEST_P(LinuxFileOperationConflictTest, DecidesAsTold)
{
    const TConflictCase& c = GetParam();
    const QString source = fDir.CreateFile("src/a.txt", "new");
    const QString target = fDir.CreateFile("dst/a.txt", "old");
    SetTimes(source, c.SourceNewer ? 2000000000 : 1000000000, 0);
    SetTimes(target, 1500000000, 0);
    auto ui = c.WithUi ? std::make_shared<TScriptedUi>() : nullptr;
    if (ui)
        ui->Conflict = {c.Answer, false};

    const IFileOperationPtr op = Make(c.Flags, ui);
    op->CopyItem(source, fTarget);
    EXPECT_EQ(op->PerformOperations(), c.Result);
    EXPECT_EQ(fDir.ReadFile("dst/a.txt"), c.Expected);
    EXPECT_EQ(Exists(fDir.Join("dst/a (2).txt")), c.KeptBoth);
    if (c.KeptBoth) {
        EXPECT_EQ(fDir.ReadFile("dst/a (2).txt"), "new");
    }
    EXPECT_EQ(Entries(fTarget).size(), c.KeptBoth ? 2 : 1);
    if (ui) {
        EXPECT_EQ(ui->Conflicts.size(), (c.Flags == 0) ? 1u : 0u);
    }
    // A cancel is the user's decision, not an error.
    if (Failed(c.Result) && c.Result != HResultFromWin32(win32::ERROR_CANCELLED)) {
        ASSERT_EQ(op->Errors().size(), 1u);
        EXPECT_EQ(op->Errors()[0].Path, target);
        EXPECT_FALSE(op->Errors()[0].Text.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinuxFileOperationConflictTest,
    ::testing::Values(
        TConflictCase{"NobodyToAsk",
                      0,
                      false,
                      {},
                      true,
                      "old",
                      false,
                      HResultFromWin32(win32::ERROR_FILE_EXISTS)},
        TConflictCase{
            "NoConfirmation", fof::FOF_NOCONFIRMATION, false, {}, false, "new", false, S_OK},
        TConflictCase{"RenameOnCollision",
                      fof::FOF_RENAMEONCOLLISION | fof::FOF_NOCONFIRMATION,
                      false,
                      {},
                      true,
                      "old",
                      true,
                      S_OK},
        TConflictCase{
            "KeepNewerKeepsTarget", fof::FOFX_KEEPNEWERFILE, true, {}, false, "old", false, S_OK},
        TConflictCase{
            "KeepNewerTakesSource", fof::FOFX_KEEPNEWERFILE, true, {}, true, "new", false, S_OK},
        TConflictCase{"UserReplaces", 0, true, TConflictAction::caReplace, false, "new", false,
                      S_OK},
        TConflictCase{"UserSkips", 0, true, TConflictAction::caSkip, true, "old", false, S_OK},
        TConflictCase{"UserKeepsBoth", 0, true, TConflictAction::caKeepBoth, true, "old", true,
                      S_OK},
        TConflictCase{"UserCancels", 0, true, TConflictAction::caCancel, true, "old", false,
                      HResultFromWin32(win32::ERROR_CANCELLED)}),
    [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(LinuxFileOperationTest, FoldersMergeAndApplyToAllAsksOnce)
{
    fDir.CreateFile("src/f/one.txt", "1 new");
    fDir.CreateFile("src/f/two.txt", "2 new");
    fDir.CreateFile("src/f/three.txt", "3");
    fDir.CreateFile("dst/f/one.txt", "1 old");
    fDir.CreateFile("dst/f/two.txt", "2 old");
    fDir.CreateFile("dst/f/mine.txt", "kept");
    auto ui = std::make_shared<TScriptedUi>();
    ui->Conflict = {TConflictAction::caReplace, true};

    const IFileOperationPtr op = Make(0, ui);
    op->CopyItem(fDir.Join("src/f"), fTarget);
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_EQ(ui->Conflicts.size(), 1u);
    EXPECT_EQ(fDir.ReadFile("dst/f/one.txt"), "1 new");
    EXPECT_EQ(fDir.ReadFile("dst/f/two.txt"), "2 new");
    EXPECT_EQ(fDir.ReadFile("dst/f/three.txt"), "3");
    EXPECT_EQ(fDir.ReadFile("dst/f/mine.txt"), "kept");
    EXPECT_EQ(Entries(fDir.Join("dst/f")).size(), 4);
}

// Failures played at the system's level: nothing torn or half-written under a real name, the
// other files done, and the failure with its path in the sink and the error list.
struct TFaultCase
{
    const char* Name;
    int Error;
    bool AtSource;
    std::uint64_t After;
    // The failing file replaces an existing one.
    bool Replace;
    HResult Result;
};

class LinuxFileOperationFaultTest
    : public LinuxFileOperationTest
    , public ::testing::WithParamInterface<TFaultCase>
{
};

TEST_P(LinuxFileOperationFaultTest, LeavesNoTornFile)
{
    const TFaultCase& c = GetParam();
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        fDir.CreateFile(QStringLiteral("src/") + name, QByteArray(64 * 1024, name[0]));
    if (c.Replace)
        fDir.CreateFile("dst/b.bin", "the old b");
    fFaults->ChunkSize = 4096;
    fFaults->BeforeChunk = [&c](const std::string& pSource, const std::string&,
                                std::uint64_t pDone) {
        if (pSource.ends_with("/b.bin") && pDone >= c.After)
            return TInjectedFault{c.Error, c.AtSource};
        return TInjectedFault{};
    };
    const IFileOperationPtr op = Make(fof::FOF_NOCONFIRMATION);
    op->CopyItems({fDir.Join("src/a.bin"), fDir.Join("src/b.bin"), fDir.Join("src/c.bin")},
                  fTarget);
    EXPECT_EQ(op->PerformOperations(), c.Result);

    EXPECT_EQ(fDir.ReadFile("dst/a.bin"), QByteArray(64 * 1024, 'a'));
    EXPECT_EQ(fDir.ReadFile("dst/c.bin"), QByteArray(64 * 1024, 'c'));
    if (c.Replace)
        EXPECT_EQ(fDir.ReadFile("dst/b.bin"), "the old b");
    else
        EXPECT_FALSE(Exists(fDir.Join("dst/b.bin")));
    const QStringList expected =
        c.Replace ? QStringList{"a.bin", "b.bin", "c.bin"} : QStringList{"a.bin", "c.bin"};
    EXPECT_EQ(Entries(fTarget), expected) << "no temporary file may be left";
    ASSERT_EQ(op->Errors().size(), 1u);
    EXPECT_EQ(op->Errors()[0].Result, c.Result);
    EXPECT_EQ(op->Errors()[0].Path, fDir.Join(c.AtSource ? "src/b.bin" : "dst/b.bin"));
    ASSERT_EQ(fSink->Results.size(), 3u);
    EXPECT_EQ(fSink->Results[1], c.Result);
    EXPECT_EQ(fSink->Done, fSink->Total);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinuxFileOperationFaultTest,
                         ::testing::Values(TFaultCase{"DiskFull", ENOSPC, false, 8192, false,
                                                      HResultFromWin32(win32::ERROR_DISK_FULL)},
                                           TFaultCase{"DiskFullWhileReplacing", ENOSPC, false, 8192,
                                                      true,
                                                      HResultFromWin32(win32::ERROR_DISK_FULL)},
                                           TFaultCase{"AccessDenied", EACCES, true, 0, false,
                                                      HResultFromWin32(win32::ERROR_ACCESS_DENIED)},
                                           TFaultCase{"MediumGone", EIO, true, 16384, true,
                                                      HResultFromWin32(win32::ERROR_NOT_READY)}),
                         [](const auto& pInfo) { return std::string(pInfo.param.Name); });

TEST_F(LinuxFileOperationTest, CancelMidFileLeavesTheOldFileAndReportsAnAbortedRun)
{
    fDir.CreateFile("src/big.bin", QByteArray(256 * 1024, 'n'));
    fDir.CreateFile("dst/big.bin", "old");
    fFaults->ChunkSize = 4096;
    IFileOperationPtr op;
    fFaults->BeforeChunk = [&op](const std::string&, const std::string&, std::uint64_t pDone) {
        if (pDone == 64 * 1024)
            op->Cancel();
        return TInjectedFault{};
    };
    op = Make(fof::FOF_NOCONFIRMATION);
    op->CopyItem(fDir.Join("src/big.bin"), fTarget);
    EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_CANCELLED));
    bool aborted = false;
    op->GetAnyOperationsAborted(aborted);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(fDir.ReadFile("dst/big.bin"), "old");
    EXPECT_EQ(Entries(fTarget), QStringList{"big.bin"});
    EXPECT_LT(fSink->Done, fSink->Total);
    EXPECT_EQ(fSink->Finished, HResultFromWin32(win32::ERROR_CANCELLED));

    // A new file cancelled half-way leaves nothing under its name, whether it was built unnamed
    // (large) or under its name (small).
    for (const int kilobytes : {96, 256}) {
        fDir.CreateFile("src/new.bin", QByteArray(kilobytes * 1024, 'w'));
        op = Make(fof::FOF_NOCONFIRMATION);
        op->CopyItem(fDir.Join("src/new.bin"), fTarget);
        EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_CANCELLED));
        EXPECT_EQ(Entries(fTarget), QStringList{"big.bin"}) << kilobytes;
    }
}

TEST_F(LinuxFileOperationTest, PausedRunCopiesNothingUntilResumedAndCancelEndsThePause)
{
    fDir.CreateFile("src/a.bin", QByteArray(64 * 1024, 'a'));
    fDir.CreateFile("src/b.bin", QByteArray(64 * 1024, 'b'));
    fFaults->ChunkSize = 4096;
    std::atomic<int> chunks{0};
    std::atomic<bool> paused{false};
    IFileOperationPtr op;
    fFaults->BeforeChunk = [&](const std::string& pSource, const std::string&,
                               std::uint64_t pDone) {
        ++chunks;
        if (pSource.ends_with("a.bin") && pDone == 16384) {
            op->SetPaused(true);
            paused = true;
        }
        return TInjectedFault{};
    };
    op = Make(0);
    op->CopyItems({fDir.Join("src/a.bin"), fDir.Join("src/b.bin")}, fTarget);
    std::thread resumer([&] {
        while (!paused)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const int before = chunks.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(chunks.load(), before) << "a paused run goes on copying";
        op->SetPaused(false);
    });
    EXPECT_EQ(op->PerformOperations(), S_OK);
    resumer.join();
    EXPECT_EQ(fDir.ReadFile("dst/b.bin"), QByteArray(64 * 1024, 'b'));

    // Paused, then cancelled: the run ends without resuming.
    paused = false;
    op = Make(fof::FOF_NOCONFIRMATION);
    op->CopyItem(fDir.Join("src/a.bin"), fTarget);
    std::thread canceller([&] {
        while (!paused)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        op->Cancel();
    });
    EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_CANCELLED));
    canceller.join();
    EXPECT_EQ(fDir.ReadFile("dst/a.bin"), QByteArray(64 * 1024, 'a'));
}

TEST_F(LinuxFileOperationTest, RetryAfterAnErrorCopiesTheFile)
{
    fDir.CreateFile("src/a.txt", QByteArray(10000, 'a'));
    std::atomic<bool> full{true};
    fFaults->BeforeChunk = [&full](const std::string&, const std::string&, std::uint64_t) {
        return TInjectedFault{full.load() ? ENOSPC : 0, false};
    };
    auto ui = std::make_shared<TScriptedUi>();
    ui->OnError = [&full](const TFileOpError& pError) {
        EXPECT_EQ(pError.Result, HResultFromWin32(win32::ERROR_DISK_FULL));
        full = false;
        return TErrorAction::eaRetry;
    };
    const IFileOperationPtr op = Make(0, ui);
    op->CopyItem(fDir.Join("src/a.txt"), fTarget);
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_EQ(ui->ErrorsAsked.size(), 1u);
    EXPECT_EQ(fDir.ReadFile("dst/a.txt"), QByteArray(10000, 'a'));
    EXPECT_TRUE(op->Errors().empty());
}

TEST_F(LinuxFileOperationTest, MoveWithinOneFileSystemRenames)
{
    const QString file = fDir.CreateFile("src/m/a.txt", "a");
    const ino_t inode = Status(file).st_ino;
    fDir.CreateFile("dst/m/b.txt", "b");
    const IFileOperationPtr op = Make(0);
    op->MoveItem(fDir.Join("src/m"), fTarget);
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_EQ(Status(fDir.Join("dst/m/a.txt")).st_ino, inode);
    EXPECT_EQ(fDir.ReadFile("dst/m/b.txt"), "b");
    EXPECT_FALSE(Exists(fDir.Join("src/m")));
}

// A second file system for moves that must copy: the shared memory one, when the temporary
// folder is elsewhere.
class LinuxFileOperationCrossTest : public LinuxFileOperationTest
{
protected:
    void SetUp() override
    {
        LinuxFileOperationTest::SetUp();
        char name[] = "/dev/shm/tovaline-test-XXXXXX";
        if (::mkdtemp(name) == nullptr)
            GTEST_SKIP() << "no /dev/shm";
        fOther = QString::fromLocal8Bit(name);
        if (Status(fOther).st_dev == Status(fSource).st_dev)
            GTEST_SKIP() << "one file system only";
    }
    void TearDown() override
    {
        if (!fOther.isEmpty())
            QDir(fOther).removeRecursively();
    }

    QString fOther;
};

TEST_F(LinuxFileOperationCrossTest, MoveAcrossFileSystemsCopiesVerifiesThenDeletes)
{
    const QString file = fDir.CreateFile("src/m/a.txt", "alpha");
    fDir.CreateFile("src/m/sub/b.txt", QByteArray(50000, 'b'));
    SetTimes(file, 1200000000, 5);
    const IFileOperationPtr op = Make(0);
    op->MoveItem(fDir.Join("src/m"), fOther);
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_FALSE(Exists(fDir.Join("src/m")));
    QFile moved(fOther + "/m/sub/b.txt");
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_EQ(moved.readAll(), QByteArray(50000, 'b'));
    EXPECT_EQ(Status(fOther + "/m/a.txt").st_mtim.tv_sec, 1200000000);
    EXPECT_TRUE(fSink->Calls.contains("PostMove b.txt"));
}

TEST_F(LinuxFileOperationCrossTest, SourceWhoseCopyFailedOrChangedIsKept)
{
    fDir.CreateFile("src/m/full.bin", QByteArray(32768, 'f'));
    fDir.CreateFile("src/m/changing.bin", QByteArray(32768, 'c'));
    fDir.CreateFile("src/m/fine.bin", "fine");
    fFaults->ChunkSize = 4096;
    fFaults->BeforeChunk = [](const std::string& pSource, const std::string&, std::uint64_t pDone) {
        if (pSource.ends_with("full.bin") && pDone >= 8192)
            return TInjectedFault{ENOSPC, false};
        // Someone appends to the file while it is being copied.
        if (pSource.ends_with("changing.bin") && pDone == 8192) {
            const int fd = ::open(pSource.c_str(), O_WRONLY | O_APPEND);
            EXPECT_EQ(::write(fd, "more", 4), 4);
            ::close(fd);
        }
        return TInjectedFault{};
    };
    const IFileOperationPtr op = Make(0);
    op->MoveItem(fDir.Join("src/m"), fOther);
    EXPECT_NE(op->PerformOperations(), S_OK);
    EXPECT_EQ(fDir.ReadFile("src/m/full.bin"), QByteArray(32768, 'f'));
    EXPECT_EQ(fDir.ReadFile("src/m/changing.bin").size(), 32768 + 4);
    EXPECT_FALSE(Exists(fDir.Join("src/m/fine.bin")));
    EXPECT_EQ(Entries(fOther + "/m"), QStringList{"fine.bin"});
    EXPECT_EQ(op->Errors().size(), 2u);
}

TEST_F(LinuxFileOperationTest, DeleteToTrashWritesTheInfoFirstAndPermanentDeleteRemovesTrees)
{
    const QString file = fDir.CreateFile("src/gone soon.txt", "x");
    fDir.CreateFile("src/tree/sub/deep.txt", "y");
    {
        const IFileOperationPtr op = Make(fof::FOF_ALLOWUNDO);
        op->DeleteItem(file);
        EXPECT_EQ(op->PerformOperations(), S_OK);
    }
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(fDir.ReadFile("data/Trash/files/gone soon.txt"), "x");
    const QByteArray info = fDir.ReadFile("data/Trash/info/gone soon.txt.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=" + QUrl::toPercentEncoding(file, "/") +
                                "\nDeletionDate="))
        << info.toStdString();
    EXPECT_EQ(fSink->NewItems.value(0), fDir.Join("data/Trash/files/gone soon.txt"));

    // A second entry of the same name gets a name of its own.
    fDir.CreateFile("src/gone soon.txt", "x2");
    {
        const IFileOperationPtr op = Make(fof::FOF_ALLOWUNDO);
        op->DeleteItem(file);
        EXPECT_EQ(op->PerformOperations(), S_OK);
    }
    EXPECT_EQ(fDir.ReadFile("data/Trash/files/gone soon.2.txt"), "x2");

    const IFileOperationPtr op = Make(0);
    op->DeleteItem(fDir.Join("src/tree"));
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_FALSE(Exists(fDir.Join("src/tree")));
}

TEST_F(LinuxFileOperationTest, DeleteAsksFirstAndAFailingSinkStopsTheRun)
{
    const QString a = fDir.CreateFile("src/a", "a");
    const QString b = fDir.CreateFile("src/b", "b");
    auto ui = std::make_shared<TScriptedUi>();
    ui->ConfirmDeletes = false;
    {
        const IFileOperationPtr op = Make(0, ui);
        op->DeleteItems({a, b});
        EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_CANCELLED));
        EXPECT_EQ(ui->DeleteCount, 2);
        // The question came inside the run the user interface was told about.
        EXPECT_TRUE(ui->DeleteAskedDuringRun);
        EXPECT_EQ(ui->RunsEnded, 1);
    }
    EXPECT_TRUE(Exists(a) && Exists(b));

    // The first item is missing; the sink turns its failure into a stop.
    fSink->StopOnFailedDelete = true;
    const IFileOperationPtr op = Make(fof::FOF_NOERRORUI);
    op->DeleteItems({fDir.Join("src/missing"), a});
    EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_FILE_NOT_FOUND));
    bool aborted = false;
    op->GetAnyOperationsAborted(aborted);
    EXPECT_TRUE(aborted);
    EXPECT_TRUE(Exists(a));
}

TEST_F(LinuxFileOperationTest, RenameAndNewItemNumberCollisionsOnlyWhenAsked)
{
    const QString one = fDir.CreateFile("src/1.txt", "1");
    const QString two = fDir.CreateFile("src/2.txt", "2");
    const QString three = fDir.CreateFile("src/3.txt", "3");
    {
        const IFileOperationPtr op = Make(fof::FOF_RENAMEONCOLLISION);
        op->RenameItems({one, two, three}, "a.txt");
        EXPECT_EQ(op->PerformOperations(), S_OK);
    }
    EXPECT_EQ(fDir.ReadFile("src/a.txt"), "1");
    EXPECT_EQ(fDir.ReadFile("src/a (2).txt"), "2");
    EXPECT_EQ(fDir.ReadFile("src/a (3).txt"), "3");
    {
        const IFileOperationPtr op = Make(0);
        op->RenameItem(fDir.Join("src/a (2).txt"), "a.txt");
        op->RenameItem(fDir.Join("src/a (3).txt"), "bad/name");
        EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_ALREADY_EXISTS));
        ASSERT_EQ(op->Errors().size(), 2u);
        EXPECT_EQ(op->Errors()[1].Result, HResultFromWin32(win32::ERROR_INVALID_NAME));
    }
    EXPECT_EQ(fDir.ReadFile("src/a (2).txt"), "2");

    fSink->NewItems.clear();
    const IFileOperationPtr op = Make(fof::FOF_RENAMEONCOLLISION);
    op->NewItem(fTarget, newitem::FILE_ATTRIBUTE_DIRECTORY, "New folder");
    op->NewItem(fTarget, newitem::FILE_ATTRIBUTE_DIRECTORY, "New folder");
    op->NewItem(fTarget, newitem::FILE_ATTRIBUTE_NORMAL, "new.txt");
    op->NewItem(fTarget, newitem::FILE_ATTRIBUTE_NORMAL, "from template.txt",
                fDir.Join("src/a (3).txt"));
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_TRUE(QDir(fDir.Join("dst/New folder (2)")).exists());
    EXPECT_EQ(fDir.ReadFile("dst/new.txt"), "");
    EXPECT_EQ(fDir.ReadFile("dst/from template.txt"), "3");
    EXPECT_EQ(fSink->NewItems.value(1), fDir.Join("dst/New folder (2)"));
}

TEST_F(LinuxFileOperationTest, OneCallFormTakesDoubleNulListsAndAnswersWithACode)
{
    const QString a = fDir.CreateFile("src/a.txt", "a");
    const QString b = fDir.CreateFile("src/b.txt", "b");
    const std::unique_ptr<IFileOps> ops = CreateLinuxFileOps();
    const QChar nul(u'\0');

    ShFileOpStruct copy{nullptr, fo::FO_COPY, a + nul + b + nul + nul, fTarget + nul + nul,
                        fof::FOF_NOCONFIRMATION | fof::FOF_SILENT};
    EXPECT_EQ(ShFileOperation(*ops, copy), 0);
    EXPECT_EQ(fDir.ReadFile("dst/b.txt"), "b");

    ShFileOpStruct move{nullptr, fo::FO_MOVE, a + nul + nul, fDir.Join("dst/moved.txt") + nul + nul,
                        fo::FOF_MULTIDESTFILES};
    EXPECT_EQ(ShFileOperation(*ops, move), 0);
    EXPECT_EQ(fDir.ReadFile("dst/moved.txt"), "a");
    EXPECT_FALSE(Exists(a));

    ShFileOpStruct clash{nullptr, fo::FO_COPY, b + nul + nul, fTarget + nul + nul, 0};
    EXPECT_EQ(ShFileOperation(*ops, clash), 80);
    ShFileOpStruct malformed{nullptr, fo::FO_COPY, b + nul + nul, QString(), 0};
    EXPECT_EQ(ShFileOperation(*ops, malformed), 87);
    EXPECT_EQ(SplitDoubleNulList(QStringLiteral("x") + nul + "y" + nul + nul + "z"),
              (QStringList{"x", "y"}));
}

// A child copies large files over existing ones and is killed at a random moment: every
// target must hold either its old content or the whole new one.
TEST_F(LinuxFileOperationTest, KilledCopyLeavesOldOrNewNeverTorn)
{
    constexpr int kFiles = 4;
    const QByteArray fresh(2 * 1024 * 1024, 'N');
    const QByteArray old(1536 * 1024, 'o');
    QStringList sources;
    for (int i = 0; i < kFiles; ++i)
        sources << fDir.CreateFile(QStringLiteral("src/f%1.bin").arg(i), fresh);

    const auto reset = [&] {
        for (int i = 0; i < kFiles; ++i)
            fDir.CreateFile(QStringLiteral("dst/f%1.bin").arg(i), old);
    };
    const auto spawn = [&] {
        std::vector<std::string> args{KIV_KILL_HELPER, Bytes(fTarget)};
        for (const QString& source : sources)
            args.push_back(Bytes(source));
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        return pid;
    };

    // One whole run tells how long a copy takes here.
    reset();
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    ASSERT_EQ(::waitpid(spawn(), &status, 0) > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1,
              0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    for (int i = 0; i < kFiles; ++i)
        ASSERT_EQ(fDir.ReadFile(QStringLiteral("dst/f%1.bin").arg(i)), fresh);

    std::mt19937 random(12345);
    std::uniform_int_distribution<std::int64_t> moment(0, whole.count());
    int replaced = 0;
    for (int round = 0; round < 20; ++round) {
        reset();
        const pid_t child = spawn();
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        for (int i = 0; i < kFiles; ++i) {
            const QByteArray now = fDir.ReadFile(QStringLiteral("dst/f%1.bin").arg(i));
            ASSERT_TRUE(now == old || now == fresh)
                << "round " << round << " file " << i << " has " << now.size() << " bytes";
            replaced += now == fresh ? 1 : 0;
        }
    }
    // Not a requirement, but a sign the kills landed inside the runs.
    RecordProperty("replaced", replaced);
}

TEST_F(LinuxFileOperationTest, ZipRunsOnTheWorkerWithProgressAndACancelKeepsTheOldArchive)
{
    const std::unique_ptr<IArchives> archives = CreateLinuxArchives();
    const QString zip = fDir.Join("dst/x.zip");
    ASSERT_EQ(archives->CreateEmpty(zip), S_OK);
    ASSERT_EQ(archives->Add(zip, {fDir.CreateFile("src/old.txt", "old")}, 6), S_OK);
    const QByteArray before = fDir.ReadFile("dst/x.zip");
    for (int i = 0; i < 3; ++i)
        fDir.CreateFile(QStringLiteral("src/big/%1.bin").arg(i), NoiseBytes(1 << 20, i));
    const QString big = fDir.Join("src/big");

    fFaults->ReportEveryStep = true;
    auto ui = std::make_shared<TScriptedUi>();
    const IFileOperationPtr cancelled = Make(0, ui);
    std::uint32_t cookie = 0;
    cancelled->Advise(std::make_shared<TCancelAtFirstProgress>(cancelled), cookie);
    ASSERT_EQ(cancelled->ZipItems({big}, zip, 6), S_OK);
    EXPECT_EQ(cancelled->PerformOperations(), HResultFromWin32(win32::ERROR_CANCELLED));
    bool aborted = false;
    cancelled->GetAnyOperationsAborted(aborted);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(fDir.ReadFile("dst/x.zip"), before);
    EXPECT_EQ(Entries(fTarget), QStringList{"x.zip"});
    ASSERT_EQ(ui->Runs.size(), 1u);
    EXPECT_EQ(ui->Runs[0].Kind, TFileOpKind::fkZip);
    EXPECT_EQ(ui->Runs[0].Source, fSource);
    EXPECT_EQ(ui->Runs[0].Destination, zip);
    EXPECT_EQ(ui->Runs[0].Owner, this);

    // Uncancelled: the progress reaches the sink (on the worker) and the window up to the end.
    *fSink = TRecordingSink();
    ui->Progress.clear();
    const IFileOperationPtr op = Make(0, ui);
    ASSERT_EQ(op->ZipItems({big}, zip, 6), S_OK);
    EXPECT_EQ(op->PerformOperations(), S_OK);
    EXPECT_NE(fSink->Thread, std::this_thread::get_id());
    EXPECT_GT(fSink->Total, 0u);
    EXPECT_EQ(fSink->Done, fSink->Total);
    ASSERT_FALSE(ui->Progress.empty());
    const TFileOpProgress& last = ui->Progress.back();
    EXPECT_EQ(last.ItemsTotal, 4u);
    EXPECT_EQ(last.ItemsDone, 4u);
    EXPECT_EQ(last.BytesTotal, 3u << 20);
    EXPECT_EQ(last.BytesDone, 3u << 20);
    EXPECT_EQ(Entries(fTarget), QStringList{"x.zip"});

    // What went in comes out whole.
    const IFileOperationPtr out = Make(0);
    ASSERT_EQ(out->ExtractItems(zip, fDir.CreateFolder("out")), S_OK);
    EXPECT_EQ(out->PerformOperations(), S_OK);
    EXPECT_EQ(fDir.ReadFile("out/old.txt"), "old");
    EXPECT_EQ(fDir.ReadFile("out/big/2.bin"), NoiseBytes(1 << 20, 2));
    EXPECT_EQ(Entries(fDir.Join("out")), (QStringList{"big", "old.txt"}));
}

TEST_F(LinuxFileOperationTest, CancelledUnzipLeavesNoPartialFile)
{
    const std::unique_ptr<IArchives> archives = CreateLinuxArchives();
    const QString zip = fDir.Join("x.zip");
    ASSERT_EQ(archives->CreateEmpty(zip), S_OK);
    for (int i = 0; i < 3; ++i)
        fDir.CreateFile(QStringLiteral("src/big/%1.bin").arg(i), NoiseBytes(1 << 20, i));
    ASSERT_EQ(archives->Add(zip, {fDir.Join("src/big")}, 1), S_OK);
    fDir.CreateFile("dst/kept.txt", "kept");

    fFaults->ReportEveryStep = true;
    const IFileOperationPtr op = Make(0);
    std::uint32_t cookie = 0;
    op->Advise(std::make_shared<TCancelAtFirstProgress>(op), cookie);
    ASSERT_EQ(op->ExtractItems(zip, fTarget), S_OK);
    EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_CANCELLED));
    // No extracted file, whole or partial, and no hidden extraction folder.
    EXPECT_EQ(Entries(fTarget), QStringList{"kept.txt"});
    EXPECT_LT(fSink->Done, fSink->Total);
}

TEST_F(LinuxFileOperationTest, AppliedPropertiesRoundTripTimesAndTheReadOnlyBit)
{
    const QString file = fDir.CreateFile("src/a.txt", "a");
    ASSERT_EQ(::chmod(Bytes(file).c_str(), 0644), 0);
    const FileTime modified = FileTime::FromUnix(1000000000, 123456700);
    const FileTime accessed = FileTime::FromUnix(900000000, 0);

    IFileOperationPtr op = Make(0);
    ASSERT_EQ(op->SetProperties({{pkey::DateModified, modified},
                                 {pkey::DateAccessed, accessed},
                                 {pkey::FileAttributes, fileattr::READONLY}}),
              S_OK);
    ASSERT_EQ(op->ApplyPropertiesToItems({file}), S_OK);
    EXPECT_EQ(op->PerformOperations(), S_OK);
    struct stat st = Status(file);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);
    EXPECT_EQ(st.st_atim.tv_sec, 900000000);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(fSink->Calls, (QStringList{"Start", "Finish"}));
    EXPECT_GT(fSink->Total, 0u);
    EXPECT_EQ(fSink->Done, fSink->Total);
    EXPECT_EQ(fSink->Finished, S_OK);

    op = Make(0);
    ASSERT_EQ(op->SetProperties({{pkey::FileAttributes, std::uint32_t{0}}}), S_OK);
    ASSERT_EQ(op->ApplyPropertiesToItems({file}), S_OK);
    EXPECT_EQ(op->PerformOperations(), S_OK);
    st = Status(file);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(LinuxFileOperationTest, AppliedPropertiesReportRefusalsWithTheirCodeAndPath)
{
    const QString refused = fDir.CreateFile("src/refused.txt", "r");
    const QString fine = fDir.CreateFile("src/fine.txt", "f");
    SetTimes(refused, 1500000000, 0);
    fFaults->BeforeProperties = [&](const std::string& pPath) {
        return pPath == Bytes(refused) ? EPERM : 0;
    };
    const FileTime modified = FileTime::FromUnix(1000000000, 0);

    IFileOperationPtr op = Make(0);
    ASSERT_EQ(op->SetProperties({{pkey::DateModified, modified}}), S_OK);
    ASSERT_EQ(op->ApplyPropertiesToItems({refused, fine}), S_OK);
    EXPECT_EQ(op->PerformOperations(), HResultFromErrno(EPERM));
    ASSERT_EQ(op->Errors().size(), 1u);
    EXPECT_EQ(op->Errors()[0].Result, HResultFromErrno(EPERM));
    EXPECT_EQ(op->Errors()[0].Path, refused);
    EXPECT_FALSE(op->Errors()[0].Text.isEmpty());
    EXPECT_EQ(Status(refused).st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(Status(fine).st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(fSink->Finished, HResultFromErrno(EPERM));

    // What this system cannot write fails as such and changes nothing.
    op = Make(0);
    ASSERT_EQ(op->SetProperties({{pkey::DateModified, FileTime::FromUnix(1200000000, 0)},
                                 {pkey::DateCreated, modified}}),
              S_OK);
    ASSERT_EQ(op->ApplyPropertiesToItems({fine}), S_OK);
    EXPECT_EQ(op->PerformOperations(), HResultFromWin32(win32::ERROR_NOT_SUPPORTED));
    EXPECT_EQ(Status(fine).st_mtim.tv_sec, 1000000000);
}

// A volume whose trash cannot be used: asked, the user decides; with nobody to ask the item
// stays and fails.
struct TNoTrashCase
{
    const char* Name;
    bool WithUi;
    bool DeletePermanently;
    bool Gone;
};

class LinuxFileOperationNoTrashTest
    : public LinuxFileOperationTest
    , public ::testing::WithParamInterface<TNoTrashCase>
{
};

TEST_P(LinuxFileOperationNoTrashTest, AsksBeforeDeletingForGood)
{
    const TNoTrashCase& c = GetParam();
    // The trash folder's place is taken by a file: no trash can be made there.
    fDir.CreateFile("data/Trash", "not a folder");
    const QString file = fDir.CreateFile("src/a.txt", "a");
    auto ui = std::make_shared<TScriptedUi>();
    ui->DeletePermanently = c.DeletePermanently;
    const IFileOperationPtr op = Make(fof::FOF_ALLOWUNDO | fof::FOF_NOCONFIRMATION,
                                      c.WithUi ? ui : std::shared_ptr<TScriptedUi>());
    ASSERT_EQ(op->DeleteItem(file), S_OK);
    const HResult result = op->PerformOperations();
    EXPECT_EQ(Exists(file), !c.Gone);
    EXPECT_EQ(ui->PermanentAsked, c.WithUi ? QStringList{file} : QStringList{});
    ASSERT_EQ(fSink->Results.size(), 1u);
    if (!c.WithUi) {
        EXPECT_TRUE(Failed(result));
        EXPECT_EQ(fSink->Results[0], result);
    } else {
        EXPECT_EQ(result, S_OK);
        EXPECT_EQ(fSink->Results[0], c.Gone ? S_OK : kItemSkipped);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LinuxFileOperationNoTrashTest,
                         ::testing::Values(TNoTrashCase{"NobodyToAsk", false, false, false},
                                           TNoTrashCase{"Declined", true, false, false},
                                           TNoTrashCase{"Accepted", true, true, true}),
                         [](const auto& pInfo) { return std::string(pInfo.param.Name); });

} // namespace
} // namespace kiv::pf::lnx

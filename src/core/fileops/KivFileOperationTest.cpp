#include "core/fileops/KivFileOperation.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/IPlatform.h"
#include "core/platform/PropVariant.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/ItemIdListCollection.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/ShellColumns.h"
#include "platform/linux/LinuxFileOperation.h"
#include "platform/linux/LinuxPlatform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <zip.h>

namespace kiv {
namespace {

using namespace pf;
using test::TestDir;
using Opt = TOperationOption;

// The Linux platform with an engine whose copies a test can hold half-way and whose questions a
// test answers.
class TTestFileOps final : public IFileOps
{
public:
    IFileOperationPtr CreateFileOperation() override
    {
        if (BeforeCreate)
            BeforeCreate();
        return lnx::CreateLinuxFileOperation(Faults, Ui);
    }
    void SetDefaultUi(IFileOperationUiPtr pUi) override { Ui = std::move(pUi); }
    IFileOperationUiPtr DefaultUi() const override { return Ui; }

    std::shared_ptr<lnx::TFileOpFaults> Faults = std::make_shared<lnx::TFileOpFaults>();
    IFileOperationUiPtr Ui;
    // Called on the thread that performs a task, before its engine is made.
    std::function<void()> BeforeCreate;
};

class TTestPlatform final : public IPlatform
{
public:
    TTestPlatform()
        : fInner(lnx::CreateLinuxPlatform())
    {
    }
    HResult Startup() override { return fInner->Startup(); }
    IInfo& Info() override { return fInner->Info(); }
    INamespace& Namespace() override { return fInner->Namespace(); }
    IKnownFolders& KnownFolders() override { return fInner->KnownFolders(); }
    IFileSystem& FileSystem() override { return fInner->FileSystem(); }
    IDebug& Debug() override { return fInner->Debug(); }
    IIcons& Icons() override { return fInner->Icons(); }
    IClipboard& Clipboard() override { return fInner->Clipboard(); }
    IRegistry& Registry() override { return fInner->Registry(); }
    IViewState& ViewState() override { return fInner->ViewState(); }
    IFileOps* FileOps() override { return &Ops; }
    IArchives* Archives() override { return fInner->Archives(); }

    TTestFileOps Ops;

private:
    std::unique_ptr<IPlatform> fInner;
};

class TCancellingUi final : public IFileOperationUi
{
public:
    TConflictAnswer AskConflict(const TFileConflict&) override
    {
        return {TConflictAction::caCancel, false};
    }
    TErrorAction AskError(const TFileOpError&) override { return TErrorAction::eaCancel; }
    bool ConfirmDelete(int, bool) override { return true; }
};

class KivFileOperationTest : public ::testing::Test
{
protected:
    KivFileOperationTest()
    {
        fEnvironment.Set("HOME", fDir.Path().toUtf8());
        fEnvironment.Set("XDG_DATA_HOME", fDir.CreateFolder("data").toUtf8());
        auto platform = std::make_unique<TTestPlatform>();
        fOps = &platform->Ops;
        fPlatform.emplace(std::move(platform));
    }

    TestDir fDir;
    test::TScopedEnvironment fEnvironment;
    TTestFileOps* fOps = nullptr;
    std::optional<TScopedPlatform> fPlatform;
};

TEST(KivFileOperationFlagsTest, EachOptionSetsItsFlagAndTheNewComponentStartsWithTwo)
{
    const std::pair<Opt, std::uint32_t> table[] = {{Opt::soAllowUndo, 0x40},
                                                   {Opt::soFilesOnly, 0x80},
                                                   {Opt::soNoConfirmation, 0x10},
                                                   {Opt::soNoConfirmMkDir, 0x200},
                                                   {Opt::soNoErrorUI, 0x400},
                                                   {Opt::soRenameCollision, 0x8},
                                                   {Opt::soSilent, 0x4},
                                                   {Opt::soSimpleProgress, 0x80000000u},
                                                   {Opt::soAsync, 0},
                                                   {Opt::soKeepNewer, 0x400000}};
    for (const auto& [option, flag] : table)
        EXPECT_EQ(OperationFlags({option}), flag) << static_cast<int>(option);
    EXPECT_EQ(OperationFlags({Opt::soAllowUndo, Opt::soSilent, Opt::soAsync}), 0x44u);

    const TKivFileOperation operation;
    EXPECT_EQ(operation.Options(), (TOperationOptions{Opt::soAllowUndo, Opt::soNoConfirmMkDir}));
    EXPECT_EQ(operation.Operation(), TKivOperationType::otCopy);
    EXPECT_EQ(operation.LastErrorCode(), 0);
    EXPECT_TRUE(operation.Version().startsWith("TKivFileOperation "));
}

TEST_F(KivFileOperationTest, AsyncCopyReturnsAtOnceAndCopiesOnAPoolThread)
{
    const QString source = fDir.CreateFile("a.txt", QByteArray(20000, 'a'));
    const QString target = fDir.CreateFolder("t");
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    std::thread::id copier;
    fOps->Faults->ChunkSize = 4096;
    fOps->Faults->BeforeChunk = [&](const std::string&, const std::string&, std::uint64_t) {
        std::unique_lock guard(lock);
        copier = std::this_thread::get_id();
        changed.notify_all();
        changed.wait(guard, [&] { return release; });
        return lnx::TInjectedFault{};
    };

    TKivFileOperation operation;
    operation.SourceFiles().Add(source);
    operation.SetDestination(target);
    operation.SetOptions({Opt::soAllowUndo, Opt::soNoConfirmMkDir, Opt::soAsync});
    // The copy is held at its first chunk: Execute must return while it waits.
    EXPECT_TRUE(operation.Execute());
    {
        std::unique_lock guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(20),
                                     [&] { return copier != std::thread::id(); }));
        EXPECT_NE(copier, std::this_thread::get_id());
        release = true;
        changed.notify_all();
    }
    for (int i = 0; i < 2000 && QFileInfo(target + "/a.txt").size() != 20000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(fDir.ReadFile("t/a.txt"), QByteArray(20000, 'a'));
    // The engine keeps the seams while it lives: the platform stays until it has gone.
    for (int i = 0; i < 2000 && fOps->Faults.use_count() > 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(fOps->Faults.use_count(), 1);
}

TEST_F(KivFileOperationTest, RenameOfSeveralFilesNumbersTheNames)
{
    const QStringList files{fDir.CreateFile("1.txt", "1"), fDir.CreateFile("2.txt", "2"),
                            fDir.CreateFile("3.txt", "3")};
    EXPECT_TRUE(TKivFileOperation::Rename(files, "a.txt", {}));
    EXPECT_EQ(fDir.ReadFile("a.txt"), "1");
    EXPECT_EQ(fDir.ReadFile("a (2).txt"), "2");
    EXPECT_EQ(fDir.ReadFile("a (3).txt"), "3");
}

TEST_F(KivFileOperationTest, NewFileFromAFullPathKeepsTheNameAsDestination)
{
    TKivFileOperation operation;
    operation.SetOperation(TKivOperationType::otNewFile);
    operation.SetDestination(fDir.CreateFolder("T") + "/new file");
    EXPECT_TRUE(operation.Execute());
    EXPECT_TRUE(QFileInfo(fDir.Join("T/new file")).isFile());
    EXPECT_EQ(operation.Destination(), "new file");
    EXPECT_EQ(operation.DestinationIdList(), nullptr);

    EXPECT_TRUE(TKivFileOperation::NewFolder(fDir.Join("T/sub"), {}));
    EXPECT_TRUE(QFileInfo(fDir.Join("T/sub")).isDir());
}

TEST_F(KivFileOperationTest, DeleteStopsAtTheFailureOfASingleSourceOnly)
{
    // A file that cannot be deleted: it is gone before the engine comes to it.
    const QString missing = fDir.Join("locked.txt");
    EXPECT_THROW(TKivFileOperation::Delete(missing, {Opt::soNoConfirmation}), EWayfoldError);

    const QString other = fDir.CreateFile("other.txt", "o");
    TKivFileOperation operation;
    operation.SourceFiles().AddStrings({missing, other});
    operation.SetOperation(TKivOperationType::otDelete);
    operation.SetOptions({Opt::soNoConfirmation, Opt::soNoErrorUI});
    EXPECT_FALSE(operation.Execute());
    EXPECT_FALSE(QFileInfo::exists(other));
    EXPECT_EQ(operation.LastErrorCode(), HResultFromWin32(win32::ERROR_FILE_NOT_FOUND));
}

TEST_F(KivFileOperationTest, InvalidDestinationFailsWithCodeThree)
{
    TKivFileOperation operation;
    operation.SourceFiles().Add(fDir.CreateFile("a.txt", "a"));
    operation.SetDestination(fDir.Join("no such folder"));
    EXPECT_FALSE(operation.Execute());
    EXPECT_EQ(operation.LastErrorCode(), HResultFromWin32(win32::ERROR_PATH_NOT_FOUND));

    operation.SetRaiseExceptions(true);
    try {
        operation.Execute();
        ADD_FAILURE() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.ErrorCode(), 3);
        EXPECT_TRUE(error.Message().contains(
            "Destination is invalid: Parameter 'Destination' contains an invalid path"));
    }
}

TEST_F(KivFileOperationTest, CancelledRunIsAbortedAndRaisesTheCancelCode)
{
    const QString source = fDir.CreateFile("a.txt", "new");
    fDir.CreateFile("t/a.txt", "old");
    fOps->Ui = std::make_shared<TCancellingUi>();
    TKivFileOperation operation;
    operation.SourceFiles().Add(source);
    operation.SetDestination(fDir.Join("t"));
    int window = 0;
    EXPECT_FALSE(operation.Execute(&window));
    EXPECT_TRUE(operation.OperationAborted());
    EXPECT_EQ(operation.LastErrorCode(), HResultFromWin32(win32::ERROR_CANCELLED));
    EXPECT_EQ(fDir.ReadFile("t/a.txt"), "old");

    operation.SetRaiseExceptions(true);
    try {
        operation.Execute(&window);
        ADD_FAILURE() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.ErrorCode(), 1223);
    }
    EXPECT_TRUE(operation.OperationAborted());
}

TEST_F(KivFileOperationTest, CopyAndMoveThroughTheClassOperations)
{
    const QString a = fDir.CreateFile("s/a.txt", "a");
    const QString b = fDir.CreateFile("s/b.txt", "b");
    const QString target = fDir.CreateFolder("t");
    EXPECT_TRUE(TKivFileOperation::Copy(a, target, {}));
    EXPECT_TRUE(TKivFileOperation::Move(b, target, {}));
    EXPECT_EQ(fDir.ReadFile("t/a.txt"), "a");
    EXPECT_EQ(fDir.ReadFile("t/b.txt"), "b");
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(b));
    // Into the trash, which the test's data folder holds.
    EXPECT_TRUE(TKivFileOperation::Delete(a, {Opt::soAllowUndo, Opt::soNoConfirmation}));
    EXPECT_EQ(fDir.ReadFile("data/Trash/files/a.txt"), "a");
}

QStringList ZipEntryNames(const QString& pZipFile)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(pZipFile).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return {"<not an archive>"};
    QStringList names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        names << QString::fromUtf8(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
    zip_discard(archive);
    names.sort();
    return names;
}

QStringList EntriesOf(const QString& pFolder)
{
    return QDir(pFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST_F(KivFileOperationTest, ZipMakesAMissingArchiveAndAddsToAnExistingOne)
{
    const QString a = fDir.CreateFile("s/a.txt", "a");
    fDir.CreateFile("s/d/b.txt", "b");
    const QString zip = fDir.Join("t/x.zip");
    fDir.CreateFolder("t");
    EXPECT_TRUE(TKivFileOperation::Zip(a, zip));
    EXPECT_EQ(ZipEntryNames(zip), QStringList{"a.txt"});
    EXPECT_TRUE(TKivFileOperation::Zip(QStringList{fDir.Join("s/d")}, zip));
    EXPECT_EQ(ZipEntryNames(zip), (QStringList{"a.txt", "d/", "d/b.txt"}));
    EXPECT_EQ(EntriesOf(fDir.Join("t")), QStringList{"x.zip"});

    // A ZIP file that cannot be made: its folder does not exist.
    try {
        TKivFileOperation::Zip(a, fDir.Join("missing/x.zip"));
        ADD_FAILURE() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.ErrorCode(), 1013);
        EXPECT_FALSE(error.Message().isEmpty());
    }
}

TEST_F(KivFileOperationTest, UnzipFollowsTheEngineRulesForWhatExists)
{
    fDir.CreateFile("s/d/a.txt", "new a");
    fDir.CreateFile("s/d/b.txt", "new b");
    const QString zip = fDir.Join("x.zip");
    ASSERT_TRUE(TKivFileOperation::Zip(fDir.Join("s/d"), zip));
    fDir.CreateFile("t/d/a.txt", "old a");
    const QString target = fDir.Join("t");

    // Nobody to ask and no flag that decides: the existing file stays.
    TKivFileOperation operation;
    operation.SetOperation(TKivOperationType::otUnzip);
    operation.SetOptions({});
    operation.SourceFiles().Add(zip);
    operation.SetDestination(target);
    EXPECT_FALSE(operation.Execute(nullptr));
    EXPECT_EQ(fDir.ReadFile("t/d/a.txt"), "old a");
    EXPECT_EQ(EntriesOf(target), QStringList{"d"});

    EXPECT_TRUE(TKivFileOperation::Unzip(zip, target, {Opt::soNoConfirmation}));
    EXPECT_EQ(fDir.ReadFile("t/d/a.txt"), "new a");
    EXPECT_EQ(fDir.ReadFile("t/d/b.txt"), "new b");
    // The extraction folder went with the run.
    EXPECT_EQ(EntriesOf(target), QStringList{"d"});
}

TEST_F(KivFileOperationTest, AsyncZipReturnsAtOnceAndWritesOnThePool)
{
    const QString a = fDir.CreateFile("s/a.txt", "a");
    const QString zip = fDir.Join("t/x.zip");
    fDir.CreateFolder("t");
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    std::thread::id performer;
    fOps->BeforeCreate = [&] {
        std::unique_lock guard(lock);
        performer = std::this_thread::get_id();
        changed.notify_all();
        changed.wait(guard, [&] { return release; });
    };

    // The task is held before its engine exists: the call must return while it waits.
    EXPECT_TRUE(TKivFileOperation::Zip(QStringList{a}, zip, {Opt::soAsync}));
    {
        std::unique_lock guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(20),
                                     [&] { return performer != std::thread::id(); }));
        EXPECT_NE(performer, std::this_thread::get_id());
        release = true;
        changed.notify_all();
    }
    for (int i = 0; i < 2000 && ZipEntryNames(zip) != QStringList{"a.txt"}; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ZipEntryNames(zip), QStringList{"a.txt"});
    for (int i = 0; i < 2000 && fOps->Faults.use_count() > 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST_F(KivFileOperationTest, SetPropertiesWritesDatesAndTheReadOnlyBit)
{
    const QString file = fDir.CreateFile("a.txt", "a");
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1000000000, Qt::UTC);
    EXPECT_TRUE(TKivFileOperation::SetProperty(
        file, TShellColumns::FromPropertyKey(pkey::DateModified), TShellPropertyValue{when}, {}));
    EXPECT_EQ(QFileInfo(file).lastModified().toSecsSinceEpoch(), 1000000000);
    EXPECT_TRUE(
        TKivFileOperation::SetProperties(QStringList{file},
                                         {{TShellColumns::FromPropertyKey(pkey::FileAttributes),
                                           TShellPropertyValue{QVariant(fileattr::READONLY)}}},
                                         {}));
    EXPECT_FALSE(QFileInfo(file).permissions() & QFileDevice::WriteOwner);
    // A value no property has a type for is refused before anything is written.
    EXPECT_THROW(
        TKivFileOperation::SetProperty(file, TShellColumns::FromPropertyKey(pkey::DateModified),
                                       TShellPropertyValue{QVariant(QStringList{"x"})}, {}),
        std::invalid_argument);
}

} // namespace
} // namespace kiv

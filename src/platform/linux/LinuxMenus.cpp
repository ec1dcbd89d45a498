#include "LinuxMenus.h"

#include "Handles.h"
#include "LinuxFolder_p.h"
#include "LinuxLinks.h"
#include "LinuxNamespace.h"
#include "LinuxPlatform.h"
#include "LinuxTrash.h"
#include "MimeApps.h"
#include "core/platform/DataObject.h"
#include "core/platform/FileNames.h"
#include "core/platform/IArchive.h"
#include "core/platform/IChangeNotify.h"
#include "core/platform/IClipboard.h"
#include "core/platform/IDebug.h"
#include "core/platform/IExec.h"
#include "core/platform/IFileOperation.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/ModelContextMenu.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/ShellIdListArray.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/ClipboardFiles.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <stdio.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

// ---------------------------------------------------------------------------------------------
// Hooks and the background worker.

std::mutex& HooksLock()
{
    static std::mutex lock;
    return lock;
}

TMenuHooks& Hooks() // guarded by HooksLock()
{
    static TMenuHooks hooks;
    return hooks;
}

TMenuHooks CurrentHooks()
{
    std::lock_guard lock(HooksLock());
    return Hooks();
}

// One thread that runs the verbs invoked with cmic::ASYNCOK, one after another (a delete and a
// restore of the same entry keep their order). Started on first use, joined at exit; work still
// queued then runs first, so nothing asked for is dropped halfway.
class TMenuWorker
{
public:
    static TMenuWorker& Instance()
    {
        static TMenuWorker worker;
        return worker;
    }

    void Post(std::function<void()> pJob)
    {
        {
            std::lock_guard lock(fLock);
            fJobs.push_back(std::move(pJob));
            if (!fThread.joinable())
                fThread = std::thread([this] { Run(); });
        }
        fWake.notify_all();
    }

    // On the user-interface thread the wait keeps its events going: a verb on the worker may be
    // waiting for a question answered there (a transfer's conflict, a delete confirmation).
    void WaitIdle()
    {
        const bool serve = pf::Ui().IsUiThread();
        std::unique_lock lock(fLock);
        while (!(fJobs.empty() && !fBusy)) {
            if (!serve) {
                fIdle.wait(lock);
                continue;
            }
            lock.unlock();
            pf::Ui().ProcessEvents();
            lock.lock();
            // 20 ms: a question posted by the worker is served soon enough, and the wait costs
            // next to nothing.
            fIdle.wait_for(lock, std::chrono::milliseconds(20));
        }
    }

    ~TMenuWorker()
    {
        {
            std::lock_guard lock(fLock);
            fStop = true;
        }
        fWake.notify_all();
        if (fThread.joinable())
            fThread.join();
    }

private:
    TMenuWorker() = default;

    void Run()
    {
        std::unique_lock lock(fLock);
        for (;;) {
            fWake.wait(lock, [this] { return fStop || !fJobs.empty(); });
            if (fJobs.empty())
                return;
            std::function<void()> job = std::move(fJobs.front());
            fJobs.pop_front();
            fBusy = true;
            lock.unlock();
            job();
            lock.lock();
            fBusy = false;
            if (fJobs.empty())
                fIdle.notify_all();
        }
    }

    std::mutex fLock;
    std::condition_variable fWake;
    std::condition_variable fIdle;
    std::deque<std::function<void()>> fJobs; // guarded by fLock
    bool fBusy = false;                      // guarded by fLock
    bool fStop = false;                      // guarded by fLock
    std::thread fThread;                     // started under fLock
};

// Runs pWork now, or on the worker when the caller allows it (reporting failures there).
HResult RunMaybeAsync(const InvokeInfo& pInfo, const QString& pVerb, std::function<HResult()> pWork)
{
    if (!(pInfo.Mask & cmic::ASYNCOK))
        return pWork();
    TMenuWorker::Instance().Post([verb = pVerb, work = std::move(pWork)] {
        const HResult result = work();
        if (Succeeded(result))
            return;
        if (HasPlatform())
            Platform().Debug().Write(
                QStringLiteral("Menu command \"%1\" failed: 0x%2")
                    .arg(verb)
                    .arg(static_cast<std::uint32_t>(result), 8, 16, QLatin1Char('0')));
        if (const auto hooks = CurrentHooks(); hooks.ReportError)
            hooks.ReportError(verb, result);
    });
    return S_OK;
}

// Asks the user before deleting, unless the caller wants no questions.
bool Confirmed(const InvokeInfo& pInfo, const QStringList& pPaths, bool pForGood)
{
    if (pInfo.Mask & cmic::FLAG_NO_UI)
        return true;
    const auto hooks = CurrentHooks();
    return !hooks.ConfirmDelete || hooks.ConfirmDelete(pPaths, pForGood);
}

// ---------------------------------------------------------------------------------------------
// Paths and names.

std::string ParentOf(const std::string& pPath)
{
    const std::size_t slash = pPath.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : pPath.substr(0, slash);
}

bool Exists(const std::string& pPath)
{
    struct stat st
    {
    };
    return ::lstat(pPath.c_str(), &st) == 0;
}

// pName in pFolder, or "stem (2).ext", "stem (3).ext"... when taken. Folders and names that
// start with a dot keep the whole name as the stem.
std::string UniquePath(const std::string& pFolder, const std::string& pName, bool pFolderName)
{
    std::string path = Join(pFolder, pName);
    const std::size_t dot = pFolderName ? std::string::npos : pName.rfind('.');
    const bool split = dot != std::string::npos && dot > 0;
    const std::string stem = split ? pName.substr(0, dot) : pName;
    const std::string extension = split ? pName.substr(dot) : std::string();
    for (int number = 2; Exists(path) && number < 10000; ++number)
        path = Join(pFolder, stem + " (" + std::to_string(number) + ")" + extension);
    return path;
}

QString Q(const std::string& pBytes)
{
    return DecodeFileName(pBytes);
}

std::string B(const QString& pText)
{
    return EncodeFileName(pText);
}

void Announce(std::uint32_t pEvent, const std::string& pPath, bool pFolder)
{
    AnnounceChange(pEvent, pPath, pFolder);
}

// ---------------------------------------------------------------------------------------------
// What a menu acts on.

enum class TTargetKind
{
    File,
    Folder,
    TrashEntry,
    // The Trash itself.
    Trash,
    // A settings launcher (a desktop entry to start).
    Launcher,
    // A recent entry: a link to a path.
    Recent,
    // Any other place (This PC, Network...): no verbs of its own.
    Virtual,
};

struct TTarget
{
    IdListBytes Absolute;
    TTargetKind Kind = TTargetKind::Virtual;
    // File-system path; for a recent entry its target.
    std::string Path;
    std::uint32_t Attributes = 0;
    std::string TrashDir;
    std::string TrashName;
    std::string LauncherId;
    // An entry of Quick access pinned by the user.
    bool Pinned = false;

    bool IsFileSystem() const { return Kind == TTargetKind::File || Kind == TTargetKind::Folder; }
};

HResult MakeTarget(IdListBytes pAbsolute, TTarget& pTarget)
{
    pTarget = TTarget{};
    const IdSpan span(pAbsolute);
    TLocation location;
    if (HResult result = Resolve(span, location); Failed(result))
        return result;
    pTarget.Absolute = std::move(pAbsolute);
    const IdSpan list(pTarget.Absolute);
    if (list.IsEmpty()) {
        // The desktop: a folder of the file system.
        const TXdgDirs xdg = TXdgDirs::Load();
        pTarget.Kind = TTargetKind::Folder;
        pTarget.Path = DesktopHasFolder(xdg) ? xdg.Desktop : xdg.Home;
        return S_OK;
    }
    TItem last;
    if (!DecodeItem(list.Last(), last))
        return E_INVALIDARG;
    IShellFolderPtr parent;
    IdListBytes lastList;
    if (Succeeded(BindParent(list, parent, lastList))) {
        std::uint32_t attributes = sfgao::CANCOPY | sfgao::CANMOVE | sfgao::CANRENAME |
                                   sfgao::CANDELETE | sfgao::CANLINK | sfgao::FILESYSTEM;
        const IdSpan items[] = {IdSpan(lastList)};
        if (Succeeded(parent->GetAttributesOf(items, attributes)))
            pTarget.Attributes = attributes;
    }
    if (last.Kind == kind::TrashEntry) {
        pTarget.Kind = TTargetKind::TrashEntry;
        pTarget.TrashDir = std::string(last.TrashDir);
        pTarget.TrashName = std::string(last.Text);
        pTarget.Path = location.Path;
    } else if (last.Kind == kind::Class && last.ClassId == clsid::Trash) {
        pTarget.Kind = TTargetKind::Trash;
    } else if (last.Kind == kind::SettingsEntry) {
        pTarget.Kind = TTargetKind::Launcher;
        pTarget.LauncherId = std::string(last.Text);
    } else if (last.Kind == kind::RecentEntry) {
        pTarget.Kind = TTargetKind::Recent;
        pTarget.Path = std::string(last.Text);
    } else if (location.Place == TPlace::FileSystem && !location.Path.empty()) {
        pTarget.Kind = location.IsFolder ? TTargetKind::Folder : TTargetKind::File;
        pTarget.Path = location.Path;
        pTarget.Pinned = last.Kind == kind::QuickAccessEntry && last.Group == 1;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Quick access: the pinned folders are the GTK bookmarks.

std::string BookmarksFile()
{
    return TXdgDirs::Load().ConfigHome + "/gtk-3.0/bookmarks";
}

bool IsPinned(const std::vector<TLink>& pBookmarks, const std::string& pPath)
{
    return std::any_of(pBookmarks.begin(), pBookmarks.end(),
                       [&](const TLink& pLink) { return pLink.Target == pPath; });
}

// Adds (pPin) or removes the bookmark lines of pPaths; other lines stay as they are.
HResult EditBookmarks(const std::vector<std::string>& pPaths, bool pPin)
{
    IFileSystem& fs = Platform().FileSystem();
    const QString file = Q(BookmarksFile());
    QByteArray text;
    {
        TFd fd(::open(BookmarksFile().c_str(), O_RDONLY | O_CLOEXEC));
        char buffer[4096];
        // A bookmarks file is a few lines; 1 MiB bounds an odd one.
        while (fd.IsValid() && text.size() < (1 << 20)) {
            const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<qsizetype>(n));
        }
    }
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    auto pathOf = [](const QByteArray& pLine) {
        const qsizetype blank = pLine.indexOf(' ');
        const QByteArray uri = blank < 0 ? pLine : pLine.left(blank);
        return PathFromFileUri(
            std::string_view(uri.constData(), static_cast<std::size_t>(uri.size())));
    };
    for (const std::string& path : pPaths) {
        const bool present = std::any_of(lines.begin(), lines.end(), [&](const QByteArray& pLine) {
            return pathOf(pLine) == path;
        });
        if (pPin && !present)
            lines.push_back(QByteArray::fromStdString("file://" + PercentEncodePath(path)));
        if (!pPin)
            lines.removeIf([&](const QByteArray& pLine) { return pathOf(pLine) == path; });
    }
    QByteArray out;
    for (const QByteArray& line : lines)
        out += line + '\n';
    if (out == text)
        return S_OK;
    if (HResult result = fs.ForceDirectories(Q(ParentOf(BookmarksFile()))); Failed(result))
        return result;
    return fs.WriteFile(file, out);
}

QStringList PathsOf(const std::vector<TTarget>& pTargets)
{
    QStringList paths;
    for (const TTarget& target : pTargets)
        if (!target.Path.empty())
            paths.push_back(Q(target.Path));
    return paths;
}

// ---------------------------------------------------------------------------------------------
// Starting applications.

HResult StartTerminal(const QString& pFolder)
{
    IExec* exec = Platform().Exec();
    if (!exec)
        return E_NOINTERFACE;
    // The user's terminal ($TERMINAL, which may carry arguments of its own), the system's
    // choice, then the common ones.
    QStringList candidates;
    const QString variable = QStringLiteral("%TERMINAL%");
    const QString fromEnvironment = Platform().FileSystem().ExpandEnvironmentStrings(variable);
    if (!fromEnvironment.trimmed().isEmpty() && fromEnvironment != variable)
        candidates << fromEnvironment.trimmed();
    candidates << QStringLiteral("x-terminal-emulator") << QStringLiteral("gnome-terminal")
               << QStringLiteral("konsole") << QStringLiteral("xfce4-terminal")
               << QStringLiteral("xterm");
    HResult result = HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    for (const QString& candidate : candidates) {
        QStringList words = candidate.split(u' ', Qt::SkipEmptyParts);
        const QString program = words.takeFirst();
        result = exec->StartDetached(program, words, pFolder);
        if (Succeeded(result))
            return result;
    }
    return result;
}

HResult OpenWithSystem(const QString& pPath, const QString& pWorkingDir)
{
    IExec* exec = Platform().Exec();
    if (!exec)
        return E_NOINTERFACE;
    return exec->StartDetached(QStringLiteral("xdg-open"), {pPath}, pWorkingDir);
}

// Starts pApp for pFiles, as its Exec line says.
HResult Launch(const TDesktopEntry& pApp, const QStringList& pFiles, const QString& pWorkingDir)
{
    IExec* exec = Platform().Exec();
    if (!exec)
        return E_NOINTERFACE;
    const std::vector<QStringList> commands = ExpandExec(pApp, pFiles);
    if (commands.empty())
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    QString folder = pApp.WorkingDir.isEmpty() ? pWorkingDir : pApp.WorkingDir;
    HResult result = S_OK;
    for (QStringList argv : commands) {
        // A program for a terminal runs in one.
        if (pApp.Terminal)
            argv = QStringList{QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")} + argv;
        const QString program = argv.takeFirst();
        const HResult one = exec->StartDetached(program, argv, folder);
        if (Failed(one))
            result = one;
    }
    return result;
}

QString FolderOfPath(const std::string& pPath)
{
    return Q(ParentOf(pPath));
}

// Opens each target with its type's default application (several files of one application
// together), else through the system's opener.
HResult OpenTargets(const std::vector<TTarget>& pTargets, const QString& pDirectory)
{
    HResult result = S_OK;
    std::vector<std::pair<std::optional<TDesktopEntry>, QStringList>> groups;
    for (const TTarget& target : pTargets) {
        if (target.Kind == TTargetKind::Launcher) {
            const auto app = ApplicationById(target.LauncherId);
            const HResult one =
                app ? Launch(*app, {}, QString()) : HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
            if (Failed(one))
                result = one;
            continue;
        }
        // A virtual place has nothing to start here: the caller browses it.
        if (target.Path.empty()) {
            result = HResultFromWin32(win32::ERROR_NOT_SUPPORTED);
            continue;
        }
        const bool folder = target.Kind == TTargetKind::Folder ||
                            (target.Kind == TTargetKind::Recent && IsExistingFolder(target.Path));
        const auto app = DefaultApplicationFor(MimeTypeOfPath(Q(target.Path), folder));
        auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& pGroup) {
            return pGroup.first.has_value() == app.has_value() &&
                   (!app || pGroup.first->Id == app->Id);
        });
        if (group == groups.end()) {
            groups.emplace_back(app, QStringList());
            group = groups.end() - 1;
        }
        group->second.push_back(Q(target.Path));
    }
    for (const auto& [app, files] : groups) {
        const QString folder = pDirectory.isEmpty() ? FolderOfPath(B(files.front())) : pDirectory;
        if (app) {
            if (const HResult one = Launch(*app, files, folder); Failed(one))
                result = one;
            continue;
        }
        for (const QString& file : files)
            if (const HResult one = OpenWithSystem(file, folder); Failed(one))
                result = one;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Transfers.

// Paste's own transfer, through the file operation engine: a copy never overwrites (a name
// already taken gets "name (2).ext"), a move onto a taken name fails for that item, and a moved
// source goes only after the whole of it arrived.
HResult EngineTransfer(const QStringList& pSources, const QString& pTargetFolder, bool pMove,
                       WindowRef pOwner)
{
    IFileOps* engine = Platform().FileOps();
    if (!engine)
        return E_NOTIMPL;
    QStringList sources;
    for (const QString& source : pSources) {
        // Moving an item to where it already is does nothing.
        if (!pMove || ParentOf(B(source)) != B(pTargetFolder))
            sources.push_back(source);
    }
    if (sources.isEmpty())
        return S_OK;
    const IFileOperationPtr operation = engine->CreateFileOperation();
    operation->SetOperationFlags(pMove ? 0 : fof::FOF_RENAMEONCOLLISION);
    // With the menu's window the run shows its progress and asks about what it cannot decide.
    operation->SetOwnerWindow(pOwner);
    const HResult queued = pMove ? operation->MoveItems(sources, pTargetFolder)
                                 : operation->CopyItems(sources, pTargetFolder);
    return Failed(queued) ? queued : operation->PerformOperations();
}

// The files on the clipboard and whether they were cut.
HResult ClipboardFiles(QStringList& pPaths, bool& pMove)
{
    IDataObjectPtr data;
    if (HResult result = Platform().Clipboard().GetDataObject(data); Failed(result) || !data)
        return Failed(result) ? result : DV_E_FORMATETC;
    QByteArray bytes;
    if (Succeeded(data->GetData(ClipFormat::HDrop, bytes)))
        pPaths = TClipboardFiles::ParseDropFiles(bytes);
    if (pPaths.isEmpty() && Succeeded(data->GetData(ClipFormat::ShellIdListArray, bytes))) {
        if (const auto lists = ParseShellIdListArray(bytes)) {
            for (const IdListBytes& list : *lists) {
                std::string path;
                if (PathOfIdList(IdSpan(list), path))
                    pPaths.push_back(Q(path));
            }
        }
    }
    pMove = Succeeded(data->GetData(ClipFormat::PreferredDropEffect, bytes)) &&
            (DropEffectFromBytes(bytes) & DROPEFFECT_MOVE);
    return pPaths.isEmpty() ? DV_E_FORMATETC : S_OK;
}

bool ClipboardHasFiles()
{
    IClipboard& clipboard = Platform().Clipboard();
    return clipboard.HasFormat(ClipFormat::HDrop) ||
           clipboard.HasFormat(ClipFormat::ShellIdListArray);
}

HResult Paste(const std::string& pFolder, const InvokeInfo& pInfo, const QString& pVerb,
              bool pAsLinks)
{
    QStringList paths;
    bool move = false;
    if (HResult result = ClipboardFiles(paths, move); Failed(result))
        return result;
    if (pAsLinks) {
        HResult first = S_OK;
        for (const QString& path : paths) {
            const std::string link =
                UniquePath(pFolder, std::string(BaseName(B(path))), IsExistingFolder(B(path)));
            const HResult result = Platform().FileSystem().CreateSymbolicLink(path, Q(link));
            if (Failed(result) && Succeeded(first))
                first = result;
            if (Succeeded(result))
                Announce(shcne::CREATE, link, false);
        }
        return first;
    }
    // Cut files are moved once: the clipboard lets them go now (a failed move leaves them where
    // they were, nothing is lost).
    if (move)
        Platform().Clipboard().Empty();
    auto transfer = CurrentHooks().Transfer;
    if (!transfer) {
        transfer = [owner = pInfo.Owner](const QStringList& pSources, const QString& pTarget,
                                         bool pMove) {
            return EngineTransfer(pSources, pTarget, pMove, owner);
        };
    }
    return RunMaybeAsync(pInfo, pVerb, [transfer, paths, folder = Q(pFolder), move] {
        return transfer(paths, folder, move);
    });
}

HResult EmptyTrashAsked(const InvokeInfo& pInfo, const QString& pVerb)
{
    if (!Confirmed(pInfo, {}, true))
        return HResultFromWin32(win32::ERROR_CANCELLED);
    return RunMaybeAsync(pInfo, pVerb, [] { return EmptyTrash(); });
}

// ---------------------------------------------------------------------------------------------
// ZIP archives.

bool IsZipFile(const TTarget& pTarget)
{
    return pTarget.Kind == TTargetKind::File &&
           MimeTypeOfPath(Q(pTarget.Path), false) == QLatin1String("application/zip");
}

bool AlreadyExists(HResult pResult)
{
    return pResult == HResultFromWin32(win32::ERROR_ALREADY_EXISTS) ||
           pResult == HResultFromWin32(win32::ERROR_FILE_EXISTS);
}

// 100 tries: another program would have to take each numbered name just as it was chosen.
constexpr int kNameAttempts = 100;

// "name.zip" beside the first item (a file's extension left out), "name (2).zip" when taken;
// then the file operation engine puts the items in (with its progress and cancel when there is
// a window). An archive that could not be filled is removed again.
HResult CompressToZip(const std::vector<TTarget>& pTargets, WindowRef pOwner)
{
    IArchives* archives = Platform().Archives();
    IFileOps* engine = Platform().FileOps();
    if (!archives || !engine)
        return E_NOTIMPL;
    const TTarget& first = pTargets.front();
    const std::string folder = ParentOf(first.Path);
    std::string stem(BaseName(first.Path));
    if (const std::size_t dot = stem.rfind('.');
        first.Kind == TTargetKind::File && dot != std::string::npos && dot > 0)
        stem.resize(dot);
    std::string zip;
    HResult created = E_FAIL;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        zip = UniquePath(folder, stem + ".zip", false);
        created = archives->CreateEmpty(Q(zip));
        if (!AlreadyExists(created))
            break;
    }
    if (Failed(created))
        return created;
    const IFileOperationPtr operation = engine->CreateFileOperation();
    operation->SetOwnerWindow(pOwner);
    HResult added = operation->ZipItems(PathsOf(pTargets), Q(zip), IArchives::kDefaultLevel);
    if (Succeeded(added))
        added = operation->PerformOperations();
    if (Failed(added)) {
        ::unlink(zip.c_str());
        return added;
    }
    Announce(shcne::CREATE, zip, false);
    return S_OK;
}

// Extracts everything into a new folder beside the archive, named after it ("photos" for
// "photos.zip", "photos (2)" when taken), through the file operation engine (which extracts
// into a hidden folder first and moves the items in, with progress and cancel when there is a
// window). Whatever fails, the new folder goes again (the archive still holds everything).
HResult ExtractAll(const TTarget& pArchive, WindowRef pOwner)
{
    IArchives* archives = Platform().Archives();
    IFileOps* engine = Platform().FileOps();
    if (!archives || !engine)
        return E_NOTIMPL;
    std::string stem(BaseName(pArchive.Path));
    if (const std::size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0)
        stem.resize(dot);
    const std::string parent = ParentOf(pArchive.Path);
    std::string folder;
    int made = -1;
    for (int attempt = 0; attempt < kNameAttempts && made != 0; ++attempt) {
        folder = UniquePath(parent, stem, true);
        made = ::mkdir(folder.c_str(), 0777);
        if (made != 0 && errno != EEXIST)
            return HResultFromWin32(errno == EACCES || errno == EPERM || errno == EROFS
                                        ? win32::ERROR_ACCESS_DENIED
                                        : win32::ERROR_CANNOT_MAKE);
    }
    if (made != 0)
        return HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
    const IFileOperationPtr operation = engine->CreateFileOperation();
    operation->SetOwnerWindow(pOwner);
    HResult result = operation->ExtractItems(Q(pArchive.Path), Q(folder));
    if (Succeeded(result))
        result = operation->PerformOperations();
    if (Failed(result)) {
        RemoveTree(folder);
        return result;
    }
    Announce(shcne::MKDIR, folder, true);
    return S_OK;
}

// Runs pWork on a thread of its own that ends with it. libzip draws random names through
// OpenSSL, whose per-thread state is freed only when its thread ends; the menus' worker lives
// until the process exits, past OpenSSL's own clean-up at exit, which would leave that state
// behind.
HResult OnThreadOfItsOwn(const std::function<HResult()>& pWork)
{
    HResult result = E_FAIL;
    std::thread([&result, &pWork] { result = pWork(); }).join();
    return result;
}

// Work that may take minutes: on the menus' worker whenever the caller allows it or is the
// user-interface thread, which must never wait for it.
HResult RunOffUiThread(const InvokeInfo& pInfo, const QString& pVerb,
                       std::function<HResult()> pWork)
{
    InvokeInfo info = pInfo;
    if (pf::Ui().IsUiThread())
        info.Mask |= cmic::ASYNCOK;
    return RunMaybeAsync(info, pVerb, std::move(pWork));
}

// ---------------------------------------------------------------------------------------------
// Texts.

struct TEntryText
{
    const char* Caption;
    const char* Verb;
    const char* Help;
};

MenuItem Entry(const TEntryText& pText, const char* pIcon = "")
{
    MenuItem item;
    item.Caption = QString::fromUtf8(pText.Caption);
    item.Verb = QString::fromUtf8(pText.Verb);
    item.HelpText = QString::fromUtf8(pText.Help);
    item.IconName = QString::fromUtf8(pIcon);
    return item;
}

constexpr TEntryText kOpen{"&Open", "open", "Opens the selected items."};
constexpr TEntryText kOpenWith{"Open wit&h", "",
                               "Opens the selected items with another application."};
constexpr TEntryText kOpenAs{"&Choose Another Application…", "openas",
                             "Chooses the application that opens the selected items."};
constexpr TEntryText kTerminal{"Open in &Terminal", "cmd", "Opens a terminal in this folder."};
constexpr TEntryText kCut{"Cu&t", "cut", "Moves the selected items to the clipboard."};
constexpr TEntryText kCopy{"&Copy", "copy", "Copies the selected items to the clipboard."};
constexpr TEntryText kPaste{"&Paste", "paste", "Inserts the items you have copied or cut."};
constexpr TEntryText kPasteLink{"Paste &Link", "pastelink",
                                "Makes links to the items you have copied or cut."};
constexpr TEntryText kLink{"Create &Link", "link", "Makes links to the selected items."};
constexpr TEntryText kDelete{"&Delete", "delete", "Moves the selected items to the Trash."};
constexpr TEntryText kRename{"&Rename", "rename", "Renames the selected item."};
constexpr TEntryText kPin{"Pin to &Quick Access", "pintohome",
                          "Shows the folders in Quick access."};
constexpr TEntryText kUnpin{"Unpin from &Quick Access", "unpinfromhome",
                            "Removes the folders from Quick access."};
constexpr TEntryText kCopyPath{"Cop&y as Path", "copypath",
                               "Copies the paths of the selected items to the clipboard."};
constexpr TEntryText kZip{"Compress to &ZIP", "zip",
                          "Puts the selected items into a new ZIP archive beside them."};
constexpr TEntryText kExtract{"E&xtract all", "extractall",
                              "Extracts everything in the archive into a new folder beside it."};
constexpr TEntryText kProperties{"P&roperties", "properties",
                                 "Shows the properties of the selected items."};
constexpr TEntryText kRestore{"&Restore", "undelete",
                              "Puts the items back where they were deleted."};
constexpr TEntryText kDeleteForGood{"&Delete Permanently", "delete",
                                    "Deletes the selected items for good."};
constexpr TEntryText kEmpty{"&Empty Trash", "empty", "Deletes every item in the Trash for good."};
constexpr TEntryText kNew{"Ne&w", "", "Makes a new item in this folder."};
constexpr TEntryText kNewFolder{"&Folder", "NewFolder", "Makes a new folder."};
constexpr TEntryText kRefresh{"R&efresh", "refresh", "Shows the folder's content again."};

constexpr QLatin1String kOpenWithPrefix("openwith:");
constexpr QLatin1String kNewFilePrefix("newfile:");

bool Is(const QString& pVerb, const char* pName)
{
    return pVerb.compare(QLatin1String(pName), Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------------------
// The item menu.

class TItemMenu final : public TModelContextMenu
{
public:
    explicit TItemMenu(std::vector<TTarget> pTargets)
        : fTargets(std::move(pTargets))
    {
    }

protected:
    std::vector<MenuItem> BuildItems(std::uint32_t pFlags) override;
    HResult RunVerb(const QString& pVerb, const InvokeInfo& pInfo) override;

private:
    bool All(bool (*pTest)(const TTarget&)) const
    {
        return !fTargets.empty() && std::all_of(fTargets.begin(), fTargets.end(), pTest);
    }
    bool AllHave(std::uint32_t pAttributes) const
    {
        return !fTargets.empty() &&
               std::all_of(fTargets.begin(), fTargets.end(), [&](const TTarget& pTarget) {
                   return (pTarget.Attributes & pAttributes) == pAttributes;
               });
    }
    // The one MIME type of every file-system target; empty when they differ.
    QString SharedMimeType() const;
    std::vector<MenuItem> FileSystemItems(std::uint32_t pFlags) const;
    HResult Delete(const InvokeInfo& pInfo, const QString& pVerb);

    std::vector<TTarget> fTargets;
};

QString TItemMenu::SharedMimeType() const
{
    QString shared;
    for (const TTarget& target : fTargets) {
        const QString type = MimeTypeOfPath(Q(target.Path), target.Kind == TTargetKind::Folder);
        if (!shared.isEmpty() && type != shared)
            return {};
        shared = type;
    }
    return shared;
}

std::vector<MenuItem> TItemMenu::FileSystemItems(std::uint32_t pFlags) const
{
    std::vector<MenuItem> items;
    const bool single = fTargets.size() == 1;
    const bool singleFolder = single && fTargets.front().Kind == TTargetKind::Folder;
    MenuItem open = Entry(kOpen, "document-open");
    open.IsDefault = true;
    items.push_back(open);
    if (const QString type = SharedMimeType(); !type.isEmpty()) {
        MenuItem openWith = Entry(kOpenWith);
        for (const TDesktopEntry& app : ApplicationsFor(type)) {
            MenuItem item;
            item.Caption = QString(app.Name).replace(u'&', QLatin1String("&&"));
            item.Verb = QString(kOpenWithPrefix) + QString::fromStdString(app.Id);
            item.HelpText = QStringLiteral("Opens the selected items with %1.").arg(app.Name);
            item.IconName = app.Icon;
            openWith.Children.push_back(item);
        }
        if (!openWith.Children.empty())
            openWith.Children.push_back(MenuItem::MakeSeparator());
        openWith.Children.push_back(Entry(kOpenAs));
        items.push_back(openWith);
    }
    if (singleFolder)
        items.push_back(Entry(kTerminal, "utilities-terminal"));
    items.push_back(MenuItem::MakeSeparator());
    if (AllHave(sfgao::CANMOVE))
        items.push_back(Entry(kCut, "edit-cut"));
    if (AllHave(sfgao::CANCOPY))
        items.push_back(Entry(kCopy, "edit-copy"));
    if (singleFolder) {
        MenuItem paste = Entry(kPaste, "edit-paste");
        paste.Enabled = ClipboardHasFiles();
        items.push_back(paste);
    }
    items.push_back(MenuItem::MakeSeparator());
    items.push_back(Entry(kLink, "insert-link"));
    if (AllHave(sfgao::CANDELETE))
        items.push_back(Entry(kDelete, "user-trash"));
    if (single && (pFlags & cmf::CANRENAME) && AllHave(sfgao::CANRENAME))
        items.push_back(Entry(kRename, "edit-rename"));
    items.push_back(MenuItem::MakeSeparator());
    if (All([](const TTarget& pTarget) { return pTarget.Kind == TTargetKind::Folder; })) {
        const std::vector<TLink> bookmarks = ReadBookmarks();
        const bool pinned =
            std::all_of(fTargets.begin(), fTargets.end(), [&](const TTarget& pTarget) {
                return pTarget.Pinned || IsPinned(bookmarks, pTarget.Path);
            });
        items.push_back(pinned ? Entry(kUnpin) : Entry(kPin));
    }
    items.push_back(Entry(kCopyPath));
    items.push_back(MenuItem::MakeSeparator());
    if (Platform().Archives()) {
        items.push_back(Entry(kZip, "package-x-generic"));
        if (single && IsZipFile(fTargets.front()))
            items.push_back(Entry(kExtract, "extract-archive"));
        items.push_back(MenuItem::MakeSeparator());
    }
    items.push_back(Entry(kProperties, "document-properties"));
    return items;
}

std::vector<MenuItem> TItemMenu::BuildItems(std::uint32_t pFlags)
{
    if (All([](const TTarget& pTarget) { return pTarget.IsFileSystem(); }))
        return FileSystemItems(pFlags);
    if (All([](const TTarget& pTarget) { return pTarget.Kind == TTargetKind::TrashEntry; }))
        return {Entry(kRestore, "edit-undo"), Entry(kDeleteForGood, "edit-delete"),
                MenuItem::MakeSeparator(), Entry(kProperties, "document-properties")};
    if (All([](const TTarget& pTarget) {
            return pTarget.Kind == TTargetKind::Launcher || pTarget.Kind == TTargetKind::Recent;
        })) {
        MenuItem open = Entry(kOpen, "document-open");
        open.IsDefault = true;
        return {open};
    }
    if (fTargets.size() == 1 && fTargets.front().Kind == TTargetKind::Trash)
        return {Entry(kEmpty, "user-trash-full")};
    return {};
}

HResult TItemMenu::Delete(const InvokeInfo& pInfo, const QString& pVerb)
{
    const bool forGood = (pInfo.Mask & cmic::SHIFT_DOWN) != 0;
    const std::vector<TTarget> targets = fTargets;
    for (const TTarget& target : targets) {
        if (target.Kind == TTargetKind::TrashEntry)
            continue;
        if (!target.IsFileSystem() || !(target.Attributes & sfgao::CANDELETE))
            return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
    }
    const bool restorable =
        !forGood && std::none_of(targets.begin(), targets.end(), [](const TTarget& pTarget) {
            return pTarget.Kind == TTargetKind::TrashEntry;
        });
    if (!Confirmed(pInfo, PathsOf(targets), !restorable))
        return HResultFromWin32(win32::ERROR_CANCELLED);
    return RunMaybeAsync(pInfo, pVerb, [targets, forGood] {
        HResult first = S_OK;
        for (const TTarget& target : targets) {
            HResult result = S_OK;
            if (target.Kind == TTargetKind::TrashEntry)
                result = DeleteFromTrash(target.TrashDir, target.TrashName);
            else
                result = forGood ? RemoveTree(target.Path) : MoveToTrash(target.Path);
            const bool folder = target.Kind == TTargetKind::Folder;
            if (Succeeded(result))
                Announce(folder ? shcne::RMDIR : shcne::DELETE, target.Path, folder);
            else if (Succeeded(first))
                first = result;
        }
        return first;
    });
}

HResult TItemMenu::RunVerb(const QString& pVerb, const InvokeInfo& pInfo)
{
    const TMenuHooks hooks = CurrentHooks();
    if (Is(pVerb, "open"))
        return OpenTargets(fTargets, pInfo.Directory);
    if (pVerb.startsWith(kOpenWithPrefix, Qt::CaseInsensitive)) {
        const auto app = ApplicationById(pVerb.mid(kOpenWithPrefix.size()).toStdString());
        if (!app)
            return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
        const QStringList paths = PathsOf(fTargets);
        return Launch(*app, paths,
                      pInfo.Directory.isEmpty() ? FolderOfPath(fTargets.front().Path)
                                                : pInfo.Directory);
    }
    if (Is(pVerb, "openas")) {
        if (!hooks.ChooseApplication)
            return E_NOTIMPL;
        return hooks.ChooseApplication(PathsOf(fTargets), SharedMimeType());
    }
    if (Is(pVerb, "cmd")) {
        const TTarget& target = fTargets.front();
        return StartTerminal(
            Q(target.Kind == TTargetKind::Folder ? target.Path : ParentOf(target.Path)));
    }
    if (Is(pVerb, "cut") || Is(pVerb, "copy")) {
        std::vector<IdListBytes> lists;
        for (const TTarget& target : fTargets)
            lists.push_back(target.Absolute);
        return Platform().Clipboard().SetDataObject(
            CreateDataObject(lists, Is(pVerb, "cut") ? DROPEFFECT_MOVE : DROPEFFECT_COPY));
    }
    if (Is(pVerb, "paste") && fTargets.front().Kind == TTargetKind::Folder)
        return Paste(fTargets.front().Path, pInfo, pVerb, false);
    if (Is(pVerb, "link")) {
        HResult first = S_OK;
        for (const TTarget& target : fTargets) {
            if (target.Path.empty())
                continue;
            const std::string link =
                UniquePath(ParentOf(target.Path), "Link to " + std::string(BaseName(target.Path)),
                           target.Kind == TTargetKind::Folder);
            const HResult result =
                Platform().FileSystem().CreateSymbolicLink(Q(target.Path), Q(link));
            if (Succeeded(result))
                Announce(shcne::CREATE, link, false);
            else if (Succeeded(first))
                first = result;
        }
        return first;
    }
    if (Is(pVerb, "delete"))
        return Delete(pInfo, pVerb);
    if (Is(pVerb, "undelete")) {
        const std::vector<TTarget> targets = fTargets;
        return RunMaybeAsync(pInfo, pVerb, [targets] {
            HResult first = S_OK;
            for (const TTarget& target : targets) {
                std::string restored;
                const HResult result =
                    target.Kind == TTargetKind::TrashEntry
                        ? RestoreFromTrash(target.TrashDir, target.TrashName, &restored)
                        : E_INVALIDARG;
                const bool folder = IsExistingFolder(restored);
                if (Succeeded(result))
                    Announce(folder ? shcne::MKDIR : shcne::CREATE, restored, folder);
                else if (Succeeded(first))
                    first = result;
            }
            return first;
        });
    }
    if (Is(pVerb, "empty"))
        return EmptyTrashAsked(pInfo, pVerb);
    if (Is(pVerb, "pintohome") || Is(pVerb, "unpinfromhome")) {
        std::vector<std::string> folders;
        for (const TTarget& target : fTargets)
            if (target.Kind == TTargetKind::Folder)
                folders.push_back(target.Path);
        return EditBookmarks(folders, Is(pVerb, "pintohome"));
    }
    if (Is(pVerb, "zip") || Is(pVerb, "extractall")) {
        if (!All([](const TTarget& pTarget) { return pTarget.IsFileSystem(); }))
            return E_INVALIDARG;
        if (Is(pVerb, "zip"))
            return RunOffUiThread(pInfo, pVerb, [targets = fTargets, owner = pInfo.Owner] {
                return OnThreadOfItsOwn(
                    [&targets, owner] { return CompressToZip(targets, owner); });
            });
        if (fTargets.size() != 1 || !IsZipFile(fTargets.front()))
            return E_INVALIDARG;
        return RunOffUiThread(pInfo, pVerb, [target = fTargets.front(), owner = pInfo.Owner] {
            return OnThreadOfItsOwn([&target, owner] { return ExtractAll(target, owner); });
        });
    }
    if (Is(pVerb, "copypath"))
        return Platform().Clipboard().SetText(PathsOf(fTargets).join(QStringLiteral("\r\n")));
    if (Is(pVerb, "properties")) {
        if (!hooks.ShowProperties)
            return E_NOTIMPL;
        std::vector<IdListBytes> lists;
        for (const TTarget& target : fTargets)
            lists.push_back(target.Absolute);
        return hooks.ShowProperties(lists);
    }
    // "rename": the view edits the name in place; the menu has nothing to run.
    if (Is(pVerb, "rename"))
        return E_NOTIMPL;
    return E_INVALIDARG;
}

// ---------------------------------------------------------------------------------------------
// The background menu.

class TBackgroundMenu final : public TModelContextMenu
{
public:
    explicit TBackgroundMenu(TTarget pFolder)
        : fFolder(std::move(pFolder))
    {
    }

protected:
    std::vector<MenuItem> BuildItems(std::uint32_t pFlags) override;
    HResult RunVerb(const QString& pVerb, const InvokeInfo& pInfo) override;

private:
    // The user's templates: file names in the Templates folder.
    static std::vector<std::string> Templates();

    TTarget fFolder;
};

std::vector<std::string> TBackgroundMenu::Templates()
{
    std::vector<std::string> names;
    const TXdgDirs dirs = TXdgDirs::Load();
    // A Templates folder that is the home folder itself means "no templates".
    if (dirs.Templates.empty() || dirs.Templates == dirs.Home)
        return names;
    TDir dir(::opendir(dirs.Templates.c_str()));
    while (dir.IsValid()) {
        const dirent* entry = ::readdir(dir.Get());
        if (!entry)
            break;
        const std::string name(entry->d_name);
        if (name.empty() || name[0] == '.' || IsExistingFolder(Join(dirs.Templates, name)))
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<MenuItem> TBackgroundMenu::BuildItems(std::uint32_t)
{
    if (fFolder.Kind == TTargetKind::Trash)
        return {Entry(kEmpty, "user-trash-full"), MenuItem::MakeSeparator(),
                Entry(kRefresh, "view-refresh")};
    if (fFolder.Kind != TTargetKind::Folder)
        return {Entry(kRefresh, "view-refresh")};
    std::vector<MenuItem> items;
    items.push_back(Entry(kRefresh, "view-refresh"));
    items.push_back(MenuItem::MakeSeparator());
    const bool canPaste = ClipboardHasFiles();
    MenuItem paste = Entry(kPaste, "edit-paste");
    paste.Enabled = canPaste;
    items.push_back(paste);
    MenuItem pasteLink = Entry(kPasteLink, "insert-link");
    pasteLink.Enabled = canPaste;
    items.push_back(pasteLink);
    items.push_back(MenuItem::MakeSeparator());
    MenuItem newMenu = Entry(kNew, "document-new");
    newMenu.Children.push_back(Entry(kNewFolder, "folder-new"));
    const std::vector<std::string> templates = Templates();
    if (!templates.empty())
        newMenu.Children.push_back(MenuItem::MakeSeparator());
    for (const std::string& name : templates) {
        MenuItem item;
        const QString shown = FileNameForDisplay(Q(name));
        const qsizetype dot = shown.lastIndexOf(u'.');
        item.Caption = dot > 0 ? shown.left(dot) : shown;
        item.Caption.replace(u'&', QLatin1String("&&"));
        item.Verb = QString(kNewFilePrefix) + Q(name);
        item.HelpText = QStringLiteral("Makes a new file from the template %1.").arg(shown);
        newMenu.Children.push_back(item);
    }
    items.push_back(newMenu);
    items.push_back(Entry(kTerminal, "utilities-terminal"));
    items.push_back(MenuItem::MakeSeparator());
    items.push_back(Entry(kProperties, "document-properties"));
    return items;
}

HResult TBackgroundMenu::RunVerb(const QString& pVerb, const InvokeInfo& pInfo)
{
    const std::string& folder = fFolder.Path;
    if (Is(pVerb, "refresh")) {
        if (!folder.empty())
            Announce(shcne::UPDATEDIR, folder, true);
        return S_OK;
    }
    if (Is(pVerb, "empty") && fFolder.Kind == TTargetKind::Trash)
        return EmptyTrashAsked(pInfo, pVerb);
    if (fFolder.Kind != TTargetKind::Folder)
        return E_INVALIDARG;
    if (Is(pVerb, "paste") || Is(pVerb, "pastelink"))
        return Paste(folder, pInfo, pVerb, Is(pVerb, "pastelink"));
    if (Is(pVerb, "NewFolder")) {
        const std::string path = UniquePath(folder, "New Folder", true);
        if (::mkdir(path.c_str(), 0777) != 0)
            return HResultFromWin32(errno == EACCES || errno == EPERM || errno == EROFS
                                        ? win32::ERROR_ACCESS_DENIED
                                        : win32::ERROR_CANNOT_MAKE);
        Announce(shcne::MKDIR, path, true);
        return S_OK;
    }
    if (pVerb.startsWith(kNewFilePrefix)) {
        const std::string name = B(pVerb.mid(kNewFilePrefix.size()));
        const std::vector<std::string> templates = Templates();
        if (std::find(templates.begin(), templates.end(), name) == templates.end())
            return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
        const std::string path = UniquePath(folder, name, false);
        const HResult result = Platform().FileSystem().CopyFile(
            Q(Join(TXdgDirs::Load().Templates, name)), Q(path), true);
        if (Succeeded(result))
            Announce(shcne::CREATE, path, false);
        return result;
    }
    if (Is(pVerb, "cmd"))
        return StartTerminal(Q(folder));
    if (Is(pVerb, "properties")) {
        const TMenuHooks hooks = CurrentHooks();
        if (!hooks.ShowProperties)
            return E_NOTIMPL;
        return hooks.ShowProperties({fFolder.Absolute});
    }
    return E_INVALIDARG;
}

} // namespace

void SetMenuHooks(TMenuHooks pHooks)
{
    std::lock_guard lock(HooksLock());
    Hooks() = std::move(pHooks);
}

TMenuHooks MenuHooks()
{
    return CurrentHooks();
}

void WaitForMenuWork()
{
    TMenuWorker::Instance().WaitIdle();
}

void StartWarmingMenus()
{
    TMenuWorker::Instance().Post([] { WarmApplicationsIndex(); });
}

HResult OpenWithApplication(const std::string& pAppId, const QStringList& pPaths)
{
    const auto app = ApplicationById(pAppId);
    if (!app)
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    return Launch(*app, pPaths, pPaths.isEmpty() ? QString() : FolderOfPath(B(pPaths.front())));
}

HResult CreateItemMenu(std::vector<IdListBytes> pItems, IContextMenuPtr& pMenu)
{
    pMenu.reset();
    if (pItems.empty())
        return E_INVALIDARG;
    std::vector<TTarget> targets;
    targets.reserve(pItems.size());
    for (IdListBytes& list : pItems) {
        TTarget target;
        if (HResult result = MakeTarget(std::move(list), target); Failed(result))
            return result;
        targets.push_back(std::move(target));
    }
    pMenu = std::make_shared<TItemMenu>(std::move(targets));
    return S_OK;
}

HResult CreateFolderBackgroundMenu(IdListBytes pFolder, IContextMenuPtr& pMenu)
{
    pMenu.reset();
    TTarget folder;
    if (HResult result = MakeTarget(std::move(pFolder), folder); Failed(result))
        return result;
    pMenu = std::make_shared<TBackgroundMenu>(std::move(folder));
    return S_OK;
}

IDataObjectPtr CreateDataObject(const std::vector<IdListBytes>& pItems, std::uint32_t pEffect)
{
    auto data = std::make_shared<TDataObject>();
    QStringList paths;
    for (const IdListBytes& list : pItems) {
        std::string path;
        if (PathOfIdList(IdSpan(list), path))
            paths.push_back(Q(path));
    }
    if (!paths.isEmpty())
        data->SetData(ClipFormat::HDrop, TClipboardFiles::BuildDropFiles(paths));
    if (!pItems.empty())
        data->SetData(ClipFormat::ShellIdListArray, BuildShellIdListArray(IdSpan(), pItems));
    data->SetData(ClipFormat::PreferredDropEffect, DropEffectToBytes(pEffect));
    return data;
}

// ---------------------------------------------------------------------------------------------
// The folders' and the namespace's part.

namespace {

std::vector<IdListBytes> AbsoluteItems(const IdListBytes& pFolder, std::span<const IdSpan> pItems)
{
    std::vector<IdListBytes> lists;
    lists.reserve(pItems.size());
    for (const IdSpan item : pItems)
        lists.push_back(idl::Combine(IdSpan(pFolder), item));
    return lists;
}

} // namespace

HResult TLinuxFolder::GetContextMenu(WindowRef, std::span<const IdSpan> pItems,
                                     IContextMenuPtr& pMenu)
{
    return CreateItemMenu(AbsoluteItems(fAbsolute, pItems), pMenu);
}

HResult TLinuxFolder::GetDataObject(WindowRef, std::span<const IdSpan> pItems,
                                    IDataObjectPtr& pData)
{
    if (pItems.empty())
        return E_INVALIDARG;
    pData = CreateDataObject(AbsoluteItems(fAbsolute, pItems));
    return S_OK;
}

HResult TLinuxFolder::GetInfoTip(IdSpan pItem, std::uint32_t, QString& pTip)
{
    // The first columns after the name (type, size, date), one "Header: text" line each.
    QStringList lines;
    for (std::uint32_t column = 1; column <= 3; ++column) {
        ShellDetails header;
        ShellDetails value;
        if (Failed(GetDetailsOf(nullptr, column, header)) ||
            Failed(GetDetailsOf(&pItem, column, value)))
            break;
        if (!value.Text.isEmpty())
            lines.push_back(header.Text + QStringLiteral(": ") + value.Text);
    }
    pTip = lines.join(u'\n');
    return S_OK;
}

HResult TLinuxFolder::CreateBackgroundMenu(WindowRef, IContextMenuPtr& pMenu)
{
    return CreateFolderBackgroundMenu(fAbsolute, pMenu);
}

HResult TLinuxNamespace::CreateDefaultFolderMenu(WindowRef pOwner, const IShellFolderPtr& pFolder,
                                                 std::span<const IdSpan> pItems, const QStringList&,
                                                 IContextMenuPtr& pMenu)
{
    pMenu.reset();
    if (!pFolder || pItems.empty())
        return E_INVALIDARG;
    // The folder's data object says what the menu is for: its item lists, else its files.
    IDataObjectPtr data;
    if (HResult result = pFolder->GetDataObject(pOwner, pItems, data); Failed(result) || !data)
        return Failed(result) ? result : E_FAIL;
    std::vector<IdListBytes> lists;
    QByteArray bytes;
    if (Succeeded(data->GetData(ClipFormat::ShellIdListArray, bytes)))
        if (auto parsed = ParseShellIdListArray(bytes))
            lists = std::move(*parsed);
    if (lists.empty() && Succeeded(data->GetData(ClipFormat::HDrop, bytes))) {
        for (const QString& path : TClipboardFiles::ParseDropFiles(bytes)) {
            IdListBytes list;
            if (Succeeded(ParseAbsolutePath(B(path), list)))
                lists.push_back(std::move(list));
        }
    }
    if (lists.empty())
        return E_FAIL;
    return CreateItemMenu(std::move(lists), pMenu);
}

} // namespace kiv::pf::lnx

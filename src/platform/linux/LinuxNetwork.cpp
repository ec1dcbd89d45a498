#include "LinuxNetwork.h"

#include "Errno.h"
#include "MountTable.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QUrl>

#include <algorithm>
#include <condition_variable>
#include <dirent.h>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sys/statvfs.h>

namespace kiv::pf::lnx {

struct TStuckProbes
{
    std::mutex Lock;
    std::set<std::string> Paths; // guarded by Lock
};

namespace {

// System error codes this service answers with.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kNotSupported = 50;
constexpr std::uint32_t kBadNetPath = 53;
constexpr std::uint32_t kCancelled = 1223;
constexpr std::uint32_t kLogonFailure = 1326;
constexpr std::uint32_t kTimeout = 1460;

// How many remote paths the connection dialog offers again.
constexpr int kMaxRecent = 10;

int StatvfsProbe(const std::string& pPath)
{
    struct statvfs info
    {
    };
    return ::statvfs(pPath.c_str(), &info) == 0 ? 0 : errno;
}

// Runs pWork on a thread of its own and waits at most pTimeout for it; nullopt when it did not
// finish in time. The thread is then abandoned: it keeps only what it was given.
template <class T>
std::optional<T> RunWithTimeout(std::function<T()> pWork, std::chrono::milliseconds pTimeout)
{
    struct TState
    {
        std::mutex Lock;
        std::condition_variable Done;
        std::optional<T> Result; // guarded by Lock
    };
    auto state = std::make_shared<TState>();
    std::thread([state, work = std::move(pWork)] {
        T result = work();
        const std::lock_guard lock(state->Lock);
        state->Result = std::move(result);
        state->Done.notify_all();
    }).detach();
    std::unique_lock lock(state->Lock);
    state->Done.wait_for(lock, pTimeout, [&] { return state->Result.has_value(); });
    return state->Result;
}

struct TRunResult
{
    bool Started = false;
    bool TimedOut = false;
    bool Stopped = false;
    int ExitCode = -1;
    QString Out;
    QString Err;
};

// What to write when the program prompts: the answer line, or nullopt to close its input (the
// program then gives up).
using TPromptAnswer = std::function<std::optional<QByteArray>(const QString& pPrompt)>;

// Runs pProgram with an argument list (never through a shell) in the calling thread, answering
// its prompts, until it ends, pTimeout passes (killed) or pStop is requested (killed).
TRunResult RunProgram(const QString& pProgram, const QStringList& pArguments,
                      std::chrono::milliseconds pTimeout, const std::stop_token& pStop,
                      const TPromptAnswer& pAnswer)
{
    TRunResult result;
    QProcess process;
    // The prompts and messages are read by their English texts.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(pProgram, pArguments);
    if (!process.waitForStarted(5000))
        return result;
    result.Started = true;
    // Nothing to answer with: a program that asks gets end of input at once and gives up.
    bool inputOpen = static_cast<bool>(pAnswer);
    if (!inputOpen)
        process.closeWriteChannel();
    const auto deadline = std::chrono::steady_clock::now() + pTimeout;
    QByteArray out;
    qsizetype answeredUpTo = 0;
    while (process.state() != QProcess::NotRunning) {
        if (pStop.stop_requested() || std::chrono::steady_clock::now() >= deadline) {
            (pStop.stop_requested() ? result.Stopped : result.TimedOut) = true;
            process.kill();
            process.waitForFinished(2000);
            return result;
        }
        // 50 ms: how soon a cancel or time-out takes effect.
        process.waitForReadyRead(50);
        out += process.readAllStandardOutput();
        // A prompt is an unfinished last line ending in ':' (and perhaps a blank).
        const QByteArray pending = out.mid(answeredUpTo);
        const QByteArray trimmed = pending.trimmed();
        if (!inputOpen || pending.endsWith('\n') || !trimmed.endsWith(':'))
            continue;
        // A prompt is followed by silence: text that goes on was a line in the middle of
        // being written. 100 ms: far longer than a flushed line takes to arrive.
        if (process.waitForReadyRead(100))
            continue;
        answeredUpTo = out.size();
        const qsizetype lineStart = trimmed.lastIndexOf('\n') + 1;
        const std::optional<QByteArray> answer = pAnswer(QString::fromUtf8(trimmed.mid(lineStart)));
        if (answer) {
            process.write(*answer + '\n');
        } else {
            process.closeWriteChannel();
            inputOpen = false;
        }
    }
    out += process.readAllStandardOutput();
    result.Out = QString::fromUtf8(out);
    result.Err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QString NotInstalledText(const QString& pProgram)
{
    return QStringLiteral("The program \"%1\" was not found, so network shares cannot be "
                          "connected or disconnected here. Install it (for \"gio\": the packages "
                          "libglib2.0-bin and gvfs-backends) and try again.")
        .arg(pProgram);
}

// The code and text of a failed run of gio.
std::uint32_t RunFailure(const QString& pProgram, const TRunResult& pRun, QString& pMessage)
{
    if (!pRun.Started) {
        pMessage = NotInstalledText(pProgram);
        return kFileNotFound;
    }
    if (pRun.Stopped) {
        pMessage = QStringLiteral("The operation was cancelled.");
        return kCancelled;
    }
    if (pRun.TimedOut) {
        pMessage = QStringLiteral("The server did not answer in time.");
        return kTimeout;
    }
    pMessage = pRun.Err;
    if (pMessage.startsWith(QLatin1String("gio: ")))
        pMessage.remove(0, 5);
    if (pMessage.isEmpty())
        pMessage = QStringLiteral("The network location could not be reached.");
    const QString err = pRun.Err.toLower();
    for (const char* word :
         {"password", "permission denied", "logon", "authentic", "aborted", "cancelled"})
        if (err.contains(QLatin1String(word)))
            return kLogonFailure;
    if (err.contains(QLatin1String("not supported")))
        return kNotSupported;
    return kBadNetPath;
}

// Answers each kind of credential prompt once; a second prompt of a kind means the answer was
// refused, and closing the input ends the attempt instead of asking forever.
TPromptAnswer CredentialAnswers(const TNetworkCredentials& pCredentials)
{
    auto asked = std::make_shared<std::set<QString>>();
    return [pCredentials, asked](const QString& pPrompt) -> std::optional<QByteArray> {
        const struct
        {
            const char* Word;
            const QString& Value;
        } kinds[] = {{"User", pCredentials.User},
                     {"Domain", pCredentials.Domain},
                     {"Password", pCredentials.Password}};
        for (const auto& kind : kinds) {
            if (!pPrompt.startsWith(QLatin1String(kind.Word)))
                continue;
            if (!asked->insert(QLatin1String(kind.Word)).second)
                return std::nullopt;
            return kind.Value.toUtf8();
        }
        // Questions this dialog cannot answer (an unknown host key): no.
        return std::nullopt;
    };
}

QString LocalPathOf(const QString& pGio, const QString& pRemote, const std::stop_token& pStop)
{
    const TRunResult info =
        RunProgram(pGio, {QStringLiteral("info"), pRemote}, std::chrono::seconds(10), pStop, {});
    for (const QString& line : info.Out.split(u'\n')) {
        const QString text = line.trimmed();
        if (text.startsWith(QLatin1String("local path: ")))
            return text.mid(12);
    }
    return {};
}

// The URI of a mount table source ("//server/share", "host:/path", "user@host:path").
QString RemoteOfSource(const QString& pSource, const QString& pType)
{
    if (pSource.startsWith(QLatin1String("//")))
        return RemotePathToUri(pSource);
    const qsizetype colon = pSource.indexOf(u':');
    if (colon <= 0)
        return {};
    const QString host = pSource.left(colon);
    QString path = pSource.mid(colon + 1);
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    const QString scheme = pType.startsWith(QLatin1String("nfs"))   ? QStringLiteral("nfs")
                           : pType.contains(QLatin1String("sshfs")) ? QStringLiteral("sftp")
                                                                    : QString();
    return scheme.isEmpty() ? QString()
                            : RemotePathToUri(scheme + QStringLiteral("://") + host + path);
}

std::vector<std::string> ListFolder(const std::string& pFolder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(pFolder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace

QString GvfsNameToUri(const QString& pName)
{
    const qsizetype colon = pName.indexOf(u':');
    if (colon <= 0)
        return {};
    QString kind = pName.left(colon);
    std::map<QString, QString> keys;
    for (const QString& pair : pName.mid(colon + 1).split(u',', Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(u'=');
        if (equals > 0)
            keys[pair.left(equals)] = QUrl::fromPercentEncoding(pair.mid(equals + 1).toUtf8());
    }
    QUrl url;
    if (kind == QLatin1String("smb-share")) {
        url.setScheme(QStringLiteral("smb"));
        url.setHost(keys[QStringLiteral("server")]);
        url.setPath(u'/' + keys[QStringLiteral("share")]);
    } else {
        url.setScheme(kind);
        url.setHost(keys[QStringLiteral("host")]);
        const QString prefix = keys[QStringLiteral("prefix")];
        if (!prefix.isEmpty())
            url.setPath(prefix.startsWith(u'/') ? prefix : u'/' + prefix);
    }
    if (url.host().isEmpty())
        return {};
    url.setUserName(keys[QStringLiteral("user")]);
    if (const QString port = keys[QStringLiteral("port")]; !port.isEmpty())
        url.setPort(port.toInt());
    return RemotePathToUri(url.toString(QUrl::FullyEncoded));
}

TLinuxNetwork::TLinuxNetwork(TLinuxNetworkOptions pOptions)
    : fOptions(std::move(pOptions))
    , fStuck(std::make_shared<TStuckProbes>())
{
}

TLinuxNetwork::~TLinuxNetwork() = default;

std::uint32_t TLinuxNetwork::AddTemporaryConnection(const QString& pPath,
                                                    std::chrono::milliseconds pTimeout)
{
    if (!pPath.startsWith(u'/'))
        return kBadNetPath;
    const std::string path = EncodeFileName(pPath);
    // A mount is stuck as a whole: its root stands for every path inside.
    const std::vector<TMount> mounts = ReadMountTable();
    const TMount* mount = MountContaining(mounts, path, false);
    const std::string key = mount ? mount->Path : path;
    {
        const std::lock_guard lock(fStuck->Lock);
        if (fStuck->Paths.count(key))
            return kBadNetPath;
        fStuck->Paths.insert(key);
    }
    auto probe = fOptions.Probe ? fOptions.Probe : StatvfsProbe;
    auto stuck = fStuck;
    const std::optional<int> error = RunWithTimeout<int>(
        [probe, path, key, stuck] {
            const int result = probe(path);
            // Back at last: the mount answers again.
            const std::lock_guard lock(stuck->Lock);
            stuck->Paths.erase(key);
            return result;
        },
        pTimeout);
    if (!error)
        return kBadNetPath;
    return *error == 0 ? 0 : Win32FromErrno(*error);
}

std::uint32_t TLinuxNetwork::Mount(const QString& pRemote, const TNetworkCredentials& pCredentials,
                                   std::stop_token pStop, QString& pMountPath, QString& pMessage)
{
    pMountPath.clear();
    pMessage.clear();
    const QString remote = RemotePathToUri(pRemote);
    if (remote.isEmpty()) {
        pMessage = QStringLiteral("\"%1\" is not a network location.").arg(pRemote);
        return kBadNetPath;
    }
    const TRunResult run =
        RunProgram(fOptions.Gio, {QStringLiteral("mount"), remote}, fOptions.MountTimeout, pStop,
                   CredentialAnswers(pCredentials));
    const bool already = run.Err.contains(QLatin1String("already mounted"));
    if (!run.Started || run.Stopped || run.TimedOut || (run.ExitCode != 0 && !already))
        return RunFailure(fOptions.Gio, run, pMessage);
    pMountPath = LocalPathOf(fOptions.Gio, remote, pStop);
    return 0;
}

std::uint32_t TLinuxNetwork::Unmount(const TNetworkMount& pMount, QString& pMessage)
{
    pMessage.clear();
    // FUSE file systems of the user (sshfs) are unmounted by their own helper; GVfs and kernel
    // mounts by gio, which asks the daemon or the system's unmount.
    const bool fuse = pMount.Type.startsWith(QLatin1String("fuse.")) &&
                      pMount.Type != QLatin1String("fuse.gvfsd-fuse");
    const QString program = fuse ? fOptions.Fusermount : fOptions.Gio;
    const QStringList arguments =
        fuse ? QStringList{QStringLiteral("-u"), pMount.Path}
             : QStringList{QStringLiteral("mount"), QStringLiteral("-u"), pMount.Path};
    const TRunResult run = RunProgram(program, arguments, fOptions.UnmountTimeout, {}, {});
    if (!run.Started || run.TimedOut || run.ExitCode != 0)
        return RunFailure(program, run, pMessage);
    if (!pMount.Remote.isEmpty())
        ForgetReconnect(pMount.Remote);
    return 0;
}

std::vector<TNetworkMount> TLinuxNetwork::NetworkMounts()
{
    std::vector<TNetworkMount> result;
    for (const TMount& mount : ReadMountTable()) {
        if (mount.Drive != DriveType::Remote)
            continue;
        const QString path = DecodeFileName(mount.Path);
        const QString type = QString::fromStdString(mount.Type);
        if (mount.Type != "fuse.gvfsd-fuse") {
            result.push_back(
                {path, RemoteOfSource(QString::fromStdString(mount.Source), type), type});
            continue;
        }
        // GVfs: one folder per share below its root. 2 s as for reachability: a hung daemon
        // leaves the list without its shares rather than hanging the dialog.
        const std::optional<std::vector<std::string>> names =
            RunWithTimeout<std::vector<std::string>>(
                [root = mount.Path] { return ListFolder(root); }, kReachTimeout);
        for (const std::string& name : names.value_or(std::vector<std::string>{})) {
            const QString decoded = DecodeFileName(name);
            result.push_back(
                {path + u'/' + decoded, GvfsNameToUri(decoded), QStringLiteral("gvfs")});
        }
    }
    return result;
}

QString TLinuxNetwork::SettingsFile() const
{
    if (!fOptions.SettingsFile.isEmpty())
        return fOptions.SettingsFile;
    return DecodeFileName(TXdgDirs::Load().ConfigHome) + QStringLiteral("/tovaline/network.ini");
}

namespace {
// QSettings objects over one file are not coordinated between threads; one at a time.
std::mutex& SettingsLock()
{
    static std::mutex lock;
    return lock;
}
} // namespace

QStringList TLinuxNetwork::RecentRemotes()
{
    const std::lock_guard lock(SettingsLock());
    return QSettings(SettingsFile(), QSettings::IniFormat)
        .value(QStringLiteral("Recent"))
        .toStringList();
}

QStringList TLinuxNetwork::ReconnectRemotes()
{
    const std::lock_guard lock(SettingsLock());
    return QSettings(SettingsFile(), QSettings::IniFormat)
        .value(QStringLiteral("Reconnect"))
        .toStringList();
}

void TLinuxNetwork::RememberRemote(const QString& pRemote, bool pReconnect)
{
    const std::lock_guard lock(SettingsLock());
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    QStringList recent = settings.value(QStringLiteral("Recent")).toStringList();
    recent.removeAll(pRemote);
    recent.prepend(pRemote);
    settings.setValue(QStringLiteral("Recent"), recent.mid(0, kMaxRecent));
    QStringList reconnect = settings.value(QStringLiteral("Reconnect")).toStringList();
    reconnect.removeAll(pRemote);
    if (pReconnect)
        reconnect.append(pRemote);
    settings.setValue(QStringLiteral("Reconnect"), reconnect);
}

void TLinuxNetwork::ForgetReconnect(const QString& pRemote)
{
    const std::lock_guard lock(SettingsLock());
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    QStringList reconnect = settings.value(QStringLiteral("Reconnect")).toStringList();
    if (reconnect.removeAll(pRemote) > 0)
        settings.setValue(QStringLiteral("Reconnect"), reconnect);
}

void TLinuxNetwork::StartReconnecting()
{
    if (fReconnect.joinable())
        return;
    fReconnect = std::jthread([this](std::stop_token pStop) {
        const std::vector<TNetworkMount> mounted = NetworkMounts();
        for (const QString& remote : ReconnectRemotes()) {
            if (pStop.stop_requested())
                return;
            const bool already =
                std::any_of(mounted.begin(), mounted.end(),
                            [&](const TNetworkMount& m) { return m.Remote == remote; });
            QString path;
            QString message;
            if (!already)
                Mount(remote, {}, pStop, path, message);
        }
    });
}

} // namespace kiv::pf::lnx

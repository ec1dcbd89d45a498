#include "LinuxImageFactory.h"

#include "Errno.h"
#include "Handles.h"
#include "MountTable.h"
#include "SmallFile.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"
#include "core/platform/IIcons.h"
#include "core/platform/INamespace.h"
#include "core/threading/ThreadingTypes.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeDatabase>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

// The text keys of a thumbnail, as the cache's conventions name them.
constexpr QLatin1String kKeyUri("Thumb::URI");
constexpr QLatin1String kKeyMTime("Thumb::MTime");
constexpr QLatin1String kKeySize("Thumb::Size");
constexpr QLatin1String kKeyMimeType("Thumb::Mimetype");
constexpr QLatin1String kKeyImageWidth("Thumb::Image::Width");
constexpr QLatin1String kKeyImageHeight("Thumb::Image::Height");
constexpr QLatin1String kKeySoftware("Software");
constexpr QLatin1String kSoftware("Tovaline");

bool UriSafe(unsigned char pChar)
{
    if ((pChar >= 'A' && pChar <= 'Z') || (pChar >= 'a' && pChar <= 'z') ||
        (pChar >= '0' && pChar <= '9'))
        return true;
    return std::string_view("!$&'()*+,-./:=@_~").find(static_cast<char>(pChar)) !=
           std::string_view::npos;
}

// $XDG_CACHE_HOME/thumbnails, read afresh on every call (tests point it elsewhere); empty when
// neither it nor HOME is set.
std::string CacheRoot()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/thumbnails";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.cache/thumbnails";
    return {};
}

// The smallest flavour whose thumbnails are at least pPixels on their larger side (the largest
// one when none is).
const TThumbnailFlavour& FlavourFor(int pPixels)
{
    for (const TThumbnailFlavour& flavour : ThumbnailFlavours()) {
        if (flavour.Pixels >= pPixels)
            return flavour;
    }
    return ThumbnailFlavours().back();
}

// pImage scaled down to fit pBox, keeping its aspect ratio; never enlarged.
QImage FitInto(const QImage& pImage, QSize pBox)
{
    if (pImage.width() <= pBox.width() && pImage.height() <= pBox.height())
        return pImage;
    QSize size = pImage.size().scaled(pBox, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    return pImage.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Creates pPath and the folders above it below pRoot (which must exist or be creatable), private
// to the user as the cache's conventions ask.
bool MakeFolders(const std::string& pPath)
{
    for (std::size_t slash = 1; slash != std::string::npos; slash = pPath.find('/', slash + 1)) {
        const std::string part = pPath.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return ::mkdir(pPath.c_str(), 0700) == 0 || errno == EEXIST;
}

// Writes pImage as a PNG to pFolder/pName through a hidden temporary name in the same folder and
// one rename, so a reader never sees a half-written thumbnail.
bool WritePngAtomically(const std::string& pFolder, const std::string& pName, const QImage& pImage)
{
    if (!MakeFolders(pFolder))
        return false;
    std::string temporary = pFolder + "/.tovaline-XXXXXX.png";
    TFd fd(::mkostemps(temporary.data(), 4, O_CLOEXEC)); // 0600 by construction
    if (!fd.IsValid())
        return false;
    bool written = false;
    {
        QFile file;
        if (file.open(fd.Get(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
            QImageWriter writer(&file, "png");
            // The fastest deflate level: at the default one, writing a 256-pixel thumbnail of a
            // detailed photograph costs as much as decoding the photograph at 1/8 scale, for
            // a file only a few per cent smaller.
            writer.setCompression(1);
            written = writer.write(pImage) && file.flush();
        }
    }
    written = written && ::close(fd.Release()) == 0;
    const std::string target = pFolder + "/" + pName;
    if (written && ::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

// Files up to this size are read into memory in one go before decoding: the decoders read in
// 4 KiB steps, and on a 5 MB photograph those calls cost a tenth of the decoding. Larger ones
// (rare for pictures) are read from the file as the decoder goes.
constexpr std::uint64_t kReadWholeLimit = 64u << 20;

// A device over the open file pFd of pSize bytes: its content in pStorage when it is small
// enough, else the file itself. Null when reading fails.
std::unique_ptr<QIODevice> OpenContent(int pFd, std::uint64_t pSize, QByteArray& pStorage)
{
    if (pSize <= kReadWholeLimit) {
        pStorage.resize(static_cast<qsizetype>(pSize));
        std::uint64_t done = 0;
        while (done < pSize) {
            const ssize_t got = ::read(pFd, pStorage.data() + done, pSize - done);
            if (got == 0)
                break; // shorter than it was: decode what there is
            if (got < 0 && errno != EINTR)
                return nullptr;
            if (got > 0)
                done += static_cast<std::uint64_t>(got);
        }
        pStorage.truncate(static_cast<qsizetype>(done));
        auto buffer = std::make_unique<QBuffer>(&pStorage);
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(pFd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return nullptr;
    return file;
}

// Whether a stored Thumb::MTime names pMTime. The value is whole seconds; some writers add a
// fraction, which is ignored.
bool MTimeMatches(const QString& pStored, std::int64_t pMTime)
{
    bool ok = false;
    const QString whole = pStored.section(u'.', 0, 0);
    return whole.toLongLong(&ok) == pMTime && ok;
}

QImage::Format StorageFormat(const QImage& pImage)
{
    return pImage.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
}

const QSet<QString>& InProcessMimeTypes()
{
    static const QSet<QString> types = [] {
        QSet<QString> result;
        for (const QByteArray& type : QImageReader::supportedMimeTypes())
            result.insert(QString::fromLatin1(type));
        return result;
    }();
    return types;
}

// The folders of the installed thumbnailers after the freedesktop conventions, the user's first.
std::vector<std::string> ThumbnailerFolders(const QStringList& pGiven)
{
    std::vector<std::string> folders;
    for (const QString& folder : pGiven)
        folders.push_back(EncodeFileName(folder));
    if (!folders.empty())
        return folders;
    folders = DataDirs();
    for (std::string& folder : folders)
        folder += "/thumbnailers";
    return folders;
}

// Whether a program named by a TryExec or Exec key can be run: an absolute path that is
// executable, or a name found in PATH.
bool ProgramExists(const QString& pProgram)
{
    const std::string program = EncodeFileName(pProgram);
    if (program.empty())
        return false;
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    const std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t colon = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, colon - start) + "/" + program;
        if (colon > start && ::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = colon + 1;
    }
    return false;
}

// Runs a program with an argument vector (never a shell), with no input or output, in a process
// group of its own so that the helpers it starts go with it. Polls for its end (the run itself
// takes far longer than the 5 ms steps) and kills the group on time-out or cancellation.
HResult RunProgram(const QStringList& pArguments, std::chrono::milliseconds pTimeout,
                   const ICancellationIndicator* pCancel)
{
    if (pArguments.isEmpty())
        return WTS_E_FAILEDEXTRACTION;
    std::vector<std::string> bytes;
    bytes.reserve(static_cast<std::size_t>(pArguments.size()));
    for (const QString& argument : pArguments)
        bytes.push_back(EncodeFileName(argument));
    std::vector<char*> argv;
    argv.reserve(bytes.size() + 1);
    for (std::string& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                POSIX_SPAWN_SETSIGDEF);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    pid_t child = 0;
    const int spawned =
        ::posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return HResultFromErrno(spawned);

    const auto deadline = std::chrono::steady_clock::now() + pTimeout;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? S_OK : WTS_E_FAILEDEXTRACTION;
        if (ended < 0 && errno != EINTR)
            return WTS_E_FAILEDEXTRACTION; // reaped by someone else: its result is unknown
        const bool cancelled = pCancel && pCancel->IsCancellationRequested();
        if (cancelled || std::chrono::steady_clock::now() >= deadline) {
            ::kill(-child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return cancelled ? HResultFromWin32(win32::ERROR_CANCELLED) : WTS_E_EXTRACTIONTIMEDOUT;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Marks an item as being generated for the life of the object.
class TGeneratingMark
{
public:
    TGeneratingMark(std::mutex& pLock, std::set<std::string>& pSet, std::string pKey)
        : fLock(pLock)
        , fSet(pSet)
        , fKey(std::move(pKey))
    {
    }
    ~TGeneratingMark()
    {
        std::lock_guard lock(fLock);
        fSet.erase(fKey);
    }
    TGeneratingMark(const TGeneratingMark&) = delete;
    TGeneratingMark& operator=(const TGeneratingMark&) = delete;

private:
    std::mutex& fLock;
    std::set<std::string>& fSet;
    const std::string fKey;
};

} // namespace

// ---- helpers of the cache's conventions ------------------------------------------------------

std::string ThumbnailUri(std::string_view pPathBytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    uri.reserve(uri.size() + pPathBytes.size() * 3);
    for (const char c : pPathBytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (UriSafe(byte)) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xF];
        }
    }
    return uri;
}

std::string ThumbnailFileName(std::string_view pUri)
{
    const QByteArray hash = QCryptographicHash::hash(
        QByteArrayView(pUri.data(), static_cast<qsizetype>(pUri.size())), QCryptographicHash::Md5);
    return hash.toHex().toStdString() + ".png";
}

const std::vector<TThumbnailFlavour>& ThumbnailFlavours()
{
    static const std::vector<TThumbnailFlavour> flavours{
        {"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};
    return flavours;
}

bool ParseThumbnailer(std::string_view pText, TThumbnailerEntry& pEntry)
{
    pEntry = {};
    bool inEntry = false;
    std::size_t start = 0;
    while (start < pText.size()) {
        const std::size_t end = std::min(pText.find('\n', start), pText.size());
        std::string_view line = pText.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Thumbnailer Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos)
            continue;
        std::string_view key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.remove_suffix(1);
        std::string_view value = line.substr(equals + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        const QString text = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
        if (key == "TryExec")
            pEntry.TryExec = text;
        else if (key == "Exec")
            pEntry.Exec = text;
        else if (key == "MimeType")
            pEntry.MimeTypes = text.split(u';', Qt::SkipEmptyParts);
    }
    return !pEntry.Exec.trimmed().isEmpty() && !pEntry.MimeTypes.isEmpty();
}

QStringList ExpandThumbnailerExec(const QString& pExec, const QString& pInput, const QString& pUri,
                                  const QString& pOutput, int pSize)
{
    // First the quoting: arguments apart from each other by blanks, "..." keeps blanks and takes
    // \" \` \$ \\ as escapes.
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < pExec.size(); ++i) {
        const QChar c = pExec.at(i);
        if (quoted) {
            if (c == u'\\' && i + 1 < pExec.size() &&
                QStringView(u"\"`$\\").contains(pExec.at(i + 1))) {
                word += pExec.at(++i);
            } else if (c == u'"') {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words.append(std::exchange(word, QString()));
            inWord = false;
        } else if (c == u'"') {
            quoted = true;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return {};
    if (inWord)
        words.append(word);

    // Then the field codes, each replaced by one value (never split again, so a path with
    // blanks or quotes stays one argument).
    QStringList arguments;
    for (const QString& each : words) {
        QString argument;
        for (qsizetype i = 0; i < each.size(); ++i) {
            if (each.at(i) != u'%' || i + 1 >= each.size()) {
                argument += each.at(i);
                continue;
            }
            switch (each.at(++i).unicode()) {
            case 'i':
                argument += pInput;
                break;
            case 'u':
                argument += pUri;
                break;
            case 'o':
                argument += pOutput;
                break;
            case 's':
                argument += QString::number(pSize);
                break;
            case '%':
                argument += u'%';
                break;
            default:
                break; // unknown codes are dropped
            }
        }
        arguments.append(argument);
    }
    return arguments;
}

// ---- the factory ------------------------------------------------------------------------------

struct TLinuxImageFactory::TItem
{
    QString Path;
    std::string PathBytes;
    std::string Uri;
    std::string FileName; // MD5 of the URI + ".png"
    std::string Root;     // the cache's folder
    std::int64_t MTime = 0;
    std::uint64_t Size = 0;

    // Whether a stored thumbnail (or failure record) was made from the file as it is now. Reads
    // the text keys, which precede the picture in what we and others write; when they come after
    // it the picture is read too. pImage receives the picture when given.
    bool ReadValid(const std::string& pFile, QImage* pImage) const
    {
        TFd fd(::open(pFile.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st
        {
        };
        if (!fd.IsValid() || ::fstat(fd.Get(), &st) != 0)
            return false;
        QByteArray storage;
        const std::unique_ptr<QIODevice> content =
            OpenContent(fd.Get(), static_cast<std::uint64_t>(st.st_size), storage);
        if (!content)
            return false;
        QImageReader reader(content.get(), "png");
        QString mtime = reader.text(kKeyMTime);
        QString size = reader.text(kKeySize);
        QImage image;
        if (mtime.isEmpty()) {
            image = reader.read();
            mtime = image.text(kKeyMTime);
            size = image.text(kKeySize);
        }
        if (!MTimeMatches(mtime, MTime))
            return false;
        if (!size.isEmpty() && size.toULongLong() != Size)
            return false;
        if (!pImage)
            return true;
        if (image.isNull())
            image = reader.read();
        *pImage = image;
        return !image.isNull();
    }

    std::string FailFile(const QString& pFolderName) const
    {
        return Root + "/fail/" + EncodeFileName(pFolderName) + "/" + FileName;
    }

    // The picture with the keys that tie it to this file.
    QImage Tagged(QImage pImage) const
    {
        pImage.setText(kKeyUri, QString::fromStdString(Uri));
        pImage.setText(kKeyMTime, QString::number(MTime));
        pImage.setText(kKeySize, QString::number(Size));
        pImage.setText(kKeySoftware, kSoftware);
        return pImage;
    }
};

TLinuxImageFactory::TLinuxImageFactory(INamespace& pNamespace, IIcons& pIcons,
                                       TImageFactoryOptions pOptions)
    : fNamespace(pNamespace)
    , fIcons(pIcons)
    , fOptions(std::move(pOptions))
{
}

TLinuxImageFactory::~TLinuxImageFactory() = default;

HResult TLinuxImageFactory::GetImage(IdSpan pAbsolute, QSize pSize, std::uint32_t pFlags,
                                     QImage& pImage, const ICancellationIndicator* pCancel)
{
    pImage = QImage();
    if (pSize.width() < 1 || pSize.height() < 1)
        return E_INVALIDARG;
    QString path;
    HResult result = WTS_E_FAILEDEXTRACTION;
    if ((pFlags & siigbf::ICONONLY) == 0 && fNamespace.GetPathFromIdList(pAbsolute, path))
        result = GetImageOfPath(path, pSize, pFlags, pImage, pCancel);
    const bool iconWanted =
        (pFlags & siigbf::ICONONLY) != 0 || ((pFlags & siigbf::THUMBNAILONLY) == 0 &&
                                             Failed(result) && result != WTS_E_EXTRACTIONPENDING);
    if (!iconWanted)
        return result;

    const int index = fIcons.IconIndexOfIdList(pAbsolute, false);
    const int pixels = std::clamp(std::max(pSize.width(), pSize.height()), 16, 1024);
    const QImage icon = index >= 0 ? fIcons.Render(index, pixels) : QImage();
    if (icon.isNull())
        return WTS_E_FAILEDEXTRACTION;
    pImage = FitInto(icon, pSize);
    return S_OK;
}

HResult TLinuxImageFactory::GetImageOfPath(const QString& pPath, QSize pSize, std::uint32_t pFlags,
                                           QImage& pImage, const ICancellationIndicator* pCancel)
{
    pImage = QImage();
    if (pSize.width() < 1 || pSize.height() < 1)
        return E_INVALIDARG;
    TItem item;
    item.Path = pPath;
    item.PathBytes = EncodeFileName(pPath);
    struct stat st
    {
    };
    if (::stat(item.PathBytes.c_str(), &st) != 0)
        return HResultFromErrno(errno);
    // Folders have no thumbnail here, and special files (pipes, devices) must never be read:
    // reading a pipe would wait for a writer forever.
    if (!S_ISREG(st.st_mode))
        return WTS_E_FAILEDEXTRACTION;
    item.MTime = st.st_mtim.tv_sec;
    item.Size = static_cast<std::uint64_t>(st.st_size);
    item.Root = CacheRoot();
    // Nor are thumbnails thumbnailed, which would fill the cache with copies of itself.
    if (item.Root.empty() || IsPathPrefix(item.Root, item.PathBytes))
        return WTS_E_FAILEDEXTRACTION;
    item.Uri = ThumbnailUri(item.PathBytes);
    item.FileName = ThumbnailFileName(item.Uri);

    const int pixels = FlavourFor(std::max(pSize.width(), pSize.height())).Pixels;
    QImage image;
    HResult result = FromCache(item, pixels, image);
    if (Failed(result) && (pFlags & siigbf::INCACHEONLY) == 0)
        result = Generate(item, pixels, image, pCancel);
    if (Failed(result))
        return result;
    pImage = FitInto(image, pSize);
    return S_OK;
}

HResult TLinuxImageFactory::FromCache(const TItem& pItem, int pPixels, QImage& pImage)
{
    // A larger flavour serves as well: its picture is scaled down.
    for (const TThumbnailFlavour& flavour : ThumbnailFlavours()) {
        if (flavour.Pixels < pPixels)
            continue;
        const std::string file = pItem.Root + "/" + flavour.Folder + "/" + pItem.FileName;
        if (Recent(file, pItem, pImage))
            return S_OK;
        if (pItem.ReadValid(file, &pImage)) {
            Remember(file, pItem, pImage);
            return S_OK;
        }
    }
    return WTS_E_FAILEDEXTRACTION;
}

HResult TLinuxImageFactory::Generate(const TItem& pItem, int pPixels, QImage& pImage,
                                     const ICancellationIndicator* pCancel)
{
    if (pItem.ReadValid(pItem.FailFile(fOptions.FailFolderName), nullptr))
        return WTS_E_FAILEDEXTRACTION;
    if (fOptions.MaxRemoteFileSize > 0 && pItem.Size > fOptions.MaxRemoteFileSize) {
        const std::vector<TMount> mounts = ReadMountTable();
        const TMount* mount = MountContaining(mounts, pItem.PathBytes, false);
        if (mount && mount->Drive == DriveType::Remote)
            return WTS_E_EXTRACTIONBLOCKED;
    }
    {
        std::lock_guard lock(fLock);
        if (!fGenerating.insert(pItem.FileName).second)
            return WTS_E_EXTRACTIONPENDING;
    }
    const TGeneratingMark mark(fLock, fGenerating, pItem.FileName);
    if (OnGenerating)
        OnGenerating(pItem.Path);
    // Another thread may have finished this item between our look into the cache and the mark.
    if (Succeeded(FromCache(pItem, pPixels, pImage)))
        return S_OK;

    TFd fd(::open(pItem.PathBytes.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid())
        return HResultFromErrno(errno);
    // The type from the name and the first bytes only: a video for a thumbnailer program must
    // not be read here.
    QMimeType mime;
    {
        QFile head;
        if (!head.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return WTS_E_FAILEDEXTRACTION;
        mime = QMimeDatabase().mimeTypeForFileNameAndData(pItem.Path, &head);
    }

    QImage image;
    QSize original;
    HResult result = WTS_E_FAILEDEXTRACTION;
    if (ReadsPicturesInProcess(mime)) {
        QByteArray storage;
        const std::unique_ptr<QIODevice> content = ::lseek(fd.Get(), 0, SEEK_SET) == 0
                                                       ? OpenContent(fd.Get(), pItem.Size, storage)
                                                       : nullptr;
        if (!content)
            return HResultFromErrno(errno);
        QImageReader reader(content.get());
        reader.setAutoTransform(true);
        original = reader.size();
        // The reader decodes a JPEG at 1/2, 1/4 or 1/8 of its size when told the size wanted,
        // which is most of the time saved on photographs. The box is square, so the
        // orientation of the picture in the file does not matter.
        if (original.isValid() && (original.width() > pPixels || original.height() > pPixels))
            reader.setScaledSize(
                original.scaled(pPixels, pPixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        image = reader.read();
        result = image.isNull() ? WTS_E_FAILEDEXTRACTION : S_OK;
    } else {
        const std::vector<TThumbnailerEntry> thumbnailers = Thumbnailers();
        const auto match = std::find_if(
            thumbnailers.begin(), thumbnailers.end(),
            [&](const TThumbnailerEntry& pEntry) { return ThumbnailerServes(pEntry, mime); });
        // Without a program for the type there is nothing to record as failed.
        if (match == thumbnailers.end())
            return WTS_E_FAILEDEXTRACTION;
        result = RunThumbnailer(pItem, *match, pPixels, image, pCancel);
    }
    fd.Reset();

    if (Failed(result)) {
        // A damaged file fails again until it changes; a time-out or a cancellation may not.
        if (result == WTS_E_FAILEDEXTRACTION) {
            QImage record(1, 1, QImage::Format_ARGB32);
            record.fill(Qt::transparent);
            const std::string failFile = pItem.FailFile(fOptions.FailFolderName);
            const std::size_t slash = failFile.rfind('/');
            WritePngAtomically(failFile.substr(0, slash), failFile.substr(slash + 1),
                               pItem.Tagged(record));
        }
        return result;
    }

    image = FitInto(image, QSize(pPixels, pPixels));
    image = pItem.Tagged(image.convertToFormat(StorageFormat(image)));
    image.setText(kKeyMimeType, mime.name());
    if (original.isValid()) {
        image.setText(kKeyImageWidth, QString::number(original.width()));
        image.setText(kKeyImageHeight, QString::number(original.height()));
    }
    // A cache that cannot be written (a full disk, a read-only home) still gives the picture.
    const std::string folder = pItem.Root + "/" + FlavourFor(pPixels).Folder;
    if (WritePngAtomically(folder, pItem.FileName, image))
        Remember(folder + "/" + pItem.FileName, pItem, image);
    pImage = image;
    return S_OK;
}

bool TLinuxImageFactory::Recent(const std::string& pFile, const TItem& pItem, QImage& pImage)
{
    std::lock_guard lock(fLock);
    const auto found =
        std::find_if(fRecent.begin(), fRecent.end(),
                     [&](const TRecentThumbnail& pEntry) { return pEntry.File == pFile; });
    if (found == fRecent.end())
        return false;
    if (found->MTime != pItem.MTime || found->Size != pItem.Size) {
        fRecent.erase(found);
        return false;
    }
    pImage = found->Image;
    return true;
}

void TLinuxImageFactory::Remember(const std::string& pFile, const TItem& pItem,
                                  const QImage& pImage)
{
    // 16: more than a view shows at once in a row of large thumbnails; at most a few MB.
    constexpr std::size_t kRecentCount = 16;
    std::lock_guard lock(fLock);
    const auto found =
        std::find_if(fRecent.begin(), fRecent.end(),
                     [&](const TRecentThumbnail& pEntry) { return pEntry.File == pFile; });
    if (found != fRecent.end())
        fRecent.erase(found);
    fRecent.push_front({pFile, pItem.MTime, pItem.Size, pImage});
    if (fRecent.size() > kRecentCount)
        fRecent.pop_back();
}

HResult TLinuxImageFactory::RunThumbnailer(const TItem& pItem, const TThumbnailerEntry& pEntry,
                                           int pPixels, QImage& pImage,
                                           const ICancellationIndicator* pCancel) const
{
    const std::string folder = pItem.Root + "/" + FlavourFor(pPixels).Folder;
    if (!MakeFolders(folder))
        return WTS_E_FAILEDEXTRACTION;
    std::string output = folder + "/.tovaline-out-XXXXXX.png";
    TFd outputFd(::mkostemps(output.data(), 4, O_CLOEXEC));
    if (!outputFd.IsValid())
        return HResultFromErrno(errno);
    outputFd.Reset();
    const QStringList arguments =
        ExpandThumbnailerExec(pEntry.Exec, pItem.Path, QString::fromStdString(pItem.Uri),
                              DecodeFileName(output), pPixels);
    HResult result = RunProgram(arguments, fOptions.ThumbnailerTimeout, pCancel);
    if (Succeeded(result)) {
        TFd fd(::open(output.c_str(), O_RDONLY | O_CLOEXEC));
        QFile file;
        if (fd.IsValid() && file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            pImage = QImageReader(&file).read();
        result = pImage.isNull() ? WTS_E_FAILEDEXTRACTION : S_OK;
    }
    ::unlink(output.c_str());
    return result;
}

bool ReadsPicturesInProcess(const QMimeType& pMime)
{
    const QSet<QString>& types = InProcessMimeTypes();
    if (types.contains(pMime.name()))
        return true;
    const QStringList aliases = pMime.aliases();
    return std::any_of(aliases.begin(), aliases.end(),
                       [&](const QString& pAlias) { return types.contains(pAlias); });
}

bool ThumbnailerServes(const TThumbnailerEntry& pEntry, const QMimeType& pMime)
{
    QStringList names = pMime.aliases();
    names.prepend(pMime.name());
    names += pMime.allAncestors();
    return std::any_of(names.begin(), names.end(),
                       [&](const QString& pName) { return pEntry.MimeTypes.contains(pName); });
}

std::vector<TThumbnailerEntry> ReadThumbnailers(const QStringList& pFolders)
{
    const std::vector<std::string> folders = ThumbnailerFolders(pFolders);
    // An entry of an earlier folder hides one of the same file name in a later folder.
    std::set<std::string> seen;
    std::vector<TThumbnailerEntry> entries;
    for (const std::string& dir : folders) {
        TDir listing(::opendir(dir.c_str()));
        if (!listing.IsValid())
            continue;
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(listing.Get())) {
            const std::string name = entry->d_name;
            if (name.size() > 12 && name.compare(name.size() - 12, 12, ".thumbnailer") == 0)
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (!seen.insert(name).second)
                continue;
            TThumbnailerEntry parsed;
            std::string file = dir;
            file += '/';
            file += name;
            if (!ParseThumbnailer(ReadSmallFile(file), parsed))
                continue;
            const QString program = parsed.TryExec.isEmpty()
                                        ? ExpandThumbnailerExec(parsed.Exec, {}, {}, {}, 0).value(0)
                                        : parsed.TryExec;
            if (ProgramExists(program))
                entries.push_back(std::move(parsed));
        }
    }
    return entries;
}

std::vector<TThumbnailerEntry> TLinuxImageFactory::Thumbnailers()
{
    const std::vector<std::string> folders = ThumbnailerFolders(fOptions.ThumbnailerFolders);
    std::string key;
    for (const std::string& folder : folders)
        key += folder + ":";
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(fLock);
        if (key == fThumbnailersKey && now - fThumbnailersRead < std::chrono::minutes(1))
            return fThumbnailers;
    }
    std::vector<TThumbnailerEntry> entries = ReadThumbnailers(fOptions.ThumbnailerFolders);
    std::lock_guard lock(fLock);
    fThumbnailersKey = key;
    fThumbnailersRead = now;
    fThumbnailers = entries;
    return entries;
}

} // namespace kiv::pf::lnx

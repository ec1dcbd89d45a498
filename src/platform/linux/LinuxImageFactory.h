#pragma once

#include "core/platform/IImageFactory.h"

#include <QImage>
#include <QMimeType>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::pf {
class IIcons;
class INamespace;
} // namespace kiv::pf

namespace kiv::pf::lnx {

// What the image factory may do; fixed after construction.
struct TImageFactoryOptions
{
    // Files on network mounts larger than this are not thumbnailed (WTS_E_EXTRACTIONBLOCKED):
    // generating reads the whole file over the network, and a folder of videos on a share would
    // keep the link busy for minutes. 10 MiB lets camera pictures through. 0: no limit.
    std::uint64_t MaxRemoteFileSize = 10u << 20;
    // How long a thumbnailer program may run before it is killed. Video thumbnailers seek into
    // the file and may take a few seconds on slow disks; anything past 10 s is stuck.
    std::chrono::milliseconds ThumbnailerTimeout{10000};
    // The folder below "fail/" where failed attempts are recorded, one per program as the cache's
    // conventions ask, so that our failures do not stop other programs from trying.
    QString FailFolderName = QStringLiteral("tovaline");
    // Folders holding .thumbnailer files, earlier ones first; empty: "thumbnailers" in each of
    // the freedesktop data folders (the user's, then $XDG_DATA_DIRS).
    QStringList ThumbnailerFolders;
};

// One installed thumbnailer: a program that writes a PNG thumbnail of the MIME types it lists.
struct TThumbnailerEntry
{
    QString TryExec;
    QString Exec;
    QStringList MimeTypes;
};

// The image factory over the freedesktop thumbnail cache ($XDG_CACHE_HOME/thumbnails, shared with
// the user's other programs): a thumbnail lives in the size folder normal (128), large (256),
// x-large (512) or xx-large (1024) under the MD5 of the file's URI, and is valid while its
// Thumb::MTime (and Thumb::Size when present) match the file. Missing thumbnails of pictures are
// generated in process with the image readers, which decode a JPEG at the reduced scale it needs;
// other types go through the installed .thumbnailer programs, each run as a child process with an
// argument vector and a time limit. Results are written back to the cache with a rename, so other
// programs never see half a file; failures are recorded in fail/<FailFolderName>/ and not retried
// until the file changes.
//
// Thread-safe: any number of workers call GetImage; while one of them generates an item, the
// others are answered WTS_E_EXTRACTIONPENDING for that item.
class TLinuxImageFactory final : public IImageFactory
{
public:
    TLinuxImageFactory(INamespace& pNamespace, IIcons& pIcons, TImageFactoryOptions pOptions = {});
    ~TLinuxImageFactory() override;

    HResult GetImage(IdSpan pAbsolute, QSize pSize, std::uint32_t pFlags, QImage& pImage,
                     const ICancellationIndicator* pCancel = nullptr) override;

    // The same for a path (the list's file-system path).
    HResult GetImageOfPath(const QString& pPath, QSize pSize, std::uint32_t pFlags, QImage& pImage,
                           const ICancellationIndicator* pCancel = nullptr);

    // Called on the generating thread after the item was marked as being generated and before
    // its content is read (tests hold a generation open there).
    std::function<void(const QString& pPath)> OnGenerating;

private:
    struct TItem;
    HResult FromCache(const TItem& pItem, int pPixels, QImage& pImage);
    bool Recent(const std::string& pFile, const TItem& pItem, QImage& pImage);
    void Remember(const std::string& pFile, const TItem& pItem, const QImage& pImage);
    HResult Generate(const TItem& pItem, int pPixels, QImage& pImage,
                     const ICancellationIndicator* pCancel);
    HResult RunThumbnailer(const TItem& pItem, const TThumbnailerEntry& pEntry, int pPixels,
                           QImage& pImage, const ICancellationIndicator* pCancel) const;
    std::vector<TThumbnailerEntry> Thumbnailers();

    INamespace& fNamespace;
    IIcons& fIcons;
    const TImageFactoryOptions fOptions;
    std::mutex fLock;
    std::set<std::string> fGenerating; // URI hashes being generated; guarded by fLock
    // The installed thumbnailers, read again when the data folders change or after a minute.
    std::string fThumbnailersKey;                            // guarded by fLock
    std::chrono::steady_clock::time_point fThumbnailersRead; // guarded by fLock
    std::vector<TThumbnailerEntry> fThumbnailers;            // guarded by fLock
    // The last thumbnails read or made, newest first: callers ask the cache again right after
    // a picture was made or found, and a view redraws the same few items.
    struct TRecentThumbnail
    {
        std::string File;
        std::int64_t MTime;
        std::uint64_t Size;
        QImage Image;
    };
    std::deque<TRecentThumbnail> fRecent; // guarded by fLock
};

// The URI the cache is keyed by: "file://" and the path's bytes, every byte outside
// A-Z a-z 0-9 and !$&'()*+,-./:=@_~ written as %XX (upper-case hex), as other programs key it.
std::string ThumbnailUri(std::string_view pPathBytes);
// The cache file name of a URI: its MD5 in lower-case hex and ".png".
std::string ThumbnailFileName(std::string_view pUri);
// The size folders of the cache and the largest side of their thumbnails.
struct TThumbnailFlavour
{
    const char* Folder;
    int Pixels;
};
const std::vector<TThumbnailFlavour>& ThumbnailFlavours();

// The installed thumbnailers whose programs exist, from pFolders (empty: "thumbnailers" in each
// of the freedesktop data folders); an entry of an earlier folder hides one of the same file name
// in a later folder. Reads the disk: callers keep the result for a while.
std::vector<TThumbnailerEntry> ReadThumbnailers(const QStringList& pFolders = {});
// Whether pEntry makes thumbnails of the type (by its name, an alias or a type it derives from).
bool ThumbnailerServes(const TThumbnailerEntry& pEntry, const QMimeType& pMime);
// Whether the type's pictures are decoded here by the image readers.
bool ReadsPicturesInProcess(const QMimeType& pMime);

// Reads one .thumbnailer file's text; false when it has no usable Exec.
bool ParseThumbnailer(std::string_view pText, TThumbnailerEntry& pEntry);
// Splits an Exec line into arguments after the desktop-entry quoting rules ("..." with \" \`
// \$ \\ escapes) and replaces the field codes %i (input path), %u (input URI), %o (output path),
// %s (size) and %%. Empty when the line is malformed (an unclosed quote).
QStringList ExpandThumbnailerExec(const QString& pExec, const QString& pInput, const QString& pUri,
                                  const QString& pOutput, int pSize);

} // namespace kiv::pf::lnx

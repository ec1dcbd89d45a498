#include "LinuxArchive.h"

#include "Errno.h"
#include "LinuxArchive_p.h"
#include "core/platform/FileNames.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace kiv::pf::lnx {
namespace {

namespace fs = std::filesystem;

// The "extended timestamp" extra field: a flags byte, then the UTC modification time in
// seconds. The entry's own date is local time with two-second steps; this one is exact.
constexpr zip_uint16_t kExtendedTimestamp = 0x5455;

// An archive whose content makes no sense (damaged, or names that leave the target folder).
HResult InvalidArchive()
{
    return HResultFromWin32(win32::ERROR_INVALID_NAME);
}

HResult ResultOfZipError(const zip_error_t* pError)
{
    if (zip_error_system_type(pError) == ZIP_ET_SYS && zip_error_code_system(pError) != 0)
        return HResultFromErrno(zip_error_code_system(pError));
    if (zip_error_code_zip(pError) == ZIP_ER_NOENT)
        return HResultFromErrno(ENOENT);
    return HResultFromWin32(win32::ERROR_CANTWRITE);
}

HResult ResultOfArchive(zip_t* pArchive)
{
    return ResultOfZipError(zip_get_error(pArchive));
}

HResult Cancelled()
{
    return HResultFromWin32(win32::ERROR_CANCELLED);
}

bool StopRequested(const TArchiveProgress* pProgress)
{
    return pProgress && pProgress->Stop.stop_requested();
}

struct TFd
{
    int Fd = -1;
    explicit TFd(int pFd)
        : Fd(pFd)
    {
    }
    ~TFd()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
};

struct TZipCloser
{
    void operator()(zip_t* pArchive) const noexcept { zip_discard(pArchive); }
};
using TZipPtr = std::unique_ptr<zip_t, TZipCloser>;

HResult WriteAll(int pFd, const char* pData, std::size_t pSize)
{
    while (pSize > 0) {
        const ssize_t written = ::write(pFd, pData, pSize);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return HResultFromErrno(errno);
        }
        pData += written;
        pSize -= static_cast<std::size_t>(written);
    }
    return S_OK;
}

void SetEntryTimes(zip_t* pArchive, zip_uint64_t pIndex, std::time_t pTime)
{
    zip_file_set_mtime(pArchive, pIndex, pTime, 0);
    const auto seconds = static_cast<std::uint32_t>(pTime);
    const zip_uint8_t field[5] = {
        1, static_cast<zip_uint8_t>(seconds), static_cast<zip_uint8_t>(seconds >> 8),
        static_cast<zip_uint8_t>(seconds >> 16), static_cast<zip_uint8_t>(seconds >> 24)};
    zip_file_extra_field_set(pArchive, pIndex, kExtendedTimestamp, ZIP_EXTRA_FIELD_NEW, field,
                             sizeof field, ZIP_FL_LOCAL | ZIP_FL_CENTRAL);
}

// One deflate state for all the small files of an archive. libzip sets up zlib anew for every
// entry it compresses (some 300 KB allocated, the hash table cleared); for an archive of many
// small files that set-up cost more than the compression, and how much depended on how the
// allocator happened to hand that memory back and forth. Reset between files instead, the
// state costs nothing per entry. The settings are libzip's own (raw deflate, 32 KB window,
// memory level 9), so the archive holds the same bytes either way.
class TDeflater
{
public:
    explicit TDeflater(int pLevel)
    {
        fReady = deflateInit2(&fStream, pLevel, Z_DEFLATED, -MAX_WBITS, MAX_MEM_LEVEL,
                              Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~TDeflater()
    {
        if (fReady)
            deflateEnd(&fStream);
    }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    // pOut gets pIn compressed; false when zlib cannot (the caller lets libzip compress).
    bool Compress(const std::string& pIn, std::string& pOut)
    {
        if (!fReady || deflateReset(&fStream) != Z_OK)
            return false;
        pOut.resize(deflateBound(&fStream, static_cast<uLong>(pIn.size())));
        fStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pIn.data()));
        fStream.avail_in = static_cast<uInt>(pIn.size());
        fStream.next_out = reinterpret_cast<Bytef*>(pOut.data());
        fStream.avail_out = static_cast<uInt>(pOut.size());
        if (deflate(&fStream, Z_FINISH) != Z_STREAM_END)
            return false;
        pOut.resize(fStream.total_out);
        return true;
    }

private:
    z_stream fStream{};
    bool fReady = false;
};

// Files up to this size are read whole and compressed by the shared TDeflater when libzip asks
// for their size (just before it writes them, one at a time); larger ones are read in the
// chunks libzip asks for and compressed by libzip, where the set-up is small next to the work.
// 1 MiB bounds the memory one file holds while it is written.
constexpr off_t kWholeFileLimit = off_t{1} << 20;

// The content of one file as libzip reads it when the archive is written: opened only then (an
// archive of many files never holds them all open), each read reported and each a point where
// a stop request ends the writing (libzip then removes its temporary file and the old archive
// stays).
class TFileSource
{
public:
    static zip_source_t* Create(zip_t* pArchive, std::string pPath, const struct stat& pStatus,
                                const TArchiveProgress* pProgress, TDeflater* pDeflater)
    {
        auto* state = new TFileSource(std::move(pPath), pStatus, pProgress, pDeflater);
        zip_source_t* source = zip_source_function(pArchive, &TFileSource::Callback, state);
        if (!source)
            delete state;
        return source;
    }

private:
    TFileSource(std::string pPath, const struct stat& pStatus, const TArchiveProgress* pProgress,
                TDeflater* pDeflater)
        : fPath(std::move(pPath))
        , fStatus(pStatus)
        , fProgress(pProgress)
        , fDeflater(pDeflater)
    {
        zip_error_init(&fError);
    }
    ~TFileSource()
    {
        if (fFd >= 0)
            ::close(fFd);
        zip_error_fini(&fError);
    }

    zip_int64_t Fail(int pZipError, int pErrno)
    {
        zip_error_set(&fError, pZipError, pErrno);
        return -1;
    }

    // Reads the whole file and compresses it: false with the error set when it cannot be read,
    // true with fCompressed still false when zlib would not (libzip compresses it then).
    bool ReadWhole()
    {
        const TFd file(::open(fPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (file.Fd < 0)
            return Fail(ZIP_ER_OPEN, errno), false;
        // One byte more than expected, so one read tells a file that grew meanwhile.
        std::string content(static_cast<std::size_t>(fStatus.st_size) + 1, '\0');
        std::size_t have = 0;
        for (;;) {
            if (have == content.size())
                content.resize(content.size() * 2);
            const ssize_t got = ::read(file.Fd, content.data() + have, content.size() - have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return Fail(ZIP_ER_READ, errno), false;
            if (got == 0)
                break;
            have += static_cast<std::size_t>(got);
        }
        content.resize(have);
        if (!fDeflater->Compress(content, fData))
            return true;
        fSize = have;
        fCrc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(content.data()),
                     static_cast<uInt>(content.size()));
        fCompressed = true;
        return true;
    }

    zip_int64_t Stat(zip_stat_t* pStat)
    {
        if (fDeflater && !fCompressed && fStatus.st_size <= kWholeFileLimit && !ReadWhole())
            return -1;
        zip_stat_init(pStat);
        pStat->mtime = fStatus.st_mtime;
        pStat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        if (!fCompressed) {
            pStat->size = static_cast<zip_uint64_t>(fStatus.st_size);
            return sizeof(zip_stat_t);
        }
        // Data that is compressed already: libzip writes it as it is, with these figures.
        pStat->size = fSize;
        pStat->comp_size = fData.size();
        pStat->comp_method = ZIP_CM_DEFLATE;
        pStat->crc = static_cast<zip_uint32_t>(fCrc);
        pStat->valid |= ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
        return sizeof(zip_stat_t);
    }

    zip_int64_t Read(void* pData, zip_uint64_t pLength)
    {
        if (StopRequested(fProgress))
            return Fail(ZIP_ER_CANCELLED, 0);
        if (fCompressed) {
            const std::size_t count =
                std::min<std::size_t>(static_cast<std::size_t>(pLength), fData.size() - fPos);
            std::memcpy(pData, fData.data() + fPos, count);
            fPos += count;
            if (count > 0 && fPos == fData.size() && fProgress && fProgress->OnBytes)
                fProgress->OnBytes(fSize);
            return static_cast<zip_int64_t>(count);
        }
        for (;;) {
            const ssize_t got = ::read(fFd, pData, pLength);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return Fail(ZIP_ER_READ, errno);
            if (got > 0 && fProgress && fProgress->OnBytes)
                fProgress->OnBytes(static_cast<std::uint64_t>(got));
            return got;
        }
    }

    zip_int64_t Close()
    {
        if (fCompressed) {
            // Written: its memory goes now, not when the whole archive is done.
            std::string().swap(fData);
        } else {
            if (fFd < 0)
                return 0;
            ::close(fFd);
            fFd = -1;
        }
        if (fProgress && fProgress->OnItem)
            fProgress->OnItem();
        return 0;
    }

    static zip_int64_t Callback(void* pState, void* pData, zip_uint64_t pLength,
                                zip_source_cmd_t pCommand)
    {
        auto* self = static_cast<TFileSource*>(pState);
        switch (pCommand) {
        case ZIP_SOURCE_OPEN:
            if (self->fCompressed) {
                self->fPos = 0;
                return 0;
            }
            self->fFd = ::open(self->fPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            return self->fFd >= 0 ? 0 : self->Fail(ZIP_ER_OPEN, errno);
        case ZIP_SOURCE_READ:
            return self->Read(pData, pLength);
        case ZIP_SOURCE_CLOSE:
            return self->Close();
        case ZIP_SOURCE_STAT:
            return self->Stat(static_cast<zip_stat_t*>(pData));
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&self->fError, pData, pLength);
        case ZIP_SOURCE_FREE:
            delete self;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            return self->Fail(ZIP_ER_OPNOTSUPP, 0);
        }
    }

    const std::string fPath;
    const struct stat fStatus;
    const TArchiveProgress* const fProgress;
    // Null where the entry is stored: libzip copies it as it is.
    TDeflater* const fDeflater;
    int fFd = -1;
    // The compressed content of a small file, between the size question and the close.
    bool fCompressed = false;
    std::string fData;
    std::size_t fPos = 0;
    std::uint64_t fSize = 0;
    uLong fCrc = 0;
    zip_error_t fError;
};

// Adds one item (not following a link) under pName; folders bring what is inside them.
class TAdder
{
public:
    // pDeflater (null for stored entries) must outlive the archive's writing.
    TAdder(zip_t* pArchive, int pLevel, const struct stat& pArchiveStat,
           const TArchiveProgress* pProgress, TDeflater* pDeflater)
        : fArchive(pArchive)
        , fLevel(pLevel)
        , fArchiveStat(pArchiveStat)
        , fProgress(pProgress)
        , fDeflater(pDeflater)
    {
    }

    // What was added: files, and entries without data to read (folders, links).
    std::uint64_t Files() const { return fFiles; }
    std::uint64_t OtherEntries() const { return fOtherEntries; }
    std::uint64_t Bytes() const { return fBytes; }

    HResult AddItem(const std::string& pPath, const std::string& pName)
    {
        if (StopRequested(fProgress))
            return Cancelled();
        struct stat st
        {
        };
        if (::lstat(pPath.c_str(), &st) != 0)
            return HResultFromErrno(errno);
        // The archive being written never goes into itself (zipping a folder into a file
        // inside it).
        if (st.st_dev == fArchiveStat.st_dev && st.st_ino == fArchiveStat.st_ino)
            return S_OK;
        if (S_ISDIR(st.st_mode))
            return AddFolder(pPath, pName, st);
        zip_source_t* source = nullptr;
        if (S_ISLNK(st.st_mode)) {
            std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
            const ssize_t length = ::readlink(pPath.c_str(), target.data(), target.size());
            if (length < 0)
                return HResultFromErrno(errno);
            // libzip frees the copy once the archive is written.
            void* copy = std::malloc(static_cast<std::size_t>(length) + 1);
            if (!copy)
                return E_OUTOFMEMORY;
            std::memcpy(copy, target.data(), static_cast<std::size_t>(length));
            source = zip_source_buffer(fArchive, copy, static_cast<zip_uint64_t>(length), 1);
            if (!source)
                std::free(copy);
        } else if (S_ISREG(st.st_mode)) {
            source = TFileSource::Create(fArchive, pPath, st, fProgress, fDeflater);
        } else {
            // Devices, pipes and sockets have no content to keep.
            return S_OK;
        }
        if (!source)
            return ResultOfArchive(fArchive);
        const zip_int64_t index =
            zip_file_add(fArchive, pName.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_GUESS);
        if (index < 0) {
            zip_source_free(source);
            return ResultOfArchive(fArchive);
        }
        if (S_ISREG(st.st_mode)) {
            ++fFiles;
            fBytes += static_cast<std::uint64_t>(st.st_size);
        } else {
            ++fOtherEntries;
        }
        return Describe(static_cast<zip_uint64_t>(index), st, !S_ISLNK(st.st_mode));
    }

private:
    HResult AddFolder(const std::string& pPath, const std::string& pName, const struct stat& pStat)
    {
        const std::string entry = pName + '/';
        zip_int64_t index = zip_name_locate(fArchive, entry.c_str(), 0);
        if (index < 0)
            index = zip_dir_add(fArchive, pName.c_str(), ZIP_FL_ENC_GUESS);
        if (index < 0)
            return ResultOfArchive(fArchive);
        ++fOtherEntries;
        if (const HResult result = Describe(static_cast<zip_uint64_t>(index), pStat, false);
            Failed(result))
            return result;
        std::error_code error;
        std::vector<std::string> names;
        for (const fs::directory_entry& child : fs::directory_iterator(pPath, error))
            names.push_back(child.path().filename().string());
        if (error)
            return HResultFromErrno(error.value());
        // A stable order: the same folder gives the same archive.
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (const HResult result = AddItem(pPath + '/' + name, entry + name); Failed(result))
                return result;
        }
        return S_OK;
    }

    HResult Describe(zip_uint64_t pIndex, const struct stat& pStat, bool pCompress)
    {
        const int method = pCompress && fLevel > 0 ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
        if (zip_set_file_compression(fArchive, pIndex, method, static_cast<zip_uint32_t>(fLevel)) !=
                0 ||
            zip_file_set_external_attributes(fArchive, pIndex, 0, ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(pStat.st_mode) << 16) != 0)
            return ResultOfArchive(fArchive);
        SetEntryTimes(fArchive, pIndex, pStat.st_mtime);
        return S_OK;
    }

    zip_t* const fArchive;
    const int fLevel;
    const struct stat fArchiveStat;
    const TArchiveProgress* const fProgress;
    TDeflater* const fDeflater;
    std::uint64_t fFiles = 0;
    std::uint64_t fOtherEntries = 0;
    std::uint64_t fBytes = 0;
};

// The parts of an entry name, or nothing when the name would leave the folder it is extracted
// to: absolute names, "..", drive letters. Backslashes count as separators (archives made
// elsewhere use them).
bool SplitEntryName(std::string pName, std::vector<std::string>& pParts)
{
    pParts.clear();
    for (char& c : pName) {
        if (c == '\\')
            c = '/';
    }
    if (pName.empty() || pName.front() == '/' || (pName.size() >= 2 && pName[1] == ':'))
        return false;
    std::size_t start = 0;
    while (start <= pName.size()) {
        std::size_t end = pName.find('/', start);
        if (end == std::string::npos)
            end = pName.size();
        std::string part = pName.substr(start, end - start);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            pParts.push_back(std::move(part));
        start = end + 1;
    }
    return !pParts.empty();
}

// Opens (and makes when missing) the folder pParts[0..pCount) below pRoot, never through a link.
int OpenFolder(int pRoot, const std::vector<std::string>& pParts, std::size_t pCount)
{
    int current = ::dup(pRoot);
    for (std::size_t i = 0; i < pCount && current >= 0; ++i) {
        if (::mkdirat(current, pParts[i].c_str(), 0755) != 0 && errno != EEXIST) {
            const int saved = errno;
            ::close(current);
            errno = saved;
            return -1;
        }
        const int next =
            ::openat(current, pParts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        ::close(current);
        errno = saved;
        current = next;
    }
    return current;
}

std::time_t EntryTime(zip_t* pArchive, zip_uint64_t pIndex, std::time_t pDosTime)
{
    zip_uint16_t length = 0;
    // From the central directory only: asking for the local copy too makes libzip read every
    // entry's local header, a seek and a read per entry when a large archive is listed. Writers
    // (ours too) put the field in both places.
    const zip_uint8_t* data = zip_file_extra_field_get_by_id(pArchive, pIndex, kExtendedTimestamp,
                                                             0, &length, ZIP_FL_CENTRAL);
    if (data && length >= 5 && (data[0] & 1) != 0) {
        const std::uint32_t seconds = data[1] | (data[2] << 8) | (data[3] << 16) |
                                      (static_cast<std::uint32_t>(data[4]) << 24);
        return static_cast<std::time_t>(static_cast<std::int32_t>(seconds));
    }
    return pDosTime;
}

using TEntry = TZipEntry;

HResult ExtractFile(zip_t* pArchive, const TEntry& pEntry, int pFolder,
                    const TArchiveProgress* pProgress)
{
    zip_file_t* file = zip_fopen_index(pArchive, pEntry.Index, 0);
    if (!file)
        return ResultOfArchive(pArchive);
    std::string data;
    HResult result = S_OK;
    const std::string& leaf = pEntry.Parts.back();
    if (pEntry.Link) {
        char buffer[4096];
        zip_int64_t got = 0;
        while ((got = zip_fread(file, buffer, sizeof buffer)) > 0)
            data.append(buffer, static_cast<std::size_t>(got));
        if (got < 0)
            result = InvalidArchive();
        else if (::symlinkat(data.c_str(), pFolder, leaf.c_str()) != 0)
            result = HResultFromErrno(errno);
        zip_fclose(file);
        return result;
    }
    const TFd out(::openat(pFolder, leaf.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.Fd < 0) {
        zip_fclose(file);
        return HResultFromErrno(errno);
    }
    static constexpr std::size_t kChunk = 256 * 1024;
    std::vector<char> buffer(kChunk);
    zip_int64_t got = 0;
    while (Succeeded(result) && (got = zip_fread(file, buffer.data(), buffer.size())) > 0) {
        result = WriteAll(out.Fd, buffer.data(), static_cast<std::size_t>(got));
        if (Succeeded(result) && pProgress && pProgress->OnBytes)
            pProgress->OnBytes(static_cast<std::uint64_t>(got));
        if (StopRequested(pProgress))
            result = Cancelled();
    }
    zip_fclose(file);
    if (got < 0)
        return InvalidArchive();
    if (Failed(result))
        return result;
    ::fchmod(out.Fd, pEntry.Mode & 0777);
    const timespec times[2] = {{0, UTIME_OMIT}, {pEntry.Time, 0}};
    ::futimens(out.Fd, times);
    return S_OK;
}

// The body of an extraction: every entry of pEntries below a new hidden folder in pFolder.
HResult ExtractEntries(zip_t* pArchive, const std::vector<TEntry>& pEntries,
                       const std::string& pFolder, std::string& pStaging,
                       std::vector<std::string>& pTop, const TArchiveProgress* pProgress = nullptr);

} // namespace

HResult ReadZipEntries(zip_t* pArchive, bool pRefuseUnsafe, std::vector<TZipEntry>& pEntries)
{
    const zip_int64_t count = zip_get_num_entries(pArchive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        if (zip_stat_index(pArchive, index, 0, &st) != 0)
            return ResultOfArchive(pArchive);
        TEntry entry;
        entry.Index = index;
        if (!SplitEntryName(st.name, entry.Parts)) {
            if (pRefuseUnsafe)
                return InvalidArchive();
            continue;
        }
        entry.Size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        entry.CompressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
        const std::string name = st.name;
        entry.Folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(pArchive, index, 0, &system, &attributes);
        const mode_t unixMode = system == ZIP_OPSYS_UNIX ? (attributes >> 16) : 0;
        entry.Link = S_ISLNK(unixMode);
        entry.Folder = entry.Folder || S_ISDIR(unixMode);
        entry.Mode = (unixMode & 0777) != 0 ? (unixMode & 0777) : (entry.Folder ? 0755 : 0644);
        entry.Time = EntryTime(pArchive, index, (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0);
        entry.Size = (st.valid & ZIP_STAT_SIZE) && !entry.Folder && !entry.Link ? st.size : 0;
        pEntries.push_back(std::move(entry));
    }
    return S_OK;
}

namespace {

HResult ExtractEntries(zip_t* pArchive, const std::vector<TEntry>& pEntries,
                       const std::string& pFolder, std::string& pStaging,
                       std::vector<std::string>& pTop, const TArchiveProgress* pProgress)
{
    std::string staging = pFolder + "/.tovaline-unzip-XXXXXX";
    if (!::mkdtemp(staging.data()))
        return HResultFromErrno(errno, TMissing::Path);
    const TFd root(::open(staging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    HResult result = root.Fd >= 0 ? S_OK : HResultFromErrno(errno);
    pTop.clear();
    for (const TEntry& entry : pEntries) {
        if (Succeeded(result) && StopRequested(pProgress))
            result = Cancelled();
        if (Failed(result))
            break;
        if (std::find(pTop.begin(), pTop.end(), entry.Parts.front()) == pTop.end())
            pTop.push_back(entry.Parts.front());
        const std::size_t folders = entry.Folder ? entry.Parts.size() : entry.Parts.size() - 1;
        const TFd folder(OpenFolder(root.Fd, entry.Parts, folders));
        if (folder.Fd < 0)
            result = HResultFromErrno(errno);
        else if (!entry.Folder)
            result = ExtractFile(pArchive, entry, folder.Fd, pProgress);
        if (Succeeded(result) && pProgress && pProgress->OnItem)
            pProgress->OnItem();
    }
    // Folder times last: writing inside a folder changes its time.
    for (const TEntry& entry : pEntries) {
        if (Failed(result) || !entry.Folder)
            continue;
        const TFd folder(OpenFolder(root.Fd, entry.Parts, entry.Parts.size()));
        if (folder.Fd < 0)
            continue;
        ::fchmod(folder.Fd, entry.Mode | S_IRWXU);
        const timespec times[2] = {{0, UTIME_OMIT}, {entry.Time, 0}};
        ::futimens(folder.Fd, times);
    }
    if (Failed(result)) {
        std::error_code error;
        fs::remove_all(fs::path(staging), error);
        return result;
    }
    pStaging = staging;
    return S_OK;
}

class TLinuxArchives final : public IArchives
{
public:
    HResult CreateEmpty(const QString& pArchive) override
    {
        const std::string path = EncodeFileName(pArchive);
        const fs::path target(path);
        std::string temp =
            (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
        const TFd fd(::mkstemp(temp.data()));
        if (fd.Fd < 0)
            return HResultFromErrno(errno, TMissing::Path);
        // The end-of-central-directory record alone: signature, then zero counts, sizes and
        // offset, and no comment.
        char record[22] = {'P', 'K', 5, 6};
        HResult result = WriteAll(fd.Fd, record, sizeof record);
        if (Succeeded(result) && (::fchmod(fd.Fd, 0644) != 0 || ::fsync(fd.Fd) != 0))
            result = HResultFromErrno(errno);
        // Never over an existing file: somebody may have made it meanwhile.
        if (Succeeded(result) &&
            ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0)
            result = HResultFromErrno(errno);
        if (Failed(result))
            ::unlink(temp.c_str());
        return result;
    }

    HResult Add(const QString& pArchive, const QStringList& pItems, int pLevel,
                const TArchiveProgress* pProgress) override
    {
        const std::string path = EncodeFileName(pArchive);
        struct stat archiveStat
        {
        };
        if (::stat(path.c_str(), &archiveStat) != 0)
            return HResultFromErrno(errno);
        const int level = std::clamp(pLevel, kStoreLevel, kBestLevel);
        // Declared before the archive: its sources use it until the archive is written or
        // discarded.
        std::optional<TDeflater> deflater;
        if (level > kStoreLevel)
            deflater.emplace(level);
        int error = 0;
        // libzip writes the whole archive to a temporary file beside it at close and renames it
        // over the old one: the archive is either the old or the complete new one.
        TZipPtr archive(zip_open(path.c_str(), 0, &error));
        if (!archive) {
            zip_error_t zipError;
            zip_error_init_with_code(&zipError, error);
            const HResult result = ResultOfZipError(&zipError);
            zip_error_fini(&zipError);
            return result;
        }
        // Old entries are copied over without passing through our sources: libzip asks this
        // between them.
        if (pProgress)
            zip_register_cancel_callback_with_state(
                archive.get(),
                [](zip_t*, void* pStop) {
                    return static_cast<const std::stop_token*>(pStop)->stop_requested() ? 1 : 0;
                },
                nullptr, const_cast<std::stop_token*>(&pProgress->Stop));
        TAdder adder(archive.get(), level, archiveStat, pProgress, deflater ? &*deflater : nullptr);
        for (const QString& item : pItems) {
            const std::string itemPath = EncodeFileName(item);
            const std::string name = fs::path(itemPath).filename().string();
            if (name.empty())
                return HResultFromWin32(win32::ERROR_INVALID_NAME);
            if (const HResult result = adder.AddItem(itemPath, name); Failed(result))
                return result;
        }
        if (pProgress && pProgress->OnStart)
            pProgress->OnStart(adder.Files() + adder.OtherEntries(), adder.Bytes());
        if (pProgress && pProgress->OnItem) {
            // Folders and links are written from what is known already: complete now.
            for (std::uint64_t i = 0; i < adder.OtherEntries(); ++i)
                pProgress->OnItem();
        }
        if (zip_close(archive.get()) != 0)
            return StopRequested(pProgress) ? Cancelled() : ResultOfArchive(archive.get());
        archive.release();
        return S_OK;
    }

    HResult ExtractToStaging(const QString& pArchive, const QString& pFolder, QString& pStaging,
                             QStringList& pItems, const TArchiveProgress* pProgress) override
    {
        pStaging.clear();
        pItems.clear();
        // A file that is no archive, or a damaged one, says so (1392), as browsing it does.
        TZipArchivePtr archive;
        if (const HResult opened = OpenZipForReading(EncodeFileName(pArchive), archive);
            Failed(opened))
            return opened;
        std::vector<TEntry> entries;
        // Every name is checked before anything is written.
        if (const HResult result = ReadZipEntries(archive.get(), true, entries); Failed(result))
            return result;
        if (pProgress && pProgress->OnStart) {
            std::uint64_t bytes = 0;
            for (const TEntry& entry : entries)
                bytes += entry.Size;
            pProgress->OnStart(entries.size(), bytes);
        }

        std::string staging;
        std::vector<std::string> top;
        if (const HResult result = ExtractEntries(archive.get(), entries, EncodeFileName(pFolder),
                                                  staging, top, pProgress);
            Failed(result))
            return result;
        pStaging = DecodeFileName(staging);
        for (const std::string& name : top)
            pItems << DecodeFileName(staging + '/' + name);
        return S_OK;
    }

    void RemoveStaging(const QString& pStaging) noexcept override
    {
        if (pStaging.isEmpty())
            return;
        std::error_code error;
        // remove_all does not follow links: it removes them.
        fs::remove_all(fs::path(EncodeFileName(pStaging)), error);
    }
};

} // namespace

HResult OpenZipForReading(const std::string& pPath, TZipArchivePtr& pArchive)
{
    int error = 0;
    pArchive.reset(zip_open(pPath.c_str(), ZIP_RDONLY, &error));
    if (pArchive)
        return S_OK;
    if (error == ZIP_ER_NOZIP || error == ZIP_ER_INCONS)
        return HResultFromWin32(win32::ERROR_FILE_CORRUPT);
    zip_error_t zipError;
    zip_error_init_with_code(&zipError, error);
    const HResult result = ResultOfZipError(&zipError);
    zip_error_fini(&zipError);
    return result;
}

HResult ExtractZipEntryToStaging(const std::string& pArchive, const std::string& pEntry,
                                 const std::string& pFolder, std::string& pStaging,
                                 std::string& pItem)
{
    pStaging.clear();
    pItem.clear();
    TZipArchivePtr archive;
    if (const HResult result = OpenZipForReading(pArchive, archive); Failed(result))
        return result;
    std::vector<TEntry> all;
    if (const HResult result = ReadZipEntries(archive.get(), false, all); Failed(result))
        return result;
    std::vector<std::string> prefix;
    if (!SplitEntryName(pEntry, prefix))
        return HResultFromWin32(win32::ERROR_INVALID_NAME);
    // The entry and what lies below it, their names starting at the entry's own name.
    std::vector<TEntry> chosen;
    for (TEntry& entry : all) {
        if (entry.Parts.size() < prefix.size() ||
            !std::equal(prefix.begin(), prefix.end(), entry.Parts.begin()))
            continue;
        entry.Parts.erase(entry.Parts.begin(),
                          entry.Parts.begin() + static_cast<std::ptrdiff_t>(prefix.size() - 1));
        chosen.push_back(std::move(entry));
    }
    if (chosen.empty())
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    std::vector<std::string> top;
    if (const HResult result = ExtractEntries(archive.get(), chosen, pFolder, pStaging, top);
        Failed(result))
        return result;
    pItem = pStaging + '/' + prefix.back();
    return S_OK;
}

std::unique_ptr<IArchives> CreateLinuxArchives()
{
    return std::make_unique<TLinuxArchives>();
}

} // namespace kiv::pf::lnx

#include "LinuxZipFolder.h"

#include "Errno.h"
#include "LinuxArchive_p.h"
#include "LinuxItems.h"
#include "core/platform/FileTime.h"
#include "core/platform/ShellConstants.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sys/stat.h>

namespace kiv::pf::lnx {

bool IsZipName(std::string_view pName)
{
    if (pName.size() <= 4 || pName[pName.size() - 5] == '/')
        return false;
    const std::string_view extension = pName.substr(pName.size() - 4);
    return extension[0] == '.' && std::tolower(static_cast<unsigned char>(extension[1])) == 'z' &&
           std::tolower(static_cast<unsigned char>(extension[2])) == 'i' &&
           std::tolower(static_cast<unsigned char>(extension[3])) == 'p';
}

HResult TZipIndex::Open(const std::string& pArchive, std::unique_ptr<TZipIndex>& pIndex,
                        std::stop_token pCancel)
{
    pIndex.reset();
    TZipArchivePtr archive;
    if (const HResult result = OpenZipForReading(pArchive, archive); Failed(result))
        return result;
    std::vector<TZipEntry> entries;
    // Unsafe names are left out rather than refusing the archive: the rest can still be browsed.
    if (const HResult result = ReadZipEntries(archive.get(), false, entries); Failed(result))
        return result;
    auto index = std::make_unique<TZipIndex>();
    index->fNodes.reserve(entries.size());
    index->fChildren[std::string()];
    // Adds a node unless its path is there already; an explicit entry met after a folder that
    // was implied by an earlier path brings its details to that folder.
    auto add = [&](TZipNode pNode) {
        const auto found = index->fByPath.find(pNode.Path);
        if (found != index->fByPath.end()) {
            TZipNode& existing = index->fNodes[found->second];
            // A name that is a file and also has entries below it is shown as the folder: the
            // entries would be out of reach otherwise.
            if (pNode.Folder && !existing.Folder) {
                existing.Folder = true;
                existing.Size = 0;
                existing.CompressedSize = 0;
                index->fChildren[existing.Path];
            }
            existing.LastWrite = std::max(existing.LastWrite, pNode.LastWrite);
            return;
        }
        const std::size_t slash = pNode.Path.rfind('/');
        const std::string parent =
            slash == std::string::npos ? std::string() : pNode.Path.substr(0, slash);
        const std::size_t at = index->fNodes.size();
        index->fByPath.emplace(pNode.Path, at);
        index->fChildren[parent].push_back(at);
        if (pNode.Folder)
            index->fChildren[pNode.Path];
        index->fNodes.push_back(std::move(pNode));
    };
    for (const TZipEntry& entry : entries) {
        if (pCancel.stop_requested())
            return HResultFromWin32(win32::ERROR_CANCELLED);
        std::string path;
        for (std::size_t i = 0; i < entry.Parts.size(); ++i) {
            if (!path.empty())
                path += '/';
            path += entry.Parts[i];
            const bool last = i + 1 == entry.Parts.size();
            TZipNode node;
            node.Path = path;
            node.Name = entry.Parts[i];
            node.Folder = !last || entry.Folder;
            if (last) {
                node.Size = entry.Folder ? 0 : entry.Size;
                node.CompressedSize = entry.Folder ? 0 : entry.CompressedSize;
                node.LastWrite = FileTime::FromUnix(entry.Time, 0).Ticks;
            }
            add(std::move(node));
        }
    }
    pIndex = std::move(index);
    return S_OK;
}

std::vector<const TZipNode*> TZipIndex::Children(const std::string& pFolder) const
{
    std::vector<const TZipNode*> children;
    const auto found = fChildren.find(pFolder);
    if (found == fChildren.end())
        return children;
    children.reserve(found->second.size());
    for (const std::size_t at : found->second)
        children.push_back(&fNodes[at]);
    return children;
}

const TZipNode* TZipIndex::Find(const std::string& pPath) const
{
    const auto found = fByPath.find(pPath);
    return found == fByPath.end() ? nullptr : &fNodes[found->second];
}

void TZipIndex::Measure(const std::string& pPath, std::uint64_t& pItems,
                        std::uint64_t& pBytes) const
{
    const TZipNode* node = Find(pPath);
    if (!node)
        return;
    ++pItems;
    pBytes += node->Size;
    if (!node->Folder)
        return;
    for (const TZipNode* child : Children(pPath))
        Measure(child->Path, pItems, pBytes);
}

HResult ListZipFolder(const std::string& pArchive, const std::string& pFolder, std::uint32_t pFlags,
                      std::stop_token pCancel, std::vector<IdListBytes>& pItems)
{
    pItems.clear();
    std::unique_ptr<TZipIndex> index;
    if (const HResult result = TZipIndex::Open(pArchive, index, pCancel); Failed(result))
        return result;
    if (!pFolder.empty() && (!index->Find(pFolder) || !index->Find(pFolder)->Folder))
        return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
    const bool hidden = (pFlags & (shcontf::INCLUDEHIDDEN | shcontf::INCLUDESUPERHIDDEN)) != 0;
    for (const TZipNode* node : index->Children(pFolder)) {
        if (node->Folder ? !(pFlags & shcontf::FOLDERS) : !(pFlags & shcontf::NONFOLDERS))
            continue;
        if (node->Name[0] == '.' && !hidden)
            continue;
        // An item holds at most 64 KiB: a longer name cannot be one (and no file system takes
        // it either).
        if (node->Name.size() > 4096)
            continue;
        pItems.push_back(
            idl::FromItem(MakeZipItem(node->Folder, node->Size, node->LastWrite, node->Name)));
    }
    return S_OK;
}

HResult AppendZipComponents(const std::string& pArchive, const std::string& pFolder,
                            const std::vector<std::string>& pParts, IdListBytes& pList)
{
    std::unique_ptr<TZipIndex> index;
    if (const HResult result = TZipIndex::Open(pArchive, index); Failed(result))
        return result;
    std::string path = pFolder;
    for (std::size_t i = 0; i < pParts.size(); ++i) {
        const bool last = i + 1 == pParts.size();
        if (!path.empty())
            path += '/';
        path += pParts[i];
        const TZipNode* node = index->Find(path);
        if (!node || (!last && !node->Folder) || node->Name.size() > 4096)
            return HResultFromWin32(last ? win32::ERROR_FILE_NOT_FOUND
                                         : win32::ERROR_PATH_NOT_FOUND);
        pList = idl::Append(IdSpan(pList),
                            MakeZipItem(node->Folder, node->Size, node->LastWrite, node->Name));
    }
    return S_OK;
}

namespace {

// An entry's content. zip_fread decompresses forward only, so a seek backwards opens the entry
// again and a seek forwards reads and drops what lies between.
class TZipEntryStream final : public IStream
{
public:
    TZipEntryStream(TZipArchivePtr pArchive, zip_uint64_t pIndex, std::uint64_t pSize,
                    bool pSizeKnown)
        : fArchive(std::move(pArchive))
        , fIndex(pIndex)
        , fSize(pSize)
        , fSizeKnown(pSizeKnown)
    {
    }
    ~TZipEntryStream() override { Close(); }
    TZipEntryStream(const TZipEntryStream&) = delete;
    TZipEntryStream& operator=(const TZipEntryStream&) = delete;

    HResult Reopen()
    {
        Close();
        fFile = zip_fopen_index(fArchive.get(), fIndex, 0);
        fPosition = 0;
        return fFile ? S_OK : HResultFromWin32(win32::ERROR_FILE_CORRUPT);
    }

    HResult Read(void* pBuffer, std::size_t pSize, std::size_t& pRead) override
    {
        pRead = 0;
        if (!fFile)
            return HResultFromWin32(win32::ERROR_FILE_CORRUPT);
        const zip_int64_t got = zip_fread(fFile, pBuffer, pSize);
        // A short or failed read of compressed data is a damaged entry (or a bad checksum).
        if (got < 0)
            return HResultFromWin32(win32::ERROR_FILE_CORRUPT);
        pRead = static_cast<std::size_t>(got);
        fPosition += pRead;
        return S_OK;
    }

    HResult Seek(std::int64_t pOffset, SeekOrigin pOrigin, std::uint64_t* pPosition) override
    {
        std::int64_t target = pOffset;
        if (pOrigin == SeekOrigin::Current)
            target += static_cast<std::int64_t>(fPosition);
        else if (pOrigin == SeekOrigin::End)
            target += static_cast<std::int64_t>(fSize);
        if (target < 0)
            return E_INVALIDARG;
        const auto wanted = static_cast<std::uint64_t>(target);
        if (wanted < fPosition || !fFile) {
            if (const HResult result = Reopen(); Failed(result))
                return result;
        }
        char buffer[16 * 1024];
        while (fPosition < wanted) {
            std::size_t got = 0;
            const auto chunk = static_cast<std::size_t>(
                std::min<std::uint64_t>(sizeof buffer, wanted - fPosition));
            if (const HResult result = Read(buffer, chunk, got); Failed(result))
                return result;
            if (got == 0)
                break;
        }
        // Past the end a stream stands at the end (reads give nothing), as a file's would not:
        // the position tells where it really is.
        if (pPosition)
            *pPosition = fPosition;
        return S_OK;
    }

    HResult Size(std::uint64_t& pSize, bool& pKnown) override
    {
        pSize = fSize;
        pKnown = fSizeKnown;
        return S_OK;
    }

private:
    void Close() noexcept
    {
        if (fFile)
            zip_fclose(fFile);
        fFile = nullptr;
    }

    TZipArchivePtr fArchive;
    const zip_uint64_t fIndex;
    const std::uint64_t fSize;
    const bool fSizeKnown;
    zip_file_t* fFile = nullptr;
    std::uint64_t fPosition = 0;
};

} // namespace

HResult OpenZipEntryStream(const std::string& pArchive, const std::string& pPath,
                           IStreamPtr& pStream)
{
    TZipArchivePtr archive;
    if (const HResult result = OpenZipForReading(pArchive, archive); Failed(result))
        return result;
    std::vector<TZipEntry> entries;
    if (const HResult result = ReadZipEntries(archive.get(), false, entries); Failed(result))
        return result;
    // The last entry of that name wins, as it does when the archive is extracted.
    const TZipEntry* found = nullptr;
    for (const TZipEntry& entry : entries) {
        std::string path;
        for (const std::string& part : entry.Parts)
            path += (path.empty() ? "" : "/") + part;
        if (path == pPath)
            found = &entry;
    }
    if (!found)
        return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    if (found->Folder)
        return E_NOINTERFACE;
    zip_stat_t st;
    const bool known =
        zip_stat_index(archive.get(), found->Index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) != 0;
    auto stream = std::make_shared<TZipEntryStream>(std::move(archive), found->Index,
                                                    known ? st.size : 0, known);
    if (const HResult result = stream->Reopen(); Failed(result))
        return result;
    pStream = std::move(stream);
    return S_OK;
}

bool SplitArchivePath(const std::string& pPath, std::string& pArchive, std::string& pEntry)
{
    if (pPath.empty() || pPath[0] != '/')
        return false;
    // The first component that is no folder decides: an archive there, or nothing.
    std::size_t end = 0;
    while (end < pPath.size()) {
        end = pPath.find('/', end + 1);
        if (end == std::string::npos)
            return false;
        const std::string prefix = pPath.substr(0, end);
        struct stat st
        {
        };
        if (::stat(prefix.c_str(), &st) != 0)
            return false;
        if (S_ISDIR(st.st_mode))
            continue;
        if (!S_ISREG(st.st_mode) || !IsZipName(prefix))
            return false;
        pArchive = prefix;
        pEntry = pPath.substr(end + 1);
        while (!pEntry.empty() && pEntry.back() == '/')
            pEntry.pop_back();
        return !pEntry.empty();
    }
    return false;
}

} // namespace kiv::pf::lnx

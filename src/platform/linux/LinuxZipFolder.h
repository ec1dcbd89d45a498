#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IStream.h"
#include "core/platform/IdList.h"

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// ZIP archives browsed as folders: a ".zip" file is both a file and a folder whose children are
// the archive's entries (0x57 items), one level at a time. Folders that only the paths of entries
// inside them name ("a/b/c.txt" without "a/") are listed too. Names that would lead outside the
// archive (absolute, "..", a drive letter) are never listed. Only the archive's central directory
// is read to list it, never the entries' data.

namespace kiv::pf::lnx {

// Whether a file of this name is browsed as an archive (".zip" in any case).
bool IsZipName(std::string_view pName);

// One entry of an archive as its folder shows it.
struct TZipNode
{
    // Inside the archive: the parts joined by "/", no "/" at either end.
    std::string Path;
    std::string Name;
    bool Folder = false;
    std::uint64_t Size = 0;
    std::uint64_t CompressedSize = 0;
    // FileTime ticks; 0 for folders that only the paths of entries name.
    std::uint64_t LastWrite = 0;
};

// The entries of one archive. Immutable after Open; any thread may read it.
class TZipIndex
{
public:
    // Reads the archive's directory: damaged or not an archive → ERROR_FILE_CORRUPT. pCancel is
    // polled between entries (1223).
    static HResult Open(const std::string& pArchive, std::unique_ptr<TZipIndex>& pIndex,
                        std::stop_token pCancel = {});
    // The entries directly inside pFolder ("" for the archive's top), in the archive's order.
    std::vector<const TZipNode*> Children(const std::string& pFolder) const;
    const TZipNode* Find(const std::string& pPath) const;
    // The number of entries of the tree at pPath (itself included) and their bytes.
    void Measure(const std::string& pPath, std::uint64_t& pItems, std::uint64_t& pBytes) const;

private:
    std::vector<TZipNode> fNodes;
    std::unordered_map<std::string, std::size_t> fByPath;
    std::unordered_map<std::string, std::vector<std::size_t>> fChildren;
};

// The children of the folder pFolder of an archive as one-item lists.
HResult ListZipFolder(const std::string& pArchive, const std::string& pFolder, std::uint32_t pFlags,
                      std::stop_token pCancel, std::vector<IdListBytes>& pItems);

// Appends one zip-entry item per part below the folder pFolder of the archive: a missing last
// part fails with 2, a missing earlier one or one that is no folder with 3.
HResult AppendZipComponents(const std::string& pArchive, const std::string& pFolder,
                            const std::vector<std::string>& pParts, IdListBytes& pList);

// The content of the entry pPath, read with libzip; a seek backwards (Seek(0)) opens the entry
// again. The stream holds its own handle on the archive.
HResult OpenZipEntryStream(const std::string& pArchive, const std::string& pPath,
                           IStreamPtr& pStream);

// Splits a path through an archive ("/a/b.zip/dir/x.txt") into the archive ("/a/b.zip") and the
// entry inside it ("dir/x.txt"), looking at the disk; false when no existing ZIP file lies on the
// way.
bool SplitArchivePath(const std::string& pPath, std::string& pArchive, std::string& pEntry);

} // namespace kiv::pf::lnx

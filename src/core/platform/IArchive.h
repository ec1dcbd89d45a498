#pragma once

#include "core/platform/HResult.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <stop_token>

// ZIP archives as the file operations use them: an archive made empty first, items added to it,
// all of it extracted. Items are absolute file-system paths (undecodable bytes escaped as in
// FileNames.h). Every call works on the caller's thread and may be slow (disk): callers keep it
// off the user-interface thread when they can. Thread-safe: calls share no state.

namespace kiv::pf {

// What a long archive call reports while it works and how it is stopped. Called on the thread
// that made the call; empty members are not called.
struct TArchiveProgress
{
    // Checked between entries and chunks of data: a stopped call fails with
    // HResultFromWin32(ERROR_CANCELLED) and leaves no trace (the old archive, no staging folder).
    std::stop_token Stop;
    // Once, before the data is read: the entries and bytes the call will handle (adding: the
    // new items only; extracting: every entry and its uncompressed size).
    std::function<void(std::uint64_t pItems, std::uint64_t pBytes)> OnStart;
    std::function<void(std::uint64_t pBytes)> OnBytes;
    // An entry is complete (a file's data read or written, a folder or link made).
    std::function<void()> OnItem;
};

class IArchives
{
public:
    virtual ~IArchives() = default;

    // Compression levels of the deflate method; the default is the one common tools use.
    static constexpr int kStoreLevel = 0;
    static constexpr int kDefaultLevel = 6;
    static constexpr int kBestLevel = 9;

    // Creates an archive without entries at pArchive, which must not exist yet (an existing file
    // is never replaced: that fails with the system's "exists" error).
    virtual HResult CreateEmpty(const QString& pArchive) = 0;
    // Adds the items (files, links as links, folders with everything inside them) to an existing
    // archive under their own names; entries of the same name are replaced. The archive is
    // rewritten aside and renamed over the old one only when complete, so a failure leaves it
    // as it was.
    virtual HResult Add(const QString& pArchive, const QStringList& pItems, int pLevel,
                        const TArchiveProgress* pProgress = nullptr) = 0;
    // Extracts every entry into a new hidden folder made inside pFolder (pStaging), so that
    // moving the items out (pItems: the staging folder's top-level items) is a rename and goes
    // through the file operation engine's rules for what already exists. An archive with an
    // entry that would land outside the staging folder (absolute, "..") is refused before
    // anything is written; links inside the archive are made as links and never followed.
    virtual HResult ExtractToStaging(const QString& pArchive, const QString& pFolder,
                                     QString& pStaging, QStringList& pItems,
                                     const TArchiveProgress* pProgress = nullptr) = 0;
    // Removes a staging folder with whatever is left in it.
    virtual void RemoveStaging(const QString& pStaging) noexcept = 0;
};

} // namespace kiv::pf

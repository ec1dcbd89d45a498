#pragma once

#include "core/platform/IIcons.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kiv::pf::lnx {

class TIconTheme;

// What a drawn stand-in shows when the theme has none of an icon's names.
enum class TBuiltinIcon : std::uint8_t
{
    biFile,
    biFolder,
    biFolderOpen,
    biDrive,
    biComputer,
    biNetwork,
    biTrash,
    biHome,
    biOverlay,
};

// The process-wide table behind the icon service: every distinct icon gets the next index and
// keeps it. An icon is named by the first of its candidate names that the theme has (so two file
// types that both fall back to "text-x-generic" share one index), or by its drawn stand-in when
// the theme has none. Pictures are made on request and cached per (index, size).
//
// Thread-safe: the name table is append-only behind a reader/writer lock; the picture cache has
// its own lock, released while a file is read and scaled.
class TIconRegistry
{
public:
    // The registry of the process, over the theme named by $KIV_ICON_THEME or else "Adwaita".
    // The theme is read at the first look-up, not when the platform is made: start-up on the
    // user-interface thread does not pay for listing its folders.
    static TIconRegistry& System();
    explicit TIconRegistry(std::shared_ptr<const TIconTheme> pTheme);
    explicit TIconRegistry(std::function<std::shared_ptr<const TIconTheme>()> pLoadTheme);
    ~TIconRegistry();
    TIconRegistry(const TIconRegistry&) = delete;
    TIconRegistry& operator=(const TIconRegistry&) = delete;

    // The index of the first of pNames the theme has, else of the stand-in pBuiltin.
    int IndexOf(const QStringList& pNames, TBuiltinIcon pBuiltin);
    // The index of a picture file (picture pImage inside it when >= 0, as in icon files that hold
    // several sizes); drawn as a plain file icon when the file cannot be read.
    int IndexOfFile(const QString& pPath, int pImage);
    int Count() const;
    // The name an index stands for ("builtin:N" for stand-ins); empty for unknown indexes.
    QString NameOf(int pIndex) const;
    QImage Render(int pIndex, int pPixels);

private:
    struct TEntry
    {
        QString Name;
        TBuiltinIcon Builtin;
        bool HasTheme;
        // A picture file of the user's choice (Name is "file:" + the path + "," + the image).
        QString File;
        int Image = -1;
    };

    const TIconTheme* Theme();

    std::function<std::shared_ptr<const TIconTheme>()> fLoadTheme;
    std::once_flag fThemeOnce;
    std::shared_ptr<const TIconTheme> fTheme; // set once under fThemeOnce
    mutable std::shared_mutex fNamesLock;
    QHash<QString, int> fIndexOfName; // guarded by fNamesLock
    std::vector<TEntry> fEntries;     // guarded by fNamesLock
    std::mutex fImagesLock;
    QHash<std::uint64_t, QImage> fImages; // guarded by fImagesLock
};

// Draws the stand-in pIcon as a pPixels square picture (plain shapes, no text: it must work
// without a display and on any thread).
QImage DrawBuiltinIcon(TBuiltinIcon pIcon, int pPixels);

// The icon service over shared-mime-info and the freedesktop icon theme. File types are found from
// the name's extension through the MIME database once per extension; folders, drives and the
// virtual folders have fixed icon names; the user's special folders (from user-dirs.dirs, read
// once and again on Reinitialize) have theirs. Thread-safe.
class TLinuxIcons final : public IIcons
{
public:
    // Over the process-wide registry (the normal case) or a given one (tests).
    TLinuxIcons();
    explicit TLinuxIcons(TIconRegistry& pRegistry);
    ~TLinuxIcons() override;

    int IconIndexOfIdList(IdSpan pAbsolute, bool pOpen) override;
    int IconIndexOfPath(const QString& pPath, bool pOpen, bool pNameOnly) override;
    int IconIndexOfExtension(const QString& pExtension) override;
    int StockIconIndex(TStockIcon pIcon) override;
    int OverlayIndex(TIconOverlay pOverlay) override;
    int Count() override;
    QImage Render(int pIndex, int pPixels) override;
    bool TypeNameOf(const QString& pFakePath, QString& pName) override;
    bool TypeNameOfIdList(IdSpan pAbsolute, QString& pName) override;
    void Reinitialize() override;
    // Kept in $XDG_CONFIG_HOME/tovaline/icons.ini, section [IconOverrides], ".ext=file[,index]".
    HResult SetExtensionIcon(const QString& pExtension, const QString& pIconFile,
                             int pIconIndex) override;

    // The MIME database asked so far for an extension (tests and benchmarks check that warm
    // look-ups do not ask again).
    std::uint64_t MimeQueries() const;

private:
    struct TTypeInfo
    {
        int Index = -1;
        QString TypeName;
    };
    struct TUserFolders;

    // The type of a file named pName (raw bytes, no folder part); pExecutable picks the program
    // icon for files nobody knows.
    TTypeInfo TypeOfName(std::string_view pName, bool pExecutable);
    TTypeInfo TypeOfKey(const QString& pKey, bool pFullName);
    TTypeInfo TypeOfMime(const QString& pMimeName);
    int FolderIndex(const std::string& pPath, bool pKnownPath, bool pOpen);
    // The file-system path of a list of the namespace; false when it has none (virtual items).
    bool PathOfItems(IdSpan pAbsolute, std::string& pPath);
    bool TrashIsFull();
    std::shared_ptr<const TUserFolders> UserFolders();

    TIconRegistry& fRegistry;
    std::array<std::atomic<int>, 18> fStock;

    mutable std::shared_mutex fTypesLock;
    QHash<QString, TTypeInfo> fTypes; // guarded by fTypesLock; key: ".ext" or "=full name"
    std::atomic<std::uint64_t> fMimeQueries{0};

    std::mutex fFoldersLock;
    std::shared_ptr<const TUserFolders> fFolders; // guarded by fFoldersLock

    struct TIconFile
    {
        QString Path;
        int Image = -1;
    };
    // The user's icons by extension (".txt"), read from the store on first use and again after
    // Reinitialize.
    std::shared_ptr<const QHash<QString, TIconFile>> IconOverrides();
    std::mutex fOverridesLock;
    std::shared_ptr<const QHash<QString, TIconFile>> fOverrides; // guarded by fOverridesLock

    std::mutex fTrashLock;
    std::chrono::steady_clock::time_point fTrashCheckedAt; // guarded by fTrashLock
    bool fTrashFull = false;                               // guarded by fTrashLock
};

} // namespace kiv::pf::lnx

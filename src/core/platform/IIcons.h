#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IdList.h"

#include <QImage>
#include <QString>

namespace kiv::pf {

// The shared system icon list: one process-wide table in which every distinct icon (the icon of a
// file type, a folder, a drive kind, a special folder) has an index. An index is the same at every
// size and stays valid for the life of the process, so a control keeps indexes and asks for
// pictures at whatever size it shows. The core's system image list presents this table at its
// standard sizes and at any pixel size.
//
// Every call is thread-safe. Index and type-name look-ups are cheap after the first request for a
// kind of item (worker threads ask them for thousands of items); rendering reads an icon file the
// first time an (index, size) pair is asked and is cached afterwards. Nothing here raises: a
// failure gives -1 (or false, or a null image).

// The platform's standard list sizes; their ordinals are those the core stores.
namespace shil {
inline constexpr int LARGE = 0;
inline constexpr int SMALL = 1;
inline constexpr int EXTRALARGE = 2;
inline constexpr int SYSSMALL = 3;
inline constexpr int JUMBO = 4;
// Not a list of its own: the image list that the core resizes to any square size.
inline constexpr int FREESCALED = -1;

// Icon size of a standard list at 96 dpi: 32, 16, 48, 16, 256; -1 for anything else (the core
// scales these for the screen).
constexpr int PixelsAt96Dpi(int pShil) noexcept
{
    switch (pShil) {
    case LARGE:
        return 32;
    case SMALL:
    case SYSSMALL:
        return 16;
    case EXTRALARGE:
        return 48;
    case JUMBO:
        return 256;
    default:
        return -1;
    }
}
} // namespace shil

// Icons that belong to no item of a list, or that a caller wants without making one.
enum class TStockIcon
{
    siDesktop,
    siComputer,
    siNetwork,
    siHome,
    siTrashEmpty,
    siTrashFull,
    siFolder,
    siFolderOpen,
    siDocuments,
    siDownloads,
    siMusic,
    siPictures,
    siVideos,
    siDriveFixed,
    siDriveRemovable,
    siDriveRemote,
    siDriveOptical,
    // A file whose type nobody knows.
    siUnknownFile,
};

// Small pictures drawn over an icon's lower left corner.
enum class TIconOverlay
{
    ovLink,
    ovShare,
};

class IIcons
{
public:
    virtual ~IIcons() = default;

    // The icon of an item given by its absolute list, decided from the list alone (the kind and
    // snapshot the items carry): no disk access. pOpen asks for the open state of a folder (the
    // same index for items that have no such state). -1 for lists this platform does not know.
    virtual int IconIndexOfIdList(IdSpan pAbsolute, bool pOpen) = 0;
    // The icon of a path. With pNameOnly the path need not exist: only its form counts (a
    // trailing delimiter makes a folder; otherwise the type comes from the name's extension), as
    // for the fake paths the core builds for extensions. Without it the entry is looked at (a
    // folder, a special folder, a file typed by name and then by content): callers on the
    // user-interface thread use pNameOnly.
    virtual int IconIndexOfPath(const QString& pPath, bool pOpen, bool pNameOnly) = 0;
    // The icon of files with the extension pExtension ("txt" or ".txt"; empty: files without
    // one).
    virtual int IconIndexOfExtension(const QString& pExtension) = 0;
    virtual int StockIconIndex(TStockIcon pIcon) = 0;
    // The index of an overlay picture in the same table (drawn over another icon by the caller).
    virtual int OverlayIndex(TIconOverlay pOverlay) = 0;
    // Indexes handed out so far (every index below is valid).
    virtual int Count() = 0;

    // Index pIndex as a square pPixels x pPixels picture with alpha (16 <= pPixels <= 1024; the
    // standard lists use shil::PixelsAt96Dpi scaled for the screen). The best-sized source is
    // scaled to fit and centred; an index with no picture in the theme gets a drawn stand-in.
    // A null image for an index that was never handed out or a size out of range.
    virtual QImage Render(int pIndex, int pPixels) = 0;

    // The type name shown for a file named like pFakePath ("PNG image"; a trailing delimiter:
    // "Folder"; an extension nobody knows: "XYZ File"; no extension: "File"). False when there is
    // no answer (pName is then empty).
    virtual bool TypeNameOf(const QString& pFakePath, QString& pName) = 0;
    // The type name of an item, from its list alone; false for lists this platform does not know.
    virtual bool TypeNameOfIdList(IdSpan pAbsolute, QString& pName) = 0;

    // Forgets what was learnt about extensions, types and user folders (after the user changed
    // them); indexes already handed out stay valid.
    virtual void Reinitialize() = 0;

    // Files with pExtension (".txt") get the icon pIconFile (picture pIconIndex inside it when
    // it holds several, -1: the file is the picture) from now on; the association is kept in
    // the program's own store, never in the desktop's. E_NOTIMPL where there is no store.
    virtual HResult SetExtensionIcon(const QString& pExtension, const QString& pIconFile,
                                     int pIconIndex)
    {
        (void)pExtension;
        (void)pIconFile;
        (void)pIconIndex;
        return E_NOTIMPL;
    }
};

} // namespace kiv::pf

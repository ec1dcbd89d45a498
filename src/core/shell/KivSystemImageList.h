#pragma once

// TKivSystemImageList: the image list through which every control of the family shows shell
// icons. It owns no icons: it shows the platform's shared icon table (pf::IIcons), in which every
// distinct icon has one index valid at every size, at one of the standard sizes or at any pixel
// size. Its class operations tell the icon index of an item, a path or an extension and the type
// name of an extension, turn one icon into a picture, and hand out shared instances per size and
// per pixel size, so that all controls of a process share one list object per size.
//
// Threads: an instance and its scaling belong to the user-interface thread, except that a worker
// may make the first request for a shared instance and draw from it (the thumbnail extractor does
// with the jumbo one). The class operations (index look-ups, type names, GetAsBitmap) may be
// called from any thread: warm look-ups are answered from memory under a shared lock, without
// touching the disk.

#include "core/shell/KivImageList.h"
#include "core/shell/KivShellTypes.h"
#include "core/shell/PathUtils.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace kiv {

// Which of the platform's standard lists an instance shows; the ordinal is the platform's list
// number. Default pixel sizes at 96 dpi: 32, 16, 48, 16, 256.
enum class TKivImageListSize
{
    si_Large,
    si_Small,
    si_ExtraLarge,
    si_SysSmall,
    si_Jumbo,
    // No standard list: one resized to any square size between 16 and 256 pixels.
    si_FreeScaled,
};

class TKivSystemImageList : public TKivImageList
{
public:
    // A small list at the screen's scale: Create(ScaledPixels(16), pOwner, si_Small).
    explicit TKivSystemImageList(QObject* pOwner = nullptr);
    // The platform's list of pSize, sharing its images. Background and drawing style keep the
    // defaults of image lists.
    TKivSystemImageList(TKivImageListSize pSize, QObject* pOwner);
    // A free-scaled list pHeight pixels square (transparent, no background); pSize is recorded
    // as the instance's Size although the list is free-scaled.
    TKivSystemImageList(int pHeight, QObject* pOwner, TKivImageListSize pSize);
    ~TKivSystemImageList() override;

    // A list for a control at pDestPpi: the platform's list of pSize when pDestPpi is the
    // screen's (and pSize is not si_Large), else a list resized to pSize's default pixels at
    // pDestPpi. si_FreeScaled raises EInvalidArgument (a free-scaled list is made with the
    // pixel-size constructor). The caller owns the result unless pOwner does.
    static TKivSystemImageList* CreateScaled(TKivImageListSize pSize, int pDestPpi,
                                             QObject* pOwner = nullptr);

    TKivImageListSize Size() const { return fSize; }
    // Shows the platform's list of pSize (only when it changes or no list is shown yet).
    void SetSize(TKivImageListSize pSize);
    void SetShareImages(bool pShare) override;
    // Whether the list was made for a resolution of its own (CreateScaled).
    bool Scaled() const { return fScaled; }
    // "TKivSystemImageList" and the family's version.
    QString Version() const;

    // Shows the icons pPixels square (0: DefaultSize()), from the smallest standard list that
    // serves the size, resized when it is not exactly that size. Signals OnChange.
    void Scale(int pPixels);
    // Rescales for a move from resolution pD to pM (the framework's scaling hook).
    void ChangeScale(int pM, int pD);
    // The size of the list's icons.
    QSize GetSize() const;
    // The icon width of the platform's small list.
    static int DefaultSize();
    // The icon index of a special folder; -1 when the folder is not available here.
    int GetSpecialFolderIcon(TKivShellFolder pFolder) const;

    // --- Class operations; every look-up gives -1 when nothing is found and never raises. ---

    // The icon of an item (an index valid at every size; pOpened: the open state of folders).
    static int GetIndexFromItemIdList(const IItemIdListPtr& pAbsoluteItemIdList,
                                      TKivImageListSize pSize, bool pOpened);
    // The icon of an existing or missing path.
    static int GetIndexFromPath(const QString& pFullPath, TKivImageListSize pSize, bool pOpened);
    // The icon from the path's form and extension only (never touches the disk): a path ending
    // with a delimiter, or a share root ("\\server\share"; "//server/share" in the POSIX
    // style), is a folder.
    static int GetIndexFromPathByExt(const QString& pPath, TKivImageListSize pSize, bool pOpened,
                                     TPathStyle pStyle = kHostPathStyle);
    // The icon of files with pExtension ("txt" or ".txt"), cached per size and state.
    static int GetIndexFromExtension(const QString& pExtension, TKivImageListSize pSize,
                                     bool pOpened);
    // The icon of a plain folder, closed or open (cached).
    static int GetFolderIconNumber(bool pOpened);
    // The icon of a file of an unknown type (cached).
    static int GetUnknownFileIconNumber();
    // The type name of files with pExtension ("PNG image"; "" or "." + nothing: files without
    // an extension); empty when the platform has no answer. Cached.
    static QString GetFileType(const QString& pExtension);

    // Icon pIconNumber of pImageList as a new pWidth x pHeight picture with alpha (negative:
    // the list's size) filled with pBackgroundColor; pStretch fits the icon to the picture,
    // otherwise it is drawn at the list's size, centred. A valid pBorderColor draws a frame
    // from (1, 1) to (width - 1, height - 1).
    static QImage GetAsBitmap(const TKivImageList& pImageList, int pIconNumber, int pHeight,
                              int pWidth, const QColor& pBorderColor,
                              const QColor& pBackgroundColor, bool pStretch);
    // Appends system icon pIconNumber to pImageList at its size; returns its new index there.
    static int CopySystemImageTo(TKivImageList& pImageList, int pIconNumber);
    // pBitmap as a pWidth x pHeight picture with alpha drawn over pBgColor (invalid: none);
    // from 256 pixels on the picture is taken as it is.
    static QImage BitmapFromHBitmap(const QImage& pBitmap, int pWidth, int pHeight,
                                    const QColor& pBgColor);
    // Makes a list keep 32-bit pictures (null is ignored).
    static void ConvertTo32BitImageList(TKivImageList* pImageList);

    // The shared instance of a size (si_FreeScaled: of ScaledPixels(16) pixels), made on first
    // request; never freed before the process ends.
    static TKivSystemImageList* GetInstance(TKivImageListSize pSize);
    // The shared free-scaled instance of a pixel size (clamped to 16..256; sizes up to three
    // pixels above the small size share the small one).
    static TKivSystemImageList* GetInstance(int pWidth);
    // The smallest standard list that serves pPixels.
    static TKivImageListSize PixelsToSize(int pPixels);
    // The icon size of a standard list on this screen (its default pixels scaled, never less);
    // si_FreeScaled answers for si_SysSmall.
    static int StandardPixels(TKivImageListSize pSize);

    // Forgets the cached indexes and type names (the platform was told of new associations).
    static void ClearCaches();

private:
    void Acquire();
    void Install(const TKivIconListHandlePtr& pList);

    TKivImageListSize fSize = TKivImageListSize::si_Small;
    TKivIconListHandlePtr fImageList;
    bool fScaled = false;
};

} // namespace kiv

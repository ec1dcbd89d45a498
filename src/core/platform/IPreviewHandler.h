#pragma once

#include "core/platform/Guid.h"
#include "core/platform/HResult.h"
#include "core/platform/IShellItem.h"
#include "core/platform/IStream.h"
#include "core/platform/WindowRef.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// Preview handlers: components that draw a file's content into a window the caller gives them.
// The caller looks a handler's class id up in the registry (the shellex key of the interface id
// below under the file type), asks the factory for an instance, initialises it with the file's
// content, then hands it a window.

namespace kiv::pf {

// Interface ids the registry keys are named by, and the class ids callers know by name.
namespace previewids {
// "<type>\shellex\{this}" names the preview handler of a file type.
inline constexpr Guid IID_IPreviewHandler =
    MakeGuid(0x8895B1C6, 0xB41F, 0x4C1C, 0xA5, 0x62, 0x0D, 0x56, 0x42, 0x50, 0x83, 0x6F);
// "<type>\shellex\{this}" names the thumbnail provider of a file type.
inline constexpr Guid IID_IThumbnailProvider =
    MakeGuid(0xE357FCCD, 0xA995, 0x4576, 0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96);
inline constexpr Guid IID_IInitializeWithStream =
    MakeGuid(0xB824B49D, 0x22AC, 0x4161, 0xAC, 0x8A, 0x99, 0x16, 0xE8, 0xFA, 0x3F, 0x7F);
inline constexpr Guid IID_IInitializeWithItem =
    MakeGuid(0x7F73BE3F, 0xFB79, 0x493C, 0xA6, 0xC7, 0x7E, 0xE1, 0x4E, 0x24, 0x58, 0x41);
inline constexpr Guid IID_IInitializeWithFile =
    MakeGuid(0xB7D14566, 0x0509, 0x4CCE, 0xA7, 0x1F, 0x0A, 0x55, 0x42, 0x33, 0xBD, 0x9B);
inline constexpr Guid IID_IPreviewHandlerVisuals =
    MakeGuid(0x196BF9A5, 0xB346, 0x4EF0, 0xAA, 0x1E, 0x5D, 0xCD, 0xB7, 0x67, 0x68, 0xB1);

// The system text previewer: plain text, read-only.
inline constexpr Guid CLSID_TextPreviewer =
    MakeGuid(0x1531D583, 0x8375, 0x4D3F, 0xB5, 0xFB, 0xD2, 0x3B, 0xBD, 0x16, 0x9F, 0x22);
// The document previewer (web documents, SVG, PDF).
inline constexpr Guid CLSID_DocumentPreviewer =
    MakeGuid(0x3A84F9C2, 0x6164, 0x485C, 0xA7, 0xD9, 0x4B, 0x27, 0xF8, 0xAC, 0x00, 0x9E);
// This host's picture previewer (raster images the image readers decode). Our own id.
inline constexpr Guid CLSID_ImagePreviewer =
    MakeGuid(0x6E3C5B0A, 0x2D41, 0x4F8E, 0x9B, 0x57, 0x1C, 0x84, 0x0F, 0xA2, 0x63, 0xD9);
// This host's thumbnail provider (the thumbnail cache and its generators). Our own id: it is
// named in the registry so that callers can tell which types have thumbnails; it is not made
// through the preview handler factory.
inline constexpr Guid CLSID_ThumbnailProvider =
    MakeGuid(0x0B9F2C71, 0x5E6A, 0x4C33, 0x8D, 0x1E, 0x7A, 0x40, 0xC5, 0x9B, 0x21, 0x6F);
// Class ids the preview host treats specially: replaced by the ones above, or kept on the
// user-interface thread. None of them is registered on this host.
inline constexpr Guid CLSID_SvgPreviewerOld =
    MakeGuid(0xF8B8412B, 0xDEA3, 0x4130, 0xB3, 0x6C, 0x5E, 0x8B, 0xE7, 0x31, 0x06, 0xAC);
inline constexpr Guid CLSID_MkvPreviewer =
    MakeGuid(0x031EE060, 0x67BC, 0x460D, 0x88, 0x47, 0xE4, 0xA7, 0xC5, 0xE4, 0x5A, 0x27);
inline constexpr Guid CLSID_TextPreviewerAlias =
    MakeGuid(0xD99D682B, 0x76E3, 0x471E, 0x8F, 0x43, 0xAF, 0xC1, 0xEC, 0x72, 0x04, 0x14);
inline constexpr Guid CLSID_UiThreadPreviewer1 =
    MakeGuid(0xDC6EFB56, 0x9CFA, 0x464D, 0x88, 0x80, 0x44, 0x88, 0x5D, 0x7D, 0xC1, 0x93);
inline constexpr Guid CLSID_UiThreadPreviewer2 =
    MakeGuid(0x92DBAD9F, 0x5025, 0x49B0, 0x90, 0x78, 0x2D, 0x78, 0xF9, 0x35, 0xE3, 0x41);
inline constexpr Guid CLSID_UiThreadPreviewer3 =
    MakeGuid(0x9B68BDF7, 0x95F9, 0x4A1F, 0x85, 0x1C, 0x27, 0xD8, 0x22, 0xF8, 0xE3, 0xE9);
inline constexpr Guid CLSID_HiddenWhilePreviewing =
    MakeGuid(0x84F66100, 0xFF7C, 0x4FB4, 0xB0, 0xC0, 0x02, 0xCD, 0x7F, 0xB6, 0x68, 0xFE);
} // namespace previewids

// Access modes handed to the Initialize calls (only reading is ever asked for).
namespace stgm {
inline constexpr std::uint32_t READ = 0x0;
} // namespace stgm

// Colours a handler draws with, when it lets the host choose them.
class IPreviewHandlerVisuals
{
public:
    virtual ~IPreviewHandlerVisuals() = default;
    virtual HResult SetBackgroundColor(const QColor& pColor) = 0;
    virtual HResult SetTextColor(const QColor& pColor) = 0;
};

// One preview of one file. The host calls, in this order: one of the Initialize calls (the
// first that does not answer E_NOINTERFACE: stream, then item, then file), SetWindow, DoPreview,
// SetRect any number of times, Unload. An instance previews one file once.
//
// Threads: the Initialize calls may run on a worker thread (the host's handler thread) and do
// the slow part there (reading, parsing, rendering); when RequiresUiThread() is true, SetWindow,
// SetRect, DoPreview, Unload and the visuals must be called on the user-interface thread (the
// host marshals them with IUiDispatcher::Send), because they make and touch widgets. The host
// never calls two methods at once.
class IPreviewHandler
{
public:
    virtual ~IPreviewHandler() = default;
    // The content as a stream; the handler reads what it needs before returning.
    virtual HResult InitializeWithStream(const IStreamPtr& pStream, std::uint32_t pMode)
    {
        (void)pStream;
        (void)pMode;
        return E_NOINTERFACE;
    }
    virtual HResult InitializeWithItem(const IShellItemPtr& pItem, std::uint32_t pMode)
    {
        (void)pItem;
        (void)pMode;
        return E_NOINTERFACE;
    }
    virtual HResult InitializeWithFile(const QString& pPath, std::uint32_t pMode)
    {
        (void)pPath;
        (void)pMode;
        return E_NOINTERFACE;
    }
    // The window to draw into and the rectangle inside it (client coordinates).
    virtual HResult SetWindow(WindowRef pParent, const QRect& pRect) = 0;
    virtual HResult SetRect(const QRect& pRect) = 0;
    // Shows the content; fails when nothing was initialised or the content cannot be shown.
    virtual HResult DoPreview() = 0;
    // Removes everything from the window and lets go of the content.
    virtual HResult Unload() = 0;
    // Null when the handler chooses its colours itself.
    virtual IPreviewHandlerVisuals* Visuals() { return nullptr; }
    virtual bool RequiresUiThread() const = 0;
};

using IPreviewHandlerPtr = std::shared_ptr<IPreviewHandler>;

// The document control of the PDF fallback: a view of one PDF document inside a host window.
// User-interface thread only.
class IPdfControl
{
public:
    virtual ~IPdfControl() = default;
    // The document: a path, optionally followed by "#" and open parameters ("view=Fit",
    // "pagemode=none", "toolbar=0", ...). Loading happens in the background; the control shows
    // the pages when they are ready.
    virtual HResult SetSource(const QString& pSource) = 0;
    // "SinglePage" (one page at a time; Page Up/Down turn) or "Continuous".
    virtual HResult SetLayoutMode(const QString& pMode) = 0;
    virtual HResult SetRect(const QRect& pRect) = 0;
    virtual void SetVisible(bool pVisible) = 0;
    // Removes the control from its host; the other calls do nothing afterwards.
    virtual void Close() = 0;
};

using IPdfControlPtr = std::shared_ptr<IPdfControl>;

// A handler class the factory makes, with the file types it previews (what the registry
// publishes).
struct PreviewHandlerClass
{
    Guid Clsid;
    // The name the registry lists beside the class id.
    QString Name;
    // MIME types previewed, by their canonical names (aliases match too).
    QStringList MimeTypes;
    // Kinds of content ("text", "image") whose every type is previewed, unless a class names
    // the type itself in MimeTypes.
    QStringList PerceivedTypes;
};

// Makes preview handlers by class id. Thread-safe.
class IPreviewHandlerFactory
{
public:
    virtual ~IPreviewHandlerFactory() = default;
    // A new handler; REGDB_E_CLASSNOTREG for an unknown class id.
    virtual HResult Create(const Guid& pClsid, IPreviewHandlerPtr& pHandler) = 0;
    virtual bool IsRegistered(const Guid& pClsid) const = 0;
    // The class id of a program id ("AcroPDF.PDF" when the PDF control is built in);
    // CO_E_CLASSSTRING for an unknown one.
    virtual HResult ClsidFromProgId(const QString& pProgId, Guid& pClsid) const = 0;
    // The PDF control inside pParent. User-interface thread only.
    virtual HResult CreatePdfControl(WindowRef pParent, IPdfControlPtr& pControl) = 0;
    // The classes Create makes, in the order a file type chooses between them.
    virtual std::vector<PreviewHandlerClass> Classes() const = 0;
};

// Results of the factory.
inline constexpr HResult REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
inline constexpr HResult CO_E_CLASSSTRING = MakeHResult(0x800401F3u);

} // namespace kiv::pf

#pragma once

// The non-visual image list the family's controls draw their icons from: square (or w x h)
// pictures by index, a background colour, a drawing style and a change notification. A list
// either keeps pictures of its own (added with Add) or shows a list object that it shares with
// others (its handle, TKivIconListHandle): the system image list installs a view of the
// platform's shared icon table there, so that thousands of icons cost nothing until drawn.
//
// Ownership: a list with an owner is that QObject's child and goes with it; a list without one
// belongs to whoever made it (the shared system lists live until the process ends). Lists belong
// to the user-interface thread; a list's handle may be drawn from on any thread.

#include <QColor>
#include <QImage>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kiv {

// How a list's pictures are drawn over the background (the framework's choices; only
// dsTransparent matters to the system lists).
enum class TKivDrawingStyle
{
    dsFocus,
    dsSelected,
    dsNormal,
    // The background shows through transparent pixels.
    dsTransparent,
};

// A list object of square pictures at one size, shared by the lists that install it. Thread-safe:
// the size is atomic and pictures are made on request.
class TKivIconListHandle
{
public:
    virtual ~TKivIconListHandle() = default;
    // The width and height of every picture.
    virtual int IconSize() const = 0;
    // Pictures from now on are pPixels square (1..1024; others are ignored).
    virtual void Resize(int pPixels) = 0;
    virtual int Count() const = 0;
    // Picture pIndex at IconSize(); null when out of range.
    virtual QImage Image(int pIndex) const = 0;
};

using TKivIconListHandlePtr = std::shared_ptr<TKivIconListHandle>;

class TKivImageList : public QObject
{
public:
    explicit TKivImageList(QObject* pOwner = nullptr);
    ~TKivImageList() override;
    TKivImageList(const TKivImageList&) = delete;
    TKivImageList& operator=(const TKivImageList&) = delete;

    // The size of the pictures: the handle's icon size while one is installed.
    int Width() const;
    int Height() const;
    // Sets the size pictures are drawn at (and the handle's, when one is installed).
    void SetSize(int pWidth, int pHeight);

    // Invalid: no background ("none"), pictures drawn over whatever is below.
    QColor BkColor() const { return fBkColor; }
    void SetBkColor(const QColor& pColour) { fBkColor = pColour; }
    TKivDrawingStyle DrawingStyle() const { return fDrawingStyle; }
    void SetDrawingStyle(TKivDrawingStyle pStyle) { fDrawingStyle = pStyle; }
    bool ShareImages() const { return fShareImages; }
    virtual void SetShareImages(bool pShare);
    // Bits per pixel of the pictures (32 with alpha; kept for callers that ask).
    int ColorDepth() const { return fColorDepth; }
    void SetColorDepth(int pBits) { fColorDepth = pBits; }

    bool HandleAllocated() const;
    TKivIconListHandlePtr Handle() const;
    // Installs a shared list object (null: back to the list's own pictures).
    void SetHandle(TKivIconListHandlePtr pHandle);

    int Count() const;
    // Picture pIndex at the list's size (its own pictures are scaled to fit); null when out of
    // range.
    QImage GetImage(int pIndex) const;
    // Appends a picture of the list's own; -1 while a shared list object is installed.
    int Add(const QImage& pImage);

    std::function<void(TKivImageList& pSender)> OnChange;

protected:
    // Runs OnChange.
    void Change();

private:
    int fWidth = 16;
    int fHeight = 16;
    QColor fBkColor = Qt::white;
    TKivDrawingStyle fDrawingStyle = TKivDrawingStyle::dsNormal;
    bool fShareImages = false;
    int fColorDepth = 32;
    std::vector<QImage> fImages;
    // The handle may be read by a worker drawing from a shared list while the user-interface
    // thread installs another.
    mutable std::mutex fHandleLock;
    TKivIconListHandlePtr fHandle; // guarded by fHandleLock
};

} // namespace kiv

#include "KivImageList.h"

#include <utility>

namespace kiv {

TKivImageList::TKivImageList(QObject* pOwner)
    : QObject(pOwner)
{
}

TKivImageList::~TKivImageList() = default;

int TKivImageList::Width() const
{
    const TKivIconListHandlePtr handle = Handle();
    return handle ? handle->IconSize() : fWidth;
}

int TKivImageList::Height() const
{
    const TKivIconListHandlePtr handle = Handle();
    return handle ? handle->IconSize() : fHeight;
}

void TKivImageList::SetSize(int pWidth, int pHeight)
{
    if (pWidth < 1 || pHeight < 1)
        return;
    fWidth = pWidth;
    fHeight = pHeight;
    const TKivIconListHandlePtr handle = Handle();
    if (handle && handle->IconSize() != pHeight)
        handle->Resize(pHeight);
}

void TKivImageList::SetShareImages(bool pShare)
{
    fShareImages = pShare;
}

bool TKivImageList::HandleAllocated() const
{
    return Handle() != nullptr;
}

TKivIconListHandlePtr TKivImageList::Handle() const
{
    std::lock_guard lock(fHandleLock);
    return fHandle;
}

void TKivImageList::SetHandle(TKivIconListHandlePtr pHandle)
{
    std::lock_guard lock(fHandleLock);
    fHandle = std::move(pHandle);
}

int TKivImageList::Count() const
{
    const TKivIconListHandlePtr handle = Handle();
    return handle ? handle->Count() : static_cast<int>(fImages.size());
}

QImage TKivImageList::GetImage(int pIndex) const
{
    if (const TKivIconListHandlePtr handle = Handle())
        return handle->Image(pIndex);
    if (pIndex < 0 || pIndex >= static_cast<int>(fImages.size()))
        return {};
    const QImage& image = fImages[static_cast<std::size_t>(pIndex)];
    if (image.width() == fWidth && image.height() == fHeight)
        return image;
    return image.scaled(fWidth, fHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

int TKivImageList::Add(const QImage& pImage)
{
    if (HandleAllocated() || pImage.isNull())
        return -1;
    fImages.push_back(pImage);
    Change();
    return static_cast<int>(fImages.size()) - 1;
}

void TKivImageList::Change()
{
    if (OnChange)
        OnChange(*this);
}

} // namespace kiv

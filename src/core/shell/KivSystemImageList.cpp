#include "KivSystemImageList.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IIcons.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivVersion.h"
#include "core/shell/ScreenScale.h"

#include <QHash>
#include <QPainter>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace kiv {
namespace {

constexpr int kOrdinalCount = 6;
// The pixel sizes of the shared free-scaled instances: the smallest and the jumbo list's.
constexpr int kMinSharedPixels = 16;
constexpr int kMaxSharedPixels = 256;
// The largest picture the platform renders.
constexpr int kMaxPixels = 1024;
// Entries each cache keeps at most. Extensions come from the names of whatever folders are
// shown, and numbered names ("backup.1", "backup.2", ...) would grow a cache without bound; past
// this many an answer is still given but no longer kept (the platform keeps its own).
constexpr std::size_t kMaxCacheEntries = 16384;
// The platform's type names are at most this long.
constexpr int kMaxTypeName = 80;
// An extension no file type has: its icon is the one of files nobody knows.
const char16_t* const kUnknownExtension = u"lxvbf_unknown_extension";

int Ordinal(TKivImageListSize pSize)
{
    return static_cast<int>(pSize);
}

// Default pixels of a size at 96 dpi; -1 for si_FreeScaled.
int DefaultPixels(TKivImageListSize pSize)
{
    return pf::shil::PixelsAt96Dpi(pSize == TKivImageListSize::si_FreeScaled ? -1 : Ordinal(pSize));
}

// A view of the platform's shared icon table at one size: the list object an instance shows.
// Every request makes a new view, so that resizing the list of one instance never resizes the
// icons of another (the table and its pictures are shared underneath).
class TSystemIconList final : public TKivIconListHandle
{
public:
    TSystemIconList(TKivImageListSize pSize, int pPixels)
        : fSize(pSize)
        , fPixels(pPixels)
    {
    }

    TKivImageListSize ListSize() const { return fSize; }
    int IconSize() const override { return fPixels.load(std::memory_order_relaxed); }
    void Resize(int pPixels) override
    {
        if (pPixels >= 1 && pPixels <= kMaxPixels)
            fPixels.store(pPixels, std::memory_order_relaxed);
    }
    int Count() const override
    {
        try {
            return pf::Platform().Icons().Count();
        } catch (...) {
            return 0;
        }
    }
    QImage Image(int pIndex) const override
    {
        const int pixels = IconSize();
        try {
            pf::IIcons& icons = pf::Platform().Icons();
            if (pixels >= 16)
                return icons.Render(pIndex, pixels);
            // The platform draws from 16 pixels on; smaller lists scale that down.
            const QImage image = icons.Render(pIndex, 16);
            return image.isNull() ? image
                                  : image.scaled(pixels, pixels, Qt::IgnoreAspectRatio,
                                                 Qt::SmoothTransformation);
        } catch (...) {
            return {};
        }
    }

private:
    const TKivImageListSize fSize;
    std::atomic<int> fPixels;
};

std::shared_ptr<TSystemIconList> PlatformList(TKivImageListSize pSize)
{
    return std::make_shared<TSystemIconList>(pSize, TKivSystemImageList::StandardPixels(pSize));
}

// The extension cache's key: the extension with its leading dot (empty: none) and the size and
// state (ordinal * 2 + opened), which is what the fake path root + "test" + ordinal + state +
// extension carries. Looked up through a view, so that a warm look-up allocates nothing.
struct TExtensionKey
{
    QString Extension;
    int Kind;
};

struct TExtensionView
{
    QStringView Extension;
    // "txt" is looked up as ".txt".
    bool AddDot;
    int Kind;
};

TExtensionView ViewOf(QStringView pExtension, TKivImageListSize pSize, bool pOpened)
{
    return {pExtension, !pExtension.isEmpty() && !pExtension.startsWith(u'.'),
            Ordinal(pSize) * 2 + (pOpened ? 1 : 0)};
}

struct TExtensionHash
{
    using is_transparent = void;

    static std::size_t Of(const TExtensionView& pKey) noexcept
    {
        // FNV-1a over the UTF-16 units, the dot included when it is added.
        std::size_t hash = 14695981039346656037ull ^ static_cast<std::size_t>(pKey.Kind);
        const auto mix = [&hash](char16_t pUnit) {
            hash ^= pUnit;
            hash *= 1099511628211ull;
        };
        if (pKey.AddDot)
            mix(u'.');
        for (const QChar c : pKey.Extension)
            mix(c.unicode());
        return hash;
    }
    std::size_t operator()(const TExtensionView& pKey) const noexcept { return Of(pKey); }
    std::size_t operator()(const TExtensionKey& pKey) const noexcept
    {
        return Of({pKey.Extension, false, pKey.Kind});
    }
};

struct TExtensionEqual
{
    using is_transparent = void;

    static bool Same(const TExtensionKey& pKey, const TExtensionView& pView) noexcept
    {
        if (pKey.Kind != pView.Kind)
            return false;
        const QStringView stored(pKey.Extension);
        if (!pView.AddDot)
            return stored == pView.Extension;
        return stored.size() == pView.Extension.size() + 1 && stored.startsWith(u'.') &&
               stored.mid(1) == pView.Extension;
    }
    bool operator()(const TExtensionKey& pA, const TExtensionKey& pB) const noexcept
    {
        return pA.Kind == pB.Kind && pA.Extension == pB.Extension;
    }
    bool operator()(const TExtensionView& pA, const TExtensionKey& pB) const noexcept
    {
        return Same(pB, pA);
    }
    bool operator()(const TExtensionKey& pA, const TExtensionView& pB) const noexcept
    {
        return Same(pA, pB);
    }
};

// What the class operations remember. Indexes belong to the platform that handed them out: a
// newly installed platform (tests install their own) starts from empty caches.
struct TCaches
{
    // Checks the installed platform; clears everything when it is not the one cached for.
    void Refresh()
    {
        const std::uint64_t generation = pf::PlatformGeneration();
        if (Generation.load(std::memory_order_acquire) == generation)
            return;
        std::scoped_lock lock(ExtensionLock, TypeLock);
        if (Generation.load(std::memory_order_relaxed) == generation)
            return;
        ClearLocked();
        // The drive root of the system folder: "/" here.
        QString root = pf::HasPlatform() ? pf::Platform().Namespace().SystemRoot() : QString();
        if (root.isEmpty() || !(root.endsWith(u'/') || root.endsWith(u'\\')))
            root += u'/';
        Root = root;
        Generation.store(generation, std::memory_order_release);
    }

    void ClearLocked()
    {
        Extensions.clear();
        Types.clear();
        for (std::atomic<int>& folder : Folder)
            folder.store(-1, std::memory_order_relaxed);
        Unknown.store(-1, std::memory_order_relaxed);
    }

    // Written under both locks (Refresh), read under either.
    QString Root = QStringLiteral("/");
    std::atomic<std::uint64_t> Generation{~std::uint64_t{0}};

    std::shared_mutex ExtensionLock;
    // guarded by ExtensionLock
    std::unordered_map<TExtensionKey, int, TExtensionHash, TExtensionEqual> Extensions;
    std::shared_mutex TypeLock;
    QHash<QString, QString> Types; // guarded by TypeLock; key: upper-cased fake path
    // Closed and open folder icon, unknown-file icon: any thread computes the same value.
    std::array<std::atomic<int>, 2> Folder{-1, -1};
    std::atomic<int> Unknown{-1};
};

TCaches& Caches()
{
    // Never destroyed: workers may still ask while the process exits.
    static auto* const caches = new TCaches(); // NOLINT(cppcoreguidelines-owning-memory)
    return *caches;
}

QString RootOf(TCaches& pCaches)
{
    std::shared_lock lock(pCaches.ExtensionLock);
    return pCaches.Root;
}

// The icon index of a path through the platform; any failure gives -1.
int PathIconIndex(const QString& pPath, bool pOpened, bool pNameOnly)
{
    try {
        return pf::Platform().Icons().IconIndexOfPath(pPath, pOpened, pNameOnly);
    } catch (...) {
        return -1;
    }
}

// The extension of pPath's last component with its dot (the whole name for ".name"); empty when
// there is none.
QStringView ExtensionOf(QStringView pPath, TPathStyle pStyle)
{
    for (qsizetype i = pPath.size() - 1; i >= 0; --i) {
        const QChar c = pPath[i];
        if (c == u'.')
            return pPath.mid(i);
        if (c == u'/' || (pStyle == TPathStyle::psWindows && (c == u'\\' || c == u':')))
            break;
    }
    return {};
}

// The text with leading and trailing blanks and control characters removed.
QString TrimControls(const QString& pText)
{
    qsizetype first = 0;
    qsizetype last = pText.size();
    while (first < last && pText[first].unicode() <= u' ')
        ++first;
    while (last > first && pText[last - 1].unicode() <= u' ')
        --last;
    return pText.mid(first, last - first);
}

int IndexOfExtension(QStringView pExtension, TKivImageListSize pSize, bool pOpened)
{
    TCaches& caches = Caches();
    caches.Refresh();
    const TExtensionView view = ViewOf(pExtension, pSize, pOpened);
    QString root;
    {
        std::shared_lock lock(caches.ExtensionLock);
        const auto it = caches.Extensions.find(view);
        if (it != caches.Extensions.end())
            return it->second;
        root = caches.Root;
    }
    TExtensionKey key{view.AddDot ? u'.' + pExtension.toString() : pExtension.toString(),
                      view.Kind};
    // The fake file path asked: root + "test" + size + state + extension, so that the closed
    // small icon of .txt is "/test10.txt". Asked outside the lock, so that workers meeting new
    // types do not wait for each other; two threads asking the same key get the same index.
    const QString fakePath = root + QStringLiteral("test") + QString::number(Ordinal(pSize)) +
                             (pOpened ? QStringLiteral("-1") : QStringLiteral("0")) + key.Extension;
    const int index = PathIconIndex(fakePath, pOpened, true);
    std::unique_lock lock(caches.ExtensionLock);
    if (caches.Extensions.size() < kMaxCacheEntries)
        caches.Extensions.emplace(std::move(key), index);
    return index;
}

// The shared instances; made under the lock, so that two threads asking first get one.
struct TInstances
{
    std::mutex Lock;
    std::array<TKivSystemImageList*, kOrdinalCount> BySize{}; // guarded by Lock
    std::map<int, TKivSystemImageList*> ByPixels;             // guarded by Lock
};

TInstances& Instances()
{
    // Never destroyed, like the instances: controls may draw from them until the very end.
    static auto* const instances = new TInstances(); // NOLINT(cppcoreguidelines-owning-memory)
    return *instances;
}

void MakeTransparent(TKivSystemImageList& pList)
{
    pList.SetBkColor(QColor());
    pList.SetDrawingStyle(TKivDrawingStyle::dsTransparent);
}

} // namespace

// ---------------------------------------------------------------------------------------------

TKivSystemImageList::TKivSystemImageList(QObject* pOwner)
    : TKivSystemImageList(TScreenScale::ScaledPixels(16), pOwner, TKivImageListSize::si_Small)
{
}

TKivSystemImageList::TKivSystemImageList(TKivImageListSize pSize, QObject* pOwner)
    : TKivImageList(pOwner)
{
    TKivImageList::SetShareImages(true);
    SetSize(pSize);
}

TKivSystemImageList::TKivSystemImageList(int pHeight, QObject* pOwner, TKivImageListSize pSize)
    : TKivImageList(pOwner)
{
    TKivImageList::SetShareImages(true);
    MakeTransparent(*this);
    fImageList = PlatformList(TKivImageListSize::si_FreeScaled);
    SetHandle(fImageList);
    if (pHeight != fImageList->IconSize())
        fImageList->Resize(pHeight);
    TKivImageList::SetSize(pHeight, pHeight);
    fSize = pSize;
}

TKivSystemImageList::~TKivSystemImageList() = default;

TKivSystemImageList* TKivSystemImageList::CreateScaled(TKivImageListSize pSize, int pDestPpi,
                                                       QObject* pOwner)
{
    if (pSize == TKivImageListSize::si_FreeScaled)
        throw EInvalidArgument(
            QStringLiteral("Use different constructor to create a freescaled imageList."));
    const int screen = TScreenScale::ScreenPpi();
    // Owned by pOwner (a QObject parent) or, without one, by the caller.
    TKivSystemImageList* list = nullptr;
    if (pDestPpi == screen && pSize != TKivImageListSize::si_Large) {
        // NOLINTNEXTLINE(cppcoreguidelines-owning-memory): see above
        list = new TKivSystemImageList(pSize, pOwner);
    } else {
        const int target = TScreenScale::MulDiv(DefaultPixels(pSize), pDestPpi, 96);
        TKivImageListSize base = TKivImageListSize::si_FreeScaled;
        if (pSize == TKivImageListSize::si_Small)
            base = pDestPpi < screen ? TKivImageListSize::si_SysSmall : TKivImageListSize::si_Large;
        // Made over the free-scaled list first, then given the base list at the target size.
        // NOLINTNEXTLINE(cppcoreguidelines-owning-memory): see above
        list = new TKivSystemImageList(target, pOwner, base);
        list->fImageList = PlatformList(base);
        list->fImageList->Resize(target);
        list->Install(list->fImageList);
    }
    MakeTransparent(*list);
    list->fScaled = true;
    return list;
}

void TKivSystemImageList::Install(const TKivIconListHandlePtr& pList)
{
    if (ShareImages()) {
        SetHandle(pList);
        return;
    }
    // A list of its own: a view that no other list resizes.
    const auto* system = static_cast<const TSystemIconList*>(pList.get());
    auto own = std::make_shared<TSystemIconList>(system->ListSize(), system->IconSize());
    SetHandle(std::move(own));
}

void TKivSystemImageList::Acquire()
{
    const int pixels = StandardPixels(fSize);
    fImageList = PlatformList(fSize);
    Install(fImageList);
    if (fSize == TKivImageListSize::si_FreeScaled)
        Scale(pixels);
    TKivImageList::SetSize(pixels, pixels);
}

void TKivSystemImageList::SetSize(TKivImageListSize pSize)
{
    if (pSize == fSize && HandleAllocated())
        return;
    fSize = pSize;
    Acquire();
}

void TKivSystemImageList::SetShareImages(bool pShare)
{
    const bool hadHandle = HandleAllocated();
    SetHandle(nullptr);
    TKivImageList::SetShareImages(pShare);
    if (hadHandle)
        Acquire();
}

QString TKivSystemImageList::Version() const
{
    return ComponentVersion(u"TKivSystemImageList");
}

void TKivSystemImageList::Scale(int pPixels)
{
    if (!HandleAllocated() || !fImageList)
        return;
    if (pPixels == 0)
        pPixels = DefaultSize();
    if (pPixels == fImageList->IconSize())
        return;
    const TKivImageListSize size = PixelsToSize(pPixels);
    if (size != fSize) {
        fImageList = PlatformList(size);
        if (ShareImages())
            SetHandle(fImageList);
        if (fSize != TKivImageListSize::si_FreeScaled)
            fSize = size;
    }
    if (pPixels != fImageList->IconSize())
        fImageList->Resize(pPixels);
    Change();
}

void TKivSystemImageList::ChangeScale(int pM, int pD)
{
    if (pM == pD)
        return;
    if (pM == TScreenScale::ScreenPpi() && fSize != TKivImageListSize::si_Large &&
        fSize != TKivImageListSize::si_FreeScaled) {
        fImageList = PlatformList(fSize);
        Install(fImageList);
    } else {
        TKivImageListSize base = TKivImageListSize::si_FreeScaled;
        if (fSize == TKivImageListSize::si_Small)
            base = pM < pD ? TKivImageListSize::si_SysSmall : TKivImageListSize::si_Large;
        const int current = fImageList ? fImageList->IconSize() : Height();
        const int from = fSize == TKivImageListSize::si_FreeScaled
                             ? current
                             : TScreenScale::MulDiv(DefaultPixels(fSize), pD, 96);
        const int target = TScreenScale::MulDiv(from, pM, pD);
        fImageList = PlatformList(base);
        fImageList->Resize(target);
        Install(fImageList);
    }
    Change();
}

QSize TKivSystemImageList::GetSize() const
{
    const int pixels = fImageList ? fImageList->IconSize() : Width();
    return {pixels, pixels};
}

int TKivSystemImageList::DefaultSize()
{
    return StandardPixels(TKivImageListSize::si_Small);
}

int TKivSystemImageList::StandardPixels(TKivImageListSize pSize)
{
    const int pixels = DefaultPixels(
        pSize == TKivImageListSize::si_FreeScaled ? TKivImageListSize::si_SysSmall : pSize);
    // The platform's lists follow the screen, not the active window.
    const int scaled = TScreenScale::MulDiv(pixels, TScreenScale::ScreenPpi(), 96);
    return scaled < pixels ? pixels : scaled;
}

TKivImageListSize TKivSystemImageList::PixelsToSize(int pPixels)
{
    using S = TKivImageListSize;
    if (StandardPixels(S::si_SysSmall) >= pPixels)
        return S::si_SysSmall;
    if (StandardPixels(S::si_Large) >= pPixels)
        return S::si_Large;
    if (StandardPixels(S::si_ExtraLarge) >= pPixels)
        return S::si_ExtraLarge;
    if (pPixels >= StandardPixels(S::si_Jumbo))
        return S::si_Jumbo;
    // Between the extra-large and the jumbo size: the extra-large list, enlarged.
    return S::si_ExtraLarge;
}

int TKivSystemImageList::GetSpecialFolderIcon(TKivShellFolder pFolder) const
{
    try {
        const IItemIdListPtr list = TKivItemIdList::CreateForSpecialFolder(pFolder, true);
        if (!list)
            return -1;
        const TIdListBuffer bytes = list->WindowsPointer();
        if (!bytes)
            return -1;
        return pf::Platform().Icons().IconIndexOfIdList(pf::IdSpan(*bytes), false);
    } catch (...) {
        return -1;
    }
}

// --- Look-ups ----------------------------------------------------------------------------------

int TKivSystemImageList::GetIndexFromItemIdList(const IItemIdListPtr& pAbsoluteItemIdList,
                                                TKivImageListSize /*pSize*/, bool pOpened)
{
    // Indexes are the same at every size: the size does not enter the question.
    try {
        // An invalid list has no binary form: one question answers both.
        if (!pAbsoluteItemIdList)
            return -1;
        const TIdListBuffer bytes = pAbsoluteItemIdList->WindowsPointer();
        if (!bytes)
            return -1;
        return pf::Platform().Icons().IconIndexOfIdList(pf::IdSpan(*bytes), pOpened);
    } catch (...) {
        return -1;
    }
}

int TKivSystemImageList::GetIndexFromPath(const QString& pFullPath, TKivImageListSize pSize,
                                          bool pOpened)
{
    const int index = PathIconIndex(pFullPath, false, false);
    if (index >= 0)
        return index;
    bool folder = pFullPath.contains(u'*');
    if (!folder && !pFullPath.isEmpty()) {
        try {
            const std::uint32_t attributes =
                pf::Platform().FileSystem().GetFileAttributes(pFullPath);
            folder =
                attributes != pf::fileattr::INVALID && (attributes & pf::fileattr::DIRECTORY) != 0;
        } catch (...) {
            folder = false;
        }
    }
    if (folder)
        return GetFolderIconNumber(false);
    return GetIndexFromPathByExt(pFullPath, pSize, pOpened);
}

int TKivSystemImageList::GetIndexFromPathByExt(const QString& pPath, TKivImageListSize pSize,
                                               bool pOpened, TPathStyle pStyle)
{
    if (!pPath.isEmpty()) {
        const QChar delimiter = TPathUtils::Delimiter(pStyle);
        if (pPath.endsWith(delimiter))
            return GetFolderIconNumber(pOpened);
        // A share root ("\\server\share"; "//server/share" here) shows as a folder. Here only
        // the doubled delimiter marks it: a path such as "/usr/a.txt" is a file.
        const bool shareForm = pStyle == TPathStyle::psWindows
                                   ? pPath.startsWith(delimiter)
                                   : pPath.startsWith(QStringLiteral("//"));
        if (shareForm && pPath.count(delimiter) <= 3)
            return GetFolderIconNumber(pOpened);
    }
    return IndexOfExtension(ExtensionOf(pPath, pStyle), pSize, pOpened);
}

int TKivSystemImageList::GetIndexFromExtension(const QString& pExtension, TKivImageListSize pSize,
                                               bool pOpened)
{
    return IndexOfExtension(pExtension, pSize, pOpened);
}

int TKivSystemImageList::GetFolderIconNumber(bool pOpened)
{
    TCaches& caches = Caches();
    caches.Refresh();
    std::atomic<int>& cached = caches.Folder[pOpened ? 1 : 0];
    int index = cached.load(std::memory_order_relaxed);
    if (index >= 0)
        return index;
    // The platform's icon of a plain folder (what the temporary-files folder shows), asked
    // without touching the disk.
    try {
        index = pf::Platform().Icons().StockIconIndex(pOpened ? pf::TStockIcon::siFolderOpen
                                                              : pf::TStockIcon::siFolder);
    } catch (...) {
        index = -1;
    }
    cached.store(index, std::memory_order_relaxed);
    return index;
}

int TKivSystemImageList::GetUnknownFileIconNumber()
{
    TCaches& caches = Caches();
    caches.Refresh();
    int index = caches.Unknown.load(std::memory_order_relaxed);
    if (index >= 0)
        return index;
    index = GetIndexFromExtension(QString::fromUtf16(kUnknownExtension),
                                  TKivImageListSize::si_Small, false);
    caches.Unknown.store(index, std::memory_order_relaxed);
    return index;
}

QString TKivSystemImageList::GetFileType(const QString& pExtension)
{
    TCaches& caches = Caches();
    caches.Refresh();
    QString fakePath = RootOf(caches) + QStringLiteral("test");
    if (!pExtension.isEmpty()) {
        if (!pExtension.startsWith(u'.'))
            fakePath += u'.';
        fakePath += pExtension;
    }
    const QString key = fakePath.toUpper();
    {
        std::shared_lock lock(caches.TypeLock);
        const auto it = caches.Types.constFind(key);
        if (it != caches.Types.constEnd())
            return *it;
    }
    QString name;
    try {
        if (!pf::Platform().Icons().TypeNameOf(fakePath, name))
            return {};
    } catch (...) {
        return {};
    }
    name = TrimControls(name.left(kMaxTypeName));
    std::unique_lock lock(caches.TypeLock);
    if (static_cast<std::size_t>(caches.Types.size()) < kMaxCacheEntries)
        caches.Types.insert(key, name);
    return name;
}

void TKivSystemImageList::ClearCaches()
{
    TCaches& caches = Caches();
    caches.Refresh();
    std::scoped_lock lock(caches.ExtensionLock, caches.TypeLock);
    caches.ClearLocked();
}

// --- Pictures ----------------------------------------------------------------------------------

QImage TKivSystemImageList::GetAsBitmap(const TKivImageList& pImageList, int pIconNumber,
                                        int pHeight, int pWidth, const QColor& pBorderColor,
                                        const QColor& pBackgroundColor, bool pStretch)
{
    const int height = pHeight < 0 ? pImageList.Height() : pHeight;
    const int width = pWidth < 0 ? pImageList.Width() : pWidth;
    if (width < 1 || height < 1)
        return {};
    QImage bitmap(width, height, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(pBackgroundColor.isValid() ? pBackgroundColor : QColor(Qt::transparent));
    const QImage icon = pImageList.GetImage(pIconNumber);
    QPainter painter(&bitmap);
    if (!icon.isNull()) {
        if (pStretch) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(0, 0, width, height), icon);
        } else {
            // Centred at the list's own size; halves truncated.
            painter.drawImage((width - pImageList.Width()) / 2, (height - pImageList.Height()) / 2,
                              icon);
        }
    }
    if (pBorderColor.isValid()) {
        // The frame's outer pixels run from (1, 1) to (width - 2, height - 2).
        painter.setPen(pBorderColor);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(1, 1, width - 3, height - 3));
    }
    return bitmap;
}

int TKivSystemImageList::CopySystemImageTo(TKivImageList& pImageList, int pIconNumber)
{
    const TKivSystemImageList* source = GetInstance(pImageList.Height());
    const QImage bitmap = GetAsBitmap(*source, pIconNumber, pImageList.Height(), pImageList.Width(),
                                      QColor(), QColor(), false);
    return pImageList.Add(bitmap);
}

QImage TKivSystemImageList::BitmapFromHBitmap(const QImage& pBitmap, int pWidth, int pHeight,
                                              const QColor& pBgColor)
{
    if (pWidth >= 256 || pHeight >= 256)
        return pBitmap;
    if (pWidth < 1 || pHeight < 1)
        return {};
    QImage bitmap(pWidth, pHeight, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(pBgColor.isValid() ? pBgColor : QColor(Qt::transparent));
    if (!pBitmap.isNull()) {
        // The first pWidth x pHeight cell of the source, as an image list of that size holds it.
        QPainter painter(&bitmap);
        painter.drawImage(QPoint(0, 0), pBitmap, QRect(0, 0, pWidth, pHeight));
    }
    return bitmap;
}

void TKivSystemImageList::ConvertTo32BitImageList(TKivImageList* pImageList)
{
    if (pImageList)
        pImageList->SetColorDepth(32);
}

// --- Shared instances --------------------------------------------------------------------------

TKivSystemImageList* TKivSystemImageList::GetInstance(TKivImageListSize pSize)
{
    if (pSize == TKivImageListSize::si_FreeScaled)
        return GetInstance(TScreenScale::ScaledPixels(16));
    TInstances& instances = Instances();
    std::lock_guard lock(instances.Lock);
    TKivSystemImageList*& slot = instances.BySize[static_cast<std::size_t>(Ordinal(pSize))];
    if (!slot) {
        slot = new TKivSystemImageList(pSize, nullptr); // NOLINT: lives until the process ends
        MakeTransparent(*slot);
    }
    return slot;
}

TKivSystemImageList* TKivSystemImageList::GetInstance(int pWidth)
{
    int width = std::clamp(pWidth, kMinSharedPixels, kMaxSharedPixels);
    const int small = TScreenScale::ScaledPixels(16);
    // Sizes a few pixels above the small one are drawn from it rather than from a list of their
    // own.
    if (width >= small && width <= small + 3)
        width = small;
    TInstances& instances = Instances();
    std::lock_guard lock(instances.Lock);
    TKivSystemImageList*& slot = instances.ByPixels[width];
    if (!slot)
        slot = new TKivSystemImageList(width, nullptr, TKivImageListSize::si_FreeScaled); // NOLINT
    return slot;
}

} // namespace kiv

#include "LinuxIcons.h"

#include "IconTheme.h"
#include "LinuxItems.h"
#include "MimeDatabase.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"
#include "core/platform/KnownFolderIds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace kiv::pf::lnx {
namespace {

// The picture sizes a caller may ask for: the smallest list up to well past the jumbo one.
constexpr int kMinPixels = 16;
constexpr int kMaxPixels = 1024;
// Names without an extension are cached by the whole name, but only this many of them: a folder
// of hash-named files must not grow the table without bound.
constexpr int kMaxFullNameKeys = 4096;
// How long the "trash has something in it" answer is reused: the trash icon of a tree or an
// address bar is redrawn often, and the answer only drives a picture.
constexpr std::chrono::seconds kTrashRecheck{2};
// Bytes read from a file whose name tells nothing, to recognise it by content: the magic rules
// of shared-mime-info look at the first few hundred bytes.
constexpr qint64 kSniffBytes = 4096;

// Every use here is rare (once per extension), so sharing the layer's lock costs nothing.
std::mutex& MimeLock()
{
    return MimeDatabaseLock();
}

// Lower-case suffixes of more than one part that some glob names ("tar.gz", "pkg.tar.zst"), so
// that "x.tar.gz" is typed as a compressed archive and not as gzip data.
const QSet<QString>& MultiPartSuffixes()
{
    static const QSet<QString> suffixes = [] {
        QSet<QString> set;
        std::lock_guard lock(MimeLock());
        const QMimeDatabase db;
        for (const QMimeType& type : db.allMimeTypes()) {
            for (const QString& glob : type.globPatterns()) {
                if (!glob.startsWith(QLatin1String("*.")))
                    continue;
                const QString suffix = glob.mid(2).toLower();
                if (suffix.contains(u'.') && !suffix.contains(u'*') && !suffix.contains(u'['))
                    set.insert(suffix);
            }
        }
        return set;
    }();
    return suffixes;
}

QString Capitalised(QString pText)
{
    pText = pText.trimmed();
    if (!pText.isEmpty())
        pText[0] = pText[0].toUpper();
    // The platform's type names are at most 80 characters.
    return pText.left(80);
}

const QString& FolderTypeName()
{
    static const QString name = [] {
        std::lock_guard lock(MimeLock());
        const QString comment =
            QMimeDatabase().mimeTypeForName(QStringLiteral("inode/directory")).comment();
        return comment.isEmpty() ? QStringLiteral("Folder") : Capitalised(comment);
    }();
    return name;
}

struct TStockSpec
{
    QStringList Names;
    TBuiltinIcon Builtin;
};

TStockSpec StockSpec(TStockIcon pIcon)
{
    using B = TBuiltinIcon;
    switch (pIcon) {
    case TStockIcon::siDesktop:
        return {{QStringLiteral("user-desktop")}, B::biFolder};
    case TStockIcon::siComputer:
        return {{QStringLiteral("computer")}, B::biComputer};
    case TStockIcon::siNetwork:
        return {{QStringLiteral("network-workgroup"), QStringLiteral("network-server")},
                B::biNetwork};
    case TStockIcon::siHome:
        return {{QStringLiteral("user-home")}, B::biHome};
    case TStockIcon::siTrashEmpty:
        return {{QStringLiteral("user-trash")}, B::biTrash};
    case TStockIcon::siTrashFull:
        return {{QStringLiteral("user-trash-full")}, B::biTrash};
    case TStockIcon::siFolder:
        return {{QStringLiteral("folder")}, B::biFolder};
    case TStockIcon::siFolderOpen:
        return {{QStringLiteral("folder-open")}, B::biFolderOpen};
    case TStockIcon::siDocuments:
        return {{QStringLiteral("folder-documents"), QStringLiteral("folder")}, B::biFolder};
    case TStockIcon::siDownloads:
        return {{QStringLiteral("folder-download"), QStringLiteral("folder")}, B::biFolder};
    case TStockIcon::siMusic:
        return {{QStringLiteral("folder-music"), QStringLiteral("folder")}, B::biFolder};
    case TStockIcon::siPictures:
        return {{QStringLiteral("folder-pictures"), QStringLiteral("folder")}, B::biFolder};
    case TStockIcon::siVideos:
        return {{QStringLiteral("folder-videos"), QStringLiteral("folder")}, B::biFolder};
    case TStockIcon::siDriveFixed:
        return {{QStringLiteral("drive-harddisk")}, B::biDrive};
    case TStockIcon::siDriveRemovable:
        return {{QStringLiteral("drive-removable-media"), QStringLiteral("media-removable"),
                 QStringLiteral("drive-harddisk")},
                B::biDrive};
    case TStockIcon::siDriveRemote:
        return {{QStringLiteral("folder-remote"), QStringLiteral("network-server")}, B::biNetwork};
    case TStockIcon::siDriveOptical:
        return {{QStringLiteral("media-optical"), QStringLiteral("drive-optical")}, B::biDrive};
    case TStockIcon::siUnknownFile:
        break;
    }
    // The icon of application/octet-stream: what a file of an unknown type shows.
    return {{QStringLiteral("application-octet-stream"), QStringLiteral("application-x-generic"),
             QStringLiteral("text-x-generic")},
            B::biFile};
}

// The class items of the namespace that stand for a folder of the user (their icons and where
// their children live).
struct TClassFolder
{
    Guid Id;
    TStockIcon Icon;
    std::string TXdgDirs::*Dir;
};

constexpr TClassFolder kClassFolders[] = {
    {clsid::Home, TStockIcon::siHome, &TXdgDirs::Home},
    {clsid::DesktopFolder, TStockIcon::siDesktop, &TXdgDirs::Desktop},
    {clsid::DocumentsFolder, TStockIcon::siDocuments, &TXdgDirs::Documents},
    {clsid::DownloadsFolder, TStockIcon::siDownloads, &TXdgDirs::Download},
    {clsid::MusicFolder, TStockIcon::siMusic, &TXdgDirs::Music},
    {clsid::PicturesFolder, TStockIcon::siPictures, &TXdgDirs::Pictures},
    {clsid::VideosFolder, TStockIcon::siVideos, &TXdgDirs::Videos},
};

bool IsDelimiter(QChar pChar)
{
    return pChar == u'/' || pChar == u'\\';
}

// The theme named by $KIV_ICON_THEME, else the default one; a theme that is not installed (or has
// no folder icon) gives way to the default.
std::shared_ptr<const TIconTheme> LoadSystemTheme()
{
    const QString fallback = QStringLiteral("Adwaita");
    const QString name = qEnvironmentVariable("KIV_ICON_THEME");
    auto theme = TIconTheme::Load(name.isEmpty() ? fallback : name, TIconTheme::DefaultBaseDirs());
    if (!theme->Has(QStringLiteral("folder")) && !name.isEmpty() && name != fallback)
        theme = TIconTheme::Load(fallback, TIconTheme::DefaultBaseDirs());
    return theme;
}

// Weights of a separable resampling filter from pIn samples to pOut: a tent one output pixel
// wide when enlarging (bilinear) and as wide as the input pixels an output pixel covers when
// reducing (close to an area average), normalised per output sample.
struct TTaps
{
    int First;
    std::vector<float> Weights;
};

std::vector<TTaps> TapsFor(int pIn, int pOut)
{
    const double scale = static_cast<double>(pOut) / pIn;
    const double support = scale < 1 ? 1 / scale : 1;
    std::vector<TTaps> taps(static_cast<std::size_t>(pOut));
    for (int i = 0; i < pOut; ++i) {
        const double centre = (i + 0.5) / scale - 0.5;
        const int first = static_cast<int>(std::floor(centre - support)) + 1;
        const int last = static_cast<int>(std::ceil(centre + support)) - 1;
        TTaps& tap = taps[static_cast<std::size_t>(i)];
        tap.First = first;
        double total = 0;
        for (int j = first; j <= last; ++j) {
            const double weight = std::max(0.0, 1 - std::abs(j - centre) / support);
            tap.Weights.push_back(static_cast<float>(weight));
            total += weight;
        }
        for (float& weight : tap.Weights)
            weight = total > 0 ? static_cast<float>(weight / total) : 0;
    }
    return taps;
}

// pSource fitted into a transparent pPixels square, centred, keeping its aspect. Done here and
// not with QImage::scaled or a format conversion: those spread large images over Qt's shared
// thread pool, which competes with the caller's own workers and hides its hand-offs from the
// thread sanitizer (Qt is not instrumented).
QImage FitSquare(const QImage& pSource, int pPixels)
{
    const int sw = pSource.width();
    const int sh = pSource.height();
    const double factor =
        std::min(static_cast<double>(pPixels) / sw, static_cast<double>(pPixels) / sh);
    const int dw = std::clamp(static_cast<int>(std::lround(sw * factor)), 1, pPixels);
    const int dh = std::clamp(static_cast<int>(std::lround(sh * factor)), 1, pPixels);

    // Premultiplied channels, so that transparent pixels lend no colour to their neighbours.
    const bool direct = pSource.format() == QImage::Format_ARGB32;
    std::vector<float> source(static_cast<std::size_t>(sw) * sh * 4);
    for (int y = 0; y < sh; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pSource.constScanLine(y));
        for (int x = 0; x < sw; ++x) {
            const QRgb pixel = direct ? line[x] : pSource.pixel(x, y);
            const float alpha = static_cast<float>(qAlpha(pixel)) / 255.0f;
            float* out = &source[(static_cast<std::size_t>(y) * sw + x) * 4];
            out[0] = static_cast<float>(qRed(pixel)) * alpha;
            out[1] = static_cast<float>(qGreen(pixel)) * alpha;
            out[2] = static_cast<float>(qBlue(pixel)) * alpha;
            out[3] = static_cast<float>(qAlpha(pixel));
        }
    }

    const auto clampIndex = [](int pIndex, int pCount) {
        return std::clamp(pIndex, 0, pCount - 1);
    };
    // Rows first, then columns.
    const std::vector<TTaps> across = TapsFor(sw, dw);
    std::vector<float> rows(static_cast<std::size_t>(dw) * sh * 4, 0.0f);
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < dw; ++x) {
            const TTaps& tap = across[static_cast<std::size_t>(x)];
            float* out = &rows[(static_cast<std::size_t>(y) * dw + x) * 4];
            for (std::size_t k = 0; k < tap.Weights.size(); ++k) {
                const int from = clampIndex(tap.First + static_cast<int>(k), sw);
                const float* in = &source[(static_cast<std::size_t>(y) * sw + from) * 4];
                for (int c = 0; c < 4; ++c)
                    out[c] += in[c] * tap.Weights[k];
            }
        }
    }
    const std::vector<TTaps> down = TapsFor(sh, dh);
    QImage picture(pPixels, pPixels, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    const int left = (pPixels - dw) / 2;
    const int top = (pPixels - dh) / 2;
    for (int y = 0; y < dh; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(top + y)) + left;
        const TTaps& tap = down[static_cast<std::size_t>(y)];
        for (int x = 0; x < dw; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (std::size_t k = 0; k < tap.Weights.size(); ++k) {
                const int from = clampIndex(tap.First + static_cast<int>(k), sh);
                const float* in = &rows[(static_cast<std::size_t>(from) * dw + x) * 4];
                for (int c = 0; c < 4; ++c)
                    sum[c] += in[c] * tap.Weights[k];
            }
            const int alpha = std::clamp(static_cast<int>(std::lround(sum[3])), 0, 255);
            const auto channel = [&](float pValue) {
                return std::clamp(static_cast<int>(std::lround(pValue)), 0, alpha);
            };
            line[x] = qRgba(channel(sum[0]), channel(sum[1]), channel(sum[2]), alpha);
        }
    }
    return picture;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TIconRegistry& TIconRegistry::System()
{
    // Never destroyed: workers may still ask for icons while the process exits.
    static auto* const registry = new TIconRegistry(LoadSystemTheme); // NOLINT: see above
    return *registry;
}

TIconRegistry::TIconRegistry(std::shared_ptr<const TIconTheme> pTheme)
    : fLoadTheme([pTheme] { return pTheme; })
{
}

TIconRegistry::TIconRegistry(std::function<std::shared_ptr<const TIconTheme>()> pLoadTheme)
    : fLoadTheme(std::move(pLoadTheme))
{
}

const TIconTheme* TIconRegistry::Theme()
{
    std::call_once(fThemeOnce, [this] { fTheme = fLoadTheme(); });
    return fTheme.get();
}

TIconRegistry::~TIconRegistry() = default;

int TIconRegistry::IndexOf(const QStringList& pNames, TBuiltinIcon pBuiltin)
{
    const TIconTheme* theme = Theme();
    QString name;
    bool hasTheme = false;
    for (const QString& candidate : pNames) {
        if (!candidate.isEmpty() && theme && theme->Has(candidate)) {
            name = candidate;
            hasTheme = true;
            break;
        }
    }
    // A stand-in keeps the name it stands for, so that icons the theme lacks stay distinct.
    if (!hasTheme)
        name = QStringLiteral("builtin:") +
               (pNames.isEmpty() ? QString::number(static_cast<int>(pBuiltin)) : pNames.first());
    {
        std::shared_lock lock(fNamesLock);
        const auto it = fIndexOfName.constFind(name);
        if (it != fIndexOfName.constEnd())
            return *it;
    }
    std::unique_lock lock(fNamesLock);
    const auto it = fIndexOfName.constFind(name);
    if (it != fIndexOfName.constEnd())
        return *it;
    const int index = static_cast<int>(fEntries.size());
    fEntries.push_back({name, pBuiltin, hasTheme, QString(), -1});
    fIndexOfName.insert(name, index);
    return index;
}

int TIconRegistry::IndexOfFile(const QString& pPath, int pImage)
{
    const QString name = QStringLiteral("file:%1,%2").arg(pPath).arg(pImage);
    {
        std::shared_lock lock(fNamesLock);
        const auto it = fIndexOfName.constFind(name);
        if (it != fIndexOfName.constEnd())
            return *it;
    }
    std::unique_lock lock(fNamesLock);
    const auto it = fIndexOfName.constFind(name);
    if (it != fIndexOfName.constEnd())
        return *it;
    const int index = static_cast<int>(fEntries.size());
    fEntries.push_back({name, TBuiltinIcon::biFile, false, pPath, pImage});
    fIndexOfName.insert(name, index);
    return index;
}

int TIconRegistry::Count() const
{
    std::shared_lock lock(fNamesLock);
    return static_cast<int>(fEntries.size());
}

QString TIconRegistry::NameOf(int pIndex) const
{
    std::shared_lock lock(fNamesLock);
    if (pIndex < 0 || pIndex >= static_cast<int>(fEntries.size()))
        return {};
    return fEntries[static_cast<std::size_t>(pIndex)].Name;
}

QImage TIconRegistry::Render(int pIndex, int pPixels)
{
    if (pPixels < kMinPixels || pPixels > kMaxPixels)
        return {};
    TEntry entry;
    {
        std::shared_lock lock(fNamesLock);
        if (pIndex < 0 || pIndex >= static_cast<int>(fEntries.size()))
            return {};
        entry = fEntries[static_cast<std::size_t>(pIndex)];
    }
    const std::uint64_t key =
        (static_cast<std::uint64_t>(pIndex) << 32) | static_cast<std::uint32_t>(pPixels);
    {
        std::lock_guard lock(fImagesLock);
        const auto it = fImages.constFind(key);
        if (it != fImages.constEnd())
            return *it;
    }

    // Read and scale outside the lock: another thread may do the same meanwhile, and the first
    // one to finish wins (both pictures are equal).
    QImage source;
    if (entry.HasTheme) {
        QImageReader reader(Theme()->Find(entry.Name, pPixels));
        source = reader.read();
    } else if (!entry.File.isEmpty()) {
        QImageReader reader(entry.File);
        if (entry.Image <= 0 || reader.jumpToImage(entry.Image))
            source = reader.read();
    }
    const QImage picture =
        source.isNull() ? DrawBuiltinIcon(entry.Builtin, pPixels) : FitSquare(source, pPixels);

    std::lock_guard lock(fImagesLock);
    const auto it = fImages.constFind(key);
    if (it != fImages.constEnd())
        return *it;
    fImages.insert(key, picture);
    return picture;
}

QImage DrawBuiltinIcon(TBuiltinIcon pIcon, int pPixels)
{
    QImage image(pPixels, pPixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 16-unit grid, scaled to the size asked for.
    painter.scale(pPixels / 16.0, pPixels / 16.0);
    painter.setPen(QPen(QColor(60, 60, 60), 0.75));
    switch (pIcon) {
    case TBuiltinIcon::biFile: {
        QPainterPath page;
        page.moveTo(3, 1);
        page.lineTo(10, 1);
        page.lineTo(13, 4);
        page.lineTo(13, 15);
        page.lineTo(3, 15);
        page.closeSubpath();
        painter.setBrush(QColor(250, 250, 250));
        painter.drawPath(page);
        painter.drawPolyline(QPolygonF({QPointF(10, 1), QPointF(10, 4), QPointF(13, 4)}));
        break;
    }
    case TBuiltinIcon::biFolder:
    case TBuiltinIcon::biHome:
        painter.setBrush(QColor(230, 180, 60));
        painter.drawRect(QRectF(1, 3, 6, 2));
        painter.drawRect(QRectF(1, 4.5, 14, 9.5));
        if (pIcon == TBuiltinIcon::biHome) {
            painter.setBrush(QColor(250, 250, 250));
            painter.drawPolygon(QPolygonF({QPointF(8, 6), QPointF(11.5, 9), QPointF(4.5, 9)}));
            painter.drawRect(QRectF(5.5, 9, 5, 3.5));
        }
        break;
    case TBuiltinIcon::biFolderOpen:
        painter.setBrush(QColor(200, 150, 40));
        painter.drawRect(QRectF(1, 3, 13, 11));
        painter.setBrush(QColor(245, 200, 90));
        painter.drawPolygon(
            QPolygonF({QPointF(3, 7), QPointF(15.5, 7), QPointF(13.5, 14), QPointF(1, 14)}));
        break;
    case TBuiltinIcon::biDrive:
        painter.setBrush(QColor(180, 180, 190));
        painter.drawRoundedRect(QRectF(1, 5, 14, 7), 1.5, 1.5);
        painter.setBrush(QColor(80, 200, 80));
        painter.drawEllipse(QRectF(11, 8, 2, 2));
        break;
    case TBuiltinIcon::biComputer:
        painter.setBrush(QColor(90, 120, 170));
        painter.drawRect(QRectF(1, 2, 14, 9));
        painter.setBrush(QColor(180, 180, 190));
        painter.drawRect(QRectF(5, 12, 6, 2));
        break;
    case TBuiltinIcon::biNetwork:
        painter.setBrush(QColor(90, 140, 200));
        painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        painter.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        painter.drawEllipse(QRectF(5, 1.5, 6, 13));
        break;
    case TBuiltinIcon::biTrash:
        painter.setBrush(QColor(160, 160, 170));
        painter.drawRect(QRectF(2, 3, 12, 2));
        painter.drawPolygon(
            QPolygonF({QPointF(3, 5), QPointF(13, 5), QPointF(12, 15), QPointF(4, 15)}));
        break;
    case TBuiltinIcon::biOverlay:
        painter.setBrush(QColor(255, 255, 255));
        painter.drawRect(QRectF(0.5, 9.5, 6, 6));
        painter.drawLine(QPointF(2, 14), QPointF(5, 11));
        painter.drawPolyline(QPolygonF({QPointF(3, 11), QPointF(5, 11), QPointF(5, 13)}));
        break;
    }
    return image;
}

// ---------------------------------------------------------------------------------------------

struct TLinuxIcons::TUserFolders
{
    TXdgDirs Dirs;
    std::unordered_map<std::string, TStockIcon> ByPath;
};

TLinuxIcons::TLinuxIcons()
    : TLinuxIcons(TIconRegistry::System())
{
}

TLinuxIcons::TLinuxIcons(TIconRegistry& pRegistry)
    : fRegistry(pRegistry)
{
    for (auto& index : fStock)
        index.store(-1, std::memory_order_relaxed);
}

TLinuxIcons::~TLinuxIcons() = default;

int TLinuxIcons::StockIconIndex(TStockIcon pIcon)
{
    const auto slot = static_cast<std::size_t>(pIcon);
    if (slot >= fStock.size())
        return -1;
    int index = fStock[slot].load(std::memory_order_relaxed);
    if (index >= 0)
        return index;
    // Any thread computes the same value: no lock needed to publish it.
    const TStockSpec spec = StockSpec(pIcon);
    index = fRegistry.IndexOf(spec.Names, spec.Builtin);
    fStock[slot].store(index, std::memory_order_relaxed);
    return index;
}

int TLinuxIcons::OverlayIndex(TIconOverlay pOverlay)
{
    switch (pOverlay) {
    case TIconOverlay::ovLink:
        return fRegistry.IndexOf({QStringLiteral("emblem-symbolic-link")}, TBuiltinIcon::biOverlay);
    case TIconOverlay::ovShare:
        return fRegistry.IndexOf({QStringLiteral("emblem-shared")}, TBuiltinIcon::biOverlay);
    }
    return -1;
}

int TLinuxIcons::Count()
{
    return fRegistry.Count();
}

QImage TLinuxIcons::Render(int pIndex, int pPixels)
{
    return fRegistry.Render(pIndex, pPixels);
}

std::uint64_t TLinuxIcons::MimeQueries() const
{
    return fMimeQueries.load(std::memory_order_relaxed);
}

TLinuxIcons::TTypeInfo TLinuxIcons::TypeOfMime(const QString& pMimeName)
{
    QStringList names;
    QString comment;
    bool known = false;
    {
        std::lock_guard lock(MimeLock());
        const QMimeDatabase db;
        const QMimeType type = db.mimeTypeForName(pMimeName);
        known = type.isValid() && !type.isDefault();
        if (known) {
            names << type.iconName() << type.genericIconName();
            comment = type.comment();
        }
    }
    TTypeInfo info;
    if (!known) {
        info.Index = StockIconIndex(TStockIcon::siUnknownFile);
        return info;
    }
    names << QStringLiteral("text-x-generic");
    info.Index = fRegistry.IndexOf(names, TBuiltinIcon::biFile);
    info.TypeName = Capitalised(comment);
    return info;
}

TLinuxIcons::TTypeInfo TLinuxIcons::TypeOfKey(const QString& pKey, bool pFullName)
{
    {
        std::shared_lock lock(fTypesLock);
        const auto it = fTypes.constFind(pKey);
        if (it != fTypes.constEnd())
            return *it;
    }
    fMimeQueries.fetch_add(1, std::memory_order_relaxed);
    QString mimeName;
    {
        std::lock_guard lock(MimeLock());
        const QMimeDatabase db;
        const QString fakeName = pFullName ? pKey.mid(1) : QStringLiteral("x") + pKey;
        mimeName = db.mimeTypeForFile(fakeName, QMimeDatabase::MatchExtension).name();
    }
    TTypeInfo info = TypeOfMime(mimeName);
    if (!pFullName) {
        const auto overrides = IconOverrides();
        const auto own = overrides->constFind(pKey.toLower());
        if (own != overrides->constEnd())
            info.Index = fRegistry.IndexOfFile(own->Path, own->Image);
    }
    if (info.TypeName.isEmpty()) {
        // Nobody knows the type: "XYZ File" after the extension, plain "File" without one.
        info.TypeName = pFullName
                            ? QStringLiteral("File")
                            : FileNameForDisplay(pKey.mid(1).toUpper()) + QStringLiteral(" File");
    }
    std::unique_lock lock(fTypesLock);
    if (!pFullName || fTypes.size() < kMaxFullNameKeys)
        fTypes.insert(pKey, info);
    return info;
}

TLinuxIcons::TTypeInfo TLinuxIcons::TypeOfName(std::string_view pName, bool pExecutable)
{
    const std::size_t dot = pName.rfind('.');
    TTypeInfo info;
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == pName.size()) {
        info = TypeOfKey(QStringLiteral("=") + DecodeFileName(pName), true);
    } else {
        // The longest suffix a glob names, of up to three parts.
        std::size_t start = dot;
        std::size_t earlier = dot;
        for (int parts = 2; parts <= 3; ++parts) {
            if (earlier == 0)
                break;
            earlier = pName.rfind('.', earlier - 1);
            if (earlier == std::string_view::npos || earlier == 0)
                break;
            if (MultiPartSuffixes().contains(DecodeFileName(pName.substr(earlier + 1)).toLower()))
                start = earlier;
        }
        info = TypeOfKey(QStringLiteral(".") + DecodeFileName(pName.substr(start + 1)), false);
    }
    if (pExecutable && info.Index == StockIconIndex(TStockIcon::siUnknownFile))
        info.Index =
            fRegistry.IndexOf({QStringLiteral("application-x-executable")}, TBuiltinIcon::biFile);
    return info;
}

std::shared_ptr<const TLinuxIcons::TUserFolders> TLinuxIcons::UserFolders()
{
    {
        std::lock_guard lock(fFoldersLock);
        if (fFolders)
            return fFolders;
    }
    // Read outside the lock; a thread that loses the race drops its copy.
    auto folders = std::make_shared<TUserFolders>();
    folders->Dirs = TXdgDirs::Load();
    for (const TClassFolder& folder : kClassFolders) {
        const std::string& path = folders->Dirs.*folder.Dir;
        // A user folder that is the home folder itself (an unset XDG dir) keeps the home icon.
        if (!path.empty() && !folders->ByPath.contains(path))
            folders->ByPath.emplace(path, folder.Icon);
    }
    std::lock_guard lock(fFoldersLock);
    if (!fFolders)
        fFolders = std::move(folders);
    return fFolders;
}

int TLinuxIcons::FolderIndex(const std::string& pPath, bool pKnownPath, bool pOpen)
{
    if (pKnownPath) {
        const auto folders = UserFolders();
        const auto it = folders->ByPath.find(pPath);
        if (it != folders->ByPath.end())
            return StockIconIndex(it->second);
    }
    return StockIconIndex(pOpen ? TStockIcon::siFolderOpen : TStockIcon::siFolder);
}

bool TLinuxIcons::TrashIsFull()
{
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(fTrashLock);
        if (fTrashCheckedAt != std::chrono::steady_clock::time_point{} &&
            now - fTrashCheckedAt < kTrashRecheck)
            return fTrashFull;
    }
    // The user's own trash only: the per-volume ones may sit on slow mounts.
    const std::string& dataHome = UserFolders()->Dirs.DataHome;
    const QDir files(DecodeFileName(dataHome) + QStringLiteral("/Trash/files"));
    const bool full =
        !dataHome.empty() && files.exists() &&
        !files.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    std::lock_guard lock(fTrashLock);
    fTrashCheckedAt = now;
    fTrashFull = full;
    return full;
}

bool TLinuxIcons::PathOfItems(IdSpan pAbsolute, std::string& pPath)
{
    // Put together from the items, without touching the disk.
    bool known = false;
    const std::size_t depth = pAbsolute.Depth();
    TItem item;
    for (std::size_t i = 0; i < depth; ++i) {
        if (!DecodeItem(pAbsolute.Item(i), item))
            return false;
        switch (item.Kind) {
        case kind::Class:
            known = false;
            for (const TClassFolder& folder : kClassFolders) {
                if (folder.Id == item.ClassId) {
                    pPath = UserFolders()->Dirs.*folder.Dir;
                    known = !pPath.empty();
                }
            }
            break;
        case kind::Mount:
            pPath.assign(item.Text);
            known = true;
            break;
        case kind::FsFolder:
        case kind::FsFile:
            if (i == 0) {
                // Entries of the desktop folder sit right below the desktop.
                pPath = UserFolders()->Dirs.Desktop;
                known = !pPath.empty();
            }
            if (!pPath.empty() && pPath.back() != '/')
                pPath += '/';
            pPath.append(item.Text);
            break;
        default:
            known = false;
            break;
        }
    }
    return known;
}

int TLinuxIcons::IconIndexOfIdList(IdSpan pAbsolute, bool pOpen)
{
    if (pAbsolute.IsEmpty())
        return StockIconIndex(TStockIcon::siDesktop);

    // The last item decides; the others matter only for a folder, whose path tells whether it
    // is one of the user's special folders.
    TItem item;
    if (!DecodeItem(pAbsolute.Last(), item))
        return -1;
    if (item.Kind == kind::FsFolder) {
        std::string path;
        const bool knownPath = PathOfItems(pAbsolute, path);
        return FolderIndex(path, knownPath, pOpen);
    }

    switch (item.Kind) {
    case kind::Class: {
        for (const TClassFolder& folder : kClassFolders) {
            if (folder.Id == item.ClassId)
                return StockIconIndex(folder.Icon);
        }
        if (item.ClassId == clsid::ThisPC)
            return StockIconIndex(TStockIcon::siComputer);
        if (item.ClassId == clsid::Network)
            return StockIconIndex(TStockIcon::siNetwork);
        if (item.ClassId == clsid::Trash)
            return StockIconIndex(TrashIsFull() ? TStockIcon::siTrashFull
                                                : TStockIcon::siTrashEmpty);
        if (item.ClassId == clsid::Recent)
            return fRegistry.IndexOf({QStringLiteral("document-open-recent")},
                                     TBuiltinIcon::biFolder);
        if (item.ClassId == clsid::QuickAccess)
            return fRegistry.IndexOf({QStringLiteral("user-bookmarks")}, TBuiltinIcon::biFolder);
        if (item.ClassId == clsid::ControlPanel)
            return fRegistry.IndexOf({QStringLiteral("preferences-system")},
                                     TBuiltinIcon::biComputer);
        return StockIconIndex(pOpen ? TStockIcon::siFolderOpen : TStockIcon::siFolder);
    }
    case kind::Mount:
        if (item.MountFlags & mountflag::Optical)
            return StockIconIndex(TStockIcon::siDriveOptical);
        if (item.MountFlags & mountflag::Remote)
            return StockIconIndex(TStockIcon::siDriveRemote);
        if (item.MountFlags & mountflag::Removable)
            return StockIconIndex(TStockIcon::siDriveRemovable);
        return StockIconIndex(TStockIcon::siDriveFixed);
    case kind::FsFile:
    case kind::TrashEntry:
    case kind::ZipEntry: {
        if (S_ISDIR(item.Snapshot.Mode))
            return FolderIndex({}, false, pOpen);
        const bool executable = S_ISREG(item.Snapshot.Mode) && (item.Snapshot.Mode & 0111) != 0;
        return TypeOfName(item.Text, executable).Index;
    }
    case kind::RecentEntry:
    case kind::QuickAccessEntry: {
        if (item.TargetIsFolder)
            return FolderIndex(std::string(item.Text), true, pOpen);
        const std::size_t slash = item.Text.rfind('/');
        return TypeOfName(slash == std::string_view::npos ? item.Text : item.Text.substr(slash + 1),
                          false)
            .Index;
    }
    case kind::NetHost:
        return fRegistry.IndexOf({QStringLiteral("network-server")}, TBuiltinIcon::biNetwork);
    case kind::NetShare:
        return StockIconIndex(TStockIcon::siDriveRemote);
    case kind::SettingsEntry:
        return fRegistry.IndexOf({QStringLiteral("preferences-system")}, TBuiltinIcon::biComputer);
    default:
        return -1;
    }
}

int TLinuxIcons::IconIndexOfPath(const QString& pPath, bool pOpen, bool pNameOnly)
{
    if (pPath.isEmpty())
        return -1;
    if (pNameOnly) {
        if (IsDelimiter(pPath.back()))
            return StockIconIndex(pOpen ? TStockIcon::siFolderOpen : TStockIcon::siFolder);
        qsizetype start = pPath.size();
        while (start > 0 && !IsDelimiter(pPath[start - 1]))
            --start;
        return TypeOfName(EncodeFileName(QStringView(pPath).mid(start)), false).Index;
    }

    std::string path = EncodeFileName(pPath);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    if (S_ISDIR(st.st_mode))
        return FolderIndex(path, true, pOpen);
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    const bool executable = S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
    TTypeInfo info = TypeOfName(name, executable);
    if (info.Index != StockIconIndex(TStockIcon::siUnknownFile) || !S_ISREG(st.st_mode))
        return info.Index;

    // The name tells nothing: look at the content (read outside the MIME lock).
    QFile file(pPath);
    if (!file.open(QIODevice::ReadOnly))
        return info.Index;
    const QByteArray data = file.read(kSniffBytes);
    QString mimeName;
    {
        std::lock_guard lock(MimeLock());
        mimeName = QMimeDatabase().mimeTypeForData(data).name();
    }
    return TypeOfMime(mimeName).Index;
}

int TLinuxIcons::IconIndexOfExtension(const QString& pExtension)
{
    if (pExtension.isEmpty() || pExtension == QLatin1String("."))
        return TypeOfKey(QStringLiteral("="), true).Index;
    const QString name = pExtension.startsWith(u'.') ? QStringLiteral("x") + pExtension
                                                     : QStringLiteral("x.") + pExtension;
    return TypeOfName(EncodeFileName(name), false).Index;
}

bool TLinuxIcons::TypeNameOf(const QString& pFakePath, QString& pName)
{
    pName.clear();
    if (pFakePath.isEmpty())
        return false;
    if (IsDelimiter(pFakePath.back())) {
        pName = FolderTypeName();
        return true;
    }
    qsizetype start = pFakePath.size();
    while (start > 0 && !IsDelimiter(pFakePath[start - 1]))
        --start;
    pName = TypeOfName(EncodeFileName(QStringView(pFakePath).mid(start)), false).TypeName;
    return !pName.isEmpty();
}

bool TLinuxIcons::TypeNameOfIdList(IdSpan pAbsolute, QString& pName)
{
    pName.clear();
    if (pAbsolute.IsEmpty()) {
        pName = QStringLiteral("System Folder");
        return true;
    }
    TItem item;
    if (!DecodeItem(pAbsolute.Last(), item))
        return false;
    switch (item.Kind) {
    case kind::FsFolder:
        pName = FolderTypeName();
        break;
    case kind::FsFile:
    case kind::TrashEntry:
    case kind::ZipEntry:
        pName =
            S_ISDIR(item.Snapshot.Mode) ? FolderTypeName() : TypeOfName(item.Text, false).TypeName;
        break;
    case kind::RecentEntry:
    case kind::QuickAccessEntry: {
        const std::size_t slash = item.Text.rfind('/');
        pName = item.TargetIsFolder ? FolderTypeName()
                                    : TypeOfName(item.Text.substr(slash + 1), false).TypeName;
        break;
    }
    case kind::Mount:
        pName = item.MountFlags & mountflag::Optical     ? QStringLiteral("CD Drive")
                : item.MountFlags & mountflag::Remote    ? QStringLiteral("Network Drive")
                : item.MountFlags & mountflag::Removable ? QStringLiteral("Removable Disk")
                                                         : QStringLiteral("Local Disk");
        break;
    default:
        pName = QStringLiteral("System Folder");
        break;
    }
    return !pName.isEmpty();
}

namespace {

QString IconStorePath()
{
    return DecodeFileName(TXdgDirs::Load().ConfigHome) + QStringLiteral("/tovaline/icons.ini");
}

const QString kOverridesSection = QStringLiteral("[IconOverrides]");

} // namespace

std::shared_ptr<const QHash<QString, TLinuxIcons::TIconFile>> TLinuxIcons::IconOverrides()
{
    std::lock_guard lock(fOverridesLock);
    if (fOverrides)
        return fOverrides;
    auto overrides = std::make_shared<QHash<QString, TIconFile>>();
    QFile file(IconStorePath());
    bool inSection = false;
    if (file.open(QIODevice::ReadOnly)) {
        for (QString line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            line = line.trimmed();
            if (line.startsWith(u'[')) {
                inSection = line == kOverridesSection;
                continue;
            }
            const qsizetype equals = line.indexOf(u'=');
            if (!inSection || equals <= 1 || !line.startsWith(u'.'))
                continue;
            QString target = line.mid(equals + 1).trimmed();
            TIconFile icon;
            const qsizetype comma = target.lastIndexOf(u',');
            bool numbered = false;
            const int image = comma > 0 ? target.mid(comma + 1).toInt(&numbered) : -1;
            if (numbered) {
                icon.Image = image;
                target.truncate(comma);
            }
            icon.Path = target;
            overrides->insert(line.left(equals).trimmed().toLower(), icon);
        }
    }
    fOverrides = std::move(overrides);
    return fOverrides;
}

HResult TLinuxIcons::SetExtensionIcon(const QString& pExtension, const QString& pIconFile,
                                      int pIconIndex)
{
    if (pIconFile.isEmpty() || pIconFile.contains(u'\n'))
        return E_INVALIDARG;
    const QString bare = pExtension.startsWith(u'.') ? pExtension.mid(1) : pExtension;
    if (bare.isEmpty() || bare.contains(u'=') || bare.contains(u'\n'))
        return E_INVALIDARG;
    const QString key = u'.' + bare.toLower();
    std::lock_guard lock(fOverridesLock);
    const QString path = IconStorePath();
    QStringList lines;
    QFile old(path);
    if (old.open(QIODevice::ReadOnly))
        lines = QString::fromUtf8(old.readAll()).split(u'\n');
    old.close();
    // Our own section keeps its place; other sections are kept as they are.
    qsizetype section = lines.indexOf(kOverridesSection);
    if (section < 0) {
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        lines << kOverridesSection;
        section = lines.size() - 1;
    }
    const QString entry =
        key + u'=' +
        (pIconIndex < 0 ? pIconFile : QStringLiteral("%1,%2").arg(pIconFile).arg(pIconIndex));
    qsizetype at = section + 1;
    bool replaced = false;
    for (; at < lines.size() && !lines[at].trimmed().startsWith(u'['); ++at) {
        if (lines[at].section(u'=', 0, 0).trimmed().toLower() == key) {
            lines[at] = entry;
            replaced = true;
            break;
        }
    }
    if (!replaced)
        lines.insert(at, entry);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return E_ACCESSDENIED;
    QString text = lines.join(u'\n');
    if (!text.endsWith(u'\n'))
        text += u'\n';
    file.write(text.toUtf8());
    if (!file.commit())
        return E_FAIL;
    fOverrides.reset();
    return S_OK;
}

void TLinuxIcons::Reinitialize()
{
    {
        std::lock_guard lock(fOverridesLock);
        fOverrides.reset();
    }
    {
        std::unique_lock lock(fTypesLock);
        fTypes.clear();
    }
    {
        std::lock_guard lock(fFoldersLock);
        fFolders.reset();
    }
    std::lock_guard lock(fTrashLock);
    fTrashCheckedAt = {};
}

} // namespace kiv::pf::lnx

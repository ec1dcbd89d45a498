#include "MemoryIcons.h"

#include "MemoryPlatform.h"
#include "core/platform/INamespace.h"
#include "core/platform/IShellFolder.h"

#include <algorithm>

namespace kiv::pf::mem {
namespace {

constexpr int kStockCount = static_cast<int>(TStockIcon::siUnknownFile) + 1;
constexpr int kOverlayCount = 2;

bool IsDelimiter(QChar pChar)
{
    return pChar == u'/' || pChar == u'\\';
}

// The extension of the last component of pPath, without its dot (empty when there is none).
QString ExtensionOf(const QString& pPath)
{
    qsizetype start = pPath.size();
    while (start > 0 && !IsDelimiter(pPath[start - 1]))
        --start;
    const qsizetype dot = pPath.lastIndexOf(u'.');
    return dot > start ? pPath.mid(dot + 1) : QString();
}

} // namespace

TMemoryIcons::TMemoryIcons(TMemoryPlatform& pOwner)
    : fOwner(pOwner)
    , fCount(kStockCount + kOverlayCount)
{
}

QString TMemoryIcons::KeyOf(const QString& pExtension)
{
    const QString bare = pExtension.startsWith(u'.') ? pExtension.mid(1) : pExtension;
    return u'.' + bare.toLower();
}

int TMemoryIcons::ExtensionIndexLocked(const QString& pKey)
{
    ++fIndexCalls;
    if (fFailing)
        return -1;
    if (pKey == QLatin1String("."))
        return static_cast<int>(TStockIcon::siUnknownFile);
    const auto it = fExtensions.constFind(pKey);
    if (it != fExtensions.constEnd())
        return *it;
    const int index = fCount++;
    fExtensions.insert(pKey, index);
    return index;
}

QString TMemoryIcons::TypeNameLocked(const QString& pKey)
{
    ++fTypeNameCalls;
    if (fFailing)
        return {};
    const auto it = fTypeNames.constFind(pKey);
    if (it != fTypeNames.constEnd())
        return *it;
    return pKey == QLatin1String(".") ? QStringLiteral("File")
                                      : pKey.mid(1).toUpper() + QStringLiteral(" File");
}

int TMemoryIcons::IconIndexOfIdList(IdSpan pAbsolute, bool pOpen)
{
    const TMemoryNode* node = fOwner.NodeOf(pAbsolute);
    std::lock_guard lock(fLock);
    if (!node || fFailing)
        return -1;
    if (!node->Parent())
        return static_cast<int>(TStockIcon::siDesktop);
    if (node->IsFolder())
        return static_cast<int>(pOpen ? TStockIcon::siFolderOpen : TStockIcon::siFolder);
    return ExtensionIndexLocked(KeyOf(ExtensionOf(node->Name())));
}

int TMemoryIcons::IconIndexOfPath(const QString& pPath, bool pOpen, bool pNameOnly)
{
    if (!pNameOnly) {
        IdListBytes list;
        const IShellFolderPtr desktop = fOwner.Namespace().Desktop();
        if (desktop && Succeeded(desktop->ParseDisplayName(nullptr, nullptr, pPath, list, nullptr)))
            return IconIndexOfIdList(IdSpan(list), pOpen);
        return -1;
    }
    std::lock_guard lock(fLock);
    if (fFailing || pPath.isEmpty())
        return -1;
    if (IsDelimiter(pPath.back()))
        return static_cast<int>(pOpen ? TStockIcon::siFolderOpen : TStockIcon::siFolder);
    return ExtensionIndexLocked(KeyOf(ExtensionOf(pPath)));
}

int TMemoryIcons::IconIndexOfExtension(const QString& pExtension)
{
    std::lock_guard lock(fLock);
    return ExtensionIndexLocked(KeyOf(pExtension));
}

int TMemoryIcons::StockIconIndex(TStockIcon pIcon)
{
    std::lock_guard lock(fLock);
    return fFailing ? -1 : static_cast<int>(pIcon);
}

int TMemoryIcons::OverlayIndex(TIconOverlay pOverlay)
{
    std::lock_guard lock(fLock);
    return fFailing ? -1 : kStockCount + static_cast<int>(pOverlay);
}

int TMemoryIcons::Count()
{
    std::lock_guard lock(fLock);
    return fCount;
}

QColor TMemoryIcons::ColourOf(int pIndex)
{
    // Hues 47 degrees apart: neighbouring indexes look clearly different in a failing test.
    return QColor::fromHsv((pIndex * 47) % 360, 200, 220);
}

QImage TMemoryIcons::Render(int pIndex, int pPixels)
{
    {
        std::lock_guard lock(fLock);
        if (fFailing || pIndex < 0 || pIndex >= fCount || pPixels < 16 || pPixels > 1024)
            return {};
    }
    QImage image(pPixels, pPixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(ColourOf(pIndex));
    return image;
}

bool TMemoryIcons::TypeNameOf(const QString& pFakePath, QString& pName)
{
    std::lock_guard lock(fLock);
    if (!pFakePath.isEmpty() && IsDelimiter(pFakePath.back()))
        pName = fFailing ? QString() : QStringLiteral("Folder");
    else
        pName = TypeNameLocked(KeyOf(ExtensionOf(pFakePath)));
    return !pName.isEmpty();
}

bool TMemoryIcons::TypeNameOfIdList(IdSpan pAbsolute, QString& pName)
{
    const TMemoryNode* node = fOwner.NodeOf(pAbsolute);
    std::lock_guard lock(fLock);
    pName.clear();
    if (!node || fFailing)
        return false;
    if (node->IsFolder())
        pName = node->Virtual || !node->Parent() ? QStringLiteral("System Folder")
                                                 : QStringLiteral("Folder");
    else
        pName = TypeNameLocked(KeyOf(ExtensionOf(node->Name())));
    return true;
}

void TMemoryIcons::Reinitialize() {}

HResult TMemoryIcons::SetExtensionIcon(const QString& pExtension, const QString& pIconFile,
                                       int pIconIndex)
{
    std::lock_guard lock(fLock);
    if (fFailing || pIconFile.isEmpty())
        return E_FAIL;
    const QString key = KeyOf(pExtension);
    fExtensions.insert(key, fCount++);
    fIconFiles.insert(key, pIconIndex < 0 ? pIconFile
                                          : QStringLiteral("%1,%2").arg(pIconFile).arg(pIconIndex));
    return S_OK;
}

QString TMemoryIcons::IconFileOf(const QString& pExtension) const
{
    std::lock_guard lock(fLock);
    return fIconFiles.value(KeyOf(pExtension));
}

void TMemoryIcons::SetExtensionIndex(const QString& pExtension, int pIndex)
{
    std::lock_guard lock(fLock);
    fExtensions.insert(KeyOf(pExtension), pIndex);
    fCount = std::max(fCount, pIndex + 1);
}

void TMemoryIcons::SetTypeName(const QString& pExtension, const QString& pName)
{
    std::lock_guard lock(fLock);
    fTypeNames.insert(KeyOf(pExtension), pName);
}

void TMemoryIcons::SetFailing(bool pFailing)
{
    std::lock_guard lock(fLock);
    fFailing = pFailing;
}

int TMemoryIcons::IndexCalls() const
{
    std::lock_guard lock(fLock);
    return fIndexCalls;
}

int TMemoryIcons::TypeNameCalls() const
{
    std::lock_guard lock(fLock);
    return fTypeNameCalls;
}

} // namespace kiv::pf::mem

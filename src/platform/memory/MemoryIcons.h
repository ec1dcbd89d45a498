#pragma once

#include "core/platform/IIcons.h"

#include <QColor>
#include <QHash>
#include <QString>

#include <mutex>

namespace kiv::pf::mem {

class TMemoryPlatform;

// The icon service of the in-memory platform. Indexes are handed out in a fixed order: the stock
// icons first, in the order of TStockIcon (so StockIconIndex(siFolder) == 6), then the overlays,
// then one per extension (lower-cased) in the order the extensions are first asked for. Tests may
// pin the index or type name of an extension beforehand, or make every look-up fail. Pictures are
// squares of one colour per index. Thread-safe.
class TMemoryIcons final : public IIcons
{
public:
    explicit TMemoryIcons(TMemoryPlatform& pOwner);

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
    // A new index for the extension; the icon text ("file,index") is kept for IconFileOf.
    HResult SetExtensionIcon(const QString& pExtension, const QString& pIconFile,
                             int pIconIndex) override;
    QString IconFileOf(const QString& pExtension) const;

    // The index files with pExtension ("txt" or ".txt") get; indexes at or past Count() grow the
    // table.
    void SetExtensionIndex(const QString& pExtension, int pIndex);
    // The type name of pExtension (default: "XYZ File", "File" without an extension, "Folder").
    void SetTypeName(const QString& pExtension, const QString& pName);
    // Every look-up gives -1 (type names: false) while set.
    void SetFailing(bool pFailing);
    // The colour of the pictures of pIndex.
    static QColor ColourOf(int pIndex);
    // Calls of each kind so far (tests check what a cache saved).
    int IndexCalls() const;
    int TypeNameCalls() const;

private:
    static QString KeyOf(const QString& pExtension);
    int ExtensionIndexLocked(const QString& pKey);
    QString TypeNameLocked(const QString& pKey);

    TMemoryPlatform& fOwner;
    mutable std::mutex fLock;
    QHash<QString, int> fExtensions;    // guarded by fLock
    QHash<QString, QString> fTypeNames; // guarded by fLock
    QHash<QString, QString> fIconFiles; // guarded by fLock
    int fCount;                         // guarded by fLock
    bool fFailing = false;              // guarded by fLock
    int fIndexCalls = 0;                // guarded by fLock
    int fTypeNameCalls = 0;             // guarded by fLock
};

} // namespace kiv::pf::mem

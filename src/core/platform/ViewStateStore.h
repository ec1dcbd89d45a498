#pragma once

#include "core/platform/IViewState.h"

#include <QByteArray>

#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace kiv::pf {

// The bags of view state in memory, keyed by bag name and folder, with a text form to keep them
// in a file. Folders are named by a key the host chooses (their parsing name); the user's and
// the system's defaults have their own keys. The number of folder bags is bounded: past the
// limit the bags written longest ago are dropped, so browsing many folders does not grow the
// store without end. Thread-safe.
class TViewStateStore : public std::enable_shared_from_this<TViewStateStore>
{
public:
    static inline const QString kUserDefaults = QStringLiteral("<user defaults>");
    static inline const QString kSystemDefaults = QStringLiteral("<system defaults>");

    explicit TViewStateStore(std::size_t pMaxFolderBags = 5000);

    // The bag pName of pFolderKey; it keeps the store alive. pOnChange runs (outside the store's
    // lock) after every write that changes a value.
    IPropertyBagPtr Bag(const QString& pFolderKey, const QString& pName,
                        std::function<void()> pOnChange = {});

    HResult Read(const QString& pFolderKey, const QString& pName, const QString& pValueName,
                 BagValue& pValue) const;
    // True when the value changed.
    bool Write(const QString& pFolderKey, const QString& pName, const QString& pValueName,
               const BagValue& pValue);

    // JSON; Load replaces the content and ignores what it cannot read.
    QByteArray Save() const;
    void Load(const QByteArray& pText);

private:
    struct TBag
    {
        std::map<QString, BagValue> Values;
        std::uint64_t LastWrite = 0;
    };
    using TKey = std::pair<QString, QString>; // bag name, folder key

    void Trim();

    mutable std::mutex fLock;
    std::size_t fMaxFolderBags;
    std::map<TKey, TBag> fBags;
    std::uint64_t fWrites = 0;
};

// The store's key of a bag request: the folder key for per-folder flags, the defaults' keys for
// the others; empty for a request that names nothing.
QString ViewStateFolderKey(std::uint32_t pFlags, const QString& pFolderKey);

} // namespace kiv::pf

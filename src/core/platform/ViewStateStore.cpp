#include "core/platform/ViewStateStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <vector>

namespace kiv::pf {

namespace {

class TStoreBag final : public IPropertyBag
{
public:
    TStoreBag(std::shared_ptr<TViewStateStore> pStore, QString pFolderKey, QString pName,
              std::function<void()> pOnChange)
        : fStore(std::move(pStore))
        , fFolderKey(std::move(pFolderKey))
        , fName(std::move(pName))
        , fOnChange(std::move(pOnChange))
    {
    }

    HResult Read(const QString& pName, BagValue& pValue) override
    {
        return fStore->Read(fFolderKey, fName, pName, pValue);
    }

    HResult Write(const QString& pName, const BagValue& pValue) override
    {
        if (fStore->Write(fFolderKey, fName, pName, pValue) && fOnChange)
            fOnChange();
        return S_OK;
    }

private:
    std::shared_ptr<TViewStateStore> fStore;
    QString fFolderKey;
    QString fName;
    std::function<void()> fOnChange;
};

QJsonObject ValueToJson(const BagValue& pValue)
{
    QJsonObject json;
    if (const auto* flag = std::get_if<bool>(&pValue)) {
        json[QStringLiteral("b")] = *flag;
    } else if (const auto* number = std::get_if<std::int32_t>(&pValue)) {
        json[QStringLiteral("i")] = *number;
    } else if (const auto* text = std::get_if<QString>(&pValue)) {
        json[QStringLiteral("s")] = *text;
    } else if (const auto* bytes = std::get_if<QByteArray>(&pValue)) {
        json[QStringLiteral("x")] = QString::fromLatin1(bytes->toBase64());
    }
    return json;
}

BagValue ValueFromJson(const QJsonObject& pJson)
{
    if (pJson.contains(QLatin1String("b")))
        return pJson.value(QLatin1String("b")).toBool();
    if (pJson.contains(QLatin1String("i")))
        return static_cast<std::int32_t>(pJson.value(QLatin1String("i")).toInteger());
    if (pJson.contains(QLatin1String("s")))
        return pJson.value(QLatin1String("s")).toString();
    if (pJson.contains(QLatin1String("x")))
        return QByteArray::fromBase64(pJson.value(QLatin1String("x")).toString().toLatin1());
    return {};
}

bool IsDefaultsKey(const QString& pFolderKey)
{
    return pFolderKey == TViewStateStore::kUserDefaults ||
           pFolderKey == TViewStateStore::kSystemDefaults;
}

} // namespace

QString ViewStateFolderKey(std::uint32_t pFlags, const QString& pFolderKey)
{
    if ((pFlags & viewstate::PERFOLDER) != 0)
        return pFolderKey;
    if ((pFlags & viewstate::ALLFOLDERS) == 0)
        return {};
    if ((pFlags & viewstate::PERUSER) != 0)
        return TViewStateStore::kUserDefaults;
    if ((pFlags & viewstate::ALLUSERS) != 0)
        return TViewStateStore::kSystemDefaults;
    return {};
}

TViewStateStore::TViewStateStore(std::size_t pMaxFolderBags)
    : fMaxFolderBags(pMaxFolderBags)
{
}

IPropertyBagPtr TViewStateStore::Bag(const QString& pFolderKey, const QString& pName,
                                     std::function<void()> pOnChange)
{
    return std::make_shared<TStoreBag>(shared_from_this(), pFolderKey, pName, std::move(pOnChange));
}

HResult TViewStateStore::Read(const QString& pFolderKey, const QString& pName,
                              const QString& pValueName, BagValue& pValue) const
{
    std::lock_guard lock(fLock);
    const auto bag = fBags.find({pName, pFolderKey});
    if (bag == fBags.end())
        return E_INVALIDARG;
    const auto value = bag->second.Values.find(pValueName);
    if (value == bag->second.Values.end())
        return E_INVALIDARG;
    pValue = value->second;
    return S_OK;
}

bool TViewStateStore::Write(const QString& pFolderKey, const QString& pName,
                            const QString& pValueName, const BagValue& pValue)
{
    std::lock_guard lock(fLock);
    const bool remove = std::holds_alternative<std::monostate>(pValue);
    auto bag = fBags.find({pName, pFolderKey});
    if (bag == fBags.end()) {
        if (remove)
            return false;
        bag = fBags.emplace(TKey{pName, pFolderKey}, TBag{}).first;
    }
    TBag& target = bag->second;
    const auto found = target.Values.find(pValueName);
    if (remove) {
        if (found == target.Values.end())
            return false;
        target.Values.erase(found);
    } else {
        if (found != target.Values.end() && found->second == pValue)
            return false;
        target.Values[pValueName] = pValue;
    }
    target.LastWrite = ++fWrites;
    Trim();
    return true;
}

void TViewStateStore::Trim()
{
    if (fBags.size() <= fMaxFolderBags)
        return;
    std::vector<std::pair<std::uint64_t, TKey>> folderBags;
    for (const auto& [key, bag] : fBags)
        if (!IsDefaultsKey(key.second))
            folderBags.emplace_back(bag.LastWrite, key);
    if (folderBags.size() <= fMaxFolderBags)
        return;
    std::sort(folderBags.begin(), folderBags.end());
    const std::size_t excess = folderBags.size() - fMaxFolderBags;
    for (std::size_t i = 0; i < excess; ++i)
        fBags.erase(folderBags[i].second);
}

QByteArray TViewStateStore::Save() const
{
    std::lock_guard lock(fLock);
    // Oldest first, so that loading gives the same order of age.
    std::vector<std::pair<std::uint64_t, const std::pair<const TKey, TBag>*>> ordered;
    for (const auto& entry : fBags)
        ordered.emplace_back(entry.second.LastWrite, &entry);
    std::sort(ordered.begin(), ordered.end(),
              [](const auto& pA, const auto& pB) { return pA.first < pB.first; });
    QJsonArray bags;
    for (const auto& [age, entry] : ordered) {
        QJsonObject values;
        for (const auto& [name, value] : entry->second.Values)
            values[name] = ValueToJson(value);
        QJsonObject bag;
        bag[QStringLiteral("name")] = entry->first.first;
        bag[QStringLiteral("folder")] = entry->first.second;
        bag[QStringLiteral("values")] = values;
        bags.append(bag);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("bags"), bags}})
        .toJson(QJsonDocument::Compact);
}

void TViewStateStore::Load(const QByteArray& pText)
{
    const QJsonArray bags =
        QJsonDocument::fromJson(pText).object().value(QLatin1String("bags")).toArray();
    std::lock_guard lock(fLock);
    fBags.clear();
    fWrites = 0;
    for (const QJsonValue& entry : bags) {
        const QJsonObject bag = entry.toObject();
        const QString name = bag.value(QLatin1String("name")).toString();
        const QString folder = bag.value(QLatin1String("folder")).toString();
        if (folder.isEmpty())
            continue;
        TBag& target = fBags[{name, folder}];
        const QJsonObject values = bag.value(QLatin1String("values")).toObject();
        for (auto it = values.begin(); it != values.end(); ++it) {
            BagValue value = ValueFromJson(it.value().toObject());
            if (!std::holds_alternative<std::monostate>(value))
                target.Values[it.key()] = std::move(value);
        }
        target.LastWrite = ++fWrites;
    }
    Trim();
}

} // namespace kiv::pf

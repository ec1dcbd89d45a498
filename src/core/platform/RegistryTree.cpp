#include "core/platform/RegistryTree.h"

namespace kiv::pf {

QString NormalizeRegistryKey(const QString& pKey)
{
    QString key;
    key.reserve(pKey.size());
    for (QChar c : pKey) {
        if (c == u'\\' && (key.isEmpty() || key.endsWith(u'\\')))
            continue;
        key.append(c.toLower());
    }
    if (key.endsWith(u'\\'))
        key.chop(1);
    return key;
}

void TRegistryTree::AddKey(RegistryRoot pRoot, const QString& pKey)
{
    const QStringList parts = pKey.split(u'\\', Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        if (!path.isEmpty())
            path.append(u'\\');
        path.append(part.toLower());
        TKey& key = fKeys[{pRoot, path}];
        if (key.Name.isEmpty())
            key.Name = part;
    }
    // The root itself.
    fKeys.try_emplace({pRoot, QString()});
}

void TRegistryTree::SetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName,
                             RegValue pValue)
{
    AddKey(pRoot, pKey);
    TKey& key = fKeys[{pRoot, NormalizeRegistryKey(pKey)}];
    for (auto& [name, value] : key.Values) {
        if (name.compare(pName, Qt::CaseInsensitive) == 0) {
            value = std::move(pValue);
            return;
        }
    }
    key.Values.emplace_back(pName, std::move(pValue));
}

const TRegistryTree::TKey* TRegistryTree::Find(RegistryRoot pRoot, const QString& pKey) const
{
    const auto found = fKeys.find({pRoot, NormalizeRegistryKey(pKey)});
    return found != fKeys.end() ? &found->second : nullptr;
}

bool TRegistryTree::KeyExists(RegistryRoot pRoot, const QString& pKey) const
{
    return Find(pRoot, pKey) != nullptr;
}

RegValue TRegistryTree::GetValue(RegistryRoot pRoot, const QString& pKey,
                                 const QString& pName) const
{
    if (const TKey* key = Find(pRoot, pKey)) {
        for (const auto& [name, value] : key->Values)
            if (name.compare(pName, Qt::CaseInsensitive) == 0)
                return value;
    }
    return {};
}

QStringList TRegistryTree::ValueNames(RegistryRoot pRoot, const QString& pKey) const
{
    QStringList names;
    if (const TKey* key = Find(pRoot, pKey)) {
        for (const auto& entry : key->Values)
            if (!entry.first.isEmpty())
                names.push_back(entry.first);
    }
    return names;
}

QStringList TRegistryTree::SubKeys(RegistryRoot pRoot, const QString& pKey) const
{
    QStringList names;
    const QString parent = NormalizeRegistryKey(pKey);
    const QString prefix = parent.isEmpty() ? QString() : parent + u'\\';
    for (auto it = fKeys.lower_bound({pRoot, prefix});
         it != fKeys.end() && it->first.first == pRoot && it->first.second.startsWith(prefix);
         ++it) {
        const QString rest = it->first.second.mid(prefix.size());
        if (!rest.isEmpty() && !rest.contains(u'\\'))
            names.push_back(it->second.Name);
    }
    return names;
}

std::optional<std::pair<RegistryRoot, QString>> TRegistryTree::ParseKeyName(const QString& pName)
{
    static const std::pair<const char*, RegistryRoot> kRoots[] = {
        {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},   {"HKCR", RegistryRoot::ClassesRoot},
        {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},   {"HKCU", RegistryRoot::CurrentUser},
        {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine}, {"HKLM", RegistryRoot::LocalMachine},
    };
    const QString name = pName.trimmed();
    const qsizetype separator = name.indexOf(u'\\');
    const QString head = separator < 0 ? name : name.left(separator);
    for (const auto& [text, root] : kRoots) {
        if (head.compare(QLatin1String(text), Qt::CaseInsensitive) == 0)
            return std::make_pair(root, separator < 0 ? QString() : name.mid(separator + 1));
    }
    return std::nullopt;
}

RegValue TRegistryTree::ParseValue(const QString& pText)
{
    if (pText.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive) ||
        pText.startsWith(QLatin1String("qword:"), Qt::CaseInsensitive)) {
        // Hexadecimal, as exported registry files write them ("dword:00000010" is 16); a
        // leading "0x" is accepted too.
        QString digits = pText.mid(6).trimmed();
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            digits = digits.mid(2);
        bool ok = false;
        const qulonglong number = digits.toULongLong(&ok, 16);
        return ok ? RegValue(static_cast<std::int64_t>(number)) : RegValue();
    }
    if (pText.startsWith(QLatin1String("multi:"), Qt::CaseInsensitive))
        return pText.mid(6).split(u';', Qt::SkipEmptyParts);
    if (pText.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
        QByteArray bytes;
        for (const QString& part : pText.mid(4).split(u',', Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint byte = part.trimmed().toUInt(&ok, 16);
            if (!ok || byte > 0xFF)
                return {};
            bytes.append(static_cast<char>(byte));
        }
        return bytes;
    }
    return pText;
}

int TRegistryTree::LoadText(const QString& pText, const TOtherSection& pOtherSection,
                            int* pFirstMalformedLine)
{
    std::optional<std::pair<RegistryRoot, QString>> key;
    QString otherSection;
    int malformed = 0;
    int lineNumber = 0;
    const auto skip = [&] {
        if (malformed++ == 0 && pFirstMalformedLine)
            *pFirstMalformedLine = lineNumber;
    };
    for (QString line : pText.split(u'\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']') || line.size() < 3) {
                // Values under a broken section name would land in the previous section.
                key.reset();
                otherSection.clear();
                skip();
                continue;
            }
            const QString section = line.mid(1, line.size() - 2);
            key = ParseKeyName(section);
            otherSection = key ? QString() : section;
            if (key)
                AddKey(key->first, key->second);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || (!key && otherSection.isEmpty())) {
            skip();
            continue;
        }
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key) {
            RegValue parsed = ParseValue(value);
            // The name stays, without a value: a reader sees the key as the user wrote it.
            if (std::holds_alternative<std::monostate>(parsed))
                skip();
            SetValue(key->first, key->second, name == QLatin1String("@") ? QString() : name,
                     std::move(parsed));
        } else if (pOtherSection) {
            pOtherSection(otherSection, name, value);
        }
    }
    return malformed;
}

} // namespace kiv::pf

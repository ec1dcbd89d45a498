#pragma once

#include "core/platform/IRegistry.h"

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace kiv::pf {

// Registry keys and values held in memory: what a host reads its registry settings into, and
// the in-memory platform's registry. Not thread-safe; owners lock around it.
class TRegistryTree
{
public:
    // Creates the key and every key above it.
    void AddKey(RegistryRoot pRoot, const QString& pKey);
    // Sets a value, creating the key; a later value of the same name replaces the earlier one.
    void SetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName, RegValue pValue);
    void Clear() { fKeys.clear(); }

    bool KeyExists(RegistryRoot pRoot, const QString& pKey) const;
    RegValue GetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName) const;
    QStringList ValueNames(RegistryRoot pRoot, const QString& pKey) const;
    QStringList SubKeys(RegistryRoot pRoot, const QString& pKey) const;

    // Reads the text of a settings file in the style of exported registry files:
    //   [HKEY_CURRENT_USER\Software\Example]    (or HKCU, HKCR, HKLM and their long names)
    //   @=the default value
    //   Name=text           Count=dword:1       List=multi:a;b      Data=hex:0a,ff
    // Lines starting with ";" or "#" are comments; sections with another name (such as
    // [ShellState]) are handed to pOtherSection. Numbers (dword:, qword:) are hexadecimal.
    // Malformed lines (no "=", a broken section name, a value outside any section, a number or
    // bytes that do not parse) are skipped; the result is their count, and pFirstMalformedLine
    // (when given) receives the 1-based number of the first.
    using TOtherSection =
        std::function<void(const QString& pSection, const QString& pName, const QString& pValue)>;
    int LoadText(const QString& pText, const TOtherSection& pOtherSection = {},
                 int* pFirstMalformedLine = nullptr);

    // The root and key of a section name such as "HKCU\Software\X"; nullopt for other names.
    static std::optional<std::pair<RegistryRoot, QString>> ParseKeyName(const QString& pName);
    // A value's text form as LoadText reads it.
    static RegValue ParseValue(const QString& pText);

private:
    struct TKey
    {
        QString Name;
        std::vector<std::pair<QString, RegValue>> Values;
    };
    // Keys by root and lower-cased path (no leading or trailing separator).
    std::map<std::pair<RegistryRoot, QString>, TKey> fKeys;

    const TKey* Find(RegistryRoot pRoot, const QString& pKey) const;
};

// A key path as the tree compares it: lower case, single separators, none at the ends.
QString NormalizeRegistryKey(const QString& pKey);

} // namespace kiv::pf

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <variant>

// The registry as the family reads it: keys under three roots, separated by "\" and compared
// without regard to letter case, each with named values and a default value (the empty name).
// Only reading: hosts without a registry answer from their own settings and from what they can
// derive (file types from the MIME database, templates from the user's folder).

namespace kiv::pf {

enum class RegistryRoot
{
    ClassesRoot,
    CurrentUser,
    LocalMachine,
};

// No value (std::monostate), text, a number, a list of texts, or raw bytes.
using RegValue = std::variant<std::monostate, QString, std::int64_t, QStringList, QByteArray>;

// The user's choices that the shell keeps outside the registry.
struct ShellStateFlags
{
    bool ShowExtensions = true;
    bool ShowInfoTip = true;
    bool DoubleClickInWebView = true;
};

class IRegistry
{
public:
    virtual ~IRegistry() = default;
    virtual bool KeyExists(RegistryRoot pRoot, const QString& pKey) = 0;
    // A value of a key; the empty name is the key's default value. std::monostate when the key or
    // the value is missing.
    virtual RegValue GetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName) = 0;
    // The names of the key's values (not the default value), in the order the key keeps them.
    virtual QStringList ValueNames(RegistryRoot pRoot, const QString& pKey) = 0;
    // The names of the key's direct sub-keys.
    virtual QStringList SubKeys(RegistryRoot pRoot, const QString& pKey) = 0;
    virtual ShellStateFlags ShellState() = 0;
};

} // namespace kiv::pf

#pragma once

#include "core/platform/IRegistry.h"
#include "core/platform/RegistryTree.h"

#include <mutex>

namespace kiv::pf::mem {

// A registry that tests fill: keys and values set directly or loaded from settings text, and the
// shell state flags.
class TMemoryRegistry final : public IRegistry
{
public:
    bool KeyExists(RegistryRoot pRoot, const QString& pKey) override;
    RegValue GetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName) override;
    QStringList ValueNames(RegistryRoot pRoot, const QString& pKey) override;
    QStringList SubKeys(RegistryRoot pRoot, const QString& pKey) override;
    ShellStateFlags ShellState() override;

    void SetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName, RegValue pValue);
    void AddKey(RegistryRoot pRoot, const QString& pKey);
    // Settings text in the form TRegistryTree::LoadText reads.
    void Load(const QString& pText);
    void SetShellState(const ShellStateFlags& pFlags);

private:
    std::mutex fLock;
    TRegistryTree fTree;
    ShellStateFlags fShellState;
};

} // namespace kiv::pf::mem

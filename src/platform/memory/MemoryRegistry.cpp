#include "platform/memory/MemoryRegistry.h"

namespace kiv::pf::mem {

bool TMemoryRegistry::KeyExists(RegistryRoot pRoot, const QString& pKey)
{
    std::lock_guard lock(fLock);
    return fTree.KeyExists(pRoot, pKey);
}

RegValue TMemoryRegistry::GetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName)
{
    std::lock_guard lock(fLock);
    return fTree.GetValue(pRoot, pKey, pName);
}

QStringList TMemoryRegistry::ValueNames(RegistryRoot pRoot, const QString& pKey)
{
    std::lock_guard lock(fLock);
    return fTree.ValueNames(pRoot, pKey);
}

QStringList TMemoryRegistry::SubKeys(RegistryRoot pRoot, const QString& pKey)
{
    std::lock_guard lock(fLock);
    return fTree.SubKeys(pRoot, pKey);
}

ShellStateFlags TMemoryRegistry::ShellState()
{
    std::lock_guard lock(fLock);
    return fShellState;
}

void TMemoryRegistry::SetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName,
                               RegValue pValue)
{
    std::lock_guard lock(fLock);
    fTree.SetValue(pRoot, pKey, pName, std::move(pValue));
}

void TMemoryRegistry::AddKey(RegistryRoot pRoot, const QString& pKey)
{
    std::lock_guard lock(fLock);
    fTree.AddKey(pRoot, pKey);
}

void TMemoryRegistry::Load(const QString& pText)
{
    std::lock_guard lock(fLock);
    fTree.LoadText(pText);
}

void TMemoryRegistry::SetShellState(const ShellStateFlags& pFlags)
{
    std::lock_guard lock(fLock);
    fShellState = pFlags;
}

} // namespace kiv::pf::mem

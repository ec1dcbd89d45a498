#pragma once

#include "core/platform/IKnownFolders.h"

namespace kiv::pf::lnx {

// The special folders on the freedesktop user folders and the usual system folders, looked up
// afresh on every call. The user folders come back in the form This PC lists them in
// ([This PC][Documents]) when they exist apart from the home folder.
class TLinuxKnownFolders final : public IKnownFolders
{
public:
    bool Available() override { return true; }
    HResult GetIdList(const KnownFolderKey& pKey, IdListBytes& pList) override;
    HResult FindFromIdList(IdSpan pList, Guid& pFolderId) override;
    HResult FindFromPath(const QString& pPath, Guid& pFolderId) override;
};

} // namespace kiv::pf::lnx

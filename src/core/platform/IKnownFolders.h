#pragma once

#include "core/platform/Guid.h"
#include "core/platform/HResult.h"
#include "core/platform/IdList.h"

#include <QString>

namespace kiv::pf {

// Names a special folder: the legacy number (CSIDL, -1 = none) tried first, then the known-folder
// identifier (null = none).
struct KnownFolderKey
{
    int Csidl = -1;
    Guid FolderId;
};

// The special folders of the user and the system, looked up on each call (folders such as the
// user's documents can be moved while the program runs). Thread-safe.
class IKnownFolders
{
public:
    virtual ~IKnownFolders() = default;
    // False when the known-folder service cannot be used at all (callers then compare with lists
    // they already hold).
    virtual bool Available() = 0;
    // The list of a special folder; E_FAIL when this host has no such folder.
    virtual HResult GetIdList(const KnownFolderKey& pKey, IdListBytes& pList) = 0;
    // The known-folder identifier of a list; E_FAIL when it is no known folder.
    virtual HResult FindFromIdList(IdSpan pList, Guid& pFolderId) = 0;
    // The known-folder identifier of a path (exact match); E_FAIL when it is no known folder.
    virtual HResult FindFromPath(const QString& pPath, Guid& pFolderId) = 0;
};

} // namespace kiv::pf

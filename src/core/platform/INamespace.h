#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IShellFolder.h"
#include "core/platform/IShellItem.h"
#include "core/platform/IdList.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <span>

namespace kiv::pf {

// The namespace as a whole: its root folder and the operations on absolute lists. Thread-safe.
class INamespace
{
public:
    virtual ~INamespace() = default;
    // The root folder (the desktop); the same object on every call.
    virtual IShellFolderPtr Desktop() = 0;
    // The item named by an absolute list.
    virtual HResult CreateShellItem(IdSpan pAbsolute, IShellItemPtr& pItem) = 0;
    // The file-system path of an absolute list; false (and an empty path) for virtual items.
    virtual bool GetPathFromIdList(IdSpan pAbsolute, QString& pPath) = 0;
    // A list for a file-system path that need not exist, built without touching the disk; its
    // items are flagged as not verified (sfgao/attributes from the name only).
    virtual HResult SimpleIdListFromPath(const QString& pPath, IdListBytes& pList) = 0;
    // The parent folder of an absolute list and its last item (the desktop has no parent).
    virtual HResult BindToParent(IdSpan pAbsolute, IShellFolderPtr& pParent,
                                 IdListBytes& pLast) = 0;
    // Binds to the folder named by an absolute list (the desktop for the empty list).
    virtual HResult BindToFolder(IdSpan pAbsolute, IShellFolderPtr& pFolder) = 0;
    // The folder new files of a library go to; false (and an empty path) for other lists.
    virtual bool GetLibraryDefaultSaveFolder(IdSpan pAbsolute, QString& pPath) = 0;
    // True when pParent is pChild or one of its ancestors, by identity (an alias of the parent
    // counts). pRest receives the part of pChild below pParent when the bytes allow it.
    virtual bool FindChild(IdSpan pParent, IdSpan pChild, IdListBytes* pRest = nullptr) = 0;
    // The menu of items directly below the desktop or This PC, which have no shared folder to
    // ask: the generic menu of the files that pFolder's data object for pItems carries (pItems
    // relative to pFolder, usually the desktop and so absolute). pClassKeys are file-type keys
    // (HKEY_CLASSES_ROOT) whose verbs a host may add. E_NOTIMPL where there is no such menu.
    virtual HResult CreateDefaultFolderMenu(WindowRef, const IShellFolderPtr&,
                                            std::span<const IdSpan>, const QStringList&,
                                            std::shared_ptr<IContextMenu>&)
    {
        return E_NOTIMPL;
    }
    // The "/" of this host ("C:\" elsewhere): the root that the menu's system-root item opens.
    virtual QString SystemRoot() = 0;
};

} // namespace kiv::pf

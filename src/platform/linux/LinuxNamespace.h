#pragma once

#include "core/platform/INamespace.h"

#include <memory>
#include <mutex>
#include <string>

namespace kiv::pf::lnx {

// The Linux namespace: the desktop with Home and This PC, the user's folders and the visible
// mounts under This PC, and the file system below them. Existing paths parse to one canonical
// form, [This PC][deepest visible mount][one item per further component]; the same entries
// reached through Home or a user folder are aliases that compare equal by identity.
// Thread-safe: it holds no state but the desktop folder, made once.
class TLinuxNamespace final : public INamespace
{
public:
    IShellFolderPtr Desktop() override;
    HResult CreateShellItem(IdSpan pAbsolute, IShellItemPtr& pItem) override;
    bool GetPathFromIdList(IdSpan pAbsolute, QString& pPath) override;
    HResult SimpleIdListFromPath(const QString& pPath, IdListBytes& pList) override;
    HResult BindToParent(IdSpan pAbsolute, IShellFolderPtr& pParent, IdListBytes& pLast) override;
    HResult BindToFolder(IdSpan pAbsolute, IShellFolderPtr& pFolder) override;
    bool FindChild(IdSpan pParent, IdSpan pChild, IdListBytes* pRest) override;
    bool GetLibraryDefaultSaveFolder(IdSpan pAbsolute, QString& pPath) override;
    QString SystemRoot() override { return QStringLiteral("/"); }
    // The item menu of the files the folder's data object carries (LinuxMenus.cpp).
    HResult CreateDefaultFolderMenu(WindowRef pOwner, const IShellFolderPtr& pFolder,
                                    std::span<const IdSpan> pItems, const QStringList& pClassKeys,
                                    std::shared_ptr<IContextMenu>& pMenu) override;

private:
    std::once_flag fDesktopOnce;
    IShellFolderPtr fDesktop; // set once under fDesktopOnce
};

// The canonical list of an absolute path (raw bytes). With pSimple the disk is not touched and
// the items are flagged as not verified; pLastIsFolder then tells the kind of the last item.
HResult ParseAbsolutePath(const std::string& pPath, IdListBytes& pList, bool pSimple = false,
                          bool pLastIsFolder = false);
// The file-system path of an absolute list (raw bytes); false for virtual items.
bool PathOfIdList(IdSpan pAbsolute, std::string& pPath);
// [This PC] and [This PC][user folder].
IdListBytes ThisPcList();

} // namespace kiv::pf::lnx

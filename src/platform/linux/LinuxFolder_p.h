#pragma once

#include "LinuxPlaces_p.h"
#include "core/platform/IShellFolder.h"

#include <memory>
#include <mutex>

namespace kiv::pf::lnx {

// A folder of the Linux namespace: one place (the desktop, a virtual folder, a file-system folder)
// and its absolute list. Immutable after creation except for a lazily asked write permission;
// shared between threads through IShellFolderPtr. Holds no pointer to the platform object.
class TLinuxFolder final
    : public IShellFolder
    , public IShellFolder2
    , public std::enable_shared_from_this<TLinuxFolder>
{
public:
    TLinuxFolder(TLocation pLocation, IdListBytes pAbsolute)
        : fLocation(std::move(pLocation))
        , fAbsolute(std::move(pAbsolute))
    {
    }

    HResult ParseDisplayName(WindowRef, const BindContext* pBind, const QString& pName,
                             IdListBytes& pOut, std::uint32_t* pAttributes) override;
    HResult EnumObjects(WindowRef, std::uint32_t pFlags, IEnumIDListPtr& pEnum,
                        std::stop_token pCancel) override;
    HResult BindToFolder(IdSpan pRelative, IShellFolderPtr& pFolder) override;
    HResult BindToStream(IdSpan pRelative, IStreamPtr& pStream) override;
    HResult CompareIDs(std::uint32_t pParam, IdSpan pA, IdSpan pB) override;
    HResult GetAttributesOf(std::span<const IdSpan> pItems, std::uint32_t& pInOut) override;
    HResult GetDisplayNameOf(IdSpan pItem, std::uint32_t pFlags, QString& pName) override;
    HResult SetNameOf(WindowRef, IdSpan pItem, const QString& pName, std::uint32_t pFlags,
                      IdListBytes* pNewItem) override;
    HResult GetCurFolder(IdListBytes& pList) override
    {
        pList = fAbsolute;
        return S_OK;
    }
    HResult GetFindData(IdSpan pItem, FindData& pData) override;
    IShellFolder2* AsFolder2() override { return this; }
    // The menus and transfer objects of children (LinuxMenus.cpp).
    HResult GetContextMenu(WindowRef, std::span<const IdSpan> pItems,
                           std::shared_ptr<IContextMenu>& pMenu) override;
    HResult GetDataObject(WindowRef, std::span<const IdSpan> pItems,
                          std::shared_ptr<IDataObject>& pData) override;
    HResult GetInfoTip(IdSpan pItem, std::uint32_t pFlags, QString& pTip) override;
    HResult CreateBackgroundMenu(WindowRef, std::shared_ptr<IContextMenu>& pMenu) override;

    HResult GetDetailsOf(const IdSpan* pItem, std::uint32_t pColumn,
                         ShellDetails& pDetails) override;
    HResult GetDetailsEx(IdSpan pItem, const PropertyKey& pKey, PropVariant& pValue) override;
    HResult MapColumnToSCID(std::uint32_t pColumn, PropertyKey& pKey) override;
    HResult GetDefaultColumnState(std::uint32_t pColumn, std::uint32_t& pState) override;

private:
    // The folder holding the last item of a multi-level relative list, and that item.
    HResult SplitRelative(IdSpan pItem, std::shared_ptr<TLinuxFolder>& pFolder, IdListBytes& pLast);
    std::uint32_t AttributesOf(const TItem& pItem, std::uint32_t pWanted, bool pParentWritable);
    HResult ParseOnDesktop(const BindContext* pBind, const QString& pName, IdListBytes& pOut);
    HResult ParseOnThisPc(const QString& pName, IdListBytes& pOut);
    HResult ParseOnTrash(const QString& pName, IdListBytes& pOut);
    HResult ParseOnLinks(const QString& pName, IdListBytes& pOut);
    HResult ParseByChildNames(const QString& pName, IdListBytes& pOut);
    HResult ParseNetworkPath(const QString& pName, const BindContext* pBind, IdListBytes& pOut);

    // Whether entries may be renamed or deleted here: asked once per folder object (a list asks
    // for every item; a folder object lives for one look at the folder).
    bool IsWritable() const;

    TLocation fLocation;
    IdListBytes fAbsolute;
    mutable std::once_flag fWritableOnce;
    mutable bool fWritable = false; // set once under fWritableOnce
};

// The folder of an absolute list (pResult tells why there is none).
std::shared_ptr<TLinuxFolder> MakeFolder(IdSpan pAbsolute, HResult& pResult);
// The parent folder of an absolute list and its last item.
HResult BindParent(IdSpan pAbsolute, IShellFolderPtr& pParent, IdListBytes& pLast);

} // namespace kiv::pf::lnx

#pragma once

#include "core/platform/IDataObject.h"
#include "core/platform/IShellFolder.h"

namespace kiv {

// The desktop folder as a collection hands it to the platform's default folder menu: every call
// goes to the desktop unchanged, except that asking for a data object answers the one the
// collection made for all its elements (when it has one). Immutable; any thread.
class TKivDesktopFolder final : public pf::IShellFolder
{
public:
    TKivDesktopFolder(pf::IShellFolderPtr pDesktop, pf::IDataObjectPtr pMultiDataObject);

    pf::HResult ParseDisplayName(pf::WindowRef pOwner, const pf::BindContext* pBind,
                                 const QString& pName, pf::IdListBytes& pOut,
                                 std::uint32_t* pAttributes) override;
    pf::HResult EnumObjects(pf::WindowRef pOwner, std::uint32_t pFlags, pf::IEnumIDListPtr& pEnum,
                            std::stop_token pCancel) override;
    pf::HResult BindToFolder(pf::IdSpan pRelative, pf::IShellFolderPtr& pFolder) override;
    pf::HResult BindToStream(pf::IdSpan pRelative, pf::IStreamPtr& pStream) override;
    pf::HResult CompareIDs(std::uint32_t pParam, pf::IdSpan pA, pf::IdSpan pB) override;
    pf::HResult GetAttributesOf(std::span<const pf::IdSpan> pItems, std::uint32_t& pInOut) override;
    pf::HResult GetDisplayNameOf(pf::IdSpan pItem, std::uint32_t pFlags, QString& pName) override;
    pf::HResult SetNameOf(pf::WindowRef pOwner, pf::IdSpan pItem, const QString& pName,
                          std::uint32_t pFlags, pf::IdListBytes* pNewItem) override;
    pf::HResult GetCurFolder(pf::IdListBytes& pList) override;
    pf::HResult GetFindData(pf::IdSpan pItem, pf::FindData& pData) override;
    pf::HResult GetOverlayIndex(pf::IdSpan pItem, int& pIndex) override;
    pf::IShellFolder2* AsFolder2() override;
    pf::HResult GetContextMenu(pf::WindowRef pOwner, std::span<const pf::IdSpan> pItems,
                               std::shared_ptr<pf::IContextMenu>& pMenu) override;
    pf::HResult GetDataObject(pf::WindowRef pOwner, std::span<const pf::IdSpan> pItems,
                              std::shared_ptr<pf::IDataObject>& pData) override;
    pf::HResult GetInfoTip(pf::IdSpan pItem, std::uint32_t pFlags, QString& pTip) override;
    pf::HResult CreateBackgroundMenu(pf::WindowRef pOwner,
                                     std::shared_ptr<pf::IContextMenu>& pMenu) override;

private:
    pf::IShellFolderPtr fDesktop;
    pf::IDataObjectPtr fMultiDataObject;
};

} // namespace kiv

#include "core/shell/KivDesktopFolder.h"

namespace kiv {

TKivDesktopFolder::TKivDesktopFolder(pf::IShellFolderPtr pDesktop,
                                     pf::IDataObjectPtr pMultiDataObject)
    : fDesktop(std::move(pDesktop))
    , fMultiDataObject(std::move(pMultiDataObject))
{
}

pf::HResult TKivDesktopFolder::ParseDisplayName(pf::WindowRef pOwner, const pf::BindContext* pBind,
                                                const QString& pName, pf::IdListBytes& pOut,
                                                std::uint32_t* pAttributes)
{
    return fDesktop->ParseDisplayName(pOwner, pBind, pName, pOut, pAttributes);
}

pf::HResult TKivDesktopFolder::EnumObjects(pf::WindowRef pOwner, std::uint32_t pFlags,
                                           pf::IEnumIDListPtr& pEnum, std::stop_token pCancel)
{
    return fDesktop->EnumObjects(pOwner, pFlags, pEnum, std::move(pCancel));
}

pf::HResult TKivDesktopFolder::BindToFolder(pf::IdSpan pRelative, pf::IShellFolderPtr& pFolder)
{
    return fDesktop->BindToFolder(pRelative, pFolder);
}

pf::HResult TKivDesktopFolder::BindToStream(pf::IdSpan pRelative, pf::IStreamPtr& pStream)
{
    return fDesktop->BindToStream(pRelative, pStream);
}

pf::HResult TKivDesktopFolder::CompareIDs(std::uint32_t pParam, pf::IdSpan pA, pf::IdSpan pB)
{
    return fDesktop->CompareIDs(pParam, pA, pB);
}

pf::HResult TKivDesktopFolder::GetAttributesOf(std::span<const pf::IdSpan> pItems,
                                               std::uint32_t& pInOut)
{
    return fDesktop->GetAttributesOf(pItems, pInOut);
}

pf::HResult TKivDesktopFolder::GetDisplayNameOf(pf::IdSpan pItem, std::uint32_t pFlags,
                                                QString& pName)
{
    return fDesktop->GetDisplayNameOf(pItem, pFlags, pName);
}

pf::HResult TKivDesktopFolder::SetNameOf(pf::WindowRef pOwner, pf::IdSpan pItem,
                                         const QString& pName, std::uint32_t pFlags,
                                         pf::IdListBytes* pNewItem)
{
    return fDesktop->SetNameOf(pOwner, pItem, pName, pFlags, pNewItem);
}

pf::HResult TKivDesktopFolder::GetCurFolder(pf::IdListBytes& pList)
{
    return fDesktop->GetCurFolder(pList);
}

pf::HResult TKivDesktopFolder::GetFindData(pf::IdSpan pItem, pf::FindData& pData)
{
    return fDesktop->GetFindData(pItem, pData);
}

pf::HResult TKivDesktopFolder::GetOverlayIndex(pf::IdSpan pItem, int& pIndex)
{
    return fDesktop->GetOverlayIndex(pItem, pIndex);
}

pf::IShellFolder2* TKivDesktopFolder::AsFolder2()
{
    return fDesktop->AsFolder2();
}

pf::HResult TKivDesktopFolder::GetContextMenu(pf::WindowRef pOwner,
                                              std::span<const pf::IdSpan> pItems,
                                              std::shared_ptr<pf::IContextMenu>& pMenu)
{
    return fDesktop->GetContextMenu(pOwner, pItems, pMenu);
}

pf::HResult TKivDesktopFolder::GetDataObject(pf::WindowRef pOwner,
                                             std::span<const pf::IdSpan> pItems,
                                             std::shared_ptr<pf::IDataObject>& pData)
{
    if (fMultiDataObject) {
        pData = fMultiDataObject;
        return pf::S_OK;
    }
    return fDesktop->GetDataObject(pOwner, pItems, pData);
}

pf::HResult TKivDesktopFolder::GetInfoTip(pf::IdSpan pItem, std::uint32_t pFlags, QString& pTip)
{
    return fDesktop->GetInfoTip(pItem, pFlags, pTip);
}

pf::HResult TKivDesktopFolder::CreateBackgroundMenu(pf::WindowRef pOwner,
                                                    std::shared_ptr<pf::IContextMenu>& pMenu)
{
    return fDesktop->CreateBackgroundMenu(pOwner, pMenu);
}

} // namespace kiv

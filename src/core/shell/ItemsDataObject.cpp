#include "core/shell/ItemsDataObject.h"

#include "core/platform/DataObject.h"
#include "core/platform/IClipboard.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellIdListArray.h"
#include "core/shell/ClipboardFiles.h"
#include "core/shell/KivExceptions.h"

namespace kiv {

pf::IDataObjectPtr CreateItemsDataObject(const std::vector<IItemIdListPtr>& pItems,
                                         std::uint32_t pEffect)
{
    auto data = std::make_shared<pf::TDataObject>();
    QStringList paths;
    std::vector<pf::IdListBytes> lists;
    lists.reserve(pItems.size());
    for (const IItemIdListPtr& item : pItems) {
        if (!item)
            continue;
        if (const QString path = item->Path(); !path.isEmpty())
            paths.push_back(path);
        if (const TIdListBuffer list = item->WindowsPointer())
            lists.push_back(*list);
    }
    if (!paths.isEmpty())
        data->SetData(pf::ClipFormat::HDrop, TClipboardFiles::BuildDropFiles(paths));
    // Absolute lists below the desktop: readers need no common parent of the items.
    if (!lists.empty())
        data->SetData(pf::ClipFormat::ShellIdListArray,
                      pf::BuildShellIdListArray(pf::IdSpan(), lists));
    data->SetData(pf::ClipFormat::PreferredDropEffect, pf::DropEffectToBytes(pEffect));
    return data;
}

std::vector<IItemIdListPtr> ItemsFromDataObject(pf::IDataObject& pData)
{
    std::vector<IItemIdListPtr> items;
    QByteArray bytes;
    if (pf::Succeeded(pData.GetData(pf::ClipFormat::ShellIdListArray, bytes))) {
        if (auto lists = pf::ParseShellIdListArray(bytes)) {
            for (pf::IdListBytes& list : *lists)
                items.push_back(TKivItemIdList::Create(std::move(list)));
            return items;
        }
    }
    if (pf::Succeeded(pData.GetData(pf::ClipFormat::HDrop, bytes))) {
        for (const QString& path : TClipboardFiles::ParseDropFiles(bytes))
            if (IItemIdListPtr item = TKivItemIdList::Create(path))
                items.push_back(std::move(item));
    }
    return items;
}

void PutItemsOnClipboard(const std::vector<IItemIdListPtr>& pItems, bool pCut)
{
    const pf::IDataObjectPtr data =
        CreateItemsDataObject(pItems, pCut ? pf::DROPEFFECT_MOVE : pf::DROPEFFECT_COPY);
    EWayfoldError::Check(pf::Platform().Clipboard().SetDataObject(data));
}

void PutTextOnClipboard(const QString& pText)
{
    EWayfoldError::Check(pf::Platform().Clipboard().SetText(pText));
}

} // namespace kiv

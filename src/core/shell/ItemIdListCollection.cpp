#include "core/shell/ItemIdListCollection.h"

#include "core/notify/KivShellChangeNotifier.h"
#include "core/platform/DataObject.h"
#include "core/platform/IInfo.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IRegistry.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/ClipboardFiles.h"
#include "core/shell/ContextMenuCommand.h"
#include "core/shell/ItemsDataObject.h"
#include "core/shell/KivDesktopFolder.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"

#include <algorithm>

namespace kiv {

namespace {

const QString kClassName = QStringLiteral("TItemIdListCollection");
// The platform's default folder menu takes at most this many class keys.
constexpr qsizetype kMaxClassKeys = 16;

// A drive-letter or network path in the Windows style, an absolute path here.
bool IsFileSystemPath(const QString& pPath, TPathStyle pStyle)
{
    if (pStyle == TPathStyle::psPosix)
        return pPath.startsWith(u'/');
    return TPathUtils::StartsWithDriveLetter(pPath, pStyle) ||
           pPath.startsWith(QLatin1String("\\\\"));
}

// Whether the list names a place at all: invalid elements take no part in the ancestry.
bool HasPlace(const IItemIdListPtr& pList)
{
    return pList && !pList->IsInvalid();
}

} // namespace

std::shared_ptr<TItemIdListCollection> TItemIdListCollection::Create(pf::IShellFolderPtr pBase)
{
    return std::make_shared<TItemIdListCollection>(std::move(pBase));
}

std::shared_ptr<TItemIdListCollection>
TItemIdListCollection::Create(const std::vector<pf::IShellItemPtr>& pItems)
{
    auto collection = Create();
    for (const pf::IShellItemPtr& item : pItems) {
        if (!item)
            continue;
        if (IItemIdListPtr list = TKivItemIdList::Create(item); HasPlace(list))
            collection->Add(list);
    }
    return collection;
}

std::shared_ptr<TItemIdListCollection> TItemIdListCollection::Create(pf::IDataObject& pData)
{
    auto collection = Create();
    for (const IItemIdListPtr& list : ItemsFromDataObject(pData))
        collection->Add(list);
    return collection;
}

TItemIdListCollection::TItemIdListCollection(pf::IShellFolderPtr pBaseFolder)
    : fBaseFolder(std::move(pBaseFolder))
{
}

void TItemIdListCollection::Add(const IItemIdListPtr& pList)
{
    if (pList)
        fItemIdLists.push_back(pList);
}

void TItemIdListCollection::Add(const QString& pPath)
{
    QString path = pPath;
    // "folder\*" (and "folder/*" here) stand for the folder: what a wildcard listing was made of.
    if (path.endsWith(QLatin1String("\\*")) || path.endsWith(QLatin1String("/*")))
        path.chop(2);
    IItemIdListPtr list = IsFileSystemPath(path, kHostPathStyle)
                              ? TKivItemIdList::Create(path)
                              : TKivItemIdList::Create(path, fBaseFolder);
    Add(list);
}

void TItemIdListCollection::Add(const IItemIdListCollection& pCollection)
{
    // Copied first: adding a collection to itself doubles it once.
    const std::vector<IItemIdListPtr> items = pCollection.Items();
    for (const IItemIdListPtr& list : items)
        Add(list);
}

void TItemIdListCollection::AddStrings(const QStringList& pPaths)
{
    for (const QString& path : pPaths)
        Add(path);
}

void TItemIdListCollection::Assign(const std::vector<IItemIdListPtr>& pLists)
{
    Clear();
    for (const IItemIdListPtr& list : pLists)
        Add(list);
}

void TItemIdListCollection::Assign(const QStringList& pPaths)
{
    Clear();
    AddStrings(pPaths);
}

IItemIdListPtr TItemIdListCollection::GetItem(int pIndex) const
{
    if (pIndex < 0 || pIndex >= Count())
        throw EInvalidArgument(QStringLiteral("%1.GetItem: index %2 out of range (0..%3)")
                                   .arg(kClassName)
                                   .arg(pIndex)
                                   .arg(Count() - 1));
    return fItemIdLists[static_cast<std::size_t>(pIndex)];
}

QStringList TItemIdListCollection::CopyToStrings() const
{
    QStringList paths;
    paths.reserve(Count());
    for (const IItemIdListPtr& list : fItemIdLists)
        paths.append(list->DisplayPath());
    return paths;
}

QString TItemIdListCollection::ToString() const
{
    return CopyToStrings().join(QStringLiteral("\r\n"));
}

bool TItemIdListCollection::IsRelative(const IItemIdListPtr& pList) const
{
    return fBaseFolder && pList->Depth() == 1;
}

IItemIdListPtr TItemIdListCollection::Absolute(const IItemIdListPtr& pList) const
{
    if (!IsRelative(pList))
        return pList;
    const TIdListBuffer bytes = pList->WindowsPointer();
    if (!bytes)
        return pList;
    return TKivItemIdList::Create(fBaseFolder, pf::IdSpan(*bytes));
}

std::shared_ptr<TItemIdListCollection> TItemIdListCollection::WithAbsoluteItems() const
{
    const std::shared_ptr<TItemIdListCollection> copy = Create();
    copy->fItemIdLists.reserve(fItemIdLists.size());
    for (const IItemIdListPtr& element : fItemIdLists)
        copy->fItemIdLists.push_back(Absolute(element));
    return copy;
}

bool TItemIdListCollection::HaveSameParent() const
{
    if (Count() <= 1)
        return true;
    const IItemIdListPtr& first = fItemIdLists.front();
    if (IsRelative(first)) {
        for (const IItemIdListPtr& list : fItemIdLists) {
            if (list->Depth() > 1)
                return false;
        }
        return true;
    }
    // The desktop and invalid lists have no parent: they share it with nobody.
    if (!HasPlace(first) || first->Depth() < 1)
        return false;
    const IItemIdListPtr parent = first->GetParent();
    for (const IItemIdListPtr& list : fItemIdLists) {
        if (!HasPlace(list) || list->Depth() < 1)
            return false;
        if (!list->GetParent()->Equals(parent, TItemIdListComparison::ilcDisplay))
            return false;
    }
    return true;
}

IItemIdListPtr TItemIdListCollection::GetLongestCommonAncestor(bool* pAllOnFileSystem) const
{
    bool allOnFileSystem = true;
    IItemIdListPtr ancestor;
    for (const IItemIdListPtr& element : fItemIdLists) {
        if (!HasPlace(element))
            continue;
        const IItemIdListPtr list = Absolute(element);
        const bool onFileSystem = list->HasAttributes(pf::sfgao::FILESYSTEM);
        if (!ancestor) {
            allOnFileSystem = onFileSystem;
            ancestor = list->Depth() > 0 ? list->GetParent() : list;
            continue;
        }
        if (ancestor->IsParentOf(list, false, TItemIdListComparison::ilcExact))
            continue;
        allOnFileSystem = allOnFileSystem && onFileSystem;
        IItemIdListPtr p = list->Depth() > 0 ? list->GetParent() : list;
        // Both climb until they meet; the desktop (depth 0) holds everything.
        while (ancestor->Depth() >= 1 && !ancestor->Equals(p, TItemIdListComparison::ilcDisplay)) {
            if (p->Depth() >= ancestor->Depth())
                p = p->GetParent();
            if (p->Depth() < ancestor->Depth())
                ancestor = ancestor->GetParent();
        }
    }
    if (pAllOnFileSystem)
        *pAllOnFileSystem = ancestor && allOnFileSystem;
    return ancestor;
}

std::shared_ptr<void> TItemIdListCollection::GetUIObject(TUIObjectKind pKind) const
{
    if (pKind == TUIObjectKind::uoDataObject)
        return FolderDataObject();
    return ContextMenu();
}

TItemIdListCollection::TUIRequest TItemIdListCollection::UIRequest(bool pForMenu) const
{
    if (fItemIdLists.empty())
        throw EInvalidOperation(QStringLiteral("There are no valid Shell ItemIdList in the ") +
                                kClassName);
    TUIRequest request;
    // Relative elements: the folder they belong to answers for them.
    if (IsRelative(fItemIdLists.front())) {
        request.Folder = fBaseFolder;
        for (const IItemIdListPtr& element : fItemIdLists)
            if (const TIdListBuffer bytes = HasPlace(element) ? element->WindowsPointer() : nullptr)
                request.Items.push_back(*bytes);
        return request;
    }
    bool allOnFileSystem = false;
    const IItemIdListPtr ancestor = GetLongestCommonAncestor(&allOnFileSystem);
    const std::vector<IItemIdListPtr> items = AbsoluteItems();
    if (!ancestor || items.empty())
        throw EInvalidOperation(QStringLiteral("There are no valid Shell ItemIdList in the ") +
                                kClassName);
    // Items directly below the desktop or This PC have no folder to share: the default menu.
    if (pForMenu && ancestor->Depth() <= 1) {
        request.DefaultMenu = true;
        for (const IItemIdListPtr& element : items)
            if (const TIdListBuffer bytes = element->WindowsPointer())
                request.Items.push_back(*bytes);
        return request;
    }
    const TIdListBuffer ancestorBytes = ancestor->WindowsPointer();
    if (!ancestorBytes ||
        pf::Failed(
            pf::Platform().Namespace().BindToFolder(pf::IdSpan(*ancestorBytes), request.Folder)) ||
        !request.Folder)
        throw EWayfoldError(pf::E_UNEXPECTED,
                            QStringLiteral("IShellFolder interface could not be retrieved."));
    const int depth = ancestor->Depth();
    // Older systems' folders answer only for their own children when some are virtual.
    if (!allOnFileSystem && !pf::Platform().Info().Profile().Win10OrLater) {
        for (const IItemIdListPtr& element : items) {
            if (element->Depth() != depth + 1) {
                request.Folder.reset();
                return request;
            }
        }
    }
    for (const IItemIdListPtr& element : items)
        if (const TIdListBuffer bytes = element->WindowsPointer())
            request.Items.push_back(
                pf::IdSpan(*bytes).Skip(static_cast<std::size_t>(depth)).ToBytes());
    return request;
}

pf::IContextMenuPtr TItemIdListCollection::ContextMenu(pf::WindowRef pOwner) const
{
    const TUIRequest request = UIRequest(true);
    if (request.DefaultMenu)
        return DefaultFolderMenu(request.Items, pOwner);
    if (!request.Folder)
        return nullptr;
    std::vector<pf::IdSpan> spans(request.Items.begin(), request.Items.end());
    pf::IContextMenuPtr menu;
    EWayfoldError::Check(request.Folder->GetContextMenu(pOwner, spans, menu));
    return menu;
}

pf::IDataObjectPtr TItemIdListCollection::FolderDataObject() const
{
    const TUIRequest request = UIRequest(false);
    if (!request.Folder)
        return nullptr;
    std::vector<pf::IdSpan> spans(request.Items.begin(), request.Items.end());
    pf::IDataObjectPtr data;
    EWayfoldError::Check(request.Folder->GetDataObject(nullptr, spans, data));
    return data;
}

namespace {

class TCollectionMenu final : public pf::IContextMenu
{
public:
    explicit TCollectionMenu(std::shared_ptr<const TItemIdListCollection> pCollection)
        : fCollection(std::move(pCollection))
    {
    }

    pf::HResult QueryContextMenu(pf::MenuModel& pMenu, std::uint32_t pIndex, std::uint32_t pIdFirst,
                                 std::uint32_t pIdLast, std::uint32_t) override
    {
        if (pIdLast < pIdFirst)
            return pf::E_INVALIDARG;
        pf::MenuItem item;
        item.Id = pIdFirst;
        item.Caption = ShellActionCaption(TShellAction::saDelete);
        item.Verb = ShellActionVerb(TShellAction::saDelete);
        const auto at = std::min<std::size_t>(pIndex, pMenu.Items.size());
        pMenu.Items.insert(pMenu.Items.begin() + static_cast<std::ptrdiff_t>(at), item);
        return pf::MenuResult(1);
    }

    pf::HResult InvokeCommand(const pf::InvokeInfo& pInfo) override
    {
        TShellAction action = TShellAction::saUnknown;
        if (pInfo.IdOffset)
            action = *pInfo.IdOffset == 0 ? TShellAction::saDelete : TShellAction::saUnknown;
        else
            action = ShellActionFromVerb(pInfo.Verb);
        if (action == TShellAction::saUnknown)
            return pf::E_FAIL;
        try {
            fCollection->InvokeCommand(action);
        } catch (const EWayfoldError& error) {
            // A system error code, or a result that already says it failed.
            const pf::HResult code = error.ErrorCode();
            return pf::Failed(code) ? code : pf::HResultFromWin32(static_cast<std::uint32_t>(code));
        } catch (const std::exception&) {
            return pf::E_FAIL;
        }
        return pf::S_OK;
    }

    pf::HResult GetCommandString(std::uint32_t pIdOffset, pf::CommandString pKind,
                                 QString& pText) override
    {
        if (pIdOffset != 0 || pKind != pf::CommandString::VerbW)
            return pf::E_FAIL;
        pText = ShellActionVerb(TShellAction::saDelete);
        return pf::S_OK;
    }

private:
    std::shared_ptr<const TItemIdListCollection> fCollection;
};

} // namespace

pf::IContextMenuPtr TItemIdListCollection::OwnContextMenu() const
{
    return std::make_shared<TCollectionMenu>(shared_from_this());
}

QStringList TItemIdListCollection::ClassKeys() const
{
    QStringList extensions;
    for (const IItemIdListPtr& element : AbsoluteItems()) {
        const QString name = element->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder);
        const qsizetype dot = name.lastIndexOf(u'.');
        extensions.push_back(dot > 0 ? name.mid(dot).toLower() : QString());
    }
    QStringList keys{QStringLiteral("*"), QStringLiteral("AllFilesystemObjects")};
    const bool before8 = !pf::Platform().Info().Profile().Win8OrLater;
    const bool same = !extensions.isEmpty() &&
                      std::all_of(extensions.begin(), extensions.end(),
                                  [&](const QString& pExt) { return pExt == extensions.front(); });
    // Before Windows 8 every extension adds its verbs; later only one shared by all.
    for (const QString& extension : extensions)
        if (!extension.isEmpty() && (before8 || same))
            keys.push_back(extension);
    keys.removeDuplicates();
    std::sort(keys.begin(), keys.end());
    // A key names its class, whose key holds the verbs when it exists.
    pf::IRegistry& registry = pf::Platform().Registry();
    QStringList used;
    for (const QString& key : keys) {
        if (used.size() >= kMaxClassKeys)
            break;
        if (!registry.KeyExists(pf::RegistryRoot::ClassesRoot, key))
            continue;
        const pf::RegValue value = registry.GetValue(pf::RegistryRoot::ClassesRoot, key, {});
        const QString* className = std::get_if<QString>(&value);
        if (className && !className->isEmpty() &&
            registry.KeyExists(pf::RegistryRoot::ClassesRoot, *className))
            used.push_back(*className);
        else
            used.push_back(key);
    }
    return used;
}

pf::IContextMenuPtr
TItemIdListCollection::DefaultFolderMenu(const std::vector<pf::IdListBytes>& pItems,
                                         pf::WindowRef pOwner) const
{
    pf::INamespace& ns = pf::Platform().Namespace();
    const pf::IShellFolderPtr desktop = ns.Desktop();
    if (!desktop)
        return nullptr;
    std::vector<pf::IdSpan> spans(pItems.begin(), pItems.end());
    // The desktop's data object for every element, carrying their paths as dropped files.
    pf::IDataObjectPtr data;
    if (pf::Failed(desktop->GetDataObject(nullptr, spans, data)) || !data)
        data = std::make_shared<pf::TDataObject>();
    QStringList paths;
    for (const IItemIdListPtr& element : AbsoluteItems())
        if (const QString path = element->DisplayPath(); !path.isEmpty())
            paths.push_back(path);
    if (!paths.isEmpty())
        data->SetData(pf::ClipFormat::HDrop, TClipboardFiles::BuildDropFiles(paths));
    const auto folder = std::make_shared<TKivDesktopFolder>(desktop, data);
    pf::IContextMenuPtr menu;
    if (pf::Failed(ns.CreateDefaultFolderMenu(pOwner, folder, spans, ClassKeys(), menu)))
        return nullptr;
    return menu;
}

void TItemIdListCollection::CopyTo(TKivShellChangeNotifier& pNotifier) const
{
    for (const IItemIdListPtr& element : AbsoluteItems())
        pNotifier.AddItemIdList(element, false, TNotificationEvents());
}

pf::IDataObjectPtr TItemIdListCollection::DataObject(std::uint32_t pEffect) const
{
    return CreateItemsDataObject(AbsoluteItems(), pEffect);
}

std::vector<IItemIdListPtr> TItemIdListCollection::AbsoluteItems() const
{
    std::vector<IItemIdListPtr> items;
    items.reserve(fItemIdLists.size());
    for (const IItemIdListPtr& element : fItemIdLists)
        if (HasPlace(element))
            items.push_back(Absolute(element));
    return items;
}

TShellItemArray::TShellItemArray(std::vector<IItemIdListPtr> pItemIdLists)
    : fItemIdLists(std::move(pItemIdLists))
{
}

const std::vector<pf::IShellItemPtr>& TShellItemArray::Items()
{
    const std::scoped_lock lock(fItemsLock);
    if (!fItems) {
        fItems.emplace();
        for (const IItemIdListPtr& list : fItemIdLists) {
            if (!HasPlace(list))
                continue;
            if (pf::IShellItemPtr item = list->ShellItem())
                fItems->push_back(std::move(item));
        }
    }
    return *fItems;
}

int TShellItemArray::Count()
{
    return static_cast<int>(Items().size());
}

pf::HResult TShellItemArray::GetItemAt(int pIndex, pf::IShellItemPtr& pItem)
{
    const auto& items = Items();
    if (pIndex < 0 || static_cast<std::size_t>(pIndex) >= items.size())
        return pf::E_INVALIDARG;
    pItem = items[static_cast<std::size_t>(pIndex)];
    return pf::S_OK;
}

pf::HResult TShellItemArray::GetAttributes(std::uint32_t pMask, bool pAllItems,
                                           std::uint32_t& pAttributes)
{
    const auto& items = Items();
    if (items.empty())
        return pf::E_FAIL;
    std::uint32_t combined = pAllItems ? pMask : 0;
    for (const pf::IShellItemPtr& item : items) {
        std::uint32_t attributes = 0;
        if (pf::Failed(item->GetAttributes(pMask, attributes)))
            attributes = 0;
        combined = pAllItems ? (combined & attributes) : (combined | (attributes & pMask));
    }
    pAttributes = combined;
    return combined == pMask ? pf::S_OK : pf::S_FALSE;
}

pf::HResult TShellItemArray::Next(int pCount, std::vector<pf::IShellItemPtr>& pItems)
{
    pItems.clear();
    const auto& items = Items();
    while (pCount > 0 && fIndex < items.size()) {
        pItems.push_back(items[fIndex++]);
        --pCount;
    }
    return pCount == 0 ? pf::S_OK : pf::S_FALSE;
}

pf::HResult TShellItemArray::Skip(int pCount)
{
    const std::size_t size = Items().size();
    const std::size_t wanted = fIndex + static_cast<std::size_t>(std::max(pCount, 0));
    fIndex = std::min(wanted, size);
    return wanted <= size ? pf::S_OK : pf::S_FALSE;
}

std::shared_ptr<TShellItemArray> TShellItemArray::Clone() const
{
    auto clone = std::make_shared<TShellItemArray>(fItemIdLists);
    {
        const std::scoped_lock lock(fItemsLock);
        clone->fItems = fItems;
    }
    clone->fIndex = fIndex;
    return clone;
}

std::shared_ptr<TShellItemArray> TItemIdListCollection::ShellItemArray() const
{
    if (fItemIdLists.empty())
        throw EInvalidArgument(QStringLiteral("Missing source files: No file was added!"));
    return std::make_shared<TShellItemArray>(AbsoluteItems());
}

std::vector<pf::IShellItemPtr> TItemIdListCollection::ShellItems() const
{
    if (fItemIdLists.empty())
        throw EInvalidArgument(QStringLiteral("Missing source files: No file was added!"));
    std::vector<pf::IShellItemPtr> items;
    for (const IItemIdListPtr& element : fItemIdLists) {
        if (!HasPlace(element))
            continue;
        if (pf::IShellItemPtr item = Absolute(element)->ShellItem())
            items.push_back(std::move(item));
    }
    return items;
}

QString TItemIdListCollection::ShareTitle() const
{
    if (fItemIdLists.empty())
        return {};
    return QStringLiteral("%1 & %2 elements").arg(fItemIdLists.front()->Name()).arg(Count() - 1);
}

void TItemIdListCollection::InvokeCommand(const TShellCommand& pCommand) const
{
    if (fItemIdLists.empty())
        return;
    switch (pCommand.Command()) {
    case TShellAction::saDefault:
    case TShellAction::saExplore:
    case TShellAction::saPinToHome:
    case TShellAction::saOpenCommandPrompt:
        InvokeCommandOnEach(pCommand);
        return;
    case TShellAction::saProperties:
        if (Count() == 1) {
            InvokeCommandOnEach(pCommand);
            return;
        }
        break;
    default:
        break;
    }
    InvokeCommandOnAll(pCommand);
}

void TItemIdListCollection::InvokeCommand(const QString& pVerb) const
{
    InvokeCommand(TShellCommand(pVerb));
}

void TItemIdListCollection::InvokeCommand(TShellAction pAction) const
{
    InvokeCommand(TShellCommand(pAction));
}

void TItemIdListCollection::InvokeCommandOnEach(const TShellCommand& pCommand) const
{
    const TShellAction action = pCommand.Command();
    const IItemIdListPtr& first = fItemIdLists.front();
    if ((action == TShellAction::saExplore || action == TShellAction::saOpenCommandPrompt) &&
        Count() > 1 && first->Depth() > 2 && HaveSameParent()) {
        // One window for the folder they share, not one per element.
        if (!first->IsAbsolute())
            throw ENotSupportedException(kClassName + QStringLiteral(".InvokeCommandOnEach(") +
                                         ShellActionCaption(action, true));
        first->InvokeCommand(pCommand);
        return;
    }
    for (const IItemIdListPtr& element : fItemIdLists)
        Absolute(element)->InvokeCommand(pCommand);
}

void TItemIdListCollection::InvokeCommandOnAll(const TShellCommand& pCommand) const
{
    RejectUnavailableVerb(pCommand);
    switch (pCommand.Command()) {
    case TShellAction::saCopyPath:
        PutTextOnClipboard(ToString());
        return;
    case TShellAction::saCopy:
    case TShellAction::saCut:
        // Without a destination the items go to the clipboard; a paste elsewhere moves cut ones.
        if (pCommand.Destination.isEmpty()) {
            PutItemsOnClipboard(AbsoluteItems(), pCommand.Command() == TShellAction::saCut);
            return;
        }
        break;
    case TShellAction::saDeleteNoUndo: {
        // Each element is deleted for good; the first failure ends the run and is raised.
        TShellCommand command(TShellAction::saDeleteNoUndo);
        command.OperationOptions = pCommand.OperationOptions;
        command.OperationOptions.Exclude(TOperationOption::soAllowUndo);
        for (const IItemIdListPtr& element : fItemIdLists)
            Absolute(element)->InvokeCommand(command);
        return;
    }
    default:
        break;
    }
    // Everything else is a verb of the items' shared context menu.
    const pf::IContextMenuPtr menu = ContextMenu();
    if (!menu)
        throw EWayfoldError(pf::E_NOINTERFACE, ToString());
    InvokeMenuCommand(*menu, pCommand, QString(), ToString());
}

} // namespace kiv

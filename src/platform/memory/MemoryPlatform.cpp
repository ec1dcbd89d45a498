#include "MemoryPlatform.h"

#include "MemoryChangeNotify.h"
#include "MemoryIcons.h"
#include "MemoryImageFactory.h"
#include "core/platform/DataObject.h"
#include "core/platform/IDebug.h"
#include "core/platform/INamespace.h"
#include "core/platform/ModelContextMenu.h"
#include "core/platform/PropertySystem.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/ShellIdListArray.h"
#include "core/platform/SystemErrorTexts.h"
#include "core/shell/ClipboardFiles.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>

namespace kiv::pf::mem {

// Items of the memory namespace: [cb = 8][kind 0x70][flags: bit 0 folder][node id u32].
namespace {
constexpr std::uint8_t kNodeKind = 0x70;

std::vector<std::uint8_t> NodeItem(const TMemoryNode& pNode)
{
    const std::uint32_t id = pNode.Id();
    const std::uint8_t payload[] = {
        static_cast<std::uint8_t>(pNode.IsFolder() ? 1 : 0), static_cast<std::uint8_t>(id),
        static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id >> 16),
        static_cast<std::uint8_t>(id >> 24)};
    return idl::MakeItem(kNodeKind, payload);
}

bool NodeIdOf(IdItem pItem, std::uint32_t& pId)
{
    if (pItem.size() != 8 || pItem[2] != kNodeKind)
        return false;
    pId = static_cast<std::uint32_t>(pItem[4]) | (static_cast<std::uint32_t>(pItem[5]) << 8) |
          (static_cast<std::uint32_t>(pItem[6]) << 16) |
          (static_cast<std::uint32_t>(pItem[7]) << 24);
    return true;
}

HResult OrderResult(int pOrder)
{
    return static_cast<HResult>(static_cast<std::uint16_t>(static_cast<std::int16_t>(pOrder)));
}

QStringList SplitPath(const QString& pPath)
{
    return pPath.split(u'/', Qt::SkipEmptyParts);
}

} // namespace

class TMemoryState
{
public:
    explicit TMemoryState(TMemoryPlatform& pOwner)
        : fOwner(pOwner)
    {
    }

    TMemoryNode* Find(std::uint32_t pId) const
    {
        const auto it = fNodes.find(pId);
        return it == fNodes.end() ? nullptr : it->second;
    }

    // The node of an absolute list, checking that each item is a child of the one before.
    TMemoryNode* Resolve(IdSpan pAbsolute) const
    {
        TMemoryNode* node = fOwner.fRoot.get();
        const std::size_t depth = pAbsolute.Depth();
        for (std::size_t i = 0; i < depth; ++i) {
            std::uint32_t id = 0;
            if (!NodeIdOf(pAbsolute.Item(i), id))
                return nullptr;
            TMemoryNode* child = Find(id);
            if (!child || child->Parent() != node)
                return nullptr;
            node = child;
        }
        return node;
    }

    QString PathOf(const TMemoryNode& pNode) const
    {
        if (!pNode.Parent())
            return QStringLiteral("/");
        QStringList parts;
        for (const TMemoryNode* node = &pNode; node->Parent(); node = node->Parent())
            parts.prepend(node->Name());
        return u'/' + parts.join(u'/');
    }

    TMemoryNode* FindPath(const QString& pPath, HResult& pResult) const
    {
        TMemoryNode* node = fOwner.fRoot.get();
        const QStringList parts = SplitPath(pPath);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            TMemoryNode* child = node->IsFolder() ? node->Child(parts[i]) : nullptr;
            if (!child) {
                pResult = HResultFromWin32(i + 1 == parts.size() ? win32::ERROR_FILE_NOT_FOUND
                                                                 : win32::ERROR_PATH_NOT_FOUND);
                return nullptr;
            }
            node = child;
        }
        pResult = S_OK;
        return node;
    }

    // Access for the services to the node's private parts; callers hold fLock.
    static std::vector<std::unique_ptr<TMemoryNode>>& Children(TMemoryNode& pNode)
    {
        return pNode.fChildren;
    }
    static const std::vector<std::unique_ptr<TMemoryNode>>& Children(const TMemoryNode& pNode)
    {
        return pNode.fChildren;
    }
    static int& NextCalls(TMemoryNode& pNode) { return pNode.fNextCalls; }
    static void Rename(TMemoryNode& pNode, const QString& pName) { pNode.fName = pName; }

    TMemoryPlatform& fOwner;
    mutable std::recursive_mutex fLock;
    std::unordered_map<std::uint32_t, TMemoryNode*> fNodes;      // guarded by fLock
    std::uint32_t fNextId = 1;                                   // guarded by fLock
    OsProfile fProfile;                                          // guarded by fLock
    std::map<std::pair<int, int>, QString> fStrings;             // guarded by fLock
    LocaleInfo fLocale;                                          // guarded by fLock
    std::vector<std::pair<KnownFolderKey, TMemoryNode*>> fKnown; // guarded by fLock
    bool fKnownAvailable = true;                                 // guarded by fLock
    std::vector<MountInfo> fMounts;                              // guarded by fLock
    std::map<QString, QString> fEnvironment;                     // guarded by fLock
    std::vector<QString> fDebugLines;                            // guarded by fLock
    std::vector<MenuItem> fItemEntries;                          // guarded by fLock
    std::vector<MenuItem> fBackgroundEntries;                    // guarded by fLock
    HResult fMenuFailure = S_OK;                                 // guarded by fLock
    HResult fInvokeResult = S_OK;                                // guarded by fLock
    std::vector<TMemoryPlatform::TMenuCall> fMenuCalls;          // guarded by fLock
    std::atomic<int> fDiskQueries{0};
    std::unique_ptr<INamespace> fNamespace;
    std::unique_ptr<IInfo> fInfo;
    std::unique_ptr<IKnownFolders> fKnownFolders;
    std::unique_ptr<IFileSystem> fFileSystem;
    std::unique_ptr<IDebug> fDebug;
};

// ---------------------------------------------------------------------------------------------

TMemoryNode::TMemoryNode(TMemoryPlatform& pOwner, TMemoryNode* pParent, QString pName,
                         bool pIsFolder, std::uint32_t pId)
    : fOwner(pOwner)
    , fParent(pParent)
    , fName(std::move(pName))
    , fIsFolder(pIsFolder)
    , fId(pId)
{
}

TMemoryNode& TMemoryNode::AddFolder(const QString& pName)
{
    std::lock_guard lock(fOwner.fState->fLock);
    const std::uint32_t id = fOwner.fState->fNextId++;
    fChildren.push_back(
        std::unique_ptr<TMemoryNode>(new TMemoryNode(fOwner, this, pName, true, id)));
    fOwner.fState->fNodes[id] = fChildren.back().get();
    return *fChildren.back();
}

TMemoryNode& TMemoryNode::AddFile(const QString& pName, std::uint64_t pSize)
{
    std::lock_guard lock(fOwner.fState->fLock);
    const std::uint32_t id = fOwner.fState->fNextId++;
    fChildren.push_back(
        std::unique_ptr<TMemoryNode>(new TMemoryNode(fOwner, this, pName, false, id)));
    fChildren.back()->Size = pSize;
    fOwner.fState->fNodes[id] = fChildren.back().get();
    return *fChildren.back();
}

TMemoryNode* TMemoryNode::Child(const QString& pName) const
{
    std::lock_guard lock(fOwner.fState->fLock);
    for (const auto& child : fChildren) {
        if (child->fName == pName)
            return child.get();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------

namespace {

class TMemoryFolder;

class TMemoryEnum final : public IEnumIDList
{
public:
    TMemoryEnum(TMemoryState& pState, TMemoryNode& pFolder, std::uint32_t pFlags,
                std::stop_token pCancel)
        : fState(pState)
        , fFolderId(pFolder.Id())
        , fIsRoot(!pFolder.Parent())
        , fFlags(pFlags)
        , fCancel(std::move(pCancel))
    {
    }

    HResult Next(IdListBytes& pItem) override
    {
        std::chrono::milliseconds delay{0};
        {
            std::lock_guard lock(fState.fLock);
            TMemoryNode* folder = fIsRoot ? &fState.fOwner.Root() : fState.Find(fFolderId);
            if (!folder)
                return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
            ++TMemoryState::NextCalls(*folder);
            if (folder->FaultOnNext > 0 && TMemoryState::NextCalls(*folder) == folder->FaultOnNext)
                return folder->NextFailure;
            const auto& children = TMemoryState::Children(*folder);
            bool found = false;
            while (fNext < children.size() && !found) {
                const TMemoryNode& child = *children[fNext++];
                const bool hidden = child.ExtraAttributes & sfgao::HIDDEN;
                if (child.NonEnumerated)
                    continue;
                if (hidden && !(fFlags & (shcontf::INCLUDEHIDDEN | shcontf::INCLUDESUPERHIDDEN)))
                    continue;
                if (!(fFlags & (child.IsFolder() ? shcontf::FOLDERS : shcontf::NONFOLDERS)))
                    continue;
                pItem = idl::FromItem(NodeItem(child));
                found = true;
            }
            if (!found)
                return S_FALSE;
            delay = folder->DelayPerItem;
        }
        if (delay.count() > 0)
            std::this_thread::sleep_for(delay);
        if (fCancel.stop_requested())
            return HResultFromWin32(win32::ERROR_CANCELLED);
        return S_OK;
    }

    HResult Reset() override
    {
        fNext = 0;
        return S_OK;
    }

private:
    TMemoryState& fState;
    std::uint32_t fFolderId;
    bool fIsRoot;
    std::uint32_t fFlags;
    std::stop_token fCancel;
    std::size_t fNext = 0;
};

std::uint32_t NodeAttributes(const TMemoryNode& pNode, std::uint32_t pWanted)
{
    using namespace sfgao;
    std::uint32_t attributes = CANCOPY | CANMOVE | CANLINK | CANRENAME | CANDELETE | HASPROPSHEET;
    if (!pNode.Virtual)
        attributes |= FILESYSTEM;
    if (pNode.IsFolder()) {
        attributes |= FOLDER | FILESYSANCESTOR | STORAGEANCESTOR | DROPTARGET;
        if (!pNode.Virtual)
            attributes |= STORAGE;
    } else {
        attributes |= STREAM;
    }
    (void)pWanted;
    return (attributes & ~pNode.MissingAttributes) | pNode.ExtraAttributes;
}

// A scripted context menu: the entries the test set (or the defaults), every invocation recorded.
class TMemoryMenu final : public TModelContextMenu
{
public:
    TMemoryMenu(TMemoryState& pState, QStringList pPaths, QString pKind,
                QStringList pClassKeys = {})
        : fState(pState)
        , fPaths(std::move(pPaths))
        , fKind(std::move(pKind))
        , fClassKeys(std::move(pClassKeys))
    {
    }

protected:
    std::vector<MenuItem> BuildItems(std::uint32_t pFlags) override
    {
        std::lock_guard lock(fState.fLock);
        const bool background = fKind == QLatin1String("background");
        const std::vector<MenuItem>& scripted =
            background ? fState.fBackgroundEntries : fState.fItemEntries;
        if (!scripted.empty())
            return scripted;
        auto entry = [](const char* pCaption, const char* pVerb) {
            MenuItem item;
            item.Caption = QString::fromUtf8(pCaption);
            item.Verb = QString::fromUtf8(pVerb);
            item.HelpText = QString(item.Caption).remove(u'&');
            return item;
        };
        if (background)
            return {entry("&Paste", "paste"), entry("New &Folder", "NewFolder"),
                    entry("R&efresh", "refresh"), entry("P&roperties", "properties")};
        MenuItem open = entry("&Open", "open");
        open.IsDefault = true;
        std::vector<MenuItem> items{open, entry("Cu&t", "cut"), entry("&Copy", "copy"),
                                    entry("&Delete", "delete")};
        if (pFlags & cmf::CANRENAME)
            items.push_back(entry("&Rename", "rename"));
        items.push_back(entry("P&roperties", "properties"));
        return items;
    }

    HResult RunVerb(const QString& pVerb, const InvokeInfo& pInfo) override
    {
        HResult result = S_OK;
        {
            std::lock_guard lock(fState.fLock);
            fState.fMenuCalls.push_back(
                {pVerb, fPaths, pInfo.Mask, pInfo.Directory, fKind, fClassKeys});
            result = fState.fInvokeResult;
        }
        if (Failed(result) || pVerb.compare(QLatin1String("open"), Qt::CaseInsensitive) != 0)
            return result;
        IExec* exec = fState.fOwner.Exec();
        for (const QString& path : fPaths) {
            HResult found = S_OK;
            const TMemoryNode* node = nullptr;
            {
                std::lock_guard lock(fState.fLock);
                node = fState.FindPath(path, found);
            }
            // A file opens in its folder, a folder in itself, unless the caller says where.
            QString directory = pInfo.Directory;
            if (directory.isEmpty())
                directory = node && node->IsFolder() ? path : path.section(u'/', 0, -2);
            if (HResult one = exec->StartDetached(QStringLiteral("xdg-open"), {path}, directory);
                Failed(one))
                result = one;
        }
        return result;
    }

private:
    TMemoryState& fState;
    QStringList fPaths;
    QString fKind;
    QStringList fClassKeys;
};

// The items in transfer form: dropped files (the non-virtual ones), item lists, copied.
IDataObjectPtr MemoryDataObject(TMemoryState& pState, const std::vector<IdListBytes>& pLists)
{
    auto data = std::make_shared<TDataObject>();
    QStringList paths;
    {
        std::lock_guard lock(pState.fLock);
        for (const IdListBytes& list : pLists)
            if (const TMemoryNode* node = pState.Resolve(IdSpan(list)); node && !node->Virtual)
                paths.push_back(pState.PathOf(*node));
    }
    if (!paths.isEmpty())
        data->SetData(ClipFormat::HDrop, TClipboardFiles::BuildDropFiles(paths));
    data->SetData(ClipFormat::ShellIdListArray, BuildShellIdListArray(IdSpan(), pLists));
    data->SetData(ClipFormat::PreferredDropEffect, DropEffectToBytes(DROPEFFECT_COPY));
    return data;
}

class TMemoryFolder final
    : public IShellFolder
    , public IShellFolder2
{
public:
    TMemoryFolder(TMemoryState& pState, TMemoryNode& pNode)
        : fState(pState)
        , fAbsolute(pState.fOwner.ListOf(pNode))
    {
    }

    HResult ParseDisplayName(WindowRef, const BindContext*, const QString& pName, IdListBytes& pOut,
                             std::uint32_t* pAttributes) override
    {
        std::lock_guard lock(fState.fLock);
        TMemoryNode* node = Self();
        if (!node)
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        if (pName.isEmpty())
            return E_INVALIDARG;
        const bool absolute = !node->Parent() && pName.startsWith(u'/');
        const QStringList parts = SplitPath(pName);
        pOut = idl::Empty();
        if (parts.isEmpty())
            return absolute ? S_OK : E_INVALIDARG;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            TMemoryNode* child = node->IsFolder() ? node->Child(parts[i]) : nullptr;
            if (!child)
                return HResultFromWin32(i + 1 == parts.size() ? win32::ERROR_FILE_NOT_FOUND
                                                              : win32::ERROR_PATH_NOT_FOUND);
            pOut = idl::Append(IdSpan(pOut), NodeItem(*child));
            node = child;
        }
        if (pAttributes)
            *pAttributes &= NodeAttributes(*node, *pAttributes);
        return S_OK;
    }

    HResult EnumObjects(WindowRef, std::uint32_t pFlags, IEnumIDListPtr& pEnum,
                        std::stop_token pCancel) override
    {
        std::lock_guard lock(fState.fLock);
        TMemoryNode* node = Self();
        if (!node)
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        if (Failed(node->EnumFailure))
            return node->EnumFailure;
        pEnum = std::make_shared<TMemoryEnum>(fState, *node, pFlags, std::move(pCancel));
        return S_OK;
    }

    HResult BindToFolder(IdSpan pRelative, IShellFolderPtr& pFolder) override;

    HResult GetContextMenu(WindowRef, std::span<const IdSpan> pItems,
                           std::shared_ptr<IContextMenu>& pMenu) override
    {
        std::lock_guard lock(fState.fLock);
        if (Failed(fState.fMenuFailure))
            return fState.fMenuFailure;
        QStringList paths;
        for (const IdSpan item : pItems) {
            const TMemoryNode* node = Node(item);
            if (!node)
                return E_INVALIDARG;
            paths.push_back(fState.PathOf(*node));
        }
        if (paths.isEmpty())
            return E_INVALIDARG;
        pMenu = std::make_shared<TMemoryMenu>(fState, paths, QStringLiteral("item"));
        return S_OK;
    }

    HResult GetDataObject(WindowRef, std::span<const IdSpan> pItems,
                          std::shared_ptr<IDataObject>& pData) override
    {
        std::vector<IdListBytes> lists;
        {
            std::lock_guard lock(fState.fLock);
            for (const IdSpan item : pItems) {
                if (!Node(item))
                    return E_INVALIDARG;
                lists.push_back(idl::Combine(IdSpan(fAbsolute), item));
            }
        }
        if (lists.empty())
            return E_INVALIDARG;
        pData = MemoryDataObject(fState, lists);
        return S_OK;
    }

    HResult CreateBackgroundMenu(WindowRef, std::shared_ptr<IContextMenu>& pMenu) override
    {
        std::lock_guard lock(fState.fLock);
        if (Failed(fState.fMenuFailure))
            return fState.fMenuFailure;
        const TMemoryNode* node = Self();
        if (!node)
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        pMenu = std::make_shared<TMemoryMenu>(fState, QStringList{fState.PathOf(*node)},
                                              QStringLiteral("background"));
        return S_OK;
    }

    HResult BindToStream(IdSpan pRelative, IStreamPtr& pStream) override;

    HResult CompareIDs(std::uint32_t pParam, IdSpan pA, IdSpan pB) override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* a = Node(pA);
        const TMemoryNode* b = Node(pB);
        if (!a || !b)
            return E_INVALIDARG;
        const int identity = a->Id() == b->Id() ? 0 : (a->Id() < b->Id() ? -1 : 1);
        if (identity == 0 || (pParam & shcids::CANONICALONLY))
            return OrderResult(identity);
        if (a->IsFolder() != b->IsFolder())
            return OrderResult(a->IsFolder() ? -1 : 1);
        const int order = a->Name().compare(b->Name(), Qt::CaseInsensitive);
        return OrderResult(order != 0 ? (order < 0 ? -1 : 1) : identity);
    }

    HResult GetAttributesOf(std::span<const IdSpan> pItems, std::uint32_t& pInOut) override
    {
        std::lock_guard lock(fState.fLock);
        std::uint32_t common = 0xFFFFFFFFu;
        for (const IdSpan item : pItems) {
            const TMemoryNode* node = Node(item);
            if (!node)
                return E_INVALIDARG;
            std::uint32_t attributes = NodeAttributes(*node, pInOut);
            if (node->IsFolder() && (pInOut & sfgao::HASSUBFOLDER) &&
                std::any_of(TMemoryState::Children(*node).begin(),
                            TMemoryState::Children(*node).end(),
                            [](const auto& pChild) { return pChild->IsFolder(); }))
                attributes |= sfgao::HASSUBFOLDER;
            common &= attributes;
        }
        pInOut &= common;
        return S_OK;
    }

    HResult GetDisplayNameOf(IdSpan pItem, std::uint32_t pFlags, QString& pName) override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* node = Node(pItem);
        if (!node)
            return E_INVALIDARG;
        const bool parsing = pFlags & shgdn::FORPARSING;
        const bool inFolder = pFlags & shgdn::INFOLDER;
        pName = parsing && !inFolder ? fState.PathOf(*node) : node->Name();
        return S_OK;
    }

    HResult SetNameOf(WindowRef, IdSpan pItem, const QString& pName, std::uint32_t,
                      IdListBytes* pNewItem) override
    {
        std::lock_guard lock(fState.fLock);
        TMemoryNode* node = Node(pItem);
        if (!node || !node->Parent())
            return E_INVALIDARG;
        if (pName.isEmpty() || pName.contains(u'/'))
            return HResultFromWin32(win32::ERROR_INVALID_NAME);
        if (TMemoryNode* other = node->Parent()->Child(pName); other && other != node)
            return HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
        TMemoryState::Rename(*node, pName);
        if (pNewItem)
            *pNewItem = idl::FromItem(NodeItem(*node));
        return S_OK;
    }

    HResult GetCurFolder(IdListBytes& pList) override
    {
        pList = fAbsolute;
        return S_OK;
    }

    HResult GetFindData(IdSpan pItem, FindData& pData) override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* node = Node(pItem);
        if (!node || node->Virtual)
            return E_INVALIDARG;
        pData = FindData{};
        pData.Name = node->Name();
        pData.Size = node->IsFolder() ? 0 : node->Size;
        pData.LastWriteTime = node->LastWrite;
        pData.Attributes = node->IsFolder() ? fileattr::DIRECTORY : 0;
        if (node->ExtraAttributes & sfgao::HIDDEN)
            pData.Attributes |= fileattr::HIDDEN;
        if (node->ExtraAttributes & sfgao::READONLY)
            pData.Attributes |= fileattr::READONLY;
        if (pData.Attributes == 0)
            pData.Attributes = fileattr::NORMAL;
        return S_OK;
    }

    IShellFolder2* AsFolder2() override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* node = Self();
        return node && node->NoColumns ? nullptr : this;
    }

    // Name, Size, Date modified (shown by default) and Attributes (not): enough to tell the
    // column answers of the core apart, formatted by the property system as the real folders are.
    struct TMemoryColumn
    {
        PropertyKey Key;
        std::uint32_t State;
    };
    static const std::array<TMemoryColumn, 4>& Columns()
    {
        static const std::array<TMemoryColumn, 4> columns = {{
            {pkey::ItemNameDisplay, shcolstate::TYPE_STR | shcolstate::ONBYDEFAULT},
            {pkey::Size, shcolstate::TYPE_INT | shcolstate::ONBYDEFAULT},
            {pkey::DateModified, shcolstate::TYPE_DATE | shcolstate::ONBYDEFAULT},
            {pkey::FileAttributes, shcolstate::TYPE_STR},
        }};
        return columns;
    }

    HResult GetDetailsOf(const IdSpan* pItem, std::uint32_t pColumn,
                         ShellDetails& pDetails) override
    {
        if (pColumn >= Columns().size())
            return E_INVALIDARG;
        const PropertyKey& key = Columns()[pColumn].Key;
        const PropertyDescription* description = PropertySystem::Find(key);
        pDetails.Format = (description->ViewFlags & pdvf::RIGHTALIGN) ? 1 : 0;
        pDetails.CharWidth = description->DefaultColumnWidth;
        pDetails.Text.clear();
        if (!pItem) {
            pDetails.Text = description->DisplayName;
            return S_OK;
        }
        if (pColumn == 0)
            return GetDisplayNameOf(*pItem, shgdn::INFOLDER, pDetails.Text);
        PropVariant value;
        FindData data;
        if (Failed(GetFindData(*pItem, data)))
            return E_INVALIDARG;
        GetDetailsEx(*pItem, key, value);
        pDetails.Text = PropertySystem::FormatForDisplay(
            key, value, key == pkey::Size ? pdff::ALWAYSKB : pdff::DEFAULT);
        return S_OK;
    }

    HResult GetDetailsEx(IdSpan pItem, const PropertyKey& pKey, PropVariant& pValue) override
    {
        pValue = std::monostate{};
        FindData data;
        if (Failed(GetFindData(pItem, data)))
            return S_OK;
        if (pKey == pkey::ItemNameDisplay)
            pValue = data.Name;
        else if (pKey == pkey::Size && !(data.Attributes & fileattr::DIRECTORY))
            pValue = data.Size;
        else if (pKey == pkey::DateModified)
            pValue = data.LastWriteTime;
        else if (pKey == pkey::FileAttributes)
            pValue = data.Attributes;
        return S_OK;
    }

    HResult MapColumnToSCID(std::uint32_t pColumn, PropertyKey& pKey) override
    {
        if (pColumn >= Columns().size())
            return E_INVALIDARG;
        pKey = Columns()[pColumn].Key;
        return S_OK;
    }

    HResult GetDefaultColumnState(std::uint32_t pColumn, std::uint32_t& pState) override
    {
        if (pColumn >= Columns().size())
            return E_INVALIDARG;
        pState = Columns()[pColumn].State;
        return S_OK;
    }

private:
    // The node of a relative list below this folder.
    TMemoryNode* Node(IdSpan pRelative) const
    {
        if (pRelative.IsEmpty())
            return nullptr;
        return fState.Resolve(IdSpan(idl::Combine(IdSpan(fAbsolute), pRelative)));
    }

    // The folder's own node; nullptr once it was removed. Callers hold fState.fLock.
    TMemoryNode* Self() const { return fState.Resolve(IdSpan(fAbsolute)); }

    TMemoryState& fState;
    IdListBytes fAbsolute;
};

// A stream over a copy of a node's content.
class TMemoryStream final : public IStream
{
public:
    explicit TMemoryStream(QByteArray pContent)
        : fContent(std::move(pContent))
    {
    }
    HResult Read(void* pBuffer, std::size_t pSize, std::size_t& pRead) override
    {
        const auto available = static_cast<std::size_t>(fContent.size()) - fPosition;
        pRead = std::min(pSize, available);
        if (pRead > 0)
            std::memcpy(pBuffer, fContent.constData() + fPosition, pRead);
        fPosition += pRead;
        return S_OK;
    }
    HResult Seek(std::int64_t pOffset, SeekOrigin pOrigin, std::uint64_t* pPosition) override
    {
        const std::int64_t base = pOrigin == SeekOrigin::Begin ? 0
                                  : pOrigin == SeekOrigin::Current
                                      ? static_cast<std::int64_t>(fPosition)
                                      : fContent.size();
        if (base + pOffset < 0)
            return HResultFromWin32(win32::ERROR_INVALID_PARAMETER);
        fPosition = std::min(static_cast<std::size_t>(base + pOffset),
                             static_cast<std::size_t>(fContent.size()));
        if (pPosition)
            *pPosition = fPosition;
        return S_OK;
    }
    HResult Size(std::uint64_t& pSize, bool& pKnown) override
    {
        pSize = static_cast<std::uint64_t>(fContent.size());
        pKnown = true;
        return S_OK;
    }

private:
    QByteArray fContent;
    std::size_t fPosition = 0;
};

HResult BindNode(TMemoryState& pState, IdSpan pAbsolute, IShellFolderPtr& pFolder)
{
    std::lock_guard lock(pState.fLock);
    TMemoryNode* node = pState.Resolve(pAbsolute);
    if (!node)
        return E_INVALIDARG;
    if (!node->IsFolder())
        return E_INVALIDARG;
    if (Failed(node->BindFailure))
        return node->BindFailure;
    pFolder = std::make_shared<TMemoryFolder>(pState, *node);
    return S_OK;
}

HResult TMemoryFolder::BindToStream(IdSpan pRelative, IStreamPtr& pStream)
{
    std::lock_guard lock(fState.fLock);
    const TMemoryNode* node = Node(pRelative);
    if (!node)
        return E_INVALIDARG;
    if (node->IsFolder() || node->Virtual)
        return E_NOINTERFACE;
    pStream = std::make_shared<TMemoryStream>(node->Content);
    return S_OK;
}

HResult TMemoryFolder::BindToFolder(IdSpan pRelative, IShellFolderPtr& pFolder)
{
    return BindNode(fState, IdSpan(idl::Combine(IdSpan(fAbsolute), pRelative)), pFolder);
}

class TMemoryShellItem final : public IShellItem
{
public:
    TMemoryShellItem(TMemoryState& pState, IdListBytes pAbsolute)
        : fState(pState)
        , fAbsolute(std::move(pAbsolute))
    {
    }

    HResult GetIdList(IdListBytes& pList) override
    {
        pList = fAbsolute;
        return S_OK;
    }

    HResult GetDisplayName(std::uint32_t pForm, QString& pName) override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* node = fState.Resolve(IdSpan(fAbsolute));
        if (!node)
            return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
        if (pForm == sigdn::FILESYSPATH) {
            if (node->Virtual)
                return E_INVALIDARG;
            pName = fState.PathOf(*node);
            return S_OK;
        }
        const bool parsing = pForm & shgdn::FORPARSING;
        const bool inFolder = pForm & shgdn::INFOLDER;
        pName = parsing && !inFolder ? fState.PathOf(*node)
                                     : (node->Parent() ? node->Name() : QStringLiteral("Desktop"));
        return S_OK;
    }

    HResult GetAttributes(std::uint32_t pMask, std::uint32_t& pAttributes) override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* node = fState.Resolve(IdSpan(fAbsolute));
        if (!node)
            return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
        pAttributes = pMask & NodeAttributes(*node, pMask);
        return pAttributes == pMask ? S_OK : S_FALSE;
    }

    HResult Compare(IShellItem& pOther, std::uint32_t pHint, int& pOrder) override
    {
        IdListBytes other;
        if (HResult result = pOther.GetIdList(other); Failed(result))
            return result;
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* a = fState.Resolve(IdSpan(fAbsolute));
        const TMemoryNode* b = fState.Resolve(IdSpan(other));
        if (!a || !b)
            return E_INVALIDARG;
        pOrder = a == b ? 0 : (a->Id() < b->Id() ? -1 : 1);
        if (pOrder != 0 && !(pHint & shcids::CANONICALONLY))
            pOrder = a->Name().compare(b->Name(), Qt::CaseInsensitive) < 0 ? -1 : 1;
        return pOrder == 0 ? S_OK : S_FALSE;
    }

    HResult Update() override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* node = fState.Resolve(IdSpan(fAbsolute));
        return node && !node->Vanished ? S_OK : HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
    }

    HResult GetProperty(const PropertyKey& pKey, PropVariant& pValue) override
    {
        if (IdSpan(fAbsolute).IsEmpty()) {
            pValue = std::monostate{};
            return S_OK;
        }
        IShellFolderPtr parent;
        if (HResult result = BindNode(fState, IdSpan(idl::RemoveLast(IdSpan(fAbsolute))), parent);
            Failed(result))
            return result;
        IShellFolder2* columns = parent->AsFolder2();
        return columns
                   ? columns->GetDetailsEx(IdSpan(idl::LastAsList(IdSpan(fAbsolute))), pKey, pValue)
                   : E_NOINTERFACE;
    }

private:
    TMemoryState& fState;
    IdListBytes fAbsolute;
};

class TMemoryNamespace final : public INamespace
{
public:
    explicit TMemoryNamespace(TMemoryState& pState)
        : fState(pState)
    {
    }

    IShellFolderPtr Desktop() override
    {
        IShellFolderPtr desktop;
        BindNode(fState, IdSpan(), desktop);
        return desktop;
    }

    HResult CreateShellItem(IdSpan pAbsolute, IShellItemPtr& pItem) override
    {
        std::lock_guard lock(fState.fLock);
        if (!fState.Resolve(pAbsolute))
            return E_INVALIDARG;
        pItem = std::make_shared<TMemoryShellItem>(fState, pAbsolute.ToBytes());
        return S_OK;
    }

    bool GetPathFromIdList(IdSpan pAbsolute, QString& pPath) override
    {
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* node = fState.Resolve(pAbsolute);
        pPath = node && !node->Virtual ? fState.PathOf(*node) : QString();
        return !pPath.isEmpty();
    }

    HResult SimpleIdListFromPath(const QString& pPath, IdListBytes& pList) override
    {
        // Nodes exist or not: a path that names none has no list here.
        return Desktop()->ParseDisplayName(nullptr, nullptr, pPath, pList, nullptr);
    }

    HResult BindToParent(IdSpan pAbsolute, IShellFolderPtr& pParent, IdListBytes& pLast) override
    {
        if (pAbsolute.IsEmpty())
            return E_INVALIDARG;
        pLast = idl::LastAsList(pAbsolute);
        return BindNode(fState, IdSpan(idl::RemoveLast(pAbsolute)), pParent);
    }

    HResult BindToFolder(IdSpan pAbsolute, IShellFolderPtr& pFolder) override
    {
        return BindNode(fState, pAbsolute, pFolder);
    }

    bool GetLibraryDefaultSaveFolder(IdSpan, QString& pPath) override
    {
        pPath.clear();
        return false;
    }

    bool FindChild(IdSpan pParent, IdSpan pChild, IdListBytes* pRest) override
    {
        IdSpan rest;
        if (!idl::StartsWith(pParent, pChild, &rest))
            return false;
        if (pRest)
            *pRest = rest.ToBytes();
        return true;
    }

    QString SystemRoot() override { return QStringLiteral("/"); }

    HResult CreateDefaultFolderMenu(WindowRef pOwner, const IShellFolderPtr& pFolder,
                                    std::span<const IdSpan> pItems, const QStringList& pClassKeys,
                                    std::shared_ptr<IContextMenu>& pMenu) override
    {
        {
            std::lock_guard lock(fState.fLock);
            if (Failed(fState.fMenuFailure))
                return fState.fMenuFailure;
        }
        IDataObjectPtr data;
        if (!pFolder || Failed(pFolder->GetDataObject(pOwner, pItems, data)) || !data)
            return E_FAIL;
        QByteArray bytes;
        if (Failed(data->GetData(ClipFormat::HDrop, bytes)))
            return E_FAIL;
        pMenu = std::make_shared<TMemoryMenu>(fState, TClipboardFiles::ParseDropFiles(bytes),
                                              QStringLiteral("default"), pClassKeys);
        return S_OK;
    }

private:
    TMemoryState& fState;
};

class TMemoryInfo final : public IInfo
{
public:
    explicit TMemoryInfo(TMemoryState& pState)
        : fState(pState)
    {
    }
    OsProfile Profile() override
    {
        std::lock_guard lock(fState.fLock);
        return fState.fProfile;
    }
    bool LoadString(StringModule pModule, int pId, QString& pText) override
    {
        std::lock_guard lock(fState.fLock);
        const auto it = fState.fStrings.find({static_cast<int>(pModule), pId});
        if (it == fState.fStrings.end())
            return false;
        pText = it->second;
        return true;
    }
    QString SystemErrorText(std::uint32_t pCodeOrResult) override
    {
        return pf::SystemErrorText(pCodeOrResult);
    }
    QString ExecutablePath() override { return QStringLiteral("/opt/tovaline/tovaline"); }
    bool IsUserAdmin() override { return false; }
    bool IsDebuggerPresent() override { return false; }
    LocaleInfo Locale() override
    {
        std::lock_guard lock(fState.fLock);
        return fState.fLocale;
    }

private:
    TMemoryState& fState;
};

class TMemoryKnownFolders final : public IKnownFolders
{
public:
    explicit TMemoryKnownFolders(TMemoryState& pState)
        : fState(pState)
    {
    }
    bool Available() override
    {
        std::lock_guard lock(fState.fLock);
        return fState.fKnownAvailable;
    }
    HResult GetIdList(const KnownFolderKey& pKey, IdListBytes& pList) override
    {
        std::lock_guard lock(fState.fLock);
        for (const auto& [key, node] : fState.fKnown) {
            if ((pKey.Csidl >= 0 && key.Csidl == pKey.Csidl) ||
                (!pKey.FolderId.IsNull() && key.FolderId == pKey.FolderId)) {
                pList = fState.fOwner.ListOf(*node);
                return S_OK;
            }
        }
        return E_FAIL;
    }
    HResult FindFromIdList(IdSpan pList, Guid& pFolderId) override
    {
        if (fState.fOwner.OnKnownFolderQuery)
            fState.fOwner.OnKnownFolderQuery();
        std::lock_guard lock(fState.fLock);
        const TMemoryNode* target = fState.Resolve(pList);
        for (const auto& [key, node] : fState.fKnown) {
            if (target && node == target && !key.FolderId.IsNull()) {
                pFolderId = key.FolderId;
                return S_OK;
            }
        }
        return E_FAIL;
    }
    HResult FindFromPath(const QString& pPath, Guid& pFolderId) override
    {
        if (fState.fOwner.OnKnownFolderQuery)
            fState.fOwner.OnKnownFolderQuery();
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const TMemoryNode* target = fState.FindPath(pPath, result);
        for (const auto& [key, node] : fState.fKnown) {
            if (target && node == target && !key.FolderId.IsNull()) {
                pFolderId = key.FolderId;
                return S_OK;
            }
        }
        return E_FAIL;
    }

private:
    TMemoryState& fState;
};

class TMemoryFindHandle final : public IFindHandle
{
public:
    explicit TMemoryFindHandle(std::vector<FindData> pEntries)
        : fEntries(std::move(pEntries))
    {
    }
    HResult Next(FindData& pData) override
    {
        if (fNext >= fEntries.size())
            return S_FALSE;
        pData = fEntries[fNext++];
        return S_OK;
    }

private:
    std::vector<FindData> fEntries;
    std::size_t fNext = 0;
};

class TMemoryFileSystem final : public IFileSystem
{
public:
    explicit TMemoryFileSystem(TMemoryState& pState)
        : fState(pState)
    {
    }
    PathStyle Style() override { return PathStyle::Posix; }
    bool IsCaseSensitive(const QString&) override { return true; }
    std::uint32_t GetFileAttributes(const QString& pPath) override
    {
        FindData data;
        return Succeeded(GetFindData(pPath, data)) ? data.Attributes : fileattr::INVALID;
    }
    HResult GetFindData(const QString& pPath, FindData& pData) override
    {
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const TMemoryNode* node = fState.FindPath(pPath, result);
        if (!node)
            return result;
        pData = Data(*node);
        return S_OK;
    }
    HResult FindFirst(const QString& pFolder, std::unique_ptr<IFindHandle>& pHandle) override
    {
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const TMemoryNode* node = fState.FindPath(pFolder, result);
        if (!node || !node->IsFolder())
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        std::vector<FindData> entries;
        for (const auto& child : TMemoryState::Children(*node))
            entries.push_back(Data(*child));
        pHandle = std::make_unique<TMemoryFindHandle>(std::move(entries));
        return S_OK;
    }
    HResult ListNames(const QString& pFolder, std::vector<NameEntry>& pEntries) override
    {
        pEntries.clear();
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const TMemoryNode* node = fState.FindPath(pFolder, result);
        if (!node || !node->IsFolder())
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        for (const auto& child : TMemoryState::Children(*node))
            pEntries.push_back(NameEntry{child->Name(), child->IsFolder()});
        return S_OK;
    }
    HResult SumTree(const QString& pFolder, const TreeWalkOptions&,
                    const std::function<bool()>& pStopped, TreeTotals& pTotals) override
    {
        // Outside the lock: a test may hold one walk here (a dead mount) while others run.
        if (fState.fOwner.OnTreeWalk)
            fState.fOwner.OnTreeWalk(pFolder);
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const TMemoryNode* node = fState.FindPath(pFolder, result);
        if (!node || !node->IsFolder())
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        return SumChildren(*node, pStopped, pTotals) ? HResultFromWin32(win32::ERROR_CANCELLED)
                                                     : S_OK;
    }
    HResult CreateDirectory(const QString& pPath) override
    {
        std::lock_guard lock(fState.fLock);
        const qsizetype slash = pPath.lastIndexOf(u'/');
        HResult result = S_OK;
        TMemoryNode* parent = fState.FindPath(pPath.left(std::max<qsizetype>(slash, 0)), result);
        if (!parent || !parent->IsFolder())
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        const QString name = pPath.mid(slash + 1);
        if (name.isEmpty())
            return HResultFromWin32(win32::ERROR_INVALID_NAME);
        if (parent->Child(name))
            return HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
        parent->AddFolder(name);
        return S_OK;
    }
    HResult ForceDirectories(const QString& pPath) override
    {
        std::lock_guard lock(fState.fLock);
        TMemoryNode* node = &fState.fOwner.Root();
        for (const QString& part : SplitPath(pPath)) {
            TMemoryNode* child = node->Child(part);
            if (child && !child->IsFolder())
                return HResultFromWin32(win32::ERROR_ALREADY_EXISTS);
            node = child ? child : &node->AddFolder(part);
        }
        return S_OK;
    }
    HResult CopyFile(const QString& pSource, const QString& pTarget, bool pFailIfExists) override
    {
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const TMemoryNode* source = fState.FindPath(pSource, result);
        if (!source)
            return result;
        if (source->IsFolder())
            return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
        const qsizetype slash = pTarget.lastIndexOf(u'/');
        TMemoryNode* parent = fState.FindPath(pTarget.left(std::max<qsizetype>(slash, 0)), result);
        if (!parent || !parent->IsFolder())
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        const QString name = pTarget.mid(slash + 1);
        if (TMemoryNode* existing = parent->Child(name)) {
            if (pFailIfExists)
                return HResultFromWin32(win32::ERROR_FILE_EXISTS);
            if (existing->IsFolder())
                return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
            fState.fOwner.Remove(*existing);
        }
        TMemoryNode& copy = parent->AddFile(name, source->Size);
        copy.LastWrite = source->LastWrite;
        copy.ExtraAttributes = source->ExtraAttributes;
        return S_OK;
    }
    bool IsVolumeRoot(const QString& pPath) override
    {
        std::lock_guard lock(fState.fLock);
        for (const MountInfo& mount : fState.fMounts) {
            if (mount.MountPath == pPath && mount.Visible)
                return true;
        }
        return pPath == QLatin1String("/");
    }
    HResult RemoveDirectory(const QString& pPath) override { return Remove(pPath, true); }
    HResult DeleteFile(const QString& pPath) override { return Remove(pPath, false); }
    HResult WriteFile(const QString& pPath, const QByteArray& pData) override
    {
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const qsizetype slash = pPath.lastIndexOf(u'/');
        TMemoryNode* parent = fState.FindPath(pPath.left(std::max<qsizetype>(slash, 0)), result);
        if (!parent || !parent->IsFolder())
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        const QString name = pPath.mid(slash + 1);
        TMemoryNode* file = parent->Child(name);
        if (file && file->IsFolder())
            return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
        if (!file)
            file = &parent->AddFile(name);
        file->Content = pData;
        file->Size = static_cast<std::uint64_t>(pData.size());
        return S_OK;
    }
    HResult OpenRead(const QString& pPath, IStreamPtr& pStream) override
    {
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        const TMemoryNode* node = fState.FindPath(pPath, result);
        if (!node)
            return result;
        if (node->IsFolder())
            return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
        pStream = std::make_shared<TMemoryStream>(node->Content);
        return S_OK;
    }
    HResult ReadLink(const QString&, QString&) override
    {
        return HResultFromWin32(win32::ERROR_NOT_SUPPORTED);
    }
    HResult CreateSymbolicLink(const QString&, const QString&) override
    {
        return HResultFromWin32(win32::ERROR_NOT_SUPPORTED);
    }
    QString GetTempPath() override { return QStringLiteral("/tmp/"); }
    QString GetCurrentDirectory() override { return QStringLiteral("/"); }
    QString ExpandEnvironmentStrings(const QString& pText) override
    {
        std::lock_guard lock(fState.fLock);
        QString result = pText;
        for (const auto& [name, value] : fState.fEnvironment)
            result.replace(u'%' + name + u'%', value, Qt::CaseInsensitive);
        return result;
    }
    std::vector<MountInfo> ListMounts() override
    {
        std::lock_guard lock(fState.fLock);
        return fState.fMounts;
    }
    MountInfo MountOf(const QString& pPath) override
    {
        std::lock_guard lock(fState.fLock);
        const MountInfo* best = nullptr;
        for (const MountInfo& mount : fState.fMounts) {
            const QString& m = mount.MountPath;
            const bool contains =
                m == QLatin1String("/") ||
                (pPath.startsWith(m) && (pPath.size() == m.size() || pPath[m.size()] == u'/'));
            if (contains && (!best || m.size() > best->MountPath.size()))
                best = &mount;
        }
        if (best)
            return *best;
        MountInfo none;
        none.Type = DriveType::NoRootDir;
        return none;
    }
    DriveType GetDriveType(const QString& pPath) override
    {
        if (!pPath.startsWith(u'/'))
            return DriveType::NoRootDir;
        return MountOf(pPath).Type;
    }
    HResult GetDiskFreeSpace(const QString& pPath, std::uint64_t& pFreeToCaller,
                             std::uint64_t& pTotal, std::uint64_t& pTotalFree) override
    {
        ++fState.fDiskQueries;
        if (fState.fOwner.OnDiskQuery)
            fState.fOwner.OnDiskQuery();
        if (fState.fOwner.DiskQueryResult) {
            if (const HResult result = fState.fOwner.DiskQueryResult(pPath); Failed(result))
                return result;
        }
        if (GetDriveType(pPath) == DriveType::NoRootDir)
            return HResultFromWin32(win32::ERROR_PATH_NOT_FOUND);
        pFreeToCaller = pTotalFree = std::uint64_t(1) << 30;
        pTotal = std::uint64_t(1) << 32;
        return S_OK;
    }

private:
    // True when stopped; the caller holds fLock.
    static bool SumChildren(const TMemoryNode& pNode, const std::function<bool()>& pStopped,
                            TreeTotals& pTotals)
    {
        for (const auto& child : TMemoryState::Children(pNode)) {
            if (pStopped && pStopped())
                return true;
            if (!child->IsFolder()) {
                ++pTotals.Files;
                pTotals.Size += child->Size;
                continue;
            }
            ++pTotals.Folders;
            if (SumChildren(*child, pStopped, pTotals))
                return true;
        }
        return false;
    }

    static FindData Data(const TMemoryNode& pNode)
    {
        FindData data;
        data.Name = pNode.Name();
        data.Size = pNode.IsFolder() ? 0 : pNode.Size;
        data.LastWriteTime = pNode.LastWrite;
        data.Attributes = pNode.IsFolder() ? fileattr::DIRECTORY : fileattr::NORMAL;
        return data;
    }

    HResult Remove(const QString& pPath, bool pFolder)
    {
        std::lock_guard lock(fState.fLock);
        HResult result = S_OK;
        TMemoryNode* node = fState.FindPath(pPath, result);
        if (!node)
            return result;
        if (!node->Parent() || node->IsFolder() != pFolder)
            return HResultFromWin32(win32::ERROR_ACCESS_DENIED);
        if (pFolder && !TMemoryState::Children(*node).empty())
            return HResultFromWin32(win32::ERROR_DIR_NOT_EMPTY);
        fState.fOwner.Remove(*node);
        return S_OK;
    }

    TMemoryState& fState;
};

class TMemoryDebug final : public IDebug
{
public:
    explicit TMemoryDebug(TMemoryState& pState)
        : fState(pState)
    {
    }
    void Write(const QString& pLine) override
    {
        std::lock_guard lock(fState.fLock);
        fState.fDebugLines.push_back(pLine);
    }

private:
    TMemoryState& fState;
};

} // namespace

// ---------------------------------------------------------------------------------------------

class TMemoryExec final : public IExec
{
public:
    HResult StartDetached(const QString& pProgram, const QStringList& pArguments,
                          const QString& pWorkingDir) override
    {
        std::lock_guard lock(fLock);
        if (fMissing.contains(pProgram))
            return HResultFromWin32(win32::ERROR_FILE_NOT_FOUND);
        fLaunches.push_back({pProgram, pArguments, pWorkingDir});
        return S_OK;
    }

    mutable std::mutex fLock;
    std::vector<TMemoryPlatform::TLaunch> fLaunches; // guarded by fLock
    QStringList fMissing;                            // guarded by fLock
};

TMemoryPlatform::TMemoryPlatform()
    : fState(std::make_unique<TMemoryState>(*this))
    , fRoot(new TMemoryNode(*this, nullptr, QStringLiteral("Desktop"), true, 0))
    , fIcons(std::make_unique<TMemoryIcons>(*this))
    , fImageFactory(std::make_unique<TMemoryImageFactory>(*this))
{
    fState->fNamespace = std::make_unique<TMemoryNamespace>(*fState);
    fState->fInfo = std::make_unique<TMemoryInfo>(*fState);
    fState->fKnownFolders = std::make_unique<TMemoryKnownFolders>(*fState);
    fState->fFileSystem = std::make_unique<TMemoryFileSystem>(*fState);
    fState->fDebug = std::make_unique<TMemoryDebug>(*fState);
    fExec = std::make_unique<TMemoryExec>();
    fChangeNotify = std::make_unique<TMemoryChangeNotify>(*fState->fNamespace);
    MountInfo root;
    root.MountPath = QStringLiteral("/");
    root.Visible = true;
    fState->fMounts.push_back(root);
}

TMemoryPlatform::~TMemoryPlatform() = default;

IInfo& TMemoryPlatform::Info()
{
    return *fState->fInfo;
}
INamespace& TMemoryPlatform::Namespace()
{
    return *fState->fNamespace;
}
IKnownFolders& TMemoryPlatform::KnownFolders()
{
    return *fState->fKnownFolders;
}
IFileSystem& TMemoryPlatform::FileSystem()
{
    return *fState->fFileSystem;
}
IDebug& TMemoryPlatform::Debug()
{
    return *fState->fDebug;
}
IChangeNotify* TMemoryPlatform::ChangeNotify()
{
    return fChangeNotify.get();
}

IIcons& TMemoryPlatform::Icons()
{
    return *fIcons;
}

IImageFactory* TMemoryPlatform::ImageFactory()
{
    return fImageFactory.get();
}

IExec* TMemoryPlatform::Exec()
{
    return fExec.get();
}

std::vector<TMemoryPlatform::TLaunch> TMemoryPlatform::Launches() const
{
    std::lock_guard lock(fExec->fLock);
    return fExec->fLaunches;
}

void TMemoryPlatform::SetMissingPrograms(const QStringList& pPrograms)
{
    std::lock_guard lock(fExec->fLock);
    fExec->fMissing = pPrograms;
}

IdListBytes TMemoryPlatform::ListOf(const TMemoryNode& pNode) const
{
    std::lock_guard lock(fState->fLock);
    std::vector<const TMemoryNode*> chain;
    for (const TMemoryNode* node = &pNode; node->Parent(); node = node->Parent())
        chain.push_back(node);
    IdListBytes list = idl::Empty();
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        list = idl::Append(IdSpan(list), NodeItem(**it));
    return list;
}

TMemoryNode* TMemoryPlatform::NodeOf(IdSpan pAbsolute) const
{
    std::lock_guard lock(fState->fLock);
    return fState->Resolve(pAbsolute);
}

void TMemoryPlatform::Remove(TMemoryNode& pNode)
{
    std::lock_guard lock(fState->fLock);
    TMemoryNode* parent = pNode.Parent();
    if (!parent)
        return;
    // Forget the node and everything below it.
    std::vector<TMemoryNode*> pending{&pNode};
    while (!pending.empty()) {
        TMemoryNode* node = pending.back();
        pending.pop_back();
        fState->fNodes.erase(node->Id());
        std::erase_if(fState->fKnown, [&](const auto& pEntry) { return pEntry.second == node; });
        for (const auto& child : node->fChildren)
            pending.push_back(child.get());
    }
    std::erase_if(parent->fChildren, [&](const auto& pChild) { return pChild.get() == &pNode; });
}

void TMemoryPlatform::SetProfile(const OsProfile& pProfile)
{
    std::lock_guard lock(fState->fLock);
    fState->fProfile = pProfile;
}

void TMemoryPlatform::SetString(StringModule pModule, int pId, const QString& pText)
{
    std::lock_guard lock(fState->fLock);
    fState->fStrings[{static_cast<int>(pModule), pId}] = pText;
}

void TMemoryPlatform::SetLocale(const LocaleInfo& pLocale)
{
    std::lock_guard lock(fState->fLock);
    fState->fLocale = pLocale;
}

void TMemoryPlatform::SetKnownFolder(const KnownFolderKey& pKey, TMemoryNode* pNode)
{
    std::lock_guard lock(fState->fLock);
    fState->fKnown.emplace_back(pKey, pNode ? pNode : fRoot.get());
}

void TMemoryPlatform::SetKnownFoldersAvailable(bool pAvailable)
{
    std::lock_guard lock(fState->fLock);
    fState->fKnownAvailable = pAvailable;
}

void TMemoryPlatform::SetMounts(std::vector<MountInfo> pMounts)
{
    std::lock_guard lock(fState->fLock);
    fState->fMounts = std::move(pMounts);
}

void TMemoryPlatform::SetEnvironment(const QString& pName, const QString& pValue)
{
    std::lock_guard lock(fState->fLock);
    fState->fEnvironment[pName] = pValue;
}

int TMemoryPlatform::DiskQueries() const
{
    return fState->fDiskQueries.load();
}

void TMemoryPlatform::SetMenuEntries(std::vector<MenuItem> pItemEntries,
                                     std::vector<MenuItem> pBackgroundEntries)
{
    std::lock_guard lock(fState->fLock);
    fState->fItemEntries = std::move(pItemEntries);
    fState->fBackgroundEntries = std::move(pBackgroundEntries);
}

void TMemoryPlatform::SetMenuFailure(HResult pResult)
{
    std::lock_guard lock(fState->fLock);
    fState->fMenuFailure = pResult;
}

void TMemoryPlatform::SetInvokeResult(HResult pResult)
{
    std::lock_guard lock(fState->fLock);
    fState->fInvokeResult = pResult;
}

std::vector<TMemoryPlatform::TMenuCall> TMemoryPlatform::MenuCalls() const
{
    std::lock_guard lock(fState->fLock);
    return fState->fMenuCalls;
}

std::vector<QString> TMemoryPlatform::DebugLines() const
{
    std::lock_guard lock(fState->fLock);
    return fState->fDebugLines;
}

} // namespace kiv::pf::mem

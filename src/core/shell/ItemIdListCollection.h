#pragma once

// Several items handled as one: the folder component's multiple selection, the sources of a file
// operation, the items of a drag. The collection keeps the lists in insertion order (duplicates
// allowed), finds their common ancestor and runs shell commands on them, once for the whole set
// or on each element.
//
// Elements may be relative to a base folder (the folder that the selection lives in); such an
// element has depth 1 and is made absolute through the base folder when a command needs it.
//
// A collection is a value owned by one thread at a time (usually the user-interface thread); its
// elements are shared, immutable lists.

#include "core/platform/IContextMenu.h"
#include "core/platform/IDataObject.h"
#include "core/platform/IShellFolder.h"
#include "core/platform/IShellItem.h"
#include "core/shell/KivShellTypes.h"
#include "core/shell/PathUtils.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kiv {

class IItemIdListCollection;
class TKivShellChangeNotifier;
using IItemIdListCollectionPtr = std::shared_ptr<IItemIdListCollection>;

// The platform objects a collection can be asked for.
enum class TUIObjectKind
{
    uoContextMenu,
    uoDataObject,
};

class IItemIdListCollection : public ICommandInvokable
{
public:
    virtual void Add(const IItemIdListPtr& pList) = 0;
    virtual void Add(const QString& pPath) = 0;
    virtual void Add(const IItemIdListCollection& pCollection) = 0;
    virtual void AddStrings(const QStringList& pPaths) = 0;
    virtual int Count() const = 0;
    // The elements in order (what the enumerator walks).
    virtual const std::vector<IItemIdListPtr>& Items() const = 0;
    // The platform's object for all elements together (pf::IContextMenu or pf::IDataObject);
    // null when the platform has none for this set. Raises EInvalidOperation when empty and
    // EWayfoldError when the platform refuses.
    virtual std::shared_ptr<void> GetUIObject(TUIObjectKind pKind) const = 0;
    virtual void Clear() = 0;
    // Raises EInvalidArgument outside 0 .. Count() - 1.
    virtual IItemIdListPtr GetItem(int pIndex) const = 0;
    virtual void InvokeCommand(const QString& pVerb) const = 0;
    using ICommandInvokable::InvokeCommand;
    // The elements' display paths joined with CR LF.
    virtual QString ToString() const = 0;

    auto begin() const { return Items().begin(); }
    auto end() const { return Items().end(); }
};

// The platform's view of a set of lists: the shell items of the valid elements (lists whose item
// cannot be had are skipped), and their enumeration from a position. The items are made once, on
// first need, whichever thread asks; the enumeration position belongs to one thread.
class TShellItemArray final : public pf::IShellItemArray
{
public:
    explicit TShellItemArray(std::vector<IItemIdListPtr> pItemIdLists);

    int Count() override;
    pf::HResult GetItemAt(int pIndex, pf::IShellItemPtr& pItem) override;
    pf::HResult GetAttributes(std::uint32_t pMask, bool pAllItems,
                              std::uint32_t& pAttributes) override;

    // Up to pCount items from the current position on (elements without an item are passed
    // over); S_FALSE when fewer were left.
    pf::HResult Next(int pCount, std::vector<pf::IShellItemPtr>& pItems);
    pf::HResult Skip(int pCount);
    void Reset() { fIndex = 0; }
    std::shared_ptr<TShellItemArray> Clone() const;

private:
    // Built on first need from the valid elements.
    const std::vector<pf::IShellItemPtr>& Items();

    std::vector<IItemIdListPtr> fItemIdLists;
    mutable std::mutex fItemsLock;
    std::optional<std::vector<pf::IShellItemPtr>> fItems; // set once under fItemsLock
    std::size_t fIndex = 0;
};

class TItemIdListCollection final
    : public IItemIdListCollection
    , public std::enable_shared_from_this<TItemIdListCollection>
{
public:
    static std::shared_ptr<TItemIdListCollection> Create(pf::IShellFolderPtr pBaseFolder = {});
    // A list for each item that can be read.
    static std::shared_ptr<TItemIdListCollection>
    Create(const std::vector<pf::IShellItemPtr>& pItems);
    // The items a transfer carries (its item lists, else its dropped files).
    static std::shared_ptr<TItemIdListCollection> Create(pf::IDataObject& pData);

    explicit TItemIdListCollection(pf::IShellFolderPtr pBaseFolder);

    void Add(const IItemIdListPtr& pList) override;
    // A path ending in "\*" (or "/*" here) loses those two characters; a file-system path
    // becomes an absolute list, any other text is parsed relative to the base folder.
    void Add(const QString& pPath) override;
    void Add(const IItemIdListCollection& pCollection) override;
    void AddStrings(const QStringList& pPaths) override;
    void Assign(const std::vector<IItemIdListPtr>& pLists);
    void Assign(const QStringList& pPaths);
    int Count() const override { return static_cast<int>(fItemIdLists.size()); }
    const std::vector<IItemIdListPtr>& Items() const override { return fItemIdLists; }
    std::shared_ptr<void> GetUIObject(TUIObjectKind pKind) const override;
    void Clear() override { fItemIdLists.clear(); }
    IItemIdListPtr GetItem(int pIndex) const override;
    void InvokeCommand(const TShellCommand& pCommand) const override;
    void InvokeCommand(const QString& pVerb) const override;
    void InvokeCommand(TShellAction pAction) const;
    QString ToString() const override;
    // Each element's display path.
    QStringList CopyToStrings() const;
    // Each element (made absolute) is watched by pNotifier, not recursively.
    void CopyTo(TKivShellChangeNotifier& pNotifier) const;

    // True for at most one element; with a base folder and a relative first element, when no
    // element is deeper than 1; otherwise when every element has the first one's parent.
    bool HaveSameParent() const;
    // The deepest folder holding every element (null when empty). pAllOnFileSystem (when given)
    // tells whether every element is a file-system item.
    IItemIdListPtr GetLongestCommonAncestor(bool* pAllOnFileSystem = nullptr) const;
    // The shell items of the elements that have one; raises EInvalidArgument "Missing source
    // files: No file was added!" when empty.
    std::vector<pf::IShellItemPtr> ShellItems() const;
    // The same as the platform's item array; raises as ShellItems does.
    std::shared_ptr<TShellItemArray> ShellItemArray() const;
    // The title of the share sheet: the first name, " & ", the number of the others, " elements".
    QString ShareTitle() const;

    // The transfer form of the elements (absolute), as copied or cut items.
    pf::IDataObjectPtr DataObject(std::uint32_t pEffect = pf::DROPEFFECT_COPY) const;
    // GetUIObject, typed: the context menu of all elements (the folder they share makes it;
    // items directly below the desktop or This PC get the platform's default folder menu), and
    // the data object their folder makes. pOwner is the window the menu's prompts belong to.
    pf::IContextMenuPtr ContextMenu(pf::WindowRef pOwner = nullptr) const;
    pf::IDataObjectPtr FolderDataObject() const;
    // The file-type keys the default folder menu is made with: "*", "AllFilesystemObjects" and
    // the elements' extension (every one before Windows 8; later only one all share), sorted,
    // each replaced by the class it names where that class exists; at most 16.
    QStringList ClassKeys() const;
    // The collection's own menu: one entry "&Delete" (verb "DELETE") that deletes the elements;
    // invoked by an action's verb it runs that action on the collection. Holds the collection.
    pf::IContextMenuPtr OwnContextMenu() const;

    const pf::IShellFolderPtr& BaseFolder() const { return fBaseFolder; }
    // Whether pList is an element relative to the base folder (depth 1 with a base folder).
    bool IsRelative(const IItemIdListPtr& pList) const;
    // An equal collection of absolute lists: each element relative to the base folder joined to
    // it, the others as they are; the copy has no base folder.
    std::shared_ptr<TItemIdListCollection> WithAbsoluteItems() const;

private:
    // Who answers for the elements: a folder and the items relative to it, or the default
    // folder menu (absolute items). No folder: the platform has no object for this set.
    struct TUIRequest
    {
        pf::IShellFolderPtr Folder;
        std::vector<pf::IdListBytes> Items;
        bool DefaultMenu = false;
    };
    TUIRequest UIRequest(bool pForMenu) const;
    pf::IContextMenuPtr DefaultFolderMenu(const std::vector<pf::IdListBytes>& pItems,
                                          pf::WindowRef pOwner) const;
    void InvokeCommandOnEach(const TShellCommand& pCommand) const;
    void InvokeCommandOnAll(const TShellCommand& pCommand) const;
    IItemIdListPtr Absolute(const IItemIdListPtr& pList) const;
    std::vector<IItemIdListPtr> AbsoluteItems() const;

    pf::IShellFolderPtr fBaseFolder;
    std::vector<IItemIdListPtr> fItemIdLists;
};

} // namespace kiv

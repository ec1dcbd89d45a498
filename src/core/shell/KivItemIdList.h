#pragma once

// Item identifier lists: the name of every place in the shell namespace (a file, a folder, a
// mount, a virtual folder such as Trash or Network). TKivItemIdList wraps the platform's binary
// list and resolves lazily between three forms: the binary list, the parsing path and the
// platform shell item. Every other component receives lists as IItemIdListPtr.
//
// Ownership: lists are shared (std::shared_ptr<const IItemIdList>) and immutable to their holders;
// the lazy forms are filled in on first use under a lock inside the object, so one list may be
// read from the UI thread and from workers at the same time (thread-compatible). The platform is
// asked outside that lock; two threads racing to resolve the same list both ask and the first
// answer is kept.

#include "core/platform/IShellFolder.h"
#include "core/platform/IShellItem.h"
#include "core/platform/IdList.h"
#include "core/shell/KivShellTypes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kiv {

// Who frees a binary list handed to Create. Buffers are shared pointers here, so the choice
// only decides whether the bytes are copied: iloCopyMemory copies them, the other two share the
// caller's buffer (iloForeignOwned: the caller promises never to change it; iloOwnsMemory: the
// list takes it over).
enum class TItemIdListOwnership
{
    iloOwnsMemory,
    iloForeignOwned,
    iloCopyMemory,
};

using TIdListBuffer = std::shared_ptr<const pf::IdListBytes>;

// The item identifier list as every component sees it. Lists are values: the operations that
// change the place named (Rename with pUpdatePidl, Reload) swap the binary list inside the object.
class IItemIdList : public ICommandInvokable
{
public:
    // This list followed by pOther (pOther relative to this one); null pOther gives this list.
    virtual IItemIdListPtr Concat(const IItemIdListPtr& pOther) const = 0;
    // The first pFragments items (0 = the desktop; >= Depth() = the whole list); negative raises
    // EInvalidArgument.
    virtual IItemIdListPtr GetStartItemIdList(int pFragments) const = 0;
    // The parent; raises EWayfoldError for the desktop and for an invalid list.
    virtual IItemIdListPtr GetParent() const = 0;
    // The last item as a relative one-item list.
    virtual IItemIdListPtr GetLastPart() const = 0;
    virtual bool Equals(const IItemIdListPtr& pOther, TItemIdListComparison pMode) const = 0;
    // Order against pOther (0 = the same place); null pOther gives -1.
    virtual int CompareTo(const IItemIdListPtr& pOther, TItemIdListComparison pMode) const = 0;
    // The binary list, resolving it on first use; null when the list is invalid. The buffer
    // never changes; Reload and Rename put a new one in place.
    virtual TIdListBuffer WindowsPointer() const = 0;
    // The file-system path; empty for virtual items. A resolved list answers from its cache.
    virtual QString Path() const = 0;
    virtual int Depth() const = 0;
    virtual bool IsInvalid() const = 0;
    virtual TKivShellFolder SpecialFolder() const = 0;
    virtual bool IsSpecialFolder(TKivShellFolder pFolder) const = 0;
    virtual QString DisplayName(TItemIdListDisplayNameFormat pFormat) const = 0;
    virtual QString Name() const = 0;
    virtual QString DisplayPath() const = 0;
    // The target of a link (a symbolic link here), else this list.
    virtual IItemIdListPtr LinkTarget() const = 0;
    virtual pf::IShellItemPtr ShellItem() const = 0;
    virtual bool IsParentOf(const IItemIdListPtr& pChild, bool pAcceptsEquals,
                            TItemIdListComparison pMode) const = 0;
    virtual bool IsFolder() const = 0;
    virtual bool IsAbsolute() const = 0;
    // Whether listing or asking the item may block (network places, search folders): callers
    // then work on a worker thread.
    virtual bool IsSlow() const = 0;
    // True once resolution was tried (a list that failed to resolve counts as resolved).
    virtual bool IsResolved() const = 0;
    // True when the item has any of the sfgao:: bits of pMask.
    virtual bool HasAttributes(std::uint32_t pMask) const = 0;
    virtual bool Reload() const = 0;
    virtual TShellPropertyValue GetPropertyValue(const TShellColumnId& pColumn) const = 0;
    // Texts of pColumns[0..pLastIndex] (inclusive): the first non-empty one with pFirstOnly,
    // else all non-empty ones joined with CR LF.
    virtual QString GetShellInformation(const std::vector<TShellColumnId>& pColumns, int pLastIndex,
                                        bool pFirstOnly) const = 0;
    virtual void SetPropertyValue(const TShellColumnId& pColumn,
                                  const TShellPropertyValue& pValue) const = 0;
    // Creates a sub-folder (this list is the parent); an empty name gives the localized
    // "New Folder", numbered " (1)", " (2)"... while the name is taken.
    virtual IItemIdListPtr CreateNewFolder(const QString& pName) const = 0;
    // Renames the item; returns the new list, which this object takes over with pUpdatePidl.
    virtual IItemIdListPtr Rename(const QString& pNewName, pf::WindowRef pWindow,
                                  bool pUpdatePidl) const = 0;
};

class TKivItemIdList
    : public IItemIdList
    , public IHasDebugInfo
    , public std::enable_shared_from_this<TKivItemIdList>
{
protected:
    struct TPrivate
    {
    };

public:
    // Public for make_shared only: use the Create functions.
    explicit TKivItemIdList(TPrivate);
    ~TKivItemIdList() override;
    TKivItemIdList(const TKivItemIdList&) = delete;
    TKivItemIdList& operator=(const TKivItemIdList&) = delete;

    // Wraps a binary list.
    static IItemIdListPtr
    Create(TIdListBuffer pList,
           TItemIdListOwnership pOwnership = TItemIdListOwnership::iloOwnsMemory);
    static IItemIdListPtr Create(pf::IdListBytes pList);
    static IItemIdListPtr Create(pf::IdSpan pList);
    // Bytes from outside the process (clipboard, drag data, settings): a count running past the
    // buffer, an item too short or a missing terminator give an invalid list; nothing outside
    // [pData, pData + pSize) is read.
    static IItemIdListPtr CreateFromUntrusted(const std::uint8_t* pData, std::size_t pSize);
    // A path: the empty path is This PC, "\\*" the Network folder. With a folder (pPath relative
    // to it) or a window the path is parsed at once, else on first use.
    static IItemIdListPtr Create(const QString& pPath, const pf::IShellFolderPtr& pFolder = {},
                                 pf::WindowRef pWindow = nullptr);
    // A list for a path that need not exist, built without touching the disk.
    static IItemIdListPtr CreateSimpleIdList(const QString& pPath);
    // A folder's own list followed by a list relative to it; invalid when the folder's list
    // cannot be had.
    static IItemIdListPtr Create(const pf::IShellFolderPtr& pFolder, pf::IdSpan pRelative);
    static IItemIdListPtr Create(const pf::IShellItemPtr& pItem);

    static IItemIdListPtr CreateForSpecialFolder(TKivShellFolder pFolder, bool pFromCache = true);
    // A special folder by its in-folder name or class-id parsing name (any letter case); null
    // when no special folder has that name.
    static IItemIdListPtr CreateForSpecialFolder(const QString& pName);
    // A search folder; an invalid list until search folders are built.
    static IItemIdListPtr CreateSearchFolder(const QString& pQuery, const IItemIdListPtr& pScope);
    // Text to list, trying harder than Create: quotes, class ids, special-folder names, the last
    // folder parsed, and with pCompleteScan a search by enumeration. Never raises for text that
    // names nothing: the result is then invalid but keeps the text as its Path.
    static IItemIdListPtr Parse(const QString& pPath, pf::WindowRef pWindow = nullptr,
                                bool pCompleteScan = false);
    // The view of pList after pElementsToSkip items (stops at the last item); negative raises.
    static pf::IdSpan GetElementNo(pf::IdSpan pList, int pElementsToSkip);
    static bool IsNetworkPidl(const IItemIdListPtr& pList);
    static bool IsParentOf(TKivShellFolder pFolder, const IItemIdListPtr& pChild,
                           bool pAcceptsEquals);
    // Whether two paths name the same place as text: one trailing delimiter ignored on each
    // side; Windows style ignores the case of ASCII letters, POSIX style compares exactly (names
    // differing in case are different files there).
    static bool SamePath(const QString& pA, const QString& pB, bool pCaseSensitive);
    // Whether the host's file system is case-sensitive (POSIX style).
    static bool HostIsCaseSensitive();

    // IItemIdList
    void InvokeCommand(const TShellCommand& pCommand) const override;
    IItemIdListPtr Concat(const IItemIdListPtr& pOther) const override;
    IItemIdListPtr GetStartItemIdList(int pFragments) const override;
    IItemIdListPtr GetParent() const override;
    IItemIdListPtr GetLastPart() const override;
    bool Equals(const IItemIdListPtr& pOther, TItemIdListComparison pMode) const override;
    int CompareTo(const IItemIdListPtr& pOther, TItemIdListComparison pMode) const override;
    TIdListBuffer WindowsPointer() const override;
    QString Path() const override;
    int Depth() const override;
    bool IsInvalid() const override;
    TKivShellFolder SpecialFolder() const override;
    bool IsSpecialFolder(TKivShellFolder pFolder) const override;
    QString DisplayName(TItemIdListDisplayNameFormat pFormat) const override;
    QString Name() const override;
    QString DisplayPath() const override;
    IItemIdListPtr LinkTarget() const override;
    pf::IShellItemPtr ShellItem() const override;
    bool IsParentOf(const IItemIdListPtr& pChild, bool pAcceptsEquals,
                    TItemIdListComparison pMode) const override;
    bool IsFolder() const override;
    bool IsAbsolute() const override;
    bool IsSlow() const override;
    bool IsResolved() const override;
    bool HasAttributes(std::uint32_t pMask) const override;
    bool Reload() const override;
    TShellPropertyValue GetPropertyValue(const TShellColumnId& pColumn) const override;
    QString GetShellInformation(const std::vector<TShellColumnId>& pColumns, int pLastIndex,
                                bool pFirstOnly) const override;
    void SetPropertyValue(const TShellColumnId& pColumn,
                          const TShellPropertyValue& pValue) const override;
    IItemIdListPtr CreateNewFolder(const QString& pName) const override;
    IItemIdListPtr Rename(const QString& pNewName, pf::WindowRef pWindow,
                          bool pUpdatePidl) const override;

    // IHasDebugInfo
    QString GetInfo(TItemIdListInfoLevel pLevel) const override;

    // Made by CreateSimpleIdList: its stored path is authoritative.
    bool IsSimple() const { return fIsSimple; }
    // The stored path as it is ("-" = not computed yet), without computing anything.
    QString StoredPath() const;

protected:
    // The stored path of a text: drive roots as they are, else without a trailing delimiter.
    static QString StoredPathOf(const QString& pPath);
    void SetBuffer(TIdListBuffer pList);
    void SetFailed(const QString& pPath);
    void SetStoredPath(const QString& pPath);
    void SetSpecialFolderValue(TKivShellFolder pFolder) const;

private:
    friend class TSpecialFolders;
    friend class TItemIdListParser;

    enum class TState
    {
        Unresolved, // nothing tried yet
        Resolved,   // fList holds the list
        Failed,     // resolution was tried and failed (the list is invalid)
    };

    TIdListBuffer Resolve() const;
    TIdListBuffer ResolveUncached() const;
    QString ComputePath() const;
    pf::IdSpan SpanOr(const TIdListBuffer& pList) const;
    int CompareByPlatform(const TKivItemIdList& pOther, TItemIdListComparison pMode) const;
    bool ComputedBrowsable() const;
    bool QuickFileSystemCheck() const;
    void OpenCommandPrompt() const;
    void DeleteNoUndo() const;

    bool fIsSimple = false;

    mutable std::mutex fLock;
    mutable TState fState = TState::Unresolved;                           // guarded by fLock
    mutable TIdListBuffer fList;                                          // guarded by fLock
    mutable TKivShellFolder fSpecialFolder = TKivShellFolder::SF_INVALID; // guarded by fLock
    mutable pf::IShellItemPtr fShellItem;                                 // guarded by fLock
    // "-" = not computed yet; empty = computed, no file-system path.
    mutable QString fPath = QStringLiteral("-"); // guarded by fLock
    // fPath is the answer of Path() as it stands (decided once, reset when fPath changes).
    mutable bool fPathFinal = false; // guarded by fLock
    // Serialises Reload and Rename (they ask the platform and swap the list).
    mutable std::mutex fPidlLock;
};

// A search folder: its own list, plus the scope it searches. Listing it is always slow.
class TKivSearchFolder final : public TKivItemIdList
{
public:
    explicit TKivSearchFolder(TPrivate pPrivate);
    bool IsSlow() const override { return true; }
    IItemIdListPtr SearchScope() const { return fSearchScope; }

private:
    friend class TKivItemIdList;
    IItemIdListPtr fSearchScope; // set before the object is shared
};

// The process-wide list for "no item": invalid, the same object on every call.
IItemIdListPtr InvalidItemIdList();

} // namespace kiv

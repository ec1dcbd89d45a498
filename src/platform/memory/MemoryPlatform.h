#pragma once

#include "core/platform/FileTime.h"
#include "core/platform/HResult.h"
#include "core/platform/IContextMenu.h"
#include "core/platform/IExec.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IInfo.h"
#include "core/platform/IKnownFolders.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IdList.h"
#include "platform/memory/MemoryClipboard.h"
#include "platform/memory/MemoryDragDrop.h"
#include "platform/memory/MemoryDialogs.h"
#include "platform/memory/MemoryNetwork.h"
#include "platform/memory/MemoryPreviews.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/MemoryViewState.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace kiv::pf::mem {

class TMemoryPlatform;
class TMemoryIcons;
class TMemoryImageFactory;

// One folder or file of the in-memory namespace. Tests build the tree and set the knobs before
// handing the platform to the code under test; after that the platform reads nodes under its own
// lock, and tests change knobs only while no other thread uses the platform.
class TMemoryNode
{
public:
    TMemoryNode(const TMemoryNode&) = delete;
    TMemoryNode& operator=(const TMemoryNode&) = delete;

    TMemoryNode& AddFolder(const QString& pName);
    TMemoryNode& AddFile(const QString& pName, std::uint64_t pSize = 0);
    TMemoryNode* Child(const QString& pName) const;
    TMemoryNode* Parent() const { return fParent; }
    const QString& Name() const { return fName; }
    bool IsFolder() const { return fIsFolder; }
    std::uint32_t Id() const { return fId; }

    // Extra sfgao:: bits (HIDDEN, READONLY, LINK, ISSLOW, ...) reported with the kind's own bits.
    std::uint32_t ExtraAttributes = 0;
    // Bits of the kind's own the item lacks (CANDELETE of an item that cannot be deleted).
    std::uint32_t MissingAttributes = 0;
    std::uint64_t Size = 0;
    FileTime LastWrite;
    // What reading the file gives (Size is not derived from it).
    QByteArray Content;
    // A virtual item: no file-system path (FILESYSPATH fails, no FILESYSTEM bit).
    bool Virtual = false;
    // Reachable by parsing but never listed.
    bool NonEnumerated = false;
    // The folder offers no column interface (AsFolder2() == nullptr).
    bool NoColumns = false;

    // Failure injection. EnumObjects fails with EnumFailure; the FaultOnNext-th call of Next
    // (counted from 1 over all enumerations of this folder) fails with NextFailure; every listed
    // child costs DelayPerItem; BindFailure fails binding to this folder; a vanished node fails
    // Update with "file not found" although its list still resolves.
    HResult EnumFailure = S_OK;
    int FaultOnNext = 0;
    HResult NextFailure = E_UNEXPECTED;
    std::chrono::milliseconds DelayPerItem{0};
    HResult BindFailure = S_OK;
    bool Vanished = false;

private:
    friend class TMemoryPlatform;
    friend class TMemoryState;
    TMemoryNode(TMemoryPlatform& pOwner, TMemoryNode* pParent, QString pName, bool pIsFolder,
                std::uint32_t pId);

    TMemoryPlatform& fOwner;
    TMemoryNode* fParent;
    QString fName;
    bool fIsFolder;
    std::uint32_t fId;
    int fNextCalls = 0; // counted under the platform's lock
    std::vector<std::unique_ptr<TMemoryNode>> fChildren;
};

// The platform in memory, for tests of the core: a namespace tree built by the test (the root is
// the desktop; parsing names are "/"-joined node names), injectable failures and delays, a
// configurable OS profile and string table, captured debug lines.
class TMemoryPlatform final : public IPlatform
{
public:
    TMemoryPlatform();
    ~TMemoryPlatform() override;

    HResult Startup() override { return fStartupResult; }
    IInfo& Info() override;
    INamespace& Namespace() override;
    IKnownFolders& KnownFolders() override;
    IFileSystem& FileSystem() override;
    IDebug& Debug() override;
    IExec* Exec() override;
    IIcons& Icons() override;
    // The fake icon service, for tests that set indexes and type names.
    TMemoryIcons& MemoryIcons() { return *fIcons; }
    IClipboard& Clipboard() override { return fClipboard; }
    TMemoryClipboard& MemoryClipboard() { return fClipboard; }
    IDragDrop* DragDrop() override { return &fDragDrop; }
    TMemoryDragDrop& MemoryDragDrop() { return fDragDrop; }
    IRegistry& Registry() override { return fRegistry; }
    TMemoryRegistry& MemoryRegistry() { return fRegistry; }
    IViewState& ViewState() override { return fViewState; }
    TMemoryViewState& MemoryViewState() { return fViewState; }
    IImageFactory* ImageFactory() override;
    // The scripted image factory, for tests of the thumbnail rules.
    TMemoryImageFactory& MemoryImageFactory() { return *fImageFactory; }
    IChangeNotify* ChangeNotify() override;
    // The fake change notification, for tests that fire events and look at registrations.
    class TMemoryChangeNotify& MemoryChangeNotify() { return *fChangeNotify; }
    // Scripted dialogs and network shares (SetDialogs keeps the scripted ones).
    IDialogs* Dialogs() override { return &fDialogs; }
    TMemoryDialogs& MemoryDialogs() { return fDialogs; }
    INetwork* Network() override { return &fNetwork; }
    TMemoryNetwork& MemoryNetwork() { return fNetwork; }
    // Scripted preview handlers.
    IPreviewHandlerFactory* Previews() override { return &fPreviews; }
    mem::TMemoryPreviews& MemoryPreviews() { return fPreviews; }

    TMemoryNode& Root() { return *fRoot; }
    // The absolute list of a node.
    IdListBytes ListOf(const TMemoryNode& pNode) const;
    // The node an absolute list names; nullptr when none.
    TMemoryNode* NodeOf(IdSpan pAbsolute) const;
    // Removes a node (lists naming it stop resolving).
    void Remove(TMemoryNode& pNode);

    void SetStartupResult(HResult pResult) { fStartupResult = pResult; }
    void SetProfile(const OsProfile& pProfile);
    void SetString(StringModule pModule, int pId, const QString& pText);
    void SetLocale(const LocaleInfo& pLocale);
    void SetKnownFolder(const KnownFolderKey& pKey, TMemoryNode* pNode);
    void SetKnownFoldersAvailable(bool pAvailable);
    void SetMounts(std::vector<MountInfo> pMounts);
    void SetEnvironment(const QString& pName, const QString& pValue);
    std::vector<QString> DebugLines() const;

    // Called at the start of the named queries, outside the platform's lock, so that a test can
    // make them slow or hang (a dead network mount); empty: none. Set while no other thread uses
    // the platform.
    std::function<void()> OnKnownFolderQuery;
    std::function<void()> OnDiskQuery;
    // The result of a free-space query of a path (empty or success: the query answers normally).
    std::function<HResult(const QString& pPath)> DiskQueryResult;
    // Called with the folder at the start of each IFileSystem::SumTree, outside the lock.
    std::function<void(const QString&)> OnTreeWalk;
    // Free-space queries asked so far (the calls that touch a mount).
    int DiskQueries() const;

    // A program start asked of Exec(): recorded, never run.
    struct TLaunch
    {
        QString Program;
        QStringList Arguments;
        QString WorkingDir;
    };
    std::vector<TLaunch> Launches() const;
    // Programs that Exec() reports as missing (HResultFromWin32(2)); the others start.
    void SetMissingPrograms(const QStringList& pPrograms);

    // Context menus. Item menus (a folder's GetContextMenu and the default folder menu) and
    // background menus show these entries (empty: Open (default), Cut, Copy, Delete, Rename
    // when asked with cmf::CANRENAME, Properties; and Paste, NewFolder, Refresh, Properties).
    // Every verb invoked is recorded; "open" also starts "xdg-open" through Exec() for each
    // item, as the Linux menu's fallback does.
    struct TMenuCall
    {
        QString Verb;
        // The items' paths (names joined with "/"), or the folder of a background menu.
        QStringList Paths;
        std::uint32_t Mask = 0;
        QString Directory;
        // "item", "background" or "default" (the default folder menu).
        QString Kind;
        // The class keys the default folder menu was made with.
        QStringList ClassKeys;
    };
    void SetMenuEntries(std::vector<MenuItem> pItemEntries,
                        std::vector<MenuItem> pBackgroundEntries = {});
    // Asking for a menu fails with pResult (success: menus are made).
    void SetMenuFailure(HResult pResult);
    // What invoking a verb answers (after recording it).
    void SetInvokeResult(HResult pResult);
    std::vector<TMenuCall> MenuCalls() const;

private:
    friend class TMemoryNode;
    friend class TMemoryState;
    std::unique_ptr<class TMemoryState> fState;
    std::unique_ptr<TMemoryNode> fRoot;
    std::unique_ptr<TMemoryIcons> fIcons;
    TMemoryClipboard fClipboard;
    TMemoryDragDrop fDragDrop;
    TMemoryRegistry fRegistry;
    TMemoryViewState fViewState;
    TMemoryDialogs fDialogs;
    TMemoryNetwork fNetwork;
    mem::TMemoryPreviews fPreviews;
    std::unique_ptr<TMemoryImageFactory> fImageFactory;
    HResult fStartupResult = S_OK;
    std::unique_ptr<class TMemoryExec> fExec;
    // Last: it refers to the namespace.
    std::unique_ptr<class TMemoryChangeNotify> fChangeNotify;
};

} // namespace kiv::pf::mem

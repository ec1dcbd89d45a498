#include "core/folder/Wayfold.h"

#include "core/folder/EnumerateAsync.h"
#include "core/folder/PathMatchSpec.h"
#include "core/folder/ShellFolderEnumeratorWorkItem.h"
#include "core/notify/KivShellChangeNotifier.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IRegistry.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/DebugLog.h"
#include "core/shell/ItemsDataObject.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivSystemImageList.h"
#include "core/shell/KivVersion.h"
#include "core/threading/ThreadingHooks.h"
#include "core/thumbnail/KivShellThumbnail.h"

#include <chrono>
#include <utility>

namespace kiv {

using pf::Failed;
using pf::Succeeded;
using F = TKivShellFolder;
using N = TItemIdListDisplayNameFormat;

namespace {

constexpr QStringView kClassName = u"TWayfold";
// Platform results whose low 16 bits lie in this range are system errors worth reporting;
// anything else ends an enumeration silently.
constexpr std::uint32_t kFirstReportedCode = 3;
constexpr std::uint32_t kLastReportedCode = 12175;
// The free-space answer of a drive locked by volume encryption.
constexpr pf::HResult kVolumeLocked = pf::MakeHResult(0x80310000u);
// A rename shows its new name in the folder a moment later on some file systems: read once
// more after this pause.
constexpr std::chrono::milliseconds kRenameSettleTime{300};

bool IsReportedFailure(pf::HResult pResult)
{
    const std::uint32_t code = pf::HResultCode(pResult);
    return Failed(pResult) && code >= kFirstReportedCode && code <= kLastReportedCode;
}

bool IsValid(const IItemIdListPtr& pList)
{
    return pList && !pList->IsInvalid();
}

// "search-ms:" after quotes and trailing blanks are removed.
bool IsSearchLocation(QString pPath)
{
    pPath.remove(u'"');
    while (pPath.endsWith(u' '))
        pPath.chop(1);
    return pPath.startsWith(QLatin1String("search-ms:"), Qt::CaseInsensitive);
}

QString FileNameOf(const QString& pPath)
{
    const qsizetype slash = pPath.lastIndexOf(u'/');
    return slash < 0 ? pPath : pPath.mid(slash + 1);
}

QString ExtensionOf(const QString& pName)
{
    const qsizetype dot = pName.lastIndexOf(u'.');
    return dot <= 0 ? QString() : pName.mid(dot);
}

QString WithTrailingDelimiter(const QString& pPath)
{
    return pPath.isEmpty() || pPath.endsWith(u'/') ? pPath : pPath + u'/';
}

pf::IShellFolderPtr BindFolderOf(const IItemIdListPtr& pList)
{
    const TIdListBuffer list = pList ? pList->WindowsPointer() : nullptr;
    if (!list)
        throw EWayfoldError(pf::HResultFromWin32(pf::win32::ERROR_PATH_NOT_FOUND), pList);
    pf::IShellFolderPtr folder;
    const pf::HResult result = pf::Platform().Namespace().BindToFolder(pf::IdSpan(*list), folder);
    if (Failed(result) || !folder)
        throw EWayfoldError(EWayfoldError::CodeOfResult(Failed(result) ? result : pf::E_FAIL),
                            pList);
    return folder;
}

} // namespace

// ---- creation -------------------------------------------------------------------------------

TWayfold::TWayfold() = default;

TWayfold::~TWayfold()
{
    CancelBackgroundEnumeration();
}

std::unique_ptr<TWayfold> TWayfold::CreateCopy(const TWayfold& pSource)
{
    auto copy = std::make_unique<TWayfold>();
    copy->fOwnerWindow = pSource.fOwnerWindow;
    copy->fOwner = pSource.fOwner;
    copy->fShowErrorMessages = pSource.fShowErrorMessages;
    copy->fFileSystemOnly = pSource.fFileSystemOnly;
    copy->fReadOnly = pSource.fReadOnly;
    copy->fAsyncContextMenuOperations = pSource.fAsyncContextMenuOperations;
    copy->fShowContextMenuOnTop = pSource.fShowContextMenuOnTop;
    copy->fForNavigation = pSource.fForNavigation;
    copy->fAcceptSearchFolderPaths = pSource.fAcceptSearchFolderPaths;
    copy->fFilter = pSource.fFilter;
    if (pSource.fFolderIdList) {
        // The list object is shared (lists are immutable); the copy binds its own folder.
        copy->fFolderIdList = pSource.fFolderIdList;
        copy->fShellFolder = pSource.fShellFolder;
    }
    copy->OnRename = pSource.OnRename;
    copy->OnContextMenuSelect = pSource.OnContextMenuSelect;
    copy->OnBeforeCommand = pSource.OnBeforeCommand;
    copy->OnBeforeShellCommand = pSource.OnBeforeShellCommand;
    return copy;
}

std::unique_ptr<TWayfold> TWayfold::CreateForPath(const QString& pObjectPath)
{
    auto component = std::make_unique<TWayfold>();
    component->SetAbsoluteItemIdList(TKivItemIdList::Parse(pObjectPath));
    return component;
}

std::unique_ptr<TWayfold> TWayfold::CreateForList(const IItemIdListPtr& pAbsoluteList)
{
    auto component = std::make_unique<TWayfold>();
    component->SetAbsoluteItemIdList(pAbsoluteList);
    return component;
}

QString TWayfold::Version() const
{
    return ComponentVersion(kClassName);
}

// ---- the folder -----------------------------------------------------------------------------

void TWayfold::DropFolder()
{
    fShellFolder.reset();
    fColumns.reset();
    fColumnsFolder.reset();
    fObjects.reset();
    fMultiObjects.reset();
    fFolderKind.reset();
}

void TWayfold::SetFolderIdList(const IItemIdListPtr& pList)
{
    if (!pList) {
        DropFolder();
        fFolderIdList.reset();
        ClearObject();
        return;
    }
    if (pList->IsInvalid())
        throw EWayfoldError(pf::HResult(pf::win32::ERROR_PATH_NOT_FOUND), pList);
    if (!fAcceptSearchFolderPaths && pList->Depth() > 1 && IsSearchLocation(pList->DisplayPath()))
        throw EWayfoldError(pf::HResult(pf::win32::ERROR_PATH_NOT_FOUND), pList);
    if (pList == fFolderIdList) {
        fObjects.reset();
        ClearObject();
        return;
    }
    DropFolder();
    fFolderIdList = pList;
    try {
        ShellFolder();
    } catch (const EWayfoldError&) {
        // Bound again on first use, where the failure then shows.
    }
    ClearObject();
}

pf::IShellFolderPtr TWayfold::ShellFolder()
{
    if (fShellFolder || !fFolderIdList)
        return fShellFolder;
    try {
        fShellFolder = BindFolderOf(fFolderIdList);
    } catch (const EWayfoldError&) {
        fFolderKind.reset();
        if (fFolderIdList->Depth() == 0) {
            fShellFolder = pf::Platform().Namespace().Desktop();
            fFolderIdList = TKivItemIdList::CreateForSpecialFolder(F::SF_DESKTOP, true);
            return fShellFolder;
        }
        const IItemIdListPtr target = fFolderIdList->LinkTarget();
        if (!IsValid(target) || target == fFolderIdList)
            throw;
        fShellFolder = BindFolderOf(target);
        fFolderIdList = target;
    }
    return fShellFolder;
}

void TWayfold::SetShellFolder(const pf::IShellFolderPtr& pFolder)
{
    fShellFolder = pFolder;
    fObjects.reset();
    fMultiObjects.reset();
    fFolderKind.reset();
    fColumns.reset();
    fColumnsFolder.reset();
    if (!fFolderIdList && pFolder) {
        pf::IdListBytes list;
        if (Succeeded(pFolder->GetCurFolder(list)))
            fFolderIdList = TKivItemIdList::Create(std::move(list));
        ClearObject();
    }
}

QString TWayfold::Folder() const
{
    return fFolderIdList ? WithTrailingDelimiter(fFolderIdList->Path()) : QString();
}

void TWayfold::SetFolder(const QString& pValue)
{
    // Names that differ only in letter case are different folders on this host's file systems.
    if (!pValue.isEmpty() &&
        TKivItemIdList::SamePath(pValue, Folder(), TKivItemIdList::HostIsCaseSensitive()))
        return;
    SetFolderIdList(TKivItemIdList::Create(pValue, nullptr, fOwnerWindow));
}

TKivShellFolder TWayfold::SpecialFolder() const
{
    return fFolderIdList ? fFolderIdList->SpecialFolder() : F::SF_INVALID;
}

void TWayfold::SetSpecialFolder(TKivShellFolder pValue)
{
    if (fFolderIdList && pValue == SpecialFolder()) {
        ClearObject();
        return;
    }
    if (fLoading && pValue == F::SF_FILESYSTEMFOLDER)
        return;
    SetFolderIdList(TKivItemIdList::CreateForSpecialFolder(pValue, true));
}

// ---- the current object ---------------------------------------------------------------------

void TWayfold::SetCurrentItem(pf::IdListBytes pItem)
{
    fItem = std::move(pItem);
    fHasItem = true;
    fItemIdList.reset();
    fAbsoluteIdList.reset();
    fHasSubFolders = THasSubFolders::hsfUnknown;
}

void TWayfold::ClearObject()
{
    fItem.clear();
    fHasItem = false;
    fItemIdList.reset();
    fAbsoluteIdList.reset();
    fHasSubFolders = THasSubFolders::hsfUnknown;
}

IItemIdListPtr TWayfold::ItemIdList() const
{
    if (!fHasItem)
        return fItemIdList ? fItemIdList : InvalidItemIdList();
    if (!fItemIdList)
        fItemIdList = TKivItemIdList::Create(fItem);
    return fItemIdList;
}

void TWayfold::SetItemIdList(const IItemIdListPtr& pList)
{
    ClearObject();
    const TIdListBuffer list = IsValid(pList) ? pList->WindowsPointer() : nullptr;
    if (!list) {
        fItemIdList = pList;
        return;
    }
    SetCurrentItem(*list);
    fItemIdList = pList;
}

IItemIdListPtr TWayfold::AbsoluteItemIdList() const
{
    if (fAbsoluteIdList)
        return fAbsoluteIdList;
    if (!fHasItem || !fFolderIdList)
        return fFolderIdList;
    fAbsoluteIdList = fFolderIdList->Concat(ItemIdList());
    return fAbsoluteIdList;
}

// By value: callers pass the component's own lists (SelectParent gives the folder list), which
// this replaces.
void TWayfold::SetAbsoluteItemIdList(IItemIdListPtr pList)
{
    if (!pList)
        throw EInvalidArgument(QStringLiteral("\"nil\" is not a valid value that can be assigned "
                                              "to TWayfold.AbsoluteItemIdList"));
    if (pList->IsInvalid())
        throw EWayfoldError(pf::HResult(pf::win32::ERROR_PATH_NOT_FOUND),
                            QStringLiteral("\r\n") + pList->Path());
    if (pList->Depth() == 0) {
        SetSpecialFolder(F::SF_DESKTOP);
        return;
    }
    const TIdListBuffer list = pList->WindowsPointer();
    pf::IShellFolderPtr parent;
    pf::IdListBytes last;
    EWayfoldError::Check(pf::Platform().Namespace().BindToParent(pf::IdSpan(*list), parent, last));
    DropFolder();
    fFolderIdList = pList->GetStartItemIdList(pList->Depth() - 1);
    fShellFolder = parent;
    SetCurrentItem(std::move(last));
    fAbsoluteIdList = pList;
}

QString TWayfold::ObjectName() const
{
    if (!fFolderIdList || !fHasItem)
        return {};
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    QString name = absolute ? absolute->DisplayName(N::dnfPhysicalPath) : QString();
    if (!name.isEmpty() && !pf::Platform().FileSystem().IsVolumeRoot(name))
        name = FileNameOf(name);
    if (name.isEmpty()) {
        pf::FindData data;
        if (GetFindData(data))
            name = data.Name;
    }
    return name;
}

void TWayfold::SetObjectName(const QString& pName)
{
    if (pName.isEmpty()) {
        ClearObject();
        throw EWayfoldError(QStringLiteral("Cannot find Object with empty name"), nullptr);
    }
    if (pName.contains(u'/')) {
        SetAbsoluteItemIdList(TKivItemIdList::Parse(pName, fOwnerWindow));
        return;
    }
    const pf::IShellFolderPtr folder = ShellFolder();
    if (!folder)
        throw EWayfoldError(QStringLiteral("No active folder was set."), nullptr);
    pf::IdListBytes item;
    if (Succeeded(folder->ParseDisplayName(fShowErrorMessages ? fOwnerWindow : nullptr, nullptr,
                                           pName, item, nullptr))) {
        SetCurrentItem(std::move(item));
        return;
    }
    // Names the folder cannot parse (virtual folders, display names): look at every object.
    fObjects.reset();
    while (Next()) {
        QString name;
        if (Succeeded(folder->GetDisplayNameOf(ItemSpan(), pf::shgdn::INFOLDER, name)) &&
            name.compare(pName, Qt::CaseInsensitive) == 0) {
            fObjects.reset();
            return;
        }
    }
    throw EWayfoldError(
        QStringLiteral("Error: Cannot find Object \"%1\" in Folder \"%2\"").arg(pName, Folder()),
        nullptr);
}

QString TWayfold::FullPath() const
{
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    return absolute ? absolute->Path() : QString();
}

TKivShellFolder TWayfold::SpecialObject() const
{
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    return absolute ? absolute->SpecialFolder() : F::SF_INVALID;
}

void TWayfold::SetSpecialObject(TKivShellFolder pValue)
{
    SetAbsoluteItemIdList(TKivItemIdList::CreateForSpecialFolder(pValue, true));
}

QString TWayfold::GetShellObjectName(bool pInFolder) const
{
    if (!fHasItem)
        throw EInvalidOperation(
            kClassName.toString() +
            QStringLiteral(" cannot return the current object's name if there is no current "
                           "object."));
    // The folder names its child from the child's own bytes: no disk access.
    QString name;
    if (fShellFolder &&
        Succeeded(fShellFolder->GetDisplayNameOf(
            ItemSpan(), pInFolder ? pf::shgdn::INFOLDER : pf::shgdn::NORMAL, name)) &&
        !name.isEmpty())
        return name;
    if (const IItemIdListPtr absolute = AbsoluteItemIdList())
        name = absolute->DisplayName(pInFolder ? N::dnfInFolder : N::dnfNormal);
    return name.isEmpty() ? ObjectName() : name;
}

QString TWayfold::GetObjectDisplayName(std::uint32_t pShgdn) const
{
    QString name;
    if (fShellFolder && fHasItem &&
        Failed(fShellFolder->GetDisplayNameOf(ItemSpan(), pShgdn, name)))
        name.clear();
    return name;
}

// ---- enumeration ----------------------------------------------------------------------------

pf::WindowRef TWayfold::PromptWindow() const
{
    if (fShowErrorMessages)
        return fOwnerWindow;
    // A network folder near the top may need a log-on: allowed while the user waits for it.
    if (fOwnerWindow && fFolderIdList && fFolderIdList->Depth() <= 3 && pf::Ui().IsUiThread() &&
        TKivItemIdList::IsNetworkPidl(fFolderIdList))
        return fOwnerWindow;
    return nullptr;
}

bool TWayfold::StartEnumeration()
{
    const pf::IShellFolderPtr folder = ShellFolder();
    if (!folder)
        return false;
    pf::WindowRef window = PromptWindow();
    if (window) {
        // A drive locked by volume encryption is offered for unlocking first.
        pf::IFileSystem& files = pf::Platform().FileSystem();
        const QString path = fFolderIdList->Path();
        if (!path.isEmpty() && files.IsVolumeRoot(path) &&
            files.GetDriveType(path) != pf::DriveType::Remote) {
            std::uint64_t freeToCaller = 0;
            std::uint64_t total = 0;
            std::uint64_t totalFree = 0;
            if (files.GetDiskFreeSpace(path, freeToCaller, total, totalFree) == kVolumeLocked) {
                try {
                    fFolderIdList->InvokeCommand(TShellCommand(TShellAction::saBdeUnlock));
                } catch (const std::exception& error) {
                    TDebugLog::LogException(QStringLiteral("Unlocking the drive failed"), error);
                }
                window = nullptr;
            }
        }
    }
    const std::uint32_t flags = kEnumFlags | (fForNavigation ? kNavigationEnumFlag : 0u);
    pf::IEnumIDListPtr objects;
    const pf::HResult result = folder->EnumObjects(window, flags, objects, fEnumerationStop);
    if (IsReportedFailure(result))
        throw EWayfoldError(pf::HResult(pf::HResultCode(result)), fFolderIdList->DisplayPath());
    if (Failed(result) || !objects)
        return false;
    fObjects = std::move(objects);
    return true;
}

bool TWayfold::Next()
{
    if (!fObjects && !StartEnumeration())
        return false;
    for (;;) {
        pf::IdListBytes item;
        pf::HResult result = pf::E_UNEXPECTED;
        bool fault = false;
        try {
            result = fObjects->Next(item);
            fault = result == pf::E_UNEXPECTED;
        } catch (const std::exception&) {
            fault = true;
        }
        if (fault) {
            // A fault inside the platform's enumerator: one more plain try, else give up.
            try {
                result = fObjects->Next(item);
            } catch (const std::exception&) {
                result = pf::E_UNEXPECTED;
            }
            if (result != pf::S_OK) {
                ClearObject();
                fObjects.reset();
                return false;
            }
        } else if (result != pf::S_OK) {
            fObjects.reset();
            if (IsReportedFailure(result))
                throw EWayfoldError(pf::HResult(pf::HResultCode(result)),
                                    fFolderIdList->DisplayPath());
            return false;
        }
        SetCurrentItem(std::move(item));
        if (fFileSystemOnly && SkippedByFileSystemOnly())
            continue;
        if (FilterMatch())
            return true;
    }
}

TEnumResult TWayfold::Next(TKivShellChangeNotifier* pNotifier)
{
    CancelBackgroundEnumeration();
    // A listing under way goes on: the folder was found fast when it started, and asking again
    // for every object would probe a slow place again each time.
    if (!pNotifier || !fFolderIdList || fObjects)
        return Next() ? TEnumResult::sbnOK : TEnumResult::sbnNoMoreItems;
    if (ShouldEnumerateAsync(fFolderIdList, pNotifier->CancellationToken())) {
        fShellFolderEnumeratorWorkItem = TShellFolderEnumeratorWorkItem::Create(*pNotifier, *this);
        return TEnumResult::sbnAsync;
    }
    return Next() ? TEnumResult::sbnOK : TEnumResult::sbnNoMoreItems;
}

void TWayfold::ResetEnumeration()
{
    fObjects.reset();
}

void TWayfold::CancelBackgroundEnumeration() noexcept
{
    if (const IWorkItemPtr item = std::exchange(fShellFolderEnumeratorWorkItem, nullptr))
        item->Terminate();
}

TKivShellFolder TWayfold::FolderKind() const
{
    if (!fFolderKind)
        fFolderKind = fFolderIdList ? fFolderIdList->SpecialFolder() : F::SF_INVALID;
    return *fFolderKind;
}

bool TWayfold::IsFolderSpecial(TKivShellFolder pFolder) const
{
    return fFolderIdList && FolderKind() == pFolder;
}

bool TWayfold::SkippedByFileSystemOnly()
{
    using namespace pf::sfgao;
    bool failed = false;
    if (FolderAttributesOf(FILESYSTEM | FILESYSANCESTOR, failed) != 0)
        return false;
    QString name;
    fShellFolder->GetDisplayNameOf(ItemSpan(), pf::shgdn::INFOLDER, name);
    if (IsFolderSpecial(F::SF_NETWORK))
        return name.isEmpty();
    if (name.startsWith(QLatin1String("RECYCLE"), Qt::CaseInsensitive))
        return false;
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    return !(absolute->IsSpecialFolder(F::SF_DRIVES) || absolute->IsSpecialFolder(F::SF_NETWORK));
}

// ---- answers about the current object -------------------------------------------------------

std::uint32_t TWayfold::FolderAttributesOf(std::uint32_t pMask, bool& pFailed) const
{
    pFailed = true;
    if (!fShellFolder || !fHasItem)
        return 0;
    std::uint32_t attributes = pMask;
    const pf::IdSpan items[] = {ItemSpan()};
    if (Failed(fShellFolder->GetAttributesOf(items, attributes)))
        return 0;
    pFailed = false;
    return attributes & pMask;
}

std::uint32_t TWayfold::GetAttributes(std::uint32_t pMask) const
{
    if (!CheckIfValid(false))
        return 0;
    std::uint32_t attributes = 0;
    if (pMask & pf::sfgao::BROWSABLE) {
        if (IsBrowsable())
            attributes |= pf::sfgao::BROWSABLE;
        pMask &= ~pf::sfgao::BROWSABLE;
        if (pMask == 0)
            return attributes;
    }
    bool failed = false;
    const std::uint32_t fromFolder = FolderAttributesOf(pMask, failed);
    if (!failed)
        return attributes | fromFolder;
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    const pf::IShellItemPtr item = absolute ? absolute->ShellItem() : nullptr;
    std::uint32_t fromItem = 0;
    if (!item || Failed(item->GetAttributes(pMask, fromItem)))
        return attributes;
    return attributes | (fromItem & pMask);
}

bool TWayfold::IsBrowsable() const
{
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    if (!IsValid(absolute) || !absolute->HasAttributes(pf::sfgao::BROWSABLE))
        return false;
    return !fFileSystemOnly || GetAttributes(pf::sfgao::STREAM) == 0;
}

bool TWayfold::IsFolder() const
{
    using namespace pf::sfgao;
    if (!fHasItem)
        return false;
    if (!fFileSystemOnly)
        return GetAttributes(FOLDER) != 0;
    const std::uint32_t attributes = GetAttributes(FOLDER | FILESYSTEM | FILESYSANCESTOR | STREAM);
    return (attributes & FOLDER) && (attributes & (FILESYSTEM | FILESYSANCESTOR)) &&
           !(attributes & STREAM);
}

bool TWayfold::IsHidden() const
{
    return GetAttributes(pf::sfgao::HIDDEN) != 0;
}

bool TWayfold::IsLink() const
{
    return GetAttributes(pf::sfgao::LINK) != 0;
}

bool TWayfold::IsDrive() const
{
    const QString path = FullPath();
    return !path.isEmpty() && pf::Platform().FileSystem().IsVolumeRoot(path);
}

bool TWayfold::IsFileSystemFolder() const
{
    if (!fFolderIdList || fFolderIdList->Depth() == 0 || Folder().isEmpty())
        return false;
    return !fFolderIdList->HasAttributes(pf::sfgao::STREAM);
}

bool TWayfold::HasSubFolders()
{
    using namespace pf::sfgao;
    if (!CheckIfValid(false) || !fHasItem) {
        if (!fFolderIdList || fFolderIdList->Depth() != 0)
            throw EInvalidOperation(QStringLiteral("No valid folder is currently assigned"));
        return true;
    }
    if (fHasSubFolders == THasSubFolders::hsfUnknown) {
        bool yes = false;
        pf::FindData data;
        QString name;
        if (GetFindData(data))
            name = data.Name;
        else if (fShellFolder)
            fShellFolder->GetDisplayNameOf(ItemSpan(), pf::shgdn::INFOLDER | pf::shgdn::FORPARSING,
                                           name);
        if (ExtensionOf(name).compare(QLatin1String(".zip"), Qt::CaseInsensitive) == 0) {
            // An archive is browsable, but what lies inside is not a file-system folder.
            yes = !fFileSystemOnly;
        } else if (fFileSystemOnly) {
            const std::uint32_t attributes =
                GetAttributes(HASSUBFOLDER | FILESYSTEM | FILESYSANCESTOR);
            yes = (attributes & HASSUBFOLDER) && (attributes & (FILESYSTEM | FILESYSANCESTOR));
        } else {
            yes = GetAttributes(HASSUBFOLDER) != 0;
        }
        fHasSubFolders = yes ? THasSubFolders::hsfYes : THasSubFolders::hsfNo;
    }
    return fHasSubFolders == THasSubFolders::hsfYes;
}

bool TWayfold::CheckIfValid(bool pFolderOnly) const
{
    if (!IsValid(fFolderIdList))
        return false;
    if (pFolderOnly)
        return true;
    return fHasItem || fFolderIdList->Depth() == 0 || HasMultiObjects();
}

bool TWayfold::CanRename() const
{
    if (fHasItem)
        return GetAttributes(pf::sfgao::CANRENAME) != 0;
    if (!HasMultiObjects())
        throw EInvalidOperation(
            QStringLiteral("No valid shell objects is currently assigned in this instance of ") +
            kClassName.toString());
    return fMultiObjects->GetItem(0)->HasAttributes(pf::sfgao::CANRENAME);
}

bool TWayfold::GetFindData(pf::FindData& pData) const
{
    return fShellFolder && fHasItem && Succeeded(fShellFolder->GetFindData(ItemSpan(), pData));
}

std::int64_t TWayfold::GetFileSize() const
{
    pf::FindData data;
    if (GetFindData(data))
        return static_cast<std::int64_t>(data.Size);
    // Objects the folder keeps no snapshot of: ask the file system by path, unless the path
    // lies on a network mount (a dead server would hold the caller).
    const QString path = FullPath();
    if (path.isEmpty() || !fHasItem)
        return -1;
    pf::IFileSystem& files = pf::Platform().FileSystem();
    if (files.GetDriveType(path) == pf::DriveType::Remote || Failed(files.GetFindData(path, data)))
        return -1;
    return static_cast<std::int64_t>(data.Size);
}

QDateTime TWayfold::GetLastChangeDate() const
{
    pf::FindData data;
    pf::FileTime written;
    if (GetFindData(data)) {
        written = data.LastWriteTime;
    } else if (pf::IShellFolder2* columns = fShellFolder ? fShellFolder->AsFolder2() : nullptr;
               columns && fHasItem) {
        pf::PropVariant value;
        if (Succeeded(columns->GetDetailsEx(ItemSpan(), pf::pkey::DateModified, value))) {
            if (const auto* time = std::get_if<pf::FileTime>(&value))
                written = *time;
        }
    }
    if (written.Ticks == 0)
        return {};
    // 100 ns ticks since 1601 to milliseconds since 1970.
    constexpr std::int64_t kEpochDifferenceMs = 11644473600000;
    const auto ms = static_cast<std::int64_t>(written.Ticks / 10000) - kEpochDifferenceMs;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toLocalTime();
}

int TWayfold::IconNumber() const
{
    return TKivSystemImageList::GetIndexFromItemIdList(AbsoluteItemIdList(),
                                                       TKivImageListSize::si_Small, false);
}

int TWayfold::SelectedIconNumber() const
{
    return TKivSystemImageList::GetIndexFromItemIdList(AbsoluteItemIdList(),
                                                       TKivImageListSize::si_Small, true);
}

int TWayfold::GetOverlayIndex() const
{
    if (!fHasItem || !fShellFolder)
        return -1;
    int index = 0;
    const pf::HResult result = fShellFolder->GetOverlayIndex(ItemSpan(), index);
    if (result != pf::E_NOINTERFACE)
        return Succeeded(result) ? index - 1 : -1;
    const std::uint32_t attributes = GetAttributes(pf::sfgao::LINK | pf::sfgao::SHARE);
    if (attributes & pf::sfgao::LINK)
        return 1;
    return (attributes & pf::sfgao::SHARE) ? 0 : -1;
}

QString TWayfold::GetInfoTip(bool pUseSlowInfoTip) const
{
    if (!fShellFolder || !fHasItem)
        return {};
    // The folder's own tip when it has one (slow parts only when asked for).
    constexpr std::uint32_t kAllowSlowTip = 8;
    QString tip;
    if (Succeeded(fShellFolder->GetInfoTip(ItemSpan(), pUseSlowInfoTip ? kAllowSlowTip : 0, tip)))
        return tip;
    // Else the columns shown by default after the name, as "Title: text" lines: type, size and
    // date of a file come from the snapshot, so the tip costs no disk access.
    pf::IShellFolder2* columns = fShellFolder->AsFolder2();
    if (!columns)
        return {};
    constexpr std::uint32_t kShownByDefault = 0x10;
    constexpr std::uint32_t kSlow = 0x20;
    QStringList lines;
    const pf::IdSpan item = ItemSpan();
    for (std::uint32_t column = 1;; ++column) {
        std::uint32_t state = 0;
        if (Failed(columns->GetDefaultColumnState(column, state)))
            break;
        if (!(state & kShownByDefault) || (state & kSlow))
            continue;
        pf::ShellDetails header;
        pf::ShellDetails text;
        if (Failed(columns->GetDetailsOf(nullptr, column, header)) ||
            Failed(columns->GetDetailsOf(&item, column, text)) || text.Text.isEmpty())
            continue;
        lines << header.Text + QStringLiteral(": ") + text.Text;
    }
    return lines.join(u'\n');
}

bool TWayfold::ShowObjectAccordingShowOptions(TKivShellShowOptions pOptions) const
{
    using O = TKivShellShowOption;
    using namespace pf::sfgao;
    if (!pOptions.Contains(O::soShowFiles) && !IsBrowsable())
        return IsFolderSpecial(F::SF_LINKS);
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    const TKivShellFolder special =
        absolute && absolute->Depth() < 2 ? absolute->SpecialFolder() : F::SF_INVALID;
    const bool hidden = GetAttributes(HIDDEN) != 0;
    if (hidden && !pOptions.Contains(O::soShowHidden))
        return false;
    if ((special == F::SF_NETHOOD || special == F::SF_NETWORK) &&
        !pOptions.Contains(O::soShowNethood))
        return false;
    if (!pOptions.Contains(O::soShowRecycleBin)) {
        if (special == F::SF_BITBUCKET)
            return false;
        if (hidden &&
            GetShellObjectName(true).startsWith(QLatin1String("RECYCL"), Qt::CaseInsensitive))
            return false;
    }
    if (!pOptions.Contains(O::soFileSystemOnly))
        return true;
    const std::uint32_t attributes = GetAttributes(FOLDER | FILESYSTEM | FILESYSANCESTOR | STREAM);
    const bool folder = attributes & FOLDER;
    bool shown =
        (attributes & (FILESYSTEM | FILESYSANCESTOR)) && (!(attributes & STREAM) || folder);
    if (!pOptions.Contains(O::soShowFiles))
        shown = shown && folder;
    return shown;
}

// ---- actions --------------------------------------------------------------------------------

void TWayfold::SelectParent()
{
    if (fFolderIdList)
        SetAbsoluteItemIdList(fFolderIdList);
}

bool TWayfold::BrowseObject()
{
    if (!IsFolder())
        return false;
    try {
        SetFolderIdList(AbsoluteItemIdList());
        return ShellFolder() != nullptr;
    } catch (const EWayfoldError& error) {
        // No message box in core: the failure goes to the debug output; the owner shows it.
        TDebugLog::LogException(QStringLiteral("BrowseObject"), error);
        return false;
    }
}

pf::HResult TWayfold::RenameObject(QString& pName)
{
    if (!fHasItem || !ShellFolder())
        return pf::E_INVALIDARG;
    QString name = pName;
    const QString before = GetShellObjectName(true);
    if (!pf::Platform().Registry().ShellState().ShowExtensions) {
        // The user typed the extension that the displayed name hides: the folder adds it back.
        pf::FindData data;
        const QString extension = GetFindData(data) ? ExtensionOf(data.Name) : QString();
        if (!extension.isEmpty() && !before.endsWith(extension, Qt::CaseInsensitive) &&
            name.endsWith(extension, Qt::CaseInsensitive))
            name.chop(extension.size());
    }
    constexpr std::uint32_t kRenameFlags = 0x20;
    pf::IdListBytes newItem;
    const pf::HResult result =
        fShellFolder->SetNameOf(fOwnerWindow, ItemSpan(), name, kRenameFlags, &newItem);
    if (Failed(result) || newItem.size() <= 2) {
        TDebugLog::LogMessage(QStringLiteral("Renaming failed. Error code: %1").arg(result));
        return Failed(result) ? result : pf::E_FAIL;
    }
    SetCurrentItem(std::move(newItem));
    pName = GetShellObjectName(true);
    if (pName == before) {
        threading::Sleep(kRenameSettleTime);
        pName = GetShellObjectName(true);
    }
    if (OnRename)
        OnRename(*this);
    return result;
}

void TWayfold::CopyTo(TKivShellChangeNotifier& pNotifier) const
{
    if (HasMultiObjects()) {
        fMultiObjects->CopyTo(pNotifier);
        return;
    }
    if (const IItemIdListPtr target = AbsoluteItemIdList(); IsValid(target))
        pNotifier.AddItemIdList(target);
}

bool TWayfold::BeforeInvokeCommand(TBeforeCommandEventArgs& pArgs)
{
    void* sender = fOwner ? fOwner : this;
    if (OnBeforeShellCommand) {
        bool execute = !pArgs.Cancel;
        OnBeforeShellCommand(sender, pArgs.Command.VerbOrEmpty(), execute,
                             pArgs.Items ? pArgs.Items->Count() : 0);
        pArgs.Cancel = !execute;
    }
    if (OnBeforeCommand)
        OnBeforeCommand(sender, pArgs);
    return !pArgs.Cancel;
}

bool TWayfold::AllowsCommand(const QString& pVerb, const TShellCommand& pCommand,
                             TCommandSource pSource, const TBeforeCommandFunc& pBeforeCommand)
{
    if (OnContextMenuSelect) {
        bool execute = true;
        OnContextMenuSelect(*this, pVerb, execute);
        if (!execute)
            return false;
    }
    const TBeforeCommandFunc own = [this](TBeforeCommandEventArgs& pArgs) {
        BeforeInvokeCommand(pArgs);
    };
    const TBeforeCommandFunc& check = pBeforeCommand ? pBeforeCommand : own;
    if (HasMultiObjects())
        return TShellControlHelper::DoBeforeShellCommand(check, pCommand, pSource, fMultiObjects);
    return TShellControlHelper::DoBeforeShellCommand(check, pCommand, pSource,
                                                     AbsoluteItemIdList());
}

IItemIdListPtr TWayfold::CommandTarget() const
{
    const IItemIdListPtr target = AbsoluteItemIdList();
    if (!IsValid(target))
        throw EInvalidOperation(
            QStringLiteral("No valid shell objects is currently assigned in this instance of ") +
            kClassName.toString());
    return target;
}

bool TWayfold::InvokeCommand(const TShellCommand& pCommand)
{
    if (!AllowsCommand(pCommand.VerbOrEmpty(), pCommand, TCommandSource::Call))
        return false;
    if (HasMultiObjects()) {
        fMultiObjects->InvokeCommand(pCommand);
        return true;
    }
    CommandTarget()->InvokeCommand(pCommand);
    return true;
}

std::shared_ptr<void> TWayfold::GetUIObject(TUIObjectKind pKind) const
{
    if (HasMultiObjects())
        return fMultiObjects->GetUIObject(pKind);
    if (!CheckIfValid(false) || !fHasItem)
        throw EInvalidOperation(
            QStringLiteral("No valid shell objects is currently assigned in this instance of ") +
            kClassName.toString());
    if (pKind == TUIObjectKind::uoDataObject)
        return CreateItemsDataObject({AbsoluteItemIdList()}, pf::DROPEFFECT_COPY);
    // The object is a child of the bound folder: a one-element selection of it, relative to the
    // folder, has the folder make the menu. Without a bound folder the object's absolute list
    // finds its own (or the default folder menu for objects at the top).
    const std::shared_ptr<TItemIdListCollection> one = TItemIdListCollection::Create(fShellFolder);
    one->Add(fShellFolder ? ItemIdList() : AbsoluteItemIdList());
    return one->ContextMenu(fShowErrorMessages ? fOwnerWindow : nullptr);
}

bool TWayfold::ShowNetConnectionDialog() const
{
    return false;
}

bool TWayfold::GetThumbnailImage(IThumbnailImage& pImage) const
{
    return TKivThumbnailExtractor::GetThumbnailAsImage(AbsoluteItemIdList(), pImage);
}

QImage TWayfold::GetThumbnailBitmap(int pWidth, int pHeight, bool pIconInstead,
                                    const QColor& pBackgroundColor) const
{
    return TKivThumbnailExtractor::GetThumbnailBitmap(AbsoluteItemIdList(), pWidth, pHeight,
                                                      pIconInstead, pBackgroundColor, false);
}

void TWayfold::SetThumbnailProvider(
    std::function<void(const QString& pPath, int pWidth, int pHeight, QImage& pBitmap)> pProvider)
{
    TKivThumbnailExtractor::SetThumbnailProvider(std::move(pProvider));
}

// ---- columns ----------------------------------------------------------------------------------

const TFolderColumns& TWayfold::Columns() const
{
    if (!fColumns || fColumnsFolder != fShellFolder || fColumns->Folder() != fFolderIdList) {
        fColumns = std::make_shared<const TFolderColumns>(fFolderIdList, fShellFolder);
        fColumnsFolder = fShellFolder;
    }
    return *fColumns;
}

QString TWayfold::GetColumnText(int pColumnIndex, bool pHeader) const
{
    return Columns().GetColumnText(pColumnIndex, pHeader,
                                   fHasItem ? AbsoluteItemIdList() : nullptr);
}

QString TWayfold::GetColumnText(const TShellColumnId& pId, bool pHeader, QVariant* pValue) const
{
    return Columns().GetColumnText(pId, pHeader, fHasItem ? AbsoluteItemIdList() : nullptr, pValue);
}

QVariant TWayfold::GetColumnValue(const TShellColumnId& pId) const
{
    return fHasItem ? Columns().GetColumnValue(pId, AbsoluteItemIdList()) : QVariant();
}

TShellColumnId TWayfold::GetShColumnIdFromColumnNumber(int pColumnNumber) const
{
    return Columns().GetShColumnIdFromColumnNumber(pColumnNumber);
}

int TWayfold::GetIndexOfShColumnId(const TShellColumnId& pId) const
{
    return Columns().GetIndexOfShColumnId(pId);
}

TAlignment TWayfold::GetColumnInfo(int pColumn, int& pWidth) const
{
    return Columns().GetColumnInfo(pColumn, pWidth);
}

TColumnInfo TWayfold::GetColumnInfo(int pIndex) const
{
    return Columns().GetColumnInfo(pIndex);
}

std::uint32_t TWayfold::GetDefaultColumnState(int pColumn) const
{
    return Columns().GetDefaultColumnState(pColumn);
}

IItemIdListCollection& TWayfold::MultiObjects()
{
    if (!fMultiObjects)
        fMultiObjects = TItemIdListCollection::Create(fShellFolder);
    return *fMultiObjects;
}

// ---- filter ---------------------------------------------------------------------------------

QString TWayfold::Filter() const
{
    return fFilter.isEmpty() ? QString::fromLatin1(kMatchAll) : fFilter.join(u';');
}

void TWayfold::SetFilter(const QString& pValue)
{
    fFilter.clear();
    if (pValue.isEmpty() || pValue == QLatin1String(kMatchAll))
        return;
    QString text = pValue;
    if (!text.endsWith(u';'))
        text += u';';
    // Every piece before a ";" is a pattern, empty ones included (they match nothing).
    fFilter = text.split(u';');
    fFilter.removeLast();
}

QString TWayfold::PhysicalFileName() const
{
    pf::FindData data;
    if (GetFindData(data))
        return data.Name;
    const IItemIdListPtr absolute = AbsoluteItemIdList();
    return absolute ? FileNameOf(absolute->DisplayName(N::dnfPreferPhysical)) : QString();
}

bool TWayfold::FilterMatch() const
{
    if (fFilter.isEmpty())
        return true;
    bool failed = false;
    if (FolderAttributesOf(pf::sfgao::FOLDER, failed) != 0)
        return true;
    if (IsFolderSpecial(F::SF_LINKS))
        return true;
    QString name;
    if (IsFolderSpecial(F::SF_RECENT)) {
        const IItemIdListPtr absolute = AbsoluteItemIdList();
        const IItemIdListPtr target = absolute ? absolute->LinkTarget() : nullptr;
        if (IsValid(target) && target->IsFolder())
            return true;
        name = target ? FileNameOf(target->DisplayName(N::dnfPreferPhysical)) : QString();
    } else {
        name = PhysicalFileName();
    }
    for (const QString& pattern : fFilter) {
        if (pattern == QLatin1String("*.")) {
            if (!name.contains(u'.') || PathMatchSpec(name, pattern))
                return true;
            continue;
        }
        if (pattern.endsWith(QLatin1String("*.*"))) {
            if (PathMatchSpec(name, QString(pattern + QStringLiteral(".*"))))
                return true;
            continue;
        }
        if (!pattern.isEmpty() && PathMatchSpec(name, pattern))
            return true;
    }
    return false;
}

// ---- class operations -----------------------------------------------------------------------

int TWayfold::GetDesktopIconIndex()
{
    return TKivSystemImageList::GetIndexFromItemIdList(
        TKivItemIdList::CreateForSpecialFolder(F::SF_DESKTOP, true), TKivImageListSize::si_Small,
        false);
}

QString TWayfold::GetDesktopName()
{
    return TKivItemIdList::CreateForSpecialFolder(F::SF_DESKTOP, true)->DisplayName(N::dnfNormal);
}

} // namespace kiv

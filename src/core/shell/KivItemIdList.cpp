#include "core/shell/KivItemIdList.h"

#include "core/platform/IContextMenu.h"
#include "core/platform/IDebug.h"
#include "core/platform/IExec.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IInfo.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/PropertySystem.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/ContextMenuCommand.h"
#include "core/shell/ItemsDataObject.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/PathUtils.h"
#include "core/shell/ShellWin32.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

#include <algorithm>
#include <functional>

namespace kiv {

using pf::Failed;
using pf::Succeeded;

namespace {

// How many numbered names CreateNewFolder tries before it gives up: far more than anyone makes
// by hand, few enough that a folder answering "exists" to everything cannot hang the caller.
constexpr int kMaxNewFolderNumber = 9999;

// The stored path of a list whose path has not been computed yet.
constexpr QLatin1String kNotComputed("-");

pf::IPlatform& Pf()
{
    return pf::Platform();
}

// A list's own object when it is one of ours, else null (foreign implementations are compared
// through their public operations only).
const TKivItemIdList* AsKiv(const IItemIdListPtr& pList)
{
    return dynamic_cast<const TKivItemIdList*>(pList.get());
}

pf::Guid ToGuid(const QUuid& pUuid)
{
    pf::Guid guid;
    guid.Data1 = pUuid.data1;
    guid.Data2 = pUuid.data2;
    guid.Data3 = pUuid.data3;
    std::copy(std::begin(pUuid.data4), std::end(pUuid.data4), guid.Data4.begin());
    return guid;
}

QVariant ToVariant(const pf::PropVariant& pValue)
{
    return pf::PropVariantToVariant(pValue);
}

bool IsFolderClassId(const QString& pName)
{
    return pName.startsWith(QLatin1String("::{")) &&
           pf::Guid::FromString(QStringView(pName).mid(2, 38)).has_value();
}

// A drive root: "X:" with an optional "\" in Windows style, the root "/" here.
bool IsDriveRoot(const QString& pPath)
{
    if (pPath == QLatin1String("/"))
        return true;
    const bool letterColon = pPath.size() >= 2 && pPath[0].isLetter() && pPath[1] == u':';
    return letterColon && (pPath.size() == 2 || (pPath.size() == 3 && pPath[2] == u'\\'));
}

QString FileNamePart(const QString& pPath)
{
    qsizetype last = -1;
    for (qsizetype i = 0; i < pPath.size(); ++i) {
        if (IsHostDelimiter(pPath[i]))
            last = i;
    }
    return pPath.mid(last + 1);
}

QString DirectoryPart(const QString& pPath)
{
    qsizetype last = -1;
    for (qsizetype i = 0; i < pPath.size(); ++i) {
        if (IsHostDelimiter(pPath[i]))
            last = i;
    }
    if (last < 0)
        return {};
    return last == 0 ? pPath.left(1) : pPath.left(last);
}

// The platform's localized text of a number, or the given English text.
QString PlatformText(std::initializer_list<int> pIds, const QString& pFallback)
{
    for (const int id : pIds) {
        QString text;
        if (Pf().Info().LoadString(pf::StringModule::Shell32, id, text) && !text.isEmpty())
            return text;
    }
    return pFallback;
}

// Whether pChild is pParent or below it, by identity (aliases count): true/false when pParent is
// an ancestor-or-self, nullopt when it is not.
std::optional<bool> IsBelow(const pf::IdListBytes& pParent, const pf::IdListBytes& pChild,
                            bool pAcceptsEquals)
{
    pf::INamespace& ns = Pf().Namespace();
    pf::IdListBytes rest = pf::idl::Empty();
    if (!ns.FindChild(pf::IdSpan(pParent), pf::IdSpan(pChild), &rest))
        return std::nullopt;
    if (pAcceptsEquals)
        return true;
    if (pf::idl::ValidLength(rest.data(), rest.size()) == rest.size() &&
        !pf::IdSpan(rest).IsEmpty())
        return true;
    // No rest: the same item, or an alias whose bytes do not show the rest.
    const pf::IShellFolderPtr desktop = ns.Desktop();
    return desktop && desktop->CompareIDs(pf::shcids::CANONICALONLY, pf::IdSpan(pParent),
                                          pf::IdSpan(pChild)) != pf::S_OK;
}

} // namespace

bool IsMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

bool IsHostDelimiter(QChar pChar)
{
    return pChar == TPathUtils::Delimiter(kHostPathStyle);
}

bool PathToItemIdList(const pf::IShellFolderPtr& pFolder, const QString& pPath,
                      pf::WindowRef pWindow, pf::IdListBytes& pList)
{
    // An empty name inside a folder is that folder's business, not This PC.
    if (pPath.isEmpty() && pFolder)
        return Succeeded(pFolder->ParseDisplayName(pWindow, nullptr, pPath, pList, nullptr));
    try {
        std::optional<pf::IdListBytes> list =
            TShellWin32::PathToItemIdList(pFolder, pPath, pWindow);
        if (!list)
            return false;
        pList = std::move(*list);
        return true;
    } catch (const EWayfoldError&) {
        // No desktop folder: nothing can be parsed.
        return false;
    }
}

// ---- construction ---------------------------------------------------------------------------

TKivItemIdList::TKivItemIdList(TPrivate) {}

TKivItemIdList::~TKivItemIdList() = default;

TKivSearchFolder::TKivSearchFolder(TPrivate pPrivate)
    : TKivItemIdList(pPrivate)
{
}

IItemIdListPtr TKivItemIdList::Create(TIdListBuffer pList, TItemIdListOwnership pOwnership)
{
    auto list = std::make_shared<TKivItemIdList>(TPrivate{});
    if (pList && pOwnership == TItemIdListOwnership::iloCopyMemory)
        pList = std::make_shared<const pf::IdListBytes>(*pList);
    if (pList && pf::idl::ValidLength(pList->data(), pList->size()) == pList->size())
        list->SetBuffer(std::move(pList));
    else
        list->SetFailed(QString());
    return list;
}

IItemIdListPtr TKivItemIdList::Create(pf::IdListBytes pList)
{
    return Create(std::make_shared<const pf::IdListBytes>(std::move(pList)));
}

IItemIdListPtr TKivItemIdList::Create(pf::IdSpan pList)
{
    return Create(pList.ToBytes());
}

IItemIdListPtr TKivItemIdList::CreateFromUntrusted(const std::uint8_t* pData, std::size_t pSize)
{
    const std::optional<pf::IdSpan> span = pf::IdSpan::FromUntrusted(pData, pSize);
    if (!span) {
        auto list = std::make_shared<TKivItemIdList>(TPrivate{});
        list->SetFailed(QString());
        return list;
    }
    return Create(*span);
}

QString TKivItemIdList::StoredPathOf(const QString& pPath)
{
    if (pPath.size() <= 3 && TPathUtils::StartsWithDriveLetter(pPath, TPathStyle::psWindows))
        return pPath;
    return TPathUtils::ExcludeTrailingPathDelimiter(pPath);
}

IItemIdListPtr TKivItemIdList::Create(const QString& pPath, const pf::IShellFolderPtr& pFolder,
                                      pf::WindowRef pWindow)
{
    if (pPath.isEmpty() && !pFolder)
        return CreateForSpecialFolder(TKivShellFolder::SF_DRIVES, false);
    if (pPath == QLatin1String("\\\\*"))
        return CreateForSpecialFolder(TKivShellFolder::SF_NETWORK, false);
    auto list = std::make_shared<TKivItemIdList>(TPrivate{});
    // A path relative to a folder is no path of its own: it is computed from the list.
    list->fPath = pFolder ? QString(kNotComputed) : StoredPathOf(pPath);
    if (pFolder || pWindow) {
        pf::IdListBytes bytes;
        if (!PathToItemIdList(pFolder, pPath, pWindow, bytes)) {
            list->fState = TState::Failed;
        } else if (pFolder) {
            // The folder's list followed by the relative result.
            pf::IdListBytes own;
            if (Failed(pFolder->GetCurFolder(own)))
                list->fState = TState::Failed;
            else
                list->SetBuffer(std::make_shared<const pf::IdListBytes>(
                    pf::idl::Combine(pf::IdSpan(own), pf::IdSpan(bytes))));
        } else {
            list->SetBuffer(std::make_shared<const pf::IdListBytes>(std::move(bytes)));
        }
    }
    return list;
}

IItemIdListPtr TKivItemIdList::CreateSimpleIdList(const QString& pPath)
{
    auto list = std::make_shared<TKivItemIdList>(TPrivate{});
    list->fIsSimple = true;
    list->fPath = StoredPathOf(pPath);
    pf::IdListBytes bytes;
    if (Succeeded(Pf().Namespace().SimpleIdListFromPath(pPath, bytes)))
        list->SetBuffer(std::make_shared<const pf::IdListBytes>(std::move(bytes)));
    else
        list->fState = TState::Failed;
    return list;
}

IItemIdListPtr TKivItemIdList::Create(const pf::IShellFolderPtr& pFolder, pf::IdSpan pRelative)
{
    auto list = std::make_shared<TKivItemIdList>(TPrivate{});
    pf::IdListBytes own;
    if (!pFolder || Failed(pFolder->GetCurFolder(own)))
        list->SetFailed(QString());
    else
        list->SetBuffer(
            std::make_shared<const pf::IdListBytes>(pf::idl::Combine(pf::IdSpan(own), pRelative)));
    return list;
}

IItemIdListPtr TKivItemIdList::Create(const pf::IShellItemPtr& pItem)
{
    auto list = std::make_shared<TKivItemIdList>(TPrivate{});
    list->fShellItem = pItem;
    list->Resolve();
    return list;
}

IItemIdListPtr TKivItemIdList::CreateSearchFolder(const QString& pQuery,
                                                  const IItemIdListPtr& pScope)
{
    // The search itself comes with the search component; until then every search folder is an
    // invalid list (the same answer as for an empty query or an invalid scope).
    auto folder = std::make_shared<TKivSearchFolder>(TPrivate{});
    folder->fSearchScope = pScope;
    (void)pQuery;
    folder->SetFailed(QString());
    return folder;
}

IItemIdListPtr TKivItemIdList::CreateForSpecialFolder(TKivShellFolder pFolder, bool pFromCache)
{
    return TSpecialFolders::Create(pFolder, pFromCache);
}

IItemIdListPtr TKivItemIdList::CreateForSpecialFolder(const QString& pName)
{
    return TSpecialFolders::CreateByName(pName);
}

IItemIdListPtr TKivItemIdList::Parse(const QString& pPath, pf::WindowRef pWindow,
                                     bool pCompleteScan)
{
    return TItemIdListParser::Parse(pPath, pWindow, pCompleteScan);
}

IItemIdListPtr InvalidItemIdList()
{
    // Built on first use and never freed before the process ends (lists held by other
    // process-wide caches may point at it while those are torn down).
    static const IItemIdListPtr* const invalid = [] {
        return new IItemIdListPtr(
            TKivItemIdList::Create(TIdListBuffer(), TItemIdListOwnership::iloForeignOwned));
    }();
    return *invalid;
}

void TKivItemIdList::SetBuffer(TIdListBuffer pList)
{
    std::lock_guard lock(fLock);
    fList = std::move(pList);
    fState = TState::Resolved;
}

void TKivItemIdList::SetFailed(const QString& pPath)
{
    std::lock_guard lock(fLock);
    fList.reset();
    fState = TState::Failed;
    fPath = pPath;
    fPathFinal = false;
}

void TKivItemIdList::SetStoredPath(const QString& pPath)
{
    std::lock_guard lock(fLock);
    fPath = pPath;
    fPathFinal = false;
}

void TKivItemIdList::SetSpecialFolderValue(TKivShellFolder pFolder) const
{
    std::lock_guard lock(fLock);
    fSpecialFolder = pFolder;
}

QString TKivItemIdList::StoredPath() const
{
    std::lock_guard lock(fLock);
    return fPath;
}

// ---- resolution -----------------------------------------------------------------------------

TIdListBuffer TKivItemIdList::WindowsPointer() const
{
    return Resolve();
}

TIdListBuffer TKivItemIdList::Resolve() const
{
    {
        std::lock_guard lock(fLock);
        if (fState != TState::Unresolved)
            return fList;
    }
    // Asked outside the lock: parsing touches the disk.
    TIdListBuffer found = ResolveUncached();
    std::lock_guard lock(fLock);
    if (fState == TState::Unresolved) {
        fList = std::move(found);
        fState = fList ? TState::Resolved : TState::Failed;
    }
    return fList;
}

TIdListBuffer TKivItemIdList::ResolveUncached() const
{
    QString path;
    pf::IShellItemPtr item;
    {
        std::lock_guard lock(fLock);
        path = fPath;
        item = fShellItem;
    }
    pf::IdListBytes bytes;
    if (!path.isEmpty() && path != kNotComputed) {
        if (PathToItemIdList(nullptr, path, nullptr, bytes))
            return std::make_shared<const pf::IdListBytes>(std::move(bytes));
        if (TPathUtils::IsUnicodeAPICallPath(path) &&
            PathToItemIdList(nullptr, TPathUtils::RevertUnicodeAPICallPath(path), nullptr, bytes))
            return std::make_shared<const pf::IdListBytes>(std::move(bytes));
        return nullptr;
    }
    if (!item)
        return nullptr;
    if (Succeeded(item->GetIdList(bytes)))
        return std::make_shared<const pf::IdListBytes>(std::move(bytes));
    QString parsing;
    if (Succeeded(item->GetDisplayName(pf::sigdn::DESKTOPABSOLUTEPARSING, parsing)) &&
        PathToItemIdList(nullptr, parsing, nullptr, bytes))
        return std::make_shared<const pf::IdListBytes>(std::move(bytes));
    return nullptr;
}

pf::IdSpan TKivItemIdList::SpanOr(const TIdListBuffer& pList) const
{
    return pList ? pf::IdSpan(*pList) : pf::IdSpan();
}

bool TKivItemIdList::IsInvalid() const
{
    return !Resolve();
}

bool TKivItemIdList::IsResolved() const
{
    std::lock_guard lock(fLock);
    return fState != TState::Unresolved;
}

int TKivItemIdList::Depth() const
{
    const TIdListBuffer list = Resolve();
    return list ? static_cast<int>(pf::IdSpan(*list).Depth()) : 0;
}

bool TKivItemIdList::IsAbsolute() const
{
    if (Depth() != 1)
        return true;
    const TKivShellFolder folder = SpecialFolder();
    return folder != TKivShellFolder::SF_FILESYSTEMFOLDER && folder != TKivShellFolder::SF_UNKNOWN;
}

// ---- list arithmetic ------------------------------------------------------------------------

IItemIdListPtr TKivItemIdList::Concat(const IItemIdListPtr& pOther) const
{
    if (!pOther)
        return shared_from_this();
    const TIdListBuffer mine = Resolve();
    const TIdListBuffer theirs = pOther->WindowsPointer();
    if (!mine || !theirs)
        return InvalidItemIdList();
    return Create(pf::idl::Combine(pf::IdSpan(*mine), pf::IdSpan(*theirs)));
}

pf::IdSpan TKivItemIdList::GetElementNo(pf::IdSpan pList, int pElementsToSkip)
{
    if (pElementsToSkip < 0)
        throw EInvalidArgument(QStringLiteral("TKivItemIdList.GetStartItemIdList: The paramter "
                                              "pFragments must be greater or equal 0."));
    const std::size_t depth = pList.Depth();
    const std::size_t skip = std::min<std::size_t>(static_cast<std::size_t>(pElementsToSkip),
                                                   depth == 0 ? 0 : depth - 1);
    return pList.Skip(skip);
}

IItemIdListPtr TKivItemIdList::GetStartItemIdList(int pFragments) const
{
    if (pFragments < 0)
        throw EInvalidArgument(QStringLiteral("TKivItemIdList.GetStartItemIdList: The paramter "
                                              "pFragments must be greater or equal 0."));
    const TIdListBuffer list = Resolve();
    if (!list)
        return InvalidItemIdList();
    return Create(pf::idl::Prefix(pf::IdSpan(*list), static_cast<std::size_t>(pFragments)));
}

IItemIdListPtr TKivItemIdList::GetParent() const
{
    const TIdListBuffer list = Resolve();
    if (!list)
        throw EWayfoldError(
            QStringLiteral("Could not get the parent ItemIdList for invalid ItemIdList: "), this);
    const pf::IdSpan span(*list);
    if (span.IsEmpty())
        throw EWayfoldError(QStringLiteral("Could not get the parent ItemIdList for: "), this);
    return Create(pf::idl::RemoveLast(span));
}

IItemIdListPtr TKivItemIdList::GetLastPart() const
{
    const TIdListBuffer list = Resolve();
    if (!list)
        return InvalidItemIdList();
    return Create(pf::idl::LastAsList(pf::IdSpan(*list)));
}

// ---- paths and names ------------------------------------------------------------------------

QString TKivItemIdList::Path() const
{
    QString stored;
    {
        std::lock_guard lock(fLock);
        if (fPathFinal)
            return fPath;
        stored = fPath;
    }
    // A stored path is the answer unless it is the "not computed" marker or a text that is no
    // file-system path (a parsing name of a virtual item, a URL). Decided once: later calls are
    // a plain read.
    QString result = stored;
    if (!stored.isEmpty() && !fIsSimple) {
        const bool hasDelimiter = std::any_of(stored.begin(), stored.end(), IsHostDelimiter);
        const bool recompute = !hasDelimiter || stored.contains(QLatin1String("::")) ||
                               stored.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
        if (recompute)
            result = ComputePath();
    }
    std::lock_guard lock(fLock);
    if (fPath == stored) {
        fPath = result;
        fPathFinal = true;
    }
    return result;
}

QString TKivItemIdList::ComputePath() const
{
    const TIdListBuffer list = Resolve();
    if (!list) {
        const QString stored = StoredPath();
        return stored == kNotComputed ? QString() : stored;
    }
    QString path;
    Pf().Namespace().GetPathFromIdList(pf::IdSpan(*list), path);
    return path;
}

QString TKivItemIdList::DisplayName(TItemIdListDisplayNameFormat pFormat) const
{
    using F = TItemIdListDisplayNameFormat;
    if (fIsSimple && (pFormat == F::dnfPath || pFormat == F::dnfPreferPhysical)) {
        QString stored = StoredPath();
        if (!stored.isEmpty() && stored != kNotComputed)
            return stored;
    }
    if (pFormat == F::dnfPreferPhysical) {
        const QString path = Path();
        return path.isEmpty() ? DisplayName(F::dnfPath) : path;
    }
    const TIdListBuffer list = Resolve();
    if (pFormat == F::dnfForExplorer) {
        if (!list)
            return {};
        const pf::IdSpan span(*list);
        QStringList parts;
        for (std::size_t depth = 1; depth <= span.Depth(); ++depth) {
            const IItemIdListPtr prefix = Create(pf::idl::Prefix(span, depth));
            const QString parsing = prefix->DisplayName(F::dnfRelativeParsing);
            parts << (IsFolderClassId(parsing) ? parsing : prefix->DisplayName(F::dnfInFolder));
        }
        return parts.join(u'\\');
    }
    QString name;
    if (list) {
        if (const pf::IShellItemPtr item = ShellItem()) {
            if (Failed(item->GetDisplayName(*DisplayNameSigdn(pFormat), name)))
                name.clear();
        }
        // A URL-like name with a lone trailing "/" ("ftp://host/") loses it.
        if (name.endsWith(u'/') && name.count(u'/') == 3)
            name.chop(1);
    }
    if (name.isEmpty())
        return pFormat == F::dnfPath ? Path() : Name();
    if (pFormat == F::dnfPhysicalPath && name.startsWith(u'{'))
        return DisplayName(F::dnfPath);
    return name;
}

QString TKivItemIdList::Name() const
{
    QString name;
    if (const pf::IShellItemPtr item = ShellItem()) {
        if (Failed(item->GetDisplayName(pf::sigdn::FILESYSPATH, name)))
            name.clear();
    }
    if (name.isEmpty())
        name = Path();
    return IsDriveRoot(name) ? name : FileNamePart(name);
}

QString TKivItemIdList::DisplayPath() const
{
    QString path = DisplayName(TItemIdListDisplayNameFormat::dnfPreferPhysical);
    if (!path.isEmpty())
        return path;
    const QString stored = StoredPath();
    return stored.size() > 1 ? stored : QString();
}

pf::IShellItemPtr TKivItemIdList::ShellItem() const
{
    {
        std::lock_guard lock(fLock);
        if (fShellItem)
            return fShellItem;
    }
    const TIdListBuffer list = Resolve();
    if (!list)
        return nullptr;
    pf::IShellItemPtr item;
    if (Failed(Pf().Namespace().CreateShellItem(pf::IdSpan(*list), item)))
        return nullptr;
    // Items here are safe to share between threads, so the first one made is kept whatever the
    // thread; Quick Access entries are made afresh each time (their targets change under them).
    std::lock_guard lock(fLock);
    if (fSpecialFolder != TKivShellFolder::SF_QUICKACCESS && !fShellItem)
        fShellItem = item;
    return fShellItem ? fShellItem : item;
}

// ---- comparison -----------------------------------------------------------------------------

bool TKivItemIdList::HostIsCaseSensitive()
{
    return Pf().FileSystem().Style() == pf::PathStyle::Posix;
}

bool TKivItemIdList::SamePath(const QString& pA, const QString& pB, bool pCaseSensitive)
{
    // One trailing delimiter off each side ("/" alone stays), compared without copies: this
    // runs for every display comparison of two lists.
    const auto isDelimiter = [pCaseSensitive](QChar pChar) {
        return pChar == u'/' || (!pCaseSensitive && pChar == u'\\');
    };
    const auto trimmed = [&](const QString& pPath) {
        QStringView view(pPath);
        if (view.size() > 1 && isDelimiter(view.back()))
            view.chop(1);
        return view;
    };
    const QStringView a = trimmed(pA);
    const QStringView b = trimmed(pB);
    if (a.size() != b.size())
        return false;
    if (pCaseSensitive)
        return a == b;
    // Only ASCII letters fold, as the platform's path comparison does.
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

int TKivItemIdList::CompareTo(const IItemIdListPtr& pOther, TItemIdListComparison pMode) const
{
    if (!pOther)
        return -1;
    if (pMode == TItemIdListComparison::ilcDisplay &&
        !IsSpecialFolder(TKivShellFolder::SF_DESKTOP) &&
        !pOther->IsSpecialFolder(TKivShellFolder::SF_DESKTOP)) {
        const QString mine = Path();
        const QString theirs = pOther->Path();
        if (!mine.isEmpty() && !theirs.isEmpty() && SamePath(mine, theirs, HostIsCaseSensitive()))
            return 0;
    }
    const TKivItemIdList* other = AsKiv(pOther);
    if (!other)
        return -1;
    return CompareByPlatform(*other, pMode);
}

int TKivItemIdList::CompareByPlatform(const TKivItemIdList& pOther,
                                      TItemIdListComparison pMode) const
{
    const TIdListBuffer mine = Resolve();
    const TIdListBuffer theirs = pOther.Resolve();
    std::uint32_t hint = ShellCompareHint(pMode);
    if (pMode == TItemIdListComparison::ilcDisplay && mine && theirs &&
        pf::IdSpan(*mine).Depth() == 2 && pf::IdSpan(*theirs).Depth() == 2) {
        // Pins of Quick Access name their targets: two pins are the same only when identical.
        if (const TIdListBuffer quick = TSpecialFolders::QuickAccessList()) {
            pf::INamespace& ns = Pf().Namespace();
            if (ns.FindChild(pf::IdSpan(*quick), pf::IdSpan(*mine)) &&
                ns.FindChild(pf::IdSpan(*quick), pf::IdSpan(*theirs)))
                hint = SICHINT_CANONICAL;
        }
    }
    if (!mine || !theirs)
        return mine == theirs ? 0 : (mine ? 1 : -1);
    // The same bytes are the same item; only different bytes need the folders' judgement.
    if (*mine == *theirs)
        return 0;
    const pf::IShellFolderPtr desktop = Pf().Namespace().Desktop();
    if (!desktop)
        return -1;
    const auto order = [&](std::uint32_t pHint) {
        const pf::HResult result =
            desktop->CompareIDs(pHint, pf::IdSpan(*mine), pf::IdSpan(*theirs));
        if (Failed(result) && (pf::HResultCode(result) == 0))
            return -1;
        return static_cast<int>(static_cast<std::int16_t>(pf::HResultCode(result)));
    };
    const int byName = order(hint);
    if (byName != 0 || hint == SICHINT_CANONICAL)
        return byName;
    // Names that sort equal (by the column's rules, which may ignore case) are not yet the same
    // item: on a case-sensitive file system "a" and "A" are two files. Identity decides.
    return order(SICHINT_CANONICAL);
}

bool TKivItemIdList::Equals(const IItemIdListPtr& pOther, TItemIdListComparison pMode) const
{
    if (!pOther)
        return false;
    if (pOther.get() == this)
        return true;
    if (pMode == TItemIdListComparison::ilcDisplay &&
        !IsSpecialFolder(TKivShellFolder::SF_DESKTOP) &&
        !pOther->IsSpecialFolder(TKivShellFolder::SF_DESKTOP)) {
        const QString mine = Path();
        const QString theirs = pOther->Path();
        if (!mine.isEmpty() && !theirs.isEmpty())
            return SamePath(mine, theirs, HostIsCaseSensitive());
    }
    if (pMode == TItemIdListComparison::ilcExact && Depth() != pOther->Depth())
        return false;
    return CompareTo(pOther, pMode) == 0;
}

bool TKivItemIdList::IsParentOf(const IItemIdListPtr& pChild, bool pAcceptsEquals,
                                TItemIdListComparison pMode) const
{
    if (!pChild)
        return false;
    const TIdListBuffer mine = Resolve();
    const TIdListBuffer theirs = pChild->WindowsPointer();
    if (mine && theirs) {
        if (const std::optional<bool> below = IsBelow(*mine, *theirs, pAcceptsEquals))
            return *below;
    }
    if (pMode == TItemIdListComparison::ilcExact)
        return false;
    const QString mine_ = Path();
    const QString theirs_ = pChild->Path();
    if (mine_.isEmpty() || theirs_.isEmpty())
        return false;
    const bool caseSensitive = HostIsCaseSensitive();
    if (SamePath(mine_, theirs_, caseSensitive))
        return pAcceptsEquals;
    const QString parent =
        TPathUtils::ExcludeTrailingPathDelimiter(mine_) + TPathUtils::Delimiter(kHostPathStyle);
    const QString prefix = parent == QLatin1String("//") ? QStringLiteral("/") : parent;
    return theirs_.startsWith(prefix, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
}

bool TKivItemIdList::IsParentOf(TKivShellFolder pFolder, const IItemIdListPtr& pChild,
                                bool pAcceptsEquals)
{
    if (pFolder == TKivShellFolder::SF_UNKNOWN || pFolder == TKivShellFolder::SF_INVALID || !pChild)
        return false;
    if (pFolder == TKivShellFolder::SF_QUICKACCESS) {
        // Not in the cache of lists (its content changes); its place is.
        const TIdListBuffer quick = TSpecialFolders::QuickAccessList();
        const TIdListBuffer child = pChild->WindowsPointer();
        if (!quick || !child)
            return false;
        return IsBelow(*quick, *child, pAcceptsEquals).value_or(false);
    }
    const IItemIdListPtr special = CreateForSpecialFolder(pFolder, true);
    if (!special || special->IsInvalid())
        return false;
    return special->IsParentOf(pChild, pAcceptsEquals, TItemIdListComparison::ilcExact);
}

bool TKivItemIdList::IsNetworkPidl(const IItemIdListPtr& pList)
{
    return IsParentOf(TKivShellFolder::SF_NETWORK, pList, true);
}

// ---- special folders ------------------------------------------------------------------------

TKivShellFolder TKivItemIdList::SpecialFolder() const
{
    {
        std::lock_guard lock(fLock);
        if (fSpecialFolder != TKivShellFolder::SF_INVALID)
            return fSpecialFolder;
    }
    const TKivShellFolder found = TSpecialFolders::Identify(*this);
    SetSpecialFolderValue(found);
    return found;
}

bool TKivItemIdList::IsSpecialFolder(TKivShellFolder pFolder) const
{
    if (pFolder == TKivShellFolder::SF_DESKTOP) {
        // Without resolving: only a list already known to be the empty one is the desktop.
        std::lock_guard lock(fLock);
        return fList && fList->size() >= 2 && (*fList)[0] == 0 && (*fList)[1] == 0;
    }
    TKivShellFolder known;
    {
        std::lock_guard lock(fLock);
        known = fSpecialFolder;
    }
    if (known != TKivShellFolder::SF_INVALID)
        return known == pFolder;
    const IItemIdListPtr special = CreateForSpecialFolder(pFolder, true);
    if (!special || special->IsInvalid())
        return false;
    if (CompareTo(special, TItemIdListComparison::ilcDisplay) != 0)
        return false;
    SetSpecialFolderValue(pFolder);
    return true;
}

// ---- attributes -----------------------------------------------------------------------------

bool TKivItemIdList::ComputedBrowsable() const
{
    if (IsInvalid() || !IsFolder())
        return false;
    const IItemIdListPtr self = shared_from_this();
    if (IsParentOf(TKivShellFolder::SF_BITBUCKET, self, false))
        return false;
    // The applets of Control Panel's categories open windows of their own.
    return !(Depth() == 3 && IsParentOf(TKivShellFolder::SF_CONTROLS, self, false));
}

bool TKivItemIdList::QuickFileSystemCheck() const
{
    const QString stored = StoredPath();
    if (stored.size() <= 1 || stored == kNotComputed)
        return false;
    pf::IFileSystem& fs = Pf().FileSystem();
    // A path on a network mount is never touched here: the mount may hang. The item's own
    // attributes (from its snapshot) answer instead.
    if (fs.GetDriveType(stored) == pf::DriveType::Remote)
        return false;
    return fs.GetFileAttributes(stored) != pf::fileattr::INVALID;
}

bool TKivItemIdList::HasAttributes(std::uint32_t pMask) const
{
    std::uint32_t mask = pMask;
    if (mask & pf::sfgao::BROWSABLE) {
        if (ComputedBrowsable())
            return true;
        mask &= ~pf::sfgao::BROWSABLE;
        if (mask == 0)
            return false;
    }
    if ((mask & pf::sfgao::FILESYSTEM) && QuickFileSystemCheck())
        return true;
    const pf::IShellItemPtr item = ShellItem();
    if (!item)
        return false;
    std::uint32_t attributes = 0;
    return Succeeded(item->GetAttributes(mask, attributes)) && (attributes & mask) != 0;
}

bool TKivItemIdList::IsFolder() const
{
    return HasAttributes(pf::sfgao::FOLDER);
}

bool TKivItemIdList::IsSlow() const
{
    if (IsInvalid())
        return false;
    const IItemIdListPtr self = shared_from_this();
    if (Depth() <= 2 && IsParentOf(TKivShellFolder::SF_NETWORK, self, false))
        return true;
    if (IsParentOf(TKivShellFolder::SF_NETHOOD, self, false))
        return true;
    // Every place on a network mount is slow here, not only its root: mounts are folders of
    // the one tree, so a listing anywhere below one may block on the network. Read from the
    // mount table, without touching the mount.
    const QString path = Path();
    return !path.isEmpty() && Pf().FileSystem().GetDriveType(path) == pf::DriveType::Remote;
}

IItemIdListPtr TKivItemIdList::LinkTarget() const
{
    IItemIdListPtr self = shared_from_this();
    if (Pf().Info().Profile().Win10OrLater && Depth() > 0 &&
        IsParentOf(TKivShellFolder::SF_QUICKACCESS, self, false))
        return Parse(DisplayPath());
    if (!HasAttributes(pf::sfgao::LINK))
        return self;
    // Links here are symbolic links: a relative target is relative to the link's folder.
    const QString path = Path();
    QString target;
    if (path.isEmpty() || Failed(Pf().FileSystem().ReadLink(path, target)) || target.isEmpty())
        return self;
    if (!TPathUtils::IsRooted(target))
        target = TPathUtils::Combine(DirectoryPart(path), target);
    const IItemIdListPtr resolved = Parse(TPathUtils::RemoveRelativeParts(target));
    return resolved && !resolved->IsInvalid() ? resolved : self;
}

bool TKivItemIdList::Reload() const
{
    std::lock_guard reloadLock(fPidlLock);
    if (IsInvalid())
        return false;
    const pf::IShellItemPtr item = ShellItem();
    if (!item)
        return false;
    const pf::HResult result = item->Update();
    if (result == pf::E_NOINTERFACE)
        return true;
    if (Failed(result))
        return false;
    pf::IdListBytes bytes;
    if (Failed(item->GetIdList(bytes)))
        return false;
    std::lock_guard lock(fLock);
    fList = std::make_shared<const pf::IdListBytes>(std::move(bytes));
    fState = TState::Resolved;
    return true;
}

// ---- properties -----------------------------------------------------------------------------

TShellPropertyValue TKivItemIdList::GetPropertyValue(const TShellColumnId& pColumn) const
{
    TShellPropertyValue value;
    const pf::IShellItemPtr item = ShellItem();
    if (!item)
        return value;
    pf::PropVariant variant;
    const pf::PropertyKey key{ToGuid(pColumn.Column.FormatId), pColumn.Column.PropertyId};
    if (Succeeded(item->GetProperty(key, variant)))
        value.FPropertyVariant = ToVariant(variant);
    return value;
}

QString TKivItemIdList::GetShellInformation(const std::vector<TShellColumnId>& pColumns,
                                            int pLastIndex, bool pFirstOnly) const
{
    QStringList texts;
    const int last = std::min<int>(pLastIndex, static_cast<int>(pColumns.size()) - 1);
    const pf::IShellItemPtr item = last >= 0 ? ShellItem() : nullptr;
    for (int i = 0; item && i <= last; ++i) {
        const TShellColumnId& column = pColumns[static_cast<std::size_t>(i)];
        const pf::PropertyKey key{ToGuid(column.Column.FormatId), column.Column.PropertyId};
        pf::PropVariant value;
        if (Failed(item->GetProperty(key, value)))
            continue;
        // As a details view shows it: sizes in whole kilobytes.
        const QString text = pf::PropertySystem::FormatForDisplay(
            key, value,
            pf::pdff::NOAUTOREADINGORDER | (key == pf::pkey::Size ? pf::pdff::ALWAYSKB : 0u));
        if (text.isEmpty())
            continue;
        if (pFirstOnly)
            return text;
        texts << text;
    }
    return texts.join(QStringLiteral("\r\n"));
}

void TKivItemIdList::SetPropertyValue(const TShellColumnId&, const TShellPropertyValue&) const
{
    // No property store for writing is offered by the platform here.
    throw EWayfoldError(pf::E_NOINTERFACE, this);
}

// ---- operations on the item -----------------------------------------------------------------

IItemIdListPtr TKivItemIdList::CreateNewFolder(const QString& pName) const
{
    const QString name =
        pName.isEmpty() ? PlatformText({30320, 30396}, QStringLiteral("New Folder")) : pName;
    const QString parentPath = Path();
    const bool writable = !parentPath.isEmpty() && HasAttributes(pf::sfgao::FOLDER) &&
                          HasAttributes(pf::sfgao::FILESYSTEM) && HasAttributes(pf::sfgao::STORAGE);
    if (!writable)
        throw EWayfoldError(
            PlatformText({6437}, QStringLiteral("The folder could not be created here.")), this);
    pf::IFileSystem& fs = Pf().FileSystem();
    QString candidate = name;
    pf::HResult result = pf::E_FAIL;
    for (int number = 1; number <= kMaxNewFolderNumber; ++number) {
        result = fs.CreateDirectory(TPathUtils::Combine(parentPath, candidate));
        const auto code = pf::HResultCode(result);
        if (!Failed(result) ||
            (code != pf::win32::ERROR_ALREADY_EXISTS && code != pf::win32::ERROR_FILE_EXISTS))
            break;
        candidate = name + QStringLiteral(" (%1)").arg(number);
    }
    if (Failed(result))
        return InvalidItemIdList();
    const TIdListBuffer list = Resolve();
    pf::IShellFolderPtr folder;
    if (!list || Failed(Pf().Namespace().BindToFolder(pf::IdSpan(*list), folder)) || !folder)
        return InvalidItemIdList();
    pf::IdListBytes child;
    if (Failed(folder->ParseDisplayName(nullptr, nullptr, candidate, child, nullptr)))
        return InvalidItemIdList();
    return Create(folder, pf::IdSpan(child));
}

IItemIdListPtr TKivItemIdList::Rename(const QString& pNewName, pf::WindowRef pWindow,
                                      bool pUpdatePidl) const
{
    if (!HasAttributes(pf::sfgao::CANRENAME))
        throw EWayfoldError(QStringLiteral("Element cannot be renamed"), this);
    std::lock_guard reloadLock(fPidlLock);
    const TIdListBuffer list = Resolve();
    if (!list)
        throw EWayfoldError(QStringLiteral("Element cannot be renamed"), this);
    pf::IShellFolderPtr parent;
    pf::IdListBytes last;
    EWayfoldError::Check(Pf().Namespace().BindToParent(pf::IdSpan(*list), parent, last));
    pf::IdListBytes newItem;
    // File names have no hidden extensions here, so the new name is always the parsing name.
    EWayfoldError::Check(parent->SetNameOf(pWindow, pf::IdSpan(last), pNewName,
                                           pf::shgdn::INFOLDER | pf::shgdn::FORPARSING, &newItem));
    auto renamed = std::make_shared<const pf::IdListBytes>(
        pf::idl::Combine(pf::IdSpan(pf::idl::RemoveLast(pf::IdSpan(*list))), pf::IdSpan(newItem)));
    if (pUpdatePidl) {
        std::lock_guard lock(fLock);
        fList = renamed;
        fState = TState::Resolved;
        fSpecialFolder = TKivShellFolder::SF_INVALID;
        fPath = kNotComputed;
        fPathFinal = false;
        fShellItem.reset();
    }
    return Create(renamed, TItemIdListOwnership::iloForeignOwned);
}

void TKivItemIdList::OpenCommandPrompt() const
{
    QString directory;
    if (IsFolder()) {
        directory = Path();
    } else if (Depth() > 0) {
        directory = GetParent()->Path();
    }
    if (directory.isEmpty())
        throw EWayfoldError(
            QStringLiteral("Only for file system objects a command promnpt can be opened."), this);
    pf::IExec* exec = Pf().Exec();
    if (!exec)
        throw EWayfoldError(pf::E_NOINTERFACE, this);
    // The user's terminal ($TERMINAL, which may carry arguments of its own), else the system's
    // choice. Started directly with an argument list: the folder's name never reaches a shell.
    QStringList candidates;
    const QString variable = QStringLiteral("%TERMINAL%");
    const QString fromEnvironment = Pf().FileSystem().ExpandEnvironmentStrings(variable).trimmed();
    if (!fromEnvironment.isEmpty() && fromEnvironment != variable)
        candidates << fromEnvironment;
    candidates << QStringLiteral("x-terminal-emulator");
    pf::HResult result = pf::E_FAIL;
    for (const QString& candidate : candidates) {
        QStringList words = candidate.split(u' ', Qt::SkipEmptyParts);
        const QString program = words.takeFirst();
        result = exec->StartDetached(program, words, directory);
        if (Succeeded(result))
            return;
    }
    EWayfoldError::Check(result, directory);
}

void TKivItemIdList::DeleteNoUndo() const
{
    const IItemIdListPtr parent = GetParent();
    const QString parentPath = parent->Path();
    const QString path = Path();
    if (parentPath.isEmpty() || path.isEmpty())
        throw EWayfoldError(static_cast<pf::HResult>(pf::win32::ERROR_NOT_SUPPORTED), this);
    pf::IFileSystem& fs = Pf().FileSystem();
    // Removes the entry and, for a real folder, everything in it; a symbolic link is removed
    // itself, never followed.
    std::function<pf::HResult(const QString&)> remove = [&](const QString& pPath) {
        pf::FindData data;
        pf::HResult result = fs.GetFindData(pPath, data);
        if (Failed(result))
            return result;
        const bool folder = (data.Attributes & pf::fileattr::DIRECTORY) &&
                            !(data.Attributes & pf::fileattr::REPARSE_POINT);
        if (!folder)
            return fs.DeleteFile(pPath);
        std::unique_ptr<pf::IFindHandle> handle;
        result = fs.FindFirst(pPath, handle);
        if (Failed(result))
            return result;
        pf::FindData entry;
        while ((result = handle->Next(entry)) == pf::S_OK) {
            const pf::HResult inner = remove(TPathUtils::Combine(pPath, entry.Name));
            if (Failed(inner))
                return inner;
        }
        handle.reset();
        return Failed(result) ? result : fs.RemoveDirectory(pPath);
    };
    EWayfoldError::Check(remove(path), path);
}

void TKivItemIdList::InvokeCommand(const TShellCommand& pCommand) const
{
    if (IsInvalid())
        throw EWayfoldError(static_cast<pf::HResult>(pf::win32::ERROR_FILE_NOT_FOUND),
                            StoredPath());
    RejectUnavailableVerb(pCommand);
    switch (pCommand.Command()) {
    case TShellAction::saRename:
        throw ENotSupportedException(QStringLiteral("saRename not supported. Use Rename instead."));
    case TShellAction::saBdeUnlock:
        throw ENotSupportedException(
            QStringLiteral("Unlocking an encrypted drive is not available here."));
    case TShellAction::saCopyPath:
        PutTextOnClipboard(DisplayPath());
        return;
    case TShellAction::saCopy:
    case TShellAction::saCut:
        if (pCommand.Destination.isEmpty()) {
            PutItemsOnClipboard({std::const_pointer_cast<TKivItemIdList>(shared_from_this())},
                                pCommand.Command() == TShellAction::saCut);
            return;
        }
        break;
    case TShellAction::saCreateNewFolder:
        CreateNewFolder(pCommand.Destination);
        return;
    case TShellAction::saOpenCommandPrompt:
        OpenCommandPrompt();
        return;
    case TShellAction::saDeleteNoUndo:
        DeleteNoUndo();
        return;
    case TShellAction::saExplore:
        // Opens the folder holding the item (the item's own folder for a root).
        if (Depth() > 1 && !IsDriveRoot(Path()))
            GetParent()->InvokeCommand(TShellCommand(TShellAction::saOpen));
        else
            InvokeCommand(TShellCommand(TShellAction::saOpen));
        return;
    default:
        break;
    }
    // Everything else is a verb of the item's context menu, which its parent folder makes.
    const TIdListBuffer list = Resolve();
    if (!list)
        throw EWayfoldError(static_cast<pf::HResult>(pf::win32::ERROR_FILE_NOT_FOUND),
                            StoredPath());
    pf::IShellFolderPtr parent;
    pf::IdListBytes last;
    EWayfoldError::Check(Pf().Namespace().BindToParent(pf::IdSpan(*list), parent, last),
                         DisplayPath());
    pf::IContextMenuPtr menu;
    const pf::IdSpan items[] = {pf::IdSpan(last)};
    EWayfoldError::Check(parent->GetContextMenu(nullptr, items, menu), DisplayPath());
    if (!menu)
        throw EWayfoldError(pf::E_NOINTERFACE, DisplayPath());
    // What starts runs where the command says; a file in its own folder.
    QString directory;
    const TShellAction action = pCommand.Command();
    if (action == TShellAction::saDefault || action == TShellAction::saOpen) {
        const QString path = Path();
        directory = !path.isEmpty() && !IsFolder() ? DirectoryPart(path) : pCommand.Destination;
    }
    InvokeMenuCommand(*menu, pCommand, directory, DisplayPath());
}

// ---- debug ----------------------------------------------------------------------------------

QString TKivItemIdList::GetInfo(TItemIdListInfoLevel pLevel) const
{
    QString path;
    TKivShellFolder folder;
    TState state;
    TIdListBuffer list;
    {
        std::lock_guard lock(fLock);
        path = fPath;
        folder = fSpecialFolder;
        state = fState;
        list = fList;
    }
    QString info = QStringLiteral("FPath: ") + path + QStringLiteral(", fSpecialFolder: ") +
                   KivShellFolderName(folder) + QStringLiteral(", ");
    info += state == TState::Unresolved ? QStringLiteral("Not Resolved yet")
            : list                      ? QStringLiteral("Valid")
                                        : QStringLiteral("Invalid");
    if (pLevel != TItemIdListInfoLevel::Verbose || !list)
        return info;
    try {
        const pf::IdSpan span(*list);
        info += QStringLiteral(", Depth: ") + QString::number(span.Depth()) + QStringLiteral(", ");
        QStringList names;
        for (std::size_t depth = 0; depth <= span.Depth(); ++depth)
            names << Create(pf::idl::Prefix(span, depth))
                         ->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder);
        info += names.join(u'\\');
    } catch (const std::exception& error) {
        info += QStringLiteral("Collecting information caused an error: ") +
                QString::fromUtf8(error.what());
    }
    return info;
}

} // namespace kiv

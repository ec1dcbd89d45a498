// Text to item identifier list: the forgiving parse behind the address bar, the tab files and
// the command line.

#include "core/folder/Wayfold.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/DebugLog.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/PathUtils.h"

#include <array>

namespace kiv {

using pf::Failed;
using pf::Succeeded;

namespace {

using F = TKivShellFolder;

qsizetype FirstDelimiter(const QString& pText)
{
    for (qsizetype i = 0; i < pText.size(); ++i) {
        if (IsHostDelimiter(pText[i]))
            return i;
    }
    return -1;
}

qsizetype LastDelimiter(const QString& pText)
{
    for (qsizetype i = pText.size() - 1; i >= 0; --i) {
        if (IsHostDelimiter(pText[i]))
            return i;
    }
    return -1;
}

QString DirectoryOf(const QString& pPath)
{
    const qsizetype last = LastDelimiter(pPath);
    if (last < 0)
        return {};
    return last == 0 ? pPath.left(1) : pPath.left(last);
}

bool IsUncPath(const QString& pPath)
{
    return pPath.startsWith(QLatin1String("\\\\"));
}

// A list that names nothing but keeps the text, so that Path and DisplayPath still answer it.
class TRememberedText final : public TKivItemIdList
{
public:
    static IItemIdListPtr Create(const QString& pText)
    {
        auto list = std::make_shared<TRememberedText>(TPrivate{});
        list->SetFailed(pText);
        return list;
    }
    explicit TRememberedText(TPrivate pPrivate)
        : TKivItemIdList(pPrivate)
    {
    }
};

// The child of pFolder named pName, parsed by the folder itself.
IItemIdListPtr ParseInside(const IItemIdListPtr& pFolder, const QString& pName)
{
    const TIdListBuffer list = pFolder->WindowsPointer();
    if (!list)
        return nullptr;
    pf::IShellFolderPtr folder;
    if (Failed(pf::Platform().Namespace().BindToFolder(pf::IdSpan(*list), folder)) || !folder)
        return nullptr;
    pf::IdListBytes child;
    if (Failed(folder->ParseDisplayName(nullptr, nullptr, pName, child, nullptr)))
        return nullptr;
    return TKivItemIdList::Create(folder, pf::IdSpan(child));
}

bool Valid(const IItemIdListPtr& pList)
{
    return pList && !pList->IsInvalid();
}

} // namespace

IItemIdListPtr TItemIdListParser::Parse(const QString& pPath, pf::WindowRef pWindow,
                                        bool pCompleteScan)
{
    // 1. Nothing, quotes, the Network folder.
    if (pPath.isEmpty())
        return InvalidItemIdList();
    QString path = pPath;
    if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"'))
        path = path.mid(1, path.size() - 2);
    if (path.isEmpty())
        return InvalidItemIdList();
    if (path == QLatin1String("\\\\*"))
        return TKivItemIdList::Create(path);

    // 2. The plain conversion.
    if (path.size() > 3)
        path = TPathUtils::ExcludeTrailingPathDelimiter(path);
    IItemIdListPtr result = TKivItemIdList::Create(path, nullptr, pWindow);

    // 3. Rooted paths are what they are; other text may be searched for.
    const bool unc = IsUncPath(path);
    const QString blankDelimiter = QStringLiteral(" ") + TPathUtils::Delimiter(kHostPathStyle);
    bool scan = true;
    if (unc || (!path.endsWith(u' ') && !path.contains(blankDelimiter))) {
        if (unc || TPathUtils::IsRooted(path) ||
            TPathUtils::StartsWithDriveLetter(path, TPathStyle::psWindows))
            return result;
        scan = pCompleteScan;
    }

    const bool mainThread = IsMainThread();
    // 4. Class ids, and names inside the folder parsed last.
    if (!Valid(result) && path.startsWith(QLatin1String("::{")))
        result = TKivItemIdList::Create(QStringLiteral("shell:") + path, nullptr, pWindow);
    if (!Valid(result) && mainThread) {
        if (const IItemIdListPtr last = TSpecialFolders::LastParsedFolder()) {
            const auto* kiv = dynamic_cast<const TKivItemIdList*>(last.get());
            const QString stored = kiv ? kiv->StoredPath() : QString();
            if (stored == path) {
                result = last;
            } else if (!stored.isEmpty() && stored == DirectoryOf(path)) {
                const IItemIdListPtr child = ParseInside(last, path.mid(LastDelimiter(path) + 1));
                if (Valid(child) &&
                    !child->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder).isEmpty())
                    result = child;
            }
        }
    }

    // 5. A special folder's name with a path under it, or a search from This PC and the desktop.
    if (!Valid(result)) {
        QString rest = path;
        if (rest.startsWith(QLatin1String("\\\\?\\")))
            rest = rest.mid(4);
        const qsizetype split = FirstDelimiter(rest);
        const QString head = split < 0 ? rest : rest.left(split);
        const QString tail = split < 0 ? QString() : rest.mid(split + 1);
        IItemIdListPtr found;
        if (const IItemIdListPtr special = TKivItemIdList::CreateForSpecialFolder(head)) {
            found = tail.isEmpty() ? special : ParseByEnumeration(special, tail, pWindow);
        } else if (scan) {
            for (const F root : {F::SF_DRIVES, F::SF_DESKTOP}) {
                found = ParseByEnumeration(TKivItemIdList::CreateForSpecialFolder(root, true), rest,
                                           pWindow);
                if (found)
                    break;
            }
        }
        if (found) {
            result = found;
            if (mainThread && Valid(found) && found->Depth() > 1) {
                // The parent remembered under the text the user typed for it.
                const IItemIdListPtr parent = found->GetParent();
                if (auto* kiv = const_cast<TKivItemIdList*>(
                        dynamic_cast<const TKivItemIdList*>(parent.get())))
                    kiv->SetStoredPath(DirectoryOf(path));
                TSpecialFolders::SetLastParsedFolder(parent);
            }
        }
    }

    // 6. Nothing found: an invalid list that still answers the text.
    if (!Valid(result))
        return TRememberedText::Create(path);
    return result;
}

IItemIdListPtr TItemIdListParser::ParseByEnumeration(const IItemIdListPtr& pFolder,
                                                     const QString& pRest, pf::WindowRef pWindow)
{
    if (!Valid(pFolder))
        return nullptr;
    QString rest = pRest;
    while (!rest.isEmpty() && IsHostDelimiter(rest[0]))
        rest.remove(0, 1);
    if (rest.isEmpty())
        return pFolder;
    const qsizetype split = FirstDelimiter(rest);
    const QString head = split < 0 ? rest : rest.left(split);
    const QString tail = split < 0 ? QString() : rest.mid(split + 1);
    try {
        // A short-lived folder component lists the children (prompts allowed when the caller
        // gave a window for them).
        TWayfold folder;
        folder.SetOwnerWindow(pWindow);
        folder.SetShowErrorMessages(pWindow != nullptr);
        folder.SetFolderIdList(pFolder);
        // A name that matches exactly wins; otherwise the first match ignoring case. Names here
        // are case-sensitive, so "a" must not be taken for "A" when both exist.
        IItemIdListPtr ignoringCase;
        while (folder.Next()) {
            QStringList names;
            for (const std::uint32_t flags : {pf::shgdn::INFOLDER | pf::shgdn::FORPARSING,
                                              pf::shgdn::INFOLDER, pf::shgdn::NORMAL}) {
                const QString name = folder.GetObjectDisplayName(flags);
                if (!name.isEmpty())
                    names << name;
            }
            IItemIdListPtr absolute;
            const auto lookAt = [&](const QStringList& pNames) {
                if (pNames.contains(head, Qt::CaseSensitive))
                    return 2;
                return pNames.contains(head, Qt::CaseInsensitive) ? 1 : 0;
            };
            int match = lookAt(names);
            if (match == 0) {
                absolute = folder.AbsoluteItemIdList();
                QStringList more;
                for (const auto format : {TItemIdListDisplayNameFormat::dnfRelativeForAddressBar,
                                          TItemIdListDisplayNameFormat::dnfRelativeParsing,
                                          TItemIdListDisplayNameFormat::dnfAbsoluteParsing})
                    more << absolute->DisplayName(format);
                match = lookAt(more);
            }
            if (match == 0)
                continue;
            if (!absolute)
                absolute = folder.AbsoluteItemIdList();
            if (match == 2) {
                TDebugLog::LogDebugVerboseMessage(QStringLiteral("ItemIdList.Parse. Found ") +
                                                  head);
                return tail.isEmpty() ? absolute : ParseByEnumeration(absolute, tail, pWindow);
            }
            if (!ignoringCase)
                ignoringCase = absolute;
        }
        if (!ignoringCase)
            return nullptr;
        TDebugLog::LogDebugVerboseMessage(QStringLiteral("ItemIdList.Parse. Found ") + head);
        return tail.isEmpty() ? ignoringCase : ParseByEnumeration(ignoringCase, tail, pWindow);
    } catch (const EWayfoldError&) {
        return nullptr;
    }
}

} // namespace kiv

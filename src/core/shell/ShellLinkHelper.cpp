#include "core/shell/ShellLinkHelper.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IStream.h"
#include "core/platform/ShellConstants.h"
#include "core/shell/ClipboardFiles.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"

#include <QList>

namespace kiv {

namespace {

// .desktop files are small; anything larger is not one worth reading.
constexpr std::size_t kMaxDesktopFileSize = 64 * 1024;

QString FolderOf(const QString& pPath)
{
    const qsizetype slash = pPath.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : pPath.left(slash);
}

QByteArray ReadSmallFile(const QString& pPath)
{
    pf::IStreamPtr stream;
    if (pf::Failed(pf::Platform().FileSystem().OpenRead(pPath, stream)) || !stream)
        return {};
    QByteArray data;
    char buffer[4096];
    for (;;) {
        std::size_t read = 0;
        if (pf::Failed(stream->Read(buffer, sizeof buffer, read)) || read == 0)
            break;
        data.append(buffer, static_cast<qsizetype>(read));
        if (static_cast<std::size_t>(data.size()) > kMaxDesktopFileSize)
            return {};
    }
    return data;
}

IItemIdListPtr ValidOrNull(const IItemIdListPtr& pList)
{
    return pList && !pList->IsInvalid() ? pList : nullptr;
}

} // namespace

QString TShellLinkHelper::LinkFileName(const QString& pDestination, const QString& pLinkName,
                                       const QString& pSourceName, TPathStyle pStyle)
{
    QString name = pLinkName.isEmpty() ? pSourceName : pLinkName;
    if (pStyle == TPathStyle::psWindows) {
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot > 0)
            name.truncate(dot);
        name += QStringLiteral(".lnk");
    }
    QString folder = pDestination;
    if (!folder.endsWith(TPathUtils::Delimiter(pStyle)))
        folder += TPathUtils::Delimiter(pStyle);
    return folder + name;
}

IItemIdListPtr TShellLinkHelper::AddLinkTo(const IItemIdListPtr& pSource,
                                           const QString& pDestination, const QString& pLinkName)
{
    if (!pSource || pSource->IsInvalid() || pDestination.isEmpty())
        return nullptr;
    const QString target = pSource->Path();
    if (target.isEmpty())
        throw EWayfoldError(
            pf::HResultFromWin32(pf::win32::ERROR_NOT_SUPPORTED),
            QStringLiteral("A link to \"%1\" cannot be made here: it is not a "
                           "file-system item.")
                .arg(pSource->DisplayName(TItemIdListDisplayNameFormat::dnfNormal)));
    const QString fileName = LinkFileName(
        pDestination, pLinkName, pSource->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder));
    const pf::HResult result = pf::Platform().FileSystem().CreateSymbolicLink(target, fileName);
    if (pf::Failed(result))
        throw EWayfoldError(result, fileName);
    return TKivItemIdList::Create(fileName);
}

bool TShellLink::Load(const QString& pPath)
{
    if (pPath.isEmpty())
        return false;
    QString target;
    if (pf::Succeeded(pf::Platform().FileSystem().ReadLink(pPath, target)) && !target.isEmpty()) {
        if (!TPathUtils::IsRooted(target))
            target = TPathUtils::Combine(FolderOf(pPath), target);
        target = TPathUtils::RemoveRelativeParts(target);
    } else if (pPath.endsWith(QLatin1String(".desktop"))) {
        target = TShellLinkHelper::DesktopLinkTarget(ReadSmallFile(pPath));
    }
    if (target.isEmpty())
        return false;
    fLinkPath = pPath;
    fTargetPath = target;
    return true;
}

void TShellLink::Save(const QString& pPath) const
{
    if (fTargetPath.isEmpty())
        throw EWayfoldError(pf::E_INVALIDARG, pPath);
    EWayfoldError::Check(pf::Platform().FileSystem().CreateSymbolicLink(fTargetPath, pPath), pPath);
}

IItemIdListPtr TShellLink::Target() const
{
    return fTargetPath.isEmpty() ? nullptr : TKivItemIdList::Create(fTargetPath);
}

void TShellLink::SetTarget(const IItemIdListPtr& pTarget)
{
    fTargetPath = pTarget ? pTarget->Path() : QString();
}

TShellLinkPtr TShellLinkHelper::GetIShellLink(const IItemIdListPtr& pList)
{
    if (!pList || pList->IsInvalid() || !pList->HasAttributes(pf::sfgao::LINK))
        return nullptr;
    auto link = std::make_shared<TShellLink>();
    return link->Load(pList->Path()) ? link : nullptr;
}

TShellLinkPtr TShellLinkHelper::GetIShellLink(const QString& pPath, TPathStyle pStyle)
{
    if (pStyle == TPathStyle::psWindows &&
        !pPath.endsWith(QLatin1String(".lnk"), Qt::CaseInsensitive)) {
        const IItemIdListPtr netHood =
            TKivItemIdList::CreateForSpecialFolder(TKivShellFolder::SF_NETHOOD);
        QString folder = netHood ? netHood->Path() : QString();
        if (folder.isEmpty())
            return nullptr;
        if (!folder.endsWith(TPathUtils::Delimiter(pStyle)))
            folder += TPathUtils::Delimiter(pStyle);
        if (!pPath.startsWith(folder, Qt::CaseInsensitive))
            return nullptr;
    }
    auto link = std::make_shared<TShellLink>();
    return link->Load(pPath) ? link : nullptr;
}

IItemIdListPtr TShellLinkHelper::Resolve(const QString& pPath)
{
    TShellLink link;
    return link.Load(pPath) ? ValidOrNull(link.Target()) : nullptr;
}

IItemIdListPtr TShellLinkHelper::Resolve(const IItemIdListPtr& pList)
{
    return pList ? Resolve(pList->Path()) : nullptr;
}

QString TShellLinkHelper::DesktopLinkTarget(const QByteArray& pText)
{
    bool inEntry = false;
    bool isLink = false;
    QString target;
    for (QByteArray line : pText.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            // Only the main group counts; actions and other groups come after it.
            if (inEntry)
                break;
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Type")
            isLink = value == "Link";
        else if (key == "URL") {
            const QStringList paths = TClipboardFiles::ParseUriList(value);
            target = paths.size() == 1 ? paths.front() : QString();
        }
    }
    return isLink ? target : QString();
}

} // namespace kiv

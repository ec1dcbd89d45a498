#include "core/shell/ShellLinkHelper.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IStream.h"
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

IItemIdListPtr TShellLinkHelper::Resolve(const QString& pPath)
{
    if (pPath.isEmpty())
        return nullptr;
    pf::IFileSystem& fs = pf::Platform().FileSystem();
    QString target;
    if (pf::Succeeded(fs.ReadLink(pPath, target)) && !target.isEmpty()) {
        if (!TPathUtils::IsRooted(target))
            target = TPathUtils::Combine(FolderOf(pPath), target);
        return ValidOrNull(TKivItemIdList::Create(TPathUtils::RemoveRelativeParts(target)));
    }
    if (!pPath.endsWith(QLatin1String(".desktop")))
        return nullptr;
    target = DesktopLinkTarget(ReadSmallFile(pPath));
    return target.isEmpty() ? nullptr : ValidOrNull(TKivItemIdList::Create(target));
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

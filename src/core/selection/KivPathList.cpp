#include "KivPathList.h"

#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/PathUtils.h"
#include "core/shell/ShellLinkHelper.h"

namespace kiv {
namespace {

constexpr QChar kDelimiter = u'/';

} // namespace

TKivPathList::TKivPathList(bool pCheckIfExists)
    : fCheckIfExists(pCheckIfExists)
{
}

QString TKivPathList::PathKey(const QString& pPath)
{
    return kHostPathStyle == TPathStyle::psPosix ? pPath : pPath.toCaseFolded();
}

bool TKivPathList::NormalizePath(QString& pPath) const
{
    while (pPath.size() > 1 && pPath.endsWith(kDelimiter))
        pPath.chop(1);
    if (pPath.isEmpty())
        return false;
    if (fCheckIfExists &&
        pf::Platform().FileSystem().GetFileAttributes(pPath) == pf::fileattr::INVALID)
        return false;
    return true;
}

qsizetype TKivPathList::AddObject(const QString& pPath)
{
    QString path = pPath;
    if (!NormalizePath(path))
        return -1;
    const QString key = PathKey(path);
    if (const auto found = fIndex.constFind(key); found != fIndex.cend())
        return found.value();
    fPaths.append(path);
    fIndex.insert(key, fPaths.size() - 1);
    if (!fContainsNetworkPath && IsNetworkPath(path))
        fContainsNetworkPath = true;
    if (fSkipEvents == 0 && OnAdd)
        OnAdd(*this, path);
    return fPaths.size() - 1;
}

void TKivPathList::AddRange(const QStringList& pPaths)
{
    for (const QString& path : pPaths)
        AddObject(path);
}

bool TKivPathList::Remove(const QString& pPath)
{
    const qsizetype index = IndexOfPath(pPath);
    if (index < 0)
        return false;
    Remove(index);
    return true;
}

void TKivPathList::Remove(qsizetype pIndex)
{
    if (pIndex < 0 || pIndex >= fPaths.size())
        return;
    const QString path = fPaths.takeAt(pIndex);
    Reindex();
    if (fSkipEvents == 0 && OnRemove)
        OnRemove(*this, path);
}

void TKivPathList::Clear()
{
    const QStringList removed = std::exchange(fPaths, {});
    fIndex.clear();
    if (fSkipEvents != 0 || !OnRemove)
        return;
    for (const QString& path : removed)
        OnRemove(*this, path);
}

void TKivPathList::Reindex()
{
    fIndex.clear();
    for (qsizetype i = 0; i < fPaths.size(); ++i)
        fIndex.insert(PathKey(fPaths[i]), i);
}

qsizetype TKivPathList::IndexOfPath(const QString& pPath) const
{
    QString path = pPath;
    // Looking up never asks the disk: a path that vanished is still found to be removed.
    while (path.size() > 1 && path.endsWith(kDelimiter))
        path.chop(1);
    return fIndex.value(PathKey(path), -1);
}

bool TKivPathList::ContainsPath(const QString& pPath) const
{
    return IndexOfPath(pPath) >= 0;
}

bool TKivPathList::AllItemsSubpathOf(const QString& pSuperior) const
{
    for (const QString& path : fPaths) {
        if (!IsSubPathOf(pSuperior, path))
            return false;
    }
    return true;
}

bool TKivPathList::IsSubPathOf(const QString& pSuperior, const QString& pPossibleSub)
{
    QString superior = pSuperior;
    if (!superior.endsWith(kDelimiter))
        superior += kDelimiter;
    return pPossibleSub.size() > superior.size() &&
           PathKey(pPossibleSub).startsWith(PathKey(superior));
}

bool TKivPathList::ShareSameRoot(const QStringList& pPaths)
{
    if (pPaths.size() < 2)
        return true;
    pf::IFileSystem& fileSystem = pf::Platform().FileSystem();
    const QString first = fileSystem.MountOf(pPaths.first()).MountPath;
    for (qsizetype i = 1; i < pPaths.size(); ++i) {
        if (fileSystem.MountOf(pPaths[i]).MountPath != first)
            return false;
    }
    return true;
}

QStringList TKivPathList::SplitPath(const QString& pPath)
{
    QStringList parts = SplitPathByDelimiter(pPath, kDelimiter);
    if (pPath.startsWith(kDelimiter))
        parts.prepend(QString(kDelimiter));
    return parts;
}

QStringList TKivPathList::SplitPathByDelimiter(const QString& pPath, QChar pDelimiter)
{
    return pPath.split(pDelimiter, Qt::SkipEmptyParts);
}

QString TKivPathList::GetShortcutTarget(const QString& pPath)
{
    const IItemIdListPtr target = TShellLinkHelper::Resolve(pPath);
    if (!target || target->Path().isEmpty())
        return pPath;
    return target->Path();
}

bool TKivPathList::IsUNCPath(const QString& pPath)
{
    if (pPath.startsWith(u"\\\\"))
        return pPath.size() > 2 && pPath[2] != u'\\';
    return pPath.startsWith(u"//") && pPath.size() > 2 && pPath[2] != u'/';
}

bool TKivPathList::IsUncServer(const QString& pPath)
{
    if (!IsUNCPath(pPath))
        return false;
    const QChar delimiter = pPath[0];
    const qsizetype next = pPath.indexOf(delimiter, 2);
    return next < 0 || next == pPath.size() - 1;
}

bool TKivPathList::StartsWithDriveLetter(const QString& pPath)
{
    return TPathUtils::StartsWithDriveLetter(pPath, TPathStyle::psWindows);
}

bool TKivPathList::IsUSBDevicePath(const QString& pPath)
{
    return pPath.startsWith(u"\\\\?\\usb#vid", Qt::CaseInsensitive);
}

bool TKivPathList::IsNetworkPath(const QString& pPath)
{
    if (IsUNCPath(pPath))
        return true;
    return pf::Platform().FileSystem().GetDriveType(pPath) == pf::DriveType::Remote;
}

} // namespace kiv

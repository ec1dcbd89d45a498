#pragma once

// Shortcuts. On this host a shortcut is a symbolic link; freedesktop ".desktop" files of type
// Link that point at local files are read too (never written). AddLinkTo names the link as the
// family does everywhere: the destination folder, then the given name or the source's in-folder
// name; only the Windows style forces the ".lnk" extension.
//
// Every operation is thread-safe; all but LinkFileName and DesktopLinkTarget touch the disk.

#include "core/shell/KivShellTypes.h"
#include "core/shell/PathUtils.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace kiv {

// A shortcut file and its target. Load reads a symbolic link (a relative target is taken from
// the link's folder) or a ".desktop" Link to a local file; Save writes a symbolic link. The link
// stays readable when its target is gone: the target's path is kept as the link says it.
class TShellLink
{
public:
    // False (and nothing loaded) when pPath is no link.
    bool Load(const QString& pPath);
    // Raises EWayfoldError when the link cannot be written (or has no target).
    void Save(const QString& pPath) const;

    const QString& LinkPath() const { return fLinkPath; }
    const QString& TargetPath() const { return fTargetPath; }
    // The target's list; invalid when the target is gone, null when there is no target.
    IItemIdListPtr Target() const;
    void SetTarget(const IItemIdListPtr& pTarget);
    void SetTargetPath(const QString& pPath) { fTargetPath = pPath; }

private:
    QString fLinkPath;
    QString fTargetPath;
};

using TShellLinkPtr = std::shared_ptr<TShellLink>;

class TShellLinkHelper
{
public:
    // The full name of a new link in pDestination: pLinkName, else pSourceName; in the Windows
    // style with the extension ".lnk" (replacing any other).
    static QString LinkFileName(const QString& pDestination, const QString& pLinkName,
                                const QString& pSourceName, TPathStyle pStyle = kHostPathStyle);
    // Makes a link to pSource in the folder pDestination and answers its list; null for a null or
    // invalid source or an empty destination. Raises EWayfoldError when the link cannot be made
    // (a source without a file-system path cannot be linked here).
    static IItemIdListPtr AddLinkTo(const IItemIdListPtr& pSource, const QString& pDestination,
                                    const QString& pLinkName = {});
    // The target of a link file (a symbolic link, relative targets taken from its folder, or a
    // ".desktop" Link to a local file); null when pPath is none or its target names nothing.
    static IItemIdListPtr Resolve(const QString& pPath);
    static IItemIdListPtr Resolve(const IItemIdListPtr& pList);
    // The link object of an item that is a link (SFGAO_LINK); null for anything else.
    static TShellLinkPtr GetIShellLink(const IItemIdListPtr& pList);
    // The link object of a link file: in the Windows style only ".lnk" files and entries of
    // the network shortcuts; here also symbolic links and ".desktop" Links. Null when the file
    // is none or cannot be read.
    static TShellLinkPtr GetIShellLink(const QString& pPath, TPathStyle pStyle = kHostPathStyle);

    // The local path a ".desktop" file of type Link points at; empty for anything else.
    static QString DesktopLinkTarget(const QByteArray& pText);
};

} // namespace kiv

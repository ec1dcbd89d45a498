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

namespace kiv {

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
    // The local path a ".desktop" file of type Link points at; empty for anything else.
    static QString DesktopLinkTarget(const QByteArray& pText);
};

} // namespace kiv

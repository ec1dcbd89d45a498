#pragma once

#include "core/shell/ClipboardFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Files of remote places that the desktop's virtual file system has mounted (sftp://, smb://,
// mtp:// and the like) also have a local path: the system's FUSE bridge shows every mount as a
// folder named after its mount spec ("sftp:host=example.com,user=bob") under
// $XDG_RUNTIME_DIR/gvfs. Drops of such URIs are taken at that path; a URI whose place is not
// mounted there has no path and is skipped.

namespace kiv::pf::lnx {

// The local path of pUri below pGvfsRoot, given the names of the folders there (the mounts);
// nullopt when no mount serves it.
std::optional<QString> GvfsPathOfUri(const QByteArray& pUri, const QString& pGvfsRoot,
                                     const QStringList& pMounts);

// A mapper for the URI readers over the mounts of this session's bridge. The bridge's folder is
// listed once, on the first URI that needs it (a listing of the bridge's root asks only the
// local daemon, never a remote host); without a runtime folder or a bridge, every URI is skipped.
TUriToPath GvfsUriMapper();

} // namespace kiv::pf::lnx

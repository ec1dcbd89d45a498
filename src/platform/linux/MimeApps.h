#pragma once

#include "DesktopEntry.h"

#include <QString>

#include <optional>
#include <vector>

namespace kiv::pf::lnx {

// Which applications open which file types, after the freedesktop rules: the desktop entries of
// $XDG_DATA_HOME and $XDG_DATA_DIRS (the first of each id decides, Hidden ones hide it), and the
// mimeapps.list files of the configuration and data folders (the desktop's own
// "$desktop-mimeapps.list" before each) with their default, added and removed associations.
// Read afresh when a folder or list changes (their modification times are compared at every
// call); thread-safe.

// The application that opens pMimeType (its parents' applications when it has none of its own).
std::optional<TDesktopEntry> DefaultApplicationFor(const QString& pMimeType);
// The applications for pMimeType, the default first, then those associated with its parents;
// without duplicates.
std::vector<TDesktopEntry> ApplicationsFor(const QString& pMimeType);
// Every installed application that asks to be listed (NoDisplay ones are not), by name.
std::vector<TDesktopEntry> AllApplications();
// An installed application by desktop-file id.
std::optional<TDesktopEntry> ApplicationById(const std::string& pId);

// Reads the applications and associations now (a worker at start-up), so that the first menu
// finds them ready. A menu asked for while this runs does not read them a second time: it waits
// briefly for this one and, past that, lists no applications that time.
void WarmApplicationsIndex();

// The MIME type of a local file by its name (and "inode/directory" for folders), without reading
// it: menus are built on the user-interface thread.
QString MimeTypeOfPath(const QString& pPath, bool pFolder);

} // namespace kiv::pf::lnx

#pragma once

// Private helpers of the item identifier list, shared by its source files (the list itself, the
// special folders and the parser). Not for other components.

#include "core/platform/IShellFolder.h"
#include "core/platform/IdList.h"
#include "core/shell/KivItemIdList.h"

#include <QString>

namespace kiv {

// The platform's conversion of a path to an absolute list: the empty path is This PC; with a
// folder the path is parsed relative to it, else on the desktop ("shell:" prefixes are dropped
// when the desktop does not know them). False when the path names nothing.
bool PathToItemIdList(const pf::IShellFolderPtr& pFolder, const QString& pPath,
                      pf::WindowRef pWindow, pf::IdListBytes& pList);

// True on the thread that runs the application's event loop (or when there is no application,
// as in tools that use the lists from one thread).
bool IsMainThread();

// The special-folder table, the process-wide cache of their lists and the identification of a
// list. Thread-safe: the cache has its own lock; nothing slow runs under it.
class TSpecialFolders
{
public:
    // The special folder a list names (the algorithm behind TKivItemIdList::SpecialFolder).
    static TKivShellFolder Identify(const TKivItemIdList& pList);
    static IItemIdListPtr Create(TKivShellFolder pFolder, bool pFromCache);
    static IItemIdListPtr CreateByName(const QString& pName);
    // The desktop list shared by every caller: a foreign-owned buffer that is never freed.
    static IItemIdListPtr Desktop();
    // The binary list of Quick Access (or of its stand-in before Windows 10), made once per
    // platform; null when this host has none.
    static TIdListBuffer QuickAccessList();
    // The folder Parse found last (used on the main thread only).
    static IItemIdListPtr LastParsedFolder();
    static void SetLastParsedFolder(const IItemIdListPtr& pList);
    // Forgets every cached list (tests that install another platform; the cache also notices a
    // new platform by itself).
    static void Reset();
};

// Parse and its helpers (the algorithm behind TKivItemIdList::Parse).
class TItemIdListParser
{
public:
    static IItemIdListPtr Parse(const QString& pPath, pf::WindowRef pWindow, bool pCompleteScan);
    // The child of pFolder reached by the names in pRest, compared with each child's names;
    // null when a name matches no child.
    static IItemIdListPtr ParseByEnumeration(const IItemIdListPtr& pFolder, const QString& pRest,
                                             pf::WindowRef pWindow);
};

// The delimiters of the host's paths ("/" here; "\" too in Windows style).
bool IsHostDelimiter(QChar pChar);

} // namespace kiv

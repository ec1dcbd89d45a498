#pragma once

// Change notification: watchers register a set of items with an event mask and receive each
// change as (event code, list 1, list 2) on the user-interface thread. The event codes and flag
// words keep the values of the Windows shell, so a code stored or passed between components
// means the same on every host.
//
// Two levels feed the registrations:
//   interrupt level  what the file system reports (inotify on Linux), for the folders watched;
//   shell level      what the program itself announces through Notify(): its own file
//                    operations, renames, new folders and trash operations. These reach every
//                    matching registration at once, also where the file system reports nothing
//                    (network mounts).
// A registration on P receives an event when list 1 or list 2 is P, a direct child of P, or,
// for a recursive entry, any item below P.

#include "core/platform/IdList.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kiv::pf {

// Event codes (one per delivered event; masks are their unions).
namespace shcne {
inline constexpr std::uint32_t RENAMEITEM = 0x1;
inline constexpr std::uint32_t CREATE = 0x2;
inline constexpr std::uint32_t DELETE = 0x4;
inline constexpr std::uint32_t MKDIR = 0x8;
inline constexpr std::uint32_t RMDIR = 0x10;
inline constexpr std::uint32_t MEDIAINSERTED = 0x20;
inline constexpr std::uint32_t MEDIAREMOVED = 0x40;
inline constexpr std::uint32_t DRIVEREMOVED = 0x80;
inline constexpr std::uint32_t DRIVEADD = 0x100;
inline constexpr std::uint32_t NETSHARE = 0x200;
inline constexpr std::uint32_t NETUNSHARE = 0x400;
inline constexpr std::uint32_t ATTRIBUTES = 0x800;
inline constexpr std::uint32_t UPDATEDIR = 0x1000;
inline constexpr std::uint32_t UPDATEITEM = 0x2000;
inline constexpr std::uint32_t SERVERDISCONNECT = 0x4000;
inline constexpr std::uint32_t UPDATEIMAGE = 0x8000;
inline constexpr std::uint32_t DRIVEADDGUI = 0x10000;
inline constexpr std::uint32_t RENAMEFOLDER = 0x20000;
// List 1 carries the drive mask after its 2-byte count (bit 0 = A: … bit 25 = Z:).
inline constexpr std::uint32_t FREESPACE = 0x40000;
inline constexpr std::uint32_t ASSOCCHANGED = 0x8000000;
inline constexpr std::uint32_t ALLEVENTS = 0x7FFFFFFF;
} // namespace shcne

// Sources of a registration.
namespace shcnrf {
inline constexpr std::uint32_t InterruptLevel = 0x1;
inline constexpr std::uint32_t ShellLevel = 0x2;
// Interrupt-level events of sub-folders too (with a recursive entry).
inline constexpr std::uint32_t RecursiveInterrupt = 0x1000;
inline constexpr std::uint32_t NewDelivery = 0x8000;
} // namespace shcnrf

// Flags of Notify().
namespace shcnf {
inline constexpr std::uint32_t IDLIST = 0x0;
inline constexpr std::uint32_t FLUSH = 0x1000;
inline constexpr std::uint32_t FLUSHNOWAIT = 0x3000;
} // namespace shcnf

// Receives the events of its registrations. Called on the user-interface thread only, never
// while the platform holds a lock. pList2 is empty (no bytes at all) when the event has no
// second item.
class IChangeSink
{
public:
    virtual ~IChangeSink() = default;
    virtual void OnShellNotification(std::uint32_t pMessage, std::uint32_t pEvent,
                                     const IdListBytes& pList1, const IdListBytes& pList2) = 0;
};

// One watched item of a registration.
struct ChangeNotifyEntry
{
    IdListBytes List;
    bool Recursive = false;
};

// Thread-safe. A registration holds its sink weakly: a sink that is gone receives nothing, and
// nothing is delivered for a registration once Deregister has returned.
class IChangeNotify
{
public:
    virtual ~IChangeNotify() = default;
    // Registers the entries; the events of pEventMask are delivered to pSink with pMessage.
    // Returns the registration's id, 0 when it was refused. Never blocks on the watched places:
    // the file-system watches are set up in the background.
    virtual std::uint32_t Register(std::weak_ptr<IChangeSink> pSink, std::uint32_t pSources,
                                   std::uint32_t pEventMask, std::uint32_t pMessage,
                                   const std::vector<ChangeNotifyEntry>& pEntries) = 0;
    // False when pId names no registration.
    virtual bool Deregister(std::uint32_t pId) = 0;
    // Announces a change the program made itself (shell level). pList2 may be null.
    virtual void Notify(std::uint32_t pEvent, std::uint32_t pFlags, const IdSpan* pList1,
                        const IdSpan* pList2) = 0;
};

} // namespace kiv::pf

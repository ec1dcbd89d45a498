#pragma once

// The decision whether a folder is listed in the background: search results and folders on
// network mounts always are (the mount table tells, without touching the mount); other slow
// places (the Network folder, network shortcuts) are measured by a probe on the global pool that
// lists up to 101 objects and finds the folder slow when one object takes more than 9 ms on
// average, or when the probe has not finished within the wait (1000 ms). A fast folder is never
// probed. The caller waits at most the wait; on the user-interface thread the wait serves the
// calls queued to it. A probe that is late is cancelled and stops at its next object.

#include "core/shell/KivShellTypes.h"
#include "core/threading/ThreadingTypes.h"

#include <chrono>

namespace kiv {

// Objects the probe lists at most.
inline constexpr int kEnumerationProbeObjects = 101;
// An average above this per object makes a folder slow.
inline constexpr std::chrono::milliseconds kSlowObjectTime{9};
// How long the caller waits for the probe.
inline constexpr std::chrono::milliseconds kEnumerationProbeWait{1000};

// True when pFolder should be listed in the background. pCancel (the caller's token, may be
// null) stops the probe.
bool ShouldEnumerateAsync(const IItemIdListPtr& pFolder, const ICancellationIndicatorPtr& pCancel,
                          std::chrono::milliseconds pWait = kEnumerationProbeWait);

} // namespace kiv

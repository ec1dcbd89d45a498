#pragma once

// Running a shell command through a platform context menu: what items and collections do with
// every verb they have no code of their own for.

#include "core/platform/IContextMenu.h"
#include "core/shell/KivShellTypes.h"

#include <QString>

namespace kiv {

// Runs pCommand on pMenu. saDefault runs the menu's default entry (the command for "OPEN" when
// it has none or the query fails); every other command runs its verb, asked with
// cmic::ASYNCOK, and with cmic::SHIFT_DOWN for saDelete without soAllowUndo (delete for good)
// and cmic::FLAG_NO_UI with soSilent. pDirectory is the working directory of what starts.
// A failed invocation raises EWayfoldError with pWhat as its text.
void InvokeMenuCommand(pf::IContextMenu& pMenu, const TShellCommand& pCommand,
                       const QString& pDirectory, const QString& pWhat);

} // namespace kiv

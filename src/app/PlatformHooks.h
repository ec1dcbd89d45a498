#pragma once

// What the platform's context menus leave to the application: the properties dialog, the
// application chooser ("Choose Another Application"), the question before deleting for good or
// emptying the trash (the file operation engine's own delete question), and a message box for a
// command that failed in the background. Made at start-up once the platform and the dialogs of
// the file operation engine are installed; it also starts reading the applications index on the
// menus' worker, so the first "Open with" finds it ready.
//
// Going away, it waits for the commands still running in the background (an emptying trash, a
// paste, an archive being written), serving the user-interface thread's events meanwhile, and
// then takes the hooks away: it must go before the platform and the dispatcher do. Made and
// destroyed on the user-interface thread.
class TPlatformHooks
{
public:
    TPlatformHooks();
    ~TPlatformHooks();
    TPlatformHooks(const TPlatformHooks&) = delete;
    TPlatformHooks& operator=(const TPlatformHooks&) = delete;
};

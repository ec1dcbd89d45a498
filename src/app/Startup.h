#pragma once

// Runs the explorer: initialises the application, creates and shows the main window and runs the
// event loop until it closes. Returns the process exit code.
//
//   tovaline [--screenshot FILE.png]
//
// --screenshot waits until the main window has been shown and painted, saves it as a PNG and
// quits: how the program is looked at on a machine without a display.
int RunTovaline(int argc, char** argv);

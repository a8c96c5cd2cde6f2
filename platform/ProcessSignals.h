// The signals with which the desktop or a terminal asks the program to end: SIGTERM, SIGINT and
// SIGHUP. The handler only notes that one came (all a handler may safely do); the program's
// message loop looks at the note at every turn and ends the game in order, without asking.
#pragma once

namespace ProcessSignals {

// Installs the handler for the three signals, in place of their default (ending the process at
// once, the settings unsaved).
void InstallEndHandlers();

// The number of the first end signal that arrived, or 0 while none did.
int EndRequested();

}  // namespace ProcessSignals

// The single-instance guard: one copy of the program runs at a time for a user. Two program files
// of the same name exclude each other wherever they lie, and names that differ only in the case of
// their letters do too. The lock is the platform's (InstanceLock), held from before the window
// opens to after it is gone, and dropped by the kernel however the process ends.
#pragma once

#include <string>

namespace uMuteXApplication {

// The guard's name for a program file: "application_" and the file's name without its folder,
// lower-cased.
std::string GuardName(const std::string& programFile);

// Takes the guard for the running program. False when another copy holds it: the program then ends
// at once, silently, before it opens a window. When no lock can be made at all the program runs
// unguarded rather than not at all.
bool MutexApplicationInit();
// Gives the guard back, when it is held.
void MutexApplicationDone();

}  // namespace uMuteXApplication

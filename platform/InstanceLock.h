// The lock that lets one copy of a program run at a time for a user: an exclusive flock on a file
// named after the program. The kernel drops it when the process ends in any way, a crash included,
// so a copy that died never keeps the next one out.
#pragma once

#include <string>

namespace InstanceLock {

// The lock file for a lock name: in $XDG_RUNTIME_DIR when it is set, else in the temporary folder
// with the user's id in the file name (that folder is shared by every user).
std::string PathFor(const std::string& name);

enum class TTake {
    Taken,          // this process holds the lock now
    HeldElsewhere,  // another process holds it
    Unavailable,    // no lock file could be opened; the caller runs without one
};

// Takes the lock without waiting. The descriptor stays open (and the lock held) until Release or
// the end of the process; it is not handed to programs this one starts.
TTake Take(const std::string& name);
void Release();

}  // namespace InstanceLock

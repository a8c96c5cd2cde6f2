#include "shell/uMuteXApplication.h"

#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/InstanceLock.h"

namespace uMuteXApplication {

std::string GuardName(const std::string& programFile) {
    std::string name = "Application_" + std::filesystem::path(programFile).filename().string();
    // Only ASCII letters change: the name is UTF-8, whose multi-byte sequences have no byte below
    // 0x80.
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

bool MutexApplicationInit() {
    return InstanceLock::Take(GuardName(FileSystem::ProgramFile())) != InstanceLock::TTake::HeldElsewhere;
}

void MutexApplicationDone() {
    InstanceLock::Release();
}

}  // namespace uMuteXApplication

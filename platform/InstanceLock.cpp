#include "platform/InstanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace InstanceLock {
namespace {

int heldFd = -1;

}  // namespace

std::string PathFor(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return (std::filesystem::path(runtime) / (name + ".lock")).string();
    std::error_code ec;
    std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) temp = "/tmp";
    return (temp / (name + "-" + std::to_string(getuid()) + ".lock")).string();
}

TTake Take(const std::string& name) {
    Release();
    // No symbolic link is followed: in a shared temporary folder someone else could have placed
    // one where the file is expected.
    const int fd = open(PathFor(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return TTake::Unavailable;
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        return held ? TTake::HeldElsewhere : TTake::Unavailable;
    }
    heldFd = fd;
    return TTake::Taken;
}

void Release() {
    if (heldFd < 0) return;
    flock(heldFd, LOCK_UN);
    close(heldFd);
    heldFd = -1;
}

}  // namespace InstanceLock

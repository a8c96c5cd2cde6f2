#include "foundation/ErrorLogLib.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/FileSystem.h"

namespace ErrorLogLib {

TStringList ErrorList;
bool ErrorFlag = false;

namespace {

std::string& FolderRef() {
    static std::string folder;
    return folder;
}

// Whether the truncating write of the current list succeeded; appends go only to a file started so.
bool fileStarted = false;

std::string LogPath() {
    const std::string& folder = FolderRef();
    return (folder.empty() ? FileSystem::ProgramFolder() : folder) + "/ERRORLOG.txt";
}

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace

void ErrorLog(std::string_view message) {
    ErrorFlag = true;
    WriteErrorLog("[ERROR]:" + std::string(message));
}

void WriteErrorLog(std::string_view line) {
    ErrorList.Add(std::string(line));
    const std::string path = LogPath();
    int fd;
    // The log is never written through a symbolic link: a link in its place could point anywhere
    // outside the game folder. The first line replaces such a link by a file of its own.
    if (ErrorList.Count() == 1) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == ELOOP && ::unlink(path.c_str()) == 0)
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        fileStarted = fd >= 0;
    } else {
        // A missing file is not created again: the append is simply lost.
        fd = fileStarted ? ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC) : -1;
    }
    if (fd < 0) return;
    WriteAll(fd, std::string(line) + "\r\n");
    ::close(fd);
}

void ClearErrorLog() {
    ErrorList.Clear();
    fileStarted = false;
}

void SetLogFolder(std::string_view hostFolder) {
    FolderRef() = std::string(hostFolder);
}

const std::string& LogFolder() {
    return FolderRef();
}

}  // namespace ErrorLogLib

#include "foundation/ErrorLogLib.h"

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

}  // namespace

void ErrorLog(std::string_view message) {
    ErrorFlag = true;
    WriteErrorLog("[ERROR]:" + std::string(message));
}

void WriteErrorLog(std::string_view line) {
    ErrorList.Add(std::string(line));
    // The log is never written through a symbolic link: a link in its place could point anywhere
    // outside the game folder. The first line replaces such a link by a file of its own; a file
    // that went missing later is not made again, its lines are lost.
    const std::string bytes = std::string(line) + "\r\n";
    if (ErrorList.Count() == 1)
        fileStarted = FileSystem::AppendToFile(LogPath(), bytes, FileSystem::TAppend::Restart);
    else if (fileStarted)
        FileSystem::AppendToFile(LogPath(), bytes, FileSystem::TAppend::Existing);
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

#include "foundation/ErrorLogLib.h"

#include <string>

#include "platform/FileSystem.h"

std::string TErrorLog::LogPath() const {
    return (Folder.empty() ? FileSystem::ProgramFolder() : Folder) + "/ERRORLOG.txt";
}

void TErrorLog::ErrorLog(std::string_view message) {
    ErrorFlag = true;
    WriteErrorLog("[ERROR]:" + std::string(message));
}

void TErrorLog::WriteErrorLog(std::string_view line) {
    ErrorList.Add(std::string(line));
    // The log is never written through a symbolic link: a link in its place could point anywhere
    // outside the game folder. The first line replaces such a link by a file of its own; a file
    // that went missing later is not made again, its lines are lost.
    const std::string bytes = std::string(line) + "\r\n";
    if (ErrorList.Count() == 1)
        FileStarted = FileSystem::AppendToFile(LogPath(), bytes, FileSystem::TAppend::Restart);
    else if (FileStarted)
        FileSystem::AppendToFile(LogPath(), bytes, FileSystem::TAppend::Existing);
}

void TErrorLog::ClearErrorLog() {
    ErrorList.Clear();
    FileStarted = false;
}

// The game's folder: the host folder relative engine paths start from, with the file operations on
// engine paths below it (platform/FileSystem.h says how a path is found). The program and the
// headless runner make one and hand it down in the platform host; the main window moves it to the
// game's folder before the start-up; tests make one over their scratch folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TStream;

class TFileRoot {
public:
    // Starts at the current folder of the process.
    TFileRoot();
    explicit TFileRoot(std::string hostFolder);
    TFileRoot(const TFileRoot&) = delete;
    TFileRoot& operator=(const TFileRoot&) = delete;

    const std::string& Folder() const { return HostFolder; }
    // Relative engine paths and the outside libraries start here from now on, and whatever the
    // game writes (settings, the error log, debug logs, saves) goes here.
    void SetFolder(const std::string& hostFolder) { HostFolder = hostFolder; }

    // Host path of an existing file or folder, or "" when some segment does not exist.
    std::string HostPath(std::string_view enginePath) const;
    // Host path for creating a file; missing folders are not created.
    std::string HostPathForWrite(std::string_view enginePath) const;

    bool FileExists(std::string_view enginePath) const;  // false for folders
    bool DirectoryExists(std::string_view enginePath) const;
    bool CreateDir(std::string_view enginePath) const;         // one level; true when it exists afterwards
    bool ForceDirectories(std::string_view enginePath) const;  // every missing level
    bool DeleteFile(std::string_view enginePath) const;
    bool RenameFile(std::string_view from, std::string_view to) const;
    int64_t FileSize(std::string_view enginePath) const;  // -1 when it is not a file

    bool ReadFile(std::string_view enginePath, std::string& bytes) const;
    // Replaces a file safely, as FileSystem::ReplaceFileIn does.
    bool ReplaceFile(std::string_view enginePath, const std::function<bool(TStream&)>& writer) const;
    bool WriteFileReplace(std::string_view enginePath, std::string_view bytes) const;
    void RemoveStaleTemporaries(std::string_view enginePath) const;

    std::vector<std::string> ListFiles(std::string_view enginePathFolder, std::string_view mask = "*") const;
    std::vector<std::string> ListDirectories(std::string_view enginePathFolder, std::string_view mask = "*") const;

private:
    std::string HostFolder;
};

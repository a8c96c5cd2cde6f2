#include "platform/FileRoot.h"

#include <utility>

#include "platform/FileSystem.h"

TFileRoot::TFileRoot() : HostFolder(FileSystem::CurrentFolder()) {}

TFileRoot::TFileRoot(std::string hostFolder) : HostFolder(std::move(hostFolder)) {}

std::string TFileRoot::HostPath(std::string_view enginePath) const {
    return FileSystem::HostPathIn(HostFolder, enginePath);
}

std::string TFileRoot::HostPathForWrite(std::string_view enginePath) const {
    return FileSystem::HostPathForWriteIn(HostFolder, enginePath);
}

bool TFileRoot::FileExists(std::string_view enginePath) const {
    return FileSystem::FileExistsIn(HostFolder, enginePath);
}

bool TFileRoot::DirectoryExists(std::string_view enginePath) const {
    return FileSystem::DirectoryExistsIn(HostFolder, enginePath);
}

bool TFileRoot::CreateDir(std::string_view enginePath) const {
    return FileSystem::CreateDirIn(HostFolder, enginePath);
}

bool TFileRoot::ForceDirectories(std::string_view enginePath) const {
    return FileSystem::ForceDirectoriesIn(HostFolder, enginePath);
}

bool TFileRoot::DeleteFile(std::string_view enginePath) const {
    return FileSystem::DeleteFileIn(HostFolder, enginePath);
}

bool TFileRoot::RenameFile(std::string_view from, std::string_view to) const {
    return FileSystem::RenameFileIn(HostFolder, from, to);
}

int64_t TFileRoot::FileSize(std::string_view enginePath) const {
    return FileSystem::FileSizeIn(HostFolder, enginePath);
}

bool TFileRoot::ReadFile(std::string_view enginePath, std::string& bytes) const {
    return FileSystem::ReadFileIn(HostFolder, enginePath, bytes);
}

bool TFileRoot::ReplaceFile(std::string_view enginePath, const std::function<bool(TStream&)>& writer) const {
    return FileSystem::ReplaceFileIn(HostFolder, enginePath, writer);
}

bool TFileRoot::WriteFileReplace(std::string_view enginePath, std::string_view bytes) const {
    return FileSystem::WriteFileReplaceIn(HostFolder, enginePath, bytes);
}

void TFileRoot::RemoveStaleTemporaries(std::string_view enginePath) const {
    FileSystem::RemoveStaleTemporariesIn(HostFolder, enginePath);
}

std::vector<std::string> TFileRoot::ListFiles(std::string_view enginePathFolder, std::string_view mask) const {
    return FileSystem::ListFilesIn(HostFolder, enginePathFolder, mask);
}

std::vector<std::string> TFileRoot::ListDirectories(std::string_view enginePathFolder, std::string_view mask) const {
    return FileSystem::ListDirectoriesIn(HostFolder, enginePathFolder, mask);
}

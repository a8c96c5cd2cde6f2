// Files named by engine paths: Shift-JIS, backslash-separated, any case. A relative path starts
// at a host folder (the game's folder, held by TFileRoot in platform/FileRoot.h). Each segment is
// found on the host without regard to ASCII case, and names go to the host in UTF-8. "/" is
// accepted as a separator as well.
//
// Below the base folder nothing is read or written through a symbolic link that leads outside it:
// a path through such a link (a linked folder on the way, or a linked file to read) names nothing.
// A file that is written replaces a link in its own place instead of writing through it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TStream;

namespace FileSystem {

// The folder of the running program (host path, no trailing separator).
std::string ProgramFolder();
// The running program's file (host path); empty when the system does not tell.
std::string ProgramFile();

// The current folder of the process (host path).
std::string CurrentFolder();

// Host path of an existing file or folder below hostBase, or "" when some segment does not exist.
// A path that holds a zero byte names nothing, for reading or writing.
std::string HostPathIn(const std::string& hostBase, std::string_view enginePath);
// Host path for creating a file: existing segments are found regardless of case; the rest are
// taken as written (in UTF-8). Missing folders are not created.
std::string HostPathForWriteIn(const std::string& hostBase, std::string_view enginePath);

bool FileExistsIn(const std::string& hostBase, std::string_view enginePath);  // false for folders
bool DirectoryExistsIn(const std::string& hostBase, std::string_view enginePath);
// One level; true when it exists afterwards.
bool CreateDirIn(const std::string& hostBase, std::string_view enginePath);
// Every missing level.
bool ForceDirectoriesIn(const std::string& hostBase, std::string_view enginePath);
bool DeleteFileIn(const std::string& hostBase, std::string_view enginePath);
bool RenameFileIn(const std::string& hostBase, std::string_view from, std::string_view to);
int64_t FileSizeIn(const std::string& hostBase, std::string_view enginePath);  // -1 when it is not a file

bool ReadFileIn(const std::string& hostBase, std::string_view enginePath, std::string& bytes);

// Replaces a file safely: the writer fills a new temporary file beside it, which is flushed to
// the disk and renamed over the old name; then the folder is flushed, so that the rename itself
// survives a crash. A symbolic link in the file's place is replaced by the file, never written
// through. When the writer returns false or throws, or any step up to the rename fails, the
// temporary file is removed, the old file stays as it was and the result is false. A failed flush
// of the folder after the rename also gives false: the new file is in place but may not last.
bool ReplaceFileIn(const std::string& hostBase, std::string_view enginePath,
                   const std::function<bool(TStream&)>& writer);
bool WriteFileReplaceIn(const std::string& hostBase, std::string_view enginePath, std::string_view bytes);

// Removes what ReplaceFile leaves beside a file when the program is killed while it writes:
// temporary files named after the file with ".tmp" and the number of a process that is gone.
void RemoveStaleTemporariesIn(const std::string& hostBase, std::string_view enginePath);

// Adds bytes to the end of a file by host path (a log beside the program), never through a symbolic
// link: Restart creates or empties the file first (a link in its place is replaced by a new file),
// Existing adds only to a file that is there, CreateMissing creates a missing one. False when the file
// cannot be opened or not every byte reached it.
enum class TAppend { Restart, Existing, CreateMissing };
bool AppendToFile(const std::string& hostPath, std::string_view bytes, TAppend how);

// Waits until the bytes of an open file or folder are on the disk (fsync): what ReplaceFile and
// TFileStream::Sync call. Tests put a failing call in its place; the result is the previous one.
using TSyncCall = int (*)(int fd);
TSyncCall SetSyncCall(TSyncCall call);
int Sync(int fd);

// Names (Shift-JIS) of the entries of a folder whose names match a mask with "*" and "?"
// (without regard to case); files only, or folders only.
std::vector<std::string> ListFilesIn(const std::string& hostBase, std::string_view enginePathFolder,
                                     std::string_view mask = "*");
std::vector<std::string> ListDirectoriesIn(const std::string& hostBase, std::string_view enginePathFolder,
                                           std::string_view mask = "*");

}  // namespace FileSystem

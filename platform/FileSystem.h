// Files named by engine paths: Shift-JIS, backslash-separated, any case. A relative path starts
// at the root folder (the program's folder once the main window has set it; tests set their own).
// Each segment is found on the host without regard to ASCII case, and names go to the host in
// UTF-8. "/" is accepted as a separator as well.
//
// Below the root nothing is read or written through a symbolic link that leads outside it: a
// path through such a link (a linked folder on the way, or a linked file to read) names nothing.
// A file that is written replaces a link in its own place instead of writing through it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TStream;

namespace FileSystem {

// The folder relative engine paths start from: a host path. Default: the current folder.
void SetRoot(const std::string& hostFolder);
const std::string& Root();

// The folder of the running program (host path, no trailing separator).
std::string ProgramFolder();
// The running program's file (host path); empty when the system does not tell.
std::string ProgramFile();

// Host path of an existing file or folder, or "" when some segment does not exist. A path that
// holds a zero byte names nothing, for reading or writing.
std::string HostPath(std::string_view enginePath);
// The same below another host folder than the root.
std::string HostPathIn(const std::string& hostBase, std::string_view enginePath);
// Host path for creating a file: existing segments are found regardless of case; the rest are
// taken as written (in UTF-8). Missing folders are not created.
std::string HostPathForWrite(std::string_view enginePath);
std::string HostPathForWriteIn(const std::string& hostBase, std::string_view enginePath);

bool FileExists(std::string_view enginePath);  // false for folders
bool DirectoryExists(std::string_view enginePath);
bool CreateDir(std::string_view enginePath);         // one level; true when it exists afterwards
bool ForceDirectories(std::string_view enginePath);  // every missing level
bool DeleteFile(std::string_view enginePath);
bool RenameFile(std::string_view from, std::string_view to);
int64_t FileSize(std::string_view enginePath);  // -1 when it is not a file

bool ReadFile(std::string_view enginePath, std::string& bytes);

// Replaces a file safely: the writer fills a new temporary file beside it, which is flushed to
// the disk and renamed over the old name; then the folder is flushed, so that the rename itself
// survives a crash. A symbolic link in the file's place is replaced by the file, never written
// through. When the writer returns false or throws, or any step up to the rename fails, the
// temporary file is removed, the old file stays as it was and the result is false. A failed flush
// of the folder after the rename also gives false: the new file is in place but may not last.
bool ReplaceFile(std::string_view enginePath, const std::function<bool(TStream&)>& writer);
bool WriteFileReplace(std::string_view enginePath, std::string_view bytes);

// Removes what ReplaceFile leaves beside a file when the program is killed while it writes:
// temporary files named after the file with ".tmp" and the number of a process that is gone.
void RemoveStaleTemporaries(std::string_view enginePath);

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
std::vector<std::string> ListFiles(std::string_view enginePathFolder, std::string_view mask = "*");
std::vector<std::string> ListDirectories(std::string_view enginePathFolder, std::string_view mask = "*");

}  // namespace FileSystem

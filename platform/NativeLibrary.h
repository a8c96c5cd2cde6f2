// Native shared libraries named by engine paths ("DLL\SCRREP.dll"). The engine names its outside
// libraries the Windows way; here a ".dll" name also stands for the same name ending in ".so",
// which is tried first, since only that one can be loaded on this system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace NativeLibrary {

// The names an engine path stands for, in the order they are tried: for a ".dll" name the same
// name ending in ".so" first, then the name as written.
std::vector<std::string> Candidates(std::string_view enginePath);

// Host path of the library file an engine path names, each segment found without regard to ASCII
// case: below hostBase for a relative path, from the file-system root for one that starts with a
// separator. "" when no candidate is a file.
std::string Find(std::string_view enginePath, const std::string& hostBase);

// The host path an engine path stands for below hostBase, whether or not it exists (for messages).
std::string Expand(std::string_view enginePath, const std::string& hostBase);

// dlopen with every symbol bound at once and kept local; null when it fails, with the dynamic
// loader's own reason (dlerror) in *error when it is given.
void* Open(const std::string& hostPath, std::string* error = nullptr);
// Opens the first candidate that is a file and loads, by its absolute path; a candidate that does
// not load (a Windows file under the ".dll" name) gives way to the next. On success *loaded is the
// absolute host path. On failure, null, and *error names the file with the loader's reason, or
// the file this system would load with "no such library" when no candidate is a file.
void* Load(std::string_view enginePath, const std::string& hostBase, std::string* loaded, std::string* error);
void* Symbol(void* handle, const char* name);  // null when the library does not export it
void Close(void* handle);                      // null is allowed

}  // namespace NativeLibrary

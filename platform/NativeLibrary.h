// Native shared libraries named by engine paths ("DLL\SCRREP.dll"). The engine names its outside
// libraries the Windows way; here a ".dll" name also stands for the same name ending in ".so",
// which is tried first, since only that one can be loaded on this system.
#pragma once

#include <string>
#include <string_view>

namespace NativeLibrary {

// Host path of the library file an engine path names, each segment found without regard to ASCII
// case: below hostBase for a relative path, from the file-system root for one that starts with a
// separator. "" when no candidate is a file.
std::string Find(std::string_view enginePath, const std::string& hostBase);

// The host path an engine path stands for below hostBase, whether or not it exists (for messages).
std::string Expand(std::string_view enginePath, const std::string& hostBase);

// dlopen with every symbol bound at once and kept local; null when it fails, with the dynamic
// loader's own reason (dlerror) in *error when it is given.
void* Open(const std::string& hostPath, std::string* error = nullptr);
void* Symbol(void* handle, const char* name);  // null when the library does not export it
void Close(void* handle);                      // null is allowed

}  // namespace NativeLibrary

// The error log: script errors become lines of an in-memory list and of "ERRORLOG.txt" beside
// the program, and raise the flag that stops the interpreter's line loop.
#pragma once

#include <string_view>

#include "platform/ClassLib.h"

namespace ErrorLogLib {

extern TStringList ErrorList;
extern bool ErrorFlag;

// Raises the flag and writes "[ERROR]:" followed by the message.
void ErrorLog(std::string_view message);
// Appends a line to the list and the file; the first line after a clear truncates the file.
void WriteErrorLog(std::string_view line);
void ClearErrorLog();

}  // namespace ErrorLogLib

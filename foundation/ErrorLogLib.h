// The error log: script errors become lines of an in-memory list and of "ERRORLOG.txt" in the
// log's folder, and raise the flag that stops the interpreter's line loop.
//
// The file holds the list's lines since the list was last emptied, each ended by CR LF, in
// Shift-JIS: the line that makes the list one line long creates or truncates the file, every later
// line is appended. A file that cannot be written loses its line silently; the list keeps it. When
// the truncating write fails, the lines after it are not appended either, so an older run's file
// never gets this run's lines mixed into it.
//
// The game context holds the one log of a game (TGameContext::Log); the units that write to it
// reach it through their owner.
#pragma once

#include <string>
#include <string_view>

#include "platform/ClassLib.h"

class TErrorLog {
public:
    // Raises the flag and writes "[ERROR]:" followed by the message.
    void ErrorLog(std::string_view message);
    // Appends a line to the list and the file; the first line after a clear truncates the file.
    void WriteErrorLog(std::string_view line);
    // Empties the list, so that the next line starts a new file.
    void ClearErrorLog();

    // The host folder "ERRORLOG.txt" is written to; empty (the default) means the program's folder.
    // Tests point it at a scratch folder.
    void SetLogFolder(std::string_view hostFolder) { Folder = std::string(hostFolder); }
    const std::string& LogFolder() const { return Folder; }

    TStringList ErrorList;
    bool ErrorFlag = false;

private:
    std::string LogPath() const;

    std::string Folder;
    // Whether the truncating write of the current list succeeded; appends go only to a file started so.
    bool FileStarted = false;
};

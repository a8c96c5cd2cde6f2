// What a game may ask of the desktop outside its window: open a file, a folder or an address the
// way the desktop opens it, start a program, and name the user's special folders. This stands in
// for the window system's "open" verb and its look-up of special folders.
//
// Opening a name (Shift-JIS, an engine path or a bare program name) decides in this order:
//   - an address ("scheme://..." or "mailto:...") goes to xdg-open;
//   - a program made for the other window system (".exe", ".com", ".bat", ".cmd", ".pif", ".scr",
//     ".lnk", ".msi") cannot run here: nothing starts;
//   - an existing folder, or an existing file that is not executable, goes to xdg-open;
//   - an existing executable file starts itself, with the parameters as its arguments;
//   - a bare name (no folder part) that is no file here is looked for on the PATH;
//   - anything else starts nothing.
// Programs start through posix_spawn with an argument vector: no shell ever reads a name or a
// parameter, so spaces, quotes and ";" in them are only characters.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TFileRoot;  // platform/FileRoot.h

// A program to start: its file (a host path, or a bare name looked for on the PATH) and its whole
// argument vector, argv[0] included. Host texts are UTF-8.
struct TProgramStart {
    std::string Program;
    std::vector<std::string> Arguments;
    bool SearchPath = false;
};

class IDesktop {
public:
    virtual ~IDesktop() = default;
    // Opens the name with the parameters (both Shift-JIS) as above; false when nothing started.
    virtual bool Open(const std::string& name, const std::string& parameters) = 0;
};

namespace Desktop {

// The parameters split into arguments as programs of the other window system split their command
// line: blanks separate; double quotes group and are dropped; a backslash before a quote makes it
// a plain quote (2n backslashes before a quote give n and the quote groups, 2n + 1 give n and a
// plain quote); other backslashes are plain characters; "" inside quotes is one plain quote.
std::vector<std::string> SplitArguments(std::string_view parameters);

// What opening the name (an engine path below the root, or a bare name) would start; false when
// it starts nothing.
bool PlanOpen(const TFileRoot& root, const std::string& name, const std::string& parameters, TProgramStart& start);

// The host folder (UTF-8, no trailing separator) of a special-folder number of the other window
// system, from the user's XDG folders: 0 and 16 the desktop, 5 the documents, 39 the pictures,
// 13 the music, 14 the videos, 26 and 28 the data home. Empty for any other number and when the
// home folder is unknown.
std::string SpecialFolder(int32_t folder);

}  // namespace Desktop

// The desktop of this system: programs start for real. Children that ended are collected at the
// next start and when the desktop goes; those still running are left to run.
class TPosixDesktop final : public IDesktop {
public:
    // Names are engine paths below the root.
    explicit TPosixDesktop(const TFileRoot& root) : Root(root) {}
    ~TPosixDesktop() override;
    TPosixDesktop(const TPosixDesktop&) = delete;
    TPosixDesktop& operator=(const TPosixDesktop&) = delete;

    bool Open(const std::string& name, const std::string& parameters) override;
    // Starts the program; false, with the reason in Error, when it cannot.
    bool Start(const TProgramStart& start);
    // The reason the last start failed.
    const std::string& Error() const { return LastError; }

private:
    void CollectEnded();
    const TFileRoot& Root;
    std::vector<pid_t> Children;
    std::string LastError;
};

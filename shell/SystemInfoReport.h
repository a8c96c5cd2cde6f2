// The report on the information pages of the configuration and start-up dialogs: the program,
// its settings and the machine, one fact a line, as plain text a player copies into a support
// request. The machine's facts are the system-information library's answers; "N/A" stands for
// a fact it does not answer (on this system: DirectX, file versions, the OS service pack).
//
// The drives section lists each name of the library's "DRIVE,drives" answer with two lines:
// mount point, device and kind, then free and total MiB and the file system.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

class TDllSystemInfo;
struct TSystemData;

namespace SystemInfoReport {

// The library's answer to a key, or def when there is no library or its answer is empty.
std::string QueryInfo(const TDllSystemInfo* library, const std::string& key, const std::string& def);

// What the report says about the program itself (Shift-JIS).
struct TProgramFacts {
    std::string Date;         // today, in the short form "2024/05/31"
    std::string Title;        // the application's title
    std::string ProgramPath;  // the program file
    // The game's version text: only the configuration dialog's report has that line.
    std::optional<std::string> VersionText;
};

// Facts of the running program under the application's title; the version text is left out.
TProgramFacts CurrentFacts(const std::string& title);

// A key's answer, or the default when there is none (QueryInfo, or answers a test fixes).
using TQuery = std::function<std::string(const std::string& key, const std::string& def)>;

// The report's lines in order.
std::vector<std::string> Lines(const TProgramFacts& facts, const TSystemData& config, const TQuery& query);

// The report of the running program, the live configuration and the library (none: every
// machine fact is "N/A"): lines ended by CR LF, as the information pages show it.
std::string Build(const TSystemData& config, const TDllSystemInfo* library, const std::string& title,
                  std::optional<std::string> versionText);

}  // namespace SystemInfoReport

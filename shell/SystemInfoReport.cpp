#include "shell/SystemInfoReport.h"

#include <ctime>

#include "foundation/SystemConfigLib.h"
#include "foundation/uDllSystemInfo.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"

namespace SystemInfoReport {

namespace {

constexpr const char* kNone = "N/A";

// A count of bytes from an answer, in MiB; an answer that is no number counts as 0.
int64_t Mebibytes(const std::string& answer) {
    int64_t bytes = 0;
    if (!uMisc::TryStrToInt(answer, 64, uMisc::THexPrefix::Dollar, bytes)) bytes = 0;
    return bytes / 1024 / 1024;
}

std::string Number(int64_t n) {
    return std::to_string(n);
}

}  // namespace

std::string QueryInfo(const TDllSystemInfo* library, const std::string& key, const std::string& def) {
    if (!library) return def;
    std::string answer = library->GetInfo(key);
    return answer.empty() ? def : answer;
}

TProgramFacts CurrentFacts(const std::string& title) {
    TProgramFacts facts;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char date[32] = "";
    if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y/%m/%d", &local);
    facts.Date = date;
    facts.Title = title;
    facts.ProgramPath = Encoding::Utf8ToSjis(FileSystem::ProgramFile());
    return facts;
}

std::vector<std::string> Lines(const TProgramFacts& facts, const TSystemData& c, const TQuery& query) {
    auto q = [&](const std::string& key) { return query(key, kNone); };
    std::vector<std::string> l;
    l.push_back("■APPLICATION"_sj);
    l.push_back("Date   :" + facts.Date);
    l.push_back("Name   :" + facts.Title);
    l.push_back("Path   :" + facts.ProgramPath);
    l.push_back("Version:" + q("File,FileVersion," + facts.ProgramPath));
    if (facts.VersionText) l.push_back("       :" + *facts.VersionText);
    l.push_back("Type   :Relese");

    l.push_back("■CONFIG"_sj);
    l.push_back("Screen :" + Number(c.FullScreen));
    l.push_back("Color  :" + Number(c.ColorMode));
    l.push_back("FPSLim :" + Number(c.FPSLimit));
    l.push_back("IL     :" + Number(c.Interlace));
    l.push_back("SndLen :" + Number(c.StreamLength));
    l.push_back("GamePad:" + Number(c.UseGamePad));
    l.push_back("Movie  :" + Number(c.MovieDecoder));
    l.push_back("CRC    :" + Number(c.CRCCheck));
    l.push_back("Cache  :" + Number(c.CacheSize));

    l.push_back("■OS"_sj);
    l.push_back("Name   :" + q("OS,Name"));
    l.push_back("Version:Build " + q("OS,Build") + " (" + q("OS,CSDVersion") + ")");

    l.push_back("■DirectX"_sj);
    l.push_back("Version:" + q("DirectX,Version") + " 以上"_sj);
    for (const char* dll :
         {"ddraw  :ddraw.dll", "dsound :dsound.dll", "dinput :dinput.dll", "d3d8   :d3d8.dll", "d3d9   :d3d9.dll"}) {
        const std::string_view d(dll);
        l.push_back(std::string(d.substr(0, 8)) + q("File,FileVersion," + std::string(d.substr(8))));
    }

    l.push_back("■CPU"_sj);
    l.push_back("Name   :" + q("CPU,Name") + " (famiry" + q("CPU,Famiry") + "/model" + q("CPU,Model") + "/stepping" +
                q("CPU,Stepping") + ")");
    l.push_back("Vender :" + q("CPU,vender"));
    l.push_back("Clock  :" + q("CPU,clock") + "MHz");
    l.push_back("L1Cache:" + q("CPU,L1Cache") + "KB");
    l.push_back("L2Cache:" + q("CPU,L2Cache") + "KB");
    for (const char* flag :
         {"MMX    :MMX", "SSE    :SSE", "SSE2   :SSE2", "3DNow  :3DNow", "HTT    :HTT", "x8664  :X8664"}) {
        const std::string_view f(flag);
        l.push_back(std::string(f.substr(0, 8)) + q("CPU," + std::string(f.substr(8))));
    }

    l.push_back("■MEMORY"_sj);
    l.push_back("Memory :" + Number(Mebibytes(q("MEM,AvailMemory"))) + "/" + Number(Mebibytes(q("MEM,TotalMemory"))) +
                "MB");
    l.push_back("Page   :" + q("MEM,AvailPage") + "/" + q("MEM,TotalPage"));

    l.push_back("■DISPLAY/VGA"_sj);
    l.push_back("Name   :" + q("DISPLAY,Name,0"));
    l.push_back("State  :" + q("DISPLAY,Width") + "x" + q("DISPLAY,Height") + " " + q("DISPLAY,Color") + "bit " +
                q("DISPLAY,Refresh") + "Hz");

    l.push_back("■SOUND"_sj);
    l.push_back("Name   :" + q("SOUND,Name,0"));

    l.push_back("■DRIVE"_sj);
    // Every comma separates two names, untrimmed; the answer "N/A" is a name like any other.
    const std::string drives = q("DRIVE,drives");
    size_t start = 0;
    while (true) {
        const size_t comma = drives.find(',', start);
        const std::string d = drives.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        l.push_back(d + ":\\    :" + q("DRIVE,Name," + d) + " [" + q("DRIVE,Type," + d) + "]");
        l.push_back(std::string(1, ' ') + "      :" + Number(Mebibytes(q("DRIVE,Avail," + d))) + "/" +
                    Number(Mebibytes(q("DRIVE,Total," + d))) + "MB " + query("DRIVE,FileSystem," + d, ""));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return l;
}

std::string Build(const TSystemData& config, const TDllSystemInfo* library, const std::string& title,
                  std::optional<std::string> versionText) {
    TProgramFacts facts = CurrentFacts(title);
    facts.VersionText = std::move(versionText);
    std::string text;
    const TQuery query = [library](const std::string& key, const std::string& def) {
        return QueryInfo(library, key, def);
    };
    for (const std::string& line : Lines(facts, config, query))
        text += line + "\r\n";
    return text;
}

}  // namespace SystemInfoReport

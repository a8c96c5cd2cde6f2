// The information pages' report: every line in its place and form, from the settings and answers
// fixed by the test; what it says without the system-information library; and the library's own
// answers on this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "foundation/uDllSystemInfo.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "shell/SystemInfoReport.h"

namespace {

std::vector<std::string> Utf8(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        out.push_back(Encoding::SjisToUtf8(l));
    return out;
}

TEST(SystemInfoReportTest, LinesFollowTheirFormats) {
    TSystemData c;
    c.FullScreen = 1, c.ColorMode = 0, c.FPSLimit = 60, c.Interlace = 1, c.StreamLength = 131072;
    c.UseGamePad = 0, c.MovieDecoder = 1, c.CRCCheck = 1, c.CacheSize = 20971520;
    const std::map<std::string, std::string> answers = {
        {"File,FileVersion,/opt/game/kel", "1.2.3"},
        {"OS,Name", "Debian GNU/Linux 12"},
        {"OS,Build", "6.1.0"},
        {"OS,CSDVersion", "#1 SMP"},
        {"File,FileVersion,dsound.dll", "5.3"},
        {"CPU,Name", "Some CPU"},
        {"CPU,Famiry", "6"},
        {"CPU,Model", "158"},
        {"CPU,Stepping", "10"},
        {"CPU,vender", "GenuineIntel"},
        {"CPU,clock", "3600"},
        {"CPU,L1Cache", "32"},
        {"CPU,L2Cache", "256"},
        {"CPU,MMX", "Yes"},
        {"CPU,SSE2", "Yes"},
        {"CPU,X8664", "Yes"},
        {"MEM,AvailMemory", "4294967296"},  // 4096 MiB: past 32 bits
        {"MEM,TotalMemory", "lots"},        // no number: 0
        {"MEM,AvailPage", "100"},
        {"MEM,TotalPage", "200"},
        {"DISPLAY,Name,0", "Screen"},
        {"DISPLAY,Width", "1920"},
        {"DISPLAY,Height", "1080"},
        {"DISPLAY,Color", "24"},
        {"DISPLAY,Refresh", "60"},
        {"SOUND,Name,0", "pulseaudio"},
        {"DRIVE,drives", "/, /home"},  // names are not trimmed: the second is " /home"
        {"DRIVE,Name,/", "/dev/vda"},
        {"DRIVE,Type,/", "Fixed"},
        {"DRIVE,Avail,/", "1048576000"},
        {"DRIVE,Total,/", "2097152000"},
        {"DRIVE,FileSystem,/", "ext4"},
    };
    std::vector<std::string> asked;
    SystemInfoReport::TQuery query = [&](const std::string& key, const std::string& def) {
        asked.push_back(key + "|" + def);
        auto it = answers.find(key);
        return it == answers.end() ? def : it->second;
    };
    SystemInfoReport::TProgramFacts facts{"2024/05/31", "テスト"_sj, "/opt/game/kel", "ver 1.00"_sj};

    const std::vector<std::string> expected = {
        "■APPLICATION",
        "Date   :2024/05/31",
        "Name   :テスト",
        "Path   :/opt/game/kel",
        "Version:1.2.3",
        "       :ver 1.00",
        "Type   :Relese",
        "■CONFIG",
        "Screen :1",
        "Color  :0",
        "FPSLim :60",
        "IL     :1",
        "SndLen :131072",
        "GamePad:0",
        "Movie  :1",
        "CRC    :1",
        "Cache  :20971520",
        "■OS",
        "Name   :Debian GNU/Linux 12",
        "Version:Build 6.1.0 (#1 SMP)",
        "■DirectX",
        "Version:N/A 以上",
        "ddraw  :N/A",
        "dsound :5.3",
        "dinput :N/A",
        "d3d8   :N/A",
        "d3d9   :N/A",
        "■CPU",
        "Name   :Some CPU (famiry6/model158/stepping10)",
        "Vender :GenuineIntel",
        "Clock  :3600MHz",
        "L1Cache:32KB",
        "L2Cache:256KB",
        "MMX    :Yes",
        "SSE    :N/A",
        "SSE2   :Yes",
        "3DNow  :N/A",
        "HTT    :N/A",
        "x8664  :Yes",
        "■MEMORY",
        "Memory :4096/0MB",
        "Page   :100/200",
        "■DISPLAY/VGA",
        "Name   :Screen",
        "State  :1920x1080 24bit 60Hz",
        "■SOUND",
        "Name   :pulseaudio",
        "■DRIVE",
        "/:\\    :/dev/vda [Fixed]",
        "       :1000/2000MB ext4",
        " /home:\\    :N/A [N/A]",
        "       :0/0MB ",
    };
    const std::vector<std::string> lines = Utf8(SystemInfoReport::Lines(facts, c, query));
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    // The file system alone has no "N/A" of its own: its default is empty.
    EXPECT_NE(std::find(asked.begin(), asked.end(), "DRIVE,FileSystem, /home|"), asked.end());

    // The start-up dialog's report has no version-text line.
    facts.VersionText.reset();
    const std::vector<std::string> startup = Utf8(SystemInfoReport::Lines(facts, c, query));
    EXPECT_EQ(startup.size(), lines.size() - 1);
    EXPECT_EQ(startup[5], "Type   :Relese");
}

TEST(SystemInfoReportTest, WithoutTheLibraryEveryAnswerIsNA) {
    const std::string text =
        Encoding::SjisToUtf8(SystemInfoReport::Build(TSystemConfig().Config, nullptr, "Untitle", std::nullopt));
    EXPECT_NE(text.find("\r\nName   :N/A\r\nVersion:Build N/A (N/A)\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nMemory :0/0MB\r\n"), std::string::npos);
    // The one drive "N/A" with its two lines end the report.
    const std::string drives = "■DRIVE\r\nN/A:\\    :N/A [N/A]\r\n       :0/0MB \r\n";
    ASSERT_GE(text.size(), drives.size());
    EXPECT_EQ(text.substr(text.size() - drives.size()), drives);
}

#ifdef KEL_SYSTEMINFO_LIBRARY
// The library answers from this machine; the drives are the writable mounted file systems, each
// with a device, a size and a file system.
TEST(SystemInfoReportTest, TheLibraryAnswersFromThisMachine) {
    TDllSystemInfo library;
    ASSERT_TRUE(library.LoadDLL(TFileRoot(), KEL_SYSTEMINFO_LIBRARY));
    const std::string text =
        Encoding::SjisToUtf8(SystemInfoReport::Build(TSystemConfig().Config, &library, "Untitle", std::string("v1")));
    EXPECT_NE(text.find("\r\n       :v1\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Memory :0/"), std::string::npos) << text;
    const size_t drives = text.find("■DRIVE\r\n");
    ASSERT_NE(drives, std::string::npos);
    EXPECT_NE(text.find("/:\\    :", drives), std::string::npos) << text.substr(drives);
    EXPECT_EQ(text.find("[N/A]", drives), std::string::npos) << text.substr(drives);
}
#endif

}  // namespace

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

using namespace SystemConfigLib;

namespace {

class ConfigTest : public ::testing::Test {
protected:
    TSystemConfig Settings;
    // Serves the named files, and no others, as if they were in the packs.
    void ServeFiles(std::map<std::string, std::string> files) {
        auto shared = std::make_shared<std::map<std::string, std::string>>(std::move(files));
        Context.Packs.FileExistsHook = [shared](const std::string& n) { return shared->count(n) > 0; };
        Context.Packs.LoadFileHook = [shared](const std::string& n) -> std::unique_ptr<TMemoryStream> {
            auto it = shared->find(n);
            if (it == shared->end()) return nullptr;
            return std::make_unique<TMemoryStream>(it->second);
        };
    }
    TContextFixture Context;
    const TPackSet& Packs = Context.Packs;
};

TSystemData ReadUser(const std::string& text) {
    TSystemData d;
    TMemoryStream s(text);
    LoadUserConfig(d, &s);
    return d;
}

TSystemData ReadSystem(const std::string& text) {
    TSystemData d;
    TMemoryStream s(text);
    LoadSystemConfig(d, &s);
    return d;
}

std::string Write(const TSystemData& d, const std::string& before) {
    TMemoryStream s(before);
    SaveUserConfig(d, &s);
    return s.AsString();
}

// Every user setting as a name and a text, for whole-record comparisons.
std::vector<std::string> UserFields(const TSystemData& d) {
    std::vector<std::string> r;
    auto add = [&](const std::string& n, const std::string& v) { r.push_back(n + "=" + v); };
    add("FullScreen", std::to_string(d.FullScreen));
    add("SurfaceMemory", std::to_string(d.SurfaceMemory));
    add("ColorMode", std::to_string(d.ColorMode));
    add("UseGamePad", std::to_string(d.UseGamePad));
    add("FPSLimit", std::to_string(d.FPSLimit));
    add("StreamLength", std::to_string(d.StreamLength));
    add("Interlace", std::to_string(d.Interlace));
    add("CacheSize", std::to_string(d.CacheSize));
    add("MovieDecoder", std::to_string(d.MovieDecoder));
    add("CRCCheck", std::to_string(d.CRCCheck));
    add("TaskTrayMode", std::to_string(d.TaskTrayMode));
    add("ForceDirectSoundMode", std::to_string(d.ForceDirectSoundMode));
    for (size_t i = 0; i < d.Font.size(); ++i) {
        const auto& f = d.Font[i];
        add("Font" + std::to_string(i),
            f.Name + "/" + std::to_string(f.Style) + "/" + std::to_string(f.AA) + "/" + std::to_string(f.StyleColor));
    }
    add("Volumes",
        std::to_string(d.BGMVolume) + "/" + std::to_string(d.VOICEVolume) + "/" + std::to_string(d.SEVolume));
    add("Mutes", std::to_string(d.BGMMute) + "/" + std::to_string(d.VOICEMute) + "/" + std::to_string(d.SEMute));
    add("MessageSpeed", std::to_string(d.MessageSpeed));
    add("MessageAlpha", std::to_string(d.MessageAlpha));
    add("AutoPlayWaitTime", std::to_string(d.AutoPlayWaitTime));
    add("AutoPlayClickTime", std::to_string(d.AutoPlayClickTime));
    for (size_t i = 0; i < d.ActorVolume.size(); ++i)
        add("Actor" + std::to_string(i), std::to_string(d.ActorVolume[i]) + "/" + std::to_string(d.ActorMute[i]));
    return r;
}

// ---- key=value syntax ----

TEST_F(ConfigTest, IntegerSyntax) {
    struct Case {
        std::string text;
        int32_t want;
    } cases[] = {
        {"FPSLimit=60", 60},
        {"fpslimit=60", 60},                  // names match without regard to case
        {"FPSLIMIT=60\r\nFPSLimit=80", 60},   // the first of duplicate keys
        {"FPSLimit=abc\r\nFPSLimit=80", 40},  // ... even when it does not parse
        {"FPSLimit =60", 40},                 // a blank before "=" belongs to the name
        {"FPSLimit= 60", 60},                 // leading spaces of a number are allowed
        {"FPSLimit=60 ", 40},                 // trailing ones are not
        {"FPSLimit=$3C", 60},
        {"FPSLimit=$3c", 60},
        {"FPSLimit=-$10", -16},
        {"FPSLimit=+7", 7},
        {"FPSLimit=-5", -5},
        {"FPSLimit=2147483647", 2147483647},
        {"FPSLimit=-2147483648", INT32_MIN},
        {"FPSLimit=2147483648", 40},
        {"FPSLimit=$FFFFFFFF", -1},
        {"FPSLimit=$100000000", 40},
        {"FPSLimit=$", 40},
        {"FPSLimit=-", 40},
        {"FPSLimit=", 40},
        {"FPSLimit=0x10", 40},
        {"FPSLimit=1.5", 40},
        {"FPSLimit", 40},
        {"", 40},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadUser(c.text).FPSLimit, c.want) << c.text;
}

TEST_F(ConfigTest, BooleanSyntax) {
    struct Case {
        std::string value;
        bool whenDefaultTrue, whenDefaultFalse;
    } cases[] = {
        {"TRUE", true, true},    {"true", true, true},    {"tRuE", true, true},   {"FALSE", false, false},
        {"false", false, false}, {"False", false, false}, {" TRUE", true, false}, {"TRUE ", true, false},
        {"1", true, false},      {"0", true, false},      {"yes", true, false},   {"", true, false},
    };
    for (const auto& c : cases) {
        // ConfigSoundTab defaults to true, ConfigStartupSkip to false.
        TSystemData d = ReadSystem("ConfigSoundTab=" + c.value + "\r\nConfigStartupSkip=" + c.value);
        EXPECT_EQ(d.ConfigSoundTab, c.whenDefaultTrue) << c.value;
        EXPECT_EQ(d.ConfigStartupSkip, c.whenDefaultFalse) << c.value;
    }
}

TEST_F(ConfigTest, SystemDefaultsAndValues) {
    TSystemData d = ReadSystem("");
    EXPECT_EQ(d.ScreenWidth, 800);
    EXPECT_EQ(d.ScreenHeight, 600);
    EXPECT_EQ(d.GameTitle, "");
    EXPECT_EQ(d.CodeKey, 53041u);
    EXPECT_EQ(d.MinimizeSystemStop, 0);
    EXPECT_EQ(d.ThumWidth, 128);
    EXPECT_EQ(d.ThumHeight, 96);
    EXPECT_EQ(d.QuickSaveCount, 8);
    EXPECT_FALSE(d.ConfigStartupSkip);
    EXPECT_TRUE(d.ConfigSoundTab && d.ConfigGamePadTab && d.ConfigSpecTab && d.ConfigOptionTab && d.ConfigMovie &&
                d.ConfigCRC && d.ConfigSurfaceMemory);
    EXPECT_FALSE(d.ConfigForceWindowMode);
    EXPECT_EQ(d.MulSEVolume, 256);
    EXPECT_EQ(d.MulBGMVolume, 256);
    EXPECT_EQ(d.MulVOICEVolume, 256);

    const std::string title = "テストゲーム"_sj;
    d = ReadSystem("ScreenWidth=1024\r\nScreenHeight=768\r\nGameTitle=" + title +
                   "\r\nFormCaption=%%%fps fps\r\nFormCloseEventLabel=@@close\r\nThumWidth=160\r\nThumHeight=120\r\n"
                   "QuickSaveCount=3\r\nConfigForceWindowMode=True\r\nMulSEVolume=128\r\nMinimizeSystemStop=1\r\n");
    EXPECT_EQ(d.ScreenWidth, 1024);
    EXPECT_EQ(d.ScreenHeight, 768);
    EXPECT_EQ(d.GameTitle, title);
    EXPECT_EQ(d.FormCaption, "%%%fps fps");
    EXPECT_EQ(d.FormCloseEventLabel, "@@close");
    EXPECT_EQ(d.ThumWidth, 160);
    EXPECT_EQ(d.ThumHeight, 120);
    EXPECT_EQ(d.QuickSaveCount, 3);
    EXPECT_TRUE(d.ConfigForceWindowMode);
    EXPECT_EQ(d.MulSEVolume, 128);
    EXPECT_EQ(d.MinimizeSystemStop, 1);
}

TEST_F(ConfigTest, CodeKeyKeepsLow24Bits) {
    struct Case {
        std::string value;
        uint32_t want;
    } cases[] = {
        {"1", 1},
        {"16777217", 1},    // 0x1000001: differs from 1 only above bit 23
        {"4294967297", 1},  // read as a 64-bit number, so values past 32 bits still count
        {"$FF123456", 0x123456},
        {"-1", 0xFFFFFF},
        {"x", 53041},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadSystem("CodeKey=" + c.value).CodeKey, c.want) << c.value;
    // MinimizeSystemStop is read in 64 bits and stored in 32.
    EXPECT_EQ(ReadSystem("MinimizeSystemStop=4294967297").MinimizeSystemStop, 1);
}

TEST_F(ConfigTest, PlugInLibrariesSplitAtComma) {
    TSystemData d = ReadSystem(
        "DLLObject[0]=DLL\\Clock.dll , TClockObject // the clock\r\n"
        "dllobject[3]=DLL\\Only.dll\r\n"
        "DLLObject[15]=a,b,c\r\n"
        "DLLObject[16]=DLL\\Ignored.dll,TIgnored\r\n");
    EXPECT_EQ(d.DLLObjectPaths[0], "DLL\\Clock.dll");
    EXPECT_EQ(d.DLLObjectNames[0], "TClockObject");
    EXPECT_EQ(d.DLLObjectPaths[3], "DLL\\Only.dll");
    EXPECT_EQ(d.DLLObjectNames[3], "");
    EXPECT_EQ(d.DLLObjectPaths[15], "a");
    EXPECT_EQ(d.DLLObjectNames[15], "b");
    for (int i : {1, 2, 4, 14})
        EXPECT_EQ(d.DLLObjectPaths[static_cast<size_t>(i)] + d.DLLObjectNames[static_cast<size_t>(i)], "");
}

// ---- user settings ----

TEST_F(ConfigTest, UserDefaultsStartValuesAndIndexedKeys) {
    // Start values: what a first start without a user file has.
    EXPECT_EQ(Settings.Config.ScreenWidth, 800);
    EXPECT_EQ(Settings.Config.ScreenHeight, 600);
    EXPECT_EQ(Settings.Config.MessageSpeed, 10);
    EXPECT_EQ(Settings.Config.AutoPlayClickTime, 2000);
    EXPECT_EQ(Settings.Config.Font[0].AA, 0);
    EXPECT_EQ(Settings.Config.FPSLimit, 40);
    EXPECT_EQ(Settings.Config.StreamLength, 131072);
    EXPECT_EQ(Settings.Config.ColorMode, 1);
    EXPECT_EQ(Settings.Config.ActorVolume[31], 255);
    // DefaultConfig starts all zero.
    EXPECT_EQ(UserFields(Settings.DefaultConfig), UserFields(TSystemData{}));

    // A file with one key: the others take the reader defaults, which differ from the start values.
    TSystemData d = Settings.Config;
    TMemoryStream s(std::string("FPSLimit=60"));
    LoadUserConfig(d, &s);
    EXPECT_EQ(d.FPSLimit, 60);
    EXPECT_EQ(d.MessageSpeed, 20);
    EXPECT_EQ(d.AutoPlayClickTime, 3000);
    EXPECT_EQ(d.Font[7].AA, 1);
    EXPECT_EQ(d.Font[7].Name, "");
    EXPECT_EQ(d.MovieDecoder, 1);
    EXPECT_EQ(d.CRCCheck, 1);
    EXPECT_EQ(d.MessageAlpha, 255);
    EXPECT_EQ(d.AutoPlayWaitTime, 100);
    EXPECT_EQ(d.BGMVolume, 255);
    EXPECT_EQ(d.ActorVolume[0], 255);
    EXPECT_EQ(d.ActorMute[0], 0);

    d = ReadUser(
        "Font[2].Name=IPAGothic\r\nFont[2].Style=5\r\nFont[2].AA=2\r\nFont[2].StyleColor=$00FF8000\r\n"
        "Font[1].Name=none\r\nFont[3].Name=NONE\r\nfont[4].name=Other\r\n"
        "ActorVolume[31]=100\r\nActorMute[0]=1\r\nActorVolume[32]=1\r\n");
    EXPECT_EQ(d.Font[2].Name, "IPAGothic");
    EXPECT_EQ(d.Font[2].Style, 5);
    EXPECT_EQ(d.Font[2].AA, 2);
    EXPECT_EQ(d.Font[2].StyleColor, 0xFF8000);
    EXPECT_EQ(d.Font[1].Name, "");
    EXPECT_EQ(d.Font[3].Name, "");
    EXPECT_EQ(d.Font[4].Name, "Other");
    EXPECT_EQ(d.ActorVolume[31], 100);
    EXPECT_EQ(d.ActorVolume[30], 255);
    EXPECT_EQ(d.ActorMute[0], 1);
}

TEST_F(ConfigTest, MergeKeepsForeignLinesAndReplacesInPlace) {
    TSystemData d = Settings.Config;
    d.FPSLimit = 60;
    d.FullScreen = 1;
    d.SurfaceMemory = 0;
    d.Font[0].Name = "";
    d.Font[1].Name = "IPAGothic";
    d.Font[1].StyleColor = 0xABCDEF;
    d.Font[2].StyleColor = -1;
    d.ActorVolume[3] = 255;
    d.ActorVolume[4] = 17;
    d.ActorMute[5] = 1;
    const std::string before = "MyKey=abc\n// a comment\nfpslimit=30\n\nActorVolume[3]=10\nActorVolume[3]=20\nTail=1";
    TStringList out;
    out.SetText(Write(d, before));
    ASSERT_GE(out.Count(), 6);
    EXPECT_EQ(out[0], "MyKey=abc");
    EXPECT_EQ(out[1], "// a comment");
    EXPECT_EQ(out[2], "FPSLimit=60");  // replaced in place, in the writer's spelling
    EXPECT_EQ(out[3], "");
    EXPECT_EQ(out[4], "Tail=1");        // both lines of a channel at full volume are gone
    EXPECT_EQ(out[5], "FullScreen=1");  // missing keys are appended in the table's order
    EXPECT_EQ(out[6], "SurfaceMemory=0");
    EXPECT_EQ(out.Values("Font[0].Name"), "none");
    EXPECT_EQ(out.Values("Font[1].Name"), "IPAGothic");
    EXPECT_EQ(out.Values("Font[1].StyleColor"), "$ABCDEF");
    EXPECT_EQ(out.Values("Font[0].StyleColor"), "$000000");
    EXPECT_EQ(out.Values("Font[2].StyleColor"), "$FFFFFFFF");
    EXPECT_EQ(out.Values("ActorVolume[4]"), "17");
    EXPECT_EQ(out.Values("ActorMute[5]"), "1");
    EXPECT_EQ(out.IndexOfName("ActorVolume[3]"), -1);
    EXPECT_EQ(out.IndexOfName("ActorMute[3]"), -1);
    EXPECT_EQ(out.IndexOfName("ActorVolume[0]"), -1);
    EXPECT_EQ(out.IndexOfName("Font[0].Style") < out.IndexOfName("Font[0].AA"), true);
    EXPECT_LT(out.IndexOfName("Font[0].StyleColor"), out.IndexOfName("Font[1].Name"));

    // Lines end in CR LF, the last one too.
    const std::string written = Write(d, before);
    EXPECT_EQ(written.substr(0, 11), "MyKey=abc\r\n");
    EXPECT_EQ(written.substr(written.size() - 2), "\r\n");

    // Read back, every user setting is what was written, and the foreign lines stay through a
    // second merge.
    TSystemData back = ReadUser(written);
    EXPECT_EQ(UserFields(back), UserFields(d));
    EXPECT_EQ(back.FullScreen, 1);
    EXPECT_EQ(back.SurfaceMemory, 0);
    EXPECT_EQ(Write(back, written), written);
}

TEST_F(ConfigTest, FontNameCannotAddLines) {
    TSystemData d = Settings.Config;
    d.Font[0].Name = "Face\r\nFPSLimit=1";
    d.Font[1].Name = "\nX";
    TStringList out;
    out.SetText(Write(d, ""));
    EXPECT_EQ(out.Values("Font[0].Name"), "Face");
    EXPECT_EQ(out.Values("Font[1].Name"), "none");
    EXPECT_EQ(out.Values("FPSLimit"), "40");
}

TEST_F(ConfigTest, LineEndsAndMissingFinalNewline) {
    const std::string lines[] = {"ScreenWidth=1024", "GameTitle=Kel", "ScreenHeight=768"};
    for (std::string eol : {"\r\n", "\n", "\r"}) {
        for (bool finalEol : {true, false}) {
            std::string text = lines[0] + eol + lines[1] + eol + lines[2] + (finalEol ? eol : "");
            TSystemData d = ReadSystem(text);
            EXPECT_EQ(d.ScreenWidth, 1024);
            EXPECT_EQ(d.GameTitle, "Kel") << "no trailing CR or LF in the value";
            EXPECT_EQ(d.ScreenHeight, 768);
            // The user file reads alike and is rewritten with CR LF, its lines kept.
            std::string user = "Foo=1" + eol + "FPSLimit=60" + (finalEol ? eol : "");
            EXPECT_EQ(ReadUser(user).FPSLimit, 60);
            std::string written = Write(Settings.Config, user);
            EXPECT_EQ(written.substr(0, 18), "Foo=1\r\nFPSLimit=40");
            EXPECT_EQ(written.find('\n'), written.find('\r') + 1);
        }
    }
}

TEST_F(ConfigTest, NilStreamsAndReadingFromThePosition) {
    TSystemData d = Settings.Config;
    LoadSystemConfig(d, nullptr);
    LoadUserConfig(d, nullptr);
    SaveUserConfig(d, nullptr);
    LoadActorLists(d, nullptr);
    Settings.LoadFontLists(d, nullptr);
    TStringList l;
    l.Add("keep");
    LoadStrings(l, nullptr);
    EXPECT_EQ(l.Count(), 1);
    EXPECT_EQ(UserFields(d), UserFields(Settings.Config));
    EXPECT_EQ(d.ScreenWidth, 800);

    TMemoryStream s(std::string("FPSLimit=1\r\nFPSLimit=2\r\n"));
    s.SetPosition(12);
    LoadUserConfig(d, &s);
    EXPECT_EQ(d.FPSLimit, 2);
    // The writer takes the stream from its start whatever the position.
    s.SetPosition(12);
    SaveUserConfig(d, &s);
    TStringList out;
    out.SetText(s.AsString());
    EXPECT_EQ(out[0], "FPSLimit=2");
    EXPECT_EQ(out[1], "FPSLimit=2");
}

// ---- the user's file on the disk ----

TEST_F(ConfigTest, UserFileKeepsBackupAndNeverLosesTheOldFile) {
    const std::string root = TestData::ScratchDir();
    ASSERT_FALSE(root.empty());
    const TFileRoot files(root);

    // No file: the start values stay; saving makes the folder and the file.
    Settings.LoadUserSettings(files);
    EXPECT_EQ(Settings.Config.MessageSpeed, 10);
    Settings.Config.FPSLimit = 80;
    ASSERT_TRUE(Settings.SaveUserSettings(files));
    EXPECT_FALSE(files.FileExists("GameData\\System\\config.txt.bak"));
    std::string first;
    ASSERT_TRUE(files.ReadFile(kUserConfigFile, first));
    EXPECT_NE(first.find("FPSLimit=80\r\n"), std::string::npos);

    // An existing file: its bytes go to ".bak", a line of its own survives.
    ASSERT_TRUE(files.WriteFileReplace(kUserConfigFile, "Mine=1\nFPSLimit=80\nMessageSpeed=55\n"));
    Settings.InitDefaults();
    Settings.LoadUserSettings(files);
    EXPECT_EQ(Settings.Config.FPSLimit, 80);
    EXPECT_EQ(Settings.Config.MessageSpeed, 55);
    EXPECT_EQ(Settings.Config.AutoPlayClickTime, 3000);
    Settings.Config.FPSLimit = 20;
    ASSERT_TRUE(Settings.SaveUserSettings(files));
    std::string bak, now;
    ASSERT_TRUE(files.ReadFile("GameData\\System\\config.txt.bak", bak));
    EXPECT_EQ(bak, "Mine=1\nFPSLimit=80\nMessageSpeed=55\n");
    ASSERT_TRUE(files.ReadFile(kUserConfigFile, now));
    EXPECT_EQ(now.substr(0, 21), "Mine=1\r\nFPSLimit=20\r\n");

    // A write that fails (here: the temporary file beside it cannot be created) is reported and
    // leaves the file as it was.
    const std::string host = files.HostPath(kUserConfigFile);
    const std::string blocker = host + ".tmp" + std::to_string(getpid());
    std::filesystem::create_directory(blocker);
    Settings.Config.FPSLimit = 60;
    EXPECT_FALSE(Settings.SaveUserSettings(files));
    std::filesystem::remove(blocker);
    std::string after;
    ASSERT_TRUE(files.ReadFile(kUserConfigFile, after));
    EXPECT_EQ(after, now);
}

TEST_F(ConfigTest, UserFileNeverGoesThroughALinkOutsideAndLeftoversOfAKilledSaveGo) {
    namespace fs = std::filesystem;
    const std::string root = TestData::ScratchDir(), outside = TestData::ScratchDir();
    const TFileRoot files(root);
    std::ofstream(outside + "/config.txt", std::ios::binary) << "FPSLimit=5\r\n";
    fs::create_directories(root + "/GameData");
    // The settings' folder leads outside: nothing is read or written there.
    fs::create_symlink(outside, root + "/GameData/System");
    Settings.LoadUserSettings(files);
    EXPECT_NE(Settings.Config.FPSLimit, 5);
    EXPECT_FALSE(Settings.SaveUserSettings(files));
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    // The file itself leads outside: it is not read, not copied to ".bak", and the save replaces
    // the link with a file of its own.
    fs::remove(root + "/GameData/System");
    fs::create_directories(root + "/GameData/System");
    fs::create_symlink(outside + "/config.txt", root + "/GameData/System/config.txt");
    Settings.LoadUserSettings(files);
    EXPECT_NE(Settings.Config.FPSLimit, 5);
    ASSERT_TRUE(Settings.SaveUserSettings(files));
    EXPECT_FALSE(fs::is_symlink(root + "/GameData/System/config.txt"));
    EXPECT_FALSE(fs::exists(root + "/GameData/System/config.txt.bak"));
    std::string bytes;
    ASSERT_TRUE(files.ReadFile(outside + "/config.txt", bytes));
    EXPECT_EQ(bytes, "FPSLimit=5\r\n");

    // A save killed midway left its temporary files; the next load removes them.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    for (const char* name : {"/config.txt.tmp", "/config.txt.bak.tmp"})
        std::ofstream(root + "/GameData/System" + name + std::to_string(child)) << "half";
    Settings.LoadUserSettings(files);
    EXPECT_EQ(files.ListFiles("GameData\\System"), std::vector<std::string>{"config.txt"});
}

// ---- speaker and font lists ----

TEST_F(ConfigTest, SpeakerLists) {
    const std::string hanako = "花子"_sj;
    TMemoryStream s("act[0]= Taro , " + hanako + " // the two leads\r\nACT[31]=Narrator\r\nact[2]=\r\nact[32]=X");
    TSystemData& d = Settings.Config;
    d.ActorLists[5].Add("stale");
    LoadActorLists(d, &s);
    ASSERT_EQ(d.ActorLists[0].Count(), 2);
    EXPECT_EQ(d.ActorLists[0][0], "Taro");
    EXPECT_EQ(d.ActorLists[0][1], hanako);
    ASSERT_EQ(d.ActorLists[31].Count(), 1);
    EXPECT_EQ(d.ActorLists[31][0], "Narrator");
    EXPECT_EQ(d.ActorLists[2].Count(), 0);
    EXPECT_EQ(d.ActorLists[5].Count(), 0);
}

TEST_F(ConfigTest, FontListsNamedAndEnumerated) {
    Settings.RegisterFontFaces([] {
        return std::vector<TFontFace>{
            {"IPAGothic", 128, 1},   {"@IPAGothic", 128, 1}, {"IPAPGothic", 128, 2}, {"System", 128, 2},
            {"Small Fonts", 128, 2}, {"Latin", 0, 2},        {"TERMINAL", 128, 1},   {"Fixedsys", 128, 1},
        };
    });
    TMemoryStream s(std::string(
        "font[0].list[0]= Named Face \r\nfont[0].list[1]=SYSTEM\r\n"
        "font[1].list[0]=system_fix\r\nFont[2].List[0]=System_Pro\r\n"
        "font[3].list[5]=Late\r\nfont[3].list[2]=   \r\nfont[3].list[31]=Last\r\nfont[3].list[32]=Beyond\r\n"
        "font[8].list[0]=NoSlot\r\n"));
    TSystemData& d = Settings.Config;
    Settings.LoadFontLists(d, &s);
    auto lines = [](const TStringList& l) { return l.Items; };
    using V = std::vector<std::string>;
    EXPECT_EQ(lines(d.FontLists[0]), (V{"Named Face", "IPAGothic", "IPAPGothic"}));
    EXPECT_EQ(lines(d.FontListFlags[0]), (V{"1", "0", "0"}));
    EXPECT_EQ(lines(d.FontLists[1]), (V{"IPAGothic"}));
    EXPECT_EQ(lines(d.FontLists[2]), (V{"IPAPGothic"}));
    EXPECT_EQ(lines(d.FontLists[3]), (V{"Late", "Last"}));
    EXPECT_EQ(lines(d.FontListFlags[3]), (V{"1", "1"}));
    EXPECT_EQ(d.FontLists[4].Count(), 0);

    // Read again, the lists start afresh; without an enumeration "system" gives nothing.
    Settings.RegisterFontFaces(nullptr);
    s.SetPosition(0);
    Settings.LoadFontLists(d, &s);
    EXPECT_EQ(lines(d.FontLists[0]), (V{"Named Face"}));
    EXPECT_EQ(d.FontLists[1].Count(), 0);
}

// ---- applying the fonts ----

class TFakeFont : public IConfigFont {
public:
    const std::string& FaceName() const override { return Name; }
    bool IsBitmapFont() const override { return Bitmap; }
    bool LoadBitmapFont(const std::string& name, TStream* h, TStream* v) override {
        ++BitmapLoads;
        HadHorizontal = h != nullptr;
        HadVertical = v != nullptr;
        if (!AcceptBitmap) return false;
        if (ThrowOnBitmap) throw std::runtime_error("out of glyph memory");
        Name = name;
        Bitmap = true;
        return true;
    }
    std::string Error() const override { return AcceptBitmap ? "" : "horizontal glyph set: too short"; }
    void SetSystemFont(const std::string& name, int32_t ss, const TFontEffectTable& fx) override {
        ++SystemSets;
        Name = name;
        Bitmap = false;
        Factor = ss;
        Effects = fx;
    }
    std::string Name;
    bool Bitmap = false, AcceptBitmap = true, ThrowOnBitmap = false, HadHorizontal = false, HadVertical = false;
    int BitmapLoads = 0, SystemSets = 0;
    int32_t Factor = 0;
    TFontEffectTable Effects;
};

TEST_F(ConfigTest, ApplyFontsChoosesFacesAndSetsFonts) {
    std::array<TFakeFont, kFontSlotCount> fonts;
    Settings.RegisterFonts([&](int32_t slot) { return &fonts[static_cast<size_t>(slot)]; });
    ServeFiles({{"system\\font\\Pixel.of", std::string(16, 'x')},
                {"system\\font\\Both.of", "h"},
                {"system\\font\\@Both.of", "v"}});
    const std::string& gothic = "ＭＳ ゴシック"_sj;

    TSystemData& d = Settings.Config;
    // 0: no candidates. 1: named, among them in another case. 2: not among them, first named in
    // the file. 3: not among them, first found by enumeration. 4: a bitmap font. 5: a bitmap font
    // whose file does not load. 6: a bitmap font of two files whose loading throws.
    d.Font[0].Name = "Anything";
    AddFontCandidate(d, 1, "IPAGothic", "0");
    AddFontCandidate(d, 1, "IPAMincho", "0");
    d.Font[1].Name = "  ipamincho ";
    AddFontCandidate(d, 2, "First", "1");
    AddFontCandidate(d, 2, "Second", "0");
    d.Font[2].Name = "Missing";
    AddFontCandidate(d, 3, "Enumerated", "0");
    AddFontCandidate(d, 3, "Named", "1");
    d.Font[3].Name = "Missing";
    AddFontCandidate(d, 4, "Pixel", "1");
    d.Font[4].Name = "Pixel";
    AddFontCandidate(d, 5, "Pixel", "1");
    d.Font[5].Name = "Pixel";
    fonts[5].AcceptBitmap = false;
    AddFontCandidate(d, 6, "Both", "1");
    d.Font[6].Name = "Both";
    fonts[6].ThrowOnBitmap = true;
    d.Font[0].AA = 0;
    d.Font[1].AA = 2;
    d.Font[2].AA = 7;

    Settings.ApplyFonts(d, Packs, &Context.Log);
    EXPECT_EQ(d.Font[0].Name, gothic);
    EXPECT_EQ(d.Font[1].Name, "ipamincho");
    EXPECT_EQ(d.Font[2].Name, "First");
    EXPECT_EQ(d.Font[3].Name, gothic);
    EXPECT_EQ(fonts[0].Name, gothic);
    EXPECT_EQ(fonts[0].Factor, 1);
    EXPECT_EQ(fonts[1].Factor, 4);
    EXPECT_EQ(fonts[2].Factor, 2);
    EXPECT_TRUE(fonts[4].Bitmap);
    EXPECT_TRUE(fonts[4].HadHorizontal);
    EXPECT_FALSE(fonts[4].HadVertical);
    EXPECT_EQ(fonts[4].SystemSets, 0);
    EXPECT_FALSE(fonts[5].Bitmap);  // falls back to drawing the face as a system font
    EXPECT_EQ(fonts[5].Name, "Pixel");
    EXPECT_EQ(fonts[5].SystemSets, 1);
    EXPECT_FALSE(fonts[6].Bitmap);
    EXPECT_EQ(fonts[6].SystemSets, 1);
    // Each fallback leaves one line naming the files and the reason; the script is not stopped.
    EXPECT_EQ(Context.Log.ErrorList.Items,
              (std::vector<std::string>{
                  "[FONT]:system\\font\\Pixel.of: horizontal glyph set: too short; drawn with the system font instead",
                  "[FONT]:system\\font\\Both.of, system\\font\\@Both.of: out of glyph memory; drawn with the system "
                  "font instead"}));
    EXPECT_FALSE(Context.Log.ErrorFlag);

    // Same names again: system fonts are set up again (style changes take effect), bitmap fonts stay.
    d.Font[0].Style = 1;
    Settings.ApplyFonts(d, Packs, &Context.Log);
    EXPECT_EQ(fonts[0].SystemSets, 2);
    EXPECT_EQ(fonts[0].Effects.Weight[15], 3);
    EXPECT_EQ(fonts[4].BitmapLoads, 1);
    EXPECT_EQ(fonts[4].SystemSets, 0);
}

TEST_F(ConfigTest, ApplyFontsWithoutFontsOnlyChoosesNames) {
    Settings.Config.Font[6].Name = "Whatever";
    Settings.ApplyFonts(Settings.Config, Packs, nullptr);
    EXPECT_EQ(Settings.Config.Font[6].Name, "ＭＳ ゴシック"_sj);
}

TEST_F(ConfigTest, EffectLayersAndSupersampling) {
    TFontEffectTable plain = FontEffects(0, 0x123456);
    EXPECT_EQ(plain.Color[15], 0xFFFFFFFFu);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(plain.Color[static_cast<size_t>(i)], 0u) << i;
    EXPECT_EQ(plain.Weight[15], 0);
    EXPECT_EQ(plain.OwnColor[15], 0);

    TFontEffectTable shadow = FontEffects(1 | 2, 0x123456);
    EXPECT_EQ(shadow.Color[0], 0x66123456u);
    EXPECT_EQ(shadow.X[0], 2);
    EXPECT_EQ(shadow.Y[0], 2);
    EXPECT_EQ(shadow.Weight[0], 3);
    EXPECT_EQ(shadow.OwnColor[0], 1);
    EXPECT_EQ(shadow.Color[2], 0u);

    TFontEffectTable thin = FontEffects(4, 0);
    const int16_t thinX[] = {-1, 1, 0, 0}, thinY[] = {0, 0, 1, -1};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(thin.Color[2 + i], 0xFF000000u);
        EXPECT_EQ(thin.X[2 + i], thinX[i]);
        EXPECT_EQ(thin.Y[2 + i], thinY[i]);
        EXPECT_EQ(thin.OwnColor[2 + i], 1);
    }
    EXPECT_EQ(thin.Color[6], 0u);

    // Both outline bits: the thick one wins.
    TFontEffectTable thick = FontEffects(4 | 8, 0xFF);
    const int16_t x[] = {-2, 2, 0, 0, -1, 1, -1, 1}, y[] = {0, 0, 2, -2, -1, -1, 1, 1};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(thick.Color[2 + i], 0xFF0000FFu);
        EXPECT_EQ(thick.X[2 + i], x[i]);
        EXPECT_EQ(thick.Y[2 + i], y[i]);
    }
    EXPECT_EQ(thick.Color[10], 0u);
    EXPECT_EQ(thick.Color[1], 0u);

    const int32_t factors[][2] = {{0, 1}, {1, 2}, {2, 4}, {3, 2}, {-1, 2}};
    for (const auto& f : factors)
        EXPECT_EQ(Supersampling(f[0]), f[1]) << f[0];
}

// ---- the engine's files and the message table ----

TEST_F(ConfigTest, EngineFilesThroughThePacks) {
    ServeFiles({});
    EXPECT_FALSE(Settings.LoadSystemSettings(Packs));
    EXPECT_FALSE(Settings.LoadUserDefaults(Packs));
    EXPECT_EQ(UserFields(Settings.DefaultConfig), UserFields(TSystemData{}));
    EXPECT_FALSE(Settings.LoadSpeakerLists(Packs));
    EXPECT_FALSE(Settings.LoadFontCandidateLists(Packs));

    ServeFiles({{"System\\etc\\Game.dat", "GameTitle=Demo\r\nScreenWidth=640"},
                {"System\\etc\\Config.txt", "MessageSpeed=50"},
                {"system\\voice\\voicedata.dat", "act[1]=A,B"},
                {"system\\font\\fontdata.dat", "font[0].list[0]=Face"}});
    EXPECT_TRUE(Settings.LoadSystemSettings(Packs));
    EXPECT_EQ(Settings.Config.GameTitle, "Demo");
    EXPECT_EQ(Settings.Config.ScreenWidth, 640);
    EXPECT_EQ(Settings.Config.ScreenHeight, 600);
    EXPECT_TRUE(Settings.LoadUserDefaults(Packs));
    EXPECT_EQ(Settings.DefaultConfig.MessageSpeed, 50);
    EXPECT_EQ(Settings.DefaultConfig.AutoPlayClickTime, 3000);
    EXPECT_EQ(Settings.Config.MessageSpeed, 10);
    EXPECT_TRUE(Settings.LoadSpeakerLists(Packs));
    EXPECT_EQ(Settings.Config.ActorLists[1].Count(), 2);
    EXPECT_TRUE(Settings.LoadFontCandidateLists(Packs));
    EXPECT_EQ(Settings.Config.FontLists[0].Count(), 1);
}

TEST_F(ConfigTest, MessageTableFromDiskThenPacks) {
    const std::string root = TestData::ScratchDir();
    const TFileRoot files(root);
    ServeFiles({});
    EXPECT_FALSE(Settings.LoadDiskMessageTable(files));
    EXPECT_FALSE(Settings.LoadPackMessageTable(Packs));
    EXPECT_EQ(Settings.MessageTable.Count(), 0);

    const std::string text = "ゲームを終了しますか？"_sj;
    ASSERT_TRUE(files.ForceDirectories("GameData\\System"));
    ASSERT_TRUE(files.WriteFileReplace("gamedata\\system\\message.dat", "OK=Disk\r\nEXIT_Text=" + text));
    EXPECT_TRUE(Settings.LoadDiskMessageTable(files));
    EXPECT_EQ(Settings.MessageTable.Values("ok"), "Disk");
    EXPECT_EQ(Settings.MessageTable.Values("EXIT_Text"), text);
    EXPECT_EQ(Settings.MessageTable.Values("RESET_Text"), "");

    // A table that no pack holds keeps the one loaded.
    EXPECT_FALSE(Settings.LoadPackMessageTable(Packs));
    EXPECT_EQ(Settings.MessageTable.Values("OK"), "Disk");

    ServeFiles({{"System\\etc\\Message.txt", "OK=Text"}});
    EXPECT_TRUE(Settings.LoadPackMessageTable(Packs));
    EXPECT_EQ(Settings.MessageTable.Values("OK"), "Text");
    EXPECT_EQ(Settings.MessageTable.Values("EXIT_Text"), "");  // replaced, not merged

    ServeFiles({{"System\\etc\\Message.txt", "OK=Text"}, {"System\\etc\\Message.dat", "OK=Dat"}});
    EXPECT_TRUE(Settings.LoadPackMessageTable(Packs));
    EXPECT_EQ(Settings.MessageTable.Values("OK"), "Dat");
}

// ---- the demo game's files ----

std::string DemoFile(const std::string& name) {
    std::ifstream in(std::string(KEL_SOURCE_DIR) + "/demo/" + name, std::ios::binary);
    std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Encoding::Utf8ToSjis(utf8);
}

TEST_F(ConfigTest, DemoGameFiles) {
    ServeFiles({{"System\\etc\\Game.dat", DemoFile("System/etc/Game.dat.utf8")},
                {"System\\etc\\Config.txt", DemoFile("System/etc/Config.txt.utf8")},
                {"System\\etc\\Message.txt", DemoFile("System/etc/Message.txt.utf8")}});
    ASSERT_TRUE(Settings.LoadSystemSettings(Packs));
    EXPECT_EQ(Settings.Config.ScreenWidth, 800);
    EXPECT_EQ(Settings.Config.ScreenHeight, 600);
    EXPECT_EQ(Settings.Config.GameTitle, "Kel デモ"_sj);
    EXPECT_EQ(Settings.Config.FormCloseEventLabel, "");
    EXPECT_TRUE(Settings.Config.ConfigStartupSkip);

    // Every setting in the defaults file is written as the writer would write it.
    ASSERT_TRUE(Settings.LoadUserDefaults(Packs));
    EXPECT_EQ(Settings.DefaultConfig.FPSLimit, 60);
    EXPECT_EQ(Settings.DefaultConfig.Font[0].Name, "KelDemo");  // the bitmap font the demo carries
    TStringList defaults;
    defaults.SetText(DemoFile("System/etc/Config.txt.utf8"));
    TStringList rewritten;
    rewritten.SetText(Write(Settings.DefaultConfig, defaults.Text()));
    EXPECT_EQ(rewritten.Count(), defaults.Count() + 4 * 6) << "only the keys of fonts 2 to 7 are added";

    // Every key the engine asks the message table for has a text.
    ASSERT_TRUE(Settings.LoadPackMessageTable(Packs));
    const char* keys[] = {
        "OK",
        "FullScreenError",
        "ReadSaveFileError",
        "SaveDirectoryERROR",
        "CONFIGRESET_Text",
        "CONFIGRESET_Yes",
        "CONFIGRESET_No",
        "APPCLOSE_Text",
        "APPCLOSE_Exit",
        "APPCLOSE_Reset",
        "APPCLOSE_Cancel",
        "EXIT_Text",
        "EXIT_Yes",
        "EXIT_no",
        "RESET_Text",
        "RESET_Yes",
        "RESET_no",
        "SelectLoad_Text",
        "SelectLoad_Yes",
        "SelectLoad_no",
        "OVERSAVE_Text",
        "OVERSAVE_Yes",
        "OVERSAVE_No",
        "DELETE_Text",
        "DELETE_Yes",
        "DELETE_No",
        "NOSELECT_Text",
        "NOFILEOPEN_Text",
        "NOFILEDELETE_Text",
        "DeleteSaveFileError",
        "SwapSaveFileError",
        "WriteSaveFileError",
        "BackBufferResetERROR",
        "CRCCHECKERROR",
        "SystemInfoDLLERROR",
        "OggVorbisDLLERROR",
        "BREGEXPDLLERROR",
        "DirectDrawERROR",
        "DirectSoundERROR",
        "EngineSetupERROR",
    };
    for (const char* k : keys)
        EXPECT_NE(Settings.MessageTable.Values(k), "") << k;
    // Texts convert without loss: no replacement character crept in.
    EXPECT_EQ(Settings.MessageTable.Text().find('?'), std::string::npos);
}

}  // namespace

// The "math" and "misc" words run as script statements: the integer functions with their rounding
// and their results beyond range, checksums and scrambled texts, Shift-JIS file-name parts, files
// on the disk and in the packs, the system-information answers in mebibytes, and what opening a
// file or starting a program asks of the desktop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/uDllSystemInfo.h"
#include "foundation/uMisc_Math.h"
#include "objects/KelUtilityCommands.h"
#include "platform/Desktop.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/headless/HeadlessDesktop.h"
#include "script/KelGeneralCommands.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"

namespace {

class UtilityWordsTest : public ::testing::Test {
protected:
    UtilityWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelUtilityCommands::Register(kinds);
              links.Desktop = &Desktop;
              links.Files = &Files;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
    }

    TFileRoot Files;
    THeadlessDesktop Desktop{Files};
    TScriptHarness H;
};

TEST_F(UtilityWordsTest, MathResultsRoundToEvenAndGiveZeroBeyondRange) {
    H.Execute({"\\scp,math"});
    QueryRows::Run(H, {
                          {{}, "\\sin,1571", {1000}},
                          {{}, "\\sin,0", {0}},
                          {{}, "\\cos,0", {-1000}},  // the negated cosine
                          {{}, "\\tan,785", {999}},
                          {{}, "\\tan,-785", {-999}},
                          {{}, "\\atan,1,1", {785}},
                          {{}, "\\sqrt,12", {3}},
                          {{}, "\\sqrt,-4", {0}},  // no real root: 0
                          {{}, "\\pow,2,10", {1024}},
                          {{}, "\\pow,2,-1", {0}},  // 0.5 to even
                          {{}, "\\pow,2,-2", {0}},
                          {{}, "\\pow,-3,3", {-27}},
                          {{}, "\\pow,7,0", {1}},
                          {{}, "\\pow,2,40", {0}},           // 2^40 in 64 bits, low 32 bits 0
                          {{}, "\\pow,3,21", {1870418611}},  // 3^21 = 10460353203: the low 32 bits
                          {{}, "\\pow,10,19", {0}},          // beyond the 64-bit range
                          {{}, "\\pow,0,-1", {0}},           // infinite
                          {{}, "\\abs,-5", {5}},
                          {{}, "\\abs,-2147483648", {INT_MIN}},
                          {{}, "\\sqr,-3", {9}},
                          {{}, "\\sqr,65536", {0}},  // wraps at 32 bits
                          {{}, "\\sqr,46341", {-2147479015}},
                          {{}, "\\min,4,-2,9", {-2}},
                          {{}, "\\max,4,,9,3", {9}},  // over the arguments written
                          {{}, "\\min,7", {7}},
                          {{}, "\\max", {0}},
                          {{}, "\\rnd,0", {0}},
                      });
    // The game's generator: a given state draws the same, with 16777215 as the range of an empty
    // argument.
    uMisc_Math::TRandomState& game = H.Context.Context.Random;
    game.RandSeed = 12345;
    const int32_t expected = static_cast<int32_t>(game.Random(0xFFFFFF));
    game.RandSeed = 12345;
    H.Execute({"\\rnd"});
    EXPECT_EQ(H.ResultInt(0), expected);
    for (int i = 0; i < 50; ++i) {
        H.Execute({"\\rnd,6"});
        EXPECT_GE(H.ResultInt(0), 0);
        EXPECT_LT(H.ResultInt(0), 6);
    }
    // Each argument of a minimum is evaluated once.
    H.Execute({"\\var,int,n", "\\min,n++,n++"});
    EXPECT_EQ(H.Var("n").Value, 2);
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

TEST_F(UtilityWordsTest, TextsAndFileNameParts) {
    H.Execute({"\\scp,misc"});
    // "ソ" ends in the byte of "\", "表" in that of "|"; neither ends a folder.
    QueryRows::Run(H, {
                          {{}, "\\crc,\"abc\"", {}, {"11ED"}},
                          {{}, "\\efn,\"a\\b:c.d\\name.ext\"", {}, {"name.ext"}},
                          {{}, "\\efe,\"a\\b.c\\name\"", {}, {""}},  // the only dot stands before the last "\"
                          {{}, "\\efe,\"a\\x.tar.gz\"", {}, {".gz"}},
                          {{}, "\\exp,\"c:name\"", {}, {"c:"}},
                          {{}, "\\exp,\"name\"", {}, {""}},
                          {{}, "\\exp,\"ソ\\ソ.txt\"", {}, {"ソ\\"}},
                          {{}, "\\efn,\"dir\\ソ.txt\"", {}, {"ソ.txt"}},
                          {{}, "\\cfe,\"dir\\name\",\".png\"", {}, {"dir\\name.png"}},
                          {{}, "\\cfe,\"a.b\\c.d\",\".e\"", {}, {"a.b\\c.e"}},
                      });
    // Scrambled with the key of the pack names, as hex digits, and back.
    H.Execute({"\\code,\"テキスト\",0"});
    const std::string hex = H.ResultStr(0);
    EXPECT_EQ(hex.size(), 16u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    H.Execute({"\\code,\"" + hex + "\",1"});
    EXPECT_EQ(H.ResultStr(0), "テキスト");
    H.Execute({"\\id"});
    const std::string id = H.ResultStr(0);
    H.Execute({"\\id"});
    EXPECT_EQ(id.size(), 32u);
    EXPECT_NE(H.ResultStr(0), id);
    H.Clock.Now = 123456;
    H.Execute({"\\tgt"});
    EXPECT_EQ(H.ResultInt(0), 123456);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    H.Execute({"\\gcd"});
    EXPECT_EQ(H.ResultStr(0), std::string(cwd) + "\\");
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

TEST_F(UtilityWordsTest, FilesOnTheDiskAndInThePacks) {
    H.Execute({"\\scp,misc"});
    const std::string dir = TestData::ScratchDir();
    std::ofstream(dir + "/disk.txt") << "x";
    H.AddFile("packed.txt", "中身");
    QueryRows::Run(H, {
                          {{}, "\\gfe,\"" + dir + "\\DISK.TXT\"", {1}},
                          {{}, "\\gfe,\"packed.txt\"", {0}},   // the packs are not searched
                          {{}, "\\gfe,\"" + dir + "\"", {0}},  // a folder is no file
                          {{}, "\\glpk,15", {0}},
                      });
    // A data file copied out to the disk; a missing one is reported.
    H.Execute({"\\ptof,\"packed.txt\",\"" + dir + "\\out.txt\""});
    std::ifstream in(dir + "/out.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), Encoding::Utf8ToSjis("中身"));
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
    H.Execute({"\\ptof,\"none.txt\",\"" + dir + "\\none.txt\""});
    EXPECT_EQ(H.FirstError(), "\\fout:指定されたファイルが見つかりません");
    EXPECT_FALSE(std::filesystem::exists(dir + "/none.txt"));
}

TEST_F(UtilityWordsTest, SpecialFoldersComeFromTheUsersXdgFolders) {
    const std::string home = TestData::ScratchDir();
    std::filesystem::create_directories(home + "/.config");
    std::ofstream(home + "/.config/user-dirs.dirs") << "# written by a test\n"
                                                       "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                                       "XDG_PICTURES_DIR=\"/srv/bilder/\"\n"
                                                       "XDG_MUSIC_DIR=\"relative\"\n";
    const char* oldHome = std::getenv("HOME");
    const std::string saved = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    H.Execute({"\\scp,misc"});
    QueryRows::Run(H, {
                          {{}, "\\gsf,0", {}, {home + "/Schreibtisch\\"}},
                          {{}, "\\gsf,16", {}, {home + "/Schreibtisch\\"}},
                          {{}, "\\gsf,39", {}, {"/srv/bilder\\"}},
                          {{}, "\\gsf,13", {}, {home + "\\"}},  // not absolute: the home
                          {{}, "\\gsf,5", {}, {home + "\\"}},   // not listed: the home
                          {{}, "\\gsf,26", {}, {home + "/.local/share\\"}},
                          {{}, "\\gsf,36", {}, {"\\"}},  // no such folder here
                      });
    setenv("XDG_DATA_HOME", "/data/home", 1);
    QueryRows::Run(H, {{{}, "\\gsf,28", {}, {"/data/home\\"}}});
    unsetenv("XDG_DATA_HOME");
    if (oldHome)
        setenv("HOME", saved.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST_F(UtilityWordsTest, SystemInformationGivesSizesInMebibytes) {
    auto& library = H.Context.Context.SystemInfo;
    library = std::make_unique<TDllSystemInfo>();
    ASSERT_TRUE(library->LoadDLL(Files, KEL_SYSTEMINFO_LIBRARY));
    const std::string bytes = library->GetInfo("Mem,Total");
    const std::string os = library->GetInfo("OS,Name");
    ASSERT_FALSE(bytes.empty());
    H.Execute({"\\scp,misc", "\\info,\"mEm,ToTaL\""});
    EXPECT_EQ(H.ResultStr(0), std::to_string(std::stoll(bytes) / 1024 / 1024));
    H.Execute({"\\info,\"OS,Name\""});
    EXPECT_EQ(H.ResultStr(0), Encoding::SjisToUtf8(os));
    library.reset();
    // Without the library every answer is empty.
    H.Execute({"\\info,\"Mem,Total\""});
    EXPECT_EQ(H.ResultStr(0), "");
}

TEST_F(UtilityWordsTest, OpeningAsksTheDesktopWithoutAShell) {
    const std::string dir = TestData::ScratchDir();
    const std::string program = dir + "/run me \"now\"; ok";
    std::ofstream(program) << "#!/bin/sh\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    std::ofstream(dir + "/notes.txt") << "x";
    // Texts with quotes come in through variables, as a script would build them.
    H.Declare(TVariableScope::Game, "prog", TCalcValueType::String, {1}, program);
    H.Declare(TVariableScope::Game, "params", TCalcValueType::String, {1}, "a \"b c\" d;e $(x) \\\"q\\\"");
    H.Execute({"\\scp,misc"});
    H.Execute({"\\exct,prog,params", "\\exct,\"" + dir + "\",\"ignored\"", "\\exct,\"" + dir + "\\NOTES.TXT\",\"\"",
               "\\exct,\"https://example.org/a b\",\"\"", "\\exct,\"setup.exe\",\"/quiet\"",
               "\\exct,\"" + dir + "\\missing\",\"\"", "\\exct,\"\",\"\""});
    ASSERT_EQ(Desktop.Started.size(), 4u);
    const std::vector<std::string> args = {program, "a", "b c", "d;e", "$(x)", "\"q\""};
    EXPECT_EQ(Desktop.Started[0].Program, program);
    EXPECT_EQ(Desktop.Started[0].Arguments, args);
    EXPECT_FALSE(Desktop.Started[0].SearchPath);
    const std::vector<std::string> folder = {"xdg-open", dir};
    EXPECT_EQ(Desktop.Started[1].Arguments, folder);
    const std::vector<std::string> notes = {"xdg-open", dir + "/notes.txt"};
    EXPECT_EQ(Desktop.Started[2].Arguments, notes);
    const std::vector<std::string> address = {"xdg-open", "https://example.org/a b"};
    EXPECT_EQ(Desktop.Started[3].Arguments, address);
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

// The real desktop: the program whose name holds blanks, quotes and ";" starts with exactly the
// arguments written, and no shell reads any of it.
TEST(UtilityWordsStartTest, ExctStartsExactlyThatProgramWithThoseArguments) {
    const std::string dir = TestData::ScratchDir();
    const std::string program = dir + "/my \"odd\"; prog";
    std::filesystem::copy_file(KEL_WRITE_ARGS, program);
    const std::string out = dir + "/args";
    setenv("KEL_ARGS_FILE", out.c_str(), 1);
    const TFileRoot files;
    TPosixDesktop desktop(files);
    TScriptHarness h([&](TObjectKindRegistry& kinds, TScriptLinks& links) {
        KelUtilityCommands::Register(kinds);
        links.Desktop = &desktop;
    });
    h.Script.Words.General = &KelGeneralCommands::Handler();
    h.Declare(TVariableScope::Game, "prog", TCalcValueType::String, {1}, program);
    h.Declare(TVariableScope::Game, "params", TCalcValueType::String, {1},
              "one \"two three\" ; touch '" + dir + "/shell' $(touch " + dir + "/shell) 日本語 \"\"");
    h.Execute({"\\scp,misc", "\\exct,prog,params"});
    EXPECT_TRUE(desktop.Error().empty()) << desktop.Error();
    std::string written;
    for (int i = 0; i < 500 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out, std::ios::binary);
    written.assign(std::istreambuf_iterator<char>(in), {});
    std::vector<std::string> args;
    for (size_t start = 0, end; (end = written.find('\0', start)) != std::string::npos; start = end + 1)
        args.push_back(written.substr(start, end - start));
    const std::vector<std::string> expected = {
        program, "one", "two three", ";", "touch", "'" + dir + "/shell'", "$(touch", dir + "/shell)", "日本語", ""};
    EXPECT_EQ(args, expected);
    EXPECT_FALSE(std::filesystem::exists(dir + "/shell"));
    unsetenv("KEL_ARGS_FILE");
}

}  // namespace

// The kelpack tool, run as a program: packs made by "create" list and extract byte for byte and
// are read back by the engine's pack set.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "foundation/PackLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

std::string ToolPath() {
    return ToolRun::ToolPath("kelpack");
}

using TRun = ToolRun::TRun;

TRun Kelpack(const std::string& args) {
    return ToolRun::Run("kelpack", args);
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

class KelpackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(ToolPath())) << ToolPath();
        Dir = TestData::ScratchDir();
        std::mt19937 rng(9);
        std::string noise(50000, '\0');
        for (auto& c : noise)
            c = static_cast<char>(rng());
        std::string text;
        while (text.size() < 40000)
            text += "\\msg hello, world\r\n";
        Files = {{"gamedata/system/config.txt", "x=1\r\n"},
                 {"gamedata/bgm/theme.ogg", noise},
                 {"gamedata/scenario/start.s", text},
                 {"gamedata/日本語/名前.txt", "\x93\xFA\x96\x7B"},
                 {"gamedata/empty.bin", ""}};
        for (const auto& [name, bytes] : Files)
            Put(fs::path(Dir) / "game" / name, bytes);
    }
    std::string Dir;
    std::vector<std::pair<std::string, std::string>> Files;
};

TEST_F(KelpackTest, CreateListExtractAndReadBack) {
    struct Case {
        const char* options;
        bool hash;
    } cases[] = {
        {"--version 1", false},
        {"--version 2 --hash --store '*.ogg'", true},
        {"--version 1 --hash --no-compress --plain '*.txt'", true},
        {"--no-scramble", false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string out = Dir + "/out" + std::to_string(n);
        const std::string pack = out + "/GameData/data" + std::to_string(n) + ".pack";
        fs::create_directories(out + "/GameData");
        TRun r = Kelpack(std::string("create ") + c.options + " '" + pack + "' '" + Dir + "/game'");
        ASSERT_EQ(r.Code, 0) << r.Output;
        EXPECT_EQ(fs::exists(out + "/GameData/data" + std::to_string(n) + ".hash"), c.hash);

        r = Kelpack("list '" + pack + "'");
        EXPECT_EQ(r.Code, 0) << r.Output;
        EXPECT_NE(r.Output.find("gamedata\\日本語\\名前.txt"), std::string::npos) << r.Output;
        EXPECT_EQ(r.Output.find("BAD"), std::string::npos) << r.Output;

        r = Kelpack("extract '" + pack + "' '" + out + "/x'");
        ASSERT_EQ(r.Code, 0) << r.Output;
        for (const auto& [name, bytes] : Files)
            EXPECT_EQ(ReadAll(fs::path(out) / "x" / name), bytes) << name;

        r = Kelpack("extract '" + pack + "' '" + out + "/one' 'GameData\\System\\Config.txt'");
        ASSERT_EQ(r.Code, 0) << r.Output;
        EXPECT_EQ(ReadAll(fs::path(out) / "one/gamedata/system/config.txt"), "x=1\r\n");
        EXPECT_FALSE(fs::exists(fs::path(out) / "one/gamedata/bgm"));

        // The engine reads the same pack.
        const TFileRoot files(out);
        TContextFixture context;  // gone before the folder
        TPackSet& packs = context.Packs;
        packs.UseFiles(&files);
        ASSERT_TRUE(packs.OpenPacks("GameData\\"));
        EXPECT_NE(packs.Pack(n), nullptr);
        EXPECT_EQ(packs.Pack(n)->NameTable() != nullptr, c.hash);
        packs.SetPackVerify(true);
        for (const auto& [name, bytes] : Files) {
            auto s = packs.LoadFile(Encoding::Utf8ToSjis(name));  // engine names are Shift-JIS
            ASSERT_NE(s, nullptr) << name;
            EXPECT_EQ(s->AsString(), bytes) << name;
        }
        ++n;
    }
}

TEST_F(KelpackTest, BadInputGivesAMessageAndAFailingExitCode) {
    EXPECT_EQ(Kelpack("--help").Code, 0);
    EXPECT_NE(Kelpack("--help").Output.find("kelpack create"), std::string::npos);
    EXPECT_EQ(Kelpack("").Code, 2);
    EXPECT_EQ(Kelpack("frobnicate").Code, 2);
    EXPECT_EQ(Kelpack("create --version 3 a.pack b").Code, 2);
    EXPECT_EQ(Kelpack("create '" + Dir + "/a.pack' '" + Dir + "/no-such-folder'").Code, 1);

    Put(fs::path(Dir) / "junk.pack", std::string(3000, 'j'));
    TRun r = Kelpack("list '" + Dir + "/junk.pack'");
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Output.find("not a pack"), std::string::npos) << r.Output;
    EXPECT_EQ(Kelpack("extract '" + Dir + "/missing.pack' '" + Dir + "/x'").Code, 1);

    // A damaged entry: list names it and fails; extract fails for it.
    const std::string pack = Dir + "/p.pack";
    ASSERT_EQ(Kelpack("create --no-compress --no-scramble '" + pack + "' '" + Dir + "/game'").Code, 0);
    std::string bytes = ReadAll(pack);
    bytes[1] ^= 0x20;  // inside the first entry's stored bytes
    Put(pack, bytes);
    r = Kelpack("list '" + pack + "'");
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Output.find("BAD"), std::string::npos) << r.Output;
    EXPECT_EQ(Kelpack("extract '" + pack + "' '" + Dir + "/y'").Code, 1);
    EXPECT_EQ(Kelpack("extract '" + pack + "' '" + Dir + "/y' no-such-entry").Code, 1);
}

TEST_F(KelpackTest, NamesThatWouldCollideOrCannotBeAskedForAreRefused) {
    struct Case {
        std::vector<std::string> Names;  // files of the folder, UTF-8
        const char* Options;
        std::vector<std::string> Said;  // what the message names
    } cases[] = {
        {{"data/Readme.txt", "data/README.TXT"}, "", {"data/README.TXT", "data/Readme.txt", "data\\readme.txt"}},
        {{"data/café.txt"}, "", {"data/café.txt", "no Shift-JIS"}},
        {{"data/a¥b.txt"}, "", {"data/a¥b.txt", "no Shift-JIS"}},  // the yen sign would be a separator
        {{"data/x.txt"}, "--prefix '\\gamedata\\'", {"data/x.txt", "as gamedata\\data\\x.txt"}},
        {{"data/x.txt"}, "--prefix 'a\\..\\'", {"data/x.txt", "as data\\x.txt"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Names[0]);
        const std::string folder = Dir + "/refused" + std::to_string(n++);
        for (const auto& name : c.Names)
            Put(fs::path(folder) / name, "x");
        const TRun r = Kelpack(std::string("create ") + c.Options + " '" + folder + ".pack' '" + folder + "'");
        EXPECT_EQ(r.Code, 1) << r.Output;
        for (const auto& said : c.Said)
            EXPECT_NE(r.Output.find(said), std::string::npos) << said << " in " << r.Output;
        EXPECT_FALSE(fs::exists(folder + ".pack"));
    }
}

TEST_F(KelpackTest, EntriesThatDoNotShrinkAreStoredAsTheyAreAndNamesPrintEscaped) {
    Put(fs::path(Dir) / "game/gamedata/evil\x1b[2J.txt", "x");
    const std::string pack = Dir + "/plain.pack";
    ASSERT_EQ(Kelpack("create '" + pack + "' '" + Dir + "/game'").Code, 0);
    const TRun r = Kelpack("list '" + pack + "'");
    ASSERT_EQ(r.Code, 0) << r.Output;
    auto flagsOf = [&](const std::string& name) {
        const size_t at = r.Output.find(" " + name + "\n");
        const size_t line = r.Output.rfind('\n', at) + 1;
        return at == std::string::npos ? std::string("?") : r.Output.substr(line + 29, 5);
    };
    EXPECT_EQ(flagsOf("gamedata\\bgm\\theme.ogg"), "-S   ");     // noise does not compress
    EXPECT_EQ(flagsOf("gamedata\\scenario\\start.s"), "CS   ");  // text does
    EXPECT_NE(r.Output.find("gamedata\\evil\\x1B[2j.txt"), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find('\x1b'), std::string::npos);
    // The engine reads both forms.
    const std::string out = Dir + "/x";
    ASSERT_EQ(Kelpack("extract '" + pack + "' '" + out + "'").Code, 0);
    for (const auto& [name, bytes] : Files)
        EXPECT_EQ(ReadAll(fs::path(out) / name), bytes) << name;
}

TEST_F(KelpackTest, ScriptsAndTextsLeftInUtf8AreWarnedAboutAndStillPacked) {
    const fs::path folder = fs::path(Dir) / "texts";
    const std::string japanese = "\\t,{今日はいい天気だね。}\r\n";
    const struct {
        const char* Name;
        std::string Bytes;
        bool Warned;
    } files[] = {
        {"start.s", japanese, true},
        {"Note.TXT", "メモ\r\n", true},
        {"sjis.s", Encoding::Utf8ToSjis(japanese), false},
        {"plain.txt", "x=1\r\n", false},
        {"data.dat", japanese, false},  // neither a script nor a text: not looked at
    };
    for (const auto& f : files)
        Put(folder / f.Name, f.Bytes);
    const TRun r = Kelpack("create '" + Dir + "/texts.pack' '" + folder.string() + "'");
    ASSERT_EQ(r.Code, 0) << r.Output;
    EXPECT_TRUE(fs::exists(Dir + "/texts.pack"));
    for (const auto& f : files)
        EXPECT_EQ(r.Output.find(std::string(f.Name) + " is UTF-8") != std::string::npos, f.Warned)
            << f.Name << " in " << r.Output;
}

}  // namespace

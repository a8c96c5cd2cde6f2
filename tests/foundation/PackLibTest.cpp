#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/PackLib.h"
#include "platform/FileRoot.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace {

using PackWriter::TEntry;
using PackWriter::TVersion;

TEST(PackLibNormalizeTest, Cases) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"GameData\\System\\a.txt", "GameData\\System\\a.txt"},
        {"GameData/System/a.txt", "GameData\\System\\a.txt"},
        {"/a//b/../c", "a\\\\c"},  // leading separator dropped; two slashes stay two
        {"\\\\a\\\\b", "a\\b"},    // two backslashes become one
        {"a\\\\\\b", "a\\\\b"},    // three become two
        {"a\\b\\..\\..\\c", "c"},
        {"..\\a\\..\\b", "..\\b"},  // a leading ".." stays
        {"..\\..\\a", "..\\..\\a"},
        {"a\\(b\\..)\\c", "a\\(b\\..)\\c"},  // brackets keep a separator inside one item
        {"a\\b\\..", "a"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PackLib::NormalizePath(c.in), c.out) << c.in;
    // A trail byte 0x5C is never taken for a separator: 表 is 0x95 0x5C.
    EXPECT_EQ(PackLib::NormalizePath("\x95\x5C/x"), "\x95\x5C\\x");
    EXPECT_EQ(PackLib::NormalizePath("\x95\x5C\\..\\x"), "x");
}

class PackSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(Dir + "/GameData");
        Packs.UseFiles(&Files);
    }
    void Put(const std::string& rel, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(Dir + "/" + rel).parent_path());
        std::ofstream(Dir + "/" + rel, std::ios::binary) << bytes;
    }
    void PutPack(int n, const std::vector<TEntry>& entries, TVersion v = TVersion::V20, bool hash = false) {
        Put("GameData/data" + std::to_string(n) + ".pack", PackWriter::Pack(entries, v));
        if (hash) Put("GameData/data" + std::to_string(n) + ".hash", PackWriter::HashFile(entries));
    }
    std::string Load(std::string_view name) const {
        auto s = Packs.LoadFile(name);
        return s ? s->AsString() : std::string("<nil>");
    }
    std::string Dir = TestData::ScratchDir();
    TFileRoot Files{Dir};
    // Made after the folder, so that its packs close before the folder goes.
    TContextFixture Context;
    TPackSet& Packs = Context.Packs;
};

TEST_F(PackSetTest, TheHighestNumberedPackWins) {
    PutPack(3, {{"gamedata\\a.txt", "from 3"}, {"gamedata\\only3.txt", "three"}});
    PutPack(7, {{"gamedata\\a.txt", "from 7"}}, TVersion::V10, true);
    PutPack(0, {{"gamedata\\disk.txt", "from pack 0"}}, TVersion::V10);
    Put("GameData/disk.txt", "from disk");
    ASSERT_TRUE(Packs.OpenPacks("GameData\\"));
    EXPECT_TRUE(Packs.PackExists(0));
    EXPECT_TRUE(Packs.PackExists(3));
    EXPECT_TRUE(Packs.PackExists(7));
    EXPECT_FALSE(Packs.PackExists(5));
    EXPECT_FALSE(Packs.PackExists(16));
    EXPECT_FALSE(Packs.DataPath.empty());

    EXPECT_EQ(Load("GameData\\A.TXT"), "from 7");
    EXPECT_EQ(Load("gamedata/only3.txt"), "three");
    EXPECT_EQ(Load("GameData\\disk.txt"), "from pack 0");  // the packs come before the disk
    EXPECT_EQ(Packs.ResolveFileName("GameData/Only3.txt"), "GameData\\Only3.txt");
    EXPECT_EQ(Packs.ResolveFileName("gamedata\\none.txt"), "");
    EXPECT_EQ(Packs.ResolveFileName(""), "");
    EXPECT_EQ(Load("gamedata\\none.txt"), "<nil>");

    Packs.ClosePacks();
    EXPECT_FALSE(Packs.PackExists(7));
    EXPECT_EQ(Load("GameData\\disk.txt"), "from disk");
}

TEST_F(PackSetTest, ScriptsAreNeverReadFromTheDisk) {
    Put("GameData/Scenario/start.S", "script");
    Put("GameData/readme.txt", "text");
    EXPECT_EQ(Packs.ResolveFileName("GameData\\Scenario\\start.S"), "GameData\\Scenario\\start.S");
    EXPECT_EQ(Load("GameData\\Scenario\\start.S"), "<nil>");
    EXPECT_EQ(Load("GameData\\readme.txt"), "text");

    Packs.LoadFileHook = [](const std::string& name) {
        return name == "GameData\\Scenario\\start.S" ? std::make_unique<TMemoryStream>("served") : nullptr;
    };
    EXPECT_EQ(Load("GameData\\Scenario\\start.S"), "served");
    EXPECT_EQ(Load("GameData\\readme.txt"), "<nil>");  // once the hook is set, its answer is final
}

// Without a game's folder the set reads nothing from the disk.
TEST_F(PackSetTest, WithoutAFolderNothingComesFromTheDisk) {
    Put("GameData/readme.txt", "text");
    PutPack(0, {{"gamedata\\a.txt", "a"}});
    Packs.UseFiles(nullptr);
    std::string failure;
    EXPECT_FALSE(Packs.OpenPacks("GameData\\", &failure));
    EXPECT_EQ(failure, "no pack GameData\\data0.pack .. data15.pack");
    EXPECT_EQ(Packs.ResolveFileName("GameData\\readme.txt"), "");
    EXPECT_EQ(Load("GameData\\readme.txt"), "<nil>");
    Packs.UseFiles(&Files);
    EXPECT_EQ(Load("GameData\\readme.txt"), "text");
}

TEST_F(PackSetTest, HooksServeWhatNoPackHolds) {
    PutPack(1, {{"gamedata\\packed.txt", "packed"}});
    ASSERT_TRUE(Packs.OpenPacks("GameData\\"));
    Packs.FileExistsHook = [](const std::string& name) { return name == "$$$save1"; };
    Packs.LoadFileHook = [](const std::string& name) { return std::make_unique<TMemoryStream>("virtual " + name); };
    EXPECT_EQ(Packs.ResolveFileName("$$$save1"), "$$$save1");
    EXPECT_EQ(Packs.ResolveFileName("$$$save2"), "");
    EXPECT_EQ(Load("$$$save1"), "virtual $$$save1");
    EXPECT_EQ(Load("$$$save2"), "<nil>");  // not resolved: the hook is not asked
    EXPECT_EQ(Load("gamedata\\packed.txt"), "packed");
}

TEST_F(PackSetTest, ADamagedPackStopsTheSetWithItsName) {
    struct Case {
        const char* name;
        const char* file;
        std::string bytes;
        const char* failingFile;  // named in the failure
    } cases[] = {
        {"not a pack", "GameData/data2.pack", "this is not a pack at all, only text that is long enough", "data2.pack"},
        {"empty pack", "GameData/data2.pack", "", "data2.pack"},
        {"damaged name table file", "GameData/data2.hash", "damaged name table", "data2.hash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Dir + "/GameData");
        PutPack(1, {{"gamedata\\a.txt", "one"}});
        PutPack(2, {{"gamedata\\a.txt", "two"}}, TVersion::V10);
        PutPack(4, {{"gamedata\\a.txt", "four"}});
        Put(c.file, c.bytes);
        std::string failure;
        EXPECT_FALSE(Packs.OpenPacks("GameData\\", &failure));
        EXPECT_NE(failure.find(c.failingFile), std::string::npos) << failure;
        EXPECT_TRUE(Packs.PackExists(1));  // opened before the damaged one, and left open
        EXPECT_FALSE(Packs.PackExists(2));
        EXPECT_FALSE(Packs.PackExists(4));  // never reached
        Packs.ClosePacks();
    }
    std::filesystem::remove_all(Dir + "/GameData");
    std::filesystem::create_directories(Dir + "/GameData");
    std::string failure;
    EXPECT_FALSE(Packs.OpenPacks("GameData\\", &failure));  // no pack at all
    EXPECT_NE(failure.find("data0.pack"), std::string::npos) << failure;
}

TEST_F(PackSetTest, ClosingForgetsTheDataPath) {
    PutPack(0, {{"gamedata\\a.txt", "zero"}});
    ASSERT_TRUE(Packs.OpenPacks("GameData\\"));
    EXPECT_EQ(Packs.DataPath, std::filesystem::absolute(Dir + "/GameData").string() + "/");
    Packs.ClosePacks();
    EXPECT_EQ(Packs.DataPath, "");
}

TEST_F(PackSetTest, NameTableFilesDecideWhatAPackHolds) {
    const std::vector<TEntry> entries = {{"gamedata\\a.txt", "aaa"}, {"gamedata\\b.txt", "bbb"}};
    PutPack(2, entries, TVersion::V10, true);
    // Pack 5 holds c.txt, but its name table lacks it; and it maps a.txt to the wrong entry.
    const std::vector<TEntry> five = {{"gamedata\\x.txt", "x5"}, {"gamedata\\a.txt", "a5"}, {"gamedata\\c.txt", "c5"}};
    Put("GameData/data5.pack", PackWriter::Pack(five, TVersion::V10));
    Put("GameData/data5.hash", PackWriter::NameTable({"gamedata\\a.txt", "gamedata\\x.txt"}, 512));
    ASSERT_TRUE(Packs.OpenPacks("GameData\\"));
    ASSERT_NE(Packs.Pack(5)->NameTable(), nullptr);
    EXPECT_EQ(Load("gamedata\\x.txt"), "<nil>");  // mapped to entry 1, whose name differs
    EXPECT_EQ(Load("gamedata\\c.txt"), "<nil>");  // missing from the table: no linear search
    EXPECT_EQ(Load("gamedata\\a.txt"), "aaa");    // pack 5's wrong mapping is not believed
    EXPECT_EQ(Load("GameData\\B.txt"), "bbb");
}

TEST_F(PackSetTest, TheChecksumSwitch) {
    std::vector<TEntry> entries = {{"gamedata\\good.txt", "good entry bytes", false, false},
                                   {"gamedata\\bad.txt", "bad entry bytes!", false, false}};
    std::string pack = PackWriter::Pack(entries, TVersion::V20);
    pack[16 + 3] ^= 1;  // inside the second entry
    Put("GameData/data0.pack", pack);
    std::vector<std::string> errors;
    Packs.OnPackError = [&](const std::string& name) { errors.push_back(name); };
    ASSERT_TRUE(Packs.OpenPacks("GameData\\"));

    EXPECT_EQ(Load("gamedata\\bad.txt"), "bad!entry bytes!");
    EXPECT_TRUE(errors.empty());  // verification starts switched off
    Packs.SetPackVerify(true);
    EXPECT_EQ(Load("gamedata\\bad.txt"), "<nil>");
    EXPECT_EQ(errors, std::vector<std::string>{"gamedata\\bad.txt"});
    EXPECT_EQ(Load("gamedata\\good.txt"), "good entry bytes");
    Packs.OnPackError = nullptr;
    EXPECT_EQ(Load("gamedata\\bad.txt"), "<nil>");  // without a handler the read just gives nil
    Packs.SetPackVerify(false);
    EXPECT_EQ(Load("gamedata\\bad.txt"), "bad!entry bytes!");
}

// Two games' pack sets side by side: each reads its own packs and hooks, and a damaged entry is
// reported to its own set only.
TEST_F(PackSetTest, TwoSetsSideBySideKeepToTheirOwn) {
    const std::vector<TEntry> mine = {{"gamedata\\ok.txt", "good entry bytes", false, false},
                                      {"gamedata\\a.txt", "this one's own!!", false, false}};
    std::string damaged = PackWriter::Pack(mine, TVersion::V20);
    damaged[16 + 3] ^= 1;  // inside the second entry
    Put("GameData/data0.pack", damaged);
    const std::string otherDir = TestData::ScratchDir();
    std::filesystem::create_directories(otherDir + "/GameData");
    std::ofstream(otherDir + "/GameData/data0.pack", std::ios::binary)
        << PackWriter::Pack(std::vector<TEntry>{{"gamedata\\a.txt", "the other's"}}, TVersion::V20);
    const TFileRoot otherFiles{otherDir};
    TContextFixture other;
    other.Packs.UseFiles(&otherFiles);
    ASSERT_TRUE(Packs.OpenPacks("GameData\\"));
    ASSERT_TRUE(other.Packs.OpenPacks("GameData\\"));
    Packs.FileExistsHook = [](const std::string& name) { return name == "$$$mine"; };
    Packs.LoadFileHook = [](const std::string&) { return std::make_unique<TMemoryStream>("mine"); };
    std::vector<std::string> errors, otherErrors;
    Packs.OnPackError = [&](const std::string& name) { errors.push_back(name); };
    other.Packs.OnPackError = [&](const std::string& name) { otherErrors.push_back(name); };
    Packs.SetPackVerify(true);
    other.Packs.SetPackVerify(true);

    EXPECT_EQ(Load("gamedata\\a.txt"), "<nil>");
    EXPECT_EQ(other.Packs.LoadFile("gamedata\\a.txt")->AsString(), "the other's");
    EXPECT_EQ(errors, std::vector<std::string>{"gamedata\\a.txt"});
    EXPECT_TRUE(otherErrors.empty());
    EXPECT_EQ(Load("$$$mine"), "mine");
    EXPECT_EQ(other.Packs.ResolveFileName("$$$mine"), "");
    EXPECT_NE(Packs.DataPath, other.Packs.DataPath);
    other.Packs.ClosePacks();
    EXPECT_TRUE(Packs.PackExists(0));
    other.Packs.UseFiles(nullptr);
}

}  // namespace

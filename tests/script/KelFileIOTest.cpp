#include <gtest/gtest.h>

#include <map>
#include <string>

#include "foundation/PackLib.h"
#include "script/KelFileIO.h"
#include "tests/support/ContextFixture.h"

namespace {

// Serves in-memory files through the pack set's hooks; "broken.txt" exists but cannot be read.
class FileIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        Context.Packs.FileExistsHook = [this](const std::string& n) { return Files.count(n) > 0 || n == "broken.txt"; };
        Context.Packs.LoadFileHook = [this](const std::string& n) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(n);
            if (it == Files.end()) return nullptr;
            return std::make_unique<TMemoryStream>(it->second);
        };
    }
    std::map<std::string, std::string> Files = {
        {"etc\\config.txt", "Title=Kel\r\nspeed=3\nempty=\rtitle=second\r\nlast line"},
        {"etc\\other.txt", "one\r\ntwo\r\n"},
    };
    TContextFixture Context;
};

TEST_F(FileIOTest, LinesAndValuesOfALoadedFile) {
    TFileIOLib f(Context.Packs);
    ASSERT_TRUE(f.LoadFile("etc/config.txt"));
    EXPECT_EQ(f.FileName(), "etc\\config.txt");  // the resolved name
    struct Case {
        int32_t index;
        const char* line;
    };
    const Case lines[] = {{0, "Title=Kel"}, {1, "speed=3"}, {2, "empty="}, {3, "title=second"},
                          {4, "last line"}, {5, ""},        {-1, ""},      {1000, ""}};
    for (const Case& c : lines)
        EXPECT_EQ(f.GetLine(c.index), c.line) << c.index;
    struct Value {
        const char* key;
        const char* value;
    };
    const Value values[] = {{"title", "Kel"}, {"SPEED", "3"}, {"empty", ""}, {"missing", ""}, {"last line", ""}};
    for (const Value& v : values)
        EXPECT_EQ(f.GetValue(v.key), v.value) << v.key;

    f.Clear();
    EXPECT_EQ(f.Lines().Count(), 0);
    EXPECT_EQ(f.FileName(), "");
}

TEST_F(FileIOTest, AFailedLoadKeepsWhatWasLoaded) {
    TFileIOLib f(Context.Packs);
    ASSERT_TRUE(f.LoadFile("etc\\other.txt"));
    for (const char* name : {"missing.txt", "broken.txt", ""}) {
        EXPECT_FALSE(f.LoadFile(name)) << name;
        EXPECT_EQ(f.FileName(), "etc\\other.txt");
        EXPECT_EQ(f.Lines().Items, (std::vector<std::string>{"one", "two"}));
    }
}

TEST_F(FileIOTest, TheRecordHoldsTheNameAndLoadingReadsTheFileAgain) {
    TFileIOLib f(Context.Packs);
    ASSERT_TRUE(f.LoadFile("etc\\other.txt"));
    TMemoryStream s;
    ASSERT_TRUE(f.SaveToStream(&s));
    EXPECT_EQ(s.AsString(), std::string("\x0D\0etc\\other.txt", 15));

    Files["etc\\other.txt"] = "changed";
    TFileIOLib back(Context.Packs);
    s.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(&s));
    EXPECT_EQ(back.FileName(), "etc\\other.txt");
    EXPECT_EQ(back.Lines().Items, (std::vector<std::string>{"changed"}));

    // An empty name, or a file gone since the save, leaves the object empty.
    Files.erase("etc\\other.txt");
    for (const std::string& bytes : {std::string("\0\0", 2), s.AsString()}) {
        TFileIOLib g(Context.Packs);
        ASSERT_TRUE(g.LoadFile("etc\\config.txt"));
        TMemoryStream in(bytes);
        EXPECT_TRUE(g.LoadFromStream(&in));
        EXPECT_EQ(g.FileName(), "");
        EXPECT_EQ(g.Lines().Count(), 0);
    }

    // A name that ends early is refused and changes nothing.
    TFileIOLib h(Context.Packs);
    ASSERT_TRUE(h.LoadFile("etc\\config.txt"));
    for (const std::string& bytes : {std::string(), std::string("\x05", 1), std::string("\x05\0ab", 4)}) {
        TMemoryStream in(bytes);
        EXPECT_FALSE(h.LoadFromStream(&in)) << bytes.size();
        EXPECT_EQ(h.FileName(), "etc\\config.txt");
    }
    EXPECT_FALSE(h.LoadFromStream(nullptr));
    EXPECT_FALSE(h.SaveToStream(nullptr));
}

}  // namespace

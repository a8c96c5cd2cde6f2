#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "platform/Encoding.h"
#include "script/uKelPath.h"
#include "tests/support/ContextFixture.h"

namespace {

std::vector<std::string> Entries(const TKelStringList& list) {
    std::vector<std::string> r;
    for (int32_t i = 0; i < list.Count(); ++i)
        r.push_back(list[i]);
    return r;
}

TEST(KelStringListTest, HoldsEachTextOnceWithoutRegardToCase) {
    TKelStringList list;
    list.Add("Alpha");
    list.Add("ALPHA");
    list.Add("beta");
    list.Add("alpha");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"Alpha", "beta"}));
    EXPECT_EQ(list.IndexOf("BETA"), 1);
    EXPECT_EQ(list.IndexOf("gamma"), -1);
    list.Remove("aLpHa");
    list.Remove("gamma");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"beta"}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(KelPathTest, FoldersEndWithOneBackslashAndAreListedOnce) {
    const std::string hyou = "表"_sj;  // its trail byte is 0x5C
    ASSERT_EQ(static_cast<uint8_t>(hyou[1]), 0x5C);
    struct Case {
        std::vector<std::string> added;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {{"bg", "BG\\"}, {"bg\\"}},
        {{"Chara\\", "chara"}, {"Chara\\"}},
        {{"a\\b", "a\\B\\", "a"}, {"a\\b\\", "a\\"}},
        {{"data\\" + hyou}, {"data\\" + hyou + "\\"}},
        {{hyou + "\\"}, {hyou + "\\"}},
        {{""}, {"\\"}},
    };
    for (const Case& c : cases) {
        TKelPath path;
        for (const std::string& f : c.added)
            path.Add(f);
        EXPECT_EQ(Entries(path), c.listed) << c.added.front();
    }
}

// Removal takes the text as it is: a folder goes only when written with its final backslash.
TEST(KelPathTest, RemoveNeedsTheFinalBackslash) {
    TKelPath path;
    path.Add("bg");
    path.Remove("bg");
    EXPECT_EQ(path.Count(), 1);
    path.Remove("BG\\");
    EXPECT_EQ(path.Count(), 0);
}

TEST(KelPathTest, ClearAlsoClearsTheLock) {
    TKelPath path;
    path.Add("bg");
    path.Lock = 1;
    path.Clear();
    EXPECT_EQ(path.Count(), 0);
    EXPECT_EQ(path.Lock, 0);
}

TEST(KelPathTest, ResolveTriesTheBareNameThenEachFolderInOrder) {
    const std::set<std::string> files = {"a.png", "bg\\b.png", "ev\\b.png", "ev\\c.png", "bg\\sub\\d.png"};
    struct Case {
        const char* name;
        const char* found;
    };
    const Case cases[] = {
        {"a.png", "a.png"},      // the bare name first
        {"b.png", "bg\\b.png"},  // the first folder listed wins
        {"c.png", "ev\\c.png"}, {"sub\\d.png", "bg\\sub\\d.png"}, {"x.png", ""}, {"", ""},
    };
    TKelPath path;
    path.Add("bg");
    path.Add("ev");
    path.OnFileExists = [&](const std::string& n) { return files.count(n) > 0; };
    std::vector<std::string> notified;
    path.OnFileFound = [&](const std::string& n) { notified.push_back(n); };
    for (const Case& c : cases) {
        std::string found = "stale";
        EXPECT_EQ(path.Resolve(c.name, false, found), *c.found != 0) << c.name;
        EXPECT_EQ(found, c.found) << c.name;
    }
    EXPECT_TRUE(notified.empty());

    std::string found;
    EXPECT_TRUE(path.Resolve("b.png", true, found));
    EXPECT_FALSE(path.Resolve("x.png", true, found));
    EXPECT_EQ(notified, (std::vector<std::string>{"bg\\b.png"}));
}

TEST(KelPathTest, ResolveFindsNothingWithoutAnExistsEvent) {
    TKelPath path;
    path.Add("bg");
    bool notified = false;
    path.OnFileFound = [&](const std::string&) { notified = true; };
    std::string found = "stale";
    EXPECT_FALSE(path.Resolve("a.png", true, found));
    EXPECT_EQ(found, "");
    EXPECT_FALSE(notified);
}

TEST(KelPathTest, ThePackSetAnswersTheExistsEvent) {
    TContextFixture context;
    context.Packs.FileExistsHook = [](const std::string& n) { return n == "ev\\c.png"; };
    TKelPath path;
    path.OnFileExists = [&](const std::string& name) { return uKelPath::PackFileExists(context.Packs, name); };
    path.Add("bg");
    path.Add("ev");
    std::string found;
    EXPECT_TRUE(path.Resolve("c.png", true, found));
    EXPECT_EQ(found, "ev\\c.png");
    EXPECT_FALSE(path.Resolve("d.png", true, found));
}

TEST(KelPathTest, StreamHoldsTheCountTheFoldersAndTheLock) {
    TKelPath path;
    path.Add("bg");
    path.Add("ev\\");
    path.Lock = 1;
    TMemoryStream s;
    ASSERT_TRUE(path.SaveToStream(&s));
    EXPECT_EQ(s.AsString(), std::string("\x02\0\0\0\x03\0bg\\\x03\0ev\\\x01", 15));

    TKelPath back;
    back.Add("old");
    s.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(&s));
    EXPECT_EQ(Entries(back), (std::vector<std::string>{"bg\\", "ev\\"}));
    EXPECT_EQ(back.Lock, 1);
}

// Stored strings are taken as they are, also when they repeat.
TEST(KelPathTest, LoadingKeepsStoredStringsAsTheyAre) {
    TMemoryStream s(std::string("\x02\0\0\0\x02\0bg\x02\0BG\0", 13));
    TKelPath path;
    ASSERT_TRUE(path.LoadFromStream(&s));
    EXPECT_EQ(Entries(path), (std::vector<std::string>{"bg", "BG"}));
    EXPECT_EQ(path.Lock, 0);
}

// Every cut of a good record, and counts that the bytes cannot hold.
std::vector<std::string> DamagedForms(const std::string& good) {
    std::vector<std::string> r;
    for (size_t n = 0; n < good.size(); ++n)
        r.push_back(good.substr(0, n));
    r.push_back(std::string("\xFF\xFF\xFF\xFF\0\0\0", 7));
    r.push_back(std::string("\x03\0\0\0\0\0\0\0\0", 9));  // three strings, two lengths and a byte
    return r;
}

TEST(KelPathTest, DamagedRecordsAreRefusedAndChangeNothing) {
    TKelPath saved;
    saved.Add("bg");
    saved.Add("ev");
    saved.Lock = 1;
    TMemoryStream good;
    saved.SaveToStream(&good);
    for (const std::string& bytes : DamagedForms(good.AsString())) {
        TKelPath path;
        path.Add("keep");
        TMemoryStream s(bytes);
        EXPECT_FALSE(path.LoadFromStream(&s)) << bytes.size();
        EXPECT_EQ(Entries(path), (std::vector<std::string>{"keep\\"}));
        EXPECT_EQ(path.Lock, 0);
    }

    TKelStringList plain;
    plain.Add("bg");
    plain.Add("ev");
    TMemoryStream goodPlain;
    plain.SaveToStream(&goodPlain);
    for (const std::string& bytes : DamagedForms(goodPlain.AsString())) {
        TKelStringList list;
        list.Add("keep");
        TMemoryStream s(bytes);
        EXPECT_FALSE(list.LoadFromStream(&s)) << bytes.size();
        EXPECT_EQ(Entries(list), (std::vector<std::string>{"keep"}));
    }

    TKelPath path;
    EXPECT_FALSE(path.LoadFromStream(nullptr));
    EXPECT_FALSE(path.SaveToStream(nullptr));
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/Compression.h"
#include "foundation/Scramblers.h"
#include "foundation/uHashTable.h"
#include "platform/FileRoot.h"
#include "platform/LittleEndian.h"
#include "tests/support/LegacyFormats.h"

namespace {

int32_t GetInt(THashTable& t, std::string_view name) {
    int32_t v = -1;
    return t.Get(name, &v, 4) ? v : -1;
}

// Built with append: GCC 12 warns wrongly about operator+ of a literal and a temporary string.
std::string Name(std::string_view prefix, int i, std::string_view suffix = "") {
    std::string s(prefix);
    s.append(std::to_string(i)).append(suffix);
    return s;
}

void AddInt(THashTable& t, std::string_view name, int32_t v) {
    ASSERT_TRUE(t.Add(name, &v, 4));
}

std::string Save(THashTable& t) {
    TMemoryStream s;
    EXPECT_TRUE(t.SaveToStream(&s));
    return s.AsString();
}

bool Load(THashTable& t, const std::string& bytes) {
    TMemoryStream s(bytes);
    return t.LoadFromStream(&s);
}

TEST(HashTableTest, NamesIgnoreAsciiCaseOnly) {
    THashTable t(256);
    AddInt(t, "Abc", 1);
    AddInt(t, "abc", 2);  // the same name: overwritten in place
    EXPECT_EQ(t.ItemCount(), 1);
    EXPECT_EQ(GetInt(t, "ABC"), 2);
    EXPECT_EQ(t.DataBlock().Data.size(), 4u);

    // The trail byte of a two-byte character may be an upper-case letter; it is never folded.
    const std::string kanji = "\x83\x41.txt";  // ア
    const std::string other = "\x83\x61.txt";  // ャ: the trail byte lower-cased
    AddInt(t, kanji, 10);
    EXPECT_EQ(GetInt(t, "\x83\x41.TXT"), 10);
    EXPECT_EQ(GetInt(t, other), -1);
    EXPECT_TRUE(t.Get(kanji, nullptr, 0));
    EXPECT_FALSE(t.Get("missing", nullptr, 0));
}

TEST(HashTableTest, ValuesStayReachableWhenTheBlockGrows) {
    THashTable t(16);
    AddInt(t, "first", 42);
    EXPECT_EQ(GetInt(t, "first"), 42);  // now in the look-up cache
    for (int i = 0; i < 5000; ++i)
        AddInt(t, Name("n", i), i);
    EXPECT_EQ(GetInt(t, "first"), 42);
    EXPECT_EQ(GetInt(t, "n4999"), 4999);
    // More names than the cache holds, looked up again.
    for (int i = 0; i < 5000; i += 7)
        ASSERT_EQ(GetInt(t, Name("N", i)), i);
}

TEST(HashTableTest, HashesAndBuckets) {
    THashTable t(256);
    // Σ byte · ((i xor 231) and 255): a = 97 · 230, b = 98 · 229.
    EXPECT_EQ(THashTable::SecondHash("ab"), 97u * 230 + 98u * 229);
    EXPECT_EQ(t.BucketOf("ab"), (97 + 98 * 2) % 256);
}

TEST(HashTableTest, TheItemCountStopsAt65535) {
    THashTable t(512);
    uint16_t v = 0;
    for (int i = 0; i < 65535; ++i) {
        v = static_cast<uint16_t>(i);
        ASSERT_TRUE(t.Add(Name("f", i), &v, 2));
    }
    EXPECT_FALSE(t.Add("one more", &v, 2));
    EXPECT_EQ(t.ItemCount(), 65535);
    EXPECT_FALSE(t.Get("one more", nullptr, 0));
    v = 7;
    EXPECT_TRUE(t.Add("F12", &v, 2));  // an existing name is still written
    uint16_t got = 0;
    EXPECT_TRUE(t.Get("f12", &got, 2));
    EXPECT_EQ(got, 7);
}

TEST(HashTableTest, SavesAndLoadsBothVersions) {
    THashTable t(256);
    for (int i = 0; i < 300; ++i)
        AddInt(t, Name("GameData\\File", i, ".png"), i * 3);
    const std::string file = Save(t);
    ASSERT_GE(file.size(), 32u);
    EXPECT_EQ(file.substr(0, 16), std::string("HashVer1.3\0\0\0\0\0\0", 16));

    THashTable back(256);
    ASSERT_TRUE(Load(back, file));
    EXPECT_EQ(back.ItemCount(), 300);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(GetInt(back, Name("gamedata\\file", i, ".png")), i * 3);
    EXPECT_EQ(Save(back), file);

    THashTable otherBuckets(512);
    EXPECT_FALSE(Load(otherBuckets, file));

    for (const char* version : {"hashver1.2", "HashVer1.2", "HASHVER1.2"}) {
        SCOPED_TRACE(version);
        THashTable old(256);
        ASSERT_TRUE(Load(old, LegacyFormats::WriteHashTable12(t, version)));
        EXPECT_EQ(old.Bucket(old.BucketOf("gamedata\\file7.png"))[0].SecondHash, THashTable::kAnyHash);
        EXPECT_EQ(GetInt(old, "GAMEDATA\\FILE7.PNG"), 21);
    }
    THashTable wrong(256);
    EXPECT_FALSE(Load(wrong, LegacyFormats::WriteHashTable12(t, "hashver1.1")));
    EXPECT_EQ(wrong.ItemCount(), 0);
    EXPECT_FALSE(wrong.LoadFromStream(nullptr));
    EXPECT_FALSE(wrong.SaveToStream(nullptr));
}

// The body of a table file, unscrambled and expanded, and a way to store a changed body again.
std::string Body(const std::string& file) {
    std::string packed = file.substr(32);
    uMisc::ScrambleBuffer(packed.data(), packed.size(), true, THashTable::kScrambleKey);
    std::string body;
    EXPECT_TRUE(uMisc::BPEExpandBytes(packed.data(), packed.size(), body));
    return body;
}

void SetField(std::string& file, size_t at, uint32_t v) {
    LittleEndian::Put32(reinterpret_cast<uint8_t*>(file.data() + at), v);
}

std::string WithBody(const std::string& file, const std::string& body) {
    std::string packed = uMisc::BPECompressBytes(body.data(), body.size());
    uMisc::ScrambleBuffer(packed.data(), packed.size(), false, THashTable::kScrambleKey);
    std::string out = file.substr(0, 32) + packed;
    SetField(out, 28, static_cast<uint32_t>(packed.size()));
    return out;
}

TEST(HashTableTest, DamagedFilesAreRefusedAndLeaveTheTableEmpty) {
    THashTable t(4);
    AddInt(t, "a", 1);
    AddInt(t, "b", 2);
    const std::string file = Save(t);
    const std::string body = Body(file);
    // Bucket 1 holds "a": count, name, offset, second hash; the data block (8 bytes) is last.
    const size_t aOffset = 2 + 2 + 2 + 1;

    std::string shortBody = file.substr(0, file.size() - 3);
    std::string badScramble = file;
    badScramble[40] ^= 1;
    std::string tooManyItems = file;
    SetField(tooManyItems, 20, 3);
    std::string absurdItems = file;
    SetField(absurdItems, 20, 60000);
    std::string bigData = file;
    SetField(bigData, 24, 9);
    std::string offsetOut = body;
    offsetOut[aOffset] = 5;  // a value of 4 bytes at 5 runs past the 8-byte block
    std::string offsetNegative = body;
    offsetNegative[aOffset + 7] = '\x80';
    std::string cutItems = body.substr(0, 12);

    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"short body", shortBody},
        {"damaged body", badScramble},
        {"item count the body does not hold", tooManyItems},
        {"absurd item count", absurdItems},
        {"data block shorter than its size", bigData},
        {"value outside the data block", WithBody(file, offsetOut)},
        {"negative offset", WithBody(file, offsetNegative)},
        {"items cut", WithBody(file, cutItems)},
        {"header only", file.substr(0, 32)},
        {"nothing", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        THashTable back(4);
        back.ValueSize = 4;
        AddInt(back, "old", 5);
        EXPECT_FALSE(Load(back, c.bytes));
        EXPECT_EQ(back.ItemCount(), 0);
        EXPECT_FALSE(back.Get("old", nullptr, 0));
    }
    THashTable good(4);
    good.ValueSize = 4;
    ASSERT_TRUE(Load(good, WithBody(file, body)));
    EXPECT_EQ(GetInt(good, "b"), 2);
}

TEST(HashTableTest, GetNeverReadsOutsideTheBlock) {
    THashTable t(4);
    uint16_t small = 3;
    ASSERT_TRUE(t.Add("x", &small, 2));
    int32_t wide = 0;
    EXPECT_FALSE(t.Get("x", &wide, 4));  // 4 bytes at offset 0 of a 2-byte block
    EXPECT_FALSE(t.Add("x", &wide, 4));
    uint16_t got = 0;
    EXPECT_TRUE(t.Get("x", &got, 2));
    EXPECT_EQ(got, 3);
}

TEST(HashTableTest, LoadsFromAFile) {
    THashTable t(512);
    AddInt(t, "x.png", 9);
    TMemoryStream s;
    ASSERT_TRUE(t.SaveToStream(&s));
    const TFileRoot root(::testing::TempDir());
    ASSERT_TRUE(s.SaveToFile(root, "kel_hashtable_test.hash"));
    THashTable back(512);
    EXPECT_TRUE(back.LoadFromFile(root, "kel_hashtable_test.hash"));
    EXPECT_EQ(GetInt(back, "X.PNG"), 9);
    EXPECT_FALSE(back.LoadFromFile(root, "kel_no_such_file.hash"));
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "foundation/Checksum.h"
#include "foundation/uFilePack.h"
#include "foundation/uHashTable.h"
#include "platform/FileRoot.h"
#include "platform/LittleEndian.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace {

using PackWriter::TEntry;
using PackWriter::TVersion;

std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() % 7);  // compressible
    return s;
}

std::vector<TEntry> Entries() {
    return {
        {"GameData\\System\\Config.txt", "x=1\r\ny=2\r\n", true, true},
        {"gamedata/image/bg.png", RandomBytes(20000, 1), true, false},
        {"gamedata\\sound\\a.ogg", RandomBytes(777, 2), false, true},
        {"gamedata\\plain.bin", RandomBytes(64, 3), false, false},
        {"gamedata\\empty.txt", "", true, true},
    };
}

class FilePackTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes, const std::string& name = "test.pack") {
        const std::string path = Dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Dir = TestData::ScratchDir();
    TFileRoot Files{Dir};
};

std::string Read(TFilePack& p, int64_t n) {
    auto s = p.ReadByIndex(n);
    return s ? s->AsString() : std::string("<nil>");
}

TEST_F(FilePackTest, ReadsBothVersions) {
    const auto entries = Entries();
    for (TVersion v : {TVersion::V10, TVersion::V20}) {
        SCOPED_TRACE(v == TVersion::V10 ? "1.0" : "2.0");
        for (bool keepOpen : {true, false}) {
            TFilePack pack(Files, Write(PackWriter::Pack(entries, v)), keepOpen);
            ASSERT_TRUE(pack.Opened());
            EXPECT_FALSE(pack.Invalid());
            EXPECT_EQ(pack.IsVersion20(), v == TVersion::V20);
            ASSERT_EQ(pack.Count(), entries.size());
            EXPECT_EQ(pack.EntryName(1), "gamedata\\image\\bg.png");
            pack.Verify = true;
            for (size_t i = 0; i < entries.size(); ++i) {
                EXPECT_EQ(Read(pack, static_cast<int64_t>(i)), entries[i].Bytes) << i;
                auto s = pack.ReadByName(PackWriter::StoredName(entries[i].Name));
                ASSERT_NE(s, nullptr);
                EXPECT_EQ(s->Position(), 0);
                EXPECT_EQ(s->AsString(), entries[i].Bytes);
            }
            EXPECT_TRUE(pack.Contains("GAMEDATA\\SYSTEM\\CONFIG.TXT"));
            EXPECT_FALSE(pack.Contains("gamedata/system/config.txt"));  // names are not normalised here
            EXPECT_EQ(pack.ReadByName("GameData\\Image\\BG.PNG")->AsString(), entries[1].Bytes);
            EXPECT_EQ(pack.ReadByName("missing"), nullptr);
            EXPECT_EQ(pack.ReadByIndex(-1), nullptr);
            EXPECT_EQ(pack.ReadByIndex(static_cast<int64_t>(entries.size())), nullptr);
        }
    }
}

// The stored bytes of entry n within a pack made from entries.
size_t StoredAt(const std::vector<TEntry>& entries, size_t n) {
    size_t at = 0;
    for (size_t i = 0; i < n; ++i)
        at += PackWriter::Store(entries[i]).Bytes.size();
    return at;
}

TEST_F(FilePackTest, ChecksumsAreTestedOnlyWhileVerifying) {
    const auto entries = Entries();
    std::string bytes = PackWriter::Pack(entries, TVersion::V20);
    bytes[StoredAt(entries, 3) + 5] ^= 0x40;  // the plain entry
    TFilePack pack(Files, Write(bytes), true);
    ASSERT_TRUE(pack.Opened());
    std::vector<std::string> errors;
    pack.ErrorProc = [&](const std::string& name) { errors.push_back(name); };

    pack.Verify = true;
    EXPECT_EQ(pack.ReadByIndex(3), nullptr);
    EXPECT_EQ(errors, std::vector<std::string>{"gamedata\\plain.bin"});
    EXPECT_EQ(Read(pack, 0), entries[0].Bytes);  // the other entries still load

    pack.Verify = false;
    std::string damaged = entries[3].Bytes;
    damaged[5] ^= 0x40;
    EXPECT_EQ(Read(pack, 3), damaged);
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(FilePackTest, LargeEntriesAreNeverVerified) {
    std::vector<TEntry> entries = {{"big.bin", std::string(TFilePack::kVerifyLimit, 'b'), false, false},
                                   {"small.bin", "small entry ....", false, false}};
    auto stored = PackWriter::StoreAll(entries);
    stored[0].Record.Checksum ^= 1;
    stored[1].Record.Checksum ^= 1;
    TFilePack pack(Files, Write(PackWriter::Pack(stored, TVersion::V10)), true);
    pack.Verify = true;
    EXPECT_EQ(pack.ReadByIndex(0)->Size(), TFilePack::kVerifyLimit);
    EXPECT_EQ(pack.ReadByIndex(1), nullptr);
}

TEST_F(FilePackTest, AWrongEmbeddedTableIsCaughtByTheEntryName) {
    // An embedded table that maps each name to the next entry: ReadByName falls back to the
    // linear search and still finds the right bytes.
    const auto entries = Entries();
    const auto stored = PackWriter::StoreAll(entries);
    std::string good = PackWriter::Pack(stored, TVersion::V20);
    std::vector<std::string> shifted;
    for (size_t i = 0; i < stored.size(); ++i)
        shifted.push_back(stored[(i + 1) % stored.size()].Name);
    const std::string goodTable = PackWriter::NameTable(
        [&] {
            std::vector<std::string> names;
            for (const auto& s : stored)
                names.push_back(s.Name);
            return names;
        }(),
        256);
    const std::string badTable = PackWriter::NameTable(shifted, 256);
    ASSERT_EQ(goodTable.size(), badTable.size());
    const size_t at = good.size() - TFilePack::kTrailer20Size - goodTable.size();
    ASSERT_EQ(good.substr(at, goodTable.size()), goodTable);
    good.replace(at, badTable.size(), badTable);
    TFilePack pack(Files, Write(good), true);
    ASSERT_TRUE(pack.Opened());
    for (const auto& e : entries) {
        auto s = pack.ReadByName(PackWriter::StoredName(e.Name));
        ASSERT_NE(s, nullptr) << e.Name;
        EXPECT_EQ(s->AsString(), e.Bytes);
    }
}

void Set32(std::string& s, size_t at, uint32_t v) {
    LittleEndian::Put32(reinterpret_cast<uint8_t*>(s.data() + at), v);
}

TEST_F(FilePackTest, DamageDecidesBetweenRefusingThePackAndFailingOneEntry) {
    const auto entries = Entries();
    const std::string v1 = PackWriter::Pack(entries, TVersion::V10);
    const std::string v2 = PackWriter::Pack(entries, TVersion::V20);
    const size_t t1 = v1.size() - 28, t2 = v2.size() - 1088;
    const size_t index1 = StoredAt(entries, entries.size());

    auto with = [](std::string s, size_t at, uint32_t v) {
        Set32(s, at, v);
        return s;
    };
    std::string wrongTrailer = v1;
    wrongTrailer[t1 + 12] = '9';
    std::string wrongSignature = v2;
    wrongSignature[t2 + 3] ^= 1;
    std::string damagedTable = v2;  // the table's bucket count no longer matches
    const uint32_t tableSize = static_cast<uint8_t>(v2[t2 + 32]) | (static_cast<uint8_t>(v2[t2 + 33]) << 8);
    damagedTable[t2 - tableSize + 17] ^= 0x01;
    std::string longName = v1;
    longName[index1] = '\xFF';  // the first name's length runs past the index
    longName[index1 + 1] = '\xFF';
    // The record of entry 0 starts after its 2-byte name length and its name.
    const size_t record0 = index1 + 2 + PackWriter::StoredName(entries[0].Name).size();

    enum class TOutcome { Invalid, Refused, FirstEntryFails, Usable };
    struct Case {
        const char* name;
        std::string bytes;
        TOutcome outcome;
    } cases[] = {
        {"empty file", "", TOutcome::Invalid},
        {"shorter than a trailer", v1.substr(v1.size() - 20), TOutcome::Invalid},
        {"truncated 1.0", v1.substr(0, v1.size() - 1), TOutcome::Invalid},
        {"truncated 2.0", v2.substr(100), TOutcome::Refused},
        {"trailer only", v2.substr(v2.size() - 28), TOutcome::Invalid},
        {"wrong trailer", wrongTrailer, TOutcome::Invalid},
        {"wrong signature", wrongSignature, TOutcome::Invalid},
        {"absurd count", with(v1, t1 + 16, 0xFFFFFFFF), TOutcome::Refused},
        {"count beyond the index", with(v1, t1 + 16, 6), TOutcome::Refused},
        {"index offset past the file", with(v1, t1 + 20, 0x7FFFFFFF), TOutcome::Refused},
        {"name past the index", longName, TOutcome::Refused},
        {"entry offset past the file", with(v1, record0, 0x100000), TOutcome::FirstEntryFails},
        {"entry size past the file", with(v1, record0 + 8, 0xFFFFFFF0), TOutcome::FirstEntryFails},
        {"negative entry offset", with(v1, record0 + 4, 0x80000000), TOutcome::FirstEntryFails},
        {"name table size past the file", with(v2, t2 + 32, 0xFFFFFF00), TOutcome::Usable},
        {"damaged name table", damagedTable, TOutcome::Usable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFilePack pack(Files, Write(c.bytes), true);
        const bool opens = c.outcome == TOutcome::FirstEntryFails || c.outcome == TOutcome::Usable;
        EXPECT_EQ(pack.Opened(), opens);
        EXPECT_EQ(pack.Invalid(), c.outcome == TOutcome::Invalid);
        EXPECT_EQ(pack.Error().empty(), opens);
        if (!opens) {
            EXPECT_EQ(pack.Count(), 0u);
            EXPECT_EQ(pack.ReadByIndex(0), nullptr);
            EXPECT_EQ(pack.ReadByName("gamedata\\plain.bin"), nullptr);
            continue;
        }
        // The other entries load, by number and by name (an empty name table falls back to the
        // linear search).
        ASSERT_EQ(pack.Count(), entries.size());
        if (c.outcome == TOutcome::FirstEntryFails) {
            EXPECT_EQ(pack.ReadByIndex(0), nullptr);
        }
        for (size_t i = c.outcome == TOutcome::FirstEntryFails ? 1 : 0; i < entries.size(); ++i) {
            EXPECT_EQ(Read(pack, static_cast<int64_t>(i)), entries[i].Bytes) << i;
            auto s = pack.ReadByName(PackWriter::StoredName(entries[i].Name));
            ASSERT_NE(s, nullptr) << i;
            EXPECT_EQ(s->AsString(), entries[i].Bytes);
        }
    }
    TFilePack missing(Files, Dir + "/no-such.pack", true);
    EXPECT_FALSE(missing.Opened());
    EXPECT_NE(missing.Error().find("no-such.pack"), std::string::npos) << missing.Error();
}

TEST_F(FilePackTest, ACorruptCompressedEntryGivesNil) {
    std::vector<TEntry> entries = {{"a.txt", std::string(5000, 'a'), true, false}, {"b.txt", "bbb", true, true}};
    auto stored = PackWriter::StoreAll(entries);
    stored[0].Bytes[8] = '\x7F';  // declared size far beyond what the blocks hold
    stored[0].Bytes[9] = '\x7F';
    stored[0].Record.Checksum = uMisc::Checksum64(stored[0].Bytes.data(), stored[0].Bytes.size());
    TFilePack pack(Files, Write(PackWriter::Pack(stored, TVersion::V10)), false);
    pack.Verify = true;
    EXPECT_EQ(pack.ReadByIndex(0), nullptr);
    EXPECT_EQ(Read(pack, 1), "bbb");
}

}  // namespace

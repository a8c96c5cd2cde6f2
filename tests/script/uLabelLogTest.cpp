#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "script/uLabelLog.h"
#include "tests/support/TestData.h"

namespace {

TEST(LabelLogTest, SetCountRaisesUnlessForced) {
    struct Case {
        const char* what;
        int32_t stored;  // -1: absent
        int32_t value;
        bool force;
        bool result;
        int32_t after;
    };
    const Case cases[] = {
        {"absent", -1, 5, false, true, 5},
        {"absent, zero", -1, 0, false, true, 0},
        {"higher", 5, 7, false, true, 7},
        {"lower", 7, 5, false, false, 7},
        {"equal", 7, 7, false, false, 7},
        {"lower, forced", 7, 5, true, true, 5},
        {"negative, forced", 7, -3, true, true, -3},
        {"over a negative", -3, -2, false, true, -2},
    };
    for (const Case& c : cases) {
        TLabelLog log;
        if (c.stored != -1) {
            ASSERT_TRUE(log.SetCount("start.s@@main", c.stored, true));
        }
        EXPECT_EQ(log.SetCount("Start.S@@MAIN", c.value, c.force), c.result) << c.what;
        EXPECT_EQ(log.GetCount("START.s@@Main"), c.after) << c.what;
    }
    TLabelLog log;
    EXPECT_EQ(log.GetCount("nothing"), -1);
    log.SetCount("a", 1, false);
    log.Clear();
    EXPECT_EQ(log.GetCount("a"), -1);
}

// Many counters, Shift-JIS names among them, through the log's file form and back.
TEST(LabelLogTest, CountersRoundTripThroughTheFileForm) {
    TLabelLog log;
    std::vector<std::pair<std::string, int32_t>> entries;
    for (int i = 0; i < 600; ++i)
        entries.emplace_back("scene" + std::to_string(i) + ".s@@l" + std::to_string(i % 7), i * 3);
    entries.emplace_back("シナリオ.s@@開始"_sj, 42);
    entries.emplace_back("bgm\\Title.ogg", 0xFFFFFF);
    for (const auto& [name, value] : entries)
        ASSERT_TRUE(log.SetCount(name, value, true));

    TMemoryStream s;
    ASSERT_TRUE(log.SaveToStream(&s));
    ASSERT_GE(s.Size(), 32);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 11), std::string("HashVer1.3\0", 11));
    EXPECT_EQ(s.Memory()[16], 0);  // 256 buckets
    EXPECT_EQ(s.Memory()[17], 1);

    const TFileRoot root(TestData::ScratchDir());
    const std::string file = root.Folder() + "/labellog.dat";
    ASSERT_TRUE(s.SaveToFile(root, "labellog.dat"));
    TFileStream in(file, TFileMode::OpenRead);
    TLabelLog back;
    back.SetCount("stale", 1, true);
    ASSERT_TRUE(back.LoadFromStream(&in));
    EXPECT_EQ(back.Table().ItemCount(), static_cast<int32_t>(entries.size()));
    for (const auto& [name, value] : entries)
        EXPECT_EQ(back.GetCount(ClassLib::LowerAscii(name)), value) << name;
    EXPECT_EQ(back.GetCount("stale"), -1);
}

// The log answers from memory what its table holds: a random run of calls, names in several
// letter cases among them, checked against a plain model and against the table read back.
TEST(LabelLogTest, AnswersAgreeWithTheTableAfterAnyCalls) {
    const std::string names[] = {"s.s@@a", "S.S@@A", "s.s@@b", "s.s@@B", "t.s@@c", "u.s@@d", "v.s@@e", "w.s@@f"};
    std::map<std::string, int32_t> model;
    TLabelLog log;
    std::mt19937 rng(5);
    for (int step = 0; step < 4000; ++step) {
        const std::string& name = names[rng() % std::size(names)];
        const auto value = static_cast<int32_t>(rng() % 12) - 2;
        const bool force = rng() % 5 == 0;
        const std::string lower = ClassLib::LowerAscii(name);
        auto it = model.find(lower);
        const bool stores = force || it == model.end() || it->second < value;
        ASSERT_EQ(log.SetCount(name, value, force), stores) << step;
        if (stores) model[lower] = value;
        if (step % 500 == 499) {
            TMemoryStream saved;
            ASSERT_TRUE(log.SaveToStream(&saved));
            saved.SetPosition(0);
            ASSERT_TRUE(log.LoadFromStream(&saved));
        }
        if (step == 2000) {
            log.Clear();
            model.clear();
        }
        for (const std::string& n : names) {
            auto m = model.find(ClassLib::LowerAscii(n));
            ASSERT_EQ(log.GetCount(n), m == model.end() ? -1 : m->second) << step << " " << n;
        }
    }
}

TEST(LabelLogTest, AFullLogTakesNoNewNameButRaisesItsOwn) {
    TLabelLog log;
    std::string name;
    for (int32_t i = 0; i < THashTable::kMaxItems; ++i) {
        name.assign(1, 'n').append(std::to_string(i));
        ASSERT_TRUE(log.SetCount(name, 1, false));
    }
    EXPECT_FALSE(log.SetCount("another", 1, false));
    EXPECT_FALSE(log.SetCount("another", 1, true));
    EXPECT_EQ(log.GetCount("another"), -1);
    EXPECT_TRUE(log.SetCount("N17", 5, false));
    EXPECT_EQ(log.GetCount("n17"), 5);
}

// The system data keeps the logs back to back: loading stops at the end of the log.
TEST(LabelLogTest, LoadingReadsExactlyOneLog) {
    TLabelLog first, second;
    first.SetCount("a.png", 1, false);
    second.SetCount("b.png", 2, false);
    TMemoryStream s;
    first.SaveToStream(&s);
    second.SaveToStream(&s);
    s.SetPosition(0);
    TLabelLog a, b;
    ASSERT_TRUE(a.LoadFromStream(&s));
    ASSERT_TRUE(b.LoadFromStream(&s));
    EXPECT_EQ(a.GetCount("a.png"), 1);
    EXPECT_EQ(a.GetCount("b.png"), -1);
    EXPECT_EQ(b.GetCount("b.png"), 2);
    EXPECT_EQ(s.Remaining(), 0);
}

TEST(LabelLogTest, DamagedLogsAreRefusedAndLeaveTheLogEmpty) {
    TLabelLog log;
    log.SetCount("a.png", 1, false);
    log.SetCount("b.png", 2, false);
    TMemoryStream good;
    log.SaveToStream(&good);
    std::vector<std::string> damaged;
    for (size_t n : {size_t{0}, size_t{16}, size_t{31}, good.Data.size() - 1})
        damaged.push_back(good.AsString().substr(0, n));
    THashTable other(512);  // another bucket count
    TMemoryStream otherStream;
    other.SaveToStream(&otherStream);
    damaged.push_back(otherStream.AsString());
    std::string wrongVersion = good.AsString();
    wrongVersion[7] = '9';
    damaged.push_back(wrongVersion);

    for (const std::string& bytes : damaged) {
        TLabelLog back;
        back.SetCount("stale", 1, false);
        TMemoryStream s(bytes);
        EXPECT_FALSE(back.LoadFromStream(&s)) << bytes.size();
        EXPECT_EQ(back.Table().ItemCount(), 0);
        EXPECT_EQ(back.GetCount("stale"), -1);
    }
    EXPECT_FALSE(log.LoadFromStream(nullptr));
}

class FileUseFeedTest : public ::testing::Test {
protected:
    void Feed(std::string_view name) { uLabelLog::FileUseFeed(&Log, Suspended, Patterns, name); }
    TLabelLog Log;
    bool Suspended = false;
    std::array<std::string, uLabelLog::kFileLogPatternCount> Patterns{};
};

TEST_F(FileUseFeedTest, CountsUsedFilesThatMatchAPattern) {
    Patterns[3] = "bgm\\";
    Patterns[10] = ".png";
    struct Case {
        const char* name;
        int32_t count;  // after feeding the name twice
    };
    const Case cases[] = {
        {"BGM\\Title.ogg", 2},
        {"ev\\Girl01.PNG", 2},
        {"system\\button.png", -1},  // system files never count, whatever the patterns
        {"System\\bgm\\x.ogg", -1},
        {"$$$saveimage.png", -1},
        {"se\\click.wav", -1},  // no pattern matches
        {"", -1},
    };
    for (const Case& c : cases) {
        Feed(c.name);
        Feed(c.name);
        EXPECT_EQ(Log.GetCount(c.name), c.count) << c.name;
    }
    // Empty patterns match nothing.
    Patterns = {};
    Feed("ev\\Girl02.png");
    EXPECT_EQ(Log.GetCount("ev\\Girl02.png"), -1);
}

TEST_F(FileUseFeedTest, NothingIsCountedWhileSuspendedOrWithoutALog) {
    Patterns[0] = ".png";
    Suspended = true;
    Feed("a.png");
    EXPECT_EQ(Log.GetCount("a.png"), -1);
    uLabelLog::FileUseFeed(nullptr, false, Patterns, "a.png");
}

TEST_F(FileUseFeedTest, CountersStayWithinTwentyFourBits) {
    Patterns[0] = ".png";
    struct Case {
        int32_t stored;
        int32_t after;
    };
    const Case cases[] = {
        {uLabelLog::kMaxFileUseCount - 1, uLabelLog::kMaxFileUseCount},
        {uLabelLog::kMaxFileUseCount, uLabelLog::kMaxFileUseCount},
        {INT32_MAX, INT32_MAX},  // set by a script beyond the range: kept, not wrapped
        {-5, 1},
    };
    for (const Case& c : cases) {
        Log.SetCount("a.png", c.stored, true);
        Feed("a.png");
        EXPECT_EQ(Log.GetCount("a.png"), c.after) << c.stored;
    }
}

// A skip of read text runs through the lines read before and stops at the first line beyond.
TEST(ReadTextFeedTest, StopsTheSkipOfReadTextAtTheFirstNewLine) {
    TLabelLog log;
    constexpr TRunMode kSkipRead = TRunMode::SkipRead, kNormal = TRunMode::Normal;
    // Reading a label for the first time, normally.
    for (int32_t i = 0; i <= 2; ++i)
        EXPECT_FALSE(uLabelLog::ReadTextFeed(&log, false, "a.s@@start", i, kNormal));
    EXPECT_EQ(log.GetCount("A.S@@START"), 2);
    // Skipping it again: lines 0..2 were read, line 3 is new.
    for (int32_t i = 0; i <= 2; ++i)
        EXPECT_FALSE(uLabelLog::ReadTextFeed(&log, false, "a.s@@start", i, kSkipRead));
    EXPECT_TRUE(uLabelLog::ReadTextFeed(&log, false, "a.s@@start", 3, kSkipRead));
    EXPECT_EQ(log.GetCount("a.s@@start"), 3);
    // Another label is new from its first line.
    EXPECT_TRUE(uLabelLog::ReadTextFeed(&log, false, "a.s@@next", 0, kSkipRead));
    // While suspended nothing is logged and nothing stops.
    EXPECT_FALSE(uLabelLog::ReadTextFeed(&log, true, "a.s@@start", 9, kSkipRead));
    EXPECT_EQ(log.GetCount("a.s@@start"), 3);
    EXPECT_FALSE(uLabelLog::ReadTextFeed(nullptr, false, "a.s@@start", 9, kSkipRead));
}

}  // namespace

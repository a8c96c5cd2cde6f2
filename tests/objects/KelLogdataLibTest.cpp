// The back-log store: the ring of 256 entries, trailing new lines, plain text, the voice channel of
// a speaker, and the saved record with its count and head held inside the ring.
#include <gtest/gtest.h>

#include <string>

#include "foundation/SystemConfigLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"

namespace {

std::string Sj(const char* utf8) {
    return Encoding::Utf8ToSjis(utf8);
}

std::string Numbered(const char* prefix, int i) {
    std::string s(prefix);
    s += std::to_string(i);
    return s;
}

TEST(KelLogDataTest, RingKeepsTheNewest256) {
    TKelLogData log;
    for (int i = 1; i <= 300; ++i)
        log.Add(Numbered("m", i), Numbered("who", i), Numbered("v", i), i, 2 * i, i % 256, 3);
    EXPECT_EQ(log.Count, 256);
    EXPECT_EQ(log.Head, 300 % 256);
    EXPECT_EQ(log.GetText(0), "m300");
    EXPECT_EQ(log.GetText(255), "m45");
    EXPECT_EQ(log.GetName(1), "who299");
    EXPECT_EQ(log.GetVoice(2), "v298");
    EXPECT_EQ(log.GetValue1(0), 300);
    EXPECT_EQ(log.GetValue2(0), 600);
    EXPECT_EQ(log.GetVolume(0), 300 % 256);
    EXPECT_EQ(log.GetValue4(0), 3);
    EXPECT_EQ(log.SlotOf(0), 43);
    EXPECT_EQ(log.SlotOf(44), 255);  // wraps below slot 0
    for (int32_t outside : {-1, 256}) {
        EXPECT_EQ(log.SlotOf(outside), -1);
        EXPECT_EQ(log.GetText(outside), "");
        EXPECT_EQ(log.GetVolume(outside), 0);
    }
    log.Add("", "x", "y", 1, 1, 1, 1);  // an empty text adds nothing
    EXPECT_EQ(log.GetText(0), "m300");
    log.Clear();
    EXPECT_EQ(log.Count, 0);
    EXPECT_EQ(log.Head, 300 % 256);  // the head stays
    EXPECT_EQ(log.Volumes[0], 255);
}

TEST(KelLogDataTest, TrailingNewLineCommandsAreRemoved) {
    const std::pair<const char*, const char*> cases[] = {
        {"abc[n]", "abc"},
        {"abc[n][np,50][nn][nnp]", "abc"},
        {"abc[n][c,$FF][n]", "abc[n][c,$FF]"},  // another command ends the removal
        {"[n]", ""},
        {"abc]", "abc]"},  // no opening bracket
        {"abc[w,1][n]x", "abc[w,1][n]x"},
        {"a]", "a]"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(TKelLogData::StripTrailingNewLines(text), expected) << text;
    TKelLogData log;
    log.Add("[n][n]", "", "", 0, 0, 255, 0);  // stored, as an empty text
    EXPECT_EQ(log.Count, 1);
    EXPECT_EQ(log.GetText(0), "");
}

TEST(KelLogDataTest, PlainTextKeepsCharactersAndWhatCommandsShow) {
    const std::pair<const char*, const char*> cases[] = {
        {"[rb,漢字,かんじ]です", "漢字です"},
        {"[c,$FFFF0000]赤[c]い", "赤い"},
        {"[pc,Title]x", "titlex"},  // the command was lower-cased whole
        {"[pr,右]", "右"},
        {"[lim,2,あいうえ]お", "あいお"},
        {"[lim,x,あいうえ]お", "お"},
        {"[rb,a]b", "b"},                // too few items
        {"[pc,a,b]c", "c"},              // too many
        {"ゾ[rb,ゼロ,ぜろ]", "ゾゼロ"},  // trail bytes 0x5D and 0x5B are no brackets
        {"あ[c,$FF", "あ"},              // a command never closed shows nothing
    };
    for (const auto& [text, expected] : cases) {
        TKelLogData log;
        log.Add(Sj(text), "", "", 0, 0, 255, 0);
        EXPECT_EQ(log.GetPlainText(0), Sj(expected)) << text;
    }
}

TEST(KelLogDataTest, VoiceChannelOfASpeaker) {
    TSystemData config;
    config.ActorLists[2].Add("Aoi");
    config.ActorLists[2].Add(Sj("葵"));
    config.ActorLists[5].Add("Mio");
    config.ActorLists[5].Add("*");
    config.ActorLists[7].Add("Rin");
    const std::pair<std::string, int32_t> cases[] = {
        {"aoi", 2}, {Sj("葵"), 2}, {"MIO", 5}, {"Rin", 5}, {"", 5}, {"nobody", 5},
    };
    for (const auto& [name, channel] : cases)
        EXPECT_EQ(KelLogdataLib::VoiceChannelOfName(config, name), channel) << name;
    config.ActorLists[5].Clear();
    EXPECT_EQ(KelLogdataLib::VoiceChannelOfName(config, "Rin"), 7);
    EXPECT_EQ(KelLogdataLib::VoiceChannelOfName(config, "nobody"), 31);
}

TEST(KelLogDataTest, SavedRecordRoundTrips) {
    TKelLogData log;
    for (int i = 0; i < 260; ++i)
        log.Add(Numbered("t", i), "s", Numbered("v", i), i, -i, 200, 7);
    TMemoryStream s;
    log.SaveToStream(s);
    s.SetPosition(0);
    TKelLogData back;
    ASSERT_TRUE(back.LoadFromStream(s));
    EXPECT_EQ(s.Remaining(), 0);
    EXPECT_EQ(back.Count, 256);
    EXPECT_EQ(back.Head, 4);
    for (int32_t i = 0; i < 256; ++i) {
        ASSERT_EQ(back.GetText(i), log.GetText(i));
        ASSERT_EQ(back.GetVoice(i), log.GetVoice(i));
        ASSERT_EQ(back.GetValue1(i), log.GetValue1(i));
        ASSERT_EQ(back.GetValue2(i), log.GetValue2(i));
        ASSERT_EQ(back.GetValue4(i), 7);
    }
    // The fixed part: count, head, then slot 0 (t256) with its strings and values in order.
    s.SetPosition(0);
    uint32_t v = 0;
    ASSERT_TRUE(LittleEndian::Read32(s, v));
    EXPECT_EQ(v, 256u);
    ASSERT_TRUE(LittleEndian::Read32(s, v));
    EXPECT_EQ(v, 4u);
    const std::string slot0 = s.AsString().substr(8, 2 + 1 + 2 + 4 + 2 + 4 + 16);
    EXPECT_EQ(slot0, std::string("\x01\x00s\x04\x00t256\x04\x00v256"
                                 "\x00\xFF\xFF\xFF"
                                 "\x00\x01\x00\x00"
                                 "\xC8\x00\x00\x00"
                                 "\x07\x00\x00\x00",
                                 31));
}

TEST(KelLogDataTest, LoadHoldsCountAndHeadInsideTheRingAndRefusesShortRecords) {
    TKelLogData empty;
    TMemoryStream good;
    empty.SaveToStream(good);
    const std::pair<std::pair<int32_t, int32_t>, std::pair<int32_t, int32_t>> cases[] = {
        {{1000, 300}, {256, 44}},
        {{-5, -1}, {0, 255}},
        {{3, 256}, {3, 0}},
        {{INT32_MIN, INT32_MIN}, {0, 0}},
    };
    for (const auto& [raw, expected] : cases) {
        std::string bytes = good.AsString();
        LittleEndian::Put32(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(raw.first));
        LittleEndian::Put32(reinterpret_cast<uint8_t*>(bytes.data() + 4), static_cast<uint32_t>(raw.second));
        TMemoryStream s(bytes);
        TKelLogData log;
        ASSERT_TRUE(log.LoadFromStream(s));
        EXPECT_EQ(log.Count, expected.first) << raw.first;
        EXPECT_EQ(log.Head, expected.second) << raw.second;
        EXPECT_EQ(log.SlotOf(log.Count - 1) >= 0, log.Count > 0);
    }
    // Cut anywhere: refused, and what was there stays.
    TKelLogData log;
    log.Add("kept", "", "", 0, 0, 255, 0);
    for (size_t cut : {size_t{0}, size_t{7}, size_t{100}, good.AsString().size() - 1}) {
        TMemoryStream s(good.AsString().substr(0, cut));
        EXPECT_FALSE(log.LoadFromStream(s)) << cut;
        EXPECT_EQ(log.GetText(0), "kept");
    }
}

}  // namespace

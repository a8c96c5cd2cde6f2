// The save-file container in memory: its header at the offsets other programs read, the flags that
// decide how the body is unpacked, the thumbnail kept or skipped, and the refusals of files that are
// damaged, cut short, of another kind or of another key. Then the rules of the save folder's names,
// the dates of the header and the stripping of inline commands from descriptions.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "foundation/CheckedStream.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"

namespace {

constexpr uint32_t kKey = 0x123456;

// A body that compresses well, so that a compressed save is told from a plain one by its size.
std::string Body() {
    std::string body;
    for (int i = 0; i < 400; ++i)
        body += "line " + std::to_string(i % 7) + ";";
    return body;
}

std::string Saved(bool scrambled, bool compressed, const std::string& thumbnail = "BMthumb") {
    TKelSaveData save(kKey);
    save.SetHeader({"one", "two", "three", std::string(200, 'x')},
                   "【花】今日はいい天気だね。長い長い長い長い長い長い長い一行の終わり"_sj);
    save.SetBody(TMemoryStream(Body()));
    save.SetThumbnail(thumbnail);
    TMemoryStream out;
    EXPECT_TRUE(save.SaveToStream(out, scrambled, compressed));
    return out.AsString();
}

// The content of a checked stream, and the stream made again around changed content.
std::string Content(const std::string& file) {
    return file.substr(12);
}
std::string Checked(const std::string& content) {
    TMemoryStream body(content), out;
    uMisc::WriteCheckedStream(&body, &out);
    return out.AsString();
}

std::string ShortAt(const std::string& content, size_t offset) {
    return content.substr(offset + 1, static_cast<uint8_t>(content[offset]));
}

TEST(KelSaveDataTest, HeaderLayoutAndFlagsRoundTrip) {
    struct Case {
        bool Scrambled, Compressed;
    };
    for (const Case c : {Case{true, true}, Case{true, false}, Case{false, true}, Case{false, false}}) {
        const std::string file = Saved(c.Scrambled, c.Compressed);
        EXPECT_EQ(LittleEndian::Get32(reinterpret_cast<const uint8_t*>(file.data())), uMisc::kCheckedMagic);
        const std::string content = Content(file);
        EXPECT_EQ(content.substr(0, 16), std::string("KELSAVE110\0\0\0\0\0\0", 16));
        EXPECT_EQ(content[16], c.Scrambled ? 1 : 0);
        EXPECT_EQ(content[17], c.Compressed ? 1 : 0);
        EXPECT_EQ(ShortAt(content, 26), "one");
        EXPECT_EQ(ShortAt(content, 154), "two");
        EXPECT_EQ(ShortAt(content, 282), "three");
        EXPECT_EQ(ShortAt(content, 410), std::string(127, 'x'));
        // Thirty characters, a two-byte character counting as one.
        EXPECT_EQ(ShortAt(content, 538), "【花】今日はいい天気だね。長い長い長い長い長い長い長い一行の"_sj);
        EXPECT_EQ(content.substr(666, 32), KelSaveData::CheckBlock(kKey));
        EXPECT_EQ(content.substr(698, 326), std::string(326, '\0'));
        EXPECT_EQ(content.substr(1024, 4 + 7), std::string("\x07\0\0\0BMthumb", 11));
        const size_t bodySize = content.size() - 1024 - 11 - 4;
        EXPECT_EQ(bodySize < Body().size(), c.Compressed);
        // A plain body is stored as it is.
        if (!c.Scrambled && !c.Compressed) {
            EXPECT_EQ(content.substr(1024 + 11 + 4), Body());
        }

        // The flags of the file decide how the body is unpacked.
        TKelSaveData back(kKey);
        TMemoryStream in(file);
        ASSERT_TRUE(back.LoadFromStream(in, true, true)) << back.Error();
        EXPECT_EQ(back.Body->AsString(), Body());
        EXPECT_EQ(back.Thumbnail, "BMthumb");
        EXPECT_EQ(back.Header.Descriptions[1], "two");
        std::array<int32_t, 6> date{};
        EXPECT_TRUE(KelSaveData::DecodeDate(back.Header.Date, date));
        EXPECT_GE(date[0], 2024);
    }
}

TEST(KelSaveDataTest, ThumbnailAndBodyAreReadOnlyWhenAsked) {
    for (const char* thumbnail : {"BMthumb", ""}) {
        const std::string file = Saved(true, true, thumbnail);
        if (*thumbnail == '\0') {
            EXPECT_EQ(Content(file).substr(1024, 4), std::string(4, '\0'));
        }
        TKelSaveData back(kKey);
        TMemoryStream in(file);
        ASSERT_TRUE(back.LoadFromStream(in, true, false));
        EXPECT_EQ(back.Thumbnail, "");
        EXPECT_EQ(back.Body->AsString(), Body());
        TMemoryStream again(file);
        ASSERT_TRUE(back.LoadFromStream(again, false, true));
        EXPECT_EQ(back.Thumbnail, thumbnail);
        EXPECT_EQ(back.Body, nullptr);
    }
    TKelSaveData empty(kKey);
    TMemoryStream out;
    EXPECT_FALSE(empty.SaveToStream(out, true, true)) << "no body";
}

TEST(KelSaveDataTest, DamagedForeignAndShortFilesAreRefused) {
    const std::string good = Saved(true, true);
    const std::string content = Content(good);
    auto withContent = [](std::string c, size_t at, std::string bytes) {
        c.replace(at, bytes.size(), bytes);
        return Checked(c);
    };
    std::string flipped = good;
    flipped[12 + 1100] ^= 0x10;
    // A plain body marked as compressed: its first four bytes read as a size far beyond the limit.
    std::string unpackable = Content(Saved(false, false));
    unpackable[17] = 1;
    struct Case {
        const char* What;
        std::string File;
        uint32_t Key;
    };
    const Case cases[] = {
        {"another key", good, kKey + 1},
        {"a bit flipped", flipped, kKey},
        {"cut short", good.substr(0, good.size() - 9), kKey},
        {"only the stream's header", good.substr(0, 12), kKey},
        {"empty", "", kKey},
        {"another magic", withContent(content, 0, "KELSAVE111"), kKey},
        {"the thumbnail runs past the end", withContent(content, 1024, "\xFF\xFF\xFF\x7F"), kKey},
        {"bytes after the body", Checked(content + "x"), kKey},
        {"a body that does not unpack", Checked(unpackable), kKey},
    };
    for (const Case& c : cases) {
        TKelSaveData back(c.Key);
        TMemoryStream in(c.File);
        EXPECT_FALSE(back.LoadFromStream(in, true, true)) << c.What;
        EXPECT_FALSE(back.Error().empty()) << c.What;
        EXPECT_EQ(back.Body, nullptr) << c.What;
    }
}

TEST(KelSaveDataTest, SaveNamesStayInTheSaveFolder) {
    struct Case {
        std::string Name;
        std::string Path;  // empty: refused
    };
    const Case cases[] = {
        {"SaveData1.svd", "SaveData\\SaveData1.svd"},
        {"slots\\1.svd", "SaveData\\slots\\1.svd"},
        {"a\\..\\b.svd", "SaveData\\a\\..\\b.svd"},
        {".\\x.svd", "SaveData\\.\\x.svd"},
        {"セーブ.svd"_sj, "SaveData\\"_sj + "セーブ.svd"_sj},
        // A trail byte 0x5C is no separator: this name does not climb.
        {"\x95\x5C..\\x", "SaveData\\\x95\x5C..\\x"},
        {"..\\..\\x", ""},
        {"../x", ""},
        {"a\\..\\..\\x", ""},
        {"SaveData\\..\\..\\x", ""},
        {"..", ""},
        {"/etc/passwd", ""},
        {"\\x", ""},
        {"C:\\x", ""},
        {"C:x", ""},
        {"", ""},
        {std::string("a\0b", 3), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KelSaveData::SaveFilePath(c.Name), c.Path) << Encoding::PrintableUtf8(c.Name);
}

TEST(KelSaveDataTest, Dates) {
    std::array<int32_t, 6> f{};
    // 1 March 2024 is 45352 days after 30 December 1899; the time of day is the fraction.
    const double date = KelSaveData::EncodeDate(2024, 3, 1, 12, 34, 56);
    EXPECT_NEAR(date, 45352 + (12 * 3600 + 34 * 60 + 56) / 86400.0, 1e-9);
    ASSERT_TRUE(KelSaveData::DecodeDate(date, f));
    EXPECT_EQ(f, (std::array<int32_t, 6>{2024, 3, 1, 12, 34, 56}));
    ASSERT_TRUE(KelSaveData::DecodeDate(0, f));
    EXPECT_EQ(f, (std::array<int32_t, 6>{1899, 12, 30, 0, 0, 0}));
    // Before the base day the fraction still counts from midnight: -1.25 is 29 December, 6:00.
    ASSERT_TRUE(KelSaveData::DecodeDate(-1.25, f));
    EXPECT_EQ(f, (std::array<int32_t, 6>{1899, 12, 29, 6, 0, 0}));
    EXPECT_EQ(KelSaveData::EncodeDate(1899, 12, 29, 6, 0, 0), -1.25);
    // 23:59:59.9996 rounds to the next day's midnight.
    ASSERT_TRUE(KelSaveData::DecodeDate(1 - 0.4 / 86400000, f));
    EXPECT_EQ(f, (std::array<int32_t, 6>{1899, 12, 31, 0, 0, 0}));
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, -1e300, 2958466.0, -693594.0}) {
        EXPECT_FALSE(KelSaveData::DecodeDate(bad, f)) << bad;
        EXPECT_EQ(f, (std::array<int32_t, 6>{}));
    }
    ASSERT_TRUE(KelSaveData::DecodeDate(KelSaveData::Now(), f));
    EXPECT_GE(f[0], 2024);
}

TEST(KelSaveDataTest, StripBracketedKeepsWhatLiesOutsideBrackets) {
    const std::pair<std::string, std::string> cases[] = {
        {"【花】[p,0,44][rb,今日,きょう]は晴れ"_sj, "【花】は晴れ"_sj},
        {"a[b[c]d]e", "ae"},
        {"a]]b[c[d", "ad"},  // below 0 after "]": nothing until "["s bring it back to 0
        {"a]b[c]d", "ac"},
        {"ソ[x]"_sj, "ソ"_sj},  // the trail byte of ソ is 0x5C; of ー, 0x5B
        {"ー"_sj, "ー"_sj},
        {"", ""},
    };
    for (const auto& [text, stripped] : cases)
        EXPECT_EQ(TKelScript::StripBracketed(text), stripped) << Encoding::SjisToUtf8(text);
}

}  // namespace

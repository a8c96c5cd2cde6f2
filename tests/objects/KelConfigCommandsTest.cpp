// The "cfg" words run as script statements: each setting's value rule, the request to apply the
// configuration that only a change leaves, the live and default reads, the font slots with their
// messages, and the speaker names that find a voice channel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "objects/KelConfigCommands.h"
#include "script/KelGeneralCommands.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"

namespace {

class CountingCompositor final : public IScriptCompositor {
public:
    void Clear() override {}
    void InvalidateAll() override { ++Invalidated; }
    bool Render(int32_t, int32_t) override { return true; }
    int Invalidated = 0;
};

class ConfigWordsTest : public ::testing::Test {
protected:
    ConfigWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelConfigCommands::Register(kinds);
              links.Compositor = &Screen;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.Execute({"\\scp,cfg"});
    }

    // Runs one statement on a fresh request; the request it left.
    uint8_t Run(const std::string& statement) {
        H.Script.Request = 0;
        H.Execute({statement});
        return H.Script.Request;
    }

    CountingCompositor Screen;
    TScriptHarness H;
};

TEST_F(ConfigWordsTest, SettingsFollowTheirValueRulesAndOnlyAChangeAsksToApply) {
    TSystemData& c = H.Context.Settings;
    c.FullScreen = 0;
    c.FPSLimit = 40;
    c.StreamLength = 131072;
    c.BGMVolume = 100;
    c.MovieDecoder = 0;
    c.CacheSize = 5;
    struct Case {
        const char* Statement;
        int32_t TSystemData::*Field;
        int32_t Stored;
        uint8_t Request;
    } cases[] = {
        {"\\fs,5", &TSystemData::FullScreen, 1, srApplyConfig},
        {"\\fs,5", &TSystemData::FullScreen, 1, 0},  // already 1: nothing more
        {"\\fs,0", &TSystemData::FullScreen, 0, srApplyConfig},
        {"\\fps,0", &TSystemData::FPSLimit, 10, 0},
        {"\\fps,2000", &TSystemData::FPSLimit, 2000, 0},
        {"\\sb,100", &TSystemData::StreamLength, 8192, 0},
        {"\\vb,300", &TSystemData::BGMVolume, 255, srApplyConfig},
        {"\\vb,-5", &TSystemData::BGMVolume, 0, srApplyConfig},
        {"\\cs,-7", &TSystemData::CacheSize, 0, srApplyConfig},
        {"\\md,1", &TSystemData::MovieDecoder, 1, 0},  // whatever the cache size
        {"\\ms,-3", &TSystemData::MessageSpeed, -3, 0},
        {"\\mcw,99999", &TSystemData::AutoPlayClickTime, 99999, 0},
        {"\\ttm,9", &TSystemData::TaskTrayMode, 3, 0},
        {"\\ma,256", &TSystemData::MessageAlpha, 255, 0},  // 255 already
        {"\\vsm,-1", &TSystemData::SEMute, 1, srApplyConfig},
        {"\\crc,0", &TSystemData::CRCCheck, 0, srApplyConfig},
        {"\\sm,2", &TSystemData::SurfaceMemory, 1, 0},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(Run(k.Statement), k.Request) << k.Statement;
        EXPECT_EQ(c.*k.Field, k.Stored) << k.Statement;
    }
    // Interlace also redraws the whole screen, once per change.
    const int invalidated = Screen.Invalidated;
    EXPECT_EQ(Run("\\il,3"), srApplyConfig);
    EXPECT_EQ(Run("\\il,1"), 0);
    EXPECT_EQ(c.Interlace, 1);
    EXPECT_EQ(Screen.Invalidated - invalidated, 1);
    EXPECT_TRUE(H.Errors().empty());
}

TEST_F(ConfigWordsTest, ReadsGiveTheLiveValueOrTheDefault) {
    H.Context.Settings.SEVolume = 12;
    H.Context.Context.Config.DefaultConfig.SEVolume = 200;
    H.Context.Settings.FullScreen = 1;
    H.Context.Context.Config.DefaultConfig.FullScreen = 0;
    QueryRows::Run(H, {
                          {{}, "\\?vs", {12}},
                          {{}, "\\dvs", {200}},
                          {{}, "\\?fs", {1}},
                          {{"\\fps,25"}, "\\?fps", {25}},
                      });
    // The default of "fs" is written over the results as they stand.
    QueryRows::PlantStale(H);
    H.Execute({"\\dfs"});
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_FALSE(QueryRows::StaleCleared(H));
}

TEST_F(ConfigWordsTest, FontSlots) {
    TSystemData& c = H.Context.Settings;
    for (int32_t k = 0; k < kFontSlotCount; ++k) {
        c.Font[static_cast<size_t>(k)].Name = "face" + std::to_string(k);
        H.Context.Context.Config.DefaultConfig.Font[static_cast<size_t>(k)].AA = k % 3;
    }
    // An empty argument leaves its slot; a name equal but for case is no change.
    EXPECT_EQ(Run("\\fn,\"FACE0\",\"new1\",,\"new3\""), srApplyConfig);
    EXPECT_EQ(c.Font[0].Name, "face0");
    EXPECT_EQ(c.Font[1].Name, "new1");
    EXPECT_EQ(c.Font[2].Name, "face2");
    EXPECT_EQ(c.Font[3].Name, "new3");
    EXPECT_EQ(Run("\\fn,\"Face0\""), 0);
    // "fn2" stores and applies even an equal name.
    EXPECT_EQ(Run("\\fn2,1,\"new1\""), srApplyConfig);

    // "fsc" stores every bit; "fsc2" only the low 24.
    EXPECT_EQ(Run("\\fsc,0x7F123456,,5"), srApplyConfig);
    EXPECT_EQ(c.Font[0].StyleColor, 0x7F123456);
    EXPECT_EQ(c.Font[2].StyleColor, 5);
    EXPECT_EQ(Run("\\fsc,0x7F123456"), 0);
    EXPECT_EQ(Run("\\fsc2,0,0x7F123456"), srApplyConfig);
    EXPECT_EQ(c.Font[0].StyleColor, 0x123456);
    Run("\\faa,2,2,2,2,2,2,2,9");
    Run("\\fst2,7,-1");
    QueryRows::Run(H,
                   {
                       {{}, "\\?faa", {2, 2, 2, 2, 2, 2, 2, 9}},
                       {{}, "\\dfaa", {0, 1, 2, 0, 1, 2, 0, 1}},
                       {{}, "\\?fst", {0, 0, 0, 0, 0, 0, 0, -1}},
                       {{}, "\\?fn", {}, {"face0", "new1", "face2", "new3", "face4", "face5", "face6", "face7"}},
                   },
                   {8, 77, "old"});

    // A slot outside 0..7 changes nothing and is reported with its number.
    const std::vector<QueryRows::TErrorRow> errors = {
        {{"\\fn2,8,\"x\""}, "\\fn2:指定された番号のフォントは存在しません。:8"},
        {{"\\faa2,-1,1"}, "\\faa2:指定された番号のフォントは存在しません。:-1"},
        {{"\\fst2,8,1"}, "\\fst2:指定された番号のフォントは存在しません。:8"},
        {{"\\fsc2,100,1"}, "\\fsc2:指定された番号のフォントは存在しません。:100"},
    };
    QueryRows::RunErrors(H, errors);
    EXPECT_EQ(Run("\\faa2,8,1"), 0);
}

TEST_F(ConfigWordsTest, SpeakerNamesFindTheirVoiceChannel) {
    TSystemData& c = H.Context.Settings;
    c.ActorLists[2].SetCommaText("*");
    c.ActorLists[1].SetCommaText("Hana,Sora");
    c.ActorLists[4].SetCommaText("Riku");
    c.ActorVolume.fill(255);
    H.Context.Context.Config.DefaultConfig.ActorMute[1] = 1;
    // A name in list 4 is caught by the "*" of list 2 first; names compare without case.
    Run("\\cvv,\"Riku\",300");
    EXPECT_EQ(c.ActorVolume[2], 300);  // no clamp
    EXPECT_EQ(c.ActorVolume[4], 255);
    Run("\\cvm,\"sora\",7");
    EXPECT_EQ(c.ActorMute[1], 7);
    QueryRows::Run(H, {
                          {{}, "\\?cvv,\"Riku\"", {300}},
                          {{}, "\\?cvm,\"HANA\"", {7}},
                          {{}, "\\dcvm,\"Hana\"", {1}},
                      });
    EXPECT_EQ(H.Script.Request, 0);  // speakers never ask to apply

    // Without a "*" list an unknown name is reported, with the word's own message.
    c.ActorLists[2].Clear();
    const std::vector<QueryRows::TErrorRow> errors = {
        {{"\\cvv,\"Yuki\",1"}, "\\cvv：指定された名前が登録されていません：Yuki"},
        {{"\\?cvm,\"Yuki\""}, "\\?cvm：指定された名前が登録されていません：Yuki"},
        {{"\\dcvv,\"Yuki\""}, "\\dcvv：指定された名前が登録されていません：Yuki"},
    };
    QueryRows::RunErrors(H, errors);
}

TEST_F(ConfigWordsTest, OtherWordsAreNotTheirs) {
    for (const char* word : {"\\fsx", "\\dd", "\\?x", "\\cvvv"}) {
        H.ClearErrors();
        H.Execute({word});
        EXPECT_NE(H.FirstError().find("未定義の命令"), std::string::npos) << word;
    }
}

}  // namespace

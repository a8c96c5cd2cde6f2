// The "eff", "log" and "cam" words run as script statements through the headless interpreter on a
// 4 x 2 screen: what each word leaves in the compositor, the back-log and the camera, what the
// queries report and clear, their messages, and the target flag that hands a system script the
// game script's services.
#include <gtest/gtest.h>

#include <optional>

#include "foundation/SoundComponent.h"
#include "foundation/SystemConfigLib.h"
#include "media/AnimationBmpWriter.h"
#include "media/uSoundLib.h"
#include "objects/KelCameraLib.h"
#include "objects/KelEffectCommands.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelGeneralCommands.h"
#include "shell/KelSoundLink.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"
#include "tools/kelsound/SoundWriter.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000, kRed = 0xFFFF0000;

// Black as the display shows it, each colour channel within one level.
bool Invisible(uint32_t pixel) {
    for (int shift = 0; shift < 24; shift += 8)
        if (((pixel >> shift) & 0xFF) > 1) return false;
    return true;
}

class FakeSound final : public IScriptSound {
public:
    int32_t StreamChannelCount() override { return 4; }
    int32_t EffectChannelCount() override { return 2; }
    bool SwapChannels(bool, int32_t, int32_t) override { return false; }
};

// The compositors of these tests are 4 x 2 pixels.
void UseSmallScreen(TScriptLinks& links) {
    links.Context->Config.Config.ScreenWidth = 4;
    links.Context->Config.Config.ScreenHeight = 2;
}

void RegisterWords(TObjectKindRegistry& kinds) {
    KelGraphicLib::Register(kinds);
    KelEffectCommands::Register(kinds);
}

class EffectWordsTest : public ::testing::Test {
protected:
    EffectWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              RegisterWords(kinds);
              UseSmallScreen(links);
              links.Sound = &Sound;
              links.BackLog = &Log;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        G = KelGraphicLib::GraphicOf(H.Script);
        Camera = KelGraphicLib::CameraOf(H.Script);
    }
    // Leftovers that a query must clear before it writes.
    void DirtyResults() { QueryRows::PlantStale(H, {3}); }
    bool ResultsCleared() { return QueryRows::StaleCleared(H, {3}); }
    // What the screen shows after a frame of the given time.
    uint32_t Frame(uint32_t ms) {
        H.Step(ms);
        H.Script.Draw(0, true, 0xFFFF);
        return G->GetScreenSurface()->ScanLine(0)[0];
    }

    FakeSound Sound;
    TKelLogData Log;
    TScriptHarness H;
    TKelGraphic* G = nullptr;
    TCamera* Camera = nullptr;
};

TEST_F(EffectWordsTest, WordsSetTheCompositorAndQueriesReportAndClear) {
    ASSERT_NE(G, nullptr);
    H.Execute({"\\scp,eff"});
    struct Case {
        const char* Statement;
        const char* Query;
        int32_t Result;
        const char* Error = "";
    };
    const Case cases[] = {
        {"\\bg,0x00123456", "\\?bg", static_cast<int32_t>(0xFF123456)},  // alpha forced opaque
        {"\\mb,1", "\\?mb", 1},
        {"\\mb,2", "\\?mb", 0},
        {"\\sc,3", "\\?sc", 3},
        {"\\dc,1", "\\?dc", 1},
        {"\\dc,0", "\\?sc", 3},                                           // the two channels are independent
        {"\\sc,4", "\\?sc", 3, "\\sc:範囲外のチャンネルを指定しました"},  // 4 streams
        {"\\sc,-1", "\\?sc", 3, "\\sc:範囲外のチャンネルを指定しました"},
        {"\\dc,2", "\\?dc", 0, "\\dc:範囲外のチャンネルを指定しました"},  // 2 effect channels
        {"\\c", "\\?c", 1},
        {"\\cc,7", "\\?c", 1},  // accepted, and changes nothing
        {"\\cc", "\\?c", 1},
        {"\\i", "\\?c", 0},
    };
    for (const auto& c : cases) {
        H.ClearErrors();
        H.Execute({c.Statement});
        DirtyResults();
        H.Execute({c.Query});
        EXPECT_EQ(H.ResultInt(), c.Result) << c.Statement;
        EXPECT_TRUE(ResultsCleared()) << c.Query;
        EXPECT_EQ(H.FirstError(), c.Error) << c.Statement;
    }
    // A word that is none of these is the dispatcher's undefined command.
    H.ClearErrors();
    H.Execute({"\\p,1"});
    EXPECT_NE(H.FirstError(), "");
}

TEST_F(EffectWordsTest, FreezeAndTransitionsTakeTheirArgumentsByForm) {
    H.AddRawFile(
        "image\\rule.bmp",
        ImageFixtures::WriteBmp(
            {.Width = 4, .Height = 2, .Pixels = {0, 0x404040, 0x808080, 0xFFFFFF, 0, 0x404040, 0x808080, 0xFFFFFF}}));
    H.Script.Path->Add("image\\");
    H.Execute({"\\scp,eff"});
    struct Case {
        const char* Statement;
        TTransitionKind Kind;
        int32_t Layer, Duration;
        const char* File = "";
        uint32_t FadeStart = 0, FadeTarget = 0;
        uint8_t FadeMode = 0;
    };
    const Case cases[] = {
        {"\\c", tkFreeze, 65535, 0},
        {"\\c,100", tkFreeze, 100, 0},
        {"\\fdi,0,500", tkFadeIn, 65535, 500},
        {"\\fdo,0,500,\"\",12", tkFadeOut, 12, 500},
        {"\\fdi,1,300,\"rule.bmp\",20", tkRuleIn, 20, 300, "image\\rule.bmp"},
        {"\\fdo,3,250,\"rule.bmp\"", tkRuleOut, 65535, 250, "image\\rule.bmp"},
        {"\\fdi,3,200,\"missing.bmp\"", tkFadeIn, 65535, 200},  // a file no folder holds: a plain fade
        // In: the colour at once, then fading to clear. Out: from clear up to the colour.
        {"\\fdi,2,400,0xFF102030,1", tkColorFade, 65535, 400, "", 0xFF102030, 0x00102030, 1},
        {"\\fdo,2,400,0x80FFFFFF,6,7", tkColorFade, 7, 400, "", 0x00FFFFFF, 0x80FFFFFF, 6},
        {"\\fdi,5,100", tkNone, 65535, 0},  // no such form
        {"\\fdo,-1,100", tkNone, 65535, 0},
    };
    for (const auto& c : cases) {
        H.Execute({"\\i"});
        H.Script.HoldFrames = 0;
        H.Execute({c.Statement});
        EXPECT_EQ(G->Kind(), c.Kind) << c.Statement;
        EXPECT_EQ(G->Record.Layer, c.Layer) << c.Statement;
        EXPECT_EQ(G->Record.Duration, c.Duration) << c.Statement;
        EXPECT_EQ(G->Record.TransitionFile, c.File) << c.Statement;
        if (c.Kind == tkColorFade) {
            EXPECT_EQ(G->Record.FadeStart, c.FadeStart) << c.Statement;
            EXPECT_EQ(G->Record.FadeTarget, c.FadeTarget) << c.Statement;
            EXPECT_EQ(G->Record.FadeMode, c.FadeMode) << c.Statement;
        }
        // Every transition word holds the frames, also one of no known form.
        const bool transition = c.Statement[1] == 'f';
        EXPECT_EQ(H.Script.HoldFrames, transition ? 2 : 0) << c.Statement;
    }
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(EffectWordsTest, ColourFadesOnTheScreen) {
    H.Execute({"\\scp,eff", "\\bg,0"});
    // The first frame after the word counts no time.
    H.Execute({"\\fdi,0,100"});
    Frame(50);
    EXPECT_EQ(G->Record.Elapsed, 0);
    Frame(50);
    EXPECT_EQ(G->Record.Elapsed, 50);

    // A clear colour shows nothing at any time (the blend of alpha 0 may move a channel by one).
    H.Execute({"\\i", "\\fdi,2,100,0x00FFFFFF,0"});
    for (uint32_t ms : {0u, 40u, 40u, 40u})
        EXPECT_TRUE(Invisible(Frame(ms))) << ms;

    // Going out, the colour stays once the fade is over, until "i" or the next fade in.
    H.Execute({"\\fdo,2,100,0xFFFF0000,0"});
    Frame(16);
    for (int i = 0; i < 3; ++i)
        Frame(50);
    EXPECT_EQ(Frame(50), kRed);
    EXPECT_EQ(G->Kind(), tkColorFade);
    H.Execute({"\\i"});
    EXPECT_EQ(Frame(16), kBlack);

    H.Execute({"\\fdo,2,100,0xFFFF0000,0"});
    Frame(16);
    Frame(200);
    // Coming in, the colour covers the screen at once and then clears.
    H.Execute({"\\fdi,2,100,0xFFFF0000,0"});
    EXPECT_EQ(Frame(16), kRed);
    Frame(100);
    EXPECT_EQ(Frame(16), kBlack);
    EXPECT_EQ(G->Kind(), tkNone);
}

TEST_F(EffectWordsTest, BackLogWords) {
    H.Execute({"\\scp,log", "\\gvar,str,who", "\\cal,who=\"花子\""});
    // "t" stores speaker, text and voice as written; "o" evaluates them.
    H.Execute({"\\t,\"太郎\",\"こんにちは\",v\\001.ogg,200,3", "\\o,who,\"a\"+\"b\",\"v\"+\"2.ogg\",100,0"});
    struct Case {
        int32_t Entry;
        const char *Speaker, *Text, *Voice;
        int32_t Volume, Gain;
    };
    const Case cases[] = {
        {0, "花子", "ab", "v2.ogg", 100, 0},
        {1, "\"太郎\"", "\"こんにちは\"", "v\\001.ogg", 200, 3},
        {2, "", "", "", 0, 0},  // outside the entries: empty, nothing fails
        {-1, "", "", "", 0, 0},
    };
    for (const auto& c : cases) {
        DirtyResults();
        H.Execute({"\\?o," + std::to_string(c.Entry)});
        EXPECT_EQ(H.ResultStr(0), c.Speaker) << c.Entry;
        EXPECT_EQ(H.ResultStr(1), c.Text) << c.Entry;
        EXPECT_EQ(H.ResultStr(2), c.Voice) << c.Entry;
        EXPECT_EQ(H.ResultInt(0), c.Volume) << c.Entry;
        EXPECT_EQ(H.ResultInt(1), c.Gain) << c.Entry;
        EXPECT_TRUE(ResultsCleared()) << c.Entry;
    }
    H.Execute({"\\?c"});
    EXPECT_EQ(H.ResultInt(), 2);
    // Without a text nothing is added.
    H.Execute({"\\t,\"太郎\"", "\\o,who,\"\"", "\\?c"});
    EXPECT_EQ(H.ResultInt(), 2);
    H.Execute({"\\i", "\\?c"});
    EXPECT_EQ(H.ResultInt(), 0);
    EXPECT_EQ(Log.Count, 0);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(EffectWordsTest, CameraWords) {
    ASSERT_NE(Camera, nullptr);
    H.Execute({"\\scp,cam", "\\mm,3", "\\p,30,-10,100"});
    DirtyResults();
    H.Execute({"\\?mm"});
    EXPECT_EQ(H.ResultInt(), 3);
    EXPECT_TRUE(ResultsCleared());
    H.Execute({"\\?p"});
    EXPECT_EQ(H.ResultInt(0), 30);
    EXPECT_EQ(H.ResultInt(1), -10);
    H.Step(100);
    H.Step(100);
    EXPECT_EQ(Camera->X, 30);
    EXPECT_EQ(Camera->Y, -10);
    H.Execute({"\\i", "\\?p"});
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_EQ(H.ResultInt(1), 0);
    H.Step(16);
    EXPECT_EQ(Camera->X, 0);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(EffectWordsTest, TheTargetFlagHandsASystemScriptTheGameScriptsServices) {
    TKelLogData systemLog;
    TKelScript system;
    system.Kinds = &H.Kinds;
    system.Words.General = &KelGeneralCommands::Handler();
    TScriptLinks links{.Context = &H.Context.Context};
    links.Sound = &Sound;
    links.BackLog = &systemLog;
    ASSERT_TRUE(system.Setup(links, &H.Script));
    TKelGraphic* own = KelGraphicLib::GraphicOf(system);
    ASSERT_NE(own, nullptr);
    ASSERT_NE(own, G);
    auto run = [&](std::initializer_list<const char*> lines) {
        for (const char* line : lines)
            system.ExecuteLine(Encoding::Utf8ToSjis(line));
    };

    run({"\\scp,eff", "\\bg,0x112233", "\\scp,log", "\\t,a,b,c,1,2", "\\scp,cam", "\\p,5,6,0"});
    EXPECT_EQ(own->Record.BackColor, 0xFF112233u);
    EXPECT_EQ(systemLog.Count, 1);
    EXPECT_EQ(KelGraphicLib::CameraOf(system)->TargetX, 5);

    run({"\\srct,1", "\\scp,eff", "\\bg,0x445566", "\\c", "\\scp,log", "\\t,a,b,c,1,2", "\\scp,cam", "\\p,7,8,0"});
    EXPECT_EQ(G->Record.BackColor, 0xFF445566u);
    EXPECT_EQ(G->Kind(), tkFreeze);
    EXPECT_EQ(own->Record.BackColor, 0xFF112233u);
    EXPECT_EQ(own->Kind(), tkNone);
    EXPECT_EQ(Log.Count, 1);
    EXPECT_EQ(systemLog.Count, 1);
    EXPECT_EQ(Camera->TargetX, 7);
    EXPECT_EQ(KelGraphicLib::CameraOf(system)->TargetX, 5);
    // Queries read the game script's services too.
    run({"\\scp,eff", "\\?bg"});
    EXPECT_EQ(system.Evaluate("ResultInt[0]").Value, static_cast<int32_t>(0xFF445566));
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST(EffectWordsSoundTest, TheTransitionAnimationSoundsOnTheEffectChannelChosen) {
    // An animation of 100 ms whose layer plays its sound "bell" on arrival at 10 ms.
    using AnimationFixtures::Key;
    AnimationBmpWriter::TLayer layer;
    layer.Keys[0] = Key(0, TABMPKind::Fill);
    layer.Keys[1] = Key(10, TABMPKind::Fill, TABMPCommand::Sound, 0, 0, 0);
    layer.Keys[2] = Key(100, TABMPKind::Fill, TABMPCommand::End);
    AnimationBmpWriter::TFile file = AnimationFixtures::File({layer});
    file.Length = 100;
    file.Sounds.push_back({"bell", 0, SoundWriter::EncodeRiff(SoundWriter::Sine(44100, 2, 22050, 440, 0.5), 44100, 2)});

    TManualAudioDevice device;
    TDDSD7 component(&device);
    component.DuplicateStaticBuffers = false;
    component.SetChannelCount(16);
    ASSERT_TRUE(component.Initialize());
    TFakeClock time;
    TPackSet packs;  // the animation's sounds are its own: nothing is read
    TKelSoundLink sound(component, packs, 16384, time, nullptr);
    TScriptHarness H([&](TObjectKindRegistry& kinds, TScriptLinks& links) {
        RegisterWords(kinds);
        UseSmallScreen(links);
        links.Sound = &sound;
        links.SoundLibrary = sound.Library();
    });
    H.Script.Words.General = &KelGeneralCommands::Handler();
    H.AddRawFile("wipe.b", AnimationBmpWriter::Write(file));
    H.Execute({"\\scp,eff", "\\dc,7", "\\fdi,0,200,\"wipe.b\""});
    ASSERT_EQ(KelGraphicLib::GraphicOf(H.Script)->Kind(), tkAnimIn);
    H.Run(4, 16);
    TDSound& effects = *sound.Library()->DSound;
    EXPECT_EQ(effects.GetName(7), "wipebell");
    EXPECT_EQ(effects.GetState(7), psPLAY);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

}  // namespace

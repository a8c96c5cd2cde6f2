// The message window: the reveal against a fake clock (speeds, waits, full pages, the player's
// advance), the text fade, where the window draws its text, voices through a recording fake, the
// back-log and the auto mode's wait, the saved record, loads of half-typed pages and of damaged
// saves, and windows that scripts declare.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Font.h"
#include "media/AnimationBmpWriter.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "objects/KelLogdataLib.h"
#include "objects/KelScreenObjects.h"
#include "objects/MessageLayoutDump.h"
#include "objects/MessageLib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/FontFixtures.h"
#include "tests/support/MessageFixtures.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"

// Records print field by field, so that a failed comparison says which field differs.
void PrintTo(const TMessageRecord& r, std::ostream* out) {
    *out << "state " << int{r.State} << " vertical " << int{r.Vertical} << " font " << r.Font << "/" << r.PrevFont
         << " area " << r.AreaLeft << "," << r.AreaTop << "," << r.AreaRight << "," << r.AreaBottom << " pen " << r.PenX
         << "," << r.PenY << " pitch " << r.PitchX << "," << r.PitchY << "/" << r.PrevPitchX << "," << r.PrevPitchY
         << " size " << r.SizeW << "," << r.SizeH << "/" << r.PrevSizeW << "," << r.PrevSizeH << " read " << r.MainPos
         << " colour " << std::hex << r.Color << "/" << r.PrevColor << std::dec << " ruby size " << r.RubySizeW << ","
         << r.RubySizeH << " ruby colour " << std::hex << r.RubyColor << "/" << r.PrevRubyColor << std::dec
         << " ruby font " << r.RubyFont << " ruby pitch " << r.RubyPitchX << "," << r.RubyPitchY << " ruby offset "
         << r.RubyOffsetX << "," << r.RubyOffsetY << " wait " << r.WaitLeft << " speaker " << r.SpeakerName << " voice "
         << r.VoiceFile << " " << r.VoiceVolume << "," << r.VoiceSkipLevel << "," << r.VoiceStart << ","
         << r.VoiceAutoGain << " alpha " << r.TextAlpha << " fade " << r.FadeRate << "/" << r.FadeMagnitude
         << " margin " << r.Margin << " hanging " << r.HangingSet.size() << " bytes speed " << r.Speed
         << " auto-scroll " << int{r.AutoScroll} << " auto-wait " << int{r.AutoWait};
}

namespace {

using AnimationBmpWriter::TLayer;
using AnimationFixtures::Key;

std::string Sj(const char* utf8) {
    return Encoding::Utf8ToSjis(utf8);
}

// Ten two-byte characters: a 96 x 32 page holds eight of them, four to a line (a line breaks
// before a character with less than two cells of room).
const std::string kTen = Sj("あいうえおかきくけこ");

// Counts the characters a window places (ruby not included).
class TGlyphCounter final : public IMessageLayoutObserver {
public:
    void GlyphPlaced(const TPlacedGlyph& glyph) override { Glyphs += glyph.Ruby ? 0 : 1; }
    void StateChanged(const std::string&) override {}
    int32_t Glyphs = 0;
};

// A window frame: a picture layer and motions "*Enable", "*Disable", "*OnScroll" and
// "*OffScroll"; the picture record named "*messurface" stands for the window's text.
std::string FrameAnimation() {
    TLayer draw;
    draw.Name = "*messurface";
    draw.Keys[0] = Key(0, TABMPKind::Draw);
    AnimationBmpWriter::TFile file = AnimationFixtures::File({draw}, {AnimationFixtures::SolidPng(4, 4, 0xFF0000FF)});
    file.Images[0].Name = "*messurface";
    file.Motions.clear();
    for (const char* name : {"*Enable", "*Disable", "*OnScroll", "*OffScroll"})
        file.Motions.push_back({name, {draw}});
    return AnimationBmpWriter::Write(file);
}

class MessageLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        FontFixtures::InstallMessageFonts(Fonts);
        Context.Packs.FileExistsHook = [this](const std::string& n) {
            return Files.count(ClassLib::LowerAscii(n)) > 0;
        };
        Context.Packs.LoadFileHook = [this](const std::string& n) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(ClassLib::LowerAscii(n));
            return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
        };
        Files["frame.b"] = FrameAnimation();
        Files["voice\\alice01.ogg"] = "not heard by the fake";
        TSystemData& c = Context.Settings;
        c.MessageSpeed = 0;
        c.AutoPlayWaitTime = c.AutoPlayClickTime = 0;
        c.ActorLists[3].Add("alice");
        Cells.SetScreenSize(200, 120);
    }

    // A shown window with a page of w x h pixels in the size of the test font, and its voices
    // recorded in Voice.
    ImageLib::TPtr<TMessageLib> Window(int32_t w = 96, int32_t h = 32) {
        auto voice = std::make_unique<TRecordingVoice>();
        Voice = voice.get();
        auto window = ImageLib::Make<TMessageLib>(Context.Packs, nullptr, std::move(voice), &Log);
        window->WarningLog = &Context.Log;
        window->Fonts = &Fonts;
        window->Config = &Context.Settings;
        window->AutoModeWait = &AutoModeWait;
        window->SetTextRect(0, 0, w, h);
        window->SetSize(16, 16);
        window->SetRubySize(8, 8);
        window->ClearText();
        window->Show();
        Voice->Calls.clear();
        return window;
    }

    // Runs frames of ms each; the characters placed meanwhile.
    static int32_t Frames(TMessageLib& window, int32_t count, int32_t ms = 16) {
        TGlyphCounter counter;
        window.Observer = &counter;
        for (int32_t i = 0; i < count; ++i)
            window.Update(255, ms);
        window.Observer = nullptr;
        return counter.Glyphs;
    }

    static std::vector<uint32_t> Pixels(const TMessageLib& window) {
        return window.TextBitmap.Active ? window.TextBitmap.Active->Pixels : std::vector<uint32_t>{};
    }

    static std::string Saved(TMessageLib& window) {
        TMemoryStream out;
        EXPECT_TRUE(window.SaveToStream(&out));
        return out.AsString();
    }

    std::map<std::string, std::string> Files;
    TContextFixture Context;
    TFontTable Fonts;  // the text in font 0, the ruby in font 7
    TKelLogData Log;
    int32_t AutoModeWait = 0;  // the interpreter's wait the windows add to
    TRecordingVoice* Voice = nullptr;
    TARGB8888CellDraw Cells;
};

// ---- The reveal

TEST_F(MessageLibTest, CharactersComeAtTheEffectiveSpeed) {
    struct TCase {
        const char* What;
        int32_t OwnSpeed;
        bool UseConfig;
        int32_t ConfigSpeed;
        const char* Before;  // typed at once before the timed text
        int32_t FrameMs, FrameCount;
        int32_t Glyphs;
    };
    const TCase cases[] = {
        {"own speed, one every 50 ms", 50, false, 30, "", 16, 10, 3},
        {"the configuration's speed", 50, true, 20, "", 16, 10, 8},
        {"a speed in the text wins", 50, true, 20, "[spd,40]", 16, 10, 4},
        {"a long frame reveals several", 10, false, 0, "", 75, 1, 7},
        {"the clock carries over between frames", 30, false, 0, "", 20, 3, 2},
        {"own speed 0 types at once", 0, false, 0, "", 16, 0, 10},
        {"configuration speed 0 types at once", 50, true, 0, "", 16, 0, 10},
        {"speed 0 earlier in the text types at once", 50, false, 0, "[spd,0]", 16, 0, 10},
    };
    for (const TCase& c : cases) {
        Context.Settings.MessageSpeed = c.ConfigSpeed;
        auto window = Window(160, 32);
        window->OwnSpeed = c.OwnSpeed;
        window->UseConfigSpeed = c.UseConfig;
        if (*c.Before) {
            window->AddText(c.Before);
            window->Flush();
        }
        TGlyphCounter counter;
        window->Observer = &counter;
        window->AddText(kTen);
        window->Observer = nullptr;
        EXPECT_EQ(counter.Glyphs + Frames(*window, c.FrameCount, c.FrameMs), c.Glyphs) << c.What;
    }
}

TEST_F(MessageLibTest, AWaitHoldsTheClockAndItsLastFrameRevealsNothing) {
    auto window = Window();
    window->OwnSpeed = 10;
    window->AddText(Sj("あ[w,100]い"));
    EXPECT_EQ(Frames(*window, 2), 1);  // the second frame meets the wait
    EXPECT_EQ(window->WaitLeft, 100);
    EXPECT_EQ(Frames(*window, 7), 0);  // 7 x 16 ms run the wait out, the last frame with it
    EXPECT_EQ(window->WaitLeft, 0);
    EXPECT_EQ(window->GetState(), TMessageState::Printing);
    EXPECT_EQ(Frames(*window, 1), 1);

    // The player's advance skips a wait and costs no time.
    window->AddText(Sj("[w,500]う"));
    Frames(*window, 1);
    ASSERT_GT(window->WaitLeft, 0);
    window->Advance(1);
    EXPECT_EQ(window->WaitLeft, 0);
    EXPECT_EQ(window->GetState(), TMessageState::Done);
}

TEST_F(MessageLibTest, AFullPageWaitsForTheAdvanceAndPlaysOnScroll) {
    auto window = Window();
    ASSERT_TRUE(window->LoadImages("frame.b", "", "", "", "", false, false));
    window->Enable();
    window->OwnSpeed = 10;
    window->AddText(kTen);
    EXPECT_EQ(Frames(*window, 10), 8);
    EXPECT_EQ(window->GetState(), TMessageState::PageFull);
    EXPECT_EQ(window->GetCurrentMotionName(), "*OnScroll");
    EXPECT_EQ(Frames(*window, 10), 0) << "the page waits however long";

    window->Advance(0x100);  // not an input bit of the window
    EXPECT_EQ(window->GetState(), TMessageState::PageFull);
    window->Advance(1);
    EXPECT_EQ(window->GetState(), TMessageState::Printing);
    EXPECT_EQ(window->PenY, 16) << "one line up";
    EXPECT_EQ(Frames(*window, 1), 1);
    EXPECT_EQ(window->GetCurrentMotionName(), "*OffScroll");
    EXPECT_EQ(Frames(*window, 2), 1);
    EXPECT_EQ(window->GetState(), TMessageState::Done);
    window->Advance(1);  // nothing left: nothing happens
    EXPECT_EQ(window->GetState(), TMessageState::Done);
}

TEST_F(MessageLibTest, AdvanceWhileTypingShowsTheWholeTextScrollingFullPages) {
    auto window = Window();
    window->OwnSpeed = 10;
    window->SetFadeTime(1000);
    window->Disable();
    window->AddText(kTen);
    EXPECT_EQ(Frames(*window, 1), 1);
    TGlyphCounter counter;
    window->Observer = &counter;
    window->Advance(1);
    window->Observer = nullptr;
    EXPECT_EQ(counter.Glyphs, 9);
    EXPECT_EQ(window->GetState(), TMessageState::Done);
    EXPECT_EQ(window->TextAlpha, MessageLib::kOpaqueText);
    EXPECT_EQ(window->FadeRate, 1024);
    EXPECT_EQ(window->RevealClock, 0);
}

TEST_F(MessageLibTest, TheAutoModeWaitsForEachCharacterAndEachFullPage) {
    Context.Settings.AutoPlayWaitTime = 30;
    Context.Settings.MessageSpeed = 20;  // the larger of the two counts
    Context.Settings.AutoPlayClickTime = 700;
    for (bool on : {false, true}) {
        auto window = Window();
        window->SetAutoWait(on);
        window->OwnSpeed = 10;
        AutoModeWait = 0;
        window->AddText(kTen);
        Frames(*window, 20);
        ASSERT_EQ(window->GetState(), TMessageState::PageFull);
        EXPECT_EQ(AutoModeWait, on ? 8 * 30 + 700 : 0) << on;
    }
}

// ---- Fading

TEST_F(MessageLibTest, TheTextFadesWithOpenCloseShowAndHide) {
    auto window = Window();
    // Closing fades only while a "*Disable" motion plays; without one the window hides at once.
    window->Disable();
    EXPECT_EQ(window->TextAlpha, 0);
    ASSERT_TRUE(window->LoadImages("frame.b", "", "", "", "", false, false));
    window->SetFadeTime(500);  // 2048 units a second
    window->Hide();
    EXPECT_EQ(window->TextAlpha, 0);
    window->Enable();
    EXPECT_EQ(window->TextAlpha, 2);
    window->Update(255, 250);
    EXPECT_EQ(window->TextAlpha, 2 + 512);
    window->Update(255, 5000);
    EXPECT_EQ(window->TextAlpha, 1024);
    window->Disable();
    EXPECT_EQ(window->TextAlpha, 1022);
    window->Update(255, 100);
    EXPECT_EQ(window->TextAlpha, 1022 - 204);
    window->Update(255, 2000);  // at most a second counts
    EXPECT_EQ(window->TextAlpha, 0);
    window->Show();
    EXPECT_EQ(window->TextAlpha, 1024);

    // Clearing the text fades it out; new text opens an enabled window again.
    window->ClearText();
    EXPECT_EQ(window->TextAlpha, 0);
    EXPECT_EQ(window->FadeRate, -2048);
    window->AddText(Sj("あ"));
    EXPECT_EQ(window->FadeRate, 2048);
    window->Update(255, 1);
    EXPECT_EQ(window->TextAlpha, 4);

    // Without a fade time a fade is over within a millisecond.
    window->SetFadeTime(0);
    window->Disable();
    window->Update(255, 1);
    EXPECT_EQ(window->TextAlpha, 0);
}

// ---- Drawing

TEST_F(MessageLibTest, AWindowWithoutPictureDrawsItsInkedTextAboveItself) {
    struct TCase {
        const char* What;
        void (*Prepare)(TMessageLib&);
        uint32_t Mask;
        bool Drawn;
    };
    const TCase cases[] = {
        {"shown text", [](TMessageLib&) {}, 1, true},
        {"faded out", [](TMessageLib& w) { w.TextAlpha = 0; }, 1, false},
        {"masked", [](TMessageLib&) {}, 0x100, false},
        {"nothing inked", [](TMessageLib& w) { w.ClearText(), w.Show(); }, 1, false},
        {"half faded", [](TMessageLib& w) { w.TextAlpha = 512; }, 1, true},
    };
    for (const TCase& c : cases) {
        auto window = Window();
        window->SetTextRect(10, 20, 74, 52);
        window->MoveTo(30, 40, 5, 0);
        window->Update(255, 0);
        window->AddText(Sj("あい"));
        window->Flush();
        c.Prepare(*window);
        Cells.Clear();
        window->Draw(&Cells, c.Mask, 3, 4);
        Cells.Render(0xFF000000, false, 0x7FFFFFFF);
        const TCellDrawCommand* text = nullptr;
        for (int32_t b = 0; b < Cells.BandCount(); ++b)
            for (int32_t i = 0; i < Cells.LastList(b).Count; ++i)
                if (Cells.LastList(b).Entries[static_cast<size_t>(i)].Image == &window->TextBitmap)
                    text = &Cells.LastList(b).Entries[static_cast<size_t>(i)];
        ASSERT_EQ(text != nullptr, c.Drawn) << c.What;
        if (!text) continue;
        // At the window, the area and the inked corner, from the inked corner to two pixels past
        // the last glyph.
        EXPECT_EQ(text->X1, 30 + 10 + 3) << c.What;
        EXPECT_EQ(text->Y1, 40 + 20 + 4) << c.What;
        EXPECT_EQ(text->Right, 34) << c.What;
        EXPECT_EQ(text->Bottom, 18) << c.What;
        EXPECT_EQ(text->Layer, 15) << c.What;
        EXPECT_EQ(text->Alpha, window->TextAlpha * 255u / 1024) << c.What;
        EXPECT_EQ(text->Mode, uint32_t{bmBlend}) << c.What;
    }
}

TEST_F(MessageLibTest, AWindowWithAPictureShowsItsTextThroughTheMessageLayers) {
    auto window = Window();
    ASSERT_TRUE(window->LoadImages("frame.b", "", "", "", "", false, false));
    window->Enable();
    window->AddText(Sj("あ"));
    window->Flush();
    window->Update(255, 16);
    Cells.Clear();
    window->Draw(&Cells, 1, 0, 0);
    EXPECT_EQ(Cells.CommandCount(), 1) << "the frame's layer, no draw of the window's own";
    Cells.Render(0xFF000000, false, 0x7FFFFFFF);
    // The layer shows the text bitmap, not the blue placeholder: white glyph pixels at the top
    // left, nothing blue.
    const TARGB8888& frame = *Cells.FrameBuffer;
    EXPECT_GT(frame.ScanLine(0)[0] & 0xFF, 0xF0u);
    EXPECT_GT(frame.ScanLine(0)[0] >> 16 & 0xFF, 0xF0u);
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 64; ++x)
            ASSERT_NE(frame.ScanLine(y)[x] & 0xFFFFFF, 0x0000FFu) << x << "," << y;
}

// ---- Voices and the back-log

TEST_F(MessageLibTest, VoicesPlayOnTheWindowsStreamForTheSpeakersChannel) {
    struct TCase {
        const char* What;
        const char* File;
        bool Play;
        void (*Prepare)(TSystemData&, TMessageLib&, TRecordingVoice&);
        bool Result;
        const char* Stored;
        std::vector<std::string> Calls;
    };
    const std::vector<std::string> played = {"stop 5",
                                             "load 5 voice\\alice01.ogg as voice of 3",
                                             "volume 5 100 in 0",
                                             "seek 5 1500",
                                             "skip silence 5 40",
                                             "auto gain 5 90",
                                             "play 5"};
    const TCase cases[] = {
        {"played", "voice\\alice01.ogg", true, [](TSystemData&, TMessageLib&, TRecordingVoice&) {}, true,
         "voice\\alice01.ogg", played},
        {"found whatever the case",
         "VOICE\\Alice01.OGG",
         true,
         [](TSystemData&, TMessageLib&, TRecordingVoice&) {},
         true,
         "VOICE\\Alice01.OGG",
         {"stop 5", "load 5 VOICE\\Alice01.OGG as voice of 3", "volume 5 100 in 0", "seek 5 1500", "skip silence 5 40",
          "auto gain 5 90", "play 5"}},
        {"speaker muted",
         "voice\\alice01.ogg",
         true,
         [](TSystemData& c, TMessageLib&, TRecordingVoice&) { c.ActorMute[3] = 1; },
         true,
         "voice\\alice01.ogg",
         {"stop 5"}},
        {"another speaker's mute", "voice\\alice01.ogg", true,
         [](TSystemData& c, TMessageLib&, TRecordingVoice&) { c.ActorMute[31] = 1; }, true, "voice\\alice01.ogg",
         played},
        {"skipping",
         "voice\\alice01.ogg",
         true,
         [](TSystemData& c, TMessageLib&, TRecordingVoice&) { c.Skipping = true; },
         true,
         "voice\\alice01.ogg",
         {"stop 5"}},
        {"kept for the back-log only",
         "voice\\alice01.ogg",
         false,
         [](TSystemData&, TMessageLib&, TRecordingVoice&) {},
         true,
         "voice\\alice01.ogg",
         {"stop 5"}},
        {"no start, no skip",
         "voice\\alice01.ogg",
         true,
         [](TSystemData&, TMessageLib& w, TRecordingVoice&) { w.SetVoiceStart(0), w.SetVoiceSkipLevel(0); },
         true,
         "voice\\alice01.ogg",
         {"stop 5", "load 5 voice\\alice01.ogg as voice of 3", "volume 5 100 in 0", "auto gain 5 90", "play 5"}},
        {"a file that does not decode",
         "voice\\alice01.ogg",
         true,
         [](TSystemData&, TMessageLib&, TRecordingVoice& v) { v.Loads = false; },
         false,
         "voice\\alice01.ogg",
         {"stop 5", "load 5 voice\\alice01.ogg as voice of 3"}},
        {"a file no pack holds",
         "voice\\nobody.ogg",
         true,
         [](TSystemData&, TMessageLib&, TRecordingVoice&) {},
         false,
         "voice\\nobody.ogg",
         {}},
        {"no file", "", true, [](TSystemData&, TMessageLib&, TRecordingVoice&) {}, true, "", {}},
    };
    for (const TCase& c : cases) {
        Context.Settings.ActorVolume[3] = 200;
        Context.Settings.ActorMute = {};
        Context.Settings.Skipping = false;
        auto window = Window();
        window->SetSoundChannel(5);
        window->SetSpeakerName("Alice");
        window->SetVoiceVolume(128);  // 200 x 128 div 255
        window->SetVoiceStart(1500);
        window->SetVoiceSkipLevel(40);
        window->SetVoiceAutoGain(90);
        window->VoiceFile = "earlier.ogg";
        c.Prepare(Context.Settings, *window, *Voice);
        EXPECT_EQ(window->PlayVoice(c.File, c.Play), c.Result) << c.What;
        EXPECT_EQ(window->VoiceFile, c.Stored) << c.What;
        EXPECT_EQ(Voice->Calls, c.Calls) << c.What;
    }
    Context.Settings.Skipping = false;
}

TEST_F(MessageLibTest, ClearingTheTextFadesTheSpeakersVoicesButLoadingDoesNot) {
    auto window = Window();
    window->SetSpeakerName("alice");
    ASSERT_TRUE(window->PlayVoice("voice\\alice01.ogg", true));
    Voice->Calls.clear();
    window->AddText(Sj("あ"));
    window->ClearText();
    EXPECT_EQ(Voice->Calls, (std::vector<std::string>{"fade voices of 3 in 500"}));
    EXPECT_EQ(window->VoiceFile, "");

    // Another speaker's channel; a window without voices clears quietly.
    Voice->Calls.clear();
    window->SetSpeakerName("bob");
    window->SetTextRect(0, 0, 32, 32);
    EXPECT_EQ(Voice->Calls, (std::vector<std::string>{"fade voices of 31 in 500"}));
    window->Voices.reset();
    window->ClearText();

    auto target = Window();
    const std::string saved = Saved(*window);
    TMemoryStream in(saved);
    ASSERT_TRUE(target->LoadFromStream(&in));
    EXPECT_TRUE(Voice->Calls.empty());
}

TEST_F(MessageLibTest, FinishedMessagesGoToTheBackLogWithTheirVoice) {
    auto window = Window();
    window->SetSpeakerName("alice");
    window->SetVoiceVolume(300);  // held to 255
    window->SetVoiceStart(20);
    window->SetVoiceAutoGain(7);
    window->PlayVoice("voice\\alice01.ogg", false);
    window->AddText(Sj("こんにちは\r\n"));
    window->AddToLog();
    EXPECT_EQ(window->LogCopy, "");
    ASSERT_EQ(Log.Count, 1);
    // The entry keeps the commands that started the page, so that it shows in the page's style.
    EXPECT_EQ(Log.GetText(0).substr(0, 7), "[p,0,0]");
    EXPECT_EQ(Log.GetPlainText(0), Sj("こんにちは"));
    EXPECT_EQ(Log.GetName(0), "alice");
    EXPECT_EQ(Log.GetVoice(0), "voice\\alice01.ogg");
    EXPECT_EQ(Log.GetValue1(0), 20);
    EXPECT_EQ(Log.GetVolume(0), 255);
    EXPECT_EQ(Log.GetValue4(0), 7);

    // Commands alone make no entry, and are gone all the same.
    window->SetColor(0xFFFF0000);
    window->AddToLog();
    EXPECT_EQ(Log.Count, 1);
    EXPECT_EQ(window->LogCopy, "");
    window->AddText("abc");
    window->Log = nullptr;
    window->AddToLog();
    EXPECT_EQ(window->LogCopy, "");
    EXPECT_EQ(Log.Count, 1);
}

// ---- The record

TEST_F(MessageLibTest, TheRecordHoldsEveryFieldAtItsOffset) {
    TMessageRecord r;
    r.State = 2;
    r.Vertical = 1;
    r.Font = 3, r.PrevFont = 4;
    r.AreaLeft = 5, r.AreaTop = 6, r.AreaRight = 7, r.AreaBottom = 8;
    r.PenX = 9, r.PenY = 10;
    r.PitchX = 11, r.PitchY = 12, r.PrevPitchX = 13, r.PrevPitchY = 14;
    r.SizeW = 15, r.SizeH = 16, r.PrevSizeW = 17, r.PrevSizeH = 18;
    r.MainPos = 19;
    r.Color = 0xAABBCCDD, r.PrevColor = 21;
    r.RubySizeW = 22, r.RubySizeH = 23;
    r.RubyColor = 24, r.PrevRubyColor = 25;
    r.RubyFont = 26;
    r.RubyPitchX = 27, r.RubyPitchY = 28;
    r.RubyOffsetX = 29, r.RubyOffsetY = -30;
    r.WaitLeft = 31;
    r.SpeakerName = "alice";
    r.VoiceFile = std::string(200, 'v');  // cut to 127 bytes
    r.VoiceVolume = 32, r.VoiceSkipLevel = 33, r.VoiceStart = 34, r.VoiceAutoGain = 35;
    r.TextAlpha = 36, r.FadeRate = -37, r.FadeMagnitude = 38;
    r.Margin = 39;
    r.HangingSet = "(";
    r.Speed = 40;
    r.AutoScroll = 1;
    r.AutoWait = 1;
    TRecordWriter w(TMessageRecord::kSize);
    r.Write(w);
    ASSERT_EQ(w.Size(), 668);
    TMemoryStream out;
    w.WriteTo(out);
    const uint8_t* b = out.Memory();
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(b[1], 1);
    const struct {
        size_t Offset;
        uint32_t Value;
    } fields[] = {{2, 3},    {6, 4},    {10, 5},        {22, 8},          {26, 9},   {30, 10},  {34, 11},  {42, 13},
                  {50, 15},  {58, 17},  {66, 19},       {70, 0xAABBCCDD}, {74, 21},  {78, 22},  {86, 24},  {90, 25},
                  {94, 26},  {98, 27},  {106, 29},      {110, 0u - 30},   {114, 31}, {374, 32}, {378, 33}, {382, 34},
                  {386, 35}, {390, 36}, {394, 0u - 37}, {398, 38},        {402, 39}, {534, 40}};
    for (const auto& f : fields)
        EXPECT_EQ(LittleEndian::Get32(b + f.Offset), f.Value) << f.Offset;
    EXPECT_EQ(b[118], 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 119), 5), "alice");
    EXPECT_EQ(b[246], 127);
    EXPECT_EQ(b[406], 1);
    EXPECT_EQ(b[407], '(');
    EXPECT_EQ(b[538], 1);
    EXPECT_EQ(b[539], 1);
    for (size_t i = 540; i < 668; ++i)
        ASSERT_EQ(b[i], 0) << i;

    TRecordReader reader(out.Data);
    TMessageRecord back;
    back.Read(reader);
    r.VoiceFile.resize(127);
    EXPECT_EQ(back, r);
}

TEST_F(MessageLibTest, ANewOrClearedWindowHasTheDefaultRecord) {
    auto window = ImageLib::Make<TMessageLib>(Context.Packs);
    window->Config = &Context.Settings;
    EXPECT_EQ(window->MakeRecord(), TMessageRecord{});
    EXPECT_FALSE(window->IsVisible());

    // Everything the window was given goes, except the own speed, the speed switch, the fade time,
    // the auto-gain level and the previous pitch.
    window->SetTextRect(0, 0, 64, 32);
    window->SetFadeTime(250);
    window->OwnSpeed = 20;
    window->UseConfigSpeed = 1;
    window->SetVoiceAutoGain(9);
    window->SetPitch(3, 4);
    window->SetSpeakerName("alice");
    window->SetAutoWait(true);
    window->SetHangingSet("(");
    window->AddText(kTen);
    window->Flush();
    window->Show();
    window->Clear();
    TMessageRecord expected;
    expected.FadeMagnitude = 4096;
    expected.FadeRate = -4096;
    expected.VoiceAutoGain = 9;
    expected.PrevPitchX = 3, expected.PrevPitchY = 4;
    EXPECT_EQ(window->MakeRecord(), expected);
    EXPECT_EQ(window->OwnSpeed, 20);
    EXPECT_EQ(window->UseConfigSpeed, 1);
    EXPECT_FALSE(window->IsVisible());
    EXPECT_EQ(window->MainText, "");
    window->Update(255, 16);
    EXPECT_EQ(window->GetState(), TMessageState::Done);
}

// ---- Loading

TEST_F(MessageLibTest, AHalfTypedPageLoadsAsItWasSaved) {
    struct TCase {
        const char* What;
        int32_t Width, Height;
        bool Vertical;
        const char* Text;
        int32_t Frames;  // of 16 ms at 10 ms a character; -1: to the full page, turned once
        const char* Hanging;
        TMessageState State;  // when saved
        int32_t Glyphs;       // placed when saved
    };
    const TCase cases[] = {
        {"style commands before the read position", 96, 64, false,
         "あ[c,$FFFF0000]い[s,12,12]う[rb,漢字,かんじ]え[c]お[pi,2,20]かきくけこさしすせそ", 4, nullptr,
         TMessageState::Printing, 5},
        {"a page full and waiting", 96, 32, false, "あいうえおかきくけこ", 20, nullptr, TMessageState::PageFull, 8},
        {"a page turned by the player", 96, 32, false, "あいうえおかきくけこたちつてと", -1, nullptr,
         TMessageState::Printing, 9},
        {"vertical writing with its own hanging set", 48, 64, true, "あいう（えおかきく）けこ", 3, "（",
         TMessageState::Printing, 3},
        {"a wait running", 96, 64, false, "あい[w,1000]うえ", 3, nullptr, TMessageState::Printing, 2},
        {"previous styles to go back to", 96, 64, false, "[s,12,12][c,$FF00FF00]あ[s,14,14][c,$FF0000FF]いう[s][c]え",
         2, nullptr, TMessageState::Printing, 3},
    };
    for (const TCase& c : cases) {
        auto original = Window(c.Width, c.Height);
        original->SetVertical(c.Vertical);
        if (c.Hanging) original->SetHangingSet(Sj(c.Hanging));
        original->OwnSpeed = 10;
        original->SetSpeakerName("alice");
        original->PlayVoice("voice\\alice01.ogg", false);
        original->AddText(Sj(c.Text));
        int32_t glyphs = 0;
        if (c.Frames >= 0) {
            glyphs = Frames(*original, c.Frames);
        } else {
            glyphs = Frames(*original, 20);
            original->Advance(1);
            glyphs += Frames(*original, 1);
        }
        ASSERT_EQ(original->GetState(), c.State) << c.What;
        ASSERT_EQ(glyphs, c.Glyphs) << c.What;
        const std::string saved = Saved(*original);
        original->Update(255, 1);  // as the load ends with a frame of 1 ms

        auto loaded = Window(8, 8);
        TMemoryStream in(saved);
        ASSERT_TRUE(loaded->LoadFromStream(&in)) << c.What;
        EXPECT_EQ(in.Remaining(), 0) << c.What;
        EXPECT_EQ(loaded->MakeRecord(), original->MakeRecord()) << c.What;
        EXPECT_EQ(loaded->MainText, original->MainText) << c.What;
        EXPECT_EQ(loaded->LogCopy, original->LogCopy) << c.What;
        EXPECT_EQ(Pixels(*loaded), Pixels(*original)) << c.What;

        // Both type the rest the same way.
        std::string dumps[2];
        TMessageLib* windows[2] = {original.get(), loaded.get()};
        for (int i = 0; i < 2; ++i) {
            TMessageLayoutDump dump(*windows[i]);
            for (int f = 0; f < 100 && windows[i]->GetState() != TMessageState::Done; ++f) {
                windows[i]->Advance(1);
                windows[i]->Update(255, 16);
            }
            dumps[i] = dump.Text();
        }
        EXPECT_EQ(dumps[1], dumps[0]) << c.What;
        EXPECT_EQ(Pixels(*loaded), Pixels(*original)) << c.What;
    }
}

TEST_F(MessageLibTest, DamagedSavesLeaveAClearedWindow) {
    auto source = Window();
    source->AddText(kTen);
    source->Update(255, 16);
    const std::string saved = Saved(*source);
    const size_t textsAt = static_cast<size_t>(TImageRecord::kSize) + 16 * 2;  // no effect texts, no slots
    for (size_t size : {size_t{0}, size_t{100}, textsAt, textsAt + 667, saved.size() - 1}) {
        auto window = Window();
        window->AddText(Sj("まえ"));
        window->Flush();
        TMemoryStream in(saved.substr(0, size));
        EXPECT_FALSE(window->LoadFromStream(&in)) << size;
        EXPECT_EQ(window->MakeRecord(), TMessageRecord{}) << size;
        EXPECT_EQ(window->MainText, "") << size;
        EXPECT_TRUE(window->InkEmpty()) << size;
        EXPECT_FALSE(window->IsVisible()) << size;
        EXPECT_EQ(window->SuppressVoiceStop, 0) << size;
    }
    auto window = Window();
    EXPECT_FALSE(window->LoadFromStream(nullptr));
}

TEST_F(MessageLibTest, OddRecordsLoadIntoSafeWindows) {
    // The record of a window, with fields changed as a damaged or hostile save might have them.
    auto source = Window();
    source->AddText(kTen);
    source->Flush();
    const std::string saved = Saved(*source);
    const size_t at = static_cast<size_t>(TImageRecord::kSize) + 16 * 2;
    auto put = [](std::string& s, size_t offset, int32_t v) {
        for (int i = 0; i < 4; ++i)
            s[offset + static_cast<size_t>(i)] = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
    };
    struct TCase {
        const char* What;
        size_t Offset;  // in the record; 0 is the state byte
        int32_t Value;
        int32_t Width, Height;  // of the text bitmap after the load
        bool Warned;
    };
    const TCase cases[] = {
        {"a text area of a million pixels a side", 18, 1000000, 4096, 32, true},
        {"a text area of negative width", 18, -64, 4, 4, false},
        {"a text area from the least integer", 10, INT32_MIN, 4096, 32, true},
        {"a read position past the text", 66, INT32_MAX, 96, 32, false},
        {"a negative read position", 66, -5, 96, 32, false},
        {"an unknown state", 0, 9, 96, 32, false},
        {"an alpha past opaque", 390, INT32_MAX, 96, 32, false},
        {"a negative fade magnitude", 398, INT32_MIN, 96, 32, false},
    };
    for (const TCase& c : cases) {
        std::string bytes = saved;
        if (c.Offset == 0)
            bytes[at] = static_cast<char>(c.Value);
        else
            put(bytes, at + c.Offset, c.Value);
        Context.Log.ClearErrorLog();
        auto window = Window();
        TMemoryStream in(bytes);
        ASSERT_TRUE(window->LoadFromStream(&in)) << c.What;
        EXPECT_EQ(window->TextBitmap.Width(), c.Width) << c.What;
        EXPECT_EQ(window->TextBitmap.Height(), c.Height) << c.What;
        EXPECT_EQ(Context.Log.ErrorList.Count() > 0, c.Warned) << c.What;
        EXPECT_LE(static_cast<size_t>(window->MainPos), window->MainText.size()) << c.What;
        EXPECT_GE(window->TextAlpha, 0) << c.What;
        EXPECT_LE(window->TextAlpha, MessageLib::kOpaqueText) << c.What;
        EXPECT_LE(static_cast<uint8_t>(window->GetState()), 2) << c.What;
        // It still runs, draws and saves.
        window->Update(255, 16);
        window->Draw(&Cells, 1, 0, 0);
        window->Enable();
        window->Update(255, 16);
        Saved(*window);
    }
}

TEST_F(MessageLibTest, AnOverlongTextIsReportedWhenSavedAndItsKeptPartLoads) {
    auto window = Window(256, 256);
    window->OwnSpeed = 10;
    std::string text;
    while (text.size() <= MessageLib::kMaxSavedText)
        text += kTen;
    window->AddText(text);
    window->Update(255, 16);
    Context.Log.ClearErrorLog();
    const std::string saved = Saved(*window);
    ASSERT_EQ(Context.Log.ErrorList.Count(), 2) << "the main text and the log copy";
    EXPECT_NE(Encoding::SjisToUtf8(Context.Log.ErrorList[0]).find("65535"), std::string::npos);

    auto loaded = Window();
    TMemoryStream in(saved);
    ASSERT_TRUE(loaded->LoadFromStream(&in));
    EXPECT_EQ(loaded->MainText.size(), MessageLib::kMaxSavedText);
    EXPECT_EQ(loaded->MakeRecord(), window->MakeRecord());
    EXPECT_EQ(Pixels(*loaded), Pixels(*window));
}

// ---- Windows that scripts declare

TEST_F(MessageLibTest, AScriptWaitsForItsWindowToTypeAndForThePlayerToTurnItsPages) {
    constexpr uint8_t kKeyA = 65;
    TMediaContext media;
    FontFixtures::InstallMessageFonts(media.Fonts);
    TScriptHarness h;
    h.Context.Settings.MessageSpeed = 10;
    KelScreenObjects::Register(h.Kinds);
    h.Script.Words.General = &KelGeneralCommands::Handler();
    h.Script.Links.BackLog = &Log;
    h.Script.Links.Media = &media;
    h.Script.SystemKeys->Add(kKeyA, "keyclick", "", "", "");
    h.PassInputLock();
    ASSERT_TRUE(h.Script.OnObjectCreate("msg", "m"));
    TKelObjectDataCustom* object = h.Script.Objects->Find("m");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Kind(), TObjectKind::Message);
    auto* link = dynamic_cast<TMessageLink*>(object->ScreenObject());
    ASSERT_NE(link, nullptr);
    TMessageLib& window = link->Object();
    EXPECT_EQ(window.Log, &Log);
    EXPECT_EQ(window.Fonts, &media.Fonts);
    EXPECT_EQ(window.Voices, nullptr) << "no sound library, no voices";
    EXPECT_EQ(window.UseConfigSpeed, 1);

    window.SetTextRect(0, 0, 96, 32);
    window.SetSize(16, 16);
    window.ClearText();
    window.Show();
    window.AddText(kTen);
    ASSERT_TRUE(h.Start("\\msg\r\n\\wait,100000\r\n"));
    const auto wait = [&] { return h.Script.CurrentRoutine()->WaitState; };
    const auto tap = [&] {
        h.InputSource.Press(kKeyA);
        h.Step();
        h.InputSource.Release(kKeyA);
        h.Step(0);
    };
    h.Step();
    EXPECT_EQ(wait(), wsMessageTyping);
    h.Run(10);  // 8 characters at 10 ms each, then the full page
    EXPECT_EQ(window.GetState(), TMessageState::PageFull);
    EXPECT_EQ(wait(), wsMessagePage);
    tap();  // one line on: typing again
    EXPECT_EQ(wait(), wsMessageTyping);
    tap();  // the rest at once
    EXPECT_EQ(window.GetState(), TMessageState::Done);
    EXPECT_EQ(wait(), wsTimer) << "the script went on";

    // The window saves and loads through its script object.
    TMemoryStream saved;
    ASSERT_TRUE(object->SaveToStream(saved));
    object->Reset();
    EXPECT_EQ(window.MainText, "");
    saved.SetPosition(0);
    ASSERT_TRUE(object->LoadFromStream(saved));
    EXPECT_EQ(window.PenX, 32);
    EXPECT_EQ(window.PenY, 16);
}

TEST_F(MessageLibTest, ScriptWindowsPlayVoicesOnTheSoundLibrarysStreams) {
    SoundFixtures::TSoundLibraryRig rig;
    ASSERT_NE(rig.Sound, nullptr);
    TSound& sound = *rig.Sound;
    TScriptHarness h;  // gone before the sound library; it serves the files from now on
    rig.ReadThrough(h.Context.Packs);
    h.Context.Settings.ActorLists[3].Add("alice");
    h.AddRawFile("voice\\alice01.ogg", SoundFixtures::ToneOgg(44100, 2, 1.0));
    KelScreenObjects::Register(h.Kinds);
    h.Script.Links.SoundLibrary = &sound;
    ASSERT_TRUE(h.Script.OnObjectCreate("msg", "m"));
    TMessageLib& window = dynamic_cast<TMessageLink*>(h.Script.Objects->Find("m")->ScreenObject())->Object();
    const int32_t stream = window.Record.SoundChannel;
    EXPECT_EQ(stream, sound.SSound->Count() - 2);

    window.SetSpeakerName("alice");
    window.SetVoiceVolume(102);
    ASSERT_TRUE(window.PlayVoice("voice\\alice01.ogg", true));
    const TSSound& streams = *sound.SSound;
    EXPECT_TRUE(streams.IsVoice(stream));
    EXPECT_EQ(streams.Record(stream).Group, uint32_t{sgVoice});
    EXPECT_EQ(streams.Record(stream).Actor, 3u);
    EXPECT_EQ(streams.Record(stream).Volume, 102);
    EXPECT_EQ(streams.GetState(stream), psPLAY);

    window.AddText(Sj("あ"));
    window.ClearText();
    EXPECT_EQ(streams.Record(stream).Volume, 0);
    EXPECT_EQ(streams.Record(stream).FadeTime, MessageLib::kVoiceFadeMs);
}

}  // namespace

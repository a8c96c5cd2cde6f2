// The back-log screen on a headless interpreter: the layout file's keys, which character a
// speaker belongs to, the entry lines, what opening shows, scrolling by wheel and keys, the rows
// the text area accepts, voice replay and its fade through a recording fake, locked colours, the
// drawn screen, and a screen without a readable layout.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/MediaContext.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "objects/ScrollBarLib.h"
#include "platform/Encoding.h"
#include "shell/KelLogLib.h"
#include "tests/support/FontFixtures.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/MessageFixtures.h"
#include "tests/support/ScriptHarness.h"

using namespace KelLogLib;

namespace {

std::string Sj(const std::string& utf8) {
    return Encoding::Utf8ToSjis(utf8);
}

TStringList Lines(const std::string& utf8) {
    TStringList l;
    l.SetText(Sj(utf8));
    return l;
}

// ---- the layout file ----

TEST(KelLogLayoutTest, KeysAndDefaults) {
    const TLayout d = ReadLayout(Lines(""));
    EXPECT_EQ(d.DefaultViewCount, 4);
    EXPECT_EQ(d.SelectColor, 0x88FFFFFFu);
    EXPECT_EQ(d.HitX2, 600);
    EXPECT_EQ(d.TextBottom, 800);
    EXPECT_EQ(d.SizeW, 24);
    EXPECT_EQ(d.RubySizeH, 24);
    EXPECT_FALSE(d.WheelDownReturnGame);
    EXPECT_EQ(d.Characters[5].TextColor, 0xFFFFFFFFu);

    const TLayout l =
        ReadLayout(Lines("msg.position=10,,20\r\n"     // two commas read as one
                         "msg.HitSize=, 1,2 ,3,4\r\n"  // so does a leading one
                         "msg.TextSize=5,x,7,8\r\n"    // a malformed number takes the default
                         "Font.Size=16,16\r\nBGColor=$80FF0000\r\nmsg.SelectColor=nonsense\r\n"
                         "DefaultViewCount=0\r\nWheelDownReturnGame=true\r\nLockColor=TRUE\r\nLockSize=yes\r\n"
                         "ScrollBar.Position=1,,,2,3\r\nscrollbar.type=1\r\n"));
    EXPECT_EQ(l.MsgX, 10);
    EXPECT_EQ(l.MsgY, 20);
    EXPECT_EQ(std::vector<int32_t>({l.HitX1, l.HitY1, l.HitX2, l.HitY2}), std::vector<int32_t>({1, 2, 3, 4}));
    EXPECT_EQ(std::vector<int32_t>({l.TextLeft, l.TextTop, l.TextRight, l.TextBottom}),
              std::vector<int32_t>({5, 0, 7, 8}));
    EXPECT_EQ(l.SizeW, 16);
    EXPECT_EQ(l.BGColor, 0x80FF0000u);
    EXPECT_EQ(l.SelectColor, 0x88FFFFFFu);
    EXPECT_EQ(l.DefaultViewCount, 1);
    EXPECT_FALSE(l.WheelDownReturnGame);  // only "1" switches it on
    EXPECT_TRUE(l.LockColor);
    EXPECT_FALSE(l.LockSize);
    EXPECT_EQ(std::vector<int32_t>({l.ScrollX, l.ScrollY, l.ScrollZ}), std::vector<int32_t>({1, 2, 3}));
    EXPECT_EQ(l.ScrollType, 1);
}

TEST(KelLogLayoutTest, CharactersOfSpeakers) {
    const TLayout l =
        ReadLayout(Lines("no[0]=$FF000010, $FFFF0000, 0, face.png, 花, Ren // the heroine\r\n"
                         "no[1]=0,0,0,,ren,空\r\n"
                         "no[2]=0,0,0,,*\r\n"
                         "no[3]=0,0,0,,空\r\n"));
    EXPECT_EQ(l.Characters[0].MarkColor, 0xFF000010u);
    EXPECT_EQ(l.Characters[0].TextColor, 0xFFFF0000u);
    EXPECT_EQ(l.Characters[0].Picture, "face.png");
    EXPECT_EQ(l.Characters[0].Names.Items, (std::vector<std::string>{Sj("花"), "Ren"}));
    const std::pair<const char*, int32_t> cases[] = {
        {"花", 0},          {"REN", 0},   // listed under 0 and 1: the lower wins; ASCII case is ignored
        {"空", 1},          {"誰か", 2},  // "*" takes whoever no earlier character names
        {"", kNoCharacter},
    };
    for (auto [speaker, character] : cases)
        EXPECT_EQ(CharacterOf(l, Sj(speaker)), character) << speaker;
    // Without a "*" list, an unknown speaker is character 31.
    EXPECT_EQ(CharacterOf(ReadLayout(Lines("no[0]=0,0,0,,a\r\n")), "b"), kNoCharacter);
}

TEST(KelLogLayoutTest, EntryLines) {
    struct {
        const char* Layout;
        const char* Speaker;
        const char* Line;
    } cases[] = {
        {"DivideNameFormat=[c,%%%ActColor]【%%%NAME】[c,$FFFFFFFF]", "花", "[c,$FF123456]【花】[c,$FFFFFFFF]本文"},
        {"DivideNameText=/\r\nDivideNameIndex=1\r\nDivideNameFormat=%%%name：", "hana/花", "花：本文"},
        {"DivideNameText=/\r\nDivideNameIndex=2\r\nDivideNameFormat=%%%name：", "hana/花", "hana/花：本文"},
        {"DivideNameFormat=%%%name：", "", "本文"},  // no speaker, no header
        {"DivideNameFormat=%%%name：", "%%%actcolor", "%%%actcolor：本文"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Encoding::SjisToUtf8(EntryLine(ReadLayout(Lines(c.Layout)), Sj(c.Speaker), Sj("本文"), 0xFF123456)),
                  c.Line)
            << c.Layout;
}

// ---- the screen ----

// Records the colour of every character the text area places.
class TGlyphColours final : public IMessageLayoutObserver {
public:
    void GlyphPlaced(const TPlacedGlyph& glyph) override { Colours.push_back(glyph.Color); }
    void StateChanged(const std::string&) override {}
    std::vector<uint32_t> Colours;
};

constexpr int kEsc = 27, kBackspace = 8, kEnter = 13, kLeft = 1, kRight = 2;

class KelLogScreenTest : public ::testing::Test {
protected:
    KelLogScreenTest()
        : Harness([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelGraphicLib::Register(kinds);
              links.BackLog = &Data;
              links.Media = &Media;
          }) {
        FontFixtures::InstallMessageFonts(Media.Fonts, 16, 8);
        Harness.PassInputLock();
    }

    // The screen with the layout (UTF-8), opened.
    TKelLog& Open(const std::string& layout) {
        Harness.AddFile("System\\Log\\Layout.dat", "Font.Size=16,16\r\n" + layout);
        auto voice = std::make_unique<TRecordingVoice>();
        Voice = voice.get();
        Screen = std::make_unique<TKelLog>(Harness.Script, std::move(voice));
        Screen->Open(0);
        return *Screen;
    }
    void AddEntries(int n, const std::string& speaker = "") {
        for (int i = 0; i < n; ++i)
            Data.Add(Sj("あいう"), Sj(speaker), "", 0, 0, 255, 0);
    }
    // One frame: the input device polls, then the screen updates; its result.
    int32_t Frame(uint32_t ms = 16) {
        Harness.Clock.SleepMs(ms);
        Harness.Input.Update();
        return Screen->Update(static_cast<int32_t>(ms));
    }
    int32_t Tap(int vk) {
        Harness.InputSource.Press(static_cast<uint8_t>(vk));
        Frame();
        Harness.InputSource.Release(static_cast<uint8_t>(vk));
        return Frame();
    }
    void ClickAt(int32_t x, int32_t y) {
        Harness.InputSource.PointerAt = {x, y};
        Tap(kLeft);
    }
    std::vector<int32_t> RowIndexes() const {
        std::vector<int32_t> out;
        for (int32_t i = 0; i < Screen->Entries->RowCount(); ++i)
            out.push_back(Screen->Entries->Rows[static_cast<size_t>(i)].Index);
        return out;
    }
    int32_t Value() const { return Screen->ScrollBar->GetValue(); }

    TKelLogData Data;
    TMediaContext Media;  // the text in font 0
    TScriptHarness Harness;
    TGlyphColours Typed;  // outlives the screen, whose text area may report to it
    std::unique_ptr<TKelLog> Screen;
    TRecordingVoice* Voice = nullptr;
};

TEST_F(KelLogScreenTest, OpeningShowsTheNewestEntriesNewestLast) {
    AddEntries(10);
    Open("DefaultViewCount=4\r\n");
    EXPECT_EQ(Screen->ScrollBar->GetMax(), 9);
    EXPECT_EQ(Value(), 6);
    EXPECT_EQ(Frame(), 0);
    EXPECT_EQ(RowIndexes(), (std::vector<int32_t>{3, 2, 1, 0}));
    // Rows follow one another on the text bitmap, one 16-pixel line each.
    EXPECT_EQ(Screen->Entries->Boundary(0), 0);
    EXPECT_EQ(Screen->Entries->Boundary(4), 64);

    // Opening again after more entries shows the newest again.
    Data.Add(Sj("新"), "", "", 0, 0, 255, 0);
    Screen->Close();
    Screen->Open(0);
    Frame();
    EXPECT_EQ(Value(), 7);
    EXPECT_EQ(RowIndexes(), (std::vector<int32_t>{3, 2, 1, 0}));
}

TEST_F(KelLogScreenTest, EmptyBackLogShowsTheEmptyTextInCharacterZeroColours) {
    Open("EmptyText=まだありません\r\nno[0]=$40102030,$FF0000FF\r\n");
    Screen->Entries->Observer = &Typed;
    Frame();
    Frame();
    ASSERT_EQ(Screen->Entries->RowCount(), 1);
    EXPECT_EQ(Screen->Entries->Rows[0].MarkColor, 0x40102030u);
    EXPECT_EQ(Typed.Colours, std::vector<uint32_t>(7, 0xFF0000FFu));  // typed once
    EXPECT_EQ(Screen->ScrollBar->GetMax(), 1);
    EXPECT_EQ(Value(), 0);
}

TEST_F(KelLogScreenTest, WheelAndKeysScrollAndClose) {
    struct {
        const char* Layout;
        int Key;    // virtual key tapped, or 0 for the wheel
        int Wheel;  // wheel turn
        int32_t Value;
        bool Closes;
    } cases[] = {
        {"DefaultViewCount=4", 0, 120, 5, false},                            // wheel up: one older
        {"DefaultViewCount=4", 0, -360, 7, false},                           // one step, however far
        {"DefaultViewCount=1\r\nWheelDownReturnGame=1", 0, -120, 9, true},   // at the end: back to the game
        {"DefaultViewCount=1\r\nWheelDownReturnGame=0", 0, -120, 9, false},  // stays at the end
        {"DefaultViewCount=1\r\nWheelDownReturnGame=1", 0x28, 0, 9, true},   // Down at the end
        {"DefaultViewCount=1\r\nWheelDownReturnGame=1", 0x23, 0, 9, true},   // End at the end
        {"DefaultViewCount=1\r\nWheelDownReturnGame=1", 0x22, 0, 9, true},   // Page Down at the end
        {"DefaultViewCount=4", 0x26, 0, 5, false},                           // Up
        {"DefaultViewCount=4", 0x28, 0, 7, false},                           // Down
        {"DefaultViewCount=4", 0x24, 0, 0, false},                           // Home: the oldest on top
        {"DefaultViewCount=4", 0x23, 0, 9, false},                           // End
        {"DefaultViewCount=4", 0x21, 0, 1, false},                           // Page Up
        {"DefaultViewCount=4", 0x22, 0, 9, false},                           // Page Down, held at the maximum
        {"DefaultViewCount=4", kEsc, 0, 6, true},
        {"DefaultViewCount=4", kBackspace, 0, 6, true},
        {"DefaultViewCount=4", kEnter, 0, 6, true},
        {"DefaultViewCount=4", kRight, 0, 6, true},
    };
    AddEntries(10);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Layout) + " key " + std::to_string(c.Key) + " wheel " + std::to_string(c.Wheel));
        Open(c.Layout);
        Frame();
        int32_t result = 0;
        if (c.Key) {
            result = Tap(c.Key);
        } else {
            Harness.InputSource.Wheel(c.Wheel);
            result = Frame();
        }
        EXPECT_EQ(Value(), c.Value);
        // A close asked for is reported by the next update.
        const bool closed = result == -1 || Frame() == -1;
        EXPECT_EQ(closed, c.Closes);
        if (!c.Closes) {
            EXPECT_EQ(RowIndexes().front(), 9 - c.Value);  // laid out again from the new top
        }
    }
}

TEST_F(KelLogScreenTest, InputWaitsForTheMuteTime) {
    AddEntries(3);
    Open("BeginMuteTime=100\r\n");
    EXPECT_EQ(Tap(kEsc), 0);  // 32 ms in: ignored
    EXPECT_EQ(Screen->CloseRequested, 0);
    Frame(100);
    EXPECT_EQ(Tap(kEsc), -1);  // asked for as Esc goes down, reported as it comes up
}

TEST_F(KelLogScreenTest, FillingStopsAtTheFirstRowRefused) {
    struct {
        int Entries;
        const char* Layout;
        int32_t Rows;
    } cases[] = {
        // A 40-pixel text bitmap takes three 16-pixel rows; the pen has passed it at the fourth.
        {20, "DefaultViewCount=20\r\nmsg.TextSize=0,0,600,40\r\nmsg.HitSize=0,0,600,4000", 3},
        // No more than 128 rows, however tall the area.
        {200, "DefaultViewCount=200\r\nmsg.TextSize=0,0,600,4096\r\nmsg.HitSize=0,0,600,4096\r\nFont.Size=8,8", 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Layout);
        Data.Clear();
        AddEntries(c.Entries);
        Open(c.Layout);
        Typed.Colours.clear();
        Screen->Entries->Observer = &Typed;
        Frame();
        EXPECT_EQ(Screen->Entries->RowCount(), c.Rows);
        EXPECT_TRUE(Screen->Entries->Full());
        const size_t glyphs = Typed.Colours.size();
        EXPECT_LE(glyphs, static_cast<size_t>(3 * (c.Rows + 1)));
        Frame();
        EXPECT_EQ(Typed.Colours.size(), glyphs);  // nothing typed again in later frames
        // Scrolling clears the rows, and they fill again.
        Tap(0x26);
        EXPECT_EQ(Screen->Entries->RowCount(), c.Rows);
    }
}

TEST_F(KelLogScreenTest, ClickReplaysTheVoiceAndLeavingFadesIt) {
    Harness.AddRawFile("voice\\hana01.ogg", "stands for a voice");
    Harness.Context.Settings.ActorLists[2].Items = {Sj("花")};
    Harness.Context.Settings.ActorVolume[2] = 200;
    Data.Add(Sj("声なし"), Sj("花"), "", 0, 0, 255, 0);
    Data.Add(Sj("声あり"), Sj("花"), "voice\\hana01.ogg", 300, 5, 128, 7);
    Open("");
    Frame();
    ASSERT_EQ(RowIndexes(), (std::vector<int32_t>{1, 0}));
    EXPECT_TRUE(Screen->Entries->Rows[0].Voice.empty());
    EXPECT_FALSE(Screen->Entries->Rows[1].Voice.empty());

    ClickAt(100, 8);  // the entry without a voice: the stream is left alone
    EXPECT_TRUE(Voice->Calls.empty());
    ClickAt(100, 24);
    const std::string file = Screen->Entries->Rows[1].Voice;
    EXPECT_EQ(Voice->Calls, (std::vector<std::string>{"stop 15", "volume 15 100 in 0",  // 200 x 128 div 255
                                                      "load 15 " + file + " as voice of 2", "seek 15 300",
                                                      "skip silence 15 5", "auto gain 15 7", "play 15"}));
    EXPECT_FALSE(Screen->Entries->Rows[1].Selected);
    Voice->Calls.clear();
    Screen->Close();
    EXPECT_EQ(Voice->Calls, (std::vector<std::string>{"volume 15 0 in 500"}));

    // A screen that replayed nothing leaves the stream (music, say) playing as it was.
    Voice->Calls.clear();
    Screen->Open(0);
    Frame();
    Screen->Close();
    EXPECT_TRUE(Voice->Calls.empty());
}

TEST_F(KelLogScreenTest, LockColorKeepsEntriesInTheirCharacterColour) {
    Data.Add(Sj("[c,$FFFF0000]赤い"), "", "", 0, 0, 255, 0);
    for (const char* lock : {"LockColor=true", "LockColor=false"}) {
        SCOPED_TRACE(lock);
        Open(std::string(lock) + "\r\nno[31]=0,$FF00FF00\r\n");
        Typed.Colours.clear();
        Screen->Entries->Observer = &Typed;
        Frame();
        const uint32_t want = std::string(lock) == "LockColor=true" ? 0xFF00FF00u : 0xFFFF0000u;
        EXPECT_EQ(Typed.Colours, std::vector<uint32_t>(2, want));
    }
}

TEST_F(KelLogScreenTest, DrawsMarksBordersPicturesAndIcons) {
    ImageFixtures::TPng yellowPng{.Width = 4, .Height = 4};
    for (int i = 0; i < 16; ++i)
        yellowPng.Samples.insert(yellowPng.Samples.end(), {255, 255, 0});
    ImageFixtures::TPng redPng{.Width = 4, .Height = 4};
    for (int i = 0; i < 16; ++i)
        redPng.Samples.insert(redPng.Samples.end(), {255, 0, 0});
    Harness.AddRawFile("system\\log\\face.png", ImageFixtures::WritePng(redPng));
    Harness.AddRawFile("System\\Log\\icon.png", ImageFixtures::WritePng(yellowPng));
    Harness.AddRawFile("voice\\v.ogg", "stands for a voice");
    Data.Add(Sj("一"), "A", "voice\\v.ogg", 0, 0, 255, 0);  // entry 1: the top row
    Data.Add(Sj("二"), "B", "", 0, 0, 255, 0);              // entry 0: the row under it
    Harness.Context.Settings.Interlace = 0;
    Open(
        "msg.SelectColor=$FFFF00FF\r\nBGColor=$80FF0000\r\nBorderLineColor=$FF00FF00\r\nVoiceIconImage=icon.png\r\n"
        "VoiceIconImagePosition=560,0\r\nCharctorImagePosition=580,0\r\n"
        "no[0]=$FF0000FF,$FFFFFFFF,0,,A\r\nno[1]=0,$FFFFFFFF,0,face.png,B\r\n");
    Frame();
    Screen->Draw();
    TARGB8888* frame = KelGraphicLib::GraphicOf(Harness.Script)->CellDraw()->FrameBuffer.get();
    ASSERT_NE(frame, nullptr);
    auto at = [&](int32_t x, int32_t y) { return frame->ScanLine(y)[x]; };
    EXPECT_EQ(at(300, 5), 0xFF0000FFu);   // row 0's mark, rows 0..14
    EXPECT_EQ(at(300, 15), 0xFF00FF00u);  // the line under row 0
    EXPECT_EQ(at(300, 31), 0xFF00FF00u);  // and under row 1, which has no mark
    // The frozen (black) game screen under half of "BGColor".
    const uint32_t shade = at(300, 20);
    EXPECT_EQ(shade & 0xFFFFu, 0u);
    EXPECT_NEAR(static_cast<int>((shade >> 16) & 0xFF), 0x60, 0x20);
    EXPECT_EQ(at(561, 1), 0xFFFFFF00u);   // the voice icon of row 0, over its mark
    EXPECT_EQ(at(561, 17), shade);        // row 1 has no voice
    EXPECT_EQ(at(581, 23), 0xFFFF0000u);  // row 1's picture, centred on the row (16..32)

    // The pointer lights the row it is over, and only while it is over the text area.
    Harness.InputSource.PointerAt = {300, 20};
    Frame();
    Screen->Draw();
    EXPECT_EQ(at(300, 20), 0xFFFF00FFu);
    EXPECT_EQ(at(300, 5), 0xFF0000FFu);
    Harness.InputSource.PointerAt = {650, 20};
    Frame();
    Screen->Draw();
    EXPECT_EQ(at(300, 20), shade);
}

TEST_F(KelLogScreenTest, WithoutALayoutTheScreenIsEmptyAndClosesOnTheUsualKeys) {
    AddEntries(3);
    auto voice = std::make_unique<TRecordingVoice>();
    Screen = std::make_unique<TKelLog>(Harness.Script, std::move(voice));
    Harness.Script.State.LogScreenFile = "missing.dat";
    Screen->Open(0);
    EXPECT_TRUE(Screen->Opened);
    EXPECT_EQ(Screen->Entries, nullptr);
    ASSERT_FALSE(Harness.Errors().empty());
    EXPECT_NE(Harness.Errors().back().find("System\\Log\\Layout.dat"), std::string::npos);
    EXPECT_FALSE(Harness.Context.Log.ErrorFlag);  // a warning: the script goes on
    Frame();
    Screen->Draw();
    EXPECT_EQ(Tap(kEsc), -1);
}

TEST_F(KelLogScreenTest, TheScriptsLayoutReplacesTheDefaultAndIsReadOnce) {
    Harness.AddFile("System\\Log\\Mine.dat", "EmptyText=mine\r\n");
    Harness.Script.State.LogScreenFile = "Mine.dat";
    Open("EmptyText=default\r\n");
    EXPECT_EQ(Screen->LayoutName, "System\\Log\\Mine.dat");
    EXPECT_EQ(Screen->Layout.EmptyText, "mine");
    // The same name is not read again; a reset forgets it.
    Harness.AddFile("System\\Log\\Mine.dat", "EmptyText=changed\r\n");
    Screen->Close();
    Screen->Open(0);
    EXPECT_EQ(Screen->Layout.EmptyText, "mine");
    Screen->Reset();
    Screen->Open(0);
    EXPECT_EQ(Screen->Layout.EmptyText, "changed");
}

}  // namespace

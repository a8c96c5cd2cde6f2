// The image words run as script statements through the headless interpreter, grouped by family:
// what each word leaves in the image and what the queries report and clear, their messages for
// bad arguments and missing objects, arguments at the ends of the 32-bit range, the words that
// call the object's own Clear, Enable and Disable, and the cursor kinds, which reach the
// interpreter's cursor images or, with the target flag, those of the owner script.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpWriter.h"
#include "objects/ImageLib.h"
#include "objects/KelCursorImage.h"
#include "objects/KelEffectCommands.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelImageCommands.h"
#include "objects/KelScreenObjects.h"
#include "platform/Encoding.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"

namespace {

using AnimationFixtures::SolidPng;

// "anim.b": 40 x 20, 1500 ms long, two lines of text, pictures of 40 x 20 and 16 x 4, motions
// Idle, *Enable, *Disable, *OnMouse, *OffMouse; and the sounds given.
std::string Animation(const std::vector<AnimationBmpWriter::TItem>& sounds = {}) {
    AnimationBmpWriter::TFile file =
        AnimationFixtures::StateFile(40, 20, {SolidPng(40, 20, 0xFF00FF00), SolidPng(16, 4, 0xFF0000FF)});
    file.Length = 1500;
    file.Text = Encoding::Utf8ToSjis("一行目\r\nsecond");
    file.Sounds = sounds;
    return AnimationBmpWriter::Write(file);
}

const std::string kRangeSc = "\\sc:範囲外のチャンネルを指定しました";
const std::string kRangeDc = "\\dc:範囲外のチャンネルを指定しました";

class ImageWordsTest : public ::testing::Test {
protected:
    ImageWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelScreenObjects::Register(kinds);
              KelImageCommands::Register(kinds);
              KelCursorImage::Register(kinds);
              links.Sound = &Sound;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.AddRawFile("anim.b", Animation());
        H.AddRawFile("red.png", SolidPng(8, 6, 0xFFFF0000));
        H.AddRawFile("image\\leaf.png", SolidPng(40, 20, 0xFF00FF00));
        H.Execute({"\\var,img,pic", "\\var,list,lines"});
    }
    // Runs the rows in order on the objects in scope; every query must clear the results first.
    void RunQueries(const std::vector<TQueryRow>& rows) { QueryRows::Run(H, rows); }
    // The image of an object variable.
    TImageLib& Image(const std::string& variable = "pic") {
        TKelObjectDataCustom* object = H.Script.Objects->Find(H.Var(variable).Text);
        auto* link = dynamic_cast<TKelScreenObjectLink<TImageLib>*>(object->ScreenObject());
        return link->Object();
    }

    TChannelCounts Sound;
    TScriptHarness H;
};

}  // namespace

namespace {

TEST_F(ImageWordsTest, PlacePointerDataAndChannelWords) {
    H.Execute({"\\scp,pic", "\\l,\"anim.b\"", "\\e"});
    const std::string long70(70, 'x');
    RunQueries({
        // Place and tweens. Positions are those where the move ends, taken at the point asked for.
        {{"\\p,10,20,3,0"}, "\\?p", {10, 20, 3}},
        {{"\\alg,1,2"}, "\\?alg", {1, 2}},
        {{}, "\\?p,0,2", {-10, 20, 3}},
        {{"\\alg,0,0", "\\p,100,50,7,1000"}, "\\?p,1,2", {120, 70, 7}},
        {{"\\a,128,500"}, "\\?a", {128}},
        {{"\\mm,3"}, "\\?mm", {3}},
        {{"\\mm,300"}, "\\?mm", {255}},  // a kind past the byte is held at its end, not wrapped
        {{"\\mm,-5"}, "\\?mm", {0}},
        // Pointer.
        {{"\\sp,4,5"}, "\\?sp", {4, 5}},
        {{"\\in,0"}, "\\?in", {0}},
        {{"\\in"}, "\\?in", {255}},  // no argument restores the full mask
        {{"\\out,6"}, "\\?out", {6}},
        {{"\\out"}, "\\?out", {255}},
        // Script data: empty arguments leave their element alone.
        {{"\\ui,1,2,3,4", "\\ui,5,,7"}, "\\?ui", {5, 2, 7, 4}},
        {{"\\us,\"a\",\"b\",\"c\",\"d\"", "\\us,,\"x\""}, "\\?us", {}, {"a", "x", "c", "d"}},
        {{"\\us,\"" + long70 + "\""}, "\\?us", {}, {long70.substr(0, 63), "x"}},
        // Channels of the sound library: 4 streams, 3 effect channels.
        {{"\\sc,3"}, "\\?sc", {3}},
        {{"\\sc,4"}, "\\?sc", {3}, {}, kRangeSc},
        {{"\\sc,-1"}, "\\?sc", {3}, {}, kRangeSc},
        {{"\\dc,2"}, "\\?dc", {2}},
        {{"\\dc,3"}, "\\?dc", {2}, {}, kRangeDc},
        {{"\\dc,-2147483648"}, "\\?sc", {3}, {}, kRangeDc},
        // States.
        {{"\\d"}, "\\?e", {0}},
        {{"\\e"}, "\\?e", {1}},
    });
    const TImageRecord& r = Image().Record;
    EXPECT_EQ(r.UserInts, (std::array<int32_t, 4>{5, 2, 7, 4}));
    EXPECT_EQ(Image().Animation->VoiceStream, 3);  // lip sync follows the stream
    EXPECT_EQ(Image().Animation->SoundChannel, 2);
    EXPECT_EQ(r.MoveDuration, 1000);
}

TEST_F(ImageWordsTest, AnimationWords) {
    H.Execute({"\\scp,pic"});
    RunQueries({
        // Files 2 to 5 replace the embedded pictures: red.png (8 x 6) stands for picture 0.
        {{"\\l,\"anim.b\",\"red.png\""}, "\\?l", {}, {"anim.b", "red.png", "", "", ""}},
        {{}, "\\?wh", {40, 20}},
        {{}, "\\?wh,0", {8, 6}},
        {{}, "\\?wh,1", {16, 4}},
        {{}, "\\?wh,2", {0, 0}},  // no such picture: only cleared
        {{}, "\\?wh,-1", {0, 0}},
        {{}, "\\?tt", {1500}},
        // Motions by index and by name, both forced.
        {{"\\e", "\\m,3"}, "\\?m", {3}, {"*OnMouse"}},
        {{"\\m,\"idle\""}, "\\?m", {0}, {"Idle"}},
        {{"\\m,\"nothing\""}, "\\?m", {0}, {"Idle"}},
        // The animation's clock, speed, layer waits and clocks; layer queries clamp the layer.
        {{"\\tmp,1"}, "\\?tmp", {1}},
        {{"\\tmp,2"}, "\\?tmp", {0}},  // only 1 pauses
        {{"\\ps,250"}, "\\?ps", {250}},
        {{"\\lst,5,300"}, "\\?lst,5", {300}},
        {{"\\lst,0,11", "\\lst,255,22"}, "\\?lst,-3", {11}},
        {{}, "\\?lst,300", {22}},
        {{"\\lst,-1,40"}, "\\?lst,9", {40}},  // a layer outside 0..255 sets all of them
        {{"\\lsk,2,1234"}, "\\?lsk,2", {1234}},
        {{"\\lsk,999,50"}, "\\?lsk,7", {50}},
        {{}, "\\?lsk,-3", {50}},
        // Effect texts of the embedded pictures; indexes outside 0..15 are passed over.
        {{"\\flt,1,\"mirror,1\""}, "\\?flt,1", {}, {"mirror,1"}},
        {{"\\flt,16,\"blur\""}, "\\?flt,16", {}, {""}},
        {{"\\flt,-1,\"blur\""}, "\\?flt,-1", {}, {""}},
    });
    TImageLib& image = Image();
    EXPECT_EQ(image.Animation->Images->Items[1]->Effect.Effect, "mirror,1");
    EXPECT_NE(image.Animation->Images->Items[1]->Effect.EffectPicture, nullptr);
    EXPECT_FLOAT_EQ(image.Animation->Speed, 2.5f);

    // A paused clock stands still; "m" restarts even the current motion.
    H.Execute({"\\tmp,0", "\\ps,100", "\\lsk,-1,0", "\\m,\"Idle\""});
    H.Script.HoldFrames = 0;  // the load's hold has passed
    H.Step(100);
    H.Execute({"\\?lsk,0"});
    EXPECT_EQ(H.ResultInt(), 100);
    H.Execute({"\\tmp,1"});
    H.Step(100);
    H.Execute({"\\?lsk,0"});
    EXPECT_EQ(H.ResultInt(), 100);
    H.Execute({"\\m,\"Idle\"", "\\?lsk,0"});
    EXPECT_EQ(H.ResultInt(), 0);
}

TEST_F(ImageWordsTest, GetWordsWriteOnlyTheirElements) {
    H.Execute({"\\scp,pic", "\\l,\"anim.b\"", "\\e", "\\alg,1,0", "\\p,100,50,4,1000", "\\m,\"*OnMouse\""});
    struct Case {
        std::string Statement;
        int32_t Int;
        std::string Str;
    };
    const Case cases[] = {
        {"\\gx", 80, ""},  // the left edge of a picture centred on 100
        {"\\gx,1", 100, ""},     {"\\gx,2", 120, ""},   {"\\gy,1", 60, ""},    {"\\gz", 4, ""},
        {"\\gm", 3, "*OnMouse"}, {"\\ge", 1, "Enable"}, {"\\gf", 1, "anim.b"},
    };
    for (const Case& c : cases) {
        QueryRows::PlantStale(H);
        H.Script.SetResultStr("ResultStr", 0, "old");
        H.Execute({c.Statement});
        EXPECT_EQ(H.ResultInt(), c.Int) << c.Statement;
        EXPECT_EQ(H.ResultStr(), c.Str.empty() ? "old" : c.Str) << c.Statement;
        EXPECT_EQ(H.ResultInt(5), 77) << c.Statement;
    }
    H.Execute({"\\d", "\\i", "\\ge"});
    EXPECT_EQ(H.ResultStr(), "Disable");
    H.Execute({"\\gf"});
    EXPECT_EQ(H.ResultInt(), 0);
    EXPECT_EQ(H.ResultStr(), "");
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(ImageWordsTest, RectangleHitAndShowWords) {
    H.Execute({"\\scp,pic", "\\fr,10,20,30,40,0x80FF0000", "\\ss,1,2,3,4", "\\ds,5,6,7,8"});
    const TImageRecord& r = Image().Record;
    EXPECT_EQ(r.Files[0], "rect,10,20,30,40,$80ff0000");
    EXPECT_EQ((std::array<int32_t, 4>{r.HitX1, r.HitY1, r.HitX2, r.HitY2}), (std::array<int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ((std::array<int32_t, 4>{r.ShowLeft, r.ShowTop, r.ShowRight, r.ShowBottom}),
              (std::array<int32_t, 4>{5, 6, 7, 8}));
    const TABMPKeyFrame& k = Image().Animation->Data->Motions[0]->Layers[1]->Keys[0];
    EXPECT_EQ((std::array<int32_t, 4>{k.DstX, k.DstY, k.DstW, k.DstH}), (std::array<int32_t, 4>{10, 20, 30, 40}));
    EXPECT_EQ(k.Alpha, 0x80);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(ImageWordsTest, AnimationTextIntoAList) {
    H.Execute({"\\scp,pic", "\\l,\"anim.b\"", "\\mem,lines"});
    auto* list = dynamic_cast<TKelObjectDataStringList*>(H.Script.Objects->Find(H.Var("lines").Text));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Lines().Items, (std::vector<std::string>{Encoding::Utf8ToSjis("一行目"), "second"}));
    EXPECT_EQ(H.ResultStr(), "一行目\r\nsecond");
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});

    // Anything but a list: the message, no list changes, and the results all the same.
    list->Lines().SetText("kept");
    for (const char* statement : {"\\mem,pic", "\\mem,\"nobody\"", "\\mem"}) {
        H.ClearErrors();
        QueryRows::PlantStale(H);
        H.Execute({statement});
        EXPECT_EQ(H.FirstError(), "\\mem:list型を引数に指定してください") << statement;
        EXPECT_EQ(H.ResultStr(), "一行目\r\nsecond") << statement;
        EXPECT_TRUE(QueryRows::StaleCleared(H)) << statement;
    }
    EXPECT_EQ(list->Lines().Items, std::vector<std::string>{"kept"});
}

TEST_F(ImageWordsTest, LoadingHoldsTheFrameAndReportsWhatFailed) {
    H.AddRawFile("bad.png", "\x89PNG not a picture");
    H.AddRawFile("hum.b", Animation({{"hum.ogg", static_cast<uint8_t>(AnimationBmpWriter::TSoundType::Ogg),
                                      "OggS" + std::string(60, '\x01')}}));
    H.Execute({"\\scp,pic"});
    struct Case {
        std::string Statement;
        std::string Error;
        std::string File1;
    };
    const Case cases[] = {
        {"\\l,\"anim.b\"", "", "anim.b"},
        {"\\l,\"leaf.png\"", "", ""},  // not in any search folder: the empty name, no message
        {"", "", ""},                  // the search folder "image\\" from here on
        {"\\l,\"leaf.png\",\"lost.png\"", "", "image\\leaf.png"},  // a missing picture 2 keeps the load
        {"\\l,\"lost.b\",\"red.png\"", "", ""},                    // a missing first file empties the image
        {"\\l,\"bad.png\",\"lost.png\"", "\\l：画像にロードに失敗：bad.png:", ""},
        {"\\l,\"bad.png\",\"leaf.png\"", "\\l：画像にロードに失敗：bad.png:image\\leaf.png", ""},
        {"\\l,\"hum.b\"", "", "hum.b"},  // its sound does not decode: the pictures still load
        {"\\l", "", ""},                 // no file: the image is emptied
    };
    for (const Case& c : cases) {
        H.ClearErrors();
        H.Script.HoldFrames = 0;
        if (c.Statement.empty()) {
            H.Script.Path->Add("image");
            continue;
        }
        H.Execute({c.Statement});
        EXPECT_EQ(H.FirstError(), c.Error) << c.Statement;
        EXPECT_EQ(Image().Record.Files[0], c.File1) << c.Statement;
        EXPECT_EQ(H.Script.HoldFrames, 2) << c.Statement;
    }
}

TEST_F(ImageWordsTest, MissingObjectsAndUnknownWords) {
    const QueryRows::TErrorRow cases[] = {
        {{"\\scp,\"nobody\"", "\\p,1,2"}, "未定義のオブジェクト：nobody"},
        {{"\\scp,pic", "\\zz,1"}, "未定義の命令：0_pic,0(img).\\zz,1"},
        {{"\\scp,pic", "\\bc"}, "未定義の命令：0_pic,0(img).\\bc"},  // a button's word
        {{"\\scp,pic", "\\mem,\"nobody\""}, "\\mem:list型を引数に指定してください"},
    };
    QueryRows::RunErrors(H, cases);
}

// Arguments at the ends of the 32-bit range reach the image held or refused: the tweens end, the
// queries read back what was given or its nearest value, and nothing is drawn out of place.
TEST_F(ImageWordsTest, ExtremeArguments) {
    H.Execute({"\\scp,pic", "\\l,\"anim.b\"", "\\e"});
    QueryRows::Run(
        H,
        {
            {{"\\p,2147483647,-2147483648,2147483647,-2147483648"}, "\\?p,2,2", {2147483647, -2147483628, 2147483647}},
            {{"\\a,-2147483648,-5"}, "\\?a", {INT_MIN}},
            // The speed factor is a float: the percentage comes back to its 8 significant digits.
            {{"\\ps,-2147483648"}, "\\?ps", {-2147483600}},
            {{"\\ps,2147483647"}, "\\?ps", {2147483600}},
            {{"\\lsk,3,2147483647"}, "\\?lsk,3", {INT_MAX}},
            {{"\\lst,-2147483648,-2147483648"}, "\\?lst,2147483647", {INT_MIN}},
            {{"\\sp,-2147483648,2147483647", "\\ss,-2147483648,-2147483648,2147483647,2147483647"},
             "\\?sp",
             {INT_MIN, INT_MAX}},
            {{"\\ds,-2147483648,-2147483648,2147483647,2147483647"}, "\\?in", {255}},
            {{"\\in,-1"}, "\\?in", {-1}},
            {{"\\mm,-2147483648"}, "\\?mm", {0}},
            {{"\\alg,-2147483648,2147483647"}, "\\?alg", {INT_MIN, INT_MAX}},
        });
    TARGB8888CellDraw cells;
    cells.SetScreenSize(64, 32);
    for (int frame = 0; frame < 4; ++frame) {
        H.Step(16);
        Image().Draw(&cells, 255, 0, 0);
    }
    H.Execute({"\\fr,-2147483648,-2147483648,2147483647,2147483647,-1", "\\p,0,0,0,0", "\\a,255,0", "\\alg,0,0"});
    H.Step(16);
    cells.InvalidateAll();
    Image().Draw(&cells, 255, 0, 0);
    cells.Render(0xFF000000, false, 0xFFFF);
    EXPECT_EQ(Image().Record.X, 0);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

// An image whose Clear, Enable and Disable are its own, as a message window's and a button's are.
class TCountingImage final : public TImageLib {
public:
    using TImageLib::TImageLib;
    void Clear() override {
        ++Clears;
        TImageLib::Clear();
    }
    void Enable() override {
        ++Enables;
        TImageLib::Enable();
    }
    void Disable() override {
        ++Disables;
        TImageLib::Disable();
    }
    int Clears = 0, Enables = 0, Disables = 0;
};

TEST_F(ImageWordsTest, ClearEnableAndDisableAreTheObjectsOwn) {
    auto image = ImageLib::Make<TCountingImage>(H.Context.Packs);
    image->Clears = 0;
    for (const char* word : {"\\i", "\\e", "\\e", "\\d"}) {
        TStringList args;
        args.Add(word);
        EXPECT_TRUE(KelImageCommands::DoImageCommand(H.Script, TKelScript::CommandCode(word), args, *image)) << word;
    }
    EXPECT_EQ((std::array<int, 3>{image->Clears, image->Enables, image->Disables}), (std::array<int, 3>{1, 2, 1}));
}

TEST_F(ImageWordsTest, EveryWordOfTheTableIsHandled) {
    // On an image, and on a cursor kind whose interpreter has no cursor images: neither reports
    // an undefined word, and the queries clear the results.
    TKelScript bare;
    bare.Kinds = &H.Kinds;
    TObjectKindRegistry noCursors;
    KelImageCommands::Register(noCursors);
    bare.Kinds = &noCursors;
    bare.Words.General = &KelGeneralCommands::Handler();
    ASSERT_TRUE(bare.Setup(TScriptLinks{.Context = &H.Context.Context}));
    ASSERT_EQ(bare.Links.Cursor, nullptr);
    bare.ExecuteLine("\\scp,csr");
    H.Execute({"\\scp,pic"});
    for (const char* word : KelImageCommands::ImageWords()) {
        const std::string statement = std::string("\\") + word;
        for (TKelScript* s : {&H.Script, &bare}) {
            H.ClearErrors();
            QueryRows::PlantStale(H);
            bare.SetResultInt("ResultInt", 5, 77);
            s->ExecuteLine(statement);
            for (const std::string& e : H.Errors())
                EXPECT_EQ(e.find("未定義"), std::string::npos) << statement << ": " << e;
            if (word[0] == '?') {
                EXPECT_EQ(s->Evaluate("ResultInt[5]").Value, 0) << statement;
            }
        }
    }
}

TEST_F(ImageWordsTest, CursorWordsReachTheCursorImagesOfTheTargetScript) {
    TKelScript system;
    system.Kinds = &H.Kinds;
    system.Words.General = &KelGeneralCommands::Handler();
    ASSERT_TRUE(system.Setup(TScriptLinks{.Context = &H.Context.Context}, &H.Script));
    auto cursor = [](TKelScript& s, bool systemCursor) -> TImageLib& {
        return dynamic_cast<TKelCursorImage*>(systemCursor ? s.Links.SystemCursor : s.Links.Cursor)->Image();
    };
    ASSERT_NE(&cursor(H.Script, false), &cursor(system, false));
    auto run = [&](std::initializer_list<const char*> lines) {
        for (const char* line : lines)
            system.ExecuteLine(line);
    };

    run({"\\scp,csr", "\\p,1,2,0,0", "\\scp,scsr", "\\p,3,4,0,0"});
    run({"\\srct,1", "\\scp,csr", "\\p,5,6,0,0", "\\l,\"anim.b\"", "\\scp,scsr", "\\p,7,8,0,0", "\\?p"});
    EXPECT_EQ(system.Evaluate("ResultInt[0]").Value, 7);
    EXPECT_EQ(cursor(system, false).Record.TargetX, 1);
    EXPECT_EQ(cursor(system, true).Record.TargetX, 3);
    EXPECT_EQ(cursor(H.Script, false).Record.TargetX, 5);
    EXPECT_EQ(cursor(H.Script, false).Record.Files[0], "anim.b");
    EXPECT_EQ(cursor(H.Script, true).Record.TargetX, 7);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST(CursorImageTest, CursorsAreDrawnOverTheObjectsWithoutTheCamera) {
    TScriptHarness h([](TObjectKindRegistry& kinds, TScriptLinks&) {
        KelGraphicLib::Register(kinds);
        KelEffectCommands::Register(kinds);
        KelImageCommands::Register(kinds);
        KelCursorImage::Register(kinds);
    });
    h.Script.Words.General = &KelGeneralCommands::Handler();
    h.AddRawFile("green.png", SolidPng(8, 4, 0xFF00FF00));
    h.AddRawFile("red.png", SolidPng(8, 4, 0xFFFF0000));
    for (const char* line : {"\\scp,cam", "\\p,-30,-30,0", "\\scp,csr", "\\l,\"green.png\"", "\\e", "\\p,10,5,0,0",
                             "\\scp,scsr", "\\l,\"red.png\"", "\\e", "\\p,14,5,0,0"})
        h.Script.ExecuteLine(line);
    h.Step(16);
    h.Script.Draw(0, true, 0xFFFF);
    const TARGB8888& frame = *KelGraphicLib::GraphicOf(h.Script)->GetScreenSurface();
    // The system cursor is drawn after the wait cursor, over it.
    EXPECT_EQ(frame.ScanLine(5)[10] & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(frame.ScanLine(8)[13] & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(frame.ScanLine(5)[14] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(frame.ScanLine(8)[21] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(frame.ScanLine(9)[10] & 0xFFFFFF, 0u);
    EXPECT_EQ(h.Errors(), std::vector<std::string>{});
}

}  // namespace

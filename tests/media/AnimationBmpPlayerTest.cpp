// The animation player on small animations made by the writer: clocks, waits and steps, the
// commands of the key frames, motions, sounds through a recording sound library, the hit areas,
// the key stack and the markers in drawn frames, and golden frames rendered by the compositor.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/uMisc.h"
#include "foundation/uMisc_Math.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpLib.h"
#include "media/AnimationBmpWriter.h"
#include "media/MediaContext.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/SoundFixtures.h"

namespace {

using AnimationBmpWriter::TFile;
using AnimationBmpWriter::TLayer;
using AnimationFixtures::File;
using AnimationFixtures::Key;
using AnimationFixtures::Load;
using AnimationFixtures::SolidPng;

// What the player asked of the sound library, one line a call.
class TRecordingSound : public IAnimationSound {
public:
    bool LoadFromMemory(int32_t channel, const TMemoryStream& pcm, int32_t group, bool force,
                        const std::string& name) override {
        Calls.push_back("load " + std::to_string(channel) + " " + std::to_string(pcm.Data.size()) + " " +
                        std::to_string(group) + " " + (force ? "forced " : "") + name);
        return true;
    }
    void SetVolume(int32_t channel, int32_t volume) override {
        Calls.push_back("volume " + std::to_string(channel) + " " + std::to_string(volume));
    }
    void Play(int32_t channel, bool loop, int32_t startMs) override {
        Calls.push_back("play " + std::to_string(channel) + (loop ? " loop " : " once ") + std::to_string(startMs));
    }
    void Stop(int32_t channel) override { Calls.push_back("stop " + std::to_string(channel)); }
    float GetLevel(int32_t stream, int32_t which) override {
        ++LevelAsked;
        EXPECT_NE(which, 0);
        EXPECT_NE(which, 1);
        LastStream = stream;
        return Level;
    }

    std::vector<std::string> Calls;
    int32_t LevelAsked = 0;
    int32_t LastStream = -1;
    float Level = 0;
};

// A layer with the given key frames first; the rest keep their fresh times (their index x 1000,
// but never before the last given one).
TLayer LayerOf(std::vector<TABMPKeyFrame> keys, const std::string& name = "layer", uint8_t mode = 0) {
    TLayer layer;
    layer.Name = name;
    layer.KeyStackMode = mode;
    for (size_t i = 0; i < keys.size(); ++i)
        layer.Keys[i] = keys[i];
    for (size_t i = 1; i < layer.Keys.size(); ++i)
        layer.Keys[i].Time = std::max(layer.Keys[i].Time, layer.Keys[i - 1].Time + 1);
    return layer;
}

std::unique_ptr<TAnimationBMP> Animation(const std::vector<TLayer>& layers, IAnimationSound* sound = nullptr,
                                         std::vector<std::vector<TLayer>> moreMotions = {}) {
    TFile file = File(layers, {SolidPng(2, 2, 0xFFFF0000)});
    for (size_t m = 0; m < moreMotions.size(); ++m)
        file.Motions.push_back({"motion" + std::to_string(m + 1), moreMotions[m]});
    auto a = Load(AnimationBmpWriter::Write(file), "anim.b", sound);
    a->SetMotion(0);
    return a;
}

TEST(AnimationBmpPlayerTest, ClocksRunInStepsOfAtMost50Ms) {
    // The lip-sync loop asks for the voice level once a step while its key frame is current.
    TRecordingSound sound;
    auto a = Animation({LayerOf({Key(0, TABMPKind::Fill, TABMPCommand::LipSync, 0, 255)})}, &sound);
    a->VoiceStream = 14;
    struct TCase {
        int32_t Ms, Steps;
    };
    for (const TCase& c : {TCase{120, 3}, TCase{0, 0}, TCase{50, 1}, TCase{51, 2}, TCase{-10, 0}}) {
        sound.LevelAsked = 0;
        a->Advance(c.Ms);
        EXPECT_EQ(sound.LevelAsked, c.Steps) << c.Ms;
    }
    EXPECT_EQ(sound.LastStream, 14);
    EXPECT_DOUBLE_EQ(a->LayerTime[0], 221);

    // Waits eat the step first; the rest runs at the animation's speed; clocks stop at the last
    // key frame.
    auto b = Animation({LayerOf({Key(0, TABMPKind::Fill)}), LayerOf({Key(0, TABMPKind::Fill)})});
    b->SetLayerWait(0, 30);
    b->Speed = 2;
    b->Advance(50);
    EXPECT_DOUBLE_EQ(b->LayerTime[0], 40);
    EXPECT_DOUBLE_EQ(b->LayerTime[1], 100);
    b->Advance(500);
    EXPECT_EQ(b->Data->Motions[0]->Layers[1]->FindKey(b->LayerTime[1]), 1);
    b->SetLayerTime(1, 31000 - 10);
    EXPECT_FALSE(b->IsFinished());
    b->SetLayerTime(-1, 40000);
    EXPECT_DOUBLE_EQ(b->LayerTime[200], 40000);
    b->Advance(10);
    EXPECT_DOUBLE_EQ(b->LayerTime[0], 31000);
    EXPECT_TRUE(b->IsFinished());
}

TEST(AnimationBmpPlayerTest, KeyFrameCommands) {
    struct TCase {
        const char* Name;
        std::vector<TABMPKeyFrame> Keys;  // of layer 0; layer 1 is a plain fill
        std::vector<int32_t> Advances;
        double Time0, Time1;  // the clocks of layers 0 and 1 afterwards
        int32_t Wait0;
        int32_t Motion = 0;
    };
    // Each animation below has no random state linked: it draws from a fresh one of its own.
    const uMisc_Math::TRandomState fresh;
    const int32_t random3 = static_cast<int32_t>(fresh.RandomTable[1] % 3000);
    const int32_t random9 = static_cast<int32_t>(fresh.RandomTable[1] % 70);
    const TCase cases[] = {
        {"jump to itself stops there",
         {Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::Jump, 1)},
         {150, 1000},
         100,
         1150,
         0},
        {"jump back loops",
         {Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill), Key(200, TABMPKind::Fill, TABMPCommand::Jump, 1)},
         {230},
         130,
         230,
         0},
        {"a jump to key frame 40 does nothing", {Key(0, TABMPKind::Fill, TABMPCommand::Jump, 40)}, {230}, 230, 230, 0},
        {"wait in seconds on arrival", {Key(0, TABMPKind::Fill, TABMPCommand::Wait, 2)}, {50, 100}, 50, 150, 1900},
        {"wait in hundredths", {Key(0, TABMPKind::Fill, TABMPCommand::WaitCs, 3)}, {50, 50}, 70, 100, 0},
        {"random wait in seconds", {Key(0, TABMPKind::Fill, TABMPCommand::RandomWait, 3)}, {50}, 50, 50, random3},
        {"random wait in hundredths", {Key(0, TABMPKind::Fill, TABMPCommand::RandomWaitCs, 7)}, {50}, 50, 50, random9},
        {"end sends every layer to its last key frame",
         {Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::End)},
         {120},
         31000,
         31000,
         0},
        {"set time moves every layer",
         {Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::SetTime, 5)},
         {120},
         5020,
         5020,
         0},
        {"sync gives every layer this layer's clock",
         {Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::Sync)},
         {50, 50, 20},
         120,
         120,
         0},
        {"motion change ends the step",
         {Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::Motion, 1)},
         {120},
         620,
         100,  // motion 1 has one layer: the second keeps its clock
         0,
         1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        // Motion 1 starts its layer at 600 ms (command 2).
        auto a = Animation({LayerOf(c.Keys), LayerOf({Key(0, TABMPKind::Fill)})}, nullptr,
                           {{LayerOf({Key(0, TABMPKind::Fill), Key(600, TABMPKind::Fill, TABMPCommand::Start)})}});
        for (int32_t ms : c.Advances)
            a->Advance(ms);
        EXPECT_DOUBLE_EQ(a->LayerTime[0], c.Time0);
        EXPECT_DOUBLE_EQ(a->LayerTime[1], c.Time1);
        EXPECT_EQ(a->LayerWait[0], c.Wait0);
        EXPECT_EQ(a->GetMotionIndex(), c.Motion);
    }
}

TEST(AnimationBmpPlayerTest, OnArrivalCommandsRunOncePerArrival) {
    // Layer 0 plays sound 0 at each arrival at key frame 1; layer 1 switches motions.
    TRecordingSound sound;
    TFile file = File({LayerOf({Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::Sound, 0, 0, 1),
                                Key(200, TABMPKind::Fill, TABMPCommand::Jump, 0)})});
    file.Sounds.push_back({"bell", 0, SoundWriter::EncodeRiff({7, 7}, 44100, 2)});
    auto a = Load(AnimationBmpWriter::Write(file), "se\\anim.b", &sound);
    a->SetMotion(0);
    a->SoundChannel = 13;
    a->Volume = 128;
    for (int i = 0; i < 9; ++i)
        a->Advance(50);
    // Arrivals at 100 and 300 ms (after the loop at 200 back to 0 + 50).
    const std::vector<std::string> once = {"load 13 4 2 se\\animbell", "volume 13 128", "play 13 loop 0"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(sound.Calls, twice);

    // After a restore, SyncKeyIndices keeps the key frame in force from counting as reached.
    sound.Calls.clear();
    a->SetLayerTime(0, 120);
    a->SyncKeyIndices();
    a->Advance(10);
    EXPECT_TRUE(sound.Calls.empty());
    a->SetLayerTime(0, 120);
    a->SetMotion(0);  // a motion change makes every key frame new again
    a->SetLayerTime(0, 120);
    a->Advance(10);
    EXPECT_EQ(sound.Calls, once);

    // Without a sound library, or for a sound that is not there, nothing is asked.
    sound.Calls.clear();
    a->PlaySoundData(1, 255, false, 0);
    a->PlaySoundData(-1, 255, false, 0);
    EXPECT_TRUE(sound.Calls.empty());
    a->StopSound();
    EXPECT_EQ(sound.Calls, std::vector<std::string>{"stop 13"});
    a->Sound = nullptr;
    a->PlaySoundData(0, 255, false, 0);
    a->StopSound();
    EXPECT_EQ(sound.Calls.size(), 1u);
}

TEST(AnimationBmpPlayerTest, AMotionChangeLeavesTheLaterLayersForTheNextStep) {
    // Layer 0 changes to motion 0 itself at 100 ms; layer 1 would wait 2 s on arrival at 100 ms.
    auto a = Animation({LayerOf({Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::Motion, 0)}),
                        LayerOf({Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill, TABMPCommand::Wait, 2)})});
    a->Advance(80);
    a->Advance(30);  // both reach 110 in the last step; layer 0 restarts the motion: clocks 0 + 10
    EXPECT_DOUBLE_EQ(a->LayerTime[0], 10);
    EXPECT_DOUBLE_EQ(a->LayerTime[1], 10);
    EXPECT_EQ(a->LayerWait[1], 0);
    EXPECT_EQ(a->LastMotion, -1);
    // At the next step key frame 0 of both layers counts as reached again (nothing to do there).
    a->Advance(50);
    EXPECT_EQ(a->LastMotion, 0);
    EXPECT_EQ(a->LastKey[1], 0);
}

TEST(AnimationBmpPlayerTest, LipSyncLoopsWhileTheVoiceIsLouder) {
    TRecordingSound sound;
    auto a = Animation({LayerOf({Key(0, TABMPKind::Fill), Key(100, TABMPKind::Fill),
                                 Key(200, TABMPKind::Fill, TABMPCommand::LipSync, 1, 0)})},
                       &sound);
    a->SetLayerTime(0, 190);
    sound.Level = 32 / 255.0f;  // not above the default threshold of 32
    a->Advance(20);
    EXPECT_DOUBLE_EQ(a->LayerTime[0], 210);
    sound.Level = 33 / 255.0f;
    a->Advance(20);
    EXPECT_DOUBLE_EQ(a->LayerTime[0], 130);
}

TEST(AnimationBmpPlayerTest, HitAreasOfTheFrame) {
    // Hit area 20 x 10 centred on (50, 40) in layer 0, pushed 5 right by a push layer before it.
    TABMPKeyFrame mover = Key(0, TABMPKind::None);
    mover.DstX = 5;
    TABMPKeyFrame hit = Key(0, TABMPKind::HitArea);
    hit.DstX = 50;
    hit.DstY = 40;
    hit.DstW = 20;
    hit.DstH = 10;
    hit.DstAnchor = 4;
    hit.Depth = 3;
    auto a = Animation({LayerOf({mover}, "mover", 1), LayerOf({hit}), LayerOf({Key(0, TABMPKind::Fill)})});
    EXPECT_TRUE(a->HasHitLayers());
    a->Advance(0);
    ASSERT_EQ(a->HitStack.Count, 1);
    const THitStack::TRect r = a->HitStack.Items[0];
    EXPECT_EQ(r.X1, 45);
    EXPECT_EQ(r.Y1, 35);
    EXPECT_EQ(r.X2, 65);
    EXPECT_EQ(r.Y2, 45);
    EXPECT_EQ(r.Id, 3);
    EXPECT_TRUE(a->HitStack.HitTest(45, 35));
    EXPECT_TRUE(a->HitStack.HitTest(64, 44));
    EXPECT_FALSE(a->HitStack.HitTest(65, 40));  // right and bottom edges are outside
    EXPECT_FALSE(a->HitStack.HitTest(50, 45));

    // 31 rectangles at most; a point takes no slot; a line does.
    THitStack stack;
    stack.Push(5, 5, 5, 5, 0);
    stack.Push(5, 5, 5, 9, 0);
    EXPECT_EQ(stack.Count, 1);
    for (int i = 0; i < 31; ++i)
        stack.Push(100 + i, 0, 101 + i, 1, i);
    EXPECT_EQ(stack.Count, 31);
    EXPECT_EQ(stack.Items[30].Id, 29);

    // Without hit areas the pass is skipped: it draws no random numbers and finds nothing.
    TABMPKeyFrame shaking = Key(0, TABMPKind::Draw);
    shaking.DstCurve = 6;
    auto plain = Animation({LayerOf({shaking})});
    EXPECT_FALSE(plain->HasHitLayers());
    uMisc_Math::TRandomState random;
    plain->Random = &random;
    plain->Advance(100);
    EXPECT_EQ(random.RandomIndex, 0);
    EXPECT_EQ(plain->HitStack.Count, 0);
    // A layer that passes its shake on draws even there, so the pass runs.
    EXPECT_TRUE(Animation({LayerOf({shaking}, "push", 1)})->HasHitLayers());
}

// Records a frame and gives its commands in drawing order, band 0.
class TFrame {
public:
    TFrame() { Target.SetScreenSize(64, 60); }
    const TARGB8888CellDraw::TBandList& Record(TAnimationBMP& a, int32_t x = 0, int32_t y = 0, int32_t layer = 0,
                                               int32_t alpha = 255, uint32_t mul = 0xFFFFFF, uint32_t add = 0) {
        Target.Reset();
        a.Draw(&Target, x, y, layer, alpha, mul, add);
        Target.Render(0xFF000000, false, 1 << 30);
        return Target.LastList(0);
    }
    TARGB8888CellDraw Target;
};

TEST(AnimationBmpPlayerTest, TheKeyStackMovesTheLayersAfterAPush) {
    TABMPKeyFrame pusher = Key(0, TABMPKind::Fill);
    pusher.DstX = 10;
    pusher.DstY = 20;
    pusher.DstW = pusher.DstH = 2;
    TABMPKeyFrame next = pusher;
    next.DstX = next.DstY = 5;
    next.Depth = 4;
    TABMPKeyFrame popper = next;
    TABMPKeyFrame after = next;
    auto a = Animation({LayerOf({pusher}, "push", 1), LayerOf({next}), LayerOf({popper}, "pop", 2), LayerOf({after})});
    TFrame frame;
    const auto& list = frame.Record(*a, 1, 2, 100);
    ASSERT_EQ(list.Count, 5);  // the background, then the four layers
    // The push layer counts its own offset twice.
    EXPECT_EQ(list.Entries[1].X1, 21);
    EXPECT_EQ(list.Entries[1].Y1, 42);
    EXPECT_EQ(list.Entries[2].X1, 16);
    EXPECT_EQ(list.Entries[2].Y1, 27);
    EXPECT_EQ(list.Entries[2].Layer, 104);
    EXPECT_EQ(list.Entries[3].X1, 16);  // the pop layer is still inside
    EXPECT_EQ(list.Entries[4].X1, 6);
    EXPECT_EQ(list.Entries[4].Y1, 7);
}

TEST(AnimationBmpPlayerTest, MessageMarkersAndTints) {
    TABMPKeyFrame fill = Key(0, TABMPKind::Fill);
    fill.DstW = fill.DstH = 2;
    fill.Alpha = 200;
    fill.MulColor = 0x8080FF;
    fill.AddColor = 0x000010;
    TMediaContext media;  // the game's: its message opacity is the configured one
    media.MessageAlpha = 128;
    auto a = Animation({LayerOf({fill}, "*Message text"), LayerOf({fill}, "*MESSAGE*mesalpha"),
                        LayerOf({fill}, "x*message"), LayerOf({fill}, "plain")});
    {
        // An animation without the game's media draws its message layers opaque.
        TFrame frame;
        const auto& list = frame.Record(*a, 0, 0, 0, 255, 0x80FFFF, 0x100000);
        ASSERT_EQ(list.Count, 5);
        EXPECT_EQ(list.Entries[1].Alpha, 200u);
        EXPECT_EQ(list.Entries[2].Alpha, 200u);
    }
    a->Media = &media;
    TFrame frame;
    const auto& list = frame.Record(*a, 0, 0, 0, 255, 0x80FFFF, 0x100000);
    ASSERT_EQ(list.Count, 5);
    EXPECT_EQ(list.Entries[1].Alpha, 200u * 128 / 255);
    EXPECT_EQ(list.Entries[2].Alpha, 200u * 128 / 255 * 128 / 255);
    EXPECT_EQ(list.Entries[3].Alpha, 200u);
    EXPECT_EQ(list.Entries[4].MulColor, uMisc::MulARGB(0x80FFFF, 0x8080FF) & 0xFFFFFF);
    EXPECT_EQ(list.Entries[4].AddColor, 0x100010u);

    // The message surface stands in for layers and pictures marked "*messurface".
    TABMPKeyFrame draw = Key(0, TABMPKind::Draw);
    auto b = Animation({LayerOf({draw}, "*messurface")});
    TARGB8888 surface;
    surface.SetSize(6, 4);
    b->SetMessageSurface(&surface);
    EXPECT_EQ(frame.Record(*b).Entries[1].Image, b->Images->Items[0]->GetImage());
    b->MessageSurfaceOn = true;
    const auto& drawn = frame.Record(*b);
    EXPECT_EQ(drawn.Entries[1].Image, &surface);
    EXPECT_EQ(drawn.Entries[1].Right, 2);  // the source is still the picture's whole size
}

TEST(AnimationBmpPlayerTest, SetFillRectAndSinglePictures) {
    // An empty animation has the two layers it takes.
    auto a = std::make_unique<TAnimationBMP>();
    a->SetFillRect(3, 4, 10, 20, 0x80123456);
    const auto& layers = a->Data->Motions[0]->Layers;
    ASSERT_EQ(layers.size(), 2u);
    EXPECT_EQ(layers[0]->Keys[0].Kind, 0);
    const TABMPKeyFrame& k = layers[1]->Keys[0];
    EXPECT_EQ(k.Kind, 1);
    EXPECT_EQ(k.DstW, 10);
    EXPECT_EQ(k.MulColor, 0x123456u);
    EXPECT_EQ(k.Alpha, 0x80);
    EXPECT_EQ(layers[1]->Keys[1].Command, 1);
    TFrame frame;
    const auto& list = frame.Record(*a);
    ASSERT_EQ(list.Count, 2);
    EXPECT_EQ(list.Entries[1].Type, TCellDrawType::Fill);
    EXPECT_EQ(list.Entries[1].X2, 13);

    // A single picture loops on its picture for ever.
    auto still = Load(SolidPng(4, 4, 0xFF00FF00), "still.png");
    still->SetMotion(0);
    for (int i = 0; i < 100; ++i)
        still->Advance(50);
    EXPECT_EQ(still->Data->Motions[0]->Layers[0]->FindKey(still->LayerTime[0]), 1);
    EXPECT_EQ(frame.Record(*still).Entries[1].Right, 4);
}

TEST(AnimationBmpPlayerTest, NestedAnimationsPlayAtTheTimeTheirKeyFrameGives) {
    // The inner animation's motion 1 moves a fill from x 0 at 0 ms to x 100 at 1000 ms.
    TABMPKeyFrame from = Key(0, TABMPKind::Fill);
    from.DstW = from.DstH = 2;
    from.DstCurve = 1;
    TABMPKeyFrame to = from;
    to.Time = 1000;
    to.DstX = 100;
    TFile inner = File({LayerOf({Key(0, TABMPKind::Fill)})});
    inner.Width = 10;
    inner.Height = 6;
    inner.Motions.push_back({"moving", {LayerOf({from, to})}});
    TABMPKeyFrame nest = Key(0, TABMPKind::Nested);
    nest.Image2 = 1;
    nest.Param = 250;
    nest.DstX = 40;
    nest.DstY = 30;
    nest.DstAnchor = 4;
    nest.Depth = 9;
    TFile outer = File({LayerOf({nest})});
    outer.Images.push_back({"inner", 6, AnimationBmpWriter::Write(inner)});
    auto a = Load(AnimationBmpWriter::Write(outer));
    a->SetMotion(0);
    TFrame frame;
    const auto& list = frame.Record(*a, 0, 0, 100);
    ASSERT_EQ(list.Count, 2);
    EXPECT_EQ(list.Entries[1].X1, 35 + 25);  // centred: 40 - 10 / 2, then 250 ms of the move
    EXPECT_EQ(list.Entries[1].Y1, 27);
    EXPECT_EQ(list.Entries[1].Layer, 109);
    EXPECT_EQ(a->Images->Items[0]->Animation->GetMotionIndex(), 1);
}

TEST(AnimationBmpPlayerTest, TheAnimationsOfAGameDrawInTurnFromItsRandomState) {
    uMisc_Math::TRandomState game;
    const std::vector<TLayer> waiting = {LayerOf({Key(0, TABMPKind::Fill, TABMPCommand::RandomWait, 3)})};
    auto first = Animation(waiting), second = Animation(waiting), alone = Animation(waiting);
    first->Random = second->Random = &game;
    first->Advance(10);
    second->Advance(10);
    alone->Advance(10);
    EXPECT_EQ(first->LayerWait[0], game.RandomTable[1] % 3000);
    EXPECT_EQ(second->LayerWait[0], game.RandomTable[2] % 3000);
    EXPECT_EQ(game.RandomIndex, 2);
    EXPECT_EQ(alone->LayerWait[0], first->LayerWait[0]);  // its own state, from the start

    // A nested animation's shake draws from its owner's state.
    TABMPKeyFrame shaking = Key(0, TABMPKind::Fill);
    shaking.DstW = shaking.DstH = 2;
    shaking.DstCurve = 6;
    TFile outer = File({LayerOf({Key(0, TABMPKind::Nested)})});
    outer.Images.push_back({"inner", 6, AnimationBmpWriter::Write(File({LayerOf({shaking})}))});
    auto a = Load(AnimationBmpWriter::Write(outer));
    a->SetMotion(0);
    a->Random = &game;
    TFrame frame;
    frame.Record(*a);
    EXPECT_EQ(game.RandomIndex, 2 + 4);  // x, y, width and height
    EXPECT_EQ(&a->Images->Items[0]->Animation->RandomState(), &game);
}

TEST(AnimationBmpPlayerTest, NestingManyTimesOverCannotStallAFrame) {
    // Four levels of 20 layers, each drawing the level below: 20^5 fills if every one were drawn. The frame draws what
    // its budget allows and ends.
    TABMPKeyFrame fill = Key(0, TABMPKind::Fill);
    fill.DstW = fill.DstH = 2;
    std::string level = AnimationBmpWriter::Write(File(std::vector<TLayer>(20, LayerOf({fill}))));
    for (int i = 0; i < 4; ++i) {
        TFile file = File(std::vector<TLayer>(20, LayerOf({Key(0, TABMPKind::Nested)})));
        file.Images = {{"level", 6, level}};
        level = AnimationBmpWriter::Write(file);
    }
    auto a = Load(level);
    TARGB8888CellDraw target;
    target.SetScreenSize(64, 60);
    a->Draw(&target, 0, 0, 0, 255, 0xFFFFFF, 0);
    EXPECT_EQ(target.CommandCount(), TARGB8888CellDraw::kMaxCommands);
    target.Render(0xFF000000, false, 1 << 30);
    a->Draw(&target, 0, 0, 0, 255, 0xFFFFFF, 0);  // each frame has a budget of its own
    EXPECT_EQ(target.CommandCount(), TARGB8888CellDraw::kMaxCommands);
}

// Golden frames: a 2 x 2 red picture gliding right on row 1, a blue bar that appears at 500 ms.
TEST(AnimationBmpPlayerTest, GoldenFrames) {
    TABMPKeyFrame start = Key(0, TABMPKind::Draw);
    start.DstY = 1;
    start.DstCurve = 1;
    TABMPKeyFrame end = start;
    end.Time = 1000;
    end.DstX = 8;
    TABMPKeyFrame bar = Key(500, TABMPKind::Fill);
    bar.DstX = 10;
    bar.DstW = 2;
    bar.DstH = 4;
    bar.MulColor = 0x0000FF;
    auto a = Animation({LayerOf({start, end}), LayerOf({Key(0, TABMPKind::None), bar})});
    TARGB8888CellDraw target;
    target.SetScreenSize(12, 4);
    auto frame = [&] {
        target.Reset();
        a->Draw(&target, 0, 0, 0, 255, 0xFFFFFF, 0);
        target.Render(0xFF000000, false, 1 << 30);
        std::string rows;
        for (int32_t y = 0; y < 4; ++y) {
            for (int32_t x = 0; x < 12; ++x) {
                const uint32_t p = target.FrameBuffer->ScanLine(y)[x];
                rows += p == 0xFF000000 ? '.' : p == 0xFFFF0000 ? 'R' : p == 0xFF0000FF ? 'B' : '?';
            }
            rows += '\n';
        }
        return rows;
    };
    EXPECT_EQ(frame(),
              "............\n"
              "RR..........\n"
              "RR..........\n"
              "............\n");
    a->Advance(250);
    EXPECT_EQ(frame(),
              "............\n"
              "..RR........\n"
              "..RR........\n"
              "............\n");
    a->Advance(250);
    EXPECT_EQ(frame(),
              "..........BB\n"
              "....RR....BB\n"
              "....RR....BB\n"
              "..........BB\n");
    a->Advance(500);
    EXPECT_EQ(frame(),
              "..........BB\n"
              "........RRBB\n"
              "........RRBB\n"
              "..........BB\n");
}

}  // namespace

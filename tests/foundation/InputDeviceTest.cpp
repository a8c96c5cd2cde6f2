#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/uInputDevice.h"
#include "platform/Clock.h"
#include "platform/headless/HeadlessInput.h"

using namespace uInputDevice;

namespace {

constexpr uint8_t kA = 'A', kB = 'B';
constexpr int32_t kLeft = 1 | kReleased;  // left button released within the click tolerance

class InputDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { Input = std::make_unique<TInput>(Source, Time); }
    void TearDown() override { Input.reset(); }
    // One frame after ms milliseconds.
    void Frame(uint32_t ms = 16) {
        Time.Now += ms;
        Input->Update();
    }
    // Past the lock that follows every reset.
    void Unlock() {
        Frame(300);
        ASSERT_NE(Input->MouseX, -100000);
    }
    std::vector<std::string> Matching(int32_t modeBits) { return Input->GetMatchingKeys(modeBits)->Items; }

    TFakeClock Time;
    THeadlessInputSource Source;
    std::unique_ptr<TInput> Input;
};

// A key held across frames, then released: each row is one frame.
TEST_F(InputDeviceTest, ModesFollowAKeyThroughPressHoldRepeatAndRelease) {
    Unlock();
    struct Row {
        const char* what;
        uint32_t ms;
        bool down;
        bool pressed, released, pressedOrRepeating, repeating, held;
    };
    const Row rows[] = {
        {"goes down", 16, true, true, false, true, false, true},
        {"held", 16, true, false, false, false, false, true},
        {"held 749 ms", 733, true, false, false, false, false, true},
        {"held 750 ms", 1, true, false, false, true, true, true},
        {"still repeating", 16, true, false, false, true, true, true},
        {"goes up", 16, false, false, true, false, false, false},
        {"stays up", 16, false, false, false, false, false, false},
        {"down again", 800, true, true, false, true, false, true},
        {"repeat counts from the new press", 16, true, false, false, false, false, true},
    };
    for (const Row& r : rows) {
        if (r.down)
            Source.Press(kA);
        else
            Source.Release(kA);
        Frame(r.ms);
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Input->Check(kA | kPressed), r.pressed);
        EXPECT_EQ(Input->Check(kA | kReleased), r.released);
        EXPECT_EQ(Input->Check(kA | kPressedOrRepeating), r.pressedOrRepeating);
        EXPECT_EQ(Input->Check(kA | kRepeating), r.repeating);
        EXPECT_EQ(Input->Check(kA | kHeld), r.held);
    }
}

TEST_F(InputDeviceTest, ModifiersMatchExactlyExceptOnModifierSlots) {
    struct Case {
        std::vector<uint8_t> down;  // go down together in one frame
        TKeyCode code;
        bool matches;
    };
    const Case cases[] = {
        {{kA}, kA, true},
        {{kA}, kCtrl | kA, false},
        {{17, 162, kA}, kCtrl | kA, true},
        {{17, 162, kA}, kA, false},
        {{17, 16, kA}, kCtrl | kA, false},
        {{17, 16, kA}, kCtrl | kShift | kA, true},
        {{18, kA}, kAlt | kA, true},
        {{16, kA}, kShift | kA, true},
        {{16, kA}, kAlt | kA, false},
        {{17, 16, 18, kA}, kCtrl | kAlt | kShift | kA, true},
        // A modifier key's own slot matches whatever else is held, with or without bits.
        {{17, 162, 16, 160}, 160, true},
        {{17, 162, 16, 160}, 16, true},
        {{17, 162}, kShift | 162, true},
        {{18, 164}, 18, true},
        // Buttons take part in the same rule.
        {{17, 1}, 1, false},
        {{17, 1}, kCtrl | 1, true},
        // Codes that name no slot or no mode never match.
        {{kA}, 0x8000 | kA, false},
        {{kA}, 300, false},
        {{kA}, 0xFFF, false},
        {{kA}, kA | (5 << 16), false},
        {{kA}, kA | (0x10 << 16), false},
        {{kA}, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code);
        Input->Reset();
        Unlock();
        for (uint8_t vk : c.down)
            Source.Press(vk);
        Frame();
        EXPECT_EQ(Input->Check(c.code), c.matches);
        for (uint8_t vk : c.down)
            Source.Release(vk);
    }
}

TEST_F(InputDeviceTest, ResetSwallowsInputFor300Ms) {
    Source.PointerAt = {50, 60};
    Source.Press(kA);
    Frame(150);
    EXPECT_FALSE(Input->Check(kA | kHeld));
    EXPECT_EQ(Input->MouseX, -100000);
    EXPECT_EQ(Input->MouseY, -100000);
    Frame(149);
    EXPECT_FALSE(Input->Check(kA | kHeld));
    Frame(1);
    EXPECT_TRUE(Input->Check(kA | kPressed));  // seen as going down once the lock ends
    EXPECT_EQ(Input->MouseX, 50);
    EXPECT_EQ(Input->MouseY, 60);

    // The window regaining activity resets: keys, cursor and lock.
    Source.Active = false;
    Frame();
    EXPECT_FALSE(Input->Check(kA | kHeld));  // the keyboard is not read while inactive
    Source.Active = true;
    Frame();
    EXPECT_FALSE(Input->Check(kA | kHeld));
    EXPECT_EQ(Input->MouseX, -100000);
    Frame(300);
    EXPECT_TRUE(Input->Check(kA | kPressed));
}

TEST_F(InputDeviceTest, OnlyTheReadableSlotsAreRead) {
    Unlock();
    for (int vk = 0; vk < 256; ++vk)
        Source.Press(static_cast<uint8_t>(vk));
    Frame();
    for (int slot = 0; slot < 272; ++slot) {
        const bool readable = (slot <= 19 || (slot >= 27 && slot <= 183));
        EXPECT_EQ(Input->Check(slot | kHeld | kCtrl | kAlt | kShift) || Input->Check(slot | kHeld), readable)
            << "slot " << slot;
    }
}

TEST_F(InputDeviceTest, WheelSetsItsSlotForOneFrameAndTheLastEventWins) {
    Unlock();
    Source.Wheel(120);
    Frame();
    EXPECT_TRUE(Input->Check(kWheelUp));
    EXPECT_FALSE(Input->Check(kWheelDown));
    EXPECT_EQ(Input->WheelDelta, 120);
    Frame();
    EXPECT_FALSE(Input->Check(kWheelUp));
    EXPECT_EQ(Input->WheelDelta, 0);

    Source.Wheel(120);
    Source.Wheel(-240);
    Frame();
    EXPECT_FALSE(Input->Check(kWheelUp));
    EXPECT_TRUE(Input->Check(kWheelDown));
    EXPECT_EQ(Input->WheelDelta, -240);

    Source.Press(17);
    Source.Wheel(120);
    Frame();
    EXPECT_FALSE(Input->Check(kWheelUp));
    EXPECT_TRUE(Input->Check(kCtrl | kWheelUp));
    Source.Release(17);

    // Not taken while the window is inactive, nor while input is locked.
    Source.Active = false;
    Source.Wheel(120);
    Source.Active = true;
    Frame();
    EXPECT_EQ(Input->WheelDelta, 0);
    Source.Wheel(120);
    Frame(100);
    Frame(300);
    EXPECT_FALSE(Input->Check(kWheelUp));
    EXPECT_EQ(Input->WheelDelta, 0);
}

TEST_F(InputDeviceTest, KeepsAndRestoresTheWindowsWheelHandler) {
    Input.reset();
    std::vector<int32_t> seen;
    Source.SetWheelHandler([&](int32_t d) { seen.push_back(d); });
    Input = std::make_unique<TInput>(Source, Time);
    Unlock();
    Source.Wheel(-120);
    Frame();
    EXPECT_TRUE(Input->Check(kWheelDown));
    Input.reset();
    Source.Wheel(120);
    EXPECT_EQ(seen, (std::vector<int32_t>{-120, 120}));
}

TEST_F(InputDeviceTest, ButtonReleaseCountsAsClickOnlyNearThePress) {
    struct Case {
        int32_t releaseX, releaseY;
        bool click;
    };
    const Case cases[] = {{100, 100, true},  {110, 90, true},  {115, 115, true}, {116, 100, false},
                          {120, 100, false}, {100, 84, false}, {84, 100, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.releaseX << "," << c.releaseY);
        Input->Reset();
        Unlock();
        Source.PointerAt = {100, 100};
        Source.Press(1);
        Frame();
        EXPECT_EQ(Input->PressX, 100);
        EXPECT_EQ(Input->PressY, 100);
        EXPECT_EQ(Input->PressCount, 1);
        Source.PointerAt = {c.releaseX, c.releaseY};
        Source.Release(1);
        Frame();
        EXPECT_EQ(Input->Check(kLeft), c.click);
        EXPECT_TRUE(Input->IsReleased(1));  // the plain release ignores the distance
    }
}

TEST_F(InputDeviceTest, PressesWithModifiersMoveThePressPositionToo) {
    Unlock();
    Source.PointerAt = {10, 10};
    Source.Press(2);
    Frame();
    Source.Release(2);
    Frame();
    Source.PointerAt = {300, 200};
    Source.Press(16);
    Source.Press(1);
    Frame();
    EXPECT_EQ(Input->PressX, 300);
    EXPECT_EQ(Input->PressCount, 2);
    Source.Release(1);
    Frame();
    EXPECT_TRUE(Input->Check(kShift | kLeft));
    // Other keys do not count; the count restarts at a reset.
    Source.Press(kA);
    Frame();
    EXPECT_EQ(Input->PressCount, 2);
    Input->Reset();
    EXPECT_EQ(Input->PressCount, 0);
    EXPECT_EQ(Input->PressX, -100000);
}

TEST_F(InputDeviceTest, ModifierBitsFollowKeysAndButtons) {
    Unlock();
    struct Case {
        std::vector<uint8_t> down;
        uint8_t modifiers;
    };
    const Case cases[] = {{{}, 0},   {{16}, 1},  {{18}, 2},
                          {{17}, 4}, {{1}, 8},   {{2}, 16},
                          {{4}, 32}, {{160}, 0}, {{16, 17, 18, 1, 2, 4}, 63}};
    for (const Case& c : cases) {
        for (uint8_t vk : c.down)
            Source.Press(vk);
        Frame();
        EXPECT_EQ(Input->Modifiers, c.modifiers);
        for (uint8_t vk : c.down)
            Source.Release(vk);
    }
}

TEST_F(InputDeviceTest, PointerIsClampedToTheGameArea) {
    Unlock();
    struct Case {
        Viewport::TPoint at, expected;
    };
    const Case cases[] = {{{0, 0}, {0, 0}},
                          {{639, 479}, {639, 479}},
                          {{640, 480}, {639, 479}},
                          {{-5, 700}, {0, 479}},
                          {{320, -1}, {320, 0}}};
    for (const Case& c : cases) {
        Source.PointerAt = c.at;
        Frame();
        EXPECT_EQ(Input->MouseX, c.expected.X);
        EXPECT_EQ(Input->MouseY, c.expected.Y);
    }
    Input->SetMousePos(12, 34);
    EXPECT_EQ(Source.Warps, 1);
    Frame();
    EXPECT_EQ(Input->MouseX, 12);
    EXPECT_EQ(Input->MouseY, 34);

    // Not read while the window is inactive.
    Source.Active = false;
    Source.PointerAt = {99, 99};
    Frame();
    EXPECT_EQ(Input->MouseX, 12);
}

TEST_F(InputDeviceTest, CursorHidesAfterTheIdleTimeAndShowsOnMovement) {
    Unlock();
    Source.PointerAt = {5, 5};
    Frame();
    Frame(9000);
    EXPECT_TRUE(Source.Shown);
    Frame(999);
    EXPECT_TRUE(Source.Shown);
    Frame(1);
    EXPECT_FALSE(Source.Shown);  // 10000 ms without movement
    Frame(5000);
    EXPECT_FALSE(Source.Shown);
    Source.PointerAt = {6, 5};
    Frame();
    EXPECT_TRUE(Source.Shown);
    Frame(9990);
    EXPECT_TRUE(Source.Shown);
    Frame(20);
    EXPECT_FALSE(Source.Shown);
    Source.Active = false;  // an inactive window always shows it
    Frame();
    EXPECT_TRUE(Source.Shown);
    Source.Active = true;

    // A shorter hide time lowers the idle time already counted; 0 shows at once and never hides.
    Frame(20000);
    EXPECT_FALSE(Source.Shown);
    Input->SetCursorHideTime(0);
    EXPECT_TRUE(Source.Shown);
    Frame(60000);
    EXPECT_TRUE(Source.Shown);
    Input->SetCursorHideTime(500);
    Frame(499);
    EXPECT_TRUE(Source.Shown);
    Frame(1);
    EXPECT_FALSE(Source.Shown);
    Input->SetCursorHideTime(10000);  // idle stays at 500
    Source.PointerAt = {7, 5};
    Frame();
    EXPECT_TRUE(Source.Shown);

    // The visible setting hides at the next frame; switching it on again restarts the idle time.
    Input->SetCursorVisible(false);
    Frame();
    EXPECT_FALSE(Source.Shown);
    Frame(9000);
    Input->SetCursorVisible(true);
    Frame();
    EXPECT_TRUE(Source.Shown);
    Frame(9000);
    EXPECT_TRUE(Source.Shown);
    // Handing the same setting again every frame does not keep the cursor awake.
    Input->SetCursorVisible(true);
    Frame(1000);
    EXPECT_FALSE(Source.Shown);
}

TEST_F(InputDeviceTest, RepeatAndLockSurviveTheTimerWrapping) {
    Time.Now = 0x7FFFFF00u;  // the timer's 31 bits wrap 256 ms from here
    Input->Reset();
    Unlock();
    Source.Press(kA);
    Frame();
    for (int i = 0; i < 46; ++i)
        Frame();  // 736 ms held
    EXPECT_FALSE(Input->Check(kA | kRepeating));
    Frame(14);
    EXPECT_TRUE(Input->Check(kA | kRepeating));

    Time.Now = 0xFFFFFF80u;  // and the whole 32 bits 128 ms from here
    Input->Reset();
    Frame(299);
    EXPECT_FALSE(Input->Check(kA | kHeld));
    Frame(1);
    EXPECT_TRUE(Input->Check(kA | kPressed));
}

TEST_F(InputDeviceTest, MatchingKeysListWhatSatisfiesTheMode) {
    Unlock();
    struct Case {
        std::vector<uint8_t> down;  // go down together in the frame looked at
        int32_t modeBits;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{}, kPressed, {}},
        {{kA}, kPressed, {"65"}},
        {{kB, kA}, kPressed, {"65", "66"}},
        {{kA}, kHeld, {"262209"}},  // 0x40000 + 65
        {{kA}, kReleased, {}},
        {{1}, kPressed, {"1"}},
        // A side key going down with its pair key carries that modifier's bit.
        {{16, 160}, kPressed, {"16544"}},
        {{17, 162}, kPressed, {"4258"}},
        {{18, 165}, kPressed, {"8357"}},
        {{17, 16, 163, 160}, kPressed, {"20640", "20643"}},
        // Without a side key only the pair keys remain, Shift, Alt, Ctrl in that order.
        {{17, 16, 18}, kPressed, {"16", "18", "17"}},
        // A plain key with a modifier held does not match without modifier bits.
        {{17, kA}, kPressed, {"17"}},
        {{kA}, 5 << 16, {}},
    };
    for (const Case& c : cases) {
        for (uint8_t vk : c.down)
            Source.Press(vk);
        Frame();
        EXPECT_EQ(Matching(c.modeBits), c.expected) << "mode " << (c.modeBits >> 16);
        for (uint8_t vk : c.down)
            Source.Release(vk);
        Frame();
        Frame();
    }

    // Releases carry the mode bits, and ignore the click range.
    Source.PointerAt = {0, 0};
    Source.Press(kA);
    Source.Press(1);
    Frame();
    Source.PointerAt = {200, 200};
    Source.Release(kA);
    Source.Release(1);
    Frame();
    EXPECT_EQ(Matching(kReleased), (std::vector<std::string>{"65537", "65601"}));

    // Repeating: held 750 ms.
    Source.Press(kB);
    Frame();
    Frame(750);
    EXPECT_EQ(Matching(kRepeating), (std::vector<std::string>{std::to_string(kB | kRepeating)}));
    EXPECT_EQ(Matching(kPressedOrRepeating), (std::vector<std::string>{std::to_string(kB | kPressedOrRepeating)}));
}

TEST_F(InputDeviceTest, SentKeysReachOnlyOurOwnKeyState) {
    Unlock();
    // A press with Ctrl: seen with Ctrl in one frame; Ctrl goes up after it.
    Input->SendKey(kCtrl | kA | kPressed);
    Frame();
    EXPECT_TRUE(Input->Check(kCtrl | kA | kPressed));
    Frame();
    EXPECT_FALSE(Input->Check(kCtrl | kA | kHeld));
    EXPECT_TRUE(Input->Check(kA | kHeld));  // a plain press stays down
    EXPECT_FALSE(Source.InjectedPending());

    Input->SendKey(kA | kReleased);
    Frame();
    EXPECT_TRUE(Input->Check(kA | kReleased));

    // A tap (modes 2 to 4): down for one frame, up in the next.
    for (TKeyCode mode : {kPressedOrRepeating, kRepeating, kHeld}) {
        Input->SendKey(kShift | kB | mode);
        Frame();
        EXPECT_TRUE(Input->Check(kShift | kB | kPressed));
        Frame();
        EXPECT_FALSE(Input->Check(kShift | kB | kReleased));  // Shift goes up with it
        EXPECT_TRUE(Input->Check(kB | kReleased));
        EXPECT_FALSE(Input->Check(kShift | kHeld));
    }

    // Two taps of one key in a frame are two presses, one frame apart.
    Input->SendKey(kB | kHeld);
    Input->SendKey(kB | kHeld);
    int presses = 0;
    for (int i = 0; i < 5; ++i) {
        Frame();
        presses += Input->Check(kB | kPressed);
    }
    EXPECT_EQ(presses, 2);

    // Wheel slots turn the wheel by one.
    Input->SendKey(kWheelUp);
    Frame();
    EXPECT_TRUE(Input->Check(kWheelUp));
    EXPECT_EQ(Input->WheelDelta, 1);
    Input->SendKey(kAlt | kWheelDown);
    Frame();
    EXPECT_TRUE(Input->Check(kAlt | kWheelDown));
    EXPECT_EQ(Input->WheelDelta, -1);
    Frame();
    EXPECT_EQ(Input->Modifiers, 0);

    // Other modes inject nothing.
    Input->SendKey(kB | (7 << 16));
    EXPECT_FALSE(Source.InjectedPending());
}

}  // namespace

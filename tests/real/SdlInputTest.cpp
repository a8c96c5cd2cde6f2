#include <gtest/gtest.h>

#include <vector>

#include "foundation/uInputDevice.h"
#include "platform/Clock.h"
#include "platform/sdl/SdlInput.h"

namespace {

SDL_Event KeyEvent(bool down, SDL_Keycode sym, SDL_Scancode scan, uint16_t mod = KMOD_NONE) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = scan;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event ButtonEvent(bool down, uint8_t button, int32_t x, int32_t y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event MotionEvent(int32_t x, int32_t y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event WheelEvent(int32_t y, uint32_t direction) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = y;
    e.wheel.direction = direction;
    return e;
}

SDL_Event WindowEvent(uint8_t what, int32_t data1 = 0, int32_t data2 = 0) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    e.window.data1 = data1;
    e.window.data2 = data2;
    return e;
}

TEST(SdlInputTest, KeysMapToVirtualKeys) {
    struct Case {
        SDL_Keycode sym;
        SDL_Scancode scan;
        uint16_t mod;
        uint8_t vk;
    };
    const Case cases[] = {
        {SDLK_a, SDL_SCANCODE_A, 0, 'A'},
        {SDLK_z, SDL_SCANCODE_Z, 0, 'Z'},
        {SDLK_q, SDL_SCANCODE_A, 0, 'Q'},  // a layout's letter wins over the position
        {SDLK_0, SDL_SCANCODE_0, 0, '0'},
        {SDLK_9, SDL_SCANCODE_9, 0, '9'},
        {SDLK_AMPERSAND, SDL_SCANCODE_1, 0, '1'},  // a digit row without digits still gives digits
        {0x0444, SDL_SCANCODE_A, 0, 'A'},          // a non-Latin letter gives its key's place
        {SDLK_F1, SDL_SCANCODE_F1, 0, 0x70},
        {SDLK_F12, SDL_SCANCODE_F12, 0, 0x7B},
        {SDLK_F13, SDL_SCANCODE_F13, 0, 0x7C},
        {SDLK_LEFT, SDL_SCANCODE_LEFT, 0, 0x25},
        {SDLK_UP, SDL_SCANCODE_UP, 0, 0x26},
        {SDLK_RIGHT, SDL_SCANCODE_RIGHT, 0, 0x27},
        {SDLK_DOWN, SDL_SCANCODE_DOWN, 0, 0x28},
        {SDLK_RETURN, SDL_SCANCODE_RETURN, 0, 0x0D},
        {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 0, 0x0D},
        {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, 0x1B},
        {SDLK_SPACE, SDL_SCANCODE_SPACE, 0, 0x20},
        {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 0, 0x08},
        {SDLK_TAB, SDL_SCANCODE_TAB, 0, 0x09},
        {SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 0, 0x21},
        {SDLK_HOME, SDL_SCANCODE_HOME, 0, 0x24},
        {SDLK_DELETE, SDL_SCANCODE_DELETE, 0, 0x2E},
        {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 0, 160},
        {SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 0, 161},
        {SDLK_LCTRL, SDL_SCANCODE_LCTRL, 0, 162},
        {SDLK_RCTRL, SDL_SCANCODE_RCTRL, 0, 163},
        {SDLK_LALT, SDL_SCANCODE_LALT, 0, 164},
        {SDLK_RALT, SDL_SCANCODE_RALT, 0, 165},
        {SDLK_KP_0, SDL_SCANCODE_KP_0, KMOD_NUM, 0x60},
        {SDLK_KP_1, SDL_SCANCODE_KP_1, KMOD_NUM, 0x61},
        {SDLK_KP_9, SDL_SCANCODE_KP_9, KMOD_NUM, 0x69},
        {SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, KMOD_NUM, 0x6E},
        {SDLK_KP_8, SDL_SCANCODE_KP_8, 0, 0x26},  // Num Lock off: the keypad navigates
        {SDLK_KP_0, SDL_SCANCODE_KP_0, 0, 0x2D},
        {SDLK_KP_5, SDL_SCANCODE_KP_5, 0, 0x0C},
        {SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, 0, 0x2E},
        {SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, 0, 0x6B},
        {SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS, 0, 0x6D},
        {SDLK_KP_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY, 0, 0x6A},
        {SDLK_KP_DIVIDE, SDL_SCANCODE_KP_DIVIDE, 0, 0x6F},
        {SDLK_MUTE, SDL_SCANCODE_MUTE, 0, 0},
    };
    for (const Case& c : cases) {
        SDL_Keysym key{};
        key.sym = c.sym;
        key.scancode = c.scan;
        key.mod = c.mod;
        EXPECT_EQ(SdlInput::VirtualKeyOf(key), c.vk) << "key " << c.sym << " scancode " << c.scan;
    }
}

TEST(SdlInputTest, EventsFillTheKeyState) {
    TSdlInputSource source(nullptr, {640, 480});
    // One event, then the poll of the next frame.
    auto take = [&](const SDL_Event& e) {
        source.HandleEvent(e);
        source.Poll();
    };
    take(KeyEvent(true, SDLK_a, SDL_SCANCODE_A));
    EXPECT_TRUE(source.KeyDown('A'));
    take(KeyEvent(false, SDLK_a, SDL_SCANCODE_A));
    EXPECT_FALSE(source.KeyDown('A'));

    // Each side key, and the pair key while either side is down.
    take(KeyEvent(true, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    take(KeyEvent(true, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT));
    take(KeyEvent(false, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    EXPECT_FALSE(source.KeyDown(160));
    EXPECT_TRUE(source.KeyDown(161));
    EXPECT_TRUE(source.KeyDown(16));
    take(KeyEvent(false, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT));
    EXPECT_FALSE(source.KeyDown(16));
    take(KeyEvent(true, SDLK_RCTRL, SDL_SCANCODE_RCTRL));
    take(KeyEvent(true, SDLK_LALT, SDL_SCANCODE_LALT));
    EXPECT_TRUE(source.KeyDown(17));
    EXPECT_TRUE(source.KeyDown(18));

    const struct {
        uint8_t button, vk;
    } buttons[] = {
        {SDL_BUTTON_LEFT, 1}, {SDL_BUTTON_RIGHT, 2}, {SDL_BUTTON_MIDDLE, 4}, {SDL_BUTTON_X1, 5}, {SDL_BUTTON_X2, 6}};
    for (const auto& b : buttons) {
        take(ButtonEvent(true, b.button, 10, 20));
        EXPECT_TRUE(source.KeyDown(b.vk));
        take(ButtonEvent(false, b.button, 10, 20));
        EXPECT_FALSE(source.KeyDown(b.vk));
    }

    // A click whose press and release arrive between two frames is down in the one and up in the
    // next; what came after the release follows it. A key's repeats change nothing.
    source.HandleEvent(KeyEvent(true, SDLK_c, SDL_SCANCODE_C));
    source.HandleEvent(ButtonEvent(true, SDL_BUTTON_LEFT, 10, 20));
    source.HandleEvent(ButtonEvent(false, SDL_BUTTON_LEFT, 10, 20));
    source.HandleEvent(KeyEvent(true, SDLK_b, SDL_SCANCODE_B));
    source.HandleEvent(KeyEvent(true, SDLK_c, SDL_SCANCODE_C));
    EXPECT_FALSE(source.KeyDown(1));
    source.Poll();
    EXPECT_TRUE(source.KeyDown(1));
    EXPECT_TRUE(source.KeyDown('C'));
    EXPECT_FALSE(source.KeyDown('B'));
    source.Poll();
    EXPECT_FALSE(source.KeyDown(1));
    EXPECT_TRUE(source.KeyDown('B'));
    source.Poll();
    EXPECT_TRUE(source.KeyDown('C'));

    // Losing the focus lets go of everything, also of what is still to come: the releases happen
    // elsewhere.
    source.HandleEvent(KeyEvent(true, SDLK_a, SDL_SCANCODE_A));
    take(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
    EXPECT_FALSE(source.WindowActive());
    EXPECT_FALSE(source.KeyDown('A'));
    EXPECT_FALSE(source.KeyDown(17));
    take(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
    EXPECT_TRUE(source.WindowActive());
    take(KeyEvent(true, SDLK_a, SDL_SCANCODE_A));
    EXPECT_TRUE(source.KeyDown('A'));
}

TEST(SdlInputTest, PointerAndWheelAreInGameTerms) {
    TSdlInputSource source(nullptr, {640, 480});
    source.HandleEvent(MotionEvent(100, 200));
    EXPECT_EQ(source.Pointer(), (Viewport::TPoint{100, 200}));
    source.HandleEvent(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 1920, 1080));
    source.HandleEvent(MotionEvent(240 + 720, 540));
    EXPECT_EQ(source.Pointer(), (Viewport::TPoint{320, 240}));
    source.HandleEvent(ButtonEvent(true, SDL_BUTTON_LEFT, 100, 540));  // on the left bar
    EXPECT_LT(source.Pointer().X, 0);
    source.SetPointer({639, 0});
    EXPECT_EQ(source.Pointer(), (Viewport::TPoint{639, 0}));

    std::vector<int32_t> turns;
    source.SetWheelHandler([&](int32_t d) { turns.push_back(d); });
    source.HandleEvent(WheelEvent(1, SDL_MOUSEWHEEL_NORMAL));
    source.HandleEvent(WheelEvent(-2, SDL_MOUSEWHEEL_NORMAL));
    source.HandleEvent(WheelEvent(1, SDL_MOUSEWHEEL_FLIPPED));
    source.HandleEvent(WheelEvent(0, SDL_MOUSEWHEEL_NORMAL));  // sideways only
    EXPECT_EQ(turns, (std::vector<int32_t>{120, -240, -120}));
}

TEST(SdlInputTest, DrivesTheInputDevice) {
    TFakeClock time;
    {
        TSdlInputSource source(nullptr, {640, 480});
        TInput input(source, time);
        time.Now += 300;
        input.Update();
        source.HandleEvent(KeyEvent(true, SDLK_LCTRL, SDL_SCANCODE_LCTRL));
        source.HandleEvent(KeyEvent(true, SDLK_RETURN, SDL_SCANCODE_RETURN));
        source.HandleEvent(WheelEvent(-1, SDL_MOUSEWHEEL_NORMAL));
        time.Now += 16;
        input.Update();
        EXPECT_TRUE(input.Check(uInputDevice::kCtrl | 13));
        EXPECT_TRUE(input.Check(uInputDevice::kCtrl | uInputDevice::kWheelDown));
        EXPECT_EQ(input.WheelDelta, -120);
    }
}

}  // namespace

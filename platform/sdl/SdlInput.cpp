#include "platform/sdl/SdlInput.h"

namespace SdlInput {
namespace {

// Virtual-key numbers of the window system.
enum : uint8_t {
    VkBack = 0x08,
    VkTab = 0x09,
    VkClear = 0x0C,
    VkReturn = 0x0D,
    VkPause = 0x13,
    VkCapital = 0x14,
    VkKana = 0x15,
    VkKanji = 0x19,
    VkEscape = 0x1B,
    VkConvert = 0x1C,
    VkNonConvert = 0x1D,
    VkSpace = 0x20,
    VkPrior = 0x21,
    VkNext = 0x22,
    VkEnd = 0x23,
    VkHome = 0x24,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    VkSelect = 0x29,
    VkExecute = 0x2B,
    VkSnapshot = 0x2C,
    VkInsert = 0x2D,
    VkDelete = 0x2E,
    VkHelp = 0x2F,
    VkLWin = 0x5B,
    VkRWin = 0x5C,
    VkApps = 0x5D,
    VkSleep = 0x5F,
    VkNumpad0 = 0x60,
    VkMultiply = 0x6A,
    VkAdd = 0x6B,
    VkSeparator = 0x6C,
    VkSubtract = 0x6D,
    VkDecimal = 0x6E,
    VkDivide = 0x6F,
    VkF1 = 0x70,
    VkF13 = 0x7C,
    VkNumLock = 0x90,
    VkScroll = 0x91,
    VkOem1 = 0xBA,
    VkOemPlus = 0xBB,
    VkOemComma = 0xBC,
    VkOemMinus = 0xBD,
    VkOemPeriod = 0xBE,
    VkOem2 = 0xBF,
    VkOem3 = 0xC0,
    VkOem4 = 0xDB,
    VkOem5 = 0xDC,
    VkOem6 = 0xDD,
    VkOem7 = 0xDE,
    VkOem102 = 0xE2,
};

// Keys named by their meaning in the layout.
uint8_t ByKeycode(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return static_cast<uint8_t>('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return static_cast<uint8_t>('0' + (k - SDLK_0));
    if (k >= SDLK_F1 && k <= SDLK_F12) return static_cast<uint8_t>(VkF1 + (k - SDLK_F1));
    if (k >= SDLK_F13 && k <= SDLK_F24) return static_cast<uint8_t>(VkF13 + (k - SDLK_F13));
    switch (k) {
        case SDLK_BACKSPACE:
            return VkBack;
        case SDLK_TAB:
            return VkTab;
        case SDLK_CLEAR:
            return VkClear;
        case SDLK_RETURN:
        case SDLK_RETURN2:
        case SDLK_KP_ENTER:
            return VkReturn;
        case SDLK_PAUSE:
            return VkPause;
        case SDLK_CAPSLOCK:
            return VkCapital;
        case SDLK_ESCAPE:
            return VkEscape;
        case SDLK_SPACE:
            return VkSpace;
        case SDLK_PAGEUP:
            return VkPrior;
        case SDLK_PAGEDOWN:
            return VkNext;
        case SDLK_END:
            return VkEnd;
        case SDLK_HOME:
            return VkHome;
        case SDLK_LEFT:
            return VkLeft;
        case SDLK_UP:
            return VkUp;
        case SDLK_RIGHT:
            return VkRight;
        case SDLK_DOWN:
            return VkDown;
        case SDLK_SELECT:
            return VkSelect;
        case SDLK_EXECUTE:
            return VkExecute;
        case SDLK_PRINTSCREEN:
            return VkSnapshot;
        case SDLK_INSERT:
            return VkInsert;
        case SDLK_DELETE:
            return VkDelete;
        case SDLK_HELP:
            return VkHelp;
        case SDLK_LGUI:
            return VkLWin;
        case SDLK_RGUI:
            return VkRWin;
        case SDLK_APPLICATION:
            return VkApps;
        case SDLK_SLEEP:
            return VkSleep;
        case SDLK_KP_MULTIPLY:
            return VkMultiply;
        case SDLK_KP_PLUS:
            return VkAdd;
        case SDLK_SEPARATOR:
            return VkSeparator;
        case SDLK_KP_MINUS:
            return VkSubtract;
        case SDLK_KP_DIVIDE:
            return VkDivide;
        case SDLK_NUMLOCKCLEAR:
            return VkNumLock;
        case SDLK_SCROLLLOCK:
            return VkScroll;
        case SDLK_LSHIFT:
            return VirtualKey::LShift;
        case SDLK_RSHIFT:
            return VirtualKey::RShift;
        case SDLK_LCTRL:
            return VirtualKey::LControl;
        case SDLK_RCTRL:
            return VirtualKey::RControl;
        case SDLK_LALT:
            return VirtualKey::LMenu;
        case SDLK_RALT:
            return VirtualKey::RMenu;
        case SDLK_SEMICOLON:
            return VkOem1;
        case SDLK_EQUALS:
            return VkOemPlus;
        case SDLK_COMMA:
            return VkOemComma;
        case SDLK_MINUS:
            return VkOemMinus;
        case SDLK_PERIOD:
            return VkOemPeriod;
        case SDLK_SLASH:
            return VkOem2;
        case SDLK_BACKQUOTE:
            return VkOem3;
        case SDLK_LEFTBRACKET:
            return VkOem4;
        case SDLK_BACKSLASH:
            return VkOem5;
        case SDLK_RIGHTBRACKET:
            return VkOem6;
        case SDLK_QUOTE:
            return VkOem7;
        default:
            return 0;
    }
}

// The keypad's digits and point: numbers with Num Lock on, navigation with it off.
uint8_t Keypad(SDL_Scancode s, bool numLock) {
    // In scancode order: 1 to 9, then 0.
    static constexpr uint8_t kNavigation[10] = {VkEnd,   VkDown, VkNext, VkLeft,  VkClear,
                                                VkRight, VkHome, VkUp,   VkPrior, VkInsert};
    if (s >= SDL_SCANCODE_KP_1 && s <= SDL_SCANCODE_KP_0) {
        const int i = s - SDL_SCANCODE_KP_1;
        if (numLock) return static_cast<uint8_t>(VkNumpad0 + (i + 1) % 10);
        return kNavigation[i];
    }
    if (s == SDL_SCANCODE_KP_PERIOD) return numLock ? VkDecimal : VkDelete;
    return 0;
}

// Keys named by their place on the board, for layouts whose key code is no Latin character.
uint8_t ByScancode(SDL_Scancode s) {
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) return static_cast<uint8_t>('A' + (s - SDL_SCANCODE_A));
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9) return static_cast<uint8_t>('1' + (s - SDL_SCANCODE_1));
    switch (s) {
        case SDL_SCANCODE_0:
            return '0';
        case SDL_SCANCODE_MINUS:
            return VkOemMinus;
        case SDL_SCANCODE_EQUALS:
            return VkOemPlus;
        case SDL_SCANCODE_LEFTBRACKET:
            return VkOem4;
        case SDL_SCANCODE_RIGHTBRACKET:
            return VkOem6;
        case SDL_SCANCODE_BACKSLASH:
            return VkOem5;
        case SDL_SCANCODE_SEMICOLON:
            return VkOem1;
        case SDL_SCANCODE_APOSTROPHE:
            return VkOem7;
        case SDL_SCANCODE_GRAVE:
            return VkOem3;
        case SDL_SCANCODE_COMMA:
            return VkOemComma;
        case SDL_SCANCODE_PERIOD:
            return VkOemPeriod;
        case SDL_SCANCODE_SLASH:
            return VkOem2;
        case SDL_SCANCODE_NONUSBACKSLASH:
            return VkOem102;
        case SDL_SCANCODE_INTERNATIONAL1:
            return VkOem102;  // the Japanese board's "ro" key
        case SDL_SCANCODE_INTERNATIONAL2:
            return VkKana;
        case SDL_SCANCODE_INTERNATIONAL3:
            return VkOem5;  // the yen key
        case SDL_SCANCODE_INTERNATIONAL4:
            return VkConvert;
        case SDL_SCANCODE_INTERNATIONAL5:
            return VkNonConvert;
        case SDL_SCANCODE_LANG1:
            return VkKana;
        case SDL_SCANCODE_LANG2:
            return VkKanji;
        default:
            return 0;
    }
}

}  // namespace

uint8_t VirtualKeyOf(const SDL_Keysym& key) {
    if (const uint8_t vk = Keypad(key.scancode, (key.mod & KMOD_NUM) != 0)) return vk;
    if (const uint8_t vk = ByKeycode(key.sym)) return vk;
    return ByScancode(key.scancode);
}

uint8_t VirtualButtonOf(uint8_t button) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return VirtualKey::LButton;
        case SDL_BUTTON_RIGHT:
            return VirtualKey::RButton;
        case SDL_BUTTON_MIDDLE:
            return VirtualKey::MButton;
        case SDL_BUTTON_X1:
            return VirtualKey::XButton1;
        case SDL_BUTTON_X2:
            return VirtualKey::XButton2;
        default:
            return 0;
    }
}

}  // namespace SdlInput

TSdlInputSource::TSdlInputSource(SDL_Window* window, Viewport::TSize game)
    : Window(window), Game(game), WindowSize(game) {
    if (Window) {
        SDL_GetWindowSize(Window, &WindowSize.W, &WindowSize.H);
        Active = (SDL_GetWindowFlags(Window) & SDL_WINDOW_INPUT_FOCUS) != 0;
        SDL_GetMouseState(&WindowPointer.X, &WindowPointer.Y);
        Shown = SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
    }
}

bool TSdlInputSource::OurWindow(uint32_t windowId) const {
    return !Window || windowId == SDL_GetWindowID(Window);
}

void TSdlInputSource::SetKey(uint8_t vk, bool down) {
    if (Latest[vk] == down) return;  // a key's repeats change nothing
    Latest[vk] = down;
    State.InjectKey(vk, down);
    // The window system keeps one more key for each modifier pair: down while either side is.
    auto pair = [this](uint8_t both, uint8_t left, uint8_t right) {
        const bool either = Latest[left] || Latest[right];
        if (Latest[both] == either) return;
        Latest[both] = either;
        State.InjectKey(both, either);
    };
    using namespace VirtualKey;
    if (vk == LShift || vk == RShift) pair(Shift, LShift, RShift);
    if (vk == LControl || vk == RControl) pair(Control, LControl, RControl);
    if (vk == LMenu || vk == RMenu) pair(Menu, LMenu, RMenu);
}

bool TSdlInputSource::HandleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const uint8_t vk = SdlInput::VirtualKeyOf(event.key.keysym);
            if (vk != 0) SetKey(vk, event.type == SDL_KEYDOWN);
            return true;
        }
        case SDL_MOUSEMOTION:
            if (!OurWindow(event.motion.windowID)) return false;
            WindowPointer = {event.motion.x, event.motion.y};
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (!OurWindow(event.button.windowID)) return false;
            WindowPointer = {event.button.x, event.button.y};
            const uint8_t vk = SdlInput::VirtualButtonOf(event.button.button);
            if (vk != 0) SetKey(vk, event.type == SDL_MOUSEBUTTONDOWN);
            return true;
        }
        case SDL_MOUSEWHEEL: {
            if (!OurWindow(event.wheel.windowID)) return false;
            int32_t y = event.wheel.y;
            if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
            if (y != 0) State.Wheel(y * SdlInput::kWheelNotch);
            return true;
        }
        case SDL_WINDOWEVENT:
            if (!OurWindow(event.window.windowID)) return false;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    Active = true;
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    // Keys released while another window has the focus are never reported here.
                    Active = false;
                    State.ReleaseAll();
                    Latest.fill(false);
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    WindowSize = {event.window.data1, event.window.data2};
                    break;
                default:
                    return false;
            }
            return true;
        default:
            return false;
    }
}

Viewport::TSize TSdlInputSource::CurrentWindowSize() const {
    // The window's own size, as the display fits the frame into it now: after a switch to or from
    // full screen the size event may still be on its way.
    if (!Window) return WindowSize;
    Viewport::TSize size;
    SDL_GetWindowSize(Window, &size.W, &size.H);
    return size;
}

Viewport::TPoint TSdlInputSource::Pointer() const {
    return Viewport::WindowToGame(WindowPointer, CurrentWindowSize(), Game);
}

void TSdlInputSource::SetPointer(Viewport::TPoint game) {
    WindowPointer = Viewport::GameToWindow(game, CurrentWindowSize(), Game);
    if (Window) SDL_WarpMouseInWindow(Window, WindowPointer.X, WindowPointer.Y);
}

void TSdlInputSource::ShowCursor(bool shown) {
    Shown = shown;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

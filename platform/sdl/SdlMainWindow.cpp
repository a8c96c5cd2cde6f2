#include "platform/sdl/SdlMainWindow.h"

#include "platform/Encoding.h"

TSdlMainWindow::TSdlMainWindow(const std::string& utf8Title, int32_t width, int32_t height, IInputSource* scripted)
    : Scripted(scripted) {
    // Closing the window is a question the program asks (it may stay open); only the desktop or a
    // signal sends the quit event on its own.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    Window = SdlDisplay::CreateMainWindow(utf8Title, width, height, FailReason);
    if (!Window) return;
    // Without a desktop SDL falls back to drivers that draw nowhere; a window there is no window,
    // unless the driver was asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
        !(asked && SDL_strcasecmp(asked, driver) == 0)) {
        Window.reset();
        FailReason = std::string("no desktop found; SDL would draw with its \"") + driver + "\" driver";
        return;
    }
    Screen = std::make_unique<TSdlDisplay>(Window.get());
    Source = std::make_unique<TSdlInputSource>(Window.get(), Viewport::TSize{width, height});
}

TSdlMainWindow::~TSdlMainWindow() {
    Source.reset();
    Screen.reset();
    Window.reset();
}

bool TSdlMainWindow::ScreenBounds(int& x, int& y, int& width, int& height) const {
    if (!Window || (SDL_GetWindowFlags(Window.get()) & SDL_WINDOW_SHOWN) == 0) return false;
    SDL_GetWindowPosition(Window.get(), &x, &y);
    SDL_GetWindowSize(Window.get(), &width, &height);
    return true;
}

void TSdlMainWindow::SetCaption(const std::string& caption) {
    if (Window) SDL_SetWindowTitle(Window.get(), Encoding::SjisToUtf8(caption).c_str());
}

void TSdlMainWindow::SetIcon(const uint32_t* pixels, int32_t width, int32_t height) {
    if (!Window || !pixels || width <= 0 || height <= 0) return;
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width, height, 32, width * 4,
                                                           SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return;
    SDL_SetWindowIcon(Window.get(), icon);
    SDL_FreeSurface(icon);
}

void TSdlMainWindow::SetClientSize(int32_t width, int32_t height) {
    if (!Window) return;
    SDL_SetWindowSize(Window.get(), width, height);
    // The client size set is the game's: the pointer maps onto it from whatever the window shows.
    Source->SetGameSize({width, height});
    Source->SetWindowSize({width, height});
}

Viewport::TSize TSdlMainWindow::ClientSize() {
    int w = 0, h = 0;
    if (Window) SDL_GetWindowSize(Window.get(), &w, &h);
    return {w, h};
}

void TSdlMainWindow::SetPosition(int32_t x, int32_t y) {
    if (Window) SDL_SetWindowPosition(Window.get(), x, y);
}

Viewport::TSize TSdlMainWindow::ScreenSize() {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return {0, 0};
    return {mode.w, mode.h};
}

void TSdlMainWindow::Show() {
    if (Window) SDL_ShowWindow(Window.get());
}

bool TSdlMainWindow::Showing() {
    return Window && (SDL_GetWindowFlags(Window.get()) & SDL_WINDOW_SHOWN) != 0;
}

bool TSdlMainWindow::Active() {
    return Input().WindowActive();
}

void TSdlMainWindow::Minimize() {
    if (Window) SDL_MinimizeWindow(Window.get());
}

void TSdlMainWindow::Restore() {
    if (!Window) return;
    SDL_RestoreWindow(Window.get());
    SDL_RaiseWindow(Window.get());
}

// The display draws the window once it is open; before that it clears the window with a renderer
// it keeps for its opening.
void TSdlMainWindow::FillBlack() {
    if (Window) Screen->FillBlackWhileClosed();
}

void TSdlMainWindow::PumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event))
        HandleEvent(event);
    if (PumpHook) PumpHook();
}

void TSdlMainWindow::WaitForEvents(uint32_t ms) {
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, static_cast<int>(ms))) HandleEvent(event);
    if (PumpHook) PumpHook();
}

void TSdlMainWindow::HandleEvent(const SDL_Event& event) {
    if (!Window) return;
    Screen->HandleEvent(event);
    if (!Scripted) Source->HandleEvent(event);
    if (!Events) return;
    switch (event.type) {
        case SDL_QUIT:
            Events->CloseRequested();
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            uint16_t key = SdlInput::VirtualKeyOf(event.key.keysym);
            if (key == 0) break;
            if (event.type == SDL_KEYDOWN)
                Events->KeyDown(key);
            else
                Events->KeyUp(key);
            break;
        }
        case SDL_WINDOWEVENT:
            if (event.window.windowID != SDL_GetWindowID(Window.get())) break;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    Events->CloseRequested();
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    Events->Paint();
                    break;
                case SDL_WINDOWEVENT_MINIMIZED:
                    IsMinimized = true;
                    Events->Minimized(true);
                    break;
                case SDL_WINDOWEVENT_RESTORED:
                case SDL_WINDOWEVENT_MAXIMIZED:
                    if (IsMinimized) {
                        IsMinimized = false;
                        Events->Minimized(false);
                    }
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
}

IInputSource& TSdlMainWindow::Input() {
    return Scripted ? *Scripted : *Source;
}

bool TSdlMainWindow::ReadPixels(std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) {
    SDL_Renderer* r = Window ? SDL_GetRenderer(Window.get()) : nullptr;
    int w = 0, h = 0;
    if (!r || SDL_GetRendererOutputSize(r, &w, &h) != 0 || w <= 0 || h <= 0) return false;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    if (SDL_RenderReadPixels(r, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), w * 4) != 0) return false;
    for (uint32_t& p : pixels)
        p |= 0xFF000000u;
    width = w;
    height = h;
    return true;
}

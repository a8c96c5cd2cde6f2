#include "platform/sdl/SdlDisplay.h"

namespace {

constexpr int32_t kLargestSide = 4096;

uint32_t TextureFormat(int32_t bitDepth) {
    switch (bitDepth) {
        case 24:
            return SDL_PIXELFORMAT_BGR24;  // bytes blue, green, red
        case 16:
            return SDL_PIXELFORMAT_RGB565;
        case 15:
            return SDL_PIXELFORMAT_RGB555;
        default:
            return SDL_PIXELFORMAT_RGB888;  // 0x00RRGGBB in four bytes
    }
}

int32_t DisplayOf(SDL_Window* window) {
    const int index = window ? SDL_GetWindowDisplayIndex(window) : 0;
    return index < 0 ? 0 : index;
}

}  // namespace

namespace SdlDisplay {

bool InitVideo(std::string& error) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    error = SDL_GetError();
    return false;
}

TSdlWindowPtr CreateMainWindow(const std::string& utf8Title, int32_t width, int32_t height, std::string& error) {
    if (!InitVideo(error)) return nullptr;
    TSdlWindowPtr window(SDL_CreateWindow(utf8Title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          std::max(width, 1), std::max(height, 1), SDL_WINDOW_HIDDEN));
    if (!window) error = SDL_GetError();
    return window;
}

}  // namespace SdlDisplay

TSdlDisplay::TSdlDisplay(SDL_Window* window) : Window(window), Canvas(*this) {}

TSdlDisplay::~TSdlDisplay() {
    Close();
    ReleaseSpare();
    if (Window && (SDL_GetWindowFlags(Window) & SDL_WINDOW_FULLSCREEN) != 0) SDL_SetWindowFullscreen(Window, 0);
}

bool TSdlDisplay::HandleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT:
            if (!Window || event.window.windowID != SDL_GetWindowID(Window)) return false;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    if (OnActivate) OnActivate();
                    return true;
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    // The window's picture was lost or moved; the texture still holds the frame.
                    if (Renderer && !Lost) Show();
                    return true;
                default:
                    return false;
            }
        case SDL_RENDER_TARGETS_RESET:
            Lost = Renderer != nullptr;
            return true;
        case SDL_RENDER_DEVICE_RESET:
            Lost = DeviceReset = Renderer != nullptr;
            return true;
        default:
            return false;
    }
}

int32_t TSdlDisplay::DesktopBitDepth() {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(DisplayOf(Window), &mode) != 0) return 32;
    // Four bytes a pixel count as 32 bits, whatever the padding.
    if (SDL_BYTESPERPIXEL(mode.format) == 4) return 32;
    return static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
}

Viewport::TSize TSdlDisplay::DesktopSize() {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(DisplayOf(Window), &mode) != 0) return {0, 0};
    return {mode.w, mode.h};
}

bool TSdlDisplay::HasMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refresh) {
    if (!Display::DepthSupported(bitDepth) || width < 1 || width > kLargestSide || height < 1 || height > kLargestSide)
        return false;
    if (refresh == 0) return true;
    SDL_DisplayMode mode;
    return SDL_GetDesktopDisplayMode(DisplayOf(Window), &mode) == 0 && mode.refresh_rate == refresh;
}

std::vector<TDisplayDriver> TSdlDisplay::Drivers() {
    std::vector<TDisplayDriver> list;
    const int n = SDL_GetNumRenderDrivers();
    for (int i = 0; i < n; ++i) {
        SDL_RendererInfo info;
        if (SDL_GetRenderDriverInfo(i, &info) != 0) continue;
        list.push_back({"SDL renderer", info.name, (info.flags & SDL_RENDERER_ACCELERATED) != 0});
    }
    return list;
}

bool TSdlDisplay::Open(const TDisplaySetup& setup, TDisplayError& error) {
    Close();
    Setup = setup;
    error = {};
    if (!Window) {
        error = {TDisplayStep::Device, 1, "no window"};
        return false;
    }
    if (!Display::DepthSupported(setup.BitDepth) || setup.Width < 1 || setup.Width > kLargestSide || setup.Height < 1 ||
        setup.Height > kLargestSide) {
        error = {TDisplayStep::DisplayMode, 1, "the back buffer cannot have this size or depth"};
        return false;
    }
    const bool isFull = (SDL_GetWindowFlags(Window) & SDL_WINDOW_FULLSCREEN) != 0;
    if (setup.FullScreen) {
        SDL_ShowWindow(Window);
        if (!isFull && SDL_SetWindowFullscreen(Window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            error = {TDisplayStep::DisplayMode, 1, SDL_GetError()};
            return false;
        }
    } else {
        if (isFull && SDL_SetWindowFullscreen(Window, 0) != 0) {
            error = {TDisplayStep::DisplayMode, 1, SDL_GetError()};
            return false;
        }
        SDL_SetWindowSize(Window, setup.Width, setup.Height);
        SDL_SetWindowPosition(Window, SDL_WINDOWPOS_CENTERED_DISPLAY(DisplayOf(Window)),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(DisplayOf(Window)));
    }
    if (!CreateDrawing(error)) return false;
    Buffer.Reset(setup.Width, setup.Height, Display::FormatForDepth(setup.BitDepth), setup.BackColor);
    Present();
    return true;
}

bool TSdlDisplay::CreateDrawing(TDisplayError& error) {
    uint32_t flags = Setup.VSync ? SDL_RENDERER_PRESENTVSYNC : 0;
    if (Setup.SystemMemory) flags |= SDL_RENDERER_SOFTWARE;
    if (Spare.Renderer && Spare.Driver == Setup.Driver && Spare.Flags == flags) {
        Renderer = Spare.Renderer;
        Texture = Spare.Texture;
        Spare = {};
        // The last opening's texture serves when it has the size and format asked for; the present
        // that follows an opening uploads every row of it.
        uint32_t format = 0;
        int w = 0, h = 0;
        if (Texture && (SDL_QueryTexture(Texture, &format, nullptr, &w, &h) != 0 ||
                        format != TextureFormat(Setup.BitDepth) || w != Setup.Width || h != Setup.Height)) {
            SDL_DestroyTexture(Texture);
            Texture = nullptr;
        }
    } else {
        // The window holds one renderer at a time.
        ReleaseSpare();
        Renderer = SDL_CreateRenderer(Window, Setup.Driver, flags);
        if (!Renderer && !Setup.SystemMemory)  // no graphics device: draw in memory instead
            Renderer = SDL_CreateRenderer(Window, -1, flags | SDL_RENDERER_SOFTWARE);
    }
    if (!Renderer) {
        error = {TDisplayStep::Device, 1, SDL_GetError()};
        return false;
    }
    Asked = {nullptr, nullptr, Setup.Driver, flags};
    if (!Texture)
        Texture = SDL_CreateTexture(Renderer, TextureFormat(Setup.BitDepth), SDL_TEXTUREACCESS_STREAMING, Setup.Width,
                                    Setup.Height);
    if (!Texture) {
        error = {TDisplayStep::BackBuffer, 1, SDL_GetError()};
        ReleaseDrawing();
        return false;
    }
    return true;
}

void TSdlDisplay::ReleaseDrawing() {
    if (Texture) SDL_DestroyTexture(Texture);
    if (Renderer) SDL_DestroyRenderer(Renderer);
    Texture = nullptr;
    Renderer = nullptr;
}

void TSdlDisplay::ReleaseSpare() {
    if (Spare.Texture) SDL_DestroyTexture(Spare.Texture);
    if (Spare.Renderer) SDL_DestroyRenderer(Spare.Renderer);
    Spare = {};
}

void TSdlDisplay::FillBlackWhileClosed() {
    if (!Window || Renderer) return;
    if (!Spare.Renderer) {
        Spare = {};
        Spare.Renderer = SDL_CreateRenderer(Window, -1, 0);
        if (!Spare.Renderer) return;
    }
    SDL_SetRenderDrawColor(Spare.Renderer, 0, 0, 0, 255);
    SDL_RenderClear(Spare.Renderer);
    SDL_RenderPresent(Spare.Renderer);
}

void TSdlDisplay::Close() {
    // The renderer stays for the next opening, unless the device went with it.
    if (Renderer && !DeviceReset) {
        ReleaseSpare();
        Spare = {Renderer, Texture, Asked.Driver, Asked.Flags};
        Renderer = nullptr;
        Texture = nullptr;
    }
    ReleaseDrawing();
    Buffer.Release();
    Lost = DeviceReset = false;
}

bool TSdlDisplay::Accelerated() {
    SDL_RendererInfo info;
    return Renderer && SDL_GetRendererInfo(Renderer, &info) == 0 && (info.flags & SDL_RENDERER_ACCELERATED) != 0;
}

bool TSdlDisplay::Lock(TDisplayLock& lock) {
    return !(!Renderer || Lost) && Buffer.Lock(lock);
}

bool TSdlDisplay::Unlock() {
    return Buffer.Unlock();
}

void TSdlDisplay::Present() {
    if (!Renderer || Lost) return;
    const std::vector<Display::TRowSpan>& spans = Buffer.TakeChanged();
    // Nothing changed: the window shows this frame already, and an exposure shows it again by
    // itself. A still game then costs no drawing at all.
    if (spans.empty()) return;
    for (const Display::TRowSpan& span : spans) {
        const SDL_Rect rows{0, span.Top, Buffer.Width(), span.Bottom - span.Top};
        SDL_UpdateTexture(Texture, &rows, Buffer.Row(span.Top), Buffer.Pitch());
    }
    Show();
}

Viewport::TRect TSdlDisplay::FrameRect() {
    int w = 0, h = 0;
    if (!Renderer || SDL_GetRendererOutputSize(Renderer, &w, &h) != 0) SDL_GetWindowSize(Window, &w, &h);
    return Viewport::Fit({w, h}, {Buffer.Width(), Buffer.Height()});
}

void TSdlDisplay::Show() {
    const Viewport::TRect r = FrameRect();
    const bool whole = r.W > 0 && r.H > 0 && Buffer.Width() > 0 && Buffer.Height() > 0 && r.W % Buffer.Width() == 0 &&
                       r.H % Buffer.Height() == 0 && r.W / Buffer.Width() == r.H / Buffer.Height();
    SDL_SetTextureScaleMode(Texture, whole ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
    const uint32_t c = Setup.BackColor;
    SDL_SetRenderDrawColor(Renderer, uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255);
    SDL_RenderClear(Renderer);
    const SDL_Rect to{r.X, r.Y, r.W, r.H};
    SDL_RenderCopy(Renderer, Texture, nullptr, &to);
    SDL_RenderPresent(Renderer);
}

bool TSdlDisplay::Restore() {
    if (!Renderer) return false;
    if (DeviceReset) {
        ReleaseDrawing();
        TDisplayError error;
        if (!CreateDrawing(error)) return false;
        DeviceReset = false;
    }
    if (Lost) Buffer.MarkAll();
    Lost = false;
    return true;
}

bool TSdlDisplay::WindowActive() {
    return Window && (SDL_GetWindowFlags(Window) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void TSdlDisplay::SetScreenSaverEnabled(bool enabled) {
    if (enabled)
        SDL_EnableScreenSaver();
    else
        SDL_DisableScreenSaver();
}

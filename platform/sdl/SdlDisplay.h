// The display on the SDL window: a renderer with one streaming texture of the game's size, fed
// from the back buffer in memory. Only the rows written since the last present are uploaded; each
// present then draws the whole texture into the window. In full screen (the desktop's) the frame
// is scaled to the largest size that fits, centred, with bars in the back colour, and sampled
// nearest when the scale is a whole number, smoothly otherwise.
//
// The display is handed the main window and never owns it; CreateMainWindow makes one. The
// window's event loop hands every event to HandleEvent (activation, exposure, lost devices).
#pragma once

#include <SDL.h>

#include <memory>
#include <string>

#include "platform/Display.h"

struct TSdlWindowDeleter {
    void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};
using TSdlWindowPtr = std::unique_ptr<SDL_Window, TSdlWindowDeleter>;

namespace SdlDisplay {

// Starts SDL's video once for the program; false with SDL's reason.
bool InitVideo(std::string& error);
// The main window: hidden until the caller shows it, of the given client size, centred on the
// desktop. Title in UTF-8. Null with SDL's reason when it cannot be made.
TSdlWindowPtr CreateMainWindow(const std::string& utf8Title, int32_t width, int32_t height, std::string& error);

}  // namespace SdlDisplay

class TSdlDisplay final : public IDisplayDevice {
public:
    explicit TSdlDisplay(SDL_Window* window);
    // Releases the renderer and gives the window back to the desktop when it was full screen.
    ~TSdlDisplay() override;
    TSdlDisplay(const TSdlDisplay&) = delete;
    TSdlDisplay& operator=(const TSdlDisplay&) = delete;

    // Takes one event of the window's loop; false when it is none of the display's.
    bool HandleEvent(const SDL_Event& event);

    int32_t DesktopBitDepth() override;
    Viewport::TSize DesktopSize() override;
    // Every size from 1 to 4096 at 32, 24, 16 and 15 bits: the frame is scaled onto the desktop,
    // so any game size can be shown; the refresh rate must be the desktop's when one is asked.
    bool HasMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refresh) override;
    std::vector<TDisplayDriver> Drivers() override;

    bool Open(const TDisplaySetup& setup, TDisplayError& error) override;
    void Close() override;
    bool IsOpen() override { return Renderer != nullptr; }
    bool Accelerated() override;

    bool Lock(TDisplayLock& lock) override;
    bool Unlock() override;
    void MarkChanged(int32_t top, int32_t bottom) override { Buffer.MarkChanged(top, bottom); }
    void Present() override;

    bool IsLost() override { return Lost; }
    bool Restore() override;

    bool WindowActive() override;
    void SetActivateHandler(std::function<void()> handler) override { OnActivate = std::move(handler); }

    bool ScreenSaverEnabled() override { return SDL_IsScreenSaverEnabled() == SDL_TRUE; }
    void SetScreenSaverEnabled(bool enabled) override;

    IDeviceContext& WindowDC() override { return Canvas; }

    // Where the frame lies in the window's drawing area now.
    Viewport::TRect FrameRect();
    // Clears the window to black while the display is closed (an open display draws the window
    // itself). The renderer made for it is kept for the display's next opening.
    void FillBlackWhileClosed();

private:
    // A renderer kept while the display is closed, with the texture of its last opening (or none),
    // and what it was asked for with: opening again with the same request takes it instead of
    // making another, which costs more than many frames.
    struct TSpare {
        SDL_Renderer* Renderer = nullptr;
        SDL_Texture* Texture = nullptr;
        int32_t Driver = -1;
        uint32_t Flags = 0;
    };

    bool CreateDrawing(TDisplayError& error);
    void ReleaseDrawing();
    void ReleaseSpare();
    // Draws the texture into the window and shows it.
    void Show();

    SDL_Window* Window;
    SDL_Renderer* Renderer = nullptr;
    SDL_Texture* Texture = nullptr;
    TSpare Spare;
    TSpare Asked;  // what the open display's renderer was asked for
    TDisplaySetup Setup;
    TBackBuffer Buffer;
    TDisplayWindowDC Canvas;
    std::function<void()> OnActivate;
    bool Lost = false;
    bool DeviceReset = false;  // the renderer itself must be made again
};

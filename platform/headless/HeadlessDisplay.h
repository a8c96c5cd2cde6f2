// A display without a screen: the back buffer lives in memory as on the SDL window, and every
// present can hand the frame to a callback (the headless runner writes them as pictures, tests
// compare them). Tests also set what the device offers, make a step of opening fail, lose the
// device and activate the window.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/Display.h"

// One presented frame.
struct THeadlessFrame {
    int64_t Index = 0;  // counts presents from 1
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;  // 0xFFRRGGBB, row by row
};

struct THeadlessMode {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitDepth = 0;
    int32_t Refresh = 0;
};

class THeadlessDisplay final : public IDisplayDevice {
public:
    THeadlessDisplay();

    int32_t DesktopBitDepth() override { return DesktopDepth; }
    Viewport::TSize DesktopSize() override { return Desktop; }
    // With no list of modes set, every size from 1 to 4096 at 32, 24, 16 and 15 bits: the frame is
    // scaled onto the desktop, as the SDL window does.
    bool HasMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refresh) override;
    std::vector<TDisplayDriver> Drivers() override { return DriverList; }

    bool Open(const TDisplaySetup& setup, TDisplayError& error) override;
    void Close() override;
    bool IsOpen() override { return Opened; }
    bool Accelerated() override;

    bool Lock(TDisplayLock& lock) override;
    bool Unlock() override;
    void MarkChanged(int32_t top, int32_t bottom) override { Buffer.MarkChanged(top, bottom); }
    void Present() override;

    bool IsLost() override { return Lost; }
    bool Restore() override;

    bool WindowActive() override { return Active; }
    void SetActivateHandler(std::function<void()> handler) override { OnActivate = std::move(handler); }

    bool ScreenSaverEnabled() override { return ScreenSaver; }
    void SetScreenSaverEnabled(bool enabled) override { ScreenSaver = enabled; }

    IDeviceContext& WindowDC() override { return Canvas; }

    // ---- the test's side ----
    // The window becomes active (or inactive); activation calls the handler.
    void Activate(bool active = true);
    void LoseDevice() { Lost = true; }
    // The back buffer as 0xFFRRGGBB pixels, as the next present would show it.
    std::vector<uint32_t> Pixels() const;

    int32_t DesktopDepth = 32;
    Viewport::TSize Desktop{1920, 1080};
    std::optional<std::vector<THeadlessMode>> Modes;  // what HasMode finds; unset: every size
    std::vector<TDisplayDriver> DriverList{{"Memory", "memory", false}};
    TDisplayStep FailStep = TDisplayStep::None;  // the next Open fails at this step
    bool Active = true;
    bool ScreenSaver = true;

    // What the device was last opened with, and what it showed.
    TDisplaySetup Setup;
    int32_t Opens = 0;
    int64_t Presents = 0;
    std::vector<Display::TRowSpan> LastPresentRows;  // the rows the last present carried
    // Receives each presented frame; the pixels are converted only while it is set.
    std::function<void(const THeadlessFrame&)> OnFrame;

private:
    TBackBuffer Buffer;
    TDisplayWindowDC Canvas;
    std::function<void()> OnActivate;
    THeadlessFrame Frame;
    bool Opened = false;
    bool Lost = false;
};

// A display device that passes every call on to another one and is told after each present, for
// whoever watches what a window shows (the program's check against headless runs reads each
// presented frame back from its window). The window's canvas goes through the tap as well, so a
// flush of the canvas counts as a present.
#pragma once

#include <functional>
#include <utility>

#include "platform/Display.h"

class TPresentTap final : public IDisplayDevice {
public:
    // The device must outlive the tap.
    TPresentTap(IDisplayDevice& device, std::function<void()> afterPresent)
        : Device(device), AfterPresent(std::move(afterPresent)), Canvas(*this) {}

    int32_t DesktopBitDepth() override { return Device.DesktopBitDepth(); }
    Viewport::TSize DesktopSize() override { return Device.DesktopSize(); }
    bool HasMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refresh) override {
        return Device.HasMode(width, height, bitDepth, refresh);
    }
    std::vector<TDisplayDriver> Drivers() override { return Device.Drivers(); }
    bool Open(const TDisplaySetup& setup, TDisplayError& error) override { return Device.Open(setup, error); }
    void Close() override { Device.Close(); }
    bool IsOpen() override { return Device.IsOpen(); }
    bool Accelerated() override { return Device.Accelerated(); }
    bool Lock(TDisplayLock& lock) override { return Device.Lock(lock); }
    bool Unlock() override { return Device.Unlock(); }
    void MarkChanged(int32_t top, int32_t bottom) override { Device.MarkChanged(top, bottom); }
    void Present() override {
        Device.Present();
        if (AfterPresent) AfterPresent();
    }
    bool IsLost() override { return Device.IsLost(); }
    bool Restore() override { return Device.Restore(); }
    bool WindowActive() override { return Device.WindowActive(); }
    void SetActivateHandler(std::function<void()> handler) override { Device.SetActivateHandler(std::move(handler)); }
    bool ScreenSaverEnabled() override { return Device.ScreenSaverEnabled(); }
    void SetScreenSaverEnabled(bool enabled) override { Device.SetScreenSaverEnabled(enabled); }
    IDeviceContext& WindowDC() override { return Canvas; }

private:
    IDisplayDevice& Device;
    std::function<void()> AfterPresent;
    TDisplayWindowDC Canvas;
};

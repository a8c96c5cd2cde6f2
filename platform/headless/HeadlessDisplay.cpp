#include "platform/headless/HeadlessDisplay.h"

namespace {
constexpr int32_t kLargestSide = 4096;
}

THeadlessDisplay::THeadlessDisplay() : Canvas(*this) {}

bool THeadlessDisplay::HasMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refresh) {
    if (!Modes)
        return Display::DepthSupported(bitDepth) && width >= 1 && width <= kLargestSide && height >= 1 &&
               height <= kLargestSide;
    for (const THeadlessMode& m : *Modes)
        if (m.Width == width && m.Height == height && m.BitDepth == bitDepth && (refresh == 0 || m.Refresh == refresh))
            return true;
    return false;
}

bool THeadlessDisplay::Open(const TDisplaySetup& setup, TDisplayError& error) {
    Close();
    Setup = setup;
    ++Opens;
    const TDisplayStep fail = FailStep;
    FailStep = TDisplayStep::None;
    if (fail == TDisplayStep::None && (setup.Width < 1 || setup.Height < 1 || !Display::DepthSupported(setup.BitDepth)))
        error = {TDisplayStep::DisplayMode, 1, "no such mode"};
    else if (fail != TDisplayStep::None)
        error = {fail, 1, "failure asked by the test"};
    else
        error = {};
    if (error.Step != TDisplayStep::None) return false;
    Buffer.Reset(setup.Width, setup.Height, Display::FormatForDepth(setup.BitDepth), setup.BackColor);
    Opened = true;
    Lost = false;
    return true;
}

void THeadlessDisplay::Close() {
    Buffer.Release();
    Opened = Lost = false;
}

bool THeadlessDisplay::Accelerated() {
    const auto& drivers = DriverList;
    return Opened && Setup.Driver >= 0 && Setup.Driver < int32_t(drivers.size()) && drivers[Setup.Driver].Accelerated;
}

bool THeadlessDisplay::Lock(TDisplayLock& lock) {
    return !(!Opened || Lost) && Buffer.Lock(lock);
}

bool THeadlessDisplay::Unlock() {
    return Buffer.Unlock();
}

void THeadlessDisplay::Present() {
    if (!Opened || Lost) return;
    ++Presents;
    LastPresentRows = Buffer.TakeChanged();
    if (!OnFrame) return;
    Frame.Index = Presents;
    Frame.Width = Buffer.Width();
    Frame.Height = Buffer.Height();
    Buffer.ReadPixels(Frame.Pixels);
    OnFrame(Frame);
}

bool THeadlessDisplay::Restore() {
    if (!Opened) return false;
    if (Lost) Buffer.MarkAll();
    Lost = false;
    return true;
}

void THeadlessDisplay::Activate(bool active) {
    Active = active;
    if (active && OnActivate) OnActivate();
}

std::vector<uint32_t> THeadlessDisplay::Pixels() const {
    std::vector<uint32_t> out;
    Buffer.ReadPixels(out);
    return out;
}

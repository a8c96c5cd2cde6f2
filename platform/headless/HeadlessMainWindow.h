// The main window without a screen: it keeps what was done to it (caption, icon, size, place,
// shown, minimised, black fills) for tests and the headless runner to read, reads its input from
// a scripted source, and raises the window's events when the test's side asks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/MainWindow.h"
#include "platform/headless/HeadlessInput.h"

class THeadlessMainWindow final : public IMainWindow {
public:
    bool ScreenBounds(int& x, int& y, int& width, int& height) const override {
        if (!Shown) return false;
        x = Position.X;
        y = Position.Y;
        width = Client.W;
        height = Client.H;
        return true;
    }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    void SetIcon(const uint32_t*, int32_t width, int32_t height) override { Icon = {width, height}; }
    // The client size set is the game's: the scripted pointer is given in it.
    void SetClientSize(int32_t width, int32_t height) override {
        Client = {width, height};
        Source.Game = Client;
    }
    Viewport::TSize ClientSize() override { return Client; }
    void SetPosition(int32_t x, int32_t y) override { Position = {x, y}; }
    Viewport::TSize ScreenSize() override { return Screen; }
    void Show() override { Shown = true; }
    bool Showing() override { return Shown; }
    bool Active() override { return Source.Active; }
    void Minimize() override { SetMinimized(true); }
    void Restore() override { SetMinimized(false); }
    void FillBlack() override { ++BlackFills; }
    void PumpEvents() override {}
    void WaitForEvents(uint32_t) override {}
    void SetEvents(IMainWindowEvents* events) override { Events = events; }
    IInputSource& Input() override { return Source; }

    // ---- the test's side: the desktop acting on the window ----
    void RequestClose() {
        if (Events) Events->CloseRequested();
    }
    void SetMinimized(bool minimized) {
        if (minimized == IsMinimized) return;
        IsMinimized = minimized;
        if (Events) Events->Minimized(minimized);
    }

    THeadlessInputSource Source;
    std::string Caption = "MainWindow";  // Shift-JIS
    Viewport::TSize Icon{0, 0};          // the size of the icon set, 0 x 0 while none
    Viewport::TSize Client{320, 240};
    Viewport::TPoint Position{0, 0};
    Viewport::TSize Screen{1920, 1080};
    bool Shown = false;
    bool IsMinimized = false;
    int BlackFills = 0;
    IMainWindowEvents* Events = nullptr;
};

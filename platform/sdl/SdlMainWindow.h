// The program's window on SDL, with the display device and the input source that live on it.
// Every event goes to the display and the input source, and the window's own events (close,
// exposure, keys, minimising) to the events sink.
#pragma once

#include <SDL.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/SdlInput.h"

class TSdlMainWindow final : public IMainWindow {
public:
    // A hidden window of the given client size, centred, titled in UTF-8. Input() answers from
    // scripted when it is given; the window's own input events then reach no one. Failed() says
    // whether the window could be made, Error why not.
    TSdlMainWindow(const std::string& utf8Title, int32_t width, int32_t height, IInputSource* scripted = nullptr);
    ~TSdlMainWindow() override;
    TSdlMainWindow(const TSdlMainWindow&) = delete;
    TSdlMainWindow& operator=(const TSdlMainWindow&) = delete;

    bool Failed() const { return !Window; }
    const std::string& Error() const { return FailReason; }
    SDL_Window* Handle() const { return Window.get(); }
    // The display device drawing into this window.
    TSdlDisplay& Display() { return *Screen; }

    bool ScreenBounds(int& x, int& y, int& width, int& height) const override;
    void SetCaption(const std::string& caption) override;
    void SetIcon(const uint32_t* pixels, int32_t width, int32_t height) override;
    void SetClientSize(int32_t width, int32_t height) override;
    Viewport::TSize ClientSize() override;
    void SetPosition(int32_t x, int32_t y) override;
    Viewport::TSize ScreenSize() override;
    void Show() override;
    bool Showing() override;
    bool Active() override;
    void Minimize() override;
    void Restore() override;
    void FillBlack() override;
    void PumpEvents() override;
    void WaitForEvents(uint32_t ms) override;
    void SetEvents(IMainWindowEvents* events) override { Events = events; }
    IInputSource& Input() override;

    // Takes one event as PumpEvents does (for a loop that waits for events itself).
    void HandleEvent(const SDL_Event& event);
    // Runs after every pump and wait: another toolkit in the program that must answer the desktop
    // between frames (a picture it holds on the clipboard) does it there.
    void SetPumpHook(std::function<void()> hook) { PumpHook = std::move(hook); }
    // What the window shows now, as the display last drew it: 0xFFRRGGBB row by row. False while
    // the display draws nothing.
    bool ReadPixels(std::vector<uint32_t>& pixels, int32_t& width, int32_t& height);

private:
    TSdlWindowPtr Window;
    std::string FailReason;
    std::unique_ptr<TSdlDisplay> Screen;
    std::unique_ptr<TSdlInputSource> Source;
    IInputSource* Scripted;
    IMainWindowEvents* Events = nullptr;
    bool IsMinimized = false;
    std::function<void()> PumpHook;
};

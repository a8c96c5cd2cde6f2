// The program's one window as the shell's main window drives it: caption, icon, size and place,
// showing, minimising, and the events it reports back (a close asked for, a paint, keys, being
// minimised or restored). The SDL backend (platform/sdl/SdlMainWindow) is the real one; the
// headless one (platform/headless/HeadlessMainWindow) records what was done to it, for the runner
// and tests. The display device draws into the same window; it is built beside it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Viewport.h"

class IInputSource;

// What the window reports to whoever owns it; each call comes from the event pump.
class IMainWindowEvents {
public:
    virtual ~IMainWindowEvents() = default;
    // The close box, or the desktop asking the program to end.
    virtual void CloseRequested() = 0;
    // The window's picture was lost and must be drawn again.
    virtual void Paint() = 0;
    // A key of the window system, as a virtual-key number; the handler may set it to 0 so the
    // window system does not act on it. The input source sees every key in any case.
    virtual void KeyDown(uint16_t& key) = 0;
    virtual void KeyUp(uint16_t& key) = 0;
    // The window was minimised (true) or restored from being minimised (false).
    virtual void Minimized(bool minimized) = 0;
};

class IMainWindow : public IDialogOwner {
public:
    // Texts are Shift-JIS.
    virtual void SetCaption(const std::string& caption) = 0;
    // A picture of width x height pixels, 0xAARRGGBB row by row from the top.
    virtual void SetIcon(const uint32_t* pixels, int32_t width, int32_t height) = 0;
    virtual void SetClientSize(int32_t width, int32_t height) = 0;
    virtual Viewport::TSize ClientSize() = 0;
    // The top-left corner of the window's client area on the screen.
    virtual void SetPosition(int32_t x, int32_t y) = 0;
    // The primary screen's size in pixels.
    virtual Viewport::TSize ScreenSize() = 0;

    virtual void Show() = 0;
    virtual bool Showing() = 0;
    // Whether the window is the active window of the desktop.
    virtual bool Active() = 0;
    virtual void Minimize() = 0;
    // Brings a minimised window back and makes it active.
    virtual void Restore() = 0;
    // Fills the client area with black; for paints while nothing else can draw the window.
    virtual void FillBlack() = 0;

    // Hands the events that arrived to their receivers (the display, the input source, the
    // events sink) and returns at once when there are none.
    virtual void PumpEvents() = 0;
    // Waits until an event arrives (and hands it on) or ms milliseconds have passed.
    virtual void WaitForEvents(uint32_t ms) = 0;
    virtual void SetEvents(IMainWindowEvents* events) = 0;
    virtual IInputSource& Input() = 0;
};

// The SDL window as the tray icon sees it: whether it is minimised, and its taskbar button, which
// the desktop conventions let a window leave out of the taskbar while it stays what it is.
#pragma once

#include <SDL.h>

#include "platform/TrayIcon.h"

class TSdlTaskbarWindow final : public ITaskbarWindow {
public:
    explicit TSdlTaskbarWindow(SDL_Window* window) : Window(window) {}

    bool Iconic() override;
    // Asks the window manager to leave the window out of the taskbar, or to put it back. Off an X
    // server nothing happens.
    void SetTaskbarButton(bool shown) override;
    void Restore() override;

private:
    SDL_Window* Window;
};

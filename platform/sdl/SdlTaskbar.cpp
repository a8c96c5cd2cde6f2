#include "platform/sdl/SdlTaskbar.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

bool TSdlTaskbarWindow::Iconic() {
    return Window && (SDL_GetWindowFlags(Window) & SDL_WINDOW_MINIMIZED) != 0;
}

void TSdlTaskbarWindow::SetTaskbarButton(bool shown) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!Window || !SDL_GetWindowWMInfo(Window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    ::Display* display = info.info.x11.display;
    const ::Window window = info.info.x11.window;
    // The state change goes to the window manager, which keeps the window's state property.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = shown ? 0 : 1;  // remove, add
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;  // asked by an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

void TSdlTaskbarWindow::Restore() {
    if (!Window) return;
    SDL_RestoreWindow(Window);
    SDL_RaiseWindow(Window);
}

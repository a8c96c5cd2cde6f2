#include "tests/real/XServer.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace XServer {
namespace {

bool Handles(SDL_Window* window, ::Display*& display, ::Window& xwindow) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    display = info.info.x11.display;
    xwindow = info.info.x11.window;
    return true;
}

// The pixels of a window as the server holds them.
bool ReadWindow(::Display* display, ::Window xwindow, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, xwindow, &a)) return false;
    XImage* image = XGetImage(display, xwindow, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (!image) return false;
    width = a.width;
    height = a.height;
    pixels.resize(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * width + x] = XGetPixel(image, x, y) & 0xFFFFFF;
    XDestroyImage(image);
    return true;
}

// A window of another program that is gone answers with an error, which is no reason to end the
// test program.
int IgnoreError(::Display*, XErrorEvent*) {
    return 0;
}

::Display* Server() {
    static ::Display* display = [] {
        XSetErrorHandler(IgnoreError);
        return XOpenDisplay(nullptr);
    }();
    return display;
}

}  // namespace

bool Available(SDL_Window* window) {
    ::Display* display;
    ::Window xwindow;
    return Handles(window, display, xwindow);
}

unsigned long WindowId(SDL_Window* window) {
    ::Display* display;
    ::Window xwindow;
    return Handles(window, display, xwindow) ? xwindow : 0;
}

bool Read(SDL_Window* window, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) {
    ::Display* display;
    ::Window xwindow;
    if (!Handles(window, display, xwindow)) return false;
    XSync(display, False);  // everything drawn so far has reached the server
    return ReadWindow(display, xwindow, pixels, width, height);
}

bool Read(unsigned long id, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) {
    ::Display* display = Server();
    return display && ReadWindow(display, id, pixels, width, height);
}

bool MarkMinimized(SDL_Window* window) {
    ::Display* display;
    ::Window xwindow;
    if (!Handles(window, display, xwindow)) return false;
    Atom hidden = XInternAtom(display, "_NET_WM_STATE_HIDDEN", False);
    XChangeProperty(display, xwindow, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&hidden), 1);
    XFlush(display);
    return true;
}

bool WindowManagerRunning() {
    ::Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    // A manager that follows the desktop conventions names its check window on the root window.
    bool found = false;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check != None) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                              &format, &count, &after, &data);
        found = status == Success && data && count == 1;
        if (data) XFree(data);
    }
    XCloseDisplay(display);
    return found;
}

}  // namespace XServer

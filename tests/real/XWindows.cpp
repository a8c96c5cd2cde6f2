#include "tests/real/XWindows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace XWindows {
namespace {

// A window that is gone answers with an error, which is no reason to end the test program.
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

bool Read(unsigned long id, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) {
    ::Display* display = Server();
    if (!display) return false;
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, id, &a)) return false;
    XImage* image = XGetImage(display, id, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
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

}  // namespace XWindows

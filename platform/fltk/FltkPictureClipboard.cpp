#include "platform/fltk/FltkPictureClipboard.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <vector>

#include "platform/fltk/FltkDialogs.h"

bool TFltkPictureClipboard::Put(const uint32_t* pixels, int32_t width, int32_t height) {
    if (!pixels || width <= 0 || height <= 0 || !TFltkDialogs::DisplayAvailable()) return false;
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i) {
        rgb[3 * i] = static_cast<unsigned char>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(pixels[i]);
    }
    // The toolkit takes the clipboard with the time of the last event it handled, which may be
    // long past (a form closed since): the server refuses a take older than the present owner's.
    // The current time always counts.
    fl_event_time = CurrentTime;
    Fl::copy_image(rgb.data(), width, height, 1);
    XSync(fl_display, False);
    Serving = true;
    return true;
}

void TFltkPictureClipboard::Serve() {
    if (Serving) Fl::check();
}

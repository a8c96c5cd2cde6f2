#include "platform/fltk/FltkPictureClipboard.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <vector>

#include "platform/fltk/FltkDialogs.h"
#include "platform/fltk/FltkPixels.h"

bool TFltkPictureClipboard::Put(const uint32_t* pixels, int32_t width, int32_t height) {
    if (!pixels || width <= 0 || height <= 0 || !TFltkDialogs::DisplayAvailable()) return false;
    const std::vector<unsigned char> rgb =
        FltkPixels::ToRgb(pixels, static_cast<size_t>(width) * static_cast<size_t>(height));
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

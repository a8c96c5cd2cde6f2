// Pictures on the desktop's clipboard through FLTK, which offers them to other programs as BMP
// images. The toolkit hands the picture over only while its events are handled: Serve does that
// between frames once a picture was put, until the program ends.
#pragma once

#include <cstdint>

class TFltkPictureClipboard {
public:
    // Puts a picture of width x height pixels (0xAARRGGBB, rows from the top; alpha is dropped)
    // on the clipboard; false when no X display can be opened. The X server knows the new owner
    // when it returns.
    bool Put(const uint32_t* pixels, int32_t width, int32_t height);
    // Answers the requests of other programs; cheap while none are waiting.
    void Serve();

private:
    bool Serving = false;
};

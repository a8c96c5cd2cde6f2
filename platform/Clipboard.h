// The desktop's clipboard as scripts use it: text in and out, and a picture put on it. Texts cross
// this interface in Shift-JIS; the backends hold them in UTF-8, as the desktop does, so that other
// programs paste what a game copied. The SDL backend (platform/sdl/SdlClipboard) is the real one;
// the in-memory one (platform/headless/HeadlessClipboard) serves runs without a display.
#pragma once

#include <cstdint>
#include <string>

class IClipboard {
public:
    virtual ~IClipboard() = default;

    // Replaces whatever the clipboard held.
    virtual void SetText(const std::string& sjis) = 0;
    // The clipboard's text in Shift-JIS; empty when it holds none. Characters that Shift-JIS has
    // no code for arrive as replacement characters.
    virtual std::string Text() = 0;
    virtual bool HasText() = 0;
    // Whether the clipboard offers a picture of any image type.
    virtual bool HasPicture() = 0;
    // Puts a picture of width x height pixels (0xAARRGGBB, rows from the top) in place of what the
    // clipboard held; false, changing nothing, where this clipboard cannot take pictures.
    virtual bool SetPicture(const uint32_t* pixels, int32_t width, int32_t height) = 0;
};

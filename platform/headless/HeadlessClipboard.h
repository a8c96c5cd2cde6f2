// A clipboard in memory, for runs without a display: it holds what was put on it, text and picture
// as a desktop clipboard holds them, and tests may fill it as another program would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/Encoding.h"

class THeadlessClipboard final : public IClipboard {
public:
    void SetText(const std::string& sjis) override {
        Clear();
        Utf8Text = Encoding::SjisToUtf8(sjis);
        TextHeld = true;
    }
    std::string Text() override { return TextHeld ? Encoding::Utf8ToSjis(Utf8Text) : std::string(); }
    bool HasText() override { return TextHeld; }
    bool HasPicture() override { return PictureWidth > 0 && PictureHeight > 0; }
    bool SetPicture(const uint32_t* pixels, int32_t width, int32_t height) override {
        if (!pixels || width <= 0 || height <= 0) return false;
        Clear();
        Picture.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
        PictureWidth = width;
        PictureHeight = height;
        return true;
    }
    void Clear() {
        Utf8Text.clear();
        TextHeld = false;
        Picture.clear();
        PictureWidth = PictureHeight = 0;
    }

    // What another program would see.
    std::string Utf8Text;
    bool TextHeld = false;
    std::vector<uint32_t> Picture;
    int32_t PictureWidth = 0, PictureHeight = 0;
};

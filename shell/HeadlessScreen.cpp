#include "shell/HeadlessScreen.h"

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <vector>

void THeadlessScreen::CaptureTo(const std::string& folder, int64_t every) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);  // a failure shows at the first write
    Capture = [this, folder, every](const THeadlessFrame& frame) {
        if (!WriteError.empty() || (frame.Index - 1) % every != 0) return;
        char name[32];
        std::snprintf(name, sizeof name, "/frame%06lld.png", static_cast<long long>(frame.Index));
        if (WritePng(folder + name, frame))
            ++FramesWritten;
        else
            WriteError = folder + name + ": " + WriteError;
    };
    Device.OnFrame = Capture;
}

bool THeadlessScreen::WritePng(const std::string& path, const THeadlessFrame& frame) {
    std::vector<uint8_t> rgb(static_cast<size_t>(frame.Width) * frame.Height * 3);
    for (size_t i = 0; i < frame.Pixels.size(); ++i) {
        rgb[3 * i] = static_cast<uint8_t>(frame.Pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<uint8_t>(frame.Pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<uint8_t>(frame.Pixels[i]);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(frame.Width);
    image.height = static_cast<png_uint_32>(frame.Height);
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) return true;
    WriteError = image.message;
    png_image_free(&image);
    return false;
}

// The display of a headless run: the display component and the display starter over the in-memory
// display device, set up as the main window sets them up, and the presented frames written as PNG
// pictures when asked.
#pragma once

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/DirectXPackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/dddd7.h"
#include "platform/Encoding.h"
#include "platform/headless/HeadlessDisplay.h"
#include "shell/DirectXPackDisplay.h"

class THeadlessScreen {
public:
    THeadlessScreen() {
        DDDD.SetDebugOption(ddoHaltOnError);
        DDDD.AutoDisplayModeInitialize = false;
        DDDD.VsyncAtWindowed = false;
        // A failed display call ends the run, not the process that hosts it.
        DDDD.OnHalt = [this](const std::string& reason) { HaltReason = Encoding::SjisToUtf8(reason); };
        DDDD.Loaded();
    }

    // Starts the display at the game's screen size, as the main window does before the engine
    // core is set up. False with the reason.
    bool Start(std::string& error) {
        // The starter replaces sizes out of range the same way when it sets the game's mode.
        const int32_t w = SystemConfigLib::Config.ScreenWidth, h = SystemConfigLib::Config.ScreenHeight;
        DDDD.InitialScreenWidth = w >= 1 && w <= 4096 ? w : 800;
        DDDD.InitialScreenHeight = h >= 1 && h <= 4096 ? h : 600;
        if (!DDDD.Start() || !HaltReason.empty()) {
            error = "the display could not be started: " + HaltReason;
            return false;
        }
        return true;
    }

    // Writes the first presented frame and every Nth after it to folder/frameNNNNNN.png (N: the
    // count of presents). A picture that cannot be written stops the writing; the reason stays in
    // WriteError.
    void CaptureTo(const std::string& folder, int64_t every) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);  // a failure shows at the first write
        Device.OnFrame = [this, folder, every](const THeadlessFrame& frame) {
            if (!WriteError.empty() || (frame.Index - 1) % every != 0) return;
            char name[32];
            std::snprintf(name, sizeof name, "/frame%06lld.png", static_cast<long long>(frame.Index));
            if (WritePng(folder + name, frame))
                ++FramesWritten;
            else
                WriteError = folder + name + ": " + WriteError;
        };
    }

    THeadlessDisplay Device;
    TDDDD7 DDDD{&Device};
    TDirectXPack Starter{nullptr, &DDDD, nullptr};
    TDirectXPackDisplay Seam{Starter};
    std::string HaltReason;  // UTF-8
    int64_t FramesWritten = 0;
    std::string WriteError;

private:
    bool WritePng(const std::string& path, const THeadlessFrame& frame) {
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
};

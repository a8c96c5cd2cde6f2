// The display of a headless run: the in-memory display device the main window's display
// component draws on, and the presented frames written as PNG pictures when asked. A run in a real
// window hands the frames it reads back from the window to the same writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/headless/HeadlessDisplay.h"

class THeadlessScreen {
public:
    // Writes the first presented frame and every Nth after it to folder/frameNNNNNN.png (N: the
    // count of presents). A picture that cannot be written stops the writing; the reason stays in
    // WriteError.
    void CaptureTo(const std::string& folder, int64_t every);

    THeadlessDisplay Device;
    // The writer CaptureTo set up, for frames presented elsewhere; empty while nothing is captured.
    std::function<void(const THeadlessFrame&)> Capture;
    int64_t FramesWritten = 0;
    std::string WriteError;

private:
    bool WritePng(const std::string& path, const THeadlessFrame& frame);
};

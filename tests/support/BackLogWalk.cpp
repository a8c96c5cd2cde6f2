#include "tests/support/BackLogWalk.h"

#include <algorithm>
#include <cmath>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/HostFiles.h"
#include "platform/LittleEndian.h"
#include "shell/HeadlessRunner.h"

namespace BackLogWalk {

bool DemoBindsTheBackLog() {
    std::string script;
    return HostFiles::Read(std::string(KEL_SOURCE_DIR) + "/demo/startup.s.utf8", script) &&
           script.find("\"log\"") != std::string::npos;
}

int64_t FramesUntilLogged(const std::string& demoFolder, int32_t lines, int64_t* periodMs) {
    int64_t frames = 0;
    {
        THeadlessGame game;
        std::string error;
        if (game.Open(demoFolder, error))
            while (game.Engine->LogData->Count < lines && game.FramesRun < 3000 && !game.Exited)
                game.Run(1);
        if (game.Engine && game.Engine->LogData->Count >= lines) {
            frames = game.FramesRun;
            if (periodMs) *periodMs = std::max<int64_t>(game.FakeClock.Now / game.FramesRun, 1);
        }
    }
    return frames;
}

TPlan Plan(const std::string& demoFolder) {
    TPlan plan;
    int64_t periodMs = 1;
    plan.Logged = FramesUntilLogged(demoFolder, 2, &periodMs);
    if (plan.Logged == 0) return plan;
    // A second after the line, so that its own voice has ended; the screen ignores input for its
    // first 200 ms. The second line is the lower row, 64 pixels under the first at y 70.
    plan.Open = plan.Logged + 40;
    plan.Down = plan.Open + 24;
    plan.Up = plan.Down + 24;
    plan.Click = plan.Up + 4;
    plan.Leave = plan.Click + 8;
    // The streams are mixed ahead into a ring of "StreamLength" bytes (131072 in the demo, 743 ms),
    // so what the sound library does reaches the output up to that much later: the replay and the
    // 500 ms fade on leaving are heard well after their frames. Two seconds more hear both out.
    plan.End = plan.Leave + (2000 + periodMs - 1) / periodMs;
    plan.Input = std::to_string(plan.Open) + " wheel 120\n" + std::to_string(plan.Down) + " wheel -120\n" +
                 std::to_string(plan.Up) + " wheel 120\n" + std::to_string(plan.Click) + " click 400 170\n" +
                 std::to_string(plan.Leave) + " tap 27\n";
    return plan;
}

std::vector<std::pair<int32_t, int32_t>> LoudStretches(const std::string& wavePath, double level) {
    std::vector<std::pair<int32_t, int32_t>> out;
    std::string bytes;
    if (!HostFiles::Read(wavePath, bytes)) return out;
    const size_t data = bytes.find("data");
    if (data == std::string::npos || data + 8 > bytes.size()) return out;
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data()) + data + 8;
    const size_t frames = (bytes.size() - data - 8) / 4;
    constexpr size_t kWindow = 44100 / 40;  // 25 ms of stereo frames
    int32_t start = -1;
    for (size_t w = 0; w + kWindow <= frames; w += kWindow) {
        double sum = 0;
        for (size_t i = 0; i < 2 * kWindow; ++i) {
            const double v = static_cast<int16_t>(LittleEndian::Get16(s + 2 * (2 * w + i)));
            sum += v * v;
        }
        const bool loud = std::sqrt(sum / (2 * kWindow)) > level;
        const auto ms = static_cast<int32_t>(w * 1000 / 44100);
        if (loud && start < 0) start = ms;
        if (!loud && start >= 0) out.emplace_back(start, ms), start = -1;
    }
    return out;
}

int32_t ThumbEnd(const std::string& pngPath) {
    std::string bytes;
    if (!HostFiles::Read(pngPath, bytes)) return -1;
    const auto picture = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!picture || picture->Width != 800 || picture->Height != 600) return -1;
    auto thumbAt = [&](int32_t y) { return (picture->ScanLine(y)[738] & 0xFFFFFF) == 0xFFE9A8; };
    return thumbAt(90) ? 0 : thumbAt(490) ? 1 : -1;
}

}  // namespace BackLogWalk

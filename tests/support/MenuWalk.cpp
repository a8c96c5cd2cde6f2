#include "tests/support/MenuWalk.h"

#include <cstdlib>
#include <filesystem>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/HostFiles.h"
#include "tests/support/BackLogWalk.h"

namespace MenuWalk {

namespace {
uint32_t At(const TBitmap32& p, int32_t x, int32_t y) {
    return p.ScanLine(y)[x] & 0xFFFFFFu;
}
}  // namespace

TPlan Plan(const std::string& demoFolder) {
    TPlan plan;
    plan.Shown = BackLogWalk::FramesUntilLogged(demoFolder, 1);
    if (plan.Shown == 0) return plan;
    // The menu ignores input for its first 200 ms and for 150 ms after a click, a dozen frames at
    // most. The buttons are 240 x 56 from x 280; QUICK LOAD's top is at y 210, MARK's at 330.
    plan.Open = plan.Shown + 20;
    plan.Quick = plan.Open + 40;
    plan.Mark = plan.Quick + 20;
    plan.Cancel = plan.Mark + 20;
    plan.End = plan.Cancel + 36;
    plan.Input = std::to_string(plan.Open) + " tap 2\n" + std::to_string(plan.Quick) + " click 400 238\n" +
                 std::to_string(plan.Mark) + " click 400 358\n" + std::to_string(plan.Cancel) + " tap 2\n";
    return plan;
}

std::map<int64_t, std::string> Frames(const std::string& folder) {
    std::map<int64_t, std::string> frames;
    for (const auto& f : std::filesystem::directory_iterator(folder))
        frames[std::stoll(f.path().stem().string().substr(5))] = f.path().string();
    return frames;
}

std::unique_ptr<TBitmap32> Picture(const std::string& pngPath) {
    std::string bytes;
    if (!HostFiles::Read(pngPath, bytes)) return nullptr;
    auto picture = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (picture && (picture->Width != 800 || picture->Height != 600)) picture.reset();
    return picture;
}

uint32_t Park(const TBitmap32& frame) {
    return At(frame, 100, 100);
}

uint32_t Dimmed(uint32_t game) {
    TARGB8888 still;
    still.SetSize(2, 2);
    still.ScanLine(0)[0] = 0xFF000000u | game;
    still.FillRectEx(0xA0000010, bmBlend, 0, 0, 2, 2, 0, 1024);
    return still.ScanLine(0)[0] & 0xFFFFFFu;
}

bool Near(uint32_t a, uint32_t b) {
    for (int shift : {16, 8, 0})
        if (std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)) > 2) return false;
    return true;
}

bool PanelShown(const TBitmap32& frame) {
    return (At(frame, 242, 300) & 0xFF) > 0xC0u;
}

bool MarkChecked(const TBitmap32& frame) {
    return At(frame, 304, 358) == 0xFFE9A8u;
}

}  // namespace MenuWalk

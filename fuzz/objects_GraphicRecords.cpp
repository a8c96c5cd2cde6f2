// The saved state of the screen compositor and of the camera read from any bytes: the compositor's
// record, its transition image and its JPEG captures, then the camera's record from what is left.
// Whatever loads is then run for a few frames (the transition advanced, rendered over a small
// scene, presented to a headless display), so that a loaded kind, layer, time or colour that no
// running game would reach is drawn as well. The packs hold one rule picture, "rule.bmp", and one
// animation, "wipe.b"; no other file is read. The seeds are saves of each transition kind.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/DisplayComponent.h"
#include "foundation/PackLib.h"
#include "foundation/uMisc_Math.h"
#include "media/AnimationBmpWriter.h"
#include "objects/KelCameraLib.h"
#include "objects/KelGraphicLib.h"
#include "platform/headless/HeadlessDisplay.h"

namespace {

// A 6 x 4 grey ramp as a BMP picture.
std::string RulePicture() {
    TARGB8888 ramp;
    ramp.SetSize(6, 4);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x)
            ramp.ScanLine(y)[x] = 0xFF000000u | 0x010101u * static_cast<uint32_t>(x * 51);
    TMemoryStream bmp;
    ramp.SaveToStream(&bmp);
    return bmp.AsString();
}

// 300 ms of its picture 0 (the held picture, once given) moving right, then the end.
std::string Animation() {
    AnimationBmpWriter::TLayer layer;
    layer.Keys[0].Kind = static_cast<uint8_t>(TABMPKind::Draw);
    layer.Keys[0].DstCurve = static_cast<uint8_t>(TABMPCurve::Linear);
    layer.Keys[1].Kind = static_cast<uint8_t>(TABMPKind::Draw);
    layer.Keys[1].Time = 300;
    layer.Keys[1].DstX = 6;
    layer.Keys[1].Command = static_cast<uint8_t>(TABMPCommand::End);
    AnimationBmpWriter::TFile file;
    file.Length = 300;
    file.Motions.push_back({"*Enable", {layer}});
    file.Images.push_back({"pic", static_cast<uint8_t>(AnimationBmpWriter::TImageType::Bmp), RulePicture()});
    return AnimationBmpWriter::Write(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string rule = RulePicture(), animation = Animation();
    TPackSet packs;
    packs.FileExistsHook = [](const std::string& name) { return name == "rule.bmp" || name == "wipe.b"; };
    packs.LoadFileHook = [](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        if (name == "rule.bmp") return std::make_unique<TMemoryStream>(rule);
        if (name == "wipe.b") return std::make_unique<TMemoryStream>(animation);
        return nullptr;
    };

    THeadlessDisplay device;
    TDDDD7 display(&device);
    display.AutoDisplayModeInitialize = false;
    display.OnHalt = [](const std::string&) {};
    display.InitialScreenWidth = 6;
    display.InitialScreenHeight = 4;
    display.Loaded();
    display.Start();

    TARGB8888 scene;
    scene.SetSize(6, 4);
    scene.FillRect(0, 0, 6, 4, 0xFF4080C0);
    TInterlace lace;
    TKelGraphic graphic(packs);
    graphic.CellDraw()->Interlace = &lace;
    graphic.SetSize(6, 4);
    graphic.Clear();
    graphic.OnDraw = [&](int32_t interlace, bool, int32_t maxLayer) {
        graphic.CellDraw()->AddDraw(&scene, 0, 0, 0, 0, 0, 6, 4, 0, 0, 255, 0, 0xFFFFFF, bmBlend);
        return graphic.Render(interlace, maxLayer);
    };

    TMemoryStream stream(std::string_view(reinterpret_cast<const char*>(data), size));
    graphic.LoadFromStream(stream);
    uMisc_Math::TRandomState random;
    TCamera camera(random);
    camera.LoadFromStream(stream);
    for (int frame = 0; frame < 4; ++frame) {
        graphic.UpdateTransition(frame * 700);
        camera.Advance(frame * 700);
        graphic.OnDraw(frame & 1, true, 0xFFFF);
        graphic.Present(&display, frame == 3, (frame & 1) != 0);
        lace.ToggleField();
    }
    TMemoryStream saved;
    graphic.SaveToStream(saved);
    camera.SaveToStream(saved);
    graphic.SaveScreenshot(saved);

    return 0;
}

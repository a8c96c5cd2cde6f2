#include "objects/KelCursorImage.h"

#include "objects/KelScreenObjects.h"
#include "script/KelScriptLib.h"

TKelCursorImage::TKelCursorImage(TKelScript& script)
    : Script(script), Picture(ImageLib::Make<TImageLib>(KelScreenObjects::AnimationSoundOf(script))) {}

void TKelCursorImage::Draw(uint32_t mask) {
    IScriptCompositor* compositor = Script.Links.Compositor;
    Picture->Draw(compositor ? compositor->CellDraw() : nullptr, mask, 0, 0);
}

namespace KelCursorImage {

void Register(TObjectKindRegistry& registry) {
    registry.RegisterCursorMaker([](TKelScript& script, bool) -> std::unique_ptr<IScriptCursorImage> {
        return std::make_unique<TKelCursorImage>(script);
    });
}

}  // namespace KelCursorImage

#include "objects/KelCursorImage.h"

#include "foundation/PackLib.h"
#include "objects/KelScreenObjects.h"
#include "script/KelScriptLib.h"

TKelCursorImage::TKelCursorImage(TKelScript& script)
    : Script(script), Picture(ImageLib::Make<TImageLib>(script.Packs(), KelScreenObjects::AnimationSoundOf(script))) {
    KelScreenObjects::LinkToGame(*Picture, script);
}

void TKelCursorImage::Draw(uint32_t mask) {
    IScriptCompositor* compositor = Script.Links.Compositor;
    Picture->Draw(compositor ? compositor->CellDraw() : nullptr, mask, 0, 0);
}

namespace KelCursorImage {

const char* const kDebugSkipFile = "System\\etc\\DebugSkip.b";
const char* const kSceneSkipFile = "System\\SceneSkip\\SceneSkip.b";

void Register(TObjectKindRegistry& registry) {
    registry.RegisterCursorMaker([](TKelScript& script, TScriptImageRole role) -> std::unique_ptr<IScriptCursorImage> {
        auto image = std::make_unique<TKelCursorImage>(script);
        if (role == TScriptImageRole::SkipIndicator) {
            // The name decides: a debug indicator that the packs hold but that does not load leaves
            // the indicator empty rather than falling back to the scene-skip one.
            const bool debug = !script.Packs().ResolveFileName(kDebugSkipFile).empty();
            image->Image().LoadImages(debug ? kDebugSkipFile : kSceneSkipFile, "", "", "", "", false, false);
        }
        return image;
    });
}

}  // namespace KelCursorImage

#include "objects/KelScreenObjects.h"

#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace KelScreenObjects {

TKelScreenObjectInfo InfoOf(const TImageLib& image) {
    const TImageRecord& r = image.Record;
    TKelScreenObjectInfo info;
    info.X = r.X;
    info.Y = r.Y;
    info.Z = r.Z;
    info.Alpha = r.Alpha;
    info.File1 = r.Files[0];
    info.File2 = r.Files[1];
    info.Enabled = image.IsEnabled();
    info.MotionIndex = image.GetMotionIndex();
    info.MotionName = image.GetCurrentMotionName();
    info.InputMask = r.InputMask;
    info.ClickX = r.ClickX;
    info.ClickY = r.ClickY;
    return info;
}

IAnimationSound* AnimationSoundOf(TKelScript& script) {
    return script.Links.SoundLibrary ? &script.Links.SoundLibrary->AnimationSound() : nullptr;
}

void LinkToGame(TImageLib& image, TKelScript& script) {
    image.UseMedia(script.Links.Media);
    image.UseRandom(&script.Random());
}

void LinkToGame(TImageScrollBar& bar, TKelScript& script) {
    bar.UseMedia(script.Links.Media);
    bar.UseRandom(&script.Random());
}

void LinkToGame(TMessageLib& window, TKelScript& script) {
    LinkToGame(static_cast<TImageLib&>(window), script);
    window.WarningLog = &script.Log();
    window.Fonts = FontsOf(script.Links.Media);
    window.Config = &script.Config().Config;
    window.AutoModeWait = &script.AutoModeWait();
}

namespace {

template <typename TObject>
TObjectFactory ImageMaker() {
    return [](TKelScript& script, const std::string& name) -> std::unique_ptr<TKelObjectDataCustom> {
        auto image = ImageLib::Make<TImageLib>(script.Packs(), AnimationSoundOf(script));
        LinkToGame(*image, script);
        return std::make_unique<TObject>(name, std::make_unique<TKelScreenObjectLink<TImageLib>>(std::move(image)));
    };
}

std::unique_ptr<TKelObjectDataCustom> MakeScrollBar(TKelScript& script, const std::string& name) {
    auto bar = std::make_unique<TImageScrollBar>(script.Packs(), AnimationSoundOf(script));
    LinkToGame(*bar, script);
    return std::make_unique<TKelObjectDataScrollBar>(name, script.Links.Input,
                                                     std::make_unique<TKelScrollBarLink>(std::move(bar)));
}

// Buttons play their animations' sounds; their captions have no voices and no back-log.
template <typename TObject>
TObjectFactory ButtonMaker() {
    return [](TKelScript& script, const std::string& name) -> std::unique_ptr<TKelObjectDataCustom> {
        auto button = ImageLib::Make<TButtonLib>(script.Packs(), AnimationSoundOf(script));
        LinkToGame(*button, script);
        return std::make_unique<TObject>(name, std::make_unique<TButtonLink>(std::move(button)));
    };
}

std::unique_ptr<TKelObjectDataCustom> MakeMessage(TKelScript& script, const std::string& name) {
    auto window =
        ImageLib::Make<TMessageLib>(script.Packs(), AnimationSoundOf(script),
                                    MessageLib::StreamVoices(script.Links.SoundLibrary), script.Links.BackLog);
    LinkToGame(*window, script);
    window->UseConfigSpeed = 1;
    return std::make_unique<TKelObjectDataMessage>(name, std::make_unique<TMessageLink>(std::move(window)));
}

}  // namespace

void Register(TObjectKindRegistry& registry) {
    registry.RegisterFactory("img", ImageMaker<TKelObjectDataImage>());
    registry.RegisterFactory("simg", ImageMaker<TKelObjectDataSysImage>());
    registry.RegisterFactory("msg", MakeMessage);
    registry.RegisterFactory("btn", ButtonMaker<TKelObjectDataButton>());
    registry.RegisterFactory("sbtn", ButtonMaker<TKelObjectDataSysButton>());
    registry.RegisterFactory("bar", MakeScrollBar);
}

}  // namespace KelScreenObjects

TKelScreenObjectInfo TKelScrollBarLink::Info() const {
    const TScrollBarRecord& r = Bar->Record;
    TKelScreenObjectInfo info;
    info.X = r.X;
    info.Y = r.Y;
    info.Z = r.Z;
    info.Alpha = Bar->Track->Record.Alpha;
    info.File1 = r.ThumbFile;
    info.File2 = r.TrackFile;
    info.Enabled = Bar->IsEnabled();
    info.InputMask = r.InputMask;
    return info;
}

#include "objects/KelGraphicLib.h"

#include <algorithm>
#include <typeinfo>
#include <vector>

#include "foundation/DisplayComponent.h"
#include "foundation/StreamStrings.h"
#include "foundation/SystemConfigLib.h"
#include "media/AnimationBmpLib.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "objects/KelCameraLib.h"
#include "objects/KelScreenObjects.h"
#include "platform/LittleEndian.h"
#include "script/KelScriptLib.h"

namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000;
constexpr uint32_t kUntinted = 0xFFFFFF;
// The held picture of a freeze lies below everything a script puts at 60000 or above.
constexpr int32_t kFreezeLayerLimit = 60000;
constexpr int32_t kAnimationLayer = 65500;
// The transition image is updated and drawn whatever its masks say.
constexpr uint32_t kAllBits = 0xFFFFFFFF;
constexpr int32_t kJpegQuality = 90;
constexpr size_t kFileCapacity = 127;
constexpr int32_t kCaptureFlag = 0;  // Flags[0]: "Capture.jpg" follows
constexpr int32_t kBufferFlag = 1;   // Flags[1]: "Buffer.jpg" follows

std::unique_ptr<TARGB8888> NewPicture(int32_t w, int32_t h) {
    auto p = std::make_unique<TARGB8888>();
    p->SetSize(w, h);
    return p;
}

bool IsAnimationFile(const std::string& file) {
    return ARGB8888Lib::ExtensionOf(file) == ".b";
}

}  // namespace

// ---- record ----

void TKelGraphicRecord::Write(TStream& s) const {
    TRecordWriter w(kSize);
    w.U32(BackColor);
    w.U8(FrameBlend);
    w.Short(TransitionFile, 127);
    w.U8(Kind);
    w.I32(Elapsed);
    w.I32(Duration);
    w.U32(FadeTarget);
    w.U32(FadeStart);
    w.U8(FadeMode);
    w.U8(EffectChannel);
    w.U8(SoundChannel);
    w.I32(Layer);
    for (uint8_t f : Flags)
        w.U8(f);
    for (uint8_t b : Reserved)
        w.U8(b);
    w.WriteTo(s);
}

bool TKelGraphicRecord::Read(TStream& s) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(s, kSize, bytes)) return false;
    TRecordReader r(bytes);
    BackColor = r.U32();
    FrameBlend = r.U8();
    TransitionFile = r.Short(127);
    Kind = r.U8();
    Elapsed = r.I32();
    Duration = r.I32();
    FadeTarget = r.U32();
    FadeStart = r.U32();
    FadeMode = r.U8();
    EffectChannel = r.U8();
    SoundChannel = r.U8();
    Layer = r.I32();
    for (uint8_t& f : Flags)
        f = r.U8();
    for (uint8_t& b : Reserved)
        b = r.U8();
    return true;
}

static_assert(4 + 1 + 128 + 1 + 4 + 4 + 4 + 4 + 1 + 1 + 1 + 4 + 4 + 2048 == TKelGraphicRecord::kSize);

// ---- life cycle ----

TKelGraphic::TKelGraphic(const TPackSet& packs, IAnimationSound* sound)
    : Cells(std::make_unique<TARGB8888CellDraw>()), TransitionImage(ImageLib::Make<TImageLib>(packs, sound)) {
    Cells->SetScreenSize(ScreenWidth, ScreenHeight);
    HeldPicture = NewPicture(ScreenWidth, ScreenHeight);
    WholeFrame = NewPicture(ScreenWidth, ScreenHeight);
    Record.SoundChannel = static_cast<uint8_t>(TransitionImage->Record.SoundChannel);
    Record.EffectChannel = static_cast<uint8_t>(TransitionImage->Record.EffectChannel);
}

TKelGraphic::~TKelGraphic() = default;

void TKelGraphic::SetSize(int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == ScreenWidth && height == ScreenHeight) return;
    ScreenWidth = width;
    ScreenHeight = height;
    Cells->SetScreenSize(width, height);
    HeldPicture = NewPicture(width, height);
    WholeFrame = NewPicture(width, height);
}

void TKelGraphic::Clear() {
    Record = TKelGraphicRecord();
    EndTransition();
    Cells->Clear();
    ResetTransitionImage();
    Record.BackColor = kOpaqueBlack;
}

void TKelGraphic::InvalidateAll() {
    Cells->InvalidateAll();
}

// ---- transitions ----

void TKelGraphic::SetKind(uint8_t kind) {
    Record.Kind = kind;
    FullRedraw = true;
    Cells->InvalidateAll();
}

void TKelGraphic::ResetTransitionImage() {
    TransitionImage->Clear();
}

void TKelGraphic::GiveHeldPictureToAnimation() {
    TAnimationBMP& animation = *TransitionImage->Animation;
    if (animation.Images && animation.Images->Count() > 0) animation.Images->Items[0]->SetImage(HeldPicture.get());
}

bool TKelGraphic::TransitionAnimationLoaded() const {
    return TransitionImage->IsVisible() && !TransitionImage->Record.Files[0].empty();
}

bool TKelGraphic::LoadTransitionImage(const std::string& file) {
    TImageLib& image = *TransitionImage;
    // Loaded afresh every time, and never from the memory pictures of an earlier transition.
    const bool loaded = image.LoadImages(file, "", "", "", "", true, false);
    image.MoveTo(0, 0, kAnimationLayer, 0);
    GiveHeldPictureToAnimation();
    image.SetMotionByIndex(0, true);
    image.SetSoundChannel(Record.SoundChannel);
    image.SetEffectChannel(Record.EffectChannel);
    image.Show();
    return loaded;
}

void TKelGraphic::StartTransition(uint8_t kind, int32_t ms, int32_t layer) {
    ResetTransitionImage();
    Record.TransitionFile.clear();
    SetKind(kind);
    Record.Layer = layer;
    Record.Elapsed = 0;
    Record.Duration = ms;
}

void TKelGraphic::Freeze(int32_t layer) {
    ResetTransitionImage();
    Record.TransitionFile.clear();
    if (Record.Kind == tkFreeze) return;
    TARGB8888* frame = Cells->FrameBuffer.get();
    if (OnDraw) OnDraw(0, true, layer);
    frame->Draw(HeldPicture.get(), 0, 0, 0, 0, frame->Width(), frame->Height());
    // The held picture shows the layers below the given one; the frame shows the whole scene again.
    if (layer != kWholeScreenLayer && OnDraw) OnDraw(0, true, kWholeScreenLayer);
    HeldPicture->FillAlpha(0, 0, ScreenWidth, ScreenHeight, 255);
    SetKind(tkFreeze);
    Record.Layer = layer;
    Record.Elapsed = 0;
    Record.Duration = 0;
    Record.FadeTarget = kOpaqueBlack;
    Record.FadeMode = 0;
}

void TKelGraphic::FadeIn(int32_t ms, int32_t layer) {
    StartTransition(tkFadeIn, ms, layer);
}

void TKelGraphic::FadeOut(int32_t ms, int32_t layer) {
    StartTransition(tkFadeOut, ms, layer);
}

void TKelGraphic::RuleIn(int32_t ms, int32_t layer, const std::string& file) {
    StartTransition(tkRuleIn, ms, layer);
    LoadRuleImage(file);
    Record.TransitionFile = file.substr(0, kFileCapacity);
}

void TKelGraphic::RuleOut(int32_t ms, int32_t layer, const std::string& file) {
    StartTransition(tkRuleOut, ms, layer);
    LoadRuleImage(file);
    Record.TransitionFile = file.substr(0, kFileCapacity);
}

void TKelGraphic::ColorFade(int32_t ms, int32_t layer, uint32_t color, uint8_t mode) {
    const uint32_t previous = Record.FadeTarget;
    StartTransition(tkColorFade, ms, layer);
    Record.FadeStart = previous;
    Record.FadeTarget = color;
    Record.FadeMode = mode;
}

void TKelGraphic::AnimIn(int32_t ms, int32_t layer, const std::string& file) {
    if (!IsAnimationFile(file)) {
        ResetTransitionImage();
        Record.TransitionFile.clear();
        return;
    }
    StartTransition(tkAnimIn, ms, layer);
    Record.TransitionFile = file.substr(0, kFileCapacity);
    LoadTransitionImage(file);
}

void TKelGraphic::TransitionIn(int32_t ms, int32_t layer, const std::string& file) {
    if (file.empty())
        FadeIn(ms, layer);
    else if (IsAnimationFile(file))
        AnimIn(ms, layer, file);
    else
        RuleIn(ms, layer, file);
}

void TKelGraphic::TransitionOut(int32_t ms, int32_t layer, const std::string& file) {
    if (file.empty())
        FadeOut(ms, layer);
    else if (!IsAnimationFile(file))
        RuleOut(ms, layer, file);
}

void TKelGraphic::EndTransition() {
    TARGB8888* frame = Cells->FrameBuffer.get();
    if (Record.Kind == tkFreeze)
        HeldPicture->Draw(frame, 0, 0, 0, 0, ScreenWidth, ScreenHeight);
    else if (Record.Kind == tkFadeOut || Record.Kind == tkRuleOut || Record.Kind == tkColorFade)
        WholeFrame->Draw(frame, 0, 0, 0, 0, ScreenWidth, ScreenHeight);
    Record.Elapsed = 0;
    Record.Layer = kWholeScreenLayer;
    Record.Duration = 0;
    Record.FadeTarget = 0;
    Record.FadeMode = 0;
    Record.FrameBlend = 0;
    SetKind(tkNone);
    ResetTransitionImage();
    HeldPicture->FillRect(0, 0, ScreenWidth, ScreenHeight, kOpaqueBlack);
    WholeFrame->FillRect(0, 0, ScreenWidth, ScreenHeight, kOpaqueBlack);
}

bool TKelGraphic::LoadRuleImage(const std::string& file) {
    TARGB8888 rule;
    try {
        if (!rule.LoadFromFile(TransitionImage->Packs(), file)) return false;
    } catch (const EImageLoadError&) {
        return false;
    }
    HeldPicture->SetAlphaFromImage(&rule);
    return true;
}

void TKelGraphic::UpdateTransition(int32_t elapsed) {
    TKelGraphicRecord& r = Record;
    if (r.Elapsed < r.Duration)
        r.Elapsed = static_cast<int32_t>(std::min<int64_t>(int64_t{r.Elapsed} + elapsed, r.Duration));
    const bool done = r.Elapsed >= r.Duration;
    switch (r.Kind) {
        case tkFadeIn:
        case tkRuleIn:
            if (done) SetKind(tkNone);
            break;
        case tkFadeOut:
            if (done) SetKind(tkFreeze);
            break;
        case tkRuleOut:
            if (done) {
                // The wipe has brought the held picture in whole; held from now on, its rule alpha
                // would let the scene through wherever the rule picture is 0 or 1.
                HeldPicture->FillAlpha(0, 0, ScreenWidth, ScreenHeight, 255);
                SetKind(tkFreeze);
            }
            break;
        case tkColorFade:
            if (done && (r.FadeTarget >> 24) == 0) SetKind(tkNone);
            break;
        case tkAnimIn: {
            // Without an animation there is nothing to wait for.
            if (!TransitionAnimationLoaded()) {
                SetKind(tkNone);
                break;
            }
            TAnimationBMP& animation = *TransitionImage->Animation;
            const int32_t length = animation.Data ? animation.Data->Length : 0;
            animation.Speed = length > 0 && r.Duration > 0 ? float(double(length) / r.Duration) : 1.0f;
            TransitionImage->Update(kAllBits, elapsed);
            if (animation.IsFinished()) SetKind(tkNone);
            break;
        }
        default:
            break;
    }
}

int32_t TKelGraphic::Step() const {
    // A transition of no time stands at its end: a colour fade to an opaque colour would
    // otherwise show its start colour for as long as it stays.
    if (Record.Duration <= 0) return 255;
    // Long durations: elapsed x 255 needs more than 32 bits.
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{Record.Elapsed} * 255 / Record.Duration, 0, 255));
}

bool TKelGraphic::IsWholeScreenTransition() const {
    switch (Record.Kind) {
        case tkFadeIn:
        case tkFadeOut:
        case tkRuleIn:
        case tkRuleOut:
        case tkColorFade:
            return Record.Layer == kWholeScreenLayer;
        default:
            return false;
    }
}

// ---- rendering and presenting ----

bool TKelGraphic::Render(int32_t interlace, int32_t maxLayer) {
    const TKelGraphicRecord& r = Record;
    if (r.FrameBlend) Cells->AddFrameBlend();
    const int32_t t = Step();
    const bool onLayer = r.Layer != kWholeScreenLayer || r.Kind == tkFreeze || r.Kind == tkAnimIn;
    if (onLayer) {
        const float w = static_cast<float>(HeldPicture->Width()), h = static_cast<float>(HeldPicture->Height());
        const float layer = static_cast<float>(r.Layer);
        TARGB8888* held = HeldPicture.get();
        switch (r.Kind) {
            case tkFreeze:
                Cells->AddDraw(held, 0, 0, 0, 0, 0, w, h, static_cast<float>(std::min(kFreezeLayerLimit, r.Layer)), 0,
                               255, 0, kUntinted, bmCopy);
                break;
            case tkFadeIn:
            case tkFadeOut: {
                const uint32_t alpha = static_cast<uint32_t>(r.Kind == tkFadeIn ? 255 - t : t);
                Cells->AddDraw(held, 0, 0, 0, 0, 0, w, h, layer, 0, alpha, 0, kUntinted, bmBlend);
                break;
            }
            case tkRuleIn:
            case tkRuleOut: {
                const uint32_t level = static_cast<uint32_t>(r.Kind == tkRuleIn ? 255 - t : t);
                Cells->AddRuleDraw(held, level, 0, 0, 0, 0, w, h, layer, 0, 0, kUntinted, bmBlend);
                break;
            }
            case tkColorFade:
                Cells->AddFillRect(ARGB8888Lib::BlendColor(r.FadeStart, r.FadeTarget, t),
                                   static_cast<TBlendMode>(r.FadeMode + 2), 0, 0, w, h, layer, 0);
                break;
            case tkAnimIn:
                // On its own layer whatever the transition's layer is: the animation covers the
                // scene up to the top layers.
                TransitionImage->Draw(Cells.get(), kAllBits, 0, 0);
                break;
            default:
                break;
        }
    }
    Cells->Render(r.BackColor, interlace != 0, maxLayer);
    if (IsWholeScreenTransition()) FinishWholeScreen(interlace);
    return true;
}

void TKelGraphic::FinishWholeScreen(int32_t interlace) {
    const TInterlaceScope scope(*WholeFrame, interlace != 0 ? Cells->Interlace : nullptr);
    const TKelGraphicRecord& r = Record;
    const int32_t t = Step();
    const int32_t w = ScreenWidth, h = ScreenHeight;
    TARGB8888* frame = Cells->FrameBuffer.get();
    TARGB8888* whole = WholeFrame.get();
    switch (r.Kind) {
        case tkFadeIn:
            HeldPicture->FadeDraw(whole, frame, 0, 0, 0, 0, w, h, 255 - t);
            break;
        case tkFadeOut:
            HeldPicture->FadeDraw(whole, frame, 0, 0, 0, 0, w, h, t);
            break;
        case tkRuleIn:
        case tkRuleOut: {
            const int32_t level = r.Kind == tkRuleIn ? 255 - t : t;
            // A wipe at level 0 leaves its destination alone; at the first frame of a wipe out
            // that would show the last transition's frame instead of the scene.
            if (level < 1)
                frame->Draw(whole, 0, 0, 0, 0, w, h);
            else
                HeldPicture->RuleTransition(whole, frame, 0, 0, 0, 0, w, h, level);
            break;
        }
        case tkColorFade:
            frame->FillBlend(whole, 0, 0, w, h, ARGB8888Lib::BlendColor(r.FadeStart, r.FadeTarget, t),
                             static_cast<TBlendMode>(r.FadeMode + 2));
            break;
        default:
            break;
    }
}

TARGB8888* TKelGraphic::GetScreenSurface() {
    return IsWholeScreenTransition() ? WholeFrame.get() : Cells->FrameBuffer.get();
}

void TKelGraphic::Present(TDDDD7* display, bool full, bool interlace) {
    if (IsWholeScreenTransition()) {
        {
            const TInterlaceScope scope(*WholeFrame, interlace ? Cells->Interlace : nullptr);
            WholeFrame->DrawToSurface(display, 0, 0, 0, 0, ScreenWidth, ScreenHeight);
        }
        if (display) display->Flip(true);
    } else {
        Cells->PresentToSurface(display, full || FullRedraw, interlace);
    }
    FullRedraw = false;
}

bool TKelGraphic::SaveScreenshot(TStream& stream) {
    if (!IsWholeScreenTransition()) return Cells->SaveToStream(&stream);
    TARGB8888 picture;
    picture.Assign(WholeFrame.get());
    picture.FillAlpha(0, 0, picture.Width(), picture.Height(), 255);
    return picture.SaveToStream(&stream);
}

// ---- saving and loading ----

bool TKelGraphic::SaveToStream(TStream& stream) {
    TKelGraphicRecord record = Record;
    std::fill(std::begin(record.Flags), std::end(record.Flags), 0);
    // JPEG keeps no alpha, so the pictures are encoded as they are: a rule wipe in progress keeps
    // its rule in the held picture's alpha.
    TMemoryStream captures;
    auto capture = [&](const TARGB8888& picture, const char* name, int32_t flag) {
        TMemoryStream jpeg;
        if (!picture.SaveToJpegStream(&jpeg, kJpegQuality)) return false;
        uMisc::WriteStreamString(&captures, name);
        LittleEndian::Write32(captures, static_cast<uint32_t>(jpeg.Size()));
        captures.WriteBuffer(jpeg.Memory(), jpeg.Size());
        record.Flags[flag] = 1;
        return true;
    };
    if (Record.Kind != tkNone && Record.Kind != tkColorFade && !capture(*HeldPicture, "Capture.jpg", kCaptureFlag))
        return false;
    if (!capture(*Cells->FrameBuffer, "Buffer.jpg", kBufferFlag)) return false;
    record.Write(stream);
    TransitionImage->SaveToStream(&stream);
    stream.WriteBuffer(captures.Memory(), captures.Size());
    return true;
}

bool TKelGraphic::ReadCapture(TStream& stream, TARGB8888& into, const char* name) {
    const int64_t at = stream.Position();
    std::string captureName;
    uint32_t size = 0;
    if (!uMisc::ReadStreamString(&stream, captureName) || !LittleEndian::Read32(stream, size) ||
        size > static_cast<uint64_t>(stream.Remaining())) {
        ErrorText = std::string(name) + " at offset " + std::to_string(at) + ": the stream ends early";
        return false;
    }
    TMemoryStream jpeg;
    jpeg.Data.resize(size);
    stream.ReadBuffer(jpeg.Memory(), size);
    TARGB8888 picture;
    bool read = false;
    try {
        // A picture the decoder refuses leaves the image empty.
        read = picture.LoadFromJpegStream(&jpeg) && picture.Width() > 0;
    } catch (const EImageLoadError&) {
    }
    if (!read) {
        ErrorText = std::string(name) + " at offset " + std::to_string(at) + ": not a JPEG picture";
        return false;
    }
    picture.Draw(&into, 0, 0, 0, 0, picture.Width(), picture.Height());
    return true;
}

bool TKelGraphic::LoadFromStream(TStream& stream) {
    ErrorText.clear();
    Clear();
    TKelGraphicRecord record;
    const int64_t at = stream.Position();
    if (!record.Read(stream)) {
        ErrorText = "the record at offset " + std::to_string(at) + " ends early";
        return false;
    }
    Record = record;
    if (const int64_t imageAt = stream.Position(); !TransitionImage->LoadFromStream(&stream)) {
        Clear();
        ErrorText = "the transition image at offset " + std::to_string(imageAt) + " is damaged or ends early";
        return false;
    }
    TARGB8888* frame = Cells->FrameBuffer.get();
    HeldPicture->FillRect(0, 0, ScreenWidth, ScreenHeight, kOpaqueBlack);
    frame->FillRect(0, 0, frame->Width(), frame->Height(), kOpaqueBlack);
    if ((record.Flags[kCaptureFlag] && !ReadCapture(stream, *HeldPicture, "Capture.jpg")) ||
        (record.Flags[kBufferFlag] && !ReadCapture(stream, *frame, "Buffer.jpg"))) {
        const std::string reason = ErrorText;
        Clear();
        ErrorText = reason;
        return false;
    }
    if (record.Kind == tkRuleIn || record.Kind == tkRuleOut) LoadRuleImage(record.TransitionFile);
    // The animation came back where it was; the held picture from the capture is its first
    // picture again.
    if (record.Kind == tkAnimIn) GiveHeldPictureToAnimation();
    FullRedraw = true;
    Cells->InvalidateAll();
    return true;
}

// ---- the interpreter's compositor and camera ----

namespace KelGraphicLib {

TKelGraphic* GraphicOf(TKelScript& script) {
    // The class is final, so its type alone tells it, which is cheaper than a cast: every frame
    // asks twice.
    IScriptCompositor* compositor = script.Links.Compositor;
    if (!compositor || typeid(*compositor) != typeid(TKelGraphic)) return nullptr;
    return static_cast<TKelGraphic*>(compositor);
}

TCamera* CameraOf(TKelScript& script) {
    return dynamic_cast<TCamera*>(script.Links.Camera);
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterScreenMaker([](TKelScript& script) {
        // The transition animation plays its sounds through the interpreter's sound library.
        TSound* sound = script.Links.SoundLibrary;
        auto graphic = std::make_unique<TKelGraphic>(script.Packs(), sound ? &sound->AnimationSound() : nullptr);
        KelScreenObjects::LinkToGame(*graphic->TransitionImage, script);
        if (script.Links.Media) graphic->CellDraw()->Interlace = &script.Links.Media->Interlace;
        // Sizes the display starter would not take give its default screen.
        const int32_t w = script.Config().Config.ScreenWidth, h = script.Config().Config.ScreenHeight;
        graphic->SetSize(w >= 1 && w <= 4096 ? w : 800, h >= 1 && h <= 4096 ? h : 600);
        graphic->OnDraw = [&script](int32_t interlace, bool overlays, int32_t maxLayer) {
            return script.Draw(interlace, overlays, maxLayer);
        };
        script.Graphic = std::move(graphic);
        script.Camera = std::make_unique<TCamera>(script.Random());
    });
}

}  // namespace KelGraphicLib

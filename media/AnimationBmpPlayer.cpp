// The animation player: per-layer clocks and waits, the commands of the key frames, the hit
// areas, and the recording of a frame into the compositor.
#include <algorithm>
#include <cmath>

#include "foundation/uMisc.h"
#include "foundation/uMisc_Math.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpLib.h"
#include "media/MediaContext.h"

using AnimationBmpLib::kKeyCount;
using AnimationBmpLib::kMaxLayers;
using AnimationBmpLib::RoundHalfEven;

namespace {

constexpr int32_t kStepMs = 50;
constexpr int32_t kLastKey = kKeyCount - 1;

// Names that begin with "*" carry markers; the test is done in lower case.
bool HasMarker(const std::string& name, const char* marker) {
    return !name.empty() && name[0] == '*' && ClassLib::LowerAscii(name).find(marker) != std::string::npos;
}

int32_t MulAlpha(int32_t a, int32_t b) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} * b / 255, INT32_MIN, INT32_MAX));
}

int16_t Short(int32_t v) {
    return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

}  // namespace

// ---- hit stack ----

void THitStack::Push(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t id) {
    if (Count >= kCapacity || (x1 == x2 && y1 == y2)) return;
    Items[Count++] = TRect{x1, y1, x2, y2, id};
}

bool THitStack::HitTest(int32_t x, int32_t y) const {
    for (int32_t i = 0; i < Count; ++i) {
        const TRect& r = Items[i];
        if (r.X1 <= x && x < r.X2 && r.Y1 <= y && y < r.Y2) return true;
    }
    return false;
}

// ---- life ----

TAnimationBMP::TAnimationBMP(IAnimationSound* sound)
    : TABMPBaseClass(nullptr, "none"),
      Sound(sound),
      Data(std::make_unique<TABMPData10>(this)),
      Images(std::make_unique<TABMPImage10>(this)),
      Sounds(std::make_unique<TABMPSound10>(this)) {
    Clear();
    SetMotion(0);
}

TAnimationBMP::~TAnimationBMP() = default;

uMisc_Math::TRandomState& TAnimationBMP::RandomState() {
    if (Random) return *Random;
    if (!OwnRandom) OwnRandom = std::make_unique<uMisc_Math::TRandomState>();
    return *OwnRandom;
}

void TAnimationBMP::Clear() {
    Version = 11;
    Name = "none";
    Volume = 255;
    Data->Reset();
    LastMotion = 0;
    LastKey.fill(-1);
    LayerTime.fill(0);
    LayerWait.fill(0);
    SetMotion(0);
    Speed = 1.0f;
    Images->Reset();
    Sounds->Reset();
    HitStack.Clear();
    HitLayers = false;
}

// ---- motions ----

int32_t TAnimationBMP::MotionCount() const {
    return static_cast<int32_t>(Data->Motions.size());
}

void TAnimationBMP::SetMotion(int32_t i) {
    if (i < 0 || i >= MotionCount()) return;
    Motion = i;
    LastMotion = -1;
    const auto& layers = Data->Motions[static_cast<size_t>(i)]->Layers;
    const size_t n = std::min<size_t>(layers.size(), kMaxLayers);
    for (size_t l = 0; l < n; ++l) {
        LayerTime[l] = 0;
        LayerWait[l] = 0;
        for (const TABMPKeyFrame& k : layers[l]->Keys)
            if (k.Command == static_cast<uint8_t>(TABMPCommand::Start)) LayerTime[l] = k.Time;
    }
}

int32_t TAnimationBMP::FindMotion(const std::string& name) const {
    for (int32_t i = 0; i < MotionCount(); ++i)
        if (ClassLib::SameTextAscii(Data->Motions[static_cast<size_t>(i)]->MotionName, name)) return i;
    return -1;
}

void TAnimationBMP::GetMotionName(int32_t i, std::string& name) const {
    if (i >= 0 && i < MotionCount()) name = Data->Motions[static_cast<size_t>(i)]->MotionName;
}

bool TAnimationBMP::IsFinished() const {
    if (Motion < 0 || Motion >= MotionCount()) return true;
    const auto& layers = Data->Motions[static_cast<size_t>(Motion)]->Layers;
    const size_t n = std::min<size_t>(layers.size(), kMaxLayers);
    for (size_t l = 0; l < n; ++l)
        if (!(LayerTime[l] >= layers[l]->Keys[kLastKey].Time)) return false;
    return true;
}

// ---- time ----

void TAnimationBMP::Advance(int32_t ms) {
    for (int32_t remaining = ms; remaining > 0; remaining -= kStepMs)
        Step(std::min(remaining, kStepMs));
    HitStack.Clear();
    // Without hit areas the pass would find nothing and draw no random numbers: skipping it
    // changes nothing but the cost.
    if (HitLayers) Render(nullptr, 0, 0, 0, 0, -1, 0xFFFFFF, 0, true);
}

void TAnimationBMP::Step(int32_t dt) {
    if (Motion < 0 || Motion >= MotionCount()) return;
    const auto& layers = Data->Motions[static_cast<size_t>(Motion)]->Layers;
    const size_t n = std::min<size_t>(layers.size(), kMaxLayers);

    // Clocks: a wait eats the step first, the rest moves the clock at the animation's speed; no
    // clock runs past its layer's last key frame.
    for (size_t l = 0; l < n; ++l) {
        const double last = layers[l]->Keys[kLastKey].Time;
        double& clock = LayerTime[l];
        if (clock < last) {
            const int64_t w = int64_t{LayerWait[l]} - dt;
            if (w <= 0) {
                clock += static_cast<double>(-w) * Speed;
                LayerWait[l] = 0;
            } else {
                LayerWait[l] = static_cast<int32_t>(w);
            }
        }
        if (!(clock < last)) clock = last;
    }

    // Commands.
    for (size_t l = 0; l < n; ++l) {
        const auto& keys = layers[l]->Keys;
        const int32_t i = layers[l]->FindKey(LayerTime[l]);
        if (i < 0) {
            LastKey[l] = i;
            continue;
        }
        const TABMPKeyFrame& key = keys[static_cast<size_t>(i)];
        const double over = LayerTime[l] - key.Time;
        // Key frame numbers above 31 name nothing.
        const bool target = key.Arg1 < kKeyCount;
        switch (static_cast<TABMPCommand>(key.Command)) {
            case TABMPCommand::Jump:
                if (target) LayerTime[l] = key.Arg1 == i ? key.Time : keys[key.Arg1].Time + over;
                break;
            case TABMPCommand::LipSync:
                if (target && (key.Arg2 != 0 ? key.Arg2 : 32) < VoiceLevel()) LayerTime[l] = keys[key.Arg1].Time + over;
                break;
            case TABMPCommand::End:
                for (size_t j = 0; j < n; ++j)
                    LayerTime[j] = layers[j]->Keys[kLastKey].Time;
                break;
            default:
                break;
        }
        if (Motion != LastMotion || i != LastKey[l]) {
            switch (static_cast<TABMPCommand>(key.Command)) {
                case TABMPCommand::RandomWait:
                    LayerWait[l] = RandomState().TableRandom(key.Arg1 * 1000);
                    break;
                case TABMPCommand::Motion:
                    SetMotion(key.Arg1);
                    for (double& t : LayerTime)
                        t += over;
                    return;
                case TABMPCommand::Wait:
                    LayerWait[l] = key.Arg1 * 1000;
                    break;
                case TABMPCommand::Sound:
                    PlaySoundData(key.Arg1, key.Arg2 != 0 ? key.Arg2 : 255, key.Arg3 != 0, 0);
                    break;
                case TABMPCommand::RandomWaitCs:
                    LayerWait[l] = RandomState().TableRandom(key.Arg1 * 10);
                    break;
                case TABMPCommand::WaitCs:
                    LayerWait[l] = key.Arg1 * 10;
                    break;
                case TABMPCommand::StopSound:
                    StopSound();
                    break;
                case TABMPCommand::SetTime:
                    LayerTime.fill(key.Arg1 * 1000 + over);
                    LayerWait.fill(0);
                    break;
                case TABMPCommand::Sync:
                    LayerTime.fill(LayerTime[l]);
                    LayerWait.fill(0);
                    break;
                default:
                    break;
            }
        }
        LastKey[l] = i;
    }
    LastMotion = Motion;
}

void TAnimationBMP::SetLayerTime(int32_t layer, double time) {
    if (layer >= 0 && layer < kMaxLayers) {
        LayerTime[static_cast<size_t>(layer)] = time;
        LayerWait[static_cast<size_t>(layer)] = 0;
    } else {
        LayerTime.fill(time);
        LayerWait.fill(0);
    }
}

void TAnimationBMP::SetLayerWait(int32_t layer, int32_t ms) {
    if (layer >= 0 && layer < kMaxLayers) {
        LayerWait[static_cast<size_t>(layer)] = ms;
    } else {
        LayerWait.fill(ms);
    }
}

void TAnimationBMP::SyncKeyIndices() {
    LastMotion = Motion;
    if (Motion < 0 || Motion >= MotionCount()) return;
    const auto& layers = Data->Motions[static_cast<size_t>(Motion)]->Layers;
    const size_t n = std::min<size_t>(layers.size(), kMaxLayers);
    for (size_t l = 0; l < n; ++l)
        LastKey[l] = layers[l]->FindKey(LayerTime[l]);
}

// ---- drawing ----

void TAnimationBMP::Draw(TARGB8888CellDraw* target, int32_t x, int32_t y, int32_t layer, int32_t alpha,
                         uint32_t multiply, uint32_t add) {
    Render(target, x, y, layer, alpha, -1, multiply, add, false);
}

void TAnimationBMP::Render(TARGB8888CellDraw* target, int32_t x, int32_t y, int32_t layer, int32_t alpha, int32_t time,
                           uint32_t multiply, uint32_t add, bool hitCollection) {
    KeyStack.Clear();
    if (Motion < 0 || Motion >= MotionCount()) return;
    const auto& layers = Data->Motions[static_cast<size_t>(Motion)]->Layers;
    const size_t n = std::min<size_t>(layers.size(), kMaxLayers);
    const bool outermost = !NestedBudget;
    if (outermost) {
        BudgetLeft = kNestedLayerBudget;
        NestedBudget = &BudgetLeft;
    }
    if (time != -1)
        for (size_t l = 0; l < n; ++l)
            LayerTime[l] = time;
    for (size_t l = 0; l < n; ++l) {
        TABMPLayerState s;
        EvaluateLayer(*layers[l], static_cast<int32_t>(l), s, x, y, layer, alpha, hitCollection);
        if (s.Kind == static_cast<uint8_t>(TABMPKind::None)) continue;
        if (hitCollection) {
            if (s.Kind == static_cast<uint8_t>(TABMPKind::HitArea)) {
                float ax = 0, ay = 0;
                AnimationBmpLib::AnchorOffset(s.DstAnchor, s.DstW, s.DstH, ax, ay);
                HitStack.Push(RoundHalfEven(s.DstX - ax), RoundHalfEven(s.DstY - ay),
                              RoundHalfEven(static_cast<double>(s.DstX) + s.DstW - ax),
                              RoundHalfEven(static_cast<double>(s.DstY) + s.DstH - ay), RoundHalfEven(s.Depth));
            }
        } else if (target) {
            DrawLayer(*layers[l], s, target, multiply, add);
        }
    }
    if (outermost) NestedBudget = nullptr;
}

void TAnimationBMP::EvaluateLayer(const TABMPLayer10& layer, int32_t index, TABMPLayerState& s, int32_t x, int32_t y,
                                  int32_t depth, int32_t alpha, bool hitCollection) {
    s = TABMPLayerState{};
    const double clock = LayerTime[static_cast<size_t>(index)];
    const int32_t i = layer.FindKey(clock);
    const auto mode = static_cast<TKeyStackMode>(layer.KeyStackMode);
    if (mode == TKeyStackMode::Apply) {
        // A plain layer that draws nothing (or, while collecting hits, no hit area) is done.
        if (i < 0) return;
        const uint8_t kind = layer.Keys[static_cast<size_t>(i)].Kind;
        if (kind == static_cast<uint8_t>(TABMPKind::None)) return;
        if (hitCollection && kind != static_cast<uint8_t>(TABMPKind::HitArea)) return;
        layer.Evaluate(s, clock, RandomState());
    } else if (i >= 0) {
        // Layers that pass transforms on are evaluated whatever they draw.
        layer.Evaluate(s, clock, RandomState());
    }

    const bool picturing = s.Kind == static_cast<uint8_t>(TABMPKind::Draw) ||
                           s.Kind == static_cast<uint8_t>(TABMPKind::Stretch) ||
                           s.Kind == static_cast<uint8_t>(TABMPKind::Rotate);
    if (picturing && s.SrcX == 0 && s.SrcY == 0 && s.SrcW == 0 && s.SrcH == 0 && s.Image < Images->Items.size()) {
        const TABMPImageData10& record = *Images->Items[s.Image];
        if (const TARGB8888* picture = record.GetImage()) {
            s.SrcW = static_cast<float>(picture->Width());
            s.SrcH = static_cast<float>(picture->Height());
            if (MessageSurfaceOn && MessageSurface && HasMarker(record.ImageName, "*messurface")) {
                s.SrcW = static_cast<float>(MessageSurface->Width());
                s.SrcH = static_cast<float>(MessageSurface->Height());
            }
        }
    }
    if (s.Kind == static_cast<uint8_t>(TABMPKind::Rotate) && s.DstW == 0 && s.DstH == 0) s.DstW = s.DstH = 1;

    switch (mode) {
        case TKeyStackMode::Apply:
            KeyStack.Apply(s);
            break;
        case TKeyStackMode::Push:
            KeyStack.Push(s);
            KeyStack.Apply(s);
            break;
        case TKeyStackMode::Pop:
            KeyStack.Apply(s);
            KeyStack.Pop();
            break;
        default:
            break;
    }
    s.DstX += static_cast<float>(x);
    s.DstY += static_cast<float>(y);
    s.Depth += static_cast<float>(depth);
    s.Alpha = MulAlpha(s.Alpha, alpha);
}

void TAnimationBMP::DrawLayer(const TABMPLayer10& layer, TABMPLayerState& s, TARGB8888CellDraw* target,
                              uint32_t multiply, uint32_t add) {
    TABMPImageData10* record = s.Image < Images->Items.size() ? Images->Items[s.Image].get() : nullptr;
    TARGB8888* picture = record ? record->GetImage() : nullptr;
    // Without the game's media (an animation no game shows) message layers are opaque.
    const int32_t messageAlpha = Media ? Media->MessageAlpha : 255;
    if (!layer.LayerName.empty() && layer.LayerName[0] == '*') {
        const std::string name = ClassLib::LowerAscii(layer.LayerName);
        if (name.find("*message") != std::string::npos) s.Alpha = MulAlpha(s.Alpha, messageAlpha);
        if (name.find("*mesalpha") != std::string::npos) s.Alpha = MulAlpha(s.Alpha, messageAlpha);
        if (MessageSurfaceOn && name.find("*messurface") != std::string::npos) picture = MessageSurface;
    }
    if (record && !record->ImageName.empty() && record->ImageName[0] == '*') {
        const std::string name = ClassLib::LowerAscii(record->ImageName);
        if (name.find("*mesalpha") != std::string::npos) s.Alpha = MulAlpha(s.Alpha, messageAlpha);
        if (MessageSurfaceOn && name.find("*messurface") != std::string::npos) picture = MessageSurface;
    }
    const uint32_t mul = (multiply == 0xFFFFFF ? s.MulColor : uMisc::MulARGB(multiply, s.MulColor)) & 0xFFFFFF;
    const uint32_t addColor = add == 0 ? s.AddColor : uMisc::AddARGB(add, s.AddColor) & 0xFFFFFF;
    const auto alpha = static_cast<uint32_t>(std::clamp(s.Alpha, 0, 255));
    const auto time = static_cast<uint32_t>(s.Param);

    float sax = 0, say = 0, ax = 0, ay = 0;
    AnimationBmpLib::AnchorOffset(s.SrcAnchor, s.SrcW, s.SrcH, sax, say);
    const float left = s.SrcX - sax, top = s.SrcY - say, right = left + s.SrcW, bottom = top + s.SrcH;
    switch (static_cast<TABMPKind>(s.Kind)) {
        case TABMPKind::Fill:
            AnimationBmpLib::AnchorOffset(s.DstAnchor, s.DstW, s.DstH, ax, ay);
            target->AddFill(alpha, addColor, s.DstX - ax, s.DstY - ay, s.DstX + s.DstW - ax, s.DstY + s.DstH - ay,
                            s.Depth, 0, mul, s.Mode);
            break;
        case TABMPKind::Draw:
            AnimationBmpLib::AnchorOffset(s.DstAnchor, s.SrcW, s.SrcH, ax, ay);
            target->AddDraw(picture, time, s.DstX - ax, s.DstY - ay, left, top, right, bottom, s.Depth, 0, alpha,
                            addColor, mul, s.Mode);
            break;
        case TABMPKind::Stretch:
            AnimationBmpLib::AnchorOffset(s.DstAnchor, s.DstW, s.DstH, ax, ay);
            target->AddStretchDraw(picture, time, s.DstX - ax, s.DstY - ay, s.DstX + s.DstW - ax, s.DstY + s.DstH - ay,
                                   left, top, right, bottom, s.Depth, 0, alpha, addColor, mul, s.Mode);
            break;
        case TABMPKind::Rotate:
            // The anchor places the scaled picture.
            AnimationBmpLib::AnchorOffset(s.DstAnchor, s.SrcW, s.SrcH, ax, ay);
            ax *= s.DstW;
            ay *= s.DstH;
            target->AddRotateDraw(picture, time, s.DstX - ax, s.DstY - ay, s.DstW, s.DstH, left, top, right, bottom,
                                  s.Depth, s.Angle, alpha, addColor, mul, s.Mode);
            break;
        case TABMPKind::FrameBlend:
            target->AddFrameBlend();
            break;
        case TABMPKind::Nested:
            if (record && record->Animation) {
                TAnimationBMP& nested = *record->Animation;
                if (static_cast<int64_t>(s.Image2) != nested.Motion) nested.SetMotion(static_cast<int32_t>(s.Image2));
                const int64_t cost = 1 + (nested.Motion < nested.MotionCount()
                                              ? static_cast<int64_t>(nested.Data->Motions[nested.Motion]->Layers.size())
                                              : 0);
                if (*NestedBudget < cost) break;
                *NestedBudget -= cost;
                nested.NestedBudget = NestedBudget;
                nested.Random = &RandomState();
                AnimationBmpLib::AnchorOffset(s.DstAnchor, static_cast<float>(nested.Data->Width),
                                              static_cast<float>(nested.Data->Height), ax, ay);
                nested.Render(target, RoundHalfEven(s.DstX - ax), RoundHalfEven(s.DstY - ay), RoundHalfEven(s.Depth),
                              s.Alpha, s.Param, mul, addColor, false);
                nested.NestedBudget = nullptr;
            }
            break;
        default:
            break;
    }
}

void TAnimationBMP::SetFillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
    if (Data->Motions.empty() || Data->Motions[0]->Layers.size() < 2) return;
    TABMPMotion10& motion = *Data->Motions[0];
    motion.Reset();
    TABMPKeyFrame& first = motion.Layers[1]->Keys[0];
    first.Time = 0;
    first.DstX = Short(x);
    first.DstY = Short(y);
    first.DstW = Short(w);
    first.DstH = Short(h);
    first.MulColor = colour & 0xFFFFFF;
    first.Alpha = static_cast<uint8_t>(colour >> 24);
    first.Kind = static_cast<uint8_t>(TABMPKind::Fill);
    first.Blend = 0;
    TABMPKeyFrame& second = motion.Layers[1]->Keys[1];
    second.Time = 1000;
    second.Command = static_cast<uint8_t>(TABMPCommand::Jump);
    second.Arg1 = 0;
    RefreshHitLayers();
}

void TAnimationBMP::RefreshHitLayers() {
    HitLayers = false;
    for (const auto& motion : Data->Motions) {
        for (const auto& layer : motion->Layers) {
            const bool passesOn = layer->KeyStackMode != static_cast<uint8_t>(TKeyStackMode::Apply);
            for (const TABMPKeyFrame& k : layer->Keys) {
                const bool shakes = (k.SrcCurve & 127) == static_cast<uint8_t>(TABMPCurve::Shake) ||
                                    (k.DstCurve & 127) == static_cast<uint8_t>(TABMPCurve::Shake);
                if (k.Kind == static_cast<uint8_t>(TABMPKind::HitArea) || (passesOn && shakes)) {
                    HitLayers = true;
                    return;
                }
            }
        }
    }
}

// ---- sounds ----

int32_t TAnimationBMP::VoiceLevel() const {
    if (!Sound) return 0;
    return RoundHalfEven(static_cast<double>(Sound->GetLevel(VoiceStream, 2)) * 255);
}

void TAnimationBMP::PlaySoundData(int32_t i, int32_t volume, bool loop, int32_t startMs) {
    if (!Sound || i < 0 || i >= Sounds->Count()) return;
    const TABMPSoundData10& record = *Sounds->Items[static_cast<size_t>(i)];
    if (!record.Wave) return;
    Sound->LoadFromMemory(SoundChannel, *record.Wave.Get(), 2, false, Name + record.SoundName);
    Sound->SetVolume(SoundChannel, MulAlpha(Volume, volume));
    Sound->Play(SoundChannel, loop, startMs);
}

void TAnimationBMP::StopSound() {
    if (Sound) Sound->Stop(SoundChannel);
}

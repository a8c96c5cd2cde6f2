// The animation player under arbitrary key frames and operations: the input builds an animation
// (motions, layers, every field of every key frame, key-stack modes, pictures and a nested
// animation), then drives it with steps of any length, clocks and waits set to the edges of their
// ranges (NaN and infinities too), speeds, motion changes, restores, sounds, hit tests and frames
// recorded into a compositor and rendered. Nothing may crash, hang or touch memory it does not own.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpLib.h"
#include "media/MediaContext.h"
#include "platform/ClassLib.h"

namespace {

class TBytes {
public:
    TBytes(const uint8_t* data, size_t size) : At(data), End(data + size) {}
    bool Empty() const { return At >= End; }
    uint8_t U8() { return At < End ? *At++ : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
    // Mostly times around key frames, sometimes one from the edges of double.
    double Time() {
        static const double edges[] = {std::numeric_limits<double>::quiet_NaN(),
                                       std::numeric_limits<double>::infinity(),
                                       -std::numeric_limits<double>::infinity(),
                                       std::numeric_limits<double>::max(),
                                       -1,
                                       999.5,
                                       2147483648.0,
                                       -2147483649.0};
        const uint8_t b = U8();
        return b < 0xE0 ? static_cast<int32_t>(U16()) - 2000 + (b & 1) * 0.5 : edges[b & 7];
    }

private:
    const uint8_t* At;
    const uint8_t* End;
};

// A sound library that accepts everything and reports a level from the input.
class TSilentSound : public IAnimationSound {
public:
    bool LoadFromMemory(int32_t, const TMemoryStream& pcm, int32_t, bool, const std::string& name) override {
        return !pcm.Data.empty() || !name.empty();
    }
    void SetVolume(int32_t, int32_t) override {}
    void Play(int32_t, bool, int32_t) override {}
    void Stop(int32_t) override {}
    float GetLevel(int32_t, int32_t) override { return Level; }
    float Level = 0;
};

void Build(TAnimationBMP& a, TBytes& in, int32_t depth) {
    a.Data->Motions.clear();
    const int32_t motions = 1 + in.U8() % 3;
    for (int32_t m = 0; m < motions; ++m) {
        auto motion = std::make_unique<TABMPMotion10>(a.Data.get());
        motion->Layers.clear();
        const int32_t layers = in.U8() % 9;
        for (int32_t l = 0; l < layers; ++l) {
            auto layer = std::make_unique<TABMPLayer10>(motion.get());
            layer->KeyStackMode = in.U8() % 4;
            layer->LayerName = in.U8() & 1 ? "*Message*mesalpha*messurface" : "layer";
            const int32_t keys = in.U8() % 6;
            for (int32_t k = 0; k < keys; ++k) {
                TABMPKeyFrame& key = layer->Keys[in.U8() & 31];
                key.Time = static_cast<int32_t>(in.U32());
                key.Kind = in.U8() % 9;
                key.Blend = in.U8();
                key.Image = in.U8() % 4;
                key.Image2 = in.U8() % 4;
                key.SrcX = static_cast<int16_t>(in.U16());
                key.SrcY = static_cast<int16_t>(in.U16());
                key.SrcW = static_cast<int16_t>(in.U16());
                key.SrcH = static_cast<int16_t>(in.U16());
                key.Param = static_cast<int32_t>(in.U32());
                key.DstX = static_cast<int16_t>(in.U16());
                key.DstY = static_cast<int16_t>(in.U16());
                key.DstW = static_cast<int16_t>(in.U16());
                key.DstH = static_cast<int16_t>(in.U16());
                key.Depth = static_cast<int16_t>(in.U16());
                key.Angle = static_cast<int16_t>(in.U16());
                key.AddColor = in.U32();
                key.MulColor = in.U32();
                key.Alpha = in.U8();
                key.SrcCurve = in.U8();
                key.SrcTension = in.U8();
                key.SrcAnchor = in.U8();
                key.DstCurve = in.U8();
                key.DstTension = in.U8();
                key.DstAnchor = in.U8();
                key.ColorLerp = in.U8() % 3;
                key.Command = in.U8() % 16;
                key.Arg1 = in.U8();
                key.Arg2 = in.U8();
                key.Arg3 = in.U8();
            }
            motion->Layers.push_back(std::move(layer));
        }
        a.Data->Motions.push_back(std::move(motion));
    }
    a.Data->Width = in.U8();
    a.Data->Height = in.U8();
    // Pictures 0 and 1, a nested animation as image 2 (one level), image 3 missing.
    a.Images->Items.clear();
    for (int32_t i = 0; i < 3; ++i)
        a.Images->Items.push_back(std::make_unique<TABMPImageData10>(a.Images.get(), i));
    TARGB8888 picture;
    picture.SetSize(1 + in.U8() % 9, 1 + in.U8() % 9);
    a.Images->Items[0]->SetImage(&picture);
    picture.SetSize(in.U8() % 3, 3);
    a.Images->Items[1]->SetImage(&picture);
    a.Images->Items[1]->ImageName = "*messurface";
    if (depth == 0) {
        a.Images->Items[2]->Animation = std::make_unique<TAnimationBMP>();
        Build(*a.Images->Items[2]->Animation, in, depth + 1);
    }
    a.Sounds->Items[0]->Wave = TCacheHandle<TMemoryStream>::Adopt(std::make_unique<TMemoryStream>("pcm"));
    a.RefreshHitLayers();
    a.SetMotion(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBytes in(data, size);
    TSilentSound sound;
    TMediaContext media;  // its message opacity is the one the input picks
    TAnimationBMP a(&sound);
    a.Media = &media;
    Build(a, in, 0);
    TARGB8888 surface;
    surface.SetSize(5, 3);
    a.SetMessageSurface(&surface);
    TARGB8888CellDraw target;
    target.SetScreenSize(48, 32);
    for (int32_t op = 0; op < 64 && !in.Empty(); ++op) {
        switch (in.U8() % 12) {
            case 0:
            case 1:
                a.Advance(in.U16() % 1200 - 100);
                break;
            case 2:
                a.SetLayerTime(static_cast<int8_t>(in.U8()), in.Time());
                break;
            case 3:
                a.SetLayerWait(static_cast<int8_t>(in.U8()), static_cast<int32_t>(in.U32()));
                break;
            case 4:
                a.SetMotion(static_cast<int8_t>(in.U8()));
                break;
            case 5: {
                const float speeds[] = {1,
                                        0,
                                        -1,
                                        2.5f,
                                        std::numeric_limits<float>::quiet_NaN(),
                                        std::numeric_limits<float>::infinity(),
                                        1e30f,
                                        0.001f};
                a.Speed = speeds[in.U8() & 7];
                break;
            }
            case 6:
                a.SyncKeyIndices();
                break;
            case 7:
                a.MessageSurfaceOn = in.U8() & 1;
                media.MessageAlpha = in.U8();
                sound.Level = in.U8() / 200.0f;
                break;
            case 8:
                a.Draw(&target, static_cast<int16_t>(in.U16()) / 64, static_cast<int16_t>(in.U16()) / 64,
                       static_cast<int8_t>(in.U8()), in.U8(), in.U32(), in.U32() & 0xFF);
                target.Render(0xFF000000, false, 1 << 20);
                break;
            case 9:
                a.Render(&target, 0, 0, 0, 255, static_cast<int32_t>(in.U32()), 0xFFFFFF, 0, in.U8() & 1);
                break;
            case 10:
                (void)a.HitStack.HitTest(static_cast<int16_t>(in.U16()), static_cast<int16_t>(in.U16()));
                (void)a.IsFinished();
                break;
            default:
                a.PlaySoundData(static_cast<int8_t>(in.U8()), in.U8(), in.U8() & 1, 0);
                break;
        }
    }
    return 0;
}

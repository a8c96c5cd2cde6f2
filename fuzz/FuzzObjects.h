// What the fuzz targets over the screen objects and their words share.
#pragma once

#include <cstdint>
#include <string>

#include "media/ARGB8888Lib.h"
#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

namespace FuzzObjects {

// Four streams and three effect channels for the channel words to check against; no swaps.
class TSoundCounts final : public IScriptSound {
public:
    int32_t StreamChannelCount() override { return 4; }
    int32_t EffectChannelCount() override { return 3; }
    bool SwapChannels(bool, int32_t, int32_t) override { return false; }
};

// The bytes of a w x h BMP file filled with one colour.
inline std::string Bmp(int32_t w, int32_t h, uint32_t colour) {
    TARGB8888 picture;
    picture.SetSize(w, h);
    picture.FillRect(0, 0, w, h, colour);
    TMemoryStream s;
    picture.SaveToStream(&s);
    return s.AsString();
}

}  // namespace FuzzObjects

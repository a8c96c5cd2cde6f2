// An Ogg stream over arbitrary bytes: open, then reads of sizes taken from the input, seeks,
// loops and a silence skip. A refused file is an error; nothing may crash or run for ever.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "media/OggDataLib.h"
#include "platform/ClassLib.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<TVorbisFileDLL> decoder =
        OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll");
    if (!decoder || size < 4) return 0;
    // Four control bytes at the end: block size, seek target, loop flag, silence threshold.
    const uint8_t* ctl = data + size - 4;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size - 4);
    TFakeClock clock;
    TOggData ogg(4096, clock, decoder);
    try {
        if (!ogg.Open(std::make_unique<TMemoryStream>(bytes), "fuzz.ogg")) return 0;
    } catch (const EOggError&) {
        return 0;
    }
    const int32_t block = 1 + ctl[0] * 37;
    std::vector<uint8_t> buf(static_cast<size_t>(block));
    ogg.SetBandGainNow(ctl[1], 0.5f);
    ogg.Play(ctl[2] & 1);
    for (int i = 0; i < 64; ++i) {
        const int32_t r = ogg.Read(buf.data(), block, 0);
        if (r > block) std::abort();
        if (i == 20) ogg.Seek(static_cast<float>(ctl[1]) / 16.0f);
        if (!ogg.Playing) break;
    }
    ogg.FillNextHalf(0);
    (void)ogg.GetLevel(2);
    ogg.SkipSilence(ctl[3]);
    try {
        TMemoryStream copy(bytes);
        auto pcm = OggDataLib::DecodeToPCMStream(decoder, &copy);
        if (pcm && pcm->Size() % 1024 != 0) std::abort();
    } catch (const EOggError&) {
    }
    return 0;
}

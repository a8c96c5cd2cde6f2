// The loop-tag parser over arbitrary comment text: slots stay in range and times finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "media/OggDataLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes pick the rate, so that sample tags meet odd rates and 0.
    const int32_t rate = data[0] | (data[1] << 8);
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    std::array<TOggLoopSlot, TOggData::kLoopSlots> loops{};
    OggDataLib::ParseLoopTags(text, rate, loops);
    for (const TOggLoopSlot& s : loops)
        if (!std::isfinite(s.Start) || !std::isfinite(s.Stop)) std::abort();
    return 0;
}

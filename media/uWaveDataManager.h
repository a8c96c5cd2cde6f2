// The sound cache: sounds embedded in animations, decoded from RIFF wave (".wav") or Ogg Vorbis
// (".ogg") items into raw PCM of the engine's format (44100 Hz, signed 16-bit little-endian, two
// channels, no header), held in a memory stream at position 0. Other extensions give nothing.
//
// RIFF waves: chunks of a four-byte identifier (any case, cut at a 0 byte) and an unsigned 32-bit
// size, in any order, with no pad byte after an odd size. "RIFF" carries the form type "WAVE" and
// encloses nothing (the next chunk follows its form type at once); "fmt " must describe 16-bit PCM
// (tag 1) with 1 or 2 channels at 44100 or 22050 Hz, and any extra bytes of it are skipped; "fact"
// is skipped; "data" ends the file. Any other chunk before "data" refuses the file, and so does a
// "data" chunk before an accepted "fmt ". A file that ends before "data" gives an empty sound.
// Mono samples go to both channels and 22050 Hz frames are written twice (no interpolation). A
// data size past the end of the file is cut to the bytes there; a size that is not whole frames
// leaves its last bytes (at most 6 of the result) silent.
#pragma once

#include <memory>

#include "media/uCache.h"
#include "platform/ClassLib.h"

class TErrorLog;
class TVorbisFileDLL;  // media/VorbisBinding.h

class TWaveDataManager : public TCache<TMemoryStream> {
public:
    using TCache::TCache;
    TCacheHandle<TMemoryStream> GetWave(TStream& stream, int32_t size, const std::string& name) {
        return Acquire(stream, size, name);
    }
    // The game's error log, which hears of a damaged sound; none: it is not written. The main
    // window links it.
    TErrorLog* Log = nullptr;
    // The decoder of Ogg Vorbis sounds, linked by the main window; none: such a sound is not kept.
    std::shared_ptr<TVorbisFileDLL> Decoder;

protected:
    std::unique_ptr<TMemoryStream> LoadData(TStream& stream, int32_t size, const std::string& name) override;
    int64_t DataSize(const TMemoryStream& pcm) const override;
};

namespace uWaveDataManager {

// The PCM of a RIFF wave read from the start of the stream; null for a null stream or a file
// refused as above.
std::unique_ptr<TMemoryStream> LoadWaveRiff(TStream* stream);

}  // namespace uWaveDataManager

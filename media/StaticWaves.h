// Static waves of the sound component made from whole sounds: an Ogg Vorbis file decoded at once,
// or PCM in the engine's format (44100 Hz, 16-bit, stereo) handed over as it is. Effect channels
// play them.
#pragma once

#include <memory>
#include <string>

#include "foundation/SoundComponent.h"
#include "platform/ClassLib.h"

class TVorbisFileDLL;  // media/VorbisBinding.h

namespace OggDdsdLib {

// The whole sound of the Ogg Vorbis stream (read from its start) in a static wave of the PCM's
// size; null for a null stream, a file the decoder refuses, or a sound too long for one buffer.
// A decoding error is logged under the name given.
// Without a decoder every stream is refused.
std::unique_ptr<TDDSDWaveData> CreateWaveDataFromOgg(TDDSD7& component, std::shared_ptr<TVorbisFileDLL> decoder,
                                                     TStream* stream, const std::string& name = {});

// The PCM bytes, cut to whole frames, in a static wave; null when that leaves no frame at all or
// more than one buffer holds. A wave of no bytes is a failure of the component (which may end the
// program), so empty sounds are refused here.
std::unique_ptr<TDDSDWaveData> CreateWaveDataFromPCM(TDDSD7& component, const uint8_t* pcm, int64_t size);

}  // namespace OggDdsdLib

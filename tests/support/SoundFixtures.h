// Sound fixtures made in code: Ogg Vorbis and RIFF bytes through the kelsound writer, a reference
// decode straight through the decoder library, and damaged variants of a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SoundComponent.h"
#include "media/uSoundLib.h"
#include "platform/ClassLib.h"
#include "platform/Clock.h"
#include "platform/headless/ManualAudio.h"
#include "tools/kelsound/SoundWriter.h"

namespace SoundFixtures {

// A sine tone as an Ogg Vorbis file with the given loop tag lines; the same arguments give the
// same bytes, made once per process.
const std::string& ToneOgg(int32_t rate, int32_t channels, double seconds, double freq = 440, double amplitude = 0.5,
                           const std::vector<std::string>& loopLines = {});
// White noise, 44100 Hz stereo, at a quality that spreads it over several pages (made once).
const std::string& NoiseOgg();
// Any samples as an Ogg Vorbis file.
std::string SamplesOgg(const SoundWriter::TSamples& samples, int32_t rate, int32_t channels,
                       const std::vector<std::string>& comments = {});

// Every sample the decoder library gives for the file, as it gives them (its rate and channels).
std::vector<int16_t> ReferenceDecode(const std::string& ogg);

// The file with one byte of a page in its middle changed, so that page fails its checksum.
std::string CorruptMiddlePage(std::string ogg);
// The file with its last page claiming granule position granule (checksum kept right).
std::string WithLastGranule(std::string ogg, int64_t granule);

inline std::unique_ptr<TMemoryStream> Stream(const std::string& bytes) {
    return std::make_unique<TMemoryStream>(bytes);
}

// Lets a sound library's pack set read what another set (a script harness's) serves; the other
// set must outlive the reads.
void ReadThrough(TPackSet& packs, const TPackSet& from);

// The linked decoder, bound for the lifetime of the object.
struct TVorbisBinding {
    TVorbisBinding();
    std::shared_ptr<TVorbisFileDLL> Decoder;
};

// A sound library with the decoder bound, over an audio device that mixes only when pumped. Made
// before the harness that serves its files, so that it is gone after it; ReadThrough hands its
// reads on to the harness's pack set.
struct TSoundLibraryRig {
    explicit TSoundLibraryRig(int32_t channels = 8, int32_t streamLength = 16384);
    void ReadThrough(const TPackSet& from) { SoundFixtures::ReadThrough(Packs, from); }
    TPackSet Packs;
    TVorbisBinding Vorbis;
    TFakeClock Clock;
    TManualAudioDevice Device;
    TDDSD7 Component{&Device};
    std::unique_ptr<TSound> Sound;  // none when the device could not be set up
};

}  // namespace SoundFixtures

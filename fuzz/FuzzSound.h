// What the fuzz targets over the sound library share: the library on the manual device, with a
// fake clock, no halts, the vorbis binding loaded and a few small sounds served in memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "media/VorbisBinding.h"
#include "media/uSoundLib.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "platform/headless/ManualAudio.h"
#include "tools/kelsound/SoundWriter.h"

namespace FuzzSound {

inline void IgnoreHalt(const std::string&) {}

// Sixteen channels over a 16384-byte stream buffer. The files served: "a.ogg" (stereo 44.1 kHz),
// "b.ogg" (mono 22.05 kHz with a loop comment) and "bad.ogg" (an Ogg signature and noise); a
// target may add more to Files.
struct TSoundWorld {
    TSoundWorld() {
        FakeClock.Now = 50000;
        Component.SetHaltHandler(&IgnoreHalt);
        Component.DuplicateStaticBuffers = false;
        Files["a.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(44100, 2, 13000, 440, 0.5), 44100, 2, {});
        Files["b.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(22050, 1, 4000, 300, 0.5), 22050, 1,
                                                {SoundWriter::LoopComment({"*looptime,0,0.05,0.1,-1"})});
        Files["bad.ogg"] = "OggS" + std::string(60, '\x01');
        FuzzSupport::ServeFiles(Context.Packs, Files);
        Component.SetChannelCount(16);
        Component.Log = &Context.Log;
        Component.Initialize();
        Sound = std::make_unique<TSound>(Component, Context.Packs, 16384, FakeClock, Decoder);
        Sound->DSound->Config = &Context.Settings;
    }

    std::shared_ptr<TVorbisFileDLL> Decoder = OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll");
    FuzzSupport::TFuzzContext Context;
    TFakeClock FakeClock;
    TManualAudioDevice Device;
    TDDSD7 Component{&Device};
    std::unique_ptr<TSound> Sound;
    std::map<std::string, std::string> Files;
};

// Every channel reports a state that exists, and the whole library saves into its fixed size.
inline void CheckSound(TSound& sound) {
    for (int32_t n = 0; n < sound.SSound->Count(); ++n)
        if (sound.SSound->GetState(n) > psLOOP) std::abort();
    for (int32_t n = 0; n < sound.DSound->Count(); ++n)
        if (sound.DSound->GetState(n) > psLOOP) std::abort();
    TMemoryStream saved;
    sound.SaveToStream(saved);
    if (saved.Size() != sound.SavedBytes()) std::abort();
}

}  // namespace FuzzSound

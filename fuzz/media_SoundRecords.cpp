// The sound library's saved records over arbitrary bytes: the whole state (effect channels, then
// streams) and each half alone are restored on the manual device, mixed for a moment and saved
// again. Names in the records reach a few small sounds served in memory; any other name, a bad
// length byte, a group outside the table, a position that is no number or a damaged sound must
// give a clean restore or a refusal, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/OggWuvorbisLib.h"
#include "media/uSoundLib.h"
#include "platform/Clock.h"
#include "platform/headless/ManualAudio.h"
#include "tools/kelsound/SoundWriter.h"

namespace {

void IgnoreHalt() {}

struct TWorld {
    TWorld() {
        Clock::SetCurrent(&FakeClock);
        FakeClock.Now = 50000;
        ddsd7::SetHaltHandler(&IgnoreHalt);
        ddsd7::DuplicateStaticBuffers = false;
        OggWuvorbisLib::LoadVorbisFileDLL("DLL\\wuvorbis.dll");
        Files["a.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(44100, 2, 13000, 440, 0.5), 44100, 2, {});
        Files["b.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(22050, 1, 4000, 300, 0.5), 22050, 1,
                                                {SoundWriter::LoopComment({"*looptime,0,0.05,0.1,-1"})});
        Files["long.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(44100, 2, 230000, 200, 0.2), 44100, 2, {});
        Files["bad.ogg"] = "OggS" + std::string(60, '\x01');
        Files["$$$a.ogg"] = Files["a.ogg"];
        PackLib::FileExistsHook = [this](const std::string& n) { return Files.count(n) > 0; };
        PackLib::LoadFileHook = [this](const std::string& n) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(n);
            return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
        };
        Component.SetChannelCount(16);
        Component.Initialize();
        Sound = std::make_unique<TSound>(Component, 16384);
    }

    TFakeClock FakeClock;
    TManualAudioDevice Device;
    TDDSD7 Component{&Device};
    std::unique_ptr<TSound> Sound;
    std::map<std::string, std::string> Files;
};

// Whatever was restored saves again into records of the fixed size, with states that exist.
void Check(TSound& sound) {
    TMemoryStream again;
    sound.SaveToStream(again);
    if (again.Size() != sound.SavedBytes()) std::abort();
    for (int32_t n = 0; n < sound.SSound->Count(); ++n)
        if (sound.SSound->GetState(n) > psLOOP) std::abort();
    for (int32_t n = 0; n < sound.DSound->Count(); ++n)
        if (sound.DSound->GetState(n) > psLOOP) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    TSound& sound = *world.Sound;
    ErrorLogLib::ClearErrorLog();
    SystemConfigLib::Config.ForceDirectSoundMode = size % 7 == 3 ? 1 : 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    TMemoryStream whole(bytes);
    const bool restored = sound.LoadFromStream(&whole);
    if (restored != (static_cast<int64_t>(size) >= sound.SavedBytes())) std::abort();
    if (!restored && whole.Position() != 0) std::abort();  // a refusal reads nothing
    world.Device.Render(2 * TManualAudioDevice::kChunkFrames);
    world.FakeClock.Now += 30;
    Check(sound);

    // Each half alone, from the start of the input.
    TMemoryStream streams(bytes);
    sound.SSound->LoadFromStream(&streams);
    world.Device.Render(TManualAudioDevice::kChunkFrames);
    TMemoryStream effects(bytes);
    sound.DSound->LoadFromStream(&effects);
    world.FakeClock.Now += 30;
    Check(sound);
    sound.StopAll();
    TDDSD7::DeliverThreadFailures();
    return 0;
}

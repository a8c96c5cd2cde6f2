// The sound library's saved records over arbitrary bytes: the whole state (effect channels, then
// streams) and each half alone are restored on the manual device, mixed for a moment and saved
// again. Names in the records reach a few small sounds served in memory; any other name, a bad
// length byte, a group outside the table, a position that is no number or a damaged sound must
// give a clean restore or a refusal, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/SystemConfigLib.h"
#include "fuzz/FuzzSound.h"

namespace {

// The shared sounds, a long one, and "a.ogg" again under the name "$$$a.ogg".
struct TWorld : FuzzSound::TSoundWorld {
    TWorld() {
        Files["long.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(44100, 2, 230000, 200, 0.2), 44100, 2, {});
        Files["$$$a.ogg"] = Files["a.ogg"];
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    TSound& sound = *world.Sound;
    world.Context.Log.ClearErrorLog();
    world.Context.Settings.ForceDirectSoundMode = size % 7 == 3 ? 1 : 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    TMemoryStream whole(bytes);
    const bool restored = sound.LoadFromStream(&whole);
    if (restored != (static_cast<int64_t>(size) >= sound.SavedBytes())) std::abort();
    if (!restored && whole.Position() != 0) std::abort();  // a refusal reads nothing
    world.Device.Render(2 * TManualAudioDevice::kChunkFrames);
    world.FakeClock.Now += 30;
    FuzzSound::CheckSound(sound);

    // Each half alone, from the start of the input.
    TMemoryStream streams(bytes);
    sound.SSound->LoadFromStream(&streams);
    world.Device.Render(TManualAudioDevice::kChunkFrames);
    TMemoryStream effects(bytes);
    sound.DSound->LoadFromStream(&effects);
    world.FakeClock.Now += 30;
    FuzzSound::CheckSound(sound);
    sound.StopAll();
    world.Component.DeliverThreadFailures();
    return 0;
}

// The "snd" and "dsnd" words with arbitrary arguments, run through an interpreter on the sound
// library over the manual device. Each line of the input is one statement: its first byte picks the
// object (low bit: "snd" or "dsnd"; the rest: the element), its second byte the word, and the rest
// of the line is the argument text as a script would write it, evaluated by the interpreter.
// A few small sounds are served in memory. Whatever the arguments (huge or negative volumes,
// fades, positions, groups, channels, gains; names that are missing or do not decode), every word
// must finish with the library in a state it can report and save, and nothing may be raised.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSound.h"
#include "fuzz/FuzzSupport.h"
#include "objects/KelSoundCommands.h"
#include "script/KelScriptLib.h"

namespace {

// The library's channel counts and swaps as the interpreter asks for them.
class TSoundSeam final : public IScriptSound {
public:
    explicit TSoundSeam(TSound& sound) : Sound(sound) {}
    int32_t StreamChannelCount() override { return Sound.SSound->Count(); }
    int32_t EffectChannelCount() override { return Sound.DSound->Count(); }
    bool SwapChannels(bool, int32_t, int32_t) override { return false; }
    int32_t StreamState(int32_t channel) override { return Sound.SSound->GetState(channel); }

private:
    TSound& Sound;
};

const char* const kStreamWords[] = {"l",   "?l", "i",   "p",   "s",   "?p", "gp", "v",  "?v",  "gv",   "gf", "gt", "tt",
                                    "?tt", "sk", "?sk", "?nt", "?nv", "sv", "t",  "?t", "agc", "?agc", "eq", "sw"};
const char* const kEffectWords[] = {"l", "p", "s", "i", "v", "mv", "?v", "gv", "gp", "gf"};

struct TWorld : FuzzSound::TSoundWorld {
    TWorld() {
        Seam = std::make_unique<TSoundSeam>(*Sound);
        KelSoundCommands::Register(Kinds);
        Script.Kinds = &Kinds;
        TScriptLinks links;
        links.Context = &Context.Context;
        links.Sound = Seam.get();
        links.SoundLibrary = Sound.get();
        Script.Setup(links);
        for (int32_t n = 0; n < Sound->SSound->Count(); ++n)
            Streams.push_back(Script.Evaluate("snd[" + std::to_string(n) + "]").Text);
        for (int32_t n = 0; n < Sound->DSound->Count(); ++n)
            Effects.push_back(Script.Evaluate("dsnd[" + std::to_string(n) + "]").Text);
    }

    std::unique_ptr<TSoundSeam> Seam;
    TObjectKindRegistry Kinds;
    TKelScript Script;
    std::vector<std::string> Streams, Effects;  // the element names
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    world.Context.Log.ClearErrorLog();
    world.Context.Log.ErrorFlag = false;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    FuzzSupport::ForEachStatement(bytes, 64, [&](std::string_view line, int) {
        const auto pick = static_cast<uint8_t>(line[0]), word = static_cast<uint8_t>(line[1]);
        const bool effect = (pick & 1) != 0;
        const std::vector<std::string>& names = effect ? world.Effects : world.Streams;
        const std::string statement =
            std::string("\\") +
            (effect ? kEffectWords[word % std::size(kEffectWords)] : kStreamWords[word % std::size(kStreamWords)]) +
            "," + std::string(line.substr(2));
        TScriptRoutine* routine = world.Script.CurrentRoutine();
        if (!routine) std::abort();
        routine->ScopeNames[0] = names[(pick >> 1) % names.size()];
        world.Script.ExecuteLine(statement);
        world.Context.Log.ErrorFlag = false;
        world.Device.Render(441);
        world.FakeClock.Now += 10;
    });
    FuzzSound::CheckSound(*world.Sound);
    world.Sound->StopAll();
    world.Script.HoldFrames = 0;
    world.Component.DeliverThreadFailures();
    return 0;
}

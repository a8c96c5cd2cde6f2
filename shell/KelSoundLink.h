// The sound library as the engine core and the interpreters reach it: the engine core switches it
// on and off and stops everything on a reset (IKelSound); the interpreters size their "snd" and
// "dsnd" arrays by its channel counts, swap channels, read the streams' state for the sound waits
// and show the channel records in the elements' information texts (IScriptSound,
// IKelSoundChannels); the sound words and the screen objects use the library itself (Library).
//
// Whoever builds the engine core makes it on the sound component and hands it over before Setup:
//     engine->Sound =
//         std::make_unique<TKelSoundLink>(component, context.Packs, config.StreamLength, clock, &config);
#pragma once

#include <cstdint>
#include <memory>

#include "media/uSoundLib.h"
#include "script/KelScriptSeams.h"
#include "shell/KelSystemSeams.h"

class TKelSoundLink final : public IKelSound, public IScriptSound {
public:
    // The effect channels read ForceDirectSoundMode from the settings, when given.
    TKelSoundLink(TDDSD7& component, const TPackSet& packs, int32_t streamLength, IClock& clock,
                  std::shared_ptr<TVorbisFileDLL> decoder, const TSystemData* config = nullptr);

    // ---- the engine core
    void SetActive(bool active) override { Sound->SetActive(active); }
    void StopAll() override { Sound->StopAll(); }
    IScriptSound* ScriptSound() override { return this; }
    TSound* Library() override { return Sound.get(); }

    // ---- the interpreters
    int32_t StreamChannelCount() override { return Sound->SSound->Count(); }
    int32_t EffectChannelCount() override { return Sound->DSound->Count(); }
    bool SwapChannels(bool effect, int32_t a, int32_t b) override;
    int32_t StreamState(int32_t channel) override { return Sound->SSound->GetState(channel); }
    int32_t StreamPlayingTimeMs(int32_t channel) override { return Sound->SSound->GetPlayingTimeMs(channel); }
    int32_t StreamGroup(int32_t channel) override;
    IKelSoundChannels* Channels(bool effect) override;

private:
    // "file, state, volume, type" of a channel: the record's name, the state now, the volume last
    // set and the volume group.
    class TStreamChannels final : public IKelSoundChannels {
    public:
        explicit TStreamChannels(TSSound& streams) : Streams(streams) {}
        TKelSoundChannelInfo ChannelInfo(int32_t channel) const override;

    private:
        TSSound& Streams;
    };
    class TEffectChannels final : public IKelSoundChannels {
    public:
        explicit TEffectChannels(TDSound& effects) : Effects(effects) {}
        TKelSoundChannelInfo ChannelInfo(int32_t channel) const override;

    private:
        TDSound& Effects;
    };

    std::unique_ptr<TSound> Sound;
    std::unique_ptr<TStreamChannels> StreamRecords;
    std::unique_ptr<TEffectChannels> EffectRecords;
};

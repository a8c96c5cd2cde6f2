#include "shell/KelSoundLink.h"

TKelSoundLink::TKelSoundLink(TDDSD7& component, const TPackSet& packs, int32_t streamLength, IClock& clock,
                             std::shared_ptr<TVorbisFileDLL> decoder, const TSystemData* config)
    : Sound(std::make_unique<TSound>(component, packs, streamLength, clock, std::move(decoder))),
      StreamRecords(std::make_unique<TStreamChannels>(*Sound->SSound)),
      EffectRecords(std::make_unique<TEffectChannels>(*Sound->DSound)) {
    Sound->DSound->Config = config;
}

bool TKelSoundLink::SwapChannels(bool effect, int32_t a, int32_t b) {
    const int32_t count = effect ? EffectChannelCount() : StreamChannelCount();
    if (a < 0 || a >= count || b < 0 || b >= count) return false;
    if (effect)
        Sound->DSound->SwapChannels(a, b);
    else
        Sound->SSound->SwapStreams(a, b);
    return true;
}

int32_t TKelSoundLink::StreamGroup(int32_t channel) {
    return static_cast<int32_t>(Sound->SSound->Record(channel).Group);
}

IKelSoundChannels* TKelSoundLink::Channels(bool effect) {
    return effect ? static_cast<IKelSoundChannels*>(EffectRecords.get()) : StreamRecords.get();
}

TKelSoundChannelInfo TKelSoundLink::TStreamChannels::ChannelInfo(int32_t channel) const {
    if (channel < 0 || channel >= Streams.Count()) return {};
    const TSSoundStreamRecord& r = Streams.Record(channel);
    return {r.Name, Streams.GetState(channel), r.Volume, static_cast<int32_t>(r.Group)};
}

TKelSoundChannelInfo TKelSoundLink::TEffectChannels::ChannelInfo(int32_t channel) const {
    if (channel < 0 || channel >= Effects.Count()) return {};
    const TDSoundChannelRecord& r = Effects.Record(channel);
    return {r.Name, Effects.GetState(channel), r.Volume, static_cast<int32_t>(r.Group)};
}

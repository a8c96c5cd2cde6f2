#include "media/StaticWaves.h"

#include "media/OggDataLib.h"
#include "platform/AudioMixer.h"

namespace OggDdsdLib {

std::unique_ptr<TDDSDWaveData> CreateWaveDataFromOgg(TDDSD7& component, std::shared_ptr<TVorbisFileDLL> decoder,
                                                     TStream* stream, const std::string& name) {
    if (!stream) return nullptr;
    std::unique_ptr<TMemoryStream> pcm;
    try {
        pcm = OggDataLib::DecodeToPCMStream(std::move(decoder), stream, name, component.Log);
    } catch (const EOggError&) {
        return nullptr;  // the decoder refused the file
    }
    if (!pcm) return nullptr;
    return CreateWaveDataFromPCM(component, pcm->Memory(), pcm->Size());
}

std::unique_ptr<TDDSDWaveData> CreateWaveDataFromPCM(TDDSD7& component, const uint8_t* pcm, int64_t size) {
    const int64_t bytes = size / AudioMixer::kFrameBytes * AudioMixer::kFrameBytes;
    if (!pcm || bytes < int64_t{AudioMixer::kMinBytes} || bytes > int64_t{AudioMixer::kMaxBytes}) return nullptr;
    auto wave = TDDSDWaveData::Create(component, static_cast<uint32_t>(bytes), true, 16, 44100);
    wave->Write(0, pcm, static_cast<uint32_t>(bytes));
    return wave;
}

}  // namespace OggDdsdLib

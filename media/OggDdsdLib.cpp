#include "media/OggDdsdLib.h"

#include <vector>

#include "media/OggDataLib.h"
#include "platform/AudioMixer.h"

namespace OggDdsdLib {

std::unique_ptr<TDDSDWaveData> CreateWaveDataFromOgg(TDDSD7& component, TStream* stream) {
    if (!stream) return nullptr;
    std::unique_ptr<TMemoryStream> pcm;
    try {
        pcm = OggDataLib::DecodeToPCMStream(stream);
    } catch (const EOggError&) {
        return nullptr;  // the decoder refused the file
    }
    if (!pcm) return nullptr;
    return CreateWaveDataFromPCM(component, *pcm);
}

std::unique_ptr<TDDSDWaveData> CreateWaveDataFromPCM(TDDSD7& component, TStream& pcm) {
    const int64_t bytes = pcm.Size() / AudioMixer::kFrameBytes * AudioMixer::kFrameBytes;
    if (bytes < int64_t{AudioMixer::kMinBytes} || bytes > int64_t{AudioMixer::kMaxBytes}) return nullptr;
    const uint8_t* bytesAt = nullptr;
    std::vector<uint8_t> copy;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&pcm)) {
        bytesAt = memory->Memory();
    } else {
        copy.resize(static_cast<size_t>(bytes));
        pcm.SetPosition(0);
        if (pcm.Read(copy.data(), bytes) != bytes) return nullptr;
        bytesAt = copy.data();
    }
    auto wave = TDDSDWaveData::Create(component, static_cast<uint32_t>(bytes), true, 16, 44100);
    wave->Write(0, bytesAt, static_cast<uint32_t>(bytes));
    return wave;
}

}  // namespace OggDdsdLib

#include "platform/AudioMixer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

// Sample memory is read and written as the little-endian bytes of the PCM format.
static_assert(std::endian::native == std::endian::little);

namespace AudioMixer {

namespace {
// The most frames summed at once; Mix cuts longer requests into pieces of this size.
constexpr uint32_t kPieceFrames = 1024;
}  // namespace

int32_t GainOf(int32_t hundredthsDb) {
    if (hundredthsDb <= kVolumeMin) return 0;
    if (hundredthsDb >= 0) return kUnityGain;
    return static_cast<int32_t>(std::lround(kUnityGain * std::pow(10.0, hundredthsDb / 2000.0)));
}

TGains GainsOf(int32_t volume, int32_t pan) {
    volume = std::clamp(volume, kVolumeMin, kVolumeMax);
    pan = std::clamp(pan, kPanLeft, kPanRight);
    return {GainOf(volume - std::max(pan, 0)), GainOf(volume + std::min(pan, 0))};
}

void Accumulate(int32_t* sums, const int16_t* samples, uint32_t frames, TGains gains) {
    // Eight samples (four frames) at a time against a row of alternating gains, a shape the
    // compiler turns into vector instructions; the rest one frame at a time.
    const int32_t row[8] = {gains.Left, gains.Right, gains.Left, gains.Right,
                            gains.Left, gains.Right, gains.Left, gains.Right};
    const uint32_t count = 2 * frames;
    uint32_t k = 0;
    for (; k + 8 <= count; k += 8)
        for (uint32_t j = 0; j < 8; ++j)
            sums[k + j] += (int32_t{samples[k + j]} * row[j]) >> 15;
    for (; k < count; ++k)
        sums[k] += (int32_t{samples[k]} * row[k & 1]) >> 15;
}

void Saturate(int16_t* out, const int32_t* sums, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>(std::clamp(sums[i], int32_t{-32768}, int32_t{32767}));
}

}  // namespace AudioMixer

using namespace AudioMixer;

TAudioMixer::TAudioMixer() : Sums(2 * kPieceFrames) {}

TAudioMixer::TVoice* TAudioMixer::Find(TVoiceId id) {
    const uint32_t index = (id & 0xFFFF) - 1;
    if (id == 0 || index >= Voices.size()) return nullptr;
    TVoice& v = Voices[index];
    return v.Used && v.Generation == (id >> 16) ? &v : nullptr;
}

const TAudioMixer::TVoice* TAudioMixer::Find(TVoiceId id) const {
    return const_cast<TAudioMixer*>(this)->Find(id);
}

TVoiceId TAudioMixer::Insert(TVoice voice) {
    size_t index = 0;
    while (index < Voices.size() && Voices[index].Used)
        ++index;
    if (index >= 0xFFFF) return 0;
    if (index == Voices.size()) Voices.emplace_back();
    voice.Generation = (Voices[index].Generation + 1) & 0xFFFF;
    voice.Used = true;
    Voices[index] = std::move(voice);
    ++Live;
    return (Voices[index].Generation << 16) | static_cast<uint32_t>(index + 1);
}

TVoiceId TAudioMixer::Add(std::shared_ptr<TSamples> data, uint32_t bytes, bool notify, bool followsFocus) {
    if (!data || bytes < kMinBytes || bytes > kMaxBytes || data->size() * 2 < bytes) return 0;
    TVoice v;
    v.Data = std::move(data);
    v.Size = bytes;
    v.Frames = bytes / kFrameBytes;
    v.Notify = notify;
    v.FollowsFocus = followsFocus;
    return Insert(std::move(v));
}

TVoiceId TAudioMixer::Duplicate(TVoiceId source) {
    const TVoice* s = Find(source);
    if (!s) return 0;
    TVoice v;
    v.Data = s->Data;
    v.Size = s->Size;
    v.Frames = s->Frames;
    v.FollowsFocus = s->FollowsFocus;
    v.Volume = s->Volume;
    v.Pan = s->Pan;
    v.Gains = s->Gains;
    return Insert(std::move(v));
}

std::shared_ptr<TSamples> TAudioMixer::Remove(TVoiceId id) {
    TVoice* v = Find(id);
    if (!v) return nullptr;
    std::shared_ptr<TSamples> data = std::move(v->Data);
    const uint32_t generation = v->Generation;
    *v = TVoice{};
    v->Generation = generation;
    --Live;
    return data;
}

uint32_t TAudioMixer::Bytes(TVoiceId id) const {
    const TVoice* v = Find(id);
    return v ? v->Size : 0;
}

bool TAudioMixer::Write(TVoiceId id, uint32_t offset, const void* data, uint32_t size) {
    TVoice* v = Find(id);
    if (!v || offset >= v->Size || size > v->Size) return false;
    auto* bytes = reinterpret_cast<uint8_t*>(v->Data->data());
    const auto* from = static_cast<const uint8_t*>(data);
    const uint32_t first = std::min(size, v->Size - offset);
    std::memcpy(bytes + offset, from, first);
    if (size > first) std::memcpy(bytes, from + first, size - first);
    return true;
}

bool TAudioMixer::SetNotifyPositions(TVoiceId id, const uint32_t* positions, uint32_t count) {
    TVoice* v = Find(id);
    if (!v || !v->Notify || v->Playing || count > kMaxNotifyPositions) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (positions[i] != kNotifyOnStop && positions[i] >= v->Size) return false;
    v->Positions.assign(positions, positions + count);
    v->Pending = 0;
    return true;
}

bool TAudioMixer::Play(TVoiceId id, bool looping) {
    TVoice* v = Find(id);
    if (!v) return false;
    v->Playing = true;
    v->Looping = looping;
    return true;
}

bool TAudioMixer::Stop(TVoiceId id) {
    TVoice* v = Find(id);
    if (!v) return false;
    if (v->Playing) {
        v->Playing = false;
        MarkStop(*v);
    }
    return true;
}

bool TAudioMixer::SetPosition(TVoiceId id, uint32_t bytes) {
    TVoice* v = Find(id);
    if (!v || bytes / kFrameBytes >= v->Frames) return false;
    v->Position = bytes / kFrameBytes;
    return true;
}

bool TAudioMixer::SetVolume(TVoiceId id, int32_t volume) {
    TVoice* v = Find(id);
    if (!v) return false;
    v->Volume = volume;
    v->Gains = GainsOf(v->Volume, v->Pan);
    return true;
}

bool TAudioMixer::SetPan(TVoiceId id, int32_t pan) {
    TVoice* v = Find(id);
    if (!v) return false;
    v->Pan = pan;
    v->Gains = GainsOf(v->Volume, v->Pan);
    return true;
}

uint32_t TAudioMixer::Status(TVoiceId id) const {
    const TVoice* v = Find(id);
    if (!v || !v->Playing) return 0;
    return kStatusPlaying | (v->Looping ? kStatusLooping : 0);
}

void TAudioMixer::GetPosition(TVoiceId id, uint32_t& play, uint32_t& write) const {
    play = write = 0;
    const TVoice* v = Find(id);
    if (!v) return;
    play = v->Position * kFrameBytes;
    const uint32_t lap = v->Frames * kFrameBytes;
    write = v->Playing ? static_cast<uint32_t>((uint64_t{play} + kWriteAheadBytes) % lap) : play;
}

uint32_t TAudioMixer::TakeSignalled(TVoiceId id) {
    TVoice* v = Find(id);
    if (!v) return 0;
    return std::exchange(v->Pending, 0);
}

uint32_t TAudioMixer::Signalled(TVoiceId id) const {
    const TVoice* v = Find(id);
    return v ? v->Pending : 0;
}

void TAudioMixer::MarkPassed(TVoice& v, uint32_t from, uint32_t to) {
    const uint32_t lap = v.Frames * kFrameBytes;
    for (size_t i = 0; i < v.Positions.size(); ++i) {
        const uint32_t p = v.Positions[i];
        if (p == kNotifyOnStop) continue;
        const uint32_t at = p == 0 ? lap : p;
        if (from < at && at <= to) v.Pending |= 1u << i;
    }
}

void TAudioMixer::MarkStop(TVoice& v) {
    for (size_t i = 0; i < v.Positions.size(); ++i)
        if (v.Positions[i] == kNotifyOnStop) v.Pending |= 1u << i;
}

void TAudioMixer::MixVoice(TVoice& v, uint32_t frames, bool& signalled) {
    const bool audible = (v.Gains.Left != 0 || v.Gains.Right != 0) && (Focused || !v.FollowsFocus);
    const uint32_t before = v.Pending;
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t take = std::min(frames - done, v.Frames - v.Position);
        if (audible) Accumulate(Sums.data() + 2 * done, v.Data->data() + 2 * v.Position, take, v.Gains);
        const uint32_t from = v.Position * kFrameBytes;
        v.Position += take;
        done += take;
        if (!v.Positions.empty()) MarkPassed(v, from, v.Position * kFrameBytes);
        if (v.Position == v.Frames) {
            v.Position = 0;
            if (!v.Looping) {
                v.Playing = false;
                MarkStop(v);
                break;
            }
        }
    }
    if (v.Pending != before) signalled = true;
}

bool TAudioMixer::Mix(int16_t* out, uint32_t frames) {
    bool signalled = false;
    while (frames > 0) {
        const uint32_t n = std::min(frames, kPieceFrames);
        std::fill_n(Sums.begin(), 2 * n, 0);
        for (TVoice& v : Voices)
            if (v.Used && v.Playing) MixVoice(v, n, signalled);
        Saturate(out, Sums.data(), 2 * n);
        out += 2 * n;
        frames -= n;
    }
    return signalled;
}

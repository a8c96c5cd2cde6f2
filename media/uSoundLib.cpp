#include "media/uSoundLib.h"

#include <algorithm>
#include <cmath>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/AnimationBmpLib.h"
#include "media/OggDataLib.h"
#include "media/StaticWaves.h"
#include "platform/AudioMixer.h"
#include "platform/Clock.h"
#include "platform/LittleEndian.h"

using namespace uSoundLib;

namespace {

// Round to the nearest integer, halves to even, saturating; anything not finite gives 0.
int32_t RoundInt(double v) {
    if (!std::isfinite(v)) return 0;
    v = std::nearbyint(v);
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

bool IsVirtualName(const std::string& name) {
    return name.compare(0, 3, "$$$") == 0;
}

// Offsets of the stream record's fields, for the check that the fields fill it exactly.
constexpr int32_t kStreamFieldBytes = 128 + 4 + 4 + 4 + 4 + 1 + 256 * 4 + 4 + 4 + 4 + 4 + 4 + 4 + 4;
constexpr int32_t kStreamSpare = 116;
static_assert(kStreamFieldBytes + kStreamSpare == TSSoundStreamRecord::kSize);
constexpr int32_t kChannelFieldBytes = 128 + 4 + 1 + 4 + 4 + 1 + 4;
constexpr int32_t kChannelSpare = 128;
static_assert(kChannelFieldBytes + kChannelSpare == TDSoundChannelRecord::kSize);

}  // namespace

namespace uSoundLib {

uint32_t GroupVolumeOf(const std::array<uint32_t, kGroupCount>& table, uint32_t group) {
    return group < static_cast<uint32_t>(kGroupCount) ? table[group] : 255;
}

void SetGroupVolumeOf(std::array<uint32_t, kGroupCount>& table, uint32_t group, int32_t volume) {
    if (group < static_cast<uint32_t>(kGroupCount)) table[group] = static_cast<uint32_t>(std::clamp(volume, 0, 255));
}

int32_t EffectVolume(int32_t volume, uint32_t groupVolume) {
    const int64_t scaled = int64_t{volume} * int64_t{groupVolume} / 255;
    const double f = static_cast<double>(scaled) / 255.0;
    if (!(f >= 0.0001)) return AudioMixer::kVolumeMin;
    return std::clamp(RoundInt(1000.0 * std::log10(f)), AudioMixer::kVolumeMin, AudioMixer::kVolumeMax);
}

}  // namespace uSoundLib

// ---- records

void TSSoundStreamRecord::Write(TStream& s) const {
    TRecordWriter w(kSize);
    w.Short(Name, kNameBytes);
    w.I32(Volume);
    w.I32(FadeTime);
    w.I32(SilenceThreshold);
    w.I32(SeekPosition);
    w.U8(State);
    for (float g : BandGains)
        w.F32(g);
    w.U32(Group);
    w.U32(Actor);
    w.I32(AGCLimit);
    w.F32(Position);
    w.I32(AGCRate);
    w.I32(AGCInitialGain);
    w.I32(AGCNoiseFloor);
    w.Zero(kStreamSpare);
    w.WriteTo(s);
}

void TSSoundStreamRecord::Read(const std::vector<uint8_t>& bytes) {
    TRecordReader r(bytes);
    Name = r.Short(kNameBytes);  // a length byte past the field is cut to it
    Volume = r.I32();
    FadeTime = r.I32();
    SilenceThreshold = r.I32();
    SeekPosition = r.I32();
    State = r.U8();
    for (float& g : BandGains)
        g = r.F32();
    Group = r.U32();
    Actor = r.U32();
    AGCLimit = r.I32();
    Position = r.F32();
    AGCRate = r.I32();
    AGCInitialGain = r.I32();
    AGCNoiseFloor = r.I32();
}

void TDSoundChannelRecord::Write(TStream& s) const {
    TRecordWriter w(kSize);
    w.Short(Name, kNameBytes);
    w.I32(Volume);
    w.U8(State);
    w.U32(Group);
    w.U32(Tag);
    w.U8(FromMemory);
    w.U32(0);
    w.Zero(kChannelSpare);
    w.WriteTo(s);
}

void TDSoundChannelRecord::Read(const std::vector<uint8_t>& bytes) {
    TRecordReader r(bytes);
    Name = r.Short(kNameBytes);
    Volume = r.I32();
    State = r.U8();
    Group = r.U32();
    Tag = r.U32();
    FromMemory = r.U8();
}

// ---- streams

TSSound::TSSound(TDDSD7& component, const TPackSet& packs, int32_t streamLength, IClock& clock,
                 std::shared_ptr<TVorbisFileDLL> decoder)
    : StreamChannel(static_cast<int32_t>(component.ChannelCount()) - 1),
      DDSD(&component),
      Packs(&packs),
      Length(static_cast<int32_t>(ddsd7::StreamBytes(streamLength))) {
    Mixer = std::make_unique<TOggPlayer>(Length, kCount);
    Mixer->GetPlayCursor = [this](uint32_t& play, uint32_t& size) {
        uint32_t write = 0;
        play = size = 0;
        if (!Wave) return;
        Wave->GetCurrentPosition(play, write);
        size = Wave->Size();
    };
    DDSD->SetPrimaryFormat(AudioMixer::kRate, AudioMixer::kBits, true);
    Silence.assign(static_cast<size_t>(Length), 0);
    Wave = TDDSDWaveData::CreateStream(*DDSD, static_cast<uint32_t>(Length), true, 16, 44100);
    Wave->Write(0, Silence.data(), Wave->Size());
    Wave->SetOnFill([this](TDDSDGenWave& wave, TDDSDChannel* context, uint32_t offset, uint32_t size) {
        NotifyFill(wave, context, offset, size);
    });
    for (int32_t i = 0; i < kCount; ++i) {
        Streams[static_cast<size_t>(i)] = std::make_unique<TOggData>(Length, clock, decoder);
        Streams[static_cast<size_t>(i)]->Log = DDSD->Log;
        Mixer->SetStream(i, Streams[static_cast<size_t>(i)].get());
        Stream(i).SignalErrorsTo(&DecodeErrorWaiting);
        Stream(i).SetGainB(1.0f);
        Stream(i).SetVolumeNow(1.0f);
    }
    GroupVolume.fill(255);
    SetActive(true);
    for (int32_t i = 0; i < kCount; ++i)
        FreeStream(i);
}

TSSound::~TSSound() {
    // The wave's thread must be gone before the mixer it calls, and the mixer before the streams
    // it reads.
    SetActive(false);
    Wave.reset();
    Mixer.reset();
    for (auto& s : Streams)
        s.reset();
}

TDDSDChannel* TSSound::Channel() {
    if (!DDSD->Initialized() || StreamChannel < 0) return nullptr;
    return DDSD->GetChannel(static_cast<uint32_t>(StreamChannel));
}

void TSSound::SetActive(bool on) {
    Active = on;
    TDDSDChannel* channel = Channel();
    if (!channel) return;
    if (channel->GetStatus() & AudioMixer::kStatusPlaying) channel->Stop();
    channel->SetWaveData(nullptr);  // waits for a fill in progress
    if (!on) return;
    // While unbound no fill runs, so the ring can be cleared: a restart does not replay the last
    // mix.
    Wave->Write(0, Silence.data(), Wave->Size());
    channel->SetWaveData(Wave.get());
    if (!(channel->GetStatus() & AudioMixer::kStatusPlaying)) channel->PlayLoopFrom(0);
    DDSD->PlayPrimary();
}

void TSSound::NotifyFill(TDDSDGenWave& wave, TDDSDChannel* context, uint32_t offset, uint32_t size) {
    if (!context) return;
    const uint32_t half = static_cast<uint32_t>(Mixer->HalfSize());
    const uint32_t mixed = Active ? std::min(size, half) : 0;
    if (mixed > 0) {
        Mixer->FillNextHalf();
        wave.Write(offset, Mixer->CurrentHalf(), mixed);
    }
    if (size > mixed)
        wave.Write(offset + mixed, Silence.data(), std::min(size - mixed, static_cast<uint32_t>(Silence.size())));
    if (DDSD->PrimaryStatus() != 0) DDSD->PlayPrimary();
}

void TSSound::ApplyGroup(int32_t n) {
    Stream(n).SetGainB(static_cast<float>(GetGroupVolume(Records[static_cast<size_t>(n)].Group)) / 255.0f);
}

bool TSSound::Open(int32_t n, const std::string& resolved) {
    try {
        return Stream(n).Open(Packs->LoadFile(resolved), resolved);
    } catch (const EOggError&) {
        FreeStream(n);  // the decoder refused the file: the stream is left empty
        return false;
    }
}

void TSSound::LogDecodeErrors() {
    // Once a frame: the sixteen streams are only visited when one of them left a message.
    if (!DecodeErrorWaiting.load(std::memory_order_relaxed) ||
        !DecodeErrorWaiting.exchange(false, std::memory_order_acq_rel))
        return;
    for (const auto& stream : Streams)
        stream->LogDecodeError();
}

bool TSSound::LoadStream(int32_t n, const std::string& name, uint32_t group, bool force, uint32_t actor) {
    if (!Valid(n)) return false;
    TSSoundStreamRecord& r = Records[static_cast<size_t>(n)];
    const std::string resolved = Packs->ResolveFileName(name);
    if (resolved.empty()) {
        FreeStream(n);
        r.Name = name;
        return false;
    }
    if (!force && r.Name == resolved) return true;
    if (!Open(n, resolved)) return false;
    r.Name = resolved;
    r.Group = group;
    r.Actor = actor;
    Voice[static_cast<size_t>(n)] = false;
    return true;
}

bool TSSound::LoadVoice(int32_t n, const std::string& name, uint32_t actor) {
    if (!LoadStream(n, name, sgVoice, true, actor)) return false;
    Voice[static_cast<size_t>(n)] = true;
    return true;
}

void TSSound::FreeStream(int32_t n) {
    if (!Valid(n)) return;
    Pause(n);
    TOggData& s = Stream(n);
    s.Close();
    s.SetVolumeNow(1.0f);
    for (int32_t b = 0; b < TOggData::kBands; ++b)
        s.SetBandGainNow(b, 1.0f);
    s.SetAGCLevel(0);
    TSSoundStreamRecord& r = Records[static_cast<size_t>(n)];
    r.AGCLimit = r.AGCInitialGain = r.AGCNoiseFloor = r.AGCRate = 0;
    r.Name.clear();
    r.State = 0;
    r.BandGains.fill(1.0f);
    Voice[static_cast<size_t>(n)] = false;
}

void TSSound::Play(int32_t n, bool loop) {
    if (!Valid(n)) return;
    ApplyGroup(n);
    Stream(n).Play(loop);
}

void TSSound::Stop(int32_t n) {
    if (Valid(n)) Stream(n).StopAndRewind();
}

void TSSound::Pause(int32_t n) {
    if (Valid(n)) Stream(n).Stop();
}

void TSSound::SetVolume(int32_t n, int32_t volume, int32_t fadeMs) {
    if (!Valid(n)) return;
    ApplyGroup(n);
    TSSoundStreamRecord& r = Records[static_cast<size_t>(n)];
    r.Volume = volume;
    r.FadeTime = fadeMs;
    Stream(n).SetVolume(static_cast<float>(volume) / 255.0f, static_cast<float>(fadeMs) / 1000.0f);
}

int32_t TSSound::GetVolume(int32_t n) {
    if (!Valid(n)) return 255;
    return RoundInt(static_cast<double>(Stream(n).GetVolumeTarget()) * 255.0);
}

std::string TSSound::GetName(int32_t n) const {
    return Valid(n) ? Records[static_cast<size_t>(n)].Name : std::string();
}

int32_t TSSound::GetState(int32_t n) const {
    return Valid(n) ? Stream(n).GetState() : psNONE;
}

int32_t TSSound::GetPlayState(int32_t n) {
    return Valid(n) ? Stream(n).GetPlayState() : psNONE;
}

float TSSound::GetLevel(int32_t n, int32_t which) {
    return Valid(n) ? Stream(n).GetLevel(which) : 0.0f;
}

void TSSound::SetEqualizer4(int32_t n, const int32_t gains[4], int32_t fadeMs) {
    if (!Valid(n)) return;
    float g[4];
    for (int i = 0; i < 4; ++i)
        g[i] = static_cast<float>(gains[i]) / 255.0f;
    Stream(n).SetEqualizer4(g, static_cast<float>(fadeMs) / 1000.0f);
}

void TSSound::SetEqualizer8(int32_t n, const int32_t gains[8], int32_t fadeMs) {
    if (!Valid(n)) return;
    float g[8];
    for (int i = 0; i < 8; ++i)
        g[i] = static_cast<float>(gains[i]) / 255.0f;
    Stream(n).SetEqualizer8(g, static_cast<float>(fadeMs) / 1000.0f);
}

void TSSound::SeekMs(int32_t n, int32_t ms) {
    if (!Valid(n)) return;
    Records[static_cast<size_t>(n)].SeekPosition = ms;
    Stream(n).Seek(static_cast<float>(ms) / 1000.0f);
}

void TSSound::SkipSilence(int32_t n, int32_t threshold) {
    if (!Valid(n)) return;
    Records[static_cast<size_t>(n)].SilenceThreshold = threshold;
    if (threshold >= 1) Stream(n).SkipSilence(threshold);
}

int32_t TSSound::GetPositionMs(int32_t n) {
    return Valid(n) ? RoundInt(static_cast<double>(Stream(n).GetPosition()) * 1000.0) : 0;
}

int32_t TSSound::GetPlayingTimeMs(int32_t n) {
    return Valid(n) ? RoundInt(static_cast<double>(Stream(n).GetPlayingTime()) * 1000.0) : 0;
}

int32_t TSSound::GetLengthMs(int32_t n) {
    return Valid(n) ? RoundInt(static_cast<double>(Stream(n).TimeTotal) * 1000.0) : 0;
}

void TSSound::SetGroup(int32_t n, uint32_t group) {
    if (Valid(n)) Records[static_cast<size_t>(n)].Group = group;
}

void TSSound::SetAGC(int32_t n, int32_t initialGain, int32_t noiseFloor, int32_t limit, int32_t rate) {
    if (!Valid(n)) return;
    TSSoundStreamRecord& r = Records[static_cast<size_t>(n)];
    if (initialGain != 0 && noiseFloor != 0 && limit != 0 && rate != 0) {
        Stream(n).SetAGCParams(RoundInt(limit / 255.0 * 30000.0), RoundInt(noiseFloor / 255.0 * 30000.0),
                               static_cast<float>(initialGain / 255.0), static_cast<float>(rate / 1000.0));
        r.AGCInitialGain = initialGain;
        r.AGCNoiseFloor = noiseFloor;
        r.AGCLimit = limit;
        r.AGCRate = rate;
    } else {
        Stream(n).SetAGCLevel(0);
        r.AGCInitialGain = r.AGCNoiseFloor = r.AGCLimit = r.AGCRate = 0;
    }
}

void TSSound::SwapStreams(int32_t a, int32_t b) {
    if (!Valid(a) || !Valid(b) || a == b) return;
    std::swap(Records[static_cast<size_t>(a)], Records[static_cast<size_t>(b)]);
    std::swap(Voice[static_cast<size_t>(a)], Voice[static_cast<size_t>(b)]);
    std::swap(Streams[static_cast<size_t>(a)], Streams[static_cast<size_t>(b)]);
    Mixer->SwapSlots(a, b);
}

bool TSSound::IsVoice(int32_t n) const {
    return Valid(n) && Voice[static_cast<size_t>(n)];
}

void TSSound::FadeOutVoices(uint32_t actor, int32_t fadeMs) {
    for (int32_t n = 0; n < kCount; ++n)
        if (Voice[static_cast<size_t>(n)] && Records[static_cast<size_t>(n)].Actor == actor && GetState(n) >= psPLAY)
            SetVolume(n, 0, fadeMs);
}

void TSSound::SetGroupVolume(uint32_t group, int32_t volume) {
    SetGroupVolumeOf(GroupVolume, group, volume);
}

void TSSound::UpdateGroupVolumes() {
    for (int32_t n = 0; n < kCount; ++n)
        ApplyGroup(n);
}

const TSSoundStreamRecord& TSSound::Record(int32_t n) const {
    static const TSSoundStreamRecord empty;
    return Valid(n) ? Records[static_cast<size_t>(n)] : empty;
}

void TSSound::SaveToStream(TStream& s) {
    for (int32_t n = 0; n < kCount; ++n) {
        TSSoundStreamRecord& r = Records[static_cast<size_t>(n)];
        r.Volume = GetVolume(n);
        r.State = static_cast<uint8_t>(GetState(n));
        r.Position = Stream(n).GetPosition();
        for (int32_t b = 0; b < TOggData::kBands; ++b)
            r.BandGains[static_cast<size_t>(b)] = Stream(n).GetBandGain(b);
        r.Write(s);
    }
}

bool TSSound::LoadFromStream(TStream* s) {
    if (!s) return true;
    if (s->Remaining() < SavedBytes()) return false;
    for (int32_t n = 0; n < kCount; ++n)
        FreeStream(n);
    std::vector<uint8_t> bytes;
    for (int32_t n = 0; n < kCount; ++n) {
        if (!ReadRecordBytes(*s, TSSoundStreamRecord::kSize, bytes)) return false;
        TSSoundStreamRecord& r = Records[static_cast<size_t>(n)];
        r.Read(bytes);
        const TSSoundStreamRecord saved = r;
        SetVolume(n, saved.Volume, 0);
        SetAGC(n, saved.AGCInitialGain, saved.AGCNoiseFloor, saved.AGCLimit, saved.AGCRate);
        if (saved.State == psNONE) continue;
        if (!LoadStream(n, saved.Name, saved.Group, true, 0)) {
            FreeStream(n);  // the file is gone or broken: the stream stays empty
            continue;
        }
        SeekMs(n, RoundInt(static_cast<double>(saved.Position) * 1000.0));
        Stream(n).SetVolumeNow(0);
        SetVolume(n, saved.Volume, kRestoreFadeMs);
        SetAGC(n, saved.AGCInitialGain, saved.AGCNoiseFloor, saved.AGCLimit, saved.AGCRate);
        for (int32_t b = 0; b < TOggData::kBands; ++b)
            Stream(n).SetBandGainNow(b, saved.BandGains[static_cast<size_t>(b)]);
        r.BandGains = saved.BandGains;
        if (saved.State == psPLAY) Play(n, false);
        if (saved.State == psLOOP) Play(n, true);
    }
    return true;
}

// ---- effect channels

TDSound::TDSound(TDDSD7& component, const TPackSet& packs, IClock& clock, std::shared_ptr<TVorbisFileDLL> decoder)
    : DDSD(&component),
      Packs(&packs),
      Clock(clock),
      Decoder(std::move(decoder)),
      ChannelCount(static_cast<int32_t>(component.ChannelCount()) - 1) {
    const auto count = static_cast<size_t>(ChannelCount);
    GroupFactor.assign(count, 255);
    LastPlay.assign(count, 0);
    Played.assign(count, false);
    Records.resize(count);
    Waves.resize(count);
    GroupVolume.fill(255);
    for (int32_t n = 0; n < ChannelCount; ++n)
        FreeChannel(n);
}

TDSound::~TDSound() {
    for (int32_t n = 0; n < ChannelCount; ++n)
        FreeChannel(n);
}

TDDSDChannel* TDSound::Channel(int32_t n) {
    if (!Valid(n) || !DDSD->Initialized()) return nullptr;
    return DDSD->GetChannel(static_cast<uint32_t>(n));
}

bool TDSound::Bind(int32_t n, std::unique_ptr<TDDSDWaveData> wave) {
    if (!wave) return false;
    Waves[static_cast<size_t>(n)] = std::move(wave);
    if (TDDSDChannel* c = Channel(n)) c->SetWaveData(Waves[static_cast<size_t>(n)].get());
    return true;
}

bool TDSound::LoadSound(int32_t n, const std::string& name, uint32_t group, bool force, uint32_t tag) {
    if (!Valid(n)) return false;
    const std::string resolved = Packs->ResolveFileName(name);
    if (resolved.empty()) return false;
    TDSoundChannelRecord& r = Records[static_cast<size_t>(n)];
    r.Group = group;
    r.Tag = tag;
    if (!force && r.Name == resolved && !IsVirtualName(resolved)) return true;
    FreeChannel(n);
    r.Group = group;
    r.Tag = tag;
    if (!Config || Config->ForceDirectSoundMode == 0) {
        std::unique_ptr<TMemoryStream> file = Packs->LoadFile(resolved);
        if (!Bind(n, OggDdsdLib::CreateWaveDataFromOgg(*DDSD, Decoder, file.get(), resolved))) return false;
        r.Name = resolved;
    }
    Played[static_cast<size_t>(n)] = false;
    LastPlay[static_cast<size_t>(n)] = 0;
    return true;
}

bool TDSound::LoadFromMemory(int32_t n, const TMemoryStream* pcm, uint32_t group, bool force, const std::string& name) {
    if (!Valid(n) || !pcm || pcm->Data.size() < AudioMixer::kFrameBytes) return false;
    TDSoundChannelRecord& r = Records[static_cast<size_t>(n)];
    // An empty name names nothing, so it never stands for a sound already there.
    if (!force && !name.empty() && r.Name == name) {
        r.Group = group;
        return true;
    }
    std::unique_ptr<TDDSDWaveData> wave;
    if (!Config || Config->ForceDirectSoundMode == 0) {
        wave = OggDdsdLib::CreateWaveDataFromPCM(*DDSD, pcm->Memory(), static_cast<int64_t>(pcm->Data.size()));
        if (!wave) return false;  // refused before the channel is touched
    }
    FreeChannel(n);
    r.Group = group;
    if (wave) {
        Bind(n, std::move(wave));
        r.Name = name;
        r.FromMemory = 1;
    }
    Played[static_cast<size_t>(n)] = false;
    LastPlay[static_cast<size_t>(n)] = 0;
    return true;
}

void TDSound::FreeChannel(int32_t n) {
    if (!Valid(n)) return;
    Stop(n);
    if (TDDSDChannel* c = Channel(n)) c->SetWaveData(nullptr);
    Waves[static_cast<size_t>(n)].reset();
    Played[static_cast<size_t>(n)] = false;
    LastPlay[static_cast<size_t>(n)] = 0;
    Records[static_cast<size_t>(n)] = TDSoundChannelRecord{};
    SetVolume(n, 255);
}

void TDSound::Play(int32_t n, bool loop, int32_t startMs) {
    if (!Valid(n) || !Waves[static_cast<size_t>(n)]) return;
    const uint32_t now = Clock.NowMs();
    if (Played[static_cast<size_t>(n)] && now - LastPlay[static_cast<size_t>(n)] < kReplayGuardMs) return;
    const TDSoundChannelRecord& r = Records[static_cast<size_t>(n)];
    GroupFactor[static_cast<size_t>(n)] = GetGroupVolume(r.Group);
    TDDSDChannel* c = Channel(n);
    if (c) {
        c->Stop();
        c->SetVolume(EffectVolume(r.Volume, GroupFactor[static_cast<size_t>(n)]));
        c->SetPan(0);
        const uint32_t size = Waves[static_cast<size_t>(n)]->Size();
        const double at = std::max(0.0, std::nearbyint(startMs / 1000.0 * AudioMixer::kBytesPerSecond));
        uint64_t offset = static_cast<uint64_t>(at) / AudioMixer::kFrameBytes * AudioMixer::kFrameBytes;
        // A start past the end of the sound: a loop comes round to it, a single play has nothing left.
        if (offset >= size) {
            if (!loop) return;
            offset %= size;
        }
        if (loop)
            c->PlayLoopFrom(static_cast<uint32_t>(offset));
        else
            c->PlayFrom(static_cast<uint32_t>(offset));
    }
    Played[static_cast<size_t>(n)] = true;
    LastPlay[static_cast<size_t>(n)] = now;
}

void TDSound::Stop(int32_t n) {
    if (!Valid(n) || !Waves[static_cast<size_t>(n)]) return;
    if (TDDSDChannel* c = Channel(n)) c->Stop();
}

void TDSound::SetVolume(int32_t n, int32_t volume) {
    if (!Valid(n)) return;
    TDSoundChannelRecord& r = Records[static_cast<size_t>(n)];
    GroupFactor[static_cast<size_t>(n)] = GetGroupVolume(r.Group);
    r.Volume = volume;
}

int32_t TDSound::GetVolume(int32_t n) const {
    return Valid(n) ? Records[static_cast<size_t>(n)].Volume : 255;
}

int32_t TDSound::GetState(int32_t n) {
    if (!Valid(n) || !Waves[static_cast<size_t>(n)]) return psNONE;
    TDDSDChannel* c = Channel(n);
    const uint32_t status = c ? c->GetStatus() : 0;
    if (status & AudioMixer::kStatusLooping) return psLOOP;
    if (status & AudioMixer::kStatusPlaying) return psPLAY;
    return psSTOP;
}

std::string TDSound::GetName(int32_t n) const {
    return Valid(n) ? Records[static_cast<size_t>(n)].Name : std::string();
}

void TDSound::SwapChannels(int32_t a, int32_t b) {
    if (!Valid(a) || !Valid(b) || a == b) return;
    std::swap(Waves[static_cast<size_t>(a)], Waves[static_cast<size_t>(b)]);
    std::swap(Records[static_cast<size_t>(a)], Records[static_cast<size_t>(b)]);
    std::swap(GroupFactor[static_cast<size_t>(a)], GroupFactor[static_cast<size_t>(b)]);
    // Both are unbound first: with shared buffers one wave must never be bound to two channels
    // whose later unbinding would stop the other.
    TDDSDChannel* ca = Channel(a);
    TDDSDChannel* cb = Channel(b);
    if (!ca || !cb) return;
    ca->SetWaveData(nullptr);
    cb->SetWaveData(nullptr);
    ca->SetWaveData(Waves[static_cast<size_t>(a)].get());
    cb->SetWaveData(Waves[static_cast<size_t>(b)].get());
}

void TDSound::SetActive(bool on) {
    if (on) return;
    for (int32_t n = 0; n < ChannelCount; ++n)
        Stop(n);
}

void TDSound::SetGroupVolume(uint32_t group, int32_t volume) {
    SetGroupVolumeOf(GroupVolume, group, volume);
}

void TDSound::UpdateGroupVolumes() {
    for (int32_t n = 0; n < ChannelCount; ++n)
        GroupFactor[static_cast<size_t>(n)] = GetGroupVolume(Records[static_cast<size_t>(n)].Group);
}

const TDSoundChannelRecord& TDSound::Record(int32_t n) const {
    static const TDSoundChannelRecord empty;
    return Valid(n) ? Records[static_cast<size_t>(n)] : empty;
}

uint32_t TDSound::WaveBytes(int32_t n) const {
    return Valid(n) && Waves[static_cast<size_t>(n)] ? Waves[static_cast<size_t>(n)]->Size() : 0;
}

void TDSound::SaveToStream(TStream& s) {
    for (int32_t n = 0; n < ChannelCount; ++n) {
        TDSoundChannelRecord& r = Records[static_cast<size_t>(n)];
        r.Volume = GetVolume(n);
        r.State = static_cast<uint8_t>(GetState(n));
        r.Write(s);
    }
}

bool TDSound::LoadFromStream(TStream* s) {
    if (!s) return true;
    if (s->Remaining() < SavedBytes()) return false;
    for (int32_t n = 0; n < ChannelCount; ++n)
        FreeChannel(n);
    std::vector<uint8_t> bytes;
    for (int32_t n = 0; n < ChannelCount; ++n) {
        if (!ReadRecordBytes(*s, TDSoundChannelRecord::kSize, bytes)) return false;
        TDSoundChannelRecord& r = Records[static_cast<size_t>(n)];
        r.Read(bytes);
        const TDSoundChannelRecord saved = r;
        if (saved.FromMemory) {
            FreeChannel(n);  // sounds handed over from memory are their owner's to bring back
            continue;
        }
        if (!saved.Name.empty() && !LoadSound(n, saved.Name, saved.Group, true, 0)) FreeChannel(n);
        SetVolume(n, saved.Volume);
        if (saved.State == psLOOP) Play(n, true, 0);
        if (saved.State == psPLAY && WaveBytes(n) > kReplayBytes) Play(n, false, 0);
    }
    return true;
}

// ---- the facade

namespace {

class TAnimationSoundLink final : public IAnimationSound {
public:
    explicit TAnimationSoundLink(TSound& sound) : Sound(sound) {}
    bool LoadFromMemory(int32_t channel, const TMemoryStream& pcm, int32_t group, bool force,
                        const std::string& name) override {
        return Sound.DSound->LoadFromMemory(channel, &pcm, static_cast<uint32_t>(group), force, name);
    }
    void SetVolume(int32_t channel, int32_t volume) override { Sound.DSound->SetVolume(channel, volume); }
    void Play(int32_t channel, bool loop, int32_t startMs) override { Sound.DSound->Play(channel, loop, startMs); }
    void Stop(int32_t channel) override { Sound.DSound->Stop(channel); }
    float GetLevel(int32_t stream, int32_t which) override { return Sound.SSound->GetLevel(stream, which); }
    int32_t StreamChannelCount() override { return Sound.SSound->Count(); }
    int32_t EffectChannelCount() override { return Sound.DSound->Count(); }

private:
    TSound& Sound;
};

}  // namespace

TSound::TSound(TDDSD7& component, const TPackSet& packs, int32_t streamLength, IClock& clock,
               std::shared_ptr<TVorbisFileDLL> decoder)
    : DSound(std::make_unique<TDSound>(component, packs, clock, decoder)),
      SSound(std::make_unique<TSSound>(component, packs, streamLength, clock, decoder)),
      AnimationLink(std::make_unique<TAnimationSoundLink>(*this)) {}

TSound::~TSound() {
    AnimationLink.reset();
    SSound.reset();
    DSound.reset();
}

void TSound::SetActive(bool on) {
    SSound->SetActive(on);
    DSound->SetActive(on);
}

void TSound::StopAll() {
    for (int32_t n = 0; n < SSound->Count(); ++n)
        SSound->FreeStream(n);
    for (int32_t n = 0; n < DSound->Count(); ++n)
        DSound->FreeChannel(n);
}

void TSound::SetGroupVolume(uint32_t group, int32_t volume) {
    SSound->SetGroupVolume(group, volume);
    DSound->SetGroupVolume(group, volume);
}

void TSound::UpdateGroupVolumes() {
    SSound->UpdateGroupVolumes();
    DSound->UpdateGroupVolumes();
}

void TSound::SaveToStream(TStream& s) {
    DSound->SaveToStream(s);
    SSound->SaveToStream(s);
}

bool TSound::LoadFromStream(TStream* s) {
    if (!s) return true;
    if (s->Remaining() < SavedBytes()) return false;
    const bool effects = DSound->LoadFromStream(s);
    return SSound->LoadFromStream(s) && effects;
}

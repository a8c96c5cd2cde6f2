#include "foundation/SoundComponent.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"

namespace ddsd7 {

namespace {

// Failures kept for the main thread at most; the ones after are dropped.
constexpr size_t kMaxPosted = 64;

void DefaultHalt(const std::string&) {
    std::exit(1);
}

}  // namespace

uint32_t StreamBytes(int64_t requested) {
    const int64_t clamped = std::clamp<int64_t>(requested, kStreamMinBytes, kStreamMaxBytes);
    return static_cast<uint32_t>(clamped) & ~7u;
}

TRefill RefillStep(int32_t state, uint32_t play, uint32_t write, bool playing, uint32_t half) {
    TRefill r;
    r.State = state;
    if ((play == 0 && write == 0) || static_cast<int32_t>(play) < 0 || static_cast<int32_t>(write) < 0) return r;
    if (state == 0 && play < half && write < half) {
        r.Half = TRefillHalf::Second;
        r.Fill = playing;
        r.State = 1;
    } else if (state == 1 && play > half && write > half) {
        r.Half = TRefillHalf::First;
        r.Fill = playing;
        r.State = 0;
    }
    return r;
}

}  // namespace ddsd7

using namespace ddsd7;

// ---- the component ----

TDDSD7::TDDSD7(IAudioDevice* device)
    : AudioDevice(device), Options(dsoHaltOnError), Halt(DefaultHalt), MainThread(std::this_thread::get_id()) {}

TDDSD7::~TDDSD7() {
    if (IsInitialized && AudioDevice->OutputPlaying()) AudioDevice->StopOutput();
    try {
        Channels.clear();
    } catch (const EDDSD&) {
    }
    // Waves still alive belong to whoever forgot to free them: their threads end and their buffers
    // go now, so that nothing runs on a component that is gone, and each counts as a reference the
    // device still held.
    const auto leftovers = static_cast<uint32_t>(Waves.size());
    for (TDDSDGenWave* w : std::vector<TDDSDGenWave*>(Waves))
        w->Teardown();
    if (IsInitialized) CheckQuietly(AudioDevice->Close() + leftovers, "DirectSoundの解放に失敗しました"_sj);
}

void TDDSD7::SetHaltHandler(THaltHandler handler) {
    Halt = handler ? std::move(handler) : THaltHandler(DefaultHalt);
}

bool TDDSD7::OffMainThread() const {
    return std::this_thread::get_id() != MainThread;
}

void TDDSD7::Post(std::string text) {
    std::lock_guard lock(PostedGuard);
    if (Posted.size() < kMaxPosted) Posted.push_back(std::move(text));
}

void TDDSD7::Fail(const std::string& text) {
    DebugLog(text);
    if (Options & dsoHaltOnError) Halt(text);
}

void TDDSD7::CheckQuietly(uint32_t result, std::string_view message) {
    try {
        Check(result, message);
    } catch (const EDDSD&) {
    }
}

bool TDDSD7::InitializeSound() {
    Channels.clear();
    for (uint32_t i = 0; i < Count; ++i)
        Channels.push_back(std::make_unique<TDDSDChannel>(*this));
    OpenFailure.clear();
    if (!AudioDevice) {
        OpenFailure = "no sound device";
        IsInitialized = false;
        return false;
    }
    if (!AudioDevice->Open(OpenFailure)) {
        IsInitialized = false;
        return false;
    }
    IsInitialized = true;
    const std::string silence = AudioDevice->Error();
    if (!silence.empty() && Log)
        Log->WriteErrorLog("サウンドデバイスを開けないため、音は出ません: "_sj + Encoding::Utf8ToSjis(silence));
    SetPrimaryFormat(AudioMixer::kRate, AudioMixer::kBits, true);
    return true;
}

TDDSDChannel* TDDSD7::GetChannel(uint32_t n) {
    if (n < Channels.size()) return Channels[n].get();
    char text[256];
    std::snprintf(text, sizeof text, "チャンネル番号%uは無効です、%u～%lldの範囲で指定してください"_sj.c_str(), n, 0u,
                  static_cast<long long>(Channels.size()) - 1);
    if (OffMainThread())
        Post(text);
    else
        Fail(text);
    return nullptr;
}

void TDDSD7::SetPrimaryFormat(uint32_t rate, uint32_t bits, bool stereo) {
    if (!IsInitialized) return;
    if (AudioDevice->OutputPlaying()) AudioDevice->StopOutput();
    Check(AudioDevice->SetOutputFormat(rate, bits, stereo ? 2 : 1),
          "プライマリ・バッファのフォーマットの設定に失敗しました"_sj);
    AudioDevice->PlayOutput();
}

void TDDSD7::PlayPrimary() {
    if (IsInitialized) AudioDevice->PlayOutput();
}

uint32_t TDDSD7::PrimaryStatus() {
    if (!IsInitialized || !AudioDevice->OutputPlaying()) return 0;
    return AudioMixer::kStatusPlaying | AudioMixer::kStatusLooping;
}

uint32_t TDDSD7::Check(uint32_t result, std::string_view message) {
    if (result == 0) return result;
    char code[32];
    std::snprintf(code, sizeof code, "(Error Code(%X))", result);
    std::string text = std::string(message) + code;
    if (OffMainThread())
        Post(std::move(text));
    else
        Fail(text);
    return result;
}

void TDDSD7::DebugLog(std::string_view text) {
    if (Options & dsoDebugMessage) {
        ++DebugLines;
        char number[16];
        std::snprintf(number, sizeof number, "%.5d", DebugLines);
        const std::string path = (DebugFolder.empty() ? FileSystem::ProgramFolder() : DebugFolder) + "/ddsd.debug";
        FileSystem::AppendToFile(path, "debug#" + std::string(number) + " ... " + std::string(text) + "\r\n",
                                 DebugLines == 1 ? FileSystem::TAppend::Restart : FileSystem::TAppend::CreateMissing);
    }
    if (Options & dsoExceptOnError) throw EDDSD(std::string(text));
}

void TDDSD7::DeliverThreadFailures() {
    while (true) {
        std::string text;
        {
            std::lock_guard lock(PostedGuard);
            if (Posted.empty()) return;
            text = std::move(Posted.front());
            Posted.pop_front();
        }
        Fail(text);
    }
}

void TDDSD7::AddWave(TDDSDGenWave* wave) {
    Waves.push_back(wave);
}

void TDDSD7::RemoveWave(TDDSDGenWave* wave) {
    std::erase(Waves, wave);
    for (auto& c : Channels)
        if (c->Wave() == wave) c->SetWaveData(nullptr);
}

// ---- waves ----

TDDSDGenWave::TDDSDGenWave(TDDSD7& component, bool streaming, uint32_t size, bool stereo, uint32_t bits, uint32_t rate)
    : Component(&component), IsStreaming(streaming), Bytes(size) {
    component.AddWave(this);
    try {
        Build(stereo, bits, rate);
    } catch (...) {
        Teardown();
        throw;
    }
}

TDDSDGenWave::~TDDSDGenWave() {
    Teardown();
}

IAudioDevice* TDDSDGenWave::LiveDevice() const {
    return Component && Component->Initialized() ? Component->Device() : nullptr;
}

void TDDSDGenWave::Build(bool stereo, uint32_t bits, uint32_t rate) {
    if (IsStreaming) HalfBytes = Bytes / 2;
    WaveFormat.Channels = stereo ? 2 : 1;
    WaveFormat.SamplesPerSec = rate;
    WaveFormat.BitsPerSample = static_cast<uint16_t>(bits);
    WaveFormat.BlockAlign = static_cast<uint16_t>(WaveFormat.Channels * bits / 8);
    WaveFormat.AvgBytesPerSec = WaveFormat.BlockAlign * rate;
    IAudioDevice* device = LiveDevice();
    if (!device) return;
    Audio::TBufferDesc desc;
    desc.Bytes = Bytes;
    desc.Rate = rate;
    desc.Bits = bits;
    desc.Channels = WaveFormat.Channels;
    desc.PositionNotify = IsStreaming;
    desc.GlobalFocus = Component->StickyFocus;
    Component->Check(device->CreateBuffer(desc, BufferId), "サウンドバッファの作成に失敗しました"_sj);
    if (!IsStreaming || BufferId == 0) return;
    const uint32_t positions[3] = {0, HalfBytes, AudioMixer::kNotifyOnStop};
    if (Component->Check(device->SetNotifyPositions(BufferId, positions, 3), "NotifyPositionの設定に失敗しました"_sj) !=
        0)
        return;
    Thread = std::make_unique<TDDSDNotifyThread>(*this);
}

void TDDSDGenWave::Teardown() {
    // The thread goes first, while no lock is held, so no fill can run on a buffer that is gone; it
    // has ended before its object is let go, since it reads the wave's fields to the last.
    if (Thread) Thread->Terminate();
    Thread.reset();
    if (!Component) return;
    TDDSD7* component = Component;
    component->RemoveWave(this);
    if (IAudioDevice* device = LiveDevice(); device && BufferId != 0)
        component->CheckQuietly(device->ReleaseBuffer(BufferId), "二次バッファの解放に失敗しました"_sj);
    BufferId = 0;
    Component = nullptr;
}

void TDDSDGenWave::Write(uint32_t offset, const void* data, uint32_t size) {
    IAudioDevice* device = LiveDevice();
    if (!device || BufferId == 0) return;
    Component->Check(device->WriteBuffer(BufferId, offset, data, size), "DirectSoundBufferのロックに失敗しました"_sj);
}

void TDDSDGenWave::DoFill() {
    std::lock_guard lock(FillGuard);
    if (!OnFill || !Thread) return;
    if (Thread->SecondHalf())
        OnFill(*this, FillContext, HalfBytes, Bytes - HalfBytes);
    else
        OnFill(*this, FillContext, 0, HalfBytes);
}

void TDDSDGenWave::SetOnFill(TDDSDFillEvent handler) {
    std::lock_guard lock(FillGuard);
    OnFill = std::move(handler);
}

TDDSDChannel* TDDSDGenWave::Context() {
    std::lock_guard lock(FillGuard);
    return FillContext;
}

void TDDSDGenWave::GetCurrentPosition(uint32_t& play, uint32_t& write) {
    play = write = 0;
    if (IAudioDevice* device = LiveDevice(); device && BufferId != 0) device->GetPosition(BufferId, play, write);
}

void TDDSDGenWave::SetContext(TDDSDChannel* channel) {
    std::lock_guard lock(FillGuard);
    FillContext = channel;
}

std::unique_ptr<TDDSDWaveData> TDDSDWaveData::Create(TDDSD7& component, uint32_t size, bool stereo, uint32_t bits,
                                                     uint32_t rate) {
    return std::make_unique<TDDSDWaveData>(component, false, size, stereo, bits, rate);
}

std::unique_ptr<TDDSDWaveData> TDDSDWaveData::CreateStream(TDDSD7& component, uint32_t size, bool stereo, uint32_t bits,
                                                           uint32_t rate) {
    return std::make_unique<TDDSDWaveData>(component, true, StreamBytes(size), stereo, bits, rate);
}

// ---- the notification thread ----

TDDSDNotifyThread::TDDSDNotifyThread(TDDSDGenWave& wave)
    : Wave(wave), Thread([this](std::stop_token stop) { Execute(stop); }) {}

void TDDSDNotifyThread::Terminate() {
    if (!Thread.joinable()) return;
    Thread.request_stop();
    Thread.join();
}

void TDDSDNotifyThread::Execute(std::stop_token stop) {
    TDDSD7& component = *Wave.Component;
    IAudioDevice* device = component.Device();
    const Audio::TBufferId buffer = Wave.BufferId;
    // Every wait ends in the device, even the last one: the manual device counts on it.
    while (true) {
        device->WaitNotify(buffer, 5, stop);
        if (stop.stop_requested()) break;
        try {
            Step();
        } catch (const std::exception& e) {
            component.Post(e.what());
        } catch (...) {
            component.Post("unknown failure in the fill handler");
        }
    }
}

void TDDSDNotifyThread::Step() {
    // The device and buffer stay as they are while the thread runs; the component's other fields
    // belong to the main thread.
    IAudioDevice* device = Wave.Component->Device();
    uint32_t play = 0, write = 0, status = 0;
    device->GetPosition(Wave.BufferId, play, write);
    device->GetStatus(Wave.BufferId, status);
    const TRefill r = RefillStep(State, play, write, (status & AudioMixer::kStatusPlaying) != 0, Wave.HalfBytes);
    State = r.State;
    if (r.Half != TRefillHalf::None) NextSecondHalf = r.Half == TRefillHalf::Second;
    if (r.Fill) Wave.DoFill();
}

// ---- channels ----

TDDSDChannel::~TDDSDChannel() {
    if (OwnsBuffer && Device()) Device()->ReleaseBuffer(BufferId);
    if (IsStreaming && Bound) Bound->SetContext(nullptr);
}

void TDDSDChannel::Unbind() {
    Stop();
    if (OwnsBuffer)
        Component.Check(Device()->ReleaseBuffer(BufferId), "setWaveData サウンドバッファの解放に失敗しました"_sj);
    if (IsStreaming && Bound) Bound->SetContext(nullptr);
    BufferId = 0;
    Bound = nullptr;
    IsStreaming = false;
    OwnsBuffer = false;
}

void TDDSDChannel::SetWaveData(TDDSDGenWave* wave) {
    if (!Component.Initialized() || wave == Bound) return;
    Unbind();
    if (!wave) return;
    if (wave->Streaming()) {
        BufferId = wave->Buffer();
        wave->SetContext(this);
    } else if (Component.DuplicateStaticBuffers) {
        Component.Check(Device()->DuplicateBuffer(wave->Buffer(), BufferId),
                        "setWaveData サウンドバッファの複製に失敗しました"_sj);
        OwnsBuffer = BufferId != 0;
    } else {
        BufferId = wave->Buffer();
    }
    IsStreaming = wave->Streaming();
    Bound = wave;
}

void TDDSDChannel::Stop() {
    uint32_t status = 0;
    if (BufferId != 0 && Device()->GetStatus(BufferId, status) == 0 && status != 0) Device()->Stop(BufferId);
}

void TDDSDChannel::PlayLoop() {
    PlayLoopFrom(0);
}

void TDDSDChannel::PlayFrom(uint32_t position) {
    if (BufferId == 0) return;
    Device()->SetPosition(BufferId, position);
    Device()->Play(BufferId, false);
}

void TDDSDChannel::PlayLoopFrom(uint32_t position) {
    if (BufferId == 0) return;
    Device()->SetPosition(BufferId, position);
    Device()->Play(BufferId, true);
}

void TDDSDChannel::SetVolume(int32_t volume) {
    if (BufferId != 0) Device()->SetVolume(BufferId, volume);
}

void TDDSDChannel::SetPan(int32_t pan) {
    if (BufferId != 0) Device()->SetPan(BufferId, pan);
}

uint32_t TDDSDChannel::GetStatus() {
    uint32_t status = 0;
    if (BufferId != 0) Device()->GetStatus(BufferId, status);
    return status;
}

// The stream mixer with all 16 streams playing (different music in each, equaliser off, gain
// control off): one refill of the streaming wave per iteration, which decodes half a buffer of
// every stream and sums them, against the baseline of the same 16 files decoded by plain ov_read
// loops into buffers of the same size (decoding alone, nothing summed). Printed after the table:
// the processor time per second of sound for both and their ratio, and then the spread of single
// refills at the shortest stream length against the time one half lasts.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "foundation/PackLib.h"
#include "media/uSoundLib.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "platform/headless/ManualAudio.h"
#include "tools/kelsound/SoundWriter.h"

namespace {

constexpr int32_t kStreams = 16;
constexpr int32_t kDefaultLength = 131072;  // the setting's default: halves of 65536 bytes
constexpr int32_t kShortestLength = 16384;  // halves of 8192 bytes, 46.4 ms

// Sixteen files of three seconds, each a chord of its own, loud enough to keep the coder busy.
const std::vector<std::string>& Music() {
    static std::vector<std::string> files;
    if (files.empty())
        for (int32_t i = 0; i < kStreams; ++i) {
            SoundWriter::TSamples s = SoundWriter::Sine(44100, 2, 3 * 44100, 220 + 37 * i, 0.2);
            const SoundWriter::TSamples b = SoundWriter::Sine(44100, 2, 3 * 44100, 1320 + 91 * i, 0.1);
            for (size_t k = 0; k < s.size(); ++k)
                s[k] = static_cast<int16_t>(s[k] + b[k]);
            files.push_back(SoundWriter::EncodeOgg(s, 44100, 2, {}, 0.4f));
        }
    return files;
}

std::string Name(int32_t i) {
    return "music" + std::to_string(i) + ".ogg";
}

// The library on the manual device with every stream playing in a loop. The device is never
// rendered, so the wave's own thread stays asleep and the refill runs on the caller's thread.
struct TPlayingLibrary {
    explicit TPlayingLibrary(int32_t streamLength) {
        Packs.FileExistsHook = [](const std::string& n) { return n.rfind("music", 0) == 0; };
        Packs.LoadFileHook = [](const std::string& n) -> std::unique_ptr<TMemoryStream> {
            for (int32_t i = 0; i < kStreams; ++i)
                if (n == Name(i)) return std::make_unique<TMemoryStream>(Music()[static_cast<size_t>(i)]);
            return nullptr;
        };
        Component.SetChannelCount(16);
        Component.Initialize();
        Sound = std::make_unique<TSound>(Component, Packs, streamLength, Clock,
                                         OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll"));
        for (int32_t i = 0; i < kStreams; ++i) {
            Sound->SSound->LoadStream(i, Name(i), sgMusic, true, 0);
            Sound->SSound->Play(i, true);
        }
        Target = TDDSDWaveData::CreateStream(Component, static_cast<uint32_t>(streamLength), true, 16, 44100);
        Half = static_cast<uint32_t>(Sound->SSound->Player().HalfSize());
    }
    ~TPlayingLibrary() {
        Target.reset();
        Sound.reset();
    }
    void Refill() { Sound->SSound->NotifyFill(*Target, Component.GetChannel(0), 0, Half); }

    TSystemClock Clock;
    TPackSet Packs;
    TManualAudioDevice Device;
    TDDSD7 Component{&Device};
    std::unique_ptr<TSound> Sound;
    std::unique_ptr<TDDSDWaveData> Target;
    uint32_t Half = 0;
};

void Ours(benchmark::State& state) {
    TPlayingLibrary library(kDefaultLength);
    for (auto _ : state)
        library.Refill();
    state.SetBytesProcessed(state.iterations() * library.Half);
}

void RawDecoders(benchmark::State& state) {
    const ov_callbacks cb{&OggWuvorbisLib::VorbisRead, &OggWuvorbisLib::VorbisSeek, &OggWuvorbisLib::VorbisClose,
                          &OggWuvorbisLib::VorbisTell};
    std::vector<OggVorbis_File> files(kStreams);
    for (int32_t i = 0; i < kStreams; ++i) {
        auto stream = std::make_unique<TMemoryStream>(Music()[static_cast<size_t>(i)]);
        if (ov_open_callbacks(stream.get(), &files[static_cast<size_t>(i)], nullptr, 0, cb) < 0) {
            state.SkipWithError("cannot open");
            return;
        }
        stream.release();
    }
    constexpr int32_t half = kDefaultLength / 2;
    std::vector<std::vector<char>> buffers(kStreams, std::vector<char>(half));
    int section = 0;
    for (auto _ : state) {
        for (int32_t i = 0; i < kStreams; ++i) {
            OggVorbis_File& vf = files[static_cast<size_t>(i)];
            char* buf = buffers[static_cast<size_t>(i)].data();
            int32_t done = 0;
            while (done < half) {
                const long r = ov_read(&vf, buf + done, half - done, 0, 2, 1, &section);
                if (r <= 0) {
                    ov_time_seek(&vf, 0.0);  // loop, as the streams do
                    continue;
                }
                done += static_cast<int32_t>(r);
            }
            benchmark::DoNotOptimize(buf);
        }
    }
    state.SetBytesProcessed(state.iterations() * half);
    for (auto& vf : files)
        ov_clear(&vf);
}

// Single refills at the shortest stream length, each timed on its own.
void RefillSpread() {
    TPlayingLibrary library(kShortestLength);
    std::vector<double> ms;
    for (int i = 0; i < 3000; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        library.Refill();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    const double period = 1000.0 * library.Half / 176400.0;
    const double p50 = ms[ms.size() / 2], p99 = ms[ms.size() * 99 / 100], worst = ms.back();
    std::printf("refill of 16 streams, halves of %u bytes (period %.1f ms), %zu refills:\n", library.Half, period,
                ms.size());
    std::printf("  p50 %.3f ms (%.1f%% of the period), p99 %.3f ms (%.1f%%), worst %.3f ms (%.1f%%)\n", p50,
                100 * p50 / period, p99, 100 * p99 / period, worst, 100 * worst / period);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("mix16/ours", Ours)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("mix16/raw_ov_read", RawDecoders)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    TTimeCollector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    const double ours = c.Time("mix16/ours"), raw = c.Time("mix16/raw_ov_read");
    // One iteration is half the default buffer: 65536 bytes, 371.5 ms of sound. The times are in
    // microseconds.
    const double perSecond = 176400.0 / (kDefaultLength / 2);
    if (ours > 0 && raw > 0) {
        std::printf(
            "\nprocessor time per second of sound, 16 streams: ours %.2f ms (%.2f%% of a core), "
            "raw decoding %.2f ms (%.2f%%)\n",
            ours * perSecond / 1000, ours * perSecond / 10000, raw * perSecond / 1000, raw * perSecond / 10000);
        std::printf("mix16/ours / mix16/raw_ov_read ratio %.3f (1.10 is 10%% overhead)\n", ours / raw);
    }
    RefillSpread();
    benchmark::Shutdown();
    return 0;
}

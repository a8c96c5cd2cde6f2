// The Ogg stream's block read against a raw decoder loop over the same file, in the same run:
// TOggData::Read of 44100 Hz stereo in half buffers of 16384 bytes (volume, gain control off,
// equaliser off) against ov_read into the same buffer; the equaliser's extra cost per half buffer;
// and the RIFF wave conversion against memcpy of the bytes it writes. Ratios are printed after
// the table.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "media/OggDataLib.h"
#include "media/uWaveDataManager.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "tools/kelsound/SoundWriter.h"

namespace {

constexpr int32_t kHalf = 16384;

// Two seconds of a chord, loud enough that the encoder keeps every band busy.
const std::string& Music() {
    static const std::string bytes = [] {
        SoundWriter::TSamples s = SoundWriter::Sine(44100, 2, 88200, 440, 0.3);
        const SoundWriter::TSamples b = SoundWriter::Sine(44100, 2, 88200, 554.37, 0.3);
        const SoundWriter::TSamples c = SoundWriter::Sine(44100, 2, 88200, 3520, 0.2);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(s[i] + b[i] + c[i]);
        return SoundWriter::EncodeOgg(s, 44100, 2, {}, 0.4f);
    }();
    return bytes;
}

void ReadBlocks(benchmark::State& state, bool equalizer) {
    TSystemClock clock;
    TOggData ogg(2 * kHalf, clock, OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll"));
    ogg.Open(std::make_unique<TMemoryStream>(Music()));
    if (equalizer) ogg.SetBandGainNow(20, 0.5f);
    ogg.Play(true);
    std::vector<uint8_t> buf(kHalf);
    for (auto _ : state) {
        ogg.Read(buf.data(), kHalf, 0);
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(state.iterations() * kHalf);
}

void RawRead(benchmark::State& state) {
    OggVorbis_File vf;
    auto stream = std::make_unique<TMemoryStream>(Music());
    ov_callbacks cb{&OggWuvorbisLib::VorbisRead, &OggWuvorbisLib::VorbisSeek, &OggWuvorbisLib::VorbisClose,
                    &OggWuvorbisLib::VorbisTell};
    if (ov_open_callbacks(stream.get(), &vf, nullptr, 0, cb) < 0) {
        state.SkipWithError("cannot open");
        return;
    }
    stream.release();
    std::vector<uint8_t> buf(kHalf);
    int section = 0;
    for (auto _ : state) {
        int32_t done = 0;
        while (done < kHalf) {
            const long r = ov_read(&vf, reinterpret_cast<char*>(buf.data()) + done, kHalf - done, 0, 2, 1, &section);
            if (r <= 0) {
                ov_time_seek(&vf, 0.0);  // loop, as the stream does
                continue;
            }
            done += static_cast<int32_t>(r);
        }
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(state.iterations() * kHalf);
    ov_clear(&vf);
}

// One second of wave data in each played format.
std::string Wave(int32_t rate, int32_t channels) {
    return SoundWriter::EncodeRiff(SoundWriter::Sine(rate, channels, rate, 440, 0.5), rate, channels);
}

void Riff(benchmark::State& state, int32_t rate, int32_t channels) {
    TMemoryStream s(Wave(rate, channels));
    for (auto _ : state) {
        auto pcm = uWaveDataManager::LoadWaveRiff(&s);
        benchmark::DoNotOptimize(pcm->Memory());
    }
    state.SetBytesProcessed(state.iterations() * 176400);
}

void Memcpy(benchmark::State& state) {
    std::vector<uint8_t> from(176400, 1), to(176400);
    for (auto _ : state) {
        // The reader makes a new block each time: the floor does too.
        std::vector<uint8_t> out(from.size());
        std::memcpy(out.data(), from.data(), from.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * 176400);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("read/ours", [](benchmark::State& s) { ReadBlocks(s, false); });
    benchmark::RegisterBenchmark("read/ours+equalizer", [](benchmark::State& s) { ReadBlocks(s, true); });
    benchmark::RegisterBenchmark("read/raw_ov_read", RawRead);
    benchmark::RegisterBenchmark("riff/stereo44100", [](benchmark::State& s) { Riff(s, 44100, 2); });
    benchmark::RegisterBenchmark("riff/mono22050", [](benchmark::State& s) { Riff(s, 22050, 1); });
    benchmark::RegisterBenchmark("riff/memcpy", Memcpy);
    benchmark::Initialize(&argc, argv);
    TTimeCollector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    auto ratio = [&](const char* a, const char* b) {
        const auto x = c.Times.find(a), y = c.Times.find(b);
        if (x != c.Times.end() && y != c.Times.end())
            std::printf("%-22s / %-18s ratio %.3f\n", a, b, x->second / y->second);
    };
    std::printf("\nratio = our time / the baseline's time (1.10 is 10%% overhead)\n");
    ratio("read/ours", "read/raw_ov_read");
    ratio("read/ours+equalizer", "read/ours");
    ratio("riff/stereo44100", "riff/memcpy");
    ratio("riff/mono22050", "riff/memcpy");
    const auto eq = c.Times.find("read/ours+equalizer"), plain = c.Times.find("read/ours");
    if (eq != c.Times.end() && plain != c.Times.end())
        std::printf("equaliser: %.1f us more per half buffer of %d bytes\n", (eq->second - plain->second) / 1000.0,
                    kHalf);
    benchmark::Shutdown();
    return 0;
}

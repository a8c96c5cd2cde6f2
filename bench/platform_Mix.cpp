// The sound mixer with 16 playing buffers, one second of output per iteration in the audio
// callback's 512-frame chunks, against a plain loop that sums the same buffers into the same
// 16-bit output. Printed at the end: the processor time each takes per second of sound, and their
// ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "platform/AudioMixer.h"

namespace {

constexpr uint32_t kVoices = 16;
constexpr uint32_t kChunk = 512;
constexpr uint32_t kSecond = AudioMixer::kRate;

// Buffers of different lengths (1.3 to 2.8 s), so that they wrap at different moments.
const std::vector<std::shared_ptr<AudioMixer::TSamples>>& Buffers() {
    static std::vector<std::shared_ptr<AudioMixer::TSamples>> buffers;
    if (buffers.empty()) {
        std::mt19937 rng(16);
        for (uint32_t v = 0; v < kVoices; ++v) {
            auto s = std::make_shared<AudioMixer::TSamples>(2 * (57000 + 4500 * v));
            for (auto& x : *s)
                x = static_cast<int16_t>(static_cast<int32_t>(rng() % 20001) - 10000);
            buffers.push_back(std::move(s));
        }
    }
    return buffers;
}

void Mixer(benchmark::State& state) {
    TAudioMixer m;
    for (uint32_t v = 0; v < kVoices; ++v) {
        const auto& s = Buffers()[v];
        const TVoiceId id = m.Add(s, static_cast<uint32_t>(s->size() * 2), false, false);
        m.SetVolume(id, -static_cast<int32_t>(v * 150));
        m.SetPan(id, static_cast<int32_t>(v * 1000) - 8000);
        m.Play(id, true);
    }
    std::vector<int16_t> out(2 * kChunk);
    for (auto _ : state) {
        for (uint32_t done = 0; done < kSecond; done += kChunk) {
            m.Mix(out.data(), std::min(kChunk, kSecond - done));
            benchmark::DoNotOptimize(out.data());
        }
    }
}
BENCHMARK(Mixer)->Unit(benchmark::kMicrosecond);

void PlainSum(benchmark::State& state) {
    std::vector<uint32_t> positions(kVoices, 0);
    std::vector<int32_t> sums(2 * kChunk);
    std::vector<int16_t> out(2 * kChunk);
    for (auto _ : state) {
        for (uint32_t done = 0; done < kSecond; done += kChunk) {
            const uint32_t n = std::min(kChunk, kSecond - done);
            std::fill_n(sums.begin(), 2 * n, 0);
            for (uint32_t v = 0; v < kVoices; ++v) {
                const AudioMixer::TSamples& s = *Buffers()[v];
                const auto frames = static_cast<uint32_t>(s.size() / 2);
                for (uint32_t i = 0; i < n;) {
                    const uint32_t take = std::min(n - i, frames - positions[v]);
                    const int16_t* from = s.data() + 2 * positions[v];
                    for (uint32_t k = 0; k < 2 * take; ++k)
                        sums[2 * i + k] += from[k];
                    i += take;
                    positions[v] = (positions[v] + take) % frames;
                }
            }
            for (uint32_t i = 0; i < 2 * n; ++i)
                out[i] = static_cast<int16_t>(std::clamp(sums[i], int32_t{-32768}, int32_t{32767}));
            benchmark::DoNotOptimize(out.data());
        }
    }
}
BENCHMARK(PlainSum)->Unit(benchmark::kMicrosecond);

// The shared collector, keeping each run's processor time as well (microseconds per iteration,
// which is per second of sound).
class TCpuCollector : public TTimeCollector {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            Cpu[run.benchmark_name()] = run.GetAdjustedCPUTime();
        TTimeCollector::ReportRuns(runs);
    }
    std::map<std::string, double> Cpu;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TCpuCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto ours = collector.Cpu.find("Mixer"), plain = collector.Cpu.find("PlainSum");
    if (ours != collector.Cpu.end() && plain != collector.Cpu.end()) {
        std::printf("\nProcessor time per second of sound, 16 buffers playing (goal: under 0.5%%)\n");
        std::printf("  mixer      %.3f%%\n", ours->second / 1e4);
        std::printf("  plain sum  %.3f%%\n", plain->second / 1e4);
        std::printf("  mixer vs plain sum: %.2fx the baseline's time\n", ours->second / plain->second);
    }
    benchmark::Shutdown();
    return 0;
}

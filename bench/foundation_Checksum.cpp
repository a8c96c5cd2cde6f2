// The pack layer's passes over whole buffers against memcpy of the same buffer: the checksum that
// verifies an entry and the buffer scrambler (both directions) that hides it, at 64 KiB (in the
// first caches), 1 MiB (in the second) and 16 MiB (in memory).
//
// The scrambler cannot follow memcpy: each 8-byte word's key is (previous key + constant) xor the
// previous plain word, a chain of one add and one xor per word that no implementation can shorten.
// ScrambleChain runs that chain alone, in two general registers, over as many words: it is the
// format's own limit, and the scrambler is measured against it too.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "foundation/Checksum.h"
#include "foundation/Scramblers.h"

namespace {

std::vector<uint8_t>& Buffer(size_t size) {
    static std::map<size_t, std::vector<uint8_t>> buffers;
    auto& b = buffers[size];
    if (b.size() != size) {
        b.resize(size);
        std::mt19937 rng(3);
        for (auto& c : b)
            c = static_cast<uint8_t>(rng());
    }
    return b;
}

void Memcpy(benchmark::State& state) {
    auto& src = Buffer(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

void Checksum64(benchmark::State& state) {
    auto& src = Buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(uMisc::Checksum64(src.data(), src.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

void Scramble(benchmark::State& state, bool decode) {
    auto& src = Buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        uMisc::ScrambleBuffer(src.data(), src.size(), decode, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

// The key chain of the scrambler with nothing else: no loads, no stores. The feedback is a value
// the loop has at hand, so that only the add and the xor stand in the chain.
void ScrambleChain(benchmark::State& state) {
    const size_t words = static_cast<size_t>(state.range(0)) / 8;
    for (auto _ : state) {
        uint32_t l0 = 0x6E2B91D4u, l1 = 0x6E2B91D4u;
        for (size_t k = 0; k < words; ++k) {
            const auto f = static_cast<uint32_t>(k);
            l0 = (l0 + 0x3F8A0C67u) ^ f;
            l1 = (l1 + 0x3F8A0C67u) ^ f;
            // Keeps the compiler from folding the loop into a formula.
            asm volatile("" : "+r"(l0), "+r"(l1));
        }
        benchmark::DoNotOptimize(l0 ^ l1);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * words * 8));
}

#define KEL_SIZES Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)
BENCHMARK(Memcpy)->KEL_SIZES;
BENCHMARK(Checksum64)->KEL_SIZES;
BENCHMARK(ScrambleChain)->KEL_SIZES;
BENCHMARK_CAPTURE(Scramble, Encode, false)->KEL_SIZES;
BENCHMARK_CAPTURE(Scramble, Decode, true)->KEL_SIZES;

}  // namespace

int main(int argc, char** argv) {
    TRatioReporter reporter;
    if (!reporter.RunBenchmarks(argc, argv)) return 1;
    std::printf("\nTime over the baseline's time on the same buffer (below 1: faster)\n");
    for (const char* size : {"65536", "1048576", "16777216"}) {
        const std::string s = size;
        reporter.PrintTimeRatio("Checksum64/" + s, "Memcpy/" + s, "memcpy's time");
        reporter.PrintTimeRatio("ScrambleChain/" + s, "Memcpy/" + s, "memcpy's time");
        reporter.PrintTimeRatio("Scramble/Encode/" + s, "Memcpy/" + s, "memcpy's time");
        reporter.PrintTimeRatio("Scramble/Decode/" + s, "Memcpy/" + s, "memcpy's time");
        reporter.PrintTimeRatio("Scramble/Encode/" + s, "ScrambleChain/" + s, "the chain's limit");
        reporter.PrintTimeRatio("Scramble/Decode/" + s, "ScrambleChain/" + s, "the chain's limit");
    }
    benchmark::Shutdown();
    return 0;
}

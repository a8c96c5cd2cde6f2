// Byte-pair expansion against zlib's inflate of the same data, and the checksum and the buffer
// scrambler against memcpy of the same buffer. The ratios (ours / baseline, time per byte) are
// printed at the end of the run.
//
// zlib is compared when the program is built with KEL_BENCH_ZLIB and linked with zlib.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/uMisc.h"

#if defined(KEL_BENCH_ZLIB) && __has_include(<zlib.h>)
#include <zlib.h>
#define KEL_HAVE_ZLIB 1
#endif

namespace {

// Script-like text: lines of words with commands, names and numbers.
std::string ScriptText(size_t size) {
    static const char* words[] = {"\\msg ", "\\wait ", "\\bgm ", "\\img ",    "image\\bg", "voice\\",
                                  "1000",   "255",     "the ",   "door ",     "opens ",    "slowly",
                                  ", and ", "she ",    "says: ", "\"hello\"", "\r\n",      "0, 0, "};
    std::mt19937 rng(1);
    std::string s;
    while (s.size() < size)
        s += words[rng() % (sizeof words / sizeof *words)];
    s.resize(size);
    return s;
}

// Binary data of a skewed distribution, like image rows with few distinct values.
std::string SkewedBinary(size_t size) {
    std::mt19937 rng(2);
    std::geometric_distribution<int> d(0.08);
    std::string s(size, '\0');
    uint8_t last = 0;
    for (auto& c : s) {
        if (rng() % 4 == 0) last = static_cast<uint8_t>(d(rng));
        c = static_cast<char>(last);
    }
    return s;
}

struct TData {
    std::string Plain, Packed, Zlib;
};

const TData& Data(int kind) {
    static std::map<int, TData> cache;
    auto it = cache.find(kind);
    if (it != cache.end()) return it->second;
    TData d;
    d.Plain = kind == 0 ? ScriptText(4 << 20) : SkewedBinary(4 << 20);
    d.Packed = uMisc::BPECompressBytes(d.Plain.data(), d.Plain.size());
#ifdef KEL_HAVE_ZLIB
    uLongf n = compressBound(static_cast<uLong>(d.Plain.size()));
    d.Zlib.resize(n);
    compress2(reinterpret_cast<Bytef*>(d.Zlib.data()), &n, reinterpret_cast<const Bytef*>(d.Plain.data()),
              static_cast<uLong>(d.Plain.size()), Z_DEFAULT_COMPRESSION);
    d.Zlib.resize(n);
#endif
    return cache.emplace(kind, std::move(d)).first->second;
}

void Expand(benchmark::State& state) {
    const TData& d = Data(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto out = uMisc::BPEExpand(TMemoryStream(d.Packed));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Plain.size()));
    state.counters["ratio"] = static_cast<double>(d.Packed.size()) / static_cast<double>(d.Plain.size());
}
BENCHMARK(Expand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#ifdef KEL_HAVE_ZLIB
void ZlibInflate(benchmark::State& state) {
    const TData& d = Data(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        // The same work as the expander: a new output buffer of the known size, filled.
        std::vector<uint8_t> out(d.Plain.size());
        z_stream z{};
        inflateInit(&z);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(d.Zlib.data()));
        z.avail_in = static_cast<uInt>(d.Zlib.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        inflate(&z, Z_FINISH);
        inflateEnd(&z);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.Plain.size()));
    state.counters["ratio"] = static_cast<double>(d.Zlib.size()) / static_cast<double>(d.Plain.size());
}
BENCHMARK(ZlibInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

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

void ScrambleEncode(benchmark::State& state) {
    auto& src = Buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        uMisc::ScrambleBuffer(src.data(), src.size(), false, 7402);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

void ScrambleDecode(benchmark::State& state) {
    auto& src = Buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        uMisc::ScrambleBuffer(src.data(), src.size(), true, 7402);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

// 64 KiB stays in the caches; 16 MiB is the size of a large pack entry and goes to memory.
BENCHMARK(Memcpy)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(Checksum64)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(ScrambleEncode)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(ScrambleDecode)->Arg(64 << 10)->Arg(16 << 20);

// Keeps the time per iteration of every run so that the ratios can be printed at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& r : reports)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration)
                Times[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
        ConsoleReporter::ReportRuns(reports);
    }
    void PrintRatio(const std::string& ours, const std::string& baseline) {
        auto a = Times.find(ours), b = Times.find(baseline);
        if (a == Times.end() || b == Times.end()) {
            std::printf("%-28s vs %-22s: not measured\n", ours.c_str(), baseline.c_str());
            return;
        }
        std::printf("%-28s vs %-22s: %.2fx the baseline's time\n", ours.c_str(), baseline.c_str(),
                    a->second / b->second);
    }
    std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios measured in this run (below 1: faster than the baseline)\n");
    for (const char* kind : {"0", "1"}) {
        const std::string k = kind;
        reporter.PrintRatio("Expand/" + k, "ZlibInflate/" + k);
    }
    for (const char* size : {"65536", "16777216"}) {
        const std::string s = size;
        reporter.PrintRatio("Checksum64/" + s, "Memcpy/" + s);
        reporter.PrintRatio("ScrambleEncode/" + s, "Memcpy/" + s);
        reporter.PrintRatio("ScrambleDecode/" + s, "Memcpy/" + s);
    }
#ifndef KEL_HAVE_ZLIB
    std::printf("(zlib's inflate is measured when built with KEL_BENCH_ZLIB and linked with zlib)\n");
#endif
    benchmark::Shutdown();
    return 0;
}

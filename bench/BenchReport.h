// The reporter of the benchmarks that print ratios: the console table as usual, and the time of
// every run kept by name for the ratios printed after it.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Which time a run is kept by: wall-clock time, or the processor time of the benchmark's thread,
// which is steadier on a shared machine.
enum class TTimeKind { Real, Cpu };

class TTimeCollector : public benchmark::ConsoleReporter {
public:
    explicit TTimeCollector(TTimeKind kind = TTimeKind::Real) : Kind(kind) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            Times[run.benchmark_name()] = Kind == TTimeKind::Cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // The time of a run, or 0 when it did not run.
    double Time(const std::string& name) const {
        const auto it = Times.find(name);
        return it == Times.end() ? 0 : it->second;
    }
    std::map<std::string, double> Times;

private:
    TTimeKind Kind;
};

// The reporter of the benchmarks that repeat their runs: besides the last times, it keeps for each
// benchmark the processor time per iteration and the counters of every repetition, so that the
// program prints ratios of medians at the end of the same run. Processor time (as the rate
// counters use) leaves out the time the thread waits while other programs run on its core; with
// --benchmark_enable_random_interleaving the repetitions of ours and of the baseline alternate, so
// a load that comes and goes falls on both.
class TRatioReporter : public TTimeCollector {
public:
    // Runs the benchmarks the command line selects through this reporter; false for an argument
    // the library does not know.
    bool RunBenchmarks(int& argc, char** argv) {
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
        benchmark::RunSpecifiedBenchmarks(this);
        return true;
    }

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& r : reports) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
            TSeries& s = Series[r.run_name.str()];
            s.Times.push_back(r.cpu_accumulated_time / static_cast<double>(r.iterations));
            for (const auto& [name, counter] : r.counters)
                s.Counters[name].push_back(counter.value);
        }
        TTimeCollector::ReportRuns(reports);
    }

    // The median processor time per iteration in seconds; 0 when the benchmark did not run.
    double MedianTime(const std::string& name) const {
        auto it = Series.find(name);
        return it == Series.end() ? 0 : Median(it->second.Times);
    }
    double Counter(const std::string& name, const std::string& counter) const {
        auto it = Series.find(name);
        if (it == Series.end()) return 0;
        auto c = it->second.Counters.find(counter);
        return c == it->second.Counters.end() ? 0 : Median(c->second);
    }
    int Repetitions(const std::string& name) const {
        auto it = Series.find(name);
        return it == Series.end() ? 0 : static_cast<int>(it->second.Times.size());
    }

    // ours / baseline of the median times per iteration; both must do the same work per iteration.
    void PrintTimeRatio(const std::string& ours, const std::string& baseline, const char* meaning) const {
        const double a = MedianTime(ours), b = MedianTime(baseline);
        if (a <= 0 || b <= 0) {
            std::printf("%-34s vs %-26s: not measured\n", ours.c_str(), baseline.c_str());
            return;
        }
        std::printf("%-34s vs %-26s: %6.2fx %s (median of %d)\n", ours.c_str(), baseline.c_str(), a / b, meaning,
                    Repetitions(ours));
    }

private:
    static double Median(std::vector<double> v) {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    struct TSeries {
        std::vector<double> Times;
        std::map<std::string, std::vector<double>> Counters;
    };
    std::map<std::string, TSeries> Series;
};

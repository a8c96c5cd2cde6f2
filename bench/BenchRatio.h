// The reporter of every benchmark program: it shows the runs as the console reporter does and keeps,
// for each benchmark, the processor time per iteration and the counters of every repetition, so
// that the program can print its ratios against the baselines at the end of the same run. Processor
// time (as the rate counters use) leaves out the time the thread waits while other programs run on
// its core. With
// --benchmark_repetitions the ratios are of medians; with --benchmark_enable_random_interleaving the
// repetitions of ours and of the baseline alternate, so a load that comes and goes on the machine
// falls on both.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

class TRatioReporter : public benchmark::ConsoleReporter {
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
        ConsoleReporter::ReportRuns(reports);
    }

    // The median processor time per iteration in seconds; 0 when the benchmark did not run.
    double Time(const std::string& name) const {
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
        const double a = Time(ours), b = Time(baseline);
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

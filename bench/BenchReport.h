// The reporter of the benchmarks that print ratios: the console table as usual, and the time of
// every run kept by name for the ratios printed after it.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TTimeCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            Times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // The time of a run, or 0 when it did not run.
    double Time(const std::string& name) const {
        const auto it = Times.find(name);
        return it == Times.end() ? 0 : it->second;
    }
    std::map<std::string, double> Times;
};

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

// The same, keeping each run's processor time as well (in the run's unit, per iteration): steadier
// than wall time on a shared machine, and what "processor time per second" figures are made of.
class TCpuCollector : public TTimeCollector {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            Cpu[run.benchmark_name()] = run.GetAdjustedCPUTime();
        TTimeCollector::ReportRuns(runs);
    }
    std::map<std::string, double> Cpu;
};

// The console report of a benchmark program that also keeps every benchmark's median (or its one
// run when it ran without repetitions), so the program can print ratios against a peer measured
// in the same run.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.aggregate_name == "median" || (run.aggregate_name.empty() && run.repetitions <= 1))
                medians[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    struct Median {
        double real, cpu;  // in the benchmark's unit
    };
    std::map<std::string, Median> medians;
};

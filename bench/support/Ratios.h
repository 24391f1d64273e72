#pragma once
// The console reporter every benchmark program prints its table with, keeping the
// times of each run so that the program can print its ratios after the table.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0, cpu = 0; // zeros: the run did not take place
    };

    void ReportRuns(const std::vector<Run>& runs) override;

    // The times of a run by its full name ("BM_X/100/min_time:0.500/repeats:5"), or
    // by its function's name when it takes no arguments: the median of its
    // repetitions when it was repeated.
    Times Of(const std::string& name) const;
    // The CPU time of a run, or -1 when it did not run (filtered out, say).
    double Cpu(const std::string& name) const;
    // Prints "label (CPU): ratio goal" of two runs' CPU times when both ran.
    void PrintRatio(const char* label, const std::string& ours, const std::string& base,
                    const char* goal = nullptr) const;
    // Prints one row of real and CPU ratios of two runs when both ran. On a busy
    // machine the real time includes waiting for a core, and the CPU time leaves out
    // waiting for the disk.
    void PrintRealAndCpuRatio(const char* label, const std::string& ours,
                              const std::string& base) const;

private:
    std::map<std::string, Times> m_median;
    std::map<std::string, std::vector<Times>> m_runs;
};

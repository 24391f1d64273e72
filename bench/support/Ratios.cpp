#include "bench/support/Ratios.h"

#include <algorithm>
#include <cstdio>

namespace {

double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& r : runs) {
        if (r.error_occurred)
            continue;
        const Times t{r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
        // A benchmark without arguments is also found by its function's name, so
        // that a program's ratios hold whatever repetitions the command line asks for.
        std::vector<std::string> names{r.run_name.str()};
        if (r.run_name.args.empty() && names[0] != r.run_name.function_name)
            names.push_back(r.run_name.function_name);
        for (const std::string& name : names) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                m_median[name] = t;
            else if (r.run_type == Run::RT_Iteration)
                m_runs[name].push_back(t);
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

RatioReporter::Times RatioReporter::Of(const std::string& name) const {
    if (auto m = m_median.find(name); m != m_median.end())
        return m->second;
    auto it = m_runs.find(name);
    if (it == m_runs.end() || it->second.empty())
        return {};
    std::vector<double> real, cpu;
    for (const Times& t : it->second) {
        real.push_back(t.real);
        cpu.push_back(t.cpu);
    }
    return {MedianOf(real), MedianOf(cpu)};
}

double RatioReporter::Cpu(const std::string& name) const {
    const double cpu = Of(name).cpu;
    return cpu > 0 ? cpu : -1.0;
}

void RatioReporter::PrintRatio(const char* label, const std::string& ours, const std::string& base,
                               const char* goal) const {
    const double a = Cpu(ours);
    const double b = Cpu(base);
    if (a > 0 && b > 0)
        std::printf("%s (CPU): %.3f%s%s\n", label, a / b, goal ? " " : "", goal ? goal : "");
}

void RatioReporter::PrintRealAndCpuRatio(const char* label, const std::string& ours,
                                         const std::string& base) const {
    const Times a = Of(ours), b = Of(base);
    if (a.real > 0 && b.real > 0 && a.cpu > 0 && b.cpu > 0)
        std::printf("  %-54s %6.2f %6.2f\n", label, a.real / b.real, a.cpu / b.cpu);
}

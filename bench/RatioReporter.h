#pragma once

// A console reporter that also keeps each benchmark's time per iteration, for the benchmarks
// that print a ratio against their target after the figures.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> seconds;  // by benchmark name

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred && r.iterations)
                seconds[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations);
    }
};

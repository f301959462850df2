#pragma once

#include "LoadAverage.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace plimsy::bench {

// The usual console report, then each subject's time as a multiple of its anchor from the same run.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    struct Ratio
    {
        std::string subject;
        std::string anchor;
        double aim; // the subject should take less than this many times the anchor
    };

    explicit RatioReporter(std::vector<Ratio> ratios)
        : m_ratios(std::move(ratios))
    {
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred) {
                continue;
            }
            // Repeated runs are compared by their median, which is reported after them; a single run by
            // itself.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || run.run_type == Run::RT_Iteration) {
                m_times[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nRatios measured in this run (load average %.2f):\n", loadAverage());
        for (const Ratio &ratio : m_ratios) {
            const auto subject = m_times.find(ratio.subject);
            const auto anchor = m_times.find(ratio.anchor);
            if (subject == m_times.end() || anchor == m_times.end()) {
                continue;
            }
            const double wall = subject->second.first / anchor->second.first;
            const double cpu = subject->second.second / anchor->second.second;
            std::printf("  %s / %s: %.2fx wall, %.2fx CPU (aim: under %.2fx) %s\n",
                        ratio.subject.c_str(),
                        ratio.anchor.c_str(),
                        wall,
                        cpu,
                        ratio.aim,
                        cpu < ratio.aim ? "ok" : "MISSED");
        }
        std::fflush(stdout);
    }

private:
    std::vector<Ratio> m_ratios;
    std::map<std::string, std::pair<double, double>> m_times;
};

} // namespace plimsy::bench

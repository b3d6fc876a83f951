// A console reporter that also keeps every result and, at the end, prints the library's cost
// per operation against its floor.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct Figures {
    double cpuNs = 0;     // CPU time of the benchmark thread per operation
    double realNs = 0;    // wall time per operation
    double allocs = 0;    // heap blocks per operation
    double bytes = 0;     // heap bytes per operation
    double logLines = 0;  // log records per operation
    std::string label;    // what the benchmark said it measured
};

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so a saved run reads as plain text.
    SummaryReporter();
    void ReportRuns(const std::vector<Run>& runs) override;
    void printSummary(FILE* out) const;
    bool anyError() const { return m_anyError; }

private:
    const Figures* find(const std::string& name) const;

    std::map<std::string, Figures> m_figures;
    bool m_anyError = false;
};

}  // namespace bench

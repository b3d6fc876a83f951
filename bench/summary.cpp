#include "bench/summary.h"

#include <unistd.h>

#include <algorithm>

namespace bench {
namespace {

double counter(const benchmark::BenchmarkReporter::Run& run, const char* name, double missing) {
    auto found = run.counters.find(name);
    return found == run.counters.end() ? missing : found->second.value;
}

double toNs(double value, benchmark::TimeUnit unit) {
    return value * 1e9 / benchmark::GetTimeUnitMultiplier(unit);
}

// "1.23 us" or "456 ns".
std::string duration(double ns) {
    char text[32];
    if (ns >= 1000) {
        snprintf(text, sizeof text, "%.2f us", ns / 1000);
    } else {
        snprintf(text, sizeof text, "%.0f ns", ns);
    }
    return text;
}

// The label padded to a column of the given width in characters (UTF-8 aware).
std::string padded(const std::string& label, size_t width) {
    size_t characters = 0;
    for (char byte : label) {
        characters += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }
    return label + std::string(characters < width ? width - characters : 0, ' ');
}

// One row: the operation's time, its floor and the ratio, then the floor with the operation's
// own log lines added at the measured cost of a line, and the ratio to that.
void printRow(FILE* out, const std::string& label, const Figures* figures, const Figures* floor,
              double lineNs) {
    if (figures == nullptr) {
        fprintf(out, "  %s %9s\n", padded(label, 42).c_str(), "(not run)");
        return;
    }
    fprintf(out, "  %s %9s", padded(label, 42).c_str(), duration(figures->cpuNs).c_str());
    if (floor != nullptr && floor->cpuNs > 0) {
        fprintf(out, " %9s %7.2fx", duration(floor->cpuNs).c_str(), figures->cpuNs / floor->cpuNs);
        double withLines = floor->cpuNs + figures->logLines * lineNs;
        if (figures->logLines > 0 && lineNs > 0) {
            fprintf(out, " %9s %7.2fx", duration(withLines).c_str(), figures->cpuNs / withLines);
        } else {
            fprintf(out, " %9s %8s", "", "");
        }
    } else {
        fprintf(out, " %9s %8s %9s %8s", "", "", "", "");
    }
    fprintf(out, " %6.1f %7.0f %6.1f\n", figures->allocs, figures->bytes, figures->logLines);
}

}  // namespace

SummaryReporter::SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) {
            m_anyError = true;
            continue;
        }
        // With repetitions, the median stands for the benchmark; without, the one run does.
        bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !median) {
            continue;
        }
        double operations = counter(run, "batch", 1);
        Figures figures;
        figures.cpuNs = toNs(run.GetAdjustedCPUTime(), run.time_unit) / operations;
        figures.realNs = toNs(run.GetAdjustedRealTime(), run.time_unit) / operations;
        figures.allocs = counter(run, "allocs", 0);
        figures.bytes = counter(run, "alloc_bytes", 0);
        figures.logLines = counter(run, "log_lines", 0);
        figures.label = run.report_label;
        m_figures[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
            figures;
    }
}

const Figures* SummaryReporter::find(const std::string& name) const {
    auto found = m_figures.find(name);
    return found == m_figures.end() ? nullptr : &found->second;
}

void SummaryReporter::printSummary(FILE* out) const {
    const Figures* oneLine = find("trace/one_line/logs_dropped");
    const Figures* fourLines = find("barcode/four_trace_lines/logs_dropped");
    double lineNs = oneLine != nullptr ? oneLine->cpuNs : 0;

    fprintf(out,
            "\nSummary: CPU time of the calling thread per operation; heap blocks, bytes and log lines per "
            "operation\n");
    fprintf(out, "  %-42s %9s %9s %8s %9s %8s %6s %7s %6s\n", "", "time", "floor", "ratio", "fl+lines",
            "ratio", "allocs", "bytes", "lines");

    fprintf(out, "Barcode path, per barcode (SendBarcode until the host has the event)\n");
    const Figures* library = find("barcode/library/logs_dropped");
    const Figures* floor = find("barcode/floor");
    const Figures* floorWithLines = find("barcode/floor_with_trace_lines/logs_dropped");
    // The barcode's own four lines are measured as such, so the column uses their real cost.
    double barcodeLineNs = fourLines != nullptr ? fourLines->cpuNs / 4 : lineNs;
    printRow(out, "library, logs dropped", library, floor, barcodeLineNs);
    printRow(out, "floor + the 4 trace lines, logs dropped", floorWithLines, floor, 0);
    printRow(out, "floor", floor, nullptr, 0);
    printRow(out, "the 4 trace lines alone, logs dropped", fourLines, nullptr, 0);
    printRow(out, "the same 4 records unformatted, dropped",
             find("barcode/four_unformatted_lines/logs_dropped"), nullptr, 0);
    printRow(out, "library, logs to a file (floor: + 4 lines)", find("barcode/library/logs_to_file"),
             find("barcode/floor_with_trace_lines/logs_to_file"), 0);
    printRow(out, "floor + the 4 trace lines, logs to a file",
             find("barcode/floor_with_trace_lines/logs_to_file"), nullptr, 0);

    fprintf(out, "Driver calls, per call (one log line, dropped: %s)\n", duration(lineNs).c_str());
    double worstRatio = 0;
    for (int i = 0;; ++i) {
        const Figures* name = find("FindMethod/library/" + std::to_string(i));
        const Figures* nameFloor = find("FindMethod/floor/" + std::to_string(i));
        if (name == nullptr || nameFloor == nullptr) {
            break;
        }
        printRow(out, "FindMethod " + name->label, name, nameFloor, lineNs);
        if (name->cpuNs / nameFloor->cpuNs > worstRatio) {
            worstRatio = name->cpuNs / nameFloor->cpuNs;
        }
    }
    // GetParameters' records include the 480-character device list, so, like the barcode's, they
    // are priced as measured; the other calls write short lines only.
    const Figures* parametersRecords = find("CallAsFunc/GetParameters/records");
    double parametersLineNs = parametersRecords != nullptr && parametersRecords->logLines > 0
                                  ? parametersRecords->cpuNs / parametersRecords->logLines
                                  : lineNs;
    for (const char* method : {"GetVersion", "GetParameters", "Open"}) {
        std::string base = std::string("CallAsFunc/") + method;
        printRow(out, std::string("CallAsFunc ") + method, find(base + "/library"), find(base + "/floor"),
                 base == "CallAsFunc/GetParameters" ? parametersLineNs : lineNs);
    }
    printRow(out, "GetParameters' 8 records alone", parametersRecords, nullptr, 0);
    printRow(out, "GetParameters floor + its records", find("CallAsFunc/GetParameters/floor_with_records"),
             nullptr, 0);

    if (library != nullptr && floor != nullptr) {
        fprintf(out,
                "\nBarcode path with logs dropped: %.2fx its floor, %.1f heap blocks and %.0f bytes per "
                "barcode.\n",
                library->cpuNs / floor->cpuNs, library->allocs, library->bytes);
        if (fourLines != nullptr) {
            fprintf(out,
                    "The 4 trace lines a barcode must write cost %s alone, %.2fx the floor. Of the "
                    "library's %s:\n"
                    "floor %s + lines %s + the library's own work %s.\n",
                    duration(fourLines->cpuNs).c_str(), fourLines->cpuNs / floor->cpuNs,
                    duration(library->cpuNs).c_str(), duration(floor->cpuNs).c_str(),
                    duration(fourLines->cpuNs).c_str(),
                    duration(library->cpuNs - floor->cpuNs - fourLines->cpuNs).c_str());
        }
        if (floorWithLines != nullptr) {
            fprintf(out,
                    "Against the floor that writes the same 4 lines: %.2fx (the budget is checked on "
                    "this ratio in instructions, by bench/budget.sh).\n",
                    library->cpuNs / floorWithLines->cpuNs);
        }
    }
    const Figures* parameters = find("CallAsFunc/GetParameters/library");
    const Figures* parametersFloor = find("CallAsFunc/GetParameters/floor");
    const Figures* parametersWithRecords = find("CallAsFunc/GetParameters/floor_with_records");
    if (parameters != nullptr && parametersFloor != nullptr && parametersRecords != nullptr) {
        double estimate = parametersFloor->cpuNs + parametersRecords->cpuNs;
        double shortLines = parametersFloor->cpuNs + parameters->logLines * lineNs;
        fprintf(out,
                "GetParameters: %.2fx its floor + its %.0f records as measured (%s); "
                "%.2fx with them priced as short lines (%s).\n",
                parameters->cpuNs / estimate, parametersRecords->logLines, duration(estimate).c_str(),
                parameters->cpuNs / shortLines, duration(shortLines).c_str());
    }
    if (parameters != nullptr && parametersWithRecords != nullptr && parametersWithRecords->cpuNs > 0) {
        fprintf(out, "GetParameters against the floor that writes the same %.0f records (%s): %.2fx.\n",
                parametersWithRecords->logLines, duration(parametersWithRecords->cpuNs).c_str(),
                parameters->cpuNs / parametersWithRecords->cpuNs);
    }
    if (worstRatio > 0) {
        fprintf(out, "FindMethod: worst name %.2fx its floor.\n", worstRatio);
    }
}

}  // namespace bench

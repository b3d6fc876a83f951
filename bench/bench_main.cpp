// The benchmark program: starts one VM, runs every benchmark, then prints the library's cost
// against its floor. With --callgrind-barcodes=N it instead sends N barcodes down each barcode
// path and dumps one callgrind profile per path (run it under valgrind --tool=callgrind).
#include "bench/allocation_counter.h"
#include "bench/bench_fixture.h"
#include "bench/log_modes.h"
#include "bench/summary.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {
namespace {

constexpr int kWarmUpBatches = 300;

struct Options {
    int callgrindBarcodes = 0;
    std::vector<char*> benchmarkArgs;  // what is left for the benchmark library
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--callgrind-barcodes=", 0) == 0) {
            options.callgrindBarcodes = std::atoi(arg.c_str() + strlen("--callgrind-barcodes="));
        } else if (arg.rfind("--log-file=", 0) == 0) {
            g_logFilePath = arg.substr(strlen("--log-file="));
        } else {
            options.benchmarkArgs.push_back(argv[i]);
        }
    }
    return options;
}

// The three barcode paths in the order the profiles are dumped.
struct BarcodePath {
    const char* name;
    jobject target;
    jmethodID method;
};

std::vector<BarcodePath> barcodePaths() {
    Fixture& f = fixture();
    return {{"library", f.peer, f.sendBarcodes},
            {"floor", f.floor, f.deliverBarcodes},
            {"floor_with_trace_lines", f.floor, f.deliverBarcodesWithTraceLines}};
}

// Lets the VM compile the Java loops and the library settle before anything is measured.
void warmUp() {
    Fixture& f = fixture();
    for (const BarcodePath& path : barcodePaths()) {
        if (path.target == nullptr || path.method == nullptr) {
            continue;
        }
        for (int i = 0; i < kWarmUpBatches; ++i) {
            callJava(f.env, path.target, path.method, f.barcode, kBarcodesPerIteration);
        }
    }
}

int profileBarcodes(int count) {
    Fixture& f = fixture();
    std::vector<BarcodePath> paths = barcodePaths();
    for (const BarcodePath& path : paths) {
        if (path.target == nullptr || path.method == nullptr) {
            fprintf(stderr, "no %s barcode path to profile\n", path.name);
            return 1;
        }
        callJava(f.env, path.target, path.method, f.barcode, 10);
    }
    for (const BarcodePath& path : paths) {
        CALLGRIND_ZERO_STATS;
        uint64_t before = f.host->eventCount();
        callJava(f.env, path.target, path.method, f.barcode, count);
        CALLGRIND_DUMP_STATS_AT(path.name);
        if (f.host->eventCount() - before != static_cast<uint64_t>(count)) {
            fprintf(stderr, "the %s path lost barcodes\n", path.name);
            return 1;
        }
        printf("profiled %d barcodes through the %s path\n", count, path.name);
    }
    return 0;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    Options options = parseOptions(argc, argv);
    const VmPaths paths{KESTRA_BENCH_LIBJVM, KESTRA_BENCH_CLASSES, KESTRA_BENCH_LIBRARY, KESTRA_BENCH_FLOOR};
    if (!allocationCountingWorks()) {
        fprintf(stderr, "the counting malloc and operator new are not in use\n");
        return 1;
    }
    dropLogRecords();
    if (!setUpFixture(paths)) {
        return 1;
    }
    if (options.callgrindBarcodes > 0) {
        int result = profileBarcodes(options.callgrindBarcodes);
        tearDownFixture();
        return result;
    }

    int benchmarkArgc = static_cast<int>(options.benchmarkArgs.size());
    options.benchmarkArgs.push_back(nullptr);
    benchmark::Initialize(&benchmarkArgc, options.benchmarkArgs.data());
    if (benchmark::ReportUnrecognizedArguments(benchmarkArgc, options.benchmarkArgs.data())) {
        return 1;
    }
    warmUp();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.printSummary(stdout);
    tearDownFixture();
    return reporter.anyError() ? 1 : 0;
}

// The benchmark program: starts one VM, runs every benchmark, then prints the library's cost
// against its floor. With --callgrind-barcodes=N it instead sends N barcodes down each barcode
// path and dumps one callgrind profile per path (run it under valgrind --tool=callgrind); with
// --heap-blocks=L1,L2,... it sends barcodes of each of those lengths through the library and
// prints the heap blocks and bytes each one cost; with --burst=ROUNDS it runs the batch replay
// through the app's own peer (bench/burst.h) instead, in a VM whose class path holds that peer.
#include "bench/allocation_counter.h"
#include "bench/bench_fixture.h"
#include "bench/burst.h"
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
    int burstRounds = 0;
    std::vector<int> heapBlockLengths;  // barcode lengths whose heap blocks are counted
    std::vector<char*> benchmarkArgs;   // what is left for the benchmark library
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--callgrind-barcodes=", 0) == 0) {
            options.callgrindBarcodes = std::atoi(arg.c_str() + strlen("--callgrind-barcodes="));
        } else if (arg.rfind("--heap-blocks=", 0) == 0) {
            for (const char* next = arg.c_str() + strlen("--heap-blocks="); *next != '\0';) {
                char* end = nullptr;
                options.heapBlockLengths.push_back(static_cast<int>(std::strtol(next, &end, 10)));
                next = *end == ',' ? end + 1 : end + strlen(end);
            }
        } else if (arg.rfind("--burst=", 0) == 0) {
            options.burstRounds = std::atoi(arg.c_str() + strlen("--burst="));
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

// Sends barcodes of each length (ASCII digits) through the library with allocations counted,
// after a few uncounted ones, and prints one line per length:
//   heap_blocks <length> <blocks per barcode> <bytes per barcode>
// Fails when the host did not get every barcode whole.
int countHeapBlocks(const std::vector<int>& lengths) {
    constexpr int kWarmUp = 20;
    constexpr int kCounted = 20;
    Fixture& f = fixture();
    if (f.peer == nullptr || f.sendBarcodes == nullptr) {
        fprintf(stderr, "no library barcode path to count\n");
        return 1;
    }
    for (int length : lengths) {
        std::u16string units(static_cast<size_t>(length > 0 ? length : 0), u'0');
        for (size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(u'0' + (i * 7 + 4) % 10);
        }
        jstring local =
            f.env->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size()));
        callJava(f.env, f.peer, f.sendBarcodes, local, kWarmUp);
        uint64_t before = f.host->eventCount();
        startCountingAllocations();
        bool sent = callJava(f.env, f.peer, f.sendBarcodes, local, kCounted);
        AllocationCounts counts = stopCountingAllocations();
        f.env->DeleteLocalRef(local);
        if (!sent || f.host->eventCount() - before != kCounted || f.host->lastDataLength() != units.size()) {
            fprintf(stderr, "barcodes of %d characters did not all arrive whole\n", length);
            return 1;
        }
        printf("heap_blocks %d %.2f %.0f\n", length, static_cast<double>(counts.blocks) / kCounted,
               static_cast<double>(counts.bytes) / kCounted);
    }
    return 0;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    Options options = parseOptions(argc, argv);
    const VmPaths paths{KESTRA_BENCH_LIBJVM,
                        options.burstRounds > 0 ? KESTRA_BENCH_BURST_CLASSES : KESTRA_BENCH_CLASSES,
                        KESTRA_BENCH_LIBRARY, KESTRA_BENCH_FLOOR};
    if (!allocationCountingWorks()) {
        fprintf(stderr, "the counting malloc and operator new are not in use\n");
        return 1;
    }
    dropLogRecords();
    if (!setUpFixture(paths)) {
        return 1;
    }
    if (options.burstRounds > 0) {
        int result = runBurst(options.burstRounds);
        tearDownFixture();
        return result;
    }
    if (options.callgrindBarcodes > 0 || !options.heapBlockLengths.empty()) {
        int result = options.callgrindBarcodes > 0 ? profileBarcodes(options.callgrindBarcodes) : 0;
        if (result == 0 && !options.heapBlockLengths.empty()) {
            result = countHeapBlocks(options.heapBlockLengths);
        }
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

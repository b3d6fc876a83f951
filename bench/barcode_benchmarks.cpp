// The barcode path: a Java thread hands a 13-character barcode to the library's SendBarcode,
// and the iteration ends when the host has had the external event. Against it stand the floor
// (read the text, make a host short string, raise the event) and the floor plus the four log
// lines the library must write per barcode.
#include "bench/bench_fixture.h"
#include "bench/log_modes.h"

#include <android/log.h>

#include <cstring>

namespace bench {
namespace {

constexpr char kTag[] = "MobileBarcodeScannerNative";

void setBarcodeCounters(benchmark::State& state) {
    // Seconds per barcode, so the console shows the per-barcode figure next to the batch time.
    state.counters["per_barcode"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBarcodesPerIteration,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["batch"] = kBarcodesPerIteration;
}

void runBarcodes(benchmark::State& state, jobject target, jmethodID method) {
    for (auto _ : state) {
        if (!sendBatch(state, target, method)) {
            return;
        }
    }
    setBarcodeCounters(state);
    reportAllocations(state, kBarcodesPerIteration, [&] { sendBatch(state, target, method); });
}

void libraryBarcodes(benchmark::State& state) {
    runBarcodes(state, fixture().peer, fixture().sendBarcodes);
}

void floorBarcodes(benchmark::State& state) {
    runBarcodes(state, fixture().floor, fixture().deliverBarcodes);
}

void floorBarcodesWithTraceLines(benchmark::State& state) {
    runBarcodes(state, fixture().floor, fixture().deliverBarcodesWithTraceLines);
}

template <void (*Run)(benchmark::State&)>
void withLogFile(benchmark::State& state) {
    LogToFile logs(g_logFilePath);
    if (!logs.ok()) {
        state.SkipWithError("cannot open the log file");
        return;
    }
    Run(state);
}

// The four lines of one barcode alone, formatted by the logging library and dropped: the part
// of the barcode path no implementation can avoid.
void fourTraceLines(benchmark::State& state) {
    for (auto _ : state) {
        __android_log_print(ANDROID_LOG_INFO, kTag, "Got_barcode");
        __android_log_print(ANDROID_LOG_INFO, kTag, "%s", kBarcode);
        __android_log_print(ANDROID_LOG_INFO, kTag, "OnInput");
        __android_log_print(ANDROID_LOG_INFO, kTag, "ExternalEvent message is - %s", kBarcode);
    }
    reportAllocations(state, 1, [] {
        __android_log_print(ANDROID_LOG_INFO, kTag, "Got_barcode");
        __android_log_print(ANDROID_LOG_INFO, kTag, "%s", kBarcode);
        __android_log_print(ANDROID_LOG_INFO, kTag, "OnInput");
        __android_log_print(ANDROID_LOG_INFO, kTag, "ExternalEvent message is - %s", kBarcode);
    });
}

// The same four records written without a format, the last one put together on the stack: how
// much of a line's cost is the formatting inside the logging library.
void fourUnformattedLines(benchmark::State& state) {
    auto write = [] {
        char event[64] = "ExternalEvent message is - ";
        strncat(event, kBarcode, sizeof event - strlen(event) - 1);
        __android_log_write(ANDROID_LOG_INFO, kTag, "Got_barcode");
        __android_log_write(ANDROID_LOG_INFO, kTag, kBarcode);
        __android_log_write(ANDROID_LOG_INFO, kTag, "OnInput");
        __android_log_write(ANDROID_LOG_INFO, kTag, event);
    };
    for (auto _ : state) {
        write();
    }
    reportAllocations(state, 1, write);
}

// One short constant line, formatted and dropped: the unit of the driver calls' breakdown.
void oneTraceLine(benchmark::State& state) {
    for (auto _ : state) {
        __android_log_print(ANDROID_LOG_INFO, kTag, "CallAsFunc");
    }
    reportAllocations(state, 1, [] { __android_log_print(ANDROID_LOG_INFO, kTag, "CallAsFunc"); });
}

}  // namespace

BENCHMARK(libraryBarcodes)->Name("barcode/library/logs_dropped")->Unit(benchmark::kMicrosecond);
BENCHMARK(floorBarcodes)->Name("barcode/floor")->Unit(benchmark::kMicrosecond);
BENCHMARK(floorBarcodesWithTraceLines)
    ->Name("barcode/floor_with_trace_lines/logs_dropped")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(fourTraceLines)->Name("barcode/four_trace_lines/logs_dropped")->Unit(benchmark::kNanosecond);
BENCHMARK(fourUnformattedLines)
    ->Name("barcode/four_unformatted_lines/logs_dropped")
    ->Unit(benchmark::kNanosecond);
BENCHMARK(oneTraceLine)->Name("trace/one_line/logs_dropped")->Unit(benchmark::kNanosecond);
BENCHMARK(withLogFile<libraryBarcodes>)->Name("barcode/library/logs_to_file")->Unit(benchmark::kMicrosecond);
BENCHMARK(withLogFile<floorBarcodesWithTraceLines>)
    ->Name("barcode/floor_with_trace_lines/logs_to_file")
    ->Unit(benchmark::kMicrosecond);

}  // namespace bench

// What every benchmark shares: the VM, the emulated host, the component the library created
// for it with its Java peer, and the floor's Java object.
#pragma once

#include "bench/bench_host.h"
#include "bench/bench_vm.h"
#include "component/component_base.h"
#include "module/exports.h"

#include <benchmark/benchmark.h>
#include <jni.h>

#include <memory>

namespace bench {

// Barcodes sent by one Java call; the per-barcode figures divide by it.
constexpr int kBarcodesPerIteration = 100;
// An EAN-13 code: the 13 characters of a typical barcode.
constexpr char kBarcode[] = "4607001234565";
constexpr size_t kBarcodeLength = sizeof kBarcode - 1;

struct Fixture {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    std::unique_ptr<BenchHost> host;
    std::unique_ptr<BenchMemory> memory;
    IComponentBase* component = nullptr;  // null while the library offers none
    DestroyObjectFunction destroyObject = nullptr;
    jobject peer = nullptr;               // the Java peer the library created, global
    jobject floor = nullptr;              // com.kestra.bench.BarcodeFloor, global
    jstring barcode = nullptr;            // kBarcode as a Java string, global
    jmethodID sendBarcodes = nullptr;     // peer.sendBarcodes(String, int)
    jmethodID deliverBarcodes = nullptr;  // floor.deliverBarcodes(String, int)
    jmethodID deliverBarcodesWithTraceLines = nullptr;
};

Fixture& fixture();

// Starts the VM, creates the component through the library's exports and connects it to the
// host. Missing pieces of the library are reported and leave their fields null; false only
// when the VM itself cannot run.
bool setUpFixture(const VmPaths& paths);

// Destroys the component through the library's exports.
void tearDownFixture();

// Calls a void Java method; false (exception printed and cleared) when it threw.
bool callJava(JNIEnv* env, jobject target, jmethodID method, jstring text, int count);

// Runs one Java batch of barcodes and checks that the host got every event with the whole
// barcode; on failure the benchmark is stopped with the reason.
bool sendBatch(benchmark::State& state, jobject target, jmethodID method);

// Counts the heap allocations of `run` on this thread, and the log records it wrote while
// records are dropped, and reports both per operation.
template <typename Run>
void reportAllocations(benchmark::State& state, int operations, Run run);

}  // namespace bench

#include "bench/allocation_counter.h"
#include "bench/log_modes.h"

template <typename Run>
void bench::reportAllocations(benchmark::State& state, int operations, Run run) {
    unsigned long recordsBefore = droppedLogRecords();
    startCountingAllocations();
    run();
    AllocationCounts counts = stopCountingAllocations();
    state.counters["log_lines"] = static_cast<double>(droppedLogRecords() - recordsBefore) / operations;
    state.counters["allocs"] = static_cast<double>(counts.blocks) / operations;
    state.counters["alloc_bytes"] = static_cast<double>(counts.bytes) / operations;
    state.counters["news"] = static_cast<double>(counts.newCalls) / operations;
}

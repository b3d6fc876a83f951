// The soak: one component takes a million barcodes from a Java thread while the host calls each
// of its ten driver methods a hundred thousand times. Resident memory and the Java heap after
// collection must stay flat, every barcode must arrive once and in order, and every log line
// must be there, whole.

#include "component/component_base.h"
#include "module/exports.h"
#include "tests/stress/log_tally.h"
#include "tests/support/host_connection.h"
#include "tests/support/host_memory.h"
#include "tests/support/peer_script.h"
#include "tests/support/vm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kPhases = 10;
constexpr int kBarcodesPerPhase = 100000;
constexpr int kCallsPerMethodPerPhase = 10000;
constexpr int kBarcodes = kPhases * kBarcodesPerPhase;
constexpr size_t kMethodCalls = static_cast<size_t>(kPhases) * kCallsPerMethodPerPhase;

// Growth allowed from the first phases after the warm-up to the last ones. The first two phases
// are the warm-up: compiled code, the malloc arenas of new threads, the log's buffers.
constexpr int kWarmUpPhases = 2;
constexpr int kComparedPhases = 3;
constexpr size_t kResidentGrowthBound = 8u << 20;
constexpr long long kHeapGrowthBound = 1ll << 20;

// The sanitizers hold memory on purpose (AddressSanitizer's quarantine, ThreadSanitizer's
// history), so resident memory is bounded only in plain builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

// A connection that checks each barcode as it arrives instead of keeping it.
class CheckingConnection : public testsupport::HostConnection {
public:
    bool ExternalEvent(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data) override {
        std::u16string expected = u"s";
        for (char digit : std::to_string(m_next.load())) {
            expected += static_cast<char16_t>(digit);
        }
        bool right = testsupport::shortText(source) == u"MobileScannerDevice" &&
                     testsupport::shortText(message) == u"Штрихкод" &&
                     testsupport::shortText(data) == expected;
        m_wrong += right ? 0 : 1;
        ++m_next;
        return true;
    }
    long long received() const { return m_next.load(); }
    long long wrong() const { return m_wrong.load(); }

private:
    // Only the one sender thread writes these; the host reads them after joining it. Atomic
    // all the same: the join happens inside the VM, where ThreadSanitizer does not look.
    std::atomic<long long> m_next{0};
    std::atomic<long long> m_wrong{0};
};

// Each barcode number's lines: bit 0 the barcode line, bit 1 the event line; a second line of
// either kind sets bit 2.
class BarcodeLines {
public:
    BarcodeLines() : m_seen(kBarcodes) {}

    static bool isBarcodeLine(const std::string& line) { return number(line) >= 0; }

    void record(const std::string& line) {
        long n = number(line);
        if (n < 0 || n >= kBarcodes) {
            return;
        }
        uint8_t bit = line[0] == 's' ? 1 : 2;
        uint8_t old = m_seen[static_cast<size_t>(n)].fetch_or(bit);
        if (old & bit) {
            m_seen[static_cast<size_t>(n)].fetch_or(4);
        }
    }

    // Barcode numbers whose two lines are not there exactly once each.
    long incomplete() const {
        long count = 0;
        for (const auto& seen : m_seen) {
            count += seen.load() != 3;
        }
        return count;
    }

private:
    // The number of "s<n>" or "ExternalEvent message is - s<n>", or -1.
    static long number(const std::string& line) {
        static const std::string eventLine = "ExternalEvent message is - s";
        size_t start = line.compare(0, eventLine.size(), eventLine) == 0 ? eventLine.size() : 1;
        if (start == 1 && (line.empty() || line[0] != 's')) {
            return -1;
        }
        if (start >= line.size() || line.size() - start > 9) {
            return -1;
        }
        long n = 0;
        for (size_t i = start; i < line.size(); ++i) {
            if (line[i] < '0' || line[i] > '9') {
                return -1;
            }
            n = n * 10 + (line[i] - '0');
        }
        return n;
    }

    std::vector<std::atomic<uint8_t>> m_seen;
};

class SoakJava {
public:
    explicit SoakJava(JNIEnv* env)
        : m_env(env), m_class(testsupport::findClass(env, "com/kestra/stress/Soak")) {}
    ~SoakJava() { m_env->DeleteLocalRef(m_class); }

    void startRun(jobject peer, int first, int count) {
        jmethodID method = m_env->GetStaticMethodID(
            m_class, "startRun", "(Lcom/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner;II)V");
        m_env->CallStaticVoidMethod(m_class, method, peer, first, count);
        testsupport::expectNoPendingException(m_env);
    }
    void awaitRun() {
        m_env->CallStaticVoidMethod(m_class, m_env->GetStaticMethodID(m_class, "awaitRun", "()V"));
        testsupport::expectNoPendingException(m_env);
    }
    long long usedHeapAfterGc() {
        jlong used =
            m_env->CallStaticLongMethod(m_class, m_env->GetStaticMethodID(m_class, "usedHeapAfterGc", "()J"));
        testsupport::expectNoPendingException(m_env);
        return used;
    }

private:
    JNIEnv* m_env;
    jclass m_class;
};

jobject firstPeer(JNIEnv* env) {
    jclass script = testsupport::findClass(env, "com/kestra/testsupport/PeerScript");
    jmethodID instance = env->GetStaticMethodID(
        script, "instance", "(I)Lcom/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner;");
    jobject peer = env->CallStaticObjectMethod(script, instance, 0);
    testsupport::expectNoPendingException(env);
    jobject global = env->NewGlobalRef(peer);
    env->DeleteLocalRef(peer);
    env->DeleteLocalRef(script);
    return global;
}

// Calls every driver method once, as a host does, freeing the strings it gets back. Counts the
// calls whose outcome was not the one this peer (which answers true and "") makes.
int callEveryMethod(ILanguageExtenderBase* component, testsupport::HostMemory& memory) {
    int wrong = 0;
    for (int32_t method = 0; method < 10; ++method) {
        tVariant result{};
        tVariant parameters[7]{};
        int32_t count = component->GetNParams(method);
        bool ownInputs = method == 4;
        if (ownInputs) {
            parameters[0] = testsupport::hostString(u"BluetoothDevice");
            parameters[1] = testsupport::hostString(u"00:11:22:33:44:55");
        }
        bool called = component->CallAsFunc(method, &result, parameters, count);
        bool expected = method != 9;
        wrong += called != expected;
        if (called && method != 0 && method != 2) {
            wrong += result.typeCode != VariantBool || result.boolValue != 1;
        }
        for (tVariant* record : {&result, &parameters[0], &parameters[1], &parameters[2], &parameters[3],
                                 &parameters[4], &parameters[5], &parameters[6]}) {
            bool input = ownInputs && (record == &parameters[0] || record == &parameters[1]);
            if (!input && record->typeCode == VariantShortString && record->string.text != nullptr) {
                memory.release(record->string.text);
            }
        }
    }
    return wrong;
}

}  // namespace

TEST(Soak, MillionBarcodesAndHundredThousandCallsOfEachMethodStayFlatAndLoseNoLine) {
    testsupport::peer::reset();
    JNIEnv* env = testsupport::mainEnv();
    BarcodeLines barcodeLines;
    stress::LogTally log(BarcodeLines::isBarcodeLine,
                         [&barcodeLines](const std::string& line) { barcodeLines.record(line); });
    // The host frees each string once it has read it, as a real host does.
    testsupport::HostMemory memory;
    CheckingConnection connection;
    SoakJava java(env);

    IComponentBase* component = nullptr;
    ASSERT_NE(0, GetClassObject(u"MobileBarcodeScanner", &component));
    ASSERT_TRUE(component->setMemManager(&memory));
    ASSERT_TRUE(component->Init(&connection));
    ASSERT_EQ(1, testsupport::peer::instanceCount());
    jobject peer = firstPeer(env);

    // Resident memory swings by several MiB from phase to phase (the VM's and the allocator's
    // own housekeeping), so one reading against another proves nothing. A leak lifts the floor:
    // the lowest reading of the last phases is compared with the highest of the first phases
    // after warm-up.
    size_t highestEarlyResident = 0;
    size_t lowestLateResident = SIZE_MAX;
    long long heapAfterWarmUp = 0;
    int wrongOutcomes = 0;
    for (int phase = 0; phase < kPhases; ++phase) {
        java.startRun(peer, phase * kBarcodesPerPhase, kBarcodesPerPhase);
        for (int call = 0; call < kCallsPerMethodPerPhase; ++call) {
            wrongOutcomes += callEveryMethod(component, memory);
        }
        java.awaitRun();
        // The test peer records every call; forgetting them leaves only what the library holds.
        testsupport::peer::reset();
        long long heap = java.usedHeapAfterGc();
        size_t resident = stress::residentBytes();
        printf("soak phase %d: %lld barcodes, resident %zu KiB, Java heap after GC %lld KiB\n", phase + 1,
               connection.received(), resident >> 10, heap >> 10);
        if (phase == kWarmUpPhases - 1) {
            heapAfterWarmUp = heap;
        }
        if (phase >= kWarmUpPhases && phase < kWarmUpPhases + kComparedPhases) {
            highestEarlyResident = std::max(highestEarlyResident, resident);
        }
        if (phase >= kPhases - kComparedPhases) {
            lowestLateResident = std::min(lowestLateResident, resident);
        }
        if (phase == kPhases - 1) {
            EXPECT_LE(heap, heapAfterWarmUp + kHeapGrowthBound) << "the Java heap grew";
            if (kUnderSanitizer) {
                printf("resident memory not bounded under a sanitizer\n");
            } else {
                EXPECT_LE(lowestLateResident, highestEarlyResident + kResidentGrowthBound)
                    << "resident memory grew";
            }
        }
    }
    EXPECT_EQ(0, DestroyObject(&component));
    env->DeleteGlobalRef(peer);

    EXPECT_EQ(0, wrongOutcomes);
    EXPECT_EQ(0u, memory.blockCount()) << "host-memory blocks the host never got back";
    EXPECT_EQ(kBarcodes, connection.received());
    EXPECT_EQ(0, connection.wrong()) << "barcodes arrived changed or out of order";

    EXPECT_EQ(0u, log.malformedCount()) << (log.malformedSamples().empty() ? "" : log.malformedSamples()[0]);
    EXPECT_EQ(0L, barcodeLines.incomplete()) << "barcodes whose log lines are missing or doubled";
    EXPECT_EQ(static_cast<size_t>(kBarcodes), log.count("Got_barcode"));
    EXPECT_EQ(static_cast<size_t>(kBarcodes), log.count("OnInput"));
    // CallAsFunc once per call, and GetDescription writes it a second time.
    EXPECT_EQ(11 * kMethodCalls, log.count("CallAsFunc"));
    for (const char* line :
         {"MethGetLastError", "MethGetParameters", "MethSetParameter", "Set BluetoothDevice", "MethOpen ok",
          "MethClose", "MethDeviceTest", "BluetoothDevice", "00:11:22:33:44:55"}) {
        EXPECT_EQ(kMethodCalls, log.count(line)) << line;
    }
}

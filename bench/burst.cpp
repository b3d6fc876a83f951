#include "bench/burst.h"

#include "bench/bench_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {
namespace {

constexpr int kBarcodesPerBurst = 1000;
constexpr int kWarmUpRounds = 5;
constexpr double kRoundSeconds = 60;  // a burst that takes longer lost barcodes
// The burst scanner of the burst transport (bench/burst/java).
constexpr char16_t kAddress[] = u"00:00:00:00:00:01";
constexpr int32_t kSetParameter = 4;
constexpr int32_t kOpen = 5;
constexpr int32_t kClose = 6;

bool callDriver(int32_t method, tVariant* parameters, int32_t count) {
    tVariant result{};
    fixture().memory->reset();
    return fixture().component->CallAsFunc(method, &result, parameters, count) &&
           (result.typeCode != VariantBool || result.boolValue);
}

bool openBurstScanner() {
    ShortWchar name[] = u"BluetoothDevice";
    ShortWchar value[sizeof kAddress / sizeof kAddress[0]];
    std::copy(std::begin(kAddress), std::end(kAddress), value);
    tVariant parameters[2]{};
    parameters[0].string = {name, static_cast<uint32_t>(std::char_traits<char16_t>::length(name))};
    parameters[0].typeCode = VariantShortString;
    parameters[1].string = {value, static_cast<uint32_t>(std::char_traits<char16_t>::length(value))};
    parameters[1].typeCode = VariantShortString;
    tVariant openParameters[1]{};
    return callDriver(kSetParameter, parameters, 2) && callDriver(kOpen, openParameters, 1);
}

// 1,000 EAN-13-sized codes, each ended by CR LF, as a scanner replays a stored batch.
std::string burstBytes() {
    std::string bytes;
    for (int i = 0; i < kBarcodesPerBurst; ++i) {
        char barcode[32];
        snprintf(barcode, sizeof barcode, "460700%07d\r\n", i);
        bytes += barcode;
    }
    return bytes;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<size_t>(fraction * (values.size() - 1))];
}

}  // namespace

int runBurst(int rounds) {
    Fixture& f = fixture();
    JNIEnv* env = f.env;
    if (f.component == nullptr || !openBurstScanner()) {
        fprintf(stderr, "burst: the burst scanner did not open\n");
        return 1;
    }
    jclass link = env->FindClass("com/kestra/MobileBarcodeScannerPackage/BenchLink");
    jmethodID send = link != nullptr ? env->GetStaticMethodID(link, "send", "([B)Z") : nullptr;
    if (send == nullptr) {
        env->ExceptionClear();
        fprintf(stderr, "burst: no BenchLink.send\n");
        return 1;
    }
    const std::string bytes = burstBytes();
    jbyteArray batch = env->NewByteArray(static_cast<jsize>(bytes.size()));
    env->SetByteArrayRegion(batch, 0, static_cast<jsize>(bytes.size()),
                            reinterpret_cast<const jbyte*>(bytes.data()));

    EventTimes times;
    f.host->recordTimes(&times);
    std::vector<double> perBarcode;  // microseconds from the write to each event
    std::vector<double> perRound;    // microseconds from the write to the last event
    std::vector<double> rates;       // barcodes per second
    int failures = 0;
    for (int round = 0; round < kWarmUpRounds + rounds && failures == 0; ++round) {
        times.take();
        // Every byte is there once the write returns; the clock starts before it, so the figures
        // include the write.
        auto written = EventTimes::Clock::now();
        if (!env->CallStaticBooleanMethod(link, send, batch) || env->ExceptionCheck()) {
            env->ExceptionClear();
            ++failures;
            break;
        }
        if (!times.waitFor(kBarcodesPerBurst, kRoundSeconds)) {
            fprintf(stderr, "burst: a round did not deliver %d barcodes\n", kBarcodesPerBurst);
            ++failures;
            break;
        }
        std::vector<EventTimes::Clock::time_point> arrived = times.take();
        if (round < kWarmUpRounds) {
            continue;
        }
        for (const auto& when : arrived) {
            perBarcode.push_back(std::chrono::duration<double, std::micro>(when - written).count());
        }
        double total = std::chrono::duration<double, std::micro>(arrived.back() - written).count();
        perRound.push_back(total);
        rates.push_back(kBarcodesPerBurst / (total / 1e6));
    }
    f.host->recordTimes(nullptr);
    tVariant closeParameters[1]{};
    callDriver(kClose, closeParameters, 1);
    // Exactly once and whole: as many events as barcodes sent, each of 13 characters.
    const uint64_t expected = static_cast<uint64_t>(kWarmUpRounds + rounds) * kBarcodesPerBurst;
    if (failures == 0 && (f.host->eventCount() != expected || f.host->lastDataLength() != 13)) {
        fprintf(stderr, "burst: %llu events for %llu barcodes, or the last was not whole\n",
                static_cast<unsigned long long>(f.host->eventCount()),
                static_cast<unsigned long long>(expected));
        ++failures;
    }
    env->DeleteLocalRef(batch);
    env->DeleteLocalRef(link);
    if (failures != 0) {
        return 1;
    }
    printf(
        "burst: %d rounds of %d barcodes in one write, through the peer's reader (line framing), the "
        "library and the host\n",
        rounds, kBarcodesPerBurst);
    printf("  barcodes per second        median %.0f, slowest round %.0f\n", percentile(rates, 0.5),
           *std::min_element(rates.begin(), rates.end()));
    printf("  last byte to host event    median %.0f us, worst %.0f us (per barcode)\n",
           percentile(perBarcode, 0.5), percentile(perBarcode, 1.0));
    printf("  last byte to last event    median %.0f us, worst %.0f us (per round)\n",
           percentile(perRound, 0.5), percentile(perRound, 1.0));
    return 0;
}

}  // namespace bench

// Driver calls as the host makes them, each next to its floor: the least the same answer can
// cost (a search of the twenty names; a copy into host memory; a bare JNI call of the same
// Java method with its result given to the host). GetParameters also stands next to its floor
// plus the eight records it must write, written the cheapest way.
#include "bench/bench_fixture.h"
#include "hosting/utf8.h"

#include <android/log.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace bench {
namespace {

constexpr char kTag[] = "MobileBarcodeScannerNative";

constexpr const ShortWchar* kMethodNames[] = {
    u"GetVersion",
    u"GetDescription",
    u"GetLastError",
    u"GetParameters",
    u"SetParameter",
    u"Open",
    u"Close",
    u"DeviceTest",
    u"GetAdditionalActions",
    u"DoAdditionalAction",
    u"ПолучитьНомерВерсии",
    u"ПолучитьОписание",
    u"ПолучитьОшибку",
    u"ПолучитьПараметры",
    u"УстановитьПараметр",
    u"Подключить",
    u"Отключить",
    u"ТестУстройства",
    u"ПолучитьДополнительныеДействия",
    u"ВыполнитьДополнительноеДействие",
};
constexpr int kMethodCount = 20;
constexpr int kGetVersion = 0;
constexpr int kGetParameters = 3;
constexpr int kOpen = 5;

constexpr ShortWchar kVersion[] = u"1.0.2.1";
constexpr ShortWchar kDeviceName[] = u"MobileScannerDevice";
constexpr char kDeviceAddress[] = "00:1A:7D:DA:71:13";

bool sameText(const ShortWchar* left, const ShortWchar* right) {
    while (*left != 0 && *left == *right) {
        ++left;
        ++right;
    }
    return *left == *right;
}

size_t textLength(const ShortWchar* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

// A host string made the cheapest way: one host allocation, one copy.
void toHostString(tVariant& variant, const ShortWchar* text, size_t length) {
    void* block = nullptr;
    fixture().memory->AllocMemory(&block, static_cast<uint32_t>(2 * (length + 1)));
    memcpy(block, text, 2 * (length + 1));
    variant.string.text = static_cast<ShortWchar*>(block);
    variant.string.length = static_cast<uint32_t>(length);
    variant.typeCode = VariantShortString;
}

// The name as UTF-8, for the report (the names hold no surrogates).
std::string toUtf8(const ShortWchar* text) {
    std::string utf8;
    for (; *text != 0; ++text) {
        hosting::appendUtf8(utf8, *text);
    }
    return utf8;
}

bool haveComponent(benchmark::State& state) {
    if (fixture().component == nullptr) {
        state.SkipWithError("the library offers no component yet");
        return false;
    }
    return true;
}

void findMethod(benchmark::State& state) {
    if (!haveComponent(state)) {
        return;
    }
    IComponentBase* component = fixture().component;
    const ShortWchar* name = kMethodNames[state.range(0)];
    state.SetLabel(toUtf8(name));
    int32_t expected = static_cast<int32_t>(state.range(0) % 10);
    for (auto _ : state) {
        int32_t found = component->FindMethod(name);
        benchmark::DoNotOptimize(found);
    }
    if (component->FindMethod(name) != expected) {
        state.SkipWithError("FindMethod gave another method number");
        return;
    }
    reportAllocations(state, 1, [&] { benchmark::DoNotOptimize(component->FindMethod(name)); });
}

// The least a name lookup needs: compare the host's text with the twenty names in place.
void findMethodFloor(benchmark::State& state) {
    const ShortWchar* name = kMethodNames[state.range(0)];
    state.SetLabel(toUtf8(name));
    auto find = [](const ShortWchar* wanted) {
        for (int i = 0; i < kMethodCount; ++i) {
            if (sameText(kMethodNames[i], wanted)) {
                return static_cast<int32_t>(i % 10);
            }
        }
        return int32_t{-1};
    };
    for (auto _ : state) {
        benchmark::DoNotOptimize(name);
        int32_t found = find(name);
        benchmark::DoNotOptimize(found);
    }
    reportAllocations(state, 1, [&] { benchmark::DoNotOptimize(find(name)); });
}

// One CallAsFunc with fresh records and host memory, checking the call's own outcome.
bool callAsFunc(int32_t method, tVariant& result, tVariant* parameters, int32_t count) {
    fixture().memory->reset();
    result = tVariant{};
    for (int32_t i = 0; i < count; ++i) {
        parameters[i] = tVariant{};
    }
    return fixture().component->CallAsFunc(method, &result, parameters, count);
}

void runCallAsFunc(benchmark::State& state, int32_t method, int32_t parameterCount) {
    if (!haveComponent(state)) {
        return;
    }
    tVariant result{};
    tVariant parameters[1]{};
    for (auto _ : state) {
        if (!callAsFunc(method, result, parameters, parameterCount)) {
            state.SkipWithError("CallAsFunc returned false");
            return;
        }
    }
    reportAllocations(state, 1, [&] { callAsFunc(method, result, parameters, parameterCount); });
}

void getVersion(benchmark::State& state) {
    runCallAsFunc(state, kGetVersion, 0);
}

void getVersionFloor(benchmark::State& state) {
    tVariant result{};
    auto call = [&] {
        fixture().memory->reset();
        toHostString(result, kVersion, 7);
    };
    for (auto _ : state) {
        call();
        benchmark::DoNotOptimize(result);
    }
    reportAllocations(state, 1, call);
}

// A list of ten devices, as the peer's GetDevicesList gives it.
std::string tenDevices() {
    std::string list;
    for (int i = 0; i < 10; ++i) {
        list += "<Item Value=\"00:1A:7D:DA:71:1" + std::to_string(i) + "\">Scanner " + std::to_string(i + 1) +
                "</Item>";
    }
    return list;
}

void setDevicesList(const std::string& list) {
    JNIEnv* env = fixture().env;
    jclass peerClass = env->FindClass("com/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner");
    jmethodID set = env->GetStaticMethodID(peerClass, "setDevicesList", "(Ljava/lang/String;)V");
    jstring text = env->NewStringUTF(list.c_str());
    env->CallStaticVoidMethod(peerClass, set, text);
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(peerClass);
}

void getParameters(benchmark::State& state) {
    setDevicesList(tenDevices());
    runCallAsFunc(state, kGetParameters, 1);
}

jmethodID peerMethod(const char* name, const char* signature) {
    JNIEnv* env = fixture().env;
    jclass type = env->GetObjectClass(fixture().peer);
    jmethodID method = env->GetMethodID(type, name, signature);
    env->DeleteLocalRef(type);
    return method;
}

bool havePeer(benchmark::State& state) {
    if (fixture().peer == nullptr) {
        state.SkipWithError("the library created no Java peer");
        return false;
    }
    return true;
}

// The eight records of a GetParameters call written the cheapest way: constant texts, the
// environment line, and the device list as narrow text.
void writeGetParametersRecords(JNIEnv* env, const char* list) {
    __android_log_print(ANDROID_LOG_INFO, kTag, "CallAsFunc");
    __android_log_print(ANDROID_LOG_INFO, kTag, "MethGetParameters");
    __android_log_print(ANDROID_LOG_INFO, kTag, "GetDevicesChoiceList");
    __android_log_print(ANDROID_LOG_INFO, kTag, "getJniEnv()");
    __android_log_print(ANDROID_LOG_INFO, kTag, "GetEnv(), env = %08X",
                        static_cast<unsigned>(reinterpret_cast<uintptr_t>(env)));
    __android_log_print(ANDROID_LOG_INFO, kTag, "GetDevicesList_meth_found");
    __android_log_print(ANDROID_LOG_INFO, kTag, "CallObjectMethod_GetDevicesList");
    __android_log_print(ANDROID_LOG_INFO, kTag, "%s", list);
}

// The same records with the list narrowed from the units already copied for the host (the
// benchmark's list is ASCII and fits a line).
void writeGetParametersRecords(JNIEnv* env, const ShortWchar* units, jsize length) {
    char text[1024];
    size_t bytes = std::min(static_cast<size_t>(length), sizeof text - 1);
    for (size_t i = 0; i < bytes; ++i) {
        text[i] = static_cast<char>(units[i]);
    }
    text[bytes] = '\0';
    writeGetParametersRecords(env, text);
}

// The eight records alone, with the list already narrow: what a GetParameters call's records
// cost as such, the way the barcode path's four lines are measured.
void getParametersRecords(benchmark::State& state) {
    JNIEnv* env = fixture().env;
    std::string list = tenDevices();
    for (auto _ : state) {
        writeGetParametersRecords(env, list.c_str());
    }
    reportAllocations(state, 1, [&] { writeGetParametersRecords(env, list.c_str()); });
}

// The list fetched with one bare JNI call and copied into host memory; with records, the call's
// eight records are written too.
void runGetParametersFloor(benchmark::State& state, bool withRecords) {
    if (!havePeer(state)) {
        return;
    }
    setDevicesList(tenDevices());
    JNIEnv* env = fixture().env;
    jobject peer = fixture().peer;
    jmethodID getDevicesList = peerMethod("GetDevicesList", "()Ljava/lang/String;");
    tVariant settings{};
    auto call = [&] {
        fixture().memory->reset();
        auto list = static_cast<jstring>(env->CallObjectMethod(peer, getDevicesList));
        if (env->ExceptionCheck() || list == nullptr) {
            env->ExceptionClear();
            return false;
        }
        jsize length = env->GetStringLength(list);
        void* block = nullptr;
        fixture().memory->AllocMemory(&block, static_cast<uint32_t>(2 * (length + 1)));
        env->GetStringRegion(list, 0, length, static_cast<jchar*>(block));
        auto* units = static_cast<ShortWchar*>(block);
        units[length] = 0;
        if (withRecords) {
            writeGetParametersRecords(env, units, length);
        }
        settings.string.text = units;
        settings.string.length = static_cast<uint32_t>(length);
        settings.typeCode = VariantShortString;
        env->DeleteLocalRef(list);
        return true;
    };
    for (auto _ : state) {
        if (!call()) {
            state.SkipWithError("GetDevicesList threw");
            return;
        }
    }
    reportAllocations(state, 1, call);
}

void getParametersFloor(benchmark::State& state) {
    runGetParametersFloor(state, false);
}

void getParametersFloorWithRecords(benchmark::State& state) {
    runGetParametersFloor(state, true);
}

// SetParameter("BluetoothDevice", address), so Open passes the same address as its floor.
void setDeviceAddress() {
    constexpr int32_t kSetParameter = 4;
    ShortWchar name[] = u"BluetoothDevice";
    ShortWchar value[sizeof kDeviceAddress];
    for (size_t i = 0; i < sizeof kDeviceAddress; ++i) {
        value[i] = static_cast<ShortWchar>(kDeviceAddress[i]);
    }
    tVariant parameters[2]{};
    parameters[0].string = {name, static_cast<uint32_t>(textLength(name))};
    parameters[0].typeCode = VariantShortString;
    parameters[1].string = {value, static_cast<uint32_t>(textLength(value))};
    parameters[1].typeCode = VariantShortString;
    tVariant result{};
    fixture().component->CallAsFunc(kSetParameter, &result, parameters, 2);
}

void open(benchmark::State& state) {
    if (haveComponent(state)) {
        setDeviceAddress();
    }
    runCallAsFunc(state, kOpen, 1);
}

// OpenDevice called once with the address as a Java string; the device name goes to the host.
void openFloor(benchmark::State& state) {
    if (!havePeer(state)) {
        return;
    }
    JNIEnv* env = fixture().env;
    jobject peer = fixture().peer;
    jmethodID openDevice = peerMethod("OpenDevice", "(Ljava/lang/String;)Z");
    tVariant result{};
    tVariant device{};
    auto call = [&] {
        fixture().memory->reset();
        jstring address = env->NewStringUTF(kDeviceAddress);
        jboolean opened = env->CallBooleanMethod(peer, openDevice, address);
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            opened = JNI_FALSE;
        }
        env->DeleteLocalRef(address);
        if (opened == JNI_TRUE) {
            toHostString(device, kDeviceName, textLength(kDeviceName));
        }
        result.boolValue = opened == JNI_TRUE;
        result.typeCode = VariantBool;
        return opened == JNI_TRUE;
    };
    for (auto _ : state) {
        if (!call()) {
            state.SkipWithError("OpenDevice failed");
            return;
        }
    }
    reportAllocations(state, 1, call);
}

void setFindMethodNames(benchmark::internal::Benchmark* benchmark) {
    benchmark->DenseRange(0, kMethodCount - 1)->Unit(benchmark::kNanosecond);
}

}  // namespace

BENCHMARK(findMethod)->Name("FindMethod/library")->Apply(setFindMethodNames);
BENCHMARK(findMethodFloor)->Name("FindMethod/floor")->Apply(setFindMethodNames);
BENCHMARK(getVersion)->Name("CallAsFunc/GetVersion/library")->Unit(benchmark::kNanosecond);
BENCHMARK(getVersionFloor)->Name("CallAsFunc/GetVersion/floor")->Unit(benchmark::kNanosecond);
BENCHMARK(getParameters)->Name("CallAsFunc/GetParameters/library")->Unit(benchmark::kNanosecond);
BENCHMARK(getParametersFloor)->Name("CallAsFunc/GetParameters/floor")->Unit(benchmark::kNanosecond);
BENCHMARK(getParametersFloorWithRecords)
    ->Name("CallAsFunc/GetParameters/floor_with_records")
    ->Unit(benchmark::kNanosecond);
BENCHMARK(getParametersRecords)->Name("CallAsFunc/GetParameters/records")->Unit(benchmark::kNanosecond);
BENCHMARK(open)->Name("CallAsFunc/Open/library")->Unit(benchmark::kNanosecond);
BENCHMARK(openFloor)->Name("CallAsFunc/Open/floor")->Unit(benchmark::kNanosecond);

}  // namespace bench

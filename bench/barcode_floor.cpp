// The floor of the barcode path: what delivering one barcode costs when nothing but the job is
// done. The VM binds these natives by name, as it binds the library's SendBarcode.
#include "host/host_api.h"

#include <android/log.h>
#include <jni.h>

#include <cstdint>
#include <memory>

namespace {

constexpr char kTag[] = "MobileBarcodeScannerNative";
constexpr ShortWchar kSource[] = u"MobileScannerDevice";
constexpr ShortWchar kMessage[] = u"Штрихкод";
constexpr jsize kStackUnits = 64;

// Copies the Java string into a host short string (on the stack when it fits) and raises the
// event. This is the whole job: read the text, give it to the host in the host's form.
void deliver(JNIEnv* env, jlong host, jstring barcode) {
    jsize length = env->GetStringLength(barcode);
    ShortWchar onStack[kStackUnits];
    std::unique_ptr<ShortWchar[]> onHeap;
    ShortWchar* data = onStack;
    if (length >= kStackUnits) {
        onHeap.reset(new ShortWchar[static_cast<size_t>(length) + 1]);
        data = onHeap.get();
    }
    env->GetStringRegion(barcode, 0, length, reinterpret_cast<jchar*>(data));
    data[length] = 0;
    auto* connection = reinterpret_cast<IAddInDefBaseEx*>(static_cast<intptr_t>(host));
    connection->ExternalEvent(kSource, kMessage, data);
}

// The four lines the library writes per barcode, written the cheapest way: the text in the
// VM's own narrow form, formatted once by the logging library.
void writeTraceLines(JNIEnv* env, jstring barcode) {
    char text[256];
    jsize units = env->GetStringLength(barcode);
    jsize bytes = env->GetStringUTFLength(barcode);
    if (bytes >= static_cast<jsize>(sizeof text)) {
        units = 0;  // the benchmark sends short barcodes only
        bytes = 0;
    }
    env->GetStringUTFRegion(barcode, 0, units, text);
    text[bytes] = '\0';
    __android_log_print(ANDROID_LOG_INFO, kTag, "Got_barcode");
    __android_log_print(ANDROID_LOG_INFO, kTag, "%s", text);
    __android_log_print(ANDROID_LOG_INFO, kTag, "OnInput");
    __android_log_print(ANDROID_LOG_INFO, kTag, "ExternalEvent message is - %s", text);
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_kestra_bench_BarcodeFloor_Deliver(JNIEnv* env, jobject /*self*/, jlong host,
                                                                  jstring barcode) {
    deliver(env, host, barcode);
}

JNIEXPORT void JNICALL Java_com_kestra_bench_BarcodeFloor_DeliverWithTraceLines(JNIEnv* env, jobject /*self*/,
                                                                                jlong host, jstring barcode) {
    writeTraceLines(env, barcode);
    deliver(env, host, barcode);
}

}  // extern "C"

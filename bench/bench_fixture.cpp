#include "bench/bench_fixture.h"

#include "module/exports.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

namespace bench {
namespace {

Fixture g_fixture;

jmethodID findMethod(JNIEnv* env, jobject target, const char* name, const char* signature) {
    if (target == nullptr) {
        return nullptr;
    }
    jclass type = env->GetObjectClass(target);
    jmethodID method = env->GetMethodID(type, name, signature);
    env->DeleteLocalRef(type);
    if (method == nullptr) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
    return method;
}

// The peer the library constructed during Init, if it did.
jobject latestPeer(JNIEnv* env) {
    jclass peerClass = env->FindClass("com/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner");
    jmethodID latest = env->GetStaticMethodID(
        peerClass, "latest", "()Lcom/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner;");
    if (latest == nullptr) {
        env->ExceptionClear();  // the app's own peer (the burst's) keeps no such record
        env->DeleteLocalRef(peerClass);
        return nullptr;
    }
    jobject peer = env->CallStaticObjectMethod(peerClass, latest);
    env->DeleteLocalRef(peerClass);
    if (peer == nullptr) {
        return nullptr;
    }
    jobject global = env->NewGlobalRef(peer);
    env->DeleteLocalRef(peer);
    return global;
}

IComponentBase* createComponent(const char* libraryPath) {
    void* library = loadedLibraryHandle(libraryPath);
    auto getClassObject =
        library ? reinterpret_cast<GetClassObjectFunction>(dlsym(library, "GetClassObject")) : nullptr;
    g_fixture.destroyObject =
        library ? reinterpret_cast<DestroyObjectFunction>(dlsym(library, "DestroyObject")) : nullptr;
    if (getClassObject == nullptr || g_fixture.destroyObject == nullptr) {
        fprintf(stderr, "the library exports no GetClassObject yet\n");
        return nullptr;
    }
    IComponentBase* component = nullptr;
    if (getClassObject(u"MobileBarcodeScanner", &component) == 0 || component == nullptr) {
        fprintf(stderr, "GetClassObject made no component\n");
        return nullptr;
    }
    return component;
}

}  // namespace

Fixture& fixture() {
    return g_fixture;
}

bool setUpFixture(const VmPaths& paths) {
    Fixture& f = g_fixture;
    f.env = startVm(paths, &f.vm);
    if (f.env == nullptr) {
        return false;
    }
    f.host = std::make_unique<BenchHost>();
    f.memory = std::make_unique<BenchMemory>();
    jstring barcode = f.env->NewStringUTF(kBarcode);
    f.barcode = static_cast<jstring>(f.env->NewGlobalRef(barcode));
    f.env->DeleteLocalRef(barcode);

    const bool burst = strcmp(paths.classPath, KESTRA_BENCH_BURST_CLASSES) == 0;  // the app's own peer
    if (!burst) {
        f.floor = newGlobalObject(f.env, "com/kestra/bench/BarcodeFloor", "(J)V",
                                  asJavaLong(static_cast<IAddInDefBaseEx*>(f.host.get())));
        f.deliverBarcodes = findMethod(f.env, f.floor, "deliverBarcodes", "(Ljava/lang/String;I)V");
        f.deliverBarcodesWithTraceLines =
            findMethod(f.env, f.floor, "deliverBarcodesWithTraceLines", "(Ljava/lang/String;I)V");
    }

    f.component = createComponent(paths.library);
    if (f.component != nullptr) {
        f.component->setMemManager(f.memory.get());
        f.component->Init(static_cast<IAddInDefBaseEx*>(f.host.get()));
        f.peer = latestPeer(f.env);
        if (f.peer == nullptr && !burst) {
            fprintf(stderr, "Init created no Java peer\n");
        }
    }
    f.sendBarcodes = findMethod(f.env, f.peer, "sendBarcodes", "(Ljava/lang/String;I)V");
    return true;
}

void tearDownFixture() {
    Fixture& f = g_fixture;
    if (f.component != nullptr && f.destroyObject != nullptr) {
        f.component->Done();
        f.destroyObject(&f.component);
    }
}

bool callJava(JNIEnv* env, jobject target, jmethodID method, jstring text, int count) {
    env->CallVoidMethod(target, method, text, static_cast<jint>(count));
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
        return false;
    }
    return true;
}

bool sendBatch(benchmark::State& state, jobject target, jmethodID method) {
    Fixture& f = g_fixture;
    if (target == nullptr || method == nullptr) {
        state.SkipWithError("no Java object to send barcodes from");
        return false;
    }
    uint64_t before = f.host->eventCount();
    if (!callJava(f.env, target, method, f.barcode, kBarcodesPerIteration)) {
        state.SkipWithError("the Java loop threw");
        return false;
    }
    if (f.host->eventCount() - before != kBarcodesPerIteration ||
        f.host->lastDataLength() != kBarcodeLength) {
        state.SkipWithError("the host did not get one whole barcode per event");
        return false;
    }
    return true;
}

}  // namespace bench

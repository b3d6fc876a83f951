#include "module/jni_support.h"

#include "component/conversions.h"
#include "module/trace.h"

#include <pthread.h>

#include <algorithm>
#include <cwchar>

std::atomic<JavaVM*> g_jvm{nullptr};

namespace {

// The VM's attach call takes JNIEnv** on Android and void** in the desktop JDK.
#if defined(__ANDROID__)
using AttachedEnvPointer = JNIEnv**;
#else
using AttachedEnvPointer = void**;
#endif

pthread_key_t g_attachedThreadKey;
pthread_once_t g_attachedThreadKeyOnce = PTHREAD_ONCE_INIT;

// Runs when a thread that getJniEnv attached ends. A native thread that exits while attached
// leaks its Java thread object, and aborts the whole app on Android.
void detachEndingThread(void* vm) {
    static_cast<JavaVM*>(vm)->DetachCurrentThread();
}

void createAttachedThreadKey() {
    pthread_key_create(&g_attachedThreadKey, detachEndingThread);
}

void detachWhenThreadEnds(JavaVM* vm) {
    pthread_once(&g_attachedThreadKeyOnce, createAttachedThreadKey);
    pthread_setspecific(g_attachedThreadKey, vm);
}

}  // namespace

JNIEnv* getJniEnv() {
    trace("getJniEnv()");
    JavaVM* vm = g_jvm.load();
    if (vm == nullptr) {
        return nullptr;
    }
    JNIEnv* env = nullptr;
    jint status = vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6);
    if (status == JNI_OK) {
        trace("GetEnv(), env = %08X", lowAddressBits(env));
        return env;
    }
    if (status != JNI_EDETACHED) {
        return nullptr;
    }
    JavaVMAttachArgs attachArgs{JNI_VERSION_1_6, nullptr, nullptr};
    if (vm->AttachCurrentThreadAsDaemon(reinterpret_cast<AttachedEnvPointer>(&env), &attachArgs) != JNI_OK) {
        return nullptr;
    }
    detachWhenThreadEnds(vm);
    trace("AttachCurrentThreadAsDaemon(), env = %08X", lowAddressBits(env));
    return env;
}

bool clearPendingException(JNIEnv* env) {
    if (!env->ExceptionCheck()) {
        return false;
    }
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

void clearHostException() {
    JavaVM* vm = g_jvm.load();
    JNIEnv* env = nullptr;
    if (vm != nullptr && vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) == JNI_OK) {
        clearPendingException(env);
    }
}

std::wstring Java_To_WStr(JNIEnv* env, jstring text) {
    std::wstring result;
    if (env == nullptr || text == nullptr) {
        return result;
    }
    jsize length = env->GetStringLength(text);
    if (length <= 0) {
        return result;
    }
    // The units are copied out of the string piece by piece through a buffer on the stack, so
    // the VM makes no copy of its own, and widened into a second one; a string of one piece
    // (a barcode, a device list) is made from it at once, a longer one sized once and appended
    // to. The pieces lie within the string's length, which never changes, so reading them
    // cannot throw.
    constexpr jsize kPiece = 1024;
    jchar units[kPiece];
    wchar_t wide[kPiece];
    auto widenPiece = [&](jsize start, jsize count) {
        env->GetStringRegion(text, start, count, units);
        copyUnits(wide, units, static_cast<size_t>(count));
    };
    if (length <= kPiece) {
        widenPiece(0, length);
        return std::wstring(wide, static_cast<size_t>(length));
    }
    result.reserve(static_cast<size_t>(length));
    for (jsize start = 0; start < length; start += kPiece) {
        jsize count = std::min(kPiece, length - start);
        widenPiece(start, count);
        result.append(wide, static_cast<size_t>(count));
    }
    return result;
}

jstring WCHARp_To_Java(JNIEnv* /*env*/, const ShortWchar* text) {
    JNIEnv* env = getJniEnv();
    if (env == nullptr || text == nullptr) {
        return nullptr;
    }
    // A host short string already is an array of UTF-16 code units.
    static_assert(sizeof(ShortWchar) == sizeof(jchar), "host units are Java chars");
    jsize length = static_cast<jsize>(getLenShortWcharStr(text));
    return env->NewString(reinterpret_cast<const jchar*>(text), length);
}

jstring WStr_To_Java(JNIEnv* env, std::wstring text) {
    ShortWcharText converted(text);
    return WCHARp_To_Java(env, converted.units());
}

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/) {
    trace("JNI_OnLoad()");
    g_jvm.store(vm);
    return JNI_VERSION_1_6;
}

JNIEXPORT void JNICALL JNI_OnUnload(JavaVM* /*vm*/, void* /*reserved*/) {
    g_jvm.store(nullptr);
}

JNIEXPORT void JNICALL Java_com_BTBarcodeScannerPackage_BTBarcodeScannerLib_BTBarcodeScannerClass_NativeTrace(
    JNIEnv* env, jobject /*self*/, jstring text) {
    if (env == nullptr || text == nullptr) {
        return;
    }
    const char* chars = env->GetStringUTFChars(text, nullptr);
    if (chars == nullptr) {
        return;
    }
    traceText(chars);
    env->ReleaseStringUTFChars(text, chars);
}

}  // extern "C"

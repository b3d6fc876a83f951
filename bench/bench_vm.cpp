#include "bench/bench_vm.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {
namespace {

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

bool printedException(JNIEnv* env) {
    if (!env->ExceptionCheck()) {
        return false;
    }
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

}  // namespace

JNIEnv* startVm(const VmPaths& paths, JavaVM** vm) {
    void* libjvm = dlopen(paths.libjvm, RTLD_NOW | RTLD_GLOBAL);
    if (libjvm == nullptr) {
        fprintf(stderr, "cannot open %s: %s\n", paths.libjvm, dlerror());
        return nullptr;
    }
    auto create = reinterpret_cast<CreateJavaVm>(dlsym(libjvm, "JNI_CreateJavaVM"));
    if (create == nullptr) {
        fprintf(stderr, "JNI_CreateJavaVM not found in %s\n", paths.libjvm);
        return nullptr;
    }
    std::string classPath = std::string("-Djava.class.path=") + paths.classPath;
    std::string library = std::string("-Dkestra.library=") + paths.library;
    std::string floorLibrary = std::string("-Dkestra.bench.floor=") + paths.floorLibrary;
    std::vector<JavaVMOption> options = {
        {const_cast<char*>(classPath.c_str()), nullptr},
        {const_cast<char*>(library.c_str()), nullptr},
        {const_cast<char*>(floorLibrary.c_str()), nullptr},
        {const_cast<char*>("-Xss1m"), nullptr},
    };
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_6;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    args.ignoreUnrecognized = JNI_FALSE;
    JNIEnv* env = nullptr;
    if (create(vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) {
        fprintf(stderr, "JNI_CreateJavaVM failed\n");
        return nullptr;
    }
    // System.load from a Java frame: the library belongs to the application class loader and
    // the VM binds its natives by name.
    jclass loader = env->FindClass("com/kestra/bench/LibraryUnderTest");
    jmethodID load = loader ? env->GetStaticMethodID(loader, "ensureLoaded", "()V") : nullptr;
    if (load != nullptr) {
        env->CallStaticVoidMethod(loader, load);
    }
    if (load == nullptr || printedException(env)) {
        fprintf(stderr, "cannot load %s\n", paths.library);
        return nullptr;
    }
    env->DeleteLocalRef(loader);
    return env;
}

void* loadedLibraryHandle(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_NOLOAD);
}

jobject newGlobalObject(JNIEnv* env, const char* slashedClass, const char* signature, ...) {
    jclass type = env->FindClass(slashedClass);
    jmethodID constructor = type ? env->GetMethodID(type, "<init>", signature) : nullptr;
    jobject local = nullptr;
    if (constructor != nullptr) {
        va_list args;
        va_start(args, signature);
        local = env->NewObjectV(type, constructor, args);
        va_end(args);
    }
    bool threw = printedException(env);
    jobject global = local != nullptr && !threw ? env->NewGlobalRef(local) : nullptr;
    env->DeleteLocalRef(local);
    env->DeleteLocalRef(type);
    if (global == nullptr) {
        fprintf(stderr, "cannot create %s\n", slashedClass);
    }
    return global;
}

}  // namespace bench

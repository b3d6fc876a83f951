#include "bench/bench_vm.h"

#include "hosting/vm.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace bench {

JNIEnv* startVm(const VmPaths& paths, JavaVM** vm) {
    hosting::VmSettings settings;
    settings.libjvm = paths.libjvm;
    settings.classPath = paths.classPath;
    settings.options = {std::string("-Dkestra.bench.floor=") + paths.floorLibrary, "-Xss1m"};
    std::string problem;
    JNIEnv* env = hosting::startVm(settings, vm, problem);
    if (env == nullptr || !hosting::loadLibrary(env, paths.library, problem)) {
        fprintf(stderr, "%s\n", problem.c_str());
        return nullptr;
    }
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
    jobject global = local != nullptr && !env->ExceptionCheck() ? env->NewGlobalRef(local) : nullptr;
    if (global == nullptr) {
        fprintf(stderr, "cannot create %s: %s\n", slashedClass, hosting::takeException(env).c_str());
    }
    env->DeleteLocalRef(local);
    env->DeleteLocalRef(type);
    return global;
}

}  // namespace bench

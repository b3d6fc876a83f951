#include "console/jvm.h"

#include <dlfcn.h>

#include <vector>

namespace console {
namespace {

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

std::string describeAndClear(JNIEnv* env) {
    jthrowable thrown = env->ExceptionOccurred();
    env->ExceptionClear();
    if (thrown == nullptr) {
        return "no Java exception";
    }
    std::string text = "a Java exception";
    jclass throwable = env->FindClass("java/lang/Throwable");
    jmethodID toString =
        throwable ? env->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
    auto described = toString ? static_cast<jstring>(env->CallObjectMethod(thrown, toString)) : nullptr;
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
    } else if (described != nullptr) {
        const char* chars = env->GetStringUTFChars(described, nullptr);
        if (chars != nullptr) {
            text = chars;
            env->ReleaseStringUTFChars(described, chars);
        }
        env->DeleteLocalRef(described);
    }
    if (throwable != nullptr) {
        env->DeleteLocalRef(throwable);
    }
    env->DeleteLocalRef(thrown);
    return text;
}

}  // namespace

JNIEnv* startVm(const VmSettings& settings, JavaVM** vm, std::string& problem) {
    // The VM is opened by hand: linking libjvm directly does not work outside its launcher.
    void* libjvm = dlopen(settings.libjvm.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (libjvm == nullptr) {
        problem = std::string("cannot open the Java VM: ") + dlerror();
        return nullptr;
    }
    auto create = reinterpret_cast<CreateJavaVm>(dlsym(libjvm, "JNI_CreateJavaVM"));
    if (create == nullptr) {
        problem = "JNI_CreateJavaVM is missing from " + settings.libjvm;
        return nullptr;
    }
    std::string classPath = "-Djava.class.path=" + settings.classPath;
    std::string library = "-Dkestra.library=" + settings.library;
    std::string devices = "-Dkestra.devices=" + settings.devices;
    // -Xcheck:jni makes the VM report any misuse of JNI by the driver (or by this console).
    std::vector<JavaVMOption> options = {
        {const_cast<char*>(classPath.c_str()), nullptr},       {const_cast<char*>(library.c_str()), nullptr},
        {const_cast<char*>(devices.c_str()), nullptr},         {const_cast<char*>("-Xcheck:jni"), nullptr},
        {const_cast<char*>("-Dfile.encoding=UTF-8"), nullptr}, {const_cast<char*>("-Xss1m"), nullptr},
    };
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_6;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    args.ignoreUnrecognized = JNI_FALSE;
    JNIEnv* env = nullptr;
    if (create(vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) {
        problem = "the Java VM did not start";
        return nullptr;
    }
    return env;
}

bool loadLibraryThroughJava(JNIEnv* env, std::string& problem) {
    // A System.load called through JNI with no Java frame on the stack would tie the library
    // to the wrong class loader, and the VM could not bind its natives.
    // Finding the class runs its static initializer, so a library that does not load shows up
    // here as well as a class path without the console's classes.
    jclass loader = env->FindClass("com/kestra/console/NativeLibrary");
    if (loader == nullptr) {
        problem = "the Java VM could not load the library: " + describeAndClear(env);
        return false;
    }
    jmethodID ensureLoaded = env->GetStaticMethodID(loader, "ensureLoaded", "()V");
    if (ensureLoaded != nullptr) {
        env->CallStaticVoidMethod(loader, ensureLoaded);
    }
    bool loaded = ensureLoaded != nullptr && !env->ExceptionCheck();
    if (!loaded) {
        problem = "the Java VM could not load the library: " + describeAndClear(env);
    }
    env->DeleteLocalRef(loader);
    return loaded;
}

jobject newActivity(JNIEnv* env, const char* title) {
    jclass activityClass = env->FindClass("android/app/Activity");
    if (activityClass == nullptr) {
        env->ExceptionClear();
        return nullptr;
    }
    jobject global = nullptr;
    jmethodID constructor = env->GetMethodID(activityClass, "<init>", "(Ljava/lang/String;)V");
    jstring name = constructor ? env->NewStringUTF(title) : nullptr;
    jobject activity = name ? env->NewObject(activityClass, constructor, name) : nullptr;
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
    } else if (activity != nullptr) {
        global = env->NewGlobalRef(activity);
    }
    if (activity != nullptr) {
        env->DeleteLocalRef(activity);
    }
    if (name != nullptr) {
        env->DeleteLocalRef(name);
    }
    env->DeleteLocalRef(activityClass);
    return global;
}

}  // namespace console

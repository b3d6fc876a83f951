#include "hosting/vm.h"

#include "hosting/utf8.h"

#include <dlfcn.h>

#include <atomic>

namespace hosting {
namespace {

// Threads a program starts may ask for it at any time.
std::atomic<JavaVM*> g_startedVm{nullptr};

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

// JNI names classes in modified UTF-8 with slashes: every UTF-16 unit (each half of a
// surrogate pair too) becomes one to three bytes.
std::string slashedName(const ShortWchar* dotted) {
    std::string name;
    for (const ShortWchar* at = dotted; *at != 0; ++at) {
        appendUtf8(name, *at == u'.' ? U'/' : static_cast<char32_t>(*at));
    }
    return name;
}

}  // namespace

const char* buildLibjvm() {
    return KESTRA_HOSTING_LIBJVM;
}

const char* sharedClassPath() {
    return KESTRA_HOSTING_CLASSES;
}

JNIEnv* startVm(const VmSettings& settings, JavaVM** vm, std::string& problem) {
    // The VM is opened by hand: linking libjvm directly does not work outside its launcher.
    std::string libjvm = settings.libjvm.empty() ? buildLibjvm() : settings.libjvm;
    void* library = dlopen(libjvm.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        problem = std::string("cannot open the Java VM: ") + dlerror();
        return nullptr;
    }
    auto create = reinterpret_cast<CreateJavaVm>(dlsym(library, "JNI_CreateJavaVM"));
    if (create == nullptr) {
        problem = "JNI_CreateJavaVM is missing from " + libjvm;
        return nullptr;
    }
    std::vector<std::string> texts = {"-Djava.class.path=" + settings.classPath + ":" + sharedClassPath()};
    texts.insert(texts.end(), settings.options.begin(), settings.options.end());
#ifdef KESTRA_HOSTING_INTERPRET_ONLY
    texts.push_back("-Xint");
#endif
    std::vector<JavaVMOption> options;
    for (std::string& text : texts) {
        options.push_back({&text[0], nullptr});
    }
    if (settings.print != nullptr) {
        options.push_back({const_cast<char*>("vfprintf"), reinterpret_cast<void*>(settings.print)});
    }
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_6;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    args.ignoreUnrecognized = JNI_FALSE;
    JNIEnv* env = nullptr;
    if (create(vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) {
        problem = "the Java VM did not start (" + libjvm + ")";
        return nullptr;
    }
    g_startedVm.store(*vm);
    return env;
}

JavaVM* startedVm() {
    return g_startedVm.load();
}

bool loadLibrary(JNIEnv* env, const std::string& path, std::string& problem) {
    jclass loader = env->FindClass("com/kestra/hosting/NativeLibrary");
    jmethodID load = loader ? env->GetStaticMethodID(loader, "load", "(Ljava/lang/String;)V") : nullptr;
    jstring javaPath = load ? env->NewStringUTF(path.c_str()) : nullptr;
    if (javaPath != nullptr) {
        env->CallStaticVoidMethod(loader, load, javaPath);
    }
    bool loaded = javaPath != nullptr && !env->ExceptionCheck();
    if (!loaded) {
        problem = "the Java VM could not load the library: " + takeException(env);
    }
    if (javaPath != nullptr) {
        env->DeleteLocalRef(javaPath);
    }
    if (loader != nullptr) {
        env->DeleteLocalRef(loader);
    }
    return loaded;
}

jclass findClass(JNIEnv* env, const ShortWchar* dottedName) {
    if (dottedName == nullptr) {
        return nullptr;
    }
    jclass found = env->FindClass(slashedName(dottedName).c_str());
    if (found == nullptr) {
        env->ExceptionClear();  // NoClassDefFoundError: the answer is null
    }
    return found;
}

jobject newActivity(JNIEnv* env, const char* title) {
    jclass activityClass = env->FindClass("android/app/Activity");
    jmethodID constructor =
        activityClass ? env->GetMethodID(activityClass, "<init>", "(Ljava/lang/String;)V") : nullptr;
    jstring name = constructor ? env->NewStringUTF(title) : nullptr;
    jobject activity = name ? env->NewObject(activityClass, constructor, name) : nullptr;
    env->ExceptionClear();
    if (name != nullptr) {
        env->DeleteLocalRef(name);
    }
    if (activityClass != nullptr) {
        env->DeleteLocalRef(activityClass);
    }
    return activity;
}

std::string utf8(JNIEnv* env, jstring text) {
    const char* chars = text != nullptr ? env->GetStringUTFChars(text, nullptr) : nullptr;
    if (chars == nullptr) {
        return std::string();
    }
    std::string result(chars);
    env->ReleaseStringUTFChars(text, chars);
    return result;
}

std::string takeException(JNIEnv* env) {
    jthrowable thrown = env->ExceptionOccurred();
    if (thrown == nullptr) {
        return "no Java exception";
    }
    env->ExceptionClear();
    std::string text = "a Java exception";
    jclass throwable = env->FindClass("java/lang/Throwable");
    jmethodID toString =
        throwable ? env->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
    auto described = toString ? static_cast<jstring>(env->CallObjectMethod(thrown, toString)) : nullptr;
    if (described != nullptr && !env->ExceptionCheck()) {
        text = utf8(env, described);
    }
    env->ExceptionClear();
    if (described != nullptr) {
        env->DeleteLocalRef(described);
    }
    if (throwable != nullptr) {
        env->DeleteLocalRef(throwable);
    }
    env->DeleteLocalRef(thrown);
    return text;
}

}  // namespace hosting

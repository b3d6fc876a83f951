#include "console/peer.h"

#include "console/output.h"
#include "console/text.h"
#include "hosting/vm.h"

#include <algorithm>
#include <iterator>

namespace console {
namespace {

// The peer's classes are the console's own; JNI calls their package-private methods.
jmethodID findStatic(JNIEnv* env, jclass& owner, const char* className, const char* name,
                     const char* signature) {
    owner = env->FindClass(className);
    jmethodID method = owner != nullptr ? env->GetStaticMethodID(owner, name, signature) : nullptr;
    if (method == nullptr) {
        env->ExceptionClear();
    }
    return method;
}

void JNICALL printNotice(JNIEnv* env, jclass, jstring what, jstring device, jstring text) {
    output().asyncLine("[" + timeOfDay() + "] " + visible(hosting::utf8(env, what)) + ": " +
                       visible(hosting::utf8(env, device)) + ": " + visible(hosting::utf8(env, text)));
}

}  // namespace

std::vector<std::string> deviceProblems(JNIEnv* env) {
    jclass config = nullptr;
    jmethodID problemsNow = findStatic(env, config, "com/kestra/MobileBarcodeScannerPackage/DeviceConfig",
                                       "problemsNow", "()[Ljava/lang/String;");
    auto problems =
        problemsNow ? static_cast<jobjectArray>(env->CallStaticObjectMethod(config, problemsNow)) : nullptr;
    std::vector<std::string> lines;
    if (env->ExceptionCheck() || problemsNow == nullptr) {
        env->ExceptionClear();
        lines.push_back("the device configuration could not be checked");
    } else if (problems != nullptr) {
        for (jsize i = 0; i < env->GetArrayLength(problems); ++i) {
            auto problem = static_cast<jstring>(env->GetObjectArrayElement(problems, i));
            lines.push_back(hosting::utf8(env, problem));
            env->DeleteLocalRef(problem);
        }
        env->DeleteLocalRef(problems);
    }
    if (config != nullptr) {
        env->DeleteLocalRef(config);
    }
    return lines;
}

bool keyboardScannerOpen(JNIEnv* env) {
    jclass source = nullptr;
    jmethodID isRead =
        findStatic(env, source, "com/kestra/MobileBarcodeScannerPackage/ConsoleInputSource", "isRead", "()Z");
    bool open = isRead != nullptr && env->CallStaticBooleanMethod(source, isRead);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        open = false;
    }
    if (source != nullptr) {
        env->DeleteLocalRef(source);
    }
    return open;
}

bool typeIntoKeyboardScanner(JNIEnv* env, const std::string& text) {
    jclass source = nullptr;
    jmethodID type = findStatic(env, source, "com/kestra/MobileBarcodeScannerPackage/KeyboardSource", "type",
                                "(Ljava/lang/String;)Z");
    std::u16string units = hostFromUtf8(text);
    jstring javaText = type != nullptr ? env->NewString(reinterpret_cast<const jchar*>(units.data()),
                                                        static_cast<jsize>(units.size()))
                                       : nullptr;
    bool typed = javaText != nullptr && env->CallStaticBooleanMethod(source, type, javaText);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        typed = false;
    }
    if (javaText != nullptr) {
        env->DeleteLocalRef(javaText);
    }
    if (source != nullptr) {
        env->DeleteLocalRef(source);
    }
    return typed;
}

bool registerScannerWatch(JNIEnv* env, std::string& problem) {
    const JNINativeMethod natives[] = {
        {const_cast<char*>("print"),
         const_cast<char*>("(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V"),
         reinterpret_cast<void*>(printNotice)},
    };
    return registerNatives(env, "com.kestra.console.ScannerWatch", natives, std::size(natives), problem);
}

bool registerNatives(JNIEnv* env, const std::string& className, const JNINativeMethod* natives, size_t count,
                     std::string& problem) {
    std::string slashed = className;
    std::replace(slashed.begin(), slashed.end(), '.', '/');
    jclass owner = env->FindClass(slashed.c_str());
    if (owner == nullptr) {
        env->ExceptionClear();
        problem = "the console's class " + className + " is missing";
        return false;
    }
    bool registered = env->RegisterNatives(owner, natives, static_cast<jint>(count)) == JNI_OK;
    if (!registered) {
        env->ExceptionClear();
        problem = "the natives of " + className + " could not be registered";
    }
    env->DeleteLocalRef(owner);
    return registered;
}

}  // namespace console

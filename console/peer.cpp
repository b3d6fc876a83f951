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

namespace {

// Calls a static method of the emulated scanners that takes one string (the UTF-8 text) and
// returns a boolean or an int; `failed` when the method is missing or threw.
enum class Returns { Boolean, Int };

jint callWithText(JNIEnv* env, const char* className, const char* name, Returns returns,
                  const std::string& text, jint failed) {
    const char* signature = returns == Returns::Boolean ? "(Ljava/lang/String;)Z" : "(Ljava/lang/String;)I";
    jclass owner = nullptr;
    jmethodID method = findStatic(env, owner, className, name, signature);
    std::u16string units = hostFromUtf8(text);
    jstring javaText = method != nullptr ? env->NewString(reinterpret_cast<const jchar*>(units.data()),
                                                          static_cast<jsize>(units.size()))
                                         : nullptr;
    jint result = failed;
    if (javaText != nullptr) {
        result = returns == Returns::Boolean
                     ? static_cast<jint>(env->CallStaticBooleanMethod(owner, method, javaText))
                     : env->CallStaticIntMethod(owner, method, javaText);
    }
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        result = failed;
    }
    if (javaText != nullptr) {
        env->DeleteLocalRef(javaText);
    }
    if (owner != nullptr) {
        env->DeleteLocalRef(owner);
    }
    return result;
}

}  // namespace

bool scanIntoEmulatedScanner(JNIEnv* env, const std::string& text) {
    return callWithText(env, "com/kestra/MobileBarcodeScannerPackage/BarcodeSource", "scan", Returns::Boolean,
                        text, JNI_FALSE) != JNI_FALSE;
}

LinkDrop dropEmulatedLink(JNIEnv* env, const std::string& text) {
    jint result =
        callWithText(env, "com/kestra/MobileBarcodeScannerPackage/LeSource", "drop", Returns::Int, text, 0);
    return result == 1 ? LinkDrop::Reconnected : result == 2 ? LinkDrop::NotReconnected : LinkDrop::NoneOpen;
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

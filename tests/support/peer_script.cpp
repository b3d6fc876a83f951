#include "tests/support/peer_script.h"

#include "tests/support/thread_env.h"
#include "tests/support/vm.h"

#include <gtest/gtest.h>

namespace testsupport::peer {
namespace {

// One static method of PeerScript, looked up on the calling thread. Deletes the local
// references it made and reports a Java exception as a test failure.
class ScriptMethod {
public:
    ScriptMethod(const char* name, const char* signature) : m_env(currentEnv()) {
        if (m_env == nullptr) {
            ADD_FAILURE() << "no JNI environment for PeerScript." << name;
            return;
        }
        m_class = findClass(m_env, "com/kestra/testsupport/PeerScript");
        if (m_class != nullptr) {
            m_method = m_env->GetStaticMethodID(m_class, name, signature);
            if (m_method == nullptr) {
                m_env->ExceptionClear();
                ADD_FAILURE() << "PeerScript has no " << name << signature;
            }
        }
    }
    ~ScriptMethod() {
        for (jobject ref : m_refs) {
            m_env->DeleteLocalRef(ref);
        }
        if (m_class != nullptr) {
            m_env->DeleteLocalRef(m_class);
        }
    }
    ScriptMethod(const ScriptMethod&) = delete;
    ScriptMethod& operator=(const ScriptMethod&) = delete;

    bool ok() const { return m_method != nullptr; }
    JNIEnv* env() const { return m_env; }

    // Java arguments, owned by this object.
    jstring string(const char* utf8) { return own(m_env->NewStringUTF(utf8)); }
    jstring string(const std::u16string& units) {
        return own(
            m_env->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size())));
    }
    jstring string(const std::optional<std::u16string>& units) { return units ? string(*units) : nullptr; }

    template <typename... Args>
    void callVoid(Args... args) {
        if (ok()) {
            m_env->CallStaticVoidMethod(m_class, m_method, args...);
            expectNoPendingException(m_env);
        }
    }
    template <typename... Args>
    jint callInt(Args... args) {
        jint result = ok() ? m_env->CallStaticIntMethod(m_class, m_method, args...) : 0;
        if (ok()) expectNoPendingException(m_env);
        return result;
    }
    template <typename... Args>
    jlong callLong(Args... args) {
        jlong result = ok() ? m_env->CallStaticLongMethod(m_class, m_method, args...) : 0;
        if (ok()) expectNoPendingException(m_env);
        return result;
    }
    template <typename... Args>
    bool callBoolean(Args... args) {
        jboolean result = ok() ? m_env->CallStaticBooleanMethod(m_class, m_method, args...) : JNI_FALSE;
        if (ok()) expectNoPendingException(m_env);
        return result == JNI_TRUE;
    }
    // The string result as its UTF-16 units; nullopt for null (or a failed call).
    template <typename... Args>
    std::optional<std::u16string> callString(Args... args) {
        if (!ok()) {
            return std::nullopt;
        }
        auto text = static_cast<jstring>(own(m_env->CallStaticObjectMethod(m_class, m_method, args...)));
        expectNoPendingException(m_env);
        if (text == nullptr) {
            return std::nullopt;
        }
        const jchar* units = m_env->GetStringChars(text, nullptr);
        std::u16string result(reinterpret_cast<const char16_t*>(units),
                              static_cast<size_t>(m_env->GetStringLength(text)));
        m_env->ReleaseStringChars(text, units);
        return result;
    }

private:
    template <typename T>
    T own(T ref) {
        if (ref != nullptr) {
            m_refs.push_back(ref);
        }
        return ref;
    }

    JNIEnv* m_env;
    jclass m_class = nullptr;
    jmethodID m_method = nullptr;
    std::vector<jobject> m_refs;
};

std::string toNarrow(const std::u16string& units) {
    std::string narrow;
    for (char16_t unit : units) {
        narrow.push_back(static_cast<char>(unit));
    }
    return narrow;
}

}  // namespace

void reset() {
    ScriptMethod("reset", "()V").callVoid();
}

void returnString(const char* method, const std::optional<std::u16string>& value) {
    ScriptMethod call("returnString", "(Ljava/lang/String;Ljava/lang/String;)V");
    call.callVoid(call.string(method), call.string(value));
}

void returnBoolean(const char* method, bool value) {
    ScriptMethod call("returnBoolean", "(Ljava/lang/String;Z)V");
    call.callVoid(call.string(method), static_cast<jboolean>(value ? JNI_TRUE : JNI_FALSE));
}

void throwFrom(const char* method, bool enabled) {
    ScriptMethod call("throwFrom", "(Ljava/lang/String;Z)V");
    call.callVoid(call.string(method), static_cast<jboolean>(enabled ? JNI_TRUE : JNI_FALSE));
}

void freshStrings(bool enabled) {
    ScriptMethod("freshStrings", "(Z)V").callVoid(static_cast<jboolean>(enabled ? JNI_TRUE : JNI_FALSE));
}

void sendFrom(const char* method, const std::u16string& barcode) {
    ScriptMethod call("sendFrom", "(Ljava/lang/String;Ljava/lang/String;)V");
    call.callVoid(call.string(method), call.string(barcode));
}

void sendFromThreadOf(const char* method, const std::u16string& barcode) {
    ScriptMethod call("sendFromThreadOf", "(Ljava/lang/String;Ljava/lang/String;)V");
    call.callVoid(call.string(method), call.string(barcode));
}

int instanceCount() {
    return ScriptMethod("instanceCount", "()I").callInt();
}

int64_t recorderOf(int instance) {
    return ScriptMethod("recorderOf", "(I)J").callLong(static_cast<jint>(instance));
}

int showCount(int instance) {
    return ScriptMethod("showCount", "(I)I").callInt(static_cast<jint>(instance));
}

bool hasActivity(int instance) {
    return ScriptMethod("hasActivity", "(I)Z").callBoolean(static_cast<jint>(instance));
}

std::vector<std::string> calls() {
    std::optional<std::u16string> log = ScriptMethod("callLog", "()Ljava/lang/String;").callString();
    std::vector<std::string> names;
    if (!log || log->empty()) {
        return names;
    }
    std::string text = toNarrow(*log);  // method names are ASCII
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        names.push_back(text.substr(start, end - start));
    }
    names.push_back(text.substr(start));
    return names;
}

int callCount(const char* method, int instance) {
    ScriptMethod call("callCount", "(ILjava/lang/String;)I");
    return call.callInt(static_cast<jint>(instance), call.string(method));
}

std::optional<std::u16string> argument(const char* method, int n) {
    ScriptMethod call("argument", "(Ljava/lang/String;I)Ljava/lang/String;");
    return call.callString(call.string(method), static_cast<jint>(n));
}

int trackedStringCount() {
    return ScriptMethod("trackedStringCount", "()I").callInt();
}

int reachableStringCount() {
    return ScriptMethod("reachableStringCount", "()I").callInt();
}

void send(int instance, const std::u16string& barcode) {
    ScriptMethod call("send", "(ILjava/lang/String;)V");
    call.callVoid(static_cast<jint>(instance), call.string(barcode));
}

void sendFromNewThread(int instance, const std::u16string& barcode) {
    ScriptMethod call("sendFromNewThread", "(ILjava/lang/String;)V");
    call.callVoid(static_cast<jint>(instance), call.string(barcode));
}

void sendWith(int64_t recorder, const std::u16string& barcode) {
    ScriptMethod call("sendWith", "(JLjava/lang/String;)V");
    call.callVoid(static_cast<jlong>(recorder), call.string(barcode));
}

void sendAs(int instance, int64_t recorder, const std::u16string& barcode) {
    ScriptMethod call("sendAs", "(IJLjava/lang/String;)V");
    call.callVoid(static_cast<jint>(instance), static_cast<jlong>(recorder), call.string(barcode));
}

void startSenders(int instance, int threadCount, const std::u16string& barcode) {
    ScriptMethod call("startSenders", "(IILjava/lang/String;)V");
    call.callVoid(static_cast<jint>(instance), static_cast<jint>(threadCount), call.string(barcode));
}

void stopSenders() {
    ScriptMethod("stopSenders", "()V").callVoid();
}

int64_t sentCount() {
    return ScriptMethod("sentCount", "()J").callLong();
}

}  // namespace testsupport::peer

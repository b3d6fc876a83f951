// The library's JNI base: the recorded VM, the calling thread's environment, Java string
// conversions, and small owners for JNI references, local and global.
#pragma once

#include "host/host_api.h"

#include <jni.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

// The VM that loaded the library; null before JNI_OnLoad and after JNI_OnUnload.
extern std::atomic<JavaVM*> g_jvm;

// The calling thread's environment, attaching the thread to the VM as a daemon when needed.
// A thread attached here is detached when it ends. Null when no VM is recorded or the VM
// refuses.
JNIEnv* getJniEnv();

// The units of a Java string, each widened to 32 bits (surrogate pairs stay two units).
// Empty for a null environment or string.
std::wstring Java_To_WStr(JNIEnv* env, jstring text);

// A new Java string (local reference) from a host short string, made with the calling
// thread's own environment. Null when there is no environment or no text.
jstring WCHARp_To_Java(JNIEnv* env, const ShortWchar* text);

// A new Java string from a wide string up to its first zero unit, each unit cut to 16 bits.
jstring WStr_To_Java(JNIEnv* env, std::wstring text);

// The low 32 bits of an address, for the "%08X" lines of the log.
inline uint32_t lowAddressBits(const void* address) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

// If a Java exception is pending, prints it to the log and clears it. Returns whether one was.
bool clearPendingException(JNIEnv* env);

// After a call into the host that may use JNI on the calling thread: prints to the log and clears
// the exception the host left pending, if any. It neither attaches the thread (a thread the VM
// does not know has nothing pending) nor writes a line of its own.
void clearHostException();

// Owns one JNI local reference and deletes it when it goes out of scope.
template <typename T>
class LocalRef {
public:
    LocalRef(JNIEnv* env, T ref) : m_env(env), m_ref(ref) {}
    ~LocalRef() { reset(); }
    LocalRef(LocalRef&& other) noexcept : m_env(other.m_env), m_ref(other.release()) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    LocalRef& operator=(LocalRef&&) = delete;

    T get() const { return m_ref; }
    explicit operator bool() const { return m_ref != nullptr; }
    T release() { return std::exchange(m_ref, nullptr); }
    void reset() {
        if (m_ref != nullptr && m_env != nullptr) {
            m_env->DeleteLocalRef(m_ref);
        }
        m_ref = nullptr;
    }

private:
    JNIEnv* m_env;
    T m_ref;
};

// Owns one JNI global reference and deletes it when it goes out of scope. A global reference may
// be let go on another thread than the one that made it, so deleting asks for the environment of
// the thread doing it.
template <typename T>
class GlobalRef {
public:
    GlobalRef() = default;
    ~GlobalRef() { reset(); }
    GlobalRef(const GlobalRef&) = delete;
    GlobalRef& operator=(const GlobalRef&) = delete;

    T get() const { return m_ref; }
    explicit operator bool() const { return m_ref != nullptr; }
    // Deletes the reference held, then holds a new global reference to ref; empty when ref is
    // null or the VM refuses one.
    void reset(JNIEnv* env, T ref) {
        reset();
        if (env != nullptr && ref != nullptr) {
            m_ref = static_cast<T>(env->NewGlobalRef(ref));
        }
    }
    // Deletes the reference held. Without an environment (no VM any more) it is only forgotten.
    void reset() {
        T ref = std::exchange(m_ref, nullptr);
        if (ref == nullptr) {
            return;
        }
        if (JNIEnv* env = getJniEnv()) {
            env->DeleteGlobalRef(ref);
        }
    }

private:
    T m_ref = nullptr;
};

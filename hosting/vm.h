// What every program that hosts the library in a desktop Java VM shares (the tests, the
// console, the benchmarks, the fuzz targets): starting the VM of the build's architecture,
// loading the library from a Java frame as an app does, finding an app class by the dotted
// name the host is given, and the stand-in activity (the host itself is in hosting/host.h). What
// differs between the programs stays with them: their VM options (whether -Xcheck:jni runs,
// among others), what they do with the VM's output, their Java peers.
#pragma once

#include "host/host_api.h"

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace hosting {

// The VM's "vfprintf" hook: receives everything the VM prints itself (not System.out),
// -Xcheck:jni reports included, and returns what vfprintf would.
using VmPrint = jint(JNICALL*)(FILE* stream, const char* format, va_list args);

struct VmSettings {
    std::string libjvm;                // empty: the build's
    std::string classPath;             // the program's classes; the shared ones come after them
    std::vector<std::string> options;  // the program's own (-Xcheck:jni, -Xss1m, -Dname=value...)
    VmPrint print = nullptr;           // null: the VM prints to its streams itself
};

// The libjvm.so of the build's architecture, and the class folder of the shared classes
// (com.kestra.hosting.NativeLibrary, android.app.Activity).
const char* buildLibjvm();
const char* sharedClassPath();

// Starts the VM on the calling thread, which becomes the VM's main thread, and returns that
// thread's environment; null with the reason in `problem` when it cannot.
JNIEnv* startVm(const VmSettings& settings, JavaVM** vm, std::string& problem);

// The VM startVm started; null before.
JavaVM* startedVm();

// Loads the library at `path` through com.kestra.hosting.NativeLibrary: System.load from a Java
// frame ties it to the application class loader, so the VM runs its JNI_OnLoad and binds its
// natives by name. Called through JNI with no Java frame on the stack, System.load would tie it
// to the wrong loader. False with the reason in `problem` when it cannot.
bool loadLibrary(JNIEnv* env, const std::string& path, std::string& problem);

// The class of a dotted name (as the host's Android helper is asked for it) as a local
// reference, or null with no exception pending when the class path has no such class.
jclass findClass(JNIEnv* env, const ShortWchar* dottedName);

// A new android.app.Activity stand-in as a local reference, or null with no exception pending.
jobject newActivity(JNIEnv* env, const char* title);

// The pending Java exception as its toString text, cleared ("no Java exception" when none).
std::string takeException(JNIEnv* env);

// The text of a Java string as JNI gives it (modified UTF-8); empty for null, and empty with the
// VM's exception pending when it cannot be read.
std::string utf8(JNIEnv* env, jstring text);

}  // namespace hosting

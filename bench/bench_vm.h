// One Java VM for the benchmark process, with the library loaded by a Java class's System.load
// as an app loads it, and the benchmark's own classes on the class path.
#pragma once

#include <jni.h>

namespace bench {

struct VmPaths {
    const char* libjvm;  // empty: the build's
    const char* classPath;
    const char* library;
    const char* floorLibrary;
};

// Starts the VM through the shared hosting code (no -Xcheck:jni: it would be measured too)
// and loads the library. Returns the main thread's environment, or null after printing why it
// failed.
JNIEnv* startVm(const VmPaths& paths, JavaVM** vm);

// The dlopen handle of a library the VM has loaded, for looking up its exports.
void* loadedLibraryHandle(const char* path);

// A global reference to a new instance of a class, or null (the exception is printed).
jobject newGlobalObject(JNIEnv* env, const char* slashedClass, const char* signature, ...);

}  // namespace bench

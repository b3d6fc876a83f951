// Starts the Java VM the way the app's process has one: the scanner peer and the app's classes
// on the class path, and the driver library loaded by a Java class's System.load.
#pragma once

#include <jni.h>

#include <string>

namespace console {

struct VmSettings {
    std::string libjvm;     // libjvm.so of a JDK of the console's own architecture
    std::string classPath;  // the console's Java classes
    std::string library;    // the driver library to load
    std::string devices;    // the emulated scanners' configuration file
};

// Starts the VM on the calling thread. On failure returns null and says why in `problem`.
JNIEnv* startVm(const VmSettings& settings, JavaVM** vm, std::string& problem);

// Loads the library through com.kestra.console.NativeLibrary, whose static initializer calls
// System.load, so that the VM runs JNI_OnLoad and binds the natives by name.
bool loadLibraryThroughJava(JNIEnv* env, std::string& problem);

// A new android.app.Activity stand-in, as a global reference, or null.
jobject newActivity(JNIEnv* env, const char* title);

}  // namespace console

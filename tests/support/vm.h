// One real Java VM per test process, started before the first test with -Xcheck:jni, with the
// library under test loaded by a Java class's System.load, as an app loads it.
#pragma once

#include "hosting/vm.h"

#include <jni.h>

#include <string>

namespace testsupport {

// The VM and the main thread's environment.
JavaVM* vm();
JNIEnv* mainEnv();

// Everything the VM printed through its own output (not System.out), and how many JNI
// warnings and fatal errors -Xcheck:jni reported so far.
std::string vmOutput();
int jniProblemCount();

// Loads a class of the test class path (slashed name) from any thread, failing the test when
// it is missing.
jclass findClass(JNIEnv* env, const char* slashedName);

// A Java string from UTF-8 text (a local reference of env's thread).
jstring javaString(JNIEnv* env, const std::string& utf8);

// The UTF-8 text of a Java string (empty for null).
using hosting::utf8;

// Number of live threads in the VM.
int vmThreadCount(JNIEnv* env);

// Runs the VM's garbage collector until weakly reachable objects are cleared.
void collectGarbage(JNIEnv* env);

// Fails the current test if a Java exception is pending, and clears it.
void expectNoPendingException(JNIEnv* env);

}  // namespace testsupport

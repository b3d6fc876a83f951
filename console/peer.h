// What the console asks its emulated scanner peer directly, outside the driver: the problems of
// the device configuration, and whether the keyboard scanner is open.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

namespace console {

// The lines of the device configuration that cannot be used, each as "FILE line N: reason".
std::vector<std::string> deviceProblems(JNIEnv* env);

// Whether an open device reads the console's input (a device with source stdin).
bool keyboardScannerOpen(JNIEnv* env);

}  // namespace console

// What the console asks its emulated scanner peer directly, outside the driver: the problems of
// the device configuration, whether the keyboard scanner is open, the keys an emulated
// keyboard-mode scanner types; and what the peer tells it: a scanner's link lost.
#pragma once

#include <jni.h>

#include <cstddef>
#include <string>
#include <vector>

namespace console {

// The lines of the device configuration that cannot be used, each as "FILE line N: reason".
std::vector<std::string> deviceProblems(JNIEnv* env);

// Whether an open device reads the console's input (a device with source stdin).
bool keyboardScannerOpen(JNIEnv* env);

// Types the text (UTF-8) as key presses into the open emulated keyboard-mode scanner (a device
// with source keys:LAYOUT), then Enter; false when none is open.
bool typeIntoKeyboardScanner(JNIEnv* env, const std::string& text);

// Binds the native of com.kestra.console.ScannerWatch, which prints a line when a scanner's link is
// lost or back, a line is refused or a barcode reaches the host cut short; on failure says why in
// `problem`.
bool registerScannerWatch(JNIEnv* env, std::string& problem);

// Binds natives of one of the console's classes (className with dots); on failure says why in
// `problem`.
bool registerNatives(JNIEnv* env, const std::string& className, const JNINativeMethod* natives, size_t count,
                     std::string& problem);

}  // namespace console

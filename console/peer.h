// What the console asks its emulated scanner peer directly, outside the driver: the problems of
// the device configuration, whether the keyboard scanner is open, what an emulated scanner sends,
// an emulated LE scanner's link dropped; and what the peer tells it: a scanner's link lost.
#pragma once

#include "console/commands.h"

#include <jni.h>

#include <cstddef>
#include <string>
#include <vector>

namespace console {

// The lines of the device configuration that cannot be used, each as "FILE line N: reason".
std::vector<std::string> deviceProblems(JNIEnv* env);

// Whether an open device reads the console's input (a device with source stdin).
bool keyboardScannerOpen(JNIEnv* env);

// Sends the text (UTF-8) from the open emulated scanner that `scan` reaches: as key presses and
// Enter from a keyboard-mode one (source keys:LAYOUT), or as notifications with a CR from a
// Bluetooth LE one (source le:SERVICE); false when neither is open.
bool scanIntoEmulatedScanner(JNIEnv* env, const std::string& text);

// Sends the text (UTF-8) without its end from the open emulated Bluetooth LE scanner, then drops
// its link, and waits up to 10 seconds for the peer to connect again.
LinkDrop dropEmulatedLink(JNIEnv* env, const std::string& text);

// Binds the native of com.kestra.console.ScannerWatch, which prints a line when a scanner's link is
// lost or back, a line is refused or a barcode reaches the host cut short; on failure says why in
// `problem`.
bool registerScannerWatch(JNIEnv* env, std::string& problem);

// Binds natives of one of the console's classes (className with dots); on failure says why in
// `problem`.
bool registerNatives(JNIEnv* env, const std::string& className, const JNINativeMethod* natives, size_t count,
                     std::string& problem);

}  // namespace console

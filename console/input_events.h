// The natives of com.kestra.console.InputEvents, with which the emulated peer reads a real
// scanner in keyboard mode from its Linux input event device: Java cannot grab a device.
#pragma once

#include <jni.h>

#include <string>

namespace console {

// Binds the natives to the class; on failure says why in `problem`.
bool registerInputEvents(JNIEnv* env, std::string& problem);

}  // namespace console

// The natives of com.kestra.console.SerialPort, with which the emulated peer reads a real
// scanner on a serial device: Java cannot put a terminal in raw mode at a given speed.
#pragma once

#include <jni.h>

#include <string>

namespace console {

// Binds the natives to the class; on failure says why in `problem`.
bool registerSerialPort(JNIEnv* env, std::string& problem);

}  // namespace console

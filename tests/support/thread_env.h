// The calling thread's JNI environment for test code that may run on any thread.
#pragma once

#include "hosting/host.h"

#include <jni.h>

namespace testsupport {

// The environment of the calling thread in the test VM. A thread the VM does not know yet is
// attached as a daemon and detached again when it ends (unless someone else attached it first).
inline JNIEnv* currentEnv() {
    return hosting::currentEnv();
}

}  // namespace testsupport

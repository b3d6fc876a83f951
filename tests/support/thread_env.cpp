#include "tests/support/thread_env.h"

#include "tests/support/vm.h"

namespace testsupport {
namespace {

// Detaches the thread at its end if this file attached it.
struct AttachedHere {
    bool attached = false;
    ~AttachedHere() {
        if (attached) {
            vm()->DetachCurrentThread();
        }
    }
};

thread_local AttachedHere t_attachedHere;

}  // namespace

JNIEnv* currentEnv() {
    JNIEnv* env = nullptr;
    jint status = vm()->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6);
    if (status == JNI_OK) {
        return env;
    }
    if (status != JNI_EDETACHED ||
        vm()->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
        return nullptr;
    }
    t_attachedHere.attached = true;
    return env;
}

}  // namespace testsupport

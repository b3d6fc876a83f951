#include "console/input_events.h"

#include "console/peer.h"
#include "hosting/vm.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace console {
namespace {

void throwIoException(JNIEnv* env, const std::string& message) {
    jclass exception = env->FindClass("java/io/IOException");
    if (exception != nullptr) {
        env->ThrowNew(exception, message.c_str());
        env->DeleteLocalRef(exception);
    }
}

jint JNICALL recordSize(JNIEnv*, jclass) {
    return static_cast<jint>(sizeof(input_event));
}

std::string openProblem(int error) {
    if (error == EACCES) {
        return std::string(strerror(error)) +
               " (input devices are for root and the members of the group input: sudo usermod -aG input "
               "$USER, then log in again)";
    }
    return strerror(error);
}

// A character device is grabbed: while the grab holds, its events reach this descriptor only,
// so the scanner types nothing into the terminal or the desktop. Another program's grab makes
// the kernel refuse ours (EBUSY). A regular file or a FIFO is a recording, read as it is.
jint JNICALL openDevice(JNIEnv* env, jclass, jstring device) {
    std::string path = hosting::utf8(env, device);
    if (env->ExceptionCheck()) {
        return -1;
    }
    int descriptor = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        throwIoException(env, openProblem(errno));
        return -1;
    }
    struct stat status {};
    // A device that is no input device refuses the grab with ENOTTY or EINVAL; under a user-mode
    // emulator that passes no input ioctl on, with ENOSYS.
    if (fstat(descriptor, &status) == 0 && S_ISCHR(status.st_mode) && ioctl(descriptor, EVIOCGRAB, 1) != 0) {
        int error = errno;
        close(descriptor);
        throwIoException(env,
                         error == EBUSY ? "another program holds it (it has grabbed the device for itself)"
                         : error == ENOTTY || error == EINVAL || error == ENOSYS
                             ? "it is no input event device (use /dev/input/event* or /dev/input/by-id/*-kbd)"
                             : strerror(error));
        return -1;
    }
    return descriptor;
}

// Whole records only: the kernel hands an event device's records whole, and a recording is read
// in multiples of the record size. A device unplugged answers ENODEV; a recording ends.
jint JNICALL readEvents(JNIEnv* env, jclass, jint descriptor, jbyteArray buffer, jint timeoutMillis) {
    pollfd ready{descriptor, POLLIN, 0};
    int events = poll(&ready, 1, timeoutMillis);
    if (events < 0) {
        if (errno == EINTR) {
            return 0;
        }
        throwIoException(env, std::string("waiting for the input device failed: ") + strerror(errno));
        return -1;
    }
    if (events == 0) {
        return 0;
    }
    if ((ready.revents & POLLIN) == 0) {
        return -1;
    }
    jbyte bytes[64 * sizeof(input_event)];
    size_t length = std::min(static_cast<size_t>(env->GetArrayLength(buffer)), sizeof bytes);
    ssize_t count = read(descriptor, bytes, length);
    if (count > 0) {
        env->SetByteArrayRegion(buffer, 0, static_cast<jsize>(count), bytes);
        return static_cast<jint>(count);
    }
    if (count == 0 || errno == ENODEV || errno == EIO) {
        return -1;
    }
    if (errno == EAGAIN || errno == EINTR) {
        return 0;
    }
    throwIoException(env, std::string("reading the input device failed: ") + strerror(errno));
    return -1;
}

void JNICALL closeDevice(JNIEnv*, jclass, jint descriptor) {
    close(descriptor);  // ends the grab
}

}  // namespace

bool registerInputEvents(JNIEnv* env, std::string& problem) {
    const JNINativeMethod natives[] = {
        {const_cast<char*>("recordSize"), const_cast<char*>("()I"), reinterpret_cast<void*>(recordSize)},
        {const_cast<char*>("open"), const_cast<char*>("(Ljava/lang/String;)I"),
         reinterpret_cast<void*>(openDevice)},
        {const_cast<char*>("read"), const_cast<char*>("(I[BI)I"), reinterpret_cast<void*>(readEvents)},
        {const_cast<char*>("close"), const_cast<char*>("(I)V"), reinterpret_cast<void*>(closeDevice)},
    };
    return registerNatives(env, "com.kestra.console.InputEvents", natives, std::size(natives), problem);
}

}  // namespace console

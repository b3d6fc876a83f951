#include "console/serial.h"

#include "console/peer.h"
#include "hosting/vm.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace console {
namespace {

struct Speed {
    jint baud;
    speed_t constant;
};

const Speed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

const Speed* findSpeed(jint baud) {
    auto found = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                              [&](const Speed& speed) { return speed.baud == baud; });
    return found == std::end(kSpeeds) ? nullptr : found;
}

void throwIoException(JNIEnv* env, const std::string& message) {
    jclass exception = env->FindClass("java/io/IOException");
    if (exception != nullptr) {
        env->ThrowNew(exception, message.c_str());
        env->DeleteLocalRef(exception);
    }
}

jboolean JNICALL supportsSpeed(JNIEnv*, jclass, jint baud) {
    return findSpeed(baud) != nullptr ? JNI_TRUE : JNI_FALSE;
}

// Raw mode: bytes arrive as the scanner sends them, nothing echoes back to it, CR and LF stay
// as they are (the reader ends lines at either), and the modem lines are ignored so that the
// port does not wait for a carrier. A read returns as soon as one byte is there.
bool setRawMode(int descriptor, const Speed& speed, std::string& problem) {
    termios mode{};
    if (tcgetattr(descriptor, &mode) != 0) {
        problem = errno == ENOTTY ? "it is not a serial device (not a terminal)" : strerror(errno);
        return false;
    }
    cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    if (cfsetispeed(&mode, speed.constant) != 0 || cfsetospeed(&mode, speed.constant) != 0 ||
        tcsetattr(descriptor, TCSANOW, &mode) != 0) {
        problem = std::string("cannot set its mode: ") + strerror(errno);
        return false;
    }
    // tcsetattr succeeds when it could apply any of the changes: read back what the device has.
    termios applied{};
    if (tcgetattr(descriptor, &applied) != 0 || cfgetispeed(&applied) != speed.constant ||
        cfgetospeed(&applied) != speed.constant) {
        problem = "it does not take " + std::to_string(speed.baud) + " baud";
        return false;
    }
    return true;
}

const char* const kInUse =
    "it is in use by another program (a second console cannot read it at the same time)";

// Serial devices belong to a group (dialout on most systems) whose members may read them.
std::string openProblem(int error, const std::string& path) {
    if (error == EBUSY) {
        return kInUse;
    }
    if (error != EACCES) {
        return strerror(error);
    }
    // Opens run on Java threads: the reentrant lookup.
    struct stat status {};
    group entry{};
    group* owner = nullptr;
    char buffer[4096];
    if (stat(path.c_str(), &status) == 0) {
        getgrgid_r(status.st_gid, &entry, buffer, sizeof buffer, &owner);
    }
    std::string name = owner != nullptr ? owner->gr_name : "dialout";
    return std::string(strerror(error)) + " (serial devices are for the members of the group " + name +
           ": sudo usermod -aG " + name + " $USER, then log in again)";
}

// The program that holds the device open, as "NAME (process PID)"; empty when none is seen. Serial
// tools leave a lock file with their process number (LCK..ttyACM0 under /var/lock or /run/lock);
// any program's open descriptors show under /proc/PID/fd, for the processes this user may look
// into (all of them for root).
std::string programName(long pid) {
    std::string name;
    FILE* comm = fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "re");
    if (comm != nullptr) {
        char buffer[64] = "";
        if (fgets(buffer, sizeof buffer, comm) != nullptr) {
            name.assign(buffer, strcspn(buffer, "\n"));
        }
        fclose(comm);
    }
    return (name.empty() ? std::string("a program") : name) + " (process " + std::to_string(pid) + ")";
}

long lockFileHolder(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        return 0;
    }
    const char* base = strrchr(resolved, '/');
    for (const char* folder : {"/var/lock/LCK..", "/run/lock/LCK.."}) {
        FILE* lock = fopen((folder + std::string(base + 1)).c_str(), "re");
        if (lock == nullptr) {
            continue;
        }
        long pid = 0;
        bool read = fscanf(lock, "%ld", &pid) == 1;
        fclose(lock);
        // A lock left by a program that has ended holds nothing.
        if (read && pid > 0 && pid != getpid() && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
            return pid;
        }
    }
    return 0;
}

std::string holderOf(const std::string& path, dev_t device) {
    if (long pid = lockFileHolder(path)) {
        return programName(pid);
    }
    DIR* processes = opendir("/proc");
    if (processes == nullptr) {
        return std::string();
    }
    std::string holder;
    while (const dirent* process = readdir(processes)) {
        char* end = nullptr;
        long pid = strtol(process->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == getpid()) {
            continue;
        }
        std::string folder = "/proc/" + std::string(process->d_name) + "/fd";
        DIR* descriptors = opendir(folder.c_str());
        if (descriptors == nullptr) {
            continue;  // another user's, or gone
        }
        while (const dirent* descriptor = readdir(descriptors)) {
            struct stat status {};
            if (descriptor->d_name[0] != '.' &&
                stat((folder + "/" + descriptor->d_name).c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
                status.st_rdev == device) {
                holder = programName(pid);
                break;
            }
        }
        closedir(descriptors);
        if (!holder.empty()) {
            break;
        }
    }
    closedir(processes);
    return holder;
}

// Blocks as long as open(2) does: a Bluetooth port bound with rfcomm connects to the scanner
// here. The Java caller gives up after a deadline.
jint JNICALL openPort(JNIEnv* env, jclass, jstring device, jint baud) {
    const Speed* speed = findSpeed(baud);
    std::string path = hosting::utf8(env, device);
    if (env->ExceptionCheck()) {
        return -1;
    }
    if (device == nullptr || speed == nullptr) {
        throwIoException(env, speed == nullptr ? std::to_string(baud) + " baud is not a serial port speed"
                                               : "no device named");
        return -1;
    }
    // No controlling terminal: a scanner must not be able to send the console signals.
    int descriptor = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        throwIoException(env, openProblem(errno, path));
        return -1;
    }
    // One reader per device: two readers of one terminal would each get a part of every line.
    // The lock keeps out another console (root included); a program that opened the device
    // before is refused by name; TIOCEXCL keeps out programs that come later (but root's).
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(descriptor);
        throwIoException(env, error == EWOULDBLOCK ? kInUse : strerror(error));
        return -1;
    }
    std::string problem;
    if (!setRawMode(descriptor, *speed, problem)) {
        close(descriptor);
        throwIoException(env, problem);
        return -1;
    }
    struct stat opened {};
    std::string holder = fstat(descriptor, &opened) == 0 ? holderOf(path, opened.st_rdev) : std::string();
    if (!holder.empty()) {
        close(descriptor);
        throwIoException(env, "it is in use by another program, " + holder +
                                  ", which would take a part of every barcode: close it there first");
        return -1;
    }
    ioctl(descriptor, TIOCEXCL);
    return descriptor;
}

// The device is gone when the other side hangs up: a USB device unplugged, a Bluetooth link
// lost, the master of a pseudo-terminal closed. The terminal then reports a hang-up, an end of
// file or EIO.
jint JNICALL readPort(JNIEnv* env, jclass, jint descriptor, jbyteArray buffer, jint timeoutMillis) {
    pollfd ready{descriptor, POLLIN, 0};
    int events = poll(&ready, 1, timeoutMillis);
    if (events < 0) {
        if (errno == EINTR) {
            return 0;
        }
        throwIoException(env, std::string("waiting for the serial device failed: ") + strerror(errno));
        return -1;
    }
    if (events == 0) {
        return 0;
    }
    if ((ready.revents & POLLIN) == 0) {
        return -1;
    }
    jbyte bytes[8192];
    jsize length = std::min<jsize>(env->GetArrayLength(buffer), static_cast<jsize>(sizeof bytes));
    ssize_t count = read(descriptor, bytes, static_cast<size_t>(length));
    if (count > 0) {
        env->SetByteArrayRegion(buffer, 0, static_cast<jsize>(count), bytes);
        return static_cast<jint>(count);
    }
    if (count == 0 || errno == EIO) {
        return -1;
    }
    if (errno == EAGAIN || errno == EINTR) {
        return 0;
    }
    throwIoException(env, std::string("reading the serial device failed: ") + strerror(errno));
    return -1;
}

void JNICALL closePort(JNIEnv*, jclass, jint descriptor) {
    close(descriptor);
}

}  // namespace

bool registerSerialPort(JNIEnv* env, std::string& problem) {
    const JNINativeMethod natives[] = {
        {const_cast<char*>("supportsSpeed"), const_cast<char*>("(I)Z"),
         reinterpret_cast<void*>(supportsSpeed)},
        {const_cast<char*>("open"), const_cast<char*>("(Ljava/lang/String;I)I"),
         reinterpret_cast<void*>(openPort)},
        {const_cast<char*>("read"), const_cast<char*>("(I[BI)I"), reinterpret_cast<void*>(readPort)},
        {const_cast<char*>("close"), const_cast<char*>("(I)V"), reinterpret_cast<void*>(closePort)},
    };
    return registerNatives(env, "com.kestra.console.SerialPort", natives, std::size(natives), problem);
}

}  // namespace console

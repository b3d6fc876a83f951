#include "console/interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>

namespace console {
namespace {

// The watching thread outlives main's objects: it reaches them only through the handler
// installed here, under this lock.
std::mutex handlerLock;
std::function<void()> handler;

// Lives as long as the process: the signal handler may write into it at any moment.
WakePipe* signalled = nullptr;

void onSigint(int) {
    int saved = errno;
    signalled->notify();
    errno = saved;
}

sigset_t interruptSignal() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    return signals;
}

}  // namespace

void holdInterrupts() {
    sigset_t signals = interruptSignal();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

// The signal goes to the watching thread alone: everywhere else it stays blocked, so that it
// never interrupts a call of the VM or of a reader thread. The thread starts once the VM runs: a
// thread started before it keeps a 32-bit VM under a user-mode emulator from starting.
bool takeInterrupts() {
    signalled = new WakePipe;
    struct sigaction action {};
    action.sa_handler = onSigint;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigset_t signals = interruptSignal();
    try {
        if (sigaction(SIGINT, &action, nullptr) != 0) {
            throw std::system_error(errno, std::generic_category());
        }
        // Detached: it watches for the next Ctrl-C as long as the process lives.
        std::thread([signals] {
            pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
            pollfd ready{signalled->readEnd(), POLLIN, 0};
            while (true) {
                if (poll(&ready, 1, -1) > 0 && signalled->drain()) {
                    std::lock_guard<std::mutex> lock(handlerLock);
                    if (handler) {
                        handler();
                    }
                }
            }
        }).detach();
    } catch (const std::system_error&) {
        signal(SIGINT, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        return false;
    }
    return true;
}

InterruptHandler::InterruptHandler(std::function<void()> onInterrupt) {
    std::lock_guard<std::mutex> lock(handlerLock);
    handler = std::move(onInterrupt);
}

InterruptHandler::~InterruptHandler() {
    std::lock_guard<std::mutex> lock(handlerLock);
    handler = nullptr;
}

WakePipe::WakePipe() {
    if (pipe(m_fds) == 0) {
        for (int fd : m_fds) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
}

WakePipe::~WakePipe() {
    for (int fd : m_fds) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void WakePipe::notify() {
    char byte = 1;
    // A full pipe already holds a notice the reader has not taken.
    ssize_t written = write(m_fds[1], &byte, 1);
    static_cast<void>(written);
}

bool WakePipe::drain() {
    bool any = false;
    char bytes[64];
    while (read(m_fds[0], bytes, sizeof bytes) > 0) {
        any = true;
    }
    return any;
}

}  // namespace console

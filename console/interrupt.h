// Ctrl-C in the interactive console. The Java VM would end the process on SIGINT; started with
// -Xrs it leaves the signal alone, and the console takes it on a thread of its own: it cancels
// the half-typed line or the running wait, and at an empty prompt it leaves. And the pipe that
// wakes the line editor's poll, for an interrupt or for output from another thread.
#pragma once

#include <functional>

namespace console {

// Blocks SIGINT in the calling thread and in every thread it starts from now on (the VM's among
// them, which keep it blocked when the VM runs with -Xrs). Call it from main before the VM starts.
void holdInterrupts();

// Starts the one thread that takes SIGINT: the signal's handler writes a byte into a pipe that
// the thread watches, and the thread calls the InterruptHandler. Call it once the VM runs. False
// when it cannot start; SIGINT is then let through to end the process.
bool takeInterrupts();

// While one of these lives, each Ctrl-C calls its function (on the interrupt thread; it must
// not block). Its destructor waits for a call in progress, so the function may use what dies
// after it.
class InterruptHandler {
public:
    explicit InterruptHandler(std::function<void()> onInterrupt);
    ~InterruptHandler();
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;
};

// A descriptor that a polling thread watches to be woken from another thread (by an interrupt,
// by output waiting to be printed): notify() makes it readable, and drain() empties it.
class WakePipe {
public:
    WakePipe();
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }
    // Never blocks.
    void notify();
    // True when at least one notify came since the last drain.
    bool drain();

private:
    int m_fds[2] = {-1, -1};
};

}  // namespace console

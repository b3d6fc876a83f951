// The console's side of the host contract: host memory, the connection the component raises
// its events on, and the Android helper that finds the app's classes and hands out the
// activity; each the shared stand-in, with what the console does with events.
#pragma once

#include "host/host_api.h"
#include "hosting/host.h"

#include <jni.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace console {

// The host's memory, helper and connection are the shared stand-ins: the console frees each
// result in host memory once it has printed it, hands out one activity for its whole run, and
// prints each external event at once.
using hosting::AndroidHelper;
using hosting::HostMemory;

// Counts the external events, so that a script can wait for a number of them.
class EventCounter {
public:
    void add();
    // Waits until `count` events beyond those already taken have arrived, then takes them.
    // Returns how many had arrived when it gave up, was interrupted or succeeded.
    int take(int count, double seconds, bool& interrupted);
    // Ends the take that waits now, or the next one (Ctrl-C while a command runs); any thread.
    void interrupt();
    // Forgets an interrupt no take has used (one typed at the prompt, or during another command).
    void clearInterrupt();
    // All events so far, taken or not.
    long received();
    // Waits until `total` events have been received in all; false if the time ran out first.
    bool awaitReceived(long total, double seconds);

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    long m_received = 0;
    long m_taken = 0;
    bool m_interrupted = false;  // for the take waiting now or the next
};

class HostConnection : public hosting::HostConnection {
public:
    // Prints each event on whichever thread the barcode arrived, at once, and counts it.
    HostConnection(AndroidHelper& helper, EventCounter& events);

    // The last depth the component asked for.
    int32_t eventBufferDepth() const;
};

// The line the console prints for one external event.
std::string eventLine(const std::string& time, const std::string& source, const std::string& message,
                      const std::string& data);

}  // namespace console

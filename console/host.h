// The console's side of the host contract: host memory, the connection the component raises
// its events on, and the Android helper that finds the app's classes and hands out the
// activity.
#pragma once

#include "host/host_api.h"

#include <jni.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace console {

// Blocks handed to the component. The host owns what the component returns in them, so the
// console frees each result once it has printed it; whatever is left goes at exit.
class HostMemory : public IHostMemory {
public:
    ~HostMemory() override;
    bool AllocMemory(void** block, uint32_t size) override;
    // Frees a block this memory handed out; anything else is left alone.
    void release(const void* block);

private:
    std::mutex m_mutex;
    std::set<void*> m_blocks;
};

class AndroidHelper : public IAndroidHelper {
public:
    // activity: a global reference, kept for the console's lifetime.
    AndroidHelper(JavaVM* vm, jobject activity) : m_vm(vm), m_activity(activity) {}
    jobject GetActivity() override;
    jclass FindClass(const ShortWchar* className) override;

private:
    JNIEnv* env();
    JavaVM* m_vm;
    jobject m_activity;
};

// Counts the external events, so that a script can wait for a number of them.
class EventCounter {
public:
    void add();
    // Waits until `count` events beyond those already taken have arrived, then takes them.
    // Returns how many had arrived when it gave up or succeeded.
    int take(int count, double seconds);
    // All events so far, taken or not.
    long received();
    // Waits until `total` events have been received in all; false if the time ran out first.
    bool awaitReceived(long total, double seconds);

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    long m_received = 0;
    long m_taken = 0;
};

class HostConnection : public IAddInDefBaseEx {
public:
    HostConnection(AndroidHelper& helper, EventCounter& events) : m_helper(helper), m_events(events) {}
    bool SetEventBufferDepth(int32_t depth) override;
    // Called on whichever thread the barcode arrived; prints the event at once.
    bool ExternalEvent(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data) override;
    void* GetInterface(int32_t index) override;

    int32_t eventBufferDepth() const { return m_depth; }

private:
    AndroidHelper& m_helper;
    EventCounter& m_events;
    int32_t m_depth = 0;
};

// The line the console prints for one external event.
std::string eventLine(const std::string& time, const std::string& source, const std::string& message,
                      const std::string& data);

}  // namespace console

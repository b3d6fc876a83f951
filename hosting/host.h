// The host platform as every program here plays it for the library (tests, console, benchmarks,
// fuzz targets), written from the host contract: its Android helper, its connection and its
// memory manager. What the programs do differently (what an event does, which activity the
// helper hands out, whether memory refuses) are options, not copies.
#pragma once

#include "host/host_api.h"

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace hosting {

// The calling thread's environment in the VM that startVm started. A thread the VM does not know
// yet is attached as a daemon and detached again when it ends. Null before the VM runs.
JNIEnv* currentEnv();

// The host's Android helper: it finds classes of the VM's class path by the dotted name the host
// is given, and hands out an activity, on the calling thread's environment. It records what it
// was asked; safe on any thread.
class AndroidHelper : public IAndroidHelper {
public:
    enum class Lookup {
        ClassPath,  // the class of the name, or null with nothing pending
        Nothing,    // always null
        Throws,  // null, with the VM's NoClassDefFoundError left pending (a host that looks up through JNI)
    };
    struct Options {
        Lookup lookup = Lookup::ClassPath;
        // A slashed class name found whatever name is asked (an app whose class breaks the contract).
        const char* onlyClass = nullptr;
        // A global reference handed out as a new local reference each time; null: a new stand-in
        // activity titled activityTitle each time, or none when activityTitle is null.
        jobject activity = nullptr;
        const char* activityTitle = "activity";
    };

    explicit AndroidHelper(Options options);
    AndroidHelper() : AndroidHelper(Options()) {}
    jobject GetActivity() override;
    jclass FindClass(const ShortWchar* className) override;

    std::vector<std::u16string> classNamesAsked() const;
    int activityCount() const;

private:
    const Options m_options;
    mutable std::mutex m_mutex;
    std::vector<std::u16string> m_classNamesAsked;
    int m_activityCount = 0;
};

// The host's connection: it hands out its Android helper (or none), records the event-buffer
// depths and interface requests, and passes every external event to a handler, on the thread that
// raised it, with no lock held. The handler's answer is ExternalEvent's; without one, true.
class HostConnection : public IAddInDefBaseEx {
public:
    using EventHandler =
        std::function<bool(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data)>;

    explicit HostConnection(IAndroidHelper* helper, EventHandler onEvent = nullptr)
        : m_helper(helper), m_onEvent(std::move(onEvent)) {}

    // Records the depth; the answer is true unless told otherwise.
    bool SetEventBufferDepth(int32_t depth) override;
    void setEventBufferDepthResult(bool result);
    bool ExternalEvent(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data) override;
    void* GetInterface(int32_t index) override;

    // Every depth passed to SetEventBufferDepth, and every index passed to GetInterface, in order.
    std::vector<int32_t> eventBufferDepths() const;
    std::vector<int32_t> interfaceRequests() const;

private:
    IAndroidHelper* const m_helper;
    const EventHandler m_onEvent;
    mutable std::mutex m_mutex;
    std::vector<int32_t> m_depths;
    std::vector<int32_t> m_interfaceRequests;
    bool m_depthResult = true;
};

// The host's memory manager. Each block comes from malloc, filled with a pattern (a reader that
// trusts unwritten bytes sees garbage, not zeros), and stays until it is released, as a host
// frees a result once it has read it, or until the manager goes. It may grant only so many
// requests, or refuse all. Safe on any thread.
class HostMemory : public IHostMemory {
public:
    struct Block {
        void* address;
        uint32_t size;
    };

    // grants: how many requests are granted before every later one is refused; negative: all.
    explicit HostMemory(int grants = -1) : m_grantsLeft(grants) {}
    ~HostMemory() override;
    HostMemory(const HostMemory&) = delete;
    HostMemory& operator=(const HostMemory&) = delete;

    // A refused request returns false and leaves *block as it was.
    bool AllocMemory(void** block, uint32_t size) override;

    void setRefusing(bool refusing);
    // Frees a block this manager handed out; anything else is left alone.
    void release(const void* block);
    // Frees every block.
    void releaseAll();

    // The blocks not released, in the order they were handed out.
    std::vector<Block> blocks() const;
    size_t blockCount() const;
    // Whether address starts a block not released.
    bool owns(const void* address) const;
    // Whether text starts such a block, with room for length units and a zero unit right after them.
    bool holds(const ShortWchar* text, uint32_t length) const;
    // Requests so far, refused ones included.
    size_t requestCount() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Block> m_blocks;
    int m_grantsLeft;
    bool m_refusing = false;
    size_t m_requests = 0;
};

}  // namespace hosting

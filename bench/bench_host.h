// The host side of the benchmark: the shared host connection and Android helper (which finds the
// benchmark's classes), with events counted and measured, and host memory that costs next to
// nothing, so what is measured is the library and not the host.
#pragma once

#include "host/host_api.h"
#include "hosting/host.h"

#include <jni.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace bench {

// When each event reached the host, for events that arrive on other threads (the burst).
class EventTimes {
public:
    using Clock = std::chrono::steady_clock;
    void add(Clock::time_point when);
    // Waits until `count` times are in, at most `seconds`; false when they are not.
    bool waitFor(size_t count, double seconds);
    std::vector<Clock::time_point> take();

private:
    std::mutex m_mutex;
    std::condition_variable m_added;
    std::vector<Clock::time_point> m_times;
};

class BenchHost : public hosting::HostConnection {
public:
    BenchHost();

    // From now on each event's time goes to `times` too (null: no more).
    void recordTimes(EventTimes* times) { m_times.store(times, std::memory_order_release); }

    uint64_t eventCount() const { return m_events; }
    size_t lastDataLength() const { return m_lastDataLength; }
    const ShortWchar* lastData() const { return m_lastData; }

private:
    // Counts the event and measures its data, as a host that queues it would read it.
    bool count(const ShortWchar* data);

    // Constructed after the base, which only keeps its address.
    hosting::AndroidHelper m_helper;
    std::atomic<EventTimes*> m_times{nullptr};
    uint64_t m_events = 0;
    size_t m_lastDataLength = 0;
    const ShortWchar* m_lastData = nullptr;
};

// Host memory as a bump allocator over one block: the library never frees host memory, and the
// benchmark resets the block between calls, so allocating costs a few instructions. Not the
// shared host memory on purpose: that one's malloc, pattern and lock would be measured with the
// library.
class BenchMemory : public IHostMemory {
public:
    bool AllocMemory(void** block, uint32_t size) override;
    void reset() { m_used = 0; }

private:
    alignas(16) unsigned char m_arena[1 << 20];
    size_t m_used = 0;
};

// The pointer as a Java long, the way the peer gets its recorder's address.
inline jlong asJavaLong(const void* pointer) {
    return static_cast<jlong>(reinterpret_cast<intptr_t>(pointer));
}

}  // namespace bench

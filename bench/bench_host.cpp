#include "bench/bench_host.h"

namespace bench {

namespace {

hosting::AndroidHelper::Options benchHelper() {
    hosting::AndroidHelper::Options options;
    options.activityTitle = "bench activity";
    return options;
}

}  // namespace

BenchHost::BenchHost()
    : hosting::HostConnection(&m_helper, [this](const ShortWchar*, const ShortWchar*,
                                                const ShortWchar* data) { return count(data); }),
      m_helper(benchHelper()) {}

bool BenchHost::count(const ShortWchar* data) {
    size_t length = 0;
    while (data != nullptr && data[length] != 0) {
        ++length;
    }
    m_lastData = data;
    m_lastDataLength = length;
    ++m_events;
    if (EventTimes* times = m_times.load(std::memory_order_acquire)) {
        times->add(EventTimes::Clock::now());
    }
    return true;
}

void EventTimes::add(Clock::time_point when) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_times.push_back(when);
    }
    m_added.notify_all();
}

bool EventTimes::waitFor(size_t count, double seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_added.wait_for(lock, std::chrono::duration<double>(seconds),
                            [&] { return m_times.size() >= count; });
}

std::vector<EventTimes::Clock::time_point> EventTimes::take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Clock::time_point> taken;
    taken.swap(m_times);
    return taken;
}

bool BenchMemory::AllocMemory(void** block, uint32_t size) {
    size_t aligned = (static_cast<size_t>(size) + 15) & ~static_cast<size_t>(15);
    if (block == nullptr || aligned > sizeof m_arena - m_used) {
        return false;
    }
    *block = m_arena + m_used;
    m_used += aligned;
    return true;
}

}  // namespace bench

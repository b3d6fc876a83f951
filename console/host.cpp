#include "console/host.h"

#include "console/output.h"
#include "console/text.h"

#include <chrono>
#include <cstdlib>

namespace console {

void EventCounter::add() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_received;
    }
    m_arrived.notify_all();
}

int EventCounter::take(int count, double seconds, bool& interrupted) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    m_arrived.wait_until(lock, deadline, [&] { return m_received - m_taken >= count || m_interrupted; });
    long arrived = m_received - m_taken;
    bool enough = arrived >= count;
    interrupted = !enough && m_interrupted;
    m_interrupted = false;
    if (enough) {
        m_taken += count;
    }
    return static_cast<int>(enough ? count : arrived);
}

void EventCounter::interrupt() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = true;
    }
    m_arrived.notify_all();
}

void EventCounter::clearInterrupt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = false;
}

long EventCounter::received() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

bool EventCounter::awaitReceived(long total, double seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    return m_arrived.wait_until(lock, deadline, [&] { return m_received >= total; });
}

HostConnection::HostConnection(AndroidHelper& helper, EventCounter& events)
    : hosting::HostConnection(
          &helper, [&events](const ShortWchar* source, const ShortWchar* message, const ShortWchar* data) {
              output().asyncLine(
                  eventLine(timeOfDay(), utf8FromHost(source), utf8FromHost(message), utf8FromHost(data)));
              events.add();
              return true;
          }) {}

int32_t HostConnection::eventBufferDepth() const {
    std::vector<int32_t> depths = eventBufferDepths();
    return depths.empty() ? 0 : depths.back();
}

std::string eventLine(const std::string& time, const std::string& source, const std::string& message,
                      const std::string& data) {
    return "[" + time + "] event: source \"" + visible(source) + "\", message \"" + visible(message) +
           "\", data \"" + visible(data) + "\"";
}

}  // namespace console

#include "console/host.h"

#include "console/output.h"
#include "console/text.h"
#include "hosting/vm.h"

#include <chrono>
#include <cstdlib>

namespace console {

HostMemory::~HostMemory() {
    for (void* block : m_blocks) {
        free(block);
    }
}

bool HostMemory::AllocMemory(void** block, uint32_t size) {
    if (block == nullptr) {
        return false;
    }
    *block = malloc(size == 0 ? 1 : size);
    if (*block == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocks.insert(*block);
    return true;
}

void HostMemory::release(const void* block) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_blocks.find(const_cast<void*>(block));
    if (found != m_blocks.end()) {
        free(*found);
        m_blocks.erase(found);
    }
}

JNIEnv* AndroidHelper::env() {
    JNIEnv* env = nullptr;
    if (m_vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK) {
        return nullptr;
    }
    return env;
}

jobject AndroidHelper::GetActivity() {
    JNIEnv* current = env();
    return current == nullptr ? nullptr : current->NewLocalRef(m_activity);
}

jclass AndroidHelper::FindClass(const ShortWchar* className) {
    JNIEnv* current = env();
    if (current == nullptr || className == nullptr) {
        return nullptr;
    }
    return hosting::findClass(current, className);
}

void EventCounter::add() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_received;
    }
    m_arrived.notify_all();
}

int EventCounter::take(int count, double seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool enough = m_arrived.wait_until(lock, deadline, [&] { return m_received - m_taken >= count; });
    long arrived = m_received - m_taken;
    if (enough) {
        m_taken += count;
    }
    return static_cast<int>(enough ? count : arrived);
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

bool HostConnection::SetEventBufferDepth(int32_t depth) {
    m_depth = depth;
    return true;
}

std::string eventLine(const std::string& time, const std::string& source, const std::string& message,
                      const std::string& data) {
    return "[" + time + "] event: source \"" + visible(source) + "\", message \"" + visible(message) +
           "\", data \"" + visible(data) + "\"";
}

bool HostConnection::ExternalEvent(const ShortWchar* source, const ShortWchar* message,
                                   const ShortWchar* data) {
    output().asyncLine(
        eventLine(timeOfDay(), utf8FromHost(source), utf8FromHost(message), utf8FromHost(data)));
    m_events.add();
    return true;
}

void* HostConnection::GetInterface(int32_t index) {
    return index == kAndroidHelperInterface ? static_cast<IAndroidHelper*>(&m_helper) : nullptr;
}

}  // namespace console

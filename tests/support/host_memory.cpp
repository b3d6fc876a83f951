#include "tests/support/host_memory.h"

#include <algorithm>
#include <cstdlib>

namespace testsupport {

HostMemory::~HostMemory() {
    for (const Block& block : m_blocks) {
        free(block.address);
    }
}

bool HostMemory::AllocMemory(void** block, uint32_t size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requests;
    if (m_refusing || block == nullptr) {
        return false;
    }
    // Filled with a pattern, so a reader that trusts unwritten bytes sees garbage, not zeros.
    void* address = malloc(size == 0 ? 1 : size);
    if (address == nullptr) {
        return false;
    }
    std::fill_n(static_cast<unsigned char*>(address), size, 0xA5);
    m_blocks.push_back({address, size});
    *block = address;
    return true;
}

void HostMemory::setRefusing(bool refusing) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusing = refusing;
}

std::vector<HostMemory::Block> HostMemory::blocks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks;
}

size_t HostMemory::blockCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
}

bool HostMemory::owns(const void* address) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Block& block : m_blocks) {
        if (block.address == address) {
            return true;
        }
    }
    return false;
}

size_t HostMemory::requestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::u16string hostText(const ShortWchar* text) {
    return text ? std::u16string(text) : std::u16string();
}

}  // namespace testsupport

// The host's memory manager as tests play it: it records every block it hands out, frees them
// all when it is destroyed, and can be told to refuse.
#pragma once

#include "host/host_api.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class HostMemory : public IHostMemory {
public:
    struct Block {
        void* address;
        uint32_t size;
    };

    HostMemory() = default;
    ~HostMemory() override;
    HostMemory(const HostMemory&) = delete;
    HostMemory& operator=(const HostMemory&) = delete;

    // A refused allocation returns false and leaves *block as it was.
    bool AllocMemory(void** block, uint32_t size) override;

    void setRefusing(bool refusing);
    // Every block handed out so far, in order.
    std::vector<Block> blocks() const;
    size_t blockCount() const;
    // Whether address is the start of a block handed out here.
    bool owns(const void* address) const;
    // Number of allocations asked for, refused ones included.
    size_t requestCount() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Block> m_blocks;
    size_t m_requests = 0;
    bool m_refusing = false;
};

// The units of a host short string up to its terminator (empty for null).
std::u16string hostText(const ShortWchar* text);

}  // namespace testsupport

// Counts heap allocations made on the calling thread while counting is on. The benchmark
// program replaces malloc and operator new with counting versions that forward to the C
// library, so allocations inside the library, the C++ runtime and the VM's JNI functions are
// all seen. Other threads (the VM's compiler and collector) are not counted.
#pragma once

#include <cstdint>

namespace bench {

struct AllocationCounts {
    uint64_t blocks = 0;    // malloc, calloc and realloc calls, operator new included
    uint64_t newCalls = 0;  // of those, the ones made through operator new
    uint64_t bytes = 0;     // bytes requested
};

void startCountingAllocations();
AllocationCounts stopCountingAllocations();

// Whether the replacements are the ones in use: one malloc and one operator new are counted.
bool allocationCountingWorks();

}  // namespace bench

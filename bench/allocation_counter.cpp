#include "bench/allocation_counter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {

// Static TLS of the executable: reading it never allocates, so malloc can use it.
__thread bool t_counting = false;
__thread bench::AllocationCounts t_counts;

inline void countBlock(size_t size) {
    if (t_counting) {
        ++t_counts.blocks;
        t_counts.bytes += size;
    }
}

void* allocateForNew(size_t size) {
    if (t_counting) {
        ++t_counts.newCalls;
    }
    void* block = malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace

namespace bench {

void startCountingAllocations() {
    t_counts = AllocationCounts{};
    t_counting = true;
}

AllocationCounts stopCountingAllocations() {
    t_counting = false;
    return t_counts;
}

bool allocationCountingWorks() {
    void* (*volatile allocate)(size_t) = malloc;
    startCountingAllocations();
    void* block = allocate(16);
    int* volatile number = new int(1);
    AllocationCounts counts = stopCountingAllocations();
    delete number;
    free(block);
    return counts.blocks == 2 && counts.newCalls == 1 && counts.bytes == 16 + sizeof(int);
}

}  // namespace bench

extern "C" {

void* malloc(size_t size) {
    countBlock(size);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    countBlock(count * size);
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
    countBlock(size);
    return __libc_realloc(block, size);
}

void free(void* block) {
    __libc_free(block);
}

}  // extern "C"

void* operator new(size_t size) {
    return allocateForNew(size);
}
void* operator new[](size_t size) {
    return allocateForNew(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocateForNew(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocateForNew(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept {
    free(block);
}
void operator delete[](void* block) noexcept {
    free(block);
}
void operator delete(void* block, size_t) noexcept {
    free(block);
}
void operator delete[](void* block, size_t) noexcept {
    free(block);
}

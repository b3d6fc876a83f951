// The exports and the component when the allocator misbehaves. This test program replaces the
// global allocator, which the library uses as well, so that a test can place the new component
// at an address whose low 32 bits are zero (only possible on a 64-bit build) or make chosen
// allocations fail.
#include "component/mobile_barcode_scanner_native.h"
#include "module/exports.h"
#include "tests/component/hosted_component.h"
#include "tests/support/host_memory.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

// The replacement delete below frees what the replacement new took from malloc; the compiler
// cannot see that pairing and would warn.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

enum class Mode { Normal, PlaceComponentInRegion, FailComponent, FailHugeBlocks };

std::atomic<Mode> g_mode{Mode::Normal};
void* g_region = nullptr;  // a mapping that starts on a multiple of 2^32

// Far above anything the test harness allocates here (its log record list included).
constexpr size_t kHugeBlock = 32 * 1024;

void* mapLowZeroRegion() {
    if (sizeof(void*) < 8) {
        return nullptr;
    }
    for (uint64_t k = 1; k < 256; ++k) {
        void* wanted = reinterpret_cast<void*>(static_cast<uintptr_t>(k << 32));
        void* got = mmap(wanted, 1 << 16, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (got == wanted) {
            return got;
        }
        if (got != MAP_FAILED) {
            munmap(got, 1 << 16);
        }
    }
    return nullptr;
}

// Sets the allocator's mode for one scope.
class AllocatorMode {
public:
    explicit AllocatorMode(Mode mode) { g_mode = mode; }
    ~AllocatorMode() { g_mode = Mode::Normal; }
};

}  // namespace

void* operator new(std::size_t size) {
    bool componentSize = size == sizeof(MobileBarcodeScannerNative);
    switch (g_mode.load()) {
        case Mode::PlaceComponentInRegion:
            if (componentSize) {
                g_mode = Mode::Normal;
                return g_region;
            }
            break;
        case Mode::FailComponent:
            if (componentSize) {
                throw std::bad_alloc();
            }
            break;
        case Mode::FailHugeBlocks:
            if (size >= kHugeBlock) {
                throw std::bad_alloc();
            }
            break;
        case Mode::Normal:
            break;
    }
    if (void* block = malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    if (block != g_region) {
        free(block);
    }
}

void operator delete(void* block, std::size_t) noexcept {
    if (block != g_region) {
        free(block);
    }
}

TEST(ClassObjectResult, IsNonZeroWhenTheAddressHasZeroLowBits) {
    g_region = mapLowZeroRegion();
    if (g_region == nullptr) {
        GTEST_SKIP() << "needs a 64-bit address space with a free 4 GiB boundary";
    }
    IComponentBase* component = nullptr;
    int32_t result;
    {
        AllocatorMode mode(Mode::PlaceComponentInRegion);
        result = GetClassObject(u"MobileBarcodeScanner", &component);
    }
    ASSERT_EQ(g_region, static_cast<void*>(static_cast<MobileBarcodeScannerNative*>(component)));
    EXPECT_EQ(0u, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(component)));
    EXPECT_NE(0, result);
    EXPECT_EQ(10, component->GetNMethods());
    EXPECT_EQ(0, DestroyObject(&component));
}

TEST(AllocationFailure, CreationReportsFailureInsteadOfThrowing) {
    testsupport::LogWindow log;
    IComponentBase* component = nullptr;
    {
        AllocatorMode mode(Mode::FailComponent);
        EXPECT_EQ(0, GetClassObject(u"MobileBarcodeScanner", &component));
    }
    EXPECT_EQ(nullptr, component);
    EXPECT_EQ(0u, log.count("Constructor"));
}

TEST(AllocationFailure, LookupAndCallsReportFailureAndLeaveTheRecords) {
    testsupport::HostMemory memory;
    componenttest::HostedComponent component;
    component.initDone()->setMemManager(&memory);
    // Converting this name needs a block above the limit.
    const std::u16string hugeName(20000, u'B');
    const std::u16string value = u"AA:BB";
    tVariant result = componenttest::patternRecord();
    tVariant parameters[2] = {componenttest::stringRecord(hugeName), componenttest::stringRecord(value)};
    const tVariant name = parameters[0];
    {
        AllocatorMode mode(Mode::FailHugeBlocks);
        EXPECT_EQ(-1, component.extender()->FindMethod(hugeName.c_str()));
        EXPECT_FALSE(component.extender()->CallAsFunc(4, &result, parameters, 2));
    }
    EXPECT_TRUE(componenttest::sameBytes(componenttest::patternRecord(), result));
    EXPECT_TRUE(componenttest::sameBytes(name, parameters[0]));
    // With the allocator working again the same call goes through to the driver's answer.
    EXPECT_TRUE(component.extender()->CallAsFunc(4, &result, parameters, 2));
    EXPECT_TRUE(componenttest::isBoolean(result, false));
}

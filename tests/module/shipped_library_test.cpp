// The library as shipped, loaded by Java: the host finds the exports by name and drives one
// component from creation through a barcode to destruction.
#include "module/exports.h"
#include "tests/component/hosted_component.h"
#include "tests/support/host_connection.h"
#include "tests/support/host_memory.h"
#include "tests/support/log_capture.h"
#include "tests/support/peer_script.h"
#include "tests/support/vm_paths.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <vector>

namespace peer = testsupport::peer;
using componenttest::Call;
using componenttest::callByName;
using componenttest::isBoolean;
using componenttest::text;

namespace {

// The shipped library that Java already loaded, and its exports found by name.
class ShippedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        handle = dlopen(testsupport::kLibraryPath, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(nullptr, handle) << "the library is not loaded: " << dlerror();
        exports.getClassNames = reinterpret_cast<GetClassNamesFunction>(dlsym(handle, "GetClassNames"));
        exports.getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(handle, "GetClassObject"));
        exports.destroyObject = reinterpret_cast<DestroyObjectFunction>(dlsym(handle, "DestroyObject"));
        exports.setPlatformCapabilities =
            reinterpret_cast<SetPlatformCapabilitiesFunction>(dlsym(handle, "SetPlatformCapabilities"));
        ASSERT_NE(nullptr, exports.getClassNames);
        ASSERT_NE(nullptr, exports.getClassObject);
        ASSERT_NE(nullptr, exports.destroyObject);
        ASSERT_NE(nullptr, exports.setPlatformCapabilities);
    }
    void TearDown() override {
        if (handle != nullptr) {
            dlclose(handle);  // only drops the reference taken above
        }
    }

    void* handle = nullptr;
    componenttest::Exports exports{};
};

// A loadable segment of a loaded library, as its program header describes it.
struct LoadSegment {
    uint64_t address;  // relative to the library's load address
    uint64_t alignment;
};

// The loadable segments of the loaded library that holds `code`, or none.
std::vector<LoadSegment> loadSegmentsHolding(const void* code) {
    struct Search {
        uintptr_t address;
        std::vector<LoadSegment> segments;
    } search{reinterpret_cast<uintptr_t>(code), {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* search = static_cast<Search*>(data);
            std::vector<LoadSegment> segments;
            bool holds = false;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const auto& header = info->dlpi_phdr[i];
                if (header.p_type == PT_LOAD) {
                    segments.push_back({header.p_vaddr, header.p_align});
                    uintptr_t start = info->dlpi_addr + header.p_vaddr;
                    holds = holds || (search->address >= start && search->address - start < header.p_memsz);
                }
            }
            if (holds) {
                search->segments = segments;
            }
            return holds ? 1 : 0;
        },
        &search);
    return search.segments;
}

}  // namespace

// A device with 16 KB pages maps a library only when each loadable segment is aligned to at
// least a page of that size.
TEST_F(ShippedLibrary, EveryLoadableSegmentIsAlignedForSixteenKilobytePages) {
    constexpr uint64_t kPage = 16 * 1024;
    std::vector<LoadSegment> segments =
        loadSegmentsHolding(reinterpret_cast<const void*>(exports.getClassNames));
    ASSERT_FALSE(segments.empty()) << "no loaded library holds GetClassNames";
    for (const LoadSegment& segment : segments) {
        EXPECT_GE(segment.alignment, kPage) << "the segment at 0x" << std::hex << segment.address;
    }
}

TEST_F(ShippedLibrary, FromClassListToBarcodeToDestruction) {
    peer::reset();
    EXPECT_EQ(1, exports.setPlatformCapabilities(2));
    EXPECT_EQ(u"MobileBarcodeScanner", std::u16string(exports.getClassNames()));

    testsupport::HostMemory memory;
    testsupport::HostConnection connection;
    testsupport::LogWindow log;
    {
        componenttest::HostedComponent component(exports);
        ASSERT_TRUE(component.alive());
        EXPECT_TRUE(component.initDone()->setMemManager(&memory));
        EXPECT_TRUE(component.initDone()->Init(&connection));
        EXPECT_EQ((std::vector<int32_t>{10, 4096}), connection.eventBufferDepths());
        ASSERT_EQ(1, peer::instanceCount());

        ShortWchar* name = nullptr;
        EXPECT_TRUE(component.extender()->RegisterExtensionAs(&name));
        EXPECT_EQ(u"MobileBarcodeScanner", testsupport::shortText(name));

        Call version = callByName(component.extender(), u"ПолучитьНомерВерсии");
        EXPECT_TRUE(version.succeeded);
        EXPECT_EQ(u"1.0.2.1", text(version.result));

        const std::u16string setting = u"BluetoothDevice";
        const std::u16string address = u"00:11:22:33:44:55";
        callByName(component.extender(), u"SetParameter",
                   {componenttest::stringRecord(setting), componenttest::stringRecord(address)});
        Call open = callByName(component.extender(), u"Open");
        EXPECT_TRUE(isBoolean(open.result, true));
        EXPECT_EQ(u"MobileScannerDevice", text(open.parameters[0]));
        EXPECT_EQ(std::optional<std::u16string>(address), peer::argument("OpenDevice"));

        peer::sendFromNewThread(0, u"2900000000017");
        ASSERT_TRUE(connection.waitForEvents(1));
        EXPECT_EQ(0, component.destroy());
    }
    peer::send(0, u"late");
    std::vector<testsupport::RecordedEvent> events = connection.events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(u"MobileScannerDevice", events[0].source);
    EXPECT_EQ(u"Штрихкод", events[0].message);
    EXPECT_EQ(u"2900000000017", events[0].data);
    EXPECT_EQ(1u, log.count("Destructor"));
    EXPECT_EQ(1u, log.count("on destroy"));
    peer::reset();
}

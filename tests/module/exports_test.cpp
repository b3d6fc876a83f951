#include "module/exports.h"
#include "tests/component/hosted_component.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

using componenttest::HostedComponent;
using testsupport::LogWindow;
using Lines = std::vector<std::string>;

TEST(ClassNames, ListTheOneClassInOneBufferKeptAcrossCalls) {
    LogWindow log;
    const ShortWchar* first = GetClassNames();
    const ShortWchar* second = GetClassNames();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(u"MobileBarcodeScanner", std::u16string(first));
    EXPECT_EQ((Lines{"GetClassNames", "GetClassNames"}), log.messages());
}

TEST(ClassObject, TheExactNameCreatesAComponentThatDestroysOnce) {
    LogWindow log;
    IComponentBase* component = nullptr;
    int32_t created = GetClassObject(u"MobileBarcodeScanner", &component);
    ASSERT_NE(nullptr, component);
    EXPECT_NE(0, created);
    if (sizeof(void*) == 4) {
        // A 32-bit host gets the object's address.
        EXPECT_EQ(static_cast<int32_t>(reinterpret_cast<uintptr_t>(component)), created);
    }
    EXPECT_EQ(2000, component->GetInfo());
    EXPECT_EQ((Lines{"GetClassObject", "Constructor"}), log.messages());

    log.reset();
    IComponentBase** address = &component;
    EXPECT_EQ(0, DestroyObject(address));
    EXPECT_EQ(nullptr, component);
    EXPECT_EQ(-1, DestroyObject(address));
    EXPECT_EQ(-1, DestroyObject(nullptr));
    EXPECT_EQ((Lines{"DestroyObject", "Destructor", "DestroyObject", "DestroyObject"}), log.messages());
}

TEST(ClassObject, AnyOtherNameCreatesNothingAndLeavesNull) {
    const std::u16string wrongNames[] = {u"mobilebarcodescanner",  u"MOBILEBARCODESCANNER",
                                         u"MobileBarcodeScanne",   u"MobileBarcodeScannerX",
                                         u"MobileBarcodeScanner ", u""};
    for (const std::u16string& name : wrongNames) {
        LogWindow log;
        IComponentBase* component = nullptr;
        EXPECT_EQ(0, GetClassObject(name.c_str(), &component));
        EXPECT_EQ(nullptr, component);
        EXPECT_EQ(0u, log.count("Constructor"));
    }
    IComponentBase* component = nullptr;
    EXPECT_EQ(0, GetClassObject(nullptr, &component));
    EXPECT_EQ(nullptr, component);
    EXPECT_EQ(0, GetClassObject(u"MobileBarcodeScanner", nullptr));
}

TEST(ClassObject, AnOccupiedPointerIsRefusedAndKept) {
    HostedComponent hosted;
    IComponentBase* occupied = static_cast<IComponentBase*>(hosted.initDone());
    IComponentBase* slot = occupied;
    LogWindow log;
    EXPECT_EQ(0, GetClassObject(u"MobileBarcodeScanner", &slot));
    EXPECT_EQ(occupied, slot);
    EXPECT_EQ((Lines{"GetClassObject"}), log.messages());
}

TEST(ClassObject, ComponentsAreIndependent) {
    HostedComponent first;
    HostedComponent second;
    EXPECT_NE(first.initDone(), second.initDone());
    EXPECT_EQ(0, first.destroy());
    EXPECT_EQ(10, second.extender()->GetNMethods());
}

TEST(PlatformCapabilities, AlwaysAcceptedWhateverTheHostAnnounces) {
    LogWindow log;
    EXPECT_EQ(1, SetPlatformCapabilities(0));
    EXPECT_EQ(1, SetPlatformCapabilities(2));
    EXPECT_EQ(1, SetPlatformCapabilities(-1));
    EXPECT_EQ(3u, log.count("SetPlatformCapabilities"));
}

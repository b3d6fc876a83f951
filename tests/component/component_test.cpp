// The component's lifecycle and services as the host sees them through the interface tables.
#include "tests/component/hosted_component.h"
#include "tests/support/host_memory.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

using componenttest::HostedComponent;
using testsupport::HostMemory;
using testsupport::LogWindow;
using Lines = std::vector<std::string>;

TEST(ComponentLifecycle, MemoryManagerIsAcceptedOnlyWhenPresent) {
    HostedComponent component;
    HostMemory memory;
    EXPECT_FALSE(component.initDone()->setMemManager(nullptr));
    EXPECT_TRUE(component.initDone()->setMemManager(&memory));
    EXPECT_EQ(2000, component.initDone()->GetInfo());
    // Done releases nothing: the component goes on working until it is destroyed.
    component.initDone()->Done();
    ShortWchar* name = nullptr;
    EXPECT_TRUE(component.extender()->RegisterExtensionAs(&name));
    EXPECT_EQ(0, component.destroy());
}

TEST(ComponentLifecycle, InitWithoutConnectionFailsSilently) {
    HostedComponent component;
    LogWindow log;
    EXPECT_FALSE(component.initDone()->Init(nullptr));
    EXPECT_TRUE(log.messages().empty());
    // Without a peer the device reports failure, but the call itself works.
    componenttest::Call open = componenttest::callByName(component.extender(), u"Open");
    EXPECT_TRUE(open.succeeded);
    EXPECT_TRUE(componenttest::isBoolean(open.result, false));
}

TEST(ComponentLifecycle, DestructionTracesOnceAndLeavesNoLineForAnUnconnectedScanner) {
    HostedComponent component;
    LogWindow log;
    EXPECT_EQ(0, component.destroy());
    EXPECT_EQ((Lines{"DestroyObject", "Destructor"}), log.messages());
}

TEST(ExtensionName, IsCopiedIntoHostMemory) {
    HostedComponent component;
    HostMemory memory;
    component.initDone()->setMemManager(&memory);
    ShortWchar* name = nullptr;
    EXPECT_TRUE(component.extender()->RegisterExtensionAs(&name));
    ASSERT_TRUE(memory.owns(name));
    EXPECT_EQ(u"MobileBarcodeScanner", testsupport::shortText(name));
    ASSERT_EQ(1u, memory.blockCount());
    EXPECT_EQ(42u, memory.blocks()[0].size);  // 20 units and the terminator
}

TEST(ExtensionName, IsNullWithoutHostMemoryOrWhenTheHostRefuses) {
    HostedComponent component;
    ShortWchar* sentinel = reinterpret_cast<ShortWchar*>(0x10);
    ShortWchar* name = sentinel;
    EXPECT_FALSE(component.extender()->RegisterExtensionAs(&name));
    EXPECT_EQ(nullptr, name);

    HostMemory memory;
    memory.setRefusing(true);
    component.initDone()->setMemManager(&memory);
    name = sentinel;
    EXPECT_FALSE(component.extender()->RegisterExtensionAs(&name));
    EXPECT_EQ(nullptr, name);
    EXPECT_EQ(1u, memory.requestCount());
    EXPECT_FALSE(component.extender()->RegisterExtensionAs(nullptr));
}

TEST(Properties, ThereAreNoneAndNothingIsTouched) {
    HostedComponent component;
    HostMemory memory;
    component.initDone()->setMemManager(&memory);
    ILanguageExtenderBase* extender = component.extender();
    EXPECT_EQ(0, extender->GetNProps());
    EXPECT_EQ(-1, extender->FindProp(u"BluetoothDevice"));
    EXPECT_EQ(-1, extender->FindProp(u""));
    EXPECT_EQ(nullptr, extender->GetPropName(0, 0));
    EXPECT_EQ(nullptr, extender->GetPropName(0, 1));
    tVariant record = componenttest::patternRecord();
    const tVariant untouched = record;
    EXPECT_FALSE(extender->GetPropVal(0, &record));
    EXPECT_FALSE(extender->SetPropVal(0, &record));
    EXPECT_TRUE(componenttest::sameBytes(untouched, record));
    EXPECT_FALSE(extender->IsPropReadable(0));
    EXPECT_FALSE(extender->IsPropWritable(0));
    EXPECT_EQ(0u, memory.requestCount());
}

TEST(Locale, AnyLocaleKeepsTheRussianTexts) {
    HostedComponent component;
    HostMemory memory;
    component.initDone()->setMemManager(&memory);
    component.locale()->SetLocale(u"en_US");
    component.locale()->SetLocale(u"");
    component.locale()->SetLocale(nullptr);
    componenttest::Call description = componenttest::callByName(component.extender(), u"GetDescription");
    EXPECT_EQ(u"Kestra: Сканер штрихкодов мобильный", componenttest::text(description.parameters[0]));
    componenttest::Call settings = componenttest::callByName(component.extender(), u"GetParameters");
    EXPECT_NE(std::u16string::npos,
              componenttest::text(settings.parameters[0]).find(u"Caption=\"Параметры\""));
}

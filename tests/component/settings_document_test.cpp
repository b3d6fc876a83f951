// The settings document of GetParameters, as the host receives it.
#include "component/mobile_barcode_scanner_native.h"
#include "tests/component/hosted_component.h"
#include "tests/support/host_memory.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

using componenttest::Call;
using componenttest::callByName;
using componenttest::HostedComponent;
using componenttest::isBoolean;
using componenttest::text;
using testsupport::HostMemory;
using testsupport::LogWindow;
using Lines = std::vector<std::string>;

namespace {

const std::u16string kRussianDocument =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\"Параметры\"><Group "
    u"Caption=\"Параметры "
    u"подключения\"><Parameter Name=\"BluetoothDevice\" Caption=\"Bluetooth устройство\" "
    u"TypeValue=\"String\" "
    u"DefaultValue=\"\"><ChoiceList></ChoiceList></Parameter></Group></Page></Settings>";

const std::u16string kEnglishDocument =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\"Parameters\"><Group "
    u"Caption=\"Connection "
    u"parameters\"><Parameter Name=\"BluetoothDevice\" Caption=\"Bluetooth device\" TypeValue=\"String\" "
    u"DefaultValue=\"\"><ChoiceList></ChoiceList></Parameter></Group></Page></Settings>";

}  // namespace

TEST(SettingsDocument, RussianCaptionsAndAnEmptyListBeforeInit) {
    HostMemory memory;
    HostedComponent component;
    component.initDone()->setMemManager(&memory);
    LogWindow log;
    Call call = callByName(component.extender(), u"GetParameters");
    EXPECT_TRUE(call.succeeded);
    EXPECT_TRUE(isBoolean(call.result, true));
    const tVariant& settings = call.parameters[0];
    EXPECT_EQ(VariantShortString, settings.typeCode);
    EXPECT_EQ(277u, settings.string.length);
    EXPECT_EQ(kRussianDocument, text(settings));
    EXPECT_TRUE(memory.owns(settings.string.text));
    EXPECT_EQ(kRussianDocument, testsupport::shortText(settings.string.text));  // terminated where it ends
    EXPECT_EQ((Lines{"CallAsFunc", "MethGetParameters", ""}), log.messages());
}

TEST(SettingsDocument, EnglishCaptionsWhenTheLanguageFlagIsCleared) {
    HostMemory memory;
    HostedComponent component(new MobileBarcodeScannerNative(L"MobileBarcodeScanner", L"Штрихкод", false),
                              componenttest::linkedExports());
    component.initDone()->setMemManager(&memory);
    Call call = callByName(component.extender(), u"ПолучитьПараметры");
    EXPECT_TRUE(call.succeeded);
    EXPECT_EQ(274u, call.parameters[0].string.length);
    EXPECT_EQ(kEnglishDocument, text(call.parameters[0]));
}

TEST(SettingsDocument, WithoutHostMemoryTheLengthStillCounts) {
    HostedComponent component;
    Call call = callByName(component.extender(), u"GetParameters");
    EXPECT_TRUE(call.succeeded);
    EXPECT_TRUE(isBoolean(call.result, true));
    EXPECT_EQ(VariantShortString, call.parameters[0].typeCode);
    EXPECT_EQ(nullptr, call.parameters[0].string.text);
    EXPECT_EQ(277u, call.parameters[0].string.length);
}

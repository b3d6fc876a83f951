// The driver method set as the host uses it: lookup by name, counts, and every method called
// through CallAsFunc, here without a Java peer (before Init).
#include "component/mobile_barcode_scanner_native.h"
#include "tests/component/hosted_component.h"
#include "tests/support/host_memory.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

using componenttest::Call;
using componenttest::callByName;
using componenttest::HostedComponent;
using componenttest::isBoolean;
using componenttest::patternRecord;
using componenttest::sameBytes;
using componenttest::text;
using testsupport::HostMemory;
using testsupport::LogWindow;
using Lines = std::vector<std::string>;

namespace {

struct MethodRow {
    std::u16string english;
    std::u16string russian;
    int32_t parameters;
};

const MethodRow kMethods[] = {
    {u"GetVersion", u"ПолучитьНомерВерсии", 0},
    {u"GetDescription", u"ПолучитьОписание", 7},
    {u"GetLastError", u"ПолучитьОшибку", 1},
    {u"GetParameters", u"ПолучитьПараметры", 1},
    {u"SetParameter", u"УстановитьПараметр", 2},
    {u"Open", u"Подключить", 1},
    {u"Close", u"Отключить", 1},
    {u"DeviceTest", u"ТестУстройства", 2},
    {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1},
    {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1},
};

// A component with host memory.
class DriverMethods : public ::testing::Test {
protected:
    void SetUp() override { component.initDone()->setMemManager(&memory); }
    ILanguageExtenderBase* extender() { return component.extender(); }

    HostMemory memory;  // outlives the component, as the host's does
    HostedComponent component;
};

// A string record as the component writes it: in a host block, with its length.
void expectHostString(const HostMemory& memory, const std::u16string& expected, const tVariant& record) {
    EXPECT_EQ(VariantShortString, record.typeCode);
    EXPECT_TRUE(memory.owns(record.string.text));
    EXPECT_EQ(expected.size(), record.string.length);
    EXPECT_EQ(expected, testsupport::shortText(record.string.text));
}

}  // namespace

TEST_F(DriverMethods, EveryNameFindsItsNumberEnglishOrRussian) {
    EXPECT_EQ(10, extender()->GetNMethods());
    for (int32_t number = 0; number < 10; ++number) {
        EXPECT_EQ(number, extender()->FindMethod(kMethods[number].english.c_str()));
        EXPECT_EQ(number, extender()->FindMethod(kMethods[number].russian.c_str()));
    }
}

TEST_F(DriverMethods, NamesMatchOnlyExactlyAndAsAWhole) {
    const std::u16string misses[] = {
        u"getversion",          u"GETVERSION", u"GetVersion ", u" GetVersion", u"GetVersio",
        u"получитьномерверсии", u"",           u"Version"};
    for (const std::u16string& name : misses) {
        EXPECT_EQ(-1, extender()->FindMethod(name.c_str())) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(-1, extender()->FindMethod(nullptr));
}

TEST_F(DriverMethods, NamesAndParameterCountsByNumber) {
    for (int32_t number = 0; number < 10; ++number) {
        EXPECT_EQ(kMethods[number].english, testsupport::shortText(extender()->GetMethodName(number, 0)));
        EXPECT_EQ(kMethods[number].russian, testsupport::shortText(extender()->GetMethodName(number, 1)));
        EXPECT_EQ(kMethods[number].parameters, extender()->GetNParams(number));
    }
    const ShortWchar* name = extender()->GetMethodName(4, 0);
    EXPECT_TRUE(memory.owns(name));
    EXPECT_EQ(nullptr, extender()->GetMethodName(4, 2));
    EXPECT_EQ(nullptr, extender()->GetMethodName(4, -1));
    EXPECT_EQ(nullptr, extender()->GetMethodName(10, 0));
    EXPECT_EQ(nullptr, extender()->GetMethodName(-1, 1));
    EXPECT_EQ(0, extender()->GetNParams(10));
    EXPECT_EQ(0, extender()->GetNParams(-1));
}

TEST_F(DriverMethods, MethodNamesAreNullWithoutHostMemory) {
    memory.setRefusing(true);
    EXPECT_EQ(nullptr, extender()->GetMethodName(0, 0));
    HostedComponent bare;
    EXPECT_EQ(nullptr, bare.extender()->GetMethodName(0, 1));
}

TEST_F(DriverMethods, EveryMethodHasAReturnValueNoDefaultsAndNoProcedureForm) {
    for (int32_t number : {-1, 0, 4, 9, 10}) {
        EXPECT_TRUE(extender()->HasRetVal(number));
        tVariant value = patternRecord();
        EXPECT_FALSE(extender()->GetParamDefValue(number, 0, &value));
        EXPECT_EQ(VariantEmpty, value.typeCode);
        tVariant parameters[2] = {patternRecord(), patternRecord()};
        EXPECT_FALSE(extender()->CallAsProc(number, parameters, 2));
        EXPECT_TRUE(sameBytes(patternRecord(), parameters[0]));
        EXPECT_TRUE(sameBytes(patternRecord(), parameters[1]));
    }
    EXPECT_FALSE(extender()->GetParamDefValue(0, 0, nullptr));
}

TEST_F(DriverMethods, UnknownNumbersAreRefusedAfterTheTraceLine) {
    for (int32_t number : {10, -1, 1000}) {
        LogWindow log;
        tVariant result = patternRecord();
        tVariant parameters[7];
        for (tVariant& parameter : parameters) {
            parameter = patternRecord();
        }
        EXPECT_FALSE(extender()->CallAsFunc(number, &result, parameters, 7));
        EXPECT_TRUE(sameBytes(patternRecord(), result));
        EXPECT_TRUE(sameBytes(patternRecord(), parameters[0]));
        EXPECT_EQ((Lines{"CallAsFunc"}), log.messages());
    }
    EXPECT_EQ(0u, memory.requestCount());
}

TEST_F(DriverMethods, ShortParameterArraysAreRefusedWithoutTouchingAnything) {
    for (int32_t number = 1; number < 10; ++number) {
        int32_t needed = extender()->GetNParams(number);
        std::vector<tVariant> parameters(static_cast<size_t>(needed), patternRecord());
        tVariant result = patternRecord();
        EXPECT_FALSE(extender()->CallAsFunc(number, &result, parameters.data(), needed - 1)) << number;
        EXPECT_FALSE(extender()->CallAsFunc(number, &result, nullptr, needed)) << number;
        EXPECT_TRUE(sameBytes(patternRecord(), result));
        for (const tVariant& parameter : parameters) {
            EXPECT_TRUE(sameBytes(patternRecord(), parameter));
        }
    }
    tVariant parameters[7];
    EXPECT_FALSE(extender()->CallAsFunc(0, nullptr, parameters, 7));
    EXPECT_EQ(0u, memory.requestCount());
}

TEST_F(DriverMethods, GetVersionNeedsNoParametersAndReportsHostMemory) {
    LogWindow log;
    tVariant result = patternRecord();
    EXPECT_TRUE(extender()->CallAsFunc(0, &result, nullptr, 0));
    expectHostString(memory, u"1.0.2.1", result);
    EXPECT_EQ((Lines{"CallAsFunc"}), log.messages());

    memory.setRefusing(true);
    Call refused = callByName(extender(), u"ПолучитьНомерВерсии");
    EXPECT_FALSE(refused.succeeded);
    EXPECT_EQ(VariantShortString, refused.result.typeCode);
    EXPECT_EQ(nullptr, refused.result.string.text);

    HostedComponent bare;
    Call noMemory = callByName(bare.extender(), u"GetVersion");
    EXPECT_FALSE(noMemory.succeeded);
    EXPECT_EQ(nullptr, noMemory.result.string.text);
    EXPECT_EQ(7u, noMemory.result.string.length);
}

TEST_F(DriverMethods, GetDescriptionFillsAllSevenPositions) {
    LogWindow log;
    Call call = callByName(extender(), u"GetDescription");
    EXPECT_TRUE(call.succeeded);
    EXPECT_EQ((Lines{"CallAsFunc", "CallAsFunc"}), log.messages());
    EXPECT_TRUE(isBoolean(call.result, true));
    expectHostString(memory, u"Kestra: Сканер штрихкодов мобильный", call.parameters[0]);
    expectHostString(memory, u"Мобильный драйвер для подключения сканера штрихкодов", call.parameters[1]);
    expectHostString(memory, u"МобильныйСканерШтрихкода", call.parameters[2]);
    EXPECT_EQ(VariantInt32, call.parameters[3].typeCode);
    EXPECT_EQ(1001, call.parameters[3].intValue);
    EXPECT_TRUE(isBoolean(call.parameters[4], false));
    EXPECT_TRUE(isBoolean(call.parameters[5], true));
    std::u16string url = text(call.parameters[6]);
    EXPECT_EQ(0u, url.find(u"https://kestra.example/")) << std::string(url.begin(), url.end());
    EXPECT_TRUE(memory.owns(call.parameters[6].string.text));
}

TEST_F(DriverMethods, NumbersAndBooleansWriteOnlyTheirOwnBytes) {
    Call call = callByName(extender(), u"GetDescription");
    tVariant expected = patternRecord();
    expected.typeCode = VariantInt32;
    expected.intValue = 1001;
    EXPECT_TRUE(sameBytes(expected, call.parameters[3]));
    expected = patternRecord();
    expected.typeCode = VariantBool;
    expected.boolValue = 0;
    EXPECT_TRUE(sameBytes(expected, call.parameters[4]));
    expected.boolValue = 1;
    EXPECT_TRUE(sameBytes(expected, call.parameters[5]));
    EXPECT_TRUE(sameBytes(expected, call.result));
}

TEST_F(DriverMethods, GetDescriptionWithoutHostMemoryStillSucceeds) {
    HostedComponent bare;
    Call call = callByName(bare.extender(), u"GetDescription");
    EXPECT_TRUE(call.succeeded);
    EXPECT_TRUE(isBoolean(call.result, true));
    for (int position : {0, 1, 2, 6}) {
        EXPECT_EQ(VariantShortString, call.parameters[position].typeCode);
        EXPECT_EQ(nullptr, call.parameters[position].string.text);
    }
    EXPECT_EQ(24u, call.parameters[2].string.length);
    EXPECT_EQ(1001, call.parameters[3].intValue);
}

TEST(DriverMethodsInEnglish, GetDescriptionUsesTheEnglishTexts) {
    HostMemory memory;
    HostedComponent component(new MobileBarcodeScannerNative(L"MobileBarcodeScanner", L"Штрихкод", false),
                              componenttest::linkedExports());
    component.initDone()->setMemManager(&memory);
    Call call = callByName(component.extender(), u"GetDescription");
    EXPECT_EQ(u"Kestra: Barcode scanner mobile", text(call.parameters[0]));
    EXPECT_EQ(u"Mobile barcode scanner driver", text(call.parameters[1]));
    EXPECT_EQ(u"МобильныйСканерШтрихкода", text(call.parameters[2]));
}

TEST_F(DriverMethods, GetLastErrorWithoutPeerGivesTheFixedTextAndAlwaysOne) {
    LogWindow log;
    Call call = callByName(extender(), u"GetLastError");
    EXPECT_TRUE(call.succeeded);
    EXPECT_EQ(VariantInt32, call.result.typeCode);
    EXPECT_EQ(1, call.result.intValue);
    expectHostString(memory, u"Неизвестная ошибка компоненты", call.parameters[0]);
    EXPECT_EQ((Lines{"CallAsFunc", "MethGetLastError"}), log.messages());
}

TEST_F(DriverMethods, SetParameterAcceptsOnlyTheDeviceSettingAsText) {
    const std::u16string name = u"BluetoothDevice";
    const std::u16string address = u"00:11:22:33:44:55";
    LogWindow log;
    Call accepted = callByName(extender(), u"SetParameter",
                               {componenttest::stringRecord(name), componenttest::stringRecord(address)});
    EXPECT_TRUE(accepted.succeeded);
    EXPECT_TRUE(isBoolean(accepted.result, true));
    EXPECT_EQ((Lines{"CallAsFunc", "MethSetParameter", "BluetoothDevice", "00:11:22:33:44:55",
                     "Set BluetoothDevice"}),
              log.messages());

    const std::u16string empty;
    Call emptyValue = callByName(extender(), u"УстановитьПараметр",
                                 {componenttest::stringRecord(name), componenttest::stringRecord(empty)});
    EXPECT_TRUE(emptyValue.succeeded);
    EXPECT_TRUE(isBoolean(emptyValue.result, true));
}

TEST_F(DriverMethods, SetParameterRefusesOtherNamesAndNonTextRecords) {
    const std::u16string name = u"BluetoothDevice";
    const std::u16string lower = u"bluetoothdevice";
    const std::u16string trailingSpace = name + u" ";  // the records point into these texts
    const std::u16string value = u"AA:BB";
    tVariant nullText = componenttest::stringRecord(value);
    nullText.string.text = nullptr;
    tVariant numberName = componenttest::integerRecord(0x1234);
    const std::vector<std::vector<tVariant>> refused = {
        {componenttest::stringRecord(lower), componenttest::stringRecord(value)},
        {componenttest::stringRecord(trailingSpace), componenttest::stringRecord(value)},
        {numberName, componenttest::stringRecord(value)},
        {nullText, componenttest::stringRecord(value)},
        {componenttest::stringRecord(name), componenttest::integerRecord(7)},
        {componenttest::stringRecord(name), nullText},
        {componenttest::stringRecord(name), patternRecord()},
    };
    for (const std::vector<tVariant>& parameters : refused) {
        LogWindow log;
        Call call = callByName(extender(), u"SetParameter", parameters);
        EXPECT_TRUE(call.succeeded);
        EXPECT_TRUE(isBoolean(call.result, false));
        EXPECT_EQ(0u, log.count("Set BluetoothDevice"));
        EXPECT_TRUE(sameBytes(parameters[1], call.parameters[1]));
    }
}

TEST_F(DriverMethods, SetParameterLogsOutsideTextLiterally) {
    const std::u16string name = u"BluetoothDevice";
    const std::u16string value = u"%s%n%d Устройство";
    LogWindow log;
    callByName(extender(), u"SetParameter",
               {componenttest::stringRecord(name), componenttest::stringRecord(value)});
    EXPECT_EQ(1u, log.count("%s%n%d Устройство"));
    const std::u16string oddName = u"%n%s";
    log.reset();
    callByName(extender(), u"SetParameter",
               {componenttest::stringRecord(oddName), componenttest::stringRecord(value)});
    EXPECT_EQ((Lines{"CallAsFunc", "MethSetParameter", "%n%s"}), log.messages());
}

TEST_F(DriverMethods, DeviceMethodsWithoutPeerReportFailureInTheirAnswer) {
    LogWindow log;
    Call open = callByName(extender(), u"Open");
    EXPECT_TRUE(open.succeeded);
    EXPECT_TRUE(isBoolean(open.result, false));
    EXPECT_TRUE(sameBytes(patternRecord(), open.parameters[0]));

    Call close = callByName(extender(), u"Отключить");
    EXPECT_TRUE(close.succeeded);
    EXPECT_TRUE(isBoolean(close.result, false));
    EXPECT_TRUE(sameBytes(patternRecord(), close.parameters[0]));

    Call test = callByName(extender(), u"DeviceTest");
    EXPECT_TRUE(test.succeeded);
    EXPECT_TRUE(isBoolean(test.result, false));
    expectHostString(memory, u"", test.parameters[0]);
    expectHostString(memory, u"", test.parameters[1]);
    EXPECT_NE(test.parameters[0].string.text, test.parameters[1].string.text);
    EXPECT_EQ(
        (Lines{"CallAsFunc", "MethOpen fail", "CallAsFunc", "MethClose", "CallAsFunc", "MethDeviceTest"}),
        log.messages());
}

TEST_F(DriverMethods, AdditionalActionsAreNoneAndNoneCanBeRun) {
    LogWindow log;
    Call actions = callByName(extender(), u"GetAdditionalActions");
    EXPECT_TRUE(actions.succeeded);
    EXPECT_TRUE(isBoolean(actions.result, true));
    expectHostString(memory, u"", actions.parameters[0]);

    Call run = callByName(extender(), u"ВыполнитьДополнительноеДействие");
    EXPECT_FALSE(run.succeeded);
    EXPECT_TRUE(sameBytes(patternRecord(), run.result));
    EXPECT_TRUE(sameBytes(patternRecord(), run.parameters[0]));
    EXPECT_EQ((Lines{"CallAsFunc", "CallAsFunc"}), log.messages());
}

TEST_F(DriverMethods, OutParametersAreNullStringsWithoutHostMemory) {
    memory.setRefusing(true);
    Call test = callByName(extender(), u"DeviceTest");
    EXPECT_TRUE(test.succeeded);
    EXPECT_EQ(VariantShortString, test.parameters[0].typeCode);
    EXPECT_EQ(nullptr, test.parameters[0].string.text);
    EXPECT_EQ(0u, test.parameters[0].string.length);
    Call error = callByName(extender(), u"GetLastError");
    EXPECT_TRUE(error.succeeded);
    EXPECT_EQ(nullptr, error.parameters[0].string.text);
    EXPECT_EQ(29u, error.parameters[0].string.length);
}

TEST_F(DriverMethods, NamesLongerThanEveryMethodNameFindNothing) {
    // The longest name of the table, then the same with one unit more and far longer.
    EXPECT_EQ(9, extender()->FindMethod(u"ВыполнитьДополнительноеДействие"));
    EXPECT_EQ(-1, extender()->FindMethod(u"ВыполнитьДополнительноеДействиеX"));
    EXPECT_EQ(8, extender()->FindMethod(u"GetAdditionalActions"));
    EXPECT_EQ(-1, extender()->FindMethod(u"GetAdditionalActions0123456789AB"));
    EXPECT_EQ(-1, extender()->FindMethod(std::u16string(5000, u'G').c_str()));
}

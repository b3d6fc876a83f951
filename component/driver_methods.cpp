#include "component/driver_methods.h"

#include "component/conversions.h"
#include "component/mobile_barcode_scanner_native.h"
#include "module/trace.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace {

using Component = MobileBarcodeScannerNative;

constexpr std::array<DriverMethod, kDriverMethodCount> kTable = {{
    {L"GetVersion", L"ПолучитьНомерВерсии", 0,
     [](Component& c, tVariant& result, tVariant*) { return c.MethGetVersion(result); }},
    {L"GetDescription", L"ПолучитьОписание", 7,
     [](Component& c, tVariant& result, tVariant* p) {
         return c.MethGetDescription(result, p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
     }},
    {L"GetLastError", L"ПолучитьОшибку", 1,
     [](Component& c, tVariant& result, tVariant* p) { return c.MethGetLastError(result, p[0]); }},
    {L"GetParameters", L"ПолучитьПараметры", 1,
     [](Component& c, tVariant& result, tVariant* p) { return c.MethGetParameters(result, p[0]); }},
    {L"SetParameter", L"УстановитьПараметр", 2,
     [](Component& c, tVariant& result, tVariant* p) {
         // A name record that holds no string gives an empty name, which is never accepted.
         return c.MethSetParameter(result, convFromShortWchar(p[0]), p[1]);
     }},
    {L"Open", L"Подключить", 1,
     [](Component& c, tVariant& result, tVariant* p) { return c.MethOpen(result, p[0]); }},
    {L"Close", L"Отключить", 1,
     [](Component& c, tVariant& result, tVariant* p) { return c.MethClose(result, p[0]); }},
    {L"DeviceTest", L"ТестУстройства", 2,
     [](Component& c, tVariant& result, tVariant* p) { return c.MethDeviceTest(result, p[0], p[1]); }},
    {L"GetAdditionalActions", L"ПолучитьДополнительныеДействия", 1,
     [](Component& c, tVariant& result, tVariant* p) { return c.MethGetAdditionalActions(result, p[0]); }},
    {L"DoAdditionalAction", L"ВыполнитьДополнительноеДействие", 1,
     [](Component& c, tVariant& result, tVariant* p) { return c.MethDoAdditionalAction(result, p[0]); }},
}};

constexpr std::array<const wchar_t*, kDriverMethodCount> namesOf(const wchar_t* DriverMethod::*name) {
    std::array<const wchar_t*, kDriverMethodCount> names{};
    for (size_t i = 0; i < kDriverMethodCount; ++i) {
        names[i] = kTable[i].*name;
    }
    return names;
}

constexpr size_t lengthOf(const wchar_t* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

// The length of the longest method name, in either language.
constexpr size_t longestName() {
    size_t longest = 0;
    for (const DriverMethod& method : kTable) {
        longest = std::max({longest, lengthOf(method.nameEn), lengthOf(method.nameRu)});
    }
    return longest;
}

// Where the maker offers the driver for download.
constexpr wchar_t kDownloadUrl[] = L"https://kestra.example/drivers/mobile-barcode-scanner";

}  // namespace

const std::array<DriverMethod, kDriverMethodCount> kDriverMethods = kTable;
const std::array<const wchar_t*, kDriverMethodCount> methodNamesEn = namesOf(&DriverMethod::nameEn);
const std::array<const wchar_t*, kDriverMethodCount> methodNamesRu = namesOf(&DriverMethod::nameRu);

const DriverMethod* driverMethod(int32_t number) {
    if (static_cast<uint32_t>(number) >= kDriverMethodCount) {
        return nullptr;
    }
    return &kDriverMethods[static_cast<size_t>(number)];
}

int32_t findName(const wchar_t* const* names, const wchar_t* name, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (wcscmp(names[i], name) == 0) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

void setBoolean(tVariant& record, bool value) {
    record.typeCode = VariantBool;
    record.boolValue = value ? 1 : 0;
}

void setInteger(tVariant& record, int32_t value) {
    record.typeCode = VariantInt32;
    record.intValue = value;
}

int32_t MobileBarcodeScannerNative::GetNMethods() {
    return static_cast<int32_t>(kDriverMethodCount);
}

int32_t MobileBarcodeScannerNative::FindMethod(const ShortWchar* name) {
    // The name is widened on the stack. One longer than every method name matches none, and is
    // read no further than that.
    constexpr uint32_t kRoom = longestName() + 1;
    wchar_t wideName[kRoom];
    uint32_t length = 0;
    for (; name != nullptr && length < kRoom && name[length] != 0; ++length) {
        wideName[length] = static_cast<wchar_t>(name[length]);
    }
    if (length == kRoom) {
        return -1;
    }
    wideName[length] = 0;
    int32_t number = findName(methodNamesEn.data(), wideName, kDriverMethodCount);
    if (number < 0) {
        number = findName(methodNamesRu.data(), wideName, kDriverMethodCount);
    }
    return number;
}

const ShortWchar* MobileBarcodeScannerNative::GetMethodName(int32_t number, int32_t alias) {
    const DriverMethod* method = driverMethod(number);
    if (method == nullptr || (alias != 0 && alias != 1)) {
        return nullptr;
    }
    return AllocAndConvert(alias == 0 ? method->nameEn : method->nameRu);
}

int32_t MobileBarcodeScannerNative::GetNParams(int32_t number) {
    const DriverMethod* method = driverMethod(number);
    return method ? method->parameterCount : 0;
}

bool MobileBarcodeScannerNative::GetParamDefValue(int32_t, int32_t, tVariant* value) {
    if (value != nullptr) {
        value->typeCode = VariantEmpty;
    }
    return false;
}

bool MobileBarcodeScannerNative::HasRetVal(int32_t) {
    return true;
}

bool MobileBarcodeScannerNative::CallAsProc(int32_t, tVariant*, int32_t) {
    return false;
}

bool MobileBarcodeScannerNative::CallAsFunc(int32_t number, tVariant* returnValue, tVariant* parameters,
                                            int32_t arraySize) {
    trace("CallAsFunc");
    const DriverMethod* method = driverMethod(number);
    if (method == nullptr || returnValue == nullptr) {
        return false;
    }
    // Never read past the host's array, whatever it claims to have passed.
    if (method->parameterCount > 0 && (parameters == nullptr || arraySize < method->parameterCount)) {
        return false;
    }
    try {
        return method->call(*this, *returnValue, parameters);
    } catch (...) {
        return false;
    }
}

bool MobileBarcodeScannerNative::MethGetVersion(tVariant& result) {
    result = AllocAndConvertVariant(L"1.0.2.1");
    return result.string.text != nullptr;
}

bool MobileBarcodeScannerNative::MethGetDescription(tVariant& result, tVariant& displayName,
                                                    tVariant& description, tVariant& equipmentType,
                                                    tVariant& interfaceRevision, tVariant& integrationLibrary,
                                                    tVariant& mainDriverInstalled, tVariant& downloadUrl) {
    trace("CallAsFunc");
    displayName = AllocAndConvertVariant(m_isRussian ? L"Kestra: Сканер штрихкодов мобильный"
                                                     : L"Kestra: Barcode scanner mobile");
    description = AllocAndConvertVariant(m_isRussian ? L"Мобильный драйвер для подключения сканера штрихкодов"
                                                     : L"Mobile barcode scanner driver");
    equipmentType = AllocAndConvertVariant(L"МобильныйСканерШтрихкода");
    setInteger(interfaceRevision, 1001);
    setBoolean(integrationLibrary, false);
    setBoolean(mainDriverInstalled, true);
    downloadUrl = AllocAndConvertVariant(kDownloadUrl);
    setBoolean(result, true);
    return true;
}

bool MobileBarcodeScannerNative::MethGetLastError(tVariant& result, tVariant& description) {
    trace("MethGetLastError");
    std::wstring text = m_scanner.GetLastError();
    description = AllocAndConvertVariant(text.c_str());
    setInteger(result, 1);
    return true;
}

bool MobileBarcodeScannerNative::MethSetParameter(tVariant& result, const std::wstring& name,
                                                  const tVariant& value) {
    trace("MethSetParameter");
    traceText(wstrtostr(name).c_str());
    result.typeCode = VariantBool;
    // A value record that holds no string is refused rather than read as one. Hosts encode the
    // empty text as a string record with no pointer and length 0; that one is the empty text.
    bool valueIsText =
        value.typeCode == VariantShortString && (value.string.text != nullptr || value.string.length == 0);
    if (wcscmp(L"BluetoothDevice", name.c_str()) != 0 || !valueIsText) {
        result.boolValue = 0;
        return true;
    }
    std::wstring address = convFromShortWchar(value);
    m_scanner.SetDeviceAddress(address);
    traceText(wstrtostr(address).c_str());
    trace("Set BluetoothDevice");
    result.boolValue = 1;
    return true;
}

bool MobileBarcodeScannerNative::MethOpen(tVariant& result, tVariant& deviceId) {
    bool opened = m_scanner.OpenDevice();
    if (opened) {
        trace("MethOpen ok");
        deviceId = AllocAndConvertVariant(m_deviceName.c_str());
    } else {
        trace("MethOpen fail");
    }
    setBoolean(result, opened);
    return true;
}

bool MobileBarcodeScannerNative::MethClose(tVariant& result, const tVariant&) {
    trace("MethClose");
    setBoolean(result, m_scanner.CloseDevice());
    return true;
}

bool MobileBarcodeScannerNative::MethDeviceTest(tVariant& result, tVariant& first, tVariant& second) {
    trace("MethDeviceTest");
    bool passed = m_scanner.TestDevice();
    first = AllocAndConvertVariant(L"");
    second = AllocAndConvertVariant(L"");
    setBoolean(result, passed);
    return true;
}

bool MobileBarcodeScannerNative::MethGetAdditionalActions(tVariant& result, tVariant& actions) {
    actions = AllocAndConvertVariant(L"");
    setBoolean(result, true);
    return true;
}

bool MobileBarcodeScannerNative::MethDoAdditionalAction(tVariant&, const tVariant&) {
    // No additional action is offered, so none can be run.
    return false;
}

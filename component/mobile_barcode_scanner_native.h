// The one component the library offers the host: a peripheral-equipment driver for a Bluetooth
// barcode scanner. It implements the host's component interfaces, owns the bridge to the Java
// scanner peer and turns every barcode into an external event for the host.
//
// Threads: every host call runs on the host's thread (or inside a barcode handler, on the thread
// that delivers the barcode); OnInput runs on whichever Java thread sent the barcode. OnInput
// reads only the connection (borrowed once per barcode) and what is fixed at construction; Init
// returns only once no OnInput on another thread uses the connection it replaced, and the
// destructor only once no OnInput runs on another thread.
#pragma once

#include "component/component_base.h"
#include "component/shared_connection.h"
#include "host/host_api.h"
#include "scanner/bt_barcode_scanner.h"

#include <cstdint>
#include <string>

class MobileBarcodeScannerNative : public IComponentBase {
public:
    // isRussian picks the Russian display texts; the host always gets a Russian component
    // (only tests ask for the English texts).
    MobileBarcodeScannerNative(std::wstring extensionName, std::wstring eventMessage, bool isRussian = true);
    ~MobileBarcodeScannerNative() override;
    MobileBarcodeScannerNative(const MobileBarcodeScannerNative&) = delete;
    MobileBarcodeScannerNative& operator=(const MobileBarcodeScannerNative&) = delete;

    // IInitDoneBase
    bool Init(void* connection) override;
    bool setMemManager(void* memoryManager) override;
    int32_t GetInfo() override;
    void Done() override;

    // ILanguageExtenderBase
    bool RegisterExtensionAs(ShortWchar** extensionName) override;
    int32_t GetNProps() override;
    int32_t FindProp(const ShortWchar* name) override;
    const ShortWchar* GetPropName(int32_t number, int32_t alias) override;
    bool GetPropVal(int32_t number, tVariant* value) override;
    bool SetPropVal(int32_t number, tVariant* value) override;
    bool IsPropReadable(int32_t number) override;
    bool IsPropWritable(int32_t number) override;
    int32_t GetNMethods() override;
    int32_t FindMethod(const ShortWchar* name) override;
    const ShortWchar* GetMethodName(int32_t number, int32_t alias) override;
    int32_t GetNParams(int32_t number) override;
    bool GetParamDefValue(int32_t number, int32_t parameter, tVariant* value) override;
    bool HasRetVal(int32_t number) override;
    bool CallAsProc(int32_t number, tVariant* parameters, int32_t arraySize) override;
    bool CallAsFunc(int32_t number, tVariant* returnValue, tVariant* parameters, int32_t arraySize) override;

    // LocaleBase
    void SetLocale(const ShortWchar* locale) override;

    // The driver methods, reached through CallAsFunc. Each returns the call's outcome; the
    // driver's answer goes into result.
    bool MethGetVersion(tVariant& result);
    bool MethGetDescription(tVariant& result, tVariant& displayName, tVariant& description,
                            tVariant& equipmentType, tVariant& interfaceRevision,
                            tVariant& integrationLibrary, tVariant& mainDriverInstalled,
                            tVariant& downloadUrl);
    bool MethGetLastError(tVariant& result, tVariant& description);
    bool MethGetParameters(tVariant& result, tVariant& settings);
    bool MethSetParameter(tVariant& result, const std::wstring& name, const tVariant& value);
    bool MethOpen(tVariant& result, tVariant& deviceId);
    bool MethClose(tVariant& result, const tVariant& parameter);
    bool MethDeviceTest(tVariant& result, tVariant& first, tVariant& second);
    bool MethGetAdditionalActions(tVariant& result, tVariant& actions);
    bool MethDoAdditionalAction(tVariant& result, const tVariant& parameter);

    // A copy of text in host memory as a host short string; null without a memory manager or
    // when the host refuses. The text's length in units goes to *length when it is given.
    ShortWchar* AllocAndConvert(const wchar_t* text, uint32_t* length = nullptr);
    // The same copy packed as a string variant (type 22 even when the copy is null).
    tVariant AllocAndConvertVariant(const wchar_t* text);

    // Delivers one barcode to the host as an external event.
    void OnInput(const std::wstring& source, const std::wstring& data);

private:
    // The same with the source already a host short string: the barcode callback converts its
    // source once, when it is made, and only the data per barcode.
    void OnInput(const std::u16string& hostSource, const std::wstring& data);

    // Replaced by Init, borrowed by every delivery on a Java thread: a barcode goes to the
    // connection that was current when its delivery began, or nowhere.
    SharedConnection m_iConnect;
    IHostMemory* m_iMemory = nullptr;
    std::wstring m_deviceName = L"MobileScannerDevice";
    uint8_t m_isRussian = 1;
    std::wstring m_eventMessage;
    // m_eventMessage as a host short string, for every external event.
    std::u16string m_hostEventMessage;
    std::wstring m_extensionName;
    CBTBarcodeScanner m_scanner;
};

// Record writers shared by the driver methods. A boolean or an integer sets only the type code
// and its own bytes of the value area; the rest of the record stays as the host left it.
void setBoolean(tVariant& record, bool value);
void setInteger(tVariant& record, int32_t value);

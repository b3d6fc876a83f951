#include "component/conversions.h"
#include "component/mobile_barcode_scanner_native.h"
#include "module/trace.h"

namespace {

// The document describes the one setting, the Bluetooth device, with its captions and choices.
// It is plain concatenation: the choice list arrives as finished element content.
std::wstring buildSettingsDocument(bool russian, const std::wstring& choiceList) {
    std::wstring document = L"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\"";
    document += russian ? L"Параметры" : L"Parameters";
    document += L"\"><Group Caption=\"";
    document += russian ? L"Параметры подключения" : L"Connection parameters";
    document += L"\">";
    document += L"<Parameter Name=\"BluetoothDevice\" Caption=\"";
    document += russian ? L"Bluetooth устройство" : L"Bluetooth device";
    document += L"\" TypeValue=\"String\" DefaultValue=\"\"><ChoiceList>";
    document += choiceList;
    document += L"</ChoiceList></Parameter></Group></Page></Settings>";
    return document;
}

}  // namespace

bool MobileBarcodeScannerNative::MethGetParameters(tVariant& result, tVariant& settings) {
    trace("MethGetParameters");
    std::wstring choiceList = m_scanner.GetDevicesChoiceList();
    trace("%s", wstrtostr(choiceList).c_str());
    settings = AllocAndConvertVariant(buildSettingsDocument(m_isRussian != 0, choiceList).c_str());
    setBoolean(result, true);
    return true;
}

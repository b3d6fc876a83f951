#include "component/conversions.h"
#include "component/mobile_barcode_scanner_native.h"
#include "module/trace.h"

#include <string>
#include <string_view>

namespace {

// The document describes the one setting, the Bluetooth device, with its captions and choices.
// It is plain concatenation: the choice list arrives as finished element content.
std::wstring buildSettingsDocument(bool russian, const std::wstring& choiceList) {
    static constexpr std::wstring_view kParts[] = {
        L"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\"",
        L"\"><Group Caption=\"",
        L"\">",
        L"<Parameter Name=\"BluetoothDevice\" Caption=\"",
        L"\" TypeValue=\"String\" DefaultValue=\"\"><ChoiceList>",
        L"</ChoiceList></Parameter></Group></Page></Settings>",
    };
    std::wstring_view page = russian ? L"Параметры" : L"Parameters";
    std::wstring_view group = russian ? L"Параметры подключения" : L"Connection parameters";
    std::wstring_view device = russian ? L"Bluetooth устройство" : L"Bluetooth device";
    // The whole document is reserved first, so the appends never move it.
    size_t size = page.size() + group.size() + device.size() + choiceList.size();
    for (std::wstring_view part : kParts) {
        size += part.size();
    }
    std::wstring document;
    document.reserve(size);
    document += kParts[0];
    document += page;
    document += kParts[1];
    document += group;
    document += kParts[2];
    document += kParts[3];
    document += device;
    document += kParts[4];
    document += choiceList;
    document += kParts[5];
    return document;
}

}  // namespace

bool MobileBarcodeScannerNative::MethGetParameters(tVariant& result, tVariant& settings) {
    trace("MethGetParameters");
    std::wstring choiceList = m_scanner.GetDevicesChoiceList();
    traceText(wstrtostr(choiceList).c_str());
    settings = AllocAndConvertVariant(buildSettingsDocument(m_isRussian != 0, choiceList).c_str());
    setBoolean(result, true);
    return true;
}

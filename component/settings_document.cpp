#include "component/conversions.h"
#include "component/mobile_barcode_scanner_native.h"
#include "module/trace.h"

#include <array>
#include <limits>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// The document describes the one setting, the Bluetooth device, with its captions and choices.
// It is plain concatenation: the choice list arrives as finished element content.
constexpr size_t kDocumentParts = 10;
using DocumentParts = std::array<std::wstring_view, kDocumentParts>;

DocumentParts settingsDocumentParts(bool russian, const std::wstring& choiceList) {
    // A host string ends at its first zero unit, so a choice list with one ends the document.
    std::wstring_view choices(choiceList.c_str());
    bool cut = choices.size() < choiceList.size();
    return {
        L"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\""sv,
        russian ? L"Параметры"sv : L"Parameters"sv,
        L"\"><Group Caption=\""sv,
        russian ? L"Параметры подключения"sv : L"Connection parameters"sv,
        L"\">"sv,
        L"<Parameter Name=\"BluetoothDevice\" Caption=\""sv,
        russian ? L"Bluetooth устройство"sv : L"Bluetooth device"sv,
        L"\" TypeValue=\"String\" DefaultValue=\"\"><ChoiceList>"sv,
        choices,
        cut ? L""sv : L"</ChoiceList></Parameter></Group></Page></Settings>"sv,
    };
}

// The document as a string variant in host memory, converted part by part straight into the
// host's block: no wide copy of the whole document is made. The text is null, as for every host
// string the component makes, without a memory manager or when the host refuses.
tVariant settingsDocumentVariant(IHostMemory* memory, const DocumentParts& parts) {
    size_t units = 0;
    for (std::wstring_view part : parts) {
        units += part.size();
    }
    tVariant record{};
    record.typeCode = VariantShortString;
    record.string.length = static_cast<uint32_t>(units);
    if (memory == nullptr || units >= std::numeric_limits<uint32_t>::max() / sizeof(ShortWchar)) {
        return record;
    }
    void* block = nullptr;
    try {
        if (!memory->AllocMemory(&block, static_cast<uint32_t>((units + 1) * sizeof(ShortWchar)))) {
            return record;
        }
    } catch (...) {
        return record;
    }
    auto* text = static_cast<ShortWchar*>(block);
    if (text == nullptr) {
        return record;
    }
    ShortWchar* out = text;
    for (std::wstring_view part : parts) {
        if (!part.empty()) {
            convToShortWchar(&out, part.data(), static_cast<uint32_t>(part.size()));
            out += part.size();
        }
    }
    *out = 0;
    record.string.text = text;
    return record;
}

}  // namespace

bool MobileBarcodeScannerNative::MethGetParameters(tVariant& result, tVariant& settings) {
    trace("MethGetParameters");
    std::wstring choiceList = m_scanner.GetDevicesChoiceList();
    traceText(choiceList.c_str());
    settings = settingsDocumentVariant(m_iMemory, settingsDocumentParts(m_isRussian != 0, choiceList));
    setBoolean(result, true);
    return true;
}

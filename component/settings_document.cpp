#include "component/conversions.h"
#include "component/mobile_barcode_scanner_native.h"
#include "module/trace.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// The document describes the one setting, the Bluetooth device, with its captions and choices.
// It is plain concatenation: the choice list arrives as finished element content, between texts
// that are already in the host's units.
struct DocumentParts {
    std::array<std::u16string_view, 8> head;
    std::wstring_view choices;
    std::u16string_view tail;
};

DocumentParts settingsDocumentParts(bool russian, const std::wstring& choiceList) {
    // A host string ends at its first zero unit, so a choice list with one ends the document.
    std::wstring_view choices(choiceList.c_str());
    bool cut = choices.size() < choiceList.size();
    return {
        {
            u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\""sv,
            russian ? u"Параметры"sv : u"Parameters"sv,
            u"\"><Group Caption=\""sv,
            russian ? u"Параметры подключения"sv : u"Connection parameters"sv,
            u"\">"sv,
            u"<Parameter Name=\"BluetoothDevice\" Caption=\""sv,
            russian ? u"Bluetooth устройство"sv : u"Bluetooth device"sv,
            u"\" TypeValue=\"String\" DefaultValue=\"\"><ChoiceList>"sv,
        },
        choices,
        cut ? u""sv : u"</ChoiceList></Parameter></Group></Page></Settings>"sv,
    };
}

// The document as a string variant in host memory, written part by part straight into the
// host's block: no copy of the whole document is made. The text is null, as for every host
// string the component makes, without a memory manager or when the host refuses.
tVariant settingsDocumentVariant(IHostMemory* memory, const DocumentParts& parts) {
    size_t units = parts.choices.size() + parts.tail.size();
    for (std::u16string_view part : parts.head) {
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
    for (std::u16string_view part : parts.head) {
        out = std::copy(part.begin(), part.end(), out);
    }
    copyUnits(out, parts.choices.data(), parts.choices.size());
    out = std::copy(parts.tail.begin(), parts.tail.end(), out + parts.choices.size());
    *out = 0;
    record.string.text = text;
    return record;
}

}  // namespace

bool MobileBarcodeScannerNative::MethGetParameters(tVariant& result, tVariant& settings) {
    trace("MethGetParameters");
    std::wstring choiceList = m_scanner.GetDevicesChoiceList();
    traceText(choiceList);
    settings = settingsDocumentVariant(m_iMemory, settingsDocumentParts(m_isRussian != 0, choiceList));
    setBoolean(result, true);
    return true;
}

#include "component/mobile_barcode_scanner_native.h"

#include "component/conversions.h"
#include "module/trace.h"

#include <cwchar>
#include <limits>
#include <utility>

namespace {

// The text up to its first zero unit as a host short string.
std::u16string toHostString(const std::wstring& text) {
    size_t length = wcslen(text.c_str());
    std::u16string hostText(length + 1, u'\0');
    ShortWchar* units = &hostText[0];
    convToShortWchar(&units, text.c_str(), static_cast<uint32_t>(length + 1));
    hostText.resize(length);
    return hostText;
}

}  // namespace

MobileBarcodeScannerNative::MobileBarcodeScannerNative(std::wstring extensionName, std::wstring eventMessage,
                                                       bool isRussian)
    : m_isRussian(isRussian ? 1 : 0),
      m_eventMessage(std::move(eventMessage)),
      m_hostEventMessage(toHostString(m_eventMessage)),
      m_extensionName(std::move(extensionName)) {
    trace("Constructor");
}

MobileBarcodeScannerNative::~MobileBarcodeScannerNative() {
    // m_scanner, destroyed after this body, releases the Java peer.
    trace("Destructor");
}

bool MobileBarcodeScannerNative::Init(void* connection) {
    auto* iConnect = static_cast<IAddInDefBaseEx*>(connection);
    // From here on, barcodes of every peer this component made go to this connection (with
    // null, nowhere), including those of peers that an earlier Init made. Once this returns, no
    // delivery on another thread uses the connection replaced: the host may release it.
    m_iConnect.replace(iConnect);
    if (iConnect == nullptr) {
        return false;
    }
    try {
        // The source is copied now, as a host short string: the callback runs on Java threads and
        // must not read fields the host thread could be changing.
        BarcodeCallback callback = [this, hostSource = toHostString(m_deviceName)](const std::wstring& data) {
            OnInput(hostSource, data);
        };
        trace("Init");
        m_scanner.setIConnect(iConnect, std::move(callback));
        return iConnect->SetEventBufferDepth(4096);
    } catch (...) {
        return false;
    }
}

bool MobileBarcodeScannerNative::setMemManager(void* memoryManager) {
    m_iMemory = static_cast<IHostMemory*>(memoryManager);
    return m_iMemory != nullptr;
}

int32_t MobileBarcodeScannerNative::GetInfo() {
    return 2000;
}

void MobileBarcodeScannerNative::Done() {
    // The device and the Java peer stay until the destructor.
}

bool MobileBarcodeScannerNative::RegisterExtensionAs(ShortWchar** extensionName) {
    if (extensionName == nullptr) {
        return false;
    }
    *extensionName = AllocAndConvert(m_extensionName.c_str());
    return *extensionName != nullptr;
}

int32_t MobileBarcodeScannerNative::GetNProps() {
    return 0;
}

int32_t MobileBarcodeScannerNative::FindProp(const ShortWchar*) {
    return -1;
}

const ShortWchar* MobileBarcodeScannerNative::GetPropName(int32_t, int32_t) {
    return nullptr;
}

bool MobileBarcodeScannerNative::GetPropVal(int32_t, tVariant*) {
    return false;
}

bool MobileBarcodeScannerNative::SetPropVal(int32_t, tVariant*) {
    return false;
}

bool MobileBarcodeScannerNative::IsPropReadable(int32_t) {
    return false;
}

bool MobileBarcodeScannerNative::IsPropWritable(int32_t) {
    return false;
}

void MobileBarcodeScannerNative::SetLocale(const ShortWchar*) {
    // The display language is fixed at construction.
}

ShortWchar* MobileBarcodeScannerNative::AllocAndConvert(const wchar_t* text, uint32_t* length) {
    size_t units = wcslen(text);
    if (length != nullptr) {
        *length = static_cast<uint32_t>(units);
    }
    if (m_iMemory == nullptr || units >= std::numeric_limits<uint32_t>::max() / sizeof(ShortWchar)) {
        return nullptr;
    }
    uint32_t count = static_cast<uint32_t>(units + 1);
    void* block = nullptr;
    try {
        if (!m_iMemory->AllocMemory(&block, count * static_cast<uint32_t>(sizeof(ShortWchar))) ||
            block == nullptr) {
            return nullptr;
        }
    } catch (...) {
        return nullptr;
    }
    ShortWchar* hostText = static_cast<ShortWchar*>(block);
    convToShortWchar(&hostText, text, count);
    return hostText;
}

tVariant MobileBarcodeScannerNative::AllocAndConvertVariant(const wchar_t* text) {
    tVariant record{};
    record.typeCode = VariantShortString;
    record.string.text = AllocAndConvert(text, &record.string.length);
    return record;
}

void MobileBarcodeScannerNative::OnInput(const std::wstring& source, const std::wstring& data) {
    if (m_iConnect.current() == nullptr) {
        return;
    }
    try {
        OnInput(toHostString(source), data);
    } catch (...) {
        // As below: nothing escapes into the Java thread.
    }
}

void MobileBarcodeScannerNative::OnInput(const std::u16string& hostSource, const std::wstring& data) {
    try {
        // Borrowed once: Init may replace the connection, or set it to null, while this runs,
        // and then waits until the loan ends.
        SharedConnection::Loan connection = m_iConnect.borrow();
        if (connection.get() == nullptr) {
            return;
        }
        trace("OnInput");
        ShortWcharText hostData(data);
        traceText(data, "ExternalEvent message is - ");
        connection.get()->ExternalEvent(hostSource.c_str(), m_hostEventMessage.c_str(), hostData.units());
        // Nothing of this component may be touched from here on: the host's handler may have
        // destroyed it.
    } catch (...) {
        // The barcode is lost, but nothing escapes into the Java thread that delivered it.
    }
}

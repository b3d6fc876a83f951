#include "module/exports.h"

#include "component/conversions.h"
#include "component/mobile_barcode_scanner_native.h"
#include "module/trace.h"

#include <cstdint>
#include <new>
#include <string>

namespace {

constexpr wchar_t kClassName[] = L"MobileBarcodeScanner";
constexpr wchar_t kEventMessage[] = L"Штрихкод";

// The class-name list, made once and kept for the life of the process.
const ShortWchar* classNameList() {
    static const ShortWchar* const list = [] {
        ShortWchar* buffer = nullptr;
        convToShortWchar(&buffer, kClassName);
        return buffer;
    }();
    return list;
}

// The host reads a zero result as failure, so an object whose address has zero low bits (only
// possible on a 64-bit build) still reports success.
int32_t successCode(const void* object) {
    int32_t code = static_cast<int32_t>(reinterpret_cast<uintptr_t>(object));
    return code != 0 ? code : 1;
}

}  // namespace

const ShortWchar* GetClassNames() {
    trace("GetClassNames");
    try {
        return classNameList();
    } catch (...) {
        return nullptr;
    }
}

int32_t GetClassObject(const ShortWchar* className, IComponentBase** component) {
    trace("GetClassObject");
    if (component == nullptr || *component != nullptr) {
        return 0;
    }
    try {
        if (convFromShortWchar(className) != kClassName) {
            return 0;
        }
        *component = new MobileBarcodeScannerNative(kClassName, kEventMessage);
        return successCode(*component);
    } catch (...) {
        *component = nullptr;
        return 0;
    }
}

int32_t DestroyObject(IComponentBase** component) {
    trace("DestroyObject");
    if (component == nullptr || *component == nullptr) {
        return -1;
    }
    delete *component;
    *component = nullptr;
    return 0;
}

int32_t SetPlatformCapabilities(int32_t) {
    trace("SetPlatformCapabilities");
    return 1;
}

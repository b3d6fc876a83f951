// The host's side of a component, for tests: the four exports (linked or looked up by name) and
// a component held the way the host holds it, through its interface tables only.
#pragma once

#include "component/component_base.h"
#include "module/exports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace componenttest {

struct Exports {
    GetClassNamesFunction getClassNames;
    GetClassObjectFunction getClassObject;
    DestroyObjectFunction destroyObject;
    SetPlatformCapabilitiesFunction setPlatformCapabilities;
};

// The exports of a library linked into the test program.
inline Exports linkedExports() {
    return {&GetClassNames, &GetClassObject, &DestroyObject, &SetPlatformCapabilities};
}

// One component created by name through the exports and destroyed through them.
class HostedComponent {
public:
    explicit HostedComponent(const Exports& exports = linkedExports()) : m_exports(exports) {
        EXPECT_NE(0, m_exports.getClassObject(u"MobileBarcodeScanner", &m_object));
        EXPECT_NE(nullptr, m_object);
    }
    // Takes over an object made some other way; the exports destroy it.
    HostedComponent(IComponentBase* object, const Exports& exports) : m_exports(exports), m_object(object) {}
    ~HostedComponent() { destroy(); }
    HostedComponent(const HostedComponent&) = delete;
    HostedComponent& operator=(const HostedComponent&) = delete;

    bool alive() const { return m_object != nullptr; }
    IInitDoneBase* initDone() const { return m_object; }
    ILanguageExtenderBase* extender() const { return m_object; }
    LocaleBase* locale() const { return m_object; }

    int32_t destroy() { return m_object ? m_exports.destroyObject(&m_object) : -1; }

private:
    Exports m_exports;
    IComponentBase* m_object = nullptr;
};

// A record filled with a pattern, so tests can see which bytes a call wrote.
inline tVariant patternRecord(uint8_t pattern = 0x5A) {
    tVariant record;
    memset(&record, pattern, sizeof record);
    return record;
}

inline bool sameBytes(const tVariant& a, const tVariant& b) {
    return memcmp(&a, &b, sizeof a) == 0;
}

// A string record that points at host-owned text.
inline tVariant stringRecord(const std::u16string& text) {
    tVariant record = patternRecord(0);
    record.typeCode = VariantShortString;
    record.string.text = const_cast<ShortWchar*>(text.c_str());
    record.string.length = static_cast<uint32_t>(text.size());
    return record;
}

inline tVariant integerRecord(int32_t value) {
    tVariant record = patternRecord(0);
    record.typeCode = VariantInt32;
    record.intValue = value;
    return record;
}

// The text of a string record, up to its recorded length.
inline std::u16string text(const tVariant& record) {
    if (record.typeCode != VariantShortString || record.string.text == nullptr) {
        return std::u16string();
    }
    return std::u16string(record.string.text, record.string.length);
}

// The result of one CallAsFunc.
struct Call {
    bool succeeded;
    tVariant result;
    std::vector<tVariant> parameters;
};

// Calls a method by name with the parameter count it announces, as the host does.
inline Call callByName(ILanguageExtenderBase* extender, const std::u16string& name,
                       std::vector<tVariant> parameters = {}) {
    int32_t number = extender->FindMethod(name.c_str());
    EXPECT_LE(0, number) << "method not found";
    size_t count = static_cast<size_t>(extender->GetNParams(number));
    while (parameters.size() < count) {
        parameters.push_back(patternRecord());
    }
    Call call{false, patternRecord(), std::move(parameters)};
    call.succeeded =
        extender->CallAsFunc(number, &call.result, call.parameters.empty() ? nullptr : call.parameters.data(),
                             static_cast<int32_t>(call.parameters.size()));
    return call;
}

inline bool isBoolean(const tVariant& record, bool value) {
    return record.typeCode == VariantBool && record.boolValue == (value ? 1 : 0);
}

}  // namespace componenttest

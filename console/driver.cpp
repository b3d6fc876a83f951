#include "console/driver.h"

#include "console/text.h"

#include <dlfcn.h>

#include <algorithm>

namespace console {

bool findExports(const std::string& libraryPath, Exports& exports, std::string& problem) {
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) {
        problem = "the library is not loaded: " + libraryPath;
        return false;
    }
    exports.getClassNames = reinterpret_cast<GetClassNamesFunction>(dlsym(library, "GetClassNames"));
    exports.getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(library, "GetClassObject"));
    exports.destroyObject = reinterpret_cast<DestroyObjectFunction>(dlsym(library, "DestroyObject"));
    exports.setPlatformCapabilities =
        reinterpret_cast<SetPlatformCapabilitiesFunction>(dlsym(library, "SetPlatformCapabilities"));
    // The VM keeps its own handle; this one only had to find the symbols.
    dlclose(library);
    if (!exports.getClassNames || !exports.getClassObject || !exports.destroyObject ||
        !exports.setPlatformCapabilities) {
        problem =
            "the library lacks one of GetClassNames, GetClassObject, DestroyObject, SetPlatformCapabilities";
        return false;
    }
    return true;
}

Driver::~Driver() {
    destroy();
}

bool Driver::create(std::vector<std::string>& report) {
    // The capability code a current host announces; the driver accepts any.
    const int32_t kHostCapabilities = 3;
    report.push_back("SetPlatformCapabilities(" + std::to_string(kHostCapabilities) +
                     ") = " + std::to_string(m_exports.setPlatformCapabilities(kHostCapabilities)));
    const ShortWchar* names = m_exports.getClassNames();
    std::string classNames = utf8FromHost(names);
    report.push_back("GetClassNames = \"" + visible(classNames) + "\"");
    // The list separates names with '|'; the console uses the first class.
    std::string className = classNames.substr(0, classNames.find('|'));
    std::u16string hostName = hostFromUtf8(className);
    int32_t created = m_exports.getClassObject(hostName.c_str(), &m_component);
    report.push_back("GetClassObject(\"" + visible(className) + "\") " +
                     (created != 0 && m_component != nullptr ? "created the component" : "failed"));
    if (created == 0 || m_component == nullptr) {
        m_component = nullptr;
        return false;
    }
    bool memory = m_component->setMemManager(static_cast<IHostMemory*>(&m_memory));
    bool initialized = m_component->Init(static_cast<IAddInDefBaseEx*>(&m_connection));
    report.push_back(std::string("setMemManager ") + (memory ? "true" : "false") + ", Init " +
                     (initialized ? "true" : "false") + ", event buffer depth " +
                     std::to_string(m_connection.eventBufferDepth()) + ", GetInfo " +
                     std::to_string(m_component->GetInfo()));
    ShortWchar* extension = nullptr;
    bool registered = m_component->RegisterExtensionAs(&extension);
    report.push_back("RegisterExtensionAs " + std::string(registered ? "true" : "false") + ", \"" +
                     visible(utf8FromHost(extension)) + "\"");
    m_memory.release(extension);
    return initialized;
}

void Driver::destroy() {
    if (m_component != nullptr) {
        m_component->Done();
        m_exports.destroyObject(&m_component);
        m_component = nullptr;
    }
}

int Driver::findMethod(const std::string& name) {
    if (m_component == nullptr) {
        return -1;
    }
    std::u16string hostName = hostFromUtf8(name);
    return m_component->FindMethod(hostName.c_str());
}

int Driver::parameterCount(int number) {
    return m_component == nullptr ? -1 : m_component->GetNParams(number);
}

std::string Driver::methodName(int number, int alias) {
    const ShortWchar* name = m_component != nullptr ? m_component->GetMethodName(number, alias) : nullptr;
    std::string text = name != nullptr ? utf8FromHost(name) : "(none)";
    m_memory.release(name);
    return text;
}

std::vector<MethodInfo> Driver::methods() {
    std::vector<MethodInfo> all;
    if (m_component == nullptr) {
        return all;
    }
    int32_t count = m_component->GetNMethods();
    for (int32_t number = 0; number < count; ++number) {
        MethodInfo info;
        info.number = number;
        info.english = methodName(number, 0);
        info.russian = methodName(number, 1);
        info.parameterCount = m_component->GetNParams(number);
        all.push_back(info);
    }
    return all;
}

CallResult Driver::call(int number, const std::vector<std::string>& inputs) {
    CallResult result;
    if (m_component == nullptr) {
        return result;
    }
    int32_t count = std::max<int32_t>(m_component->GetNParams(number), 0);
    result.parameters.assign(std::max<size_t>(static_cast<size_t>(count), std::max<size_t>(inputs.size(), 1)),
                             tVariant{});
    m_inputs.clear();
    m_inputs.reserve(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        m_inputs.push_back(hostFromUtf8(inputs[i]));
        tVariant& record = result.parameters[i];
        record.typeCode = VariantShortString;
        record.string.text = const_cast<ShortWchar*>(m_inputs.back().c_str());
        record.string.length = static_cast<uint32_t>(m_inputs.back().size());
    }
    result.passed = result.parameters;
    result.called = m_component->CallAsFunc(number, &result.returnValue, result.parameters.data(),
                                            static_cast<int32_t>(result.parameters.size()));
    return result;
}

void Driver::release(CallResult& result) {
    auto releaseRecord = [&](tVariant& record) {
        if (record.typeCode == VariantShortString) {
            m_memory.release(record.string.text);  // the console's own input texts are not in it
            record.string.text = nullptr;
        }
    };
    releaseRecord(result.returnValue);
    for (tVariant& record : result.parameters) {
        releaseRecord(record);
    }
}

std::string variantText(const tVariant& value) {
    if (value.typeCode != VariantShortString || value.string.text == nullptr) {
        return std::string();
    }
    return utf8FromHost(value.string.text, value.string.length);
}

std::string describeVariant(const tVariant& value) {
    switch (value.typeCode) {
        case VariantEmpty:
            return "empty";
        case VariantInt32:
            return "int " + std::to_string(value.intValue);
        case VariantBool:
            if (value.boolValue <= 1) {
                return value.boolValue ? "bool true" : "bool false";
            }
            return "bool (byte " + std::to_string(value.boolValue) + ")";
        case VariantShortString:
            if (value.string.text == nullptr) {
                return "string null (length " + std::to_string(value.string.length) + ")";
            }
            return "string \"" + visible(variantText(value)) + "\"";
        default:
            return "type " + std::to_string(value.typeCode);
    }
}

}  // namespace console

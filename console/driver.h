// The driver as the host sees it: the library's four exports, one component made by
// GetClassObject, and its methods found by name and called through CallAsFunc.
#pragma once

#include "console/host.h"
#include "module/exports.h"

#include <optional>
#include <string>
#include <vector>

namespace console {

struct Exports {
    GetClassNamesFunction getClassNames = nullptr;
    GetClassObjectFunction getClassObject = nullptr;
    DestroyObjectFunction destroyObject = nullptr;
    SetPlatformCapabilitiesFunction setPlatformCapabilities = nullptr;
};

// Finds the exports in the library the Java VM has already loaded (it is not loaded again).
bool findExports(const std::string& libraryPath, Exports& exports, std::string& problem);

struct MethodInfo {
    int number = 0;
    std::string english;
    std::string russian;
    int parameterCount = 0;
};

struct CallResult {
    bool called = false;  // the boolean CallAsFunc returned
    tVariant returnValue{};
    std::vector<tVariant> parameters;
    // The records as the console filled them in, to tell which ones the call has written.
    std::vector<tVariant> passed;
};

class Driver {
public:
    Driver(const Exports& exports, HostMemory& memory, HostConnection& connection)
        : m_exports(exports), m_memory(memory), m_connection(connection) {}
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Plays the host's start-up: capabilities, class names, GetClassObject, memory, Init,
    // extension name. Appends what happened to `report`, one line each.
    bool create(std::vector<std::string>& report);

    int findMethod(const std::string& name);
    // GetNParams, or -1 without a component.
    int parameterCount(int number);
    std::vector<MethodInfo> methods();
    // GetMethodName: alias 0 English, 1 Russian; "(none)" when the component gives none.
    std::string methodName(int number, int alias);

    // Calls a method with as many parameters as GetNParams announces (at least one record, so
    // the array is never null); `inputs` fill the first ones as strings, the rest stay empty.
    CallResult call(int number, const std::vector<std::string>& inputs);

    // Frees the strings the component allocated in the result.
    void release(CallResult& result);

    // The host's shut-down: DestroyObject.
    void destroy();

private:
    Exports m_exports;
    HostMemory& m_memory;
    HostConnection& m_connection;
    IComponentBase* m_component = nullptr;
    std::vector<std::u16string> m_inputs;  // the texts of the current call's input records
};

// A record as the console shows it: "bool true", "int 1001", "string \"...\"", "empty".
std::string describeVariant(const tVariant& value);

// The readable text of a string record (empty for other types or a null text).
std::string variantText(const tVariant& value);

}  // namespace console

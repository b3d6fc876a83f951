// Fuzz target: plays a host that drives the component through the exports and the component's
// interface tables with calls decoded from the fuzzer's input, in any order, and checks after
// every call what any host may rely on. Sanitizers catch memory and undefined-behaviour faults;
// a broken promise aborts with "invariant broken".
//
// No Java VM runs here, so no component ever gets a Java peer: Init meets a host without an
// Android helper or a helper that finds no Java class, and the device operations meet a bridge
// without a peer. Every pointer handed to the library points into memory this host owns, with
// the size its record claims: the library cannot defend itself against a host that lies about
// its own memory.

#include "component/component_base.h"
#include "fuzz/fuzz_host.h"
#include "host/host_api.h"
#include "hosting/host.h"
#include "module/exports.h"

#include <android/log.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace fuzzhost;

// What the host knows of the method set from the driver protocol, independently of the library.
constexpr size_t kMethodCount = 10;
const std::array<std::u16string, kMethodCount> kNamesEn = {
    u"GetVersion", u"GetDescription", u"GetLastError", u"GetParameters",        u"SetParameter",
    u"Open",       u"Close",          u"DeviceTest",   u"GetAdditionalActions", u"DoAdditionalAction"};
const std::array<std::u16string, kMethodCount> kNamesRu = {u"ПолучитьНомерВерсии",
                                                           u"ПолучитьОписание",
                                                           u"ПолучитьОшибку",
                                                           u"ПолучитьПараметры",
                                                           u"УстановитьПараметр",
                                                           u"Подключить",
                                                           u"Отключить",
                                                           u"ТестУстройства",
                                                           u"ПолучитьДополнительныеДействия",
                                                           u"ВыполнитьДополнительноеДействие"};
constexpr std::array<int32_t, kMethodCount> kParameterCounts = {0, 7, 1, 1, 2, 1, 1, 2, 1, 1};
enum Method : int32_t {
    kGetVersion = 0,
    kGetDescription,
    kGetLastError,
    kGetParameters,
    kSetParameter,
    kOpen,
    kClose,
    kDeviceTest,
    kGetAdditionalActions,
    kDoAdditionalAction
};
const std::u16string kClassName = u"MobileBarcodeScanner";
const std::u16string kJavaClassName = u"com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner";

bool inMethodRange(int32_t number) {
    return number >= 0 && number < static_cast<int32_t>(kMethodCount);
}

// Texts the fuzzer can pick whole, so that short inputs reach the accepted names.
const std::vector<std::u16string>& knownTexts() {
    static const std::vector<std::u16string> texts = [] {
        std::vector<std::u16string> all(kNamesEn.begin(), kNamesEn.end());
        all.insert(all.end(), kNamesRu.begin(), kNamesRu.end());
        all.insert(all.end(), {kClassName, u"BluetoothDevice", u"bluetoothdevice", u"00:11:22:33:44:55",
                               u"%s%n%x%s%s%s%s", u"", u"ru_RU", u"\xD83D\xDE00", u"\xDC00\xD800"});
        return all;
    }();
    return texts;
}

// The host's connection, whose Android helper cannot find the Java class: without a VM there is
// none to find. No barcode is ever sent, so an event breaks a promise.
class Connection : public hosting::HostConnection {
public:
    Connection(bool withHelper, bool depthAnswer)
        : hosting::HostConnection(withHelper ? &m_helper : nullptr,
                                  [](const ShortWchar*, const ShortWchar*, const ShortWchar*) -> bool {
                                      fail("external event without any barcode sent");
                                  }),
          m_helper(findsNothing()),
          m_depthAnswer(depthAnswer) {
        setEventBufferDepthResult(depthAnswer);
    }
    bool depthAnswer() const { return m_depthAnswer; }

    // What Init did with the host: positive depths, only the scanner class asked for, and no
    // activity asked for, since no class was found.
    void checkInit() const {
        for (int32_t depth : eventBufferDepths()) {
            require(depth > 0, "event buffer depth not positive");
        }
        for (const std::u16string& name : m_helper.classNamesAsked()) {
            require(name == kJavaClassName, "FindClass with the wrong name");
        }
        require(m_helper.activityCount() == 0, "activity asked for although no Java class was found");
    }

private:
    static hosting::AndroidHelper::Options findsNothing() {
        hosting::AndroidHelper::Options options;
        options.lookup = hosting::AndroidHelper::Lookup::Nothing;
        options.activityTitle = nullptr;
        return options;
    }

    // Constructed after the base, which only keeps its address.
    hosting::AndroidHelper m_helper;
    bool m_depthAnswer;
};

// A component as the host holds it, with the memory manager the host last gave it.
struct Slot {
    IComponentBase* object = nullptr;
    HostMemory* memory = nullptr;
};

class Host {
public:
    explicit Host(FuzzedDataProvider& input) : m_in(input) {}
    ~Host() {
        for (Slot& slot : m_slots) {
            DestroyObject(&slot.object);
        }
    }

    void run() {
        while (m_in.remaining_bytes() > 0) {
            step();
        }
    }

private:
    // Host-owned text, NUL-terminated, alive until the end of the input.
    const ShortWchar* keep(std::u16string text) {
        m_texts.push_back(std::make_unique<std::u16string>(std::move(text)));
        return m_texts.back()->c_str();
    }

    std::u16string text() {
        switch (m_in.ConsumeIntegralInRange(0, 4)) {
            case 0: {
                const auto& known = knownTexts();
                return known[m_in.ConsumeIntegralInRange<size_t>(0, known.size() - 1)];
            }
            case 1: {  // a known text with one unit changed, cut or added
                const auto& known = knownTexts();
                std::u16string base = known[m_in.ConsumeIntegralInRange<size_t>(0, known.size() - 1)];
                size_t at = m_in.ConsumeIntegralInRange<size_t>(0, base.size());
                char16_t unit = m_in.ConsumeIntegral<char16_t>();
                switch (m_in.ConsumeIntegralInRange(0, 2)) {
                    case 0:
                        base.insert(at, 1, unit);
                        break;
                    case 1:
                        base.resize(at);
                        break;
                    default:
                        if (at < base.size()) {
                            base[at] = unit;
                        }
                }
                return base;
            }
            case 2: {  // any 16-bit units, zeros and lone surrogates included
                std::string bytes = m_in.ConsumeRandomLengthString(256);
                std::u16string units(bytes.size() / 2, u'\0');
                memcpy(&units[0], bytes.data(), units.size() * 2);
                return units;
            }
            case 3: {  // a huge text of one repeated unit
                size_t length = m_in.ConsumeIntegralInRange<size_t>(1, 1 << 17);
                return std::u16string(length, m_in.ConsumeIntegralInRange<char16_t>(1, 0xFFFF));
            }
            default: {
                std::string bytes = m_in.ConsumeRandomLengthString(64);
                return std::u16string(bytes.begin(), bytes.end());
            }
        }
    }

    // A name argument: null, or host text up to its first zero unit.
    const ShortWchar* name() { return m_in.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : keep(text()); }

    int32_t number() {
        return m_in.ConsumeBool() ? m_in.ConsumeIntegralInRange<int32_t>(-2, 11)
                                  : m_in.ConsumeIntegral<int32_t>();
    }

    tVariant record() {
        tVariant value;
        std::vector<uint8_t> bytes = m_in.ConsumeBytes<uint8_t>(sizeof value);
        bytes.resize(sizeof value);
        memcpy(&value, bytes.data(), sizeof value);
        static constexpr uint16_t kTypes[] = {VariantEmpty, VariantInt32, VariantBool, VariantShortString,
                                              VariantShortString};
        if (m_in.ConsumeIntegralInRange(0, 7) != 0) {
            value.typeCode = m_in.PickValueInArray(kTypes);
        }
        if (value.typeCode == VariantShortString) {
            if (m_in.ConsumeIntegralInRange(0, 7) == 0) {
                value.string.text = nullptr;
                value.string.length = m_in.ConsumeIntegralInRange<uint32_t>(0, 16);
            } else {
                const ShortWchar* units = keep(text());
                uint32_t full = static_cast<uint32_t>(m_texts.back()->size());
                value.string.text = const_cast<ShortWchar*>(units);
                value.string.length =
                    m_in.ConsumeBool() ? full : m_in.ConsumeIntegralInRange<uint32_t>(0, full);
            }
        }
        return value;
    }

    Slot& slot() { return m_slots[m_in.ConsumeIntegralInRange<size_t>(0, m_slots.size() - 1)]; }

    void step() {
        int operation = m_in.ConsumeIntegralInRange(0, 19);
        if (verbose()) {
            fprintf(stderr, "step %d, %zu bytes left\n", operation, m_in.remaining_bytes());
        }
        switch (operation) {
            case 0:
                return create();
            case 1:
                return destroy();
            case 2:
                return setMemory();
            case 3:
                return init();
            case 4:
                return smallCalls();
            case 5:
                return registerExtension();
            case 6:
                return properties();
            case 7:
            case 8:
                return findMethod();
            case 9:
                return methodName();
            case 10:
                return parameterCounts();
            case 11:
            case 12:
            case 13:
                return callAsFunc(number());
            case 14:
            case 15:
                return setParameter();
            case 16:
                return callAsFunc(m_in.ConsumeIntegralInRange<int32_t>(0, kMethodCount - 1));
            case 17:
                return callAsProc();
            case 18:
                return locale();
            default:
                return exports();
        }
    }

    void create() {
        Slot& target = slot();
        const ShortWchar* className = m_in.ConsumeBool() ? keep(kClassName) : name();
        IComponentBase* before = target.object;
        int32_t created = GetClassObject(className, &target.object);
        if (before != nullptr) {
            require(created == 0 && target.object == before, "GetClassObject replaced a live object");
            return;
        }
        bool right = className != nullptr && std::u16string(className) == kClassName;
        require((created != 0) == right, "GetClassObject result");
        require((target.object != nullptr) == right, "GetClassObject object");
        target.memory = nullptr;
    }

    void destroy() {
        if (m_in.ConsumeIntegralInRange(0, 7) == 0) {
            require(DestroyObject(nullptr) == -1, "DestroyObject(null)");
            return;
        }
        Slot& target = slot();
        bool live = target.object != nullptr;
        require(DestroyObject(&target.object) == (live ? 0 : -1), "DestroyObject result");
        require(target.object == nullptr, "DestroyObject left the pointer");
    }

    void setMemory() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        HostMemory* memory = nullptr;
        if (m_in.ConsumeIntegralInRange(0, 4) != 0) {
            int grants = m_in.ConsumeBool() ? -1 : m_in.ConsumeIntegralInRange(0, 8);
            m_memories.push_back(std::make_unique<HostMemory>(grants));
            memory = m_memories.back().get();
        }
        IInitDoneBase* initDone = target.object;
        require(initDone->setMemManager(memory) == (memory != nullptr), "setMemManager result");
        target.memory = memory;
    }

    void init() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        IInitDoneBase* initDone = target.object;
        if (m_in.ConsumeIntegralInRange(0, 4) == 0) {
            require(!initDone->Init(nullptr), "Init(null) succeeded");
            return;
        }
        bool withHelper = m_in.ConsumeBool();
        m_connections.push_back(std::make_unique<Connection>(withHelper, m_in.ConsumeBool()));
        Connection* connection = m_connections.back().get();
        require(initDone->Init(connection) == connection->depthAnswer(), "Init result");
        connection->checkInit();
    }

    void smallCalls() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        IInitDoneBase* initDone = target.object;
        require(initDone->GetInfo() == 2000, "GetInfo");
        if (m_in.ConsumeBool()) {
            initDone->Done();
        }
        ILanguageExtenderBase* extender = target.object;
        require(extender->GetNMethods() == static_cast<int32_t>(kMethodCount), "GetNMethods");
        int32_t method = number();
        require(extender->HasRetVal(method), "HasRetVal");
        tVariant value = record();
        if (m_in.ConsumeBool()) {
            require(!extender->GetParamDefValue(method, number(), nullptr), "GetParamDefValue(null)");
        } else {
            require(!extender->GetParamDefValue(method, number(), &value), "GetParamDefValue result");
            require(value.typeCode == VariantEmpty, "GetParamDefValue type");
        }
    }

    // A host short string the component returned: null, or a fresh block of its memory manager.
    void checkReturned(const Slot& target, const ShortWchar* text, const char* what) {
        if (text == nullptr) {
            return;
        }
        require(target.memory != nullptr, what);
        size_t length = std::char_traits<char16_t>::length(text);
        require(target.memory->holds(text, static_cast<uint32_t>(length)), what);
    }

    void registerExtension() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        ILanguageExtenderBase* extender = target.object;
        if (m_in.ConsumeIntegralInRange(0, 7) == 0) {
            require(!extender->RegisterExtensionAs(nullptr), "RegisterExtensionAs(null)");
            return;
        }
        ShortWchar* extension = reinterpret_cast<ShortWchar*>(uintptr_t{0x5A5A5A5A});
        bool registered = extender->RegisterExtensionAs(&extension);
        require(registered == (extension != nullptr), "RegisterExtensionAs result");
        checkReturned(target, extension, "RegisterExtensionAs text not in host memory");
        require(extension == nullptr || extension == kClassName, "RegisterExtensionAs name");
    }

    void properties() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        ILanguageExtenderBase* extender = target.object;
        int32_t property = number();
        require(extender->GetNProps() == 0, "GetNProps");
        require(extender->FindProp(name()) == -1, "FindProp");
        require(extender->GetPropName(property, number()) == nullptr, "GetPropName");
        require(!extender->IsPropReadable(property) && !extender->IsPropWritable(property),
                "property access");
        tVariant value = record();
        tVariant before = value;
        bool nullRecord = m_in.ConsumeIntegralInRange(0, 7) == 0;
        require(!extender->GetPropVal(property, nullRecord ? nullptr : &value), "GetPropVal");
        require(!extender->SetPropVal(property, nullRecord ? nullptr : &value), "SetPropVal");
        require(memcmp(&value, &before, sizeof value) == 0, "property calls touched the record");
    }

    void findMethod() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        ILanguageExtenderBase* extender = target.object;
        const ShortWchar* method = name();
        std::u16string asSeen = method ? method : u"";
        int32_t expected = -1;
        for (size_t i = 0; i < kMethodCount && expected < 0; ++i) {
            if (asSeen == kNamesEn[i]) {
                expected = static_cast<int32_t>(i);
            }
        }
        for (size_t i = 0; i < kMethodCount && expected < 0; ++i) {
            if (asSeen == kNamesRu[i]) {
                expected = static_cast<int32_t>(i);
            }
        }
        require(extender->FindMethod(method) == expected, "FindMethod");
    }

    void methodName() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        ILanguageExtenderBase* extender = target.object;
        int32_t method = number();
        int32_t alias =
            m_in.ConsumeBool() ? m_in.ConsumeIntegralInRange(-1, 2) : m_in.ConsumeIntegral<int32_t>();
        const ShortWchar* found = extender->GetMethodName(method, alias);
        if (!inMethodRange(method) || (alias != 0 && alias != 1)) {
            require(found == nullptr, "GetMethodName outside the table");
            return;
        }
        checkReturned(target, found, "GetMethodName text not in host memory");
        require(found == nullptr || found == (alias == 0 ? kNamesEn : kNamesRu)[static_cast<size_t>(method)],
                "GetMethodName text");
    }

    void parameterCounts() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        ILanguageExtenderBase* extender = target.object;
        int32_t method = number();
        int32_t expected = inMethodRange(method) ? kParameterCounts[static_cast<size_t>(method)] : 0;
        require(extender->GetNParams(method) == expected, "GetNParams");
    }

    // A record the call wrote as a string must hold a copy in the component's host memory.
    void checkWritten(const Slot& target, const tVariant& after, const tVariant& before) {
        if (memcmp(&after, &before, sizeof after) == 0 || after.typeCode != VariantShortString) {
            return;
        }
        if (after.string.text != nullptr) {
            require(target.memory != nullptr && target.memory->holds(after.string.text, after.string.length),
                    "string record not a host-memory copy of its length");
            require(std::char_traits<char16_t>::length(after.string.text) == after.string.length,
                    "string record length");
        }
    }

    bool isEmptyString(const tVariant& value) {
        return value.typeCode == VariantShortString && value.string.length == 0;
    }

    void callAsFunc(int32_t method) {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        size_t size = m_in.ConsumeIntegralInRange<size_t>(0, 9);
        // Exactly as many records as announced, on the heap, so a read past them is caught.
        std::unique_ptr<tVariant[]> parameters(size ? new tVariant[size] : nullptr);
        for (size_t i = 0; i < size; ++i) {
            parameters[i] = record();
        }
        std::vector<tVariant> before(parameters.get(), parameters.get() + size);
        tVariant result = record();
        tVariant resultBefore = result;
        bool nullResult = m_in.ConsumeIntegralInRange(0, 15) == 0;
        ILanguageExtenderBase* extender = target.object;
        bool called = extender->CallAsFunc(method, nullResult ? nullptr : &result, parameters.get(),
                                           static_cast<int32_t>(size));
        checkWritten(target, result, resultBefore);
        for (size_t i = 0; i < size; ++i) {
            checkWritten(target, parameters[i], before[i]);
        }
        bool untouched = memcmp(&result, &resultBefore, sizeof result) == 0 &&
                         (size == 0 || memcmp(parameters.get(), before.data(), size * sizeof(tVariant)) == 0);
        if (!inMethodRange(method) || method == kDoAdditionalAction) {
            require(!called && untouched, "a call that cannot run changed records or succeeded");
            return;
        }
        if (!called || nullResult) {
            return;
        }
        checkOutcome(method, result, parameters.get());
    }

    // What each method answers when no Java peer exists.
    void checkOutcome(int32_t method, const tVariant& result, const tVariant* p) {
        switch (method) {
            case kGetVersion:
                require(result.typeCode == VariantShortString && result.string.text != nullptr &&
                            std::u16string(result.string.text) == u"1.0.2.1",
                        "GetVersion");
                break;
            case kGetDescription:
                require(result.typeCode == VariantBool && result.boolValue == 1, "GetDescription result");
                require(p[3].typeCode == VariantInt32 && p[3].intValue == 1001, "GetDescription revision");
                require(p[4].typeCode == VariantBool && p[4].boolValue == 0, "GetDescription integration");
                require(p[5].typeCode == VariantBool && p[5].boolValue == 1, "GetDescription installed");
                for (int i : {0, 1, 2, 6}) {
                    require(p[i].typeCode == VariantShortString, "GetDescription texts");
                }
                break;
            case kGetLastError:
                require(result.typeCode == VariantInt32 && result.intValue == 1, "GetLastError result");
                require(p[0].typeCode == VariantShortString, "GetLastError description");
                break;
            case kGetParameters:
                require(result.typeCode == VariantBool && result.boolValue == 1, "GetParameters result");
                require(p[0].typeCode == VariantShortString, "GetParameters document");
                break;
            case kSetParameter:
                require(result.typeCode == VariantBool && result.boolValue <= 1, "SetParameter result");
                break;
            case kOpen:
            case kClose:
                require(result.typeCode == VariantBool && result.boolValue == 0,
                        "device opened without a peer");
                break;
            case kDeviceTest:
                require(result.typeCode == VariantBool && result.boolValue == 0,
                        "device tested without a peer");
                require(isEmptyString(p[0]) && isEmptyString(p[1]), "DeviceTest texts");
                break;
            case kGetAdditionalActions:
                require(result.typeCode == VariantBool && result.boolValue == 1,
                        "GetAdditionalActions result");
                require(isEmptyString(p[0]), "GetAdditionalActions text");
                break;
        }
    }

    // SetParameter with a well-formed name string: accepted exactly for "BluetoothDevice" with a
    // string value.
    void setParameter() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        std::u16string parameterName = m_in.ConsumeBool() ? u"BluetoothDevice" : text();
        tVariant parameters[2];
        parameters[0] = record();
        parameters[0].typeCode = VariantShortString;
        parameters[0].string.text = const_cast<ShortWchar*>(keep(parameterName));
        parameters[0].string.length = static_cast<uint32_t>(parameterName.size());
        parameters[1] = record();
        tVariant result = record();
        ILanguageExtenderBase* extender = target.object;
        require(extender->CallAsFunc(kSetParameter, &result, parameters, 2), "SetParameter call failed");
        require(result.typeCode == VariantBool, "SetParameter result type");
        bool nameAccepted = parameterName == u"BluetoothDevice";
        bool plainName = parameterName.find(u'\0') == std::u16string::npos;
        bool valueIsText =
            parameters[1].typeCode == VariantShortString && parameters[1].string.text != nullptr;
        if (plainName && !nameAccepted) {
            require(result.boolValue == 0, "SetParameter accepted another name");
        }
        if (nameAccepted && valueIsText) {
            require(result.boolValue == 1, "SetParameter refused the device address");
        }
    }

    void callAsProc() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        size_t size = m_in.ConsumeIntegralInRange<size_t>(0, 3);
        std::unique_ptr<tVariant[]> parameters(size ? new tVariant[size] : nullptr);
        for (size_t i = 0; i < size; ++i) {
            parameters[i] = record();
        }
        std::vector<tVariant> before(parameters.get(), parameters.get() + size);
        ILanguageExtenderBase* extender = target.object;
        require(!extender->CallAsProc(number(), parameters.get(), static_cast<int32_t>(size)), "CallAsProc");
        require(size == 0 || memcmp(parameters.get(), before.data(), size * sizeof(tVariant)) == 0,
                "CallAsProc touched its records");
    }

    void locale() {
        Slot& target = slot();
        if (target.object == nullptr) {
            return;
        }
        LocaleBase* locale = target.object;
        locale->SetLocale(name());
    }

    void exports() {
        const ShortWchar* names = GetClassNames();
        require(names != nullptr && names == kClassName, "GetClassNames");
        require(GetClassNames() == names, "GetClassNames made a second list");
        require(SetPlatformCapabilities(m_in.ConsumeIntegral<int32_t>()) == 1, "SetPlatformCapabilities");
        if (m_in.ConsumeIntegralInRange(0, 7) == 0) {
            require(GetClassObject(keep(kClassName), nullptr) == 0, "GetClassObject without a place");
        }
    }

    FuzzedDataProvider& m_in;
    std::vector<std::unique_ptr<std::u16string>> m_texts;
    // Memory managers and connections outlive the components that were given them.
    std::vector<std::unique_ptr<HostMemory>> m_memories;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::array<Slot, 2> m_slots;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __android_log_set_logger(checkLogLine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Host host(input);
    host.run();
    return 0;
}

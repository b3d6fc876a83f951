// Fuzz target with a Java VM in the process: a host creates, initialises and destroys a
// component whose Java peer (the tests' scriptable peer) sends barcodes of any 16-bit units,
// answers the device methods with any text, null or an exception, and sends with longs that
// designate no recorder. Every barcode sent by a live component's own peer must reach that
// component's connection once, unchanged up to its first zero unit (the host's strings end
// there); nothing else may reach it.
//
// libFuzzer and the sanitizers must leave the VM's signals alone: run with -handle_segv=0
// -handle_bus=0 -handle_ill=0 -handle_fpe=0 -detect_leaks=0 and
// ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0 (make fuzz does).

#include "component/component_base.h"
#include "fuzz/fuzz_host.h"
#include "hosting/host.h"
#include "hosting/vm.h"
#include "module/exports.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <jni.h>

#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace fuzzhost;

JavaVM* g_vm = nullptr;
JNIEnv* g_env = nullptr;
jclass g_script = nullptr;  // com.kestra.testsupport.PeerScript, a global reference
size_t g_events = 0;        // external events on every connection

jint JNICALL vmPrint(FILE* stream, const char* format, va_list args) {
    char text[4096];
    int length = vsnprintf(text, sizeof text, format, args);
    require(strstr(text, "WARNING in native method") == nullptr && strstr(text, "FATAL ERROR") == nullptr,
            "-Xcheck:jni reported a problem");
    fputs(text, stream);
    return length;
}

void noPendingException() {
    if (g_env->ExceptionCheck()) {
        g_env->ExceptionDescribe();
        fail("a Java exception is pending");
    }
}

void startVm() {
    hosting::VmSettings settings;
    settings.classPath = KESTRA_FUZZ_CLASSES;
    settings.options = {"-Xcheck:jni", "-Xmx256m", "-XX:+UseSerialGC"};
    settings.print = vmPrint;
    std::string problem;
    g_env = hosting::startVm(settings, &g_vm, problem);
    require(g_env != nullptr, problem.c_str());
    // The VM binds the peer's native by name and runs JNI_OnLoad, as in an app.
    require(hosting::loadLibrary(g_env, KESTRA_FUZZ_LIBRARY, problem), problem.c_str());
    jclass script = g_env->FindClass("com/kestra/testsupport/PeerScript");
    noPendingException();
    g_script = static_cast<jclass>(g_env->NewGlobalRef(script));
    g_env->DeleteLocalRef(script);
}

// A static method of PeerScript, called on the fuzzer's thread (the VM's main thread).
template <typename... Args>
void script(const char* name, const char* signature, Args... args) {
    jmethodID method = g_env->GetStaticMethodID(g_script, name, signature);
    require(method != nullptr, name);
    g_env->CallStaticVoidMethod(g_script, method, args...);
    noPendingException();
}

int instanceCount() {
    jint count =
        g_env->CallStaticIntMethod(g_script, g_env->GetStaticMethodID(g_script, "instanceCount", "()I"));
    noPendingException();
    return count;
}

class JavaText {
public:
    explicit JavaText(const std::u16string& text, bool null = false)
        : m_text(null ? nullptr
                      : g_env->NewString(reinterpret_cast<const jchar*>(text.data()),
                                         static_cast<jsize>(text.size()))) {
        noPendingException();
    }
    ~JavaText() { g_env->DeleteLocalRef(m_text); }
    jstring get() const { return m_text; }

private:
    jstring m_text;
};

// The host's connection, whose Android helper finds classes of the class path and gives a fresh
// activity; every event must be the scanner's.
class Connection : public hosting::HostConnection {
public:
    Connection()
        : hosting::HostConnection(&m_helper,
                                  [this](const ShortWchar* source, const ShortWchar* message,
                                         const ShortWchar* data) { return record(source, message, data); }),
          m_helper(fuzzHelper()) {}

    std::vector<std::u16string> events;

private:
    bool record(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data) {
        require(source != nullptr && std::u16string(source) == u"MobileScannerDevice", "event source");
        require(message != nullptr && std::u16string(message) == u"Штрихкод", "event message");
        require(data != nullptr, "event without data");
        events.emplace_back(data);
        ++g_events;
        return true;
    }
    static hosting::AndroidHelper::Options fuzzHelper() {
        hosting::AndroidHelper::Options options;
        options.activityTitle = "fuzz activity";
        return options;
    }

    // Constructed after the base, which only keeps its address.
    hosting::AndroidHelper m_helper;
};

class Host {
public:
    explicit Host(FuzzedDataProvider& input) : m_in(input) { script("reset", "()V"); }
    ~Host() {
        destroy();
        script("reset", "()V");
    }

    void run() {
        while (m_in.remaining_bytes() > 0) {
            switch (m_in.ConsumeIntegralInRange(0, 7)) {
                case 0:
                case 1:
                    create();
                    break;
                case 2:
                    destroy();
                    break;
                case 3:
                case 4:
                    sendFromPeer();
                    break;
                case 5:
                    sendWithAnyLong();
                    break;
                case 6:
                    scriptPeer();
                    break;
                default:
                    callMethod();
            }
        }
    }

private:
    std::u16string text() {
        std::string bytes = m_in.ConsumeRandomLengthString(512);
        if (m_in.ConsumeBool()) {
            return std::u16string(bytes.begin(), bytes.end());
        }
        std::u16string units(bytes.size() / 2, u'\0');
        memcpy(&units[0], bytes.data(), units.size() * 2);
        return units;
    }

    // Creates the component if there is none, or initialises the live one again.
    void create() {
        if (m_component == nullptr) {
            require(GetClassObject(u"MobileBarcodeScanner", &m_component) != 0, "GetClassObject");
            m_memory = std::make_unique<HostMemory>(-1);
            require(m_component->setMemManager(m_memory.get()), "setMemManager");
            m_connections.push_back(std::make_unique<Connection>());
            m_firstLivePeer = instanceCount();
        }
        int before = instanceCount();
        require(m_component->Init(m_connections.back().get()), "Init");
        // A peer whose constructor throws is not counted.
        require(instanceCount() <= before + 1, "Init made more than one peer");
    }

    void destroy() {
        if (m_component == nullptr) {
            return;
        }
        require(DestroyObject(&m_component) == 0, "DestroyObject");
        m_firstLivePeer = instanceCount();
    }

    void sendFromPeer() {
        int peers = instanceCount();
        if (peers == 0) {
            return;
        }
        int peer = m_in.ConsumeIntegralInRange(0, peers - 1);
        std::u16string barcode = text();
        bool live = m_component != nullptr && peer >= m_firstLivePeer;
        size_t before = g_events;
        JavaText javaBarcode(barcode);
        script("send", "(ILjava/lang/String;)V", static_cast<jint>(peer), javaBarcode.get());
        require(g_events == before + (live ? 1 : 0),
                live ? "a live peer's barcode was lost" : "a dead peer delivered");
        if (live) {
            require(m_connections.back()->events.back() == barcode.substr(0, barcode.find(u'\0')),
                    "the barcode arrived changed");
        }
    }

    void sendWithAnyLong() {
        size_t before = g_events;
        JavaText barcode(text(), m_in.ConsumeIntegralInRange(0, 7) == 0);
        script("sendWith", "(JLjava/lang/String;)V", static_cast<jlong>(m_in.ConsumeIntegral<int64_t>()),
               barcode.get());
        require(g_events == before, "a barcode with a made-up long was delivered");
    }

    void scriptPeer() {
        static const char* const kStringMethods[] = {"GetDevicesList", "GetLastError"};
        static const char* const kBooleanMethods[] = {"OpenDevice", "CloseDevice", "TestDevice"};
        static const char* const kAnyMethod[] = {
            "<init>", "show", "GetDevicesList", "GetLastError", "OpenDevice", "CloseDevice", "TestDevice"};
        switch (m_in.ConsumeIntegralInRange(0, 2)) {
            case 0: {
                std::string method = m_in.PickValueInArray(kStringMethods);
                JavaText methodName(std::u16string(method.begin(), method.end()));
                JavaText value(text(), m_in.ConsumeIntegralInRange(0, 3) == 0);
                script("returnString", "(Ljava/lang/String;Ljava/lang/String;)V", methodName.get(),
                       value.get());
                break;
            }
            case 1: {
                std::string method = m_in.PickValueInArray(kBooleanMethods);
                JavaText methodName(std::u16string(method.begin(), method.end()));
                script("returnBoolean", "(Ljava/lang/String;Z)V", methodName.get(),
                       static_cast<jboolean>(m_in.ConsumeBool()));
                break;
            }
            default: {
                std::string method = m_in.PickValueInArray(kAnyMethod);
                JavaText methodName(std::u16string(method.begin(), method.end()));
                script("throwFrom", "(Ljava/lang/String;Z)V", methodName.get(),
                       static_cast<jboolean>(m_in.ConsumeBool()));
            }
        }
    }

    void callMethod() {
        if (m_component == nullptr) {
            return;
        }
        ILanguageExtenderBase* extender = m_component;
        int32_t method = m_in.ConsumeIntegralInRange(0, 9);
        std::vector<tVariant> parameters(static_cast<size_t>(extender->GetNParams(method)), tVariant{});
        std::u16string address = text();
        if (method == 4) {
            for (tVariant& record : parameters) {
                record.typeCode = VariantShortString;
            }
            parameters[0].string.text = const_cast<ShortWchar*>(u"BluetoothDevice");
            parameters[0].string.length = 15;
            parameters[1].string.text = const_cast<ShortWchar*>(address.c_str());
            parameters[1].string.length = static_cast<uint32_t>(address.size());
        }
        tVariant result{};
        bool called = extender->CallAsFunc(method, &result, parameters.empty() ? nullptr : parameters.data(),
                                           static_cast<int32_t>(parameters.size()));
        noPendingException();
        require(called == (method != 9), "CallAsFunc outcome");
        for (const tVariant& record : parameters) {
            if (method != 4 && record.typeCode == VariantShortString && record.string.text != nullptr) {
                require(m_memory->holds(record.string.text, record.string.length),
                        "string not in host memory");
            }
        }
    }

    FuzzedDataProvider& m_in;
    IComponentBase* m_component = nullptr;
    std::unique_ptr<HostMemory> m_memory;
    std::vector<std::unique_ptr<Connection>> m_connections;
    int m_firstLivePeer = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __android_log_set_logger(checkLogLine);
    startVm();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Host host(input);
    host.run();
    return 0;
}

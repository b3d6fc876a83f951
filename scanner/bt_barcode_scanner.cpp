#include "scanner/bt_barcode_scanner.h"

#include "component/conversions.h"
#include "module/jni_support.h"
#include "module/trace.h"
#include "scanner/java_contract.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

constexpr wchar_t kUnknownError[] = L"Неизвестная ошибка компоненты";
constexpr wchar_t kNoErrorDescription[] = L"Не удалось получить описание ошибки.";

// Recorders that may receive barcodes, by address. The long a Java peer hands to SendBarcode is
// trusted for nothing: a barcode is delivered only to an address registered here, and only when
// it comes from that recorder's own peer. Addresses are reused, so a peer whose recorder is gone
// may hold the address of a newer recorder; comparing the sender with the peer keeps its barcodes
// away from a component they were never meant for. A delivery
// copies the callback and runs it with no lock held, so deliveries never wait for each other;
// the scanner's destructor unregisters its recorders and then waits for their deliveries still
// in flight, so no callback runs once the destructor has returned.
class LiveRecorders {
public:
    // Registers a recorder that the calling thread is constructing; returns its identity, which
    // an address reused later never shares.
    uint64_t add(const void* recorder, const BarcodeCallback* callback) {
        std::lock_guard<std::mutex> lock(m_mutex);
        uint64_t id = m_nextId++;
        m_live[reinterpret_cast<uintptr_t>(recorder)] =
            Entry{id, callback, nullptr, std::this_thread::get_id()};
        return id;
    }

    // From now on only this peer (a global reference) may deliver to the recorder.
    void setPeer(const void* recorder, jobject peer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_live.find(reinterpret_cast<uintptr_t>(recorder));
        if (found != m_live.end()) {
            found->second.peer = peer;
        }
    }

    // Until construction ends, a recorder without peer takes barcodes from the constructing
    // thread only: those are sent by the peer's own constructor, which runs inside NewObject.
    void endConstruction(const void* recorder) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_live.find(reinterpret_cast<uintptr_t>(recorder));
        if (found != m_live.end()) {
            found->second.constructingThread = std::thread::id();
        }
    }

    // No delivery to the recorder starts after this.
    void unregister(const void* recorder) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_live.erase(reinterpret_cast<uintptr_t>(recorder));
    }

    // Waits until no delivery to the recorder runs on another thread. A delivery on the calling
    // thread is further up this very stack (a callback that destroys its own scanner): waiting
    // for it would never end, and it no longer touches the recorder, only its callback's copy.
    void waitForDeliveries(uint64_t id) {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::thread::id self = std::this_thread::get_id();
        m_deliveryEnded.wait(lock, [&] {
            for (const auto& [ticket, delivery] : m_deliveries) {
                if (delivery.recorderId == id && delivery.thread != self) {
                    return false;
                }
            }
            return true;
        });
    }

    // Starts a delivery to the recorder at this address: a copy of its callback, the peer the
    // sender must be (null while the peer is being constructed on this thread) and a ticket for
    // endDelivery. False when no recorder there can take a barcode now.
    bool beginDelivery(uintptr_t address, BarcodeCallback& callback, jobject& peer, uint64_t& ticket) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_live.find(address);
        if (found == m_live.end()) {
            return false;
        }
        if (found->second.peer == nullptr && found->second.constructingThread != std::this_thread::get_id()) {
            return false;
        }
        callback = *found->second.callback;
        peer = found->second.peer;
        ticket = m_nextTicket++;
        m_deliveries[ticket] = Delivery{found->second.id, std::this_thread::get_id()};
        return true;
    }

    void endDelivery(uint64_t ticket) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_deliveries.erase(ticket);
        }
        m_deliveryEnded.notify_all();
    }

private:
    struct Entry {
        uint64_t id;
        const BarcodeCallback* callback;
        jobject peer;
        std::thread::id constructingThread;
    };
    struct Delivery {
        uint64_t recorderId;
        std::thread::id thread;
    };

    std::mutex m_mutex;
    std::condition_variable m_deliveryEnded;
    std::unordered_map<uintptr_t, Entry> m_live;
    std::unordered_map<uint64_t, Delivery> m_deliveries;  // by ticket
    uint64_t m_nextId = 1;
    uint64_t m_nextTicket = 1;
};

// Never destroyed: Java threads may still send barcodes while the process exits.
LiveRecorders& liveRecorders() {
    static LiveRecorders* registry = new LiveRecorders;
    return *registry;
}

// Ends a delivery however the callback leaves.
class DeliveryInFlight {
public:
    explicit DeliveryInFlight(uint64_t ticket) : m_ticket(ticket) {}
    ~DeliveryInFlight() { liveRecorders().endDelivery(m_ticket); }
    DeliveryInFlight(const DeliveryInFlight&) = delete;
    DeliveryInFlight& operator=(const DeliveryInFlight&) = delete;

private:
    uint64_t m_ticket;
};

// A method of the peer's class, or null with the lookup's NoSuchMethodError cleared.
jmethodID findPeerMethod(JNIEnv* env, jclass javaClass, const char* name, const char* signature) {
    jmethodID method = env->GetMethodID(javaClass, name, signature);
    if (method == nullptr) {
        clearPendingException(env);
    }
    return method;
}

}  // namespace

// One connection's Java peer: the class and the peer as global references, and the callback
// that receives the peer's barcodes.
class CBTBarcodeScannerRecorder {
public:
    CBTBarcodeScannerRecorder(IAddInDefBaseEx* connection, const BarcodeCallback& callback, char* owner);
    ~CBTBarcodeScannerRecorder();
    CBTBarcodeScannerRecorder(const CBTBarcodeScannerRecorder&) = delete;
    CBTBarcodeScannerRecorder& operator=(const CBTBarcodeScannerRecorder&) = delete;

    jclass javaClass() const { return m_javaClass; }
    jobject javaPeer() const { return m_javaPeer; }
    uint64_t registryId() const { return m_registryId; }

    // Drops the global references (the Java peer goes to the garbage collector).
    void releaseReferences(JNIEnv* env);

private:
    void createPeer();

    IAndroidHelper* m_androidHelper = nullptr;
    jclass m_javaClass = nullptr;
    jobject m_javaPeer = nullptr;
    IAddInDefBaseEx* m_iConnect;
    BarcodeCallback m_callback;
    uint64_t m_registryId = 0;
};

// The callback is in place and registered before any Java code runs, so a barcode the peer
// sends from its constructor or from show is delivered.
CBTBarcodeScannerRecorder::CBTBarcodeScannerRecorder(IAddInDefBaseEx* connection,
                                                     const BarcodeCallback& callback, char* /*owner*/)
    : m_iConnect(connection), m_callback(callback) {
    m_registryId = liveRecorders().add(this, &m_callback);
    try {
        createPeer();
    } catch (...) {
        liveRecorders().unregister(this);
        throw;
    }
    liveRecorders().endConstruction(this);
}

CBTBarcodeScannerRecorder::~CBTBarcodeScannerRecorder() {
    liveRecorders().unregister(this);
    liveRecorders().waitForDeliveries(m_registryId);
}

void CBTBarcodeScannerRecorder::createPeer() {
    m_iConnect->SetEventBufferDepth(10);
    m_androidHelper = static_cast<IAndroidHelper*>(m_iConnect->GetInterface(kAndroidHelperInterface));
    if (m_androidHelper == nullptr) {
        return;
    }
    jclass foundClass;
    {
        ShortWchar* className = nullptr;
        convToShortWchar(&className, java_contract::kScannerClassName, 0);
        std::unique_ptr<ShortWchar[]> owned(className);
        foundClass = m_androidHelper->FindClass(className);
    }
    if (foundClass == nullptr) {
        return;
    }
    trace("Got class");
    JNIEnv* env = getJniEnv();
    if (env == nullptr) {
        return;
    }
    m_javaClass = static_cast<jclass>(env->NewGlobalRef(LocalRef<jclass>(env, foundClass).get()));
    if (m_javaClass == nullptr) {
        return;
    }
    LocalRef<jobject> activity(env, m_androidHelper->GetActivity());
    clearPendingException(env);
    trace("Got activity");
    jmethodID constructor =
        env->GetMethodID(m_javaClass, java_contract::kConstructorName, java_contract::kConstructorSignature);
    trace("Got init");
    // The peer hands this long back with every barcode: the address as a signed pointer-sized
    // integer, widened to 64 bits.
    auto address = static_cast<jlong>(reinterpret_cast<intptr_t>(this));
    LocalRef<jobject> peer(env, constructor != nullptr
                                    ? env->NewObject(m_javaClass, constructor, activity.get(), address)
                                    : nullptr);
    trace("Got locobj");
    // Also clears the NoSuchMethodError of a constructor the lookup did not find.
    if (clearPendingException(env)) {
        trace("Exception");
    }
    activity.reset();
    if (!peer) {
        return;
    }
    m_javaPeer = env->NewGlobalRef(peer.get());
    peer.reset();
    if (m_javaPeer == nullptr) {
        return;
    }
    liveRecorders().setPeer(this, m_javaPeer);
    jmethodID show =
        findPeerMethod(env, m_javaClass, java_contract::kShowName, java_contract::kShowSignature);
    if (show != nullptr) {
        env->CallVoidMethod(m_javaPeer, show);
        clearPendingException(env);
    }
    trace("Show");
}

void CBTBarcodeScannerRecorder::releaseReferences(JNIEnv* env) {
    if (env == nullptr) {
        return;
    }
    if (m_javaPeer != nullptr) {
        env->DeleteGlobalRef(m_javaPeer);
        m_javaPeer = nullptr;
    }
    if (m_javaClass != nullptr) {
        env->DeleteGlobalRef(m_javaClass);
        m_javaClass = nullptr;
    }
}

CBTBarcodeScanner::CBTBarcodeScanner() = default;

CBTBarcodeScanner::~CBTBarcodeScanner() {
    // Replaced recorders exist only beside a current one.
    if (m_recorder == nullptr) {
        return;
    }
    trace("on destroy");
    // All recorders stop taking barcodes first, then the deliveries still running end, and only
    // then do the references and callbacks go.
    for (const auto& recorder : m_replacedRecorders) {
        liveRecorders().unregister(recorder.get());
    }
    liveRecorders().unregister(m_recorder.get());
    for (const auto& recorder : m_replacedRecorders) {
        liveRecorders().waitForDeliveries(recorder->registryId());
    }
    liveRecorders().waitForDeliveries(m_recorder->registryId());
    JNIEnv* env = getJniEnv();
    for (const auto& recorder : m_replacedRecorders) {
        recorder->releaseReferences(env);
    }
    m_recorder->releaseReferences(env);
    m_replacedRecorders.clear();
    m_recorder.reset();
}

void CBTBarcodeScanner::setIConnect(IAddInDefBaseEx* connection, BarcodeCallback callback) {
    m_iConnect = connection;
    if (m_iConnect == nullptr) {
        return;
    }
    // Room for the recorder being replaced, reserved before the new one exists, so keeping the
    // old one cannot fail once the new peer is there.
    if (m_recorder != nullptr) {
        m_replacedRecorders.reserve(m_replacedRecorders.size() + 1);
    }
    auto recorder =
        std::make_unique<CBTBarcodeScannerRecorder>(m_iConnect, callback, reinterpret_cast<char*>(this));
    if (m_recorder != nullptr) {
        m_replacedRecorders.push_back(std::move(m_recorder));
    }
    m_recorder = std::move(recorder);
}

namespace {

// Calls a boolean method of the current peer, with the address as its argument when one is
// given. A recorder without a peer, a missing method or a call that threw gives false.
bool callBooleanMethod(const CBTBarcodeScannerRecorder* recorder, const char* operation, const char* name,
                       const char* signature, const std::wstring* address) {
    if (recorder == nullptr) {
        return false;
    }
    trace("%s", operation);
    if (recorder->javaPeer() == nullptr) {
        return false;
    }
    JNIEnv* env = getJniEnv();
    if (env == nullptr) {
        return false;
    }
    LocalRef<jstring> javaAddress(env, address != nullptr ? WStr_To_Java(env, *address) : nullptr);
    if (address != nullptr && !javaAddress) {
        clearPendingException(env);
        return false;
    }
    jmethodID method = findPeerMethod(env, recorder->javaClass(), name, signature);
    if (method == nullptr) {
        return false;
    }
    jboolean result = address != nullptr
                          ? env->CallBooleanMethod(recorder->javaPeer(), method, javaAddress.get())
                          : env->CallBooleanMethod(recorder->javaPeer(), method);
    if (clearPendingException(env)) {
        return false;
    }
    return result == JNI_TRUE;
}

}  // namespace

std::wstring CBTBarcodeScanner::GetDevicesChoiceList() {
    if (m_recorder == nullptr) {
        return std::wstring();
    }
    trace("GetDevicesChoiceList");
    if (m_recorder->javaPeer() == nullptr) {
        return std::wstring();
    }
    JNIEnv* env = getJniEnv();
    if (env == nullptr) {
        return std::wstring();
    }
    jmethodID method = findPeerMethod(env, m_recorder->javaClass(), java_contract::kGetDevicesListName,
                                      java_contract::kGetDevicesListSignature);
    if (method == nullptr) {
        return std::wstring();
    }
    trace("GetDevicesList_meth_found");
    LocalRef<jstring> list(env, static_cast<jstring>(env->CallObjectMethod(m_recorder->javaPeer(), method)));
    trace("CallObjectMethod_GetDevicesList");
    if (clearPendingException(env)) {
        return std::wstring();
    }
    // A null list is an empty one.
    return Java_To_WStr(env, list.get());
}

bool CBTBarcodeScanner::OpenDevice() {
    std::wstring address = m_deviceAddress;
    return callBooleanMethod(m_recorder.get(), "OpenDevice", java_contract::kOpenDeviceName,
                             java_contract::kOpenDeviceSignature, &address);
}

bool CBTBarcodeScanner::CloseDevice() {
    return callBooleanMethod(m_recorder.get(), "CloseDevice", java_contract::kCloseDeviceName,
                             java_contract::kCloseDeviceSignature, nullptr);
}

bool CBTBarcodeScanner::TestDevice() {
    std::wstring address = m_deviceAddress;
    return callBooleanMethod(m_recorder.get(), "TestDevice", java_contract::kTestDeviceName,
                             java_contract::kTestDeviceSignature, &address);
}

std::wstring CBTBarcodeScanner::GetLastError() {
    if (m_recorder == nullptr) {
        return kUnknownError;
    }
    trace("GetLastError");
    if (m_recorder->javaPeer() == nullptr) {
        return kUnknownError;
    }
    JNIEnv* env = getJniEnv();
    if (env == nullptr) {
        return kUnknownError;
    }
    jmethodID method = findPeerMethod(env, m_recorder->javaClass(), java_contract::kGetLastErrorName,
                                      java_contract::kGetLastErrorSignature);
    if (method == nullptr) {
        return kUnknownError;
    }
    LocalRef<jstring> text(env, static_cast<jstring>(env->CallObjectMethod(m_recorder->javaPeer(), method)));
    clearPendingException(env);
    if (!text) {
        return kNoErrorDescription;
    }
    return Java_To_WStr(env, text.get());
}

bool CBTBarcodeScanner::SetDeviceAddress(std::wstring address) {
    m_deviceAddress = std::move(address);
    return true;
}

extern "C" JNIEXPORT void JNICALL
Java_com_kestra_MobileBarcodeScannerPackage_MobileBarcodeScanner_SendBarcode(JNIEnv* env, jobject self,
                                                                             jlong recorder,
                                                                             jstring barcode) {
    if (env == nullptr || barcode == nullptr) {
        return;
    }
    try {
        // The recorder's address is the long's low pointer-sized bits.
        auto address = static_cast<uintptr_t>(recorder);
        BarcodeCallback callback;
        jobject peer = nullptr;
        uint64_t ticket = 0;
        if (!liveRecorders().beginDelivery(address, callback, peer, ticket)) {
            return;
        }
        // The destructor waits for this delivery, so the peer's global reference is still valid.
        DeliveryInFlight inFlight(ticket);
        if (peer != nullptr && !env->IsSameObject(self, peer)) {
            return;
        }
        std::wstring text = Java_To_WStr(env, barcode);
        trace("Got_barcode");
        trace("%s", wstrtostr(text).c_str());
        callback(text);
    } catch (...) {
        // Nothing may leave a JNI native; the barcode is lost.
    }
}

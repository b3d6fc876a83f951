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
#include <utility>

namespace {

constexpr wchar_t kUnknownError[] = L"Неизвестная ошибка компоненты";
constexpr wchar_t kNoErrorDescription[] = L"Не удалось получить описание ошибки.";

// What the registry knows of one recorder. The recorder owns it; the registry reads and writes
// it only under its mutex.
struct Registration {
    const BarcodeCallback* callback = nullptr;
    // The only peer (a global reference) that may deliver; null until the peer exists.
    jobject peer = nullptr;
    // Until construction ends, a recorder without peer takes barcodes from this thread only.
    std::thread::id constructingThread;
    // Deliveries started and not yet ended, on every thread.
    uint32_t inFlight = 0;
    bool registered = false;
};

// One delivery running on this thread, from its start until its callback has returned. A
// thread's deliveries nest (a callback may cause another barcode to be sent), so they form a
// stack through outer.
struct DeliveryFrame {
    // Null once its recorder was destroyed by this very thread during the delivery.
    Registration* registration = nullptr;
    const BarcodeCallback* callback = nullptr;
    jobject peer = nullptr;
    DeliveryFrame* outer = nullptr;
    // The callback of a recorder that its own delivery destroyed: it lives until this delivery,
    // the outermost one that runs it, has ended.
    std::unique_ptr<BarcodeCallback> orphanedCallback;
};

// The innermost delivery of the calling thread, or null.
thread_local DeliveryFrame* t_innermostDelivery = nullptr;

// Recorders that may receive barcodes, by address. The long a Java peer hands to SendBarcode is
// trusted for nothing: a barcode is delivered only to an address registered here, and only when
// it comes from that recorder's own peer. Addresses are reused, so a peer whose recorder is gone
// may hold the address of a newer recorder; comparing the sender with the peer keeps its barcodes
// away from a component they were never meant for. A delivery counts itself in its recorder's
// registration and runs the recorder's own callback with no lock held, so deliveries never wait
// for each other; the scanner's destructor unregisters its recorders and then waits for their
// deliveries still in flight, so no callback runs, and none is destroyed while it runs, once the
// destructor has returned.
class LiveRecorders {
public:
    // Registers a recorder that the calling thread is constructing.
    void add(const void* recorder, Registration& registration) {
        std::lock_guard<std::mutex> lock(m_mutex);
        registration.constructingThread = std::this_thread::get_id();
        registration.registered = true;
        m_live[reinterpret_cast<uintptr_t>(recorder)] = &registration;
    }

    // From now on only this peer (a global reference) may deliver to the recorder.
    void setPeer(Registration& registration, jobject peer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        registration.peer = peer;
    }

    // Until construction ends, a recorder without peer takes barcodes from the constructing
    // thread only: those are sent by the peer's own constructor, which runs inside NewObject.
    void endConstruction(Registration& registration) {
        std::lock_guard<std::mutex> lock(m_mutex);
        registration.constructingThread = std::thread::id();
    }

    // No delivery to the recorder starts after this.
    void unregister(const void* recorder, Registration& registration) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!registration.registered) {
            return;
        }
        registration.registered = false;
        m_live.erase(reinterpret_cast<uintptr_t>(recorder));
    }

    // Waits, once the recorder is unregistered, until no delivery to it runs on another thread.
    // A delivery on the calling thread is further up this very stack (a callback that destroys
    // its own scanner): waiting for it would never end. It is detached from the registration
    // instead, which its recorder may then take away.
    void waitForDeliveries(Registration& registration) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_deliveryEnded.wait(lock,
                             [&] { return registration.inFlight == deliveriesOnThisThread(registration); });
        for (DeliveryFrame* frame = t_innermostDelivery; frame != nullptr; frame = frame->outer) {
            if (frame->registration == &registration) {
                frame->registration = nullptr;
                --registration.inFlight;
            }
        }
    }

    // Starts a delivery to the recorder at this address: the frame gets its callback and the
    // peer the sender must be (null while the peer is being constructed on this thread), and
    // becomes the thread's innermost delivery. False when no recorder there can take a barcode
    // now; the frame is then untouched.
    bool beginDelivery(uintptr_t address, DeliveryFrame& frame) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_live.find(address);
        if (found == m_live.end()) {
            return false;
        }
        Registration& registration = *found->second;
        if (registration.peer == nullptr && registration.constructingThread != std::this_thread::get_id()) {
            return false;
        }
        ++registration.inFlight;
        frame.registration = &registration;
        frame.callback = registration.callback;
        frame.peer = registration.peer;
        frame.outer = t_innermostDelivery;
        t_innermostDelivery = &frame;
        return true;
    }

    // Ends the thread's innermost delivery.
    void endDelivery(DeliveryFrame& frame) {
        t_innermostDelivery = frame.outer;
        if (frame.registration == nullptr) {
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        --frame.registration->inFlight;
        // Only the destruction of an unregistered recorder waits; the registration may be gone
        // as soon as the mutex is released, so the waiter is woken before.
        if (!frame.registration->registered) {
            m_deliveryEnded.notify_all();
        }
    }

private:
    static uint32_t deliveriesOnThisThread(const Registration& registration) {
        uint32_t count = 0;
        for (const DeliveryFrame* frame = t_innermostDelivery; frame != nullptr; frame = frame->outer) {
            count += frame->registration == &registration ? 1 : 0;
        }
        return count;
    }

    std::mutex m_mutex;
    std::condition_variable m_deliveryEnded;
    std::unordered_map<uintptr_t, Registration*> m_live;
};

// Never destroyed: Java threads may still send barcodes while the process exits.
LiveRecorders& liveRecorders() {
    static LiveRecorders* registry = new LiveRecorders;
    return *registry;
}

// Hands a recorder's callback, when a delivery on this thread still runs it, to the outermost
// such delivery, which destroys it when it ends.
void keepWhileRunningOnThisThread(std::unique_ptr<BarcodeCallback>& callback) {
    DeliveryFrame* outermost = nullptr;
    for (DeliveryFrame* frame = t_innermostDelivery; frame != nullptr; frame = frame->outer) {
        if (frame->callback == callback.get()) {
            outermost = frame;
        }
    }
    if (outermost != nullptr) {
        outermost->orphanedCallback = std::move(callback);
    }
}

// Ends a delivery however the callback leaves.
class DeliveryInFlight {
public:
    explicit DeliveryInFlight(DeliveryFrame& frame) : m_frame(frame) {}
    ~DeliveryInFlight() { liveRecorders().endDelivery(m_frame); }
    DeliveryInFlight(const DeliveryInFlight&) = delete;
    DeliveryInFlight& operator=(const DeliveryInFlight&) = delete;

private:
    DeliveryFrame& m_frame;
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
    CBTBarcodeScannerRecorder(IAddInDefBaseEx* connection, BarcodeCallback callback, char* owner);
    ~CBTBarcodeScannerRecorder();
    CBTBarcodeScannerRecorder(const CBTBarcodeScannerRecorder&) = delete;
    CBTBarcodeScannerRecorder& operator=(const CBTBarcodeScannerRecorder&) = delete;

    jclass javaClass() const { return m_javaClass; }
    jobject javaPeer() const { return m_javaPeer; }
    // No barcode reaches the recorder once this has returned, and none is still on its way to it
    // on another thread.
    void stopDeliveries();
    // No delivery to the recorder starts after this.
    void unregister();

    // Drops the global references (the Java peer goes to the garbage collector).
    void releaseReferences(JNIEnv* env);

private:
    void createPeer();

    IAndroidHelper* m_androidHelper = nullptr;
    jclass m_javaClass = nullptr;
    jobject m_javaPeer = nullptr;
    IAddInDefBaseEx* m_iConnect;
    // On the heap, so that a delivery that destroys this recorder can keep it until it returns.
    std::unique_ptr<BarcodeCallback> m_callback;
    Registration m_registration;
};

// The callback is in place and registered before any Java code runs, so a barcode the peer
// sends from its constructor or from show is delivered.
CBTBarcodeScannerRecorder::CBTBarcodeScannerRecorder(IAddInDefBaseEx* connection, BarcodeCallback callback,
                                                     char* /*owner*/)
    : m_iConnect(connection), m_callback(std::make_unique<BarcodeCallback>(std::move(callback))) {
    m_registration.callback = m_callback.get();
    liveRecorders().add(this, m_registration);
    try {
        createPeer();
    } catch (...) {
        stopDeliveries();
        keepWhileRunningOnThisThread(m_callback);
        throw;
    }
    liveRecorders().endConstruction(m_registration);
}

CBTBarcodeScannerRecorder::~CBTBarcodeScannerRecorder() {
    stopDeliveries();
    keepWhileRunningOnThisThread(m_callback);
}

void CBTBarcodeScannerRecorder::unregister() {
    liveRecorders().unregister(this, m_registration);
}

void CBTBarcodeScannerRecorder::stopDeliveries() {
    unregister();
    liveRecorders().waitForDeliveries(m_registration);
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
    liveRecorders().setPeer(m_registration, m_javaPeer);
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
        recorder->unregister();
    }
    m_recorder->unregister();
    for (const auto& recorder : m_replacedRecorders) {
        recorder->stopDeliveries();
    }
    m_recorder->stopDeliveries();
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
    auto recorder = std::make_unique<CBTBarcodeScannerRecorder>(m_iConnect, std::move(callback),
                                                                reinterpret_cast<char*>(this));
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
    return callBooleanMethod(m_recorder.get(), "OpenDevice", java_contract::kOpenDeviceName,
                             java_contract::kOpenDeviceSignature, &m_deviceAddress);
}

bool CBTBarcodeScanner::CloseDevice() {
    return callBooleanMethod(m_recorder.get(), "CloseDevice", java_contract::kCloseDeviceName,
                             java_contract::kCloseDeviceSignature, nullptr);
}

bool CBTBarcodeScanner::TestDevice() {
    return callBooleanMethod(m_recorder.get(), "TestDevice", java_contract::kTestDeviceName,
                             java_contract::kTestDeviceSignature, &m_deviceAddress);
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
        DeliveryFrame frame;
        if (!liveRecorders().beginDelivery(address, frame)) {
            return;
        }
        // The destructor waits for this delivery, so the peer's global reference and the
        // callback are still valid.
        DeliveryInFlight inFlight(frame);
        if (frame.peer != nullptr && !env->IsSameObject(self, frame.peer)) {
            return;
        }
        std::wstring text = Java_To_WStr(env, barcode);
        trace("Got_barcode");
        traceText(wstrtostr(text).c_str());
        (*frame.callback)(text);
    } catch (...) {
        // Nothing may leave a JNI native; the barcode is lost.
    }
}

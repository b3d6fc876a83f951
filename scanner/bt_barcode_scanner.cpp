#include "scanner/bt_barcode_scanner.h"

#include "component/conversions.h"
#include "module/jni_support.h"
#include "module/trace.h"
#include "scanner/java_contract.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t kUnknownError[] = L"Неизвестная ошибка компоненты";
constexpr wchar_t kNoErrorDescription[] = L"Не удалось получить описание ошибки.";

// What every delivery to one recorder needs: its callback. The recorder and each delivery
// running to it share it, so a callback that destroys its own scanner lives until it returns.
struct DeliveryState {
    explicit DeliveryState(BarcodeCallback callback) : callback(std::move(callback)) {}
    const BarcodeCallback callback;
    // Deliveries started and not yet ended, on every thread; read and written under the
    // registry's mutex.
    uint32_t running = 0;
};

// The states of the deliveries running on this thread, innermost last: a callback may cause
// another barcode to be sent on its own thread.
thread_local std::vector<const DeliveryState*> t_runningDeliveries;

// Recorders that may receive barcodes, by address. The long a Java peer hands to SendBarcode is
// trusted for nothing: a barcode is delivered only to an address registered here. No two
// recorders ever share an address (see RetireRecorder), so a peer whose recorder is gone finds
// nothing here, whether its native is an instance or a static one.
// Threads: the host's thread adds and removes recorders and waits for their deliveries; Java
// threads begin and end deliveries. Everything here is read and written under the one mutex,
// which is never held while a callback runs or while a delivery state may be destroyed, so
// deliveries never wait for each other and a callback may do anything, destroy included.
class LiveRecorders {
public:
    // Before the Java peer exists: a barcode it sends from its constructor, from show or from a
    // thread it starts meanwhile is delivered.
    void add(const void* recorder, std::shared_ptr<DeliveryState> state) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_live[reinterpret_cast<uintptr_t>(recorder)] = std::move(state);
    }

    // No delivery to the recorder starts after this. Removing it twice does nothing.
    void remove(const void* recorder) {
        std::shared_ptr<DeliveryState> removed;
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_live.find(reinterpret_cast<uintptr_t>(recorder));
        if (found != m_live.end()) {
            // Declared before the lock, so released after it.
            removed = std::move(found->second);
            m_live.erase(found);
        }
    }

    // Once the recorder is removed: waits until no delivery to it runs on another thread. One
    // on the calling thread is further up this very stack (a callback that destroys its own
    // scanner) and keeps the state alive itself; waiting for it would never end. A wait of more
    // than a second is logged once: a host whose event handler waits for the destroying thread
    // hangs here for good.
    void waitForDeliveries(const DeliveryState& state) {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto othersEnded = [&] { return state.running == deliveriesOnThisThread(state); };
        if (m_deliveryEnded.wait_for(lock, std::chrono::seconds(1), othersEnded)) {
            return;
        }
        uint32_t waiting = state.running - deliveriesOnThisThread(state);
        lock.unlock();
        trace("on destroy: still waiting, deliveries running on other threads: %u", waiting);
        lock.lock();
        m_deliveryEnded.wait(lock, othersEnded);
    }

    // The state of the recorder at this address, counted as running one more delivery; null
    // when no recorder there takes barcodes.
    std::shared_ptr<DeliveryState> beginDelivery(uintptr_t address) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_live.find(address);
        if (found == m_live.end()) {
            return nullptr;
        }
        ++found->second->running;
        return found->second;
    }

    // Ends a delivery, then lets go of its state with no lock held: once the recorder is gone
    // this may be the last reference, and the callback is destroyed here.
    void endDelivery(std::shared_ptr<DeliveryState>& state) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --state->running;
        }
        // The registry is never destroyed, so it may be notified after the lock is released.
        m_deliveryEnded.notify_all();
        state.reset();
    }

private:
    static uint32_t deliveriesOnThisThread(const DeliveryState& state) {
        return static_cast<uint32_t>(
            std::count(t_runningDeliveries.begin(), t_runningDeliveries.end(), &state));
    }

    std::mutex m_mutex;
    std::condition_variable m_deliveryEnded;
    std::unordered_map<uintptr_t, std::shared_ptr<DeliveryState>> m_live;
};

// Never destroyed: Java threads may still send barcodes while the process exits.
LiveRecorders& liveRecorders() {
    static LiveRecorders* registry = new LiveRecorders;
    return *registry;
}

// One delivery to the recorder at an address, from its start to its end, on this thread.
class Delivery {
public:
    explicit Delivery(uintptr_t address) {
        // Room first: nothing may fail once the delivery counts as running.
        t_runningDeliveries.reserve(t_runningDeliveries.size() + 1);
        m_state = liveRecorders().beginDelivery(address);
        if (m_state) {
            t_runningDeliveries.push_back(m_state.get());
        }
    }
    ~Delivery() {
        if (m_state) {
            t_runningDeliveries.pop_back();
            liveRecorders().endDelivery(m_state);
        }
    }
    Delivery(const Delivery&) = delete;
    Delivery& operator=(const Delivery&) = delete;

    // Null when no live recorder has the address.
    const BarcodeCallback* callback() const { return m_state ? &m_state->callback : nullptr; }

private:
    std::shared_ptr<DeliveryState> m_state;
};

// Storage of destroyed recorders, linked through its first bytes: kept, and so never handed
// out again, and still reachable for leak checkers.
std::atomic<void*> g_retiredRecorders{nullptr};

void retireStorage(void* storage) noexcept {
    void* retired = g_retiredRecorders.load(std::memory_order_relaxed);
    do {
        *static_cast<void**>(storage) = retired;
    } while (!g_retiredRecorders.compare_exchange_weak(retired, storage, std::memory_order_release,
                                                       std::memory_order_relaxed));
}

// Asks the peer of a recorder that has one to close its device (CloseDevice, as the host's Close
// does), whether or not a device is open: the peer may have one open that the library does not
// know of, and closing none is harmless.
void closeDeviceOfPeer(const CBTBarcodeScannerRecorder* recorder);

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
// Threads: made, used and destroyed on the host's thread only. Deliveries on Java threads never
// touch the recorder itself: they find its callback's state in the registry by its address.
class CBTBarcodeScannerRecorder {
public:
    CBTBarcodeScannerRecorder(IAddInDefBaseEx* connection, BarcodeCallback callback, char* owner);
    ~CBTBarcodeScannerRecorder();
    CBTBarcodeScannerRecorder(const CBTBarcodeScannerRecorder&) = delete;
    CBTBarcodeScannerRecorder& operator=(const CBTBarcodeScannerRecorder&) = delete;

    jclass javaClass() const { return m_javaClass.get(); }
    jobject javaPeer() const { return m_javaPeer.get(); }
    // No delivery to the recorder starts after this. Destruction unregisters it as well.
    void unregister() { liveRecorders().remove(this); }

private:
    // Once unregistered: no delivery to the recorder runs on another thread after this.
    void waitForDeliveries() const { liveRecorders().waitForDeliveries(*m_callback); }
    void createPeer();

    IAndroidHelper* m_androidHelper = nullptr;
    // Declared in this order so that the peer's reference is deleted before the class's.
    GlobalRef<jclass> m_javaClass;
    GlobalRef<jobject> m_javaPeer;
    IAddInDefBaseEx* m_iConnect;
    // Shared with the deliveries running to this recorder.
    std::shared_ptr<DeliveryState> m_callback;
};

// The callback is in place and registered before any Java code runs, so a barcode the peer
// sends from its constructor, from show or from a thread it starts meanwhile is delivered.
CBTBarcodeScannerRecorder::CBTBarcodeScannerRecorder(IAddInDefBaseEx* connection, BarcodeCallback callback,
                                                     char* /*owner*/)
    : m_iConnect(connection), m_callback(std::make_shared<DeliveryState>(std::move(callback))) {
    liveRecorders().add(this, m_callback);
    try {
        createPeer();
    } catch (...) {
        unregister();
        waitForDeliveries();
        throw;
    }
}

// The Java peer and its class are released after this body, once no delivery runs.
CBTBarcodeScannerRecorder::~CBTBarcodeScannerRecorder() {
    unregister();
    waitForDeliveries();
}

void RetireRecorder::operator()(CBTBarcodeScannerRecorder* recorder) const noexcept {
    recorder->~CBTBarcodeScannerRecorder();
    retireStorage(recorder);
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
    // The host's lookup runs through JNI and may leave its exception pending (a class the app
    // lacks); no JNI call may follow one.
    clearHostException();
    if (foundClass == nullptr) {
        return;
    }
    trace("Got class");
    JNIEnv* env = getJniEnv();
    if (env == nullptr) {
        return;
    }
    m_javaClass.reset(env, LocalRef<jclass>(env, foundClass).get());
    if (!m_javaClass) {
        return;
    }
    LocalRef<jobject> activity(env, m_androidHelper->GetActivity());
    // The same for the host's activity.
    clearPendingException(env);
    trace("Got activity");
    jmethodID constructor = env->GetMethodID(m_javaClass.get(), java_contract::kConstructorName,
                                             java_contract::kConstructorSignature);
    trace("Got init");
    // The peer hands this long back with every barcode: the address as a signed pointer-sized
    // integer, widened to 64 bits.
    auto address = static_cast<jlong>(reinterpret_cast<intptr_t>(this));
    LocalRef<jobject> peer(env, constructor != nullptr
                                    ? env->NewObject(m_javaClass.get(), constructor, activity.get(), address)
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
    m_javaPeer.reset(env, peer.get());
    peer.reset();
    if (!m_javaPeer) {
        return;
    }
    jmethodID show =
        findPeerMethod(env, m_javaClass.get(), java_contract::kShowName, java_contract::kShowSignature);
    if (show != nullptr) {
        env->CallVoidMethod(m_javaPeer.get(), show);
        clearPendingException(env);
    }
    trace("Show");
}

CBTBarcodeScanner::CBTBarcodeScanner() = default;

CBTBarcodeScanner::~CBTBarcodeScanner() {
    // Replaced recorders exist only beside a current one.
    if (m_recorder == nullptr) {
        return;
    }
    trace("on destroy");
    // Every recorder stops taking barcodes, and every peer closes its device, so no link and no
    // reader thread outlives the component (a scanner takes one link: the next component could
    // not open it). Then each recorder, destroyed, waits for its deliveries still running on
    // other threads and releases its Java peer.
    for (const auto& recorder : m_replacedRecorders) {
        recorder->unregister();
    }
    m_recorder->unregister();
    for (const auto& recorder : m_replacedRecorders) {
        closeDeviceOfPeer(recorder.get());
    }
    closeDeviceOfPeer(m_recorder.get());
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
    // The storage is retired even when construction fails: the Java peer may exist by then.
    void* storage = ::operator new(sizeof(CBTBarcodeScannerRecorder));
    RecorderPtr recorder;
    try {
        recorder.reset(new (storage) CBTBarcodeScannerRecorder(m_iConnect, std::move(callback),
                                                               reinterpret_cast<char*>(this)));
    } catch (...) {
        retireStorage(storage);
        throw;
    }
    if (m_recorder != nullptr) {
        m_replacedRecorders.push_back(std::move(m_recorder));
    }
    m_recorder = std::move(recorder);
    // The replaced peer keeps delivering what it has read, but its device is closed, so the new
    // peer can open the same scanner and each barcode reaches the host once.
    if (!m_replacedRecorders.empty()) {
        closeDeviceOfPeer(m_replacedRecorders.back().get());
    }
}

namespace {

// Calls a method of the current peer: writes the operation's name to the log, looks the method
// up and hands call the environment, the peer and the method. Without a recorder nothing is
// written; without a peer, an environment or the method the call does not run. Either way the
// result is then the fallback.
template <typename Result, typename Call>
Result callPeer(const CBTBarcodeScannerRecorder* recorder, const char* operation, const char* name,
                const char* signature, Result fallback, Call call) {
    if (recorder == nullptr) {
        return fallback;
    }
    trace("%s", operation);
    if (recorder->javaPeer() == nullptr) {
        return fallback;
    }
    JNIEnv* env = getJniEnv();
    if (env == nullptr) {
        return fallback;
    }
    jmethodID method = findPeerMethod(env, recorder->javaClass(), name, signature);
    if (method == nullptr) {
        return fallback;
    }
    return call(env, recorder->javaPeer(), method);
}

// A boolean method of the peer, with the address as its argument when one is given. Only JNI
// true counts; a call that threw gives false.
bool callBooleanMethod(const CBTBarcodeScannerRecorder* recorder, const char* operation, const char* name,
                       const char* signature, const std::wstring* address) {
    return callPeer(recorder, operation, name, signature, false,
                    [&](JNIEnv* env, jobject peer, jmethodID method) {
                        jboolean result;
                        if (address != nullptr) {
                            LocalRef<jstring> javaAddress(env, WStr_To_Java(env, *address));
                            if (!javaAddress) {
                                clearPendingException(env);
                                return false;
                            }
                            result = env->CallBooleanMethod(peer, method, javaAddress.get());
                        } else {
                            result = env->CallBooleanMethod(peer, method);
                        }
                        return !clearPendingException(env) && result == JNI_TRUE;
                    });
}

bool closeDeviceOf(const CBTBarcodeScannerRecorder* recorder) {
    return callBooleanMethod(recorder, "CloseDevice", java_contract::kCloseDeviceName,
                             java_contract::kCloseDeviceSignature, nullptr);
}

void closeDeviceOfPeer(const CBTBarcodeScannerRecorder* recorder) {
    if (recorder->javaPeer() != nullptr) {
        closeDeviceOf(recorder);
    }
}

}  // namespace

std::wstring CBTBarcodeScanner::GetDevicesChoiceList() {
    return callPeer(m_recorder.get(), "GetDevicesChoiceList", java_contract::kGetDevicesListName,
                    java_contract::kGetDevicesListSignature, std::wstring(),
                    [](JNIEnv* env, jobject peer, jmethodID method) {
                        trace("GetDevicesList_meth_found");
                        LocalRef<jstring> list(env,
                                               static_cast<jstring>(env->CallObjectMethod(peer, method)));
                        trace("CallObjectMethod_GetDevicesList");
                        if (clearPendingException(env)) {
                            return std::wstring();
                        }
                        // A null list is an empty one.
                        return Java_To_WStr(env, list.get());
                    });
}

bool CBTBarcodeScanner::OpenDevice() {
    return callBooleanMethod(m_recorder.get(), "OpenDevice", java_contract::kOpenDeviceName,
                             java_contract::kOpenDeviceSignature, &m_deviceAddress);
}

bool CBTBarcodeScanner::CloseDevice() {
    return closeDeviceOf(m_recorder.get());
}

bool CBTBarcodeScanner::TestDevice() {
    return callBooleanMethod(m_recorder.get(), "TestDevice", java_contract::kTestDeviceName,
                             java_contract::kTestDeviceSignature, &m_deviceAddress);
}

std::wstring CBTBarcodeScanner::GetLastError() {
    return callPeer(m_recorder.get(), "GetLastError", java_contract::kGetLastErrorName,
                    java_contract::kGetLastErrorSignature, std::wstring(kUnknownError),
                    [](JNIEnv* env, jobject peer, jmethodID method) {
                        LocalRef<jstring> text(env,
                                               static_cast<jstring>(env->CallObjectMethod(peer, method)));
                        // A call that threw leaves no text either.
                        clearPendingException(env);
                        return text ? Java_To_WStr(env, text.get()) : std::wstring(kNoErrorDescription);
                    });
}

bool CBTBarcodeScanner::SetDeviceAddress(std::wstring address) {
    m_deviceAddress = std::move(address);
    return true;
}

extern "C" JNIEXPORT void JNICALL
Java_com_kestra_MobileBarcodeScannerPackage_MobileBarcodeScanner_SendBarcode(JNIEnv* env, jobject /*self*/,
                                                                             jlong recorder,
                                                                             jstring barcode) {
    if (env == nullptr || barcode == nullptr) {
        return;
    }
    try {
        // The recorder's address is the long's low pointer-sized bits. The object argument is
        // the peer or, for a static native, its class: either way it names no recorder.
        Delivery delivery(static_cast<uintptr_t>(recorder));
        if (delivery.callback() == nullptr) {
            return;
        }
        std::wstring text = Java_To_WStr(env, barcode);
        trace("Got_barcode");
        traceText(text);
        (*delivery.callback())(text);
        // The host's handler may have left a Java exception pending on this thread; returned
        // with it, SendBarcode would throw in the peer's reader.
        clearPendingException(env);
    } catch (...) {
        // Nothing may leave a JNI native; the barcode is lost.
    }
}

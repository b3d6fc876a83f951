#include "tests/support/host_connection.h"

#include "hosting/vm.h"
#include "tests/support/thread_env.h"

namespace testsupport {

std::u16string shortText(const ShortWchar* text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

tVariant hostString(const char16_t* text) {
    tVariant value{};
    value.typeCode = VariantShortString;
    value.string.text = const_cast<ShortWchar*>(text);
    value.string.length = static_cast<uint32_t>(std::char_traits<char16_t>::length(text));
    return value;
}

HostConnection::HostConnection(Helper helper) : m_helperKind(helper), m_helper(*this) {}

HostConnection::~HostConnection() = default;

bool HostConnection::SetEventBufferDepth(int32_t depth) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_depths.push_back(depth);
    return true;
}

bool HostConnection::ExternalEvent(const ShortWchar* source, const ShortWchar* message,
                                   const ShortWchar* data) {
    RecordedEvent event{shortText(source), shortText(message), shortText(data), std::this_thread::get_id()};
    std::function<void(const RecordedEvent&)> onEvent;
    bool result;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
        onEvent = m_onEvent;
        result = m_externalEventResult;
    }
    m_eventArrived.notify_all();
    if (onEvent) {
        onEvent(event);
    }
    return result;
}

void* HostConnection::GetInterface(int32_t index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interfaceRequests.push_back(index);
    if (index == kAndroidHelperInterface && m_helperKind != Helper::None) {
        return static_cast<IAndroidHelper*>(&m_helper);
    }
    return nullptr;
}

void HostConnection::setExternalEventResult(bool result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_externalEventResult = result;
}

void HostConnection::setOnEvent(std::function<void(const RecordedEvent&)> onEvent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onEvent = std::move(onEvent);
}

std::vector<int32_t> HostConnection::eventBufferDepths() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_depths;
}

std::vector<int32_t> HostConnection::interfaceRequests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interfaceRequests;
}

std::vector<RecordedEvent> HostConnection::events() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

size_t HostConnection::eventCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
}

bool HostConnection::waitForEvents(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_eventArrived.wait_for(lock, timeout, [&] { return m_events.size() >= count; });
}

std::vector<std::u16string> HostConnection::classNamesAsked() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_classNamesAsked;
}

int HostConnection::activityCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_activityCount;
}

// A fresh stand-in activity, as a local reference of the calling thread.
jobject HostConnection::AndroidHelper::GetActivity() {
    {
        std::lock_guard<std::mutex> lock(m_owner.m_mutex);
        ++m_owner.m_activityCount;
    }
    JNIEnv* env = currentEnv();
    if (env == nullptr) {
        return nullptr;
    }
    return hosting::newActivity(env, "test activity");
}

// Finds the class by its dotted name on the calling thread, as the host does; null (and no
// pending exception) when it is missing or the helper is told to find nothing, null with the
// VM's exception pending when it is told to throw.
jclass HostConnection::AndroidHelper::FindClass(const ShortWchar* className) {
    std::u16string dotted = shortText(className);
    {
        std::lock_guard<std::mutex> lock(m_owner.m_mutex);
        m_owner.m_classNamesAsked.push_back(dotted);
    }
    if (m_owner.m_helperKind == Helper::FindsNothing) {
        return nullptr;
    }
    JNIEnv* env = currentEnv();
    if (env == nullptr) {
        return nullptr;
    }
    if (m_owner.m_helperKind == Helper::Throws) {
        return env->FindClass("com/kestra/NoSuchScannerClass");
    }
    return hosting::findClass(env, className);
}

}  // namespace testsupport

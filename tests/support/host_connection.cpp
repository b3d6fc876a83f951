#include "tests/support/host_connection.h"

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

namespace {

hosting::AndroidHelper::Options helperOptions(HostConnection::Helper helper) {
    hosting::AndroidHelper::Options options;
    options.activityTitle = "test activity";
    if (helper == HostConnection::Helper::FindsNothing) {
        options.lookup = hosting::AndroidHelper::Lookup::Nothing;
    } else if (helper == HostConnection::Helper::Throws) {
        options.lookup = hosting::AndroidHelper::Lookup::Throws;
    }
    return options;
}

}  // namespace

HostConnection::HostConnection(Helper helper)
    : HostConnection(helperOptions(helper), helper != Helper::None) {}

HostConnection::HostConnection(hosting::AndroidHelper::Options helper) : HostConnection(helper, true) {}

HostConnection::HostConnection(hosting::AndroidHelper::Options helper, bool withHelper)
    : hosting::HostConnection(withHelper ? &m_helper : nullptr,
                              [this](const ShortWchar* source, const ShortWchar* message,
                                     const ShortWchar* data) { return record(source, message, data); }),
      m_helper(helper) {}

HostConnection::~HostConnection() = default;

bool HostConnection::record(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data) {
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

void HostConnection::setExternalEventResult(bool result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_externalEventResult = result;
}

void HostConnection::setOnEvent(std::function<void(const RecordedEvent&)> onEvent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onEvent = std::move(onEvent);
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

}  // namespace testsupport

// A host connection for tests: the shared stand-in, recording every external event as well, with
// an Android helper (or none) whose FindClass finds the app's Java classes in the test VM (or is
// told to find nothing, or to throw).
//
// All recording is thread-safe: external events arrive on whatever thread delivers a barcode.
#pragma once

#include "host/host_api.h"
#include "hosting/host.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct RecordedEvent {
    std::u16string source;
    std::u16string message;
    std::u16string data;
    std::thread::id thread;  // the thread that called ExternalEvent
};

class HostConnection : public hosting::HostConnection {
public:
    enum class Helper {
        FindsClass,    // GetInterface(2) gives a helper that finds classes of the test class path
        FindsNothing,  // it gives a helper whose FindClass always returns null
        Throws,        // its FindClass returns null with the VM's NoClassDefFoundError pending
        None,          // GetInterface(2) returns null
    };

    explicit HostConnection(Helper helper = Helper::FindsClass);
    // A helper as the options say (a class found whatever is asked, no activity...).
    explicit HostConnection(hosting::AndroidHelper::Options helper);
    ~HostConnection() override;
    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;

    // What ExternalEvent returns (true unless told otherwise).
    void setExternalEventResult(bool result);
    // Runs inside ExternalEvent after the event is recorded, on the calling thread, with no lock
    // of this object held (for instance to destroy the component from within a delivery).
    void setOnEvent(std::function<void(const RecordedEvent&)> onEvent);

    // Every external event, in order of arrival.
    std::vector<RecordedEvent> events() const;
    size_t eventCount() const;
    // Waits until at least count events have arrived; false if the timeout passed first.
    bool waitForEvents(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // The Android helper's calls: the class names FindClass was asked for, and GetActivity calls.
    std::vector<std::u16string> classNamesAsked() const { return m_helper.classNamesAsked(); }
    int activityCount() const { return m_helper.activityCount(); }

private:
    HostConnection(hosting::AndroidHelper::Options helper, bool withHelper);
    bool record(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data);

    // Constructed after the base, which only keeps its address.
    hosting::AndroidHelper m_helper;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_eventArrived;
    bool m_externalEventResult = true;
    std::function<void(const RecordedEvent&)> m_onEvent;
    std::vector<RecordedEvent> m_events;
};

// Host short string (NUL-terminated) from a UTF-16 literal, and back, for comparing with
// recorded events.
std::u16string shortText(const ShortWchar* text);

// A string record as the host passes one in: pointing at text the host owns, which must outlive it.
tVariant hostString(const char16_t* text);

}  // namespace testsupport

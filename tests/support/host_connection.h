// A host connection for tests, written from the host contract: it records every event-buffer
// depth and every external event, and hands out an Android helper (or none) whose FindClass
// finds the app's Java classes in the test VM (or is told to find nothing).
//
// All recording is thread-safe: external events arrive on whatever thread delivers a barcode.
#pragma once

#include "host/host_api.h"

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

class HostConnection : public IAddInDefBaseEx {
public:
    enum class Helper {
        FindsClass,    // GetInterface(2) gives a helper that finds classes of the test class path
        FindsNothing,  // it gives a helper whose FindClass always returns null
        Throws,        // its FindClass returns null with the VM's NoClassDefFoundError pending
        None,          // GetInterface(2) returns null
    };

    explicit HostConnection(Helper helper = Helper::FindsClass);
    ~HostConnection() override;
    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;

    // The host contract.
    bool SetEventBufferDepth(int32_t depth) override;
    bool ExternalEvent(const ShortWchar* source, const ShortWchar* message, const ShortWchar* data) override;
    void* GetInterface(int32_t index) override;

    // What ExternalEvent returns (true unless told otherwise).
    void setExternalEventResult(bool result);
    // Runs inside ExternalEvent after the event is recorded, on the calling thread, with no lock
    // of this object held (for instance to destroy the component from within a delivery).
    void setOnEvent(std::function<void(const RecordedEvent&)> onEvent);

    // Every depth passed to SetEventBufferDepth, in order.
    std::vector<int32_t> eventBufferDepths() const;
    // Every index passed to GetInterface, in order.
    std::vector<int32_t> interfaceRequests() const;
    // Every external event, in order of arrival.
    std::vector<RecordedEvent> events() const;
    size_t eventCount() const;
    // Waits until at least count events have arrived; false if the timeout passed first.
    bool waitForEvents(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // The Android helper's calls: the class names FindClass was asked for, and GetActivity calls.
    std::vector<std::u16string> classNamesAsked() const;
    int activityCount() const;

private:
    class AndroidHelper : public IAndroidHelper {
    public:
        explicit AndroidHelper(HostConnection& owner) : m_owner(owner) {}
        jobject GetActivity() override;
        jclass FindClass(const ShortWchar* className) override;

    private:
        HostConnection& m_owner;
    };

    Helper m_helperKind;
    AndroidHelper m_helper;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_eventArrived;
    bool m_externalEventResult = true;
    std::function<void(const RecordedEvent&)> m_onEvent;
    std::vector<int32_t> m_depths;
    std::vector<int32_t> m_interfaceRequests;
    std::vector<RecordedEvent> m_events;
    std::vector<std::u16string> m_classNamesAsked;
    int m_activityCount = 0;
};

// Host short string (NUL-terminated) from a UTF-16 literal, and back, for comparing with
// recorded events.
std::u16string shortText(const ShortWchar* text);

// A string record as the host passes one in: pointing at text the host owns, which must outlive it.
tVariant hostString(const char16_t* text);

}  // namespace testsupport

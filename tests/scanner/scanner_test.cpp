#include "scanner/bt_barcode_scanner.h"
#include "tests/support/host_connection.h"
#include "tests/support/log_capture.h"
#include "tests/support/peer_script.h"
#include "tests/support/thread_env.h"
#include "tests/support/vm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace peer = testsupport::peer;
using testsupport::HostConnection;
using testsupport::LogWindow;
using testsupport::withoutEnvLines;
using Lines = std::vector<std::string>;

namespace {

const std::u16string kScannerClass = u"com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner";
const std::wstring kUnknownError = L"Неизвестная ошибка компоненты";
const std::wstring kNoErrorDescription = L"Не удалось получить описание ошибки.";

// Every barcode a callback received, with the thread it arrived on.
class BarcodeSink {
public:
    BarcodeCallback callback() {
        return [this](const std::wstring& barcode) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_barcodes.push_back(barcode);
            m_threads.push_back(std::this_thread::get_id());
        };
    }
    std::vector<std::wstring> barcodes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_barcodes;
    }
    std::thread::id lastThread() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads.back();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_barcodes;
    std::vector<std::thread::id> m_threads;
};

// Counts the JNI calls the calling thread makes by swapping its environment's function table
// for a copy whose entries count and pass on.
class JniSpy {
public:
    JniSpy() : m_env(testsupport::currentEnv()), m_original(m_env->functions), m_table(*m_original) {
        s_active = this;
        m_table.GetMethodID = [](JNIEnv* env, jclass c, const char* name, const char* signature) {
            s_active->lookups.push_back(name);
            return s_active->m_original->GetMethodID(env, c, name, signature);
        };
        m_table.NewObjectV = [](JNIEnv* env, jclass c, jmethodID m, va_list args) {
            ++s_active->otherCalls;
            return s_active->m_original->NewObjectV(env, c, m, args);
        };
        m_table.CallBooleanMethodV = [](JNIEnv* env, jobject o, jmethodID m, va_list args) {
            ++s_active->otherCalls;
            return s_active->m_original->CallBooleanMethodV(env, o, m, args);
        };
        m_table.CallObjectMethodV = [](JNIEnv* env, jobject o, jmethodID m, va_list args) {
            ++s_active->otherCalls;
            return s_active->m_original->CallObjectMethodV(env, o, m, args);
        };
        m_table.NewString = [](JNIEnv* env, const jchar* units, jsize length) {
            ++s_active->otherCalls;
            return s_active->m_original->NewString(env, units, length);
        };
        m_table.DeleteGlobalRef = [](JNIEnv* env, jobject ref) {
            ++s_active->otherCalls;
            s_active->m_original->DeleteGlobalRef(env, ref);
        };
        m_env->functions = &m_table;
    }
    ~JniSpy() {
        m_env->functions = m_original;
        s_active = nullptr;
    }
    int calls() const { return static_cast<int>(lookups.size()) + otherCalls; }

    Lines lookups;
    int otherCalls = 0;

private:
    static inline JniSpy* s_active = nullptr;
    JNIEnv* m_env;
    const JNINativeInterface_* m_original;
    JNINativeInterface_ m_table;
};

bool waitUntil(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override { peer::reset(); }
    void TearDown() override { peer::reset(); }
};

using Connection = ScannerTest;
using Barcodes = ScannerTest;
using DeviceOperations = ScannerTest;
using LocalReferences = ScannerTest;
using Lifetime = ScannerTest;

}  // namespace

TEST_F(Connection, FullConnectionTracesEachStepCreatesOnePeerAndShowsItOnce) {
    HostConnection host;
    LogWindow log;
    {
        CBTBarcodeScanner scanner;
        scanner.setIConnect(&host, [](const std::wstring&) {});
        Lines messages = log.messages();
        ASSERT_EQ(7u, messages.size());
        EXPECT_EQ("Got class", messages[0]);
        EXPECT_EQ("getJniEnv()", messages[1]);
        EXPECT_EQ(0u, messages[2].rfind("GetEnv(), env = ", 0));
        EXPECT_EQ((Lines{"Got activity", "Got init", "Got locobj", "Show"}),
                  Lines(messages.begin() + 3, messages.end()));
        EXPECT_EQ(std::vector<int32_t>{10}, host.eventBufferDepths());
        EXPECT_EQ(std::vector<int32_t>{kAndroidHelperInterface}, host.interfaceRequests());
        EXPECT_EQ(std::vector<std::u16string>{kScannerClass}, host.classNamesAsked());
        EXPECT_EQ(1, host.activityCount());
        EXPECT_EQ((Lines{"<init>", "show"}), peer::calls());
        ASSERT_EQ(1, peer::instanceCount());
        EXPECT_EQ(1, peer::showCount(0));
        EXPECT_TRUE(peer::hasActivity(0));
        log.reset();
    }
    // Destruction closes the peer's device, so no link or reader outlives the component.
    EXPECT_EQ((Lines{"on destroy", "CloseDevice"}), withoutEnvLines(log.messages()));
    EXPECT_EQ(1, peer::callCount("CloseDevice", 0));
}

TEST_F(Connection, WithoutHelperOrClassConstructionStopsSilentlyAndOperationsGiveTheFixedResults) {
    for (HostConnection::Helper helper : {HostConnection::Helper::None, HostConnection::Helper::FindsNothing,
                                          HostConnection::Helper::Throws}) {
        HostConnection host(helper);
        LogWindow log;
        CBTBarcodeScanner scanner;
        scanner.setIConnect(&host, [](const std::wstring&) {});
        EXPECT_EQ(Lines{}, log.messages());
        EXPECT_EQ(std::vector<int32_t>{10}, host.eventBufferDepths());
        EXPECT_EQ(helper == HostConnection::Helper::None ? 0u : 1u, host.classNamesAsked().size());
        EXPECT_EQ(0, host.activityCount());
        EXPECT_EQ(0, peer::instanceCount());

        JniSpy spy;
        EXPECT_EQ(L"", scanner.GetDevicesChoiceList());
        EXPECT_FALSE(scanner.OpenDevice());
        EXPECT_FALSE(scanner.CloseDevice());
        EXPECT_FALSE(scanner.TestDevice());
        EXPECT_EQ(kUnknownError, scanner.GetLastError());
        EXPECT_EQ(0, spy.calls());
        EXPECT_EQ((Lines{"GetDevicesChoiceList", "OpenDevice", "CloseDevice", "TestDevice", "GetLastError"}),
                  log.messages());
    }
}

TEST_F(Connection, AThrowingConstructorIsClearedAndLeavesARecorderWithoutPeer) {
    peer::throwFrom("<init>");
    HostConnection host;
    LogWindow log;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    EXPECT_EQ((Lines{"Got class", "Got activity", "Got init", "Got locobj", "Exception"}),
              withoutEnvLines(log.messages()));
    EXPECT_EQ(Lines{"<init>"}, peer::calls());
    EXPECT_EQ(0, peer::instanceCount());
    JniSpy spy;
    EXPECT_FALSE(scanner.OpenDevice());
    EXPECT_EQ(kUnknownError, scanner.GetLastError());
    EXPECT_EQ(0, spy.calls());
}

TEST_F(Connection, AThrowingShowIsClearedAndThePeerWorks) {
    peer::throwFrom("show");
    HostConnection host;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    testsupport::expectNoPendingException(testsupport::mainEnv());
    EXPECT_EQ(1, peer::showCount(0));
    EXPECT_TRUE(scanner.CloseDevice());
}

TEST_F(Connection, NullConnectionCreatesNothingAndKeepsAnExistingPeer) {
    HostConnection host;
    LogWindow log;
    {
        CBTBarcodeScanner scanner;
        scanner.setIConnect(nullptr, [](const std::wstring&) {});
        EXPECT_EQ(0, peer::instanceCount());
    }
    EXPECT_EQ(Lines{}, log.messages());  // never connected: the destructor is silent too

    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    scanner.setIConnect(nullptr, [](const std::wstring&) {});
    EXPECT_TRUE(scanner.CloseDevice());
    EXPECT_EQ(1, peer::instanceCount());
    EXPECT_EQ(1, peer::callCount("CloseDevice", 0));
}

TEST_F(Barcodes, ThePeersLongFromAnotherJavaThreadReachesItsRecorderUnitByUnit) {
    HostConnection host;
    CBTBarcodeScanner scanner;
    // Delivers like the component does, so the host connection records the event and its thread.
    scanner.setIConnect(&host, [&host](const std::wstring& barcode) {
        std::u16string data(barcode.begin(), barcode.end());
        host.ExternalEvent(u"MobileScannerDevice", u"Штрихкод", data.c_str());
    });
    int64_t recorder = peer::recorderOf(0);
    EXPECT_NE(0, recorder);
    // A signed pointer-sized value widened to 64 bits.
    EXPECT_EQ(recorder, static_cast<int64_t>(static_cast<intptr_t>(static_cast<uintptr_t>(recorder))));

    peer::sendFromNewThread(0, u"A\U0001F600");
    ASSERT_TRUE(host.waitForEvents(1));
    testsupport::RecordedEvent event = host.events()[0];
    EXPECT_EQ((std::u16string{u'A', 0xD83D, 0xDE00}), event.data);
    EXPECT_EQ(u"Штрихкод", event.message);
    EXPECT_NE(std::this_thread::get_id(), event.thread);
}

TEST_F(Barcodes, FormatCharactersAreLoggedLiterallyAndAnEmptyBarcodeIsDelivered) {
    HostConnection host;
    BarcodeSink sink;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, sink.callback());
    LogWindow log;
    peer::send(0, u"%s%n");
    peer::send(0, u"");
    EXPECT_EQ((std::vector<std::wstring>{L"%s%n", L""}), sink.barcodes());
    EXPECT_EQ(std::this_thread::get_id(), sink.lastThread());
    EXPECT_EQ((Lines{"Got_barcode", "%s%n", "Got_barcode", ""}), log.messages());
}

TEST_F(Barcodes, SentFromTheConstructorAndFromShowTheyAreDelivered) {
    peer::sendFrom("<init>", u"from constructor");
    peer::sendFrom("show", u"from show");
    HostConnection host;
    BarcodeSink sink;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, sink.callback());
    EXPECT_EQ((std::vector<std::wstring>{L"from constructor", L"from show"}), sink.barcodes());
}

TEST_F(Barcodes, ALongThatIsNoLiveRecorderIsIgnored) {
    HostConnection host;
    BarcodeSink sink;
    auto scanner = std::make_unique<CBTBarcodeScanner>();
    scanner->setIConnect(&host, sink.callback());
    int64_t recorder = peer::recorderOf(0);
    LogWindow log;
    peer::sendWith(0, u"zero");
    peer::sendWith(0x12345678, u"made up");
    peer::sendWith(recorder + 4, u"inside the recorder");
    EXPECT_EQ(std::vector<std::wstring>{}, sink.barcodes());
    EXPECT_EQ(Lines{}, log.messages());

    // Only the pointer-sized low part of the long designates the recorder.
    peer::sendAs(0, recorder + (int64_t{1} << 32), u"high bits");
    EXPECT_EQ(sizeof(void*) == 4 ? 1u : 0u, sink.barcodes().size());

    scanner.reset();
    peer::send(0, u"after destruction");
    EXPECT_EQ(sizeof(void*) == 4 ? 1u : 0u, sink.barcodes().size());
}

TEST_F(Barcodes, EachPeerReachesOnlyItsOwnLiveRecorderEvenAfterOthersAreGone) {
    constexpr int kPassing = 20;
    HostConnection host;
    BarcodeSink keeper;
    CBTBarcodeScanner kept;
    kept.setIConnect(&host, keeper.callback());
    std::vector<std::unique_ptr<BarcodeSink>> sinks;
    for (int i = 0; i < kPassing; ++i) {
        sinks.push_back(std::make_unique<BarcodeSink>());
    }
    std::unique_ptr<CBTBarcodeScanner> passing;
    for (int i = 0; i < kPassing; ++i) {
        // Destroyed and created back to back, so the allocator hands the blocks just freed
        // straight out again. The peers of the scanners that are gone keep sending with their
        // own longs; none of it may reach a newer scanner.
        passing.reset();
        passing = std::make_unique<CBTBarcodeScanner>();
        passing->setIConnect(&host, sinks[i]->callback());
        for (int earlier = 1; earlier <= i; ++earlier) {
            peer::send(earlier, u"from a peer whose scanner is gone");
        }
        peer::sendFromNewThread(i + 1, u"own");
        peer::send(0, u"kept");
    }
    for (int i = 0; i < kPassing; ++i) {
        EXPECT_EQ(std::vector<std::wstring>{L"own"}, sinks[i]->barcodes()) << "scanner " << i;
    }
    EXPECT_EQ(std::vector<std::wstring>(kPassing, L"kept"), keeper.barcodes());
}

TEST_F(Barcodes, OneSentFromAThreadTheConstructorStartsIsDeliveredOnce) {
    peer::sendFromThreadOf("<init>", u"reader started by the constructor");
    HostConnection host;
    BarcodeSink sink;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, sink.callback());
    EXPECT_EQ(std::vector<std::wstring>{L"reader started by the constructor"}, sink.barcodes());
    EXPECT_NE(std::this_thread::get_id(), sink.lastThread());
}

TEST_F(Barcodes, ASecondConnectionAddsAPeerAndEachPeerReachesItsOwnCallback) {
    HostConnection host;
    BarcodeSink first;
    BarcodeSink second;
    LogWindow log;
    {
        CBTBarcodeScanner scanner;
        scanner.setIConnect(&host, first.callback());
        scanner.setIConnect(&host, second.callback());
        ASSERT_EQ(2, peer::instanceCount());
        // The replaced peer's device is closed, so the new peer can open the same scanner.
        EXPECT_EQ(1, peer::callCount("CloseDevice", 0));
        EXPECT_EQ(0, peer::callCount("CloseDevice", 1));
        EXPECT_NE(peer::recorderOf(0), peer::recorderOf(1));
        peer::sendFromNewThread(1, u"second");
        peer::sendFromNewThread(0, u"first");
        EXPECT_EQ(std::vector<std::wstring>{L"first"}, first.barcodes());
        EXPECT_EQ(std::vector<std::wstring>{L"second"}, second.barcodes());

        EXPECT_TRUE(scanner.OpenDevice());
        EXPECT_EQ(0, peer::callCount("OpenDevice", 0));
        EXPECT_EQ(1, peer::callCount("OpenDevice", 1));
        log.reset();
    }
    // Every peer closes its device on destruction, the replaced one included.
    EXPECT_EQ((Lines{"on destroy", "CloseDevice", "CloseDevice"}), withoutEnvLines(log.messages()));
    EXPECT_EQ(2, peer::callCount("CloseDevice", 0));
    EXPECT_EQ(1, peer::callCount("CloseDevice", 1));
    peer::send(0, u"late first");
    peer::send(1, u"late second");
    EXPECT_EQ(1u, first.barcodes().size());
    EXPECT_EQ(1u, second.barcodes().size());
}

TEST_F(DeviceOperations, WithoutRecorderTheyGiveFixedResultsWithoutTraceOrJni) {
    CBTBarcodeScanner scanner;
    LogWindow log;
    JniSpy spy;
    EXPECT_EQ(L"", scanner.GetDevicesChoiceList());
    EXPECT_FALSE(scanner.OpenDevice());
    EXPECT_FALSE(scanner.CloseDevice());
    EXPECT_FALSE(scanner.TestDevice());
    EXPECT_EQ(kUnknownError, scanner.GetLastError());
    EXPECT_TRUE(scanner.SetDeviceAddress(L"00:11"));
    EXPECT_EQ(0, spy.calls());
    EXPECT_EQ(Lines{}, log.messages());
}

TEST_F(DeviceOperations, OpenAndTestPassTheAddressCutTo16BitsOrAnEmptyString) {
    HostConnection host;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    EXPECT_TRUE(scanner.OpenDevice());
    EXPECT_EQ(u"", peer::argument("OpenDevice", 0));

    LogWindow log;
    scanner.SetDeviceAddress(std::wstring{L'A', L':', static_cast<wchar_t>(0x1F600)});
    EXPECT_EQ(Lines{}, log.messages());
    EXPECT_TRUE(scanner.TestDevice());
    EXPECT_TRUE(scanner.OpenDevice());
    EXPECT_EQ((std::u16string{u'A', u':', 0xF600}), peer::argument("TestDevice", 0));
    EXPECT_EQ((std::u16string{u'A', u':', 0xF600}), peer::argument("OpenDevice", 1));
    // The operation's own environment, then the one of the string conversion.
    EXPECT_EQ((Lines{"TestDevice", "OpenDevice"}), withoutEnvLines(log.messages()));
    EXPECT_EQ(4u, log.count("getJniEnv()"));
}

TEST_F(DeviceOperations, AnAddressSetBeforeConnectingIsPassedAfterwards) {
    HostConnection host;
    CBTBarcodeScanner scanner;
    EXPECT_TRUE(scanner.SetDeviceAddress(L"98:D3:31"));
    scanner.setIConnect(&host, [](const std::wstring&) {});
    scanner.OpenDevice();
    EXPECT_EQ(u"98:D3:31", peer::argument("OpenDevice", 0));
}

TEST_F(DeviceOperations, OnlyJavaTrueCountsAndAThrowingCallGivesFalse) {
    HostConnection host;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    const std::vector<std::pair<const char*, std::function<bool()>>> operations = {
        {"OpenDevice", [&] { return scanner.OpenDevice(); }},
        {"CloseDevice", [&] { return scanner.CloseDevice(); }},
        {"TestDevice", [&] { return scanner.TestDevice(); }},
    };
    for (const auto& [method, operation] : operations) {
        SCOPED_TRACE(method);
        peer::returnBoolean(method, true);
        EXPECT_TRUE(operation());
        peer::returnBoolean(method, false);
        EXPECT_FALSE(operation());
        peer::throwFrom(method);
        EXPECT_FALSE(operation());
        peer::throwFrom(method, false);
        EXPECT_EQ(3, peer::callCount(method));
    }
    testsupport::expectNoPendingException(testsupport::mainEnv());
}

TEST_F(DeviceOperations, GetLastErrorPassesTheJavaTextAndDescribesNullOrAThrow) {
    HostConnection host;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    peer::returnString("GetLastError", u"Устройство не найдено");
    EXPECT_EQ(L"Устройство не найдено", scanner.GetLastError());
    peer::returnString("GetLastError", std::nullopt);
    EXPECT_EQ(kNoErrorDescription, scanner.GetLastError());
    peer::throwFrom("GetLastError");
    EXPECT_EQ(kNoErrorDescription, scanner.GetLastError());
}

TEST_F(DeviceOperations, GetDevicesChoiceListTracesItsStepsAndGivesEmptyForNullOrAThrow) {
    HostConnection host;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    const std::u16string list = u"<Item Value=\"98:D3\" Name=\"Сканер\"/>";
    peer::returnString("GetDevicesList", list);
    LogWindow log;
    EXPECT_EQ(std::wstring(list.begin(), list.end()), scanner.GetDevicesChoiceList());
    Lines messages = log.messages();
    ASSERT_EQ(5u, messages.size());
    EXPECT_EQ("GetDevicesChoiceList", messages[0]);
    EXPECT_EQ("getJniEnv()", messages[1]);
    EXPECT_EQ((Lines{"GetDevicesList_meth_found", "CallObjectMethod_GetDevicesList"}),
              Lines(messages.begin() + 3, messages.end()));

    peer::returnString("GetDevicesList", std::nullopt);
    EXPECT_EQ(L"", scanner.GetDevicesChoiceList());
    peer::throwFrom("GetDevicesList");
    EXPECT_EQ(L"", scanner.GetDevicesChoiceList());
}

TEST_F(DeviceOperations, EveryCallLooksItsMethodUpAgain) {
    HostConnection host;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    JniSpy spy;
    scanner.OpenDevice();
    scanner.OpenDevice();
    scanner.GetDevicesChoiceList();
    scanner.GetDevicesChoiceList();
    scanner.GetLastError();
    scanner.GetLastError();
    EXPECT_EQ((Lines{"OpenDevice", "OpenDevice", "GetDevicesList", "GetDevicesList", "GetLastError",
                     "GetLastError"}),
              spy.lookups);
    EXPECT_EQ(2, peer::callCount("OpenDevice"));
}

TEST_F(LocalReferences, AHostThreadThatNeverReturnsToJavaLeavesNoStringReachable) {
    peer::freshStrings();
    peer::returnString("GetDevicesList", u"<Item Value=\"1\"/>");
    HostConnection host;
    CBTBarcodeScanner scanner;
    scanner.setIConnect(&host, [](const std::wstring&) {});
    scanner.SetDeviceAddress(L"00:11:22:33:44:55");
    constexpr int kCalls = 100000;
    int opened = 0;
    int listed = 0;
    int tracked = 0;
    int reachable = -1;
    // The references must be gone while the thread is still attached: its end would free them.
    std::thread hostThread([&] {
        for (int i = 0; i < kCalls; ++i) {
            opened += scanner.OpenDevice() ? 1 : 0;
            listed += scanner.GetDevicesChoiceList() == L"<Item Value=\"1\"/>" ? 1 : 0;
        }
        testsupport::collectGarbage(testsupport::currentEnv());
        tracked = peer::trackedStringCount();
        reachable = peer::reachableStringCount();
    });
    hostThread.join();
    EXPECT_EQ(kCalls, opened);
    EXPECT_EQ(kCalls, listed);
    EXPECT_EQ(2 * kCalls, tracked);
    EXPECT_LT(reachable, 100);
}

TEST_F(Lifetime, JavaThreadsSendingWhileTheScannerIsDestroyedNeverReachItAfterwards) {
    HostConnection host;
    std::atomic<bool> destroyed{false};
    std::atomic<int> delivered{0};
    std::atomic<int> afterDestruction{0};
    auto scanner = std::make_unique<CBTBarcodeScanner>();
    scanner->setIConnect(&host, [&](const std::wstring&) {
        afterDestruction += destroyed ? 1 : 0;
        // Keeps deliveries in flight long enough to overlap the destructor.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        afterDestruction += destroyed ? 1 : 0;
        ++delivered;
    });
    peer::startSenders(0, 4, u"loop");
    ASSERT_TRUE(waitUntil([&] { return delivered >= 200; }));
    scanner.reset();
    destroyed = true;
    int64_t sentAtDestruction = peer::sentCount();
    EXPECT_TRUE(waitUntil([&] { return peer::sentCount() > sentAtDestruction + 1000; }));
    peer::stopSenders();
    EXPECT_EQ(0, afterDestruction);
}

TEST_F(Lifetime, ACallbackMayDestroyItsOwnScanner) {
    HostConnection host;
    auto scanner = std::make_unique<CBTBarcodeScanner>();
    std::wstring received;
    scanner->setIConnect(&host, [&](const std::wstring& barcode) {
        received = barcode;
        scanner.reset();
    });
    peer::sendFromNewThread(0, u"last");
    EXPECT_EQ(L"last", received);
    EXPECT_EQ(nullptr, scanner);
}

TEST_F(Lifetime, ABlockedDeliveryDelaysOnlyTheDestructionOfItsOwnScannerWhichSaysSoAfterASecond) {
    HostConnection host;
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> blockedReturned{false};
    auto blocked = std::make_unique<CBTBarcodeScanner>();
    blocked->setIConnect(&host, [&](const std::wstring&) {
        entered.set_value();
        released.wait_for(std::chrono::seconds(20));
        blockedReturned = true;
    });
    BarcodeSink sink;
    auto other = std::make_unique<CBTBarcodeScanner>();
    other->setIConnect(&host, sink.callback());

    std::thread sender([] { peer::send(0, u"blocks"); });
    entered.get_future().wait();
    peer::sendFromNewThread(1, u"passes");
    other.reset();
    EXPECT_EQ(std::vector<std::wstring>{L"passes"}, sink.barcodes());
    EXPECT_FALSE(blockedReturned);

    std::atomic<bool> destructorReturned{false};
    LogWindow log;
    std::thread destroyer([&] {
        blocked.reset();
        destructorReturned = true;
    });
    const std::string waitLine = "on destroy: still waiting, deliveries running on other threads: 1";
    EXPECT_TRUE(waitUntil([&] { return log.count(waitLine) == 1; }));
    EXPECT_FALSE(destructorReturned);
    release.set_value();
    destroyer.join();
    sender.join();
    EXPECT_TRUE(blockedReturned);
    EXPECT_TRUE(destructorReturned);
    EXPECT_EQ(1u, log.count(waitLine));
}

namespace {

// Knows which of its copies exist, so that a callback can tell whether it is itself still alive.
class LiveCopies {
public:
    LiveCopies() { add(); }
    LiveCopies(const LiveCopies&) { add(); }
    LiveCopies& operator=(const LiveCopies&) = delete;
    ~LiveCopies() {
        std::lock_guard<std::mutex> lock(mutex());
        copies().erase(this);
    }
    bool alive() const {
        std::lock_guard<std::mutex> lock(mutex());
        return copies().count(this) == 1;
    }
    static size_t count() {
        std::lock_guard<std::mutex> lock(mutex());
        return copies().size();
    }

private:
    void add() {
        std::lock_guard<std::mutex> lock(mutex());
        copies().insert(this);
    }
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::set<const LiveCopies*>& copies() {
        static std::set<const LiveCopies*> instance;
        return instance;
    }
};

}  // namespace

TEST_F(Lifetime, ACallbackThatDestroysItsOwnScannerRunsToItsEndAndIsThenReleased) {
    HostConnection host;
    auto scanner = std::make_unique<CBTBarcodeScanner>();
    BarcodeSink replaced;
    scanner->setIConnect(&host, replaced.callback());
    bool aliveAfterDestruction = false;
    scanner->setIConnect(&host, [&, copies = LiveCopies()](const std::wstring&) {
        scanner.reset();
        aliveAfterDestruction = copies.alive();
    });
    peer::sendFromNewThread(1, u"last");
    EXPECT_EQ(nullptr, scanner);
    EXPECT_TRUE(aliveAfterDestruction);
    EXPECT_EQ(0u, LiveCopies::count());
    peer::send(0, u"late");
    peer::send(1, u"late");
    EXPECT_TRUE(replaced.barcodes().empty());
}

TEST_F(Lifetime, ADeliveryInsideADeliveryMayDestroyTheScannerOfBoth) {
    HostConnection host;
    auto scanner = std::make_unique<CBTBarcodeScanner>();
    std::vector<std::wstring> received;
    bool outerAliveAtItsEnd = false;
    scanner->setIConnect(&host, [&, copies = LiveCopies()](const std::wstring& barcode) {
        received.push_back(barcode);
        if (barcode == L"outer") {
            peer::send(0, u"inner");
            outerAliveAtItsEnd = copies.alive();
        } else {
            scanner.reset();
        }
    });
    peer::sendFromNewThread(0, u"outer");
    EXPECT_EQ((std::vector<std::wstring>{L"outer", L"inner"}), received);
    EXPECT_EQ(nullptr, scanner);
    EXPECT_TRUE(outerAliveAtItsEnd);
    EXPECT_EQ(0u, LiveCopies::count());
}
